// The small files beside the data files: the company in use, the start-up password,
// the payment-terms list and the two document colours.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/Records.h"
#include "platform/Prompter.h"

namespace invarro::data {

inline constexpr std::string_view kLastCompanyFile = "LastCo.Dat";
inline constexpr std::string_view kPasswordFile = "kr1confg.dat";
inline constexpr std::string_view kTermsFile = "KRTERMS.DAT";
inline constexpr std::string_view kShadeColourFile = "Shadeclr.fnt";
inline constexpr std::string_view kBoxColourFile = "InvBoxClr.fnt";

// "LastCo.Dat": one 2736-byte copy of the company record in use. Nothing when the file
// is missing or shorter than a record.
std::optional<CompanyRecord> ReadLastCompany(const std::string& folder);
bool WriteLastCompany(const std::string& folder, const CompanyRecord& company,
                      std::string* error = nullptr);

// "kr1confg.dat": the start-up password as one text(20) in a 21-byte file. Nothing when
// there is no file (no password).
inline constexpr int kPasswordWidth = 20;
std::optional<std::string> ReadPassword(const std::string& folder);
// Writes the password cut to 20 characters.
bool WritePassword(const std::string& folder, std::string_view password,
                   std::string* error = nullptr);
bool RemovePassword(const std::string& folder);

// "KRTERMS.DAT": one payment-terms wording per line, shared by all companies.
inline constexpr int kTermWidth = 35;
const std::vector<std::string>& BuiltInTerms();
struct TermsList {
    bool ok = false;
    bool created = false;  // the file was missing and has been written with the built-in list
    std::vector<std::string> terms;
    std::string error;
};
// The terms sorted. A missing file is created with the built-in list; a file that
// exists but cannot be read is an error (with the built-in list in terms when the file is
// not a terms file at all: not a regular file, or larger than a side file may be).
TermsList LoadTerms(const std::string& folder);
// Replaces the file with the list as it stands.
bool SaveTerms(const std::string& folder, const std::vector<std::string>& terms,
               std::string* error = nullptr);
// Alphabetical order, letter case ignored.
void SortTerms(std::vector<std::string>& terms);
// Adds a term at its place in a sorted list.
void InsertTerm(std::vector<std::string>& terms, const std::string& term);

// "Shadeclr.fnt" and "InvBoxClr.fnt": one 48-byte font setting of which only the colour
// is used. A missing or short file is black (0), and so is one that is not a side file.
int32_t ReadColourFile(const std::string& path);
bool WriteColourFile(const std::string& path, int32_t colour, std::string* error = nullptr);

// The side files every person working in the same books shares (the payment terms and the
// two colours): with the books on a server they are kept there, not in the folder.
inline constexpr std::string_view kSharedSideFiles[] = {kTermsFile, kShadeColourFile,
                                                        kBoxColourFile};
// Where shared side files are kept when not in the folder; the side that mounts the books on
// a server supplies it. covers says whether a path is kept there; read gives nothing for a
// file not there (with *error set when it could not be read).
// The pictures of the folder that companies show (".bmp": logos, main window backgrounds) are
// shared as well; they may be larger than other side files.
bool IsSharedPictureName(std::string_view name);
inline constexpr std::size_t kPictureLimit = std::size_t(32) << 20;
struct SharedSideFileStore {
    std::function<bool(const std::string& path)> covers;
    // The names of the pictures kept there for a folder.
    std::function<std::vector<std::string>(const std::string& folder)> pictures;
    std::function<std::optional<std::string>(const std::string& path, std::string* error)> read;
    std::function<bool(const std::string& path, std::string_view bytes, std::string* error)> write;
};
void SetSharedSideFileStore(SharedSideFileStore store);
// Whether a path is kept in the store rather than in the folder.
bool SharedSideFileKeptElsewhere(const std::string& path);
// A side file's bytes, wherever it is kept; nothing when it is not there.
// The names of the shared side files of a folder: the fixed ones, and the pictures kept
// elsewhere for it.
std::vector<std::string> SharedSideFilesOf(const std::string& folder);
std::optional<std::string> ReadSharedSideFile(const std::string& path,
                                              std::string* error = nullptr);
bool WriteSharedSideFile(const std::string& path, std::string_view bytes,
                         std::string* error = nullptr);

// The pictures a company names (logo, background) that are in the folder go to the server
// its books are on, so that everyone working there sees them; nothing to do for books in
// files, for names of files outside the folder, or for names that are not pictures.
bool ShareCompanyPictures(const std::string& folder, const std::vector<std::string>& names,
                          std::string* error = nullptr);

// The settings and side files of the folder that are there but are not read, because they
// are not regular files or are larger than a side file may be: one line each, saying
// which and why. The programs tell this at start and go on with the defaults.
std::vector<std::string> UnreadSideFiles(const std::string& folder);
// The message the desktop program shows for them (warning, OK).
platform::Message UnreadSideFilesMessage(const std::vector<std::string>& problems);

}  // namespace invarro::data
