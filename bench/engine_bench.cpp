// The storage engine against SQLite, measured on equal terms: the same 200,000 records of
// 360 bytes, the same three keys (unique 9, duplicates 8, duplicates 10; SQLite gets one
// index per key), the same cache memory and the same transaction boundaries.
//
// - Memory: SQLite's page cache (PRAGMA cache_size, in KiB) is set to the bytes the engine
//   caches in: its page buffer pool plus the read cache a data file falls back on when it
//   cannot be memory-mapped (counted for SQLite although the engine does not use it here).
//   SQLite reads its file with pread (its default); the engine reads through read-only
//   maps of its files. Neither holds file pages in private memory beyond this figure.
// - Transactions and durability: every engine operation that is acknowledged has reached
//   the operating system (records are written at once; a killed process loses nothing it
//   was told was done) and nothing is flushed to the disk. SQLite commits every operation
//   on its own (autocommit) with journal_mode=WAL and synchronous=OFF: a committed
//   transaction is in the WAL file in the operating system, it survives a killed process,
//   and nothing is fsynced. locking_mode=EXCLUSIVE matches the engine's exclusive open.
// - Both close and reopen their files between the add and the reads and after the delete;
//   the closes are timed with the work before them.
//
// Prints one line "time NAME engine E sqlite S" (CPU seconds of the process, then wall
// seconds in brackets) and one line "ratio NAME R" per workload, R being the engine's CPU
// seconds divided by SQLite's. CPU time is the figure compared because the machine the
// benchmarks run on is shared; the files stay in the operating system's cache throughout.
//
// The durable posting workload ("post") is the books' own unit of work: an invoice record
// with its six keys, five line records with their three keys each, the customer record
// and the company record rewritten, all in one transaction that is durable when its
// commit returns (the engine's journal, SQLite's WAL, synced). Both start from 1,000
// customers and one company. SQLite runs with journal_mode=WAL and synchronous=FULL
// (one sync of the WAL per commit, checkpoints by its own rule) and, as a second peer,
// with its rollback journal and synchronous=FULL ("post-rollback-journal"). Besides the
// CPU ratio, the wall-time ratio of the posting is printed, since a durable commit waits
// for the disk. The closes of the files and the engine's checkpoint of its journal (which
// SQLite's close of a WAL database does too) are timed with the postings.
//
// The server: with --server the benchmark starts a PostgreSQL cluster of its own in FOLDER
// (so on the disk of the files), fsync and synchronous_commit on, and talks to it over TCP
// on 127.0.0.1; --conninfo=STRING uses a server that is running instead. It measures the
// disk's sync time, the same workloads on fewer records (--server-records, default 20,000;
// adds and deletes in transactions of 1,000, since each commit is durable), the durable
// posting (--server-postings, default 500) with its round trips, 1, 2, 4 and 8 writer
// processes posting at once (--writer-postings each, default 100) all in one company and
// each in a company of its own, and with --million=N the row count, scroll-bar positions
// and list pages of an index of N invoices (loaded in bulk on the server). Each server
// figure is taken --repeat times (default 3) and printed as its spread.
//
// Usage: invarro-bench-engine [options] [RECORDS] [FOLDER] [POOL] [engine|sqlite|server]
// [POSTINGS]
// POOL overrides the engine's minimum page pool; the fourth argument runs one side only
// (for profiling).

#include <sqlite3.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/ServerPeer.h"
#include "bench/SqlitePeer.h"
#include "storage/BTree.h"
#include "storage/Browser.h"
#include "storage/Engine.h"
#include "storage/Transaction.h"
#include "storage/server/ServerBackend.h"

using namespace invarro::storage;

namespace {

constexpr int kRecLen = 360;

struct Row {
    std::string k1, k2, k3;  // unique 9, duplicates 8, duplicates 10
    std::string body;        // the 360-byte record
};

std::vector<Row> makeRows(int n) {
    std::mt19937 rng(42);
    std::vector<int> ids(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        ids[size_t(i)] = i;
    std::shuffle(ids.begin(), ids.end(), rng);
    std::vector<Row> rows(static_cast<size_t>(n));
    char b[32];
    for (int i = 0; i < n; ++i) {
        Row& r = rows[size_t(i)];
        std::snprintf(b, sizeof b, "I%08d", ids[size_t(i)]);
        r.k1 = b;
        std::snprintf(b, sizeof b, "C%07d", int(rng() % 5000));
        r.k2 = b;
        int day = int(rng() % 1500);
        std::snprintf(b, sizeof b, "%04d/%02d/%02d", 2020 + day / 365, 1 + day / 31 % 12,
                      1 + day % 28);
        r.k3 = b;
        r.body.assign(kRecLen, '\0');
        for (int j = 4; j < kRecLen; ++j)
            r.body[size_t(j)] = char('A' + rng() % 26);
        r.body.replace(4, 9, r.k1);
        r.body.replace(13, 8, r.k2);
        r.body.replace(21, 10, r.k3);
    }
    return rows;
}

// Wall and CPU time since construction.
struct Stopwatch {
    std::chrono::steady_clock::time_point wall0 = std::chrono::steady_clock::now();
    double cpu0 = cpuNow();
    static double cpuNow() {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
    }
    struct Reading {
        double cpu = 0, wall = 0;
    };
    Reading read() const {
        return {cpuNow() - cpu0,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count()};
    }
};
using Reading = Stopwatch::Reading;

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "%s failed (engine error %d)\n", what, EngineError);
        std::exit(1);
    }
}

struct Times {
    Reading add, lookup, iterate, scan, del;
};

