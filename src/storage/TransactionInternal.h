// The transaction's hooks into the file layer and the fileblock operations (not public).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace invarro::storage {

class RecordFile;
struct Fileblock;

enum class WriteRoute { Direct, Overlay, Refused };
// Where a change of the file goes: into its overlay while a transaction is open (the file
// joins the transaction; a file of another folder is refused with 10480), else straight to
// the file.
WriteRoute RouteWrite(RecordFile* file);
// While the commit writes what the fileblocks hold in memory (pages, headers) before it
// makes its frame: such writes may go straight into the frame's runs.
bool CommitWritesDirect();
void SetCommitWritesDirect(bool on);
// Before a direct change of a file whose committed changes still wait in the journal: the
// journal is checkpointed first, so that replaying it later cannot undo the change.
bool SettleJournalFor(RecordFile* file);
// A handle closes, or its file moves to another handle.
void ForgetFile(RecordFile* file);
void MovedFile(RecordFile* from, RecordFile* to);

// The fileblock changes inside the open transaction: its counters and key headers are
// kept for a rollback, and changes it had from before the transaction are written out.
bool JoinTransaction(Fileblock* fb);
// At the close of a fileblock inside a transaction: its files wait, still open, for the
// commit or the rollback. True when they were taken.
bool ParkFiles(Fileblock* fb);
// At an open inside a transaction: a parked file of that name comes back to the new handle.
bool UnparkFile(const std::string& name, RecordFile& file);
// At the close of a fileblock outside a transaction: files whose committed changes are in
// the journal have them written (not synced) and stay open, with their locks, until the
// next checkpoint syncs them.
bool LeaveToJournal(Fileblock* fb);
// Before a file is removed, or renamed or replaced by a rename: its committed changes are
// checkpointed first (a journal naming a file that is no longer there is dropped whole).
bool SettleJournalForName(const std::string& name);
// At an open: recovers the folder's journal when another program left one behind.
bool RecoverBeforeOpen(const std::string& fileName);
// ExitEngine: rolls back an open transaction and checkpoints the journal.
bool EndTransactionsAtExit();
// The checksum of the journal's header and frames.
uint64_t JournalChecksum(const uint8_t* p, size_t n);

}  // namespace invarro::storage
