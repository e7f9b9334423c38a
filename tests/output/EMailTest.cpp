#include "output/EMail.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "DocumentFixture.h"
#include "data/Company.h"
#include "output/Labelwiz.h"
#include "support/RecordingMailer.h"
#include "support/RecordingProgress.h"

namespace invarro::output {
namespace {

using data::Company;
using testing::RecordingMailer;
using testing::RecordingProgress;

const platform::FixedClock kClock({2024, 3, 20, 9, 30, 0});

class EMailTest : public DocumentTest {
  protected:
    void SetUp() override {
        DocumentTest::SetUp();
        setMail(company, "billing@northside.test", "smtp.northside.test", "587");
    }
    static void setMail(data::CompanyRecord& c, const std::string& address, const std::string& host,
                        const std::string& port, const std::string& login = "",
                        const std::string& password = "") {
        c.setText(Company::EMailAddress, address);
        c.setText(Company::EMailHost, host);
        c.setText(Company::EMailPort, port);
        c.setText(Company::EMailLogin, login);
        c.setText(Company::EMailPassword, password);
    }
    void setCustomerEMail(const std::string& no, const std::string& eMail) {
        auto found = FindCustomerByNumber(files.customers, no);
        ASSERT_TRUE(found);
        data::CustomerRecord changed = *found;
        changed.setText(data::Customer::EMail, eMail);
        // Record number 1.. in the order added; the fixture adds few customers.
        for (int32_t recNo = 1; recNo < 100; ++recNo) {
            auto r = data::ReadBusinessRecord<data::Customer>(files.customers, recNo);
            if (r && r->text(data::Customer::CustNo) == found->text(data::Customer::CustNo)) {
                ASSERT_TRUE(
                    data::ChangeBusinessRecord(files.customers, recNo, *r, changed, prompter).ok());
                return;
            }
        }
        FAIL() << "customer " << no << " not found by record number";
    }
    bool check() { return CheckEmailSettings(company, mailer, prompter, progress); }
    InvoiceMailOutcome mail(const std::string& no) {
        return EmailInvoiceText(files, no, company, mailer, prompter, kClock, &labels, false);
    }

