// Restructure, reindex and the rebuild sequence built from them.

#include "storage/Rebuild.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "storage/BTree.h"
#include "storage/BufferedRecords.h"
#include "storage/Bytes.h"
#include "storage/EngineInternal.h"
#include "storage/VarRecords.h"

namespace invarro::storage {

namespace {

ProgressCallback gProgress;

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

// Keeps the first failure's status while cleaning up after it.
struct SavedStatus {
    bool ok = EngineOk;
    int32_t error = EngineError;
    int32_t os = OsError;
    int16_t fn = OsFunction;
    void restore() const {
        EngineOk = ok;
        EngineError = error;
        OsError = os;
        OsFunction = fn;
    }
};

}  // namespace

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

// leaveMarked keeps the update-in-progress flag of the new data file set, so that a
// rebuild interrupted between its copy and its reindex asks for a rebuild again.
void restructure(const std::string& name, int32_t newLength, int32_t oldLength, intptr_t user,
                 const RecordHook& hook, const RecordConverter& converter, bool variableLength,
                 bool leaveMarked) {
    ResetStatus();
    if (!EngineStarted()) return Fail(err::NotStarted);
    const int32_t limit = lengthLimit(variableLength);
    if (newLength > limit || oldLength > limit) return Fail(err::RecordTooLong);
    if (oldLength < 1) return Fail(err::RecordTooShort);

    const std::string dataName = DataFileName(name);
    const std::string saveName = DataPartFileName(name, "SAV");
    if (FileExists(saveName) && FileExists(dataName)) return Fail(err::SaveAndDataExist);

    // A data file that another open holds is not renamed under it: the caller may retry.
    if (!FileNotHeld(dataName)) return Fail(err::RenameFailed);
    bool fromSave = false;
    if (!RenameFile(dataName, saveName)) {
        if (EngineError == err::OsOther) return Fail(err::RenameFailed);
        if (!FileExists(saveName)) return Fail(err::NoDataNoSave);
        // An earlier restructure was interrupted after the rename: go on from its save file.
        ResetStatus();
        fromSave = true;
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
            ++written;
        }
        if (!reportProgress(0, read, written, oldLength, oldRec.data())) return fail();
    }
    if (!writer.flush()) return fail();
    fb->keepUpdateFlag = leaveMarked;
    CloseFileblock(fb);
    if (!EngineOk) return fail();
    if (!save.close()) return fail();
    RemoveFile(saveName);
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

}  // namespace

