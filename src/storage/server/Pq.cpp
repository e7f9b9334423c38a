#include "storage/server/Pq.h"

#include <arpa/inet.h>
#include <libpq-fe.h>

#include <algorithm>
#include <cstring>

namespace invarro::pq {

Failure FailureOf(std::string_view s) {
    if (s.empty()) return Failure::Other;
    if (s == "40P01" || s == "40001") return Failure::Retry;
    if (s == "55P03") return Failure::LockTimeout;
    if (s == "23505") return Failure::Duplicate;
    // Class 08: connection exceptions; 57P01..57P03: the server is shutting down or starting.
    if (s.substr(0, 2) == "08" || s == "57P01" || s == "57P02" || s == "57P03")
        return Failure::Connection;
    return Failure::Other;
}

// ---------------------------------------------------------------------------- Result

Result::~Result() {
    if (r_) PQclear(r_);
}

Result& Result::operator=(Result&& o) noexcept {
    if (this != &o) {
        if (r_) PQclear(r_);
        r_ = o.r_;
        o.r_ = nullptr;
    }
    return *this;
}

int Result::rows() const {
    return r_ ? PQntuples(r_) : 0;
}

bool Result::isNull(int row, int col) const {
    return !r_ || PQgetisnull(r_, row, col);
}

std::string_view Result::bytes(int row, int col) const {
    if (isNull(row, col)) return {};
    return {PQgetvalue(r_, row, col), size_t(PQgetlength(r_, row, col))};
}

int32_t Result::int32(int row, int col) const {
    std::string_view v = bytes(row, col);
    if (v.size() != 4) return 0;
    uint32_t n;
    std::memcpy(&n, v.data(), 4);
    return int32_t(ntohl(n));
}

int64_t Result::int64(int row, int col) const {
    std::string_view v = bytes(row, col);
    if (v.size() != 8) return 0;
    uint64_t n = 0;
    for (char c : v)
        n = (n << 8) | uint8_t(c);
    return int64_t(n);
}

bool Result::boolean(int row, int col) const {
    std::string_view v = bytes(row, col);
    return v.size() == 1 && v[0] != 0;
}

int64_t Result::affected() const {
    if (!r_) return 0;
    const char* n = PQcmdTuples(r_);
    return n && *n ? std::strtoll(n, nullptr, 10) : 0;
}

// ---------------------------------------------------------------------------- Params

Params& Params::int32(int32_t v) {
    uint32_t n = htonl(uint32_t(v));
    values_.emplace_back(reinterpret_cast<const char*>(&n), 4);
    nulls_.push_back(false);
    return *this;
}

Params& Params::int64(int64_t v) {
    std::string s(8, '\0');
    for (int i = 7; i >= 0; --i) {
        s[size_t(i)] = char(uint64_t(v) & 0xFF);
        v = int64_t(uint64_t(v) >> 8);
    }
    values_.push_back(std::move(s));
    nulls_.push_back(false);
    return *this;
}

Params& Params::boolean(bool v) {
    values_.emplace_back(1, v ? '\1' : '\0');
    nulls_.push_back(false);
    return *this;
}

Params& Params::bytes(std::string_view v) {
    values_.emplace_back(v);
    nulls_.push_back(false);
    return *this;
}

Params& Params::null() {
    values_.emplace_back();
    nulls_.push_back(true);
    return *this;
}

// ------------------------------------------------------------------------ Connection

Connection::~Connection() {
    close();
}

void Connection::close() {
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
    broken_ = false;
    prepared_.clear();
    queue_.clear();
}

bool Connection::isOpen() const {
    return conn_ && !broken_ && PQstatus(conn_) == CONNECTION_OK;
}

int Connection::backendPid() const {
    return isOpen() ? PQbackendPID(conn_) : 0;
}

Connection::TxnState Connection::transactionState() const {
    if (!conn_) return TxnState::Unknown;
    switch (PQtransactionStatus(conn_)) {
        case PQTRANS_IDLE:
            return TxnState::Idle;
        case PQTRANS_ACTIVE:
            return TxnState::Active;
        case PQTRANS_INTRANS:
            return TxnState::InTransaction;
        case PQTRANS_INERROR:
            return TxnState::Failed;
        default:
            return TxnState::Unknown;
    }
}

bool Connection::open(const std::string& conninfo, const SessionSettings& settings) {
    conninfo_ = conninfo;
    settings_ = settings;
    return connect();
}

bool Connection::reconnect() {
    return connect();
}

bool Connection::connect() {
    close();
    error_ = {};
    const std::string idle = std::to_string(settings_.keepaliveIdleSeconds);
    const std::string interval = std::to_string(settings_.keepaliveIntervalSeconds);
    const std::string count = std::to_string(settings_.keepaliveCount);
    const std::string timeout = std::to_string(settings_.connectTimeoutSeconds);
    // The caller's string comes first ("dbname" is expanded from it); the keepalives and
    // the timeout follow, so a closed laptop's connection is noticed within a minute or two.
    const char* keys[] = {
        "dbname",           "keepalives",      "keepalives_idle",  "keepalives_interval",
        "keepalives_count", "connect_timeout", "application_name", nullptr};
    const char* values[] = {conninfo_.c_str(),
                            "1",
                            idle.c_str(),
                            interval.c_str(),
                            count.c_str(),
                            timeout.c_str(),
                            settings_.applicationName.c_str(),
                            nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
        error_.failure = Failure::Connection;
        error_.message = conn_ ? PQerrorMessage(conn_) : "out of memory";
        close();
        return false;
    }
    return exec("SET lock_timeout = " + std::to_string(settings_.lockTimeoutMs) +
                "; SET idle_in_transaction_session_timeout = " +
                std::to_string(settings_.idleInTransactionTimeoutMs) +
                "; SET client_min_messages = warning");
}

bool Connection::check(PGresult* r, Result* out) {
    ++roundTrips_;
    Result holder(r);
    const ExecStatusType st = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) {
        error_ = {};
        if (out) *out = std::move(holder);
        return true;
    }
    failWith(r);
    return false;
}

