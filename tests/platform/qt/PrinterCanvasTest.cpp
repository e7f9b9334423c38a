#include <gtest/gtest.h>

#include <QPrinter>

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
    EXPECT_EQ(c.resolutionX(), printer->resolution());
    // A printer writing a PDF file keeps a quarter inch clear on every side: Qt's own
    // margins of 10 points grow to 18.
    EXPECT_EQ(c.pageWidth(), printer->resolution() * 8);  // 8.5 inches less two quarters
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

TEST_F(PrinterCanvasTest, ThereIsOneProgramPrinter) {
    EXPECT_EQ(&ProgramPrinter(), &ProgramPrinter());
    EXPECT_TRUE(PrinterAvailable(*printer));
}

}  // namespace
}  // namespace invarro::platform::qt
