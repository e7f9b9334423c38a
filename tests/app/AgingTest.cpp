// The aging run against real files with a pinned clock, and the chart's bar rule.

#include <gtest/gtest.h>

#include <cstdlib>

#include "AppFixture.h"
#include "app/Aging.h"
#include "app/BooksCheck.h"
#include "data/Posting.h"
#include "data/Texts.h"
#include "storage/EngineTesting.h"
#include "support/TempDir.h"

namespace invarro::app {
namespace {

using data::Date;

class AgingTest : public AppTest {
  protected:
    // 30 June 2024 is today.
    Date daysAgo(int n) const { return data::AddDays(Date{2024, 6, 30}, -n); }

    AgingOutcome age(bool forced = true) {
        statuses.clear();
        RunHooks hooks;
        hooks.status = [this](const std::string& s) { statuses.push_back(s); };
        hooks.busy = [this](bool on) { busy += on ? 1 : -1; };
        AgingOutcome o = RunAging(session, forced, clock, prompter, progress, hooks);
        EXPECT_EQ(busy, 0) << "the hourglass stays on";
        return o;
    }

    std::vector<std::string> statuses;
    int busy = 0;
};

TEST_F(AgingTest, InvoicesFallIntoPeriodsByWholeDaysAtTheLimits) {
    int32_t c = addCustomer("100", "Acme Ltd");
    // d1 = 30, d2 = 60, d3 = 90; the sums tell which period each amount went to.
    addInvoice("1", "100", daysAgo(0), Cents(1));
    addInvoice("2", "100", daysAgo(30), Cents(10));
    addInvoice("3", "100", daysAgo(31), Cents(100));
    addInvoice("4", "100", daysAgo(60), Cents(1000));
    addInvoice("5", "100", daysAgo(61), Cents(10000));
    addInvoice("6", "100", daysAgo(90), Cents(100000));
    addInvoice("7", "100", daysAgo(91), Cents(1000000));
    addInvoice("8", "100", data::AddDays(Date{2024, 6, 30}, 5), Cents(2));  // dated ahead

    AgingOutcome o = age();
    ASSERT_EQ(o.status, AgingStatus::Done);
    EXPECT_EQ(o.totals[0], Cents(13));
    EXPECT_EQ(o.totals[1], Cents(1100));
    EXPECT_EQ(o.totals[2], Cents(110000));
    EXPECT_EQ(o.totals[3], Cents(1000000));
    EXPECT_EQ(o.total, Cents(1111113));
    EXPECT_EQ(o.invoicesAged, 8);

    data::CustomerRecord r = read<Customer>(c);
    EXPECT_EQ(r.text(Customer::Age0to30), "0.13");
    EXPECT_EQ(r.text(Customer::Age31to60), "11.00");
    EXPECT_EQ(r.text(Customer::Age61to90), "1100.00");
    EXPECT_EQ(r.text(Customer::AgeOver90), "10000.00");
    EXPECT_EQ(r.text(Customer::Balance), "11111.13");
    expectSound(data::FileKind::Customer);
}

TEST_F(AgingTest, OtherLimitsAndTheDayBoundaryOfTheClock) {
    session.company.setText(Company::AgingDays1, "10");
    session.company.setText(Company::AgingDays2, "20");
    session.company.setText(Company::AgingDays3, "45");
    addCustomer("7", "Seven");
    addInvoice("1", "7", daysAgo(10), Cents(100));
    addInvoice("2", "7", daysAgo(11), Cents(200));
    addInvoice("3", "7", daysAgo(46), Cents(400));
    // Late in the evening an invoice of yesterday is still one day old.
    clock.set(platform::LocalDateTime{2024, 6, 30, 23, 59, 59});
    AgingOutcome o = age();
    EXPECT_EQ(o.totals[0], Cents(100));
    EXPECT_EQ(o.totals[1], Cents(200));
    EXPECT_EQ(o.totals[2], Cents(0));
    EXPECT_EQ(o.totals[3], Cents(400));
}

TEST_F(AgingTest, QuotesAndSettledInvoicesAreNotAged) {
    int32_t c = addCustomer("100", "Acme Ltd");
    addInvoice("Q1", "100", daysAgo(100), Cents(5000), "Q");
    addInvoice("2", "100", daysAgo(100), Cents(0));
    addInvoice("3", "100", daysAgo(5), Cents(-2500));  // a credit is aged like any amount
    AgingOutcome o = age();
    EXPECT_EQ(o.invoicesAged, 1);
    EXPECT_EQ(o.total, Cents(-2500));
    EXPECT_EQ(read<Customer>(c).text(Customer::Balance), "-25.00");
}

TEST_F(AgingTest, CustomerNumbersMatchWholeNotByPrefix) {
    int32_t one = addCustomer("1", "One");
    int32_t ten = addCustomer("10", "Ten");
    int32_t lower = addCustomer("ab", "Lower");
    addInvoice("1", "10", daysAgo(1), Cents(1000));
    addInvoice("2", "1", daysAgo(1), Cents(300));
    addInvoice("3", " AB ", daysAgo(1), Cents(70));  // keys are trimmed and upper case
    age();
    EXPECT_EQ(read<Customer>(one).text(Customer::Balance), "3.00");
    EXPECT_EQ(read<Customer>(ten).text(Customer::Balance), "10.00");
    EXPECT_EQ(read<Customer>(lower).text(Customer::Balance), "0.70");
}

TEST_F(AgingTest, InvoicesSpreadOverTheFileAreSummedPerCustomerAndStrangersLeftAlone) {
    int32_t seven = addCustomer("7", "Seven");
    int32_t eight = addCustomer("8", "Eight");
    int32_t idle = addCustomer("9", "Idle");
    addInvoice("1", "7", daysAgo(10), Cents(100));
    addInvoice("2", "8", daysAgo(40), Cents(200));
    addInvoice("3", "99", daysAgo(1), Cents(5000));  // no customer has this number
    addInvoice("4", "7", daysAgo(100), Cents(400));
    addInvoice("5", "8", daysAgo(40), Cents(0));
    addInvoice("6", "7", daysAgo(10), Cents(-50));
    AgingOutcome o = age();
    EXPECT_EQ(o.status, AgingStatus::Done);
    EXPECT_EQ(o.invoicesAged, 4);
    EXPECT_EQ(o.customers, 3);
    EXPECT_EQ(o.total, Cents(650));
    EXPECT_EQ(read<Customer>(seven).text(Customer::Balance), "4.50");
    EXPECT_EQ(read<Customer>(seven).text(Customer::Age0to30), "0.50");
    EXPECT_EQ(read<Customer>(seven).text(Customer::AgeOver90), "4.00");
    EXPECT_EQ(read<Customer>(eight).text(Customer::Age31to60), "2.00");
    EXPECT_EQ(read<Customer>(idle).text(Customer::Balance), "0.00");
    // A second run gives the same sums: nothing is carried over from the first.
    AgingOutcome again = age();
    EXPECT_EQ(again.total, Cents(650));
    EXPECT_EQ(read<Customer>(seven).text(Customer::Balance), "4.50");
}

TEST_F(AgingTest, UnreadableInvoiceDateIsRebuiltFromItsPartsAndWrittenBack) {
    addCustomer("100", "Acme Ltd");
    data::InvoiceRecord bad = invoice("1", "100", Date{2020, 3, 15}, Cents(100));
    bad.setText(Invoice::InvDate, "13/45/2020");
    int32_t rec = add(bad);
    AgingOutcome o = age();
    EXPECT_EQ(o.datesRepaired, 1);
    EXPECT_EQ(o.totals[3], Cents(100));
    data::InvoiceRecord after = read<Invoice>(rec);
    EXPECT_EQ(after.text(Invoice::InvDate), "03/15/2020");
    // Only the date text changed, so the keys still fit the record.
    data::InvoiceRecord expected = bad;
    expected.setText(Invoice::InvDate, "03/15/2020");
    EXPECT_EQ(after, expected);
    expectSound(data::FileKind::Invoice);

    // A second run finds nothing to repair.
    EXPECT_EQ(age().datesRepaired, 0);
}

// A run whose write meets a lock (another program holding a customer) runs again whole
// without asking: every figure is counted once, and the date repaired in the first attempt
// is repaired and counted once.
TEST_F(AgingTest, ARunThatMeetsALockRunsAgainWholeAndCountsEverythingOnce) {
    addCustomer("1", "A");
    addCustomer("2", "B");
    data::InvoiceRecord bad = invoice("10", "1", daysAgo(3), Cents(12345));
    bad.setText(Invoice::InvDate, "13/45/2020");
    const int32_t rec = add(bad);
    addInvoice("11", "2", daysAgo(40), Cents(655));
    // The repaired date and the first customer are written, then the second customer meets
    // the lock.
    storage::InjectFault(storage::EngineOp::PutRecord, 3, 10306);
    const int64_t reruns = data::PostingReruns();
    const AgingOutcome o = age();
    storage::ClearFaults();
    EXPECT_EQ(data::PostingReruns() - reruns, 1);
    EXPECT_EQ(o.status, AgingStatus::Done);
    EXPECT_EQ(o.customers, 2);
    EXPECT_EQ(o.datesRepaired, 1);
    EXPECT_EQ(o.totals[0], Cents(12345));
    EXPECT_EQ(o.totals[1], Cents(655));
    EXPECT_EQ(o.total, Cents(13000));
    EXPECT_EQ(read<Invoice>(rec).text(Invoice::InvDate),
              data::FormatUserDate(daysAgo(3), data::DateOrder::MonthFirst));
    EXPECT_EQ(companyInFile().text(Company::ARBalance), "130.00");
    EXPECT_EQ(session.company.text(Company::ARBalance), "130.00");
    EXPECT_EQ(progress.finishes, 1);
}

// A lock that stays: after five attempts the user is asked, and giving up changes nothing
// and says why once.
TEST_F(AgingTest, ALockThatStaysIsAskedAboutOnceTheRunIsRolledBack) {
    addCustomer("1", "A");
    addInvoice("10", "1", daysAgo(3), Cents(100));
    for (int i = 0; i < 5; ++i)
        storage::InjectFault(storage::EngineOp::PutRecord, 1, 10306);
    prompter.expect(std::string(data::kCannotGetLock), platform::Answer::Yes);
    prompter.expectStart("Cannot write customer record 1 (error 10306)");
    const AgingOutcome o = age();
    storage::ClearFaults();
    EXPECT_EQ(o.status, AgingStatus::Failed);
    EXPECT_EQ(companyInFile().text(Company::LastAgingDate), " ");
}

// The books check's repair (paid flags, then the aging) is one posting: one that meets a lock
// runs again whole without asking, and its report, made after the posting, names each
// change once.
TEST_F(AgingTest, ARepairThatMeetsALockRunsAgainWholeAndReportsEachChangeOnce) {
    addCustomer("1", "A");
    data::InvoiceRecord flagged = invoice("10", "1", daysAgo(3), Cents(2500));
    flagged.setText(Invoice::PaidFlag, "P");  // wrong: 25.00 is still due
    const int32_t rec = add(flagged);
    // The paid flag and the customer are rewritten, then the company record meets the lock.
    storage::InjectFault(storage::EngineOp::PutRecord, 3, 10306);
    const int64_t reruns = data::PostingReruns();
    const BooksRepair repair = RepairBooks(session, clock, prompter, progress);
    storage::ClearFaults();
    EXPECT_TRUE(repair.ok) << repair.error;
    EXPECT_EQ(data::PostingReruns() - reruns, 1);
    EXPECT_EQ(repair.changes,
              (std::vector<std::string>{"invoice 10: paid flag cleared",
                                        "customer 1: balance 0.00 -> 25.00",
                                        "customer 1: aging 0.00 / 0.00 / 0.00 / 0.00 -> "
                                        "25.00 / 0.00 / 0.00 / 0.00",
                                        "company receivables 0.00 -> 25.00"}));
    EXPECT_EQ(data::TrimmedText(read<Invoice>(rec).text(Invoice::PaidFlag)), "");
    EXPECT_EQ(companyInFile().text(Company::ARBalance), "25.00");
}

TEST_F(AgingTest, RebuiltDateFollowsTheCompanyDateOrder) {
    session.company.setText(Company::DateFormatCode, "D");
    ApplyCompanySettings(session);
    addCustomer("100", "Acme Ltd");
    data::InvoiceRecord bad = invoice("1", "100", Date{2024, 6, 1}, Cents(100));
    bad.setText(Invoice::InvDate, "");
    int32_t rec = add(bad);
    AgingOutcome o = age();
    EXPECT_EQ(read<Invoice>(rec).text(Invoice::InvDate), "01/06/2024");
    EXPECT_EQ(o.totals[0], Cents(100));  // 29 days old
}

TEST_F(AgingTest, InvoiceWithoutAnyDateCountsAsCurrentAndIsNamed) {
    addCustomer("100", "Acme Ltd");
    data::InvoiceRecord bad = invoice("77", "100", Date{2024, 6, 1}, Cents(100));
    bad.setText(Invoice::InvDate, "someday");
    bad.setText(Invoice::InvMonth, "13");
    bad.setText(Invoice::SortDate, "");
    int32_t rec = add(bad);
    prompter.expect(
        "These invoices have no readable date; their balances were aged as current: 77");
    AgingOutcome o = age();
    EXPECT_EQ(o.totals[0], Cents(100));
    EXPECT_EQ(read<Invoice>(rec).text(Invoice::InvDate), "someday");
}

TEST_F(AgingTest, TotalsGoToTheCompanyAndLastCoDat) {
    addCustomer("1", "A");
    addCustomer("2", "B");
    addInvoice("10", "1", daysAgo(3), Cents(12345));
    addInvoice("11", "2", daysAgo(40), Cents(655));
    addInvoice("12", "2", daysAgo(400), Cents(1000));
    AgingOutcome o = age();
    EXPECT_EQ(o.customers, 2);
    EXPECT_EQ(o.totals[0], Cents(12345));
    EXPECT_EQ(o.totals[1], Cents(655));
    EXPECT_EQ(o.totals[3], Cents(1000));

    data::CompanyRecord stored = companyInFile();
    EXPECT_EQ(stored.text(Company::LastAgingDate), "06/30/2024");
    EXPECT_EQ(stored.text(Company::ARBalance), "140.00");
    EXPECT_EQ(session.company.text(Company::LastAgingDate), "06/30/2024");
    EXPECT_EQ(session.company.text(Company::ARBalance), "140.00");
    auto lastCo = data::ReadLastCompany(dir.path());
    ASSERT_TRUE(lastCo);
    EXPECT_EQ(*lastCo, session.company);
    expectSound(data::FileKind::Company);

    EXPECT_FALSE(AgingDueToday(session, clock));
    clock.set(platform::LocalDateTime{2024, 7, 1, 0, 0, 1});
    EXPECT_TRUE(AgingDueToday(session, clock));
}

TEST_F(AgingTest, StatusWindowAndStatusTexts) {
    addCustomer("1", "A");
    addInvoice("10", "1", daysAgo(3), Cents(100));
    age();
    ASSERT_EQ(progress.titles, std::vector<std::string>{"Aging"});
    EXPECT_EQ(progress.shown.front(), "Calculating Aging...");
    EXPECT_EQ(progress.finishes, 1);
    EXPECT_EQ(statuses, (std::vector<std::string>{"Calculating Aging Totals...", "Ready."}));
}

TEST_F(AgingTest, EmptyShortNameBecomesNone) {
    int32_t c = addCustomer("1", "A", "");
    int32_t d = addCustomer("2", "B", "Bee");
    age();
    EXPECT_EQ(read<Customer>(c).text(Customer::ShortName), "*NONE*");
    EXPECT_EQ(read<Customer>(d).text(Customer::ShortName), "Bee");
    EXPECT_EQ(read<Customer>(c).text(Customer::Balance), "0.00");
}

TEST_F(AgingTest, BadAgingDaysStopBeforeAnythingIsRead) {
    int32_t c = addCustomer("1", "A");
    addInvoice("10", "1", daysAgo(3), Cents(100));
    const std::string lastCo = testing::ReadFileBytes(dir.file("LastCo.Dat"));
    for (const char* bad : {"", "   ", "3a", "-5"}) {
        SCOPED_TRACE(bad);
        session.company.setText(Company::AgingDays2, bad);
        prompter.expect(
            "There is a bad value in your aging days (Company Setup). Unable to calculate "
            "aging.");
        EXPECT_EQ(age().status, AgingStatus::BadDays);
    }
    EXPECT_TRUE(progress.titles.empty());
    EXPECT_EQ(read<Customer>(c).text(Customer::Balance), "0.00");
    EXPECT_EQ(testing::ReadFileBytes(dir.file("LastCo.Dat")), lastCo);
}

TEST_F(AgingTest, NoRunWithoutReceivablesUnlessForced) {
    int32_t c = addCustomer("1", "A");
    addInvoice("10", "1", daysAgo(3), Cents(100));
    ASSERT_TRUE(session.company.money(Company::ARBalance).isZero());
    EXPECT_EQ(age(false).status, AgingStatus::NotNeeded);
    EXPECT_EQ(read<Customer>(c).text(Customer::Balance), "0.00");
    EXPECT_TRUE(progress.titles.empty());

    ASSERT_TRUE(session.company.setMoney(Company::ARBalance, Cents(100)));
    session.company.setByte(Company::ShowAgingChart, 0);
    AgingOutcome daily = age(false);
    EXPECT_EQ(daily.status, AgingStatus::Done);
    EXPECT_FALSE(daily.showChart) << "the daily run draws the chart only when the company asks";
    EXPECT_EQ(read<Customer>(c).text(Customer::Balance), "1.00");

    // The daily run is once a day: the company file holds today's aging now.
    EXPECT_EQ(age(false).status, AgingStatus::NotNeeded);

    clock.set(platform::LocalDateTime{2024, 7, 1, 9, 0, 0});
    session.company.setByte(Company::ShowAgingChart, 1);
    EXPECT_TRUE(age(false).showChart);
    session.company.setByte(Company::ShowAgingChart, 0);
    EXPECT_TRUE(age(true).showChart);
}

TEST_F(AgingTest, ZeroTotalDrawsNoChart) {
    addCustomer("1", "A");
    addInvoice("10", "1", daysAgo(3), Cents(100));
    addInvoice("11", "1", daysAgo(50), Cents(-100));
    AgingOutcome o = age(true);
    EXPECT_EQ(o.status, AgingStatus::Done);
    EXPECT_TRUE(o.total.isZero());
    EXPECT_FALSE(o.showChart);
    EXPECT_EQ(companyInFile().text(Company::ARBalance), "0.00");
}

TEST_F(AgingTest, MissingCustomerAndInvoiceFilesAreCreatedEmpty) {
    AgingOutcome o = age(true);
    EXPECT_EQ(o.status, AgingStatus::Done);
    EXPECT_EQ(o.customers, 0);
    EXPECT_TRUE(data::FileExists(storage::DataFileName(name(data::FileKind::Customer))));
    EXPECT_TRUE(data::FileExists(storage::DataFileName(name(data::FileKind::Invoice))));
}

TEST_F(AgingTest, TotalTooLargeForTheCompanyRecordIsReportedAndNotStored) {
    addCustomer("1", "A");
    addCustomer("2", "B");
    addInvoice("10", "1", daysAgo(3), Cents(999999999));  // 9,999,999.99 each
    addInvoice("11", "2", daysAgo(3), Cents(999999999));
    prompter.expect("The receivables total 19,999,999.98 is too large to be stored.");
    AgingOutcome o = age(true);
    EXPECT_EQ(o.status, AgingStatus::Failed);
    EXPECT_EQ(companyInFile().text(Company::LastAgingDate), " ");
}

TEST(AgingChart, BarHeightsStandOnTheBaseLine) {
    struct Case {
        invoicing::AgingBuckets buckets;
        std::array<int, 4> heights;
        int baseLine;
    };
    const Case cases[] = {
        // A bucket of 1.00 beside 10,000.00 still shows: 4 pixels.
        {{Cents(100), Cents(1000000), Cents(0), Cents(0)}, {4, 150, 0, 0}, 0},
        {{Cents(5000), Cents(10000), Cents(2500), Cents(7500)}, {75, 150, 38, 113}, 0},
        // One negative bucket: the base line rises by its share of the range.
        {{Cents(-5000), Cents(10000), Cents(0), Cents(0)}, {-50, 100, 0, 0}, 50},
        // A tiny credit hangs 4 pixels below the base line.
        {{Cents(-1), Cents(100000), Cents(0), Cents(0)}, {-4, 150, 0, 0}, 0},
        // All negative: the base line is at the top and the bars hang from it.
        {{Cents(-10000), Cents(-5000), Cents(0), Cents(0)}, {-150, -75, 0, 0}, 150},
        // Halves round away from zero.
        {{Cents(100), Cents(400), Cents(0), Cents(0)}, {38, 150, 0, 0}, 0},
        {{Cents(-100), Cents(100), Cents(0), Cents(0)}, {-75, 75, 0, 0}, 75},
        {{Cents(0), Cents(0), Cents(0), Cents(0)}, {0, 0, 0, 0}, 0},
    };
    for (const Case& c : cases) {
        ChartBars bars = AgingChartBars(c.buckets, 150);
        EXPECT_EQ(bars.heights, c.heights)
            << c.buckets[0].storedText() << " " << c.buckets[1].storedText();
        EXPECT_EQ(bars.baseLine, c.baseLine);
        for (size_t i = 0; i < 4; ++i) {
            // Every bar stays inside the frame, except one lengthened to the minimum.
            if (std::abs(bars.heights[i]) == 4) continue;
            EXPECT_GE(bars.baseLine + bars.heights[i], 0);
            EXPECT_LE(bars.baseLine + bars.heights[i], 150);
        }
    }
    // Each value is rounded on its own: -37.5 and 112.5 on a base line of 37.5.
    ChartBars halves = AgingChartBars({Cents(-100), Cents(300), Cents(0), Cents(0)}, 150);
    EXPECT_EQ(halves.heights, (std::array<int, 4>{-38, 113, 0, 0}));
    EXPECT_EQ(halves.baseLine, 38);
    // An odd frame: 1/3 of 100 is 33.33, 2/3 is 66.67.
    ChartBars odd = AgingChartBars({Cents(100), Cents(200), Cents(300), Cents(0)}, 100);
    EXPECT_EQ(odd.heights, (std::array<int, 4>{33, 67, 100, 0}));
}

TEST(AgingChart, LabelsAndHints) {
    data::CompanyRecord c = data::NewRecord<Company>();
    c.setText(Company::AgingCaption1, "Current:");
    c.setText(Company::AgingCaption2, "31-60:");
    c.setText(Company::AgingCaption3, "61-90:");
    c.setText(Company::AgingDays3, "90");
    auto labels = invoicing::AgingLabels(c);
    EXPECT_EQ(AgingBarHint(labels[0], Cents(123456)), "Current: 1,234.56");
    EXPECT_EQ(AgingBarHint(labels[3], Cents(-50)), "Over 90: -0.50");
    EXPECT_EQ(AgingChartHint(labels, {Cents(100), Cents(200), Cents(0), Cents(100000)}),
              "Current: 1.00\n31-60: 2.00\n61-90: 0.00\nOver 90: 1,000.00\nTotal A/R: 1,003.00");
}

}  // namespace
}  // namespace invarro::app
