// The invoice manager's document commands and the view window, driven offscreen: print,
// packing slip, PDF, batch print and view of the current record.

#include <gtest/gtest.h>

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <cstdlib>

#include "WindowFixture.h"
#include "data/Files.h"
#include "data/IniFile.h"
#include "invoicing/InvoiceFixture.h"
#include "platform/qt/RecordingShell.h"
#include "support/Modal.h"
#include "support/QtApp.h"
#include "support/RecordingCanvas.h"
#include "support/RecordingMailer.h"
#include "ui/IndexBrowserControl.h"
#include "ui/InvList.h"
#include "ui/InvView.h"

namespace invarro::ui {
namespace {

using data::Company;
using data::Invoice;
using invoicing::testing::Draft;
using testing::WhenModal;

// The print jobs a test's printer received: each job's title and texts.
struct Printed {
    std::vector<std::string> jobs;
    std::vector<std::string> texts;
    std::string destination;  // the printer's name the canvas gives
};

class CapturingCanvas : public testing::RecordingCanvas {
  public:
    explicit CapturingCanvas(Printed& out) : out_(out) {}
    std::string destination() const override { return out_.destination; }
    ~CapturingCanvas() override {
        for (const testing::CanvasOp& op : ops(testing::CanvasOp::Kind::Begin))
            out_.jobs.push_back(op.text);
        for (const std::string& t : textStrings())
            out_.texts.push_back(t);
    }

