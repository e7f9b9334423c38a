// The customer editor's checks and the add, change, renumbering and delete of customers.

#include <filesystem>

#include "CustomerFixture.h"
#include "data/EInvoiceData.h"
#include "data/Keys.h"
#include "data/Posting.h"
#include "storage/EngineTesting.h"

namespace invarro::customers {
namespace {

using data::Customer;
using data::Invoice;
using data::InvoiceLine;
using platform::Answer;

std::string TextOf(const std::optional<EntryProblem>& p) {
    return p ? p->message.text : std::string("ok");
}

const std::string kDupNumber =
    "That customer number already exists. You will need to use a different number.";
const std::string kDupName =
    "That customer name already exists. You should not enter the same customer name with a "
    "different customer number.";

TEST(ShortName, MadeFromTheNameOnlyWhenEmpty) {
    EXPECT_EQ(ShortNameFor("Smith"), "Smith");
    EXPECT_EQ(ShortNameFor("John Smith"), "JSmith");
    EXPECT_EQ(ShortNameFor("Christopherson"), "Christophe");
    EXPECT_EQ(ShortNameFor("Mary Anne Williamson"), "MAnne Will");
    EXPECT_EQ(ShortNameFor("  Ann Lee  "), "ALee");
    EXPECT_EQ(ShortNameFor("Émile Zola"), "ÉZola");
    EXPECT_EQ(ShortNameFor(""), "");

    CustomerEntry e;
    e.name = "John Smith";
    e.shortName = "Johnny";
    ApplyShortNameRule(e);
    EXPECT_EQ(e.shortName, "Johnny");
    e.shortName = "  ";
    ApplyShortNameRule(e);
    EXPECT_EQ(e.shortName, "JSmith");
}

TEST(NextNumber, WholeNumberPlusOneElseOne) {
    EXPECT_EQ(NextCustomerNumber("A100"), "1");
    EXPECT_EQ(NextCustomerNumber("100"), "101");
    EXPECT_EQ(NextCustomerNumber(" 0041 "), "42");
    EXPECT_EQ(NextCustomerNumber(""), "1");
    EXPECT_EQ(NextCustomerNumber("12.5"), "1");
    EXPECT_EQ(NextCustomerNumber("99999998"), "99999999");
    // The next number would not fit the 8-character field: the counter is left alone
    // rather than cut to a number that is already taken.
    EXPECT_EQ(NextCustomerNumber("99999999"), std::nullopt);
}

class EntryCheck : public CustomerTest {
  protected:
    void SetUp() override {
        CustomerTest::SetUp();
        addCustomer("100", "Acme Tools");
        addCustomer("200", "Baker Brothers");
    }
    CustomerEntry entry(const std::string& no, const std::string& n) {
        CustomerEntry e = NewCustomerEntry(company);
        e.number = no;
        e.name = n;
        return e;
    }
};

TEST_F(EntryCheck, RequiredFieldsInOrderWithTitles) {
    CustomerEntry e = entry("  ", "");
    e.eMail = "no-at-sign";
    auto p = CheckCustomerEntry(e, kAddStartingNumber, customers);
    EXPECT_EQ(TextOf(p), "You must enter a customer number.");
    EXPECT_EQ(p->message.title, "Customer Number");
    EXPECT_EQ(p->field, EntryField::Number);

    e.number = "300";
    p = CheckCustomerEntry(e, kAddStartingNumber, customers);
    EXPECT_EQ(TextOf(p), "You must enter a customer name.");
    EXPECT_EQ(p->message.title, "Customer Name");
    EXPECT_EQ(p->field, EntryField::Name);

    e.name = "Carter Farms";
    p = CheckCustomerEntry(e, kAddStartingNumber, customers);
    EXPECT_EQ(TextOf(p),
              "The customer e-mail address does not have the @ sign included. Bad e-mail "
              "address.");
    EXPECT_EQ(p->message.title, "Customer E-Mail Address");
    EXPECT_EQ(p->field, EntryField::EMail);
    // The short name was filled on the way.
    EXPECT_EQ(e.shortName, "CFarms");

    e.eMail = "office@carterfarms.com";
    EXPECT_EQ(TextOf(CheckCustomerEntry(e, kAddStartingNumber, customers)), "ok");
}

TEST_F(EntryCheck, DuplicateNumberAgainstTheStartingNumber) {
    CustomerEntry e = entry("100", "Carter Farms");
    auto p = CheckCustomerEntry(e, kAddStartingNumber, customers);  // an add
    EXPECT_EQ(TextOf(p), kDupNumber);
    EXPECT_EQ(p->message.title, "Customer Number");
    EXPECT_EQ(p->field, EntryField::Number);

    e = entry(" acme ", "Carter Farms");
    EXPECT_EQ(TextOf(CheckCustomerEntry(e, kAddStartingNumber, customers)), "ok");

    // Editing 200 and typing the number of another customer.
    e = entry("100", "Baker Brothers");
    EXPECT_EQ(TextOf(CheckCustomerEntry(e, "200", customers)), kDupNumber);
    // Lower case and blanks do not make a number new.
    addCustomer("X7", "Xavier Lane");
    e = entry(" x7", "Yolanda Price");
    EXPECT_EQ(TextOf(CheckCustomerEntry(e, kAddStartingNumber, customers)), kDupNumber);
}

TEST_F(EntryCheck, DuplicateNameWithAnotherNumber) {
    CustomerEntry e = entry("300", "  acme TOOLS ");
    auto p = CheckCustomerEntry(e, kAddStartingNumber, customers);
    EXPECT_EQ(TextOf(p), kDupName);
    EXPECT_EQ(p->message.title, "Duplicate Customer Name");
    EXPECT_EQ(p->field, EntryField::Name);

    // Renumbering Acme to 300 keeps its own name: the starting number is Acme's.
    e = entry("300", "Acme Tools");
    EXPECT_EQ(TextOf(CheckCustomerEntry(e, "100", customers)), "ok");
    // A name that only begins like an existing one is not a duplicate.
    e = entry("300", "Acme");
    EXPECT_EQ(TextOf(CheckCustomerEntry(e, kAddStartingNumber, customers)), "ok");
    // Names that agree in their first 30 characters share the unique name key.
    addCustomer("400", "Northwestern Regional Medical East");
    e = entry("401", "Northwestern Regional Medical West");
    EXPECT_EQ(TextOf(CheckCustomerEntry(e, kAddStartingNumber, customers)), kDupName);
}

TEST_F(EntryCheck, AnAddOfNumberZeroIsCheckedLikeAnyOther) {
    addCustomer("0", "Zero Street Deli");
    CustomerEntry e = entry("0", "Another Deli");
    EXPECT_EQ(TextOf(CheckCustomerEntry(e, kAddStartingNumber, customers)), kDupNumber);
    e = entry("5", "Zero Street Deli");
    EXPECT_EQ(TextOf(CheckCustomerEntry(e, kAddStartingNumber, customers)), kDupName);
}

TEST_F(EntryCheck, UnchangedNumberAndNamePassBothChecks) {
    CustomerEntry e = entry("100", "Acme Tools");
    EXPECT_EQ(TextOf(CheckCustomerEntry(e, "100", customers)), "ok");
    e = entry("100", "Acme Tools");
    EXPECT_EQ(TextOf(CheckCustomerEntry(e, " 100 ", customers)), "ok");
}

TEST_F(EntryCheck, CreditLimitMustBeANumber) {
    const std::string bad = "The CREDIT LIMIT amount has an invalid value.";
    for (std::string limit : {"abc", "12.3.4", "1-2", "99999999999"}) {
        CustomerEntry e = entry("300", "Carter Farms");
        e.creditLimit = limit;
        auto p = CheckCustomerEntry(e, kAddStartingNumber, customers);
        EXPECT_EQ(TextOf(p), bad) << limit;
        if (p) {
            EXPECT_EQ(p->field, EntryField::CreditLimit);
        }
    }
    for (std::string limit : {"", " 1,500.00 ", "2500", "-10"}) {
        CustomerEntry e = entry("300", "Carter Farms");
        e.creditLimit = limit;
        EXPECT_EQ(TextOf(CheckCustomerEntry(e, kAddStartingNumber, customers)), "ok") << limit;
    }
}

using AddCustomerTest = CustomerTest;

TEST_F(AddCustomerTest, StoresTheFieldsAndAdvancesTheNextNumber) {
    CustomerEntry e = NewCustomerEntry(company);
    EXPECT_EQ(e.number, "41");
    EXPECT_EQ(e.terms, "Net 30 Days");
    EXPECT_EQ(e.creditLimit, "0.00");
    EXPECT_EQ(e.taxExempt, "N");
    e.name = "Carter Farms";
    e.taxExempt = "y";
    e.creditLimit = " 1,500 ";
    e.bill = {"Route 2", "Ames, IA 50010", "", ""};
    e.notesOnStatement = true;
    e.eMail = "office@carterfarms.com";
    ASSERT_FALSE(CheckCustomerEntry(e, kAddStartingNumber, customers));
    CustomerFiles f = files();
    int32_t recNo = AddCustomer(f, e, prompter);
    data::CustomerRecord c = read(recNo);
    EXPECT_EQ(c.text(Customer::CustNo), "41");
    EXPECT_EQ(c.text(Customer::ShortName), "CFarms");
    EXPECT_EQ(c.text(Customer::TaxExempt), "Y");
    EXPECT_EQ(c.text(Customer::CreditLimit), "1500.00");
    EXPECT_EQ(c.text(Customer::Balance), "0.00");
    EXPECT_EQ(c.text(Customer::AgeOver90), "0.00");
    EXPECT_EQ(c.text(Customer::NotesOnStatement), "Y");
    EXPECT_EQ(c.text(Customer::NotesOnInvoice), "N");
    EXPECT_EQ(c.text(Customer::CreditHold), "N");
    EXPECT_EQ(c.text(Customer::BillAddr2), "Ames, IA 50010");
    EXPECT_EQ(company.text(data::Company::NextCustNo), "42");
    EXPECT_EQ(storedCompany().text(data::Company::NextCustNo), "42");
    // The rest of the company record is untouched.
    EXPECT_EQ(storedCompany().text(data::Company::Name), "Northside Supply");
}

TEST_F(AddCustomerTest, ANumberThatIsNotWholeMakesTheNextNumberOne) {
    CustomerEntry e = NewCustomerEntry(company);
    e.number = "A100";
    e.name = "Alpha Industries";
    CustomerFiles f = files();
    AddCustomer(f, e, prompter);
    EXPECT_EQ(company.text(data::Company::NextCustNo), "1");
    EXPECT_EQ(storedCompany().text(data::Company::NextCustNo), "1");
}

TEST_F(AddCustomerTest, AFailedAddLeavesNothingAndRaises) {
    addCustomer("1", "Acme Tools");
    CustomerEntry e = NewCustomerEntry(company);
    e.number = "2";
    e.name = "ACME TOOLS";  // the name key refuses it
    CustomerFiles f = files();
    try {
        AddCustomer(f, e, prompter);
        FAIL() << "no error raised";
    } catch (const CustomerError& err) {
        EXPECT_STREQ(err.what(), "Add operation failed");
    }
    EXPECT_EQ(storage::UsedRecordCount(customers), 1);
    EXPECT_EQ(storedCompany().text(data::Company::NextCustNo), "41");
}

TEST_F(AddCustomerTest, AProposedNumberTakenMeanwhileIsReplacedFromTheStoredCounterAndSaid) {
    // The editor proposed 41 from the company in memory; meanwhile another program added
    // customer 41 and moved the stored counter to 42, and someone typed 42 by hand without
    // moving it.
    CustomerEntry e = NewCustomerEntry(company);
    ASSERT_EQ(e.number, "41");
    e.name = "Carter Farms";
    addCustomer("41", "Other Desk Customer");
    addCustomer("42", "Typed By Hand");
    data::CompanyRecord elsewhere = company;
    ASSERT_TRUE(StoreNextCustomerNumber(dir.path(), elsewhere, "42", prompter));
    ASSERT_EQ(company.text(data::Company::NextCustNo), "41");

    prompter.expect(std::string(kSavedAsCustomer) + "43");
    CustomerFiles f = files();
    const int32_t recNo = AddCustomer(f, e, prompter);
    EXPECT_TRUE(prompter.done());
    EXPECT_EQ(e.number, "43");
    EXPECT_EQ(read(recNo).text(Customer::CustNo), "43");
    EXPECT_EQ(storedCompany().text(data::Company::NextCustNo), "44");
    EXPECT_EQ(company.text(data::Company::NextCustNo), "44");
}

TEST_F(AddCustomerTest, ANumberTypedByHandThatWasTakenMeanwhileIsRefusedWithNothingWritten) {
    CustomerEntry e = NewCustomerEntry(company);
    e.number = "7";
    e.name = "Carter Farms";
    ASSERT_FALSE(CheckCustomerEntry(e, kAddStartingNumber, customers));
    addCustomer("7", "Added Meanwhile");
    prompter.expect(
        "That customer number already exists. You will need to use a different "
        "number.");
    CustomerFiles f = files();
    EXPECT_THROW(AddCustomer(f, e, prompter), CustomerError);
    EXPECT_TRUE(prompter.done());
    EXPECT_EQ(storage::UsedRecordCount(customers), 1);
    EXPECT_EQ(storedCompany().text(data::Company::NextCustNo), "41");
    EXPECT_EQ(e.number, "7");
}

class ChangeTest : public CustomerTest {
  protected:
    void SetUp() override {
        CustomerTest::SetUp();
        invoices = createOpen(data::FileKind::Invoice);
        lines = createOpen(data::FileKind::InvoiceLine);
    }
    void TearDown() override {
        if (invoices) storage::CloseFileblock(invoices);
        if (lines) storage::CloseFileblock(lines);
        CustomerTest::TearDown();
    }
    void addInvoice(const std::string& no, const std::string& cust, int lineCount,
                    const std::string& type = "I") {
        data::InvoiceRecord inv = data::NewRecord<Invoice>();
        inv.setText(Invoice::InvNo, no);
        inv.setText(Invoice::TransType, type);
        inv.setText(Invoice::CustNo, cust);
        data::SetInvoiceDate(inv, data::Date{2024, 3, 3}, data::DateOrder::MonthFirst);
        ASSERT_TRUE(data::AddBusinessRecord(invoices, inv, prompter).ok());
        for (int r = 1; r <= lineCount; ++r) {
            data::InvoiceLineRecord l;
            l.setText(InvoiceLine::InvNo, no);
            l.setText(InvoiceLine::LineNo, data::LineNoText(r));
            l.setText(InvoiceLine::LineKey, data::LineKeyText(no, data::LineNoText(r)));
            l.setText(InvoiceLine::LineDate, "2024/03/03");
            l.setText(InvoiceLine::CustNo, cust);
            ASSERT_TRUE(data::AddBusinessRecord(lines, l, prompter).ok());
        }
    }
    // Customer numbers of the invoices in invoice-number order, and of all lines.
    std::vector<std::string> invoiceCustomers() {
        std::vector<std::string> out;
        for (int32_t n = storage::NextUsedRecord(invoices, 0); storage::EngineOk && n > 0;
             n = storage::NextUsedRecord(invoices, n))
            out.push_back(data::ReadBusinessRecord<Invoice>(invoices, n)->text(Invoice::CustNo));
        return out;
    }
    std::vector<std::string> lineCustomers() {
        std::vector<std::string> out;
        for (int32_t n = storage::NextUsedRecord(lines, 0); storage::EngineOk && n > 0;
             n = storage::NextUsedRecord(lines, n))
            out.push_back(
                data::ReadBusinessRecord<InvoiceLine>(lines, n)->text(InvoiceLine::CustNo));
        return out;
    }
    void closeInvoiceFiles() {
        storage::CloseFileblock(invoices);
        storage::CloseFileblock(lines);
    }
    void reopenAndCheck() {
        EXPECT_TRUE(storage::CheckFileblock(name(data::FileKind::Invoice)).empty());
        EXPECT_TRUE(storage::CheckFileblock(name(data::FileKind::InvoiceLine)).empty());
        invoices = storage::OpenFileblock(name(data::FileKind::Invoice), false);
        lines = storage::OpenFileblock(name(data::FileKind::InvoiceLine), false);
    }
    int keyCount(storage::Fileblock* fb, int keyNo, const std::string& key) {
        std::string k = key;
        int32_t rec = storage::FindKeyAtOrAfter(fb, keyNo, k);
        int n = 0;
        while (storage::EngineOk && k == key) {
            ++n;
            storage::NextKey(fb, keyNo, k, rec);
        }
        (void)rec;
        return n;
    }

