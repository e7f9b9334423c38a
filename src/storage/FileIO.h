// Operating-system file access for the engine. Every failing call records the engine
// error it maps to, and the first failing call of an operation also records OsError and
// OsFunction.
#pragma once

#include <sys/types.h>
#include <sys/uio.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "storage/Engine.h"
#include "storage/EngineTesting.h"

namespace invarro::storage {

// Records a failure of the current operation (EngineOk false, EngineError = error).
void Fail(int32_t error);
// Records an operating-system failure: the engine error it maps to and, when none was
// recorded yet in this operation, OsError and OsFunction.
void FailOs(int16_t function, int osErrno);

bool FileExists(const std::string& name);
bool RemoveFile(const std::string& name);  // Fail()s on error
bool RenameFile(const std::string& from, const std::string& to);
bool CopyFile(const std::string& from, const std::string& to);
// Makes a file's contents durable by name (the file may be open elsewhere in this program).
bool SyncFile(const std::string& name);
// Makes the entries of a folder (files created, renamed or removed in it) durable.
bool SyncFolder(const std::string& folder);
// The folder part of a file name ("." when there is none).
std::string FolderOf(const std::string& fileName);

// Counts one file operation; true (with errno set) when the seam makes it fail. The seam
// may instead end or stop the process here.
bool FileFaultHit(FileOp op);

// Changes to one file made inside a transaction: whole 4 KB chunks of the file as the
// transaction sees them, each with the ranges of bytes the transaction changed. Nothing of
// it reaches the file until the transaction commits.
struct Overlay {
    static constexpr int64_t kChunk = 4096;
    // Changed ranges closer than this are kept as one: a run in the journal costs 12 bytes
    // of its own.
    static constexpr int32_t kRangeGap = 16;
    static constexpr int kRanges = 8;  // ranges a chunk tells apart; more are joined
    // The room of chunks is kept for reuse: each posting takes and gives back dozens.
    struct FreeChunk {
        void operator()(uint8_t* p) const noexcept;
    };
    using ChunkBytes = std::unique_ptr<uint8_t[], FreeChunk>;
    static ChunkBytes NewChunkBytes();  // null without memory
    struct Range {
        uint16_t lo, hi;  // [lo, hi) within the chunk
    };
    struct Chunk {
        ChunkBytes bytes;
        int32_t lo = kChunk;  // all changed bytes lie in [lo, hi)
        int32_t hi = 0;
        // The changed bytes themselves, in order, apart by more than kRangeGap (the
        // transaction's frame carries only these; bytes between them are as they were).
        int ranges = 0;
        Range range[kRanges];
        // Copies n bytes to off and notes those of them that differ from what the chunk
        // held: bytes written as they were are no change.
        void write(int32_t off, const uint8_t* in, size_t n);
        // Notes [lo, hi) as changed.
        void mark(int32_t lo, int32_t hi);
        // Forgets the changes at and past cut (the bytes there read as zeros now).
        void cutAt(int32_t cut);
    };
    std::map<int64_t, Chunk> chunks;  // by chunk number
    int64_t baseSize = 0;             // the file's size when the transaction first wrote it
    int64_t size = 0;                 // its size as the transaction sees it
    int64_t zeroFrom = INT64_MAX;     // bytes at or past this that no chunk holds read as 0
    bool empty() const { return chunks.empty() && size == baseSize && zeroFrom == INT64_MAX; }
};
// Calls f(lo, hi) for the stretches of n bytes where now differs from before, found 16
// bytes at a time (a stretch may take a few equal bytes at its ends along, and runs on
// until 16 equal bytes follow it).
template <class F>
void ForEachDifference(const uint8_t* before, const uint8_t* now, size_t n, F&& f) {
    auto word = [](const uint8_t* p) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        return w;
    };
    auto same = [&](size_t i) {
        return ((word(before + i) ^ word(now + i)) | (word(before + i + 8) ^ word(now + i + 8))) ==
               0;
    };
    const size_t whole = n / 16 * 16;
    size_t i = 0;
    while (i < whole) {
        if (same(i)) {
            i += 16;
            continue;
        }
        const size_t first = i;
        for (i += 16; i < whole && !same(i); i += 16) {
        }
        f(first, i);
    }
    size_t lo = n, hi = 0;
    for (; i < n; ++i)
        if (before[i] != now[i]) {
            lo = std::min(lo, i);
            hi = i + 1;
        }
    if (hi > lo) f(lo, hi);
}

