// Every kind of document the demo company sends, made as a user makes it and read back as
// paper: no word where a printer cannot print (within a quarter inch of the edge) or off
// the sheet, no two words over each other, and every page saying what it is.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "app/Demo.h"
#include "cli/Captured.h"
#include "cli/Cli.h"
#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/PaymentReference.h"
#include "data/Records.h"
#include "data/Update.h"
#include "platform/qt/LetterText.h"
#include "platform/qt/PainterCanvas.h"
#include "storage/Engine.h"
#include "support/PdfTools.h"
#include "support/QtApp.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::cli {
namespace {

namespace fs = std::filesystem;
using data::TrimmedText;
using testing::PageNeeds;
using testing::PaperFaults;

std::string Faults(const std::vector<std::string>& faults) {
    std::string all;
    for (size_t i = 0; i < faults.size() && i < 12; ++i)
        all += "\n  " + faults[i];
    if (faults.size() > 12) all += "\n  ... and " + std::to_string(faults.size() - 12) + " more";
    return all;
}

// The demo's invoices by kind, read from its invoice and line files.
struct DemoNumbers {
    std::string lineInvoice, memoInvoice, quote, longest;
};

DemoNumbers FindNumbers(const std::string& folder) {
    DemoNumbers n;
    storage::InitEngine(30);
    storage::Fileblock* inv = storage::OpenFileblock(folder + "/1I", false);
    std::map<std::string, int> lineCount;
    for (int32_t rec = storage::NextUsedRecord(inv, 0); storage::EngineOk && rec > 0;
         rec = storage::NextUsedRecord(inv, rec)) {
        auto r = data::ReadBusinessRecord<data::Invoice>(inv, rec);
        if (!r) continue;
        const std::string number = TrimmedText(r->text(data::Invoice::InvNo));
        const std::string type = TrimmedText(r->text(data::Invoice::TransType));
        const bool memo = TrimmedText(r->text(data::Invoice::InvoiceStyle)) == "M";
        if (type == "Q" && n.quote.empty()) n.quote = number;
        if (type == "I" && memo && n.memoInvoice.empty()) n.memoInvoice = number;
        if (type == "I" && !memo && n.lineInvoice.empty()) n.lineInvoice = number;
    }
    storage::CloseFileblock(inv);
    storage::Fileblock* lines = storage::OpenFileblock(folder + "/1N", false);
    for (int32_t rec = storage::NextUsedRecord(lines, 0); storage::EngineOk && rec > 0;
         rec = storage::NextUsedRecord(lines, rec))
        if (auto r = data::ReadBusinessRecord<data::InvoiceLine>(lines, rec))
            ++lineCount[TrimmedText(r->text(data::InvoiceLine::InvNo))];
    storage::CloseFileblock(lines);
    storage::ExitEngine();
    int most = 0;
    for (const auto& [number, count] : lineCount)
        if (count > most) most = count, n.longest = number;
    return n;
}

class PaperTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        testing::QtApp();
        dir = new testing::TempDir;
        folder = dir->file("data");
        storage::InitEngine(30);
        testing::ScriptedPrompter quiet;
        const app::InstallResult r = app::CreateDemoInstallation(folder, quiet);
        storage::ExitEngine();
        ASSERT_TRUE(r.ok) << r.message;
        numbers = FindNumbers(folder);
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }

    testing::CliResult run(std::vector<std::string> args, bool yes = true) {
        args.insert(args.begin(), {"--data", folder});
        if (yes) args.insert(args.begin() + 2, "--yes");
        CliServices services;
        services.pdfCanvas = [] { return std::make_unique<platform::qt::PainterCanvas>(nullptr); };
        services.letterPdf = [](const std::string& file) -> std::unique_ptr<output::LetterSink> {
            return std::make_unique<platform::qt::LetterPrinter>(file);
        };
        return testing::RunCaptured(args, services);
    }

    // Makes the document with the command line and checks it as paper.
    void expectPaper(const std::vector<std::string>& args, const std::string& file,
                     const PageNeeds& needs, int leastPages = 1) {
        const testing::CliResult r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const int pages = std::stoi(testing::PdfInfo(file)["Pages"]);
        EXPECT_GE(pages, leastPages) << file;
        const std::vector<std::string> faults = PaperFaults(file, needs);
        EXPECT_TRUE(faults.empty()) << file << ":" << Faults(faults);
    }

    // An invoice-like document shows its number on every page, and each page of a longer
    // one its page line with the count.
    static PageNeeds InvoicePages(const std::string& number) {
        return [number](int page, int pages) {
            std::vector<std::string> needs{number};
            if (pages > 1)
                needs.push_back(number + " - page number " + std::to_string(page) + " of " +
                                std::to_string(pages));
            if (page < pages)
                needs.push_back("Continued on page number " + std::to_string(page + 1));
            return needs;
        };
    }

    std::string out(const std::string& name) const { return dir->file(name); }

    static testing::TempDir* dir;
    static std::string folder;
    static DemoNumbers numbers;
};