    storage::Fileblock* invoices = nullptr;
    storage::Fileblock* lines = nullptr;
};

TEST_F(ChangeTest, RenumberingMovesTheInvoicesAndTheirLines) {
    int32_t rec = addCustomer("100", "Acme Tools");
    addCustomer("1000", "Other Customer");
    addInvoice("5001", "100", 2);
    addInvoice("5002", "1000", 1);
    addInvoice("5003", "100", 3);
    addInvoice("5004", "100", 0, "X");  // a payment record of the customer
    addInvoice("5005", "10", 1);
    closeInvoiceFiles();

    data::CustomerRecord asRead = read(rec);
    CustomerEntry e = EntryFromRecord(asRead);
    e.number = "200";
    ASSERT_FALSE(CheckCustomerEntry(e, "100", customers));
    prompter.expect(
        "This customer has 3 invoices(s) on file. All have been changed to reflect the new "
        "customer number.");
    CustomerFiles f = files();
    ChangeCustomer(f, rec, asRead, e, "100", prompter);
    EXPECT_EQ(prompter.last().title, "Customer Number Changed");
    EXPECT_EQ(read(rec).text(Customer::CustNo), "200");

    reopenAndCheck();
    EXPECT_EQ(invoiceCustomers(), (std::vector<std::string>{"200", "1000", "200", "200", "10"}));
    EXPECT_EQ(lineCustomers(),
              (std::vector<std::string>{"200", "200", "1000", "200", "200", "200", "10"}));
    EXPECT_EQ(keyCount(invoices, 2, "100     "), 0);
    EXPECT_EQ(keyCount(invoices, 2, "200     "), 3);
}

TEST_F(ChangeTest, RenumberingReachesEveryLineOfAnInvoiceWithManyLines) {
    int32_t rec = addCustomer("7", "Acme Tools");
    addInvoice("9", "7", 40);
    closeInvoiceFiles();
    data::CustomerRecord asRead = read(rec);
    CustomerEntry e = EntryFromRecord(asRead);
    e.number = "8";
    prompter.expect(
        "This customer has 1 invoices(s) on file. All have been changed to reflect the new "
        "customer number.");
    CustomerFiles f = files();
    ChangeCustomer(f, rec, asRead, e, "7", prompter);
    reopenAndCheck();
    EXPECT_EQ(lineCustomers(), std::vector<std::string>(40, "8"));
}

// A window that holds the invoice and line files open (the Invoice Manager behind the
// invoice editor's customer picker) hands them in: the renumbering and the delete check
// work in them. Without them the files cannot be opened a second time, and the change is
// refused as a whole.
TEST_F(ChangeTest, ARenumberingWorksInTheInvoiceFilesTheCallerHolds) {
    int32_t rec = addCustomer("100", "Acme Tools");
    addInvoice("5001", "100", 2);
    data::CustomerRecord asRead = read(rec);
    CustomerEntry e = EntryFromRecord(asRead);
    e.number = "200";

    CustomerFiles notHanded = files();
    EXPECT_THROW(ChangeCustomer(notHanded, rec, asRead, e, "100", prompter), CustomerError);
    EXPECT_EQ(invoiceCustomers(), (std::vector<std::string>{"100"}));
    EXPECT_EQ(data::TrimmedText(read(rec).text(Customer::CustNo)), "100");

    CustomerFiles held = files();
    held.heldInvoices = invoices;
    held.heldLines = lines;
    prompter.expect(
        "This customer has 1 invoices(s) on file. All have been changed to reflect the new "
        "customer number.");
    EXPECT_TRUE(ChangeCustomer(held, rec, asRead, e, "100", prompter).ok);
    EXPECT_EQ(invoiceCustomers(), (std::vector<std::string>{"200"}));
    EXPECT_EQ(lineCustomers(), (std::vector<std::string>{"200", "200"}));
    // The held files stay open for their owner.
    EXPECT_TRUE(storage::IsFileblockOpen(invoices));
    EXPECT_TRUE(storage::IsFileblockOpen(lines));
    // The delete check sees the invoices through the held file too.
    EXPECT_TRUE(CustomerHasInvoices(dir.path(), "1", "200", prompter, invoices));
    EXPECT_FALSE(CustomerHasInvoices(dir.path(), "1", "100", prompter, invoices));
}

TEST_F(ChangeTest, NoMessageWhenTheNumberStaysOrNoInvoiceCarriesIt) {
    int32_t rec = addCustomer("ab1", "Acme Tools");
    addInvoice("5001", "AB1", 1);
    closeInvoiceFiles();
    data::CustomerRecord asRead = read(rec);
    CustomerEntry e = EntryFromRecord(asRead);
    e.number = "AB1";  // only the case differs: the same number
    e.phone1 = "(515) 555-0100";
    CustomerFiles f = files();
    ChangeCustomer(f, rec, asRead, e, "ab1", prompter);
    EXPECT_TRUE(prompter.seen().empty());
    data::CustomerRecord now = read(rec);
    EXPECT_EQ(now.text(Customer::Phone1), "(515) 555-0100");
    // Balances are never touched by an edit.
    EXPECT_EQ(now.text(Customer::Balance), asRead.text(Customer::Balance));

    int32_t other = addCustomer("300", "Baker Brothers");
    asRead = read(other);
    e = EntryFromRecord(asRead);
    e.number = "301";
    ChangeCustomer(f, other, asRead, e, "300", prompter);
    EXPECT_TRUE(prompter.seen().empty());
    EXPECT_EQ(read(other).text(Customer::CustNo), "301");
}

TEST_F(ChangeTest, ARenumberingThatFailsStopsAndLeavesConsistentFiles) {
    addInvoice("5001", "100", 1);
    addInvoice("5002", "100", 1);
    addInvoice("5003", "100", 1);
    closeInvoiceFiles();
    // Writes go invoice 1, its line, invoice 2: the second invoice cannot be written.
    storage::InjectFault(storage::EngineOp::PutRecord, 3, storage::err::OsOther);
    RenumberResult r = RenumberInvoices(dir.path(), "1", "100", "200", prompter);
    storage::ClearFaults();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.invoices, 1);
    EXPECT_EQ(r.lines, 1);
    reopenAndCheck();
    EXPECT_EQ(keyCount(invoices, 2, "200     "), 1);
    EXPECT_EQ(keyCount(invoices, 2, "100     "), 2);
    EXPECT_EQ(invoiceCustomers(), (std::vector<std::string>{"200", "100", "100"}));
    EXPECT_EQ(lineCustomers(), (std::vector<std::string>{"200", "100", "100"}));
}

// A new number and every invoice and line moved to it are one posting: when one invoice
// cannot be changed, nothing is, and the customer keeps its old number.
TEST_F(ChangeTest, ARenumberingThatFailsChangesNothing) {
    int32_t rec = addCustomer("100", "Acme Tools");
    addInvoice("5001", "100", 1);
    addInvoice("5002", "100", 1);
    closeInvoiceFiles();
    data::CustomerRecord asRead = read(rec);
    CustomerEntry e = EntryFromRecord(asRead);
    e.number = "200";
    CustomerFiles f = files();
    // The second invoice cannot be written.
    storage::InjectFault(storage::EngineOp::PutRecord, 4, storage::err::OsOther);
    EXPECT_THROW(ChangeCustomer(f, rec, asRead, e, "100", prompter), CustomerError);
    storage::ClearFaults();
    reopenAndCheck();
    EXPECT_EQ(invoiceCustomers(), (std::vector<std::string>{"100", "100"}));
    EXPECT_EQ(lineCustomers(), (std::vector<std::string>{"100", "100"}));
    EXPECT_EQ(data::TrimmedText(read(rec).text(Customer::CustNo)), "100");

    // Saved again without the fault, all of it moves.
    closeInvoiceFiles();
    CustomerFiles g = files();
    prompter.expect(
        "This customer has 2 invoices(s) on file. All have been changed to reflect the new "
        "customer number.");
    RenumberResult r = ChangeCustomer(g, rec, asRead, e, "100", prompter);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.invoices, 2);
    reopenAndCheck();
    EXPECT_EQ(invoiceCustomers(), (std::vector<std::string>{"200", "200"}));
    EXPECT_EQ(lineCustomers(), (std::vector<std::string>{"200", "200"}));
}

