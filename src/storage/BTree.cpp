// B-tree indexes: search, insertion with redistribution before a split, deletion with
// borrowing or merging, positioning and approximate positions.

#include "storage/BTree.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "storage/Backend.h"
#include "storage/Bytes.h"
#include "storage/EngineInternal.h"
#include "storage/EngineTesting.h"

namespace invarro::storage {

namespace {

// Eight bytes as a number that orders as the bytes do.
inline uint64_t orderedWord(const uint8_t* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
    return w;
}

// Keys are at most 30 bytes, too short for a call of memcmp to pay: eight bytes are
// compared at a time, then the rest one by one.
[[gnu::always_inline]] inline int compareBytes(const uint8_t* a, int alen, const uint8_t* b,
                                               int blen) {
    const int n = std::min(alen, blen);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x = orderedWord(a + i), y = orderedWord(b + i);
        if (x != y) return x < y ? -1 : 1;
    }
    for (; i < n; ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return alen < blen ? -1 : (alen > blen ? 1 : 0);
}

// The thing searched for: a key string and, on an index with duplicates, a record number.
struct Probe {
    const uint8_t* key;
    int len;
    int32_t rec;
    bool useRec;
    // Try the last item of each page first: the key is likely to go after all of them.
    bool tryLast = false;
};

int itemKeyLen(const KeyState& k, const uint8_t* it) {
    return std::min<int>(it[8], k.keyLength);
}

[[gnu::always_inline]] inline int compareProbe(const KeyState& k, const Probe& p,
                                               const uint8_t* it) {
    int c = compareBytes(p.key, p.len, it + 9, itemKeyLen(k, it));
    if (c != 0 || !p.useRec) return c;
    // Record numbers order as their signed 32-bit difference.
    int32_t d = int32_t(uint32_t(p.rec) - uint32_t(rd32(it)));
    return d < 0 ? -1 : (d > 0 ? 1 : 0);
}

struct PageSearch {
    int high = 0;  // items smaller than the probe
    int mid = 0;
    bool found = false;
};

PageSearch searchPage(const KeyState& k, const PageRef& P, const Probe& p) {
    PageSearch s;
    int n = std::clamp(P.count(), 0, k.itemsPerPage);
    if (p.tryLast && n > 0 && compareProbe(k, p, P.item(n)) > 0) {
        s.high = n;
        s.mid = n;
        return s;
    }
    int low = 1, high = n, mid = 0;
    while (high >= low) {
        mid = (low + high) / 2;
        int c = compareProbe(k, p, P.item(mid));
        if (c <= 0) high = mid - 1;
        if (c >= 0) low = mid + 1;
    }
    s.high = high;
    s.mid = mid;
    s.found = low - high >= 2;
    return s;
}

Item loadItem(const KeyState& k, const PageRef& P, int j) {
    Item it;
    const uint8_t* src = P.item(j);
    it.rec = rd32(src);
    it.child = rd32(src + 4);
    it.len = uint8_t(itemKeyLen(k, src));
    CopyShort(it.key, src + 9, it.len);
    return it;
}

void storeItem(const KeyState& k, PageRef& P, int j, const Item& it) {
    WriteItem(k, P.item(j), it);
}

void storeItems(const KeyState& k, PageRef& P, const Item* first, const Item* last) {
    int n = int(last - first);
    P.setCount(n);
    for (int j = 0; j < n; ++j)
        storeItem(k, P, j + 1, first[j]);
    P.markChanged();
}

// Items in their page layout, gathered from pages and separators while a full page passes
// items to a sibling or splits, and while pages borrow or merge. Every item is kept as
// storeItem would write it: its key length no more than the key's and the bytes after the
// key zero, so that pages rewritten from a run hold the same bytes as item by item.
class ItemRun {
  public:
    explicit ItemRun(const KeyState& k) : k_(k), w_(k.itemWidth) {}
    ItemRun(const ItemRun&) = delete;
    ItemRun& operator=(const ItemRun&) = delete;

    int size() const { return n_; }
    uint8_t* at(int i) { return bytes_ + size_t(i) * size_t(w_); }  // 0-based
    int32_t child(int i) { return rd32(at(i) + 4); }

