// Restores: hostile and damaged archives change nothing, a move that fails half way puts
// every replaced file back, a file another program holds stops the restore.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "BackupFixture.h"
#include "data/Replace.h"
#include "maintenance/RestoreCheck.h"

namespace invarro::maintenance {
namespace {

using testing::ShellQuote;

// Makes an archive of one hostile kind beside a harmless entry that would be restored if
// the archive were not refused as a whole.
const char* kHostileScript = R"(
import sys, zipfile
path, kind = sys.argv[1], sys.argv[2]
z = zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED)
if kind != 'empty':
    z.writestr('LastCo.Dat', 'R' * 2736)
if kind == 'parent':
    z.writestr('../x.DAT', 'evil')
elif kind == 'absolute':
    z.writestr('/tmp/invarro-absolute-x.DAT', 'evil')
elif kind == 'folder':
    z.writestr(zipfile.ZipInfo('Backup/'), '')
elif kind == 'nested':
    z.writestr('sub/1C.DAT', 'evil')
elif kind == 'link':
    info = zipfile.ZipInfo('1C.DAT')
    info.create_system = 3
    info.external_attr = (0o120777 << 16)
    z.writestr(info, '/etc/passwd')
elif kind == 'duplicate':
    z.writestr('LastCo.Dat', 'S' * 2736)
elif kind == 'foreign':
    z.writestr('evil.sh', 'rm -rf /')
elif kind == 'badcrc':
    z.writestr('1C.IX', 'A' * 100, compress_type=zipfile.ZIP_STORED)
z.close()
if kind == 'badcrc':
    data = open(path, 'rb').read()
    data = data.replace(b'A' * 100, b'A' * 99 + b'B')
    open(path, 'wb').write(data)
)";

class RestoreTest : public BackupTest {
  protected:
    RestoreOutcome restore(const std::string& path, FileMover& mover) {
        RestoreHooks hooks;
        hooks.closeCompanyFiles = [this](std::string*) {
            ++closed;
            return true;
        };
        hooks.reopenCompany = [this] { ++reopened; };
        return RunRestore(data.path(), path, zip, mover, hooks);
    }
    RestoreOutcome restore(const std::string& path) {
        FileMover mover;
        return restore(path, mover);
    }
    std::string hostile(const std::string& kind) {
        const std::string path = target.file(kind + ".zip");
        EXPECT_EQ(Python(kHostileScript, ShellQuote(path) + " " + kind), 0) << kind;
        return path;
    }
    int closed = 0;
    int reopened = 0;
};

TEST_F(RestoreTest, HostileArchivesAreRefusedWholeAndChangeNothing) {
    const auto before = Snapshot(data.path());
    for (const char* kind :
         {"parent", "absolute", "folder", "nested", "link", "duplicate", "foreign"}) {
        const std::string path = hostile(kind);
        RestoreOutcome outcome = restore(path);
        EXPECT_EQ(outcome.status, RestoreStatus::Refused) << kind;
        // libzip itself refuses an archive that holds a name twice.
        const bool twice = std::string(kind) == "duplicate";
        EXPECT_NE(outcome.error.find(twice ? " cannot be read: it holds a file name twice."
                                           : " cannot be restored: "),
                  std::string::npos)
            << outcome.error;
        EXPECT_NE(outcome.error.find("Nothing was changed."), std::string::npos) << kind;
        EXPECT_TRUE(Snapshot(data.path()) == before) << kind;
        // The company was never closed for an archive refused on its names.
        EXPECT_EQ(closed, 0) << kind;
    }
    EXPECT_FALSE(data::FileExists("/tmp/invarro-absolute-x.DAT"));
    EXPECT_FALSE(
        data::FileExists(std::filesystem::path(data.path()).parent_path().string() + "/x.DAT"));
    EXPECT_EQ(restore(target.file("link.zip")).error,
              "The backup file " + target.file("link.zip") +
                  " cannot be restored: \"1C.DAT\" is a link. Nothing was changed.");
    EXPECT_EQ(restore(target.file("duplicate.zip")).error,
              "The archive " + target.file("duplicate.zip") +
                  " cannot be read: it holds a file name twice. Nothing was changed.");
}

