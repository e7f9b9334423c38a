// The verbs of invarro-cli. Each one takes the window's routine for its job and feeds it
// from the command line instead of from widgets.
//
// The table at the end of this file is the one list of the verbs and their options: the
// command line is parsed by it, and `invarro-cli --help`, `VERB --help` and the manual page
// invarro-cli(1) are written from it. To add a verb:
//   1. write its function here, `int Name(Context& ctx, const Args& args)`, returning
//      kExitOk, kExitFailed (via ctx.fail) or throwing UsageError for a wrong command line;
//   2. add its entry to the table: the words ("labels pdf"; a verb of two words joins the
//      group of its first word, which `GROUP --help` lists), the arguments after the words
//      as the usage line shows them, a one-sentence summary, and every option it takes as
//      {"--name", "VALUE", "what it does"} (VALUE empty for a switch), then the number of
//      arguments it takes at least and at most, whether it works on a company, and the
//      function. Keep the summary and option texts in the help's plain style;
//   3. give it a test in tests/cli. The manual page is written anew by the build, and its
//      test checks that every verb of --help is in it. A new option of an existing verb is
//      one more line in its entry.
// Prose of the manual page beyond the table (description, files, examples) is in Cli.cpp.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "app/Aging.h"
#include "app/BooksCheck.h"
#include "app/CompanyManager.h"
#include "app/Interest.h"
#include "app/MailPassword.h"
#include "app/MailSignIn.h"
#include "app/ServerMove.h"
#include "cli/BankVerbs.h"
#include "cli/Command.h"
#include "cli/PostingVerbs.h"
#include "customers/CExport.h"
#include "customers/CImport.h"
#include "data/Ansi.h"
#include "data/DataFolder.h"
#include "data/Delimited.h"
#include "data/Files.h"
#include "data/IniFile.h"
#include "data/Open.h"
#include "data/OwnFiles.h"
#include "data/Posting.h"
#include "data/Rebuild.h"
#include "data/SideFiles.h"
#include "data/Update.h"
#include "invoicing/IntWizd.h"
#include "invoicing/Receivables.h"
#include "invoicing/RepeatSet.h"
#include "maintenance/Backup.h"
#include "output/CStmnt.h"
#include "output/Demo.h"
#include "output/EInvoice.h"
#include "output/EMail.h"
#include "output/FormLetter.h"
#include "output/InvPrint.h"
#include "output/Labelwiz.h"
#include "output/Rpt.h"
#include "output/Rptselct.h"
#include "output/RtfReader.h"
#include "platform/zip/ZipArchive.h"
#include "products/PExport.h"
#include "products/PImport.h"
#include "products/ProdEdit.h"

namespace invarro::cli {

namespace {

using data::Company;
using data::Customer;
using data::Money;

void Print(const Context& ctx, const std::string& line) {
    std::fprintf(ctx.out(), "%s\n", line.c_str());
}

// Cut or padded to width characters, so that columns of names with accents stay in line
// and no character is cut in half.
std::string Pad(const std::string& text, size_t width, bool right = false) {
    const std::string cut = data::FirstChars(text, width);
    return right ? data::PadLeft(cut, width) : data::PadRight(cut, width);
}

std::string Prefix(const Context& ctx) {
    return ctx.session.companyPrefix();
}

// A file the command would write over: the window asks, the command keeps the file unless
// --yes was given. One of the data folder's own files is never written over.
bool MayWrite(const Context& ctx, const std::string& path) {
    if (const std::string problem = data::OwnFileProblem(ctx.folder, path); !problem.empty())
        throw UsageError(problem);
    if (!data::FileExists(path) || ctx.yes) return true;
    ctx.say(path + " exists; it was left as it is (--yes writes over it)");
    return false;
}

// The files an invoice document is made from, open for one command.
struct DocumentFilesOpen {
    invoicing::ShortOpen invoices, lines, memos;
    data::ExistingFileblock customers;
    explicit DocumentFilesOpen(Context& ctx)
        : invoices(ctx.folder, data::FileKind::Invoice, Prefix(ctx), ctx.prompter),
          lines(ctx.folder, data::FileKind::InvoiceLine, Prefix(ctx), ctx.prompter),
          memos(ctx.folder, data::FileKind::Memo, Prefix(ctx), ctx.prompter) {
        data::OpenExisting(customers, ctx.folder, data::FileKind::Customer, Prefix(ctx),
                           ctx.prompter);
    }
    output::DocumentFiles files() const { return {invoices.fb, lines.fb, memos.fb, customers.fb}; }
};

// The files a statement is made from, open for one command.
struct StatementFilesOpen {
    data::ExistingFileblock customers, invoices;
    explicit StatementFilesOpen(Context& ctx) {
        data::OpenExisting(customers, ctx.folder, data::FileKind::Customer, Prefix(ctx),
                           ctx.prompter);
        data::OpenExisting(invoices, ctx.folder, data::FileKind::Invoice, Prefix(ctx),
                           ctx.prompter);
    }
};

// The sign-in of the tokens: the keyring of sign-in tokens and the OAuth 2.0 client.
app::TokenServices TokenServicesOf(const Context& ctx) {
    app::TokenServices services;
    services.keyring = ctx.services.tokenKeyring ? ctx.services.tokenKeyring() : nullptr;
    services.client = ctx.services.oauth ? ctx.services.oauth() : nullptr;
    return services;
}

// The mail login as the desktop program makes it: the password from the keyring when the
// company keeps it there, and then a keyring that does not answer stops the run before any
// login; a company that signs in with a provider signs in with the stored token, refreshed
// when needed, and without one the run stops before any connection.
output::MailLogin LoginReader(const Context& ctx) {
    platform::Keyring* keyring = ctx.services.keyring ? ctx.services.keyring() : nullptr;
    const std::string folder = ctx.folder;
    const app::TokenServices tokens = TokenServicesOf(ctx);
    return output::MailLogin(
        [folder, keyring](const data::CompanyRecord& company, std::string* error) {
            return app::LoginPassword(folder, company, keyring, error);
        },
        [folder, tokens](const data::CompanyRecord& company,
                         std::string* error) -> std::optional<output::MailTokenLogin> {
            const std::optional<app::TokenLogin> token =
                app::MailAccessToken(folder, company, tokens, error);
            if (!token) return std::nullopt;
            return output::MailTokenLogin{token->user, token->accessToken};
        });
}

// --einvoice or --no-einvoice: whether an invoice PDF is a Factur-X e-invoice; nothing
// leaves it to the company's "E-invoice" setting.
std::optional<bool> EInvoiceArg(const Args& args) {
    const bool on = args.flag("--einvoice"), off = args.flag("--no-einvoice");
    if (on && off) throw UsageError("give --einvoice or --no-einvoice, not both");
    if (on || off) return on;
    return std::nullopt;
}

// Whether the e-mail verbs attach the document as PDF: --attach or --no-attach, else the
// company's own setting. The PDF canvas opens nothing. Nothing when the document is to
// be attached and this program cannot write PDF files.
std::optional<output::DocumentPdfMaker> MailPdf(const Context& ctx, const Args& args) {
    const bool on = args.flag("--attach"), off = args.flag("--no-attach");
    if (on && off) throw UsageError("give --attach or --no-attach, not both");
    const bool attach = on || (!off && output::AttachDocumentPdf(ctx.folder, ctx.session.company));
    output::DocumentPdfMaker maker;
    if (!attach) return maker;
    if (!ctx.services.pdfCanvas) return std::nullopt;
    maker.folder = ctx.folder;
    maker.canvas = ctx.services.pdfCanvas;
    maker.einvoice = EInvoiceArg(args);
    return maker;
}

constexpr const char* kCannotAttach =
    "this program cannot write PDF files, so it cannot attach the document (--no-attach sends "
    "the text alone)";

// The last line of an e-mail run; the job failed when anything was not sent.
int MailRunEnd(const Context& ctx, const output::MailRunCounts& c, int skipped,
               const std::string& what) {
    const int notSent = c.failed + c.notSent + c.missing;
    std::string line = std::to_string(c.sent) + " " + what + " sent, " + std::to_string(notSent) +
                       " not sent, " + std::to_string(skipped) + " skipped (no e-mail address)";
    if (c.stopped) line += "; the connection to the mail server was lost";
    if (!c.firstFailure.empty()) line += "; first not sent: " + c.firstFailure;
    ctx.say(line);
    return notSent == 0 ? kExitOk : kExitFailed;
}

// The mail settings were refused or the server could not be reached (the prompter has
// shown why): nothing went.
int NothingSent(const Context& ctx, int count, const std::string& what) {
    output::MailRunCounts counts;
    counts.notSent = count;
    counts.firstFailure = "no connection to the mail server (see above)";
    return MailRunEnd(ctx, counts, 0, what);
}

// ----------------------------------------------------------------------- companies

int Companies(Context& ctx, const Args&) {
    data::ExistingFileblock companies;
    data::OpenExisting(companies, ctx.folder, data::FileKind::Company, {}, ctx.prompter);
    if (!companies.fb) return ctx.fail("the company file cannot be opened");
    const std::optional<data::CompanyRecord> inUse = data::ReadLastCompany(ctx.folder);
    const std::string inUseNo =
        inUse ? data::TrimmedText(inUse->text(Company::CompanyNo)) : std::string();
    std::vector<std::pair<long, std::string>> rows;
    for (int32_t r = storage::NextUsedRecord(companies.fb, 0); r > 0 && storage::EngineOk;
         r = storage::NextUsedRecord(companies.fb, r)) {
        auto c = data::ReadBusinessRecord<Company>(companies.fb, r);
        if (!c) continue;
        const std::string no = data::TrimmedText(c->text(Company::CompanyNo));
        std::string line = Pad(no, 5, true) + "  " + data::TrimmedText(c->text(Company::Name));
        if (no == inUseNo) line += "  (in use)";
        rows.emplace_back(std::strtol(no.c_str(), nullptr, 10), line);
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& row : rows)
        Print(ctx, row.second);
    return kExitOk;
}

// ----------------------------------------------------------------------- aging

int Aging(Context& ctx, const Args& args) {
    const data::Date asOf =
        args.value("--as-of") ? ctx.date("--as-of", *args.value("--as-of")) : ctx.today();
    platform::FixedClock clock({asOf.year, asOf.month, asOf.day, 12, 0, 0});
    const platform::Clock& used = args.value("--as-of") ? clock : ctx.clock;
    const app::AgingOutcome outcome =
        app::RunAging(ctx.session, true, used, ctx.prompter, ctx.progress, app::RunHooks{});
    if (outcome.status == app::AgingStatus::BadDays) return kExitFailed;
    if (outcome.status != app::AgingStatus::Done)
        return ctx.fail(outcome.error.empty() ? "the aging could not run" : outcome.error);

    invoicing::ShortOpen customers(ctx.folder, data::FileKind::Customer, Prefix(ctx), ctx.prompter);
    if (!customers.fb) return ctx.fail("the customer file cannot be opened");
    std::vector<data::CustomerRecord> rows;
    for (int32_t r = storage::NextUsedRecord(customers.fb, 0); r > 0 && storage::EngineOk;
         r = storage::NextUsedRecord(customers.fb, r))
        if (auto c = data::ReadBusinessRecord<Customer>(customers.fb, r)) rows.push_back(*c);
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return data::TrimmedText(a.text(Customer::CustNo)) <
               data::TrimmedText(b.text(Customer::CustNo));
    });
    const std::array<std::string, 4> labels = invoicing::AgingLabels(ctx.session.company);
    std::string head = Pad("Cust#", 9) + Pad("Name", 30) + Pad("Balance", 14, true);
    for (const std::string& l : labels)
        head += Pad(data::TrimmedText(l), 14, true);
    Print(ctx, head);
    for (const data::CustomerRecord& c : rows) {
        std::string line = Pad(data::TrimmedText(c.text(Customer::CustNo)), 9) +
                           Pad(data::TrimmedText(c.text(Customer::Name)), 30) +
                           Pad(c.money(Customer::Balance).shownText(), 14, true);
        for (auto f :
             {Customer::Age0to30, Customer::Age31to60, Customer::Age61to90, Customer::AgeOver90})
            line += Pad(c.money(f).shownText(), 14, true);
        Print(ctx, line);
    }
    std::string total = Pad("Totals", 39) + Pad(outcome.total.shownText(), 14, true);
    for (const Money& m : outcome.totals)
        total += Pad(m.shownText(), 14, true);
    Print(ctx, total);
    ctx.say("aged " + std::to_string(outcome.customers) + " customers as of " +
            data::FormatUserDate(asOf, ctx.session.dateOrder));
    return kExitOk;
}

