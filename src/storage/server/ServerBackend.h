// The storage engine's fileblocks in a PostgreSQL database (see ServerSchema.cpp for the
// tables). Mounted on a data folder, every fileblock name under it lives in the database;
// the engine's operations on them behave as on files, with these differences:
// - A fileblock is never left half changed: without a transaction each operation is one
//   database statement, inside an engine transaction all of them are one database
//   transaction (READ COMMITTED). Inside a transaction a record read locks its row
//   (SELECT ... FOR UPDATE) until the commit, so what a posting reads in order to change it
//   cannot be changed by another program meanwhile; adding or deleting records locks the
//   fileblock's header row, adding or deleting keys the key's row.
// - A deadlock, a serialization failure or a lock not granted within the session's lock
//   timeout fails the operation with kLockConflict (class 2, "busy: retry"); the caller
//   rolls back and runs the posting again.
// - The connection gone fails the operation with 10140; the next operation connects again.
//   When it goes while a COMMIT is on its way, the server is asked after connecting again
//   whether the transaction was made (its id is taken when it begins): the commit reports
//   what happened, never a transaction made twice or reported made when it was not.
// - Rebuild keeps record numbers (there is no file to compact); it makes the key entries
//   again from the records.
// - KeyCount is the entry count kept in the key's row (no count over the entries);
//   the approximate positions count the entries before the given one.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "storage/Backend.h"
#include "storage/server/Pq.h"

namespace invarro::storage::server {

// The engine error of a lock that could not be had (deadlock, serialization failure, lock
// timeout): class 2, so callers retry.
inline constexpr int32_t kLockConflict = 10306;
// The engine error of a connection that failed or was lost.
inline constexpr int32_t kConnectionFailed = err::OsOther;
// The connection was lost while a COMMIT was on its way and the server could not be asked
// afterwards whether the transaction was made: neither run it again nor count it as done
// before the books were looked at.
inline constexpr int32_t kCommitUnknown = err::CommitInDoubt;
// The channel a committed change of a fileblock is told on (NOTIFY, the name as payload).
inline constexpr const char* kChangesChannel = "invarro_changed";

class ServerBackend : public Backend {
  public:
    // Connects and creates the tables when they are not there. False with error() set.
    bool connect(const std::string& conninfo, const pq::SessionSettings& settings = {});
    const std::string& error() const { return error_; }
    pq::Connection& connection() { return conn_; }

    void create(const std::string& name, int recordLength, int numKeys,
                const KeyDescriptor* keys) override;
    BackendFileblock* open(const std::string& name, bool readOnly, int& numKeys) override;
    void remove(const std::string& name) override;
    bool exists(const std::string& name) override;

    bool inTransaction() const override { return inTxn_; }
    bool commit() override;
    void rollback() override;

    bool rebuild(const std::string& name, int numKeys, const KeyDescriptor* keys,
                 const KeyBuilder& builder, const RebuildSink& sink) override;
    std::vector<std::string> check(const std::string& name) override;
    // Names other sessions told as changed since the last call (read without waiting);
    // after a reconnect, every fileblock open here.
    std::vector<std::string> changedElsewhere() override;

    // Used by the open fileblocks: joins the engine's transaction when one is open (the
    // database transaction begins with the first operation in it), and connects again
    // after a lost connection. False with the status set.
    bool enter();
    // How many operations have entered so far (each enter() is one).
    uint64_t operations() const { return operations_; }
    // Runs a prepared statement; on failure sets the engine status from the error.
    bool run(const char* name, const char* sql, const pq::Params& params, pq::Result& out);
    // Sets the engine status from the last database error.
    void failFromError();
    // A statement on a table of the program's own beside the fileblocks (settings, side
    // files), run as an operation of the backend: inside the engine's transaction when one
    // is open, so that it is made or undone with the fileblocks, else on its own. False with
    // the status set; connection().error() says why.
    bool statement(const std::string& sql, const pq::Params& params, pq::Result& out);

    // Run on every new session after a reconnect, so that what the program held for its
    // session (the books' shared lock) is taken again; nothing else of the old session is
    // replayed. When it answers false the new session is closed: the operation fails as with
    // the connection lost, and the next one tries again.
    void setSessionAgain(std::function<bool(pq::Connection&)> hook) {
        sessionHook_ = std::move(hook);
    }

    // Commits whose answer was lost and that were decided by asking the server.
    int inDoubtCommits() const { return inDoubtCommits_; }
    // An open fileblock of this backend goes.
    void released(int32_t id);
    // A fileblock is being changed (called after enter(), before the statement runs): the
    // others are told when the change commits.
    void touched(const std::string& name);

  private:
    bool ensureSchema();
    bool resolveInDoubt();
    bool holdAgain();
    bool sessionAgain();
    bool statementFailed();

    pq::Connection conn_;
    std::string conninfo_;
    pq::SessionSettings settings_;
    bool inTxn_ = false;
    bool txnFailed_ = false;
    int64_t txid_ = 0;
    int inDoubtCommits_ = 0;
    std::map<int32_t, int> held_;  // fileblocks open, by id: how many times
    std::map<int32_t, std::string> heldNames_;
    std::set<std::string> changed_;  // by the transaction open
    bool listenedAgain_ = false;
    uint64_t operations_ = 0;
    int32_t txnError_ = 0;  // the engine error of the transaction's first failure
    std::string error_;
    std::function<bool(pq::Connection&)> sessionHook_;
};

// Mounts a database on a data folder; the returned backend stays mounted until unmounted.
std::shared_ptr<ServerBackend> MountServer(const std::string& folder, const std::string& conninfo,
                                           std::string* error = nullptr);

}  // namespace invarro::storage::server
