// Deleting transactions with their lines, memo and balance effects, and the checks
// before a record goes to the editor.

#include <gtest/gtest.h>

#include "InvoiceFixture.h"
#include "data/OperationError.h"
#include "invoicing/InvManage.h"
#include "storage/Verify.h"

namespace invarro::invoicing::testing {
namespace {

using data::Company;
using data::Customer;
using data::Money;
using platform::Answer;

constexpr const char* kSure = "Are you sure you want to delete this record?";
constexpr const char* kPaymentNote =
    "This record has payment activity. If you delete this record the payment data will also be "
    "removed.";

Money Cents(int64_t c) {
    return Money::FromCents(c);
}

class DeleteTest : public InvoiceTest {
  protected:
    DeleteOutcome del(int32_t recNo) {
        InvoiceFiles f = files();
        return DeleteInvoice(f, recNo, read(recNo), prompter, clock);
    }
};

TEST_F(DeleteTest, RemovesHeaderLinesAndReducesBalanceBucketAndReceivablesByTheBalanceDue) {
    addCustomer("1001", 50000, {30000, 20000, 0, 0});
    // 45 days old on 15 April: the second period.
    const int32_t rec =
        add({.no = "12", .date = {2024, 3, 1}, .total = "200.00", .paid = "50.00", .lines = 3});
    prompter.expect(kPaymentNote).expect(kSure, Answer::Yes);
    DeleteOutcome out = del(rec);
    EXPECT_EQ(prompter.seen().back().title, "Delete Invoice#: 12");
    EXPECT_TRUE(out.deleted);
    EXPECT_TRUE(out.balancesChanged);
    EXPECT_EQ(out.lines, 3);
    EXPECT_EQ(out.message, "Deleted invoice 12 containing 3 line item(s).");
    EXPECT_EQ(storage::UsedRecordCount(invoices), 0);
    EXPECT_EQ(storage::KeyCount(invoices, 1), 0);
    EXPECT_EQ(linesOf("12"), 0);

    data::CustomerRecord c = customer("1001");
    EXPECT_EQ(c.money(Customer::Balance), Cents(35000));
    EXPECT_EQ(c.money(Customer::Age0to30), Cents(30000));
    EXPECT_EQ(c.money(Customer::Age31to60), Cents(5000));
    EXPECT_EQ(storedCompany().money(Company::ARBalance), Cents(85000));
    EXPECT_EQ(company.money(Company::ARBalance), Cents(85000));
}

TEST_F(DeleteTest, MemoInvoiceTakesItsMemoAndOnlyItsOwn) {
    addCustomer("1001", 30000);
    const int32_t rec =
        add({.no = "7", .date = {2024, 4, 10}, .style = 'M', .lines = 1, .memo = true});
    add({.no = "70", .style = 'M', .lines = 1, .memo = true});
    prompter.expect(kSure, Answer::Yes);
    DeleteOutcome out = del(rec);
    EXPECT_TRUE(out.memo);
    EXPECT_EQ(out.message, "Deleted memo invoice 7.");
    EXPECT_FALSE(hasMemo("7"));
    EXPECT_TRUE(hasMemo("70"));
    EXPECT_EQ(linesOf("7"), 0);
    EXPECT_EQ(linesOf("70"), 1);
    // Ten days old: the first period.
    EXPECT_EQ(customer("1001").money(Customer::Age0to30), Cents(-10000));
}

TEST_F(DeleteTest, LinesAreThoseOfExactlyThisNumber) {
    addCustomer("1001", 0);
    const int32_t r12 = add({.no = "12", .lines = 2});
    add({.no = "123", .lines = 4});
    add({.no = "12A", .lines = 1});
    const int32_t r1000 = add({.no = "1000", .lines = 2});
    add({.no = "10000", .lines = 3});
    add({.no = "10009", .lines = 1});
    add({.no = "1000G1", .type = 'G', .lines = 2});
    add({.no = "1000G12", .type = 'G', .lines = 2});

    prompter.expect(kSure, Answer::Yes);
    EXPECT_EQ(del(r12).lines, 2);
    EXPECT_EQ(linesOf("12"), 0);
    EXPECT_EQ(linesOf("123"), 4);
    EXPECT_EQ(linesOf("12A"), 1);

    prompter.expect(kSure, Answer::Yes);
    EXPECT_EQ(del(r1000).lines, 2);
    EXPECT_EQ(linesOf("1000"), 0);
    EXPECT_EQ(linesOf("10000"), 3);
    EXPECT_EQ(linesOf("10009"), 1);
    EXPECT_EQ(linesOf("1000G1"), 2);
    EXPECT_EQ(linesOf("1000G12"), 2);
    EXPECT_EQ(storage::UsedRecordCount(lines), 13);
    // Every key of both files lost exactly the deleted records' entries.
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(storage::KeyCount(lines, k), 13) << k;
    for (int k = 1; k <= 6; ++k)
        EXPECT_EQ(storage::KeyCount(invoices, k), 6) << k;
    storage::CloseFileblock(lines);
    storage::CloseFileblock(invoices);
    EXPECT_EQ(storage::CheckFileblock(name(data::FileKind::InvoiceLine)),
              std::vector<std::string>{});
    EXPECT_EQ(storage::CheckFileblock(name(data::FileKind::Invoice)), std::vector<std::string>{});
}

TEST_F(DeleteTest, NinetyNineLinesAreAllRemovedAndCounted) {
    addCustomer("1001", 10000);
    const int32_t rec = add({.no = "500", .lines = 99});
    prompter.expect(kSure, Answer::Yes);
    DeleteOutcome out = del(rec);
    EXPECT_EQ(out.lines, 99);
    EXPECT_EQ(out.message, "Deleted invoice 500 containing 99 line item(s).");
    EXPECT_EQ(storage::UsedRecordCount(lines), 0);
}

TEST_F(DeleteTest, QuotesAndMastersLeaveEveryBalanceAlone) {
    addCustomer("1001", 50000, {50000, 0, 0, 0});
    const int32_t quote = add({.no = "Q1", .type = 'Q', .total = "300.00", .lines = 2});
    const int32_t master = add({.no = "R1", .type = 'R', .total = "80.00", .lines = 1});
    prompter.expect(kSure, Answer::Yes);
    EXPECT_TRUE(del(quote).deleted);
    prompter
        .expect(
            "This is a repeat billing master record. If you delete this master record, no "
            "further invoices will be generated.")
        .expect(kSure, Answer::Yes);
    DeleteOutcome out = del(master);
    EXPECT_TRUE(out.deleted);
    EXPECT_FALSE(out.balancesChanged);
    EXPECT_EQ(storage::UsedRecordCount(invoices), 0);
    EXPECT_EQ(storage::UsedRecordCount(lines), 0);
    EXPECT_EQ(customer("1001").money(Customer::Balance), Cents(50000));
    EXPECT_EQ(customer("1001").money(Customer::Age0to30), Cents(50000));
    EXPECT_EQ(storedCompany().money(Company::ARBalance), Cents(100000));
    EXPECT_EQ(company.money(Company::ARBalance), Cents(100000));
}

TEST_F(DeleteTest, PartialPaymentsAppliedDepositsAndAuditTrailAreRefused) {
    addCustomer("1001", 10000);
    const int32_t z = add({.no = "20", .type = 'Z', .total = "100.00", .paid = "40.00"});
    const int32_t x = add({.no = "20", .type = 'X', .total = "0.00", .paid = "-40.00"});
    // An applied deposit: its amount in Paid, settled and marked paid.
    data::InvoiceRecord used = MakeInvoice(
        {.no = "DP15001", .type = 'D', .total = "0.00", .paid = "40.00", .style = 'D'}, order());
    ASSERT_TRUE(used.setMoney(data::Invoice::BalanceDue, Money()));
    used.setText(data::Invoice::PaidFlag, "P");
    const int32_t d = data::AddBusinessRecord(invoices, used, prompter).recNo;
    const int32_t t = add({.no = "DP15001", .type = 'T', .total = "0.00", .paid = "-40.00"});

    const std::string partial =
        "This record is associated with a partial payment (type X or Z). Unable to delete this "
        "item.";
    prompter.expect(partial).expect(partial);
    EXPECT_FALSE(del(z).deleted);
    EXPECT_FALSE(del(x).deleted);
    prompter.expect(
        "This deposit on account has been applied to invoices (type T), which stay paid by it. "
        "Unable to delete this item.");
    EXPECT_FALSE(del(d).deleted);
    EXPECT_EQ(prompter.last().title, "Deposit on Account");
    prompter.expect(
        "This record applies a deposit on account (type D) to invoices, which stay paid by it. "
        "Unable to delete this item.");
    EXPECT_FALSE(del(t).deleted);
    EXPECT_EQ(prompter.last().title, "Deposit Taken");

    company.setText(Company::AuditTrail, "Y");
    const int32_t i = add({.no = "21"});
    prompter.expect("The audit trail feature is turned on. Unable to delete record.");
    EXPECT_FALSE(del(i).deleted);

    EXPECT_EQ(storage::UsedRecordCount(invoices), 5);
    EXPECT_EQ(customer("1001").money(Customer::Balance), Cents(10000));
    EXPECT_EQ(storedCompany().money(Company::ARBalance), Cents(100000));
}

TEST_F(DeleteTest, AnOpenDepositIsDeletedAfterItsConfirmationAndGivesItsCreditBack) {
    // A deposit of 40.00 on account: the customer owes 40.00 less until it is deleted.
    addCustomer("1001", -4000, {-4000, 0, 0, 0});
    const int32_t d = add({.no = "DP15002",
                           .type = 'D',
                           .date = {2024, 4, 1},
                           .total = "0.00",
                           .paid = "40.00",
                           .style = 'D'});
    const std::string confirm =
        "You are about to delete a payment you posted as a Deposit on Account. Are you sure?";
    prompter.expect(kPaymentNote).expect(confirm, Answer::No);
    EXPECT_FALSE(del(d).deleted);
    prompter.expect(kPaymentNote).expect(confirm, Answer::Yes).expect(kSure, Answer::No);
    EXPECT_FALSE(del(d).deleted);
    EXPECT_EQ(storage::UsedRecordCount(invoices), 1);

    prompter.expect(kPaymentNote).expect(confirm, Answer::Yes).expect(kSure, Answer::Yes);
    EXPECT_TRUE(del(d).deleted);
    EXPECT_EQ(customer("1001").money(Customer::Balance), Money());
    EXPECT_EQ(customer("1001").money(Customer::Age0to30), Money());
    EXPECT_EQ(storedCompany().money(Company::ARBalance), Cents(104000));
}

// A deleted amount leaves the period the aging put it in: the age is counted by the
// aging's own rule (the invoice date in the company's date format), also after the format
// changed.
TEST_F(DeleteTest, TheAmountLeavesThePeriodTheAgingPutItIn) {
    // Written while the format was month first; the company now shows day first, so the
    // aging reads "01/02/2024" as 1 February (74 days on 15 April: the third period).
    addCustomer("1001", 20000, {0, 0, 20000, 0});
    const int32_t rec = add({.no = "31", .date = {2024, 1, 2}, .total = "200.00"});
    EXPECT_EQ(read(rec).text(data::Invoice::InvDate), "01/02/2024");
    company.setText(Company::DateFormatCode, "D");
    prompter.expect(kSure, Answer::Yes);
    EXPECT_TRUE(del(rec).deleted);
    data::CustomerRecord c = customer("1001");
    EXPECT_EQ(c.money(Customer::Age61to90), Money());
    EXPECT_EQ(c.money(Customer::AgeOver90), Money());

    // A record whose dates cannot be read counts as current, as in the aging.
    addCustomer("1002", 5000, {5000, 0, 0, 0});
    const int32_t undated =
        add({.no = "32", .cust = "1002", .date = {2024, 1, 2}, .total = "50.00"});
    data::InvoiceRecord spoiled = read(undated);
    for (auto f : {data::Invoice::InvDate, data::Invoice::InvMonth, data::Invoice::InvDay,
                   data::Invoice::InvYear, data::Invoice::SortDate})
        spoiled.setText(f, "");
    ASSERT_TRUE(
        data::ChangeBusinessRecord(invoices, undated, read(undated), spoiled, prompter).ok());
    prompter.expect(kSure, Answer::Yes);
    EXPECT_TRUE(del(undated).deleted);
    EXPECT_EQ(customer("1002").money(Customer::Age0to30), Money());
}

TEST_F(DeleteTest, AMissingCustomerIsReportedAndTheReceivablesStillFollow) {
    const int32_t rec = add({.no = "40", .cust = "9999", .total = "25.00"});
    prompter.expect(kSure, Answer::Yes)
        .expect("Customer 9999 of this record was not found. Its balance was not changed.");
    DeleteOutcome out = del(rec);
    EXPECT_TRUE(out.deleted);
    EXPECT_FALSE(out.balancesChanged);
    EXPECT_EQ(storedCompany().money(Company::ARBalance), Cents(97500));
}

TEST_F(DeleteTest, WithoutTheCompanyRecordNothingIsDeleted) {
    addCustomer("1001", 10000);
    const int32_t rec = add({.no = "41"});
    company.setText(Company::CompanyNo, "2");
    prompter.expect(kSure, Answer::Yes);
    InvoiceFiles f = files();
    EXPECT_THROW(DeleteInvoice(f, rec, read(rec), prompter, clock), data::OperationError);
    EXPECT_EQ(storage::UsedRecordCount(invoices), 1);
    EXPECT_EQ(customer("1001").money(Customer::Balance), Cents(10000));
}

TEST_F(DeleteTest, ABadRecordWithEmptyAmountsCanBeDeleted) {
    addCustomer("1001", 0);
    data::InvoiceRecord bad = MakeInvoice({.no = "66"}, order());
    bad.setText(data::Invoice::Total, "");
    bad.setText(data::Invoice::Paid, "");
    bad.setText(data::Invoice::BalanceDue, "");
    const int32_t rec = data::AddBusinessRecord(invoices, bad, prompter).recNo;
    prompter.expect(kSure, Answer::Yes);
    EXPECT_TRUE(del(rec).deleted);
    EXPECT_EQ(customer("1001").money(Customer::Balance), Money());
    EXPECT_EQ(storedCompany().money(Company::ARBalance), Cents(100000));
}

TEST_F(DeleteTest, AnIndexEntryWithoutItsLineRecordDoesNotLeaveTheOtherLinesBehind) {
    addCustomer("1001", 0);
    const int32_t rec = add({.no = "12", .lines = 3});
    add({.no = "123", .lines = 2});
    // A damaged line file: the first line's record is gone while its keys stay behind.
    storage::DeleteRecord(lines, storage::NextUsedRecord(lines, 0));
    ASSERT_TRUE(storage::EngineOk);
    prompter.expect(kSure, Answer::Yes);
    DeleteOutcome out = del(rec);
    EXPECT_EQ(linesOf("12"), 0);
    EXPECT_EQ(linesOf("123"), 2);
    EXPECT_EQ(out.lines, 2);
    EXPECT_EQ(out.message, "Deleted invoice 12 containing 2 line item(s).");
}

// ------------------------------------------------------------------ edit checks

class EditCheckTest : public InvoiceTest {
  protected:
    bool check(const Draft& s) {
        return CheckBeforeEdit(MakeInvoice(s, order()), company, prompter);
    }
};

TEST_F(EditCheckTest, OpenInvoicesQuotesAndGeneratedInvoicesGoToTheEditor) {
    EXPECT_TRUE(check({.no = "1"}));
    EXPECT_TRUE(check({.no = "2", .type = 'Q'}));
    EXPECT_TRUE(check({.no = "3G1", .type = 'G', .printed = true}));
    EXPECT_TRUE(check({.no = "4", .paid = "30.00"}));
    // A no-charge invoice is marked paid without any money: it stays editable.
    EXPECT_TRUE(check({.no = "5", .total = "0.00"}));
}

TEST_F(EditCheckTest, AFullyPaidInvoiceIsRefusedAsWellAsAPartlyPaidOne) {
    prompter.expect(
        "This record has been paid. You may not edit this record. You can use the Invoice-View "
        "menu option to look at this invoice.");
    EXPECT_FALSE(check({.no = "1", .total = "100.00", .paid = "100.00"}));
    EXPECT_EQ(prompter.last().title, "Paid Item");
    data::InvoiceRecord r = MakeInvoice({.no = "2", .total = "100.00", .paid = "60.00"}, order());
    r.setText(data::Invoice::PaidFlag, "P");
    EXPECT_TRUE(IsPaidItem(r));
}

TEST_F(EditCheckTest, RefusalsComeInTheirOrder) {
    company.setText(Company::AuditTrail, "Y");
    prompter.expect("The audit trail feature is turned on. Unable to modify record.");
    EXPECT_FALSE(check({.no = "1", .type = 'Z'}));
    company.setText(Company::AuditTrail, "N");

    const std::string partial =
        "This record is part of a partial-payment record and may not be edited.";
    prompter.expect(partial).expect(partial);
    EXPECT_FALSE(check({.no = "1", .type = 'Z', .paid = "100.00"}));
    EXPECT_FALSE(check({.no = "1", .type = 'X'}));
    prompter.expect(
        "This record is a deposit. You may not edit this record, however, you can delete it.");
    EXPECT_FALSE(check({.no = "DP1", .type = 'D', .total = "0.00", .paid = "40.00"}));
    prompter.expect(
        "This record is a deposit which has been previously offset (taken). Unable to edit this "
        "record.");
    EXPECT_FALSE(check({.no = "DP1", .type = 'T', .total = "0.00", .paid = "-40.00"}));
}

TEST_F(EditCheckTest, AMasterIsNotedAndAPrintedInvoiceAsked) {
    prompter.expect(
        "This is a repeat billing master record. Changes to this record will be reflected in "
        "future generated invoices.");
    EXPECT_TRUE(check({.no = "R1", .type = 'R'}));
    const std::string printed =
        "This invoice has been printed. Are you sure you want to edit this record?";
    prompter.expect(printed, Answer::No).expect(printed, Answer::Yes);
    EXPECT_FALSE(check({.no = "1", .printed = true}));
    EXPECT_EQ(prompter.last().title, "Printed Invoice");
    EXPECT_TRUE(check({.no = "1", .printed = true}));
}

TEST(InvoiceNumberTest, GeneratedNumbersAreNotEditable) {
    EXPECT_TRUE(InvoiceNumberEditable("1043"));
    EXPECT_FALSE(InvoiceNumberEditable("1000G3"));
    EXPECT_FALSE(InvoiceNumberEditable("1000g3"));
}

}  // namespace
}  // namespace invarro::invoicing::testing
