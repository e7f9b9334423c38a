// Amounts of money as integer cents, and quantities and prices with up to four decimals.
// No binary floating point is involved anywhere: text is parsed digit by digit and
// every product is computed exactly before it is rounded half away from zero.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace invarro::data {

// Amounts are stored as text of at most this many characters ("-999999.99" to
// "9999999.99").
inline constexpr int kMoneyTextWidth = 10;

class Money {
  public:
    constexpr Money() = default;
    static constexpr Money FromCents(int64_t cents) { return Money(cents); }

    constexpr int64_t cents() const { return cents_; }
    constexpr bool isZero() const { return cents_ == 0; }

    // The stored form: two decimals, "." as separator, "-" in front when negative, no
    // thousands separator ("0.00", "-1234.50").
    std::string storedText() const;
    // The shown form ",0.00": thousands separated by "," ("-1,234.50").
    std::string shownText() const;
    // True when the stored form has at most width characters.
    bool fits(int width = kMoneyTextWidth) const;

    constexpr Money operator+(Money o) const { return Money(cents_ + o.cents_); }
    constexpr Money operator-(Money o) const { return Money(cents_ - o.cents_); }
    constexpr Money operator-() const { return Money(-cents_); }
    constexpr Money& operator+=(Money o) {
        cents_ += o.cents_;
        return *this;
    }
    constexpr Money& operator-=(Money o) {
        cents_ -= o.cents_;
        return *this;
    }
    constexpr auto operator<=>(const Money&) const = default;

  private:
    constexpr explicit Money(int64_t cents) : cents_(cents) {}
    int64_t cents_ = 0;
};

// A typed or stored amount: blanks at both ends and every comma are removed; an empty
// text is 0; more than two decimals are rounded half away from zero. Anything that is
// not a plain decimal number, and any amount whose stored form would be longer than
// maxWidth characters, gives nothing.
std::optional<Money> ParseMoney(std::string_view text, int maxWidth = kMoneyTextWidth);
// The stored text of a record field read as an amount; text that is not an amount
// counts as 0.
Money MoneyFromStored(std::string_view text);

// A quantity, unit price or percentage with up to four decimals.
class Decimal {
  public:
    static constexpr int kScale = 10000;

    constexpr Decimal() = default;
    static constexpr Decimal FromUnits(int64_t tenThousandths) { return Decimal(tenThousandths); }
    static constexpr Decimal FromInteger(int64_t n) { return Decimal(n * kScale); }
    static constexpr Decimal FromMoney(Money m) { return Decimal(m.cents() * 100); }

    constexpr int64_t units() const { return units_; }
    constexpr auto operator<=>(const Decimal&) const = default;

    // The value with exactly `decimals` (0..4) decimals, rounded half away from zero;
    // with thousands separators when asked ("1,234.50").
    std::string text(int decimals, bool thousands = false) const;

  private:
    constexpr explicit Decimal(int64_t units) : units_(units) {}
    int64_t units_ = 0;
};

// Parsed like an amount (blanks at both ends and commas removed, empty is 0), with up
// to four decimals kept; further decimals are rounded half away from zero.
std::optional<Decimal> ParseDecimal(std::string_view text);
// A typed or stored whole number: blanks and characters below 33 at both ends removed, an
// optional sign, then digits only. Nothing for anything else or beyond 2147483647.
std::optional<long> WholeNumber(std::string_view text);
// The number of decimals a typed or stored number has after its ".", 0 when none.
int DecimalsOf(std::string_view text);

// Quantity times unit price, exact, rounded to cents half away from zero.
Money Extend(Decimal quantity, Decimal price);
// percent % of amount, exact, rounded to cents half away from zero.
Money PercentOf(Money amount, Decimal percent);
// A four-decimal value rounded to cents half away from zero.
Money RoundToCents(Decimal value);

}  // namespace invarro::data
