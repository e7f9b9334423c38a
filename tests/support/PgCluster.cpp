#include "support/PgCluster.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "support/Command.h"

namespace invarro::testing {

namespace {

int freePort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(s);
    return port;
}

std::string trim(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

}  // namespace

std::string PgCluster::binDir() {
    namespace fs = std::filesystem;
    CommandResult r = RunCommand("pg_config --bindir");
    std::string dir = trim(r.output);
    std::error_code ec;
    if (r.status == 0 && !dir.empty() && fs::exists(dir + "/initdb", ec)) return dir;
    if (fs::exists("/usr/lib/postgresql/15/bin/initdb", ec)) return "/usr/lib/postgresql/15/bin";
    return {};
}

PgCluster::~PgCluster() {
    // A child forked by a test (to be killed or cut off in the middle of something) that
    // ends through exit() runs the handlers of the test program too: the cluster is the
    // program's, not the child's, so only the program that started it stops it.
    if (::getpid() != owner_) return;
    if (running_) stop(true);
    if (!folder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    if (watchPipe_ >= 0) {
        ::close(watchPipe_);
        ::waitpid(watcher_, nullptr, 0);
    }
}

std::string PgCluster::command(const std::string& program, const std::string& args) const {
    std::string cmd = ShellQuote(bin_ + "/" + program) + " " + args;
    if (asPostgres_) cmd = "runuser -u postgres -- " + cmd;
    return "cd / && " + cmd + " 2>&1";
}

void PgCluster::startWatcher() {
    int fds[2];
    if (::pipe(fds) != 0) return;
    const std::string stop =
        "(" + command("pg_ctl", "-D " + ShellQuote(folder_ + "/data") + " -m immediate stop") +
        ") >/dev/null 2>&1; rm -rf " + ShellQuote(folder_);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();  // an interrupt of the test's process group does not end the watcher
        ::close(fds[1]);
        char c;
        while (::read(fds[0], &c, 1) > 0) {
        }
        int status = std::system(stop.c_str());
        ::_exit(status == 0 ? 0 : 1);
    }
    ::close(fds[0]);
    if (pid < 0) {
        ::close(fds[1]);
        return;
    }
    // The server and the tools started through a shell must not inherit our end: the
    // watcher sees the end of the pipe only when this program is gone.
    ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    watchPipe_ = fds[1];
    watcher_ = pid;
}

bool PgCluster::run(const std::string& program, const std::string& args, std::string* output) {
    const std::string line = command(program, args);
    FILE* pipe = ::popen(line.c_str(), "r");
    if (!pipe) {
        error_ = "cannot run " + program;
        return false;
    }
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    int status = ::pclose(pipe);
    if (output) *output = out;
    if (status != 0) {
        error_ = program + " failed: " + out;
        return false;
    }
    return true;
}

bool PgCluster::start(const Options& options) {
    durable_ = options.durable;
    bin_ = binDir();
    if (bin_.empty()) {
        error_ = "no PostgreSQL server programs (pg_config --bindir, /usr/lib/postgresql/15/bin)";
        return false;
    }
    const std::filesystem::path parent = options.parent.empty()
                                             ? std::filesystem::temp_directory_path()
                                             : std::filesystem::path(options.parent);
    std::string tmpl = (parent / "invarro-pg-XXXXXX").string();
    char* made = ::mkdtemp(tmpl.data());
    if (!made) {
        error_ = "cannot make a temporary folder";
        return false;
    }
    folder_ = made;
    // initdb refuses to run as root: the cluster belongs to the postgres user then.
    if (::geteuid() == 0) {
        passwd* pw = ::getpwnam("postgres");
        if (!pw) {
            error_ = "running as root and there is no postgres user";
            return false;
        }
        asPostgres_ = true;
        if (::chown(folder_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
            error_ = "cannot give the cluster folder to the postgres user";
            return false;
        }
    }
    ::chmod(folder_.c_str(), 0700);
    if (!run("initdb", "-D " + ShellQuote(folder_ + "/data") + " -U " + user_ +
                           " --auth=trust -E UTF8 --locale=C --no-sync"))
        return false;
    startWatcher();
    return startServer();
}

bool PgCluster::startServer() {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (port_ == 0 || attempt > 0) port_ = freePort();
        if (port_ == 0) {
            error_ = "no free port";
            return false;
        }
        std::string opts =
            "-c port=" + std::to_string(port_) +
            " -c listen_addresses=127.0.0.1 -c unix_socket_directories=" + folder_ +
            (durable_ ? " -c fsync=on -c synchronous_commit=on" : " -c fsync=off") +
            " -c max_connections=60 -c shared_buffers=" + (durable_ ? "128MB" : "16MB");
        if (run("pg_ctl", "-D " + ShellQuote(folder_ + "/data") + " -l " +
                              ShellQuote(folder_ + "/server.log") + " -w -t 60 -o " +
                              ShellQuote(opts) + " start")) {
            running_ = true;
            return true;
        }
    }
    return false;
}

bool PgCluster::stop(bool immediate) {
    if (!running_) return true;
    bool ok = run("pg_ctl", "-D " + ShellQuote(folder_ + "/data") + " -w -t 60 -m " +
                                (immediate ? "immediate" : "fast") + " stop");
    if (ok) running_ = false;
    return ok;
}

bool PgCluster::restart() {
    if (running_ && !stop(true)) return false;
    return startServer();
}

std::string PgCluster::connectionString(const std::string& database) const {
    return "host=" + folder_ + " port=" + std::to_string(port_) + " user=" + user_ +
           " dbname=" + database;
}

std::string PgCluster::tcpConnectionString(const std::string& database, int port) const {
    return "host=127.0.0.1 port=" + std::to_string(port ? port : port_) + " user=" + user_ +
           " dbname=" + database + " sslmode=disable";
}

bool PgCluster::createDatabase(const std::string& name) {
    return run("createdb", "-h " + ShellQuote(folder_) + " -p " + std::to_string(port_) + " -U " +
                               user_ + " " + ShellQuote(name));
}

namespace {
std::unique_ptr<PgCluster> gShared;
bool gTried = false;
}  // namespace

bool PgRequired() {
    const char* v = std::getenv("INVARRO_REQUIRE_PG");
    return v && *v && std::string(v) != "0";
}

PgCluster* SharedPgCluster() {
    if (!gTried) {
        gTried = true;
        auto cluster = std::make_unique<PgCluster>();
        if (cluster->start()) {
            gShared = std::move(cluster);
            // Stopped when the test program ends, whichever way main returns.
            std::atexit([] { gShared.reset(); });
        } else {
            std::fprintf(stderr, "PostgreSQL test cluster: %s\n", cluster->error().c_str());
        }
    }
    return gShared.get();
}

}  // namespace invarro::testing
