#include "bench/ServerPeer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "storage/server/Pq.h"
#include "support/PgCluster.h"

namespace invarro::bench {

ServerPeer::ServerPeer() = default;
ServerPeer::~ServerPeer() = default;

bool ServerPeer::startCluster(const std::string& parent) {
    cluster_ = std::make_unique<testing::PgCluster>();
    testing::PgCluster::Options options;
    options.parent = parent;
    options.durable = true;
    if (!cluster_->start(options) || !cluster_->createDatabase("bench")) {
        std::fprintf(stderr, "PostgreSQL cluster: %s\n", cluster_->error().c_str());
        cluster_.reset();
        return false;
    }
    // Over TCP on the loopback, as a program on another machine would talk to it.
    conninfo_ = cluster_->tcpConnectionString("bench");
    return true;
}

std::string ServerPeer::describe() const {
    pq::Connection c;
    if (!c.open(conninfo_)) return "server: " + c.error().message;
    pq::Result r;
    std::string text = cluster_ ? "own cluster in " + cluster_->folder() : "server " + conninfo_;
    if (c.exec("SELECT current_setting('server_version'), current_setting('fsync'), "
               "current_setting('synchronous_commit'), current_setting('wal_sync_method'), "
               "current_setting('shared_buffers')",
               r) &&
        r.rows() == 1)
        text += ", PostgreSQL " + std::string(r.bytes(0, 0)) +
                ", fsync=" + std::string(r.bytes(0, 1)) +
                ", synchronous_commit=" + std::string(r.bytes(0, 2)) +
                ", wal_sync_method=" + std::string(r.bytes(0, 3)) +
                ", shared_buffers=" + std::string(r.bytes(0, 4));
    return text;
}

std::vector<double> MeasureSyncTimes(const std::string& folder, int count, int bytes) {
    const std::string path = folder + "/sync-probe";
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    std::vector<double> times;
    if (fd < 0) return times;
    const std::string block(size_t(std::max(bytes, 1)), 'x');
    for (int i = 0; i < count; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        // Appends, as a log grows, so that every sync has new data to write.
        if (::write(fd, block.data(), block.size()) != ssize_t(block.size()) ||
            ::fdatasync(fd) != 0)
            break;
        times.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    ::close(fd);
    ::unlink(path.c_str());
    return times;
}

void BulkLoadInvoices(storage::server::ServerBackend& backend, const std::string& name,
                      int recordLength, int count) {
    pq::Connection& c = backend.connection();
    pq::Result r;
    if (!c.query("SELECT id FROM invarro.fileblock WHERE name = $1", pq::Params().bytes(name), r) ||
        r.rows() != 1) {
        std::fprintf(stderr, "bulk load: no fileblock %s\n", name.c_str());
        std::exit(1);
    }
    const std::string id = std::to_string(r.int32(0, 0)), n = std::to_string(count),
                      body = std::to_string(recordLength - 4);
    // Record i: four zero bytes (a live slot), its number and customer, then filler.
    const std::string sql =
        "BEGIN; "
        "INSERT INTO invarro.record (fb, rec_no, data) SELECT " +
        id +
        ", g, '\\x00000000'::bytea || convert_to(rpad(lpad(g::text, 9, '0') || 'C' || "
        "lpad((g % 5000)::text, 7, '0'), " +
        body +
        ", 'x'), 'UTF8') "
        "FROM generate_series(1, " +
        n +
        ") g; "
        "INSERT INTO invarro.key_entry (fb, key_no, key, rec_no, is_unique) SELECT " +
        id +
        ", 1, convert_to(lpad(g::text, 9, '0'), 'UTF8'), g, true "
        "FROM generate_series(1, " +
        n +
        ") g; "
        "INSERT INTO invarro.key_entry (fb, key_no, key, rec_no, is_unique) SELECT " +
        id +
        ", 2, convert_to('C' || lpad((g % 5000)::text, 7, '0'), 'UTF8'), g, false "
        "FROM generate_series(1, " +
        n +
        ") g; "
        "UPDATE invarro.fileblock SET high = " +
        n + " WHERE id = " + id +
        "; "
        "UPDATE invarro.fileblock_key SET entries = " +
        n + " WHERE fb = " + id +
        "; "
        "COMMIT; ANALYZE invarro.record; ANALYZE invarro.key_entry";
    if (!c.exec(sql)) {
        std::fprintf(stderr, "bulk load: %s\n", c.error().message.c_str());
        std::exit(1);
    }
}

Spread SpreadOf(std::vector<double> v) {
    Spread s;
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    s.min = v.front();
    s.max = v.back();
    s.median = v[v.size() / 2];
    return s;
}

}  // namespace invarro::bench
