// Product import and export: codes given and repeated, taxable and price rules, the
// rebuild right after the import, failures, and files that go out and come back.

#include <gtest/gtest.h>

#include <map>

#include "data/Ansi.h"
#include "data/Company.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/Keys.h"
#include "data/Update.h"
#include "products/PExport.h"
#include "products/PImport.h"
#include "storage/BTree.h"
#include "storage/Engine.h"
#include "storage/EngineTesting.h"
#include "storage/Verify.h"
#include "support/RecordingProgress.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::products {
namespace {

using data::DelimitedFormat;
using data::DelimitedKind;
using data::Product;
using data::ProductRecord;

class ProductIo : public ::testing::Test {
  protected:
    void SetUp() override {
        savedFloor_ = storage::PoolFloor();
        storage::SetPoolFloor(0);
        ASSERT_EQ(storage::InitEngine(30), 30);
        ASSERT_TRUE(data::CreateBusinessFileblock(name(), data::KindOf(data::FileKind::Product)));
        open();
    }
    void TearDown() override {
        storage::ClearFaults();
        if (products) storage::CloseFileblock(products);
        if (storage::EngineStarted()) storage::ExitEngine();
        storage::SetPoolFloor(savedFloor_);
    }

    std::string name(const std::string& prefix = "1") const {
        return data::FileblockName(dir.path(), data::FileKind::Product, prefix);
    }
    void open() {
        products = storage::OpenFileblock(name(), false);
        ASSERT_TRUE(storage::EngineOk) << storage::EngineError;
    }

    void addProduct(const std::string& code, const std::string& desc, const std::string& price,
                    bool taxable) {
        ProductRecord p = data::NewRecord<Product>();
        p.setText(Product::ProdCode, code);
        p.setText(Product::Description, desc);
        p.setText(Product::SellPrice, price);
        p.setByte(Product::Taxable, taxable ? 1 : 0);
        ASSERT_TRUE(data::AddBusinessRecord(products, p, prompter).ok());
    }

    data::ImportResult run(const std::string& text) {
        data::DelimitedText t = data::SplitDelimited(text, ',');
        EXPECT_TRUE(t.ok()) << t.error;
        return ImportProducts(products, ProductImportRows(t), "03/15/2025", progress, prompter);
    }

    // Closes the file, rebuilds it as the import does, checks it and opens it again.
    void rebuild() {
        storage::CloseFileblock(products);
        platform::SilentProgress silent;
        ASSERT_TRUE(RebuildProductFile(dir.path(), "1", silent)) << storage::EngineError;
        EXPECT_TRUE(storage::CheckFileblock(name()).empty());
        open();
    }

    std::map<std::string, ProductRecord> byCode() {
        std::map<std::string, ProductRecord> out;
        for (int32_t rec = 1; rec <= storage::RecordSlotCount(products); ++rec)
            if (auto r = data::ReadBusinessRecord<Product>(products, rec))
                out[data::TrimmedText(r->text(Product::ProdCode))] = *r;
        return out;
    }

    testing::TempDir dir;
    testing::ScriptedPrompter prompter;
    testing::RecordingProgress progress;
    storage::Fileblock* products = nullptr;

