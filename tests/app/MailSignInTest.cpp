// The company's mail sign-in with a provider: its settings in the INI file, the provider
// it talks to, the tokens as the keyring keeps them, and what a mail run gets (or is told)
// when the provider or the keyring do not play along. The provider here is a double; the
// real one over HTTP is in the mail tests.

#include "app/MailSignIn.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "data/Company.h"
#include "data/SideFiles.h"
#include "support/MemoryKeyring.h"
#include "support/TempDir.h"

namespace invarro::app {
namespace {

using platform::OAuthFailure;
using platform::OAuthResult;

// A provider that answers from the test's script and counts what it was asked.
class ScriptedProvider : public platform::OAuthClient {
  public:
    OAuthResult signInResult, refreshResult;
    std::vector<std::string> refreshedWith;
    platform::OAuthProvider lastProvider;

    OAuthResult signIn(const platform::OAuthProvider& p,
                       const std::function<bool(const std::string&)>&, int,
                       const std::function<bool()>&) override {
        lastProvider = p;
        return signInResult;
    }
    OAuthResult refresh(const platform::OAuthProvider& p, const std::string& token) override {
        lastProvider = p;
        refreshedWith.push_back(token);
        return refreshResult;
    }
    OAuthResult startDevice(const platform::OAuthProvider&, platform::DeviceCode&) override {
        return {OAuthFailure::Provider, "no device grant here", {}, {}};
    }
    OAuthResult pollDevice(const platform::OAuthProvider&, const platform::DeviceCode&,
                           const std::function<bool(int)>&) override {
        return {OAuthFailure::Provider, "no device grant here", {}, {}};
    }
    OAuthResult revokeResult;
    std::vector<std::string> revoked;  // "<endpoint> <token>"
    OAuthResult revoke(const platform::OAuthProvider& p, const std::string& token) override {
        revoked.push_back(p.revokeUrl + " " + token);
        return revokeResult;
    }
};

OAuthResult Tokens(std::string access, std::string refresh, long long expiresIn,
                   std::string account = "ap@shop.test") {
    OAuthResult r;
    r.tokens = {std::move(access), std::move(refresh), expiresIn, std::move(account)};
    return r;
}

class MailSignInTest : public ::testing::Test {
  protected:
    void SetUp() override {
        company = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
        company.setText(data::Company::CompanyNo, "3");
        settings.method = SignInMethod::Microsoft;
        settings.clientId = "11111111-2222-3333-4444-555555555555";
        services = {&keyring, &provider, [this] { return now; }};
        provider.signInResult = Tokens("at-1", "rt-1", 3600);
    }
    std::optional<TokenLogin> token(std::string* error) {
        return MailAccessToken(dir.path(), company, services, error);
    }

