// The cost of moving the browser by one row on a small and on a large file.
//
// Builds a fileblock of 1,000 and one of 1,000,000 entries (keys inserted in a scattered
// order, so that the pages are as full as in daily use), opens a browser of 20 rows on
// each with a filter that keeps every entry and a row builder, and times 1,000 Down moves
// around the middle of the index (two runs of 500), each followed by the scroll position as the
// control asks for it. One move costs one index step, one record read, one filter call and one
// build call whatever the size of the file, so the ratio of the two times should stay near 1.
//
// Usage: invarro-bench-browser [FOLDER]   (default: a temporary folder, removed after)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "storage/BTree.h"
#include "storage/Browser.h"
#include "storage/Engine.h"
#include "storage/EngineTesting.h"

using namespace invarro::storage;

namespace {

constexpr int kRecordLength = 120;
constexpr int kMoves = 1000;
constexpr int kRounds = 9;

std::string KeyOf(int32_t i) {
    char b[16];
    std::snprintf(b, sizeof b, "C%08d", int(i));
    return b;
}

bool Check(const char* what) {
    if (EngineOk) return true;
    std::fprintf(stderr, "%s failed: engine error %d\n", what, int(EngineError));
    return false;
}

// Creates name with n records and their keys, added in key order or in a fixed scattered
// order.
bool Build(const std::string& name, int32_t n, bool scattered) {
    KeyDescriptor key{10, false};
    CreateFileblock(name, kRecordLength, 1, &key);
    if (!Check("create")) return false;
    Fileblock* fb = OpenFileblock(name, false);
    if (!Check("open")) return false;
    std::vector<char> rec(size_t(kRecordLength), '\0');
    // i -> (i * step) mod n visits every number once when step and n share no factor.
    const int64_t step = scattered ? 7919 : 1;
    for (int64_t i = 0; i < n; ++i) {
        int32_t k = int32_t((i * step) % n) + 1;
        std::string text = KeyOf(k) + " Customer name " + std::to_string(k);
        std::memset(rec.data(), 0, rec.size());
        std::memcpy(rec.data() + 4, text.data(), text.size());
        int32_t recNo = AddRecord(fb, rec.data());
        if (!Check("add record")) return false;
        AddKey(fb, 1, recNo, KeyOf(k));
        if (!Check("add key")) return false;
    }
    CloseFileblock(fb);
    return Check("close");
}

// Best of kRounds runs of kMoves Down moves from the middle of the index, in milliseconds.
double TimeMoves(const std::string& name, int32_t n) {
    Fileblock* fb = OpenFileblock(name, true);
    if (!Check("open")) std::exit(1);
    std::vector<char> buffer(static_cast<size_t>(kRecordLength));
    Browser browser(fb, 1, buffer.data(), int32_t(buffer.size()));
    long filterCalls = 0, buildCalls = 0;
    browser.OnPerformFilter = [&](RowRecord&, bool& useIt) {
        ++filterCalls;
        useIt = buffer[4] == 'C';
        return 0;
    };
    browser.OnBuildRow = [&](RowRecord& row) {
        ++buildCalls;
        row.text.assign(buffer.data() + 4);
        return 0;
    };
    browser.SetFilterEnabled(true);
    browser.SetRowsInView(20);
    // Every move scrolls: the highlight sits on the last row. The moves run in batches of
    // kBatch from a quarter before the middle, so that the small file never runs out.
    const int kBatch = 500;
    double best = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        double total = 0;
        filterCalls = buildCalls = 0;
        for (int done = 0; done < kMoves; done += kBatch) {
            browser.JumpToKey(KeyOf(n / 2 - kBatch / 2));
            browser.SetCurrentRow(20);
            browser.JumpToKey(KeyOf(n / 2 - kBatch / 2));
            filterCalls = buildCalls = 0;
            ClearFaults();
            auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < kBatch; ++i) {
                if (browser.MoveDown() != BrowseChange::ScrolledUp) std::exit(2);
                browser.ScrollPosition();
            }
            auto stop = std::chrono::steady_clock::now();
            total += std::chrono::duration<double, std::milli>(stop - start).count();
            const int index = EngineOpCalls(EngineOp::FindKey) + EngineOpCalls(EngineOp::NextKey) +
                              EngineOpCalls(EngineOp::PrevKey);
            const int reads = EngineOpCalls(EngineOp::GetRecord);
            if (index != kBatch || reads != kBatch || filterCalls != kBatch ||
                buildCalls != kBatch) {
                std::fprintf(stderr,
                             "unexpected calls for %d moves: %d index, %d read, %ld filter, "
                             "%ld build\n",
                             kBatch, index, reads, filterCalls, buildCalls);
                std::exit(1);
            }
        }
        best = std::min(best, total);
    }
    CloseFileblock(fb);
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    bool temporary = argc < 2;
    fs::path folder =
        temporary ? fs::temp_directory_path() / "invarro-bench-browser" : fs::path(argv[1]);
    fs::create_directories(folder);
    InitEngine(30);
    if (!Check("init")) return 1;

    const int32_t sizes[2] = {1000, 1000000};
    for (bool scattered : {false, true}) {
        const char* layout = scattered ? "scattered" : "key-order";
        double ms[2];
        for (int s = 0; s < 2; ++s) {
            const std::string name = (folder / ("BR" + std::to_string(sizes[s]))).string();
            auto start = std::chrono::steady_clock::now();
            if (!Build(name, sizes[s], scattered)) return 1;
            double built =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            ms[s] = TimeMoves(name, sizes[s]);
            std::printf(
                "%-9s %8d entries (built in %.1f s): %d Down moves in %.3f ms, %.2f us a "
                "move; each move 1 index step, 1 record read, 1 filter, 1 build\n",
                layout, int(sizes[s]), built, kMoves, ms[s], ms[s] * 1000.0 / kMoves);
            DeleteFileblock(name);
        }
        std::printf("ratio browser-down-%s-1000000/1000 %.2f\n", layout, ms[1] / ms[0]);
    }
    ExitEngine();
    if (temporary) fs::remove_all(folder);
    return 0;
}