TEST_F(ChangeTest, ARecordChangedElsewhereIsNotOverwritten) {
    int32_t rec = addCustomer("100", "Acme Tools");
    data::CustomerRecord asRead = read(rec);
    data::CustomerRecord aged = asRead;
    aged.setText(Customer::Balance, "250.00");
    ASSERT_TRUE(data::ChangeBusinessRecord(customers, rec, asRead, aged, prompter).ok());

    CustomerEntry e = EntryFromRecord(asRead);
    e.number = "200";
    prompter.expect("The record has changed in the meantime.");
    CustomerFiles f = files();
    EXPECT_THROW(ChangeCustomer(f, rec, asRead, e, "100", prompter), CustomerError);
    EXPECT_EQ(read(rec).text(Customer::CustNo), "100");
    EXPECT_EQ(read(rec).text(Customer::Balance), "250.00");
}

TEST_F(ChangeTest, DeleteRefusesABalanceAndAnyInvoice) {
    int32_t owing = addCustomer("100", "Acme Tools", "12.50");
    int32_t paid = addCustomer("200", "Baker Brothers");
    int32_t clean = addCustomer("300", "Carter Farms");
    addInvoice("5001", "200", 1);
    data::InvoiceRecord inv = *data::ReadBusinessRecord<Invoice>(invoices, 1);
    data::InvoiceRecord settled = inv;
    settled.setText(Invoice::PaidFlag, "P");
    (void)settled.setMoney(Invoice::BalanceDue, data::Money());
    ASSERT_TRUE(data::ChangeBusinessRecord(invoices, 1, inv, settled, prompter).ok());
    closeInvoiceFiles();
    CustomerFiles f = files();

    prompter.expect("This customer has a balance due. Unable to delete.");
    EXPECT_FALSE(DeleteCustomer(f, owing, read(owing), prompter));
    EXPECT_EQ(prompter.last().title, "Delete Customer");
    EXPECT_EQ(prompter.last().icon, platform::Icon::Warning);

    prompter.expect(
        "This customer has invoices on file and may not be deleted. You can mark this "
        "customer as inactive, otherwise, wait until you remove their paid invoices, then "
        "delete.");
    EXPECT_FALSE(DeleteCustomer(f, paid, read(paid), prompter));
    EXPECT_EQ(prompter.last().title, "Delete Customer");

    prompter.expect("Are you sure you want to delete this customer?", Answer::No);
    EXPECT_FALSE(DeleteCustomer(f, clean, read(clean), prompter));
    EXPECT_EQ(prompter.last().title, "Delete Customer#: 300");
    EXPECT_EQ(prompter.last().buttons, platform::Buttons::YesNo);
    EXPECT_EQ(storage::UsedRecordCount(customers), 3);

    prompter.expect("Are you sure you want to delete this customer?", Answer::Yes);
    EXPECT_TRUE(DeleteCustomer(f, clean, read(clean), prompter));
    EXPECT_EQ(storage::UsedRecordCount(customers), 2);
    data::CustomerRecord probe;
    probe.setText(Customer::CustNo, "300");
    auto found = data::FindAtOrAfter<Customer>(customers, 2, probe);
    EXPECT_TRUE(!found || found->record.text(Customer::CustNo) != "300");
}

