#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>

#include "cli/Cli.h"
#include "cli/Manual.h"
#include "cli/ProgramDocs.h"
#include "support/Command.h"
#include "support/TempDir.h"

namespace invarro::cli {
namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t from = 0;
    for (size_t at; (at = text.find('\n', from)) != std::string::npos; from = at + 1)
        lines.push_back(text.substr(from, at - from));
    if (from < text.size()) lines.push_back(text.substr(from));
    return lines;
}

std::string Collapsed(const std::string& text) {
    return std::regex_replace(text, std::regex("[ \t\n]+"), " ");
}

// The page as groff lays it out in plain characters, with its warnings after a marker.
testing::CommandResult Rendered(const std::string& page) {
    testing::TempDir dir;
    const std::string file = dir.file("page.1");
    testing::WriteFileBytes(file, page);
    return testing::RunCommand("(groff -man -rcR=1 -Tascii -ww -P-cbou " +
                               testing::ShellQuote(file) + " 2>&1 >" +
                               testing::ShellQuote(dir.file("out")) + "; echo '#WARNINGS'; cat " +
                               testing::ShellQuote(dir.file("out")) + ")");
}

// A description with text that roff would take for its own requests or escapes.
ProgramDoc Hostile() {
    ProgramDoc doc;
    doc.name = "tool";
    doc.purpose = "do things";
    doc.synopsis = "[--data DIR] VERB [options]";
    doc.lead = "Does things.";
    doc.description = {
        ".TH in the middle\nof nothing",
        "'quoted at the start, a back\\slash, \\fBnot bold\\fR, e-mail and --option",
        "    .literal line\n    \\n and   spaced   words",
    };
    doc.options = {{"--data", "DIR", "the folder (else $TOOL_DATA)"}};
    doc.commandsTitle = "Verbs";
    doc.commands = {{"get one", "NAME [--as-of DATE]", ".starts with a dot", {}},
                    {"get all", "", "everything", {{"--dry-run", "", "write nothing"}}}};
    doc.sections = {{"Files", {}, {{"~/.tool", "", "the folder"}}}};
    doc.seeAlso = {"other-tool(1)"};
    return doc;
}

TEST(ManualTest, RoffSpecialTextIsShownAsWrittenAndGroffWarnsOfNothing) {
    const testing::CommandResult r = Rendered(ManPage(Hostile(), "1.2", "2026-12-09"));
    ASSERT_EQ(r.status, 0);
    const size_t marker = r.output.find("#WARNINGS\n");
    ASSERT_NE(marker, std::string::npos) << r.output;
    EXPECT_EQ(r.output.substr(0, marker), "") << "groff warned";
    const std::string text = Collapsed(r.output.substr(marker));
    EXPECT_NE(text.find(".TH in the middle of nothing"), std::string::npos) << text;
    EXPECT_NE(text.find("'quoted at the start, a back\\slash, \\fBnot bold\\fR, e-mail and "
                        "--option"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("get one NAME [--as-of DATE] .starts with a dot"), std::string::npos)
        << text;
    EXPECT_NE(text.find("--dry-run write nothing"), std::string::npos) << text;
    EXPECT_NE(text.find("other-tool(1)"), std::string::npos) << text;
    // A literal block keeps its lines and their inner blanks.
    const std::string raw = r.output.substr(marker);
    EXPECT_NE(raw.find(".literal line\n"), std::string::npos) << raw;
    EXPECT_NE(raw.find("\\n and   spaced   words"), std::string::npos) << raw;
}

TEST(ManualTest, OptionHyphensAreMinusSignsAndNoTextLineIsARequest) {
    const std::string page = ManPage(Hostile(), "1.2", "2026-12-09");
    std::set<std::string> requests;
    for (const std::string& line : SplitLines(page))
        if (!line.empty() && (line[0] == '.' || line[0] == '\''))
            requests.insert(line.substr(0, line.find(' ')));
    const std::set<std::string> known{".\\\"", ".TH", ".nh", ".ad", ".SH", ".B", ".PP",
                                      ".RS",   ".RE", ".nf", ".fi", ".TP", ".BR"};
    for (const std::string& r : requests)
        EXPECT_TRUE(known.count(r)) << r;
    EXPECT_NE(page.find("\\fB\\-\\-dry\\-run\\fR"), std::string::npos);
    EXPECT_NE(page.find("e-mail"), std::string::npos);
    EXPECT_NE(page.find("\\-\\-option"), std::string::npos);
    EXPECT_NE(page.find(".TH TOOL 1 \"2026-12-09\" \"Invarro 1.2\""), std::string::npos);
}

TEST(ManualTest, WrapKeepsLinesInTheirWidthAndIndent) {
    const std::string text =
        "one two three four five six seven eight nine ten eleven twelve thirteen fourteen";
    const std::string wrapped = Wrap(text, 10, 4, 30);
    const std::vector<std::string> lines = SplitLines(wrapped);
    ASSERT_GT(lines.size(), 2u);
    EXPECT_LE(lines[0].size() + 10, 30u);
    for (size_t i = 1; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), 30u) << lines[i];
        EXPECT_EQ(lines[i].rfind("    ", 0), 0u) << lines[i];
        EXPECT_NE(lines[i][4], ' ') << lines[i];
    }
    EXPECT_EQ(Collapsed(wrapped), text);
    // A word longer than the line stands alone rather than being cut.
    EXPECT_EQ(Wrap("a averyveryverylongword b", 0, 2, 10), "a\n  averyveryverylongword\n  b");
    EXPECT_EQ(Wrap("", 5, 5), "");
}

