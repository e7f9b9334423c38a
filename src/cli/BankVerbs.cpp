#include "cli/BankVerbs.h"

#include <cstdio>
#include <set>

#include "banking/BankLines.h"
#include "banking/Csv.h"
#include "banking/Match.h"
#include "banking/Post.h"
#include "banking/Review.h"
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

banking::ReadResult ReadStatement(Context& ctx, const std::string& bytes,
                                  const std::string& format) {
    if (!format.empty() && format != "camt" && format != "mt940" && format != "ofx" &&
        format != "csv")
        throw UsageError("--format is camt, mt940, ofx or csv");
    data::IniFile ini(data::IniFilePath(ctx.folder));
    return banking::ReadStatementFile(
        bytes, format,
        banking::ReadCsvMapping(ini, ctx.session.company.text(data::Company::CompanyNo)));
}

std::optional<banking::MatchBooks> Books(Context& ctx, storage::Fileblock* invoices,
                                         storage::Fileblock* bank) {
    data::ExistingFileblock customers;
    data::OpenExisting(customers, ctx.folder, data::FileKind::Customer, Prefix(ctx), ctx.prompter);
    return banking::LoadBooks(invoices, customers.fb, bank,
                              banking::BooksCurrency(ctx.folder, ctx.session.company));
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
    const std::vector<std::string> other = banking::OtherAccounts(read.lines, iban);
    if (!other.empty())
        return ctx.fail(path + ": the statement is of account " + other.front() +
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
            Print(ctx, Shown(*s, banking::Described(banking::Propose(s->line, *books))));
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
    banking::BankReview review(ctx.folder, ctx.session.company, ctx.prompter, ctx.today());
    std::string error;
    if (!review.refresh(&error)) return ctx.fail(error);
    for (const banking::ReviewRow& r : review.rows())
        if (!wanted || r.stored.state == *wanted) Print(ctx, Shown(r.stored, r.shown));
    return kExitOk;
}

}  // namespace invarro::cli
