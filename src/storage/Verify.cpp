#include "storage/Verify.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>

#include "storage/BTree.h"
#include "storage/Backend.h"
#include "storage/Bytes.h"
#include "storage/Engine.h"
#include "storage/KeyText.h"
#include "storage/TransactionInternal.h"

namespace invarro::storage {

namespace {

// A read-only file read by position; no lock is taken. The file is mapped when it can be,
// so that reading every record and every index page costs no system call.
class RawFile {
  public:
    ~RawFile() {
        if (map_) ::munmap(const_cast<uint8_t*>(map_), size_t(mapped_));
        if (fd_ >= 0) ::close(fd_);
    }
    // populate: every page will be read through the map, so all are mapped at once rather
    // than fault by fault.
    bool open(const std::string& name, bool populate) {
        // Committed changes this program holds in memory reach the file first.
        if (!SettleJournalForName(name)) return false;
        fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) return false;
        const int64_t n = size();
        if (n > 0) {
            void* m = ::mmap(nullptr, size_t(n), PROT_READ,
                             MAP_SHARED | (populate ? MAP_POPULATE : 0), fd_, 0);
            if (m != MAP_FAILED) {
                map_ = static_cast<const uint8_t*>(m);
                mapped_ = n;
                if (!populate) ::madvise(m, size_t(n), MADV_WILLNEED);
            }
        }
        return true;
    }
    int64_t size() const {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 ? st.st_size : -1;
    }
    // The n bytes at pos inside the mapped file; null when they are not all there (or the
    // file is not mapped).
    const uint8_t* at(int64_t pos, size_t n) const {
        if (!map_ || pos < 0 || pos > mapped_ || int64_t(n) > mapped_ - pos) return nullptr;
        return map_ + pos;
    }
    bool read(int64_t pos, void* buf, size_t n) const {
        if (pos < 0) return false;
        if (const uint8_t* p = at(pos, n)) {
            std::memcpy(buf, p, n);
            return true;
        }
        return ::pread(fd_, buf, n, pos) == ssize_t(n);
    }
    // Reads past the map into buf: a long run read in pieces into one buffer costs less
    // than first touching every page of the map.
    bool readDirect(int64_t pos, void* buf, size_t n) const {
        auto* out = static_cast<uint8_t*>(buf);
        while (n > 0) {
            const ssize_t got = ::pread(fd_, out, n, pos);
            if (got <= 0) return false;
            out += got;
            pos += got;
            n -= size_t(got);
        }
        return true;
    }

  private:
    int fd_ = -1;
    const uint8_t* map_ = nullptr;
    int64_t mapped_ = 0;
};

struct Reader {
    FileblockInfo info;
    RawFile data;
    RawFile index;
    std::vector<int64_t> sections;  // section offset per key
    int64_t recordSize = 0;         // R of the index file
    std::string error;

    bool open(const std::string& name) {
        std::string dataName = DataFileName(name);
        if (!data.open(dataName, false)) {
            error = "cannot open " + dataName + ": " + std::strerror(errno);
            return false;
        }
        uint8_t h[21];
        if (!data.read(0, h, sizeof h)) {
            error = dataName + ": data header is shorter than 21 bytes";
            return false;
        }
        info.chainHead = rd32(h);
        info.deleted = rd32(h + 4);
        info.high = rd32(h + 8);
        info.recordLength = rd32(h + 12);
        info.numKeys = h[16];
        info.updateInProgress = h[20] != 0;
        if (info.recordLength < kMinRecordLength) {
            error =
                dataName + ": record length " + std::to_string(info.recordLength) + " is below 21";
            return false;
        }
        if (info.numKeys > kMaxKeys) {
            error = dataName + ": header names " + std::to_string(info.numKeys) + " keys";
            return false;
        }
        if (info.numKeys == 0) return true;
        std::string indexName = IndexFileName(name);
        if (!index.open(indexName, true)) {
            error = "cannot open " + indexName + ": " + std::strerror(errno);
            return false;
        }
        int64_t off = 0;
        for (int i = 0; i < info.numKeys; ++i) {
            uint8_t k[28];
            if (!index.read(off, k, sizeof k)) {
                error = indexName + ": key header " + std::to_string(i + 1) + " is missing";
                return false;
            }
            KeyInfo ki;
            ki.freeHead = rd32(k);
            ki.freePages = rd32(k + 4);
            ki.highPage = rd32(k + 8);
            ki.pageSize = rd32(k + 12);
            ki.root = rd32(k + 16);
            ki.duplicates = k[20] != 0;
            ki.entries = rd32(k + 22);
            ki.itemsPerPage = rd16(k + 26) == 0 ? kItemsPerPage : rd16(k + 26);
            if (ki.itemsPerPage < 2 || ki.itemsPerPage > 62 || ki.pageSize < 6 ||
                (ki.pageSize - 6) % ki.itemsPerPage != 0) {
                error =
                    indexName + ": key " + std::to_string(i + 1) + " has an inconsistent page size";
                return false;
            }
            ki.keyLength = (ki.pageSize - 6) / ki.itemsPerPage - 9;
            if (ki.keyLength < 1 || ki.keyLength > kMaxKeyLength) {
                error = indexName + ": key " + std::to_string(i + 1) + " has key length " +
                        std::to_string(ki.keyLength);
                return false;
            }
            sections.push_back(off);
            off += ki.pageSize;
            info.keys.push_back(ki);
        }
        recordSize = off;
        return true;
    }

