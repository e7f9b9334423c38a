// The backup archive: a standard ZIP file of named files. The logic writes an archive of
// files, lists the entries of one and reads an entry's bytes back; the desktop program
// and its tests use the libzip implementation, and tests may wrap it to inject faults.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace invarro::platform {

// A file to put into an archive: the entry's name and the file it is read from.
struct ArchiveSource {
    std::string name;
    std::string path;
};

// One entry as the archive's central directory describes it.
struct ArchiveEntry {
    std::string name;  // the stored name, byte for byte
    uint64_t size = 0;
    uint32_t crc = 0;
    bool directory = false;  // a folder entry (name ending in "/" or folder attributes)
    bool link = false;       // a symbolic link by its stored attributes
    bool encrypted = false;
    bool deflated = false;  // compressed with deflate
    bool stored = false;    // not compressed
};

// An archive opened for reading.
class ArchiveReader {
  public:
    virtual ~ArchiveReader() = default;
    virtual const std::vector<ArchiveEntry>& entries() const = 0;
    // Reads entry `index` in full, handing its bytes to sink piece by piece. Fails when the
    // data cannot be read, when sink returns false, or when the bytes read do not have the
    // entry's size and checksum.
    virtual bool read(std::size_t index, const std::function<bool(std::string_view)>& sink,
                      std::string* error) = 0;
};

class Archive {
  public:
    virtual ~Archive() = default;
    // Writes a new archive at path holding the files under their names, deflated, in the
    // order given; a file already at path is replaced. log receives one line per step.
    virtual bool write(const std::string& path, const std::vector<ArchiveSource>& files,
                       const std::function<void(const std::string&)>& log, std::string* error) = 0;
    // Opens an archive for reading; nothing (and error says why) when it cannot be read.
    virtual std::unique_ptr<ArchiveReader> open(const std::string& path, std::string* error) = 0;
};

}  // namespace invarro::platform
