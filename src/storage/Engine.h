// The record-storage engine: fileblocks of fixed-length records with B-tree indexes.
//
// The engine is procedural. Every operation resets and then sets the global engine
// status (EngineOk, EngineError, OsError, OsFunction); none of them throws. Callers test
// EngineOk after each call. Key operations are declared in BTree.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace invarro::storage {

// Global engine status, reset at the start of every operation.
extern bool EngineOk;
extern int32_t EngineError;
extern int32_t OsError;
extern int16_t OsFunction;

// Sets EngineOk and clears the error numbers, as the start of every operation does.
void ResetStatus();

// Opaque fileblock handle; owned by the engine from open to close.
struct Fileblock;

// Limits of the file formats.
inline constexpr int kMaxKeys = 100;
inline constexpr int kMaxKeyLength = 30;
inline constexpr int kMinRecordLength = 21;
inline constexpr int kItemsPerPage = 62;

// Memory the engine caches file contents in: each page buffer of the pool holds the
// largest page of any key, and each open data file has a read cache of its own.
inline constexpr int kPageBufferBytes = 6 + kItemsPerPage * (kMaxKeyLength + 9);
inline constexpr int kDataReadCacheBytes = 256 * 4096;

// One key of a fileblock as given at create.
struct KeyDescriptor {
    int length = 0;  // 1..30
    bool duplicates = false;
};

// Engine error numbers used by callers and tests.
namespace err {
inline constexpr int32_t PathNotFound = 9900;
inline constexpr int32_t TooManyFiles = 9901;
inline constexpr int32_t FileNotFound = 9903;
inline constexpr int32_t InvalidOsHandle = 9904;
inline constexpr int32_t InvalidAccess = 9908;
inline constexpr int32_t NoBuffers = 10000;
inline constexpr int32_t IndexDefective = 10010;
inline constexpr int32_t RecordTooShort = 10020;
inline constexpr int32_t NoKeyMemory = 10030;
inline constexpr int32_t NoSectionBuffer = 10040;
inline constexpr int32_t TooManyKeysCreate = 10050;
inline constexpr int32_t BadKeyLength = 10055;
inline constexpr int32_t TooManyKeysHeader = 10060;
inline constexpr int32_t ReadOnly = 10065;
inline constexpr int32_t ShortRead = 10070;
inline constexpr int32_t ShortWrite = 10075;
inline constexpr int32_t NotOpen = 10080;
inline constexpr int32_t NoMemoryCreate = 10090;
inline constexpr int32_t NoMemoryOpen = 10100;
inline constexpr int32_t IndexPageSize = 10120;
inline constexpr int32_t IndexKeyLength = 10121;
inline constexpr int32_t IndexItemsPerPage = 10122;
inline constexpr int32_t KeyTooLong = 10125;
inline constexpr int32_t PutRecordZero = 10130;
inline constexpr int32_t BadDeleteRecord = 10135;
inline constexpr int32_t OsOther = 10140;
inline constexpr int32_t CloseFailed = 10160;
inline constexpr int32_t BadKeyNumber = 10164;
inline constexpr int32_t ChainCorrupt = 10170;
inline constexpr int32_t KeyNotFound = 10210;
inline constexpr int32_t DataInconsistent = 10215;
inline constexpr int32_t NoSuchEntry = 10220;
inline constexpr int32_t DuplicateEntry = 10230;
inline constexpr int32_t NoNextEntry = 10250;
inline constexpr int32_t NoPrevEntry = 10260;
inline constexpr int32_t ExactNotFound = 10270;
inline constexpr int32_t NoMoreRecords = 10275;
inline constexpr int32_t ApproxEmpty = 10280;
inline constexpr int32_t ApproxPosEmpty = 10285;
inline constexpr int32_t ScanReadError = 10390;
inline constexpr int32_t OsReadOnly = 10397;
inline constexpr int32_t RenameFailed = 10399;
inline constexpr int32_t NoDataNoSave = 10410;
inline constexpr int32_t NoRecordBuffers = 10411;
inline constexpr int32_t RecordTooLong = 10412;
inline constexpr int32_t VarChainBroken = 10415;
inline constexpr int32_t ApproxBadPosition = 10420;
inline constexpr int32_t ApproxBadScale = 10425;
inline constexpr int32_t InvalidHandle = 10445;
inline constexpr int32_t AlreadyStarted = 10450;
inline constexpr int32_t TooFewBuffers = 10451;
inline constexpr int32_t NotStarted = 10455;
inline constexpr int32_t Cancelled = 10460;
inline constexpr int32_t SaveAndDataExist = 10465;
inline constexpr int32_t KeyBuilderFailed = 10470;
inline constexpr int32_t ConverterFailed = 10475;
// The data folder's journal is held by another running program (busy: retry).
inline constexpr int32_t JournalBusy = 10110;
// Not possible inside a transaction (or no transaction open, or a file of another folder).
inline constexpr int32_t TransactionState = 10480;
// A committed transaction could not be written to its files; the journal keeps it.
inline constexpr int32_t JournalPending = 10482;
// The journal cannot be read or names files that are not there.
inline constexpr int32_t JournalDamaged = 10484;
// The answer to a commit was lost with the connection and the server could not be asked
// afterwards whether the transaction was made: neither run it again nor count it as done.
inline constexpr int32_t CommitInDoubt = 10486;
}  // namespace err

