#include "app/BooksCheck.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <map>
#include <new>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_map>

#include "app/Aging.h"
#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/Open.h"
#include "data/Posting.h"
#include "data/Update.h"
#include "invoicing/InvEdit.h"
#include "invoicing/Receivables.h"
#include "storage/Engine.h"
#include "storage/Verify.h"

namespace invarro::app {

namespace {

using data::Customer;
using data::Invoice;
using data::InvoiceLine;
using data::Memo;
using data::Money;
using invoicing::AgingBucket;
using invoicing::AgingBuckets;
using invoicing::AgingLimits;
using invoicing::AgingLimitsOf;
using invoicing::InvoiceAgeDays;
using invoicing::SumOf;

std::string Key(std::string_view text) {
    return data::UpperText(data::TrimText(text));
}

// A one-character field as Key gives it. The stored character is nearly always plain
// ASCII, upper-cased here without converting the field.
std::string KeyOfCharacter(std::string_view stored) {
    const std::string_view t = data::TrimText(stored);
    if (t.empty()) return {};
    if (t.size() == 1 && static_cast<unsigned char>(t[0]) < 0x80)
        return std::string(1, t[0] >= 'a' && t[0] <= 'z' ? char(t[0] - 32) : t[0]);
    return Key(data::Utf8FromAnsi(stored));
}

std::string TypeOf(const data::InvoiceRecord& r) {
    return KeyOfCharacter(r.ansiView(Invoice::TransType));
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
std::optional<PaidState> ExpectedPaidState(const data::InvoiceRecord& r, const std::string& type) {
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
    return KeyOfCharacter(r.ansiView(Invoice::PaidFlag)) == "P";
}

// A transaction number as stored (Windows-1252, blanks trimmed at both ends): lines, memos
// and payments belong to the transaction whose number reads exactly the same, letter case
// included. Held in two words in place of a string so that millions of them sort and
// compare quickly; the words are read most significant byte first, so that numbers sort
// as their characters do and numbers given in turn arrive already in order.
struct Number {
    uint64_t head = 0, tail = 0;  // the characters, their count in the last byte
    bool operator==(const Number&) const = default;
    bool operator<(const Number& o) const { return head != o.head ? head < o.head : tail < o.tail; }
};
struct NumberHash {
    size_t operator()(const Number& n) const {
        return size_t((n.head * 0x9E3779B97F4A7C15ull) ^ (n.tail * 0xC2B2AE3D27D4EB4Full));
    }
};
static_assert(Invoice::kFields[Invoice::InvNo_].width < 16 &&
              InvoiceLine::kFields[InvoiceLine::InvNo_].width < 16 &&
              Memo::kFields[Memo::InvNo_].width < 16 &&
              Invoice::kFields[Invoice::CustNo_].width < 16);
// Up to 15 stored characters as they are, in the two words of a Number.
Number Packed(std::string_view t) {
    char bytes[16] = {};
    std::memcpy(bytes, t.data(), t.size());
    bytes[15] = char(t.size());
    Number n;
    std::memcpy(&n.head, bytes, 8);
    std::memcpy(&n.tail, bytes + 8, 8);
    if constexpr (std::endian::native == std::endian::little) {
        n.head = __builtin_bswap64(n.head);
        n.tail = __builtin_bswap64(n.tail);
    }
    return n;
}
template <class L, data::FieldKind K>
Number NumberOf(const data::Record<L>& r, data::FieldRef<L, K> field) {
    return Packed(data::TrimText(r.ansiView(field)));
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

// Records read in one piece by the passes over a whole file (about 64 KB).
template <class L>
constexpr int32_t kRunRecords = std::max(1, (64 << 10) / L::kLength);

// Calls fn(record number, record) for every live record in record order, reading the
// file a run of records at a time. False when the file could not be read to its end or
// the user stopped the check.
template <class L, class Fn>
bool ForEachRecord(storage::Fileblock* fb, CheckProgress& shown, Fn&& fn) {
    if (!fb) return true;
    if (storage::RecordLength(fb) != L::kLength) return false;
    static_assert(sizeof(data::Record<L>) == size_t(L::kLength));
    std::vector<data::Record<L>> run(size_t(kRunRecords<L>));
    for (int32_t first = 1;;) {
        const int32_t got = storage::GetRecordRun(fb, first, kRunRecords<L>, run.data());
        if (!storage::EngineOk) return storage::EngineError == storage::err::NoMoreRecords;
        for (int32_t i = 0; i < got; ++i) {
            const data::Record<L>& r = run[size_t(i)];
            if (!r.live()) continue;
            fn(first + i, r);
            if (!shown.record()) return false;
        }
        first += got;
    }
}

// Reads records of one file that mostly come in record order (the lines of the invoices,
// when they were written together): a record at or just past the end of the records
// read before comes from a run read in one piece; any other is read on its own.
template <class L>
class RecordWindow {
  public:
    explicit RecordWindow(storage::Fileblock* fb) : fb_(fb), run_(size_t(kRunRecords<L>)) {}
    bool read(int32_t recNo, data::Record<L>& out) {
        const int32_t end = first_ + count_;
        if (recNo >= end && recNo < end + kRunRecords<L>) {
            count_ = storage::GetRecordRun(fb_, recNo, kRunRecords<L>, run_.data());
            first_ = recNo;
            if (!storage::EngineOk) count_ = 0;
        }
        if (recNo >= first_ && recNo < first_ + count_) {
            out = run_[size_t(recNo - first_)];
            return true;
        }
        storage::GetRecord(fb_, recNo, out.data());
        return storage::EngineOk;
    }

  private:
    storage::Fileblock* fb_;
    std::vector<data::Record<L>> run_;
    int32_t first_ = 1, count_ = 0;
};

// The distinct numbers of the transaction file with the payments made against each, and
// the line records of each number in record order. Numbers are sorted rather than hashed:
// the file's numbers, and then its lines, are each sorted once and matched in one run.
class TransactionNumbers {
  public:
    // Room for the records the files' headers count, so that the arrays are filled without
    // growing. Only a hint: a damaged header may count more than can be had.
    void expect(int32_t transactions, int32_t lines) {
        try {
            records_.reserve(size_t(std::max(transactions, 0)));
            runs_.reserve(size_t(std::max(std::min(transactions, lines), 0)));
        } catch (const std::bad_alloc&) {
        }
    }
    // The transactions in record order, with the amount a payment record pays (else 0).
    void addTransaction(const Number& number, Money payment) {
        records_.push_back({number, int32_t(records_.size()), payment});
    }
    void transactionsAdded() {
        // Numbers given in turn are already in order in the file: no sort is then needed.
        if (!std::is_sorted(records_.begin(), records_.end()))
            std::sort(records_.begin(), records_.end());
        slotOfRecord_.assign(records_.size(), 0);
        numbers_.reserve(records_.size());
        payments_.reserve(records_.size());
        for (const Record& r : records_) {
            if (numbers_.empty() || !(numbers_.back() == r.number)) {
                numbers_.push_back(r.number);
                payments_.emplace_back();
            }
            slotOfRecord_[size_t(r.index)] = int32_t(numbers_.size() - 1);
            payments_.back() += r.payment;
        }
        std::vector<Record>().swap(records_);
    }
    // The number of the index-th transaction in record order, as an index into the
    // distinct numbers.
    int32_t slotOfRecord(size_t index) const {
        return index < slotOfRecord_.size() ? slotOfRecord_[index] : -1;
    }
    Money payments(int32_t slot) const { return slot < 0 ? Money() : payments_[size_t(slot)]; }
    bool has(const Number& number) const {
        return std::binary_search(numbers_.begin(), numbers_.end(), number);
    }

    // Lines come in record order; those of one number mostly follow each other, and are
    // held as runs of consecutive records.
    void addLine(const Number& number, int32_t recNo) {
        if (!runs_.empty()) {
            Run& last = runs_.back();
            if (last.number == number && last.first + last.count == recNo) {
                ++last.count;
                return;
            }
        }
        runs_.push_back({number, recNo, 1});
    }
    // Groups the lines by number; calls orphan(record number, count) with the first line
    // of each number not on file and the count of its lines.
    template <class Orphan>
    void linesAdded(Orphan&& orphan) {
        if (!std::is_sorted(runs_.begin(), runs_.end())) std::sort(runs_.begin(), runs_.end());
        firstRun_.assign(numbers_.size() + 1, 0);
        size_t kept = 0, slot = 0;
        for (size_t i = 0; i < runs_.size();) {
            const Number number = runs_[i].number;
            size_t end = i;
            int count = 0;
            while (end < runs_.size() && runs_[end].number == number)
                count += runs_[end++].count;
            while (slot < numbers_.size() && numbers_[slot] < number)
                firstRun_[++slot] = int32_t(kept);
            if (slot < numbers_.size() && numbers_[slot] == number) {
                for (size_t j = i; j < end; ++j)
                    runs_[kept++] = runs_[j];
            } else {
                orphan(runs_[i].first, count);
            }
            i = end;
        }
        while (slot < numbers_.size())
            firstRun_[++slot] = int32_t(kept);
        runs_.resize(kept);
    }
    // The lines of one number (none for -1) in record order; false when one cannot be read.
    bool readLines(RecordWindow<InvoiceLine>& file, int32_t slot,
                   std::vector<data::InvoiceLineRecord>& out) const {
        out.clear();
        if (slot < 0) return true;
        for (int32_t i = firstRun_[size_t(slot)]; i < firstRun_[size_t(slot) + 1]; ++i) {
            const Run& run = runs_[size_t(i)];
            for (int32_t recNo = run.first; recNo < run.first + run.count; ++recNo)
                if (!file.read(recNo, out.emplace_back())) return false;
        }
        return true;
    }

  private:
    struct Record {
        Number number;
        int32_t index;
        Money payment;
        bool operator<(const Record& o) const {
            return number == o.number ? index < o.index : number < o.number;
        }
    };
    struct Run {
        Number number;
        int32_t first;  // record number of the first line
        int32_t count;  // lines in consecutive records
        bool operator<(const Run& o) const {
            return number == o.number ? first < o.first : number < o.number;
        }
    };
    std::vector<Record> records_;
    std::vector<Number> numbers_;  // distinct, sorted
    std::vector<Money> payments_;  // by number
    std::vector<int32_t> slotOfRecord_;
    std::vector<Run> runs_;          // sorted by number once the lines are added
    std::vector<int32_t> firstRun_;  // by number, and one past the last
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
        if (!storage::FileblockExists(name)) continue;
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
    TransactionNumbers numbers;
    numbers.expect(files.invoices.fb ? storage::UsedRecordCount(files.invoices.fb) : 0,
                   files.lines.fb ? storage::UsedRecordCount(files.lines.fb) : 0);
    if (!shown.phase("Reading transactions...")) return Stopped(out);
    bool read = ForEachRecord<Invoice>(files.invoices.fb, shown, [&](int32_t, const auto& r) {
        ++out.invoices;
        numbers.addTransaction(NumberOf(r, Invoice::InvNo),
                               IsPaymentRecord(TypeOf(r)) ? r.money(Invoice::Paid) : Money());
    });
    if (shown.stopped()) return Stopped(out);
    if (!read) unreadable("transaction file");
    numbers.transactionsAdded();

    // The lines of each number, in record order, and those of numbers not on file.
    if (!shown.phase("Reading lines...")) return Stopped(out);
    read = ForEachRecord<InvoiceLine>(files.lines.fb, shown, [&](int32_t recNo, const auto& line) {
        ++out.lines;
        numbers.addLine(NumberOf(line, InvoiceLine::InvNo), recNo);
    });
    if (shown.stopped()) return Stopped(out);
    if (!read) unreadable("line file");
    std::map<std::string, int> orphanLines;  // number -> line records
    numbers.linesAdded([&](int32_t recNo, int count) {
        if (auto line = data::ReadBusinessRecord<InvoiceLine>(files.lines.fb, recNo))
            orphanLines[data::TrimmedText(line->text(InvoiceLine::InvNo))] += count;
    });

    // Memos of numbers not on file.
    std::set<std::string> orphanMemos;
    read = ForEachRecord<Memo>(files.memos.fb, shown, [&](int32_t, const auto& memo) {
        ++out.memos;
        if (!numbers.has(NumberOf(memo, Memo::InvNo)))
            orphanMemos.insert(data::TrimmedText(memo.text(Memo::InvNo)));
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
    invoicing::StoredTotals editorTotals(session.company);
    // The customer of each number as stored, looked up once per number.
    std::unordered_map<Number, const data::CustomerRecord*, NumberHash> customerByStored;
    auto customerFor = [&](const data::InvoiceRecord& r) {
        const auto [at, added] =
            customerByStored.try_emplace(Packed(r.ansiView(Invoice::CustNo)), nullptr);
        if (added) {
            const auto c = customerOf.find(Key(r.text(Invoice::CustNo)));
            if (c != customerOf.end()) at->second = &customers[c->second];
        }
        return at->second;
    };
    size_t index = 0;
    RecordWindow<InvoiceLine> lineFile(files.lines.fb);
    if (!shown.phase("Checking transactions...")) return Stopped(out);
    read = ForEachRecord<Invoice>(files.invoices.fb, shown, [&](int32_t, const auto& r) {
        const std::string type = TypeOf(r);
        auto what = [&r, &type] {
            return "invoice " + data::TrimmedText(r.text(Invoice::InvNo)) + " (type " + type + ")";
        };
        // Read under the same open as the first pass: the records come in the same order.
        const int32_t slot = numbers.slotOfRecord(index++);
        const Money net = r.money(Invoice::Net), tax = r.money(Invoice::Tax),
                    total = r.money(Invoice::Total), paid = r.money(Invoice::Paid),
                    balance = r.money(Invoice::BalanceDue);
        if (HasDocumentAmounts(type)) {
            if (!numbers.readLines(lineFile, slot, invoiceLines)) {
                problem(ProblemKind::Unreadable, what() + ": its lines cannot be read");
                return;
            }
            const invoicing::Totals t = editorTotals.of(r, invoiceLines, customerFor(r));
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
            const Money payments = numbers.payments(slot);
            const Money expected = total - paid - payments;
            if (expected != balance)
                problem(ProblemKind::InvoiceBalance,
                        what() + ": balance due " + Amount(balance) + ", total " + Amount(total) +
                            " less paid " + Amount(paid) + " and payments " + Amount(payments) +
                            " gives " + Amount(expected));
        }
        if (auto state = ExpectedPaidState(r, type)) {
            const bool flagged = PaidFlagOf(r);
            if (flagged != state->paid)
                problem(
                    ProblemKind::PaidFlag,
                    what() + (state->paid ? ": balance due is zero but it is not marked paid"
                                          : ": marked paid with balance due " + Amount(balance)));
            else if (flagged && data::TrimText(r.ansiView(Invoice::PaidDate)).empty())
                problem(ProblemKind::PaidFlag, what() + ": marked paid without a paid date");
            else if (!flagged && data::TrimmedText(r.text(Invoice::PaidDate)) != state->paidDate)
                problem(ProblemKind::PaidFlag, what() + ": unpaid with a paid date");
        }
        // Quotes and repeat masters are never receivables.
        if (type != "Q" && type != "R" && !balance.isZero()) {
            const std::string cust = Key(r.text(Invoice::CustNo));
            owedBy[cust] += balance;
            if (!customerFor(r))
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

namespace {

// One attempt of the repair's posting, into out: false (with out.error) when it cannot be
// made. Before gets every customer's balance and aging as they were before the aging.
bool RepairInPosting(Session& session, const platform::Clock& clock, platform::Prompter& prompter,
                     platform::Progress& progress, BooksRepair& out,
                     std::map<std::string, std::pair<Money, AgingBuckets>>& before) {
    {
        BookFiles files(session, prompter);
        if (!files.customers.ok || !files.invoices.ok) {
            out.error = "the company's files cannot be opened";
            return false;
        }
        // Paid flags and dates follow the balance due.
        for (const auto& [recNo, r] : ReadAll<Invoice>(files.invoices.fb)) {
            const std::optional<PaidState> state = ExpectedPaidState(r, TypeOf(r));
            if (!state) continue;
            const std::string storedDate = data::TrimmedText(r.text(Invoice::PaidDate));
            const std::string& wantedDate = state->paidDate;
            if (PaidFlagOf(r) == state->paid && storedDate == wantedDate) continue;
            data::InvoiceRecord fixed = r;
            fixed.setText(Invoice::PaidFlag, state->paid ? "P" : "");
            fixed.setText(Invoice::PaidDate, wantedDate);
            const std::string number = data::TrimmedText(r.text(Invoice::InvNo));
            if (!data::ChangeBusinessRecord(files.invoices.fb, recNo, r, fixed, prompter).ok()) {
                out.error = "invoice " + number + " could not be rewritten; nothing was changed";
                return false;
            }
            out.changes.push_back("invoice " + number + ": paid flag " +
                                  (state->paid ? "set, paid date " + wantedDate : "cleared"));
        }
        for (const auto& [recNo, c] : ReadAll<Customer>(files.customers.fb))
            before[data::TrimmedText(c.text(Customer::CustNo))] = {c.money(Customer::Balance),
                                                                   StoredBuckets(c)};
    }
    // Balances, aging and receivables: the main window's forced aging run, as of today, in
    // the same posting.
    const AgingOutcome aged = RunAging(session, true, clock, prompter, progress, RunHooks{});
    if (aged.status != AgingStatus::Done) {
        out.error = aged.error.empty() ? "the aging could not run" : aged.error;
        return false;
    }
    return true;
}

}  // namespace

BooksRepair RepairBooks(Session& session, const platform::Clock& clock,
                        platform::Prompter& prompter, platform::Progress& progress) {
    BooksRepair out;
    std::map<std::string, std::pair<Money, AgingBuckets>> before;
    const Money receivablesBefore = session.company.money(data::Company::ARBalance);
    // The paid flags and the aging that follows are one posting: a repair that fails or is
    // stopped changes nothing, and one that meets a lock runs again whole; its messages and
    // the report of what changed come after it.
    bool wanted = false;
    const data::PostingRun run =
        data::RunPosting(prompter, [&](data::Posting&, platform::Prompter& held) {
            out = BooksRepair{};
            before.clear();
            wanted = RepairInPosting(session, clock, held, progress, out, before);
            return wanted;
        });
    if (!run.committed) {
        out.ok = false;
        out.changes.clear();
        if (wanted)
            out.error = "the repair could not be written (error " +
                        std::to_string(run.engineError) + "); nothing was changed";
        else if (out.error.empty())
            out.error = "the repair cannot start (error " + std::to_string(run.engineError) + ")";
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
