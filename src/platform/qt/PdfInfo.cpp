#include "platform/qt/PdfInfo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>

#include <QString>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string_view>

namespace invarro::platform::qt {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

bool IsDelimiter(char c) {
    return c != '\0' && std::strchr("()<>[]{}/%", c) != nullptr;
}

void SkipSpace(std::string_view s, size_t& i) {
    while (i < s.size() && IsSpace(s[i]))
        ++i;
}

std::optional<uint64_t> Number(std::string_view s, size_t& i) {
    const size_t start = i;
    uint64_t value = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < 18)
        value = value * 10 + uint64_t(s[i++] - '0');
    if (i == start) return std::nullopt;
    return value;
}

// The end of one value of a flat dictionary: a string, a hex string or a name. Anything
// else (numbers and references, arrays, dictionaries) is not handled here.
std::optional<size_t> ValueEnd(std::string_view s, size_t i) {
    if (i >= s.size()) return std::nullopt;
    if (s[i] == '(') {
        int depth = 0;
        for (; i < s.size(); ++i) {
            if (s[i] == '\\') {
                ++i;
            } else if (s[i] == '(') {
                ++depth;
            } else if (s[i] == ')' && --depth == 0) {
                return i + 1;
            }
        }
        return std::nullopt;
    }
    if (s[i] == '<') {
        if (i + 1 < s.size() && s[i + 1] == '<') return std::nullopt;
        const size_t end = s.find('>', i);
        if (end == std::string_view::npos) return std::nullopt;
        return end + 1;
    }
    if (s[i] != '/') return std::nullopt;
    size_t j = i + 1;
    while (j < s.size() && !IsSpace(s[j]) && !IsDelimiter(s[j]))
        ++j;
    return j;
}

// A text string: plain ASCII as a literal, anything else as UTF-16 in hex, which no
// reader can take apart at a line end.
std::string TextString(const std::string& utf8) {
    bool plain = true;
    for (unsigned char c : utf8)
        if (c < 0x20 || c > 0x7e) plain = false;
    std::string out;
    if (plain) {
        out = "(";
        for (char c : utf8) {
            if (c == '(' || c == ')' || c == '\\') out += '\\';
            out += c;
        }
        return out + ")";
    }
    static const char kHex[] = "0123456789ABCDEF";
    out = "<FEFF";
    const QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        for (int shift = 12; shift >= 0; shift -= 4)
            out += kHex[(u >> shift) & 0xf];
    }
    return out + ">";
}

}  // namespace

namespace {

// The four entries as the dictionary lists them.
std::string InfoEntries(const output::DocumentInfo& info) {
    std::string out;
    for (const auto& [key, value] :
         {std::pair{"/Title ", &info.title}, std::pair{"/Author ", &info.author},
          std::pair{"/Subject ", &info.subject}, std::pair{"/Producer ", &info.producer}})
        if (!value->empty()) out += key + TextString(*value) + "\n";
    return out;
}

// Bytes of the file from offset on, at most n (fewer at its end).
std::optional<std::string> ReadAt(int fd, uint64_t offset, size_t n) {
    std::string buffer(n, '\0');
    size_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd, buffer.data() + got, n - got, off_t(offset + got));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return std::nullopt;
        if (r == 0) break;
        got += size_t(r);
    }
    buffer.resize(got);
    return buffer;
}

struct FileCloser {
    int fd;
    ~FileCloser() { ::close(fd); }
};

}  // namespace

int PdfInfoRoom(const output::DocumentInfo& info) {
    // The writer keeps the title as UTF-16, two bytes a character and four more.
    return int(InfoEntries(info).size() / 2) + 1;
}

