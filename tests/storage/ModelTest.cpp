// Long random sequences of record and key changes checked against an in-memory model,
// with a pool of only 8 page buffers so that pages are evicted and read back all the time.

#include <map>
#include <random>
#include <set>

#include "EngineFixture.h"
#include "storage/Transaction.h"
#include "storage/Verify.h"

namespace invarro::storage {
namespace {

struct ModelKey {
    int length;
    bool duplicates;
};

using Entry = std::pair<std::string, int32_t>;

struct EntryLess {
    bool duplicates;
    bool operator()(const Entry& a, const Entry& b) const {
        int c = CompareKeys(a.first, b.first);
        if (c != 0) return c < 0;
        return duplicates && a.second < b.second;
    }
};

class ModelTest : public EngineTest {
  protected:
    int poolSize() const override { return 8; }

    static constexpr int kRecLen = 48;
    const std::vector<ModelKey> keys{{1, false}, {10, false}, {30, true}, {10, true}};

    std::mt19937 rng{12345};
    Fileblock* fb = nullptr;
    std::map<int32_t, std::string> records;                  // live records
    std::map<int32_t, std::vector<std::string>> recordKeys;  // keys added per record
    std::vector<std::set<Entry, EntryLess>> model;

    void SetUp() override {
        EngineTest::SetUp();
        std::vector<KeyDescriptor> kd;
        for (auto& k : keys)
            kd.push_back({k.length, k.duplicates});
        CreateFileblock(name(), kRecLen, int(kd.size()), kd.data());
        ASSERT_TRUE(EngineOk);
        fb = OpenFileblock(name(), false);
        ASSERT_TRUE(EngineOk);
        for (auto& k : keys)
            model.emplace_back(EntryLess{k.duplicates});
    }

    int rnd(int n) { return int(rng() % uint32_t(n)); }

    // Keys from a small alphabet (with bytes above 127 and below 33) so that duplicates
    // and shared prefixes are common.
    std::string randomKey(int maxLen) {
        static const char alphabet[] = "AB C\x01\xE4\xFF";
        int len = maxLen == 1 ? 1 : rnd(maxLen + 1);
        std::string k;
        for (int i = 0; i < len; ++i)
            k += alphabet[rnd(int(sizeof alphabet) - 1)];
        return k;
    }

    void addRecordWithKeys() {
        std::string r(kRecLen, '\0');
        for (int i = 4; i < kRecLen; ++i)
            r[size_t(i)] = char('a' + rnd(26));
        int32_t n = AddRecord(fb, r.data());
        ASSERT_TRUE(EngineOk) << EngineError;
        ASSERT_EQ(records.count(n), 0u);
        records[n] = r;
        std::vector<std::string> added(keys.size());
        for (size_t i = 0; i < keys.size(); ++i) {
            std::string k = randomKey(keys[i].length);
            bool exists = model[i].count({k, n}) > 0;
            AddKey(fb, int(i) + 1, n, k);
            if (exists) {
                ASSERT_EQ(EngineError, err::DuplicateEntry);
                added[i] = std::string(1, '\x7F') + "none";  // marks "no entry"
            } else {
                ASSERT_TRUE(EngineOk) << EngineError;
                model[i].insert({k, n});
                added[i] = k;
            }
        }
        recordKeys[n] = added;
    }

    bool hasEntry(const std::string& k) const { return k.empty() || k[0] != '\x7F'; }

    void deleteRandomRecord() {
        if (records.empty()) return;
        auto it = records.begin();
        std::advance(it, rnd(int(records.size())));
        int32_t n = it->first;
        for (size_t i = 0; i < keys.size(); ++i) {
            const std::string& k = recordKeys[n][i];
            if (!hasEntry(k)) continue;
            DeleteKey(fb, int(i) + 1, n, k);
            ASSERT_TRUE(EngineOk) << EngineError;
            model[i].erase({k, n});
        }
        DeleteRecord(fb, n);
        ASSERT_TRUE(EngineOk) << EngineError;
        records.erase(n);
        recordKeys.erase(n);
    }

