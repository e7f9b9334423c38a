#include "platform/curl/CurlMailer.h"

#include <curl/curl.h>

#include <cctype>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/MailText.h"
#include "platform/OAuthText.h"

namespace invarro::platform::curl {

namespace {

// libcurl's global set-up, once per program.
void GlobalInit() {
    static const bool done = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        return true;
    }();
    (void)done;
}

size_t Discard(char*, size_t size, size_t count, void*) {
    return size * count;
}

struct Upload {
    std::string text;
    size_t at = 0;
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* user) {
    auto* u = static_cast<Upload*>(user);
    const size_t n = std::min(size * count, u->text.size() - u->at);
    std::memcpy(buffer, u->text.data() + u->at, n);
    u->at += n;
    return n;
}

bool Contains(const char* text, const char* part) {
    return std::strstr(text, part) != nullptr;
}

bool StartsWithWord(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != word[i]) return false;
    return text.size() == word.size() || text[word.size()] == ' ' || text[word.size()] == ':';
}

// What client and server last said to each other, as libcurl reports the conversation.
struct Conversation {
    std::string command;  // the last command sent (an AUTH without its credentials)
    std::string reply;    // the server's reply to it, its lines joined by blanks
    bool replyDone = false;
    bool dataSent = false;          // the message went after the server's go-ahead for DATA
    bool inLogin = false;           // between AUTH and its final reply: lines sent are credentials
    bool quitting = false;          // libcurl closes after a failure; the failure is what counts
    std::optional<long long> size;  // announced in the last EHLO reply
    std::string challenge;          // a "334" the server sent during the login (XOAUTH2 error)

    void sent(std::string_view text) {
        const std::string line(text.substr(0, text.find_first_of("\r\n")));
        if (inLogin) return;  // never kept: the login name and password
        if (StartsWithWord(line, "QUIT")) {
            quitting = true;
            return;
        }
        if (StartsWithWord(line, "AUTH")) {
            const size_t mechanismEnd = line.find(' ', 5);
            command = line.substr(0, mechanismEnd);
            inLogin = true;
            challenge.clear();
        } else {
            command = line;
        }
        if (StartsWithWord(command, "EHLO")) size.reset();
        reply.clear();
        replyDone = false;
        dataSent = false;
    }
    void received(std::string_view text) {
        if (quitting) return;
        while (!text.empty()) {
            const size_t end = text.find_first_of("\r\n");
            const std::string_view line = text.substr(0, end);
            text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
            if (line.empty()) continue;
            if (replyDone) {
                // A second reply to one command: the one that follows the message data.
                if (StartsWithWord(command, "DATA") && reply.rfind("354", 0) == 0) dataSent = true;
                reply.clear();
                replyDone = false;
            }
            if (!reply.empty()) reply += ' ';
            reply += line;
            const bool last = line.size() == 3 || (line.size() > 3 && line[3] == ' ');
            if (StartsWithWord(command, "EHLO") && line.size() > 4) readExtension(line.substr(4));
            if (inLogin && line.size() > 4 && line.rfind("334 ", 0) == 0) challenge = line;
            if (last) {
                replyDone = true;
                if (inLogin && line.rfind("334", 0) != 0) inLogin = false;
            }
        }
    }
    void readExtension(std::string_view keyword) {
        if (!StartsWithWord(keyword, "SIZE")) return;
        long long limit = 0;
        for (char c : keyword.substr(4))
            if (c >= '0' && c <= '9') limit = limit * 10 + (c - '0');
        if (limit > 0) size = limit;
    }
    // The reply refuses what was asked (4xx or 5xx).
    bool refused() const {
        return replyDone && reply.size() >= 3 && (reply[0] == '4' || reply[0] == '5');
    }
};

int Debug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto* talk = static_cast<Conversation*>(user);
    const std::string_view text(data, size);
    if (type == CURLINFO_HEADER_OUT)
        talk->sent(text);
    else if (type == CURLINFO_HEADER_IN)
        talk->received(text);
    else if (type == CURLINFO_DATA_OUT && StartsWithWord(talk->command, "DATA"))
        talk->dataSent = true;
    return 0;
}

