// The program's side of "Books on a Server" and of the status bar's server panel: the
// folder's server setting, the test of a connection, the upload, and who works in the books.
#pragma once

#include <string>
#include <vector>

#include "platform/Keyring.h"
#include "ui/BooksServerDialog.h"

namespace invarro::ui {

class DesktopBooksServer : public BooksServerPort {
  public:
    DesktopBooksServer(std::string folder, platform::Keyring* keyring)
        : folder_(std::move(folder)), keyring_(keyring) {}
    bool onServer() override;
    std::vector<std::string> where() override;
    std::string test(const std::string& connection, const std::string& root) override;
    // Needs the engine stopped (the main window's hold on the company released); the books
    // are mounted on the server afterwards.
    std::string moveThere(const std::string& connection, const std::string& root,
                          std::string* done) override;
    std::string statusText() override;
    void ownSetting(std::string* connection, std::string* root) override;
    std::string testJoin(const std::string& connection, const std::string& root) override;
    std::string connectFolder(const std::string& folder, const std::string& connection,
                              const std::string& root, std::string* done) override;

  private:
    std::string folder_;
    platform::Keyring* keyring_;
};

}  // namespace invarro::ui
