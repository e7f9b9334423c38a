// LastCo.Dat, kr1confg.dat, KRTERMS.DAT, the colour files, the INI file with the
// window-bounds rule, and the data folder.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "data/DataFolder.h"
#include "data/Files.h"
#include "data/IniFile.h"
#include "data/SideFiles.h"
#include "support/TempDir.h"

namespace invarro::data {
namespace {

using invarro::testing::ReadFileBytes;
using invarro::testing::TempDir;
using invarro::testing::WriteFileBytes;

TEST(LastCompany, OneRecordWrittenWholeAndReadBack) {
    TempDir dir;
    EXPECT_FALSE(ReadLastCompany(dir.path()));
    CompanyRecord c;
    c.setText(Company::Name, "Acme");
    c.setText(Company::CompanyNo, "12");
    c.data()[2735] = 0x5A;
    ASSERT_TRUE(WriteLastCompany(dir.path(), c));
    std::string bytes = ReadFileBytes(dir.file("LastCo.Dat"));
    ASSERT_EQ(bytes.size(), 2736u);
    EXPECT_EQ(bytes.substr(40, 3),
              "\x02"
              "12");
    auto back = ReadLastCompany(dir.path());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, c);
    // Owner only.
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("LastCo.Dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // Rewritten whole.
    c.setText(Company::Name, "B");
    ASSERT_TRUE(WriteLastCompany(dir.path(), c));
    EXPECT_EQ(ReadLastCompany(dir.path())->text(Company::Name), "B");
    EXPECT_EQ(ReadFileBytes(dir.file("LastCo.Dat")).size(), 2736u);

    WriteFileBytes(dir.file("LastCo.Dat"), std::string(2735, '\0'));
    EXPECT_FALSE(ReadLastCompany(dir.path()));
}

TEST(Password, TwentyOneByteFile) {
    TempDir dir;
    EXPECT_FALSE(ReadPassword(dir.path()));
    ASSERT_TRUE(WritePassword(dir.path(), "Sésame"));
    std::string bytes = ReadFileBytes(dir.file("kr1confg.dat"));
    ASSERT_EQ(bytes.size(), 21u);
    EXPECT_EQ(bytes.substr(0, 7), "\x06S\xE9same");
    EXPECT_EQ(bytes.substr(7), std::string(14, '\0'));
    EXPECT_EQ(ReadPassword(dir.path()), "Sésame");

    ASSERT_TRUE(WritePassword(dir.path(), std::string(25, 'x')));
    EXPECT_EQ(ReadPassword(dir.path()), std::string(20, 'x'));

    // A damaged file gives what it holds, never more than it has.
    WriteFileBytes(dir.file("kr1confg.dat"),
                   "\x14"
                   "abc");
    EXPECT_EQ(ReadPassword(dir.path()), "abc");

    ASSERT_TRUE(RemovePassword(dir.path()));
    EXPECT_FALSE(ReadPassword(dir.path()));
    EXPECT_TRUE(RemovePassword(dir.path()));
}

TEST(Terms, MissingFileIsCreatedWithTheBuiltInList) {
    TempDir dir;
    TermsList t = LoadTerms(dir.path());
    ASSERT_TRUE(t.ok) << t.error;
    EXPECT_TRUE(t.created);
    EXPECT_EQ(t.terms, BuiltInTerms());
    std::string expected;
    for (const auto& term : BuiltInTerms())
        expected += term + "\r\n";
    EXPECT_EQ(ReadFileBytes(dir.file("KRTERMS.DAT")), expected);

    TermsList again = LoadTerms(dir.path());
    EXPECT_TRUE(again.ok);
    EXPECT_FALSE(again.created);
    EXPECT_EQ(again.terms, t.terms);
}

TEST(Terms, LoadedSortedFromAnyLineEndAndEncoding) {
    TempDir dir;
    WriteFileBytes(dir.file("KRTERMS.DAT"),
                   "Net 30 Days\nbank transfer\r\n\r\nCaf\xE9 terms\nAnnual");
    TermsList t = LoadTerms(dir.path());
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.terms,
              (std::vector<std::string>{"Annual", "bank transfer", "Café terms", "Net 30 Days"}));
    WriteFileBytes(dir.file("KRTERMS.DAT"), "\xEF\xBB\xBFZ\xC3\xA9ro\r\nAlpha\r\n");
    EXPECT_EQ(LoadTerms(dir.path()).terms, (std::vector<std::string>{"Alpha", "Zéro"}));
}

TEST(Terms, AddedTermTakesItsPlaceAndTheListIsSavedWhole) {
    TempDir dir;
    std::vector<std::string> terms = LoadTerms(dir.path()).terms;
    InsertTerm(terms, "Net 15 Days");
    auto at = std::find(terms.begin(), terms.end(), "Net 15 Days");
    ASSERT_NE(at, terms.end());
    EXPECT_EQ(*(at - 1), "Net 10 Days");
    EXPECT_EQ(*(at + 1), "Net 20 Days");
    InsertTerm(terms, "due on receipt");  // duplicates apart from case are kept
    InsertTerm(terms, "Écheance");
    ASSERT_TRUE(SaveTerms(dir.path(), terms));
    std::string bytes = ReadFileBytes(dir.file("KRTERMS.DAT"));
    EXPECT_NE(bytes.find("Net 10 Days\r\nNet 15 Days\r\nNet 20 Days\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\xC9"
                         "cheance\r\n"),
              std::string::npos);
    EXPECT_EQ(LoadTerms(dir.path()).terms, terms);
}

TEST(Terms, FileThatCannotBeReadIsAnError) {
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("KRTERMS.DAT").c_str(), 0700), 0);
    TermsList t = LoadTerms(dir.path());
    EXPECT_FALSE(t.ok);
    EXPECT_FALSE(t.error.empty());
}

