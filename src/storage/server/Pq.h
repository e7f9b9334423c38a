// A small C++ wrapper over libpq: one connection with its session settings, prepared
// statements with binary parameters and results, and errors that carry their SQLSTATE.
// It depends on libpq only.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

namespace invarro::pq {

// What a failed statement means to the caller.
enum class Failure {
    None,
    Retry,        // deadlock (40P01) or serialization failure (40001): run the work again
    LockTimeout,  // 55P03: a lock was not granted in time
    Duplicate,    // 23505: a unique constraint refused the row
    Connection,   // the connection is gone (or never came)
    Other,
};

struct Error {
    Failure failure = Failure::None;
    std::string sqlstate;  // five characters, empty when the server sent none
    std::string message;
};

// Classifies a SQLSTATE.
Failure FailureOf(std::string_view sqlstate);

// A result set; columns come in binary format unless the statement asked for text.
class Result {
  public:
    Result() = default;
    explicit Result(PGresult* r) : r_(r) {}
    ~Result();
    Result(Result&& o) noexcept : r_(o.r_) { o.r_ = nullptr; }
    Result& operator=(Result&& o) noexcept;
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;

    int rows() const;
    bool isNull(int row, int col) const;
    std::string_view bytes(int row, int col) const;  // bytea, text: the raw bytes
    int32_t int32(int row, int col) const;           // int4 (binary)
    int64_t int64(int row, int col) const;           // int8 (binary)
    bool boolean(int row, int col) const;            // bool (binary)
    // Rows changed by INSERT, UPDATE or DELETE.
    int64_t affected() const;

  private:
    PGresult* r_ = nullptr;
};

struct RawParams;

// Parameters of one statement: every value in binary format, typed by the statement.
class Params {
  public:
    Params& int32(int32_t v);
    Params& int64(int64_t v);
    Params& boolean(bool v);
    Params& bytes(std::string_view v);  // bytea, or text when the statement says so
    Params& null();
    int size() const { return int(values_.size()); }

  private:
    friend class Connection;
    friend struct RawParams;
    std::vector<std::string> values_;
    std::vector<bool> nulls_;
};

// Per-session limits, so that a client that hangs or disappears cannot hold locks long.
struct SessionSettings {
    int lockTimeoutMs = 5000;                // a lock wait fails with 55P03 after this
    int idleInTransactionTimeoutMs = 60000;  // the server ends an idle open transaction
    int keepaliveIdleSeconds = 30;           // TCP keepalives on the connection
    int keepaliveIntervalSeconds = 10;
    int keepaliveCount = 3;
    int connectTimeoutSeconds = 10;
    std::string applicationName = "invarro";
};

class Connection {
  public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Connects with a libpq connection string or URI and applies the session settings.
    bool open(const std::string& conninfo, const SessionSettings& settings = {});
    void close();
    bool isOpen() const;
    // Drops the connection and connects again with the same settings; prepared statements
    // are prepared again on their next use.
    bool reconnect();

    // Runs statements without parameters (text results).
    bool exec(const std::string& sql);
    // The same, keeping the last statement's result (in text format).
    bool exec(const std::string& sql, Result& last);
    // Runs a statement with binary parameters and results; false with error() set.
    bool query(const std::string& sql, const Params& params, Result& out);
    // Runs a named prepared statement, preparing it first on this connection when needed.
    bool run(const std::string& name, const std::string& sql, const Params& params, Result& out);

    // Queues a statement that needs no answer before the program goes on: it goes to the
    // server with the next statement that waits, all of them in one round trip (libpq's
    // pipeline mode), and runs before it. An empty name runs the text unprepared (it may
    // then be a transaction statement such as BEGIN). `done` gets its result; a queued
    // statement that fails makes the statement that carried it fail with its error, and
    // nothing after it until that statement runs. Queued statements go with the next run(),
    // query() or exec(), or flush().
    using Done = std::function<void(const Result&)>;
    void defer(std::string name, std::string sql, Params params, Done done = {});
    size_t deferred() const { return queue_.size(); }
    // Sends what is queued and waits for it; true when nothing failed.
    bool flush();
    // Forgets what is queued (the transaction it belongs to is rolled back).
    void discard() { queue_.clear(); }

    // Notifications (NOTIFY) that arrived on this connection, read without waiting: what
    // came with earlier answers and what the socket holds now. Each is the sending
    // session's process id, the channel and the payload.
    struct Notification {
        int pid = 0;
        std::string channel, payload;
    };
    std::vector<Notification> notifications();

    const Error& error() const { return error_; }
    // The server's process id of this session (0 when not connected).
    int backendPid() const;
    // The transaction state libpq sees: idle, in a transaction, in a failed one, unknown.
    enum class TxnState { Idle, Active, InTransaction, Failed, Unknown };
    TxnState transactionState() const;
    PGconn* raw() const { return conn_; }
    // How many times this connection has waited for the server's answer (a statement, a
    // prepare, a batch of statements sent at once), for measuring what an operation costs.
    int64_t roundTrips() const { return roundTrips_; }

  private:
    struct Pending {
        std::string name, sql;
        Params params;
        Done done;
    };
    bool check(PGresult* r, Result* out);
    void failWith(PGresult* r);
    // Sends the queue and then `last` (when given) in one pipeline; `out` gets last's result.
    bool pipeline(const Pending* last, Result* out);
    bool send(const Pending& p);
    bool connect();

    PGconn* conn_ = nullptr;
    bool broken_ = false;  // a statement failed with the session gone
    std::string conninfo_;
    SessionSettings settings_;
    std::set<std::string> prepared_;
    Error error_;
    int64_t roundTrips_ = 0;
    std::vector<Pending> queue_;
};

}  // namespace invarro::pq
