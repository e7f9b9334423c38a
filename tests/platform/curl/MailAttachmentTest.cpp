// Invoices, quotes and statements e-mailed with the document attached as PDF, sent
// through the libcurl mail client to a local aiosmtpd server and read back as a mail
// program reads them: Python's e-mail package takes the message apart, pdftotext reads
// the attached file.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "data/Company.h"
#include "output/DocumentFixture.h"
#include "output/EMail.h"
#include "platform/MailText.h"
#include "platform/curl/CurlMailer.h"
#include "platform/qt/PainterCanvas.h"
#include "support/PdfTools.h"
#include "support/QtApp.h"
#include "support/RecordingProgress.h"
#include "support/SmtpPeer.h"

namespace invarro::output {
namespace {

using data::Company;
using testing::SmtpPeer;

const platform::FixedClock kClock({2024, 3, 20, 9, 30, 0});
const data::Date kToday{2024, 3, 20};

class MailAttachmentTest : public DocumentTest {
  protected:
    static void SetUpTestSuite() { testing::QtApp(); }

    void SetUp() override {
        DocumentTest::SetUp();
        // Documents made for a message go to the temporary area; here it is the test's own.
        const char* old = std::getenv("TMPDIR");
        savedTmp_ = old ? old : "";
        hadTmp_ = old != nullptr;
        ::setenv("TMPDIR", tmp.path().c_str(), 1);
        company.setText(Company::EMailAddress, "billing@northside.test");
        company.setText(Company::EMailHost, "127.0.0.1");
        company.setText(Company::EMailInclNoAddr, "N");
        company.setText(Company::StatementCaption, "STATEMENT");
        mailer.setTimeout(10);
        pdf.folder = dir.path();
        pdf.canvas = [] {
            return std::unique_ptr<Canvas>(std::make_unique<platform::qt::PainterCanvas>(nullptr));
        };
    }
    void TearDown() override {
        if (hadTmp_)
            ::setenv("TMPDIR", savedTmp_.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
        DocumentTest::TearDown();
    }

    void aim(const SmtpPeer& peer) {
        ASSERT_TRUE(peer.ready());
        company.setText(Company::EMailPort, std::to_string(peer.port()));
        ASSERT_TRUE(CheckEmailSettings(company, mailer, prompter, progress));
    }
    void customer(const std::string& no, const std::string& name, const std::string& eMail) {
        addCustomer(no, name, {"12 Harbour Road", "", "", "Salina, KS 67401"}, {}, eMail);
    }
    int32_t invoice(const std::string& no, const std::string& cust, char type = 'I') {
        Header h;
        h.no = no;
        h.cust = cust;
        h.type = type;
        h.total = "1082.50";
        h.tax = "82.50";
        h.taxRate = "8.25";
        const int32_t recNo = addHeader(h);
        addLine(no, 1, "TONER-12", "2", "Toner cartridge, black", "500.00", "Y", "1000.00");
        return recNo;
    }
    // Invoice 1043 of customer 100 e-mailed with its PDF to the server.
    struct Attempt {
        InvoiceMailOutcome out;
        int32_t recNo = 0;
    };
    Attempt mailOne(const SmtpPeer& peer) {
        customer("100", "Harbor", "ap@harbor.test");
        Attempt a;
        a.recNo = invoice("1043", "100");
        aim(peer);
        a.out =
            EmailInvoiceText(files, "1043", company, mailer, prompter, kClock, nullptr, false, pdf);
        return a;
    }
    // Nothing made for a message is left: not in the data folder, not in the temporary area
    // (where the server keeps what it received).
    void expectNothingLeftBehind() {
        EXPECT_FALSE(std::filesystem::exists(dir.path() + "/pdf"));
        for (const auto& e : std::filesystem::directory_iterator(tmp.path()))
            if (e.path().filename().string().rfind("invarro-test-", 0) != 0)
                ADD_FAILURE() << "left behind: " << e.path();
    }
    static std::string Text(const testing::ReceivedMail::Attachment& a) {
        return testing::PdfText(a.path);
    }

    testing::TempDir tmp;
    platform::curl::CurlMailer mailer;
    testing::RecordingProgress progress;
    DocumentPdfMaker pdf;

  private:
    std::string savedTmp_;
    bool hadTmp_ = false;
};

TEST_F(MailAttachmentTest, InvoiceAndQuoteCarryTheDocumentThatSendToPdfWrites) {
    SmtpPeer peer(SmtpPeer::Options{});
    customer("100", "Zoë Müller GmbH", "zoe@muller.test");
    const int32_t inv = invoice("1043", "100");
    invoice("Q1043", "100", 'Q');
    aim(peer);
    for (const char* no : {"1043", "Q1043"}) {
        const InvoiceMailOutcome out =
            EmailInvoiceText(files, no, company, mailer, prompter, kClock, nullptr, false, pdf);
        ASSERT_EQ(out.result, InvoiceMailOutcome::Result::Sent) << out.error.text;
    }
    mailer.disconnect();
    expectNothingLeftBehind();

    const auto mails = peer.received();
    ASSERT_EQ(mails.size(), 2u);
    const testing::ReceivedMail& m = mails[0];
    EXPECT_EQ(m.field("defects"), "0");
    EXPECT_EQ(m.field("bare-lf"), "0");
    EXPECT_LE(std::stoi(m.field("longest-line")), 78);
    EXPECT_EQ(m.field("content-type").rfind("multipart/mixed", 0), 0u);
    EXPECT_EQ(m.all("part"), (std::vector<std::string>{"text/plain", "application/pdf"}));
    // The text is the cover letter of the attached document, and the text part is UTF-8
    // quoted-printable.
    EXPECT_EQ(m.bodyLines(),
              MergeBody(CoverLetter(MailKind::Invoice).body,
                        InvoiceMergeValues(assemble("1043"), DocumentKind::Invoice, company)));
    EXPECT_EQ(
        m.field("subject"),
        "Invoice 1043 from Northside Supply: " +
            InvoiceMergeValues(assemble("1043"), DocumentKind::Invoice, company).at("Amount"));
    EXPECT_NE(m.raw.find("Content-Type: text/plain; charset=UTF-8\r\n"
                         "Content-Transfer-Encoding: quoted-printable\r\n"),
              std::string::npos);
    ASSERT_EQ(m.attachments.size(), 1u);
    const auto& a = m.attachments[0];
    EXPECT_EQ(a.fileName, "Invoice-1043.pdf");
    EXPECT_EQ(a.contentType, "application/pdf");
    EXPECT_EQ(a.disposition, "attachment");
    EXPECT_EQ(a.bytes.rfind("%PDF-", 0), 0u);
    const std::string text = Text(a);
    EXPECT_NE(text.find("1043"), std::string::npos) << text;
    EXPECT_NE(text.find("Zoë Müller GmbH"), std::string::npos) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex("Balance Due:[\\s$]*1,082\\.50"))) << text;
    // The same pages as Send to PDF writes.
    platform::qt::PainterCanvas canvas(nullptr);
    const PdfOutcome sent = WriteInvoicePdf(canvas, assemble("1043"), DocumentKind::Invoice,
                                            FormContext{company, dir.path()}, tmp.file("x.pdf"));
    ASSERT_TRUE(sent.ok) << sent.error;
    EXPECT_EQ(text, testing::PdfText(sent.path));
    EXPECT_EQ(testing::PdfInfo(a.path)["Subject"], "INVOICE 1043");
    // Marked once the server had it.
    EXPECT_TRUE(header(inv).yes(data::Invoice::PrintedFlag));
    EXPECT_EQ(header(inv).text(data::Invoice::EMailedOn), "03/20/2024");

