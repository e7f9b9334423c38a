// Transactions over the fileblocks of one data folder, and the journal they commit through.
//
// The mechanism is a redo log. The engine already writes every change of a fileblock
// through two file handles (its data file and its index file), and keeps index pages in
// the page pool until they are written, so a transaction needs nothing new in the record
// and key operations: while it is open, the file handles keep the bytes written to them in
// an overlay over the file, and reads see the overlay. Nothing reaches a file before the
// commit. The commit writes the changed byte ranges of every file, with their lengths, as
// one frame to the end of the folder's journal and syncs the journal once; the files keep
// the changes in memory over them, for every read in this program, until a checkpoint
// writes them to the files and syncs those. A commit thus costs one write and one sync. An
// undo log would instead have to sync the original bytes before the first change of every
// page, once per file and posting.
//
// The journal is a side file of the data folder:
//   header  "INVJRNL1", version, header size, salt, the folder's device and inode number,
//           checksum; alone in the first 4 KiB block
//   frames  "TXFR", file count, salt, sequence number, payload length; per file its name in
//           the folder, device and inode number, length before, cut point (or -1), length
//           after and its runs of bytes (position, length, bytes); then a checksum of the
//           frame and "TXOK". Each frame begins on a block of its own (the one before is
//           padded with zeros), numbered from 1 on after the header.
// All numbers little-endian. A frame counts only when it is whole, its checksum right, its
// salt that of the header and its number the next: a frame torn by a kill or a power cut
// is not a transaction. (Journals of version 1 have their frames one after another from
// the end of the header, and are still replayed.)
//
// The journal is grown ahead of its frames in steps of written zeros and, after a
// checkpoint, begun again from its start with a new salt, so that a commit writes over
// blocks the file already has: its sync then changes neither the file's length nor its
// blocks. Where the file system allows, the frames go past the page cache (O_DIRECT) and
// the sync has no pages to write back. No commit writes into a block that holds part of
// an earlier frame, so a torn write cannot take a committed frame with it.
// Recovery writes every whole frame again, in order, then removes the journal. A journal
// whose folder or files are not this folder's own (by device and inode number) is removed
// without being applied.
//
// Durability: a commit returns after the journal is synced (and, when the journal was just
// created, its folder), so a power cut after that loses nothing. The files themselves are
// synced at a checkpoint, which then empties the journal. One program at a
// time uses a folder's journal: it holds an exclusive lock on it from the first commit to the
// checkpoint; the operating system drops that lock when the program dies.
//
// A full disk: the commit reserves the disk space every file grows to (without changing
// the files) before it writes the frame, so a full disk is met while the transaction can
// still be rolled back, and the files' bytes are then written into space that is there.

#include "storage/Transaction.h"

#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "storage/Backend.h"
#include "storage/Bytes.h"
#include "storage/EngineInternal.h"
#include "storage/FileIO.h"
#include "storage/TransactionInternal.h"

namespace invarro::storage {

namespace {

constexpr char kJournalMagic[8] = {'I', 'N', 'V', 'J', 'R', 'N', 'L', '1'};
constexpr uint32_t kJournalVersion = 2;
constexpr uint32_t kPackedVersion = 1;  // frames one after another (earlier programs)
constexpr int kHeaderSize = 48;
constexpr int64_t kBlock = 4096;  // frames begin on it; unbuffered writes are multiples of it
// The journal grows ahead of its frames by its own length, within these bounds.
constexpr int64_t kGrowMin = 64 << 10;
constexpr int64_t kGrowMax = 4 << 20;
constexpr uint32_t kFrameMagic = 0x52465854;   // "TXFR"
constexpr uint32_t kCommitMagic = 0x4B4F5854;  // "TXOK"
constexpr int kFrameHeaderSize = 32;
constexpr int kFrameTrailerSize = 16;
// A journal past this size is checkpointed after the commit that grew it.
constexpr int64_t kCheckpointBytes = 16ll << 20;

// A growing run of bytes in memory that begins on a block boundary, as writes past the
// page cache need; its room is kept when it is cleared.
class JournalBytes {
  public:
    JournalBytes() = default;
    JournalBytes(const JournalBytes&) = delete;
    JournalBytes& operator=(const JournalBytes&) = delete;
    ~JournalBytes() { std::free(data_); }

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    size_t capacity() const { return capacity_; }
    uint8_t& operator[](size_t i) { return data_[i]; }
    void clear() { size_ = 0; }
    // Lets the room go.
    void release() {
        std::free(data_);
        data_ = nullptr;
        size_ = capacity_ = 0;
    }
    void reserve(size_t n) {
        if (n <= capacity_) return;
        const size_t room = (n + size_t(kBlock) - 1) / size_t(kBlock) * size_t(kBlock);
        auto* p = static_cast<uint8_t*>(std::aligned_alloc(size_t(kBlock), room));
        if (!p) throw std::bad_alloc();
        if (size_) std::memcpy(p, data_, size_);
        std::free(data_);
        data_ = p;
        capacity_ = room;
    }
    void append(const void* p, size_t n) {
        if (size_ + n > capacity_) [[unlikely]]
            grow(size_ + n);
        if (n) std::memcpy(data_ + size_, p, n);
        size_ += n;
    }
    void push_back(uint8_t b) { *extend(1) = b; }
    // Grows by n bytes (not yet set) and returns where they begin.
    uint8_t* extend(size_t n) {
        if (size_ + n > capacity_) [[unlikely]]
            grow(size_ + n);
        size_ += n;
        return data_ + size_ - n;
    }
    // Grows with zeros (or cuts short) to n bytes.
    void resize(size_t n) {
        if (n > size_) {
            reserve(n);
            std::memset(data_ + size_, 0, n - size_);
        }
        size_ = n;
    }

