// PostgreSQL as a place the engine's books live, measured beside the files and SQLite: a
// durable cluster of the benchmark's own (fsync and synchronous_commit on, its data folder
// on the same disk as the benchmark's files) or a server the caller names, the disk's
// own sync time, a bulk load of a large fileblock, and small statistics over repeated runs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "storage/server/ServerBackend.h"

namespace invarro::testing {
class PgCluster;
}

namespace invarro::bench {

class ServerPeer {
  public:
    ServerPeer();
    ~ServerPeer();
    ServerPeer(const ServerPeer&) = delete;
    ServerPeer& operator=(const ServerPeer&) = delete;

    // Starts a durable cluster with its folder under parent and an empty database; false
    // with the reason printed when it cannot.
    bool startCluster(const std::string& parent);
    // Uses the server of a libpq connection string instead (its database must be empty of
    // the books' tables, or hold only earlier benchmark runs' fileblocks of the same names).
    void useServer(const std::string& conninfo) { conninfo_ = conninfo; }
    const std::string& conninfo() const { return conninfo_; }
    // What the benchmark says about the server it measured.
    std::string describe() const;

  private:
    std::unique_ptr<testing::PgCluster> cluster_;
    std::string conninfo_;
};

// Seconds of one appended write of `bytes` and its fdatasync in folder, measured count times.
std::vector<double> MeasureSyncTimes(const std::string& folder, int count, int bytes);

// Fills the fileblock `name` of the mounted backend (created by the engine with a 9-byte
// unique key 1 and an 8-byte key 2 with duplicates, records of recordLength bytes) with
// records 1..count in one statement per table on the server: invoice numbers 000000001...
// under key 1, one of 5,000 customers under key 2. Exits on failure.
void BulkLoadInvoices(storage::server::ServerBackend& backend, const std::string& name,
                      int recordLength, int count);

// The smallest, the middle and the largest of some figures.
struct Spread {
    double min = 0, median = 0, max = 0;
};
Spread SpreadOf(std::vector<double> v);

}  // namespace invarro::bench
