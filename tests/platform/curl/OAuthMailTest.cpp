// Signing in to a mail provider with OAuth 2.0 and sending with the token: a local provider
// (tests/support/oauth_peer.py) and a local aiosmtpd server that takes only a current token
// over STARTTLS, offering both XOAUTH2 and OAUTHBEARER. The test plays the browser: it
// asks the listener for a favicon first, then follows the provider's redirect.

#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "app/MailSignIn.h"
#include "data/Company.h"
#include "data/IniFile.h"
#include "output/DocumentFixture.h"
#include "output/EMail.h"
#include "platform/curl/CurlMailer.h"
#include "platform/curl/CurlOAuth.h"
#include "support/MemoryKeyring.h"
#include "support/OAuthPeer.h"
#include "support/RecordingProgress.h"
#include "support/SmtpPeer.h"

namespace invarro::output {
namespace {

using data::Company;
using testing::OAuthPeer;
using testing::SmtpPeer;

const platform::FixedClock kClock({2024, 3, 20, 9, 30, 0});

size_t Keep(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

// One GET as a browser makes it; the final status and page.
struct Page {
    long status = 0;
    std::string body;
};
Page Get(const std::string& url, bool follow) {
    Page page;
    CURL* e = curl_easy_init();
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, Keep);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &page.body);
    curl_easy_setopt(e, CURLOPT_TIMEOUT, 20L);
    if (curl_easy_perform(e) == CURLE_OK)
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &page.status);
    curl_easy_cleanup(e);
    return page;
}

bool PortAnswers(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    const bool answered = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return answered;
}

// Every message, answered OK.
class NotingPrompter : public platform::Prompter {
  public:
    platform::Answer ask(const platform::Message& m) override {
        texts.push_back(m.text);
        return platform::Answer::Ok;
    }
    void beep() override {}
    std::string all() const {
        std::string joined;
        for (const std::string& t : texts)
            joined += t + "\n";
        return joined;
    }
    std::vector<std::string> texts;
};

class OAuthMailTest : public DocumentTest {
  protected:
    static void SetUpTestSuite() {
        certs_ = new testing::TempDir;
        cert_ = new testing::Certificate(testing::MakeCertificate(certs_->path()));
    }
    static void TearDownTestSuite() {
        delete cert_;
        delete certs_;
    }

    void SetUp() override {
        DocumentTest::SetUp();
        ASSERT_TRUE(provider.ready());
        ASSERT_TRUE(smtp.ready());
        company.setText(Company::EMailAddress, provider.options().account);
        company.setText(Company::EMailHost, "127.0.0.1");
        company.setText(Company::EMailPort, std::to_string(smtp.port()));
        company.setText(Company::EMailInclNoAddr, "N");
        settings.method = app::SignInMethod::Other;
        settings.clientId = provider.options().clientId;
        settings.authorizeUrl = provider.url("/authorize");
        settings.tokenUrl = provider.url("/token");
        settings.deviceUrl = provider.url("/devicecode");
        settings.scope = "https://mail.test/ offline_access";
        data::IniFile ini(data::IniFilePath(dir.path()));
        ASSERT_TRUE(app::WriteMailSignIn(ini, "1", settings));
        client.setTimeout(10);
        services.keyring = &keyring;
        services.client = &client;
        services.now = [this] { return app::SystemNow() + shift; };
        mailer.setCaFile(cert_->cert);
        mailer.setTimeout(10);
        addCustomer("100", "Zoe Mueller GmbH", {"12 Harbour Road"}, {}, "zoe@muller.test");
        for (const char* no : {"1043", "1044", "1045"}) {
            Header h;
            h.no = no;
            h.total = "108.25";
            h.tax = "8.25";
            h.taxRate = "8.25";
            addHeader(h);
            addLine(no, 1, "TONER-12", "2", "Toner cartridge", "50.00", "Y", "100.00");
        }
    }

    // The browser's sign-in; the browser asks for a favicon before following the
    // provider's page, and its last page is kept.
    app::SignInOutcome signIn() {
        std::thread browser;
        auto open = [&](const std::string& url) {
            const int port = client.lastListenerPort();
            browser = std::thread([this, url, port] {
                favicon = Get("http://127.0.0.1:" + std::to_string(port) + "/favicon.ico", false);
                landing = Get(url, true);
            });
            return true;
        };
        app::SignInOutcome out =
            app::SignInWithBrowser(dir.path(), "1", settings, services, open, 20, {});
        if (browser.joinable()) browser.join();
        return out;
    }