    // Replaces one key entry of a record, as a change of the record's key field does.
    void changeRandomKey() {
        if (records.empty()) return;
        auto it = records.begin();
        std::advance(it, rnd(int(records.size())));
        int32_t n = it->first;
        size_t i = size_t(rnd(int(keys.size())));
        std::string& cur = recordKeys[n][i];
        if (hasEntry(cur)) {
            DeleteKey(fb, int(i) + 1, n, cur);
            ASSERT_TRUE(EngineOk) << EngineError;
            model[i].erase({cur, n});
        }
        std::string k = randomKey(keys[i].length);
        bool exists = model[i].count({k, n}) > 0;
        AddKey(fb, int(i) + 1, n, k);
        if (exists) {
            ASSERT_EQ(EngineError, err::DuplicateEntry);
            cur = std::string(1, '\x7F') + "none";
        } else {
            ASSERT_TRUE(EngineOk) << EngineError;
            model[i].insert({k, n});
            cur = k;
        }
    }

    // count changes: adds addWeight in 10, deletes most of the rest, some key changes.
    void randomChanges(int count, int addWeight) {
        for (int op = 0; op < count; ++op) {
            int r = rnd(10);
            if (r < addWeight)
                addRecordWithKeys();
            else if (r < 9)
                deleteRandomRecord();
            else
                changeRandomKey();
            if (HasFatalFailure()) return;
        }
    }

    void verifyKey(size_t i) {
        const int keyNo = int(i) + 1;
        ASSERT_EQ(KeyCount(fb, keyNo), int32_t(model[i].size()));
        std::string key;
        int32_t rec = 0;
        // Forwards from "no position".
        for (;;) {
            NextKey(fb, keyNo, key, rec);
            if (!EngineOk) break;
        }
        auto it = model[i].begin();
        for (;;) {
            NextKey(fb, keyNo, key, rec);
            if (!EngineOk) break;
            ASSERT_NE(it, model[i].end());
            ASSERT_EQ(key, it->first);
            ASSERT_EQ(rec, it->second);
            ++it;
        }
        ASSERT_EQ(EngineError, err::NoNextEntry);
        ASSERT_EQ(it, model[i].end());
        // Backwards.
        auto rit = model[i].rbegin();
        for (;;) {
            PrevKey(fb, keyNo, key, rec);
            if (!EngineOk) break;
            ASSERT_NE(rit, model[i].rend());
            ASSERT_EQ(key, rit->first);
            ASSERT_EQ(rec, rit->second);
            ++rit;
        }
        ASSERT_EQ(rit, model[i].rend());
        // Searches for random keys land on the first entry at or after them.
        for (int t = 0; t < 50; ++t) {
            std::string probe = randomKey(keys[i].length);
            std::string got = probe;
            int32_t r = FindKeyAtOrAfter(fb, keyNo, got);
            auto lb = std::find_if(model[i].begin(), model[i].end(), [&](const Entry& e) {
                return CompareKeys(e.first, probe) >= 0;
            });
            if (lb == model[i].end()) {
                ASSERT_EQ(EngineError, err::KeyNotFound);
            } else {
                ASSERT_TRUE(EngineOk);
                ASSERT_EQ(got, lb->first);
                ASSERT_EQ(r, lb->second);
            }
        }
    }

    void verifyAll() {
        ASSERT_EQ(UsedRecordCount(fb), int32_t(records.size()));
        for (size_t i = 0; i < keys.size(); ++i)
            verifyKey(i);
        std::string got(kRecLen, '\0');
        for (auto& [n, r] : records) {
            GetRecord(fb, n, got.data());
            ASSERT_EQ(got, r);
        }
    }

