// The engine's API as callers see it, on both backends: record numbers and the deleted
// chain, key order and positioning, errors at the edges, transactions, rebuild, the
// structure check, variable-length records, the browser and a long random model run.

#include <cstring>
#include <map>
#include <random>
#include <set>

#include "BackendFixture.h"
#include "storage/Browser.h"
#include "storage/Rebuild.h"
#include "storage/Transaction.h"
#include "storage/VarRecords.h"
#include "storage/Verify.h"

namespace invarro::storage {
namespace {

constexpr int kLen = 32;

std::string get(Fileblock* fb, int32_t n) {
    std::string r(size_t(RecordLength(fb)), '\0');
    GetRecord(fb, n, r.data());
    return r;
}

int32_t le32(const std::string& r) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | uint8_t(r[size_t(i)]);
    return int32_t(v);
}

// Every entry of a key in index order, by NextKey from the start.
std::vector<std::pair<std::string, int32_t>> entries(Fileblock* fb, int keyNo) {
    std::vector<std::pair<std::string, int32_t>> out;
    std::string key;
    int32_t rec = FindKeyAtOrAfter(fb, keyNo, key);
    while (EngineOk) {
        out.emplace_back(key, rec);
        NextKey(fb, keyNo, key, rec);
    }
    return out;
}

class ApiTest : public BackendTest {};

TEST_P(ApiTest, NewFileblockIsEmpty) {
    Fileblock* fb = createOpen(kLen, {{10, false}});
    EXPECT_EQ(UsedRecordCount(fb), 0);
    EXPECT_EQ(RecordSlotCount(fb), 1);
    EXPECT_EQ(RecordLength(fb), kLen);
    EXPECT_EQ(KeyCountOf(fb), 1);
    EXPECT_EQ(NextUsedRecord(fb, 0), 0);
    EXPECT_EQ(EngineError, err::NoMoreRecords);
    EXPECT_EQ(PrevUsedRecord(fb, 5), 0);
    EXPECT_EQ(EngineError, err::NoMoreRecords);
    EXPECT_EQ(KeyCount(fb, 1), 0);
    std::string key;
    EXPECT_EQ(FindKeyAtOrAfter(fb, 1, key), 0);
    EXPECT_EQ(EngineError, err::KeyNotFound);
    // Record 0 is the header: chain head -1, nothing deleted, H 0, the length, the keys.
    std::string h = get(fb, 0);
    EXPECT_TRUE(EngineOk);
    EXPECT_EQ(le32(h), -1);
    EXPECT_EQ(le32(h.substr(8)), 0);
    EXPECT_EQ(le32(h.substr(12)), kLen);
    EXPECT_EQ(le32(h.substr(16)) & 0xFF, 1);
    CloseFileblock(fb);
    EXPECT_EQ(fb, nullptr);
}

TEST_P(ApiTest, DeletedSlotsAreReusedLastInFirstOut) {
    Fileblock* fb = createOpen(kLen, {});
    for (int i = 1; i <= 6; ++i)
        ASSERT_EQ(AddRecord(fb, record(kLen, "r" + std::to_string(i)).data()), i);
    DeleteRecord(fb, 3);
    DeleteRecord(fb, 5);
    ASSERT_TRUE(EngineOk);
    EXPECT_EQ(UsedRecordCount(fb), 4);
    EXPECT_EQ(RecordSlotCount(fb), 7);
    EXPECT_EQ(AddRecord(fb, record(kLen, "x").data()), 5);
    EXPECT_EQ(AddRecord(fb, record(kLen, "y").data()), 3);
    EXPECT_EQ(AddRecord(fb, record(kLen, "z").data()), 7);
    EXPECT_EQ(get(fb, 3), record(kLen, "y"));
    EXPECT_EQ(UsedRecordCount(fb), 7);
}

TEST_P(ApiTest, DeletedRecordKeepsItsBytesLinksTheChainAndIsNotDeletedTwice) {
    Fileblock* fb = createOpen(kLen, {});
    for (int i = 0; i < 3; ++i)
        AddRecord(fb, record(kLen, "record" + std::to_string(i)).data());
    DeleteRecord(fb, 2);
    DeleteRecord(fb, 1);
    ASSERT_TRUE(EngineOk);
    std::string one = get(fb, 1), two = get(fb, 2);
    EXPECT_EQ(le32(one), 2);   // the next deleted record
    EXPECT_EQ(le32(two), -1);  // the end of the chain
    EXPECT_EQ(one.substr(4), record(kLen, "record0").substr(4));
    DeleteRecord(fb, 1);
    EXPECT_EQ(EngineError, err::BadDeleteRecord);
    EXPECT_EQ(UsedRecordCount(fb), 1);
    // Record 0 holds the header as the close wrote it: chain head 1, two deleted.
    CloseFileblock(fb);
    fb = OpenFileblock(name(), false);
    EXPECT_EQ(le32(get(fb, 0)), 1);
    EXPECT_EQ(le32(get(fb, 0).substr(4)), 2);
}

TEST_P(ApiTest, RecordNumbersOutsideTheFileAreRefused) {
    Fileblock* fb = createOpen(kLen, {});
    AddRecord(fb, record(kLen, "a").data());
    std::string r = record(kLen, "b");
    PutRecord(fb, 0, r.data());
    EXPECT_EQ(EngineError, err::PutRecordZero);
    PutRecord(fb, 2, r.data());
    EXPECT_EQ(EngineError, err::PutRecordZero);
    DeleteRecord(fb, 0);
    EXPECT_EQ(EngineError, err::BadDeleteRecord);
    DeleteRecord(fb, 2);
    EXPECT_EQ(EngineError, err::BadDeleteRecord);
    get(fb, 2);
    EXPECT_EQ(EngineError, err::ShortRead);
    get(fb, -1);
    EXPECT_EQ(EngineError, err::ShortRead);
    PutRecord(fb, 1, r.data());
    EXPECT_TRUE(EngineOk);
    EXPECT_EQ(get(fb, 1), r);
    EXPECT_EQ(RecordSlotCount(fb), 2);
}

TEST_P(ApiTest, ScansSkipSlotsWhoseMarkIsNotZeroAndStartAtTheExtremes) {
    Fileblock* fb = createOpen(kLen, {});
    for (int i = 0; i < 5; ++i)
        AddRecord(fb, record(kLen, "r").data());
    std::string marked = record(kLen, "m");
    marked[0] = 1;
    PutRecord(fb, 2, marked.data());
    DeleteRecord(fb, 4);
    std::vector<int32_t> forward, backward;
    for (int32_t n = NextUsedRecord(fb, 0); EngineOk; n = NextUsedRecord(fb, n))
        forward.push_back(n);
    EXPECT_EQ(EngineError, err::NoMoreRecords);
    for (int32_t n = PrevUsedRecord(fb, INT32_MAX); EngineOk; n = PrevUsedRecord(fb, n))
        backward.push_back(n);
    EXPECT_EQ(forward, (std::vector<int32_t>{1, 3, 5}));
    EXPECT_EQ(backward, (std::vector<int32_t>{5, 3, 1}));
    EXPECT_EQ(NextUsedRecord(fb, -7), 1);
    EXPECT_EQ(NextUsedRecord(fb, 5), 0);
    EXPECT_EQ(PrevUsedRecord(fb, 1), 0);
}

TEST_P(ApiTest, RecordRunsReadConsecutiveSlotsUpToTheHighestRecord) {
    Fileblock* fb = createOpen(kLen, {});
    for (int i = 1; i <= 5; ++i)
        AddRecord(fb, record(kLen, std::to_string(i)).data());
    DeleteRecord(fb, 2);
    std::string out(size_t(kLen) * 10, '\0');
    EXPECT_EQ(GetRecordRun(fb, 2, 10, out.data()), 4);
    EXPECT_EQ(le32(out), -1);  // deleted slots come too
    EXPECT_EQ(out.substr(size_t(kLen), kLen), record(kLen, "3"));
    EXPECT_EQ(GetRecordRun(fb, 6, 1, out.data()), 0);
    EXPECT_EQ(EngineError, err::NoMoreRecords);
    EXPECT_EQ(GetRecordRun(fb, 0, 1, out.data()), 0);
    EXPECT_EQ(EngineError, err::ShortRead);
}

TEST_P(ApiTest, CreateOpenAndDeleteReportMissingAndBadDefinitions) {
    EXPECT_FALSE(FileblockExists(name("NONE")));
    OpenFileblock(name("NONE"), false);
    EXPECT_EQ(EngineError, err::FileNotFound);
    DeleteFileblock(name("NONE"));
    EXPECT_EQ(EngineError, err::FileNotFound);
    KeyDescriptor k31{31, false}, k10{10, false};
    CreateFileblock(name("BAD"), 20, 0, nullptr);
    EXPECT_EQ(EngineError, err::RecordTooShort);
    CreateFileblock(name("BAD"), kLen, 1, &k31);
    EXPECT_EQ(EngineError, err::BadKeyLength);
    std::vector<KeyDescriptor> many(101, k10);
    CreateFileblock(name("BAD"), kLen, 101, many.data());
    EXPECT_EQ(EngineError, err::TooManyKeysCreate);
    OpenFileblock(name("BAD"), false);
    EXPECT_EQ(EngineError, err::FileNotFound);  // nothing was left behind

    // Create replaces a fileblock of the same name; delete removes it.
    Fileblock* fb = createOpen(kLen, {{10, false}}, "X");
    EXPECT_TRUE(FileblockExists(name("X")));
    EXPECT_TRUE(FileblockExists(name("X.DAT")));  // the same name the files have
    EXPECT_FALSE(FileblockExists(name("X/Y")));
    AddRecord(fb, record(kLen, "a").data());
    AddKey(fb, 1, 1, "A");
    CloseFileblock(fb);
    fb = createOpen(40, {{5, true}, {6, false}}, "X");
    EXPECT_EQ(UsedRecordCount(fb), 0);
    EXPECT_EQ(RecordLength(fb), 40);
    EXPECT_EQ(KeyCountOf(fb), 2);
    EXPECT_EQ(KeyCount(fb, 1), 0);
    CloseFileblock(fb);
    DeleteFileblock(name("X"));
    EXPECT_TRUE(EngineOk);
    EXPECT_FALSE(FileblockExists(name("X")));
    OpenFileblock(name("X"), false);
    EXPECT_EQ(EngineError, err::FileNotFound);
}

TEST_P(ApiTest, HandlesKeyNumbersAndReadOnlyAreChecked) {
    Fileblock* fb = createOpen(kLen, {{10, false}});
    AddKey(fb, 2, 1, "A");
    EXPECT_EQ(EngineError, err::BadKeyNumber);
    KeyCount(fb, 0);
    EXPECT_EQ(EngineError, err::BadKeyNumber);
    AddRecord(fb, record(kLen, "a").data());
    CloseFileblock(fb);
    AddRecord(fb, record(kLen, "a").data());
    EXPECT_EQ(EngineError, err::InvalidHandle);
    Fileblock* ro = OpenFileblock(name(), true);
    ASSERT_TRUE(EngineOk);
    AddRecord(ro, record(kLen, "b").data());
    EXPECT_EQ(EngineError, err::ReadOnly);
    AddKey(ro, 1, 1, "A");
    EXPECT_EQ(EngineError, err::ReadOnly);
    EXPECT_EQ(UsedRecordCount(ro), 1);
    EXPECT_EQ(get(ro, 1), record(kLen, "a"));
}

TEST_P(ApiTest, KeysOrderAsUnsignedBytesShorterFirstAndDuplicatesByRecordNumber) {
    Fileblock* fb = createOpen(kLen, {{10, false}, {4, true}});
    const std::vector<std::string> keys = {"B",     std::string("\xE4"),    "AB", "A", "",
                                           "A\x01", std::string("\xFF\xFF")};
    int32_t n = 0;
    for (const auto& k : keys) {
        ++n;
        AddKey(fb, 1, n, k);
        ASSERT_TRUE(EngineOk) << k;
    }
    auto e1 = entries(fb, 1);
    std::vector<std::string> order;
    for (auto& e : e1)
        order.push_back(e.first);
    EXPECT_EQ(order, (std::vector<std::string>{"", "A", std::string("A\x01"), "AB", "B",
                                               std::string("\xE4"), std::string("\xFF\xFF")}));
    for (int32_t rec : {7, 3, 5, 1})
        AddKey(fb, 2, rec, "SAME");
    AddKey(fb, 2, 2, "SAMF");
    auto e2 = entries(fb, 2);
    ASSERT_EQ(e2.size(), 5u);
    EXPECT_EQ(e2[0].second, 1);
    EXPECT_EQ(e2[3].second, 7);
    EXPECT_EQ(e2[4], (std::pair<std::string, int32_t>{"SAMF", 2}));
    std::string key = "SAME";
    EXPECT_EQ(FindKeyAtOrAfter(fb, 2, key), 1);  // the lowest record number of the key
    EXPECT_EQ(KeyCount(fb, 1), 7);
    EXPECT_EQ(KeyCount(fb, 2), 5);
}

TEST_P(ApiTest, UniqueAndDuplicateIndexesRefuseAndDeleteAsDefined) {
    Fileblock* fb = createOpen(kLen, {{10, false}, {10, true}});
    AddKey(fb, 1, 1, "K");
    AddKey(fb, 1, 2, "K");
    EXPECT_EQ(EngineError, err::DuplicateEntry);
    AddKey(fb, 2, 1, "K");
    AddKey(fb, 2, 2, "K");
    EXPECT_TRUE(EngineOk);
    AddKey(fb, 2, 2, "K");
    EXPECT_EQ(EngineError, err::DuplicateEntry);
    DeleteKey(fb, 2, 3, "K");
    EXPECT_EQ(EngineError, err::NoSuchEntry);
    DeleteKey(fb, 2, 2, "K");
    EXPECT_TRUE(EngineOk);
    // Without duplicates the entry of the key goes whatever record number is passed.
    DeleteKey(fb, 1, 99, "K");
    EXPECT_TRUE(EngineOk);
    DeleteKey(fb, 1, 1, "K");
    EXPECT_EQ(EngineError, err::NoSuchEntry);
    EXPECT_EQ(KeyCount(fb, 1), 0);
    EXPECT_EQ(KeyCount(fb, 2), 1);
}

TEST_P(ApiTest, OverlongKeysAreCutToThirtyOrRefused) {
    Fileblock* fb = createOpen(kLen, {{5, false}, {30, false}});
    AddKey(fb, 1, 1, "SIXSIX");
    EXPECT_EQ(EngineError, err::KeyTooLong);
    const std::string longKey(35, 'Q');
    AddKey(fb, 2, 1, longKey);
    ASSERT_TRUE(EngineOk);
    std::string key = longKey;
    EXPECT_EQ(FindKeyAtOrAfter(fb, 2, key), 1);
    EXPECT_EQ(key, std::string(30, 'Q'));
    DeleteKey(fb, 2, 1, longKey);
    EXPECT_TRUE(EngineOk);
}

TEST_P(ApiTest, SteppingRunsOffEitherEndAndStartsOver) {
    Fileblock* fb = createOpen(kLen, {{4, false}});
    for (int i = 0; i < 3; ++i)
        AddKey(fb, 1, i + 1, std::string(1, char('A' + i)));
    std::string key;
    int32_t rec = 0;
    NextKey(fb, 1, key, rec);  // no position yet: the first entry
    EXPECT_EQ(key, "A");
    NextKey(fb, 1, key, rec);
    NextKey(fb, 1, key, rec);
    EXPECT_EQ(key, "C");
    NextKey(fb, 1, key, rec);
    EXPECT_EQ(EngineError, err::NoNextEntry);
    NextKey(fb, 1, key, rec);
    EXPECT_EQ(key, "A");
    EXPECT_EQ(rec, 1);
    PrevKey(fb, 1, key, rec);
    EXPECT_EQ(EngineError, err::NoPrevEntry);
    PrevKey(fb, 1, key, rec);  // no position: the last entry
    EXPECT_EQ(key, "C");
}

TEST_P(ApiTest, StepsAfterAChangeFindTheirPlaceAgain) {
    Fileblock* fb = createOpen(kLen, {{4, true}});
    for (int i = 0; i < 5; ++i)
        AddKey(fb, 1, i + 1, std::string(1, char('A' + i)));
    std::string key = "C";
    int32_t rec = 3;
    FindKeyAndRecord(fb, 1, key, rec, 0);
    ASSERT_TRUE(EngineOk);
    DeleteKey(fb, 1, 3, "C");
    AddKey(fb, 1, 9, "BB");
    NextKey(fb, 1, key, rec);  // from the deleted C: the entry after its place
    EXPECT_EQ(key, "D");
    key = "C";
    rec = 3;
    PrevKey(fb, 1, key, rec);
    EXPECT_EQ(key, "BB");
    EXPECT_EQ(rec, 9);
}

TEST_P(ApiTest, FindKeyAndRecordHonoursTheDirection) {
    Fileblock* fb = createOpen(kLen, {{4, true}, {4, false}});
    for (int32_t r : {2, 4})
        AddKey(fb, 1, r, "M");
    AddKey(fb, 2, 5, "M");
    // The record number found, or minus the error.
    auto find = [&](int keyNo, std::string key, int32_t rec, int direction) {
        FindKeyAndRecord(fb, keyNo, key, rec, direction);
        return EngineOk ? rec : -EngineError;
    };
    EXPECT_EQ(find(1, "M", 4, 0), 4);
    EXPECT_EQ(find(1, "M", 3, 0), -err::ExactNotFound);
    EXPECT_EQ(find(1, "M", 3, 1), 4);
    EXPECT_EQ(find(1, "M", 3, -1), 2);
    EXPECT_EQ(find(1, "M", 1, -1), -err::NoPrevEntry);
    EXPECT_EQ(find(1, "Z", 0, 1), -err::NoNextEntry);
    // Without duplicates the exact entry is the key's, whatever record number is passed.
    EXPECT_EQ(find(2, "M", 77, 0), 5);
    std::string key = "N";
    EXPECT_EQ(FindKeyAtOrAfter(fb, 2, key), 0);
    EXPECT_EQ(EngineError, err::KeyNotFound);
}

TEST_P(ApiTest, ApproximatePositionsFollowTheIndexOrder) {
    Fileblock* fb = createOpen(kLen, {{6, false}});
    std::string key;
    int32_t rec = 0;
    ApproxKeyPosition(fb, 1, "A", 1, 63);
    EXPECT_EQ(EngineError, err::ApproxPosEmpty);
    ApproxKeyAtPosition(fb, 1, 1, 63, key, rec);
    EXPECT_EQ(EngineError, err::ApproxEmpty);
    const int n = 400;
    for (int i = 0; i < n; ++i) {
        char b[8];
        std::snprintf(b, sizeof b, "K%04d", i);
        AddKey(fb, 1, i + 1, b);
    }
    ApproxKeyPosition(fb, 1, "K0001", 2, 0);
    EXPECT_EQ(EngineError, err::ApproxBadScale);
    ApproxKeyAtPosition(fb, 1, 64, 63, key, rec);
    EXPECT_EQ(EngineError, err::ApproxBadPosition);
    uint32_t last = 0;
    for (int i = 0; i < n; i += 20) {
        char b[8];
        std::snprintf(b, sizeof b, "K%04d", i);
        uint32_t p = ApproxKeyPosition(fb, 1, b, i + 1, 1000);
        ASSERT_TRUE(EngineOk);
        EXPECT_GE(p, last);
        EXPECT_NEAR(double(p), 1000.0 * i / n, 100.0) << b;
        last = p;
    }
    // An entry near the middle of the scale is near the middle of the index.
    ApproxKeyAtPosition(fb, 1, 500, 1000, key, rec);
    ASSERT_TRUE(EngineOk);
    EXPECT_NEAR(rec, n / 2, n / 8);
    EXPECT_EQ(ApproxRecordPosition(fb, 0, 100), 0u);
    EXPECT_EQ(ApproxRecordAtPosition(fb, 0, 100), 0);
}

TEST_P(ApiTest, RecordsAndKeysSurviveCloseAndReopen) {
    Fileblock* fb = createOpen(kLen, {{8, false}, {8, true}});
    for (int i = 1; i <= 100; ++i) {
        int32_t n = AddRecord(fb, record(kLen, "rec" + std::to_string(i)).data());
        AddKey(fb, 1, n, "U" + std::to_string(i));
        AddKey(fb, 2, n, std::to_string(i % 7));
    }
    for (int i = 10; i <= 100; i += 10) {
        DeleteKey(fb, 1, i, "U" + std::to_string(i));
        DeleteKey(fb, 2, i, std::to_string(i % 7));
        DeleteRecord(fb, i);
    }
    ASSERT_TRUE(EngineOk);
    auto before1 = entries(fb, 1), before2 = entries(fb, 2);
    CloseFileblock(fb);
    fb = OpenFileblock(name(), false);
    ASSERT_TRUE(EngineOk);
    EXPECT_EQ(UsedRecordCount(fb), 90);
    EXPECT_EQ(KeyCount(fb, 1), 90);
    EXPECT_EQ(entries(fb, 1), before1);
    EXPECT_EQ(entries(fb, 2), before2);
    EXPECT_EQ(get(fb, 55), record(kLen, "rec55"));
    CloseFileblock(fb);
    EXPECT_TRUE(CheckFileblock(name()).empty());
}

TEST_P(ApiTest, RollbackLeavesRecordsKeysAndTheChainAsBefore) {
    Fileblock* fb = createOpen(kLen, {{8, false}});
    for (int i = 1; i <= 4; ++i) {
        AddRecord(fb, record(kLen, std::to_string(i)).data());
        AddKey(fb, 1, i, "K" + std::to_string(i));
    }
    DeleteKey(fb, 1, 2, "K2");
    DeleteRecord(fb, 2);
    auto keysBefore = entries(fb, 1);
    std::vector<std::string> recs;
    for (int i = 0; i <= 4; ++i)
        recs.push_back(get(fb, i));

    ASSERT_TRUE(BeginTransaction());
    EXPECT_EQ(AddRecord(fb, record(kLen, "new").data()), 2);
    AddKey(fb, 1, 2, "NEW");
    EXPECT_EQ(AddRecord(fb, record(kLen, "grown").data()), 5);
    PutRecord(fb, 1, record(kLen, "changed").data());
    DeleteKey(fb, 1, 3, "K3");
    DeleteRecord(fb, 3);
    ASSERT_TRUE(EngineOk) << EngineError;
    EXPECT_EQ(KeyCount(fb, 1), 3);  // reads see the transaction's changes
    EXPECT_EQ(get(fb, 1), record(kLen, "changed"));
    RollbackTransaction();

    EXPECT_EQ(entries(fb, 1), keysBefore);
    for (int i = 0; i <= 4; ++i)
        EXPECT_EQ(get(fb, i), recs[size_t(i)]) << i;
    EXPECT_EQ(RecordSlotCount(fb), 5);
    EXPECT_EQ(AddRecord(fb, record(kLen, "again").data()), 2);

    ASSERT_TRUE(BeginTransaction());
    AddKey(fb, 1, 2, "AGAIN");
    PutRecord(fb, 4, record(kLen, "four").data());
    ASSERT_TRUE(CommitTransaction());
    CloseFileblock(fb);
    fb = OpenFileblock(name(), false);
    EXPECT_EQ(get(fb, 4), record(kLen, "four"));
    std::string key = "AGAIN";
    EXPECT_EQ(FindKeyAtOrAfter(fb, 1, key), 2);
    EXPECT_EQ(KeyCount(fb, 1), 4);
}

TEST_P(ApiTest, MarkedForRebuildRefusesTheOpenUntilRebuilt) {
    Fileblock* fb = createOpen(kLen, {{8, false}, {1, true}});
    for (const char* text : {"PEAR", "APPLE", "PLUM", "APPLE", "FIG"}) {
        int32_t n = AddRecord(fb, record(kLen, text).data());
        (void)n;
    }
    DeleteRecord(fb, 5);
    MarkForRebuild(fb);
    ASSERT_TRUE(EngineOk);
    CloseFileblock(fb);
    OpenFileblock(name(), false);
    EXPECT_EQ(EngineError, err::IndexDefective);

    const KeyDescriptor keys[] = {{8, false}, {1, true}};
    auto builder = [](const uint8_t* rec, int32_t, int keyNo, std::string& key) {
        std::string text(reinterpret_cast<const char*>(rec) + 4);
        key = keyNo == 1 ? text : text.substr(0, 1);
        return true;
    };
    std::vector<RebuildCounters> shown;
    ASSERT_TRUE(RebuildFileblock(name(), kLen, 2, keys, builder, [&](const RebuildCounters& c) {
        shown.push_back(c);
        return true;
    })) << EngineError;
    ASSERT_FALSE(shown.empty());
    fb = OpenFileblock(name(), false);
    ASSERT_TRUE(EngineOk) << EngineError;
    // The second APPLE was refused by the unique key and deleted with its other keys.
    EXPECT_EQ(UsedRecordCount(fb), 3);
    EXPECT_EQ(KeyCount(fb, 1), 3);
    EXPECT_EQ(KeyCount(fb, 2), 3);
    std::vector<std::string> texts;
    for (auto& [k, rec] : entries(fb, 1)) {
        texts.push_back(k);
        EXPECT_EQ(get(fb, rec), record(kLen, k));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"APPLE", "PEAR", "PLUM"}));
    CloseFileblock(fb);
    EXPECT_TRUE(CheckFileblock(name()).empty());

    // A progress sink that says stop cancels the rebuild.
    RebuildFileblock(name(), kLen, 2, keys, builder, [](const RebuildCounters&) { return false; });
    EXPECT_EQ(EngineError, err::Cancelled);
}

