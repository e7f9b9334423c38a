// Statements that need no answer travel with the next one that waits: the libpq wrapper's
// queue, and the engine on a server sending a posting's key entries with its next read or
// write, so that a posting costs a round trip per record rather than per key.

#include <string>

#include "BackendFixture.h"
#include "storage/Transaction.h"
#include "storage/Verify.h"
#include "storage/server/Pq.h"

namespace invarro::storage {
namespace {

constexpr int kLen = 32;

class PipelineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string conninfo = TestDatabase();
        ASSERT_FALSE(conninfo.empty()) << "the PostgreSQL test cluster did not start";
        ASSERT_TRUE(c.open(conninfo)) << c.error().message;
        ASSERT_TRUE(
            c.exec("DROP TABLE IF EXISTS pipe_t; CREATE TABLE pipe_t (id int PRIMARY KEY)"));
    }
    std::vector<int32_t> ids() {
        pq::Result r;
        EXPECT_TRUE(c.query("SELECT id FROM pipe_t ORDER BY id", pq::Params(), r));
        std::vector<int32_t> v;
        for (int i = 0; i < r.rows(); ++i)
            v.push_back(r.int32(i, 0));
        return v;
    }
    pq::Connection c;
};

TEST_F(PipelineTest, QueuedStatementsRunInOrderWithTheNextOneInOneRoundTrip) {
    const char* insert = "INSERT INTO pipe_t VALUES ($1) RETURNING id";
    std::vector<int32_t> seen;
    for (int id : {1, 2, 3})
        c.defer("pipe_ins", insert, pq::Params().int32(id),
                [&](const pq::Result& r) { seen.push_back(r.int32(0, 0)); });
    EXPECT_EQ(c.deferred(), 3u);
    const int64_t before = c.roundTrips();
    pq::Result r;
    // The statement that waits sees what was queued before it.
    ASSERT_TRUE(c.run("pipe_count", "SELECT count(*)::int FROM pipe_t", pq::Params(), r))
        << c.error().message;
    EXPECT_EQ(c.roundTrips() - before, 1);
    EXPECT_EQ(r.int32(0, 0), 3);
    EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(c.deferred(), 0u);
    // Prepared in the pipeline, the statements are not prepared again.
    c.defer("pipe_ins", insert, pq::Params().int32(4));
    ASSERT_TRUE(c.flush());
    EXPECT_EQ(c.roundTrips() - before, 2);
    ASSERT_TRUE(c.run("pipe_count", "SELECT count(*)::int FROM pipe_t", pq::Params(), r));
    EXPECT_EQ(c.roundTrips() - before, 3);
    EXPECT_EQ(r.int32(0, 0), 4);
}

TEST_F(PipelineTest, AQueuedFailureFailsItsCarrierAndWhatFollowedDidNotRun) {
    const char* insert = "INSERT INTO pipe_t VALUES ($1)";
    c.defer("pipe_ins2", insert, pq::Params().int32(1));
    c.defer("pipe_ins2", insert, pq::Params().int32(1));  // refused: the key is taken
    c.defer("pipe_ins2", insert, pq::Params().int32(2));
    pq::Result r;
    EXPECT_FALSE(c.run("pipe_ins2", insert, pq::Params().int32(3), r));
    EXPECT_EQ(c.error().failure, pq::Failure::Duplicate);
    EXPECT_EQ(c.error().sqlstate, "23505");
    // Outside a transaction one batch is one implicit transaction: nothing of it stays.
    EXPECT_TRUE(c.isOpen());
    EXPECT_EQ(ids(), std::vector<int32_t>{});

    // Inside one, the failure ends the transaction; the connection stays usable.
    ASSERT_TRUE(c.exec("BEGIN"));
    c.defer("pipe_ins2", insert, pq::Params().int32(5));
    c.defer("pipe_bad", "SELECT 1/0", pq::Params());
    EXPECT_FALSE(c.query("COMMIT", pq::Params(), r));
    EXPECT_EQ(c.error().sqlstate, "22012");
    EXPECT_EQ(c.transactionState(), pq::Connection::TxnState::Failed);
    ASSERT_TRUE(c.exec("ROLLBACK"));
    EXPECT_EQ(ids(), std::vector<int32_t>{});
    EXPECT_TRUE(c.exec("INSERT INTO pipe_t VALUES (9)"));
    EXPECT_EQ(ids(), std::vector<int32_t>{9});
}

