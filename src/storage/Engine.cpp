// Engine status, start and stop, fileblock create/open/close and the record operations.

#include "storage/Engine.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "storage/Backend.h"
#include "storage/Bytes.h"
#include "storage/EngineInternal.h"
#include "storage/EngineTesting.h"
#include "storage/Transaction.h"
#include "storage/TransactionInternal.h"

namespace invarro::storage {

bool EngineOk = true;
int32_t EngineError = 0;
int32_t OsError = 0;
int16_t OsFunction = 0;

namespace {

bool gStarted = false;
// Chosen by measurement (200,000 records of 360 bytes with three keys): 8192 buffers (at
// most 20 MB, allocated only as they are first used) keep the indexes of files that size
// entirely in memory, so a changed page is written once at close instead of each time it
// is evicted. With the 30 buffers the program asks for, adding and deleting take about
// twice as long.
int gPoolFloor = 8192;
uint32_t gNextSerial = 1;
std::vector<Fileblock*> gOpen;

// Test seam: the n-th call of an operation fails with a chosen error.
struct Fault {
    EngineOp op;
    int remaining;
    int32_t error;
};
std::vector<Fault> gFaults;
int gOpCalls[int(EngineOp::Count)] = {};

}  // namespace

void InjectFault(EngineOp op, int nth, int32_t error) {
    gFaults.push_back({op, nth, error});
}
void ClearFaults() {
    gFaults.clear();
    std::fill(std::begin(gOpCalls), std::end(gOpCalls), 0);
}
int EngineOpCalls(EngineOp op) {
    return gOpCalls[int(op)];
}

bool FaultTriggered(EngineOp op) {
    ++gOpCalls[int(op)];
    for (auto it = gFaults.begin(); it != gFaults.end(); ++it) {
        if (it->op == op && --it->remaining == 0) {
            int32_t e = it->error;
            gFaults.erase(it);
            Fail(e);
            return true;
        }
    }
    return false;
}

bool EngineStarted() {
    return gStarted;
}
bool EnginePoolStarted() {
    return gStarted;
}
void SetPoolFloor(int buffers) {
    gPoolFloor = buffers;
}
int PoolFloor() {
    return gPoolFloor;
}
std::vector<Fileblock*>& OpenList() {
    return gOpen;
}

void ResetStatus() {
    EngineOk = true;
    EngineError = 0;
    OsError = 0;
    OsFunction = 0;
}

bool EntryCheck(const Fileblock* fb, bool changes, int keyNo) {
    ResetStatus();
    if (!gStarted) {
        Fail(err::NotStarted);
        return false;
    }
    if (!fb || fb->marker != kValidMarker) {
        Fail(err::InvalidHandle);
        return false;
    }
    if (changes && fb->readOnly) {
        Fail(err::ReadOnly);
        return false;
    }
    if (keyNo >= 0 && (keyNo < 1 || keyNo > fb->numKeys)) {
        Fail(err::BadKeyNumber);
        return false;
    }
    return true;
}

void ExitStep(const Fileblock* fb) {
    if (fb && fb->readOnly && EngineError == err::OsOther) EngineError = err::OsReadOnly;
}

int ErrorClassOf(int32_t e) {
    if (e == 0) return 0;
    if (e == 9903 || (e >= 10200 && e <= 10299) || e == 10410) return 1;
    switch (e) {
        case 9900:
        case 10065:
        case 10110:
        case 10306:
        case 10330:
        case 10332:
        case 10335:
        case 10355:
        case 10360:
        case 10390:
        case 10397:
        case 10399:
            return 2;
        default:
            break;
    }
    if (e >= 10001 && e <= 10009) return 3;
    return 4;
}

int ErrorClass() {
    return ErrorClassOf(EngineError);
}

// ------------------------------------------------------------------------ file names

std::string FileNameWithExtension(std::string_view name, std::string_view ext) {
    size_t slash = name.rfind('/');
    size_t baseStart = slash == std::string_view::npos ? 0 : slash + 1;
    std::string dir(name.substr(0, baseStart));
    std::string base(name.substr(baseStart));
    size_t dot = base.rfind('.');
    std::string stem = dot != std::string::npos ? base.substr(0, dot) : base;
    // A name is at most 64 characters. The stem gives way, never the extension, so that
    // the files of one fileblock keep names of their own.
    const size_t room = 64 - 1 - std::min<size_t>(ext.size(), 62);
    if (stem.size() > room) stem.resize(room);
    return dir + stem + "." + std::string(ext);
}

namespace {
std::string_view dataPart(std::string_view name) {
    size_t semi = name.find(';');
    return semi == std::string_view::npos ? name : name.substr(0, semi);
}
std::string_view indexPart(std::string_view name) {
    size_t semi = name.find(';');
    return semi == std::string_view::npos ? name : name.substr(semi + 1);
}
}  // namespace

std::string DataFileName(std::string_view name) {
    return FileNameWithExtension(dataPart(name), "DAT");
}
std::string IndexFileName(std::string_view name) {
    return FileNameWithExtension(indexPart(name), "IX");
}
std::string DataPartFileName(std::string_view name, std::string_view ext) {
    return FileNameWithExtension(dataPart(name), ext);
}
std::string DiaFileName(std::string_view name) {
    return DataPartFileName(name, "DIA");
}

// --------------------------------------------------------------------- start and stop

int InitEngine(int buffersWanted) {
    ResetStatus();
    if (gStarted) {
        Fail(err::AlreadyStarted);
        return 0;
    }
    if (buffersWanted < 8) {
        Fail(err::TooFewBuffers);
        return 0;
    }
    FileFaultFromEnvironment();
    int count = std::max(buffersWanted, gPoolFloor);
    int got = InitPool(count);
    if (got < 8) {
        Fail(err::NoBuffers);
        return 0;
    }
    gStarted = true;
    return got;
}

namespace {

// Closes without resetting the status; returns false (with 10160) when anything failed.
bool closeInternal(Fileblock* fb) {
    auto it = std::find(gOpen.begin(), gOpen.end(), fb);
    if (it == gOpen.end()) {
        Fail(err::NotOpen);
        return false;
    }
    if (fb->backend) return CloseBackendFileblock(fb);
    bool ok = true;
    // Inside a transaction only a fileblock it changed has anything to write, and its
    // files stay open, with the transaction, until it ends.
    const bool inTransaction = InTransaction();
    const bool write =
        !fb->readOnly && (!inTransaction || fb->joinedTransaction != 0 || fb->updateInProgress);
    // Changed outside any transaction, its files were written without a sync.
    const bool plainChange = write && !inTransaction && fb->updateInProgress && !fb->keepUpdateFlag;
    if (fb->numKeys > 0) {
        if (write && !FlushFileblockPages(fb, true)) ok = false;
        FlushFileblockPages(fb, false);  // detaches whatever is left after a failure
    }
    // The update-in-progress flag is cleared only when the index reached the disk whole: the
    // header with its counters and the flag still set, the index and the records are synced
    // first, so that a power cut leaves either a set flag (the index is rebuilt) or a clear
    // one over a whole index. The clearing itself needs no sync: lost, the flag stays set.
    if (plainChange && ok &&
        (!WriteDataHeader(fb, true) || (fb->numKeys > 0 && !fb->index.sync()) || !fb->data.sync()))
        ok = false;
    // Outside a transaction a header that nothing changed since the last commit is not
    // written again (its file may wait in the journal for a checkpoint).
    const bool headerChanged = inTransaction || fb->updateInProgress || fb->keepUpdateFlag || !ok;
    if (write && headerChanged && !WriteDataHeader(fb, fb->keepUpdateFlag || !ok)) ok = false;
    if (inTransaction) {
        ParkFiles(fb);
    } else {
        LeaveToJournal(fb);  // its committed changes are synced at the next checkpoint
    }
    if (fb->numKeys > 0 && !fb->index.close()) ok = false;
    if (!fb->data.close()) ok = false;
    gOpen.erase(std::find(gOpen.begin(), gOpen.end(), fb));
    fb->marker = 0;
    delete fb;
    if (!ok) Fail(err::CloseFailed);
    return ok;
}

}  // namespace

void ExitEngine() {
    ResetStatus();
    if (!gStarted) {
        Fail(err::NotStarted);
        return;
    }
    // An open transaction is dropped; committed ones are made durable. A journal that
    // could not be written whole stays for the next start.
    bool settled = EndTransactionsAtExit();
    SavedStatus settling;
    std::vector<Fileblock*> open = gOpen;
    for (Fileblock* fb : open) {
        if (!closeInternal(fb)) return;  // the engine stays started
    }
    if (!settled) settling.restore();
    ExitPool();
    gStarted = false;
}

// ------------------------------------------------------------------ create and delete

void removeQuietly(const std::string& name) {
    if (!FileExists(name)) return;
    SavedStatus st;
    RemoveFile(name);
    st.restore();
}

bool FileNotHeld(const std::string& name) {
    if (!FileExists(name)) return true;
    // A file this program keeps open for its journal is not another user's: it is synced
    // and let go first.
    if (!SettleJournalForName(name)) return false;
    OsFile probe;
    if (probe.open(name, true, false)) return true;
    if (EngineError == err::OsOther) return false;
    // Any other failure is not a sign of another user; the caller's own step reports it.
    ResetStatus();
    return true;
}

bool CreateFileblockFiles(const std::string& dataName, const std::string& indexName,
                          int recordLength, int numKeys, const KeyDescriptor* keys) {
    if (recordLength < kMinRecordLength) {
        Fail(err::RecordTooShort);
        return false;
    }
    if (numKeys < 0 || numKeys > kMaxKeys) {
        Fail(err::TooManyKeysCreate);
        return false;
    }
    for (int i = 0; i < numKeys; ++i) {
        if (keys[i].length < 1 || keys[i].length > kMaxKeyLength) {
            Fail(err::BadKeyLength);
            return false;
        }
    }
    std::unique_ptr<uint8_t[]> rec0(new (std::nothrow) uint8_t[size_t(recordLength)]());
    if (!rec0) {
        Fail(err::NoMemoryCreate);
        return false;
    }
    bool ok;
    {
        OsFile data;
        ok = data.open(dataName, false, true);
        if (ok) ok = data.write(0, rec0.get(), size_t(recordLength));
        if (ok) {
            uint8_t h[kDataHeaderSize] = {};
            wr32(h + 0, -1);
            wr32(h + 4, 0);
            wr32(h + 8, 0);
            wr32(h + 12, recordLength);
            wr32(h + 16, numKeys);
            h[20] = 0;
            ok = data.write(0, h, sizeof h);
        }
        if (ok) ok = data.close();
    }
    if (ok && numKeys > 0) {
        int64_t r = 0;
        std::vector<KeyState> ks(static_cast<size_t>(numKeys));
        for (int i = 0; i < numKeys; ++i) {
            ks[size_t(i)].keyLength = keys[i].length;
            ks[size_t(i)].pageSize = PageSizeFor(keys[i].length, kItemsPerPage);
            ks[size_t(i)].duplicates = keys[i].duplicates;
            ks[size_t(i)].sectionOffset = r;
            r += ks[size_t(i)].pageSize;
        }
        std::vector<uint8_t> rec(size_t(r), 0);
        for (int i = 0; i < numKeys; ++i)
            EncodeKeyHeader(ks[size_t(i)], rec.data() + ks[size_t(i)].sectionOffset);
        OsFile index;
        ok = index.open(indexName, false, true);
        if (ok) ok = index.write(0, rec.data(), rec.size());
        if (ok) ok = index.close();
    }
    if (!ok) {
        removeQuietly(indexName);
        removeQuietly(dataName);
    }
    return ok;
}

void CreateFileblock(const std::string& name, int recordLength, int numKeys,
                     const KeyDescriptor* keys) {
    ResetStatus();
    if (!gStarted) {
        Fail(err::NotStarted);
        return;
    }
    if (FaultTriggered(EngineOp::Create)) return;
    // Validate before anything is removed.
    if (recordLength < kMinRecordLength) return Fail(err::RecordTooShort);
    if (numKeys < 0 || numKeys > kMaxKeys) return Fail(err::TooManyKeysCreate);
    for (int i = 0; i < numKeys; ++i)
        if (keys[i].length < 1 || keys[i].length > kMaxKeyLength) return Fail(err::BadKeyLength);
    std::string relative;
    if (Backend* backend = BackendFor(name, &relative))
        return backend->create(relative, recordLength, numKeys, keys);
    std::string dataName = DataFileName(name);
    std::string indexName = IndexFileName(name);
    // Files that another open holds are not replaced under it.
    if (!FileNotHeld(dataName) || !FileNotHeld(indexName)) return;
    removeQuietly(indexName);
    removeQuietly(DiaFileName(name));
    removeQuietly(dataName);
    CreateFileblockFiles(dataName, indexName, recordLength, numKeys, keys);
}

void DeleteFileblock(const std::string& name) {
    ResetStatus();
    if (!gStarted) {
        Fail(err::NotStarted);
        return;
    }
    // A backend removes a fileblock inside the open transaction (made or undone with the
    // rest of it); files are removed outside any transaction only.
    std::string relative;
    if (Backend* backend = BackendFor(name, &relative)) return backend->remove(relative);
    if (InTransaction()) return Fail(err::TransactionState);
    if (!FileNotHeld(DataFileName(name)) || !FileNotHeld(IndexFileName(name))) return;
    removeQuietly(IndexFileName(name));
    removeQuietly(DiaFileName(name));
    RemoveFile(DataFileName(name));
}

bool FileblockExists(const std::string& name) {
    std::string relative;
    if (Backend* backend = BackendFor(name, &relative)) return backend->exists(relative);
    return FileExists(DataFileName(name));
}

// ---------------------------------------------------------------------- open and close

bool ReadDataHeader(Fileblock* fb, uint8_t h[kDataHeaderSize]) {
    if (!fb->data.read(0, h, kDataHeaderSize)) return false;
    fb->chainHead = rd32(h + 0);
    fb->deletedCount = rd32(h + 4);
    fb->high = rd32(h + 8);
    fb->recordLength = rd32(h + 12);
    fb->numKeys = h[16];  // only the low byte counts
    fb->updateInProgress = h[20] != 0;
    return true;
}

bool WriteDataHeader(Fileblock* fb, bool inProgress) {
    uint8_t h[kDataHeaderSize] = {};
    wr32(h + 0, fb->chainHead);
    wr32(h + 4, fb->deletedCount);
    wr32(h + 8, fb->high);
    wr32(h + 12, fb->recordLength);
    wr32(h + 16, fb->numKeys);
    h[20] = inProgress ? 1 : 0;
    return fb->data.write(0, h, sizeof h);
}

namespace {

Fileblock* openInternal(const std::string& name, bool readOnly, bool ignoreUpdateFlag) {
    std::unique_ptr<Fileblock> fb(new (std::nothrow) Fileblock);
    if (!fb) {
        Fail(err::NoMemoryOpen);
        return nullptr;
    }
    fb->readOnly = readOnly;
    fb->dataName = DataFileName(name);
    fb->indexName = IndexFileName(name);

    auto failOpen = [&]() -> Fileblock* {
        fb->index.closeQuietly();
        fb->data.closeQuietly();
        if (readOnly && EngineError == err::OsOther) EngineError = err::OsReadOnly;
        return nullptr;
    };

    if (!UnparkFile(fb->dataName, fb->data) && !fb->data.open(fb->dataName, readOnly, false))
        return failOpen();
    uint8_t h[kDataHeaderSize];
    if (!ReadDataHeader(fb.get(), h)) return failOpen();
    if (fb->numKeys > kMaxKeys) {
        Fail(err::TooManyKeysHeader);
        return failOpen();
    }
    if (fb->recordLength < kMinRecordLength) {
        Fail(err::RecordTooShort);
        return failOpen();
    }
    try {
        fb->keys.resize(size_t(fb->numKeys));
    } catch (const std::bad_alloc&) {
        Fail(err::NoMemoryOpen);
        return failOpen();
    }
    if (fb->numKeys > 0) {
        if (!UnparkFile(fb->indexName, fb->index) &&
            !fb->index.open(fb->indexName, readOnly, false)) {
            if (EngineError != err::TooManyFiles) Fail(err::IndexDefective);
            return failOpen();
        }
        if (!ReadKeyHeaders(fb.get())) return failOpen();
    }
    if (fb->updateInProgress && !ignoreUpdateFlag) {
        Fail(err::IndexDefective);
        return failOpen();
    }
    fb->marker = kValidMarker;
    fb->serial = gNextSerial++;
    gOpen.push_back(fb.get());
    return fb.release();
}

}  // namespace

Fileblock* OpenFileblock(const std::string& name, bool readOnly, bool /*shared*/) {
    ResetStatus();
    if (!gStarted) {
        Fail(err::NotStarted);
        return nullptr;
    }
    if (FaultTriggered(EngineOp::Open)) return nullptr;
    std::string relative;
    if (Backend* backend = BackendFor(name, &relative))
        return OpenBackendFileblock(backend, relative, readOnly);
    // What a program that died left in the folder's journal is finished first.
    if (!RecoverBeforeOpen(DataFileName(name))) return nullptr;
    return openInternal(name, readOnly, false);
}

Fileblock* OpenFileblockIgnoringUpdateFlag(const std::string& name) {
    return openInternal(name, false, true);
}

void CloseFileblock(Fileblock*& fb) {
    if (!EntryCheck(fb, false)) return;
    if (FaultTriggered(EngineOp::Close)) return;
    closeInternal(fb);
    fb = nullptr;
}

bool IsFileblockOpen(const Fileblock* fb) {
    ResetStatus();
    if (!gStarted) {
        Fail(err::NotStarted);
        return false;
    }
    return fb && std::find(gOpen.begin(), gOpen.end(), fb) != gOpen.end();
}

int KeyCountOf(const Fileblock* fb) {
    return fb && fb->marker == kValidMarker ? fb->numKeys : 0;
}

// --------------------------------------------------------------------------- records

bool MarkChanged(Fileblock* fb) {
    // Inside a transaction the flag is not written: the commit leaves the files whole.
    if (InTransaction()) {
        if (!JoinTransaction(fb)) return false;
        fb->updateInProgress = true;
        return true;
    }
    if (fb->updateInProgress) return true;
    // The flag is durable before the first change is written: a power cut must not keep a
    // change and lose the flag that says the index may not match it.
    uint8_t one = 1;
    if (!fb->data.write(20, &one, 1) || !fb->data.sync()) return false;
    fb->updateInProgress = true;
    return true;
}

int64_t slotPos(const Fileblock* fb, int32_t n) {
    return int64_t(n) * fb->recordLength;
}

int32_t AddRecord(Fileblock* fb, const void* record) {
    if (!EntryCheck(fb, true)) return 0;
    if (FaultTriggered(EngineOp::AddRecord)) return 0;
    if (fb->backend) return fb->backend->addRecord(record);
    if (!MarkChanged(fb)) {
        ExitStep(fb);
        return 0;
    }
    int32_t n;
    const int32_t oldHead = fb->chainHead;
    if (fb->chainHead == -1) {
        n = ++fb->high;
    } else {
        n = fb->chainHead;
        if (n <= 0 || n > fb->high) {
            Fail(err::ChainCorrupt);
            return 0;
        }
        uint8_t link[4];
        if (!fb->data.read(slotPos(fb, n), link, 4)) {
            ExitStep(fb);
            return 0;
        }
        int32_t next = rd32(link);
        if (next == 0 || next > fb->high || next < -1) {
            Fail(err::ChainCorrupt);
            return 0;
        }
        fb->chainHead = next;
        --fb->deletedCount;
    }
    if (!fb->data.write(slotPos(fb, n), record, size_t(fb->recordLength))) {
        if (oldHead == -1) {
            --fb->high;
        } else {
            fb->chainHead = oldHead;
            ++fb->deletedCount;
        }
        ExitStep(fb);
        return 0;
    }
    return n;
}

void GetRecord(Fileblock* fb, int32_t recNo, void* record) {
    if (!EntryCheck(fb, false)) return;
    if (FaultTriggered(EngineOp::GetRecord)) return;
    if (fb->backend) return fb->backend->getRecord(recNo, record);
    if (recNo < 0) {
        Fail(err::ShortRead);
        return;
    }
    fb->data.read(slotPos(fb, recNo), record, size_t(fb->recordLength));
    ExitStep(fb);
}

void PutRecord(Fileblock* fb, int32_t recNo, const void* record) {
    if (!EntryCheck(fb, true)) return;
    if (FaultTriggered(EngineOp::PutRecord)) return;
    if (fb->backend) return fb->backend->putRecord(recNo, record);
    // Writing outside the allocated slots would leave a file whose slot count no longer
    // matches its header, so such numbers are refused like record number 0.
    if (recNo <= 0 || recNo > fb->high) {
        Fail(err::PutRecordZero);
        return;
    }
    fb->data.write(slotPos(fb, recNo), record, size_t(fb->recordLength));
    ExitStep(fb);
}

bool PushDeletedSlot(Fileblock* fb, int32_t recNo) {
    if (fb->backend) return fb->backend->pushDeletedSlot(recNo);
    if (!MarkChanged(fb)) return false;
    uint8_t link[4];
    wr32(link, fb->chainHead);
    if (!fb->data.write(slotPos(fb, recNo), link, 4)) return false;
    fb->chainHead = recNo;
    ++fb->deletedCount;
    return true;
}

void DeleteRecord(Fileblock* fb, int32_t recNo) {
    if (!EntryCheck(fb, true)) return;
    if (FaultTriggered(EngineOp::DeleteRecord)) return;
    if (fb->backend) return fb->backend->deleteRecord(recNo);
    if (recNo < 1 || recNo > fb->high) {
        Fail(err::BadDeleteRecord);
        return;
    }
    // A slot that is already on the deleted chain must not be pushed again: that would
    // turn the chain into a loop.
    uint8_t mark[4];
    if (!fb->data.read(slotPos(fb, recNo), mark, 4)) return ExitStep(fb);
    if (rd32(mark) != 0) {
        Fail(err::BadDeleteRecord);
        return;
    }
    if (!PushDeletedSlot(fb, recNo)) ExitStep(fb);
}

int32_t GetRecordRun(Fileblock* fb, int32_t first, int32_t count, void* out) {
    if (!EntryCheck(fb, false)) return 0;
    if (FaultTriggered(EngineOp::GetRecord)) return 0;
    if (fb->backend) return fb->backend->getRecordRun(first, count, out);
    if (first < 1 || count < 1) {
        Fail(err::ShortRead);
        return 0;
    }
    if (first > fb->high) {
        Fail(err::NoMoreRecords);
        return 0;
    }
    const int64_t slots = std::min<int64_t>(count, int64_t(fb->high) - first + 1);
    const int64_t got =
        fb->data.readSomeDirect(slotPos(fb, first), out, size_t(slots) * size_t(fb->recordLength));
    // A file shorter than its header says ends the run at its last whole record; as for a
    // scan, what cannot be read is a scan read error.
    const int32_t read = got < 0 ? 0 : int32_t(got / fb->recordLength);
    if (read == 0) {
        Fail(err::ScanReadError);
        ExitStep(fb);
    }
    return read;
}

int32_t UsedRecordCount(Fileblock* fb) {
    if (!EntryCheck(fb, false)) return 0;
    if (fb->backend) return fb->backend->usedRecordCount();
    return fb->high - fb->deletedCount;
}

int32_t RecordSlotCount(Fileblock* fb) {
    if (!EntryCheck(fb, false)) return 0;
    if (fb->backend) return fb->backend->recordSlotCount();
    return fb->high + 1;
}

int32_t RecordLength(Fileblock* fb) {
    if (!EntryCheck(fb, false)) return 0;
    if (fb->backend) return fb->backend->recordLength();
    return fb->recordLength;
}

int32_t NextUsedRecord(Fileblock* fb, int32_t recNo) {
    if (!EntryCheck(fb, false)) return 0;
    if (fb->backend) return fb->backend->nextUsedRecord(recNo);
    for (int64_t n = int64_t(std::max(recNo, 0)) + 1; n <= fb->high; ++n) {
        uint8_t mark[4];
        if (!fb->data.read(slotPos(fb, int32_t(n)), mark, 4)) {
            Fail(err::ScanReadError);
            ExitStep(fb);
            return 0;
        }
        if (rd32(mark) == 0) return int32_t(n);
    }
    Fail(err::NoMoreRecords);
    return 0;
}

int32_t PrevUsedRecord(Fileblock* fb, int32_t recNo) {
    if (!EntryCheck(fb, false)) return 0;
    if (fb->backend) return fb->backend->prevUsedRecord(recNo);
    int64_t start = std::min<int64_t>(recNo, int64_t(fb->high) + 1) - 1;
    for (int64_t n = start; n >= 1; --n) {
        uint8_t mark[4];
        if (!fb->data.read(slotPos(fb, int32_t(n)), mark, 4)) {
            Fail(err::ScanReadError);
            ExitStep(fb);
            return 0;
        }
        if (rd32(mark) == 0) return int32_t(n);
    }
    Fail(err::NoMoreRecords);
    return 0;
}

void MarkForRebuild(Fileblock* fb) {
    if (!EntryCheck(fb, true)) return;
    if (fb->backend) return fb->backend->markForRebuild();
    if (!MarkChanged(fb)) return ExitStep(fb);
    fb->keepUpdateFlag = true;
}

void LockFileblock(Fileblock* fb) {
    EntryCheck(fb, false);
}
void UnlockFileblock(Fileblock* fb) {
    EntryCheck(fb, false);
}

}  // namespace invarro::storage
