// Backups of a demo installation: what the archive holds as unzip sees it, the round trip
// through a restore, the Backup folder copies, and failures that must keep the old archive.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "BackupFixture.h"
#include "data/Fileblocks.h"
#include "data/IniFile.h"
#include "data/SideFiles.h"
#include "data/Update.h"

namespace invarro::maintenance {
namespace {

using platform::ArchiveSource;
using testing::RunCommand;
using testing::ShellQuote;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Changes the installation the way the program does: one customer changed, another
// deleted (record and keys), a side file gone, another changed.
void ChangeInstallation(const std::string& folder, testing::ScriptedPrompter& prompter) {
    ASSERT_EQ(storage::InitEngine(30), 30);
    storage::Fileblock* fb =
        storage::OpenFileblock(data::FileblockName(folder, data::FileKind::Customer, "1"), false);
    ASSERT_TRUE(storage::EngineOk);
    auto first = data::ReadBusinessRecord<data::Customer>(fb, 1);
    auto second = data::ReadBusinessRecord<data::Customer>(fb, 2);
    ASSERT_TRUE(first && second);
    data::CustomerRecord changed = *second;
    changed.setText(data::Customer::Name, "Changed After The Backup");
    EXPECT_TRUE(data::ChangeBusinessRecord(fb, 2, *second, changed, prompter).ok());
    EXPECT_TRUE(data::DeleteBusinessRecord(fb, 1, *first, prompter).ok());
    storage::CloseFileblock(fb);
    storage::ExitEngine();
    ASSERT_TRUE(data::RemoveFile(data::JoinPath(folder, "SAVELINE.SAV")));
    testing::WriteFileBytes(data::JoinPath(folder, "Shadeclr.fnt"), std::string(48, '\x33'));
}

TEST_F(BackupTest, RoundTripBringsBackEveryFileByteForByte) {
    const auto backedUp = setFiles();
    ASSERT_GE(backedUp.size(), 10u);
    for (const char* name :
         {"LastCo.Dat", "KRTERMS.DAT", "Company.DAT", "Company.IX", "1C.DAT", "1C.IX",
          "Shadeclr.fnt", "InvBoxClr.fnt", "invarro.ini", "SAVELINE.SAV"})
        EXPECT_TRUE(backedUp.count(name)) << name;
    EXPECT_FALSE(backedUp.count("notes.txt"));

    BackupOutcome made = backup(zip);
    ASSERT_TRUE(made.ok) << made.error;
    EXPECT_EQ(made.archivePath, archivePath());
    EXPECT_EQ(made.files, backedUp.size());
    EXPECT_EQ(made.dateText, "03/04/2026");
    EXPECT_EQ(made.warning, "");

    // unzip finds a sound archive of bare names, every one deflated.
    const std::string quoted = ShellQuote(archivePath());
    EXPECT_EQ(RunCommand("unzip -t " + quoted).status, 0);
    std::vector<std::string> expected;
    for (const auto& [name, bytes] : backedUp)
        expected.push_back(name);
    EXPECT_EQ(Lines(RunCommand("unzip -Z1 " + quoted).output), expected);
    int deflated = 0;
    for (const std::string& line : Lines(RunCommand("unzip -Z -s " + quoted).output)) {
        if (line.empty() || line[0] != '-') continue;
        EXPECT_NE(line.find(" def"), std::string::npos) << line;
        ++deflated;
    }
    EXPECT_EQ(deflated, int(backedUp.size()));
    // Only the archive and its log are left in the chosen folder.
    EXPECT_EQ(FilesIn(target.path()), (std::vector<std::string>{"ZTBackup.zip", "ztbklog.txt"}));
    const std::string log = testing::ReadFileBytes(target.file("ztbklog.txt"));
    EXPECT_EQ(log.rfind("Backup of " + data.path() + " on 03/04/2026\r\n", 0), 0u) << log;
    EXPECT_NE(log.find("Adding LastCo.Dat\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Backup written to " + archivePath()), std::string::npos) << log;
    EXPECT_EQ(StoredBackupDate(data.path()), "03/04/2026");

    const auto backedUpWithDate = setFiles();  // the INI file now holds the date
    ChangeInstallation(data.path(), prompter);
    ASSERT_TRUE(setFiles() != backedUpWithDate);

    int closed = 0, reopened = 0;
    RestoreHooks hooks;
    const auto beforeRestore = Snapshot(data.path());
    hooks.closeCompanyFiles = [&](std::string*) {
        // Nothing is replaced before the company's files are closed.
        EXPECT_TRUE(Snapshot(data.path()) == beforeRestore);
        ++closed;
        return true;
    };
    hooks.reopenCompany = [&] { ++reopened; };
    FileMover mover;
    RestoreOutcome restored = RunRestore(data.path(), archivePath(), zip, mover, hooks);
    ASSERT_EQ(restored.status, RestoreStatus::Done) << restored.error;
    EXPECT_EQ(restored.files, backedUp.size());
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(reopened, 1);
    // Every file as it was backed up (the INI file without the date written after the
    // archive), the removed one back, the file outside the set untouched, no work folder.
    EXPECT_TRUE(setFiles() == backedUp);
    EXPECT_EQ(testing::ReadFileBytes(data.file("notes.txt")), "not a data file");
    for (const auto& [name, bytes] : Snapshot(data.path()))
        EXPECT_NE(name.rfind(".restore", 0), 0u) << name;
    struct stat st;
    ASSERT_EQ(::stat(data.file("1C.DAT").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(BackupTest, ABackupReplacesTheEarlierArchiveInsteadOfAddingToIt) {
    ASSERT_TRUE(backup(zip).ok);
    testing::WriteFileBytes(data.file("queue.LST"), "one customer");
    ASSERT_TRUE(data::RemoveFile(data.file("SAVELINE.SAV")));
    BackupOutcome second = backup(zip);
    ASSERT_TRUE(second.ok) << second.error;
    std::vector<std::string> expected;
    for (const auto& [name, bytes] : setFiles())
        expected.push_back(name);
    EXPECT_EQ(Lines(RunCommand("unzip -Z1 " + ShellQuote(archivePath())).output), expected);
    EXPECT_EQ(FilesIn(target.path()), (std::vector<std::string>{"ZTBackup.zip", "ztbklog.txt"}));
}

TEST_F(BackupTest, TheBackupFolderGetsTheDatFilesOnly) {
    BackupOutcome made = backup(zip, true);
    ASSERT_TRUE(made.ok) << made.error;
    EXPECT_EQ(made.warning, "");
    std::vector<std::string> dat;
    for (const auto& [name, bytes] : setFiles()) {
        std::string upper = name;
        for (char& c : upper)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        if (upper.find(".DAT") != std::string::npos) dat.push_back(name);
    }
    ASSERT_FALSE(dat.empty());
    EXPECT_EQ(FilesIn(data.file("Backup")), dat);
    EXPECT_EQ(testing::ReadFileBytes(data.file("Backup/1C.DAT")),
              testing::ReadFileBytes(data.file("1C.DAT")));
    // The sub-folder is no part of the next archive, and its copies are overwritten.
    testing::WriteFileBytes(data.file("LastCo.Dat"), std::string(2736, 'z'));
    ASSERT_TRUE(backup(zip, true).ok);
    EXPECT_EQ(testing::ReadFileBytes(data.file("Backup/LastCo.Dat")), std::string(2736, 'z'));
    EXPECT_EQ(RunCommand("unzip -Z1 " + ShellQuote(archivePath())).output.find("Backup/"),
              std::string::npos);
}

// Writes the first half of the files and then fails as a full disk does, leaving a piece
// of a file behind.
class FailingHalfWay : public platform::Archive {
  public:
    explicit FailingHalfWay(platform::Archive& real) : real_(real) {}
    bool write(const std::string& path, const std::vector<ArchiveSource>& files,
               const std::function<void(const std::string&)>& log, std::string* error) override {
        std::vector<ArchiveSource> half(files.begin(), files.begin() + long(files.size() / 2));
        real_.write(path, half, log, nullptr);
        const auto size = std::filesystem::file_size(path);
        std::filesystem::resize_file(path, size / 2);
        *error = "Write error: No space left on device";
        return false;
    }
    std::unique_ptr<platform::ArchiveReader> open(const std::string& path,
                                                  std::string* error) override {
        return real_.open(path, error);
    }

  private:
    platform::Archive& real_;
};

// Flips a byte in the middle of the first entry's compressed data.
void DamageFirstEntry(const std::string& path) {
    std::string bytes = testing::ReadFileBytes(path);
    ASSERT_GT(bytes.size(), 30u);
    ASSERT_EQ(bytes.substr(0, 4), std::string("PK\x03\x04", 4));
    auto u16 = [&](std::size_t at) {
        return std::size_t(uint8_t(bytes[at])) | std::size_t(uint8_t(bytes[at + 1])) << 8;
    };
    const std::size_t packed = u16(18) | u16(20) << 16;
    ASSERT_GT(packed, 0u);
    const std::size_t at = 30 + u16(26) + u16(28) + packed / 2;
    bytes[at] = char(bytes[at] ^ 0x5A);
    testing::WriteFileBytes(path, bytes);
}

// Reports success but leaves an archive that differs from the files: one byte of it
// damaged, or one file left out.
class Unfaithful : public platform::Archive {
  public:
    enum class Fault { DamagedByte, MissingFile, WrongFile };
    Unfaithful(platform::Archive& real, Fault fault) : real_(real), fault_(fault) {}
    bool write(const std::string& path, const std::vector<ArchiveSource>& files,
               const std::function<void(const std::string&)>& log, std::string* error) override {
        std::vector<ArchiveSource> written = files;
        if (fault_ == Fault::MissingFile) written.pop_back();
        if (fault_ == Fault::WrongFile) written[1].path = written[0].path;
        if (!real_.write(path, written, log, error)) return false;
        if (fault_ == Fault::DamagedByte) DamageFirstEntry(path);
        return true;
    }
    std::unique_ptr<platform::ArchiveReader> open(const std::string& path,
                                                  std::string* error) override {
        return real_.open(path, error);
    }

  private:
    platform::Archive& real_;
    Fault fault_;
};

TEST_F(BackupTest, AFailedOrUnfaithfulWriteKeepsTheOldArchiveAndWritesNoDate) {
    ASSERT_TRUE(backup(zip).ok);
    const std::string oldArchive = testing::ReadFileBytes(archivePath());
    data::IniFile ini(data::IniFilePath(data.path()));
    ASSERT_TRUE(ini.writeString("Backup", "Date", "01/02/2025"));
    testing::WriteFileBytes(data.file("LastCo.Dat"), std::string(2736, 'n'));

    FailingHalfWay failing(zip);
    Unfaithful damaged(zip, Unfaithful::Fault::DamagedByte);
    Unfaithful missing(zip, Unfaithful::Fault::MissingFile);
    Unfaithful wrong(zip, Unfaithful::Fault::WrongFile);
    for (platform::Archive* a :
         std::initializer_list<platform::Archive*>{&failing, &damaged, &missing, &wrong}) {
        BackupOutcome outcome = backup(*a, true);
        EXPECT_FALSE(outcome.ok);
        EXPECT_NE(outcome.error, "");
        EXPECT_EQ(testing::ReadFileBytes(archivePath()), oldArchive);
        EXPECT_EQ(StoredBackupDate(data.path()), "01/02/2025");
        // No piece of the new archive is left behind; the log says what failed.
        EXPECT_EQ(FilesIn(target.path()),
                  (std::vector<std::string>{"ZTBackup.zip", "ztbklog.txt"}));
        const std::string log = testing::ReadFileBytes(target.file("ztbklog.txt"));
        EXPECT_NE(log.find("Backup failed: "), std::string::npos) << log;
        // Nor were the Backup folder copies made.
        EXPECT_FALSE(data::FileExists(data.file("Backup/LastCo.Dat")));
    }
    EXPECT_EQ(backup(failing).error, "Write error: No space left on device");
}

TEST_F(BackupTest, AFailingFinalRenameKeepsTheOldArchive) {
    ASSERT_TRUE(backup(zip).ok);
    const std::string oldArchive = testing::ReadFileBytes(archivePath());
    struct NoRename : FileMover {
        bool move(const std::string&, const std::string&, std::string* error) override {
            *error = "Rename refused";
            return false;
        }
    } noRename;
    testing::WriteFileBytes(data.file("LastCo.Dat"), std::string(2736, 'n'));
    BackupOutcome outcome = RunBackup(request(), zip, noRename);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.error, "Rename refused");
    EXPECT_EQ(testing::ReadFileBytes(archivePath()), oldArchive);
    EXPECT_EQ(FilesIn(target.path()), (std::vector<std::string>{"ZTBackup.zip", "ztbklog.txt"}));
}

TEST_F(BackupTest, AnArchiveThatARestoreWouldRefuseIsNoBackup) {
    // Two files whose names differ only in letter case: a restore could not tell which
    // one an entry replaces, and refuses such an archive whole.
    FileMover mover;
    ASSERT_TRUE(RunBackup(request(), zip, mover).ok);
    const std::string oldArchive = testing::ReadFileBytes(archivePath());
    testing::WriteFileBytes(data.file("notes.LST"), "100      Acme\r\n");
    testing::WriteFileBytes(data.file("NOTES.lst"), "200      Bolt\r\n");
    data::IniFile(data::IniFilePath(data.path())).writeString(kIniSection, kIniKey, "");
    BackupOutcome outcome = RunBackup(request(), zip, mover);
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.error.find("\"notes.LST\" is in the archive twice"), std::string::npos)
        << outcome.error;
    EXPECT_TRUE(testing::ReadFileBytes(archivePath()) == oldArchive);
    EXPECT_EQ(StoredBackupDate(data.path()), "");
}

TEST_F(BackupTest, AMissingFolderOrAnEmptyInstallationIsNoBackup) {
    BackupRequest r = request();
    r.targetFolder = target.file("gone");
    FileMover mover;
    BackupOutcome outcome = RunBackup(r, zip, mover);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.error, "The folder " + target.file("gone") + " does not exist.");
    EXPECT_EQ(StoredBackupDate(data.path()), "");

    testing::TempDir empty;
    r = request();
    r.dataFolder = empty.path();
    outcome = RunBackup(r, zip, mover);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.error, "No data files were found in " + empty.path() + ".");
    EXPECT_TRUE(FilesIn(target.path()).empty());
}

}  // namespace
}  // namespace invarro::maintenance
