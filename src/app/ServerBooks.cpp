#include "app/ServerBooks.h"

#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>

#include "data/Ansi.h"
#include "data/BooksAlone.h"
#include "data/Files.h"
#include "data/IniFile.h"
#include "data/Money.h"
#include "data/SideFiles.h"
#include "storage/Backend.h"
#include "storage/Transaction.h"
#include "storage/server/Conninfo.h"

namespace invarro::app {

namespace {

std::map<std::string, std::shared_ptr<storage::server::ServerBackend>> gMounted;

// Every program working in the books holds this advisory lock shared for its session; a
// job that needs the books to itself takes it exclusively, which it gets only while no
// other session holds it.
constexpr const char* kBooksLock = "7304192";

bool Yes(pq::Connection& c, const std::string& sql) {
    pq::Result r;
    return c.exec(sql, r) && r.rows() == 1 && r.bytes(0, 0) == "t";
}

// A job's hold of the books alone, per mounted folder: wanted while the job runs; lost when
// the connection went and, by the time it was back, others were working in the books.
struct Alone {
    bool wanted = false;
    std::string lost;  // the sentence saying so; empty while the books are the job's
};
std::map<std::string, Alone> gAlone;

std::string Plain(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

// "2 other programs are working in the books on the server (invarro anna@desk, ...)"; in
// the past tense ("... were working ..."), for the middle of a sentence.
std::string OthersWorking(pq::Connection& c, bool past) {
    const std::vector<std::string> others = OthersInBooks(c);
    std::string names;
    for (const std::string& o : others)
        names += (names.empty() ? "" : ", ") + o;
    const size_t n = others.size();
    const std::string verb = n == 1 || n == 0 ? (past ? " was" : " is") : (past ? " were" : " are");
    return (n == 0 ? std::string(past ? "another program" : "Another program")
                   : std::to_string(n) + (n == 1 ? " other program" : " other programs")) +
           verb + " working in the books on the server" + (names.empty() ? "" : " (" + names + ")");
}

std::string TakeBooksAlone(const std::string& folder) {
    std::shared_ptr<storage::server::ServerBackend> server = BooksServer(folder);
    if (!server) return {};
    pq::Connection& c = server->connection();
    // A program that has just closed holds the lock, and may still be listed, a moment
    // after it went (its server process ends after it, later on a busy server): the lock is
    // asked for again for about two seconds before the job is refused. A connection found
    // lost is made again (with the shared lock, as every new session) and asked again, so
    // that the answer is the server's.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (!c.isOpen()) {
            pq::Result ignored;
            server->statement("SELECT 1", pq::Params(), ignored);
            storage::ResetStatus();
            if (!c.isOpen())
                return "The server cannot be reached, and this job needs the books to itself: "
                       "try again when the server is back.";
        }
        if (Yes(c, std::string("SELECT pg_try_advisory_lock(") + kBooksLock + ")")) {
            gAlone[Plain(folder)] = Alone{true, {}};
            return {};
        }
        if (!c.isOpen()) continue;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return OthersWorking(c, false) +
           ". This job needs the books to itself: ask everyone to close Invarro, then try "
           "again.";
}

// The session hook of a mounted folder: a new session (after the connection was lost)
// takes the books' lock again. While a job has the books alone it takes them alone again,
// exclusively: when others came in meanwhile the job has lost them, and the program stays
// unconnected until the job ends, so that nothing more of the job is done under the
// shared lock.
bool HoldBooksAgain(const std::string& folder, pq::Connection& c) {
    const std::string shared =
        std::string("SELECT pg_try_advisory_lock_shared(") + kBooksLock + ")";
    auto it = gAlone.find(folder);
    if (it == gAlone.end() || !it->second.wanted) return Yes(c, shared);
    Alone& alone = it->second;
    if (!alone.lost.empty()) return false;
    if (Yes(c, std::string("SELECT pg_try_advisory_lock(") + kBooksLock + ")") && Yes(c, shared))
        return true;
    alone.lost =
        "The connection to the server was lost while this job had the books to itself, "
        "and by the time it was back " +
        OthersWorking(c, true) + ". The job stopped.";
    return false;
}

// The shared side file a path names ("KRTERMS.DAT"), when its folder's books are on a
// mounted server; else empty.
std::string SharedName(const std::string& path,
                       std::shared_ptr<storage::server::ServerBackend>* server) {
    const std::filesystem::path p(path);
    const std::string file = p.filename().string();
    if (data::IsSharedPictureName(file)) {
        std::shared_ptr<storage::server::ServerBackend> found =
            BooksServer(p.parent_path().string());
        if (!found) return {};
        if (server) *server = std::move(found);
        return file;
    }
    for (std::string_view name : data::kSharedSideFiles)
        if (data::UpperText(file) == data::UpperText(name)) {
            std::shared_ptr<storage::server::ServerBackend> found =
                BooksServer(p.parent_path().string());
            if (!found) return {};
            if (server) *server = std::move(found);
            return std::string(name);
        }
    return {};
}

std::optional<std::string> ReadSharedOnServer(const std::string& path, std::string* error) {
    std::shared_ptr<storage::server::ServerBackend> server;
    const std::string name = SharedName(path, &server);
    pq::Result r;
    if (name.empty() ||
        !server->connection().query("SELECT bytes FROM invarro.side_file WHERE name = $1",
                                    pq::Params().bytes(name), r)) {
        if (error) *error = "The server could not be asked for " + name;
        return std::nullopt;
    }
    if (r.rows() == 0) return std::nullopt;
    return std::string(r.bytes(0, 0));
}

bool WriteSharedOnServer(const std::string& path, std::string_view bytes, std::string* error) {
    std::shared_ptr<storage::server::ServerBackend> server;
    const std::string name = SharedName(path, &server);
    if (!name.empty() && StoreSideFile(*server, name, bytes)) {
        // A picture is read by its path: the folder keeps a copy of what the server holds.
        // Inside a transaction, which may yet be undone, the caller writes the copy once it
        // has been committed.
        return !data::IsSharedPictureName(name) || storage::InTransaction() ||
               data::ReplaceFile(path, bytes, error);
    }
    if (error)
        *error = name + " could not be written on the server: " +
                 (server ? server->connection().error().message : std::string("not mounted"));
    return false;
}

// The company settings of a mounted folder, as the server holds them.
std::optional<std::vector<data::SettingValue>> ReadSettingsOnServer(const std::string& folder,
                                                                    std::string* error) {
    std::shared_ptr<storage::server::ServerBackend> server = BooksServer(folder);
    if (!server) {
        if (error) *error = "the books are not on a server";
        return std::nullopt;
    }
    std::vector<data::SettingValue> values;
    if (!ReadCompanySettings(server->connection(), values)) {
        if (error) *error = server->connection().error().message;
        return std::nullopt;
    }
    return values;
}

bool WriteSettingsOnServer(const std::string& folder, const std::vector<data::SettingValue>& values,
                           std::string* error) {
    std::shared_ptr<storage::server::ServerBackend> server = BooksServer(folder);
    if (server && StoreCompanySettings(*server, values)) return true;
    if (error)
        *error = "the company settings could not be written on the server: " +
                 (server ? server->connection().error().message : std::string("not mounted"));
    return false;
}

bool ReplaceSettingsOnServer(const std::string& folder,
                             const std::vector<data::SettingValue>& values, std::string* error) {
    std::shared_ptr<storage::server::ServerBackend> server = BooksServer(folder);
    std::string why = "not mounted";
    if (server && ReplaceCompanySettings(*server, values, &why)) return true;
    if (error) *error = "the company settings could not be written on the server: " + why;
    return false;
}

// The names of the pictures the server keeps.
std::vector<std::string> PicturesOnServer(const std::string& folder) {
    std::vector<std::string> names;
    std::shared_ptr<storage::server::ServerBackend> server = BooksServer(folder);
    pq::Result r;
    if (server && server->connection().query("SELECT name FROM invarro.side_file ORDER BY name",
                                             pq::Params(), r))
        for (int i = 0; i < r.rows(); ++i)
            if (data::IsSharedPictureName(r.bytes(i, 0))) names.emplace_back(r.bytes(i, 0));
    return names;
}

void ReleaseBooksAlone(const std::string& folder) {
    // A job that lost the books holds nothing: its program connects again at its next
    // operation, with the shared lock as everyone.
    const Alone alone = gAlone[Plain(folder)];
    gAlone.erase(Plain(folder));
    if (!alone.lost.empty()) return;
    if (std::shared_ptr<storage::server::ServerBackend> server = BooksServer(folder);
        server && server->connection().isOpen())
        server->connection().exec(std::string("SELECT pg_advisory_unlock(") + kBooksLock + ")");
}

std::string BooksAloneLost(const std::string& folder) {
    auto it = gAlone.find(Plain(folder));
    return it == gAlone.end() ? std::string() : it->second.lost;
}

std::vector<std::string> SplitCommas(const std::string& text) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        const size_t comma = text.find(',', from);
        parts.push_back(text.substr(from, comma == std::string::npos ? comma : comma - from));
        if (comma == std::string::npos) return parts;
        from = comma + 1;
    }
}