testing::TempDir* PaperTest::dir = nullptr;
std::string PaperTest::folder;
DemoNumbers PaperTest::numbers;

TEST_F(PaperTest, InvoicesQuotesPackingSlipsAndFileCopies) {
    ASSERT_FALSE(numbers.lineInvoice.empty());
    ASSERT_FALSE(numbers.memoInvoice.empty());
    ASSERT_FALSE(numbers.quote.empty());
    const std::string inv = numbers.lineInvoice;
    expectPaper({"invoice", "pdf", inv, "--out", out("invoice.pdf")}, out("invoice.pdf"),
                InvoicePages(inv));
    expectPaper({"invoice", "pdf", numbers.memoInvoice, "--out", out("memo.pdf")}, out("memo.pdf"),
                [&](int page, int pages) {
                    auto needs = InvoicePages(numbers.memoInvoice)(page, pages);
                    needs.push_back("Description of Work");  // the demo's memo heading
                    return needs;
                });
    expectPaper({"invoice", "pdf", numbers.quote, "--out", out("quote.pdf")}, out("quote.pdf"),
                InvoicePages(numbers.quote));
    expectPaper({"invoice", "pdf", inv, "--kind", "packing-slip", "--out", out("slip.pdf")},
                out("slip.pdf"), InvoicePages(inv));
    expectPaper({"invoice", "pdf", inv, "--kind", "file-copy", "--out", out("copy.pdf")},
                out("copy.pdf"), InvoicePages(inv));
}

