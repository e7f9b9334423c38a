#include "invoicing/IntWizd.h"

#include <gtest/gtest.h>

#include "EditorFixture.h"
#include "app/Interest.h"
#include "data/Texts.h"
#include "support/RecordingProgress.h"

namespace invarro::invoicing {
namespace {

using data::Company;
using data::Customer;
using data::Invoice;
using data::InvoiceLine;
using data::Money;

Money M(int64_t cents) {
    return Money::FromCents(cents);
}

class InterestTest : public EditorTest {
  protected:
    // A customer with the four aging amounts given (balance = their sum).
    int32_t agedCustomer(const std::string& no, const std::string& name, int64_t a0, int64_t a1,
                         int64_t a2, int64_t a3) {
        const int32_t rec = addCustomer(no, name);
        data::CustomerRecord c = customer(rec);
        data::CustomerRecord u = c;
        (void)u.setMoney(Customer::Age0to30, M(a0));
        (void)u.setMoney(Customer::Age31to60, M(a1));
        (void)u.setMoney(Customer::Age61to90, M(a2));
        (void)u.setMoney(Customer::AgeOver90, M(a3));
        (void)u.setMoney(Customer::Balance, M(a0 + a1 + a2 + a3));
        EXPECT_TRUE(data::ChangeBusinessRecord(customers, rec, c, u, prompter).ok());
        return rec;
    }
    InterestSettings settings() {
        InterestSettings s = InterestSettingsOf(company, today, data::DateOrder::MonthFirst);
        s.percent = "1.50";
        s.minimum = "0.10";
        return s;
    }
    InterestOutcome generate(InterestScan& scan, const InterestSettings& s) {
        SaveFiles f = files();
        return GenerateInterest(f, scan, s, data::DateOrder::MonthFirst, prompter);
    }
    // The session a scan runs in, with the fixture's files closed as the wizard finds them.
    app::Session scanSession() {
        for (storage::Fileblock** fb : {&customers, &invoices, &lines, &memos}) {
            storage::CloseFileblock(*fb);
            *fb = nullptr;
        }
        app::Session session;
        session.folder = dir.path();
        session.company = storedCompany();
        return session;
    }
    int32_t findNumber(const std::string& number) {
        data::InvoiceRecord probe;
        probe.setText(Invoice::InvNo, number);
        auto found = data::FindAtOrAfter<Invoice>(invoices, 1, probe);
        if (!found || data::TrimmedText(found->record.text(Invoice::InvNo)) != number) return 0;
        return found->recNo;
    }
};

TEST_F(InterestTest, TheWorkedAmountsForEachLimitMinimumAndFlatFee) {
    agedCustomer("C200", "Baker Ltd", 10000, 20000, 5000, 0);
    InterestSettings s = settings();
    s.agingChoice = 0;
    InterestScan first = ScanCustomers(customers, s);
    ASSERT_EQ(first.rows.size(), 1u);
    EXPECT_EQ(first.rows[0].custNo, "C200");
    EXPECT_EQ(first.rows[0].overdue, M(25000));
    EXPECT_EQ(first.rows[0].charge, M(375));
    EXPECT_EQ(first.totalCharge, M(375));

    s.agingChoice = 1;
    InterestScan second = ScanCustomers(customers, s);
    ASSERT_EQ(second.rows.size(), 1u);
    EXPECT_EQ(second.rows[0].overdue, M(5000));
    EXPECT_EQ(second.rows[0].charge, M(75));

    s.agingChoice = 2;  // nothing over the third limit
    EXPECT_TRUE(ScanCustomers(customers, s).rows.empty());

    s.agingChoice = 0;
    s.minimum = "5.00";
    EXPECT_TRUE(ScanCustomers(customers, s).rows.empty());

    // A flat fee charges every customer with anything overdue, whatever its size.
    agedCustomer("C300", "Carter Inc", 0, 0, 0, 1);
    s.flat = true;
    s.flatRate = "25.00";
    InterestScan flat = ScanCustomers(customers, s);
    ASSERT_EQ(flat.rows.size(), 2u);
    EXPECT_EQ(flat.rows[0].charge, M(2500));
    EXPECT_EQ(flat.rows[1].charge, M(2500));
    EXPECT_EQ(flat.totalCharge, M(5000));
    EXPECT_EQ(flat.totalOverdue, M(25001));
}

// A credit in the current period (a payment on account, a credit memo) is set against the
// older periods: no one is charged on more than he owes.
TEST_F(InterestTest, TheOverdueAmountIsAtMostTheBalance) {
    const data::CustomerRecord credit =
        customer(agedCustomer("C100", "Credit Co", -20000, 5000, 5000, 20000));  // owes 100.00
    const data::CustomerRecord even =
        customer(agedCustomer("C200", "Even Co", -30000, 10000, 10000, 10000));  // owes nothing
    const data::CustomerRecord ahead =
        customer(agedCustomer("C300", "Ahead Co", -40000, 10000, 10000, 10000));  // in credit
    const data::CustomerRecord plain =
        customer(agedCustomer("C400", "Plain Co", 1000, 0, 0, 5000));  // owes more than overdue
    EXPECT_EQ(OverdueOf(credit, 0), M(10000));
    EXPECT_EQ(OverdueOf(credit, 1), M(10000));
    EXPECT_EQ(OverdueOf(credit, 2), M(10000));
    for (int choice : {0, 1, 2}) {
        EXPECT_EQ(OverdueOf(even, choice), M(0)) << choice;
        EXPECT_EQ(OverdueOf(ahead, choice), M(0)) << choice;
        EXPECT_EQ(OverdueOf(plain, choice), M(5000)) << choice;
    }

    InterestSettings s = settings();
    s.agingChoice = 0;
    InterestScan scan = ScanCustomers(customers, s);
    ASSERT_EQ(scan.rows.size(), 2u);
    EXPECT_EQ(scan.rows[0].custNo, "C100");
    EXPECT_EQ(scan.rows[0].overdue, M(10000));
    EXPECT_EQ(scan.rows[0].charge, M(150));
    EXPECT_EQ(scan.rows[1].custNo, "C400");
    EXPECT_EQ(scan.totalOverdue, M(15000));
    // A flat fee is not charged to a customer who owes nothing.
    s.flat = true;
    s.flatRate = "25.00";
    EXPECT_EQ(ScanCustomers(customers, s).rows.size(), 2u);
}

TEST_F(InterestTest, TheChargeIsRoundedOnceAndThatAmountIsUsedEverywhere) {
    const int32_t rec = agedCustomer("C200", "Baker Ltd", 0, 1100, 0, 0);  // 1.5% of 11.00
    InterestSettings s = settings();
    s.minimum = "0.17";  // reached by the rounded charge only
    InterestScan scan = ScanCustomers(customers, s);
    ASSERT_EQ(scan.rows.size(), 1u);
    EXPECT_EQ(scan.rows[0].charge, M(17));
    EXPECT_EQ(scan.totalCharge, M(17));
    const Money ar = storedCompany().money(Company::ARBalance);
    InterestOutcome out = generate(scan, s);
    EXPECT_EQ(out.charged, M(17));
    data::InvoiceRecord h = invoice(findNumber("1051I"));
    EXPECT_EQ(h.text(Invoice::Total), "0.17");
    EXPECT_EQ(customer(rec).money(Customer::Balance), M(1117));
    EXPECT_EQ(customer(rec).money(Customer::Age0to30), M(17));
    EXPECT_EQ(storedCompany().money(Company::ARBalance), ar + M(17));
    auto report = InterestReportLines(scan, s, company, platform::LocalDateTime{2024, 3, 15, 9});
    EXPECT_NE(report.back().find("0.17"), std::string::npos);
    EXPECT_EQ(report.back().find("0.165"), std::string::npos);
}

TEST_F(InterestTest, GeneratingWritesOneInvoiceAndLinePerCustomerWithConsecutiveFreeNumbers) {
    const int32_t a = agedCustomer("C200", "Baker Ltd", 0, 10000, 0, 0);
    const int32_t b = agedCustomer("C300", "Carter Inc", 0, 0, 0, 20000);
    InterestSettings s = settings();
    s.markPrinted = true;
    s.terms = "Due on receipt";
    s.notes = "Late charges";
    s.stmntNote = "Interest";
    s.agingChoice = 1;
    s.agingChoice = 0;
    InterestScan scan = ScanCustomers(customers, s);
    ASSERT_EQ(scan.rows.size(), 2u);
    const Money ar = storedCompany().money(Company::ARBalance);
    InterestOutcome out = generate(scan, s);
    EXPECT_EQ(out.created, 2);
    EXPECT_EQ(scan.rows[0].invoice, "1051I");
    EXPECT_EQ(scan.rows[1].invoice, "1052I");

    data::InvoiceRecord h = invoice(findNumber("1051I"));
    EXPECT_EQ(h.text(Invoice::TransType), "I");
    EXPECT_EQ(h.text(Invoice::PrintedFlag), "Y");
    EXPECT_EQ(h.text(Invoice::KeyCode), "Interest");
    EXPECT_EQ(h.text(Invoice::CustNo), "C200");
    EXPECT_EQ(h.text(Invoice::CompanyNo), "1");
    EXPECT_EQ(h.text(Invoice::InvDate), "03/15/2024");
    EXPECT_EQ(h.text(Invoice::SortDate), "2024/03/15");
    EXPECT_EQ(h.text(Invoice::InvNotes), "Late charges");
    EXPECT_EQ(h.text(Invoice::Terms), "Due on receipt");
    EXPECT_EQ(h.text(Invoice::StmntNote), "Interest");
    EXPECT_EQ(h.text(Invoice::InvoiceStyle), "P");
    EXPECT_EQ(h.text(Invoice::Net), "1.50");
    EXPECT_EQ(h.text(Invoice::Total), "1.50");
    EXPECT_EQ(h.text(Invoice::BalanceDue), "1.50");
    EXPECT_EQ(h.text(Invoice::Tax), "0.00");
    EXPECT_EQ(h.text(Invoice::Paid), "0.00");
    auto ls = StoredLines(lines, "1051I");
    ASSERT_EQ(ls.size(), 1u);
    const data::InvoiceLineRecord& l = ls[0].second;
    EXPECT_EQ(l.text(InvoiceLine::LineNo), "01");
    EXPECT_EQ(l.text(InvoiceLine::LineStyle), "P");
    EXPECT_EQ(l.text(InvoiceLine::LineDate), "2024/03/15");
    EXPECT_EQ(l.text(InvoiceLine::LineKey), "00001051I01");
    EXPECT_EQ(RowFromLineRecord(l).description, "Interest Charges");
    EXPECT_EQ(RowFromLineRecord(l).quantity, "1");
    EXPECT_EQ(RowFromLineRecord(l).taxable, "N");
    EXPECT_EQ(RowFromLineRecord(l).extension, "1.50");

    EXPECT_EQ(customer(a).money(Customer::Balance), M(10150));
    EXPECT_EQ(customer(a).money(Customer::Age0to30), M(150));
    EXPECT_EQ(customer(a).text(Customer::LastInvNo), "1051I");
    EXPECT_EQ(customer(b).money(Customer::Balance), M(20300));
    data::CompanyRecord c = storedCompany();
    EXPECT_EQ(c.money(Company::ARBalance), ar + M(450));
    EXPECT_EQ(c.text(Company::NextInvNo), "1053");
    EXPECT_EQ(c.text(Company::LastInvNo), "1052");
    EXPECT_EQ(c.text(Company::LastDate3), "03/15/2024");
    EXPECT_EQ(c.text(Company::IntAgingChoice), "3");
    EXPECT_EQ(c.text(Company::IntPercent), "1.50");
    EXPECT_EQ(c.text(Company::IntTerms), "Due on receipt");
    EXPECT_EQ(c.byte(Company::IntMarkPrinted), 1);
    EXPECT_EQ(company.text(Company::NextInvNo), "1053");
    EXPECT_EQ(LastInterestRunText(company), "Last Interest Invoices: 03/15/2024");
    EXPECT_EQ(InterestDoneQuestion(2),
              "2 invoices were created. Would you like to send a report to the printer?");
    checkKeys();
}

TEST_F(InterestTest, AnExistingInterestNumberIsSkippedForTheNextFreeOne) {
    agedCustomer("C200", "Baker Ltd", 0, 10000, 0, 0);
    InvoiceEditor ed = newEditor();
    ed.entry.number = "1051I";
    setRow(ed, 1, "A", "1", "Old", "1.00", "N");
    saveNew(ed);
    company.setText(Company::NextInvNo, "1051");
    storeCompany();
    InterestSettings s = settings();
    InterestScan scan = ScanCustomers(customers, s);
    ASSERT_EQ(scan.rows.size(), 1u);
    generate(scan, s);
    EXPECT_EQ(scan.rows[0].invoice, "1052I");
    EXPECT_EQ(storedCompany().text(Company::NextInvNo), "1053");
}

TEST_F(InterestTest, AFailedInvoiceChargesNothing) {
    const int32_t rec = agedCustomer("C200", "Baker Ltd", 0, 10000, 0, 0);
    InterestSettings s = settings();
    InterestScan scan = ScanCustomers(customers, s);
    const Money ar = storedCompany().money(Company::ARBalance);
    storage::CloseFileblock(invoices);
    invoices = storage::OpenFileblock(name(data::FileKind::Invoice), true);
    ASSERT_TRUE(storage::EngineOk);
    prompter.expect(std::string(data::kCannotGetLock), platform::Answer::Yes);
    prompter.expect(std::string(kLateFeeAddFailed));
    InterestOutcome out = generate(scan, s);
    EXPECT_TRUE(prompter.done());
    EXPECT_EQ(out.created, 0);
    EXPECT_TRUE(scan.rows[0].invoice.empty());
    EXPECT_EQ(customer(rec).money(Customer::Balance), M(10000));
    EXPECT_EQ(storedCompany().money(Company::ARBalance), ar);
    EXPECT_EQ(storedCompany().text(Company::NextInvNo), "1051");
}

TEST_F(InterestTest, TheScanAgesTheCustomersAsOfTheInvoiceDateFirst) {
    // An invoice of 40 days before the wizard's date, while the stored aging still shows
    // it as current.
    InvoiceEditor ed = newEditor();
    ed.entry.number = "900";
    ed.entry.date = "02/04/2024";
    setRow(ed, 1, "A", "1", "Work", "200.00", "N");
    saveNew(ed);
    app::Session session = scanSession();
    InterestSettings s = settings();
    s.invoiceDate = "03/15/2024";
    invarro::testing::RecordingProgress progress;
    auto scan = app::ScanInterest(session, s, prompter, progress, app::RunHooks{});
    ASSERT_TRUE(scan);
    ASSERT_EQ(scan->rows.size(), 1u);
    EXPECT_EQ(scan->rows[0].overdue, M(20000));
    EXPECT_EQ(scan->rows[0].charge, M(300));

    // A flat fee of zero stops before anything is read.
    s.flat = true;
    s.flatRate = "";
    prompter.expect(std::string(kNoFlatRate));
    EXPECT_FALSE(app::ScanInterest(session, s, prompter, progress, app::RunHooks{}));
    EXPECT_TRUE(prompter.done());
}

TEST_F(InterestTest, TheFlatRateFieldRefusesNegativeAndNonNumericText) {
    prompter.expect(std::string(kNegativeFlatRate));
    EXPECT_FALSE(CheckFlatRate("-5", prompter));
    prompter.expect(std::string(kFlatRateNotNumber));
    EXPECT_FALSE(CheckFlatRate("5x", prompter));
    EXPECT_TRUE(CheckFlatRate("12.50", prompter));
    EXPECT_TRUE(CheckFlatRate(".5", prompter));
    EXPECT_TRUE(prompter.done());
}

TEST_F(InterestTest, RatesAreAboveZeroAndAtMostAHundredPercentWrittenAsPlainNumbers) {
    for (const char* good : {"1.5", "1.50", " 2 ", "0.001", "100", "100.000", "99.999", ".5"})
        EXPECT_TRUE(ParseInterestRate(good)) << good;
    for (const char* bad : {"", "0", "0.000", "-1", "+1", "100.001", "999999", "1,2,3", "1,5",
                            "1.2345", "1e2", "1 5", "1..5", ".", "x", "１"})
        EXPECT_FALSE(ParseInterestRate(bad)) << bad;
    EXPECT_EQ(ParseInterestRate("1.5")->units(), 15000);
    EXPECT_EQ(StoredRateText(*ParseInterestRate("1.5")), "1.50");
    EXPECT_EQ(StoredRateText(*ParseInterestRate("1.125")), "1.125");
    EXPECT_EQ(StoredRateText(*ParseInterestRate("100")), "100.00");

    InterestSettings s = settings();
    EXPECT_FALSE(CheckInterestSettings(s));
    s.percent = "1,2,3";
    ASSERT_TRUE(CheckInterestSettings(s));
    EXPECT_EQ(CheckInterestSettings(s)->field, InterestField::Percent);
    EXPECT_EQ(CheckInterestSettings(s)->text, kBadPercent);
    s.percent = "2";
    for (const char* bad : {"-0.01", "100", "99.999", "x"}) {
        s.minimum = bad;
        ASSERT_TRUE(CheckInterestSettings(s)) << bad;
        EXPECT_EQ(CheckInterestSettings(s)->field, InterestField::Minimum) << bad;
    }
    s.minimum = "99.99";
    EXPECT_FALSE(CheckInterestSettings(s));
    // With a flat fee the rate and the minimum do not count; the fee does.
    s.flat = true;
    s.percent = "-5";
    s.minimum = "x";
    for (const char* bad : {"-5", "1000", "5x", "0"}) {
        s.flatRate = bad;
        ASSERT_TRUE(CheckInterestSettings(s)) << bad;
        EXPECT_EQ(CheckInterestSettings(s)->field, InterestField::FlatRate) << bad;
    }
    s.flatRate = "999.99";
    EXPECT_FALSE(CheckInterestSettings(s));
}

TEST_F(InterestTest, ARateOutOfBoundsStopsTheScanBeforeAnyCustomerIsAged) {
    const int32_t rec = agedCustomer("C200", "Baker Ltd", 0, 10000, 0, 0);
    const data::CustomerRecord before = customer(rec);
    app::Session session = scanSession();
    InterestSettings s = settings();
    s.percent = "999999";
    invarro::testing::RecordingProgress progress;
    prompter.expect(std::string(kBadPercent));
    EXPECT_FALSE(app::ScanInterest(session, s, prompter, progress, app::RunHooks{}));
    EXPECT_TRUE(prompter.done());
    customers = storage::OpenFileblock(name(data::FileKind::Customer), false);
    // The aging run would have moved the amounts into the current period.
    EXPECT_EQ(customer(rec), before);
}

TEST_F(InterestTest, ChargesThatWouldNotFitTheirFieldsWriteNothing) {
    // A balance that leaves no room for the charge in its ten characters.
    const int32_t rec = agedCustomer("C200", "Baker Ltd", 0, 0, 0, 999990000);
    agedCustomer("C300", "Carter Inc", 0, 10000, 0, 0);
    InterestSettings s = settings();
    s.percent = "100";
    InterestScan scan = ScanCustomers(customers, s);
    ASSERT_EQ(scan.rows.size(), 2u);
    const data::CompanyRecord co = storedCompany();
    const int32_t invoicesBefore = storage::UsedRecordCount(invoices);
    prompter.expect(
        "No interest invoice was written: the balance of customer C200 would be "
        "more than its field can hold.");
    InterestOutcome out = generate(scan, s);
    EXPECT_TRUE(prompter.done());
    EXPECT_EQ(out.created, 0);
    EXPECT_FALSE(out.refused.empty());
    EXPECT_EQ(storage::UsedRecordCount(invoices), invoicesBefore);
    EXPECT_EQ(customer(rec).money(Customer::Balance), M(999990000));
    EXPECT_EQ(storedCompany(), co);

    // Settings out of bounds reaching the generation the same.
    s.percent = "-1";
    prompter.expect(std::string(kBadPercent));
    EXPECT_EQ(generate(scan, s).created, 0);
    EXPECT_EQ(storage::UsedRecordCount(invoices), invoicesBefore);

    // A run that fits stores its rate and minimum as the fields keep them.
    scan.rows.erase(scan.rows.begin());
    s.percent = "1.5";
    s.minimum = ".1";
    EXPECT_EQ(generate(scan, s).created, 1);
    EXPECT_EQ(storedCompany().text(Company::IntPercent), "1.50");
    EXPECT_EQ(storedCompany().text(Company::IntMinCharge), "0.10");
}

TEST_F(InterestTest, TheReportSaysWhatWasChargedAndTotalsTheRows) {
    agedCustomer("C200", "Baker Ltd", 0, 10000, 0, 0);
    agedCustomer("C300", "Carter Inc", 0, 0, 0, 123456);
    InterestSettings s = settings();
    InterestScan scan = ScanCustomers(customers, s);
    auto lines = InterestReportLines(scan, s, company, platform::LocalDateTime{2024, 3, 15, 14, 5});
    EXPECT_EQ(lines[1], "Date: Friday, March 15, 2024, 02:05 PM");
    EXPECT_EQ(lines[3], "Created Invoices Dated: 03/15/2024 and charged 1.5 percent interest.");
    const std::string& carter = lines[lines.size() - 3];
    EXPECT_NE(carter.find("Carter Inc"), std::string::npos);
    EXPECT_NE(carter.find("1,234.56"), std::string::npos);
    // The amounts stand right-aligned, so the decimal points line up.
    EXPECT_EQ(carter.find("1,234.56") + 8, lines[lines.size() - 4].find("100.00") + 6);
    EXPECT_NE(lines.back().find("Totals:"), std::string::npos);
    EXPECT_NE(lines.back().find("1,334.56"), std::string::npos);
    s.flat = true;
    s.flatRate = "25";
    scan = ScanCustomers(customers, s);
    lines = InterestReportLines(scan, s, company, platform::LocalDateTime{2024, 3, 15, 14, 5});
    EXPECT_EQ(lines[3],
              "Created Invoices Dated: 03/15/2024 and charged a flat rate of 25.00 as fee.");
}

}  // namespace
}  // namespace invarro::invoicing
