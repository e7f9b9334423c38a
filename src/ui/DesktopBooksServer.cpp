#include "ui/DesktopBooksServer.h"

#include <filesystem>

#include "app/ServerBooks.h"
#include "app/ServerMove.h"
#include "platform/zip/ZipArchive.h"
#include "storage/Engine.h"

namespace invarro::ui {

bool DesktopBooksServer::onServer() {
    return app::FolderServer(folder_).has_value();
}

std::vector<std::string> DesktopBooksServer::where() {
    return app::BooksStatus(folder_, keyring_);
}

std::string DesktopBooksServer::test(const std::string& connection, const std::string& root) {
    return app::TestServer({connection, root}, keyring_);
}

std::string DesktopBooksServer::moveThere(const std::string& connection, const std::string& root,
                                          std::string* done) {
    storage::InitEngine(30);
    platform::zip::ZipArchive zip;
    const app::MoveOutcome moved = app::UploadBooks(folder_, {connection, root}, keyring_, zip);
    storage::ExitEngine();
    if (!moved.ok) return moved.error;
    // From now on the books open on the server.
    if (const std::string error = app::MountBooksOfFolder(folder_, keyring_); !error.empty())
        return moved.message + " " + error;
    *done = moved.message;
    return {};
}

std::string DesktopBooksServer::statusText() {
    return app::BooksStatusLine(folder_);
}

void DesktopBooksServer::ownSetting(std::string* connection, std::string* root) {
    const std::optional<app::ServerSetting> s = app::FolderServer(folder_);
    *connection = s ? s->connection : std::string();
    *root = s ? s->rootCertificate : std::string();
}

std::string DesktopBooksServer::testJoin(const std::string& connection, const std::string& root) {
    return app::TestServerToJoin({connection, root}, keyring_);
}

std::string DesktopBooksServer::connectFolder(const std::string& folder,
                                              const std::string& connection,
                                              const std::string& root, std::string* done) {
    if (!std::filesystem::path(folder).is_absolute())
        return "Give the folder's full path (starting with /).";
    // The folder's company is read from the server; the engine runs while the main window
    // has a company open, and is started for the while otherwise.
    const bool started = storage::EngineStarted();
    if (!started) storage::InitEngine(30);
    const app::MoveOutcome joined = app::ConnectFolder(folder, {connection, root}, keyring_);
    if (!started) storage::ExitEngine();
    if (!joined.ok) return joined.error;
    *done = joined.message + " Start Invarro with that folder to work there (invarro --data \"" +
            folder + "\").";
    return {};
}

}  // namespace invarro::ui
