// The delimited text reader and writer: splitting rules, quoting, line breaks inside
// values, encodings, and values that survive a write and a read in every kind.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/Ansi.h"
#include "data/Delimited.h"
#include "data/Import.h"
#include "support/Command.h"
#include "support/TempDir.h"

namespace invarro::data {
namespace {

using Fields = std::vector<std::string>;

std::vector<Fields> Rows(std::string_view text, char sep = ',') {
    DelimitedText t = SplitDelimited(text, sep);
    EXPECT_TRUE(t.ok()) << t.error;
    std::vector<Fields> out;
    for (const auto& r : t.rows)
        out.push_back(r.fields);
    return out;
}

TEST(DelimitedSplit, UnquotedBlanksSplitQuotedOnesDoNot) {
    EXPECT_EQ(Rows("Acme Corp,100"), (std::vector<Fields>{{"Acme", "Corp", "100"}}));
    EXPECT_EQ(Rows("\"Acme Corp\",100"), (std::vector<Fields>{{"Acme Corp", "100"}}));
    EXPECT_EQ(Rows("AB1,Blue Widget,Y,9.95"),
              (std::vector<Fields>{{"AB1", "Blue", "Widget", "Y", "9.95"}}));
    // Blanks around values and around separators are no part of them.
    EXPECT_EQ(Rows("  a ,  b  , \" c \" "), (std::vector<Fields>{{"a", "b", " c "}}));
    // A tab outside quotes ends a value like a blank.
    EXPECT_EQ(Rows("a\tb,c"), (std::vector<Fields>{{"a", "b", "c"}}));
}

TEST(DelimitedSplit, EmptyEntriesCountAndTrailingSeparatorGivesOneMore) {
    EXPECT_EQ(Rows("a,,b"), (std::vector<Fields>{{"a", "", "b"}}));
    EXPECT_EQ(Rows(",a"), (std::vector<Fields>{{"", "a"}}));
    EXPECT_EQ(Rows("a,"), (std::vector<Fields>{{"a", ""}}));
    EXPECT_EQ(Rows("a, "), (std::vector<Fields>{{"a", ""}}));
    EXPECT_EQ(Rows("\"\",\"\""), (std::vector<Fields>{{"", ""}}));
}

TEST(DelimitedSplit, QuotesDoubledInsideAndLoneQuotesInsideUnquotedValues) {
    EXPECT_EQ(Rows("\"3/4\"\" pipe\",x"), (std::vector<Fields>{{"3/4\" pipe", "x"}}));
    EXPECT_EQ(Rows("\"\"\"\""), (std::vector<Fields>{{"\""}}));
    // A quote only opens a quoted value at its start.
    EXPECT_EQ(Rows("3/4\",x"), (std::vector<Fields>{{"3/4\"", "x"}}));
    // Text right after a closing quote begins the next value.
    EXPECT_EQ(Rows("\"ab\"cd,e"), (std::vector<Fields>{{"ab", "cd", "e"}}));
}

TEST(DelimitedSplit, RowsEndAtEveryKindOfLineBreakOutsideQuotesOnly) {
    DelimitedText t = SplitDelimited("a,b\r\nc\nd\re\r\n", ',');
    ASSERT_TRUE(t.ok());
    ASSERT_EQ(t.rows.size(), 4u);
    EXPECT_EQ(t.rows[0].fields, (Fields{"a", "b"}));
    EXPECT_EQ(t.rows[3].fields, (Fields{"e"}));
    EXPECT_EQ(t.rows[3].line, 4);

    t = SplitDelimited("\"first\r\nsecond\nthird\",x\r\nnext\r\n", ',');
    ASSERT_TRUE(t.ok());
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[0].fields, (Fields{"first\r\nsecond\nthird", "x"}));
    // The line numbers count the line breaks inside the quoted value.
    EXPECT_EQ(t.rows[1].line, 4);
    EXPECT_EQ(t.rows[1].fields, (Fields{"next"}));
}

TEST(DelimitedSplit, BlankLinesAreSkippedAndLinesStayNumbered) {
    DelimitedText t = SplitDelimited("\r\nA\r\n   \r\n\t\r\nB", ',');
    ASSERT_TRUE(t.ok());
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[0].line, 2);
    EXPECT_EQ(t.rows[1].line, 5);
    EXPECT_TRUE(SplitDelimited("", ',').rows.empty());
}

