// Restructure, reindex and the rebuild sequence built from them.

#include "storage/Rebuild.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "storage/BTree.h"
#include "storage/Backend.h"
#include "storage/BufferedRecords.h"
#include "storage/Bytes.h"
#include "storage/EngineInternal.h"
#include "storage/EngineTesting.h"
#include "storage/KeyEntries.h"
#include "storage/Transaction.h"
#include "storage/VarRecords.h"

namespace invarro::storage {

namespace {

ProgressCallback gProgress;
int64_t gSortBytes = kReindexSortBytes;

int64_t SortBytes() {
    return gSortBytes;
}

constexpr int32_t kLongestFixed = 65535;

int32_t lengthLimit(bool variableLength) {
    return variableLength ? kLongestVariableRecord : kLongestFixed;
}

// Calls the progress callback; false when it asked to stop.
bool reportProgress(int keyNo, int32_t read, int32_t written, int32_t length,
                    const uint8_t* record) {
    if (!gProgress) return true;
    bool goOn = gProgress(keyNo, read, written, length, record);
    if (!goOn || !EngineOk) {
        ResetStatus();
        Fail(err::Cancelled);
        return false;
    }
    return true;
}

}  // namespace

void SetReindexSortBytes(int64_t bytes) {
    gSortBytes = bytes > 0 ? bytes : kReindexSortBytes;
}

void SetProgressCallback(ProgressCallback callback) {
    gProgress = std::move(callback);
}
const ProgressCallback& GetProgressCallback() {
    return gProgress;
}

bool DefaultConverter(const uint8_t* oldRecord, uint8_t* newRecord, int32_t& length) {
    if (rd32(oldRecord) != 0) return false;
    std::memcpy(newRecord, oldRecord, size_t(length));
    return true;
}

void NoRecordHook(uint8_t*, int32_t, int, intptr_t) {}

// ------------------------------------------------------------------------- Restructure

namespace {

// Makes the new data file (and its index, when there is one) durable, then lets the save
// file go: a cut at any moment leaves either the save file, from which the next start
// rebuilds, or the new files whole.
bool ReplaceSaveFile(const std::string& name) {
    const std::string dataName = DataFileName(name);
    const std::string indexName = IndexFileName(name);
    const std::string folder = FolderOf(dataName);
    if (!SyncFile(dataName) || (FileExists(indexName) && !SyncFile(indexName)) ||
        !SyncFolder(folder))
        return false;
    return RemoveFile(DataPartFileName(name, "SAV")) && SyncFolder(folder);
}

// Receives every record written by a restructure with its new record number.
using WrittenRecord = std::function<void(int32_t rec, const uint8_t* record, int32_t length)>;

// leaveMarked keeps the update-in-progress flag of the new data file set, so that a
// rebuild interrupted between its copy and its reindex asks for a rebuild again.
void restructure(const std::string& name, int32_t newLength, int32_t oldLength, intptr_t user,
                 const RecordHook& hook, const RecordConverter& converter, bool variableLength,
                 bool leaveMarked, const WrittenRecord& onWritten = nullptr) {
    ResetStatus();
    if (!EngineStarted()) return Fail(err::NotStarted);
    if (InTransaction()) return Fail(err::TransactionState);
    // The files are read and replaced whole: what the journal holds for them goes first.
    if (!CheckpointJournal()) return;
    const int32_t limit = lengthLimit(variableLength);
    if (newLength > limit || oldLength > limit) return Fail(err::RecordTooLong);
    if (oldLength < 1) return Fail(err::RecordTooShort);

    const std::string dataName = DataFileName(name);
    const std::string saveName = DataPartFileName(name, "SAV");
    if (FileExists(saveName) && FileExists(dataName)) return Fail(err::SaveAndDataExist);

    // A data file that another open holds is not renamed under it: the caller may retry.
    if (!FileNotHeld(dataName)) return Fail(err::RenameFailed);
    bool fromSave = false;
    // The save file is the only whole copy until the new files are durable: its bytes and
    // its name reach the disk before a new data file takes the old name.
    const bool haveData = FileExists(dataName);
    if (haveData && !SyncFile(dataName)) return;
    if (!RenameFile(dataName, saveName)) {
        if (EngineError == err::OsOther) return Fail(err::RenameFailed);
        if (!FileExists(saveName)) return Fail(err::NoDataNoSave);
        // An earlier restructure was interrupted after the rename: go on from its save file.
        ResetStatus();
        fromSave = true;
    }
    if (!SyncFolder(FolderOf(dataName))) {
        if (!fromSave) {
            SavedStatus st;
            ResetStatus();
            RenameFile(saveName, dataName);
            st.restore();
        }
        return;
    }

    Fileblock* fb = nullptr;
    OsFile save;
    auto fail = [&]() {
        SavedStatus st;
        if (fb) {
            fb->keepUpdateFlag = false;
            CloseFileblock(fb);
        }
        save.closeQuietly();
        removeQuietly(IndexFileName(name));
        removeQuietly(DiaFileName(name));
        removeQuietly(dataName);
        if (!fromSave) {
            ResetStatus();
            if (!RenameFile(saveName, dataName) && CopyFile(saveName, dataName))
                removeQuietly(saveName);
            SyncFolder(FolderOf(dataName));
        }
        st.restore();
    };

    CreateFileblock(name, newLength, 0, nullptr);
    if (!EngineOk) return fail();
    fb = OpenFileblock(name, false);
    if (!EngineOk) return fail();
    if (!save.open(saveName, true, false)) return fail();

    std::vector<uint8_t> oldRec, newRec;
    std::vector<uint8_t> logical;
    try {
        // Large enough for the converter to copy a record of the new length from it.
        oldRec.assign(size_t(std::max(oldLength, newLength)), 0);
        newRec.assign(size_t(variableLength ? kLongestVariableRecord : newLength), 0);
    } catch (const std::bad_alloc&) {
        Fail(err::NoRecordBuffers);
        return fail();
    }
    BufferedWriter writer;
    writer.open(fb);
    BufferedReader reader;
    reader.init(oldLength, [&save](int64_t pos, uint8_t* buf, size_t n) {
        return save.readSome(pos, buf, n);
    });

    int32_t read = 0, written = 0;
    for (int32_t slot = 1;; ++slot) {
        int r = reader.read(slot, oldRec.data());
        if (r < 0) return fail();
        if (r == 0) break;
        ++read;
        uint8_t* source = oldRec.data();
        int32_t sourceLength = oldLength;
        if (variableLength && rd32(oldRec.data()) == 0) {
            // A live first section: hand the whole logical record to the converter.
            bool whole = AssembleChain(
                oldRec.data(), oldLength,
                [&save, oldLength](int32_t n, uint8_t* out) {
                    return save.read(int64_t(n) * oldLength, out, size_t(oldLength));
                },
                logical);
            if (!whole) return fail();
            source = logical.data();
            sourceLength = int32_t(logical.size());
        }
        hook(source, sourceLength, 1, user);
        int32_t length = variableLength ? sourceLength : newLength;
        if (variableLength) std::fill(newRec.begin(), newRec.begin() + length, 0);
        bool keep = converter(source, newRec.data(), length);
        if (!EngineOk) {
            ResetStatus();
            Fail(err::ConverterFailed);
            return fail();
        }
        if (keep) {
            hook(newRec.data(), length, 0, user);
            int32_t n = variableLength ? AppendVariableRecord(writer, newRec.data(), length)
                                       : writer.append(newRec.data());
            if (n == 0) return fail();
            if (onWritten) onWritten(n, newRec.data(), length);
            ++written;
        }
        if (!reportProgress(0, read, written, oldLength, oldRec.data())) return fail();
    }
    if (!writer.flush()) return fail();
    fb->keepUpdateFlag = leaveMarked;
    CloseFileblock(fb);
    if (!EngineOk) return fail();
    if (!save.close()) return fail();
    // A rebuild keeps the save file until its index is built too.
    if (!leaveMarked) ReplaceSaveFile(name);
}

}  // namespace

void Restructure(const std::string& name, int32_t newLength, int32_t oldLength, intptr_t user,
                 const RecordHook& hook, const RecordConverter& converter, bool variableLength) {
    restructure(name, newLength, oldLength, user, hook, converter, variableLength, false);
}

// ---------------------------------------------------------------------------- Reindex

namespace {

// Opens the data file exclusively and checks that its header agrees with its size.
bool checkDataFile(const std::string& dataName, bool variableLength, int32_t& length) {
    OsFile f;
    if (!f.open(dataName, false, false)) return false;
    uint8_t h[kDataHeaderSize];
    if (!f.read(0, h, sizeof h)) {
        ResetStatus();
        Fail(err::DataInconsistent);
        return false;
    }
    length = rd32(h + 12);
    int32_t head = rd32(h);
    int32_t high = rd32(h + 8);
    int64_t size = f.size();
    if (size < 0) return false;
    if (length > lengthLimit(variableLength)) {
        Fail(err::RecordTooLong);
        return false;
    }
    bool ok = length > 0 && size % length == 0 && size / length == int64_t(high) + 1;
    if (ok && head != -1) {
        uint8_t mark[4];
        ok =
            head >= 1 && head <= high && f.read(int64_t(head) * length, mark, 4) && rd32(mark) != 0;
    }
    if (!ok) {
        ResetStatus();
        Fail(err::DataInconsistent);
        return false;
    }
    return f.close();
}

// Syncs the index, then clears the data file's update-in-progress flag and syncs that.
bool ClearUpdateFlag(const std::string& dataName, const std::string& indexName) {
    if (FileExists(indexName) && !SyncFile(indexName)) return false;
    OsFile f;
    const uint8_t zero = 0;
    return f.open(dataName, false, false) && f.write(20, &zero, 1) && f.sync() && f.close();
}

// The log of rejected entries, created on first use.
class RejectLog {
  public:
    explicit RejectLog(std::string name) : name_(std::move(name)) {}
    bool written() const { return file_.isOpen() || used_; }

