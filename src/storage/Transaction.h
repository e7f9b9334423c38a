// Transactions: any number of record and key changes to the fileblocks of one data folder,
// made all together or not at all, across a crash, a kill or a full disk.
//
// Between BeginTransaction and CommitTransaction every change is kept in memory, over the
// files it changes; reads see it. The commit reserves the disk space the files grow to,
// appends the changed bytes of every file to the folder's journal (a redo log,
// "INVARRO.JNL") and makes the journal durable: that is the moment the transaction
// happens. Then the bytes are written to the files; a checkpoint syncs the files and
// empties the journal: when the journal grows past a few megabytes, when the program is
// idle, before whole files are read or replaced, and when the engine stops. A fileblock
// closed before that keeps its files open (and locked) for the checkpoint.
// After a kill at any point the next program to open the folder either finds the
// transaction whole in the journal and writes it to the files (the same bytes, so writing
// twice is harmless), or finds it torn or absent and the files as they were. The data and
// index files keep their formats; only the journal is new.
//
// Outside a transaction the engine writes straight to the files, as it always has.
#pragma once

#include <string>

namespace invarro::storage {

inline constexpr const char* kJournalName = "INVARRO.JNL";
std::string JournalFileName(const std::string& folder);

// Starts a transaction (10480 when one is already open).
bool BeginTransaction();
// Makes the transaction's changes durable and writes them to the files. False with the
// engine status set when it could not: then nothing of it was made (the transaction is
// rolled back), except with 10482, where the transaction is in the journal but a failing
// disk stopped its writing to the files; the next program to open the folder finishes it.
bool CommitTransaction();
// Drops every change of the open transaction; the fileblocks are as before Begin.
void RollbackTransaction();
bool InTransaction();
// Makes the committed changes durable in their files and empties the journal. Called at
// exit, and before anything reads or replaces whole files (a backup, a restore, a copy, a
// rebuild); closing a fileblock leaves its changes to the next checkpoint.
bool CheckpointJournal();
// The same when the program is idle: the journal is emptied but stays in the folder, so
// that the next commit costs a single sync, and this program lets go of it and of the
// files it kept open for it. Does nothing inside a transaction; keeps the engine status
// when it succeeds.
bool SettleJournal();

// Whether commits and checkpoints sync what they wrote (on by default). Off, a commit is
// still all or nothing across a kill, as the files and the journal reach the operating
// system in the same order, but not across a power cut: for work that is simply done
// again when it is lost, such as making the demo installation.
void SetDurableCommits(bool on);
bool DurableCommits();

// What the recovery of a folder found.
struct JournalRecovery {
    bool ok = true;          // false: the journal could not be read or applied (see the status)
    int replayed = 0;        // committed transactions written again to their files
    bool discarded = false;  // a torn, foreign or stale journal was removed unapplied
    bool busy = false;       // another running program uses the journal: nothing to recover
};
// Finishes what an interrupted program left in the folder's journal: every committed
// transaction in it is written to its files, a torn last one is dropped, and the journal
// is removed. A journal that names files which are not the ones in this folder (copied in
// from elsewhere, or older than the files) is removed without being applied. Needs no
// started engine; OpenFileblock runs it by itself when it finds a journal nobody holds.
JournalRecovery RecoverJournal(const std::string& folder);

}  // namespace invarro::storage
