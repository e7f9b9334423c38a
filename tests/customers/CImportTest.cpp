// Customer import and export: numbering, renaming and defaults of imported rows, the
// repeats inside one file, failures, the rebuild that follows, and files that go out and
// come back in every kind.

#include <map>

#include "CustomerFixture.h"
#include "customers/CExport.h"
#include "customers/CImport.h"
#include "data/Files.h"
#include "data/Keys.h"
#include "data/Rebuild.h"
#include "storage/EngineTesting.h"
#include "storage/Verify.h"
#include "support/RecordingProgress.h"

namespace invarro::customers {
namespace {

using data::Customer;
using data::CustomerRecord;
using data::DelimitedFormat;
using data::DelimitedKind;
using platform::Answer;

class CustomerImport : public CustomerTest {
  protected:
    void SetUp() override {
        CustomerTest::SetUp();
        company.setText(data::Company::DefTerms, "Net 30");
    }
    void TearDown() override {
        storage::ClearFaults();
        CustomerTest::TearDown();
    }

    std::vector<CustomerImportRow> rowsOf(const std::string& text) {
        data::DelimitedText t = data::SplitDelimited(text, ',');
        EXPECT_TRUE(t.ok()) << t.error;
        return CustomerImportRows(t);
    }

    CustomerImportResult run(const std::string& text, bool force = false) {
        CustomerFiles f = files();
        return ImportCustomers(f, rowsOf(text), force, progress, prompter);
    }

    // Closes the customer file, rebuilds the company's files as the manager does after an
    // import, checks them and opens the customer file again.
    void rebuild() {
        storage::CloseFileblock(customers);
        platform::SilentProgress silent;
        ASSERT_TRUE(data::RebuildCompanyFiles(dir.path(), "1", silent)) << storage::EngineError;
        EXPECT_TRUE(storage::CheckFileblock(name(data::FileKind::Customer)).empty());
        customers = storage::OpenFileblock(name(data::FileKind::Customer), false);
        ASSERT_TRUE(storage::EngineOk);
    }

    // Every live customer by number, as the data file holds them.
    std::map<std::string, CustomerRecord> byNumber() {
        std::map<std::string, CustomerRecord> out;
        for (int32_t rec = 1; rec <= storage::RecordSlotCount(customers); ++rec)
            if (auto r = data::ReadBusinessRecord<Customer>(customers, rec))
                out[data::TrimmedText(r->text(Customer::CustNo))] = *r;
        return out;
    }
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (auto& [no, r] : byNumber())
            out.push_back(r.text(Customer::Name));
        return out;
    }