  private:
    [[gnu::noinline]] void grow(size_t n) { reserve(std::max(n, capacity_ * 2)); }

    uint8_t* data_ = nullptr;
    size_t size_ = 0, capacity_ = 0;
};

int64_t RoundUp(int64_t n, int64_t to) {
    return (n + to - 1) / to * to;
}

alignas(4096) uint8_t gZeros[64 << 10];

// Numbers in the journal are little-endian: on such a processor as they are in memory.
template <class T>
void putLE(JournalBytes& b, T v) {
    uint8_t* p = b.extend(sizeof v);
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &v, sizeof v);
    } else {
        for (size_t i = 0; i < sizeof v; ++i)
            p[i] = uint8_t(v >> (8 * i));
    }
}
void put32(JournalBytes& b, uint32_t v) {
    putLE(b, v);
}
void put64(JournalBytes& b, uint64_t v) {
    putLE(b, v);
}
uint32_t get32(const uint8_t* p) {
    return uint32_t(rd32(p));
}
uint64_t get64(const uint8_t* p) {
    return uint64_t(get32(p)) | uint64_t(get32(p + 4)) << 32;
}

// A 64-bit checksum over 8-byte words in four lanes: any torn, cut or shifted frame
// changes it.
uint64_t Checksum(const uint8_t* p, size_t n) {
    constexpr uint64_t k1 = 0x9E3779B185EBCA87ull, k2 = 0xC2B2AE3D27D4EB4Full;
    uint64_t l0 = 0x27D4EB2F165667C5ull ^ (uint64_t(n) * k1), l1 = k1, l2 = k2, l3 = k1 ^ k2;
    auto mix = [](uint64_t h, uint64_t w) {
        h ^= w * k2;
        return (h << 31 | h >> 33) * k1;
    };
    auto word = [](const uint8_t* q) {
        uint64_t w;
        std::memcpy(&w, q, 8);
        return w;
    };
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        l0 = mix(l0, word(p + i));
        l1 = mix(l1, word(p + i + 8));
        l2 = mix(l2, word(p + i + 16));
        l3 = mix(l3, word(p + i + 24));
    }
    uint64_t h = l0 ^ (l1 << 7 | l1 >> 57) ^ (l2 << 13 | l2 >> 51) ^ (l3 << 29 | l3 >> 35);
    for (; i + 8 <= n; i += 8)
        h = mix(h, word(p + i));
    uint64_t tail = 0;
    for (size_t j = 0; i + j < n; ++j)
        tail |= uint64_t(p[i + j]) << (8 * j);
    h = mix(h, tail);
    h ^= h >> 33;
    h *= k2;
    h ^= h >> 29;
    h *= k1;
    h ^= h >> 32;
    return h;
}

uint64_t NewSalt() {
    uint64_t salt = 0;
    if (::getrandom(&salt, sizeof salt, 0) != ssize_t(sizeof salt))
        salt = uint64_t(::getpid()) << 32 ^ uint64_t(::time(nullptr));
    return salt | 1;
}

bool FolderIdentity(const std::string& folder, uint64_t& dev, uint64_t& ino) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return false;
    dev = uint64_t(st.st_dev);
    ino = uint64_t(st.st_ino);
    return true;
}