TEST(DelimitedSplit, UnclosedQuoteAndBinaryTextAreRefused) {
    DelimitedText t = SplitDelimited("a,b\r\n\"open,c\r\nd,e\r\n", ',');
    EXPECT_FALSE(t.ok());
    EXPECT_NE(t.error.find("line 2"), std::string::npos) << t.error;
    EXPECT_TRUE(t.rows.empty());
    EXPECT_FALSE(SplitDelimited(std::string_view("a,b\0c", 5), ',').ok());
}

TEST(DelimitedSplit, OtherSeparators) {
    EXPECT_EQ(Rows("a;b c;\"d;e\"", ';'), (std::vector<Fields>{{"a", "b", "c", "d;e"}}));
    // With a comma no separator, a comma is text.
    EXPECT_EQ(Rows("1,5;2", ';'), (std::vector<Fields>{{"1,5", "2"}}));
    // A tab separator keeps blanks inside values and empty values between tabs.
    EXPECT_EQ(Rows("Acme Corp\t\t x \t\"a\tb\"", '\t'),
              (std::vector<Fields>{{"Acme Corp", "", " x ", "a\tb"}}));
}

TEST(DelimitedRead, Utf8WithAndWithoutMarkAndWindows1252) {
    const std::string utf8 = "\"Müller, Zoë\",Café\r\n";
    const std::string expected = "Müller, Zoë";
    for (const std::string& bytes : {utf8, "\xEF\xBB\xBF" + utf8, AnsiFromUtf8(utf8)}) {
        DelimitedText t = SplitDelimitedBytes(bytes, ',');
        ASSERT_TRUE(t.ok());
        ASSERT_EQ(t.rows.size(), 1u);
        EXPECT_EQ(t.rows[0].fields, (Fields{expected, "Café"}));
    }
    // A byte-order mark before a quoted first value does not hide the quote.
    DelimitedText t = SplitDelimitedBytes("\xEF\xBB\xBF\"a b\",c", ',');
    EXPECT_EQ(t.rows.at(0).fields, (Fields{"a b", "c"}));
}

TEST(DelimitedRead, LibreOfficeStyleFile) {
    // Quoted text cells, doubled quotes, numbers bare, CR LF, a final line end.
    const std::string file =
        "\"Name\",\"Number\",\"Address\"\r\n"
        "\"O'Brien \"\"Bob\"\" & Sons\",\"100\",\"12 Main St, Suite 4\"\r\n"
        "\"Zoë Café\",200,\"\"\r\n";
    testing::TempDir dir;
    testing::WriteFileBytes(dir.file("lo.csv"), file);
    DelimitedText t = ReadDelimitedFile(dir.file("lo.csv"), ',');
    ASSERT_TRUE(t.ok()) << t.error;
    ASSERT_EQ(t.rows.size(), 3u);
    EXPECT_EQ(t.rows[1].fields, (Fields{"O'Brien \"Bob\" & Sons", "100", "12 Main St, Suite 4"}));
    EXPECT_EQ(t.rows[2].fields, (Fields{"Zoë Café", "200", ""}));
    EXPECT_FALSE(ReadDelimitedFile(dir.file("missing.csv"), ',').ok());
}

TEST(DelimitedWrite, QuotingByKind) {
    const DelimitedFormat csv{DelimitedKind::CsvFile};
    EXPECT_EQ(DelimitedLine({"Smith", "Smith, Jones & Co", "Blue Widget"}, csv),
              "Smith,\"Smith, Jones & Co\",\"Blue Widget\"");
    EXPECT_EQ(DelimitedLine({"3/4\" pipe", "a\r\nb", ""}, csv), "\"3/4\"\" pipe\",\"a\r\nb\",");
    const DelimitedFormat quote{DelimitedKind::CommaQuote};
    EXPECT_EQ(DelimitedLine({"Smith"}, quote), "\"Smith\"");
    EXPECT_EQ(DelimitedLine({"a", "", "b\"c"}, quote), "\"a\",\"\",\"b\"\"c\"");
    const DelimitedFormat comma{DelimitedKind::CommaOnly};
    EXPECT_EQ(DelimitedLine({"a", "b;c", "d,e"}, comma), "a,b;c,\"d,e\"");
    const DelimitedFormat semi{DelimitedKind::Character, ';'};
    EXPECT_EQ(DelimitedLine({"a", "b;c", "d,e"}, semi), "a;\"b;c\";d,e");
    const DelimitedFormat tab{DelimitedKind::Character, '\t'};
    EXPECT_EQ(DelimitedLine({"a", "", "b c"}, tab), "a\t\"\"\t\"b c\"");
}