TEST_P(ApiTest, VariableLengthRecordsAreReadAndDeletedWholeWhereverTheyAre) {
    constexpr int L = 24;  // 18 bytes in the first section, 17 in each further one
    Fileblock* fb = createOpen(L, {});
    AddRecord(fb, record(L, "single").data());
    std::string payload;
    for (int i = 0; i < 40; ++i)
        payload += char('a' + i % 26);
    payload.replace(0, 4, std::string(4, '\0'));  // the live mark
    // Sections written by hand as the restructure's writer lays them out.
    const int32_t first = RecordSlotCount(fb);
    int32_t done = 0;
    for (int s = 0; done < int32_t(payload.size()); ++s) {
        std::string sec(L, '\0');
        const int32_t room = s == 0 ? L - 6 : L - 7;
        const int32_t take = std::min<int32_t>(room, int32_t(payload.size()) - done);
        if (s > 0) sec[0] = 1;
        std::memcpy(sec.data() + (s == 0 ? 0 : 1), payload.data() + done, size_t(take));
        done += take;
        sec[size_t(L - 6)] = char(take);
        const int32_t next = done < int32_t(payload.size()) ? first + s + 1 : 0;
        std::memcpy(sec.data() + L - 4, &next, 4);
        ASSERT_EQ(AddRecord(fb, sec.data()), first + s);
    }
    std::vector<uint8_t> buf(100);
    int32_t length = 100;
    ReadVariableRecord(fb, first, buf.data(), length);
    ASSERT_TRUE(EngineOk) << EngineError;
    EXPECT_EQ(std::string(buf.begin(), buf.begin() + length), payload);
    length = 20;  // a shorter buffer delivers exactly its capacity
    ReadVariableRecord(fb, first, buf.data(), length);
    EXPECT_EQ(length, 20);
    // Continuation sections never look live to a scan.
    std::vector<int32_t> live;
    for (int32_t n = NextUsedRecord(fb, 0); EngineOk; n = NextUsedRecord(fb, n))
        live.push_back(n);
    EXPECT_EQ(live, (std::vector<int32_t>{1, first}));
    DeleteVariableRecord(fb, first);
    ASSERT_TRUE(EngineOk) << EngineError;
    EXPECT_EQ(UsedRecordCount(fb), 1);
    DeleteVariableRecord(fb, first);  // gone already
    EXPECT_EQ(EngineError, err::BadDeleteRecord);
}

