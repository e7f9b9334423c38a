#include "app/ServerMove.h"

#include <algorithm>
#include <filesystem>

#include "app/Startup.h"
#include "data/DataFolder.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/IniFile.h"
#include "data/Layout.h"
#include "data/SideFiles.h"
#include "maintenance/Backup.h"
#include "maintenance/BooksCopy.h"
#include "maintenance/FileSet.h"
#include "platform/Clock.h"
#include "storage/Backend.h"
#include "storage/Engine.h"
#include "storage/Transaction.h"

namespace invarro::app {

namespace fs = std::filesystem;

namespace {

MoveOutcome Refused(const std::string& why) {
    MoveOutcome out;
    out.error = why;
    return out;
}

// A connection of this program to the server a setting names.
std::shared_ptr<storage::server::ServerBackend> Connect(const ServerSetting& setting,
                                                        platform::Keyring* keyring,
                                                        std::string& where, std::string& error) {
    const ServerConnection plan = PlanServerConnection(setting, keyring);
    if (!plan.error.empty()) {
        error = plan.error;
        return nullptr;
    }
    where = plan.where;
    auto backend = std::make_shared<storage::server::ServerBackend>();
    if (!backend->connect(plan.conninfo, BooksSessionSettings())) {
        error = "The server " + plan.where + " cannot be reached: " + backend->error();
        while (!error.empty() && (error.back() == '\n' || error.back() == ' '))
            error.pop_back();
        return nullptr;
    }
    return backend;
}

// The fileblocks the server holds, by name ("Company", "1C"); nothing when it cannot be
// asked (error set).
std::vector<std::string> ServerFileblocks(storage::server::ServerBackend& server,
                                          std::string& error) {
    pq::Result r;
    std::vector<std::string> names;
    if (!server.connection().exec("SELECT name FROM invarro.fileblock ORDER BY name", r)) {
        error = server.connection().error().message;
        return names;
    }
    for (int i = 0; i < r.rows(); ++i)
        names.emplace_back(r.bytes(i, 0));
    return names;
}

// A folder that exists and is empty, or does not exist (it is made).
bool EmptyFolder(const std::string& folder, std::string& error) {
    std::error_code ec;
    if (fs::exists(folder, ec)) {
        if (!fs::is_directory(folder, ec)) {
            error = folder + " is a file, not a folder";
            return false;
        }
        if (!fs::is_empty(folder, ec)) {
            error = folder + " is not empty";
            return false;
        }
        return true;
    }
    if (!data::EnsureFolder(folder, &error)) return false;
    return true;
}

// A folder that is new, or holds nothing but what every program run leaves (its lock, the
// engine's journal, the settings file).
bool JoinableFolder(const std::string& folder) {
    std::error_code ec;
    if (!fs::exists(folder, ec)) return true;
    const std::string journal = fs::path(storage::JournalFileName(folder)).filename().string();
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (name != "invarro.lock" && name != journal && name != data::kIniFileName) return false;
    }
    return !ec;
}

bool IsSharedName(const std::string& file) {
    return std::find(std::begin(data::kSharedSideFiles), std::end(data::kSharedSideFiles), file) !=
           std::end(data::kSharedSideFiles);
}

// A path under which a backend is mounted without a folder of that name ever being made:
// the fileblocks' names relative to it are the same as under the data folder.
std::string MountPoint(const std::string& folder) {
    return folder + "/.server-books";
}

// "" when the server answers and holds books a folder can join; else why not. plan is the
// connection made of the setting.
std::string JoinRefusal(const ServerSetting& setting, platform::Keyring* keyring,
                        ServerConnection& plan) {
    if (setting.connection.empty()) return "Enter the server's connection first.";
    plan = PlanServerConnection(setting, keyring);
    if (!plan.error.empty()) return plan.error;
    pq::Connection probe;
    if (!probe.open(plan.conninfo, BooksSessionSettings()))
        return "The server " + plan.where + " cannot be reached: " + probe.error().message;
    pq::Result r;
    const bool tables = probe.exec("SELECT to_regclass('invarro.fileblock') IS NOT NULL", r) &&
                        r.rows() == 1 && r.bytes(0, 0) == "t";
    if (!tables ||
        !probe.exec("SELECT EXISTS (SELECT 1 FROM invarro.fileblock WHERE name = 'Company')", r) ||
        r.rows() != 1 || r.bytes(0, 0) != "t")
        return "The database " + plan.where +
               " holds no books. Upload books there first (server upload).";
    return {};
}

}  // namespace