// Adds and deletes run outside transactions, or in transactions of `batch` operations
// (a server commits every transaction durably, so one per operation would time the disk).
Times runEngine(const std::vector<Row>& rows, const std::vector<int>& probes,
                const std::string& folder, size_t batch = 0) {
    Times t;
    std::string name = folder + "/BENCH";
    KeyDescriptor keys[] = {{9, false}, {8, true}, {10, true}};
    CreateFileblock(name, kRecLen, 3, keys);
    check(EngineOk, "create");
    Fileblock* fb = OpenFileblock(name, false);
    check(EngineOk, "open");

    Stopwatch sw;
    std::vector<int32_t> recNo(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        if (batch && i % batch == 0) check(BeginTransaction(), "begin");
        const Row& r = rows[i];
        int32_t n = AddRecord(fb, r.body.data());
        AddKey(fb, 1, n, r.k1);
        AddKey(fb, 2, n, r.k2);
        AddKey(fb, 3, n, r.k3);
        check(EngineOk, "add");
        recNo[i] = n;
        if (batch && (i % batch == batch - 1 || i + 1 == rows.size()))
            check(CommitTransaction(), "commit");
    }
    CloseFileblock(fb);  // the index is complete on disk only after the close
    t.add = sw.read();
    fb = OpenFileblock(name, false);

    std::string buf(kRecLen, '\0');
    sw = Stopwatch();
    long found = 0;
    std::string key;
    for (int p : probes) {
        key = rows[size_t(p)].k1;
        int32_t n = FindKeyAtOrAfter(fb, 1, key);
        GetRecord(fb, n, buf.data());
        found += EngineOk && key == rows[size_t(p)].k1;
    }
    t.lookup = sw.read();
    check(found == long(probes.size()), "lookup");

    sw = Stopwatch();
    long count = 0;
    key.clear();
    int32_t n = 0;
    for (;;) {
        NextKey(fb, 2, key, n);
        if (!EngineOk) break;
        GetRecord(fb, n, buf.data());
        ++count;
    }
    t.iterate = sw.read();
    check(count == long(rows.size()), "iterate");

    sw = Stopwatch();
    count = 0;
    for (n = NextUsedRecord(fb, 0); EngineOk; n = NextUsedRecord(fb, n)) {
        GetRecord(fb, n, buf.data());
        ++count;
    }
    t.scan = sw.read();
    check(count == long(rows.size()), "scan");

    sw = Stopwatch();
    for (size_t i = 0; i < rows.size(); i += 2) {
        if (batch && i / 2 % batch == 0) check(BeginTransaction(), "begin");
        const Row& r = rows[i];
        DeleteKey(fb, 1, recNo[i], r.k1);
        DeleteKey(fb, 2, recNo[i], r.k2);
        DeleteKey(fb, 3, recNo[i], r.k3);
        DeleteRecord(fb, recNo[i]);
        check(EngineOk, "delete");
        if (batch && (i / 2 % batch == batch - 1 || i + 2 >= rows.size()))
            check(CommitTransaction(), "commit");
    }
    CloseFileblock(fb);
    t.del = sw.read();
    return t;
}

void sq(sqlite3* db, const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s: %s\n", sql, err);
        std::exit(1);
    }
}

sqlite3_stmt* prep(sqlite3* db, const char* sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite prepare: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
    return st;
}

sqlite3* openSqlite(const std::string& path, int64_t cacheBytes) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite open: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
    std::string cache = "PRAGMA cache_size=-" + std::to_string(cacheBytes / 1024);
    sq(db, cache.c_str());
    sq(db, "PRAGMA locking_mode=EXCLUSIVE");
    sq(db, "PRAGMA journal_mode=WAL");
    sq(db, "PRAGMA synchronous=OFF");
    return db;
}

void step(sqlite3_stmt* st, const char* what) {
    if (sqlite3_step(st) != SQLITE_DONE) {
        std::fprintf(stderr, "sqlite %s failed\n", what);
        std::exit(1);
    }
    sqlite3_reset(st);
}

Times runSqlite(const std::vector<Row>& rows, const std::vector<int>& probes,
                const std::string& folder, int64_t cacheBytes) {
    Times t;
    std::string path = folder + "/bench.sqlite";
    sqlite3* db = openSqlite(path, cacheBytes);
    sq(db,
       "CREATE TABLE t(id INTEGER PRIMARY KEY, k1 TEXT NOT NULL, k2 TEXT NOT NULL, "
       "k3 TEXT NOT NULL, body BLOB NOT NULL)");
    sq(db, "CREATE UNIQUE INDEX t1 ON t(k1)");
    sq(db, "CREATE INDEX t2 ON t(k2)");
    sq(db, "CREATE INDEX t3 ON t(k3)");

    Stopwatch sw;
    sqlite3_stmt* ins = prep(db, "INSERT INTO t(id, k1, k2, k3, body) VALUES(?,?,?,?,?)");
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        sqlite3_bind_int(ins, 1, int(i) + 1);
        sqlite3_bind_text(ins, 2, r.k1.data(), int(r.k1.size()), SQLITE_STATIC);
        sqlite3_bind_text(ins, 3, r.k2.data(), int(r.k2.size()), SQLITE_STATIC);
        sqlite3_bind_text(ins, 4, r.k3.data(), int(r.k3.size()), SQLITE_STATIC);
        sqlite3_bind_blob(ins, 5, r.body.data(), int(r.body.size()), SQLITE_STATIC);
        step(ins, "insert");
    }
    sqlite3_finalize(ins);
    sqlite3_close(db);
    t.add = sw.read();
    db = openSqlite(path, cacheBytes);

    std::string buf(kRecLen, '\0');
    sqlite3_stmt* sel = prep(db, "SELECT id, k1, body FROM t WHERE k1 >= ? ORDER BY k1 LIMIT 1");
    sw = Stopwatch();
    long found = 0;
    for (int p : probes) {
        const std::string& k = rows[size_t(p)].k1;
        sqlite3_bind_text(sel, 1, k.data(), int(k.size()), SQLITE_STATIC);
        if (sqlite3_step(sel) == SQLITE_ROW) {
            std::memcpy(buf.data(), sqlite3_column_blob(sel, 2), kRecLen);
            found += k == reinterpret_cast<const char*>(sqlite3_column_text(sel, 1));
        }
        sqlite3_reset(sel);
    }
    t.lookup = sw.read();
    sqlite3_finalize(sel);
    check(found == long(probes.size()), "sqlite lookup");

    sw = Stopwatch();
    sqlite3_stmt* it = prep(db, "SELECT id, k2, body FROM t ORDER BY k2, id");
    long count = 0;
    while (sqlite3_step(it) == SQLITE_ROW) {
        std::memcpy(buf.data(), sqlite3_column_blob(it, 2), kRecLen);
        ++count;
    }
    sqlite3_finalize(it);
    t.iterate = sw.read();
    check(count == long(rows.size()), "sqlite iterate");

    sw = Stopwatch();
    sqlite3_stmt* scan = prep(db, "SELECT id, body FROM t");
    count = 0;
    while (sqlite3_step(scan) == SQLITE_ROW) {
        std::memcpy(buf.data(), sqlite3_column_blob(scan, 1), kRecLen);
        ++count;
    }
    sqlite3_finalize(scan);
    t.scan = sw.read();
    check(count == long(rows.size()), "sqlite scan");

    sw = Stopwatch();
    sqlite3_stmt* del = prep(db, "DELETE FROM t WHERE id = ?");
    for (size_t i = 0; i < rows.size(); i += 2) {
        sqlite3_bind_int(del, 1, int(i) + 1);
        step(del, "delete");
    }
    sqlite3_finalize(del);
    sqlite3_close(db);
    t.del = sw.read();
    return t;
}

