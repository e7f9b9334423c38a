#include "storage/FileIO.h"

#include "storage/Bytes.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "storage/Engine.h"
#include "storage/EngineInternal.h"
#include "storage/EngineTesting.h"
#include "storage/PowerCut.h"
#include "storage/Transaction.h"
#include "storage/TransactionInternal.h"

namespace invarro::storage {

// ------------------------------------------------------------------- the fault seam

namespace {

struct FileFault {
    unsigned mask = 0;
    int64_t nth = 0;  // 0: none armed
    FileFaultAction action = FileFaultAction::Fail;
    int osErrno = ENOSPC;
};
FileFault gFileFault;
int64_t gFileOps = 0;
int64_t gSyncs = 0;

}  // namespace

void SetFileFault(unsigned opMask, int64_t nth, FileFaultAction action, int osErrno) {
    gFileFault = FileFault{opMask, nth > 0 ? gFileOps + nth : 0, action, osErrno};
}

void ClearFileFault() {
    gFileFault = FileFault{};
    gFileOps = 0;
}

int64_t FileOpCount() {
    return gFileOps;
}

int64_t SyncCount() {
    return gSyncs;
}

void FileFaultFromEnvironment() {
    PowerCutFromEnvironment();
    const char* v = std::getenv("INVARRO_FILE_FAULT");
    if (!v || !*v) return;
    std::string_view text(v);
    auto field = [&text]() {
        size_t colon = text.find(':');
        std::string_view f = text.substr(0, colon);
        text = colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
        return std::string(f);
    };
    std::string action = field();
    int64_t nth = std::atoll(field().c_str());
    std::string kinds = field();
    std::string code = field();
    unsigned mask = 0;
    for (auto [word, bit] :
         {std::pair{"write", FileOp::Write}, std::pair{"sync", FileOp::Sync},
          std::pair{"rename", FileOp::Rename}, std::pair{"truncate", FileOp::Truncate},
          std::pair{"remove", FileOp::Remove}})
        if (kinds.find(word) != std::string::npos) mask |= unsigned(bit);
    FileFaultAction a = action == "exit"    ? FileFaultAction::Exit
                        : action == "pause" ? FileFaultAction::Pause
                                            : FileFaultAction::Fail;
    ClearFileFault();
    if (nth > 0) SetFileFault(mask, nth, a, code.empty() ? ENOSPC : std::atoi(code.c_str()));
}

bool FileFaultHit(FileOp op) {
    if (gFileFault.mask != 0 && (gFileFault.mask & unsigned(op)) == 0) return false;
    ++gFileOps;
    if (gFileFault.nth == 0 || gFileOps != gFileFault.nth) return false;
    switch (gFileFault.action) {
        case FileFaultAction::Exit:
            ::_exit(kFaultExitStatus);
        case FileFaultAction::Pause: {
            // Said on standard error, so that a test knows when to kill the process.
            char line[64];
            const int n = std::snprintf(line, sizeof line, "paused at file operation %lld\n",
                                        (long long)gFileOps);
            if (n > 0) (void)!::write(2, line, size_t(n));
            for (;;)
                ::pause();
        }
        case FileFaultAction::Fail:
            break;
    }
    gFileFault.nth = 0;
    errno = gFileFault.osErrno;
    return true;
}

namespace {
int64_t gBusyFailures = 0;
}

void Fail(int32_t error) {
    EngineOk = false;
    EngineError = error;
    if (ErrorClassOf(error) == 2) ++gBusyFailures;
}

int64_t BusyFailureCount() {
    return gBusyFailures;
}

namespace {

bool parentExists(const std::string& name) {
    auto slash = name.rfind('/');
    if (slash == std::string::npos) return true;
    std::string dir = slash == 0 ? "/" : name.substr(0, slash);
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Maps an errno of one file function to the engine's error number.
int32_t mapErrno(int16_t function, int e) {
    switch (function) {
        case osfn::Open:
            if (e == ENOTDIR) return err::PathNotFound;
            if (e == EMFILE || e == ENFILE) return err::TooManyFiles;
            if (e == EACCES || e == EPERM || e == EROFS || e == EISDIR) return err::InvalidAccess;
            return err::OsOther;
        case osfn::Delete:
        case osfn::Rename:
            if (e == ENOTDIR) return err::PathNotFound;
            return err::OsOther;
        default:
            if (e == EBADF) return err::InvalidOsHandle;
            return err::OsOther;
    }
}

}  // namespace

void FailOs(int16_t function, int osErrno) {
    if (OsError == 0) {
        OsError = osErrno;
        OsFunction = function;
    }
    Fail(mapErrno(function, osErrno));
}

namespace {

// ENOENT means "file not found" unless the folder itself is missing.
void failMissing(int16_t function, const std::string& name, int e) {
    if (e == ENOENT) {
        if (OsError == 0) {
            OsError = e;
            OsFunction = function;
        }
        Fail(parentExists(name) ? err::FileNotFound : err::PathNotFound);
        return;
    }
    FailOs(function, e);
}

}  // namespace

bool FileExists(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool RemoveFile(const std::string& name) {
    if (!SettleJournalForName(name)) return false;
    cut::Know(name);
    if (FileFaultHit(FileOp::Remove) || ::unlink(name.c_str()) != 0) {
        failMissing(osfn::Delete, name, errno);
        return false;
    }
    cut::Removed(name);
    return true;
}

bool RenameFile(const std::string& from, const std::string& to) {
    if (!SettleJournalForName(from) || !SettleJournalForName(to)) return false;
    cut::Know(from);
    cut::Know(to);
    if (FileFaultHit(FileOp::Rename) || ::rename(from.c_str(), to.c_str()) != 0) {
        failMissing(osfn::Rename, from, errno);
        return false;
    }
    cut::Renamed(from, to);
    return true;
}

bool CopyFile(const std::string& from, const std::string& to) {
    OsFile in, out;
    if (!in.open(from, true, false)) return false;
    if (!out.open(to, false, true)) return false;
    std::unique_ptr<uint8_t[]> buf(new (std::nothrow) uint8_t[65536]);
    if (!buf) {
        Fail(err::ShortWrite);
        return false;
    }
    int64_t pos = 0;
    for (;;) {
        int64_t n = in.readSome(pos, buf.get(), 65536);
        if (n < 0) return false;
        if (n == 0) break;
        if (!out.write(pos, buf.get(), size_t(n))) return false;
        pos += n;
    }
    return out.close() && in.close();
}

std::string FolderOf(const std::string& fileName) {
    size_t slash = fileName.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : fileName.substr(0, slash);
}

namespace {
bool gDurable = true;
}

void SetDurableCommits(bool on) {
    gDurable = on;
}
bool DurableCommits() {
    return gDurable;
}

namespace {

// Syncs a file (its data) or a folder (its entries) by name.
bool SyncByName(const std::string& name, bool folder) {
    if (!gDurable) return true;
    cut::Boundary();
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
    if (fd < 0) {
        failMissing(osfn::Open, name, errno);
        return false;
    }
    bool ok = !FileFaultHit(FileOp::Sync) && (folder ? ::fsync(fd) : ::fdatasync(fd)) == 0;
    int e = errno;
    ::close(fd);
    if (!ok) {
        FailOs(osfn::Flush, e);
        return false;
    }
    ++gSyncs;
    if (folder)
        cut::FolderSynced(name);
    else
        cut::SyncedPath(name);
    return true;
}

}  // namespace

bool SyncFolder(const std::string& folder) {
    return SyncByName(folder, true);
}

bool SyncFile(const std::string& name) {
    return SyncByName(name, false);
}

// ---------------------------------------------------------------------------- OsFile

bool OsFile::open(const std::string& name, bool readOnly, bool create) {
    closeQuietly();
    int flags = O_CLOEXEC | (readOnly ? O_RDONLY : O_RDWR);
    const bool existed = !cut::Watching() || !create || FileExists(name);
    int fd = create ? ::open(name.c_str(), flags | O_CREAT, 0600) : ::open(name.c_str(), flags);
    if (fd < 0) {
        failMissing(osfn::Open, name, errno);
        return false;
    }
    // Exclusive use: a second program (or a second open here) is refused.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int e = errno;
        ::close(fd);
        if (OsError == 0) {
            OsError = e;
            OsFunction = osfn::Open;
        }
        Fail(err::OsOther);
        return false;
    }
    if (!readOnly) cut::Opened(fd, name, existed);
    if (create && (FileFaultHit(FileOp::Truncate) || ::ftruncate(fd, 0) != 0)) {
        int e = errno;
        cut::Closed(fd);
        ::close(fd);
        FailOs(osfn::Write, e);
        return false;
    }
    if (create) cut::Resized(fd, 0);
    return adopt(fd, name);
}

bool OsFile::adopt(int fd, const std::string& name) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int e = errno;
        cut::Closed(fd);
        ::close(fd);
        FailOs(osfn::Open, e);
        return false;
    }
    fd_ = fd;
    name_ = name;
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    return true;
}