std::string LoginName() {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name) return pw->pw_name;
    if (const char* user = std::getenv("USER"); user && *user) return user;
    return "unknown";
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !name[0]) return "localhost";
    return name;
}

std::string HomeFile(const char* relative) {
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/" + relative : std::string();
}

}  // namespace

std::optional<ServerSetting> FolderServer(const std::string& folder) {
    const data::IniFile ini(data::IniFilePath(folder));
    ServerSetting s;
    s.connection = ini.readString(kServerSection, kServerConnectionKey, "");
    if (s.connection.empty()) return std::nullopt;
    s.rootCertificate = ini.readString(kServerSection, kServerRootCertificateKey, "");
    return s;
}

bool WriteFolderServer(const std::string& folder, const ServerSetting& setting,
                       std::string* error) {
    data::IniFile ini(data::IniFilePath(folder));
    return ini.write(kServerSection,
                     {{std::string(kServerConnectionKey), setting.connection},
                      {std::string(kServerRootCertificateKey), setting.rootCertificate}},
                     error);
}

bool IsLocalHost(std::string_view host) {
    if (host.empty() || host.front() == '/' || host.front() == '@') return true;
    if (host == "localhost" || host == "::1") return true;
    return host.substr(0, 4) == "127.";
}

ServerConnection PlanServerConnection(const ServerSetting& setting, platform::Keyring* keyring) {
    ServerConnection plan;
    pq::Options written;
    std::string why;
    if (!pq::ParseConninfo(setting.connection, written, &why)) {
        plan.error = "The server connection \"" + setting.connection + "\" cannot be read: " + why;
        return plan;
    }
    if (!pq::OptionValue(written, "password").empty()) {
        plan.error =
            "The server connection in the data folder's settings holds a password. Remove it "
            "from there: the password belongs in the desktop keyring or in ~/.pgpass.";
        return plan;
    }
    pq::Options effective;
    if (!pq::EffectiveConninfo(setting.connection, effective, &why)) {
        plan.error = "The server connection \"" + setting.connection + "\" cannot be used: " + why;
        return plan;
    }
    // Every host the connection may go to; a host address, when given, is where it goes.
    const std::vector<std::string> hosts = SplitCommas(pq::OptionValue(effective, "host"));
    const std::vector<std::string> addrs = SplitCommas(pq::OptionValue(effective, "hostaddr"));
    plan.local = true;
    for (size_t i = 0; i < std::max(hosts.size(), addrs.size()); ++i) {
        const std::string addr = i < addrs.size() ? addrs[i] : std::string();
        const std::string host = i < hosts.size() ? hosts[i] : std::string();
        if (!IsLocalHost(addr.empty() ? host : addr)) plan.local = false;
    }
    const std::string host = pq::OptionValue(effective, "host");
    const std::string port = pq::OptionValue(effective, "port");
    const std::string user = pq::OptionValue(effective, "user");
    const std::string dbname = pq::OptionValue(effective, "dbname");
    plan.where = user + "@" + (host.empty() ? std::string("localhost") : host) +
                 (port.empty() ? std::string() : ":" + port) + "/" + dbname;

    pq::Options use = effective;
    if (!plan.local) {
        std::string root = setting.rootCertificate;
        if (root.empty()) root = pq::OptionValue(effective, "sslrootcert");
        if (root.empty()) root = HomeFile(".postgresql/root.crt");
        std::error_code ec;
        if (root.empty() || !std::filesystem::is_regular_file(root, ec)) {
            plan.error =
                "The server " + plan.where +
                " is not on this machine, so the connection must be encrypted and the "
                "server's certificate checked. Name the root certificate file (of the "
                "authority that signed the server's certificate) in the data folder's settings, "
                "[Server] RootCertificate=" +
                (root.empty() ? std::string() : " (" + root + " is not there)") + ".";
            plan.where.clear();
            return plan;
        }
        pq::SetOption(use, "sslmode", "verify-full");
        pq::SetOption(use, "sslrootcert", root);
    }
    if (keyring && keyring->available()) {
        if (std::optional<std::string> password = keyring->lookup(plan.where);
            password && !password->empty())
            pq::SetOption(use, "password", *password);
    }
    plan.conninfo = pq::JoinConninfo(use);
    return plan;
}

