#include "app/BooksCheck.h"

#include <array>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_map>

#include "app/Aging.h"
#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/Open.h"
#include "data/Update.h"
#include "invoicing/InvEdit.h"
#include "storage/Engine.h"
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

// A transaction number as stored (Windows-1252, blanks trimmed at both ends): lines, memos
// and payments belong to the transaction whose number reads exactly the same, letter case
// included. Held in place of a string so that a million of them hash and compare quickly.
struct Number {
    std::array<char, 16> bytes{};  // the characters, then their count in the last byte
    bool operator==(const Number&) const = default;
};
static_assert(Invoice::kFields[Invoice::InvNo_].width < 16 &&
              InvoiceLine::kFields[InvoiceLine::InvNo_].width < 16 &&
              Memo::kFields[Memo::InvNo_].width < 16);
struct NumberHash {
    size_t operator()(const Number& n) const {
        uint64_t a, b;
        std::memcpy(&a, n.bytes.data(), 8);
        std::memcpy(&b, n.bytes.data() + 8, 8);
        uint64_t h = (a ^ (b * 0x9E3779B97F4A7C15ull)) * 0xBF58476D1CE4E5B9ull;
        return size_t(h ^ (h >> 31));
    }
};
template <class L, data::FieldKind K>
Number NumberOf(const data::Record<L>& r, data::FieldRef<L, K> field) {
    const std::string ansi = r.ansi(field);
    const std::string_view t = data::TrimText(ansi);
    Number n;
    std::memcpy(n.bytes.data(), t.data(), t.size());
    n.bytes[15] = char(t.size());
    return n;
}

// The customer number as the customer key of the invoice file files it (trimmed, upper
// case): the aging of a customer takes the receivables filed under its number.
std::string AgingKey(std::string_view custNoAnsi) {
    return data::UpperAnsi(data::TrimText(custNoAnsi));
}

// The status window of the check: the phase, and the records read so far. The user may
// stop the check between records.
class CheckProgress {
  public:
    explicit CheckProgress(platform::Progress& progress) : progress_(progress) {
        progress_.start("Checking the Books", 2);
    }
    ~CheckProgress() { progress_.finish(); }
    CheckProgress(const CheckProgress&) = delete;
    CheckProgress& operator=(const CheckProgress&) = delete;

    bool phase(const std::string& text) {
        progress_.setLine(0, text);
        progress_.setLine(1, "");
        count_ = 0;
        return step();
    }
    bool record() {
        if (++count_ % 8192 != 0) return true;
        progress_.setLine(1, "Records read: " + std::to_string(count_));
        return step();
    }
    bool stopped() const { return stopped_; }

  private:
    bool step() {
        if (!stopped_ && !progress_.step()) stopped_ = true;
        return !stopped_;
    }
    platform::Progress& progress_;
    int64_t count_ = 0;
    bool stopped_ = false;
};

BooksCheck Stopped(BooksCheck& out) {
    out.stopped = true;
    return std::move(out);
}

// Calls fn(record number, record) for every live record in record order. False when the
// file could not be read to its end or the user stopped the check.
template <class L, class Fn>
bool ForEachRecord(storage::Fileblock* fb, CheckProgress& shown, Fn&& fn) {
    if (!fb) return true;
    if (storage::RecordLength(fb) != L::kLength) return false;
    data::Record<L> r;
    for (int32_t n = storage::NextUsedRecord(fb, 0); storage::EngineOk;
         n = storage::NextUsedRecord(fb, n)) {
        storage::GetRecord(fb, n, r.data());
        if (!storage::EngineOk) return false;
        if (!r.live()) continue;
        fn(n, r);
        if (!shown.record()) return false;
    }
    return storage::EngineError == storage::err::NoMoreRecords;
}