std::string BaseName(const std::string& name) {
    size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool SameFolder(const std::string& a, const std::string& b) {
    if (a == b) return true;
    uint64_t da, ia, db, ib;
    return FolderIdentity(a, da, ia) && FolderIdentity(b, db, ib) && da == db && ia == ib;
}

// ------------------------------------------------------------------- the open transaction

// Set while the commit writes the pages and headers the fileblocks hold.
bool gCommitWritesDirect = false;

struct Transaction {
    uint32_t serial = 0;
    std::string folder;                               // set by the first changed file
    std::vector<RecordFile*> files;                   // every file written in it
    std::vector<Fileblock*> blocks;                   // the fileblocks changed in it that are open
    std::vector<std::unique_ptr<RecordFile>> parked;  // files of fileblocks closed in it
};
std::unique_ptr<Transaction> gTxn;
uint32_t gTxnSerial = 0;

// The journal this program holds, locked, from its first commit to the next checkpoint.
struct HeldJournal {
    OsFile file;
    OsFile unbuffered;     // the same file past the page cache, where that is allowed
    int64_t prepared = 0;  // the journal's length the disk already has blocks written for
    std::string folder;
    std::string name;
    int64_t end = 0;
    uint64_t salt = 0;
    uint64_t seq = 0;
    bool needsFolderSync = false;        // created and not yet made durable in its folder
    std::vector<RecordFile*> journaled;  // files with committed changes not yet synced
    // Files of fileblocks closed since their changes were committed: kept open, with their
    // locks, until the checkpoint syncs them (an open of the same file takes one back).
    std::vector<std::unique_ptr<RecordFile>> parked;
    bool broken = false;  // a committed frame could not join its files' committed changes
    JournalBytes frame;   // the buffer frames are made in, kept for its room
};
std::unique_ptr<HeldJournal> gJournal;
// The folder whose emptied journal this program let go of at an idle checkpoint; it is
// removed at exit unless another commit used it since.
std::string gSettledFolder;

void removeFrom(std::vector<RecordFile*>& v, RecordFile* f) {
    v.erase(std::remove(v.begin(), v.end(), f), v.end());
}
void replaceIn(std::vector<RecordFile*>& v, RecordFile* from, RecordFile* to) {
    std::replace(v.begin(), v.end(), from, to);
}

FileblockState SaveState(const Fileblock* fb) {
    FileblockState s;
    s.chainHead = fb->chainHead;
    s.deletedCount = fb->deletedCount;
    s.high = fb->high;
    s.indexRecords = fb->indexRecords;
    s.updateInProgress = fb->updateInProgress;
    s.keepUpdateFlag = fb->keepUpdateFlag;
    for (const KeyState& k : fb->keys)
        s.keys.push_back(KeyHeaderState{k.freeHead, k.freeCount, k.highPage, k.root, k.entries,
                                        k.headerChanged});
    return s;
}

void RestoreState(Fileblock* fb, const FileblockState& s) {
    fb->chainHead = s.chainHead;
    fb->deletedCount = s.deletedCount;
    fb->high = s.high;
    // Index records a rolled-back transaction added are not in the file: the next page
    // beyond them is written as a whole new record again.
    fb->indexRecords = s.indexRecords;
    fb->updateInProgress = s.updateInProgress;
    fb->keepUpdateFlag = s.keepUpdateFlag;
    for (size_t i = 0; i < fb->keys.size() && i < s.keys.size(); ++i) {
        KeyState& k = fb->keys[i];
        const KeyHeaderState& h = s.keys[i];
        k.freeHead = h.freeHead;
        k.freeCount = h.freeCount;
        k.highPage = h.highPage;
        k.root = h.root;
        k.entries = h.entries;
        k.headerChanged = h.headerChanged;
        k.path.clear();
        k.pathValid = false;
    }
}

// ------------------------------------------------------------------------ journal frames

void EncodeHeader(JournalBytes& b, uint64_t salt, uint64_t dev, uint64_t ino) {
    b.append(kJournalMagic, 8);
    put32(b, kJournalVersion);
    put32(b, kHeaderSize);
    put64(b, salt);
    put64(b, dev);
    put64(b, ino);
    put64(b, Checksum(b.data() + b.size() - 40, 40));
}

// One frame for the changes of the given files.
bool EncodeFrame(JournalBytes& b, const std::vector<RecordFile*>& files, uint64_t salt,
                 uint64_t seq) {
    const size_t start = b.size();
    // Room for the whole frame at once: a file's part is at most its name, 46 bytes and
    // its runs; and the padding to the next block.
    size_t bound = start + kFrameHeaderSize + kFrameTrailerSize + size_t(kBlock);
    for (RecordFile* f : files)
        bound += f->name().size() + 46 + (f->overlay() ? RunBytesBound(*f->overlay()) : 0) +
                 f->directBytesBound();
    b.reserve(bound);
    put32(b, kFrameMagic);
    put32(b, uint32_t(files.size()));
    put64(b, salt);
    put64(b, seq);
    put64(b, 0);  // payload length, set below
    for (RecordFile* f : files) {
        std::string base = BaseName(f->name());
        b.push_back(uint8_t(base.size()));
        b.push_back(uint8_t(base.size() >> 8));
        b.append(base.data(), base.size());
        put64(b, uint64_t(f->device()));
        put64(b, uint64_t(f->inode()));
        put64(b, uint64_t(f->lengthBefore()));
        put64(b, uint64_t(f->cutAt()));
        put64(b, uint64_t(f->lengthAfter()));
        const size_t countAt = b.size();
        put32(b, 0);
        uint32_t runs = 0;
        if (f->overlay())
            ForEachRun(*f->overlay(), [&](int64_t pos, const std::vector<iovec>& pieces, size_t n) {
                put64(b, uint64_t(pos));
                put32(b, uint32_t(n));
                for (const iovec& v : pieces) {
                    const auto* bytes = static_cast<const uint8_t*>(v.iov_base);
                    b.append(bytes, v.iov_len);
                }
                ++runs;
                return true;
            });
        // Runs the commit wrote straight to the frame come after: they are the later writes.
        f->forEachDirectRun([&](int64_t pos, const uint8_t* bytes, size_t n) {
            put64(b, uint64_t(pos));
            put32(b, uint32_t(n));
            b.append(bytes, n);
            ++runs;
        });
        wr32(b.data() + countAt, int32_t(runs));
    }
    const uint64_t payload = b.size() - start - kFrameHeaderSize;
    for (int i = 0; i < 8; ++i)
        b[start + 24 + size_t(i)] = uint8_t(payload >> (8 * i));
    put64(b, Checksum(b.data() + start, b.size() - start));
    put32(b, kCommitMagic);
    put32(b, 0);
    return true;
}

// A file's part of a frame, as read back from a journal.
struct FrameFile {
    std::string name;
    uint64_t dev = 0, ino = 0;
    int64_t baseSize = 0, zeroFrom = -1, size = 0;
    struct Run {
        int64_t pos;
        const uint8_t* bytes;
        uint32_t n;
    };
    std::vector<Run> runs;
};

// Reads the frame at p (n bytes left in the journal); its files, and its whole length, or
// false when it is not a whole frame of this journal with the given number (0: any).
bool DecodeFrame(const uint8_t* p, size_t n, uint64_t salt, uint64_t seq,
                 std::vector<FrameFile>& files, size_t& length) {
    if (n < size_t(kFrameHeaderSize + kFrameTrailerSize)) return false;
    if (get32(p) != kFrameMagic || get64(p + 8) != salt) return false;
    if (seq != 0 && get64(p + 16) != seq) return false;
    const uint32_t count = get32(p + 4);
    const uint64_t payload = get64(p + 24);
    if (payload > n - kFrameHeaderSize - kFrameTrailerSize) return false;
    const size_t body = kFrameHeaderSize + size_t(payload);
    if (get64(p + body) != Checksum(p, body) || get32(p + body + 8) != kCommitMagic) return false;
    files.clear();
    size_t at = kFrameHeaderSize;
    auto need = [&](size_t k) { return at + k <= body; };
    for (uint32_t i = 0; i < count; ++i) {
        FrameFile f;
        if (!need(2)) return false;
        size_t len = size_t(p[at]) | size_t(p[at + 1]) << 8;
        at += 2;
        if (!need(len + 44)) return false;
        f.name.assign(reinterpret_cast<const char*>(p + at), len);
        at += len;
        f.dev = get64(p + at);
        f.ino = get64(p + at + 8);
        f.baseSize = int64_t(get64(p + at + 16));
        f.zeroFrom = int64_t(get64(p + at + 24));
        f.size = int64_t(get64(p + at + 32));
        uint32_t runs = get32(p + at + 40);
        at += 44;
        if (f.name.empty() || f.name.find('/') != std::string::npos || f.name == "." ||
            f.name == ".." || f.size < 0 || f.baseSize < 0)
            return false;
        for (uint32_t r = 0; r < runs; ++r) {
            if (!need(12)) return false;
            FrameFile::Run run{int64_t(get64(p + at)), nullptr, get32(p + at + 8)};
            at += 12;
            if (!need(run.n) || run.pos < 0 || run.pos + int64_t(run.n) > f.size) return false;
            run.bytes = p + at;
            at += run.n;
            f.runs.push_back(run);
        }
        files.push_back(std::move(f));
    }
    if (at != body) return false;
    length = body + kFrameTrailerSize;
    return true;
}

// Whether a journal's first bytes are a whole header of a version this program reads.
bool WholeHeader(const uint8_t* p, size_t n) {
    if (n < size_t(kHeaderSize) || std::memcmp(p, kJournalMagic, 8) != 0) return false;
    const uint32_t version = get32(p + 8);
    return (version == kJournalVersion || version == kPackedVersion) &&
           get32(p + 12) == kHeaderSize && get64(p + 40) == Checksum(p, 40);
}

// Calls f with the files of each whole frame of a journal with a whole header, in order,
// up to the first that is not whole; stops at the first false of f.
template <class F>
void ForEachFrame(const uint8_t* p, size_t n, F&& f) {
    const uint32_t version = get32(p + 8);
    const uint64_t salt = get64(p + 16);
    const bool packed = version == kPackedVersion;
    std::vector<FrameFile> files;
    uint64_t seq = 1;
    for (size_t at = packed ? size_t(kHeaderSize) : size_t(kBlock); at < n; ++seq) {
        size_t length = 0;
        if (!DecodeFrame(p + at, n - at, salt, packed ? 0 : seq, files, length)) return;
        if (!f(files)) return;
        at += length;
        if (!packed) at = size_t(RoundUp(int64_t(at), kBlock));
    }
}

// Opens the journal of a folder with its lock. busy tells that another program holds it.
bool OpenJournalFile(const std::string& name, bool create, OsFile& f, bool& created, bool& busy) {
    created = busy = false;
    for (int attempt = 0; attempt < 4; ++attempt) {
        ResetStatus();
        if (!f.open(name, false, false)) {
            if (EngineError == err::FileNotFound && create) {
                ResetStatus();
                if (!f.open(name, false, true)) {
                    busy = OsError == EWOULDBLOCK;
                    if (busy) Fail(err::JournalBusy);
                    return false;
                }
                created = true;
            } else {
                busy = OsError == EWOULDBLOCK;
                if (busy) Fail(err::JournalBusy);
                return false;
            }
        }
        // Between the open and the lock another program may have finished with the journal
        // and removed it: the lock must be on the file that has the name.
        struct stat st {};
        if (::stat(name.c_str(), &st) == 0 && st.st_dev == f.device() && st.st_ino == f.inode())
            return true;
        f.closeQuietly();
        created = false;
    }
    Fail(err::JournalBusy);
    busy = true;
    return false;
}

// Applies the whole frames of a locked journal to the files of the folder and syncs them.
// The journal itself is left as it is.
bool ReplayJournal(OsFile& journal, const std::string& folder, JournalRecovery& result) {
    const int64_t size = journal.size();
    if (size < 0) return false;
    if (size == 0) return true;
    std::vector<uint8_t> all;
    try {
        all.resize(size_t(size));
    } catch (const std::bad_alloc&) {
        Fail(err::NoMemoryOpen);
        return false;
    }
    if (!journal.read(0, all.data(), all.size())) return false;
    // A header that is not whole was never synced with a frame: nothing was committed.
    if (!WholeHeader(all.data(), all.size())) {
        result.discarded = true;
        return true;
    }
    uint64_t dev = 0, ino = 0;
    if (!FolderIdentity(folder, dev, ino) || dev != get64(all.data() + 24) ||
        ino != get64(all.data() + 32)) {
        result.discarded = true;  // the journal of another folder
        return true;
    }
    std::vector<std::vector<FrameFile>> frames;
    ForEachFrame(all.data(), all.size(), [&frames](std::vector<FrameFile>& files) {
        frames.push_back(std::move(files));
        return true;
    });
    // Every file must be the one the journal was written for; otherwise the journal is
    // older than the files (or from elsewhere) and writing it would damage them.
    for (const auto& files : frames)
        for (const FrameFile& f : files) {
            struct stat st {};
            std::string path = folder + "/" + f.name;
            if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
                uint64_t(st.st_dev) != f.dev || uint64_t(st.st_ino) != f.ino) {
                result.discarded = true;
                return true;
            }
        }
    std::vector<std::unique_ptr<OsFile>> open;
    auto fileFor = [&](const std::string& name) -> OsFile* {
        for (auto& o : open)
            if (BaseName(o->name()) == name) return o.get();
        auto f = std::make_unique<OsFile>();
        if (!f->open(folder + "/" + name, false, false)) {
            if (OsError == EWOULDBLOCK) Fail(err::JournalBusy);
            return nullptr;
        }
        open.push_back(std::move(f));
        return open.back().get();
    };
    for (const auto& files : frames) {
        // Space first: a frame the disk has no room for is undone, with it every later one.
        std::vector<std::pair<OsFile*, int64_t>> grown;
        bool room = true;
        for (const FrameFile& f : files) {
            OsFile* o = fileFor(f.name);
            if (!o) return false;
            int64_t now = o->size();
            if (now < 0) return false;
            if (f.size > now) {
                if (!o->allocate(f.size)) {
                    room = false;
                    break;
                }
                grown.push_back({o, f.baseSize});
            }
        }
        if (!room) {
            ResetStatus();
            for (auto& [o, base] : grown)
                if (!o->truncate(base)) return false;
            break;
        }
        for (const FrameFile& f : files) {
            OsFile* o = fileFor(f.name);
            if (!o) return false;
            if (f.zeroFrom >= 0 && f.zeroFrom < f.size) {
                if (!o->truncate(f.zeroFrom) || !o->truncate(f.size)) return false;
            }
            for (const auto& run : f.runs)
                if (!o->write(run.pos, run.bytes, run.n)) return false;
            int64_t now = o->size();
            if (now < 0 || (now > f.size && !o->truncate(f.size))) return false;
        }
        ++result.replayed;
    }
    for (auto& o : open)
        if (!o->sync() || !o->close()) return false;
    return true;
}

