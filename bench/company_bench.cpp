// The whole program over a generated company of 5,000 customers and 1,000,000 invoice
// records (with their lines and payments): every step is timed through the plain-logic
// routines the windows call, each printed as "op NAME seconds S", with the processor time
// of the step beside it on standard error ("cpu NAME seconds C"), the machine being
// shared.
//
// Steps: the invoice manager's list opened on each of its six orders and its first page
// built; a jump to an invoice number; the aging of all customers as the main window runs
// it; one customer's statement built and written to PDF; a sample of the batch of all
// statements to PDF (with the per-statement time and the projected whole batch); every
// report over the whole range; a rebuild of the invoice file (last, since it rewrites the
// file).
//
// Usage: invarro-bench-company [--statements-only] [FOLDER] [SAMPLE]
// The company is generated into FOLDER (default /tmp/invarro-company-bench) unless the
// folder already holds one. SAMPLE is the number of batch statements written (default 200).
// --statements-only times the statement steps alone.

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Aging.h"
#include "app/Session.h"
#include "bench/CompanyGen.h"
#include "bench/CompanySteps.h"
#include "bench/SqlitePeer.h"
#include "bench/StepTimer.h"
#include "data/Fileblocks.h"
#include "data/Keys.h"
#include "data/Rebuild.h"
#include "data/Update.h"
#include "invoicing/InvList.h"
#include "output/CStmnt.h"
#include "output/Rptselct.h"
#include "platform/Clock.h"
#include "platform/ConsolePrompter.h"
#include "platform/Progress.h"
#include "platform/qt/PainterCanvas.h"
#include "storage/Browser.h"
#include "storage/Engine.h"

using namespace invarro;

