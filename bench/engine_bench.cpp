// The storage engine against SQLite on the same 200,000 records of 360 bytes with three
// keys (unique 9, duplicates 8, duplicates 10). Prints one line "ratio NAME R" per
// workload, R being the engine's seconds divided by SQLite's.
//
// Usage: invarro-bench-engine [RECORDS] [FOLDER] [POOL]
// POOL overrides the engine's minimum page pool, for choosing its size.

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "storage/BTree.h"
#include "storage/Engine.h"

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

double seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "%s failed (engine error %d)\n", what, EngineError);
        std::exit(1);
    }
}

struct Times {
    double add = 0, lookup = 0, iterate = 0, scan = 0, del = 0;
};

Times runEngine(const std::vector<Row>& rows, const std::vector<int>& probes,
                const std::string& folder) {
    Times t;
    InitEngine(30);
    std::string name = folder + "/BENCH";
    KeyDescriptor keys[] = {{9, false}, {8, true}, {10, true}};
    CreateFileblock(name, kRecLen, 3, keys);
    check(EngineOk, "create");
    Fileblock* fb = OpenFileblock(name, false);
    check(EngineOk, "open");

    auto t0 = std::chrono::steady_clock::now();
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
    CloseFileblock(fb);  // the work is on disk only after the close
    t.add = seconds(t0);
    fb = OpenFileblock(name, false);

    std::string buf(kRecLen, '\0');
    t0 = std::chrono::steady_clock::now();
    long found = 0;
    for (int p : probes) {
        std::string key = rows[size_t(p)].k1;
        int32_t n = FindKeyAtOrAfter(fb, 1, key);
        GetRecord(fb, n, buf.data());
        found += EngineOk && key == rows[size_t(p)].k1;
    }
    t.lookup = seconds(t0);
    check(found == long(probes.size()), "lookup");

    t0 = std::chrono::steady_clock::now();
    long count = 0;
    std::string key;
    int32_t n = 0;
    for (;;) {
        NextKey(fb, 2, key, n);
        if (!EngineOk) break;
        GetRecord(fb, n, buf.data());
        ++count;
    }
    t.iterate = seconds(t0);
    check(count == long(rows.size()), "iterate");

    t0 = std::chrono::steady_clock::now();
    count = 0;
    for (n = NextUsedRecord(fb, 0); EngineOk; n = NextUsedRecord(fb, n)) {
        GetRecord(fb, n, buf.data());
        ++count;
    }
    t.scan = seconds(t0);
    check(count == long(rows.size()), "scan");

    t0 = std::chrono::steady_clock::now();
    for (size_t i = 0; i < rows.size(); i += 2) {
        const Row& r = rows[i];
        DeleteKey(fb, 1, recNo[i], r.k1);
        DeleteKey(fb, 2, recNo[i], r.k2);
        DeleteKey(fb, 3, recNo[i], r.k3);
        DeleteRecord(fb, recNo[i]);
        check(EngineOk, "delete");
    }
    CloseFileblock(fb);
    t.del = seconds(t0);
    ExitEngine();
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

Times runSqlite(const std::vector<Row>& rows, const std::vector<int>& probes,
                const std::string& folder) {
    Times t;
    std::string path = folder + "/bench.sqlite";
    std::filesystem::remove(path);
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sq(db, "PRAGMA synchronous=OFF");
    sq(db,
       "CREATE TABLE t(id INTEGER PRIMARY KEY, k1 TEXT NOT NULL, k2 TEXT NOT NULL, "
       "k3 TEXT NOT NULL, body BLOB NOT NULL)");
    sq(db, "CREATE UNIQUE INDEX t1 ON t(k1)");
    sq(db, "CREATE INDEX t2 ON t(k2)");
    sq(db, "CREATE INDEX t3 ON t(k3)");

    auto t0 = std::chrono::steady_clock::now();
    sq(db, "BEGIN");
    sqlite3_stmt* ins = prep(db, "INSERT INTO t(id, k1, k2, k3, body) VALUES(?,?,?,?,?)");
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        sqlite3_bind_int(ins, 1, int(i) + 1);
        sqlite3_bind_text(ins, 2, r.k1.data(), int(r.k1.size()), SQLITE_STATIC);
        sqlite3_bind_text(ins, 3, r.k2.data(), int(r.k2.size()), SQLITE_STATIC);
        sqlite3_bind_text(ins, 4, r.k3.data(), int(r.k3.size()), SQLITE_STATIC);
        sqlite3_bind_blob(ins, 5, r.body.data(), int(r.body.size()), SQLITE_STATIC);
        if (sqlite3_step(ins) != SQLITE_DONE) std::exit(1);
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sq(db, "COMMIT");
    t.add = seconds(t0);

    std::string buf(kRecLen, '\0');
    sq(db, "BEGIN");
    sqlite3_stmt* sel = prep(db, "SELECT id, k1, body FROM t WHERE k1 >= ? ORDER BY k1 LIMIT 1");
    t0 = std::chrono::steady_clock::now();
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
    t.lookup = seconds(t0);
    sqlite3_finalize(sel);
    check(found == long(probes.size()), "sqlite lookup");

    t0 = std::chrono::steady_clock::now();
    sqlite3_stmt* it = prep(db, "SELECT id, k2, body FROM t ORDER BY k2, id");
    long count = 0;
    while (sqlite3_step(it) == SQLITE_ROW) {
        std::memcpy(buf.data(), sqlite3_column_blob(it, 2), kRecLen);
        ++count;
    }
    sqlite3_finalize(it);
    t.iterate = seconds(t0);
    check(count == long(rows.size()), "sqlite iterate");

    t0 = std::chrono::steady_clock::now();
    sqlite3_stmt* scan = prep(db, "SELECT id, body FROM t");
    count = 0;
    while (sqlite3_step(scan) == SQLITE_ROW) {
        std::memcpy(buf.data(), sqlite3_column_blob(scan, 1), kRecLen);
        ++count;
    }
    sqlite3_finalize(scan);
    t.scan = seconds(t0);
    check(count == long(rows.size()), "sqlite scan");
    sq(db, "COMMIT");

    t0 = std::chrono::steady_clock::now();
    sq(db, "BEGIN");
    sqlite3_stmt* del = prep(db, "DELETE FROM t WHERE id = ?");
    for (size_t i = 0; i < rows.size(); i += 2) {
        sqlite3_bind_int(del, 1, int(i) + 1);
        if (sqlite3_step(del) != SQLITE_DONE) std::exit(1);
        sqlite3_reset(del);
    }
    sqlite3_finalize(del);
    sq(db, "COMMIT");
    t.del = seconds(t0);
    sqlite3_close(db);
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    int n = argc > 1 ? std::atoi(argv[1]) : 200000;
    std::string folder =
        argc > 2 ? argv[2]
                 : (std::filesystem::temp_directory_path() / "invarro-bench-engine").string();
    if (argc > 3) SetPoolFloor(std::atoi(argv[3]));
    std::filesystem::create_directories(folder);
    std::vector<Row> rows = makeRows(n);
    std::mt19937 rng(7);
    std::vector<int> probes(100000);
    for (int& p : probes)
        p = int(rng() % uint32_t(n));

    Times e = runEngine(rows, probes, folder);
    Times s = runSqlite(rows, probes, folder);
    std::filesystem::remove_all(folder);

    struct {
        const char* name;
        double engine, sqlite;
    } lines[] = {{"add", e.add, s.add},
                 {"lookup", e.lookup, s.lookup},
                 {"iterate", e.iterate, s.iterate},
                 {"scan", e.scan, s.scan},
                 {"delete", e.del, s.del}};
    std::printf("# %d records of %d bytes, keys unique 9, duplicates 8, duplicates 10, pool %d\n",
                n, kRecLen, std::max(30, PoolFloor()));
    for (auto& l : lines)
        std::printf("# %-8s engine %.3f s, sqlite %.3f s\n", l.name, l.engine, l.sqlite);
    for (auto& l : lines)
        std::printf("ratio %s %.3f\n", l.name, l.engine / l.sqlite);
    return 0;
}