bool OsFile::openNew(const std::string& name, unsigned mode) {
    closeQuietly();
    int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode_t(mode));
    if (fd < 0) {
        failMissing(osfn::Open, name, errno);
        return false;
    }
    cut::Opened(fd, name, false);
    return adopt(fd, name);
}

bool OsFile::openUnbuffered(const std::string& name) {
    closeQuietly();
    int fd = ::open(name.c_str(), O_RDWR | O_DIRECT | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return false;
    }
    cut::Opened(fd, name, true);
    fd_ = fd;
    name_ = name;
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    return true;
}

bool OsFile::close() {
    if (fd_ < 0) return true;
    int fd = fd_;
    fd_ = -1;
    cut::Closed(fd);
    if (::close(fd) != 0) {
        FailOs(osfn::Close, errno);
        return false;
    }
    return true;
}

void OsFile::closeQuietly() {
    if (fd_ >= 0) {
        cut::Closed(fd_);
        ::close(fd_);
    }
    fd_ = -1;
}

int64_t OsFile::readSome(int64_t pos, void* buf, size_t n) {
    if (pos < 0) {
        Fail(err::ShortRead);
        return -1;
    }
    size_t done = 0;
    auto* p = static_cast<uint8_t*>(buf);
    while (done < n) {
        ssize_t r = ::pread(fd_, p + done, n - done, pos + int64_t(done));
        if (r < 0) {
            if (errno == EINTR) continue;
            FailOs(osfn::Read, errno);
            return -1;
        }
        if (r == 0) break;
        done += size_t(r);
    }
    return int64_t(done);
}

