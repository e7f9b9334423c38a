#include <gtest/gtest.h>

#include "platform/MailText.h"

namespace invarro::platform {
namespace {

const MessageStamp kStamp{"Tue, 08 Dec 2026 10:00:00 +0000", "<1.abc@example.com>",
                          "=_Invarro_test"};

std::string HeaderBlock(const std::string& text) {
    return text.substr(0, text.find("\r\n\r\n") + 2);
}

TEST(MailText, HeaderValuesLoseControlCharactersSoNoHeaderCanBeAdded) {
    EXPECT_EQ(CleanHeaderText("  Acme\r\nBcc: victim@example.com\t "),
              "Acme Bcc: victim@example.com");
    EXPECT_EQ(CleanHeaderText("\x01\x7f"), "");
    MailMessage m{"a@example.com",   "Evil\r\nBcc: x@example.com",
                  {"b@example.com"}, "Hello\nX-Injected: 1",
                  {"body"},          {}};
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
    MailMessage m{"billing@acme.example",         "Acme Supply",
                  {"a@x.example", "b@y.example"}, "Invoice",
                  {"Plain line", ".leading dot"}, {}};
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

// The header lines of a message (its first block), without their CR LF.
std::vector<std::string> HeaderLines(const std::string& text) {
    std::vector<std::string> lines;
    const std::string head = text.substr(0, text.find("\r\n\r\n"));
    size_t start = 0;
    while (start <= head.size()) {
        size_t end = head.find("\r\n", start);
        if (end == std::string::npos) end = head.size();
        lines.push_back(head.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Every line of the text, without CR LF.
std::vector<std::string> AllLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

TEST(MailText, HeaderLinesStayWithin78CharactersWhateverTheNamesAre) {
    // A long encoded company name before a long address made an 88-character From line.
    MailMessage m{"rechnungen@baeckerei-mueller-feinkost.example",
                  "Bäckerei Müller & Söhne Feinkost",
                  {"buchhaltung.zentrale@kunde-mit-langem-namen.example",
                   "zweite.adresse@kunde-mit-langem-namen.example"},
                  "Zoë Müller GmbH Invoice from Bäckerei Müller & Söhne Feinkost, Filiale Nord",
                  {"text"},
                  {{"Rechnung-Ünïcödé-Straße-1043-Zoë-Müller-GmbH-Zweigstelle.pdf",
                    "application/pdf", "%PDF-1.4"}}};
    const std::string text = ComposeMessage(m, kStamp);
    for (const std::string& line : AllLines(text))
        EXPECT_LE(line.size(), 78u) << line;
    const std::vector<std::string> head = HeaderLines(text);
    ASSERT_GE(head.size(), 2u);
    EXPECT_EQ(head[1].rfind("From: =?UTF-8?B?", 0), 0u) << head[1];
    // The address went onto a line of its own rather than past the limit.
    EXPECT_EQ(head[2], " <rechnungen@baeckerei-mueller-feinkost.example>");
    // A short name keeps the address on its line.
    EXPECT_EQ(EncodeMailbox("Acme", "a@b.example"), "\"Acme\" <a@b.example>");
    EXPECT_EQ(EncodeMailbox(std::string(35, 'N'), std::string(40, 'a') + "@b.example"),
              "\"" + std::string(35, 'N') + "\"\r\n <" + std::string(40, 'a') + "@b.example>");
}

TEST(MailText, FileNamesAreQuotedWhenPlainAndExtendedOtherwise) {
    EXPECT_EQ(FileNameParameter("filename", "Invoice-1043.pdf"),
              ";\r\n filename=\"Invoice-1043.pdf\"");
    EXPECT_EQ(FileNameParameter("name", "a \"b\".pdf"), ";\r\n name=\"a \\\"b\\\".pdf\"");
    EXPECT_EQ(FileNameParameter("filename", "Customer-MÜLLERStatement.pdf"),
              ";\r\n filename*=UTF-8''Customer-M%C3%9CLLERStatement.pdf");
    // Characters that would end or confuse the value are encoded too.
    EXPECT_EQ(FileNameParameter("filename", "é;x'y*%.pdf"),
              ";\r\n filename*=UTF-8''%C3%A9%3Bx%27y%2A%25.pdf");
    // Long names split into numbered sections, no escape cut in two.
    std::string longName;
    for (int i = 0; i < 30; ++i)
        longName += "ü";
    longName += ".pdf";
    const std::string p = FileNameParameter("filename", longName);
    const std::vector<std::string> lines = AllLines(p.substr(3));  // after ";\r\n"
    ASSERT_GE(lines.size(), 3u);
    std::string joined;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string line = lines[i];
        EXPECT_LE(line.size(), 78u);
        const std::string head = " filename*" + std::to_string(i) + "*=";
        ASSERT_EQ(line.rfind(head, 0), 0u) << line;
        line = line.substr(head.size());
        if (i + 1 < lines.size()) {
            ASSERT_EQ(line.back(), ';');
            line.pop_back();
        }
        EXPECT_NE(line.back(), '%');
        EXPECT_NE(line[line.size() - 2], '%');
        joined += line;
    }
    std::string expected = "UTF-8''";
    for (int i = 0; i < 30; ++i)
        expected += "%C3%BC";
    EXPECT_EQ(joined, expected + ".pdf");
}

TEST(MailText, AttachmentsMakeAMessageInPartsWithTheSameTextFirst) {
    MailMessage m{"billing@acme.example",  "Acme Supply",
                  {"a@x.example"},         "Invoice",
                  {"Plain line", "Grüße"}, {}};
    const std::string plain = ComposeMessage(m, kStamp);
    std::string bytes;
    for (int i = 0; i < 300; ++i)
        bytes += char(i & 0xff);
    m.attachments.push_back({"Invoice-1043.pdf", "application/pdf", bytes});
    const std::string text = ComposeMessage(m, kStamp);
    // The header is today's up to the content type.
    const std::string common = plain.substr(0, plain.find("Content-Type:"));
    EXPECT_EQ(text.substr(0, common.size()), common);
    EXPECT_NE(text.find("Content-Type: multipart/mixed;\r\n boundary=\"=_Invarro_test\"\r\n"),
              std::string::npos);
    // The text part carries the plain message's body as it was.
    const std::string plainBody = plain.substr(plain.find("\r\n\r\n") + 4);
    const std::string textPart =
        "--=_Invarro_test\r\nContent-Type: text/plain; charset=UTF-8\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
        plainBody + "\r\n--=_Invarro_test\r\n";
    EXPECT_NE(text.find(textPart), std::string::npos) << text;
    EXPECT_NE(
        text.find("Content-Type: application/pdf;\r\n name=\"Invoice-1043.pdf\"\r\n"
                  "Content-Transfer-Encoding: base64\r\n"
                  "Content-Disposition: attachment;\r\n filename=\"Invoice-1043.pdf\"\r\n\r\n"),
        std::string::npos);
    EXPECT_TRUE(text.ends_with("\r\n--=_Invarro_test--\r\n"));
    // Base64 in lines of 76, and it decodes back to the bytes.
    const size_t start = text.find("\r\n\r\n", text.find("Content-Disposition")) + 4;
    const size_t end = text.find("--=_Invarro_test--");
    const std::string encoded = text.substr(start, end - start);
    EXPECT_EQ(encoded, Base64Lines(bytes));
    for (const std::string& line : AllLines(encoded))
        EXPECT_LE(line.size(), 76u);
    EXPECT_EQ(AllLines(encoded).size(), 6u);  // 400 characters
    EXPECT_EQ(Base64Lines("Man"), "TWFu\r\n");
    EXPECT_EQ(Base64Lines("Ma"), "TWE=\r\n");
    EXPECT_EQ(Base64Lines(""), "");
}

TEST(MailText, ABoundaryTheTextHappensToHoldIsMadeLonger) {
    MailMessage m{"a@x.example",
                  "",
                  {"b@y.example"},
                  "s",
                  {"--=_Invarro_test", "x"},
                  {{"f.pdf", "application/pdf", "1"}}};
    const std::string text = ComposeMessage(m, kStamp);
    EXPECT_NE(text.find("boundary=\"=_Invarro_test_\""), std::string::npos);
    EXPECT_NE(text.find("\r\n--=_Invarro_test\r\nx\r\n"), std::string::npos);
    EXPECT_TRUE(text.ends_with("--=_Invarro_test_--\r\n"));
    // A type left empty is sent as plain bytes.
    m.attachments[0].contentType = "";
    EXPECT_NE(ComposeMessage(m, kStamp).find("Content-Type: application/octet-stream;"),
              std::string::npos);
}

}  // namespace
}  // namespace invarro::platform