// ------------------------------------------------------------------ durable postings

constexpr int kInvLen = 360, kLineLen = 156, kCustLen = 1008, kCompLen = 2736;
constexpr int kCustomers = 1000;

std::string Filled(int len, std::mt19937& rng) {
    std::string r(size_t(len), '\0');
    for (int j = 4; j < len; ++j)
        r[size_t(j)] = char('A' + rng() % 26);
    return r;
}

// The keys of posting i: six of the invoice, three of each line.
struct PostingKeys {
    std::string inv[6];
    std::string line[5][3];
};
PostingKeys KeysOf(int i, std::mt19937& rng) {
    PostingKeys k;
    char b[40];
    std::snprintf(b, sizeof b, "%09d", 100000 + i);
    k.inv[0] = b;
    std::snprintf(b, sizeof b, "C%07d", int(rng() % kCustomers));
    k.inv[1] = b;
    k.inv[2] = "2026/12/09";
    k.inv[3] = k.inv[1];
    k.inv[4] = "I2026/12/0";
    k.inv[5] = "N" + k.inv[0];
    for (int l = 0; l < 5; ++l) {
        std::snprintf(b, sizeof b, "P%09d", int(rng() % 500));
        k.line[l][0] = b;
        k.line[l][1] = k.inv[0];
        std::snprintf(b, sizeof b, "%09d%02d", 100000 + i, l + 1);
        k.line[l][2] = b;
    }
    return k;
}

// The fileblocks of one company's postings: invoices, lines, customers and the company
// record with its counters, named prefix + I, N, C and Company.
struct PostingFiles {
    Fileblock *inv = nullptr, *line = nullptr, *cust = nullptr, *comp = nullptr;
    std::string invRec, lineRec, custRec, compRec;
};

void CreatePostingFiles(const std::string& prefix) {
    KeyDescriptor invKeys[] = {{9, true}, {8, true}, {10, true}, {8, true}, {10, true}, {10, true}};
    KeyDescriptor lineKeys[] = {{10, true}, {9, true}, {11, true}};
    KeyDescriptor custKeys[] = {{30, false}, {8, true}};
    KeyDescriptor compKeys[] = {{5, false}, {30, true}};
    CreateFileblock(prefix + "I", kInvLen, 6, invKeys);
    CreateFileblock(prefix + "N", kLineLen, 3, lineKeys);
    CreateFileblock(prefix + "C", kCustLen, 2, custKeys);
    CreateFileblock(prefix + "Company", kCompLen, 2, compKeys);
    check(EngineOk, "create");
    std::mt19937 rng(11);
    Fileblock* fc = OpenFileblock(prefix + "C", false);
    Fileblock* fo = OpenFileblock(prefix + "Company", false);
    check(EngineOk, "open");
    char b[40];
    const bool batched = BeginTransaction();  // one commit for the customers
    for (int c = 0; c < kCustomers; ++c) {
        std::string r = Filled(kCustLen, rng);
        int32_t n = AddRecord(fc, r.data());
        std::snprintf(b, sizeof b, "CUSTOMER %06d", c);
        AddKey(fc, 1, n, b);
        std::snprintf(b, sizeof b, "C%07d", c);
        AddKey(fc, 2, n, b);
    }
    std::string company = Filled(kCompLen, rng);
    int32_t n0 = AddRecord(fo, company.data());
    AddKey(fo, 1, n0, "1");
    AddKey(fo, 2, n0, "THE COMPANY");
    check(EngineOk, "fill");
    if (batched) check(CommitTransaction(), "commit");
    CloseFileblock(fc);
    CloseFileblock(fo);
}

PostingFiles OpenPostingFiles(const std::string& prefix) {
    PostingFiles f;
    f.inv = OpenFileblock(prefix + "I", false);
    f.line = OpenFileblock(prefix + "N", false);
    f.cust = OpenFileblock(prefix + "C", false);
    f.comp = OpenFileblock(prefix + "Company", false);
    check(EngineOk, "open");
    std::mt19937 rng(12);
    f.invRec = Filled(kInvLen, rng);
    f.lineRec = Filled(kLineLen, rng);
    f.custRec.assign(kCustLen, '\0');
    f.compRec.assign(kCompLen, '\0');
    return f;
}

