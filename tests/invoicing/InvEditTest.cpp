// The invoice editor: new and edited invoices saved into every record they touch, the
// checks on OK in their order, numbering, and the saved-lines files.

#include <gtest/gtest.h>

#include "data/Files.h"
#include "data/SideFiles.h"
#include "data/Texts.h"
#include "invoicing/EditorFixture.h"
#include "invoicing/TermSet.h"
#include "storage/EngineTesting.h"

namespace invarro::invoicing {
namespace {

using data::Company;
using data::Customer;
using data::Invoice;
using data::InvoiceLine;
using data::Money;
using platform::Answer;

Money M(int64_t cents) {
    return Money::FromCents(cents);
}

CheckContext Ctx(storage::Fileblock* invoices = nullptr, int32_t editedRecNo = 0) {
    CheckContext c;
    c.invoices = invoices;
    c.editedRecNo = editedRecNo;
    return c;
}

// ------------------------------------------------------------------ a new invoice

TEST_F(EditorTest, NewLineItemInvoiceWritesEveryRecordItTouches) {
    InvoiceEditor ed = newEditor();
    EXPECT_EQ(ed.caption(), "Add Invoice - Company: Northside Supply - #1");
    EXPECT_EQ(ed.entry.number, "1051");
    EXPECT_EQ(ed.entry.date, "03/15/2024");
    EXPECT_EQ(ed.entry.keyCode, "None");
    EXPECT_EQ(ed.entry.terms, "Net 30 Days");
    EXPECT_EQ(ed.entry.taxRate, "7");
    EXPECT_EQ(ed.entry.grid[1].code, "Dbl-Clk Me");
    EXPECT_EQ(ed.entry.grid[2].quantity, "1.00");
    ed.entry.number = "a1051";
    ed.entry.number = "1051";
    ed.entry.notes = "PO 7781";
    ed.entry.stmntNote = "Thanks";
    ed.entry.keyCode = "WEB";
    setRow(ed, 1, "PAPER", "3", "Copy paper, case", "0.145");
    setRow(ed, 2, "TONER", "2", "Toner cartridge", "49.50", "N");
    ed.makeComment(3);
    ed.entry.grid[3].description = "Delivered to dock 4";
    ed.entry.paid = "10.00";
    ed.recalc();
    EXPECT_EQ(ed.entry.net, "99.44");
    EXPECT_EQ(ed.entry.tax, "0.03");
    ASSERT_FALSE(CheckInvoice(ed, Ctx(invoices), prompter));

    SaveResult res = saveNew(ed);
    EXPECT_EQ(res.lines, 3);
    EXPECT_EQ(res.status, "Added invoice 1051 containing 3 line item(s).");

    data::InvoiceRecord h = invoice(res.recNo);
    EXPECT_EQ(h.text(Invoice::InvNo), "1051");
    EXPECT_EQ(h.text(Invoice::TransType), "I");
    EXPECT_EQ(h.text(Invoice::InvDate), "03/15/2024");
    EXPECT_EQ(h.text(Invoice::InvMonth), "03");
    EXPECT_EQ(h.text(Invoice::InvDay), "15");
    EXPECT_EQ(h.text(Invoice::InvYear), "2024");
    EXPECT_EQ(h.text(Invoice::SortDate), "2024/03/15");
    EXPECT_EQ(h.text(Invoice::InvNotes), "PO 7781");
    EXPECT_EQ(h.text(Invoice::StmntNote), "Thanks");
    EXPECT_EQ(h.text(Invoice::Terms), "Net 30 Days");
    EXPECT_EQ(h.text(Invoice::KeyCode), "WEB");
    EXPECT_EQ(h.text(Invoice::CustNo), "C100");
    EXPECT_EQ(h.text(Invoice::ShortName), "ACorp");
    EXPECT_EQ(h.text(Invoice::CompanyNo), "1");
    EXPECT_EQ(h.text(Invoice::InvoiceStyle), "P");
    EXPECT_EQ(h.text(Invoice::Net), "99.44");
    EXPECT_EQ(h.text(Invoice::Tax), "0.03");
    EXPECT_EQ(h.text(Invoice::Total), "99.47");
    EXPECT_EQ(h.text(Invoice::Paid), "10.00");
    EXPECT_EQ(h.text(Invoice::BalanceDue), "89.47");
    EXPECT_EQ(h.text(Invoice::TaxRate), "7");
    EXPECT_EQ(h.text(Invoice::PaidFlag), "");
    EXPECT_EQ(h.text(Invoice::PaidDate), "");
    EXPECT_EQ(h.text(Invoice::PrintedFlag), "N");

    auto stored = StoredLines(lines, "1051");
    ASSERT_EQ(stored.size(), 3u);
    const data::InvoiceLineRecord& l1 = stored[0].second;
    EXPECT_EQ(l1.text(InvoiceLine::LineText),
              "3         Copy paper, case                0.145     Y0.44      ");
    EXPECT_EQ(l1.text(InvoiceLine::LineNo), "01");
    EXPECT_EQ(l1.text(InvoiceLine::LineKey), "00000105101");
    EXPECT_EQ(l1.text(InvoiceLine::LineStyle), "P");
    EXPECT_EQ(l1.text(InvoiceLine::LineDate), "2024/03/15");
    EXPECT_EQ(l1.text(InvoiceLine::ProdCode), "PAPER");
    EXPECT_EQ(l1.text(InvoiceLine::CustNo), "C100");
    EXPECT_EQ(l1.text(InvoiceLine::ShortName), "ACorp");
    EXPECT_EQ(stored[1].second.text(InvoiceLine::LineText),
              "2         Toner cartridge                 49.50     N99.00     ");
    EXPECT_EQ(stored[2].second.text(InvoiceLine::LineText).substr(0, 42),
              "          Delivered to dock 4             ");
    EXPECT_EQ(stored[2].second.text(InvoiceLine::LineKey), "00000105103");

    data::CustomerRecord c = customer(custRec);
    EXPECT_EQ(c.text(Customer::Balance), "589.47");
    EXPECT_EQ(c.text(Customer::Age0to30), "589.47");
    EXPECT_EQ(c.text(Customer::LastInvNo), "1051");
    EXPECT_EQ(c.text(Customer::LastPayDate), "03/15/2024");

    data::CompanyRecord co = storedCompany();
    EXPECT_EQ(co.text(Company::ARBalance), "1089.47");
    EXPECT_EQ(co.text(Company::NextInvNo), "1052");
    EXPECT_EQ(co.text(Company::LastInvNo), "1051");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(co.data()) + 1575, 4), "1051");
    EXPECT_EQ(company.text(Company::NextInvNo), "1052");
    EXPECT_EQ(company.text(Company::ARBalance), "1089.47");
    // The next new invoice starts on the date of this one.
    EXPECT_EQ(InvoiceEditor::ForNew(company, data::DateOrder::MonthFirst, {2024, 4, 1}).entry.date,
              "03/15/2024");
    checkKeys();
}