TEST(DelimitedWrite, ShortLinesLeftOutExceptInTheCsvKind) {
    EXPECT_TRUE(WritesDelimitedLine("", DelimitedFormat{DelimitedKind::CsvFile}));
    EXPECT_FALSE(WritesDelimitedLine(" x ", DelimitedFormat{DelimitedKind::CommaOnly}));
    EXPECT_FALSE(WritesDelimitedLine(";", DelimitedFormat{DelimitedKind::Character, ';'}));
    EXPECT_TRUE(WritesDelimitedLine("ab", DelimitedFormat{DelimitedKind::CommaOnly}));
    EXPECT_TRUE(WritesDelimitedLine("\"\"", DelimitedFormat{DelimitedKind::CommaQuote}));
}

TEST(DelimitedWrite, SeparatorEntry) {
    EXPECT_EQ(SeparatorFromEntry(""), ';');
    EXPECT_EQ(SeparatorFromEntry("|"), '|');
    EXPECT_EQ(SeparatorFromEntry("\t"), '\t');
    EXPECT_EQ(SeparatorFromEntry("\""), std::nullopt);
    EXPECT_EQ(SeparatorFromEntry("é"), std::nullopt);
}

TEST(DelimitedWrite, EncodingsAndLineEnds) {
    const std::vector<std::string> lines = {"Zoë,€5", "x"};
    EXPECT_EQ(DelimitedFileBytes(lines, TextEncoding::Windows1252),
              "Zo\xEB,\x80"
              "5\r\nx\r\n");
    EXPECT_EQ(DelimitedFileBytes(lines, TextEncoding::Utf8), "\xEF\xBB\xBFZoë,€5\r\nx\r\n");
    // A character Windows-1252 lacks becomes "?".
    EXPECT_EQ(DelimitedFileBytes({"日本"}, TextEncoding::Windows1252), "??\r\n");

    testing::TempDir dir;
    std::string error;
    EXPECT_TRUE(WriteDelimitedFile(dir.file("out.csv"), lines, TextEncoding::Utf8, &error));
    EXPECT_FALSE(
        WriteDelimitedFile(dir.file("no/such/folder/out.csv"), lines, TextEncoding::Utf8, &error));
    EXPECT_NE(error.find("could not be written"), std::string::npos);
}

// Awkward values written in every kind and encoding come back whole.
TEST(DelimitedRoundTrip, EveryKindAndEncoding) {
    const std::vector<std::vector<std::string>> table = {
        {"Smith, Jones & Co", "3/4\" pipe", "line one\r\nline two", "Zoë Müller"},
        {"", " ", "\"quoted\"", "a;b|c\td"},
        {"plain", "x", "", "naïve, \"café\""},
    };
    const std::vector<DelimitedFormat> formats = {
        {DelimitedKind::CsvFile},        {DelimitedKind::CommaQuote},
        {DelimitedKind::CommaOnly},      {DelimitedKind::Character, ';'},
        {DelimitedKind::Character, '|'}, {DelimitedKind::Character, '\t'}};
    for (const DelimitedFormat& f : formats) {
        for (TextEncoding enc : {TextEncoding::Windows1252, TextEncoding::Utf8}) {
            std::vector<std::string> lines;
            for (const auto& values : table)
                lines.push_back(DelimitedLine(values, f));
            DelimitedText back = SplitDelimitedBytes(DelimitedFileBytes(lines, enc), f.joiner());
            ASSERT_TRUE(back.ok()) << back.error;
            ASSERT_EQ(back.rows.size(), table.size()) << int(f.kind) << " " << f.joiner();
            for (std::size_t r = 0; r < table.size(); ++r) {
                EXPECT_EQ(back.rows[r].fields, table[r])
                    << "kind " << int(f.kind) << " separator " << f.joiner() << " row " << r;
            }
        }
    }
}

