// The product editor's checks, the stored sales price, the look-up by code, and add,
// change and delete through the record-update protocol.

#include <gtest/gtest.h>

#include <filesystem>

#include "ProductFixture.h"
#include "data/Keys.h"
#include "products/ProdEdit.h"
#include "storage/BTree.h"
#include "storage/Verify.h"

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

}  // namespace
}  // namespace invarro::products
