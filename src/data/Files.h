// Small-file helpers for the side files, the INI file and text lists. Files inside the data
// folder are created readable by their owner only, others as the umask allows (see
// OwnFiles.h), and a file is replaced whole: the new contents go to a
// temporary file that is renamed over the old one, so a failed write loses nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/FileIO.h"

namespace invarro::data {

std::string JoinPath(const std::string& folder, std::string_view name);
bool FileExists(const std::string& path);
// The whole file; nothing when it is missing, cannot be read or is not a regular file (a
// FIFO, a device or a folder is never read, so that no read waits or runs without end).
std::optional<std::string> ReadWholeFile(const std::string& path);
// The largest settings or side file the program reads.
inline constexpr std::size_t kSideFileLimit = std::size_t(1) << 20;
// A settings or side file: a regular file of at most maxBytes, read whole. Nothing when it
// is missing; nothing and *problem (its name and why) when it is there but not such a file.
std::optional<std::string> ReadSideFile(const std::string& path, std::string* problem = nullptr,
                                        std::size_t maxBytes = kSideFileLimit);
// Why a file that is there would not be read as a side file ("" when it would be, or is
// missing).
std::string SideFileProblem(const std::string& path, std::size_t maxBytes = kSideFileLimit);
// Replaces the file with bytes. On failure the old file is untouched and error says why.
bool ReplaceFile(const std::string& path, std::string_view bytes, std::string* error = nullptr);
// The same for a file the user named (an export, a letter, a list): refused, with why,
// when it is one of the data folder's own files (OwnFiles.h).
bool ReplaceUserFile(const std::string& path, std::string_view bytes, std::string* error = nullptr);
// A file written in pieces and put in place whole: the bytes go through a buffer to a
// temporary file beside it ("PATH.new"), which commit() renames over the file. Dropped
// without a commit, or after a failed write, the temporary file is removed and an older
// file of that name is untouched.
class ReplacingFile {
  public:
    explicit ReplacingFile(std::string path);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file; false (and why) when it cannot.
    bool open(std::string* error = nullptr);
    // Adds bytes; false once a write has failed (the error comes with commit()).
    bool write(std::string_view bytes);
    // Writes what is buffered, forces it to the disk, renames the file into place and makes
    // the new name durable.
    bool commit(std::string* error = nullptr);
    // Removes the temporary file; the file of that name stays as it was.
    void abandon();

  private:
    bool flush();
    std::string fail(const std::string& what) const;

    std::string path_, tmp_;
    storage::OsFile file_;
    int64_t written_ = -1;  // bytes in the temporary file; -1 when there is none
    int errno_ = 0;         // of the first failed write
    std::string buffer_;
};

// Deletes the file; true when it is gone afterwards.
bool RemoveFile(const std::string& path);
// Renames a finished file over another in one step (same folder); false when it cannot.
bool RenameOver(const std::string& from, const std::string& to);

// Text files: read as UTF-8 when they start with its byte-order mark or are valid UTF-8,
// else as Windows-1252; CR LF, LF and a lone CR end a line, and a line end at the very end
// does not start another line. Written in Windows-1252 with CR LF, a line end inside a
// line becoming a blank.
std::vector<std::string> TextLines(std::string_view fileBytes);
std::string TextFileBytes(const std::vector<std::string>& lines);
// Adds one line of such a file, with its CR LF, to out.
void AppendTextFileLine(std::string& out, std::string_view line);

}  // namespace invarro::data
