// What every program does first when it opens a data folder: it finishes or undoes
// whatever an interrupted program left there, silently, before anything else.
//   - files being replaced together (a restore, a copy between companies) are all put in
//     place;
//   - a transaction in the folder's journal is written whole to its files or dropped
//     (the engine's recovery);
//   - a rebuild or restructure cut short (its ".SAV" file still there) is taken up again
//     from the save file, which holds every record as it was;
//   - a fileblock whose index an interrupted change left out of step (its update flag set)
//     is rebuilt from its data file.
// Fileblocks that another running program holds open are left to it.
#pragma once

#include <string>
#include <vector>

#include "platform/Progress.h"

namespace invarro::data {

struct FolderRecovery {
    bool ok = true;
    std::string error;                 // what could not be mended, for the caller to report
    int transactions = 0;              // committed transactions written again from the journal
    bool journalDropped = false;       // a torn or foreign journal was removed unapplied
    std::vector<std::string> rebuilt;  // the fileblocks rebuilt (file names in the folder)
    bool anything() const { return transactions > 0 || journalDropped || !rebuilt.empty(); }
};

// Needs the engine started. The progress window shows a rebuild's counters.
FolderRecovery RecoverDataFolder(const std::string& folder, platform::Progress& progress);

}  // namespace invarro::data
