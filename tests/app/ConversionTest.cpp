// The conversion of an old invoice line file, and the rebuild command it ends with.

#include <gtest/gtest.h>

#include <filesystem>

#include "AppFixture.h"
#include "app/LineConversion.h"
#include "app/MainCommands.h"

namespace invarro::app {
namespace {

namespace fs = std::filesystem;
using testing::WriteFileBytes;

constexpr int kOldLength = 140;

class ConversionTest : public AppTest {
  protected:
    // An old line file: records of 140 bytes with the fields at today's offsets and one
    // key on the invoice number.
    void makeOldFile(const std::vector<std::array<std::string, 3>>& lines, int deleteIndex = -1) {
        const std::string oldName = dir.file("1D");
        storage::KeyDescriptor key{9, true};
        storage::CreateFileblock(oldName, kOldLength, 1, &key);
        ASSERT_TRUE(storage::EngineOk);
        storage::Fileblock* fb = storage::OpenFileblock(oldName, false);
        ASSERT_TRUE(storage::EngineOk);
        int i = 0;
        for (const auto& [invNo, text, code] : lines) {
            std::vector<uint8_t> r(kOldLength, 0);
            auto put = [&](auto field, const std::string& v) {
                data::WriteAnsiText(r.data(), field.def(), v);
            };
            put(InvoiceLine::LineText, text);
            put(InvoiceLine::LineStyle, "P");
            put(InvoiceLine::InvNo, invNo);
            put(InvoiceLine::LineDate, "2003/04/05");
            put(InvoiceLine::ProdCode, code);
            put(InvoiceLine::CustNo, "C1");
            put(InvoiceLine::ShortName, "ACME");
            int32_t rec = storage::AddRecord(fb, r.data());
            ASSERT_TRUE(storage::EngineOk);
            storage::AddKey(fb, 1, rec, data::KeyText(invNo, 9, true, true));
            if (i++ == deleteIndex) storage::DeleteRecord(fb, rec);
        }
        storage::CloseFileblock(fb);
        ASSERT_TRUE(storage::EngineOk);
    }

    ConversionOutcome convert() {
        return ConvertOldLineFile(session, prompter, progress, RunHooks{});
    }
};

TEST_F(ConversionTest, NoOldFileNothingToDo) {
    EXPECT_FALSE(FindOldLineFile(dir.path(), "1"));
    EXPECT_EQ(convert().status, ConversionStatus::NoOldFile);
}

TEST_F(ConversionTest, OldLinesBecomeLineRecordsAndTheOldFileGoes) {
    makeOldFile({{"1001", "2         Paper A4", "PAP"},
                 {"1001", "1         Toner", "TON"},
                 {"99", "dropped", "X"},
                 {"1002", "5         Labels", "LAB"}},
                2);
    // Files of the old version may carry lower-case extensions.
    fs::rename(dir.file("1D.DAT"), dir.file("1D.dat"));
    fs::rename(dir.file("1D.IX"), dir.file("1D.ix"));
    ASSERT_EQ(FindOldLineFile(dir.path(), "1"), dir.file("1D.dat"));

    prompter.expect(
        "I need to convert your invoice line items file for this company. Please do not "
        "interrupt the file conversion process. Thank you.");
    prompter.expect("The data files have been rebuilt.");
    prompter.expect("File conversion is complete. Welcome to version 4!");
    ConversionOutcome o = convert();
    EXPECT_EQ(o.status, ConversionStatus::Done) << o.error;
    EXPECT_EQ(o.converted, 3);

    for (const char* gone : {"1D.dat", "1D.ix", "1D.DAT", "1D.IX"})
        EXPECT_FALSE(fs::exists(dir.file(gone))) << gone;
    EXPECT_FALSE(FindOldLineFile(dir.path(), "1"));
    expectSound(data::FileKind::InvoiceLine);
    expectSound(data::FileKind::Company);

    storage::Fileblock* fb = open(data::FileKind::InvoiceLine);
    EXPECT_EQ(storage::KeyCount(fb, 2), 3);
    std::vector<std::string> seen;
    for (int32_t rec = storage::NextUsedRecord(fb, 0); storage::EngineOk && rec > 0;
         rec = storage::NextUsedRecord(fb, rec)) {
        auto l = data::ReadBusinessRecord<InvoiceLine>(fb, rec);
        ASSERT_TRUE(l);
        EXPECT_EQ(l->text(InvoiceLine::LineNo), "01");
        EXPECT_EQ(l->text(InvoiceLine::LineDate), "2003/04/05");
        EXPECT_EQ(l->text(InvoiceLine::CustNo), "C1");
        EXPECT_EQ(l->text(InvoiceLine::ShortName), "ACME");
        EXPECT_EQ(l->text(InvoiceLine::LineStyle), "P");
        seen.push_back(l->text(InvoiceLine::InvNo) + "|" + l->text(InvoiceLine::LineText) + "|" +
                       l->text(InvoiceLine::ProdCode) + "|" + l->text(InvoiceLine::LineKey));
    }
    storage::CloseFileblock(fb);
    EXPECT_EQ(seen, (std::vector<std::string>{"1001|2         Paper A4|PAP|00000100101",
                                              "1001|1         Toner|TON|00000100101",
                                              "1002|5         Labels|LAB|00000100201"}));
}

TEST_F(ConversionTest, AnOldFileThatCannotBeReadIsKept) {
    WriteFileBytes(dir.file("1D.DAT"), "not a data file");
    prompter.expect(
        "I need to convert your invoice line items file for this company. Please do not "
        "interrupt the file conversion process. Thank you.");
    prompter.expect(
        "Cannot open the old invoice line file (error 10070). The old invoice line file was "
        "kept as it is.");
    ConversionOutcome o = convert();
    EXPECT_EQ(o.status, ConversionStatus::Failed);
    EXPECT_TRUE(fs::exists(dir.file("1D.DAT")));
    EXPECT_FALSE(fs::exists(dir.file("1N.DAT"))) << "no half-made line file is left";
}

TEST_F(ConversionTest, RebuildDataFilesCommand) {
    addCustomer("1", "A");
    addInvoice("10", "1", data::Date{2024, 1, 1}, Cents(100));
    // An index lost: the rebuild makes it again from the data file.
    fs::remove(storage::IndexFileName(name(data::FileKind::Invoice)));
    prompter.expect("The data files have been rebuilt.");
    EXPECT_TRUE(RebuildDataFiles(session, prompter, progress, RunHooks{}));
    EXPECT_EQ(prompter.last().title, "Rebuild Complete");
    EXPECT_EQ(progress.titles,
              (std::vector<std::string>{"Rebuild Status", "Rebuild Status", "Rebuild Status"}));
    EXPECT_EQ(count(data::FileKind::Invoice), 1);
    expectSound(data::FileKind::Invoice);
    expectSound(data::FileKind::Customer);
}

}  // namespace
}  // namespace invarro::app