    bool write(const std::string& text) {
        if (!file_.isOpen()) {
            if (!file_.open(name_, false, true)) return failed();
            used_ = true;
        }
        if (!file_.write(pos_, text.data(), text.size())) return failed();
        pos_ += int64_t(text.size());
        return true;
    }
    bool close() { return file_.isOpen() ? file_.close() || failed() : true; }

  private:
    bool failed() {
        int os = OsError;
        ResetStatus();
        Fail(9500 + os);
        return false;
    }
    std::string name_;
    OsFile file_;
    int64_t pos_ = 0;
    bool used_ = false;
};

// The keys a reindex builds, in passes: each pass collects the entries of as many keys
// as fit in the sort memory in one read of the data file, then sorts them and builds each
// key's tree from its sorted entries. The result is the same as adding the keys one pass
// per key in record order.
class IndexBuild {
  public:
    IndexBuild(int numKeys, const KeyDescriptor* keys, int64_t expected)
        : keys_(keys, keys + numKeys), expected_(std::max<int64_t>(expected, 1)) {}

    // The last key of the pass that starts at firstKey.
    int passEnd(int firstKey) const {
        int64_t bytes = 0;
        int last = firstKey;
        for (int k = firstKey; k <= int(keys_.size()); ++k) {
            bytes += expected_ * KeyEntries::EntryBytes(keys_[size_t(k - 1)].length);
            if (k > firstKey && bytes > SortBytes()) break;
            last = k;
        }
        return last;
    }