TEST_F(EditorTest, PaidInFullIsMarkedPaidOnTheInvoiceDate) {
    InvoiceEditor ed = newEditor();
    ed.entry.date = "03/01/2024";
    setRow(ed, 1, "A", "1", "Service", "100", "N");
    ed.entry.paid = "100.00";
    SaveResult res = saveNew(ed);
    data::InvoiceRecord h = invoice(res.recNo);
    EXPECT_EQ(h.text(Invoice::BalanceDue), "0.00");
    EXPECT_EQ(h.text(Invoice::PaidFlag), "P");
    EXPECT_EQ(h.text(Invoice::PaidDate), "2024/03/01");
    EXPECT_EQ(customer(custRec).text(Customer::Balance), "500.00");
    EXPECT_EQ(storedCompany().text(Company::ARBalance), "1000.00");
}

TEST_F(EditorTest, BackDatedInvoicesEnterTheBucketOfTheirAge) {
    const struct {
        const char* date;
        data::FieldRef<data::Customer, data::FieldKind::Money> bucket;
    } cases[] = {{"02/14/2024", Customer::Age0to30},  // 30 days
                 {"02/13/2024", Customer::Age31to60},
                 {"12/16/2023", Customer::Age61to90},  // 90 days
                 {"12/15/2023", Customer::AgeOver90}};
    int n = 0;
    for (const auto& c : cases) {
        ++n;
        const int32_t rec = addCustomer("B" + std::to_string(n), "Bucket " + std::to_string(n));
        InvoiceEditor ed = newEditor(rec);
        ed.entry.number = "B" + std::to_string(n);
        ed.entry.date = c.date;
        setRow(ed, 1, "A", "1", "x", "10", "N");
        saveNew(ed);
        data::CustomerRecord cust = customer(rec);
        EXPECT_EQ(cust.money(c.bucket), M(1000)) << c.date;
        EXPECT_EQ(cust.money(Customer::Balance), M(1000)) << c.date;
    }
}

TEST_F(EditorTest, QuotesLeaveBalancesAloneButTakeANumber) {
    company.setText(Company::LabelQueueOnInvoice, "Y");
    InvoiceEditor ed = newEditor();
    ed.entry.quote = true;
    setRow(ed, 1, "A", "2", "Widget", "12.00");
    SaveResult res = saveNew(ed);
    data::InvoiceRecord h = invoice(res.recNo);
    EXPECT_EQ(h.text(Invoice::TransType), "Q");
    EXPECT_EQ(StoredLines(lines, "1051")[0].second.text(InvoiceLine::LineStyle), "Q");
    data::CustomerRecord c = customer(custRec);
    EXPECT_EQ(c.text(Customer::Balance), "500.00");
    EXPECT_EQ(c.text(Customer::Age0to30), "500.00");
    EXPECT_EQ(c.text(Customer::LastInvNo), "");
    EXPECT_EQ(storedCompany().text(Company::ARBalance), "1000.00");
    EXPECT_EQ(storedCompany().text(Company::NextInvNo), "1052");
    EXPECT_TRUE(labels.empty());
}

TEST_F(EditorTest, LabelQueueOptionQueuesTheCustomer) {
    company.setText(Company::LabelQueueOnInvoice, "Y");
    InvoiceEditor ed = newEditor();
    setRow(ed, 1, "A", "1", "x", "1");
    saveNew(ed);
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(labels.entries()[0].custNo, "C100");
    EXPECT_EQ(labels.entries()[0].name, "Acme Corp");
    EXPECT_TRUE(labelsWaiting);
}

TEST_F(EditorTest, MemoInvoiceWritesOneLineAndTheMemo) {
    InvoiceEditor ed = newEditor();
    ed.entry.memo = true;
    ed.entry.memoDescription = "Consulting";
    ed.entry.memoQuantity = "";
    ed.entry.net = "1,200.00";
    ed.entry.tax = "84.00";
    for (int k = 1; k <= 30; ++k)
        ed.entry.memoLines.push_back("Line " + std::to_string(k));
    ed.entry.memoLines[0] = std::string(70, 'a') + " tail of the first line";
    ASSERT_FALSE(CheckInvoice(ed, Ctx(invoices), prompter));
    EXPECT_EQ(ed.entry.memoQuantity, "1");
    SaveResult res = saveNew(ed);
    EXPECT_EQ(res.lines, 1);
    data::InvoiceRecord h = invoice(res.recNo);
    EXPECT_EQ(h.text(Invoice::InvoiceStyle), "M");
    EXPECT_EQ(h.text(Invoice::Total), "1284.00");
    auto stored = StoredLines(lines, "1051");
    ASSERT_EQ(stored.size(), 1u);
    const auto& l = stored[0].second;
    EXPECT_EQ(l.text(InvoiceLine::LineNo), "01");
    EXPECT_EQ(l.text(InvoiceLine::ProdCode), "Memo");
    EXPECT_EQ(l.text(InvoiceLine::LineStyle), "M");
    EXPECT_EQ(l.text(InvoiceLine::LineText),
              "1         Consulting                      1200.00   M1200.00   ");
    auto memo = StoredMemo(memos, "1051");
    ASSERT_TRUE(memo);
    auto ml = data::MemoLines(memo->second);
    ASSERT_EQ(ml.size(), 25u);
    // The long first line is broken at a blank, so nothing of it is lost.
    EXPECT_EQ(ml[0], std::string(70, 'a'));
    EXPECT_EQ(ml[1], "tail of the first line");
    EXPECT_EQ(ml[2], "Line 2");
    EXPECT_EQ(ml[24], "Line 24");
    EXPECT_EQ(customer(custRec).text(Customer::Balance), "1784.00");
}

// ------------------------------------------------------------------- numbering

TEST(Numbering, NextNumberNeverGoesBackwards) {
    EXPECT_EQ(*NextInvoiceNumber("1051", "1051", false), "1052");
    EXPECT_EQ(*NextInvoiceNumber("1051", "500", false), "1051");
    EXPECT_EQ(*NextInvoiceNumber("1051", "2000", false), "2001");
    EXPECT_EQ(*NextInvoiceNumber("", "7", false), "8");
    EXPECT_EQ(*NextInvoiceNumber("junk", "7", false), "8");
    // Numbers that do not read as whole numbers leave the counter as it is.
    EXPECT_FALSE(NextInvoiceNumber("1051", "A77", false));
    EXPECT_FALSE(NextInvoiceNumber("1051", "-5", false));
    EXPECT_FALSE(NextInvoiceNumber("1051", "999999999", false));
    // Date-prefixed numbers are read from their 5th character on, 5 characters.
    EXPECT_EQ(*NextInvoiceNumber("12", "24030015", true), "16");
    EXPECT_EQ(*NextInvoiceNumber("40", "24030015", true), "40");
    EXPECT_FALSE(NextInvoiceNumber("12", "2403", true));
}

TEST_F(EditorTest, DatePrefixedNumbersAreProposedAndCounted) {
    company.setText(Company::InvNoPrefix, "Y");
    company.setText(Company::NextInvNo, "15");
    storeCompany();
    InvoiceEditor ed = newEditor();
    EXPECT_EQ(ed.entry.number, "240315");
    ed.entry.number = "24030015";
    setRow(ed, 1, "A", "1", "x", "1");
    saveNew(ed);
    EXPECT_EQ(storedCompany().text(Company::NextInvNo), "16");
    EXPECT_EQ(storedCompany().text(Company::LastInvNo), "24030015");
}

