#include "platform/OAuthText.h"

#include <cctype>

namespace invarro::platform {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int SextetOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+' || c == '-') return 62;
    if (c == '/' || c == '_') return 63;
    return -1;
}

int HexOf(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Lower(std::string_view text) {
    std::string out;
    for (char c : text)
        out += char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A reader of one JSON text; each call reads one value at `at` and moves past it.
struct JsonReader {
    std::string_view text;
    size_t at = 0;

    void blanks() {
        while (at < text.size() &&
               (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r'))
            ++at;
    }
    bool take(char c) {
        blanks();
        if (at < text.size() && text[at] == c) {
            ++at;
            return true;
        }
        return false;
    }
    static void putUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += char(code);
        } else if (code < 0x800) {
            out += char(0xC0 | (code >> 6));
            out += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += char(0xE0 | (code >> 12));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        } else {
            out += char(0xF0 | (code >> 18));
            out += char(0x80 | ((code >> 12) & 0x3F));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        }
    }
    std::optional<unsigned> hex4() {
        if (at + 4 > text.size()) return std::nullopt;
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            const int h = HexOf(text[at++]);
            if (h < 0) return std::nullopt;
            v = v * 16 + unsigned(h);
        }
        return v;
    }
    std::optional<std::string> string() {
        if (!take('"')) return std::nullopt;
        std::string out;
        while (at < text.size()) {
            const char c = text[at++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at >= text.size()) return std::nullopt;
            const char e = text[at++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += e;
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    std::optional<unsigned> code = hex4();
                    if (!code) return std::nullopt;
                    if (*code >= 0xD800 && *code < 0xDC00 && at + 1 < text.size() &&
                        text[at] == '\\' && text[at + 1] == 'u') {
                        at += 2;
                        const std::optional<unsigned> low = hex4();
                        if (!low || *low < 0xDC00 || *low > 0xDFFF) return std::nullopt;
                        code = 0x10000 + ((*code - 0xD800) << 10) + (*low - 0xDC00);
                    }
                    putUtf8(out, *code);
                    break;
                }
                default:
                    return std::nullopt;
            }
        }
        return std::nullopt;
    }
    // Any value as its text; objects and arrays are read past and give "".
    std::optional<std::string> value(int depth = 0) {
        blanks();
        if (at >= text.size() || depth > 32) return std::nullopt;
        const char c = text[at];
        if (c == '"') return string();
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++at;
            if (take(close)) return std::string();
            do {
                if (c == '{') {
                    if (!string() || !take(':')) return std::nullopt;
                }
                if (!value(depth + 1)) return std::nullopt;
            } while (take(','));
            if (!take(close)) return std::nullopt;
            return std::string();
        }
        const size_t start = at;
        while (at < text.size() && (std::isalnum(static_cast<unsigned char>(text[at])) ||
                                    text[at] == '-' || text[at] == '+' || text[at] == '.'))
            ++at;
        if (at == start) return std::nullopt;
        return std::string(text.substr(start, at - start));
    }
};

}  // namespace

std::string Base64(std::string_view bytes, bool urlSafe) {
    std::string out;
    size_t i = 0;
    auto put = [&](unsigned sextet) {
        char c = kAlphabet[sextet & 63];
        if (urlSafe && c == '+') c = '-';
        if (urlSafe && c == '/') c = '_';
        out += c;
    };
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = (unsigned(static_cast<unsigned char>(bytes[i])) << 16) |
                           (unsigned(static_cast<unsigned char>(bytes[i + 1])) << 8) |
                           unsigned(static_cast<unsigned char>(bytes[i + 2]));
        put(v >> 18), put(v >> 12), put(v >> 6), put(v);
    }
    const size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned v = unsigned(static_cast<unsigned char>(bytes[i])) << 16;
        if (rest == 2) v |= unsigned(static_cast<unsigned char>(bytes[i + 1])) << 8;
        put(v >> 18), put(v >> 12);
        if (rest == 2) put(v >> 6);
        if (!urlSafe) out += rest == 1 ? "==" : "=";
    }
    return out;
}

std::optional<std::string> FromBase64(std::string_view text) {
    while (!text.empty() && text.back() == '=')
        text.remove_suffix(1);
    if (text.size() % 4 == 1) return std::nullopt;
    std::string out;
    unsigned v = 0;
    int bits = 0;
    for (char c : text) {
        const int s = SextetOf(c);
        if (s < 0) return std::nullopt;
        v = (v << 6) | unsigned(s);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += char((v >> bits) & 0xFF);
        }
    }
    return out;
}

