// The e-invoices of the demo's European company, written by `invoice xml` and judged by
// the official EN 16931 schema and business rules (the validator beside the checkout),
// and the bad settings that are refused before a file is written.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "app/Demo.h"
#include "cli/Captured.h"
#include "cli/Cli.h"
#include "data/EInvoiceData.h"
#include "data/IniFile.h"
#include "data/PaymentReference.h"
#include "platform/Clock.h"
#include "platform/qt/PainterCanvas.h"
#include "storage/Engine.h"
#include "support/PdfTools.h"
#include "support/QtApp.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::cli {
namespace {

namespace fs = std::filesystem;

// The shared folder beside the checkout; INVARRO_SHARED names another (a work tree kept
// elsewhere).
std::string SharedFolder() {
    const char* env = std::getenv("INVARRO_SHARED");
    return env && *env ? std::string(env) : std::string(INVARRO_SHARED_DIR);
}
const std::string kValidator = SharedFolder() + "/einvoice/validate-cii.sh";

// The demo installation, made once for the whole program.
class EInvoiceDemo : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        testing::QtApp();
        dir_ = new testing::TempDir;
        storage::InitEngine(30);
        testing::ScriptedPrompter quiet;
        const app::InstallResult r = app::CreateDemoInstallation(folder(), quiet);
        storage::ExitEngine();
        ASSERT_TRUE(r.ok) << r.message;
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string folder() { return dir_->file("data"); }
    static std::string file(const std::string& name) { return dir_->file(name); }

    testing::CliResult run(std::vector<std::string> args, const std::string& data = {}) {
        std::vector<std::string> all{"--data", data.empty() ? folder() : data, "--company", "3"};
        all.insert(all.end(), args.begin(), args.end());
        CliServices services;
        services.clock = &clock_;
        services.pdfCanvas = [] { return std::make_unique<platform::qt::PainterCanvas>(nullptr); };
        return testing::RunCaptured(all, services);
    }

    // The numbers of the demo's e-invoice kinds, as the invoice list shows them.
    static std::map<std::string, std::string> Kinds() {
        return {{"line items", "3001"},
                {"memo", "3002"},
                {"discount and sub-total", "3003"},
                {"mixed taxable", "3004"},
                {"tax-exempt customer", "3005"},
                {"partly paid", "3006"},
                {"credit note", "3007"},
                {"deposit applied", "3008"}};
    }

    static testing::TempDir* dir_;
    platform::SystemClock clock_;
};
testing::TempDir* EInvoiceDemo::dir_ = nullptr;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST_F(EInvoiceDemo, EveryDemoKindPassesTheOfficialRules) {
    if (!fs::exists(kValidator))
        GTEST_SKIP() << "the EN 16931 validator is not beside the checkout (" << kValidator
                     << "); the e-invoices are not judged";
    std::string list;
    for (const auto& [kind, number] : Kinds()) {
        const std::string out = file(number + ".xml");
        const testing::CliResult r = run({"invoice", "xml", number, "--out", out});
        ASSERT_EQ(r.status, kExitOk) << kind << ": " << r.err;
        list += out + "\n";
    }
    // About two seconds an invoice: two at a time.
    std::ofstream(file("list.txt")) << list;
    const std::string command = "xargs -P 2 -n 1 sh -c '\"" + kValidator +
                                "\" \"$0\" > \"$0.report\" 2>&1; echo \"exit $?\" >> "
                                "\"$0.report\"' < \"" +
                                file("list.txt") + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (const auto& [kind, number] : Kinds()) {
        const std::string report = Slurp(file(number + ".xml.report"));
        std::istringstream lines(report);
        std::string line, firstRule;
        while (std::getline(lines, line))
            if (firstRule.empty() && line.find(" fatal:") != std::string::npos)
                firstRule = line.substr(0, line.find(' '));
            else if (firstRule.empty() && line.rfind("XSD error", 0) == 0)
                firstRule = "XSD";
        EXPECT_NE(report.find("en16931-cii: 0 errors"), std::string::npos)
            << kind << " (" << number << ") fails " << (firstRule.empty() ? "?" : firstRule)
            << ":\n"
            << report;
        EXPECT_NE(report.find("exit 0"), std::string::npos) << kind << ": " << report;
    }
}

