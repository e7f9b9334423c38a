#include "maintenance/BooksCopy.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

#include "data/Fileblocks.h"
#include "data/Layout.h"
#include "storage/BTree.h"
#include "storage/Backend.h"
#include "storage/Engine.h"
#include "storage/Transaction.h"

namespace invarro::maintenance {

namespace {

int32_t Le32(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                   uint32_t(p[3]) << 24);
}

std::string Why(const std::string& what, const std::string& name) {
    return what + " " + name + " (error " + std::to_string(storage::EngineError) + ")";
}

// An open fileblock that is closed when it goes.
struct Open {
    storage::Fileblock* fb = nullptr;
    Open(const std::string& name, bool readOnly) : fb(storage::OpenFileblock(name, readOnly)) {}
    ~Open() {
        if (fb) storage::CloseFileblock(fb);
    }
    Open(const Open&) = delete;
    Open& operator=(const Open&) = delete;
};

// Every slot of an open fileblock, 1..H, and the deleted ones in chain order.
struct Slots {
    std::vector<std::string> bytes;  // slot n at n - 1
    std::vector<int32_t> chain;      // deleted slots from the head
};

bool ReadSlots(storage::Fileblock* fb, Slots& out, std::string* error, const std::string& name) {
    const int32_t length = storage::RecordLength(fb);
    const int32_t high = storage::HighestRecord(fb);
    std::vector<uint8_t> slot(size_t(std::max(length, 4)));
    std::map<int32_t, int32_t> next;  // deleted slot -> the one it links to
    for (int32_t n = 1; n <= high; ++n) {
        if (!storage::ReadSlot(fb, n, slot.data())) {
            if (error) *error = Why("cannot read a record of", name);
            return false;
        }
        out.bytes.emplace_back(reinterpret_cast<const char*>(slot.data()), size_t(length));
        if (const int32_t link = Le32(slot.data()); link != 0) next[n] = link;
    }
    // The head is the deleted slot no other links to; the chain ends with -1.
    std::vector<bool> linkedTo(size_t(high) + 1, false);
    for (const auto& [n, link] : next)
        if (link >= 1 && link <= high) linkedTo[size_t(link)] = true;
    int32_t head = -1;
    for (const auto& [n, link] : next)
        if (!linkedTo[size_t(n)]) {
            if (head != -1) {
                if (error) *error = "the deleted records of " + name + " form no single chain";
                return false;
            }
            head = n;
        }
    for (int32_t n = head; n != -1 && out.chain.size() <= next.size(); n = next[n])
        out.chain.push_back(n);
    if (out.chain.size() != next.size()) {
        if (error) *error = "the deleted records of " + name + " form no single chain";
        return false;
    }
    return true;
}

using Entries = std::vector<std::pair<std::string, int32_t>>;

bool ReadEntries(storage::Fileblock* fb, int keyNo, Entries& out, std::string* error,
                 const std::string& name) {
    std::string key;
    int32_t rec = storage::FindKeyAtOrAfter(fb, keyNo, key);
    while (storage::EngineOk) {
        out.emplace_back(key, rec);
        storage::NextKey(fb, keyNo, key, rec);
    }
    // An empty index, or the walk past its last entry, is how it ends.
    if (storage::EngineError != storage::err::KeyNotFound &&
        storage::EngineError != storage::err::NoNextEntry) {
        if (error) *error = Why("cannot read the index of", name);
        return false;
    }
    storage::ResetStatus();
    return true;
}

}  // namespace

bool CopyFileblock(const std::string& source, const std::string& target, std::string* error) {
    const data::RecordKind* kind = data::KindFromFileblockName(source);
    if (!kind) kind = data::KindFromFileblockName(target);
    if (!kind) {
        if (error) *error = source + " is not a fileblock of the books";
        return false;
    }
    Open from(source, true);
    if (!from.fb) {
        if (error) *error = Why("cannot open", source);
        return false;
    }
    Slots slots;
    if (!ReadSlots(from.fb, slots, error, source)) return false;
    const int numKeys = storage::KeyCountOf(from.fb);
    std::vector<Entries> entries(static_cast<size_t>(numKeys));
    for (int k = 1; k <= numKeys; ++k)
        if (!ReadEntries(from.fb, k, entries[size_t(k - 1)], error, source)) return false;

    if (storage::FileblockExists(target)) {
        if (error) *error = target + " is there already";
        return false;
    }
    // On a server one transaction holds the whole copy (one commit, not one per record): the
    // caller's when one is open, so that the copy is made or undone with the rest of it. A
    // new file needs none, it is removed when the copy fails.
    const bool joined = storage::InTransaction();
    const bool transaction = storage::BackendFor(target) != nullptr && !joined;
    storage::CreateFileblock(target, storage::RecordLength(from.fb), numKeys, kind->keys.data());
    if (!storage::EngineOk) {
        if (error) *error = Why("cannot create", target);
        return false;
    }
    Open to(target, false);
    auto fail = [&](const std::string& what) {
        if (error) *error = Why(what, target);
        if (to.fb) storage::CloseFileblock(to.fb);
        // In the caller's transaction the caller rolls it back, the new fileblock with it.
        if (joined) return false;
        if (storage::InTransaction()) storage::RollbackTransaction();
        storage::DeleteFileblock(target);
        return false;
    };
    if (!to.fb) return fail("cannot open");
    if (transaction && !storage::BeginTransaction()) return fail("cannot begin writing");
    for (size_t i = 0; i < slots.bytes.size(); ++i) {
        std::string bytes = slots.bytes[i];
        std::memset(bytes.data(), 0, 4);
        if (storage::AddRecord(to.fb, bytes.data()) != int32_t(i + 1))
            return fail("cannot write the records of");
    }
    // Deleted from the tail of the chain to its head, so the chain comes out the same.
    for (auto it = slots.chain.rbegin(); it != slots.chain.rend(); ++it) {
        storage::DeleteRecord(to.fb, *it);
        if (!storage::EngineOk) return fail("cannot write the records of");
    }
    for (int k = 1; k <= numKeys; ++k)
        for (const auto& [key, rec] : entries[size_t(k - 1)]) {
            storage::AddKey(to.fb, k, rec, key);
            if (!storage::EngineOk) return fail("cannot write the index of");
        }
    if (transaction && !storage::CommitTransaction()) return fail("cannot commit the copy of");
    return true;
}