TEST_P(ApiTest, TheBrowserPagesThroughTheIndex) {
    Fileblock* fb = createOpen(kLen, {{10, false}});
    for (int i = 1; i <= 45; ++i) {
        char b[8];
        std::snprintf(b, sizeof b, "K%03d", i);
        int32_t n = AddRecord(fb, record(kLen, b).data());
        AddKey(fb, 1, n, b);
    }
    std::string buffer(kLen, '\0');
    Browser browser(fb, 1, buffer.data(), kLen);
    browser.SetRowsInView(10);
    browser.OnBuildRow = [&](RowRecord& row) {
        row.text = buffer.c_str() + 4;
        return 0;
    };
    browser.JumpToKey("K020");
    EXPECT_EQ(browser.CurrentKeyString(), "K020");
    browser.PageDown();
    browser.LastPage();
    EXPECT_EQ(browser.CurrentKeyString(), "K045");
    EXPECT_EQ(browser.Row(browser.FilledRows()).text, "K045");
    browser.FirstPage();
    EXPECT_EQ(browser.Row(1).text, "K001");
    EXPECT_EQ(browser.ScrollPosition(), 0);
    browser.ScrollTo(63);
    EXPECT_EQ(browser.CurrentKeyString(), "K045");
    browser.ScrollTo(32);
    const std::string middle = browser.CurrentKeyString();
    EXPECT_GT(middle, "K010");
    EXPECT_LT(middle, "K036");
    // A deleted current entry: refresh shows the one that followed it.
    browser.JumpToKey("K030");
    DeleteKey(fb, 1, 30, "K030");
    browser.Refresh();
    EXPECT_EQ(browser.CurrentKeyString(), "K031");
}