// The demo's Swiss company: an invoice ends with its QR-bill on a sheet of its own, one
// whose customer's address the bill cannot carry goes out without and says why.
TEST_F(PaperTest, TheSwissCompanysInvoiceEndsWithItsQrBill) {
    const testing::CliResult r =
        run({"--company", "4", "invoice", "pdf", "7001", "--out", out("swiss.pdf")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(testing::PdfInfo(out("swiss.pdf"))["Pages"], "2");
    EXPECT_NE(testing::PdfText(out("swiss.pdf"), 1).find("7001"), std::string::npos);
    const std::string code = testing::ScanQrCodes(out("swiss.pdf"), 2, 150, dir->path());
    EXPECT_EQ(code.rfind("SPC\n0200\n1\nCH4431999123000889012\nS\nAlpenblick Druck AG\n"
                         "Bahnhofstrasse\n17\n8001\nZürich\nCH\n",
                         0),
              0u)
        << code;
    EXPECT_NE(code.find("\nS\nCafé Bellevue GmbH\nSeestrasse\n41\n8002\nZürich\nCH\nQRR\n" +
                        *data::InvoiceQrReference("7001") + "\nInvoice 7001\nEPD"),
              std::string::npos)
        << code;

    const testing::CliResult none =
        run({"--company", "4", "invoice", "pdf", "7003", "--out", out("swiss-none.pdf")});
    ASSERT_EQ(none.status, 0) << none.err;
    EXPECT_NE(none.err.find("No QR-bill for invoice 7003: the customer's address cannot be read: "
                            "the line \"c/o Anna Meier\""),
              std::string::npos)
        << none.err;
    EXPECT_EQ(testing::PdfInfo(out("swiss-none.pdf"))["Pages"], "1");
}

TEST_F(PaperTest, AnInvoiceOfManyLinesRunsOverPagesThatSayWhoseTheyAre) {
    ASSERT_FALSE(numbers.longest.empty());
    expectPaper({"invoice", "pdf", numbers.longest, "--out", out("long.pdf")}, out("long.pdf"),
                InvoicePages(numbers.longest), 2);
}

TEST_F(PaperTest, Statements) {
    const testing::CliResult r = run({"statements", "pdf", "--out", out("statements")});
    ASSERT_EQ(r.status, 0) << r.err;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(out("statements"))) {
        ++files;
        const std::string file = entry.path().string();
        // "Customer-106Statement.pdf": the account number on every page.
        std::string number = entry.path().stem().string();
        number = number.substr(9, number.size() - 9 - 9);
        const auto faults = PaperFaults(file, [&](int page, int) {
            return std::vector<std::string>{"Page Number: " + std::to_string(page),
                                            "Account Number: " + number};
        });
        EXPECT_TRUE(faults.empty()) << file << ":" << Faults(faults);
    }
    EXPECT_GT(files, 10);
}

TEST_F(PaperTest, EveryReportSaysOnEachPageWhichReportItIsAndHowManyPagesItHas) {
    const char* reports[][2] = {{"invoice-register", "Invoice Register"},
                                {"payment-register", "Payment Register"},
                                {"receivables", "A/R"},
                                {"sales", "Sales Report"},
                                {"key-code", "Key Code Inquiry"},
                                {"tax", "Tax Report"},
                                {"repeat-billings", "Repeat Billings"},
                                {"quotes", "Quote Report"}};
    for (const auto& [name, title] : reports) {
        const std::string file = out(std::string(name) + ".pdf");
        SCOPED_TRACE(name);
        const std::string t = title;
        expectPaper({"report", name, "--from", "2000-01-01", "--to", "2099-12-31", "--pdf", file},
                    file, [t](int page, int pages) {
                        return std::vector<std::string>{
                            t, "Page: " + std::to_string(page) + " of " + std::to_string(pages)};
                    });
    }
}

TEST_F(PaperTest, LabelSheetsAndMergedLetters) {
    expectPaper({"labels", "pdf", "--out", out("labels.pdf")}, out("labels.pdf"), nullptr, 2);
    expectPaper(
        {"letters", "pdf", "--out", out("letters.pdf")}, out("letters.pdf"),
        [](int, int) { return std::vector<std::string>{"Dear"}; }, 20);
}

// The Berlin company (number 3) keeps a VAT number, a tax number, an IBAN and a BIC and
// is in Germany; the US company (number 1) keeps none of them and names no country.
constexpr const char* kBerlinVat = "VAT ID: DE123456788";
constexpr const char* kBerlinTaxNo = "Tax No.: 27/123/45678";
constexpr const char* kBerlinIban = "IBAN: DE41 5001 0517 0123 4567 89";
constexpr const char* kBerlinBic = "BIC: INGDDEFFXXX";

// The paper a PDF's first page is on, as pdfinfo names it ("A4", "letter").
std::string PaperOf(const std::string& file) {
    const std::string size = testing::PdfInfo(file)["Page size"];
    if (size.find("A4") != std::string::npos) return "A4";
    if (size.find("letter") != std::string::npos) return "Letter";
    return size;
}

TEST_F(PaperTest, AEuropeanCompanysInvoicesCreditNotesAndStatementsNameItsVatNumberAndBank) {
    const std::vector<std::string> identity{kBerlinVat, kBerlinTaxNo, kBerlinIban, kBerlinBic};
    // 3001 is a line-item invoice, 3002 a memo invoice, 3007 a credit note, 3008 paid
    // with a deposit; each is an e-invoice too.
    for (const char* number : {"3001", "3002", "3007", "3008"}) {
        SCOPED_TRACE(number);
        const std::string file = out(std::string("de-") + number + ".pdf");
        expectPaper({"--company", "3", "invoice", "pdf", number, "--out", file}, file,
                    [&](int page, int pages) {
                        auto needs = InvoicePages(number)(page, pages);
                        if (page == pages)
                            needs.insert(needs.end(), identity.begin(), identity.end());
                        return needs;
                    });
        EXPECT_EQ(PaperOf(file), "A4");
    }
    // A packing slip is no invoice; a quote names the seller but asks for no payment.
    const std::string slip = out("de-slip.pdf");
    expectPaper(
        {"--company", "3", "invoice", "pdf", "3001", "--kind", "packing-slip", "--out", slip}, slip,
        InvoicePages("3001"));
    EXPECT_EQ(testing::PdfText(slip).find("DE123456788"), std::string::npos);
    const std::string quote = out("de-quote.pdf");
    expectPaper({"--company", "3", "invoice", "pdf", "3001", "--kind", "quote", "--out", quote},
                quote, [](int, int) {
                    return std::vector<std::string>{kBerlinVat, kBerlinTaxNo};
                });
    EXPECT_EQ(testing::PdfText(quote).find("DE41"), std::string::npos);

    const testing::CliResult r =
        run({"--company", "3", "statements", "pdf", "--out", out("de-statements")});
    ASSERT_EQ(r.status, 0) << r.err;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(out("de-statements"))) {
        ++files;
        const std::string file = entry.path().string();
        const auto faults = PaperFaults(file, [&](int page, int pages) {
            std::vector<std::string> needs{"Page Number: " + std::to_string(page)};
            if (page == pages) needs.insert(needs.end(), identity.begin(), identity.end());
            return needs;
        });
        EXPECT_TRUE(faults.empty()) << file << ":" << Faults(faults);
        EXPECT_EQ(PaperOf(file), "A4") << file;
    }
    EXPECT_GT(files, 3);
}