// Python's csv module, an independent RFC 4180 reader and writer, agrees with ours both
// ways: it reads back what we write, and we read what it writes with every text quoted
// (as spreadsheets write text cells) and CR LF line ends.
TEST(DelimitedPeer, PythonCsvModuleAgrees) {
    if (testing::RunCommand("python3 -c 'import csv, json'").status != 0)
        GTEST_SKIP() << "python3 is not available";
    testing::TempDir dir;
    const std::vector<std::vector<std::string>> table = {
        {"Smith, Jones & Co", "3/4\" pipe", "line one\r\nline two", "Zoë"},
        {"", "\"\"", "a;b", "plain"},
    };
    std::vector<std::string> lines;
    for (const auto& row : table)
        lines.push_back(DelimitedLine(row, DelimitedFormat{DelimitedKind::CsvFile}));
    ASSERT_TRUE(WriteDelimitedFile(dir.file("ours.csv"), lines, TextEncoding::Utf8));
    const testing::CommandResult read = testing::RunCommand(
        "python3 -c 'import csv,json,sys; print(json.dumps(list(csv.reader(open(sys.argv[1], "
        "newline=\"\", encoding=\"utf-8-sig\"))), ensure_ascii=False))' " +
        testing::ShellQuote(dir.file("ours.csv")));
    ASSERT_EQ(read.status, 0);
    EXPECT_EQ(read.output,
              "[[\"Smith, Jones & Co\", \"3/4\\\" pipe\", \"line one\\r\\nline two\", \"Zoë\"], "
              "[\"\", \"\\\"\\\"\", \"a;b\", \"plain\"]]\n");

    const testing::CommandResult wrote = testing::RunCommand(
        "python3 -c 'import csv,sys; w=csv.writer(open(sys.argv[1], \"w\", newline=\"\", "
        "encoding=\"cp1252\"), quoting=csv.QUOTE_NONNUMERIC); "
        "w.writerow([\"Zoë Müller\", 100, \"He said \\\"hi\\\", twice\", \"\"]); "
        "w.writerow([\"a\\nb\", 2.5, \"x\", \"y\"])' " +
        testing::ShellQuote(dir.file("theirs.csv")));
    ASSERT_EQ(wrote.status, 0);
    DelimitedText back = ReadDelimitedFile(dir.file("theirs.csv"), ',');
    ASSERT_TRUE(back.ok()) << back.error;
    ASSERT_EQ(back.rows.size(), 2u);
    EXPECT_EQ(back.rows[0].fields, (Fields{"Zoë Müller", "100", "He said \"hi\", twice", ""}));
    EXPECT_EQ(back.rows[1].fields, (Fields{"a\nb", "2.5", "x", "y"}));
    EXPECT_EQ(back.rows[1].line, 2);
}

TEST(ImportTexts, LoadedFileAndDoneMessages) {
    EXPECT_EQ(LoadedFileText("cust.csv", 3), "cust.csv - 3 records.");
    EXPECT_EQ(LoadedFileText("cust.csv", 0), "No records to import");

    ImportResult r;
    r.rows = r.added = 5;
    EXPECT_EQ(ImportDoneMessage(r, kImportCompleteText, "customers", "Then.").text,
              "Import Complete. Now we need to rebuild the data files.");
    r.fail(7, "Acme", "it has no customer name");
    r.fail(9, "Other", "later");
    r.added = 3;
    EXPECT_EQ(ImportDoneMessage(r, kImportCompleteText, "customers", "Then.").text,
              "Import finished: 3 customers added, 2 could not be added. The first was line 7 "
              "(Acme): it has no customer name. Then.");
    EXPECT_EQ(ExportProposal(DelimitedKind::CsvFile, "CustList").fileName, "CustList.CSV");
    EXPECT_EQ(ExportProposal(DelimitedKind::CommaOnly, "ProdList").fileName, "ProdList.Txt");
    EXPECT_EQ(ExportProposal(DelimitedKind::CommaOnly, "ProdList").filter,
              "Record List (*.TXT)|*.TXT|CSV File (*.CSV)|*.CSV");
}

}  // namespace
}  // namespace invarro::data