bool OsFile::read(int64_t pos, void* buf, size_t n) {
    int64_t got = readSome(pos, buf, n);
    if (got < 0) return false;
    if (size_t(got) != n) {
        Fail(err::ShortRead);
        return false;
    }
    return true;
}

bool OsFile::write(int64_t pos, const void* buf, size_t n) {
    if (pos < 0) {
        Fail(err::ShortWrite);
        return false;
    }
    size_t done = 0;
    auto* p = static_cast<const uint8_t*>(buf);
    if (FileFaultHit(FileOp::Write)) {
        FailOs(osfn::Write, errno);
        return false;
    }
    while (done < n) {
        ssize_t w = ::pwrite(fd_, p + done, n - done, pos + int64_t(done));
        if (w < 0) {
            if (errno == EINTR) continue;
            FailOs(osfn::Write, errno);
            return false;
        }
        if (w == 0) {
            Fail(err::ShortWrite);
            return false;
        }
        done += size_t(w);
    }
    cut::Wrote(fd_, pos, buf, n);
    return true;
}

bool OsFile::writev(int64_t pos, const std::vector<iovec>& parts) {
    if (FileFaultHit(FileOp::Write)) {
        FailOs(osfn::Write, errno);
        return false;
    }
    if (cut::Watching()) {
        int64_t at = pos;
        for (const iovec& v : parts) {
            cut::Wrote(fd_, at, v.iov_base, v.iov_len);
            at += int64_t(v.iov_len);
        }
    }
    std::vector<iovec> left = parts;
    size_t at = 0;  // the first part not yet written whole
    while (at < left.size()) {
        const int count = int(std::min<size_t>(left.size() - at, IOV_MAX));
        ssize_t w = ::pwritev(fd_, left.data() + at, count, pos);
        if (w < 0) {
            if (errno == EINTR) continue;
            FailOs(osfn::Write, errno);
            return false;
        }
        if (w == 0) {
            Fail(err::ShortWrite);
            return false;
        }
        pos += w;
        for (size_t done = size_t(w); done > 0 && at < left.size();) {
            if (done >= left[at].iov_len) {
                done -= left[at].iov_len;
                ++at;
            } else {
                left[at].iov_base = static_cast<uint8_t*>(left[at].iov_base) + done;
                left[at].iov_len -= done;
                done = 0;
            }
        }
    }
    return true;
}

int64_t OsFile::size() {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        FailOs(osfn::SeekEnd, errno);
        return -1;
    }
    return st.st_size;
}

bool OsFile::truncate(int64_t size) {
    if (FileFaultHit(FileOp::Truncate) || ::ftruncate(fd_, size) != 0) {
        FailOs(osfn::Write, errno);
        return false;
    }
    cut::Resized(fd_, size);
    return true;
}

bool OsFile::sync() {
    if (!DurableCommits()) return true;
    cut::Boundary();
    if (FileFaultHit(FileOp::Sync) || ::fdatasync(fd_) != 0) {
        FailOs(osfn::Flush, errno);
        return false;
    }
    ++gSyncs;
    cut::Synced(fd_);
    return true;
}

bool OsFile::allocate(int64_t size) {
    if (FileFaultHit(FileOp::Truncate)) {
        FailOs(osfn::Write, errno);
        return false;
    }
    int e = ::posix_fallocate(fd_, 0, size);
    if (e == EOPNOTSUPP || e == EINVAL) {
        // A file system without reservations: growing the file is the best there is.
        struct stat st {};
        if (::fstat(fd_, &st) == 0 && st.st_size >= size) return true;
        e = ::ftruncate(fd_, size) == 0 ? 0 : errno;
    }
    if (e != 0) {
        FailOs(osfn::Write, e);
        return false;
    }
    cut::Grew(fd_, size);
    return true;
}

bool OsFile::reserve(int64_t from, int64_t to) {
    if (to <= from) return true;
    if (FileFaultHit(FileOp::Truncate)) {
        FailOs(osfn::Write, errno);
        return false;
    }
    if (::fallocate(fd_, FALLOC_FL_KEEP_SIZE, from, to - from) == 0) return true;
    const int e = errno;
    if (e == EOPNOTSUPP || e == ENOSYS || e == EINVAL) return true;
    FailOs(osfn::Write, e);
    return false;
}

// ------------------------------------------------------------------------ RecordFile

bool RecordFile::open(const std::string& name, bool readOnly, bool create) {
    if (isOpen()) closeQuietly();  // committed changes it holds reach its file first
    unmap();
    dropCache();
    dropOverlay();
    committed_.reset();
    journaled = false;
    mapRefused_ = false;
    if (!file_.open(name, readOnly, create)) return false;
    fileSize_ = file_.size();
    if (fileSize_ < 0) {
        file_.closeQuietly();
        return false;
    }
    reserved_ = fileSize_;
    return true;
}

bool RecordFile::close() {
    // Committed changes still held go to the file first, made durable: the journal will
    // not sync a file it no longer knows.
    if (committed_ && (!applyCommitted() || !file_.sync())) {
        closeQuietly();
        return false;
    }
    ForgetFile(this);
    unmap();
    cache_.reset();
    dropCache();
    dropOverlay();
    journaled = false;
    return file_.close();
}

