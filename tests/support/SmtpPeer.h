// A real SMTP server for mail tests: tests/support/smtp_peer.py (aiosmtpd) run with the
// system's Python on a free port of 127.0.0.1, its messages read back as parsed by
// Python's e-mail package. The server says its port once it listens; no sleeping.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/PeerProcess.h"
#include "support/TempDir.h"

#ifndef INVARRO_SMTP_PEER
#error "INVARRO_SMTP_PEER names the server script"
#endif

namespace invarro::testing {

// A self-signed certificate for 127.0.0.1 and its key, made with openssl in dir.
struct Certificate {
    std::string cert;
    std::string key;
};
inline Certificate MakeCertificate(const std::string& dir, const std::string& name = "peer") {
    Certificate c{dir + "/" + name + ".crt", dir + "/" + name + ".key"};
    const std::string cmd =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
        "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
        c.key + "' -out '" + c.cert + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return c;
}

// One message as the server received it.
struct ReceivedMail {
    std::map<std::string, std::vector<std::string>> fields;  // "subject" -> {"..."}
    std::string body;  // decoded (the text part of a message in parts), LF line ends
    std::string raw;   // as received
    // An attached file as the receiver's mail program saves it.
    struct Attachment {
        std::string fileName, contentType, disposition;
        std::string path;  // the decoded file
        std::string bytes;
    };
    std::vector<Attachment> attachments;
    std::string field(const std::string& name) const {
        auto it = fields.find(name);
        return it == fields.end() || it->second.empty() ? std::string() : it->second.front();
    }
    std::vector<std::string> all(const std::string& name) const {
        auto it = fields.find(name);
        return it == fields.end() ? std::vector<std::string>() : it->second;
    }
    std::vector<std::string> bodyLines() const {
        std::vector<std::string> lines;
        size_t i = 0;
        while (i < body.size()) {
            size_t nl = body.find('\n', i);
            if (nl == std::string::npos) nl = body.size();
            lines.push_back(body.substr(i, nl - i));
            i = nl + 1;
        }
        return lines;
    }
};

class SmtpPeer {
  public:
    struct Options {
        const Certificate* starttls = nullptr;
        const Certificate* implicit = nullptr;
        std::string auth;  // "user:password"
        bool authPlain = false;
        int dropAfter = -1;
        std::string refuseRcpt;
        bool rejectClient = false;
        bool refuseGreeting = false;
        std::string refuseData;
        long long sizeLimit = -1;
        std::string oauthTokens;  // the token file of an OAuthPeer: XOAUTH2 and OAUTHBEARER
        std::string refuseAuth;   // every sign-in answered with this reply
        bool sendAsDenied = false;

        Options& startTls(const Certificate& c) { return starttls = &c, *this; }
        Options& implicitTls(const Certificate& c) { return implicit = &c, *this; }
        Options& login(std::string userColonPassword, bool evenInClear = false) {
            auth = std::move(userColonPassword);
            authPlain = evenInClear;
            return *this;
        }
        Options& dropAfterMessages(int n) { return dropAfter = n, *this; }
        Options& refuse(std::string text) { return refuseRcpt = std::move(text), *this; }
        // Every recipient refused as Postfix refuses a client host it does not serve.
        Options& rejectingClient() { return rejectClient = true, *this; }
        Options& refusingGreeting() { return refuseGreeting = true, *this; }
        // A message whose data holds text is refused after it was received.
        Options& refuseMessagesWith(std::string text) {
            return refuseData = std::move(text), *this;
        }
        Options& announceSize(long long bytes) { return sizeLimit = bytes, *this; }
        Options& tokensOf(std::string file) { return oauthTokens = std::move(file), *this; }
        Options& refusingSignIn(std::string reply) { return refuseAuth = std::move(reply), *this; }
        // A sender other than the signed-in account is refused as Microsoft 365 does.
        Options& denyingSendAs() { return sendAsDenied = true, *this; }
    };

