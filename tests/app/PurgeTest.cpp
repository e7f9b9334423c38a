// The purge of old paid records: its questions, the stop on unpaid records, and what
// goes with each removed invoice.

#include <gtest/gtest.h>

#include "AppFixture.h"
#include "app/Purge.h"

namespace invarro::app {
namespace {

using data::Date;
using platform::Answer;

constexpr const char* kFirstQuestion =
    "This will remove PAID records older than the date you select. Once removed, they will no "
    "longer appear on any reports or system options. We suggest you leave 5 years on file. Be "
    "sure to backup your files and print reports before you remove data. Continue?";
constexpr const char* kUnpaid =
    "There are invoices which remain unpaid in the period you selected. Unable to remove old "
    "records at this time. Wait until the invoices are all paid.";

class PurgeTest : public AppTest {
  protected:
    PurgeOutcome purge(std::optional<Date> cutOff) {
        ScriptedCalendar calendar(cutOff);
        RunHooks hooks;
        hooks.status = [this](const std::string& s) { statuses.push_back(s); };
        PurgeOutcome o = PurgePaidRecords(session, clock, prompter, calendar, hooks);
        calendarTitle = calendar.title;
        preset = calendar.shownPreset;
        return o;
    }
    void expectQuestions(const std::string& date) {
        prompter.expect(kFirstQuestion, Answer::Yes);
        prompter.expect("All paid records older than " + date + " will be removed. Continue?",
                        Answer::Yes);
    }