// ----------------------------------------------------------------------- invoice pdf

int InvoicePdf(Context& ctx, const Args& args) {
    std::optional<output::DocumentKind> kind;
    if (auto k = args.value("--kind")) {
        if (*k == "invoice")
            kind = output::DocumentKind::Invoice;
        else if (*k == "quote")
            kind = output::DocumentKind::Quote;
        else if (*k == "packing-slip")
            kind = output::DocumentKind::PackingSlip;
        else if (*k == "file-copy")
            kind = output::DocumentKind::FileCopy;
        else
            throw UsageError("--kind is invoice, quote, packing-slip or file-copy");
    }
    const std::string out = args.value("--out").value_or(std::string());
    if (!out.empty() && !MayWrite(ctx, out)) return kExitFailed;
    if (!ctx.services.pdfCanvas) return ctx.fail("this program cannot write PDF files");
    DocumentFilesOpen open(ctx);
    if (!open.invoices.fb) return ctx.fail("the invoice file cannot be opened");
    const output::DocumentFiles files = open.files();
    std::unique_ptr<output::Canvas> canvas = ctx.services.pdfCanvas();
    const output::PdfOutcome made =
        output::InvoicePdf(files, data::UpperText(args.positional[0]),
                           output::FormContext{ctx.session.company, ctx.folder}, *canvas,
                           ctx.prompter, kind, out, EInvoiceArg(args));
    if (!made.ok) return ctx.fail(made.error);
    if (!made.error.empty()) ctx.say(made.error);
    if (!made.note.empty()) ctx.say(made.note);
    Print(ctx, made.path);
    return kExitOk;
}

// ----------------------------------------------------------------------- invoice xml

int InvoiceXml(Context& ctx, const Args& args) {
    const std::string out = args.value("--out").value_or(std::string());
    if (!out.empty() && !MayWrite(ctx, out)) return kExitFailed;
    DocumentFilesOpen open(ctx);
    if (!open.invoices.fb) return ctx.fail("the invoice file cannot be opened");
    const output::EInvoiceResult made =
        output::InvoiceCiiXml(open.files(), ctx.folder, data::UpperText(args.positional[0]),
                              ctx.session.company, ctx.prompter);
    if (!made.ok()) return ctx.fail(made.error);
    if (out.empty()) {
        std::fputs(made.xml.c_str(), ctx.services.out);
        return kExitOk;
    }
    std::string error;
    if (!data::ReplaceUserFile(out, made.xml, &error)) return ctx.fail(error);
    Print(ctx, out);
    return kExitOk;
}

// ----------------------------------------------------------------------- invoice email

