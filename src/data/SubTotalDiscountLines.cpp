#include "data/SubTotalDiscountLines.h"

#include "data/Ansi.h"

namespace invarro::data {

namespace {

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

constexpr std::string_view kOnTaxed = "% DISCOUNT ON TAXED ";
constexpr std::string_view kOnUntaxed = "% DISCOUNT ON UNTAXED ";

}  // namespace

bool IsSubTotalLine(std::string_view code, std::string_view description) {
    return HoldsWordNoCase(code, "SUB-TOTAL") || HoldsWordNoCase(description, "SUB-TOTAL");
}

bool IsDiscountLine(std::string_view code) {
    return HoldsWordNoCase(code, "DISCOUNT");
}

std::optional<Decimal> DiscountPercentOf(std::string_view code) {
    const std::string_view t = TrimText(code);
    if (t.size() <= 8 || TrimText(t.substr(8)).empty()) return std::nullopt;
    return ParseDecimal(t.substr(8));
}

DiscountPart DiscountPartOf(std::string_view description) {
    if (HoldsWordNoCase(description, kOnUntaxed)) return DiscountPart::Untaxed;
    if (HoldsWordNoCase(description, kOnTaxed)) return DiscountPart::Taxed;
    return DiscountPart::Whole;
}

std::string SubTotalText(std::string_view code, std::string_view currency, Money amount) {
    return "*** Sub-Total " + TrimmedText(code) + " " + std::string(currency) + amount.shownText();
}

std::string DiscountText(Decimal percent, std::string_view currency, Money base,
                         DiscountPart part) {
    const char* on = part == DiscountPart::Taxed     ? "% Discount on taxed "
                     : part == DiscountPart::Untaxed ? "% Discount on untaxed "
                                                     : "% Discount on ";
    return PlainNumber(percent) + on + std::string(currency) + base.shownText();
}

std::string DiscountPairText(Decimal percent) {
    return PlainNumber(percent) + "% Discount, taxed and untaxed";
}

}  // namespace invarro::data
