// Customer statements: the rows a statement lists and their order, the grid, the e-mail
// text, the page layout on the recording canvas, and the batch selection and run.
#include "output/CStmnt.h"
#include "output/EMail.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "DocumentFixture.h"
#include "support/RecordingCanvas.h"
#include "support/RecordingProgress.h"

namespace invarro::output {
namespace {

using data::Company;
using data::Customer;
using data::Invoice;
using data::Money;
using testing::CanvasOp;
using testing::RecordingCanvas;
using testing::RecordingProgress;

Money M(int64_t cents) {
    return Money::FromCents(cents);
}

class StatementTest : public DocumentTest {
  protected:
    void SetUp() override {
        DocumentTest::SetUp();
        company.setText(Company::StatementCaption, "STATEMENT");
        company.setText(Company::StmntNote, "Thank you for your business");
        company.setText(Company::EMailAddress, "books@northside.example");
        company.setText(Company::AgingCaption1, "Current");
        company.setText(Company::AgingCaption2, "31-60");
        company.setText(Company::AgingCaption3, "61-90");
        company.setText(Company::AgingDays1, "30");
        company.setText(Company::AgingDays2, "60");
        company.setText(Company::AgingDays3, "90");
        company.setText(Company::CurrencySymbol, "$");
    }
    StatementFiles sfiles() const { return StatementFiles{files.customers, files.invoices}; }
    Statement build(const std::string& no, bool unpaidOnly, const StatementPeriod& period = {},
                    LabelQueue* labels = nullptr) {
        return BuildStatement(sfiles(), no, unpaidOnly, company, period, labels);
    }
    void setCustomer(const std::string& no, const std::function<void(data::CustomerRecord&)>& f) {
        data::CustomerRecord probe;
        probe.setText(Customer::CustNo, no);
        auto at = data::FindAtOrAfter<Customer>(files.customers, 2, probe);
        ASSERT_TRUE(at);
        data::CustomerRecord changed = at->record;
        f(changed);
        ASSERT_TRUE(
            data::ChangeBusinessRecord(files.customers, at->recNo, at->record, changed, prompter)
                .ok());
    }
    void setNote(int32_t recNo, const std::string& note) {
        auto r = data::ReadBusinessRecord<Invoice>(files.invoices, recNo);
        ASSERT_TRUE(r);
        data::InvoiceRecord c = *r;
        c.setText(Invoice::StmntNote, note);
        ASSERT_TRUE(data::ChangeBusinessRecord(files.invoices, recNo, *r, c, prompter).ok());
    }
    // A partial payment: the invoice becomes Z with its balance lowered, an X record
    // carries the payment.
    void partial(const std::string& no, const std::string& date, const std::string& total,
                 const std::string& amount) {
        Header z{.no = no, .type = 'Z', .total = total, .date = date};
        const int32_t rec = addHeader(z);
        auto r = data::ReadBusinessRecord<Invoice>(files.invoices, rec);
        data::InvoiceRecord c = *r;
        ASSERT_TRUE(c.setMoney(Invoice::BalanceDue,
                               data::MoneyFromStored(total) - data::MoneyFromStored(amount)));
        ASSERT_TRUE(data::ChangeBusinessRecord(files.invoices, rec, *r, c, prompter).ok());
        Header x{.no = no, .type = 'X', .paid = amount, .date = date};
        const int32_t xr = addHeader(x);
        auto xrec = data::ReadBusinessRecord<Invoice>(files.invoices, xr);
        data::InvoiceRecord xc = *xrec;
        ASSERT_TRUE(xc.setMoney(Invoice::BalanceDue, Money()));
        ASSERT_TRUE(data::ChangeBusinessRecord(files.invoices, xr, *xrec, xc, prompter).ok());
    }
    std::vector<std::string> numbers(const Statement& s) {
        std::vector<std::string> out;
        for (const auto& r : s.rows)
            out.push_back(r.number);
        return out;
    }
};

TEST_F(StatementTest, QuotesAndRepeatMastersAreNeverListedNorSummed) {
    addCustomer("100", "Harborview Dental Group");
    addHeader({.no = "1043", .total = "400.00", .date = "03/03/2024"});
    addHeader({.no = "Q7", .type = 'Q', .total = "9000.00", .date = "03/04/2024"});
    addHeader({.no = "R1", .type = 'R', .total = "75.00", .date = "03/05/2024"});
    for (bool unpaid : {false, true}) {
        const Statement s = build("100", unpaid);
        EXPECT_EQ(numbers(s), std::vector<std::string>{"1043"}) << unpaid;
        EXPECT_EQ(s.totalSum, M(40000));
        EXPECT_EQ(s.balanceSum, M(40000));
    }
}

TEST_F(StatementTest, RowsByDateThenNumberAsTextWithTypeWordingAndDisplayDates) {
    addCustomer("100", "Harborview Dental Group");
    company.setText(Company::InvoiceCaption, "I N V O I C E");
    // Filed out of date order; two on the same day order by number as text.
    addHeader({.no = "999", .total = "10.00", .date = "05/01/2024"});
    addHeader({.no = "1000", .total = "20.00", .date = "05/01/2024"});
    addHeader({.no = "G5", .type = 'G', .total = "30.00", .date = "01/15/2024"});
    addHeader({.no = "DP15001", .type = 'D', .total = "-50.00", .date = "02/01/2024"});
    const int32_t t = addHeader(
        {.no = "DP15001", .type = 'T', .total = "0.00", .paid = "-0.00", .date = "02/10/2024"});
    setNote(t, "Applied to 999");
    partial("1001", "03/01/2024", "100.00", "40.00");
    // A record of another customer whose number starts the same is not this customer's.
    addCustomer("1000", "Other");
    addHeader({.no = "5000", .cust = "1000", .total = "77.00", .date = "01/01/2024"});

    const Statement s = build("100", false);
    EXPECT_EQ(numbers(s), (std::vector<std::string>{"G5", "DP15001", "DP15001", "1001", "1001",
                                                    "1000", "999"}));
    ASSERT_EQ(s.rows.size(), 7u);
    EXPECT_EQ(s.rows[0].date, "01/15/2024");
    EXPECT_EQ(s.rows[0].reference, "Repeat Billing");
    EXPECT_EQ(s.rows[1].reference, "Deposit on Account");
    EXPECT_EQ(s.rows[2].reference, "Applied to 999");  // its own note wins
    std::vector<std::string> refs;
    for (const auto& r : s.rows)
        refs.push_back(r.reference);
    EXPECT_NE(std::find(refs.begin(), refs.end(), "Partial Payment Made"), refs.end());
    EXPECT_NE(std::find(refs.begin(), refs.end(), "Partial Payment Invoice"), refs.end());
    EXPECT_EQ(s.rows[6].reference, "Invoice");
    EXPECT_EQ(SelectedCountText(s), "There are 7 records selected.");

    company.setText(Company::DateFormatCode, "D");
    const Statement d = build("100", false);
    EXPECT_EQ(d.rows[0].date, "15/01/2024");
    const auto grid = StatementGrid(d, company);
    EXPECT_EQ(grid.front()[0], "Dy/Mo/Year");
    EXPECT_EQ(grid.back()[2], "*** Account Totals:");
    EXPECT_EQ(grid.back()[3], "$" + d.totalSum.shownText());
    EXPECT_EQ(grid.size(), d.rows.size() + 2);
}

TEST_F(StatementTest, UnpaidOnlyKeepsBalancesAndShowsPartialInvoicePaidAsTotalLessDue) {
    addCustomer("100", "Harborview Dental Group");
    addHeader({.no = "1", .total = "50.00", .paid = "50.00", .date = "01/02/2024"});
    partial("2", "02/02/2024", "1,200.00", "200.00");
    addHeader({.no = "3", .total = "-25.00", .date = "03/02/2024"});  // a credit is still owed
    const Statement all = build("100", false);
    EXPECT_EQ(all.rows.size(), 4u);
    const Statement s = build("100", true);
    ASSERT_EQ(numbers(s), (std::vector<std::string>{"2", "3"}));
    EXPECT_EQ(s.rows[0].type, 'Z');
    EXPECT_EQ(s.rows[0].paid, M(20000));  // stored Paid is 0.00
    EXPECT_EQ(s.paidSum, M(20000));
    EXPECT_EQ(s.balanceSum, M(100000 - 2500));
    EXPECT_EQ(s.totalSum, M(120000 - 2500));
}

TEST_F(StatementTest, PeriodLimitsRowsAndUnknownCustomerHasNoActivity) {
    addCustomer("100", "Harborview Dental Group");
    addHeader({.no = "1", .total = "10.00", .date = "01/31/2024"});
    addHeader({.no = "2", .total = "20.00", .date = "02/01/2024"});
    addHeader({.no = "3", .total = "30.00", .date = "02/29/2024"});
    addHeader({.no = "4", .total = "40.00", .date = "03/01/2024"});
    StatementPeriod feb{data::Date{2024, 2, 1}, data::Date{2024, 2, 29}};
    EXPECT_EQ(numbers(build("100", false, feb)), (std::vector<std::string>{"2", "3"}));
    StatementPeriod from{data::Date{2024, 3, 1}, std::nullopt};
    EXPECT_EQ(numbers(build("100", false, from)), std::vector<std::string>{"4"});

    const Statement none = build("NOSUCH", false);
    EXPECT_FALSE(none.customerFound);
    EXPECT_FALSE(none.hasActivity());
}

TEST_F(StatementTest, LabelQueueTakesTheCustomerOnlyWhenOneIsGiven) {
    addCustomer("100", "Harborview Dental Group");
    LabelQueue q;
    build("100", false);
    EXPECT_TRUE(q.empty());
    build("100", false, {}, &q);
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q.entries()[0], (LabelEntry{"100", "Harborview Dental Group", "WEST", "Retail"}));
}

// ------------------------------------------------------------------------ e-mail text

TEST_F(StatementTest, MailTextAndRecipients) {
    addCustomer("100", "Harborview Dental Group", {"1420 Marina Blvd", "", "", "San Leandro"});
    addHeader({.no = "1043", .total = "1082.50", .date = "03/03/2024"});
    setCustomer("100", [](data::CustomerRecord& c) {
        c.setText(Customer::EMail, " ap@harbor.example; boss@harbor.example ");
    });
    company.setYes(Company::EMailLines, true);
    company.setByte(Company::PrintCustAging, 1);
    const Statement s = build("100", false);
    const StatementMail m = EmailStatementText(s, company, data::Date{2024, 4, 2});
    EXPECT_FALSE(m.badAddress);
    EXPECT_EQ(m.from, "books@northside.example");
    EXPECT_EQ(m.recipientText(), "ap@harbor.example,boss@harbor.example");
    EXPECT_EQ(m.subject, "STATEMENT - Harborview Dental Group");
    auto has = [&](const std::string& line) {
        return std::find(m.body.begin(), m.body.end(), line) != m.body.end();
    };
    EXPECT_EQ(m.body[0], "Northside Supply" + std::string(26, ' ') + "STATEMENT");
    EXPECT_TRUE(has(std::string(80, '-')));
    EXPECT_TRUE(has("San Leandro"));
    EXPECT_TRUE(has("Statement Date: 04/02/2024"));
    EXPECT_TRUE(has("Account Number: 100"));
    EXPECT_TRUE(has("*** Date: 03/03/2024   Invoice Number: 1043     "));
    EXPECT_TRUE(has("Total: 1,082.50"));
    EXPECT_TRUE(has("Total Balance Due: $1,082.50"));
    EXPECT_TRUE(has("Account Status:"));
    EXPECT_TRUE(has("Current 1,000.00"));
    EXPECT_TRUE(has("Over 90: 0.00"));
}

TEST_F(StatementTest, BadAddressesGoToTheCompany) {
    for (const char* bad : {"", " x ", "no-at-sign", "a@b@c", "a b@c.example", "<a@c.example>",
                            "good@x.example;bad", "@x.example"}) {
        EXPECT_FALSE(UsableAddressList(bad)) << bad;
    }
    for (const char* good : {"a@b", " ap@harbor.example ", "a@x.example;b@y.example"})
        EXPECT_TRUE(UsableAddressList(good)) << good;

    addCustomer("100", "Harborview Dental Group");
    setCustomer("100", [](data::CustomerRecord& c) { c.setText(Customer::EMail, "harbor"); });
    const StatementMail m =
        EmailStatementText(build("100", false), company, data::Date{2024, 4, 2});
    EXPECT_TRUE(m.badAddress);
    EXPECT_EQ(m.subject, "BAD CUSTOMER E-MAIL: Harborview Dental Group");
    EXPECT_EQ(m.recipients, std::vector<std::string>{"books@northside.example"});

    // Several addresses: each trimmed, empty parts dropped, as invoices are addressed.
    setCustomer("100", [](data::CustomerRecord& c) {
        c.setText(Customer::EMail, " ap@harbor.example ;; ar@harbor.example;");
    });
    const StatementMail both =
        EmailStatementText(build("100", false), company, data::Date{2024, 4, 2});
    EXPECT_FALSE(both.badAddress);
    EXPECT_EQ(both.recipients,
              (std::vector<std::string>{"ap@harbor.example", "ar@harbor.example"}));
}

// ------------------------------------------------------------------------ page

class StatementPageTest : public StatementTest {
  protected:
    void many(int n) {
        addCustomer("100", "Harborview Dental Group", {"1420 Marina Blvd", "", "", "San Leandro"});
        for (int i = 1; i <= n; ++i) {
            char date[16];
            std::snprintf(date, sizeof date, "%02d/%02d/2024", 1 + (i - 1) / 28, 1 + (i - 1) % 28);
            addHeader({.no = std::to_string(1000 + i), .total = "10.00", .date = date});
        }
    }
    // Text cells of one page, checked pairwise for overlap and against the page.
    static void expectApart(const RecordingCanvas& c) {
        const auto texts = c.texts();
        for (size_t i = 0; i < texts.size(); ++i) {
            const CanvasOp& a = texts[i];
            if (a.text == " ") continue;
            const int aw = int(a.text.size()) * 2 * a.font.size, ah = 4 * a.font.size;
            EXPECT_GE(a.x, 0) << a.text;
            EXPECT_LE(a.x + aw, c.pageWidth()) << a.text;
            EXPECT_LE(a.y + ah, c.pageHeight() - 20) << a.text;
            for (size_t j = 0; j < i; ++j) {
                const CanvasOp& b = texts[j];
                if (b.page != a.page || b.text == " ") continue;
                const int bw = int(b.text.size()) * 2 * b.font.size, bh = 4 * b.font.size;
                const bool apart =
                    a.x + aw <= b.x || b.x + bw <= a.x || a.y + ah <= b.y || b.y + bh <= a.y;
                EXPECT_TRUE(apart) << a.text << " over " << b.text << " on page " << a.page;
            }
        }
    }
};

TEST_F(StatementPageTest, ThreePagesRepeatHeadersAndKeepTotalsAboveTheFooter) {
    many(100);
    company.setByte(Company::PrintCustAging, 1);
    company.setByte(Company::BoxStatements, 1);
    company.setText(Company::BoxTop, "10");
    const Statement s = build("100", false);
    RecordingCanvas c;
    ASSERT_TRUE(PrintStatement(c, s, FormContext{company, dir.path()}, data::Date{2024, 4, 2}));
    ASSERT_GE(c.pagesBegun(), 3);
    for (int p = 1; p <= c.pagesBegun(); ++p) {
        const auto page = c.textStrings(p);
        auto has = [&](const std::string& t) {
            return std::find(page.begin(), page.end(), t) != page.end();
        };
        EXPECT_TRUE(has("Page Number: " + std::to_string(p))) << p;
        EXPECT_TRUE(has("Reference/Comments")) << p;
        EXPECT_TRUE(has("Account Number: 100")) << p;
        if (p < c.pagesBegun()) {
            EXPECT_TRUE(has("Continued on page " + std::to_string(p + 1) + " ...")) << p;
        }
    }
    // The page box is drawn on every page, lower on the following ones.
    const auto boxes = c.ops(CanvasOp::Kind::Rectangle);
    ASSERT_EQ(int(boxes.size()), c.pagesBegun());
    EXPECT_EQ(boxes[0].y, 10);
    EXPECT_EQ(boxes[1].y, 15);
    const CanvasOp* totals = c.findText("*** Account Totals:");
    ASSERT_NE(totals, nullptr);
    EXPECT_EQ(totals->page, c.pagesBegun());
    int rows = 0;
    for (const auto& t : c.texts())
        if (t.text == "10.00") ++rows;
    EXPECT_EQ(rows, 200);  // total and balance of every row
    expectApart(c);
}

TEST_F(StatementPageTest, FullLastPageMovesTheTotalsToANewPage) {
    // Find the row count that fills the first page, then the totals must not land on the
    // footer for any count around it.
    company.setByte(Company::PrintCustAging, 1);
    company.setByte(Company::PrintSalesMsg, 1);
    company.setText(Company::SalesMsg1, "Thank you");
    // A large aging font raises the footer into the room the rows may fill.
    company.setFont(Company::FormFonts5, data::FontSetting{"Arial", 16, 0, 0});
    many(60);
    for (int n = 20; n <= 60; ++n) {
        Statement s = build("100", false);
        s.rows.resize(size_t(n));
        RecordingCanvas c;
        ASSERT_TRUE(PrintStatement(c, s, FormContext{company, dir.path()}, data::Date{2024, 4, 2}));
        const CanvasOp* totals = c.findText("*** Account Totals:");
        const CanvasOp* status = c.findText("Account Status:");
        ASSERT_TRUE(totals && status);
        EXPECT_EQ(totals->page, status->page);
        EXPECT_LE(totals->y + 40, status->y - 32) << n;  // clear of the footer's box
        if (HasFailure()) {
            expectApart(c);
            break;
        }
    }
}

TEST_F(StatementPageTest, TheNoteIsWrappedInsideHalfThePageAtItsOwnLineBreaks) {
    company.setByte(Company::PrintSalesMsg, 1);
    many(2);
    Statement s = build("100", false);
    s.notesOnStatement = true;
    s.notes = "Pay at https://pay.example/" + std::string(60, 'x') + "\nThank you";
    RecordingCanvas c;
    ASSERT_TRUE(PrintStatement(c, s, FormContext{company, dir.path()}, data::Date{2024, 4, 2}));
    const CanvasOp* first = c.findText("Pay at");
    ASSERT_NE(first, nullptr) << "the long word starts a line of its own";
    const CanvasOp* last = c.findText("Thank you");
    ASSERT_NE(last, nullptr) << "the line break of the note starts a line";
    int noteLines = 0;
    for (const CanvasOp& op : c.texts()) {
        if (op.y < first->y || op.y > last->y) continue;
        ++noteLines;
        EXPECT_LE(op.x2 - op.x, c.pageWidth() / 2) << op.text;
        EXPECT_GE(op.x, c.pageWidth() / 4) << op.text;
    }
    EXPECT_EQ(noteLines, 4);
}

TEST_F(StatementPageTest, PdfNameAndFailingPrinter) {
    addCustomer("A/7", "Slash & Co");
    const Statement s = build("A/7", false);
    EXPECT_EQ(StatementPdfTitle(s), "Customer-A/7Statement");
    EXPECT_EQ(StatementPdfName(s), "Customer-A-7Statement.pdf");
    RecordingCanvas c;
    c.failBegin("printer offline");
    EXPECT_FALSE(PrintStatement(c, s, FormContext{company, dir.path()}, data::Date{2024, 4, 2}));
}

// ------------------------------------------------------------------------ batch

class StatementBatchTest : public StatementTest {
  protected:
    void customer(const std::string& no, const std::string& name, int64_t balance,
                  std::array<int64_t, 4> aging, const std::string& eMail = {}) {
        addCustomer(no, name);
        setCustomer(no, [&](data::CustomerRecord& c) {
            ASSERT_TRUE(c.setMoney(Customer::Balance, M(balance)));
            ASSERT_TRUE(c.setMoney(Customer::Age0to30, M(aging[0])));
            ASSERT_TRUE(c.setMoney(Customer::Age31to60, M(aging[1])));
            ASSERT_TRUE(c.setMoney(Customer::Age61to90, M(aging[2])));
            ASSERT_TRUE(c.setMoney(Customer::AgeOver90, M(aging[3])));
            c.setText(Customer::EMail, eMail);
        });
    }
    std::vector<std::string> select(const BatchSelection& sel) {
        auto r = SelectStatementCustomers(sfiles(), sel, company);
        EXPECT_TRUE(r);
        return r ? *r : std::vector<std::string>{};
    }
};

TEST_F(StatementBatchTest, SelectionByBalanceAgingEmailAndDate) {
    customer("1", "Zeta", 100, {100, 0, 0, 0});
    customer("2", "Alpha", 500, {0, 200, 0, 300});
    customer("3", "Mid", -50, {-50, 0, 0, 0});
    customer("4", "Beta", 0, {0, 0, 0, 0});
    customer("5", "Gamma", 70, {0, 0, 70, 0}, "g@x.example");
    customer("6", "Delta", 10, {10, 0, 0, 0}, "x");  // one character is no address

    BatchSelection sel;
    sel.excludeEmail = false;
    // By name; zero balance never.
    EXPECT_EQ(select(sel), (std::vector<std::string>{"2", "6", "5", "3", "1"}));
    sel.skipNegative = true;
    EXPECT_EQ(select(sel), (std::vector<std::string>{"2", "6", "5", "1"}));
    sel.skipNegative = false;
    // The aging options test the buckets, not the balance.
    sel.balance = BalanceTest::Over30;
    EXPECT_EQ(select(sel), (std::vector<std::string>{"2", "5"}));
    sel.balance = BalanceTest::Over60;
    EXPECT_EQ(select(sel), (std::vector<std::string>{"2", "5"}));
    sel.balance = BalanceTest::Over90;
    EXPECT_EQ(select(sel), std::vector<std::string>{"2"});
    // Printer mode skips customers with an address; e-mail mode those without one.
    sel.balance = BalanceTest::NonZero;
    sel.excludeEmail = true;
    EXPECT_EQ(select(sel), (std::vector<std::string>{"2", "6", "3", "1"}));
    sel.emailMode = true;
    EXPECT_EQ(select(sel), (std::vector<std::string>{"6", "5"}));

    // A period leaves out customers without rows in it.
    sel = BatchSelection{};
    sel.excludeEmail = false;
    sel.unpaidOnly = false;
    addHeader({.no = "10", .cust = "1", .total = "1.00", .date = "03/03/2024"});
    addHeader({.no = "11", .cust = "2", .total = "1.00", .date = "01/03/2024"});
    sel.period = StatementPeriod{data::Date{2024, 3, 1}, data::Date{2024, 3, 31}};
    EXPECT_EQ(select(sel), std::vector<std::string>{"1"});

    const auto captions = BalanceOptionCaptions(company);
    EXPECT_EQ(captions[1], "31-60");
    EXPECT_EQ(captions[3], "Over 90");
    company.setText(Company::AgingCaption2, "");
    EXPECT_EQ(BalanceOptionCaptions(company)[1], "60");
}

TEST_F(StatementBatchTest, BatchSizeIsRequiredAndClamped) {
    EXPECT_FALSE(BatchSize("", 10));
    EXPECT_FALSE(BatchSize("  ", 10));
    EXPECT_FALSE(BatchSize("4a", 10));
    EXPECT_EQ(BatchSize("0", 10), 1);
    EXPECT_EQ(BatchSize(" 4 ", 10), 4);
    EXPECT_EQ(BatchSize("9999", 10), 10);
}

class StatementRunTest : public StatementBatchTest {
  protected:
    void tenCustomers() {
        for (int i = 0; i < 10; ++i) {
            const std::string no = std::to_string(100 + i);
            customer(no, "Customer " + no, 100, {100, 0, 0, 0});
            addHeader({.no = std::to_string(5000 + i), .cust = no, .total = "1.00"});
            run.customers.push_back(no);
        }
    }
    BatchOutcome go(int size) {
        run.batchSize = size;
        BatchHooks hooks;
        hooks.render = [&](const Statement& s) {
            EXPECT_TRUE(StatementBatchActive());
            rendered.push_back(s.custNo);
            return renderFails.empty() || renderFails != s.custNo;
        };
        hooks.status = [&](const std::string& t) { status = t; };
        return RunStatementBatch(sfiles(), run, company, &labels, prompter, progress, hooks);
    }
    BatchRun run;
    RecordingProgress progress;
    LabelQueue labels;
    std::vector<std::string> rendered;
    std::string renderFails;
    std::string status;
    const std::string kPausing = "Pausing batch job. Select Yes when ready to continue...";
};

TEST_F(StatementRunTest, TenInBatchesOfFourPauseTwiceNeverAfterTheLast) {
    tenCustomers();
    company.setYes(Company::LabelQueueOnBatch, true);
    prompter.expect(kPausing)
        .expect(
            "4 statements processed during this cycle. There are 6 statements remaining. Do "
            "you want to continue?",
            platform::Answer::Yes)
        .expect(kPausing)
        .expect(
            "4 statements processed during this cycle. There are 2 statements remaining. Do "
            "you want to continue?",
            platform::Answer::Yes);
    const BatchOutcome out = go(4);
    EXPECT_TRUE(out.completed);
    EXPECT_EQ(out.done, 10);
    EXPECT_EQ(rendered, run.customers);
    EXPECT_EQ(status, "Spooling statement 10 of 10 (batches of 4) ...");
    EXPECT_EQ(progress.starts, 3);
    EXPECT_EQ(progress.finishes, 3);
    EXPECT_EQ(progress.titles[0], "Printer Mode");
    EXPECT_EQ(progress.shown.back(), "Printing Statement 10 ...");
    EXPECT_EQ(labels.size(), 10u);
    EXPECT_FALSE(StatementBatchActive());
}

TEST_F(StatementRunTest, NoAtAPauseStopsAndRestoresState) {
    tenCustomers();
    prompter.expect(kPausing)
        .expect(
            "3 statements processed during this cycle. There are 7 statements remaining. Do "
            "you want to continue?",
            platform::Answer::No)
        .expect("Batch job canceled.");
    const BatchOutcome out = go(3);
    EXPECT_FALSE(out.completed);
    EXPECT_TRUE(out.canceled);
    EXPECT_EQ(out.done, 3);
    EXPECT_FALSE(StatementBatchActive());
    EXPECT_EQ(progress.starts, progress.finishes);
    // Without the company's setting the queue stays as it was.
    EXPECT_TRUE(labels.empty());
    // A single statement after the stopped run fills no label queue.
    company.setYes(Company::LabelQueueOnBatch, true);
    build("100", false);
    EXPECT_TRUE(labels.empty());
}

TEST_F(StatementRunTest, RenderFailureAndCancelRequestEndTheRunClean) {
    tenCustomers();
    renderFails = "102";
    BatchOutcome out = go(10);
    EXPECT_FALSE(out.completed);
    EXPECT_EQ(out.done, 2);
    EXPECT_FALSE(StatementBatchActive());
    EXPECT_EQ(progress.starts, progress.finishes);

    renderFails.clear();
    rendered.clear();
    progress = RecordingProgress{};
    progress.stopAfter = 1;
    prompter.expect("Batch job canceled.");
    out = go(10);
    EXPECT_TRUE(out.canceled);
    EXPECT_EQ(out.done, 2);
    EXPECT_FALSE(StatementBatchActive());
    EXPECT_EQ(progress.starts, progress.finishes);
}

}  // namespace
}  // namespace invarro::output
