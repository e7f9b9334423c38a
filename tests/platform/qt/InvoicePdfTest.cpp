// Invoice PDFs written through the Qt canvas and read back with poppler: file name and
// folder, document information, page size, texts and amounts, continuation pages, and
// word boxes that neither overlap nor leave the page.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <sstream>

#include "RecordingShell.h"
#include "data/EInvoiceData.h"
#include "data/PaymentReference.h"
#include "output/DocumentFixture.h"
#include "output/InvPrint.h"
#include "output/PaymentCode.h"
#include "output/SwissBill.h"
#include "platform/qt/PainterCanvas.h"
#include "support/PdfTools.h"
#include "support/QtApp.h"

namespace invarro::output {
namespace {

using data::Company;
using testing::PdfInfo;
using testing::PdfText;
using testing::RunCommand;
using testing::ShellQuote;

class InvoicePdfTest : public DocumentTest {
  protected:
    static void SetUpTestSuite() { testing::QtApp(); }

    PdfOutcome write(const std::string& no, DocumentKind kind) {
        platform::qt::PainterCanvas canvas(&viewer);
        InvoiceDocument d = assemble(no);
        return WriteInvoicePdf(canvas, d, kind, FormContext{company, dir.path()});
    }

    void expectWordsApartAndOnPage(const std::string& file) {
        testing::ExpectWordsApartAndOnPage(file);
    }

