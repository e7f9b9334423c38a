// Rebuild of a fileblock of 1,000,000 records of 360 bytes with six keys (the records
// copied into a fresh data file, then the six indexes built from it), against SQLite over
// the same rows: creating the same six indexes over the table ("ratio rebuild R", the
// engine's seconds over SQLite's), and doing the rebuild's whole work - the rows copied into
// a fresh table, the old one dropped, the six indexes created over the new one ("ratio
// rebuild-same-work R"). The two SQLite figures come from two databases loaded with the
// same rows. For comparison, the time of a reindex that adds every key with AddKey in
// record order, one pass over the data file per key.
//
// Usage: invarro-bench-rebuild [RECORDS] [FOLDER]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/SqlitePeer.h"
#include "storage/BTree.h"
#include "storage/Engine.h"
#include "storage/Rebuild.h"

using namespace invarro::storage;
using invarro::bench::IndexBuildBytes;
using invarro::bench::SqliteIndexPeer;

namespace {

constexpr int kRecLen = 360;
struct KeySpan {
    int offset, length;
    bool dups;
};
// Invoice number, customer number, date, customer + date, name, reference.
constexpr KeySpan kSpans[6] = {{4, 9, false},  {13, 8, true},  {21, 10, true},
                               {31, 18, true}, {49, 30, true}, {79, 12, true}};

double seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void fail(const char* what) {
    std::fprintf(stderr, "%s failed (engine error %d)\n", what, EngineError);
    std::exit(1);
}

std::string makeRecord(std::mt19937& rng, int id) {
    std::string r(kRecLen, '\0');
    for (int j = 4; j < kRecLen; ++j)
        r[size_t(j)] = char('a' + rng() % 26);
    char b[64];
    std::snprintf(b, sizeof b, "I%08d", id);
    r.replace(4, 9, b);
    std::snprintf(b, sizeof b, "C%07d", int(rng() % 20000));
    r.replace(13, 8, b);
    int day = int(rng() % 3000);
    std::snprintf(b, sizeof b, "%04d/%02d/%02d", 2015 + day / 365, 1 + day / 31 % 12, 1 + day % 28);
    r.replace(21, 10, b);
    r.replace(31, 8, r.substr(13, 8));
    r.replace(39, 10, r.substr(21, 10));
    return r;
}

bool keyOf(const uint8_t* rec, int32_t, int keyNo, std::string& key) {
    const KeySpan& s = kSpans[keyNo - 1];
    key.assign(reinterpret_cast<const char*>(rec) + s.offset, size_t(s.length));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 1000000;
    std::string folder =
        argc > 2 ? argv[2]
                 : (std::filesystem::temp_directory_path() / "invarro-bench-rebuild").string();
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    KeyDescriptor keys[6];
    for (int i = 0; i < 6; ++i)
        keys[i] = {kSpans[i].length, kSpans[i].dups};

    // The data file, written once; the rebuild finds it without an index.
    InitEngine(30);
    const std::string name = folder + "/BENCH";
    CreateFileblock(name, kRecLen, 0, nullptr);
    Fileblock* fb = OpenFileblock(name, false);
    if (!EngineOk) fail("open");
    std::mt19937 rng(5);
    std::vector<std::string> rows;
    rows.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        rows.push_back(makeRecord(rng, (i * 7919) % n));
        AddRecord(fb, rows.back().data());
    }
    CloseFileblock(fb);
    ExitEngine();

    const int buffers = InitEngine(30);
    invarro::bench::SettleDisk();
    auto t0 = std::chrono::steady_clock::now();
    if (!RebuildFileblock(name, 0, 6, keys, keyOf, nullptr, nullptr)) fail("rebuild");
    double engine = seconds(t0);

    // The same index built by adding every key in record order.
    CreateFileblock(name + "2", kRecLen, 6, keys);
    std::filesystem::copy_file(name + ".DAT", name + "2.DAT",
                               std::filesystem::copy_options::overwrite_existing);
    fb = OpenFileblock(name + "2", false);
    if (!EngineOk) fail("open copy");
    std::string rec(kRecLen, '\0');
    invarro::bench::SettleDisk();
    t0 = std::chrono::steady_clock::now();
    for (int k = 1; k <= 6; ++k) {
        for (int32_t r = NextUsedRecord(fb, 0); EngineOk; r = NextUsedRecord(fb, r)) {
            GetRecord(fb, r, rec.data());
            std::string key;
            keyOf(reinterpret_cast<const uint8_t*>(rec.data()), kRecLen, k, key);
            AddKey(fb, k, r, key);
            if (!EngineOk) fail("addkey");
        }
    }
    CloseFileblock(fb);
    double sequential = seconds(t0);
    ExitEngine();

    // SQLite: the same rows with the same memory as the engine (cache and sort memory), in
    // two databases, one for each figure.
    double sqlite = 0, sqliteSameWork = 0;
    {
        SqliteIndexPeer peer(folder + "/bench.sqlite", 6, IndexBuildBytes(buffers));
        SqliteIndexPeer copyPeer(folder + "/bench-copy.sqlite", 6, IndexBuildBytes(buffers));
        std::vector<std::string_view> keyTexts(6);
        for (int i = 0; i < n; ++i) {
            const std::string& r = rows[size_t(i)];
            for (int k = 0; k < 6; ++k)
                keyTexts[size_t(k)] =
                    std::string_view(r).substr(size_t(kSpans[k].offset), size_t(kSpans[k].length));
            peer.add(i + 1, keyTexts, r);
            copyPeer.add(i + 1, keyTexts, r);
        }
        peer.loaded();
        copyPeer.loaded();
        std::vector<bool> unique;
        for (const KeySpan& span : kSpans)
            unique.push_back(!span.dups);
        sqlite = peer.createIndexes(unique).wall;
        sqliteSameWork = copyPeer.copyAndCreateIndexes(unique).wall;
    }
    std::filesystem::remove_all(folder);

    std::printf("# %d records of %d bytes, six keys\n", n, kRecLen);
    std::printf("# engine rebuild (copy + index from sorted entries) %.2f s\n", engine);
    std::printf("# engine reindex adding each key in record order %.2f s\n", sequential);
    std::printf("# sqlite create six indexes %.2f s (cache_size=-%lld)\n", sqlite,
                static_cast<long long>(IndexBuildBytes(buffers) / 1024));
    std::printf("# sqlite copy rows + create six indexes %.2f s\n", sqliteSameWork);
    std::printf("ratio rebuild %.3f\n", engine / sqlite);
    std::printf("ratio rebuild-same-work %.3f\n", engine / sqliteSameWork);
    return 0;
}
