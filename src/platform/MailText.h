// The text of a mail message as it goes over the wire: header fields stripped of control
// characters, non-ASCII words encoded, header lines folded within 78 characters, the
// body as UTF-8 plain text in 7 bit or quoted-printable, attached files in base64 after
// it, CR LF line ends throughout.
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
// when there is one; the address goes onto a line of its own when the line would pass 78
// characters.
std::string EncodeMailbox(std::string_view name, std::string_view address);

// A file name parameter ("filename", "name") of a MIME header, on a line of its own: ";",
// a fold, then the name quoted when it is plain ASCII and fits, otherwise in the extended
// form with UTF-8 percent-encoding, split into numbered sections when it is long. No
// line passes 78 characters.
std::string FileNameParameter(std::string_view attribute, std::string_view fileName);

// Bytes as base64 in lines of 76 characters, each ending with CR LF.
std::string Base64Lines(std::string_view bytes);

// The body lines as quoted-printable text with CR LF line ends and soft breaks that keep
// every line within 76 characters.
std::string QuotedPrintable(const std::vector<std::string>& lines);

// The date and identity of one message.
struct MessageStamp {
    std::string date;       // "Tue, 08 Dec 2026 22:57:03 +0100"
    std::string messageId;  // "<...@domain>"
    std::string boundary;   // between the parts of a message with attachments
};
// The stamp of a message sent now from this address.
MessageStamp StampNow(std::string_view fromAddress);

// The whole message: header and body, ready for the DATA command (dot-stuffing is the
// transport's task). Without attachments a text/plain message; with them
// multipart/mixed: the same text part, then each file in base64 as an attachment under
// its name.
std::string ComposeMessage(const MailMessage& message, const MessageStamp& stamp);

}  // namespace invarro::platform
