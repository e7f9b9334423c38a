// Invoices, quotes and the free message sent through the libcurl mail client to a local
// aiosmtpd server and read back as a mail program reads them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "data/Company.h"
#include "output/DocumentFixture.h"
#include "output/EMail.h"
#include "platform/curl/CurlMailer.h"
#include "support/RecordingProgress.h"
#include "support/SmtpPeer.h"

namespace invarro::output {
namespace {

using data::Company;
using testing::SmtpPeer;

const platform::FixedClock kClock({2024, 3, 20, 9, 30, 0});

class MailRunTest : public DocumentTest {
  protected:
    void SetUp() override {
        DocumentTest::SetUp();
        company.setText(Company::Name, "Café Northside");
        company.setText(Company::EMailAddress, "billing@northside.test");
        company.setText(Company::EMailHost, "127.0.0.1");
        company.setText(Company::EMailInclNoAddr, "N");
        mailer.setTimeout(10);
    }
    void aim(data::CompanyRecord& c, const SmtpPeer& peer) {
        ASSERT_TRUE(peer.ready());
        c.setText(Company::EMailPort, std::to_string(peer.port()));
    }
    void customer(const std::string& no, const std::string& name, const std::string& eMail) {
        addCustomer(no, name, {"12 Harbour Road"}, {}, eMail);
    }
    void invoice(const std::string& no, const std::string& cust, char type = 'I') {
        Header h;
        h.no = no;
        h.cust = cust;
        h.type = type;
        h.total = "108.25";
        h.tax = "8.25";
        h.taxRate = "8.25";
        addHeader(h);
        addLine(no, 1, "TONER-12", "2", "Toner cartridge", "50.00", "Y", "100.00");
    }
    // Keeps the message where a developer can read it (INVARRO_MAIL_DUMP=folder).
    static void dump(const testing::ReceivedMail& m, const std::string& name) {
        if (const char* dir = std::getenv("INVARRO_MAIL_DUMP")) {
            std::ofstream(std::string(dir) + "/" + name + ".eml", std::ios::binary) << m.raw;
            std::ofstream(std::string(dir) + "/" + name + ".txt", std::ios::binary) << m.body;
        }
    }

    platform::curl::CurlMailer mailer;
    testing::RecordingProgress progress;
    LabelQueue labels;
};

TEST_F(MailRunTest, InvoiceAndQuoteArriveAsTheCustomerReadsThem) {
    SmtpPeer peer(SmtpPeer::Options{});
    aim(company, peer);
    customer("100", "Zoë Müller GmbH", "zoe@muller.test; ap@muller.test");
    invoice("1043", "100");
    invoice("Q1043", "100", 'Q');
    ASSERT_TRUE(CheckEmailSettings(company, mailer, prompter, progress));
    for (const char* no : {"1043", "Q1043"}) {
        const InvoiceMailOutcome out =
            EmailInvoiceText(files, no, company, mailer, prompter, kClock);
        ASSERT_EQ(out.result, InvoiceMailOutcome::Result::Sent) << out.error.text;
    }
    mailer.disconnect();

    const auto mails = peer.received();
    ASSERT_EQ(mails.size(), 2u);
    const testing::ReceivedMail& inv = mails[0];
    dump(inv, "invoice");
    EXPECT_EQ(inv.field("subject"), "Zoë Müller GmbH Invoice from Café Northside");
    EXPECT_EQ(inv.field("from"), "Café Northside <billing@northside.test>");
    EXPECT_EQ(inv.field("mail_from"), "billing@northside.test");
    EXPECT_EQ(inv.all("rcpt"), (std::vector<std::string>{"zoe@muller.test", "ap@muller.test"}));
    EXPECT_EQ(inv.field("defects"), "0");
    EXPECT_EQ(inv.field("bare-lf"), "0");
    EXPECT_LE(std::stoi(inv.field("longest-line")), 78);
    EXPECT_EQ(inv.field("connection"), mails[1].field("connection"));
    const InvoiceDocument doc = assemble("1043");
    std::vector<std::string> expected = InvoiceEmailBody(doc, DocumentKind::Invoice, company);
    EXPECT_EQ(inv.bodyLines(), expected);
    EXPECT_NE(std::find(expected.begin(), expected.end(), "Zoë Müller GmbH"), expected.end());
    EXPECT_TRUE(header(1).yes(data::Invoice::PrintedFlag));
    EXPECT_EQ(header(1).text(data::Invoice::EMailedOn), "03/20/2024");

    dump(mails[1], "quote");
    EXPECT_EQ(mails[1].field("subject"), "Zoë Müller GmbH Quote from Café Northside");
    EXPECT_EQ(mails[1].bodyLines().back(), "Quote Total: 108.25");
}

TEST_F(MailRunTest, NamesCannotAddHeaderFields) {
    SmtpPeer peer(SmtpPeer::Options{});
    aim(company, peer);
    customer("100", "Evil\r\nBcc: victim@else.test", "ap@evil.test");
    invoice("1", "100");
    ASSERT_TRUE(CheckEmailSettings(company, mailer, prompter, progress));
    ASSERT_EQ(EmailInvoiceText(files, "1", company, mailer, prompter, kClock).result,
              InvoiceMailOutcome::Result::Sent);
    const auto mails = peer.received();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].field("header-names"),
              "Date|From|To|Subject|Message-ID|MIME-Version|Content-Type|"
              "Content-Transfer-Encoding");
    EXPECT_EQ(mails[0].all("rcpt"), std::vector<std::string>{"ap@evil.test"});
    EXPECT_EQ(mails[0].field("subject").find('\n'), std::string::npos);
}

