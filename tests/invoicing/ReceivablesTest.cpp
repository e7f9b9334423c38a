// The age rule: the company's aging days, the period of an age, the date an invoice is aged
// from, and a customer's sums read from the invoice file.

#include "invoicing/Receivables.h"

#include <gtest/gtest.h>

#include "InvoiceFixture.h"
#include "data/Posting.h"
#include "storage/EngineTesting.h"

namespace invarro::invoicing {
namespace {

using data::Company;
using data::Date;
using data::Invoice;
using data::Money;
using testing::Draft;
using testing::MakeInvoice;

Money Cents(int64_t c) {
    return Money::FromCents(c);
}

TEST(AgingLimits, ParsedFromTheCompany) {
    data::CompanyRecord c;
    c.setText(Company::AgingDays1, " 15");
    c.setText(Company::AgingDays2, "45 ");
    c.setText(Company::AgingDays3, "120");
    auto l = AgingLimitsOf(c);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->d1, 15);
    EXPECT_EQ(l->d2, 45);
    EXPECT_EQ(l->d3, 120);
    c.setText(Company::AgingDays3, "1.5");
    EXPECT_FALSE(AgingLimitsOf(c));
    c.setText(Company::AgingDays3, "-90");
    EXPECT_FALSE(AgingLimitsOf(c)) << "a sign is not a whole number of days";
    EXPECT_FALSE(AgingLimitsOf(data::CompanyRecord())) << "empty days";
}

TEST(AgingLimits, EachPeriodEndsOnItsLastDayInclusive) {
    const AgingLimits l{10, 20, 30};
    EXPECT_EQ(AgingBucket(-3, l), 0) << "dated ahead";
    EXPECT_EQ(AgingBucket(0, l), 0);
    EXPECT_EQ(AgingBucket(10, l), 0);
    EXPECT_EQ(AgingBucket(11, l), 1);
    EXPECT_EQ(AgingBucket(20, l), 1);
    EXPECT_EQ(AgingBucket(21, l), 2);
    EXPECT_EQ(AgingBucket(30, l), 2);
    EXPECT_EQ(AgingBucket(31, l), 3);
    EXPECT_EQ(SumOf({Cents(1), Cents(-20), Cents(300), Cents(4000)}), Cents(4281));
}

TEST(AgingLimits, LabelsAreTheCaptionsAndTheOldestPeriodByItsDays) {
    data::CompanyRecord c = data::NewRecord<Company>();
    c.setText(Company::AgingCaption2, "Late:");
    c.setText(Company::AgingDays3, " 75");
    auto labels = AgingLabels(c);
    EXPECT_EQ(labels[1], "Late:");
    EXPECT_EQ(labels[3], "Over 75: ") << "the days trimmed";
}

TEST(InvoiceAge, CountedFromTheInvoiceDateThenItsPartsThenItsSortDate) {
    const Date today{2024, 6, 30};
    data::InvoiceRecord r =
        MakeInvoice({.no = "1", .date = {2024, 6, 1}}, data::DateOrder::MonthFirst);
    EXPECT_EQ(InvoiceAgeDays(r, data::DateOrder::MonthFirst, today), 29);
    EXPECT_FALSE(AgingDateOf(r, data::DateOrder::MonthFirst).rebuilt);
    // In the other date order "06/01/2024" is the 6th of January.
    EXPECT_EQ(InvoiceAgeDays(r, data::DateOrder::DayFirst, today), 176);

    // An unreadable invoice date is rebuilt from the month, day and year fields.
    r.setText(Invoice::InvDate, "garbage");
    InvoiceAgingDate d = AgingDateOf(r, data::DateOrder::MonthFirst);
    ASSERT_TRUE(d.date);
    EXPECT_TRUE(d.rebuilt);
    EXPECT_EQ(*d.date, (Date{2024, 6, 1}));

    // Parts that give no calendar date leave the sort date.
    r.setText(Invoice::InvDay, "31");
    r.setText(Invoice::InvMonth, "2");
    r.setText(Invoice::SortDate, "2024/05/01");
    d = AgingDateOf(r, data::DateOrder::MonthFirst);
    ASSERT_TRUE(d.date);
    EXPECT_FALSE(d.rebuilt);
    EXPECT_EQ(*d.date, (Date{2024, 5, 1}));

    r.setText(Invoice::SortDate, "");
    EXPECT_FALSE(InvoiceAgeDays(r, data::DateOrder::MonthFirst, today)) << "no date at all";
}

class CustomerSumsTest : public testing::InvoiceTest {
  protected:
    std::optional<AgingBuckets> sums(const std::string& custNo) {
        return CustomerAgingBuckets(invoices, custNo, AgingLimits{}, today, order(), prompter);
    }
    // Makes the invoice date of record recNo unreadable; its month, day and year stay.
    void spoilInvoiceDate(int32_t recNo) {
        data::InvoiceRecord r = read(recNo);
        const data::InvoiceRecord asRead = r;
        r.setText(Invoice::InvDate, "??");
        ASSERT_TRUE(data::ChangeBusinessRecord(invoices, recNo, asRead, r, prompter).ok());
    }
    const Date today{2024, 6, 30};
};

TEST_F(CustomerSumsTest, OpenReceivablesOfExactlyThisCustomerInTheirPeriods) {
    add({.no = "1", .cust = "1001", .date = {2024, 6, 20}, .total = "10.00"});
    add({.no = "2", .cust = "1001", .date = {2024, 4, 1}, .total = "20.00", .paid = "5.00"});
    add({.no = "3", .cust = "1001", .date = {2024, 1, 1}, .total = "30.00", .paid = "30.00"});
    add({.no = "4", .type = 'Q', .cust = "1001", .date = {2024, 1, 1}, .total = "40.00"});
    add({.no = "5", .cust = "10010", .date = {2024, 6, 20}, .total = "50.00"});
    add({.no = "6", .cust = "100", .date = {2024, 6, 20}, .total = "60.00"});
    add({.no = "7", .cust = "1001", .date = {2023, 1, 1}, .total = "70.00"});

    auto b = sums("1001");
    ASSERT_TRUE(b);
    EXPECT_EQ((*b)[0], Cents(1000));
    EXPECT_EQ((*b)[1], Money());
    EXPECT_EQ((*b)[2], Cents(1500)) << "90 days: the balance due, not the total";
    EXPECT_EQ((*b)[3], Cents(7000)) << "settled invoices and quotes are no receivables";
    // The number is matched whole, in any case and with blanks around it.
    EXPECT_EQ(sums(" 1001 "), b);
    auto none = sums("999");
    ASSERT_TRUE(none);
    EXPECT_EQ(SumOf(*none), Money());
}

TEST_F(CustomerSumsTest, ARebuiltInvoiceDateIsWrittenBackAndTheIndexStillFindsIt) {
    const int32_t rec = add({.no = "1", .cust = "1001", .date = {2024, 6, 20}, .total = "10.00"});
    spoilInvoiceDate(rec);

    auto b = sums("1001");
    ASSERT_TRUE(b);
    EXPECT_EQ((*b)[0], Cents(1000));
    EXPECT_EQ(read(rec).text(Invoice::InvDate), "06/20/2024");
    EXPECT_EQ(sums("1001"), b) << "a second pass finds the same";
}

TEST_F(CustomerSumsTest, ARebuiltDateBelongsToThePostingItIsMadeIn) {
    const int32_t rec = add({.no = "1", .cust = "1001", .date = {2024, 6, 20}, .total = "10.00"});
    spoilInvoiceDate(rec);
    {
        data::Posting posting;
        ASSERT_TRUE(posting.started());
        ASSERT_TRUE(sums("1001"));
        EXPECT_EQ(read(rec).text(Invoice::InvDate), "06/20/2024");
        posting.rollback();
    }
    EXPECT_EQ(read(rec).text(Invoice::InvDate), "??") << "dropped with the posting";
    EXPECT_TRUE(prompter.done());
}

TEST_F(CustomerSumsTest, AFailingReadOrWriteGivesNothing) {
    const int32_t rec = add({.no = "1", .cust = "1001", .date = {2024, 6, 20}, .total = "10.00"});
    storage::InjectFault(storage::EngineOp::GetRecord, 1, storage::err::OsOther);
    EXPECT_FALSE(sums("1001"));
    storage::ClearFaults();
    storage::InjectFault(storage::EngineOp::NextKey, 1, storage::err::OsOther);
    EXPECT_FALSE(sums("1001")) << "a broken index is not the end of the customer's invoices";
    storage::ClearFaults();

    // The rebuilt date cannot be written: no sums, and the record stays as it was.
    spoilInvoiceDate(rec);
    storage::InjectFault(storage::EngineOp::PutRecord, 1, storage::err::OsOther);
    EXPECT_FALSE(sums("1001"));
    storage::ClearFaults();
    EXPECT_EQ(read(rec).text(Invoice::InvDate), "??");
}

}  // namespace
}  // namespace invarro::invoicing