    ASSERT_EQ(mails[1].attachments.size(), 1u);
    EXPECT_EQ(mails[1].attachments[0].fileName, "Quote-Q1043.pdf");
    EXPECT_TRUE(std::regex_search(Text(mails[1].attachments[0]),
                                  std::regex("Quote Total:[\\s$]*1,082\\.50")));
}

TEST_F(MailAttachmentTest, WithTheOptionOffTheMessageIsTodaysPlainTextByteForByte) {
    SmtpPeer peer(SmtpPeer::Options{});
    customer("100", "Zoë Müller GmbH", "zoe@muller.test");
    invoice("1043", "100");
    aim(peer);
    const InvoiceMailOutcome out = EmailInvoiceText(files, "1043", company, mailer, prompter,
                                                    kClock, nullptr, false, DocumentPdfMaker{});
    ASSERT_EQ(out.result, InvoiceMailOutcome::Result::Sent) << out.error.text;
    const auto mails = peer.received();
    ASSERT_EQ(mails.size(), 1u);
    const testing::ReceivedMail& m = mails[0];
    EXPECT_TRUE(m.attachments.empty());
    EXPECT_EQ(m.field("header-names"),
              "Date|From|To|Subject|Message-ID|MIME-Version|Content-Type|"
              "Content-Transfer-Encoding");
    // Everything but the date and the message's identity is what was sent before.
    auto lineOf = [&](const std::string& name) {
        const size_t at = m.raw.find("\r\n" + name + ": ");
        const size_t start = at + 4 + name.size();
        return m.raw.substr(start, m.raw.find("\r\n", start) - start);
    };
    EXPECT_EQ(m.raw.rfind("Date: ", 0), 0u);
    const platform::MessageStamp stamp{m.raw.substr(6, m.raw.find("\r\n") - 6),
                                       lineOf("Message-ID"), "=_unused"};
    const platform::MailMessage expected{
        "billing@northside.test",
        "Northside Supply",
        {"zoe@muller.test"},
        "Zoë Müller GmbH Invoice from Northside Supply",
        InvoiceEmailBody(assemble("1043"), DocumentKind::Invoice, company),
        {}};
    EXPECT_EQ(m.raw, platform::ComposeMessage(expected, stamp));
    const std::string head = m.raw.substr(0, m.raw.find("\r\n\r\n") + 4);
    const std::string afterId = head.substr(head.find("\r\nMIME-Version"));
    EXPECT_EQ(lineOf("From"), "\"Northside Supply\" <billing@northside.test>");
    EXPECT_EQ(lineOf("To"), "zoe@muller.test");
    EXPECT_EQ(m.field("subject"), "Zoë Müller GmbH Invoice from Northside Supply");
    EXPECT_EQ(afterId,
              "\r\nMIME-Version: 1.0\r\n"
              "Content-Type: text/plain; charset=UTF-8\r\n"
              "Content-Transfer-Encoding: quoted-printable\r\n\r\n");
    EXPECT_EQ(m.raw.substr(head.size()), platform::QuotedPrintable(InvoiceEmailBody(
                                             assemble("1043"), DocumentKind::Invoice, company)));
    expectNothingLeftBehind();
}

TEST_F(MailAttachmentTest, AStatementCarriesTheCustomersOwnRowsUnderAnEncodedName) {
    SmtpPeer peer(SmtpPeer::Options{});
    customer("MÜLLER", "Zoë Müller GmbH", "zoe@muller.test");
    customer("200", "Other Co", "other@co.test");
    invoice("1043", "MÜLLER");
    invoice("1044", "MÜLLER");
    invoice("2001", "200");
    aim(peer);
    const Statement s =
        BuildStatement(StatementFiles{files.customers, files.invoices}, "MÜLLER", false, company);
    ASSERT_EQ(s.rows.size(), 2u);
    platform::MailError error;
    ASSERT_TRUE(EmailStatement(s, company, kToday, mailer, error, pdf)) << error.text;
    mailer.disconnect();
    expectNothingLeftBehind();
    const auto mails = peer.received();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].field("defects"), "0");
    EXPECT_LE(std::stoi(mails[0].field("longest-line")), 78);
    EXPECT_EQ(mails[0].bodyLines(), MergeBody(CoverLetter(MailKind::Statement).body,
                                              StatementMergeValues(s, company, kToday)));
    ASSERT_EQ(mails[0].attachments.size(), 1u);
    const auto& a = mails[0].attachments[0];
    // Not plain ASCII: sent in the extended form, read back as it was.
    EXPECT_EQ(a.fileName, "Customer-MÜLLERStatement.pdf");
    EXPECT_NE(mails[0].raw.find("filename*=UTF-8''Customer-M%C3%9CLLERStatement.pdf"),
              std::string::npos);
    const std::string text = Text(a);
    EXPECT_NE(text.find("1043"), std::string::npos) << text;
    EXPECT_NE(text.find("1044"), std::string::npos);
    EXPECT_EQ(text.find("2001"), std::string::npos);
    EXPECT_NE(text.find("Zoë Müller GmbH"), std::string::npos);
    EXPECT_NE(text.find("Account Number: MÜLLER"), std::string::npos);
}

