// The invoice totals: extensions, special lines, tax, paid and balance, memo totals.

#include <gtest/gtest.h>

#include "invoicing/Totals.h"

namespace invarro::invoicing {
namespace {

using data::Money;

Money M(int64_t cents) {
    return Money::FromCents(cents);
}

// A row as a product fills it, with its extension computed.
LineRow Row(std::string code, std::string qty, std::string desc, std::string price,
            std::string taxable = "Y") {
    LineRow r{std::move(code),  std::move(qty),     std::move(desc),
              std::move(price), std::move(taxable), ""};
    ExtendRow(r);
    return r;
}

struct Fixture {
    LineGrid grid;
    std::string rate = "7";
    std::string paid = "0.00";
    TotalsOptions options;
    Fixture() {
        // Unused rows as a new invoice has them.
        grid.reset("1.00");
        options.defaultQuantity = "1.00";
    }
    Totals run() { return RecalcLineTotals(grid, rate, paid, options); }
};

TEST(Extension, QuantityTimesPriceRoundedHalfAwayFromZero) {
    EXPECT_EQ(Row("", "3", "x", "0.145").extension, "0.44");
    EXPECT_EQ(Row("", "-3", "x", "0.145").extension, "-0.44");
    EXPECT_EQ(Row("", "1.5", "x", "0.01").extension, "0.02");
    EXPECT_EQ(Row("", "2.5", "x", "0.0001").extension, "0.00");
    EXPECT_EQ(Row("", "1,000", "x", "1,234.5").extension, "1,234,500.00");
    EXPECT_EQ(Row("", "0.3333", "x", "3").extension, "1.00");
    // Text that is not a number counts as 0.
    EXPECT_EQ(Row("", "abc", "x", "5.00").extension, "0.00");
    EXPECT_EQ(Row("", "2", "x", "").extension, "0.00");
    EXPECT_EQ(Row("", "2", "x", "1.2.3").extension, "0.00");
}

TEST(LineTotals, TaxableLinesAtARate) {
    Fixture f;
    f.grid[1] = Row("A", "1", "Ten", "10.00");
    f.grid[2] = Row("B", "1", "Five", "5.00");
    Totals t = f.run();
    EXPECT_EQ(t.net, M(1500));
    EXPECT_EQ(t.taxable, M(1500));
    EXPECT_EQ(t.tax, M(105));
    EXPECT_EQ(t.total, M(1605));
    EXPECT_EQ(t.balance, M(1605));
}

TEST(LineTotals, TaxIsRoundedOnceOnTheTaxableSum) {
    Fixture f;
    f.rate = "5";
    f.grid[1] = Row("A", "1", "a", "2.50");
    EXPECT_EQ(f.run().tax, M(13));  // 0.125
    f.rate = "1.5";
    f.grid[1] = Row("A", "1", "a", "11.00");
    EXPECT_EQ(f.run().tax, M(17));  // 0.165
    // A credit rounds away from zero too.
    f.rate = "5";
    f.grid[1] = Row("A", "-1", "a", "2.50");
    Totals t = f.run();
    EXPECT_EQ(t.tax, M(-13));
    EXPECT_EQ(t.total, M(-263));
    EXPECT_EQ(t.balance, M(-263));
}

TEST(LineTotals, OnlyAnExactYIsTaxableAndTheSwitchTurnsTaxOff) {
    Fixture f;
    f.grid[1] = Row("A", "1", "a", "100.00", "Y");
    f.grid[2] = Row("B", "1", "b", "100.00", "N");
    f.grid[3] = Row("C", "1", "c", "100.00", "y");
    f.grid[4] = Row("D", "1", "d", "100.00", " ");
    Totals t = f.run();
    EXPECT_EQ(t.net, M(40000));
    EXPECT_EQ(t.taxable, M(10000));
    EXPECT_EQ(t.tax, M(700));
    f.options.taxOn = false;
    t = f.run();
    EXPECT_EQ(t.taxable, M(0));
    EXPECT_EQ(t.tax, M(0));
    EXPECT_EQ(t.total, M(40000));
}

TEST(LineTotals, BadOrEmptyRateBecomesZeroAndEmptyPaidBecomesZero) {
    Fixture f;
    f.grid[1] = Row("A", "1", "a", "10.00");
    f.rate = "x7";
    f.paid = " ";
    Totals t = f.run();
    EXPECT_EQ(f.rate, "0");
    EXPECT_EQ(f.paid, "0.00");
    EXPECT_EQ(t.tax, M(0));
    f.rate = "";
    f.run();
    EXPECT_EQ(f.rate, "0");
}

TEST(LineTotals, PaidLowersTheBalanceAndMayMakeItNegative) {
    Fixture f;
    f.rate = "0";
    f.grid[1] = Row("A", "1", "a", "10.00");
    f.paid = "4.00";
    EXPECT_EQ(f.run().balance, M(600));
    f.paid = "1,010.00";
    Totals t = f.run();
    EXPECT_EQ(t.paid, M(101000));
    EXPECT_EQ(t.balance, M(-100000));
}

// A discount of taxed and untaxed lines lowers the tax only by its share on the taxed
// ones: its taxed share (discount × taxed ÷ base, rounded to cents) is one line, taxed,
// and the rest is the line below it, untaxed.
TEST(SharedDiscounts, AMixedBaseGivesAPairOfLinesAndTaxOnTheTaxedRest) {
    Fixture f;
    f.rate = "5.5";
    f.grid[1] = Row("PRINT", "1", "Brochures", "700.00", "Y");
    f.grid[2] = Row("CONSULT", "1", "Consulting", "617.50", "N");
    f.grid[3] = Row("DISCOUNT10", "1", "", "0.00", "Y");
    f.grid[4] = Row("AFTER", "1", "After the discount", "10.00", "N");
    Totals t = f.run();
    EXPECT_EQ(f.grid[3].extension, "-70.00");
    EXPECT_EQ(f.grid[3].price, "-70.00");
    EXPECT_EQ(f.grid[3].taxable, "Y");
    EXPECT_EQ(f.grid[3].description, "10% Discount on taxed $700.00");
    EXPECT_EQ(f.grid[4].code, "DISCOUNT10");
    EXPECT_EQ(f.grid[4].quantity, "1");
    EXPECT_EQ(f.grid[4].extension, "-61.75");
    EXPECT_EQ(f.grid[4].taxable, "N");
    EXPECT_EQ(f.grid[4].description, "10% Discount on untaxed $617.50");
    EXPECT_EQ(f.grid[5].description, "After the discount") << "the lines below move down";
    EXPECT_EQ(t.net, M(118575 + 1000));
    EXPECT_EQ(t.taxable, M(63000));
    EXPECT_EQ(t.tax, M(3465));
    // Recognised again on every recalculation: no second pair, the same amounts.
    const LineGrid once = f.grid;
    t = f.run();
    EXPECT_EQ(f.grid, once);
    EXPECT_EQ(t.tax, M(3465));
}

TEST(SharedDiscounts, TaxedAndUntaxedLinesOfOneHundredAndFifty) {
    Fixture f;
    f.grid[1] = Row("A", "1", "Taxed", "100.00", "Y");
    f.grid[2] = Row("B", "1", "Untaxed", "50.00", "N");
    f.grid[3] = Row("DISCOUNT10", "1", "", "0.00", "N");
    Totals t = f.run();
    EXPECT_EQ(f.grid[3].extension, "-10.00");
    EXPECT_EQ(f.grid[4].extension, "-5.00");
    EXPECT_EQ(t.net, M(13500));
    EXPECT_EQ(t.taxable, M(9000));
    EXPECT_EQ(t.tax, M(630));
}

TEST(SharedDiscounts, TheTaxedShareIsRoundedHalfAwayFromZeroAndTheRestIsUntaxed) {
    Fixture f;
    f.grid[1] = Row("A", "1", "a", "0.50", "Y");
    f.grid[2] = Row("B", "1", "b", "0.50", "N");
    f.grid[3] = Row("DISCOUNT15", "1", "", "0");
    f.run();
    // 15 % of 1.00 is 0.15; half of it, 0.075, is 0.08 on the taxed lines.
    EXPECT_EQ(f.grid[3].extension, "-0.08");
    EXPECT_EQ(f.grid[4].extension, "-0.07");
    // A negative base (a credit) rounds the same way, away from zero.
    f.grid[1] = Row("A", "-1", "a", "0.50", "Y");
    f.grid[2] = Row("B", "-1", "b", "0.50", "N");
    f.run();
    EXPECT_EQ(f.grid[3].extension, "0.08");
    EXPECT_EQ(f.grid[4].extension, "0.07");
}

// The pair is one discount: the next discount counts the lines after the pair, a
// sub-total counts both halves, and a base that is no longer mixed takes the half away.
TEST(SharedDiscounts, ThePairIsOneDiscount) {
    Fixture f;
    f.grid[1] = Row("A", "1", "a", "100.00", "Y");
    f.grid[2] = Row("B", "1", "b", "100.00", "N");
    f.grid[3] = Row("DISCOUNT10", "1", "", "0");
    f.grid[4] = Row("C", "1", "c", "40.00", "Y");
    f.grid[5] = Row("DISCOUNT5", "1", "", "0");
    f.grid[6] = Row("SUB-TOTAL", "", "", "");
    Totals t = f.run();
    EXPECT_EQ(f.grid[3].extension, "-10.00");
    EXPECT_EQ(f.grid[4].extension, "-10.00");
    EXPECT_EQ(f.grid[5].description, "c");
    EXPECT_EQ(f.grid[6].extension, "-2.00");
    EXPECT_EQ(f.grid[6].description, "5% Discount on $40.00");
    EXPECT_EQ(f.grid[6].taxable, "Y");
    EXPECT_EQ(f.grid[7].description, "*** Sub-Total SUB-TOTAL $218.00");
    EXPECT_EQ(t.taxable, M(10000 - 1000 + 4000 - 200));

    // The untaxed line is erased: the discount is one taxed line again.
    f.grid[2] = NewLineRow("1.00");
    t = f.run();
    EXPECT_EQ(f.grid[3].description, "10% Discount on $100.00");
    EXPECT_EQ(f.grid[3].extension, "-10.00");
    EXPECT_EQ(f.grid[4].description, "c") << "the half went and the lines moved up";
    EXPECT_EQ(f.grid[99], NewLineRow("1.00"));
    EXPECT_EQ(t.taxable, M(10000 - 1000 + 4000 - 200));
}

// A discount of untaxed lines only does not lower the tax of taxed lines elsewhere,
// whatever its flag; one of taxed lines only does.
TEST(SharedDiscounts, ASingleDiscountIsTaxedAsItsLinesAre) {
    Fixture f;
    f.grid[1] = Row("A", "1", "a", "100.00", "Y");
    f.grid[2] = Row("DISCOUNT0", "1", "", "0");
    f.grid[3] = Row("B", "1", "b", "50.00", "N");
    f.grid[4] = Row("DISCOUNT10", "1", "", "0", "Y");
    Totals t = f.run();
    EXPECT_EQ(f.grid[4].taxable, "N");
    EXPECT_EQ(f.grid[4].extension, "-5.00");
    EXPECT_EQ(t.taxable, M(10000));
    f.grid[3].taxable = "Y";
    f.grid[4].taxable = "N";
    t = f.run();
    EXPECT_EQ(f.grid[4].taxable, "Y");
    EXPECT_EQ(t.taxable, M(14500));
}

// Without tax there is nothing to share: the discount stays one line.
TEST(SharedDiscounts, NoPairWhenTaxIsOff) {
    Fixture f;
    f.options.taxOn = false;
    f.grid[1] = Row("A", "1", "a", "100.00", "Y");
    f.grid[2] = Row("B", "1", "b", "50.00", "N");
    f.grid[3] = Row("DISCOUNT10", "1", "", "0");
    Totals t = f.run();
    EXPECT_EQ(f.grid[3].extension, "-15.00");
    EXPECT_EQ(f.grid[4], NewLineRow("1.00"));
    EXPECT_EQ(t.tax, M(0));
}

// The half needs a row: the rows below the discount move down into the first free row.
// With every row in use nothing is pushed off; the discount is marked so that the invoice
// cannot be saved so.
TEST(SharedDiscounts, AFullGridPushesNoLineOff) {
    Fixture f;
    for (int r = 1; r <= kLineRows; ++r)
        f.grid[r] = Row("P" + std::to_string(r), "1", "item", "1.00", r % 2 ? "Y" : "N");
    f.grid[50] = Row("DISCOUNT10", "1", "", "0");
    const Totals t = f.run();
    EXPECT_EQ(t.crampedDiscount, 50);
    EXPECT_EQ(f.grid[51].code, "P51");
    EXPECT_EQ(f.grid[99].code, "P99");
    // A row with an amount but neither code nor description is not free either.
    f.grid[70] = Row("", "1", "", "5.00");
    EXPECT_EQ(f.run().crampedDiscount, 50);
    EXPECT_EQ(f.grid[71].code, "P71");

    f.grid[70] = NewLineRow("1.00");
    EXPECT_EQ(f.run().crampedDiscount, 0);
    EXPECT_EQ(f.grid[51].code, "DISCOUNT10");
    EXPECT_EQ(f.grid[52].code, "P51");
    EXPECT_EQ(f.grid[70].code, "P69");
    EXPECT_EQ(f.grid[71].code, "P71");
    EXPECT_EQ(f.grid[99].code, "P99");
}

// Lines as stored (an invoice saved before discounts were shared) total as they were
// saved until a line changes: the whole discount on the taxed amount, and stored pairs as
// pairs.
TEST(SharedDiscounts, StoredLinesTotalAsSaved) {
    Fixture f;
    f.options.shareDiscounts = false;
    f.grid[1] = Row("A", "1", "Taxed", "100.00", "Y");
    f.grid[2] = Row("B", "1", "Untaxed", "50.00", "N");
    f.grid[3] = Row("DISCOUNT10", "1", "", "0.00", "Y");
    Totals t = f.run();
    EXPECT_EQ(f.grid[3].extension, "-15.00");
    EXPECT_EQ(f.grid[3].description, "10% Discount on $150.00");
    EXPECT_EQ(f.grid[4], NewLineRow("1.00"));
    EXPECT_EQ(t.taxable, M(8500));
    // Its flag "N" kept: the discount does not lower the tax.
    f.grid[3].taxable = "N";
    EXPECT_EQ(f.run().taxable, M(10000));

    f.options.shareDiscounts = true;
    f.run();
    const LineGrid pair = f.grid;
    f.options.shareDiscounts = false;
    t = f.run();
    EXPECT_EQ(f.grid, pair);
    EXPECT_EQ(t.taxable, M(9000));
}

TEST(SubTotalDiscountLines, EachDiscountCoversTheLinesSinceThePreviousOne) {
    Fixture f;
    f.options.currencySymbol = "€";
    f.grid[1] = Row("A", "1", "a", "200.00");
    f.grid[2] = Row("DISCOUNT5", "1", "", "0");
    f.grid[3] = Row("B", "1", "b", "40.00");
    f.grid[4] = Row("discount2.5", "1", "", "0");
    Totals t = f.run();
    EXPECT_EQ(f.grid[2].extension, "-10.00");
    EXPECT_EQ(f.grid[4].extension, "-1.00");
    EXPECT_EQ(f.grid[4].description, "2.5% Discount on €40.00");
    EXPECT_EQ(t.net, M(22900));
}

TEST(SubTotalDiscountLines, MalformedOrShortDiscountCodesGiveZero) {
    for (const char* code : {"DISCOUNT", "DISCOUNTX", "DISCOUNT1.2.", "XDISCOUNT"}) {
        Fixture f;
        f.grid[1] = Row("A", "1", "a", "80.00");
        f.grid[2] = Row(code, "1", "whatever", "3.00");
        Totals t = f.run();
        EXPECT_EQ(f.grid[2].price, "0.00") << code;
        EXPECT_EQ(f.grid[2].extension, "0.00") << code;
        EXPECT_EQ(f.grid[2].description, "") << code;
        EXPECT_EQ(t.net, M(8000)) << code;
    }
    EXPECT_FALSE(DiscountPercent("DC1"));
    EXPECT_FALSE(DiscountPercent(""));
    EXPECT_EQ(DiscountPercent("  DISCOUNT15  ")->units(), 150000);
}

TEST(SubTotalDiscountLines, ADiscountDescriptionAloneIsAnOrdinaryLine) {
    Fixture f;
    f.grid[1] = Row("DC1", "2", "Discount card", "4.50");
    Totals t = f.run();
    EXPECT_EQ(f.grid[1].description, "Discount card");
    EXPECT_EQ(f.grid[1].price, "4.50");
    EXPECT_EQ(f.grid[1].extension, "9.00");
    EXPECT_EQ(t.net, M(900));
}

TEST(SubTotalDiscountLines, SubTotalsCountOnlyTheLinesSinceThePreviousOne) {
    Fixture f;
    f.grid[1] = Row("A", "1", "a", "20.00");
    f.grid[2] = Row("B", "1", "b", "30.00");
    f.grid[3] = Row("SUB-TOTAL", "1", "", "0");
    f.grid[4] = Row("C", "1", "c", "5.00");
    f.grid[5] = Row("", "", "my sub-total", "");
    Totals t = f.run();
    EXPECT_EQ(f.grid[3].description, "*** Sub-Total SUB-TOTAL $50.00");
    EXPECT_EQ(f.grid[3].quantity, "");
    EXPECT_EQ(f.grid[3].price, "");
    EXPECT_EQ(f.grid[3].taxable, "");
    EXPECT_EQ(f.grid[3].extension, "");
    EXPECT_EQ(f.grid[5].description, "*** Sub-Total  $5.00");
    EXPECT_EQ(t.net, M(5500));
    // Rewritten descriptions stay sub-totals on the next pass.
    f.run();
    EXPECT_EQ(f.grid[3].description, "*** Sub-Total SUB-TOTAL $50.00");
    EXPECT_EQ(f.grid[5].description, "*** Sub-Total  $5.00");
}

TEST(SubTotalDiscountLines, SubTotalsIncludeDiscountLinesAbove) {
    Fixture f;
    f.grid[1] = Row("A", "1", "a", "100.00");
    f.grid[2] = Row("DISCOUNT20", "1", "", "0");
    f.grid[3] = Row("SUB-TOTAL", "", "", "");
    Totals t = f.run();
    EXPECT_EQ(f.grid[3].description, "*** Sub-Total SUB-TOTAL $80.00");
    EXPECT_EQ(t.net, M(8000));
}

TEST(SubTotalDiscountLines, TheWordsAreFoundInAnyLetterCaseButOnlyInPlainLetters) {
    auto row = [](std::string code, std::string desc) {
        return LineRow{std::move(code), "1", std::move(desc), "1.00", "Y", "1.00"};
    };
    EXPECT_TRUE(IsSubTotalRow(row("", "Sub-Total")));
    EXPECT_TRUE(IsSubTotalRow(row("x sUb-tOtAl", "")));
    EXPECT_TRUE(IsSubTotalRow(row("", "caf\xC3\xA9 sub-total")));  // after an accented letter
    EXPECT_TRUE(IsSubTotalRow(row("", "SUB-TOTAL")));
    EXPECT_FALSE(IsSubTotalRow(row("", "SUB-TOTA")));
    EXPECT_FALSE(IsSubTotalRow(row("", "SUB TOTAL")));
    // Letters beyond ASCII are upper-cased to letters beyond ASCII: no match.
    EXPECT_FALSE(IsSubTotalRow(row("", "sub-tot\xC3\xA1l")));  // á
    EXPECT_TRUE(IsDiscountRow(row("discount10", "")));
    EXPECT_TRUE(IsDiscountRow(row("xDiScOuNt", "")));
    EXPECT_FALSE(IsDiscountRow(row("d\xC4\xB1scount", "")));  // dotless i
    EXPECT_FALSE(IsDiscountRow(row("DISCOUN", "")));
    EXPECT_FALSE(IsDiscountRow(row("", "discount")));
    EXPECT_FALSE(IsSubTotalRow(row("", "")));
}

TEST(SubTotalDiscountLines, CommentLinesAddNothing) {
    Fixture f;
    f.grid[1] = Row("A", "1", "a", "10.00");
    f.grid[2] = CommentRow("Delivered Tuesday");
    Totals t = f.run();
    EXPECT_EQ(f.grid[2].extension, "");
    EXPECT_EQ(f.grid[2].description, "Delivered Tuesday");
    EXPECT_EQ(t.net, M(1000));
    EXPECT_TRUE(f.grid[2].filled());
    EXPECT_FALSE(NewLineRow("1.00").filled());
    LineRow hint = NewLineRow("1.00");
    hint.code = std::string(kRowHint);
    EXPECT_FALSE(hint.filled());
}

TEST(LineTotals, NinetyNineFullRows) {
    Fixture f;
    for (int r = 1; r <= kLineRows; ++r)
        f.grid[r] = Row("P" + std::to_string(r), "3", "item", "0.145");
    Totals t = f.run();
    EXPECT_EQ(t.net, M(99 * 44));
    EXPECT_EQ(t.tax, M(305));  // 43.56 × 7 % = 3.0492
}

TEST(LineTotals, LargeAmountsStayExact) {
    Fixture f;
    f.rate = "0";
    f.grid[1] = Row("A", "1", "a", "9999999.99");
    Totals t = f.run();
    EXPECT_EQ(t.total, M(999999999));
    EXPECT_TRUE(t.total.fits());
    f.grid[2] = Row("B", "1", "b", "0.01");
    t = f.run();
    EXPECT_EQ(t.total.storedText(), "10000000.00");
    EXPECT_FALSE(t.total.fits());
    // Even absurd quantities give a (capped) result rather than an overflow.
    f.grid[3] = Row("C", "9999999999", "c", "9999999999");
    EXPECT_GT(f.run().total, M(0));
}

TEST(MemoTotals, TypedNetAndTax) {
    std::string net = "1,000.00";
    std::string tax = "";
    std::string paid = "250";
    Totals t = RecalcMemoTotals(net, tax, paid);
    EXPECT_EQ(tax, "0.00");
    EXPECT_EQ(t.total, M(100000));
    EXPECT_EQ(t.balance, M(75000));
    tax = "72.50";
    paid = "2000";
    t = RecalcMemoTotals(net, tax, paid);
    EXPECT_EQ(t.total, M(107250));
    EXPECT_EQ(t.balance, M(-92750));
    EXPECT_EQ(MemoTaxLabel(M(100000), "7.25"), "Tax on 1,000.00 is 72.50.");
    EXPECT_EQ(MemoTaxLabel(M(1100), "1.5"), "Tax on 11.00 is 0.17.");
    EXPECT_EQ(MemoTaxLabel(M(1100), "abc"), "Tax on 11.00 is 0.00.");
}

TEST(Numbers, NotANumberLooksAtTheFirstFifteenCharacters) {
    EXPECT_FALSE(NotANumber(""));
    EXPECT_FALSE(NotANumber(" "));
    EXPECT_FALSE(NotANumber("1,234.50"));
    EXPECT_FALSE(NotANumber("-3"));
    EXPECT_TRUE(NotANumber("12a"));
    EXPECT_TRUE(NotANumber("--1"));
    EXPECT_FALSE(NotANumber("12345678901.2345xyz"));
    EXPECT_EQ(StoredNumberText(" 1,234.50 "), "1234.50");
    EXPECT_EQ(*CellAmount("1,234.565"), M(123457));
    EXPECT_EQ(*CellAmount(""), M(0));
    EXPECT_FALSE(CellAmount("x"));
}

}  // namespace
}  // namespace invarro::invoicing
