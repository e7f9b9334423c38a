#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "data/Ansi.h"
#include "output/TextFile.h"
#include "support/TempDir.h"

namespace invarro::output {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;
using Lines = std::vector<std::string>;

int Mode(const std::string& file) {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return int(st.st_mode & 0777);
}

TEST(TextListFile, IsWindows1252WithCrLfAndOwnerOnly) {
    TempDir dir;
    ASSERT_TRUE(WriteTextList(dir.path(), {"Café Müller", "", "€ 5 – ok"}));
    const std::string file = dir.file(kTextListFile);
    EXPECT_EQ(ReadFileBytes(file), "Caf\xE9 M\xFCller\r\n\r\n\x80 5 \x96 ok\r\n");
    EXPECT_EQ(Mode(file), 0600);
}

TEST(TextListFile, CutsLinesTo85CharactersAndKeepsOneLineOneLine) {
    TempDir dir;
    const std::string prefix(40, 'x');
    const std::string longLine = prefix + std::string(20, 'y') + "éééééééééééééééééééééééééééééé";
    ASSERT_TRUE(WriteTextList(dir.path(), {longLine, "two\nparts\rhere"}));
    auto lines = ReadTextLines(dir.file(kTextListFile));
    ASSERT_TRUE(lines);
    ASSERT_EQ(lines->size(), 2u);
    EXPECT_EQ((*lines)[0], prefix + std::string(20, 'y') + "ééééééééééééééééééééééééé");
    EXPECT_EQ(data::CharCount((*lines)[0]), 85u);
    EXPECT_EQ((*lines)[1], "two parts here");
}

TEST(TextListFile, ReplacesALeftoverFileAndTightensItsPermissions) {
    TempDir dir;
    const std::string file = dir.file(kTextListFile);
    WriteFileBytes(file, std::string(500, 'z'));
    ::chmod(file.c_str(), 0644);
    ASSERT_TRUE(WriteTextList(dir.path(), {"new"}));
    EXPECT_EQ(ReadFileBytes(file), "new\r\n");
    EXPECT_EQ(Mode(file), 0600);
}

TEST(TextListFile, ReportsAFolderThatCannotBeWritten) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(WriteTextList(dir.file("missing"), {"x"}, &error));
    EXPECT_NE(error.find("missing/TXTTEMP.TXT"), std::string::npos) << error;
}

TEST(ReadTextLines, AcceptsEveryLineEndAndEncoding) {
    TempDir dir;
    struct Case {
        std::string bytes;
        Lines expected;
    } cases[] = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"a\rb", {"a", "b"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"last without end", {"last without end"}},
        {"", {}},
        {"\r\n", {""}},
        {"\xEF\xBB\xBFna\xC3\xAFve\r\n", {"naïve"}},
        {"na\xC3\xAFve\n", {"naïve"}},
        {"na\xEFve \x80\r\n", {"naïve €"}},
        {"  padded   \r\n", {"  padded   "}},
    };
    for (const auto& c : cases) {
        WriteFileBytes(dir.file("t.txt"), c.bytes);
        auto lines = ReadTextLines(dir.file("t.txt"));
        ASSERT_TRUE(lines);
        EXPECT_EQ(*lines, c.expected) << "bytes: " << c.bytes;
    }
}

TEST(ReadTextLines, AMissingFileIsNothingWithAReason) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(ReadTextLines(dir.file("nope.txt"), &error));
    EXPECT_NE(error.find("nope.txt"), std::string::npos);
}

TEST(WriteAnsiLines, CharactersWithoutAnAnsiFormBecomeQuestionMarks) {
    TempDir dir;
    ASSERT_TRUE(WriteAnsiLines(dir.file("x.txt"), {"Ω and ✓"}));
    EXPECT_EQ(ReadFileBytes(dir.file("x.txt")), "? and ?\r\n");
}

}  // namespace
}  // namespace invarro::output