int InvoiceEmail(Context& ctx, const Args& args) {
    if (!ctx.services.mailer) return ctx.fail("this program cannot send e-mail");
    const std::optional<output::DocumentPdfMaker> pdf = MailPdf(ctx, args);
    if (!pdf) return ctx.fail(kCannotAttach);
    const std::string number = data::UpperText(args.positional[0]);
    DocumentFilesOpen open(ctx);
    if (!open.invoices.fb) return ctx.fail("the invoice file cannot be opened");
    const output::DocumentFiles files = open.files();
    std::unique_ptr<platform::Mailer> mailer = ctx.services.mailer();
    output::InvoiceMailOutcome sent;
    if (!output::RunMailSession(
            ctx.session.company, *mailer, ctx.prompter, ctx.progress,
            [&] {
                sent = output::EmailInvoiceText(
                    files, number, ctx.session.company, *mailer, ctx.prompter, ctx.clock, nullptr,
                    false, *pdf, output::ReadMailTexts(ctx.folder, ctx.session.company));
            },
            LoginReader(ctx)))
        return NothingSent(ctx, 1, "invoices");
    using R = output::InvoiceMailOutcome::Result;
    if (sent.result == R::NotFound) return ctx.fail("invoice " + number + " is not on file");
    output::MailRunCounts counts;
    int skipped = 0;
    if (sent.result == R::Sent) {
        ++counts.sent;
        Print(ctx, number);
    } else if (sent.result == R::NoAddress) {
        ++skipped;
    } else {
        ++counts.failed;
        counts.firstFailure = "invoice " + number + ". " + sent.error.text;
    }
    return MailRunEnd(ctx, counts, skipped, "invoices");
}

// ----------------------------------------------------------------------- repeat

int Repeat(Context& ctx, const Args& args) {
    const data::DateOrder order = ctx.session.dateOrder;
    const data::Date through =
        args.value("--through") ? ctx.date("--through", *args.value("--through")) : ctx.today();
    const data::Date invoiceDate = args.value("--invoice-date")
                                       ? ctx.date("--invoice-date", *args.value("--invoice-date"))
                                       : through;
    invoicing::RunFiles open(ctx.folder, Prefix(ctx), ctx.prompter, true);
    if (!open.ok()) return ctx.fail(std::string(invoicing::kRunFilesUnavailable));
    invoicing::SaveFiles files = open.saveFiles(ctx.session.company, ctx.today());
    const std::vector<invoicing::DueMaster> due =
        invoicing::FindDueMasters(files.invoices, through, order);
    if (due.empty()) {
        ctx.say(std::string(invoicing::kNoneDue));
        return kExitOk;
    }
    if (args.flag("--dry-run")) {
        Print(ctx, invoicing::DueListHeader());
        for (const invoicing::DueMaster& m : due)
            Print(ctx, invoicing::DueListLine(m));
        ctx.say(invoicing::DueSummary(due) + " Nothing was generated (--dry-run).");
        return kExitOk;
    }
    const invoicing::GenerationRun run{
        data::FormatUserDate(invoiceDate, order),
        args.value("--reference").value_or(std::string(invoicing::kDefaultReference))};
    const invoicing::GenerationOutcome outcome =
        invoicing::GenerateRepeatInvoices(files, due, run, order, ctx.prompter);
    for (const invoicing::GeneratedInvoice& g : outcome.written)
        Print(ctx, Pad(g.number, 10) + Pad(g.master, 10) + Pad(g.total.shownText(), 14, true));
    ctx.say(outcome.message);
    for (const std::string& s : outcome.skipped)
        ctx.say("not generated: " + s);
    return outcome.skipped.empty() ? kExitOk : kExitFailed;
}

// ----------------------------------------------------------------------- interest

int Interest(Context& ctx, const Args& args) {
    const data::DateOrder order = ctx.session.dateOrder;
    const data::CompanyRecord& company = ctx.session.company;
    const data::Date date =
        args.value("--date") ? ctx.date("--date", *args.value("--date")) : ctx.today();
    invoicing::InterestSettings s = invoicing::InterestSettingsOf(company, date, order);
    s.invoiceDate = data::FormatUserDate(date, order);

    const std::string over = data::TrimmedText(args.value("--over").value_or(""));
    const std::optional<invoicing::AgingLimits> limits = invoicing::AgingLimitsOf(company);
    if (!limits) return ctx.fail(std::string(invoicing::kBadAgingDays));
    const std::array<int, 3> days{limits->d1, limits->d2, limits->d3};
    const auto it = std::find(days.begin(), days.end(), std::atoi(over.c_str()));
    if (over.empty() || it == days.end())
        throw UsageError("--over is one of the company's aging limits: " + std::to_string(days[0]) +
                         ", " + std::to_string(days[1]) + " or " + std::to_string(days[2]));
    s.agingChoice = int(it - days.begin());

    const auto percent = args.value("--percent");
    const auto flat = args.value("--flat");
    if (bool(percent) == bool(flat)) throw UsageError("give either --percent or --flat");
    if (flat) {
        s.flat = true;
        s.flatRate = *flat;
    } else {
        s.flat = false;
        s.percent = *percent;
    }
    if (auto minimum = args.value("--minimum")) s.minimum = *minimum;
    // Rates and amounts out of their bounds are refused before anything is aged or written.
    if (const auto problem = invoicing::CheckInterestSettings(s)) {
        const char* option = problem->field == invoicing::InterestField::Percent   ? "--percent"
                             : problem->field == invoicing::InterestField::Minimum ? "--minimum"
                                                                                   : "--flat";
        throw UsageError(std::string(option) + ": " + problem->text);
    }

    // The aging the scan begins with and the charges are one posting, run again whole when
    // it meets another program's lock: a run that fails or is stopped leaves the customers
    // as they were.
    const bool dryRun = args.flag("--dry-run");
    std::optional<invoicing::InterestScan> scan;
    invoicing::InterestOutcome outcome;
    bool filesOpen = true;
    const data::PostingRun run =
        data::RunPosting(ctx.prompter, [&](data::Posting&, platform::Prompter& held) {
            outcome = invoicing::InterestOutcome{};
            filesOpen = true;
            scan = app::ScanInterest(ctx.session, s, held, ctx.progress, app::RunHooks{});
            if (!scan) return false;
            if (scan->rows.empty() || dryRun) return true;
            invoicing::RunFiles open(ctx.folder, Prefix(ctx), held, false);
            filesOpen = open.ok();
            if (!filesOpen) return false;
            invoicing::SaveFiles files = open.saveFiles(ctx.session.company, ctx.today());
            outcome = invoicing::GenerateInterest(files, *scan, s, order, held);
            return outcome.written;
        });
    if (!filesOpen) return ctx.fail(std::string(invoicing::kRunFilesUnavailable));
    if (!scan) return kExitFailed;
    if (!outcome.refused.empty()) return kExitUsage;
    if (!run.committed) {
        if (outcome.written)
            return ctx.fail("the interest run could not be written (error " +
                            std::to_string(run.engineError) + "); no interest was charged");
        if (run.busy || scan->rows.empty() || dryRun)
            return ctx.fail("the books could not be written (error " +
                            std::to_string(run.engineError) + "); nothing was changed");
        return kExitFailed;
    }
    if (scan->rows.empty()) return kExitOk;
    if (dryRun) {
        Print(ctx, Pad("Customer Name", 36) + Pad("Customer#", 10) + Pad("Overdue", 14, true) +
                       Pad("Interest Chg.", 14, true));
        for (const invoicing::InterestRow& r : scan->rows)
            Print(ctx, Pad(r.name, 36) + Pad(r.custNo, 10) + Pad(r.overdue.shownText(), 14, true) +
                           Pad(r.charge.shownText(), 14, true));
        Print(ctx, Pad("Totals:", 46) + Pad(scan->totalOverdue.shownText(), 14, true) +
                       Pad(scan->totalCharge.shownText(), 14, true));
        ctx.say(std::to_string(scan->rows.size()) +
                " customers would be charged. Nothing was generated (--dry-run).");
        return kExitOk;
    }
    for (const std::string& line :
         invoicing::InterestReportLines(*scan, s, ctx.session.company, ctx.clock.now()))
        Print(ctx, line);
    ctx.say(std::to_string(outcome.created) + " interest invoices were created, " +
            outcome.charged.shownText() + " charged.");
    return outcome.created == int(scan->rows.size()) ? kExitOk : kExitFailed;
}

// ----------------------------------------------------------------------- backup, restore

