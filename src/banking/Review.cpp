#include "banking/Review.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "banking/Camt.h"
#include "banking/Mt940.h"
#include "banking/Ofx.h"
#include "banking/Post.h"
#include "data/Ansi.h"
#include "data/EInvoiceData.h"
#include "data/Fileblocks.h"
#include "data/IniFile.h"
#include "data/Open.h"
#include "data/PaymentReference.h"
#include "invoicing/InvEdit.h"

namespace invarro::banking {

namespace {

using data::Money;

constexpr std::string_view kPays = "Pays";
constexpr std::string_view kSeparator = ", ";

bool SameNumber(std::string_view a, std::string_view b) {
    return data::InvoiceNumberForCompare(a) == data::InvoiceNumberForCompare(b);
}

std::string Stamp(const data::Date& d) {
    char stamp[12];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d", d.year, d.month, d.day);
    return stamp;
}

}  // namespace

// ------------------------------------------------------------------ reading and checks

std::string DetectFormat(std::string_view bytes) {
    if (LooksLikeCamt(bytes)) return "camt";
    if (LooksLikeOfx(bytes)) return "ofx";
    if (LooksLikeMt940(bytes)) return "mt940";
    return "csv";
}

ReadResult ReadStatementFile(std::string_view bytes, std::string format, const CsvMapping& csv) {
    if (format.empty()) format = DetectFormat(bytes);
    if (format == "camt") return ReadCamt(bytes);
    if (format == "mt940") return ReadMt940(bytes);
    if (format == "ofx") return ReadOfx(bytes);
    if (format == "csv") {
        if (std::string problem = CsvMappingProblem(csv); !problem.empty())
            return ReadFailure(0, "the CSV column mapping is not complete: " + problem);
        return ReadCsv(bytes, csv);
    }
    return ReadFailure(0, "\"" + format + "\" is not a statement format (camt, mt940, ofx, csv)");
}

bool SameAccount(const std::string& account, const std::string& iban) {
    const std::string a = CompactIban(account);
    if (a == iban) return true;
    const std::size_t slash = account.find('/');
    if (slash == std::string::npos || iban.rfind("DE", 0) != 0 || iban.size() != 22) return false;
    const std::string blz = data::TrimmedText(account.substr(0, slash));
    std::string konto = data::TrimmedText(account.substr(slash + 1));
    if (blz.size() != 8 || konto.empty() || konto.size() > 10) return false;
    konto.insert(0, 10 - konto.size(), '0');
    return iban.substr(4) == blz + konto;
}

std::vector<std::string> OtherAccounts(const std::vector<StatementLine>& lines,
                                       const std::string& iban) {
    std::vector<std::string> other;
    if (iban.empty()) return other;
    for (const StatementLine& l : lines)
        if (!l.account.empty() && !SameAccount(l.account, iban) &&
            std::find(other.begin(), other.end(), l.account) == other.end())
            other.push_back(l.account);
    return other;
}

std::string BooksCurrency(const std::string& folder, const data::CompanyRecord& company) {
    return data::InvoiceCurrency(data::ReadCompanyEInvoice(folder, company), company);
}

std::string Described(const Proposal& p) {
    if (!p.found()) return "no proposal: " + p.why;
    std::string s = "customer " + p.custNo;
    for (const Allocation& a : p.invoices)
        s += std::string(", ") + (a.partial ? "part of invoice " : "invoice ") + a.invNo + " " +
             a.amount.shownText();
    if (!p.deposit.isZero()) s += ", deposit " + p.deposit.shownText();
    return s + " (" + p.why + ")";
}

// ------------------------------------------------------------------ confirmed payments

std::string ConfirmedNote(const std::vector<std::string>& invoices) {
    std::string note(kPays);
    for (std::size_t i = 0; i < invoices.size(); ++i)
        note += std::string(i == 0 ? " " : kSeparator) + data::TrimmedText(invoices[i]);
    return note;
}

std::optional<std::vector<std::string>> ConfirmedInvoices(std::string_view note) {
    const std::string n = data::TrimmedText(note);
    if (n.rfind(kPays, 0) != 0) return {};
    std::string_view rest = std::string_view(n).substr(kPays.size());
    std::vector<std::string> invoices;
    if (rest.empty()) return invoices;
    if (rest.front() != ' ') return {};
    rest.remove_prefix(1);
    while (!rest.empty()) {
        const std::size_t end = rest.find(kSeparator);
        const std::string number = data::TrimmedText(rest.substr(0, end));
        if (number.empty()) return {};
        invoices.push_back(number);
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + kSeparator.size());
    }
    return invoices;
}