    std::vector<std::string> statuses;
    std::string calendarTitle;
    Date preset;
};

TEST_F(PurgeTest, OneUnpaidOldInvoiceDeletesNothing) {
    addInvoice("1001", "1", Date{2015, 1, 5}, Cents(0));
    addLine("1001", 1);
    addInvoice("1002", "1", Date{2015, 2, 5}, Cents(100));
    addInvoice("1003", "1", Date{2015, 3, 5}, Cents(0));
    expectQuestions("01/01/2020");
    prompter.expect(kUnpaid);
    PurgeOutcome o = purge(Date{2020, 1, 1});
    EXPECT_EQ(o.status, PurgeStatus::Unpaid);
    EXPECT_EQ(o.unpaidInvoice, "1002");
    EXPECT_EQ(prompter.last().title, "Invoice#: 1002");
    EXPECT_EQ(count(data::FileKind::Invoice), 3);
    EXPECT_EQ(count(data::FileKind::InvoiceLine), 1);
    EXPECT_EQ(statuses, (std::vector<std::string>{"Removing Records...", "Ready."}));
}

TEST_F(PurgeTest, PaidOldRecordsGoWithTheirLinesAndMemo) {
    // Old and paid: line-item invoice with two lines, memo invoice with its memo, and the
    // payment record of the memo invoice (same number, a copy of it).
    addInvoice("1001", "1", Date{2016, 4, 1}, Cents(0));
    addLine("1001", 1);
    addLine("1001", 2);
    data::InvoiceRecord memoInv = invoice("1002", "1", Date{2017, 5, 1}, Cents(0));
    memoInv.setText(Invoice::InvoiceStyle, "M");
    add(memoInv);
    data::InvoiceRecord payment = invoice("1002", "1", Date{2017, 6, 1}, Cents(0), "X");
    payment.setText(Invoice::InvoiceStyle, "M");
    add(payment);
    addMemo("1002");
    // Stay: newer paid, old with a zero balance but no paid mark, and their lines and memos.
    int32_t newer = addInvoice("1003", "1", Date{2021, 1, 1}, Cents(0));
    addLine("1003", 1);
    data::InvoiceRecord unmarked = invoice("1004", "1", Date{2016, 1, 1}, Cents(0));
    unmarked.setText(Invoice::PaidFlag, "");
    unmarked.setText(Invoice::InvoiceStyle, "M");
    int32_t kept = add(unmarked);
    addMemo("1004");
    addMemo("10020");  // the memo after "1002" in key order is not "1002"'s

    expectQuestions("01/01/2020");
    prompter.expect("3 paid records older than 01/01/2020 were removed.");
    PurgeOutcome o = purge(Date{2020, 1, 1});
    EXPECT_EQ(o.status, PurgeStatus::Done);
    EXPECT_EQ(o.removed, 3);
    EXPECT_EQ(o.failures, 0);
    EXPECT_EQ(prompter.last().title, "Records Removed");
    EXPECT_EQ(statuses.back(), "3 records were removed.");

    EXPECT_EQ(count(data::FileKind::Invoice), 2);
    EXPECT_EQ(read<Invoice>(newer).text(Invoice::InvNo), "1003");
    EXPECT_EQ(read<Invoice>(kept).text(Invoice::InvNo), "1004");
    EXPECT_EQ(count(data::FileKind::InvoiceLine), 1);
    EXPECT_EQ(count(data::FileKind::Memo), 2);
    for (auto kind : {data::FileKind::Invoice, data::FileKind::InvoiceLine, data::FileKind::Memo})
        expectSound(kind);
}

TEST_F(PurgeTest, ALineRecordAlreadyGoneDoesNotLeaveTheOtherLinesBehind) {
    addInvoice("1001", "1", Date{2016, 4, 1}, Cents(0));
    for (int row = 1; row <= 3; ++row)
        addLine("1001", row);
    addLine("10010", 1);
    // A damaged line file: the first line's record is gone while its keys stay behind.
    storage::Fileblock* lines = storage::OpenFileblock(name(data::FileKind::InvoiceLine), false);
    ASSERT_TRUE(storage::EngineOk);
    storage::DeleteRecord(lines, storage::NextUsedRecord(lines, 0));
    storage::CloseFileblock(lines);
    ASSERT_TRUE(storage::EngineOk);

    expectQuestions("01/01/2020");
    prompter.expect("1 paid records older than 01/01/2020 were removed.");
    PurgeOutcome o = purge(Date{2020, 1, 1});
    EXPECT_EQ(o.removed, 1);
    EXPECT_EQ(o.failures, 0);
    EXPECT_EQ(count(data::FileKind::InvoiceLine), 1);  // only the line of 10010 is left
}

TEST_F(PurgeTest, TheCutOffDayItselfStays) {
    addInvoice("1", "1", Date{2019, 12, 31}, Cents(0));
    int32_t onTheDay = addInvoice("2", "1", Date{2020, 1, 1}, Cents(0));
    // A record without a readable sort date is not older than any day.
    data::InvoiceRecord undated = invoice("3", "1", Date{2010, 1, 1}, Cents(0));
    undated.setText(Invoice::SortDate, "");
    int32_t kept = add(undated);
    expectQuestions("01/01/2020");
    prompter.expect("1 paid records older than 01/01/2020 were removed.");
    EXPECT_EQ(purge(Date{2020, 1, 1}).removed, 1);
    EXPECT_EQ(read<Invoice>(onTheDay).text(Invoice::InvNo), "2");
    EXPECT_EQ(read<Invoice>(kept).text(Invoice::InvNo), "3");
}

TEST_F(PurgeTest, CalendarOpensFiveYearsBackOnTheFirstOfTheMonth) {
    clock.set(platform::LocalDateTime{2024, 2, 29, 9, 0, 0});
    prompter.expect(kFirstQuestion, Answer::Yes);
    EXPECT_EQ(purge(std::nullopt).status, PurgeStatus::Declined);
    EXPECT_EQ(calendarTitle, "Delete Date Selection");
    EXPECT_EQ(preset, (Date{2019, 2, 1}));
    EXPECT_TRUE(statuses.empty());
}

TEST_F(PurgeTest, EveryNoLeavesTheFilesAlone) {
    addInvoice("1", "1", Date{2010, 1, 1}, Cents(0));
    prompter.expect(kFirstQuestion, Answer::No);
    EXPECT_EQ(purge(Date{2020, 1, 1}).status, PurgeStatus::Declined);
    EXPECT_TRUE(calendarTitle.empty()) << "no calendar after No";

    session.company.setText(Company::DateFormatCode, "D");
    ApplyCompanySettings(session);
    prompter.expect(kFirstQuestion, Answer::Yes);
    prompter.expect("All paid records older than 15/03/2020 will be removed. Continue?",
                    Answer::No);
    EXPECT_EQ(purge(Date{2020, 3, 15}).status, PurgeStatus::Declined);
    EXPECT_EQ(count(data::FileKind::Invoice), 1);
}

TEST_F(PurgeTest, NothingOldGivesZeroRemoved) {
    addInvoice("1", "1", Date{2023, 1, 1}, Cents(0));
    expectQuestions("01/01/2020");
    prompter.expect("0 paid records older than 01/01/2020 were removed.");
    EXPECT_EQ(purge(Date{2020, 1, 1}).removed, 0);
    EXPECT_EQ(statuses.back(), "0 records were removed.");
}

}  // namespace
}  // namespace invarro::app
