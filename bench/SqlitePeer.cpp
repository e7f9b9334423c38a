#include "bench/SqlitePeer.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "storage/Engine.h"
#include "storage/Rebuild.h"

namespace invarro::bench {

namespace {

// Runs the work and tells its wall and processor seconds.
template <class Work>
Seconds Timed(const Work& work) {
    SettleDisk();
    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    work();
    Seconds s;
    s.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    s.cpu = double(std::clock() - c0) / CLOCKS_PER_SEC;
    return s;
}

}  // namespace

void SettleDisk() {
    ::sync();
}

int64_t EngineCacheBytes(int buffers) {
    return int64_t(buffers) * storage::kPageBufferBytes + storage::kDataReadCacheBytes;
}

int64_t IndexBuildBytes(int buffers) {
    return EngineCacheBytes(buffers) + storage::kReindexSortBytes;
}

SqliteIndexPeer::SqliteIndexPeer(const std::string& path, int keyCount, int64_t cacheBytes)
    : path_(path), keyCount_(keyCount) {
    std::filesystem::remove(path_);
    std::filesystem::remove(path_ + "-journal");
    if (sqlite3_open(path_.c_str(), &db_) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite open %s: %s\n", path_.c_str(), sqlite3_errmsg(db_));
        std::exit(1);
    }
    exec("PRAGMA synchronous=OFF");
    if (cacheBytes > 0) exec("PRAGMA cache_size=-" + std::to_string(cacheBytes / 1024));
    exec(createTable("t"));
    std::string insert = "INSERT INTO t VALUES(?";
    for (int k = 0; k <= keyCount_; ++k)
        insert += ",?";
    insert += ")";
    if (sqlite3_prepare_v2(db_, insert.c_str(), -1, &insert_, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db_));
        std::exit(1);
    }
}

SqliteIndexPeer::~SqliteIndexPeer() {
    sqlite3_finalize(insert_);
    sqlite3_close(db_);
    std::filesystem::remove(path_);
}

void SqliteIndexPeer::exec(const std::string& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite %s: %s\n", sql.c_str(), err ? err : "failed");
        std::exit(1);
    }
}

std::string SqliteIndexPeer::createTable(const std::string& name) const {
    std::string sql = "CREATE TABLE " + name + "(id INTEGER PRIMARY KEY";
    for (int k = 1; k <= keyCount_; ++k)
        sql += ", k" + std::to_string(k) + " TEXT";
    return sql + ", body BLOB)";
}

std::string SqliteIndexPeer::columns() const {
    std::string list;
    for (int k = 1; k <= keyCount_; ++k)
        list += "k" + std::to_string(k) + ", ";
    return list + "body";
}

void SqliteIndexPeer::add(int64_t rowId, const std::vector<std::string_view>& keys,
                          std::string_view record) {
    if (rows_ == 0) exec("BEGIN");
    sqlite3_bind_int64(insert_, 1, rowId);
    for (int k = 0; k < keyCount_; ++k) {
        const std::string_view key = size_t(k) < keys.size() ? keys[size_t(k)] : "";
        sqlite3_bind_text(insert_, 2 + k, key.data(), int(key.size()), SQLITE_STATIC);
    }
    sqlite3_bind_blob(insert_, 2 + keyCount_, record.data(), int(record.size()), SQLITE_STATIC);
    if (sqlite3_step(insert_) != SQLITE_DONE) {
        std::fprintf(stderr, "sqlite insert: %s\n", sqlite3_errmsg(db_));
        std::exit(1);
    }
    sqlite3_reset(insert_);
    ++rows_;
}

void SqliteIndexPeer::loaded() {
    if (rows_ > 0) exec("COMMIT");
}

void SqliteIndexPeer::indexTable(const std::string& table, const std::vector<bool>& unique) {
    for (size_t k = 1; k <= unique.size(); ++k)
        exec(std::string(unique[k - 1] ? "CREATE UNIQUE INDEX" : "CREATE INDEX") + " i" +
             std::to_string(k) + " ON " + table + "(k" + std::to_string(k) + ")");
}

Seconds SqliteIndexPeer::createIndexes(const std::vector<bool>& unique) {
    return Timed([&] {
        exec("BEGIN");
        indexTable("t", unique);
        exec("COMMIT");
    });
}

Seconds SqliteIndexPeer::copyAndCreateIndexes(const std::vector<bool>& unique) {
    return Timed([&] {
        exec("BEGIN");
        exec(createTable("t2"));
        // The row ids of t2 are given in the order of the select: 1..n by the old row ids.
        exec("INSERT INTO t2(" + columns() + ") SELECT " + columns() + " FROM t ORDER BY id");
        exec("DROP TABLE t");
        indexTable("t2", unique);
        exec("COMMIT");
    });
}

}  // namespace invarro::bench