ChosenPayment PaymentForChoice(Money amount, const std::string& custNo,
                               const std::vector<std::string>& invoices, const MatchBooks& books) {
    ChosenPayment out;
    if (amount <= Money()) {
        out.why = "only a credit pays invoices";
        return out;
    }
    if (data::TrimmedText(custNo).empty()) {
        out.why = "no customer is chosen";
        return out;
    }
    Proposal p;
    p.rule = Rule::Chosen;
    p.custNo = data::TrimmedText(custNo);
    Money left = amount;
    for (std::size_t i = 0; i < invoices.size(); ++i) {
        const std::string& number = invoices[i];
        for (std::size_t j = 0; j < i; ++j)
            if (SameNumber(invoices[j], number)) {
                out.why = "invoice " + number + " is chosen twice";
                return out;
            }
        auto it = std::find_if(books.open.begin(), books.open.end(), [&](const OpenInvoice& o) {
            return o.custNo == p.custNo && SameNumber(o.number, number);
        });
        if (it == books.open.end()) {
            out.why = "invoice " + number + " is not an open invoice of customer " + p.custNo;
            return out;
        }
        if (left <= Money()) {
            out.why = "the amount is used up before invoice " + number;
            return out;
        }
        const Money paid = std::min(left, it->due);
        p.invoices.push_back({it->number, paid, paid < it->due});
        left -= paid;
    }
    p.deposit = left;
    p.why = invoices.empty() ? "on account, as chosen" : "as chosen";
    out.proposal = p;
    return out;
}

bool ReviewRow::canConfirm() const {
    return stored.state == LineState::New && proposal.found() && !returns;
}

bool ReviewRow::canPost() const {
    return stored.state == LineState::Matched && proposal.found();
}

// ------------------------------------------------------------------ the review

BankReview::BankReview(std::string folder, data::CompanyRecord& company,
                       platform::Prompter& prompter, data::Date today)
    : folder_(std::move(folder)), company_(company), prompter_(prompter), today_(today) {}

std::string BankReview::prefix() const {
    return data::CompanyPrefix(company_.text(data::Company::CompanyNo));
}

bool BankReview::refresh(std::string* error) {
    auto fail = [error](std::string why) {
        if (error) *error = std::move(why);
        return false;
    };
    rows_.clear();
    invoicing::ShortOpen bank(folder_, data::FileKind::BankLine, prefix(), prompter_);
    invoicing::ShortOpen invoices(folder_, data::FileKind::Invoice, prefix(), prompter_);
    if (!bank.fb || !invoices.fb) return fail("the bank lines or invoices cannot be opened");
    data::ExistingFileblock customers;
    data::OpenExisting(customers, folder_, data::FileKind::Customer, prefix(), prompter_);
    auto all = AllLines(bank.fb);
    auto books = LoadBooks(invoices.fb, customers.fb, bank.fb, BooksCurrency(folder_, company_));
    if (!all || !books) return fail("the bank lines or the books cannot be read");
    books_ = std::move(*books);
    for (const StoredLine& s : *all) {
        ReviewRow row;
        row.stored = s;
        if (const StoredLine* paid = ReturnedPayment(s, *all)) row.returns = *paid;
        switch (s.state) {
            case LineState::Posted:
                row.shown = "paid " + s.paidInvNo + " of customer " + s.custNo;
                break;
            case LineState::Ignored:
                row.shown = "ignored";
                break;
            case LineState::Matched: {
                const auto chosen = ConfirmedInvoices(s.note);
                auto amount = CentsOf(s.line.amount);
                ChosenPayment pay;
                if (!chosen || !amount)
                    pay.why = "what was confirmed cannot be read";
                else
                    pay = PaymentForChoice(*amount, s.custNo, *chosen, books_);
                if (pay.proposal) {
                    row.proposal = *pay.proposal;
                    row.shown = "confirmed: " + Described(row.proposal);
                } else {
                    row.problem = pay.why;
                    row.shown = "confirmed, but " + pay.why;
                }
                break;
            }
            case LineState::New:
                if (row.returns) break;
                row.proposal = Propose(s.line, books_);
                row.shown = (s.note.empty() ? "" : s.note + "; ") + Described(row.proposal);
                break;
        }
        if (row.returns && s.state != LineState::Posted && s.state != LineState::Ignored)
            row.shown = "returns the payment of " + IsoDate(row.returns->line.bookDate) +
                        " posted to invoice " + row.returns->paidInvNo + " of customer " +
                        row.returns->custNo + ": undo that payment if the money is gone";
        rows_.push_back(std::move(row));
    }
    return true;
}

