// The company manager's logic against real files: opening the company file, the list rows,
// deleting a company with its files, the company list, the copy of customers and products
// to another company (checked with the fileblock verifier), the company taken over by the
// main window, and the demo's second company.

#include <filesystem>

#include "CompanyFixture.h"
#include "app/CompanyManager.h"
#include "app/DemoCompanies.h"
#include "data/EInvoiceData.h"
#include "data/Keys.h"
#include "data/OperationError.h"
#include "data/Posting.h"
#include "data/SideFiles.h"
#include "storage/BTree.h"
#include "storage/EngineTesting.h"
#include "support/RecordingProgress.h"

namespace invarro::app {
namespace {

namespace fs = std::filesystem;
using data::Company;
using data::FileKind;
using platform::Answer;
using testing::RecordingProgress;

const char* kConfirmDelete =
    "If you delete this company, all invoices and payments will also be removed. ALL company "
    "data will be deleted! Data for other companies will NOT be removed. Continue?";
const char* kCopyComplete =
    "The required files have been copied to specified company. To use it, open that company or "
    "create a new company using the company number you entered.";
const char* kProductsExist =
    "Warning! Products exist in the destination company. If you continue, those products will "
    "be overwritten with these products. Continue?";
const char* kBalancesNote =
    "The customer balances were also transferred to the new company. After you enter your first "
    "invoice in the new company, run the Aging Chart on the Tools Menu to re-calculate customer "
    "balances.";

class CompanyManagerTest : public CompanyFilesTest {
  protected:
    // Companies 1 "Harbor Supply" and 2 "Alpine Tools", closed again.
    void twoCompanies() {
        storage::Fileblock* fb = open(FileKind::Company, "");
        add(fb, MakeCompany("1", "Harbor Supply", "1234.50"));
        add(fb, MakeCompany("2", "Alpine Tools", "-20.00"));
        storage::CloseFileblock(fb);
    }
    data::ProductRecord product(const std::string& code, const std::string& description) {
        data::ProductRecord p = data::NewRecord<data::Product>();
        p.setText(data::Product::ProdCode, code);
        p.setText(data::Product::Description, description);
        return p;
    }
    data::CustomerRecord customer(const std::string& number, const std::string& name) {
        data::CustomerRecord c = data::NewRecord<data::Customer>();
        c.setText(data::Customer::CustNo, number);
        c.setText(data::Customer::Name, name);
        (void)c.setMoney(data::Customer::Balance, data::Money::FromCents(12500));
        return c;
    }
    // Fills a fileblock of company prefix with n products and closes it.
    void products(const std::string& prefix, int n, const std::string& stem) {
        storage::Fileblock* fb = open(FileKind::Product, prefix);
        for (int i = 1; i <= n; ++i)
            add(fb, product(stem + std::to_string(i), stem + " product " + std::to_string(i)));
        storage::CloseFileblock(fb);
    }
    std::vector<std::string> liveCodes(const std::string& prefix) {
        std::vector<std::string> codes;
        std::string error;
        storage::ForEachLiveRecord(
            name(FileKind::Product, prefix),
            [&](int32_t, const std::string& r) {
                codes.push_back(
                    data::ProductRecord::FromBytes(r.data()).text(data::Product::ProdCode));
            },
            error);
        return codes;
    }
    RecordingProgress progress;
};

// ------------------------------------------------------------------- opening and rows

TEST_F(CompanyManagerTest, MissingCompanyFileIsCreatedAfterTheMessage) {
    prompter.expect("I am going to create a new, empty company file.");
    storage::Fileblock* fb = OpenCompanyFile(folder(), prompter, progress);
    ASSERT_NE(fb, nullptr);
    EXPECT_EQ(prompter.last().title, "New Company");
    EXPECT_EQ(storage::RecordLength(fb), 2736);
    EXPECT_EQ(storage::KeyCountOf(fb), 2);
    storage::CloseFileblock(fb);
    expectSound(name(FileKind::Company, ""));
}

TEST_F(CompanyManagerTest, DefectiveIndexIsRebuiltOnRequestOrTheManagerGivesUp) {
    twoCompanies();
    fs::remove(storage::IndexFileName(name(FileKind::Company, "")));
    prompter.expect("Index file is defective.  Rebuild?", Answer::Yes);
    storage::Fileblock* fb = OpenCompanyFile(folder(), prompter, progress);
    ASSERT_NE(fb, nullptr);
    ASSERT_FALSE(progress.titles.empty());
    EXPECT_EQ(progress.titles.front(), "Companies");
    EXPECT_EQ(progress.shown.front(), "Working...");
    EXPECT_EQ(storage::UsedRecordCount(fb), 2);
    EXPECT_TRUE(FindCompanyByNumber(fb, "2").has_value());
    storage::CloseFileblock(fb);
    expectSound(name(FileKind::Company, ""));

    fs::remove(storage::IndexFileName(name(FileKind::Company, "")));
    prompter.expect("Index file is defective.  Rebuild?", Answer::No)
        .expect("Unable to open company database");
    EXPECT_EQ(OpenCompanyFile(folder(), prompter, progress), nullptr);
}

TEST_F(CompanyManagerTest, HeaderAndRowsInTheirColumns) {
    const std::string header = CompanyListHeader();
    ASSERT_EQ(header.size(), 128u);
    EXPECT_EQ(header.substr(0, 55),
              "Company Name" + std::string(23, ' ') + " Number " + "     Balance");
    EXPECT_EQ(header.find_last_not_of(' '), 54u);

    data::CompanyRecord c = MakeCompany("12", "Zoë's Café", "9999999.99");
    std::string row = CompanyRowText(c);
    EXPECT_EQ(data::CharCount(row), 128u);
    EXPECT_EQ(data::FirstChars(row, 55),
              "Zoë's Café" + std::string(25, ' ') + " 12     " + "9,999,999.99");
    c.setText(Company::ARBalance, "-20.5");
    row = CompanyRowText(c);
    EXPECT_EQ(data::FirstChars(row, 55).substr(data::FirstChars(row, 55).size() - 12),
              "      -20.50");
    EXPECT_EQ(CompanyCountText(3), "Companies: 3");
}

TEST_F(CompanyManagerTest, FindByNumberIsExact) {
    twoCompanies();
    storage::Fileblock* fb = open(FileKind::Company, "");
    add(fb, MakeCompany("20", "Twenty"));
    EXPECT_EQ(FindCompanyByNumber(fb, " 2 ")->record.text(Company::Name), "Alpine Tools");
    EXPECT_FALSE(FindCompanyByNumber(fb, "3").has_value());
    EXPECT_FALSE(FindCompanyByNumber(fb, "99").has_value());
    storage::CloseFileblock(fb);
    EXPECT_TRUE(SameCompanyNumber("007", " 7"));
    EXPECT_FALSE(SameCompanyNumber("17", "7"));
}

TEST_F(CompanyManagerTest, AddAndChangeRaiseTheirTexts) {
    storage::Fileblock* fb = open(FileKind::Company, "");
    const int32_t rec = AddCompany(fb, MakeCompany("1", "Harbor Supply"), prompter);
    // The same number again fails at key 1.
    try {
        AddCompany(fb, MakeCompany("1", "Another"), prompter);
        ADD_FAILURE() << "no error";
    } catch (const data::OperationError& e) {
        EXPECT_STREQ(e.what(), "Add operation failed");
    }
    EXPECT_EQ(storage::UsedRecordCount(fb), 1);

    data::CompanyRecord asRead = *data::ReadBusinessRecord<Company>(fb, rec);
    data::CompanyRecord edited = asRead;
    edited.setText(Company::Name, "Harbor Supply Co.");
    EXPECT_TRUE(ChangeCompany(fb, rec, asRead, edited, prompter));
    // Edited elsewhere in the meantime: told, nothing written, no error raised.
    data::CompanyRecord stale = asRead;
    stale.setText(Company::Name, "Stale");
    prompter.expect("The record has changed in the meantime.");
    EXPECT_FALSE(ChangeCompany(fb, rec, asRead, stale, prompter));
    EXPECT_EQ(data::ReadBusinessRecord<Company>(fb, rec)->text(Company::Name), "Harbor Supply Co.");

    storage::InjectFault(storage::EngineOp::PutRecord, 1, storage::err::ShortWrite);
    data::CompanyRecord current = *data::ReadBusinessRecord<Company>(fb, rec);
    data::CompanyRecord again = current;
    again.setText(Company::Name, "Renamed");
    EXPECT_THROW(
        {
            try {
                ChangeCompany(fb, rec, current, again, prompter);
            } catch (const data::OperationError& e) {
                EXPECT_STREQ(e.what(), "Modify Company failed");
                throw;
            }
        },
        data::OperationError);
    storage::ClearFaults();
    storage::CloseFileblock(fb);
    expectSound(name(FileKind::Company, ""));
}

// ------------------------------------------------------------------- delete

class DeleteCompanyTest : public CompanyManagerTest {
  protected:
    void SetUp() override {
        CompanyManagerTest::SetUp();
        twoCompanies();
        for (const char* prefix : {"1", "2", "12", "20"})
            for (const std::string& f : CompanyFileNames(folder(), prefix))
                testing::WriteFileBytes(f, "x");
        fb = open(FileKind::Company, "");
        target = *FindCompanyByNumber(fb, "2");
    }
    void TearDown() override {
        if (fb) storage::CloseFileblock(fb);
        CompanyManagerTest::TearDown();
    }
    DeleteOutcome remove(
        const CompanyAt& c, std::string_view inUse = "1",
        std::function<bool()> password = [] { return true; }) {
        return DeleteCompany(folder(), fb, c.recNo, c.record, inUse, password, prompter);
    }
    bool allFiles(const std::string& prefix) {
        for (const std::string& f : CompanyFileNames(folder(), prefix))
            if (!fs::exists(f)) return false;
        return true;
    }
    storage::Fileblock* fb = nullptr;
    CompanyAt target;
};

TEST_F(DeleteCompanyTest, CompanyInUseIsRefusedBeforeAnyConfirmation) {
    prompter.expect(
        "You are trying to delete the current default company. You need to have another "
        "company open to delete this one.");
    EXPECT_EQ(remove(target, " 02"), DeleteOutcome::InUse);
    EXPECT_EQ(prompter.last().title, "Delete Company");
    EXPECT_EQ(storage::UsedRecordCount(fb), 2);
    EXPECT_TRUE(allFiles("2"));
}

TEST_F(DeleteCompanyTest, PasswordCheckComesFirst) {
    int checks = 0;
    EXPECT_EQ(remove(target, "2", [&] { return ++checks, false; }), DeleteOutcome::PasswordRefused);
    EXPECT_EQ(checks, 1);
    EXPECT_EQ(storage::UsedRecordCount(fb), 2);
}

TEST_F(DeleteCompanyTest, NoToTheConfirmationKeepsEverything) {
    prompter.expect(kConfirmDelete, Answer::No);
    EXPECT_EQ(remove(target), DeleteOutcome::Declined);
    EXPECT_EQ(prompter.last().title, "Please Confirm");
    EXPECT_EQ(storage::UsedRecordCount(fb), 2);
    EXPECT_TRUE(allFiles("2"));
}

TEST_F(DeleteCompanyTest, DeletionRemovesTheRecordAndTheFourteenFilesOnly) {
    prompter.expect(kConfirmDelete, Answer::Yes);
    EXPECT_EQ(remove(target), DeleteOutcome::Deleted);
    EXPECT_EQ(storage::UsedRecordCount(fb), 1);
    EXPECT_FALSE(FindCompanyByNumber(fb, "2").has_value());
    for (const std::string& f : CompanyFileNames(folder(), "2"))
        EXPECT_FALSE(fs::exists(f)) << f;
    EXPECT_EQ(CompanyFileNames(folder(), "2").size(), 14u);
    EXPECT_TRUE(allFiles("1"));
    EXPECT_TRUE(allFiles("12"));
    EXPECT_TRUE(allFiles("20"));
    storage::CloseFileblock(fb);
    expectSound(name(FileKind::Company, ""));
}

TEST_F(DeleteCompanyTest, TheDeletedRecordKeepsNoMailPasswordInTheFile) {
    // A deleted slot keeps its bytes until it is used again, and goes into every backup.
    data::CompanyRecord withPassword = target.record;
    withPassword.setText(data::Company::EMailPassword, "Old-Secret-42");
    ASSERT_TRUE(
        data::ChangeBusinessRecord(fb, target.recNo, target.record, withPassword, prompter).ok());
    target.record = withPassword;
    prompter.expect(kConfirmDelete, Answer::Yes);
    EXPECT_EQ(remove(target), DeleteOutcome::Deleted);
    storage::CloseFileblock(fb);
    fb = nullptr;
    EXPECT_EQ(testing::ReadFileBytes(name(FileKind::Company, "")).find("Old-Secret-42"),
              std::string::npos);
    expectSound(name(FileKind::Company, ""));
}

TEST_F(DeleteCompanyTest, MissingFilesAreIgnored) {
    for (const std::string& f : CompanyFileNames(folder(), "2"))
        if (f.find("I.") != std::string::npos || f.find("M.") != std::string::npos) fs::remove(f);
    prompter.expect(kConfirmDelete, Answer::Yes);
    EXPECT_EQ(remove(target), DeleteOutcome::Deleted);
    for (const std::string& f : CompanyFileNames(folder(), "2"))
        EXPECT_FALSE(fs::exists(f)) << f;
}

TEST_F(DeleteCompanyTest, FailedRecordDeleteRaisesAndKeepsTheFiles) {
    prompter.expect(kConfirmDelete, Answer::Yes);
    storage::InjectFault(storage::EngineOp::DeleteRecord, 1, storage::err::ShortWrite);
    try {
        remove(target);
        ADD_FAILURE() << "no error";
    } catch (const data::OperationError& e) {
        EXPECT_STREQ(e.what(), "Delete operation failed");
    }
    storage::ClearFaults();
    EXPECT_TRUE(allFiles("2"));
}

// ------------------------------------------------------------------- company list

TEST_F(CompanyManagerTest, CompanyListInEitherOrder) {
    twoCompanies();
    storage::Fileblock* fb = open(FileKind::Company, "");
    add(fb, MakeCompany("", "No Number Yet"));
    const platform::LocalDateTime now{2026, 3, 3, 14, 5, 0};
    const std::string rule(80, '-');
    const std::string harbor =
        "Harbor Supply                          Number: 1        A/R: 1,234.50    ";
    const std::string alpine =
        "Alpine Tools                           Number: 2        A/R: -20.00      ";

    std::vector<std::string> byName = CompanyListLines(fb, kCompanyByName, now, progress);
    EXPECT_EQ(byName, (std::vector<std::string>{"Invarro Company List",
                                                "Date: Tuesday, March 3, 2026, 02:05 PM", rule,
                                                alpine, rule, harbor, rule}));
    EXPECT_EQ(progress.titles.back(), "Company List");
    EXPECT_EQ(progress.shown.back(), "Preparing list...");
    std::vector<std::string> byNumber = CompanyListLines(fb, kCompanyByNumber, now, progress);
    EXPECT_EQ(byNumber[3], harbor);
    EXPECT_EQ(byNumber[5], alpine);
    EXPECT_EQ(byNumber.size(), 7u);
    storage::CloseFileblock(fb);

    const std::string question =
        "The companies will be sorted by name. Would you rather sort by company number?";
    prompter.expect(question, Answer::Yes)
        .expect(question, Answer::No)
        .expect(question, Answer::Cancel);
    EXPECT_EQ(AskCompanyListOrder(prompter)->title, "Company List by Number");
    auto name = AskCompanyListOrder(prompter);
    EXPECT_EQ(name->keyNo, kCompanyByName);
    EXPECT_EQ(name->title, "Company List by Name");
    EXPECT_FALSE(AskCompanyListOrder(prompter).has_value());
    EXPECT_EQ(prompter.last().buttons, platform::Buttons::YesNoCancel);
}

// ------------------------------------------------------------------- copy

TEST_F(CompanyManagerTest, CopyDestinationChecks) {
    const char* numeric = "That is not a valid company number. It must be numeric only.";
    const char* range = "The Company number must be between 0 and 32001.";
    const char* same =
        "You are trying to copy the product file to the current default company. Enter a "
        "different company number to copy the products to.";
    prompter.expect(numeric).expect(numeric).expect(range).expect(range).expect(range).expect(same);
    EXPECT_FALSE(CheckCopyDestination("abc", "1", prompter));
    EXPECT_FALSE(CheckCopyDestination("", "1", prompter));
    EXPECT_FALSE(CheckCopyDestination("0", "1", prompter));
    EXPECT_EQ(prompter.last().title, "Invalid Company Number");
    EXPECT_FALSE(CheckCopyDestination("32001", "1", prompter));
    EXPECT_FALSE(CheckCopyDestination("-3", "1", prompter));
    EXPECT_FALSE(CheckCopyDestination("01", "1", prompter));
    EXPECT_EQ(prompter.last().title, "Default Company");
    EXPECT_EQ(CheckCopyDestination("32000", "1", prompter), "32000");
    // "05" is company 5, whose files are 5P.DAT and 5P.IX.
    EXPECT_EQ(CheckCopyDestination(" 05 ", "1", prompter), "5");

    EXPECT_EQ(CopyDialogTitle(CopyMode::Customers), "Copy Customers to Another Company");
    EXPECT_EQ(CopyDialogTitle(CopyMode::Products), "Copy Products to Another Company");
    EXPECT_EQ(CopyDialogText(CopyMode::Products, " 3 "),
              "This option will copy the current products for this company (number 3) to the "
              "company number you enter below.");
    EXPECT_EQ(CopyDialogText(CopyMode::Customers, "3"),
              "This option will copy the current customers for this company (number 3) to the "
              "company number you enter below.");
}

TEST_F(CompanyManagerTest, ProductsCopiedOverAnEmptyDestination) {
    products("1", 40, "A");
    prompter.expect(kCopyComplete);
    EXPECT_EQ(CopyToCompany(folder(), CopyMode::Products, "1", "5", prompter), CopyOutcome::Copied);
    EXPECT_EQ(prompter.last().title, "Copy Complete");
    expectSound(name(FileKind::Product, "5"));
    EXPECT_EQ(liveCodes("5"), liveCodes("1"));
    // The copy is a working fileblock: its index finds the records.
    storage::Fileblock* fb = open(FileKind::Product, "5");
    EXPECT_EQ(storage::KeyCount(fb, 1), 40);
    data::ProductRecord probe;
    probe.setText(data::Product::ProdCode, "A17");
    EXPECT_EQ(
        data::FindAtOrAfter<data::Product>(fb, 1, probe)->record.text(data::Product::Description),
        "A product 17");
    storage::CloseFileblock(fb);
}

TEST_F(CompanyManagerTest, TheUnitCodesOfCopiedProductsGoAlongAndCustomersDataStays) {
    products("1", 2, "A");
    storage::Fileblock* source = open(FileKind::EInvoice, "1");
    ASSERT_TRUE(
        data::StoreEInvoiceRecord(source, data::ProductUnitRecord("A1", "HUR"), false, prompter));
    ASSERT_TRUE(data::StoreEInvoiceRecord(
        source, data::CustomerEInvoiceRecord("7", {"FR", "", "", ""}), false, prompter));
    storage::CloseFileblock(source);
    // The destination has a unit code of its own and a customer's data.
    storage::Fileblock* target = open(FileKind::EInvoice, "5");
    ASSERT_TRUE(
        data::StoreEInvoiceRecord(target, data::ProductUnitRecord("B9", "KGM"), false, prompter));
    ASSERT_TRUE(data::StoreEInvoiceRecord(
        target, data::CustomerEInvoiceRecord("8", {"AT", "", "", ""}), false, prompter));
    storage::CloseFileblock(target);

    prompter.expect(kCopyComplete);
    EXPECT_EQ(CopyToCompany(folder(), CopyMode::Products, "1", "5", prompter), CopyOutcome::Copied);
    target = open(FileKind::EInvoice, "5");
    EXPECT_EQ(data::FindEInvoiceRecord(target, 'P', "A1")->second.text(data::EInvoice::UnitCode),
              "HUR");
    EXPECT_FALSE(data::FindEInvoiceRecord(target, 'P', "B9"));
    EXPECT_FALSE(data::FindEInvoiceRecord(target, 'C', "7"));
    EXPECT_EQ(data::CustomerEInvoiceOf(data::FindEInvoiceRecord(target, 'C', "8")->second).country,
              "AT");
    storage::CloseFileblock(target);
    expectSound(name(FileKind::EInvoice, "5"));
}

// The copy of the e-invoicing records meets a lock (another program holding the
// destination's file): it runs again whole without asking, each record copied once and the
// destination's own taken away once.
TEST_F(CompanyManagerTest, UnitCodesWhoseCopyMeetsALockAreCopiedOnceWithoutAQuestion) {
    products("1", 2, "A");
    storage::Fileblock* source = open(FileKind::EInvoice, "1");
    for (const char* code : {"A1", "A2"})
        ASSERT_TRUE(data::StoreEInvoiceRecord(source, data::ProductUnitRecord(code, "HUR"), false,
                                              prompter));
    storage::CloseFileblock(source);
    storage::Fileblock* target = open(FileKind::EInvoice, "5");
    ASSERT_TRUE(
        data::StoreEInvoiceRecord(target, data::ProductUnitRecord("B9", "KGM"), false, prompter));
    storage::CloseFileblock(target);

    // The second record added meets the lock, after B9 was taken away and A1 added.
    storage::InjectFault(storage::EngineOp::AddRecord, 2, 10306);
    const int64_t reruns = data::PostingReruns();
    prompter.expect(kCopyComplete);
    EXPECT_EQ(CopyToCompany(folder(), CopyMode::Products, "1", "5", prompter), CopyOutcome::Copied);
    storage::ClearFaults();
    EXPECT_EQ(data::PostingReruns() - reruns, 1);
    target = open(FileKind::EInvoice, "5");
    EXPECT_EQ(storage::UsedRecordCount(target), 2);
    EXPECT_TRUE(data::FindEInvoiceRecord(target, 'P', "A1"));
    EXPECT_TRUE(data::FindEInvoiceRecord(target, 'P', "A2"));
    EXPECT_FALSE(data::FindEInvoiceRecord(target, 'P', "B9"));
    storage::CloseFileblock(target);
    expectSound(name(FileKind::EInvoice, "5"));
}

TEST_F(CompanyManagerTest, ProductsInTheDestinationAreOverwrittenOnlyAfterYes) {
    products("1", 3, "A");
    products("5", 2, "B");
    prompter.expect(kProductsExist, Answer::No);
    EXPECT_EQ(CopyToCompany(folder(), CopyMode::Products, "1", "5", prompter),
              CopyOutcome::Declined);
    EXPECT_EQ(prompter.last().title, "Products Exist");
    EXPECT_EQ(liveCodes("5"), (std::vector<std::string>{"B1", "B2"}));

    prompter.expect(kProductsExist, Answer::Yes).expect(kCopyComplete);
    EXPECT_EQ(CopyToCompany(folder(), CopyMode::Products, "1", "5", prompter), CopyOutcome::Copied);
    EXPECT_EQ(liveCodes("5"), (std::vector<std::string>{"A1", "A2", "A3"}));
    expectSound(name(FileKind::Product, "5"));
    // No temporary copies are left behind.
    for (const auto& entry : fs::directory_iterator(folder()))
        EXPECT_EQ(entry.path().string().find(".copy-"), std::string::npos) << entry.path();
}

TEST_F(CompanyManagerTest, EmptyDestinationProductFileNeedsNoQuestion) {
    products("1", 2, "A");
    storage::Fileblock* fb = open(FileKind::Product, "5");
    storage::CloseFileblock(fb);
    prompter.expect(kCopyComplete);
    EXPECT_EQ(CopyToCompany(folder(), CopyMode::Products, "1", "5", prompter), CopyOutcome::Copied);
}

TEST_F(CompanyManagerTest, FailedCopyLeavesTheDestinationAsItWas) {
    // The company in use has never had a product file.
    products("5", 2, "B");
    const std::string dat = storage::DataFileName(name(FileKind::Product, "5"));
    const std::string before = testing::ReadFileBytes(dat);
    const std::string source = name(FileKind::Product, "1");
    prompter.expect(kProductsExist, Answer::Yes)
        .expect("Unable to copy products.\n" + storage::DataFileName(source) +
                ": the file does not exist")
        .expect("Unable to copy products.\n" + storage::IndexFileName(source) +
                ": the file does not exist");
    EXPECT_EQ(CopyToCompany(folder(), CopyMode::Products, "1", "5", prompter), CopyOutcome::Failed);
    EXPECT_EQ(testing::ReadFileBytes(dat), before);
    expectSound(name(FileKind::Product, "5"));
}

TEST_F(CompanyManagerTest, CustomersRefusedWhenTheDestinationHasInvoices) {
    storage::Fileblock* c1 = open(FileKind::Customer, "1");
    add(c1, customer("100", "Acme Corp"));
    storage::CloseFileblock(c1);
    storage::Fileblock* c5 = open(FileKind::Customer, "5");
    add(c5, customer("7", "Keep Me"));
    storage::CloseFileblock(c5);
    storage::Fileblock* inv = open(FileKind::Invoice, "5");
    data::InvoiceRecord invoice = data::NewRecord<data::Invoice>();
    invoice.setText(data::Invoice::InvNo, "1001");
    invoice.setText(data::Invoice::CustNo, "7");
    add(inv, invoice);
    storage::CloseFileblock(inv);

    prompter.expect(
        "The destination company has invoices on file. Overwritting those customers is not "
        "supported. Use the EXPORT and IMPORT features in the Customer Manager to export these "
        "customers, then open the destination company and import them.");
    EXPECT_EQ(CopyToCompany(folder(), CopyMode::Customers, "1", "5", prompter),
              CopyOutcome::Refused);
    EXPECT_EQ(prompter.last().title, "Invoices and Customers Exist");
    std::string error;
    int kept = 0;
    storage::ForEachLiveRecord(
        name(FileKind::Customer, "5"), [&](int32_t, const std::string&) { ++kept; }, error);
    EXPECT_EQ(kept, 1);
}

TEST_F(CompanyManagerTest, CustomersCopiedWithTheBalanceNote) {
    storage::Fileblock* c1 = open(FileKind::Customer, "1");
    for (int i = 1; i <= 25; ++i)
        add(c1, customer(std::to_string(100 + i), "Customer " + std::to_string(i)));
    storage::CloseFileblock(c1);
    // An invoice file without invoices does not stop the copy.
    storage::Fileblock* inv = open(FileKind::Invoice, "5");
    storage::CloseFileblock(inv);

    prompter.expect(kBalancesNote).expect(kCopyComplete);
    EXPECT_EQ(CopyToCompany(folder(), CopyMode::Customers, "1", "5", prompter),
              CopyOutcome::Copied);
    EXPECT_EQ(prompter.seen()[0].title, "Please Note Customer Balances!");
    expectSound(name(FileKind::Customer, "5"));
    EXPECT_EQ(testing::ReadFileBytes(storage::DataFileName(name(FileKind::Customer, "5"))),
              testing::ReadFileBytes(storage::DataFileName(name(FileKind::Customer, "1"))));
    EXPECT_EQ(testing::ReadFileBytes(storage::IndexFileName(name(FileKind::Customer, "5"))),
              testing::ReadFileBytes(storage::IndexFileName(name(FileKind::Customer, "1"))));
}

TEST_F(CompanyManagerTest, UnreadableInvoiceFileStopsTheCustomerCopy) {
    storage::Fileblock* c1 = open(FileKind::Customer, "1");
    add(c1, customer("1", "Acme"));
    storage::CloseFileblock(c1);
    testing::WriteFileBytes(storage::DataFileName(name(FileKind::Invoice, "5")), "not a file");
    storage::Fileblock* probe = storage::OpenFileblock(name(FileKind::Invoice, "5"), true);
    ASSERT_FALSE(storage::EngineOk);
    ASSERT_EQ(probe, nullptr);
    const int32_t error = storage::EngineError;
    prompter.expect("The invoice file of company 5 cannot be read (error " + std::to_string(error) +
                    "). Nothing was copied.");
    EXPECT_EQ(CopyToCompany(folder(), CopyMode::Customers, "1", "5", prompter),
              CopyOutcome::Refused);
    EXPECT_FALSE(fs::exists(storage::DataFileName(name(FileKind::Customer, "5"))));
}

// ------------------------------------------------------------------- result

TEST_F(CompanyManagerTest, CompanyTakenOverAfterTheManager) {
    twoCompanies();
    CompanyManagerResult none;
    EXPECT_FALSE(CompanyAfterManager(folder(), none, "1").has_value());

    CompanyManagerResult chosen;
    chosen.chosenNumber = "2";
    EXPECT_EQ(CompanyAfterManager(folder(), chosen, "1")->text(Company::Name), "Alpine Tools");

    // The company in use edited: read again. A company chosen afterwards still wins.
    CompanyManagerResult edited;
    edited.inUseEdited = true;
    EXPECT_EQ(CompanyAfterManager(folder(), edited, "1")->text(Company::Name), "Harbor Supply");
    edited.chosenNumber = "2";
    EXPECT_EQ(CompanyAfterManager(folder(), edited, "1")->text(Company::Name), "Alpine Tools");

    chosen.chosenNumber = "9";
    EXPECT_FALSE(CompanyAfterManager(folder(), chosen, "1").has_value());
}

// ------------------------------------------------------------------- demo

TEST_F(CompanyManagerTest, DemoSecondCompanyInheritsTheFormSettings) {
    storage::Fileblock* fb = open(FileKind::Company, "");
    data::CompanyRecord first = MakeCompany("1", "Harbor Supply");
    first.setText(Company::InvoiceCaption, "TAX INVOICE");
    first.setText(Company::MaxLines, "30");
    add(fb, first);
    add(fb, MakeCompany("3", "Third"));
    storage::CloseFileblock(fb);
    ASSERT_TRUE(data::WriteLastCompany(folder(), first));

    InstallResult r = AddDemoSecondCompany(folder(), prompter);
    ASSERT_TRUE(r.ok) << r.message;
    fb = open(FileKind::Company, "");
    auto second = FindCompanyByNumber(fb, "2");
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->record.text(Company::Name), "Cedar Ridge Landscaping");
    EXPECT_EQ(second->record.text(Company::InvoiceCaption), "TAX INVOICE");
    EXPECT_EQ(second->record.text(Company::MaxLines), "30");
    EXPECT_EQ(second->record.text(Company::ARBalance), "0.00");
    EXPECT_NE(second->record.text(Company::EMailAddress).find('@'), std::string::npos);
    storage::CloseFileblock(fb);
    expectSound(name(FileKind::Company, ""));
    // The company in use stays.
    EXPECT_EQ(data::ReadLastCompany(folder())->text(Company::Name), "Harbor Supply");

    // Run again: the next free number.
    ASSERT_TRUE(AddDemoSecondCompany(folder(), prompter).ok);
    fb = open(FileKind::Company, "");
    EXPECT_TRUE(FindCompanyByNumber(fb, "4").has_value());
    storage::CloseFileblock(fb);
}

}  // namespace
}  // namespace invarro::app