TEST_F(PipelineTest, AConnectionLostUnderABatchIsReportedAndTheQueueForgotten) {
    pq::Connection other;
    ASSERT_TRUE(other.open(TestDatabase()));
    pq::Result r;
    c.defer("pipe_ins3", "INSERT INTO pipe_t VALUES ($1)", pq::Params().int32(1));
    ASSERT_TRUE(
        other.query("SELECT pg_terminate_backend($1)", pq::Params().int32(c.backendPid()), r));
    EXPECT_FALSE(c.query("SELECT 1", pq::Params(), r));
    EXPECT_EQ(c.error().failure, pq::Failure::Connection);
    EXPECT_FALSE(c.isOpen());
    EXPECT_EQ(c.deferred(), 0u);
    ASSERT_TRUE(c.reconnect());
    EXPECT_EQ(ids(), std::vector<int32_t>{});
}

// ------------------------------------------------------------ the engine's postings

class PipelinedEngineTest : public QuickLockTest {
  protected:
    int64_t trips() { return server->connection().roundTrips(); }
};

TEST_P(PipelinedEngineTest, KeyEntriesWithDuplicatesTravelWithTheNextStatement) {
    Fileblock* fb = createOpen(kLen, {{8, true}, {8, true}, {8, false}});
    const int64_t before = trips();
    ASSERT_TRUE(BeginTransaction());
    const int32_t n = AddRecord(fb, record(kLen, "one").data());  // BEGIN goes with it
    AddKey(fb, 1, n, "A");
    AddKey(fb, 2, n, "B");
    ASSERT_TRUE(EngineOk);
    EXPECT_EQ(trips() - before, 1);
    // A read in the transaction sees them.
    EXPECT_EQ(KeyCount(fb, 1), 1);
    EXPECT_EQ(trips() - before, 2);
    std::string key;
    int32_t rec = 0;
    NextKey(fb, 2, key, rec);
    EXPECT_EQ(key, "B");
    EXPECT_EQ(rec, n);
    // A key without duplicates answers at once: a caller may take another when it is taken.
    AddKey(fb, 3, n, "U");
    EXPECT_EQ(trips() - before, 4);
    const int32_t m = AddRecord(fb, record(kLen, "two").data());
    AddKey(fb, 1, m, "A");
    AddKey(fb, 2, m, "C");
    ASSERT_TRUE(CommitTransaction());  // the last entries go with the COMMIT
    EXPECT_EQ(trips() - before, 6);
    EXPECT_EQ(KeyCount(fb, 1), 2);
    EXPECT_EQ(KeyCount(fb, 2), 2);
    EXPECT_TRUE(CheckFileblock(name()).empty());
}

TEST_P(PipelinedEngineTest, AQueuedEntryThatFailsFailsTheCommitAndNothingStays) {
    Fileblock* fb = createOpen(kLen, {{8, true}});
    const int32_t n = AddRecord(fb, record(kLen, "one").data());
    AddKey(fb, 1, n, "A");
    ASSERT_TRUE(EngineOk);

    // The very entry again: refused when it reaches the server, at the commit here.
    ASSERT_TRUE(BeginTransaction());
    const int32_t m = AddRecord(fb, record(kLen, "two").data());
    AddKey(fb, 1, m, "B");
    AddKey(fb, 1, n, "A");
    EXPECT_TRUE(EngineOk);
    EXPECT_FALSE(CommitTransaction());
    EXPECT_EQ(EngineError, err::DuplicateEntry);
    EXPECT_FALSE(InTransaction());
    EXPECT_EQ(UsedRecordCount(fb), 1);
    EXPECT_EQ(KeyCount(fb, 1), 1);

    // Refused by the next statement that waits: that one fails, and so does the rest.
    ASSERT_TRUE(BeginTransaction());
    AddKey(fb, 1, n, "A");
    AddRecord(fb, record(kLen, "three").data());
    EXPECT_EQ(EngineError, err::DuplicateEntry);
    AddKey(fb, 1, n, "Z");
    EXPECT_EQ(EngineError, err::DuplicateEntry);
    EXPECT_FALSE(CommitTransaction());
    EXPECT_EQ(UsedRecordCount(fb), 1);

    // A key's count row locked elsewhere: busy, so the caller runs the posting again.
    pq::Connection other;
    ASSERT_TRUE(other.open(TestDatabase(), settings()));
    ASSERT_TRUE(other.exec("BEGIN; SELECT * FROM invarro.fileblock_key FOR UPDATE"));
    ASSERT_TRUE(BeginTransaction());
    AddKey(fb, 1, n, "L");
    EXPECT_FALSE(CommitTransaction());
    EXPECT_EQ(EngineError, server::kLockConflict);
    EXPECT_EQ(ErrorClass(), 2);
    ASSERT_TRUE(other.exec("ROLLBACK"));
    EXPECT_EQ(KeyCount(fb, 1), 1);
    EXPECT_TRUE(CheckFileblock(name()).empty());
}

