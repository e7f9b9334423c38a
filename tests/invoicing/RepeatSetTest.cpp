#include "invoicing/RepeatSet.h"

#include <gtest/gtest.h>

#include "EditorFixture.h"
#include "data/Ansi.h"
#include "data/Posting.h"
#include "data/Texts.h"
#include "storage/EngineTesting.h"

namespace invarro::invoicing {
namespace {

using data::Company;
using data::Customer;
using data::Date;
using data::Invoice;
using data::InvoiceLine;
using data::Money;

TEST(RepeatSchedule, MonthsKeepTheDayCutToTheMonthAndTheCutDayCarriesOn) {
    auto feb = AddMonths(Date{2024, 1, 31}, 1);
    ASSERT_TRUE(feb);
    EXPECT_EQ(*feb, (Date{2024, 2, 29}));
    EXPECT_EQ(*AddMonths(*feb, 1), (Date{2024, 3, 29}));
    EXPECT_EQ(*AddMonths(Date{2023, 1, 31}, 1), (Date{2023, 2, 28}));
    EXPECT_EQ(*AddMonths(Date{2100, 1, 31}, 1), (Date{2100, 2, 28}));  // not a leap year
    EXPECT_EQ(*AddMonths(Date{2000, 1, 31}, 1), (Date{2000, 2, 29}));  // a leap year
    EXPECT_EQ(*AddMonths(Date{2024, 11, 30}, 3), (Date{2025, 2, 28}));
    EXPECT_EQ(*AddMonths(Date{2024, 12, 15}, 1), (Date{2025, 1, 15}));
    EXPECT_EQ(*AddMonths(Date{2024, 5, 31}, 24), (Date{2026, 5, 31}));
    EXPECT_EQ(*AddMonths(Date{2024, 1, 10}, 999), (Date{2107, 4, 10}));
    EXPECT_FALSE(AddMonths(Date{9999, 12, 1}, 1));
}

TEST(RepeatSchedule, DaysCountAcrossMonthsYearsAndLeapDays) {
    EXPECT_EQ(*NextCreationDate(Date{2024, 12, 25}, RepeatUnit::Days, 14), (Date{2025, 1, 8}));
    EXPECT_EQ(*NextCreationDate(Date{2024, 6, 1}, RepeatUnit::Days, 14), (Date{2024, 6, 15}));
    EXPECT_EQ(*NextCreationDate(Date{2024, 2, 28}, RepeatUnit::Days, 1), (Date{2024, 2, 29}));
    EXPECT_EQ(*NextCreationDate(Date{2100, 2, 28}, RepeatUnit::Days, 1), (Date{2100, 3, 1}));
    EXPECT_EQ(*NextCreationDate(Date{2024, 1, 31}, RepeatUnit::Months, 1), (Date{2024, 2, 29}));
}

TEST(RepeatSchedule, NextDueIsStoredMonthFirstAndNumbersAreBuiltFromTheTrimmedMaster) {
    EXPECT_EQ(StoredNextDue(Date{2024, 3, 5}), "03/05/2024");
    EXPECT_EQ(*ParseNextDue("03/05/2024"), (Date{2024, 3, 5}));
    EXPECT_FALSE(ParseNextDue("31/01/2024"));
    EXPECT_EQ(GeneratedNumber(" 12345 ", 3), "12345G3");
    EXPECT_EQ(StoredCount(""), 0);
    EXPECT_EQ(StoredCount("x"), 0);
    EXPECT_EQ(StoredCount(" 12 "), 12);
}

class RepeatTest : public EditorTest {
  protected:
    // A line-item invoice of the given lines for customer custRec, saved as the editor saves.
    int32_t addInvoice(const std::string& number, std::vector<LineRow> rows,
                       const std::string& date = "03/01/2024") {
        InvoiceEditor ed = newEditor();
        ed.entry.number = number;
        ed.entry.date = date;
        int r = 1;
        for (LineRow& row : rows)
            setRow(ed, r++, row.code, row.quantity, row.description, row.price, row.taxable);
        return saveNew(ed).recNo;
    }
    // Turns invoice recNo into a master with the given schedule.
    SetupResult makeMaster(int32_t recNo, RepeatUnit unit, const std::string& every,
                           const std::string& next,
                           data::DateOrder order = data::DateOrder::MonthFirst) {
        data::InvoiceRecord rec = invoice(recNo);
        RepeatSetupEntry e = SetupEntryFor(rec, order);
        e.generate = true;
        e.unit = unit;
        e.every = every;
        e.nextDate = next;
        EXPECT_EQ(CheckSetupEntry(e, order, prompter), SetupFocus::None);
        SaveFiles f = files();
        return ApplyRepeatSetup(f, recNo, rec, e, order, prompter);
    }
    int32_t findNumber(const std::string& number) {
        data::InvoiceRecord probe;
        probe.setText(Invoice::InvNo, number);
        auto found = data::FindAtOrAfter<Invoice>(invoices, 1, probe);
        if (!found || data::TrimmedText(found->record.text(Invoice::InvNo)) != number) return 0;
        return found->recNo;
    }
    GenerationOutcome generate(const Date& through, const std::string& date) {
        auto due = FindDueMasters(invoices, through, data::DateOrder::MonthFirst);
        SaveFiles f = files();
        return GenerateRepeatInvoices(f, due, GenerationRun{date, "March service"},
                                      data::DateOrder::MonthFirst, prompter);
    }
};

TEST_F(RepeatTest, SetupRefusesPaidOtherTypesAndLongNumbers) {
    data::InvoiceRecord r = data::NewRecord<Invoice>();
    r.setText(Invoice::InvNo, "1001");
    r.setText(Invoice::TransType, "I");
    r.setText(Invoice::Paid, "5.00");
    prompter.expect(std::string(kPaymentActivity));
    EXPECT_FALSE(CheckRepeatSetup(r, prompter));
    r.setText(Invoice::Paid, "0.00");
    r.setText(Invoice::TransType, "Q");
    prompter.expect(std::string(kWrongType));
    EXPECT_FALSE(CheckRepeatSetup(r, prompter));
    r.setText(Invoice::TransType, "R");
    r.setText(Invoice::InvNo, "100001");
    prompter.expect(std::string(kNumberTooLong));
    EXPECT_FALSE(CheckRepeatSetup(r, prompter));
    r.setText(Invoice::InvNo, "10001");
    EXPECT_TRUE(CheckRepeatSetup(r, prompter));
    EXPECT_TRUE(prompter.done());
}

TEST_F(RepeatTest, SetupChecksTheIntervalAndTheDateInOrder) {
    RepeatSetupEntry e;
    e.generate = true;
    e.nextDate = "03/15/2024";
    e.every = " ";
    prompter.expect(std::string(kNeedInterval));
    EXPECT_EQ(CheckSetupEntry(e, data::DateOrder::MonthFirst, prompter), SetupFocus::Every);
    e.every = "x1";
    prompter.expect(std::string(kIntervalNotNumber));
    EXPECT_EQ(CheckSetupEntry(e, data::DateOrder::MonthFirst, prompter), SetupFocus::Every);
    e.every = "0";
    prompter.expect(std::string(kNeedInterval));
    EXPECT_EQ(CheckSetupEntry(e, data::DateOrder::MonthFirst, prompter), SetupFocus::Every);
    e.every = "2";
    e.generate = false;  // the box must be ticked
    prompter.expect(std::string(kNeedInterval));
    EXPECT_EQ(CheckSetupEntry(e, data::DateOrder::MonthFirst, prompter), SetupFocus::Every);
    e.generate = true;
    e.nextDate = "3/15/2024";  // shorter than 10 characters
    prompter.expect(std::string(kInvalidStartDate));
    EXPECT_EQ(CheckSetupEntry(e, data::DateOrder::MonthFirst, prompter), SetupFocus::NextDate);
    e.nextDate = "02/30/2024";
    prompter.expect(std::string(kInvalidStartDate));
    EXPECT_EQ(CheckSetupEntry(e, data::DateOrder::MonthFirst, prompter), SetupFocus::NextDate);
    e.nextDate = "02/29/2024";
    EXPECT_EQ(CheckSetupEntry(e, data::DateOrder::MonthFirst, prompter), SetupFocus::None);
    EXPECT_TRUE(prompter.done());
}

TEST_F(RepeatTest, AnOpenInvoiceOf250BecomesAMasterAndStopsBeingAReceivable) {
    const int32_t rec = addInvoice("1001", {{"SVC", "1", "Monthly service", "250.00", "N", ""}});
    const Money balanceBefore = customer(custRec).money(Customer::Balance);
    const Money arBefore = storedCompany().money(Company::ARBalance);
    const Money bucketBefore = customer(custRec).money(Customer::Age0to30);

    SetupResult s = makeMaster(rec, RepeatUnit::Months, "1", "04/01/2024");
    EXPECT_TRUE(s.converted);
    EXPECT_EQ(s.lines, 1);
    data::InvoiceRecord m = invoice(rec);
    EXPECT_EQ(m.text(Invoice::TransType), "R");
    EXPECT_EQ(m.text(Invoice::RepeatUnit), "M");
    EXPECT_EQ(m.text(Invoice::RepeatEvery), "1");
    EXPECT_EQ(m.text(Invoice::RepeatCreated), "0");
    EXPECT_EQ(m.text(Invoice::NextDue), "04/01/2024");
    EXPECT_EQ(m.text(Invoice::BalanceDue), "0.00");
    EXPECT_EQ(m.money(Invoice::Total), Money::FromCents(25000));
    EXPECT_EQ(customer(custRec).money(Customer::Balance), balanceBefore - Money::FromCents(25000));
    EXPECT_EQ(customer(custRec).money(Customer::Age0to30), bucketBefore - Money::FromCents(25000));
    EXPECT_EQ(storedCompany().money(Company::ARBalance), arBefore - Money::FromCents(25000));
    EXPECT_EQ(company.money(Company::ARBalance), arBefore - Money::FromCents(25000));
    for (auto& [n, line] : StoredLines(lines, "1001"))
        EXPECT_EQ(line.text(InvoiceLine::LineStyle), "R");
    // Key 5 now files it under "R".
    std::string key = "R1001";
    storage::FindKeyAtOrAfter(invoices, 5, key);
    EXPECT_EQ(data::TrimmedText(key), "R1001");
    checkKeys();

    // Setting up the master again changes only its schedule.
    SetupResult again = makeMaster(rec, RepeatUnit::Days, "14", "04/02/2024");
    EXPECT_FALSE(again.converted);
    EXPECT_EQ(invoice(rec).text(Invoice::RepeatUnit), "D");
    EXPECT_EQ(customer(custRec).money(Customer::Balance), balanceBefore - Money::FromCents(25000));
}

// Before an invoice becomes a master the user hears what happens: its amount leaves the
// receivables, and when its first invoice is generated.
TEST_F(RepeatTest, TheSetupSaysWhatHappensBeforeItIsDone) {
    const int32_t rec = addInvoice("1001", {{"SVC", "1", "Monthly service", "250.00", "N", ""}});
    data::InvoiceRecord inv = invoice(rec);
    RepeatSetupEntry e = SetupEntryFor(inv, data::DateOrder::MonthFirst);
    e.generate = true;
    e.nextDate = "04/01/2024";
    const SetupNotice ahead =
        SetupNoticeFor(inv, e, data::DateOrder::MonthFirst, Date{2024, 3, 15});
    EXPECT_TRUE(ahead.converts);
    EXPECT_FALSE(ahead.dueNow);
    EXPECT_EQ(ahead.firstNumber, "1001G1");
    for (const char* said : {"250.00", "no longer a receivable", "1001G1", "04/01/2024"})
        EXPECT_NE(ahead.text.find(said), std::string::npos) << said << " in " << ahead.text;
    // A future first invoice: Yes sets up, No changes nothing.
    prompter.expect(ahead.text, platform::Answer::No);
    EXPECT_EQ(ConfirmRepeatSetup(ahead, prompter), SetupChoice::Cancel);
    prompter.expect(ahead.text, platform::Answer::Yes);
    EXPECT_EQ(ConfirmRepeatSetup(ahead, prompter), SetupChoice::SetUp);

    // Due today or earlier: it can be generated at once.
    for (const Date today : {Date{2024, 4, 1}, Date{2024, 5, 2}}) {
        const SetupNotice due = SetupNoticeFor(inv, e, data::DateOrder::MonthFirst, today);
        EXPECT_TRUE(due.dueNow);
        EXPECT_NE(due.text.find("Generate it now"), std::string::npos) << due.text;
    }
    const SetupNotice due = SetupNoticeFor(inv, e, data::DateOrder::MonthFirst, Date{2024, 4, 1});
    prompter.expect(due.text, platform::Answer::Yes);
    EXPECT_EQ(ConfirmRepeatSetup(due, prompter), SetupChoice::SetUpAndGenerate);
    prompter.expect(due.text, platform::Answer::No);
    EXPECT_EQ(ConfirmRepeatSetup(due, prompter), SetupChoice::SetUp);
    prompter.expect(due.text, platform::Answer::Cancel);
    EXPECT_EQ(ConfirmRepeatSetup(due, prompter), SetupChoice::Cancel);
    EXPECT_TRUE(prompter.done());
    EXPECT_EQ(invoice(rec), inv) << "asking changes nothing";

    // A master whose schedule changes is no news: no question.
    makeMaster(rec, RepeatUnit::Months, "1", "04/01/2024");
    const SetupNotice again =
        SetupNoticeFor(invoice(rec), e, data::DateOrder::MonthFirst, Date{2024, 4, 1});
    EXPECT_FALSE(again.converts);
    EXPECT_EQ(ConfirmRepeatSetup(again, prompter), SetupChoice::SetUp);
}

// The first invoice generated with the set-up takes the invoice's place among the
// receivables in the same posting: the customer's balance and the receivables end where
// they began, and the master's schedule moves on.
TEST_F(RepeatTest, TheFirstInvoiceGeneratedWithTheSetupTakesTheInvoicesPlace) {
    const int32_t rec = addInvoice("1001", {{"SVC", "1", "Monthly service", "250.00", "N", ""}});
    const Money balance = customer(custRec).money(Customer::Balance);
    const Money ar = storedCompany().money(Company::ARBalance);
    data::InvoiceRecord inv = invoice(rec);
    RepeatSetupEntry e = SetupEntryFor(inv, data::DateOrder::MonthFirst);
    e.generate = true;
    e.nextDate = "03/01/2024";
    SaveFiles f = files();
    const SetupResult s =
        ApplyRepeatSetupAndGenerate(f, rec, inv, e, data::DateOrder::MonthFirst, prompter,
                                    GenerationRun{"03/15/2024", "Service"});
    EXPECT_EQ(s.generated, "1001G1");
    EXPECT_EQ(s.record.text(Invoice::NextDue), "04/01/2024");
    EXPECT_EQ(s.record.text(Invoice::RepeatCreated), "1");
    const int32_t g = findNumber("1001G1");
    ASSERT_NE(g, 0);
    EXPECT_EQ(invoice(g).text(Invoice::TransType), "G");
    EXPECT_EQ(invoice(g).money(Invoice::BalanceDue), Money::FromCents(25000));
    EXPECT_EQ(invoice(g).text(Invoice::InvDate), "03/15/2024");
    EXPECT_EQ(StoredLines(lines, "1001G1").size(), 1u);
    EXPECT_EQ(customer(custRec).money(Customer::Balance), balance);
    EXPECT_EQ(storedCompany().money(Company::ARBalance), ar);
    EXPECT_EQ(company.money(Company::ARBalance), ar);
    checkKeys();
}

// When the first invoice cannot be generated the invoice stays an invoice: nothing of the
// set-up is kept.
TEST_F(RepeatTest, ASetupWhoseFirstInvoiceCannotBeWrittenChangesNothing) {
    const int32_t rec = addInvoice("1001", {{"SVC", "1", "Monthly service", "250.00", "N", ""}});
    // The number of the first invoice is taken already.
    addInvoice("1001G1", {{"X", "1", "Typed by hand", "5.00", "N", ""}});
    const data::InvoiceRecord inv = invoice(rec);
    const Money balance = customer(custRec).money(Customer::Balance);
    const Money ar = storedCompany().money(Company::ARBalance);
    RepeatSetupEntry e = SetupEntryFor(inv, data::DateOrder::MonthFirst);
    e.generate = true;
    SaveFiles f = files();
    prompter.expect("Master 1001 was skipped: invoice number 1001G1 already exists.");
    EXPECT_THROW(ApplyRepeatSetupAndGenerate(f, rec, inv, e, data::DateOrder::MonthFirst, prompter,
                                             GenerationRun{"03/15/2024", "Service"}),
                 InvoiceError);
    EXPECT_TRUE(prompter.done());
    EXPECT_EQ(invoice(rec), inv);
    for (auto& [n, line] : StoredLines(lines, "1001"))
        EXPECT_EQ(line.text(InvoiceLine::LineStyle), "P");
    EXPECT_EQ(customer(custRec).money(Customer::Balance), balance);
    EXPECT_EQ(storedCompany().money(Company::ARBalance), ar);
    EXPECT_EQ(company.money(Company::ARBalance), ar);
}

// A set-up that meets a lock (another program holding a line or the customer) runs again
// whole without asking: the balances move once, and the master and every line are set.
TEST_F(RepeatTest, ASetupThatMeetsALockRunsAgainWholeAndMovesTheBalancesOnce) {
    const int32_t rec = addInvoice("1001", {{"SVC", "1", "Monthly service", "250.00", "N", ""},
                                            {"SUP", "2", "Support", "25.00", "N", ""}});
    const Money balance = customer(custRec).money(Customer::Balance);
    const Money ar = storedCompany().money(Company::ARBalance);
    // The first line meets the lock after the master, the customer and the company were
    // written in the first attempt.
    storage::InjectFault(storage::EngineOp::PutRecord, 4, 10306);
    const int64_t reruns = data::PostingReruns();
    const SetupResult s = makeMaster(rec, RepeatUnit::Months, "1", "04/01/2024");
    EXPECT_EQ(data::PostingReruns() - reruns, 1);
    EXPECT_TRUE(s.converted);
    EXPECT_EQ(s.lines, 2);
    EXPECT_EQ(invoice(rec).text(Invoice::TransType), "R");
    for (auto& [n, line] : StoredLines(lines, "1001"))
        EXPECT_EQ(line.text(InvoiceLine::LineStyle), "R");
    const Money open = Money::FromCents(30000);
    EXPECT_EQ(customer(custRec).money(Customer::Balance), balance - open);
    EXPECT_EQ(storedCompany().money(Company::ARBalance), ar - open);
    EXPECT_EQ(company.money(Company::ARBalance), ar - open);

    // A change of the master's schedule that meets a lock is written once as well.
    for (int i = 0; i < 5; ++i)
        storage::InjectFault(storage::EngineOp::PutRecord, 1, 10306);
    prompter.expect(std::string(data::kCannotGetLock), platform::Answer::No);
    const SetupResult weekly = makeMaster(rec, RepeatUnit::Days, "7", "04/08/2024");
    EXPECT_TRUE(prompter.done());
    EXPECT_FALSE(weekly.converted);
    EXPECT_EQ(invoice(rec).text(Invoice::RepeatUnit), "D");
    EXPECT_EQ(invoice(rec).text(Invoice::NextDue), "04/08/2024");
    EXPECT_EQ(customer(custRec).money(Customer::Balance), balance - open);
    checkKeys();
}

TEST_F(RepeatTest, ADayFirstCompanyShowsItsOrderButStoresTheNextDateMonthFirst) {
    const int32_t rec = addInvoice("1001", {{"SVC", "1", "Service", "10.00", "N", ""}});
    makeMaster(rec, RepeatUnit::Months, "1", "31/01/2024", data::DateOrder::DayFirst);
    EXPECT_EQ(invoice(rec).text(Invoice::NextDue), "01/31/2024");
    RepeatSetupEntry shown = SetupEntryFor(invoice(rec), data::DateOrder::DayFirst);
    EXPECT_EQ(shown.nextDate, "31/01/2024");
    EXPECT_FALSE(shown.boxEnabled);
    EXPECT_TRUE(shown.generate);
    auto due = FindDueMasters(invoices, Date{2024, 2, 1}, data::DateOrder::DayFirst);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].nextDue, "31/01/2024");
}

