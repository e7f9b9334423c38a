// Test seam: makes the n-th call of an engine operation fail with a chosen error before
// it touches any file, so that callers' recovery paths can be exercised.
#pragma once

#include <cstdint>
#include <string>

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
// Reads INVARRO_FILE_FAULT and the power-cut variables below (done by InitEngine).
void FileFaultFromEnvironment();
// Syncs of files and folders the file layer has made (counted whatever the seam is set to).
int64_t SyncCount();

// The power-cut seam: from here on every change the file layer makes inside folder is
// recorded, with what was last synced, so that the folder as a power cut could leave it can
// be made: bytes written since a file's last sync lost, kept or torn by 4 KiB page (a grown
// file's lost pages reading as zeros), and name changes not yet made durable by a sync of
// their folder kept or dropped each on its own. The choices follow a seed, so that a state
// can be made again. With cutAt N > 0 the folder itself is turned into such a state just
// before the N-th sync of the run, and the process ends at once with kFaultExitStatus, as a
// cut would end it; kCutAtExit does the same when the process exits normally (a cut after
// the command returned). The environment variables INVARRO_POWER_CUT ("N:SEED", "end:SEED"
// or "count", which says "power-cut boundaries: N" on standard error at exit) and
// INVARRO_POWER_CUT_FOLDER start it when the engine starts, for tests that run a program as
// a child process.
inline constexpr int64_t kCutAtExit = -1;
void StartPowerCutWatch(const std::string& folder, int64_t cutAt = 0, uint64_t seed = 1);
void StopPowerCutWatch();
// Syncs met since the watch started.
int64_t PowerCutBoundaries();
// Writes the watched folder as a cut now could leave it into the folder into.
bool WritePowerCutState(const std::string& into, uint64_t seed);
// Turns the watched folder itself into such a state.
bool CutPowerInPlace(uint64_t seed);
void PowerCutFromEnvironment();

}  // namespace invarro::storage