// The line records of every transaction number, in record order: one pass over the line
// file gathers them all.
class GroupedLines {
  public:
    GroupedLines(size_t numbers, const std::vector<int32_t>& numberOfLine,
                 const std::vector<int32_t>& recordOfLine)
        : first_(numbers + 1, 0), records_(recordOfLine.size()) {
        for (int32_t n : numberOfLine)
            ++first_[size_t(n) + 1];
        for (size_t i = 1; i < first_.size(); ++i)
            first_[i] += first_[i - 1];
        std::vector<int32_t> next(first_.begin(), first_.end() - 1);
        for (size_t i = 0; i < numberOfLine.size(); ++i)
            records_[size_t(next[size_t(numberOfLine[i])]++)] = recordOfLine[i];
    }
    // The lines of one number (none for -1); false when one cannot be read.
    bool read(storage::Fileblock* fb, int32_t number,
              std::vector<data::InvoiceLineRecord>& out) const {
        out.clear();
        if (number < 0) return true;
        for (int32_t i = first_[size_t(number)]; i < first_[size_t(number) + 1]; ++i) {
            storage::GetRecord(fb, records_[size_t(i)], out.emplace_back().data());
            if (!storage::EngineOk) return false;
        }
        return true;
    }

  private:
    std::vector<int32_t> first_;
    std::vector<int32_t> records_;
};

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
                      platform::Prompter& prompter, platform::Progress& progress) {
    BooksCheck out;
    auto problem = [&out](ProblemKind kind, std::string text) {
        out.problems.push_back({kind, std::move(text)});
    };
    CheckProgress shown(progress);

    // The structure of every fileblock of the company, read past the engine.
    const std::string prefix = session.companyPrefix();
    for (data::FileKind kind : data::kCompanyFileOrder) {
        const std::string name = data::FileblockName(
            session.folder, kind, kind == data::FileKind::Company ? std::string_view() : prefix);
        // A company whose windows were never opened has no files yet: its books are empty.
        if (!data::FileExists(storage::DataFileName(name))) continue;
        if (!shown.phase("Checking " + name.substr(name.find_last_of('/') + 1) + "..."))
            return Stopped(out);
        for (const std::string& p : storage::CheckFileblock(name))
            problem(ProblemKind::Structure, name + ": " + p);
    }

    BookFiles files(session, prompter);
    if (!files.customers.ok || !files.invoices.ok || !files.lines.ok || !files.memos.ok) {
        problem(ProblemKind::Unreadable, "the company's files cannot be opened");
        return out;
    }
    const data::DateOrder order = session.dateOrder;
    auto unreadable = [&problem](const char* what) {
        problem(ProblemKind::Unreadable, std::string("the ") + what +
                                             " cannot be read to its end (error " +
                                             std::to_string(storage::EngineError) + ")");
    };

    // Every distinct transaction number, with the payments made against it.
    std::unordered_map<Number, int32_t, NumberHash> slotOf;
    std::vector<Money> paymentsOf;
    if (!shown.phase("Reading transactions...")) return Stopped(out);
    bool read = ForEachRecord<Invoice>(files.invoices.fb, shown, [&](int32_t, const auto& r) {
        ++out.invoices;
        const auto [at, added] =
            slotOf.try_emplace(NumberOf(r, Invoice::InvNo), int32_t(paymentsOf.size()));
        if (added) paymentsOf.emplace_back();
        if (IsPaymentRecord(TypeOf(r))) paymentsOf[size_t(at->second)] += r.money(Invoice::Paid);
    });
    if (shown.stopped()) return Stopped(out);
    if (!read) unreadable("transaction file");

    // The lines of each number, in record order, and those of numbers not on file.
    std::map<std::string, int> orphanLines;  // number -> line records
    std::vector<int32_t> lineSlot, lineRec;
    if (!shown.phase("Reading lines...")) return Stopped(out);
    read = ForEachRecord<InvoiceLine>(files.lines.fb, shown, [&](int32_t recNo, const auto& line) {
        ++out.lines;
        const auto at = slotOf.find(NumberOf(line, InvoiceLine::InvNo));
        if (at == slotOf.end()) {
            ++orphanLines[data::TrimmedText(line.text(InvoiceLine::InvNo))];
            return;
        }
        lineSlot.push_back(at->second);
        lineRec.push_back(recNo);
    });
    if (shown.stopped()) return Stopped(out);
    if (!read) unreadable("line file");
    const GroupedLines linesOf(paymentsOf.size(), lineSlot, lineRec);

    // The first memo of each number, and memos of numbers not on file.
    std::unordered_map<Number, int32_t, NumberHash> memoOf;
    std::set<std::string> orphanMemos;
    read = ForEachRecord<Memo>(files.memos.fb, shown, [&](int32_t recNo, const auto& memo) {
        ++out.memos;
        const Number number = NumberOf(memo, Memo::InvNo);
        if (!slotOf.count(number)) orphanMemos.insert(data::TrimmedText(memo.text(Memo::InvNo)));
        memoOf.try_emplace(number, recNo);
    });
    if (shown.stopped()) return Stopped(out);
    if (!read) unreadable("memo file");

    std::vector<data::CustomerRecord> customers;
    std::unordered_map<std::string, size_t> customerOf;  // customer key -> first record
    read = ForEachRecord<Customer>(files.customers.fb, shown, [&](int32_t, const auto& c) {
        customerOf.try_emplace(Key(c.text(Customer::CustNo)), customers.size());
        customers.push_back(c);
    });
    if (shown.stopped()) return Stopped(out);
    if (!read) unreadable("customer file");
    out.customers = int(customers.size());

    // Every transaction's amounts, and the open receivables of every customer aged as of
    // today and as of the last aging.
    const std::optional<AgingLimits> limits = AgingLimitsOf(session.company);
    const data::Date today = data::Today(clock);
    const std::optional<data::Date> lastAging = data::ParseUserDate(
        data::TrimmedText(session.company.text(data::Company::LastAgingDate)), order);
    std::unordered_map<std::string, Money> owedBy;  // customer key -> open receivables
    std::unordered_map<std::string, std::pair<AgingBuckets, AgingBuckets>> agedBy;
    std::vector<data::InvoiceLineRecord> invoiceLines;
    if (!shown.phase("Checking transactions...")) return Stopped(out);
    read = ForEachRecord<Invoice>(files.invoices.fb, shown, [&](int32_t, const auto& r) {
        const std::string type = TypeOf(r);
        auto what = [&r, &type] {
            return "invoice " + data::TrimmedText(r.text(Invoice::InvNo)) + " (type " + type + ")";
        };
        // Read under the same open as the first pass: every number is there.
        const auto found = slotOf.find(NumberOf(r, Invoice::InvNo));
        const int32_t slot = found == slotOf.end() ? -1 : found->second;
        const Money net = r.money(Invoice::Net), tax = r.money(Invoice::Tax),
                    total = r.money(Invoice::Total), paid = r.money(Invoice::Paid),
                    balance = r.money(Invoice::BalanceDue);
        if (HasDocumentAmounts(type)) {
            if (!linesOf.read(files.lines.fb, slot, invoiceLines)) {
                problem(ProblemKind::Unreadable, what() + ": its lines cannot be read");
                return;
            }
            std::optional<data::MemoRecord> memo;
            if (auto m = memoOf.find(NumberOf(r, Invoice::InvNo)); m != memoOf.end())
                memo = data::ReadBusinessRecord<Memo>(files.memos.fb, m->second);
            std::optional<data::CustomerRecord> customer;
            if (auto c = customerOf.find(Key(r.text(Invoice::CustNo))); c != customerOf.end())
                customer = customers[c->second];
            const invoicing::InvoiceEditor editor = invoicing::InvoiceEditor::ForEdit(
                session.company, order, r, invoiceLines, memo, customer);
            const invoicing::Totals& t = editor.totals();
            if (t.net != net || t.tax != tax || t.total != total)
                problem(ProblemKind::InvoiceAmounts,
                        what() + ": stored net/tax/total " + Amount(net) + " / " + Amount(tax) +
                            " / " + Amount(total) + ", its " +
                            (Key(r.text(Invoice::InvoiceStyle)) == "M" ? "memo amounts" : "lines") +
                            " give " + Amount(t.net) + " / " + Amount(t.tax) + " / " +
                            Amount(t.total));
        }
        if (IsPaymentRecord(type)) {
            if (!balance.isZero())
                problem(ProblemKind::InvoiceBalance,
                        what() + ": a payment record with balance due " + Amount(balance));
        } else if (type != "R") {
            const Money payments = slot < 0 ? Money() : paymentsOf[size_t(slot)];
            const Money expected = total - paid - payments;
            if (expected != balance)
                problem(ProblemKind::InvoiceBalance,
                        what() + ": balance due " + Amount(balance) + ", total " + Amount(total) +
                            " less paid " + Amount(paid) + " and payments " + Amount(payments) +
                            " gives " + Amount(expected));
        }
        if (auto state = ExpectedPaidState(r)) {
            const bool flagged = PaidFlagOf(r);
            if (flagged != state->paid)
                problem(
                    ProblemKind::PaidFlag,
                    what() + (state->paid ? ": balance due is zero but it is not marked paid"
                                          : ": marked paid with balance due " + Amount(balance)));
            else if (flagged && data::TrimmedText(r.text(Invoice::PaidDate)).empty())
                problem(ProblemKind::PaidFlag, what() + ": marked paid without a paid date");
            else if (!flagged && data::TrimmedText(r.text(Invoice::PaidDate)) != state->paidDate)
                problem(ProblemKind::PaidFlag, what() + ": unpaid with a paid date");
        }
        if (IsReceivable(r) && !balance.isZero()) {
            const std::string cust = Key(r.text(Invoice::CustNo));
            owedBy[cust] += balance;
            if (!customerOf.count(cust))
                problem(ProblemKind::UnknownCustomer,
                        what() + ": open balance " + Amount(balance) + " of customer " +
                            data::TrimmedText(r.text(Invoice::CustNo)) + ", who is not on file");
            // The customer's aging finds its receivables under the number as the customer
            // key of the invoice file holds it.
            if (limits) {
                auto& [asOfToday, asOfLast] = agedBy[AgingKey(r.ansi(Invoice::CustNo))];
                const std::optional<int> age = InvoiceAgeDays(r, order, today);
                asOfToday[size_t(age ? AgingBucket(*age, *limits) : 0)] += balance;
                if (lastAging) {
                    const std::optional<int> ageThen = InvoiceAgeDays(r, order, *lastAging);
                    asOfLast[size_t(ageThen ? AgingBucket(*ageThen, *limits) : 0)] += balance;
                }
            }
        }
    });
    if (shown.stopped()) return Stopped(out);
    if (!read) unreadable("transaction file");

    // Every customer against its open receivables.
    Money customersTotal;
    for (const data::CustomerRecord& c : customers) {
        const std::string custNo = data::TrimmedText(c.text(Customer::CustNo));
        const std::string who = "customer " + custNo;
        const Money stored = c.money(Customer::Balance);
        const auto owing = owedBy.find(Key(custNo));
        const Money owed = owing == owedBy.end() ? Money() : owing->second;
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
        AgingBuckets asOfToday{}, asOfLast{};
        if (auto aged = agedBy.find(AgingKey(c.ansi(Customer::CustNo))); aged != agedBy.end())
            std::tie(asOfToday, asOfLast) = aged->second;
        if (asOfToday == buckets || (lastAging && asOfLast == buckets)) continue;
        problem(ProblemKind::CustomerAging, who + ": aging " + BucketsText(buckets) +
                                                ", its receivables give " + BucketsText(asOfToday));
    }

    const Money receivables = session.company.money(data::Company::ARBalance);
    if (receivables != customersTotal)
        problem(ProblemKind::Receivables, "company receivables " + Amount(receivables) +
                                              ", its customers' balances add up to " +
                                              Amount(customersTotal));

    for (const auto& [number, count] : orphanLines)
        problem(ProblemKind::OrphanLine, std::to_string(count) + " line record(s) of invoice " +
                                             number + ", which is not on file");
    for (const std::string& number : orphanMemos)
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