TEST_F(EditorTest, ALowerNumberDoesNotPullTheCounterBack) {
    InvoiceEditor ed = newEditor();
    ed.entry.number = "500";
    setRow(ed, 1, "A", "1", "x", "1");
    saveNew(ed);
    EXPECT_EQ(storedCompany().text(Company::NextInvNo), "1051");
    EXPECT_EQ(storedCompany().text(Company::LastInvNo), "500");
}

TEST_F(EditorTest, AProposedNumberTakenMeanwhileIsReplacedByTheCountersAndTheUserTold) {
    // Two editors open at once propose the same number; the second to save gets the next.
    InvoiceEditor first = newEditor();
    InvoiceEditor second = newEditor();
    ASSERT_EQ(first.entry.number, "1051");
    ASSERT_EQ(second.entry.number, "1051");
    setRow(first, 1, "A", "1", "x", "10.00");
    setRow(second, 1, "A", "2", "y", "10.00");
    EXPECT_EQ(saveNew(second).number, "1051");
    EXPECT_TRUE(prompter.done());
    // The checks on OK do not hold the proposed number against the user.
    EXPECT_FALSE(CheckInvoice(first, Ctx(invoices), prompter));
    prompter.expect("Saved as invoice 1052");
    const SaveResult saved = saveNew(first);
    EXPECT_TRUE(prompter.done());
    EXPECT_TRUE(saved.renumbered);
    EXPECT_EQ(saved.number, "1052");
    EXPECT_EQ(saved.status, "Added invoice 1052 containing 1 line item(s).");
    EXPECT_EQ(invoice(saved.recNo).text(Invoice::InvNo), "1052");
    ASSERT_EQ(StoredLines(lines, "1052").size(), 1u);
    EXPECT_EQ(StoredLines(lines, "1051").size(), 1u);
    EXPECT_EQ(storedCompany().text(Company::NextInvNo), "1053");
    EXPECT_EQ(storedCompany().text(Company::LastInvNo), "1052");

    // The counter set back below numbers already used: the next free one from it, none
    // skipped and none taken twice.
    company.setText(Company::NextInvNo, "1051");
    storeCompany();
    InvoiceEditor third = newEditor();
    ASSERT_EQ(third.entry.number, "1051");
    setRow(third, 1, "A", "1", "z", "1.00");
    prompter.expect("Saved as invoice 1053");
    EXPECT_EQ(saveNew(third).number, "1053");
    EXPECT_EQ(storedCompany().text(Company::NextInvNo), "1054");

    // A number the user typed is the user's: kept as typed.
    InvoiceEditor typed = newEditor();
    typed.entry.number = "2000";
    setRow(typed, 1, "A", "1", "t", "1.00");
    const SaveResult kept = saveNew(typed);
    EXPECT_FALSE(kept.renumbered);
    EXPECT_EQ(kept.number, "2000");
    EXPECT_TRUE(prompter.done());
    checkKeys();
}

TEST_F(EditorTest, AProposedDatePrefixedNumberIsRenumberedWithinItsMonth) {
    company.setText(Company::InvNoPrefix, "Y");
    company.setText(Company::NextInvNo, "15");
    storeCompany();
    InvoiceEditor first = newEditor();
    InvoiceEditor second = newEditor();
    setRow(first, 1, "A", "1", "x", "1");
    setRow(second, 1, "A", "1", "y", "1");
    EXPECT_EQ(saveNew(first).number, "240315");
    prompter.expect("Saved as invoice 240316");
    EXPECT_EQ(saveNew(second).number, "240316");
    EXPECT_EQ(storedCompany().text(Company::NextInvNo), "17");
}

TEST_F(EditorTest, ASaveThatMeetsALockRunsAgainWholeAndTheEditorKeepsItsEntry) {
    InvoiceEditor ed = newEditor();
    setRow(ed, 1, "A", "2", "x", "10.00");
    setRow(ed, 2, "B", "1", "y", "5.00");
    const data::CustomerRecord before = customer(custRec);
    // The second line meets a lock on the first attempt, and on every one after it: after
    // five the user is asked, gives up, and nothing of the invoice is on file.
    // (A pending fault counts only the calls that no earlier fault took: each of these
    // falls on the third call after the one before it failed.)
    for (int i = 0; i < 5; ++i)
        storage::InjectFault(storage::EngineOp::AddRecord, 3, 10306);
    prompter.expect(std::string(data::kCannotGetLock), platform::Answer::Yes);
    EXPECT_THROW(saveNew(ed), InvoiceError);
    EXPECT_TRUE(prompter.done());
    EXPECT_EQ(storage::UsedRecordCount(invoices), 0);
    EXPECT_EQ(storage::UsedRecordCount(lines), 0);
    EXPECT_EQ(customer(custRec), before);
    EXPECT_EQ(storedCompany().text(Company::NextInvNo), "1051");
    EXPECT_EQ(ed.entry.number, "1051");
    storage::ClearFaults();
    // Once the lock is gone the same entry saves whole.
    const SaveResult saved = saveNew(ed);
    EXPECT_EQ(saved.number, "1051");
    EXPECT_EQ(saved.lines, 2);
    EXPECT_EQ(customer(custRec).text(Customer::Balance), "526.75");
    checkKeys();
}

// ------------------------------------------------------------------------ edits

TEST_F(EditorTest, EditMovesTotalPaidDateBucketAndNumber) {
    InvoiceEditor ed = newEditor();
    setRow(ed, 1, "A", "2", "First", "50.00", "N");
    setRow(ed, 2, "B", "1", "Second", "10.00", "N");
    setRow(ed, 3, "C", "1", "Third", "5.00", "N");
    const int32_t rec = saveNew(ed).recNo;
    ASSERT_EQ(customer(custRec).text(Customer::Balance), "615.00");

    InvoiceEditor edit = editorFor(rec);
    EXPECT_EQ(edit.caption(), "Edit Invoice");
    EXPECT_EQ(edit.modeLabel(), "Edit Mode");
    EXPECT_EQ(edit.entry.grid[2].description, "Second");
    EXPECT_EQ(edit.entry.grid[1].extension, "100.00");
    EXPECT_EQ(edit.totals().total, M(11500));
    edit.entry.number = "2001";
    edit.entry.date = "11/01/2023";  // over 90 days old
    edit.eraseLine(2);
    setRow(edit, 3, "C", "2", "Third", "5.00", "N");
    setRow(edit, 4, "D", "1", "Fourth", "1.00", "N");
    edit.entry.paid = "20.00";
    ASSERT_FALSE(CheckInvoice(edit, Ctx(invoices, rec), prompter));
    SaveResult res = saveEdit(edit, rec);
    EXPECT_EQ(res.status, "Editing of 2001 completed.");
    EXPECT_EQ(res.lines, 3);

    data::InvoiceRecord h = invoice(rec);
    EXPECT_EQ(h.text(Invoice::InvNo), "2001");
    EXPECT_EQ(h.text(Invoice::SortDate), "2023/11/01");
    EXPECT_EQ(h.text(Invoice::Total), "111.00");
    EXPECT_EQ(h.text(Invoice::BalanceDue), "91.00");
    EXPECT_EQ(h.text(Invoice::PaidFlag), " ");
    // The lines went with the number; nothing is left under the old one.
    EXPECT_TRUE(StoredLines(lines, "1051").empty());
    auto moved = StoredLines(lines, "2001");
    ASSERT_EQ(moved.size(), 3u);
    std::vector<std::string> keys;
    for (auto& [n, l] : moved)
        keys.push_back(l.text(InvoiceLine::LineKey));
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::string>{"00000200101", "00000200103", "00000200104"}));
    for (auto& [n, l] : moved)
        EXPECT_EQ(l.text(InvoiceLine::LineDate), "2023/11/01");

    data::CustomerRecord c = customer(custRec);
    EXPECT_EQ(c.text(Customer::Balance), "591.00");
    EXPECT_EQ(c.text(Customer::Age0to30), "500.00");
    EXPECT_EQ(c.text(Customer::AgeOver90), "91.00");
    EXPECT_EQ(c.text(Customer::LastPayDate), "11/01/2023");
    EXPECT_EQ(storedCompany().text(Company::ARBalance), "1091.00");
    // An edit does not move the numbering.
    EXPECT_EQ(storedCompany().text(Company::NextInvNo), "1052");
    checkKeys();
}

