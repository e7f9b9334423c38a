// Restructure, reindex, the rebuild sequence and variable-length records.

#include <signal.h>
#include <sys/resource.h>
#include <climits>

#include <filesystem>
#include <set>

#include "EngineFixture.h"
#include "storage/BufferedRecords.h"
#include "storage/Bytes.h"
#include "storage/EngineInternal.h"
#include "storage/EngineTesting.h"
#include "storage/KeyEntries.h"
#include "storage/Rebuild.h"
#include "storage/VarRecords.h"
#include "storage/Verify.h"

namespace invarro::storage {
namespace {

using invarro::testing::ReadFileBytes;
using invarro::testing::WriteFileBytes;
namespace fs = std::filesystem;

constexpr int kLen = 40;
const KeyDescriptor kKeys[] = {{8, false}, {4, true}};

// Key 1 is the record's bytes 4..11, key 2 its bytes 12..15.
bool rawKeys(const uint8_t* rec, int32_t len, int keyNo, std::string& key) {
    if (len < 16) return false;
    key.assign(reinterpret_cast<const char*>(rec) + (keyNo == 1 ? 4 : 12), keyNo == 1 ? 8 : 4);
    return true;
}

class RebuildTest : public EngineTest {
  protected:
    void TearDown() override {
        SetProgressCallback(nullptr);
        EngineTest::TearDown();
    }

    // A fileblock with records "AAAAAAAA0001", ... with their keys; some deleted.
    void makeFile(const std::vector<std::string>& texts, const std::vector<int>& deleted = {}) {
        Fileblock* fb = createOpen(kLen, {kKeys[0], kKeys[1]});
        for (const std::string& t : texts) {
            std::string r = record(kLen, t);
            int32_t n = AddRecord(fb, r.data());
            std::string k1, k2;
            rawKeys(reinterpret_cast<const uint8_t*>(r.data()), kLen, 1, k1);
            rawKeys(reinterpret_cast<const uint8_t*>(r.data()), kLen, 2, k2);
            AddKey(fb, 1, n, k1);  // may be refused as a duplicate: a rebuild sorts that out
            AddKey(fb, 2, n, k2);
        }
        for (int n : deleted)
            DeleteRecord(fb, n);
        CloseFileblock(fb);
    }

    bool rebuild(bool* log = nullptr, RebuildSink sink = nullptr) {
        return RebuildFileblock(name(), 0, 2, kKeys, rawKeys, sink, log);
    }

    std::vector<std::string> liveTexts() {
        std::vector<std::string> out;
        std::string error;
        ForEachLiveRecord(
            name(), [&](int32_t, const std::string& r) { out.push_back(r.substr(4, 12)); }, error);
        return out;
    }

