#include <gtest/gtest.h>

#include "platform/MailText.h"

namespace invarro::platform {
namespace {

const MessageStamp kStamp{"Tue, 08 Dec 2026 10:00:00 +0000", "<1.abc@example.com>"};

std::string HeaderBlock(const std::string& text) {
    return text.substr(0, text.find("\r\n\r\n") + 2);
}

TEST(MailText, HeaderValuesLoseControlCharactersSoNoHeaderCanBeAdded) {
    EXPECT_EQ(CleanHeaderText("  Acme\r\nBcc: victim@example.com\t "),
              "Acme Bcc: victim@example.com");
    EXPECT_EQ(CleanHeaderText("\x01\x7f"), "");
    MailMessage m{"a@example.com",
                  "Evil\r\nBcc: x@example.com",
                  {"b@example.com"},
                  "Hello\nX-Injected: 1",
                  {"body"}};
    const std::string text = ComposeMessage(m, kStamp);
    const std::string head = HeaderBlock(text);
    EXPECT_EQ(head.find("\r\nBcc:"), std::string::npos);
    EXPECT_EQ(head.find("\r\nX-Injected:"), std::string::npos);
    EXPECT_NE(head.find("Subject: Hello X-Injected: 1\r\n"), std::string::npos);
}

TEST(MailText, NonAsciiSubjectsAndNamesBecomeEncodedWords) {
    EXPECT_EQ(EncodeHeaderText("Invoice from Acme"), "Invoice from Acme");
    EXPECT_EQ(EncodeHeaderText("Café"), "=?UTF-8?B?Q2Fmw6k=?=");
    // Text that merely looks encoded is encoded, so that it reads as typed.
    EXPECT_EQ(EncodeHeaderText("=?x?="), "=?UTF-8?B?PT94Pz0=?=");
    EXPECT_EQ(EncodeMailbox("Müller & Söhne", "a@b.de"),
              "=?UTF-8?B?TcO8bGxlciAmIFPDtmhuZQ==?= <a@b.de>");
    EXPECT_EQ(EncodeMailbox("Smith, \"Jr\"", "a@b.com"), "\"Smith, \\\"Jr\\\"\" <a@b.com>");
    EXPECT_EQ(EncodeMailbox("", " a@b.com "), "<a@b.com>");
    // Long text splits into words of at most 75 characters that never cut a character.
    std::string longText;
    for (int i = 0; i < 40; ++i)
        longText += "é";
    const std::string encoded = EncodeHeaderText(longText);
    size_t start = 0;
    int words = 0;
    while (start < encoded.size()) {
        size_t end = encoded.find("\r\n ", start);
        if (end == std::string::npos) end = encoded.size();
        EXPECT_LE(end - start, 75u);
        EXPECT_EQ(encoded.compare(start, 10, "=?UTF-8?B?"), 0);
        ++words;
        start = end + 3;
    }
    EXPECT_EQ(words, 2);  // 80 bytes at 45 a word, split between characters
}

TEST(MailText, QuotedPrintableKeepsLinesShortAndEscapesWhatMustBe) {
    EXPECT_EQ(QuotedPrintable({"a=b", "trailing ", "ü", ""}),
              "a=3Db\r\ntrailing=20\r\n=C3=BC\r\n\r\n");
    const std::string line(200, 'x');
    const std::string qp = QuotedPrintable({line});
    size_t start = 0, total = 0;
    while (start < qp.size()) {
        const size_t end = qp.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        EXPECT_LE(end - start, 76u);
        std::string part = qp.substr(start, end - start);
        if (!part.empty() && part.back() == '=') part.pop_back();
        total += part.size();
        start = end + 2;
    }
    EXPECT_EQ(total, 200u);
    // An escape is never split by a soft break.
    const std::string accents =
        QuotedPrintable({std::string(30, 'a') + std::string(40, 'e') + "ééééééé"});
    EXPECT_EQ(accents.find("=\r\nC3"), std::string::npos);
    EXPECT_EQ(accents.find("=C\r\n"), std::string::npos);
}

TEST(MailText, MessageHasTheHeaderFieldsMailServersExpect) {
    MailMessage m{"billing@acme.example",
                  "Acme Supply",
                  {"a@x.example", "b@y.example"},
                  "Invoice",
                  {"Plain line", ".leading dot"}};
    const std::string text = ComposeMessage(m, kStamp);
    EXPECT_EQ(HeaderBlock(text),
              "Date: Tue, 08 Dec 2026 10:00:00 +0000\r\n"
              "From: \"Acme Supply\" <billing@acme.example>\r\n"
              "To: a@x.example,\r\n b@y.example\r\n"
              "Subject: Invoice\r\n"
              "Message-ID: <1.abc@example.com>\r\n"
              "MIME-Version: 1.0\r\n"
              "Content-Type: text/plain; charset=UTF-8\r\n"
              "Content-Transfer-Encoding: 7bit\r\n");
    EXPECT_TRUE(text.ends_with("\r\n\r\nPlain line\r\n.leading dot\r\n"));
    m.body = {"Grüße"};
    EXPECT_NE(ComposeMessage(m, kStamp).find("quoted-printable\r\n\r\nGr=C3=BC=C3=9Fe\r\n"),
              std::string::npos);
}

TEST(MailText, StampCarriesAnRfcDateAndAUniqueIdInTheSendersDomain) {
    const MessageStamp a = StampNow("billing@acme.example");
    const MessageStamp b = StampNow("billing@acme.example");
    EXPECT_NE(a.messageId, b.messageId);
    EXPECT_TRUE(a.messageId.ends_with("@acme.example>"));
    EXPECT_EQ(a.messageId.front(), '<');
    // "Tue, 08 Dec 2026 10:00:00 +0000"
    ASSERT_EQ(a.date.size(), 31u);
    EXPECT_EQ(a.date.substr(3, 2), ", ");
    EXPECT_TRUE(a.date[26] == '+' || a.date[26] == '-');
    EXPECT_TRUE(StampNow("no address").messageId.ends_with("@localhost>"));
}

TEST(MailText, LongPlainSubjectsAreFoldedAtBlanks) {
    std::string subject;
    for (int i = 0; i < 20; ++i)
        subject += "word" + std::to_string(i) + " ";
    const std::string folded = EncodeHeaderText(subject);
    EXPECT_NE(folded.find("\r\n "), std::string::npos);
    size_t start = 0;
    bool first = true;
    while (start < folded.size()) {
        size_t end = folded.find("\r\n", start);
        if (end == std::string::npos) end = folded.size();
        EXPECT_LE(end - start + (first ? 9 : 0), 78u);
        first = false;
        start = end + 2;
    }
    std::string unfolded = folded;
    for (size_t p; (p = unfolded.find("\r\n")) != std::string::npos;)
        unfolded.erase(p, 2);
    EXPECT_EQ(unfolded, CleanHeaderText(subject));
}

}  // namespace
}  // namespace invarro::platform