    explicit SmtpPeer(const Options& o) {
        std::vector<std::string> args{"/usr/bin/python3", INVARRO_SMTP_PEER, "--out", out_.path()};
        if (o.starttls) args.insert(args.end(), {"--starttls", o.starttls->cert, o.starttls->key});
        if (o.implicit) args.insert(args.end(), {"--implicit", o.implicit->cert, o.implicit->key});
        if (!o.auth.empty()) args.insert(args.end(), {"--auth", o.auth});
        if (o.authPlain) args.push_back("--auth-plain");
        if (o.dropAfter >= 0)
            args.insert(args.end(), {"--drop-after", std::to_string(o.dropAfter)});
        if (!o.refuseRcpt.empty()) args.insert(args.end(), {"--refuse-rcpt", o.refuseRcpt});
        if (o.rejectClient) args.push_back("--reject-client");
        if (o.refuseGreeting) args.push_back("--refuse-greeting");
        if (!o.refuseData.empty()) args.insert(args.end(), {"--refuse-data", o.refuseData});
        if (o.sizeLimit >= 0)
            args.insert(args.end(), {"--size-limit", std::to_string(o.sizeLimit)});
        if (!o.oauthTokens.empty()) args.insert(args.end(), {"--oauth", o.oauthTokens});
        if (!o.refuseAuth.empty()) args.insert(args.end(), {"--refuse-auth", o.refuseAuth});
        if (o.sendAsDenied) args.push_back("--send-as-denied");
        process_ = std::make_unique<PeerProcess>(std::move(args));
        port_ = process_->port();
    }
    SmtpPeer(const SmtpPeer&) = delete;
    SmtpPeer& operator=(const SmtpPeer&) = delete;

    int port() const { return port_; }
    bool ready() const { return port_ > 0; }

    std::vector<ReceivedMail> received() const {
        std::vector<ReceivedMail> mails;
        for (int n = 1;; ++n) {
            char base[16];
            std::snprintf(base, sizeof base, "/%04d", n);
            const std::string txt = out_.path() + base + ".txt";
            if (!std::filesystem::exists(txt)) break;
            ReceivedMail m;
            m.raw = ReadFileBytes(out_.path() + base + ".eml");
            const std::string text = ReadFileBytes(txt);
            const size_t split = text.find("\n\n");
            const std::string head = text.substr(0, split);
            m.body = split == std::string::npos ? std::string() : text.substr(split + 2);
            size_t i = 0;
            while (i < head.size()) {
                size_t nl = head.find('\n', i);
                if (nl == std::string::npos) nl = head.size();
                const std::string line = head.substr(i, nl - i);
                const size_t colon = line.find(": ");
                if (colon != std::string::npos)
                    m.fields[line.substr(0, colon)].push_back(line.substr(colon + 2));
                else if (!line.empty() && line.back() == ':')
                    m.fields[line.substr(0, line.size() - 1)].push_back("");
                i = nl + 1;
            }
            int k = 0;
            for (const std::string& a : m.all("attachment")) {
                ReceivedMail::Attachment at;
                const size_t p1 = a.find('|'), p2 = a.find('|', p1 + 1), p3 = a.find('|', p2 + 1);
                at.fileName = a.substr(0, p1);
                at.contentType = a.substr(p1 + 1, p2 - p1 - 1);
                at.disposition = a.substr(p2 + 1, p3 - p2 - 1);
                at.path = out_.path() + base + "-" + std::to_string(++k) + ".bin";
                at.bytes = ReadFileBytes(at.path);
                m.attachments.push_back(std::move(at));
            }
            mails.push_back(std::move(m));
        }
        return mails;
    }
    // The server's log: "auth <mechanism> <user> ok|refused", "dropped", "rejected client
    // at <address>", "refused greeting", "refused data".
    std::string events() const { return ReadFileBytes(out_.path() + "/events.log"); }

  private:
    TempDir out_;
    std::unique_ptr<PeerProcess> process_;
    int port_ = 0;
};

}  // namespace invarro::testing
