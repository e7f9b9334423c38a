#include "app/MailSignIn.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <thread>

#include "app/MailPassword.h"
#include "data/Fileblocks.h"
#include "data/SideFiles.h"
#include "platform/OAuthText.h"

namespace invarro::app {

namespace {

using data::Company;

const std::vector<ProviderPreset>& Presets() {
    static const std::vector<ProviderPreset> presets{
        {SignInMethod::Microsoft,
         "Microsoft 365",
         "https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
         "https://login.microsoftonline.com/common/oauth2/v2.0/token",
         "https://login.microsoftonline.com/common/oauth2/v2.0/devicecode",
         // Microsoft offers no revocation of one refresh token to a public client.
         "",
         "https://outlook.office.com/SMTP.Send offline_access",
         "smtp.office365.com",
         587,
         {{"prompt", "select_account"}}},
        // Google's device flow does not allow the mail scope: no device grant.
        {SignInMethod::Google,
         "Google",
         "https://accounts.google.com/o/oauth2/v2/auth",
         "https://oauth2.googleapis.com/token",
         "",
         "https://oauth2.googleapis.com/revoke",
         "https://mail.google.com/",
         "smtp.gmail.com",
         587,
         // A refresh token comes only with offline access, and again only on consent.
         {{"access_type", "offline"}, {"prompt", "consent"}}},
    };
    return presets;
}

std::string SectionOf(std::string_view companyNo) {
    return std::string(kSignInSection) + " " + data::CompanyPrefix(companyNo);
}

// The keyring keeps a sign-in per data folder and company: two data folders that both have
// a company 1 do not share (nor overwrite) each other's tokens.
std::string TokenKey(const std::string& folder, const std::string& number) {
    return KeyringKey(folder, number);
}

std::string NumberOf(const data::CompanyRecord& company) {
    return data::CompanyPrefix(company.text(Company::CompanyNo));
}

// The data folder's lock of the sign-in tokens, held from the keyring's read to its write.
class TokenLock {
  public:
    explicit TokenLock(const std::string& folder) {
        const std::string path = folder + "/" + std::string(kSignInLockFile);
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) return;
        // Another program's refresh takes a second or two; a minute is plenty.
        for (int i = 0; i < 600; ++i) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
                held_ = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    ~TokenLock() {
        if (fd_ >= 0) {
            if (held_) ::flock(fd_, LOCK_UN);
            ::close(fd_);
        }
    }
    TokenLock(const TokenLock&) = delete;
    TokenLock& operator=(const TokenLock&) = delete;
    bool held() const { return held_; }

