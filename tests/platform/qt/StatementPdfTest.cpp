// Statement PDFs written through the Qt canvas and read back with poppler: name, folder
// and document information, account number, rows, totals and aging, and a statement of
// three pages whose words neither overlap nor leave the page.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "RecordingShell.h"
#include "data/PaymentReference.h"
#include "output/CStmnt.h"
#include "output/DocumentFixture.h"
#include "platform/qt/PainterCanvas.h"
#include "support/PdfTools.h"
#include "support/QtApp.h"

namespace invarro::output {
namespace {

using data::Company;
using testing::PdfInfo;
using testing::PdfText;

class StatementPdfTest : public DocumentTest {
  protected:
    static void SetUpTestSuite() { testing::QtApp(); }
    void SetUp() override {
        DocumentTest::SetUp();
        company.setText(Company::StatementCaption, "STATEMENT");
        company.setText(Company::AgingCaption1, "Current");
        company.setText(Company::AgingCaption2, "31-60");
        company.setText(Company::AgingCaption3, "61-90");
        company.setText(Company::AgingDays3, "90");
        company.setText(Company::CurrencySymbol, "$");
        company.setByte(Company::PrintCustAging, 1);
        company.setByte(Company::BoxStatements, 1);
        company.setByte(Company::FormHorizontalLines, 1);
        company.setText(Company::FormLeftMargin, "60");
        company.setText(Company::FormTopMargin, "40");
        addCustomer("100", "Harborview Dental Group", {"1420 Marina Blvd", "", "", "San Leandro"});
    }
    PdfOutcome write() {
        platform::qt::PainterCanvas canvas(&viewer);
        const Statement s =
            BuildStatement(StatementFiles{files.customers, files.invoices}, "100", false, company);
        return WriteStatementPdf(canvas, s, FormContext{company, dir.path()},
                                 data::Date{2024, 4, 2});
    }
    // Invoices 2001 to 2090 of 12.34 each, from January to April: three pages.
    void addNinetyInvoices() {
        for (int i = 1; i <= 90; ++i) {
            char date[16];
            std::snprintf(date, sizeof date, "%02d/%02d/2024", 1 + (i - 1) / 28, 1 + (i - 1) % 28);
            addHeader({.no = std::to_string(2000 + i), .total = "12.34", .date = date});
        }
    }
    testing::RecordingShell viewer;
};

TEST_F(StatementPdfTest, AccountRowsTotalsAndAgingReadBack) {
    addHeader({.no = "1043", .total = "1082.50", .date = "03/03/2024"});
    addHeader({.no = "1050", .total = "368.25", .paid = "100.00", .date = "03/20/2024"});
    addHeader({.no = "Q9", .type = 'Q', .total = "5000.00", .date = "03/21/2024"});
    // A stale file of the same name is replaced.
    const std::string path = dir.path() + "/pdf/Customer-100Statement.pdf";
    std::filesystem::create_directories(dir.path() + "/pdf");
    std::ofstream(path) << "old";
    const PdfOutcome out = write();
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(out.path, path);
    auto info = PdfInfo(out.path);
    EXPECT_EQ(info["Title"], "Customer-100Statement");
    EXPECT_EQ(info["Author"], "Northside Supply");
    EXPECT_EQ(info["Subject"], "Customer-100Statement.pdf");
    EXPECT_EQ(info["Pages"], "1");
    const std::string text = PdfText(out.path);
    for (const char* s : {"STATEMENT", "Account Number: 100", "Statement Date: 04/02/2024",
                          "Harborview Dental Group", "03/03/2024", "1043", "1,082.50", "368.25",
                          "268.25", "*** Account Totals:", "$1,450.75", "$100.00", "$1,350.75",
                          "Account Status:", "Current 1,000.00", "31-60 450.75", "Over 90: 0.00"})
        EXPECT_NE(text.find(s), std::string::npos) << s << "\n" << text;
    EXPECT_EQ(text.find("Q9"), std::string::npos);
    EXPECT_EQ(text.find("5,000.00"), std::string::npos);
    testing::ExpectWordsApartAndOnPage(out.path);
}

TEST_F(StatementPdfTest, ThreePagesRepeatTheirHeadersWithoutOverlap) {
    addNinetyInvoices();
    const PdfOutcome out = write();
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(PdfInfo(out.path)["Pages"], "3");
    for (int p = 1; p <= 3; ++p) {
        const std::string page = PdfText(out.path, p);
        EXPECT_NE(page.find("Page Number: " + std::to_string(p)), std::string::npos) << page;
        EXPECT_NE(page.find("Reference/Comments"), std::string::npos) << p;
        EXPECT_NE(page.find("Account Number: 100"), std::string::npos) << p;
    }
    EXPECT_NE(PdfText(out.path, 1).find("Continued on page 2 ..."), std::string::npos);
    EXPECT_NE(PdfText(out.path, 3).find("*** Account Totals:"), std::string::npos);
    EXPECT_NE(PdfText(out.path, 3).find("$1,110.60"), std::string::npos);
    testing::ExpectWordsApartAndOnPage(out.path);
}

TEST_F(StatementPdfTest, TheBalanceToPayCarriesTheCustomersReferenceAndCodeOnTheLastPage) {
    euroAccount();
    company.setText(Company::CurrencySymbol, "€");
    addNinetyInvoices();
    const PdfOutcome out = write();
    ASSERT_TRUE(out.ok) << out.error;
    ASSERT_EQ(PdfInfo(out.path)["Pages"], "3");
    const std::string ref = *data::CustomerReference("100");
    const std::string expected =
        "BCD\n002\n1\nSCT\nBYLADEM1001\nNorthside Supply\n"
        "DE02120300000000202051\nEUR1110.60\n\n" +
        ref;
    EXPECT_EQ(testing::ScanQrCodes(out.path, 1, 150, dir.path()), "");
    EXPECT_EQ(testing::ScanQrCodes(out.path, 3, 150, dir.path()), expected);
    EXPECT_EQ(testing::ScanQrCodes(out.path, 3, 300, dir.path()), expected);
    EXPECT_NE(PdfText(out.path, 3).find("Reference: " + data::PrintedReference(ref)),
              std::string::npos);
    testing::ExpectWordsApartAndOnPage(out.path);

    // A customer in credit is asked for nothing.
    addHeader({.no = "CR1", .type = 'C', .total = "-2000.00", .date = "04/01/2024"});
    const PdfOutcome credit = write();
    ASSERT_TRUE(credit.ok) << credit.error;
    EXPECT_EQ(testing::ScanQrCodes(credit.path, 3, 150, dir.path()), "");
    EXPECT_EQ(PdfText(credit.path).find("Reference: RF"), std::string::npos);
}

}  // namespace
}  // namespace invarro::output
