// Interest and late fees: the wizard's settings kept in the company record, the scan that
// ages the customers as of the invoice date and lists every customer whose charge reaches
// the minimum, the generation of one single-line interest invoice per listed customer with
// its balance, aging, receivables and numbering effects, and the report of the run.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/Dates.h"
#include "data/Money.h"
#include "data/Records.h"
#include "invoicing/InvEdit.h"
#include "platform/Clock.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"

namespace invarro::invoicing {

inline constexpr std::string_view kInterestCaption = "Interest Wizard";
inline constexpr std::string_view kInterestStart = "Enter above options then select scan button...";
inline constexpr std::string_view kScanning = "Scanning...";
inline constexpr std::string_view kNoRecordsFound = "No records found.";
inline constexpr std::string_view kNoRecordsWereFound = "No records were found.";
inline constexpr std::string_view kNoFlatRate = "No flat rate is specified.";
inline constexpr std::string_view kNegativeFlatRate =
    "You should not enter a negative number in the flat rate box.";
inline constexpr std::string_view kFlatRateNotNumber = "The flat rate must be a numeric value.";
inline constexpr std::string_view kInvalidInvoiceDate =
    "You have an invalid invoice date. You can clear the date and then select the calendar "
    "button.";
inline constexpr std::string_view kLateFeeAddFailed = "Add Late Fee Failed.";
inline constexpr std::string_view kInterestLineFailed = "TDtl add failed for interest chgs.";
inline constexpr std::string_view kInterestReportTitle = "Interest Charges Report";
inline constexpr std::string_view kDefaultInterestText = "Interest Charges";

// The wizard's settings as typed.
struct InterestSettings {
    int agingChoice = 0;  // 0, 1, 2: over the first, second or third aging limit
    std::string percent = "1.50";
    std::string minimum = ".10";
    bool flat = false;
    std::string flatRate;
    bool markPrinted = false;
    std::string invoiceDate;  // company order
    std::string notes = std::string(kDefaultInterestText);
    std::string stmntNote = std::string(kDefaultInterestText);
    std::string terms;
};
// The settings kept in the company record (last choice, percentage, minimum, mark
// printed, terms), with the invoice date `today`.
InterestSettings InterestSettingsOf(const data::CompanyRecord& company, const data::Date& today,
                                    data::DateOrder order);
// "Last Interest Invoices: " + the last run date (company offset 1956).
std::string LastInterestRunText(const data::CompanyRecord& company);
// "Over 30 Days" and so on, from the company's three aging limits.
std::string AgingChoiceCaption(const data::CompanyRecord& company, int choice);

// The flat-rate field's check as the user leaves it. Shows the message; false on refusal.
bool CheckFlatRate(std::string_view text, platform::Prompter& prompter);

// The bounds of the settings: interest is a monthly rate above 0 and at most 100 percent
// with at most three decimals, written as digits and a decimal point only; the minimum
// charge is an amount from 0.00 to the 99.99 its field holds; a flat fee is an amount above
// 0 of at most the 999.99 its field holds.
inline constexpr std::string_view kPercentTitle = "Monthly Percentage Rate";
inline constexpr std::string_view kBadPercent =
    "The monthly percentage rate must be a number above 0 and at most 100, with at most three "
    "decimals (for example 1.5).";
inline constexpr std::string_view kMinimumTitle = "Minimum Interest Charge";
inline constexpr std::string_view kBadMinimum =
    "The minimum interest charge must be an amount from 0.00 to 99.99.";
inline constexpr std::string_view kFlatRateTitle = "Flat Rate Amount";
inline constexpr std::string_view kBadFlatRate =
    "The flat rate must be an amount above 0.00 and at most 999.99.";
// The rate as digits with at most one decimal point and three decimals, above 0 and at most
// 100; nothing for anything else (a sign, a comma, a blank inside, a letter).
std::optional<data::Decimal> ParseInterestRate(std::string_view text);
// The rate as the company record keeps it: two decimals, or three when it has them ("1.50",
// "1.125", "100.00").
std::string StoredRateText(data::Decimal rate);

enum class InterestField { Percent, Minimum, FlatRate };
struct InterestSettingsProblem {
    InterestField field;
    std::string title;
    std::string text;
};
// The first setting out of its bounds: the flat fee when it is on, else the percentage and
// the minimum. Nothing when the settings may be used.
std::optional<InterestSettingsProblem> CheckInterestSettings(const InterestSettings& settings);

struct InterestRow {
    std::string name;
    std::string custNo;
    data::Money overdue;
    data::Money charge;   // rounded to cents once; used everywhere
    std::string invoice;  // after generating: the number written (empty: not written)
};
struct InterestScan {
    std::vector<InterestRow> rows;
    data::Money totalOverdue;
    data::Money totalCharge;
    std::string percentUsed;  // the percentage as used ("1.5")
    std::string feeUsed;      // the flat fee as used (",0.00"), empty without one
};

// A customer's overdue amount by the aging choice: the aging amounts beyond the chosen
// limit, at most the customer's balance, and nothing when the balance is not above zero.
// The wizard, the command line and the report all take it from here.
data::Money OverdueOf(const data::CustomerRecord& customer, int agingChoice);
// The charge for an overdue amount: the flat fee, or percent % of it rounded to cents
// half away from zero.
data::Money InterestCharge(data::Money overdue, const InterestSettings& s);

// The company whose customers an interest scan lists, and the aging run the scan begins
// with: ageAsOf ages every customer as of the given day, as the main window's aging run
// does (the company record in memory following it), and is false when that run did not
// end well (it has told the user why).
struct InterestBooks {
    std::string folder;
    std::string prefix;
    data::DateOrder order = data::DateOrder::MonthFirst;
    std::function<bool(const platform::Clock& asOf)> ageAsOf;
};
// Scans the company's customers in number order. The customers are aged as of the invoice
// date first, so the overdue amounts are those of that day. Nothing when a message stopped
// the scan (settings out of their bounds, flat fee of zero, bad date, aging failed, no
// customer file); an empty list has shown "No records were found.".
std::optional<InterestScan> ScanInterest(const InterestBooks& books, InterestSettings& settings,
                                         platform::Prompter& prompter);
// The same scan over an open customer file, without aging first.
InterestScan ScanCustomers(storage::Fileblock* customers, const InterestSettings& settings);

struct InterestOutcome {
    int created = 0;
    data::Money charged;
    std::string lastNumber;
    bool written = false;  // the run is on file (in the posting it joined, when it joined one)
    // Why nothing was written: a charge, a customer's new balance or the company's
    // receivables would not fit their stored fields ("" when the run went ahead).
    std::string refused;
};
// Writes one interest invoice per row (number: the next free plain number + "I"), fills
// each row's invoice number, charges each written invoice to its customer, and stores the
// receivables, numbering, settings and last-run date in the company, all as one posting:
// when any of it cannot be written, the failure is shown, nothing is charged and the
// outcome is empty. Settings out of their bounds, or charges that would not fit the
// invoice's, the customer's or the company's amount fields, write nothing and say why (in
// refused). Throws InvoiceError (nothing written) when the company record cannot be
// written.
InterestOutcome GenerateInterest(SaveFiles& files, InterestScan& scan,
                                 const InterestSettings& settings, data::DateOrder order,
                                 platform::Prompter& prompter);
// "n invoices were created. Would you like to send a report to the printer?"
std::string InterestDoneQuestion(int created);

// The report's lines: title, date, summary line, column heading, one line per row with
// the amounts aligned on the decimal point, and the totals.
std::vector<std::string> InterestReportLines(const InterestScan& scan,
                                             const InterestSettings& settings,
                                             const data::CompanyRecord& company,
                                             const platform::LocalDateTime& now);

}  // namespace invarro::invoicing
