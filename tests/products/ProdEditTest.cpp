// The product editor's checks, the stored sales price, the look-up by code, and add,
// change and delete through the record-update protocol.

#include <gtest/gtest.h>

#include <filesystem>

#include "ProductFixture.h"
#include "data/EInvoiceData.h"
#include "data/Keys.h"
#include "data/Posting.h"
#include "data/Texts.h"
#include "products/ProdEdit.h"
#include "storage/BTree.h"
#include "storage/EngineTesting.h"
#include "storage/Verify.h"
#include "support/OutsidePostingPrompter.h"

namespace invarro::products {
namespace {

using data::Product;
using platform::Answer;

TEST(StoredPriceTest, NormalisesToTwoDecimalsAndRefusesWhatDoesNotFit) {
    EXPECT_EQ(StoredPrice("12.5"), "12.50");
    EXPECT_EQ(StoredPrice(" 1,250 "), "1250.00");
    EXPECT_EQ(StoredPrice("1,234.567"), "1234.57");  // half away from zero
    EXPECT_EQ(StoredPrice("-0.005"), "-0.01");
    EXPECT_EQ(StoredPrice(".79"), "0.79");
    EXPECT_EQ(StoredPrice(""), "0.00");
    EXPECT_EQ(StoredPrice("abc"), "0.00");
    EXPECT_EQ(StoredPrice("12.5.0"), "0.00");
    EXPECT_EQ(StoredPrice("$5"), "0.00");
    EXPECT_EQ(StoredPrice("9999999.99"), "9999999.99");
    // Numbers whose stored form would pass 10 characters are refused, not cut.
    EXPECT_EQ(StoredPrice("10000000"), std::nullopt);
    EXPECT_EQ(StoredPrice("-1000000"), std::nullopt);
    EXPECT_EQ(StoredPrice("123456789012345678901234567890"), std::nullopt);
}

TEST(ProductEntryTest, RecordFromEntryCutsAndStoresTheFields) {
    ProductEntry e = NewProductEntry("03/01/2024");
    EXPECT_EQ(e.price, "0.00");
    EXPECT_EQ(e.setupDate, "03/01/2024");
    e.code = "  abc-123  ";
    e.description = std::string(40, 'D');
    e.price = "7.5";
    e.taxable = true;
    e.notes = std::string(200, 'n');
    data::ProductRecord r = NewProductRecord(e, "03/01/2024");
    EXPECT_EQ(r.text(Product::ProdCode), "abc-123");
    EXPECT_EQ(r.text(Product::Description), std::string(32, 'D'));
    EXPECT_EQ(r.text(Product::SellPrice), "7.50");
    EXPECT_EQ(r.byte(Product::Taxable), 1);
    EXPECT_EQ(r.text(Product::ProdNotes).size(), 150u);
    EXPECT_EQ(r.text(Product::SetupDate), "03/01/2024");
    EXPECT_EQ(r.text(Product::ChangedDate), "");
    // Keys: trimmed, padded, upper case.
    EXPECT_EQ(data::ProductKey(r, 1), "ABC-123   ");
    EXPECT_EQ(data::ProductKey(r, 2), std::string(30, 'D'));

    ProductEntry back = EntryFromRecord(r);
    EXPECT_EQ(back.price, "7.50");
    EXPECT_TRUE(back.taxable);
    // A record with an empty price shows "0.00".
    r.setText(Product::SellPrice, "");
    EXPECT_EQ(EntryFromRecord(r).price, "0.00");
}

using ProdEditTest = ProductTest;

TEST_F(ProdEditTest, ChecksRunInOrderWithTheirFields) {
    add("HAM-16", "Claw Hammer 16 oz", "18.95");
    ProductEntry e = NewProductEntry("03/01/2024");
    auto problem = CheckProductEntry(e, kAddStartingCode, products);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->field, EntryField::Code);
    EXPECT_EQ(problem->message.text, "You need to enter a product code.");
    EXPECT_EQ(problem->message.title, "Product Code");

    e.code = "   ";
    problem = CheckProductEntry(e, kAddStartingCode, products);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->field, EntryField::Code);

