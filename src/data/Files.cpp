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
}

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
    ::unlink(tmp_.c_str());
    fd_ = ::open(tmp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                 NewFileMode(path_));
    if (fd_ < 0) {
        if (error) *error = fail("cannot create");
        return false;
    }
    errno_ = 0;
    buffer_.clear();
    buffer_.reserve(kWriteBuffer);
    return true;
}

bool ReplacingFile::flush() {
    size_t done = 0;
    while (errno_ == 0 && done < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            errno_ = n < 0 ? errno : ENOSPC;
        else
            done += size_t(n);
    }
    buffer_.clear();
    return errno_ == 0;
}

bool ReplacingFile::write(std::string_view bytes) {
    if (fd_ < 0 || errno_ != 0) return false;
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
    if (fd_ < 0) {
        errno = errno_ ? errno_ : EBADF;
        return failed("cannot write");
    }
    if (!flush()) {
        errno = errno_;
        return failed("cannot write");
    }
    const int fd = fd_;
    fd_ = -1;
    if (::fsync(fd) != 0) {
        const int saved = errno;
        ::close(fd);
        fd_ = -2;  // the temporary file is still to be removed
        errno = saved;
        return failed("cannot write");
    }
    if (::close(fd) != 0) {
        fd_ = -2;
        return failed("cannot write");
    }
    if (::rename(tmp_.c_str(), path_.c_str()) != 0) {
        fd_ = -2;
        return failed("cannot replace");
    }
    return true;
}

void ReplacingFile::abandon() {
    if (fd_ == -1) return;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    ::unlink(tmp_.c_str());
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
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool RenameOver(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
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
