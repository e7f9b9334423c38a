// Moving the books between a folder of files and a server: upload (a folder's books into an
// empty database, through the backup archive, verified record by record before the folder
// switches to the server), connect (one more person's folder on a server that holds
// books), download (the books into a new plain folder) and the status of a folder.
#pragma once

#include <string>
#include <vector>

#include "app/ServerBooks.h"
#include "platform/Archive.h"
#include "platform/Keyring.h"

namespace invarro::app {

// Where the files of the books are kept after they went to the server.
inline constexpr std::string_view kBeforeServerFolder = "Books before the server";

struct MoveOutcome {
    bool ok = false;
    std::string error;    // why not; nothing changed in the folder then
    std::string message;  // what was done
    int fileblocks = 0;   // fileblocks moved
};

// Needs the engine started and the folder not mounted. The folder's books (a folder of
// files) go into the database the setting names, which must hold no books. The folder's
// own data files then move into kBeforeServerFolder with the backup archive made of them,
// and the folder names the server. Every fileblock, side file and company setting goes into
// the database in one transaction: an upload that fails leaves the database empty.
MoveOutcome UploadBooks(const std::string& folder, const ServerSetting& setting,
                        platform::Keyring* keyring, platform::Archive& archive,
                        const std::function<void(const std::string&)>& status = {});

// The folder (new, or empty) becomes one more person's folder on a server that holds books;
// the company in use is the first company there.
MoveOutcome ConnectFolder(const std::string& folder, const ServerSetting& setting,
                          platform::Keyring* keyring);

// Needs the folder's server mounted. Writes every fileblock of the server into target (a new
// or empty folder) as files, compares them record by record, and copies the folder's own
// settings and side files beside them (without the server setting).
MoveOutcome DownloadBooks(const std::string& folder, const std::string& target,
                          const std::function<void(const std::string&)>& status = {});

// The programs working in the books of a mounted server, by the name they gave the server
// ("invarro-cli anna@desk"), this one included.
std::vector<std::string> ProgramsInBooks(const std::string& folder);

// "" when the server a setting names answers and its database can take books (holds
// none); else why not.
std::string TestServer(const ServerSetting& setting, platform::Keyring* keyring);

// "" when the server a setting names answers and its database holds books a folder can
// join; else why not.
std::string TestServerToJoin(const ServerSetting& setting, platform::Keyring* keyring);

// The status bar's words for books on a mounted server ("Books on anna@db:5432/books: 3
// people working"); "" for books in files.
std::string BooksStatusLine(const std::string& folder);

// Lines telling where the books of a folder are and who works in them.
std::vector<std::string> BooksStatus(const std::string& folder, platform::Keyring* keyring);

}  // namespace invarro::app
