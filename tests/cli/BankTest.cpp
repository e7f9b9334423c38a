// The bank verbs on the demo's European company: its statement imported, listed and its
// exactly matching lines posted, once.

#include <gtest/gtest.h>

#include <filesystem>

#include "app/Demo.h"
#include "banking/Csv.h"
#include "cli/Captured.h"
#include "cli/Cli.h"
#include "data/Files.h"
#include "data/IniFile.h"
#include "data/PaymentReference.h"
#include "platform/Clock.h"
#include "storage/Engine.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::cli {
namespace {

namespace fs = std::filesystem;

class BankDemo : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new testing::TempDir;
        storage::InitEngine(30);
        testing::ScriptedPrompter quiet;
        const app::InstallResult r = app::CreateDemoInstallation(dir_->file("demo"), quiet);
        storage::ExitEngine();
        ASSERT_TRUE(r.ok) << r.message;
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override { fs::copy(dir_->file("demo"), folder(), fs::copy_options::recursive); }
    std::string folder() const { return own.file("data"); }
    std::string statement() const { return folder() + "/Bank statement 3.xml"; }

    testing::CliResult run(std::vector<std::string> args, const std::string& company = "3") {
        std::vector<std::string> all{"--data", folder(), "--company", company};
        all.insert(all.end(), args.begin(), args.end());
        CliServices services;
        services.clock = &clock_;
        return testing::RunCaptured(all, services);
    }
    static std::size_t Count(const std::string& text, const std::string& part) {
        std::size_t n = 0;
        for (std::size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1))
            ++n;
        return n;
    }

    static testing::TempDir* dir_;
    testing::TempDir own;
    platform::SystemClock clock_;
};
testing::TempDir* BankDemo::dir_ = nullptr;