TEST_F(EInvoiceDemo, TheXmlGoesToStandardOutputOrTheFileAndCarriesTheKind) {
    const testing::CliResult credit = run({"invoice", "xml", "3007"});
    ASSERT_EQ(credit.status, kExitOk) << credit.err;
    EXPECT_EQ(credit.out.rfind("<?xml", 0), 0u);
    EXPECT_NE(credit.out.find("<ram:TypeCode>381</ram:TypeCode>"), std::string::npos);
    const testing::CliResult paid = run({"invoice", "xml", "3006"});
    ASSERT_EQ(paid.status, kExitOk) << paid.err;
    EXPECT_NE(paid.out.find("<ram:TotalPrepaidAmount>"), std::string::npos);
    const testing::CliResult deposit = run({"invoice", "xml", "3008"});
    ASSERT_EQ(deposit.status, kExitOk) << deposit.err;
    EXPECT_NE(deposit.out.find("<ram:TotalPrepaidAmount>"), std::string::npos);
    const testing::CliResult exempt = run({"invoice", "xml", "3005"});
    ASSERT_EQ(exempt.status, kExitOk) << exempt.err;
    EXPECT_NE(exempt.out.find("<ram:CategoryCode>E</ram:CategoryCode>"), std::string::npos);
    EXPECT_EQ(exempt.out.find("<ram:CategoryCode>S</ram:CategoryCode>"), std::string::npos);
    const testing::CliResult missing = run({"invoice", "xml", "39999"});
    EXPECT_EQ(missing.status, kExitFailed);
    EXPECT_NE(missing.err.find("Invoice 39999 was not found."), std::string::npos) << missing.err;
}

TEST_F(EInvoiceDemo, BadSettingsAreRefusedBeforeAFileIsWritten) {
    const std::string copy = file("bad");
    fs::copy(folder(), copy, fs::copy_options::recursive);
    const std::string out = file("bad.xml");
    auto refused = [&](const std::string& key, const std::string& value, const std::string& why) {
        data::IniFile ini(data::IniFilePath(copy));
        const std::string before = ini.readString("E-Invoice 3", key, "");
        ASSERT_TRUE(ini.writeString("E-Invoice 3", key, value));
        const testing::CliResult r = run({"invoice", "xml", "3001", "--out", out}, copy);
        EXPECT_EQ(r.status, kExitFailed) << key;
        EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(out)) << key;
        ASSERT_TRUE(ini.writeString("E-Invoice 3", key, before));
    };
    // Without the VAT number and the tax number, category S has no seller identifier.
    {
        data::IniFile ini(data::IniFilePath(copy));
        ASSERT_TRUE(ini.writeString("E-Invoice 3", "TaxRegistration", ""));
    }
    refused("VatId", "", "taxed lines (VAT category S) need the seller's VAT number");
    refused("IBAN", "DE41500105170123456780",
            "The check digits of the IBAN DE41500105170123456780 are wrong.");
    refused("Currency", "EUX", "\"EUX\" is not a known currency code");
    refused("VatId", "DE123456789", "The check digit of the VAT number DE123456789 is wrong.");
    // And with the settings put back, the file is written.
    const testing::CliResult r = run({"invoice", "xml", "3001", "--out", out}, copy);
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_TRUE(fs::exists(out));
}

