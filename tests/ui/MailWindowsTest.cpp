// E-mail from the windows of the demo installation, as a user sends it: the main window
// switched to e-mail mode, the invoice manager's Print Invoice and Batch Print, and the
// customer statement's E-Mail button, each message received by a local aiosmtpd server and
// its attached PDF read back with pdftotext.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "app/Demo.h"
#include "data/Fileblocks.h"
#include "data/IniFile.h"
#include "data/SideFiles.h"
#include "data/Update.h"
#include "output/EMail.h"
#include "platform/curl/CurlMailer.h"
#include "platform/qt/RecordingShell.h"
#include "storage/Engine.h"
#include "support/Command.h"
#include "support/MemoryKeyring.h"
#include "support/Modal.h"
#include "support/PdfTools.h"
#include "support/QtApp.h"
#include "support/RecordingProgress.h"
#include "support/ScriptedPrompter.h"
#include "support/SmtpPeer.h"
#include "support/TempDir.h"
#include "ui/CStmnt.h"
#include "ui/CustForm.h"
#include "ui/IndexBrowserControl.h"
#include "ui/InvList.h"
#include "ui/MainForm.h"

namespace invarro::ui {
namespace {

using Command = TMainForm::Command;
using data::Company;
using data::Customer;
using data::Invoice;
using testing::ScriptedPrompter;
using testing::SmtpPeer;
using testing::WhenModal;

// Keeps a picture of the attachment's first page where a developer can look at it.
void KeepPage(const std::string& pdf, const std::string& name) {
    if (const char* out = std::getenv("INVARRO_SHOTS"))
        testing::RunCommand("pdftoppm -png -r 60 -f 1 -l 1 -singlefile " +
                            testing::ShellQuote(pdf) + " " +
                            testing::ShellQuote(std::string(out) + "/" + name));
}

class MailWindowsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::QtApp();
        const platform::LocalDateTime now = platform::SystemClock().now();
        clock.set({now.year, now.month, now.day, 12, 0, 0});
        folder = dir.file("data");
        withEngine([&] {
            ScriptedPrompter quiet;
            const app::InstallResult r = app::CreateDemoInstallation(folder, quiet);
            ASSERT_TRUE(r.ok) << r.message;
        });
        mailer.setTimeout(10);
    }
    void TearDown() override {
        form.reset();
        if (storage::EngineStarted()) storage::ExitEngine();
    }
    template <class F>
    void withEngine(F f) {
        storage::InitEngine(30);
        f();
        storage::ExitEngine();
    }
    // The demo company's mail goes to the local server; login as given.
    void aim(const SmtpPeer& peer, const std::string& login = "") {
        ASSERT_TRUE(peer.ready());
        withEngine([&] {
            storage::Fileblock* fb =
                storage::OpenFileblock(data::FileblockName(folder, data::FileKind::Company), false);
            ASSERT_TRUE(storage::EngineOk);
            data::CompanyRecord probe;
            probe.setText(Company::CompanyNo, "1");
            auto found = data::FindAtOrAfter<Company>(fb, 1, probe);
            ASSERT_TRUE(found);
            data::CompanyRecord c = found->record;
            c.setText(Company::EMailHost, "127.0.0.1");
            c.setText(Company::EMailPort, std::to_string(peer.port()));
            c.setText(Company::EMailLogin, login);
            c.setText(Company::EMailPassword, "");
            ScriptedPrompter quiet;
            ASSERT_TRUE(data::ChangeBusinessRecord(fb, found->recNo, found->record, c, quiet).ok());
            storage::CloseFileblock(fb);
            ASSERT_TRUE(data::WriteLastCompany(folder, c));
        });
    }
    // Invoices (type I) not yet marked printed whose customer has an address.
    std::vector<std::string> unprinted() {
        std::vector<std::string> numbers;
        withEngine([&] {
            storage::Fileblock* inv = storage::OpenFileblock(
                data::FileblockName(folder, data::FileKind::Invoice, "1"), false);
            storage::Fileblock* cust = storage::OpenFileblock(
                data::FileblockName(folder, data::FileKind::Customer, "1"), false);
            for (int32_t r = storage::NextUsedRecord(inv, 0); r > 0 && storage::EngineOk;
                 r = storage::NextUsedRecord(inv, r)) {
                auto i = data::ReadBusinessRecord<Invoice>(inv, r);
                if (!i || data::TrimmedText(i->text(Invoice::TransType)) != "I" ||
                    i->yes(Invoice::PrintedFlag))
                    continue;
                data::CustomerRecord probe;
                probe.setText(Customer::CustNo, i->text(Invoice::CustNo));
                auto c = data::FindAtOrAfter<Customer>(cust, 2, probe);
                if (c &&
                    data::TrimmedText(c->record.text(Customer::CustNo)) ==
                        data::TrimmedText(i->text(Invoice::CustNo)) &&
                    !data::TrimmedText(c->record.text(Customer::EMail)).empty())
                    numbers.push_back(data::TrimmedText(i->text(Invoice::InvNo)));
            }
            storage::CloseFileblock(cust);
            storage::CloseFileblock(inv);
        });
        return numbers;
    }
    bool printedFlag(Tinvlist& m, const std::string& no) {
        data::InvoiceRecord probe;
        probe.setText(Invoice::InvNo, no);
        auto found = data::FindAtOrAfter<Invoice>(m.invoiceFiles().invoices, 1, probe);
        return found && found->record.yes(Invoice::PrintedFlag);
    }
    void select(Tinvlist& m, const std::string& no) {
        data::InvoiceRecord probe;
        probe.setText(Invoice::InvNo, no);
        auto found = data::FindAtOrAfter<Invoice>(m.invoiceFiles().invoices, 1, probe);
        ASSERT_TRUE(found);
        m.showRecord(found->record, found->recNo);
    }
    TMainForm& open(platform::Keyring* keyring = nullptr) {
        MainFormServices s;
        s.prompter = &prompter;
        s.clock = &clock;
        s.shell = &shell;
        s.mailer = &mailer;
        s.keyring = keyring;
        s.progress = [] { return std::make_unique<platform::SilentProgress>(); };
        form = std::make_unique<TMainForm>(folder, s);
        form->show();
        // The user switches the output to e-mail.
        auto* eMail = form->findChild<QRadioButton*>("EMailMode");
        EXPECT_NE(eMail, nullptr);
        QTest::mouseClick(eMail, Qt::LeftButton, {}, QPoint(6, eMail->height() / 2));
        EXPECT_TRUE(eMail->isChecked());
        return *form;
    }
    static void click(QWidget* w, const char* name) {
        auto* b = w->findChild<QAbstractButton*>(name);
        ASSERT_NE(b, nullptr) << name;
        ASSERT_TRUE(b->isEnabled()) << name;
        QTest::mouseClick(b, Qt::LeftButton);
    }
    void expectNoPdfLeft() { EXPECT_FALSE(std::filesystem::exists(folder + "/pdf")); }

