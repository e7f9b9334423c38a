// The manager's rows, the product list in both orders, the one-product page, and the
// demo products.

#include <gtest/gtest.h>

#include "ProductFixture.h"
#include "data/Ansi.h"
#include "products/Demo.h"
#include "products/ProdList.h"
#include "products/ProdPrint.h"
#include "storage/BTree.h"
#include "storage/Verify.h"
#include "support/RecordingCanvas.h"
#include "support/RecordingProgress.h"

namespace invarro::products {
namespace {

using data::Product;

data::ProductRecord Sample() {
    ProductEntry e = NewProductEntry("03/01/2024");
    e.code = "LOGO-PKG";
    e.description = "Logo Design Package";
    e.price = "1250";
    e.notes = "Three concepts, two revision rounds.";
    return NewProductRecord(e, "03/01/2024");
}

TEST(ProdRowTest, HeaderAndRowsKeepTheirColumns) {
    const std::string header = ManagerHeader();
    ASSERT_EQ(header.size(), 128u);
    EXPECT_EQ(header.substr(0, 4), "Code");
    EXPECT_EQ(header.substr(11, 11), "Description");
    EXPECT_EQ(header.substr(44, 12), " Sales Price");
    EXPECT_EQ(header.substr(57, 10), "Setup Date");

    data::ProductRecord p = Sample();
    const std::string row = ManagerRow(p);
    ASSERT_EQ(row.size(), 128u);
    EXPECT_EQ(row.substr(0, 11), "LOGO-PKG   ");
    EXPECT_EQ(row.substr(11, 33), "Logo Design Package              ");
    EXPECT_EQ(row.substr(44, 12), "    1,250.00");
    EXPECT_EQ(row.substr(57, 10), "03/01/2024");

    // A full-width description and a price that does not read as an amount.
    p.setText(Product::Description, std::string(32, 'X'));
    p.setText(Product::SellPrice, "n/a");
    const std::string full = ManagerRow(p);
    EXPECT_EQ(full.size(), 128u);
    EXPECT_EQ(full.substr(44, 12), "        0.00");
}

TEST(ProdListEntryTest, LinesAtTheirColumnsAndCutTo85) {
    data::ProductRecord p = Sample();
    p.setText(Product::ChangedDate, "04/15/2024");
    p.setByte(Product::Taxable, 1);
    std::vector<std::string> lines = ProductListEntry(p);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0],
              "Logo Design Package                 Code: LOGO-PKG      Price: 1,250.00    ");
    EXPECT_EQ(lines[0].find("Code: "), 36u);
    EXPECT_EQ(lines[0].find("Price: "), 56u);
    EXPECT_EQ(lines[1], "Setup Date: 03/01/2024      Last Modified: 04/15/2024   Taxed: Y");
    EXPECT_EQ(lines[2], std::string(80, '-'));

    // Multi-byte characters count as one column each; nothing passes 85 characters.
    p.setText(Product::Description, "Café crème " + std::string(21, 'x'));
    p.setText(Product::SellPrice, "-999999.99");
    p.setByte(Product::Taxable, 0);
    lines = ProductListEntry(p);
    EXPECT_EQ(data::CharCount(lines[0].substr(0, lines[0].find("    Code: "))), 32u);
    EXPECT_LE(data::CharCount(lines[0]), 85u);
    EXPECT_NE(lines[0].find("Price: -999,999.99"), std::string::npos);
    EXPECT_EQ(lines[1].substr(lines[1].size() - 1), "N");
}

using ProdListTest = ProductTest;

TEST_F(ProdListTest, ListWalksTheChosenKeyAndSkipsBlankDescriptions) {
    add("C3", "Alpha Widget", "1.00");
    add("A1", "Charlie Widget", "2.00");
    add("B2", "Bravo Widget", "3.00");
    // A record written by another program without a description.
    data::ProductRecord blank;
    blank.setText(Product::ProdCode, "Z9");
    ASSERT_TRUE(data::AddBusinessRecord(products, blank, prompter).ok());

    platform::FixedClock clock({2024, 3, 3, 14, 5, 0});
    testing::RecordingProgress progress;
    std::vector<std::string> byCode =
        ProductListLines(products, company, ListOrder::ByCode, clock, progress);
    EXPECT_EQ(progress.titles, std::vector<std::string>{"Product List"});
    EXPECT_EQ(progress.shown.front(), "Preparing list...");
    EXPECT_EQ(progress.finishes, 1);
    ASSERT_EQ(byCode.size(), 3u + 3 * 3);
    EXPECT_EQ(byCode[0], "Northside Supply");
    EXPECT_EQ(byCode[1], "Date: Sunday, March 3, 2024, 02:05 PM");
    EXPECT_EQ(byCode[2], std::string(80, '-'));
    EXPECT_EQ(byCode[3].substr(0, 14), "Charlie Widget");
    EXPECT_EQ(byCode[6].substr(0, 12), "Bravo Widget");
    EXPECT_EQ(byCode[9].substr(0, 12), "Alpha Widget");

    std::vector<std::string> byDescription =
        ProductListLines(products, company, ListOrder::ByDescription, clock, progress);
    ASSERT_EQ(byDescription.size(), 12u);
    EXPECT_EQ(byDescription[3].substr(0, 12), "Alpha Widget");
    EXPECT_EQ(byDescription[6].substr(0, 12), "Bravo Widget");
    EXPECT_EQ(byDescription[9].substr(0, 14), "Charlie Widget");
    for (const std::string& l : byDescription)
        EXPECT_LE(data::CharCount(l), 85u);
    EXPECT_EQ(ProductListTitle(ListOrder::ByCode), "Product List by Code");
    EXPECT_EQ(ProductListTitle(ListOrder::ByDescription), "Product List by Description");
}

