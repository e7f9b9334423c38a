#include "platform/curl/CurlMailer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/SmtpPeer.h"
#include "support/TempDir.h"

namespace invarro::platform::curl {
namespace {

using testing::Certificate;
using testing::SmtpPeer;

class CurlMailerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        certs_ = new testing::TempDir;
        trusted_ = new Certificate(testing::MakeCertificate(certs_->path(), "trusted"));
        stranger_ = new Certificate(testing::MakeCertificate(certs_->path(), "stranger"));
    }
    static void TearDownTestSuite() {
        delete trusted_;
        delete stranger_;
        delete certs_;
    }

    // A mailer pointed at the peer, trusting only the test's own certificate.
    void aim(CurlMailer& m, const SmtpPeer& peer) {
        ASSERT_TRUE(peer.ready());
        m.setHost("127.0.0.1");
        m.setPort(peer.port());
        m.setCaFile(trusted_->cert);
        m.setTimeout(10);
    }
    static MailMessage Message(std::string subject, std::vector<std::string> to = {"a@x.test"}) {
        return MailMessage{"billing@acme.test",
                           "Acme",
                           std::move(to),
                           std::move(subject),
                           {"Line one", "", ".", "..two dots", "Grüße aus Köln"},
                           {}};
    }

    static testing::TempDir* certs_;
    static Certificate* trusted_;
    static Certificate* stranger_;
};
testing::TempDir* CurlMailerTest::certs_ = nullptr;
Certificate* CurlMailerTest::trusted_ = nullptr;
Certificate* CurlMailerTest::stranger_ = nullptr;

TEST_F(CurlMailerTest, PlainServerTakesSeveralMessagesOverOneConnection) {
    SmtpPeer peer(SmtpPeer::Options{});
    CurlMailer m;
    aim(m, peer);
    MailError e;
    EXPECT_FALSE(m.send(Message("early"), e));
    EXPECT_EQ(e.step, MailStep::NotConnected);
    ASSERT_TRUE(m.connect(e)) << e.text;
    EXPECT_TRUE(m.connected());
    ASSERT_TRUE(m.send(Message("Invoice 1"), e)) << e.text;
    ASSERT_TRUE(m.send(Message("Rechnung für Müller", {"a@x.test", "b@y.test"}), e)) << e.text;
    ASSERT_TRUE(m.send(Message("Invoice 3"), e)) << e.text;
    m.disconnect();
    EXPECT_FALSE(m.connected());

    const auto mails = peer.received();
    ASSERT_EQ(mails.size(), 3u);
    for (const auto& mail : mails) {
        EXPECT_EQ(mail.field("connection"), "1");
        EXPECT_EQ(mail.field("tls"), "no");
        EXPECT_EQ(mail.field("mail_from"), "billing@acme.test");
        EXPECT_EQ(mail.field("defects"), "0");
        EXPECT_EQ(mail.field("bare-lf"), "0");
        EXPECT_EQ(mail.field("charset"), "utf-8");
        EXPECT_EQ(mail.field("mime-version"), "1.0");
        EXPECT_EQ(mail.field("content-transfer-encoding"), "quoted-printable");
        EXPECT_FALSE(mail.field("date").empty());
        EXPECT_FALSE(mail.field("message-id").empty());
        // Dot-stuffing took the lone dot and the leading dots through unharmed.
        EXPECT_EQ(mail.bodyLines(),
                  (std::vector<std::string>{"Line one", "", ".", "..two dots", "Grüße aus Köln"}));
    }
    EXPECT_NE(mails[0].field("message-id"), mails[2].field("message-id"));
    EXPECT_EQ(mails[1].field("subject"), "Rechnung für Müller");
    EXPECT_EQ(mails[1].all("rcpt"), (std::vector<std::string>{"a@x.test", "b@y.test"}));
    EXPECT_EQ(mails[1].field("to"), "a@x.test, b@y.test");
    EXPECT_EQ(mails[1].field("from"), "Acme <billing@acme.test>");
}

