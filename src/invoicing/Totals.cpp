#include "invoicing/Totals.h"

#include "data/Ansi.h"
#include "data/SubTotalDiscountLines.h"

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

// discount × part ÷ whole, rounded to cents: the share of a discount that falls on part of
// its base.
Money ShareOf(Money discount, Money part, Money whole) {
    if (whole.isZero()) return Money();
    // The divisor positive: the rounding goes by the sign of the quotient.
    Wide n = Wide(discount.cents()) * Wide(part.cents()), d = whole.cents();
    if (d < 0) {
        n = -n;
        d = -d;
    }
    return Capped(DivideRounded(n, d));
}

std::string Key(std::string_view code) {
    return data::UpperText(data::TrimText(code));
}

// Whether row `next` is the untaxed half of the discount on row `head`: a discount line
// right below it with the same code whose text names the untaxed lines.
bool IsUntaxedHalf(const LineRow& next, const LineRow& head) {
    return IsDiscountRow(next) && Key(next.code) == Key(head.code) &&
           data::DiscountPartOf(next.description) == data::DiscountPart::Untaxed;
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
    return data::IsSubTotalLine(row.code, row.description);
}

bool IsDiscountRow(const LineRow& row) {
    return data::IsDiscountLine(row.code);
}

std::optional<Decimal> DiscountPercent(std::string_view code) {
    return data::DiscountPercentOf(code);
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

namespace {

// A row that holds nothing: no code, no description, no amount.
bool FreeRow(const LineRow& row) {
    return !row.filled() && CellAmount(row.extension).value_or(Money()).isZero();
}

// Row r gets `row`; the rows from r down to the first free row below move down one into
// it. False, with nothing moved, when no row below is free.
bool InsertRow(LineGrid& grid, int r, const LineRow& row) {
    int free = r;
    while (free <= kLineRows && !FreeRow(grid[free]))
        ++free;
    if (free > kLineRows) return false;
    for (int i = free; i > r; --i)
        grid[i] = grid[i - 1];
    grid[r] = row;
    return true;
}

// Row r goes; the rows below move up one and row 99 is a new row.
void RemoveRow(LineGrid& grid, int r, std::string_view defaultQuantity) {
    for (int i = r; i < kLineRows; ++i)
        grid[i] = grid[i + 1];
    grid[kLineRows] = NewLineRow(defaultQuantity);
}

void SetAmount(LineRow& row, Money amount) {
    row.price = amount.shownText();
    row.extension = row.price;
}

// Rewrites the discount line of row r on its base, the lines since the previous discount:
// one line on the whole base, or, when the base holds taxed and untaxed lines and tax is
// calculated, a pair: row r takes the share of the taxed lines (flag "Y") and row r + 1
// the rest (flag "N"), so that the tax stays the rate times the taxed lines. True when
// row r + 1 holds the untaxed half.
bool DiscountRows(LineGrid& grid, int r, Money taxed, Money untaxed, const TotalsOptions& o,
                  Totals& t) {
    LineRow& row = grid[r];
    const auto pct = DiscountPercent(row.code);
    if (!pct) {
        row.price = "0.00";
        row.extension = "0.00";
        row.description.clear();
        return false;
    }
    using data::DiscountPart;
    const Money base = CappedSum(taxed, untaxed);
    const Money off = -PercentCapped(base, *pct);
    const std::string& cur = o.currencySymbol;
    bool paired = r < kLineRows && IsUntaxedHalf(grid[r + 1], row);
    const bool mixed = o.taxOn && !taxed.isZero() && !untaxed.isZero();
    if (o.shareDiscounts && mixed && !paired) {
        LineRow half = row;
        half.description = data::DiscountText(*pct, cur, untaxed, DiscountPart::Untaxed);
        if (r < kLineRows && InsertRow(grid, r + 1, half)) {
            paired = true;
        } else if (t.crampedDiscount == 0) {
            t.crampedDiscount = r;
        }
    } else if (o.shareDiscounts && !mixed && paired) {
        RemoveRow(grid, r + 1, o.defaultQuantity);
        paired = false;
    }
    if (paired) {
        const Money taxedShare = ShareOf(off, taxed, base);
        LineRow& half = grid[r + 1];
        row.taxable = "Y";
        SetAmount(row, taxedShare);
        row.description = data::DiscountText(*pct, cur, taxed, DiscountPart::Taxed);
        if (Blank(half.quantity)) half.quantity = row.quantity;
        half.taxable = "N";
        SetAmount(half, CappedSum(off, -taxedShare));
        half.description = data::DiscountText(*pct, cur, untaxed, DiscountPart::Untaxed);
        return true;
    }
    SetAmount(row, off);
    row.description = data::DiscountText(*pct, cur, base, DiscountPart::Whole);
    // A discount of taxed lines only lowers the tax, one of untaxed lines only does not.
    if (o.shareDiscounts && o.taxOn && !mixed) {
        if (!taxed.isZero()) row.taxable = "Y";
        if (!untaxed.isZero()) row.taxable = "N";
    }
    return false;
}

}  // namespace

Totals RecalcLineTotals(LineGrid& grid, std::string& taxRate, std::string& paid,
                        const TotalsOptions& options) {
    auto rate = CellNumber(taxRate);
    if (!rate) {
        taxRate = "0";
        rate = Decimal();
    }
    Totals t;
    Money subTotal;
    // The discount base: the lines since the previous discount, taxed ("Y") and the rest.
    Money baseTaxed, baseUntaxed;
    int untaxedHalf = 0;  // the row holding the untaxed half of the discount above it
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
            row.description = data::SubTotalText(row.code, options.currencySymbol, subTotal);
            subTotal = Money();
        }
        if (isDiscount && r == untaxedHalf) {
            // Written with the discount above it; the pair is one discount.
        } else if (isDiscount) {
            untaxedHalf = DiscountRows(grid, r, baseTaxed, baseUntaxed, options, t) ? r + 1 : 0;
            baseTaxed = baseUntaxed = Money();
        }
        if (Blank(row.quantity) || Blank(row.price)) row.extension.clear();
        const Money e = CellAmount(row.extension).value_or(Money());
        t.net = CappedSum(t.net, e);
        if (!isDiscount) {
            if (row.taxable == "Y")
                baseTaxed = CappedSum(baseTaxed, e);
            else
                baseUntaxed = CappedSum(baseUntaxed, e);
        }
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
