// The changes a transaction keeps of a file: which bytes of a chunk it changed, and the
// runs its journal frame carries. A frame that leaves out a changed byte loses it at a
// recovery, so every changed byte must lie in a run; bytes written as they were need not.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "storage/Bytes.h"
#include "storage/FileIO.h"

namespace invarro::storage {
namespace {

using Chunk = Overlay::Chunk;

Chunk chunkOf(uint8_t fill) {
    Chunk c;
    c.bytes = Overlay::NewChunkBytes();
    std::memset(c.bytes.get(), fill, size_t(Overlay::kChunk));
    return c;
}

std::vector<std::pair<int, int>> rangesOf(const Chunk& c) {
    std::vector<std::pair<int, int>> v;
    for (int r = 0; r < c.ranges; ++r)
        v.push_back({c.range[r].lo, c.range[r].hi});
    return v;
}

void write(Chunk& c, int off, const std::vector<uint8_t>& bytes) {
    c.write(off, bytes.data(), bytes.size());
}

TEST(OverlayChunkTest, OnlyBytesThatDifferAreChanges) {
    Chunk c = chunkOf(7);
    // A whole record written as it was: no change at all.
    write(c, 100, std::vector<uint8_t>(300, 7));
    EXPECT_EQ(c.ranges, 0);
    EXPECT_GE(c.lo, c.hi);
    // One byte changed inside a long write: a range of at most 16 bytes around it.
    std::vector<uint8_t> rec(1000, 7);
    rec[517] = 9;
    write(c, 40, rec);
    ASSERT_EQ(c.ranges, 1);
    EXPECT_LE(c.range[0].lo, 557);
    EXPECT_GT(c.range[0].hi, 557);
    EXPECT_LE(c.range[0].hi - c.range[0].lo, 16);
    EXPECT_EQ(c.bytes[557], 9);
    // A change in the last bytes of a write that is no whole number of words.
    write(c, 4090, {7, 7, 7, 7, 7, 1});
    ASSERT_EQ(c.ranges, 2);
    EXPECT_EQ(rangesOf(c)[1], (std::pair<int, int>{4095, 4096}));
    EXPECT_EQ(c.lo, c.range[0].lo);
    EXPECT_EQ(c.hi, 4096);
}

TEST(OverlayChunkTest, NearChangesJoinAndFarOnesStayApart) {
    Chunk c = chunkOf(0);
    c.mark(100, 104);
    c.mark(120, 124);  // 16 bytes apart: one range
    EXPECT_EQ(rangesOf(c), (std::vector<std::pair<int, int>>{{100, 124}}));
    c.mark(141, 150);  // 17 bytes apart: a range of its own
    c.mark(10, 20);    // before every other
    EXPECT_EQ(rangesOf(c), (std::vector<std::pair<int, int>>{{10, 20}, {100, 124}, {141, 150}}));
    c.mark(18, 145);  // over all three: one
    EXPECT_EQ(rangesOf(c), (std::vector<std::pair<int, int>>{{10, 150}}));
    c.mark(30, 40);  // inside: nothing new
    EXPECT_EQ(rangesOf(c), (std::vector<std::pair<int, int>>{{10, 150}}));
    c.mark(50, 50);  // empty
    EXPECT_EQ(c.ranges, 1);
}

TEST(OverlayChunkTest, MoreChangesThanRangesJoinTheNearestAndLoseNone) {
    Chunk c = chunkOf(0);
    // Nine changes 300 bytes apart: the ninth joins two of them. Then one 36 bytes after
    // another: that pair is the nearest, and becomes one.
    for (int i = 0; i < 9; ++i)
        c.mark(i * 300, i * 300 + 4);
    EXPECT_EQ(c.ranges, Overlay::kRanges);
    c.mark(1240, 1244);
    EXPECT_EQ(c.ranges, Overlay::kRanges);
    bool joined = false;
    for (const auto& [lo, hi] : rangesOf(c))
        if (lo <= 1200 && hi >= 1244) joined = true;
    EXPECT_TRUE(joined);
}

// Random writes over a chunk, then the check a recovery depends on: every byte that
// differs from the chunk as it began lies in a range; the ranges are in order, apart,
// inside the chunk and within the bounds lo and hi.
TEST(OverlayChunkTest, EveryChangedByteOfRandomWritesLiesInARange) {
    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        Chunk c = chunkOf(uint8_t(round));
        std::vector<uint8_t> before(c.bytes.get(), c.bytes.get() + Overlay::kChunk);
        const int writes = 1 + int(rng() % 20);
        for (int w = 0; w < writes; ++w) {
            const int off = int(rng() % Overlay::kChunk);
            const int n = 1 + int(rng() % std::min<uint32_t>(600, uint32_t(Overlay::kChunk - off)));
            std::vector<uint8_t> bytes(c.bytes.get() + off, c.bytes.get() + off + n);
            // A few bytes, or a stretch, changed; the rest written as it was.
            const int changes = 1 + int(rng() % 4);
            for (int k = 0; k < changes; ++k) {
                const int at = int(rng() % uint32_t(n));
                const int len = std::min(n - at, int(rng() % 3 == 0 ? rng() % 200 : 1));
                for (int j = at; j < at + len; ++j)
                    bytes[size_t(j)] = uint8_t(rng());
            }
            write(c, off, bytes);
            ASSERT_EQ(std::memcmp(c.bytes.get() + off, bytes.data(), bytes.size()), 0);
        }
        ASSERT_LE(c.ranges, Overlay::kRanges);
        for (int r = 0; r < c.ranges; ++r) {
            ASSERT_LT(c.range[r].lo, c.range[r].hi);
            ASSERT_LE(c.range[r].hi, Overlay::kChunk);
            ASSERT_GE(c.range[r].lo, c.lo);
            ASSERT_LE(c.range[r].hi, c.hi);
            if (r > 0) {
                ASSERT_GT(c.range[r].lo, c.range[r - 1].hi + Overlay::kRangeGap);
            }
        }
        for (int i = 0; i < Overlay::kChunk; ++i) {
            if (c.bytes[size_t(i)] == before[size_t(i)]) continue;
            bool covered = false;
            for (int r = 0; r < c.ranges && !covered; ++r)
                covered = c.range[r].lo <= i && i < c.range[r].hi;
            ASSERT_TRUE(covered) << "round " << round << ", byte " << i;
        }
    }
}

TEST(OverlayChunkTest, ACutForgetsTheChangesPastIt) {
    Chunk c = chunkOf(0);
    c.mark(10, 20);
    c.mark(100, 200);
    c.mark(300, 310);
    c.cutAt(150);
    EXPECT_EQ(rangesOf(c), (std::vector<std::pair<int, int>>{{10, 20}, {100, 150}}));
    EXPECT_EQ(c.hi, 150);
    c.cutAt(5);
    EXPECT_EQ(c.ranges, 0);
    EXPECT_GE(c.lo, c.hi);
}

// The runs of a frame: changes that meet across the end of a chunk are one run, pieces
// of both chunks; a change past the file's length (cut by the transaction) is left out.
TEST(OverlayRunsTest, RunsFollowTheChangesAcrossChunksAndStopAtTheLength) {
    Overlay ov;
    ov.size = 3 * Overlay::kChunk;
    auto& a = ov.chunks[0] = chunkOf(1);
    auto& b = ov.chunks[1] = chunkOf(2);
    auto& d = ov.chunks[2] = chunkOf(3);
    a.mark(10, 20);
    a.mark(4000, 4096);
    b.mark(0, 50);
    b.mark(1000, 1010);
    d.mark(4000, 4096);
    ov.size = 2 * Overlay::kChunk + 4050;
    struct Run {
        int64_t pos;
        size_t n;
        std::vector<uint8_t> bytes;
    };
    std::vector<Run> runs;
    ForEachRun(ov, [&](int64_t pos, const std::vector<iovec>& pieces, size_t n) {
        Run r{pos, n, {}};
        for (const iovec& v : pieces) {
            const auto* p = static_cast<const uint8_t*>(v.iov_base);
            r.bytes.insert(r.bytes.end(), p, p + v.iov_len);
        }
        runs.push_back(r);
        return true;
    });
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0].pos, 10);
    EXPECT_EQ(runs[0].n, 10u);
    EXPECT_EQ(runs[1].pos, 4000);
    EXPECT_EQ(runs[1].n, 146u);
    ASSERT_EQ(runs[1].bytes.size(), 146u);
    EXPECT_EQ(runs[1].bytes[95], 1);  // the last byte of the first chunk
    EXPECT_EQ(runs[1].bytes[96], 2);  // the first of the second
    EXPECT_EQ(runs[2].pos, Overlay::kChunk + 1000);
    EXPECT_EQ(runs[3].pos, 2 * Overlay::kChunk + 4000);
    EXPECT_EQ(runs[3].n, 50u);
    for (const Run& r : runs)
        EXPECT_EQ(r.bytes.size(), r.n);
    // What a frame reserves for them is enough.
    size_t need = 0;
    for (const Run& r : runs)
        need += r.n + 12;
    EXPECT_GE(RunBytesBound(ov), need);
}

TEST(CopyShortTest, CopiesEveryLengthUpToThirtyTwoExactly) {
    uint8_t src[40], dst[48];
    for (int i = 0; i < 40; ++i)
        src[i] = uint8_t(i + 1);
    for (size_t n = 0; n <= 32; ++n) {
        std::memset(dst, 0xEE, sizeof dst);
        CopyShort(dst + 8, src, n);
        for (size_t i = 0; i < 8; ++i)
            ASSERT_EQ(dst[i], 0xEE) << n;
        for (size_t i = 0; i < n; ++i)
            ASSERT_EQ(dst[8 + i], src[i]) << n;
        for (size_t i = 8 + n; i < sizeof dst; ++i)
            ASSERT_EQ(dst[i], 0xEE) << n;
    }
}

}  // namespace
}  // namespace invarro::storage
