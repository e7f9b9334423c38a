#include "storage/server/ServerBackend.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "storage/BTree.h"
#include "storage/FileIO.h"
#include "storage/Transaction.h"
#include "storage/server/ServerPositions.h"
#include "storage/server/ServerSchema.h"

namespace invarro::storage::server {

namespace {

// An advisory lock number of its own, so that two programs creating the tables at once
// take turns.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(7304191)";
// A notice per changed fileblock, its name as payload, on the channel every program listens
// to; PostgreSQL delivers it when the transaction commits, and drops it when it does not.
constexpr const char* kNotifySql = "SELECT pg_notify('invarro_changed', $1::text)";

std::string_view bytesOf(const void* p, int32_t n) {
    return {static_cast<const char*>(p), size_t(n)};
}

void putLe32(uint8_t* p, int32_t v) {
    const uint32_t u = uint32_t(v);
    p[0] = uint8_t(u);
    p[1] = uint8_t(u >> 8);
    p[2] = uint8_t(u >> 16);
    p[3] = uint8_t(u >> 24);
}

enum class Seek { AtOrAfter, Exact, After, Before, First, Last, ExactOrAfter, ExactOrBefore };

// The keyset reads of one key: fileblock $1, key number $2, key $3 and, where duplicates
// order by record number, record number $4. Indexed by Seek, then by duplicates allowed.
struct KeySeek {
    const char* name;
    const char* sql;
    int params;
};
#define INV_KEYS "SELECT key, rec_no FROM invarro.key_entry WHERE fb = $1 AND key_no = $2 AND "
constexpr KeySeek kKeySeek[][2] = {
    // at or after: record number 0 sorts before every entry of the key
    {{"key_at_or_after", INV_KEYS "key >= $3 ORDER BY key, rec_no LIMIT 1", 3},
     {"key_at_or_after", INV_KEYS "key >= $3 ORDER BY key, rec_no LIMIT 1", 3}},
    // exact
    {{"key_exact", INV_KEYS "key = $3 LIMIT 1", 3},
     {"key_exact_dup", INV_KEYS "key = $3 AND rec_no = $4", 4}},
    // after
    {{"key_after", INV_KEYS "key > $3 ORDER BY key LIMIT 1", 3},
     {"key_after_dup", INV_KEYS "(key, rec_no) > ($3, $4) ORDER BY key, rec_no LIMIT 1", 4}},
    // before
    {{"key_before", INV_KEYS "key < $3 ORDER BY key DESC LIMIT 1", 3},
     {"key_before_dup", INV_KEYS "(key, rec_no) < ($3, $4) ORDER BY key DESC, rec_no DESC LIMIT 1",
      4}},
    // first and last
    {{"key_first", INV_KEYS "true ORDER BY key, rec_no LIMIT 1", 2},
     {"key_first", INV_KEYS "true ORDER BY key, rec_no LIMIT 1", 2}},
    {{"key_last", INV_KEYS "true ORDER BY key DESC, rec_no DESC LIMIT 1", 2},
     {"key_last", INV_KEYS "true ORDER BY key DESC, rec_no DESC LIMIT 1", 2}},
    // the entry itself, else the next one (an index without duplicates ignores $4)
    {{"key_exact_after", INV_KEYS "key >= $3 ORDER BY key LIMIT 1", 3},
     {"key_exact_after_dup", INV_KEYS "(key, rec_no) >= ($3, $4) ORDER BY key, rec_no LIMIT 1", 4}},
    // the entry itself, else the one before
    {{"key_exact_before", INV_KEYS "key <= $3 ORDER BY key DESC LIMIT 1", 3},
     {"key_exact_before_dup",
      INV_KEYS "(key, rec_no) <= ($3, $4) ORDER BY key DESC, rec_no DESC LIMIT 1", 4}},
};
#undef INV_KEYS

// One key of an open fileblock.
struct KeyDef {
    int length = 0;
    bool duplicates = false;
    bool positioned = false;  // NextKey without a position starts at the first entry
};

class ServerFileblock : public BackendFileblock {
  public:
    ServerFileblock(ServerBackend& b, int32_t id, std::string name, int32_t length,
                    std::vector<KeyDef> keys)
        : b_(b), id_(id), name_(std::move(name)), length_(length), keys_(std::move(keys)) {}

    ~ServerFileblock() override { b_.released(id_); }
    bool close() override { return true; }