    // Makes room for the entries of keys firstKey..passEnd(firstKey). Throws bad_alloc.
    void beginPass(int firstKey) {
        lists_.clear();
        first_ = firstKey;
        const int last = passEnd(firstKey);
        for (int k = firstKey; k <= last; ++k)
            lists_.push_back(std::make_unique<KeyEntries>(keys_[size_t(k - 1)].length, expected_));
        records_ = 0;
    }
    // Frees the entries of the pass once its trees are built.
    void release() { lists_.clear(); }
    int firstKey() const { return first_; }
    int lastKey() const { return first_ + int(lists_.size()) - 1; }
    KeyEntries& entries(int keyNo) { return *lists_[size_t(keyNo - first_)]; }
    int32_t records() const { return records_; }

    // Adds the entries of the pass's keys for record rec. False (with the status set) when
    // the key builder fails or builds a key longer than its key. Throws bad_alloc.
    bool collect(const uint8_t* record, int32_t length, int32_t rec, const KeyBuilder& builder) {
        for (int keyNo = first_; keyNo <= lastKey(); ++keyNo) {
            key_.clear();
            if (!builder(record, length, keyNo, key_) || !EngineOk) {
                ResetStatus();
                Fail(err::KeyBuilderFailed);
                return false;
            }
            if (key_.size() > size_t(kMaxKeyLength)) key_.resize(kMaxKeyLength);
            if (key_.size() > size_t(keys_[size_t(keyNo - 1)].length)) {
                Fail(err::KeyTooLong);
                return false;
            }
            entries(keyNo).add(rec, reinterpret_cast<const uint8_t*>(key_.data()),
                               int(key_.size()));
        }
        ++records_;
        return true;
    }

