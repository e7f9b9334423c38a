// The review of a company's bank lines, as the Bank Statements window and the bank verbs
// of invarro-cli do it: reading a statement file in the format it is written in, the check
// of its account, storing its new lines, each stored line with what posting it would do
// and why, the user's decision on a line (confirm, choose the customer and invoices by
// hand, ignore) kept in the stored line itself, and the posting of the confirmed lines.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "banking/BankLines.h"
#include "banking/Csv.h"
#include "banking/Match.h"
#include "banking/Statement.h"
#include "data/Dates.h"
#include "data/Records.h"
#include "platform/Prompter.h"

namespace invarro::banking {

// "camt", "ofx", "mt940" or "csv", from what the file holds.
std::string DetectFormat(std::string_view bytes);
// The file's lines in the format (empty: detected); CSV through the mapping. A format
// that is none of the four fails as a whole.
ReadResult ReadStatementFile(std::string_view bytes, std::string format, const CsvMapping& csv);

// Whether a statement's account is the IBAN: the IBAN itself, or the German bank code and
// account number it is made of ("37040044/0532013000").
bool SameAccount(const std::string& account, const std::string& iban);
// The accounts of the lines that are not the IBAN, each once, in file order; none when the
// IBAN is empty.
std::vector<std::string> OtherAccounts(const std::vector<StatementLine>& lines,
                                       const std::string& iban);

// The currency of the company's books: its e-invoice currency or the one its symbol names.
std::string BooksCurrency(const std::string& folder, const data::CompanyRecord& company);

// A proposal in words: "customer 100, invoice 1043 1,082.50 (reference RF..)", or "no
// proposal: <why>".
std::string Described(const Proposal& proposal);

// A confirmed line keeps the invoices it pays in its note: "Pays 1043, 1044"; "Pays" alone
// puts the whole amount on the customer's account. Nothing for a note that is not one.
std::string ConfirmedNote(const std::vector<std::string>& invoices);
std::optional<std::vector<std::string>> ConfirmedInvoices(std::string_view note);

// The payment the chosen invoices of the customer get from the amount with the books as
// they are: each in turn its whole balance due, the last one the amount reaches what is
// left of it (a partial payment), and what is left after all of them on account. Nothing
// (and why) when an invoice is not an open invoice of the customer, is named twice, or the
// amount runs out before it.
struct ChosenPayment {
    std::optional<Proposal> proposal;
    std::string why;
};
ChosenPayment PaymentForChoice(data::Money amount, const std::string& custNo,
                               const std::vector<std::string>& invoices, const MatchBooks& books);

// One stored line as the review shows it.
struct ReviewRow {
    StoredLine stored;
    // What posting it would do: the matching's proposal for a new line, the confirmed
    // payment for a confirmed one; not found for the others.
    Proposal proposal;
    std::string shown;                  // the proposal and why, or what became of the line
    std::string problem;                // why a confirmed line's payment no longer fits the books
    std::optional<StoredLine> returns;  // the posted payment a debit or reversal returns
    // A new line with a proposal may be confirmed; a confirmed one whose payment still
    // fits the books is posted by "Post".
    bool canConfirm() const;
    bool canPost() const;
};

class BankReview {
  public:
    BankReview(std::string folder, data::CompanyRecord& company, platform::Prompter& prompter,
               data::Date today);

    // Reads the stored lines and the books again; false (and why) when a file cannot be
    // opened or read.
    bool refresh(std::string* error = nullptr);
    const std::vector<ReviewRow>& rows() const { return rows_; }
    const ReviewRow* row(int32_t recNo) const;
    const MatchBooks& books() const { return books_; }
    // The open invoices of the customer, oldest first.
    std::vector<OpenInvoice> openInvoices(const std::string& custNo) const;

    // The company's IBAN (compact) and CSV column mapping.
    std::string companyIban() const;
    CsvMapping csvMapping() const;
    bool setCsvMapping(const CsvMapping& mapping, std::string* error = nullptr);

    // Stores the lines read from a statement not yet stored, and reads the review again.
    struct Imported {
        bool ok = false;
        std::string message;  // "3 new lines stored, 1 already on file"
        std::vector<int32_t> added;
    };
    Imported store(const ReadResult& read);

    // The user's decision on a line, written at once; false (and why) when the line does
    // not allow it or the write failed. Each reads the review again.
    bool confirm(int32_t recNo, std::string* why);
    bool choose(int32_t recNo, const std::string& custNo, const std::vector<std::string>& invoices,
                std::string* why);
    bool ignore(int32_t recNo, std::string* why);
    bool reopen(int32_t recNo, std::string* why);  // a confirmed or ignored line is new again

    // Posts every confirmed line, each in one posting of its own with the payment it became:
    // whole or not at all. A line whose payment no longer fits the books goes back to new
    // with the reason.
    struct PostSummary {
        int posted = 0, stale = 0, failed = 0;
        std::vector<std::string> messages;  // one per line not posted
    };
    PostSummary postConfirmed();

  private:
    bool change(int32_t recNo, LineState state, const std::string& custNo, const std::string& invNo,
                const std::string& note, std::string* why);
    std::string prefix() const;

    std::string folder_;
    data::CompanyRecord& company_;
    platform::Prompter& prompter_;
    data::Date today_;
    std::vector<ReviewRow> rows_;
    MatchBooks books_;
};

}  // namespace invarro::banking
