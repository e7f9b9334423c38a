// Programs sharing books on a server learn which fileblocks the others changed: a committed
// change is told once per fileblock and transaction, a rolled-back one never, one's own
// changes are not told back, and after a lost connection the program listens again and is
// told that whatever it has open may have changed.

#include <algorithm>
#include <chrono>
#include <thread>

#include "BackendFixture.h"
#include "storage/Transaction.h"

namespace invarro::storage {
namespace {

constexpr int kLen = 32;

class ChangesTest : public BackendTest {
  protected:
    void SetUp() override {
        BackendTest::SetUp();
        other = std::make_shared<server::ServerBackend>();
        ASSERT_TRUE(other->connect(TestDatabase())) << other->error();
        MountBackend(otherDir.path(), other);
    }
    // What the engine reports within a second (the notices travel asynchronously).
    static std::vector<std::string> changesWithin(int ms = 1000) {
        std::vector<std::string> seen;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until) {
            for (std::string& name : ChangedElsewhere())
                seen.push_back(std::move(name));
            if (!seen.empty()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        // Anything told twice would come right behind.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        for (std::string& name : ChangedElsewhere())
            seen.push_back(std::move(name));
        return seen;
    }
    std::string otherName(const std::string& base) const { return otherDir.file(base); }

    testing::TempDir otherDir;  // the second program's data folder, on the same books
    std::shared_ptr<server::ServerBackend> other;
};

TEST_P(ChangesTest, ACommittedChangeIsToldToTheOthersOncePerFileblock) {
    Fileblock* mine = createOpen(kLen, {{8, true}});
    Fileblock* ours = createOpen(kLen, {}, "U");
    Fileblock* theirs = OpenFileblock(otherName("T"), false);
    ASSERT_TRUE(EngineOk) << EngineError;
    // Making the two fileblocks is told as well.
    std::vector<std::string> made = changesWithin();
    std::sort(made.begin(), made.end());
    EXPECT_EQ(made, (std::vector<std::string>{FileblockName(otherName("T")),
                                              FileblockName(otherName("U"))}));
    EXPECT_EQ(changesWithin(100), std::vector<std::string>{});

    // Many changes of one fileblock in a transaction: one name.
    ASSERT_TRUE(BeginTransaction());
    for (int i = 0; i < 5; ++i) {
        const int32_t n = AddRecord(mine, record(kLen, "r").data());
        AddKey(mine, 1, n, "K");
    }
    PutRecord(ours, AddRecord(ours, record(kLen, "u").data()), record(kLen, "v").data());
    ASSERT_TRUE(CommitTransaction());
    std::vector<std::string> seen = changesWithin();
    std::sort(seen.begin(), seen.end());
    // The other program is told, by its own names; this one is not told its own change.
    EXPECT_EQ(seen, (std::vector<std::string>{FileblockName(otherName("T")),
                                              FileblockName(otherName("U"))}));
    EXPECT_EQ(FileblockName(theirs), FileblockName(otherName("T")));

    // A change outside a transaction is told; a rolled-back one is not.
    PutRecord(mine, 1, record(kLen, "again").data());
    EXPECT_EQ(changesWithin(), std::vector<std::string>{FileblockName(otherName("T"))});
    ASSERT_TRUE(BeginTransaction());
    AddRecord(mine, record(kLen, "gone").data());
    RollbackTransaction();
    EXPECT_EQ(changesWithin(300), std::vector<std::string>{});

    // Changes the other program makes come back the other way.
    PutRecord(theirs, 2, record(kLen, "theirs").data());
    ASSERT_TRUE(EngineOk);
    EXPECT_EQ(changesWithin(), std::vector<std::string>{FileblockName(name("T"))});
    CloseFileblock(theirs);
}

// A fileblock made or removed (a company added or deleted elsewhere) is told as a change,
// in a transaction only once it commits.
TEST_P(ChangesTest, AFileblockMadeOrRemovedIsToldToTheOthers) {
    CreateFileblock(name("N"), kLen, 0, nullptr);
    ASSERT_TRUE(EngineOk) << EngineError;
    EXPECT_EQ(changesWithin(), std::vector<std::string>{FileblockName(otherName("N"))});
    DeleteFileblock(name("N"));
    ASSERT_TRUE(EngineOk) << EngineError;
    EXPECT_EQ(changesWithin(), std::vector<std::string>{FileblockName(otherName("N"))});
    // Told the other way as well; one rolled back is not told, one made, removed and made
    // again in a committed transaction once.
    CreateFileblock(otherName("M"), kLen, 0, nullptr);
    EXPECT_EQ(changesWithin(), std::vector<std::string>{FileblockName(name("M"))});
    ASSERT_TRUE(BeginTransaction());
    CreateFileblock(name("P"), kLen, 0, nullptr);
    RollbackTransaction();
    EXPECT_EQ(changesWithin(300), std::vector<std::string>{});
    ASSERT_TRUE(BeginTransaction());
    CreateFileblock(name("P"), kLen, 0, nullptr);
    DeleteFileblock(name("P"));
    CreateFileblock(name("P"), kLen, 0, nullptr);
    ASSERT_TRUE(CommitTransaction());
    EXPECT_EQ(changesWithin(), std::vector<std::string>{FileblockName(otherName("P"))});
}

TEST_P(ChangesTest, AfterALostConnectionTheProgramListensAgainAndRefreshesWhatItHasOpen) {
    Fileblock* mine = createOpen(kLen, {});
    Fileblock* theirs = OpenFileblock(otherName("T"), false);
    ASSERT_TRUE(EngineOk);
    pq::Connection admin;
    ASSERT_TRUE(admin.open(TestDatabase()));
    pq::Result r;
    ASSERT_TRUE(admin.query("SELECT pg_terminate_backend($1)",
                            pq::Params().int32(other->connection().backendPid()), r));
    // Made while the other program's connection is gone: never told to it as such.
    AddRecord(mine, record(kLen, "meanwhile").data());
    ASSERT_TRUE(EngineOk);
    EXPECT_EQ(UsedRecordCount(theirs), 0);  // the operation that finds the connection gone
    EXPECT_EQ(EngineError, server::kConnectionFailed);
    EXPECT_EQ(UsedRecordCount(theirs), 1);  // connects again
    EXPECT_EQ(changesWithin(), std::vector<std::string>{FileblockName(otherName("T"))});
    // And it listens again.
    AddRecord(mine, record(kLen, "later").data());
    EXPECT_EQ(changesWithin(), std::vector<std::string>{FileblockName(otherName("T"))});
    CloseFileblock(theirs);
}

using FileblockNameTest = EngineTest;

TEST_F(FileblockNameTest, FilesAreNamedWithoutExtensionAndAreNeverChangedElsewhere) {
    const std::string base = dir.file("CUST");
    EXPECT_EQ(FileblockName(base + ".DAT"), base);
    EXPECT_EQ(FileblockName(base), base);
    CreateFileblock(base, kLen, 0, nullptr);
    Fileblock* fb = OpenFileblock(base, false);
    ASSERT_TRUE(EngineOk);
    EXPECT_EQ(FileblockName(fb), base);
    AddRecord(fb, std::string(kLen, '\0').data());
    EXPECT_EQ(ChangedElsewhere(), std::vector<std::string>{});
    CloseFileblock(fb);
    EXPECT_EQ(FileblockName(static_cast<Fileblock*>(nullptr)), "");
}

INSTANTIATE_TEST_SUITE_P(Backends, ChangesTest, ::testing::Values(Where::Server), WhereName);

}  // namespace
}  // namespace invarro::storage
