#include "cli/BankVerbs.h"

#include <cstdio>
#include <set>

#include "banking/BankLines.h"
#include "banking/Camt.h"
#include "banking/Csv.h"
#include "banking/Match.h"
#include "banking/Mt940.h"
#include "banking/Ofx.h"
#include "banking/Post.h"
#include "data/Ansi.h"
#include "data/EInvoiceData.h"
#include "data/Files.h"
#include "data/IniFile.h"
#include "data/Open.h"
#include "data/SideFiles.h"
#include "invoicing/InvEdit.h"

namespace invarro::cli {

namespace {

using banking::LineState;
using banking::StatementLine;
using banking::StoredLine;

void Print(const Context& ctx, const std::string& line) {
    std::fprintf(ctx.out(), "%s\n", line.c_str());
}

std::string Prefix(const Context& ctx) {
    return ctx.session.companyPrefix();
}

// One line as the listing shows it: date, amount and currency, state, payer, and what
// became of it or what is proposed.
std::string Shown(const StoredLine& s, const std::string& what) {
    std::string payer = s.line.payerName.empty() ? s.line.text : s.line.payerName;
    return banking::IsoDate(s.line.bookDate) + "  " + data::PadLeft(s.line.amount, 12) + " " +
           data::PadRight(s.line.currency, 3) + "  " +
           data::PadRight(banking::StateName(s.state), 7) + "  " +
           data::PadRight(data::FirstChars(payer, 30), 30) + "  " + what;
}

std::string Described(const banking::Proposal& p) {
    if (!p.found()) return "no proposal: " + p.why;
    std::string s = "customer " + p.custNo + ", ";
    for (std::size_t i = 0; i < p.invoices.size(); ++i) {
        if (i > 0) s += ", ";
        s += (p.invoices[i].partial ? "part of invoice " : "invoice ") + p.invoices[i].invNo + " " +
             p.invoices[i].amount.shownText();
    }
    if (!p.deposit.isZero()) s += ", deposit " + p.deposit.shownText();
    return s + " (" + p.why + ")";
}

// Whether a statement's account is the company's IBAN: the IBAN itself, or the German
// bank code and account number it is made of ("37040044/0532013000").
bool SameAccount(const std::string& account, const std::string& iban) {
    const std::string a = banking::CompactIban(account);
    if (a == iban) return true;
    const std::size_t slash = account.find('/');
    if (slash == std::string::npos || iban.rfind("DE", 0) != 0 || iban.size() != 22) return false;
    const std::string blz = data::TrimmedText(account.substr(0, slash));
    std::string konto = data::TrimmedText(account.substr(slash + 1));
    if (blz.size() != 8 || konto.empty() || konto.size() > 10) return false;
    konto.insert(0, 10 - konto.size(), '0');
    return iban.substr(4) == blz + konto;
}

banking::ReadResult ReadStatement(Context& ctx, const std::string& bytes, std::string format) {
    if (format.empty()) {
        if (banking::LooksLikeCamt(bytes))
            format = "camt";
        else if (banking::LooksLikeOfx(bytes))
            format = "ofx";
        else if (banking::LooksLikeMt940(bytes))
            format = "mt940";
        else
            format = "csv";
    }
    if (format == "camt") return banking::ReadCamt(bytes);
    if (format == "mt940") return banking::ReadMt940(bytes);
    if (format == "ofx") return banking::ReadOfx(bytes);
    if (format == "csv") {
        data::IniFile ini(data::IniFilePath(ctx.folder));
        return banking::ReadCsv(
            bytes,
            banking::ReadCsvMapping(ini, ctx.session.company.text(data::Company::CompanyNo)));
    }
    throw UsageError("--format is camt, mt940, ofx or csv");
}

// The books' currency: the company's e-invoice currency or the one its symbol names.
std::string BooksCurrency(const Context& ctx) {
    const data::CompanyEInvoice e = data::ReadCompanyEInvoice(ctx.folder, ctx.session.company);
    return data::InvoiceCurrency(e, ctx.session.company);
}

std::optional<banking::MatchBooks> Books(Context& ctx, storage::Fileblock* invoices,
                                         storage::Fileblock* bank) {
    data::ExistingFileblock customers;
    data::OpenExisting(customers, ctx.folder, data::FileKind::Customer, Prefix(ctx), ctx.prompter);
    return banking::LoadBooks(invoices, customers.fb, bank, BooksCurrency(ctx));
}

}  // namespace

int BankImport(Context& ctx, const Args& args) {
    const std::string path = args.positional[0];
    const std::string format = args.value("--format").value_or(std::string());
    const std::string post = args.value("--post").value_or(std::string());
    if (!post.empty() && post != "exact") throw UsageError("--post takes exact");
    auto bytes = data::ReadWholeFile(path);
    if (!bytes) return ctx.fail(path + ": the file cannot be read");
    const banking::ReadResult read = ReadStatement(ctx, *bytes, format);
    if (!read.ok)
        return ctx.fail(path + (read.errorLine > 0 ? ":" + std::to_string(read.errorLine) : "") +
                        ": " + read.error + "; nothing was stored");

    // A statement of another account than the company's is refused.
    const std::string iban =
        banking::CompactIban(data::ReadCompanyEInvoice(ctx.folder, ctx.session.company).iban);
    for (const StatementLine& l : read.lines)
        if (!iban.empty() && !l.account.empty() && !SameAccount(l.account, iban))
            return ctx.fail(path + ": the statement is of account " + l.account +
                            ", not of the company's account " + iban + "; nothing was stored");

    invoicing::ShortOpen bank(ctx.folder, data::FileKind::BankLine, Prefix(ctx), ctx.prompter);
    invoicing::ShortOpen invoices(ctx.folder, data::FileKind::Invoice, Prefix(ctx), ctx.prompter);
    if (!bank.fb || !invoices.fb) return ctx.fail("the bank lines or invoices cannot be opened");
    const data::Date today = ctx.today();
    char stamp[12];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d", today.year, today.month, today.day);
    const banking::StoreOutcome stored =
        banking::StoreLines(bank.fb, read.lines, stamp, ctx.prompter);
    if (!stored.ok) return ctx.fail("the bank lines could not be stored; nothing was stored");
    ctx.say(std::to_string(stored.added.size()) + " new lines stored, " +
            std::to_string(stored.duplicates) + " already on file" +
            (read.pending > 0 ? ", " + std::to_string(read.pending) + " pending left out" : ""));

    auto books = Books(ctx, invoices.fb, bank.fb);
    if (!books) return ctx.fail("the books cannot be read");
    for (int32_t recNo : stored.added)
        if (auto s = banking::ReadLine(bank.fb, recNo))
            Print(ctx, Shown(*s, Described(banking::Propose(s->line, *books))));
    if (post.empty()) return kExitOk;

    // Every line of this file still new on file: also those a run that stopped short stored.
    std::set<std::string> ofFile;
    for (const StatementLine& l : read.lines)
        ofFile.insert(banking::Fingerprint(l));
    auto all = banking::AllLines(bank.fb);
    if (!all) return ctx.fail("the bank lines cannot be read");
    invoicing::ShortOpen lines(ctx.folder, data::FileKind::InvoiceLine, Prefix(ctx), ctx.prompter);
    invoicing::ShortOpen memos(ctx.folder, data::FileKind::Memo, Prefix(ctx), ctx.prompter);
    if (!lines.fb || !memos.fb) return ctx.fail("the invoice files cannot be opened");
    int posted = 0, failed = 0;
    for (const StoredLine& s : *all) {
        if (s.state != LineState::New || !ofFile.count(banking::Fingerprint(s.line))) continue;
        books = Books(ctx, invoices.fb, bank.fb);
        if (!books) return ctx.fail("the books cannot be read");
        const banking::Proposal p = banking::Propose(s.line, *books);
        if (!p.exact()) continue;
        invoicing::SaveFiles files{
            ctx.folder, ctx.session.company, invoices.fb, lines.fb, memos.fb, nullptr, today};
        const banking::PostResult r = banking::PostLine(files, bank.fb, s.recNo, p, ctx.prompter);
        if (r.status == banking::PostStatus::Posted) {
            ++posted;
            Print(ctx, "posted: " + banking::IsoDate(s.line.bookDate) + " " + s.line.amount + " " +
                           s.line.currency + " to invoice " + p.invoices.front().invNo);
        } else {
            ++failed;
            ctx.say("not posted: " + banking::IsoDate(s.line.bookDate) + " " + s.line.amount +
                    ": " + r.why);
        }
    }
    ctx.say(std::to_string(posted) + " lines posted");
    return failed > 0 ? kExitFailed : kExitOk;
}

int BankList(Context& ctx, const Args& args) {
    std::optional<LineState> wanted;
    if (auto s = args.value("--state")) {
        wanted = banking::StateFromName(*s);
        if (!wanted) throw UsageError("--state is new, matched, posted or ignored");
    }
    invoicing::ShortOpen bank(ctx.folder, data::FileKind::BankLine, Prefix(ctx), ctx.prompter);
    invoicing::ShortOpen invoices(ctx.folder, data::FileKind::Invoice, Prefix(ctx), ctx.prompter);
    if (!bank.fb || !invoices.fb) return ctx.fail("the bank lines or invoices cannot be opened");
    auto all = banking::AllLines(bank.fb);
    auto books = Books(ctx, invoices.fb, bank.fb);
    if (!all || !books) return ctx.fail("the bank lines cannot be read");
    for (const StoredLine& s : *all) {
        if (wanted && s.state != *wanted) continue;
        std::string what;
        if (s.state == LineState::Posted)
            what = "paid " + s.paidInvNo + " of customer " + s.custNo;
        else if (s.state == LineState::Ignored)
            what = "ignored";
        else if (const StoredLine* paid = banking::ReturnedPayment(s, *all))
            what = "returns the payment of " + banking::IsoDate(paid->line.bookDate) +
                   " posted to invoice " + paid->paidInvNo + " of customer " + paid->custNo +
                   ": undo that payment if the money is gone";
        else
            what =
                (s.note.empty() ? "" : s.note + "; ") + Described(banking::Propose(s.line, *books));
        Print(ctx, Shown(s, what));
    }
    return kExitOk;
}

}  // namespace invarro::cli