int Backup(Context& ctx, const Args& args) {
    const std::string target = args.positional[0];
    if (!maintenance::AcceptLocation(maintenance::Mode::Backup, target))
        throw UsageError("the backup folder needs a name longer than one character");
    maintenance::BackupRequest request;
    request.dataFolder = ctx.folder;
    request.targetFolder = target;
    request.today = ctx.today();
    request.dateOrder = ctx.session.dateOrder;
    platform::zip::ZipArchive zip;
    maintenance::FileMover mover;
    const maintenance::BackupOutcome outcome = maintenance::RunBackup(request, zip, mover);
    if (!outcome.ok) return ctx.fail("backup failed: " + outcome.error);
    if (!outcome.warning.empty()) ctx.say(outcome.warning);
    Print(ctx, outcome.archivePath);
    ctx.say(std::to_string(outcome.files) + " files backed up.");
    return kExitOk;
}

int Restore(Context& ctx, const Args& args) {
    const std::string archive = args.positional[0];
    if (!maintenance::AcceptLocation(maintenance::Mode::Restore, archive))
        return ctx.fail(maintenance::NoArchiveChosenMessage().text);
    if (ctx.prompter.ask(maintenance::RestoreWarning()) != platform::Answer::Yes ||
        ctx.prompter.ask(maintenance::RestoreConfirm(archive)) != platform::Answer::Ok)
        return ctx.fail("nothing was restored");
    if (!data::FileExists(archive)) return ctx.fail(maintenance::ArchiveNotFoundMessage().text);
    platform::zip::ZipArchive zip;
    maintenance::FileMover mover;
    const maintenance::RestoreOutcome outcome =
        maintenance::RunRestore(ctx.folder, archive, zip, mover, maintenance::RestoreHooks{});
    if (outcome.status != maintenance::RestoreStatus::Done)
        return ctx.fail("restore failed: " + outcome.error);
    ctx.say(maintenance::RestoreCompleteMessage().text + " " + std::to_string(outcome.files) +
            " files.");
    return kExitOk;
}

// ----------------------------------------------------------------------- export, import

enum class ListKind { Customers, Products };
ListKind KindArg(const std::string& text) {
    if (text == "customers") return ListKind::Customers;
    if (text == "products") return ListKind::Products;
    throw UsageError("export and import take customers or products, not \"" + text + "\"");
}

data::DelimitedFormat FormatArg(const std::optional<std::string>& text) {
    data::DelimitedFormat f;
    const std::string t = text.value_or("csv");
    if (t == "csv")
        f.kind = data::DelimitedKind::CsvFile;
    else if (t == "comma-quote")
        f.kind = data::DelimitedKind::CommaQuote;
    else if (t == "comma")
        f.kind = data::DelimitedKind::CommaOnly;
    else if (t == "tab") {
        f.kind = data::DelimitedKind::Character;
        f.separator = '\t';
    } else if (t.rfind("char:", 0) == 0) {
        const std::optional<char> c = data::SeparatorFromEntry(t.substr(5));
        if (!c) throw UsageError("the values cannot be separated by \"" + t.substr(5) + "\"");
        f.kind = data::DelimitedKind::Character;
        f.separator = *c;
    } else {
        throw UsageError("--format is csv, comma-quote, comma, tab or char:C");
    }
    return f;
}

int Export(Context& ctx, const Args& args) {
    const ListKind kind = KindArg(args.positional[0]);
    const std::string path = args.positional[1];
    const data::DelimitedFormat format = FormatArg(args.value("--format"));
    const data::TextEncoding encoding =
        args.flag("--utf8") ? data::TextEncoding::Utf8 : data::TextEncoding::Windows1252;
    if (!MayWrite(ctx, path)) return kExitFailed;
    std::vector<std::string> lines;
    {
        invoicing::ShortOpen fb(
            ctx.folder,
            kind == ListKind::Customers ? data::FileKind::Customer : data::FileKind::Product,
            Prefix(ctx), ctx.prompter);
        if (!fb.fb) return ctx.fail("the file cannot be opened");
        if (kind == ListKind::Customers) {
            customers::CustomerExportChoice choice;
            choice.format = format;
            choice.encoding = encoding;
            lines = customers::CustomerExportLines(fb.fb, choice, ctx.progress);
        } else {
            products::ProductExportChoice choice;
            choice.format = format;
            choice.encoding = encoding;
            lines = products::ProductExportLines(fb.fb, choice, ctx.progress);
        }
    }
    std::string error;
    if (!data::WriteDelimitedFile(path, lines, encoding, &error)) return ctx.fail(error);
    ctx.say(data::ExportedText(lines.size()));
    return kExitOk;
}

int Import(Context& ctx, const Args& args) {
    const ListKind kind = KindArg(args.positional[0]);
    const std::string path = args.positional[1];
    char separator = ',';
    if (auto s = args.value("--separator")) {
        const std::optional<char> c =
            *s == "tab" ? std::optional<char>('\t') : data::SeparatorFromEntry(*s);
        if (!c) throw UsageError("the values cannot be separated by \"" + *s + "\"");
        separator = *c;
    }
    if (!data::FileExists(path)) return ctx.fail(path + " does not exist");
    const data::DelimitedText text = data::ReadImportFile(path, separator);
    if (!text.ok()) return ctx.fail(std::string(data::kWrongFormatText) + " " + text.error);
    const std::string prefix = Prefix(ctx);
    if (kind == ListKind::Customers) {
        const auto rows = customers::CustomerImportRows(text);
        if (rows.empty()) return ctx.fail(std::string(data::kNoRecordsText));
        const bool force = args.flag("--force-shipping");
        if (ctx.prompter.ask(customers::CustomerPreviewMessage(rows.front(), force)) !=
            platform::Answer::Ok)
            return ctx.fail("nothing was imported");
        customers::CustomerImportResult result;
        {
            invoicing::ShortOpen fb(ctx.folder, data::FileKind::Customer, prefix, ctx.prompter);
            if (!fb.fb) return ctx.fail("the customer file cannot be opened");
            customers::CustomerFiles files{ctx.folder, ctx.session.company, fb.fb};
            result = customers::ImportCustomers(files, rows, force, ctx.progress, ctx.prompter);
        }
        ctx.prompter.ask(customers::CustomerImportDoneMessage(result));
        // The import is on file now, said before the rebuild: a rebuild that is stopped is
        // finished by the next program to open the folder.
        Print(ctx, std::to_string(result.added) + " customers imported");
        // The stored rows have no keys yet: the company's files are rebuilt.
        if (result.added > 0 && !data::RebuildCompanyFiles(ctx.folder, prefix, ctx.progress))
            return ctx.fail("unable to rebuild the data files: error " +
                            std::to_string(storage::EngineError) +
                            "; they are rebuilt when the data folder is next opened");
        return result.failed == 0 && !result.stopped ? kExitOk : kExitFailed;
    }
    const auto rows = products::ProductImportRows(text);
    if (rows.empty()) return ctx.fail(std::string(data::kNoRecordsText));
    data::ImportResult result;
    {
        invoicing::ShortOpen fb(ctx.folder, data::FileKind::Product, prefix, ctx.prompter);
        if (!fb.fb) return ctx.fail("the product file cannot be opened");
        result = products::ImportProducts(fb.fb, rows,
                                          products::TodayText(ctx.session.company, ctx.clock),
                                          ctx.progress, ctx.prompter);
    }
    Print(ctx, std::to_string(result.added) + " products imported");
    if (result.added > 0 && !products::RebuildProductFile(ctx.folder, prefix, ctx.progress))
        return ctx.fail("unable to rebuild the product file: error " +
                        std::to_string(storage::EngineError) +
                        "; it is rebuilt when the data folder is next opened");
    ctx.prompter.ask(products::ProductImportDoneMessage(result));
    return result.failed == 0 && !result.stopped ? kExitOk : kExitFailed;
}

// ----------------------------------------------------------------------- check