    testing::TempDir dir;
    std::string folder;
    ScriptedPrompter prompter;
    platform::FixedClock clock{{}};
    testing::RecordingShell shell;
    platform::curl::CurlMailer mailer;
    std::unique_ptr<TMainForm> form;
};

TEST_F(MailWindowsTest, PrintInvoiceAndBatchPrintMailEachInvoiceWithItsOwnPdf) {
    SmtpPeer peer(SmtpPeer::Options{});
    aim(peer);
    const std::vector<std::string> waiting = unprinted();
    ASSERT_GE(waiting.size(), 3u);
    TMainForm& f = open();
    bool shown = false;
    WhenModal<Tinvlist>([&](Tinvlist* m) {
        shown = true;
        EXPECT_EQ(m->windowTitle(), "Invoice Manager - (E-Mail Mode)");
        select(*m, waiting[0]);
        prompter.expect("Document sent by e-mail.");
        click(m, "ToPrinterButn");
        EXPECT_EQ(m->messageText().toStdString(), "Document " + waiting[0] + " sent by e-mail.");
        EXPECT_TRUE(printedFlag(*m, waiting[0]));
        if (const char* out = std::getenv("INVARRO_SHOTS"))
            m->grab().save(QString(out) + "/invoice-manager-email.png");
        click(m, "CloseBtn");
    });
    QTest::mouseClick(f.toolButton(Command::InvoiceManager), Qt::LeftButton);
    ASSERT_TRUE(shown);
    auto mails = peer.received();
    ASSERT_EQ(mails.size(), 1u);
    ASSERT_EQ(mails[0].attachments.size(), 1u);
    const auto& a = mails[0].attachments[0];
    EXPECT_EQ(a.fileName, "Invoice-" + waiting[0] + ".pdf");
    EXPECT_EQ(a.contentType, "application/pdf");
    EXPECT_EQ(a.disposition, "attachment");
    const std::string text = testing::PdfText(a.path);
    EXPECT_NE(text.find(waiting[0]), std::string::npos) << text;
    EXPECT_NE(text.find("Harbor Light Print & Design"), std::string::npos) << text;
    EXPECT_NE(text.find("Balance Due:"), std::string::npos) << text;
    EXPECT_NE(mails[0].body.find("Number: " + waiting[0]), std::string::npos);
    KeepPage(a.path, "attached-invoice");
    expectNoPdfLeft();
    EXPECT_TRUE(shell.opened.empty());  // nothing was opened in a viewer

    // Batch Print in e-mail mode: every invoice not printed yet, each with its own PDF.
    shown = false;
    size_t batch = 0;
    WhenModal<Tinvlist>([&](Tinvlist* m) {
        shown = true;
        WhenModal<TInvBatch>([&](TInvBatch* d) {
            // Three of them: the user types the number over the count offered.
            QLineEdit* count = d->numberField();
            count->selectAll();
            QTest::keyClicks(count, "3");
            batch = 3;
            click(d, "OKBtn");
        });
        prompter.expect("E-mail operation complete.");
        click(m, "BatchPrinButn");
        EXPECT_EQ(m->messageText().toStdString(),
                  "Batch Print complete. 3 invoices sent to e-mail.");
        click(m, "CloseBtn");
    });
    QTest::mouseClick(f.toolButton(Command::InvoiceManager), Qt::LeftButton);
    ASSERT_TRUE(shown);
    mails = peer.received();
    ASSERT_EQ(mails.size(), 1 + batch);
    std::set<std::string> names;
    for (size_t k = 1; k < mails.size(); ++k) {
        ASSERT_EQ(mails[k].attachments.size(), 1u);
        const std::string name = mails[k].attachments[0].fileName;
        names.insert(name);
        const std::string number = name.substr(8, name.size() - 12);  // "Invoice-" ... ".pdf"
        EXPECT_NE(testing::PdfText(mails[k].attachments[0].path).find(number), std::string::npos)
            << name;
        EXPECT_NE(mails[k].body.find("Number: " + number), std::string::npos) << name;
    }
    EXPECT_EQ(names.size(), batch);
    EXPECT_FALSE(names.contains("Invoice-" + waiting[0] + ".pdf"));
    expectNoPdfLeft();
}