void ClosePostingFiles(PostingFiles& f) {
    for (Fileblock* fb : {f.inv, f.line, f.cust, f.comp})
        CloseFileblock(fb);
    check(EngineOk, "close");
}

// One posting in one transaction: false, rolled back, when the engine refused any of it.
bool PostOne(PostingFiles& f, const PostingKeys& k, int32_t customer, int i) {
    if (!BeginTransaction()) return false;
    f.invRec.replace(4, 9, k.inv[0]);
    const int32_t n = AddRecord(f.inv, f.invRec.data());
    for (int j = 0; j < 6 && EngineOk; ++j)
        AddKey(f.inv, j + 1, n, k.inv[j]);
    for (int l = 0; l < 5 && EngineOk; ++l) {
        f.lineRec.replace(4, 11, k.line[l][2]);
        const int32_t m = AddRecord(f.line, f.lineRec.data());
        for (int j = 0; j < 3 && EngineOk; ++j)
            AddKey(f.line, j + 1, m, k.line[l][j]);
    }
    if (EngineOk) GetRecord(f.cust, customer, f.custRec.data());
    f.custRec[40] = char('A' + i % 26);
    if (EngineOk) PutRecord(f.cust, customer, f.custRec.data());
    if (EngineOk) GetRecord(f.comp, 1, f.compRec.data());
    f.compRec[40] = char('A' + i % 26);
    if (EngineOk) PutRecord(f.comp, 1, f.compRec.data());
    if (!EngineOk) {
        const int32_t error = EngineError;
        RollbackTransaction();
        EngineOk = false;
        EngineError = error;
        return false;
    }
    return CommitTransaction();
}

// Postings one after another; each one's wall seconds go to `each` when given.
Reading runEnginePost(int postings, const std::string& folder,
                      std::vector<double>* each = nullptr) {
    const std::string prefix = folder + "/1";
    CreatePostingFiles(prefix);
    PostingFiles f = OpenPostingFiles(prefix);
    std::mt19937 rng(11);
    Stopwatch sw;
    for (int i = 0; i < postings; ++i) {
        const PostingKeys k = KeysOf(i, rng);
        const int32_t c = 1 + int32_t(rng() % kCustomers);
        const auto t0 = std::chrono::steady_clock::now();
        check(PostOne(f, k, c, i), "posting");
        if (each)
            each->push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    ClosePostingFiles(f);
    // A close leaves the journal's pages to the next checkpoint; SQLite's close
    // checkpoints its WAL, so the engine's checkpoint is timed too.
    check(CheckpointJournal(), "checkpoint");
    return sw.read();
}

Reading runSqlitePost(int postings, const std::string& folder, int64_t cacheBytes, bool wal) {
    const std::string path = folder + (wal ? "/post-wal.sqlite" : "/post-journal.sqlite");
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) std::exit(1);
    sq(db, ("PRAGMA cache_size=-" + std::to_string(cacheBytes / 1024)).c_str());
    sq(db, "PRAGMA locking_mode=EXCLUSIVE");
    sq(db, wal ? "PRAGMA journal_mode=WAL" : "PRAGMA journal_mode=DELETE");
    sq(db, "PRAGMA synchronous=FULL");
    sq(db, "CREATE TABLE inv(id INTEGER PRIMARY KEY, k1, k2, k3, k4, k5, k6, body BLOB)");
    for (const char* ix :
         {"CREATE INDEX inv1 ON inv(k1)", "CREATE INDEX inv2 ON inv(k2)",
          "CREATE INDEX inv3 ON inv(k3)", "CREATE INDEX inv4 ON inv(k4)",
          "CREATE INDEX inv5 ON inv(k5)", "CREATE INDEX inv6 ON inv(k6)",
          "CREATE TABLE line(id INTEGER PRIMARY KEY, k1, k2, k3, body BLOB)",
          "CREATE INDEX line1 ON line(k1)", "CREATE INDEX line2 ON line(k2)",
          "CREATE INDEX line3 ON line(k3)",
          "CREATE TABLE cust(id INTEGER PRIMARY KEY, k1, k2, body BLOB)",
          "CREATE UNIQUE INDEX cust1 ON cust(k1)", "CREATE INDEX cust2 ON cust(k2)",
          "CREATE TABLE comp(id INTEGER PRIMARY KEY, k1, k2, body BLOB)",
          "CREATE UNIQUE INDEX comp1 ON comp(k1)", "CREATE INDEX comp2 ON comp(k2)"})
        sq(db, ix);
    std::mt19937 rng(11);
    sq(db, "BEGIN");
    sqlite3_stmt* addc = prep(db, "INSERT INTO cust(id, k1, k2, body) VALUES(?,?,?,?)");
    char b[40];
    for (int c = 0; c < kCustomers; ++c) {
        std::string r = Filled(kCustLen, rng);
        sqlite3_bind_int(addc, 1, c + 1);
        std::snprintf(b, sizeof b, "CUSTOMER %06d", c);
        sqlite3_bind_text(addc, 2, b, -1, SQLITE_TRANSIENT);
        std::snprintf(b, sizeof b, "C%07d", c);
        sqlite3_bind_text(addc, 3, b, -1, SQLITE_TRANSIENT);
        sqlite3_bind_blob(addc, 4, r.data(), int(r.size()), SQLITE_TRANSIENT);
        step(addc, "customer");
    }
    sqlite3_finalize(addc);
    std::string company = Filled(kCompLen, rng);
    sqlite3_stmt* addo =
        prep(db, "INSERT INTO comp(id, k1, k2, body) VALUES(1,'1','THE COMPANY',?)");
    sqlite3_bind_blob(addo, 1, company.data(), int(company.size()), SQLITE_STATIC);
    step(addo, "company");
    sqlite3_finalize(addo);
    sq(db, "COMMIT");

    std::string invRec = Filled(kInvLen, rng), lineRec = Filled(kLineLen, rng);
    sqlite3_stmt* begin = prep(db, "BEGIN");
    sqlite3_stmt* commit = prep(db, "COMMIT");
    sqlite3_stmt* addi =
        prep(db, "INSERT INTO inv(k1, k2, k3, k4, k5, k6, body) VALUES(?,?,?,?,?,?,?)");
    sqlite3_stmt* addl = prep(db, "INSERT INTO line(k1, k2, k3, body) VALUES(?,?,?,?)");
    sqlite3_stmt* getc = prep(db, "SELECT body FROM cust WHERE id = ?");
    sqlite3_stmt* putc = prep(db, "UPDATE cust SET body = ? WHERE id = ?");
    sqlite3_stmt* geto = prep(db, "SELECT body FROM comp WHERE id = 1");
    sqlite3_stmt* puto = prep(db, "UPDATE comp SET body = ? WHERE id = 1");
    std::string custRec(kCustLen, '\0'), compRec(kCompLen, '\0');
    Stopwatch sw;
    for (int i = 0; i < postings; ++i) {
        const PostingKeys k = KeysOf(i, rng);
        step(begin, "begin");
        invRec.replace(4, 9, k.inv[0]);
        for (int j = 0; j < 6; ++j)
            sqlite3_bind_text(addi, j + 1, k.inv[j].data(), int(k.inv[j].size()), SQLITE_STATIC);
        sqlite3_bind_blob(addi, 7, invRec.data(), kInvLen, SQLITE_STATIC);
        step(addi, "invoice");
        for (int l = 0; l < 5; ++l) {
            lineRec.replace(4, 11, k.line[l][2]);
            for (int j = 0; j < 3; ++j)
                sqlite3_bind_text(addl, j + 1, k.line[l][j].data(), int(k.line[l][j].size()),
                                  SQLITE_STATIC);
            sqlite3_bind_blob(addl, 4, lineRec.data(), kLineLen, SQLITE_STATIC);
            step(addl, "line");
        }
        const int c = 1 + int(rng() % kCustomers);
        sqlite3_bind_int(getc, 1, c);
        if (sqlite3_step(getc) == SQLITE_ROW)
            std::memcpy(custRec.data(), sqlite3_column_blob(getc, 0), kCustLen);
        sqlite3_reset(getc);
        custRec[40] = char('A' + i % 26);
        sqlite3_bind_blob(putc, 1, custRec.data(), kCustLen, SQLITE_STATIC);
        sqlite3_bind_int(putc, 2, c);
        step(putc, "customer");
        if (sqlite3_step(geto) == SQLITE_ROW)
            std::memcpy(compRec.data(), sqlite3_column_blob(geto, 0), kCompLen);
        sqlite3_reset(geto);
        compRec[40] = char('A' + i % 26);
        sqlite3_bind_blob(puto, 1, compRec.data(), kCompLen, SQLITE_STATIC);
        step(puto, "company");
        step(commit, "commit");
    }
    for (sqlite3_stmt* st : {begin, commit, addi, addl, getc, putc, geto, puto})
        sqlite3_finalize(st);
    sqlite3_close(db);
    return sw.read();
}

