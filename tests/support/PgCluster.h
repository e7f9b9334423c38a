// A throwaway PostgreSQL cluster for tests: initdb into a temporary folder, started on a
// free port of 127.0.0.1 with its socket in the same folder, stopped and removed at the end.
// Run as root (as CI does), the server programs run as the postgres user, which owns the
// folder. For tests durability is switched off (fsync=off): the data is thrown away anyway;
// a benchmark asks for a durable cluster in a folder of its choice.
#pragma once

#include <string>

#include <sys/types.h>
#include <unistd.h>

namespace invarro::testing {

class PgCluster {
  public:
    PgCluster() = default;
    ~PgCluster();
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    struct Options {
        std::string parent;    // where the cluster's folder is made; empty: the temporary folder
        bool durable = false;  // fsync and synchronous_commit on, as a real server runs
    };
    // Creates and starts the cluster; false with error() set when it cannot.
    bool start() { return start(Options()); }
    bool start(const Options& options);
    // Stops the server (immediate: as a crash would) and starts it again on the same port.
    bool stop(bool immediate = false);
    bool restart();
    bool running() const { return running_; }

    // A libpq connection string for the cluster's superuser and the given database.
    std::string connectionString(const std::string& database = "postgres") const;
    // The same over TCP on 127.0.0.1, to the cluster's port or another (a relay's).
    std::string tcpConnectionString(const std::string& database = "postgres", int port = 0) const;
    // Creates an empty database; false when it cannot.
    bool createDatabase(const std::string& name);

    int port() const { return port_; }
    const std::string& error() const { return error_; }
    const std::string& folder() const { return folder_; }

    // The folder of the server programs: `pg_config --bindir`, else the Debian path of
    // version 15. Empty when neither has initdb.
    static std::string binDir();

  private:
    bool run(const std::string& program, const std::string& args, std::string* output = nullptr);
    bool startServer();
    std::string command(const std::string& program, const std::string& args) const;
    // A process of its own that stops the server and removes the folder when this program
    // ends in any way, killed included (it waits for the end of a pipe only we hold).
    void startWatcher();

    std::string folder_;
    std::string bin_;
    std::string user_ = "invarro_test";
    int port_ = 0;
    bool running_ = false;
    bool asPostgres_ = false;
    int watchPipe_ = -1;
    int watcher_ = 0;
    pid_t owner_ = ::getpid();
    bool durable_ = false;
    std::string error_;
};

// One cluster for the whole test program, started on first use and stopped at exit. Tests
// that need it skip when it cannot be started and INVARRO_REQUIRE_PG is not set; with the
// variable set (CI) a cluster that does not start fails them.
PgCluster* SharedPgCluster();
bool PgRequired();

}  // namespace invarro::testing
