#include "data/Replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "data/Files.h"
#include "storage/EngineInternal.h"
#include "storage/FileIO.h"

namespace invarro::data {

namespace {

namespace fs = std::filesystem;

std::string Reason(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// The path relative to the folder, or "" when it does not lie inside it.
std::string Inside(const std::string& folder, const std::string& path) {
    const fs::path base = fs::path(folder).lexically_normal();
    const fs::path p = fs::path(path).lexically_normal();
    const fs::path rel = p.lexically_relative(base);
    if (rel.empty() || rel.is_absolute()) return {};
    for (const auto& part : rel)
        if (part == "..") return {};
    return rel.string();
}

// A relative path read from a plan, checked again before it is used.
bool SafeRelative(const std::string& rel) {
    if (rel.empty() || rel[0] == '/') return false;
    for (const auto& part : fs::path(rel))
        if (part == ".." || part == ".") return false;
    for (char c : rel)
        if (static_cast<unsigned char>(c) < 32) return false;
    return true;
}

// A failure of the file layer as a reason; the layer's status is left as it was.
bool Failed(const std::string& what, std::string* error) {
    errno = storage::OsError != 0 ? storage::OsError : EIO;
    storage::ResetStatus();
    if (error) *error = Reason(what);
    return false;
}

bool SyncPath(const std::string& path, std::string* error) {
    return storage::SyncFile(path) || Failed(path, error);
}

bool SyncFolderOf(const std::string& folder, std::string* error) {
    return storage::SyncFolder(folder) || Failed(folder, error);
}

// The folder and every folder between it and the data folder: the names of the files in
// them are durable once these are synced.
std::vector<std::string> FoldersUpTo(const std::string& folder, const std::string& path) {
    std::vector<std::string> out;
    const std::string top = fs::path(folder).lexically_normal().string();
    for (fs::path p = fs::path(path).lexically_normal().parent_path();
         !p.empty() && p.string().size() >= top.size(); p = p.parent_path()) {
        out.push_back(p.string());
        if (p.string().size() == top.size() || p == p.parent_path()) break;
    }
    return out;
}

bool Rename(const std::string& from, const std::string& to, std::string* error) {
    return storage::RenameFile(from, to) || Failed(from + " could not be moved to " + to, error);
}

struct Plan {
    std::vector<FileReplacement> moves;  // relative paths
    std::vector<std::string> cleanUp;
};

std::string Encode(const Plan& plan) {
    std::ostringstream out;
    out << "INVARRO REPLACEMENT 1\n";
    for (const FileReplacement& m : plan.moves)
        out << "M\t" << m.target << "\t" << m.fresh << "\t" << m.keep << "\n";
    for (const std::string& d : plan.cleanUp)
        out << "D\t" << d << "\n";
    out << "END\n";
    return out.str();
}

// False when the plan is not whole or names anything outside the folder.
bool Decode(const std::string& text, Plan& plan) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != "INVARRO REPLACEMENT 1") return false;
    bool ended = false;
    while (std::getline(in, line)) {
        if (line == "END") {
            ended = true;
            break;
        }
        std::vector<std::string> f;
        std::stringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, '\t'))
            f.push_back(cell);
        if (!line.empty() && line.back() == '\t') f.push_back("");
        if (f.size() == 4 && f[0] == "M") {
            if (!SafeRelative(f[1]) || !SafeRelative(f[2]) ||
                (!f[3].empty() && !SafeRelative(f[3])))
                return false;
            plan.moves.push_back(FileReplacement{f[1], f[2], f[3]});
        } else if (f.size() == 2 && f[0] == "D") {
            if (!SafeRelative(f[1])) return false;
            plan.cleanUp.push_back(f[1]);
        } else {
            return false;
        }
    }
    return ended;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Makes the moves still to be made: a move whose fresh file is gone was made.
bool Carry(const std::string& folder, const Plan& plan, std::string* error, const FileMove& Move) {
    for (const FileReplacement& m : plan.moves) {
        const std::string fresh = folder + "/" + m.fresh;
        const std::string target = folder + "/" + m.target;
        if (!Exists(fresh)) continue;
        if (!m.keep.empty()) {
            const std::string keep = folder + "/" + m.keep;
            if (Exists(target) && !Exists(keep) && !Move(target, keep, error)) return false;
        }
        if (!Move(fresh, target, error)) return false;
    }
    // Every folder a file moved out of or into: a move is durable only with both.
    std::set<std::string> folders = {folder};
    for (const FileReplacement& m : plan.moves)
        for (const std::string& rel : {m.fresh, m.keep})
            if (!rel.empty())
                for (const std::string& f : FoldersUpTo(folder, folder + "/" + rel))
                    if (Exists(f)) folders.insert(f);
    for (const std::string& f : folders)
        if (!SyncFolderOf(f, error)) return false;
    return true;
}