TEST_F(MailAttachmentTest, ABatchOfTwentyAttachesEachOwnInvoiceAndMarksOnlyWhatWent) {
    SmtpPeer peer(SmtpPeer::Options().refuse("refuse-me"));
    std::vector<std::string> numbers;
    std::vector<int32_t> recNos;
    for (int i = 1; i <= 20; ++i) {
        const std::string cust = std::to_string(100 + i);
        customer(cust, "Customer " + cust,
                 i == 8 ? "refuse-me@shop.test" : "c" + cust + "@shop.test");
        numbers.push_back(std::to_string(5000 + i));
        recNos.push_back(invoice(numbers.back(), cust));
    }
    aim(peer);
    LabelQueue labels;
    const MailRunCounts c = EmailInvoiceBatch(files, numbers, company, mailer, prompter, progress,
                                              kClock, &labels, pdf);
    mailer.disconnect();
    EXPECT_EQ(c.sent, 19);
    EXPECT_EQ(c.failed, 1);
    EXPECT_FALSE(c.stopped);
    EXPECT_NE(c.firstFailure.find("invoice 5008. The mail server refused the recipient address "
                                  "refuse-me@shop.test (RCPT TO). The server replied: \"550"),
              std::string::npos)
        << c.firstFailure;
    expectNothingLeftBehind();
    const auto mails = peer.received();
    ASSERT_EQ(mails.size(), 19u);
    size_t k = 0;
    for (int i = 1; i <= 20; ++i) {
        const std::string number = numbers[size_t(i - 1)];
        const bool marked = header(recNos[size_t(i - 1)]).yes(data::Invoice::PrintedFlag);
        if (i == 8) {
            EXPECT_FALSE(marked);
            EXPECT_EQ(header(recNos[7]).text(data::Invoice::EMailedOn), "");
            continue;
        }
        EXPECT_TRUE(marked) << number;
        const testing::ReceivedMail& m = mails[k++];
        EXPECT_EQ(m.all("rcpt"),
                  std::vector<std::string>{"c" + std::to_string(100 + i) + "@shop.test"});
        ASSERT_EQ(m.attachments.size(), 1u) << number;
        EXPECT_EQ(m.attachments[0].fileName, "Invoice-" + number + ".pdf");
        const std::string text = Text(m.attachments[0]);
        EXPECT_NE(text.find(number), std::string::npos) << number;
        EXPECT_NE(text.find("Customer " + std::to_string(100 + i)), std::string::npos) << text;
    }
}