// The enhanced status code's class (the middle number of "5.7.1"), or -1 without one.
int EnhancedSubject(const std::string& reply) {
    if (reply.size() < 9 || (reply[3] != ' ' && reply[3] != '-')) return -1;
    if (!std::isdigit(static_cast<unsigned char>(reply[4])) || reply[5] != '.') return -1;
    size_t i = 6;
    int subject = 0;
    while (i < reply.size() && std::isdigit(static_cast<unsigned char>(reply[i])))
        subject = subject * 10 + (reply[i++] - '0');
    if (i == 6 || i >= reply.size() || reply[i] != '.') return -1;
    return subject;
}

bool MentionsClient(const std::string& reply) {
    std::string lower;
    for (char c : reply)
        lower += char(std::tolower(static_cast<unsigned char>(c)));
    return lower.find("client host") != std::string::npos ||
           lower.find("relay access denied") != std::string::npos;
}

// The address in a command such as "RCPT TO:<a@b.test>".
std::string AddressIn(const std::string& command) {
    const size_t open = command.find('<');
    const size_t close = command.find('>', open);
    if (open == std::string::npos || close == std::string::npos) return {};
    return command.substr(open + 1, close - open - 1);
}

std::string Amount(long long bytes) {
    char text[48];
    if (bytes >= 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / (1024.0 * 1024.0));
    else
        std::snprintf(text, sizeof text, "%lld KB", (bytes + 1023) / 1024);
    return std::string(text) + " (" + std::to_string(bytes) + " bytes)";
}

}  // namespace

struct CurlMailer::Handle {
    CURL* easy = nullptr;
    char error[CURL_ERROR_SIZE] = {};
    Conversation talk;
    Handle() { easy = curl_easy_init(); }
    ~Handle() {
        // Cleaning up the handle closes its connection with QUIT.
        if (easy) curl_easy_cleanup(easy);
    }
};

CurlMailer::CurlMailer() {
    GlobalInit();
    handle_ = std::make_unique<Handle>();
}

CurlMailer::~CurlMailer() = default;

void CurlMailer::setHost(const std::string& host) {
    if (host != host_) disconnect();
    host_ = host;
}

void CurlMailer::setPort(int port) {
    if (port != port_) disconnect();
    port_ = port;
}

void CurlMailer::setLogin(const std::string& user, const std::string& password) {
    if (user != user_ || password != password_ || !token_.empty()) disconnect();
    user_ = user;
    password_ = password;
    token_.clear();
}

void CurlMailer::setToken(const std::string& user, const std::string& accessToken) {
    if (user != user_ || accessToken != token_ || !password_.empty()) disconnect();
    user_ = user;
    token_ = accessToken;
    password_.clear();
}

void CurlMailer::setCaFile(const std::string& path) {
    if (path != caFile_) disconnect();
    caFile_ = path;
}

void CurlMailer::setImplicitTlsPort(int port) {
    if (port != implicitTlsPort_) disconnect();
    implicitTlsPort_ = port;
}

void CurlMailer::setTimeout(long seconds) {
    timeout_ = seconds > 0 ? seconds : 30;
}

void CurlMailer::disconnect() {
    handle_ = std::make_unique<Handle>();
    connected_ = false;
    sizeLimit_ = 0;
}

