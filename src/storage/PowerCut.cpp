#include "storage/PowerCut.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <vector>

#include "storage/EngineTesting.h"

namespace invarro::storage {

namespace cut {
namespace {

namespace fs = std::filesystem;

constexpr size_t kPage = 4096;

struct Node {
    std::string durable;  // the bytes as of the file's last sync
    std::string current;  // the bytes as written
    // Cut short since the last sync: the bytes just before the first cut, and the shortest
    // length since. A change of length reaches the disk whole or not at all, and what was
    // written after it only with it (ext4 commits them in order); until it does, the file
    // keeps its old blocks.
    bool shortened = false;
    std::string beforeShort;
    size_t shortest = 0;
};

void MarkSynced(Node& n) {
    n.durable = n.current;
    n.shortened = false;
    n.beforeShort.clear();
}

struct NameOp {
    enum Kind { Link, Unlink, Rename } kind;
    std::string from, to;  // Link: to; Unlink: from
    int id = -1;
    std::set<std::string> folders;  // whose sync is still wanted
};

struct Model {
    std::string root;
    int64_t cutAt = 0;  // the boundary to cut at (kCutAtExit: when the process exits)
    uint64_t seed = 0;
    bool report = false;  // say the number of boundaries at exit
    std::vector<Node> nodes;
    std::map<std::string, int> durableNames, currentNames;  // by absolute path
    std::vector<NameOp> pending;
    std::map<int, int> fdIds;
    int64_t boundaries = 0;
    bool writing = false;  // a state is being written: its own files are not watched
};
std::unique_ptr<Model> gModel;

// INVARRO_POWER_CUT_TRACE names a file that receives every event of the model, one a line.
void Trace(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void Trace(const char* fmt, ...) {
    static FILE* out = [] {
        const char* t = std::getenv("INVARRO_POWER_CUT_TRACE");
        return t && *t ? std::fopen(t, "a") : nullptr;
    }();
    if (!out) return;
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(out, fmt, ap);
    va_end(ap);
    std::fputc('\n', out);
    std::fflush(out);
}

uint64_t Mix(uint64_t& s) {
    uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::string Normal(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(path), ec);
    if (ec) return path;
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

bool Inside(const std::string& path) {
    const std::string& r = gModel->root;
    return path.size() > r.size() && path.compare(0, r.size(), r) == 0 && path[r.size()] == '/';
}

std::string Folder(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool ReadAll(const std::string& path, std::string& out) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(buf, size_t(n));
    }
    ::close(fd);
    return true;
}

// The node of a name, taken in from the disk as durable when the model has not met it.
int NodeOf(const std::string& path) {
    auto it = gModel->currentNames.find(path);
    if (it != gModel->currentNames.end()) return it->second;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    Node n;
    if (!ReadAll(path, n.current)) return -1;
    n.durable = n.current;
    gModel->nodes.push_back(std::move(n));
    const int id = int(gModel->nodes.size()) - 1;
    gModel->currentNames[path] = id;
    gModel->durableNames[path] = id;
    return id;
}

Node* NodeOfFd(int fd) {
    if (!gModel || gModel->writing) return nullptr;
    auto it = gModel->fdIds.find(fd);
    return it == gModel->fdIds.end() ? nullptr : &gModel->nodes[size_t(it->second)];
}

void Apply(std::map<std::string, int>& names, const NameOp& op) {
    switch (op.kind) {
        case NameOp::Link:
            names[op.to] = op.id;
            break;
        case NameOp::Unlink: {
            auto it = names.find(op.from);
            if (it != names.end() && it->second == op.id) names.erase(it);
            break;
        }
        case NameOp::Rename: {
            auto it = names.find(op.from);
            if (it == names.end() || it->second != op.id) break;
            names.erase(it);
            names[op.to] = op.id;
            break;
        }
    }
}

void TakeIn(const std::string& folder) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file(ec)) NodeOf(Normal(it->path().string()));
    }
}

// The bytes of a file after a cut from durable to current: each page written in between
// lost or kept, the length either.
std::string CutPages(const std::string& durable, const std::string& current, uint64_t& rng) {
    if (durable == current) return current;
    const size_t len = (Mix(rng) & 1) ? durable.size() : current.size();
    std::string out(len, '\0');
    for (size_t at = 0; at < len; at += kPage) {
        const size_t take = std::min(kPage, len - at);
        auto page = [&](const std::string& s) {
            std::string p(take, '\0');
            if (at < s.size()) std::memcpy(p.data(), s.data() + at, std::min(take, s.size() - at));
            return p;
        };
        const std::string d = page(durable), c = page(current);
        const std::string& pick = d == c || (Mix(rng) & 1) ? c : d;
        std::memcpy(out.data() + at, pick.data(), take);
    }
    return out;
}

// The bytes of a node after a cut. A file cut short since its last sync is either still
// as it was before (with what was written up to then), or cut short, its blocks past the
// shortest length gone, with what was written after.
std::string CutBytes(const Node& n, uint64_t& rng) {
    if (!n.shortened) return CutPages(n.durable, n.current, rng);
    if (Mix(rng) & 1) return CutPages(n.durable, n.beforeShort, rng);
    return CutPages(n.durable.substr(0, std::min(n.shortest, n.durable.size())), n.current, rng);
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) break;
        done += size_t(w);
    }
    ::close(fd);
    return done == bytes.size();
}

