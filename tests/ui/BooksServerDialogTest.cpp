// "Books on a Server" offscreen with a port double: what it shows for books in files and on
// a server, the test, and the move, which releases the main window's hold on the company
// first and takes it again afterwards, whatever the outcome.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdlib>

#include "support/QtApp.h"
#include "ui/BooksServerDialog.h"

namespace invarro::ui {
namespace {

struct FakePort : BooksServerPort {
    bool server = false;
    std::string refusal;  // what test and moveThere answer
    std::vector<std::string> calls;
    bool onServer() override { return server; }
    std::vector<std::string> where() override {
        return {server ? "The books are on the server anna@db/books." : "The books are in files.",
                "2 programs are working in them."};
    }
    std::string test(const std::string& c, const std::string& r) override {
        calls.push_back("test " + c + " | " + r);
        return refusal;
    }
    std::string moveThere(const std::string& c, const std::string& r, std::string* done) override {
        calls.push_back("move " + c + " | " + r);
        if (refusal.empty()) {
            server = true;
            *done = "moved";
        }
        return refusal;
    }
    std::string statusText() override { return server ? "Books on the server" : ""; }
    void ownSetting(std::string* c, std::string* r) override {
        *c = server ? "host=db dbname=books" : "";
        *r = server ? "/etc/ca.crt" : "";
    }
    std::string testJoin(const std::string& c, const std::string& r) override {
        calls.push_back("test join " + c + " | " + r);
        return refusal;
    }
    std::string connectFolder(const std::string& f, const std::string& c, const std::string& r,
                              std::string* done) override {
        calls.push_back("connect " + f + " to " + c + " | " + r);
        if (refusal.empty()) *done = "connected";
        return refusal;
    }
};

// Answers Yes to questions and records every text.
struct Recorder : platform::Prompter {
    std::vector<std::string> texts;
    platform::Answer answer = platform::Answer::Yes;
    platform::Answer ask(const platform::Message& m) override {
        texts.push_back(m.text);
        return m.buttons == platform::Buttons::Ok ? platform::Answer::Ok : answer;
    }
};

class BooksServerDialogTest : public ::testing::Test {
  protected:
    void SetUp() override { testing::QtApp(); }
    BooksServerContext context() {
        BooksServerContext c;
        c.port = &port;
        c.prompter = &prompter;
        c.closeCompanyFiles = [this](std::string*) {
            port.calls.push_back("close");
            return closes;
        };
        c.reopenCompany = [this] { port.calls.push_back("reopen"); };
        return c;
    }
    template <class W>
    W* find(QWidget& d, const char* name) {
        W* w = d.findChild<W*>(name);
        EXPECT_TRUE(w) << name;
        return w;
    }
    FakePort port;
    Recorder prompter;
    bool closes = true;
};

TEST_F(BooksServerDialogTest, BooksInFilesMoveToTheServerWithTheCompanyClosedMeanwhile) {
    TBooksServerDialog d(context());
    EXPECT_TRUE(d.whereText().contains("in files"));
    EXPECT_TRUE(d.whereText().contains("2 programs"));
    find<QLineEdit>(d, "Connection")->setText("  host=db dbname=books ");
    find<QLineEdit>(d, "RootCertificate")->setText("/etc/ca.crt");
    if (const char* folder = std::getenv("INVARRO_SCREENSHOTS"); folder && *folder)
        d.grab().save(QString(folder) + "/BooksServerDialog.png");

    port.refusal = "The database holds books already.";
    d.testPressed();
    EXPECT_EQ(port.calls.back(), "test host=db dbname=books | /etc/ca.crt");
    EXPECT_EQ(prompter.texts.back(), port.refusal);
    // A refused move leaves the books in files and the company open again.
    d.movePressed();
    EXPECT_EQ(port.calls,
              (std::vector<std::string>{"test host=db dbname=books | /etc/ca.crt", "close",
                                        "move host=db dbname=books | /etc/ca.crt", "reopen"}));
    EXPECT_EQ(prompter.texts.back(), port.refusal);
    EXPECT_TRUE(find<QPushButton>(d, "MoveButton")->isEnabled());

    port.refusal.clear();
    port.calls.clear();
    d.movePressed();
    EXPECT_EQ(port.calls.size(), 3u);
    EXPECT_EQ(prompter.texts.back(), "moved");
    // Now on the server: nothing more to move from here.
    EXPECT_TRUE(d.whereText().contains("on the server"));
    EXPECT_FALSE(find<QPushButton>(d, "MoveButton")->isEnabled());
    // ... and the note no longer explains a move it cannot make.
    EXPECT_FALSE(find<QLabel>(d, "MoveNote")->text().contains("To move"));
    EXPECT_TRUE(find<QLabel>(d, "MoveNote")->text().contains("give a new folder"));
}

// A new folder joins the books: the test then asks whether the server holds books, and
// the connection proposed on a server's folder is its own.
TEST_F(BooksServerDialogTest, ANewFolderJoinsTheBooksOnTheServerTheDialogNames) {
    port.server = true;
    TBooksServerDialog d(context());
    EXPECT_EQ(find<QLineEdit>(d, "Connection")->text(), "host=db dbname=books");
    EXPECT_EQ(find<QLineEdit>(d, "RootCertificate")->text(), "/etc/ca.crt");
    EXPECT_TRUE(find<QPushButton>(d, "ConnectButton")->isEnabled());
    if (const char* folder = std::getenv("INVARRO_SCREENSHOTS"); folder && *folder)
        d.grab().save(QString(folder) + "/BooksServerDialogOnServer.png");
    // Without a folder nothing is asked of the server.
    d.connectPressed();
    EXPECT_TRUE(port.calls.empty());
    EXPECT_NE(prompter.texts.back().find("Enter the new or empty folder"), std::string::npos);
    d.testPressed();
    EXPECT_EQ(port.calls.back(), "test join host=db dbname=books | /etc/ca.crt");
    EXPECT_NE(prompter.texts.back().find("holds books"), std::string::npos);
    find<QLineEdit>(d, "NewFolder")->setText(" /home/bert/books ");
    port.refusal =
        "/home/bert/books is not empty; a folder joins a server's books only new or "
        "empty.";
    d.connectPressed();
    EXPECT_EQ(port.calls.back(), "connect /home/bert/books to host=db dbname=books | /etc/ca.crt");
    EXPECT_EQ(prompter.texts.back(), port.refusal);
    EXPECT_EQ(find<QLineEdit>(d, "NewFolder")->text(), " /home/bert/books ");
    port.refusal.clear();
    d.connectPressed();
    EXPECT_EQ(prompter.texts.back(), "connected");
    EXPECT_EQ(find<QLineEdit>(d, "NewFolder")->text(), "");
    // No connection: said, nothing asked.
    find<QLineEdit>(d, "Connection")->clear();
    find<QLineEdit>(d, "NewFolder")->setText("/x");
    const size_t calls = port.calls.size();
    d.connectPressed();
    d.testPressed();
    EXPECT_EQ(port.calls.size(), calls);
    EXPECT_EQ(prompter.texts.back(), "Enter the server's connection first.");
}

TEST_F(BooksServerDialogTest, NothingMovesWithoutAConnectionAnAnswerOrTheCompanyClosed) {
    TBooksServerDialog d(context());
    d.movePressed();
    EXPECT_TRUE(port.calls.empty());
    find<QLineEdit>(d, "Connection")->setText("service=books");
    prompter.answer = platform::Answer::No;
    d.movePressed();
    EXPECT_TRUE(port.calls.empty());
    prompter.answer = platform::Answer::Yes;
    closes = false;
    d.movePressed();
    EXPECT_EQ(port.calls, std::vector<std::string>{"close"});
    EXPECT_FALSE(port.server);
}

}  // namespace
}  // namespace invarro::ui