    int32_t addRecord(const void* record) override {
        pq::Result r;
        if (!write("add_record", "SELECT invarro.add_record($1, $2)",
                   pq::Params().int32(id_).bytes(bytesOf(record, length_)), r))
            return 0;
        const int32_t n = r.int32(0, 0);
        if (n < 0) {
            Fail(-n);
            return 0;
        }
        return n;
    }

    void getRecord(int32_t recNo, void* record) override {
        if (!b_.enter()) return;
        if (recNo < 0) return Fail(err::ShortRead);
        if (recNo == 0) return headerRecord(static_cast<uint8_t*>(record));
        // The record that came with the key entry just found, nothing having run since.
        if (recNo == prefetchedRec_ && b_.operations() == prefetchedAt_ + 1 &&
            !b_.inTransaction()) {
            std::memcpy(record, prefetched_.data(), size_t(length_));
            return;
        }
        pq::Result r;
        // Inside a transaction what is read is locked until the commit: a posting changes
        // what it read, and nobody else may change it meanwhile.
        const bool lock = b_.inTransaction();
        if (!b_.run(lock ? "get_record_lock" : "get_record",
                    lock
                        ? "SELECT data FROM invarro.record WHERE fb = $1 AND rec_no = $2 FOR UPDATE"
                        : "SELECT data FROM invarro.record WHERE fb = $1 AND rec_no = $2",
                    pq::Params().int32(id_).int32(recNo), r))
            return;
        if (r.rows() == 0 || r.bytes(0, 0).size() != size_t(length_)) return Fail(err::ShortRead);
        std::memcpy(record, r.bytes(0, 0).data(), size_t(length_));
    }

    int32_t getRecordRun(int32_t first, int32_t count, void* out) override {
        if (!b_.enter()) return 0;
        if (first < 1 || count < 1) {
            Fail(err::ShortRead);
            return 0;
        }
        Header h;
        if (!header(h)) return 0;
        if (first > h.high) {
            Fail(err::NoMoreRecords);
            return 0;
        }
        const int32_t last = int32_t(std::min<int64_t>(int64_t(first) + count - 1, h.high));
        pq::Result r;
        if (!b_.run("get_run",
                    "SELECT rec_no, data FROM invarro.record WHERE fb = $1 AND rec_no BETWEEN $2 "
                    "AND $3 ORDER BY rec_no",
                    pq::Params().int32(id_).int32(first).int32(last), r))
            return 0;
        int32_t read = 0;
        auto* dst = static_cast<uint8_t*>(out);
        for (int i = 0; i < r.rows(); ++i) {
            // Slots are contiguous; a gap ends the run as a short file would.
            if (r.int32(i, 0) != first + read || r.bytes(i, 1).size() != size_t(length_)) break;
            std::memcpy(dst + int64_t(read) * length_, r.bytes(i, 1).data(), size_t(length_));
            ++read;
        }
        if (read == 0) Fail(err::ScanReadError);
        return read;
    }

    void putRecord(int32_t recNo, const void* record) override {
        pq::Result r;
        if (!write("put_record",
                   "UPDATE invarro.record SET data = $3 WHERE fb = $1 AND rec_no = $2 AND $2 >= 1",
                   pq::Params().int32(id_).int32(recNo).bytes(bytesOf(record, length_)), r))
            return;
        if (r.affected() == 0) Fail(err::PutRecordZero);
    }

    void deleteRecord(int32_t recNo) override { chainPush(recNo, true); }
    bool pushDeletedSlot(int32_t recNo) override { return chainPush(recNo, false); }

    int32_t usedRecordCount() override {
        Header h;
        return header(h) ? h.high - h.deleted : 0;
    }
    int32_t recordSlotCount() override {
        Header h;
        return header(h) ? h.high + 1 : 0;
    }
    int32_t recordLength() override { return length_; }

    int32_t nextUsedRecord(int32_t recNo) override {
        return scan("next_used",
                    "SELECT rec_no FROM invarro.record WHERE fb = $1 AND rec_no > $2 AND live "
                    "ORDER BY rec_no LIMIT 1",
                    std::max(recNo, 0));
    }
    int32_t prevUsedRecord(int32_t recNo) override {
        return scan("prev_used",
                    "SELECT rec_no FROM invarro.record WHERE fb = $1 AND rec_no < $2 AND live "
                    "ORDER BY rec_no DESC LIMIT 1",
                    recNo);
    }

    void markForRebuild() override {
        pq::Result r;
        write("mark_rebuild", "UPDATE invarro.fileblock SET needs_rebuild = true WHERE id = $1",
              pq::Params().int32(id_), r);
    }

    // ------------------------------------------------------------------------ keys