// The seed of the state at a boundary: the run's seed and the boundary.
uint64_t SeedAt(int64_t boundary) {
    return gModel->seed * 1000003u + uint64_t(boundary);
}

void AtExit() {
    if (!gModel) return;
    if (gModel->report) {
        char line[64];
        const int n = std::snprintf(line, sizeof line, "power-cut boundaries: %lld\n",
                                    (long long)gModel->boundaries);
        if (n > 0) (void)!::write(2, line, size_t(n));
    }
    if (gModel->cutAt == kCutAtExit) {
        CutPowerInPlace(SeedAt(0));
        ::_exit(kFaultExitStatus);
    }
}

}  // namespace

bool Watching() {
    return gModel && !gModel->writing;
}

void Boundary() {
    if (!Watching()) return;
    ++gModel->boundaries;
    Trace("boundary %lld", (long long)gModel->boundaries);
    if (gModel->cutAt != gModel->boundaries) return;
    CutPowerInPlace(SeedAt(gModel->boundaries));
    ::_exit(kFaultExitStatus);
}

void Know(const std::string& path) {
    if (!Watching()) return;
    const std::string p = Normal(path);
    if (Inside(p)) NodeOf(p);
}

void Opened(int fd, const std::string& path, bool existed) {
    if (!Watching()) return;
    const std::string p = Normal(path);
    if (!Inside(p)) return;
    int id = -1;
    if (!existed || !gModel->currentNames.count(p)) {
        if (existed) {
            id = NodeOf(p);
        } else {
            gModel->nodes.push_back(Node{});
            id = int(gModel->nodes.size()) - 1;
            gModel->currentNames[p] = id;
            gModel->pending.push_back(NameOp{NameOp::Link, "", p, id, {Folder(p)}});
        }
    } else {
        id = gModel->currentNames[p];
    }
    if (id >= 0) gModel->fdIds[fd] = id;
    Trace("open fd %d %s existed %d node %d", fd, p.c_str(), int(existed), id);
}

void Closed(int fd) {
    if (gModel && gModel->fdIds.erase(fd)) Trace("close fd %d", fd);
}

void Wrote(int fd, int64_t pos, const void* bytes, size_t n) {
    Node* node = NodeOfFd(fd);
    if (!node || pos < 0) return;
    Trace("write fd %d node %d at %lld bytes %zu", fd, gModel->fdIds[fd], (long long)pos, n);
    std::string& c = node->current;
    if (c.size() < size_t(pos) + n) c.resize(size_t(pos) + n, '\0');
    std::memcpy(c.data() + pos, bytes, n);
}

void Resized(int fd, int64_t size) {
    if (Node* node = NodeOfFd(fd)) {
        Trace("resize fd %d node %d to %lld", fd, gModel->fdIds[fd], (long long)size);
        const size_t to = size_t(std::max<int64_t>(size, 0));
        if (to < node->current.size()) {
            if (!node->shortened) node->beforeShort = node->current;
            node->shortest = node->shortened ? std::min(node->shortest, to) : to;
            node->shortened = true;
        }
        node->current.resize(to, '\0');
    }
}

void Grew(int fd, int64_t size) {
    Node* node = NodeOfFd(fd);
    if (node && node->current.size() < size_t(size)) {
        Trace("grow fd %d node %d to %lld", fd, gModel->fdIds[fd], (long long)size);
        node->current.resize(size_t(size), '\0');
    }
}

void Synced(int fd) {
    if (Node* node = NodeOfFd(fd)) {
        Trace("sync fd %d node %d size %zu", fd, gModel->fdIds[fd], node->current.size());
        MarkSynced(*node);
    }
}

void SyncedPath(const std::string& path) {
    if (!Watching()) return;
    auto it = gModel->currentNames.find(Normal(path));
    if (it != gModel->currentNames.end()) {
        Node& n = gModel->nodes[size_t(it->second)];
        Trace("sync %s node %d", it->first.c_str(), it->second);
        MarkSynced(n);
    }
}

void FolderSynced(const std::string& folder) {
    if (!Watching()) return;
    const std::string f = Normal(folder);
    Trace("sync folder %s", f.c_str());
    std::vector<NameOp> still;
    for (NameOp& op : gModel->pending) {
        op.folders.erase(f);
        if (op.folders.empty())
            Apply(gModel->durableNames, op);
        else
            still.push_back(std::move(op));
    }
    gModel->pending = std::move(still);
}

void Renamed(const std::string& from, const std::string& to) {
    if (!Watching()) return;
    const std::string a = Normal(from), b = Normal(to);
    if (!Inside(a) || !Inside(b)) return;
    auto it = gModel->currentNames.find(a);
    if (it == gModel->currentNames.end()) return;
    const int id = it->second;
    gModel->currentNames.erase(it);
    gModel->currentNames[b] = id;
    gModel->pending.push_back(NameOp{NameOp::Rename, a, b, id, {Folder(a), Folder(b)}});
    Trace("rename %s %s node %d", a.c_str(), b.c_str(), id);
}