// Calls f for each run of changed bytes in file order (changes that meet across a chunk's
// end make one run), given as the pieces of the chunks that hold it, n bytes in all;
// stops at the first false.
template <class F>
bool ForEachRun(const Overlay& ov, F&& f) {
    std::vector<iovec> pieces;
    int64_t start = 0, end = -1;
    for (const auto& [number, c] : ov.chunks) {
        const int64_t base = number * Overlay::kChunk;
        for (int r = 0; r < c.ranges; ++r) {
            const int64_t lo = base + c.range[r].lo;
            const int64_t hi = std::min<int64_t>(base + c.range[r].hi, ov.size);
            if (hi <= lo) continue;
            if (lo != end && !pieces.empty()) {
                if (!f(start, pieces, size_t(end - start))) return false;
                pieces.clear();
            }
            if (pieces.empty()) start = lo;
            pieces.push_back(iovec{c.bytes.get() + c.range[r].lo, size_t(hi - lo)});
            end = hi;
        }
    }
    return pieces.empty() || f(start, pieces, size_t(end - start));
}
// What the runs of an overlay take in a frame at most: their bytes and 12 bytes each.
size_t RunBytesBound(const Overlay& ov);

// A file opened exclusively (flock) by this process.
class OsFile {
  public:
    OsFile() = default;
    OsFile(const OsFile&) = delete;
    OsFile& operator=(const OsFile&) = delete;
    ~OsFile() { closeQuietly(); }

    // Opens an existing file; create makes a new empty file (replacing any).
    bool open(const std::string& name, bool readOnly, bool create);
    // Creates a file that must not exist yet (nor be a link), with the given mode, for
    // writing; it is not locked.
    bool openNew(const std::string& name, unsigned mode);
    // Opens a second handle of a file this program holds (and has locked) that writes past
    // the page cache (O_DIRECT): buffers, positions and lengths must then be multiples of
    // the disk's block. False, with nothing recorded, where the file system refuses it.
    bool openUnbuffered(const std::string& name);
    bool close();
    void closeQuietly();
    bool isOpen() const { return fd_ >= 0; }

    // Reads exactly n bytes; a short read fails with 10070 (shortOk: returns the count).
    bool read(int64_t pos, void* buf, size_t n);
    int64_t readSome(int64_t pos, void* buf, size_t n);  // -1 on error
    bool write(int64_t pos, const void* buf, size_t n);
    // Writes the parts one after another from pos, in as few system calls as it can.
    bool writev(int64_t pos, const std::vector<iovec>& parts);
    int64_t size();
    bool truncate(int64_t size);
    // Makes the file's contents durable (fdatasync).
    bool sync();
    // Reserves disk space for the file up to size bytes, growing it to that size when it
    // is shorter (a full disk is reported here, before anything is overwritten).
    bool allocate(int64_t size);
    // Reserves disk space from..to without changing the file's length; false with ENOSPC
    // when the disk is full. A file system that cannot reserve reports success.
    bool reserve(int64_t from, int64_t to);

    // Takes over another handle's open file (other is left closed).
    void takeFrom(OsFile& other) {
        closeQuietly();
        std::swap(fd_, other.fd_);
        name_ = std::move(other.name_);
        dev_ = other.dev_;
        ino_ = other.ino_;
    }