MoveOutcome UploadBooks(const std::string& folder, const ServerSetting& setting,
                        platform::Keyring* keyring, platform::Archive& archive,
                        const std::function<void(const std::string&)>& status) {
    auto say = [&](const std::string& text) {
        if (status) status(text);
    };
    if (FolderServer(folder))
        return Refused("The books of " + folder + " are on a server already.");
    if (!HasDataFiles(folder)) return Refused("There are no books in " + folder + ".");
    const std::vector<std::string> fileblocks = maintenance::FileblocksInFolder(folder);
    if (fileblocks.empty()) return Refused("There are no books in " + folder + ".");

    for (const auto& e : fs::directory_iterator(folder)) {
        std::string base;
        bool dataFile = false;
        const std::string file = e.path().filename().string();
        if (maintenance::IsFileblockFileName(file, &base, &dataFile) && dataFile &&
            !data::KindFromFileblockName(base))
            return Refused("The folder holds the invoice line file " + file +
                           " of the program's first version. Open that company once in the "
                           "desktop program, which converts it, and upload then.");
    }
    std::string where, error;
    std::shared_ptr<storage::server::ServerBackend> server =
        Connect(setting, keyring, where, error);
    if (!server) return Refused(error);
    if (std::vector<std::string> there = ServerFileblocks(*server, error); !there.empty())
        return Refused("The database " + where + " holds books already (" +
                       std::to_string(there.size()) +
                       " fileblocks); the books are uploaded only into an empty one.");
    else if (!error.empty())
        return Refused("The database " + where + " cannot be read: " + error);

    // The books as the backup writes them, and read back by the restore's reader into a
    // folder of their own: what goes to the server is what a backup holds.
    const std::string kept = data::JoinPath(folder, std::string(kBeforeServerFolder));
    std::error_code ec;
    if (fs::exists(kept, ec))
        return Refused(kept + " is there from an earlier upload; move it away first.");
    if (!data::EnsureFolder(kept, &error)) return Refused(error);
    say("Backing up the books...");
    maintenance::BackupRequest request;
    request.dataFolder = folder;
    request.targetFolder = kept;
    platform::SystemClock clock;
    request.today = data::Today(clock);
    maintenance::FileMover mover;
    const maintenance::BackupOutcome backup = maintenance::RunBackup(request, archive, mover);
    auto undoKept = [&] { fs::remove_all(kept, ec); };
    if (!backup.ok) {
        undoKept();
        return Refused("The books could not be backed up: " + backup.error);
    }
    const std::string staging = data::JoinPath(kept, "restored");
    if (!data::EnsureFolder(staging, &error)) {
        undoKept();
        return Refused(error);
    }
    say("Reading the backup...");
    const maintenance::RestoreOutcome restored =
        maintenance::RunRestore(staging, backup.archivePath, archive, mover, {});
    if (restored.status != maintenance::RestoreStatus::Done) {
        undoKept();
        return Refused("The backup of the books could not be read back: " + restored.error);
    }

    const std::string mount = MountPoint(folder);
    storage::MountBackend(mount, server);
    std::vector<std::string> made;
    auto undo = [&](const std::string& why) {
        if (storage::InTransaction()) storage::RollbackTransaction();
        storage::MountBackend(mount, nullptr);
        undoKept();
        return Refused(why + " Nothing was changed: the books stay in " + folder + ".");
    };
    // The tables of the side files and settings are made first; then every fileblock, the
    // side files and the company settings go in one transaction, so that an upload failing
    // anywhere leaves the database as empty as it was.
    if (!EnsureSideFileTable(server->connection()))
        return undo("The upload failed: " + server->connection().error().message + ".");
    if (!storage::BeginTransaction())
        return undo("The upload could not begin (error " + std::to_string(storage::EngineError) +
                    ").");
    MoveOutcome out;
    for (const std::string& name : maintenance::FileblocksInFolder(staging)) {
        say("Uploading " + name + "...");
        const std::string from = data::JoinPath(staging, name);
        const std::string to = data::JoinPath(mount, name);
        if (!maintenance::CopyFileblock(from, to, &error))
            return undo("The upload failed: " + error + ".");
        made.push_back(name);
        // Read back from the server and compared with what the backup holds.
        if (const std::string differs = maintenance::CompareFileblocks(from, to); !differs.empty())
            return undo("The books on the server are not the same as the backup: " + differs + ".");
        ++out.fileblocks;
    }
    // The side files everyone shares go to the server as the backup holds them.
    std::vector<std::string> shared(std::begin(data::kSharedSideFiles),
                                    std::end(data::kSharedSideFiles));
    for (const auto& e : fs::directory_iterator(staging, ec))
        if (data::IsSharedPictureName(e.path().filename().string()))
            shared.push_back(e.path().filename().string());
    for (const std::string& name : shared) {
        const std::optional<std::string> bytes =
            data::ReadSideFile(data::JoinPath(staging, name), nullptr, data::kPictureLimit);
        if (bytes && !StoreSideFile(*server, name, *bytes))
            return undo("The upload of " + name +
                        " failed: " + server->connection().error().message + ".");
    }
    // So do the company settings of the folder's settings file.
    {
        std::vector<data::SettingValue> company;
        for (data::SettingValue& v : data::IniFile(data::IniFilePath(staging)).fileValues())
            if (data::IsCompanySetting(v.section, v.key)) company.push_back(std::move(v));
        if (!StoreCompanySettings(*server, company))
            return undo("The upload of the company settings failed: " +
                        server->connection().error().message + ".");
    }
    if (!storage::CommitTransaction()) {
        if (storage::EngineError == storage::err::CommitInDoubt) {
            storage::MountBackend(mount, nullptr);
            return Refused(
                "The connection to the server was lost while the upload was being "
                "committed, and whether the books reached the database is not "
                "known. The books stay in " +
                folder + "; look at the database before uploading again.");
        }
        return undo("The upload could not be committed (error " +
                    std::to_string(storage::EngineError) + ").");
    }
    storage::MountBackend(mount, nullptr);
    fs::remove_all(staging, ec);

    // The folder's own data files move aside; from now on the folder names the server.
    for (const std::string& name : fileblocks)
        for (const std::string& file : {storage::DataFileName(data::JoinPath(folder, name)),
                                        storage::IndexFileName(data::JoinPath(folder, name))})
            if (fs::exists(file, ec))
                fs::rename(file, data::JoinPath(kept, fs::path(file).filename().string()), ec);
    for (std::string_view name : data::kSharedSideFiles)
        if (const std::string file = data::JoinPath(folder, std::string(name));
            fs::exists(file, ec))
            fs::rename(file, data::JoinPath(kept, std::string(name)), ec);
    if (!WriteFolderServer(folder, setting, &error)) {
        // The files go back: the folder keeps working on them.
        for (const auto& e : fs::directory_iterator(kept, ec))
            if (maintenance::IsFileblockFileName(e.path().filename().string()) ||
                IsSharedName(e.path().filename().string()))
                fs::rename(e.path(), data::JoinPath(folder, e.path().filename().string()), ec);
        for (const std::string& name : made)
            storage::DeleteFileblock(data::JoinPath(mount, name));
        return Refused("The folder's settings could not be written: " + error +
                       ". The books stay in " + folder + ".");
    }
    // The company settings are read from the server from now on; the folder's copy (kept in
    // the backup) would only mislead.
    data::IniFile(data::IniFilePath(folder)).removeFromFile([](const data::SettingValue& v) {
        return data::IsCompanySetting(v.section, v.key);
    });
    out.ok = true;
    out.message = std::to_string(out.fileblocks) + " fileblocks are on the server " + where +
                  ", each compared record by record. The files they came from and their "
                  "backup are kept in " +
                  kept + ".";
    return out;
}