void CurlMailer::configure() {
    CURL* e = handle_->easy;
    curl_easy_reset(e);
    const bool implicitTls = port_ == implicitTlsPort_;
    // An address literal of IPv6 goes into brackets.
    const std::string host = host_.find(':') != std::string::npos ? "[" + host_ + "]" : host_;
    const std::string url =
        std::string(implicitTls ? "smtps://" : "smtp://") + host + ":" + std::to_string(port_);
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, handle_->error);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, timeout_);
    // A transfer that stalls for the timeout ends rather than blocking the program.
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, timeout_);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, Discard);
    // The conversation is followed for the size limit and the server's own replies; the
    // debug function takes the place of libcurl's printing, so nothing goes to stderr.
    curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, Debug);
    curl_easy_setopt(e, CURLOPT_DEBUGDATA, &handle_->talk);
    curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile_.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, caFile_.c_str());
    if (!implicitTls)
        curl_easy_setopt(e, CURLOPT_USE_SSL,
                         user_.empty() ? long(CURLUSESSL_TRY) : long(CURLUSESSL_ALL));
    if (!token_.empty()) {
        // XOAUTH2 by name: libcurl would take OAUTHBEARER when the server offers both, and
        // the providers document XOAUTH2 for SMTP.
        curl_easy_setopt(e, CURLOPT_USERNAME, user_.c_str());
        curl_easy_setopt(e, CURLOPT_XOAUTH2_BEARER, token_.c_str());
        curl_easy_setopt(e, CURLOPT_LOGIN_OPTIONS, "AUTH=XOAUTH2");
    } else if (!user_.empty()) {
        curl_easy_setopt(e, CURLOPT_USERNAME, user_.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, password_.c_str());
    }
}

MailError CurlMailer::describe(int code) const {
    const std::string where = host_ + " (port " + std::to_string(port_) + ")";
    const char* detail = handle_->error[0] ? handle_->error : curl_easy_strerror(CURLcode(code));
    const Conversation& talk = handle_->talk;
    const std::string replied =
        talk.refused() ? " The server replied: \"" + talk.reply + "\"" : std::string();
    switch (CURLcode(code)) {
        case CURLE_URL_MALFORMAT:
            return {MailStep::Settings,
                    "The mail server name \"" + host_ +
                        "\" is not usable. Check the Outgoing Mail Server (SMTP) in the company "
                        "setup.",
                    {}};
        case CURLE_COULDNT_RESOLVE_HOST:
            return {MailStep::Reach,
                    "The mail server \"" + host_ +
                        "\" cannot be found. Check the Outgoing Mail Server (SMTP) in the "
                        "company setup and the Internet connection.",
                    {}};
        case CURLE_COULDNT_CONNECT:
        case CURLE_OPERATION_TIMEDOUT:
            if (!connected_)
                return {MailStep::Reach,
                        "The mail server " + where +
                            " cannot be reached. Check the server name, the port number and the "
                            "Internet connection.",
                        {}};
            return {MailStep::Connection,
                    "The connection to the mail server " + where + " was lost: " + detail,
                    {}};
        case CURLE_USE_SSL_FAILED:
            return {MailStep::Tls,
                    "The mail server " + where +
                        " does not offer a secure connection (STARTTLS), so the login was not "
                        "sent. Use the secure port your mail provider gives (often 587 or 465)." +
                        replied,
                    talk.refused() ? talk.reply : std::string()};
        case CURLE_SSL_CONNECT_ERROR:
            return {MailStep::Tls,
                    "The mail server " + where + " refused the secure connection (TLS): " + detail,
                    {}};
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
            return {MailStep::Certificate,
                    "The certificate of the mail server " + where + " is not trusted: " + detail,
                    {}};
        case CURLE_LOGIN_DENIED:
            // A token's refusal and Microsoft's sign-in refusals name their own cause;
            // libcurl gives up on a token as soon as the server answers it with a challenge.
            if (!token_.empty() && !talk.challenge.empty()) return describeReply();
            if (talk.refused() &&
                (!token_.empty() || talk.reply.find("5.7.139") != std::string::npos ||
                 talk.reply.find("5.7.30") != std::string::npos))
                return describeReply();
            return {MailStep::Login,
                    "The mail server " + where +
                        " refused the login. Check the login name and password in the company "
                        "setup." +
                        replied,
                    talk.refused() ? talk.reply : std::string()};
        default:
            break;
    }
    if (talk.refused()) return describeReply();
    if (Contains(handle_->error, "RCPT"))
        return {MailStep::Recipient,
                std::string("The mail server refused the recipient address: ") + detail,
                {}};
    if (Contains(handle_->error, "MAIL failed"))
        return {MailStep::Sender,
                std::string("The mail server refused the sender address: ") + detail,
                {}};
    return {MailStep::Connection,
            "The connection to the mail server " + where + " failed: " + detail,
            {}};
}