    void expectSound() {
        auto problems = CheckFileblock(name());
        EXPECT_TRUE(problems.empty()) << problems.front();
    }
};

TEST_F(RebuildTest, DropsDeletedSlotsAndRenumbersTheRest) {
    makeFile({"AAAAAAAA0001", "BBBBBBBB0002", "CCCCCCCC0001", "DDDDDDDD0003", "EEEEEEEE0001"},
             {2, 4});
    bool log = true;
    ASSERT_TRUE(rebuild(&log)) << EngineError;
    EXPECT_FALSE(log);
    FileblockInfo fi;
    std::string error;
    ASSERT_TRUE(ReadFileblockInfo(name(), fi, error));
    EXPECT_EQ(fi.high, 3);
    EXPECT_EQ(fi.chainHead, -1);
    EXPECT_EQ(fi.deleted, 0);
    EXPECT_FALSE(fi.updateInProgress);
    EXPECT_EQ(fi.keys[0].entries, 3);
    EXPECT_EQ(fi.keys[1].entries, 3);
    EXPECT_EQ(liveTexts(),
              (std::vector<std::string>{"AAAAAAAA0001", "CCCCCCCC0001", "EEEEEEEE0001"}));
    EXPECT_FALSE(fs::exists(name() + ".SAV"));
    EXPECT_FALSE(fs::exists(name() + ".MSG"));
    expectSound();
    Fileblock* fb = OpenFileblock(name(), false);
    EXPECT_TRUE(EngineOk);
    std::string key = "CCCCCCCC";
    EXPECT_EQ(FindKeyAtOrAfter(fb, 1, key), 2);
    CloseFileblock(fb);
}

TEST_F(RebuildTest, SecondRecordWithAUniqueKeyIsLoggedAndDeleted) {
    makeFile({"AAAAAAAA0001", "BBBBBBBB0002", "AAAAAAAA0003"});
    bool log = false;
    ASSERT_TRUE(rebuild(&log)) << EngineError;
    EXPECT_TRUE(log);
    std::string expected =
        "Key:<AAAAAAAA> KeyNr: 1 Ref: 3 not added\r\n"
        "Data record deleted - Dump follows\r\n" +
        record(kLen, "AAAAAAAA0003") + "\r\n\r\n";
    EXPECT_EQ(ReadFileBytes(name() + ".MSG"), expected);
    EXPECT_EQ(liveTexts(), (std::vector<std::string>{"AAAAAAAA0001", "BBBBBBBB0002"}));
    FileblockInfo fi;
    std::string error;
    ReadFileblockInfo(name(), fi, error);
    EXPECT_EQ(fi.keys[0].entries, 2);
    EXPECT_EQ(fi.keys[1].entries, 2);  // its key 2 entry went with it
    expectSound();
}

TEST_F(RebuildTest, RejectsOnALaterKeyRemoveTheEarlierKeysToo) {
    // Key 2 (bytes 12..15) unique here: the later record with "0001" goes.
    KeyDescriptor keys[] = {{8, false}, {4, false}};
    makeFile({"AAAAAAAA0001", "BBBBBBBB0001", "CCCCCCCC0002"});
    ASSERT_TRUE(RebuildFileblock(name(), 0, 2, keys, rawKeys, nullptr, nullptr));
    EXPECT_EQ(ReadFileBytes(name() + ".MSG").substr(0, 42),
              "Key:<0001> KeyNr: 2 Ref: 2 not added\r\nData");
    EXPECT_EQ(liveTexts(), (std::vector<std::string>{"AAAAAAAA0001", "CCCCCCCC0002"}));
    expectSound();
}

TEST_F(RebuildTest, WithoutTheDeleteFlagRejectedRecordsStay) {
    makeFile({"AAAAAAAA0001", "AAAAAAAA0002"});
    bool log = false;
    Reindex(name(), 2, kKeys, 0, NoRecordHook, rawKeys, false, false, &log);
    ASSERT_TRUE(EngineOk) << EngineError;
    EXPECT_TRUE(log);
    EXPECT_EQ(ReadFileBytes(name() + ".MSG"), "Key:<AAAAAAAA> KeyNr: 1 Ref: 2 not added\r\n");
    EXPECT_EQ(liveTexts().size(), 2u);
    // The index holds the first record only; check reports nothing wrong.
    expectSound();
}

TEST_F(RebuildTest, ProgressReportsEveryFiftyRecordsAndTheEndOfEachPass) {
    std::vector<std::string> texts;
    for (int i = 0; i < 120; ++i) {
        char b[16];
        std::snprintf(b, sizeof b, "K%07d%04d", i, i % 7);
        texts.push_back(b);
    }
    makeFile(texts);
    std::vector<RebuildCounters> seen;
    ASSERT_TRUE(rebuild(nullptr, [&](const RebuildCounters& c) {
        seen.push_back(c);
        return true;
    }));
    std::vector<std::tuple<int, int, int>> got;
    for (auto& c : seen)
        got.emplace_back(c.keyNumber, c.recordsRead, c.recordsWritten);
    // The copy (which collects the keys as it writes the records), then the final count
    // of each key.
    std::vector<std::tuple<int, int, int>> want{
        {0, 50, 50}, {0, 100, 100}, {0, 120, 120}, {1, 120, 120}, {2, 120, 120}};
    EXPECT_EQ(got, want);
}

TEST_F(RebuildTest, CancelledRestructureLeavesTheOldDataFileInPlace) {
    makeFile({"AAAAAAAA0001", "BBBBBBBB0002", "CCCCCCCC0003"}, {2});
    const std::string before = ReadFileBytes(name() + ".DAT");
    SetProgressCallback(
        [](int, int32_t read, int32_t, int32_t, const uint8_t*) { return read < 2; });
    Restructure(name(), kLen, kLen, 0, NoRecordHook, DefaultConverter, false);
    EXPECT_EQ(EngineError, err::Cancelled);
    EXPECT_EQ(ReadFileBytes(name() + ".DAT"), before);
    EXPECT_FALSE(fs::exists(name() + ".SAV"));
    // The index went with the copy: the fileblock asks for the rebuild at the next open.
    EXPECT_FALSE(fs::exists(name() + ".IX"));
}

TEST_F(RebuildTest, CancelledRebuildThroughTheSinkRestoresTheData) {
    std::vector<std::string> texts;
    for (int i = 0; i < 60; ++i)
        texts.push_back("R" + std::to_string(1000000 + i) + "0000");
    makeFile(texts, {3});
    const std::string before = ReadFileBytes(name() + ".DAT");
    EXPECT_FALSE(rebuild(nullptr, [](const RebuildCounters&) { return false; }));
    EXPECT_EQ(EngineError, err::Cancelled);
    EXPECT_EQ(ReadFileBytes(name() + ".DAT"), before);
    EXPECT_FALSE(fs::exists(name() + ".SAV"));
}

TEST_F(RebuildTest, InterruptedReindexAsksForARebuildAgain) {
    makeFile({"AAAAAAAA0001", "BBBBBBBB0002", "CCCCCCCC0003"});
    SetProgressCallback(
        [](int keyNo, int32_t, int32_t, int32_t, const uint8_t*) { return keyNo < 2; });
    Reindex(name(), 2, kKeys, 0, NoRecordHook, rawKeys, true, false, nullptr);
    EXPECT_EQ(EngineError, err::Cancelled);
    SetProgressCallback(nullptr);
    EXPECT_EQ(ReadFileBytes(name() + ".DAT")[20], 1);
    EXPECT_EQ(OpenFileblock(name(), false), nullptr);
    EXPECT_EQ(EngineError, err::IndexDefective);
    ASSERT_TRUE(rebuild());
    expectSound();
}

TEST_F(RebuildTest, FailingKeyBuilderStopsTheReindexAndLeavesItMarked) {
    makeFile({"AAAAAAAA0001", "BBBBBBBB0002"});
    int calls = 0;
    KeyBuilder failing = [&](const uint8_t* r, int32_t l, int k, std::string& key) {
        return ++calls < 3 && rawKeys(r, l, k, key);
    };
    Reindex(name(), 2, kKeys, 0, NoRecordHook, failing, true, false, nullptr);
    EXPECT_EQ(EngineError, err::KeyBuilderFailed);
    EXPECT_EQ(OpenFileblock(name(), false), nullptr);
    EXPECT_EQ(EngineError, err::IndexDefective);
}

TEST_F(RebuildTest, FailingConverterRestoresTheOldDataFile) {
    makeFile({"AAAAAAAA0001", "BBBBBBBB0002"});
    const std::string before = ReadFileBytes(name() + ".DAT");
    RecordConverter failing = [](const uint8_t*, uint8_t*, int32_t&) {
        EngineOk = false;
        return false;
    };
    Restructure(name(), kLen, kLen, 0, NoRecordHook, failing, false);
    EXPECT_EQ(EngineError, err::ConverterFailed);
    EXPECT_EQ(ReadFileBytes(name() + ".DAT"), before);
    EXPECT_FALSE(fs::exists(name() + ".SAV"));
}

TEST_F(RebuildTest, RestructureCanChangeTheRecordLayout) {
    makeFile({"AAAAAAAA0001", "BBBBBBBB0002"}, {1});
    std::vector<int> directions;
    RecordHook hook = [&](uint8_t*, int32_t, int dir, intptr_t user) {
        EXPECT_EQ(user, 77);
        directions.push_back(dir);
    };
    RecordConverter widen = [](const uint8_t* o, uint8_t* n, int32_t& len) {
        if (rd32(o) != 0) return false;
        std::memset(n, 0, size_t(len));
        std::memcpy(n, o, kLen);
        std::memcpy(n + kLen, "NEW", 3);
        return true;
    };
    Restructure(name(), 60, kLen, 77, hook, widen, false);
    ASSERT_TRUE(EngineOk) << EngineError;
    EXPECT_EQ(directions, (std::vector<int>{1, 1, 0}));
    EXPECT_FALSE(fs::exists(name() + ".IX"));
    Fileblock* fb = OpenFileblock(name(), false);
    ASSERT_TRUE(EngineOk);
    EXPECT_EQ(RecordLength(fb), 60);
    EXPECT_EQ(UsedRecordCount(fb), 1);
    std::string r(60, '\0');
    GetRecord(fb, 1, r.data());
    EXPECT_EQ(r.substr(4, 12), "BBBBBBBB0002");
    EXPECT_EQ(r.substr(40, 3), "NEW");
    CloseFileblock(fb);
}

TEST_F(RebuildTest, SaveFileRulesProtectAnInterruptedRestructure) {
    makeFile({"AAAAAAAA0001"});
    WriteFileBytes(name() + ".SAV", "x");
    Restructure(name(), kLen, kLen, 0, NoRecordHook, DefaultConverter, false);
    EXPECT_EQ(EngineError, err::SaveAndDataExist);
    fs::remove(name() + ".SAV");

    // The data file renamed away by an earlier, interrupted run: go on from the save file.
    fs::rename(name() + ".DAT", name() + ".SAV");
    ASSERT_TRUE(rebuild()) << EngineError;
    EXPECT_FALSE(fs::exists(name() + ".SAV"));
    EXPECT_EQ(liveTexts(), (std::vector<std::string>{"AAAAAAAA0001"}));

    fs::remove(name() + ".DAT");
    Restructure(name(), kLen, kLen, 0, NoRecordHook, DefaultConverter, false);
    EXPECT_EQ(EngineError, err::NoDataNoSave);
    EXPECT_EQ(ErrorClass(), 1);
    Restructure(name(), 70000, kLen, 0, NoRecordHook, DefaultConverter, false);
    EXPECT_EQ(EngineError, err::RecordTooLong);
}

TEST_F(RebuildTest, AReindexThatCannotStartLeavesTheFileblockAskingForARebuild) {
    makeFile({"AAAAAAAA0001", "BBBBBBBB0002"});
    KeyDescriptor bad[] = {{8, false}, {31, true}};
    EXPECT_FALSE(RebuildFileblock(name(), 0, 2, bad, rawKeys, nullptr, nullptr));
    EXPECT_EQ(EngineError, err::BadKeyLength);
    // The copy is done, the index is not: the next open asks for the rebuild again.
    EXPECT_EQ(OpenFileblock(name(), false), nullptr);
    EXPECT_EQ(EngineError, err::IndexDefective);
    ASSERT_TRUE(rebuild());
    EXPECT_EQ(liveTexts().size(), 2u);
}

TEST_F(RebuildTest, AHeldDataFileIsNotRestructured) {
    makeFile({"AAAAAAAA0001"});
    Fileblock* fb = OpenFileblock(name(), false);
    ASSERT_TRUE(EngineOk);
    Restructure(name(), kLen, kLen, 0, NoRecordHook, DefaultConverter, false);
    EXPECT_EQ(EngineError, err::RenameFailed);
    EXPECT_EQ(ErrorClass(), 2);
    EXPECT_FALSE(fs::exists(name() + ".SAV"));
    CloseFileblock(fb);
    EXPECT_TRUE(EngineOk);
}

TEST_F(RebuildTest, ReindexRefusesAnInconsistentDataFile) {
    makeFile({"AAAAAAAA0001", "BBBBBBBB0002"}, {1});
    const std::string dat = ReadFileBytes(name() + ".DAT");
    auto expectRefused = [&](const std::string& bytes) {
        WriteFileBytes(name() + ".DAT", bytes);
        Reindex(name(), 2, kKeys, 0, NoRecordHook, rawKeys, true, false, nullptr);
        EXPECT_EQ(EngineError, err::DataInconsistent);
    };
    expectRefused(dat + "x");                   // not a whole number of records
    expectRefused(dat + std::string(kLen, 0));  // one slot more than the header says
    std::string badHead = dat;
    wr32(reinterpret_cast<uint8_t*>(badHead.data()), 2);  // head at a live record
    expectRefused(badHead);
    std::string zeroLength = dat;
    wr32(reinterpret_cast<uint8_t*>(zeroLength.data()) + 12, 0);
    expectRefused(zeroLength);
}

TEST_F(RebuildTest, ReindexWithoutKeysOnlyRewritesTheHeader) {
    makeFile({"AAAAAAAA0001"});
    Reindex(name(), 0, nullptr, 0, NoRecordHook, rawKeys, true, false, nullptr);
    ASSERT_TRUE(EngineOk);
    EXPECT_FALSE(fs::exists(name() + ".IX"));
    std::string dat = ReadFileBytes(name() + ".DAT");
    EXPECT_EQ(rd32(reinterpret_cast<const uint8_t*>(dat.data()) + 16), 0);
    EXPECT_EQ(dat[20], 0);
    Fileblock* fb = OpenFileblock(name(), false);
    EXPECT_TRUE(EngineOk);
    EXPECT_EQ(UsedRecordCount(fb), 1);
    CloseFileblock(fb);
}

TEST_F(RebuildTest, FailingLogWriteStopsWithTheIoErrorNumber) {
    std::vector<std::string> texts;
    for (int i = 0; i < 30; ++i)
        texts.push_back("SAMEKEY" + std::to_string(i % 10) + "0000");
    makeFile(texts);
    // Files may not grow past 2000 bytes: the new index file (1872 bytes) and the records
    // fit, the log of twenty rejected records does not.
    struct sigaction ignore {
    }, old{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 2000;
    setrlimit(RLIMIT_FSIZE, &small);
    Reindex(name(), 2, kKeys, 0, NoRecordHook, rawKeys, true, false, nullptr);
    int32_t error = EngineError;
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &old, nullptr);
    EXPECT_EQ(error, 9500 + EFBIG);
}

TEST_F(RebuildTest, LargeRebuildBuildsSoundTreesFromSortedEntries) {
    KeyDescriptor keys[] = {{8, false}, {4, true}};
    Fileblock* fb = createOpen(kLen, {});
    for (int i = 0; i < 20000; ++i) {
        char b[16];
        std::snprintf(b, sizeof b, "%08d%04d", (i * 7919) % 20000, i % 13);
        std::string r = record(kLen, b);
        AddRecord(fb, r.data());
    }
    for (int n = 5; n <= 20000; n += 5)
        DeleteRecord(fb, n);
    CloseFileblock(fb);
    ASSERT_TRUE(RebuildFileblock(name(), 0, 2, keys, rawKeys, nullptr, nullptr));
    expectSound();
    fb = OpenFileblock(name(), false);
    EXPECT_EQ(KeyCount(fb, 1), 16000);
    EXPECT_EQ(KeyCount(fb, 2), 16000);
    // The trees take further changes like any other.
    for (int n = 1; n <= 16000; n += 3) {
        std::string r(kLen, '\0'), k1, k2;
        GetRecord(fb, n, r.data());
        rawKeys(reinterpret_cast<uint8_t*>(r.data()), kLen, 1, k1);
        rawKeys(reinterpret_cast<uint8_t*>(r.data()), kLen, 2, k2);
        DeleteKey(fb, 1, n, k1);
        DeleteKey(fb, 2, n, k2);
        ASSERT_TRUE(EngineOk);
    }
    CloseFileblock(fb);
    auto problems = CheckFileblock(name());
    EXPECT_TRUE(problems.empty()) << problems.front();
}

// ------------------------------------------------------------ entries and passes

// Keys made of arbitrary bytes, zero bytes and prefixes included, in both entry sizes.
TEST(KeyEntriesTest, SortsAsTheIndexComparesAndDropsRepeatsOfAUniqueKey) {
    // Entries come in record order from a reindex; out of order they must sort as well.
    for (auto [keyLength, descending] : {std::pair{11, false}, {11, true}, {30, false}}) {
        SCOPED_TRACE(keyLength);
        SCOPED_TRACE(descending);
        std::vector<std::pair<std::string, int32_t>> added;
        KeyEntries entries(keyLength, 1);  // grows well past what it was told
        uint32_t seed = 7;
        for (int32_t i = 1; i <= 5000; ++i) {
            const int32_t rec = descending ? 5001 - i : i;
            seed = seed * 1103515245u + 12345u;
            std::string key(size_t(seed >> 8) % size_t(keyLength + 1), '\0');
            for (size_t i = 0; i < key.size(); ++i)
                key[i] = "\0\1AB\xff"[(seed >> (i % 24)) % 5];
            added.emplace_back(key, rec);
            entries.add(rec, reinterpret_cast<const uint8_t*>(key.data()), int(key.size()));
        }
        std::sort(added.begin(), added.end(), [](const auto& a, const auto& b) {
            int c = CompareKeys(a.first, b.first);
            return c != 0 ? c < 0 : a.second < b.second;
        });
        entries.sort();
        ASSERT_EQ(entries.size(), int64_t(added.size()));
        uint8_t key[30];
        for (size_t i = 0; i < added.size(); ++i) {
            ASSERT_EQ(entries.record(int64_t(i)), added[i].second) << i;
            int len = entries.key(int64_t(i), key);
            ASSERT_EQ(std::string(reinterpret_cast<char*>(key), size_t(len)), added[i].first);
        }

        std::vector<int32_t> expectRejected;
        for (size_t i = 1; i < added.size(); ++i)
            if (added[i].first == added[i - 1].first) expectRejected.push_back(added[i].second);
        std::sort(expectRejected.begin(), expectRejected.end());
        EXPECT_EQ(entries.dropRepeatedKeys(), expectRejected);
        EXPECT_EQ(entries.size(), int64_t(added.size() - expectRejected.size()));
        for (int64_t i = 1; i < entries.size(); ++i) {
            uint8_t a[30], b[30];
            int la = entries.key(i - 1, a), lb = entries.key(i, b);
            ASSERT_LT(CompareKeys(std::string_view(reinterpret_cast<char*>(a), size_t(la)),
                                  std::string_view(reinterpret_cast<char*>(b), size_t(lb))),
                      0);
        }
        int64_t before = entries.size();
        entries.removeRecords({entries.record(0), entries.record(before - 1)});
        EXPECT_EQ(entries.size(), before - 2);
    }
}

// Three keys: a unique 8-byte code with repeats, a 4-byte group, and a unique name of up
// to 20 bytes (trailing zero bytes trimmed) whose repeats remove the other keys' entries.
bool threeKeys(const uint8_t* rec, int32_t len, int keyNo, std::string& key) {
    if (len < 44) return false;
    const char* r = reinterpret_cast<const char*>(rec);
    if (keyNo == 1) key.assign(r + 4, 8);
    if (keyNo == 2) key.assign(r + 12, 4);
    if (keyNo == 3) {
        key.assign(r + 16, 20);
        while (!key.empty() && key.back() == '\0')
            key.pop_back();
    }
    return true;
}

class PassesTest : public RebuildTest {
  protected:
    static constexpr int kRecLen = 44;
    const KeyDescriptor keys[3] = {{8, false}, {4, true}, {20, false}};

