// The reports on a company built here: rows, sub-totals and grand totals against sums
// computed in the test, the wizard's presets and date checks, the chart's feeding, and
// the text and page output.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "OutputFixture.h"
#include "data/Ansi.h"
#include "data/Company.h"
#include "data/Fileblocks.h"
#include "data/Keys.h"
#include "data/Update.h"
#include "output/Rpt.h"
#include "output/Rptselct.h"
#include "storage/Engine.h"
#include "support/RecordingCanvas.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::output {
namespace {

using data::Date;
using data::Invoice;
using data::InvoiceLine;
using data::Money;

Money M(int64_t cents) {
    return Money::FromCents(cents);
}

struct Inv {
    std::string no, type, cust;
    Date date;
    int64_t net = 0, tax = 0, paid = 0;
    std::string paidDate;  // sort date
    std::string keyCode = "None";
    std::string rate = "5";
};

// The company of the customer-file fixture with aging settings, and its invoice and line
// files.
class ReportTest : public CustomerFileTest {
  protected:
    void SetUp() override {
        CustomerFileTest::SetUp();
        company.setText(data::Company::AgingDays1, "30");
        company.setText(data::Company::AgingDays2, "60");
        company.setText(data::Company::AgingDays3, "90");
        company.setText(data::Company::AgingCaption1, "Current");
        company.setText(data::Company::AgingCaption2, "31-60");
        company.setText(data::Company::AgingCaption3, "61-90");
        for (auto kind : {data::FileKind::Invoice, data::FileKind::InvoiceLine}) {
            const std::string name = data::FileblockName(dir.path(), kind, std::string("1"));
            ASSERT_TRUE(data::CreateBusinessFileblock(name, data::KindOf(kind)));
            (kind == data::FileKind::Invoice ? invoices : lines) =
                storage::OpenFileblock(name, false);
            ASSERT_TRUE(storage::EngineOk);
        }
    }
    void TearDown() override {
        if (invoices) storage::CloseFileblock(invoices);
        if (lines) storage::CloseFileblock(lines);
        CustomerFileTest::TearDown();
    }

    void add(const Inv& i) {
        data::InvoiceRecord r = data::NewRecord<Invoice>();
        r.setText(Invoice::InvNo, i.no);
        r.setText(Invoice::TransType, i.type);
        r.setText(Invoice::CustNo, i.cust);
        r.setText(Invoice::ShortName, "SN" + i.cust);
        r.setText(Invoice::KeyCode, i.keyCode);
        r.setText(Invoice::TaxRate, i.rate);
        data::SetInvoiceDate(r, i.date, data::DateOrder::MonthFirst);
        const Money total = M(i.net + i.tax);
        ASSERT_TRUE(r.setMoney(Invoice::Net, M(i.net)) && r.setMoney(Invoice::Tax, M(i.tax)) &&
                    r.setMoney(Invoice::Total, total) && r.setMoney(Invoice::Paid, M(i.paid)) &&
                    r.setMoney(Invoice::BalanceDue, total - M(i.paid)));
        r.setText(Invoice::PaidDate, i.paidDate);
        r.setText(Invoice::PaidFlag, (total - M(i.paid)).isZero() ? "P" : "");
        if (i.type == "R") {
            r.setText(Invoice::NextDue, "04/15/2024");
            r.setText(Invoice::RepeatCreated, "3");
        }
        ASSERT_TRUE(data::AddBusinessRecord(invoices, r, prompter).ok());
    }
    void addLine(const std::string& inv, const std::string& style, const std::string& code,
                 const std::string& text, const std::string& sortDate) {
        data::InvoiceLineRecord l;
        l.setText(InvoiceLine::LineText, text);
        l.setText(InvoiceLine::LineStyle, style);
        l.setText(InvoiceLine::InvNo, inv);
        l.setText(InvoiceLine::LineDate, sortDate);
        l.setText(InvoiceLine::ProdCode, code);
        l.setText(InvoiceLine::CustNo, "7");
        l.setText(InvoiceLine::ShortName, "SN7");
        l.setText(InvoiceLine::LineNo, data::LineNoText(++lineNo_));
        l.setText(InvoiceLine::LineKey, data::LineKeyText(inv, data::LineNoText(lineNo_)));
        ASSERT_TRUE(data::AddBusinessRecord(lines, l, prompter).ok());
    }

    ReportSource source(platform::LocalDateTime now = {2024, 3, 31, 13, 0, 0}) {
        ReportSource s;
        s.invoices = invoices;
        s.lines = lines;
        s.company = &company;
        s.now = now;
        return s;
    }
    ReportRun run(ReportId id, std::string from = "01/01/2024", std::string to = "12/31/2024",
                  std::string filter = {}, platform::LocalDateTime now = {2024, 3, 31, 13, 0, 0}) {
        ReportChoice c;
        c.report = id;
        c.from = from;
        c.to = to;
        c.filter = filter;
        return RunReport(c, source(now));
    }

