// Every report over a generated company of 1,000,000 invoice records (and their lines)
// over ten years: once over the whole range and once over one month. Prints one line
// per run, "report NAME seconds S records N", N being the rows the report lists, and on
// standard error the processor time of the run, "cpu NAME seconds C".
//
// Usage: invarro-bench-report [--outputs] [FOLDER] [INVOICES]
// The company is generated into FOLDER (default /tmp/invarro-report-bench) unless the
// folder already holds one, so that reruns skip the generation.
// --outputs also times, for the whole-range Invoice Register and Sales Report, writing the
// text file, sizing the printed columns (against measuring every row) and writing the PDF,
// into FOLDER: "output NAME-WHAT seconds S" with "cpu NAME-WHAT seconds C" on standard
// error.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include <QGuiApplication>
#include <vector>

#include "bench/CompanyGen.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "output/Rptselct.h"
#include "platform/qt/PainterCanvas.h"
#include "storage/Engine.h"

using namespace invarro;

namespace {

double Seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void RunOne(const output::ReportInfo& info, const std::string& label, const std::string& from,
            const std::string& to, const output::ReportSource& source) {
    output::ReportChoice choice;
    choice.report = info.id;
    choice.from = from;
    choice.to = to;
    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    output::ReportRun run = output::RunReport(choice, source);
    const double s = Seconds(t0);
    const double cpu = double(std::clock() - c0) / CLOCKS_PER_SEC;
    const long rows = run.view ? long(run.view->dataRowCount()) : 0;
    std::printf("report %s%s seconds %.3f records %ld\n", std::string(info.commandName).c_str(),
                label.c_str(), s, rows);
    std::fflush(stdout);
    // The processor time beside it, for a machine shared with other work.
    std::fprintf(stderr, "cpu %s%s seconds %.3f\n", std::string(info.commandName).c_str(),
                 label.c_str(), cpu);
}

// Runs what and prints its wall and processor time.
template <class What>
void TimeOne(const std::string& label, What what) {
    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    what();
    const double s = Seconds(t0);
    const double cpu = double(std::clock() - c0) / CLOCKS_PER_SEC;
    std::printf("output %s seconds %.3f\n", label.c_str(), s);
    std::fflush(stdout);
    std::fprintf(stderr, "cpu %s seconds %.3f\n", label.c_str(), cpu);
}

void TimeOutputs(const output::ReportInfo& info, const std::string& folder,
                 const output::ReportSource& source) {
    output::ReportChoice choice;
    choice.report = info.id;
    choice.from = "01/01/2015";
    choice.to = "12/31/2024";
    output::ReportRun run = output::RunReport(choice, source);
    if (!run.view) return;
    const output::ReportView& view = *run.view;
    const std::string name(info.commandName);
    const std::string text = folder + "/bench-" + name + ".txt";
    TimeOne(name + "-text", [&] {
        std::string error;
        if (output::SaveReportText(text, view, &error) != output::OutputStatus::Done)
            std::fprintf(stderr, "%s\n", error.c_str());
    });
    data::RemoveFile(text);
    platform::qt::PainterCanvas canvas(nullptr);
    canvas.setFont(output::ReportDefaultFont());
    std::vector<int> fast, every;
    TimeOne(name + "-columns", [&] {
        for (size_t c = 0; c < view.columns().size(); ++c)
            if (!view.columns()[c].isAmount()) fast.push_back(*output::WidestCell(canvas, view, c));
    });
    TimeOne(name + "-columns-every-row", [&] {
        for (size_t c = 0; c < view.columns().size(); ++c) {
            if (view.columns()[c].isAmount()) continue;
            int widest = 0;
            for (const output::ReportRow& r : view.rows())
                widest = std::max(widest, canvas.textWidth(r.cell(c)));
            every.push_back(widest);
        }
    });
    if (fast != every) std::fprintf(stderr, "%s: the column widths differ\n", name.c_str());
    const std::string pdf = folder + "/bench-" + name + ".pdf";
    TimeOne(name + "-pdf", [&] {
        platform::qt::PainterCanvas writer(nullptr);
        const output::ReportPdfOutcome out =
            output::WriteReportPdf(writer, view, output::ReportDefaultFont(), folder, pdf);
        if (!out.ok) std::fprintf(stderr, "%s\n", out.error.c_str());
    });
    data::RemoveFile(pdf);
}

}  // namespace

int main(int argc, char** argv) {
    // PDF files and fonts come from the offscreen platform.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    bool outputs = false;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--outputs")
            outputs = true;
        else
            args.push_back(argv[i]);
    }
    const std::string folder = args.size() > 0 ? args[0] : "/tmp/invarro-report-bench";
    const long long invoices = args.size() > 1 ? std::atoll(args[1].c_str()) : 1000000;
    storage::InitEngine(30);
    bench::GeneratedCompany g = bench::OpenGeneratedCompany(folder);
    if (!g.ok) {
        bench::CompanyGenOptions options;
        options.folder = folder;
        options.invoices = invoices;
        options.note = [](const std::string& t) { std::fprintf(stderr, "%s\n", t.c_str()); };
        const auto t0 = std::chrono::steady_clock::now();
        g = bench::GenerateCompany(options);
        if (!g.ok) {
            std::fprintf(stderr, "%s\n", g.error.c_str());
            return 1;
        }
        std::fprintf(stderr, "generated in %.1f s\n", Seconds(t0));
    }
    std::printf("company invoices %lld lines %lld customers %lld\n",
                static_cast<long long>(g.invoices), static_cast<long long>(g.lines),
                static_cast<long long>(g.customers));

    storage::Fileblock* inv = storage::OpenFileblock(
        data::FileblockName(folder, data::FileKind::Invoice, g.prefix), true);
    storage::Fileblock* lines = storage::OpenFileblock(
        data::FileblockName(folder, data::FileKind::InvoiceLine, g.prefix), true);
    if (!inv || !lines) {
        std::fprintf(stderr, "cannot open the invoice files (engine error %d)\n",
                     storage::EngineError);
        return 1;
    }
    output::ReportSource source;
    source.invoices = inv;
    source.lines = lines;
    source.company = &g.company;
    source.order = data::DateOrder::MonthFirst;
    source.now = platform::LocalDateTime{2025, 1, 15, 12, 0, 0};
    for (const output::ReportInfo& info : output::Reports()) {
        RunOne(info, "", "01/01/2015", "12/31/2024", source);
        if (info.dated) RunOne(info, "-month", "06/01/2020", "06/30/2020", source);
    }
    if (outputs)
        for (output::ReportId id :
             {output::ReportId::InvoiceRegister, output::ReportId::SalesReport})
            TimeOutputs(output::ReportOf(id), folder, source);
    storage::CloseFileblock(lines);
    storage::CloseFileblock(inv);
    storage::ExitEngine();
    return 0;
}
