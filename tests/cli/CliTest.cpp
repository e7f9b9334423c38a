#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <sstream>

#include "app/Aging.h"
#include "app/Demo.h"
#include "app/MailSignIn.h"
#include "app/Startup.h"
#include "cli/Captured.h"
#include "cli/Cli.h"
#include "cli/Command.h"
#include "customers/CExport.h"
#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/Open.h"
#include "data/SideFiles.h"
#include "data/Update.h"
#include "invoicing/IntWizd.h"
#include "invoicing/InvEdit.h"
#include "invoicing/RepeatSet.h"
#include "output/CStmnt.h"
#include "output/EMail.h"
#include "output/Rptselct.h"
#include "platform/curl/CurlMailer.h"
#include "platform/curl/CurlOAuth.h"
#include "platform/qt/PainterCanvas.h"
#include "platform/qt/SingleInstance.h"
#include "platform/zip/ZipArchive.h"
#include "storage/Engine.h"
#include "support/Command.h"
#include "support/MemoryKeyring.h"
#include "support/Modal.h"
#include "support/OAuthPeer.h"
#include "support/QtApp.h"
#include "support/ScriptedPrompter.h"
#include "support/SmtpPeer.h"
#include "support/TempDir.h"
#include "ui/CustForm.h"
#include "ui/ExportForm.h"
#include "ui/ImportForm.h"
#include "ui/InterestWiz.h"
#include "ui/InvOutput.h"
#include "ui/RepeatForm.h"

namespace invarro::cli {
namespace {

namespace fs = std::filesystem;
using data::Company;
using data::Customer;
using data::Invoice;
using testing::ReadFileBytes;

// Answers every message with its default button, as a user pressing Enter.
struct EnterPrompter : platform::Prompter {
    std::vector<std::string> seen;
    platform::Answer ask(const platform::Message& m) override {
        seen.push_back(m.text);
        return m.defaultButton;
    }
};

using Result = testing::CliResult;

// Two copies of the demo installation: one for the window, one for the command.
class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::QtApp();
        const platform::LocalDateTime now = platform::SystemClock().now();
        clock.set({now.year, now.month, now.day, 12, 0, 0});
        windowFolder = dir.file("window");
        commandFolder = dir.file("command");
        storage::InitEngine(30);
        testing::ScriptedPrompter quiet;
        const app::InstallResult r = app::CreateDemoInstallation(windowFolder, quiet);
        ASSERT_TRUE(r.ok) << r.message;
        storage::ExitEngine();
        fs::copy(windowFolder, commandFolder, fs::copy_options::recursive);
        // The company in use as the program loads it at start.
        session.folder = windowFolder;
        storage::InitEngine(30);
        session.company = *app::LoadCompanyInUse(windowFolder, quiet);
        storage::ExitEngine();
        app::ApplyCompanySettings(session);
    }
    void TearDown() override {
        if (storage::EngineStarted()) storage::ExitEngine();
    }

    Result run(std::vector<std::string> args, const std::string& folder = {}) {
        std::vector<std::string> all{"--data", folder.empty() ? commandFolder : folder};
        all.insert(all.end(), args.begin(), args.end());
        CliServices services;
        services.clock = &clock;
        services.pdfCanvas = [] { return std::make_unique<platform::qt::PainterCanvas>(nullptr); };
        services.claimFolder = claim;
        services.mailer = [] {
            auto mailer = std::make_unique<platform::curl::CurlMailer>();
            mailer->setTimeout(10);
            return mailer;
        };
        if (moreServices) moreServices(services);
        return testing::RunCaptured(all, services);
    }
    // What a test adds to the services of every run.
    std::function<void(CliServices&)> moreServices;

    // The records of the two folders agree byte for byte.
    void expectSameFiles(const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            const std::string a = ReadFileBytes(windowFolder + "/" + name);
            ASSERT_FALSE(a.empty()) << name;
            EXPECT_TRUE(a == ReadFileBytes(commandFolder + "/" + name)) << name << " differs";
        }
    }
    const std::vector<std::string> companyFiles{"Company.DAT", "LastCo.Dat", "1C.DAT",
                                                "1I.DAT",      "1N.DAT",     "1M.DAT"};

    ui::CustomerWindowContext context(platform::Prompter& prompter) {
        ui::CustomerWindowContext c;
        c.dataFolder = windowFolder;
        c.company = &session.company;
        c.prompter = &prompter;
        c.clock = &clock;
        return c;
    }

    testing::TempDir dir;
    std::string windowFolder, commandFolder;
    app::Session session;
    platform::FixedClock clock{{}};
    std::function<FolderClaim(const std::string&)> claim;
};

TEST_F(CliTest, AgingWritesWhatTheMainWindowsAgingWritesAndPrintsTheBuckets) {
    storage::InitEngine(30);
    EnterPrompter prompter;
    platform::SilentProgress progress;
    const app::AgingOutcome aged =
        app::RunAging(session, true, clock, prompter, progress, app::RunHooks{});
    storage::ExitEngine();
    ASSERT_EQ(aged.status, app::AgingStatus::Done);

    const Result r = run({"aging"});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    expectSameFiles(companyFiles);
    EXPECT_NE(r.out.find("Totals"), std::string::npos);
    EXPECT_NE(r.out.find(aged.total.shownText()), std::string::npos);
    EXPECT_NE(r.out.find("Harborview Dental Group"), std::string::npos);
    // Results on standard output, the count of customers on standard error.
    EXPECT_EQ(r.out.find("aged "), std::string::npos);
    EXPECT_NE(r.err.find("aged " + std::to_string(aged.customers) + " customers"),
              std::string::npos);
}

TEST_F(CliTest, RepeatGeneratesTheInvoicesTheWizardGenerates) {
    EnterPrompter prompter;
    storage::InitEngine(30);
    {
        invoicing::ShortOpen invoices(windowFolder, data::FileKind::Invoice, "1", prompter);
        invoicing::ShortOpen lines(windowFolder, data::FileKind::InvoiceLine, "1", prompter);
        invoicing::ShortOpen memos(windowFolder, data::FileKind::Memo, "1", prompter);
        invoicing::ShortOpen customers(windowFolder, data::FileKind::Customer, "1", prompter);
        invoicing::SaveFiles files{windowFolder,       session.company, invoices.fb,
                                   lines.fb,           memos.fb,        customers.fb,
                                   data::Today(clock), nullptr,         nullptr};
        ui::TSelectRepeat wizard(context(prompter), files);
        wizard.SearchBtn->click();
        ASSERT_FALSE(wizard.due().empty());
        wizard.CreateBtn->click();
        ASSERT_FALSE(wizard.outcome().written.empty());
    }
    storage::ExitEngine();

    // A dry run lists the same masters and writes nothing.
    const std::string before = ReadFileBytes(commandFolder + "/1I.DAT");
    const Result dry = run({"repeat", "--dry-run"});
    EXPECT_EQ(dry.status, kExitOk) << dry.err;
    EXPECT_TRUE(dry.out.rfind("Master#", 0) == 0) << dry.out;
    EXPECT_EQ(ReadFileBytes(commandFolder + "/1I.DAT"), before);

    const Result r = run({"repeat"});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    expectSameFiles(companyFiles);
    // Nothing is due before the masters' dates.
    const Result again = run({"repeat", "--through", "2001-01-31"});
    EXPECT_EQ(again.status, kExitOk);
    EXPECT_EQ(again.out, "");
    EXPECT_NE(again.err.find(std::string(invoicing::kNoneDue)), std::string::npos);
}

