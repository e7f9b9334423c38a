// E-mail from the windows of the demo installation, as a user sends it: the main window
// switched to e-mail mode, the invoice manager's Print Invoice and Batch Print, and the
// customer statement's E-Mail button, each message received by a local aiosmtpd server and
// its attached PDF read back with pdftotext.

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>

#include "app/Demo.h"
#include "data/Fileblocks.h"
#include "data/IniFile.h"
#include "data/SideFiles.h"
#include "data/Update.h"
#include "output/EMail.h"
#include "platform/curl/CurlMailer.h"
#include "platform/curl/CurlOAuth.h"
#include "platform/qt/RecordingShell.h"
#include "storage/Engine.h"
#include "support/Command.h"
#include "support/MemoryKeyring.h"
#include "support/Modal.h"
#include "support/OAuthPeer.h"
#include "support/PdfTools.h"
#include "support/QtApp.h"
#include "support/RecordingProgress.h"
#include "support/ScriptedPrompter.h"
#include "support/SmtpPeer.h"
#include "support/TempDir.h"
#include "ui/CStmnt.h"
#include "ui/CoSetup.h"
#include "ui/CompanyManager.h"
#include "ui/CustForm.h"
#include "ui/EMailMsg.h"
#include "ui/IndexBrowserControl.h"
#include "ui/InvList.h"
#include "ui/MailConfirm.h"
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

size_t Kept(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

// One GET as a browser makes it; the status of the last answer.
long Browse(const std::string& url, bool follow) {
    long status = 0;
    std::string page;
    CURL* e = curl_easy_init();
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, Kept);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &page);
    curl_easy_setopt(e, CURLOPT_TIMEOUT, 20L);
    if (curl_easy_perform(e) == CURLE_OK) curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(e);
    return status;
}

// The desktop's browser as the sign-in meets it: it asks the program's listener for a
// favicon first, then follows the provider's page back to the listener.
class BrowserShell : public testing::RecordingShell {
  public:
    platform::curl::CurlOAuth* oauth = nullptr;
    long favicon = 0, landing = 0;
    bool openUrl(const std::string& url) override {
        RecordingShell::openUrl(url);
        if (!oauth) return succeed;
        wait();
        const int port = oauth->lastListenerPort();
        browser_ = std::thread([this, url, port] {
            favicon = Browse("http://127.0.0.1:" + std::to_string(port) + "/favicon.ico", false);
            landing = Browse(url, true);
        });
        return true;
    }
    void wait() {
        if (browser_.joinable()) browser_.join();
    }
    ~BrowserShell() override { wait(); }

  private:
    std::thread browser_;
};

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
    TMainForm& open(platform::Keyring* keyring = nullptr, platform::Keyring* tokens = nullptr,
                    platform::OAuthClient* oauth = nullptr) {
        MainFormServices s;
        s.prompter = &prompter;
        s.clock = &clock;
        s.shell = &shell;
        s.mailer = &mailer;
        s.keyring = keyring;
        s.tokenKeyring = tokens;
        s.oauth = oauth;
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
    BrowserShell shell;
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
        // The message is shown first: the PDF's name, the cover letter with the number.
        WhenModal<TMailConfirm>([&](TMailConfirm* d) {
            EXPECT_TRUE(
                d->findChild<QLabel*>("MCAttachment")
                    ->text()
                    .startsWith(QString::fromStdString("Invoice-" + waiting[0] + ".pdf (")));
            EXPECT_TRUE(d->findChild<QPlainTextEdit*>("MCBody")->toPlainText().contains(
                QString::fromStdString("our Invoice " + waiting[0] + " of ")));
            if (const char* out = std::getenv("INVARRO_SHOTS"))
                d->grab().save(QString(out) + "/email-confirm.png");
            click(d, "OKBtn");
        });
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
    EXPECT_NE(mails[0].body.find("Please find attached our Invoice " + waiting[0]),
              std::string::npos)
        << mails[0].body;
    EXPECT_NE(mails[0].field("subject").find("Invoice " + waiting[0] + " from "),
              std::string::npos);
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
        // How many go to whom, asked before the run starts.
        prompter.expectStart("3 invoices are going to be sent by e-mail:\n\n",
                             platform::Answer::Yes);
        prompter.expect("E-mail operation complete.");
        click(m, "BatchPrinButn");
        EXPECT_EQ(prompter.seen()[prompter.seen().size() - 2].buttons, platform::Buttons::YesNo);
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
        EXPECT_NE(mails[k].body.find("our Invoice " + number), std::string::npos) << name;
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
            WhenModal<TMailConfirm>([&](TMailConfirm* d) { click(d, "OKBtn"); });
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
        WhenModal<TMailConfirm>([&](TMailConfirm* d) {
            EXPECT_TRUE(d->findChild<QLabel*>("MCAttachment")->text().startsWith("(none"));
            click(d, "OKBtn");
        });
        prompter.expect("Document sent by e-mail.");
        click(m, "ToPrinterButn");
        click(m, "CloseBtn");
    });
    QTest::mouseClick(f.toolButton(Command::InvoiceManager), Qt::LeftButton);
    const auto mails = peer.received();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_TRUE(mails[0].attachments.empty());
    // Without the PDF the standard text is the document itself.
    EXPECT_NE(mails[0].body.find("Number: " + waiting[0]), std::string::npos);
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
        WhenModal<TMailConfirm>([&](TMailConfirm* d) { click(d, "OKBtn"); });
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

