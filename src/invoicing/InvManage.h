// The invoice manager's record operations: the checks before a record goes to the
// invoice editor, and the deletion of a transaction with its line records and memo and
// its effect on the customer's balance and aging and on the company's receivables.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "data/Records.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "storage/Engine.h"

namespace invarro::invoicing {

inline constexpr std::string_view kDeleteFailed = "Delete operation failed";
inline constexpr std::string_view kDeleteLinesFailed = "Delete detail recs failed";
inline constexpr std::string_view kDeleteMemoFailed = "Memo record deletion failed";

// Where the invoice manager works: the data folder, the company in use (its prefix names
// the files; its receivables total is kept up to date) and the open invoice, line and
// memo fileblocks. The customer and company fileblocks are opened only for the moment
// they are needed, so that windows opened from the manager (the customer picker) can
// open them themselves.
struct InvoiceFiles {
    std::string folder;
    data::CompanyRecord& company;
    storage::Fileblock* invoices = nullptr;
    storage::Fileblock* lines = nullptr;
    storage::Fileblock* memos = nullptr;
    std::string prefix() const;
};

// ------------------------------------------------------------------ edit

// The checks before the editor opens, in their order. Each refusal is shown and gives
// false; the note on a repeat master is shown and the edit goes on; a printed invoice
// asks first. True when the editor may open.
bool CheckBeforeEdit(const data::InvoiceRecord& invoice, const data::CompanyRecord& company,
                     platform::Prompter& prompter);

// A record that received money may not go back into the editor: paid flag "P" and a
// paid amount above zero (a no-charge invoice stays editable).
bool IsPaidItem(const data::InvoiceRecord& invoice);

// Whether the editor lets the user change the record's number: generated numbers (those
// containing "G") stay as they are.
bool InvoiceNumberEditable(std::string_view invNo);

// ------------------------------------------------------------------ delete

// A deposit on account that has been applied to invoices (its T record pays them).
bool IsUsedDeposit(const data::InvoiceRecord& invoice);

struct DeleteOutcome {
    bool deleted = false;          // the header is gone
    bool balancesChanged = false;  // customer and company were updated
    int lines = 0;                 // line records deleted
    bool memo = false;             // a memo invoice
    std::string message;           // the status text ("Deleted invoice 12 containing ...")
};

// Deletes record recNo (the record as the list read it) after every refusal, note and
// confirmation: the header and its keys, then, unless it is a quote or a master, the
// customer's balance and the aging amount of the invoice's age and the company's
// receivables, then the line records and the memo of exactly this number. Refusals and
// a "No" give deleted false. Raises data::OperationError with "Delete operation failed"
// or "Delete detail recs failed" when those deletions fail; a failed memo deletion is
// shown and the rest stands.
DeleteOutcome DeleteInvoice(InvoiceFiles& files, int32_t recNo, const data::InvoiceRecord& invoice,
                            platform::Prompter& prompter, const platform::Clock& clock);

// Deletes every line record whose invoice number is invNo exactly (trimmed, upper case),
// walking the line file's number key. Returns the count; raises data::OperationError
// ("Delete detail recs failed") when a deletion fails.
int DeleteInvoiceLines(storage::Fileblock* lines, std::string_view invNo,
                       platform::Prompter& prompter);
// Deletes the memo record of exactly invNo. True when there was none or it was deleted.
bool DeleteInvoiceMemo(storage::Fileblock* memos, std::string_view invNo,
                       platform::Prompter& prompter);

// The customer with the record's number (customer key 2), read from the customer file
// opened for the moment; nothing when there is no such customer or file.
std::optional<data::CustomerRecord> FindInvoiceCustomer(const InvoiceFiles& files,
                                                        const data::InvoiceRecord& invoice,
                                                        platform::Prompter& prompter);

}  // namespace invarro::invoicing
