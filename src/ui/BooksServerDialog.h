// TBooksServerDialog: "Books on a Server". Shows where the books of the data folder are and
// who works in them; for books in files it takes a server's connection, tests it, and
// moves the books there (the folder then works on the server). It also makes a new or empty
// folder one more person's folder on a server that holds books, as "server connect" does.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "platform/Prompter.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace invarro::ui {

// What the dialog does through the program around it.
class BooksServerPort {
  public:
    virtual ~BooksServerPort() = default;
    // Whether the folder's books are on a server, and lines saying where and who works in
    // them.
    virtual bool onServer() = 0;
    virtual std::vector<std::string> where() = 0;
    // "" when the server answers and can take the books; else why not.
    virtual std::string test(const std::string& connection, const std::string& rootCertificate) = 0;
    // Moves the books (the program's hold on them released); "" when done with *done saying
    // what was done, else why not.
    virtual std::string moveThere(const std::string& connection, const std::string& rootCertificate,
                                  std::string* done) = 0;
    // The short text of the main window's status bar ("" for books in files).
    virtual std::string statusText() = 0;
    // The data folder's own server setting (empty for books in files).
    virtual void ownSetting(std::string* connection, std::string* rootCertificate) = 0;
    // "" when the server answers and holds books a folder can join; else why not.
    virtual std::string testJoin(const std::string& connection,
                                 const std::string& rootCertificate) = 0;
    // Makes folder (new or empty) work in the books on the server; "" when done with *done
    // saying what was done, else why not.
    virtual std::string connectFolder(const std::string& folder, const std::string& connection,
                                      const std::string& rootCertificate, std::string* done) = 0;
};

struct BooksServerContext {
    BooksServerPort* port = nullptr;
    platform::Prompter* prompter = nullptr;
    // The main window's hold on the company, released while the books move.
    std::function<bool(std::string*)> closeCompanyFiles;
    std::function<void()> reopenCompany;
};

class TBooksServerDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TBooksServerDialog(BooksServerContext context, QWidget* parent = nullptr);

    void testPressed();
    void movePressed();
    void connectPressed();
    QString whereText() const;

  private:
    void refresh();

    BooksServerContext c_;
    QLabel* where_ = nullptr;
    QLabel* moveNote_ = nullptr;
    QLineEdit* connection_ = nullptr;
    QLineEdit* rootCertificate_ = nullptr;
    QPushButton* test_ = nullptr;
    QPushButton* move_ = nullptr;
    QLineEdit* newFolder_ = nullptr;
    QPushButton* connect_ = nullptr;
};

}  // namespace invarro::ui