TEST_F(RestoreTest, DamagedArchivesChangeNothing) {
    ASSERT_TRUE(backup(zip).ok);
    testing::WriteFileBytes(data.file("LastCo.Dat"), std::string(2736, 'n'));
    const auto before = Snapshot(data.path());

    // Cut in half: the archive cannot be read at all.
    std::string bytes = testing::ReadFileBytes(archivePath());
    testing::WriteFileBytes(target.file("half.zip"), bytes.substr(0, bytes.size() / 2));
    RestoreOutcome outcome = restore(target.file("half.zip"));
    EXPECT_EQ(outcome.status, RestoreStatus::Refused);
    EXPECT_NE(outcome.error.find("cannot be read"), std::string::npos) << outcome.error;
    EXPECT_TRUE(Snapshot(data.path()) == before);

    // An entry whose data fails its checksum is found while extracting, before any data
    // file is touched; the company is opened again.
    outcome = restore(hostile("badcrc"));
    EXPECT_EQ(outcome.status, RestoreStatus::Failed);
    EXPECT_NE(outcome.error.find("1C.IX"), std::string::npos) << outcome.error;
    EXPECT_NE(outcome.error.find("Nothing was changed."), std::string::npos) << outcome.error;
    EXPECT_TRUE(Snapshot(data.path()) == before);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(reopened, 1);
}

// Makes an archive from a real backup with one kind of damage that its checksums do not
// show: every entry's CRC is that of the bytes it holds.
const char* kForgedScript = R"(
import os, sys, zipfile
source, path, kind = sys.argv[1], sys.argv[2], sys.argv[3]
src = zipfile.ZipFile(source)
files = {n: src.read(n) for n in src.namelist()}
if kind == 'random':
    files['1C.DAT'] = os.urandom(len(files['1C.DAT']))
elif kind == 'randomindex':
    files['1I.IX'] = os.urandom(len(files['1I.IX']))
elif kind == 'foreignname':
    files['evil0001.DAT'] = files['1C.DAT']
elif kind == 'savefile':
    files['1C.SAV'] = b'x'
elif kind == 'noindex':
    del files['1C.IX']
elif kind == 'nodata':
    del files['1N.DAT']
elif kind == 'wronglayout':
    files['1C.DAT'] = files['1P.DAT']
    files['1C.IX'] = files['1P.IX']
elif kind == 'nocompany':
    del files['Company.DAT']
    del files['Company.IX']
elif kind == 'shortlastco':
    files['LastCo.Dat'] = files['LastCo.Dat'][:100]
elif kind == 'othercompany':
    co = bytearray(files['LastCo.Dat'])
    co[40:43] = bytes([2]) + b'77'
    files['LastCo.Dat'] = bytes(co)
elif kind == 'nul':
    files['xZ.LST'] = b'list'
z = zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED)
for n, b in files.items():
    z.writestr(n, b)
z.close()
if kind == 'nul':
    data = open(path, 'rb').read()
    open(path, 'wb').write(data.replace(b'xZ.LST', b'x\x00.LST'))
)";

TEST_F(RestoreTest, ArchivesWhoseBooksWouldNotOpenAreRefusedWholeAndChangeNothing) {
    ASSERT_TRUE(backup(zip).ok);
    // The folder as it stands differs from the backup, so that a restore would show.
    testing::WriteFileBytes(data.file("SAVELINE.SAV"), "changed since the backup");
    const auto before = Snapshot(data.path());
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"random", "\"1C.DAT\" is damaged: "},
        {"randomindex", "\"1I.DAT\" is damaged: "},
        {"noindex", "\"1C.DAT\" comes without its index file"},
        {"nodata", "\"1N.IX\" comes without its data file"},
        {"wronglayout",
         "\"1C.DAT\" is not a CustomerRecord file: it has records of 300 bytes "
         "instead of 1008"},
        {"nocompany", "it holds data files but not the company file"},
        {"shortlastco", "\"LastCo.Dat\" does not hold a whole company record"},
        {"othercompany", "the company in use (LastCo.Dat: company 77) is not in the company file"},
    };
    for (const auto& [kind, why] : cases) {
        const std::string path = target.file(kind + ".zip");
        ASSERT_EQ(
            Python(kForgedScript, ShellQuote(archivePath()) + " " + ShellQuote(path) + " " + kind),
            0)
            << kind;
        RestoreOutcome outcome = restore(path);
        EXPECT_EQ(outcome.status, RestoreStatus::Refused) << kind;
        EXPECT_NE(outcome.error.find("The backup file " + path + " cannot be restored: " + why),
                  std::string::npos)
            << kind << ": " << outcome.error;
        EXPECT_NE(outcome.error.find("Nothing was changed."), std::string::npos) << kind;
        EXPECT_TRUE(Snapshot(data.path()) == before) << kind;
    }
    // The company was opened again after each.
    EXPECT_EQ(reopened, int(cases.size()));
    // The books of the real backup still restore.
    EXPECT_EQ(restore(archivePath()).status, RestoreStatus::Done);
    EXPECT_EQ(testing::ReadFileBytes(data.file("SAVELINE.SAV")), "saved lines");
}