int Check(Context& ctx, const Args& args) {
    app::BooksCheck found = app::CheckBooks(ctx.session, ctx.clock, ctx.prompter, ctx.progress);
    for (const app::BooksProblem& p : found.problems)
        Print(ctx, p.line());
    ctx.say(std::to_string(found.problems.size()) + " problems in " +
            std::to_string(found.invoices) + " transactions, " + std::to_string(found.lines) +
            " lines, " + std::to_string(found.memos) + " memos and " +
            std::to_string(found.customers) + " customers");
    if (found.stopped) return ctx.fail("the check was stopped before its end");
    if (!args.flag("--repair")) return found.clean() ? kExitOk : kExitFailed;
    if (found.has(app::ProblemKind::Structure) || found.has(app::ProblemKind::Unreadable))
        return ctx.fail(
            "the files are damaged; rebuild them (invarro-fbtool rebuild, or Rebuild "
            "Data Files) before a repair");
    const app::BooksRepair repair =
        app::RepairBooks(ctx.session, ctx.clock, ctx.prompter, ctx.progress);
    for (const std::string& change : repair.changes)
        Print(ctx, "repaired: " + change);
    if (!repair.ok) return ctx.fail("repair stopped: " + repair.error);
    found = app::CheckBooks(ctx.session, ctx.clock, ctx.prompter, ctx.progress);
    for (const app::BooksProblem& p : found.problems)
        Print(ctx, "remains: " + p.line());
    ctx.say(std::to_string(repair.changes.size()) + " fields rewritten, " +
            std::to_string(found.problems.size()) + " problems remain");
    return found.clean() ? kExitOk : kExitFailed;
}

// ----------------------------------------------------------------------- statements pdf

output::StatementPeriod StatementPeriodOf(const Context& ctx, const Args& args) {
    output::StatementPeriod period;
    if (auto from = args.value("--from")) period.from = ctx.date("--from", *from);
    if (auto to = args.value("--to")) period.to = ctx.date("--to", *to);
    if (period.from && period.to && *period.to < *period.from)
        throw UsageError("--to is before --from");
    return period;
}

// The customers named with --customer, or the batch statement window's selection (a
// balance not zero). Nothing when the customer file cannot be read.
std::optional<std::vector<std::string>> StatementCustomers(const Args& args,
                                                           const output::StatementFiles& files,
                                                           output::BatchSelection sel,
                                                           const data::CompanyRecord& company) {
    auto named = args.values.find("--customer");
    if (named != args.values.end()) return named->second;
    sel.skipNegative = args.flag("--skip-negative");
    sel.unpaidOnly = args.flag("--unpaid-only");
    return output::SelectStatementCustomers(files, sel, company);
}

int StatementsPdf(Context& ctx, const Args& args) {
    const output::StatementPeriod period = StatementPeriodOf(ctx, args);
    const std::string outDir = args.value("--out").value_or(std::string());
    if (!outDir.empty() && !data::EnsureFolder(outDir))
        return ctx.fail("cannot make the folder " + outDir);
    if (!ctx.services.pdfCanvas) return ctx.fail("this program cannot write PDF files");
    StatementFilesOpen open(ctx);
    if (!open.customers.fb || !open.invoices.fb)
        return ctx.fail("the customer or invoice file cannot be opened");
    const output::StatementFiles files{open.customers.fb, open.invoices.fb};
    const bool unpaidOnly = args.flag("--unpaid-only");

    const bool batch = !args.value("--customer");
    output::BatchSelection sel;
    sel.emailMode = false;
    sel.excludeEmail = args.flag("--skip-email");
    sel.period = period;
    const auto selected = StatementCustomers(args, files, sel, ctx.session.company);
    if (!selected) return ctx.fail("the customer file cannot be read");
    const std::vector<std::string>& chosen = *selected;
    if (chosen.empty()) {
        ctx.say(std::string(output::kNoStatements));
        return kExitOk;
    }
    const output::FormContext form{ctx.session.company, ctx.folder};
    std::unique_ptr<output::Canvas> canvas = ctx.services.pdfCanvas();
    int failed = 0;
    output::BatchRun run;
    run.customers = chosen;
    run.batchSize = int(chosen.size());
    run.unpaidOnly = unpaidOnly;
    run.period = period;
    output::BatchHooks hooks;
    hooks.render = [&](const output::Statement& s) {
        if (!s.customerFound) {
            ctx.say("customer " + s.custNo + " is not on file");
            ++failed;
            return true;
        }
        const output::PdfOutcome made =
            output::WriteStatementPdf(*canvas, s, form, ctx.today(), outDir);
        if (!made.ok) {
            ctx.say(made.error);
            ++failed;
            return false;
        }
        Print(ctx, made.path);
        return true;
    };
    const output::BatchOutcome outcome = output::RunStatementBatch(
        files, run, ctx.session.company, nullptr, ctx.prompter, ctx.progress, hooks);
    if (batch && outcome.completed && failed == 0)
        output::StoreLastBatchDate(ctx.folder, ctx.session.company, ctx.today(), ctx.prompter);
    ctx.say(std::to_string(outcome.done - failed) + " statements written.");
    return outcome.completed && failed == 0 ? kExitOk : kExitFailed;
}

// ----------------------------------------------------------------------- statements email

int StatementsEmail(Context& ctx, const Args& args) {
    const output::StatementPeriod period = StatementPeriodOf(ctx, args);
    if (!ctx.services.mailer) return ctx.fail("this program cannot send e-mail");
    const std::optional<output::DocumentPdfMaker> pdf = MailPdf(ctx, args);
    if (!pdf) return ctx.fail(kCannotAttach);
    StatementFilesOpen open(ctx);
    if (!open.customers.fb || !open.invoices.fb)
        return ctx.fail("the customer or invoice file cannot be opened");
    const output::StatementFiles files{open.customers.fb, open.invoices.fb};
    const data::CompanyRecord& company = ctx.session.company;
    const bool batch = !args.value("--customer");

    // The e-mail batch leaves out customers without an address; they are the skipped ones.
    output::BatchSelection sel;
    sel.emailMode = true;
    sel.excludeEmail = true;
    sel.period = period;
    const auto selected = StatementCustomers(args, files, sel, company);
    sel.excludeEmail = false;
    const auto all = batch ? StatementCustomers(args, files, sel, company) : selected;
    if (!selected || !all) return ctx.fail("the customer file cannot be read");
    const int skipped = int(all->size() - selected->size());
    if (selected->empty()) {
        ctx.say(std::string(output::kNoStatements));
        return MailRunEnd(ctx, output::MailRunCounts{}, skipped, "statements");
    }

    output::BatchRun run;
    run.customers = *selected;
    run.batchSize = int(selected->size());
    run.unpaidOnly = args.flag("--unpaid-only");
    run.period = period;
    std::unique_ptr<platform::Mailer> mailer = ctx.services.mailer();
    output::StatementMailRun mailed;
    if (!output::RunMailSession(
            company, *mailer, ctx.prompter, ctx.progress,
            [&] {
                mailed = output::EmailStatementBatch(files, run, company, ctx.today(), *mailer,
                                                     nullptr, ctx.prompter, ctx.progress, {}, *pdf,
                                                     output::ReadMailTexts(ctx.folder, company));
            },
            LoginReader(ctx)))
        return NothingSent(ctx, int(run.customers.size()), "statements");
    if (batch && mailed.batch.completed && mailed.counts.failed == 0)
        output::StoreLastBatchDate(ctx.folder, ctx.session.company, ctx.today(), ctx.prompter);
    return MailRunEnd(ctx, mailed.counts, skipped, "statements");
}

// ----------------------------------------------------------------------- email login

// Signs the company in from a terminal with the device code: the address to open and the
// code to type are printed, and the command waits until the sign-in was approved there.
int EmailLogin(Context& ctx, const Args&) {
    const std::string number = Prefix(ctx);
    const data::IniFile ini(data::IniFilePath(ctx.folder));
    const app::MailSignInSettings settings = app::ReadMailSignIn(ini, number);
    if (!settings.oauth())
        return ctx.fail("company " + number +
                        " signs in to its mail server with a password; choose Microsoft 365, "
                        "Google or another provider under \"Sign in with\" on the E-Mail tab of "
                        "Company Options first");
    const app::TokenServices tokens = TokenServicesOf(ctx);
    std::function<bool(int)> pause = ctx.services.pause;
    if (!pause)
        pause = [](int seconds) {
            std::this_thread::sleep_for(std::chrono::seconds(seconds));
            return true;
        };
    const app::SignInOutcome out = app::SignInWithDevice(
        ctx.folder, number, settings, tokens,
        [&](const platform::DeviceCode& code) {
            ctx.say("To sign in, open " + code.verificationUri +
                    " in a web browser and enter the code " + code.userCode + ".");
        },
        pause);
    if (!out.ok) return ctx.fail(out.error);
    Print(ctx, out.account);
    ctx.say("Company " + number + " is signed in as " + out.account + ".");
    return kExitOk;
}

