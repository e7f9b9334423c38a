// The company manager without its window: opening the company file, the list's header and
// rows, the commands (add, edit, delete with the company's files, the printable company
// list), the copy of the customer or product file to another company, and the company the
// main window takes over when the manager closes with OK.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/ListColumns.h"
#include "data/Records.h"
#include "platform/Clock.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"
#include "storage/Engine.h"

namespace invarro::app {

inline constexpr std::string_view kCompanyManagerTitle = "Company Manager";
inline constexpr std::string_view kCompanyManagerHelpTopic = "Company Manager";
inline constexpr std::string_view kCopyHelpTopic = "Copy Customers and Products";

// Browse keys of the company file.
inline constexpr int kCompanyByNumber = 1;
inline constexpr int kCompanyByName = 2;

// Opens the company fileblock of the data folder: a missing one is created after "I am
// going to create a new, empty company file.", a defective index is rebuilt when the user
// agrees (progress window "Companies", "Working..."). Null after "Unable to open company
// database"; the program then ends.
storage::Fileblock* OpenCompanyFile(const std::string& folder, platform::Prompter& prompter,
                                    platform::Progress& progress);

// The list's header line and a company's row, padded to 128 characters.
// The company list's columns (keys 1 by number, 2 by name).
std::vector<data::ListColumn> CompanyListColumns();
std::string CompanyListHeader();
std::string CompanyRowText(const data::CompanyRecord& company);
// "Companies: " and the count.
std::string CompanyCountText(int32_t count);

// The company whose key 1 matches the number (trimmed, upper case), with its record number.
struct CompanyAt {
    int32_t recNo = 0;
    data::CompanyRecord record;
};
std::optional<CompanyAt> FindCompanyByNumber(storage::Fileblock* companies,
                                             std::string_view number);

// Two numbers name the same company: equal once blanks are removed (and leading zeros,
// when both are numbers).
bool SameCompanyNumber(std::string_view a, std::string_view b);

// "&Add": stores the new company. Raises data::OperationError "Add operation failed".
int32_t AddCompany(storage::Fileblock* companies, const data::CompanyRecord& company,
                   platform::Prompter& prompter);
// "&Edit": writes the edited company over the company as read. Raises "Modify Company
// failed"; false when the record had been changed elsewhere (the user has been told).
bool ChangeCompany(storage::Fileblock* companies, int32_t recNo, const data::CompanyRecord& asRead,
                   const data::CompanyRecord& edited, platform::Prompter& prompter);

// The files of a company, prefix P, C, N, I and M with ".DAT" and ".IX".
std::vector<std::string> CompanyFileNames(const std::string& folder, std::string_view prefix);
// Deletes them; missing files are ignored. Returns the names that could not be deleted.
std::vector<std::string> DeleteCompanyFiles(const std::string& folder, std::string_view prefix);

enum class DeleteOutcome {
    PasswordRefused,  // the password check failed
    InUse,            // the company in use: refused with its message
    Declined,         // the user said No
    Deleted,          // the record and the company's files are gone
};
// "&Delete": the password check, the refusal of the company in use, the confirmation, then
// the record (raises "Delete operation failed") and the company's files. Files that cannot
// be deleted are named in a message. On a server the record and the company's fileblocks go
// in one transaction: a fileblock that cannot be removed raises the reason, and nothing was
// changed.
DeleteOutcome DeleteCompany(const std::string& folder, storage::Fileblock* companies, int32_t recNo,
                            const data::CompanyRecord& company, std::string_view numberInUse,
                            const std::function<bool()>& passwordCheck,
                            platform::Prompter& prompter);

// "Company &List": the question of the order; nothing when the user cancels.
struct CompanyListOrder {
    int keyNo = kCompanyByName;
    std::string title;  // "Company List by Number" or "Company List by Name"
};
std::optional<CompanyListOrder> AskCompanyListOrder(platform::Prompter& prompter);
// The lines of the list, each cut to 85 characters, in the order of key keyNo.
std::vector<std::string> CompanyListLines(storage::Fileblock* companies, int keyNo,
                                          const platform::LocalDateTime& now,
                                          platform::Progress& progress);

// ---------------------------------------------------------------------------------------
// Copy to another company.

enum class CopyMode { Customers, Products };  // "C" and "P"

// The dialog's title and its text with the number of the company in use.
std::string CopyDialogTitle(CopyMode mode);
std::string CopyDialogText(CopyMode mode, std::string_view numberInUse);

// The checks of the dialog's OK: a whole number, 1..32000, not the company in use. On a
// failure the message has been shown and the dialog stays open; otherwise gives the
// destination's file-name prefix.
std::optional<std::string> CheckCopyDestination(std::string_view entry,
                                                std::string_view numberInUse,
                                                platform::Prompter& prompter);

enum class CopyOutcome {
    Declined,  // products exist in the destination and the user said No
    Refused,   // the destination has invoices (customers), or could not be checked
    Copied,    // both files copied
    Failed,    // a file could not be copied (told per file)
};
// Copies the e-invoicing records of one kind ('C' customers, 'P' products) from the
// source company's e-invoicing fileblock into the destination's, replacing the
// destination's records of that kind, in one posting. True when there is nothing to copy.
bool CopyEInvoiceRecords(const std::string& folder, char kind, std::string_view sourcePrefix,
                         std::string_view destinationPrefix, platform::Prompter& prompter);
// Copies the customer or product file pair of the company in use over the destination's,
// after the destination checks, with the closing messages. The
// e-invoicing records of what was copied go along (CopyEInvoiceRecords). No fileblock of the
// company in use or of the destination may be open.
CopyOutcome CopyToCompany(const std::string& folder, CopyMode mode, std::string_view sourcePrefix,
                          std::string_view destinationPrefix, platform::Prompter& prompter);

// Copies one file over another through a temporary file beside the destination, so that a
// failed copy leaves the destination as it was.
bool CopyFileReplacing(const std::string& from, const std::string& to, std::string* error);

// ---------------------------------------------------------------------------------------
// What the main window takes over when the manager closes with OK.

struct CompanyManagerResult {
    // "&Set As Default": the number of the highlighted company.
    std::optional<std::string> chosenNumber;
    // The company in use was edited while the manager was open.
    bool inUseEdited = false;
};

// The company that becomes the company in use: the chosen company, or else the company in
// use read again when it was edited. Read from the company fileblock of the folder (which
// must not be open); nothing when there is nothing to take over or it cannot be read.
std::optional<data::CompanyRecord> CompanyAfterManager(const std::string& folder,
                                                       const CompanyManagerResult& result,
                                                       std::string_view numberInUse);

}  // namespace invarro::app
