// The engine's in-memory structures, shared by its units (not part of the public API).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "storage/Bytes.h"
#include "storage/Engine.h"
#include "storage/FileIO.h"

namespace invarro::storage {

inline constexpr uint32_t kValidMarker = 0x5A4B4642;  // set by open, cleared by close
inline constexpr int kDataHeaderSize = 21;
inline constexpr int kKeyHeaderSize = 28;
inline constexpr int kMaxPathDepth = 32;
// Largest page: 62 items of the longest key (30 + 9 bytes) after the 6-byte page header.
inline constexpr int kMaxPageBytes = kPageBufferBytes;

inline int PageSizeFor(int keyLength, int itemsPerPage) {
    return 6 + itemsPerPage * (keyLength + 9);
}

struct PathLevel {
    int32_t page;
    int pos;  // 0: before the first item (leftmost child); j: item j (1-based)
};

struct Path {
    PathLevel level[kMaxPathDepth];  // levels from depth on are not set
    int depth = 0;
    void clear() { depth = 0; }
    bool push(int32_t page, int pos) {
        if (depth >= kMaxPathDepth) return false;
        level[depth++] = PathLevel{page, pos};
        return true;
    }
};

// One key (B-tree) of an open fileblock.
struct KeyState {
    // Header fields as stored in the index file.
    int32_t freeHead = -1;
    int32_t freeCount = 0;
    int32_t highPage = 0;
    int32_t pageSize = 0;
    int32_t root = 0;
    bool duplicates = false;
    int32_t entries = 0;
    int itemsPerPage = kItemsPerPage;

    int keyLength = 0;
    int itemWidth = 0;  // keyLength + 9
    int64_t sectionOffset = 0;
    bool headerChanged = false;

    // The last entry added went after every entry of the key (a hint for the next add).
    bool addingInOrder = false;

    // Current position for NextKey and PrevKey.
    Path path;
    bool pathValid = false;

    // The pool buffer holding each page of this key, by page number (-1: not in the pool).
    // Page numbers are dense, so a table finds a page in one step.
    std::vector<int32_t> pageBuffer;
    int bufferOf(int32_t page) const {
        return page >= 0 && size_t(page) < pageBuffer.size() ? pageBuffer[size_t(page)] : -1;
    }
    // The pages whose buffers became changed since their key's pages were last written, so
    // that a commit visits those alone. A page may be listed twice or no longer be changed
    // (written early by an eviction, or dropped); the writer skips those. When the list
    // would outgrow the table of pages (many changes outside a transaction) or cannot
    // grow, it is dropped and the writer looks at every buffer of the key instead.
    std::vector<int32_t> changedPages;
    bool scanAllPages = false;

    int minItems() const { return itemsPerPage / 2; }
};

// The header state of a fileblock as a transaction found it, for its rollback.
struct KeyHeaderState {
    int32_t freeHead = -1, freeCount = 0, highPage = 0, root = 0, entries = 0;
    bool headerChanged = false;
};
struct FileblockState {
    int32_t chainHead = -1, deletedCount = 0, high = 0;
    int32_t indexRecords = 0;  // index records the file holds
    bool updateInProgress = false;
    bool keepUpdateFlag = false;
    std::vector<KeyHeaderState> keys;
};

class BackendFileblock;

struct Fileblock {
    uint32_t marker = 0;
    uint32_t serial = 0;
    BackendFileblock* backend = nullptr;  // set when the fileblock lives in a backend
    RecordFile data;
    RecordFile index;
    std::string dataName;
    std::string indexName;
    std::string mountedName;  // a backend's fileblock: its folder and name, no extension
    bool readOnly = false;
    bool updateInProgress = false;
    bool keepUpdateFlag = false;  // close leaves byte 20 set (an index left incomplete)

    // Data file header counters.
    int32_t chainHead = -1;
    int32_t deletedCount = 0;
    int32_t high = 0;
    int32_t recordLength = 0;

    int numKeys = 0;
    int64_t indexRecordSize = 0;  // R: the sum of all page sizes
    int32_t indexRecords = 0;     // index records holding pages (the largest page count)
    std::vector<KeyState> keys;   // keys[0] is key 1