    testing::RecordingProgress progress;
};

TEST_F(CustomerImport, RowGetsTheEditorsDefaultsAndItsShortName) {
    auto r =
        run("\"John Smith\",7,\"1 Main St\",Springfield,IL,USA,,,,,555-1234,555-9999,Retail,,"
            "WEST,js@example.com,ignored,further");
    EXPECT_EQ(r.added, 1);
    EXPECT_EQ(r.failed, 0);
    CustomerRecord c = byNumber().at("7");
    EXPECT_EQ(c.text(Customer::Name), "John Smith");
    EXPECT_EQ(c.text(Customer::BillAddr1), "1 Main St");
    EXPECT_EQ(c.text(Customer::BillAddr4), "USA");
    EXPECT_EQ(c.text(Customer::ShipAddr1), "");
    EXPECT_EQ(c.text(Customer::Phone1), "555-1234");
    EXPECT_EQ(c.text(Customer::Phone2), "555-9999");
    EXPECT_EQ(c.text(Customer::CustType), "Retail");
    EXPECT_EQ(c.text(Customer::ShortName), "JSmith");
    EXPECT_EQ(c.text(Customer::MailSortCode), "WEST");
    EXPECT_EQ(c.text(Customer::EMail), "js@example.com");
    EXPECT_EQ(c.text(Customer::TaxExempt), "N");
    EXPECT_EQ(c.text(Customer::CreditLimit), "0.00");
    EXPECT_EQ(c.text(Customer::Balance), "0.00");
    EXPECT_EQ(c.text(Customer::AgeOver90), "0.00");
    EXPECT_EQ(c.text(Customer::CreditHold), "N");
    EXPECT_EQ(c.text(Customer::NotesOnStatement), "N");
    EXPECT_EQ(c.text(Customer::Terms), "Net 30");
    EXPECT_EQ(c.text(Customer::Notes), "");
    // Stored without keys until the rebuild.
    EXPECT_EQ(storage::KeyCount(customers, 1), 0);
    rebuild();
    EXPECT_EQ(storage::KeyCount(customers, 1), 1);
    EXPECT_EQ(storage::KeyCount(customers, 2), 1);
}

TEST_F(CustomerImport, ForcedShippingAndValuesCutToTheirFields) {
    const std::string longName(40, 'N');
    run("\"" + longName + "\",123456789,Bill1,Bill2,,,Ship1,Ship2,,,,,,ShortNameTooLong", true);
    CustomerRecord c = byNumber().at("12345678");
    EXPECT_EQ(c.text(Customer::Name), std::string(35, 'N'));
    EXPECT_EQ(c.text(Customer::ShipAddr1), "Bill1");
    EXPECT_EQ(c.text(Customer::ShipAddr2), "Bill2");
    EXPECT_EQ(c.text(Customer::ShortName), "ShortNameT");
}

// An address line written by a spreadsheet may hold a line break inside its quotes; the
// record's one-line fields get blanks instead, as the editor gives them. What the code
// page lacks becomes "?", what is too long is cut, and the closing message counts both.
TEST_F(CustomerImport, LineBreaksBecomeBlanksAndEveryChangedValueIsCounted) {
    auto r =
        run("\"Müller ☕ Café\",5,\"12 Main St\r\nSuite 4\",\"Line\nTwo\rThree\",,,,,,,"
            "\"555\t0100\",,,,,\n"
            "\"CAFÉ-CRÈME ÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉ\",6,,,,,,,,,,,,,,\n"
            "\"" +
            std::string(40, 'N') + "\",7\n");
    EXPECT_EQ(r.added, 3);
    CustomerRecord c = byNumber().at("5");
    EXPECT_EQ(c.text(Customer::Name), "Müller ? Café");
    EXPECT_EQ(c.text(Customer::BillAddr1), "12 Main St Suite 4");
    EXPECT_EQ(c.text(Customer::BillAddr2), "Line Two Three");
    EXPECT_EQ(c.text(Customer::Phone1), "555 0100");
    // 35 characters in the code page, though more bytes in UTF-8: stored whole, unchanged.
    EXPECT_EQ(byNumber().at("6").text(Customer::Name), "CAFÉ-CRÈME ÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉ");
    EXPECT_EQ(byNumber().at("7").text(Customer::Name), std::string(35, 'N'));
    EXPECT_EQ(r.changed, 5);
    EXPECT_EQ(r.firstChangedLine, 1);
    EXPECT_EQ(r.firstChange, "Customer Name \"Müller ☕ Café\" became \"Müller ? Café\"");
    const platform::Message m = CustomerImportDoneMessage(r);
    EXPECT_EQ(m.text,
              "Import Complete. Now we need to rebuild the data files. 5 values were changed to "
              "fit the file (a character it cannot hold became \"?\", a value too long was cut, "
              "a line break became a blank); the first was on line 1: Customer Name \"Müller ☕ "
              "Café\" became \"Müller ? Café\".");
    EXPECT_EQ(m.icon, platform::Icon::Warning);
    // A line break is shown as such in the message.
    data::ImportResult one;
    data::RowValues(9, &one).fit("a\r\nb", 35, "Address Filed 1");
    EXPECT_EQ(one.firstChange, "Address Filed 1 \"a\u00b6b\" became \"a b\"");
}

TEST_F(CustomerImport, NumberOnFileGetsB) {
    addCustomer("100", "Existing");
    auto r = run("Newcomer,100");
    EXPECT_EQ(r.renumbered, 1);
    EXPECT_EQ(byNumber().at("100B").text(Customer::Name), "Newcomer");
}

TEST_F(CustomerImport, NumbersGivenAboveTheHighestWholeNumberAndTheCounterFollows) {
    // The counter as the company file holds it: the import takes it from there.
    ASSERT_TRUE(StoreNextCustomerNumber(dir.path(), company, "200", prompter));
    addCustomer("250", "Highest");
    addCustomer("A900", "Not a whole number");
    run("Ann\nBob\nCid\n");
    auto all = byNumber();
    EXPECT_EQ(all.at("251").text(Customer::Name), "Ann");
    EXPECT_EQ(all.at("252").text(Customer::Name), "Bob");
    EXPECT_EQ(all.at("253").text(Customer::Name), "Cid");
    EXPECT_EQ(company.text(data::Company::NextCustNo), "254");
    EXPECT_EQ(storedCompany().text(data::Company::NextCustNo), "254");
}

TEST_F(CustomerImport, EmptyCounterStartsAtOneAndCounterPassesNumbersFromTheFile) {
    // The counter as the company file holds it: the import takes it from there.
    ASSERT_TRUE(StoreNextCustomerNumber(dir.path(), company, "", prompter));
    run("Ann\nBob,900\n");
    EXPECT_EQ(byNumber().at("2").text(Customer::Name), "Ann");
    // The editor will not propose a number the file brought.
    EXPECT_EQ(storedCompany().text(data::Company::NextCustNo), "901");
}

TEST_F(CustomerImport, NameOnFileGetsTheNumberAfterIt) {
    addCustomer("5", "Acme Corp");
    auto r = run("\"  acme corp \",77");
    EXPECT_EQ(r.renamed, 1);
    EXPECT_EQ(byNumber().at("77").text(Customer::Name), "acme corp 77");
}

// Repeats inside one file are found as well as repeats of the file: nothing is lost in
// the rebuild and no two customers share a number.
TEST_F(CustomerImport, RepeatsInsideOneFile) {
    // The counter as the company file holds it: the import takes it from there.
    ASSERT_TRUE(StoreNextCustomerNumber(dir.path(), company, "10", prompter));
    const std::string name30 = std::string(30, 'L');
    auto r =
        run("Twin,1\n"
            "Twin,2\n"   // same name: renamed "Twin 2"
            "Other,1\n"  // same number: 1B
            "Third,1\n"  // 1 and 1B taken: the next free number, 11
            "Auto\n"     // automatic: 12
            "Late,11\n"  // 11 given out already: 11B
            "\"" +
            name30 +
            "A\",20\n"
            "\"" +
            name30 + "B\",21\n");  // equal in the 30-character name key
    EXPECT_EQ(r.added, 8);
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(r.renamed, 2);
    EXPECT_EQ(r.renumbered, 3);
    auto all = byNumber();
    EXPECT_EQ(all.at("1").text(Customer::Name), "Twin");
    EXPECT_EQ(all.at("2").text(Customer::Name), "Twin 2");
    EXPECT_EQ(all.at("1B").text(Customer::Name), "Other");
    EXPECT_EQ(all.at("11").text(Customer::Name), "Third");
    EXPECT_EQ(all.at("12").text(Customer::Name), "Auto");
    EXPECT_EQ(all.at("11B").text(Customer::Name), "Late");
    EXPECT_EQ(all.at("21").text(Customer::Name), name30.substr(0, 27) + " 21");
    rebuild();
    // The rebuild keeps every one of them.
    EXPECT_EQ(storage::KeyCount(customers, 1), 8);
    EXPECT_FALSE(
        data::FileExists(storage::DataPartFileName(name(data::FileKind::Customer), "MSG")));
}

TEST_F(CustomerImport, BlankLinesSkippedNamelessRowsReported) {
    auto r = run("\r\nAnn,1\r\n   \r\n,,,\r\n,2,Street\r\nBob,3\r\n");
    EXPECT_EQ(r.rows, 3);
    EXPECT_EQ(r.added, 2);
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(r.firstFailedLine, 5);
    EXPECT_EQ(CustomerImportDoneMessage(r).text,
              "Import finished: 2 customers added, 1 could not be added. The first was line 5: "
              "it has no customer name. Now we need to rebuild the data files.");
    EXPECT_EQ(names(), (std::vector<std::string>{"Ann", "Bob"}));
}

// A row whose record cannot be written stops the import, and the rows stored before it are
// taken back with it: running the import again then stores each row once.
TEST_F(CustomerImport, AFailedAddTakesBackTheWholeImport) {
    storage::InjectFault(storage::EngineOp::AddRecord, 2, storage::err::ShortWrite);
    auto r = run("Ann,1\nBob,2\nCid,3\n");
    EXPECT_EQ(r.added, 0);
    EXPECT_TRUE(r.takenBack);
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(r.firstFailedLine, 2);
    EXPECT_EQ(r.firstFailedName, "Bob");
    const platform::Message m = CustomerImportDoneMessage(r);
    EXPECT_EQ(m.text,
              "Import failed at line 2 (Bob): the record could not be stored (error 10075). "
              "Nothing was imported; the customers on file are as they were.");
    EXPECT_EQ(m.icon, platform::Icon::Warning);
    EXPECT_TRUE(names().empty());
    // Nothing left marked for a rebuild either.
    storage::FileblockInfo info;
    std::string error;
    ASSERT_TRUE(storage::ReadFileblockInfo(name(data::FileKind::Customer), info, error));
    EXPECT_FALSE(info.updateInProgress);
    auto again = run("Ann,1\nBob,2\nCid,3\n");
    EXPECT_EQ(again.added, 3);
    EXPECT_EQ(names(), (std::vector<std::string>{"Ann", "Bob", "Cid"}));
}

TEST_F(CustomerImport, AllStoredSaysComplete) {
    auto r = run("Ann,1\n");
    EXPECT_EQ(CustomerImportDoneMessage(r).text,
              "Import Complete. Now we need to rebuild the data files.");
}

TEST_F(CustomerImport, AStoppedImportLeavesNothingBehind) {
    progress.stopAfter = 2;
    auto r = run("A,1\nB,2\nC,3\nD,4\n");
    EXPECT_TRUE(r.stopped);
    EXPECT_TRUE(r.takenBack);
    EXPECT_EQ(r.added, 0);
    EXPECT_EQ(CustomerImportDoneMessage(r).text,
              "Import stopped at line 3. Nothing was imported; the customers on file are as "
              "they were.");
    EXPECT_TRUE(names().empty());
}

TEST_F(CustomerImport, PreviewShowsTheFirstRow) {
    auto rows = rowsOf("\"Acme Corp\",,B1,B2,B3,B4,S1,S2,S3,S4,P1,P2,T,SN,MS,e@x\n");
    platform::Message m = CustomerPreviewMessage(rows[0], false);
    EXPECT_EQ(m.title, "Import Customers");
    EXPECT_EQ(m.buttons, platform::Buttons::OkCancel);
    EXPECT_EQ(m.text.rfind("Please verify! This is record 1 from your import file:", 0), 0u);
    EXPECT_NE(m.text.find("Customer Name: Acme Corp\nNumber: Will be assigned.\n"),
              std::string::npos);
    EXPECT_NE(m.text.find("Shipping Address:\n    S1\n"), std::string::npos);
    EXPECT_NE(m.text.find("E-Mail: e@x\n\nIs this information correct?"), std::string::npos);
    m = CustomerPreviewMessage(rows[0], true);
    EXPECT_NE(m.text.find("Shipping Address:\n    B1\n"), std::string::npos);
}

TEST_F(CustomerImport, TenThousandRowsAndTheirRebuild) {
    std::string file;
    for (int i = 1; i <= 10000; ++i)
        file += "\"Customer " + std::to_string(i) + "\",," + "\"" + std::to_string(i) +
                " Main St\",Town\r\n";
    // A repeat of the first name at the end.
    file += "\"Customer 1\",,Again\r\n";
    auto r = run(file);
    EXPECT_EQ(r.added, 10001);
    EXPECT_EQ(r.renamed, 1);
    EXPECT_EQ(progress.current[2], "Customers added: 10001");
    rebuild();
    EXPECT_EQ(storage::KeyCount(customers, 1), 10001);
    EXPECT_EQ(storage::KeyCount(customers, 2), 10001);
    EXPECT_EQ(storedCompany().text(data::Company::NextCustNo), "10043");
}

// ------------------------------------------------------------------------------- export

class CustomerExport : public CustomerImport {
  protected:
    std::vector<std::string> exportLines(const CustomerExportChoice& choice) {
        platform::SilentProgress silent;
        return CustomerExportLines(customers, choice, silent);
    }
};

TEST_F(CustomerExport, CsvQuotesOnlyWhereNeededInNameOrder) {
    addCustomer("2", "Smith, Jones & Co");
    addCustomer("1", "Smith");
    CustomerExportChoice choice;
    choice.billing = false;
    choice.eMail = false;
    EXPECT_EQ(exportLines(choice),
              (std::vector<std::string>{"Smith,1", "\"Smith, Jones & Co\",2"}));
}

TEST_F(CustomerExport, CommaQuoteWithTheNameOnly) {
    addCustomer("1", "Smith");
    addCustomer("2", "Jones \"JJ\"");
    CustomerExportChoice choice =
        ChoiceFromTicks(std::vector<bool>(12, false), DelimitedFormat{DelimitedKind::CommaQuote});
    EXPECT_EQ(exportLines(choice), (std::vector<std::string>{"\"Jones \"\"JJ\"\"\"", "\"Smith\""}));
}

TEST_F(CustomerExport, EveryFieldInItsOrderTrimmed) {
    int32_t rec = addCustomer("9", "Zed");
    CustomerRecord c = read(rec);
    CustomerRecord changed = c;
    changed.setText(Customer::ShipAddr4, "  ship4  ");
    changed.setText(Customer::Notes, "note");
    changed.setText(Customer::LastPayDate, "01/02/2025");
    changed.setText(Customer::Balance, "12.50");
    ASSERT_TRUE(data::ChangeBusinessRecord(customers, rec, c, changed, prompter).ok());
    CustomerExportChoice all = ChoiceFromTicks(std::vector<bool>(12, true),
                                               DelimitedFormat{DelimitedKind::Character, '|'});
    EXPECT_EQ(exportLines(all),
              (std::vector<std::string>{"Zed|9" + std::string(8, '|') + "ship4" +
                                        std::string(7, '|') + "12.50|01/02/2025|note"}));
}

TEST_F(CustomerExport, ShortLinesLeftOutExceptInCsv) {
    addCustomer("1", "X");
    CustomerExportChoice choice = ChoiceFromTicks({}, DelimitedFormat{DelimitedKind::CommaOnly});
    EXPECT_TRUE(exportLines(choice).empty());
    choice.format.kind = DelimitedKind::CsvFile;
    EXPECT_EQ(exportLines(choice).size(), 1u);
}

// A customer named like a formula would run as one in a spreadsheet: it goes out with an
// apostrophe inside its quotes and comes back in without it.
TEST_F(CustomerExport, FormulaLikeValuesGoOutAsTextAndComeBackAsTheyWere) {
    const std::vector<std::string> names = {"=HYPERLINK(\"http://x.ex\",\"Pay\")",
                                            "+Plus Ltd",
                                            "-Minus",
                                            "@Sign",
                                            "'=Quoted",
                                            "-12.50",
                                            "Plain"};
    int no = 1;
    for (const std::string& n : names)
        addCustomer(std::to_string(no++), n);
    CustomerExportChoice choice = ChoiceFromTicks({}, DelimitedFormat{DelimitedKind::CsvFile});
    const std::vector<std::string> lines = exportLines(choice);
    ASSERT_EQ(lines.size(), names.size());
    EXPECT_EQ(lines,
              (std::vector<std::string>{"\"''=Quoted\"", "\"'+Plus Ltd\"", "-12.50", "\"'-Minus\"",
                                        "\"'=HYPERLINK(\"\"http://x.ex\"\",\"\"Pay\"\")\"",
                                        "\"'@Sign\"", "Plain"}));
    // Back in, each name is as it was.
    const data::DelimitedText text = data::ImportedText(data::SplitDelimitedBytes(
        data::DelimitedFileBytes(lines, data::TextEncoding::Windows1252)));
    ASSERT_TRUE(text.ok());
    std::vector<std::string> back;
    for (const CustomerImportRow& row : CustomerImportRows(text))
        back.push_back(row.cells[0]);
    EXPECT_EQ(back,
              (std::vector<std::string>{"'=Quoted", "+Plus Ltd", "-12.50", "-Minus",
                                        "=HYPERLINK(\"http://x.ex\",\"Pay\")", "@Sign", "Plain"}));
}

// Customers written in each kind and encoding and imported into an empty company come
// back with every imported field as it was.
TEST_F(CustomerExport, RoundTripInEveryKind) {
    struct Row {
        std::string no, name, bill1, notes;
    };
    const std::vector<Row> source = {
        {"1", "Smith, Jones & Co", "12 Main St, Suite 4", "first line\r\nsecond line"},
        {"2", "O'Brien \"Bob\" Café", "3/4\" pipe yard", "a,b \"c\""},
        {"3", "Zoë Müller", "Straße 5", ""},
    };
    for (const Row& r : source) {
        int32_t rec = addCustomer(r.no, r.name);
        CustomerRecord c = read(rec), changed = c;
        changed.setText(Customer::BillAddr1, r.bill1);
        changed.setText(Customer::Notes, r.notes);
        changed.setText(Customer::Phone2, "(555) 010-2000");
        changed.setText(Customer::ShortName, "S" + r.no);
        ASSERT_TRUE(data::ChangeBusinessRecord(customers, rec, c, changed, prompter).ok());
    }
    const std::vector<DelimitedFormat> formats = {{DelimitedKind::CsvFile},
                                                  {DelimitedKind::CommaQuote},
                                                  {DelimitedKind::CommaOnly},
                                                  {DelimitedKind::Character, ';'}};
    int target = 2;
    for (const DelimitedFormat& f : formats) {
        for (auto enc : {data::TextEncoding::Windows1252, data::TextEncoding::Utf8}) {
            CustomerExportChoice all = ChoiceFromTicks(std::vector<bool>(12, true), f);
            all.encoding = enc;
            const std::string file = dir.file("CustList" + std::to_string(target) + ".CSV");
            ASSERT_TRUE(data::WriteDelimitedFile(file, exportLines(all), enc));

            // An empty customer file of another company takes them.
            const std::string other =
                data::FileblockName(dir.path(), data::FileKind::Customer, std::to_string(target++));
            ASSERT_TRUE(
                data::CreateBusinessFileblock(other, data::KindOf(data::FileKind::Customer)));
            storage::Fileblock* fb = storage::OpenFileblock(other, false);
            data::DelimitedText text = data::ReadDelimitedFile(file, f.joiner());
            ASSERT_TRUE(text.ok()) << text.error;
            CustomerFiles into{dir.path(), company, fb};
            auto result =
                ImportCustomers(into, CustomerImportRows(text), false, progress, prompter);
            EXPECT_EQ(result.added, 3);
            EXPECT_EQ(result.renamed + result.renumbered + result.failed, 0);
            for (int32_t rec = 1; rec <= 3; ++rec) {
                auto back = data::ReadBusinessRecord<Customer>(fb, rec);
                ASSERT_TRUE(back);
                auto orig = data::FindAtOrAfter<Customer>(customers, 1, *back);
                ASSERT_TRUE(orig);
                for (auto field : {Customer::CustNo, Customer::Name, Customer::BillAddr1,
                                   Customer::Phone2, Customer::ShortName, Customer::EMail})
                    EXPECT_EQ(back->text(field), orig->record.text(field))
                        << "kind " << int(f.kind) << " " << orig->record.text(Customer::Name);
            }
            storage::CloseFileblock(fb);
        }
    }
}

}  // namespace
}  // namespace invarro::customers