TEST_F(AddCustomerTest, DeleteWithoutAnInvoiceFileAsksAndDeletes) {
    int32_t rec = addCustomer("300", "Carter Farms");
    CustomerFiles f = files();
    prompter.expect("Are you sure you want to delete this customer?", Answer::Yes);
    EXPECT_TRUE(DeleteCustomer(f, rec, read(rec), prompter));
    EXPECT_EQ(storage::UsedRecordCount(customers), 0);
    // Looking for invoices did not create an invoice file.
    EXPECT_FALSE(std::filesystem::exists(storage::DataFileName(name(data::FileKind::Invoice))));
}

// A deleted customer's e-invoicing data goes in the same posting: a delete that meets a lock
// runs again whole without asking, and one whose data cannot be removed keeps the customer.
TEST_F(AddCustomerTest, TheDeleteTakesTheEInvoicingDataAlongInOnePosting) {
    const int32_t first = addCustomer("300", "Carter Farms");
    const int32_t second = addCustomer("400", "Dune Bakery");
    {
        storage::Fileblock* einvoice = createOpen(data::FileKind::EInvoice);
        for (const char* number : {"300", "400"})
            ASSERT_TRUE(data::StoreEInvoiceRecord(
                einvoice, data::CustomerEInvoiceRecord(number, {"FR", "", "", ""}), false,
                prompter));
        storage::CloseFileblock(einvoice);
    }
    CustomerFiles f = files();
    auto dataOf = [&](const std::string& number) {
        return data::ReadCustomerEInvoice(dir.path(), "1", number, prompter).country;
    };

    // The e-invoicing record meets the lock after the customer was deleted in the attempt.
    storage::InjectFault(storage::EngineOp::DeleteRecord, 2, 10306);
    const int64_t reruns = data::PostingReruns();
    prompter.expect("Are you sure you want to delete this customer?", Answer::Yes);
    EXPECT_TRUE(DeleteCustomer(f, first, read(first), prompter));
    EXPECT_EQ(data::PostingReruns() - reruns, 1);
    EXPECT_EQ(storage::UsedRecordCount(customers), 1);
    EXPECT_EQ(dataOf("300"), "");
    EXPECT_EQ(dataOf("400"), "FR");

    // The data cannot be removed: the customer stays with it.
    storage::InjectFault(storage::EngineOp::DeleteRecord, 2, storage::err::OsOther);
    prompter.expect("Are you sure you want to delete this customer?", Answer::Yes);
    EXPECT_THROW(DeleteCustomer(f, second, read(second), prompter), CustomerError);
    storage::ClearFaults();
    EXPECT_EQ(storage::UsedRecordCount(customers), 1);
    EXPECT_EQ(dataOf("400"), "FR");
}

}  // namespace
}  // namespace invarro::customers
