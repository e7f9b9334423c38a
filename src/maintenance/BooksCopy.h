// Fileblocks copied slot for slot between any two places the engine reaches (files, or a
// server mounted on a folder), and compared the same way. A copy keeps every record's
// number and bytes, the deleted slots and the order of their chain, and every key entry as
// it is, so that the books read the same on either side.
#pragma once

#include <string>
#include <vector>

#include "platform/Progress.h"

namespace invarro::maintenance {

// Creates target (which must not exist) with source's definition and copies every slot and
// key entry into it. On a server the copy is one transaction, or joins the transaction the
// caller has open (which the caller then commits, or rolls back when the copy fails). False
// with *error.
bool CopyFileblock(const std::string& source, const std::string& target,
                   std::string* error = nullptr);

// target becomes a copy of source (CopyFileblock). On a server the old target goes and the
// copy comes in one transaction; in files a target that was there is kept aside until the
// copy is made and put back when it fails.
bool ReplaceFileblock(const std::string& source, const std::string& target,
                      std::string* error = nullptr);

// "" when both fileblocks hold the same slots (live records byte for byte, the same slots
// deleted) and the same entries in every key; else what differs first.
std::string CompareFileblocks(const std::string& a, const std::string& b);

// The business fileblocks of a folder of files ("Company", "1C", ...), sorted.
std::vector<std::string> FileblocksInFolder(const std::string& folder);

// Whether the folder's books live on a mounted backend rather than in its files.
bool BooksOnBackend(const std::string& folder);
// The fileblocks of the books, by name relative to the folder: those of a folder of files,
// or, on a backend, the company file and every fileblock of each company it lists.
std::vector<std::string> BooksFileblocks(const std::string& folder);

// Keeps a work folder inside the data folder in files for as long as it lives.
class FilesScope {
  public:
    explicit FilesScope(std::string folder);
    ~FilesScope();
    FilesScope(const FilesScope&) = delete;
    FilesScope& operator=(const FilesScope&) = delete;

  private:
    std::string folder_;
};

}  // namespace invarro::maintenance
