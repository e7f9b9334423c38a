// Sub-total and discount lines of a line-item invoice: how a line is recognised as one
// and the text it shows. The editor's totals write these texts into the grid; documents,
// e-mail and reports write them again from the amounts, since a stored description holds
// only 32 characters and would cut the last digits of a large amount.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "data/Money.h"

namespace invarro::data {

// A sub-total line: its code or description holds "SUB-TOTAL" in any letter case.
bool IsSubTotalLine(std::string_view code, std::string_view description);
// A discount line: its product code holds "DISCOUNT" in any letter case.
bool IsDiscountLine(std::string_view code);
// The percentage of a discount line: the trimmed code from its 9th character on
// ("DISCOUNT10" gives 10). Nothing when that text is empty or not a number.
std::optional<Decimal> DiscountPercentOf(std::string_view code);

// What a discount line takes its share of. A discount whose lines are all taxed or all
// untaxed is one line on the whole; a discount of taxed and untaxed lines together is a
// pair of lines, the first on the taxed lines, the second on the untaxed ones.
enum class DiscountPart { Whole, Taxed, Untaxed };
// The part a discount line's text names ("... on taxed ..." or "... on untaxed ...").
DiscountPart DiscountPartOf(std::string_view description);

// "*** Sub-Total SUB-TOTAL $1,317.50": the trimmed code, the currency symbol, the amount.
std::string SubTotalText(std::string_view code, std::string_view currency, Money amount);
// "10% Discount on $150.00", "10% Discount on taxed $700.00",
// "10% Discount on untaxed $617.50".
std::string DiscountText(Decimal percent, std::string_view currency, Money base, DiscountPart part);

// The pair as one line, where a report shows it so: "10% Discount, taxed and untaxed".
std::string DiscountPairText(Decimal percent);

}  // namespace invarro::data
