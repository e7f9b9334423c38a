// Small-file helpers for the side files, the INI file and text lists. Files are created
// readable by their owner only, and a file is replaced whole: the new contents go to a
// temporary file that is renamed over the old one, so a failed write loses nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace invarro::data {

std::string JoinPath(const std::string& folder, std::string_view name);
bool FileExists(const std::string& path);
// The whole file; nothing when it is missing or cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);
// Replaces the file with bytes. On failure the old file is untouched and error says why.
bool ReplaceFile(const std::string& path, std::string_view bytes, std::string* error = nullptr);
// Deletes the file; true when it is gone afterwards.
bool RemoveFile(const std::string& path);

// Text files: read as UTF-8 when they start with its byte-order mark or are valid UTF-8,
// else as Windows-1252; CR LF, LF and a lone CR end a line, and a line end at the very end
// does not start another line. Written in Windows-1252 with CR LF, a line end inside a
// line becoming a blank.
std::vector<std::string> TextLines(std::string_view fileBytes);
std::string TextFileBytes(const std::vector<std::string>& lines);

}  // namespace invarro::data
