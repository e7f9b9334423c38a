// A Mailer for tests: records settings, connects and every message, and fails on
// request (refusing a connect, refusing some recipients, or breaking the connection
// after a number of messages).
#pragma once

#include <string>
#include <vector>

#include "platform/Mailer.h"

namespace invarro::testing {

class RecordingMailer : public platform::Mailer {
  public:
    void setHost(const std::string& h) override {
        if (h != host) disconnect();
        host = h;
    }
    void setPort(int p) override {
        if (p != port) disconnect();
        port = p;
    }
    void setLogin(const std::string& u, const std::string& p) override {
        if (u != user || p != password) disconnect();
        user = u;
        password = p;
        token.clear();
    }
    void setToken(const std::string& u, const std::string& t) override {
        if (u != user || t != token) disconnect();
        user = u;
        token = t;
        password.clear();
    }
    bool connected() const override { return open; }
    bool connect(platform::MailError& e) override {
        ++connects;
        if (refuseConnect) {
            e = {platform::MailStep::Reach, "The mail server cannot be reached."};
            return false;
        }
        open = true;
        return true;
    }
    void disconnect() override {
        if (open) ++disconnects;
        open = false;
    }
    bool send(const platform::MailMessage& m, platform::MailError& e) override {
        if (!open) {
            e = {platform::MailStep::NotConnected, "There is no open connection."};
            return false;
        }
        if (breakAfter >= 0 && int(sent.size()) >= breakAfter) {
            open = false;
            e = {platform::MailStep::Connection, "The connection was lost."};
            return false;
        }
        for (const std::string& r : m.recipients)
            if (!refuse.empty() && r.find(refuse) != std::string::npos) {
                e = {platform::MailStep::Recipient, "Refused " + r + "."};
                return false;
            }
        sent.push_back(m);
        return true;
    }

    std::string host;
    int port = 0;
    std::string user, password, token;
    bool open = false;
    bool refuseConnect = false;
    int breakAfter = -1;  // messages accepted before the connection breaks
    std::string refuse;   // recipients containing this are refused
    int connects = 0, disconnects = 0;
    std::vector<platform::MailMessage> sent;
};

}  // namespace invarro::testing
