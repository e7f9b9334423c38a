#include "platform/zip/ZipArchive.h"

#include <sys/stat.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <optional>

namespace invarro::platform::zip {

namespace {

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

std::string OpenErrorText(int code) {
    zip_error_t e;
    zip_error_init_with_code(&e, code);
    std::string text = zip_error_strerror(&e);
    zip_error_fini(&e);
    return text;
}

uint64_t Little(const std::string& b, std::size_t at, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b[at + std::size_t(i)]);
    return v;
}

bool ReadAt(std::FILE* f, uint64_t at, std::size_t n, std::string& out) {
    out.assign(n, '\0');
    return ::fseeko(f, off_t(at), SEEK_SET) == 0 && std::fread(out.data(), 1, n, f) == n;
}

// The entry names byte for byte as the central directory stores them, in its order.
// libzip hands a NUL inside a name back as a blank, which would make "1C.DAT<NUL>.sh" a
// name with a blank instead of a name that no file can have. Nothing when the directory
// cannot be found.
std::optional<std::vector<std::string>> StoredNames(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!f || ::fseeko(f.get(), 0, SEEK_END) != 0) return std::nullopt;
    const off_t end = ::ftello(f.get());
    if (end < 22) return std::nullopt;
    // The end record: 22 bytes and a comment of at most 65535.
    const uint64_t tailSize = std::min<uint64_t>(uint64_t(end), 22 + 65535);
    std::string tail;
    if (!ReadAt(f.get(), uint64_t(end) - tailSize, std::size_t(tailSize), tail))
        return std::nullopt;
    const std::size_t eocd = tail.rfind(std::string("PK\x05\x06", 4));
    if (eocd == std::string::npos || eocd + 22 > tail.size()) return std::nullopt;
    const uint64_t eocdAt = uint64_t(end) - tailSize + eocd;
    uint64_t count = Little(tail, eocd + 10, 2);
    uint64_t size = Little(tail, eocd + 12, 4);
    uint64_t endOfDirectory = eocdAt;
    if (count == 0xFFFF || size == 0xFFFFFFFF || Little(tail, eocd + 16, 4) == 0xFFFFFFFF) {
        // ZIP64: the locator before the end record points at the larger end record.
        std::string locator, record;
        if (eocdAt < 20 || !ReadAt(f.get(), eocdAt - 20, 20, locator) ||
            locator.compare(0, 4, "PK\x06\x07", 4) != 0)
            return std::nullopt;
        const uint64_t recordAt = Little(locator, 8, 8);
        if (!ReadAt(f.get(), recordAt, 56, record) || record.compare(0, 4, "PK\x06\x06", 4) != 0)
            return std::nullopt;
        count = Little(record, 32, 8);
        size = Little(record, 40, 8);
        endOfDirectory = recordAt;
    }
    // The directory ends where the end record begins, also behind data put in front.
    if (size > endOfDirectory || size > (uint64_t(1) << 30)) return std::nullopt;
    std::string dir;
    if (!ReadAt(f.get(), endOfDirectory - size, std::size_t(size), dir)) return std::nullopt;
    std::vector<std::string> names;
    std::size_t at = 0;
    for (uint64_t i = 0; i < count; ++i) {
        if (at + 46 > dir.size() || dir.compare(at, 4, "PK\x01\x02", 4) != 0) return std::nullopt;
        const std::size_t nameLength = std::size_t(Little(dir, at + 28, 2));
        const std::size_t rest = std::size_t(Little(dir, at + 30, 2) + Little(dir, at + 32, 2));
        if (at + 46 + nameLength + rest > dir.size()) return std::nullopt;
        names.push_back(dir.substr(at + 46, nameLength));
        at += 46 + nameLength + rest;
    }
    return names;
}

// Regular files are stored with the owner-only mode the program gives its files.
constexpr zip_uint32_t kFileAttributes = (S_IFREG | 0600) << 16;

class ZipReader : public ArchiveReader {
  public:
    ZipReader(zip_t* za, std::vector<ArchiveEntry> entries)
        : za_(za), entries_(std::move(entries)) {}
    ~ZipReader() override { zip_discard(za_); }
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    const std::vector<ArchiveEntry>& entries() const override { return entries_; }