// Whether a journal holds a whole frame after its header (false when it cannot be read).
bool HoldsFrames(OsFile& journal) {
    const int64_t size = journal.size();
    if (size <= kHeaderSize) return false;
    std::vector<uint8_t> all;
    try {
        all.resize(size_t(size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!journal.read(0, all.data(), all.size()) || !WholeHeader(all.data(), all.size()))
        return false;
    bool any = false;
    ForEachFrame(all.data(), all.size(), [&any](const std::vector<FrameFile>&) {
        any = true;
        return false;
    });
    return any;
}

// Empties and removes a journal this program holds, then lets it go.
bool RemoveJournal(OsFile& f, const std::string& name) {
    if (!f.truncate(0) || !f.sync()) return false;
    if (!RemoveFile(name)) return false;
    return f.close();
}

// Writes whole blocks of the journal from pos, a multiple of the block; not synced. Past
// the page cache where the file system allows it, else (or once it refuses) through it.
bool WriteJournalBlocks(HeldJournal& j, int64_t pos, const std::vector<iovec>& parts) {
    if (j.unbuffered.isOpen()) {
        if (j.unbuffered.writev(pos, parts)) return true;
        if (OsError != EINVAL) return false;
        // The disk's block is larger than the journal's: through the page cache from now on.
        ResetStatus();
        j.unbuffered.closeQuietly();
    }
    return j.file.writev(pos, parts);
}

// The header, with a new salt, in the journal's first block.
bool WriteJournalHeader(HeldJournal& j, uint64_t dev, uint64_t ino) {
    j.salt = NewSalt();
    j.seq = 0;
    JournalBytes header;
    header.reserve(size_t(kBlock));
    EncodeHeader(header, j.salt, dev, ino);
    header.resize(size_t(kBlock));
    return WriteJournalBlocks(j, 0, {iovec{header.data(), header.size()}});
}

// Writes a frame, padded to whole blocks, at the journal's end. Where it passes the blocks
// the journal has, the journal grows with it by a step of zeros, so that the next commits
// write over blocks that are there.
bool WriteFrame(HeldJournal& j, JournalBytes& frame) {
    frame.resize(size_t(RoundUp(int64_t(frame.size()), kBlock)));
    const int64_t end = j.end + int64_t(frame.size());
    std::vector<iovec> parts{{frame.data(), frame.size()}};
    int64_t prepared = j.prepared;
    if (end > prepared) {
        prepared =
            RoundUp(std::max(end, prepared + std::clamp(prepared, kGrowMin, kGrowMax)), kBlock);
        for (int64_t at = end; at < prepared; at += int64_t(sizeof gZeros))
            parts.push_back({gZeros, size_t(std::min<int64_t>(sizeof gZeros, prepared - at))});
    }
    if (!WriteJournalBlocks(j, j.end, parts)) return false;
    j.prepared = prepared;
    return true;
}

bool OpenHeldJournal(const std::string& folder) {
    auto j = std::make_unique<HeldJournal>();
    j->folder = folder;
    j->name = JournalFileName(folder);
    bool created = false, busy = false;
    if (!OpenJournalFile(j->name, true, j->file, created, busy)) return false;
    if (!created && j->file.size() != 0) {
        // A journal left by a program that died: finish it before anything is added. One a
        // checkpoint left behind holds no frame: its header is simply written anew.
        JournalRecovery r;
        if (!ReplayJournal(j->file, folder, r)) return false;
        if (r.replayed > 0 && (!j->file.truncate(0) || !j->file.sync())) return false;
    }
    uint64_t dev, ino;
    if (!FolderIdentity(folder, dev, ino)) {
        FailOs(osfn::Open, errno);
        return false;
    }
    const int64_t size = j->file.size();
    if (size < 0) return false;
    j->prepared = size / kBlock * kBlock;
    // Where the file system refuses it, the journal is written through the page cache.
    j->unbuffered.openUnbuffered(j->name);
    j->needsFolderSync = created;
    if (!WriteJournalHeader(*j, dev, ino)) return false;
    j->end = kBlock;
    gJournal = std::move(j);
    return true;
}

// The files of fileblocks closed inside the transaction, as it ends: those with committed
// changes wait for the checkpoint, the others close.
void CloseParked() {
    if (!gTxn) return;
    for (auto& p : gTxn->parked) {
        p->dropOverlay();
        if (p->journaled && gJournal) {
            SavedStatus before;
            p->applyCommitted();  // as at any close: written now, synced at the checkpoint
            before.restore();
            gJournal->parked.push_back(std::move(p));
        } else {
            p->closeQuietly();
        }
    }
    gTxn->parked.clear();
}

void EndTransaction() {
    gTxn.reset();
    gCommitWritesDirect = false;
}

bool Checkpoint(bool keep);

}  // namespace

uint64_t JournalChecksum(const uint8_t* p, size_t n) {
    return Checksum(p, n);
}

std::string JournalFileName(const std::string& folder) {
    return (folder.empty() ? std::string(".") : folder) + "/" + kJournalName;
}

bool InTransaction() {
    return gTxn != nullptr;
}

bool BeginTransaction() {
    ResetStatus();
    if (!EngineStarted()) {
        Fail(err::NotStarted);
        return false;
    }
    if (gTxn) {
        Fail(err::TransactionState);
        return false;
    }
    // Changes made outside any transaction reach their files now, so that a rollback,
    // which drops the pool's pages of a fileblock, cannot take them along.
    for (Fileblock* fb : OpenList())
        if (!fb->readOnly && fb->updateInProgress && !WriteChangedPages(fb)) return false;
    gTxn = std::make_unique<Transaction>();
    gTxn->serial = ++gTxnSerial;
    return true;
}

bool CommitWritesDirect() {
    return gCommitWritesDirect;
}

void SetCommitWritesDirect(bool on) {
    gCommitWritesDirect = on && gTxn;
}

WriteRoute RouteWrite(RecordFile* file) {
    if (!gTxn) return WriteRoute::Direct;
    if (std::find(gTxn->files.begin(), gTxn->files.end(), file) != gTxn->files.end())
        return WriteRoute::Overlay;
    std::string folder = FolderOf(file->name());
    if (gTxn->folder.empty()) {
        gTxn->folder = folder;
    } else if (!SameFolder(folder, gTxn->folder)) {
        Fail(err::TransactionState);
        return WriteRoute::Refused;
    }
    gTxn->files.push_back(file);
    return WriteRoute::Overlay;
}

bool JoinTransaction(Fileblock* fb) {
    if (!gTxn || fb->joinedTransaction == gTxn->serial) return true;
    if (AnyBackendInTransaction()) {  // one transaction changes files or a server, not both
        Fail(err::TransactionState);
        return false;
    }
    fb->beforeTransaction = SaveState(fb);
    fb->joinedTransaction = gTxn->serial;
    gTxn->blocks.push_back(fb);
    return true;
}

bool TransactionChangesFiles() {
    return gTxn && (!gTxn->blocks.empty() || !gTxn->files.empty());
}

void RollbackTransaction() {
    ResetStatus();
    if (!gTxn) return;
    RollbackBackendTransactions();
    for (Fileblock* fb : gTxn->blocks) {
        FlushFileblockPages(fb, false);  // the pool's pages of it are the transaction's
        RestoreState(fb, fb->beforeTransaction);
        fb->joinedTransaction = 0;
    }
    for (RecordFile* f : gTxn->files)
        f->dropOverlay();
    gTxn->files.clear();
    CloseParked();
    EndTransaction();
}

bool CommitTransaction() {
    ResetStatus();
    if (!gTxn) {
        Fail(err::TransactionState);
        return false;
    }
    SavedStatus failure;
    auto rollback = [&failure]() {
        failure = SavedStatus();
        RollbackTransaction();
        failure.restore();
        return false;
    };
    if (!CommitBackendTransactions()) return rollback();
    // Everything the fileblocks still hold in memory joins the overlays: changed pages,
    // key headers and the data header, whose update flag the commit leaves clear, since a
    // committed index is whole (unless it was marked for a rebuild).
    SetCommitWritesDirect(true);
    for (Fileblock* fb : gTxn->blocks)
        if (!WriteChangedPages(fb) || !WriteDataHeader(fb, fb->keepUpdateFlag)) {
            SetCommitWritesDirect(false);
            return rollback();
        }
    SetCommitWritesDirect(false);
    std::vector<RecordFile*> changed;
    for (RecordFile* f : gTxn->files)
        if (f->hasChanges()) changed.push_back(f);
    if (!changed.empty()) {
        if (gJournal && !SameFolder(gJournal->folder, gTxn->folder) && !CheckpointJournal())
            return rollback();
        if (gJournal && gJournal->broken) {
            Fail(err::JournalPending);
            return rollback();
        }
        if (!gJournal && !OpenHeldJournal(gTxn->folder)) return rollback();
        HeldJournal& j = *gJournal;
        // The space every file grows to, reserved before anything is written: a full disk
        // is met here, while the transaction can still be dropped.
        for (RecordFile* f : changed)
            if (!f->reserveForOverlay()) return rollback();
        JournalBytes& frame = j.frame;
        frame.clear();
        try {
            EncodeFrame(frame, changed, j.salt, ++j.seq);
        } catch (const std::bad_alloc&) {
            Fail(err::NoMemoryOpen);
            return rollback();
        }
        // The frame, durable: from here on the transaction has happened.
        if (!WriteFrame(j, frame) || !j.file.sync() ||
            (j.needsFolderSync && !SyncFolder(j.folder))) {
            failure = SavedStatus();
            ResetStatus();
            // Best effort: a torn frame is ignored anyway, and one written whole is no
            // longer the next by its number once the next commit's frame is there.
            j.file.truncate(j.end);
            j.prepared = std::min(j.prepared, j.end);
            --j.seq;
            failure.restore();
            return rollback();
        }
        j.needsFolderSync = false;
        j.end += int64_t(frame.size());
        // The room of a posting's frame is kept for the next; a large one's is let go.
        if (frame.capacity() > (size_t(1) << 20)) frame.release();
        // The changes stay with the files as committed changes, which reads see and the
        // checkpoint writes and syncs (a page many commits changed is written once). Only
        // a lack of memory stops this; the journal then keeps the transaction for the next
        // start.
        for (RecordFile* f : changed) {
            if (!f->journaled) {
                f->journaled = true;
                j.journaled.push_back(f);
            }
            if (f->commitOverlay() && f->applyDirect()) continue;
            j.broken = true;
            Fail(err::JournalPending);
            for (Fileblock* fb : gTxn->blocks)
                fb->joinedTransaction = 0;
            gTxn->files.clear();
            gTxn->parked.clear();  // kept open until the program ends, with their locks
            EndTransaction();
            return false;
        }
    }
    for (RecordFile* f : gTxn->files)
        f->dropOverlay();
    for (Fileblock* fb : gTxn->blocks) {
        fb->updateInProgress = fb->keepUpdateFlag;
        fb->joinedTransaction = 0;
    }
    gTxn->files.clear();
    CloseParked();
    EndTransaction();
    if (gJournal && gJournal->end > kCheckpointBytes) return Checkpoint(true);
    return true;
}

namespace {

// Writes every committed change to its file and syncs the files. Then the journal is
// either removed and let go, or (keep) begun again with a new salt over its own length, so
// that the next commits overwrite blocks the file already has and their syncs need not
// change its length.
bool Checkpoint(bool keep) {
    ResetStatus();
    if (!gJournal) return true;
    HeldJournal& j = *gJournal;
    if (j.broken) {
        Fail(err::JournalPending);
        return false;
    }
    for (RecordFile* f : j.journaled)
        if (!f->applyCommitted() || !f->sync()) return false;
    for (RecordFile* f : j.journaled)
        f->journaled = false;
    j.journaled.clear();
    for (auto& p : j.parked)
        p->closeQuietly();
    j.parked.clear();
    if (keep) {
        uint64_t dev, ino;
        // Frames of the old salt after the header no longer count.
        if (FolderIdentity(j.folder, dev, ino) && WriteJournalHeader(j, dev, ino) &&
            j.file.sync()) {
            j.end = kBlock;
            return true;
        }
        ResetStatus();
    }
    if (!RemoveJournal(j.file, j.name)) return false;
    gJournal.reset();
    return true;
}

}  // namespace

bool CheckpointJournal() {
    return Checkpoint(false);
}

bool SettleJournal() {
    if (!gJournal || gTxn) return true;
    SavedStatus before;
    if (!Checkpoint(true)) return false;
    before.restore();
    // The journal, begun again and empty, stays in the folder for the next commit, which
    // then needs no sync of the folder; the lock goes, so that another program may commit.
    if (gJournal) {
        gSettledFolder = gJournal->folder;
        gJournal->file.closeQuietly();
        gJournal.reset();
    }
    return true;
}

bool SettleJournalFor(RecordFile* file) {
    if (!file->journaled) return true;
    SavedStatus before;
    bool ok = CheckpointJournal();
    if (ok) before.restore();
    return ok;
}

bool SettleJournalForName(const std::string& name) {
    if (!gJournal || gJournal->journaled.empty()) return true;
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) return true;
    for (RecordFile* f : gJournal->journaled)
        if (f->device() == st.st_dev && f->inode() == st.st_ino) return CheckpointJournal();
    return true;
}