TEST_F(CliTest, InterestChargesWhatTheWizardCharges) {
    EnterPrompter prompter;
    storage::InitEngine(30);
    {
        ui::TInterestWiz wizard(session, context(prompter), app::RunHooks{});
        wizard.days60->setChecked(true);
        wizard.FlatCB->setChecked(false);
        wizard.IPct->setText("2.00");
        wizard.MinChg->setText("1.00");
        wizard.scan();
        ASSERT_TRUE(wizard.GenInv->isEnabled());
        wizard.generate();
        ASSERT_GT(wizard.created(), 0);
    }
    storage::ExitEngine();

    const Result r = run({"interest", "--over", "60", "--percent", "2.00", "--minimum", "1.00"});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    expectSameFiles(companyFiles);
    EXPECT_NE(r.out.find("Interest Charges Report"), std::string::npos);

    // Wrong choices are usage errors and charge nothing.
    const std::string before = ReadFileBytes(commandFolder + "/1I.DAT");
    EXPECT_EQ(run({"interest", "--over", "45", "--percent", "2"}).status, kExitUsage);
    EXPECT_EQ(run({"interest", "--over", "30"}).status, kExitUsage);
    EXPECT_EQ(run({"interest", "--over", "30", "--percent", "2", "--flat", "5"}).status,
              kExitUsage);
    EXPECT_EQ(run({"interest", "--over", "30", "--percent", "x"}).status, kExitUsage);
    EXPECT_EQ(run({"interest", "--over", "30", "--flat", "-5"}).status, kExitUsage);
    EXPECT_EQ(ReadFileBytes(commandFolder + "/1I.DAT"), before);
}