void Connection::failWith(PGresult* r) {
    error_ = {};
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    error_.sqlstate = state ? state : "";
    error_.message = r ? PQresultErrorMessage(r) : (conn_ ? PQerrorMessage(conn_) : "");
    // An error the server did not send (no SQLSTATE: libpq's own, as when the socket closed
    // under a statement) means the session is gone, even before libpq marks it so.
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK || error_.sqlstate.empty())
        error_.failure = Failure::Connection;
    else
        error_.failure = FailureOf(error_.sqlstate);
    if (error_.failure == Failure::Connection) {
        // A server that is going down says so (57P01 and the like) before libpq has seen the
        // socket close: the session is over all the same, and the next statement connects
        // again rather than failing once more on it.
        prepared_.clear();
        broken_ = true;
    }
}

bool Connection::exec(const std::string& sql) {
    Result ignored;
    return exec(sql, ignored);
}

bool Connection::exec(const std::string& sql, Result& last) {
    if (!conn_) {
        error_ = {Failure::Connection, "", "not connected"};
        return false;
    }
    // Several statements in one text cannot join a pipeline: what is queued goes first.
    if (!queue_.empty() && !flush()) return false;
    return check(PQexec(conn_, sql.c_str()), &last);
}

// Parameters as libpq takes them: pointers into the values (null for NULL), their lengths,
// every one in binary format.
struct RawParams {
    explicit RawParams(const Params& params) {
        for (size_t i = 0; i < params.values_.size(); ++i) {
            values.push_back(params.nulls_[i] ? nullptr : params.values_[i].data());
            lengths.push_back(int(params.values_[i].size()));
            formats.push_back(1);
        }
    }
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
};

bool Connection::query(const std::string& sql, const Params& params, Result& out) {
    if (!conn_) {
        error_ = {Failure::Connection, "", "not connected"};
        return false;
    }
    if (!queue_.empty()) {
        const Pending last{"", sql, params, {}};
        return pipeline(&last, &out);
    }
    const RawParams raw(params);
    return check(PQexecParams(conn_, sql.c_str(), params.size(), nullptr, raw.values.data(),
                              raw.lengths.data(), raw.formats.data(), 1),
                 &out);
}

bool Connection::run(const std::string& name, const std::string& sql, const Params& params,
                     Result& out) {
    if (!conn_) {
        error_ = {Failure::Connection, "", "not connected"};
        return false;
    }
    // A statement new on this connection is prepared in the same round trip.
    if (!queue_.empty() || !prepared_.count(name)) {
        const Pending last{name, sql, params, {}};
        return pipeline(&last, &out);
    }
    const RawParams raw(params);
    return check(PQexecPrepared(conn_, name.c_str(), params.size(), raw.values.data(),
                                raw.lengths.data(), raw.formats.data(), 1),
                 &out);
}

