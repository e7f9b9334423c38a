#include "storage/KeyText.h"

#include <cstdio>

namespace invarro::storage {

namespace {
void appendHex(std::string& out, unsigned char c) {
    char b[5];
    std::snprintf(b, sizeof b, "\\x%02X", c);
    out += b;
}
int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

std::string EncodeKeyText(std::string_view key) {
    if (key.empty()) return "\"\"";
    std::string out;
    for (unsigned char c : key) {
        if (c == ' ')
            out += "\\s";
        else if (c == '\\')
            out += "\\\\";
        else if (c < 33 || c > 126)
            appendHex(out, c);
        else
            out += char(c);
    }
    return out;
}

std::optional<std::string> DecodeKeyText(std::string_view token) {
    if (token == "\"\"") return std::string();
    std::string out;
    for (size_t i = 0; i < token.size(); ++i) {
        char c = token[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= token.size()) return std::nullopt;
        char e = token[i];
        if (e == 's') {
            out += ' ';
        } else if (e == '\\') {
            out += '\\';
        } else if (e == 'x' && i + 2 < token.size()) {
            int hi = hexValue(token[i + 1]), lo = hexValue(token[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            out += char(hi * 16 + lo);
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

std::string EscapeBytes(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\\')
            out += "\\\\";
        else if (c < 32 || c > 126)
            appendHex(out, c);
        else
            out += char(c);
    }
    return out;
}

}  // namespace invarro::storage