    // Appends items first..last (1-based) of a page.
    void appendItems(const PageRef& P, int first, int last) {
        int count = last - first + 1;
        if (count <= 0) return;
        uint8_t* dst = at(n_);
        std::memcpy(dst, P.item(first), size_t(count) * size_t(w_));
        n_ += count;
        if (P.itemsClean()) return;
        for (int i = 0; i < count; ++i)
            normalise(dst + size_t(i) * size_t(w_));
    }
    void appendPage(const PageRef& P) {
        appendItems(P, 1, std::clamp(P.count(), 0, k_.itemsPerPage));
    }
    // Appends items from..to-1 of another run.
    void appendRun(ItemRun& other, int from, int to) {
        if (to <= from) return;
        std::memcpy(at(n_), other.at(from), size_t(to - from) * size_t(w_));
        n_ += to - from;
    }
    // Appends an item of a page with another child.
    void appendItem(const uint8_t* item, int32_t child) {
        uint8_t* dst = at(n_++);
        std::memcpy(dst, item, size_t(w_));
        wr32(dst + 4, child);
        normalise(dst);
    }
    // Inserts an item before item pos (0-based).
    void insert(int pos, const Item& it) {
        uint8_t* dst = at(pos);
        std::memmove(dst + w_, dst, size_t(n_ - pos) * size_t(w_));
        ++n_;
        WriteItem(k_, dst, it);
    }
    Item item(int i) {
        const uint8_t* src = at(i);
        Item it;
        it.rec = rd32(src);
        it.child = rd32(src + 4);
        it.len = src[8];
        std::memcpy(it.key, src + 9, it.len);
        return it;
    }

    // The page gets items from..to-1 of the run and nothing else.
    void store(PageRef& P, int from, int to) {
        int n = to - from;
        P.setCount(n);
        if (n > 0) std::memcpy(P.item(1), at(from), size_t(n) * size_t(w_));
        P.setItemsClean();
        P.markChanged();
    }
    // Item j of the page becomes item i of the run with another child.
    void storeItem(PageRef& P, int j, int i, int32_t child) {
        uint8_t* dst = P.item(j);
        std::memcpy(dst, at(i), size_t(w_));
        wr32(dst + 4, child);
    }

  private:
    void normalise(uint8_t* it) const {
        const int kl = k_.keyLength;
        if (it[8] > kl)
            it[8] = uint8_t(kl);
        else if (it[8] < kl)
            std::memset(it + 9 + it[8], 0, size_t(kl - it[8]));
    }

