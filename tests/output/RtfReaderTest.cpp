#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "data/Ansi.h"
#include "output/RtfReader.h"
#include "output/RtfWriter.h"
#include "support/Command.h"
#include "support/TempDir.h"

namespace invarro::output {
namespace {

using testing::RunCommand;
using testing::ShellQuote;
using testing::TempDir;
using testing::WriteFileBytes;

// Every paragraph has a run, only a paragraph's sole run is empty, no neighbouring runs
// share a format, and the text is well-formed UTF-8 without control characters other
// than tab and line feed.
void ExpectWellFormed(const RtfDocument& doc) {
    for (const RtfParagraph& p : doc.paragraphs) {
        ASSERT_FALSE(p.runs.empty());
        for (std::size_t i = 0; i < p.runs.size(); ++i) {
            const RtfRun& r = p.runs[i];
            ASSERT_TRUE(data::IsValidUtf8(r.text));
            ASSERT_TRUE(data::IsValidUtf8(r.font.face));
            if (p.runs.size() > 1) {
                ASSERT_FALSE(r.text.empty());
            }
            if (i > 0) {
                ASSERT_FALSE(p.runs[i - 1].sameFormat(r));
            }
            for (unsigned char c : r.text)
                ASSERT_TRUE(c >= 0x20 || c == '\t' || c == '\n') << int(c);
            ASSERT_GE(r.font.size, 1);
        }
    }
}

// A document with a bit of everything the editor can make.
RtfDocument RandomDocument(std::mt19937& rng) {
    static const std::vector<std::string> pieces = {
        "Dear ",    "KRCSTNAME",   ",",    " café ", "Größe ½", "€ “quoted” —", "Жx ≤",   "😀",
        "{braces}", "back\\slash", "\t",   "\n",     "  ",      "plain text",   "x\x01y", "\x7f",
        "tab\tin",  "Ærø",         "¿Sí?", "ÿ",      ";semi;"};
    static const std::vector<std::string> faces = {"Arial", "Times New Roman", "Courier New",
                                                   "Zoë Sans", "Odd;Name{x}"};
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    RtfDocument doc;
    const int paragraphs = pick(6);
    for (int p = 0; p < paragraphs; ++p) {
        RtfParagraph para;
        para.alignment = Alignment(pick(4));
        para.firstIndent = pick(3) == 0 ? -360 + pick(720) : 0;
        para.leftIndent = pick(3) == 0 ? pick(2880) : 0;
        para.rightIndent = pick(4) == 0 ? pick(1440) : 0;
        para.bullet = pick(4) == 0;
        const int runs = pick(4);
        for (int r = 0; r < runs; ++r) {
            RtfRun run;
            for (int k = pick(4); k >= 0; --k)
                run.text += pieces[std::size_t(pick(int(pieces.size())))];
            run.font.face = faces[std::size_t(pick(int(faces.size())))];
            run.font.size = 6 + pick(30);
            run.halfPoints = pick(4) == 0 ? 13 + pick(40) : 0;
            run.font.color = Color{std::uint8_t(pick(3) * 100), std::uint8_t(pick(256)), 7};
            run.font.style = std::uint8_t(pick(16));
            para.runs.push_back(run);
        }
        doc.paragraphs.push_back(para);
    }
    return doc;
}

TEST(RtfReader, WhatTheWriterWritesComesBackAsItWas) {
    std::mt19937 rng(20);
    for (int i = 0; i < 500; ++i) {
        const RtfDocument doc = RandomDocument(rng);
        const RtfDocument expected = NormalizedDocument(doc);
        const std::string rtf = ToRtf(doc);
        const RtfDocument back = ReadRtf(rtf);
        ASSERT_EQ(back, expected) << rtf;
        ExpectWellFormed(back);
        // Normalizing twice changes nothing, and writing again gives the same file.
        ASSERT_EQ(NormalizedDocument(expected), expected);
        ASSERT_EQ(ToRtf(back), rtf);
    }
}

TEST(RtfReader, KeepsTheFormatOfEveryRunAndParagraph) {
    RtfDocument doc;
    RtfParagraph p;
    p.alignment = Alignment::Center;
    p.firstIndent = -360;
    p.leftIndent = 720;
    p.rightIndent = 144;
    p.bullet = true;
    p.runs.push_back(RtfRun{"Bold red ", Font{"Arial", 12, Color{200, 0, 0}, kBold}});
    p.runs.push_back(RtfRun{"half", Font{"Courier New", 10, kBlack, kItalic | kUnderline}, 21});
    doc.paragraphs.push_back(p);
    RtfParagraph empty;
    empty.runs.push_back(RtfRun{"", Font{"Times New Roman", 18, kBlack, 0}});
    doc.paragraphs.push_back(empty);
    const RtfDocument back = ReadRtf(ToRtf(doc));
    ASSERT_EQ(back.paragraphs.size(), 2u);
    EXPECT_EQ(back.paragraphs[0], p);
    EXPECT_EQ(back.paragraphs[0].runs[1].sizeInHalfPoints(), 21);
    EXPECT_EQ(back.paragraphs[1].runs[0].font.size, 18) << "an empty line keeps its size";
}

TEST(RtfReader, AccentsInWindows1252AndUnicodeEscapes) {
    const RtfDocument doc = ReadRtf(
        "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}}\\f0 "
        "caf\\'e9 \\'80 \\'93q\\'94 "
        "\\u8364? \\u-10179\\'3f\\u-8704\\'3f "
        "{\\uc2\\u1046 xxZ}\\uc0\\u1078 Y {\\uc1\\u233\\'3f}\\u233\\'3f\\par}");
    ASSERT_EQ(doc.paragraphs.size(), 1u);
    // Without a stand-in count (\\uc0) the "?" after the last escape is text.
    EXPECT_EQ(DocumentText(doc), "café € “q” € 😀 ЖZжY éé?");
}

TEST(RtfReader, BrokenUnicodeEscapesGiveAQuestionMarkNotBadText) {
    const RtfDocument doc = ReadRtf("{\\rtf1\\uc0 a\\u-10179 b\\u-8704 c\\u55357\\par}");
    EXPECT_EQ(DocumentText(doc), "a?b?c?");
    ExpectWellFormed(doc);
}

TEST(RtfReader, SkipsDestinationsItDoesNotShowAndKnowsListSigns) {
    const std::string rtf =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\froman\\fcharset0 Times New "
        "Roman{\\*\\panose 02020603050405020304};}{\\f1\\fswiss Arial;}}"
        "{\\colortbl;\\red0\\green0\\blue255;}"
        "{\\stylesheet{\\s0 Normal;}}{\\info{\\title Secret title}{\\author Someone}}"
        "{\\*\\generator Riched20 10.0.19041}{\\*\\unknowndest hidden text}"
        "\\viewkind4\\uc1\\pard\\f1\\fs22 Visible{\\*\\bkmkstart mark} "
        "{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}\\par"
        "\\pard{\\pntext\\f2\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf2\\pnindent0{\\pntxtb\\'B7}}"
        "\\fi-360\\li720 first point\\par"
        "{\\pntext\\f2\\'B7\\tab}second point\\par"
        "\\pard{\\listtext 1.\\tab}numbered\\par"
        "\\pard\\qc\\cf1\\b Centred blue\\b0\\par"
        "{\\pict\\wmetafile8 0102ff}{\\object junk}\\pard tail}";
    const RtfDocument doc = ReadRtf(rtf);
    ASSERT_EQ(doc.paragraphs.size(), 6u) << DocumentText(doc);
    EXPECT_EQ(DocumentText(doc),
              "Visible link\nfirst point\nsecond point\n1.\tnumbered\nCentred blue\ntail");
    EXPECT_EQ(doc.paragraphs[0].runs[0].font.face, "Arial");
    EXPECT_EQ(doc.paragraphs[0].runs[0].font.size, 11);
    EXPECT_TRUE(doc.paragraphs[1].bullet);
    EXPECT_EQ(doc.paragraphs[1].firstIndent, -360);
    EXPECT_EQ(doc.paragraphs[1].leftIndent, 720);
    EXPECT_TRUE(doc.paragraphs[2].bullet) << "the bullet level holds until \\pard";
    EXPECT_FALSE(doc.paragraphs[3].bullet);
    EXPECT_EQ(doc.paragraphs[4].alignment, Alignment::Center);
    EXPECT_EQ(doc.paragraphs[4].runs[0].font.color, (Color{0, 0, 255}));
    EXPECT_TRUE(doc.paragraphs[4].runs[0].font.bold());
    EXPECT_EQ(doc.paragraphs[5].alignment, Alignment::Left);
}

TEST(RtfReader, FontTablesWithoutGroupsAndUnknownFontsFallBack) {
    const RtfDocument doc = ReadRtf(
        "{\\rtf1{\\fonttbl\\f0\\fswiss Helvetica;\\f1\\fmodern Courier;}\\deff1"
        "\\f7 unknown font\\par\\f0\\plain plain\\par}");
    ASSERT_EQ(doc.paragraphs.size(), 2u);
    EXPECT_EQ(doc.paragraphs[0].runs[0].font.face, "Courier");
    EXPECT_EQ(doc.paragraphs[1].runs[0].font.face, "Courier") << "\\plain goes to \\deff";
    EXPECT_EQ(doc.paragraphs[1].runs[0].font.size, 12) << "the size RTF starts with";
}

TEST(RtfReader, TakesWhatPeersWriteTheWayUnrtfReadsIt) {
    // Letters as word processors write them; unrtf is the peer that reads them too.
    const std::vector<std::string> files = {
        // WordPad
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\nouicompat\\deflang1033{\\fonttbl{\\f0\\fnil"
        "\\fcharset0 Calibri;}{\\f1\\fnil\\fcharset2 Symbol;}}\r\n{\\*\\generator Riched20 "
        "10.0.19041}\\viewkind4\\uc1 \r\n\\pard\\sa200\\sl276\\slmult1\\f0\\fs22\\lang9 "
        "Dear Customer,\\par\r\n\\pard{\\pntext\\f1\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf1"
        "\\pnindent0{\\pntxtb\\'B7}}\\fi-360\\li720\\sa200\\sl276\\slmult1 Your balance is "
        "due\\par\r\n\\pard\\sa200\\sl276\\slmult1 Regards,\\par\r\n}\r\n",
        // Word, with a style sheet, list table and revision marks
        "{\\rtf1\\adeflang1025\\ansi\\ansicpg1252\\uc1\\adeff31507\\deff0{\\fonttbl{\\f0"
        "\\froman\\fcharset0\\fprq2{\\*\\panose 02020603050405020304}Times New Roman;}"
        "{\\f37\\fswiss\\fcharset0\\fprq2 Calibri;}}{\\colortbl;\\red0\\green0\\blue0;}"
        "{\\*\\defchp \\f31506\\fs22}{\\stylesheet{\\ql \\li0\\ri0 Normal;}}"
        "{\\*\\listtable{\\list\\listtemplateid1{\\listlevel\\levelnfc23{\\leveltext "
        "\\'01\\u-3913 ?;}}}}{\\*\\rsidtbl \\rsid123}{\\info{\\author Someone}}"
        "\\pard\\plain \\ltrpar\\ql \\li0\\ri0\\f37\\fs22 Stra\\'dfe "
        "M\\u252\\'fcller\\par"
        "{\\listtext\\pard\\plain\\f37\\fs22 \\'b7\\tab}\\pard\\plain \\ltrpar\\ls1\\f37 item "
        "{\\b bold} end\\par}",
        // LibreOffice, Unicode with \uc0 and an unknown destination
        "{\\rtf1\\ansi\\deff3\\adeflang1025{\\fonttbl{\\f3\\fswiss\\fprq2\\fcharset0 "
        "Liberation Sans;}}{\\*\\userprops{\\propname x}}\\pard\\plain\\f3 "
        "{\\uc1 Gr\\u252\\'fc\\u223\\'dfe aus K\\u246\\'f6ln}\\par}",
    };
    TempDir dir;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string file = dir.file("peer" + std::to_string(i) + ".rtf");
        WriteFileBytes(file, files[i]);
        auto r = RunCommand("unrtf --text " + ShellQuote(file));
        ASSERT_EQ(r.status, 0);
        std::string theirs = data::DecodeText(r.output);
        theirs = theirs.substr(theirs.find("-----------------\n") + 18);
        // Compare the words: unrtf folds blanks and writes list signs its own way.
        auto words = [](const std::string& text) {
            std::vector<std::string> out;
            std::string w;
            for (std::size_t k = 0; k <= text.size(); ++k) {
                const char c = k < text.size() ? text[k] : ' ';
                if (c == ' ' || c == '\n' || c == '\t') {
                    if (!w.empty() && w != "\xC2\xB7" && w != "\xE2\x80\xA2" && w != "\"")
                        out.push_back(w);
                    w.clear();
                } else {
                    w += c;
                }
            }
            return out;
        };
        const RtfDocument ours = ReadRtf(files[i]);
        ExpectWellFormed(ours);
        EXPECT_EQ(words(DocumentText(ours)), words(theirs)) << "file " << i << "\n" << theirs;
    }
}

TEST(RtfReader, BulletsOfWordpadAndWordAreBullets) {
    const RtfDocument wordpad = ReadRtf(
        "{\\rtf1\\pard{\\pntext\\f1\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf1{\\pntxtb\\'B7}}a\\par}");
    ASSERT_EQ(wordpad.paragraphs.size(), 1u);
    EXPECT_TRUE(wordpad.paragraphs[0].bullet);
    EXPECT_EQ(DocumentText(wordpad), "a");
    const RtfDocument word =
        ReadRtf("{\\rtf1{\\listtext\\pard\\plain\\f3 \\'b7\\tab}\\pard\\ls1\\qr b\\par}");
    ASSERT_EQ(word.paragraphs.size(), 1u);
    EXPECT_TRUE(word.paragraphs[0].bullet);
    EXPECT_EQ(word.paragraphs[0].alignment, Alignment::Right);
}

TEST(RtfReader, LooksLikeRtfOnlyForRtf) {
    EXPECT_TRUE(LooksLikeRtf("{\\rtf1\\ansi}"));
    EXPECT_TRUE(LooksLikeRtf("\xEF\xBB\xBF  \r\n{\\rtf1"));
    EXPECT_FALSE(LooksLikeRtf("Dear KRCSTNAME,"));
    EXPECT_FALSE(LooksLikeRtf(""));
    EXPECT_FALSE(LooksLikeRtf("{\\rt"));
}

TEST(RtfReader, HostileInputEndsQuicklyAndWellFormed) {
    const std::vector<std::string> hostile = {
        "",
        "no braces at all",
        "}}}}{",
        std::string(200000, '{') + "deep" + std::string(200000, '}'),
        std::string(100000, '{'),
        "{\\rtf1 " + std::string(100000, '}'),
        "{\\rtf1\\bin999999999999 abc}",
        "{\\rtf1\\bin5",
        "{\\rtf1\\" + std::string(100000, 'a') + "1234 text}",
        "{\\rtf1\\fs99999999999999999999 big\\fs-5 small\\par}",
        "{\\rtf1\\u",
        "{\\rtf1\\'",
        "{\\rtf1\\'4",
        "{\\rtf1\\uc999999\\u65 abc\\par}",
        "{\\rtf1\\*\\*\\*{\\*}{\\*\\}x}",
        "{\\rtf1{\\fonttbl{\\f-99999999999 " + std::string(5000, 'F') + "}}\\f-99999999999 x}",
        "{\\rtf1{\\colortbl\\red999\\green-5\\blue;;;;}\\cf99999 x\\cf-1 y}",
        "{\\rtf1\\pard\\fi-999999999\\li999999999 x\\par}",
        std::string("{\\rtf1 a\0b\x01\x7f\x80\x81\xff c}", 18),
        "{\\rtf1 " + std::string(50000, '\\') + "}",
        "{\\rtf1{\\pntext " + std::string(10000, 'n') + "}x\\par}",
    };
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& in : hostile) {
        const RtfDocument doc = ReadRtf(in);
        ExpectWellFormed(doc);
    }
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(5));
    // Indents are kept within what RTF allows.
    const RtfDocument wide = ReadRtf(hostile[17]);
    ASSERT_EQ(wide.paragraphs.size(), 1u);
    EXPECT_GE(wide.paragraphs[0].firstIndent, -31680);
    EXPECT_LE(wide.paragraphs[0].leftIndent, 31680);
}

TEST(RtfReader, FuzzedInputNeverBreaksTheReader) {
    std::mt19937 rng(7);
    std::vector<std::string> seeds;
    for (int i = 0; i < 20; ++i)
        seeds.push_back(ToRtf(RandomDocument(rng)));
    seeds.push_back(
        "{\\rtf1{\\fonttbl{\\f0 A;}}{\\colortbl;\\red1\\green2\\blue3;}{\\*\\pn\\pnlvlblt}"
        "{\\pntext\\'b7\\tab}\\u1046?\\uc2\\u66 xx\\'e9{\\field{\\*\\fldinst x}{\\fldrslt y}}"
        "\\bin3 {}\\par}");
    static const std::vector<std::string> tokens = {
        "{",        "}",    "\\",   "\\par",    "\\pard", "\\u-",   "\\uc",      "\\'",
        "\\*",      "\\f",  "\\fs", "\\bin",    ";",      "\\pn",   "\\fonttbl", "\\colortbl",
        "\\pntext", "\\b0", " ",    "\\u65535", "\\'ff",  "\\\r\n", "-",         "9999999999"};
    const auto start = std::chrono::steady_clock::now();
    int inputs = 0;
    for (int i = 0; i < 6000; ++i) {
        std::string in;
        if (i % 3 == 0) {
            // Random bytes, biased towards RTF's own characters.
            const int n = int(rng() % 400);
            for (int k = 0; k < n; ++k) {
                const unsigned r = rng() % 10;
                in += r < 2 ? '{' : r < 4 ? '}' : r < 6 ? '\\' : char(rng() % 256);
            }
        } else {
            in = seeds[rng() % seeds.size()];
            const int edits = 1 + int(rng() % 8);
            for (int e = 0; e < edits && !in.empty(); ++e) {
                const std::size_t at = rng() % in.size();
                switch (rng() % 4) {
                    case 0:
                        in.erase(at, 1 + rng() % 10);
                        break;
                    case 1:
                        in.insert(at, tokens[rng() % tokens.size()]);
                        break;
                    case 2:
                        in[at] = char(rng() % 256);
                        break;
                    default:
                        in = in.substr(0, at);
                        break;
                }
            }
        }
        const RtfDocument doc = ReadRtf(in);
        ExpectWellFormed(doc);
        if (::testing::Test::HasFatalFailure()) {
            ADD_FAILURE() << "input: " << in;
            return;
        }
        // What the reader gives can always be written and read back the same.
        ASSERT_EQ(ReadRtf(ToRtf(doc)), doc) << in;
        ++inputs;
    }
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(inputs, 6000);
    EXPECT_LT(took, std::chrono::seconds(20));
}

TEST(RtfReader, ReadsFilesAndSaysWhichOneItCannot) {
    TempDir dir;
    WriteFileBytes(dir.file("a.rtf"), "{\\rtf1 Hello\\par}");
    auto doc = ReadRtfFile(dir.file("a.rtf"));
    ASSERT_TRUE(doc);
    EXPECT_EQ(DocumentText(*doc), "Hello");
    std::string error;
    EXPECT_FALSE(ReadRtfFile(dir.file("none.rtf"), &error));
    EXPECT_NE(error.find("none.rtf"), std::string::npos);
}

}  // namespace
}  // namespace invarro::output