TEST_F(RepeatTest, TwoRunsGenerateNumberedCopiesAdvanceTheScheduleAndChargeTheCustomer) {
    const int32_t m1 = addInvoice("1001", {{"SVC", "1", "Monthly service", "100.00", "Y", ""},
                                           {"", " ", "Thank you", "", " ", "0.00"}});
    const int32_t m2 = addInvoice("1002", {{"MOW", "2", "Mowing", "20.00", "N", ""}});
    // Lines of other invoices whose numbers begin with the master's are never copied.
    addInvoice("10010", {{"X", "1", "Not the master's line", "5.00", "N", ""}});
    makeMaster(m1, RepeatUnit::Months, "1", "01/31/2024");
    makeMaster(m2, RepeatUnit::Days, "14", "03/10/2024");
    const Money balance = customer(custRec).money(Customer::Balance);
    const Money ar = storedCompany().money(Company::ARBalance);

    auto due = FindDueMasters(invoices, Date{2024, 3, 15}, data::DateOrder::MonthFirst);
    ASSERT_EQ(due.size(), 2u);
    EXPECT_EQ(DueSummary(due), "There are 2 invoices selected totaling 147.00.");
    EXPECT_EQ(DueListLine(due[0]), "1001      ACorp            107.00 01/31/2024 C100          0");
    EXPECT_TRUE(FindDueMasters(invoices, Date{2024, 1, 30}, data::DateOrder::MonthFirst).empty());

    GenerationOutcome run1 = generate(Date{2024, 3, 15}, "03/15/2024");
    EXPECT_EQ(run1.message, "2 invoices were generated. 1 Monthly Setups and 1 Daily Setups.");
    ASSERT_EQ(run1.written.size(), 2u);
    EXPECT_EQ(run1.written[0].number, "1001G1");
    EXPECT_EQ(run1.written[1].number, "1002G1");

    const int32_t g = findNumber("1001G1");
    ASSERT_NE(g, 0);
    data::InvoiceRecord h = invoice(g);
    data::InvoiceRecord master = invoice(m1);
    EXPECT_EQ(h.text(Invoice::TransType), "G");
    EXPECT_EQ(h.text(Invoice::InvDate), "03/15/2024");
    EXPECT_EQ(h.text(Invoice::InvMonth), "03");
    EXPECT_EQ(h.text(Invoice::InvDay), "15");
    EXPECT_EQ(h.text(Invoice::InvYear), "2024");
    EXPECT_EQ(h.text(Invoice::SortDate), "2024/03/15");
    EXPECT_EQ(h.text(Invoice::InvNotes), "March service");
    EXPECT_EQ(h.text(Invoice::StmntNote), "March service");
    EXPECT_EQ(h.text(Invoice::PrintedFlag), "N");
    EXPECT_EQ(h.text(Invoice::PaidFlag), " ");
    EXPECT_EQ(h.text(Invoice::BalanceDue), "107.00");
    EXPECT_EQ(h.text(Invoice::Total), "107.00");
    EXPECT_EQ(h.text(Invoice::Tax), "7.00");
    EXPECT_EQ(h.text(Invoice::CustNo), "C100");
    EXPECT_EQ(h.text(Invoice::Terms), master.text(Invoice::Terms));
    EXPECT_EQ(h.text(Invoice::TaxRate), master.text(Invoice::TaxRate));
    EXPECT_EQ(h.text(Invoice::InvoiceStyle), "P");

    auto copied = StoredLines(lines, "1001G1");
    ASSERT_EQ(copied.size(), 2u);
    const data::InvoiceLineRecord& l1 = copied[0].second;
    EXPECT_EQ(l1.text(InvoiceLine::LineStyle), "G");
    EXPECT_EQ(l1.text(InvoiceLine::LineNo), "01");
    EXPECT_EQ(l1.text(InvoiceLine::LineDate), "2024/03/15");
    EXPECT_EQ(l1.text(InvoiceLine::LineKey), "0001001G101");
    EXPECT_EQ(l1.text(InvoiceLine::LineText),
              StoredLines(lines, "1001")[0].second.text(InvoiceLine::LineText));
    EXPECT_EQ(copied[1].second.text(InvoiceLine::LineNo), "02");
    EXPECT_EQ(StoredLines(lines, "1002G1").size(), 1u);

    master = invoice(m1);
    EXPECT_EQ(master.text(Invoice::NextDue), "02/29/2024");
    EXPECT_EQ(master.text(Invoice::RepeatCreated), "1");
    EXPECT_EQ(invoice(m2).text(Invoice::NextDue), "03/24/2024");
    const Money both = Money::FromCents(10700 + 4000);
    data::CustomerRecord c = customer(custRec);
    EXPECT_EQ(c.money(Customer::Balance), balance + both);
    EXPECT_EQ(c.text(Customer::LastInvNo), "1002G1");
    EXPECT_EQ(storedCompany().money(Company::ARBalance), ar + both);
    EXPECT_EQ(storedCompany().text(Company::LastRepeatRunDate), "03/15/2024");
    EXPECT_EQ(company.text(Company::LastRepeatRunDate), "03/15/2024");

    // The monthly master is still due (02/29): the second run makes its second copy.
    GenerationOutcome run2 = generate(Date{2024, 3, 15}, "03/16/2024");
    EXPECT_EQ(run2.message, "1 invoices were generated. 1 Monthly Setups and 0 Daily Setups.");
    EXPECT_EQ(invoice(m1).text(Invoice::NextDue), "03/29/2024");
    EXPECT_EQ(invoice(m1).text(Invoice::RepeatCreated), "2");
    EXPECT_EQ(StoredLines(lines, "1001G2").size(), 2u);
    EXPECT_EQ(StoredLines(lines, "1001").size(), 2u);
    EXPECT_EQ(customer(custRec).money(Customer::Balance), balance + both + Money::FromCents(10700));
    EXPECT_TRUE(prompter.done());
    checkKeys();
}

