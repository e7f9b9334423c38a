#include "platform/MailText.h"

#include <cstdint>
#include <ctime>
#include <random>

namespace invarro::platform {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr size_t kFoldAt = 76;
// No header line is longer than this (without its CR LF).
constexpr size_t kHeaderLine = 78;

bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

std::string Base64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t v = uint32_t(uint8_t(bytes[i])) << 16 |
                           uint32_t(uint8_t(bytes[i + 1])) << 8 | uint8_t(bytes[i + 2]);
        for (int s = 18; s >= 0; s -= 6)
            out += kAlphabet[(v >> s) & 63];
    }
    const size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
        if (rest == 2) v |= uint32_t(uint8_t(bytes[i + 1])) << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// Encoded words joined by folding white space, each line within 76 characters (the first
// after the first characters of its line), never splitting a UTF-8 sequence.
std::string EncodedWords(std::string_view text, size_t first = 0) {
    constexpr size_t kFrame = 12;  // "=?UTF-8?B?" and "?="
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const size_t room = kFoldAt - 1 - (out.empty() ? first : 1) - kFrame;
        const size_t bytes = room / 4 * 3;
        size_t end = std::min(text.size(), i + bytes);
        while (end < text.size() && end > i && (uint8_t(text[end]) & 0xC0) == 0x80)
            --end;
        if (end == i) end = std::min(text.size(), i + bytes);
        if (!out.empty()) out += "\r\n ";
        out += "=?UTF-8?B?" + Base64(text.substr(i, end - i)) + "?=";
        i = end;
    }
    return out;
}

// Folds a plain header value at blanks so that lines stay near 76 characters; first is
// the length of what precedes the value on its first line.
std::string FoldPlain(const std::string& value, size_t first) {
    std::string out;
    size_t lineLength = first;
    size_t i = 0;
    while (i < value.size()) {
        size_t sp = value.find(' ', i + 1);
        if (sp == std::string::npos) sp = value.size();
        const std::string word =
            value.substr(i, sp - i);  // starts with its blank, except the first
        if (lineLength + word.size() > kFoldAt && !out.empty() && word[0] == ' ') {
            out += kCrLf;
            lineLength = 0;
        }
        out += word;
        lineLength += word.size();
        i = sp;
    }
    return out;
}

bool NeedsQuotedPrintable(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        if (line.size() > kFoldAt) return true;
        for (unsigned char c : line)
            if (c >= 0x80 || (c < 0x20 && c != '\t') || c == 0x7f) return true;
        if (!line.empty() && (line.back() == ' ' || line.back() == '\t')) return true;
    }
    return false;
}

std::string AddressText(std::string_view address) {
    std::string a = CleanHeaderText(address);
    std::string out;
    for (char c : a)
        if (c != ' ' && c != '<' && c != '>' && c != ',' && c != '"') out += c;
    return out;
}

std::string DomainOf(std::string_view address) {
    const std::string a = AddressText(address);
    const size_t at = a.rfind('@');
    std::string d = at == std::string::npos ? std::string() : a.substr(at + 1);
    return d.empty() ? "localhost" : d;
}

}  // namespace