    e.code = "NEW";
    e.description = "  ";
    problem = CheckProductEntry(e, kAddStartingCode, products);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->field, EntryField::Description);
    EXPECT_EQ(problem->message.text, "You need to enter a product description or name.");
    EXPECT_EQ(problem->message.title, "Product Description");

    // A duplicate differing only in case and blanks, with the owner's description.
    e.code = " ham-16";
    e.description = "Another hammer";
    e.price = "abc";
    problem = CheckProductEntry(e, kAddStartingCode, products);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->field, EntryField::Code);
    EXPECT_EQ(problem->message.text,
              "This Product Code already exists for: Claw Hammer 16 oz. Use a different code.");
    EXPECT_EQ(e.price, "abc");  // the checks stopped before the price

    // An unreadable price becomes "0.00"; a price too large is refused.
    e.code = "HAM-20";
    problem = CheckProductEntry(e, kAddStartingCode, products);
    EXPECT_FALSE(problem);
    EXPECT_EQ(e.price, "0.00");
    e.price = "12345678.00";
    problem = CheckProductEntry(e, kAddStartingCode, products);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->field, EntryField::Price);
    EXPECT_EQ(problem->message.title, "Sales Price");
    EXPECT_EQ(e.price, "12345678.00");  // kept as typed, for the user to correct
}

TEST_F(ProdEditTest, ACodeThatIsOnlyAPrefixOfAnotherIsNoDuplicate) {
    add("HAM-16", "Claw Hammer 16 oz");
    ProductEntry e = NewProductEntry("03/01/2024");
    e.code = "HAM";
    e.description = "Hammer";
    EXPECT_FALSE(CheckProductEntry(e, kAddStartingCode, products));
    e.code = "HAM-160";
    EXPECT_FALSE(CheckProductEntry(e, kAddStartingCode, products));
}

TEST_F(ProdEditTest, EditingKeepsItsOwnCodeButNotAnothers) {
    add("A1", "First");
    add("B2", "Second");
    ProductEntry e = NewProductEntry("03/01/2024");
    e.code = "a1 ";
    e.description = "First, renamed";
    EXPECT_FALSE(CheckProductEntry(e, "A1", products));
    e.code = "B2";
    auto problem = CheckProductEntry(e, "A1", products);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->message.text,
              "This Product Code already exists for: Second. Use a different code.");
}

TEST_F(ProdEditTest, AddStoresNormalisedPriceAndBothKeys) {
    const int32_t recNo = add("saw-1", "Hand Saw", "abc", true);
    data::ProductRecord r = read(recNo);
    EXPECT_EQ(r.text(Product::SellPrice), "0.00");
    EXPECT_EQ(r.text(Product::SetupDate), "03/01/2024");
    EXPECT_EQ(r.byte(Product::Taxable), 1);
    const int32_t second = add("SAW-2", "Coping Saw", "12.5");
    EXPECT_EQ(read(second).text(Product::SellPrice), "12.50");
    EXPECT_EQ(storage::KeyCount(products, 1), 2);
    EXPECT_EQ(storage::KeyCount(products, 2), 2);

    auto found = FindProductByCode(products, " Saw-1 ");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->recNo, recNo);
    EXPECT_EQ(found->record.text(Product::Description), "Hand Saw");
    EXPECT_FALSE(FindProductByCode(products, "SAW"));
    EXPECT_FALSE(FindProductByCode(products, ""));
    EXPECT_FALSE(FindProductByCode(products, "ZZZ"));
    storage::CloseFileblock(products);
    products = nullptr;
    EXPECT_TRUE(storage::CheckFileblock(fileName()).empty());
}

TEST_F(ProdEditTest, AnUnchangedOkWritesNothingAndKeepsTheChangeDate) {
    const int32_t recNo = add("NAIL", "Box of Nails", "4.5");
    const data::ProductRecord asRead = read(recNo);
    const auto before = std::filesystem::last_write_time(storage::DataFileName(fileName()));
    ProductEntry e = EntryFromRecord(asRead);
    EXPECT_FALSE(CheckProductEntry(e, "NAIL", products));
    data::ProductRecord stored;
    EXPECT_EQ(ChangeProduct(products, recNo, asRead, e, "04/02/2024", prompter, &stored),
              data::UpdateStatus::Unchanged);
    EXPECT_EQ(read(recNo), asRead);
    EXPECT_EQ(stored, asRead);
    EXPECT_EQ(read(recNo).text(Product::ChangedDate), "");
    EXPECT_EQ(std::filesystem::last_write_time(storage::DataFileName(fileName())), before);
}