    RecordingMailer mailer;
    RecordingProgress progress;
    LabelQueue labels;
};

TEST_F(EMailTest, SettingsAreCheckedInOrderBeforeAnyConnection) {
    const std::string noAddress =
        "You need to enter your company e-mail address in your company setup so your customers "
        "have a return e-mail address for you.";
    const std::string noHost =
        "You need to enter your company Host Mail Server. This is who will be used to e-mail "
        "your invoices.";
    const std::string noPort =
        "You need to enter your company EMail Port Number. This is only provided by your ISP. "
        "Most use port 25 and others use something else.";
    struct Case {
        std::string address, host, port, title, text;
    };
    const Case cases[] = {
        {"x", "", "", "Your Company E-Mail Address", noAddress},
        {"a@b.test", "h", "", "Your Company E-Mail Host Server", noHost},
        {"a@b.test", "smtp.test", "  ", "E-Mail Port Number", noPort},
        {"a@b.test", "smtp.test", "2x", "E-Mail Port Number",
         "The e-mail port number \"2x\" is not a port number (1 to 65535). Correct it in your "
         "company setup."},
        {"a@b.test", "smtp.test", "70000", "E-Mail Port Number",
         "The e-mail port number \"70000\" is not a port number (1 to 65535). Correct it in "
         "your company setup."},
    };
    for (const Case& c : cases) {
        setMail(company, c.address, c.host, c.port);
        prompter.expect(c.text);
        EXPECT_FALSE(check()) << c.title;
        EXPECT_EQ(prompter.last().title, c.title);
    }
    EXPECT_EQ(mailer.connects, 0);
    EXPECT_TRUE(mailer.host.empty());
}

TEST_F(EMailTest, ConnectsOnceShowsTheFailureAndSetsOrClearsTheLoginEveryTime) {
    company.setText(Company::EMailLogin, " clerk ");
    company.setText(Company::EMailPassword, " s3cret ");
    ASSERT_TRUE(check());
    EXPECT_EQ(mailer.host, "smtp.northside.test");
    EXPECT_EQ(mailer.port, 587);
    EXPECT_EQ(mailer.user, "clerk");
    // The password goes as typed and stored, blanks and all; the login name is trimmed.
    EXPECT_EQ(mailer.password, " s3cret ");
    EXPECT_EQ(progress.titles, std::vector<std::string>{"E-Mail Mode"});
    EXPECT_EQ(progress.shown.front(), "Checking E-Mail Server...");
    ASSERT_TRUE(check());
    EXPECT_EQ(mailer.connects, 1);  // the open connection serves the run

    // Company B has no login: A's must not reach B's server.
    data::CompanyRecord b = company;
    setMail(b, "office@b.test", "smtp.b.test", "25");
    ASSERT_TRUE(CheckEmailSettings(b, mailer, prompter, progress));
    EXPECT_EQ(mailer.user, "");
    EXPECT_EQ(mailer.password, "");
    EXPECT_EQ(mailer.connects, 2);

    mailer.disconnect();
    mailer.refuseConnect = true;
    prompter.expect("The mail server cannot be reached.");
    EXPECT_FALSE(check());
    EXPECT_EQ(prompter.last().title, "E-Mail Mode");
}

TEST_F(EMailTest, AddressListRuleAndUsableAddresses) {
    EXPECT_EQ(AddressListRule(" a@x.test ; b@y.test;; "), "a@x.test,b@y.test");
    EXPECT_EQ(AddressListRule(std::string(60, 'a') + "@x.test").size(), 50u);
    EXPECT_TRUE(UsableAddressList("a@x.test"));
    EXPECT_TRUE(UsableAddressList("a@x.test; b@y.test"));
    for (const char* bad : {"", "  ", "n/a", "a@", "@x.test", "a@@x.test", "a@b@c", "a b@x.test",
                            "<a@x.test>", "a@x.test;n/a", "a\r@x.test"})
        EXPECT_FALSE(UsableAddressList(bad)) << bad;
    // "," separates like ";", empty parts are dropped, and quotes or DEL make an address
    // unusable, for statements as for invoices.
    for (const char* good : {"a@x.test,b@y.test", "a@x.test;", " ;a@x.test;;b@y.test"})
        EXPECT_TRUE(UsableAddressList(good)) << good;
    for (const char* bad : {"\"a\"@x.test", "a\x7f@x.test", "a@x.test,b"})
        EXPECT_FALSE(UsableAddressList(bad)) << bad;

    company.setText(Company::EMailInclNoAddr, "N");
    EXPECT_EQ(AddressCustomer("  ", company).kind, Addressing::Kind::Skip);
    Addressing bad = AddressCustomer("n/a", company);
    EXPECT_EQ(bad.kind, Addressing::Kind::Company);
    EXPECT_EQ(bad.recipients, std::vector<std::string>{"billing@northside.test"});
    company.setText(Company::EMailInclNoAddr, "Y");
    EXPECT_EQ(AddressCustomer("", company).kind, Addressing::Kind::Company);
    Addressing two = AddressCustomer("a@x.test;b@y.test", company);
    EXPECT_EQ(two.kind, Addressing::Kind::Customer);
    EXPECT_EQ(two.recipients, (std::vector<std::string>{"a@x.test", "b@y.test"}));
}

TEST_F(EMailTest, InvoiceBodyFollowsTheDocument) {
    sampleInvoice();
    company.setText(Company::EMailLines, "Y");
    company.setByte(Company::PrintProdCodes, 1);
    company.setByte(Company::PrintCustAging, 1);
    company.setByte(Company::PrintSalesMsg, 1);
    company.setText(Company::SalesMsg2, "Thank you for your business");
    const InvoiceDocument doc = assemble("1043");
    const auto body = InvoiceEmailBody(doc, DocumentKind::Invoice, company);
    const auto captions = AgingCaptions(company);
    const std::vector<std::string> expected = {
        "",
        DocumentCaption(doc, DocumentKind::Invoice, ReadFormTexts(company)),
        "500 Depot Street",
        "Salina, KS 67401",
        "(785) 555-0123",
        "",
        "Harborview Dental Group",
        "1420 Marina Blvd",
        "Suite 200",
        "San Leandro, CA 94577",
        ReadFormTexts(company).shipCaption,
        "Receiving",
        "1420 Marina Blvd",
        "Dock 2",
        "San Leandro, CA 94577",
        std::string(80, '-'),
        "Date: 03/03/2024",
        "Number: 1043",
        "Account Number: 100",
        "Payment Terms: Net 30 Days",
        "Reference: PO 7781",
        "",
        "*** Item# 1     Code: TONER-12",
        "Description: Toner cartridge, black",
        "Quantity: 2 @ 450.00 = 900.00 Taxable: Y",
        "",
        "*** Item# 2     Code: PAPER",
        "Description: Copy paper, case",
        "Quantity: 10.5 @ 9.5238 = 100.00 Taxable: Y",
        "",
        "*** Item# 3     Code: ",
        "Description: Delivered Tuesday",
        "",
        "Total: $1,000.00",
        "8.25% Sales Tax 82.50",
        "Grand Total: 1,082.50",
        "Paid Amount: 0.00",
        "Balance Due: 1,082.50",
        "Thank you for your business",
        "",
        "Total Account Balance: 1,450.75",
        captions[0] + " 1,000.00",
        captions[1] + " 450.75",
        captions[2] + " 0.00",
        captions[3] + "0.00",
    };
    EXPECT_EQ(body, expected);
    EXPECT_EQ(InvoiceEmailSubject(doc, DocumentKind::Invoice, company),
              "Harborview Dental Group Invoice from Northside Supply");
}

// The e-mail text writes a sub-total from its amount: no digit is cut.
TEST_F(EMailTest, ASubTotalReadsWholeInTheText) {
    addCustomer("100", "Harborview Dental Group");
    Header h;
    h.no = "1051";
    h.total = "1317.50";
    addHeader(h);
    addLine("1051", 1, "PRINT", "1", "Brochures", "700.00", "N", "700.00");
    addLine("1051", 2, "CONSULT", "1", "Consulting", "617.50", "N", "617.50");
    addLine("1051", 3, "SUB-TOTAL", "", "*** Sub-Total SUB-TOTAL $1,317.5", "", "", "");
    const auto body = InvoiceEmailBody(assemble("1051"), DocumentKind::Invoice, company);
    EXPECT_NE(std::find(body.begin(), body.end(),
                        "Description: *** Sub-Total SUB-TOTAL " +
                            company.text(Company::CurrencySymbol) + "1,317.50"),
              body.end());
}

TEST_F(EMailTest, QuoteAndCreditAndMemoBodies) {
    addCustomer("100", "Harborview Dental Group");
    Header q;
    q.no = "Q7";
    q.type = 'Q';
    q.total = "50.00";
    addHeader(q);
    addLine("Q7", 1, "X", "1", "Thing", "50.00", "N", "50.00");
    company.setByte(Company::PrintCustAging, 1);
    company.setText(Company::EMailLines, "N");
    InvoiceDocument doc = assemble("Q7");
    auto body = InvoiceEmailBody(doc, DocumentKind::Quote, company);
    EXPECT_EQ(body.back(), "Quote Total: 50.00");  // no paid, balance or aging lines
    EXPECT_EQ(InvoiceEmailSubject(doc, DocumentKind::Quote, company),
              "Harborview Dental Group Quote from Northside Supply");

    Header credit;
    credit.no = "C1";
    credit.total = "-20.00";
    credit.style = 'M';
    addHeader(credit);
    addMemo("C1", {"Returned goods", "", "credited in full", "", ""});
    doc = assemble("C1");
    body = InvoiceEmailBody(doc, DocumentKind::Invoice, company);
    ASSERT_GE(body.size(), 3u);
    EXPECT_EQ(body[0], "C R E D I T");
    EXPECT_EQ(body[1], "");
    const auto memo = std::find(body.begin(), body.end(), "Returned goods");
    ASSERT_NE(memo, body.end());
    // The memo ends at its last line with text; the totals follow after one blank line.
    EXPECT_EQ(*(memo + 2), "credited in full");
    EXPECT_EQ(*(memo + 3), "");
    EXPECT_EQ(*(memo + 4), "Total: $-20.00");
}

TEST_F(EMailTest, SendingMarksTheInvoiceWithTheDateStamp) {
    sampleInvoice();
    setCustomerEMail("100", "ap@harbor.test; acct@harbor.test");
    ASSERT_TRUE(check());
    const InvoiceMailOutcome out = mail("1043");
    ASSERT_EQ(out.result, InvoiceMailOutcome::Result::Sent) << out.error.text;
    EXPECT_EQ(out.status, "Invoice 1043 sent by e-mail.");
    ASSERT_EQ(mailer.sent.size(), 1u);
    const platform::MailMessage& m = mailer.sent[0];
    EXPECT_EQ(m.from, "billing@northside.test");
    EXPECT_EQ(m.recipients, (std::vector<std::string>{"ap@harbor.test", "acct@harbor.test"}));
    EXPECT_EQ(m.subject, "Harborview Dental Group Invoice from Northside Supply");
    const data::InvoiceRecord h = header(1);
    EXPECT_TRUE(h.yes(data::Invoice::PrintedFlag));
    EXPECT_EQ(h.text(data::Invoice::EMailedOn), "03/20/2024");
    EXPECT_TRUE(labels.empty());  // not a batch
}

TEST_F(EMailTest, MissingBadAndRefusedAddresses) {
    sampleInvoice();
    ASSERT_TRUE(check());
    company.setText(Company::EMailInclNoAddr, "N");
    setCustomerEMail("100", "");
    EXPECT_EQ(mail("1043").result, InvoiceMailOutcome::Result::NoAddress);
    EXPECT_TRUE(mailer.sent.empty());
    EXPECT_FALSE(header(1).yes(data::Invoice::PrintedFlag));

    setCustomerEMail("100", "n/a");
    InvoiceMailOutcome out = mail("1043");
    EXPECT_EQ(out.result, InvoiceMailOutcome::Result::Sent);
    EXPECT_TRUE(out.toCompany);
    ASSERT_EQ(mailer.sent.size(), 1u);
    EXPECT_EQ(mailer.sent[0].subject, "BAD CUSTOMER E-MAIL ADDRESS");
    EXPECT_EQ(mailer.sent[0].recipients, std::vector<std::string>{"billing@northside.test"});

    // A refused message leaves the invoice unmarked, ready for the next batch.
    Header h2;
    h2.no = "1044";
    h2.total = "5.00";
    const int32_t rec = addHeader(h2);
    setCustomerEMail("100", "gone@harbor.test");
    mailer.refuse = "gone";
    out = mail("1044");
    EXPECT_EQ(out.result, InvoiceMailOutcome::Result::Failed);
    EXPECT_EQ(out.error.step, platform::MailStep::Recipient);
    EXPECT_FALSE(header(rec).yes(data::Invoice::PrintedFlag));
    EXPECT_EQ(mail("9999").result, InvoiceMailOutcome::Result::NotFound);
}

TEST_F(EMailTest, BatchCountsWhatWentAndStopsWhenTheConnectionBreaks) {
    addCustomer("100", "Harborview Dental Group");
    std::vector<std::string> numbers;
    for (int i = 1; i <= 6; ++i) {
        Header h;
        h.no = std::to_string(2000 + i);
        h.total = "10.00";
        addHeader(h);
        numbers.push_back(h.no);
    }
    company.setText(Company::LabelQueueOnBatch, "Y");
    ASSERT_TRUE(check());
    mailer.breakAfter = 3;
    const MailRunCounts c =
        EmailInvoiceBatch(files, numbers, company, mailer, prompter, progress, kClock, &labels);
    EXPECT_EQ(c.sent, 3);
    EXPECT_EQ(c.failed, 1);
    EXPECT_EQ(c.notSent, 2);
    EXPECT_TRUE(c.stopped);
    EXPECT_EQ(labels.size(), 3u);
    EXPECT_NE(std::find(progress.shown.begin(), progress.shown.end(), "E-Mailing Invoice 2004 ..."),
              progress.shown.end());
    EXPECT_EQ(MailRunProblems(c, "invoice"),
              "3 e-mail messages were sent and 3 were not. The connection to the mail server "
              "was lost, so the run stopped. The first not sent: invoice 2004. The connection "
              "was lost.");
    MailRunCounts clean;
    clean.sent = 4;
    EXPECT_EQ(MailRunProblems(clean, "invoice"), "");
    clean.noAddress = 1;
    EXPECT_EQ(MailRunProblems(clean, "invoice"),
              "1 invoice had no customer e-mail address and was not sent.");
}

TEST_F(EMailTest, FreeMessageChecksComeInTheirOrder) {
    FreeMessage m{"me@x.test", "Hello", {"line"}};
    EXPECT_FALSE(CheckFreeMessage(m, 1));
    auto field = [&](FreeMessage changed, std::size_t queue) {
        auto p = CheckFreeMessage(changed, queue);
        return p ? std::optional<std::string>(p->message.title) : std::nullopt;
    };
    EXPECT_EQ(field({"", "", {}}, 0), "E-Mail Subject");
    EXPECT_EQ(field({"", "S", {}}, 0), "E-Mail Address");
    EXPECT_EQ(field({"me.x.test", "S", {}}, 0), "Return E-Mail Address");
    EXPECT_EQ(field({"me@x.test\r\nBcc: y@z", "S", {"b"}}, 1), "Return E-Mail Address");
    EXPECT_EQ(field({"me@x.test", "S", {}}, 0), "Message Text");
    EXPECT_EQ(field({"me@x.test", "S", {"b"}}, 0), "Print Queue");
    EXPECT_EQ(CheckFreeMessage({"me", "S", {}}, 0)->field, FreeMessageField::ReturnAddress);
}

TEST_F(EMailTest, FreeMessageSkipsMissingCustomersAndCountsEverything) {
    addCustomer("100", "Harborview Dental Group");
    addCustomer("200", "Blank Address Co");
    addCustomer("300", "Bad Address Co");
    setCustomerEMail("200", "");
    setCustomerEMail("300", "n/a");
    LabelQueue queue;
    for (const char* no : {"100", "999", "200", "300"})
        queue.add(LabelEntry{no, "", "", ""});
    company.setText(Company::EMailInclNoAddr, "N");
    ASSERT_TRUE(check());
    prompter.expect(
        "There were 1 empty customer e-mail addresses. The customers were not sent your message.");
    prompter.expect(
        "There were 2 e-mail messages sent. 1 queue entry was skipped: the customer is no "
        "longer on file.");
    const MailRunCounts c = SendFreeMessage({"me@x.test", "News", {"Hello", "", "Bye"}}, queue,
                                            files.customers, company, mailer, prompter, progress);
    EXPECT_EQ(c.sent, 2);
    EXPECT_EQ(c.missing, 1);
    EXPECT_EQ(c.noAddress, 1);
    ASSERT_EQ(mailer.sent.size(), 2u);
    EXPECT_EQ(mailer.sent[0].subject, "News");
    EXPECT_EQ(mailer.sent[0].from, "me@x.test");
    EXPECT_EQ(mailer.sent[0].recipients, std::vector<std::string>{"ap@example.com"});
    // The missing customer 999 did not borrow customer 100's address.
    EXPECT_EQ(mailer.sent[1].subject, "BAD E-MAIL ADDRESS FOR: Bad Address Co");
    EXPECT_EQ(mailer.sent[1].recipients, std::vector<std::string>{"billing@northside.test"});
    EXPECT_FALSE(mailer.connected());
    EXPECT_EQ(progress.current[0], "E-Mail Sent: 2");
}

TEST_F(EMailTest, FreeMessageStopsWhenTheConnectionIsLost) {
    addCustomer("100", "Harborview Dental Group");
    LabelQueue queue;
    for (int i = 0; i < 5; ++i)
        queue.add(LabelEntry{"100", "", "", ""});
    ASSERT_TRUE(check());
    mailer.breakAfter = 2;
    prompter.expect(
        "There were 2 e-mail messages sent. 2 e-mail messages were sent and 3 were not. The "
        "connection to the mail server was lost, so the run stopped. The first not sent: "
        "customer 100 (Harborview Dental Group). The connection was lost.");
    const MailRunCounts c = SendFreeMessage({"me@x.test", "News", {"Hello"}}, queue,
                                            files.customers, company, mailer, prompter, progress);
    EXPECT_EQ(c.sent, 2);
    EXPECT_EQ(c.failed + c.notSent, 3);
    EXPECT_EQ(prompter.last().icon, platform::Icon::Warning);
}

}  // namespace
}  // namespace invarro::output