    testing::TempDir dir;
    data::CompanyRecord company;
    MailSignInSettings settings;
    testing::MemoryKeyring keyring;
    ScriptedProvider provider;
    TokenServices services;
    long long now = 1'800'000'000;
};

TEST_F(MailSignInTest, SettingsAreKeptPerCompanyAndAPasswordCompanyHasNone) {
    data::IniFile ini(data::IniFilePath(dir.path()));
    MailSignInSettings other;
    other.method = SignInMethod::Other;
    other.clientId = "abc";
    other.authorizeUrl = "https://id.example.test/authorize";
    other.tokenUrl = "https://id.example.test/token";
    other.scope = "smtp offline_access";
    other.account = "me@example.test";
    ASSERT_TRUE(WriteMailSignIn(ini, "3", other));
    ASSERT_TRUE(WriteMailSignIn(ini, "4", settings));
    const data::IniFile again(data::IniFilePath(dir.path()));
    const MailSignInSettings read = ReadMailSignIn(again, "3");
    EXPECT_EQ(read.method, SignInMethod::Other);
    EXPECT_EQ(read.authorizeUrl, other.authorizeUrl);
    EXPECT_EQ(read.scope, other.scope);
    EXPECT_EQ(read.account, "me@example.test");
    EXPECT_EQ(ReadMailSignIn(again, "4").method, SignInMethod::Microsoft);
    // No entry, or one the program does not know: a password.
    EXPECT_EQ(ReadMailSignIn(again, "5").method, SignInMethod::Password);
    data::IniFile edited(data::IniFilePath(dir.path()));
    ASSERT_TRUE(edited.writeString("E-Mail Sign-In 4", "Method", "Carrier pigeon"));
    EXPECT_EQ(ReadMailSignIn(edited, "4").method, SignInMethod::Password);
    // A mail run of a password company asks nothing of the keyring.
    company.setText(data::Company::CompanyNo, "5");
    std::string error = "untouched";
    EXPECT_FALSE(token(&error));
    EXPECT_EQ(error, "untouched");
    EXPECT_EQ(keyring.lookups, 0);
}

TEST_F(MailSignInTest, ProvidersComeWithTheirEndpointsScopesAndServers) {
    platform::OAuthProvider p = ProviderOf(settings);
    EXPECT_EQ(p.scope, "https://outlook.office.com/SMTP.Send offline_access openid email");
    EXPECT_EQ(p.tokenUrl, "https://login.microsoftonline.com/common/oauth2/v2.0/token");
    EXPECT_FALSE(p.deviceUrl.empty());
    EXPECT_EQ(PresetOf(SignInMethod::Microsoft)->smtpHost, "smtp.office365.com");
    MailSignInSettings google = settings;
    google.method = SignInMethod::Google;
    google.clientSecret = "GOCSPX-x";
    p = ProviderOf(google);
    EXPECT_EQ(p.scope, "https://mail.google.com/ openid email");
    EXPECT_EQ(p.clientSecret, "GOCSPX-x");
    // Google's device grant does not allow the mail scope: none is offered.
    EXPECT_TRUE(p.deviceUrl.empty());
    EXPECT_EQ(PresetOf(SignInMethod::Google)->smtpPort, 587);
    // A scope that asks for openid and email already gets them once.
    MailSignInSettings other = settings;
    other.method = SignInMethod::Other;
    other.scope = "email smtp openid";
    EXPECT_EQ(ProviderOf(other).scope, "email smtp openid");
}

TEST_F(MailSignInTest, IncompleteSettingsAreNamed) {
    MailSignInSettings s = settings;
    s.clientId.clear();
    EXPECT_NE(MailSignInProblem(s).find("client) id"), std::string::npos);
    s.method = SignInMethod::Password;
    EXPECT_EQ(MailSignInProblem(s), "");
    s = settings;
    s.method = SignInMethod::Other;
    EXPECT_NE(MailSignInProblem(s).find("authorize and token endpoints"), std::string::npos);
    s.authorizeUrl = "https://id.test/a";
    s.tokenUrl = "http://id.test/t";  // a secret must not go over plain HTTP
    s.scope = "x";
    EXPECT_NE(MailSignInProblem(s).find("not secure"), std::string::npos);
    s.tokenUrl = "http://127.0.0.1:9000/t";
    EXPECT_EQ(MailSignInProblem(s), "");
    s.scope = "   ";
    EXPECT_NE(MailSignInProblem(s).find("scope"), std::string::npos);
    // Nothing is asked of the provider with settings like these.
    s.scope = "x";
    s.deviceUrl = "ftp://id.test/d";
    const SignInOutcome out = SignInWithBrowser(dir.path(), "3", s, services, {}, 1, {});
    EXPECT_FALSE(out.ok);
    EXPECT_TRUE(provider.lastProvider.clientId.empty());
}

TEST_F(MailSignInTest, StoredTokensReadBackAndDamagedOnesAreRefused) {
    const StoredTokens t{"rt", "at", 1800000000};
    const auto back = ParseStoredTokens(StoredTokensText(t));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->refreshToken, "rt");
    EXPECT_EQ(back->accessToken, "at");
    EXPECT_EQ(back->expiresAt, 1800000000);
    for (const char* bad : {"", "rt", "invarro-oauth 1\n\nat\n1\n", "invarro-oauth 2\nrt\nat\n1\n",
                            "invarro-oauth 1\nrt\nat\n-5\n", "invarro-oauth 1\nrt\nat\n1\nmore\n"})
        EXPECT_FALSE(ParseStoredTokens(bad)) << bad;
    // A mail password stored for the company is never taken for tokens.
    EXPECT_FALSE(ParseStoredTokens("s3cret"));
}

TEST_F(MailSignInTest, SignInKeepsTokensPerFolderAndRefreshRotatesThem) {
    ASSERT_TRUE(SignInWithBrowser(dir.path(), "3", settings, services, {}, 1, {}).ok);
    // The same company number in another data folder has a sign-in of its own.
    testing::TempDir second;
    provider.signInResult = Tokens("at-9", "rt-9", 3600, "other@shop.test");
    ASSERT_TRUE(SignInWithBrowser(second.path(), "3", settings, services, {}, 1, {}).ok);
    EXPECT_EQ(keyring.secrets.size(), 2u);

    std::string error;
    auto got = token(&error);
    ASSERT_TRUE(got) << error;
    EXPECT_EQ(got->user, "ap@shop.test");
    EXPECT_EQ(got->accessToken, "at-1");
    EXPECT_TRUE(provider.refreshedWith.empty());

    // With 59 seconds left it is refreshed; the provider rotates the refresh token.
    now += 3600 - 59;
    provider.refreshResult = Tokens("at-2", "rt-2", 3600);
    got = token(&error);
    ASSERT_TRUE(got) << error;
    EXPECT_EQ(got->accessToken, "at-2");
    EXPECT_EQ(provider.refreshedWith, std::vector<std::string>{"rt-1"});
    // A provider that sends no new refresh token leaves the old one in force.
    now += 3600;
    provider.refreshResult = Tokens("at-3", "", 3600);
    ASSERT_TRUE(token(&error));
    now += 3600;
    ASSERT_TRUE(token(&error));
    EXPECT_EQ(provider.refreshedWith, (std::vector<std::string>{"rt-1", "rt-2", "rt-2"}));

    // Signing out forgets this folder's sign-in only.
    ASSERT_TRUE(SignOut(dir.path(), "3", services));
    EXPECT_EQ(keyring.secrets.size(), 1u);
    const data::IniFile ini(data::IniFilePath(dir.path()));
    EXPECT_EQ(ReadMailSignIn(ini, "3").account, "");
}

TEST_F(MailSignInTest, EveryFailureSaysWhatToDoAndOnlyARefusedGrantAsksToSignInAgain) {
    provider.signInResult = Tokens("at-1", "", 3600);
    SignInOutcome out = SignInWithBrowser(dir.path(), "3", settings, services, {}, 1, {});
    EXPECT_FALSE(out.ok);
    EXPECT_NE(out.error.find("no refresh token"), std::string::npos);
    provider.signInResult = Tokens("at-1", "rt-1", 3600, "");
    out = SignInWithBrowser(dir.path(), "3", settings, services, {}, 1, {});
    EXPECT_NE(out.error.find("did not say which account"), std::string::npos);
    EXPECT_TRUE(keyring.secrets.empty());
    keyring.refuseStore = true;
    provider.signInResult = Tokens("at-1", "rt-1", 3600);
    out = SignInWithBrowser(dir.path(), "3", settings, services, {}, 1, {});
    EXPECT_NE(out.error.find("could not be kept in the desktop keyring"), std::string::npos);
    keyring.refuseStore = false;
    ASSERT_TRUE(SignInWithBrowser(dir.path(), "3", settings, services, {}, 1, {}).ok);

    now += 7200;
    std::string error;
    provider.refreshResult = {OAuthFailure::Network, "The provider could not be reached.", {}, {}};
    EXPECT_FALSE(token(&error));
    EXPECT_EQ(error, "The provider could not be reached. Nothing was sent.");
    provider.refreshResult = {
        OAuthFailure::Refused, "The provider refused (invalid_grant).", "invalid_grant", {}};
    EXPECT_FALSE(token(&error));
    EXPECT_NE(error.find("Sign in again (Company Options, E-Mail)."), std::string::npos);
    // A renewed token the keyring will not take is not used: the next run could not refresh.
    provider.refreshResult = Tokens("at-2", "rt-2", 3600);
    keyring.refuseStore = true;
    EXPECT_FALSE(token(&error));
    EXPECT_NE(error.find("could not be kept"), std::string::npos);
    keyring.refuseStore = false;
    // A keyring entry that is not ours is not sent anywhere.
    keyring.secrets.begin()->second = "garbage";
    EXPECT_FALSE(token(&error));
    EXPECT_NE(error.find("not readable"), std::string::npos);
}

TEST_F(MailSignInTest, SignOutEndsTheRefreshTokenWhereTheProviderCanAndForgetsItAnyway) {
    // Microsoft has no revocation endpoint: the tokens are only forgotten here.
    ASSERT_TRUE(SignInWithBrowser(dir.path(), "3", settings, services, {}, 1, {}).ok);
    ASSERT_TRUE(SignOut(dir.path(), "3", services));
    EXPECT_TRUE(provider.revoked.empty());
    EXPECT_TRUE(keyring.secrets.empty());

    // Google's is called with the refresh token in force, before the keyring forgets it.
    settings.method = SignInMethod::Google;
    ASSERT_TRUE(SignInWithBrowser(dir.path(), "3", settings, services, {}, 1, {}).ok);
    ASSERT_TRUE(SignOut(dir.path(), "3", services));
    EXPECT_EQ(provider.revoked,
              std::vector<std::string>{"https://oauth2.googleapis.com/revoke rt-1"});
    EXPECT_TRUE(keyring.secrets.empty());
    EXPECT_EQ(ReadMailSignIn(data::IniFile(data::IniFilePath(dir.path())), "3").account, "");

    // The provider cannot be reached: the sign-in still leaves this computer, and the user
    // is told how to end it at the provider.
    ASSERT_TRUE(SignInWithBrowser(dir.path(), "3", settings, services, {}, 1, {}).ok);
    provider.revokeResult = {
        OAuthFailure::Network, "The sign-in provider could not be reached.", {}, {}};
    std::string error;
    EXPECT_FALSE(SignOut(dir.path(), "3", services, &error));
    EXPECT_TRUE(keyring.secrets.empty());
    EXPECT_EQ(ReadMailSignIn(data::IniFile(data::IniFilePath(dir.path())), "3").account, "");
    EXPECT_NE(error.find("could not be reached."), std::string::npos) << error;
    EXPECT_NE(error.find("remove the application's access"), std::string::npos) << error;

    // Nothing stored: nothing to end, nothing asked.
    provider.revoked.clear();
    EXPECT_TRUE(SignOut(dir.path(), "3", services));
    EXPECT_TRUE(provider.revoked.empty());
}

}  // namespace
}  // namespace invarro::app