// ------------------------------------------------------------------------- the server

using invarro::bench::Spread;
using invarro::bench::SpreadOf;

double Ms(double seconds) {
    return seconds * 1000.0;
}

std::string SpreadText(const std::vector<double>& seconds) {
    const Spread s = SpreadOf(seconds);
    char b[96];
    std::snprintf(b, sizeof b, "min %.3f median %.3f max %.3f ms", Ms(s.min), Ms(s.median),
                  Ms(s.max));
    return b;
}

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::shared_ptr<server::ServerBackend> Mount(const std::string& folder,
                                             const std::string& conninfo) {
    std::string error;
    auto backend = server::MountServer(folder, conninfo, &error);
    if (!backend) {
        std::fprintf(stderr, "server: %s\n", error.c_str());
        std::exit(1);
    }
    return backend;
}

// What one writer process did.
struct WriterResult {
    double start = 0, end = 0;
    int postings = 0, retries = 0, failures = 0;
};

// One writer: its own connection, its postings one after another, a posting refused as
// busy (a lock not had in time, a deadlock) rolled back and run again.
[[noreturn]] void Writer(const std::string& folder, const std::string& conninfo,
                         const std::string& prefix, int writer, int postings, int ready, int go,
                         int results) {
    auto backend = Mount(folder, conninfo);
    PostingFiles f = OpenPostingFiles(prefix);
    std::mt19937 rng(uint32_t(100 + writer));
    char c = 1;
    if (::write(ready, &c, 1) != 1) ::_exit(2);
    while (::read(go, &c, 1) > 0) {
    }
    WriterResult r;
    r.start = Now();
    for (int i = 0; i < postings; ++i) {
        const PostingKeys k = KeysOf(writer * 1000000 + i, rng);
        const int32_t customer = 1 + int32_t(rng() % kCustomers);
        for (int attempt = 0;; ++attempt) {
            if (PostOne(f, k, customer, i)) {
                ++r.postings;
                break;
            }
            if (ErrorClass() != 2 || attempt == 50) {
                std::fprintf(stderr, "writer %d: posting failed (engine error %d)\n", writer,
                             EngineError);
                ++r.failures;
                break;
            }
            ++r.retries;
        }
    }
    r.end = Now();
    ssize_t written = ::write(results, &r, sizeof r);
    ::_exit(written == ssize_t(sizeof r) ? 0 : 2);
}

struct WritersRun {
    double perSecond = 0;
    int retries = 0, failures = 0;
};