pq::SessionSettings BooksSessionSettings(std::string_view program) {
    pq::SessionSettings s;
    s.applicationName = std::string(program) + " " + LoginName() + "@" + HostName();
    // INVARRO_LOCK_TIMEOUT (milliseconds, 100 to 600000) shortens or lengthens the wait for
    // a row another program holds, e.g. for scripts that would rather give up soon.
    if (const char* ms = std::getenv("INVARRO_LOCK_TIMEOUT"))
        if (const auto n = data::WholeNumber(ms); n && *n >= 100 && *n <= 600000)
            s.lockTimeoutMs = int(*n);
    return s;
}

std::string MountBooksOfFolder(const std::string& folder, platform::Keyring* keyring,
                               std::string_view program) {
    UnmountBooks(folder);
    const std::optional<ServerSetting> setting = FolderServer(folder);
    if (!setting) return {};
    const ServerConnection plan = PlanServerConnection(*setting, keyring);
    if (!plan.error.empty()) return plan.error;
    auto backend = std::make_shared<storage::server::ServerBackend>();
    if (!backend->connect(plan.conninfo, BooksSessionSettings(program))) {
        std::string why = backend->error();
        while (!why.empty() && (why.back() == '\n' || why.back() == ' '))
            why.pop_back();
        return "The books of the data folder " + folder + " are on the server " + plan.where +
               ", which cannot be reached: " + why;
    }
    if (!EnsureSideFileTable(backend->connection())) {
        std::string why = backend->connection().error().message;
        return "The books on the server " + plan.where + " cannot be used: " + why;
    }
    if (!Yes(backend->connection(),
             std::string("SELECT pg_try_advisory_lock_shared(") + kBooksLock + ")"))
        return "Another program has the books on the server " + plan.where +
               " to itself (a restore, a rebuild, a purge or the deletion of a company). Try "
               "again when it has finished.";
    // A new session after the connection was lost holds no lock: the books' is taken
    // again, else a job needing the books alone would start while this program works in them.
    // Refused (such a job started meanwhile), the program stays unconnected until it ends.
    backend->setSessionAgain(
        [mounted = Plain(folder)](pq::Connection& c) { return HoldBooksAgain(mounted, c); });
    storage::MountBackend(folder, backend);
    gMounted[Plain(folder)] = backend;
    data::SetBooksAloneLock({TakeBooksAlone, ReleaseBooksAlone, BooksAloneLost});
    data::SetSharedSideFileStore(
        {[](const std::string& path) { return !SharedName(path, nullptr).empty(); },
         PicturesOnServer, ReadSharedOnServer, WriteSharedOnServer});
    // The pictures are read by their paths: the folder gets a copy of each the server keeps.
    for (const std::string& name : PicturesOnServer(folder)) {
        const std::string path = data::JoinPath(folder, name);
        const std::optional<std::string> bytes = ReadSharedOnServer(path, nullptr);
        if (bytes && data::ReadSideFile(path, nullptr, data::kPictureLimit) != bytes)
            data::ReplaceFile(path, *bytes);
    }
    data::SetCompanySettingsStore({[](const std::string& f) { return BooksServer(f) != nullptr; },
                                   ReadSettingsOnServer, WriteSettingsOnServer,
                                   ReplaceSettingsOnServer});
    return {};
}