    // The standard company: invoices of several types in and around 2024.
    void fill() {
        add({"101", "I", "7", {2024, 1, 5}, 10000, 500, 10500, "2024/02/01"});
        add({"102", "I", "8", {2024, 1, 20}, 20000, 1000, 5000, ""});
        add({"103", "I", "7", {2024, 2, 3}, 0, 0, 0, ""});        // zero I: listed
        add({"104", "G", "9", {2024, 2, 9}, 0, 0, 0, ""});        // zero G: left out
        add({"105", "G", "9", {2024, 2, 10}, 4000, 200, 0, ""});  // generated: listed
        add({"Q1", "Q", "7", {2024, 2, 11}, 3000, 150, 0, ""});   // quote
        add({"R1", "R", "8", {2024, 1, 2}, 2500, 0, 0, ""});      // repeat master
        add({"106", "I", "8", {2023, 12, 31}, 999, 0, 0, ""});    // before the range
        add({"107", "I", "9", {2025, 1, 1}, 888, 0, 0, ""});      // after the range
    }

    storage::Fileblock* invoices = nullptr;
    storage::Fileblock* lines = nullptr;

  private:
    int lineNo_ = 0;
};

std::vector<std::string> Column(const ReportView& v, size_t c) {
    std::vector<std::string> out;
    for (const ReportRow& r : v.rows())
        if (r.kind == RowKind::Data) out.push_back(r.cells()[c]);
    return out;
}
const ReportRow* RowOf(const ReportView& v, RowKind kind, size_t nth = 0) {
    for (const ReportRow& r : v.rows())
        if (r.kind == kind && nth-- == 0) return &r;
    return nullptr;
}
int CountOf(const ReportView& v, RowKind kind) {
    int n = 0;
    for (const ReportRow& r : v.rows())
        n += r.kind == kind;
    return n;
}

TEST_F(ReportTest, InvoiceRegisterKeepsInvoicesInRangeAndTotalsThem) {
    fill();
    ReportRun r = run(ReportId::InvoiceRegister);
    ASSERT_EQ(r.status, ReportRunStatus::Ready) << r.message.text;
    const ReportView& v = *r.view;
    EXPECT_EQ(Column(v, 1), (std::vector<std::string>{"101", "102", "103", "105"}));
    EXPECT_EQ(v.rows()[0].cells(),
              (std::vector<std::string>{"Year/Mo/Dy", "Invoice#", "Short Name", "Customer#",
                                        "Net Amount", "Tax Amount", "Grand Total", "C"}));
    EXPECT_EQ(v.caption(), "Invoice Register by Date");
    EXPECT_EQ(v.table().head3, "Selected records from 01/01/2024 to 12/31/2024");
    // Sums computed here: nets 100.00 + 200.00 + 0 + 40.00, taxes 5 + 10 + 0 + 2.
    const ReportRow* grand = RowOf(v, RowKind::GrandTotal);
    ASSERT_NE(grand, nullptr);
    EXPECT_EQ(grand->cells()[3], "Grand Total");
    EXPECT_EQ(grand->cells()[4], "340.00");
    EXPECT_EQ(grand->cells()[5], "17.00");
    EXPECT_EQ(grand->cells()[6], "357.00");
    // Four dates: four runs with totals, and two months (January, February).
    EXPECT_EQ(CountOf(v, RowKind::Totals), 4);
    ASSERT_EQ(CountOf(v, RowKind::Month), 2);
    EXPECT_EQ(RowOf(v, RowKind::Month, 0)->cells()[1], "(January 2024)");
    EXPECT_EQ(RowOf(v, RowKind::Month, 0)->cells()[3], "Month Total");
    EXPECT_EQ(RowOf(v, RowKind::Month, 0)->cells()[6], "315.00");
    EXPECT_EQ(RowOf(v, RowKind::Month, 1)->cells()[1], "(February 2024)");
    EXPECT_EQ(RowOf(v, RowKind::Month, 1)->cells()[6], "42.00");
}

TEST_F(ReportTest, ResortingByCustomerSubTotalsEachCustomerAndFeedsTheChartOnce) {
    fill();
    ReportRun r = run(ReportId::InvoiceRegister);
    ASSERT_EQ(r.status, ReportRunStatus::Ready);
    ReportView& v = *r.view;
    const Money first = v.chart().grandTotal();
    EXPECT_EQ(first, M(35700));
    ASSERT_TRUE(v.sortOn(3));
    EXPECT_EQ(v.caption(), "Invoice Register by Customer#");
    EXPECT_EQ(v.rows()[0].cells()[0], "Customer#");
    EXPECT_EQ(v.rows()[0].cells()[3], "Year/Mo/Dy");
    EXPECT_EQ(Column(v, 0), (std::vector<std::string>{"7", "7", "8", "9"}));
    // No month rows when the first column is no date.
    EXPECT_EQ(CountOf(v, RowKind::Month), 0);
    ASSERT_EQ(CountOf(v, RowKind::Totals), 3);
    EXPECT_EQ(RowOf(v, RowKind::Totals, 0)->cells()[3], "** Totals");
    EXPECT_EQ(RowOf(v, RowKind::Totals, 0)->cells()[6], "105.00");
    EXPECT_EQ(RowOf(v, RowKind::Totals, 1)->cells()[6], "210.00");
    EXPECT_EQ(RowOf(v, RowKind::Totals, 2)->cells()[6], "42.00");
    // The chart is fed afresh: the same grand total, three customers.
    EXPECT_EQ(v.chart().grandTotal(), first);
    EXPECT_EQ(v.chart().fed(), 3);
    EXPECT_EQ(v.chart().entries()[0].name, "8");
    v.setSubTotals(false);
    EXPECT_EQ(CountOf(v, RowKind::Totals), 0);
    EXPECT_EQ(CountOf(v, RowKind::GrandTotal), 0);
    EXPECT_EQ(v.chart().grandTotal(), Money());
    v.setSubTotals(true);
    EXPECT_EQ(v.chart().grandTotal(), first);
    // Amount columns cannot be sorted on.
    EXPECT_FALSE(v.sortOn(4));
    EXPECT_FALSE(v.sortOn(-1));
    EXPECT_EQ(v.rows()[0].cells()[0], "Customer#");
}

TEST_F(ReportTest, QuoteAndKeyCodeReportsKeepTheirOwnRecords) {
    fill();
    add({"DP1", "D", "7", {2024, 2, 12}, -5000, 0, -5000, "2024/02/12"});
    ReportRun q = run(ReportId::QuoteReport);
    ASSERT_EQ(q.status, ReportRunStatus::Ready);
    // Only quotes: the deposit and the generated invoice are no quotes.
    EXPECT_EQ(Column(*q.view, 1), (std::vector<std::string>{"Q1"}));
    EXPECT_EQ(q.view->rows()[0].cells()[1], "Quote#");

    add({"108", "I", "7", {2024, 3, 1}, 700, 0, 0, "", ""});
    ReportRun k = run(ReportId::KeyCodeInquiry);
    ASSERT_EQ(k.status, ReportRunStatus::Ready);
    // Zero totals are left out here, even of type I; a blank key code shows "*none*".
    EXPECT_EQ(Column(*k.view, 2), (std::vector<std::string>{"101", "102", "105", "DP1", "108"}));
    EXPECT_EQ(Column(*k.view, 1).back(), "*none*");
}

TEST_F(ReportTest, PaymentAndTaxReportsTakePaidAndPartlyPaidRecords) {
    fill();
    // Paid in the range although dated before it: listed by its paid date.
    add({"109", "I", "8", {2023, 11, 1}, 1000, 0, 1000, "2024/01/03"});
    // Paid after the range: left out of the first pass; fully paid, so not in the second.
    add({"110", "I", "8", {2024, 6, 1}, 1000, 0, 1000, "2025/01/03"});
    // A deposit with a part used: never in the second pass.
    add({"DP2", "D", "9", {2024, 3, 3}, -3000, 0, -1000, ""});
    ReportRun p = run(ReportId::PaymentRegister);
    ASSERT_EQ(p.status, ReportRunStatus::Ready);
    // 109 paid 01/03, 101 paid 02/01, 102 partly paid dated 01/20.
    EXPECT_EQ(Column(*p.view, 1), (std::vector<std::string>{"109", "102", "101"}));
    EXPECT_EQ(Column(*p.view, 0),
              (std::vector<std::string>{"2024/01/03", "2024/01/20", "2024/02/01"}));
    const ReportRow* grand = RowOf(*p.view, RowKind::GrandTotal);
    EXPECT_EQ(grand->cells()[4], "325.00");  // totals 10 + 210 + 105
    EXPECT_EQ(grand->cells()[5], "165.00");  // paid 10 + 50 + 105
    EXPECT_EQ(grand->cells()[6], "160.00");  // balances 0 + 160 + 0

    ReportRun t = run(ReportId::TaxReport);
    ASSERT_EQ(t.status, ReportRunStatus::Ready);
    EXPECT_EQ(t.view->rows()[0].cells()[2], "Tax Rate");
    EXPECT_EQ(Column(*t.view, 2).front(), "5 %");
    EXPECT_EQ(RowOf(*t.view, RowKind::GrandTotal)->cells()[6], "15.00");
    // The key code column may be sorted on, the paid amount not.
    EXPECT_TRUE(t.view->sortOn(4));
    EXPECT_FALSE(t.view->sortOn(5));
}

TEST_F(ReportTest, ReceivablesAgeWithTheMainWindowsRuleAndRunWhenTheyAddUpToZero) {
    // Now is 31 March 2024, 13:00: 1 March is 30 days old (first period, though 30 days
    // and 13 hours have passed), 29 February 31 days (second).
    add({"201", "I", "7", {2024, 3, 1}, 10000, 0, 0, ""});
    add({"202", "I", "8", {2024, 2, 29}, 5000, 0, 0, ""});
    add({"203", "I", "8", {2023, 12, 1}, 1000, 0, 0, ""});  // 121 days: over 90
    add({"Q2", "Q", "8", {2024, 3, 1}, 1000, 0, 0, ""});    // quotes are no receivables
    add({"R2", "R", "8", {2024, 3, 1}, 1000, 0, 0, ""});
    add({"DP3", "D", "9", {2024, 3, 2}, -16000, 0, 0, "2024/03/02"});
    // The company's receivables total is zero: the deposit offsets the debts.
    ASSERT_TRUE(company.setMoney(data::Company::ARBalance, Money()));
    ReportRun r = run(ReportId::AccountsReceivable, "", "");
    ASSERT_EQ(r.status, ReportRunStatus::Ready) << r.message.text;
    const ReportView& v = *r.view;
    EXPECT_EQ(v.caption(), "A/R by Date");
    EXPECT_EQ(v.table().head3, "All unpaid records selected.");
    std::map<std::string, std::pair<std::string, std::string>> byNo;
    for (const ReportRow& row : v.rows())
        if (row.kind == RowKind::Data) byNo[row.cells()[2]] = {row.cells()[1], row.cells()[5]};
    ASSERT_EQ(byNo.size(), 4u);
    EXPECT_EQ(byNo["201"], (std::pair<std::string, std::string>{"Current", "30 Days"}));
    EXPECT_EQ(byNo["202"], (std::pair<std::string, std::string>{"31-60", "31 Days"}));
    EXPECT_EQ(byNo["203"], (std::pair<std::string, std::string>{"Over 90", "121 Days"}));
    EXPECT_EQ(byNo["DP3"].first, "Current");
    EXPECT_EQ(RowOf(v, RowKind::GrandTotal)->cells()[6], "0.00");
    // No month rows in this report.
    EXPECT_EQ(CountOf(v, RowKind::Month), 0);
}

// A stored line row as the invoice window writes it, in characters: quantity 10,
// description 32, price 10, taxable 1, extension 10.
std::string SalesRow(std::string_view q, std::string_view desc, std::string_view p,
                     std::string_view e) {
    return data::PadRight(q, 10) + data::PadRight(desc, 32) + data::PadRight(p, 10) + "T" +
           std::string(e);
}

// Sub-total lines are known in any letter case and anywhere in the description, but a
// word that merely starts alike is sold; codes keep their accented letters, trimmed.
TEST_F(ReportTest, SalesReportSkipsSubTotalsInAnyCaseAndKeepsAccents) {
    const std::string d = "2024/02/10";
    addLine("101", "P", "  CAFÉ ", SalesRow("3", "Subtotal kit", "2", "6.00"), d);
    addLine("101", "P", "", SalesRow("", "   parts sub-total", "", "6.00"), d);
    addLine("101", "P", "", SalesRow("", "SUB-TOTAL", "", "6.00"), d);
    addLine("101", "P", "Ñ1", SalesRow("-1", "Returned", "1,250.5", "-1,250.50"), d);
    addLine("101", "P", "X", SalesRow("2", "Crème brûlée", "4.5", "9.00"), d);
    ReportRun r = run(ReportId::SalesReport);
    ASSERT_EQ(r.status, ReportRunStatus::Ready);
    const ReportView& v = *r.view;
    EXPECT_EQ(Column(v, 2), (std::vector<std::string>{"Subtotal kit", "Returned", "Crème brûlée"}));
    EXPECT_EQ(Column(v, 1), (std::vector<std::string>{"CAFÉ", "Ñ1", "X"}));
    EXPECT_EQ(Column(v, 6), (std::vector<std::string>{"2.00", "1,250.50", "4.50"}));
    const ReportRow* grand = RowOf(v, RowKind::GrandTotal);
    EXPECT_EQ(grand->cells()[7], "4.000");
    EXPECT_EQ(grand->cells()[8], "-1,235.50");
}

// A discount of taxed and untaxed lines is stored as a pair of lines; the Sales Report
// shows it as one discount of both amounts. A lone half, or halves of different invoices,
// stay as they are.
TEST_F(ReportTest, SalesReportShowsADiscountPairAsOneDiscount) {
    const std::string d = "2024/02/10";
    addLine("101", "P", "PRINT", SalesRow("1", "Brochures", "700.00", "700.00"), d);
    addLine("101", "P", "DISCOUNT10",
            SalesRow("1", "10% Discount on taxed $700.00", "-70.00", "-70.00"), d);
    addLine("101", "P", "DISCOUNT10",
            SalesRow("1", "10% Discount on untaxed $617.50", "-61.75", "-61.75"), d);
    addLine("102", "P", "DISCOUNT5",
            SalesRow("1", "5% Discount on taxed $100.00", "-5.00", "-5.00"), d);
    addLine("103", "P", "DISCOUNT5",
            SalesRow("1", "5% Discount on untaxed $20.00", "-1.00", "-1.00"), d);
    ReportRun r = run(ReportId::SalesReport);
    ASSERT_EQ(r.status, ReportRunStatus::Ready);
    const ReportView& v = *r.view;
    EXPECT_EQ(Column(v, 2),
              (std::vector<std::string>{"Brochures", "10% Discount, taxed and untaxed",
                                        "5% Discount, taxed and untaxed",
                                        "5% Discount on untaxed $20.00"}));
    EXPECT_EQ(Column(v, 8), (std::vector<std::string>{"700.00", "-131.75", "-5.00", "-1.00"}));
    EXPECT_EQ(RowOf(v, RowKind::GrandTotal)->cells()[8], "562.25");
}

// The stored row's columns are counted in characters: an accented description, even
// one that fills its 32 characters, leaves the quantity, price and extension in place,
// and the text file pads it to 32 characters like any other.
TEST_F(ReportTest, SalesReportCutsAccentedRowsByCharacters) {
    const std::string d = "2024/02/10";
    const std::string full = "Crème brûlée façon grand-mère à€";  // 32 characters
    ASSERT_EQ(data::CharCount(full), 32u);
    addLine("101", "P", "É1", SalesRow("2", full, "4.5", "9.00"), d);
    addLine("102", "P", "E2", SalesRow("1,000", "Ünï", "0.0125", "12.50"), d);
    addLine("103", "P", "E3", SalesRow("3", "Plain", "1", "3.00"), d);
    ReportRun r = run(ReportId::SalesReport);
    ASSERT_EQ(r.status, ReportRunStatus::Ready);
    const ReportView& v = *r.view;
    EXPECT_EQ(Column(v, 2), (std::vector<std::string>{full, "Ünï", "Plain"}));
    EXPECT_EQ(Column(v, 1), (std::vector<std::string>{"É1", "E2", "E3"}));
    EXPECT_EQ(Column(v, 6), (std::vector<std::string>{"4.50", "0.01", "1.00"}));
    EXPECT_EQ(Column(v, 7), (std::vector<std::string>{"2.000", "1,000.000", "3.000"}));
    EXPECT_EQ(Column(v, 8), (std::vector<std::string>{"9.00", "12.50", "3.00"}));
    const ReportRow* grand = RowOf(v, RowKind::GrandTotal);
    EXPECT_EQ(grand->cells()[8], "24.50");

    // Every data line of the text file has its invoice number at the same character.
    std::vector<size_t> at;
    for (const std::string& line : ReportTextLines(v))
        for (const char* no : {"101", "102", "103"})
            if (const size_t p = line.find(std::string(" ") + no + " "); p != std::string::npos)
                at.push_back(data::CharCount(line.substr(0, p)));
    ASSERT_EQ(at.size(), 3u);
    EXPECT_EQ(at[0], at[1]);
    EXPECT_EQ(at[0], at[2]);

    // The filter finds accented words in any letter case.
    ReportRun f = run(ReportId::SalesReport, "01/01/2024", "12/31/2024", "BRÛLÉE");
    ASSERT_EQ(f.status, ReportRunStatus::Ready);
    EXPECT_EQ(Column(*f.view, 0), (std::vector<std::string>{d}));
    EXPECT_EQ(Column(*f.view, 3), (std::vector<std::string>{"101"}));
}

TEST_F(ReportTest, ReceivablesWithNothingOpenSayTheBalanceIsZero) {
    add({"301", "I", "7", {2024, 3, 1}, 100, 0, 100, "2024/03/01"});
    ReportRun r = run(ReportId::AccountsReceivable, "", "");
    EXPECT_EQ(r.status, ReportRunStatus::NoBalance);
    EXPECT_EQ(r.message.title, "Account Receivable Report");
    // With bad aging days the report cannot age and says so.
    add({"302", "I", "7", {2024, 3, 1}, 100, 0, 0, ""});
    company.setText(data::Company::AgingDays2, "x");
    r = run(ReportId::AccountsReceivable, "", "");
    EXPECT_EQ(r.status, ReportRunStatus::Failed);
}

TEST_F(ReportTest, SalesReportListsSoldLinesOnly) {
    const std::string d = "2024/02/10";
    addLine("101", "P", "WIDGET", SalesRow("2", "Blue widget", "12.5", "25.00"), d);
    addLine("101", "P", "", SalesRow("", "Sub-Total", "", "25.00"), d);
    addLine("101", "P", "", SalesRow("1,000", "Freight", "0.0125", "12.50"), d);
    addLine("102", "M", "SVC", SalesRow("", "Setup", "", ""), d);
    addLine("Q1", "Q", "WIDGET", SalesRow("9", "Quoted", "1", "9.00"), d);
    addLine("R1", "R", "WIDGET", SalesRow("9", "Repeat", "1", "9.00"), d);
    addLine("103", "P", "LATE", SalesRow("1", "Later", "1", "1.00"), "2025/01/01");
    ReportRun r = run(ReportId::SalesReport);
    ASSERT_EQ(r.status, ReportRunStatus::Ready);
    const ReportView& v = *r.view;
    // One date: the rows keep the order of the index.
    EXPECT_EQ(Column(v, 2), (std::vector<std::string>{"Blue widget", "Freight", "Setup"}));
    EXPECT_EQ(Column(v, 1), (std::vector<std::string>{"WIDGET", "*None*", "SVC"}));
    EXPECT_EQ(Column(v, 7), (std::vector<std::string>{"2.000", "1,000.000", "0.000"}));
    EXPECT_EQ(Column(v, 6), (std::vector<std::string>{"12.50", "0.01", "0.00"}));
    const ReportRow* grand = RowOf(v, RowKind::GrandTotal);
    EXPECT_EQ(grand->cells()[5], "Grand Total");
    EXPECT_EQ(grand->cells()[7], "1,002.000");
    EXPECT_EQ(grand->cells()[8], "37.50");
    // The filter looks in the description too, in any letter case.
    ReportRun f = run(ReportId::SalesReport, "01/01/2024", "12/31/2024", "  freight ");
    ASSERT_EQ(f.status, ReportRunStatus::Ready);
    EXPECT_EQ(Column(*f.view, 2), (std::vector<std::string>{"Freight"}));
    EXPECT_EQ(f.view->table().head3, "*** Filtered records selected for: FREIGHT");
}

TEST_F(ReportTest, RepeatListAndEmptyResultsAreToldWithTheirOwnWords) {
    ReportRun r = run(ReportId::RepeatBillingList, "", "");
    EXPECT_EQ(r.status, ReportRunStatus::Empty);
    EXPECT_EQ(r.message.text, "No repeat billing master invoices were found.");
    r = run(ReportId::InvoiceRegister);
    EXPECT_EQ(r.status, ReportRunStatus::Empty);
    EXPECT_EQ(r.message.title, "Invoice Register");
    EXPECT_EQ(r.message.text, "No matching records found for the dates entered.");
    fill();
    company.setText(data::Company::DateFormatCode, "D");
    ReportSource s = source();
    s.order = data::DateOrder::DayFirst;
    ReportChoice c;
    c.report = ReportId::RepeatBillingList;
    r = RunReport(c, s);
    ASSERT_EQ(r.status, ReportRunStatus::Ready);
    // The next due date, stored month first, in the row's one form of date, whatever the
    // company's order: a row never mixes "2024/01/02" with "15/04/2024".
    EXPECT_EQ(r.view->rows()[1].cells(), (std::vector<std::string>{"2024/01/02", "2024/04/15", "R1",
                                                                   "SN8", "8", "3", "25.00", "R"}));
    EXPECT_EQ(r.view->table().head3, "Master Repeat Billing List");
    // The filter matches nothing: empty.
    c.filter = "nobody";
    EXPECT_EQ(RunReport(c, s).status, ReportRunStatus::Empty);
}

TEST_F(ReportTest, WrongDatesKeepTheWizardOpen) {
    EXPECT_EQ(run(ReportId::InvoiceRegister, "13/45/2024", "12/31/2024").status,
              ReportRunStatus::BadFrom);
    ReportRun r = run(ReportId::InvoiceRegister, "01/01/2024", "02/30/2024");
    EXPECT_EQ(r.status, ReportRunStatus::BadTo);
    EXPECT_EQ(r.message.title, "TO Date");
    r = run(ReportId::InvoiceRegister, "03/01/2024", "02/01/2024");
    EXPECT_EQ(r.status, ReportRunStatus::Reversed);
    EXPECT_EQ(r.message.text, "Your beginning date is not older than your ending date.");
    // One day is a valid range.
    EXPECT_EQ(run(ReportId::InvoiceRegister, "03/01/2024", "03/01/2024").status,
              ReportRunStatus::Empty);
}

TEST(ReportPresets, DatesOnOrdinaryDaysMonthEndsAndLeapDays) {
    using data::DateOrder;
    auto p = [](DatePreset preset, Date today, DateOrder o = DateOrder::MonthFirst) {
        auto r = PresetDates(preset, today, o);
        return r ? r->from + "-" + r->to : std::string("none");
    };
    EXPECT_EQ(p(DatePreset::MonthToDate, {2024, 3, 5}), "03/01/2024-03/05/2024");
    EXPECT_EQ(p(DatePreset::MonthToDate, {2024, 3, 5}, DateOrder::DayFirst),
              "01/03/2024-05/03/2024");
    EXPECT_EQ(p(DatePreset::YearToDate, {2024, 3, 5}), "01/01/2024-03/05/2024");
    EXPECT_EQ(p(DatePreset::Last30Days, {2024, 3, 5}), "02/04/2024-03/05/2024");
    EXPECT_EQ(p(DatePreset::Last60Days, {2024, 1, 10}), "11/11/2023-01/10/2024");
    EXPECT_EQ(p(DatePreset::Last90Days, {2024, 3, 31}), "01/01/2024-03/31/2024");
    EXPECT_EQ(p(DatePreset::Last12Months, {2024, 2, 29}), "02/28/2023-02/29/2024");
    EXPECT_EQ(p(DatePreset::Last12Months, {2024, 2, 29}, DateOrder::DayFirst),
              "28/02/2023-29/02/2024");
    EXPECT_EQ(p(DatePreset::Last12Months, {2023, 7, 31}), "07/31/2022-07/31/2023");
    EXPECT_EQ(p(DatePreset::CurrentYear, {2024, 6, 1}), "01/01/2024-12/31/2024");
    EXPECT_EQ(p(DatePreset::PreviousYear, {2024, 6, 1}), "01/01/2023-12/31/2023");
    EXPECT_EQ(p(DatePreset::CurrentMonth, {2024, 2, 3}), "02/01/2024-02/29/2024");
    EXPECT_EQ(p(DatePreset::CurrentMonth, {2100, 2, 3}), "02/01/2100-02/28/2100");
    EXPECT_EQ(p(DatePreset::CurrentMonth, {2000, 2, 3}), "02/01/2000-02/29/2000");
    EXPECT_EQ(p(DatePreset::CurrentMonth, {2024, 4, 30}), "04/01/2024-04/30/2024");
    EXPECT_EQ(p(DatePreset::PreviousMonth, {2024, 1, 15}), "12/01/2023-12/31/2023");
    EXPECT_EQ(p(DatePreset::PreviousMonth, {2024, 3, 31}), "02/01/2024-02/29/2024");
    EXPECT_EQ(p(DatePreset::CustomDates, {2024, 3, 31}), "none");
    EXPECT_EQ(DatePresets().size(), 11u);
    EXPECT_EQ(FindPreset("Last 12 Months"), DatePreset::Last12Months);
    EXPECT_FALSE(FindPreset("Last 13 Months"));
}

TEST(ReportList, NamesAndSortChoices) {
    ASSERT_EQ(Reports().size(), 8u);
    EXPECT_EQ(Reports()[0].name, "Invoice Register");
    EXPECT_EQ(Reports()[7].name, "Quote Report");
    EXPECT_EQ(FindReport("a/r")->id, ReportId::AccountsReceivable);
    EXPECT_EQ(FindReport(" sales ")->id, ReportId::SalesReport);
    EXPECT_EQ(FindReport("Repeat Billing List")->id, ReportId::RepeatBillingList);
    EXPECT_EQ(FindReport("nothing"), nullptr);
    EXPECT_EQ(SortColumnFromChoice("2"), 1);
    EXPECT_EQ(SortColumnFromChoice("4"), 3);
    EXPECT_EQ(SortColumnFromChoice("9"), 3);
    EXPECT_EQ(SortColumnFromChoice("x"), 3);
    EXPECT_EQ(ReportPdfName("A/R by Date"), "Report-A-R by Date.pdf");
    EXPECT_EQ(ReportFilterText("  abcdefghijklmnopqrstuvwxyz "), "ABCDEFGHIJKLMNOPQRST");
}

TEST_F(ReportTest, TextFileLinesPadCellsByKind) {
    fill();
    ReportRun r = run(ReportId::InvoiceRegister);
    ASSERT_EQ(r.status, ReportRunStatus::Ready);
    const auto lines = ReportTextLines(*r.view);
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[0], "Invoice Register by Date");
    EXPECT_EQ(lines[1], "Harbor Light Print");
    EXPECT_EQ(lines[2], "Date: Sunday, March 31, 2024, 01:00 PM");
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[5],
              " Year/Mo/Dy   Invoice#     Short Name   Customer#      Net Amount   "
              "Tax Amount  Grand Total C");
    EXPECT_EQ(lines[6],
              " 2024/01/05   101          SN7          7                  100.00"
              "         5.00       105.00 I");
    const std::string path = dir.path() + "/report.txt";
    std::string error;
    ASSERT_EQ(SaveReportText(path, *r.view, &error), OutputStatus::Done) << error;
    // An unwritable place fails with a reason.
    EXPECT_EQ(SaveReportText(dir.path() + "/no/such/dir/r.txt", *r.view, &error),
              OutputStatus::Failed);
    EXPECT_FALSE(error.empty());
}

