#include "platform/curl/CurlOAuth.h"

#include <curl/curl.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <map>

#include "platform/OAuthText.h"
#include "platform/curl/LoopbackListener.h"

namespace invarro::platform::curl {

namespace {

size_t Collect(char* data, size_t size, size_t count, void* user) {
    auto* body = static_cast<std::string*>(user);
    // An answer larger than any token response is cut off rather than kept growing.
    if (body->size() > 1024 * 1024) return 0;
    body->append(data, size * count);
    return size * count;
}

std::string Random(size_t bytes) {
    std::string raw(bytes, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(raw.data()), int(bytes)) != 1) return {};
    return Base64(raw, true);
}

OAuthResult Failed(OAuthFailure failure, std::string text, std::string code = {}) {
    OAuthResult r;
    r.failure = failure;
    r.error = std::move(text);
    r.code = std::move(code);
    return r;
}

std::string Member(const std::map<std::string, std::string>& m, const char* name) {
    auto it = m.find(name);
    return it == m.end() ? std::string() : it->second;
}

// The provider's error as the failure it means.
OAuthResult ProviderError(const std::map<std::string, std::string>& answer,
                          const std::string& what) {
    const std::string code = Member(answer, "error");
    const std::string description = Member(answer, "error_description");
    const std::string said = code + (description.empty() ? "" : ": " + description);
    if (code == "invalid_grant")
        return Failed(OAuthFailure::Refused, "The provider refused " + what + " (" + said + ").",
                      code);
    if (code == "access_denied")
        return Failed(OAuthFailure::Denied, "The sign-in was turned down (" + said + ").", code);
    if (code == "expired_token")
        return Failed(OAuthFailure::TimedOut, "The code ran out before it was approved.", code);
    return Failed(OAuthFailure::Provider, "The provider refused " + what + " (" + said + ").",
                  code);
}

OAuthResult Tokens(const std::map<std::string, std::string>& answer) {
    OAuthResult r;
    r.tokens.accessToken = Member(answer, "access_token");
    r.tokens.refreshToken = Member(answer, "refresh_token");
    r.tokens.expiresIn = std::atoll(Member(answer, "expires_in").c_str());
    r.tokens.account = AccountOfIdToken(Member(answer, "id_token"));
    if (r.tokens.accessToken.empty())
        return Failed(OAuthFailure::Provider, "The provider's answer held no access token.");
    return r;
}

std::string ProviderProblem(const OAuthProvider& p, bool device) {
    if (p.clientId.empty()) return "The application (client) id is not set.";
    for (const std::string* url : {&p.tokenUrl, device ? &p.deviceUrl : &p.authorizeUrl}) {
        if (url->empty())
            return device ? "This provider offers no sign-in from a terminal (device code)."
                          : "The sign-in addresses are not set.";
        if (std::string problem = EndpointProblem(*url); !problem.empty()) return problem;
    }
    return {};
}

}  // namespace

std::string PkceChallenge(const std::string& verifier) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(verifier.data()), verifier.size(), digest);
    return Base64(std::string(reinterpret_cast<const char*>(digest), sizeof digest), true);
}

PkceSecrets MakePkceSecrets() {
    PkceSecrets s;
    s.verifier = Random(32);
    s.challenge = PkceChallenge(s.verifier);
    s.state = Random(16);
    return s;
}

CurlOAuth::CurlOAuth() {
    static const bool done = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        return true;
    }();
    (void)done;
}

OAuthResult CurlOAuth::post(const std::string& url,
                            const std::vector<std::pair<std::string, std::string>>& fields,
                            std::map<std::string, std::string>& answer, bool emptyOk) {
    if (std::string problem = EndpointProblem(url); !problem.empty())
        return Failed(OAuthFailure::Settings, problem);
    CURL* e = curl_easy_init();
    if (!e) return Failed(OAuthFailure::Network, "The provider could not be asked (no handle).");
    const std::string body = FormBody(fields);
    std::string received;
    char error[CURL_ERROR_SIZE] = {};
    curl_slist* headers = curl_slist_append(nullptr, "Accept: application/json");
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "https,http");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE, long(body.size()));
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &received);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(e, CURLOPT_TIMEOUT, timeout_);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    const CURLcode rc = curl_easy_perform(e);
    long status = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(e);
    if (rc != CURLE_OK)
        return Failed(OAuthFailure::Network,
                      "The sign-in provider could not be reached (" +
                          std::string(error[0] ? error : curl_easy_strerror(rc)) +
                          "). Check the Internet connection.");
    if (emptyOk && status >= 200 && status < 300 &&
        received.find_first_not_of(" \t\r\n") == std::string::npos)
        return {};
    const auto members = ParseJsonObject(received);
    if (!members)
        return Failed(OAuthFailure::Provider, "The sign-in provider answered " +
                                                  std::to_string(status) +
                                                  " without a usable reply. Check its addresses "
                                                  "on the E-Mail tab of Company Options.");
    answer = *members;
    return {};
}

