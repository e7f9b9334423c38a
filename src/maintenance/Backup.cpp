#include "maintenance/Backup.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

#include "data/BooksAlone.h"
#include "data/Files.h"
#include "data/IniFile.h"
#include "data/Replace.h"
#include "data/SideFiles.h"
#include "maintenance/BooksCopy.h"
#include "maintenance/FileSet.h"
#include "maintenance/RestoreCheck.h"
#include "storage/Engine.h"
#include "storage/FileIO.h"
#include "storage/Transaction.h"

namespace invarro::maintenance {

namespace fs = std::filesystem;
using platform::Answer;
using platform::Buttons;
using platform::Icon;
using platform::Message;

// ------------------------------------------------------------------ messages

Message RestoreWarning() {
    return Message{"Restore from a Previous Backup File",
                   "WARNING!! Your current data files will be completely over-written by your "
                   "selected backup file! You should only use this option if your data files "
                   "have been damaged by a program, virus or other computer malfunction. Do "
                   "you want to continue?",
                   Icon::Warning, Buttons::YesNo, Answer::No};
}

Message NoArchiveChosenMessage() {
    return Message{"Restore",
                   "You did not select a backup file. The backup files are named ZTBackup.zip.",
                   Icon::Warning, Buttons::Ok, Answer::Ok};
}

Message RestoreConfirm(const std::string& archivePath) {
    return Message{"Restore", "Ready to RESTORE files from:\n" + archivePath + "\nContinue?",
                   Icon::Question, Buttons::OkCancel, Answer::Ok};
}

Message ArchiveNotFoundMessage() {
    return Message{"Restore",
                   "The backup file: ZTBackup.zip was not found in the selected location.",
                   Icon::Warning, Buttons::Ok, Answer::Ok};
}

Message RestoreCompleteMessage() {
    return Message{"Restore Complete", "Restore files operation complete.", Icon::Information,
                   Buttons::Ok, Answer::Ok};
}

Message BackupCompleteMessage() {
    return Message{"ZT Backup", "Backup complete.", Icon::Information, Buttons::Ok, Answer::Ok};
}

Message BackupFailedMessage(const std::string& why) {
    return Message{"ZT Backup", "The backup failed. " + why, Icon::Warning, Buttons::Ok,
                   Answer::Ok};
}

Message RestoreFailedMessage(const std::string& why) {
    return Message{"Restore", "The restore failed. " + why, Icon::Warning, Buttons::Ok, Answer::Ok};
}

Message WarningMessage(const std::string& title, const std::string& why) {
    return Message{title, why, Icon::Warning, Buttons::Ok, Answer::Ok};
}

// ------------------------------------------------------------------ last backup date

std::string StoredBackupDate(const std::string& dataFolder) {
    data::IniFile ini(data::IniFilePath(dataFolder));
    return ini.readString(kIniSection, kIniKey, "");
}

std::string LastBackupLabel(std::string_view stored, data::DateOrder order) {
    auto date = data::ParseUserDate(stored, order);
    if (!date) return "";
    return "Last Backup: " + (order == data::DateOrder::MonthFirst
                                  ? data::FormatMonthDayYear(*date)
                                  : data::FormatDayMonthYear(*date));
}

std::string MainStatusAfterBackup(const data::Date& today) {
    return " Last System Backup: " + data::FormatMonthDayYear(today);
}

bool AcceptLocation(Mode mode, std::string_view path) {
    if (mode == Mode::Backup) return path.size() > 1;
    const std::size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return SameFileName(name, kArchiveName);
}

// ------------------------------------------------------------------ file helpers

namespace {

// The file layer's last failure as text (its status is cleared).
std::string LayerError() {
    const int e = storage::OsError != 0 ? storage::OsError : EIO;
    storage::ResetStatus();
    return std::strerror(e);
}

}  // namespace

bool FileMover::move(const std::string& from, const std::string& to, std::string* error) {
    if (storage::RenameFile(from, to)) return true;
    if (error) *error = from + " could not be moved to " + to + ": " + LayerError();
    return false;
}

namespace {

std::string ErrnoText() {
    return std::strerror(errno);
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Size and CRC-32 of a file.
bool FileCrc(const std::string& path, uint64_t* size, uint32_t* crc, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = path + " cannot be read: " + ErrnoText();
        return false;
    }
    uLong c = crc32(0, nullptr, 0);
    uint64_t total = 0;
    std::array<char, 65536> buffer;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            *error = path + " cannot be read: " + ErrnoText();
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        c = crc32(c, reinterpret_cast<const Bytef*>(buffer.data()), uInt(n));
        total += uint64_t(n);
    }
    ::close(fd);
    *size = total;
    *crc = uint32_t(c);
    return true;
}

// Forces a file's bytes to the disk before it is renamed into place.
bool SyncFile(const std::string& path, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::fsync(fd) == 0;
    if (!ok) *error = path + " cannot be written to the disk: " + ErrnoText();
    if (fd >= 0) ::close(fd);
    return ok;
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Another program holds the file open exclusively (the storage engine's lock).
bool HeldByAnother(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

// Checks a freshly written archive against the files it was made of: the same entries in
// the same order, every entry read back in full with the size and checksum of its file.
bool VerifyArchive(platform::Archive& archive, const std::string& path,
                   const std::vector<platform::ArchiveSource>& sources, std::string* error) {
    auto reader = archive.open(path, error);
    if (!reader) return false;
    const auto& entries = reader->entries();
    if (entries.size() != sources.size()) {
        *error = "The new archive holds " + std::to_string(entries.size()) + " files instead of " +
                 std::to_string(sources.size()) + ".";
        return false;
    }
    // An archive that a restore would refuse is no backup.
    if (const std::string problem = ArchiveProblem(entries); !problem.empty()) {
        *error = "The new archive could not be restored: " + problem + ".";
        return false;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const platform::ArchiveEntry& e = entries[i];
        if (e.name != sources[i].name || !e.deflated || e.encrypted) {
            *error = "The new archive's entry " + e.name + " is not " + sources[i].name + ".";
            return false;
        }
        uint64_t size = 0;
        uint32_t crc = 0;
        if (!FileCrc(sources[i].path, &size, &crc, error)) return false;
        if (e.size != size || e.crc != crc) {
            *error = "The new archive's copy of " + e.name + " differs from the file.";
            return false;
        }
        if (!reader->read(
                i, [](std::string_view) { return true; }, error))
            return false;
    }
    return true;
}

// A new, empty file name in folder for a temporary file.
std::string ReserveTempFile(const std::string& folder, std::string_view base, std::string* error) {
    std::string pattern = data::JoinPath(folder, std::string(base) + ".XXXXXX");
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        *error = "No file can be written in " + folder + ": " + ErrnoText();
        return "";
    }
    ::close(fd);
    return pattern;
}

// Copies a file through a temporary file, so that a failed copy keeps the old copy.
bool CopyWhole(const std::string& from, const std::string& to, std::string* error) {
    auto bytes = data::ReadWholeFile(from);
    if (!bytes) {
        *error = from + " cannot be read.";
        return false;
    }
    return data::ReplaceFile(to, *bytes, error);
}

}  // namespace

// ------------------------------------------------------------------ backup

namespace {

// Writes into staging the folder's settings file with the company settings kept elsewhere
// (on the server) in it and without the section naming the server.
bool StageSettingsFile(const std::string& dataFolder, const std::string& staging,
                       std::string* error) {
    const std::optional<std::vector<data::SettingValue>> company =
        data::CompanySettingsElsewhere(dataFolder, error);
    if (!company) return false;
    const std::string path = data::IniFilePath(staging);
    const std::optional<std::string> own = data::ReadSideFile(data::IniFilePath(dataFolder));
    if (!data::ReplaceFile(path, own ? *own : std::string(), error)) return false;
    data::IniFile ini(path);
    if (!ini.removeFromFile(
            [](const data::SettingValue& v) {
                return data::SameSettingName(v.section, data::kServerSettingsSection);
            },
            error))
        return false;
    for (const data::SettingValue& v : *company)
        if (!ini.writeString(v.section, v.key, v.value, error)) return false;
    return true;
}

}  // namespace

BackupOutcome RunBackup(const BackupRequest& request, platform::Archive& archive, FileMover& mover,
                        const std::function<void(const std::string&)>& status) {
    auto say = [&](const std::string& text) {
        if (status) status(text);
    };
    BackupOutcome out;
    out.archivePath = data::JoinPath(request.targetFolder, kArchiveName);
    // The archive holds whole files: what the journal still holds is in them and on the
    // disk first.
    if (!storage::CheckpointJournal()) {
        out.error = "The data files could not be written to the disk (error " +
                    std::to_string(storage::EngineError) + ").";
        storage::ResetStatus();
        return out;
    }
    if (!IsFolder(request.targetFolder)) {
        out.error = "The folder " + request.targetFolder + " does not exist.";
        return out;
    }
    std::vector<platform::ArchiveSource> sources;
    // Books kept on a server go into the archive as the files they would be in a folder:
    // written out slot for slot into a work folder first, so that the archive is the same
    // whichever side the books are on.
    const bool onBackend = BooksOnBackend(request.dataFolder);
    std::string staging;
    std::unique_ptr<FilesScope> stagingInFiles;
    struct RemoveStaging {
        const std::string& path;
        ~RemoveStaging() {
            std::error_code ec;
            if (!path.empty()) fs::remove_all(path, ec);
        }
    } removeStaging{staging};
    if (onBackend) {
        say("Reading the books from the server...");
        std::string pattern = data::JoinPath(request.dataFolder, ".backup-XXXXXX");
        if (!::mkdtemp(pattern.data())) {
            out.error = "No folder can be made in " + request.dataFolder + ": " + ErrnoText();
            return out;
        }
        staging = pattern;
        stagingInFiles = std::make_unique<FilesScope>(staging);
        for (const std::string& name : BooksFileblocks(request.dataFolder)) {
            std::string why;
            if (!CopyFileblock(data::JoinPath(request.dataFolder, name),
                               data::JoinPath(staging, name), &why)) {
                out.error = "The books could not be read from the server: " + why + ".";
                return out;
            }
        }
        // The side files everyone shares are kept on the server too.
        for (const std::string& name : data::SharedSideFilesOf(request.dataFolder)) {
            std::string why;
            const std::string path = data::JoinPath(request.dataFolder, name);
            if (!data::SharedSideFileKeptElsewhere(path)) continue;
            const std::optional<std::string> bytes = data::ReadSharedSideFile(path, &why);
            if (!bytes && !why.empty()) {
                out.error = why + ".";
                return out;
            }
            if (bytes && !data::ReplaceFile(data::JoinPath(staging, name), *bytes, &why)) {
                out.error = why + ".";
                return out;
            }
        }
        // The settings file as a folder of files would hold it: the company settings the
        // server keeps are in it, the server's connection is not.
        if (std::string why; !StageSettingsFile(request.dataFolder, staging, &why)) {
            out.error = "The settings could not be read from the server: " + why + ".";
            return out;
        }
        for (const std::string& name : CollectFileSet(staging))
            sources.push_back({name, data::JoinPath(staging, name)});
    }
    for (const std::string& name : CollectFileSet(request.dataFolder))
        if (!onBackend ||
            (!IsFileblockFileName(name) && !SameFileName(name, data::kIniFileName) &&
             !data::SharedSideFileKeptElsewhere(data::JoinPath(request.dataFolder, name))))
            sources.push_back({name, data::JoinPath(request.dataFolder, name)});
    if (sources.empty()) {
        out.error = "No data files were found in " + request.dataFolder + ".";
        return out;
    }
    std::sort(sources.begin(), sources.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });

    std::vector<std::string> log{"Backup of " + request.dataFolder + " on " +
                                 data::FormatUserDate(request.today, request.dateOrder)};
    auto writeLog = [&] {
        std::string ignored;
        data::ReplaceFile(data::JoinPath(request.targetFolder, kLogName), data::TextFileBytes(log),
                          &ignored);
    };
    std::string temp = ReserveTempFile(request.targetFolder, kArchiveName, &out.error);
    if (temp.empty()) return out;
    auto fail = [&](const std::string& why) {
        data::RemoveFile(temp);
        out.error = why;
        log.push_back("Backup failed: " + why + " The earlier archive, if any, is unchanged.");
        writeLog();
        return out;
    };

    say("Writing the backup archive...");
    std::string why;
    const bool written = archive.write(
        temp, sources,
        [&](const std::string& line) {
            log.push_back(line);
            say(line);
        },
        &why);
    if (!written) return fail(why);
    say("Checking the backup archive...");
    if (!VerifyArchive(archive, temp, sources, &why)) return fail(why);
    log.push_back("Checked " + std::to_string(sources.size()) + " files.");
    if (!SyncFile(temp, &why) || !mover.move(temp, out.archivePath, &why)) return fail(why);
    SyncFolder(request.targetFolder);
    out.ok = true;
    out.files = sources.size();
    log.push_back("Backup written to " + out.archivePath);
    writeLog();

    if (request.alsoBackupFolder) {
        const std::string folder = data::JoinPath(request.dataFolder, kBackupFolderName);
        say("Copying the data files to the Backup folder...");
        if (!IsFolder(folder) && ::mkdir(folder.c_str(), 0700) != 0) {
            out.warning = "The folder " + folder + " could not be made: " + ErrnoText();
        } else {
            for (const platform::ArchiveSource& source : sources) {
                std::string upper = source.name;
                for (char& c : upper)
                    c = char(std::toupper(static_cast<unsigned char>(c)));
                if (upper.find(".DAT") == std::string::npos) continue;
                if (!CopyWhole(source.path, data::JoinPath(folder, source.name), &why)) {
                    out.warning = "The copy into the Backup folder failed: " + why;
                    break;
                }
            }
        }
    }

    out.dateText = data::FormatUserDate(request.today, request.dateOrder);
    data::IniFile ini(data::IniFilePath(request.dataFolder));
    if (!ini.writeString(kIniSection, kIniKey, out.dateText, &why)) {
        if (!out.warning.empty()) out.warning += "\n";
        out.warning += "The date of the backup could not be written: " + why;
    }
    return out;
}

// ------------------------------------------------------------------ restore

namespace {

// The fileblocks, company settings and shared side files of an extracted archive replace
// those of the books on a server, all in one transaction. "" when done, else what went wrong.
std::string RestoreOnBackend(const std::string& dataFolder,
                             const std::vector<platform::ArchiveEntry>& entries,
                             const std::string& fresh,
                             const std::function<void(const std::string&)>& say) {
    std::vector<std::string> names;
    for (const platform::ArchiveEntry& e : entries) {
        std::string base;
        bool dataFile = false;
        if (IsFileblockFileName(e.name, &base, &dataFile) && dataFile) names.push_back(base);
    }
    // One database transaction replaces every fileblock, the company settings and the side
    // files: another program sees the old books or the new ones, never a mix, and a restore
    // that fails anywhere leaves the books as they were.
    std::string why;
    if (!storage::BeginTransaction())
        return "The restore could not begin on the server (error " +
               std::to_string(storage::EngineError) + "). Nothing was changed.";
    auto undo = [&](const std::string& problem) {
        storage::RollbackTransaction();
        return problem + " Nothing was changed.";
    };
    for (const std::string& name : names) {
        say("Restoring " + name + " on the server...");
        const std::string live = data::JoinPath(dataFolder, name);
        if (storage::FileblockExists(live)) {
            storage::DeleteFileblock(live);
            if (!storage::EngineOk)
                return undo("The fileblock " + name +
                            " on the server could not be replaced (error " +
                            std::to_string(storage::EngineError) +
                            "); is another program working in the books?");
        }
        const std::string from = data::JoinPath(fresh, name);
        if (!CopyFileblock(from, live, &why))
            return undo("The fileblock " + name + " could not be written to the server: " + why +
                        ".");
        if (const std::string differs = CompareFileblocks(from, live); !differs.empty())
            return undo("The fileblock " + name + " on the server is not the backup's: " + differs +
                        ".");
    }
    // The company settings of the archive's settings file go to the server, in place of
    // those there; the file that goes into the folder keeps the folder's own server.
    for (const platform::ArchiveEntry& e : entries) {
        if (!SameFileName(e.name, data::kIniFileName)) continue;
        const std::string path = data::JoinPath(fresh, e.name);
        data::IniFile restored(path);
        std::vector<data::SettingValue> company;
        for (data::SettingValue& v : restored.fileValues())
            if (data::IsCompanySetting(v.section, v.key)) company.push_back(std::move(v));
        if (!data::ReplaceCompanySettingsElsewhere(dataFolder, company, &why))
            return undo("The restore failed: " + why + ".");
        std::vector<data::SettingValue> server;
        for (data::SettingValue& v : data::IniFile(data::IniFilePath(dataFolder)).fileValues())
            if (data::SameSettingName(v.section, data::kServerSettingsSection))
                server.push_back(std::move(v));
        bool written = restored.removeFromFile(
            [](const data::SettingValue& v) {
                return data::IsCompanySetting(v.section, v.key) ||
                       data::SameSettingName(v.section, data::kServerSettingsSection);
            },
            &why);
        for (const data::SettingValue& v : server)
            written = written && restored.writeString(v.section, v.key, v.value, &why);
        if (!written) return undo("The settings file could not be prepared: " + why + ".");
    }
    // Then the side files everyone shares.
    std::string problem;
    std::vector<std::pair<std::string, std::string>> pictures;  // path, bytes
    for (const platform::ArchiveEntry& e : entries) {
        const std::string live = data::JoinPath(dataFolder, e.name);
        if (!data::SharedSideFileKeptElsewhere(live)) continue;
        const std::optional<std::string> bytes =
            data::ReadSideFile(data::JoinPath(fresh, e.name), &problem, data::kPictureLimit);
        if (!bytes || !data::WriteSharedSideFile(live, *bytes, &problem))
            return undo("The file " + e.name + " could not be written on the server: " + problem +
                        ".");
        if (data::IsSharedPictureName(e.name)) pictures.emplace_back(live, *bytes);
    }
    if (!storage::CommitTransaction()) {
        if (storage::EngineError == storage::err::CommitInDoubt)
            return "The connection to the server was lost while the restore was being "
                   "committed, and whether the books were restored is not known. Look at the "
                   "books before restoring again.";
        return "The restore could not be committed on the server (error " +
               std::to_string(storage::EngineError) + "). Nothing was changed.";
    }
    // The folder's copies of the pictures, which are read by their paths, once the server
    // holds them.
    for (const auto& [path, bytes] : pictures)
        if (!data::ReplaceFile(path, bytes, &problem))
            return "The books were restored, but the picture " + path +
                   " could not be written to the folder: " + problem;
    return {};
}

// One file moved into place, and what it replaced.
struct Placed {
    std::string live;      // the data file
    std::string fresh;     // where the extracted copy waited
    std::string previous;  // where the replaced file went ("" when there was none)
};

}  // namespace

RestoreOutcome RunRestore(const std::string& dataFolder, const std::string& archivePath,
                          platform::Archive& archive, FileMover& mover, const RestoreHooks& hooks) {
    auto say = [&](const std::string& text) {
        if (hooks.status) hooks.status(text);
    };
    RestoreOutcome out;
    struct stat st;
    if (::stat(archivePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        out.status = RestoreStatus::NotFound;
        return out;
    }
    std::string why;
    auto reader = archive.open(archivePath, &why);
    if (!reader) {
        out.status = RestoreStatus::Refused;
        out.error = why + " Nothing was changed.";
        return out;
    }
    const std::vector<platform::ArchiveEntry>& entries = reader->entries();
    auto refuse = [&](const std::string& problem) {
        out.status = RestoreStatus::Refused;
        out.error = "The backup file " + archivePath + " cannot be restored: " + problem +
                    ". Nothing was changed.";
        return out;
    };
    if (const std::string problem = ArchiveProblem(entries); !problem.empty())
        return refuse(problem);
    if (const std::string problem = RoomProblem(dataFolder, entries); !problem.empty())
        return refuse(problem);

    // On a server the restore runs only while nobody else works in the books.
    const data::BooksAlone alone(dataFolder);
    if (!alone.granted()) {
        out.status = RestoreStatus::Refused;
        out.error = alone.refusal() + " Nothing was changed.";
        return out;
    }
    // From here on the company's files are closed; they are opened again however the
    // restore ends.
    if (hooks.closeCompanyFiles && !hooks.closeCompanyFiles(&why)) {
        out.error = "The company's files could not be closed: " + why;
        return out;
    }
    // Committed changes the journal still holds reach their files (and the files kept
    // open for them close) before any file is looked at or replaced.
    if (!storage::CheckpointJournal()) {
        out.error = "The company's files could not be written to the disk (error " +
                    std::to_string(storage::EngineError) + "). Nothing was changed.";
        storage::ResetStatus();
        return out;
    }
    struct Reopen {
        const RestoreHooks& hooks;
        ~Reopen() {
            if (hooks.reopenCompany) hooks.reopenCompany();
        }
    } reopen{hooks};
    if (entries.empty()) {
        out.status = RestoreStatus::Done;
        return out;
    }

    std::string tempPattern = data::JoinPath(dataFolder, ".restore-XXXXXX");
    if (!::mkdtemp(tempPattern.data())) {
        out.error =
            "No folder can be made in " + dataFolder + ": " + ErrnoText() + " Nothing was changed.";
        return out;
    }
    const std::string temp = tempPattern;
    // With the books on a server, the work folder still holds files.
    const bool onBackend = BooksOnBackend(dataFolder);
    std::unique_ptr<FilesScope> tempInFiles;
    if (onBackend) tempInFiles = std::make_unique<FilesScope>(temp);
    const std::string freshFolder = data::JoinPath(temp, "new");
    const std::string oldFolder = data::JoinPath(temp, "old");
    auto removeTemp = [&] {
        std::error_code ec;
        fs::remove_all(temp, ec);
    };
    if (::mkdir(freshFolder.c_str(), 0700) != 0 || ::mkdir(oldFolder.c_str(), 0700) != 0) {
        out.error =
            "No folder can be made in " + temp + ": " + ErrnoText() + " Nothing was changed.";
        removeTemp();
        return out;
    }

    // Everything is extracted and checked before the first data file is touched.
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& name = entries[i].name;
        say("Extracting " + name + "...");
        const std::string path = data::JoinPath(freshFolder, name);
        // Through the engine's file layer, like every write in the data folder.
        storage::OsFile file;
        bool ok = file.openNew(path, 0600);
        if (!ok) why = path + " cannot be written: " + LayerError();
        if (ok) {
            bool wrote = true;
            int64_t at = 0;
            ok = reader->read(
                i,
                [&](std::string_view bytes) {
                    wrote = file.write(at, bytes.data(), bytes.size());
                    at += int64_t(bytes.size());
                    return wrote;
                },
                &why);
            if (!wrote) why = path + " cannot be written: " + LayerError();
            if (ok && (!file.sync() || !file.close())) {
                why = path + " cannot be written: " + LayerError();
                ok = false;
            }
            file.closeQuietly();
        }
        if (ok && (::stat(path.c_str(), &st) != 0 || uint64_t(st.st_size) != entries[i].size)) {
            why = name + " was not extracted in full.";
            ok = false;
        }
        if (!ok) {
            removeTemp();
            out.error = why + " Nothing was changed.";
            return out;
        }
    }

    // Only books the program can open replace the data folder's files.
    {
        const std::string checkFolder = data::JoinPath(temp, "check");
        std::vector<std::string> names;
        for (const platform::ArchiveEntry& e : entries)
            names.push_back(e.name);
        std::string problem;
        if (::mkdir(checkFolder.c_str(), 0700) != 0)
            problem = "no folder can be made in " + temp + ": " + ErrnoText();
        else
            problem = RestoredFilesProblem(freshFolder, names, checkFolder);
        if (!problem.empty()) {
            removeTemp();
            return refuse(problem);
        }
    }

    // The data file each entry replaces: one of the same name in any letter case, so that
    // no second copy appears beside it.
    std::map<std::string, std::string> existing;  // lower-case name -> name on disk
    {
        std::error_code ec;
        for (const fs::directory_entry& d : fs::directory_iterator(dataFolder, ec)) {
            std::string n = d.path().filename().string();
            std::string lower = n;
            for (char& c : lower)
                c = char(std::tolower(static_cast<unsigned char>(c)));
            existing.emplace(lower, n);
        }
    }
    std::vector<Placed> plan;
    for (const platform::ArchiveEntry& e : entries) {
        if (onBackend && (IsFileblockFileName(e.name) ||
                          data::SharedSideFileKeptElsewhere(data::JoinPath(dataFolder, e.name))))
            continue;
        std::string lower = e.name;
        for (char& c : lower)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        auto it = existing.find(lower);
        const std::string liveName = it == existing.end() ? e.name : it->second;
        Placed p;
        p.live = data::JoinPath(dataFolder, liveName);
        p.fresh = data::JoinPath(freshFolder, e.name);
        if (it != existing.end()) {
            struct stat ls;
            if (::lstat(p.live.c_str(), &ls) == 0 && S_ISDIR(ls.st_mode)) {
                removeTemp();
                out.error = p.live + " is a folder. Nothing was changed.";
                return out;
            }
            if (HeldByAnother(p.live)) {
                removeTemp();
                out.error =
                    "The file " + p.live + " is in use by another program. Nothing was changed.";
                return out;
            }
            p.previous = data::JoinPath(oldFolder, e.name);
        }
        plan.push_back(std::move(p));
    }

    // The books on a server are replaced once every file of the folder is known to be
    // replaceable, and before any of them is.
    if (onBackend) {
        const std::string problem = RestoreOnBackend(dataFolder, entries, freshFolder, say);
        if (!problem.empty()) {
            removeTemp();
            // The connection lost and others in the books by the time it was back: said
            // plainly, with what became of the books.
            const std::string lost = alone.lost();
            out.error = lost.empty() ? problem : lost + " " + problem;
            return out;
        }
    }
    // Every file moves into place as one step: a restore stopped by a kill half way is
    // finished by the next program to open the folder.
    say("Restoring " + dataFolder + "...");
    std::vector<data::FileReplacement> moves;
    for (const Placed& p : plan)
        moves.push_back(data::FileReplacement{p.live, p.fresh, p.previous});
    auto move = [&mover](const std::string& from, const std::string& to, std::string* error) {
        return mover.move(from, to, error);
    };
    if (!data::ReplaceFilesTogether(dataFolder, moves, {temp}, &why, move)) {
        out.error = onBackend ? "The books on the server were restored, but the folder's own "
                                "files were not: " +
                                    why
                              : why;
        return out;
    }
    out.status = RestoreStatus::Done;
    out.files = entries.size();
    return out;
}

}  // namespace invarro::maintenance