TEST_F(EditorTest, EditOfAMemoInvoiceMovesItsMemoWithTheNumber) {
    InvoiceEditor ed = newEditor();
    ed.entry.memo = true;
    ed.entry.memoDescription = "Retainer";
    ed.entry.net = "300";
    ed.entry.memoLines = {"March retainer"};
    const int32_t rec = saveNew(ed).recNo;
    InvoiceEditor edit = editorFor(rec);
    EXPECT_TRUE(edit.entry.memo);
    EXPECT_EQ(edit.entry.memoDescription, "Retainer");
    EXPECT_EQ(edit.entry.memoLines, (std::vector<std::string>{"March retainer"}));
    edit.entry.number = "M1";
    edit.entry.net = "350.00";
    edit.entry.memoLines = {"March retainer", "plus travel"};
    saveEdit(edit, rec);
    EXPECT_FALSE(StoredMemo(memos, "1051"));
    auto memo = StoredMemo(memos, "M1");
    ASSERT_TRUE(memo);
    EXPECT_EQ(data::MemoLines(memo->second),
              (std::vector<std::string>{"March retainer", "plus travel"}));
    auto l = StoredLines(lines, "M1");
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0].second.text(InvoiceLine::LineText).substr(42), "350.00    M350.00    ");
    EXPECT_EQ(customer(custRec).text(Customer::Balance), "850.00");
    checkKeys();
}

TEST_F(EditorTest, TurningAnInvoiceIntoAQuoteTakesItOutOfTheBalances) {
    InvoiceEditor ed = newEditor();
    setRow(ed, 1, "A", "1", "x", "40", "N");
    const int32_t rec = saveNew(ed).recNo;
    InvoiceEditor edit = editorFor(rec);
    edit.entry.quote = true;
    saveEdit(edit, rec);
    data::InvoiceRecord h = invoice(rec);
    EXPECT_EQ(h.text(Invoice::TransType), "Q");
    EXPECT_EQ(h.text(Invoice::BalanceDue), "0.00");
    EXPECT_EQ(StoredLines(lines, h.text(Invoice::InvNo))[0].second.text(InvoiceLine::LineStyle),
              "Q");
    EXPECT_EQ(customer(custRec).text(Customer::Balance), "500.00");
    EXPECT_EQ(customer(custRec).text(Customer::Age0to30), "500.00");
    EXPECT_EQ(storedCompany().text(Company::ARBalance), "1000.00");
    // And back: the quote becomes an invoice again.
    InvoiceEditor again = editorFor(rec);
    EXPECT_EQ(again.caption(), "Edit Quote");
    again.entry.quote = false;
    saveEdit(again, rec);
    EXPECT_EQ(invoice(rec).text(Invoice::TransType), "I");
    EXPECT_EQ(customer(custRec).text(Customer::Balance), "540.00");
    EXPECT_EQ(storedCompany().text(Company::ARBalance), "1040.00");
}

TEST_F(EditorTest, AnInvoiceSavedWithoutTaxReopensWithoutTax) {
    InvoiceEditor ed = newEditor();
    setRow(ed, 1, "A", "1", "Taxable item", "100.00", "Y");
    ed.setTaxOn(false);
    EXPECT_EQ(ed.totals().tax, M(0));
    const int32_t rec = saveNew(ed).recNo;
    InvoiceEditor edit = editorFor(rec);
    EXPECT_FALSE(edit.taxOn());
    EXPECT_EQ(edit.taxSwitch(), TaxSwitch::On);  // still enabled: it can be ticked again
    EXPECT_EQ(edit.totals().total, M(10000));
    edit.setTaxOn(true);
    EXPECT_EQ(edit.totals().tax, M(700));
}

// An invoice stored when a discount of taxed and untaxed lines lowered the tax by all of
// it: 100.00 taxed, 50.00 untaxed, a 10 % discount of 15.00 flagged taxed, tax 7 % of
// 85.00. Written as it was then.
class StoredDiscountTest : public EditorTest {
  protected:
    int32_t storedBefore(bool printed) {
        InvoiceEditor ed = newEditor();
        setRow(ed, 1, "A", "1", "Taxed", "100.00", "Y");
        setRow(ed, 2, "B", "1", "Untaxed", "50.00", "N");
        const int32_t rec = saveNew(ed).recNo;
        data::InvoiceRecord before = invoice(rec);
        data::InvoiceRecord then = before;
        EXPECT_TRUE(then.setMoney(Invoice::Tax, M(595)));
        EXPECT_TRUE(then.setMoney(Invoice::Net, M(13500)));
        EXPECT_TRUE(then.setMoney(Invoice::Total, M(14095)));
        EXPECT_TRUE(then.setMoney(Invoice::BalanceDue, M(14095)));
        then.setYes(Invoice::PrintedFlag, printed);
        EXPECT_TRUE(data::ChangeBusinessRecord(invoices, rec, before, then, prompter).ok());
        const LineRow discount{"DISCOUNT10", "1", "10% Discount on $150.00",
                               "-15.00",     "Y", "-15.00"};
        EXPECT_TRUE(
            data::AddBusinessRecord(lines, LineRecordFor(then, 3, discount, "P"), prompter).ok());
        return rec;
    }
};