    MailLogin login() {
        return MailLogin(RecordMailPassword,
                         [this](const data::CompanyRecord& c,
                                std::string* error) -> std::optional<MailTokenLogin> {
                             auto t = app::MailAccessToken(dir.path(), c, services, error);
                             if (!t) return std::nullopt;
                             return MailTokenLogin{t->user, t->accessToken};
                         });
    }

    // The invoices e-mailed over one session; false when the session did not start.
    bool mail(const std::vector<std::string>& numbers, NotingPrompter& told,
              MailRunCounts* counts = nullptr) {
        MailRunCounts run;
        const bool ran = RunMailSession(
            company, mailer, told, progress,
            [&] {
                run = EmailInvoiceBatch(files, numbers, company, mailer, told, progress, kClock,
                                        nullptr);
            },
            login());
        if (counts) *counts = run;
        return ran;
    }

    std::string stored() {
        for (const auto& [key, secret] : keyring.secrets)
            if (key.rfind("1 ", 0) == 0) return secret;
        return {};
    }

    static testing::TempDir* certs_;
    static testing::Certificate* cert_;

    OAuthPeer provider{OAuthPeer::Options{}};
    SmtpPeer smtp{SmtpPeer::Options().startTls(*cert_).tokensOf(provider.tokensFile())};
    app::MailSignInSettings settings;
    testing::MemoryKeyring keyring;
    platform::curl::CurlOAuth client;
    app::TokenServices services;
    long long shift = 0;
    platform::curl::CurlMailer mailer;
    testing::RecordingProgress progress;
    Page favicon, landing;
};
testing::TempDir* OAuthMailTest::certs_ = nullptr;
testing::Certificate* OAuthMailTest::cert_ = nullptr;

TEST_F(OAuthMailTest, BrowserSignInThenInvoiceGoesOutWithXoauth2) {
    const app::SignInOutcome out = signIn();
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(out.account, "billing@northside.test");
    // The stray request was turned away; the real answer got the closing page.
    EXPECT_EQ(favicon.status, 404);
    EXPECT_EQ(landing.status, 200);
    EXPECT_NE(landing.body.find("You may close this browser window"), std::string::npos);
    EXPECT_NE(landing.body.find("billing@northside.test"), std::string::npos);
    // The listener is gone once the sign-in is over.
    ASSERT_GT(client.lastListenerPort(), 0);
    EXPECT_FALSE(PortAnswers(client.lastListenerPort()));
    // The mail scope came with openid and email, and the account went to the settings.
    EXPECT_NE(provider.events().find("scope=https://mail.test/ offline_access openid email"),
              std::string::npos)
        << provider.events();
    const data::IniFile ini(data::IniFilePath(dir.path()));
    EXPECT_EQ(app::ReadMailSignIn(ini, "1").account, "billing@northside.test");
    ASSERT_TRUE(app::ParseStoredTokens(stored()));

    NotingPrompter told;
    MailRunCounts counts;
    ASSERT_TRUE(mail({"1043"}, told, &counts)) << told.all();
    EXPECT_EQ(counts.sent, 1) << counts.firstFailure;
    const auto mails = smtp.received();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].field("tls"), "yes");
    EXPECT_EQ(mails[0].field("auth"), "billing@northside.test");
    // The server offered both; the token went by XOAUTH2.
    EXPECT_NE(smtp.events().find("auth XOAUTH2 billing@northside.test ok"), std::string::npos)
        << smtp.events();
    EXPECT_EQ(smtp.events().find("OAUTHBEARER"), std::string::npos);
    EXPECT_TRUE(header(1).yes(data::Invoice::PrintedFlag));
    // A token good for an hour was not refreshed.
    EXPECT_EQ(provider.count("refresh_token"), 0);
}

