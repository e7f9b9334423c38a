// The mail client over libcurl. Port 465 speaks TLS from the first byte; any other port
// upgrades with STARTTLS when the server offers it, and insists on it whenever a login is
// set, so that a login is never sent in the clear. Certificates are checked against the
// system's store, or against one CA file where a caller names it. One connection serves
// every message from connect to disconnect. The mailer follows the conversation: it keeps
// the size limit the server announces, refuses a larger message before sending any of
// it, and names the step and the server's own reply when something is refused.
#pragma once

#include <memory>
#include <string>

#include "platform/Mailer.h"

namespace invarro::platform::curl {

class CurlMailer : public Mailer {
  public:
    CurlMailer();
    ~CurlMailer() override;
    CurlMailer(const CurlMailer&) = delete;
    CurlMailer& operator=(const CurlMailer&) = delete;

    void setHost(const std::string& host) override;
    void setPort(int port) override;
    void setLogin(const std::string& user, const std::string& password) override;
    void setToken(const std::string& user, const std::string& accessToken) override;
    bool connected() const override { return connected_; }
    bool connect(MailError& error) override;
    void disconnect() override;
    bool send(const MailMessage& message, MailError& error) override;

    // Trusts the certificates in this PEM file instead of the system's store (tests with a
    // certificate of their own); empty: the system's store.
    void setCaFile(const std::string& path);
    // The port that speaks TLS from the first byte (465 unless a test names its own).
    void setImplicitTlsPort(int port);
    // Seconds allowed for reaching the server and for a stalled transfer.
    void setTimeout(long seconds);
    // The largest message the server announced it takes (its SIZE), 0 when it named none.
    long long sizeLimit() const { return sizeLimit_; }

  private:
    struct Handle;
    void configure();
    MailError describe(int code) const;
    MailError describeReply() const;

    std::unique_ptr<Handle> handle_;
    std::string host_;
    int port_ = 25;
    std::string user_;
    std::string password_;
    std::string token_;  // an access token signs in with XOAUTH2 instead of the password
    std::string from_;   // the sender of the message being sent
    std::string caFile_;
    long timeout_ = 30;
    int implicitTlsPort_ = 465;
    bool connected_ = false;
    long long sizeLimit_ = 0;
};

}  // namespace invarro::platform::curl
