// Operating-system file access for the engine. Every failing call records the engine
// error it maps to, and the first failing call of an operation also records OsError and
// OsFunction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "storage/Engine.h"

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

// A file opened exclusively (flock) by this process.
class OsFile {
  public:
    OsFile() = default;
    OsFile(const OsFile&) = delete;
    OsFile& operator=(const OsFile&) = delete;
    ~OsFile() { closeQuietly(); }

    // Opens an existing file; create makes a new empty file (replacing any).
    bool open(const std::string& name, bool readOnly, bool create);
    bool close();
    void closeQuietly();
    bool isOpen() const { return fd_ >= 0; }

    // Reads exactly n bytes; a short read fails with 10070 (shortOk: returns the count).
    bool read(int64_t pos, void* buf, size_t n);
    int64_t readSome(int64_t pos, void* buf, size_t n);  // -1 on error
    bool write(int64_t pos, const void* buf, size_t n);
    int64_t size();
    bool truncate(int64_t size);

    const std::string& name() const { return name_; }
    int descriptor() const { return fd_; }

  private:
    int fd_ = -1;
    std::string name_;
};

// The data file or the index file of an open fileblock. Reads come from a read-only memory
// map of the file (no system call, no copy through a private cache); where the file cannot
// be mapped they come from a small read cache of 4 KB chunks instead. All writes go to the
// operating system at once with pwrite; the map shows them as soon as they are written, and any
// cached chunk is updated, so a read never returns bytes that differ from the file.
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

    bool read(int64_t pos, void* buf, size_t n);
    // Reads past the cache (for batch readers with buffers of their own).
    int64_t readSomeDirect(int64_t pos, void* buf, size_t n) { return file_.readSome(pos, buf, n); }
    bool write(int64_t pos, const void* buf, size_t n);
    int64_t size() { return file_.size(); }
    bool truncate(int64_t size);
    void dropCache();

  private:
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
};

}  // namespace invarro::storage
