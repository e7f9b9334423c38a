#include "data/Money.h"

#include <cstdlib>

#include "data/Ansi.h"

namespace invarro::data {

namespace {

using Wide = __int128;

// n / d rounded half away from zero (d > 0).
Wide DivideRounded(Wide n, Wide d) {
    // Nearly every amount fits 64 bits, where the division is one instruction rather
    // than a call for 128 bits. (2r >= d is written r >= d - r, which cannot overflow.)
    if (n >= INT64_MIN && n <= INT64_MAX && d <= INT64_MAX) {
        const int64_t a = int64_t(n), b = int64_t(d);
        int64_t q = a / b;
        int64_t r = a % b;
        if (r < 0) r = -r;
        if (r >= b - r) q += a < 0 ? -1 : 1;
        return q;
    }
    Wide q = n / d;
    Wide r = n % d;
    if (r < 0) r = -r;
    if (2 * r >= d) q += n < 0 ? -1 : 1;
    return q;
}

// Sign, whole digits and fraction digits of a number with `decimals` decimals. Built
// from the right in one buffer: reports format millions of amounts.
std::string FormatScaled(int64_t value, int64_t scale, int decimals, bool thousands) {
    bool negative = value < 0;
    uint64_t v = negative ? uint64_t(0) - uint64_t(value) : uint64_t(value);
    uint64_t whole = v / uint64_t(scale);
    uint64_t frac = v % uint64_t(scale);
    char buf[64];
    char* const end = buf + sizeof buf;
    char* p = end;
    if (decimals > 0) {
        int digits = 0;
        for (uint64_t f = frac; f != 0; f /= 10, ++digits)
            *--p = char('0' + f % 10);
        for (; digits < decimals; ++digits)
            *--p = '0';
        *--p = '.';
    }
    int count = 0;
    do {
        if (thousands && count > 0 && count % 3 == 0) *--p = ',';
        *--p = char('0' + whole % 10);
        whole /= 10;
        ++count;
    } while (whole != 0);
    if (negative && v != 0) *--p = '-';
    return std::string(p, end);
}

// The digits of s from i on, blanks and commas passed over, at most one point: the whole
// part, the fraction and its scale, counting the digits. A whole part beyond limit is
// refused; fraction digits once the scale reaches it are dropped. False for any other
// character or a second point.
template <class T>
bool ReadDigits(std::string_view s, size_t i, T limit, T& whole, T& frac, T& fracScale,
                int& digits) {
    bool point = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c == ',' || c == ' ') continue;
        if (c == '.') {
            if (point) return false;
            point = true;
            continue;
        }
        if (c < '0' || c > '9') return false;
        ++digits;
        if (!point) {
            whole = whole * 10 + (c - '0');
            if (whole > limit) return false;
        } else if (fracScale < limit) {
            frac = frac * 10 + (c - '0');
            fracScale *= 10;
        }
    }
    return true;
}