    const std::string& name() const { return name_; }
    int descriptor() const { return fd_; }
    dev_t device() const { return dev_; }
    ino_t inode() const { return ino_; }

  private:
    bool adopt(int fd, const std::string& name);

    int fd_ = -1;
    std::string name_;
    dev_t dev_ = 0;
    ino_t ino_ = 0;
};

// The data file or the index file of an open fileblock. Reads come from a read-only memory
// map of the file (no system call, no copy through a private cache); where the file cannot
// be mapped they come from a small read cache of 4 KB chunks instead. Outside a transaction
// all writes go to the operating system at once with pwrite; the map shows them as soon as
// they are written, and any cached chunk is updated, so a read never returns bytes that
// differ from the file.
//
// Inside a transaction writes go to the file's overlay and reads see it over the file,
// until the commit (after the journal holds it) or the rollback drops it. The commit keeps
// it, with the changes of earlier commits, as the file's committed changes: reads see them
// over the file until the checkpoint writes them, once for all those commits.
class RecordFile {
  public:
    RecordFile() = default;
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;
    ~RecordFile() { unmap(); }

    bool open(const std::string& name, bool readOnly, bool create);
    bool close();
    void closeQuietly();
    bool isOpen() const { return file_.isOpen(); }
    const std::string& name() const { return file_.name(); }
    dev_t device() const { return file_.device(); }
    ino_t inode() const { return file_.inode(); }
    // Takes over another handle's open file, map, cache and overlay (other is left closed).
    void takeFrom(RecordFile& other);

    bool read(int64_t pos, void* buf, size_t n);
    // Reads past the cache (for batch readers with buffers of their own).
    int64_t readSomeDirect(int64_t pos, void* buf, size_t n);
    bool write(int64_t pos, const void* buf, size_t n);
    int64_t size();
    bool truncate(int64_t size);
    void dropCache();

    // ----- used by the transaction
    const Overlay* overlay() const { return overlay_.get(); }
    bool hasChanges() const { return (overlay_ && !overlay_->empty()) || !direct_.empty(); }
    // The file's length before the transaction and after it, and its cut (-1: none), as
    // its frame tells them.
    int64_t lengthBefore() { return overlay_ ? overlay_->baseSize : committedSize(); }
    int64_t lengthAfter() { return overlay_ ? overlay_->size : committedSize(); }
    int64_t cutAt() const {
        return overlay_ && overlay_->zeroFrom < overlay_->baseSize ? overlay_->zeroFrom : -1;
    }
    // Bytes the commit writes while it makes its frame (the pages and headers the
    // fileblocks still hold) go straight into its runs where the transaction's chunks do
    // not hold them: only the bytes that differ from the committed changes are kept, and
    // no chunk is made for them until the frame is durable.
    struct DirectRun {
        int64_t pos;
        uint32_t at, n;        // the bytes: direct_ bytes [at, at + n)
        Overlay::Chunk* into;  // the committed chunk they go into (null: not made yet)
    };
    template <class F>
    void forEachDirectRun(F&& f) const {
        for (const DirectRun& r : direct_)
            f(r.pos, directBytes_.data() + r.at, size_t(r.n));
    }
    size_t directBytesBound() const { return directBytes_.size() + 12 * direct_.size(); }
    // The frame is durable: the direct runs join the committed changes.
    bool applyDirect();
    void dropOverlay() {
        overlay_.reset();
        dropDirect();
    }
    // Reserves disk space for the length the transaction grows the file to (without
    // changing the file), so that a full disk is met before the commit, not after.
    bool reserveForOverlay();
    // The transaction is in the journal: its overlay joins the committed changes.
    bool commitOverlay();
    // Writes the committed changes to the file (a cut first, then the bytes, then the final
    // length; not synced) and drops them.
    bool applyCommitted();
    bool hasCommitted() const { return committed_ != nullptr; }
    // Committed changes of this file are in the journal and not yet synced to the file.
    bool journaled = false;
    bool sync() { return file_.sync(); }

