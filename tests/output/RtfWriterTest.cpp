#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <string>
#include <vector>

#include "data/Ansi.h"
#include "output/RtfWriter.h"
#include "support/Command.h"
#include "support/TempDir.h"

namespace invarro::output {
namespace {

using testing::RunCommand;
using testing::ShellQuote;
using testing::TempDir;
using testing::WriteFileBytes;

// The body of `unrtf --text`: what follows its header rule, in UTF-8 (unrtf writes
// accented letters as Latin-1 bytes).
std::vector<std::string> UnrtfText(const std::string& file) {
    auto r = RunCommand("unrtf --text " + ShellQuote(file));
    EXPECT_EQ(r.status, 0);
    const std::string text = data::DecodeText(r.output);
    std::vector<std::string> lines;
    std::size_t start = text.find("-----------------\n");
    EXPECT_NE(start, std::string::npos) << text;
    if (start == std::string::npos) return lines;
    start += 18;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::string UnrtfHtml(const std::string& file) {
    auto r = RunCommand("unrtf --html " + ShellQuote(file));
    EXPECT_EQ(r.status, 0);
    return r.output;
}

Font Courier() {
    return Font{"Courier New", 10, kBlack, 0};
}

TEST(RtfWriter, AnotherReaderGetsTheSameTextWithAccentsIntact) {
    TempDir dir;
    const std::vector<std::string> lines = {
        "Customer List for Müller & Söhne",
        "Name                               Number: 100      Balance: 1,234.50",
        "Zoë Ångström: naïve café, façade, Ærø, señor, Größe, ½ × ¾ ± µ",
        "",
        "Braces {kept} and back\\slash",
    };
    const std::string file = dir.file("list.rtf");
    ASSERT_TRUE(WriteRtfFile(file, PlainTextDocument(lines, Courier())));
    auto read = UnrtfText(file);
    // unrtf folds every run of blanks into one, so the comparison folds them too; the
    // blanks themselves are checked in the RTF.
    auto fold = [](std::string s) {
        std::string out;
        for (char c : s)
            if (c != ' ' || out.empty() || out.back() != ' ') out += c;
        return out;
    };
    std::vector<std::string> expected;
    for (const auto& l : lines)
        expected.push_back(fold(l));
    EXPECT_EQ(read, expected);
    EXPECT_NE(testing::ReadFileBytes(file).find(
                  "{\\f0\\fs20\\cf1 Name                               Number: 100      Balance: "
                  "1,234.50}\\par"),
              std::string::npos);
}

TEST(RtfWriter, CharactersBeyondLatin1ReachAReaderThatKnowsUnicode) {
    TempDir dir;
    const std::string file = dir.file("u.rtf");
    ASSERT_TRUE(WriteRtfFile(file, PlainTextDocument({"A€B “q” Œ — Жx ≤y end"}, Courier())));
    const std::string html = UnrtfHtml(file);
    // € “ ” Œ are Windows-1252 bytes; Ж and ≤ go as \u with a fallback that is skipped.
    EXPECT_NE(html.find("A&euro;B &ldquo;q&rdquo; &OElig; &mdash; &#1046;x &le;y end"),
              std::string::npos)
        << html;
}

TEST(RtfWriter, EscapesWhatRtfReservesAndDropsControlCharacters) {
    const std::string rtf = ToRtf(PlainTextDocument({"a{b}c\\d\te\x01"
                                                     "f\x7fg"},
                                                    Courier()));
    EXPECT_NE(rtf.find("a\\{b\\}c\\\\d\\tab e"
                       "fg}"),
              std::string::npos)
        << rtf;
    // Characters outside the code page, including those beyond the basic plane.
    const std::string u = ToRtf(PlainTextDocument({"Ж😀"}, Courier()));
    EXPECT_NE(u.find("\\u1046\\'3f\\u-10179\\'3f\\u-8704\\'3f"), std::string::npos) << u;
    EXPECT_EQ(u.find("\xD0"), std::string::npos) << "raw UTF-8 leaked into the RTF";
}

TEST(RtfWriter, WritesFontAndColourTablesOnceAndTheRunFormats) {
    RtfDocument doc;
    Font bold{"Arial", 12, Color{255, 0, 0}, kBold | kItalic};
    Font under{"Times New Roman", 9, Color{0, 0, 128}, kUnderline | kStrikeOut};
    doc.paragraphs.push_back({{RtfRun{"red ", bold}, RtfRun{"blue", under}}, Alignment::Center});
    doc.paragraphs.push_back({{RtfRun{"again", bold}}, Alignment::Right});
    const std::string rtf = ToRtf(doc);
    EXPECT_TRUE(rtf.starts_with("{\\rtf1\\ansi\\ansicpg1252")) << rtf;
    EXPECT_NE(rtf.find("{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}{\\f1\\fnil\\fcharset0 Times New "
                       "Roman;}}"),
              std::string::npos)
        << rtf;
    EXPECT_NE(rtf.find("{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue128;}"),
              std::string::npos)
        << rtf;
    EXPECT_NE(
        rtf.find("\\pard\\qc{\\f0\\fs24\\cf1\\b\\i red }{\\f1\\fs18\\cf2\\ul\\strike blue}\\par"),
        std::string::npos)
        << rtf;
    EXPECT_NE(rtf.find("\\pard\\qr{\\f0\\fs24\\cf1\\b\\i again}\\par"), std::string::npos) << rtf;
    EXPECT_TRUE(rtf.ends_with("}\r\n"));
}

TEST(RtfWriter, FontNamesCannotBreakTheFontTable) {
    Font odd{"Bad;Name{x}", 0, kBlack, 0};
    const std::string rtf = ToRtf(PlainTextDocument({"t"}, odd));
    EXPECT_NE(rtf.find("{\\f0\\fnil\\fcharset0 BadName\\{x\\};}"), std::string::npos) << rtf;
    // A size of 0 points still gives a size a reader accepts.
    EXPECT_NE(rtf.find("\\fs2\\"), std::string::npos) << rtf;
}

TEST(RtfWriter, AnEmptyListIsStillADocument) {
    TempDir dir;
    ASSERT_TRUE(WriteRtfFile(dir.file("e.rtf"), PlainTextDocument({}, Courier())));
    EXPECT_EQ(RunCommand("unrtf --text " + ShellQuote(dir.file("e.rtf"))).status, 0);
}

TEST(RtfWriter, ReportsAFileThatCannotBeWritten) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(WriteRtfFile(dir.file("no/such/dir/x.rtf"), RtfDocument{}, &error));
    EXPECT_NE(error.find("x.rtf"), std::string::npos) << error;
}

TEST(RtfWriter, AWriteThatFailsHalfWayKeepsTheFileAsItWas) {
    TempDir dir;
    const std::string file = dir.file("letter.rtf");
    WriteFileBytes(file, "{\\rtf1 earlier letter}");
    // The disk takes no more than 200 bytes of any file: the new letter cannot be written.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 200;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool written = WriteRtfFile(
        file, PlainTextDocument(std::vector<std::string>(40, "A line of the letter."), Courier()),
        &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(written);
    EXPECT_NE(error.find("letter.rtf"), std::string::npos) << error;
    EXPECT_EQ(testing::ReadFileBytes(file), "{\\rtf1 earlier letter}");
}

}  // namespace
}  // namespace invarro::output