TEST_F(MailAttachmentTest, TheStatementBatchAttachesEachCustomersOwnStatement) {
    SmtpPeer peer(SmtpPeer::Options{});
    std::vector<std::string> customers;
    for (int i = 1; i <= 3; ++i) {
        const std::string cust = std::to_string(200 + i);
        customer(cust, "Statement Customer " + cust, "s" + cust + "@shop.test");
        invoice(std::to_string(7000 + i), cust);
        customers.push_back(cust);
    }
    aim(peer);
    BatchRun run;
    run.customers = customers;
    run.batchSize = 3;
    run.unpaidOnly = false;
    const StatementMailRun r =
        EmailStatementBatch(StatementFiles{files.customers, files.invoices}, run, company, kToday,
                            mailer, nullptr, prompter, progress, {}, pdf);
    mailer.disconnect();
    EXPECT_TRUE(r.batch.completed);
    EXPECT_EQ(r.counts.sent, 3);
    expectNothingLeftBehind();
    const auto mails = peer.received();
    ASSERT_EQ(mails.size(), 3u);
    for (size_t k = 0; k < 3; ++k) {
        ASSERT_EQ(mails[k].attachments.size(), 1u);
        EXPECT_EQ(mails[k].attachments[0].fileName, "Customer-" + customers[k] + "Statement.pdf");
        const std::string text = Text(mails[k].attachments[0]);
        EXPECT_NE(text.find(std::to_string(7001 + k)), std::string::npos) << text;
        for (size_t other = 0; other < 3; ++other) {
            if (other != k) {
                EXPECT_EQ(text.find(std::to_string(7001 + other)), std::string::npos);
            }
        }
    }
}