TEST_F(MailWindowsTest, AMessageCancelledAtItsLookGoesNowhereAndAnEditedOneGoesAsEdited) {
    SmtpPeer peer(SmtpPeer::Options{});
    aim(peer);
    {
        // The company's own template, with a field unknown to it left as typed.
        data::IniFile ini(data::IniFilePath(folder));
        ASSERT_TRUE(output::WriteMailTemplate(
            ini, "1", output::MailKind::Invoice,
            output::MailTemplate{"Invoice {Number}, {Balance Due} {Note}",
                                 "Hello {Customer},\ninvoice {Number} is attached."}));
    }
    const std::vector<std::string> waiting = unprinted();
    ASSERT_FALSE(waiting.empty());
    TMainForm& f = open();
    WhenModal<Tinvlist>([&](Tinvlist* m) {
        select(*m, waiting[0]);
        // Cancelled at the look: no connection, no mark.
        WhenModal<TMailConfirm>([&](TMailConfirm* d) {
            const QString subject = d->findChild<QLineEdit*>("MCSubject")->text();
            EXPECT_TRUE(subject.startsWith(QString::fromStdString("Invoice " + waiting[0] + ", ")))
                << subject.toStdString();
            EXPECT_TRUE(subject.endsWith(" {Note}")) << subject.toStdString();
            click(d, "CancelBtn");
        });
        click(m, "ToPrinterButn");
        EXPECT_EQ(m->messageText().toStdString(),
                  "Document " + waiting[0] + " was not sent by e-mail.");
        EXPECT_FALSE(printedFlag(*m, waiting[0]));
        EXPECT_TRUE(peer.events().empty()) << peer.events();

        // Edited with the keys: two recipients (an unusable one is refused first), another
        // subject, a line added to the text.
        WhenModal<TMailConfirm>([&](TMailConfirm* d) {
            auto* to = d->findChild<QLineEdit*>("MCTo");
            auto* subject = d->findChild<QLineEdit*>("MCSubject");
            auto* body = d->findChild<QPlainTextEdit*>("MCBody");
            to->setFocus();
            QTest::keyClick(to, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(to, "first@a.test; nobody");
            click(d, "OKBtn");
            EXPECT_TRUE(d->isVisible());
            QTest::keyClick(to, Qt::Key_End);
            QTest::keyClicks(to, "@b.test");
            subject->setFocus();
            QTest::keyClick(subject, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(subject, "Your invoice, as promised");
            body->setFocus();
            QTest::keyClick(body, Qt::Key_End, Qt::ControlModifier);
            QTest::keyClick(body, Qt::Key_Return);
            QTest::keyClicks(body, "P.S. Thank you!");
            click(d, "OKBtn");
        });
        prompter.expect(
            "The recipients are not usable e-mail addresses. Separate several addresses with a "
            "comma.");
        prompter.expect("Document sent by e-mail.");
        click(m, "ToPrinterButn");
        EXPECT_TRUE(printedFlag(*m, waiting[0]));
        click(m, "CloseBtn");
    });
    QTest::mouseClick(f.toolButton(Command::InvoiceManager), Qt::LeftButton);
    const auto mails = peer.received();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].field("subject"), "Your invoice, as promised");
    EXPECT_EQ(mails[0].all("rcpt"), (std::vector<std::string>{"first@a.test", "nobody@b.test"}));
    const std::vector<std::string> lines = mails[0].bodyLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("Hello ", 0), 0u);
    EXPECT_EQ(lines[1], "invoice " + waiting[0] + " is attached.");
    EXPECT_EQ(lines[2], "P.S. Thank you!");
    EXPECT_EQ(mails[0].attachments.size(), 1u);
}