    bool read(std::size_t index, const std::function<bool(std::string_view)>& sink,
              std::string* error) override {
        if (index >= entries_.size()) {
            SetError(error, "There is no entry " + std::to_string(index) + " in the archive.");
            return false;
        }
        const ArchiveEntry& entry = entries_[index];
        zip_file_t* f = zip_fopen_index(za_, zip_uint64_t(index), 0);
        if (!f) {
            SetError(error, entry.name + ": " + zip_strerror(za_));
            return false;
        }
        uLong crc = crc32(0, nullptr, 0);
        uint64_t total = 0;
        std::array<char, 65536> buffer;
        bool ok = true;
        for (;;) {
            const zip_int64_t n = zip_fread(f, buffer.data(), buffer.size());
            if (n < 0) {
                SetError(error, entry.name + ": " + zip_file_strerror(f));
                ok = false;
                break;
            }
            if (n == 0) break;
            total += uint64_t(n);
            crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), uInt(n));
            if (!sink(std::string_view(buffer.data(), std::size_t(n)))) {
                SetError(error, entry.name + ": the entry's data could not be written.");
                ok = false;
                break;
            }
        }
        zip_fclose(f);
        if (!ok) return false;
        // libzip checks the checksum itself; the count and checksum here also catch an
        // entry whose directory record and data disagree.
        if (total != entry.size || uint32_t(crc) != entry.crc) {
            SetError(error, entry.name +
                                ": the data read back does not match its size and "
                                "checksum.");
            return false;
        }
        return true;
    }

  private:
    zip_t* za_;
    std::vector<ArchiveEntry> entries_;
};

}  // namespace

bool ZipArchive::write(const std::string& path, const std::vector<ArchiveSource>& files,
                       const std::function<void(const std::string&)>& log, std::string* error) {
    auto say = [&](const std::string& line) {
        if (log) log(line);
    };
    int code = 0;
    zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!za) {
        SetError(error, "The archive " + path + " cannot be created: " + OpenErrorText(code));
        say("Cannot create " + path + ": " + OpenErrorText(code));
        return false;
    }
    say("Creating archive " + path);
    for (const ArchiveSource& file : files) {
        zip_source_t* src = zip_source_file(za, file.path.c_str(), 0, -1);
        zip_int64_t index = -1;
        if (src) {
            index = zip_file_add(za, file.name.c_str(), src, ZIP_FL_ENC_GUESS);
            if (index < 0) zip_source_free(src);
        }
        if (index < 0 ||
            zip_set_file_compression(za, zip_uint64_t(index), ZIP_CM_DEFLATE, 9) != 0 ||
            zip_file_set_external_attributes(za, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX,
                                             kFileAttributes) != 0) {
            const std::string why = zip_strerror(za);
            SetError(error, file.path + ": " + why);
            say("Cannot add " + file.path + ": " + why);
            zip_discard(za);
            return false;
        }
        say("Adding " + file.name);
    }
    // The files are read, compressed and written here; libzip writes a temporary file
    // beside the archive and renames it when all went well.
    if (zip_close(za) != 0) {
        const std::string why = zip_strerror(za);
        SetError(error, "The archive " + path + " could not be written: " + why);
        say("Writing failed: " + why);
        zip_discard(za);
        return false;
    }
    say("Saved " + std::to_string(files.size()) + " files to " + path);
    return true;
}

std::unique_ptr<ArchiveReader> ZipArchive::open(const std::string& path, std::string* error) {
    int code = 0;
    zip_t* za = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!za) {
        // Two entries of one name make libzip's consistency check fail with "exists".
        SetError(error, "The archive " + path + " cannot be read: " +
                            (code == ZIP_ER_EXISTS ? std::string("it holds a file name twice.")
                                                   : OpenErrorText(code)));
        return nullptr;
    }
    const zip_int64_t count = zip_get_num_entries(za, 0);
    std::vector<ArchiveEntry> entries;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(za, zip_uint64_t(i), ZIP_FL_ENC_RAW, &st) != 0 ||
            !(st.valid & ZIP_STAT_NAME)) {
            SetError(error, "The archive " + path + " cannot be read: " + zip_strerror(za));
            zip_discard(za);
            return nullptr;
        }
        ArchiveEntry e;
        e.name = st.name;
        e.size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
        e.crc = (st.valid & ZIP_STAT_CRC) ? st.crc : 0;
        e.encrypted = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != 0;
        e.deflated = (st.valid & ZIP_STAT_COMP_METHOD) && st.comp_method == ZIP_CM_DEFLATE;
        e.stored = (st.valid & ZIP_STAT_COMP_METHOD) && st.comp_method == ZIP_CM_STORE;
        e.directory = !e.name.empty() && e.name.back() == '/';
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(za, zip_uint64_t(i), 0, &system, &attributes) == 0 &&
            system == ZIP_OPSYS_UNIX) {
            const unsigned type = (attributes >> 16) & S_IFMT;
            if (type == S_IFLNK) e.link = true;
            if (type == S_IFDIR) e.directory = true;
        }
        entries.push_back(std::move(e));
    }
    // A name holding a NUL is given as stored, so that it is refused rather than read as
    // another name.
    if (const auto stored = StoredNames(path); stored && stored->size() == entries.size()) {
        for (std::size_t i = 0; i < entries.size(); ++i)
            if ((*stored)[i].find('\0') != std::string::npos) entries[i].name = (*stored)[i];
    }
    return std::make_unique<ZipReader>(za, std::move(entries));
}

}  // namespace invarro::platform::zip
