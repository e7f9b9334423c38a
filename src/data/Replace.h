// Several files of the data folder replaced as one step that no kill can split: a copy of
// a fileblock (its data and index file) from another company, or the files of a restore.
//
// Each replacement moves a fresh file, written and synced beside its target in the data
// folder, over the target; the file it replaces can be kept under another name. Before the
// first move a plan naming every move is made durable in the folder ("INVARRO.MOV"); after
// the last one it is removed. A program that finds a plan finishes it
// (FinishFileReplacement, called by RecoverDataFolder): every file whose fresh copy is
// still there is moved into place, so the folder ends with all the new files, never with
// some of them. Paths are kept relative to the folder and must stay inside it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace invarro::data {

inline constexpr const char* kReplacementPlan = "INVARRO.MOV";

struct FileReplacement {
    std::string target;  // the file to replace (or create)
    std::string fresh;   // the complete new file, on the same file system
    std::string keep;    // where the replaced file goes ("" : it is dropped)
};

// Syncs every fresh file, writes the plan, makes the moves in order and removes the plan;
// then removes the folders listed in cleanUp (work folders of the caller). False with a
// reason when the plan cannot be written (nothing moved then) or a move fails: the moves
// made are then taken back (the reason says whether that worked; when it did not, the plan
// stays, so that the next start finishes the replacement).
// move renames one file (tests make it fail); by default rename(2).
using FileMove = std::function<bool(const std::string& from, const std::string& to,
                                    std::string* error)>;
bool ReplaceFilesTogether(const std::string& folder, const std::vector<FileReplacement>& moves,
                          const std::vector<std::string>& cleanUp, std::string* error,
                          const FileMove& move = {});

// Finishes a replacement a program was stopped in. True when there was none or it could be
// finished; false with a reason otherwise (the plan is kept).
bool FinishFileReplacement(const std::string& folder, std::string* error);

}  // namespace invarro::data