TEST_F(MailWindowsTest, SignedInWithAProviderTheWindowsSendWithItsTokenAndARevokedOneSendsNothing) {
    testing::TempDir certs;
    const testing::Certificate cert = testing::MakeCertificate(certs.path());
    testing::OAuthPeer provider(testing::OAuthPeer::Options{});
    ASSERT_TRUE(provider.ready());
    // The server takes XOAUTH2 or OAUTHBEARER with a current token, and nothing else.
    SmtpPeer peer(SmtpPeer::Options().startTls(cert).tokensOf(provider.tokensFile()));
    aim(peer);
    mailer.setCaFile(cert.cert);
    testing::MemoryKeyring tokens;
    platform::curl::CurlOAuth oauth;
    oauth.setTimeout(10);
    shell.oauth = &oauth;
    const std::vector<std::string> waiting = unprinted();
    ASSERT_GE(waiting.size(), 2u);
    TMainForm& f = open(nullptr, &tokens, &oauth);

    // Company Manager, Edit, the E-Mail tab: another OAuth 2.0 provider, signed in through
    // the browser.
    bool signedIn = false;
    WhenModal<TCompanyManager>([&](TCompanyManager* m) {
        WhenModal<TCoSetup>([&](TCoSetup* d) {
            auto* tabs = d->findChild<QTabWidget*>("PageControl1");
            QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {},
                              tabs->tabBar()->tabRect(1).center());
            ASSERT_EQ(d->currentTabName().toStdString(), app::kTabEMail);
            auto* method = d->findChild<QComboBox*>("EMSignIn");
            method->setFocus();
            QTest::keyClick(method, Qt::Key_End);
            ASSERT_EQ(method->currentText(), "Other OAuth 2.0 provider");
            auto typeIn = [&](const char* name, const std::string& text) {
                auto* e = d->findChild<QLineEdit*>(name);
                ASSERT_TRUE(e && e->isVisible()) << name;
                e->setFocus();
                QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClicks(e, QString::fromStdString(text));
            };
            typeIn("EMClientId", provider.options().clientId);
            typeIn("EMAuthorizeUrl", provider.url("/authorize"));
            typeIn("EMTokenUrl", provider.url("/token"));
            typeIn("EMRevokeUrl", provider.url("/revoke"));
            typeIn("EMScope", "https://mail.test/ offline_access");
            typeIn("CEmailAdd", provider.options().account);
            click(d, "EMSignInButton");
            shell.wait();
            signedIn = d->findChild<QLabel*>("EMAccount")->text() == "billing@northside.test";
            click(d, "OKBtn");
        });
        click(m, "EditBtn");
        click(m, "CloseBtn");
    });
    QTest::mouseClick(f.toolButton(Command::CompanyManager), Qt::LeftButton);
    ASSERT_TRUE(signedIn) << provider.events();
    EXPECT_EQ(shell.favicon, 404);  // the stray request was turned away
    EXPECT_EQ(shell.landing, 200);
    EXPECT_EQ(provider.count("authorization_code ok"), 1);
    ASSERT_EQ(tokens.secrets.size(), 1u);
    // The company read again starts in its default output: e-mail is chosen again.
    auto* eMail = f.findChild<QRadioButton*>("EMailMode");
    QTest::mouseClick(eMail, Qt::LeftButton, {}, QPoint(6, eMail->height() / 2));
    ASSERT_TRUE(eMail->isChecked());

    // (a) One invoice with its PDF from the invoice manager.
    WhenModal<Tinvlist>([&](Tinvlist* m) {
        select(*m, waiting[0]);
        WhenModal<TMailConfirm>([&](TMailConfirm* d) { click(d, "OKBtn"); });
        prompter.expect("Document sent by e-mail.");
        click(m, "ToPrinterButn");
        EXPECT_TRUE(printedFlag(*m, waiting[0]));
        click(m, "CloseBtn");
    });
    QTest::mouseClick(f.toolButton(Command::InvoiceManager), Qt::LeftButton);
    auto mails = peer.received();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].field("auth"), "billing@northside.test");
    EXPECT_EQ(mails[0].field("tls"), "yes");
    EXPECT_EQ(mails[0].attachments.size(), 1u);
    EXPECT_NE(peer.events().find("auth XOAUTH2 billing@northside.test ok"), std::string::npos)
        << peer.events();

    // (b) A statement batch from the customer manager: two, then the run is stopped at
    // its pause.
    WhenModal<TCustForm>([&](TCustForm* m) {
        WhenModal<TStmntSelect>([&](TStmntSelect* d) {
            WhenModal<TStmntBatch>([&](TStmntBatch* b) {
                QLineEdit* size = b->findChild<QLineEdit*>("EMBNum");
                size->setFocus();
                QTest::keyClick(size, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClicks(size, "2");
                click(b, "OKBtn");
            });
            click(d, "OKBtn");
        });
        prompter.expectStart("", platform::Answer::Yes);  // how many go to whom
        prompter.expect("Pausing batch job. Select Yes when ready to continue...");
        prompter.expectStart("2 statements processed during this cycle.", platform::Answer::No);
        prompter.expect(std::string(output::kBatchCanceled));
        click(m, "BatchStmtBtn");
        // (c) The free message to a customer put into the label queue.
        int32_t recNo = 0;
        data::CustomerRecord c;
        for (int tries = 0; tries < 36; ++tries) {
            ASSERT_TRUE(m->currentCustomer(recNo, c));
            if (output::UsableAddressList(c.text(Customer::EMail))) break;
            QTest::keyClick(m->list(), Qt::Key_Down);
        }
        m->findChild<QAction*>("LabelQueueAct")->trigger();
        m->reject();
    });
    QTest::mouseClick(f.toolButton(Command::CustomerManager), Qt::LeftButton);
    ASSERT_TRUE(prompter.done());
    mails = peer.received();
    ASSERT_EQ(mails.size(), 3u);
    for (size_t k = 1; k < 3; ++k) {
        EXPECT_EQ(mails[k].field("auth"), "billing@northside.test");
        EXPECT_EQ(mails[k].field("subject").rfind("Statement for ", 0), 0u)
            << mails[k].field("subject");
        ASSERT_EQ(mails[k].attachments.size(), 1u);
    }
    WhenModal<TEMailMsg>([&](TEMailMsg* w) {
        QTest::keyClicks(w->findChild<QLineEdit*>("EMSubject"), "Closed on Friday");
        QTest::keyClicks(w->findChild<QPlainTextEdit*>("EMBody"), "Back on Monday.");
        prompter.expect("There were 1 e-mail messages sent.");
        click(w, "EMailBtn");
        click(w, "CloseBtn");
    });
    QTest::mouseClick(f.toolButton(Command::SendEMailMessage), Qt::LeftButton);
    mails = peer.received();
    ASSERT_EQ(mails.size(), 4u);
    EXPECT_EQ(mails[3].field("subject"), "Closed on Friday");
    EXPECT_EQ(mails[3].field("auth"), "billing@northside.test");
    // One sign-in, one exchange: every run used the token it got.
    EXPECT_EQ(provider.count("refresh_token"), 0);

    // Revoked at the provider: the message says to sign in again; nothing is sent or marked.
    auto refused = [&](const std::string& told) {
        WhenModal<Tinvlist>([&](Tinvlist* m) {
            select(*m, waiting[1]);
            WhenModal<TMailConfirm>([&](TMailConfirm* d) { click(d, "OKBtn"); });
            prompter.expectStart(told);
            click(m, "ToPrinterButn");
            EXPECT_NE(prompter.last().text.find("Sign in again (Company Options, E-Mail)"),
                      std::string::npos)
                << prompter.last().text;
            EXPECT_FALSE(printedFlag(*m, waiting[1]));
            click(m, "CloseBtn");
        });
        QTest::mouseClick(f.toolButton(Command::InvoiceManager), Qt::LeftButton);
        EXPECT_EQ(peer.received().size(), 4u);
    };
    ASSERT_TRUE(provider.revoke());
    // The access token kept is refused by the mail server.
    refused("The mail server 127.0.0.1 (port " + std::to_string(peer.port()) +
            ") refused the sign-in token of billing@northside.test");
    // Once it has run out, the refresh is refused by the provider, before any connection.
    tokens.secrets.begin()->second = app::StoredTokensText(
        {app::ParseStoredTokens(tokens.secrets.begin()->second)->refreshToken, "", 0});
    refused("The provider refused ");
    EXPECT_EQ(provider.count("refresh_token invalid_grant"), 1);
    EXPECT_EQ(peer.received().size(), 4u);
    f.session().labelsWaiting = false;  // the queued label is not printed here
    // No file of the data folder holds a token.
    const std::string refresh =
        app::ParseStoredTokens(tokens.secrets.begin()->second)->refreshToken;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        EXPECT_EQ(testing::ReadFileBytes(entry.path().string()).find(refresh), std::string::npos)
            << entry.path();
    }
}

}  // namespace
}  // namespace invarro::ui
