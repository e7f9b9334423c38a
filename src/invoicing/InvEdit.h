// The invoice editor's logic: what a new or edited invoice starts with, the commands on
// the line grid, customer and product choices, the checks on OK in their order, the
// saved-lines files, the work timer, and saving a new invoice or an edit with the
// customer's balance and aging, the company's receivables and invoice numbering.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "data/Dates.h"
#include "data/Fileblocks.h"
#include "data/OperationError.h"
#include "data/Records.h"
#include "invoicing/Totals.h"
#include "output/LabelQueue.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "storage/Engine.h"

namespace invarro::invoicing {

// A record operation of a save failed; the text is the one the user sees.
class InvoiceError : public data::OperationError {
  public:
    using data::OperationError::OperationError;
};

inline constexpr std::string_view kAddFailed = "Add operation failed";
inline constexpr std::string_view kModifyFailed = "Modify operation failed";
inline constexpr std::string_view kDetailAdd1Failed = "detail add 1 failed.";
inline constexpr std::string_view kDetailAdd2Failed = "detail add 2 failed.";
inline constexpr std::string_view kDetailDeleteFailed = "Detail delete operation failed.";
inline constexpr std::string_view kMemoAddFailed = "memo add operation failed";
inline constexpr std::string_view kMemoReplaceFailed = "memo replace operation failed";
// Said when a proposed number was taken meanwhile; the number follows.
inline constexpr std::string_view kSavedAs = "Saved as invoice ";

inline constexpr const char* kSavedLinesFile = "SAVELINE.SAV";
inline constexpr const char* kSavedMemoFile = "SAVEMEMO.SAV";

// Field widths of the editor.
namespace width {
inline constexpr int kNumber = 9;
inline constexpr int kDate = 10;
inline constexpr int kTerms = 35;
inline constexpr int kStmntNote = 35;
inline constexpr int kNotes = 80;
inline constexpr int kKeyCode = 8;
inline constexpr int kShortName = 10;
inline constexpr int kTaxRate = 6;
inline constexpr int kAmount = 10;
inline constexpr int kMemoDescription = 32;
inline constexpr int kMemoQuantity = 10;
inline constexpr int kMemoText = 1850;
}  // namespace width

enum class EditorMode { New, Edit, EditQuote, EditMaster };

// How the tax switch stands.
enum class TaxSwitch {
    On,      // "Calc. Tax": ticked, enabled
    Off,     // "Tax Calc. OFF": the company does not calculate taxes
    Exempt,  // "Tax Exempt": the customer is tax exempt
};
std::string TaxSwitchCaption(TaxSwitch s);

// The editor's fields as typed (UTF-8).
struct InvoiceEntry {
    std::string number;
    std::string date;
    std::string terms;
    std::string stmntNote;
    std::string notes;
    std::string keyCode;
    std::string net = "0.00";
    std::string tax = "0.00";
    std::string paid = "0.00";
    std::string taxRate;
    bool quote = false;
    bool memo = false;  // "&Memo" chosen rather than "&Line Item"
    bool printWhenDone = false;
    std::string memoDescription;
    std::string memoQuantity = "1";
    std::vector<std::string> memoLines;
    LineGrid grid;
    // The customer chosen (or the invoice's customer when editing).
    bool hasCustomer = false;
    data::CustomerRecord customer;
    bool operator==(const InvoiceEntry&) const = default;
};

// The field a failed check puts the focus on.
enum class Focus {
    None,
    Number,
    Customer,
    Date,
    MemoDescription,
    MemoText,
    Grid,
    TaxRate,
    Net,
    Tax,
    Paid,
    Terms
};

struct EditProblem {
    Focus field = Focus::None;
    int row = 0;     // grid row (Focus::Grid)
    int column = 0;  // grid column (Focus::Grid)
};

// What a product choice brings into a row.
struct ProductChoice {
    std::string code;
    std::string description;
    std::string price;  // as stored, "0.00" form
    bool taxable = true;
};
ProductChoice ChoiceFromProduct(const data::ProductRecord& product);

class InvoiceEditor {
  public:
    // A new invoice: the proposed number and default date, key code "None", the company's
    // default terms, format, print flag, tax switch and rate, every row at its new-row
    // values.
    static InvoiceEditor ForNew(const data::CompanyRecord& company, data::DateOrder order,
                                const data::Date& today);
    // An edit of a stored record with its lines (or memo) and its customer.
    static InvoiceEditor ForEdit(const data::CompanyRecord& company, data::DateOrder order,
                                 const data::InvoiceRecord& record,
                                 const std::vector<data::InvoiceLineRecord>& lines,
                                 const std::optional<data::MemoRecord>& memo,
                                 const std::optional<data::CustomerRecord>& customer);