void Reindex(const std::string& name, int numKeys, const KeyDescriptor* keys, intptr_t user,
             const RecordHook& hook, const KeyBuilder& builder, bool deleteRejected,
             bool variableLength, bool* logWritten) {
    ResetStatus();
    if (logWritten) *logWritten = false;
    if (!EngineStarted()) return Fail(err::NotStarted);
    if (numKeys < 0 || numKeys > kMaxKeys) return Fail(err::TooManyKeysCreate);
    for (int i = 0; i < numKeys; ++i)
        if (keys[i].length < 1 || keys[i].length > kMaxKeyLength) return Fail(err::BadKeyLength);

    const std::string dataName = DataFileName(name);
    const std::string indexName = IndexFileName(name);
    const std::string logName = DataPartFileName(name, "MSG");
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
        fb->keepUpdateFlag = !ok;
        CloseFileblock(fb);
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

    // Several keys are collected in one pass over the data file as long as their entries
    // fit in the memory set aside for them; each key's tree is then built from its sorted
    // entries. The result is the same as adding the keys one pass per key in record order.
    const int64_t live = std::max<int64_t>(int64_t(fb->high) - fb->deletedCount, 1);
    const int perPass = int(std::clamp<int64_t>(
        kReindexSortBytes / (live * int64_t(sizeof(BulkEntry))), 1, std::max(numKeys, 1)));
    std::vector<std::vector<BulkEntry>> entries(size_t(std::min(perPass, std::max(numKeys, 1))));
    std::vector<BulkEntry> kept;
    std::vector<int32_t> deleted;  // records deleted for a rejected key, in order
    std::string key;
    try {
        for (int firstKey = 1; firstKey <= numKeys; firstKey += perPass) {
            const int lastKey = std::min(numKeys, firstKey + perPass - 1);
            for (auto& list : entries) {
                list.clear();
                list.reserve(size_t(live));
            }
            reader.invalidate();
            int32_t read = 0;
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
                for (int keyNo = firstKey; keyNo <= lastKey; ++keyNo) {
                    key.clear();
                    if (!builder(record, length, keyNo, key) || !EngineOk) {
                        ResetStatus();
                        Fail(err::KeyBuilderFailed);
                        return finish(false);
                    }
                    if (key.size() > size_t(kMaxKeyLength)) key.resize(kMaxKeyLength);
                    if (key.size() > size_t(fb->keys[size_t(keyNo - 1)].keyLength)) {
                        Fail(err::KeyTooLong);
                        return finish(false);
                    }
                    BulkEntry& e = entries[size_t(keyNo - firstKey)].emplace_back();
                    e.rec = slot;
                    e.setKey(reinterpret_cast<const uint8_t*>(key.data()), int(key.size()));
                }
                if (!reportProgress(firstKey, read, int32_t(entries[0].size()), length, record))
                    return finish(false);
            }
            for (int keyNo = firstKey; keyNo <= lastKey; ++keyNo) {
                const KeyState& ks = fb->keys[size_t(keyNo - 1)];
                std::vector<BulkEntry>& list = entries[size_t(keyNo - firstKey)];
                // Records deleted for an earlier key of this pass are no longer there.
                if (!deleted.empty()) {
                    std::erase_if(list, [&](const BulkEntry& e) {
                        return std::binary_search(deleted.begin(), deleted.end(), e.rec);
                    });
                }
                // Index order; on a unique index the first record (in record order) with a key
                // keeps it and later ones are rejected.
                std::sort(list.begin(), list.end(), BulkEntryLess{(ks.keyLength + 7) / 8});
                kept.clear();
                std::vector<int32_t> rejected;
                for (const BulkEntry& e : list) {
                    if (!kept.empty() && !ks.duplicates && kept.back().sameKey(e))
                        rejected.push_back(e.rec);
                    else
                        kept.push_back(e);
                }
                std::vector<BulkEntry>().swap(list);
                std::sort(rejected.begin(), rejected.end());
                for (int32_t n : rejected) {
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
                    for (int j = 1; j < keyNo; ++j) {
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
                if (!BulkLoadKey(fb, keyNo, kept)) return finish(false);
                if (!reportProgress(keyNo, read, int32_t(kept.size()), L, rec.data()))
                    return finish(false);
            }
        }
    } catch (const std::bad_alloc&) {
        // The entries of one key do not fit in memory.
        ResetStatus();
        Fail(err::NoRecordBuffers);
        return finish(false);
    }
    finish(true);
}

// -------------------------------------------------------------------- RebuildFileblock

bool RebuildFileblock(const std::string& name, int32_t recordLength, int numKeys,
                      const KeyDescriptor* keys, const KeyBuilder& builder, const RebuildSink& sink,
                      bool* logWritten) {
    if (logWritten) *logWritten = false;
    if (recordLength == 0) {
        OsFile f;
        uint8_t h[kDataHeaderSize];
        ResetStatus();
        if (!f.open(DataFileName(name), true, false) || !f.read(0, h, sizeof h)) {
            // A missing data file may have been renamed by an interrupted rebuild; any
            // other failure (a file held by another program, say) stops here.
            if (EngineError != err::FileNotFound) return false;
            ResetStatus();
            if (!f.open(DataPartFileName(name, "SAV"), true, false) || !f.read(0, h, sizeof h))
                return false;
        }
        recordLength = rd32(h + 12);
    }
    ProgressCallback previous = gProgress;
    RebuildCounters last;
    int lastKey = -1;
    // Passes the counters on every 50 records read, and once when a pass ends.
    gProgress = [&](int keyNo, int32_t read, int32_t written, int32_t, const uint8_t*) {
        if (keyNo != lastKey && lastKey >= 0 && sink && !sink(last)) return false;
        lastKey = keyNo;
        last = RebuildCounters{keyNo, read, written};
        if (read % 50 == 0 && sink) return sink(last);
        return true;
    };
    restructure(name, recordLength, recordLength, 0, NoRecordHook, DefaultConverter, false, true);
    if (EngineOk) Reindex(name, numKeys, keys, 0, NoRecordHook, builder, true, false, logWritten);
    bool ok = EngineOk;
    if (ok && sink && lastKey >= 0) sink(last);
    gProgress = previous;
    return ok;
}

}  // namespace invarro::storage