TEST_P(PipelinedEngineTest, ARollbackForgetsWhatNeverReachedTheServer) {
    Fileblock* fb = createOpen(kLen, {{8, true}});
    const int32_t n = AddRecord(fb, record(kLen, "one").data());
    const int64_t before = trips();
    ASSERT_TRUE(BeginTransaction());
    AddKey(fb, 1, n, "A");
    RollbackTransaction();
    EXPECT_EQ(trips(), before);  // neither BEGIN nor the entry was sent, nor a ROLLBACK
    EXPECT_EQ(server->connection().transactionState(), pq::Connection::TxnState::Idle);
    EXPECT_EQ(KeyCount(fb, 1), 0);
    ASSERT_TRUE(BeginTransaction());
    AddKey(fb, 1, n, "B");
    ASSERT_TRUE(CommitTransaction());
    std::string key;
    EXPECT_EQ(FindKeyAtOrAfter(fb, 1, key), n);
    EXPECT_EQ(key, "B");
}

// A list reads an entry and then its record: outside a transaction the record comes with
// the entry, so a row costs one round trip; it is never older than the entry, and inside a
// transaction the record is read (and locked) on its own.
TEST_P(PipelinedEngineTest, AListRowCostsOneRoundTripAndIsNeverStale) {
    Fileblock* fb = createOpen(kLen, {{8, true}});
    for (const char* k : {"A", "B", "C"}) {
        const int32_t n = AddRecord(fb, record(kLen, std::string("rec ") + k).data());
        AddKey(fb, 1, n, k);
    }
    std::string key = "B", r(kLen, '\0');
    int32_t rec = 0;
    // A miss finds the next entry in the same statement.
    key = "AZ";
    const int64_t before = trips();
    FindKeyAndRecord(fb, 1, key, rec, +1);
    ASSERT_TRUE(EngineOk);
    EXPECT_EQ(key, "B");
    GetRecord(fb, rec, r.data());
    EXPECT_EQ(r, record(kLen, "rec B"));
    NextKey(fb, 1, key, rec);
    GetRecord(fb, rec, r.data());
    EXPECT_EQ(r, record(kLen, "rec C"));
    EXPECT_EQ(trips() - before, 2);
    key = "Z";
    FindKeyAndRecord(fb, 1, key, rec, 0);
    EXPECT_EQ(EngineError, err::ExactNotFound);
    key = "Z";
    FindKeyAndRecord(fb, 1, key, rec, +1);
    EXPECT_EQ(EngineError, err::NoNextEntry);
    key = "0";
    FindKeyAndRecord(fb, 1, key, rec, -1);
    EXPECT_EQ(EngineError, err::NoPrevEntry);

    // Something ran in between: the record is read again.
    key = "A";
    rec = 0;
    FindKeyAndRecord(fb, 1, key, rec, +1);
    ASSERT_EQ(rec, 1);
    PutRecord(fb, rec, record(kLen, "changed").data());
    GetRecord(fb, rec, r.data());
    EXPECT_EQ(r, record(kLen, "changed"));
    // Another record than the one found: read on its own.
    FindKeyAndRecord(fb, 1, key, rec, 0);
    ASSERT_TRUE(EngineOk);
    GetRecord(fb, rec + 1, r.data());
    EXPECT_EQ(r, record(kLen, "rec B"));

    // In a transaction the read locks the record until the commit.
    pq::Connection other;
    ASSERT_TRUE(other.open(TestDatabase(), settings()));
    ASSERT_TRUE(BeginTransaction());
    key = "C";
    rec = 0;
    FindKeyAndRecord(fb, 1, key, rec, +1);
    GetRecord(fb, rec, r.data());
    ASSERT_TRUE(EngineOk);
    EXPECT_EQ(r, record(kLen, "rec C"));
    EXPECT_FALSE(
        other.exec("UPDATE invarro.record SET data = data WHERE rec_no = " + std::to_string(rec)));
    EXPECT_EQ(other.error().failure, pq::Failure::LockTimeout);
    ASSERT_TRUE(CommitTransaction());
}

INSTANTIATE_TEST_SUITE_P(Backends, PipelinedEngineTest, ::testing::Values(Where::Server),
                         WhereName);

}  // namespace
}  // namespace invarro::storage