TEST_F(CurlMailerTest, StartTlsCarriesTheLoginAndAWrongPasswordIsRefused) {
    SmtpPeer peer(SmtpPeer::Options().startTls(*trusted_).login("clerk:s3cret"));
    CurlMailer m;
    aim(m, peer);
    m.setLogin("clerk", "wrong");
    MailError e;
    EXPECT_FALSE(m.connect(e));
    EXPECT_EQ(e.step, MailStep::Login) << e.text;
    EXPECT_NE(e.text.find("refused the login"), std::string::npos);
    EXPECT_FALSE(m.connected());

    m.setLogin("clerk", "s3cret");
    ASSERT_TRUE(m.connect(e)) << e.text;
    ASSERT_TRUE(m.send(Message("secure"), e)) << e.text;
    const auto mails = peer.received();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].field("tls"), "yes");
    EXPECT_EQ(mails[0].field("auth"), "clerk");
    // A changed login closes the connection, so the next run logs in afresh.
    m.setLogin("", "");
    EXPECT_FALSE(m.connected());
}

TEST_F(CurlMailerTest, WithoutALoginStartTlsIsUsedWhenOffered) {
    SmtpPeer peer(SmtpPeer::Options().startTls(*trusted_));
    CurlMailer m;
    aim(m, peer);
    MailError e;
    ASSERT_TRUE(m.connect(e)) << e.text;
    ASSERT_TRUE(m.send(Message("upgraded"), e)) << e.text;
    ASSERT_EQ(peer.received().size(), 1u);
    EXPECT_EQ(peer.received()[0].field("tls"), "yes");
}

TEST_F(CurlMailerTest, ALoginIsNeverSentOverAPlainConnection) {
    // The server would take AUTH in the clear; the mailer must not offer it one.
    SmtpPeer peer(SmtpPeer::Options().login("clerk:s3cret", true));
    CurlMailer m;
    aim(m, peer);
    m.setLogin("clerk", "s3cret");
    MailError e;
    EXPECT_FALSE(m.connect(e));
    EXPECT_EQ(e.step, MailStep::Tls) << e.text;
    EXPECT_NE(e.text.find("login was not sent"), std::string::npos);
    EXPECT_EQ(peer.events().find("auth"), std::string::npos) << peer.events();
}

TEST_F(CurlMailerTest, ImplicitTlsPortSpeaksTlsFromTheStart) {
    SmtpPeer peer(SmtpPeer::Options().implicitTls(*trusted_).login("clerk:s3cret"));
    CurlMailer m;
    aim(m, peer);
    m.setImplicitTlsPort(peer.port());
    m.setLogin("clerk", "s3cret");
    MailError e;
    ASSERT_TRUE(m.connect(e)) << e.text;
    ASSERT_TRUE(m.send(Message("smtps"), e)) << e.text;
    ASSERT_EQ(peer.received().size(), 1u);
    EXPECT_EQ(peer.received()[0].field("tls"), "yes");
    EXPECT_EQ(peer.received()[0].field("auth"), "clerk");
}

TEST_F(CurlMailerTest, ACertificateNobodyTrustsEndsTheConnect) {
    {
        SmtpPeer peer(SmtpPeer::Options().startTls(*stranger_));
        CurlMailer m;
        aim(m, peer);
        MailError e;
        EXPECT_FALSE(m.connect(e));
        EXPECT_EQ(e.step, MailStep::Certificate) << e.text;
        EXPECT_NE(e.text.find("not trusted"), std::string::npos);
    }
    {
        // The system's store does not know the test's own certificate either.
        SmtpPeer peer(SmtpPeer::Options().implicitTls(*trusted_));
        CurlMailer m;
        m.setHost("127.0.0.1");
        m.setPort(peer.port());
        m.setImplicitTlsPort(peer.port());
        MailError e;
        EXPECT_FALSE(m.connect(e));
        EXPECT_EQ(e.step, MailStep::Certificate) << e.text;
        EXPECT_TRUE(peer.received().empty());
    }
}