    void addKey(int keyNo, int32_t recNo, std::string_view key) override {
        KeyDef& k = keys_[size_t(keyNo - 1)];
        if (key.size() > size_t(kMaxKeyLength)) key = key.substr(0, kMaxKeyLength);
        if (key.size() > size_t(k.length)) return Fail(err::KeyTooLong);
        pq::Params p;
        p.int32(id_).int32(keyNo).bytes(key).int32(recNo);
        // Inside a transaction an entry of an index with duplicates needs no answer: it
        // cannot be refused unless the very entry is there already, which fails the
        // statement and so the transaction. It goes with the next statement that waits.
        if (k.duplicates && InTransaction()) {
            if (!b_.enter()) return;
            b_.touched(name_);
            b_.connection().defer(
                "add_key_dup",
                "WITH ins AS (INSERT INTO invarro.key_entry (fb, key_no, key, rec_no, is_unique) "
                "VALUES ($1, $2, $3, $4, false) RETURNING 1) "
                "UPDATE invarro.fileblock_key SET entries = entries + (SELECT count(*) FROM ins) "
                "WHERE fb = $1 AND key_no = $2",
                std::move(p));
            return;
        }
        pq::Result r;
        p.boolean(!k.duplicates);
        if (!write(
                "add_key",
                "WITH ins AS (INSERT INTO invarro.key_entry (fb, key_no, key, rec_no, is_unique) "
                "VALUES ($1, $2, $3, $4, $5) ON CONFLICT DO NOTHING RETURNING 1) "
                "UPDATE invarro.fileblock_key SET entries = entries + 1 "
                "WHERE fb = $1 AND key_no = $2 AND EXISTS (SELECT 1 FROM ins) RETURNING 1",
                p, r))
            return;
        if (r.rows() == 0) Fail(err::DuplicateEntry);
    }

    void deleteKey(int keyNo, int32_t recNo, std::string_view key) override {
        const KeyDef& k = keys_[size_t(keyNo - 1)];
        if (key.size() > size_t(kMaxKeyLength)) key = key.substr(0, kMaxKeyLength);
        pq::Result r;
        // Without duplicates the entry of that key goes whatever record number is passed.
        if (!write(
                "delete_key",
                "WITH del AS (DELETE FROM invarro.key_entry WHERE fb = $1 AND key_no = $2 "
                "AND key = $3 AND ($5 OR rec_no = $4) RETURNING 1) "
                "UPDATE invarro.fileblock_key SET entries = entries - (SELECT count(*) FROM del) "
                "WHERE fb = $1 AND key_no = $2 AND EXISTS (SELECT 1 FROM del) RETURNING 1",
                pq::Params().int32(id_).int32(keyNo).bytes(key).int32(recNo).boolean(!k.duplicates),
                r))
            return;
        if (r.rows() == 0) Fail(err::NoSuchEntry);
    }

    int32_t findKeyAtOrAfter(int keyNo, std::string& key) override {
        std::string probe = cut(key);
        int32_t rec = 0;
        std::string found;
        if (!entry(keyNo, Seek::AtOrAfter, probe, 0, found, rec, err::KeyNotFound)) {
            if (ErrorClass() == 1) EngineError = err::KeyNotFound;
            return 0;
        }
        key = found;
        return rec;
    }

    void findKeyAndRecord(int keyNo, std::string& key, int32_t& recNo, int direction) override {
        std::string probe = cut(key);
        std::string found;
        int32_t rec = 0;
        // The entry, else the next one that way: one statement.
        const Seek seek = direction == 0  ? Seek::Exact
                          : direction > 0 ? Seek::ExactOrAfter
                                          : Seek::ExactOrBefore;
        const int32_t none = direction == 0  ? err::ExactNotFound
                             : direction > 0 ? err::NoNextEntry
                                             : err::NoPrevEntry;
        if (entry(keyNo, seek, probe, recNo, found, rec, none)) {
            key = found;
            recNo = rec;
        }
    }

    void nextKey(int keyNo, std::string& key, int32_t& recNo) override {
        step(keyNo, key, recNo, true);
    }
    void prevKey(int keyNo, std::string& key, int32_t& recNo) override {
        step(keyNo, key, recNo, false);
    }

    int32_t keyCount(int keyNo) override {
        if (!b_.enter()) return 0;
        pq::Result r;
        if (!b_.run("key_count",
                    "SELECT entries FROM invarro.fileblock_key WHERE fb = $1 AND key_no = $2",
                    pq::Params().int32(id_).int32(keyNo), r))
            return 0;
        return r.rows() ? r.int32(0, 0) : 0;
    }