// ----------------------------------------------------------------------- report

int ReportList(const Context& ctx) {
    for (const output::ReportInfo& r : output::Reports())
        Print(ctx, Pad(std::string(r.commandName), 24) + std::string(r.name));
    return kExitOk;
}

// ------------------------------------------------------------------ labels and letters

// The customers of a label or letter run, as the Label Wizard's queue holds them: read
// from a record list, named one by one, or, without either, every customer as "Load All
// Customers" appends them.
std::optional<output::LabelQueue> QueueOf(Context& ctx, const Args& args,
                                          storage::Fileblock* customers) {
    output::LabelQueue queue;
    const auto named = args.values.find("--customer");
    const bool byName = named != args.values.end() && !named->second.empty();
    if (const auto list = args.value("--queue")) {
        if (byName) throw UsageError("--queue and --customer cannot be given together");
        std::string error;
        const auto entries = output::ReadRecordList(*list, &error);
        if (!entries) {
            ctx.say(error);
            return std::nullopt;
        }
        for (const output::LabelEntry& e : *entries)
            queue.add(e);
    } else if (byName) {
        for (const std::string& number : named->second) {
            const auto customer = output::FindCustomerByNumber(customers, data::UpperText(number));
            if (!customer) {
                ctx.say("customer " + number + " is not on file");
                return std::nullopt;
            }
            queue.add(output::LabelEntryFor(*customer));
        }
    } else {
        output::AppendCustomers(customers, queue, [](const data::CustomerRecord&) { return true; });
    }
    return queue;
}

// Opens the customer file into customers and makes the run's queue; nothing (and the
// reason said) when the file cannot be opened, a customer is not found or the queue is
// empty.
std::optional<output::LabelQueue> OpenQueue(Context& ctx, const Args& args,
                                            data::ExistingFileblock& customers,
                                            const std::string& emptyQueue) {
    data::OpenExisting(customers, ctx.folder, data::FileKind::Customer, Prefix(ctx), ctx.prompter);
    if (!customers.fb) {
        ctx.fail("the customer file cannot be opened");
        return std::nullopt;
    }
    auto queue = QueueOf(ctx, args, customers.fb);
    if (queue && queue->empty()) {
        ctx.fail(emptyQueue);
        return std::nullopt;
    }
    return queue;
}

// A layout or letter named on the command line, else the one the wizard would take.
std::string ChosenFile(const Context& ctx, const Args& args, const char* option,
                       std::optional<std::string> last, const char* demoFile) {
    if (auto given = args.value(option)) return *given;
    if (last && data::FileExists(*last)) return *last;
    return data::JoinPath(ctx.folder, demoFile);
}

// The PDF file a verb must be told to write.
std::string OutFile(const Args& args) {
    const auto out = args.value("--out");
    if (!out || out->empty()) throw UsageError("--out FILE names the PDF file to write");
    return *out;
}

int LabelsPdf(Context& ctx, const Args& args) {
    const std::string out = OutFile(args);
    if (!MayWrite(ctx, out)) return kExitFailed;
    if (!ctx.services.pdfCanvas) return ctx.fail("this program cannot write PDF files");
    const std::string layoutFile = ChosenFile(
        ctx, args, "--layout", output::ReadLastLabelPath(ctx.folder), output::kDemoLabelFile);
    std::string error;
    const auto layout = output::ReadLabelLayout(layoutFile, &error);
    if (!layout) return ctx.fail(error);
    data::ExistingFileblock customers;
    const auto queue = OpenQueue(ctx, args, customers,
                                 "You do not have any customer records listed in the print queue.");
    if (!queue) return kExitFailed;
    std::vector<std::string> missing;
    const std::vector<data::CustomerRecord> people =
        output::QueuedCustomers(customers.fb, queue->entries(), missing);
    for (const std::string& number : missing)
        ctx.say("customer " + number + " is not on file");
    output::LabelPrintOptions options;
    options.start = output::StartOrCopiesValue(args.value("--start").value_or("1"));
    options.copies = output::StartOrCopiesValue(args.value("--copies").value_or("1"));
    options.jobName = out;
    options.dataFolder = ctx.folder;
    options.dotsPerInch =
        output::ReadLabelResolution(data::IniFile(data::IniFilePath(ctx.folder)), layoutFile);
    std::unique_ptr<output::Canvas> canvas = ctx.services.pdfCanvas();
    const output::LabelPrintResult r =
        output::PrintLabels(*canvas, *layout, people, ctx.session.company, options);
    if (!r.ok) return ctx.fail(r.error);
    Print(ctx, out);
    ctx.say("Complete. " + std::to_string(r.printed) + " label(s) on " + std::to_string(r.pages) +
            " page(s).");
    return kExitOk;
}

int LettersPdf(Context& ctx, const Args& args) {
    const std::string out = OutFile(args);
    if (!MayWrite(ctx, out)) return kExitFailed;
    if (!ctx.services.letterPdf) return ctx.fail("this program cannot write PDF files");
    const std::string letterFile =
        ChosenFile(ctx, args, "--letter", std::nullopt, output::kDemoLetterFile);
    const auto bytes = data::ReadWholeFile(letterFile);
    if (!bytes) return ctx.fail("The file " + letterFile + " cannot be read.");
    const output::RtfDocument letter =
        output::LooksLikeRtf(*bytes)
            ? output::ReadRtf(*bytes)
            : output::PlainTextDocument(data::TextLines(*bytes), output::Font{"Arial", 10});
    if (data::TrimText(output::DocumentText(letter)).empty())
        return ctx.fail(
            "You do not have any text to print. You need to create or open an existing "
            "letter.");
    data::ExistingFileblock customers;
    const auto queue =
        OpenQueue(ctx, args, customers,
                  "You do not have any customer records listed in the Label print queue.");
    if (!queue) return kExitFailed;
    std::unique_ptr<output::LetterSink> sink = ctx.services.letterPdf(out);
    const output::LetterRunResult r = output::PrintFormLetters(
        ctx.folder, letter, std::filesystem::path(letterFile).filename().string(), queue->entries(),
        customers.fb, ctx.session.company, *sink, ctx.progress);
    for (const std::string& number : r.missing)
        ctx.say("customer " + number + " is not on file");
    if (!r.ok) return ctx.fail(r.error);
    Print(ctx, out);
    ctx.say(std::to_string(r.printed) + " letter(s) written.");
    return kExitOk;
}