TEST_F(StoredDiscountTest, KeepsItsLinesAndTaxUntilALineChanges) {
    const int32_t rec = storedBefore(false);
    InvoiceEditor edit = editorFor(rec);
    EXPECT_FALSE(edit.sharesDiscounts());
    EXPECT_TRUE(edit.sharingChangesTax());
    EXPECT_EQ(edit.totals().tax, M(595));
    EXPECT_FALSE(edit.entry.grid[4].filled());
    EXPECT_EQ(edit.alreadySent(), "");
    // Other fields change: the lines and tax stay as stored.
    edit.entry.notes = "Reprint";
    edit.setTaxOn(true);
    ASSERT_FALSE(CheckInvoice(edit, Ctx(invoices, rec), prompter));
    saveEdit(edit, rec);
    EXPECT_EQ(invoice(rec).money(Invoice::Tax), M(595));
    EXPECT_EQ(StoredLines(lines, invoice(rec).text(Invoice::InvNo)).size(), 3u);

    // A line changes: the discount is shared, and nobody saw the invoice: no question.
    InvoiceEditor again = editorFor(rec);
    again.entry.grid[1].quantity = "2";
    again.cellEdited(1);
    EXPECT_TRUE(again.sharesDiscounts());
    EXPECT_EQ(again.entry.grid[3].extension, "-20.00");
    EXPECT_EQ(again.entry.grid[4].extension, "-5.00");
    EXPECT_EQ(again.totals().tax, M(1260));  // 7 % of 180.00
    ASSERT_FALSE(CheckInvoice(again, Ctx(invoices, rec), prompter));
    saveEdit(again, rec);
    EXPECT_EQ(invoice(rec).money(Invoice::Tax), M(1260));
    EXPECT_EQ(StoredLines(lines, invoice(rec).text(Invoice::InvNo)).size(), 4u);
    EXPECT_FALSE(editorFor(rec).sharingChangesTax());
    checkKeys();
}

TEST_F(StoredDiscountTest, APrintedInvoiceSaysSoBeforeItsTaxChanges) {
    const int32_t rec = storedBefore(true);
    InvoiceEditor edit = editorFor(rec);
    EXPECT_EQ(edit.alreadySent(), "printed");
    edit.eraseLine(4);  // an empty row: still a change of the lines
    EXPECT_EQ(edit.totals().tax, M(630));
    const std::string text =
        "Invoice " + edit.entry.number +
        " was already printed with tax 5.95. With its lines changed, each discount lowers the "
        "tax only by its share on the taxed lines, and the tax becomes 6.30. Save the invoice "
        "with the new tax?";
    prompter.expect(text, Answer::No);
    auto kept = CheckInvoice(edit, Ctx(invoices, rec), prompter);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->field, Focus::None);
    prompter.expect(text, Answer::Yes);
    EXPECT_FALSE(CheckInvoice(edit, Ctx(invoices, rec), prompter));
    EXPECT_TRUE(prompter.done());
    EXPECT_EQ(prompter.last().title, "Tax Changes");
}

// A discount of taxed and untaxed lines needs the row below it for its untaxed half; with
// every row in use nothing is pushed off and OK says what to do.
TEST_F(EditorTest, ADiscountWithoutRoomForItsUntaxedHalfIsNotSaved) {
    InvoiceEditor ed = newEditor();
    for (int r = 1; r <= kLineRows; ++r)
        setRow(ed, r, "P" + std::to_string(r), "1", "Item", "1.00", r % 2 ? "Y" : "N");
    setRow(ed, 40, "DISCOUNT10", "1", "", "0.00");
    prompter.expect(
        "The discount on line 40 is on taxed and untaxed lines and needs the line below it for "
        "its share of the untaxed lines, but every line is in use. Erase a line to make room.");
    auto problem = CheckInvoice(ed, Ctx(invoices), prompter);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->field, Focus::Grid);
    EXPECT_EQ(problem->row, 40);
    EXPECT_EQ(ed.entry.grid[99].code, "P99");
    // A line erased: the half takes its row and the invoice may be saved.
    ed.eraseLine(60);
    EXPECT_EQ(ed.entry.grid[41].code, "DISCOUNT10");
    EXPECT_EQ(ed.entry.grid[99].code, "P99");
    EXPECT_FALSE(CheckInvoice(ed, Ctx(invoices), prompter));
    EXPECT_TRUE(prompter.done());
}

// ------------------------------------------------------------------------ checks

TEST_F(EditorTest, ChecksRunInOrderAndFocusTheField) {
    InvoiceEditor ed = InvoiceEditor::ForNew(company, data::DateOrder::MonthFirst, today);
    CheckContext ctx = Ctx(invoices);
    ed.entry.number = " ";
    prompter.expect("You need an invoice number.");
    EXPECT_EQ(CheckInvoice(ed, ctx, prompter)->field, Focus::Number);
    ed.entry.number = "77";
    prompter.expect(
        "You need to select a customer. Click on the Customer Picture Button in the upper left "
        "hand corner to select a customer.");
    EXPECT_EQ(CheckInvoice(ed, ctx, prompter)->field, Focus::Customer);
    ed.chooseCustomer(customer(custRec), prompter);
    ed.entry.date = "02/30/2024";
    prompter.expect(
        "You have an invalid invoice date. You can clear the date and then select "
        "the calendar button.");
    EXPECT_EQ(CheckInvoice(ed, ctx, prompter)->field, Focus::Date);
    EXPECT_EQ(prompter.last().title, "Invoice Date");
    ed.entry.date = "02/29/2024";
    // Lower-case letters are checked as they will be stored.
    ed.entry.number = "g5";
    prompter.expect(
        "Please do not use the letter \"G\" in your invoice numbers. This is reserved "
        "for repeat billings. You must change this invoice number.");
    EXPECT_EQ(CheckInvoice(ed, ctx, prompter)->field, Focus::Number);
    ed.entry.number = "i5";
    prompter.expect(
        "Please do not use the letter \"I\" in your invoice numbers. This is reserved "
        "for Interest Wizard. You must change this invoice number.");
    EXPECT_EQ(CheckInvoice(ed, ctx, prompter)->field, Focus::Number);
    ed.entry.number = "77";
    setRow(ed, 2, "A", "x1", "Bad quantity", "1");
    prompter.expect("Line 2 has an invalid QUANTITY value.");
    auto p = CheckInvoice(ed, ctx, prompter);
    EXPECT_EQ(p->field, Focus::Grid);
    EXPECT_EQ(p->row, 2);
    EXPECT_EQ(p->column, 2);
    setRow(ed, 2, "A", "", "No quantity", "1");
    prompter.expect("Line 2 has a unit price but no quantity.");
    EXPECT_EQ(CheckInvoice(ed, ctx, prompter)->column, 2);
    setRow(ed, 2, "A", "1", "No price", "");
    prompter.expect("Line 2 has a quantity but no unit price.");
    EXPECT_EQ(CheckInvoice(ed, ctx, prompter)->column, 4);
    setRow(ed, 2, "A", "1", "", "1.2x");
    prompter.expect("Line 2 has an invalid UNIT PRICE value.");
    EXPECT_EQ(CheckInvoice(ed, ctx, prompter)->column, 4);
    ed.eraseLine(2);
    prompter.expect(
        "You do not have a description on any of your line items. At least one "
        "description field is required or you have nothing to invoice.");
    p = CheckInvoice(ed, ctx, prompter);
    EXPECT_EQ(p->field, Focus::Grid);
    EXPECT_EQ(p->row, 1);
    EXPECT_EQ(p->column, 3);
    // A comment line passes the line checks.
    ed.makeComment(2);
    ed.entry.grid[2].description = "Note only";
    ed.entry.paid = "5.00";
    prompter.expect("Is this a no-charge invoice?", Answer::No);
    EXPECT_EQ(CheckInvoice(ed, ctx, prompter)->field, Focus::None);
    prompter.expect("Is this a no-charge invoice?", Answer::Yes);
    prompter.expect("The paid amount cannot exceed the invoice total amount.");
    EXPECT_EQ(CheckInvoice(ed, ctx, prompter)->field, Focus::Paid);
    ed.entry.paid = "";
    prompter.expect("Is this a no-charge invoice?", Answer::Yes);
    EXPECT_FALSE(CheckInvoice(ed, ctx, prompter));
    EXPECT_EQ(ed.entry.paid, "0.00");
}