    uint32_t approxKeyPosition(int keyNo, std::string_view key, int32_t recNo,
                               uint32_t scale) override {
        const int32_t n = keyCount(keyNo);
        if (!EngineOk) return 0;
        if (n == 0) {
            Fail(err::ApproxPosEmpty);
            return 0;
        }
        if (n > kCountedPositions) {
            const KeySample* s = sample(keyNo, n);
            if (!s) return 0;
            const double f = s->fraction(cut(std::string(key)));
            return uint32_t(std::min<double>(std::floor(f * (double(scale) + 1)), scale));
        }
        // As the files place an index of one page: the j-th of n entries (from 1) at
        // j / (n + 1) of the scale, a key not on file at the entry before it. The list's
        // scroll bar relies on that spacing to put the first entry at the top and the
        // last at the bottom with few entries.
        const bool dups = keys_[size_t(keyNo - 1)].duplicates;
        pq::Result r;
        pq::Params p;
        p.int32(id_).int32(keyNo).bytes(cut(std::string(key)));
        if (dups) p.int32(recNo);
        if (!b_.run(dups ? "count_up_to_dup" : "count_up_to",
                    dups ? "SELECT count(*) FROM invarro.key_entry WHERE fb = $1 AND key_no = $2 "
                           "AND (key, rec_no) <= ($3, $4)"
                         : "SELECT count(*) FROM invarro.key_entry WHERE fb = $1 AND key_no = $2 "
                           "AND key <= $3",
                    p, r))
            return 0;
        const uint64_t upTo = uint64_t(std::max<int64_t>(r.int64(0, 0), 0));
        return uint32_t(
            std::min<uint64_t>(upTo * (uint64_t(scale) + 1) / (uint64_t(n) + 1), scale));
    }

    void approxKeyAtPosition(int keyNo, uint32_t position, uint32_t scale, std::string& key,
                             int32_t& recNo) override {
        const int32_t n = keyCount(keyNo);
        if (!EngineOk) return;
        if (n == 0) return Fail(err::ApproxEmpty);
        KeyDef& k = keys_[size_t(keyNo - 1)];
        if (n > kCountedPositions) {
            const KeySample* s = sample(keyNo, n);
            if (!s) return;
            const std::string probe = s->keyAt(double(position) / double(scale));
            std::string found;
            int32_t rec = 0;
            if (!entry(keyNo, Seek::AtOrAfter, probe, 0, found, rec, 0)) {
                // Entries removed meanwhile: the last one there is.
                if (!EngineOk || !entry(keyNo, Seek::Last, probe, 0, found, rec, err::ApproxEmpty))
                    return;
            }
            key = found;
            recNo = rec;
            return;
        }
        // The inverse of the position above: the entry whose share of the scale holds
        // the position, the first one for the share before it.
        const int64_t share =
            int64_t(uint64_t(position) * (uint64_t(n) + 1) / (uint64_t(scale) + 1));
        const int64_t rank = std::clamp<int64_t>(share - 1, 0, n - 1);
        pq::Result r;
        if (!b_.run("entry_at_rank",
                    "SELECT key, rec_no FROM invarro.key_entry WHERE fb = $1 AND key_no = $2 "
                    "ORDER BY key, rec_no OFFSET $3 LIMIT 1",
                    pq::Params().int32(id_).int32(keyNo).int64(rank), r))
            return;
        if (r.rows() == 0) {
            key.clear();
            recNo = 0;
            k.positioned = false;
            return;
        }
        key.assign(r.bytes(0, 0));
        recNo = r.int32(0, 1);
        k.positioned = true;
    }

  private:
    // The sample of a large index's keys, taken again when its count moved by a tenth.
    // The same pages are sampled each time the table is unchanged, so a list's scroll
    // bar does not move when a window merely reads the positions again.
    const KeySample* sample(int keyNo, int32_t n) {
        if (samples_.size() < keys_.size()) samples_.resize(keys_.size());
        std::unique_ptr<KeySample>& kept = samples_[size_t(keyNo - 1)];
        if (kept && std::llabs(kept->entries() - n) * 10 <= n) return kept.get();
        KeySpan s;
        if (!span(keyNo, s)) return nullptr;
        pq::Result r;
        if (!b_.run("key_sample",
                    "SELECT key FROM invarro.key_entry TABLESAMPLE SYSTEM (($3::integer / "
                    "100.0)::real) REPEATABLE (0) WHERE fb = $1 AND key_no = $2",
                    pq::Params().int32(id_).int32(keyNo).int32(int32_t(SamplePercent(n) * 100)), r))
            return nullptr;
        std::vector<std::string> keys;
        keys.reserve(size_t(r.rows()));
        for (int i = 0; i < r.rows(); ++i)
            keys.emplace_back(r.bytes(i, 0));
        kept = std::make_unique<KeySample>(std::move(s), std::move(keys), n);
        return kept.get();
    }