    InvoiceEntry entry;

    // Whether the entry differs from what it held when the editor began (or when
    // markUnchanged was last called): a changed invoice is not thrown away unasked.
    bool changed() const { return !(entry == unchanged_); }
    void markUnchanged() { unchanged_ = entry; }

    EditorMode mode() const { return mode_; }
    bool isNew() const { return mode_ == EditorMode::New; }
    bool isMaster() const { return mode_ == EditorMode::EditMaster; }
    // The window's caption and its mode label.
    std::string caption() const;
    std::string modeLabel() const;
    // A number holding "G" cannot be edited.
    bool numberEditable() const;
    // The number and total the record had when the edit began ("0" and 0 for a new one).
    const std::string& startingNumber() const { return startingNumber_; }
    // Whether the number is still the one a new invoice was proposed (the company's next
    // number when the editor began): saving then takes the counter's number at that moment,
    // as someone may have taken the proposed one meanwhile.
    bool numberIsProposed() const;
    data::Money startingTotal() const { return startingTotal_; }

    TaxSwitch taxSwitch() const { return taxSwitch_; }
    const std::string& defaultQuantity() const { return defaultQuantity_; }
    const std::string& currencySymbol() const { return currency_; }
    bool companyCalculatesTax() const { return calcTaxes_; }
    data::DateOrder dateOrder() const { return order_; }

    // Recomputes the totals of the current format (line rows or memo amounts).
    const Totals& recalc();
    const Totals& totals() const { return totals_; }
    // The memo's "Tax on ... is ..." label; empty when the company does not calculate tax.
    std::string memoTaxLabel() const;

    // A cell of row r (1..99) was edited: its extension is recomputed, then the totals.
    void cellEdited(int r);
    // The row gets the product's code, description, price and taxable flag; with
    // withDefaultQuantity (product selection) also the company's default quantity, else
    // (product by code) the quantity stays.
    void applyProduct(int r, const ProductChoice& product, bool withDefaultQuantity);
    // "Erase Line": the row back to its new-row values.
    void eraseLine(int r);
    // "Insert Line": rows r..98 move down one (row 99 is lost); row r is new.
    void insertLine(int r);
    // "Add Description comment": the row becomes a comment line keeping its description.
    void makeComment(int r);
    // "Erase All Lines": line mode resets every row; memo mode clears the memo text and
    // sets net, tax and paid to "0.00".
    void eraseAll();
    // Customer selection: fills the customer, its terms when it has any and the tax
    // switch, then warns about the credit limit and a credit hold.
    void chooseCustomer(const data::CustomerRecord& customer, platform::Prompter& prompter);
    // The tax switch is ticked by the user or not (only while it is enabled).
    void setTaxOn(bool on);
    bool taxOn() const { return taxOn_; }

    // Lines were replaced as a whole (saved lines loaded): the totals are recomputed.
    void linesChanged();
    // A stored invoice keeps the lines and tax it was saved with until a line of it
    // changes; from then on its discounts are shared between its taxed and untaxed lines.
    bool sharesDiscounts() const { return shareDiscounts_; }
    // What happened to the invoice being edited that its customer may have seen:
    // "printed", "e-mailed", "paid" (joined by ", "), empty when none.
    const std::string& alreadySent() const { return alreadySent_; }
    // The tax the invoice was stored with (0 for a new one).
    data::Money startingTax() const { return startingTax_; }
    // Whether sharing the discounts changes the tax of the stored lines: true for an
    // invoice saved when a discount of taxed and untaxed lines lowered the tax by all of
    // it.
    bool sharingChangesTax() const { return sharingChangesTax_; }

