// The mount table of the backend seam and the fileblock handles of backend fileblocks.

#include <algorithm>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "storage/Backend.h"
#include "storage/EngineInternal.h"
#include "storage/FileIO.h"

namespace invarro::storage {

namespace {

struct Mount {
    std::string folder;                // without a trailing slash
    std::shared_ptr<Backend> backend;  // null: the folder's fileblocks are files
};
std::vector<Mount> gMounts;

std::string withoutTrailingSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

}  // namespace

void MountBackend(const std::string& folder, std::shared_ptr<Backend> backend) {
    const std::string f = withoutTrailingSlash(folder);
    gMounts.erase(std::remove_if(gMounts.begin(), gMounts.end(),
                                 [&](const Mount& m) { return m.folder == f; }),
                  gMounts.end());
    if (backend) gMounts.push_back({f, std::move(backend)});
}

void MountFiles(const std::string& folder) {
    const std::string f = withoutTrailingSlash(folder);
    MountBackend(f, nullptr);
    gMounts.push_back({f, nullptr});
}

void UnmountAllBackends() {
    gMounts.clear();
}

std::string FileblockName(std::string_view name) {
    // The same name the data file would have: "T", "T.X" and "T;IDX" are one fileblock.
    std::string data = DataFileName(name);
    data.resize(data.size() - 4);  // ".DAT"
    return data;
}

std::string FileblockName(const Fileblock* fb) {
    if (!fb || fb->marker != kValidMarker) return {};
    return fb->backend ? fb->mountedName : FileblockName(fb->dataName);
}

std::vector<std::string> ChangedElsewhere() {
    std::vector<std::string> names;
    for (const Mount& m : gMounts) {
        if (!m.backend) continue;
        for (const std::string& relative : m.backend->changedElsewhere()) {
            std::string name = m.folder + "/" + relative;
            if (std::find(names.begin(), names.end(), name) == names.end())
                names.push_back(std::move(name));
        }
    }
    return names;
}

Backend* BackendFor(std::string_view name, std::string* relative) {
    if (gMounts.empty()) return nullptr;
    const std::string data = FileblockName(name);
    // The innermost mounted folder that holds the name.
    const Mount* found = nullptr;
    for (const Mount& m : gMounts) {
        if (data.size() > m.folder.size() + 1 && data.compare(0, m.folder.size(), m.folder) == 0 &&
            data[m.folder.size()] == '/' && (!found || m.folder.size() > found->folder.size()))
            found = &m;
    }
    if (!found || !found->backend) return nullptr;
    if (relative) *relative = data.substr(found->folder.size() + 1);
    return found->backend.get();
}

Fileblock* OpenBackendFileblock(Backend* backend, const std::string& relative, bool readOnly) {
    std::unique_ptr<Fileblock> fb(new (std::nothrow) Fileblock);
    if (!fb) {
        Fail(err::NoMemoryOpen);
        return nullptr;
    }
    int numKeys = 0;
    fb->backend = backend->open(relative, readOnly, numKeys);
    if (!fb->backend) return nullptr;
    fb->readOnly = readOnly;
    fb->numKeys = numKeys;
    fb->recordLength = fb->backend->recordLength();
    fb->dataName = relative;
    for (const Mount& m : gMounts)
        if (m.backend.get() == backend) {
            fb->mountedName = m.folder + "/" + relative;
            break;
        }
    fb->marker = kValidMarker;
    OpenList().push_back(fb.get());
    return fb.release();
}

BackendFileblock* BackendOf(const Fileblock* fb) {
    return fb ? fb->backend : nullptr;
}

bool ReadSlot(Fileblock* fb, int32_t n, uint8_t* out) {
    if (!fb->backend)
        return fb->data.read(int64_t(n) * fb->recordLength, out, size_t(fb->recordLength));
    fb->backend->getRecord(n, out);
    return EngineOk;
}

int32_t HighestRecord(Fileblock* fb) {
    return fb->backend ? fb->backend->recordSlotCount() - 1 : fb->high;
}

bool CloseBackendFileblock(Fileblock* fb) {
    bool ok = fb->backend->close();
    delete fb->backend;
    fb->backend = nullptr;
    auto& open = OpenList();
    open.erase(std::find(open.begin(), open.end(), fb));
    fb->marker = 0;
    delete fb;
    if (!ok) Fail(err::CloseFailed);
    return ok;
}

bool AnyBackendInTransaction() {
    return std::any_of(gMounts.begin(), gMounts.end(),
                       [](const Mount& m) { return m.backend && m.backend->inTransaction(); });
}

bool CommitBackendTransactions() {
    for (const Mount& m : gMounts)
        if (m.backend && m.backend->inTransaction() && !m.backend->commit()) return false;
    return true;
}

void RollbackBackendTransactions() {
    for (const Mount& m : gMounts)
        if (m.backend && m.backend->inTransaction()) m.backend->rollback();
}

}  // namespace invarro::storage
