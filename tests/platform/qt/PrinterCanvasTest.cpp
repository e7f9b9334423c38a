#include <gtest/gtest.h>

#include <QPrinter>
#include <filesystem>

#include "platform/qt/PainterCanvas.h"
#include "platform/qt/Printer.h"
#include "support/PdfTools.h"
#include "support/QtApp.h"
#include "support/TempDir.h"

namespace invarro::platform::qt {
namespace {

using output::Font;
using output::Orientation;
using testing::PdfInfo;
using testing::PdfText;
using testing::TempDir;

// The printer tests print into a file, the way the printer set-up's "print to file" does.
class PrinterCanvasTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testing::QtApp(); }
    void SetUp() override {
        printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(QString::fromStdString(dir.file("printed.pdf")));
        printer->setPageSize(QPageSize(QPageSize::Letter));
        printer->setPageOrientation(QPageLayout::Portrait);
    }
    TempDir dir;
    std::unique_ptr<QPrinter> printer;
};

TEST_F(PrinterCanvasTest, PrintsPagesUnderTheJobTitle) {
    PainterCanvas c(*printer);
    EXPECT_FALSE(c.isPdf());
    // A printer writing a PDF file lays the page out as the program's own PDF files: in
    // tenths of a millimetre, a quarter inch clear on every side (Qt's own margins of 10
    // points grow to 6.4 mm).
    EXPECT_EQ(c.resolutionX(), 254);
    EXPECT_EQ(c.pageWidth(), 2159 - 128);
    EXPECT_EQ(c.destination(), dir.file("printed.pdf"));
    ASSERT_TRUE(c.beginDocument("Invoice - 1001")) << c.lastError();
    c.setFont(Font{"Arial", 12});
    c.textOut(300, 300, "First page on paper");
    ASSERT_TRUE(c.newPage());
    c.textOut(300, 300, "Second page on paper");
    ASSERT_TRUE(c.endDocument()) << c.lastError();
    const std::string file = dir.file("printed.pdf");
    auto info = PdfInfo(file);
    EXPECT_EQ(info["Title"], "Invoice - 1001");
    EXPECT_EQ(info["Pages"], "2");
    EXPECT_NE(PdfText(file, 1).find("First page on paper"), std::string::npos);
    EXPECT_NE(PdfText(file, 2).find("Second page on paper"), std::string::npos);
}

TEST_F(PrinterCanvasTest, ALandscapeDocumentGivesThePrinterItsOrientationBack) {
    PainterCanvas c(*printer);
    const int portraitWidth = c.pageWidth();
    c.setOrientation(Orientation::Landscape);
    EXPECT_GT(c.pageWidth(), c.pageHeight());
    EXPECT_EQ(printer->pageLayout().orientation(), QPageLayout::Portrait)
        << "nothing changes before a document begins";
    ASSERT_TRUE(c.beginDocument("Sales Report"));
    EXPECT_GT(c.pageWidth(), c.pageHeight());
    c.textOut(100, 100, "wide");
    ASSERT_TRUE(c.endDocument());
    EXPECT_EQ(printer->pageLayout().orientation(), QPageLayout::Portrait);
    EXPECT_EQ(PdfInfo(dir.file("printed.pdf"))["Page size"], "792 x 612 pts (letter)");

    // A canvas that leaves the orientation alone follows the printer's set-up.
    PainterCanvas plain(*printer);
    printer->setPageOrientation(QPageLayout::Landscape);
    EXPECT_GT(plain.pageWidth(), plain.pageHeight());
    printer->setPageOrientation(QPageLayout::Portrait);
    EXPECT_EQ(plain.pageWidth(), portraitWidth);
}

TEST_F(PrinterCanvasTest, APrinterWithNowhereToPrintIsReported) {
    printer->setOutputFileName(QString());
    EXPECT_FALSE(PrinterAvailable(*printer));
    PainterCanvas c(*printer);
    c.setOrientation(Orientation::Landscape);
    EXPECT_FALSE(c.beginDocument("Statement"));
    EXPECT_EQ(c.lastError(), "The printer could not be started.");
    EXPECT_EQ(c.pageNumber(), 0);
    EXPECT_EQ(printer->pageLayout().orientation(), QPageLayout::Portrait);
}

TEST_F(PrinterCanvasTest, PrintingToAFileLaysOutAsAPdfOnTheDialogsPaperAndKeepsItsResolution) {
    printer->setPageSize(QPageSize(QPageSize::A4));
    const int own = printer->resolution();
    PainterCanvas c(*printer);
    PainterCanvas pdf(nullptr);
    pdf.setPaperSize(data::PaperSize::A4);
    c.setPaperSize(data::PaperSize::Letter);  // the dialog's paper holds
    // The same within the rounding of the printer's page rectangle.
    EXPECT_NEAR(c.pageWidth(), pdf.pageWidth(), 1);
    EXPECT_NEAR(c.pageHeight(), pdf.pageHeight(), 1);
    ASSERT_TRUE(c.beginDocument("Invoice - 3001")) << c.lastError();
    c.setFont(Font{"Arial", 10});
    c.textOut(0, 0, "Code");
    ASSERT_TRUE(c.endDocument()) << c.lastError();
    EXPECT_EQ(PdfInfo(dir.file("printed.pdf"))["Page size"], "595 x 842 pts (A4)");
    // The word at the canvas's corner stands a quarter inch in, as in a PDF of its own.
    double w = 0, h = 0;
    const auto words = testing::PdfWords(dir.file("printed.pdf"), &w, &h);
    ASSERT_FALSE(words.empty());
    EXPECT_NEAR(words[0].x1, 18.1, 0.6);
    // A paper printer chosen afterwards prints at its own resolution again.
    EXPECT_EQ(printer->resolution(), own);
}

TEST_F(PrinterCanvasTest, EachDocumentProposesItsOwnFileAndAFileThereIsNamed) {
    EXPECT_EQ(PrintFileInTheWay(*printer), "");
    const std::string pdfFolder = dir.file("pdf");
    EXPECT_EQ(ProposePrintFile(*printer, pdfFolder, "Envelope - Bolt & Nut: Inc."),
              pdfFolder + "/Envelope - Bolt & Nut- Inc..pdf");
    EXPECT_EQ(printer->outputFileName().toStdString(),
              pdfFolder + "/Envelope - Bolt & Nut- Inc..pdf");
    EXPECT_EQ(printer->docName().toStdString(), "Envelope - Bolt & Nut: Inc.");
    std::filesystem::create_directories(pdfFolder);
    {
        PainterCanvas c(*printer);
        ASSERT_TRUE(c.beginDocument("Envelope")) << c.lastError();
        c.textOut(100, 100, "Bolt & Nut");
        ASSERT_TRUE(c.endDocument()) << c.lastError();
    }
    EXPECT_EQ(PrintFileInTheWay(*printer), pdfFolder + "/Envelope - Bolt & Nut- Inc..pdf");
}

TEST_F(PrinterCanvasTest, ThereIsOneProgramPrinter) {
    EXPECT_EQ(&ProgramPrinter(), &ProgramPrinter());
    EXPECT_TRUE(PrinterAvailable(*printer));
}

}  // namespace
}  // namespace invarro::platform::qt