TEST_F(CurlMailerTest, ARefusedRecipientFailsOneMessageOnly) {
    SmtpPeer peer(SmtpPeer::Options().refuse("nobody"));
    CurlMailer m;
    aim(m, peer);
    MailError e;
    ASSERT_TRUE(m.connect(e)) << e.text;
    EXPECT_FALSE(m.send(Message("refused", {"nobody@x.test"}), e));
    EXPECT_EQ(e.step, MailStep::Recipient) << e.text;
    EXPECT_TRUE(m.connected());
    ASSERT_TRUE(m.send(Message("next"), e)) << e.text;
    ASSERT_EQ(peer.received().size(), 1u);
    EXPECT_EQ(peer.received()[0].field("subject"), "next");
    EXPECT_FALSE(m.send(Message("none", {}), e));
    EXPECT_EQ(e.step, MailStep::Recipient);
}

TEST_F(CurlMailerTest, ARefusedRecipientNamesTheAddressAndTheServersReply) {
    SmtpPeer peer(SmtpPeer::Options().refuse("nobody"));
    CurlMailer m;
    aim(m, peer);
    MailError e;
    ASSERT_TRUE(m.connect(e)) << e.text;
    EXPECT_FALSE(m.send(Message("refused", {"nobody@x.test"}), e));
    EXPECT_EQ(e.step, MailStep::Recipient);
    EXPECT_EQ(e.reply, "550 5.1.1 No such user here");
    EXPECT_EQ(e.text,
              "The mail server refused the recipient address nobody@x.test (RCPT TO). The server "
              "replied: \"550 5.1.1 No such user here\"");
}

TEST_F(CurlMailerTest, AClientHostRejectedIsNotCalledARefusedRecipient) {
    // Postfix turns away a client it does not serve at the first recipient.
    SmtpPeer peer(SmtpPeer::Options().rejectingClient());
    CurlMailer m;
    aim(m, peer);
    MailError e;
    ASSERT_TRUE(m.connect(e)) << e.text;
    EXPECT_FALSE(m.send(Message("turned away", {"ap@customer.test"}), e));
    EXPECT_EQ(e.step, MailStep::Client) << e.text;
    EXPECT_EQ(e.reply, "554 5.7.1 <localhost[127.0.0.1]>: Client host rejected: Access denied");
    EXPECT_EQ(e.text.find("refused the recipient address"), std::string::npos) << e.text;
    EXPECT_NE(e.text.find("refused to take mail from this computer at the recipient step (RCPT "
                          "TO ap@customer.test)"),
              std::string::npos)
        << e.text;
    EXPECT_TRUE(e.text.ends_with(
        "The server replied: \"554 5.7.1 <localhost[127.0.0.1]>: Client host rejected: Access "
        "denied\""))
        << e.text;
    EXPECT_TRUE(peer.received().empty());
}

TEST_F(CurlMailerTest, AGreetingThatRefusesIsReportedWithTheServersWords) {
    SmtpPeer peer(SmtpPeer::Options().refusingGreeting());
    CurlMailer m;
    aim(m, peer);
    MailError e;
    EXPECT_FALSE(m.connect(e));
    EXPECT_FALSE(m.connected());
    EXPECT_EQ(e.step, MailStep::Greeting) << e.text;
    EXPECT_EQ(e.reply, "554 5.7.1 peer.test: Client host rejected: no service for you");
    EXPECT_NE(e.text.find("refused this computer's connection when it answered"), std::string::npos)
        << e.text;
    EXPECT_NE(e.text.find("no service for you"), std::string::npos);
}