TEST_F(BankDemo, TheDemoStatementIsListedWithItsProposals) {
    const testing::CliResult list = run({"bank", "list"});
    ASSERT_EQ(list.status, kExitOk) << list.err;
    // Eight booked lines; the pending one is not stored.
    EXPECT_EQ(Count(list.out, "\n"), 8u) << list.out;
    EXPECT_EQ(list.out.find("PENDING"), std::string::npos);
    EXPECT_NE(list.out.find("the reference RF"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("the text names invoice"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("partial payment"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("a reversal: never posted"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("a debit: never posted"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("in USD"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("nothing names"), std::string::npos) << list.out;
    EXPECT_EQ(run({"bank", "list", "--state", "posted"}).out, "");
    EXPECT_EQ(run({"bank", "list", "--state", "paid"}).status, kExitUsage);
}

// The Swiss company's statement pays an invoice by the QR reference of its bill.
TEST_F(BankDemo, TheQrReferenceOfASwissBillClosesItsInvoice) {
    const std::string qrr = *data::InvoiceQrReference("7002");
    const testing::CliResult list = run({"bank", "list"}, "4");
    ASSERT_EQ(list.status, kExitOk) << list.err;
    EXPECT_NE(list.out.find("the reference " + qrr + " names invoice 7002"), std::string::npos)
        << list.out;
    const testing::CliResult posted =
        run({"bank", "import", folder() + "/Bank statement 4.xml", "--post", "exact"}, "4");
    ASSERT_EQ(posted.status, kExitOk) << posted.err;
    const testing::CliResult after = run({"bank", "list", "--state", "posted"}, "4");
    EXPECT_NE(after.out.find("7002"), std::string::npos) << after.out;
    // The hotel pays its invoice less its credit note: proposed with the credit applied,
    // left for the user to confirm.
    const testing::CliResult open = run({"bank", "list", "--state", "new"}, "4");
    EXPECT_NE(open.out.find("the text names invoice 7006; less the customer's credit 7007"),
              std::string::npos)
        << open.out;
}

TEST_F(BankDemo, PostExactPostsTheLinesThatNameOneInvoiceExactlyAndOnlyOnce) {
    const testing::CliResult first = run({"bank", "import", statement(), "--post", "exact"});
    ASSERT_EQ(first.status, kExitOk) << first.err << first.out;
    EXPECT_EQ(Count(first.out, "posted: "), 2u) << first.out;
    EXPECT_NE(first.err.find("0 new lines stored, 8 already on file"), std::string::npos)
        << first.err;
    const testing::CliResult posted = run({"bank", "list", "--state", "posted"});
    EXPECT_EQ(Count(posted.out, "\n"), 2u) << posted.out;
    // The same file again changes nothing.
    const testing::CliResult again = run({"bank", "import", statement(), "--post", "exact"});
    EXPECT_EQ(again.status, kExitOk);
    EXPECT_EQ(Count(again.out, "posted: "), 0u) << again.out;
    EXPECT_EQ(run({"bank", "list", "--state", "posted"}).out, posted.out);
    EXPECT_EQ(run({"check"}).status, kExitOk);
}

TEST_F(BankDemo, AFileThatCannotBeReadOrIsOfAnotherAccountStoresNothing) {
    const std::string before = run({"bank", "list"}).out;
    const std::string broken = folder() + "/broken.xml";
    std::string xml = *data::ReadWholeFile(statement());
    testing::WriteFileBytes(broken, xml.substr(0, xml.size() / 2));
    const testing::CliResult bad = run({"bank", "import", broken});
    EXPECT_EQ(bad.status, kExitFailed);
    EXPECT_NE(bad.err.find("broken.xml:"), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("nothing was stored"), std::string::npos) << bad.err;

    const std::string other = folder() + "/other.xml";
    const std::size_t at = xml.find("DE41500105170123456789");
    ASSERT_NE(at, std::string::npos);
    xml.replace(at, 22, "DE89370400440532013000");
    testing::WriteFileBytes(other, xml);
    const testing::CliResult refused = run({"bank", "import", other, "--post", "exact"});
    EXPECT_EQ(refused.status, kExitFailed);
    EXPECT_NE(refused.err.find("not of the company's account"), std::string::npos) << refused.err;
    EXPECT_EQ(run({"bank", "list"}).out, before);
    EXPECT_EQ(run({"bank", "import", statement(), "--format", "qif"}).status, kExitUsage);
    // Read as another format the file is refused with its reason.
    const testing::CliResult asOfx = run({"bank", "import", statement(), "--format", "ofx"});
    EXPECT_EQ(asOfx.status, kExitFailed);
    EXPECT_NE(asOfx.err.find("not an OFX file"), std::string::npos) << asOfx.err;
    EXPECT_EQ(run({"bank", "list"}).out, before);
}

TEST_F(BankDemo, ACsvStatementIsReadThroughTheCompanysMapping) {
    const std::string csv = folder() + "/umsaetze.csv";
    testing::WriteFileBytes(csv,
                            "Umsätze Girokonto;;;\n"
                            "Buchungstag;Auftraggeber;Verwendungszweck;Betrag\n"
                            "01.12.2026;KINDERHILFE SPREE;Rechnung 3005;320,00\n"
                            "Kontostand;;;1.234,00\n");
    // Without a mapping the file cannot be read, and nothing is stored.
    const testing::CliResult unmapped = run({"bank", "import", csv});
    EXPECT_EQ(unmapped.status, kExitFailed);
    EXPECT_NE(unmapped.err.find("booking date"), std::string::npos) << unmapped.err;
    banking::CsvMapping m;
    m.date = "Buchungstag";
    m.amount = "Betrag";
    m.name = "Auftraggeber";
    m.text = "Verwendungszweck";
    m.defaultAccount = "DE41500105170123456789";
    data::IniFile ini(data::IniFilePath(folder()));
    ASSERT_TRUE(banking::WriteCsvMapping(ini, "3", m));
    EXPECT_EQ(banking::ReadCsvMapping(data::IniFile(data::IniFilePath(folder())), "3"), m);
    const testing::CliResult r = run({"bank", "import", csv, "--post", "exact"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.err.find("1 new lines stored"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("posted: 2026-12-01 320.00 EUR to invoice 3005"), std::string::npos)
        << r.out;
}

}  // namespace
}  // namespace invarro::cli