  private:
    int savedFloor_ = 0;
};

TEST_F(ProductIo, RowFieldsTaxableAndPriceRules) {
    auto r =
        run("AB1,\"Blue Widget\",Y,9.95\n"
            "AB2,\"Red Widget\",y,\"1,234.50\"\n"
            "AB3,Gadget,N,abc\n"
            "AB4,\"A description longer than thirty-two characters\",Yes,\n");
    EXPECT_EQ(r.added, 4);
    auto all = byCode();
    EXPECT_EQ(all.at("AB1").text(Product::Description), "Blue Widget");
    EXPECT_EQ(all.at("AB1").byte(Product::Taxable), 1);
    EXPECT_EQ(all.at("AB1").text(Product::SellPrice), "9.95");
    EXPECT_EQ(all.at("AB1").text(Product::SetupDate), "03/15/2025");
    EXPECT_EQ(all.at("AB2").byte(Product::Taxable), 1);
    EXPECT_EQ(all.at("AB2").text(Product::SellPrice), "1234.50");
    EXPECT_EQ(all.at("AB3").byte(Product::Taxable), 0);
    EXPECT_EQ(all.at("AB3").text(Product::SellPrice), "0.00");
    EXPECT_EQ(all.at("AB4").text(Product::Description), "A description longer than thirty");
    EXPECT_EQ(all.at("AB4").byte(Product::Taxable), 0);
    EXPECT_EQ(all.at("AB4").text(Product::SellPrice), "0.00");
}

// Codes and descriptions are measured in characters as the code page stores them.
TEST_F(ProductIo, CodesAreMeasuredInTheStoredCodePageAndChangesAreCounted) {
    auto r =
        run("\"CAFÉ-CRÈME\",\"Café crème, grande\",Y,3.50\n"
            "\"TEA☕\",\"Green tea\r\nloose\",N,2\n"
            "\"LONGCODE12345\",\"" +
            std::string(40, 'd') + "\",N,1\n");
    EXPECT_EQ(r.added, 3);
    EXPECT_EQ(r.failed, 0);
    const auto products = byCode();
    ASSERT_EQ(products.count("CAFÉ-CRÈME"), 1u);
    EXPECT_EQ(products.at("CAFÉ-CRÈME").text(Product::Description), "Café crème, grande");
    ASSERT_EQ(products.count("TEA?"), 1u);
    EXPECT_EQ(products.at("TEA?").text(Product::Description), "Green tea loose");
    ASSERT_EQ(products.count("LONGCODE12"), 1u);
    EXPECT_EQ(products.at("LONGCODE12").text(Product::Description), std::string(32, 'd'));
    EXPECT_EQ(r.changed, 4);
    EXPECT_EQ(r.firstChangedLine, 2);
    EXPECT_EQ(r.firstChange, "Product Code \"TEA☕\" became \"TEA?\"");
    EXPECT_NE(ProductImportDoneMessage(r).text.find("4 values were changed"), std::string::npos);
    // Nothing changed: the complete text alone.
    auto plain = run("PLAIN,\"Plain\",N,1\n");
    EXPECT_EQ(ProductImportDoneMessage(plain).text, kProductImportCompleteText);
}

TEST_F(ProductIo, UnquotedBlankMovesTheColumns) {
    run("AB1,Blue Widget,Y,9.95\n");
    ProductRecord p = byCode().at("AB1");
    EXPECT_EQ(p.text(Product::Description), "Blue");
    // "Widget" lands in the taxable column.
    EXPECT_EQ(p.byte(Product::Taxable), 0);
    EXPECT_EQ(p.text(Product::SellPrice), "0.00");
}

TEST_F(ProductIo, EmptyCodesNumberedRepeatsGetDupCodes) {
    addProduct("A1", "On file", "1.00", false);
    addProduct("7", "Seven", "1.00", false);
    // Two products on file: the automatic numbers start at 3.
    auto r =
        run(",\"First empty\"\n"         // 3
            "NEW,\"New one\"\n"          // NEW
            "new,\"Same code\"\n"        // repeat within the file: DUP4
            "a1,\"On file again\"\n"     // on file: DUP5
            "LONGCODE123,Cut\n"          // cut to LONGCODE12
            "LONGCODE12X,\"Cut too\"\n"  // equal after cutting: DUP6
            ",\"Second empty\"\n"        // 7 is on file: DUP8
            "DUP10,\"Taken ahead\"\n");  // DUP10 free still
    EXPECT_EQ(r.added, 8);
    EXPECT_EQ(r.renumbered, 4);
    auto all = byCode();
    EXPECT_EQ(all.at("3").text(Product::Description), "First empty");
    EXPECT_EQ(all.at("NEW").text(Product::Description), "New one");
    EXPECT_EQ(all.at("DUP4").text(Product::Description), "Same code");
    EXPECT_EQ(all.at("DUP5").text(Product::Description), "On file again");
    EXPECT_EQ(all.at("LONGCODE12").text(Product::Description), "Cut");
    EXPECT_EQ(all.at("DUP6").text(Product::Description), "Cut too");
    EXPECT_EQ(all.at("DUP8").text(Product::Description), "Second empty");
    EXPECT_EQ(all.at("DUP10").text(Product::Description), "Taken ahead");
    // Stored without keys; the rebuild keeps all ten.
    EXPECT_EQ(storage::KeyCount(products, 1), 2);
    rebuild();
    EXPECT_EQ(storage::KeyCount(products, 1), 10);
    EXPECT_EQ(storage::KeyCount(products, 2), 10);
    EXPECT_FALSE(data::FileExists(storage::DataPartFileName(name(), "MSG")));
}

TEST_F(ProductIo, DupCodeAlreadyTakenMovesOn) {
    addProduct("X", "x", "1.00", false);
    addProduct("DUP3", "taken", "1.00", false);
    run("X,again\n");
    EXPECT_EQ(byCode().at("DUP4").text(Product::Description), "again");
}

TEST_F(ProductIo, AFailedAddTakesBackTheWholeImport) {
    storage::InjectFault(storage::EngineOp::AddRecord, 2, storage::err::ShortWrite);
    auto r = run("\r\nP1,One\r\nP2,Two\r\nP3,Three\r\n");
    EXPECT_EQ(r.added, 0);
    EXPECT_TRUE(r.takenBack);
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(ProductImportDoneMessage(r).text,
              "Import failed at line 3 (P2): the record could not be stored (error 10075). "
              "Nothing was imported; the products on file are as they were.");
    EXPECT_TRUE(byCode().empty());
    // Whole again, the same rows are stored once each.
    r = run("\r\nP1,One\r\nP2,Two\r\nP3,Three\r\n");
    EXPECT_EQ(r.added, 3);
    r.failed = 0;
    EXPECT_EQ(ProductImportDoneMessage(r).text, kProductImportCompleteText);
}

TEST_F(ProductIo, ExportInCodeOrderWithTheChosenFields) {
    addProduct("B2", "Blue Widget", "9.95", true);
    addProduct("A1", "Gadget", "12.00", false);
    addProduct("C3", "3/4\" pipe, copper", "0.50", false);
    platform::SilentProgress silent;
    ProductExportChoice choice;
    EXPECT_EQ(ProductExportLines(products, choice, silent),
              (std::vector<std::string>{"A1,Gadget,N,12.00", "B2,\"Blue Widget\",Y,9.95",
                                        "C3,\"3/4\"\" pipe, copper\",N,0.50"}));
    choice = ProductExportChoice{false, false, false, {DelimitedKind::CommaQuote}};
    EXPECT_EQ(ProductExportLines(products, choice, silent),
              (std::vector<std::string>{"\"A1\"", "\"B2\"", "\"C3\""}));
    choice = ProductExportChoice{true, false, true, {DelimitedKind::Character, ';'}};
    EXPECT_EQ(ProductExportLines(products, choice, silent)[2], "C3;\"3/4\"\" pipe, copper\";0.50");
}

TEST_F(ProductIo, OneCharacterLinesLeftOut) {
    addProduct("Z", "", "0.00", false);
    platform::SilentProgress silent;
    ProductExportChoice choice{false, false, false, {DelimitedKind::CommaOnly}};
    EXPECT_TRUE(ProductExportLines(products, choice, silent).empty());
    choice.format.kind = DelimitedKind::CsvFile;
    EXPECT_EQ(ProductExportLines(products, choice, silent).size(), 1u);
}

TEST_F(ProductIo, RoundTripInEveryKindAndEncoding) {
    addProduct("P1", "3/4\" pipe, copper", "1.25", true);
    addProduct("P2", "Crème brûlée; large", "10.00", false);
    addProduct("P3", "Plain", "0.00", true);
    const std::vector<DelimitedFormat> formats = {{DelimitedKind::CsvFile},
                                                  {DelimitedKind::CommaQuote},
                                                  {DelimitedKind::CommaOnly},
                                                  {DelimitedKind::Character, ';'},
                                                  {DelimitedKind::Character, '\t'}};
    int target = 2;
    for (const DelimitedFormat& f : formats) {
        for (auto enc : {data::TextEncoding::Windows1252, data::TextEncoding::Utf8}) {
            platform::SilentProgress silent;
            ProductExportChoice choice;
            choice.format = f;
            const std::string file = dir.file("ProdList" + std::to_string(target) + ".Txt");
            ASSERT_TRUE(
                data::WriteDelimitedFile(file, ProductExportLines(products, choice, silent), enc));
            const std::string other = name(std::to_string(target++));
            ASSERT_TRUE(
                data::CreateBusinessFileblock(other, data::KindOf(data::FileKind::Product)));
            storage::Fileblock* fb = storage::OpenFileblock(other, false);
            data::DelimitedText text = data::ReadDelimitedFile(file, f.joiner());
            ASSERT_TRUE(text.ok()) << text.error;
            auto r = ImportProducts(fb, ProductImportRows(text), "01/01/2025", silent, prompter);
            EXPECT_EQ(r.added, 3);
            EXPECT_EQ(r.renumbered, 0);
            for (int32_t rec = 1; rec <= 3; ++rec) {
                auto back = data::ReadBusinessRecord<Product>(fb, rec);
                auto orig = data::ReadBusinessRecord<Product>(products, rec);
                ASSERT_TRUE(back && orig);
                EXPECT_EQ(back->text(Product::ProdCode), orig->text(Product::ProdCode));
                EXPECT_EQ(back->text(Product::Description), orig->text(Product::Description))
                    << int(f.kind);
                EXPECT_EQ(back->text(Product::SellPrice), orig->text(Product::SellPrice));
                EXPECT_EQ(back->byte(Product::Taxable), orig->byte(Product::Taxable));
            }
            storage::CloseFileblock(fb);
        }
    }
}

}  // namespace
}  // namespace invarro::products