    // The first and the last key of an index, read without moving its position.
    bool span(int keyNo, KeySpan& s) {
        for (Seek seek : {Seek::First, Seek::Last}) {
            const KeySeek& q = kKeySeek[int(seek)][0];
            pq::Result r;
            if (!b_.run(q.name, q.sql, pq::Params().int32(id_).int32(keyNo), r)) return false;
            if (r.rows() == 0) {
                Fail(err::ApproxEmpty);
                return false;
            }
            (seek == Seek::First ? s.first : s.last).assign(r.bytes(0, 0));
        }
        return true;
    }

    struct Header {
        int32_t high = 0, head = -1, deleted = 0, keys = 0;
    };

    static std::string cut(const std::string& key) {
        return key.size() > size_t(kMaxKeyLength) ? key.substr(0, kMaxKeyLength) : key;
    }

    // A changing statement: refused inside a transaction that changed files.
    bool write(const char* name, const char* sql, const pq::Params& params, pq::Result& out) {
        if (!b_.enter()) return false;
        b_.touched(name_);
        return b_.run(name, sql, params, out);
    }

    bool header(Header& h) {
        if (!b_.enter()) return false;
        pq::Result r;
        if (!b_.run("header",
                    "SELECT high, chain_head, deleted_count, num_keys FROM invarro.fileblock "
                    "WHERE id = $1",
                    pq::Params().int32(id_), r))
            return false;
        if (r.rows() == 0) {
            Fail(err::InvalidHandle);  // removed by another program
            return false;
        }
        h.high = r.int32(0, 0);
        h.head = r.int32(0, 1);
        h.deleted = r.int32(0, 2);
        h.keys = r.int32(0, 3);
        return true;
    }

    // Record 0 as the files have it: the header, then zero bytes.
    void headerRecord(uint8_t* out) {
        Header h;
        if (!header(h)) return;
        std::memset(out, 0, size_t(length_));
        putLe32(out + 0, h.head);
        putLe32(out + 4, h.deleted);
        putLe32(out + 8, h.high);
        putLe32(out + 12, length_);
        putLe32(out + 16, h.keys);
    }

    bool chainPush(int32_t recNo, bool live) {
        pq::Result r;
        if (!write("delete_record", "SELECT invarro.delete_record($1, $2, $3)",
                   pq::Params().int32(id_).int32(recNo).boolean(live), r))
            return false;
        if (r.int32(0, 0) < 0) {
            Fail(-r.int32(0, 0));
            return false;
        }
        return true;
    }

    int32_t scan(const char* name, const char* sql, int32_t from) {
        if (!b_.enter()) return 0;
        pq::Result r;
        if (!b_.run(name, sql, pq::Params().int32(id_).int32(from), r)) return 0;
        if (r.rows() == 0) {
            Fail(err::NoMoreRecords);
            return 0;
        }
        return r.int32(0, 0);
    }

    // One entry of a key by a keyset condition. Returns false when there is none (with
    // noneError, unless 0) or on an error; the key's position follows the result.
    bool entry(int keyNo, Seek seek, const std::string& key, int32_t recNo, std::string& outKey,
               int32_t& outRec, int32_t noneError) {
        KeyDef& k = keys_[size_t(keyNo - 1)];
        if (!b_.enter()) {
            k.positioned = false;
            return false;
        }
        const KeySeek& q = kKeySeek[int(seek)][k.duplicates ? 1 : 0];
        pq::Result r;
        pq::Params p;
        p.int32(id_).int32(keyNo);
        if (q.params >= 3) p.bytes(key);
        if (q.params >= 4) p.int32(recNo);
        // Outside a transaction the entry's record comes along: a list reads it next, and
        // so pays one round trip per row, not two.
        const bool withRecord = !b_.inTransaction();
        const bool ran = withRecord
                             ? b_.run((std::string(q.name) + "_rec").c_str(),
                                      ("SELECT k.key, k.rec_no, (SELECT data FROM invarro.record r "
                                       "WHERE r.fb = $1 AND r.rec_no = k.rec_no) FROM (" +
                                       std::string(q.sql) + ") k")
                                          .c_str(),
                                      p, r)
                             : b_.run(q.name, q.sql, p, r);
        if (!ran) {
            k.positioned = false;
            return false;
        }
        if (r.rows() == 0) {
            k.positioned = false;
            if (noneError) Fail(noneError);
            return false;
        }
        outKey.assign(r.bytes(0, 0));
        outRec = r.int32(0, 1);
        k.positioned = true;
        if (withRecord && r.bytes(0, 2).size() == size_t(length_)) {
            prefetchedRec_ = outRec;
            prefetched_.assign(r.bytes(0, 2));
            prefetchedAt_ = b_.operations();
        }
        return true;
    }

