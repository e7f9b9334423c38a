// The mail client the logic talks through: the outgoing server's host, port and login,
// one connection kept open for a whole run of messages, and plain-text messages sent
// over it. The desktop program uses the libcurl implementation; tests may record.
#pragma once

#include <string>
#include <vector>

namespace invarro::platform {

// One plain-text message. Texts are UTF-8; the mailer composes the header and the
// encoding of the body.
struct MailMessage {
    std::string from;                     // the sender's address
    std::string fromName;                 // shown beside the sender's address; may be empty
    std::vector<std::string> recipients;  // one address each
    std::string subject;
    std::vector<std::string> body;  // one entry per line
};

// The step of a mail run that failed, so that the message can say what to check.
enum class MailStep {
    None,
    Settings,     // host or port not usable
    Reach,        // the server cannot be found or reached
    Tls,          // the secure connection was refused, or the server offers none
    Certificate,  // the server's certificate is not trusted
    Login,        // the server refused the login
    Sender,       // the server refused the sender's address
    Recipient,    // the server refused a recipient
    Connection,   // the connection broke or the server answered out of turn
    NotConnected  // a send without an open connection
};

struct MailError {
    MailStep step = MailStep::None;
    std::string text;  // a sentence the user can act on
};

class Mailer {
  public:
    virtual ~Mailer() = default;
    // Used by the next connect. Changing any of them closes an open connection.
    virtual void setHost(const std::string& host) = 0;
    virtual void setPort(int port) = 0;
    // A login name logs in on the next connect; an empty name connects without a login.
    virtual void setLogin(const std::string& user, const std::string& password) = 0;

    virtual bool connected() const = 0;
    // Opens the connection (and the login when one is set). False and error when it fails.
    virtual bool connect(MailError& error) = 0;
    virtual void disconnect() = 0;
    // Sends over the open connection. False and error when the message was not accepted;
    // after a broken connection connected() is false.
    virtual bool send(const MailMessage& message, MailError& error) = 0;
};

}  // namespace invarro::platform