int Report(Context& ctx, const Args& args) {
    if (args.flag("--list")) return ReportList(ctx);
    if (args.positional.empty()) throw UsageError("name a report (report --list names them)");
    const output::ReportInfo* info = output::FindReport(args.positional[0]);
    if (!info) throw UsageError("no report \"" + args.positional[0] + "\" (report --list)");
    const auto text = args.value("--text");
    const auto pdf = args.value("--pdf");
    if (bool(text) == bool(pdf)) throw UsageError("give either --text FILE or --pdf FILE");
    const data::DateOrder order = ctx.session.dateOrder;
    output::ReportChoice choice;
    choice.report = info->id;
    choice.filter = args.value("--filter").value_or("");
    // The dates default to the wizard's first preset.
    const auto preset = output::PresetDates(output::DatePreset::MonthToDate, ctx.today(), order);
    choice.from = args.value("--from")
                      ? data::FormatUserDate(ctx.date("--from", *args.value("--from")), order)
                      : preset->from;
    choice.to = args.value("--to")
                    ? data::FormatUserDate(ctx.date("--to", *args.value("--to")), order)
                    : preset->to;
    const std::string& path = text ? *text : *pdf;
    if (!MayWrite(ctx, path)) return kExitFailed;
    output::ReportRun run = output::RunReportInFolder(
        choice, output::ReportFolder{ctx.folder, &ctx.session.company, &ctx.clock}, ctx.prompter);
    if (run.status != output::ReportRunStatus::Ready) {
        ctx.prompter.ask(run.message);
        return run.status == output::ReportRunStatus::Empty ||
                       run.status == output::ReportRunStatus::NoBalance
                   ? kExitOk
                   : kExitFailed;
    }
    output::ReportView& view = *run.view;
    if (auto sort = args.value("--sort")) {
        if (!view.sortOn(output::SortColumnFromChoice(*sort)))
            throw UsageError("this report cannot be sorted on column " + *sort);
    }
    if (args.flag("--no-subtotals")) view.setSubTotals(false);
    std::string error;
    if (text) {
        if (output::SaveReportText(*text, view, &error) != output::OutputStatus::Done)
            return ctx.fail(error);
    } else {
        if (!ctx.services.pdfCanvas) return ctx.fail("this program cannot write PDF files");
        std::unique_ptr<output::Canvas> canvas = ctx.services.pdfCanvas();
        const output::ReportPdfOutcome made =
            output::WriteReportPdf(*canvas, view, output::ReportDefaultFont(), ctx.folder, *pdf);
        if (!made.ok) return ctx.fail(made.error);
    }
    Print(ctx, path);
    ctx.say(view.caption() + ": " + std::to_string(view.dataRowCount()) + " records");
    return kExitOk;
}

// The options both statement verbs take, then those of one of them.
std::vector<OptionDoc> StatementOptions(std::initializer_list<OptionDoc> more) {
    std::vector<OptionDoc> options = {
        {"--customer", "NUMBER", "this customer's statement (repeatable); without it, a batch run"},
        {"--unpaid-only", "", "list only the transactions with a balance due"},
        {"--from", "DATE", "leave out transactions before this day"},
        {"--to", "DATE", "leave out transactions after this day"},
        {"--skip-negative", "", "batch: leave out balances below zero"},
    };
    options.insert(options.end(), more);
    return options;
}

}  // namespace

// ----------------------------------------------------------------------- server

app::ServerSetting SettingArg(const Args& args) {
    app::ServerSetting setting;
    setting.connection = args.positional[0];
    setting.rootCertificate = args.value("--root-certificate").value_or("");
    return setting;
}

platform::Keyring* ServerKeyring(Context& ctx) {
    return ctx.services.serverKeyring ? ctx.services.serverKeyring() : nullptr;
}

int Done(Context& ctx, const app::MoveOutcome& outcome) {
    if (!outcome.ok) return ctx.fail(outcome.error);
    ctx.say(outcome.message);
    return kExitOk;
}

int ServerUpload(Context& ctx, const Args& args) {
    platform::zip::ZipArchive zip;
    return Done(ctx, app::UploadBooks(ctx.folder, SettingArg(args), ServerKeyring(ctx), zip,
                                      [&](const std::string& text) { ctx.say(text); }));
}

int ServerConnect(Context& ctx, const Args& args) {
    return Done(ctx, app::ConnectFolder(ctx.folder, SettingArg(args), ServerKeyring(ctx)));
}

int ServerDownload(Context& ctx, const Args& args) {
    return Done(ctx, app::DownloadBooks(ctx.folder, args.positional[0]));
}

int ServerStatus(Context& ctx, const Args&) {
    for (const std::string& line : app::BooksStatus(ctx.folder, ServerKeyring(ctx)))
        Print(ctx, line);
    // Books on a server that does not answer: the status is that of a failure.
    return app::FolderServer(ctx.folder) && !app::BooksServer(ctx.folder) ? kExitFailed : kExitOk;
}

// ----------------------------------------------------------------------- the table

