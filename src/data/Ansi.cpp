#include "data/Ansi.h"

#include <algorithm>
#include <cstdint>

namespace invarro::data {

namespace {

// Code points of the bytes 0x80..0x9F. The five undefined bytes keep their own value.
constexpr char32_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

unsigned char UpperByte(unsigned char b);

}  // namespace

char32_t AnsiToCodePoint(unsigned char b) {
    if (b >= 0x80 && b <= 0x9F) return kHigh[b - 0x80];
    return b;
}

std::optional<unsigned char> CodePointToAnsi(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<unsigned char>(cp);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == cp) return static_cast<unsigned char>(0x80 + i);
    return std::nullopt;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

bool NextUtf8(std::string_view text, size_t& i, char32_t& cp) {
    unsigned char b = static_cast<unsigned char>(text[i++]);
    if (b < 0x80) {
        cp = b;
        return true;
    }
    int extra;
    char32_t min;
    if ((b & 0xE0) == 0xC0) {
        extra = 1;
        cp = b & 0x1F;
        min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        extra = 2;
        cp = b & 0x0F;
        min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        extra = 3;
        cp = b & 0x07;
        min = 0x10000;
    } else {
        return false;
    }
    // A cut-off sequence counts once: its continuation bytes go with it.
    for (int k = 0; k < extra; ++k) {
        if (i >= text.size()) return false;
        unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (c & 0x3F);
        ++i;
    }
    return cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
}

namespace {

unsigned char UpperByte(unsigned char b) {
    if (b >= 'a' && b <= 'z') return static_cast<unsigned char>(b - 32);
    if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return static_cast<unsigned char>(b - 32);
    switch (b) {
        case 0x9A:  // š
            return 0x8A;
        case 0x9C:  // œ
            return 0x8C;
        case 0x9E:  // ž
            return 0x8E;
        case 0xFF:  // ÿ
            return 0x9F;
        default:
            return b;
    }
}

}  // namespace

std::string AnsiFromUtf8(std::string_view utf8, char replacement) {
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        char32_t cp = 0;
        if (!NextUtf8(utf8, i, cp)) {
            out += replacement;
            continue;
        }
        auto b = CodePointToAnsi(cp);
        out += b ? char(*b) : replacement;
    }
    return out;
}

std::string Utf8FromAnsi(std::string_view ansi) {
    std::string out;
    AssignUtf8FromAnsi(out, ansi);
    return out;
}

void AssignUtf8FromAnsi(std::string& out, std::string_view ansi) {
    // Plain ASCII, the common case, is the same in both.
    if (std::all_of(ansi.begin(), ansi.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        out.assign(ansi);
        return;
    }
    out.clear();
    out.reserve(ansi.size());
    for (char c : ansi)
        AppendUtf8(out, AnsiToCodePoint(static_cast<unsigned char>(c)));
}

std::string DecodeText(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
        std::string out;
        for (size_t i = 0; i < bytes.size();) {
            size_t start = i;
            char32_t cp = 0;
            if (NextUtf8(bytes, i, cp)) {
                AppendUtf8(out, cp);
            } else {
                i = start + 1;
                AppendUtf8(out, AnsiToCodePoint(static_cast<unsigned char>(bytes[start])));
            }
        }
        return out;
    }
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return Utf8FromAnsi(bytes);
}

size_t CharCount(std::string_view utf8) {
    size_t n = 0;
    char32_t cp;
    for (size_t i = 0; i < utf8.size(); ++n)
        NextUtf8(utf8, i, cp);
    return n;
}

std::string FirstChars(std::string_view utf8, size_t n) {
    size_t i = 0;
    char32_t cp;
    for (size_t k = 0; k < n && i < utf8.size(); ++k)
        NextUtf8(utf8, i, cp);
    return std::string(utf8.substr(0, i));
}

bool IsValidUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        char32_t cp = 0;
        if (!NextUtf8(bytes, i, cp)) return false;
    }
    return true;
}

std::string UpperAnsi(std::string_view ansi) {
    std::string out(ansi);
    for (char& c : out)
        c = char(UpperByte(static_cast<unsigned char>(c)));
    return out;
}

std::string UpperText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        size_t start = i;
        char32_t cp = 0;
        if (!NextUtf8(utf8, i, cp)) {
            out += utf8[start];
            i = start + 1;
            continue;
        }
        auto b = CodePointToAnsi(cp);
        if (!b) {
            out.append(utf8.substr(start, i - start));
            continue;
        }
        AppendUtf8(out, AnsiToCodePoint(UpperByte(*b)));
    }
    return out;
}

bool HoldsWordNoCase(std::string_view text, std::string_view word) {
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; };
    if (word.size() > text.size()) return false;
    for (size_t at = 0; at + word.size() <= text.size(); ++at) {
        size_t i = 0;
        while (i < word.size() && upper(text[at + i]) == word[i])
            ++i;
        if (i == word.size()) return true;
    }
    return false;
}

std::string PadRight(std::string_view text, std::size_t n) {
    std::string out(text);
    std::size_t chars = data::CharCount(text);
    if (chars < n) out.append(n - chars, ' ');
    return out;
}

std::string PadLeft(std::string_view text, std::size_t n) {
    std::size_t chars = data::CharCount(text);
    std::string out;
    if (chars < n) out.assign(n - chars, ' ');
    out += text;
    return out;
}

}  // namespace invarro::data