    // The bytes of one page of a key: in the map, or read into buf.
    const uint8_t* page(int keyNo, int32_t page, std::vector<uint8_t>& buf) const {
        const KeyInfo& k = info.keys[size_t(keyNo - 1)];
        const int64_t pos = int64_t(page) * recordSize + sections[size_t(keyNo - 1)];
        if (const uint8_t* p = index.at(pos, size_t(k.pageSize))) return p;
        buf.assign(size_t(k.pageSize), 0);
        return index.read(pos, buf.data(), buf.size()) ? buf.data() : nullptr;
    }
};

// Walks one B-tree checking page fill, order and depth, and hands every entry in index
// order to onEntry(key, length, record), called in line for each of millions of entries.
template <class OnEntry>
struct TreeWalk {
    TreeWalk(const Reader& reader, int key, std::vector<std::string>& found, OnEntry entry)
        : r(reader),
          keyNo(key),
          k(reader.info.keys[size_t(key - 1)]),
          problems(found),
          onEntry(std::move(entry)) {}
    const Reader& r;
    int keyNo;
    const KeyInfo& k;
    std::vector<std::string>& problems;
    OnEntry onEntry;
    std::vector<uint8_t> inTree;  // 1 for each page reached, by page number
    int32_t pageCount = 0;        // pages reached
    int leafDepth = -1;
    bool broken = false;

    void problem(const std::string& text) {
        if (problems.size() < 200) problems.push_back("key " + std::to_string(keyNo) + ": " + text);
    }

    // Starts at the root. Only pages inside the file can be read and so be reached twice;
    // the marks cover those.
    void run() {
        const int64_t inFile = r.recordSize > 0 ? r.index.size() / r.recordSize : 0;
        inTree.assign(
            size_t(std::clamp<int64_t>(std::min<int64_t>(k.highPage, inFile), 0, INT32_MAX)) + 1,
            0);
        if (k.root != 0) walk(k.root, 0, true);
    }
    bool reached(int32_t page) const {
        return page >= 0 && size_t(page) < inTree.size() && inTree[size_t(page)];
    }

    void walk(int32_t page, int depth, bool isRoot) {
        if (broken) return;
        if (page < 1 || page > k.highPage) {
            problem("page link " + std::to_string(page) + " outside 1.." +
                    std::to_string(k.highPage));
            broken = true;
            return;
        }
        if (reached(page)) {
            problem("page " + std::to_string(page) + " is reached twice");
            broken = true;
            return;
        }
        if (size_t(page) < inTree.size()) inTree[size_t(page)] = 1;
        ++pageCount;
        if (depth > 32) {
            problem("tree deeper than 32 levels");
            broken = true;
            return;
        }
        std::vector<uint8_t> copy;
        const uint8_t* buf = r.page(keyNo, page, copy);
        if (!buf) {
            problem("page " + std::to_string(page) + " cannot be read");
            broken = true;
            return;
        }
        int n = rd16(buf);
        int32_t left = rd32(buf + 2);
        const int w = k.keyLength + 9;
        auto where = [page] { return "page " + std::to_string(page); };
        if (n < 0 || n > k.itemsPerPage) {
            problem(where() + " holds " + std::to_string(n) + " items");
            broken = true;
            return;
        }
        if (!isRoot && n < k.itemsPerPage / 2)
            problem(where() + " holds " + std::to_string(n) + " items, fewer than " +
                    std::to_string(k.itemsPerPage / 2));
        if (isRoot && n == 0) problem("root " + where() + " is empty");
        bool leaf = left == 0;
        for (int j = 0; j < n; ++j) {
            const uint8_t* it = buf + 6 + j * w;
            if ((rd32(it + 4) == 0) != leaf) {
                problem(where() + " mixes leaf and inner items");
                break;
            }
        }
        if (leaf) {
            if (leafDepth < 0) leafDepth = depth;
            if (leafDepth != depth) problem(where() + " is a leaf at another depth");
        } else {
            walk(left, depth + 1, false);
        }
        for (int j = 0; j < n && !broken; ++j) {
            const uint8_t* it = buf + 6 + j * w;
            int len = it[8];
            if (len > k.keyLength) {
                problem(where() + " item " + std::to_string(j + 1) + " has key length " +
                        std::to_string(len));
                len = k.keyLength;
            }
            onEntry(it + 9, len, rd32(it));
            if (!leaf) walk(rd32(it + 4), depth + 1, false);
        }
    }
};

}  // namespace