MailError CurlMailer::describeReply() const {
    const Conversation& talk = handle_->talk;
    const std::string where = host_ + " (port " + std::to_string(port_) + ")";
    const std::string replied = " The server replied: \"" + talk.reply + "\"";
    const std::string& command = talk.command;
    const int subject = EnhancedSubject(talk.reply);
    const bool policy = subject == 7 || MentionsClient(talk.reply);
    auto error = [&](MailStep step, const std::string& text) {
        return MailError{step, text + replied, talk.reply};
    };
    if (command.empty() || StartsWithWord(command, "EHLO") || StartsWithWord(command, "HELO"))
        return error(
            MailStep::Greeting,
            "The mail server " + where + " refused this computer's connection when it " +
                (command.empty() ? "answered" : "was greeted (" + command.substr(0, 4) + ")") +
                ", so nothing was sent.");
    if (StartsWithWord(command, "STARTTLS"))
        return error(MailStep::Tls,
                     "The mail server " + where + " refused the secure connection (STARTTLS).");
    if (StartsWithWord(command, "AUTH")) {
        if (talk.reply.find("5.7.139") != std::string::npos)
            return error(MailStep::Login,
                         "Microsoft 365 refused the sign-in (5.7.139): sending through SMTP is "
                         "turned off for this mailbox or the whole organisation. The "
                         "administrator must allow \"Authenticated SMTP\" for the mailbox " +
                             user_ +
                             " (Microsoft 365 admin center, Users, Mail, Manage email apps).");
        if (talk.reply.find("5.7.30") != std::string::npos)
            return error(MailStep::Login,
                         "The mail server " + where +
                             " takes no password sign-in (5.7.30). Choose \"Sign in with\" "
                             "Microsoft 365 on the E-Mail tab of Company Options and sign in.");
        if (!token_.empty()) {
            const std::string said = XOAuth2Refusal(talk.challenge);
            const std::string text = "The mail server " + where + " refused the sign-in token of " +
                                     user_ + (said.empty() ? std::string() : " (" + said + ")") +
                                     ". Sign in again (Company Options, E-Mail).";
            // A challenge is base64; what it says is in the text already.
            if (talk.reply.rfind("334", 0) == 0) return MailError{MailStep::Login, text, said};
            return error(MailStep::Login, text);
        }
        return error(MailStep::Login, "The mail server " + where + " refused the login (" +
                                          command +
                                          "). Check the login name and password in "
                                          "the company setup.");
    }
    if (talk.reply.find("SendAsDenied") != std::string::npos ||
        talk.reply.find("5.2.252") != std::string::npos)
        return error(MailStep::Sender,
                     "The mail server does not let " + (user_.empty() ? "this login" : user_) +
                         " send as " + from_ +
                         " (SendAsDenied), so nothing was sent. The company's e-mail address "
                         "must be the signed-in account, or the account must be allowed to send "
                         "as that address.");
    if (StartsWithWord(command, "MAIL")) {
        if (talk.reply.rfind("552", 0) == 0)
            return error(MailStep::Size, "The mail server " + where +
                                             " refused the message as too large when it was "
                                             "announced (MAIL FROM).");
        if (policy)
            return error(MailStep::Client, "The mail server " + where +
                                               " refused to take mail from this computer or "
                                               "sender at the sender step (MAIL FROM).");
        return error(MailStep::Sender, "The mail server refused the sender address " +
                                           AddressIn(command) + " (MAIL FROM).");
    }
    if (StartsWithWord(command, "RCPT")) {
        if (policy)
            return error(MailStep::Client,
                         "The mail server " + where +
                             " refused to take mail from this computer at the recipient step "
                             "(RCPT TO " +
                             AddressIn(command) + "); the address itself was not judged.");
        return error(MailStep::Recipient, "The mail server refused the recipient address " +
                                              AddressIn(command) + " (RCPT TO).");
    }
    if (StartsWithWord(command, "DATA")) {
        if (talk.dataSent && talk.reply.rfind("552", 0) == 0)
            return error(MailStep::Size, "The mail server " + where +
                                             " refused the message as too large after "
                                             "receiving it (DATA).");
        return error(MailStep::Message,
                     talk.dataSent
                         ? "The mail server " + where +
                               " did not accept the message after receiving it (end "
                               "of DATA), so it was not sent."
                         : "The mail server " + where + " refused to receive the message (DATA).");
    }
    return error(MailStep::Connection, "The mail server " + where + " refused the command " +
                                           command.substr(0, command.find(' ')) + ".");
}

