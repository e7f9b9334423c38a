// B-tree indexes: tree shape after inserts and deletes, entry order, positioning and the
// approximate positions.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

#include "EngineFixture.h"
#include "storage/Bytes.h"
#include "storage/EngineTesting.h"
#include "storage/Transaction.h"
#include "storage/Verify.h"

namespace invarro::storage {
namespace {

using invarro::testing::ReadFileBytes;

std::string num4(int i) {
    char b[8];
    std::snprintf(b, sizeof b, "%04d", i);
    return b;
}

// One page of a key read straight from the index file.
struct RawPage {
    int n = 0;
    int32_t left = 0;
    std::vector<std::string> keys;
    std::vector<int32_t> recs, children;
};

class KeyTest : public EngineTest {
  protected:
    FileblockInfo info() {
        FileblockInfo fi;
        std::string error;
        EXPECT_TRUE(ReadFileblockInfo(name(), fi, error)) << error;
        return fi;
    }
    RawPage page(int keyNo, int32_t p) {
        FileblockInfo fi = info();
        int64_t r = 0, s = 0;
        for (int i = 0; i < fi.numKeys; ++i) {
            if (i == keyNo - 1) s = r;
            r += fi.keys[size_t(i)].pageSize;
        }
        const KeyInfo& k = fi.keys[size_t(keyNo - 1)];
        std::string ix = ReadFileBytes(name() + ".IX");
        const uint8_t* b = reinterpret_cast<const uint8_t*>(ix.data()) + p * r + s;
        RawPage pg;
        pg.n = rd16(b);
        pg.left = rd32(b + 2);
        for (int j = 0; j < pg.n; ++j) {
            const uint8_t* it = b + 6 + j * (k.keyLength + 9);
            pg.recs.push_back(rd32(it));
            pg.children.push_back(rd32(it + 4));
            pg.keys.emplace_back(reinterpret_cast<const char*>(it + 9), it[8]);
        }
        return pg;
    }
    // Live records 1..n for the entries to point to.
    void fillRecords(Fileblock* fb, int n) {
        std::string r = record(30, "r");
        for (int i = 0; i < n; ++i)
            AddRecord(fb, r.data());
    }
    void expectSound() {
        auto problems = CheckFileblock(name());
        EXPECT_TRUE(problems.empty()) << (problems.empty() ? "" : problems.front());
    }
    // All entries of a key in order, by NextKey from no position.
    std::vector<std::pair<std::string, int32_t>> forward(Fileblock* fb, int keyNo) {
        std::vector<std::pair<std::string, int32_t>> out;
        std::string key;
        int32_t rec = 0;
        // Run off the end first so that the position is "none".
        for (;;) {
            NextKey(fb, keyNo, key, rec);
            if (!EngineOk) break;
        }
        for (;;) {
            NextKey(fb, keyNo, key, rec);
            if (!EngineOk) break;
            out.emplace_back(key, rec);
        }
        return out;
    }
};

TEST_F(KeyTest, EmptyIndexHasNoEntries) {
    Fileblock* fb = createOpen(30, {{10, false}});
    std::string key;
    int32_t rec = 0;
    NextKey(fb, 1, key, rec);
    EXPECT_EQ(EngineError, err::NoNextEntry);
    PrevKey(fb, 1, key, rec);
    EXPECT_EQ(EngineError, err::NoPrevEntry);
    EXPECT_EQ(FindKeyAtOrAfter(fb, 1, key), 0);
    EXPECT_EQ(EngineError, err::KeyNotFound);
    FindKeyAndRecord(fb, 1, key, rec, 1);
    EXPECT_EQ(EngineError, err::NoNextEntry);
    ApproxKeyAtPosition(fb, 1, 0, 63, key, rec);
    EXPECT_EQ(EngineError, err::ApproxEmpty);
    ApproxKeyPosition(fb, 1, "A", 0, 63);
    EXPECT_EQ(EngineError, err::ApproxPosEmpty);
    EXPECT_EQ(KeyCount(fb, 1), 0);
    DeleteKey(fb, 1, 1, "A");
    EXPECT_EQ(EngineError, err::NoSuchEntry);
    CloseFileblock(fb);
    expectSound();
}

// Pages changed outside a transaction are written when the next one begins: each changed
// page once, however often it changed, pages of other keys not at all, and pages freed
// after they changed not over their free-chain link.
TEST_F(KeyTest, ChangedPagesAreWrittenOnceWhenATransactionBegins) {
    Fileblock* fb = createOpen(30, {{4, false}, {4, true}});
    fillRecords(fb, 1000);
    for (int i = 1; i <= 1000; ++i)
        AddKey(fb, 1, i, num4(i));
    ASSERT_TRUE(EngineOk) << EngineError;
    auto entriesOnDisk = [&](int keyNo) {
        std::vector<std::pair<std::string, int32_t>> out;
        std::string error;
        EXPECT_TRUE(ForEachKeyEntry(
            name(), keyNo, [&](const std::string& k, int32_t r) { out.emplace_back(k, r); }, error))
            << error;
        return out;
    };
    auto writesOfBegin = [&]() {
        ClearFileFault();
        EXPECT_TRUE(BeginTransaction());
        const int64_t writes = FileOpCount();
        RollbackTransaction();
        return writes;
    };
    // Every page of key 1 is new; with 30 buffers none was evicted.
    const int64_t writes = writesOfBegin();
    const int32_t pages = info().keys[0].highPage;
    EXPECT_LE(pages, 29);
    EXPECT_EQ(writes, pages + 1);  // its pages and its header
    EXPECT_EQ(entriesOnDisk(1), forward(fb, 1));
    EXPECT_EQ(writesOfBegin(), 0);

    // Key 2 gets one page, changed again and again: that page and key 2's header.
    for (int i = 1; i <= 40; ++i)
        AddKey(fb, 2, i, "K");
    for (int i = 1; i <= 40; i += 4)
        DeleteKey(fb, 2, i, "K");
    AddKey(fb, 2, 1, "K");
    ASSERT_TRUE(EngineOk) << EngineError;
    EXPECT_EQ(writesOfBegin(), 2);
    EXPECT_EQ(entriesOnDisk(2), forward(fb, 2));

    // Deleting the first 300 entries merges leaves and frees their pages.
    for (int i = 1; i <= 300; ++i)
        DeleteKey(fb, 1, i, num4(i));
    ASSERT_TRUE(EngineOk) << EngineError;
    writesOfBegin();
    EXPECT_GT(info().keys[0].freePages, 0);
    std::vector<std::pair<std::string, int32_t>> onDisk = entriesOnDisk(1);
    EXPECT_EQ(onDisk, forward(fb, 1));
    ASSERT_EQ(onDisk.size(), 700u);
    EXPECT_EQ(onDisk.front().first, "0301");

    // Pages changed inside a transaction that is rolled back are dropped, not written.
    ASSERT_TRUE(BeginTransaction());
    for (int i = 1; i <= 200; ++i)
        AddKey(fb, 2, i, "L");
    ASSERT_TRUE(EngineOk) << EngineError;
    RollbackTransaction();
    EXPECT_EQ(writesOfBegin(), 0);
    EXPECT_EQ(KeyCount(fb, 2), 31);

    // More pages than buffers: evicted pages are written as they go, and the transaction's
    // start writes only those still changed in the pool.
    for (int i = 1; i <= 2000; ++i)
        AddKey(fb, 2, (i - 1) % 1000 + 1, num4(i));
    ASSERT_TRUE(EngineOk) << EngineError;
    EXPECT_LE(writesOfBegin(), 30 + 1);
    EXPECT_GT(info().keys[1].highPage, 30);
    EXPECT_EQ(entriesOnDisk(2), forward(fb, 2));

    // A changed page evicted (and so written) and then read back unchanged is not written
    // again: only key 2's header is, and the root when the add passed items between leaves
    // (every lookup keeps the root in the pool).
    AddKey(fb, 2, 1, "0000");
    ASSERT_TRUE(EngineOk) << EngineError;
    for (int i = 1; i <= 2000; i += 20) {
        std::string key = num4(i);
        FindKeyAtOrAfter(fb, 2, key);
    }
    std::string first = "0000";
    EXPECT_EQ(FindKeyAtOrAfter(fb, 2, first), 1);
    EXPECT_LE(writesOfBegin(), 2);
    EXPECT_EQ(entriesOnDisk(2), forward(fb, 2));
    CloseFileblock(fb);
    expectSound();
}

TEST_F(KeyTest, SixtyThirdEntrySplitsTheRoot) {
    Fileblock* fb = createOpen(30, {{4, false}});
    for (int i = 1; i <= 62; ++i)
        AddKey(fb, 1, i, num4(i));
    EXPECT_EQ(KeyCount(fb, 1), 62);
    AddKey(fb, 1, 63, num4(63));
    ASSERT_TRUE(EngineOk);
    CloseFileblock(fb);
    FileblockInfo fi = info();
    EXPECT_EQ(fi.keys[0].highPage, 3);
    EXPECT_EQ(fi.keys[0].entries, 63);
    RawPage root = page(1, fi.keys[0].root);
    ASSERT_EQ(root.n, 1);
    EXPECT_EQ(root.keys[0], "0032");
    EXPECT_EQ(page(1, root.left).n, 31);
    EXPECT_EQ(page(1, root.children[0]).n, 31);
    EXPECT_EQ(page(1, root.children[0]).left, 0);
}

TEST_F(KeyTest, FullLeafPassesItemsToItsSiblingBeforeSplitting) {
    Fileblock* fb = createOpen(30, {{4, false}});
    fillRecords(fb, 95);
    for (int i = 1; i <= 94; ++i)
        AddKey(fb, 1, i, num4(i));  // right leaf now full
    CloseFileblock(fb);
    EXPECT_EQ(info().keys[0].highPage, 3);
    RawPage before = page(1, info().keys[0].root);
    EXPECT_EQ(page(1, before.children[0]).n, 62);

    fb = OpenFileblock(name(), false);
    AddKey(fb, 1, 95, num4(95));
    CloseFileblock(fb);
    FileblockInfo fi = info();
    EXPECT_EQ(fi.keys[0].highPage, 3);  // no new page
    RawPage root = page(1, fi.keys[0].root);
    ASSERT_EQ(root.n, 1);
    int left = page(1, root.left).n, right = page(1, root.children[0]).n;
    EXPECT_EQ(left + right, 94);
    EXPECT_LE(std::abs(left - right), 1);
    expectSound();
}

TEST_F(KeyTest, UnderflowBorrowsFromARichNeighbourAndMergesWithAPoorOne) {
    Fileblock* fb = createOpen(30, {{4, false}});
    fillRecords(fb, 64);
    for (int i = 1; i <= 64; ++i)
        AddKey(fb, 1, i, num4(i));
    // Left leaf 1..31, separator 32, right leaf 33..64 (32 items).
    DeleteKey(fb, 1, 1, num4(1));  // left drops to 30: borrows one (k = 1)
    CloseFileblock(fb);
    FileblockInfo fi = info();
    RawPage root = page(1, fi.keys[0].root);
    ASSERT_EQ(root.n, 1);
    EXPECT_EQ(root.keys[0], "0033");
    EXPECT_EQ(page(1, root.left).n, 31);
    EXPECT_EQ(page(1, root.children[0]).n, 31);
    EXPECT_EQ(fi.keys[0].freePages, 0);

    fb = OpenFileblock(name(), false);
    DeleteKey(fb, 1, 2, num4(2));  // 30 + separator + 31: merge, and the root collapses
    CloseFileblock(fb);
    fi = info();
    EXPECT_EQ(fi.keys[0].entries, 62);
    EXPECT_EQ(fi.keys[0].freePages, 2);
    RawPage merged = page(1, fi.keys[0].root);
    EXPECT_EQ(merged.n, 62);
    EXPECT_EQ(merged.left, 0);
    EXPECT_EQ(merged.keys.front(), "0003");
    EXPECT_EQ(merged.keys.back(), "0064");
    expectSound();
}

TEST_F(KeyTest, DeletingTheLastEntryFreesTheRootForReuse) {
    Fileblock* fb = createOpen(30, {{4, true}});
    AddKey(fb, 1, 1, "A");
    DeleteKey(fb, 1, 1, "A");
    CloseFileblock(fb);
    FileblockInfo fi = info();
    EXPECT_EQ(fi.keys[0].root, 0);
    EXPECT_EQ(fi.keys[0].freePages, 1);
    EXPECT_EQ(fi.keys[0].freeHead, 1);
    fb = OpenFileblock(name(), false);
    AddKey(fb, 1, 1, "B");
    CloseFileblock(fb);
    fi = info();
    EXPECT_EQ(fi.keys[0].root, 1);
    EXPECT_EQ(fi.keys[0].highPage, 1);
    EXPECT_EQ(fi.keys[0].freePages, 0);
    EXPECT_EQ(fi.keys[0].freeHead, -1);
}

TEST_F(KeyTest, CorruptFreePageChainIsDetectedWhenAPageIsTaken) {
    Fileblock* fb = createOpen(30, {{4, true}});
    AddKey(fb, 1, 1, "A");
    DeleteKey(fb, 1, 1, "A");
    CloseFileblock(fb);
    // Page 1 is on the free chain; make its link point past the highest page.
    std::string ix = ReadFileBytes(name() + ".IX");
    int64_t r = 6 + 62 * 13;
    wr32(reinterpret_cast<uint8_t*>(ix.data()) + r, 7);
    invarro::testing::WriteFileBytes(name() + ".IX", ix);
    fb = OpenFileblock(name(), false);
    AddKey(fb, 1, 1, "B");
    EXPECT_EQ(EngineError, err::ChainCorrupt);
    CloseFileblock(fb);
}

TEST_F(KeyTest, APageClaimingTooManyItemsIsRefused) {
    Fileblock* fb = createOpen(30, {{4, false}});
    fillRecords(fb, 3);
    for (int i = 1; i <= 3; ++i)
        AddKey(fb, 1, i, num4(i));
    CloseFileblock(fb);
    std::string ix = ReadFileBytes(name() + ".IX");
    const int64_t r = 6 + 62 * 13;
    wr16(reinterpret_cast<uint8_t*>(ix.data()) + r, -1);  // root page item count 0xFFFF
    invarro::testing::WriteFileBytes(name() + ".IX", ix);
    fb = OpenFileblock(name(), false);
    std::string key = "0002";
    EXPECT_EQ(FindKeyAtOrAfter(fb, 1, key), 0);
    EXPECT_EQ(EngineError, err::IndexDefective);
    AddKey(fb, 1, 3, "0009");
    EXPECT_EQ(EngineError, err::IndexDefective);
    wr16(reinterpret_cast<uint8_t*>(ix.data()) + r, 63);
    CloseFileblock(fb);
    invarro::testing::WriteFileBytes(name() + ".IX", ix);
    fb = OpenFileblock(name(), false);
    int32_t rec = 0;
    NextKey(fb, 1, key, rec);
    EXPECT_EQ(EngineError, err::IndexDefective);
    CloseFileblock(fb);
}

// Items moved to other pages by a split are written in the page layout: a length byte
// beyond the key length is cut to it and the bytes after the key are zero, whatever a
// damaged page held there.
TEST_F(KeyTest, ASplitWritesMovedItemsCleanFromADamagedPage) {
    Fileblock* fb = createOpen(30, {{8, false}});
    fillRecords(fb, 63);
    for (int i = 1; i <= 62; ++i)
        AddKey(fb, 1, i, "K" + num4(i));  // one full root leaf, 5-byte keys
    CloseFileblock(fb);
    std::string ix = ReadFileBytes(name() + ".IX");
    const int64_t r = 6 + 62 * 17;
    uint8_t* root = reinterpret_cast<uint8_t*>(ix.data()) + r;
    auto item = [&](int j) { return root + 6 + (j - 1) * 17; };
    std::memset(item(10) + 9 + 5, 0xEE, 3);  // junk after item 10's key
    item(50)[8] = 200;                       // item 50 claims a 200-byte key
    invarro::testing::WriteFileBytes(name() + ".IX", ix);

    fb = OpenFileblock(name(), false);
    AddKey(fb, 1, 63, "K0063");  // the 63rd item splits the root
    ASSERT_TRUE(EngineOk) << EngineError;
    CloseFileblock(fb);
    FileblockInfo fi = info();
    ASSERT_EQ(fi.keys[0].highPage, 3);
    std::string after = ReadFileBytes(name() + ".IX");
    for (int32_t p = 1; p <= 3; ++p) {
        const uint8_t* pg = reinterpret_cast<const uint8_t*>(after.data()) + p * r;
        for (int j = 1; j <= rd16(pg); ++j) {
            const uint8_t* it = pg + 6 + (j - 1) * 17;
            ASSERT_LE(it[8], 8) << "page " << p << " item " << j;
            for (int b = 9 + it[8]; b < 17; ++b)
                ASSERT_EQ(it[b], 0) << "page " << p << " item " << j;
        }
    }
    RawPage upper = page(1, page(1, fi.keys[0].root).children[0]);
    ASSERT_EQ(upper.keys.size(), 31u);
    EXPECT_EQ(upper.keys[50 - 33], std::string("K0050\0\0\0", 8));
}

TEST_F(KeyTest, KeyHeadersAndPagesAreLaidOutPerKeySection) {
    Fileblock* fb = createOpen(30, {{1, false}, {30, true}});
    AddKey(fb, 2, 5, "Z");
    CloseFileblock(fb);
    std::string ix = ReadFileBytes(name() + ".IX");
    const int p1 = 6 + 62 * 10, p2 = 6 + 62 * 39;
    ASSERT_EQ(ix.size(), size_t(2 * (p1 + p2)));
    auto u = reinterpret_cast<const uint8_t*>(ix.data());
    EXPECT_EQ(rd32(u + 0), -1);
    EXPECT_EQ(rd32(u + 12), p1);
    EXPECT_EQ(rd16(u + 26), 62);
    EXPECT_EQ(u[20], 0);
    EXPECT_EQ(rd32(u + p1 + 12), p2);
    EXPECT_EQ(u[p1 + 20], 1);
    EXPECT_EQ(rd32(u + p1 + 16), 1);  // root page 1
    EXPECT_EQ(rd32(u + p1 + 22), 1);  // one entry
    // Page 1 of key 2: one item, record 5, key "Z".
    const uint8_t* pg = u + (p1 + p2) + p1;
    EXPECT_EQ(rd16(pg), 1);
    EXPECT_EQ(rd32(pg + 2), 0);
    EXPECT_EQ(rd32(pg + 6), 5);
    EXPECT_EQ(rd32(pg + 10), 0);
    EXPECT_EQ(pg[14], 1);
    EXPECT_EQ(pg[15], 'Z');
}

TEST_F(KeyTest, DuplicateKeysOrderByRecordNumber) {
    Fileblock* fb = createOpen(30, {{8, true}});
    AddKey(fb, 1, 7, "K");
    AddKey(fb, 1, 3, "K");
    AddKey(fb, 1, 5, "J");
    AddKey(fb, 1, 7, "K");
    EXPECT_EQ(EngineError, err::DuplicateEntry);
    auto all = forward(fb, 1);
    std::vector<std::pair<std::string, int32_t>> want{{"J", 5}, {"K", 3}, {"K", 7}};
    EXPECT_EQ(all, want);
    std::string key = "K";
    EXPECT_EQ(FindKeyAtOrAfter(fb, 1, key), 3);
    EXPECT_EQ(key, "K");
    DeleteKey(fb, 1, 9, "K");
    EXPECT_EQ(EngineError, err::NoSuchEntry);
    DeleteKey(fb, 1, 7, "K");
    EXPECT_TRUE(EngineOk);
    EXPECT_EQ(KeyCount(fb, 1), 2);
    CloseFileblock(fb);
}

TEST_F(KeyTest, UniqueIndexRefusesASecondEntryWithTheSameKey) {
    Fileblock* fb = createOpen(30, {{8, false}});
    AddKey(fb, 1, 1, "SAME");
    AddKey(fb, 1, 2, "SAME");
    EXPECT_EQ(EngineError, err::DuplicateEntry);
    EXPECT_EQ(ErrorClass(), 1);
    EXPECT_EQ(KeyCount(fb, 1), 1);
    // On a unique index the record number does not matter for deletion.
    DeleteKey(fb, 1, 99, "SAME");
    EXPECT_TRUE(EngineOk);
    EXPECT_EQ(KeyCount(fb, 1), 0);
    CloseFileblock(fb);
}

TEST_F(KeyTest, KeysAreComparedAsUnsignedBytesAndShorterFirst) {
    Fileblock* fb = createOpen(30, {{4, false}});
    fillRecords(fb, 6);
    AddKey(fb, 1, 1, "Z");
    AddKey(fb, 1, 2, "\xE4");
    AddKey(fb, 1, 3, "AB");
    AddKey(fb, 1, 4, "ABC");
    AddKey(fb, 1, 5, "");
    AddKey(fb, 1, 6, std::string("A\0", 2));
    auto all = forward(fb, 1);
    std::vector<int32_t> order;
    for (auto& e : all)
        order.push_back(e.second);
    EXPECT_EQ(order, (std::vector<int32_t>{5, 6, 3, 4, 1, 2}));
    CloseFileblock(fb);
}

// Long keys differ anywhere in their 30 bytes, in bytes above 127 too: the index orders
// them as unsigned bytes compared one by one, a key before any longer key it begins.
TEST_F(KeyTest, LongKeysOrderByEveryByte) {
    std::mt19937 rng(5);
    const std::string bytes(
        "\x00\x01"
        "A\x7F\x80\xFE\xFF",
        7);
    std::vector<std::string> keys;
    for (int i = 0; i < 400; ++i) {
        // A shared prefix of random length, then random bytes, 0..30 long in all.
        std::string k(size_t(rng() % 31), 'P');
        for (size_t j = rng() % (k.size() + 1); j < k.size(); ++j)
            k[j] = bytes[rng() % bytes.size()];
        keys.push_back(k);
    }
    for (size_t i = 0; i + 1 < keys.size(); ++i) {
        const int want = keys[i].compare(keys[i + 1]);  // unsigned bytes, shorter first
        const int got = CompareKeys(keys[i], keys[i + 1]);
        ASSERT_EQ(got < 0, want < 0) << i;
        ASSERT_EQ(got > 0, want > 0) << i;
    }
    Fileblock* fb = createOpen(30, {{30, true}});
    fillRecords(fb, int(keys.size()));
    for (size_t i = 0; i < keys.size(); ++i)
        AddKey(fb, 1, int32_t(i + 1), keys[i]);
    ASSERT_TRUE(EngineOk) << EngineError;
    std::vector<std::pair<std::string, int32_t>> want;
    for (size_t i = 0; i < keys.size(); ++i)
        want.emplace_back(keys[i], int32_t(i + 1));
    std::sort(want.begin(), want.end());
    EXPECT_EQ(forward(fb, 1), want);
    for (size_t i = 0; i < keys.size(); i += 7) {
        std::string key = keys[i];
        int32_t rec = int32_t(i + 1);
        FindKeyAndRecord(fb, 1, key, rec, 0);
        EXPECT_TRUE(EngineOk) << i;
    }
    CloseFileblock(fb);
    expectSound();
}

TEST_F(KeyTest, OverlongKeysAreCutOrRefused) {
    Fileblock* fb = createOpen(30, {{30, false}, {10, false}});
    std::string k31(31, 'X');
    k31[30] = 'Y';
    AddKey(fb, 1, 1, k31);
    EXPECT_TRUE(EngineOk);
    std::string key;
    FindKeyAtOrAfter(fb, 1, key);
    EXPECT_EQ(key, std::string(30, 'X'));
    AddKey(fb, 2, 1, std::string(11, 'A'));
    EXPECT_EQ(EngineError, err::KeyTooLong);
    AddKey(fb, 2, 1, std::string(10, 'A'));
    EXPECT_TRUE(EngineOk);
    CloseFileblock(fb);
}

TEST_F(KeyTest, SteppingRunsOffEitherEndAndStartsOver) {
    Fileblock* fb = createOpen(30, {{4, false}});
    for (int i = 1; i <= 3; ++i)
        AddKey(fb, 1, i, num4(i));
    std::string key = num4(3);
    int32_t rec = 0;
    FindKeyAtOrAfter(fb, 1, key);
    NextKey(fb, 1, key, rec);
    EXPECT_EQ(EngineError, err::NoNextEntry);
    NextKey(fb, 1, key, rec);
    EXPECT_TRUE(EngineOk);
    EXPECT_EQ(rec, 1);
    PrevKey(fb, 1, key, rec);
    EXPECT_EQ(EngineError, err::NoPrevEntry);
    PrevKey(fb, 1, key, rec);
    EXPECT_EQ(rec, 3);
    CloseFileblock(fb);
}

TEST_F(KeyTest, StepsAfterAChangeFindTheirPlaceAgain) {
    Fileblock* fb = createOpen(30, {{4, false}, {4, true}});
    fillRecords(fb, 200);
    for (int i = 1; i <= 200; i += 2)
        AddKey(fb, 1, i, num4(i));
    std::string key = num4(101);
    int32_t rec = FindKeyAtOrAfter(fb, 1, key);
    ASSERT_EQ(rec, 101);
    // The entry just returned is deleted: the next step gives its former successor.
    DeleteKey(fb, 1, 101, num4(101));
    NextKey(fb, 1, key, rec);
    EXPECT_EQ(rec, 103);
    DeleteKey(fb, 1, 103, num4(103));
    PrevKey(fb, 1, key, rec);
    EXPECT_EQ(rec, 99);
    // A new entry right after the current one is the next step.
    AddKey(fb, 1, 100, num4(100));
    NextKey(fb, 1, key, rec);
    EXPECT_EQ(rec, 100);
    // A change of another key keeps this key's position.
    AddKey(fb, 2, 1, "X");
    NextKey(fb, 1, key, rec);
    EXPECT_EQ(rec, 105);
    CloseFileblock(fb);
    expectSound();
}

TEST_F(KeyTest, FindKeyAndRecordHonoursTheDirection) {
    Fileblock* fb = createOpen(30, {{4, true}});
    AddKey(fb, 1, 10, "B");
    AddKey(fb, 1, 20, "B");
    AddKey(fb, 1, 5, "D");
    std::string key = "B";
    int32_t rec = 20;
    FindKeyAndRecord(fb, 1, key, rec, 0);
    EXPECT_TRUE(EngineOk);
    EXPECT_EQ(rec, 20);
    key = "B", rec = 15;
    FindKeyAndRecord(fb, 1, key, rec, 0);
    EXPECT_EQ(EngineError, err::ExactNotFound);
    key = "B", rec = 15;
    FindKeyAndRecord(fb, 1, key, rec, 1);
    EXPECT_EQ(rec, 20);
    key = "B", rec = 15;
    FindKeyAndRecord(fb, 1, key, rec, -1);
    EXPECT_EQ(rec, 10);
    NextKey(fb, 1, key, rec);  // the position is set by the find
    EXPECT_EQ(rec, 20);
    key = "A", rec = 0;
    FindKeyAndRecord(fb, 1, key, rec, -1);
    EXPECT_EQ(EngineError, err::NoPrevEntry);
    key = "E", rec = 0;
    FindKeyAndRecord(fb, 1, key, rec, 1);
    EXPECT_EQ(EngineError, err::NoNextEntry);
    key = "C";
    EXPECT_EQ(FindKeyAtOrAfter(fb, 1, key), 5);
    EXPECT_EQ(key, "D");
    key = "E";
    EXPECT_EQ(FindKeyAtOrAfter(fb, 1, key), 0);
    EXPECT_EQ(EngineError, err::KeyNotFound);
    CloseFileblock(fb);
}

TEST_F(KeyTest, ApproximatePositionsOnASingleLeaf) {
    Fileblock* fb = createOpen(30, {{4, false}});
    for (int i = 1; i <= 9; ++i)
        AddKey(fb, 1, i, num4(i));
    // With one leaf the position of entry j is j x (N + 1) div (r + 1).
    EXPECT_EQ(ApproxKeyPosition(fb, 1, num4(1), 1, 63), 6u);
    EXPECT_EQ(ApproxKeyPosition(fb, 1, num4(9), 9, 63), 57u);
    std::string key;
    int32_t rec = -1;
    ApproxKeyAtPosition(fb, 1, 0, 63, key, rec);
    EXPECT_TRUE(EngineOk);
    EXPECT_EQ(rec, 0);
    EXPECT_EQ(key, "");
    ApproxKeyAtPosition(fb, 1, 32, 63, key, rec);
    EXPECT_EQ(rec, 5);
    ApproxKeyAtPosition(fb, 1, 63, 63, key, rec);
    EXPECT_EQ(rec, 9);
    ApproxKeyAtPosition(fb, 1, 64, 63, key, rec);
    EXPECT_EQ(EngineError, err::ApproxBadPosition);
    ApproxKeyAtPosition(fb, 1, 0, 0, key, rec);
    EXPECT_EQ(EngineError, err::ApproxBadPosition);
    ApproxKeyPosition(fb, 1, "A", 0, 0);
    EXPECT_EQ(EngineError, err::ApproxBadScale);
    CloseFileblock(fb);
}

TEST_F(KeyTest, ApproximatePositionsFollowTheIndexOrderOnALargeTree) {
    Fileblock* fb = createOpen(30, {{6, true}});
    for (int i = 0; i < 5000; ++i)
        AddKey(fb, 1, i + 1, num4(i * 7919 % 5000));
    auto all = forward(fb, 1);
    ASSERT_EQ(all.size(), 5000u);
    uint32_t last = 0;
    for (auto& [k, r] : all) {
        uint32_t p = ApproxKeyPosition(fb, 1, k, r, 1000);
        ASSERT_TRUE(EngineOk);
        EXPECT_GE(p, last);
        EXPECT_LE(p, 1000u);
        last = p;
    }
    EXPECT_LE(ApproxKeyPosition(fb, 1, all.front().first, all.front().second, 1000), 20u);
    EXPECT_GE(last, 950u);
    std::string prevKey;
    int32_t prevRec = 0;
    for (uint32_t a = 0; a <= 63; ++a) {
        std::string key;
        int32_t rec;
        ApproxKeyAtPosition(fb, 1, a, 63, key, rec);
        ASSERT_TRUE(EngineOk);
        int c = CompareKeys(key, prevKey);
        EXPECT_TRUE(c > 0 || (c == 0 && rec >= prevRec)) << a;
        prevKey = key;
        prevRec = rec;
    }
    CloseFileblock(fb);
}

TEST_F(KeyTest, ApproximateRecordPositionsUseTheSlotCount) {
    Fileblock* fb = createOpen(30, {});
    std::string r = record(30, "x");
    for (int i = 0; i < 99; ++i)
        AddRecord(fb, r.data());
    EXPECT_EQ(ApproxRecordPosition(fb, 50, 63), 32u);
    EXPECT_EQ(ApproxRecordPosition(fb, 500, 63), 63u);
    EXPECT_EQ(ApproxRecordPosition(fb, 0, 63), 0u);
    EXPECT_EQ(ApproxRecordAtPosition(fb, 32, 63), 51);
    EXPECT_EQ(ApproxRecordAtPosition(fb, 0, 63), 1);
    ApproxRecordPosition(fb, 1, 0);
    EXPECT_EQ(EngineError, err::ApproxBadScale);
    ApproxRecordAtPosition(fb, 64, 63);
    EXPECT_EQ(EngineError, err::ApproxBadPosition);
    CloseFileblock(fb);
}

TEST_F(KeyTest, IndexesSurviveCloseAndReopen) {
    Fileblock* fb = createOpen(30, {{6, false}, {6, true}});
    fillRecords(fb, 3000);
    for (int i = 1; i <= 3000; ++i) {
        AddKey(fb, 1, i, num4(i));
        AddKey(fb, 2, i, num4(i % 17));
    }
    CloseFileblock(fb);
    expectSound();
    fb = OpenFileblock(name(), false);
    EXPECT_EQ(KeyCount(fb, 1), 3000);
    EXPECT_EQ(KeyCount(fb, 2), 3000);
    auto all = forward(fb, 2);
    ASSERT_EQ(all.size(), 3000u);
    for (size_t i = 1; i < all.size(); ++i) {
        ASSERT_TRUE(all[i - 1].first < all[i].first ||
                    (all[i - 1].first == all[i].first && all[i - 1].second < all[i].second));
    }
    CloseFileblock(fb);
}

}  // namespace
}  // namespace invarro::storage
