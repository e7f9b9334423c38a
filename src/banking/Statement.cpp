#include "banking/Statement.h"

#include <cctype>
#include <cstdio>

#include "data/Ansi.h"
#include "data/PaymentReference.h"

namespace invarro::banking {

ReadResult ReadFailure(int line, std::string why) {
    ReadResult r;
    r.ok = false;
    r.errorLine = line;
    r.error = std::move(why);
    return r;
}

std::optional<std::string> CanonicalAmount(std::string_view text, bool decimalComma) {
    std::string s;
    // U+2212 MINUS SIGN becomes "-".
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.substr(i, 3) == "\xE2\x88\x92") {
            s += '-';
            i += 2;
        } else if (text[i] != ' ' && text[i] != '\t' && text.substr(i, 2) != "\xC2\xA0") {
            s += text[i];
        } else if (text[i] != ' ' && text[i] != '\t') {
            ++i;  // no-break space
        }
    }
    bool negative = false;
    if (s.size() >= 2 && s.front() == '(' && s.back() == ')') {
        negative = true;
        s = s.substr(1, s.size() - 2);
    }
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = negative != (s.front() == '-');
        s.erase(0, 1);
    } else if (!s.empty() && (s.back() == '-' || s.back() == '+')) {
        negative = negative != (s.back() == '-');
        s.pop_back();
    }
    const char mark = decimalComma ? ',' : '.';
    const char group = decimalComma ? '.' : ',';
    std::string whole, decimals;
    bool seenMark = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            (seenMark ? decimals : whole) += c;
        } else if (c == mark && !seenMark) {
            seenMark = true;
        } else if (c == group && !seenMark && !whole.empty()) {
            // A thousands separator stands between groups of three digits.
            if (i + 3 >= s.size()) return {};
            for (std::size_t k = 1; k <= 3; ++k)
                if (s[i + k] < '0' || s[i + k] > '9') return {};
            if (i + 4 < s.size() && s[i + 4] != group && s[i + 4] != mark) return {};
        } else {
            return {};
        }
    }
    if (whole.empty() && decimals.empty()) return {};
    if (seenMark && decimals.empty()) return {};
    std::size_t z = 0;
    while (z + 1 < whole.size() && whole[z] == '0')
        ++z;
    whole = whole.empty() ? "0" : whole.substr(z);
    std::string out = whole;
    if (!decimals.empty()) out += "." + decimals;
    bool zero = true;
    for (char c : out)
        if (c >= '1' && c <= '9') zero = false;
    if (negative && !zero) return "-" + out;
    return out;
}

std::optional<data::Money> CentsOf(std::string_view amount) {
    bool negative = !amount.empty() && amount.front() == '-';
    if (negative) amount.remove_prefix(1);
    const std::size_t dot = amount.find('.');
    std::string_view whole = amount.substr(0, dot);
    std::string_view decimals = dot == std::string_view::npos ? "" : amount.substr(dot + 1);
    if (whole.empty() || whole.size() > 15) return {};
    int64_t cents = 0;
    for (char c : whole) {
        if (c < '0' || c > '9') return {};
        cents = cents * 10 + (c - '0');
    }
    for (std::size_t i = 0; i < decimals.size(); ++i) {
        const char c = decimals[i];
        if (c < '0' || c > '9') return {};
        if (i >= 2 && c != '0') return {};
    }
    int64_t fraction = 0;
    for (std::size_t i = 0; i < 2; ++i)
        fraction = fraction * 10 + (i < decimals.size() ? decimals[i] - '0' : 0);
    cents = cents * 100 + fraction;
    return data::Money::FromCents(negative ? -cents : cents);
}

std::string Negated(const std::string& amount) {
    if (!amount.empty() && amount.front() == '-') return amount.substr(1);
    for (char c : amount)
        if (c >= '1' && c <= '9') return "-" + amount;
    return amount;
}

// The first RF reference in the text, blanks inside it allowed as printed.
std::string FindCreditorReference(const std::string& text) {
    for (std::size_t p = text.find("RF"); p != std::string::npos; p = text.find("RF", p + 1)) {
        std::string candidate;
        for (std::size_t i = p; i < text.size() && candidate.size() < 25; ++i) {
            const char c = text[i];
            if (c == ' ') continue;
            if (!std::isalnum(static_cast<unsigned char>(c))) break;
            candidate += c;
        }
        // The longest prefix that checks: text may run on after the reference.
        for (std::size_t n = candidate.size(); n >= 5; --n)
            if (data::IsCreditorReference(candidate.substr(0, n))) return candidate.substr(0, n);
    }
    return {};
}

std::string IsoDate(const data::Date& d) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buf;
}

std::string CompactIban(std::string_view text) {
    std::string s;
    for (char c : text)
        if (std::isalnum(static_cast<unsigned char>(c)))
            s += char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string ToUtf8(std::string_view bytes) {
    if (data::IsValidUtf8(bytes)) return std::string(bytes);
    return data::Utf8FromAnsi(bytes);
}

}  // namespace invarro::banking