std::vector<Connection::Notification> Connection::notifications() {
    std::vector<Notification> out;
    if (!conn_) return out;
    // Reads what the socket holds without blocking; false when the connection is gone, in
    // which case what was read before is still handed out.
    PQconsumeInput(conn_);
    while (PGnotify* n = PQnotifies(conn_)) {
        out.push_back({n->be_pid, n->relname ? n->relname : "", n->extra ? n->extra : ""});
        PQfreemem(n);
    }
    return out;
}

// ------------------------------------------------------------------------ pipelines

void Connection::defer(std::string name, std::string sql, Params params, Done done) {
    queue_.push_back({std::move(name), std::move(sql), std::move(params), std::move(done)});
}

bool Connection::flush() {
    if (queue_.empty()) return true;
    if (!conn_) {
        queue_.clear();
        error_ = {Failure::Connection, "", "not connected"};
        return false;
    }
    return pipeline(nullptr, nullptr);
}

bool Connection::send(const Pending& p) {
    const RawParams raw(p.params);
    if (p.name.empty())
        return PQsendQueryParams(conn_, p.sql.c_str(), p.params.size(), nullptr, raw.values.data(),
                                 raw.lengths.data(), raw.formats.data(), 1) == 1;
    return PQsendQueryPrepared(conn_, p.name.c_str(), p.params.size(), raw.values.data(),
                               raw.lengths.data(), raw.formats.data(), 1) == 1;
}

bool Connection::pipeline(const Pending* last, Result* out) {
    std::vector<Pending> batch;
    batch.swap(queue_);
    ++roundTrips_;
    error_ = {};
    // What the server answers, in the order sent: a prepare where a statement is new on
    // this connection, then the statement.
    struct Sent {
        const Pending* p;
        bool prepare;
    };
    std::vector<Sent> sent;
    std::vector<std::string> preparing;
    bool sending = PQenterPipelineMode(conn_) == 1;
    auto add = [&](const Pending& p) {
        if (!sending) return;
        const bool isNew = !p.name.empty() && !prepared_.count(p.name) &&
                           std::find(preparing.begin(), preparing.end(), p.name) == preparing.end();
        if (isNew) {
            sending = PQsendPrepare(conn_, p.name.c_str(), p.sql.c_str(), 0, nullptr) == 1;
            if (!sending) return;
            preparing.push_back(p.name);
            sent.push_back({&p, true});
        }
        sending = send(p);
        if (sending) sent.push_back({&p, false});
    };
    for (const Pending& p : batch)
        add(p);
    if (last) add(*last);
    bool ok = sending;
    if (!sending) {
        error_.failure = PQstatus(conn_) == CONNECTION_OK ? Failure::Other : Failure::Connection;
        error_.message = PQerrorMessage(conn_);
    }
    // The sync ends the batch even when a statement could not be queued: without it the
    // server would not answer what was sent, and the answers are read below.
    bool lost = PQpipelineStatus(conn_) == PQ_PIPELINE_OFF || PQpipelineSync(conn_) != 1;
    for (const Sent& s : sent) {
        if (lost) break;
        PGresult* r = PQgetResult(conn_);
        if (!r) {
            lost = true;
            break;
        }
        // Each statement's results end with a null.
        while (PGresult* extra = PQgetResult(conn_))
            PQclear(extra);
        const ExecStatusType st = PQresultStatus(r);
        if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) {
            Result result(r);
            if (s.prepare)
                prepared_.insert(s.p->name);
            else if (s.p == last)
                *out = std::move(result);
            else if (s.p->done)
                s.p->done(result);
            continue;
        }
        // The first failure is the one reported; what followed it was not run.
        if (ok && st != PGRES_PIPELINE_ABORTED) failWith(r);
        if (ok && st == PGRES_PIPELINE_ABORTED) error_ = {Failure::Other, "", "not run"};
        ok = false;
        PQclear(r);
    }
    if (!lost) {
        PGresult* sync = PQgetResult(conn_);
        lost = !sync || PQresultStatus(sync) != PGRES_PIPELINE_SYNC;
        if (sync) PQclear(sync);
    }
    if (PQexitPipelineMode(conn_) != 1 || lost || PQstatus(conn_) != CONNECTION_OK) {
        // The answers did not all come: the connection cannot be trusted to be in step.
        if (ok || error_.failure != Failure::Connection) {
            error_.failure = Failure::Connection;
            if (error_.message.empty()) error_.message = PQerrorMessage(conn_);
        }
        close();
        return false;
    }
    return ok;
}

}  // namespace invarro::pq