bool SetPdfInfoInPlace(const std::string& path, const output::DocumentInfo& info) {
    constexpr auto npos = std::string_view::npos;
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    const FileCloser closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    const uint64_t size = uint64_t(st.st_size);

    // The trailer and the table's place from the end of the file.
    const uint64_t tailAt = size > 4096 ? size - 4096 : 0;
    const auto tail = ReadAt(fd, tailAt, size_t(size - tailAt));
    if (!tail) return false;
    const std::string_view t(*tail);
    const size_t sx = t.rfind("startxref");
    const size_t tr = t.rfind("trailer", sx);
    if (sx == npos || tr == npos) return false;
    size_t i = sx + 9;
    SkipSpace(t, i);
    const auto xref = Number(t, i);
    if (!xref || *xref >= tailAt + tr) return false;
    const std::string_view trailer = t.substr(tr, sx - tr);
    if (trailer.find("/Prev") != npos || trailer.find("/Encrypt") != npos) return false;
    size_t k = trailer.find("/Info");
    if (k == npos) return false;
    k += 5;
    SkipSpace(trailer, k);
    const auto objNo = Number(trailer, k);
    SkipSpace(trailer, k);
    const auto gen = Number(trailer, k);
    SkipSpace(trailer, k);
    if (!objNo || !gen || trailer.substr(k, 1) != "R") return false;

    // The dictionary's entry in the table: one subsection from object 0, 20 bytes each.
    const auto head = ReadAt(fd, *xref, 64);
    if (!head) return false;
    const std::string_view h(*head);
    if (h.substr(0, 4) != "xref") return false;
    size_t p = 4;
    SkipSpace(h, p);
    const auto first = Number(h, p);
    while (p < h.size() && h[p] == ' ')
        ++p;
    const auto count = Number(h, p);
    SkipSpace(h, p);
    if (!first || *first != 0 || !count || *objNo >= *count || p >= h.size()) return false;
    const auto entry = ReadAt(fd, *xref + p + 20 * *objNo, 20);
    if (!entry || entry->size() != 20 || (*entry)[17] != 'n') return false;
    size_t d = 0;
    const auto objStart = Number(*entry, d);
    if (!objStart || d != 10 || *objStart >= *xref) return false;

    // The dictionary itself.
    const auto object = ReadAt(fd, *objStart, 8192);
    if (!object) return false;
    const std::string_view s(*object);
    const std::string header = std::to_string(*objNo) + " " + std::to_string(*gen) + " obj";
    if (s.substr(0, header.size()) != header) return false;
    p = header.size();
    SkipSpace(s, p);
    if (s.substr(p, 2) != "<<") return false;
    p += 2;
    std::string kept;
    for (;;) {
        SkipSpace(s, p);
        if (s.substr(p, 2) == ">>") {
            p += 2;
            break;
        }
        if (s.substr(p, 1) != "/") return false;
        const auto keyEnd = ValueEnd(s, p);
        if (!keyEnd) return false;
        const std::string_view key = s.substr(p, *keyEnd - p);
        p = *keyEnd;
        SkipSpace(s, p);
        const auto valueEnd = ValueEnd(s, p);
        if (!valueEnd) return false;
        if (key != "/Title" && key != "/Author" && key != "/Subject" && key != "/Producer") {
            kept += key;
            kept += ' ';
            kept += s.substr(p, *valueEnd - p);
            kept += '\n';
        }
        p = *valueEnd;
    }
    SkipSpace(s, p);
    if (s.substr(p, 6) != "endobj") return false;
    const size_t length = p + 6;

    std::string written = header + "\n<<\n" + InfoEntries(info) + kept;
    const std::string end = ">>\nendobj";
    if (written.size() + end.size() > length) return false;
    written += std::string(length - written.size() - end.size(), ' ') + end;
    return ::pwrite(fd, written.data(), written.size(), off_t(*objStart)) ==
           ssize_t(written.size());
}

QPDFObjectHandle PutDocumentInfo(QPDF& pdf, const output::DocumentInfo& info) {
    QPDFObjectHandle trailer = pdf.getTrailer();
    QPDFObjectHandle dict = trailer.getKey("/Info");
    if (!dict.isDictionary()) {
        dict = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
        trailer.replaceKey("/Info", dict);
    }
    auto put = [&dict](const char* key, const std::string& value) {
        if (value.empty())
            dict.removeKey(key);
        else
            dict.replaceKey(key, QPDFObjectHandle::newUnicodeString(value));
    };
    put("/Title", info.title);
    put("/Author", info.author);
    put("/Subject", info.subject);
    put("/Producer", info.producer);
    return dict;
}

bool RewritePdfFile(const std::string& path, const std::function<void(QPDF&)>& change,
                    const std::function<void(QPDFWriter&)>& settings, std::string* error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (error) *error = "Cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        if (error) *error = "Cannot write beside " + path + ": " + std::strerror(errno);
        return false;
    }
    ::close(fd);
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processFile(path.c_str());
        change(pdf);
        QPDFWriter writer(pdf, temp.c_str());
        if (settings) settings(writer);
        writer.write();
    } catch (const std::exception& e) {
        ::unlink(temp.c_str());
        if (error) *error = "Cannot complete " + path + ": " + e.what();
        return false;
    }
    ::chmod(temp.c_str(), st.st_mode & 07777);
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        if (error) *error = "Cannot replace " + path + ": " + std::strerror(err);
        return false;
    }
    return true;
}

bool SetPdfInfo(const std::string& path, const output::DocumentInfo& info, std::string* error) {
    return RewritePdfFile(
        path, [&info](QPDF& pdf) { PutDocumentInfo(pdf, info); }, nullptr, error);
}

}  // namespace invarro::platform::qt