TEST_F(MailAttachmentTest, AMessageOverTheServersSizeIsNeitherSentNorMarked) {
    // Big enough for the text, too small for the text and its PDF.
    SmtpPeer peer(SmtpPeer::Options().announceSize(6000));
    const auto [out, recNo] = mailOne(peer);
    EXPECT_EQ(out.result, InvoiceMailOutcome::Result::Failed);
    EXPECT_EQ(out.error.step, platform::MailStep::Size);
    EXPECT_NE(out.error.text.find("takes messages of at most 6 KB (6000 bytes). It was not sent."),
              std::string::npos)
        << out.error.text;
    EXPECT_TRUE(peer.received().empty());
    EXPECT_FALSE(header(recNo).yes(data::Invoice::PrintedFlag));
    // The connection is still good: the text alone goes.
    EXPECT_TRUE(mailer.connected());
    EXPECT_EQ(EmailInvoiceText(files, "1043", company, mailer, prompter, kClock).result,
              InvoiceMailOutcome::Result::Sent);
    EXPECT_TRUE(header(recNo).yes(data::Invoice::PrintedFlag));
    expectNothingLeftBehind();
}

TEST_F(MailAttachmentTest, AMessageTheServerRefusesAfterItsDataLeavesTheInvoiceUnmarked) {
    SmtpPeer peer(SmtpPeer::Options().refuseMessagesWith("application/pdf"));
    const auto [out, recNo] = mailOne(peer);
    EXPECT_EQ(out.result, InvoiceMailOutcome::Result::Failed);
    EXPECT_EQ(out.error.step, platform::MailStep::Message);
    EXPECT_EQ(out.error.reply, "554 5.7.1 Message refused: content not accepted here");
    EXPECT_TRUE(peer.received().empty());
    EXPECT_FALSE(header(recNo).yes(data::Invoice::PrintedFlag));
    EXPECT_EQ(header(recNo).text(data::Invoice::EMailedOn), "");
}

TEST_F(MailAttachmentTest, APdfThatCannotBeMadeSendsNothing) {
    SmtpPeer peer(SmtpPeer::Options{});
    // A PDF writer that cannot write.
    pdf.canvas = [] { return std::unique_ptr<Canvas>(); };
    const auto [out, recNo] = mailOne(peer);
    EXPECT_EQ(out.result, InvoiceMailOutcome::Result::Failed);
    EXPECT_EQ(out.error.step, platform::MailStep::Attachment);
    EXPECT_EQ(out.error.text,
              "The PDF of invoice 1043 could not be made: no PDF writer is available. The e-mail "
              "was not sent.");
    expectNothingLeftBehind();
    EXPECT_TRUE(mailer.connected());
    EXPECT_TRUE(peer.received().empty());
    EXPECT_FALSE(header(recNo).yes(data::Invoice::PrintedFlag));
}

}  // namespace
}  // namespace invarro::output