std::string CleanHeaderText(std::string_view text) {
    std::string out;
    bool blank = true;  // drops leading blanks
    for (unsigned char c : text) {
        const bool control = c < 0x20 || c == 0x7f;
        if (control || c == ' ') {
            if (!blank) out += ' ';
            blank = true;
        } else {
            out += char(c);
            blank = false;
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::string EncodeHeaderText(std::string_view text) {
    const std::string clean = CleanHeaderText(text);
    // Text that looks like an encoded word is encoded too, so that it reads as typed.
    if (IsAscii(clean) && clean.find("=?") == std::string::npos) return FoldPlain(clean, 9);
    return EncodedWords(clean, 9);  // after "Subject: "
}

std::string EncodeMailbox(std::string_view name, std::string_view address) {
    const std::string addr = "<" + AddressText(address) + ">";
    const std::string clean = CleanHeaderText(name);
    if (clean.empty()) return addr;
    constexpr size_t kAfterFrom = 6;  // "From: "
    std::string shown;
    if (!IsAscii(clean) || clean.find("=?") != std::string::npos) {
        shown = EncodedWords(clean, kAfterFrom);
    } else {
        shown = "\"";
        for (char c : clean) {
            if (c == '"' || c == '\\') shown += '\\';
            shown += c;
        }
        shown += '"';
    }
    // The address stays on the name's last line while that line keeps within bounds.
    const size_t lastBreak = shown.rfind(kCrLf);
    const size_t lastLine =
        lastBreak == std::string::npos ? kAfterFrom + shown.size() : shown.size() - lastBreak - 2;
    return shown + (lastLine + 1 + addr.size() > kHeaderLine ? "\r\n " : " ") + addr;
}

std::string FileNameParameter(std::string_view attribute, std::string_view fileName) {
    const std::string name(attribute);
    bool plain = true;
    for (unsigned char c : fileName)
        if (c < 0x20 || c >= 0x7f) plain = false;
    if (plain) {
        std::string quoted = "\"";
        for (char c : fileName) {
            if (c == '"' || c == '\\') quoted += '\\';
            quoted += c;
        }
        quoted += '"';
        // " name=" and the ";" a following parameter may add.
        if (1 + name.size() + 1 + quoted.size() + 1 <= kHeaderLine)
            return ";\r\n " + name + "=" + quoted;
    }
    // The extended form: UTF-8, every byte outside the token characters percent-encoded,
    // split into numbered sections that never cut an escape.
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::vector<std::string> pieces;
    for (unsigned char c : fileName) {
        const bool token = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') ||
                           std::string_view("!#$&+-.^_`|~").find(char(c)) != std::string::npos;
        pieces.push_back(token ? std::string(1, char(c))
                               : std::string{'%', kHex[c >> 4], kHex[c & 15]});
    }
    constexpr std::string_view kCharset = "UTF-8''";
    std::string whole(kCharset);
    for (const std::string& p : pieces)
        whole += p;
    if (1 + name.size() + 2 + whole.size() + 1 <= kHeaderLine)
        return ";\r\n " + name + "*=" + whole;
    std::string out;
    std::string section(kCharset);
    int number = 0;
    auto flush = [&] {
        out += ";\r\n " + name + "*" + std::to_string(number++) + "*=" + section;
        section.clear();
    };
    for (const std::string& p : pieces) {
        const size_t head = 1 + name.size() + 1 + std::to_string(number).size() + 2;
        if (head + section.size() + p.size() + 1 > kHeaderLine) flush();
        section += p;
    }
    flush();
    return out;
}

std::string Base64Lines(std::string_view bytes) {
    const std::string text = Base64(bytes);
    std::string out;
    out.reserve(text.size() + text.size() / kFoldAt * 2 + 2);
    for (size_t i = 0; i < text.size(); i += kFoldAt) {
        out.append(text, i, kFoldAt);
        out += kCrLf;
    }
    return out;
}

std::string QuotedPrintable(const std::vector<std::string>& lines) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const std::string& line : lines) {
        std::string current;
        for (size_t i = 0; i < line.size(); ++i) {
            const unsigned char c = uint8_t(line[i]);
            const bool last = i + 1 == line.size();
            std::string piece;
            if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last)) {
                piece = std::string(1, char(c));
            } else {
                piece = {'=', kHex[c >> 4], kHex[c & 15]};
            }
            // Room for the soft break's "=" at the end of the line.
            if (current.size() + piece.size() > kFoldAt - 1) {
                out += current + "=" + std::string(kCrLf);
                current.clear();
            }
            current += piece;
        }
        out += current + std::string(kCrLf);
    }
    return out;
}