TEST_F(ProdListTest, AnEmptyFileGivesTheHeadingOnly) {
    platform::FixedClock clock({2024, 3, 3, 9, 0, 0});
    testing::RecordingProgress progress;
    EXPECT_EQ(ProductListLines(products, company, ListOrder::ByCode, clock, progress).size(), 3u);
}

TEST(ProdPrintTest, OnePageWithEveryFieldAndTheTimePrinted) {
    data::CompanyRecord company = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
    company.setText(data::Company::Name, "Harbor Light Print & Design");
    data::ProductRecord p = Sample();
    p.setText(Product::ProdNotes, std::string(30, 'a') + " " + std::string(30, 'b') + " " +
                                      std::string(30, 'c') + " " + std::string(30, 'd'));
    testing::RecordingCanvas canvas;
    platform::FixedClock clock({2024, 3, 3, 14, 5, 0});
    ASSERT_TRUE(PrintProduct(canvas, p, company, clock));
    EXPECT_TRUE(canvas.faults().empty());
    EXPECT_EQ(canvas.pagesBegun(), 1);
    EXPECT_EQ(canvas.documentsEnded(), 1);
    for (const char* text : {"Product: Logo Design Package", "Product Code: LOGO-PKG",
                             "Sales Price: 1,250.00", "Taxable: No", "Setup Date: 03/01/2024",
                             "Notes / Comments:", "Printed: Sunday, March 3, 2024, 02:05 PM"})
        EXPECT_NE(canvas.findText(text), nullptr) << text;
    // The notes wrap inside the page's margins.
    const testing::CanvasOp* notes = canvas.findText("Notes / Comments:");
    ASSERT_NE(notes, nullptr);
    int noteLines = 0;
    for (const auto& op : canvas.texts()) {
        if (op.y <= notes->y || op.text.rfind("Printed:", 0) == 0) continue;
        ++noteLines;
        EXPECT_LE(op.x + canvas.textWidth(op.text), canvas.pageWidth() - op.x);
    }
    EXPECT_GE(noteLines, 2);

    p.setByte(Product::Taxable, 1);
    testing::RecordingCanvas taxed;
    ASSERT_TRUE(PrintProduct(taxed, p, company, clock));
    EXPECT_NE(taxed.findText("Taxable: Yes"), nullptr);
    testing::RecordingCanvas broken;
    broken.failBegin("no printer");
    EXPECT_FALSE(PrintProduct(broken, p, company, clock));
}

TEST_F(ProdListTest, DemoProductsGoThroughTheEditorsChecksForEachCompany) {
    storage::CloseFileblock(products);
    products = nullptr;
    platform::FixedClock clock({2024, 3, 3, 9, 0, 0});
    DemoResult first = AddDemoProducts(dir.path(), company, prompter, clock);
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_GE(first.added, 24);
    data::CompanyRecord other = company;
    other.setText(data::Company::CompanyNo, "2");
    DemoResult second = AddDemoProducts(dir.path(), other, prompter, clock);
    ASSERT_TRUE(second.ok) << second.error;
    EXPECT_GE(second.added, 24);

    storage::Fileblock* fb = storage::OpenFileblock(fileName(), false);
    ASSERT_TRUE(storage::EngineOk);
    EXPECT_EQ(storage::KeyCount(fb, 1), first.added);
    int taxed = 0, untaxed = 0, cents = 0;
    std::string key;
    int32_t recNo = storage::FindKeyAtOrAfter(fb, 1, key);
    while (storage::EngineOk) {
        auto p = data::ReadBusinessRecord<Product>(fb, recNo);
        ASSERT_TRUE(p);
        (p->byte(Product::Taxable) ? taxed : untaxed)++;
        const std::string price = p->text(Product::SellPrice);
        EXPECT_EQ(price, StoredPrice(price).value_or("")) << "stored normalised: " << price;
        if (price.substr(price.size() - 2) != "00") ++cents;
        EXPECT_EQ(p->text(Product::SetupDate), "03/03/2024");
        storage::NextKey(fb, 1, key, recNo);
    }
    EXPECT_GT(taxed, 0);
    EXPECT_GT(untaxed, 0);
    EXPECT_GT(cents, 5);
    storage::CloseFileblock(fb);
    EXPECT_TRUE(storage::CheckFileblock(fileName()).empty());
    EXPECT_TRUE(
        storage::CheckFileblock(data::FileblockName(dir.path(), data::FileKind::Product, "2"))
            .empty());
}

}  // namespace
}  // namespace invarro::products
