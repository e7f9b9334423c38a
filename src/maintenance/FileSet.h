// The files a backup holds: the installation's own files of the mask list
// "*.DAT;*.IX;*.SAV;*.LST;*.LBL;*.RTF;*.BMP" in any letter case, and the program's side
// files that the masks miss ("Shadeclr.fnt", "InvBoxClr.fnt", "invarro.ini"), so that a
// restore brings back the whole installation. Of the data, index and save files only the
// program's own belong: the company file, each company's fileblocks and the side files;
// label lists, label layouts, letters and pictures may have any name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Archive.h"

namespace invarro::maintenance {

inline constexpr std::string_view kFileMasks = "*.DAT;*.IX;*.SAV;*.LST;*.LBL;*.RTF;*.BMP";

// Letter case ignored (ASCII letters), as file names are compared throughout the backup.
bool SameFileName(std::string_view a, std::string_view b);
// The name (no folder part) belongs to the file set.
bool IsFileSetName(std::string_view name);
// The name is the data or index file of a fileblock of the installation: "Company" or a
// company number 1..32000 with one of the letters C, I, N, M, P, E, B (or D, the line file of
// the first version), then ".DAT" or ".IX", in any letter case. base receives the name
// without its extension, dataFile whether it is the data file.
bool IsFileblockFileName(std::string_view name, std::string* base = nullptr,
                         bool* dataFile = nullptr);
// The regular files of the folder that belong to the set, sorted by name; symbolic links
// and folders are left out. Empty when the folder cannot be read.
std::vector<std::string> CollectFileSet(const std::string& folder);

// Why an archive entry may not be restored into the data folder ("" when it may): it must
// be a plain, unencrypted file entry (deflated or stored) with a bare name of the set.
std::string EntryProblem(const platform::ArchiveEntry& entry);
// The first entry that may not be restored, or that repeats the name of an earlier one
// (letter case ignored), with the reason; "" when every entry may be restored.
std::string ArchiveProblem(const std::vector<platform::ArchiveEntry>& entries);

}  // namespace invarro::maintenance
