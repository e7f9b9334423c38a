// Signing in to the outgoing mail server with OAuth 2.0 instead of a password: the
// company's choice ("Sign in with" Password, Microsoft 365, Google, or another OAuth 2.0
// provider) and its application settings, kept per company in the INI file beside the
// other mail settings; the sign-in itself (browser or device code), whose tokens go to
// the desktop keyring and nowhere else; and the current access token a mail run signs in
// with, refreshed when it has less than a minute left.
//
// Several programs may use one data folder's sign-in at once (the desktop program and a
// command-line job from a timer). Providers that rotate refresh tokens refuse the old one
// once the new one is out, so every read-refresh-store of the tokens runs under a lock
// file of the data folder: the second program waits, then reads what the first stored.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/IniFile.h"
#include "data/Records.h"
#include "platform/Keyring.h"
#include "platform/OAuth.h"

namespace invarro::app {

enum class SignInMethod { Password, Microsoft, Google, Other };

inline constexpr std::string_view kSignInSection = "E-Mail Sign-In";
inline constexpr std::string_view kSignInLockFile = "MailSignIn.lck";
// Seconds an access token must still be good for to be used without a refresh.
inline constexpr long long kTokenMargin = 60;

// What the named providers come with.
struct ProviderPreset {
    SignInMethod method;
    std::string_view name;  // as the "Sign in with" list shows it
    std::string_view authorizeUrl, tokenUrl, deviceUrl;
    std::string_view revokeUrl;  // empty: refresh tokens cannot be ended by the program
    std::string_view scope;      // the mail scope
    std::string_view smtpHost;
    int smtpPort;
    // Further fields of the browser's sign-in address.
    std::vector<std::pair<std::string, std::string>> authorizeExtra;
};
const ProviderPreset* PresetOf(SignInMethod method);
std::string_view MethodName(SignInMethod method);

// A company's sign-in settings. The endpoints and scope are the company's own only for
// Other; the named providers take their preset's.
struct MailSignInSettings {
    SignInMethod method = SignInMethod::Password;
    std::string clientId;
    std::string clientSecret;  // Google's desktop applications send one; not a secret there
    std::string authorizeUrl, tokenUrl, deviceUrl, revokeUrl, scope;
    std::string account;  // the address signed in as; the XOAUTH2 user
    bool oauth() const { return method != SignInMethod::Password; }
};

MailSignInSettings ReadMailSignIn(const data::IniFile& ini, std::string_view companyNo);
bool WriteMailSignIn(data::IniFile& ini, std::string_view companyNo,
                     const MailSignInSettings& settings, std::string* error = nullptr);
// What keeps the settings from a sign-in (empty when nothing): a missing client id, an
// unusable endpoint or scope of Other.
std::string MailSignInProblem(const MailSignInSettings& settings);
// The provider to talk to: the preset's endpoints (or Other's), the scope with "openid
// email" added so the id token names the account.
platform::OAuthProvider ProviderOf(const MailSignInSettings& settings);

// The tokens as the keyring keeps them, in one secret.
struct StoredTokens {
    std::string refreshToken;
    std::string accessToken;
    long long expiresAt = 0;  // seconds since 1970
};
std::string StoredTokensText(const StoredTokens& tokens);
std::optional<StoredTokens> ParseStoredTokens(std::string_view text);

using EpochNow = std::function<long long()>;
long long SystemNow();

// Where the tokens are kept (under the company number and the data folder's full path)
// and how the provider is asked.
struct TokenServices {
    platform::Keyring* keyring = nullptr;  // the keyring of sign-in tokens; null: none answers
    platform::OAuthClient* client = nullptr;
    EpochNow now = SystemNow;
};

struct SignInOutcome {
    bool ok = false;
    std::string account;
    std::string error;  // a sentence with what to do
};

// The browser's sign-in for the company with the settings given (not yet saved ones are
// fine): the tokens go to the keyring, the account into the INI file.
SignInOutcome SignInWithBrowser(const std::string& folder, std::string_view companyNo,
                                const MailSignInSettings& settings, const TokenServices& services,
                                const std::function<bool(const std::string& url)>& openBrowser,
                                int timeoutSeconds, const std::function<bool()>& cancelled);
// The device grant: show(code) tells the user where to go and what to type; wait(seconds)
// sleeps between polls (false stops).
SignInOutcome SignInWithDevice(const std::string& folder, std::string_view companyNo,
                               const MailSignInSettings& settings, const TokenServices& services,
                               const std::function<void(const platform::DeviceCode&)>& show,
                               const std::function<bool(int seconds)>& wait);
// Forgets the company's sign-in: the refresh token is ended at the provider where it has a
// revocation endpoint, then the keyring's tokens and the account are removed. False and
// *error (sentences) when a step failed; what could be removed is removed all the same.
bool SignOut(const std::string& folder, std::string_view companyNo, const TokenServices& services,
             std::string* error = nullptr);

// The sign-in of a mail run.
struct TokenLogin {
    std::string user;
    std::string accessToken;
};
// Nothing and no error when the company signs in with a password. Otherwise the account
// and an access token good for at least a minute, refreshed (and the new tokens stored)
// when needed; or nothing and *error - a sentence saying what to do - when there is none
// to be had, before any connection to the mail server.
std::optional<TokenLogin> MailAccessToken(const std::string& folder,
                                          const data::CompanyRecord& company,
                                          const TokenServices& services, std::string* error);

}  // namespace invarro::app
