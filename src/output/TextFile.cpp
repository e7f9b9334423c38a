#include "output/TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "output/AnsiText.h"

namespace invarro::output {

namespace {

void SetError(std::string* error, const std::filesystem::path& file, const char* what, int err) {
    if (error) *error = std::string(what) + " " + file.string() + ": " + std::strerror(err);
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

}  // namespace

bool WriteAnsiLines(const std::filesystem::path& file, const std::vector<std::string>& lines,
                    std::string* error) {
    std::string bytes;
    for (const auto& line : lines) {
        std::string ansi = Utf8ToAnsi(line);
        for (char& c : ansi)
            if (c == '\r' || c == '\n') c = ' ';
        bytes += ansi;
        bytes += "\r\n";
    }
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        SetError(error, file, "Cannot create", errno);
        return false;
    }
    // A file left over from before keeps its old permissions through O_TRUNC.
    ::fchmod(fd, 0600);
    if (!WriteAll(fd, bytes)) {
        const int err = errno;
        ::close(fd);
        SetError(error, file, "Cannot write", err);
        return false;
    }
    if (::close(fd) != 0) {
        SetError(error, file, "Cannot write", errno);
        return false;
    }
    return true;
}

std::optional<std::vector<std::string>> ReadTextLines(const std::filesystem::path& file,
                                                      std::string* error) {
    errno = 0;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        SetError(error, file, "Cannot open", errno ? errno : ENOENT);
        return std::nullopt;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        SetError(error, file, "Cannot read", errno ? errno : EIO);
        return std::nullopt;
    }
    const std::string text = DecodeText(bytes);
    std::vector<std::string> lines;
    std::string current;
    bool open = false;  // a line has started since the last line end
    for (std::size_t i = 0; i < text.size(); ++i) {
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

bool WriteTextList(const std::filesystem::path& folder, const std::vector<std::string>& lines,
                   std::string* error) {
    std::vector<std::string> cut;
    cut.reserve(lines.size());
    for (const auto& line : lines)
        cut.push_back(FirstChars(line, kTextListWidth));
    return WriteAnsiLines(folder / kTextListFile, cut, error);
}

}  // namespace invarro::output
