#include "storage/FileIO.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

#include "storage/Engine.h"

namespace invarro::storage {

void Fail(int32_t error) {
    EngineOk = false;
    EngineError = error;
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
    if (::unlink(name.c_str()) != 0) {
        failMissing(osfn::Delete, name, errno);
        return false;
    }
    return true;
}

bool RenameFile(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        failMissing(osfn::Rename, from, errno);
        return false;
    }
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

// ---------------------------------------------------------------------------- OsFile

bool OsFile::open(const std::string& name, bool readOnly, bool create) {
    closeQuietly();
    int flags = O_CLOEXEC | (readOnly ? O_RDONLY : O_RDWR);
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
    if (create && ::ftruncate(fd, 0) != 0) {
        int e = errno;
        ::close(fd);
        FailOs(osfn::Write, e);
        return false;
    }
    fd_ = fd;
    name_ = name;
    return true;
}

bool OsFile::close() {
    if (fd_ < 0) return true;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        FailOs(osfn::Close, errno);
        return false;
    }
    return true;
}

void OsFile::closeQuietly() {
    if (fd_ >= 0) ::close(fd_);
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
    if (::ftruncate(fd_, size) != 0) {
        FailOs(osfn::Write, errno);
        return false;
    }
    return true;
}

// ------------------------------------------------------------------------ RecordFile

bool RecordFile::open(const std::string& name, bool readOnly, bool create) {
    unmap();
    dropCache();
    mapRefused_ = false;
    if (!file_.open(name, readOnly, create)) return false;
    fileSize_ = file_.size();
    if (fileSize_ < 0) {
        file_.closeQuietly();
        return false;
    }
    return true;
}

bool RecordFile::close() {
    unmap();
    cache_.reset();
    dropCache();
    return file_.close();
}

void RecordFile::closeQuietly() {
    unmap();
    cache_.reset();
    dropCache();
    file_.closeQuietly();
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

bool RecordFile::truncate(int64_t size) {
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
    if (pos < 0) {
        Fail(err::ShortRead);
        return false;
    }
    if (n == 0) return true;
    auto* out = static_cast<uint8_t*>(buf);
    // Bytes inside the file as this handle knows it are read through the map; anything
    // else (past the end, or a file that could not be mapped) through the read cache,
    // which also reports the short read.
    if (int64_t(n) <= fileSize_ - pos && (pos + int64_t(n) <= mapLen_ || mapTo(fileSize_))) {
        std::memcpy(out, map_ + pos, n);
        return true;
    }
    return readCached(pos, out, n);
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

bool RecordFile::write(int64_t pos, const void* buf, size_t n) {
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
