// The top-ten accumulator and the chart's layout.
#include <gtest/gtest.h>

#include "output/TopTen.h"

namespace invarro::output {
namespace {

using data::Money;

Money M(int64_t cents) {
    return Money::FromCents(cents);
}

TEST(TopTen, TwelveCustomersKeepTheTenLargestAndTheRestIsOther) {
    TopTen t;
    // 12 amounts fed in no order: 1.00 .. 12.00.
    const int order[] = {5, 12, 1, 9, 3, 11, 7, 2, 10, 4, 8, 6};
    for (int i : order)
        t.feed("Customer " + std::to_string(i), M(i * 100));
    EXPECT_EQ(t.entries()[0].name, "Customer 12");
    EXPECT_EQ(t.entries()[9].name, "Customer 3");
    for (int i = 0; i < kTopSlots - 1; ++i)
        EXPECT_GE(t.entries()[size_t(i)].amount, t.entries()[size_t(i) + 1].amount);
    EXPECT_EQ(t.other(), M(300));  // 1.00 and 2.00
    EXPECT_EQ(t.grandTotal(), M(7800));
    EXPECT_EQ(t.topSum() + t.other(), t.grandTotal());
}

TEST(TopTen, TiesNegativesAndZeros) {
    TopTen t;
    for (int i = 0; i < 10; ++i)
        t.feed("Held " + std::to_string(i), M(500));
    // Equal to the smallest held amount: does not displace it.
    t.feed("Tie", M(500));
    for (const TopSlot& s : t.entries())
        EXPECT_NE(s.name, "Tie");
    EXPECT_EQ(t.other(), M(500));
    // Negative and zero amounts always go to Other and can make it negative.
    t.feed("Refund", M(-2000));
    t.feed("Nothing", M(0));
    EXPECT_EQ(t.other(), M(-1500));
    EXPECT_EQ(t.grandTotal(), M(3500));
    EXPECT_EQ(t.topSum() + t.other(), t.grandTotal());
    EXPECT_EQ(TopTenTotals(t)[1], "Other: -15.00");

    TopTen negatives;
    negatives.feed("A", M(-100));
    EXPECT_EQ(negatives.topSum(), Money());
    EXPECT_EQ(negatives.other(), M(-100));
    EXPECT_TRUE(TopTenLegend(negatives).empty());
    // Names are cut to 20 characters.
    TopTen names;
    names.feed("A name much longer than twenty", M(100));
    EXPECT_EQ(names.entries()[0].name, "A name much longer t");
    names.reset();
    EXPECT_EQ(names.fed(), 0);
    EXPECT_EQ(names.grandTotal(), Money());
}

TEST(TopTen, BarsScaleToTheLargestAndKeepAVisibleMinimum) {
    TopTen t;
    t.feed("Big", M(1000000));
    t.feed("Half", M(500000));
    t.feed("Tiny", M(1));
    const auto bars = TopTenBars(t, 525, 300);
    ASSERT_EQ(bars.size(), 10u);
    EXPECT_EQ(bars[0].width, 50);
    EXPECT_EQ(bars[0].x, 5);
    EXPECT_EQ(bars[1].x, 57);
    // The largest bar would reach the top: it is kept 5 pixels below it.
    EXPECT_EQ(bars[0].y, 5);
    EXPECT_EQ(bars[0].height, 295);
    EXPECT_EQ(bars[1].height, 150);
    EXPECT_EQ(bars[1].y, 150);
    EXPECT_EQ(bars[2].height, 5);  // a tiny amount still shows
    EXPECT_EQ(bars[3].height, 0);  // an empty slot does not
    EXPECT_EQ(bars[1].hint, "Half 5,000.00");
    EXPECT_EQ(TopTenLegend(t),
              (std::vector<std::string>{"1. Big 10,000.00", "2. Half 5,000.00", "3. Tiny .01"}));
    // The bars carry the numbers their legend lines start with; empty slots have none.
    EXPECT_EQ(bars[0].label, "1");
    EXPECT_EQ(bars[2].label, "3");
    EXPECT_EQ(bars[3].label, "");
    EXPECT_EQ(TopTenTotals(t)[0], "Top 10: 15,000.01");
    EXPECT_EQ(TopTenTotals(t)[2], "Grand Total: 15,000.01");
    EXPECT_EQ(TopTenBarColor(1, true), (Color{255, 0, 0}));
    EXPECT_EQ(TopTenBarColor(1, false), kBlack);
}

// The scale's guide lines go up in round steps to the largest amount.
TEST(TopTen, TheScaleStepsAreRound) {
    auto marks = [](int64_t largestCents) {
        TopTen t;
        t.feed("Largest", M(largestCents));
        t.feed("Small", M(1));
        std::vector<std::string> out;
        for (const ScaleMark& m : TopTenScaleMarks(t))
            out.push_back(m.text);
        return out;
    };
    using V = std::vector<std::string>;
    // 4,192.41: not thirds of it (1,397 / 2,795) but steps of 1,000.
    EXPECT_EQ(marks(419241), (V{"1,000", "2,000", "3,000", "4,000"}));
    EXPECT_EQ(marks(1000000), (V{"2,000", "4,000", "6,000", "8,000", "10,000"}));
    EXPECT_EQ(marks(1249999), (V{"2,500", "5,000", "7,500", "10,000"}));
    EXPECT_EQ(marks(1250000), (V{"2,500", "5,000", "7,500", "10,000", "12,500"}));
    EXPECT_EQ(marks(200000000), (V{"500,000", "1,000,000", "1,500,000", "2,000,000"}));
    // Below one unit the labels keep the decimals their step needs.
    EXPECT_EQ(marks(75), (V{"0.2", "0.4", "0.6"}));
    EXPECT_EQ(marks(3), (V{"0.01", "0.02", "0.03"}));
    // Each mark's amount is its label's.
    TopTen t;
    t.feed("A", M(419241));
    for (const ScaleMark& m : TopTenScaleMarks(t))
        EXPECT_EQ(m.amount.cents() % 100000, 0);
    // Nothing above zero: no scale.
    TopTen none;
    none.feed("Refund", M(-500));
    EXPECT_TRUE(TopTenScaleMarks(none).empty());
}

}  // namespace
}  // namespace invarro::output