void RecordFile::closeQuietly() {
    if (committed_) {
        SavedStatus before;
        if (applyCommitted()) file_.sync();
        before.restore();
        committed_.reset();
    }
    ForgetFile(this);
    unmap();
    cache_.reset();
    dropCache();
    dropOverlay();
    journaled = false;
    file_.closeQuietly();
}

void RecordFile::takeFrom(RecordFile& other) {
    closeQuietly();
    file_.takeFrom(other.file_);
    cache_ = std::move(other.cache_);
    std::copy(std::begin(other.slots_), std::end(other.slots_), std::begin(slots_));
    lastLoaded_ = other.lastLoaded_;
    map_ = other.map_;
    mapLen_ = other.mapLen_;
    fileSize_ = other.fileSize_;
    mapRefused_ = other.mapRefused_;
    overlay_ = std::move(other.overlay_);
    committed_ = std::move(other.committed_);
    direct_ = std::move(other.direct_);
    directBytes_ = std::move(other.directBytes_);
    directSpans_ = std::move(other.directSpans_);
    other.dropDirect();
    reserved_ = other.reserved_;
    journaled = other.journaled;
    other.map_ = nullptr;
    other.mapLen_ = 0;
    other.fileSize_ = 0;
    other.journaled = false;
    other.dropCache();
    MovedFile(&other, this);
}

void RecordFile::dropCache() {
    for (auto& s : slots_)
        s = Slot{};
    lastLoaded_ = -2;
}

void RecordFile::unmap() {
    if (map_) ::munmap(map_, size_t(mapLen_));
    map_ = nullptr;
    mapLen_ = 0;
}

bool RecordFile::mapTo(int64_t need) {
    if (mapRefused_ || !file_.isOpen()) return false;
    // Room to grow: the map reaches past the end of the file, so that records appended
    // later are read through it without mapping again each time.
    const int64_t page = ::sysconf(_SC_PAGESIZE) > 0 ? ::sysconf(_SC_PAGESIZE) : 4096;
    int64_t len = std::max<int64_t>(need + need / 2, int64_t(1) << 20);
    len = (len + page - 1) / page * page;
    if (len > int64_t(SIZE_MAX / 2)) {
        mapRefused_ = true;
        return false;
    }
    unmap();
    void* m = ::mmap(nullptr, size_t(len), PROT_READ, MAP_SHARED, file_.descriptor(), 0);
    if (m == MAP_FAILED) {
        mapRefused_ = true;  // no address space: the read cache serves from now on
        return false;
    }
    map_ = static_cast<uint8_t*>(m);
    mapLen_ = len;
    return true;
}

int64_t RecordFile::size() {
    if (overlay_) return overlay_->size;
    return committedSize();
}

int64_t RecordFile::committedSize() {
    if (committed_) return committed_->size;
    return file_.size();
}

bool RecordFile::truncate(int64_t size) {
    switch (RouteWrite(this)) {
        case WriteRoute::Refused:
            return false;
        case WriteRoute::Direct:
            if (journaled && !SettleJournalFor(this)) return false;
            return truncateBase(size);
        case WriteRoute::Overlay:
            break;
    }
    if (!settleDirect()) return false;
    Overlay* ov = overlayForWrite();
    if (!ov) return false;
    if (size < 0) size = 0;
    for (auto it = ov->chunks.lower_bound((size + Overlay::kChunk - 1) / Overlay::kChunk);
         it != ov->chunks.end();)
        it = ov->chunks.erase(it);
    const int64_t last = size / Overlay::kChunk;
    const int32_t cut = int32_t(size % Overlay::kChunk);
    if (cut > 0) {
        Overlay::Chunk* c = chunkForWrite(*ov, last);
        if (!c) return false;
        std::memset(c->bytes.get() + cut, 0, size_t(Overlay::kChunk - cut));
        c->cutAt(cut);
    }
    ov->size = size;
    ov->zeroFrom = std::min(ov->zeroFrom, size);
    return true;
}

bool RecordFile::truncateBase(int64_t size) {
    dropCache();
    if (!file_.truncate(size)) return false;
    fileSize_ = size;
    return true;
}

// Loads the chunk, and when the reads run forwards through the file also the chunks
// after it, in one read.
bool RecordFile::loadRun(int64_t chunk) {
    if (!cache_) {
        cache_.reset(new (std::nothrow) uint8_t[size_t(kSlots) * kChunk]);
        if (!cache_) return false;
    }
    int run = (chunk == lastLoaded_ + 1) ? kReadAhead : 1;
    int first = int(chunk % kSlots);
    if (first + run > kSlots) run = kSlots - first;
    int64_t got = file_.readSome(chunk * kChunk, slotData(first), size_t(run) * kChunk);
    if (got < 0) return false;
    for (int i = 0; i < run; ++i) {
        int64_t have = got - int64_t(i) * kChunk;
        if (i > 0 && have <= 0) {
            slots_[first + i] = Slot{};
            continue;
        }
        slots_[first + i].chunk = chunk + i;
        slots_[first + i].valid = int32_t(have < 0 ? 0 : (have > kChunk ? kChunk : have));
    }
    lastLoaded_ = chunk + run - 1;
    return true;
}