bool EnsureSideFileTable(pq::Connection& connection) {
    // Made once; a program finding them there runs no DDL.
    pq::Result r;
    if (connection.exec("SELECT to_regclass('invarro.side_file') IS NOT NULL AND "
                        "to_regclass('invarro.setting') IS NOT NULL",
                        r) &&
        r.rows() == 1 && r.bytes(0, 0) == "t")
        return true;
    // Sections and keys are found regardless of letter case, as in the settings file.
    return connection.exec(
        "CREATE TABLE IF NOT EXISTS invarro.side_file (name text PRIMARY KEY, bytes bytea NOT "
        "NULL); CREATE TABLE IF NOT EXISTS invarro.setting (section text NOT NULL, key text "
        "NOT NULL, value text NOT NULL); CREATE UNIQUE INDEX IF NOT EXISTS setting_name ON "
        "invarro.setting ((upper(section)), (upper(key)))");
}

bool ReadCompanySettings(pq::Connection& connection, std::vector<data::SettingValue>& values) {
    pq::Result r;
    if (!connection.query("SELECT section, key, value FROM invarro.setting ORDER BY section, key",
                          pq::Params(), r))
        return false;
    values.clear();
    for (int i = 0; i < r.rows(); ++i)
        values.push_back(
            {std::string(r.bytes(i, 0)), std::string(r.bytes(i, 1)), std::string(r.bytes(i, 2))});
    return true;
}

