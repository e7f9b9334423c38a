// Repeat billing: an invoice turned into a master (type R) that generates a copy (type G)
// every so many months or days. The schedule arithmetic, the set-up dialog's state, checks
// and effects, the search for the masters that are due, and the generation run that writes
// each due master's invoice with its lines or memo, advances the master and charges the
// customer and the company's receivables.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/Dates.h"
#include "data/Money.h"
#include "data/Records.h"
#include "invoicing/InvEdit.h"
#include "platform/Prompter.h"
#include "storage/Engine.h"

namespace invarro::invoicing {

// ------------------------------------------------------------------ schedule

enum class RepeatUnit { Months, Days };

// date + n months: the day stays, cut to the last day of the target month. Nothing when
// the result lies beyond the year 9999.
std::optional<data::Date> AddMonths(const data::Date& date, int months);
// The next creation date one interval after `from`.
std::optional<data::Date> NextCreationDate(const data::Date& from, RepeatUnit unit, int every);

// NextDue is always stored month first ("mm/dd/yyyy"), whatever the company's date order.
std::string StoredNextDue(const data::Date& d);
std::optional<data::Date> ParseNextDue(std::string_view stored);

// The generated invoice number: the trimmed master number + "G" + the count.
std::string GeneratedNumber(std::string_view masterNo, int count);
// A count as stored in RepeatCreated / RepeatEvery: empty or unreadable counts as 0.
int StoredCount(std::string_view text);

inline constexpr int kMaxGenerated = 999;
inline constexpr int kInvoiceNumberWidth = 9;

// ------------------------------------------------------------------ set-up

inline constexpr std::string_view kSetupCaption = "Repeat Invoice Setup";
inline constexpr std::string_view kSetupHelp = "Repeat Billing Setup";
inline constexpr std::string_view kPaymentActivity =
    "This invoice has payment activity. To create a repeat billing, the invoice must not have "
    "any payments.";
inline constexpr std::string_view kWrongType =
    "This record must be Type Code \"I\" or \"R\" in order to setup or change repeat billing "
    "information.";
inline constexpr std::string_view kNumberTooLong =
    "The invoice number is too long. A repeat billing invoice number must be 5 or less "
    "characters. Please change the invoice number and try again.";
inline constexpr std::string_view kNeedInterval =
    "You must enter the number of days/months in order to generate invoices.";
inline constexpr std::string_view kIntervalNotNumber =
    "You must enter a valid NUMBER of days/months.";
inline constexpr std::string_view kInvalidStartDate = "You must enter a valid date.";

// The refusals before the set-up dialog opens, shown in their order. True when it may open.
bool CheckRepeatSetup(const data::InvoiceRecord& record, platform::Prompter& prompter);

// What the set-up dialog shows and the user changes.
struct RepeatSetupEntry {
    std::string invoiceLabel;   // "Invoice Number: " + number
    std::string dateLabel;      // the invoice date in the company's order
    std::string customerLabel;  // "Short Name: ... Customer#: ..."
    bool boxEnabled = true;     // "Generate Invoices from this master record"
    bool generate = false;      // the box ticked
    bool panelVisible = true;   // count below 1: the box panel; else Label8
    std::string countLabel;     // "Invoices Generated to Date: " + count
    std::string every = "1";
    RepeatUnit unit = RepeatUnit::Months;
    std::string nextDate;  // in the company's order
    bool intervalEnabled() const { return generate; }
};
RepeatSetupEntry SetupEntryFor(const data::InvoiceRecord& record, data::DateOrder order);

enum class SetupFocus { None, Every, NextDate };
// The checks of OK in their order; the first failure is shown and gives the field.
SetupFocus CheckSetupEntry(const RepeatSetupEntry& entry, data::DateOrder order,
                           platform::Prompter& prompter);

struct SetupResult {
    int32_t recNo = 0;
    data::InvoiceRecord record;  // the master as written
    bool converted = false;      // an invoice became a master
    int lines = 0;               // its lines restyled "R"
    std::string generated;       // the first invoice, when it was generated with the set-up
};

// What the set-up will do, said before it is done. An invoice that becomes a master leaves
// the receivables until its first generated invoice takes its place; that invoice is
// generated on the next scheduled date, or, when that date is today or past, at once with
// the set-up if the user wants.
struct SetupNotice {
    bool converts = false;  // an invoice becomes a master (else a master's schedule changes)
    bool dueNow = false;    // the first invoice's date is today or past
    std::string firstNumber;
    std::string text;
};
SetupNotice SetupNoticeFor(const data::InvoiceRecord& record, const RepeatSetupEntry& entry,
                           data::DateOrder order, const data::Date& today);
enum class SetupChoice { Cancel, SetUp, SetUpAndGenerate };
// Shows the notice of an invoice that becomes a master and asks: Yes/No when the first
// invoice lies ahead (No: Cancel), Yes/No/Cancel when it is due (Yes: generate it now).
// A master whose schedule changes is set up without a question.
SetupChoice ConfirmRepeatSetup(const SetupNotice& notice, platform::Prompter& prompter);
// Writes the set-up on record recNo (read as asRead when the dialog opened): type "R", the
// interval, unit, count and next date, balance "0.00". An invoice that becomes a master
// stops being a receivable: its open amount leaves the customer's balance and aging and
// the company's receivables, and its lines get line type "R". Throws InvoiceError with
// the user's text when the master cannot be written; then nothing moved.
SetupResult ApplyRepeatSetup(SaveFiles& files, int32_t recNo, const data::InvoiceRecord& asRead,
                             const RepeatSetupEntry& entry, data::DateOrder order,
                             platform::Prompter& prompter);

// ------------------------------------------------------------------ search

inline constexpr std::string_view kWizardCaption = "Repeat Billing Wizard";
inline constexpr std::string_view kNoneDue =
    "There are no repeat billings due through the date you selected.";
inline constexpr std::string_view kNoneDueTitle = "Repeat Billings";
inline constexpr std::string_view kDefaultReference = "Monthly Service";

struct DueMaster {
    int32_t recNo = 0;
    std::string number;  // trimmed
    std::string shortName;
    data::Money total;
    std::string nextDue;  // in the company's order
    std::string custNo;
    int created = 0;
};
// The masters (type R, found through key 5) whose next date is on or before `through`,
// in key order.
std::vector<DueMaster> FindDueMasters(storage::Fileblock* invoices, const data::Date& through,
                                      data::DateOrder order);
// The column heading and one line of the preview list.
std::string DueListHeader();
std::string DueListLine(const DueMaster& m);
// "There are n invoices selected totaling x."
std::string DueSummary(const std::vector<DueMaster>& due);
// "Last generated invoices were dated: " + the company's last run date.
std::string LastRunText(const data::CompanyRecord& company);

// ------------------------------------------------------------------ generation

inline constexpr std::string_view kHeaderAddFailed = "Adding repeat header failed";
inline constexpr std::string_view kMemoMissing = "Memo data not added";
inline constexpr std::string_view kMemoAddFailed2 = "Adding memo record failed";
inline constexpr std::string_view kDetailAddFailed = "Repeat detail add record failed";
inline constexpr std::string_view kCompleteTitle = "Operation Complete!";

struct GenerationRun {
    std::string invoiceDate;  // the dialog's invoice date, company order
    std::string reference;    // "Billing Reference/Comments:"
};

struct GeneratedInvoice {
    std::string master;
    std::string number;
    data::Money total;
};
struct GenerationOutcome {
    std::vector<GeneratedInvoice> written;
    std::vector<std::string> skipped;  // masters left as they were, with the reason shown
    // Masters whose invoice of this date is on file already: a run stopped after them is
    // run again.
    std::vector<std::string> alreadyBilled;
    int monthly = 0;
    int daily = 0;
    data::Money sum;
    std::string message;  // the closing box's text
};

// Generates one invoice per listed master, in list order, calling `step` after each.
// Per master: the generated number is checked first (at most 9 characters, at most 999
// invoices per master, not on file yet); the invoice is written; its memo and lines
// (those whose number equals the master's exactly) are copied; only then is the master's
// schedule advanced, and only a written invoice is charged to its customer. Afterwards
// the company's receivables grow by what was charged and its last run date becomes the
// invoice date. Failures are shown and the run goes on with the next master.
GenerationOutcome GenerateRepeatInvoices(SaveFiles& files, const std::vector<DueMaster>& due,
                                         const GenerationRun& run, data::DateOrder order,
                                         platform::Prompter& prompter,
                                         const std::function<void(int done)>& step = {});

// The set-up of an invoice (ApplyRepeatSetup) with its first invoice generated in the same
// posting, dated run.invoiceDate with run.reference: either both are written or neither.
// Throws InvoiceError when either cannot be; nothing moved then.
SetupResult ApplyRepeatSetupAndGenerate(SaveFiles& files, int32_t recNo,
                                        const data::InvoiceRecord& asRead,
                                        const RepeatSetupEntry& entry, data::DateOrder order,
                                        platform::Prompter& prompter, const GenerationRun& run);

// The closing message: n invoices, the monthly and the daily count.
std::string GenerationMessage(int invoices, int monthly, int daily);

}  // namespace invarro::invoicing
