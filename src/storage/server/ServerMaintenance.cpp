// Rebuild and the structure check of fileblocks kept in the database.

#include <map>
#include <set>

#include "storage/FileIO.h"
#include "storage/server/ServerBackend.h"

namespace invarro::storage::server {

namespace {

// Runs the body in a database transaction of its own; rolls back when it fails.
template <typename Body>
bool inOwnTransaction(pq::Connection& conn, ServerBackend& b, Body body) {
    if (!conn.exec("BEGIN")) {
        b.failFromError();
        return false;
    }
    if (!body() || !conn.exec("COMMIT")) {
        if (EngineOk) b.failFromError();
        conn.exec("ROLLBACK");  // the engine status keeps the first failure
        return false;
    }
    return true;
}

std::string n2s(int64_t n) {
    return std::to_string(n);
}

}  // namespace

bool ServerBackend::rebuild(const std::string& name, int numKeys, const KeyDescriptor* keys,
                            const KeyBuilder& builder, const RebuildSink& sink) {
    if (!enter()) return false;
    if (numKeys < 0 || numKeys > kMaxKeys) {
        Fail(err::TooManyKeysCreate);
        return false;
    }
    for (int i = 0; i < numKeys; ++i)
        if (keys[i].length < 1 || keys[i].length > kMaxKeyLength) {
            Fail(err::BadKeyLength);
            return false;
        }
    auto body = [&]() -> bool {
        pq::Result r;
        // The header row locked: nobody adds or deletes records while the keys are made.
        if (!run("rebuild_lock",
                 "SELECT id, record_length FROM invarro.fileblock WHERE name = $1 FOR UPDATE",
                 pq::Params().bytes(name), r))
            return false;
        if (r.rows() == 0) {
            Fail(err::FileNotFound);
            return false;
        }
        const int32_t id = r.int32(0, 0);
        const int32_t length = r.int32(0, 1);
        std::string lengths, dups;
        for (int i = 0; i < numKeys; ++i) {
            lengths.push_back(char(keys[i].length));
            dups.push_back(keys[i].duplicates ? 1 : 0);
        }
        if (!run("rebuild_clear",
                 "WITH a AS (DELETE FROM invarro.key_entry WHERE fb = $1), "
                 "b AS (DELETE FROM invarro.fileblock_key WHERE fb = $1) "
                 "UPDATE invarro.fileblock SET num_keys = length($2::bytea), needs_rebuild = false "
                 "WHERE id = $1",
                 pq::Params().int32(id).bytes(lengths), r) ||
            !run("rebuild_keys",
                 "INSERT INTO invarro.fileblock_key (fb, key_no, key_length, duplicates) "
                 "SELECT $1, i + 1, get_byte($2::bytea, i), get_byte($3::bytea, i) <> 0 "
                 "FROM generate_series(0, length($2::bytea) - 1) AS i",
                 pq::Params().int32(id).bytes(lengths).bytes(dups), r))
            return false;

        RebuildCounters counters;
        auto show = [&](bool always) {
            if (!sink || (!always && counters.recordsRead % 50 != 0)) return true;
            if (sink(counters)) return true;
            Fail(err::Cancelled);
            return false;
        };
        auto buildKey = [&](const std::string& rec, int keyNo, std::string& key) {
            key.clear();
            if (!builder(reinterpret_cast<const uint8_t*>(rec.data()), length, keyNo, key) ||
                !EngineOk) {
                ResetStatus();
                Fail(err::KeyBuilderFailed);
                return false;
            }
            if (key.size() > size_t(kMaxKeyLength)) key.resize(kMaxKeyLength);
            if (key.size() > size_t(keys[keyNo - 1].length)) {
                Fail(err::KeyTooLong);
                return false;
            }
            return true;
        };
        for (int keyNo = 1; keyNo <= numKeys; ++keyNo) {
            counters = {keyNo, 0, 0};
            int32_t after = 0;
            for (;;) {
                pq::Result batch;
                if (!run("rebuild_batch",
                         "SELECT rec_no, data FROM invarro.record WHERE fb = $1 AND live "
                         "AND rec_no > $2 ORDER BY rec_no LIMIT 500",
                         pq::Params().int32(id).int32(after), batch))
                    return false;
                if (batch.rows() == 0) break;
                for (int i = 0; i < batch.rows(); ++i) {
                    const int32_t recNo = batch.int32(i, 0);
                    const std::string rec(batch.bytes(i, 1));
                    after = recNo;
                    ++counters.recordsRead;
                    std::string key;
                    if (!buildKey(rec, keyNo, key)) return false;
                    pq::Result added;
                    if (!run("rebuild_add",
                             "INSERT INTO invarro.key_entry (fb, key_no, key, rec_no, is_unique) "
                             "VALUES ($1, $2, $3, $4, $5) ON CONFLICT DO NOTHING RETURNING 1",
                             pq::Params().int32(id).int32(keyNo).bytes(key).int32(recNo).boolean(
                                 !keys[keyNo - 1].duplicates),
                             added))
                        return false;
                    if (added.rows() == 1) {
                        ++counters.recordsWritten;
                    } else {
                        // A second record with the key of an index without duplicates: it
                        // goes, with the keys it already has, as the files' rebuild does.
                        for (int earlier = 1; earlier < keyNo; ++earlier) {
                            std::string k;
                            if (!buildKey(rec, earlier, k)) return false;
                            pq::Result gone;
                            if (!run("rebuild_unkey",
                                     "DELETE FROM invarro.key_entry WHERE fb = $1 AND key_no = $2 "
                                     "AND key = $3 AND rec_no = $4",
                                     pq::Params().int32(id).int32(earlier).bytes(k).int32(recNo),
                                     gone))
                                return false;
                        }
                        pq::Result del;
                        if (!run("rebuild_delete", "SELECT invarro.delete_record($1, $2, true)",
                                 pq::Params().int32(id).int32(recNo), del))
                            return false;
                    }
                    if (!show(false)) return false;
                }
            }
            if (!show(true)) return false;
        }
        touched(name);  // the notice commits with the rebuild
        return run("rebuild_count",
                   "UPDATE invarro.fileblock_key k SET entries = (SELECT count(*) FROM "
                   "invarro.key_entry e WHERE e.fb = k.fb AND e.key_no = k.key_no) WHERE k.fb = $1",
                   pq::Params().int32(id), r);
    };
    return inOwnTransaction(connection(), *this, body);
}

std::vector<std::string> ServerBackend::check(const std::string& name) {
    std::vector<std::string> problems;
    auto failed = [&]() {
        problems.push_back("the server did not answer: " + connection().error().message);
        return problems;
    };
    if (!enter()) return failed();
    pq::Result h;
    if (!run("check_header",
             "SELECT id, record_length, num_keys, high, chain_head, deleted_count, needs_rebuild "
             "FROM invarro.fileblock WHERE name = $1",
             pq::Params().bytes(name), h))
        return failed();
    if (h.rows() == 0) {
        problems.push_back("no fileblock " + name + " in the database");
        return problems;
    }
    const int32_t id = h.int32(0, 0), length = h.int32(0, 1), numKeys = h.int32(0, 2);
    const int32_t high = h.int32(0, 3), head = h.int32(0, 4), deleted = h.int32(0, 5);
    if (h.boolean(0, 6))
        problems.push_back("marked for a rebuild: records were added without keys");

    pq::Result s;
    if (!run("check_slots",
             "SELECT count(*), coalesce(min(rec_no), 0), coalesce(max(rec_no), 0), "
             "count(*) FILTER (WHERE length(data) <> $2) FROM invarro.record WHERE fb = $1",
             pq::Params().int32(id).int32(length), s))
        return failed();
    if (s.int64(0, 0) != high || (high > 0 && (s.int32(0, 1) != 1 || s.int32(0, 2) != high)))
        problems.push_back("slots 1.." + n2s(high) + " expected, found " + n2s(s.int64(0, 0)) +
                           " from " + n2s(s.int32(0, 1)) + " to " + n2s(s.int32(0, 2)));
    if (s.int64(0, 3) > 0)
        problems.push_back(n2s(s.int64(0, 3)) + " records are not " + n2s(length) + " bytes long");

    // The deleted-record chain, walked over the slots that are not live.
    pq::Result d;
    if (!run("check_chain",
             "SELECT rec_no, invarro.le32(data) FROM invarro.record WHERE fb = $1 AND NOT live",
             pq::Params().int32(id), d))
        return failed();
    std::map<int32_t, int32_t> link;
    for (int i = 0; i < d.rows(); ++i)
        link[d.int32(i, 0)] = d.int32(i, 1);
    std::set<int32_t> seen;
    int32_t walked = 0;
    for (int32_t n = head; n != -1;) {
        if (n < 1 || n > high) {
            problems.push_back("deleted chain link " + n2s(n) + " outside 1.." + n2s(high));
            break;
        }
        if (!seen.insert(n).second) {
            problems.push_back("deleted chain loops at record " + n2s(n));
            break;
        }
        auto it = link.find(n);
        if (it == link.end()) {
            problems.push_back("deleted chain reaches a live record");
            break;
        }
        ++walked;
        n = it->second;
    }
    if (walked != deleted)
        problems.push_back("header counts " + n2s(deleted) + " deleted records, the chain has " +
                           n2s(walked));

    pq::Result k;
    if (!run(
            "check_keys",
            "SELECT k.key_no, k.key_length, k.duplicates, k.entries, "
            "(SELECT count(*) FROM invarro.key_entry e WHERE e.fb = k.fb AND e.key_no = k.key_no), "
            "(SELECT count(*) FROM invarro.key_entry e WHERE e.fb = k.fb AND e.key_no = k.key_no "
            "AND (length(e.key) > k.key_length OR e.is_unique = k.duplicates)), "
            "(SELECT count(*) FROM invarro.key_entry e LEFT JOIN invarro.record r "
            "ON r.fb = e.fb AND r.rec_no = e.rec_no WHERE e.fb = k.fb AND e.key_no = k.key_no "
            "AND (r.rec_no IS NULL OR NOT r.live)) "
            "FROM invarro.fileblock_key k WHERE k.fb = $1 ORDER BY k.key_no",
            pq::Params().int32(id), k))
        return failed();
    if (k.rows() != numKeys)
        problems.push_back("header says " + n2s(numKeys) + " keys, " + n2s(k.rows()) + " defined");
    for (int i = 0; i < k.rows(); ++i) {
        const std::string key = "key " + n2s(k.int32(i, 0)) + ": ";
        if (k.int64(i, 4) != k.int32(i, 3))
            problems.push_back(key + "header counts " + n2s(k.int32(i, 3)) +
                               " entries, the index has " + n2s(k.int64(i, 4)));
        if (k.int64(i, 5) > 0)
            problems.push_back(key + n2s(k.int64(i, 5)) +
                               " entries do not fit the key's definition");
        if (k.int64(i, 6) > 0)
            problems.push_back(key + n2s(k.int64(i, 6)) + " entries point to no live record");
    }
    pq::Result stray;
    if (!run("check_stray",
             "SELECT count(*) FROM invarro.key_entry WHERE fb = $1 AND (key_no < 1 OR key_no > $2)",
             pq::Params().int32(id).int32(numKeys), stray))
        return failed();
    if (stray.int64(0, 0) > 0)
        problems.push_back(n2s(stray.int64(0, 0)) + " entries belong to no key");
    return problems;
}

}  // namespace invarro::storage::server