  private:
    int fd_ = -1;
    bool held_ = false;
};

std::string KeyringAdvice() {
    return " Sign-in with Microsoft 365, Google or another OAuth 2.0 provider keeps its tokens "
           "in the desktop keyring: log in to the desktop and unlock the keyring (a cron job or "
           "a remote shell has none of its own).";
}

// Stores what the provider gave; the refresh token stays the old one when it sent none.
bool Keep(const TokenServices& s, const std::string& key, const platform::OAuthTokens& got,
          const std::string& oldRefresh, std::string* why) {
    StoredTokens kept;
    kept.refreshToken = got.refreshToken.empty() ? oldRefresh : got.refreshToken;
    kept.accessToken = got.accessToken;
    kept.expiresAt = s.now() + std::max<long long>(got.expiresIn, 0);
    return s.keyring->store(key, StoredTokensText(kept), why);
}

SignInOutcome Finish(const std::string& folder, std::string_view companyNo,
                     const MailSignInSettings& settings, const TokenServices& services,
                     const platform::OAuthResult& result) {
    SignInOutcome out;
    if (!result.ok()) {
        out.error = result.error;
        return out;
    }
    if (result.tokens.refreshToken.empty()) {
        out.error =
            "The provider signed in but gave no refresh token, so the program could not send "
            "later without signing in again. Check that the scope asks for offline access.";
        return out;
    }
    const std::string number = data::CompanyPrefix(companyNo);
    const std::string account =
        result.tokens.account.empty() ? settings.account : result.tokens.account;
    if (account.empty()) {
        out.error =
            "The provider did not say which account signed in (no e-mail address in its id "
            "token). Check that the scope includes \"openid email\".";
        return out;
    }
    std::string why;
    {
        TokenLock lock(folder);
        if (!Keep(services, TokenKey(folder, number), result.tokens, {}, &why)) {
            out.error = "The sign-in could not be kept in the desktop keyring (" +
                        (why.empty() ? std::string("it did not answer") : why) + ")." +
                        KeyringAdvice();
            return out;
        }
    }
    data::IniFile ini(data::IniFilePath(folder));
    MailSignInSettings kept = settings;
    kept.account = account;
    if (!WriteMailSignIn(ini, number, kept, &why)) {
        out.error = "The account signed in as could not be written to the settings (" + why + ").";
        return out;
    }
    out.ok = true;
    out.account = account;
    return out;
}

std::string Precheck(std::string_view companyNo, const MailSignInSettings& settings,
                     const TokenServices& services) {
    if (data::CompanyPrefix(companyNo).empty()) return "The company has no number yet.";
    if (!settings.oauth())
        return "The company signs in with a password; choose a provider under \"Sign in with\" "
               "first.";
    if (std::string problem = MailSignInProblem(settings); !problem.empty()) return problem;
    if (!services.keyring || !services.keyring->available())
        return "The desktop keyring did not answer, so a sign-in could not be kept." +
               KeyringAdvice();
    if (!services.client) return "This program cannot sign in.";
    return {};
}

}  // namespace

const ProviderPreset* PresetOf(SignInMethod method) {
    for (const ProviderPreset& p : Presets())
        if (p.method == method) return &p;
    return nullptr;
}

std::string_view MethodName(SignInMethod method) {
    switch (method) {
        case SignInMethod::Password:
            return "Password";
        case SignInMethod::Microsoft:
            return "Microsoft 365";
        case SignInMethod::Google:
            return "Google";
        case SignInMethod::Other:
            return "Other OAuth 2.0 provider";
    }
    return "Password";
}

MailSignInSettings ReadMailSignIn(const data::IniFile& ini, std::string_view companyNo) {
    MailSignInSettings s;
    if (data::CompanyPrefix(companyNo).empty()) return s;
    const std::string section = SectionOf(companyNo);
    const std::string method = ini.readString(section, "Method", "Password");
    for (SignInMethod m : {SignInMethod::Microsoft, SignInMethod::Google, SignInMethod::Other})
        if (method == MethodName(m)) s.method = m;
    s.clientId = ini.readString(section, "ClientId", "");
    s.clientSecret = ini.readString(section, "ClientSecret", "");
    s.authorizeUrl = ini.readString(section, "AuthorizeUrl", "");
    s.tokenUrl = ini.readString(section, "TokenUrl", "");
    s.deviceUrl = ini.readString(section, "DeviceUrl", "");
    s.revokeUrl = ini.readString(section, "RevokeUrl", "");
    s.scope = ini.readString(section, "Scope", "");
    s.account = ini.readString(section, "Account", "");
    return s;
}

bool WriteMailSignIn(data::IniFile& ini, std::string_view companyNo, const MailSignInSettings& s,
                     std::string* error) {
    if (data::CompanyPrefix(companyNo).empty()) return true;
    return ini.write(SectionOf(companyNo),
                     {{"Method", std::string(MethodName(s.method))},
                      {"ClientId", s.clientId},
                      {"ClientSecret", s.clientSecret},
                      {"AuthorizeUrl", s.authorizeUrl},
                      {"TokenUrl", s.tokenUrl},
                      {"DeviceUrl", s.deviceUrl},
                      {"RevokeUrl", s.revokeUrl},
                      {"Scope", s.scope},
                      {"Account", s.account}},
                     error);
}

std::string MailSignInProblem(const MailSignInSettings& s) {
    if (!s.oauth()) return {};
    if (s.clientId.empty())
        return "Enter the application (client) id the provider gave when the application was "
               "registered.";
    if (s.method != SignInMethod::Other) return {};
    if (s.authorizeUrl.empty() || s.tokenUrl.empty())
        return "Enter the provider's authorize and token endpoints.";
    for (const std::string* url : {&s.authorizeUrl, &s.tokenUrl, &s.deviceUrl, &s.revokeUrl})
        if (!url->empty())
            if (std::string problem = platform::EndpointProblem(*url); !problem.empty())
                return problem;
    if (s.scope.find_first_not_of(' ') == std::string::npos)
        return "Enter the scope the provider wants for sending mail.";
    return {};
}

platform::OAuthProvider ProviderOf(const MailSignInSettings& s) {
    platform::OAuthProvider p;
    p.clientId = s.clientId;
    p.clientSecret = s.clientSecret;
    std::string scope;
    if (const ProviderPreset* preset = PresetOf(s.method)) {
        p.authorizeUrl = preset->authorizeUrl;
        p.tokenUrl = preset->tokenUrl;
        p.deviceUrl = preset->deviceUrl;
        p.revokeUrl = preset->revokeUrl;
        p.authorizeExtra = preset->authorizeExtra;
        scope = preset->scope;
    } else {
        p.authorizeUrl = s.authorizeUrl;
        p.tokenUrl = s.tokenUrl;
        p.deviceUrl = s.deviceUrl;
        p.revokeUrl = s.revokeUrl;
        scope = s.scope;
    }
    for (const char* wanted : {"openid", "email"}) {
        const std::string padded = " " + scope + " ";
        if (padded.find(std::string(" ") + wanted + " ") == std::string::npos)
            scope += std::string(scope.empty() ? "" : " ") + wanted;
    }
    p.scope = scope;
    return p;
}

std::string StoredTokensText(const StoredTokens& t) {
    return "invarro-oauth 1\n" + t.refreshToken + "\n" + t.accessToken + "\n" +
           std::to_string(t.expiresAt) + "\n";
}

std::optional<StoredTokens> ParseStoredTokens(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        lines.emplace_back(text.substr(0, nl));
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    }
    if (lines.size() != 4 || lines[0] != "invarro-oauth 1" || lines[1].empty()) return std::nullopt;
    StoredTokens t;
    t.refreshToken = lines[1];
    t.accessToken = lines[2];
    for (char c : lines[3])
        if (c < '0' || c > '9') return std::nullopt;
    t.expiresAt = lines[3].empty() ? 0 : std::stoll(lines[3]);
    return t;
}

