// The text of a mail message as it goes over the wire: header fields stripped of control
// characters, non-ASCII words encoded, the body as UTF-8 plain text in 7 bit or
// quoted-printable, CR LF line ends throughout.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Mailer.h"

namespace invarro::platform {

// A header value as it may stand in a header: every control character (CR and LF among
// them) becomes a blank, runs of blanks shrink to one, and the ends are trimmed.
std::string CleanHeaderText(std::string_view text);

// The value of an unstructured header field (a subject): the cleaned text as it is when it
// is plain ASCII, otherwise as UTF-8 encoded words; long values are folded.
std::string EncodeHeaderText(std::string_view text);

// A mailbox for From: the address in angle brackets, after the name (quoted or encoded)
// when there is one.
std::string EncodeMailbox(std::string_view name, std::string_view address);

// The body lines as quoted-printable text with CR LF line ends and soft breaks that keep
// every line within 76 characters.
std::string QuotedPrintable(const std::vector<std::string>& lines);

// The date and identity of one message.
struct MessageStamp {
    std::string date;       // "Tue, 08 Dec 2026 22:57:03 +0100"
    std::string messageId;  // "<...@domain>"
};
// The stamp of a message sent now from this address.
MessageStamp StampNow(std::string_view fromAddress);

// The whole message: header and body, ready for the DATA command (dot-stuffing is the
// transport's task).
std::string ComposeMessage(const MailMessage& message, const MessageStamp& stamp);

}  // namespace invarro::platform