TEST(ColourFiles, OnlyTheColourIsWrittenAndMissingIsBlack) {
    TempDir dir;
    std::string shade = dir.file("Shadeclr.fnt");
    EXPECT_EQ(ReadColourFile(shade), 0);
    ASSERT_TRUE(WriteColourFile(shade, 0x00C08040));
    std::string bytes = ReadFileBytes(shade);
    ASSERT_EQ(bytes.size(), 48u);
    std::string expected(48, '\0');
    expected[40] = '\x40';
    expected[41] = '\x80';
    expected[42] = '\xC0';
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(ReadColourFile(shade), 0x00C08040);
    WriteFileBytes(shade, std::string(40, '\x01'));
    EXPECT_EQ(ReadColourFile(shade), 0);
}

TEST(Ini, StringsAndIntegersBySectionAndKey) {
    TempDir dir;
    std::string path = IniFilePath(dir.path());
    {
        IniFile ini(path);
        EXPECT_EQ(ini.readInteger("MainForm", "Top", 10), 10);
        ASSERT_TRUE(ini.writeInteger("MainForm", "Top", 42));
        ASSERT_TRUE(ini.writeString("Statement", "LTZero", "Y"));
        ASSERT_TRUE(ini.writeInteger("MainForm", "Left", -3));
    }
    EXPECT_EQ(ReadFileBytes(path),
              "[MainForm]\r\nTop=42\r\nLeft=-3\r\n\r\n[Statement]\r\nLTZero=Y\r\n");
    IniFile ini(path);
    EXPECT_EQ(ini.readInteger("mainform", "TOP", 0), 42);
    EXPECT_EQ(ini.readInteger("MainForm", "Left", 0), -3);
    EXPECT_EQ(ini.readString("Statement", "LTZero", "N"), "Y");
    EXPECT_EQ(ini.readString("Statement", "Other", "N"), "N");
    EXPECT_EQ(ini.readString("Nowhere", "LTZero", "N"), "N");

    // Changing a key rewrites its own line only.
    ASSERT_TRUE(ini.writeInteger("mainform", "top", 7));
    EXPECT_EQ(ReadFileBytes(path),
              "[MainForm]\r\ntop=7\r\nLeft=-3\r\n\r\n[Statement]\r\nLTZero=Y\r\n");
}

TEST(Ini, KeepsWhatItDoesNotKnowAndReadsNumbersLikeProfiles) {
    TempDir dir;
    std::string path = dir.file("x.ini");
    WriteFileBytes(path,
                   "; comment\n[Backup]\nDate = 03/04/2024 \n\n[Nums]\na=12abc\nb=abc\nc= -5\n"
                   "d=99999999999\ne=\n");
    IniFile ini(path);
    EXPECT_EQ(ini.readString("Backup", "Date", ""), "03/04/2024");
    EXPECT_EQ(ini.readInteger("Nums", "a", 0), 12);
    EXPECT_EQ(ini.readInteger("Nums", "b", 9), 9);
    EXPECT_EQ(ini.readInteger("Nums", "c", 0), -5);
    EXPECT_EQ(ini.readInteger("Nums", "d", 9), 9);
    EXPECT_EQ(ini.readInteger("Nums", "e", 9), 9);
    // A new key goes into its own section, not after the next one.
    ASSERT_TRUE(ini.writeString("Backup", "Folder", "/tmp"));
    EXPECT_EQ(ReadFileBytes(path),
              "; comment\r\n[Backup]\r\nDate = 03/04/2024 \r\nFolder=/tmp\r\n\r\n[Nums]\r\n"
              "a=12abc\r\nb=abc\r\nc= -5\r\nd=99999999999\r\ne=\r\n");
}