TEST_F(CurlMailerTest, AMessageRefusedAfterItsDataIsNotSentAndTheNextOneGoes) {
    SmtpPeer peer(SmtpPeer::Options().refuseMessagesWith("FORBIDDEN"));
    CurlMailer m;
    aim(m, peer);
    MailError e;
    ASSERT_TRUE(m.connect(e)) << e.text;
    MailMessage bad = Message("bad");
    bad.body.push_back("FORBIDDEN");
    EXPECT_FALSE(m.send(bad, e));
    EXPECT_EQ(e.step, MailStep::Message) << e.text;
    EXPECT_EQ(e.reply, "554 5.7.1 Message refused: content not accepted here");
    EXPECT_NE(e.text.find("did not accept the message after receiving it (end of DATA)"),
              std::string::npos)
        << e.text;
    EXPECT_TRUE(m.connected());
    ASSERT_TRUE(m.send(Message("good"), e)) << e.text;
    ASSERT_EQ(peer.received().size(), 1u);
    EXPECT_EQ(peer.received()[0].field("subject"), "good");
}

TEST_F(CurlMailerTest, AMessageOverTheAnnouncedSizeIsRefusedBeforeAnyOfItIsSent) {
    SmtpPeer peer(SmtpPeer::Options().announceSize(4000));
    CurlMailer m;
    aim(m, peer);
    MailError e;
    ASSERT_TRUE(m.connect(e)) << e.text;
    EXPECT_EQ(m.sizeLimit(), 4000);
    MailMessage big = Message("big");
    big.attachments.push_back({"Invoice-1.pdf", "application/pdf", std::string(3000, 'x')});
    EXPECT_FALSE(m.send(big, e));
    EXPECT_EQ(e.step, MailStep::Size) << e.text;
    EXPECT_NE(e.text.find("takes messages of at most 4 KB (4000 bytes). It was not sent."),
              std::string::npos)
        << e.text;
    // Nothing of it reached the server, and the connection serves the next message.
    EXPECT_TRUE(m.connected());
    EXPECT_EQ(peer.events().find("MAIL"), std::string::npos);
    big.attachments[0].bytes.resize(1000);
    ASSERT_TRUE(m.send(big, e)) << e.text;
    ASSERT_EQ(peer.received().size(), 1u);
    EXPECT_EQ(peer.received()[0].attachments.size(), 1u);
    // A server that names no limit takes what comes.
    SmtpPeer open(SmtpPeer::Options{});
    CurlMailer n;
    aim(n, open);
    ASSERT_TRUE(n.connect(e)) << e.text;
    EXPECT_EQ(n.sizeLimit(), 33554432);  // aiosmtpd's own default
}

TEST_F(CurlMailerTest, ADroppedConnectionFailsTheMessageAndLeavesTheMailerClosed) {
    SmtpPeer peer(SmtpPeer::Options().dropAfterMessages(2));
    CurlMailer m;
    aim(m, peer);
    MailError e;
    ASSERT_TRUE(m.connect(e)) << e.text;
    ASSERT_TRUE(m.send(Message("1"), e)) << e.text;
    ASSERT_TRUE(m.send(Message("2"), e)) << e.text;
    EXPECT_FALSE(m.send(Message("3"), e));
    EXPECT_EQ(e.step, MailStep::Connection) << e.text;
    EXPECT_FALSE(m.connected());
    // The server has stopped listening: a new connect cannot reach it.
    EXPECT_FALSE(m.connect(e));
    EXPECT_EQ(e.step, MailStep::Reach) << e.text;
    EXPECT_EQ(peer.received().size(), 2u);
}

TEST_F(CurlMailerTest, UnreachableHostAndMissingSettingsSayWhatToCheck) {
    // A port that nothing listens on: bound, then closed.
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    CurlMailer m;
    m.setHost("127.0.0.1");
    m.setPort(ntohs(a.sin_port));
    MailError e;
    EXPECT_FALSE(m.connect(e));
    EXPECT_EQ(e.step, MailStep::Reach);
    EXPECT_NE(e.text.find("cannot be reached"), std::string::npos) << e.text;

    m.setHost("");
    EXPECT_FALSE(m.connect(e));
    EXPECT_EQ(e.step, MailStep::Settings);
}

}  // namespace
}  // namespace invarro::platform::curl