    void reopenAndCheck() {
        CloseFileblock(fb);
        ASSERT_TRUE(EngineOk);
        auto problems = CheckFileblock(name());
        ASSERT_TRUE(problems.empty()) << problems.front();
        fb = OpenFileblock(name(), false);
        ASSERT_TRUE(EngineOk) << EngineError;
    }
};

TEST_F(ModelTest, RandomChangesMatchTheModel) {
    for (int phase = 0; phase < 12; ++phase) {
        // Phases alternate between growing and shrinking so that pages split and merge.
        int addWeight = phase % 3 == 2 ? 3 : 7;
        randomChanges(2500, addWeight);
        if (HasFatalFailure()) return;
        verifyAll();
        if (HasFatalFailure()) return;
        reopenAndCheck();
        if (HasFatalFailure()) return;
    }
    // Empty it completely: every tree must shrink back to nothing.
    while (!records.empty()) {
        deleteRandomRecord();
        if (HasFatalFailure()) return;
    }
    verifyAll();
    reopenAndCheck();
}

// The files themselves, read without the engine while the fileblock stays open, match the
// model after each committed transaction: what a commit takes from the pool is every page
// changed since the last one, whether it was evicted on the way, freed, or changed by
// work outside a transaction, and a rollback leaves nothing of its changes behind.
TEST_F(ModelTest, CommittedTransactionsLeaveTheFilesAsTheModel) {
    auto checkFiles = [&]() {
        ASSERT_TRUE(CheckpointJournal()) << EngineError;
        auto problems = CheckFileblock(name());
        ASSERT_TRUE(problems.empty()) << problems.front();
        std::string error;
        for (size_t i = 0; i < keys.size(); ++i) {
            std::vector<Entry> onDisk;
            ASSERT_TRUE(ForEachKeyEntry(
                name(), int(i) + 1,
                [&](const std::string& k, int32_t r) { onDisk.emplace_back(k, r); }, error))
                << error;
            ASSERT_EQ(onDisk, std::vector<Entry>(model[i].begin(), model[i].end()));
        }
        std::map<int32_t, std::string> live;
        ASSERT_TRUE(ForEachLiveRecord(
            name(), [&](int32_t n, const std::string& r) { live[n] = r; }, error))
            << error;
        ASSERT_EQ(live, records);
    };
    for (int round = 0; round < 60; ++round) {
        const auto savedRecords = records;
        const auto savedKeys = recordKeys;
        const auto savedModel = model;
        // 0: changes outside a transaction first, more than the pool's list of changed
        // pages keeps; 1: rolled back.
        const int kind = rnd(4);
        if (kind == 0) {
            randomChanges(300, 8);
            ASSERT_FALSE(HasFatalFailure());
        }
        ASSERT_TRUE(BeginTransaction()) << EngineError;
        // Growing rounds first, then mixed ones, so that pages split, merge and are freed.
        const int addWeight = round < 20 ? 8 : 4;
        randomChanges(150, addWeight);
        ASSERT_FALSE(HasFatalFailure());
        if (kind == 1) {
            RollbackTransaction();
            ASSERT_TRUE(EngineOk);
            records = savedRecords;
            recordKeys = savedKeys;
            model = savedModel;
            verifyAll();
        } else {
            ASSERT_TRUE(CommitTransaction()) << EngineError;
            checkFiles();
        }
        ASSERT_FALSE(HasFatalFailure());
    }
    reopenAndCheck();
}

TEST_F(ModelTest, SteppingWhileTheIndexChangesFollowsTheModel) {
    for (int i = 0; i < 3000; ++i)
        addRecordWithKeys();
    ASSERT_FALSE(HasFatalFailure());
    // Walk key 3 forwards; between steps, change the tree and check that each step gives
    // the entry after the one last returned in the changed tree.
    const size_t k = 2;
    std::string key;
    int32_t rec = 0;
    NextKey(fb, 3, key, rec);
    ASSERT_TRUE(EngineOk);
    Entry last{key, rec};
    for (int step = 0; step < 3000; ++step) {
        int r = rnd(4);
        if (r == 0) addRecordWithKeys();
        if (r == 1) deleteRandomRecord();
        if (r == 2) changeRandomKey();
        if (HasFatalFailure()) return;
        bool forwardStep = rnd(3) != 0;
        key = last.first;
        rec = last.second;
        if (forwardStep)
            NextKey(fb, 3, key, rec);
        else
            PrevKey(fb, 3, key, rec);
        if (forwardStep) {
            auto it = model[k].upper_bound(last);
            if (it == model[k].end()) {
                ASSERT_EQ(EngineError, err::NoNextEntry);
                NextKey(fb, 3, key, rec);  // starts again at the first entry
                it = model[k].begin();
            }
            ASSERT_TRUE(EngineOk);
            ASSERT_EQ(Entry(key, rec), *it);
        } else {
            auto it = model[k].lower_bound(last);
            if (it == model[k].begin()) {
                ASSERT_EQ(EngineError, err::NoPrevEntry);
                PrevKey(fb, 3, key, rec);
                it = model[k].end();
            }
            --it;
            ASSERT_TRUE(EngineOk);
            ASSERT_EQ(Entry(key, rec), *it);
        }
        last = {key, rec};
    }
    reopenAndCheck();
}

}  // namespace
}  // namespace invarro::storage
