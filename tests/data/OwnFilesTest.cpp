// The data folder's own files against the files the user names: no way of naming a path
// (letter case, "..", links, a second name) makes a data, index, side or settings file a
// place a user's file is written; and the modes new files and folders get inside the data
// folder and outside it.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "data/DataFolder.h"
#include "data/Delimited.h"
#include "data/Files.h"
#include "data/OwnFiles.h"
#include "support/TempDir.h"

namespace invarro::data {
namespace {

namespace fs = std::filesystem;
using invarro::testing::ReadFileBytes;
using invarro::testing::TempDir;
using invarro::testing::WriteFileBytes;

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 0777;
}

// The umask of the test for the length of a test, put back afterwards.
struct Umask {
    explicit Umask(mode_t mask) : earlier(::umask(mask)) {}
    ~Umask() { ::umask(earlier); }
    mode_t earlier;
};

class OwnFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = dir.file("data");
        other = dir.file("elsewhere");
        fs::create_directories(folder + "/Backup");
        fs::create_directories(folder + "/pdf");
        fs::create_directories(other);
        for (const char* name : {"1C.DAT", "1C.IX", "Company.DAT", "LastCo.Dat", "invarro.ini"})
            WriteFileBytes(folder + "/" + name, std::string("own ") + name);
    }
    bool refused(const std::string& path) const { return !OwnFileProblem(folder, path).empty(); }

    TempDir dir;
    std::string folder, other;
};

TEST_F(OwnFilesTest, DataIndexSideSettingsAndWorkFilesAreRefusedInAnyLetterCase) {
    for (const char* name :
         {"1C.DAT",       "1c.dat",       "1I.DAT",       "1N.Dat",        "Company.IX",
          "company.ix",   "LastCo.Dat",   "kr1confg.dat", "KRTERMS.DAT",   "Lastlbl.DAT",
          "SAVELINE.SAV", "1C.JNL",       "books.jnl",    "1C.MSG",        "1C.DIA",
          "invarro.ini",  "INVARRO.INI",  "Shadeclr.fnt", "InvBoxClr.fnt", "TXTTEMP.TXT",
          "KRLetter.TMP", "invarro.lock", "notes.dat"})
        EXPECT_TRUE(refused(folder + "/" + name)) << name;
    // The copies in the Backup folder are data files too.
    EXPECT_TRUE(refused(folder + "/Backup/1C.DAT"));
    EXPECT_TRUE(refused(folder + "/pdf/odd.ix"));
}

TEST_F(OwnFilesTest, TheUsersOwnFilesInsideAndEverythingOutsideMayBeWritten) {
    for (const char* name : {"pdf/Invoice-1001.pdf", "letter.RTF", "labels.LBL", "queue.LST",
                             "NewCustomers.CSV", "report.txt", "1C.DAT.txt", "DAT", "Backup"})
        EXPECT_FALSE(refused(folder + "/" + name)) << name;
    // Outside the data folder a name is only a name.
    EXPECT_FALSE(refused(other + "/1C.DAT"));
    EXPECT_FALSE(refused(dir.file("1C.DAT")));
    // No folder in use: nothing to protect.
    EXPECT_EQ(OwnFileProblem("", folder + "/1C.DAT"), "");
}

TEST_F(OwnFilesTest, DotDotRelativePathsAndTrailingSeparatorsDoNotHideAFile) {
    EXPECT_TRUE(refused(folder + "/pdf/../1C.DAT"));
    EXPECT_TRUE(refused(other + "/../data/1C.DAT"));
    EXPECT_TRUE(refused(folder + "/./LastCo.Dat"));
    EXPECT_TRUE(refused(folder + "/missing/../1C.IX"));
    EXPECT_FALSE(OwnFileProblem(folder + "/", folder + "/1C.DAT").empty());
    // Relative to the current folder.
    const fs::path cwd = fs::current_path();
    fs::current_path(folder + "/pdf");
    EXPECT_TRUE(refused("../1C.DAT"));
    EXPECT_FALSE(OwnFileProblem("..", "../invarro.ini").empty());
    EXPECT_FALSE(refused("report.pdf"));
    fs::current_path(cwd);
}

