// Amounts, four-decimal numbers and dates at their edges.

#include <gtest/gtest.h>

#include "data/Dates.h"
#include "data/DueDate.h"
#include "data/Money.h"

namespace invarro::data {
namespace {

int64_t Cents(std::string_view text, int width = kMoneyTextWidth) {
    auto m = ParseMoney(text, width);
    EXPECT_TRUE(m.has_value()) << text;
    return m ? m->cents() : -999999;
}

TEST(Money, ParsesTypedAmounts) {
    EXPECT_EQ(Cents("1,234.5"), 123450);
    EXPECT_EQ(Cents("  12.3 "), 1230);
    EXPECT_EQ(Cents("-7"), -700);
    EXPECT_EQ(Cents("+7.01"), 701);
    EXPECT_EQ(Cents(".5"), 50);
    EXPECT_EQ(Cents("5."), 500);
    EXPECT_EQ(Cents("1,,0,0"), 10000);
    EXPECT_EQ(Cents(""), 0);
    EXPECT_EQ(Cents(" \t "), 0);
    // Every blank and comma goes, wherever it stands.
    EXPECT_EQ(Cents("1 000"), 100000);
    EXPECT_EQ(Cents(", 5"), 500);
    EXPECT_EQ(Cents("5 ,"), 500);
    EXPECT_EQ(Cents("- 2.50"), -250);
    for (const char* bad : {"abc", "1.2.3", "-", ".", "1\t000", "1e5", "$5", "--1", "5-", "0x10"})
        EXPECT_FALSE(ParseMoney(bad).has_value()) << bad;
}

TEST(Money, RoundsHalfCentsAwayFromZero) {
    EXPECT_EQ(Cents("12.345"), 1235);
    EXPECT_EQ(Cents("-12.345"), -1235);
    EXPECT_EQ(Cents("12.3449999"), 1234);
    EXPECT_EQ(Cents("-12.3449999"), -1234);
    EXPECT_EQ(Cents("0.005"), 1);
    EXPECT_EQ(Cents("-0.005"), -1);
    EXPECT_EQ(Cents("0.00499"), 0);
    EXPECT_EQ(Cents("2.675"), 268);  // a binary double would give 2.67
    // A negative amount that rounds to nothing is plain zero.
    EXPECT_EQ(ParseMoney("-0.004")->storedText(), "0.00");
}

TEST(Money, AtMostTenCharacters) {
    EXPECT_EQ(Cents("9,999,999.99"), 999999999);
    EXPECT_EQ(Cents("-999999.99"), -99999999);
    EXPECT_FALSE(ParseMoney("10000000.00").has_value());
    EXPECT_FALSE(ParseMoney("-1000000").has_value());
    // Rounding can carry an amount over the limit.
    EXPECT_FALSE(ParseMoney("9999999.995").has_value());
    EXPECT_FALSE(ParseMoney("99999999999999999999999999999").has_value());
    // The customer balance holds twelve.
    EXPECT_EQ(Cents("999999999.99", 12), 99999999999);
}

TEST(Money, StoredAndShownForms) {
    EXPECT_EQ(Money().storedText(), "0.00");
    EXPECT_EQ(Money::FromCents(-5).storedText(), "-0.05");
    EXPECT_EQ(Money::FromCents(123456789).storedText(), "1234567.89");
    EXPECT_EQ(Money::FromCents(123456789).shownText(), "1,234,567.89");
    EXPECT_EQ(Money::FromCents(-100000).shownText(), "-1,000.00");
    EXPECT_EQ(Money::FromCents(99999).shownText(), "999.99");
    EXPECT_EQ(Money::FromCents(-12).shownText(), "-0.12");
    EXPECT_TRUE(Money::FromCents(999999999).fits());
    EXPECT_FALSE(Money::FromCents(1000000000).fits());
    EXPECT_FALSE(Money::FromCents(-100000000).fits());
}

// Digit groups at each boundary, fractions with leading zeros, and the extremes of the
// range: every report cell and total goes through this formatting.
TEST(Money, FormattingAtGroupAndRangeEdges) {
    EXPECT_EQ(Money::FromCents(1).shownText(), "0.01");
    EXPECT_EQ(Money::FromCents(-1).storedText(), "-0.01");
    EXPECT_EQ(Money::FromCents(100000).shownText(), "1,000.00");
    EXPECT_EQ(Money::FromCents(99999999).shownText(), "999,999.99");
    EXPECT_EQ(Money::FromCents(100000000).shownText(), "1,000,000.00");
    EXPECT_EQ(Money::FromCents(-100000000).storedText(), "-1000000.00");
    EXPECT_EQ(Money::FromCents(INT64_MAX).shownText(), "92,233,720,368,547,758.07");
    EXPECT_EQ(Money::FromCents(INT64_MIN).storedText(), "-92233720368547758.08");
    const auto q = [](int64_t units) { return Decimal::FromUnits(units); };
    EXPECT_EQ(q(10020000).text(3, true), "1,002.000");
    EXPECT_EQ(q(-10005).text(3, true), "-1.001");  // -1.0005 rounds away from zero
    EXPECT_EQ(q(-4).text(3, true), "0.000");       // a negative that rounds to nothing
    EXPECT_EQ(q(1230000).text(0, true), "123");
    EXPECT_EQ(q(12345).text(4, false), "1.2345");
    EXPECT_EQ(q(5).text(4, false), "0.0005");
}

TEST(Money, ProductsAreExactThenRounded) {
    auto d = [](std::string_view t) { return *ParseDecimal(t); };
    EXPECT_EQ(Extend(d("3"), d("19.99")).cents(), 5997);
    EXPECT_EQ(Extend(d("1.5"), d("0.3333")).cents(), 50);    // 0.49995
    EXPECT_EQ(Extend(d("-1.5"), d("0.3333")).cents(), -50);  // -0.49995
    EXPECT_EQ(Extend(d("1.5"), d("0.3332")).cents(), 50);    // 0.4998
    EXPECT_EQ(Extend(d("2.125"), d("1")).cents(), 213);
    EXPECT_EQ(Extend(d("-2.125"), d("1")).cents(), -213);
    EXPECT_EQ(Extend(d("0.0001"), d("0.0001")).cents(), 0);
    EXPECT_EQ(Extend(d("1,234.5678"), d("9999.9999")).cents(), 1234567788);  // 12345677.8765...
    EXPECT_EQ(PercentOf(Money::FromCents(1000), d("8.125")).cents(), 81);    // 0.8125
    EXPECT_EQ(PercentOf(Money::FromCents(100), d("0.5")).cents(), 1);        // 0.005
    EXPECT_EQ(PercentOf(Money::FromCents(-100), d("0.5")).cents(), -1);
    EXPECT_EQ(RoundToCents(d("-0.125")).cents(), -13);
}

TEST(Money, FourDecimalNumbers) {
    auto v = ParseDecimal(" 1,234.56789 ");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->units(), 12345679);
    EXPECT_EQ(v->text(4), "1234.5679");
    EXPECT_EQ(v->text(2, true), "1,234.57");
    EXPECT_EQ(v->text(0, true), "1,235");
    EXPECT_EQ(ParseDecimal("-0.00005")->units(), -1);
    EXPECT_EQ(ParseDecimal("")->units(), 0);
    EXPECT_FALSE(ParseDecimal("1/2").has_value());
    EXPECT_EQ(DecimalsOf("1.250"), 3);
    EXPECT_EQ(DecimalsOf("12"), 0);
    EXPECT_EQ(DecimalsOf(" 3.5 "), 1);
}

TEST(Dates, Validity) {
    EXPECT_TRUE(IsValidDate({2024, 2, 29}));
    EXPECT_FALSE(IsValidDate({2023, 2, 29}));
    EXPECT_FALSE(IsValidDate({1900, 2, 29}));
    EXPECT_TRUE(IsValidDate({2000, 2, 29}));
    EXPECT_FALSE(IsValidDate({2024, 4, 31}));
    EXPECT_FALSE(IsValidDate({2024, 13, 1}));
    EXPECT_FALSE(IsValidDate({2024, 0, 1}));
    EXPECT_FALSE(IsValidDate({2024, 1, 0}));
    EXPECT_TRUE(IsValidDate({2024, 12, 31}));
}

TEST(Dates, UserDatesInBothOrders) {
    EXPECT_EQ(ParseUserDate("03/04/2024", DateOrder::MonthFirst), (Date{2024, 3, 4}));
    EXPECT_EQ(ParseUserDate("03/04/2024", DateOrder::DayFirst), (Date{2024, 4, 3}));
    EXPECT_EQ(ParseUserDate(" 3/4/2024 ", DateOrder::MonthFirst), (Date{2024, 3, 4}));
    EXPECT_EQ(ParseUserDate("13/01/2024", DateOrder::DayFirst), (Date{2024, 1, 13}));
    EXPECT_FALSE(ParseUserDate("13/01/2024", DateOrder::MonthFirst));
    EXPECT_EQ(ParseUserDate("29/02/2024", DateOrder::DayFirst), (Date{2024, 2, 29}));
    EXPECT_FALSE(ParseUserDate("29/02/2023", DateOrder::DayFirst));
    EXPECT_FALSE(ParseUserDate("02/30/2024", DateOrder::MonthFirst));
    for (const char* bad : {"", "03-04-2024", "03/04/24", "2024/03/04", "03/04/2024/1", "3//2024",
                            "a3/04/2024", "003/04/2024", "03/04/20245"})
        EXPECT_FALSE(ParseUserDate(bad, DateOrder::MonthFirst)) << bad;

    EXPECT_EQ(FormatUserDate({2024, 3, 4}, DateOrder::MonthFirst), "03/04/2024");
    EXPECT_EQ(FormatUserDate({2024, 3, 4}, DateOrder::DayFirst), "04/03/2024");
    EXPECT_EQ(DateOrderFromCode("D"), DateOrder::DayFirst);
    EXPECT_EQ(DateOrderFromCode("M"), DateOrder::MonthFirst);
    EXPECT_EQ(DateOrderFromCode(""), DateOrder::MonthFirst);
}

TEST(Dates, SortDates) {
    EXPECT_EQ(FormatSortDate({987, 1, 2}), "0987/01/02");
    EXPECT_EQ(ParseSortDate("2024/03/04"), (Date{2024, 3, 4}));
    EXPECT_FALSE(ParseSortDate("2024/3/4"));
    EXPECT_FALSE(ParseSortDate("2023/02/29"));
    EXPECT_EQ(SortDateFromUserDate("04/03/2024", DateOrder::DayFirst), "2024/03/04");
    EXPECT_EQ(SortDateFromUserDate("04/03/2024", DateOrder::MonthFirst), "2024/04/03");
    EXPECT_FALSE(SortDateFromUserDate("31/04/2024", DateOrder::DayFirst));
    EXPECT_EQ(UserDateFromSortDate("2024/12/01", DateOrder::DayFirst), "01/12/2024");
    // Text order is date order.
    EXPECT_LT(FormatSortDate({2023, 12, 31}), FormatSortDate({2024, 1, 1}));
    EXPECT_LT(FormatSortDate({2024, 2, 9}), FormatSortDate({2024, 2, 10}));
}

TEST(Dates, DayArithmetic) {
    EXPECT_EQ(AddDays({2023, 12, 31}, 1), (Date{2024, 1, 1}));
    EXPECT_EQ(AddDays({2024, 2, 28}, 1), (Date{2024, 2, 29}));
    EXPECT_EQ(AddDays({2024, 3, 1}, -1), (Date{2024, 2, 29}));
    EXPECT_EQ(AddDays({2023, 3, 1}, -1), (Date{2023, 2, 28}));
    EXPECT_EQ(AddDays({2100, 2, 28}, 1), (Date{2100, 3, 1}));
    EXPECT_EQ(AddDays({2024, 1, 31}, 30), (Date{2024, 3, 1}));
    EXPECT_EQ(DaysBetween({2024, 1, 1}, {2025, 1, 1}), 366);
    EXPECT_EQ(DaysBetween({2023, 1, 1}, {2024, 1, 1}), 365);
    EXPECT_EQ(DaysBetween({2024, 3, 1}, {2024, 1, 31}), -30);
    EXPECT_EQ(DayOfWeek({2024, 3, 3}), 0);  // Sunday
    EXPECT_EQ(DayOfWeek({2000, 1, 1}), 6);  // Saturday
    EXPECT_EQ(DayOfWeek({1, 1, 1}), 1);     // Monday

    // Day numbers run without gaps through the leap-year rules of 1600..2400.
    Date d{1599, 12, 31};
    int32_t n = DayNumber(d);
    for (int i = 0; i < 900 * 366 && d.year <= 2401; ++i) {
        Date next = AddDays(d, 1);
        ASSERT_TRUE(IsValidDate(next));
        ASSERT_EQ(DayNumber(next), n + 1);
        ASSERT_EQ(DateFromDayNumber(n + 1), next);
        bool sameMonth = next.year == d.year && next.month == d.month && next.day == d.day + 1;
        bool newMonth = next.day == 1 && d.day == DaysInMonth(d.year, d.month);
        ASSERT_TRUE(sameMonth || newMonth) << d.year << "-" << d.month << "-" << d.day;
        d = next;
        ++n;
    }
    EXPECT_EQ(d.year, 2402);
}

TEST(Dates, DisplayFormats) {
    EXPECT_EQ(FormatLongDateTime({2024, 3, 3, 14, 5, 0}), "Sunday, March 3, 2024, 02:05 PM");
    EXPECT_EQ(FormatLongDateTime({2024, 3, 3, 0, 0, 0}), "Sunday, March 3, 2024, 12:00 AM");
    EXPECT_EQ(FormatLongDateTime({2024, 3, 3, 12, 30, 0}), "Sunday, March 3, 2024, 12:30 PM");
    EXPECT_EQ(FormatLongDateTime({2024, 12, 31, 11, 59, 59}),
              "Tuesday, December 31, 2024, 11:59 AM");
    EXPECT_EQ(FormatLongDate({2024, 9, 18}), "Wednesday, September 18, 2024");
    EXPECT_EQ(FormatMonthDayYear({2024, 3, 3}), "Mar 3, 2024");
    EXPECT_EQ(FormatDayMonthYear({2024, 11, 23}), "23 Nov, 2024");
    platform::FixedClock clock({2024, 2, 29, 23, 59, 0});
    EXPECT_EQ(Today(clock), (Date{2024, 2, 29}));
}

TEST(Dates, TheDueDateOfPaymentTerms) {
    // Every built-in term of the terms list.
    EXPECT_EQ(TermsDays("1% 10 Net 30"), 30);
    EXPECT_EQ(TermsDays("2% 10 Net 30"), 30);
    EXPECT_EQ(TermsDays("Net 10 Days"), 10);
    EXPECT_EQ(TermsDays("Net 20 Days"), 20);
    EXPECT_EQ(TermsDays("NET 30 DAYS"), 30);
    EXPECT_EQ(TermsDays("Due On Receipt"), std::nullopt);
    EXPECT_EQ(TermsDays("Credit Card - Master Card"), std::nullopt);
    // Terms users type.
    EXPECT_EQ(TermsDays("Due in 14 days"), 14);
    EXPECT_EQ(TermsDays("30-day net"), 30);
    EXPECT_EQ(TermsDays("Net 0"), 0);
    EXPECT_EQ(TermsDays("Net"), std::nullopt);
    EXPECT_EQ(TermsDays("Network 30 days"), 30);  // "network" is no "net"
    EXPECT_EQ(TermsDays("Net 30% discount"), 30);
    EXPECT_EQ(TermsDays("Net 99999 Days"), std::nullopt);  // no number of days anyone means
    EXPECT_EQ(TermsDays(""), std::nullopt);
    // Across the end of a month and of a leap February.
    EXPECT_EQ(PaymentDueDate({2024, 1, 31}, "Net 30 Days"), (Date{2024, 3, 1}));
    EXPECT_EQ(PaymentDueDate({2025, 12, 15}, "Net 20 Days"), (Date{2026, 1, 4}));
    // Without terms the invoice date; terms without days, or a date that is none: nothing.
    EXPECT_EQ(PaymentDueDate({2024, 5, 2}, "  "), (Date{2024, 5, 2}));
    EXPECT_EQ(PaymentDueDate({2024, 5, 2}, "Due On Receipt"), std::nullopt);
    EXPECT_EQ(PaymentDueDate({2024, 2, 30}, "Net 30 Days"), std::nullopt);
}

}  // namespace
}  // namespace invarro::data