bool ReplaceFileblock(const std::string& source, const std::string& target, std::string* error) {
    if (!storage::FileblockExists(target)) return CopyFileblock(source, target, error);
    if (storage::BackendFor(target)) {
        // On a server the old fileblock goes and the copy comes in one transaction: a copy
        // that fails leaves the old one as it was.
        auto failed = [&](const std::string& what) {
            if (error && !what.empty()) *error = Why(what, target);
            if (storage::InTransaction()) storage::RollbackTransaction();
            return false;
        };
        if (!storage::BeginTransaction()) return failed("cannot begin replacing");
        storage::DeleteFileblock(target);
        if (!storage::EngineOk) return failed("cannot replace");
        if (!CopyFileblock(source, target, error)) return failed("");
        if (!storage::CommitTransaction()) return failed("cannot commit the copy of");
        return true;
    }
    const std::string aside = target + "-before-copy";
    if (storage::FileblockExists(aside)) storage::DeleteFileblock(aside);
    if (!CopyFileblock(target, aside, error)) return false;
    storage::DeleteFileblock(target);
    if (!storage::EngineOk) {
        if (error) *error = Why("cannot replace", target);
        storage::DeleteFileblock(aside);
        return false;
    }
    if (!CopyFileblock(source, target, error)) {
        std::string ignored;
        CopyFileblock(aside, target, &ignored);
        storage::DeleteFileblock(aside);
        return false;
    }
    storage::DeleteFileblock(aside);
    storage::ResetStatus();
    return true;
}

std::string CompareFileblocks(const std::string& a, const std::string& b) {
    Open one(a, true), two(b, true);
    if (!one.fb) return Why("cannot open", a);
    if (!two.fb) return Why("cannot open", b);
    if (storage::RecordLength(one.fb) != storage::RecordLength(two.fb))
        return "the records of " + b + " have another length";
    std::string error;
    Slots x, y;
    if (!ReadSlots(one.fb, x, &error, a) || !ReadSlots(two.fb, y, &error, b)) return error;
    if (x.bytes.size() != y.bytes.size())
        return b + " holds " + std::to_string(y.bytes.size()) + " record slots, not " +
               std::to_string(x.bytes.size());
    for (size_t i = 0; i < x.bytes.size(); ++i)
        if (x.bytes[i] != y.bytes[i])
            return "record " + std::to_string(i + 1) + " of " + b + " differs";
    if (x.chain != y.chain) return "the deleted records of " + b + " differ";
    const int numKeys = storage::KeyCountOf(one.fb);
    if (numKeys != storage::KeyCountOf(two.fb)) return b + " has another number of keys";
    for (int k = 1; k <= numKeys; ++k) {
        Entries p, q;
        if (!ReadEntries(one.fb, k, p, &error, a) || !ReadEntries(two.fb, k, q, &error, b))
            return error;
        if (p != q) return "key " + std::to_string(k) + " of " + b + " differs";
    }
    return {};
}

std::vector<std::string> FileblocksInFolder(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
        const std::string file = e.path().filename().string();
        if (e.path().extension() != ".DAT" || !e.is_regular_file(ec)) continue;
        const std::string stem = e.path().stem().string();
        if (data::KindFromFileblockName(stem)) names.push_back(stem);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool BooksOnBackend(const std::string& folder) {
    return storage::BackendFor(data::FileblockName(folder, data::FileKind::Company)) != nullptr;
}

std::vector<std::string> BooksFileblocks(const std::string& folder) {
    if (!BooksOnBackend(folder)) return FileblocksInFolder(folder);
    std::vector<std::string> names;
    const std::string companies = data::FileblockName(folder, data::FileKind::Company);
    if (!storage::FileblockExists(companies)) return names;
    names.emplace_back(data::kCompanyFileblock);
    Open fb(companies, true);
    std::vector<uint8_t> record(size_t(data::KindOf(data::FileKind::Company).recordLength));
    std::vector<std::string> prefixes;
    for (int32_t n = fb.fb ? storage::NextUsedRecord(fb.fb, 0) : 0; n > 0 && storage::EngineOk;
         n = storage::NextUsedRecord(fb.fb, n)) {
        storage::GetRecord(fb.fb, n, record.data());
        data::CompanyRecord company;
        std::memcpy(company.data(), record.data(), record.size());
        const std::string prefix = data::CompanyPrefix(company.text(data::Company::CompanyNo));
        if (!prefix.empty()) prefixes.push_back(prefix);
    }
    for (const std::string& prefix : prefixes)
        for (const data::FileKind kind : data::kCompanyFileOrder) {
            if (kind == data::FileKind::Company) continue;
            if (storage::FileblockExists(data::FileblockName(folder, kind, prefix)))
                names.push_back(data::FileblockName("", kind, prefix));
        }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

FilesScope::FilesScope(std::string folder) : folder_(std::move(folder)) {
    storage::MountFiles(folder_);
}

FilesScope::~FilesScope() {
    storage::MountBackend(folder_, nullptr);
}

}  // namespace invarro::maintenance
