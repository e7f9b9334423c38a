// Customer statements: one customer's transactions with their amounts, paid amounts and
// balances, the account totals and the customer's aging, assembled once and rendered as
// the window's grid, on the page canvas (printer and PDF) and as the e-mail text; and the
// batch run that selects customers by balance and aging and renders their statements in
// cycles with a pause between them.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/Dates.h"
#include "data/Money.h"
#include "data/Records.h"
#include "output/Canvas.h"
#include "output/InvPrint.h"
#include "output/LabelQueue.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"
#include "storage/Engine.h"

namespace invarro::output {

inline constexpr std::string_view kAccountTotals = "*** Account Totals:";
inline constexpr std::string_view kNoActivity = "There is no activity for this customer.";
inline constexpr std::string_view kStatementHelp = "View/Print/Batch-Print Customer Statements";
inline constexpr std::string_view kSelectionHelp =
    "Statement Selection Options/ Batch-Print Statements";

// One listed transaction.
struct StatementRow {
    std::string sortDate;  // yyyy/mm/dd as stored
    std::string date;      // in the company's date order
    std::string number;
    std::string reference;  // the record's statement note, else the wording of its type
    data::Money total, paid, balance;
    char type = 'I';
};

// What the statement shows, gathered once for every rendering.
struct Statement {
    bool customerFound = false;
    bool readError = false;  // the invoice file could not be read to the end
    std::string custNo;      // trimmed
    std::string name;
    std::array<std::string, 5> address;  // Name and BillAddr1..4
    std::string eMail;
    std::string mailSortCode, custType;
    bool notesOnStatement = false;
    std::string notes;
    data::Money balance;               // the customer's Balance
    std::array<data::Money, 4> aging;  // Age0to30, Age31to60, Age61to90, AgeOver90
    bool unpaidOnly = false;
    std::vector<StatementRow> rows;  // by date, then by invoice number
    data::Money totalSum, paidSum, balanceSum;