TEST_F(MailWindowsTest, TheStatementWindowMailsTheStatementWithItsPdf) {
    SmtpPeer peer(SmtpPeer::Options{});
    aim(peer);
    TMainForm& f = open();
    std::string name;
    bool shown = false;
    WhenModal<TCustForm>([&](TCustForm* m) {
        // The first customer with activity and an address.
        int32_t recNo = 0;
        data::CustomerRecord c;
        for (int tries = 0; tries < 36; ++tries) {
            ASSERT_TRUE(m->currentCustomer(recNo, c));
            if (c.money(Customer::Balance).cents() != 0 &&
                !data::TrimmedText(c.text(Customer::EMail)).empty())
                break;
            QTest::keyClick(m->list(), Qt::Key_Down);
        }
        name = data::TrimmedText(c.text(Customer::Name));
        WhenModal<TCustStmnt>([&](TCustStmnt* s) {
            shown = true;
            EXPECT_EQ(s->windowTitle(), "Customer Statement - (E-Mail Mode)");
            prompter.expect("Statement sent by e-mail.");
            click(s, "PrintBtn");
            EXPECT_EQ(s->statusText().toStdString(), "Statement for " + name + " sent by e-mail.");
            if (const char* out = std::getenv("INVARRO_SHOTS"))
                s->grab().save(QString(out) + "/statement-email.png");
            s->reject();
        });
        click(m, "ViewStmtBtn");
        m->reject();
    });
    QTest::mouseClick(f.toolButton(Command::CustomerManager), Qt::LeftButton);
    ASSERT_TRUE(shown);
    const auto mails = peer.received();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_NE(mails[0].field("subject").find(name), std::string::npos);
    ASSERT_EQ(mails[0].attachments.size(), 1u);
    const auto& a = mails[0].attachments[0];
    EXPECT_EQ(a.fileName.rfind("Customer-", 0), 0u);
    EXPECT_TRUE(a.fileName.ends_with("Statement.pdf"));
    const std::string text = testing::PdfText(a.path);
    EXPECT_NE(text.find(name), std::string::npos) << text;
    EXPECT_NE(text.find("*** Account Totals:"), std::string::npos) << text;
    KeepPage(a.path, "attached-statement");
    expectNoPdfLeft();
}