    void makeThreeKeyFile() {
        Fileblock* fb = createOpen(kRecLen, {});
        uint32_t seed = 11;
        for (int i = 0; i < 3000; ++i) {
            seed = seed * 1103515245u + 12345u;
            char b[41];
            std::snprintf(b, sizeof b, "C%07u%04uNAME%u", (seed >> 9) % 2500, (seed >> 3) % 40,
                          (seed >> 13) % 2600);
            std::string r = record(kRecLen, b);
            AddRecord(fb, r.data());
        }
        for (int n = 7; n <= 3000; n += 7)
            DeleteRecord(fb, n);
        CloseFileblock(fb);
    }

    // Every key's entries in index order, and the log.
    std::vector<std::vector<std::pair<std::string, int32_t>>> entries() {
        std::vector<std::vector<std::pair<std::string, int32_t>>> out(3);
        std::string error;
        for (int k = 1; k <= 3; ++k)
            ForEachKeyEntry(
                name(), k,
                [&](const std::string& key, int32_t rec) {
                    out[size_t(k - 1)].emplace_back(key, rec);
                },
                error);
        return out;
    }
};

TEST_F(PassesTest, OnePassAndOnePassPerKeyBuildTheSameIndexes) {
    makeThreeKeyFile();
    const std::string original = ReadFileBytes(name() + ".DAT");

    // What the rebuild must keep: live records numbered from 1 in order, the first record
    // of each key 1 value, then the first remaining record of each key 3 value.
    std::vector<std::string> live;
    for (size_t at = size_t(kRecLen); at < original.size(); at += size_t(kRecLen))
        if (original.compare(at, 4, std::string(4, '\0')) == 0)
            live.push_back(original.substr(at, size_t(kRecLen)));
    std::vector<bool> gone(live.size() + 1, false);
    std::vector<int32_t> rejected1, rejected3;
    for (int k : {1, 3}) {
        std::set<std::string> seen;
        for (int32_t n = 1; n <= int32_t(live.size()); ++n) {
            if (gone[size_t(n)]) continue;
            std::string key;
            threeKeys(reinterpret_cast<const uint8_t*>(live[size_t(n - 1)].data()), kRecLen, k,
                      key);
            if (!seen.insert(key).second) (k == 1 ? rejected1 : rejected3).push_back(n);
        }
        for (int32_t n : k == 1 ? rejected1 : rejected3)
            gone[size_t(n)] = true;
    }
    ASSERT_FALSE(rejected1.empty());
    ASSERT_FALSE(rejected3.empty());
    std::vector<std::vector<std::pair<std::string, int32_t>>> want(3);
    for (int k = 1; k <= 3; ++k) {
        for (int32_t n = 1; n <= int32_t(live.size()); ++n) {
            if (gone[size_t(n)]) continue;
            std::string key;
            threeKeys(reinterpret_cast<const uint8_t*>(live[size_t(n - 1)].data()), kRecLen, k,
                      key);
            want[size_t(k - 1)].emplace_back(key, n);
        }
        std::sort(want[size_t(k - 1)].begin(), want[size_t(k - 1)].end(),
                  [](const auto& a, const auto& b) {
                      int c = CompareKeys(a.first, b.first);
                      return c != 0 ? c < 0 : a.second < b.second;
                  });
    }

    std::string log;
    for (int64_t sortBytes : {int64_t(0), int64_t(1)}) {
        SCOPED_TRACE(sortBytes);
        WriteFileBytes(name() + ".DAT", original);
        std::filesystem::remove(name() + ".MSG");
        SetReindexSortBytes(sortBytes);
        bool written = false;
        const bool ok = RebuildFileblock(name(), 0, 3, keys, threeKeys, nullptr, &written);
        SetReindexSortBytes(0);
        ASSERT_TRUE(ok) << EngineError;
        EXPECT_TRUE(written);
        expectSound();
        EXPECT_EQ(entries(), want);
        const std::string msg = ReadFileBytes(name() + ".MSG");
        if (log.empty()) {
            log = msg;
            // Key 1's rejections first, each with its dump, then key 3's.
            const std::string first = "Key:<" + live[size_t(rejected1[0] - 1)].substr(4, 8) +
                                      "> KeyNr: 1 Ref: " + std::to_string(rejected1[0]) +
                                      " not added\r\nData record deleted - Dump follows\r\n";
            EXPECT_EQ(msg.substr(0, first.size()), first);
            EXPECT_NE(
                msg.find("> KeyNr: 3 Ref: " + std::to_string(rejected3.back()) + " not added\r\n"),
                std::string::npos);
        } else {
            EXPECT_EQ(msg, log);
        }
    }
}

TEST_F(PassesTest, AKeyBuilderFailingDuringTheCopyIsReportedByTheReindex) {
    makeThreeKeyFile();
    // Key 3 of the records of group 0013 cannot be built.
    auto failing = [](const uint8_t* rec, int32_t len, int keyNo, std::string& key) {
        return !(keyNo == 3 && std::memcmp(rec + 12, "0013", 4) == 0) &&
               threeKeys(rec, len, keyNo, key);
    };
    EXPECT_FALSE(RebuildFileblock(name(), 0, 3, keys, failing, nullptr, nullptr));
    EXPECT_EQ(EngineError, err::KeyBuilderFailed);
    // The copy is complete; the index is not, and the fileblock says so.
    FileblockInfo fi;
    std::string error;
    ASSERT_TRUE(ReadFileblockInfo(name(), fi, error));
    EXPECT_EQ(fi.high, 3000 - 3000 / 7);
    EXPECT_TRUE(fi.updateInProgress);
    EXPECT_EQ(OpenFileblock(name(), false), nullptr);
    EXPECT_EQ(EngineError, err::IndexDefective);
    // A key too long for its index stops the rebuild the same way.
    auto tooLong = [](const uint8_t*, int32_t, int keyNo, std::string& key) {
        key.assign(keyNo == 2 ? 5 : 1, 'x');
        return true;
    };
    EXPECT_FALSE(RebuildFileblock(name(), 0, 3, keys, tooLong, nullptr, nullptr));
    EXPECT_EQ(EngineError, err::KeyTooLong);
}

// ------------------------------------------------------------------ variable-length

class VarRecordTest : public RebuildTest {
  protected:
    static constexpr int L = 32;  // 26 data bytes in a first section, 25 in the others