    const KeyState& k_;
    const int w_;
    int n_ = 0;
    // Two full pages, the item inserted and a separator.
    uint8_t bytes_[(2 * kItemsPerPage + 2) * (kMaxKeyLength + 9)];
};

// Inserts after item pos (0 = at the front) on a page that has room.
void insertItem(const KeyState& k, PageRef& P, int pos, const Item& it) {
    int n = P.count();
    uint8_t* at = P.item(pos + 1);
    std::memmove(at + k.itemWidth, at, size_t((n - pos) * k.itemWidth));
    P.setCount(n + 1);
    storeItem(k, P, pos + 1, it);
    P.markChanged();
}

void removeItem(const KeyState& k, PageRef& P, int j) {
    int n = P.count();
    uint8_t* at = P.item(j);
    std::memmove(at, at + k.itemWidth, size_t((n - j) * k.itemWidth));
    P.setCount(n - 1);
    P.markChanged();
}

Probe makeProbe(std::string_view key, int32_t rec, bool useRec) {
    return Probe{reinterpret_cast<const uint8_t*>(key.data()), int(key.size()), rec, useRec};
}

// Searches from the root. The path records at each level the page and the number of
// items smaller than the probe (the child descended into); a match ends the path at the
// matching item. afterAll, when given, tells whether the probe went after every item of
// every page on its way down; leaf, when given, receives the last page of a path without a
// match, still pinned. Returns false on an I/O failure.
bool search(Fileblock* fb, int keyNo, const Probe& p, Path& path, bool& found,
            bool* afterAll = nullptr, PageRef* leaf = nullptr) {
    KeyState& k = fb->keys[keyNo - 1];
    path.clear();
    found = false;
    bool last = true;
    int32_t page = k.root;
    while (page != 0) {
        PageRef P = GetPage(fb, keyNo, page);
        if (!P.ok()) return false;
        PageSearch s = searchPage(k, P, p);
        if (s.found) {
            path.push(page, s.mid);
            found = true;
            return true;
        }
        if (!path.push(page, s.high)) {
            Fail(err::IndexDefective);
            return false;
        }
        last = last && s.high == P.count();
        page = P.childAt(s.high);
        if (page == 0 && leaf) *leaf = std::move(P);
    }
    if (afterAll) *afterAll = last;
    return true;
}

// After a search without a match: the path then designates the greatest entry smaller
// than the probe (depth 0 when there is none).
void dropTrailingZeros(Path& path) {
    while (path.depth > 0 && path.level[path.depth - 1].pos == 0)
        --path.depth;
}

enum class Step { Found, None, Error };

// Descends from page to its leftmost leaf and takes the first item.
Step descendFirst(Fileblock* fb, int keyNo, Path& path, int32_t page) {
    for (;;) {
        PageRef P = GetPage(fb, keyNo, page);
        if (!P.ok()) return Step::Error;
        if (!path.push(page, 0)) {
            Fail(err::IndexDefective);
            return Step::Error;
        }
        if (P.isLeaf()) {
            if (P.count() < 1) return Step::None;
            path.level[path.depth - 1].pos = 1;
            return Step::Found;
        }
        page = P.leftmost();
    }
}

// Descends from page to its rightmost leaf and takes the last item.
Step descendLast(Fileblock* fb, int keyNo, Path& path, int32_t page) {
    for (;;) {
        PageRef P = GetPage(fb, keyNo, page);
        if (!P.ok()) return Step::Error;
        int n = P.count();
        if (!path.push(page, n)) {
            Fail(err::IndexDefective);
            return Step::Error;
        }
        if (P.isLeaf()) return n >= 1 ? Step::Found : Step::None;
        page = P.childAt(n);
    }
}

Step stepNext(Fileblock* fb, int keyNo, Path& path) {
    KeyState& k = fb->keys[keyNo - 1];
    if (path.depth == 0) {
        if (k.root == 0) return Step::None;
        return descendFirst(fb, keyNo, path, k.root);
    }
    PathLevel& cur = path.level[path.depth - 1];
    PageRef P = GetPage(fb, keyNo, cur.page);
    if (!P.ok()) return Step::Error;
    if (cur.pos >= 1 && P.child(cur.pos) != 0)
        return descendFirst(fb, keyNo, path, P.child(cur.pos));
    if (cur.pos < P.count()) {
        ++cur.pos;
        return Step::Found;
    }
    P.release();
    --path.depth;
    while (path.depth > 0) {
        PathLevel& up = path.level[path.depth - 1];
        PageRef Q = GetPage(fb, keyNo, up.page);
        if (!Q.ok()) return Step::Error;
        if (up.pos < Q.count()) {
            ++up.pos;
            return Step::Found;
        }
        --path.depth;
    }
    return Step::None;
}

Step stepPrev(Fileblock* fb, int keyNo, Path& path) {
    KeyState& k = fb->keys[keyNo - 1];
    if (path.depth == 0) {
        if (k.root == 0) return Step::None;
        return descendLast(fb, keyNo, path, k.root);
    }
    PathLevel& cur = path.level[path.depth - 1];
    PageRef P = GetPage(fb, keyNo, cur.page);
    if (!P.ok()) return Step::Error;
    if (!P.isLeaf() && cur.pos >= 1) {
        int32_t c = P.childAt(cur.pos - 1);
        --cur.pos;
        return descendLast(fb, keyNo, path, c);
    }
    if (cur.pos > 1) {
        --cur.pos;
        return Step::Found;
    }
    P.release();
    --path.depth;
    while (path.depth > 0) {
        if (path.level[path.depth - 1].pos >= 1) return Step::Found;
        --path.depth;
    }
    return Step::None;
}

// The entry the path designates.
bool entryAt(Fileblock* fb, int keyNo, const Path& path, std::string& key, int32_t& rec) {
    const KeyState& k = fb->keys[keyNo - 1];
    const PathLevel& cur = path.level[path.depth - 1];
    PageRef P = GetPage(fb, keyNo, cur.page);
    if (!P.ok()) return false;
    const uint8_t* it = P.item(cur.pos);
    rec = rd32(it);
    key.assign(reinterpret_cast<const char*>(it + 9), size_t(itemKeyLen(k, it)));
    return true;
}

// Finishes a positioning operation: the entry found, or "no position" with the error.
void finishPosition(Fileblock* fb, int keyNo, Step step, int32_t noneError, std::string& key,
                    int32_t& rec) {
    KeyState& k = fb->keys[keyNo - 1];
    if (step == Step::Found && entryAt(fb, keyNo, k.path, key, rec)) {
        k.pathValid = true;
        return;
    }
    k.path.clear();
    k.pathValid = false;
    if (step == Step::None) Fail(noneError);
    ExitStep(fb);
}

// ------------------------------------------------------------------ page allocation

int64_t pagePos(const Fileblock* fb, const KeyState& k, int32_t page) {
    return int64_t(page) * fb->indexRecordSize + k.sectionOffset;
}

int32_t allocPage(Fileblock* fb, int keyNo) {
    KeyState& k = fb->keys[keyNo - 1];
    if (k.freeHead != -1) {
        int32_t p = k.freeHead;
        if (p <= 0 || p > k.highPage) {
            Fail(err::ChainCorrupt);
            return 0;
        }
        uint8_t link[4];
        if (!fb->index.read(pagePos(fb, k, p), link, 4)) return 0;
        int32_t next = rd32(link);
        if (next == 0 || next > k.highPage || next < -1) {
            Fail(err::ChainCorrupt);
            return 0;
        }
        k.freeHead = next;
        --k.freeCount;
        k.headerChanged = true;
        return p;
    }
    int32_t p = k.highPage + 1;
    if (p > fb->indexRecords) {
        std::vector<uint8_t> zeros(size_t(fb->indexRecordSize), 0);
        int64_t at = int64_t(fb->indexRecords + 1) * fb->indexRecordSize;
        if (!fb->index.write(at, zeros.data(), zeros.size())) return 0;
        ++fb->indexRecords;
    }
    k.highPage = p;
    k.headerChanged = true;
    return p;
}

bool freePage(Fileblock* fb, int keyNo, int32_t page) {
    KeyState& k = fb->keys[keyNo - 1];
    DropPage(fb, keyNo, page);
    uint8_t link[4];
    wr32(link, k.freeHead);
    if (!fb->index.write(pagePos(fb, k, page), link, 4)) return false;
    k.freeHead = page;
    ++k.freeCount;
    k.headerChanged = true;
    return true;
}

// -------------------------------------------------------------------- insert, delete

// Inserts carry at the end of the path; leaf is the path's last page, pinned by the search.
bool insertEntry(Fileblock* fb, int keyNo, Path& wp, Item carry, PageRef leaf) {
    KeyState& k = fb->keys[keyNo - 1];
    const int ipp = k.itemsPerPage;
    for (int L = wp.depth - 1; L >= 0; --L) {
        const PathLevel lv = wp.level[L];
        PageRef P = L == wp.depth - 1 ? std::move(leaf) : GetPage(fb, keyNo, lv.page);
        if (!P.ok()) return false;
        int n = P.count();
        if (n < ipp) {
            insertItem(k, P, lv.pos, carry);
            return true;
        }
        if (L > 0) {
            // A full page that is not the root first tries to pass items to a sibling.
            const PathLevel up = wp.level[L - 1];
            PageRef PP = GetPage(fb, keyNo, up.page);
            if (!PP.ok()) return false;
            bool right = up.pos < PP.count();
            int sepIdx = right ? up.pos + 1 : up.pos;
            int32_t sib = right ? PP.child(up.pos + 1) : PP.childAt(up.pos - 1);
            PageRef S = GetPage(fb, keyNo, sib);
            if (!S.ok()) return false;
            if (S.count() < ipp) {
                // The items of both pages in order with the separator between them.
                ItemRun seq(k);
                PageRef* left;
                PageRef* rightPage;
                if (right) {
                    seq.appendPage(P);
                    seq.insert(lv.pos, carry);
                    seq.appendItem(PP.item(sepIdx), S.leftmost());
                    seq.appendPage(S);
                    left = &P;
                    rightPage = &S;
                } else {
                    seq.appendPage(S);
                    seq.appendItem(PP.item(sepIdx), P.leftmost());
                    const int mineAt = seq.size();
                    seq.appendPage(P);
                    seq.insert(mineAt + lv.pos, carry);
                    left = &S;
                    rightPage = &P;
                }
                int total = seq.size();
                int leftCount = (total - 1) / 2;
                seq.store(*left, 0, leftCount);
                rightPage->setLeftmost(seq.child(leftCount));
                seq.store(*rightPage, leftCount + 1, total);
                seq.storeItem(PP, sepIdx, leftCount, rightPage->page());
                PP.markChanged();
                return true;
            }
        }
        // Split: the lower half stays, the upper half moves to a new page and the middle
        // item goes up with the new page as its child.
        ItemRun mine(k);
        mine.appendPage(P);
        mine.insert(lv.pos, carry);
        int32_t np = allocPage(fb, keyNo);
        if (np == 0) return false;
        PageRef N = NewPage(fb, keyNo, np);
        if (!N.ok()) return false;
        int lower = ipp / 2;
        mine.store(P, 0, lower);
        N.setLeftmost(mine.child(lower));
        mine.store(N, lower + 1, mine.size());
        carry = mine.item(lower);
        carry.child = np;
    }
    // Carried above the root: a new root holding that item alone.
    int32_t np = allocPage(fb, keyNo);
    if (np == 0) return false;
    PageRef R = NewPage(fb, keyNo, np);
    if (!R.ok()) return false;
    R.setLeftmost(k.root);
    storeItems(k, R, &carry, &carry + 1);
    k.root = np;
    k.headerChanged = true;
    return true;
}

// Repairs pages left with too few items after a removal, from the bottom of the path up,
// then collapses an empty root.
bool repairAfterRemoval(Fileblock* fb, int keyNo, Path& wp) {
    KeyState& k = fb->keys[keyNo - 1];
    const int minItems = k.minItems();
    for (int L = wp.depth - 1; L > 0; --L) {
        const int32_t page = wp.level[L].page;
        PageRef C = GetPage(fb, keyNo, page);
        if (!C.ok()) return false;
        if (C.count() >= minItems) break;
        const PathLevel up = wp.level[L - 1];
        PageRef PP = GetPage(fb, keyNo, up.page);
        if (!PP.ok()) return false;
        bool right = up.pos < PP.count();
        int sepIdx = right ? up.pos + 1 : up.pos;
        int32_t nb = right ? PP.child(up.pos + 1) : PP.childAt(up.pos - 1);
        PageRef NB = GetPage(fb, keyNo, nb);
        if (!NB.ok()) return false;
        int m = NB.count();
        int moved = (m - (minItems - 1)) / 2;
        const uint8_t* sep = PP.item(sepIdx);
        if (moved > 0) {
            // Borrow: the separator comes down, the neighbour's moved-th item goes up.
            ItemRun theirs(k);
            theirs.appendPage(NB);
            if (right) {
                ItemRun mine(k);
                mine.appendPage(C);
                mine.appendItem(sep, NB.leftmost());
                mine.appendRun(theirs, 0, moved - 1);
                NB.setLeftmost(theirs.child(moved - 1));
                theirs.store(NB, moved, theirs.size());
                mine.store(C, 0, mine.size());
                theirs.storeItem(PP, sepIdx, moved - 1, nb);
            } else {
                ItemRun seq(k);
                seq.appendRun(theirs, theirs.size() - (moved - 1), theirs.size());
                seq.appendItem(sep, C.leftmost());
                seq.appendPage(C);
                C.setLeftmost(theirs.child(m - moved));
                seq.store(C, 0, seq.size());
                theirs.store(NB, 0, m - moved);
                theirs.storeItem(PP, sepIdx, m - moved, page);
            }
            PP.markChanged();
            break;
        }
        // Merge the page, the separator and the neighbour into the left one of the two.
        PageRef& leftP = right ? C : NB;
        PageRef& rightP = right ? NB : C;
        ItemRun seq(k);
        seq.appendPage(leftP);
        seq.appendItem(sep, rightP.leftmost());
        seq.appendPage(rightP);
        seq.store(leftP, 0, seq.size());
        int32_t freed = rightP.page();
        removeItem(k, PP, sepIdx);
        C.release();
        NB.release();
        PP.release();
        if (!freePage(fb, keyNo, freed)) return false;
    }
    if (k.root != 0) {
        PageRef R = GetPage(fb, keyNo, k.root);
        if (!R.ok()) return false;
        if (R.count() == 0) {
            int32_t old = k.root;
            k.root = R.leftmost();
            R.release();
            k.headerChanged = true;
            if (!freePage(fb, keyNo, old)) return false;
        }
    }
    return true;
}

bool removeEntry(Fileblock* fb, int keyNo, Path& wp) {
    KeyState& k = fb->keys[keyNo - 1];
    PathLevel& at = wp.level[wp.depth - 1];
    PageRef P = GetPage(fb, keyNo, at.page);
    if (!P.ok()) return false;
    if (P.isLeaf()) {
        removeItem(k, P, at.pos);
    } else {
        // Replace the inner item by the greatest entry of its left subtree.
        int mid = at.pos;
        int32_t c = P.childAt(mid - 1);
        at.pos = mid - 1;
        for (;;) {
            PageRef Q = GetPage(fb, keyNo, c);
            if (!Q.ok()) return false;
            int n = Q.count();
            if (!wp.push(c, n)) {
                Fail(err::IndexDefective);
                return false;
            }
            if (Q.isLeaf()) {
                if (n < 1) {
                    Fail(err::IndexDefective);
                    return false;
                }
                Item last = loadItem(k, Q, n);
                last.child = P.child(mid);
                storeItem(k, P, mid, last);
                P.markChanged();
                removeItem(k, Q, n);
                break;
            }
            c = Q.childAt(n);
        }
    }
    P.release();
    return repairAfterRemoval(fb, keyNo, wp);
}

bool keyArgument(const Fileblock* fb, int keyNo, std::string_view& key) {
    if (key.size() > size_t(kMaxKeyLength)) key = key.substr(0, kMaxKeyLength);
    if (key.size() > size_t(fb->keys[keyNo - 1].keyLength)) {
        Fail(err::KeyTooLong);
        return false;
    }
    return true;
}

}  // namespace

int CompareKeys(std::string_view a, std::string_view b) {
    return compareBytes(reinterpret_cast<const uint8_t*>(a.data()), int(a.size()),
                        reinterpret_cast<const uint8_t*>(b.data()), int(b.size()));
}

// ---------------------------------------------------------------------- public: keys

void AddKey(Fileblock* fb, int keyNo, int32_t recNo, std::string_view key) {
    if (!EntryCheck(fb, true, keyNo)) return;
    if (FaultTriggered(EngineOp::AddKey)) return;
    if (fb->backend) return fb->backend->addKey(keyNo, recNo, key);
    if (!keyArgument(fb, keyNo, key)) return;
    if (!MarkChanged(fb)) return ExitStep(fb);
    KeyState& k = fb->keys[keyNo - 1];
    k.pathValid = false;
    Path wp;
    bool found;
    // Keys are often added in order (numbers, dates): when the last one went after every
    // entry, this one is first compared with the last item of each page.
    Probe probe = makeProbe(key, recNo, k.duplicates);
    probe.tryLast = k.addingInOrder;
    PageRef leaf;
    if (!search(fb, keyNo, probe, wp, found, &k.addingInOrder, &leaf)) return ExitStep(fb);
    if (found) {
        Fail(err::DuplicateEntry);
        return;
    }
    Item it;
    it.rec = recNo;
    it.len = uint8_t(key.size());
    std::memcpy(it.key, key.data(), key.size());
    if (!insertEntry(fb, keyNo, wp, it, std::move(leaf))) return ExitStep(fb);
    ++k.entries;
    k.headerChanged = true;
}

void DeleteKey(Fileblock* fb, int keyNo, int32_t recNo, std::string_view key) {
    if (!EntryCheck(fb, true, keyNo)) return;
    if (FaultTriggered(EngineOp::DeleteKey)) return;
    if (fb->backend) return fb->backend->deleteKey(keyNo, recNo, key);
    if (key.size() > size_t(kMaxKeyLength)) key = key.substr(0, kMaxKeyLength);
    if (!MarkChanged(fb)) return ExitStep(fb);
    KeyState& k = fb->keys[keyNo - 1];
    k.pathValid = false;
    Path wp;
    bool found;
    if (!search(fb, keyNo, makeProbe(key, recNo, k.duplicates), wp, found)) return ExitStep(fb);
    if (!found) {
        Fail(err::NoSuchEntry);
        return;
    }
    if (!removeEntry(fb, keyNo, wp)) return ExitStep(fb);
    --k.entries;
    k.headerChanged = true;
}

int32_t FindKeyAtOrAfter(Fileblock* fb, int keyNo, std::string& key) {
    if (!EntryCheck(fb, false, keyNo)) return 0;
    if (FaultTriggered(EngineOp::FindKey)) return 0;
    if (fb->backend) return fb->backend->findKeyAtOrAfter(keyNo, key);
    KeyState& k = fb->keys[keyNo - 1];
    std::string_view probeKey(key);
    if (probeKey.size() > size_t(kMaxKeyLength)) probeKey = probeKey.substr(0, kMaxKeyLength);
    bool found;
    Step step = Step::Error;
    if (search(fb, keyNo, makeProbe(probeKey, 0, k.duplicates), k.path, found)) {
        if (found) {
            step = Step::Found;
        } else {
            dropTrailingZeros(k.path);
            step = stepNext(fb, keyNo, k.path);
        }
    }
    int32_t rec = 0;
    std::string out;
    finishPosition(fb, keyNo, step, err::KeyNotFound, out, rec);
    if (!EngineOk) {
        if (ErrorClass() == 1) EngineError = err::KeyNotFound;
        return 0;
    }
    key = out;
    return rec;
}

void FindKeyAndRecord(Fileblock* fb, int keyNo, std::string& key, int32_t& recNo, int direction) {
    if (!EntryCheck(fb, false, keyNo)) return;
    if (FaultTriggered(EngineOp::FindKey)) return;
    if (fb->backend) return fb->backend->findKeyAndRecord(keyNo, key, recNo, direction);
    KeyState& k = fb->keys[keyNo - 1];
    std::string_view probeKey(key);
    if (probeKey.size() > size_t(kMaxKeyLength)) probeKey = probeKey.substr(0, kMaxKeyLength);
    bool found;
    Step step = Step::Error;
    int32_t noneError = err::ExactNotFound;
    if (search(fb, keyNo, makeProbe(probeKey, recNo, k.duplicates), k.path, found)) {
        if (found) {
            step = Step::Found;
        } else {
            dropTrailingZeros(k.path);
            if (direction > 0) {
                step = stepNext(fb, keyNo, k.path);
                noneError = err::NoNextEntry;
            } else if (direction < 0) {
                step = k.path.depth > 0 ? Step::Found : Step::None;
                noneError = err::NoPrevEntry;
            } else {
                step = Step::None;
            }
        }
    }
    finishPosition(fb, keyNo, step, noneError, key, recNo);
}

namespace {

// Next or previous entry; a stale path is first found again from the caller's entry.
void stepKey(Fileblock* fb, int keyNo, std::string& key, int32_t& recNo, bool forward) {
    KeyState& k = fb->keys[keyNo - 1];
    Step step;
    if (k.path.depth > 0 && !k.pathValid) {
        bool found;
        std::string_view probeKey(key);
        if (probeKey.size() > size_t(kMaxKeyLength)) probeKey = probeKey.substr(0, kMaxKeyLength);
        if (!search(fb, keyNo, makeProbe(probeKey, recNo, k.duplicates), k.path, found)) {
            step = Step::Error;
        } else if (found) {
            step = forward ? stepNext(fb, keyNo, k.path) : stepPrev(fb, keyNo, k.path);
        } else {
            // The entry is gone: its place lies just after the greatest smaller entry.
            dropTrailingZeros(k.path);
            if (forward)
                step = stepNext(fb, keyNo, k.path);
            else
                step = k.path.depth > 0 ? Step::Found : Step::None;
        }
    } else {
        step = forward ? stepNext(fb, keyNo, k.path) : stepPrev(fb, keyNo, k.path);
    }
    finishPosition(fb, keyNo, step, forward ? err::NoNextEntry : err::NoPrevEntry, key, recNo);
}

}  // namespace

void NextKey(Fileblock* fb, int keyNo, std::string& key, int32_t& recNo) {
    if (!EntryCheck(fb, false, keyNo)) return;
    if (FaultTriggered(EngineOp::NextKey)) return;
    if (fb->backend) return fb->backend->nextKey(keyNo, key, recNo);
    stepKey(fb, keyNo, key, recNo, true);
}

void PrevKey(Fileblock* fb, int keyNo, std::string& key, int32_t& recNo) {
    if (!EntryCheck(fb, false, keyNo)) return;
    if (FaultTriggered(EngineOp::PrevKey)) return;
    if (fb->backend) return fb->backend->prevKey(keyNo, key, recNo);
    stepKey(fb, keyNo, key, recNo, false);
}

int32_t KeyCount(Fileblock* fb, int keyNo) {
    if (!EntryCheck(fb, false, keyNo)) return 0;
    if (fb->backend) return fb->backend->keyCount(keyNo);
    return fb->keys[keyNo - 1].entries;
}

// ---------------------------------------------------------------- approximate positions

uint32_t ApproxKeyPosition(Fileblock* fb, int keyNo, std::string_view key, int32_t recNo,
                           uint32_t scale) {
    if (!EntryCheck(fb, false, keyNo)) return 0;
    if (scale == 0) {
        Fail(err::ApproxBadScale);
        return 0;
    }
    if (fb->backend) return fb->backend->approxKeyPosition(keyNo, key, recNo, scale);
    KeyState& k = fb->keys[keyNo - 1];
    if (k.root == 0) {
        Fail(err::ApproxPosEmpty);
        return 0;
    }
    if (key.size() > size_t(kMaxKeyLength)) key = key.substr(0, kMaxKeyLength);
    const uint32_t ipp = uint32_t(k.itemsPerPage);
    const uint32_t e = ipp - ipp / 4;
    Probe p = makeProbe(key, recNo, k.duplicates);
    PageRef R = GetPage(fb, keyNo, k.root);
    if (!R.ok()) {
        ExitStep(fb);
        return 0;
    }
    uint32_t r = uint32_t(std::max(R.count(), 0));
    PageSearch s1 = searchPage(k, R, p);
    uint32_t q1 = uint32_t(s1.found ? s1.mid : s1.high);
    uint32_t c = e, q2 = 0;
    if (!s1.found && !R.isLeaf()) {
        PageRef C = GetPage(fb, keyNo, R.childAt(int(q1)));
        if (!C.ok()) {
            ExitStep(fb);
            return 0;
        }
        PageSearch s2 = searchPage(k, C, p);
        c = uint32_t(std::max(C.count(), 0));
        if (c == 0) c = e;
        q2 = uint32_t(s2.found ? s2.mid : s2.high);
    }
    uint32_t m;
    if (q2 == 1 && q1 == 0) {
        m = 1;
    } else {
        uint32_t o = q2 * (e + 1) * 2 / c;
        m = o + q1 * (e + 1) - o / 2;
    }
    uint32_t result = m * (scale + 1) / ((e + 1) * (r + 1));
    return std::min(result, scale);
}

void ApproxKeyAtPosition(Fileblock* fb, int keyNo, uint32_t position, uint32_t scale,
                         std::string& key, int32_t& recNo) {
    if (!EntryCheck(fb, false, keyNo)) return;
    if (scale == 0 || position > scale) {
        Fail(err::ApproxBadPosition);
        return;
    }
    if (fb->backend) return fb->backend->approxKeyAtPosition(keyNo, position, scale, key, recNo);
    KeyState& k = fb->keys[keyNo - 1];
    if (k.root == 0) {
        Fail(err::ApproxEmpty);
        return;
    }
    PageRef R = GetPage(fb, keyNo, k.root);
    if (!R.ok()) return ExitStep(fb);
    const uint32_t ipp = uint32_t(k.itemsPerPage);
    const uint32_t r = uint32_t(std::max(R.count(), 0));
    const uint32_t e = R.isLeaf() ? 0 : ipp - ipp / 4;
    const uint32_t f = (e + 1) * (r + 1);
    uint32_t n = f / scale + position * f / (scale + 1) - (f / scale) / 2;
    if (n > f - 1) n = f - 1;
    uint32_t g = n / (e + 1);
    if (g > r) g = r;
    uint32_t h = R.isLeaf() ? 0 : n % (e + 1);
    k.path.clear();
    k.pathValid = true;
    if (h != 0) {
        int32_t childPage = R.childAt(int(g));
        PageRef C = GetPage(fb, keyNo, childPage);
        if (!C.ok()) return ExitStep(fb);
        uint32_t c = uint32_t(std::max(C.count(), 0));
        uint32_t idx;
        if (h == 2 && g == 0) {
            idx = 2;
        } else {
            uint32_t t = h * c * 2 / e;
            idx = std::max<uint32_t>(1, t - t / 2);
        }
        if (idx > c) idx = c;
        if (idx >= 1) {
            k.path.push(k.root, int(g));
            k.path.push(childPage, int(idx));
            entryAt(fb, keyNo, k.path, key, recNo);
            return ExitStep(fb);
        }
    }
    if (g == 0) {
        key.clear();
        recNo = 0;
        return;
    }
    k.path.push(k.root, int(g));
    entryAt(fb, keyNo, k.path, key, recNo);
    ExitStep(fb);
}

uint32_t ApproxRecordPosition(Fileblock* fb, int32_t recNo, uint32_t scale) {
    if (!EntryCheck(fb, false)) return 0;
    if (scale == 0) {
        Fail(err::ApproxBadScale);
        return 0;
    }
    uint32_t d = uint32_t(fb->backend ? fb->backend->recordSlotCount() - 1 : fb->high) + 1;
    uint32_t num = recNo < 0 ? 0 : std::min(uint32_t(recNo), d);
    uint64_t n1 = uint64_t(scale) + 1;
    while (n1 * num > 0xFFFFFFFFull) {
        num >>= 1;
        d >>= 1;
    }
    if (d == 0) return 0;
    uint32_t result = uint32_t(n1 * num / d);
    return std::min(result, scale);
}

int32_t ApproxRecordAtPosition(Fileblock* fb, uint32_t position, uint32_t scale) {
    if (!EntryCheck(fb, false)) return 0;
    if (scale == 0 || position > scale) {
        Fail(err::ApproxBadPosition);
        return 0;
    }
    uint64_t e =
        uint64_t(uint32_t(fb->backend ? fb->backend->recordSlotCount() - 1 : fb->high)) + 1;
    uint64_t n1 = uint64_t(scale) + 1;
    uint32_t s = uint32_t(e / n1);
    uint32_t t = e * position > 0xFFFFFFFFull ? position * s : uint32_t(e * position / n1);
    return int32_t(s + t - s / 2);
}

// ------------------------------------------------------------------------ key headers

void EncodeKeyHeader(const KeyState& k, uint8_t h[kKeyHeaderSize]) {
    std::memset(h, 0, kKeyHeaderSize);
    wr32(h + 0, k.freeHead);
    wr32(h + 4, k.freeCount);
    wr32(h + 8, k.highPage);
    wr32(h + 12, k.pageSize);
    wr32(h + 16, k.root);
    h[20] = k.duplicates ? 1 : 0;
    h[21] = 0;
    wr32(h + 22, k.entries);
    wr16(h + 26, int16_t(k.itemsPerPage));
}

bool WriteKeyHeader(Fileblock* fb, int keyNo) {
    const KeyState& k = fb->keys[keyNo - 1];
    uint8_t h[kKeyHeaderSize];
    EncodeKeyHeader(k, h);
    return fb->index.write(k.sectionOffset, h, sizeof h);
}

bool ReadKeyHeaders(Fileblock* fb) {
    int64_t offset = 0;
    int32_t records = 0;
    for (int i = 0; i < fb->numKeys; ++i) {
        KeyState& k = fb->keys[size_t(i)];
        uint8_t h[kKeyHeaderSize];
        if (!fb->index.read(offset, h, sizeof h)) {
            Fail(err::IndexDefective);
            return false;
        }
        k.freeHead = rd32(h + 0);
        k.freeCount = rd32(h + 4);
        k.highPage = rd32(h + 8);
        k.pageSize = rd32(h + 12);
        k.root = rd32(h + 16);
        k.duplicates = h[20] != 0;
        k.entries = rd32(h + 22);
        int ipp = rd16(h + 26);
        if (ipp == 0) ipp = kItemsPerPage;
        if (ipp >= 63 || ipp < 2) {
            Fail(err::IndexItemsPerPage);
            return false;
        }
        k.itemsPerPage = ipp;
        if (k.pageSize < 6 || (k.pageSize - 6) % ipp != 0) {
            Fail(err::IndexPageSize);
            return false;
        }
        int width = (k.pageSize - 6) / ipp;
        k.keyLength = width - 9;
        if (k.keyLength < 1 || k.keyLength > kMaxKeyLength) {
            Fail(err::IndexKeyLength);
            return false;
        }
        k.itemWidth = width;
        k.sectionOffset = offset;
        k.headerChanged = false;
        k.path.clear();
        k.pathValid = false;
        offset += k.pageSize;
        records = std::max(records, k.highPage);
    }
    fb->indexRecordSize = offset;
    fb->indexRecords = records;
    return true;
}

}  // namespace invarro::storage