TEST_F(MailWindowsTest, WithTheCompanysChoiceOffTheWindowsSendTheTextAlone) {
    SmtpPeer peer(SmtpPeer::Options{});
    aim(peer);
    data::IniFile ini(data::IniFilePath(folder));
    ASSERT_TRUE(output::SetAttachDocumentPdf(ini, "1", false));
    const std::vector<std::string> waiting = unprinted();
    ASSERT_FALSE(waiting.empty());
    TMainForm& f = open();
    WhenModal<Tinvlist>([&](Tinvlist* m) {
        select(*m, waiting[0]);
        prompter.expect("Document sent by e-mail.");
        click(m, "ToPrinterButn");
        click(m, "CloseBtn");
    });
    QTest::mouseClick(f.toolButton(Command::InvoiceManager), Qt::LeftButton);
    const auto mails = peer.received();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_TRUE(mails[0].attachments.empty());
    EXPECT_EQ(mails[0].field("content-type"), "text/plain; charset=\"UTF-8\"");
}

TEST_F(MailWindowsTest, AKeyringThatDoesNotAnswerIsSaidPlainlyAndNoLoginIsTried) {
    SmtpPeer peer(SmtpPeer::Options().login("clerk:s3cret", true));
    aim(peer, "clerk");
    data::IniFile ini(data::IniFilePath(folder));
    ASSERT_TRUE(ini.writeInteger("E-Mail Password", "1", 1));
    testing::MemoryKeyring keyring;
    keyring.answers = false;
    const std::vector<std::string> waiting = unprinted();
    ASSERT_FALSE(waiting.empty());
    TMainForm& f = open(&keyring);
    WhenModal<Tinvlist>([&](Tinvlist* m) {
        select(*m, waiting[0]);
        prompter.expect(
            "The desktop keyring did not answer, so the mail password of company 1 could not be "
            "read and no login was tried. Unlock the desktop keyring (log in to the desktop; a "
            "cron job or a remote shell has no keyring of its own), or keep the password in the "
            "company record instead: untick \"Keep the password in the desktop keyring\" on the "
            "E-Mail tab of Company Options and type the password again.");
        click(m, "ToPrinterButn");
        EXPECT_EQ(prompter.last().title, "E-Mail Mode");
        EXPECT_FALSE(printedFlag(*m, waiting[0]));
        click(m, "CloseBtn");
    });
    QTest::mouseClick(f.toolButton(Command::InvoiceManager), Qt::LeftButton);
    EXPECT_TRUE(peer.received().empty());
    EXPECT_EQ(peer.events().find("auth"), std::string::npos);
    EXPECT_FALSE(mailer.connected());
}

}  // namespace
}  // namespace invarro::ui