TEST_F(OwnFilesTest, LinksAndSecondNamesOfAnOwnFileAreRefused) {
    // A link elsewhere to a data file, and a link to one not yet there.
    fs::create_symlink(folder + "/1C.DAT", other + "/customers.csv");
    EXPECT_TRUE(refused(other + "/customers.csv"));
    fs::create_symlink(folder + "/99C.DAT", other + "/dangling.pdf");
    EXPECT_TRUE(refused(other + "/dangling.pdf"));
    // A chain of links.
    fs::create_symlink(other + "/customers.csv", other + "/again.txt");
    EXPECT_TRUE(refused(other + "/again.txt"));
    // A link to the data folder itself.
    fs::create_directory_symlink(folder, other + "/books");
    EXPECT_TRUE(refused(other + "/books/1C.IX"));
    EXPECT_FALSE(refused(other + "/books/labels.LBL"));
    // The data folder named through a link.
    EXPECT_FALSE(OwnFileProblem(other + "/books", folder + "/Company.DAT").empty());
    // A hard link: the same file under a harmless name.
    ASSERT_EQ(::link((folder + "/LastCo.Dat").c_str(), (other + "/company.pdf").c_str()), 0);
    const std::string why = OwnFileProblem(folder, other + "/company.pdf");
    EXPECT_NE(why.find("LastCo.Dat"), std::string::npos) << why;
    // A link to a harmless file inside is harmless.
    fs::create_symlink(folder + "/pdf/x.pdf", other + "/x.pdf");
    EXPECT_FALSE(refused(other + "/x.pdf"));
}

TEST_F(OwnFilesTest, TheMessageNamesThePathAndTheFolder) {
    const std::string why = OwnFileProblem(folder, folder + "/pdf/../1C.DAT");
    EXPECT_NE(why.find(folder + "/pdf/../1C.DAT"), std::string::npos) << why;
    EXPECT_NE(why.find("(" + folder + "/1C.DAT)"), std::string::npos) << why;
    EXPECT_NE(why.find("Choose another file name."), std::string::npos) << why;
}

TEST_F(OwnFilesTest, WritersOfTheUsersFilesRefuseOwnFilesAndChangeNothing) {
    const DataFolderInUseScope inUse(folder);
    std::string error;
    EXPECT_FALSE(ReplaceUserFile(folder + "/1C.DAT", "export", &error));
    EXPECT_NE(error.find("is one of the files of the data folder"), std::string::npos) << error;
    EXPECT_FALSE(WriteDelimitedFile(folder + "/1c.ix", {"a,b"}, TextEncoding::Windows1252, &error));
    EXPECT_EQ(ReadFileBytes(folder + "/1C.DAT"), "own 1C.DAT");
    EXPECT_EQ(ReadFileBytes(folder + "/1C.IX"), "own 1C.IX");
    EXPECT_FALSE(FileExists(folder + "/1c.ix"));
    // The program's own writes of its own files are not the user's.
    EXPECT_TRUE(ReplaceFile(folder + "/invarro.ini", "[x]\r\n", &error)) << error;
    EXPECT_TRUE(WriteDelimitedFile(other + "/1C.DAT", {"a,b"}, TextEncoding::Windows1252, &error));
}

TEST_F(OwnFilesTest, FilesInsideTheFolderAreTheOwnersAloneOthersFollowTheUmask) {
    const Umask mask(022);
    const DataFolderInUseScope inUse(folder);
    ASSERT_TRUE(ReplaceFile(folder + "/pdf/list.txt", "x"));
    EXPECT_EQ(ModeOf(folder + "/pdf/list.txt"), 0600u);
    ASSERT_TRUE(ReplaceFile(other + "/export.csv", "x"));
    EXPECT_EQ(ModeOf(other + "/export.csv"), 0644u);
    // A file the user made readable for others inside the folder is owner-only once the
    // program writes it.
    ::chmod((folder + "/invarro.ini").c_str(), 0644);
    ASSERT_TRUE(ReplaceFile(folder + "/invarro.ini", "[x]\r\n"));
    EXPECT_EQ(ModeOf(folder + "/invarro.ini"), 0600u);
    // Folders the same way.
    ASSERT_TRUE(EnsureFolder(folder + "/pdf/2026"));
    EXPECT_EQ(ModeOf(folder + "/pdf/2026"), 0700u);
    ASSERT_TRUE(EnsureFolder(other + "/statements"));
    EXPECT_EQ(ModeOf(other + "/statements"), 0755u);
    // With no folder in use everything is owner-only.
    const DataFolderInUseScope none("");
    ASSERT_TRUE(ReplaceFile(other + "/plain.txt", "x"));
    EXPECT_EQ(ModeOf(other + "/plain.txt"), 0600u);
}

TEST_F(OwnFilesTest, ALinkLeftAtTheTemporaryNameIsNotWrittenThrough) {
    // Someone else's link at "export.csv.new" pointing at a data file.
    fs::create_symlink(folder + "/1C.DAT", other + "/export.csv.new");
    std::string error;
    ASSERT_TRUE(ReplaceFile(other + "/export.csv", "exported", &error)) << error;
    EXPECT_EQ(ReadFileBytes(folder + "/1C.DAT"), "own 1C.DAT");
    EXPECT_EQ(ReadFileBytes(other + "/export.csv"), "exported");
}

}  // namespace
}  // namespace invarro::data