  private:
    // Reads and writes of the file itself, past any layer.
    bool readBase(int64_t pos, void* buf, size_t n);
    bool writeBase(int64_t pos, const void* buf, size_t n);
    bool truncateBase(int64_t size);
    bool writeBaseParts(int64_t pos, const std::vector<iovec>& parts);
    // n bytes within the length of the changes made to the file, through them.
    bool readOverlaid(int64_t pos, uint8_t* out, size_t n);
    // n bytes through the given layer of changes, over the committed changes (when the
    // layer is the transaction's) or the file.
    bool readLayer(const Overlay& ov, int64_t pos, uint8_t* out, size_t n);
    // Bytes under a layer of changes: the committed changes under the transaction's, the
    // file itself under the committed ones.
    bool readUnder(const Overlay& ov, int64_t pos, uint8_t* out, size_t n);
    // Bytes as the transaction finds them: through the committed changes, or the file.
    bool readBelow(int64_t pos, uint8_t* out, size_t n);
    // The file's length with its committed changes.
    int64_t committedSize();
    Overlay* overlayForWrite();
    Overlay::Chunk* chunkForWrite(Overlay& ov, int64_t chunk);
    // The committed view of n bytes from pos inside one chunk, where the transaction has
    // not changed them: a pointer to them, or null.
    const uint8_t* committedBytes(int64_t pos, size_t n, Overlay::Chunk*& chunk);
    // Keeps a write of the commit as direct runs; false when it cannot be (then it is
    // written to the transaction's chunks).
    bool writeDirect(int64_t pos, const uint8_t* in, size_t n);
    bool overlapsDirect(int64_t pos, size_t n) const;
    // A write into the transaction's chunks.
    bool writeOverlay(int64_t pos, const uint8_t* in, size_t n);
    // Writes the direct runs to the transaction's chunks after all (before a read or an
    // overlapping write), in the order they came.
    bool settleDirect();
    void dropDirect() {
        direct_.clear();
        directBytes_.clear();
        directSpans_.clear();
    }
    // The committed changes' chunk, made from the file when they have none.
    Overlay::Chunk* committedChunk(int64_t chunk);

    static constexpr int64_t kChunk = 4096;
    static constexpr int kSlots = 256;
    static constexpr int kReadAhead = 16;
    static_assert(kSlots * kChunk == kDataReadCacheBytes);

    struct Slot {
        int64_t chunk = -1;
        int32_t valid = 0;  // bytes of the chunk that exist in the file
    };
    bool loadRun(int64_t chunk);
    uint8_t* slotData(int s) { return cache_.get() + int64_t(s) * kChunk; }
    bool readCached(int64_t pos, uint8_t* out, size_t n);
    // Maps at least the first `need` bytes (all inside the file); false when it cannot.
    bool mapTo(int64_t need);
    void unmap();

    OsFile file_;
    std::unique_ptr<uint8_t[]> cache_;
    Slot slots_[kSlots];
    int64_t lastLoaded_ = -2;

    // The map covers mapLen_ bytes from the start of the file, of which only the first
    // fileSize_ (the file's size as this handle wrote it) are ever touched: a page past the
    // end of a file must not be read through a map.
    uint8_t* map_ = nullptr;
    int64_t mapLen_ = 0;
    int64_t fileSize_ = 0;
    bool mapRefused_ = false;

    std::unique_ptr<Overlay> overlay_;
    std::unique_ptr<Overlay> committed_;  // committed, not yet written to the file
    std::vector<DirectRun> direct_;
    std::vector<uint8_t> directBytes_;
    std::vector<std::pair<int64_t, int64_t>> directSpans_;  // the writes they came from
    int64_t reserved_ = 0;  // disk space known to be reserved for the file
};

}  // namespace invarro::storage