bool RecordFile::read(int64_t pos, void* buf, size_t n) {
    if (!direct_.empty() && !settleDirect()) return false;
    if (pos < 0) {
        Fail(err::ShortRead);
        return false;
    }
    if (n == 0) return true;
    if (overlay_ || committed_) {
        if (pos + int64_t(n) > size()) {
            Fail(err::ShortRead);
            return false;
        }
        return readOverlaid(pos, static_cast<uint8_t*>(buf), n);
    }
    return readBase(pos, buf, n);
}

bool RecordFile::readBase(int64_t pos, void* buf, size_t n) {
    auto* out = static_cast<uint8_t*>(buf);
    // Bytes inside the file as this handle knows it are read through the map; anything
    // else (past the end, or a file that could not be mapped) through the read cache,
    // which also reports the short read.
    if (int64_t(n) <= fileSize_ - pos && (pos + int64_t(n) <= mapLen_ || mapTo(fileSize_))) {
        CopyBytes(out, map_ + pos, n);
        return true;
    }
    return readCached(pos, out, n);
}

int64_t RecordFile::readSomeDirect(int64_t pos, void* buf, size_t n) {
    if (!direct_.empty() && !settleDirect()) return -1;
    if (!overlay_ && !committed_) return file_.readSome(pos, buf, n);
    if (pos < 0) {
        Fail(err::ShortRead);
        return -1;
    }
    const int64_t size = this->size();
    if (pos >= size) return 0;
    size_t take = size_t(std::min<int64_t>(int64_t(n), size - pos));
    return readOverlaid(pos, static_cast<uint8_t*>(buf), take) ? int64_t(take) : -1;
}

bool RecordFile::readOverlaid(int64_t pos, uint8_t* out, size_t n) {
    return readLayer(overlay_ ? *overlay_ : *committed_, pos, out, n);
}

bool RecordFile::readBelow(int64_t pos, uint8_t* out, size_t n) {
    return committed_ ? readLayer(*committed_, pos, out, n) : readBase(pos, out, n);
}

bool RecordFile::readUnder(const Overlay& ov, int64_t pos, uint8_t* out, size_t n) {
    return &ov == committed_.get() ? readBase(pos, out, n) : readBelow(pos, out, n);
}

bool RecordFile::readLayer(const Overlay& ov, int64_t pos, uint8_t* out, size_t n) {
    // Bytes below the overlay's cut and the length it was laid over come from the file;
    // bytes past them that no chunk holds are zeros.
    const int64_t fromBelow = std::min(ov.baseSize, ov.zeroFrom);
    auto it = ov.chunks.lower_bound(pos / Overlay::kChunk);
    while (n > 0) {
        const int64_t chunk = pos / Overlay::kChunk;
        const int64_t off = pos % Overlay::kChunk;
        size_t take = std::min(size_t(Overlay::kChunk - off), n);
        while (it != ov.chunks.end() && it->first < chunk)
            ++it;
        if (it != ov.chunks.end() && it->first == chunk) {
            CopyBytes(out, it->second.bytes.get() + off, take);
        } else {
            // Runs of chunks the overlay does not hold are read from the file in one piece.
            int64_t runEnd = it != ov.chunks.end() ? it->first * Overlay::kChunk : INT64_MAX;
            take = size_t(std::min<int64_t>(int64_t(n), runEnd - pos));
            size_t below =
                pos < fromBelow ? size_t(std::min<int64_t>(int64_t(take), fromBelow - pos)) : 0;
            if (below > 0 && !readUnder(ov, pos, out, below)) return false;
            if (below < take) std::memset(out + below, 0, take - below);
        }
        out += take;
        pos += int64_t(take);
        n -= take;
    }
    return true;
}

bool RecordFile::readCached(int64_t pos, uint8_t* out, size_t n) {
    while (n > 0) {
        int64_t chunk = pos / kChunk;
        int64_t off = pos % kChunk;
        size_t take = size_t(kChunk - off) < n ? size_t(kChunk - off) : n;
        Slot* s = &slots_[chunk % kSlots];
        if (s->chunk != chunk || s->valid < off + int64_t(take)) {
            // Missing, or cut short by the end of the file when it was read: read again.
            if (!loadRun(chunk)) {
                if (!cache_) return file_.read(pos, out, n);  // no memory: read directly
                return false;
            }
            s = &slots_[chunk % kSlots];
            if (s->chunk != chunk || s->valid < off + int64_t(take)) {
                Fail(err::ShortRead);
                return false;
            }
        }
        std::memcpy(out, slotData(int(chunk % kSlots)) + off, take);
        out += take;
        pos += int64_t(take);
        n -= take;
    }
    return true;
}

namespace {

// Room of chunks given back, for the next; never freed itself, so that chunks let go at
// the program's end find it.
std::vector<uint8_t*>& FreeChunks() {
    static auto* kept = [] {
        auto* v = new std::vector<uint8_t*>;
        v->reserve(512);
        return v;
    }();
    return *kept;
}

}  // namespace

void Overlay::FreeChunk::operator()(uint8_t* p) const noexcept {
    std::vector<uint8_t*>& kept = FreeChunks();
    if (kept.size() < kept.capacity())
        kept.push_back(p);
    else
        delete[] p;
}

