#include "data/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "data/Ansi.h"
#include "data/OwnFiles.h"
#include "storage/EngineInternal.h"
#include "storage/FileIO.h"

namespace invarro::data {

std::string JoinPath(const std::string& folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    std::string p = folder;
    if (p.back() != '/') p += '/';
    return p + std::string(name);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

namespace {

// What kind of thing a file that is not a regular file is, for a message.
std::string KindOfFile(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// Reads a regular file of at most maxBytes. The file is opened without waiting (a FIFO
// would otherwise hold the open until a writer comes) and looked at before it is read.
std::optional<std::string> ReadRegular(const std::string& path, std::size_t maxBytes,
                                       std::string* problem) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (problem && errno != ENOENT)
            *problem = path + " cannot be read: " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (problem) *problem = path + " is " + KindOfFile(st.st_mode) + " and is not read";
        ::close(fd);
        return std::nullopt;
    }
    auto tooLarge = [&] {
        if (problem)
            *problem =
                path + " is larger than " + std::to_string(maxBytes) + " bytes and is not read";
        ::close(fd);
        return std::nullopt;
    };
    if (uint64_t(st.st_size) > maxBytes) return tooLarge();
    std::string out;
    out.reserve(std::size_t(st.st_size));
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (problem) *problem = path + " cannot be read: " + std::strerror(errno);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        out.append(buf, size_t(n));
        // A file that grows while it is read stops at the limit all the same.
        if (out.size() > maxBytes) return tooLarge();
    }
    ::close(fd);
    return out;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
    return ReadRegular(path, std::numeric_limits<std::size_t>::max() / 2, nullptr);
}

std::optional<std::string> ReadSideFile(const std::string& path, std::string* problem,
                                        std::size_t maxBytes) {
    return ReadRegular(path, maxBytes, problem);
}

std::string SideFileProblem(const std::string& path, std::size_t maxBytes) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "";
    if (!S_ISREG(st.st_mode)) return path + " is " + KindOfFile(st.st_mode) + " and is not read";
    if (uint64_t(st.st_size) > maxBytes)
        return path + " is larger than " + std::to_string(maxBytes) + " bytes and is not read";
    return "";
}

namespace {
constexpr size_t kWriteBuffer = size_t(1) << 20;

// The errno of the file layer's last failure (it keeps the first one of an operation).
int LayerErrno() {
    const int e = storage::OsError != 0 ? storage::OsError : EIO;
    storage::ResetStatus();
    return e;
}
}  // namespace

ReplacingFile::ReplacingFile(std::string path) : path_(std::move(path)), tmp_(path_ + ".new") {}

ReplacingFile::~ReplacingFile() {
    abandon();
}

std::string ReplacingFile::fail(const std::string& what) const {
    return what + " " + path_ + ": " + std::strerror(errno);
}

bool ReplacingFile::open(std::string* error) {
    abandon();
    // A fresh file, never one found under the temporary name: a link left there by
    // someone else would otherwise have the bytes written wherever it points.
    struct stat st {};
    if (::lstat(tmp_.c_str(), &st) == 0) storage::RemoveFile(tmp_);
    storage::ResetStatus();
    if (!file_.openNew(tmp_, unsigned(NewFileMode(path_)))) {
        errno = LayerErrno();
        if (error) *error = fail("cannot create");
        return false;
    }
    errno_ = 0;
    written_ = 0;
    buffer_.clear();
    buffer_.reserve(kWriteBuffer);
    return true;
}

bool ReplacingFile::flush() {
    if (errno_ == 0 && !buffer_.empty()) {
        if (file_.write(written_, buffer_.data(), buffer_.size()))
            written_ += int64_t(buffer_.size());
        else
            errno_ = LayerErrno();
    }
    buffer_.clear();
    return errno_ == 0;
}

bool ReplacingFile::write(std::string_view bytes) {
    if (!file_.isOpen() || errno_ != 0) return false;
    buffer_.append(bytes);
    return buffer_.size() < kWriteBuffer || flush();
}

bool ReplacingFile::commit(std::string* error) {
    auto failed = [&](const std::string& what) {
        if (error) *error = fail(what);
        const int saved = errno;
        abandon();
        errno = saved;
        return false;
    };
    if (!file_.isOpen()) {
        errno = errno_ ? errno_ : EBADF;
        return failed("cannot write");
    }
    if (!flush()) {
        errno = errno_;
        return failed("cannot write");
    }
    // The new file is durable before it takes the name, and the name before success is
    // reported: a cut leaves the old file or the new one, whole.
    if (!file_.sync() || !file_.close()) {
        errno = LayerErrno();
        return failed("cannot write");
    }
    if (!storage::RenameFile(tmp_, path_)) {
        errno = LayerErrno();
        return failed("cannot replace");
    }
    written_ = -1;
    if (!storage::SyncFolder(storage::FolderOf(path_))) {
        errno = LayerErrno();
        if (error) *error = fail("cannot write");
        return false;
    }
    return true;
}

void ReplacingFile::abandon() {
    if (!file_.isOpen() && written_ < 0) return;
    file_.closeQuietly();
    written_ = -1;
    storage::SavedStatus st;
    if (storage::FileExists(tmp_)) storage::RemoveFile(tmp_);
    st.restore();
}

bool ReplaceFile(const std::string& path, std::string_view bytes, std::string* error) {
    ReplacingFile file(path);
    if (!file.open(error)) return false;
    file.write(bytes);
    return file.commit(error);
}

bool ReplaceUserFile(const std::string& path, std::string_view bytes, std::string* error) {
    return MayWriteUserFile(path, error) && ReplaceFile(path, bytes, error);
}

bool RemoveFile(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 && errno == ENOENT) return true;
    storage::SavedStatus saved;
    const bool ok = storage::RemoveFile(path) || storage::EngineError == storage::err::FileNotFound;
    saved.restore();
    return ok;
}

bool RenameOver(const std::string& from, const std::string& to) {
    storage::SavedStatus st;
    const bool ok = storage::RenameFile(from, to);
    st.restore();
    return ok;
}

std::vector<std::string> TextLines(std::string_view bytes) {
    const std::string text = DecodeText(bytes);
    std::vector<std::string> lines;
    std::string current;
    bool open = false;  // a line has started since the last line end
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.push_back(std::move(current));
            current.clear();
            open = false;
        } else {
            current += c;
            open = true;
        }
    }
    if (open) lines.push_back(std::move(current));
    return lines;
}

std::string TextFileBytes(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines)
        AppendTextFileLine(out, l);
    return out;
}

void AppendTextFileLine(std::string& out, std::string_view line) {
    const size_t from = out.size();
    out += AnsiFromUtf8(line);
    // A line end inside a line would make two lines of one.
    for (size_t i = from; i < out.size(); ++i)
        if (out[i] == '\r' || out[i] == '\n') out[i] = ' ';
    out += "\r\n";
}

}  // namespace invarro::data