TEST_F(MailRunTest, FreeMessageToTwentyQueuedCustomersOverOneConnection) {
    SmtpPeer peer(SmtpPeer::Options{});
    aim(company, peer);
    LabelQueue queue;
    for (int i = 1; i <= 20; ++i) {
        const std::string no = std::to_string(100 + i);
        queue.add(LabelEntry{no, "", "", ""});
        if (i == 7) continue;  // deleted since it was queued
        customer(no, "Customer " + no, i == 12 ? "n/a" : "c" + no + "@shop.test");
    }
    ASSERT_TRUE(CheckEmailSettings(company, mailer, prompter, progress));
    prompter.expect(
        "There were 19 e-mail messages sent. 1 queue entry was skipped: the customer is no "
        "longer on file.");
    const MailRunCounts c = SendFreeMessage(
        {"owner@northside.test", "Neue Öffnungszeiten", {"Ab Montag: 8–18 Uhr.", "", "Grüße"}},
        queue, files.customers, company, mailer, prompter, progress);
    EXPECT_EQ(c.sent, 19);
    EXPECT_EQ(c.missing, 1);
    EXPECT_FALSE(mailer.connected());
    const auto mails = peer.received();
    ASSERT_EQ(mails.size(), 19u);
    for (const auto& m : mails) {
        EXPECT_EQ(m.field("connection"), "1");
        EXPECT_EQ(m.field("mail_from"), "owner@northside.test");
        EXPECT_EQ(m.bodyLines(), (std::vector<std::string>{"Ab Montag: 8–18 Uhr.", "", "Grüße"}));
    }
    EXPECT_EQ(mails[0].field("subject"), "Neue Öffnungszeiten");
    EXPECT_EQ(mails[0].all("rcpt"), std::vector<std::string>{"c101@shop.test"});
    // Customer 107 is gone: 108 follows 106 with its own address.
    EXPECT_EQ(mails[6].all("rcpt"), std::vector<std::string>{"c108@shop.test"});
    EXPECT_EQ(mails[10].field("subject"), "BAD E-MAIL ADDRESS FOR: Customer 112");
    EXPECT_EQ(mails[10].all("rcpt"), std::vector<std::string>{"billing@northside.test"});
}

TEST_F(MailRunTest, ADroppedConnectionEndsTheBatchWithItsCounts) {
    SmtpPeer peer(SmtpPeer::Options().dropAfterMessages(2));
    aim(company, peer);
    customer("100", "Harbor", "ap@harbor.test");
    std::vector<std::string> numbers;
    for (int i = 1; i <= 5; ++i) {
        numbers.push_back(std::to_string(500 + i));
        invoice(numbers.back(), "100");
    }
    ASSERT_TRUE(CheckEmailSettings(company, mailer, prompter, progress));
    const MailRunCounts c =
        EmailInvoiceBatch(files, numbers, company, mailer, prompter, progress, kClock, &labels);
    EXPECT_EQ(c.sent, 2);
    EXPECT_EQ(c.failed, 1);
    EXPECT_EQ(c.notSent, 2);
    EXPECT_TRUE(c.stopped);
    EXPECT_EQ(peer.received().size(), 2u);
    const std::string text = MailRunProblems(c, "invoice");
    EXPECT_EQ(text.rfind("2 e-mail messages were sent and 3 were not. The connection to the mail "
                         "server was lost, so the run stopped. The first not sent: invoice 503. ",
                         0),
              0u)
        << text;
    // Only the invoices that went carry the printed mark.
    EXPECT_TRUE(header(1).yes(data::Invoice::PrintedFlag));
    EXPECT_FALSE(header(3).yes(data::Invoice::PrintedFlag));
}