std::string FormEncode(std::string_view value) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

std::string FormBody(const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string out;
    for (const auto& [name, value] : fields) {
        if (!out.empty()) out += '&';
        out += FormEncode(name) + "=" + FormEncode(value);
    }
    return out;
}

std::optional<std::map<std::string, std::string>> ParseQuery(std::string_view query) {
    std::map<std::string, std::string> fields;
    auto decode = [](std::string_view part) -> std::optional<std::string> {
        std::string out;
        for (size_t i = 0; i < part.size(); ++i) {
            if (part[i] == '+') {
                out += ' ';
            } else if (part[i] == '%') {
                if (i + 2 >= part.size()) return std::nullopt;
                const int hi = HexOf(part[i + 1]), lo = HexOf(part[i + 2]);
                if (hi < 0 || lo < 0) return std::nullopt;
                out += char(hi * 16 + lo);
                i += 2;
            } else {
                out += part[i];
            }
        }
        return out;
    };
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.empty()) continue;
        const size_t eq = pair.find('=');
        const auto name = decode(pair.substr(0, eq));
        const auto value = eq == std::string_view::npos ? std::optional<std::string>("")
                                                        : decode(pair.substr(eq + 1));
        if (!name || !value) return std::nullopt;
        fields.emplace(*name, *value);
    }
    return fields;
}

std::optional<std::map<std::string, std::string>> ParseJsonObject(std::string_view json) {
    JsonReader r{json};
    if (!r.take('{')) return std::nullopt;
    std::map<std::string, std::string> members;
    if (!r.take('}')) {
        do {
            const std::optional<std::string> name = r.string();
            if (!name || !r.take(':')) return std::nullopt;
            const std::optional<std::string> value = r.value();
            if (!value) return std::nullopt;
            members[*name] = *value;
        } while (r.take(','));
        if (!r.take('}')) return std::nullopt;
    }
    r.blanks();
    if (r.at != json.size()) return std::nullopt;
    return members;
}

std::string AccountOfIdToken(std::string_view idToken) {
    const size_t first = idToken.find('.');
    const size_t second = idToken.find('.', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos) return {};
    const std::optional<std::string> payload =
        FromBase64(idToken.substr(first + 1, second - first - 1));
    if (!payload) return {};
    const auto claims = ParseJsonObject(*payload);
    if (!claims) return {};
    for (const char* claim : {"email", "preferred_username"}) {
        auto it = claims->find(claim);
        if (it != claims->end() && it->second.find('@') != std::string::npos) return it->second;
    }
    return {};
}

std::string EndpointProblem(std::string_view url) {
    const std::string lower = Lower(url);
    std::string_view rest;
    bool secure = false;
    if (lower.rfind("https://", 0) == 0) {
        secure = true;
        rest = std::string_view(lower).substr(8);
    } else if (lower.rfind("http://", 0) == 0) {
        rest = std::string_view(lower).substr(7);
    } else {
        return "\"" + std::string(url) + "\" is not a web address (https://...).";
    }
    for (char c : url)
        if (static_cast<unsigned char>(c) <= ' ')
            return "\"" + std::string(url) + "\" holds a blank or a control character.";
    const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    if (authority.empty() || authority.find('@') != std::string_view::npos)
        return "\"" + std::string(url) + "\" names no host.";
    if (secure) return {};
    std::string_view host = authority;
    if (host.front() == '[') {
        host = host.substr(0, host.find(']') + 1);
    } else {
        host = host.substr(0, host.find(':'));
    }
    if (host == "127.0.0.1" || host == "[::1]" || host == "localhost") return {};
    return "\"" + std::string(url) +
           "\" is not secure: sign-in addresses must begin with https:// (plain http:// only "
           "to this computer).";
}

std::string XOAuth2Refusal(std::string_view reply) {
    if (reply.rfind("334 ", 0) != 0) return {};
    std::string_view encoded = reply.substr(4);
    encoded = encoded.substr(0, encoded.find_first_of(" \r\n"));
    const std::optional<std::string> json = FromBase64(encoded);
    if (!json) return {};
    const auto members = ParseJsonObject(*json);
    if (!members || !members->count("status")) return {};
    std::string text = "status " + members->at("status");
    if (auto it = members->find("schemes"); it != members->end()) text += ", schemes " + it->second;
    if (auto it = members->find("scope"); it != members->end()) text += ", scope " + it->second;
    return text;
}

}  // namespace invarro::platform
