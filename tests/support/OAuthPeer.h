// A local OAuth 2.0 provider for the sign-in tests: tests/support/oauth_peer.py run with
// the system's Python on a free port of 127.0.0.1. Its access tokens in force go to a file
// an SmtpPeer reads (SmtpPeer::Options::tokensOf), so the mail server takes only a current
// token. Commands end tokens, revoke, approve device codes, or spoil the next state.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/PeerProcess.h"
#include "support/TempDir.h"

#ifndef INVARRO_OAUTH_PEER
#error "INVARRO_OAUTH_PEER names the provider script"
#endif

namespace invarro::testing {

class OAuthPeer {
  public:
    struct Options {
        std::string clientId = "invarro-test-client";
        std::string clientSecret;
        std::string account = "billing@northside.test";
        int lifetime = 3600;  // seconds an access token is good for
    };

    explicit OAuthPeer(const Options& o) : options_(o) {
        std::vector<std::string> args{"/usr/bin/python3",
                                      INVARRO_OAUTH_PEER,
                                      "--out",
                                      out_.path(),
                                      "--client-id",
                                      o.clientId,
                                      "--account",
                                      o.account,
                                      "--lifetime",
                                      std::to_string(o.lifetime)};
        if (!o.clientSecret.empty()) args.insert(args.end(), {"--client-secret", o.clientSecret});
        process_ = std::make_unique<PeerProcess>(std::move(args));
    }

    bool ready() const { return process_->port() > 0; }
    int port() const { return process_->port(); }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port()) + path;
    }
    const Options& options() const { return options_; }
    std::string tokensFile() const { return out_.path() + "/tokens.txt"; }
    // "authorize ok", "authorization_code ok", "refresh_token ok|invalid_grant", ...
    std::string events() const { return ReadFileBytes(out_.path() + "/events.log"); }
    int count(const std::string& event) const {
        const std::string all = events();
        int n = 0;
        for (size_t at = all.find(event); at != std::string::npos; at = all.find(event, at + 1))
            ++n;
        return n;
    }

    // Every access token ends now.
    bool expireAccess() { return process_->command("expire") == "OK"; }
    // Every refresh and access token ends now.
    bool revoke() { return process_->command("revoke") == "OK"; }
    // The pending device codes are approved.
    bool approveDevices() { return process_->command("approve") == "OK"; }
    // The next authorize redirect carries a state of its own.
    bool spoilNextState() { return process_->command("wrong-state") == "OK"; }
    // The next code is bound to a challenge the program's verifier does not match.
    bool spoilNextVerifier() { return process_->command("wrong-verifier") == "OK"; }

  private:
    Options options_;
    TempDir out_;
    std::unique_ptr<PeerProcess> process_;
};

}  // namespace invarro::testing
