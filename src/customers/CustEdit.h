// The customer editor's logic: the entry as typed, its checks on OK in their order, the
// short-name rule, and the add, change (with renumbering of the customer's invoices and
// their lines) and delete of a customer with the messages the user sees.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "data/Records.h"
#include "platform/Prompter.h"
#include "storage/Engine.h"

namespace invarro::customers {

// A record operation failed; the text is the one the user sees ("Add operation failed").
class CustomerError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

inline constexpr std::string_view kAddFailed = "Add operation failed";
inline constexpr std::string_view kModifyFailed = "Modify operation failed";
// Said after saving when the proposed customer number was taken meanwhile.
inline constexpr std::string_view kSavedAsCustomer = "Saved as customer ";
inline constexpr std::string_view kDeleteFailed = "Delete customer failed";

// The widths of the editor's fields.
namespace width {
inline constexpr int kNumber = 8;
inline constexpr int kName = 35;
inline constexpr int kShortName = 10;
inline constexpr int kType = 25;
inline constexpr int kTaxExempt = 1;
inline constexpr int kCreditLimit = 10;
inline constexpr int kTerms = 35;
inline constexpr int kAddress = 35;
inline constexpr int kPhone = 25;
inline constexpr int kMailSortCode = 15;
inline constexpr int kEMail = 50;
inline constexpr int kNotes = 240;
}  // namespace width

// The editor's fields as typed (UTF-8).
struct CustomerEntry {
    std::string number;
    std::string name;
    std::string shortName;
    std::string custType;
    std::string taxExempt;
    std::string creditLimit;
    std::string terms;
    std::array<std::string, 4> bill;
    std::array<std::string, 4> ship;
    std::string phone1;
    std::string phone2;
    std::string mailSortCode;
    std::string eMail;
    std::string notes;
    bool creditHold = false;
    bool notesOnInvoice = false;
    bool notesOnStatement = false;
    // Shown only: the balance as ",0.00".
    std::string balance;
    // The number the editor proposed from the company's counter (empty for an edit). Kept
    // unchanged, it is taken again from the counter when the customer is saved.
    std::string proposedNumber;
};

// What the editor shows when it adds a customer: the company's next customer number and
// default terms, balance and credit limit "0.00", tax exempt "N", all else empty.
CustomerEntry NewCustomerEntry(const data::CompanyRecord& company);
// What it shows when it edits one: the record, the balance as ",0.00", an empty credit
// limit as "0.00".
CustomerEntry EntryFromRecord(const data::CustomerRecord& customer);

// The short name made from a name: a name without a blank gives its first 10
// characters; otherwise its first character and up to 9 characters after the first blank
// ("John Smith" gives "JSmith").
std::string ShortNameFor(std::string_view name);
// Fills an empty short name from the name; a short name already there is kept.
void ApplyShortNameRule(CustomerEntry& entry);

// The number trimmed and upper-cased, as the checks and renumbering compare it.
std::string NumberForCompare(std::string_view number);

enum class EntryField { Number, Name, EMail, CreditLimit };

struct EntryProblem {
    EntryField field;  // the control to focus
    platform::Message message;
};

// An add has no starting number: every customer on file with the number or the name
// entered is a duplicate (a starting number "0" would let a second customer "0" through).
inline constexpr std::string_view kAddStartingNumber = "";

// The checks of the OK button, in their order; the first failure ends them. The short
// name rule is applied on the way. startingNumber is the number the edit began with
// (kAddStartingNumber for an add); customers is the open customer fileblock.
std::optional<EntryProblem> CheckCustomerEntry(CustomerEntry& entry,
                                               std::string_view startingNumber,
                                               storage::Fileblock* customers);

// The record an OK stores: the entry's fields written over base (a new record for an
// add, the record as read for an edit; balances, aging and the last payment and invoice
// are left as base has them).
data::CustomerRecord RecordFromEntry(const CustomerEntry& entry, data::CustomerRecord base);
// A new customer's record: base zero-filled with balance and aging "0.00".
data::CustomerRecord NewCustomerRecord(const CustomerEntry& entry);

// The company's next customer number after adding number: its whole-number value plus 1;
// a number that is not a whole number counts as 0 and gives "1". Nothing when the result
// would not fit the 8-character field (the counter then stays as it is).
std::optional<std::string> NextCustomerNumber(std::string_view number);

// Where the customer logic works: the data folder, the company in use (its prefix names
// the files; its NextCustNo is kept up to date) and the open customer fileblock. A window
// that holds the company's invoice and line files open (the Invoice Manager, the Payment
// Wizard) hands them in: the customer logic then works in them, since a second open of a
// held fileblock is refused.
struct CustomerFiles {
    std::string folder;
    data::CompanyRecord& company;
    storage::Fileblock* customers = nullptr;
    storage::Fileblock* heldInvoices = nullptr;
    storage::Fileblock* heldLines = nullptr;
    std::string prefix() const;
};

// Adds the customer of the (checked) entry and advances the company's next customer
// number in the company fileblock and in memory, in one posting that runs again when it
// meets another program's lock. An entry that kept the proposed number gets the counter's
// number as the company row holds it when the posting runs; when someone took the proposed
// number meanwhile, entry.number is the one saved and "Saved as customer N" is shown. A
// number typed by hand that is on file by then is refused. Returns the new record number;
// throws CustomerError("Add operation failed") when the add fails.
int32_t AddCustomer(CustomerFiles& files, CustomerEntry& entry, platform::Prompter& prompter);

// The company's NextCustNo as its row in the company fileblock holds it now (locked until
// the posting ends when read inside one); nothing when the row cannot be read.
std::optional<std::string> LockedNextCustomerNumber(CustomerFiles& files,
                                                    platform::Prompter& prompter);
// Writes next as the company's NextCustNo: read from the company fileblock, changed and
// written back, and the company in memory refreshed. False when the company fileblock
// cannot be read or written.
bool StoreNextCustomerNumber(const std::string& folder, data::CompanyRecord& company,
                             std::string_view next, platform::Prompter& prompter);

struct RenumberResult {
    bool ok = true;
    int invoices = 0;  // invoice records moved to the new number
    int lines = 0;     // their line records moved with them
};

// Moves every invoice record of customer oldNumber (invoice key 2) to newNumber, and with
// each invoice the line records that carry the old number, so the lines keep belonging to
// the customer. Stops at the first record that cannot be changed. Held invoice and line
// files are used as they are; the others are opened and closed here.
RenumberResult RenumberInvoices(const std::string& folder, std::string_view prefix,
                                std::string_view oldNumber, std::string_view newNumber,
                                platform::Prompter& prompter,
                                storage::Fileblock* heldInvoices = nullptr,
                                storage::Fileblock* heldLines = nullptr);

// "This customer has 3 invoices(s) on file. All have been changed to reflect the new
// customer number."
platform::Message RenumberedMessage(int invoices);

// Saves an edit: the change protocol with the record as read when the edit began, then,
// when the number changed, the renumbering of the customer's invoices and their lines with
// the count message, all as one posting. Throws CustomerError("Modify operation failed")
// when any of it fails: nothing is written then.
RenumberResult ChangeCustomer(CustomerFiles& files, int32_t recNo,
                              const data::CustomerRecord& asRead, const CustomerEntry& entry,
                              std::string_view startingNumber, platform::Prompter& prompter);

// Whether any invoice record (invoice key 2) carries the customer number. A company
// without an invoice file has none. A held invoice file is used as it is.
bool CustomerHasInvoices(const std::string& folder, std::string_view prefix,
                         std::string_view number, platform::Prompter& prompter,
                         storage::Fileblock* heldInvoices = nullptr);

// Deletes the customer after the refusals (a balance due, any invoice on file) and the
// confirmation. True when it was deleted; throws CustomerError("Delete customer failed")
// when the delete fails.
bool DeleteCustomer(CustomerFiles& files, int32_t recNo, const data::CustomerRecord& customer,
                    platform::Prompter& prompter);

}  // namespace invarro::customers
