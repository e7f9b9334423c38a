// The page buffer pool shared by all open fileblocks: least-recently-used replacement,
// changed pages written back when evicted or when their fileblock closes.
//
// A buffer holds a page in its file layout (items at the key's own width), so writing
// it back needs no repacking: only the used bytes, 6 + n x (key length + 9), are written.

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "storage/Bytes.h"
#include "storage/EngineInternal.h"

namespace invarro::storage {

namespace {

struct Buffer {
    Fileblock* owner = nullptr;
    int keyNo = 0;
    int32_t page = 0;
    bool changed = false;
    bool itemsClean = false;
    int pins = 0;
    int prev = -1;
    int next = -1;
    std::unique_ptr<uint8_t[]> bytes;  // allocated on first use
};

// Buffers on a circular list through a sentinel: sentinel.next is the least recently
// used buffer, sentinel.prev the most recently used.
std::vector<Buffer> gBuffers;
int gSentinel = -1;

inline void unlink(int i) {
    Buffer& b = gBuffers[i];
    gBuffers[b.prev].next = b.next;
    gBuffers[b.next].prev = b.prev;
}

inline void insertAfter(int at, int i) {
    Buffer& b = gBuffers[i];
    b.prev = at;
    b.next = gBuffers[at].next;
    gBuffers[b.next].prev = i;
    gBuffers[at].next = i;
}

inline void makeMostRecent(int i) {
    if (gBuffers[gSentinel].prev == i) return;  // a page used again and again stays put
    unlink(i);
    insertAfter(gBuffers[gSentinel].prev, i);
}

void makeLeastRecent(int i) {
    unlink(i);
    insertAfter(gSentinel, i);
}

int64_t pagePosition(const Fileblock* fb, const KeyState& k, int32_t page) {
    return int64_t(page) * fb->indexRecordSize + k.sectionOffset;
}

bool writeBack(Buffer& b) {
    Fileblock* fb = b.owner;
    const KeyState& k = fb->keys[b.keyNo - 1];
    int n = rd16(b.bytes.get());
    if (n < 0) n = 0;
    if (n > k.itemsPerPage) n = k.itemsPerPage;
    size_t used = size_t(6 + n * k.itemWidth);
    if (!fb->index.write(pagePosition(fb, k, b.page), b.bytes.get(), used)) return false;
    b.changed = false;
    return true;
}

// Lists the buffer's page as changed; called when its changed mark goes from off to on.
void noteChanged(const Buffer& b) {
    KeyState& k = b.owner->keys[b.keyNo - 1];
    if (k.scanAllPages) return;
    if (k.changedPages.size() >= std::max<size_t>(64, k.pageBuffer.size())) {
        k.changedPages.clear();
        k.scanAllPages = true;
        return;
    }
    try {
        k.changedPages.push_back(b.page);
    } catch (const std::bad_alloc&) {
        k.changedPages.clear();
        k.scanAllPages = true;
    }
}

void forgetChangedPages(KeyState& k) {
    k.changedPages.clear();
    k.scanAllPages = false;
}

void detach(int i) {
    Buffer& b = gBuffers[i];
    if (b.owner) {
        KeyState& k = b.owner->keys[b.keyNo - 1];
        if (size_t(b.page) < k.pageBuffer.size()) k.pageBuffer[size_t(b.page)] = -1;
    }
    b.owner = nullptr;
    b.keyNo = 0;
    b.page = 0;
    b.changed = false;
}

// Records that buffer i holds the page; false (with 10000) when the table cannot grow.
bool attach(KeyState& k, int32_t page, int i) {
    if (size_t(page) >= k.pageBuffer.size()) {
        try {
            k.pageBuffer.resize(size_t(page) + 1, -1);
        } catch (const std::bad_alloc&) {
            Fail(err::NoBuffers);
            return false;
        }
    }
    k.pageBuffer[size_t(page)] = i;
    return true;
}

// Takes the least recently used buffer that is not pinned, writing its page first when
// it was changed.
int takeVictim() {
    for (int i = gBuffers[gSentinel].next; i != gSentinel; i = gBuffers[i].next) {
        Buffer& b = gBuffers[i];
        if (b.pins > 0) continue;
        if (!b.bytes) {
            b.bytes.reset(new (std::nothrow) uint8_t[kMaxPageBytes]);
            if (!b.bytes) continue;
        }
        if (b.owner && b.changed && !writeBack(b)) return -1;
        detach(i);
        return i;
    }
    Fail(err::NoBuffers);
    return -1;
}

}  // namespace

// ----------------------------------------------------------------------------- PageRef

PageRef::PageRef(PageRef&& o) noexcept
    : buf_(o.buf_), page_(o.page_), width_(o.width_), pins_(o.pins_), bytes_(o.bytes_) {
    o.buf_ = -1;
}

PageRef& PageRef::operator=(PageRef&& o) noexcept {
    if (this != &o) {
        release();
        buf_ = o.buf_;
        page_ = o.page_;
        width_ = o.width_;
        pins_ = o.pins_;
        bytes_ = o.bytes_;
        o.buf_ = -1;
    }
    return *this;
}

void PageRef::markChanged() {
    Buffer& b = gBuffers[buf_];
    if (b.changed) return;
    b.changed = true;
    noteChanged(b);
}

bool PageRef::itemsClean() const {
    return gBuffers[buf_].itemsClean;
}

void PageRef::setItemsClean() {
    gBuffers[buf_].itemsClean = true;
}

inline PageRef::PageRef(int buf, int32_t page, const KeyState* key)
    : buf_(buf),
      page_(page),
      width_(key->itemWidth),
      pins_(&gBuffers[buf].pins),
      bytes_(gBuffers[buf].bytes.get()) {
    ++*pins_;
}

PageRef GetPage(Fileblock* fb, int keyNo, int32_t page) {
    KeyState& k = fb->keys[keyNo - 1];
    if (page < 1 || page > k.highPage) {
        // A link outside the pages of this key: the index is damaged.
        Fail(err::IndexDefective);
        return PageRef();
    }
    int hit = k.bufferOf(page);
    if (hit >= 0) {
        makeMostRecent(hit);
        return PageRef(hit, page, &k);
    }
    int i = takeVictim();
    if (i < 0) return PageRef();
    Buffer& b = gBuffers[i];
    if (!fb->index.read(pagePosition(fb, k, page), b.bytes.get(), size_t(k.pageSize))) {
        makeLeastRecent(i);
        return PageRef();
    }
    // A page that claims more items than it can hold is damaged: using it would read and
    // write past its end.
    int16_t n = rd16(b.bytes.get());
    if (n < 0 || n > k.itemsPerPage) {
        makeLeastRecent(i);
        Fail(err::IndexDefective);
        return PageRef();
    }
    if (!attach(k, page, i)) {
        makeLeastRecent(i);
        return PageRef();
    }
    b.owner = fb;
    b.keyNo = keyNo;
    b.page = page;
    b.changed = false;
    b.itemsClean = false;
    makeMostRecent(i);
    return PageRef(i, page, &k);
}

PageRef NewPage(Fileblock* fb, int keyNo, int32_t page) {
    KeyState& k = fb->keys[keyNo - 1];
    int i = k.bufferOf(page);
    if (i < 0) {
        i = takeVictim();
        if (i < 0) return PageRef();
        if (!attach(k, page, i)) {
            makeLeastRecent(i);
            return PageRef();
        }
        Buffer& b = gBuffers[i];
        b.owner = fb;
        b.keyNo = keyNo;
        b.page = page;
    }
    Buffer& b = gBuffers[i];
    std::memset(b.bytes.get(), 0, size_t(kMaxPageBytes));
    b.itemsClean = true;
    if (!b.changed) {
        b.changed = true;
        noteChanged(b);
    }
    makeMostRecent(i);
    return PageRef(i, page, &k);
}

void DropPage(Fileblock* fb, int keyNo, int32_t page) {
    KeyState& k = fb->keys[keyNo - 1];
    int i = k.bufferOf(page);
    if (i < 0) return;
    detach(i);
    makeLeastRecent(i);
}

bool FlushFileblockPages(Fileblock* fb, bool write) {
    bool ok = true;
    for (int keyNo = 1; keyNo <= fb->numKeys; ++keyNo) {
        KeyState& k = fb->keys[keyNo - 1];
        // Write in page order: the file is written front to back.
        for (size_t page = 0; page < k.pageBuffer.size(); ++page) {
            int i = k.pageBuffer[page];
            if (i < 0) continue;
            Buffer& b = gBuffers[i];
            if (write && b.changed && !writeBack(b)) ok = false;
            detach(i);
            makeLeastRecent(i);
        }
        k.pageBuffer.clear();
        forgetChangedPages(k);
        if (write && k.headerChanged) {
            if (WriteKeyHeader(fb, keyNo))
                k.headerChanged = false;
            else
                ok = false;
        }
    }
    return ok;
}

bool WriteChangedPages(Fileblock* fb) {
    for (int keyNo = 1; keyNo <= fb->numKeys; ++keyNo) {
        KeyState& k = fb->keys[keyNo - 1];
        if (k.scanAllPages) {
            for (size_t page = 0; page < k.pageBuffer.size(); ++page) {
                int i = k.pageBuffer[page];
                if (i >= 0 && gBuffers[i].changed && !writeBack(gBuffers[i])) return false;
            }
        } else {
            // In page order, as a scan of the whole table would write them.
            std::vector<int32_t>& pages = k.changedPages;
            if (pages.size() > 1) std::sort(pages.begin(), pages.end());
            for (int32_t page : pages) {
                int i = k.bufferOf(page);
                if (i >= 0 && gBuffers[i].changed && !writeBack(gBuffers[i])) return false;
            }
        }
        forgetChangedPages(k);
        if (k.headerChanged) {
            if (!WriteKeyHeader(fb, keyNo)) return false;
            k.headerChanged = false;
        }
    }
    return true;
}

int InitPool(int buffers) {
    gBuffers.clear();
    try {
        gBuffers.resize(size_t(buffers) + 1);
    } catch (const std::bad_alloc&) {
        gBuffers.clear();
        return 0;
    }
    gSentinel = buffers;
    gBuffers[gSentinel].prev = gBuffers[gSentinel].next = gSentinel;
    // The first eight buffers are allocated now so that the minimum is guaranteed; the
    // rest are allocated when first needed.
    int allocated = 0;
    for (int i = 0; i < buffers; ++i) {
        if (i < 8) {
            gBuffers[i].bytes.reset(new (std::nothrow) uint8_t[kMaxPageBytes]);
            if (!gBuffers[i].bytes) break;
        }
        insertAfter(gBuffers[gSentinel].prev, i);
        ++allocated;
    }
    if (allocated < 8) {
        gBuffers.clear();
        gSentinel = -1;
        return allocated;
    }
    return allocated;
}

void ExitPool() {
    gBuffers.clear();
    gBuffers.shrink_to_fit();
    gSentinel = -1;
}

}  // namespace invarro::storage