  private:
    InvoiceEditor(const data::CompanyRecord& company, data::DateOrder order);
    void applyTaxRule();
    // Every change of a line leads here: the discounts are shared from now on.
    void lineEdited();
    TotalsOptions totalsOptions() const;

    InvoiceEntry unchanged_;
    EditorMode mode_ = EditorMode::New;
    data::DateOrder order_ = data::DateOrder::MonthFirst;
    std::string defaultQuantity_;
    std::string currency_;
    bool calcTaxes_ = true;
    bool taxOn_ = true;
    TaxSwitch taxSwitch_ = TaxSwitch::On;
    std::string companyName_;
    std::string companyNo_;
    std::string startingNumber_ = "0";
    std::string proposedNumber_;
    data::Money startingTotal_;
    data::Money startingTax_;
    std::string alreadySent_;
    bool shareDiscounts_ = true;
    bool sharingChangesTax_ = false;
    Totals totals_;
};

// The totals the editor shows when it opens a stored invoice with its lines and customer
// (InvoiceEditor::ForEdit(...).totals(); customer null when it is not on file), without
// building an editor for each: for work that goes through every invoice of a company.
class StoredTotals {
  public:
    explicit StoredTotals(const data::CompanyRecord& company);
    Totals of(const data::InvoiceRecord& record, const std::vector<data::InvoiceLineRecord>& lines,
              const data::CustomerRecord* customer);

