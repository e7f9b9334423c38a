// OAuth 2.0 sign-in over libcurl: the authorization code grant with PKCE (S256) and a random
// state through the loopback listener, the device authorization grant, and the refresh.
// Every endpoint must pass EndpointProblem before anything is sent to it; libcurl's own
// printing is off, so no token reaches standard error.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/OAuth.h"

namespace invarro::platform::curl {

class CurlOAuth : public OAuthClient {
  public:
    CurlOAuth();

    OAuthResult signIn(const OAuthProvider& provider,
                       const std::function<bool(const std::string& url)>& openBrowser,
                       int timeoutSeconds, const std::function<bool()>& cancelled) override;
    OAuthResult refresh(const OAuthProvider& provider, const std::string& refreshToken) override;
    OAuthResult startDevice(const OAuthProvider& provider, DeviceCode& code) override;
    OAuthResult pollDevice(const OAuthProvider& provider, const DeviceCode& code,
                           const std::function<bool(int seconds)>& wait) override;
    OAuthResult revoke(const OAuthProvider& provider, const std::string& refreshToken) override;

    // Seconds allowed for one request to the provider.
    void setTimeout(long seconds) { timeout_ = seconds > 0 ? seconds : 30; }
    // The port of the last sign-in's listener (0 before the first), for tests that check it
    // is closed afterwards.
    int lastListenerPort() const { return lastPort_; }

  private:
    // POSTs the form; the answer's JSON members, or a failure. With emptyOk an empty
    // answer of a 2xx status is no failure (a revocation endpoint's).
    OAuthResult post(const std::string& url,
                     const std::vector<std::pair<std::string, std::string>>& fields,
                     std::map<std::string, std::string>& answer, bool emptyOk = false);

    long timeout_ = 30;
    int lastPort_ = 0;
};

// The PKCE pair and a state, from the system's random source.
struct PkceSecrets {
    std::string verifier;   // 43 characters of base64url
    std::string challenge;  // base64url of the verifier's SHA-256
    std::string state;
};
PkceSecrets MakePkceSecrets();
std::string PkceChallenge(const std::string& verifier);

}  // namespace invarro::platform::curl