    testing::RecordingShell viewer;
};

TEST_F(InvoicePdfTest, KnownInvoiceReadsBack) {
    sampleInvoice();
    PdfOutcome out = write("1043", DocumentKind::Invoice);
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(out.path, dir.path() + "/pdf/Invoice-1043.pdf");
    EXPECT_EQ(out.status, "PDF: " + out.path + " complete.");
    EXPECT_EQ(viewer.opened, std::vector<std::string>{out.path});
    struct stat st {};
    ASSERT_EQ(::stat((dir.path() + "/pdf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    auto info = PdfInfo(out.path);
    EXPECT_EQ(info["Title"], "Invoice - 1043");
    EXPECT_EQ(info["Author"], "Northside Supply");
    EXPECT_EQ(info["Subject"], "INVOICE 1043");
    EXPECT_EQ(info["Producer"], std::string(kPdfProducer));
    EXPECT_EQ(info["Pages"], "1");
    EXPECT_NE(info["Page size"].find("612 x 792"), std::string::npos) << info["Page size"];

    const std::string text = PdfText(out.path);
    for (const char* s : {"INVOICE",
                          "Northside Supply",
                          "Harborview Dental Group",
                          "Deliver To:",
                          "Dock 2",
                          "Date: 03/03/2024",
                          "Number: 1043",
                          "Account Number: 100",
                          "Payment Terms: Net 30 Days",
                          "Reference: PO 7781",
                          "TONER-12",
                          "Toner cartridge, black",
                          "450.00",
                          "900.00",
                          "9.5238",
                          "Grand Total:",
                          "1,082.50",
                          "8.25% Sales Tax",
                          "82.50",
                          "Balance Due:",
                          "Total Account Balance: 1,450.75"})
        EXPECT_NE(text.find(s), std::string::npos) << s << "\n" << text;
    expectWordsApartAndOnPage(out.path);
}

TEST_F(InvoicePdfTest, QuoteAndNumberWithASlash) {
    addCustomer("100", "Harborview Dental Group");
    addHeader({.no = "2024/01", .type = 'Q', .total = "54.00"});
    addLine("2024/01", 1, "", "5", "Widget", "10.80", "N", "54.00");
    InvoiceDocument d = assemble("2024/01");
    PdfOutcome out = write("2024/01", KindOfDocument(d));
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(out.path, dir.path() + "/pdf/Quote-2024-01.pdf");
    EXPECT_EQ(PdfInfo(out.path)["Subject"], "Q U O T E 2024/01");
    const std::string text = PdfText(out.path);
    EXPECT_NE(text.find("Quote Total:"), std::string::npos);
    EXPECT_EQ(text.find("Balance Due"), std::string::npos);
}

TEST_F(InvoicePdfTest, NinetyNineLinesContinueOnPageTwo) {
    addCustomer("100", "Harborview Dental Group");
    addHeader({.no = "1099", .total = "99.00"});
    for (int r = 1; r <= 99; ++r)
        addLine("1099", r, "P" + std::to_string(r), "1", "Item " + std::to_string(r), "1.00", "N",
                "1.00");
    PdfOutcome out = write("1099", DocumentKind::Invoice);
    ASSERT_TRUE(out.ok) << out.error;
    const int pages = std::stoi(PdfInfo(out.path)["Pages"]);
    EXPECT_GE(pages, 2);
    EXPECT_NE(PdfText(out.path, 1).find("Continued on page number 2 ..."), std::string::npos);
    const std::string page2 = PdfText(out.path, 2);
    EXPECT_NE(page2.find("1099 - page number 2 of " + std::to_string(pages)), std::string::npos);
    EXPECT_NE(page2.find("Account Number: 100"), std::string::npos);
    EXPECT_NE(page2.find("Description"), std::string::npos);
    EXPECT_NE(PdfText(out.path, pages).find("Balance Due:"), std::string::npos);
    expectWordsApartAndOnPage(out.path);
}

TEST_F(InvoicePdfTest, LongMemoInLargeFontsStaysClearOfEverything) {
    addCustomer("100", "Harborview Dental Group", {"1 Main St", "Town"});
    addHeader({.no = "M25", .total = "2500.00", .style = 'M'});
    std::vector<std::string> memo;
    for (int k = 1; k <= 25; ++k)
        memo.push_back("Memo line " + std::to_string(k) + " of the consulting work done in March");
    addMemo("M25", memo);
    company.setInt32(Company::EditorFontSize, 14);
    company.setFont(Company::FormFonts1, {"Arial", 14, 0, 0});
    company.setFont(Company::FormFonts5, {"Arial", 14, 0, 0});
    company.setText(Company::SalesMsg1, "Thank you for your business");
    PdfOutcome out = write("M25", DocumentKind::Invoice);
    ASSERT_TRUE(out.ok) << out.error;
    const std::string text = PdfText(out.path);
    EXPECT_NE(text.find("Memo line 25"), std::string::npos);
    EXPECT_NE(text.find("Balance Due:"), std::string::npos);
    expectWordsApartAndOnPage(out.path);
}

TEST_F(InvoicePdfTest, PackingSlipShowsNoPrice) {
    sampleInvoice();
    platform::qt::PainterCanvas canvas(&viewer);
    canvas.setOpenWhenDone(false);
    const std::string file = dir.file("slip.pdf");
    ASSERT_TRUE(PrintDocument(canvas, assemble("1043"), DocumentKind::PackingSlip,
                              FormContext{company, dir.path()}, file));
    const std::string text = PdfText(file);
    EXPECT_NE(text.find("PACKING SLIP"), std::string::npos);
    EXPECT_NE(text.find("xxxxxxxxxx"), std::string::npos);
    EXPECT_NE(text.find("This is a packing slip. Please pay from invoice."), std::string::npos);
    for (const char* price : {"450.00", "900.00", "1,082.50", "9.5238"})
        EXPECT_EQ(text.find(price), std::string::npos) << price;
}

// Company 1 in euro with an account the customers pay to.
class PaymentCodePdfTest : public InvoicePdfTest {
  protected:
    void SetUp() override {
        InvoicePdfTest::SetUp();
        company.setText(Company::Name, "Jürgen Weiß Bäckerei & Söhne");
        euroAccount();
        addCustomer("100", "Harborview Dental Group", {"1420 Marina Blvd", "San Leandro"});
    }
    data::IniFile ini() { return data::IniFile(data::IniFilePath(dir.path())); }
    std::string companyNo() { return company.text(Company::CompanyNo); }
    std::string scan(const PdfOutcome& out, int dpi) {
        return testing::ScanQrCodes(out.path, 1, dpi, dir.path());
    }
};

TEST_F(PaymentCodePdfTest, AnOpenInvoiceScansBackToItsBalanceAndReference) {
    addHeader({.no = "1043", .total = "1082.50", .tax = "82.50", .paid = "82.50"});
    addLine("1043", 1, "TONER-12", "2", "Toner cartridge, black", "541.25", "Y", "1082.50");
    const std::string ref = *data::InvoiceReference("1043");
    PdfOutcome out = write("1043", DocumentKind::Invoice);
    ASSERT_TRUE(out.ok) << out.error;
    const std::string expected =
        "BCD\n002\n1\nSCT\nBYLADEM1001\nJürgen Weiß Bäckerei & Söhne\n"
        "DE02120300000000202051\nEUR1000.00\n\n" +
        ref;
    EXPECT_EQ(scan(out, 150), expected);
    EXPECT_EQ(scan(out, 300), expected);
    const std::string text = PdfText(out.path);
    EXPECT_NE(text.find("Reference: " + data::PrintedReference(ref)), std::string::npos) << text;
    EXPECT_NE(text.find(std::string(kEpcCaption)), std::string::npos);
    expectWordsApartAndOnPage(out.path);
}

TEST_F(PaymentCodePdfTest, NoCodeOnAPaidInvoiceAQuoteOrWhenSwitchedOff) {
    addHeader({.no = "1043", .total = "1082.50", .paid = "1082.50", .paidDate = "2024/03/20"});
    PdfOutcome paid = write("1043", DocumentKind::Invoice);
    ASSERT_TRUE(paid.ok) << paid.error;
    EXPECT_EQ(scan(paid, 150), "");
    EXPECT_EQ(PdfText(paid.path).find("Reference: RF"), std::string::npos);

    addHeader({.no = "Q7", .type = 'Q', .total = "54.00"});
    PdfOutcome quote = write("Q7", DocumentKind::Quote);
    ASSERT_TRUE(quote.ok) << quote.error;
    EXPECT_EQ(scan(quote, 150), "");

    // Switched off, the reference is still printed for a transfer typed by hand.
    addHeader({.no = "1044", .total = "10.00"});
    data::IniFile settings = ini();
    ASSERT_TRUE(SetPaymentCodesOff(settings, companyNo(), true));
    PdfOutcome off = write("1044", DocumentKind::Invoice);
    ASSERT_TRUE(off.ok) << off.error;
    EXPECT_EQ(scan(off, 300), "");
    EXPECT_NE(PdfText(off.path).find("Reference: " +
                                     data::PrintedReference(*data::InvoiceReference("1044"))),
              std::string::npos);
}

// A company in Switzerland: the QR-bill on a sheet of its own after the invoice.
class SwissBillPdfTest : public InvoicePdfTest {
  protected:
    void SetUp() override {
        InvoicePdfTest::SetUp();
        company.setText(Company::Name, "Zürcher Drucksachen AG");
        company.setText(Company::CoAddr1, "Bahnhofstrasse 17");
        company.setText(Company::CoAddr2, "8001 Zürich");
        company.setText(Company::CoAddr3, "Tel. 044 555 12 12");
        data::CompanyEInvoice e;
        e.country = "CH";
        e.currency = "CHF";
        e.iban = "CH44 3199 9123 0008 8901 2";
        e.paper = "A4";
        keepEInvoiceSettings(e);
        addHeader({.no = "1043", .total = "1082.50", .tax = "82.50", .paid = "82.50"});
        addLine("1043", 1, "TONER-12", "2", "Toner cartridge, black", "541.25", "Y", "1082.50");
    }
    std::string scan(const PdfOutcome& out, int page, int dpi) {
        return testing::ScanQrCodes(out.path, page, dpi, dir.path());
    }
};

TEST_F(SwissBillPdfTest, TheBillsPageScansBackAndLiesAtTheFootOfTheSheet) {
    addCustomer("100", "Pia Rutschmann", {"Grosse Marktgasse 28", "9400 Rorschach"});
    const SwissBillOutcome expected = InvoiceSwissBill(dir.path(), company, assemble("1043"));
    ASSERT_TRUE(expected.bill) << expected.problem;
    const auto payload = SwissBillPayload(*expected.bill);
    ASSERT_TRUE(payload);
    PdfOutcome out = write("1043", DocumentKind::Invoice);
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(out.status, "PDF: " + out.path + " complete.");
    auto info = PdfInfo(out.path);
    EXPECT_EQ(info["Pages"], "2");
    EXPECT_NE(info["Page size"].find("(A4)"), std::string::npos) << info["Page size"];
    // The invoice page has no EPC code and counts itself alone; it names the reference.
    EXPECT_EQ(scan(out, 1, 150), "");
    const std::string first = PdfText(out.path, 1);
    EXPECT_NE(first.find("Reference: " + data::PrintedReference(*data::InvoiceQrReference("1043"))),
              std::string::npos)
        << first;
    EXPECT_EQ(first.find("of 2"), std::string::npos) << first;
    for (int dpi : {150, 300})
        EXPECT_EQ(scan(out, 2, dpi), *payload) << dpi << " dpi";
    EXPECT_NE(payload->find("\nZürcher Drucksachen AG\nBahnhofstrasse\n17\n8001\nZürich\nCH\n"),
              std::string::npos);
    EXPECT_NE(payload->find("\n1000.00\nCHF\nS\nPia Rutschmann\n"), std::string::npos);

    // On the sheet: receipt 5 mm from the left, payment part 67 mm, both titles 5 mm below
    // the bill's top edge, 105 mm above the foot of the page.
    double w = 0, h = 0;
    const auto words = testing::PdfWords(out.path, &w, &h);
    auto word = [&](const std::string& text) {
        for (const auto& x : words)
            if (x.page == 2 && x.text == text) return x;
        ADD_FAILURE() << text;
        return testing::PdfWord{};
    };
    constexpr double kMm = 72.0 / 25.4;
    const auto receipt = word("Receipt");
    const auto payment = word("Payment");
    EXPECT_NEAR(receipt.x1, 5 * kMm, 1.0);
    EXPECT_NEAR(payment.x1, 67 * kMm, 1.0);
    EXPECT_NEAR(receipt.y1, h - 100 * kMm, 2.0);
    EXPECT_NEAR(payment.y1, h - 100 * kMm, 2.0);
    const auto scissors = PdfText(out.path, 2);
    EXPECT_NE(scissors.find("\u2702"), std::string::npos);
    EXPECT_NE(scissors.find("Acceptance point"), std::string::npos);
}

TEST_F(SwissBillPdfTest, SwitchedOffThereIsNoBillButTheReferenceStaysForATransferByHand) {
    addCustomer("100", "Pia Rutschmann", {"Grosse Marktgasse 28", "9400 Rorschach"});
    data::IniFile ini(data::IniFilePath(dir.path()));
    ASSERT_TRUE(SetPaymentCodesOff(ini, company.text(Company::CompanyNo), true));
    PdfOutcome out = write("1043", DocumentKind::Invoice);
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(out.note, "");
    EXPECT_EQ(PdfInfo(out.path)["Pages"], "1");
    EXPECT_NE(PdfText(out.path).find("Reference: " +
                                     data::PrintedReference(*data::InvoiceQrReference("1043"))),
              std::string::npos);
}

TEST_F(SwissBillPdfTest, AnAddressTheBillCannotCarryGivesNoBillAndSaysWhy) {
    addCustomer("100", "Pia Rutschmann", {"c/o Muster", "Grosse Marktgasse 28", "9400 Rorschach"});
    PdfOutcome out = write("1043", DocumentKind::Invoice);
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(PdfInfo(out.path)["Pages"], "1");
    EXPECT_NE(out.status.find("No QR-bill for invoice 1043: the customer's address cannot be read"),
              std::string::npos)
        << out.status;
    EXPECT_NE(out.status.find("c/o Muster"), std::string::npos) << out.status;
}

}  // namespace
}  // namespace invarro::output