TEST(ManualTest, AUsageLineBreaksOnlyBetweenItsParts) {
    CommandDoc c{"letters pdf",
                 "[--letter FILE.RTF] [--queue FILE.LST | --customer NUMBER ...] --out FILE "
                 "--copies N",
                 "merges letters",
                 {}};
    ProgramDoc doc = Hostile();
    doc.commandPrefix = "[--data DIR] [--company N] [--yes]";
    const std::string help = CommandHelpText(doc, c);
    for (const std::string& line : SplitLines(help)) {
        EXPECT_LE(line.size(), 79u) << line;
        // No line ends inside brackets or between an option and its value.
        EXPECT_EQ(std::count(line.begin(), line.end(), '['),
                  std::count(line.begin(), line.end(), ']'))
            << line;
        EXPECT_FALSE(std::regex_search(line, std::regex("--[a-z]+$"))) << line;
    }
    EXPECT_NE(Collapsed(help).find("--out FILE --copies N"), std::string::npos) << help;
    // In the manual page the same blanks are ones roff does not break at.
    doc.commands = {c};
    const std::string page = ManPage(doc, "1", "2026-12-09");
    EXPECT_NE(page.find("\\fB\\-\\-out\\fR\\ \\fIFILE\\fR"), std::string::npos) << page;
    EXPECT_NE(page.find("\\fB\\-\\-queue\\fR\\ \\fIFILE.LST\\fR\\ |\\ "), std::string::npos);
}

TEST(ManualTest, HelpListsCommandsInAColumnAndLongNamesOnALineOfTheirOwn) {
    ProgramDoc doc = Hostile();
    doc.commands.push_back({"a-rather-long-verb-name", "", "short", {}});
    const std::string help = HelpText(doc);
    EXPECT_EQ(help.rfind("usage: tool [--data DIR] VERB [options]\nDoes things.\n", 0), 0u) << help;
    EXPECT_NE(help.find("\n  get one           .starts with a dot\n"), std::string::npos) << help;
    EXPECT_NE(help.find("\n  a-rather-long-verb-name\n                    short\n"),
              std::string::npos)
        << help;
    for (const std::string& line : SplitLines(help))
        EXPECT_LE(line.size(), 79u) << line;
    // Literals lose their backquotes in a terminal.
    doc.lead = "Run `tool get all` first.";
    EXPECT_NE(HelpText(doc).find("Run tool get all first."), std::string::npos);
}

TEST(ManualTest, AGroupIsTheVerbsOfItsFirstWordOnly) {
    ProgramDoc doc = Hostile();
    doc.commands.push_back({"getaway", "", "not of the group", {}});
    doc.commands.push_back({"get", "", "a verb of one word", {}});
    std::vector<std::string> words;
    for (const CommandDoc* c : CommandGroup(doc, "get"))
        words.push_back(c->words);
    EXPECT_EQ(words, (std::vector<std::string>{"get one", "get all"}));
    EXPECT_TRUE(CommandGroup(doc, "getaway").empty());
    EXPECT_TRUE(CommandGroup(doc, "ge").empty());
    EXPECT_TRUE(CommandGroup(doc, "").empty());
    const std::string help = GroupHelpText(doc, "get");
    EXPECT_EQ(help.rfind("usage: tool get one|all ...\n", 0), 0u) << help;
    EXPECT_NE(help.find("get one NAME [--as-of DATE]"), std::string::npos);
}

TEST(ManualTest, EveryProgramsPageHasItsOptionsAndCommands) {
    for (const ProgramDoc& doc : {DesktopDoc(), CliDoc(), FbtoolDoc()}) {
        SCOPED_TRACE(doc.name);
        const testing::CommandResult r = Rendered(ManPage(doc, "0.1.0", "2026-12-09"));
        const size_t marker = r.output.find("#WARNINGS\n");
        ASSERT_NE(marker, std::string::npos);
        EXPECT_EQ(r.output.substr(0, marker), "");
        const std::string text = Collapsed(r.output.substr(marker));
        for (const OptionDoc& o : doc.options)
            EXPECT_NE(text.find(o.value.empty() ? o.name : o.name + " " + o.value),
                      std::string::npos)
                << o.name;
        for (const CommandDoc& c : doc.commands) {
            EXPECT_NE(text.find(c.usage.empty() ? c.words : c.words + " " + c.usage),
                      std::string::npos)
                << c.words;
            for (const OptionDoc& o : c.options)
                EXPECT_NE(text.find(o.name), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace invarro::cli
