// The data folder's own files: the data and index files, the engine's side files, the
// program's side files, work files and settings file. No file the user names (an export,
// a report, a PDF, a letter) may replace one of them, whatever the answer to "overwrite?".
//
// Also the rule for the mode of new files: everything the program creates inside the data
// folder is its owner's alone; a file or folder the user puts elsewhere gets the mode the
// user's umask leaves.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace invarro::data {

// The data folder this program works on. The programs set it as soon as they know the
// folder; the writers of files the user names consult it.
void SetDataFolderInUse(const std::string& folder);
// "" when none has been set.
const std::string& DataFolderInUse();

// Sets the folder in use for the life of the object and puts the earlier one back.
class DataFolderInUseScope {
  public:
    explicit DataFolderInUseScope(const std::string& folder);
    ~DataFolderInUseScope();
    DataFolderInUseScope(const DataFolderInUseScope&) = delete;
    DataFolderInUseScope& operator=(const DataFolderInUseScope&) = delete;

  private:
    std::string earlier_;
};

// Whether a bare file name is one of the data folder's own files, letter case ignored:
// any name with the extension of a data, index or engine side file (".DAT", ".IX", ".JNL",
// ".SAV", ".MSG", ".DIA"), and the settings, colour, work and lock files.
bool IsOwnFileName(std::string_view name);
// Whether a name with its extension counts anywhere below the data folder (the copies in
// its "Backup" folder are data files too).
bool HasOwnFileExtension(std::string_view name);

// Why the user may not have path written ("" when the file may be written): it is, or
// would replace, one of dataFolder's own files. The path is taken as the system resolves
// it: "..", links (also one that points at a file not yet there) and the letter case of
// the name do not hide a data file, nor does a second name (hard link) of one.
std::string OwnFileProblem(const std::string& dataFolder, const std::string& path);
// The same against the data folder in use; "" when none is set.
std::string OwnFileProblem(const std::string& path);
// The same for a writer that reports through an error text: false (and *error says why)
// when path may not be written.
bool MayWriteUserFile(const std::string& path, std::string* error);

// Whether path lies inside the data folder in use (after resolving links and ".."). True
// when no folder is set, so that a file is never more open than it should be.
bool InsideDataFolder(const std::string& path);
// The mode to create a file at path with: 0600 inside the data folder, else 0666 (which
// the umask narrows).
mode_t NewFileMode(const std::string& path);
// The same for a folder: 0700 inside, else 0777.
mode_t NewFolderMode(const std::string& path);

}  // namespace invarro::data