TEST_F(RestoreTest, OnlyTheNamesOfTheBackupsOwnFileSetAreTaken) {
    ASSERT_TRUE(backup(zip).ok);
    const auto before = Snapshot(data.path());
    for (const char* kind : {"foreignname", "savefile", "nul"}) {
        const std::string path = target.file(std::string(kind) + ".zip");
        ASSERT_EQ(
            Python(kForgedScript, ShellQuote(archivePath()) + " " + ShellQuote(path) + " " + kind),
            0)
            << kind;
        RestoreOutcome outcome = restore(path);
        EXPECT_EQ(outcome.status, RestoreStatus::Refused) << kind;
        EXPECT_TRUE(Snapshot(data.path()) == before) << kind;
        // Refused on its names: the company was never closed.
        EXPECT_EQ(closed, 0) << kind;
    }
    EXPECT_NE(restore(target.file("foreignname.zip"))
                  .error.find("\"evil0001.DAT\" is not one of the data files"),
              std::string::npos);
    // A NUL inside a name is a name no file can have, not a blank.
    EXPECT_NE(restore(target.file("nul.zip")).error.find("\"x?.LST\" holds control characters"),
              std::string::npos)
        << restore(target.file("nul.zip")).error;
    EXPECT_FALSE(data::FileExists(data.file("x .LST")));
}

TEST_F(RestoreTest, AnArchiveLargerThanTheFreeRoomIsRefusedBeforeAnythingIsExtracted) {
    platform::ArchiveEntry huge;
    huge.name = "1C.DAT";
    huge.size = uint64_t(1) << 62;
    const std::string why = RoomProblem(data.path(), {huge});
    EXPECT_NE(why.find("its files need 4611686018427387904 bytes"), std::string::npos) << why;
    huge.size = 1000;
    EXPECT_EQ(RoomProblem(data.path(), {huge, huge}), "");
}

TEST_F(RestoreTest, AnArchiveOfNoEntriesRestoresNothingButStillReopens) {
    const auto before = Snapshot(data.path());
    RestoreOutcome outcome = restore(hostile("empty"));
    EXPECT_EQ(outcome.status, RestoreStatus::Done);
    EXPECT_EQ(outcome.files, 0u);
    EXPECT_TRUE(Snapshot(data.path()) == before);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(reopened, 1);
}

TEST_F(RestoreTest, AMissingArchiveIsNotFound) {
    const auto before = Snapshot(data.path());
    EXPECT_EQ(restore(target.file("ZTBackup.zip")).status, RestoreStatus::NotFound);
    EXPECT_EQ(restore(target.path()).status, RestoreStatus::NotFound);
    EXPECT_TRUE(Snapshot(data.path()) == before);
    EXPECT_EQ(closed, 0);
}

// Fails the n-th move (counting from 1) and, when told, every move after it.
class FailingMover : public FileMover {
  public:
    FailingMover(int failAt, bool failAfter) : failAt_(failAt), failAfter_(failAfter) {}
    bool move(const std::string& from, const std::string& to, std::string* error) override {
        ++calls;
        if (calls == failAt_ || (failAfter_ && calls > failAt_)) {
            *error = "Move " + std::to_string(calls) + " failed.";
            return false;
        }
        return FileMover::move(from, to, error);
    }
    int calls = 0;

  private:
    int failAt_;
    bool failAfter_;
};

TEST_F(RestoreTest, AMoveFailingHalfWayPutsEveryReplacedFileBack) {
    ASSERT_TRUE(backup(zip).ok);
    // After the backup: files changed, one removed (the restore brings it back as a new
    // file), one added that the archive does not know.
    testing::WriteFileBytes(data.file("LastCo.Dat"), std::string(2736, 'n'));
    testing::WriteFileBytes(data.file("1C.IX"), "changed index");
    ASSERT_TRUE(data::RemoveFile(data.file("SAVELINE.SAV")));
    testing::WriteFileBytes(data.file("new.LST"), "made later");
    const auto before = Snapshot(data.path());
    std::string error;
    auto reader = zip.open(archivePath(), &error);
    ASSERT_TRUE(reader) << error;
    const int moves = int(reader->entries().size()) * 2 - 1;  // SAVELINE.SAV replaces nothing

    for (int failAt : {1, 2, 3, moves / 2, moves / 2 + 1, moves}) {
        FailingMover mover(failAt, false);
        RestoreOutcome outcome = restore(archivePath(), mover);
        EXPECT_EQ(outcome.status, RestoreStatus::Failed) << failAt;
        EXPECT_EQ(outcome.error, "Move " + std::to_string(failAt) +
                                     " failed. Every replaced file has been put back.");
        EXPECT_TRUE(Snapshot(data.path()) == before) << failAt;
    }
    EXPECT_EQ(closed, 6);
    EXPECT_EQ(reopened, 6);

    // With no failure the same restore goes through.
    FailingMover never(moves + 1, false);
    EXPECT_EQ(restore(archivePath(), never).status, RestoreStatus::Done);
    EXPECT_EQ(never.calls, moves);
    EXPECT_TRUE(data::FileExists(data.file("SAVELINE.SAV")));
    EXPECT_EQ(testing::ReadFileBytes(data.file("new.LST")), "made later");
}