TEST_F(EInvoiceDemo, TheInvoicePdfIsAFacturXFileWithTheSameXml) {
    const std::string fx = file("3003-fx.pdf"), plain = file("3003-plain.pdf");
    // The company's setting is on: the PDF is an e-invoice without being asked.
    const testing::CliResult made = run({"invoice", "pdf", "3003", "--out", fx});
    ASSERT_EQ(made.status, kExitOk) << made.err;
    const testing::CliResult off = run({"invoice", "pdf", "3003", "--no-einvoice", "--out", plain});
    ASSERT_EQ(off.status, kExitOk) << off.err;
    const testing::CliResult xml = run({"invoice", "xml", "3003"});
    ASSERT_EQ(xml.status, kExitOk) << xml.err;

    // The embedded file read back is the XML the command line writes.
    const testing::CommandResult attached =
        testing::RunCommand("qpdf --show-attachment=factur-x.xml " + testing::ShellQuote(fx));
    ASSERT_EQ(attached.status, 0);
    EXPECT_EQ(attached.output, xml.out);
    EXPECT_NE(testing::RunCommand("qpdf --list-attachments " + testing::ShellQuote(plain))
                  .output.find("no embedded files"),
              std::string::npos);

    // The structure: no error or warning, the catalog's entries and the attachment's
    // relationship.
    const testing::CommandResult check =
        testing::RunCommand("qpdf --check " + testing::ShellQuote(fx));
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_NE(check.output.find("No syntax or stream encoding errors found"), std::string::npos)
        << check.output;
    EXPECT_EQ(check.output.find("WARNING"), std::string::npos) << check.output;
    const std::string json =
        testing::RunCommand("qpdf --json --json-key=qpdf " + testing::ShellQuote(fx)).output;
    for (const char* entry : {"\"/AF\"", "\"/OutputIntents\"", "\"/EmbeddedFiles\"",
                              "\"/AFRelationship\": \"/Alternative\"", "\"/S\": \"/GTS_PDFA1\"",
                              "\"/Subtype\": \"/text/xml\"", "\"/UF\": \"u:factur-x.xml\"",
                              "\"/DestOutputProfile\"", "\"/Params\"", "\"/ModDate\""})
        EXPECT_NE(json.find(entry), std::string::npos) << entry << "\n" << json.substr(0, 3000);
    EXPECT_EQ(testing::RunCommand("qpdf --show-encryption " + testing::ShellQuote(fx))
                  .output.find("File is not encrypted"),
              0u);

    // The metadata: PDF/A-3b with the Factur-X schema, and the document information.
    const std::string meta = testing::RunCommand("pdfinfo -meta " + testing::ShellQuote(fx)).output;
    for (const char* line :
         {"<pdfaid:part>3</pdfaid:part>", "<pdfaid:conformance>B</pdfaid:conformance>",
          "<fx:DocumentType>INVOICE</fx:DocumentType>",
          "<fx:DocumentFileName>factur-x.xml</fx:DocumentFileName>", "<fx:Version>1.0</fx:Version>",
          "<fx:ConformanceLevel>EN 16931</fx:ConformanceLevel>",
          "<pdfaSchema:prefix>fx</pdfaSchema:prefix>",
          "urn:factur-x:pdfa:CrossIndustryDocument:invoice:1p0#",
          "Lindenhof Druck &amp; Design GmbH"})
        EXPECT_NE(meta.find(line), std::string::npos) << line;
    const auto info = testing::PdfInfo(fx);
    EXPECT_EQ(info.at("Author"), "Lindenhof Druck & Design GmbH");
    EXPECT_EQ(info.at("Title"), "Invoice - 3003");
    EXPECT_EQ(info.at("PDF version"), "1.7");
    // Every font embedded.
    const std::string fonts = testing::RunCommand("pdffonts " + testing::ShellQuote(fx)).output;
    std::istringstream rows(fonts);
    std::string row;
    int fontRows = 0;
    for (int n = 0; std::getline(rows, row); ++n)
        if (n >= 2) {
            ++fontRows;
            EXPECT_NE(row.find(" yes "), std::string::npos) << row;
        }
    EXPECT_GT(fontRows, 0) << fonts;

    // What the pages show is what the plain PDF shows.
    EXPECT_EQ(testing::PdfText(fx), testing::PdfText(plain));
    EXPECT_NE(testing::PdfText(fx).find("Lindenhof"), std::string::npos);
}