TEST_F(MailRunTest, SwitchingCompanyClearsTheLogin) {
    testing::TempDir certs;
    const testing::Certificate cert = testing::MakeCertificate(certs.path());
    mailer.setCaFile(cert.cert);
    // Company A logs in over STARTTLS.
    SmtpPeer serverA(SmtpPeer::Options().startTls(cert).login("clerk:s3cret"));
    data::CompanyRecord a = company;
    aim(a, serverA);
    a.setText(Company::EMailLogin, "clerk");
    a.setText(Company::EMailPassword, "s3cret");
    customer("100", "Harbor", "ap@harbor.test");
    invoice("1", "100");
    invoice("2", "100");
    ASSERT_TRUE(CheckEmailSettings(a, mailer, prompter, progress));
    ASSERT_EQ(EmailInvoiceText(files, "1", a, mailer, prompter, kClock).result,
              InvoiceMailOutcome::Result::Sent);
    mailer.disconnect();
    ASSERT_EQ(serverA.received().size(), 1u);
    EXPECT_EQ(serverA.received()[0].field("auth"), "clerk");

    // Company B has no login; its server would take one in the clear and must get none.
    SmtpPeer serverB(SmtpPeer::Options().login("clerk:s3cret", true));
    data::CompanyRecord b = company;
    aim(b, serverB);
    b.setText(Company::EMailAddress, "office@b.test");
    ASSERT_TRUE(CheckEmailSettings(b, mailer, prompter, progress));
    ASSERT_EQ(EmailInvoiceText(files, "2", b, mailer, prompter, kClock).result,
              InvoiceMailOutcome::Result::Sent);
    ASSERT_EQ(serverB.received().size(), 1u);
    EXPECT_EQ(serverB.received()[0].field("auth"), "");
    EXPECT_EQ(serverB.events().find("auth"), std::string::npos);
}

TEST_F(MailRunTest, ARefusedLoginIsShownAndNothingIsSent) {
    testing::TempDir certs;
    const testing::Certificate cert = testing::MakeCertificate(certs.path());
    mailer.setCaFile(cert.cert);
    SmtpPeer peer(SmtpPeer::Options().startTls(cert).login("clerk:s3cret"));
    aim(company, peer);
    company.setText(Company::EMailLogin, "clerk");
    company.setText(Company::EMailPassword, "typo");
    prompter.expect("The mail server 127.0.0.1 (port " + std::to_string(peer.port()) +
                    ") refused the login. Check the login name and password in the company "
                    "setup. The server replied: \"535 5.7.8 Authentication credentials "
                    "invalid\"");
    EXPECT_FALSE(CheckEmailSettings(company, mailer, prompter, progress));
    EXPECT_EQ(prompter.last().title, "E-Mail Mode");
    EXPECT_TRUE(peer.received().empty());
}

TEST_F(MailRunTest, StatementsArriveAndABadAddressComesBackToTheCompany) {
    SmtpPeer peer(SmtpPeer::Options{});
    aim(company, peer);
    company.setText(Company::StatementCaption, "STATEMENT");
    customer("100", "Zoë Müller GmbH", "zoe@muller.test;ap@muller.test");
    customer("200", "No Address Co", "n/a");
    invoice("1043", "100");
    invoice("1044", "200");
    const data::Date today{2024, 3, 20};
    ASSERT_TRUE(CheckEmailSettings(company, mailer, prompter, progress));
    platform::MailError error;
    for (const char* no : {"100", "200"}) {
        const Statement s =
            BuildStatement(StatementFiles{files.customers, files.invoices}, no, false, company);
        ASSERT_TRUE(s.hasActivity());
        ASSERT_TRUE(EmailStatement(s, company, today, mailer, error)) << error.text;
    }
    mailer.disconnect();
    const auto mails = peer.received();
    ASSERT_EQ(mails.size(), 2u);
    dump(mails[0], "statement");
    EXPECT_EQ(mails[0].field("subject"), "STATEMENT - Zoë Müller GmbH");
    EXPECT_EQ(mails[0].all("rcpt"),
              (std::vector<std::string>{"zoe@muller.test", "ap@muller.test"}));
    EXPECT_EQ(mails[0].field("defects"), "0");
    const Statement s100 =
        BuildStatement(StatementFiles{files.customers, files.invoices}, "100", false, company);
    EXPECT_EQ(mails[0].bodyLines(), EmailStatementText(s100, company, today).body);
    EXPECT_EQ(mails[1].field("subject"), "BAD CUSTOMER E-MAIL: No Address Co");
    EXPECT_EQ(mails[1].all("rcpt"), std::vector<std::string>{"billing@northside.test"});
}

}  // namespace
}  // namespace invarro::output
