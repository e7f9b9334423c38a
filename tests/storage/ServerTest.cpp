// The server side on its own: the libpq wrapper's parameters and errors, locks between
// sessions, deadlocks, lost connections, transactions that may not mix files and a
// server, and the structure check finding damage made behind the engine's back.

#include <libpq-fe.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <thread>

#include "BackendFixture.h"
#include "storage/Transaction.h"
#include "storage/Verify.h"
#include "storage/server/Pq.h"
#include "storage/server/ServerPositions.h"
#include "support/TcpRelay.h"

namespace invarro::storage {
namespace {

constexpr int kLen = 32;

// ------------------------------------------------------------------- the wrapper

class PqTest : public ::testing::Test {
  protected:
    void SetUp() override {
        conninfo = TestDatabase();
        ASSERT_FALSE(conninfo.empty()) << "the PostgreSQL test cluster did not start";
        ASSERT_TRUE(a.open(conninfo, quick())) << a.error().message;
        ASSERT_TRUE(b.open(conninfo, quick())) << b.error().message;
        ASSERT_TRUE(
            a.exec("DROP TABLE IF EXISTS pq_t; CREATE TABLE pq_t (id int PRIMARY KEY, "
                   "v bytea, n bigint)"));
    }
    static pq::SessionSettings quick() {
        pq::SessionSettings s;
        s.lockTimeoutMs = 300;
        return s;
    }
    std::string conninfo;
    pq::Connection a, b;
};

TEST(PqFailureTest, SqlStatesMapToWhatTheCallerDoes) {
    EXPECT_EQ(pq::FailureOf("40P01"), pq::Failure::Retry);
    EXPECT_EQ(pq::FailureOf("40001"), pq::Failure::Retry);
    EXPECT_EQ(pq::FailureOf("55P03"), pq::Failure::LockTimeout);
    EXPECT_EQ(pq::FailureOf("23505"), pq::Failure::Duplicate);
    EXPECT_EQ(pq::FailureOf("08006"), pq::Failure::Connection);
    EXPECT_EQ(pq::FailureOf("57P01"), pq::Failure::Connection);
    EXPECT_EQ(pq::FailureOf("42601"), pq::Failure::Other);
    EXPECT_EQ(pq::FailureOf("23503"), pq::Failure::Other);
    EXPECT_EQ(pq::FailureOf(""), pq::Failure::Other);
}

TEST_F(PqTest, BinaryParametersAndResultsRoundTripExactly) {
    const std::string bytes("\0\x01\xFF\x80 a'\"\\", 9);
    pq::Result r;
    ASSERT_TRUE(a.run("ins", "INSERT INTO pq_t VALUES ($1, $2, $3) RETURNING id, v, n",
                      pq::Params().int32(-2147483647 - 1).bytes(bytes).int64(-5000000000LL), r))
        << a.error().message;
    ASSERT_EQ(r.rows(), 1);
    EXPECT_EQ(r.int32(0, 0), INT32_MIN);
    EXPECT_EQ(r.bytes(0, 1), bytes);
    EXPECT_EQ(r.int64(0, 2), -5000000000LL);
    ASSERT_TRUE(
        a.run("null", "INSERT INTO pq_t VALUES ($1, $2, 0)", pq::Params().int32(7).null(), r));
    EXPECT_EQ(r.affected(), 1);
    ASSERT_TRUE(a.query("SELECT v IS NULL, v FROM pq_t WHERE id = $1", pq::Params().int32(7), r));
    EXPECT_TRUE(r.boolean(0, 0));
    EXPECT_TRUE(r.isNull(0, 1));
    // A prepared statement is prepared once per connection and survives a reconnect.
    ASSERT_TRUE(a.reconnect());
    ASSERT_TRUE(a.run("ins", "INSERT INTO pq_t VALUES ($1, $2, $3) RETURNING id, v, n",
                      pq::Params().int32(8).bytes("").int64(0), r))
        << a.error().message;
    EXPECT_EQ(r.bytes(0, 1), "");
}

TEST_F(PqTest, ErrorsCarryTheirSqlState) {
    pq::Result r;
    EXPECT_FALSE(a.query("SELEC 1", pq::Params(), r));
    EXPECT_EQ(a.error().sqlstate, "42601");
    EXPECT_EQ(a.error().failure, pq::Failure::Other);
    ASSERT_TRUE(a.exec("INSERT INTO pq_t VALUES (1, NULL, 0)"));
    EXPECT_FALSE(a.exec("INSERT INTO pq_t VALUES (1, NULL, 0)"));
    EXPECT_EQ(a.error().failure, pq::Failure::Duplicate);
    // A successful statement clears the error.
    EXPECT_TRUE(a.exec("SELECT 1"));
    EXPECT_EQ(a.error().failure, pq::Failure::None);
}

TEST_F(PqTest, SessionsCarryTheirLimits) {
    pq::Result r;
    ASSERT_TRUE(
        a.query("SELECT current_setting('lock_timeout'), "
                "current_setting('idle_in_transaction_session_timeout')",
                pq::Params(), r));
    EXPECT_EQ(r.bytes(0, 0), "300ms");
    EXPECT_EQ(r.bytes(0, 1), "1min");
    // Keepalives are asked for on every connection.
    std::map<std::string, std::string> options;
    PQconninfoOption* info = PQconninfo(a.raw());
    for (PQconninfoOption* o = info; o && o->keyword; ++o)
        if (o->val) options[o->keyword] = o->val;
    PQconninfoFree(info);
    EXPECT_EQ(options["keepalives"], "1");
    EXPECT_EQ(options["keepalives_idle"], "30");
    EXPECT_EQ(options["keepalives_count"], "3");
    EXPECT_GT(a.backendPid(), 0);
    EXPECT_NE(a.backendPid(), b.backendPid());
}

TEST_F(PqTest, ALockHeldElsewhereTimesOutAndADeadlockAsksForARetry) {
    ASSERT_TRUE(a.exec("INSERT INTO pq_t VALUES (1, NULL, 0), (2, NULL, 0)"));
    ASSERT_TRUE(a.exec("BEGIN; UPDATE pq_t SET n = 1 WHERE id = 1"));
    EXPECT_FALSE(b.exec("UPDATE pq_t SET n = 2 WHERE id = 1"));
    EXPECT_EQ(b.error().sqlstate, "55P03");
    EXPECT_EQ(b.error().failure, pq::Failure::LockTimeout);
    ASSERT_TRUE(a.exec("ROLLBACK"));

    // Two sessions locking two rows in opposite order: one of them is chosen to fail.
    pq::SessionSettings patient;
    patient.lockTimeoutMs = 10000;
    ASSERT_TRUE(a.open(conninfo, patient));
    ASSERT_TRUE(b.open(conninfo, patient));
    ASSERT_TRUE(a.exec("BEGIN; UPDATE pq_t SET n = 1 WHERE id = 1"));
    ASSERT_TRUE(b.exec("BEGIN; UPDATE pq_t SET n = 2 WHERE id = 2"));
    bool bOk = true;
    std::thread other([&] { bOk = b.exec("UPDATE pq_t SET n = 2 WHERE id = 1"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const bool aOk = a.exec("UPDATE pq_t SET n = 1 WHERE id = 2");
    if (!aOk) a.exec("ROLLBACK");  // lets the other go on
    other.join();
    ASSERT_NE(aOk, bOk);
    const pq::Error& loser = aOk ? b.error() : a.error();
    EXPECT_EQ(loser.sqlstate, "40P01");
    EXPECT_EQ(loser.failure, pq::Failure::Retry);
    a.exec("ROLLBACK");
    b.exec("ROLLBACK");
}

TEST_F(PqTest, ALostConnectionIsReportedAsSuchAndReconnects) {
    pq::Result r;
    ASSERT_TRUE(b.query("SELECT pg_terminate_backend($1)", pq::Params().int32(a.backendPid()), r));
    EXPECT_FALSE(a.exec("SELECT 1"));
    EXPECT_EQ(a.error().failure, pq::Failure::Connection);
    EXPECT_FALSE(a.isOpen());
    ASSERT_TRUE(a.reconnect());
    EXPECT_TRUE(a.exec("SELECT 1"));

    pq::Connection nowhere;
    EXPECT_FALSE(nowhere.open("host=127.0.0.1 port=1 dbname=x connect_timeout=2"));
    EXPECT_EQ(nowhere.error().failure, pq::Failure::Connection);
    EXPECT_FALSE(nowhere.exec("SELECT 1"));
    EXPECT_EQ(nowhere.error().failure, pq::Failure::Connection);
}

// ------------------------------------------------- positions in a large index

TEST(KeySpanTest, FractionsRunFromTheFirstToTheLastKeyAndBack) {
    const server::KeySpan span{"K000000", "K999999"};
    EXPECT_EQ(server::KeyFraction(span, "K000000"), 0.0);
    EXPECT_EQ(server::KeyFraction(span, "K999999"), 1.0);
    EXPECT_EQ(server::KeyFraction(span, "A"), 0.0);  // outside the span: clamped
    EXPECT_EQ(server::KeyFraction(span, "Z"), 1.0);
    EXPECT_EQ(server::KeyFraction(span, ""), 0.0);
    // Decimal digits use ten of each byte's 256 values: only the leading digit is linear.
    EXPECT_NEAR(server::KeyFraction(span, "K500000"), 0.5, 0.1);
    double last = 0;
    for (int i = 0; i <= 999999; i += 7919) {
        char b[8];
        std::snprintf(b, sizeof b, "K%06d", i);
        const double f = server::KeyFraction(span, b);
        EXPECT_GE(f, last) << b;
        last = f;
    }
    for (double f : {0.0, 0.1, 0.25, 0.5, 0.9, 1.0}) {
        const std::string key = server::KeyAtFraction(span, f);
        EXPECT_GE(key, span.first);
        EXPECT_LE(key, span.last);
        EXPECT_NEAR(server::KeyFraction(span, key), f, 0.001) << f;
    }
    // One key, or bytes above 127: no division by zero, the order of unsigned bytes.
    EXPECT_EQ(server::KeyFraction({"SAME", "SAME"}, "SAME"), 0.0);
    EXPECT_EQ(server::KeyAtFraction({"SAME", "SAME"}, 0.5), "SAME");
    EXPECT_GT(server::KeyFraction({std::string("\x01"), std::string("\xFF")}, "\x80"), 0.4);
    EXPECT_LT(server::KeyFraction({std::string("\x01"), std::string("\xFF")}, "\x80"), 0.6);
}

// ------------------------------------------------------------ the engine on a server

class ServerEngineTest : public QuickLockTest {
  protected:
    void SetUp() override {
        BackendTest::SetUp();
        ASSERT_TRUE(other.open(TestDatabase(), settings()));
    }
    // The id of a fileblock in the database.
    int32_t idOf(const std::string& base) {
        pq::Result r;
        EXPECT_TRUE(other.query("SELECT id FROM invarro.fileblock WHERE name = $1",
                                pq::Params().bytes(base), r));
        return r.rows() ? r.int32(0, 0) : 0;
    }
    pq::Connection other;  // another program's session
};

TEST_P(ServerEngineTest, ARecordLockedElsewhereMakesTheWriteBusyUntilItIsFreed) {
    Fileblock* fb = createOpen(kLen, {});
    AddRecord(fb, record(kLen, "a").data());
    const int32_t id = idOf("T");
    ASSERT_TRUE(other.exec("BEGIN; SELECT * FROM invarro.record WHERE fb = " + std::to_string(id) +
                           " AND rec_no = 1 FOR UPDATE"));
    PutRecord(fb, 1, record(kLen, "b").data());
    EXPECT_EQ(EngineError, server::kLockConflict);
    EXPECT_EQ(ErrorClass(), 2);  // busy: the caller may try again
    ASSERT_TRUE(other.exec("COMMIT"));
    PutRecord(fb, 1, record(kLen, "b").data());
    EXPECT_TRUE(EngineOk);
}

TEST_P(ServerEngineTest, WhatATransactionReadsIsLockedUntilItEnds) {
    Fileblock* fb = createOpen(kLen, {});
    AddRecord(fb, record(kLen, "counter").data());
    const std::string update =
        "UPDATE invarro.record SET data = data WHERE fb = " + std::to_string(idOf("T")) +
        " AND rec_no = 1";
    ASSERT_TRUE(BeginTransaction());
    std::string r(kLen, '\0');
    GetRecord(fb, 1, r.data());
    ASSERT_TRUE(EngineOk);
    EXPECT_FALSE(other.exec(update));
    EXPECT_EQ(other.error().failure, pq::Failure::LockTimeout);
    ASSERT_TRUE(CommitTransaction());
    EXPECT_TRUE(other.exec(update)) << other.error().message;
    // Outside a transaction a read locks nothing.
    GetRecord(fb, 1, r.data());
    EXPECT_TRUE(other.exec(update));
}

TEST_P(ServerEngineTest, AFailureInsideATransactionFailsItsCommitAndNothingOfItStays) {
    Fileblock* fb = createOpen(kLen, {{8, false}});
    AddRecord(fb, record(kLen, "a").data());
    AddRecord(fb, record(kLen, "b").data());
    ASSERT_TRUE(other.exec("BEGIN; SELECT * FROM invarro.record WHERE fb = " +
                           std::to_string(idOf("T")) + " AND rec_no = 2 FOR UPDATE"));
    ASSERT_TRUE(BeginTransaction());
    AddKey(fb, 1, 1, "A");
    PutRecord(fb, 1, record(kLen, "a2").data());
    ASSERT_TRUE(EngineOk);
    PutRecord(fb, 2, record(kLen, "b2").data());  // locked by the other session
    EXPECT_EQ(EngineError, server::kLockConflict);
    AddKey(fb, 1, 2, "B");  // the database ended the transaction: refused likewise
    EXPECT_EQ(EngineError, server::kLockConflict);
    EXPECT_FALSE(CommitTransaction());
    EXPECT_EQ(EngineError, server::kLockConflict);
    EXPECT_FALSE(InTransaction());
    ASSERT_TRUE(other.exec("COMMIT"));
    EXPECT_EQ(KeyCount(fb, 1), 0);
    std::string r(kLen, '\0');
    GetRecord(fb, 1, r.data());
    EXPECT_EQ(r, record(kLen, "a"));
}

TEST_P(ServerEngineTest, AKeyTakenByAnotherProgramIsADuplicate) {
    Fileblock* fb = createOpen(kLen, {{8, false}});
    ASSERT_TRUE(other.exec("INSERT INTO invarro.key_entry VALUES (" + std::to_string(idOf("T")) +
                           ", 1, 'INV1'::bytea, 7, true)"));
    AddKey(fb, 1, 1, "INV1");
    EXPECT_EQ(EngineError, err::DuplicateEntry);
    AddKey(fb, 1, 1, "INV2");
    EXPECT_TRUE(EngineOk);
}

TEST_P(ServerEngineTest, ALostConnectionFailsOneOperationAndTheNextConnectsAgain) {
    Fileblock* fb = createOpen(kLen, {});
    AddRecord(fb, record(kLen, "a").data());
    pq::Result r;
    ASSERT_TRUE(other.query("SELECT pg_terminate_backend($1)",
                            pq::Params().int32(server->connection().backendPid()), r));
    EXPECT_EQ(UsedRecordCount(fb), 0);
    EXPECT_EQ(EngineError, server::kConnectionFailed);
    EXPECT_EQ(UsedRecordCount(fb), 1);
    EXPECT_TRUE(EngineOk);

    // Lost inside a transaction: the commit fails and nothing of it was made.
    ASSERT_TRUE(BeginTransaction());
    AddRecord(fb, record(kLen, "b").data());
    ASSERT_TRUE(EngineOk);
    ASSERT_TRUE(other.query("SELECT pg_terminate_backend($1)",
                            pq::Params().int32(server->connection().backendPid()), r));
    EXPECT_FALSE(CommitTransaction());
    EXPECT_EQ(EngineError, server::kConnectionFailed);
    EXPECT_EQ(UsedRecordCount(fb), 1);
}

TEST_P(ServerEngineTest, ATransactionChangesFilesOrTheServerNeverBoth) {
    Fileblock* onServer = createOpen(kLen, {});
    testing::TempDir elsewhere;
    const std::string fileName = elsewhere.file("F");
    CreateFileblock(fileName, kLen, 0, nullptr);
    Fileblock* onFiles = OpenFileblock(fileName, false);
    ASSERT_TRUE(EngineOk);

    ASSERT_TRUE(BeginTransaction());
    AddRecord(onServer, record(kLen, "s").data());
    ASSERT_TRUE(EngineOk);
    AddRecord(onFiles, record(kLen, "f").data());
    EXPECT_EQ(EngineError, err::TransactionState);
    RollbackTransaction();

    ASSERT_TRUE(BeginTransaction());
    AddRecord(onFiles, record(kLen, "f").data());
    ASSERT_TRUE(EngineOk);
    AddRecord(onServer, record(kLen, "s").data());
    EXPECT_EQ(EngineError, err::TransactionState);
    RollbackTransaction();
    EXPECT_EQ(UsedRecordCount(onServer), 0);
    EXPECT_EQ(UsedRecordCount(onFiles), 0);
}

TEST_P(ServerEngineTest, TheStructureCheckFindsDamageMadeBehindTheEngine) {
    Fileblock* fb = createOpen(kLen, {{8, false}, {8, true}});
    for (int i = 1; i <= 5; ++i) {
        AddRecord(fb, record(kLen, std::to_string(i)).data());
        AddKey(fb, 1, i, "K" + std::to_string(i));
    }
    DeleteKey(fb, 1, 4, "K4");
    DeleteRecord(fb, 4);
    CloseFileblock(fb);
    EXPECT_EQ(CheckFileblock(name()), std::vector<std::string>{});
    const std::string id = std::to_string(idOf("T"));
    ASSERT_TRUE(other.exec(
        "UPDATE invarro.fileblock_key SET entries = 9 WHERE key_no = 1 AND fb = " + id +
        "; INSERT INTO invarro.key_entry VALUES (" + id + ", 2, 'X'::bytea, 4, false), (" + id +
        ", 5, 'Y'::bytea, 1, false); UPDATE invarro.fileblock SET deleted_count = 2 WHERE id = " +
        id));
    const std::vector<std::string> problems = CheckFileblock(name());
    EXPECT_EQ(problems, (std::vector<std::string>{
                            "header counts 2 deleted records, the chain has 1",
                            "key 1: header counts 9 entries, the index has 4",
                            "key 2: header counts 0 entries, the index has 1",
                            "key 2: 1 entries point to no live record",
                            "1 entries belong to no key",
                        }));
    ASSERT_TRUE(other.exec("DELETE FROM invarro.record WHERE rec_no = 2 AND fb = " + id));
    EXPECT_EQ(CheckFileblock(name()).front(), "slots 1..5 expected, found 4 from 1 to 5");
    EXPECT_EQ(CheckFileblock(name("MISSING")),
              std::vector<std::string>{"no fileblock MISSING in the database"});
}

TEST_P(ServerEngineTest, ACommitWhoseAnswerIsLostIsDecidedByAskingTheServer) {
    testing::PgCluster* cluster = testing::SharedPgCluster();
    testing::TcpRelay relay(cluster->port());
    testing::TempDir relayed;
    auto viaRelay = std::make_shared<server::ServerBackend>();
    ASSERT_TRUE(viaRelay->connect(cluster->tcpConnectionString("books", relay.port())))
        << viaRelay->error();
    MountBackend(relayed.path(), viaRelay);
    const KeyDescriptor key{8, false};
    CreateFileblock(relayed.file("R"), kLen, 1, &key);
    Fileblock* fb = OpenFileblock(relayed.file("R"), false);
    ASSERT_TRUE(EngineOk) << EngineError;
    const std::string commit("COMMIT\0", 7);

    // Cut after the server got the COMMIT: the transaction was made, and the commit says so.
    relay.arm(commit, testing::TcpRelay::Cut::AfterForwarding);
    ASSERT_TRUE(BeginTransaction());
    AddRecord(fb, record(kLen, "made").data());
    AddKey(fb, 1, 1, "MADE");
    EXPECT_TRUE(CommitTransaction()) << EngineError;
    EXPECT_TRUE(relay.cut());
    EXPECT_EQ(viaRelay->inDoubtCommits(), 1);
    EXPECT_EQ(UsedRecordCount(fb), 1);
    EXPECT_EQ(KeyCount(fb, 1), 1);
    // The new session holds the open fileblock again and listens for changes again.
    pq::Result held;
    ASSERT_TRUE(
        other.query("SELECT count(*)::int FROM pg_locks WHERE locktype = 'advisory' "
                    "AND mode = 'ShareLock' AND pid = $1",
                    pq::Params().int32(viaRelay->connection().backendPid()), held));
    EXPECT_EQ(held.int32(0, 0), 1);
    ASSERT_TRUE(viaRelay->connection().exec("SELECT pg_listening_channels()", held));
    ASSERT_EQ(held.rows(), 1);
    EXPECT_EQ(held.bytes(0, 0), server::kChangesChannel);

    // Cut before the server got it: nothing was made, and the commit says so.
    relay.arm(commit, testing::TcpRelay::Cut::BeforeForwarding);
    ASSERT_TRUE(BeginTransaction());
    AddRecord(fb, record(kLen, "lost").data());
    AddKey(fb, 1, 2, "LOST");
    EXPECT_FALSE(CommitTransaction());
    EXPECT_EQ(EngineError, server::kConnectionFailed);
    EXPECT_TRUE(relay.cut());
    EXPECT_EQ(viaRelay->inDoubtCommits(), 2);
    EXPECT_EQ(UsedRecordCount(fb), 1);
    EXPECT_EQ(KeyCount(fb, 1), 1);
    CloseFileblock(fb);
    MountBackend(relayed.path(), nullptr);
}

TEST_P(ServerEngineTest, AServerStoppedAndStartedAgainCostsTheOperationsInBetween) {
    testing::PgCluster* cluster = testing::SharedPgCluster();
    Fileblock* fb = createOpen(kLen, {{8, false}});
    AddRecord(fb, record(kLen, "a").data());
    AddKey(fb, 1, 1, "A");
    ASSERT_TRUE(cluster->stop(true)) << cluster->error();  // as a crash would
    AddRecord(fb, record(kLen, "b").data());
    EXPECT_EQ(EngineError, server::kConnectionFailed);
    ASSERT_TRUE(BeginTransaction());
    AddRecord(fb, record(kLen, "c").data());
    EXPECT_EQ(EngineError, server::kConnectionFailed);
    RollbackTransaction();
    ASSERT_TRUE(cluster->restart()) << cluster->error();
    EXPECT_EQ(UsedRecordCount(fb), 1);
    EXPECT_TRUE(EngineOk) << EngineError;
    std::string key = "A";
    EXPECT_EQ(FindKeyAtOrAfter(fb, 1, key), 1);
    EXPECT_EQ(AddRecord(fb, record(kLen, "d").data()), 2);
}

// Several processes take numbers from one counter record at once: each posting reads the
// counter inside a transaction (which locks it), writes it back one higher and adds an
// invoice record with that number under a unique key. A posting that cannot get its lock
// in time is rolled back and run again. No number may be lost, doubled or skipped.
TEST_P(ServerEngineTest, ConcurrentPostingsTakeUniqueGaplessNumbersFromALockedCounter) {
    constexpr int kProcesses = 4, kPostings = 40;
    Fileblock* counter = createOpen(kLen, {}, "COUNTER");
    std::string zero = record(kLen, "");
    AddRecord(counter, zero.data());
    CloseFileblock(counter);
    Fileblock* invoices = createOpen(kLen, {{10, false}}, "INVOICE");
    CloseFileblock(invoices);

    auto number = [](const std::string& r) {
        int32_t n;
        std::memcpy(&n, r.data() + 4, 4);
        return n;
    };
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        std::fflush(stdout);  // nothing buffered is written twice
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid > 0) {
            children.push_back(pid);
            continue;
        }
        // The child leaves the parent's connection alone and mounts one of its own on a
        // folder of its own that names the same books.
        const std::string folder = dir.path() + "/child" + std::to_string(p);  // mounted inside
        pq::SessionSettings s;
        s.lockTimeoutMs = 20;  // contention shows as lock timeouts, and so as retries
        auto mine = std::make_shared<server::ServerBackend>();
        if (!mine->connect(TestDatabase(), s)) {
            std::printf("process %d: %s\n", p, mine->error().c_str());
            std::fflush(stdout);
            ::_exit(2);
        }
        MountBackend(folder, mine);
        Fileblock* c = OpenFileblock(folder + "/COUNTER", false);
        Fileblock* inv = OpenFileblock(folder + "/INVOICE", false);
        if (!c || !inv) {
            std::printf("process %d: open error %d\n", p, EngineError);
            std::fflush(stdout);
            ::_exit(3);
        }
        int retries = 0;
        for (int i = 0; i < kPostings; ++i) {
            for (;;) {
                std::string r(kLen, '\0');
                BeginTransaction();
                GetRecord(c, 1, r.data());
                const int32_t next = number(r) + 1;
                std::memcpy(r.data() + 4, &next, 4);
                if (EngineOk) PutRecord(c, 1, r.data());
                std::string invoice = record(kLen, "");
                std::memcpy(invoice.data() + 4, &next, 4);
                const int32_t rec = EngineOk ? AddRecord(inv, invoice.data()) : 0;
                if (EngineOk) AddKey(inv, 1, rec, std::to_string(next));
                if (EngineOk && CommitTransaction()) break;
                if (ErrorClass() != 2) {
                    std::printf("process %d: error %d\n", p, EngineError);
                    std::fflush(stdout);
                    ::_exit(4);
                }
                RollbackTransaction();
                ++retries;
            }
        }
        std::printf("process %d: %d postings, %d retries\n", p, kPostings, retries);
        std::fflush(stdout);
        ::_exit(0);  // nothing of the parent's is closed or flushed from here
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }

    counter = OpenFileblock(name("COUNTER"), false);
    std::string r(kLen, '\0');
    GetRecord(counter, 1, r.data());
    EXPECT_EQ(number(r), kProcesses * kPostings);
    invoices = OpenFileblock(name("INVOICE"), false);
    EXPECT_EQ(UsedRecordCount(invoices), kProcesses * kPostings);
    EXPECT_EQ(KeyCount(invoices, 1), kProcesses * kPostings);
    std::set<int32_t> numbers;
    for (int32_t n = NextUsedRecord(invoices, 0); EngineOk; n = NextUsedRecord(invoices, n)) {
        GetRecord(invoices, n, r.data());
        numbers.insert(number(r));
    }
    ASSERT_EQ(numbers.size(), size_t(kProcesses * kPostings));
    EXPECT_EQ(*numbers.begin(), 1);
    EXPECT_EQ(*numbers.rbegin(), kProcesses * kPostings);
    CloseFileblock(invoices);
    EXPECT_TRUE(CheckFileblock(name("INVOICE")).empty());
}

TEST(KeySpanTest, ASampleOfKeysPlacesEntriesByTheirShareOfTheIndex) {
    // Numbers written in decimal, which interpolation between the ends alone places badly.
    std::vector<std::string> all, sampled;
    for (int i = 1; i <= 100000; ++i) {
        char b[8];
        std::snprintf(b, sizeof b, "C%06d", i);
        all.push_back(b);
        if (i % 37 == 0) sampled.push_back(b);
    }
    std::reverse(sampled.begin(), sampled.end());  // any order
    const server::KeySample sample({all.front(), all.back()}, sampled, 100000, 512);
    ASSERT_TRUE(sample.usable());
    EXPECT_EQ(sample.fraction(all.front()), 0.0);
    EXPECT_EQ(sample.fraction(all.back()), 1.0);
    double last = 0;
    for (size_t i = 0; i < all.size(); i += 1234) {
        const double f = sample.fraction(all[i]);
        EXPECT_GE(f, last);
        EXPECT_NEAR(f, double(i) / double(all.size()), 0.01) << all[i];
        last = f;
    }
    for (double f : {0.0, 0.3, 0.77, 1.0})
        EXPECT_NEAR(sample.fraction(sample.keyAt(f)), f, 0.01);
    // Too few sampled keys: the ends are interpolated between.
    const server::KeySample thin({"A", "Z"}, {"M"}, 50000);
    EXPECT_FALSE(thin.usable());
    EXPECT_NEAR(thin.fraction("M"), 12.0 / 25.0, 0.01);
    EXPECT_EQ(server::SamplePercent(1000000), 2.0);
    EXPECT_EQ(server::SamplePercent(10), 100.0);
    EXPECT_EQ(server::SamplePercent(1000000000), 1.0);
}

// A client killed in the middle of a posting leaves neither changes nor locks behind.
TEST_P(ServerEngineTest, AClientKilledInAPostingLeavesNothingBehind) {
    Fileblock* fb = createOpen(kLen, {{8, false}});
    AddRecord(fb, record(kLen, "counter").data());
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    std::fflush(stdout);  // nothing buffered is written twice
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(ready[0]);
        testing::TempDir mine;
        auto backend = std::make_shared<server::ServerBackend>();
        if (!backend->connect(TestDatabase())) ::_exit(2);
        MountBackend(mine.path(), backend);
        Fileblock* c = OpenFileblock(mine.file("T"), false);
        if (!c) ::_exit(3);
        BeginTransaction();
        std::string r(kLen, '\0');
        GetRecord(c, 1, r.data());  // locks the counter
        PutRecord(c, 1, record(kLen, "changed").data());
        AddRecord(c, record(kLen, "half").data());
        AddKey(c, 1, 2, "HALF");
        if (!EngineOk) ::_exit(4);
        const char one = 1;
        if (::write(ready[1], &one, 1) != 1) ::_exit(5);
        ::pause();  // killed here, the transaction open
        ::_exit(6);
    }
    ::close(ready[1]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    // While it lives, the counter is locked.
    PutRecord(fb, 1, record(kLen, "mine").data());
    EXPECT_EQ(EngineError, server::kLockConflict);
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    // The server ends the dead session's transaction as soon as it sees the socket close.
    for (int i = 0; i < 50; ++i) {
        PutRecord(fb, 1, record(kLen, "mine").data());
        if (EngineOk) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(EngineOk) << EngineError;
    EXPECT_EQ(UsedRecordCount(fb), 1);
    EXPECT_EQ(KeyCount(fb, 1), 0);
    EXPECT_EQ(AddRecord(fb, record(kLen, "next").data()), 2);
}

// Removing and creating fileblocks join the open transaction: until it commits another
// session sees the old fileblock, a rollback brings it back whole, a commit leaves only the
// new one. Files are still removed outside a transaction only.
TEST_P(ServerEngineTest, FileblocksReplacedInATransactionAreMadeOrUndoneWithIt) {
    Fileblock* fb = createOpen(kLen, {{8, false}});
    AddRecord(fb, record(kLen, "old").data());
    AddKey(fb, 1, 1, "OLD");
    CloseFileblock(fb);
    const std::string countOld =
        "SELECT count(*) FROM invarro.fileblock f JOIN invarro.key_entry k ON k.fb = f.id "
        "WHERE f.name = 'T' AND k.key = 'OLD'::bytea";
    auto others = [&](const std::string& sql) {
        pq::Result r;
        EXPECT_TRUE(other.exec(sql, r)) << other.error().message;
        return r.rows() == 1 ? std::string(r.bytes(0, 0)) : std::string();
    };
    auto replace = [&] {
        ASSERT_TRUE(BeginTransaction());
        DeleteFileblock(name());
        ASSERT_TRUE(EngineOk) << EngineError;
        EXPECT_FALSE(FileblockExists(name()));
        Fileblock* fresh = createOpen(kLen * 2, {{8, true}, {4, false}});
        ASSERT_TRUE(fresh);
        EXPECT_EQ(AddRecord(fresh, record(kLen * 2, "new").data()), 1);
        AddKey(fresh, 2, 1, "NEW");
        ASSERT_TRUE(EngineOk) << EngineError;
        CloseFileblock(fresh);
        // Another session still sees the old fileblock, its key entry included.
        EXPECT_EQ(others(countOld), "1");
    };
    replace();
    RollbackTransaction();
    fb = OpenFileblock(name(), true);
    ASSERT_TRUE(fb) << EngineError;
    EXPECT_EQ(RecordLength(fb), kLen);
    EXPECT_EQ(KeyCountOf(fb), 1);
    std::string key = "OLD";
    EXPECT_EQ(FindKeyAtOrAfter(fb, 1, key), 1);
    CloseFileblock(fb);
    EXPECT_TRUE(CheckFileblock(name()).empty());

    replace();
    ASSERT_TRUE(CommitTransaction()) << EngineError;
    EXPECT_EQ(others(countOld), "0");
    EXPECT_EQ(others("SELECT record_length FROM invarro.fileblock WHERE name = 'T'"),
              std::to_string(kLen * 2));
    fb = OpenFileblock(name(), true);
    ASSERT_TRUE(fb) << EngineError;
    EXPECT_EQ(KeyCountOf(fb), 2);
    EXPECT_EQ(UsedRecordCount(fb), 1);
    CloseFileblock(fb);

    // A fileblock open in another session is not removed inside a transaction either.
    auto second = std::make_shared<server::ServerBackend>();
    ASSERT_TRUE(second->connect(TestDatabase()));
    testing::TempDir elsewhere;
    MountBackend(elsewhere.path(), second);
    Fileblock* held = OpenFileblock(elsewhere.file("T"), true);
    ASSERT_TRUE(held) << EngineError;
    ASSERT_TRUE(BeginTransaction());
    DeleteFileblock(name());
    EXPECT_EQ(EngineError, err::OsOther);
    RollbackTransaction();
    CloseFileblock(held);
    MountBackend(elsewhere.path(), nullptr);
    EXPECT_TRUE(FileblockExists(name()));

    // Files: no removal inside a transaction.
    const std::string fileName = elsewhere.file("F");
    CreateFileblock(fileName, kLen, 0, nullptr);
    ASSERT_TRUE(BeginTransaction());
    DeleteFileblock(fileName);
    EXPECT_EQ(EngineError, err::TransactionState);
    RollbackTransaction();
    EXPECT_TRUE(FileblockExists(fileName));
}

// A fileblock open in one program is neither replaced nor removed by another; once closed
// it may be.
TEST_P(ServerEngineTest, AFileblockOpenElsewhereIsNeitherReplacedNorRemoved) {
    Fileblock* fb = createOpen(kLen, {});
    AddRecord(fb, record(kLen, "kept").data());
    testing::TempDir elsewhere;
    auto second = std::make_shared<server::ServerBackend>();
    ASSERT_TRUE(second->connect(TestDatabase()));
    MountBackend(elsewhere.path(), second);
    CreateFileblock(elsewhere.file("T"), kLen, 0, nullptr);
    EXPECT_EQ(EngineError, err::OsOther);
    DeleteFileblock(elsewhere.file("T"));
    EXPECT_EQ(EngineError, err::OsOther);
    EXPECT_EQ(UsedRecordCount(fb), 1);
    // Opened twice here and closed once: still held.
    Fileblock* again = OpenFileblock(name(), false);
    CloseFileblock(again);
    DeleteFileblock(elsewhere.file("T"));
    EXPECT_EQ(EngineError, err::OsOther);
    CloseFileblock(fb);
    DeleteFileblock(elsewhere.file("T"));
    EXPECT_TRUE(EngineOk) << EngineError;
    EXPECT_FALSE(FileblockExists(name()));
    MountBackend(elsewhere.path(), nullptr);
}

// An index too large to count on every scroll: positions come from its first and last key,
// and the scroll bar still lands where it points.
TEST_P(ServerEngineTest, ScrollPositionsInALargeIndexDoNotCount) {
    constexpr int kEntries = 40000;
    Fileblock* fb = createOpen(kLen, {{10, false}});
    const std::string id = std::to_string(idOf("T"));
    // Entries made in one statement: the records do not matter to the positions.
    ASSERT_TRUE(other.exec("INSERT INTO invarro.key_entry SELECT " + id +
                           ", 1, convert_to('C' || lpad(i::text, 6, '0'), 'UTF8'), i, true "
                           "FROM generate_series(1, " +
                           std::to_string(kEntries) +
                           ") i; "
                           "UPDATE invarro.fileblock_key SET entries = " +
                           std::to_string(kEntries) + " WHERE fb = " + id))
        << other.error().message;
    ASSERT_EQ(KeyCount(fb, 1), kEntries);
    EXPECT_EQ(ApproxKeyPosition(fb, 1, "C000001", 1, 63), 0u);
    EXPECT_EQ(ApproxKeyPosition(fb, 1, "C040000", kEntries, 63), 63u);
    uint32_t last = 0;
    for (int i = 1; i <= kEntries; i += 997) {
        char b[8];
        std::snprintf(b, sizeof b, "C%06d", i);
        const uint32_t p = ApproxKeyPosition(fb, 1, b, i, 1000);
        ASSERT_TRUE(EngineOk) << EngineError;
        EXPECT_GE(p, last);
        EXPECT_NEAR(double(p), 1000.0 * i / kEntries, 60.0) << b;
        last = p;
    }
    std::string key;
    int32_t rec = 0;
    ApproxKeyAtPosition(fb, 1, 250, 1000, key, rec);
    ASSERT_TRUE(EngineOk);
    EXPECT_NEAR(rec, kEntries / 4, kEntries / 20);
    ApproxKeyAtPosition(fb, 1, 1000, 1000, key, rec);
    EXPECT_EQ(rec, kEntries);
    // Stepping on from the entry found goes on in index order.
    NextKey(fb, 1, key, rec);
    EXPECT_EQ(EngineError, err::NoNextEntry);
}

INSTANTIATE_TEST_SUITE_P(Backends, ServerEngineTest, ::testing::Values(Where::Server), WhereName);

}  // namespace
}  // namespace invarro::storage
