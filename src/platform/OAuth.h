// Signing in to a mail provider with OAuth 2.0: the authorization code grant with PKCE
// through the desktop's browser and a listener on the loopback, the device authorization
// grant for a terminal, and the refresh of an access token. The logic keeps the tokens; this
// port only talks to the provider. The libcurl implementation is in curl/.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace invarro::platform {

// Where and as whom the program signs in.
struct OAuthProvider {
    std::string authorizeUrl;
    std::string tokenUrl;
    std::string deviceUrl;  // empty: the provider offers no device grant
    std::string revokeUrl;  // empty: the provider offers no revocation of a refresh token
    std::string clientId;
    std::string clientSecret;  // sent to the token endpoint when not empty
    std::string scope;         // blank-separated
    // Further fields of the browser's sign-in address ("access_type", "prompt").
    std::vector<std::pair<std::string, std::string>> authorizeExtra;
};

// What a token endpoint gave.
struct OAuthTokens {
    std::string accessToken;
    std::string refreshToken;  // empty when the provider sent none (keep the old one)
    long long expiresIn = 0;   // seconds the access token is good for, as the provider says
    std::string account;       // the address the id token names, when there was one
};

enum class OAuthFailure {
    None,
    Settings,   // an endpoint or the client id is not usable; nothing was asked
    Browser,    // the browser could not be opened
    Cancelled,  // the user stopped waiting
    TimedOut,   // no answer came back in time
    Denied,     // the user or the provider turned the sign-in down
    State,      // the answer did not belong to this sign-in (state or verifier wrong)
    Refused,    // the token endpoint refused the grant (invalid_grant): sign in again
    Provider,   // the provider answered with another error
    Network     // the provider could not be reached
};

struct OAuthResult {
    OAuthFailure failure = OAuthFailure::None;
    std::string error;  // a sentence saying what failed and what to do
    std::string code;   // the provider's error code ("invalid_grant"), when it gave one
    OAuthTokens tokens;
    bool ok() const { return failure == OAuthFailure::None; }
};

// The code a user types on another device.
struct DeviceCode {
    std::string deviceCode;
    std::string userCode;
    std::string verificationUri;
    int interval = 5;         // seconds between polls
    long long expiresIn = 0;  // seconds the code is good for
};

class OAuthClient {
  public:
    virtual ~OAuthClient() = default;
    // The authorization code grant: opens the browser on the provider's page (the caller's
    // openBrowser gets the address; false: it could not), waits for the redirect to the
    // loopback listener for at most timeoutSeconds or until cancelled() says so, checks the
    // state, and exchanges the code with its verifier for tokens.
    virtual OAuthResult signIn(const OAuthProvider& provider,
                               const std::function<bool(const std::string& url)>& openBrowser,
                               int timeoutSeconds, const std::function<bool()>& cancelled) = 0;
    // A new access token (and perhaps a new refresh token) for a refresh token.
    virtual OAuthResult refresh(const OAuthProvider& provider, const std::string& refreshToken) = 0;
    // The device grant: asks for a code, then polls until the user approved it, refused
    // it, or it ran out. wait(seconds) sleeps between polls and returns false to stop.
    virtual OAuthResult startDevice(const OAuthProvider& provider, DeviceCode& code) = 0;
    virtual OAuthResult pollDevice(const OAuthProvider& provider, const DeviceCode& code,
                                   const std::function<bool(int seconds)>& wait) = 0;
    // Ends a refresh token at the provider's revocation endpoint (RFC 7009). A token the
    // provider no longer knows counts as ended.
    virtual OAuthResult revoke(const OAuthProvider& provider, const std::string& refreshToken) = 0;
};

}  // namespace invarro::platform
