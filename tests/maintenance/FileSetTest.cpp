// Which files a backup holds, which archive entries a restore accepts, the location rules
// of the window and the last-backup label.

#include <gtest/gtest.h>

#include <filesystem>

#include "maintenance/Backup.h"
#include "maintenance/FileSet.h"
#include "support/TempDir.h"

namespace invarro::maintenance {
namespace {

using platform::ArchiveEntry;

TEST(FileSetTest, MasksMatchInAnyLetterCaseAndTheSideFilesBelong) {
    for (const char* name : {"LastCo.Dat", "kr1confg.dat", "1C.DAT", "1C.IX", "1c.ix",
                             "SAVELINE.SAV", "labels.Lst", "Lastlbl.DAT", "x.LBL", "letter.rtf",
                             "ztt8.bmp", "Shadeclr.fnt", "INVBOXCLR.FNT", "invarro.ini"})
        EXPECT_TRUE(IsFileSetName(name)) << name;
    for (const char* name : {"ZTBackup.zip", "ztbklog.txt", "notes.txt", "1C.DAT.bak", "DAT",
                             "other.ini", "x.fnt", "TXTTEMP.TXT", "1C.DATA", ""})
        EXPECT_FALSE(IsFileSetName(name)) << name;
}

TEST(FileSetTest, OfTheDataIndexAndSaveFilesOnlyTheInstallationsOwnBelong) {
    for (const char* name :
         {"Company.DAT", "company.ix", "32000P.IX", "7M.dat", "12N.DAT", "1D.DAT", "1d.ix",
          "3B.DAT", "3b.IX", "KRTERMS.DAT", "SAVEMEMO.SAV", ".LST.LST"})
        EXPECT_TRUE(IsFileSetName(name)) << name;
    for (const char* name :
         {"evil0001.DAT", "notes.dat", "b.DAT", "a.ix", "0C.DAT", "01C.DAT", "32001C.DAT", "1X.DAT",
          "C.DAT", "1C.D.DAT", "1C.SAV", "1C.JNL", "other.sav", "1C", ".DAT", ".LST"})
        EXPECT_FALSE(IsFileSetName(name)) << name;
    std::string base;
    bool data = false;
    EXPECT_TRUE(IsFileblockFileName("12c.Ix", &base, &data));
    EXPECT_EQ(base, "12c");
    EXPECT_FALSE(data);
    EXPECT_TRUE(IsFileblockFileName("Company.DAT", &base, &data));
    EXPECT_TRUE(data);
    EXPECT_FALSE(IsFileblockFileName("LastCo.Dat"));
}

TEST(FileSetTest, CollectTakesRegularFilesOfTheSetSorted) {
    testing::TempDir dir;
    // A name a restore would refuse is not backed up either.
    for (const char* name : {"2C.DAT", "2c.ix", "LastCo.Dat", "notes.txt", "invarro.ini",
                             "back\\slash.DAT", "c\t.IX", "b.DAT"})
        testing::WriteFileBytes(dir.file(name), "x");
    std::filesystem::create_directory(dir.file("Backup"));
    std::filesystem::create_directory(dir.file("folder.DAT"));
    std::filesystem::create_symlink("/etc/passwd", dir.file("link.DAT"));
    EXPECT_EQ(CollectFileSet(dir.path()),
              (std::vector<std::string>{"2C.DAT", "2c.ix", "LastCo.Dat", "invarro.ini"}));
    EXPECT_TRUE(CollectFileSet(dir.file("missing")).empty());
}

ArchiveEntry Entry(std::string name) {
    ArchiveEntry e;
    e.name = std::move(name);
    e.deflated = true;
    return e;
}

TEST(FileSetTest, OnlyPlainEntriesWithBareNamesOfTheSetMayBeRestored) {
    EXPECT_EQ(EntryProblem(Entry("1C.DAT")), "");
    ArchiveEntry stored = Entry("LastCo.Dat");
    stored.deflated = false;
    stored.stored = true;
    EXPECT_EQ(EntryProblem(stored), "");

    for (const char* name : {"../1C.DAT", "/etc/1C.DAT", "sub/1C.DAT", "..\\1C.DAT", "..", ".", "",
                             "a\n.DAT", "evil.sh"})
        EXPECT_NE(EntryProblem(Entry(name)), "") << name;
    ArchiveEntry folder = Entry("Backup.DAT/");
    folder.directory = true;
    EXPECT_NE(EntryProblem(folder), "");
    ArchiveEntry link = Entry("1C.DAT");
    link.link = true;
    EXPECT_EQ(EntryProblem(link), "\"1C.DAT\" is a link");
    ArchiveEntry secret = Entry("1C.DAT");
    secret.encrypted = true;
    EXPECT_NE(EntryProblem(secret), "");
    ArchiveEntry odd = Entry("1C.DAT");
    odd.deflated = false;
    EXPECT_NE(EntryProblem(odd), "");
    // A control character is not shown raw in the message.
    EXPECT_EQ(EntryProblem(Entry("a\x1b.DAT")), "\"a?.DAT\" holds control characters");
}

TEST(FileSetTest, ANameTwiceRefusesTheArchiveWhateverItsCase) {
    EXPECT_EQ(ArchiveProblem({Entry("1C.DAT"), Entry("1C.IX")}), "");
    EXPECT_EQ(ArchiveProblem({}), "");
    EXPECT_EQ(ArchiveProblem({Entry("1C.DAT"), Entry("1C.IX"), Entry("1C.DAT")}),
              "\"1C.DAT\" is in the archive twice");
    EXPECT_NE(ArchiveProblem({Entry("LastCo.Dat"), Entry("LASTCO.DAT")}), "");
    // The first bad entry is named.
    EXPECT_EQ(ArchiveProblem({Entry("1C.DAT"), Entry("../x.DAT"), Entry("evil.sh")}),
              "\"../x.DAT\" is not a bare file name");
}

TEST(FileSetTest, ARestoreLocationMustBeTheArchiveItself) {
    EXPECT_TRUE(AcceptLocation(Mode::Restore, "/media/usb/ZTBackup.zip"));
    EXPECT_TRUE(AcceptLocation(Mode::Restore, "/media/usb/ztbackup.ZIP"));
    EXPECT_TRUE(AcceptLocation(Mode::Restore, "ZTBackup.zip"));
    EXPECT_FALSE(AcceptLocation(Mode::Restore, "/media/usb/ZTBackup.zip.old"));
    EXPECT_FALSE(AcceptLocation(Mode::Restore, "/media/ZTBackup.zip/other.zip"));
    EXPECT_FALSE(AcceptLocation(Mode::Restore, "/media/usb/OldZTBackup.zip"));
    EXPECT_FALSE(AcceptLocation(Mode::Restore, "/media/usb/"));
    EXPECT_FALSE(AcceptLocation(Mode::Restore, ""));
    EXPECT_TRUE(AcceptLocation(Mode::Backup, "/media/usb"));
    EXPECT_TRUE(AcceptLocation(Mode::Backup, "/m"));
    EXPECT_FALSE(AcceptLocation(Mode::Backup, "/"));
    EXPECT_FALSE(AcceptLocation(Mode::Backup, ""));
}

TEST(FileSetTest, LastBackupLabelFollowsTheDateOrder) {
    using data::DateOrder;
    EXPECT_EQ(LastBackupLabel("03/04/2024", DateOrder::MonthFirst), "Last Backup: Mar 4, 2024");
    EXPECT_EQ(LastBackupLabel("03/04/2024", DateOrder::DayFirst), "Last Backup: 3 Apr, 2024");
    EXPECT_EQ(LastBackupLabel(" 12/31/2025 ", DateOrder::MonthFirst), "Last Backup: Dec 31, 2025");
    EXPECT_EQ(LastBackupLabel("", DateOrder::MonthFirst), "");
    EXPECT_EQ(LastBackupLabel("13/45/2020", DateOrder::MonthFirst), "");
    EXPECT_EQ(LastBackupLabel("12/31/2025", DateOrder::DayFirst), "");
    EXPECT_EQ(LastBackupLabel("yesterday", DateOrder::DayFirst), "");
    EXPECT_EQ(MainStatusAfterBackup({2026, 12, 8}), " Last System Backup: Dec 8, 2026");
}

}  // namespace
}  // namespace invarro::maintenance