const std::vector<Verb>& Verbs() {
    // The verbs in the order --help and the manual page list them. See the top of this file
    // for what each field means.
    static const std::vector<Verb> verbs = {
        {"companies",
         "",
         "lists the companies of the installation, one per line",
         {},
         0,
         0,
         false,
         Companies},
        {"aging",
         "[--as-of DATE]",
         "ages the receivables as the main window does and prints each customer's balance and "
         "four periods, then the totals",
         {{"--as-of", "DATE", "age as of this day (default today)"}},
         0,
         0,
         true,
         Aging},
        {"invoice pdf",
         "NUMBER [--kind KIND] [--out FILE] [--einvoice | --no-einvoice]",
         "writes the invoice document as a PDF file, as Send to PDF in the invoice manager",
         {{"--kind", "KIND",
           "invoice, quote, packing-slip or file-copy (default: quote for a quote, else "
           "invoice)"},
          {"--out", "FILE",
           "the file to write (default: pdf/Invoice-NUMBER.pdf in the data folder)"},
          {"--einvoice", "",
           "write an invoice as a Factur-X e-invoice, PDF/A-3 with its XML (default: the "
           "company's \"E-invoice\" setting)"},
          {"--no-einvoice", "", "write a plain PDF"}},
         1,
         1,
         true,
         InvoicePdf},
        {"invoice xml",
         "NUMBER [--out FILE]",
         "writes the invoice as an electronic invoice (the CII XML of Factur-X and ZUGFeRD, "
         "profile EN 16931); an invoice whose data or amounts would make a wrong one is "
         "refused and nothing is written",
         {{"--out", "FILE", "the file to write (default: standard output)"}},
         1,
         1,
         true,
         InvoiceXml},
        {"invoice email",
         "NUMBER [--attach | --no-attach] [--einvoice | --no-einvoice]",
         "sends the invoice or quote by e-mail, as the invoice manager in e-mail mode, and "
         "marks it printed with today's e-mail date once the mail server has taken it",
         {{"--attach", "",
           "attach the document as PDF (default: the company's \"Attach the document as "
           "PDF\")"},
          {"--no-attach", "", "send the text alone"},
          {"--einvoice", "",
           "attach an invoice as a Factur-X e-invoice (default: the company's \"E-invoice\" "
           "setting)"},
          {"--no-einvoice", "", "attach a plain PDF"}},
         1,
         1,
         true,
         InvoiceEmail},
        {"invoice new",
         "--customer NUMBER --line CODE:QTY[:PRICE] ... [--date DATE] [--memo TEXT]",
         "saves a new invoice as the invoice editor does (lines, totals, tax, the customer's "
         "balance and the company's numbering, all together or nothing) and prints its number; "
         "an unknown customer or product, or a quantity or price that is not a number, posts "
         "nothing and exits 1",
         {{"--customer", "NUMBER", "the customer billed"},
          {"--line", "CODE:QTY[:PRICE]",
           "a line of the product with this code: quantity, and the unit price when not the "
           "product's own (repeatable, at least one)"},
          {"--date", "DATE", "the invoice date (default today)"},
          {"--memo", "TEXT", "a note printed on the invoice (at most 80 characters)"}},
         0,
         0,
         true,
         InvoiceNew},
        {"payment",
         "CUSTOMER AMOUNT [--invoice NUMBER ...] [--date DATE] [--reference TEXT]",
         "posts a payment received from the customer as the Payment Wizard does: it settles "
         "the invoices named, else the oldest open ones first, and what is left becomes a "
         "deposit on account; prints each item posted. An unknown customer or invoice, or an "
         "amount not above zero, posts nothing and exits 1",
         {{"--invoice", "NUMBER", "settle this open invoice, in the order given (repeatable)"},
          {"--date", "DATE", "the payment date (default today)"},
          {"--reference", "TEXT",
           "the note on the customer's statement, such as a check number (at most 35 "
           "characters)"}},
         2,
         2,
         true,
         Payment},
        {"repeat",
         "[--through DATE] [--invoice-date DATE] [--reference TEXT] [--dry-run]",
         "generates the repeat invoices that are due, as the repeat billing wizard",
         {{"--through", "DATE", "masters due on or before this day (default today)"},
          {"--invoice-date", "DATE", "the date of the invoices (default: the --through date)"},
          {"--reference", "TEXT", "billing reference (default \"Monthly Service\")"},
          {"--dry-run", "", "list what would be generated, write nothing"}},
         0,
         0,
         true,
         Repeat},
        {"interest",
         "--over DAYS (--percent P | --flat AMOUNT) [--minimum AMOUNT] [--date DATE] "
         "[--dry-run]",
         "charges interest or a late fee on overdue accounts, as the interest wizard",
         {{"--over", "DAYS", "accounts overdue past this aging limit (the company's 30, 60 or 90)"},
          {"--percent", "P",
           "interest in percent of the overdue amount (above 0, at most 100, up to three "
           "decimals)"},
          {"--flat", "AMOUNT", "a flat late fee instead (at most 999.99)"},
          {"--minimum", "AMOUNT",
           "no charge below this, 0.00 to 99.99 (default: the company's last minimum)"},
          {"--date", "DATE", "the invoice date, as of which accounts are aged (default today)"},
          {"--dry-run", "", "list the charges, write no invoice (the customers are aged)"}},
         0,
         0,
         true,
         Interest},
        {"backup",
         "DIR",
         "backs every data file up into DIR/ZTBackup.zip, as the backup window",
         {},
         1,
         1,
         true,
         Backup},
        {"restore",
         "FILE",
         "puts a ZTBackup.zip back over the data files, as the backup window (needs --yes)",
         {},
         1,
         1,
         false,
         Restore},
        {"export",
         "customers|products FILE [--format FORMAT] [--utf8]",
         "exports the customer or product list, as the managers' export window",
         {{"--format", "FORMAT", "csv (default), comma-quote, comma, tab or char:C"},
          {"--utf8", "", "write UTF-8 instead of Windows-1252"}},
         2,
         2,
         true,
         Export},
        {"import",
         "customers|products FILE [--separator C] [--force-shipping]",
         "imports customers or products from a delimited file and rebuilds the files (needs "
         "--yes for customers, whose first record is shown for confirmation)",
         {{"--separator", "C", "the character between values (default \",\"; \"tab\" for tab)"},
          {"--force-shipping", "",
           "customers: the billing address also becomes the shipping address"}},
         2,
         2,
         true,
         Import},
        {"statements pdf",
         "[--customer NUMBER ...] [--unpaid-only] [--from DATE] [--to DATE] [--out DIR]",
         "writes customer statements as PDF files: the customers named, or those the batch "
         "statement run selects (a balance not zero)",
         StatementOptions(
             {{"--skip-email", "", "batch: leave out customers with an e-mail address"},
              {"--out", "DIR", "the folder for the files (default: pdf in the data folder)"}}),
         0, 0, true, StatementsPdf},
        {"statements email",
         "[--customer NUMBER ...] [--unpaid-only] [--from DATE] [--to DATE] [--attach | "
         "--no-attach]",
         "sends customer statements by e-mail over one connection: the customers named, or "
         "those the batch statement run selects in e-mail mode (a balance not zero and an "
         "e-mail address)",
         StatementOptions(
             {{"--attach", "",
               "attach each customer's statement as PDF (default: the company's \"Attach the "
               "document as PDF\")"},
              {"--no-attach", "", "send the text alone"}}),
         0, 0, true, StatementsEmail},
        {"labels pdf",
         "[--layout FILE.LBL] [--queue FILE.LST | --customer NUMBER ...] --out FILE",
         "writes mailing labels as a PDF file, as the Label Wizard prints them: the customers of "
         "a saved record list, the customers named, or every customer",
         {{"--layout", "FILE",
           "the label layout (default: the last one the wizard used, else the demo's)"},
          {"--queue", "FILE", "a record list saved by the wizard"},
          {"--customer", "NUMBER", "this customer (repeatable)"},
          {"--start", "N", "begin at label N of the first sheet (default 1)"},
          {"--copies", "N", "labels for each customer (default 1)"},
          {"--out", "FILE", "the PDF file to write"}},
         0,
         0,
         true,
         LabelsPdf},
        {"letters pdf",
         "[--letter FILE.RTF] [--queue FILE.LST | --customer NUMBER ...] --out FILE",
         "merges a form letter for each customer, as the Form Letter Wizard prints it, into one "
         "PDF file with each letter on a new page",
         {{"--letter", "FILE", "the letter, RTF or plain text (default: the demo's reminder)"},
          {"--queue", "FILE", "a record list saved by the Label Wizard"},
          {"--customer", "NUMBER", "this customer (repeatable)"},
          {"--out", "FILE", "the PDF file to write"}},
         0,
         0,
         true,
         LettersPdf},
        {"report",
         "NAME [--from DATE] [--to DATE] [--filter TEXT] (--text FILE | --pdf FILE)",
         "runs a report of the report wizard into a text or PDF file (report --list names "
         "them)",
         {{"--list", "", "the reports' names"},
          {"--from", "DATE", "the first day of a dated report (default: the first of this month)"},
          {"--to", "DATE", "the last day of a dated report (default today)"},
          {"--filter", "TEXT", "the wizard's filter"},
          {"--sort", "N", "sort on column 2, 3 or 4 (default: the report's own)"},
          {"--no-subtotals", "", "leave the sub-totals out"},
          {"--text", "FILE", "write the text file"},
          {"--pdf", "FILE", "write a PDF file"}},
         0,
         1,
         true,
         Report},
        {"email login",
         "",
         "signs the company in to its mail provider (Microsoft 365 or another OAuth 2.0 "
         "provider that offers sign-in with a device code): prints an address and a code to "
         "enter there from any browser, and keeps the sign-in in the desktop keyring",
         {},
         0,
         0,
         true,
         EmailLogin},
        {"bank import",
         "FILE [--format camt|mt940|ofx|csv] [--post exact]",
         "stores the new lines of a bank statement file (camt.053/.054, MT940, OFX, or CSV through "
         "the company's column mapping) and prints each with the payment proposed for it; a "
         "file that cannot be read, or of another account than the company's IBAN, stores "
         "nothing and exits 1",
         {{"--format", "FORMAT", "camt, mt940, ofx or csv (default: found from the file)"},
          {"--post", "exact",
           "also post the lines whose reference or invoice number names exactly one open "
           "invoice and whose amount is its balance due"}},
         1,
         1,
         true,
         BankImport},
        {"bank list",
         "[--state STATE]",
         "lists the stored bank lines with their state and what is proposed or was posted",
         {{"--state", "STATE", "only lines in this state: new, matched, posted or ignored"}},
         0,
         0,
         true,
         BankList},
        {"check",
         "[--repair]",
         "verifies the books; exits 1 when it finds a problem",
         {{"--repair", "",
           "rewrite the derived fields (paid flags, customer balances and aging, receivables) "
           "from the transactions; no transaction is changed or deleted"}},
         0,
         0,
         true,
         Check},
        {"server upload",
         "CONNECTION [--root-certificate FILE]",
         "moves the folder's books into an empty PostgreSQL database and makes the folder "
         "work there",
         {{"--root-certificate", "FILE",
           "the certificate of the authority that signed the server's (needed for a server "
           "not on this machine)"}},
         1,
         1,
         false,
         ServerUpload},
        {"server connect",
         "CONNECTION [--root-certificate FILE]",
         "makes a new or empty folder one more person's folder on a server that holds books",
         {{"--root-certificate", "FILE",
           "the certificate of the authority that signed the server's (needed for a server "
           "not on this machine)"}},
         1,
         1,
         false,
         ServerConnect},
        {"server download",
         "TARGET",
         "writes the books of the server into TARGET, a new folder of files",
         {},
         1,
         1,
         false,
         ServerDownload},
        {"server status",
         "",
         "says where the books are and which programs are working in them",
         {},
         0,
         0,
         false,
         ServerStatus},
    };
    return verbs;
}

}  // namespace invarro::cli