TEST_F(EInvoiceDemo, APdfThatCannotBeARightEInvoiceIsNotWritten) {
    const std::string copy = file("badpdf");
    fs::copy(folder(), copy, fs::copy_options::recursive);
    {
        data::IniFile ini(data::IniFilePath(copy));
        ASSERT_TRUE(ini.writeString("E-Invoice 3", "IBAN", "DE41500105170123456780"));
    }
    const std::string out = file("bad.pdf");
    const testing::CliResult r = run({"invoice", "pdf", "3001", "--out", out}, copy);
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_NE(r.err.find("The check digits of the IBAN"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));
    // A plain PDF asked for is written; a quote is never an e-invoice.
    EXPECT_EQ(run({"invoice", "pdf", "3001", "--no-einvoice", "--out", out}, copy).status, kExitOk);
    EXPECT_TRUE(fs::exists(out));
    EXPECT_EQ(run({"invoice", "pdf", "3001", "--einvoice", "--no-einvoice"}, copy).status,
              kExitUsage);
}

// Last, for it pays an invoice of the demo: the code on the invoice's PDF scans to its RF
// reference and balance, and the demo statement's line paying by that reference closes it.
TEST_F(EInvoiceDemo, TheInvoicesPaymentCodeAndTheStatementPayingItCloseIt) {
    const testing::CliResult listed = run({"bank", "list", "--state", "new"});
    ASSERT_EQ(listed.status, kExitOk) << listed.err;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(listed.out, m,
                                  std::regex(", invoice (\\S+) ([0-9,.]+) \\(the reference")))
        << listed.out;
    const std::string invoice = m[1], amount = m[2];
    const std::string pdf = file(invoice + "-pay.pdf");
    ASSERT_EQ(run({"invoice", "pdf", invoice, "--out", pdf}).status, kExitOk);
    std::string euros = amount;
    euros.erase(std::remove(euros.begin(), euros.end(), ','), euros.end());
    const std::string reference = *data::InvoiceReference(invoice);
    for (int dpi : {150, 300}) {
        const std::string scanned = testing::ScanQrCodes(pdf, 1, dpi, dir_->path());
        EXPECT_EQ(scanned.rfind("BCD\n002\n1\nSCT\n", 0), 0u) << scanned;
        EXPECT_NE(scanned.find("\nEUR" + euros + "\n\n" + reference), std::string::npos)
            << dpi << " dpi: " << scanned;
    }

    const std::string statement = folder() + "/Bank statement 3.xml";
    const testing::CliResult posted = run({"bank", "import", statement, "--post", "exact"});
    ASSERT_EQ(posted.status, kExitOk) << posted.out << posted.err;
    EXPECT_NE(posted.out.find(" to invoice " + invoice + "\n"), std::string::npos) << posted.out;
    // Paid, the invoice asks for nothing more; a second run posts nothing twice.
    const std::string paid = file(invoice + "-paid.pdf");
    ASSERT_EQ(run({"invoice", "pdf", invoice, "--out", paid}).status, kExitOk);
    EXPECT_EQ(testing::ScanQrCodes(paid, 1, 150, dir_->path()), "");
    const testing::CliResult again = run({"bank", "import", statement, "--post", "exact"});
    EXPECT_EQ(again.status, kExitOk) << again.err;
    EXPECT_EQ(again.out.find("posted:"), std::string::npos) << again.out;
    EXPECT_NE(
        run({"bank", "list", "--state", "posted"}).out.find("paid " + invoice + " of customer"),
        std::string::npos);
}

}  // namespace
}  // namespace invarro::cli
