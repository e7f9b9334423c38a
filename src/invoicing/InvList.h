// The texts the invoice manager makes from transaction records: the six display orders,
// the browser's header and rows, the customer filter, the quick view of one record, and
// the selection and dialog texts of batch printing.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/Dates.h"
#include "data/ListColumns.h"
#include "data/Records.h"
#include "storage/Engine.h"

namespace invarro::invoicing {

// The transaction type of a record: the first character of its trimmed TransType, upper
// case; 0 when the field is empty.
char TypeCode(const data::InvoiceRecord& invoice);

// ------------------------------------------------------------------ display orders

struct DisplayOrder {
    int keyNo;
    std::string_view menuText;
};
// Keys 1 to 6 of the invoice file, in menu order.
inline constexpr std::array<DisplayOrder, 6> kDisplayOrders = {{
    {1, "By Invoice &Number"},
    {2, "By &Customer Number"},
    {3, "By Invoice &Date"},
    {4, "By &Key Code"},
    {5, "By &Transaction Type"},
    {6, "By Date &Paid"},
}};
// The order the manager opens on: by invoice date.
inline constexpr int kOpeningKey = 3;

// ------------------------------------------------------------------ rows

// The browser's header line and the row of one record, each padded to 128 characters.
// The manager list's columns, each with the key of its display order where it has one.
std::vector<data::ListColumn> ManagerColumns();
std::string ManagerHeader();
std::string ManagerRow(const data::InvoiceRecord& invoice);
// A header whose total, balance due or paid amount is empty: shown as "DELETE ME" /
// "BAD RECORD" so that the user can find and delete it.
bool IsBadRecord(const data::InvoiceRecord& invoice);

// The help page of the manager.
inline constexpr std::string_view kInvoiceManagerHelp = "Invoice Manager";

// ------------------------------------------------------------------ status texts

inline constexpr std::string_view kIdleMessage = "Right-click mouse or select from menu bar.";
inline constexpr std::string_view kTimerRunning = "Timer running...";
inline constexpr std::string_view kTimerOff = "Timer off";
inline constexpr std::string_view kFilterClosedLabel = "Filter Closed";
inline constexpr std::string_view kFilterOnMessage = "Click filter button again to clear filter.";
inline constexpr std::string_view kFilterOffMessage = "Filter closed.";
// "Records: 12"
std::string RecordCountText(int32_t count);
// "Filtering Customer#: 1001"
std::string FilterLabelText(std::string_view custNo);
// "Deleted memo invoice 12." or "Deleted invoice 12 containing 3 line item(s)."
std::string DeletedMessage(std::string_view invNo, bool memo, int lines);

// ------------------------------------------------------------------ customer filter

// The customer number the filter keeps: the record's trimmed customer number.
std::string FilterNumber(const data::InvoiceRecord& invoice);
// Whether the record belongs to the chosen customer (trimmed numbers compared).
bool FilterAccepts(const data::InvoiceRecord& invoice, std::string_view chosen);
// How many records of the invoice file the filter on the chosen customer shows (the
// customer-number key is walked; each record is compared as the filter compares it).
int32_t FilteredRecordCount(storage::Fileblock* invoices, std::string_view chosen);

// ------------------------------------------------------------------ quick view

// The wording of the record's type ("I - Regular Invoice", "R - Repeat Billing Master
// Record (Created: 3)"); a code the program does not know is shown as it stands.
std::string TypeWording(const data::InvoiceRecord& invoice);
// What the view adds after the number: "(Product Invoice)", "(Memo Invoice)", "(Product
// Quote)", "(Memo Quote)", "(Payment Record)" or "(Applied Deposit)".
std::string StyleWording(const data::InvoiceRecord& invoice);

struct QuickView {
    std::string dateCaption;    // "Invoice Date:" or "Quote Date:"
    std::string numberCaption;  // "Invoice Number:" or "Quote Number:"
    std::string totalCaption;   // "Invoice Total:" or "Quote Total:"
    std::string date;           // the invoice date; a master adds " - Next Due: " and its date
    std::string number;
    std::string styleWording;
    std::string typeWording;
    std::string total;
    std::string paid;  // a Z invoice: total minus balance due
    std::string balance;
    bool showPaidAndBalance = true;  // hidden for quotes
    std::string printed;             // "", "*Printed*" or "E-Mailed: " and the stamp

    bool customerFound = false;
    std::string customerName;
    std::string customerNo;
    std::string customerBalance;
    std::string lastPayDate;
    std::string lastInvNo;
    std::string phone;
    std::array<std::string, 4> agingCaptions;
    std::array<std::string, 4> aging;
};

// The view of one record; customer is the record's customer when it was found.
QuickView MakeQuickView(const data::InvoiceRecord& invoice,
                        const std::optional<data::CustomerRecord>& customer,
                        const data::CompanyRecord& company);

// The master's next due date as the company shows dates (it is stored mm/dd/yyyy).
std::string NextDueShown(const data::InvoiceRecord& master, data::DateOrder order);

// ------------------------------------------------------------------ batch print

// Whether the record is one batch printing prints: not printed yet and of type G, I, M
// or Z.
bool WantsBatchPrint(const data::InvoiceRecord& invoice);
// The numbers of all such records, in record-number order. Stops at a record that cannot
// be read (ok false then).
struct BatchSelection {
    std::vector<std::string> numbers;
    bool ok = true;
};
BatchSelection BatchPrintNumbers(storage::Fileblock* invoices);

inline constexpr std::string_view kNoInvoicesToPrint = "There are no invoices to print.";
inline constexpr std::string_view kBatchTitle = "Batch Print";
inline constexpr std::string_view kBatchCaption = "Batch Print Invoices";
inline constexpr std::string_view kBatchHelp = "Print/Batch-Print Invoice";
inline constexpr std::string_view kBatchNumberMissing = "You need to specify the number to print.";
inline constexpr std::string_view kBatchNumberTitle = "Print Number";

// The three lines and the button of the batch dialog for count records.
struct BatchTexts {
    std::array<std::string, 3> lines;
    std::string button;
};
BatchTexts BatchDialogTexts(int count, bool eMail, const data::CompanyRecord& company);
// How many of the found records to print, from the typed number: nothing when the field
// is empty; never more than were found and never below 0.
std::optional<int> BatchCount(std::string_view typed, int found);

}  // namespace invarro::invoicing