// A short list's scroll bar stands at its selected row, the first row at the top and the
// last at the bottom, at the same places on both backends, with and without duplicates.
TEST_P(ApiTest, AShortListsScrollBarStandsAtTheSelectedRow) {
    for (bool dups : {false, true}) {
        SCOPED_TRACE(dups ? "duplicates" : "unique");
        Fileblock* fb = createOpen(kLen, {{4, dups}});
        for (int i = 1; i <= 9; ++i) {
            const std::string k = "K00" + std::to_string(i);
            AddKey(fb, 1, AddRecord(fb, record(kLen, k).data()), k);
        }
        // The j-th of n entries sits at j / (n + 1) of the scale; a key that is not on
        // file sits with the entry before it.
        EXPECT_EQ(ApproxKeyPosition(fb, 1, "K001", 1, 63), 6u);
        EXPECT_EQ(ApproxKeyPosition(fb, 1, "K009", 9, 63), 57u);
        EXPECT_EQ(ApproxKeyPosition(fb, 1, "K0045", 0, 63),
                  ApproxKeyPosition(fb, 1, "K004", 4, 63));
        EXPECT_EQ(ApproxKeyPosition(fb, 1, "A", 0, 63), 0u);
        std::string key;
        int32_t rec = 0;
        ApproxKeyAtPosition(fb, 1, 32, 63, key, rec);
        EXPECT_EQ(rec, 5);
        ApproxKeyAtPosition(fb, 1, 63, 63, key, rec);
        EXPECT_EQ(rec, 9);

        for (int i = 5; i <= 9; ++i)
            DeleteKey(fb, 1, i, "K00" + std::to_string(i));
        std::string buffer(kLen, '\0');
        Browser browser(fb, 1, buffer.data(), kLen);
        browser.SetRowsInView(10);
        browser.FirstPage();
        ASSERT_EQ(browser.FilledRows(), 4);
        std::vector<int> positions;
        for (int row = 1; row <= 4; ++row) {
            browser.SetCurrentRow(row);
            positions.push_back(browser.ScrollPosition());
        }
        EXPECT_EQ(positions, (std::vector<int>{0, 19, 44, kScrollRange}));
        CloseFileblock(fb);
        DeleteFileblock(name());
    }
}