bool ReadFileblockInfo(const std::string& name, FileblockInfo& info, std::string& error) {
    Reader r;
    if (!r.open(name)) {
        error = r.error;
        return false;
    }
    info = r.info;
    return true;
}

std::vector<std::string> CheckFileblock(const std::string& name) {
    std::string relative;
    if (Backend* backend = BackendFor(name, &relative)) return backend->check(relative);
    std::vector<std::string> problems;
    Reader r;
    if (!r.open(name)) {
        problems.push_back(r.error);
        return problems;
    }
    const FileblockInfo& fi = r.info;
    const int64_t L = fi.recordLength;

    // Data file: size, deleted chain, deleted marks.
    int64_t size = r.data.size();
    if (fi.high < 0) problems.push_back("highest record number " + std::to_string(fi.high));
    if (size != (int64_t(fi.high) + 1) * L)
        problems.push_back("data file has " + std::to_string(size) + " bytes, expected " +
                           std::to_string((int64_t(fi.high) + 1) * L) + " for " +
                           std::to_string(fi.high) + " records of " + std::to_string(L));
    if (fi.updateInProgress)
        problems.push_back("update-in-progress flag is set: the fileblock was not closed");
    // Only the slots the file really has are looked at, whatever the header claims.
    const int32_t slots = int32_t(std::clamp<int64_t>(size / L - 1, 0, std::max(fi.high, 0)));
    std::vector<uint8_t> onChain(size_t(slots) + 1, 0);
    std::vector<uint8_t> live(size_t(slots) + 1, 0);
    int32_t chainLength = 0;
    for (int32_t n = fi.chainHead; n != -1;) {
        if (n < 1 || n > slots) {
            problems.push_back("deleted chain link " + std::to_string(n) + " outside 1.." +
                               std::to_string(slots));
            break;
        }
        if (onChain[size_t(n)]) {
            problems.push_back("deleted chain loops at record " + std::to_string(n));
            break;
        }
        onChain[size_t(n)] = 1;
        ++chainLength;
        uint8_t m[4];
        if (!r.data.read(int64_t(n) * L, m, 4)) {
            problems.push_back("deleted record " + std::to_string(n) + " cannot be read");
            break;
        }
        n = rd32(m);
        if (n == 0) {
            problems.push_back("deleted chain reaches a live record");
            break;
        }
    }
    if (chainLength != fi.deleted)
        problems.push_back("header counts " + std::to_string(fi.deleted) +
                           " deleted records, the chain holds " + std::to_string(chainLength));
    // The records' status words, read a run of records at a time into one buffer; a run
    // that cannot be read is read again word by word up to where reading fails.
    const int32_t perRun = int32_t(std::clamp<int64_t>((int64_t(1) << 20) / L, 1, 4096));
    std::vector<uint8_t> run(size_t(perRun) * size_t(L));
    int32_t runFirst = 0, runCount = 0;
    for (int32_t n = 1; n <= slots; ++n) {
        uint8_t m[4];
        if (n >= runFirst + runCount) {
            runFirst = n;
            runCount = std::min(perRun, slots - n + 1);
            if (!r.data.readDirect(int64_t(n) * L, run.data(), size_t(runCount) * size_t(L)))
                runCount = 0;
        }
        if (n < runFirst + runCount)
            std::memcpy(m, run.data() + int64_t(n - runFirst) * L, 4);
        else if (const uint8_t* p = r.data.at(int64_t(n) * L, 4))
            std::memcpy(m, p, 4);
        else if (!r.data.read(int64_t(n) * L, m, 4))
            break;
        if (rd32(m) == 0)
            live[size_t(n)] = 1;
        else if (!onChain[size_t(n)])
            problems.push_back("record " + std::to_string(n) +
                               " is marked deleted but not on the deleted chain");
    }

    // Every B-tree.
    int64_t indexSize = fi.numKeys > 0 ? r.index.size() : 0;
    int32_t maxHigh = 0;
    for (int keyNo = 1; keyNo <= fi.numKeys; ++keyNo) {
        const KeyInfo& k = fi.keys[size_t(keyNo - 1)];
        maxHigh = std::max(maxHigh, k.highPage);
        // The order of the entries and the records they point to are checked as the walk
        // hands them over; what was found is told after the walk's own findings, and only
        // when the walk went through the whole tree.
        std::string disorder;
        uint8_t previousKey[kMaxKeyLength];
        int previousLength = 0;
        int32_t previousRec = 0, entries = 0, bad = 0;
        std::vector<std::string> badEntries;
        auto onEntry = [&](const uint8_t* bytes, int length, int32_t rec) {
            const std::string_view key(reinterpret_cast<const char*>(bytes), size_t(length));
            if (entries > 0 && disorder.empty()) {
                int c = CompareKeys(std::string_view(reinterpret_cast<const char*>(previousKey),
                                                     size_t(previousLength)),
                                    key);
                if (c == 0 && k.duplicates) {
                    int32_t d = int32_t(uint32_t(previousRec) - uint32_t(rec));
                    c = d < 0 ? -1 : (d > 0 ? 1 : 0);
                }
                if (c >= 0)
                    disorder =
                        std::string(c == 0 ? "duplicate entry " : "entries out of order at ") +
                        EncodeKeyText(key) + " " + std::to_string(rec);
            }
            std::memcpy(previousKey, bytes, size_t(length));
            previousLength = length;
            previousRec = rec;
            ++entries;
            if (rec < 1 || rec > slots || !live[size_t(rec)]) {
                if (++bad <= 5)
                    badEntries.push_back("entry " + EncodeKeyText(key) + " points to record " +
                                         std::to_string(rec) + ", which is not a live record");
            }
        };
        TreeWalk tw(r, keyNo, problems, onEntry);
        tw.run();
        if (tw.broken) continue;
        if (entries != k.entries)
            tw.problem("header counts " + std::to_string(k.entries) + " entries, the tree holds " +
                       std::to_string(entries));
        if (!disorder.empty()) tw.problem(disorder);
        for (const std::string& b : badEntries)
            tw.problem(b);
        // Free-page chain.
        std::set<int32_t> freePages;
        for (int32_t p = k.freeHead; p != -1;) {
            if (p < 1 || p > k.highPage) {
                tw.problem("free-page link " + std::to_string(p) + " outside 1.." +
                           std::to_string(k.highPage));
                break;
            }
            if (!freePages.insert(p).second) {
                tw.problem("free-page chain loops at page " + std::to_string(p));
                break;
            }
            if (tw.reached(p)) tw.problem("page " + std::to_string(p) + " is free and in use");
            uint8_t m[4];
            if (!r.index.read(int64_t(p) * r.recordSize + r.sections[size_t(keyNo - 1)], m, 4)) {
                tw.problem("free page " + std::to_string(p) + " cannot be read");
                break;
            }
            p = rd32(m);
        }
        if (int32_t(freePages.size()) != k.freePages)
            tw.problem("header counts " + std::to_string(k.freePages) +
                       " free pages, the chain holds " + std::to_string(freePages.size()));
        int32_t accounted = int32_t(tw.pageCount + int32_t(freePages.size()));
        if (accounted != k.highPage)
            tw.problem(std::to_string(k.highPage - accounted) +
                       " pages are neither in the tree nor free");
    }
    if (fi.numKeys > 0 && indexSize < (int64_t(maxHigh) + 1) * r.recordSize)
        problems.push_back("index file has " + std::to_string(indexSize) + " bytes, fewer than " +
                           std::to_string((int64_t(maxHigh) + 1) * r.recordSize));
    return problems;
}