TEST_F(RestoreTest, ARestoreThatCanBeNeitherFinishedNorTakenBackIsFinishedAtTheNextOpen) {
    ASSERT_TRUE(backup(zip).ok);
    const std::string lastCo = testing::ReadFileBytes(data.file("LastCo.Dat"));
    testing::WriteFileBytes(data.file("LastCo.Dat"), std::string(2736, 'n'));
    FailingMover mover(4, true);
    RestoreOutcome outcome = restore(archivePath(), mover);
    EXPECT_EQ(outcome.status, RestoreStatus::Failed);
    EXPECT_NE(outcome.error.find("finished when the data folder is next opened"), std::string::npos)
        << outcome.error;
    EXPECT_TRUE(data::FileExists(data.file(data::kReplacementPlan)));
    // The next program to open the folder puts every file of the backup in place.
    std::string error;
    ASSERT_TRUE(data::FinishFileReplacement(data.path(), &error)) << error;
    EXPECT_FALSE(data::FileExists(data.file(data::kReplacementPlan)));
    EXPECT_EQ(testing::ReadFileBytes(data.file("LastCo.Dat")), lastCo);
    for (const auto& [name, bytes] : Snapshot(data.path()))
        EXPECT_EQ(name.find(".restore-"), std::string::npos) << name;
}

TEST_F(RestoreTest, AFileHeldByAnotherProgramStopsTheRestore) {
    ASSERT_TRUE(backup(zip).ok);
    testing::WriteFileBytes(data.file("LastCo.Dat"), std::string(2736, 'n'));
    const auto before = Snapshot(data.path());
    const int fd = ::open(data.file("1C.DAT").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    RestoreOutcome outcome = restore(archivePath());
    ::close(fd);
    EXPECT_EQ(outcome.status, RestoreStatus::Failed);
    EXPECT_EQ(outcome.error, "The file " + data.file("1C.DAT") +
                                 " is in use by another program. Nothing was changed.");
    EXPECT_TRUE(Snapshot(data.path()) == before);
    EXPECT_EQ(reopened, 1);
}

TEST_F(RestoreTest, AnEntryReplacesTheFileOfTheSameNameInAnyCase) {
    ASSERT_TRUE(backup(zip).ok);
    const std::string backedUp = testing::ReadFileBytes(data.file("KRTERMS.DAT"));
    std::filesystem::rename(data.file("KRTERMS.DAT"), data.file("krterms.dat"));
    testing::WriteFileBytes(data.file("krterms.dat"), "other terms");
    ASSERT_EQ(restore(archivePath()).status, RestoreStatus::Done);
    EXPECT_EQ(testing::ReadFileBytes(data.file("krterms.dat")), backedUp);
    EXPECT_FALSE(data::FileExists(data.file("KRTERMS.DAT")));
}

TEST_F(RestoreTest, TheCompanyStaysClosedWhenItsFilesCannotBeClosed) {
    ASSERT_TRUE(backup(zip).ok);
    testing::WriteFileBytes(data.file("LastCo.Dat"), std::string(2736, 'n'));
    const auto before = Snapshot(data.path());
    RestoreHooks hooks;
    hooks.closeCompanyFiles = [](std::string* error) {
        *error = "a window still holds them";
        return false;
    };
    int reopens = 0;
    hooks.reopenCompany = [&] { ++reopens; };
    FileMover mover;
    RestoreOutcome outcome = RunRestore(data.path(), archivePath(), zip, mover, hooks);
    EXPECT_EQ(outcome.status, RestoreStatus::Failed);
    EXPECT_EQ(outcome.error, "The company's files could not be closed: a window still holds them");
    EXPECT_EQ(reopens, 0);
    EXPECT_TRUE(Snapshot(data.path()) == before);
}

}  // namespace
}  // namespace invarro::maintenance