long long SystemNow() {
    return static_cast<long long>(std::time(nullptr));
}

SignInOutcome SignInWithBrowser(const std::string& folder, std::string_view companyNo,
                                const MailSignInSettings& settings, const TokenServices& services,
                                const std::function<bool(const std::string& url)>& openBrowser,
                                int timeoutSeconds, const std::function<bool()>& cancelled) {
    if (std::string problem = Precheck(companyNo, settings, services); !problem.empty())
        return {false, {}, problem};
    const platform::OAuthResult r =
        services.client->signIn(ProviderOf(settings), openBrowser, timeoutSeconds, cancelled);
    return Finish(folder, companyNo, settings, services, r);
}

SignInOutcome SignInWithDevice(const std::string& folder, std::string_view companyNo,
                               const MailSignInSettings& settings, const TokenServices& services,
                               const std::function<void(const platform::DeviceCode&)>& show,
                               const std::function<bool(int seconds)>& wait) {
    if (std::string problem = Precheck(companyNo, settings, services); !problem.empty())
        return {false, {}, problem};
    const platform::OAuthProvider provider = ProviderOf(settings);
    if (provider.deviceUrl.empty())
        return {false,
                {},
                std::string(MethodName(settings.method)) +
                    " offers no sign-in from a terminal for sending mail. Sign in from the "
                    "desktop program (Company Options, E-Mail, Sign in...)."};
    platform::DeviceCode code;
    platform::OAuthResult r = services.client->startDevice(provider, code);
    if (r.ok()) {
        if (show) show(code);
        r = services.client->pollDevice(provider, code, wait);
    }
    return Finish(folder, companyNo, settings, services, r);
}