TEST_F(EditorTest, MemoChecks) {
    InvoiceEditor ed = newEditor();
    ed.entry.memo = true;
    prompter.expect(
        "You do not have a product description entered. This description is used on "
        "your Sales Report to show the item sold.");
    EXPECT_EQ(CheckInvoice(ed, Ctx(), prompter)->field, Focus::MemoDescription);
    ed.entry.memoDescription = "Work";
    ed.entry.memoQuantity = "lots";
    ed.entry.memoLines = {" ", ""};
    prompter.expect("You do not have any text entered in the body of your invoice.");
    EXPECT_EQ(CheckInvoice(ed, Ctx(), prompter)->field, Focus::MemoText);
    EXPECT_EQ(ed.entry.memoQuantity, "1");
    ed.entry.memoLines = {"text"};
    ed.entry.net = "1O.00";
    prompter.expect("The NET amount has an invalid value.");
    EXPECT_EQ(CheckInvoice(ed, Ctx(), prompter)->field, Focus::Net);
    ed.entry.net = "10";
    ed.entry.tax = "-";
    prompter.expect("The TAX amount has an invalid value.");
    EXPECT_EQ(CheckInvoice(ed, Ctx(), prompter)->field, Focus::Tax);
    ed.entry.tax = "";
    ed.entry.paid = "1..";
    prompter.expect("The PAID amount has an invalid value.");
    EXPECT_EQ(CheckInvoice(ed, Ctx(), prompter)->field, Focus::Paid);
    ed.entry.paid = "0";
    EXPECT_FALSE(CheckInvoice(ed, Ctx(), prompter));
}

TEST_F(EditorTest, NumbersEqualApartFromLeadingZerosAreDuplicates) {
    InvoiceEditor first = newEditor();
    first.entry.number = "12";
    setRow(first, 1, "A", "1", "x", "1");
    const int32_t rec = saveNew(first).recNo;
    for (const char* n : {"012", "12", "00012", " 12 "}) {
        InvoiceEditor ed = newEditor();
        ed.entry.number = n;
        setRow(ed, 1, "A", "1", "x", "1");
        prompter.expect("This invoice number currently exists. Please enter another one.");
        EXPECT_EQ(CheckInvoice(ed, Ctx(invoices), prompter)->field, Focus::Number) << n;
        EXPECT_EQ(prompter.last().title, "Duplicate Invoice: " + data::TrimmedText(n));
    }
    InvoiceEditor other = newEditor();
    other.entry.number = "120";
    setRow(other, 1, "A", "1", "x", "1");
    EXPECT_FALSE(CheckInvoice(other, Ctx(invoices), prompter));
    // An edit keeping its number (or its value) is no duplicate of itself.
    InvoiceEditor edit = editorFor(rec);
    EXPECT_FALSE(CheckInvoice(edit, Ctx(invoices, rec), prompter));
    edit.entry.number = "012";
    EXPECT_FALSE(CheckInvoice(edit, Ctx(invoices, rec), prompter));
}

// Numbers are measured in characters as stored: "ÉÉ1" with six zeros in front fills the
// field's nine characters, though it has more bytes in UTF-8.
TEST_F(EditorTest, ANumberWithAccentsFindsItsZeroPaddedTwin) {
    InvoiceEditor first = newEditor();
    first.entry.number = "000000ÉÉ1";
    setRow(first, 1, "A", "1", "x", "1");
    saveNew(first);
    InvoiceEditor ed = newEditor();
    ed.entry.number = "ÉÉ1";
    setRow(ed, 1, "A", "1", "x", "1");
    prompter.expect("This invoice number currently exists. Please enter another one.");
    ASSERT_TRUE(CheckInvoice(ed, Ctx(invoices), prompter));
    EXPECT_TRUE(prompter.done());
}

TEST_F(EditorTest, AmountsTooLongForTheirFieldAreRefused) {
    InvoiceEditor ed = newEditor();
    ed.entry.taxRate = "0";
    setRow(ed, 1, "A", "1", "Big", "9999999.99", "N");
    EXPECT_FALSE(CheckInvoice(ed, Ctx(), prompter));
    setRow(ed, 2, "B", "1", "One cent more", "0.01", "N");
    prompter.expect(
        "The NET amount (10,000,000.00) is too large to be stored. Amounts can "
        "have at most 10 characters without separators (9999999.99).");
    EXPECT_EQ(CheckInvoice(ed, Ctx(), prompter)->field, Focus::Net);
    ed.eraseLine(2);
    setRow(ed, 1, "A", "2", "Big", "9999999.99", "N");
    prompter.expect(
        "The EXTENSION of line 1 is too large to be stored. Amounts can have at "
        "most 10 characters without separators (9999999.99).");
    auto p = CheckInvoice(ed, Ctx(), prompter);
    EXPECT_EQ(p->row, 1);
    setRow(ed, 1, "A", "1", "Fine price", "12345.67891", "N");
    prompter.expect(
        "The UNIT PRICE of line 1 is too large to be stored. Amounts can have at "
        "most 10 characters without separators (9999999.99).");
    EXPECT_EQ(CheckInvoice(ed, Ctx(), prompter)->column, 4);
}

TEST_F(EditorTest, CreditLimitQuestionCountsWhatTheInvoiceAdds) {
    data::CustomerRecord c = customer(custRec);
    c.setText(Customer::CreditLimit, "600.00");
    ASSERT_TRUE(
        data::ChangeBusinessRecord(customers, custRec, customer(custRec), c, prompter).ok());
    InvoiceEditor ed = newEditor();
    ed.entry.taxRate = "0";
    setRow(ed, 1, "A", "1", "x", "100.00");
    EXPECT_FALSE(CheckInvoice(ed, Ctx(), prompter));  // 600 is not over 600
    setRow(ed, 1, "A", "1", "x", "100.01");
    prompter.expect(
        "This invoice will cause this customer to be over their credit limit.  Do "
        "you want to proceed anyway?",
        Answer::No);
    EXPECT_EQ(CheckInvoice(ed, Ctx(), prompter)->field, Focus::None);
    prompter.expect(
        "This invoice will cause this customer to be over their credit limit.  Do "
        "you want to proceed anyway?",
        Answer::Yes);
    EXPECT_FALSE(CheckInvoice(ed, Ctx(), prompter));
}