// A plain decimal number in units of 10^-decimals: optional sign, digits, optional
// point and digits (at least one digit in all). Further decimals are rounded half away
// from zero.
std::optional<int64_t> ParseScaled(std::string_view typed, int decimals) {
    // Typed amounts lose every blank and comma ("1 000,50" is not a decimal comma: it
    // becomes 100050), then what is below 33 at the ends. Read in place: what is below 33
    // or a comma at either end goes here, and the blanks and commas inside are skipped
    // in the loop.
    auto gone = [](char c) { return c == ',' || static_cast<unsigned char>(c) < 33; };
    std::string_view s = typed;
    while (!s.empty() && gone(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && gone(s.back()))
        s.remove_suffix(1);
    if (s.empty()) return int64_t(0);
    size_t i = 0;
    bool negative = false;
    if (s[0] == '-' || s[0] == '+') {
        negative = s[0] == '-';
        ++i;
    }
    Wide whole = 0;
    Wide frac = 0;
    Wide fracScale = 1;
    int digits = 0;
    if (s.size() - i <= 18) {
        // Up to 18 characters hold at most 18 digits: whole, fraction and its scale stay
        // below 10^18 and are read in 64 bits, which is what nearly every stored amount
        // needs; with no more fraction digits than kept, and few kept, the value is found in
        // 64 bits too, refused beyond the same limit as below.
        int64_t w = 0, f = 0, fs = 1;
        if (!ReadDigits<int64_t>(s, i, INT64_MAX, w, f, fs, digits)) return std::nullopt;
        // (Powers of ten multiply up; nothing here divides.)
        constexpr int64_t kMax = INT64_MAX / 1000;
        constexpr int64_t kWholeMax[] = {
            kMax,          kMax / 10,      kMax / 100,      kMax / 1000,
            kMax / 10'000, kMax / 100'000, kMax / 1'000'000};
        if (digits > 0 && decimals >= 0 && decimals <= 6) {
            int64_t scale = 1;
            for (int k = 0; k < decimals; ++k)
                scale *= 10;
            if (fs <= scale) {
                if (w > kWholeMax[decimals]) return std::nullopt;
                int64_t up = 1;  // scale / fs
                for (int64_t x = fs; x < scale; x *= 10)
                    up *= 10;
                const int64_t v = w * scale + f * up;
                if (v > kMax) return std::nullopt;
                return negative ? -v : v;
            }
        }
        whole = w;
        frac = f;
        fracScale = fs;
    } else if (!ReadDigits<Wide>(s, i, Wide(1) << 100, whole, frac, fracScale, digits)) {
        return std::nullopt;
    }
    if (digits == 0) return std::nullopt;
    Wide scale = 1;
    for (int k = 0; k < decimals; ++k)
        scale *= 10;
    // No more fraction digits than kept: the fraction scales up exactly, no division.
    // (Both scales are then small: their quotient is taken in 64 bits.)
    Wide value = fracScale <= scale ? whole * scale + frac * (int64_t(scale) / int64_t(fracScale))
                                    : whole * scale + DivideRounded(frac * scale, fracScale);
    if (value > Wide(INT64_MAX / 1000)) return std::nullopt;
    int64_t v = int64_t(value);
    return negative ? -v : v;
}

}  // namespace

std::string Money::storedText() const {
    return FormatScaled(cents_, 100, 2, false);
}

std::string Money::shownText() const {
    return FormatScaled(cents_, 100, 2, true);
}

bool Money::fits(int width) const {
    return int(storedText().size()) <= width;
}

std::optional<Money> ParseMoney(std::string_view text, int maxWidth) {
    auto cents = ParseScaled(text, 2);
    if (!cents) return std::nullopt;
    Money m = Money::FromCents(*cents);
    if (!m.fits(maxWidth)) return std::nullopt;
    return m;
}

Money MoneyFromStored(std::string_view text) {
    auto cents = ParseScaled(text, 2);
    return Money::FromCents(cents.value_or(0));
}

std::string Decimal::text(int decimals, bool thousands) const {
    if (decimals < 0) decimals = 0;
    if (decimals > 4) decimals = 4;
    int64_t div = 1;
    for (int k = decimals; k < 4; ++k)
        div *= 10;
    int64_t scale = kScale / div;
    int64_t v = int64_t(DivideRounded(units_, div));
    return FormatScaled(v, scale, decimals, thousands);
}

std::optional<Decimal> ParseDecimal(std::string_view text) {
    auto units = ParseScaled(text, 4);
    if (!units) return std::nullopt;
    return Decimal::FromUnits(*units);
}

int DecimalsOf(std::string_view text) {
    std::string_view t = TrimText(text);
    size_t p = t.find('.');
    if (p == std::string_view::npos) return 0;
    int n = 0;
    for (size_t i = p + 1; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i)
        ++n;
    return n;
}

Money Extend(Decimal quantity, Decimal price) {
    Wide product = Wide(quantity.units()) * Wide(price.units());  // 10^-8
    return Money::FromCents(int64_t(DivideRounded(product, 1000000)));
}

Money PercentOf(Money amount, Decimal percent) {
    Wide product = Wide(amount.cents()) * Wide(percent.units());  // cents * 10^-4 * percent
    return Money::FromCents(int64_t(DivideRounded(product, Wide(Decimal::kScale) * 100)));
}

Money RoundToCents(Decimal value) {
    return Money::FromCents(int64_t(DivideRounded(value.units(), 100)));
}

std::optional<long> WholeNumber(std::string_view text) {
    std::string_view t = TrimText(text);
    size_t i = 0;
    bool negative = false;
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
        negative = t[0] == '-';
        ++i;
    }
    if (i >= t.size()) return std::nullopt;
    long v = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9') return std::nullopt;
        v = v * 10 + (t[i] - '0');
        if (v > 2147483647L) return std::nullopt;
    }
    return negative ? -v : v;
}

}  // namespace invarro::data
