// Building the trees of a new index from entries in index order. The pages are made in
// memory and written straight to the index file, many index records at a time: the pages
// of the keys interleave in the file (index record n holds page n of every key), so pages
// written one by one would cost a system call each.

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "storage/Bytes.h"
#include "storage/EngineInternal.h"
#include "storage/KeyEntries.h"

namespace invarro::storage {

namespace {

// The index file is written in pieces of about this many bytes.
constexpr int64_t kWriteBytes = int64_t(4) << 20;

// Pages for n items on one level with separators between them: each page between the
// minimum and the maximum, about `fill` items each.
int64_t pagesForLevel(int64_t n, int fill, int minItems, int maxItems) {
    int64_t pages = std::max<int64_t>(1, (n + 1 + fill) / (fill + 1));
    while (pages > 1 && (n - (pages - 1)) / pages < minItems)
        --pages;
    while ((n - (pages - 1) + pages - 1) / pages > maxItems)
        ++pages;
    return pages;
}

// How the items of one level are spread over its pages: every page holds `perPage` items,
// the first `extra` one more, and one item between two pages goes up as their separator.
struct Level {
    int64_t items = 0;
    int64_t pages = 1;
    int64_t perPage = 0;
    int64_t extra = 0;

    Level() = default;
    Level(int64_t n, const KeyState& k) : items(n) {
        const int ipp = k.itemsPerPage;
        pages = n <= ipp ? 1 : pagesForLevel(n, ipp - ipp / 4, k.minItems(), ipp);
        perPage = (n - (pages - 1)) / pages;
        extra = (n - (pages - 1)) % pages;
    }
    int64_t count(int64_t p) const { return perPage + (p < extra ? 1 : 0); }
    // Position of the first item of page p; the item after its last is its separator.
    int64_t first(int64_t p) const { return p * perPage + std::min(p, extra) + p; }
};

Item entryItem(const KeyEntries& entries, int64_t i) {
    Item it;
    it.rec = entries.record(i);
    it.len = uint8_t(entries.key(i, it.key));
    return it;
}

// One key's tree: its leaves come from the entries when their index record is written,
// the levels above them are made beforehand (a few hundred pages for a million entries).
struct KeyPlan {
    KeyState* k = nullptr;
    const KeyEntries* entries = nullptr;
    int32_t base = 0;  // the key's highest page before: its pages follow it
    Level leaves;
    int32_t total = 0;  // pages of all levels
    std::vector<uint8_t> upper;
    int32_t root = 0;

    void plan(KeyState& key, const KeyEntries& list) {
        k = &key;
        entries = &list;
        base = key.highPage;
        leaves = Level(list.size(), key);
        // Separators carried up from the leaves: the entry after each page but the last,
        // pointing at the next page.
        std::vector<Item> level;
        level.reserve(size_t(leaves.pages));
        for (int64_t p = 0; p + 1 < leaves.pages; ++p) {
            Item sep = entryItem(list, leaves.first(p) + leaves.count(p));
            sep.child = base + 1 + int32_t(p) + 1;
            level.push_back(sep);
        }
        int32_t next = base + 1 + int32_t(leaves.pages);  // the next page number
        int32_t leftmost = base + 1;
        root = leaves.pages == 1 ? base + 1 : 0;
        while (root == 0) {
            const Level L(int64_t(level.size()), key);
            const size_t at = upper.size();
            upper.resize(at + size_t(L.pages) * size_t(key.pageSize), 0);
            std::vector<Item> up;
            up.reserve(size_t(L.pages));
            int32_t left = leftmost;
            for (int64_t p = 0; p < L.pages; ++p) {
                uint8_t* page = upper.data() + at + size_t(p) * size_t(key.pageSize);
                const int64_t first = L.first(p), count = L.count(p);
                wr16(page, int16_t(count));
                wr32(page + 2, left);
                for (int64_t j = 0; j < count; ++j)
                    WriteItem(key, page + 6 + j * key.itemWidth, level[size_t(first + j)]);
                if (p + 1 < L.pages) {
                    Item sep = level[size_t(first + count)];
                    left = sep.child;
                    sep.child = next + int32_t(p) + 1;
                    up.push_back(sep);
                }
            }
            if (L.pages == 1) root = next;
            leftmost = next;
            next += int32_t(L.pages);
            level.swap(up);
        }
        total = next - base - 1;
    }