bool StoreCompanySettings(storage::server::ServerBackend& server,
                          const std::vector<data::SettingValue>& values) {
    if (values.empty()) return true;
    // One statement: every value or none, and each row on its own, so that two people
    // changing different settings at once both keep theirs.
    std::string sql = "INSERT INTO invarro.setting (section, key, value) VALUES ";
    pq::Params params;
    for (size_t i = 0; i < values.size(); ++i) {
        const std::string n = std::to_string(3 * i + 1);
        sql += (i ? ", ($" : "($") + n + "::text, $" + std::to_string(3 * i + 2) + "::text, $" +
               std::to_string(3 * i + 3) + "::text)";
        params.bytes(values[i].section).bytes(values[i].key).bytes(values[i].value);
    }
    sql += " ON CONFLICT ((upper(section)), (upper(key))) DO UPDATE SET value = EXCLUDED.value";
    pq::Result r;
    return server.statement(sql, params, r);
}

bool StoreSideFile(storage::server::ServerBackend& server, const std::string& name,
                   std::string_view bytes) {
    pq::Result r;
    return server.statement(
        "INSERT INTO invarro.side_file (name, bytes) VALUES ($1, $2) ON CONFLICT (name) DO "
        "UPDATE SET bytes = EXCLUDED.bytes",
        pq::Params().bytes(name).bytes(bytes), r);
}

bool ReplaceCompanySettings(storage::server::ServerBackend& server,
                            const std::vector<data::SettingValue>& values, std::string* error) {
    const bool own = !storage::InTransaction();
    pq::Result r;
    if ((!own || storage::BeginTransaction()) &&
        server.statement("DELETE FROM invarro.setting", pq::Params(), r) &&
        StoreCompanySettings(server, values) && (!own || storage::CommitTransaction()))
        return true;
    if (error) *error = server.connection().error().message;
    if (own && storage::InTransaction()) storage::RollbackTransaction();
    return false;
}

std::vector<std::string> OthersInBooks(storage::server::ServerBackend& server) {
    return OthersInBooks(server.connection());
}

std::vector<std::string> OthersInBooks(pq::Connection& connection) {
    std::vector<std::string> others;
    pq::Result r;
    if (connection.exec(
            "SELECT application_name FROM pg_stat_activity WHERE datname = current_database() "
            "AND application_name LIKE 'invarro%' AND pid <> pg_backend_pid() ORDER BY "
            "backend_start",
            r))
        for (int i = 0; i < r.rows(); ++i)
            others.emplace_back(r.bytes(i, 0));
    return others;
}

std::shared_ptr<storage::server::ServerBackend> BooksServer(const std::string& folder) {
    auto it = gMounted.find(Plain(folder));
    return it == gMounted.end() ? nullptr : it->second;
}

void UnmountBooks(const std::string& folder) {
    gAlone.erase(Plain(folder));
    if (gMounted.erase(Plain(folder))) storage::MountBackend(folder, nullptr);
}

}  // namespace invarro::app