// A long random run of record and key changes checked against a model in memory, with
// the structure check at the end.
TEST_P(ApiTest, RandomChangesMatchAModel) {
    Fileblock* fb = createOpen(kLen, {{3, false}, {6, true}});
    std::mt19937 rng(4242);
    auto rnd = [&](int n) { return int(rng() % uint32_t(n)); };
    std::map<int32_t, std::pair<std::string, std::string>> live;  // record -> keys
    std::set<std::string> unique;
    const char alphabet[] = "AB\x01\xE4\xFF";
    auto randomKey = [&](int len) {
        std::string k;
        for (int i = 0, n = 1 + rnd(len); i < n; ++i)
            k += alphabet[rnd(5)];
        return k;
    };
    const int steps = onServer() ? 400 : 2000;
    for (int step = 0; step < steps; ++step) {
        if (live.empty() || rnd(3) != 0) {
            std::string k1 = randomKey(3), k2 = randomKey(6);
            if (unique.count(k1)) continue;
            int32_t n = AddRecord(fb, record(kLen, k1 + "/" + k2).data());
            AddKey(fb, 1, n, k1);
            AddKey(fb, 2, n, k2);
            ASSERT_TRUE(EngineOk) << EngineError;
            live[n] = {k1, k2};
            unique.insert(k1);
        } else {
            auto it = live.begin();
            std::advance(it, rnd(int(live.size())));
            DeleteKey(fb, 1, it->first, it->second.first);
            DeleteKey(fb, 2, it->first, it->second.second);
            DeleteRecord(fb, it->first);
            ASSERT_TRUE(EngineOk) << EngineError;
            unique.erase(it->second.first);
            live.erase(it);
        }
    }
    EXPECT_EQ(UsedRecordCount(fb), int32_t(live.size()));
    std::vector<std::pair<std::string, int32_t>> want1, want2;
    for (auto& [n, k] : live) {
        want1.emplace_back(k.first, n);
        want2.emplace_back(k.second, n);
    }
    auto byKey = [](const auto& a, const auto& b) {
        int c = CompareKeys(a.first, b.first);
        return c != 0 ? c < 0 : a.second < b.second;
    };
    std::sort(want1.begin(), want1.end(), byKey);
    std::sort(want2.begin(), want2.end(), byKey);
    EXPECT_EQ(entries(fb, 1), want1);
    EXPECT_EQ(entries(fb, 2), want2);
    // Backwards from the end gives the same order reversed.
    std::vector<std::pair<std::string, int32_t>> back;
    std::string key;
    int32_t rec = 0;
    CloseFileblock(fb);
    fb = OpenFileblock(name(), false);
    for (PrevKey(fb, 2, key, rec); EngineOk; PrevKey(fb, 2, key, rec))
        back.emplace_back(key, rec);
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, want2);
    CloseFileblock(fb);
    EXPECT_TRUE(CheckFileblock(name()).empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, ApiTest, ::testing::Values(Where::Files, Where::Server),
                         WhereName);

}  // namespace
}  // namespace invarro::storage