TEST_F(RepeatTest, AMemoMasterCopiesItsMemo) {
    InvoiceEditor ed = newEditor();
    ed.entry.number = "2001";
    ed.entry.date = "03/01/2024";
    ed.entry.memo = true;
    ed.entry.memoDescription = "Retainer";
    ed.entry.memoLines = {"Monthly retainer", "as agreed"};
    ed.entry.net = "500.00";
    ed.entry.tax = "0.00";
    const int32_t rec = saveNew(ed).recNo;
    makeMaster(rec, RepeatUnit::Months, "1", "03/01/2024");
    generate(Date{2024, 3, 15}, "03/15/2024");
    auto memo = StoredMemo(memos, "2001G1");
    ASSERT_TRUE(memo);
    EXPECT_EQ(data::MemoLines(memo->second),
              (std::vector<std::string>{"Monthly retainer", "as agreed"}));
    ASSERT_EQ(StoredLines(lines, "2001G1").size(), 1u);
    EXPECT_EQ(StoredLines(lines, "2001G1")[0].second.text(InvoiceLine::ProdCode), "Memo");
}

TEST_F(RepeatTest, AMasterAtItsLastNumberOrWithItsNumberTakenIsSkippedWithNothingWritten) {
    const int32_t full = addInvoice("12345", {{"A", "1", "Daily", "1.00", "N", ""}});
    const int32_t taken = addInvoice("1002", {{"B", "1", "Weekly", "2.00", "N", ""}});
    makeMaster(full, RepeatUnit::Days, "1", "03/01/2024");
    makeMaster(taken, RepeatUnit::Days, "7", "03/01/2024");
    data::InvoiceRecord m = invoice(full);
    data::InvoiceRecord at999 = m;
    at999.setText(Invoice::RepeatCreated, "999");
    ASSERT_TRUE(data::ChangeBusinessRecord(invoices, full, m, at999, prompter).ok());
    // An invoice already carries the number the second master would generate.
    addInvoice("1002G1", {{"C", "1", "Renamed", "3.00", "N", ""}});

    const int32_t used = storage::UsedRecordCount(invoices);
    const int32_t usedLines = storage::UsedRecordCount(lines);
    const Money balance = customer(custRec).money(Customer::Balance);
    const Money ar = storedCompany().money(Company::ARBalance);
    prompter.expect("Master 1002 was skipped: invoice number 1002G1 already exists.");
    prompter.expect(
        "Master 12345 was skipped: it has generated 999 invoices and its next number 12345G1000 "
        "would not fit the invoice number.");
    GenerationOutcome out = generate(Date{2024, 3, 15}, "03/15/2024");
    EXPECT_TRUE(prompter.done());
    EXPECT_EQ(out.message, "0 invoices were generated. 0 Monthly Setups and 0 Daily Setups.");
    EXPECT_EQ(storage::UsedRecordCount(invoices), used);
    EXPECT_EQ(storage::UsedRecordCount(lines), usedLines);
    EXPECT_EQ(invoice(full).text(Invoice::NextDue), "03/01/2024");
    EXPECT_EQ(invoice(full).text(Invoice::RepeatCreated), "999");
    EXPECT_EQ(invoice(taken).text(Invoice::RepeatCreated), "0");
    EXPECT_EQ(customer(custRec).money(Customer::Balance), balance);
    EXPECT_EQ(storedCompany().money(Company::ARBalance), ar);
}