bool CurlMailer::connect(MailError& error) {
    if (connected_) return true;
    if (host_.empty() || port_ < 1 || port_ > 65535) {
        error = {MailStep::Settings, "The mail server's name or port number is not set."};
        return false;
    }
    configure();
    CURL* e = handle_->easy;
    // A NOOP runs the greeting, the secure upgrade and the login, and leaves the
    // connection open for the messages that follow.
    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, "NOOP");
    const CURLcode rc = curl_easy_perform(e);
    if (rc != CURLE_OK) {
        error = describe(rc);
        disconnect();
        return false;
    }
    connected_ = true;
    sizeLimit_ = handle_->talk.size.value_or(0);
    return true;
}

bool CurlMailer::send(const MailMessage& message, MailError& error) {
    if (!connected_) {
        error = {MailStep::NotConnected, "There is no open connection to the mail server."};
        return false;
    }
    if (message.recipients.empty()) {
        error = {MailStep::Recipient, "The message has no recipient."};
        return false;
    }
    configure();
    CURL* e = handle_->easy;
    handle_->error[0] = '\0';
    // What the last message's conversation left does not speak for this one.
    Conversation& talk = handle_->talk;
    talk.command.clear();
    talk.reply.clear();
    talk.replyDone = talk.dataSent = talk.inLogin = talk.quitting = false;
    from_ = CleanHeaderText(message.from);
    const std::string from = "<" + from_ + ">";
    curl_easy_setopt(e, CURLOPT_MAIL_FROM, from.c_str());
    curl_slist* rcpt = nullptr;
    for (const std::string& r : message.recipients)
        rcpt = curl_slist_append(rcpt, ("<" + CleanHeaderText(r) + ">").c_str());
    curl_easy_setopt(e, CURLOPT_MAIL_RCPT, rcpt);
    Upload upload{ComposeMessage(message, StampNow(message.from)), 0};
    if (sizeLimit_ > 0 && static_cast<long long>(upload.text.size()) > sizeLimit_) {
        curl_slist_free_all(rcpt);
        curl_easy_setopt(e, CURLOPT_MAIL_RCPT, nullptr);
        error = {MailStep::Size,
                 "The message is " + Amount(static_cast<long long>(upload.text.size())) +
                     "; the mail server " + host_ + " (port " + std::to_string(port_) +
                     ") takes messages of at most " + Amount(sizeLimit_) + ". It was not sent.",
                 {}};
        return false;
    }
    curl_easy_setopt(e, CURLOPT_READFUNCTION, ReadUpload);
    curl_easy_setopt(e, CURLOPT_READDATA, &upload);
    curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, curl_off_t(upload.text.size()));
    const CURLcode rc = curl_easy_perform(e);
    curl_slist_free_all(rcpt);
    curl_easy_setopt(e, CURLOPT_MAIL_RCPT, nullptr);
    // A new connection made on the way (the server had closed the old one) announces its
    // limit afresh.
    if (handle_->talk.size) sizeLimit_ = *handle_->talk.size;
    if (rc == CURLE_OK) return true;
    error = describe(rc);
    // A refused address or message leaves the server willing to take the next message;
    // anything else means the connection is gone.
    if (!ConnectionSurvives(error.step)) {
        handle_ = std::make_unique<Handle>();
        connected_ = false;
        sizeLimit_ = 0;
    }
    return false;
}

}  // namespace invarro::platform::curl
