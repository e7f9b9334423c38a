#include "platform/curl/CurlMailer.h"

#include <curl/curl.h>

#include <cstring>

#include "platform/MailText.h"

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

}  // namespace

struct CurlMailer::Handle {
    CURL* easy = nullptr;
    char error[CURL_ERROR_SIZE] = {};
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
    if (user != user_ || password != password_) disconnect();
    user_ = user;
    password_ = password;
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
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile_.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, caFile_.c_str());
    if (!implicitTls)
        curl_easy_setopt(e, CURLOPT_USE_SSL,
                         user_.empty() ? long(CURLUSESSL_TRY) : long(CURLUSESSL_ALL));
    if (!user_.empty()) {
        curl_easy_setopt(e, CURLOPT_USERNAME, user_.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, password_.c_str());
    }
}

MailError CurlMailer::describe(int code) const {
    const std::string where = host_ + " (port " + std::to_string(port_) + ")";
    const char* detail = handle_->error[0] ? handle_->error : curl_easy_strerror(CURLcode(code));
    switch (CURLcode(code)) {
        case CURLE_URL_MALFORMAT:
            return {MailStep::Settings, "The mail server name \"" + host_ +
                                            "\" is not usable. Check the Outgoing Mail Server "
                                            "(SMTP) in the company setup."};
        case CURLE_COULDNT_RESOLVE_HOST:
            return {MailStep::Reach, "The mail server \"" + host_ +
                                         "\" cannot be found. Check the Outgoing Mail Server "
                                         "(SMTP) in the company setup and the Internet "
                                         "connection."};
        case CURLE_COULDNT_CONNECT:
        case CURLE_OPERATION_TIMEDOUT:
            if (!connected_)
                return {MailStep::Reach, "The mail server " + where +
                                             " cannot be reached. Check the server name, the "
                                             "port number and the Internet connection."};
            return {MailStep::Connection,
                    "The connection to the mail server " + where + " was lost: " + detail};
        case CURLE_USE_SSL_FAILED:
            return {MailStep::Tls, "The mail server " + where +
                                       " does not offer a secure connection (STARTTLS), so the "
                                       "login was not sent. Use the secure port your mail "
                                       "provider gives (often 587 or 465)."};
        case CURLE_SSL_CONNECT_ERROR:
            return {MailStep::Tls,
                    "The mail server " + where + " refused the secure connection (TLS): " + detail};
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
            return {MailStep::Certificate,
                    "The certificate of the mail server " + where + " is not trusted: " + detail};
        case CURLE_LOGIN_DENIED:
            return {MailStep::Login, "The mail server " + where +
                                         " refused the login. Check the login name and "
                                         "password in the company setup."};
        default:
            break;
    }
    if (Contains(handle_->error, "RCPT"))
        return {MailStep::Recipient,
                std::string("The mail server refused the recipient address: ") + detail};
    if (Contains(handle_->error, "MAIL failed"))
        return {MailStep::Sender,
                std::string("The mail server refused the sender address: ") + detail};
    return {MailStep::Connection,
            "The connection to the mail server " + where + " failed: " + detail};
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
    const std::string from = "<" + CleanHeaderText(message.from) + ">";
    curl_easy_setopt(e, CURLOPT_MAIL_FROM, from.c_str());
    curl_slist* rcpt = nullptr;
    for (const std::string& r : message.recipients)
        rcpt = curl_slist_append(rcpt, ("<" + CleanHeaderText(r) + ">").c_str());
    curl_easy_setopt(e, CURLOPT_MAIL_RCPT, rcpt);
    Upload upload{ComposeMessage(message, StampNow(message.from)), 0};
    curl_easy_setopt(e, CURLOPT_READFUNCTION, ReadUpload);
    curl_easy_setopt(e, CURLOPT_READDATA, &upload);
    curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, curl_off_t(upload.text.size()));
    const CURLcode rc = curl_easy_perform(e);
    curl_slist_free_all(rcpt);
    curl_easy_setopt(e, CURLOPT_MAIL_RCPT, nullptr);
    if (rc == CURLE_OK) return true;
    error = describe(rc);
    // A refused address leaves the server willing to take the next message; anything else
    // means the connection is gone.
    if (error.step != MailStep::Recipient && error.step != MailStep::Sender) {
        handle_ = std::make_unique<Handle>();
        connected_ = false;
    }
    return false;
}

}  // namespace invarro::platform::curl