// `writers` processes posting at once, into one company or each into a company of its own.
// The parent holds no connection while they run; they start together once all are ready.
WritersRun RunWriters(const std::string& conninfo, const std::string& folder, int writers,
                      bool ownCompany, int postingsEach) {
    auto prefixOf = [&](int w) {
        return folder + "/" + (ownCompany ? "W" + std::to_string(w) + "_" : std::string("W_"));
    };
    {
        auto backend = Mount(folder, conninfo);
        for (int w = 0; w < (ownCompany ? writers : 1); ++w)
            CreatePostingFiles(prefixOf(w));
        // The set-up's writing done before the clock starts (a role without the right to
        // CHECKPOINT leaves it to the server).
        backend->connection().exec("CHECKPOINT");
        invarro::bench::SettleDisk();
        MountBackend(folder, nullptr);
    }
    int ready[2], go[2], results[2];
    if (::pipe(ready) || ::pipe(go) || ::pipe(results)) std::exit(1);
    std::fflush(nullptr);
    std::vector<pid_t> pids;
    for (int w = 0; w < writers; ++w) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(go[1]);
            Writer(folder, conninfo, prefixOf(ownCompany ? w : 0), w, postingsEach, ready[1], go[0],
                   results[1]);
        }
        pids.push_back(pid);
    }
    ::close(ready[1]);
    ::close(go[0]);
    ::close(results[1]);
    char c;
    for (int w = 0; w < writers; ++w)
        if (::read(ready[0], &c, 1) != 1) {
            std::fprintf(stderr, "a writer did not start\n");
            std::exit(1);
        }
    ::close(go[1]);  // all start now
    WritersRun run;
    double first = 1e300, last = 0;
    int postings = 0;
    WriterResult r;
    while (::read(results[0], &r, sizeof r) == ssize_t(sizeof r)) {
        first = std::min(first, r.start);
        last = std::max(last, r.end);
        postings += r.postings;
        run.retries += r.retries;
        run.failures += r.failures;
    }
    for (pid_t pid : pids)
        ::waitpid(pid, nullptr, 0);
    ::close(ready[0]);
    ::close(results[0]);
    run.perSecond = last > first ? postings / (last - first) : 0;
    return run;
}

// Reads of a list over an index of a million entries: its row count, a scroll-bar position
// and the entry at one, the first page of 20 rows and a page from the middle.
void MillionReads(const std::string& folder, const std::string& conninfo, int count, int repeat) {
    auto backend = Mount(folder, conninfo);
    KeyDescriptor keys[] = {{9, false}, {8, true}};
    const std::string name = folder + "/BIG";
    CreateFileblock(name, kInvLen, 2, keys);
    check(EngineOk, "create");
    double t0 = Now();
    invarro::bench::BulkLoadInvoices(*backend, "BIG", kInvLen, count);
    std::printf("# million: %d invoices loaded in one bulk statement per table in %.1f s\n", count,
                Now() - t0);
    Fileblock* fb = OpenFileblock(name, false);
    check(EngineOk, "open");
    std::string buf(kInvLen, '\0');
    auto timed = [&](int times, auto&& work) {
        std::vector<double> v;
        for (int i = 0; i < times; ++i) {
            const double s = Now();
            work(i);
            v.push_back(Now() - s);
        }
        return v;
    };
    auto page = [&](std::string key) {
        int32_t n = FindKeyAtOrAfter(fb, 1, key);
        for (int row = 0; row < 20 && EngineOk; ++row) {
            GetRecord(fb, n, buf.data());
            if (row < 19) NextKey(fb, 1, key, n);
        }
        check(EngineOk, "page");
    };
    const int times = 20 * repeat;
    std::vector<double> counts =
        timed(times, [&](int) { check(KeyCount(fb, 1) == count, "count"); });
    t0 = Now();
    ApproxKeyPosition(fb, 1, "000000001", 0, 1000);
    const double sampled = Now() - t0;
    uint32_t position = 0;
    std::vector<double> positions = timed(times, [&](int i) {
        char k[16];
        std::snprintf(k, sizeof k, "%09d", 1 + (i * 7919) % count);
        position = ApproxKeyPosition(fb, 1, k, 0, 1000);
        check(EngineOk, "position");
    });
    std::vector<double> atPositions = timed(times, [&](int i) {
        std::string key;
        int32_t rec = 0;
        ApproxKeyAtPosition(fb, 1, uint32_t(i * 37 % 1000), 1000, key, rec);
        check(EngineOk, "entry at position");
    });
    const int64_t trips0 = backend->connection().roundTrips();
    std::vector<double> firstPages = timed(times, [&](int) { page(""); });
    const double tripsPerPage =
        double(backend->connection().roundTrips() - trips0) / double(firstPages.size());
    char middle[16];
    std::snprintf(middle, sizeof middle, "%09d", count / 2);
    std::vector<double> middlePages = timed(times, [&](int) { page(middle); });
    // The first page as the list windows fill it: the browser of the list control.
    std::vector<double> browserPages;
    double tripsPerBrowserPage = 0;
    {
        Browser browser(fb, 1, buf.data(), kInvLen);
        browser.SetRowsInView(20);
        browser.OnBuildRow = [](RowRecord& row) {
            row.text = "row";
            return 0;
        };
        const int64_t trips1 = backend->connection().roundTrips();
        browserPages = timed(times, [&](int) {
            browser.FirstPage();
            check(browser.FilledRows() == 20, "browser page");
        });
        tripsPerBrowserPage =
            double(backend->connection().roundTrips() - trips1) / double(browserPages.size());
    }
    CloseFileblock(fb);
    std::printf("million count %s (the key's kept entry count)\n", SpreadText(counts).c_str());
    std::printf("million position first %.3f ms (takes the sample), then %s (at %u of 1000)\n",
                Ms(sampled), SpreadText(positions).c_str(), position);
    std::printf("million entry-at-position %s\n", SpreadText(atPositions).c_str());
    std::printf("million first-page %s, %.0f round trips (target under 2 ms: %s)\n",
                SpreadText(firstPages).c_str(), tripsPerPage,
                SpreadOf(firstPages).median < 0.002 ? "met" : "missed");
    std::printf("million middle-page %s\n", SpreadText(middlePages).c_str());
    std::printf("million browser-first-page %s, %.0f round trips (target under 2 ms: %s)\n",
                SpreadText(browserPages).c_str(), tripsPerBrowserPage,
                SpreadOf(browserPages).median < 0.002 ? "met" : "missed");
    MountBackend(folder, nullptr);
}