OAuthResult CurlOAuth::signIn(const OAuthProvider& provider,
                              const std::function<bool(const std::string& url)>& openBrowser,
                              int timeoutSeconds, const std::function<bool()>& cancelled) {
    if (std::string problem = ProviderProblem(provider, false); !problem.empty())
        return Failed(OAuthFailure::Settings, problem);
    const PkceSecrets secrets = MakePkceSecrets();
    if (secrets.verifier.empty() || secrets.state.empty())
        return Failed(OAuthFailure::Settings, "The system's random source did not answer.");
    LoopbackListener listener;
    std::string why;
    if (!listener.open(&why))
        return Failed(OAuthFailure::Settings, "The sign-in failed: " + why + ".");
    lastPort_ = listener.port();
    const std::string redirect = "http://127.0.0.1:" + std::to_string(listener.port()) + "/";
    std::vector<std::pair<std::string, std::string>> fields{
        {"response_type", "code"},        {"client_id", provider.clientId},
        {"redirect_uri", redirect},       {"scope", provider.scope},
        {"state", secrets.state},         {"code_challenge", secrets.challenge},
        {"code_challenge_method", "S256"}};
    fields.insert(fields.end(), provider.authorizeExtra.begin(), provider.authorizeExtra.end());
    const std::string url = provider.authorizeUrl +
                            (provider.authorizeUrl.find('?') == std::string::npos ? "?" : "&") +
                            FormBody(fields);
    if (!openBrowser || !openBrowser(url))
        return Failed(OAuthFailure::Browser,
                      "The web browser could not be opened for the sign-in. Set a default web "
                      "browser for the desktop and try again.");
    std::map<std::string, std::string> query;
    switch (listener.wait(query, timeoutSeconds, cancelled)) {
        case LoopbackListener::Outcome::Answer:
            break;
        case LoopbackListener::Outcome::Cancelled:
            return Failed(OAuthFailure::Cancelled, "The sign-in was cancelled.");
        case LoopbackListener::Outcome::TimedOut:
            return Failed(OAuthFailure::TimedOut,
                          "No answer came back from the browser in time. Sign in again and "
                          "finish the sign-in in the browser.");
        case LoopbackListener::Outcome::Failed:
            return Failed(OAuthFailure::Network, "The sign-in listener stopped working.");
    }
    const std::string state = query.count("state") ? query["state"] : std::string();
    if (state != secrets.state) {
        listener.reply(400, "Sign-in refused",
                       "This answer does not belong to the sign-in Invarro started. Close this "
                       "page and sign in again from Invarro.");
        return Failed(OAuthFailure::State,
                      "The browser brought back an answer that does not belong to this sign-in "
                      "(its state differs), so it was not used. Sign in again.");
    }
    if (query.count("error")) {
        listener.reply(400, "Sign-in not completed",
                       "The provider did not sign you in. You may close this window.");
        std::map<std::string, std::string> answer{{"error", query["error"]}};
        if (query.count("error_description"))
            answer["error_description"] = query["error_description"];
        OAuthResult r = ProviderError(answer, "the sign-in");
        if (r.failure == OAuthFailure::Provider && r.code != "access_denied")
            r.error += " Check the application (client) id and the sign-in addresses.";
        return r;
    }
    fields = {{"grant_type", "authorization_code"},
              {"code", query["code"]},
              {"redirect_uri", redirect},
              {"client_id", provider.clientId},
              {"code_verifier", secrets.verifier}};
    if (!provider.clientSecret.empty()) fields.emplace_back("client_secret", provider.clientSecret);
    std::map<std::string, std::string> answer;
    OAuthResult r = post(provider.tokenUrl, fields, answer);
    if (r.ok()) r = answer.count("error") ? ProviderError(answer, "the sign-in") : Tokens(answer);
    if (r.ok()) {
        listener.reply(200, "Signed in",
                       "Invarro is signed in" +
                           (r.tokens.account.empty() ? std::string() : " as " + r.tokens.account) +
                           ". You may close this browser window.");
    } else {
        listener.reply(400, "Sign-in not completed",
                       "The sign-in did not finish; Invarro says why. You may close this "
                       "window.");
    }
    return r;
}