TEST_F(ProdEditTest, ChangeWritesTheDateAndMovesTheKeys) {
    const int32_t recNo = add("NAIL", "Box of Nails", "4.50");
    add("SCREW", "Box of Screws");
    const data::ProductRecord asRead = read(recNo);
    ProductEntry e = EntryFromRecord(asRead);
    e.code = "NAIL-2";
    e.description = "Nails, galvanized";
    e.price = "5.5";
    EXPECT_EQ(ChangeProduct(products, recNo, asRead, e, "04/02/2024", prompter),
              data::UpdateStatus::Done);
    data::ProductRecord r = read(recNo);
    EXPECT_EQ(r.text(Product::ProdCode), "NAIL-2");
    EXPECT_EQ(r.text(Product::SellPrice), "5.50");
    EXPECT_EQ(r.text(Product::ChangedDate), "04/02/2024");
    EXPECT_EQ(r.text(Product::SetupDate), "03/01/2024");
    EXPECT_FALSE(FindProductByCode(products, "NAIL"));
    EXPECT_TRUE(FindProductByCode(products, "nail-2"));
    EXPECT_EQ(storage::KeyCount(products, 1), 2);

    // The record as first read no longer matches the file: nothing is written.
    prompter.expect("The record has changed in the meantime.");
    e.description = "Something else";
    EXPECT_THROW(ChangeProduct(products, recNo, asRead, e, "04/03/2024", prompter), ProductError);
    EXPECT_EQ(read(recNo).text(Product::Description), "Nails, galvanized");
    storage::CloseFileblock(products);
    products = nullptr;
    EXPECT_TRUE(storage::CheckFileblock(fileName()).empty());
}

TEST_F(ProdEditTest, DeleteAsksFirstAndTheLastDeleteLeavesNoProducts) {
    const int32_t recNo = add("ONLY", "The only product");
    prompter.expect("Are you sure you want to delete this product?", Answer::No);
    EXPECT_FALSE(DeleteProduct(products, recNo, read(recNo), prompter));
    EXPECT_EQ(prompter.last().title, "Delete Product Code: ONLY");
    EXPECT_EQ(storage::KeyCount(products, 1), 1);
    prompter.expect("Are you sure you want to delete this product?", Answer::Yes);
    EXPECT_TRUE(DeleteProduct(products, recNo, read(recNo), prompter));
    EXPECT_EQ(storage::KeyCount(products, 1), 0);
    EXPECT_EQ(storage::KeyCount(products, 2), 0);
    // A record that is already gone cannot be deleted again.
    data::ProductRecord ghost;
    ghost.setText(Product::ProdCode, "ONLY");
    prompter.expect("Are you sure you want to delete this product?", Answer::Yes);
    EXPECT_THROW(DeleteProduct(products, recNo, ghost, prompter), ProductError);
}

TEST_F(ProdEditTest, LookUpOpensTheFileOnlyForTheLookUp) {
    add("BOLT", "Carriage Bolt", "0.35", true);
    storage::CloseFileblock(products);
    products = nullptr;
    ProductLookup hit = LookUpProduct(dir.path(), "1", "bolt", prompter);
    EXPECT_TRUE(hit.opened);
    ASSERT_TRUE(hit.product);
    EXPECT_EQ(hit.product->text(Product::SellPrice), "0.35");
    ProductLookup miss = LookUpProduct(dir.path(), "1", "NUT", prompter);
    EXPECT_TRUE(miss.opened);
    EXPECT_FALSE(miss.product);
    // A company without a product file has no products; none is created.
    ProductLookup none = LookUpProduct(dir.path(), "7", "BOLT", prompter);
    EXPECT_TRUE(none.opened);
    EXPECT_FALSE(none.product);
    EXPECT_FALSE(std::filesystem::exists(dir.file("7P.DAT")));
    // The file is closed again: it can be opened exclusively.
    storage::Fileblock* fb = storage::OpenFileblock(fileName(), false);
    EXPECT_TRUE(storage::EngineOk);
    storage::CloseFileblock(fb);
}

