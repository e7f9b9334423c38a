#include "invoicing/Totals.h"

#include "data/Ansi.h"

namespace invarro::invoicing {

namespace {

using data::Decimal;
using data::Money;
using Wide = __int128;

// Results beyond this many cents are held at it. Such amounts are far past what a stored
// field can take, so OK refuses them; the cap only keeps the sums of 99 rows exact.
constexpr int64_t kCapCents = 1'000'000'000'000'000;  // 10^13 in currency units

Wide DivideRounded(Wide n, Wide d) {
    Wide q = n / d;
    Wide r = n % d;
    if (r < 0) r = -r;
    if (2 * r >= d) q += n < 0 ? -1 : 1;
    return q;
}

Money Capped(Wide cents) {
    if (cents > kCapCents) cents = kCapCents;
    if (cents < -kCapCents) cents = -kCapCents;
    return Money::FromCents(int64_t(cents));
}

// quantity × price, rounded to cents.
Money ExtendCapped(Decimal quantity, Decimal price) {
    return Capped(DivideRounded(Wide(quantity.units()) * Wide(price.units()), 1'000'000));
}

// percent % of amount, rounded to cents.
Money PercentCapped(Money amount, Decimal percent) {
    return Capped(
        DivideRounded(Wide(amount.cents()) * Wide(percent.units()), Wide(Decimal::kScale) * 100));
}

Money CappedSum(Money a, Money b) {
    return Capped(Wide(a.cents()) + Wide(b.cents()));
}

bool Blank(std::string_view text) {
    return data::TrimText(text).empty();
}

// Upper-case copies of every cell would be made for every row of every invoice totalled.
bool Contains(std::string_view text, std::string_view word) {
    return data::HoldsWordNoCase(text, word);
}

// A percentage as a plain number: no trailing zeros after the point ("10", "7.5").
std::string PlainNumber(Decimal d) {
    int decimals = 4;
    int64_t u = d.units();
    while (decimals > 0 && u % 10 == 0) {
        u /= 10;
        --decimals;
    }
    return d.text(decimals);
}

}  // namespace

bool LineRow::filled() const {
    const bool codeBlank = Blank(code) || data::TrimText(code) == kRowHint;
    return !codeBlank || !Blank(description);
}

LineRow NewLineRow(std::string_view defaultQuantity) {
    LineRow r;
    r.quantity = std::string(defaultQuantity);
    r.price = "0.00";
    r.taxable = "Y";
    r.extension = "0.00";
    return r;
}

LineRow CommentRow(std::string description) {
    LineRow r;
    r.quantity = " ";
    r.description = std::move(description);
    r.taxable = " ";
    r.extension = "0.00";
    return r;
}

void LineGrid::reset(std::string_view defaultQuantity) {
    for (int r = 1; r <= kLineRows; ++r)
        rows[size_t(r)] = NewLineRow(defaultQuantity);
}

bool IsSubTotalRow(const LineRow& row) {
    return Contains(row.code, "SUB-TOTAL") || Contains(row.description, "SUB-TOTAL");
}

bool IsDiscountRow(const LineRow& row) {
    return Contains(row.code, "DISCOUNT");
}

std::optional<Decimal> DiscountPercent(std::string_view code) {
    std::string_view t = data::TrimText(code);
    if (t.size() <= 8) return std::nullopt;
    return CellNumber(t.substr(8));
}

std::optional<Decimal> CellNumber(std::string_view text) {
    if (Blank(text)) return std::nullopt;
    return data::ParseDecimal(text);
}

std::optional<Money> CellAmount(std::string_view text) {
    if (Blank(text)) return Money();
    auto d = data::ParseDecimal(text);
    if (!d) return std::nullopt;
    return data::RoundToCents(*d);
}

bool NotANumber(std::string_view text) {
    if (Blank(text)) return false;
    return !CellNumber(data::FirstChars(text, 15)).has_value();
}

void ExtendRow(LineRow& row) {
    Decimal q = CellNumber(row.quantity).value_or(Decimal());
    Decimal p = CellNumber(row.price).value_or(Decimal());
    row.extension = ExtendCapped(q, p).shownText();
}

Totals RecalcLineTotals(LineGrid& grid, std::string& taxRate, std::string& paid,
                        const TotalsOptions& options) {
    auto rate = CellNumber(taxRate);
    if (!rate) {
        taxRate = "0";
        rate = Decimal();
    }
    Totals t;
    Money subTotal;
    Money discountBase;
    for (int r = 1; r <= kLineRows; ++r) {
        LineRow& row = grid[r];
        // A row without code and description is neither a sub-total nor a discount line,
        // and one without an extension adds nothing: most of the 99 rows are such.
        if (row.code.empty() && row.description.empty()) {
            if (row.extension.empty()) continue;
            if (Blank(row.quantity) || Blank(row.price)) row.extension.clear();
            if (row.extension.empty() || row.extension == "0.00") continue;
        }
        const bool isSubTotal = IsSubTotalRow(row);
        const bool isDiscount = IsDiscountRow(row);
        if (isSubTotal) {
            row.quantity.clear();
            row.price.clear();
            row.taxable.clear();
            row.extension.clear();
            row.description = "*** Sub-Total " + data::TrimmedText(row.code) + " " +
                              options.currencySymbol + subTotal.shownText();
            subTotal = Money();
        }
        if (isDiscount) {
            if (auto pct = DiscountPercent(row.code)) {
                const Money off = -PercentCapped(discountBase, *pct);
                row.price = off.shownText();
                row.extension = off.shownText();
                row.description = PlainNumber(*pct) + "% Discount on " + options.currencySymbol +
                                  discountBase.shownText();
            } else {
                row.price = "0.00";
                row.extension = "0.00";
                row.description.clear();
            }
            discountBase = Money();
        }
        if (Blank(row.quantity) || Blank(row.price)) row.extension.clear();
        const Money e = CellAmount(row.extension).value_or(Money());
        t.net = CappedSum(t.net, e);
        if (!isDiscount) discountBase = CappedSum(discountBase, e);
        if (!isSubTotal) subTotal = CappedSum(subTotal, e);
        if (options.taxOn && row.taxable == "Y") t.taxable = CappedSum(t.taxable, e);
    }
    t.tax = PercentCapped(t.taxable, *rate);
    if (Blank(paid)) paid = "0.00";
    t.paid = CellAmount(paid).value_or(Money());
    t.total = CappedSum(t.net, t.tax);
    t.balance = CappedSum(t.total, -t.paid);
    return t;
}

Totals RecalcMemoTotals(std::string& net, std::string& tax, std::string& paid) {
    if (Blank(net)) net = "0.00";
    if (Blank(tax)) tax = "0.00";
    if (Blank(paid)) paid = "0.00";
    Totals t;
    t.net = CellAmount(net).value_or(Money());
    t.tax = CellAmount(tax).value_or(Money());
    t.paid = CellAmount(paid).value_or(Money());
    t.taxable = t.net;
    t.total = CappedSum(t.net, t.tax);
    t.balance = CappedSum(t.total, -t.paid);
    return t;
}

std::string MemoTaxLabel(Money net, std::string_view taxRate) {
    const Decimal rate = CellNumber(taxRate).value_or(Decimal());
    return "Tax on " + net.shownText() + " is " + PercentCapped(net, rate).shownText() + ".";
}

std::string StoredNumberText(std::string_view typed) {
    std::string kept;
    for (char c : typed)
        if (c != ',' && c != ' ') kept += c;
    return data::TrimmedText(kept);
}

}  // namespace invarro::invoicing