TEST_F(OAuthMailTest, ExpiredTokenIsRefreshedOnceForAWholeBatch) {
    ASSERT_TRUE(signIn().ok);
    const std::string first = stored();
    ASSERT_TRUE(provider.expireAccess());
    // The program's clock agrees: the stored token has run out.
    shift = 3600;
    NotingPrompter told;
    MailRunCounts counts;
    ASSERT_TRUE(mail({"1043", "1044", "1045"}, told, &counts)) << told.all();
    EXPECT_EQ(counts.sent, 3) << counts.firstFailure;
    EXPECT_EQ(provider.count("refresh_token ok"), 1);
    EXPECT_EQ(smtp.received().size(), 3u);
    // The rotated refresh token replaced the spent one.
    const auto before = app::ParseStoredTokens(first);
    const auto after = app::ParseStoredTokens(stored());
    ASSERT_TRUE(before && after);
    EXPECT_NE(before->refreshToken, after->refreshToken);
    EXPECT_GT(after->expiresAt, before->expiresAt);

    // Less than a minute left counts as run out; a minute and more does not.
    shift = 3600 + 3600 - 59;
    ASSERT_TRUE(mail({"1043"}, told));
    EXPECT_EQ(provider.count("refresh_token ok"), 2);
    shift = 3600;
    ASSERT_TRUE(mail({"1044"}, told));
    EXPECT_EQ(provider.count("refresh_token ok"), 2);
}

TEST_F(OAuthMailTest, RevokedSignInAsksToSignInAgainAndMarksNothing) {
    ASSERT_TRUE(signIn().ok);
    ASSERT_TRUE(provider.revoke());
    shift = 7200;
    NotingPrompter told;
    EXPECT_FALSE(mail({"1043"}, told));
    ASSERT_EQ(told.texts.size(), 1u);
    EXPECT_NE(told.texts[0].find("invalid_grant"), std::string::npos) << told.texts[0];
    EXPECT_NE(told.texts[0].find("Sign in again (Company Options, E-Mail)."), std::string::npos);
    // Stopped before the mail server was even asked.
    EXPECT_EQ(smtp.events(), "");
    EXPECT_TRUE(smtp.received().empty());
    EXPECT_FALSE(header(1).yes(data::Invoice::PrintedFlag));
}

TEST_F(OAuthMailTest, TokenTheServerRefusesIsReadFromItsJsonAndMarksNothing) {
    ASSERT_TRUE(signIn().ok);
    // The provider ended the token early; the program still thinks it good.
    ASSERT_TRUE(provider.expireAccess());
    NotingPrompter told;
    EXPECT_FALSE(mail({"1043"}, told));
    ASSERT_EQ(told.texts.size(), 1u);
    EXPECT_NE(told.texts[0].find("refused the sign-in token of billing@northside.test (status "
                                 "401, schemes bearer"),
              std::string::npos)
        << told.texts[0];
    EXPECT_NE(told.texts[0].find("Sign in again (Company Options, E-Mail)."), std::string::npos);
    EXPECT_NE(smtp.events().find("auth XOAUTH2 billing@northside.test refused"), std::string::npos);
    EXPECT_TRUE(smtp.received().empty());
    EXPECT_FALSE(header(1).yes(data::Invoice::PrintedFlag));
}

TEST_F(OAuthMailTest, AnswerWithAnotherStateOrAWrongVerifierIsRefused) {
    ASSERT_TRUE(provider.spoilNextState());
    app::SignInOutcome out = signIn();
    EXPECT_FALSE(out.ok);
    EXPECT_NE(out.error.find("does not belong to this sign-in"), std::string::npos) << out.error;
    EXPECT_EQ(landing.status, 400);
    // The code that came with the wrong state was never exchanged.
    EXPECT_EQ(provider.count("authorization_code"), 0);
    EXPECT_TRUE(keyring.secrets.empty());
    EXPECT_FALSE(PortAnswers(client.lastListenerPort()));

    ASSERT_TRUE(provider.spoilNextVerifier());
    out = signIn();
    EXPECT_FALSE(out.ok);
    EXPECT_NE(out.error.find("PKCE verification failed"), std::string::npos) << out.error;
    EXPECT_EQ(provider.count("authorization_code invalid_grant verifier"), 1);
    EXPECT_TRUE(keyring.secrets.empty());
    const data::IniFile ini(data::IniFilePath(dir.path()));
    EXPECT_EQ(app::ReadMailSignIn(ini, "1").account, "");

    // Nothing came back at all: the wait ends, and the port with it.
    int port = 0;
    out = app::SignInWithBrowser(
        dir.path(), "1", settings, services,
        [&](const std::string&) { return port = client.lastListenerPort(), true; }, 1, {});
    EXPECT_FALSE(out.ok);
    EXPECT_NE(out.error.find("No answer came back"), std::string::npos) << out.error;
    EXPECT_FALSE(PortAnswers(port));
}