// Removes a work folder, its files through the file layer.
void RemoveTree(const std::string& path) {
    std::error_code ec;
    std::vector<fs::path> folders;
    for (auto it = fs::recursive_directory_iterator(path, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            folders.push_back(it->path());
        else
            RemoveFile(it->path().string());
    }
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        fs::remove(*it, ec);
    fs::remove_all(path, ec);
}

void RemoveFolders(const std::string& folder, const Plan& plan) {
    for (const std::string& d : plan.cleanUp)
        RemoveTree(folder + "/" + d);
}

bool RemovePlan(const std::string& folder, std::string* error) {
    const std::string name = folder + "/" + kReplacementPlan;
    if (!RemoveFile(name)) {
        if (error) *error = Reason(name);
        return false;
    }
    return SyncFolderOf(folder, error);
}

}  // namespace

bool ReplaceFilesTogether(const std::string& folder, const std::vector<FileReplacement>& moves,
                          const std::vector<std::string>& cleanUp, std::string* error,
                          const FileMove& move) {
    Plan plan;
    for (const FileReplacement& m : moves) {
        FileReplacement rel{Inside(folder, m.target), Inside(folder, m.fresh),
                            m.keep.empty() ? std::string() : Inside(folder, m.keep)};
        if (rel.target.empty() || rel.fresh.empty() || (!m.keep.empty() && rel.keep.empty())) {
            if (error) *error = m.fresh + " cannot replace " + m.target + " inside " + folder;
            return false;
        }
        if (!SyncPath(m.fresh, error)) return false;
        plan.moves.push_back(rel);
    }
    // The fresh files' names are durable before a plan names them (a work folder made
    // for them included), so that no cut leaves a plan without its files.
    {
        std::set<std::string> folders;
        for (const FileReplacement& m : moves)
            for (const std::string& f : FoldersUpTo(folder, m.fresh))
                folders.insert(f);
        for (const std::string& f : folders)
            if (!SyncFolderOf(f, error)) return false;
    }
    for (const std::string& d : cleanUp) {
        std::string rel = Inside(folder, d);
        if (!rel.empty()) plan.cleanUp.push_back(rel);
    }
    // The plan: written whole beside its name, synced, then given its name.
    const std::string name = folder + "/" + kReplacementPlan;
    if (!ReplaceFile(name, Encode(plan), error)) return false;
    const FileMove Move = move ? move : FileMove(Rename);
    if (!Carry(folder, plan, error, Move)) {
        // A move that fails here would fail again at the next start: the moves made are
        // taken back, newest first, and the plan goes. Only when that fails too does the
        // plan stay, for the next start to finish.
        bool undone = true;
        std::string ignored;
        for (auto it = plan.moves.rbegin(); it != plan.moves.rend(); ++it) {
            const std::string fresh = folder + "/" + it->fresh;
            const std::string target = folder + "/" + it->target;
            const std::string keep = it->keep.empty() ? std::string() : folder + "/" + it->keep;
            if (!Exists(fresh) && Exists(target)) undone = Move(target, fresh, &ignored) && undone;
            if (!keep.empty() && Exists(keep) && !Exists(target))
                undone = Move(keep, target, &ignored) && undone;
        }
        if (undone && SyncFolderOf(folder, nullptr) && RemovePlan(folder, nullptr)) {
            RemoveFolders(folder, plan);
            if (error) *error += " Every replaced file has been put back.";
        } else if (error) {
            *error += " The replacement will be finished when the data folder is next opened.";
        }
        return false;
    }
    if (!RemovePlan(folder, error)) return false;
    RemoveFolders(folder, plan);
    return true;
}

bool FinishFileReplacement(const std::string& folder, std::string* error) {
    const std::string name = folder + "/" + kReplacementPlan;
    // A plan that never got its name was never begun.
    RemoveFile(name + ".new");
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0) return true;
    if (!S_ISREG(st.st_mode) || st.st_size > (1 << 20)) {
        if (error) *error = name + " is not a replacement plan of this program";
        return false;
    }
    std::ifstream in(name, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    Plan plan;
    if (!Decode(text, plan)) {
        if (error) *error = name + " is damaged or names files outside the data folder";
        return false;
    }
    if (!Carry(folder, plan, error, Rename) || !RemovePlan(folder, error)) return false;
    RemoveFolders(folder, plan);
    return true;
}

}  // namespace invarro::data