TEST(WindowBounds, DefaultsAndTheScreenEdgeRule) {
    TempDir dir;
    IniFile ini(IniFilePath(dir.path()));
    EXPECT_EQ(ReadWindowBounds(ini, "CustForm", 510, 384), (WindowBounds{10, 10, 510, 384}));
    ASSERT_TRUE(WriteWindowBounds(ini, "CustForm", {900, 700, 200, 100}));
    IniFile reread(IniFilePath(dir.path()));
    WindowBounds b = ReadWindowBounds(reread, "CustForm", 510, 384);
    EXPECT_EQ(b, (WindowBounds{900, 700, 200, 100}));

    ScreenArea screen{0, 0, 1024, 768};
    EXPECT_EQ(FitToWorkArea(b, screen), (WindowBounds{0, 0, 200, 100}));
    EXPECT_EQ(FitToWorkArea({824, 668, 200, 100}, screen), (WindowBounds{824, 668, 200, 100}));
    EXPECT_EQ(FitToWorkArea({825, 10, 200, 100}, screen), (WindowBounds{0, 10, 200, 100}));
    EXPECT_EQ(FitToWorkArea({10, 669, 200, 100}, screen), (WindowBounds{10, 0, 200, 100}));
    // A second screen's work area to the right.
    EXPECT_EQ(FitToWorkArea({2000, 10, 200, 100}, {1024, 0, 1280, 1024}),
              (WindowBounds{2000, 10, 200, 100}));
    EXPECT_EQ(FitToWorkArea({2200, 10, 200, 100}, {1024, 0, 1280, 1024}),
              (WindowBounds{1024, 10, 200, 100}));
    // Bounds kept on a larger screen shrink to this one, and nothing starts off its edge.
    EXPECT_EQ(FitToWorkArea({300, 200, 1670, 900}, {0, 0, 1366, 720}),
              (WindowBounds{0, 0, 1366, 720}));
    EXPECT_EQ(FitToWorkArea({-40, -10, 200, 100}, screen), (WindowBounds{0, 0, 200, 100}));
    EXPECT_EQ(FitToWorkArea({500, 10, 200, 100}, {1024, 0, 1280, 1024}),
              (WindowBounds{1024, 10, 200, 100}));
}