bool ForEachLiveRecord(const std::string& name,
                       const std::function<void(int32_t, const std::string&)>& fn,
                       std::string& error) {
    Reader r;
    if (!r.open(name)) {
        error = r.error;
        return false;
    }
    std::string rec(size_t(r.info.recordLength), '\0');
    for (int32_t n = 1; n <= r.info.high; ++n) {
        if (!r.data.read(int64_t(n) * r.info.recordLength, rec.data(), rec.size())) {
            error = "record " + std::to_string(n) + " cannot be read";
            return false;
        }
        if (rd32(reinterpret_cast<const uint8_t*>(rec.data())) == 0) fn(n, rec);
    }
    return true;
}

bool ForEachKeyEntry(const std::string& name, int keyNo,
                     const std::function<void(const std::string&, int32_t)>& fn,
                     std::string& error) {
    Reader r;
    if (!r.open(name)) {
        error = r.error;
        return false;
    }
    if (keyNo < 1 || keyNo > r.info.numKeys) {
        error = "no key " + std::to_string(keyNo);
        return false;
    }
    std::vector<std::string> problems;
    std::vector<std::pair<std::string, int32_t>> entries;
    TreeWalk tw(r, keyNo, problems, [&entries](const uint8_t* key, int length, int32_t rec) {
        entries.emplace_back(std::string(reinterpret_cast<const char*>(key), size_t(length)), rec);
    });
    tw.run();
    if (tw.broken) {
        error = problems.empty() ? "index damaged" : problems.front();
        return false;
    }
    for (const auto& [key, rec] : entries)
        fn(key, rec);
    return true;
}

}  // namespace invarro::storage
