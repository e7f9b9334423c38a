#include "data/Recovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <set>

#include "data/Fileblocks.h"
#include "data/Rebuild.h"
#include "data/Replace.h"
#include "storage/Engine.h"
#include "storage/FileIO.h"
#include "storage/Transaction.h"

namespace invarro::data {

namespace {

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

// The fileblock names (folder/stem) of business files with the given extension.
std::set<std::string> BusinessFiles(const std::string& folder, const std::string& ext) {
    std::set<std::string> names;
    DIR* d = ::opendir(folder.c_str());
    if (!d) return names;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        size_t dot = n.rfind('.');
        if (dot == std::string::npos || Upper(n.substr(dot + 1)) != ext) continue;
        if (n.substr(dot + 1) != ext) continue;  // the engine's own names are upper case
        if (!KindFromFileblockName(n)) continue;
        names.insert(folder + "/" + n.substr(0, dot));
    }
    ::closedir(d);
    return names;
}

// The data file's record length and update flag, read past the engine; false when the
// file cannot be read, or another program holds it (then it is that program's to mend).
bool ReadHeader(const std::string& file, int32_t& length, bool& flagSet) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
    uint8_t h[21];
    ok = ok && ::pread(fd, h, sizeof h, 0) == ssize_t(sizeof h);
    ::close(fd);
    if (!ok) return false;
    length = int32_t(uint32_t(h[12]) | uint32_t(h[13]) << 8 | uint32_t(h[14]) << 16 |
                     uint32_t(h[15]) << 24);
    flagSet = h[20] != 0;
    return true;
}

bool Held(const std::string& file) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

}  // namespace

FolderRecovery RecoverDataFolder(const std::string& folder, platform::Progress& progress) {
    FolderRecovery out;
    // Files this program kept open for its own journal are synced and let go first.
    storage::CheckpointJournal();
    // Files replaced together (a restore, a copy between companies) first: they are whole
    // files, and a journal older than them no longer applies to them.
    if (!FinishFileReplacement(folder, &out.error)) {
        out.ok = false;
        return out;
    }
    storage::JournalRecovery j = storage::RecoverJournal(folder);
    out.transactions = j.replayed;
    out.journalDropped = j.discarded;
    if (!j.ok) {
        out.ok = false;
        out.error = "The journal of the data folder cannot be finished (error " +
                    std::to_string(storage::EngineError) + ").";
        return out;
    }

    auto rebuild = [&](const std::string& name, const RecordKind& kind) {
        if (RebuildBusinessFileblock(name, kind, progress)) {
            out.rebuilt.push_back(name.substr(folder.size() + 1));
            return;
        }
        out.ok = false;
        if (out.error.empty())
            out.error =
                "Unable to rebuild " + name + ": error " + std::to_string(storage::EngineError);
    };

    // Rebuilds cut short: the save file holds every record as the rebuild found them, and
    // whatever the copy had written beside it is dropped before the rebuild runs again.
    for (const std::string& name : BusinessFiles(folder, "SAV")) {
        const RecordKind* kind = KindFromFileblockName(name);
        const std::string save = storage::DataPartFileName(name, "SAV");
        const std::string dat = storage::DataFileName(name);
        if (Held(save) || Held(dat)) continue;
        int32_t length = 0;
        bool flag = false;
        if (!ReadHeader(save, length, flag)) continue;
        for (const std::string& part : {dat, storage::IndexFileName(name)})
            if (storage::FileExists(part)) storage::RemoveFile(part);
        storage::ResetStatus();
        if (length != kind->recordLength) {
            // Not a file of this program's layout: put back as it was, for the conversion.
            storage::RenameFile(save, dat);
            storage::ResetStatus();
            continue;
        }
        rebuild(name, *kind);
    }

    // Indexes an interrupted change outside a transaction may have left out of step, and
    // indexes a rebuild that failed part way left missing.
    for (const std::string& name : BusinessFiles(folder, "DAT")) {
        const RecordKind* kind = KindFromFileblockName(name);
        int32_t length = 0;
        bool flag = false;
        if (!ReadHeader(storage::DataFileName(name), length, flag)) continue;
        if (length != kind->recordLength) continue;
        const bool noIndex =
            kind->keyCount() > 0 && !storage::FileExists(storage::IndexFileName(name));
        if (flag || noIndex) rebuild(name, *kind);
    }
    storage::ResetStatus();
    return out;
}

}  // namespace invarro::data