// The server's side of the benchmark.
void RunServer(const std::string& conninfo, const std::string& folder, const std::vector<Row>& rows,
               const std::vector<int>& probes, int postings, int writerPostings, int million,
               int repeat) {
    const std::vector<double> syncs = invarro::bench::MeasureSyncTimes(folder, 200, 4096);
    const Spread sync = SpreadOf(syncs);
    std::printf("sync disk: write 4 KiB + fdatasync %s (200 times)\n", SpreadText(syncs).c_str());

    const std::string srv = folder + "/server";
    {
        auto backend = Mount(srv, conninfo);
        std::vector<int> someProbes(probes.begin(),
                                    probes.begin() + std::min<size_t>(probes.size(), 20000));
        for (int& p : someProbes)
            p %= int(rows.size());
        const Times t = runEngine(rows, someProbes, srv, 1000);
        std::printf(
            "# server: the same workloads on %zu records (lookup %zu keys), adds and deletes in "
            "transactions of 1,000, each committed durably\n",
            rows.size(), someProbes.size());
        const struct {
            const char* name;
            Reading r;
        } lines[] = {{"add", t.add},
                     {"lookup", t.lookup},
                     {"iterate", t.iterate},
                     {"scan", t.scan},
                     {"delete", t.del}};
        for (auto& l : lines)
            std::printf("time %-8s server %.3f s (wall %.3f), %.1f us per record\n", l.name,
                        l.r.cpu, l.r.wall, l.r.wall * 1e6 / double(rows.size()));

        // One posting's round trips and the WAL a posting writes, on fileblocks already open.
        CreatePostingFiles(srv + "/1");
        PostingFiles f = OpenPostingFiles(srv + "/1");
        std::mt19937 rng(5);
        int64_t trips0 = backend->connection().roundTrips();
        check(PostOne(f, KeysOf(9000000, rng), 1, 0), "posting");
        std::printf("post round-trips %lld per posting\n",
                    static_cast<long long>(backend->connection().roundTrips() - trips0));
        auto walPosition = [&] {
            invarro::pq::Result r;
            return backend->connection().exec(
                       "SELECT pg_wal_lsn_diff(pg_current_wal_lsn(), '0/0')::bigint", r)
                       ? std::atoll(std::string(r.bytes(0, 0)).c_str())
                       : 0LL;
        };
        const long long wal0 = walPosition();
        for (int i = 1; i <= 50; ++i)
            check(PostOne(f, KeysOf(9000000 + i, rng), 1 + i, i), "posting");
        const long long walPerPosting = (walPosition() - wal0) / 50;
        ClosePostingFiles(f);
        // The disk's sync of as much as a posting writes to the WAL, in 8 KiB pages.
        const int walBytes = int(std::max(8192LL, (walPerPosting + 8191) / 8192 * 8192));
        const std::vector<double> walSyncs =
            invarro::bench::MeasureSyncTimes(folder, 200, walBytes);
        const Spread walSync = SpreadOf(walSyncs);
        std::printf("sync disk: write %d KiB (a posting's WAL, %lld bytes) + fdatasync %s\n",
                    walBytes / 1024, walPerPosting, SpreadText(walSyncs).c_str());
        const double target = std::max(sync.median, walSync.median) + 0.002;
        for (int rep = 0; rep < repeat; ++rep) {
            std::vector<double> each;
            runEnginePost(postings, srv, &each);
            std::sort(each.begin(), each.end());
            const double p90 = each[each.size() * 9 / 10];
            std::printf(
                "post server run %d: %d postings, %s, p90 %.3f ms; target sync median + 2 ms = "
                "%.3f ms: %s\n",
                rep + 1, postings, SpreadText(each).c_str(), Ms(p90), Ms(target),
                SpreadOf(each).median <= target ? "met" : "missed");
        }
        MountBackend(srv, nullptr);
    }

    std::printf("# writers: processes posting at once, %d postings each\n", writerPostings);
    for (bool own : {false, true}) {
        double one = 0;
        for (int writers : {1, 2, 4, 8}) {
            std::vector<double> rates;
            int retries = 0, failures = 0;
            for (int rep = 0; rep < repeat; ++rep) {
                const WritersRun run =
                    RunWriters(conninfo, folder + "/writers", writers, own, writerPostings);
                rates.push_back(run.perSecond);
                retries += run.retries;
                failures += run.failures;
            }
            const Spread s = SpreadOf(rates);
            if (writers == 1) one = s.median;
            std::printf(
                "writers %-15s %d: postings/s min %.0f median %.0f max %.0f; retries %d, "
                "failures %d; %.2f x one writer\n",
                own ? "own-company" : "same-company", writers, s.min, s.median, s.max, retries,
                failures, one > 0 ? s.median / one : 0.0);
        }
    }
    if (million > 0) MillionReads(folder + "/million", conninfo, million, repeat);
}

}  // namespace