MessageStamp StampNow(std::string_view fromAddress) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const long offset = local.tm_gmtoff / 60;
    const long absOffset = offset < 0 ? -offset : offset;
    char date[64];
    std::snprintf(date, sizeof date, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDays[local.tm_wday], local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900,
                  local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+', absOffset / 60,
                  absOffset % 60);
    static std::mt19937_64 random{std::random_device{}()};
    char id[128];
    std::snprintf(id, sizeof id, "<%lld.%016llx@", static_cast<long long>(now),
                  static_cast<unsigned long long>(random()));
    char boundary[64];
    std::snprintf(boundary, sizeof boundary, "=_Invarro_%016llx",
                  static_cast<unsigned long long>(random()));
    return MessageStamp{date, std::string(id) + DomainOf(fromAddress) + ">", boundary};
}

std::string ComposeMessage(const MailMessage& m, const MessageStamp& stamp) {
    std::string to;
    for (const std::string& r : m.recipients) {
        const std::string a = AddressText(r);
        if (a.empty()) continue;
        if (!to.empty()) to += ",\r\n ";
        to += a;
    }
    const bool qp = NeedsQuotedPrintable(m.body);
    std::string body;
    if (qp) {
        body = QuotedPrintable(m.body);
    } else {
        for (const std::string& line : m.body)
            body += line + std::string(kCrLf);
    }
    const char* textEncoding = qp ? "quoted-printable" : "7bit";
    std::string out;
    auto header = [&](std::string_view name, const std::string& value) {
        out += std::string(name) + ": " + value + std::string(kCrLf);
    };
    header("Date", CleanHeaderText(stamp.date));
    header("From", EncodeMailbox(m.fromName, m.from));
    header("To", to);
    header("Subject", EncodeHeaderText(m.subject));
    header("Message-ID", CleanHeaderText(stamp.messageId));
    header("MIME-Version", "1.0");
    if (m.attachments.empty()) {
        header("Content-Type", "text/plain; charset=UTF-8");
        header("Content-Transfer-Encoding", textEncoding);
        out += kCrLf;
        out += body;
        return out;
    }
    // The boundary must not occur in the parts: quoted-printable and base64 never hold
    // "=_", so only a 7 bit text could, and then the boundary grows until it does not.
    std::string boundary = CleanHeaderText(stamp.boundary);
    if (boundary.empty()) boundary = "=_Invarro_part";
    while (body.find("--" + boundary) != std::string::npos)
        boundary += "_";
    const std::string delimiter = "--" + boundary;
    header("Content-Type", "multipart/mixed;\r\n boundary=\"" + boundary + "\"");
    out += kCrLf;
    out += "This is a message in several parts (MIME).\r\n";
    out += kCrLf;
    out += delimiter + std::string(kCrLf);
    header("Content-Type", "text/plain; charset=UTF-8");
    header("Content-Transfer-Encoding", textEncoding);
    out += kCrLf;
    // The line end before a boundary belongs to the boundary: one more keeps the text's
    // last line end.
    out += body;
    out += kCrLf;
    for (const MailAttachment& a : m.attachments) {
        const std::string fileName = CleanHeaderText(a.fileName);
        const std::string type = CleanHeaderText(a.contentType);
        out += delimiter + std::string(kCrLf);
        header("Content-Type", (type.empty() ? std::string("application/octet-stream") : type) +
                                   FileNameParameter("name", fileName));
        header("Content-Transfer-Encoding", "base64");
        header("Content-Disposition", "attachment" + FileNameParameter("filename", fileName));
        out += kCrLf;
        out += Base64Lines(a.bytes);
    }
    out += delimiter + "--" + std::string(kCrLf);
    return out;
}

bool ConnectionSurvives(MailStep step) {
    switch (step) {
        case MailStep::Sender:
        case MailStep::Recipient:
        case MailStep::Client:
        case MailStep::Message:
        case MailStep::Size:
        case MailStep::Attachment:
            return true;
        default:
            return false;
    }
}

}  // namespace invarro::platform