TEST_F(CliTest, InvoicePdfHasTheTextOfTheManagersSendToPdf) {
    EnterPrompter prompter;
    storage::InitEngine(30);
    std::string windowPdf;
    {
        invoicing::ShortOpen invoices(windowFolder, data::FileKind::Invoice, "1", prompter);
        invoicing::ShortOpen lines(windowFolder, data::FileKind::InvoiceLine, "1", prompter);
        invoicing::ShortOpen memos(windowFolder, data::FileKind::Memo, "1", prompter);
        invoicing::InvoiceFiles files{windowFolder, session.company, invoices.fb, lines.fb,
                                      memos.fb};
        ui::InvoiceWindowContext c;
        static_cast<ui::CustomerWindowContext&>(c) = context(prompter);
        c.pdfCanvas = [] { return std::make_unique<platform::qt::PainterCanvas>(nullptr); };
        const output::PdfOutcome made = ui::PdfFromWindow(c, files, "1321");
        ASSERT_TRUE(made.ok) << made.error;
        windowPdf = made.path;
    }
    storage::ExitEngine();

    const Result r = run({"invoice", "pdf", "1321"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const std::string commandPdf = commandFolder + "/pdf/Invoice-1321.pdf";
    EXPECT_EQ(r.out, commandPdf + "\n");
    const std::string text =
        testing::RunCommand("pdftotext " + testing::ShellQuote(windowPdf) + " -").output;
    ASSERT_NE(text.find("1321"), std::string::npos);
    EXPECT_EQ(testing::RunCommand("pdftotext " + testing::ShellQuote(commandPdf) + " -").output,
              text);
    // Neither marks the invoice printed: the records stay alike.
    expectSameFiles({"1I.DAT"});

    // Another kind into a chosen file; an existing file is kept without --yes.
    const std::string slip = dir.file("slip.pdf");
    EXPECT_EQ(run({"invoice", "pdf", "1321", "--kind", "packing-slip", "--out", slip}).status,
              kExitOk);
    EXPECT_NE(
        testing::RunCommand("pdftotext " + testing::ShellQuote(slip) + " -").output.find("PACKING"),
        std::string::npos);
    const std::string slipBytes = ReadFileBytes(slip);
    const Result kept = run({"invoice", "pdf", "1321", "--out", slip});
    EXPECT_EQ(kept.status, kExitFailed);
    EXPECT_NE(kept.err.find("--yes"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(slip), slipBytes);
    EXPECT_EQ(run({"--yes", "invoice", "pdf", "1321", "--out", slip}).status, kExitOk);

    EXPECT_EQ(run({"invoice", "pdf", "NOSUCH"}).status, kExitFailed);
    EXPECT_EQ(run({"invoice", "pdf", "1321", "--kind", "receipt"}).status, kExitUsage);
    EXPECT_EQ(run({"invoice", "pdf"}).status, kExitUsage);
}

TEST_F(CliTest, BackupAndRestoreBringTheFilesBack) {
    const std::string target = dir.file("archive");
    fs::create_directory(target);
    const Result made = run({"backup", target});
    ASSERT_EQ(made.status, kExitOk) << made.err;
    EXPECT_EQ(made.out, target + "/ZTBackup.zip\n");
    EXPECT_EQ(
        testing::RunCommand("unzip -tq " + testing::ShellQuote(target + "/ZTBackup.zip")).status,
        0);
    const std::string customers = ReadFileBytes(commandFolder + "/1C.DAT");
    ASSERT_EQ(run({"repeat"}).status, kExitOk);
    ASSERT_NE(ReadFileBytes(commandFolder + "/1C.DAT"), customers);

    // Without --yes the restore is declined, as the window's warning defaults to No.
    const Result declined = run({"restore", target + "/ZTBackup.zip"});
    EXPECT_EQ(declined.status, kExitFailed);
    EXPECT_NE(declined.err.find("WARNING!!"), std::string::npos);
    EXPECT_NE(ReadFileBytes(commandFolder + "/1C.DAT"), customers);

    EXPECT_EQ(run({"--yes", "restore", target + "/ZTBackup.zip"}).status, kExitOk);
    EXPECT_EQ(ReadFileBytes(commandFolder + "/1C.DAT"), customers);
    EXPECT_EQ(run({"--yes", "restore", target + "/Other.zip"}).status, kExitFailed);
    EXPECT_EQ(run({"--yes", "restore", dir.file("none") + "/ZTBackup.zip"}).status, kExitFailed);
}

TEST_F(CliTest, ExportWritesTheWindowsLinesAndImportAddsCustomers) {
    EnterPrompter prompter;
    storage::InitEngine(30);
    std::vector<std::string> lines;
    {
        invoicing::ShortOpen fb(windowFolder, data::FileKind::Customer, "1", prompter);
        platform::SilentProgress progress;
        lines = customers::CustomerExportLines(fb.fb, customers::CustomerExportChoice{}, progress);
    }
    storage::ExitEngine();
    const std::string file = dir.file("customers.csv");
    ASSERT_EQ(run({"export", "customers", file}).status, kExitOk);
    EXPECT_EQ(ReadFileBytes(file),
              data::DelimitedFileBytes(lines, data::TextEncoding::Windows1252));
    EXPECT_EQ(run({"export", "customers", file}).status, kExitFailed);  // kept
    EXPECT_EQ(run({"export", "vendors", file}).status, kExitUsage);
    EXPECT_EQ(run({"export", "products", dir.file("p.txt"), "--format", "char:\""}).status,
              kExitUsage);
    EXPECT_EQ(run({"export", "products", dir.file("p.txt"), "--format", "semicolon"}).status,
              kExitUsage);
    ASSERT_EQ(run({"export", "products", dir.file("p.txt"), "--format", "tab"}).status, kExitOk);
    EXPECT_NE(ReadFileBytes(dir.file("p.txt")).find('\t'), std::string::npos);

    // The import asks to confirm its first record: declined without --yes.
    const std::string csv = commandFolder + "/NewCustomers.CSV";
    const std::string before = ReadFileBytes(commandFolder + "/1C.DAT");
    EXPECT_EQ(run({"import", "customers", csv}).status, kExitFailed);
    EXPECT_EQ(ReadFileBytes(commandFolder + "/1C.DAT"), before);
    const Result imported = run({"--yes", "import", "customers", csv});
    EXPECT_EQ(imported.status, kExitOk) << imported.err;
    EXPECT_EQ(imported.out, "9 customers imported\n");
    // Rebuilt: the books check finds the new customers and sound indexes.
    const Result checked = run({"check"});
    EXPECT_EQ(checked.status, kExitOk) << checked.out;
    EXPECT_NE(checked.err.find("45 customers"), std::string::npos) << checked.err;
    EXPECT_EQ(run({"import", "products", dir.file("missing.csv")}).status, kExitFailed);
}

template <class T>
T* Child(QWidget* w, const char* name) {
    T* c = w->findChild<T*>(name);
    EXPECT_TRUE(c) << name;
    return c;
}

TEST_F(CliTest, ExportAndImportGiveTheCustomerManagersFiles) {
    // Through the customer manager: the export window with its starting choices, then the
    // import window on the demo's sample file, accepting its preview.
    EnterPrompter prompter;
    ui::CustomerWindowContext ctx = context(prompter);
    const std::string windowCsv = dir.file("window.csv");
    const std::string sample = windowFolder + "/NewCustomers.CSV";
    storage::InitEngine(30);
    bool exported = false;
    testing::WhenModal<ui::TCustForm>([&](ui::TCustForm* manager) {
        testing::WhenModal<ui::TExportForm>([&](ui::TExportForm* exp) {
            exp->chooseFile = [&](const data::ExportFileProposal&) {
                return QString::fromStdString(windowCsv);
            };
            exported = exp->exportNow();
        });
        manager->exportCustomers();
        testing::WhenModal<ui::TImportForm>([&](ui::TImportForm* imp) {
            imp->chooseFile = [&] { return QString::fromStdString(sample); };
            Child<QPushButton>(imp, "OpenBtn")->click();
            Child<QPushButton>(imp, "ImportBtn")->click();
        });
        manager->importCustomers();
    });
    ASSERT_TRUE(ui::TCustForm::Run(ctx));
    storage::ExitEngine();
    ASSERT_TRUE(exported);

    const std::string commandCsv = dir.file("command.csv");
    ASSERT_EQ(run({"export", "customers", commandCsv}).status, kExitOk);
    EXPECT_EQ(ReadFileBytes(commandCsv), ReadFileBytes(windowCsv));
    const Result imported =
        run({"--yes", "import", "customers", commandFolder + "/NewCustomers.CSV"});
    ASSERT_EQ(imported.status, kExitOk) << imported.err;
    expectSameFiles({"1C.DAT", "1C.IX", "Company.DAT"});
}

TEST_F(CliTest, StatementsPdfHasTheTextOfTheStatementRoutine) {
    // The statement as the customer manager's statement window writes it.
    EnterPrompter prompter;
    storage::InitEngine(30);
    std::string windowPdf;
    {
        data::ExistingFileblock customers, invoices;
        data::OpenExisting(customers, windowFolder, data::FileKind::Customer, "1", prompter);
        data::OpenExisting(invoices, windowFolder, data::FileKind::Invoice, "1", prompter);
        const output::Statement s = output::BuildStatement(
            output::StatementFiles{customers.fb, invoices.fb}, "100", true, session.company);
        ASSERT_TRUE(s.customerFound);
        platform::qt::PainterCanvas canvas(nullptr);
        const output::PdfOutcome made = output::WriteStatementPdf(
            canvas, s, output::FormContext{session.company, windowFolder}, data::Today(clock));
        ASSERT_TRUE(made.ok) << made.error;
        windowPdf = made.path;
    }
    storage::ExitEngine();

    const std::string out = dir.file("statements");
    const Result one =
        run({"statements", "pdf", "--customer", "100", "--unpaid-only", "--out", out});
    ASSERT_EQ(one.status, kExitOk) << one.err;
    // Standard error carries the run's closing line and no title of a batch window.
    EXPECT_EQ(one.err, "invarro-cli: 1 statements written.\n");
    const std::string commandPdf = one.out.substr(0, one.out.find('\n'));
    EXPECT_EQ(commandPdf.rfind(out + "/", 0), 0u) << commandPdf;
    const std::string text =
        testing::RunCommand("pdftotext " + testing::ShellQuote(windowPdf) + " -").output;
    ASSERT_NE(text.find("Harborview Dental Group"), std::string::npos);
    EXPECT_EQ(testing::RunCommand("pdftotext " + testing::ShellQuote(commandPdf) + " -").output,
              text);
    // A chosen customer leaves the last batch date alone; the batch sets it.
    expectSameFiles({"Company.DAT"});
    const Result batch = run({"statements", "pdf", "--unpaid-only", "--out", out});
    ASSERT_EQ(batch.status, kExitOk) << batch.err;
    EXPECT_GT(std::count(batch.out.begin(), batch.out.end(), '\n'), 5);
    EXPECT_NE(ReadFileBytes(commandFolder + "/Company.DAT"),
              ReadFileBytes(windowFolder + "/Company.DAT"));
    EXPECT_EQ(run({"statements", "pdf", "--customer", "NOSUCH", "--out", out}).status, kExitFailed);
    EXPECT_EQ(run({"statements", "pdf", "--from", "2026-05-01", "--to", "2026-04-01"}).status,
              kExitUsage);
    EXPECT_EQ(run({"statements", "email", "--out", out}).status, kExitUsage);
}

TEST_F(CliTest, ReportTextIsTheReportWizardsText) {
    EnterPrompter prompter;
    output::ReportChoice choice;
    choice.report = output::ReportId::InvoiceRegister;
    choice.from = "01/01/2025";
    choice.to = "12/31/2025";
    storage::InitEngine(30);
    output::ReportRun wizard = output::RunReportInFolder(
        choice, output::ReportFolder{windowFolder, &session.company, &clock}, prompter);
    storage::ExitEngine();
    ASSERT_EQ(wizard.status, output::ReportRunStatus::Ready);
    const std::string windowText = dir.file("window.txt");
    ASSERT_EQ(output::SaveReportText(windowText, *wizard.view, nullptr),
              output::OutputStatus::Done);

    const std::string commandText = dir.file("command.txt");
    const Result r = run({"report", "invoice-register", "--from", "2025-01-01", "--to",
                          "2025-12-31", "--text", commandText});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(ReadFileBytes(commandText), ReadFileBytes(windowText));

    const std::string pdf = dir.file("register.pdf");
    ASSERT_EQ(run({"report", "invoice-register", "--from", "2025-01-01", "--to", "2025-12-31",
                   "--pdf", pdf})
                  .status,
              kExitOk);
    EXPECT_NE(testing::RunCommand("pdftotext " + testing::ShellQuote(pdf) + " -")
                  .output.find("Harbor Light"),
              std::string::npos);

    const Result list = run({"report", "--list"});
    EXPECT_EQ(list.status, kExitOk);
    EXPECT_NE(list.out.find("invoice-register"), std::string::npos);
    EXPECT_EQ(run({"report", "no-such-report", "--text", commandText}).status, kExitUsage);
    EXPECT_EQ(run({"report", "invoice-register"}).status, kExitUsage);
    EXPECT_EQ(run({"report", "invoice-register", "--text", commandText}).status, kExitFailed);
}

TEST_F(CliTest, UsageErrorsHelpAndFailuresHaveTheirExitStatus) {
    EXPECT_EQ(run({}).status, kExitUsage);
    EXPECT_EQ(run({"frobnicate"}).status, kExitUsage);
    EXPECT_EQ(run({"--bogus", "companies"}).status, kExitUsage);
    EXPECT_EQ(run({"aging", "--as-of"}).status, kExitUsage);
    EXPECT_EQ(run({"aging", "--as-of", "2026-02-30"}).status, kExitUsage);
    EXPECT_EQ(run({"aging", "extra"}).status, kExitUsage);
    EXPECT_EQ(run({"check", "--fix"}).status, kExitUsage);
    EXPECT_EQ(run({"--company", "x1", "check"}).status, kExitUsage);
    // The e-mail verbs take no file options.
    EXPECT_EQ(run({"invoice", "email", "1321", "--kind", "quote"}).status, kExitUsage);

    const Result help = run({"--help"});
    EXPECT_EQ(help.status, kExitOk);
    EXPECT_NE(help.out.find("check"), std::string::npos);
    const Result verbHelp = run({"interest", "--help"});
    EXPECT_EQ(verbHelp.status, kExitOk);
    EXPECT_NE(verbHelp.out.find("--percent"), std::string::npos);

    const Result listed = run({"companies"});
    EXPECT_EQ(listed.status, kExitOk);
    EXPECT_EQ(listed.out,
              "    1  Harbor Light Print & Design  (in use)\n    2  Cedar Ridge Landscaping\n"
              "    3  Lindenhof Druck & Design GmbH\n    4  Alpenblick Druck AG\n");
    EXPECT_EQ(run({"companies"}, dir.file("empty")).status, kExitFailed);
    EXPECT_EQ(run({"check"}, dir.file("empty")).status, kExitFailed);
    EXPECT_EQ(run({"--company", "77", "check"}).status, kExitFailed);

    // Another company is worked on without changing the company in use.
    const std::string lastCo = ReadFileBytes(commandFolder + "/LastCo.Dat");
    EXPECT_EQ(run({"--company", "2", "aging"}).status, kExitOk);
    EXPECT_EQ(ReadFileBytes(commandFolder + "/LastCo.Dat"), lastCo);
}

TEST_F(CliTest, AVerbGroupAnswersWithItsVerbsAndEveryVerbWithItsOptions) {
    auto collapsed = [](const std::string& text) {
        return std::regex_replace(text, std::regex("[ \n]+"), " ");
    };
    for (const std::string group : {"invoice", "statements"}) {
        SCOPED_TRACE(group);
        const Result help = run({group, "--help"});
        EXPECT_EQ(help.status, kExitOk) << help.err;
        EXPECT_EQ(help.err, "");
        int members = 0;
        for (const Verb& v : Verbs()) {
            const std::string words = v.words;
            if (words.rfind(group + " ", 0) != 0) continue;
            ++members;
            EXPECT_NE(collapsed(help.out).find(collapsed(words + " " + v.usage)), std::string::npos)
                << help.out;
        }
        EXPECT_EQ(members, group == "invoice" ? 4 : 2);
        const Result bare = run({group});
        EXPECT_EQ(bare.status, kExitUsage);
        EXPECT_EQ(bare.out, "");
        EXPECT_NE(bare.err.find(group + " pdf"), std::string::npos) << bare.err;
    }
    const Result wrong = run({"invoice", "fax", "1321"});
    EXPECT_EQ(wrong.status, kExitUsage);
    EXPECT_NE(wrong.err.find("unknown verb \"invoice fax\""), std::string::npos) << wrong.err;
    // A word that begins no verb is still unknown, and help of a group writes nothing.
    EXPECT_NE(run({"invoices", "--help"}).err.find("unknown verb"), std::string::npos);
    expectSameFiles(companyFiles);

    for (const Verb& v : Verbs()) {
        SCOPED_TRACE(v.words);
        std::vector<std::string> args;
        std::istringstream words(v.words);
        for (std::string w; words >> w;)
            args.push_back(w);
        args.push_back("--help");
        const Result r = run(args);
        EXPECT_EQ(r.status, kExitOk);
        EXPECT_EQ(
            r.out.rfind(
                "usage: invarro-cli [--data DIR] [--company N] [--yes] " + std::string(v.words), 0),
            0u)
            << r.out;
        for (const OptionDoc& o : v.options)
            EXPECT_NE(r.out.find("\n  " + o.name + (o.value.empty() ? "" : " " + o.value)),
                      std::string::npos)
                << r.out;
    }
}

TEST_F(CliTest, AFolderInUseIsRefused) {
    claim = [](const std::string&) { return FolderClaim::InUse; };
    const Result r = run({"aging"});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_NE(r.err.find("in use by a running invarro"), std::string::npos);
    EXPECT_EQ(r.out, "");
    claim = [](const std::string&) { return FolderClaim::Starting; };
    EXPECT_EQ(run({"aging"}).status, kExitFailed);

    // The real lock: a running program on the folder (it answers later starts) keeps the
    // command off it; once it is gone the command runs.
    const std::string program = INVARRO_CLI;
    auto command = [&] {
        return testing::RunCommand("(" + testing::ShellQuote(program) + " --data " +
                                   testing::ShellQuote(commandFolder) + " companies 2>&1)");
    };
    {
        platform::qt::SingleInstance running(QString::fromStdString(commandFolder));
        ASSERT_EQ(running.start(2000), platform::qt::SingleInstance::Outcome::First);
        // The connection is taken by the socket's backlog: no event loop is needed.
        const testing::CommandResult refused = command();
        EXPECT_EQ(refused.status, 1) << refused.output;
        EXPECT_NE(refused.output.find("in use by a running invarro"), std::string::npos);
    }
    const testing::CommandResult free = command();
    EXPECT_EQ(free.status, 0) << free.output;
}

// Every file of a folder (sub-folders too) with its bytes.
std::map<std::string, std::string> FolderBytes(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file())
            files[fs::relative(e.path(), folder).string()] = ReadFileBytes(e.path().string());
    return files;
}

TEST_F(CliTest, OutputPathsNeverNameTheDataFoldersOwnFilesWhateverTheYes) {
    const std::string data = commandFolder;
    fs::create_symlink(data + "/1M.DAT", dir.file("memos.pdf"));
    fs::create_symlink(data + "/77C.DAT", dir.file("dangling.csv"));
    const auto before = FolderBytes(data);
    const std::vector<std::vector<std::string>> attacks = {
        {"--yes", "invoice", "pdf", "1321", "--out", data + "/1C.DAT"},
        {"--yes", "invoice", "pdf", "1321", "--out", data + "/pdf/../LastCo.Dat"},
        {"--yes", "invoice", "pdf", "1321", "--out", dir.file("memos.pdf")},
        {"--yes", "export", "customers", data + "/1I.DAT"},
        {"--yes", "export", "products", data + "/1p.ix"},
        {"--yes", "export", "customers", dir.file("dangling.csv")},
        {"--yes", "export", "customers", data + "/invarro.ini"},
        {"--yes", "report", "invoice-register", "--text", data + "/1N.DAT"},
        {"--yes", "report", "invoice-register", "--pdf", data + "/Company.IX"},
        {"--yes", "report", "invoice-register", "--text", data + "/KRTERMS.DAT"},
    };
    for (const auto& args : attacks) {
        const Result r = run(args);
        EXPECT_EQ(r.status, kExitUsage) << args.back() << ": " << r.err;
        EXPECT_NE(r.err.find("is one of the files of the data folder"), std::string::npos) << r.err;
        EXPECT_TRUE(FolderBytes(data) == before) << args.back();
    }
    EXPECT_FALSE(fs::exists(data + "/77C.DAT"));
    // The books still check out whole.
    const Result check = run({"check"});
    EXPECT_EQ(check.status, kExitOk) << check.out << check.err;

    // Beside them, the user's own files are written as before.
    EXPECT_EQ(run({"--yes", "export", "customers", data + "/Customers.csv"}).status, kExitOk);
    EXPECT_EQ(run({"--yes", "invoice", "pdf", "1321", "--out", data + "/mine.pdf"}).status,
              kExitOk);
}

TEST_F(CliTest, FilesMadeInsideTheDataFolderAreTheOwnersAloneOthersFollowTheUmask) {
    const mode_t earlier = ::umask(022);
    auto mode = [](const std::string& path) {
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
        return st.st_mode & 0777;
    };
    ASSERT_EQ(run({"invoice", "pdf", "1321"}).status, kExitOk);
    EXPECT_EQ(mode(commandFolder + "/pdf/Invoice-1321.pdf"), 0600u);
    EXPECT_EQ(mode(commandFolder + "/pdf"), 0700u);
    // A PDF there from before, readable by all, is the owner's once it is written again.
    ::chmod((commandFolder + "/pdf/Invoice-1321.pdf").c_str(), 0644);
    ASSERT_EQ(run({"invoice", "pdf", "1321"}).status, kExitOk);
    EXPECT_EQ(mode(commandFolder + "/pdf/Invoice-1321.pdf"), 0600u);
    ASSERT_EQ(run({"statements", "pdf", "--customer", "100"}).status, kExitOk);
    EXPECT_EQ(mode(commandFolder + "/pdf/Customer-100Statement.pdf"), 0600u);
    ASSERT_EQ(run({"report", "invoice-register", "--pdf", commandFolder + "/pdf/r.pdf"}).status,
              kExitOk);
    EXPECT_EQ(mode(commandFolder + "/pdf/r.pdf"), 0600u);

    // Where the user names a place outside, the umask rules.
    const std::string out = dir.file("out");
    ASSERT_EQ(run({"invoice", "pdf", "1321", "--out", dir.file("invoice.pdf")}).status, kExitOk);
    EXPECT_EQ(mode(dir.file("invoice.pdf")), 0644u);
    ASSERT_EQ(run({"export", "customers", dir.file("c.csv")}).status, kExitOk);
    EXPECT_EQ(mode(dir.file("c.csv")), 0644u);
    ASSERT_EQ(run({"report", "invoice-register", "--text", dir.file("r.txt")}).status, kExitOk);
    EXPECT_EQ(mode(dir.file("r.txt")), 0644u);
    ASSERT_EQ(run({"statements", "pdf", "--customer", "100", "--out", out}).status, kExitOk);
    EXPECT_EQ(mode(out), 0755u);
    EXPECT_EQ(mode(out + "/Customer-100Statement.pdf"), 0644u);
    ::umask(earlier);
}

TEST_F(CliTest, InterestRatesAndAmountsOutOfBoundsAreRefusedBeforeAnythingIsWritten) {
    const auto before = FolderBytes(commandFolder);
    const std::vector<std::vector<std::string>> wrong = {
        {"--percent", "999999"},
        {"--percent", "1,2,3"},
        {"--percent", "-1"},
        {"--percent", "0"},
        {"--percent", "100.01"},
        {"--percent", "1.2345"},
        {"--percent", "1e2"},
        {"--percent", "2", "--minimum", "100"},
        {"--percent", "2", "--minimum", "-1"},
        {"--flat", "1000"},
        {"--flat", "0"},
        {"--flat", "-5"},
    };
    for (const auto& options : wrong) {
        std::vector<std::string> args{"interest", "--over", "30"};
        args.insert(args.end(), options.begin(), options.end());
        const Result r = run(args);
        EXPECT_EQ(r.status, kExitUsage) << options[1] << ": " << r.err;
        EXPECT_EQ(r.out, "") << options[1];
        // Not even the customers were aged.
        EXPECT_TRUE(FolderBytes(commandFolder) == before) << options[1];
    }
    const Result said = run({"interest", "--over", "30", "--percent", "1,2,3"});
    EXPECT_NE(said.err.find("--percent: " + std::string(invoicing::kBadPercent)), std::string::npos)
        << said.err;

    // The bounds themselves are allowed, and the rate is kept as its field holds it.
    const Result r = run({"interest", "--over", "60", "--percent", "100", "--minimum", "99.99"});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    storage::InitEngine(30);
    testing::ScriptedPrompter quiet;
    const auto company = app::LoadCompanyInUse(commandFolder, quiet);
    storage::ExitEngine();
    ASSERT_TRUE(company);
    EXPECT_EQ(data::TrimmedText(company->text(Company::IntPercent)), "100.00");
    EXPECT_EQ(data::TrimmedText(company->text(Company::IntMinCharge)), "99.99");
}

// No customer is charged on more than he owes: a credit in the current period counts
// against the older ones. The demo holds such a customer.
TEST_F(CliTest, InterestIsChargedOnAtMostTheBalance) {
    const Result r = run({"interest", "--over", "30", "--percent", "1.5", "--dry-run"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    storage::InitEngine(30);
    storage::Fileblock* customers = storage::OpenFileblock(
        data::FileblockName(commandFolder, data::FileKind::Customer, "1"), true);
    ASSERT_TRUE(storage::EngineOk);
    std::istringstream lines(r.out);
    std::string line;
    int rows = 0;
    bool creditSetAgainst = false;
    while (std::getline(lines, line)) {
        if (line.size() < 60 || line.rfind("Customer Name", 0) == 0 ||
            line.rfind("Totals:", 0) == 0)
            continue;
        const std::string number = data::TrimmedText(line.substr(36, 10));
        const auto overdue = data::ParseMoney(data::TrimmedText(line.substr(46, 14)));
        ASSERT_TRUE(overdue) << line;
        data::CustomerRecord probe;
        probe.setText(Customer::CustNo, number);
        const auto found = data::FindAtOrAfter<Customer>(customers, 2, probe);
        ASSERT_TRUE(found) << number;
        const data::CustomerRecord& c = found->record;
        ASSERT_EQ(data::TrimmedText(c.text(Customer::CustNo)), number);
        const data::Money balance = c.money(Customer::Balance);
        EXPECT_LE(*overdue, balance) << line;
        EXPECT_GT(balance, data::Money()) << line;
        const data::Money older = c.money(Customer::Age31to60) + c.money(Customer::Age61to90) +
                                  c.money(Customer::AgeOver90);
        if (older > balance) {
            creditSetAgainst = true;
            EXPECT_EQ(*overdue, balance) << line;
        }
        ++rows;
    }
    storage::CloseFileblock(customers);
    storage::ExitEngine();
    EXPECT_GT(rows, 0) << r.out;
    EXPECT_TRUE(creditSetAgainst) << "the demo has a customer with a credit in the current "
                                     "period and more overdue than his balance";
}

TEST_F(CliTest, ASettingsFileThatIsAFifoNeitherHangsNorStopsACommand) {
    ::alarm(30);
    fs::remove(commandFolder + "/invarro.ini");
    ASSERT_EQ(::mkfifo((commandFolder + "/invarro.ini").c_str(), 0600), 0);
    const Result r = run({"companies"});
    ::alarm(0);
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.err.find(commandFolder + "/invarro.ini is a FIFO and is not read; the defaults "
                                         "are used"),
              std::string::npos)
        << r.err;
}

TEST(BatchPrompterTest, QuestionsGetTheSafeAnswerUnlessYesIsGiven) {
    using platform::Answer;
    using platform::Buttons;
    std::FILE* err = std::tmpfile();
    BatchPrompter careful(err, false), willing(err, true);
    auto message = [](Buttons b, Answer def) {
        return platform::Message{"Title", "Text", platform::Icon::Question, b, def};
    };
    // The default button does not decide: a restore warning defaults to No, an overwrite
    // question may default to Yes.
    EXPECT_EQ(careful.ask(message(Buttons::YesNo, Answer::Yes)), Answer::No);
    EXPECT_EQ(careful.ask(message(Buttons::OkCancel, Answer::Ok)), Answer::Cancel);
    EXPECT_EQ(careful.ask(message(Buttons::YesNoCancel, Answer::Yes)), Answer::Cancel);
    EXPECT_EQ(careful.ask(message(Buttons::Ok, Answer::Ok)), Answer::Ok);
    EXPECT_EQ(careful.declined(), 3);
    EXPECT_EQ(willing.ask(message(Buttons::YesNo, Answer::No)), Answer::Yes);
    EXPECT_EQ(willing.ask(message(Buttons::OkCancel, Answer::Cancel)), Answer::Ok);
    EXPECT_EQ(willing.ask(message(Buttons::YesNoCancel, Answer::No)), Answer::Yes);
    EXPECT_EQ(willing.declined(), 0);
    const std::string said = testing::ReadStream(err);
    std::fclose(err);
    EXPECT_NE(said.find("Title: Text\n  -> answered No without asking (--yes accepts)"),
              std::string::npos)
        << said;
}

TEST_F(CliTest, DatesAreIsoOrInTheCompanysOrder) {
    EXPECT_EQ(run({"aging", "--as-of", "2026-02-28"}).status, kExitOk);
    EXPECT_EQ(run({"aging", "--as-of", "02/28/2026"}).status, kExitOk);
    EXPECT_EQ(run({"aging", "--as-of", "2026-2-28"}).status, kExitUsage);
    EXPECT_EQ(run({"aging", "--as-of", "28/02/2026"}).status, kExitUsage);
    EXPECT_EQ(run({"aging", "--as-of=2024-02-29"}).status, kExitOk);
    EXPECT_EQ(run({"aging", "--as-of=2023-02-29"}).status, kExitUsage);
}

// ----------------------------------------------------------------------- e-mail

// Points the company in use of a folder at a mail server (no login).
void AimCompanyMail(const std::string& folder, data::CompanyRecord& company, int port,
                    const std::string& host = "127.0.0.1") {
    EnterPrompter prompter;
    storage::InitEngine(30);
    {
        data::ExistingFileblock companies;
        data::OpenExisting(companies, folder, data::FileKind::Company, {}, prompter);
        ASSERT_TRUE(companies.fb);
        auto found = data::FindAtOrAfter<Company>(companies.fb, 1, company);
        ASSERT_TRUE(found);
        data::CompanyRecord changed = found->record;
        changed.setText(Company::EMailAddress, "billing@company.test");
        changed.setText(Company::EMailHost, host);
        changed.setText(Company::EMailPort, std::to_string(port));
        changed.setText(Company::EMailLogin, "");
        changed.setText(Company::EMailPassword, "");
        ASSERT_TRUE(
            data::ChangeBusinessRecord(companies.fb, found->recNo, found->record, changed, prompter)
                .ok());
        company = changed;
    }
    storage::ExitEngine();
}

// The first invoice (type I) not yet marked printed.
std::string UnprintedInvoice(const std::string& folder) {
    EnterPrompter prompter;
    storage::InitEngine(30);
    std::string number;
    {
        data::ExistingFileblock invoices;
        data::OpenExisting(invoices, folder, data::FileKind::Invoice, "1", prompter);
        for (int32_t r = storage::NextUsedRecord(invoices.fb, 0); r > 0 && number.empty();
             r = storage::NextUsedRecord(invoices.fb, r)) {
            auto i = data::ReadBusinessRecord<Invoice>(invoices.fb, r);
            if (i && data::TrimmedText(i->text(Invoice::TransType)) == "I" &&
                data::TrimmedText(i->text(Invoice::PrintedFlag)) != "Y")
                number = data::TrimmedText(i->text(Invoice::InvNo));
        }
    }
    storage::ExitEngine();
    return number;
}

TEST_F(CliTest, InvoiceEmailSendsWhatTheInvoiceManagerSendsAndMarksTheInvoice) {
    testing::SmtpPeer peer(testing::SmtpPeer::Options{});
    ASSERT_TRUE(peer.ready());
    data::CompanyRecord commandCompany = session.company;
    AimCompanyMail(windowFolder, session.company, peer.port());
    AimCompanyMail(commandFolder, commandCompany, peer.port());
    const std::string number = UnprintedInvoice(windowFolder);
    ASSERT_FALSE(number.empty());

    // The invoice manager's e-mail of one invoice.
    EnterPrompter prompter;
    platform::SilentProgress progress;
    platform::curl::CurlMailer mailer;
    mailer.setTimeout(10);
    storage::InitEngine(30);
    {
        invoicing::ShortOpen invoices(windowFolder, data::FileKind::Invoice, "1", prompter);
        invoicing::ShortOpen lines(windowFolder, data::FileKind::InvoiceLine, "1", prompter);
        invoicing::ShortOpen memos(windowFolder, data::FileKind::Memo, "1", prompter);
        data::ExistingFileblock customers;
        data::OpenExisting(customers, windowFolder, data::FileKind::Customer, "1", prompter);
        output::InvoiceMailOutcome out;
        // As the manager makes it: with the PDF the company attaches, in its words.
        output::DocumentPdfMaker pdf;
        pdf.folder = windowFolder;
        pdf.canvas = [] {
            return std::unique_ptr<output::Canvas>(
                std::make_unique<platform::qt::PainterCanvas>(nullptr));
        };
        ASSERT_TRUE(output::RunMailSession(session.company, mailer, prompter, progress, [&] {
            out =
                output::EmailInvoiceText({invoices.fb, lines.fb, memos.fb, customers.fb}, number,
                                         session.company, mailer, prompter, clock, nullptr, false,
                                         pdf, output::ReadMailTexts(windowFolder, session.company));
        }));
        ASSERT_EQ(out.result, output::InvoiceMailOutcome::Result::Sent) << out.error.text;
    }
    storage::ExitEngine();

    const Result r = run({"invoice", "email", number});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, number + "\n");
    EXPECT_NE(r.err.find("1 invoices sent, 0 not sent, 0 skipped"), std::string::npos) << r.err;
    const auto mails = peer.received();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_FALSE(mails[1].field("subject").empty());
    EXPECT_NE(mails[1].body.find(number), std::string::npos) << mails[1].body;
    EXPECT_EQ(mails[1].field("subject"), mails[0].field("subject"));
    EXPECT_EQ(mails[1].field("to"), mails[0].field("to"));
    EXPECT_EQ(mails[1].body, mails[0].body);
    // The printed mark and the e-mail stamp, byte for byte as the window wrote them.
    expectSameFiles({"1I.DAT"});
    EXPECT_EQ(UnprintedInvoice(commandFolder), UnprintedInvoice(windowFolder));
    EXPECT_NE(UnprintedInvoice(commandFolder), number);

    EXPECT_EQ(run({"invoice", "email", "NOSUCH"}).status, kExitFailed);
    EXPECT_EQ(run({"invoice", "email"}).status, kExitUsage);
    const Result help = run({"invoice", "email", "--help"});
    EXPECT_EQ(help.status, kExitOk);
    EXPECT_NE((help.out + help.err).find("invoice email NUMBER"), std::string::npos);
}

TEST_F(CliTest, InvoiceEmailFailsWithTheCountsWhenTheServerRefusesOrIsAway) {
    const std::string number = UnprintedInvoice(commandFolder);
    const std::string before = ReadFileBytes(commandFolder + "/1I.DAT");
    data::CompanyRecord company = session.company;
    {
        // The server refuses every recipient: not sent, the invoice stays unmarked.
        testing::SmtpPeer peer(testing::SmtpPeer::Options().refuse("@"));
        ASSERT_TRUE(peer.ready());
        AimCompanyMail(commandFolder, company, peer.port());
        const std::string aimed = ReadFileBytes(commandFolder + "/1I.DAT");
        const Result r = run({"invoice", "email", number});
        EXPECT_EQ(r.status, kExitFailed);
        EXPECT_NE(r.err.find("0 invoices sent, 1 not sent, 0 skipped"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("first not sent: invoice " + number), std::string::npos) << r.err;
        EXPECT_TRUE(ReadFileBytes(commandFolder + "/1I.DAT") == aimed);
    }
    // No server on the port any more.
    const Result away = run({"statements", "email", "--customer", "100"});
    EXPECT_EQ(away.status, kExitFailed);
    EXPECT_NE(away.err.find("0 statements sent, 1 not sent"), std::string::npos) << away.err;
    // Without a mail host the settings check refuses before any connection.
    AimCompanyMail(commandFolder, company, 25, "");
    const Result unset = run({"invoice", "email", number});
    EXPECT_EQ(unset.status, kExitFailed);
    EXPECT_NE(unset.err.find("1 not sent"), std::string::npos) << unset.err;
    EXPECT_TRUE(ReadFileBytes(commandFolder + "/1I.DAT") == before);
}

TEST_F(CliTest, StatementsEmailSendsEachChosenCustomersStatementOverOneConnection) {
    testing::SmtpPeer peer(testing::SmtpPeer::Options{});
    ASSERT_TRUE(peer.ready());
    data::CompanyRecord company = session.company;
    AimCompanyMail(commandFolder, company, peer.port());
    const Result r = run({"statements", "email", "--customer", "100", "--customer", "101"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.err.find("2 statements sent, 0 not sent, 0 skipped"), std::string::npos) << r.err;
    const auto mails = peer.received();
    ASSERT_EQ(mails.size(), 2u);
    // The text is the statement routine's own.
    EnterPrompter prompter;
    storage::InitEngine(30);
    {
        data::ExistingFileblock customers, invoices;
        data::OpenExisting(customers, commandFolder, data::FileKind::Customer, "1", prompter);
        data::OpenExisting(invoices, commandFolder, data::FileKind::Invoice, "1", prompter);
        const output::Statement s = output::BuildStatement(
            output::StatementFiles{customers.fb, invoices.fb}, "100", false, company);
        // With the PDF attached, the cover letter's subject.
        EXPECT_EQ(
            mails[0].field("subject"),
            output::MergeSubject(output::CoverLetter(output::MailKind::Statement).subject,
                                 output::StatementMergeValues(s, company, data::Today(clock))));
        EXPECT_NE(mails[0].body.find(data::TrimmedText(s.name)), std::string::npos);
    }
    storage::ExitEngine();
    EXPECT_NE(mails[1].field("subject"), mails[0].field("subject"));
    // A named customer does not change the last batch date; the batch run does.
    expectSameFiles({"1C.DAT"});
    const Result batch = run({"statements", "email"});
    EXPECT_EQ(batch.status, kExitOk) << batch.err;
    EXPECT_GT(peer.received().size(), 3u);
    EXPECT_EQ(run({"statements", "email", "--from", "2026-05-01", "--to", "2026-04-01"}).status,
              kExitUsage);
}

TEST_F(CliTest, EmailAttachesTheDocumentByTheCompanysSettingAndTheOptionsOverrideIt) {
    testing::SmtpPeer peer(testing::SmtpPeer::Options{});
    ASSERT_TRUE(peer.ready());
    data::CompanyRecord company = session.company;
    AimCompanyMail(commandFolder, company, peer.port());
    const std::string first = UnprintedInvoice(commandFolder);
    // The demo attaches: the PDF that "invoice pdf" writes goes with the text.
    Result r = run({"invoice", "email", first});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    auto mails = peer.received();
    ASSERT_EQ(mails.size(), 1u);
    ASSERT_EQ(mails[0].attachments.size(), 1u);
    EXPECT_EQ(mails[0].attachments[0].fileName, "Invoice-" + first + ".pdf");
    EXPECT_EQ(mails[0].attachments[0].contentType, "application/pdf");
    EXPECT_EQ(mails[0].attachments[0].disposition, "attachment");
    const std::string pdfText =
        testing::RunCommand("pdftotext -layout -enc UTF-8 " +
                            testing::ShellQuote(mails[0].attachments[0].path) + " -")
            .output;
    EXPECT_NE(pdfText.find(first), std::string::npos) << pdfText;
    // Nothing was left in the data folder: Send to PDF was not asked for.
    EXPECT_FALSE(fs::exists(commandFolder + "/pdf"));

    // --no-attach sends today's plain text.
    const std::string second = UnprintedInvoice(commandFolder);
    r = run({"invoice", "email", second, "--no-attach"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    mails = peer.received();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_TRUE(mails[1].attachments.empty());
    EXPECT_EQ(mails[1].field("content-type"), "text/plain; charset=\"UTF-8\"");

    // The company turns it off; --attach still attaches, to a statement as well.
    data::IniFile ini(data::IniFilePath(commandFolder));
    ASSERT_TRUE(output::SetAttachDocumentPdf(ini, "1", false));
    r = run({"statements", "email", "--customer", "100"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    r = run({"statements", "email", "--customer", "100", "--attach"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    mails = peer.received();
    ASSERT_EQ(mails.size(), 4u);
    EXPECT_TRUE(mails[2].attachments.empty());
    ASSERT_EQ(mails[3].attachments.size(), 1u);
    EXPECT_EQ(mails[3].attachments[0].fileName, "Customer-100Statement.pdf");
    // Attached, the text is the cover letter; alone, the statement itself.
    EXPECT_EQ(mails[3].bodyLines().at(0), "Dear Harborview Dental Group,");
    EXPECT_NE(mails[2].body.find("Statement Date: "), std::string::npos) << mails[2].body;
    EXPECT_FALSE(fs::exists(commandFolder + "/pdf"));

    EXPECT_EQ(run({"invoice", "email", second, "--attach", "--no-attach"}).status, kExitUsage);
    const Result help = run({"statements", "email", "--help"});
    EXPECT_NE((help.out + help.err).find("--no-attach"), std::string::npos);
}

TEST_F(CliTest, InvoiceEmailSaysPlainlyWhenTheKeyringDoesNotAnswerAndTriesNoLogin) {
    // The company keeps its password in the keyring; under cron no keyring answers.
    testing::SmtpPeer peer(testing::SmtpPeer::Options().login("clerk:s3cret", true));
    ASSERT_TRUE(peer.ready());
    data::CompanyRecord company = session.company;
    AimCompanyMail(commandFolder, company, peer.port());
    EnterPrompter prompter;
    storage::InitEngine(30);
    {
        data::ExistingFileblock companies;
        data::OpenExisting(companies, commandFolder, data::FileKind::Company, {}, prompter);
        auto found = data::FindAtOrAfter<Company>(companies.fb, 1, company);
        ASSERT_TRUE(found);
        data::CompanyRecord changed = found->record;
        changed.setText(Company::EMailLogin, "clerk");
        ASSERT_TRUE(
            data::ChangeBusinessRecord(companies.fb, found->recNo, found->record, changed, prompter)
                .ok());
    }
    storage::ExitEngine();
    data::IniFile ini(data::IniFilePath(commandFolder));
    ASSERT_TRUE(ini.writeInteger("E-Mail Password", "1", 1));
    const std::string number = UnprintedInvoice(commandFolder);
    const std::string before = ReadFileBytes(commandFolder + "/1I.DAT");

    const Result r = run({"invoice", "email", number});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_NE(r.err.find("The desktop keyring did not answer, so the mail password of company 1 "
                         "could not be read and no login was tried."),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Keep the password in the desktop keyring"), std::string::npos);
    EXPECT_EQ(r.err.find("refused the login"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("0 invoices sent, 1 not sent"), std::string::npos) << r.err;
    // The server never saw a login, nor a message; the invoice is as it was.
    EXPECT_EQ(peer.events().find("auth"), std::string::npos) << peer.events();
    EXPECT_TRUE(peer.received().empty());
    EXPECT_TRUE(ReadFileBytes(commandFolder + "/1I.DAT") == before);
}

}  // namespace
}  // namespace invarro::cli

namespace invarro::cli {
namespace {

// ----------------------------------------------------------------------- e-mail sign-in

// A company of the command's folder that signs in with a local provider, its mail server
// taking only the provider's current tokens over STARTTLS.
class CliSignInTest : public CliTest {
  protected:
    void SetUp() override {
        CliTest::SetUp();
        ASSERT_TRUE(provider.ready());
        ASSERT_TRUE(peer.ready());
        company = session.company;
        AimCompanyMail(commandFolder, company, peer.port());
        settings.method = app::SignInMethod::Other;
        settings.clientId = provider.options().clientId;
        settings.authorizeUrl = provider.url("/authorize");
        settings.tokenUrl = provider.url("/token");
        settings.deviceUrl = provider.url("/devicecode");
        settings.scope = "https://mail.test/ offline_access";
        data::IniFile ini(data::IniFilePath(commandFolder));
        ASSERT_TRUE(app::WriteMailSignIn(ini, "1", settings));
        moreServices = [this](CliServices& s) {
            s.tokenKeyring = [this]() -> platform::Keyring* {
                return keyringAnswers ? &tokens : nullptr;
            };
            s.oauth = [this]() -> platform::OAuthClient* { return &oauth; };
            s.pause = [this](int) {
                // The user approves the code on another device while the command waits.
                if (++pauses == 2) provider.approveDevices();
                return pauses < 20;
            };
            s.mailer = [this] {
                auto mailer = std::make_unique<platform::curl::CurlMailer>();
                mailer->setTimeout(10);
                mailer->setCaFile(cert.cert);
                return mailer;
            };
        };
    }
    Result run(std::vector<std::string> args) {
        Result r = CliTest::run(std::move(args));
        said += r.out + r.err;
        return r;
    }

    testing::TempDir certs;
    testing::Certificate cert = testing::MakeCertificate(certs.path());
    testing::OAuthPeer provider{{"invarro-test-client", "", "billing@company.test", 3600}};
    testing::SmtpPeer peer{
        testing::SmtpPeer::Options().startTls(cert).tokensOf(provider.tokensFile())};
    data::CompanyRecord company;
    app::MailSignInSettings settings;
    testing::MemoryKeyring tokens;
    platform::curl::CurlOAuth oauth;
    bool keyringAnswers = true;
    int pauses = 0;
    std::string said;  // everything every run printed
};

// Every file below folder whose bytes hold text.
std::vector<std::string> FilesHolding(const std::string& folder, const std::string& text) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() &&
            ReadFileBytes(entry.path().string()).find(text) != std::string::npos)
            found.push_back(entry.path().string());
    return found;
}

TEST_F(CliSignInTest, DeviceCodeSignInThenInvoiceAndStatementGoOutAndNoTokenIsLeftInAnyFile) {
    Result r = run({"email", "login"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const std::regex prompt(
        "To sign in, open http://127\\.0\\.0\\.1/device in a web browser "
        "and enter the code [0-9]{4}-[0-9]{4}\\.");
    EXPECT_TRUE(std::regex_search(r.out + r.err, prompt)) << r.out << r.err;
    EXPECT_NE(r.out.find("billing@company.test"), std::string::npos);
    EXPECT_GE(provider.count("device_code authorization_pending"), 1);
    EXPECT_EQ(provider.count("device_code ok"), 1);
    ASSERT_EQ(tokens.secrets.size(), 1u);
    const auto stored = app::ParseStoredTokens(tokens.secrets.begin()->second);
    ASSERT_TRUE(stored);

    const std::string number = UnprintedInvoice(commandFolder);
    r = run({"invoice", "email", number, "--no-attach"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    r = run({"statements", "email", "--customer", "100", "--no-attach"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(peer.received().size(), 2u);
    EXPECT_NE(peer.events().find("auth XOAUTH2 billing@company.test ok"), std::string::npos)
        << peer.events();
    EXPECT_NE(UnprintedInvoice(commandFolder), number);

    // The tokens are in the keyring and nowhere else: not in the data folder, its backup,
    // or anything the commands printed.
    const std::string backup = dir.file("backup");
    fs::create_directories(backup);
    r = run({"backup", backup});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const std::string unpacked = dir.file("unpacked");
    fs::create_directories(unpacked);
    ASSERT_EQ(
        std::system(("unzip -q -o '" + backup + "/ZTBackup.zip' -d '" + unpacked + "'").c_str()),
        0);
    ASSERT_FALSE(fs::is_empty(unpacked));
    for (const std::string& secret : {stored->refreshToken, stored->accessToken}) {
        EXPECT_EQ(FilesHolding(commandFolder, secret), std::vector<std::string>{});
        EXPECT_EQ(FilesHolding(unpacked, secret), std::vector<std::string>{});
        EXPECT_EQ(said.find(secret), std::string::npos);
    }
}

TEST_F(CliSignInTest, WithoutTheKeyringOrASignInTheRunStopsBeforeAnyConnection) {
    const std::string number = UnprintedInvoice(commandFolder);
    // Never signed in.
    Result r = run({"invoice", "email", number});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_NE(
        r.err.find("Company 1 is not signed in with Other OAuth 2.0 provider. Sign in "
                   "(Company Options, E-Mail, Sign in...) or run \"invarro-cli email login\"."),
        std::string::npos)
        << r.err;
    // Signed in, but run from a timer where no keyring answers.
    ASSERT_EQ(run({"email", "login"}).status, kExitOk);
    keyringAnswers = false;
    r = run({"invoice", "email", number});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_NE(r.err.find("The desktop keyring did not answer, so the sign-in of company 1 could "
                         "not be read and no connection was tried."),
              std::string::npos)
        << r.err;
    EXPECT_EQ(run({"email", "login"}).status, kExitFailed);
    // The mail server never heard of it, and the invoice is as it was.
    EXPECT_EQ(peer.events(), "");
    EXPECT_EQ(UnprintedInvoice(commandFolder), number);

    // A provider without a device grant, and a company that uses a password, say so.
    keyringAnswers = true;
    data::IniFile ini(data::IniFilePath(commandFolder));
    app::MailSignInSettings google;
    google.method = app::SignInMethod::Google;
    google.clientId = "x.apps.googleusercontent.com";
    ASSERT_TRUE(app::WriteMailSignIn(ini, "1", google));
    r = run({"email", "login"});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_NE(r.err.find("Google offers no sign-in from a terminal"), std::string::npos) << r.err;
    ASSERT_TRUE(app::WriteMailSignIn(ini, "1", app::MailSignInSettings{}));
    r = run({"email", "login"});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_NE(r.err.find("signs in to its mail server with a password"), std::string::npos);
}

}  // namespace
}  // namespace invarro::cli
