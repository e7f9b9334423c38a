// Books on a server from the user's seat: the demo's books moved to a test cluster with
// Tools > Books on a Server, and a new folder connected to them from the same dialog, the
// fields typed and the buttons pressed with their keys; the errors a person meets on the
// way (no connection, a server that does not answer, a folder that is not empty).

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <cstdlib>
#include <filesystem>

#include "app/ServerBooks.h"
#include "e2e/Road.h"
#include "e2e/ServerSeat.h"
#include "support/PgCluster.h"
#include "ui/DesktopBooksServer.h"

namespace invarro::testing {
namespace {

namespace fs = std::filesystem;

class ServerRoad : public RoadTest {
  protected:
    void SetUp() override {
        INVARRO_NEED_CLUSTER(cluster);
        RoadTest::SetUp();
    }
    void TearDown() override {
        RoadTest::TearDown();
        if (!folder.empty()) app::UnmountBooks(folder);
    }
    ui::BooksServerPort* booksServer(const std::string& f) override {
        port = std::make_unique<ui::DesktopBooksServer>(f, nullptr);
        return port.get();
    }
    // Types into a field as a person does: focus it, select what is there, type.
    static void TypeInto(QWidget* dialog, const char* name, const std::string& text) {
        auto* field = Named<QLineEdit>(dialog, name);
        ASSERT_NE(field, nullptr) << name;
        field->setFocus();
        field->selectAll();
        Press(Qt::Key_Delete);
        Type(QString::fromStdString(text));
    }
    PgCluster* cluster = nullptr;
    std::unique_ptr<ui::DesktopBooksServer> port;
};

TEST_F(ServerRoad, TheBooksMoveToAServerAndANewFolderJoinsThem) {
    ASSERT_TRUE(cluster->createDatabase("road_books"));
    const std::string conninfo = cluster->connectionString("road_books");
    std::string closed = conninfo;
    const std::string port = std::to_string(cluster->port());
    closed.replace(closed.find(port), port.size(), std::to_string(cluster->port() + 1));
    const std::string second = dir.file("second");
    fs::create_directories(second + "/something");

    openFromMenu("Tools", "Books on a Server...", [&](QWidget* d) {
        EXPECT_NE(Named<QLabel>(d, "WhereTheBooksAre")->text().toStdString().find("files"),
                  std::string::npos);
        // Nothing typed: said, nothing asked of any server.
        OnMessage([&] { Press(Qt::Key_T, Qt::AltModifier); }, "Enter the server's connection");
        TypeInto(d, "Connection", closed);
        OnMessage([&] { Press(Qt::Key_T, Qt::AltModifier); }, "cannot be reached");
        TypeInto(d, "Connection", conninfo);
        OnMessage([&] { Press(Qt::Key_T, Qt::AltModifier); }, "the database is empty");
        OnModals([&] { Press(Qt::Key_M, Qt::AltModifier); },
                 {[&](QWidget* ask) { ClickButton(ask, "Yes"); },
                  [&](QWidget* done) {
                      auto* box = qobject_cast<QMessageBox*>(done);
                      ASSERT_NE(box, nullptr) << Describe(done);
                      EXPECT_NE(box->text().toStdString().find("compared record by record"),
                                std::string::npos)
                          << box->text().toStdString();
                      ClickButton(box, "OK");
                  }});
        EXPECT_NE(Named<QLabel>(d, "WhereTheBooksAre")->text().toStdString().find("server"),
                  std::string::npos);

        // A folder that holds something does not join; an empty one does.
        TypeInto(d, "NewFolder", second);
        OnMessage([&] { Press(Qt::Key_T, Qt::AltModifier); }, "holds books");
        OnMessage([&] { Press(Qt::Key_N, Qt::AltModifier); }, "is not empty");
        fs::remove(second + "/something");
        OnMessage([&] { Press(Qt::Key_N, Qt::AltModifier); }, "works in the books on the server");
        EXPECT_EQ(Named<QLineEdit>(d, "NewFolder")->text(), "");
        Press(Qt::Key_Escape);
    });
    EXPECT_TRUE(app::FolderServer(folder));
    EXPECT_TRUE(app::FolderServer(second));
    EXPECT_TRUE(fs::exists(second + "/LastCo.Dat"));
    auto* panel = Named<QLabel>(form.get(), "ServerPanel");
    ASSERT_NE(panel, nullptr);
    EXPECT_NE(panel->text().toStdString().find("working"), std::string::npos)
        << panel->text().toStdString();
    ExpectServerPanelWholeAtNarrowest(*form, "main-window-narrowest-on-a-server");
    // The company's windows work on the server's books, and show what another program
    // posts there meanwhile: the command line on the second folder saves an invoice while
    // the invoice list is open here.
    openFromMain("Invoices", [&](QWidget* manager) {
        auto* list = Named<ui::TIndexBrowser>(manager, "InvBrowser1");
        ASSERT_NE(list, nullptr);
        EXPECT_GT(RowsShown(list).size(), 10u);
        const std::string memo = "Posted from the other program";
        const std::string command = std::string("'") + INVARRO_CLI + "' --data '" + second +
                                    "' --yes invoice new --customer 101 --line BC-500:1 --memo '" +
                                    memo + "' > '" + dir.file("number.txt") + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        const std::string number = ReadFileBytes(dir.file("number.txt"));
        ASSERT_FALSE(number.empty());
        const std::string shown = number.substr(0, number.find('\n'));
        // The list keeps its row; the newest invoice is at its end.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                list->setFocus();
                Press(Qt::Key_End, Qt::ControlModifier);
                return RowHolding(list, shown) != 0;
            },
            5000))
            << "invoice " << shown << " does not show in the open list";
        KeepPicture(manager, "invoice-manager-on-a-server");
        ClickButton(manager, "Close");
    });
}

}  // namespace
}  // namespace invarro::testing
