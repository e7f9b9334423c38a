// Test seam: makes the n-th call of an engine operation fail with a chosen error before
// it touches any file, so that callers' recovery paths can be exercised.
#pragma once

#include <cstdint>

namespace invarro::storage {

enum class EngineOp {
    Create,
    Open,
    Close,
    AddRecord,
    GetRecord,
    PutRecord,
    DeleteRecord,
    AddKey,
    DeleteKey,
    FindKey,  // FindKeyAtOrAfter and FindKeyAndRecord
    NextKey,
    PrevKey,
    Count
};

// The nth call (1 = the next one) of op fails with error.
void InjectFault(EngineOp op, int nth, int32_t error);
// Removes all pending faults and resets the call counters.
void ClearFaults();
// Calls of op since the last ClearFaults().
int EngineOpCalls(EngineOp op);

// The memory a reindex sorts the entries of one pass in (0: the normal amount), so that
// small files can be built in several passes.
void SetReindexSortBytes(int64_t bytes);

// Used by the engine's operations: counts the call and fails it when a fault is due.
bool FaultTriggered(EngineOp op);

// The file-layer seam: the nth counted file operation (1 = the next one) of the kinds in
// opMask (FileOp bits; 0 = every kind) fails with osErrno, ends the process at once with
// status kFaultExitStatus (as a kill would: nothing after it runs), or stops it until it is
// killed (saying "paused at file operation N" on standard error first). The count runs over writes,
// syncs, renames, truncates and removes of the engine's files, the journal included. The
// environment variable INVARRO_FILE_FAULT sets the same seam when the engine starts, for tests that
// run a program as a child process: "ACTION:N[:KINDS[:ERRNO]]" with ACTION fail, exit or pause and
// KINDS a comma list of write, sync, rename, truncate, remove.
enum class FileOp : unsigned { Write = 1, Sync = 2, Rename = 4, Truncate = 8, Remove = 16 };
enum class FileFaultAction { Fail, Exit, Pause };
inline constexpr int kFaultExitStatus = 86;
void SetFileFault(unsigned opMask, int64_t nth, FileFaultAction action, int osErrno = 28);
void ClearFileFault();
// Counted file operations (of every kind) since the last ClearFileFault().
int64_t FileOpCount();
// Reads INVARRO_FILE_FAULT (done by InitEngine).
void FileFaultFromEnvironment();

}  // namespace invarro::storage
