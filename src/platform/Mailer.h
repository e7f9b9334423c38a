// The mail client the logic talks through: the outgoing server's host, port and login (a
// password or an OAuth 2.0 access token),
// one connection kept open for a whole run of messages, and messages sent over it: a
// plain-text body, and files attached to it when there are any. The desktop program uses
// the libcurl implementation; tests may record.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace invarro::platform {

// A file a message carries after its text.
struct MailAttachment {
    std::string fileName;     // UTF-8, the name the receiver saves it under
    std::string contentType;  // "application/pdf"
    std::string bytes;
};

// One message. Texts are UTF-8; the mailer composes the header and the encoding of the
// body. Without attachments it is a plain-text message; with them the text comes first
// and each file follows.
struct MailMessage {
    std::string from;                     // the sender's address
    std::string fromName;                 // shown beside the sender's address; may be empty
    std::vector<std::string> recipients;  // one address each
    std::string subject;
    std::vector<std::string> body;  // one entry per line
    std::vector<MailAttachment> attachments;
};

// The step of a mail run that failed, so that the message can say what to check.
enum class MailStep {
    None,
    Settings,     // host or port not usable
    Reach,        // the server cannot be found or reached
    Tls,          // the secure connection was refused, or the server offers none
    Certificate,  // the server's certificate is not trusted
    Login,        // the server refused the login
    Greeting,     // the server refused the connection as soon as it answered
    Sender,       // the server refused the sender's address
    Recipient,    // the server refused a recipient's address
    Client,       // the server refused to take mail from this computer or sender (policy)
    Message,      // the server refused the message after receiving it
    Size,         // the message is larger than the server takes; nothing was sent
    Attachment,   // the document to attach could not be made; nothing was sent
    Connection,   // the connection broke or the server answered out of turn
    NotConnected  // a send without an open connection
};

struct MailError {
    MailStep step = MailStep::None;
    std::string text;   // a sentence the user can act on
    std::string reply;  // the server's own reply to the step that failed, when it gave one

    MailError() = default;
    MailError(MailStep s, std::string t, std::string r = {})
        : step(s), text(std::move(t)), reply(std::move(r)) {}
};

// Whether the connection is still good for the next message after this failure: the
// server refused one address, one message, or the message was never offered to it.
bool ConnectionSurvives(MailStep step);

class Mailer {
  public:
    virtual ~Mailer() = default;
    // Used by the next connect. Changing any of them closes an open connection.
    virtual void setHost(const std::string& host) = 0;
    virtual void setPort(int port) = 0;
    // A login name logs in on the next connect; an empty name connects without a login.
    virtual void setLogin(const std::string& user, const std::string& password) = 0;
    // Signs in on the next connect with an OAuth 2.0 access token (SASL XOAUTH2) as the
    // account user, over a secure connection only; replaces a login set before, as
    // setLogin replaces a token.
    virtual void setToken(const std::string& user, const std::string& accessToken) = 0;

    virtual bool connected() const = 0;
    // Opens the connection (and the login when one is set). False and error when it fails.
    virtual bool connect(MailError& error) = 0;
    virtual void disconnect() = 0;
    // Sends over the open connection. False and error when the message was not accepted;
    // after a broken connection connected() is false.
    virtual bool send(const MailMessage& message, MailError& error) = 0;
};

}  // namespace invarro::platform
