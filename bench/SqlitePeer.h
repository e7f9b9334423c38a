// SQLite as the peer of the engine in the benchmarks of index building: a table whose rows
// hold the key texts of a record (one column per key) and the record itself, and either the
// indexes of those keys created over it, or the whole work of the engine's rebuild (the
// rows copied into a fresh table, the old table dropped, the indexes created over the new
// one), on the same terms as the engine:
// - the same memory: PRAGMA cache_size is set to the bytes the engine builds indexes in
//   (its page buffer pool, the read cache of a data file and the reindex's sort memory);
// - the same durability: synchronous=OFF (nothing is flushed to the disk, as the engine
//   flushes nothing), the rollback journal as SQLite has it by default;
// - the work is done in one transaction, as the rebuild builds its keys in one run.
// A peer measures one of the two: indexes made first would be dropped with the table and
// make the copy's work larger, so the benchmarks load the same rows into two peers.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace invarro::bench {

// Writes out what earlier steps left for the system to write, so that a timed step does not
// pay for the disk's background writing of the step before (the engine's data file or
// SQLite's database were just written when their rebuilds start). Called before every
// timed step of the engine and of SQLite alike.
void SettleDisk();

// The memory the engine caches file pages in with the given number of page buffers.
int64_t EngineCacheBytes(int buffers);
// The memory the engine builds indexes in: its cache and the memory a reindex sorts its
// entries in. SQLite sorts the entries of CREATE INDEX within its cache size, so its peer
// gets this much as cache.
int64_t IndexBuildBytes(int buffers);

// Wall and processor seconds of a piece of work.
struct Seconds {
    double wall = 0;
    double cpu = 0;
};

class SqliteIndexPeer {
  public:
    // Creates the database at path (removing an old one) with a table of keyCount key
    // columns and the record; cacheBytes 0 leaves SQLite's own cache size.
    SqliteIndexPeer(const std::string& path, int keyCount, int64_t cacheBytes);
    ~SqliteIndexPeer();
    SqliteIndexPeer(const SqliteIndexPeer&) = delete;
    SqliteIndexPeer& operator=(const SqliteIndexPeer&) = delete;

    // Adds a row (row id = record number): its key texts, one per key, and the record.
    // Rows are added in one transaction, from the first add to loaded().
    void add(int64_t rowId, const std::vector<std::string_view>& keys, std::string_view record);
    void loaded();
    int64_t rows() const { return rows_; }

    // Creates one index per key (unique where asked), in one transaction, and tells how
    // long that took. Exits the program when SQLite fails.
    Seconds createIndexes(const std::vector<bool>& unique);
    // The same work as the engine's rebuild, in one transaction: copies the rows into a
    // fresh table with the same columns (numbered 1..n in the order of their old row ids),
    // drops the old table and creates one index per key over the new one (unique where
    // asked). Tells how long that took; exits the program when SQLite fails. Called instead
    // of createIndexes, once.
    Seconds copyAndCreateIndexes(const std::vector<bool>& unique);

  private:
    void exec(const std::string& sql);
    // "CREATE TABLE name(...)" with the row id, the key columns and the record.
    std::string createTable(const std::string& name) const;
    // The key columns and the record, "k1, ..., body".
    std::string columns() const;
    void indexTable(const std::string& table, const std::vector<bool>& unique);
    std::string path_;
    int keyCount_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    int64_t rows_ = 0;
};

}  // namespace invarro::bench
