// The invoice manager's texts: header and rows, the six orders and the customer filter
// through the browser, the quick view of each type, and the batch-print selection.

#include <gtest/gtest.h>

#include "InvoiceFixture.h"
#include "invoicing/InvList.h"
#include "storage/Browser.h"

namespace invarro::invoicing::testing {
namespace {

using data::Company;
using data::Invoice;

TEST(InvListRowTest, HeaderAndRowLineUpInFixedColumns) {
    const std::string h = ManagerHeader();
    ASSERT_EQ(h.size(), 128u);
    EXPECT_EQ(h.substr(0, 108),
              "Year/Mo/Dy T Invoice#  Cust#    Short Name  Grand Total   Amount Due  Paid Amount "
              "Key Code Date Paid  CO#   ");

    data::InvoiceRecord r = MakeInvoice({.no = "1043",
                                         .cust = "1001",
                                         .date = {2024, 3, 5},
                                         .total = "1234.50",
                                         .paid = "234.50",
                                         .keyCode = "Web"},
                                        data::DateOrder::MonthFirst);
    const std::string row = ManagerRow(r);
    ASSERT_EQ(row.size(), 128u);
    EXPECT_EQ(row.substr(0, 108),
              "2024/03/05 I 1043      1001     Short1001      1,234.50     1,000.00       234.50 "
              "Web                 1     ");
    // Each column starts under its title.
    EXPECT_EQ(h.find("Invoice#"), row.find("1043"));
    EXPECT_EQ(h.find("Key Code"), row.find("Web"));
}

TEST(InvListRowTest, LongTextIsCutToItsColumnAndPaidRowsShowTheirDate) {
    data::InvoiceRecord r =
        MakeInvoice({.no = "1", .date = {2024, 3, 5}, .total = "9999999.99", .paid = "9999999.99"},
                    data::DateOrder::MonthFirst);
    r.setText(Invoice::ShortName, "ABCDEFGHIJ");
    const std::string row = ManagerRow(r);
    EXPECT_EQ(row.size(), 128u);
    EXPECT_NE(row.find("ABCDEFGHIJ 9,999,999.99         0.00 9,999,999.99"), std::string::npos);
    EXPECT_NE(row.find("2024/03/05 1"), std::string::npos);  // date paid, then the company
}

TEST(InvListRowTest, AHeaderWithoutAmountsShowsAsABadRecord) {
    data::InvoiceRecord r = MakeInvoice({.no = "1"}, data::DateOrder::MonthFirst);
    EXPECT_FALSE(IsBadRecord(r));
    for (auto field : {Invoice::Total, Invoice::BalanceDue, Invoice::Paid}) {
        data::InvoiceRecord bad = r;
        bad.setText(field, "  ");
        EXPECT_TRUE(IsBadRecord(bad));
        const std::string row = ManagerRow(bad);
        EXPECT_NE(
            row.find(" DELETE ME 1001     BAD RECORD            0            0            0 "),
            std::string::npos)
            << row;
    }
}

// The invoice numbers of the browser's first page on a key, filtered or not.
class OrderTest : public InvoiceTest {
  protected:
    std::vector<std::string> page(int keyNo, const std::string& filter = {}) {
        data::InvoiceRecord buffer;
        storage::Browser b(invoices, keyNo, buffer.data(), int32_t(buffer.size()));
        b.OnBuildRow = [&](storage::RowRecord& row) {
            row.text = data::TrimmedText(buffer.text(Invoice::InvNo));
            return 0;
        };
        b.OnPerformFilter = [&](storage::RowRecord&, bool& useIt) {
            useIt = FilterAccepts(buffer, filter);
            return 0;
        };
        b.SetRowsInView(20);
        b.SetFilterEnabled(!filter.empty());
        b.FirstPage();
        std::vector<std::string> out;
        for (int i = 1; i <= b.FilledRows(); ++i)
            out.push_back(b.Row(i).text);
        return out;
    }
    void addSet() {
        Draft a{.no = "300", .type = 'I', .cust = "20", .date = {2024, 2, 1}, .keyCode = "Web"};
        Draft b{.no = "100", .type = 'Q', .cust = "3", .date = {2024, 3, 1}, .keyCode = "Phone"};
        Draft c{.no = "200", .type = 'G', .cust = "20", .date = {2024, 1, 15}, .keyCode = "Alpha"};
        Draft d{.no = "DP15001",
                .type = 'D',
                .cust = "3 ",
                .date = {2023, 12, 1},
                .total = "0.00",
                .paid = "10.00",
                .keyCode = "Deposit"};
        // Paid on 10 March 2024, 1 March and never.
        Draft e{.no = "150", .type = 'I', .cust = "7", .date = {2024, 3, 10}, .paid = "100.00"};
        Draft f{.no = "50",
                .type = 'R',
                .cust = "20",
                .date = {2024, 1, 1},
                .paid = "100.00",
                .keyCode = "Monthly"};
        for (const Draft& s : {a, b, c, d, e, f})
            add(s);
    }
};

TEST_F(OrderTest, TheSixKeysGiveTheSixOrders) {
    addSet();
    using V = std::vector<std::string>;
    EXPECT_EQ(page(1), (V{"100", "150", "200", "300", "50", "DP15001"}));
    // Equal keys stay in the order the records were added.
    EXPECT_EQ(page(2), (V{"300", "200", "50", "100", "DP15001", "150"}));
    EXPECT_EQ(page(3), (V{"DP15001", "50", "200", "300", "100", "150"}));
    EXPECT_EQ(page(4), (V{"200", "DP15001", "50", "150", "100", "300"}));
    EXPECT_EQ(page(5), (V{"DP15001", "200", "150", "300", "100", "50"}));
    // Open records (the deposit too) have an empty date paid and come first.
    EXPECT_EQ(page(6), (V{"300", "100", "200", "DP15001", "50", "150"}));
    ASSERT_EQ(kDisplayOrders.size(), 6u);
    for (size_t i = 0; i < kDisplayOrders.size(); ++i)
        EXPECT_EQ(kDisplayOrders[i].keyNo, int(i) + 1);
    EXPECT_EQ(kDisplayOrders[kOpeningKey - 1].menuText, "By Invoice &Date");
}

TEST_F(OrderTest, TheFilterKeepsOneCustomerComparedTrimmed) {
    addSet();
    using V = std::vector<std::string>;
    EXPECT_EQ(page(1, "20"), (V{"200", "300", "50"}));
    EXPECT_EQ(page(3, "3"), (V{"DP15001", "100"}));
    EXPECT_EQ(page(3, "2"), V{});
    data::InvoiceRecord r = MakeInvoice({.no = "1", .cust = " 42 "}, data::DateOrder::MonthFirst);
    EXPECT_EQ(FilterNumber(r), "42");
    EXPECT_TRUE(FilterAccepts(r, "42"));
    EXPECT_FALSE(FilterAccepts(r, "420"));
    EXPECT_FALSE(FilterAccepts(r, "4"));
    EXPECT_EQ(FilterLabelText("42"), "Filtering Customer#: 42");
}

// ------------------------------------------------------------------ quick view

class ViewTest : public InvoiceTest {
  protected:
    QuickView view(const Draft& s, bool withCustomer = false) {
        std::optional<data::CustomerRecord> c;
        if (withCustomer) c = customer(s.cust);
        return MakeQuickView(MakeInvoice(s, order()), c, company);
    }
};

TEST_F(ViewTest, EachTypeHasItsWording) {
    struct Case {
        char type;
        char style;
        const char* wording;
        const char* style2;
    };
    const Case cases[] = {
        {'I', 'P', "I - Regular Invoice", "(Product Invoice)"},
        {'I', 'M', "I - Regular Invoice", "(Memo Invoice)"},
        {'Q', 'P', "Q - Quote", "(Product Quote)"},
        {'Q', 'M', "Q - Quote", "(Memo Quote)"},
        {'G', 'P', "G - Repeat Billing Generated Invoice", "(Product Invoice)"},
        {'X', 'P', "X - Partial Payment Record against Type Z", "(Payment Record)"},
        {'Z', 'M', "Z - Invoice has Partial Payment(s) of Type X", "(Memo Invoice)"},
        {'D', 'D', "D - Deposit on Account", "(Payment Record)"},
        {'T', 'P', "T - Deposit Taken (offsets type D)", "(Applied Deposit)"},
    };
    for (const Case& c : cases) {
        QuickView v = view({.no = "9", .type = c.type, .style = c.style});
        EXPECT_EQ(v.typeWording, c.wording);
        EXPECT_EQ(v.styleWording, c.style2) << c.type;
    }
    QuickView master = view({.no = "R1", .type = 'R', .created = "3"});
    EXPECT_EQ(master.typeWording, "R - Repeat Billing Master Record (Created: 3)");
    // Lower-case codes from other programs are read as their upper-case form.
    data::InvoiceRecord lower = MakeInvoice({.no = "1"}, order());
    lower.setText(Invoice::TransType, "q");
    EXPECT_EQ(TypeWording(lower), "Q - Quote");
    lower.setText(Invoice::TransType, "");
    EXPECT_EQ(TypeWording(lower), "");
}

TEST_F(ViewTest, QuotesHideThePaymentLinesAndChangeTheirCaptions) {
    QuickView q = view({.no = "Q1", .type = 'Q', .total = "80.00"});
    EXPECT_EQ(q.dateCaption, "Quote Date:");
    EXPECT_EQ(q.numberCaption, "Quote Number:");
    EXPECT_EQ(q.totalCaption, "Quote Total:");
    EXPECT_FALSE(q.showPaidAndBalance);
    QuickView i = view({.no = "1", .total = "1234.00", .paid = "234.00"});
    EXPECT_EQ(i.dateCaption, "Invoice Date:");
    EXPECT_EQ(i.numberCaption, "Invoice Number:");
    EXPECT_EQ(i.totalCaption, "Invoice Total:");
    EXPECT_TRUE(i.showPaidAndBalance);
    EXPECT_EQ(i.total, "1,234.00");
    EXPECT_EQ(i.paid, "234.00");
    EXPECT_EQ(i.balance, "1,000.00");
}

TEST_F(ViewTest, APartlyPaidInvoiceShowsWhatItsPaymentRecordsPaid) {
    // The invoice's own Paid stays as it was; its balance went down by the payments.
    data::InvoiceRecord z = MakeInvoice({.no = "5", .type = 'Z', .total = "500.00"}, order());
    ASSERT_TRUE(z.setMoney(Invoice::BalanceDue, data::Money::FromCents(32500)));
    QuickView v = MakeQuickView(z, std::nullopt, company);
    EXPECT_EQ(v.paid, "175.00");
    EXPECT_EQ(v.balance, "325.00");
    EXPECT_FALSE(v.customerFound);
}

TEST_F(ViewTest, PrintedAndEMailedMarks) {
    EXPECT_EQ(view({.no = "1"}).printed, "");
    EXPECT_EQ(view({.no = "1", .printed = true}).printed, "*Printed*");
    EXPECT_EQ(view({.no = "1", .printed = true, .eMailed = "ab"}).printed, "*Printed*");
    EXPECT_EQ(view({.no = "1", .printed = true, .eMailed = "04/02/2024"}).printed,
              "E-Mailed: 04/02/2024");
}

TEST_F(ViewTest, AMasterShowsItsNextDueDateInTheCompanysOrder) {
    QuickView v = view({.no = "R1", .type = 'R', .date = {2024, 3, 5}, .nextDue = "04/05/2024"});
    EXPECT_EQ(v.date, "03/05/2024 - Next Due: 04/05/2024");
    company.setText(Company::DateFormatCode, "D");
    v = view({.no = "R1", .type = 'R', .date = {2024, 3, 5}, .nextDue = "04/05/2024"});
    EXPECT_EQ(v.date, "05/03/2024 - Next Due: 05/04/2024");
    v = view({.no = "R1", .type = 'R', .date = {2024, 3, 5}, .nextDue = ""});
    EXPECT_EQ(v.date, "05/03/2024 - Next Due: ");
}

TEST_F(ViewTest, TheCustomersAccountComesFromTheCustomerFile) {
    addCustomer("1001", 123456, {100000, 20000, 3456, 0});
    company.setText(Company::AgingCaption1, "0-30: ");
    QuickView v = view({.no = "1", .cust = "1001"}, true);
    EXPECT_TRUE(v.customerFound);
    EXPECT_EQ(v.customerName, "Customer 1001");
    EXPECT_EQ(v.customerNo, "1001");
    EXPECT_EQ(v.customerBalance, "1,234.56");
    EXPECT_EQ(v.lastPayDate, "02/15/2024");
    EXPECT_EQ(v.lastInvNo, "77");
    EXPECT_EQ(v.phone, "(515) 555-0100");
    EXPECT_EQ(v.aging, (std::array<std::string, 4>{"1,000.00", "200.00", "34.56", "0.00"}));
    EXPECT_EQ(v.agingCaptions[0], "0-30: ");
    EXPECT_EQ(v.agingCaptions[3], "Over 90: ");

    InvoiceFiles f = files();
    EXPECT_TRUE(
        FindInvoiceCustomer(f, MakeInvoice({.no = "1", .cust = "1001"}, order()), prompter));
    // "100" is not "1001".
    EXPECT_FALSE(
        FindInvoiceCustomer(f, MakeInvoice({.no = "1", .cust = "100"}, order()), prompter));
}

// ------------------------------------------------------------------ batch print

TEST_F(InvoiceTest, BatchPrintSelectsUnprintedInvoicesInRecordOrder) {
    add({.no = "5"});
    add({.no = "6", .printed = true});
    add({.no = "2", .type = 'G'});
    add({.no = "Q1", .type = 'Q'});
    add({.no = "R1", .type = 'R'});
    add({.no = "3", .type = 'Z'});
    add({.no = "3", .type = 'X'});
    add({.no = "DP1", .type = 'D'});
    add({.no = "DP1", .type = 'T'});
    add({.no = "8", .type = 'M'});
    BatchSelection s = BatchPrintNumbers(invoices);
    EXPECT_TRUE(s.ok);
    EXPECT_EQ(s.numbers, (std::vector<std::string>{"5", "2", "3", "8"}));
}

TEST_F(InvoiceTest, BatchDialogTextsAndTheNumberToPrint) {
    company.setByte(Company::PrintPackSlip, 1);
    company.setByte(Company::PrintFileCopy, 0);
    BatchTexts p = BatchDialogTexts(4, false, company);
    EXPECT_EQ(p.lines[0], "There are 4 invoice(s) to print.");
    EXPECT_EQ(p.lines[1], "Packing Slips will be printed.");
    EXPECT_EQ(p.lines[2], "File Copies are turned off.");
    EXPECT_EQ(p.button, "&Print");
    company.setByte(Company::PrintPackSlip, 0);
    company.setByte(Company::PrintFileCopy, 1);
    p = BatchDialogTexts(4, false, company);
    EXPECT_EQ(p.lines[1], "Packing Slips are turned off.");
    EXPECT_EQ(p.lines[2], "File Copies will be printed.");
    BatchTexts e = BatchDialogTexts(2, true, company);
    EXPECT_EQ(e.lines,
              (std::array<std::string, 3>{"There are 2 invoice(s) to e-mail.", "* E-Mail Mode *",
                                          "(No packing slips or copies.)"}));
    EXPECT_EQ(e.button, "&E-Mail");

    EXPECT_EQ(BatchCount("", 4), std::nullopt);
    EXPECT_EQ(BatchCount("    ", 4), std::nullopt);
    EXPECT_EQ(BatchCount("2   ", 4), 2);
    EXPECT_EQ(BatchCount("9999", 4), 4);
    EXPECT_EQ(BatchCount("0", 4), 0);
}

}  // namespace
}  // namespace invarro::invoicing::testing