// Codes of the file function that failed, for diagnostics (OsFunction).
namespace osfn {
inline constexpr int16_t Close = 0x3E00;
inline constexpr int16_t Read = 0x3F00;
inline constexpr int16_t Write = 0x4000;
inline constexpr int16_t Delete = 0x4100;
inline constexpr int16_t Seek = 0x4200;
inline constexpr int16_t Tell = 0x4201;
inline constexpr int16_t SeekEnd = 0x4202;
inline constexpr int16_t Attributes = 0x4300;
inline constexpr int16_t Rename = 0x5600;
inline constexpr int16_t Flush = 0x6800;
inline constexpr int16_t Open = 0x6C00;
}  // namespace osfn

// Starts the engine with a page buffer pool. Returns the number of buffers allocated,
// which may be more than asked for (see SetPoolFloor).
int InitEngine(int buffersWanted);
// Checkpoints the journal (see Transaction.h), closes every open fileblock in order of
// opening and stops the engine.
void ExitEngine();
bool EngineStarted();

// The engine allocates at least this many page buffers whatever InitEngine asks for.
// Tests set it to 0 to run with exactly the number they ask for.
void SetPoolFloor(int buffers);
int PoolFloor();

void CreateFileblock(const std::string& name, int recordLength, int numKeys,
                     const KeyDescriptor* keys);
Fileblock* OpenFileblock(const std::string& name, bool readOnly, bool shared = false);
// Writes what the fileblock still holds in memory and closes it. A close is no
// checkpoint: files whose committed transactions wait in the journal stay open, with their
// locks, until the next one. A fileblock changed outside any transaction has its index and
// records synced before its update flag is cleared.
void CloseFileblock(Fileblock*& fb);
// Removes a fileblock. Files are removed outside a transaction only (10480 inside one); on a
// backend the removal, like a creation, joins the open transaction and is undone when it
// rolls back.
void DeleteFileblock(const std::string& name);
// Whether a fileblock of that name exists (its data file, or its rows on a server), for
// callers that must not ask the file system: the books may not be in files.
bool FileblockExists(const std::string& name);
bool IsFileblockOpen(const Fileblock* fb);

int32_t AddRecord(Fileblock* fb, const void* record);
void GetRecord(Fileblock* fb, int32_t recNo, void* record);
// Reads the slots first.. of up to `count` consecutive records into out (count records'
// bytes), deleted ones included, in one read past the map and the read cache: for passes
// that read a whole file in record order into a buffer of their own. Returns the slots
// read, fewer at the highest record or where the file ends; 0 with NoMoreRecords past
// the highest record, or with ScanReadError where nothing could be read.
int32_t GetRecordRun(Fileblock* fb, int32_t first, int32_t count, void* out);
void PutRecord(Fileblock* fb, int32_t recNo, const void* record);
void DeleteRecord(Fileblock* fb, int32_t recNo);
int32_t UsedRecordCount(Fileblock* fb);
int32_t RecordSlotCount(Fileblock* fb);
int32_t RecordLength(Fileblock* fb);
int32_t NextUsedRecord(Fileblock* fb, int32_t recNo);
int32_t PrevUsedRecord(Fileblock* fb, int32_t recNo);
// The fileblock's indexes no longer follow its records (records were added without their
// keys): its update flag stays set when the transaction commits and when it closes, so
// that it is rebuilt, by this program or by the next one to open the folder.
void MarkForRebuild(Fileblock* fb);
void LockFileblock(Fileblock* fb);
void UnlockFileblock(Fileblock* fb);

// Number of keys of an open fileblock (0 when the handle is not valid).
int KeyCountOf(const Fileblock* fb);

// 0 none, 1 not found, 2 busy (retry), 3 partly done (rebuild), 4 other.
int ErrorClass();
int ErrorClassOf(int32_t error);
// How many operations have failed busy (class 2) since the program started: a posting that
// sees the count move knows that it met a lock or a busy journal, whatever the caller made
// of the failure, and can be run again.
int64_t BusyFailureCount();

// The file names a fileblock name stands for ("DAT", "IX", "DIA", "SAV", "MSG").
// A name with a semicolon names the data file before it and the index file after it.
std::string DataFileName(std::string_view name);
std::string IndexFileName(std::string_view name);
// The data file's name with another extension ("SAV" save file, "MSG" reindex log).
std::string DataPartFileName(std::string_view name, std::string_view ext);
// Replaces the extension of the last path component (or appends one).
std::string FileNameWithExtension(std::string_view name, std::string_view ext);

}  // namespace invarro::storage