  private:
    std::string currency_;
    bool calcTaxes_ = true;
    LineGrid rows_;  // empty between calls
};

// The number of a new invoice: the company's NextInvNo, with date-prefixed numbering
// preceded by the last two digits of the year and the two-digit month of the date.
std::string ProposedInvoiceNumber(const data::CompanyRecord& company, const data::Date& date);
// The date a new invoice starts with: the date of the last invoice saved in this run of
// the program, else today, in the company's date order.
std::string DefaultInvoiceDate(data::DateOrder order, const data::Date& today);
void RememberInvoiceDate(const std::string& date);
void ForgetInvoiceDate();

// The next invoice number after saving `saved`: its whole-number value (read from its 5th
// character on, 5 characters, when numbers are date-prefixed) plus 1, but never below the
// current next number. Nothing (the number stays) when the saved number does not read as
// a whole number or the result would not fit the field.
std::optional<std::string> NextInvoiceNumber(std::string_view current, std::string_view saved,
                                             bool datePrefixed);

// The number as the duplicate check compares it: trimmed, upper-cased, leading zeros
// removed ("012" and "12" are the same number; their lines would share line keys).
std::string NumberForCompare(std::string_view number);
// The invoice records (by record number) whose number is equal to `number` as the
// duplicate check compares them; unreadable records are left out.
std::vector<int32_t> RecordsWithNumber(storage::Fileblock* invoices, std::string_view number);

// What the checks on OK need from outside the window.
struct CheckContext {
    storage::Fileblock* invoices = nullptr;     // for the duplicate check (none: skipped)
    int32_t editedRecNo = 0;                    // the record being edited (0 for a new one)
    std::string folder;                         // where the terms file lives
    std::vector<std::string>* terms = nullptr;  // the terms list (none: not checked)
};

// The checks of the OK button in their order. The first failure shows its message and
// gives the field to focus; a question answered so that the dialog stays open gives
// Focus::None. Nothing when the invoice may be saved.
std::optional<EditProblem> CheckInvoice(InvoiceEditor& editor, const CheckContext& context,
                                        platform::Prompter& prompter);

// Where the editor saves an invoice: the data folder, the company in use (its receivables and
// numbering are kept up to date in the company file and in memory), the open invoice,
// line and memo fileblocks, the label queue and today's date for aging.
struct SaveFiles {
    std::string folder;
    data::CompanyRecord& company;
    storage::Fileblock* invoices = nullptr;
    storage::Fileblock* lines = nullptr;
    storage::Fileblock* memos = nullptr;
    // The customer file when the caller holds it open; none: it is opened for the update.
    storage::Fileblock* customers = nullptr;
    data::Date today;
    output::LabelQueue* labelQueue = nullptr;  // none: customers are not queued
    bool* labelsWaiting = nullptr;
    // The company file when the caller holds it open (a batch run); none: it is opened for
    // each update.
    storage::Fileblock* companies = nullptr;
    std::string prefix() const;
};

struct SaveResult {
    int32_t recNo = 0;
    int lines = 0;       // line records written
    std::string status;  // the manager's panel 1 message
    std::string number;  // the number the invoice was saved under
    // The proposed number had been taken meanwhile: the invoice went under `number`, and
    // the user was told.
    bool renumbered = false;
    // "P&rint when completed" was ticked on a new invoice: the manager prints it next.
    bool printWhenDone = false;
};

// The header of the invoice as the dialog fills it, over base (a new record, or the
// record as read for an edit).
data::InvoiceRecord HeaderFromEditor(const InvoiceEditor& editor, data::InvoiceRecord base);
// The line record of grid row r.
data::InvoiceLineRecord LineRecordFor(const data::InvoiceRecord& header, int r, const LineRow& row,
                                      std::string_view lineStyle);
// The fixed columns of a stored line: quantity (10), description (32), unit price (10),
// taxable flag (1), extension (10). Amounts are stored without separators.
std::string LineTextOf(const LineRow& row);
// A stored line back as a grid row (amounts shown ",0.00" where the grid shows them so).
LineRow RowFromLineRecord(const data::InvoiceLineRecord& line);
// The same, written over row (every column; the strings' room is kept).
void FillRowFromLineRecord(const data::InvoiceLineRecord& line, LineRow& row);

// Saves a new invoice: header, lines (or memo and its single line), customer balance and
// aging, company receivables and numbering, as one posting that is run again when it meets
// a lock. The company's counter is read (and held) first: a proposed number that someone
// took meanwhile is replaced by the next free one and the user is told "Saved as invoice
// N". Throws InvoiceError with the user's text when the header, a line, the customer or the
// memo cannot be written; nothing of the invoice is on file then.
SaveResult SaveNewInvoice(SaveFiles& files, InvoiceEditor& editor, platform::Prompter& prompter);
// Saves an edit of record recNo, read as asRead: header, lines (moved to a changed number),
// memo, customer balance and aging, company receivables.
SaveResult SaveInvoiceEdit(SaveFiles& files, InvoiceEditor& editor, int32_t recNo,
                           const data::InvoiceRecord& asRead, platform::Prompter& prompter);

// ------------------------------------------------------------------ posting
// The balance effects shared by everything that writes or turns receivables: the invoice
// editor, repeat billing and the interest charges.

// A fileblock of the company opened for a short update (created when missing), closed
// when the object goes.
struct ShortOpen {
    storage::Fileblock* fb = nullptr;
    ShortOpen(const std::string& folder, data::FileKind kind, std::string_view prefix,
              platform::Prompter& prompter);
    ~ShortOpen();
    ShortOpen(const ShortOpen&) = delete;
    ShortOpen& operator=(const ShortOpen&) = delete;
};

// The files a run that writes invoices (repeat billing, interest charges) holds open while
// it works: invoices, lines, customers, the company file and, when asked for, memos.
class RunFiles {
  public:
    RunFiles(const std::string& folder, std::string_view prefix, platform::Prompter& prompter,
             bool withMemos);
    // Every file asked for is open.
    bool ok() const;
    SaveFiles saveFiles(data::CompanyRecord& company, const data::Date& today) const;