MoveOutcome ConnectFolder(const std::string& folder, const ServerSetting& setting,
                          platform::Keyring* keyring) {
    std::string error;
    std::error_code ec;
    if (!JoinableFolder(folder))
        return Refused(folder +
                       " is not empty; a folder joins a server's books only new or empty.");
    if (!fs::exists(folder, ec) && !data::EnsureFolder(folder, &error)) return Refused(error);
    // Asked before anything is created there: a database without books is refused as is.
    ServerConnection plan;
    if (const std::string why = JoinRefusal(setting, keyring, plan); !why.empty())
        return Refused(why);

    if (!WriteFolderServer(folder, setting, &error)) return Refused(error);
    if (const std::string why = MountBooksOfFolder(folder, keyring); !why.empty()) {
        WriteFolderServer(folder, {});
        return Refused(why);
    }
    // The company in use: the one of the lowest number.
    MoveOutcome out;
    const std::string companies = data::FileblockName(folder, data::FileKind::Company);
    storage::Fileblock* fb = storage::OpenFileblock(companies, true);
    std::optional<data::CompanyRecord> first;
    long lowest = 0;
    for (int32_t n = fb ? storage::NextUsedRecord(fb, 0) : 0; n > 0 && storage::EngineOk;
         n = storage::NextUsedRecord(fb, n)) {
        data::CompanyRecord c;
        storage::GetRecord(fb, n, c.data());
        const long no =
            std::strtol(data::CompanyPrefix(c.text(data::Company::CompanyNo)).c_str(), nullptr, 10);
        if (no > 0 && (!first || no < lowest)) {
            first = c;
            lowest = no;
        }
    }
    if (fb) storage::CloseFileblock(fb);
    UnmountBooks(folder);
    if (!first || !data::WriteLastCompany(folder, *first, &error)) {
        WriteFolderServer(folder, {});
        return Refused(first ? "The company in use could not be written: " + error
                             : "The books on " + plan.where + " hold no company.");
    }
    out.ok = true;
    out.message = folder + " works in the books on the server " + plan.where + ".";
    return out;
}