bool LeaveToJournal(Fileblock* fb) {
    if (!gJournal) return true;
    for (RecordFile* f : {&fb->data, &fb->index}) {
        if (!f->isOpen() || !f->journaled) continue;
        // Its committed changes go to the file now (the checkpoint syncs them), so that
        // programs reading the closed file past the engine find them. Where that fails
        // they stay in memory for the checkpoint.
        SavedStatus before;
        f->applyCommitted();
        before.restore();
        auto p = std::make_unique<RecordFile>();
        p->takeFrom(*f);
        gJournal->parked.push_back(std::move(p));
    }
    return true;
}

void ForgetFile(RecordFile* file) {
    if (gTxn) removeFrom(gTxn->files, file);
    if (gJournal) removeFrom(gJournal->journaled, file);
}

void MovedFile(RecordFile* from, RecordFile* to) {
    if (gTxn) replaceIn(gTxn->files, from, to);
    if (gJournal) replaceIn(gJournal->journaled, from, to);
}

bool ParkFiles(Fileblock* fb) {
    if (!gTxn) return false;
    gTxn->blocks.erase(std::remove(gTxn->blocks.begin(), gTxn->blocks.end(), fb),
                       gTxn->blocks.end());
    fb->joinedTransaction = 0;
    bool parked = false;
    for (RecordFile* f : {&fb->data, &fb->index}) {
        if (!f->isOpen() || (!f->overlay() && !f->journaled)) continue;
        auto p = std::make_unique<RecordFile>();
        p->takeFrom(*f);
        gTxn->parked.push_back(std::move(p));
        parked = true;
    }
    return parked;
}