const ReviewRow* BankReview::row(int32_t recNo) const {
    for (const ReviewRow& r : rows_)
        if (r.stored.recNo == recNo) return &r;
    return nullptr;
}

std::vector<OpenInvoice> BankReview::openInvoices(const std::string& custNo) const {
    std::vector<OpenInvoice> open;
    for (const OpenInvoice& o : books_.open)
        if (o.custNo == custNo) open.push_back(o);
    std::stable_sort(open.begin(), open.end(), [](const OpenInvoice& a, const OpenInvoice& b) {
        return a.sortDate < b.sortDate;
    });
    return open;
}

std::string BankReview::companyIban() const {
    return CompactIban(data::ReadCompanyEInvoice(folder_, company_).iban);
}

CsvMapping BankReview::csvMapping() const {
    return ReadCsvMapping(data::IniFile(data::IniFilePath(folder_)),
                          company_.text(data::Company::CompanyNo));
}

bool BankReview::setCsvMapping(const CsvMapping& mapping, std::string* error) {
    data::IniFile ini(data::IniFilePath(folder_));
    return WriteCsvMapping(ini, company_.text(data::Company::CompanyNo), mapping, error);
}

BankReview::Imported BankReview::store(const ReadResult& read) {
    Imported out;
    {
        invoicing::ShortOpen bank(folder_, data::FileKind::BankLine, prefix(), prompter_);
        if (!bank.fb) {
            out.message = "The bank lines cannot be opened; nothing was stored.";
            return out;
        }
        const StoreOutcome stored = StoreLines(bank.fb, read.lines, Stamp(today_), prompter_);
        if (!stored.ok) {
            out.message = "The bank lines could not be stored; nothing was stored.";
            return out;
        }
        out.ok = true;
        out.added = stored.added;
        out.message = std::to_string(stored.added.size()) + " new lines stored, " +
                      std::to_string(stored.duplicates) + " already on file";
        if (read.pending > 0)
            out.message += ", " + std::to_string(read.pending) + " pending left out";
        out.message += ".";
    }
    refresh();
    return out;
}

bool BankReview::change(int32_t recNo, LineState state, const std::string& custNo,
                        const std::string& invNo, const std::string& note, std::string* why) {
    bool ok = false;
    {
        invoicing::ShortOpen bank(folder_, data::FileKind::BankLine, prefix(), prompter_);
        auto stored = bank.fb ? ReadLine(bank.fb, recNo) : std::nullopt;
        if (!stored) {
            if (why) *why = "the bank line cannot be read";
        } else if (stored->state == LineState::Posted) {
            if (why) *why = "the line is posted already";
        } else {
            StoredLine updated = *stored;
            updated.state = state;
            updated.custNo = custNo;
            updated.paidInvNo = invNo;
            updated.note = data::FirstChars(note, 80);
            ok = ChangeLine(bank.fb, *stored, updated, prompter_);
            if (!ok && why) *why = "the bank line could not be written";
        }
    }
    refresh();
    return ok;
}

