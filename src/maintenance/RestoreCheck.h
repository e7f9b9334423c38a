// What a restore checks before any file of the data folder is replaced: that the archive
// fits on the disk, and that the files it brings are books the program can open.
#pragma once

#include <string>
#include <vector>

#include "platform/Archive.h"

namespace invarro::maintenance {

// Why the entries cannot be extracted into folder ("" when they can): together they need
// more room than the disk has free.
std::string RoomProblem(const std::string& folder,
                        const std::vector<platform::ArchiveEntry>& entries);

// Why the files extracted into folder under these names may not become the data folder's
// files ("" when they may):
// - a fileblock comes whole, its data and its index file together;
// - each fileblock passes the structure check of its data file and of every B-tree;
// - a business fileblock has the record length and the keys of its kind;
// - the company file is there whenever another data file or "LastCo.Dat" is, it opens,
//   and it holds at least one company;
// - "LastCo.Dat" holds a whole company record of a company in the company file.
// work is an empty folder on the same disk that the check may use and empties again.
std::string RestoredFilesProblem(const std::string& folder, const std::vector<std::string>& names,
                                 const std::string& work);

}  // namespace invarro::maintenance