TEST_F(EditorTest, CustomerWarningsAndTheTaxExemptSwitch) {
    data::CustomerRecord c = customer(custRec);
    c.setText(Customer::CreditLimit, "100.00");
    c.setText(Customer::CreditHold, "Y");
    c.setText(Customer::TaxExempt, "Y");
    c.setText(Customer::Terms, "Net 10 Days");
    InvoiceEditor ed = InvoiceEditor::ForNew(company, data::DateOrder::MonthFirst, today);
    EXPECT_EQ(ed.taxSwitch(), TaxSwitch::On);
    prompter.expect("This customer is over their credit limit.");
    prompter.expect("This customer is placed on inactive/credit hold status.");
    ed.chooseCustomer(c, prompter);
    EXPECT_EQ(ed.taxSwitch(), TaxSwitch::Exempt);
    EXPECT_EQ(TaxSwitchCaption(ed.taxSwitch()), "Tax Exempt");
    EXPECT_EQ(ed.entry.terms, "Net 10 Days");
    setRow(ed, 1, "A", "1", "x", "100.00", "Y");
    EXPECT_EQ(ed.totals().tax, M(0));
    // A company that does not calculate taxes starts at rate 0.000 with the switch off.
    company.setByte(Company::CalcTaxes, 0);
    InvoiceEditor off = InvoiceEditor::ForNew(company, data::DateOrder::MonthFirst, today);
    EXPECT_EQ(off.taxSwitch(), TaxSwitch::Off);
    EXPECT_EQ(off.entry.taxRate, "0.000");
    EXPECT_EQ(off.memoTaxLabel(), "");
}

TEST_F(EditorTest, UnknownTermsAskToBeAdded) {
    std::vector<std::string> terms = invoicing::LoadSortedTerms(dir.path()).terms;
    const std::size_t before = terms.size();
    InvoiceEditor ed = newEditor();
    setRow(ed, 1, "A", "1", "x", "1");
    ed.entry.terms = "net 30 days";  // known apart from case
    CheckContext ctx = Ctx(invoices);
    ctx.folder = dir.path();
    ctx.terms = &terms;
    EXPECT_FALSE(CheckInvoice(ed, ctx, prompter));
    ed.entry.terms = "Net 45 Days";
    const std::string q =
        "This is a new payment term. Would you like to add terms to the terms file?";
    prompter.expect(q, Answer::Cancel);
    EXPECT_EQ(CheckInvoice(ed, ctx, prompter)->field, Focus::Terms);
    EXPECT_EQ(prompter.last().title, "Terms: Net 45 Days");
    prompter.expect(q, Answer::No);
    EXPECT_FALSE(CheckInvoice(ed, ctx, prompter));
    EXPECT_EQ(terms.size(), before);
    prompter.expect(q, Answer::Yes);
    EXPECT_FALSE(CheckInvoice(ed, ctx, prompter));
    EXPECT_EQ(terms.size(), before + 1);
    auto reread = invoicing::LoadSortedTerms(dir.path()).terms;
    EXPECT_NE(std::find(reread.begin(), reread.end(), "Net 45 Days"), reread.end());
}

// ------------------------------------------------------------------ grid commands

TEST_F(EditorTest, InsertShiftsRowsDownAndLosesRow99) {
    InvoiceEditor ed = newEditor();
    for (int r = 1; r <= kLineRows; ++r)
        setRow(ed, r, "P" + std::to_string(r), "1", "d", "1", "N");
    ed.insertLine(5);
    EXPECT_EQ(ed.entry.grid[5].code, "");
    EXPECT_EQ(ed.entry.grid[5].quantity, "1.00");
    EXPECT_EQ(ed.entry.grid[6].code, "P5");
    EXPECT_EQ(ed.entry.grid[99].code, "P98");
    EXPECT_EQ(ed.totals().net, M(9800));
}

TEST_F(EditorTest, ProductsFillARow) {
    InvoiceEditor ed = newEditor();
    ed.entry.grid[1].quantity = "3";
    ed.applyProduct(1, ProductChoice{"PEN", "Blue pen", "1.25", false}, false);
    EXPECT_EQ(ed.entry.grid[1].quantity, "3");
    EXPECT_EQ(ed.entry.grid[1].taxable, "N");
    EXPECT_EQ(ed.entry.grid[1].extension, "3.75");
    ed.applyProduct(1, ProductChoice{"PEN", "Blue pen", "1.25", true}, true);
    EXPECT_EQ(ed.entry.grid[1].quantity, "1.00");
    EXPECT_EQ(ed.entry.grid[1].extension, "1.25");
    EXPECT_EQ(ed.totals().tax, M(9));
}

// ------------------------------------------------------------------ saved lines

TEST_F(EditorTest, SavedLinesRoundTripWithAnEmpty100thRow) {
    InvoiceEditor ed = newEditor();
    setRow(ed, 1, "PAPER", "3", "Copy paper", "4.50");
    setRow(ed, 99, "LAST", "1", "Last row", "2");
    ed.entry.notes = "Standing order";
    ed.entry.stmntNote = "Monthly";
    ed.entry.keyCode = "STD";
    auto text = SavedLinesText(ed);
    ASSERT_EQ(text.size(), 101u);
    ASSERT_EQ(text[0].size(), 83u);
    EXPECT_EQ(text[0].substr(0, 25), " 1 PAPER      3          ");
    EXPECT_EQ(text[0].substr(25, 33), "Copy paper                       ");
    EXPECT_EQ(text[0].substr(58), "4.50       Y 13.50       ");
    EXPECT_EQ(text[99], "");
    EXPECT_EQ(text[100].substr(0, 14), "Standing order");
    EXPECT_EQ(text[100].substr(80, 7), "Monthly");
    EXPECT_EQ(text[100].substr(115), "STD");
    ASSERT_TRUE(WriteSavedLines(dir.path(), ed));

    InvoiceEditor other = newEditor();
    ASSERT_EQ(LoadSavedLines(dir.path(), other), LoadSaved::Loaded);
    EXPECT_EQ(other.entry.grid[1].code, "PAPER");
    EXPECT_EQ(other.entry.grid[1].description, "Copy paper");
    EXPECT_EQ(other.entry.grid[99].code, "LAST");
    EXPECT_EQ(other.entry.notes, "Standing order");
    EXPECT_EQ(other.entry.stmntNote, "Monthly");
    EXPECT_EQ(other.entry.keyCode, "STD");
    EXPECT_EQ(other.totals().net, ed.totals().net);
}

TEST_F(EditorTest, ShortOrHandEditedSavedLinesReadAsEmpty) {
    InvoiceEditor ed = newEditor();
    EXPECT_EQ(LoadSavedLines(dir.path(), ed), LoadSaved::Missing);
    ASSERT_TRUE(data::ReplaceFile(data::JoinPath(dir.path(), kSavedLinesFile),
                                  " 1 PEN        2          Pens\r\n 2 X\r\n"));
    ASSERT_EQ(LoadSavedLines(dir.path(), ed), LoadSaved::Loaded);
    EXPECT_EQ(ed.entry.grid[1].code, "PEN");
    EXPECT_EQ(ed.entry.grid[1].description, "Pens");
    EXPECT_EQ(ed.entry.grid[1].price, "");
    EXPECT_EQ(ed.entry.grid[2].code, "X");
    EXPECT_EQ(ed.entry.grid[50], LineRow{});
    EXPECT_EQ(ed.entry.notes, "");
}