bool BankReview::confirm(int32_t recNo, std::string* why) {
    const ReviewRow* r = row(recNo);
    if (!r || !r->canConfirm()) {
        if (why) *why = "the line has no proposal to confirm";
        return false;
    }
    std::vector<std::string> invoices;
    for (const Allocation& a : r->proposal.invoices)
        invoices.push_back(a.invNo);
    return choose(recNo, r->proposal.custNo, invoices, why);
}

bool BankReview::choose(int32_t recNo, const std::string& custNo,
                        const std::vector<std::string>& invoices, std::string* why) {
    const ReviewRow* r = row(recNo);
    if (!r) {
        if (why) *why = "the line is not on file";
        return false;
    }
    auto amount = CentsOf(r->stored.line.amount);
    if (r->stored.line.reversal || r->stored.line.currency != books_.currency || !amount) {
        if (why) *why = "only a credit in the books' currency and whole cents is posted";
        return false;
    }
    const ChosenPayment pay = PaymentForChoice(*amount, custNo, invoices, books_);
    if (!pay.proposal) {
        if (why) *why = pay.why;
        return false;
    }
    const std::string note = ConfirmedNote(invoices);
    if (note.size() > 80) {
        if (why) *why = "too many invoices for one line; post the rest by hand";
        return false;
    }
    return change(recNo, LineState::Matched, pay.proposal->custNo,
                  invoices.empty() ? std::string() : invoices.front(), note, why);
}

bool BankReview::ignore(int32_t recNo, std::string* why) {
    return change(recNo, LineState::Ignored, "", "", "", why);
}

bool BankReview::reopen(int32_t recNo, std::string* why) {
    return change(recNo, LineState::New, "", "", "", why);
}

BankReview::PostSummary BankReview::postConfirmed() {
    PostSummary summary;
    std::vector<int32_t> confirmed;
    for (const ReviewRow& r : rows_)
        if (r.stored.state == LineState::Matched) confirmed.push_back(r.stored.recNo);
    for (int32_t recNo : confirmed) {
        // Each line against the books as the lines before it left them.
        if (!refresh()) {
            ++summary.failed;
            summary.messages.push_back("The books cannot be read; the other lines wait.");
            break;
        }
        const ReviewRow* r = row(recNo);
        if (!r || r->stored.state != LineState::Matched) continue;
        const std::string what = IsoDate(r->stored.line.bookDate) + " " + r->stored.line.amount +
                                 " " + r->stored.line.currency;
        if (!r->canPost()) {
            const std::string stale = r->problem;
            change(recNo, LineState::New, "", "", "Proposal went stale: " + stale, nullptr);
            ++summary.stale;
            summary.messages.push_back(what + " is new again: " + stale);
            continue;
        }
        const Proposal proposal = r->proposal;
        PostResult result;
        {
            invoicing::ShortOpen bank(folder_, data::FileKind::BankLine, prefix(), prompter_);
            invoicing::ShortOpen invoices(folder_, data::FileKind::Invoice, prefix(), prompter_);
            invoicing::ShortOpen lines(folder_, data::FileKind::InvoiceLine, prefix(), prompter_);
            invoicing::ShortOpen memos(folder_, data::FileKind::Memo, prefix(), prompter_);
            if (!bank.fb || !invoices.fb || !lines.fb || !memos.fb) {
                result.why = "the invoice files cannot be opened";
            } else {
                invoicing::SaveFiles files{folder_,  company_, invoices.fb, lines.fb,
                                           memos.fb, nullptr,  today_};
                result = PostLine(files, bank.fb, recNo, proposal, prompter_);
            }
        }
        switch (result.status) {
            case PostStatus::Posted:
                ++summary.posted;
                break;
            case PostStatus::Stale:
                ++summary.stale;
                summary.messages.push_back(what + " is new again: " + result.why);
                break;
            case PostStatus::Refused:
            case PostStatus::Failed:
                ++summary.failed;
                summary.messages.push_back(what + " was not posted: " + result.why);
                break;
        }
    }
    refresh();
    return summary;
}

}  // namespace invarro::banking