  private:
    std::vector<KeyDescriptor> keys_;
    int64_t expected_;
    std::vector<std::unique_ptr<KeyEntries>> lists_;
    int first_ = 1;
    int32_t records_ = 0;
    std::string key_;
};

// The reindex. When `collected` holds the complete first pass (collected while the data
// file was written), that pass does not read the data file again.
void reindex(const std::string& name, int numKeys, const KeyDescriptor* keys, intptr_t user,
             const RecordHook& hook, const KeyBuilder& builder, bool deleteRejected,
             bool variableLength, bool* logWritten, IndexBuild* collected) {
    ResetStatus();
    if (logWritten) *logWritten = false;
    if (!EngineStarted()) return Fail(err::NotStarted);
    if (numKeys < 0 || numKeys > kMaxKeys) return Fail(err::TooManyKeysCreate);
    for (int i = 0; i < numKeys; ++i)
        if (keys[i].length < 1 || keys[i].length > kMaxKeyLength) return Fail(err::BadKeyLength);

    const std::string dataName = DataFileName(name);
    const std::string indexName = IndexFileName(name);
    const std::string logName = DataPartFileName(name, "MSG");
    if (!CheckpointJournal()) return;
    int32_t L = 0;
    if (!checkDataFile(dataName, variableLength, L)) return;

    // A new, empty index file. The data part of the fileblock created for it is a
    // throw-away file under the log's name.
    removeQuietly(indexName);
    removeQuietly(DiaFileName(name));
    if (!CreateFileblockFiles(logName, indexName, L, numKeys, keys)) return;
    removeQuietly(logName);

    // The header gets the new number of keys. The update-in-progress flag stays set until
    // the new index is complete and closed, so that an interrupted reindex asks for a
    // rebuild at the next open.
    {
        OsFile f;
        uint8_t k[4];
        wr32(k, numKeys);
        uint8_t one = 1;
        if (!f.open(dataName, false, false) || !f.write(16, k, 4) || !f.write(20, &one, 1) ||
            !f.close())
            return;
    }
    Fileblock* fb = OpenFileblockIgnoringUpdateFlag(name);
    if (!fb) return;

    RejectLog log(logName);
    auto finish = [&](bool ok) {
        SavedStatus failure;
        // The flag stays set as the files close; it is cleared once the new index is
        // durable, so that no cut leaves a data file that calls a torn index whole.
        fb->keepUpdateFlag = true;
        CloseFileblock(fb);
        if (ok && EngineOk) ClearUpdateFlag(dataName, indexName);
        SavedStatus afterClose;
        bool logClosed = log.close();
        if (logWritten) *logWritten = log.written();
        if (!ok) return failure.restore();
        if (!afterClose.ok) return afterClose.restore();
        if (logClosed) ResetStatus();
    };

    std::vector<uint8_t> rec(static_cast<size_t>(L));
    std::vector<uint8_t> logical;
    BufferedReader reader;
    reader.init(L, [fb](int64_t pos, uint8_t* buf, size_t n) {
        return fb->data.readSomeDirect(pos, buf, n);
    });

    const int64_t live = std::max<int64_t>(int64_t(fb->high) - fb->deletedCount, 1);
    const bool useCollected = collected && collected->firstKey() == 1 &&
                              collected->records() == fb->high - fb->deletedCount;
    std::optional<IndexBuild> own;
    std::vector<int32_t> deleted;  // records deleted for a rejected key, in order
    std::string key;
    try {
        for (int firstKey = 1; firstKey <= numKeys;) {
            IndexBuild* pass = nullptr;
            int32_t read = 0;
            if (firstKey == 1 && useCollected) {
                pass = collected;
                read = collected->records();
            } else {
                if (!own) own.emplace(numKeys, keys, live);
                own->beginPass(firstKey);
                pass = &*own;
                reader.invalidate();
                for (int32_t slot = 1;; ++slot) {
                    int r = reader.read(slot, rec.data());
                    if (r < 0) return finish(false);
                    if (r == 0) break;
                    if (rd32(rec.data()) != 0) continue;
                    uint8_t* record = rec.data();
                    int32_t length = L;
                    if (variableLength) {
                        if (!AssembleVariableRecord(fb, rec.data(), logical)) return finish(false);
                        record = logical.data();
                        length = int32_t(logical.size());
                    }
                    ++read;
                    hook(record, length, 1, user);
                    if (!pass->collect(record, length, slot, builder)) return finish(false);
                    if (!reportProgress(firstKey, read, pass->records(), length, record))
                        return finish(false);
                }
            }
            const int lastKey = pass->lastKey();
            for (int keyNo = firstKey; keyNo <= lastKey; ++keyNo) {
                KeyEntries& list = pass->entries(keyNo);
                // Records deleted for an earlier key are no longer there.
                list.removeRecords(deleted);
                // Index order; on a unique index the first record (in record order) with a key
                // keeps it and later ones are rejected.
                list.sort();
                if (keys[keyNo - 1].duplicates) continue;
                for (int32_t n : list.dropRepeatedKeys()) {
                    std::vector<uint8_t> record(static_cast<size_t>(L));
                    GetRecord(fb, n, record.data());
                    if (!EngineOk) return finish(false);
                    if (variableLength && !AssembleVariableRecord(fb, record.data(), logical))
                        return finish(false);
                    // The keys are built again as they were while collecting: after the hook.
                    std::vector<uint8_t> whole = variableLength ? logical : record;
                    hook(whole.data(), int32_t(whole.size()), 1, user);
                    auto keyOf = [&](int k, std::string& out) {
                        out.clear();
                        if (!builder(whole.data(), int32_t(whole.size()), k, out) || !EngineOk) {
                            ResetStatus();
                            Fail(err::KeyBuilderFailed);
                            return false;
                        }
                        if (out.size() > size_t(kMaxKeyLength)) out.resize(kMaxKeyLength);
                        return true;
                    };
                    if (!keyOf(keyNo, key)) return finish(false);
                    std::string line = "Key:<" + key + ">" + " KeyNr: " + std::to_string(keyNo) +
                                       " Ref: " + std::to_string(n) + " not added\r\n";
                    if (!log.write(line)) return finish(false);
                    if (!deleteRejected) continue;
                    // Keys built in an earlier pass lose the record's entry from their tree;
                    // keys of this pass from their entries, below.
                    for (int j = 1; j < firstKey; ++j) {
                        std::string kj;
                        if (!keyOf(j, kj)) return finish(false);
                        DeleteKey(fb, j, n, kj);
                        if (!EngineOk) return finish(false);
                    }
                    if (variableLength)
                        DeleteVariableRecord(fb, n);
                    else
                        DeleteRecord(fb, n);
                    if (!EngineOk) return finish(false);
                    deleted.insert(std::upper_bound(deleted.begin(), deleted.end(), n), n);
                    std::string dump = "Data record deleted - Dump follows\r\n";
                    dump.append(reinterpret_cast<const char*>(record.data()), record.size());
                    dump += "\r\n\r\n";
                    if (!log.write(dump)) return finish(false);
                    reader.invalidate();
                }
            }
            std::vector<std::pair<int, const KeyEntries*>> load;
            for (int keyNo = firstKey; keyNo <= lastKey; ++keyNo) {
                KeyEntries& list = pass->entries(keyNo);
                list.removeRecords(deleted);
                load.emplace_back(keyNo, &list);
            }
            if (!BulkLoadKeys(fb, load)) return finish(false);
            std::vector<int32_t> counts;
            for (int keyNo = firstKey; keyNo <= lastKey; ++keyNo)
                counts.push_back(int32_t(pass->entries(keyNo).size()));
            pass->release();
            for (int keyNo = firstKey; keyNo <= lastKey; ++keyNo)
                if (!reportProgress(keyNo, read, counts[size_t(keyNo - firstKey)], L, rec.data()))
                    return finish(false);
            firstKey = lastKey + 1;
        }
    } catch (const std::bad_alloc&) {
        // The entries of one key do not fit in memory.
        ResetStatus();
        Fail(err::NoRecordBuffers);
        return finish(false);
    }
    finish(true);
}

}  // namespace

void Reindex(const std::string& name, int numKeys, const KeyDescriptor* keys, intptr_t user,
             const RecordHook& hook, const KeyBuilder& builder, bool deleteRejected,
             bool variableLength, bool* logWritten) {
    if (InTransaction()) {
        ResetStatus();
        return Fail(err::TransactionState);
    }
    reindex(name, numKeys, keys, user, hook, builder, deleteRejected, variableLength, logWritten,
            nullptr);
}

// -------------------------------------------------------------------- RebuildFileblock

bool RebuildFileblock(const std::string& name, int32_t recordLength, int numKeys,
                      const KeyDescriptor* keys, const KeyBuilder& builder, const RebuildSink& sink,
                      bool* logWritten) {
    if (logWritten) *logWritten = false;
    if (InTransaction()) {
        ResetStatus();
        Fail(err::TransactionState);
        return false;
    }
    std::string relative;
    if (Backend* backend = BackendFor(name, &relative)) {
        ResetStatus();
        return backend->rebuild(relative, numKeys, keys, builder, sink);
    }
    // The slots of the file to be copied (for the memory the keys are collected in).
    int64_t slots = 1;
    {
        OsFile f;
        uint8_t h[kDataHeaderSize];
        ResetStatus();
        if (!f.open(DataFileName(name), true, false) || !f.read(0, h, sizeof h)) {
            // A missing data file may have been renamed by an interrupted rebuild; any
            // other failure (a file held by another program, say) stops here.
            if (recordLength == 0 && EngineError != err::FileNotFound) return false;
            ResetStatus();
            if (!f.open(DataPartFileName(name, "SAV"), true, false) || !f.read(0, h, sizeof h)) {
                if (recordLength == 0) return false;
                ResetStatus();
            }
        }
        if (recordLength == 0) recordLength = rd32(h + 12);
        if (f.isOpen() && recordLength > 0) slots = std::max<int64_t>(f.size() / recordLength, 1);
        ResetStatus();
    }
    ProgressCallback previous = gProgress;
    RebuildCounters last, shown{-1, -1, -1};
    int lastKey = -1;
    auto show = [&](const RebuildCounters& c) {
        if (!sink || shown == c) return true;
        shown = c;
        return sink(c);
    };
    // Passes the counters on every 50 records read, and once when a pass ends.
    gProgress = [&](int keyNo, int32_t read, int32_t written, int32_t, const uint8_t*) {
        if (keyNo != lastKey && lastKey >= 0 && !show(last)) return false;
        lastKey = keyNo;
        last = RebuildCounters{keyNo, read, written};
        if (read % 50 == 0) return show(last);
        return true;
    };
    // The copy hands every record it writes to the first pass of the reindex, which then
    // need not read the new data file again. Anything that goes wrong there (a key that
    // cannot be built, memory) only drops what was collected: the reindex then reads the
    // file itself and reports the fault as it would without the shortcut.
    std::optional<IndexBuild> collected;
    if (numKeys > 0 && numKeys <= kMaxKeys &&
        std::all_of(keys, keys + numKeys, [](const KeyDescriptor& k) {
            return k.length >= 1 && k.length <= kMaxKeyLength;
        })) {
        try {
            collected.emplace(numKeys, keys, slots);
            collected->beginPass(1);
        } catch (const std::bad_alloc&) {
            collected.reset();
        }
    }
    auto onWritten = [&](int32_t rec, const uint8_t* record, int32_t length) {
        if (!collected) return;
        bool ok = false;
        try {
            ok = collected->collect(record, length, rec, builder);
        } catch (const std::bad_alloc&) {
        }
        if (!ok) collected.reset();
        ResetStatus();  // the copy goes on
    };
    restructure(name, recordLength, recordLength, 0, NoRecordHook, DefaultConverter, false, true,
                onWritten);
    if (EngineOk) {
        reindex(name, numKeys, keys, 0, NoRecordHook, builder, true, false, logWritten,
                collected ? &*collected : nullptr);
        // The copy is whole whatever the reindex did (a data file it could not index
        // stays marked for a rebuild): it takes the save file's place.
        SavedStatus indexed;
        ResetStatus();
        if (ReplaceSaveFile(name)) indexed.restore();
    }
    bool ok = EngineOk;
    if (ok && lastKey >= 0) show(last);
    gProgress = previous;
    return ok;
}

}  // namespace invarro::storage
