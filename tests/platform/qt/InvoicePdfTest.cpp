// Invoice PDFs written through the Qt canvas and read back with poppler: file name and
// folder, document information, page size, texts and amounts, continuation pages, and
// word boxes that neither overlap nor leave the page.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <sstream>

#include "PdfTools.h"
#include "RecordingShell.h"
#include "output/DocumentFixture.h"
#include "output/InvPrint.h"
#include "platform/qt/PainterCanvas.h"
#include "support/QtApp.h"

namespace invarro::output {
namespace {

using data::Company;
using testing::PdfInfo;
using testing::PdfText;
using testing::RunCommand;
using testing::ShellQuote;

struct Word {
    int page = 0;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    std::string text;
};

// pdftotext -bbox: every word with its box in points.
std::vector<Word> Words(const std::string& file, double* width, double* height) {
    std::istringstream in(RunCommand("pdftotext -bbox " + ShellQuote(file) + " -").output);
    std::vector<Word> words;
    const std::regex page(R"re(<page width="([0-9.]+)" height="([0-9.]+)")re");
    const std::regex word(
        R"re(<word xMin="([0-9.-]+)" yMin="([0-9.-]+)" xMax="([0-9.-]+)" yMax="([0-9.-]+)">([^<]*)</word>)re");
    int pageNo = 0;
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_search(line, m, page)) {
            ++pageNo;
            *width = std::stod(m[1]);
            *height = std::stod(m[2]);
        } else if (std::regex_search(line, m, word)) {
            words.push_back(
                {pageNo, std::stod(m[1]), std::stod(m[2]), std::stod(m[3]), std::stod(m[4]), m[5]});
        }
    }
    return words;
}

class InvoicePdfTest : public DocumentTest {
  protected:
    static void SetUpTestSuite() { testing::QtApp(); }

    PdfOutcome write(const std::string& no, DocumentKind kind) {
        platform::qt::PainterCanvas canvas(&viewer);
        InvoiceDocument d = assemble(no);
        return WriteInvoicePdf(canvas, d, kind, FormContext{company, dir.path()});
    }

    void expectWordsApartAndOnPage(const std::string& file) {
        double w = 0, h = 0;
        const std::vector<Word> words = Words(file, &w, &h);
        ASSERT_FALSE(words.empty());
        constexpr double kSlack = 0.3;  // rounding of the boxes poppler reports
        for (size_t i = 0; i < words.size(); ++i) {
            const Word& a = words[i];
            EXPECT_GE(a.x1, 0) << a.text;
            EXPECT_GE(a.y1, 0) << a.text;
            EXPECT_LE(a.x2, w) << a.text;
            EXPECT_LE(a.y2, h) << a.text;
            for (size_t j = 0; j < i; ++j) {
                const Word& b = words[j];
                if (a.page != b.page) continue;
                const bool apart = a.x2 <= b.x1 + kSlack || b.x2 <= a.x1 + kSlack ||
                                   a.y2 <= b.y1 + kSlack || b.y2 <= a.y1 + kSlack;
                EXPECT_TRUE(apart) << a.text << " over " << b.text << " on page " << a.page;
            }
        }
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
    EXPECT_NE(page2.find("page number 2"), std::string::npos);
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

}  // namespace
}  // namespace invarro::output