    uint32_t joinedTransaction = 0;  // the serial of the transaction it changed in (0 none)
    FileblockState beforeTransaction;
};

// ----- status and entry checks

// Keeps the first failure's status while cleaning up after it.
struct SavedStatus {
    bool ok = EngineOk;
    int32_t error = EngineError;
    int32_t os = OsError;
    int16_t fn = OsFunction;
    void restore() const {
        EngineOk = ok;
        EngineError = error;
        OsError = os;
        OsFunction = fn;
    }
};

bool EnginePoolStarted();
void ResetStatus();
// The entry check of every operation on a fileblock. keyNo < 0 means "no key number".
bool EntryCheck(const Fileblock* fb, bool changes, int keyNo = -1);
// The exit step: an OS error on a read-only fileblock is reported as 10397.
void ExitStep(const Fileblock* fb);
// Sets the update-in-progress flag on disk the first time the fileblock changes.
bool MarkChanged(Fileblock* fb);
int64_t slotPos(const Fileblock* fb, int32_t n);
// Puts a slot on the deleted-record chain (no check of its deleted mark).
bool PushDeletedSlot(Fileblock* fb, int32_t recNo);
// Reads the data header of an already opened data file into fb.
bool ReadDataHeader(Fileblock* fb, uint8_t header[kDataHeaderSize]);
bool WriteDataHeader(Fileblock* fb, bool inProgress);
std::vector<Fileblock*>& OpenList();
void removeQuietly(const std::string& name);
// False (with 10140) when another open holds the file exclusively.
bool FileNotHeld(const std::string& name);
std::string DiaFileName(std::string_view name);
// Creates a data file and, with keys, an index file under the given file names.
bool CreateFileblockFiles(const std::string& dataName, const std::string& indexName,
                          int recordLength, int numKeys, const KeyDescriptor* keys);
// Opens a fileblock whose update-in-progress flag is set, for the reindex that repairs it.
// The status must have been reset and the engine started.
Fileblock* OpenFileblockIgnoringUpdateFlag(const std::string& name);

// ----- page buffer pool

class PageRef;
PageRef GetPage(Fileblock* fb, int keyNo, int32_t page);
PageRef NewPage(Fileblock* fb, int keyNo, int32_t page);

// A page of one key held in a pool buffer, pinned while the object lives so that it is
// not evicted under the caller.
class PageRef {
  public:
    PageRef() = default;
    PageRef(const PageRef&) = delete;
    PageRef& operator=(const PageRef&) = delete;
    PageRef(PageRef&& o) noexcept;
    PageRef& operator=(PageRef&& o) noexcept;
    ~PageRef() { release(); }

    bool ok() const { return buf_ >= 0; }
    void release() {
        if (buf_ >= 0) --*pins_;
        buf_ = -1;
    }
    void markChanged();
    // Whether every item of the page is known to be as storeItem writes it (key length at
    // most the key's, zeros after the key): true for pages built in the pool, not for
    // pages read from the file until they are rewritten whole.
    bool itemsClean() const;
    void setItemsClean();

    // The page's bytes stay where they are while the page is pinned, so the accessors
    // below work on a pointer taken once.
    uint8_t* bytes() const { return bytes_; }
    int32_t page() const { return page_; }
    int count() const { return rd16(bytes_); }
    void setCount(int n) { wr16(bytes_, int16_t(n)); }
    int32_t leftmost() const { return rd32(bytes_ + 2); }
    void setLeftmost(int32_t page) { wr32(bytes_ + 2, page); }
    bool isLeaf() const { return leftmost() == 0; }
    // Items are 1-based as in the search.
    uint8_t* item(int j) const { return bytes_ + 6 + (j - 1) * width_; }
    int32_t rec(int j) const { return rd32(item(j)); }
    int32_t child(int j) const { return rd32(item(j) + 4); }
    // Child below position j: the leftmost child for 0, else the child of item j.
    int32_t childAt(int j) const { return j == 0 ? leftmost() : child(j); }

  private:
    friend PageRef GetPage(Fileblock* fb, int keyNo, int32_t page);
    friend PageRef NewPage(Fileblock* fb, int keyNo, int32_t page);
    PageRef(int buf, int32_t page, const KeyState* key);  // pins the buffer
    int buf_ = -1;
    int32_t page_ = 0;
    int width_ = 0;
    int* pins_ = nullptr;  // the buffer's pin count
    uint8_t* bytes_ = nullptr;
};

PageRef GetPage(Fileblock* fb, int keyNo, int32_t page);  // reads from the file on a miss
PageRef NewPage(Fileblock* fb, int keyNo, int32_t page);  // an empty page, no read
// Writes every changed page and key header of the fileblock and detaches its buffers.
bool FlushFileblockPages(Fileblock* fb, bool write);
// Writes every changed page and key header of the fileblock, keeping the pages in the pool.
bool WriteChangedPages(Fileblock* fb);
// Drops the buffer of one page without writing it (the page was freed).
void DropPage(Fileblock* fb, int keyNo, int32_t page);

int InitPool(int buffers);
void ExitPool();

// ----- B-tree helpers used by open and close, and by the reindex

// An item outside its page: record number, child page and key string.
struct Item {
    int32_t rec = 0;
    int32_t child = 0;
    uint8_t len = 0;
    uint8_t key[kMaxKeyLength] = {};
};
// Writes an item at dst in the key's page layout, its key padded with zeros.
inline void WriteItem(const KeyState& k, uint8_t* dst, const Item& it) {
    wr32(dst, it.rec);
    wr32(dst + 4, it.child);
    dst[8] = it.len;
    CopyShort(dst + 9, it.key, it.len);
    if (it.len < k.keyLength) std::memset(dst + 9 + it.len, 0, size_t(k.keyLength - it.len));
}

class KeyEntries;
// Builds the trees of keys whose trees are still empty (a new index) from their entries in
// index order, with pages about three quarters full (never fewer items than a page must
// hold, never more than fit), and writes the pages to the index file in large pieces.
bool BulkLoadKeys(Fileblock* fb, const std::vector<std::pair<int, const KeyEntries*>>& keys);

bool ReadKeyHeaders(Fileblock* fb);
bool WriteKeyHeader(Fileblock* fb, int keyNo);
void EncodeKeyHeader(const KeyState& k, uint8_t out[kKeyHeaderSize]);

}  // namespace invarro::storage
