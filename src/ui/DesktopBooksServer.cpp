#include "ui/DesktopBooksServer.h"

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

}  // namespace invarro::ui