    Fileblock* fb = nullptr;
    void SetUp() override {
        RebuildTest::SetUp();
        fb = createOpen(L, {});
    }
    int32_t append(const std::string& data) {
        BufferedWriter w;
        w.open(fb);
        int32_t n = AppendVariableRecord(w, reinterpret_cast<const uint8_t*>(data.data()),
                                         int32_t(data.size()));
        w.flush();
        return n;
    }
    static std::string logical(const std::string& text) { return std::string(4, '\0') + text; }
    std::string read(int32_t n, int32_t capacity = 70000) {
        std::string out(size_t(capacity), '\0');
        int32_t len = capacity;
        ReadVariableRecord(fb, n, reinterpret_cast<uint8_t*>(out.data()), len);
        out.resize(size_t(len));
        return out;
    }
};

TEST_F(VarRecordTest, SectionsSplitAtTheDataAreaSize) {
    std::string exact = logical(std::string(L - 6 - 4, 'a'));    // L - 6 bytes
    std::string oneMore = logical(std::string(L - 5 - 4, 'b'));  // L - 5 bytes
    EXPECT_EQ(append(exact), 1);
    EXPECT_EQ(append(oneMore), 2);
    std::string s(L, '\0');
    GetRecord(fb, 1, s.data());
    EXPECT_EQ(rd16(reinterpret_cast<uint8_t*>(s.data()) + L - 6), L - 6);
    EXPECT_EQ(rd32(reinterpret_cast<uint8_t*>(s.data()) + L - 4), 0);
    GetRecord(fb, 3, s.data());  // the continuation of record 2
    EXPECT_EQ(s[0], 1);
    EXPECT_EQ(rd16(reinterpret_cast<uint8_t*>(s.data()) + L - 6), 1);
    EXPECT_EQ(s[1], 'b');
    EXPECT_EQ(read(1), exact);
    EXPECT_EQ(read(2), oneMore);
    // A continuation section never shows up in a scan.
    EXPECT_EQ(NextUsedRecord(fb, 2), 0);
    EXPECT_EQ(EngineError, err::NoMoreRecords);
}

TEST_F(VarRecordTest, ReadingIntoAShortBufferDeliversItsCapacity) {
    std::string big = logical(std::string(100, 'x'));
    int32_t n = append(big);
    EXPECT_EQ(read(n, 30), big.substr(0, 30));
    EXPECT_EQ(read(n, 60), big.substr(0, 60));
    EXPECT_EQ(read(n), big);
}

TEST_F(VarRecordTest, DeletingARecordFreesAllItsSections) {
    append(logical(std::string(80, 'x')));  // four sections
    int32_t second = append(logical("short"));
    DeleteVariableRecord(fb, 1);
    ASSERT_TRUE(EngineOk) << EngineError;
    EXPECT_EQ(UsedRecordCount(fb), 1);
    EXPECT_EQ(read(second), logical("short"));
    DeleteVariableRecord(fb, second);
    EXPECT_EQ(UsedRecordCount(fb), 0);
    CloseFileblock(fb);
    expectSound();
}

TEST_F(VarRecordTest, RestructureAndReindexWorkOnLogicalRecords) {
    // Five records, the third deleted; keys from the logical record's bytes 4..11.
    std::vector<std::string> texts;
    for (int i = 0; i < 5; ++i)
        texts.push_back(
            logical("KEY0000" + std::to_string(5 - i) + std::string(size_t(i * 20), 'z')));
    std::vector<int32_t> first;
    for (auto& t : texts)
        first.push_back(append(t));
    DeleteVariableRecord(fb, first[2]);
    CloseFileblock(fb);

    std::vector<int32_t> lengths;
    RecordConverter keep = [&](const uint8_t* o, uint8_t* n, int32_t& len) {
        if (rd32(o) != 0) return false;
        lengths.push_back(len);
        std::memcpy(n, o, size_t(len));
        return true;
    };
    Restructure(name(), L, L, 0, NoRecordHook, keep, true);
    ASSERT_TRUE(EngineOk) << EngineError;
    EXPECT_EQ(lengths, (std::vector<int32_t>{12, 32, 72, 92}));
    KeyDescriptor k[] = {{8, false}};
    KeyBuilder builder = [](const uint8_t* r, int32_t len, int, std::string& key) {
        if (len < 12) return false;
        key.assign(reinterpret_cast<const char*>(r) + 4, 8);
        return true;
    };
    Reindex(name(), 1, k, 0, NoRecordHook, builder, true, true, nullptr);
    ASSERT_TRUE(EngineOk) << EngineError;
    fb = OpenFileblock(name(), false);
    ASSERT_TRUE(EngineOk);
    std::string key = "KEY00001";
    int32_t n = FindKeyAtOrAfter(fb, 1, key);
    EXPECT_EQ(read(n), texts[4]);
    EXPECT_EQ(KeyCount(fb, 1), 4);
    CloseFileblock(fb);
}

TEST_F(VarRecordTest, BrokenChainIsReported) {
    int32_t n = append(logical(std::string(60, 'q')));
    // Point the first section at a slot beyond the file.
    std::string s(L, '\0');
    GetRecord(fb, n, s.data());
    wr32(reinterpret_cast<uint8_t*>(s.data()) + L - 4, 99);
    PutRecord(fb, n, s.data());
    std::vector<uint8_t> out;
    EXPECT_FALSE(AssembleVariableRecord(fb, reinterpret_cast<uint8_t*>(s.data()), out));
    EXPECT_EQ(EngineError, err::VarChainBroken);
    CloseFileblock(fb);
    Restructure(name(), L, L, 0, NoRecordHook, DefaultConverter, true);
    EXPECT_EQ(EngineError, err::VarChainBroken);
    EXPECT_TRUE(fs::exists(name() + ".DAT"));
    EXPECT_FALSE(fs::exists(name() + ".SAV"));
}

TEST_F(VarRecordTest, TheLongestRecordFitsItsChain) {
    // Continuation sections hold one byte less than a first section, so the chain of the
    // longest record is longer than (65525 - L) div (L - 6) + 2 sections.
    std::string big = logical(std::string(kLongestVariableRecord - 4, 'L'));
    int32_t n = append(big);
    ASSERT_NE(n, 0);
    EXPECT_EQ(read(n), big);
    EXPECT_GT(MaxSections(L), (65525 - L) / (L - 6) + 2);
    CloseFileblock(fb);
    Restructure(name(), L, L, 0, NoRecordHook, DefaultConverter, true);
    EXPECT_TRUE(EngineOk) << EngineError;
}

TEST_F(RebuildTest, LongSectionsKeepTheirFullByteCount) {
    // A section longer than 32767 bytes: its used-byte count is unsigned.
    const int32_t big = 40000;
    Fileblock* fb = createOpen(big, {}, "BIG");
    BufferedWriter w;
    w.open(fb);
    std::string rec = std::string(4, '\0') + std::string(size_t(big - 10), 'x');
    int32_t n =
        AppendVariableRecord(w, reinterpret_cast<const uint8_t*>(rec.data()), int32_t(rec.size()));
    ASSERT_TRUE(w.flush());
    std::string out(size_t(big), '\0');
    int32_t len = big;
    ReadVariableRecord(fb, n, reinterpret_cast<uint8_t*>(out.data()), len);
    EXPECT_TRUE(EngineOk);
    EXPECT_EQ(len, big - 6);
    CloseFileblock(fb);
}

}  // namespace
}  // namespace invarro::storage