Overlay::ChunkBytes Overlay::NewChunkBytes() {
    std::vector<uint8_t*>& kept = FreeChunks();
    if (kept.empty()) return ChunkBytes(new (std::nothrow) uint8_t[size_t(kChunk)]);
    uint8_t* p = kept.back();
    kept.pop_back();
    return ChunkBytes(p);
}

void Overlay::Chunk::write(int32_t off, const uint8_t* in, size_t n) {
    uint8_t* at = bytes.get() + off;
    ForEachDifference(at, in, n,
                      [&](size_t lo, size_t hi) { mark(off + int32_t(lo), off + int32_t(hi)); });
    CopyBytes(at, in, n);
}

void Overlay::Chunk::mark(int32_t a, int32_t b) {
    if (b <= a) return;
    lo = std::min(lo, a);
    hi = std::max(hi, b);
    // The ranges before it, those it meets (joined with it), and those after it.
    int first = 0;
    while (first < ranges && range[first].hi + kRangeGap < a)
        ++first;
    int past = first;
    for (; past < ranges && range[past].lo <= b + kRangeGap; ++past) {
        a = std::min<int32_t>(a, range[past].lo);
        b = std::max<int32_t>(b, range[past].hi);
    }
    const Range joined{uint16_t(a), uint16_t(b)};
    if (past > first) {
        range[first] = joined;
        std::copy(range + past, range + ranges, range + first + 1);
        ranges -= past - first - 1;
        return;
    }
    if (ranges < kRanges) {
        std::copy_backward(range + first, range + ranges, range + ranges + 1);
        range[first] = joined;
        ++ranges;
        return;
    }
    // No room for another: the two neighbours nearest each other become one.
    Range all[kRanges + 1];
    std::copy(range, range + first, all);
    all[first] = joined;
    std::copy(range + first, range + ranges, all + first + 1);
    int nearest = 0;
    for (int r = 1; r < kRanges; ++r)
        if (all[r + 1].lo - all[r].hi < all[nearest + 1].lo - all[nearest].hi) nearest = r;
    all[nearest].hi = all[nearest + 1].hi;
    std::copy(all + nearest + 2, all + kRanges + 1, all + nearest + 1);
    std::copy(all, all + kRanges, range);
}

void Overlay::Chunk::cutAt(int32_t cut) {
    while (ranges > 0 && range[ranges - 1].lo >= cut)
        --ranges;
    if (ranges > 0) range[ranges - 1].hi = uint16_t(std::min<int32_t>(range[ranges - 1].hi, cut));
    hi = std::min(hi, cut);
    if (lo >= hi) lo = hi = cut;  // nothing written below the cut stays
}

Overlay* RecordFile::overlayForWrite() {
    if (!overlay_) {
        overlay_.reset(new (std::nothrow) Overlay);
        if (!overlay_) {
            Fail(err::NoMemoryOpen);
            return nullptr;
        }
        overlay_->baseSize = overlay_->size = committed_ ? committed_->size : fileSize_;
    }
    return overlay_.get();
}

Overlay::Chunk* RecordFile::chunkForWrite(Overlay& ov, int64_t chunk) {
    auto it = ov.chunks.lower_bound(chunk);
    if (it != ov.chunks.end() && it->first == chunk) return &it->second;
    Overlay::Chunk c;
    c.bytes = Overlay::NewChunkBytes();
    if (!c.bytes) {
        Fail(err::NoMemoryOpen);
        return nullptr;
    }
    // The chunk starts as the layer below it has it now.
    const int64_t start = chunk * Overlay::kChunk;
    const int64_t fromBelow = std::min(ov.baseSize, ov.zeroFrom);
    size_t below =
        start < fromBelow ? size_t(std::min<int64_t>(Overlay::kChunk, fromBelow - start)) : 0;
    if (below > 0 && !readUnder(ov, start, c.bytes.get(), below)) return nullptr;
    std::memset(c.bytes.get() + below, 0, size_t(Overlay::kChunk) - below);
    try {
        return &ov.chunks.emplace_hint(it, chunk, std::move(c))->second;
    } catch (const std::bad_alloc&) {
        Fail(err::NoMemoryOpen);
        return nullptr;
    }
}

bool RecordFile::write(int64_t pos, const void* buf, size_t n) {
    switch (RouteWrite(this)) {
        case WriteRoute::Refused:
            return false;
        case WriteRoute::Direct:
            if (journaled && !SettleJournalFor(this)) return false;
            return writeBase(pos, buf, n);
        case WriteRoute::Overlay:
            break;
    }
    if (pos < 0) {
        Fail(err::ShortWrite);
        return false;
    }
    auto* in = static_cast<const uint8_t*>(buf);
    if (CommitWritesDirect() && writeDirect(pos, in, n)) return true;
    // A write over bytes a direct run holds comes after it: the runs go to the chunks first.
    // (One beside them needs nothing: a chunk made now holds the bytes of the runs as they
    // were, which the runs overwrite when they join the committed changes.)
    if (overlapsDirect(pos, n) && !settleDirect()) return false;
    return writeOverlay(pos, in, n);
}

bool RecordFile::overlapsDirect(int64_t pos, size_t n) const {
    for (const auto& [from, to] : directSpans_)
        if (from < pos + int64_t(n) && pos < to) return true;
    return false;
}