int main(int argc, char** argv) {
    // Flags first (--name=value), the positional arguments as they always were.
    std::vector<std::string> args;
    bool ownCluster = false;
    std::string conninfo;
    int serverRecords = 20000, serverPostings = 500, writerPostings = 100, million = 0, repeat = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* flag) -> const char* {
            const size_t n = std::strlen(flag);
            return a.compare(0, n, flag) == 0 ? a.c_str() + n : nullptr;
        };
        if (a == "--server")
            ownCluster = true;
        else if (const char* v = value("--conninfo="))
            conninfo = v;
        else if (const char* v = value("--server-records="))
            serverRecords = std::max(1, std::atoi(v));
        else if (const char* v = value("--server-postings="))
            serverPostings = std::max(1, std::atoi(v));
        else if (const char* v = value("--writer-postings="))
            writerPostings = std::max(1, std::atoi(v));
        else if (const char* v = value("--million="))
            million = std::max(0, std::atoi(v));
        else if (const char* v = value("--repeat="))
            repeat = std::max(1, std::atoi(v));
        else if (a.compare(0, 2, "--") == 0) {
            std::fprintf(stderr, "unknown option %s\n", a.c_str());
            return 2;
        } else
            args.push_back(a);
    }
    const size_t given = args.size();
    int n = given > 0 ? std::atoi(args[0].c_str()) : 200000;
    std::string folder =
        given > 1 ? args[1]
                  : (std::filesystem::temp_directory_path() / "invarro-bench-engine").string();
    if (given > 2) SetPoolFloor(std::atoi(args[2].c_str()));
    std::string only = given > 3 ? args[3] : "";
    const int postings = given > 4 ? std::atoi(args[4].c_str()) : 2000;
    const bool withServer = ownCluster || !conninfo.empty();
    if (only == "server" && !withServer) ownCluster = true;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::vector<Row> rows = makeRows(n);
    std::mt19937 rng(7);
    std::vector<int> probes(100000);
    for (int& p : probes)
        p = int(rng() % uint32_t(n));

    const int buffers = InitEngine(30);
    check(EngineOk, "start");
    const int64_t cacheBytes = invarro::bench::EngineCacheBytes(buffers);
    const bool files = only.empty() || only == "engine", sqlite = only.empty() || only == "sqlite";
    Times e, s;
    if (files) e = runEngine(rows, probes, folder);
    Reading ePost, sPost, jPost;
    if (files) ePost = runEnginePost(postings, folder);
    if (ownCluster || !conninfo.empty()) {
        invarro::bench::ServerPeer peer;
        if (!conninfo.empty())
            peer.useServer(conninfo);
        else if (!peer.startCluster(folder))  // the cluster on the disk of the files
            return 1;
        std::printf("# server: %s\n", peer.describe().c_str());
        std::printf(
            "# the machine is shared with other work (2 cores): every server figure is "
            "repeated (%d runs) and given as its spread\n",
            repeat);
        std::vector<Row> serverRows(
            rows.begin(), rows.begin() + std::min<size_t>(rows.size(), size_t(serverRecords)));
        RunServer(peer.conninfo(), folder, serverRows, probes, serverPostings, writerPostings,
                  million, repeat);
    }
    ExitEngine();
    if (sqlite) s = runSqlite(rows, probes, folder, cacheBytes);
    if (sqlite) sPost = runSqlitePost(postings, folder, cacheBytes, true);
    if (sqlite) jPost = runSqlitePost(postings, folder, cacheBytes, false);
    std::filesystem::remove_all(folder);
    if (!files && !sqlite) return 0;

    struct {
        const char* name;
        Reading engine, sqlite;
    } lines[] = {{"add", e.add, s.add},
                 {"lookup", e.lookup, s.lookup},
                 {"iterate", e.iterate, s.iterate},
                 {"scan", e.scan, s.scan},
                 {"delete", e.del, s.del}};
    std::printf("# %d records of %d bytes, keys unique 9, duplicates 8, duplicates 10\n", n,
                kRecLen);
    std::printf(
        "# cache: engine pool %d buffers + data read cache = %lld KiB; "
        "sqlite cache_size=-%lld\n",
        buffers, static_cast<long long>(cacheBytes / 1024),
        static_cast<long long>(cacheBytes / 1024));
    std::printf(
        "# sqlite: locking_mode=EXCLUSIVE, journal_mode=WAL, synchronous=OFF, "
        "one transaction per operation\n");
    std::printf(
        "# workloads: add %d records with their keys; lookup %zu random keys; iterate "
        "key 2 reading each record; scan all records; delete every second record "
        "with its keys\n",
        n, probes.size());
    for (auto& l : lines)
        std::printf("time %-8s engine %.3f s (wall %.3f)  sqlite %.3f s (wall %.3f)\n", l.name,
                    l.engine.cpu, l.engine.wall, l.sqlite.cpu, l.sqlite.wall);
    std::printf(
        "# post: %d postings of an invoice (6 keys), 5 lines (3 keys each), the customer and "
        "the company record, one durable transaction each; sqlite synchronous=FULL\n",
        postings);
    std::printf(
        "time %-8s engine %.3f s (wall %.3f)  sqlite WAL %.3f s (wall %.3f)  "
        "sqlite rollback journal %.3f s (wall %.3f)\n",
        "post", ePost.cpu, ePost.wall, sPost.cpu, sPost.wall, jPost.cpu, jPost.wall);
    for (auto& l : lines)
        std::printf("ratio %s %.3f\n", l.name,
                    l.sqlite.cpu > 0 ? l.engine.cpu / l.sqlite.cpu : 0.0);
    auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    std::printf("ratio post %.3f\n", ratio(ePost.cpu, sPost.cpu));
    std::printf("ratio post-wall %.3f\n", ratio(ePost.wall, sPost.wall));
    std::printf("ratio post-rollback-journal %.3f\n", ratio(ePost.cpu, jPost.cpu));
    std::printf("ratio post-rollback-journal-wall %.3f\n", ratio(ePost.wall, jPost.wall));
    return 0;
}
