// The backend seam: fileblocks kept somewhere other than in files.
//
// The engine's operations (Engine.h, BTree.h, Transaction.h, RebuildFileblock, CheckFileblock)
// stay the one API of the program. Below them, the fileblock names under a mounted folder
// belong to a backend: a fileblock handle opened from such a name carries the backend's open
// fileblock, and every operation on the handle is passed to it after the engine's entry
// check. Names outside every mounted folder are files, as always. A backend sets the engine
// status with the same error numbers as the files do.
//
// A transaction changes either files or one backend, never both: the first change of the
// other kind is refused with 10480. CommitTransaction and RollbackTransaction end the
// backend's transaction.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "storage/Engine.h"
#include "storage/Rebuild.h"

namespace invarro::storage {

// One open fileblock of a backend. Record numbers, the deleted-record chain, key order and
// the error numbers follow the files exactly.
class BackendFileblock {
  public:
    virtual ~BackendFileblock() = default;
    virtual bool close() = 0;

    virtual int32_t addRecord(const void* record) = 0;
    virtual void getRecord(int32_t recNo, void* record) = 0;
    virtual int32_t getRecordRun(int32_t first, int32_t count, void* out) = 0;
    virtual void putRecord(int32_t recNo, const void* record) = 0;
    virtual void deleteRecord(int32_t recNo) = 0;
    virtual int32_t usedRecordCount() = 0;
    virtual int32_t recordSlotCount() = 0;
    virtual int32_t recordLength() = 0;
    virtual int32_t nextUsedRecord(int32_t recNo) = 0;
    virtual int32_t prevUsedRecord(int32_t recNo) = 0;
    virtual void markForRebuild() = 0;
    // Puts a slot on the deleted-record chain whatever its first bytes hold (the
    // continuation sections of a variable-length record).
    virtual bool pushDeletedSlot(int32_t recNo) = 0;

    virtual void addKey(int keyNo, int32_t recNo, std::string_view key) = 0;
    virtual void deleteKey(int keyNo, int32_t recNo, std::string_view key) = 0;
    virtual int32_t findKeyAtOrAfter(int keyNo, std::string& key) = 0;
    virtual void findKeyAndRecord(int keyNo, std::string& key, int32_t& recNo, int direction) = 0;
    virtual void nextKey(int keyNo, std::string& key, int32_t& recNo) = 0;
    virtual void prevKey(int keyNo, std::string& key, int32_t& recNo) = 0;
    virtual int32_t keyCount(int keyNo) = 0;
    virtual uint32_t approxKeyPosition(int keyNo, std::string_view key, int32_t recNo,
                                       uint32_t scale) = 0;
    virtual void approxKeyAtPosition(int keyNo, uint32_t position, uint32_t scale, std::string& key,
                                     int32_t& recNo) = 0;
};

// Where the fileblocks of a mounted folder live.
class Backend {
  public:
    virtual ~Backend() = default;

    // name is the fileblock's name relative to the mounted folder, without extension
    // ("ACME/CUSTOMER"). Definitions are checked by the engine before create is called.
    virtual void create(const std::string& name, int recordLength, int numKeys,
                        const KeyDescriptor* keys) = 0;
    // Fills numKeys; nullptr with the status set on failure (9903 when there is no such
    // fileblock, 10010 when it waits for a rebuild).
    virtual BackendFileblock* open(const std::string& name, bool readOnly, int& numKeys) = 0;
    virtual void remove(const std::string& name) = 0;
    // False also when the backend cannot be asked.
    virtual bool exists(const std::string& name) = 0;

    // The backend's part of an engine transaction.
    virtual bool inTransaction() const = 0;
    virtual bool commit() = 0;
    virtual void rollback() = 0;

    // Rebuild: the key entries made again from the records with the builder; a record whose
    // key is refused as a duplicate is deleted with its other keys (as the files' rebuild
    // does). Record numbers stay.
    virtual bool rebuild(const std::string& name, int numKeys, const KeyDescriptor* keys,
                         const KeyBuilder& builder, const RebuildSink& sink) = 0;
    // The structure check: one line per problem, empty when sound.
    virtual std::vector<std::string> check(const std::string& name) = 0;

    // The fileblocks (relative names) other programs changed since the last call, read
    // without waiting. A backend whose fileblocks only this program changes has none.
    virtual std::vector<std::string> changedElsewhere() { return {}; }
};

// Routes every fileblock name in folder (and below it) to backend; a null backend unmounts.
void MountBackend(const std::string& folder, std::shared_ptr<Backend> backend);
// Keeps the fileblocks of a folder below a mounted one in files (a work folder inside a
// data folder whose books are elsewhere); MountBackend(folder, nullptr) ends it.
void MountFiles(const std::string& folder);
void UnmountAllBackends();
// The backend of a fileblock name and the name relative to its folder; nullptr for files.
Backend* BackendFor(std::string_view name, std::string* relative = nullptr);

// The fileblocks of every mounted folder that other programs changed since the last call,
// as FileblockName gives them; read without waiting (no round trip to a server), each name
// once. Fileblocks in files are never among them: a file is open in one program only.
std::vector<std::string> ChangedElsewhere();
// The name of a fileblock as ChangedElsewhere reports it: the folder and the name without
// extension ("/data/ACME/CUSTOMER" for "/data/ACME/CUSTOMER.DAT" or ".../CUSTOMER;IDX").
std::string FileblockName(std::string_view name);
// The same for an open handle; empty for an invalid one.
std::string FileblockName(const Fileblock* fb);

// Used by the engine's operations.
Fileblock* OpenBackendFileblock(Backend* backend, const std::string& relative, bool readOnly);
BackendFileblock* BackendOf(const Fileblock* fb);
// Reads slot n (the record length's bytes) of any fileblock; false with the status set.
bool ReadSlot(Fileblock* fb, int32_t n, uint8_t* out);
// The highest record number allocated.
int32_t HighestRecord(Fileblock* fb);
bool CloseBackendFileblock(Fileblock* fb);
bool AnyBackendInTransaction();
bool CommitBackendTransactions();
void RollbackBackendTransactions();
// Used by backends: the open transaction already changed files.
bool TransactionChangesFiles();

}  // namespace invarro::storage
