// Books on a server for the roads: the demo's books moved to a database of the test
// program's own PostgreSQL cluster with the command line, as a person moves them (server
// upload), more folders joined to them (server connect), and the command line run in a
// folder as another program working in the same books.
#pragma once

#include <gtest/gtest.h>

#include <QLabel>
#include <QStatusBar>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/ServerBooks.h"
#include "e2e/Road.h"
#include "support/Command.h"
#include "support/PgCluster.h"
#include "ui/DesktopBooksServer.h"

namespace invarro::testing {

// Runs invarro-cli on a folder (answering its questions Yes); what it printed, both streams.
inline CommandResult RunCli(const std::string& folder, const std::string& args) {
    return RunCommand("(" + ShellQuote(INVARRO_CLI) + " --data " + ShellQuote(folder) + " --yes " +
                      args + " 2>&1)");
}

// The cluster of the test program; skips the test without one, or fails it when a cluster
// is required (INVARRO_REQUIRE_PG, as on CI).
#define INVARRO_NEED_CLUSTER(cluster)                                                \
    do {                                                                             \
        (cluster) = SharedPgCluster();                                               \
        if (!(cluster)) {                                                            \
            if (PgRequired()) FAIL() << "the PostgreSQL test cluster did not start"; \
            GTEST_SKIP() << "no PostgreSQL test cluster";                            \
        }                                                                            \
    } while (false)

// Moves the books of folder (files) into a new database of the cluster and mounts them in
// this program; every folder of joining (new, empty) is connected to the same books. The
// connection string is given in *conninfo.
inline void PutBooksOnServer(PgCluster& cluster, const std::string& folder,
                             const std::vector<std::string>& joining,
                             std::string* conninfo = nullptr) {
    static int databases = 0;
    const std::string name =
        "road_" + std::to_string(::getpid()) + "_" + std::to_string(++databases);
    ASSERT_TRUE(cluster.createDatabase(name)) << cluster.error();
    const std::string connection = cluster.connectionString(name);
    const CommandResult up = RunCli(folder, "server upload " + ShellQuote(connection));
    ASSERT_EQ(up.status, 0) << up.output;
    for (const std::string& other : joining) {
        const CommandResult joined = RunCli(other, "server connect " + ShellQuote(connection));
        ASSERT_EQ(joined.status, 0) << joined.output;
    }
    const std::string error = app::MountBooksOfFolder(folder);
    ASSERT_EQ(error, "");
    if (conninfo) *conninfo = connection;
}

// Connects folder (new, or empty) to the books on the server and mounts them in this
// program, as one more person working there.
inline void JoinBooksOnServer(const std::string& folder, const std::string& conninfo) {
    const CommandResult joined = RunCli(folder, "server connect " + ShellQuote(conninfo));
    ASSERT_EQ(joined.status, 0) << joined.output;
    ASSERT_EQ(app::MountBooksOfFolder(folder), "");
}

// Made as narrow as it goes, the main window still shows the whole server panel of its
// status bar (and lays nothing over it); its size is put back after.
inline void ExpectServerPanelWholeAtNarrowest(ui::TMainForm& form, const char* picture) {
    auto* panel = Named<QLabel>(&form, "ServerPanel");
    ASSERT_NE(panel, nullptr) << "no server panel";
    const QSize before = form.size();
    form.resize(1, form.height());
    QTest::qWait(100);
    KeepPicture(&form, picture);
    EXPECT_GE(panel->width(), panel->sizeHint().width()) << "at width " << form.width();
    EXPECT_TRUE(form.statusBar()->rect().contains(
        QRect(panel->mapTo(form.statusBar(), QPoint(0, 0)), panel->size())))
        << "at width " << form.width();
    form.resize(before);
}

// A road (a fixture derived from RoadTest) in the demo's books moved to a server before
// the main window opens, with the folders joining() names connected to them.
template <class Road>
class OnServer : public Road {
  protected:
    void makeBooks() override {
        Road::makeBooks();
        if (::testing::Test::HasFatalFailure()) return;
        PgCluster* cluster = nullptr;
        INVARRO_NEED_CLUSTER(cluster);
        PutBooksOnServer(*cluster, this->folder, joining());
    }
    void TearDown() override {
        Road::TearDown();
        app::UnmountBooks(this->folder);
    }
    virtual std::vector<std::string> joining() const { return {}; }
    // The program's side of Books on a Server, as the desktop program has it.
    ui::BooksServerPort* booksServer(const std::string& folder) override {
        port_ = std::make_unique<ui::DesktopBooksServer>(folder, nullptr);
        return port_.get();
    }

  private:
    std::unique_ptr<ui::DesktopBooksServer> port_;
};

}  // namespace invarro::testing