const uint8_t* RecordFile::committedBytes(int64_t pos, size_t n, Overlay::Chunk*& held) {
    const int64_t chunk = pos / Overlay::kChunk;
    const int64_t end = pos + int64_t(n);
    held = nullptr;
    if (overlay_) {
        if (end > std::min(overlay_->baseSize, overlay_->zeroFrom)) return nullptr;
        if (overlay_->chunks.find(chunk) != overlay_->chunks.end()) return nullptr;
    }
    if (committed_) {
        auto it = committed_->chunks.find(chunk);
        if (it != committed_->chunks.end()) {
            held = &it->second;
            return it->second.bytes.get() + pos % Overlay::kChunk;
        }
        if (end > std::min(committed_->baseSize, committed_->zeroFrom)) return nullptr;
    }
    if (end > fileSize_ || (end > mapLen_ && !mapTo(fileSize_))) return nullptr;
    return map_ + pos;
}

bool RecordFile::writeDirect(int64_t pos, const uint8_t* in, size_t n) {
    // Only what lies in at most two chunks, each of them unchanged by the transaction and
    // inside the file as committed; and nothing a direct run already holds.
    struct Piece {
        int64_t pos;
        const uint8_t* before;
        const uint8_t* now;
        size_t n;
        Overlay::Chunk* into;
    };
    Piece pieces[2];
    int count = 0;
    for (int64_t at = pos; at < pos + int64_t(n);) {
        if (count == 2) return false;
        const size_t take = size_t(
            std::min<int64_t>(Overlay::kChunk - at % Overlay::kChunk, pos + int64_t(n) - at));
        Overlay::Chunk* into = nullptr;
        const uint8_t* before = committedBytes(at, take, into);
        if (!before) return false;
        pieces[count++] = Piece{at, before, in + (at - pos), take, into};
        at += int64_t(take);
    }
    if (overlapsDirect(pos, n)) return false;
    const size_t runsBefore = direct_.size(), bytesBefore = directBytes_.size();
    try {
        for (int i = 0; i < count; ++i) {
            const Piece& p = pieces[i];
            ForEachDifference(p.before, p.now, p.n, [&](size_t lo, size_t hi) {
                direct_.push_back(DirectRun{p.pos + int64_t(lo), uint32_t(directBytes_.size()),
                                            uint32_t(hi - lo), p.into});
                directBytes_.insert(directBytes_.end(), p.now + lo, p.now + hi);
            });
        }
        directSpans_.emplace_back(pos, pos + int64_t(n));
    } catch (const std::bad_alloc&) {
        // Without room for the runs the write goes to the transaction's chunks instead.
        direct_.resize(runsBefore);
        directBytes_.resize(bytesBefore);
        return false;
    }
    return true;
}

bool RecordFile::settleDirect() {
    if (direct_.empty()) return true;
    std::vector<DirectRun> runs;
    std::vector<uint8_t> bytes;
    runs.swap(direct_);
    bytes.swap(directBytes_);
    directSpans_.clear();
    for (const DirectRun& r : runs)
        if (!writeOverlay(r.pos, bytes.data() + r.at, r.n)) return false;
    return true;
}

Overlay::Chunk* RecordFile::committedChunk(int64_t chunk) {
    if (!committed_) {
        committed_.reset(new (std::nothrow) Overlay);
        if (!committed_) {
            Fail(err::NoMemoryOpen);
            return nullptr;
        }
        committed_->baseSize = committed_->size = fileSize_;
    }
    return chunkForWrite(*committed_, chunk);
}

bool RecordFile::applyDirect() {
    // Each run lies in one chunk (the differences are found chunk by chunk). The chunk
    // found when it was written is still there: the commit's own chunks replace only the
    // bytes of committed ones.
    for (const DirectRun& r : direct_) {
        Overlay::Chunk* c = r.into ? r.into : committedChunk(r.pos / Overlay::kChunk);
        if (!c) return false;
        const int32_t off = int32_t(r.pos % Overlay::kChunk);
        CopyBytes(c->bytes.get() + off, directBytes_.data() + r.at, r.n);
        c->lo = std::min(c->lo, off);
        c->hi = std::max(c->hi, off + int32_t(r.n));
    }
    dropDirect();
    return true;
}

bool RecordFile::writeOverlay(int64_t pos, const uint8_t* in, size_t n) {
    Overlay* ov = overlayForWrite();
    if (!ov) return false;
    while (n > 0) {
        const int64_t chunk = pos / Overlay::kChunk;
        const int32_t off = int32_t(pos % Overlay::kChunk);
        const size_t take = std::min(size_t(Overlay::kChunk - off), n);
        Overlay::Chunk* c = chunkForWrite(*ov, chunk);
        if (!c) return false;
        c->write(off, in, take);
        in += take;
        pos += int64_t(take);
        n -= take;
    }
    ov->size = std::max(ov->size, pos);
    return true;
}

size_t RunBytesBound(const Overlay& ov) {
    size_t n = 0;
    for (const auto& [chunk, c] : ov.chunks)
        for (int r = 0; r < c.ranges; ++r)
            n += size_t(c.range[r].hi - c.range[r].lo) + 12;
    return n;
}