TEST_F(ProdEditTest, ALookUpInAFileThatCannotBeOpenedSaysSo) {
    // The fixture holds the file open exclusively.
    prompter.expect("Unable to open database");
    ProductLookup r = LookUpProduct(dir.path(), "1", "BOLT", prompter);
    EXPECT_FALSE(r.opened);
    EXPECT_FALSE(r.product);
}

// ---------------------------------------------------------------- the editor's save

// The engine's "busy" failure: a record or the journal held by another program.
constexpr int32_t kBusy = 10306;

class ProductSaveTest : public ProductTest {
  protected:
    void TearDown() override {
        storage::ClearFaults();
        ProductTest::TearDown();
    }
    ProductEntry entry(const std::string& code, const std::string& description) {
        ProductEntry e = NewProductEntry("03/01/2024");
        e.code = code;
        e.description = description;
        return e;
    }
    std::string unitOf(const std::string& code) {
        return data::ReadProductUnitCode(dir.path(), "1", code, shown);
    }
    UnitCodeFiles units() const { return {dir.path(), "1"}; }
    testing::OutsidePostingPrompter shown;
};

TEST_F(ProductSaveTest, AProductAndItsUnitCodeThatMeetALockAreSavedWholeOnceWithoutAQuestion) {
    // The unit code's record meets a lock on the first attempt: the product added before it
    // is taken back and the whole save runs again, asking nothing.
    storage::InjectFault(storage::EngineOp::AddRecord, 2, kBusy);
    const int64_t reruns = data::PostingReruns();
    data::ProductRecord stored;
    const int32_t recNo = SaveNewProduct(products, units(), entry("b1", "Bracket"), "KGM",
                                         "03/01/2024", shown, &stored);
    EXPECT_EQ(data::PostingReruns() - reruns, 1);
    EXPECT_EQ(storage::UsedRecordCount(products), 1);
    EXPECT_EQ(read(recNo), stored);
    EXPECT_EQ(stored.text(Product::ProdCode), "b1");
    EXPECT_EQ(unitOf("B1"), "KGM");

    // A change that moves the code meets a lock at its record: the unit code follows once.
    storage::InjectFault(storage::EngineOp::PutRecord, 1, kBusy);
    ProductEntry changed = EntryFromRecord(stored);
    changed.code = "B2";
    EXPECT_EQ(SaveProductChange(products, units(), recNo, stored, changed, "HUR", "04/01/2024",
                                shown, &stored),
              data::UpdateStatus::Done);
    EXPECT_EQ(data::PostingReruns() - reruns, 2);
    EXPECT_EQ(read(recNo).text(Product::ProdCode), "B2");
    EXPECT_EQ(stored, read(recNo));
    EXPECT_EQ(unitOf("B1"), "");
    EXPECT_EQ(unitOf("B2"), "HUR");
    EXPECT_EQ(shown.shownInsidePosting(), 0);
}

TEST_F(ProductSaveTest, ACodeTakenAfterTheCheckIsRefusedWithTheChecksMessageAndNothingIsSaved) {
    ProductEntry typed = entry("pipe", "Copper pipe");
    ASSERT_FALSE(CheckProductEntry(typed, kAddStartingCode, products));
    // Someone else saves a product under the code while the editor is still open.
    add("PIPE", "Steel pipe");
    try {
        SaveNewProduct(products, units(), typed, "MTR", "03/01/2024", shown);
        ADD_FAILURE() << "saved under a code that is taken";
    } catch (const ProductError& e) {
        EXPECT_STREQ(e.what(),
                     "This Product Code already exists for: Steel pipe. Use a different code.");
    }
    EXPECT_EQ(storage::UsedRecordCount(products), 1);
    EXPECT_EQ(unitOf("PIPE"), "");

    // An edit that moves its product to the taken code is refused the same way; an edit
    // keeping its own code is not.
    const int32_t own = add("TUBE", "Copper tube");
    const data::ProductRecord asRead = read(own);
    ProductEntry moved = EntryFromRecord(asRead);
    moved.code = "Pipe";
    EXPECT_THROW(SaveProductChange(products, units(), own, asRead, moved, "", "04/01/2024", shown),
                 ProductError);
    EXPECT_EQ(read(own), asRead);
    moved.code = "tube";
    moved.description = "Copper tube, 15 mm";
    EXPECT_EQ(SaveProductChange(products, units(), own, asRead, moved, "MTR", "04/01/2024", shown),
              data::UpdateStatus::Done);
    EXPECT_EQ(unitOf("TUBE"), "MTR");
}