namespace {

using bench::Report;
using bench::Timer;

storage::Fileblock* Open(const std::string& folder, data::FileKind kind, const std::string& prefix,
                         bool readOnly) {
    storage::Fileblock* fb =
        storage::OpenFileblock(data::FileblockName(folder, kind, prefix), readOnly);
    if (!fb) {
        std::fprintf(stderr, "cannot open a fileblock (engine error %d)\n", storage::EngineError);
        std::exit(1);
    }
    return fb;
}

// The invoice manager's list on one order, as the window attaches it: a browser over the
// index with the manager's row builder, filled on its first page.
int FirstPage(storage::Fileblock* invoices, int keyNo, data::InvoiceRecord& buffer) {
    storage::Browser browser(invoices, keyNo, buffer.data(), int32_t(buffer.size()));
    browser.OnBuildRow = [&buffer](storage::RowRecord& row) {
        row.text = invoicing::ManagerRow(buffer);
        return 0;
    };
    browser.SetRowsInView(25);
    browser.FirstPage();
    return browser.FilledRows();
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool statementsOnly = std::erase(args, "--statements-only") > 0;
    const std::string folder = args.size() > 0 ? args[0] : "/tmp/invarro-company-bench";
    const int sample = args.size() > 1 ? std::atoi(args[1].c_str()) : 200;
    storage::InitEngine(30);
    bench::GeneratedCompany g = bench::OpenGeneratedCompany(folder);
    if (!g.ok) {
        bench::CompanyGenOptions options;
        options.folder = folder;
        options.customers = 5000;
        options.openRecentDays = 90;
        options.note = [](const std::string& t) { std::fprintf(stderr, "%s\n", t.c_str()); };
        Timer t;
        g = bench::GenerateCompany(options);
        if (!g.ok) {
            std::fprintf(stderr, "%s\n", g.error.c_str());
            return 1;
        }
        std::fprintf(stderr, "generated in %.1f s\n", t.seconds());
    }
    std::printf("company invoices %lld lines %lld customers %lld\n",
                static_cast<long long>(g.invoices), static_cast<long long>(g.lines),
                static_cast<long long>(g.customers));

    const data::Date today{2025, 1, 15};
    const platform::LocalDateTime now{2025, 1, 15, 12, 0, 0};

    // ---------------------------------------------------------------- invoice manager
    if (!statementsOnly) {
        storage::Fileblock* inv = Open(folder, data::FileKind::Invoice, g.prefix, false);
        data::InvoiceRecord buffer;
        for (const invoicing::DisplayOrder& order : invoicing::kDisplayOrders) {
            Timer t;
            const int rows = FirstPage(inv, order.keyNo, buffer);
            Report("invlist-first-page-key" + std::to_string(order.keyNo), t,
                   " rows " + std::to_string(rows));
        }
        // The window opens on the invoice date order, positioned on the company's last
        // invoice number looked up through the number key.
        {
            Timer t;
            storage::Browser browser(inv, invoicing::kOpeningKey, buffer.data(),
                                     int32_t(buffer.size()));
            browser.OnBuildRow = [&buffer](storage::RowRecord& row) {
                row.text = invoicing::ManagerRow(buffer);
                return 0;
            };
            browser.SetRowsInView(25);
            data::InvoiceRecord probe;
            probe.setText(data::Invoice::InvNo, "000500000");
            auto found = data::FindAtOrAfter<data::Invoice>(inv, 1, probe);
            if (found)
                browser.JumpToKey(data::InvoiceKey(found->record, invoicing::kOpeningKey),
                                  found->recNo);
            Report("invlist-jump-invoice", t,
                   found ? " found " + data::TrimmedText(found->record.text(data::Invoice::InvNo))
                         : " found none");
        }
        storage::CloseFileblock(inv);
    }

    // ---------------------------------------------------------------- aging
    platform::FixedClock clock(now);
    platform::ConsolePrompter prompter;
    platform::SilentProgress progress;
    if (!statementsOnly) {
        app::Session session;
        session.folder = folder;
        session.company = g.company;
        Timer t;
        const app::AgingOutcome out =
            app::RunAging(session, true, clock, prompter, progress, app::RunHooks{});
        Report("aging-all-customers", t,
               " customers " + std::to_string(out.customers) + " invoices " +
                   std::to_string(out.invoicesAged) +
                   (out.status == app::AgingStatus::Done ? "" : " FAILED " + out.error));
        g.company = session.company;
    }

    // ---------------------------------------------------------------- statements
    {
        storage::Fileblock* cust = Open(folder, data::FileKind::Customer, g.prefix, true);
        storage::Fileblock* inv = Open(folder, data::FileKind::Invoice, g.prefix, true);
        const output::StatementFiles files{cust, inv};
        const output::FormContext form{g.company, folder};
        platform::qt::PainterCanvas canvas(nullptr);
        canvas.setOpenWhenDone(false);
        {
            Timer t;
            const output::Statement s = output::BuildStatement(files, "1", false, g.company);
            Report("statement-build", t, " rows " + std::to_string(s.rows.size()));
            // The first PDF of the run also sets up the font system, which the program
            // has done by the time a window asks for a statement.
            Timer first;
            output::PdfOutcome out = output::WriteStatementPdf(canvas, s, form, today);
            Report("statement-pdf-first", first, out.ok ? " " + out.path : " FAILED " + out.error);
            Timer p;
            out = output::WriteStatementPdf(canvas, s, form, today);
            Report("statement-pdf", p, out.ok ? " " + out.path : " FAILED " + out.error);
        }
        {
            Timer t;
            output::BatchSelection sel;
            sel.excludeEmail = false;
            const auto chosen = output::SelectStatementCustomers(files, sel, g.company);
            const size_t count = chosen ? chosen->size() : 0;
            Report("statement-batch-select", t, " customers " + std::to_string(count));
            const size_t n = std::min(count, size_t(sample < 1 ? 1 : sample));
            Timer b;
            for (size_t i = 0; i < n; ++i) {
                const output::Statement s =
                    output::BuildStatement(files, (*chosen)[i], true, g.company);
                output::WriteStatementPdf(canvas, s, form, today);
            }
            const double per = n ? b.seconds() / double(n) : 0;
            char extra[128];
            std::snprintf(extra, sizeof extra, " statements %zu per-statement %.4f projected %.1f",
                          n, per, per * double(count));
            Report("statement-batch-pdf-sample", b, extra);
        }
        storage::CloseFileblock(inv);
        storage::CloseFileblock(cust);
    }
    if (statementsOnly) {
        storage::ExitEngine();
        return 0;
    }

    // ---------------------------------------------------------------- reports
    {
        storage::Fileblock* inv = Open(folder, data::FileKind::Invoice, g.prefix, true);
        storage::Fileblock* lines = Open(folder, data::FileKind::InvoiceLine, g.prefix, true);
        output::ReportSource source;
        source.invoices = inv;
        source.lines = lines;
        source.company = &g.company;
        source.order = data::DateOrder::MonthFirst;
        source.now = now;
        for (const output::ReportInfo& info : output::Reports()) {
            output::ReportChoice choice;
            choice.report = info.id;
            choice.from = "01/01/2015";
            choice.to = "12/31/2024";
            Timer t;
            output::ReportRun run = output::RunReport(choice, source);
            const long rows = run.view ? long(run.view->dataRowCount()) : 0;
            Report("report-" + std::string(info.commandName), t, " rows " + std::to_string(rows));
        }
        storage::CloseFileblock(lines);
        storage::CloseFileblock(inv);
    }

    // ---------------------------------------------------------------- books check
    bench::TimeBooksCheck(folder, g.company, clock);

    // ---------------------------------------------------------------- rebuild
    {
        const std::string name = data::FileblockName(folder, data::FileKind::Invoice, g.prefix);
        bench::SettleDisk();
        Timer t;
        const bool ok =
            data::RebuildBusinessFileblock(name, data::KindOf(data::FileKind::Invoice), progress);
        const double wall = t.seconds(), cpu = t.cpu();
        Report("rebuild-invoice-file", wall, cpu,
               " records " + std::to_string(g.invoices) + (ok ? "" : " FAILED"));
        // SQLite over the same records with the same cache: the same six indexes created,
        // and the same work as the rebuild (the rows copied, then the indexes created).
        if (ok)
            bench::CompareRebuildWithSqlite(folder, g.prefix, std::max(30, storage::PoolFloor()),
                                            wall, cpu);
    }
    storage::ExitEngine();
    return 0;
}
