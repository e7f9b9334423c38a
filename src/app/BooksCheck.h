// The check of a company's books: the structure of every fileblock, every invoice's
// amounts against its lines (or memo amounts) and its payments, the paid flags, every
// customer's balance and aging against its open transactions, the company's receivables
// against its customers, and lines and memos without an invoice. The repair rewrites only
// what is derived from the transactions (paid flags, customer balances and aging, the
// company's receivables); it never adds, deletes or changes an amount of a transaction.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/Session.h"
#include "platform/Clock.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"

namespace invarro::app {

enum class ProblemKind {
    Structure,        // a data or index file is damaged
    Unreadable,       // a file could not be opened or read
    InvoiceAmounts,   // net, tax or total differ from what the lines give
    InvoiceBalance,   // balance due is not total - paid - payments
    PaidFlag,         // paid flag or paid date disagree with the balance due
    CustomerBalance,  // a customer's balance is not the sum of its open receivables
    CustomerAging,    // a customer's four aging amounts are not those of its receivables
    Receivables,      // the company's receivables are not the sum of its customers
    OrphanLine,       // a line record without its invoice
    OrphanMemo,       // a memo record without its invoice
    UnknownCustomer,  // a receivable whose customer is not on file
};
// A short word for the kind, printed in front of the problem ("total", "bucket", ...).
std::string_view ProblemWord(ProblemKind kind);
// Whether the repair rewrites what this kind of problem is about.
bool IsDerived(ProblemKind kind);

struct BooksProblem {
    ProblemKind kind;
    std::string text;
    std::string line() const;  // the word, ": " and the text
};

struct BooksCheck {
    std::vector<BooksProblem> problems;
    int invoices = 0;
    int customers = 0;
    int lines = 0;
    int memos = 0;
    bool stopped = false;  // the user stopped the check before its end
    bool clean() const { return problems.empty() && !stopped; }
    bool has(ProblemKind kind) const;
};

// Checks the books of the company in use (session). Only reads: each file is read in
// record order, the transaction file twice, and each record is looked at once. Aging
// amounts are taken as right when they are those of the last aging date or of today.
// The progress window shows the phase and the records read; the user may stop the check.
BooksCheck CheckBooks(const Session& session, const platform::Clock& clock,
                      platform::Prompter& prompter, platform::Progress& progress);

struct BooksRepair {
    std::vector<std::string> changes;  // one line per field rewritten
    bool ok = true;
    std::string error;
};
// Rewrites the paid flags and dates from the balances due, then recomputes every
// customer's balance and aging and the company's receivables through the main window's
// aging run as of today. Reports what changed.
BooksRepair RepairBooks(Session& session, const platform::Clock& clock,
                        platform::Prompter& prompter, platform::Progress& progress);

}  // namespace invarro::app