void Removed(const std::string& path) {
    if (!Watching()) return;
    const std::string p = Normal(path);
    auto it = gModel->currentNames.find(p);
    if (it == gModel->currentNames.end()) return;
    const int id = it->second;
    gModel->currentNames.erase(it);
    gModel->pending.push_back(NameOp{NameOp::Unlink, p, "", id, {Folder(p)}});
    Trace("unlink %s node %d", p.c_str(), id);
}

}  // namespace cut

// ------------------------------------------------------------------ the public seam

void StartPowerCutWatch(const std::string& folder, int64_t cutAt, uint64_t seed) {
    cut::gModel = std::make_unique<cut::Model>();
    cut::gModel->root = cut::Normal(folder);
    cut::gModel->cutAt = cutAt;
    cut::gModel->seed = seed;
    cut::TakeIn(cut::gModel->root);
    static bool registered = false;
    if (!registered) std::atexit(cut::AtExit);
    registered = true;
}

void StopPowerCutWatch() {
    cut::gModel.reset();
}

int64_t PowerCutBoundaries() {
    return cut::gModel ? cut::gModel->boundaries : 0;
}

namespace {

// The names and bytes a cut now leaves, chosen by seed.
struct CutState {
    std::map<std::string, int> names;
    std::map<int, std::string> bytes;  // one outcome per file, whatever its names
};

CutState Cut(uint64_t seed) {
    cut::Model& m = *cut::gModel;
    CutState st;
    uint64_t rng = seed ^ 0x5DEECE66Dull;
    st.names = m.durableNames;
    for (const cut::NameOp& op : m.pending)
        if (cut::Mix(rng) & 1) cut::Apply(st.names, op);
    for (const auto& [path, id] : st.names) {
        if (st.bytes.count(id)) continue;
        const cut::Node& n = m.nodes[size_t(id)];
        const std::string& b = st.bytes.emplace(id, cut::CutBytes(n, rng)).first->second;
        cut::Trace("cut keeps %s node %d: %s", path.c_str(), id,
                   n.durable == n.current ? "synced"
                   : b == n.current       ? "as written"
                   : b == n.durable       ? "as synced"
                                          : "torn");
    }
    return st;
}

}  // namespace

bool WritePowerCutState(const std::string& into, uint64_t seed) {
    if (!cut::gModel) return false;
    cut::Model& m = *cut::gModel;
    m.writing = true;
    const CutState st = Cut(seed);
    bool ok = true;
    std::error_code ec;
    std::filesystem::create_directories(into, ec);
    for (const auto& [path, id] : st.names)
        ok = cut::WriteFile(into + path.substr(m.root.size()), st.bytes.at(id)) && ok;
    m.writing = false;
    return ok;
}

bool CutPowerInPlace(uint64_t seed) {
    if (!cut::gModel) return false;
    namespace fs = std::filesystem;
    cut::Model& m = *cut::gModel;
    m.writing = true;
    const CutState st = Cut(seed);
    // Files the cut keeps stay the same files (a journal knows its files by their inode):
    // each is parked under a name of its own, every other file the run knew goes, and the
    // parked files take their names and bytes.
    std::map<int, std::string> parked;
    for (const auto& [path, id] : m.currentNames) {
        if (!st.bytes.count(id) || parked.count(id)) continue;
        const std::string temp = m.root + "/.power-cut-" + std::to_string(id);
        if (::rename(path.c_str(), temp.c_str()) == 0) parked[id] = temp;
    }
    // Files the model never met (made past the file layer) are left as they are.
    std::error_code ec;
    for (const auto& entry : m.currentNames)
        ::unlink(entry.first.c_str());  // a parked file is no longer there
    bool ok = true;
    for (const auto& [path, id] : st.names) {
        fs::create_directories(fs::path(path).parent_path(), ec);
        auto it = parked.find(id);
        if (it != parked.end() && ::rename(it->second.c_str(), path.c_str()) == 0) parked.erase(it);
        ok = cut::WriteFile(path, st.bytes.at(id)) && ok;
    }
    for (const auto& [id, temp] : parked)
        ::unlink(temp.c_str());
    m.writing = false;
    return ok;
}

void PowerCutFromEnvironment() {
    const char* at = std::getenv("INVARRO_POWER_CUT");
    const char* folder = std::getenv("INVARRO_POWER_CUT_FOLDER");
    if (!at || !*at || !folder || !*folder) return;
    const std::string_view text(at);
    const size_t colon = text.find(':');
    const std::string when(text.substr(0, colon));
    const uint64_t seed =
        colon == std::string_view::npos ? 1 : std::strtoull(at + colon + 1, nullptr, 10);
    const int64_t cutAt = when == "end"     ? kCutAtExit
                          : when == "count" ? 0
                                            : std::atoll(when.c_str());
    StartPowerCutWatch(folder, cutAt, seed);
    cut::gModel->report = when == "count";
}

}  // namespace invarro::storage
