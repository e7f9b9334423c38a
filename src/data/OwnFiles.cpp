#include "data/OwnFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

namespace invarro::data {

namespace fs = std::filesystem;

namespace {

std::string& FolderInUse() {
    static std::string folder;
    return folder;
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

std::string LowerName(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), Lower);
    return out;
}

// Data and index files, and the files the engine keeps beside a fileblock: its
// transaction journal, save file, reindex log and diagnostics; and the plan of files being
// replaced together.
constexpr std::array<std::string_view, 7> kOwnExtensions = {".dat", ".ix",  ".jnl", ".sav",
                                                            ".msg", ".dia", ".mov"};
// The single-instance lock.
constexpr std::array<std::string_view, 2> kLockExtensions = {".lock", ".lck"};
// The settings file, the document colours and the work files.
constexpr std::array<std::string_view, 5> kOwnNames = {
    "invarro.ini", "shadeclr.fnt", "invboxclr.fnt", "txttemp.txt", "krletter.tmp"};

template <std::size_t N>
bool EndsWithAny(const std::string& lower, const std::array<std::string_view, N>& endings) {
    return std::any_of(endings.begin(), endings.end(), [&](std::string_view e) {
        return lower.size() > e.size() && lower.compare(lower.size() - e.size(), e.size(), e) == 0;
    });
}

fs::path Absolute(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path.empty() ? std::string(".") : path, ec);
    return ec ? fs::path(path) : p;
}

// The path with "..", "." and every link resolved as far as it exists.
fs::path Canonical(const fs::path& p) {
    std::error_code ec;
    fs::path r = fs::weakly_canonical(p, ec);
    return ec ? p.lexically_normal() : r;
}

// Where a write to path lands: a link at the end is followed by hand, so that one that
// points at a file not yet there still names that file.
fs::path Landing(const std::string& path) {
    fs::path p = Absolute(path);
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec)) || ec) break;
        const fs::path target = fs::read_symlink(p, ec);
        if (ec) break;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    return Canonical(p);
}

// Where the name itself stands: its folder resolved, the last part as written.
fs::path Located(const std::string& path) {
    const fs::path p = Absolute(path).lexically_normal();
    if (!p.has_filename()) return Canonical(p);
    return Canonical(p.parent_path()) / p.filename();
}

bool Within(const fs::path& inner, const fs::path& folder) {
    auto f = folder.begin(), i = inner.begin();
    for (; f != folder.end(); ++f, ++i) {
        if (f->empty()) continue;  // a trailing separator
        if (i == inner.end() || *i != *f) return false;
    }
    return true;
}

// Whether the resolved file p is one of the folder's own.
bool IsOwnPath(const fs::path& p, const fs::path& folder) {
    if (!Within(p, folder) || p == folder) return false;
    const std::string name = p.filename().string();
    if (p.parent_path() == folder && IsOwnFileName(name)) return true;
    return HasOwnFileExtension(name);
}

// The own file of the folder that path is another name of (a hard link or a second
// mount), "" when there is none.
std::string SameFileAs(const fs::path& folder, const std::string& path) {
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0 || !S_ISREG(target.st_mode)) return "";
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!IsOwnFileName(name)) continue;
        struct stat own {};
        if (::stat(it->path().c_str(), &own) == 0 && own.st_dev == target.st_dev &&
            own.st_ino == target.st_ino)
            return it->path().string();
    }
    return "";
}

std::string Refusal(const std::string& path, const std::string& folder, const std::string& own) {
    std::string text = "The file " + path;
    if (!own.empty() && own != path) text += " (" + own + ")";
    return text + " is one of the files of the data folder " + folder +
           " and is never written over. Choose another file name.";
}

}  // namespace

void SetDataFolderInUse(const std::string& folder) {
    FolderInUse() = folder;
}

const std::string& DataFolderInUse() {
    return FolderInUse();
}

DataFolderInUseScope::DataFolderInUseScope(const std::string& folder) : earlier_(FolderInUse()) {
    FolderInUse() = folder;
}

DataFolderInUseScope::~DataFolderInUseScope() {
    FolderInUse() = earlier_;
}

bool IsOwnFileName(std::string_view name) {
    const std::string lower = LowerName(name);
    if (EndsWithAny(lower, kOwnExtensions) || EndsWithAny(lower, kLockExtensions)) return true;
    return std::find(kOwnNames.begin(), kOwnNames.end(), lower) != kOwnNames.end();
}

bool HasOwnFileExtension(std::string_view name) {
    return EndsWithAny(LowerName(name), kOwnExtensions);
}

std::string OwnFileProblem(const std::string& dataFolder, const std::string& path) {
    if (dataFolder.empty() || path.empty()) return "";
    const fs::path folder = Canonical(Absolute(dataFolder));
    const fs::path landing = Landing(path);
    if (IsOwnPath(landing, folder)) return Refusal(path, dataFolder, landing.string());
    const fs::path located = Located(path);
    if (IsOwnPath(located, folder)) return Refusal(path, dataFolder, located.string());
    if (const std::string same = SameFileAs(folder, path); !same.empty())
        return Refusal(path, dataFolder, same);
    return "";
}

std::string OwnFileProblem(const std::string& path) {
    return OwnFileProblem(DataFolderInUse(), path);
}

bool MayWriteUserFile(const std::string& path, std::string* error) {
    const std::string problem = OwnFileProblem(path);
    if (problem.empty()) return true;
    if (error) *error = problem;
    return false;
}

bool InsideDataFolder(const std::string& path) {
    const std::string& inUse = DataFolderInUse();
    if (inUse.empty()) return true;
    const fs::path folder = Canonical(Absolute(inUse));
    return Within(Landing(path), folder) || Within(Located(path), folder);
}

mode_t NewFileMode(const std::string& path) {
    return InsideDataFolder(path) ? 0600 : 0666;
}

mode_t NewFolderMode(const std::string& path) {
    return InsideDataFolder(path) ? 0700 : 0777;
}

}  // namespace invarro::data