    void step(int keyNo, std::string& key, int32_t& recNo, bool forward) {
        const KeyDef& k = keys_[size_t(keyNo - 1)];
        const int32_t none = forward ? err::NoNextEntry : err::NoPrevEntry;
        std::string found;
        int32_t rec = 0;
        // Keyset paging: the next entry after the one the caller last received (or the
        // first or last entry when there is no position), never an offset.
        Seek seek = k.positioned ? (forward ? Seek::After : Seek::Before)
                                 : (forward ? Seek::First : Seek::Last);
        if (entry(keyNo, seek, cut(key), recNo, found, rec, none)) {
            key = found;
            recNo = rec;
        }
    }

    ServerBackend& b_;
    int32_t id_;
    std::string name_;
    int32_t length_;
    int32_t prefetchedRec_ = 0;  // the record read with the last key entry found
    std::string prefetched_;
    uint64_t prefetchedAt_ = 0;  // the backend's operation that read it
    std::vector<KeyDef> keys_;
    std::vector<std::unique_ptr<KeySample>> samples_;
};

}  // namespace

// ------------------------------------------------------------------------- the backend

bool ServerBackend::connect(const std::string& conninfo, const pq::SessionSettings& settings) {
    conninfo_ = conninfo;
    settings_ = settings;
    if (!conn_.open(conninfo, settings)) {
        error_ = conn_.error().message;
        return false;
    }
    if (!ensureSchema()) return false;
    if (!conn_.exec(std::string("LISTEN ") + kChangesChannel)) {
        error_ = conn_.error().message;
        return false;
    }
    return true;
}

void ServerBackend::touched(const std::string& name) {
    // Inside a transaction the names are told at its commit, once each; outside one the
    // notice goes in the same round trip and the same implicit transaction as the change.
    if (inTxn_)
        changed_.insert(name);
    else
        conn_.defer("notify_changed", kNotifySql, pq::Params().bytes(name));
}

std::vector<std::string> ServerBackend::changedElsewhere() {
    std::set<std::string> names;
    const int self = conn_.backendPid();
    for (const pq::Connection::Notification& n : conn_.notifications())
        if (n.channel == kChangesChannel && n.pid != self) names.insert(n.payload);
    if (listenedAgain_) {
        // What others changed while the connection was gone is not told again: whatever
        // this program has open may have changed.
        listenedAgain_ = false;
        for (const auto& [id, name] : heldNames_)
            names.insert(name);
    }
    return {names.begin(), names.end()};
}

bool ServerBackend::ensureSchema() {
    // Tables of this layout already there: nothing to create (no DDL on every connect).
    pq::Result r;
    if (conn_.exec("SELECT to_regclass('invarro.meta') IS NOT NULL", r) && r.rows() == 1 &&
        r.bytes(0, 0) == "t" &&
        conn_.exec("SELECT value FROM invarro.meta WHERE name = 'schema'", r) && r.rows() == 1 &&
        r.bytes(0, 0) == std::to_string(kSchemaVersion))
        return true;
    std::string sql = std::string("BEGIN; ") + kSchemaLock + "; " + kSchemaSql + "; COMMIT";
    if (!conn_.exec(sql)) {
        error_ = conn_.error().message;
        conn_.exec("ROLLBACK");
        return false;
    }
    return true;
}

namespace {
int32_t EngineErrorOf(const pq::Error& e) {
    switch (e.failure) {
        case pq::Failure::Retry:
        case pq::Failure::LockTimeout:
            return kLockConflict;
        case pq::Failure::Duplicate:
            return err::DuplicateEntry;
        default:
            return kConnectionFailed;
    }
}
}  // namespace

void ServerBackend::failFromError() {
    Fail(EngineErrorOf(conn_.error()));
}

bool ServerBackend::enter() {
    ++operations_;
    if (!conn_.isOpen() && !inTxn_) {
        // Nothing is replayed: an operation that failed with the connection was reported.
        if (!conn_.reconnect() || !sessionAgain()) {
            Fail(kConnectionFailed);
            return false;
        }
    }
    if (InTransaction() && !inTxn_) {
        if (TransactionChangesFiles()) {  // one transaction changes files or a server
            Fail(err::TransactionState);
            return false;
        }
        // BEGIN goes with the transaction's first statement that waits. The transaction's
        // id is taken at once: should the answer to its COMMIT be lost, the server is asked
        // what became of it.
        txid_ = 0;
        conn_.defer("", "BEGIN ISOLATION LEVEL READ COMMITTED", {});
        conn_.defer("txid_current", "SELECT txid_current()", {},
                    [this](const pq::Result& r) { txid_ = r.rows() ? r.int64(0, 0) : 0; });
        inTxn_ = true;
        txnFailed_ = false;
    }
    if (inTxn_ && txnFailed_) {
        // The database ended the transaction at its first failure; what follows is refused
        // with that failure until the engine's transaction is rolled back.
        Fail(txnError_);
        return false;
    }
    return true;
}

bool ServerBackend::run(const char* name, const char* sql, const pq::Params& params,
                        pq::Result& out) {
    return conn_.run(name, sql, params, out) || statementFailed();
}

bool ServerBackend::statementFailed() {
    // The database ends the transaction at its first failure: the engine's transaction
    // remembers it, so that what follows and its commit fail the same way.
    if (inTxn_) {
        txnFailed_ = true;
        txnError_ = EngineErrorOf(conn_.error());
    }
    failFromError();
    return false;
}

bool ServerBackend::statement(const std::string& sql, const pq::Params& params, pq::Result& out) {
    return enter() && (conn_.query(sql, params, out) || statementFailed());
}

bool ServerBackend::commit() {
    if (!inTxn_) return true;
    inTxn_ = false;
    if (txnFailed_) {
        changed_.clear();
        conn_.discard();
        if (conn_.isOpen()) conn_.exec("ROLLBACK");
        txnFailed_ = false;
        Fail(txnError_);
        return false;
    }
    // What is still queued goes with the COMMIT, with one notice per fileblock changed;
    // should any of it fail, the COMMIT is not run and the transaction is rolled back.
    for (const std::string& name : changed_)
        conn_.defer("notify_changed", kNotifySql, pq::Params().bytes(name));
    changed_.clear();
    pq::Result r;
    if (conn_.query("COMMIT", {}, r)) return true;
    if (conn_.error().failure == pq::Failure::Connection) return resolveInDoubt();
    failFromError();
    if (conn_.isOpen()) conn_.exec("ROLLBACK");
    return false;
}

bool ServerBackend::resolveInDoubt() {
    ++inDoubtCommits_;
    if (txid_ == 0) {  // lost before the server told the transaction's id
        Fail(kCommitUnknown);
        return false;
    }
    // The connection went while COMMIT was on its way: the transaction may or may not have
    // been made. Whoever asks must not post it twice, nor be told it was made when it was
    // not, so the server is asked, after connecting again, what became of it.
    for (int attempt = 0; attempt < 60; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (!conn_.isOpen() && (!conn_.reconnect() || !sessionAgain())) continue;
        pq::Result r;
        if (!conn_.query("SELECT txid_status($1)", pq::Params().int64(txid_), r)) continue;
        if (r.rows() != 1 || r.isNull(0, 0)) break;  // too old to say: unknown
        const std::string_view status = r.bytes(0, 0);
        if (status == "committed") return true;
        if (status == "aborted") {
            Fail(kConnectionFailed);
            return false;
        }
        // "in progress": the server has not yet seen the old session end; ask again.
    }
    Fail(kCommitUnknown);
    return false;
}

void ServerBackend::rollback() {
    if (!inTxn_) return;
    inTxn_ = false;
    txnFailed_ = false;
    changed_.clear();
    conn_.discard();  // a BEGIN still queued never reached the server
    if (conn_.isOpen() && conn_.transactionState() != pq::Connection::TxnState::Idle)
        conn_.exec("ROLLBACK");  // leaves the engine status as it is
}

void ServerBackend::create(const std::string& name, int recordLength, int numKeys,
                           const KeyDescriptor* keys) {
    std::string lengths, dups;
    for (int i = 0; i < numKeys; ++i) {
        lengths.push_back(char(keys[i].length));
        dups.push_back(keys[i].duplicates ? 1 : 0);
    }
    if (!enter()) return;
    // A fileblock made (or replaced) is a change the others are told of: a list of the
    // companies, say, shows one more.
    touched(name);
    pq::Result r;
    if (run("create_fileblock", "SELECT invarro.create_fileblock($1, $2, $3, $4)",
            pq::Params().bytes(name).int32(recordLength).bytes(lengths).bytes(dups), r) &&
        r.int32(0, 0) < 0)
        Fail(-r.int32(0, 0));
}

BackendFileblock* ServerBackend::open(const std::string& name, bool /*readOnly*/, int& numKeys) {
    if (!enter()) return nullptr;
    pq::Result r;
    if (!run("open_fileblock",
             "SELECT f.id, f.record_length, f.needs_rebuild, k.key_no, k.key_length, k.duplicates "
             "FROM invarro.fileblock f LEFT JOIN invarro.fileblock_key k ON k.fb = f.id "
             "WHERE f.name = $1 ORDER BY k.key_no",
             pq::Params().bytes(name), r))
        return nullptr;
    if (r.rows() == 0) {
        Fail(err::FileNotFound);
        return nullptr;
    }
    if (r.boolean(0, 2)) {
        Fail(err::IndexDefective);  // records were added without their keys
        return nullptr;
    }
    std::vector<KeyDef> keys;
    for (int i = 0; i < r.rows(); ++i) {
        if (r.isNull(i, 3)) continue;
        KeyDef k;
        k.length = r.int32(i, 4);
        k.duplicates = r.boolean(i, 5);
        keys.push_back(k);
    }
    numKeys = int(keys.size());
    const int32_t id = r.int32(0, 0), length = r.int32(0, 1);
    // Held while it is open: nobody replaces or removes it meanwhile.
    pq::Result held;
    if (!run("hold_fileblock", "SELECT pg_advisory_lock_shared(7304192, $1)",
             pq::Params().int32(id), held))
        return nullptr;
    ++held_[id];
    heldNames_[id] = name;
    return new ServerFileblock(*this, id, name, length, std::move(keys));
}

void ServerBackend::remove(const std::string& name) {
    if (!enter()) return;
    touched(name);
    pq::Result r;
    if (!run("drop_fileblock", "SELECT invarro.drop_fileblock($1)", pq::Params().bytes(name), r))
        return;
    if (r.int32(0, 0) == 0) Fail(err::FileNotFound);
    if (r.int32(0, 0) < 0) Fail(-r.int32(0, 0));
}

void ServerBackend::released(int32_t id) {
    auto it = held_.find(id);
    if (it == held_.end()) return;
    if (--it->second == 0) {
        held_.erase(it);
        heldNames_.erase(id);
    }
    if (!conn_.isOpen()) return;  // the locks went with the session
    pq::Result r;
    conn_.run("release_fileblock", "SELECT pg_advisory_unlock_shared(7304192, $1)",
              pq::Params().int32(id), r);
}

bool ServerBackend::sessionAgain() {
    // A new session holds no locks and listens to nothing; nothing of the old one is
    // replayed, so the program is told that what it has open may have changed.
    if (!holdAgain() || !conn_.exec(std::string("LISTEN ") + kChangesChannel)) return false;
    if (sessionHook_ && !sessionHook_(conn_)) {
        conn_.close();
        return false;
    }
    listenedAgain_ = true;
    return true;
}

bool ServerBackend::holdAgain() {
    // A new session holds nothing: the fileblocks still open are held again.
    for (const auto& [id, count] : held_) {
        for (int i = 0; i < count; ++i) {
            pq::Result r;
            if (!conn_.run("hold_fileblock", "SELECT pg_advisory_lock_shared(7304192, $1)",
                           pq::Params().int32(id), r))
                return false;
        }
    }
    return true;
}

bool ServerBackend::exists(const std::string& name) {
    const bool ok = EngineOk;
    const int32_t error = EngineError, os = OsError;
    const int16_t fn = OsFunction;
    pq::Result r;
    const bool found = enter() &&
                       run("exists_fileblock", "SELECT 1 FROM invarro.fileblock WHERE name = $1",
                           pq::Params().bytes(name), r) &&
                       r.rows() == 1;
    // A question, not an operation: the engine status stays as it was.
    EngineOk = ok;
    EngineError = error;
    OsError = os;
    OsFunction = fn;
    return found;
}

std::shared_ptr<ServerBackend> MountServer(const std::string& folder, const std::string& conninfo,
                                           std::string* error) {
    auto backend = std::make_shared<ServerBackend>();
    if (!backend->connect(conninfo)) {
        if (error) *error = backend->error();
        return nullptr;
    }
    MountBackend(folder, backend);
    return backend;
}

}  // namespace invarro::storage::server