TEST_F(OAuthMailTest, MicrosoftsRefusalsNameTheirCause) {
    ASSERT_TRUE(signIn().ok);
    {
        SmtpPeer turnedOff(SmtpPeer::Options()
                               .startTls(*cert_)
                               .tokensOf(provider.tokensFile())
                               .refusingSignIn("535 5.7.139 Authentication unsuccessful, "
                                               "SmtpClientAuthentication is disabled for "
                                               "the Tenant."));
        company.setText(Company::EMailPort, std::to_string(turnedOff.port()));
        NotingPrompter told;
        EXPECT_FALSE(mail({"1043"}, told));
        ASSERT_EQ(told.texts.size(), 1u);
        EXPECT_NE(told.texts[0].find("(5.7.139)"), std::string::npos) << told.texts[0];
        EXPECT_NE(told.texts[0].find("administrator must allow \"Authenticated SMTP\""),
                  std::string::npos);
        // Signing in again would not help, so it is not what the message says.
        EXPECT_EQ(told.texts[0].find("Sign in again"), std::string::npos);
        EXPECT_TRUE(turnedOff.received().empty());
    }
    {
        SmtpPeer denying(
            SmtpPeer::Options().startTls(*cert_).tokensOf(provider.tokensFile()).denyingSendAs());
        company.setText(Company::EMailPort, std::to_string(denying.port()));
        company.setText(Company::EMailAddress, "accounts@northside.test");
        NotingPrompter told;
        MailRunCounts counts;
        ASSERT_TRUE(mail({"1043"}, told, &counts));
        EXPECT_EQ(counts.sent, 0);
        EXPECT_NE(counts.firstFailure.find("does not let billing@northside.test send as "
                                           "accounts@northside.test (SendAsDenied)"),
                  std::string::npos)
            << counts.firstFailure;
        EXPECT_TRUE(denying.received().empty());
    }
    EXPECT_FALSE(header(1).yes(data::Invoice::PrintedFlag));
}

TEST_F(OAuthMailTest, TwoProgramsRefreshingAtOnceBothSendAndNeitherIsLockedOut) {
    ASSERT_TRUE(signIn().ok);
    ASSERT_TRUE(provider.expireAccess());
    shift = 3600;
    // Each has its own client, as two programs would; the keyring is the one of the session.
    platform::curl::CurlOAuth otherClient;
    app::TokenServices other = services;
    other.client = &otherClient;
    std::string errors[2];
    std::optional<app::TokenLogin> got[2];
    std::atomic<bool> go{false};
    auto run = [&](int i, app::TokenServices s) {
        while (!go)
            std::this_thread::yield();
        got[i] = app::MailAccessToken(dir.path(), company, s, &errors[i]);
    };
    std::thread a(run, 0, services), b(run, 1, other);
    go = true;
    a.join();
    b.join();
    ASSERT_TRUE(got[0]) << errors[0];
    ASSERT_TRUE(got[1]) << errors[1];
    // The second waited and took what the first stored: one refresh, no spent token used.
    EXPECT_EQ(got[0]->accessToken, got[1]->accessToken);
    EXPECT_EQ(provider.count("refresh_token ok"), 1);
    EXPECT_EQ(provider.count("refresh_token invalid_grant"), 0);
}

TEST_F(OAuthMailTest, WithoutAStoredSignInOrAKeyringNothingIsConnected) {
    NotingPrompter told;
    // Signed in once, then the keyring lost it (another user's session, a new keyring).
    data::IniFile ini(data::IniFilePath(dir.path()));
    app::MailSignInSettings signedIn = settings;
    signedIn.account = "billing@northside.test";
    ASSERT_TRUE(app::WriteMailSignIn(ini, "1", signedIn));
    EXPECT_FALSE(mail({"1043"}, told));
    ASSERT_EQ(told.texts.size(), 1u);
    EXPECT_NE(told.texts[0].find("holds no sign-in for company 1"), std::string::npos)
        << told.texts[0];
    // The keyring does not answer (a timer without a desktop session).
    keyring.answers = false;
    EXPECT_FALSE(mail({"1043"}, told));
    ASSERT_EQ(told.texts.size(), 2u);
    EXPECT_NE(told.texts[1].find("The desktop keyring did not answer"), std::string::npos);
    EXPECT_NE(told.texts[1].find("no connection was tried"), std::string::npos);
    EXPECT_EQ(smtp.events(), "");
    EXPECT_EQ(provider.count("token"), 0);
    EXPECT_FALSE(header(1).yes(data::Invoice::PrintedFlag));
}

}  // namespace
}  // namespace invarro::output