TEST_F(ReportTest, PagesCarryHeadersContinuationsAndTheClosingCount) {
    for (int i = 0; i < 120; ++i)
        add({"5" + std::to_string(100 + i),
             "I",
             std::to_string(i % 5),
             {2024, 1 + i % 12, 1 + i % 28},
             100 + i,
             0,
             0,
             ""});
    ReportRun r = run(ReportId::InvoiceRegister);
    ASSERT_EQ(r.status, ReportRunStatus::Ready);
    testing::RecordingCanvas canvas;
    ASSERT_EQ(PrintReport(canvas, *r.view, ReportDefaultFont(), false, "Invoice Register"),
              OutputStatus::Done);
    EXPECT_EQ(canvas.documentsEnded(), 1);
    ASSERT_GT(canvas.pagesBegun(), 2);
    const int pages = canvas.pagesBegun();
    const std::string of = " of " + std::to_string(pages);
    const auto first = canvas.textStrings(1);
    EXPECT_EQ(first[0], "Harbor Light Print");
    EXPECT_EQ(first[1], "Page 1" + of);
    EXPECT_NE(std::find(first.begin(), first.end(), "Continued on page 2 ..."), first.end());
    // Every page says which report it is, of which period, and which page of how many.
    for (int p = 1; p <= pages; ++p) {
        const auto page = canvas.textStrings(p);
        EXPECT_EQ(page[1], "Page " + std::to_string(p) + of) << p;
        EXPECT_EQ(page[2], "Invoice Register by Date") << p;
        EXPECT_EQ(page[4].rfind("Selected records from ", 0), 0u) << page[4];
    }
    const auto last = canvas.textStrings(pages);
    EXPECT_EQ(last.back(), "Report Complete. 120 records printed.");
    // Nothing is drawn below the page, and no ruled line touches a text.
    for (const auto& op : canvas.texts())
        EXPECT_LE(op.y2, canvas.pageHeight()) << op.text;
    int rules = 0;
    for (const auto& line : canvas.ops(testing::CanvasOp::Kind::Line)) {
        ++rules;
        // Clear of the text cell by an eighth of a line at least, the pen's width aside.
        const int clear = (line.pen.width + 1) / 2 + canvas.textHeight("MXjpy") / 8;
        for (const auto& text : canvas.texts()) {
            if (text.page != line.page || text.x2 < line.x || text.x > line.x2) continue;
            EXPECT_TRUE(line.y + clear <= text.y || line.y - clear >= text.y2)
                << "rule at " << line.y << " touches \"" << text.text << "\" (" << text.y << "-"
                << text.y2 << ") on page " << line.page;
        }
    }
    EXPECT_GT(rules, pages);

    testing::RecordingCanvas pdf;
    pdf.writeFiles(true);
    const ReportPdfOutcome out = WriteReportPdf(pdf, *r.view, ReportDefaultFont(), dir.path());
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(out.path, dir.path() + "/pdf/Report-Invoice Register by Date.pdf");
    EXPECT_TRUE(std::filesystem::exists(out.path));
    EXPECT_FALSE(std::filesystem::exists(out.path + ".new"));
    EXPECT_EQ(pdf.textStrings(1)[1], " Page: 1" + of);
    EXPECT_EQ(pdf.textStrings(pdf.pagesBegun()).back(), "Report Complete. 120 record(s) printed.");
}

}  // namespace
}  // namespace invarro::output
