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
// Usage: invarro-bench-engine [RECORDS] [FOLDER] [POOL] [engine|sqlite] [POSTINGS]
// POOL overrides the engine's minimum page pool; the last argument runs one side only
// (for profiling).

#include <sqlite3.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/SqlitePeer.h"
#include "storage/BTree.h"
#include "storage/Engine.h"
#include "storage/Transaction.h"

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

Times runEngine(const std::vector<Row>& rows, const std::vector<int>& probes,
                const std::string& folder) {
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
        const Row& r = rows[i];
        int32_t n = AddRecord(fb, r.body.data());
        AddKey(fb, 1, n, r.k1);
        AddKey(fb, 2, n, r.k2);
        AddKey(fb, 3, n, r.k3);
        check(EngineOk, "add");
        recNo[i] = n;
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
        const Row& r = rows[i];
        DeleteKey(fb, 1, recNo[i], r.k1);
        DeleteKey(fb, 2, recNo[i], r.k2);
        DeleteKey(fb, 3, recNo[i], r.k3);
        DeleteRecord(fb, recNo[i]);
        check(EngineOk, "delete");
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

Reading runEnginePost(int postings, const std::string& folder) {
    KeyDescriptor invKeys[] = {{9, true}, {8, true}, {10, true}, {8, true}, {10, true}, {10, true}};
    KeyDescriptor lineKeys[] = {{10, true}, {9, true}, {11, true}};
    KeyDescriptor custKeys[] = {{30, false}, {8, true}};
    KeyDescriptor compKeys[] = {{5, false}, {30, true}};
    const std::string inv = folder + "/1I", line = folder + "/1N", cust = folder + "/1C",
                      comp = folder + "/Company";
    CreateFileblock(inv, kInvLen, 6, invKeys);
    CreateFileblock(line, kLineLen, 3, lineKeys);
    CreateFileblock(cust, kCustLen, 2, custKeys);
    CreateFileblock(comp, kCompLen, 2, compKeys);
    check(EngineOk, "create");
    std::mt19937 rng(11);
    Fileblock* fi = OpenFileblock(inv, false);
    Fileblock* fl = OpenFileblock(line, false);
    Fileblock* fc = OpenFileblock(cust, false);
    Fileblock* fo = OpenFileblock(comp, false);
    check(EngineOk, "open");
    char b[40];
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
    CloseFileblock(fc);
    CloseFileblock(fo);
    fc = OpenFileblock(cust, false);
    fo = OpenFileblock(comp, false);

    std::string invRec = Filled(kInvLen, rng), lineRec = Filled(kLineLen, rng);
    std::string custRec(kCustLen, '\0'), compRec(kCompLen, '\0');
    Stopwatch sw;
    for (int i = 0; i < postings; ++i) {
        const PostingKeys k = KeysOf(i, rng);
        check(BeginTransaction(), "begin");
        invRec.replace(4, 9, k.inv[0]);
        const int32_t n = AddRecord(fi, invRec.data());
        for (int j = 0; j < 6; ++j)
            AddKey(fi, j + 1, n, k.inv[j]);
        for (int l = 0; l < 5; ++l) {
            lineRec.replace(4, 11, k.line[l][2]);
            const int32_t m = AddRecord(fl, lineRec.data());
            for (int j = 0; j < 3; ++j)
                AddKey(fl, j + 1, m, k.line[l][j]);
        }
        const int32_t c = 1 + int32_t(rng() % kCustomers);
        GetRecord(fc, c, custRec.data());
        custRec[40] = char('A' + i % 26);
        PutRecord(fc, c, custRec.data());
        GetRecord(fo, 1, compRec.data());
        compRec[40] = char('A' + i % 26);
        PutRecord(fo, 1, compRec.data());
        check(EngineOk, "posting");
        check(CommitTransaction(), "commit");
    }
    CloseFileblock(fi);
    CloseFileblock(fl);
    CloseFileblock(fc);
    CloseFileblock(fo);
    check(EngineOk, "close");
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

}  // namespace

int main(int argc, char** argv) {
    int n = argc > 1 ? std::atoi(argv[1]) : 200000;
    std::string folder =
        argc > 2 ? argv[2]
                 : (std::filesystem::temp_directory_path() / "invarro-bench-engine").string();
    if (argc > 3) SetPoolFloor(std::atoi(argv[3]));
    std::string only = argc > 4 ? argv[4] : "";
    const int postings = argc > 5 ? std::atoi(argv[5]) : 2000;
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
    Times e, s;
    if (only != "sqlite") e = runEngine(rows, probes, folder);
    Reading ePost, sPost, jPost;
    if (only != "sqlite") ePost = runEnginePost(postings, folder);
    ExitEngine();
    if (only != "engine") s = runSqlite(rows, probes, folder, cacheBytes);
    if (only != "engine") sPost = runSqlitePost(postings, folder, cacheBytes, true);
    if (only != "engine") jPost = runSqlitePost(postings, folder, cacheBytes, false);
    std::filesystem::remove_all(folder);

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