TEST_F(PaperTest, ACompanyWithoutVatNumberOrBankPrintsNoneAndStaysOnLetter) {
    const std::string file = out("us-invoice.pdf");
    expectPaper({"invoice", "pdf", numbers.lineInvoice, "--out", file}, file,
                InvoicePages(numbers.lineInvoice));
    const std::string text = testing::PdfText(file);
    EXPECT_EQ(text.find("VAT ID"), std::string::npos);
    EXPECT_EQ(text.find("IBAN"), std::string::npos);
    EXPECT_EQ(PaperOf(file), "Letter");
}

TEST_F(PaperTest, TheBerlinCompanyDatesDayFirstAndWritesTheTextsOfItsSettingsInGerman) {
    // The invoice's date as stored for sorting (yyyy/mm/dd) and as the invoice shows it.
    storage::InitEngine(30);
    storage::Fileblock* inv = storage::OpenFileblock(folder + "/3I", false);
    data::InvoiceRecord probe;
    probe.setText(data::Invoice::InvNo, "3001");
    const auto found = data::FindAtOrAfter<data::Invoice>(inv, 1, probe);
    storage::CloseFileblock(inv);
    storage::ExitEngine();
    ASSERT_TRUE(found);
    const std::string sort = TrimmedText(found->record.text(data::Invoice::SortDate));
    ASSERT_EQ(sort.size(), 10u) << sort;
    const std::string dayFirst =
        sort.substr(8, 2) + "/" + sort.substr(5, 2) + "/" + sort.substr(0, 4);

    const std::string file = out("de-german.pdf");
    expectPaper({"--company", "3", "invoice", "pdf", "3001", "--out", file}, file, [&](int, int) {
        return std::vector<std::string>{
            "RECHNUNG", "Date: " + dayFirst, "Art.-Nr.", "Menge", "Bezeichnung", "Einzelpreis",
            "Betrag", "Zahlbar in 14 Tagen netto", "Vielen Dank für Ihren Auftrag.",
            // the document's own words stay
            "Total:", "Grand Total:", "Balance Due:"};
    });
    const std::string memo = out("de-memo.pdf");
    expectPaper({"--company", "3", "invoice", "pdf", "3002", "--out", memo}, memo,
                [](int, int) { return std::vector<std::string>{"Leistungsbeschreibung"}; });
    const std::string slip = out("de-lieferschein.pdf");
    expectPaper(
        {"--company", "3", "invoice", "pdf", "3001", "--kind", "packing-slip", "--out", slip}, slip,
        [](int, int) { return std::vector<std::string>{"LIEFERSCHEIN"}; });
}