bool UnparkFile(const std::string& name, RecordFile& file) {
    const bool inTxn = gTxn && !gTxn->parked.empty();
    const bool inJournal = gJournal && !gJournal->parked.empty();
    if (!inTxn && !inJournal) return false;
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) return false;
    for (auto* list : {inTxn ? &gTxn->parked : nullptr, inJournal ? &gJournal->parked : nullptr}) {
        if (!list) continue;
        for (auto it = list->begin(); it != list->end(); ++it) {
            if ((*it)->device() != st.st_dev || (*it)->inode() != st.st_ino) continue;
            file.takeFrom(**it);
            list->erase(it);
            return true;
        }
    }
    return false;
}

JournalRecovery RecoverJournal(const std::string& folderIn) {
    JournalRecovery result;
    const std::string folder = folderIn.empty() ? std::string(".") : folderIn;
    const std::string name = JournalFileName(folder);
    SavedStatus before;
    ResetStatus();
    if (gJournal && SameFolder(gJournal->folder, folder)) return result;  // our own
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0) return result;
    if (!S_ISREG(st.st_mode)) {
        // Not a journal this engine wrote: it is not read, and not removed either.
        Fail(err::JournalDamaged);
        result.ok = false;
        return result;
    }
    OsFile f;
    bool created = false;
    if (!OpenJournalFile(name, false, f, created, result.busy)) {
        if (result.busy || EngineError == err::FileNotFound) {
            before.restore();
            return result;
        }
        result.ok = false;
        return result;
    }
    // A journal this program emptied and let go of while idle waits for its next commit.
    if (!gSettledFolder.empty() && SameFolder(gSettledFolder, folder) && !HoldsFrames(f)) {
        before.restore();
        return result;
    }
    if (!ReplayJournal(f, folder, result) || !RemoveJournal(f, name)) {
        result.ok = false;
        result.busy = EngineError == err::JournalBusy;
        return result;
    }
    before.restore();
    return result;
}

bool RecoverBeforeOpen(const std::string& fileName) {
    const std::string folder = FolderOf(fileName);
    if (gJournal && SameFolder(gJournal->folder, folder)) return true;
    struct stat st {};
    if (::lstat(JournalFileName(folder).c_str(), &st) != 0) return true;
    JournalRecovery r = RecoverJournal(folder);
    return r.ok || r.busy;
}

bool EndTransactionsAtExit() {
    RollbackTransaction();
    // An emptied journal kept for the next commit goes with the program.
    if (!gSettledFolder.empty()) {
        const std::string folder = gSettledFolder;
        gSettledFolder.clear();
        if (!gJournal || !SameFolder(gJournal->folder, folder)) RecoverJournal(folder);
    }
    if (gJournal && gJournal->broken) {
        // The journal stays for the next start; its lock goes with the file.
        gJournal->file.closeQuietly();
        gJournal.reset();
        Fail(err::JournalPending);
        return false;
    }
    return CheckpointJournal();
}

}  // namespace invarro::storage