TEST_F(RepeatTest, AHeaderThatCannotBeWrittenLeavesTheScheduleAndTheBalancesAlone) {
    const int32_t rec = addInvoice("1001", {{"A", "1", "Service", "10.00", "N", ""}});
    makeMaster(rec, RepeatUnit::Months, "1", "03/01/2024");
    auto due = FindDueMasters(invoices, Date{2024, 3, 15}, data::DateOrder::MonthFirst);
    const data::InvoiceRecord before = invoice(rec);
    const Money balance = customer(custRec).money(Customer::Balance);
    const Money ar = storedCompany().money(Company::ARBalance);
    // The invoice file opened for reading only: every add fails.
    storage::CloseFileblock(invoices);
    invoices = storage::OpenFileblock(name(data::FileKind::Invoice), true);
    ASSERT_TRUE(storage::EngineOk);
    prompter.expect(std::string(data::kCannotGetLock), platform::Answer::Yes);
    prompter.expect(std::string(kHeaderAddFailed));
    SaveFiles f = files();
    GenerationOutcome out = GenerateRepeatInvoices(f, due, GenerationRun{"03/15/2024", "x"},
                                                   data::DateOrder::MonthFirst, prompter);
    EXPECT_TRUE(prompter.done());
    EXPECT_TRUE(out.written.empty());
    EXPECT_EQ(invoice(rec), before);
    EXPECT_EQ(customer(custRec).money(Customer::Balance), balance);
    EXPECT_EQ(storedCompany().money(Company::ARBalance), ar);
}

}  // namespace
}  // namespace invarro::invoicing