    bool hasActivity() const { return !rows.empty(); }
};

// The statement's period: rows dated before from or after to are left out (either end
// may be open).
struct StatementPeriod {
    std::optional<data::Date> from, to;
    bool contains(const std::string& sortDate) const;
};

struct StatementFiles {
    storage::Fileblock* customers = nullptr;
    storage::Fileblock* invoices = nullptr;
};

// Assembles the statement of the customer with this number: every record of the customer
// on invoice key 2 (the number compared as the key holds it), quotes and repeat masters
// never (they are not owed), with unpaidOnly only those with a balance due, within the
// period. A type Z row with unpaidOnly shows Total - BalanceDue as its paid amount. Rows
// are ordered by the text of their cells (sort date first), case-insensitively. A label
// queue given (a batch run with the company's "copy to label queue") gets the customer.
Statement BuildStatement(const StatementFiles& files, std::string_view custNo, bool unpaidOnly,
                         const data::CompanyRecord& company, const StatementPeriod& period = {},
                         LabelQueue* batchLabels = nullptr);

// "There are " + n + " records selected."
std::string SelectedCountText(const Statement& s);

// The window's grid: the heading row, one row per transaction and the totals row, seven
// columns (date, number, reference, total, paid, balance, type).
using StatementGridRow = std::array<std::string, 7>;
std::vector<StatementGridRow> StatementGrid(const Statement& s, const data::CompanyRecord& company);

// ------------------------------------------------------------------------ page and PDF

// Draws the statement as one print job titled by StatementJobTitle (or into the PDF file
// target): page
// box, company and customer blocks, statement date and account number, the rows with
// page breaks and repeated headings, the totals, the sales message or note and the aging
// footer. Nothing is drawn over the footer or below it: when the totals do not fit above
// the footer they go onto a new page. False when the canvas could not print.
bool PrintStatement(Canvas& canvas, const Statement& s, const FormContext& form,
                    const data::Date& today, const std::string& target = {});

// The print job's title: "Statement - " and the customer's name (the number when the
// name is blank), so that a queue of statements shows whose each one is.
std::string StatementJobTitle(const Statement& s);
// "Customer-" + number + "Statement" and the PDF file name (that title + ".pdf", safe).
std::string StatementPdfTitle(const Statement& s);
std::string StatementPdfName(const Statement& s);
// Writes the statement into the data folder's "pdf" folder (or the folder given),
// replacing a file of the same name, with the company as author and the file name as
// subject.
PdfOutcome WriteStatementPdf(Canvas& pdfCanvas, const Statement& s, const FormContext& form,
                             const data::Date& today, const std::string& intoFolder = {});

// ------------------------------------------------------------------------ e-mail text

// The complete statement message; sending is left to the mail client.
struct StatementMail {
    std::string from;                     // the company's address
    std::vector<std::string> recipients;  // the customer's addresses, or the company's own
    std::string subject;
    std::vector<std::string> body;
    bool badAddress = false;  // the customer's address is unusable; the company gets it
    // The recipients joined with "," as the mail client takes them.
    std::string recipientText() const;
};
// The statement as a message: to the customer's addresses (the address list rule of
// output/EMail.h), or to the company itself when they are not usable.
StatementMail EmailStatementText(const Statement& s, const data::CompanyRecord& company,
                                 const data::Date& today);

// ------------------------------------------------------------------------ batch

enum class BalanceTest { NonZero, Over30, Over60, Over90 };

struct BatchSelection {
    bool emailMode = false;
    // E-mail mode: skip customers without an address; printer mode: skip those with one.
    bool excludeEmail = true;
    BalanceTest balance = BalanceTest::NonZero;
    bool skipNegative = false;  // "Do not include balances less than zero"
    bool unpaidOnly = true;
    StatementPeriod period;  // customers without a listed row in it are skipped
};

// Whether the customer passes the e-mail, balance and negative-balance tests.
bool TakesCustomer(const data::CustomerRecord& c, const BatchSelection& sel);
// The customer numbers the batch takes, visiting the customers by name (key 1). With a
// period, a customer whose statement lists nothing in it is skipped (invoices needed).
// Nothing when the customer file cannot be read.
std::optional<std::vector<std::string>> SelectStatementCustomers(
    const StatementFiles& files, const BatchSelection& sel, const data::CompanyRecord& company);

// The captions of the selection's balance options: the company's second and third aging
// captions (their day counts when blank) and "Over " + the third day count.
std::array<std::string, 4> BalanceOptionCaptions(const data::CompanyRecord& company);

inline constexpr std::string_view kBatchTitle = "Batch Print - Statements";
// The title of the batch's status window when the statements go to the printer.
inline constexpr std::string_view kPrinterModeTitle = "Printer Mode";
inline constexpr std::string_view kNoStatements =
    "There are no customers with a non-zero balance that meet your aging selection. There are "
    "no statements to print.";
inline constexpr std::string_view kBatchSizeEmpty =
    "You must enter the number of statements to print in this batch.";
inline constexpr std::string_view kBatchCanceled = "Batch job canceled.";

// The batch size as typed: empty is refused (nothing), otherwise clamped to 1..count.
std::optional<int> BatchSize(std::string_view typed, int count);

struct BatchRun {
    std::vector<std::string> customers;
    int batchSize = 1;
    bool emailMode = false;
    bool unpaidOnly = true;
    StatementPeriod period;
};

struct BatchHooks {
    // Prints or mails one statement; false stops the run (the renderer has said why).
    std::function<bool(const Statement&)> render;
    // The customer manager's status line.
    std::function<void(const std::string&)> status;
};

struct BatchOutcome {
    int done = 0;
    bool completed = false;  // every statement went out
    bool canceled = false;   // No at a pause
};

// Runs the statements of the selected customers: the status window while it works, a
// pause with a question after every batchSize statements while customers remain, the
// label queue filled when the company copies batch customers to it. Whatever way it
// ends, the status window is closed and batch mode is off again.
BatchOutcome RunStatementBatch(const StatementFiles& files, const BatchRun& run,
                               const data::CompanyRecord& company, LabelQueue* labels,
                               platform::Prompter& prompter, platform::Progress& progress,
                               const BatchHooks& hooks);

// Whether a batch run is under way (the label queue side effect belongs to it).
bool StatementBatchActive();

// The completion: LastBatchStmntDate set to today's short date in the company file
// (read, change, rewrite) and in memory. False when the company file could not be
// written; memory is then unchanged.
bool StoreLastBatchDate(const std::string& folder, data::CompanyRecord& company,
                        const data::Date& today, platform::Prompter& prompter);

}  // namespace invarro::output