bool SignOut(const std::string& folder, std::string_view companyNo, const TokenServices& services,
             std::string* error) {
    const std::string number = data::CompanyPrefix(companyNo);
    if (number.empty()) return true;
    bool ok = true;
    std::string told;
    auto tell = [&](const std::string& sentence) {
        ok = false;
        told += (told.empty() ? "" : " ") + sentence;
    };
    data::IniFile ini(data::IniFilePath(folder));
    MailSignInSettings s = ReadMailSignIn(ini, number);
    if (services.keyring) {
        TokenLock lock(folder);
        const std::string key = TokenKey(folder, number);
        const platform::OAuthProvider provider = ProviderOf(s);
        std::string why;
        if (s.oauth() && services.client && !provider.revokeUrl.empty()) {
            const std::optional<std::string> secret = services.keyring->lookup(key, &why);
            const std::optional<StoredTokens> tokens =
                secret ? ParseStoredTokens(*secret) : std::nullopt;
            if (tokens) {
                const platform::OAuthResult r =
                    services.client->revoke(provider, tokens->refreshToken);
                if (!r.ok())
                    tell(r.error + " The sign-in is removed from this computer; to end it at " +
                         std::string(MethodName(s.method)) +
                         " as well, remove the application's access in the account's security "
                         "settings.");
            }
        }
        why.clear();
        if (!services.keyring->erase(key, &why))
            tell("The sign-in could not be removed from the desktop keyring (" +
                 (why.empty() ? std::string("it did not answer") : why) + ").");
    }
    if (!s.account.empty()) {
        s.account.clear();
        std::string why;
        if (!WriteMailSignIn(ini, number, s, &why))
            tell("The settings could not be written (" + why + ").");
    }
    if (!ok && error) *error = told;
    return ok;
}

std::optional<TokenLogin> MailAccessToken(const std::string& folder,
                                          const data::CompanyRecord& company,
                                          const TokenServices& services, std::string* error) {
    const std::string number = NumberOf(company);
    const data::IniFile ini(data::IniFilePath(folder));
    const MailSignInSettings settings = ReadMailSignIn(ini, number);
    if (!settings.oauth() || number.empty()) return std::nullopt;
    const std::string how = std::string(MethodName(settings.method));
    auto fail = [&](const std::string& text) -> std::optional<TokenLogin> {
        if (error) *error = text;
        return std::nullopt;
    };
    if (std::string problem = MailSignInProblem(settings); !problem.empty())
        return fail("The e-mail sign-in of company " + number + " (" + how + ") is not complete: " +
                    problem + " (Company Options, E-Mail). No connection was tried.");
    if (settings.account.empty())
        return fail("Company " + number + " is not signed in with " + how +
                    ". Sign in (Company Options, E-Mail, Sign in...) or run \"invarro-cli email "
                    "login\". No connection was tried.");
    if (!services.keyring || !services.keyring->available())
        return fail("The desktop keyring did not answer, so the sign-in of company " + number +
                    " could not be read and no connection was tried." + KeyringAdvice());
    TokenLock lock(folder);
    if (!lock.held())
        return fail("Another program kept the sign-in of company " + number +
                    " busy for a minute; try again. No connection was tried.");
    std::string why;
    const std::string key = TokenKey(folder, number);
    const std::optional<std::string> secret = services.keyring->lookup(key, &why);
    if (!secret && !why.empty())
        return fail("The desktop keyring did not give the sign-in of company " + number + " (" +
                    why + "), so no connection was tried." + KeyringAdvice());
    if (!secret)
        return fail("The desktop keyring holds no sign-in for company " + number + " (" +
                    settings.account +
                    "): it is locked, or the sign-in was removed. Unlock the keyring, or sign in "
                    "(Company Options, E-Mail, Sign in...). No connection was tried.");
    const std::optional<StoredTokens> stored = ParseStoredTokens(*secret);
    if (!stored)
        return fail("The sign-in of company " + number +
                    " in the desktop keyring is not readable; sign in (Company Options, E-Mail, "
                    "Sign in...) to replace it. No connection was tried.");
    if (!stored->accessToken.empty() && stored->expiresAt - services.now() >= kTokenMargin)
        return TokenLogin{settings.account, stored->accessToken};
    if (!services.client) return fail("This program cannot refresh a sign-in.");
    const platform::OAuthResult r =
        services.client->refresh(ProviderOf(settings), stored->refreshToken);
    if (r.failure == platform::OAuthFailure::Refused)
        return fail(r.error + " The sign-in of " + settings.account +
                    " is no longer good. Sign in again (Company Options, E-Mail). Nothing was "
                    "sent.");
    if (!r.ok()) return fail(r.error + " Nothing was sent.");
    if (!Keep(services, key, r.tokens, stored->refreshToken, &why))
        return fail("The renewed sign-in could not be kept in the desktop keyring (" +
                    (why.empty() ? std::string("it did not answer") : why) +
                    "), so nothing was sent." + KeyringAdvice());
    return TokenLogin{settings.account, r.tokens.accessToken};
}

}  // namespace invarro::app
