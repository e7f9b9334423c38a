// The amounts of an invoice: the extension of a line, the line-item totals with
// sub-total, discount and comment lines, tax on the taxable amount, paid and balance,
// and the memo invoice's totals. Every amount is integer cents; quantities, prices, rates
// and percentages are exact decimals; results are rounded to cents half away from zero.
// This is the one place where invoice amounts are defined: documents, statements and
// reports read what was stored from here.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "data/Money.h"

namespace invarro::invoicing {

// Lines of the grid are rows 1..99; row 0 is the title row.
inline constexpr int kLineRows = 99;
// Widths of the grid's cells (and of the fixed columns of a stored line).
namespace cell {
inline constexpr int kCode = 10;
inline constexpr int kQuantity = 10;
inline constexpr int kDescription = 32;
inline constexpr int kPrice = 10;
inline constexpr int kTaxable = 1;
}  // namespace cell

// The hint that row 1 of a new invoice shows in its product code; it is no product.
inline constexpr std::string_view kRowHint = "Dbl-Clk Me";

// One grid row as shown (UTF-8). Amounts may carry thousands separators.
struct LineRow {
    std::string code;         // column 1 "Product#"
    std::string quantity;     // column 2 "Rate/Quan."
    std::string description;  // column 3 "Description / Comment"
    std::string price;        // column 4 "Unit Price"
    std::string taxable;      // column 5 "T"
    std::string extension;    // column 6 "Extension"
    bool operator==(const LineRow&) const = default;
    // A row is written to the line file when its code (other than the hint) or its
    // description is not blank.
    bool filled() const;
};

// A row as a new invoice shows it: the default quantity, price "0.00", taxable "Y",
// extension "0.00".
LineRow NewLineRow(std::string_view defaultQuantity);
// A comment line keeps only its description: code empty, quantity and taxable flag a
// single blank, price empty, extension "0.00".
LineRow CommentRow(std::string description);

// Rows 1..99 (index 0 unused).
struct LineGrid {
    std::array<LineRow, kLineRows + 1> rows{};
    LineRow& operator[](int r) { return rows[size_t(r)]; }
    const LineRow& operator[](int r) const { return rows[size_t(r)]; }
    void reset(std::string_view defaultQuantity);
    bool operator==(const LineGrid&) const = default;
};

// Whether a row is a sub-total line: its code or description contains "SUB-TOTAL" in any
// letter case.
bool IsSubTotalRow(const LineRow& row);
// Whether a row is a discount line: its product code contains "DISCOUNT" in any letter
// case. A description alone does not make one, so a product "Discount card" stays an
// ordinary line. A discount of taxed and untaxed lines is a pair of discount lines with
// the same code, the second naming the untaxed lines; the pair is one discount.
bool IsDiscountRow(const LineRow& row);
// The percentage of a discount line: the trimmed code from its 9th character on
// ("DISCOUNT10" gives 10). Nothing when that text is empty or not a number.
std::optional<data::Decimal> DiscountPercent(std::string_view code);

// A number typed in a cell or a field: blanks at both ends and commas removed, up to four
// decimals kept (more are rounded). Nothing for empty text or anything that is not a
// plain decimal number.
std::optional<data::Decimal> CellNumber(std::string_view text);
// An amount typed or shown: blanks and commas removed, rounded to cents. Empty text is 0;
// nothing for anything that is not a number. Amounts of any size are read; whether they
// fit a stored field is checked on OK.
std::optional<data::Money> CellAmount(std::string_view text);
// "Not a number" in the editor's checks: non-blank text whose first 15 characters do not
// read as a number. Blank text passes (a comment line's quantity is a single blank).
bool NotANumber(std::string_view text);

// The extension of a row: quantity × unit price rounded to cents, shown ",0.00"; a
// quantity or price that is not a number counts as 0.
void ExtendRow(LineRow& row);

// The settings the totals depend on.
struct TotalsOptions {
    bool taxOn = true;                 // the tax switch is ticked
    std::string currencySymbol = "$";  // the company's CurrencySymbol
    // A discount applies to the taxed and the untaxed lines of its base in proportion:
    // the taxed share (discount × taxed ÷ base, rounded to cents) lowers the tax, the
    // rest does not. On, a discount of a base with both gets its untaxed half in the row
    // below it (added, the rows down to the first free one moving down, or removed when
    // the base no longer has both), and a single
    // discount line is taxed when its base is and untaxed when it is not. Off, the rows
    // stay as they are: a stored invoice totals as it was saved, pairs included.
    bool shareDiscounts = true;
    std::string defaultQuantity;  // of a row freed when an untaxed half goes
};

struct Totals {
    data::Money net;
    data::Money taxable;
    data::Money tax;
    data::Money total;
    data::Money paid;
    data::Money balance;  // red when negative
    // A discount line that needs the row below it for its untaxed half while no row below
    // it is free (0: none). Its lines cannot be saved so.
    int crampedDiscount = 0;
};

// The line-item totals, recomputed from the grid in one pass over rows 1..99. Sub-total
// and discount lines are rewritten on the way; an empty or unreadable tax rate becomes
// "0" and an empty paid amount "0.00".
Totals RecalcLineTotals(LineGrid& grid, std::string& taxRate, std::string& paid,
                        const TotalsOptions& options);

// The memo totals: net and tax as typed (an empty one becomes "0.00"), total and
// balance from them.
Totals RecalcMemoTotals(std::string& net, std::string& tax, std::string& paid);
// "Tax on 1,000.00 is 72.50." for the tax rate given.
std::string MemoTaxLabel(data::Money net, std::string_view taxRate);

// The stored form of a typed amount or number: blanks and commas removed ("1,234.50"
// gives "1234.50").
std::string StoredNumberText(std::string_view typed);

}  // namespace invarro::invoicing