TEST(DataFolderRule, OptionThenEnvironmentThenHome) {
    EXPECT_EQ(ResolveDataFolder(std::string("/d"), "/env", "/home/u"), "/d");
    EXPECT_EQ(ResolveDataFolder(std::nullopt, "/env", "/home/u"), "/env");
    EXPECT_EQ(ResolveDataFolder(std::nullopt, "", "/home/u"), "/home/u/.local/share/invarro");
    EXPECT_EQ(ResolveDataFolder(std::nullopt, nullptr, "/home/u"), "/home/u/.local/share/invarro");
    TempDir dir;
    std::string nested = dir.file("a/b");
    ASSERT_TRUE(EnsureFolder(nested));
    struct stat st {};
    ASSERT_EQ(::stat(nested.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(EnsureFolder(nested));
    WriteFileBytes(dir.file("f"), "x");
    std::string error;
    EXPECT_FALSE(EnsureFolder(dir.file("f/g"), &error));
    EXPECT_FALSE(error.empty());
}

TEST(TextFiles, ReplacingAFileThatCannotBeWrittenKeepsTheOldOne) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(ReplaceFile(dir.file("no/such/folder/x"), "data", &error));
    EXPECT_NE(error.find("no/such/folder/x"), std::string::npos);
    EXPECT_EQ(TextFileBytes({"a€", "b"}), "a\x80\r\nb\r\n");
    EXPECT_EQ(TextLines("a\r\nb\n\nc"), (std::vector<std::string>{"a", "b", "", "c"}));
}

// A settings or side file that is not a regular file of a side file's size: a FIFO would
// hold the read until a writer comes, a link to /dev/zero would be read without end, and
// a huge file would be read whole.
class StrangeSideFiles : public ::testing::Test {
  protected:
    // A read that waits for ever ends the test program here instead of hanging it.
    void SetUp() override { ::alarm(20); }
    void TearDown() override { ::alarm(0); }
    TempDir dir;
};

TEST_F(StrangeSideFiles, AFifoALinkToADeviceAndAHugeFileAreNotReadAndSaySo) {
    ASSERT_EQ(::mkfifo(dir.file("invarro.ini").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", dir.file("LastCo.Dat").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.file("Shadeclr.fnt").c_str(), 0700), 0);
    {
        // Sparse: huge to look at, nothing on the disk.
        const int fd = ::open(dir.file("KRTERMS.DAT").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t(kSideFileLimit) + 1), 0);
        ::close(fd);
    }
    std::string problem;
    EXPECT_FALSE(ReadSideFile(dir.file("invarro.ini"), &problem));
    EXPECT_EQ(problem, dir.file("invarro.ini") + " is a FIFO and is not read");
    EXPECT_FALSE(ReadSideFile(dir.file("LastCo.Dat"), &problem));
    EXPECT_EQ(problem, dir.file("LastCo.Dat") + " is a device and is not read");
    EXPECT_FALSE(ReadSideFile(dir.file("KRTERMS.DAT"), &problem));
    EXPECT_NE(problem.find("is larger than 1048576 bytes"), std::string::npos) << problem;
    // The plain reader takes no FIFO or device either.
    EXPECT_FALSE(ReadWholeFile(dir.file("invarro.ini")));
    EXPECT_FALSE(ReadWholeFile(dir.file("LastCo.Dat")));
    // Missing is no problem.
    problem.clear();
    EXPECT_FALSE(ReadSideFile(dir.file("missing.ini"), &problem));
    EXPECT_EQ(problem, "");

    // Every reader goes on with its default.
    IniFile ini(IniFilePath(dir.path()));
    EXPECT_EQ(ini.readInteger("MainForm", "Top", 10), 10);
    EXPECT_NE(ini.problem().find("is a FIFO"), std::string::npos) << ini.problem();
    EXPECT_FALSE(ReadLastCompany(dir.path()));
    EXPECT_EQ(ReadColourFile(dir.file("Shadeclr.fnt")), 0);
    const TermsList terms = LoadTerms(dir.path());
    EXPECT_FALSE(terms.ok);
    EXPECT_EQ(terms.terms.size(), BuiltInTerms().size());
    // The terms file is left as it was: not written over with the built-in list.
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("KRTERMS.DAT").c_str(), &st), 0);
    EXPECT_EQ(uint64_t(st.st_size), uint64_t(kSideFileLimit) + 1);

    // At start the programs hear of each, once.
    const std::vector<std::string> unread = UnreadSideFiles(dir.path());
    ASSERT_EQ(unread.size(), 4u);
    const platform::Message m = UnreadSideFilesMessage(unread);
    for (const char* name : {"invarro.ini", "LastCo.Dat", "Shadeclr.fnt", "KRTERMS.DAT"})
        EXPECT_NE(m.text.find(dir.file(name)), std::string::npos) << name;
    EXPECT_EQ(m.icon, platform::Icon::Warning);
}

TEST_F(StrangeSideFiles, ALinkToARegularFileIsReadAndAFileGrowingPastTheLimitStops) {
    WriteFileBytes(dir.file("real.ini"), "[MainForm]\r\nTop=44\r\n");
    ASSERT_EQ(::symlink(dir.file("real.ini").c_str(), dir.file("invarro.ini").c_str()), 0);
    EXPECT_EQ(IniFile(IniFilePath(dir.path())).readInteger("MainForm", "Top", 10), 44);
    EXPECT_TRUE(UnreadSideFiles(dir.path()).empty());
    // Exactly the limit is read; one byte more is not.
    WriteFileBytes(dir.file("limit"), std::string(100, 'x'));
    EXPECT_TRUE(ReadSideFile(dir.file("limit"), nullptr, 100));
    std::string problem;
    EXPECT_FALSE(ReadSideFile(dir.file("limit"), &problem, 99));
    EXPECT_NE(problem.find("larger than 99 bytes"), std::string::npos);
}

}  // namespace
}  // namespace invarro::data