bool RecordFile::reserveForOverlay() {
    if (!overlay_ || overlay_->size <= reserved_) return true;
    // Space is reserved ahead in steps, so that a file growing by a record at a time does
    // not reserve at every commit.
    const int64_t need = overlay_->size;
    const int64_t step = std::clamp<int64_t>(need / 32, 32 << 10, 1 << 20);
    if (!file_.reserve(reserved_, need + step)) {
        // Without room for the step, the exact length may still fit.
        ResetStatus();
        if (!file_.reserve(reserved_, need)) return false;
        reserved_ = need;
        return true;
    }
    reserved_ = need + step;
    return true;
}

bool RecordFile::commitOverlay() {
    if (!overlay_) return true;
    if (!committed_) {
        committed_ = std::move(overlay_);
        return true;
    }
    Overlay& c = *committed_;
    Overlay& t = *overlay_;
    try {
        // A cut by the transaction: what the earlier commits held past it is gone (a chunk
        // the cut goes through the transaction holds itself).
        if (t.zeroFrom < c.size) {
            c.chunks.erase(
                c.chunks.lower_bound((t.zeroFrom + Overlay::kChunk - 1) / Overlay::kChunk),
                c.chunks.end());
            c.zeroFrom = std::min(c.zeroFrom, t.zeroFrom);
        }
        // The transaction's chunks began as the earlier commits left them: they replace
        // those, with the bytes either wrote.
        for (auto& [number, chunk] : t.chunks) {
            auto it = c.chunks.find(number);
            if (it == c.chunks.end()) {
                c.chunks.emplace(number, std::move(chunk));
                continue;
            }
            it->second.bytes = std::move(chunk.bytes);
            it->second.lo = std::min(it->second.lo, chunk.lo);
            it->second.hi = std::max(it->second.hi, chunk.hi);
        }
    } catch (const std::bad_alloc&) {
        Fail(err::NoMemoryOpen);
        return false;
    }
    c.size = t.size;
    overlay_.reset();
    return true;
}

bool RecordFile::applyCommitted() {
    if (!committed_) return true;
    const Overlay& ov = *committed_;
    // A cut below the file's end first (a cut and then grown again), then the bytes, then
    // the final length. Chunks that follow one another go out in one write: they hold
    // every byte of their stretch of the file, so the bytes between two changes are
    // written as they are.
    if (ov.zeroFrom < fileSize_) {
        if (!truncateBase(ov.zeroFrom)) return false;
        if (ov.size > fileSize_ && !truncateBase(ov.size)) return false;
    }
    std::vector<iovec> parts;
    for (auto it = ov.chunks.begin(); it != ov.chunks.end();) {
        auto first = it;
        auto last = it;
        for (auto next = std::next(it); next != ov.chunks.end() && next->first == last->first + 1;
             ++next)
            last = next;
        const int64_t start = first->first * Overlay::kChunk + first->second.lo;
        const int64_t end = std::min(last->first * Overlay::kChunk + last->second.hi, ov.size);
        if (end > start) {
            parts.clear();
            for (auto c = first;; ++c) {
                const int64_t base = c->first * Overlay::kChunk;
                const int64_t lo = std::max(start, base) - base;
                const int64_t hi = std::min(end, base + Overlay::kChunk) - base;
                if (hi > lo) parts.push_back(iovec{c->second.bytes.get() + lo, size_t(hi - lo)});
                if (c == last) break;
            }
            if (!writeBaseParts(start, parts)) return false;
        }
        it = std::next(last);
    }
    // Unchanged bytes are not written, so the file may still be short of its length (a
    // record of zeros at its end).
    if (ov.size != fileSize_ && !truncateBase(ov.size)) return false;
    committed_.reset();
    return true;
}

bool RecordFile::writeBaseParts(int64_t pos, const std::vector<iovec>& parts) {
    if (parts.size() == 1) return writeBase(pos, parts[0].iov_base, parts[0].iov_len);
    size_t n = 0;
    for (const iovec& v : parts)
        n += v.iov_len;
    dropCache();
    if (!file_.writev(pos, parts)) {
        fileSize_ = std::max<int64_t>(0, std::min(fileSize_, pos));
        return false;
    }
    fileSize_ = std::max(fileSize_, pos + int64_t(n));
    return true;
}

bool RecordFile::writeBase(int64_t pos, const void* buf, size_t n) {
    if (!file_.write(pos, buf, n)) {
        dropCache();
        // Whether the file reaches past pos now is unknown: bytes from there on are read
        // through the cache, which asks the file.
        fileSize_ = std::max<int64_t>(0, std::min(fileSize_, pos));
        return false;
    }
    fileSize_ = std::max(fileSize_, pos + int64_t(n));
    if (!cache_) return true;
    auto* in = static_cast<const uint8_t*>(buf);
    while (n > 0) {
        int64_t chunk = pos / kChunk;
        int64_t off = pos % kChunk;
        size_t take = size_t(kChunk - off) < n ? size_t(kChunk - off) : n;
        Slot& s = slots_[chunk % kSlots];
        if (s.chunk == chunk) {
            if (off <= s.valid) {
                std::memcpy(slotData(int(chunk % kSlots)) + off, in, take);
                if (off + int64_t(take) > s.valid) s.valid = int32_t(off + int64_t(take));
            } else {
                s = Slot{};  // a gap the file filled with zeros: read it again when needed
            }
        }
        in += take;
        pos += int64_t(take);
        n -= take;
    }
    return true;
}

}  // namespace invarro::storage