  private:
    Printed& out_;
};

class InvDocumentTest : public invoicing::testing::InvoiceTest {
  protected:
    static void SetUpTestSuite() { testing::QtApp(); }
    void SetUp() override {
        InvoiceTest::SetUp();
        testing::SetUpWindowContext(ctx, dir.path(), company, prompter, &clock);
        ctx.shell = &shell;
        ctx.printerCanvas = [this] { return std::make_unique<CapturingCanvas>(printed); };
        addCustomer("1001", 45000, {45000, 0, 0, 0});
    }
    void TearDown() override {
        form.reset();
        InvoiceTest::TearDown();
    }
    void open() {
        for (storage::Fileblock** fb : {&invoices, &lines, &memos})
            if (*fb) storage::CloseFileblock(*fb);
        form = std::make_unique<Tinvlist>(ctx);
        ASSERT_TRUE(form->openFiles());
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    // Makes the record of this number the current row.
    void select(const std::string& no) {
        storage::Fileblock* fb = form->invoiceFiles().invoices;
        data::InvoiceRecord probe;
        probe.setText(Invoice::InvNo, no);
        auto found = data::FindAtOrAfter<Invoice>(fb, 1, probe);
        ASSERT_TRUE(found);
        form->showRecord(found->record, found->recNo);
    }
    bool printedFlag(const std::string& no) {
        storage::Fileblock* fb = form->invoiceFiles().invoices;
        data::InvoiceRecord probe;
        probe.setText(Invoice::InvNo, no);
        auto found = data::FindAtOrAfter<Invoice>(fb, 1, probe);
        return found && found->record.yes(Invoice::PrintedFlag);
    }
    void trigger(const char* name) {
        QAction* a = form->findChild<QAction*>(name);
        ASSERT_NE(a, nullptr) << name;
        ASSERT_TRUE(a->isEnabled()) << name;
        a->trigger();
    }

    InvoiceWindowContext ctx;
    testing::RecordingShell shell;
    Printed printed;
    std::unique_ptr<Tinvlist> form;
};

TEST_F(InvDocumentTest, PrintMarksTheInvoiceAndPackingSlipDoesNot) {
    add({.no = "1041", .total = "150.00", .lines = 2});
    add({.no = "1043", .total = "300.00", .lines = 3});
    open();
    select("1043");
    trigger("PackSlipAct");
    EXPECT_EQ(printed.jobs, std::vector<std::string>{"Packing Slip - 1043"});
    EXPECT_EQ(form->messageText(), "Packing Slip for invoice 1043 sent to printer.");
    EXPECT_FALSE(printedFlag("1043"));

    trigger("PrintAct");
    EXPECT_EQ(printed.jobs.back(), "Invoice - 1043");
    // A printer that gives no name is "the printer"; one that does is named.
    EXPECT_EQ(form->messageText(), "Document 1043 sent to the printer.");
    EXPECT_TRUE(printedFlag("1043"));
    EXPECT_FALSE(printedFlag("1041"));
    printed.destination = "Office-Laser";
    trigger("PrintAct");
    EXPECT_EQ(form->messageText(), "Document 1043 sent to Office-Laser.");
}

TEST_F(InvDocumentTest, DepositsAreViewedNotPrinted) {
    add({.no = "DP15001", .type = 'D', .total = "0.00", .paid = "40.00", .style = 'D'});
    open();
    select("DP15001");
    prompter.expect("This record is a deposit. Unable to print. Use the view option.");
    trigger("PrintAct");
    prompter.expect("This record is a deposit transaction. Unable to print a packing slip.");
    trigger("PackSlipAct");
    prompter.expect(
        "This record is a Deposit on Account. Run the Customer Statement (Customer Manager) to "
        "view deposits.");
    trigger("PdfAct");
    EXPECT_TRUE(printed.jobs.empty());
    EXPECT_EQ(prompter.last().title, "Deposit Transaction");

    bool shown = false;
    WhenModal<TViewInv>([&](TViewInv* v) {
        shown = true;
        EXPECT_EQ(v->windowTitle(), "View Invoice# DP15001");
        EXPECT_EQ(v->findChild<QLabel*>("Banner")->text(),
                  "DEPOSIT ON ACCOUNT OF 40.00. (A zero amount indicates deposit has been "
                  "offset).");
        EXPECT_EQ(v->findChild<QLabel*>("BodyCaption")->text(), "Deposit on Account");
        v->reject();
    });
    trigger("ViewAct");
    EXPECT_TRUE(shown);
}

TEST_F(InvDocumentTest, SendToPdfWritesIntoThePdfFolder) {
    add({.no = "2024/7", .total = "300.00", .lines = 1});
    open();
    select("2024/7");
    trigger("PdfAct");
    const std::string file = dir.path() + "/pdf/Invoice-2024-7.pdf";
    EXPECT_EQ(form->messageText().toStdString(), "PDF: " + file + " complete.");
    EXPECT_TRUE(data::FileExists(file));
    EXPECT_EQ(shell.opened, std::vector<std::string>{file});
    // The PDF is no printout: the invoice still waits for the batch print.
    EXPECT_FALSE(printedFlag("2024/7"));
}

TEST_F(InvDocumentTest, BatchPrintPrintsTheChosenNumberOfWaitingInvoices) {
    add({.no = "1", .total = "10.00", .lines = 1});
    add({.no = "2", .type = 'Q', .total = "20.00"});
    add({.no = "3", .total = "30.00", .printed = true});
    add({.no = "4", .type = 'G', .total = "40.00"});
    add({.no = "5", .total = "50.00", .style = 'M', .memo = true});
    company.setText(Company::LabelQueueOnBatch, "Y");
    output::LabelQueue labels;
    ctx.labelQueue = &labels;
    open();
    WhenModal<TInvBatch>([](TInvBatch* d) {
        EXPECT_EQ(d->findChild<QLabel*>("Line1")->text(), "There are 3 invoice(s) to print.");
        d->numberField()->setText("2");
        d->findChild<QPushButton*>("OKBtn")->click();
    });
    trigger("BatchPrintAct");
    EXPECT_EQ(printed.jobs, (std::vector<std::string>{"Invoice - 1", "Invoice - 4"}));
    EXPECT_EQ(form->messageText(), "Batch Print complete. 2 invoices sent to spooler.");
    EXPECT_TRUE(printedFlag("1"));
    EXPECT_TRUE(printedFlag("4"));
    EXPECT_FALSE(printedFlag("5"));
    EXPECT_EQ(labels.size(), 2u);

    // The rest on the next run; then nothing is left.
    WhenModal<TInvBatch>([](TInvBatch* d) { d->findChild<QPushButton*>("OKBtn")->click(); });
    trigger("BatchPrintAct");
    EXPECT_EQ(printed.jobs.back(), "Invoice - 5");
    EXPECT_NE(std::find(printed.texts.begin(), printed.texts.end(), "Memo of 5"),
              printed.texts.end());
    prompter.expect("There are no invoices to print.");
    trigger("BatchPrintAct");
}

TEST_F(InvDocumentTest, EMailModeWithoutAMailClientLeavesPrintingDisabled) {
    ctx.emailMode = true;
    open();
    EXPECT_FALSE(form->findChild<QAction*>("PrintAct")->isEnabled());
    EXPECT_FALSE(form->findChild<QAction*>("BatchPrintAct")->isEnabled());
    EXPECT_TRUE(form->findChild<QAction*>("PackSlipAct")->isEnabled());
    EXPECT_TRUE(form->findChild<QAction*>("PdfAct")->isEnabled());
    EXPECT_TRUE(form->findChild<QAction*>("ViewAct")->isEnabled());
}

TEST_F(InvDocumentTest, EMailModeMailsTheInvoiceAndTheBatch) {
    testing::RecordingMailer mailer;
    ctx.emailMode = true;
    ctx.mailer = &mailer;
    company.setText(Company::EMailAddress, "billing@shop.test");
    company.setText(Company::EMailHost, "smtp.shop.test");
    company.setText(Company::EMailPort, "587");
    company.setText(Company::EMailInclNoAddr, "N");
    add({.no = "1043", .total = "300.00", .lines = 1});
    add({.no = "1044", .total = "20.00", .lines = 1});
    add({.no = "1045", .total = "30.00", .lines = 1});
    // The look at each single message before it goes: seen and sent as it is.
    std::vector<std::string> looked;
    ctx.confirmMail = [&](platform::MailMessage& m) {
        looked.push_back(m.subject);
        return true;
    };
    open();
    EXPECT_EQ(form->windowTitle(), "Invoice Manager - (E-Mail Mode)");
    select("1043");
    // The customer has no address and the company leaves such customers out.
    prompter.expect("This customer has no e-mail address. Document not sent by e-mail.");
    trigger("PrintAct");
    EXPECT_EQ(form->messageText(), "Document 1043 was not sent by e-mail.");
    EXPECT_TRUE(mailer.sent.empty());
    EXPECT_FALSE(mailer.connected());
    EXPECT_TRUE(printed.jobs.empty());

    company.setText(Company::EMailInclNoAddr, "Y");
    prompter.expect("Document sent by e-mail.");
    trigger("PrintAct");
    EXPECT_EQ(form->messageText(), "Document 1043 sent by e-mail.");
    ASSERT_EQ(mailer.sent.size(), 1u);
    EXPECT_EQ(mailer.sent[0].subject, "BAD CUSTOMER E-MAIL ADDRESS");
    // Only the message that could go was shown.
    EXPECT_EQ(looked, std::vector<std::string>{"BAD CUSTOMER E-MAIL ADDRESS"});
    EXPECT_FALSE(mailer.connected());
    EXPECT_TRUE(printed.jobs.empty());  // no packing slip or copy by e-mail

    // The batch takes the two not mailed yet; the second breaks the connection.
    mailer.breakAfter = 2;
    WhenModal<TInvBatch>([](TInvBatch* d) {
        EXPECT_EQ(d->findChild<QLabel*>("Line1")->text(), "There are 2 invoice(s) to e-mail.");
        d->findChild<QPushButton*>("OKBtn")->click();
    });
    // Before the batch: how many go where. Declined, nothing goes; then accepted.
    prompter.expectStart("2 invoices are going to be sent by e-mail:\n\n1044 to ",
                         platform::Answer::No);
    trigger("BatchPrintAct");
    EXPECT_TRUE(prompter.last().text.ends_with(
        ": address not usable, to the company <billing@shop.test>\n\nSend them now?"))
        << prompter.last().text;
    EXPECT_EQ(mailer.sent.size(), 1u);
    EXPECT_EQ(mailer.connects, 1);
    WhenModal<TInvBatch>([](TInvBatch* d) { d->findChild<QPushButton*>("OKBtn")->click(); });
    prompter.expectStart("2 invoices are going to be sent by e-mail:", platform::Answer::Yes);
    prompter.expect(
        "E-mail operation complete. 1 e-mail message was sent and 1 was not. The connection "
        "to the mail server was lost, so the run stopped. The first not sent: invoice 1045. "
        "The connection was lost.");
    trigger("BatchPrintAct");
    EXPECT_EQ(form->messageText(), "Batch Print complete. 1 invoices sent to e-mail.");
    EXPECT_EQ(mailer.sent.size(), 2u);
    EXPECT_FALSE(mailer.connected());
    // 1045 waits for the next batch.
    mailer.breakAfter = -1;
    WhenModal<TInvBatch>([](TInvBatch* d) { d->findChild<QPushButton*>("OKBtn")->click(); });
    prompter.expect(
        "1 invoice is going to be sent by e-mail:\n\n1045 to Customer 1001: address not usable, "
        "to the company <billing@shop.test>\n\nSend them now?",
        platform::Answer::Yes);
    prompter.expect("E-mail operation complete.");
    trigger("BatchPrintAct");
    EXPECT_EQ(mailer.sent.size(), 3u);
    prompter.expect("There are no invoices to print.");
    trigger("BatchPrintAct");
}

TEST_F(InvDocumentTest, ViewShowsLinesAndClosesOnAnyKey) {
    add({.no = "1043", .total = "300.00", .lines = 3});
    open();
    select("1043");
    bool shown = false;
    WhenModal<TViewInv>([&](TViewInv* v) {
        shown = true;
        EXPECT_EQ(v->windowTitle(), "View Invoice# 1043");
        EXPECT_EQ(v->findChild<QLabel*>("Bill1")->text(), "Customer 1001");
        EXPECT_EQ(v->findChild<QLabel*>("BodyCaption")->text(), "Product Code Invoice");
        ASSERT_NE(v->lineList(), nullptr);
        EXPECT_EQ(v->lineList()->rowCount(), 3);
        EXPECT_EQ(v->lineList()->horizontalHeaderItem(1)->text(), "Product Code");
        EXPECT_EQ(v->lineList()->item(2, 3)->text(), "Line 3");
        EXPECT_EQ(v->findChild<QLabel*>("TotalLabel1")->text(), "Total:");
        EXPECT_EQ(v->findChild<QLabel*>("TotalValue1")->text(), "$300.00");
        EXPECT_EQ(v->findChild<QLabel*>("TotalLabel3")->text(), "Grand Total:");
        EXPECT_EQ(v->findChild<QLabel*>("TotalLabel4")->text(), "Balance Due:");
        EXPECT_EQ(v->findChild<QLabel*>("QuoteNote"), nullptr);
        if (const char* out = std::getenv("INVARRO_SHOTS"))
            v->grab().save(QString(out) + "/view-invoice.png");
        QTest::keyClick(v->lineList(), Qt::Key_X);
    });
    // Enter on the row opens the view.
    QTest::keyClick(form->list(), Qt::Key_Return);
    EXPECT_TRUE(shown);
    EXPECT_EQ(qobject_cast<TViewInv*>(QApplication::activeModalWidget()), nullptr);
    // The window's bounds were kept.
    data::IniFile ini(data::IniFilePath(dir.path()));
    EXPECT_EQ(ini.readInteger("VIForm", "Width", 0), TViewInv::kDesignedWidth);
}

TEST_F(InvDocumentTest, ViewOfAQuoteAndOfAMemo) {
    add({.no = "Q7", .type = 'Q', .total = "99.00"});
    add({.no = "M1", .total = "20.00", .style = 'M', .memo = true});
    add({.no = "R1", .type = 'R', .total = "20.00"});
    open();
    select("Q7");
    WhenModal<TViewInv>([&](TViewInv* v) {
        EXPECT_EQ(v->windowTitle(), "View Quote# Q7");
        EXPECT_EQ(v->findChild<QLabel*>("QuoteNote")->text(), "This is only a Quote");
        for (QLabel* l : v->findChildren<QLabel*>()) {
            EXPECT_NE(l->text(), "Balance Due:");
            EXPECT_FALSE(l->text().startsWith("Paid"));
        }
        EXPECT_EQ(v->findChild<QLabel*>("TotalLabel3")->text(), "Quote Total:");
        v->reject();
    });
    trigger("ViewAct");
    select("M1");
    WhenModal<TViewInv>([&](TViewInv* v) {
        EXPECT_EQ(v->findChild<QLabel*>("BodyCaption")->text(), "Memo Invoice");
        ASSERT_NE(v->memo(), nullptr);
        EXPECT_EQ(v->memo()->toPlainText(), "Memo of M1");
        // A double-click on the memo closes the window.
        QTest::mouseDClick(v->memo()->viewport(), Qt::LeftButton);
    });
    trigger("ViewAct");
    EXPECT_EQ(qobject_cast<TViewInv*>(QApplication::activeModalWidget()), nullptr);
    select("R1");
    WhenModal<TViewInv>([&](TViewInv* v) {
        EXPECT_EQ(v->findChild<QLabel*>("Banner")->text(), "** REPEAT BILLING MASTER SETUP **");
        v->findChild<QPushButton*>("CloseBtn")->click();
    });
    trigger("ViewAct");
}

}  // namespace
}  // namespace invarro::ui