// Labels and then letters printed to one file: the letters do not silently take the labels'
// place; --yes lets them.
TEST_F(PaperTest, APrintToAFileThatIsThereIsKeptUnlessYesIsGiven) {
    const std::string file = out("one-file.pdf");
    expectPaper({"labels", "pdf", "--out", file}, file, nullptr);
    const std::string labels = testing::PdfText(file);
    const testing::CliResult kept = run({"letters", "pdf", "--out", file}, false);
    EXPECT_EQ(kept.status, kExitFailed);
    EXPECT_NE(kept.err.find("--yes"), std::string::npos) << kept.err;
    EXPECT_EQ(testing::PdfText(file), labels);
    EXPECT_EQ(run({"letters", "pdf", "--out", file}).status, kExitOk);
    EXPECT_NE(testing::PdfText(file).find("Dear"), std::string::npos);
}

// The check itself: a page drawn from the sheet's corner, with words over each other, and
// without what it must carry, is refused on each count.
TEST(PaperCheck, FindsWordsAtTheEdgeOverEachOtherAndMissingPageTexts) {
    testing::QtApp();
    testing::TempDir dir;
    const std::string file = dir.file("faulty.pdf");
    platform::qt::PainterCanvas canvas(nullptr);
    ASSERT_TRUE(canvas.beginDocument(file));
    canvas.setFont(output::Font{"Arial", 10});
    canvas.textOut(-64, -64, "Corner");  // on the paper's corner
    canvas.textOut(600, 600, "Over");    // two words in one place
    canvas.textOut(610, 600, "Under");
    canvas.textOut(canvas.pageWidth() - 40, 1000, "Outside");  // past the printable edge
    canvas.textOut(600, 1400, "Fine");
    ASSERT_TRUE(canvas.endDocument());
    const auto faults = PaperFaults(file, [](int, int) {
        return std::vector<std::string>{"Fine", "Invoice 1001"};
    });
    const std::string all = Faults(faults);
    EXPECT_NE(all.find("quarter inch of the edge: page 1 \"Corner\""), std::string::npos) << all;
    EXPECT_NE(all.find("over each other"), std::string::npos) << all;
    EXPECT_NE(all.find("\"Outside\""), std::string::npos) << all;
    EXPECT_NE(all.find("lacks \"Invoice 1001\""), std::string::npos) << all;
    EXPECT_EQ(all.find("lacks \"Fine\""), std::string::npos) << all;
    EXPECT_EQ(all.find("\"Fine\" at"), std::string::npos) << all;
}

// Any PDF files, named in INVARRO_PAPER_FILES (separated by ":"), checked as paper: for
// looking at documents made elsewhere, for example by an older build.
TEST(PaperCheck, FilesNamedInTheEnvironment) {
    const char* files = std::getenv("INVARRO_PAPER_FILES");
    if (!files || !*files) GTEST_SKIP() << "INVARRO_PAPER_FILES names no files";
    std::istringstream list(files);
    for (std::string file; std::getline(list, file, ':');) {
        const auto faults = PaperFaults(file);
        EXPECT_TRUE(faults.empty()) << file << ": " << faults.size() << " faults" << Faults(faults);
    }
}

}  // namespace
}  // namespace invarro::cli