TEST_F(ProductSaveTest, AUnitCodeThatCannotBeWrittenTakesTheProductBack) {
    // Without a unit code no e-invoicing file is made.
    SaveNewProduct(products, units(), entry("V2", "Valve"), "", "03/01/2024", shown);
    EXPECT_FALSE(
        storage::FileblockExists(data::FileblockName(dir.path(), data::FileKind::EInvoice, "1")));
    storage::InjectFault(storage::EngineOp::AddRecord, 2, storage::err::OsOther);
    try {
        SaveNewProduct(products, units(), entry("V1", "Valve"), "C62", "03/01/2024", shown);
        ADD_FAILURE() << "a product was saved without its unit code";
    } catch (const ProductError& e) {
        EXPECT_STREQ(e.what(), "The unit code could not be saved.");
    }
    EXPECT_EQ(storage::UsedRecordCount(products), 1);
    EXPECT_FALSE(FindProductByCode(products, "V1"));
    EXPECT_EQ(unitOf("V1"), "");
}

TEST_F(ProductSaveTest, AProductChangedMeanwhileIsToldAfterThePostingAndNotWritten) {
    const int32_t recNo = add("NUT", "Hex nut");
    const data::ProductRecord asRead = read(recNo);
    ProductEntry other = EntryFromRecord(asRead);
    other.description = "Hex nut, M8";
    ChangeProduct(products, recNo, asRead, other, "04/01/2024", prompter);
    ProductEntry mine = EntryFromRecord(asRead);
    mine.price = "0.15";
    shown.expect(std::string(data::kRecordChanged));
    try {
        SaveProductChange(products, units(), recNo, asRead, mine, "C62", "04/02/2024", shown);
        ADD_FAILURE() << "an edit overwrote a change made meanwhile";
    } catch (const ProductError& e) {
        EXPECT_EQ(e.what(), kModifyFailed);
    }
    EXPECT_EQ(read(recNo).text(Product::Description), "Hex nut, M8");
    EXPECT_EQ(unitOf("NUT"), "");
    EXPECT_EQ(shown.shownInsidePosting(), 0);
}

TEST_F(ProductSaveTest, ADeletedProductTakesItsUnitCodeAlongAndALockRunsItAgain) {
    const int32_t bolt =
        SaveNewProduct(products, units(), entry("BOLT", "Bolt"), "KGM", "03/01/2024", shown);
    const int32_t nut =
        SaveNewProduct(products, units(), entry("NUT", "Nut"), "C62", "03/01/2024", shown);
    const UnitCodeFiles where = units();
    // The unit code's record meets the lock after the product was deleted in the attempt.
    storage::InjectFault(storage::EngineOp::DeleteRecord, 2, kBusy);
    const int64_t reruns = data::PostingReruns();
    shown.expect("Are you sure you want to delete this product?", Answer::Yes);
    EXPECT_TRUE(DeleteProduct(products, bolt, read(bolt), shown, &where));
    EXPECT_EQ(data::PostingReruns() - reruns, 1);
    EXPECT_FALSE(FindProductByCode(products, "BOLT"));
    EXPECT_EQ(unitOf("BOLT"), "");
    EXPECT_EQ(unitOf("NUT"), "C62");
    // A later product of the code starts without the old unit code.
    SaveNewProduct(products, units(), entry("BOLT", "Bolt, new"), "", "03/02/2024", shown);
    EXPECT_EQ(unitOf("BOLT"), "");

    // The unit code cannot be removed: the product stays with it.
    storage::InjectFault(storage::EngineOp::DeleteRecord, 2, storage::err::OsOther);
    shown.expect("Are you sure you want to delete this product?", Answer::Yes);
    EXPECT_THROW(DeleteProduct(products, nut, read(nut), shown, &where), ProductError);
    EXPECT_TRUE(FindProductByCode(products, "NUT"));
    EXPECT_EQ(unitOf("NUT"), "C62");
    EXPECT_EQ(shown.shownInsidePosting(), 0);
}

}  // namespace
}  // namespace invarro::products