    // Writes page number `page` of this key (one of its own) into out.
    void render(int32_t page, uint8_t* out) const {
        const int64_t p = page - base - 1;
        if (p >= leaves.pages) {
            std::memcpy(out, upper.data() + size_t(p - leaves.pages) * size_t(k->pageSize),
                        size_t(k->pageSize));
            return;
        }
        const int64_t count = leaves.count(p);
        std::memset(out, 0, size_t(k->pageSize));
        wr16(out, int16_t(count));
        entries->writeItems(leaves.first(p), count, out + 6, k->itemWidth);
    }
};

}  // namespace

bool BulkLoadKeys(Fileblock* fb, const std::vector<std::pair<int, const KeyEntries*>>& keys) {
    std::vector<KeyPlan> plans;
    std::vector<bool> inPass(size_t(fb->numKeys), false);
    for (const auto& [keyNo, list] : keys) {
        KeyState& k = fb->keys[size_t(keyNo - 1)];
        // Only an empty tree without free pages is built this way (the reindex's new index).
        if (k.root != 0 || k.entries != 0 || k.freeHead != -1) {
            Fail(err::IndexDefective);
            return false;
        }
        inPass[size_t(keyNo - 1)] = true;
        if (list->size() == 0) continue;
        plans.emplace_back().plan(k, *list);
    }
    if (plans.empty()) return true;

    // Index records that already hold pages of keys outside this pass are read and
    // written back with this pass's pages added; beyond them the records are new.
    int32_t othersHigh = 0;
    for (int i = 0; i < fb->numKeys; ++i)
        if (!inPass[size_t(i)]) othersHigh = std::max(othersHigh, fb->keys[size_t(i)].highPage);
    othersHigh = std::min(othersHigh, fb->indexRecords);
    int32_t firstRecord = INT32_MAX, lastRecord = 0;
    for (const KeyPlan& p : plans) {
        firstRecord = std::min(firstRecord, p.base + 1);
        lastRecord = std::max(lastRecord, p.base + p.total);
    }

    const int64_t recordSize = fb->indexRecordSize;
    const int32_t perWrite = int32_t(std::max<int64_t>(1, kWriteBytes / recordSize));
    std::vector<uint8_t> chunk;
    try {
        chunk.resize(
            size_t(std::min<int64_t>(perWrite, lastRecord - firstRecord + 1) * recordSize));
    } catch (const std::bad_alloc&) {
        Fail(err::NoBuffers);
        return false;
    }
    for (int32_t r0 = firstRecord; r0 <= lastRecord; r0 += perWrite) {
        const int32_t r1 = std::min(lastRecord, r0 + perWrite - 1);
        const size_t bytes = size_t(r1 - r0 + 1) * size_t(recordSize);
        std::memset(chunk.data(), 0, bytes);
        if (r0 <= othersHigh) {
            const int64_t existing = int64_t(std::min(r1, othersHigh) - r0 + 1) * recordSize;
            if (!fb->index.read(int64_t(r0) * recordSize, chunk.data(), size_t(existing)))
                return false;
        }
        for (const KeyPlan& p : plans) {
            const int32_t from = std::max(r0, p.base + 1), to = std::min(r1, p.base + p.total);
            for (int32_t page = from; page <= to; ++page)
                p.render(page, chunk.data() + int64_t(page - r0) * recordSize + p.k->sectionOffset);
        }
        if (!fb->index.write(int64_t(r0) * recordSize, chunk.data(), bytes)) return false;
    }
    fb->indexRecords = std::max(fb->indexRecords, lastRecord);

    for (KeyPlan& p : plans) {
        KeyState& k = *p.k;
        k.highPage = p.base + p.total;
        k.root = p.root;
        k.entries = int32_t(p.entries->size());
        k.headerChanged = true;
        k.pathValid = false;
        k.path.clear();
    }
    return true;
}

}  // namespace invarro::storage