namespace invarro::output {
namespace {

TEST_F(EMailTest, AMailSessionClosesItsConnectionHoweverItEnds) {
    bool ran = false;
    EXPECT_TRUE(RunMailSession(company, mailer, prompter, progress, [&] {
        ran = true;
        EXPECT_TRUE(mailer.connected());
    }));
    EXPECT_TRUE(ran);
    EXPECT_FALSE(mailer.connected());
    EXPECT_THROW(RunMailSession(company, mailer, prompter, progress,
                                [] { throw std::runtime_error("Modify operation failed"); }),
                 std::runtime_error);
    EXPECT_FALSE(mailer.connected());
    mailer.refuseConnect = true;
    prompter.expect("The mail server cannot be reached.");
    ran = false;
    EXPECT_FALSE(RunMailSession(company, mailer, prompter, progress, [&] { ran = true; }));
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace invarro::output

namespace invarro::output {
namespace {

TEST_F(EMailTest, ThePasswordComesFromTheReaderTheProgramGives) {
    company.setText(Company::EMailLogin, "clerk");
    company.setText(Company::EMailPassword, "");
    auto keyring = [](const data::CompanyRecord&, std::string*) {
        return std::string(" from-keyring ");
    };
    ASSERT_TRUE(CheckEmailSettings(company, mailer, prompter, progress, keyring));
    EXPECT_EQ(mailer.password, " from-keyring ");
    mailer.disconnect();

    // A reader that could not give the password says why, and no login is tried - not even
    // with a password it returned beside its error.
    auto broken = [](const data::CompanyRecord&, std::string* error) {
        *error = "The desktop keyring did not answer.";
        return std::string("stale");
    };
    const int connects = mailer.connects;
    prompter.expect("The desktop keyring did not answer.");
    EXPECT_FALSE(CheckEmailSettings(company, mailer, prompter, progress, broken));
    EXPECT_EQ(prompter.last().title, "E-Mail Mode");
    EXPECT_EQ(prompter.last().icon, platform::Icon::Error);
    EXPECT_EQ(mailer.connects, connects);
    EXPECT_EQ(mailer.password, " from-keyring ");
}

}  // namespace
}  // namespace invarro::output
