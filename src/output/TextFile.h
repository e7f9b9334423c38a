// Text files the program writes for viewing, printing and other programs (lists, CSV,
// saved lines): Windows-1252 with CR LF line ends. The reader takes those and also
// UTF-8 (with or without a byte-order mark) and bare LF.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace invarro::output {

// The work file through which a text list reaches the list viewer, in the data folder.
inline constexpr const char* kTextListFile = "TXTTEMP.TXT";
// Text list lines are cut to this many characters.
inline constexpr std::size_t kTextListWidth = 85;

// Writes UTF-8 lines as Windows-1252 (characters it lacks become "?"), each ended by
// CR LF. A CR or LF inside a line becomes a blank, so one line stays one line. The
// file is replaced and readable by its owner only. On failure returns false and
// describes it in *error.
bool WriteAnsiLines(const std::filesystem::path& file, const std::vector<std::string>& lines,
                    std::string* error = nullptr);

// Reads a text file into UTF-8 lines; CR LF, LF and a lone CR end a line, and a line end
// at the very end of the file does not start another line. Nothing (and *error) when
// the file cannot be read.
std::optional<std::vector<std::string>> ReadTextLines(const std::filesystem::path& file,
                                                      std::string* error = nullptr);

// Writes a text list to the work file in folder, each line cut to kTextListWidth
// characters.
bool WriteTextList(const std::filesystem::path& folder, const std::vector<std::string>& lines,
                   std::string* error = nullptr);

}  // namespace invarro::output