TEST_F(EditorTest, SavedMemoRoundTrip) {
    InvoiceEditor ed = newEditor();
    ed.entry.memo = true;
    ed.entry.memoDescription = "Design work";
    ed.entry.memoQuantity = "2";
    ed.entry.net = "400";
    ed.entry.memoLines = {"Logo concepts", "", "Three rounds"};
    ed.entry.notes = "Design";
    ed.recalc();
    auto text = SavedLinesText(ed);
    ASSERT_EQ(text.size(), 28u);
    ASSERT_TRUE(WriteSavedLines(dir.path(), ed));
    InvoiceEditor other = newEditor();
    other.entry.memo = true;
    ASSERT_EQ(LoadSavedLines(dir.path(), other), LoadSaved::Loaded);
    EXPECT_EQ(other.entry.memoLines,
              (std::vector<std::string>{"Logo concepts", "", "Three rounds"}));
    EXPECT_EQ(other.entry.memoDescription, "Design work");
    EXPECT_EQ(other.entry.memoQuantity, "2");
    EXPECT_EQ(other.entry.notes, "Design");
}

TEST(WorkTimer, ElapsedAsClockAndDecimalHours) {
    WorkTimer t;
    EXPECT_FALSE(t.running());
    t.start({2024, 3, 15, 23, 59, 30});
    EXPECT_TRUE(t.running());
    EXPECT_EQ(t.startText(), "23:59:30");
    const int64_t s = t.elapsedSeconds({2024, 3, 16, 1, 1, 33});
    EXPECT_EQ(s, 3723);
    EXPECT_EQ(WorkTimer::ClockText(s), "01:02:03");
    EXPECT_EQ(WorkTimer::HoursText(s), "01.034");
    EXPECT_EQ(WorkTimer::HoursText(0), "00.000");
    EXPECT_EQ(t.elapsedSeconds({2024, 3, 15, 0, 0, 0}), 0);
}

}  // namespace
}  // namespace invarro::invoicing

namespace invarro::invoicing {
namespace {

void ExpectSameTotals(const Totals& a, const Totals& b, const std::string& what) {
    EXPECT_EQ(a.net, b.net) << what;
    EXPECT_EQ(a.taxable, b.taxable) << what;
    EXPECT_EQ(a.tax, b.tax) << what;
    EXPECT_EQ(a.total, b.total) << what;
    EXPECT_EQ(a.paid, b.paid) << what;
    EXPECT_EQ(a.balance, b.balance) << what;
}

LineRow Row(std::string code, std::string qty, std::string description, std::string price,
            std::string taxable) {
    LineRow r{std::move(code),  std::move(qty),     std::move(description),
              std::move(price), std::move(taxable), ""};
    ExtendRow(r);
    return r;
}

// The totals of a stored invoice computed without an editor are those the editor shows
// when it opens the invoice, in each case that moves them: sub-total and discount lines,
// lines whose numbers are taken or unreadable, a tax-exempt or missing customer, a company
// without tax, an invoice saved without tax, memo amounts; one calculator serves them all.
TEST(StoredTotalsTest, AreThoseOfTheEditorOpeningTheInvoice) {
    data::CompanyRecord company = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
    company.setByte(Company::CalcTaxes, 1);
    company.setText(Company::DefInvQty, "1.00");
    data::InvoiceRecord header = data::NewRecord<Invoice>();
    header.setText(Invoice::InvNo, "7001");
    header.setText(Invoice::TransType, "I");
    header.setText(Invoice::InvoiceStyle, "P");
    header.setText(Invoice::TaxRate, "7.5");
    ASSERT_TRUE(header.setMoney(Invoice::Tax, Money::FromCents(100)));
    ASSERT_TRUE(header.setMoney(Invoice::Paid, Money::FromCents(2500)));

    std::vector<data::InvoiceLineRecord> many = {
        LineRecordFor(header, 3, Row("A", "2", "Widget", "19.99", "Y"), "P"),
        LineRecordFor(header, 1, Row("B", "1", "Gadget", "5.00", "N"), "P"),
        LineRecordFor(header, 4, Row("SUB-TOTAL", "", "", "", ""), "P"),
        LineRecordFor(header, 5, Row("C", "3", "Service", "12.50", "Y"), "P"),
        LineRecordFor(header, 6, Row("DISCOUNT10", "1", "", "", ""), "P"),
        // The same row number again, and one that cannot be read: both go to free rows.
        LineRecordFor(header, 3, Row("D", "1", "Late part", "7.25", "Y"), "P"),
        LineRecordFor(header, 8, Row("E", "1", "Odd line", "1.10", "Y"), "P"),
    };
    many.back().setText(InvoiceLine::LineNo, "x8");
    const std::vector<data::InvoiceLineRecord> few = {
        LineRecordFor(header, 2, Row("F", "4", "Bolt", "0.35", "Y"), "P")};

    data::CustomerRecord exempt = data::NewRecord<Customer>();
    exempt.setText(Customer::CustNo, "C1");
    exempt.setText(Customer::TaxExempt, "Y");
    data::CustomerRecord taxed = exempt;
    taxed.setText(Customer::TaxExempt, "N");

    data::CompanyRecord noTax = company;
    noTax.setByte(Company::CalcTaxes, 0);
    data::InvoiceRecord savedWithoutTax = header;
    ASSERT_TRUE(savedWithoutTax.setMoney(Invoice::Tax, Money()));
    data::InvoiceRecord memo = header;
    memo.setText(Invoice::InvoiceStyle, "M");
    ASSERT_TRUE(memo.setMoney(Invoice::Net, Money::FromCents(123456)));
    ASSERT_TRUE(memo.setMoney(Invoice::Tax, Money::FromCents(9259)));

    struct Case {
        const char* what;
        const data::CompanyRecord* company;
        const data::InvoiceRecord* record;
        const std::vector<data::InvoiceLineRecord>* lines;
        const data::CustomerRecord* customer;
    };
    const Case cases[] = {
        {"special and misplaced lines", &company, &header, &many, &taxed},
        {"fewer lines after more", &company, &header, &few, &taxed},
        {"tax-exempt customer", &company, &header, &many, &exempt},
        {"customer not on file", &company, &header, &many, nullptr},
        {"company without tax", &noTax, &header, &many, &taxed},
        {"saved without tax", &company, &savedWithoutTax, &many, &taxed},
        {"memo amounts", &company, &memo, &few, &taxed},
        {"no lines", &company, &header, nullptr, &taxed},
    };
    StoredTotals withTax(company);
    const std::vector<data::InvoiceLineRecord> none;
    for (const Case& c : cases) {
        const auto& lines = c.lines ? *c.lines : none;
        const InvoiceEditor editor = InvoiceEditor::ForEdit(
            *c.company, data::DateOrder::MonthFirst, *c.record, lines, std::nullopt,
            c.customer ? std::optional<data::CustomerRecord>(*c.customer) : std::nullopt);
        StoredTotals own(*c.company);
        ExpectSameTotals(own.of(*c.record, lines, c.customer), editor.totals(), c.what);
        if (c.company == &company)
            ExpectSameTotals(withTax.of(*c.record, lines, c.customer), editor.totals(), c.what);
    }
    // The discount and the sub-total took part: the net is not the plain sum of the lines.
    StoredTotals again(company);
    EXPECT_NE(again.of(header, many, &taxed).net, Money::FromCents(3998 + 500 + 3750 + 725 + 110));
}

}  // namespace
}  // namespace invarro::invoicing
