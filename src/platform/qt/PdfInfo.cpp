#include "platform/qt/PdfInfo.h"

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
#include <map>
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

bool SetPdfInfoInMemory(std::string& pdf, const output::DocumentInfo& info) {
    const std::string_view s(pdf);
    constexpr auto npos = std::string_view::npos;
    const size_t sx = s.rfind("startxref");
    if (sx == npos) return false;
    size_t i = sx + 9;
    SkipSpace(s, i);
    const size_t xrefNumberAt = i;
    const auto xref = Number(s, i);
    if (!xref || *xref >= sx) return false;
    const size_t xrefNumberEnd = i;

    // The table: subsections of 20-byte entries, each offset in ten digits.
    struct Entry {
        size_t at;  // where the ten digits stand
        uint64_t offset;
    };
    std::map<uint64_t, Entry> used;
    size_t p = size_t(*xref);
    if (s.substr(p, 4) != "xref") return false;
    p += 4;
    for (;;) {
        SkipSpace(s, p);
        if (s.substr(p, 7) == "trailer") break;
        const auto first = Number(s, p);
        while (p < s.size() && s[p] == ' ')
            ++p;
        const auto count = Number(s, p);
        if (!first || !count) return false;
        SkipSpace(s, p);
        for (uint64_t k = 0; k < *count; ++k, p += 20) {
            if (p + 20 > sx) return false;
            size_t d = p;
            const auto offset = Number(s, d);
            if (!offset || d != p + 10 || s[p + 10] != ' ' || s[p + 16] != ' ') return false;
            if (s[p + 17] == 'n') used[*first + k] = Entry{p, *offset};
        }
    }
    const std::string_view trailer = s.substr(p, sx - p);
    if (trailer.find("/Prev") != npos || trailer.find("/Encrypt") != npos) return false;
    size_t t = trailer.find("/Info");
    if (t == npos) return false;
    t += 5;
    SkipSpace(trailer, t);
    const auto objNo = Number(trailer, t);
    SkipSpace(trailer, t);
    const auto gen = Number(trailer, t);
    SkipSpace(trailer, t);
    if (!objNo || !gen || trailer.substr(t, 1) != "R") return false;
    const auto entry = used.find(*objNo);
    if (entry == used.end()) return false;

    // The dictionary itself.
    const size_t objStart = size_t(entry->second.offset);
    const std::string header = std::to_string(*objNo) + " " + std::to_string(*gen) + " obj";
    if (objStart >= s.size() || s.substr(objStart, header.size()) != header) return false;
    p = objStart + header.size();
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
    const size_t objEnd = p + 6;
    if (objEnd > *xref) return false;
    for (const auto& [no, e] : used)
        if (e.offset > objStart && e.offset < objEnd) return false;

    std::string object = header + "\n<<\n";
    for (const auto& [key, value] :
         {std::pair{"/Title", &info.title}, std::pair{"/Author", &info.author},
          std::pair{"/Subject", &info.subject}, std::pair{"/Producer", &info.producer}})
        if (!value->empty()) object += std::string(key) + " " + TextString(*value) + "\n";
    object += kept + ">>\nendobj";

    const int64_t delta = int64_t(object.size()) - int64_t(objEnd - objStart);
    std::string out;
    out.reserve(pdf.size() + object.size());
    out.append(s.substr(0, objStart));
    out += object;
    out.append(s.substr(objEnd));
    auto moved = [&](size_t at) { return size_t(int64_t(at) + delta); };
    for (const auto& [no, e] : used) {
        if (e.offset < objEnd) continue;
        const uint64_t offset = uint64_t(int64_t(e.offset) + delta);
        if (offset > 9999999999ULL) return false;
        char digits[16];
        std::snprintf(digits, sizeof digits, "%010llu", static_cast<unsigned long long>(offset));
        out.replace(moved(e.at), 10, digits);
    }
    out.replace(moved(xrefNumberAt), xrefNumberEnd - xrefNumberAt,
                std::to_string(int64_t(*xref) + delta));
    pdf = std::move(out);
    return true;
}

bool SetPdfInfo(const std::string& path, const output::DocumentInfo& info, std::string* error) {
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
        QPDFWriter writer(pdf, temp.c_str());
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

}  // namespace invarro::platform::qt