OAuthResult CurlOAuth::refresh(const OAuthProvider& provider, const std::string& refreshToken) {
    if (provider.clientId.empty())
        return Failed(OAuthFailure::Settings, "The application (client) id is not set.");
    std::vector<std::pair<std::string, std::string>> fields{{"grant_type", "refresh_token"},
                                                            {"refresh_token", refreshToken},
                                                            {"client_id", provider.clientId}};
    if (!provider.clientSecret.empty()) fields.emplace_back("client_secret", provider.clientSecret);
    std::map<std::string, std::string> answer;
    OAuthResult r = post(provider.tokenUrl, fields, answer);
    if (!r.ok()) return r;
    if (answer.count("error")) return ProviderError(answer, "the stored sign-in");
    return Tokens(answer);
}

OAuthResult CurlOAuth::revoke(const OAuthProvider& provider, const std::string& refreshToken) {
    if (provider.revokeUrl.empty())
        return Failed(OAuthFailure::Settings, "This provider offers no revocation endpoint.");
    std::vector<std::pair<std::string, std::string>> fields{{"token", refreshToken},
                                                            {"token_type_hint", "refresh_token"}};
    if (!provider.clientId.empty()) fields.emplace_back("client_id", provider.clientId);
    if (!provider.clientSecret.empty()) fields.emplace_back("client_secret", provider.clientSecret);
    std::map<std::string, std::string> answer;
    OAuthResult r = post(provider.revokeUrl, fields, answer, true);
    if (!r.ok()) return r;
    // A token already ended or unknown is what revocation wanted.
    if (answer.count("error") && Member(answer, "error") != "invalid_token")
        return ProviderError(answer, "to end the sign-in");
    return {};
}

OAuthResult CurlOAuth::startDevice(const OAuthProvider& provider, DeviceCode& code) {
    if (std::string problem = ProviderProblem(provider, true); !problem.empty())
        return Failed(OAuthFailure::Settings, problem);
    std::vector<std::pair<std::string, std::string>> fields{{"client_id", provider.clientId},
                                                            {"scope", provider.scope}};
    std::map<std::string, std::string> answer;
    OAuthResult r = post(provider.deviceUrl, fields, answer);
    if (!r.ok()) return r;
    if (answer.count("error")) return ProviderError(answer, "a sign-in code");
    code.deviceCode = Member(answer, "device_code");
    code.userCode = Member(answer, "user_code");
    code.verificationUri = Member(answer, "verification_uri");
    // Google names it verification_url.
    if (code.verificationUri.empty()) code.verificationUri = Member(answer, "verification_url");
    code.interval = std::max(1, std::atoi(Member(answer, "interval").c_str()));
    if (Member(answer, "interval").empty()) code.interval = 5;
    code.expiresIn = std::atoll(Member(answer, "expires_in").c_str());
    if (code.deviceCode.empty() || code.userCode.empty() || code.verificationUri.empty())
        return Failed(OAuthFailure::Provider, "The provider's answer held no usable sign-in code.");
    return {};
}

OAuthResult CurlOAuth::pollDevice(const OAuthProvider& provider, const DeviceCode& code,
                                  const std::function<bool(int seconds)>& wait) {
    int interval = code.interval;
    long long waited = 0;
    while (true) {
        if (code.expiresIn > 0 && waited >= code.expiresIn)
            return Failed(OAuthFailure::TimedOut, "The code ran out before it was approved.");
        if (!wait || !wait(interval))
            return Failed(OAuthFailure::Cancelled, "The sign-in was cancelled.");
        waited += interval;
        std::vector<std::pair<std::string, std::string>> fields{
            {"grant_type", "urn:ietf:params:oauth:grant-type:device_code"},
            {"device_code", code.deviceCode},
            {"client_id", provider.clientId}};
        if (!provider.clientSecret.empty())
            fields.emplace_back("client_secret", provider.clientSecret);
        std::map<std::string, std::string> answer;
        OAuthResult r = post(provider.tokenUrl, fields, answer);
        if (!r.ok()) return r;
        const std::string error = Member(answer, "error");
        if (error == "authorization_pending") continue;
        if (error == "slow_down") {
            interval += 5;
            continue;
        }
        if (!error.empty()) return ProviderError(answer, "the sign-in");
        return Tokens(answer);
    }
}

}  // namespace invarro::platform::curl