MoveOutcome DownloadBooks(const std::string& folder, const std::string& target,
                          const std::function<void(const std::string&)>& status) {
    std::shared_ptr<storage::server::ServerBackend> server = BooksServer(folder);
    if (!server) return Refused("The books of " + folder + " are not on a server.");
    std::string error;
    const std::vector<std::string> names = ServerFileblocks(*server, error);
    if (!error.empty()) return Refused("The server cannot be read: " + error);
    if (fs::weakly_canonical(target) == fs::weakly_canonical(folder) ||
        fs::weakly_canonical(target).string().rfind(fs::weakly_canonical(folder).string() + "/",
                                                    0) == 0)
        return Refused("The books are written into a folder of their own, not into " + folder +
                       ".");
    if (!EmptyFolder(target, error)) return Refused(error + "; the books go into a new folder.");
    std::error_code ec;
    auto undo = [&](const std::string& why) {
        for (const auto& e : fs::directory_iterator(target, ec))
            fs::remove_all(e.path(), ec);
        return Refused(why);
    };
    MoveOutcome out;
    for (const std::string& name : names) {
        if (!data::KindFromFileblockName(name)) continue;
        if (status) status("Downloading " + name + "...");
        const std::string from = data::JoinPath(folder, name);
        const std::string to = data::JoinPath(target, name);
        if (!maintenance::CopyFileblock(from, to, &error))
            return undo("The download failed: " + error + ".");
        if (const std::string differs = maintenance::CompareFileblocks(from, to); !differs.empty())
            return undo("The downloaded books are not the same as the server's: " + differs + ".");
        ++out.fileblocks;
    }
    // The folder's settings and side files (the company in use among them) come along.
    for (const std::string& file : maintenance::CollectFileSet(folder)) {
        if (maintenance::IsFileblockFileName(file)) continue;
        fs::copy_file(data::JoinPath(folder, file), data::JoinPath(target, file), ec);
        if (ec) return undo("The file " + file + " could not be copied: " + ec.message() + ".");
    }
    // The side files everyone shares, as the server holds them.
    for (const std::string& name : data::SharedSideFilesOf(folder)) {
        const std::string from = data::JoinPath(folder, name);
        const std::optional<std::string> bytes = data::ReadSharedSideFile(from, &error);
        if (!bytes && !error.empty()) return undo(error + ".");
        if (bytes && !data::ReplaceFile(data::JoinPath(target, name), *bytes, &error))
            return undo(error + ".");
    }
    if (!WriteFolderServer(target, {}, &error))
        return undo("The settings of " + target + " could not be written: " + error + ".");
    // The company settings, as the server holds them, go into the new folder's file.
    {
        const std::optional<std::vector<data::SettingValue>> company =
            data::CompanySettingsElsewhere(folder, &error);
        if (!company) return undo("The company settings could not be read: " + error + ".");
        data::IniFile ini(data::IniFilePath(target));
        for (const data::SettingValue& v : *company)
            if (!ini.writeString(v.section, v.key, v.value, &error))
                return undo("The settings of " + target + " could not be written: " + error + ".");
    }
    out.ok = true;
    out.message = std::to_string(out.fileblocks) + " fileblocks are in " + target +
                  ", each compared record by record with the server's.";
    return out;
}

