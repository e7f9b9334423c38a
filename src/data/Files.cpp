#include "data/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "data/Ansi.h"

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

std::optional<std::string> ReadWholeFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string out;
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        out.append(buf, size_t(n));
    }
    ::close(fd);
    return out;
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
    fd_ = ::open(tmp_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
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
