// The engine's API tests run once on files and once with the data folder mounted on a
// PostgreSQL database of the test program's own cluster (one cluster per test program).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "EngineFixture.h"
#include "storage/BTree.h"
#include "storage/Backend.h"
#include "storage/Engine.h"
#include "storage/EngineTesting.h"
#include "storage/server/ServerBackend.h"
#include "support/PgCluster.h"
#include "support/TempDir.h"

namespace invarro::storage {

enum class Where { Files, Server };

inline std::string WhereName(const ::testing::TestParamInfo<Where>& info) {
    return info.param == Where::Files ? "Files" : "Server";
}

// The database every server test of the program uses; emptied before each test.
inline std::string TestDatabase() {
    static std::string conninfo;
    if (conninfo.empty()) {
        testing::PgCluster* cluster = testing::SharedPgCluster();
        if (!cluster || !cluster->createDatabase("books")) return {};
        conninfo = cluster->connectionString("books");
    }
    return conninfo;
}

class BackendTest : public EngineTest, public ::testing::WithParamInterface<Where> {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (GetParam() == Where::Server) {
            const std::string conninfo = TestDatabase();
            ASSERT_FALSE(conninfo.empty()) << "the PostgreSQL test cluster did not start";
            server = std::make_shared<server::ServerBackend>();
            ASSERT_TRUE(server->connect(conninfo, settings())) << server->error();
            ASSERT_TRUE(server->connection().exec(
                "TRUNCATE invarro.fileblock, invarro.fileblock_key, invarro.record, "
                "invarro.key_entry"));
            MountBackend(dir.path(), server);
        }
    }
    void TearDown() override {
        EngineTest::TearDown();
        UnmountAllBackends();
    }
    virtual pq::SessionSettings settings() const { return {}; }

    bool onServer() const { return GetParam() == Where::Server; }

    std::shared_ptr<server::ServerBackend> server;
};

// Server tests that meet locks held by another session: a short lock timeout keeps them quick.
class QuickLockTest : public BackendTest {
  protected:
    pq::SessionSettings settings() const override {
        pq::SessionSettings s;
        s.lockTimeoutMs = 300;
        return s;
    }
};

}  // namespace invarro::storage