std::string TestServer(const ServerSetting& setting, platform::Keyring* keyring) {
    if (setting.connection.empty()) return "Enter the server's connection first.";
    const ServerConnection plan = PlanServerConnection(setting, keyring);
    if (!plan.error.empty()) return plan.error;
    pq::Connection probe;
    if (!probe.open(plan.conninfo, BooksSessionSettings()))
        return "The server " + plan.where + " cannot be reached: " + probe.error().message;
    // A database where the program never was has no tables of its own yet.
    pq::Result r;
    if (!probe.exec("SELECT to_regclass('invarro.fileblock') IS NOT NULL", r) || r.rows() != 1)
        return "The database " + plan.where + " cannot be read: " + probe.error().message;
    if (r.bytes(0, 0) != "t") return {};
    if (!probe.exec("SELECT EXISTS (SELECT 1 FROM invarro.fileblock)", r) || r.rows() != 1)
        return "The database " + plan.where + " cannot be read: " + probe.error().message;
    if (r.bytes(0, 0) == "t")
        return "The database " + plan.where +
               " holds books already; the books of a folder move only into an empty one.";
    return {};
}

std::string TestServerToJoin(const ServerSetting& setting, platform::Keyring* keyring) {
    ServerConnection plan;
    return JoinRefusal(setting, keyring, plan);
}

std::string BooksStatusLine(const std::string& folder) {
    std::shared_ptr<storage::server::ServerBackend> server = BooksServer(folder);
    if (!server) return {};
    pq::Result r;
    if (!server->connection().exec(
            "SELECT current_database(), count(*) FROM pg_stat_activity WHERE datname = "
            "current_database() AND application_name LIKE 'invarro%'",
            r) ||
        r.rows() != 1)
        return "Books on a server that does not answer";
    const std::string people(r.bytes(0, 1));
    return "Books on the server, database " + std::string(r.bytes(0, 0)) + ": " + people +
           (people == "1" ? " person" : " people") + " working";
}

std::vector<std::string> ProgramsInBooks(const std::string& folder) {
    std::vector<std::string> programs;
    std::shared_ptr<storage::server::ServerBackend> server = BooksServer(folder);
    if (!server) return programs;
    pq::Result r;
    if (!server->connection().exec(
            "SELECT application_name FROM pg_stat_activity WHERE datname = current_database() "
            "AND application_name LIKE 'invarro%' ORDER BY backend_start",
            r))
        return programs;
    for (int i = 0; i < r.rows(); ++i)
        programs.emplace_back(r.bytes(i, 0));
    return programs;
}

std::vector<std::string> BooksStatus(const std::string& folder, platform::Keyring* keyring) {
    std::vector<std::string> lines;
    const std::optional<ServerSetting> setting = FolderServer(folder);
    if (!setting) {
        lines.push_back("The books are in files in " + folder + ".");
        return lines;
    }
    const ServerConnection plan = PlanServerConnection(*setting, keyring);
    if (!plan.error.empty()) {
        lines.push_back("The books are on a server: " + plan.error);
        return lines;
    }
    lines.push_back(
        "The books are on the server " + plan.where +
        (plan.local ? " (on this machine)." : " (encrypted, the server's certificate checked)."));
    if (!BooksServer(folder)) {
        lines.push_back("The server cannot be reached.");
        return lines;
    }
    const std::vector<std::string> programs = ProgramsInBooks(folder);
    lines.push_back(std::to_string(programs.size()) +
                    (programs.size() == 1 ? " program is" : " programs are") +
                    " working in them (this one included):");
    for (const std::string& p : programs)
        lines.push_back("  " + p);
    return lines;
}

}  // namespace invarro::app
