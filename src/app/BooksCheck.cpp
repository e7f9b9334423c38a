#include "app/BooksCheck.h"

#include <map>
#include <optional>
#include <set>

#include "app/Aging.h"
#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/Open.h"
#include "data/Update.h"
#include "invoicing/InvEdit.h"
#include "storage/Verify.h"

namespace invarro::app {

namespace {

using data::Customer;
using data::Invoice;
using data::InvoiceLine;
using data::Memo;
using data::Money;

std::string Key(std::string_view text) {
    return data::UpperText(data::TrimText(text));
}

std::string TypeOf(const data::InvoiceRecord& r) {
    return Key(r.text(Invoice::TransType));
}

// Payment records carry a paid amount against another record of the same number.
bool IsPaymentRecord(const std::string& type) {
    return type == "X" || type == "T";
}

// Records whose amounts come from their lines or memo amounts.
bool HasDocumentAmounts(const std::string& type) {
    return type.empty() || type == "I" || type == "G" || type == "Z" || type == "Q" ||
           type == "R" || type == "M";
}

template <class L>
std::vector<std::pair<int32_t, data::Record<L>>> ReadAll(storage::Fileblock* fb) {
    std::vector<std::pair<int32_t, data::Record<L>>> out;
    if (!fb) return out;
    for (int32_t r = storage::NextUsedRecord(fb, 0); r > 0 && storage::EngineOk;
         r = storage::NextUsedRecord(fb, r)) {
        if (auto rec = data::ReadBusinessRecord<L>(fb, r)) out.emplace_back(r, *rec);
    }
    return out;
}

std::string Amount(Money m) {
    return m.shownText();
}

std::string BucketsText(const AgingBuckets& b) {
    return Amount(b[0]) + " / " + Amount(b[1]) + " / " + Amount(b[2]) + " / " + Amount(b[3]);
}

AgingBuckets StoredBuckets(const data::CustomerRecord& c) {
    return {c.money(Customer::Age0to30), c.money(Customer::Age31to60), c.money(Customer::Age61to90),
            c.money(Customer::AgeOver90)};
}

// The files of the check, opened as the short tasks open them (nothing is created).
struct BookFiles {
    data::ExistingFileblock customers, invoices, lines, memos;
    BookFiles(const Session& s, platform::Prompter& prompter) {
        const std::string prefix = s.companyPrefix();
        data::OpenExisting(customers, s.folder, data::FileKind::Customer, prefix, prompter);
        data::OpenExisting(invoices, s.folder, data::FileKind::Invoice, prefix, prompter);
        data::OpenExisting(lines, s.folder, data::FileKind::InvoiceLine, prefix, prompter);
        data::OpenExisting(memos, s.folder, data::FileKind::Memo, prefix, prompter);
    }
};

// The paid flag and paid date a record should carry, when the record has one to carry.
struct PaidState {
    bool paid = false;
    std::string paidDate;  // the stored date, or the invoice's sort date when none is stored
};
std::optional<PaidState> ExpectedPaidState(const data::InvoiceRecord& r) {
    const std::string type = TypeOf(r);
    if (type == "R" || IsPaymentRecord(type)) return std::nullopt;
    PaidState s;
    s.paid = r.money(Invoice::BalanceDue).isZero();
    const std::string stored = data::TrimmedText(r.text(Invoice::PaidDate));
    // A deposit carries the day it was received as its paid date from the start.
    if (s.paid || type == "D") s.paidDate = stored;
    if (s.paid && s.paidDate.empty()) s.paidDate = data::TrimmedText(r.text(Invoice::SortDate));
    return s;
}
bool PaidFlagOf(const data::InvoiceRecord& r) {
    return Key(r.text(Invoice::PaidFlag)) == "P";
}

}  // namespace

std::string_view ProblemWord(ProblemKind kind) {
    switch (kind) {
        case ProblemKind::Structure:
            return "structure";
        case ProblemKind::Unreadable:
            return "unreadable";
        case ProblemKind::InvoiceAmounts:
            return "total";
        case ProblemKind::InvoiceBalance:
            return "balance-due";
        case ProblemKind::PaidFlag:
            return "paid-flag";
        case ProblemKind::CustomerBalance:
            return "balance";
        case ProblemKind::CustomerAging:
            return "bucket";
        case ProblemKind::Receivables:
            return "receivables";
        case ProblemKind::OrphanLine:
            return "orphan-line";
        case ProblemKind::OrphanMemo:
            return "orphan-memo";
        case ProblemKind::UnknownCustomer:
            return "customer";
    }
    return "problem";
}

bool IsDerived(ProblemKind kind) {
    return kind == ProblemKind::PaidFlag || kind == ProblemKind::CustomerBalance ||
           kind == ProblemKind::CustomerAging || kind == ProblemKind::Receivables;
}

std::string BooksProblem::line() const {
    return std::string(ProblemWord(kind)) + ": " + text;
}

bool BooksCheck::has(ProblemKind kind) const {
    for (const BooksProblem& p : problems)
        if (p.kind == kind) return true;
    return false;
}

BooksCheck CheckBooks(const Session& session, const platform::Clock& clock,
                      platform::Prompter& prompter) {
    BooksCheck out;
    auto problem = [&out](ProblemKind kind, std::string text) {
        out.problems.push_back({kind, std::move(text)});
    };

    // The structure of every fileblock of the company, read past the engine.
    const std::string prefix = session.companyPrefix();
    for (data::FileKind kind : data::kCompanyFileOrder) {
        const std::string name = data::FileblockName(
            session.folder, kind, kind == data::FileKind::Company ? std::string_view() : prefix);
        // A company whose windows were never opened has no files yet: its books are empty.
        if (!data::FileExists(storage::DataFileName(name))) continue;
        for (const std::string& p : storage::CheckFileblock(name))
            problem(ProblemKind::Structure, name + ": " + p);
    }

    BookFiles files(session, prompter);
    if (!files.customers.ok || !files.invoices.ok || !files.lines.ok || !files.memos.ok) {
        problem(ProblemKind::Unreadable, "the company's files cannot be opened");
        return out;
    }
    const data::DateOrder order = session.dateOrder;
    const auto invoices = ReadAll<Invoice>(files.invoices.fb);
    const auto lines = ReadAll<InvoiceLine>(files.lines.fb);
    const auto memos = ReadAll<Memo>(files.memos.fb);
    const auto customers = ReadAll<Customer>(files.customers.fb);
    out.invoices = int(invoices.size());
    out.lines = int(lines.size());
    out.memos = int(memos.size());
    out.customers = int(customers.size());

    // Lines, memos and payments by the exact (trimmed) number they carry.
    std::map<std::string, std::vector<data::InvoiceLineRecord>> linesOf;
    for (const auto& [recNo, line] : lines)
        linesOf[data::TrimmedText(line.text(InvoiceLine::InvNo))].push_back(line);
    std::map<std::string, data::MemoRecord> memoOf;
    for (const auto& [recNo, memo] : memos)
        memoOf.emplace(data::TrimmedText(memo.text(Memo::InvNo)), memo);
    std::map<std::string, Money> paymentsOf;
    std::set<std::string> numbers;
    for (const auto& [recNo, r] : invoices) {
        const std::string number = data::TrimmedText(r.text(Invoice::InvNo));
        numbers.insert(number);
        if (IsPaymentRecord(TypeOf(r))) paymentsOf[number] += r.money(Invoice::Paid);
    }
    std::map<std::string, data::CustomerRecord> customerOf;
    for (const auto& [recNo, c] : customers)
        customerOf.emplace(Key(c.text(Customer::CustNo)), c);

    // Every transaction's amounts.
    std::map<std::string, Money> owedBy;  // customer key -> open receivables
    for (const auto& [recNo, r] : invoices) {
        const std::string number = data::TrimmedText(r.text(Invoice::InvNo));
        const std::string type = TypeOf(r);
        const std::string what = "invoice " + number + " (type " + type + ")";
        const Money net = r.money(Invoice::Net), tax = r.money(Invoice::Tax),
                    total = r.money(Invoice::Total), paid = r.money(Invoice::Paid),
                    balance = r.money(Invoice::BalanceDue);
        if (HasDocumentAmounts(type)) {
            auto found = linesOf.find(number);
            std::optional<data::MemoRecord> memo;
            if (auto m = memoOf.find(number); m != memoOf.end()) memo = m->second;
            std::optional<data::CustomerRecord> customer;
            if (auto c = customerOf.find(Key(r.text(Invoice::CustNo))); c != customerOf.end())
                customer = c->second;
            const invoicing::InvoiceEditor editor = invoicing::InvoiceEditor::ForEdit(
                session.company, order, r,
                found == linesOf.end() ? std::vector<data::InvoiceLineRecord>{} : found->second,
                memo, customer);
            const invoicing::Totals& t = editor.totals();
            if (t.net != net || t.tax != tax || t.total != total)
                problem(ProblemKind::InvoiceAmounts,
                        what + ": stored net/tax/total " + Amount(net) + " / " + Amount(tax) +
                            " / " + Amount(total) + ", its " +
                            (Key(r.text(Invoice::InvoiceStyle)) == "M" ? "memo amounts" : "lines") +
                            " give " + Amount(t.net) + " / " + Amount(t.tax) + " / " +
                            Amount(t.total));
        }
        if (IsPaymentRecord(type)) {
            if (!balance.isZero())
                problem(ProblemKind::InvoiceBalance,
                        what + ": a payment record with balance due " + Amount(balance));
        } else if (type != "R") {
            const Money payments = paymentsOf.count(number) ? paymentsOf[number] : Money();
            const Money expected = total - paid - payments;
            if (expected != balance)
                problem(ProblemKind::InvoiceBalance,
                        what + ": balance due " + Amount(balance) + ", total " + Amount(total) +
                            " less paid " + Amount(paid) + " and payments " + Amount(payments) +
                            " gives " + Amount(expected));
        }
        if (auto state = ExpectedPaidState(r)) {
            const bool flagged = PaidFlagOf(r);
            if (flagged != state->paid)
                problem(ProblemKind::PaidFlag,
                        what + (state->paid ? ": balance due is zero but it is not marked paid"
                                            : ": marked paid with balance due " + Amount(balance)));
            else if (flagged && data::TrimmedText(r.text(Invoice::PaidDate)).empty())
                problem(ProblemKind::PaidFlag, what + ": marked paid without a paid date");
            else if (!flagged && data::TrimmedText(r.text(Invoice::PaidDate)) != state->paidDate)
                problem(ProblemKind::PaidFlag, what + ": unpaid with a paid date");
        }
        if (IsReceivable(r) && !balance.isZero()) {
            const std::string cust = Key(r.text(Invoice::CustNo));
            owedBy[cust] += balance;
            if (!customerOf.count(cust))
                problem(ProblemKind::UnknownCustomer,
                        what + ": open balance " + Amount(balance) + " of customer " +
                            data::TrimmedText(r.text(Invoice::CustNo)) + ", who is not on file");
        }
    }

    // Every customer against its open receivables.
    const std::optional<AgingLimits> limits = AgingLimitsOf(session.company);
    const data::Date today = data::Today(clock);
    std::optional<data::Date> lastAging = data::ParseUserDate(
        data::TrimmedText(session.company.text(data::Company::LastAgingDate)), order);
    Money customersTotal;
    for (const auto& [recNo, c] : customers) {
        const std::string custNo = data::TrimmedText(c.text(Customer::CustNo));
        const std::string who = "customer " + custNo;
        const Money stored = c.money(Customer::Balance);
        const Money owed = owedBy.count(Key(custNo)) ? owedBy[Key(custNo)] : Money();
        customersTotal += stored;
        if (stored != owed)
            problem(ProblemKind::CustomerBalance,
                    who + ": balance " + Amount(stored) + ", open receivables " + Amount(owed));
        const AgingBuckets buckets = StoredBuckets(c);
        if (SumOf(buckets) != stored) {
            problem(ProblemKind::CustomerAging, who + ": aging " + BucketsText(buckets) +
                                                    " does not add up to balance " +
                                                    Amount(stored));
            continue;
        }
        if (!limits || !files.invoices.fb) continue;
        std::optional<AgingBuckets> asOfToday =
            CustomerAgingBuckets(files.invoices.fb, custNo, *limits, today, order);
        std::optional<AgingBuckets> asOfLast =
            lastAging ? CustomerAgingBuckets(files.invoices.fb, custNo, *limits, *lastAging, order)
                      : std::nullopt;
        if ((asOfToday && *asOfToday == buckets) || (asOfLast && *asOfLast == buckets)) continue;
        if (asOfToday)
            problem(ProblemKind::CustomerAging, who + ": aging " + BucketsText(buckets) +
                                                    ", its receivables give " +
                                                    BucketsText(*asOfToday));
    }

    const Money receivables = session.company.money(data::Company::ARBalance);
    if (receivables != customersTotal)
        problem(ProblemKind::Receivables, "company receivables " + Amount(receivables) +
                                              ", its customers' balances add up to " +
                                              Amount(customersTotal));

    for (const auto& [number, group] : linesOf)
        if (!numbers.count(number))
            problem(ProblemKind::OrphanLine, std::to_string(group.size()) +
                                                 " line record(s) of invoice " + number +
                                                 ", which is not on file");
    for (const auto& [number, memo] : memoOf)
        if (!numbers.count(number))
            problem(ProblemKind::OrphanMemo,
                    "memo record of invoice " + number + ", which is not on file");
    return out;
}

BooksRepair RepairBooks(Session& session, const platform::Clock& clock,
                        platform::Prompter& prompter, platform::Progress& progress) {
    BooksRepair out;
    std::map<std::string, std::pair<Money, AgingBuckets>> before;
    {
        BookFiles files(session, prompter);
        if (!files.customers.ok || !files.invoices.ok) {
            out.ok = false;
            out.error = "the company's files cannot be opened";
            return out;
        }
        // Paid flags and dates follow the balance due.
        for (const auto& [recNo, r] : ReadAll<Invoice>(files.invoices.fb)) {
            const std::optional<PaidState> state = ExpectedPaidState(r);
            if (!state) continue;
            const std::string storedDate = data::TrimmedText(r.text(Invoice::PaidDate));
            const std::string& wantedDate = state->paidDate;
            if (PaidFlagOf(r) == state->paid && storedDate == wantedDate) continue;
            data::InvoiceRecord fixed = r;
            fixed.setText(Invoice::PaidFlag, state->paid ? "P" : "");
            fixed.setText(Invoice::PaidDate, wantedDate);
            const std::string number = data::TrimmedText(r.text(Invoice::InvNo));
            if (!data::ChangeBusinessRecord(files.invoices.fb, recNo, r, fixed, prompter).ok()) {
                out.ok = false;
                out.error = "invoice " + number + " could not be rewritten";
                return out;
            }
            out.changes.push_back("invoice " + number + ": paid flag " +
                                  (state->paid ? "set, paid date " + wantedDate : "cleared"));
        }
        for (const auto& [recNo, c] : ReadAll<Customer>(files.customers.fb))
            before[data::TrimmedText(c.text(Customer::CustNo))] = {c.money(Customer::Balance),
                                                                   StoredBuckets(c)};
    }
    const Money receivablesBefore = session.company.money(data::Company::ARBalance);

    // Balances, aging and receivables: the main window's forced aging run, as of today.
    const AgingOutcome aged = RunAging(session, true, clock, prompter, progress, RunHooks{});
    if (aged.status != AgingStatus::Done) {
        out.ok = false;
        out.error = aged.error.empty() ? "the aging could not run" : aged.error;
        return out;
    }
    BookFiles files(session, prompter);
    for (const auto& [recNo, c] : ReadAll<Customer>(files.customers.fb)) {
        const std::string custNo = data::TrimmedText(c.text(Customer::CustNo));
        const auto was = before.find(custNo);
        if (was == before.end()) continue;
        if (was->second.first != c.money(Customer::Balance))
            out.changes.push_back("customer " + custNo + ": balance " + Amount(was->second.first) +
                                  " -> " + Amount(c.money(Customer::Balance)));
        if (was->second.second != StoredBuckets(c))
            out.changes.push_back("customer " + custNo + ": aging " +
                                  BucketsText(was->second.second) + " -> " +
                                  BucketsText(StoredBuckets(c)));
    }
    const Money receivables = session.company.money(data::Company::ARBalance);
    if (receivables != receivablesBefore)
        out.changes.push_back("company receivables " + Amount(receivablesBefore) + " -> " +
                              Amount(receivables));
    return out;
}

}  // namespace invarro::app