  private:
    std::string folder_;
    ShortOpen invoices_, lines_;
    std::optional<ShortOpen> memos_;
    ShortOpen customers_;
    ShortOpen companies_;
};
// What the wizards say when RunFiles could not open its files.
inline constexpr std::string_view kRunFilesUnavailable =
    "Unable to open the invoice files of this company.";

// The customer of the number (customer key 2, exact number).
struct FoundCustomer {
    int32_t recNo = 0;
    data::CustomerRecord record;
};
std::optional<FoundCustomer> FindCustomer(storage::Fileblock* customers, std::string_view custNo);

// Changes the customer's balance and aging: `leaving` leaves the bucket of oldDate,
// `entering` enters the bucket of newDate (user dates, aged on files.today), and the
// balance moves by entering - leaving. Optionally the last invoice number and the last
// payment date are set.
struct CustomerPosting {
    data::Money leaving;
    std::string oldDate;
    data::Money entering;
    std::string newDate;
    std::string lastInvNo;        // empty: unchanged
    std::string lastPayDate;      // empty: unchanged
    bool payDateIfLater = false;  // only when the stored one is empty or earlier
};
// Rewrites the customer (files.customers, or the customer file opened for the moment).
// Throws InvoiceError ("Modify operation failed") when it cannot; nothing changed then.
data::CustomerRecord PostToCustomer(SaveFiles& files, std::string_view custNo,
                                    const CustomerPosting& p, data::DateOrder order,
                                    platform::Prompter& prompter);
// The company's record as the company file holds it now; read inside a posting, it stays
// locked until the posting ends (its counters are the ones the posting takes). Throws
// InvoiceError ("Modify operation failed") when it cannot be read.
data::CompanyRecord LockedCompanyRow(SaveFiles& files, platform::Prompter& prompter);
// The company's receivables move by arChange; for a new invoice its next number and last
// invoice number follow savedNumber; `more` sets further fields. Written to the company
// file in one write and, once written, to the company in memory. Throws InvoiceError when
// the company record cannot be written; nothing changed then.
void PostToCompany(SaveFiles& files, data::Money arChange, std::string_view savedNumber,
                   bool newInvoice, platform::Prompter& prompter,
                   const std::function<void(data::CompanyRecord&)>& more = {});

// The stored lines whose InvNo equals number exactly, in line-key-2 order.
std::vector<std::pair<int32_t, data::InvoiceLineRecord>> StoredLines(storage::Fileblock* lines,
                                                                     std::string_view number);
// The memo of exactly this number.
std::optional<std::pair<int32_t, data::MemoRecord>> StoredMemo(storage::Fileblock* memos,
                                                               std::string_view number);

// The customer of an invoice, read from the company's customer file (customer key 2, the
// number exactly); nothing when there is none or the file cannot be opened.
std::optional<data::CustomerRecord> InvoiceCustomer(const std::string& folder,
                                                    std::string_view prefix,
                                                    std::string_view custNo,
                                                    platform::Prompter& prompter);

// Saved-lines files in the data folder.
std::vector<std::string> SavedLinesText(const InvoiceEditor& editor);
bool WriteSavedLines(const std::string& folder, const InvoiceEditor& editor,
                     std::string* error = nullptr);
enum class LoadSaved { Loaded, Missing, Unreadable };
// Loads the file of the editor's format; missing lines and columns read as empty.
LoadSaved LoadSavedLines(const std::string& folder, InvoiceEditor& editor);
// One grid row in the saved-lines layout (row number, code, quantity, description, price,
// taxable flag, extension at columns 1, 4, 15, 26, 59, 70, 72), cut to 85 characters.
std::string SavedRowText(int r, const LineRow& row);
LineRow RowFromSavedText(std::string_view text);

// The work timer: started and stopped in the editor, it keeps running after the editor
// closes, and the invoice manager shows whether it runs.
class WorkTimer {
  public:
    void start(const platform::LocalDateTime& now);
    void stop() { running_ = false; }
    bool running() const { return running_; }
    // Whole seconds since the start.
    int64_t elapsedSeconds(const platform::LocalDateTime& now) const;
    // "hh:mm:ss" of the start time.
    std::string startText() const;
    static std::string ClockText(int64_t seconds);  // "01:02:03"
    static std::string HoursText(int64_t seconds);  // decimal hours "01.034"

  private:
    bool running_ = false;
    platform::LocalDateTime started_;
};
WorkTimer& EditorWorkTimer();

}  // namespace invarro::invoicing
