// Where the books are: a data folder whose settings name a PostgreSQL server keeps only what
// is one person's on this machine (window positions, the label queue, PDFs, the company in
// use); every fileblock of every company lives in the server's database.
//
// The folder's "invarro.ini" names the server in section [Server]: "Connection" is a libpq
// connection string, URI or "service=NAME" (never with a password in it), and
// "RootCertificate" the file of the certificate authority that signed the server's
// certificate. The password comes from the desktop keyring (under "user@host:port/database")
// or from libpq's own ~/.pgpass. A server that is not on this machine is reached only
// encrypted with its certificate and name checked (sslmode=verify-full).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/IniFile.h"
#include "platform/Keyring.h"
#include "storage/server/Pq.h"
#include "storage/server/ServerBackend.h"

namespace invarro::app {

inline constexpr std::string_view kServerSection = data::kServerSettingsSection;
inline constexpr std::string_view kServerConnectionKey = "Connection";
inline constexpr std::string_view kServerRootCertificateKey = "RootCertificate";

// What a folder's settings say about the server.
struct ServerSetting {
    std::string connection;       // the connection string as written
    std::string rootCertificate;  // the root certificate file; empty: libpq's own choice
};

// The folder's server; nothing when the folder keeps its books in files.
std::optional<ServerSetting> FolderServer(const std::string& folder);
// Writes (or, with an empty connection, removes) the folder's server setting.
bool WriteFolderServer(const std::string& folder, const ServerSetting& setting,
                       std::string* error = nullptr);

// Whether a host named in a connection is this machine: a Unix socket folder ("/run/..."
// or "@abstract"), localhost, 127.0.0.0/8 or ::1. An empty host is the default socket.
bool IsLocalHost(std::string_view host);

// How the program connects to a server, decided before it does.
struct ServerConnection {
    std::string conninfo;  // the string to connect with (password included when given)
    std::string where;     // "user@host:port/database", for messages and the keyring
    bool local = false;    // every host is this machine
    std::string error;     // why it may not connect; the rest is empty then
};

// Reads the setting's connection string, applies the service file and environment, and
// adds what this program requires: verify-full and the root certificate for a server not
// on this machine, and the password the keyring holds for it (keyring may be null).
ServerConnection PlanServerConnection(const ServerSetting& setting,
                                      platform::Keyring* keyring = nullptr);

// The session settings of the books: lock and idle limits, keepalives, and the name the
// server shows for the program ("invarro <user>@<host>").
pq::SessionSettings BooksSessionSettings(std::string_view program = "invarro");

// Connects to the server a folder names and mounts it on the folder, so that every
// fileblock opened there lives in the database. Call it right after the data folder is
// known and before anything opens a fileblock. Returns "" when mounted or when the folder
// names no server, else the message to show (and nothing is mounted).
std::string MountBooksOfFolder(const std::string& folder, platform::Keyring* keyring = nullptr,
                               std::string_view program = "invarro");
// The programs other than this one working in the books on a server, by the name they gave
// the server ("invarro anna@desk").
std::vector<std::string> OthersInBooks(storage::server::ServerBackend& server);
std::vector<std::string> OthersInBooks(pq::Connection& connection);

// The table of the side files every person working in the books shares (payment terms,
// colours), made when missing.
bool EnsureSideFileTable(pq::Connection& connection);
// The statements below run inside the engine's transaction when one is open (made or undone
// with the fileblocks), else each on its own; false with server.connection().error() set.
// A side file stored on the server.
bool StoreSideFile(storage::server::ServerBackend& server, const std::string& name,
                   std::string_view bytes);
// The company settings kept on the server (table invarro.setting, made with the side files'),
// and values stored there, all in one statement.
bool ReadCompanySettings(pq::Connection& connection, std::vector<data::SettingValue>& values);
bool StoreCompanySettings(storage::server::ServerBackend& server,
                          const std::vector<data::SettingValue>& values);
// All company settings replaced by values, all or nothing: in the open transaction, or in one
// of its own.
bool ReplaceCompanySettings(storage::server::ServerBackend& server,
                            const std::vector<data::SettingValue>& values,
                            std::string* error = nullptr);

// The server mounted on a folder; null when its books are files.
std::shared_ptr<storage::server::ServerBackend> BooksServer(const std::string& folder);
void UnmountBooks(const std::string& folder);

}  // namespace invarro::app
