// Payments: the open items and the moves between the lists, and the posting of regular
// and partial payments, deposits and applied deposits with every field they write.
#include "invoicing/Payment.h"

#include <gtest/gtest.h>

#include <array>
#include <map>

#include "InvoiceFixture.h"
#include "app/Demo.h"
#include "data/Posting.h"
#include "invoicing/Receivables.h"
#include "storage/EngineTesting.h"

namespace invarro::invoicing::testing {
namespace {

using data::Company;
using data::Customer;
using data::Invoice;
using data::Money;

Money M(int64_t cents) {
    return Money::FromCents(cents);
}

class PaymentTest : public InvoiceTest {
  protected:
    void TearDown() override {
        storage::ClearFaults();
        InvoiceTest::TearDown();
    }

    data::Date today() const { return data::Date{2024, 4, 15}; }
    SaveFiles payFiles() {
        return SaveFiles{dir.path(), company, invoices, lines, memos, nullptr, today()};
    }
    PaymentBox box(const std::string& custNo) {
        PaymentBox b(company, today());
        b.chooseCustomer(customer(custNo), invoices, prompter);
        return b;
    }
    PostOutcome post(PaymentBox& b, const std::string& custNo) {
        SaveFiles f = payFiles();
        return PostPayment(f, custNo, b.payDate, b.note, b.right, prompter);
    }
    // Every record with the number, in file order.
    std::vector<data::InvoiceRecord> numbered(const std::string& no) {
        std::vector<data::InvoiceRecord> out;
        for (int32_t rec = storage::NextUsedRecord(invoices, 0); storage::EngineOk && rec > 0;
             rec = storage::NextUsedRecord(invoices, rec)) {
            auto r = data::ReadBusinessRecord<Invoice>(invoices, rec);
            if (r && data::TrimmedText(r->text(Invoice::InvNo)) == no) out.push_back(*r);
        }
        return out;
    }
    void setStoredCounter(const std::string& counter) {
        storage::Fileblock* fb =
            storage::OpenFileblock(data::FileblockName(dir.path(), data::FileKind::Company), false);
        ASSERT_TRUE(storage::EngineOk);
        auto r = data::ReadBusinessRecord<Company>(fb, 1);
        ASSERT_TRUE(r);
        r->setText(Company::DepositCounter, counter);
        storage::PutRecord(fb, 1, r->data());
        storage::CloseFileblock(fb);
        company.setText(Company::DepositCounter, counter);
    }
    static std::array<Money, 4> aging(const data::CustomerRecord& c) {
        return {c.money(Customer::Age0to30), c.money(Customer::Age31to60),
                c.money(Customer::Age61to90), c.money(Customer::AgeOver90)};
    }
    static std::size_t indexOf(const std::vector<PayItem>& items, const std::string& no) {
        for (std::size_t i = 0; i < items.size(); ++i)
            if (items[i].number == no) return i;
        ADD_FAILURE() << "no item " << no;
        return 0;
    }
};

// Two open invoices; a payment covering the first in full and part of the second; a
// deposit; a payment that uses the deposit.
TEST_F(PaymentTest, WorkedSequenceWritesEveryField) {
    addCustomer("C1", 25000, {15000, 0, 0, 10000});
    const int32_t r101 = add({.no = "101", .cust = "C1", .date = {2024, 1, 10}, .total = "100.00"});
    const int32_t r102 = add({.no = "102", .cust = "C1", .date = {2024, 3, 20}, .total = "150.00"});

    // 1. 160.00 on 04/12/2024: 101 whole, 60.00 of 102.
    PaymentBox b = box("C1");
    ASSERT_EQ(b.left.size(), 2u);
    EXPECT_EQ(b.left[0].text(), "101       01/10/24       100.00");
    EXPECT_EQ(b.left[1].text(), "102       03/20/24       150.00");
    EXPECT_EQ(b.payDate, "04/15/2024");
    EXPECT_EQ(b.paidText(), "0.00");
    b.payDate = "04/12/2024";
    b.note = "Check 5512";
    ASSERT_TRUE(b.moveRight(0, prompter));
    ASSERT_TRUE(b.partialEnabled(0));
    EXPECT_EQ(b.partialLabel(0), "Invoice: 102   Date: 03/20/24");
    ASSERT_EQ(b.checkPartialAmount(0, "60", prompter), M(6000));
    b.partialPayment(0, M(6000));
    EXPECT_EQ(b.left[0].text(), "102       03/20/24        90.00");
    EXPECT_EQ(b.right[1].text(), "102       03/20/24        60.00P");
    EXPECT_FALSE(b.postEnabled());
    b.paidAmountTyped("160.00", prompter);
    EXPECT_EQ(b.postedText(), "160.00");
    ASSERT_TRUE(b.postEnabled());
    PostOutcome o = post(b, "C1");
    EXPECT_TRUE(o.failed.empty());
    EXPECT_EQ(o.written, M(16000));

    data::InvoiceRecord i101 = read(r101);
    EXPECT_EQ(i101.text(Invoice::TransType), "I");
    EXPECT_EQ(i101.text(Invoice::PaidFlag), "P");
    EXPECT_EQ(i101.text(Invoice::PaidDate), "2024/04/12");
    EXPECT_EQ(i101.text(Invoice::Paid), "100.00");
    EXPECT_EQ(i101.text(Invoice::BalanceDue), "0.00");
    EXPECT_EQ(i101.text(Invoice::StmntNote), "Check 5512");
    data::InvoiceRecord i102 = read(r102);
    EXPECT_EQ(i102.text(Invoice::TransType), "Z");
    EXPECT_EQ(data::TrimmedText(i102.text(Invoice::PaidFlag)), "");
    EXPECT_EQ(i102.text(Invoice::PaidDate), "");
    EXPECT_EQ(i102.text(Invoice::Paid), "0.00");
    EXPECT_EQ(i102.text(Invoice::BalanceDue), "90.00");
    auto all102 = numbered("102");
    ASSERT_EQ(all102.size(), 2u);
    const data::InvoiceRecord& x = all102[1];
    EXPECT_EQ(x.text(Invoice::TransType), "X");
    EXPECT_EQ(x.text(Invoice::KeyCode), "Partial");
    EXPECT_EQ(x.text(Invoice::InvoiceStyle), "P");
    EXPECT_EQ(x.text(Invoice::InvDate), "04/12/2024");
    EXPECT_EQ(x.text(Invoice::InvMonth), "04");
    EXPECT_EQ(x.text(Invoice::InvDay), "12");
    EXPECT_EQ(x.text(Invoice::InvYear), "2024");
    EXPECT_EQ(x.text(Invoice::SortDate), "2024/04/12");
    EXPECT_EQ(x.text(Invoice::PaidDate), "2024/04/12");
    EXPECT_EQ(x.text(Invoice::CustNo), "C1");
    EXPECT_EQ(x.text(Invoice::ShortName), "ShortC1");
    EXPECT_EQ(x.text(Invoice::StmntNote), "Check 5512");
    EXPECT_EQ(x.text(Invoice::Paid), "60.00");
    for (auto f : {Invoice::Net, Invoice::Tax, Invoice::Total, Invoice::BalanceDue})
        EXPECT_EQ(x.text(f), "0.00");
    EXPECT_EQ(x.text(Invoice::PaidFlag), "P");
    EXPECT_EQ(x.text(Invoice::CompanyNo), "1");
    data::CustomerRecord c = customer("C1");
    EXPECT_EQ(c.text(Customer::Balance), "90.00");
    EXPECT_EQ(c.text(Customer::LastPayDate), "04/12/2024");
    EXPECT_EQ(aging(c), (std::array<Money, 4>{M(9000), M(0), M(0), M(0)}));
    EXPECT_EQ(storedCompany().text(Company::ARBalance), "840.00");
    EXPECT_EQ(company.text(Company::ARBalance), "840.00");
    EXPECT_EQ(storedCompany().text(Company::DepositCounter), "");

    // 2. A deposit of 40.00 on 04/13/2024.
    b = box("C1");
    ASSERT_EQ(b.left.size(), 1u);
    EXPECT_EQ(b.left[0].text(), "102       03/20/24        90.00P");
    b.payDate = "04/13/2024";
    b.note.clear();
    EXPECT_EQ(b.depositLabel(), "Invoice: DEPOSIT     Date: 04/13/2024");
    ASSERT_EQ(PaymentBox::CheckDepositAmount("40", prompter), M(4000));
    b.addDeposit(M(4000));
    EXPECT_EQ(b.right[0].text(), "DEPOSIT   04/13/24        40.00");
    b.paidAmountTyped("40", prompter);
    ASSERT_TRUE(b.postEnabled());
    o = post(b, "C1");
    ASSERT_EQ(o.deposits, std::vector<std::string>{"DP15001"});
    auto dp = numbered("DP15001");
    ASSERT_EQ(dp.size(), 1u);
    EXPECT_EQ(dp[0].text(Invoice::TransType), "D");
    EXPECT_EQ(dp[0].text(Invoice::InvoiceStyle), "D");
    EXPECT_EQ(dp[0].text(Invoice::KeyCode), "Deposit");
    EXPECT_EQ(dp[0].text(Invoice::InvDate), "04/13/2024");
    EXPECT_EQ(dp[0].text(Invoice::SortDate), "2024/04/13");
    EXPECT_EQ(dp[0].text(Invoice::PaidDate), "2024/04/13");
    EXPECT_EQ(dp[0].text(Invoice::CustNo), "C1");
    EXPECT_EQ(dp[0].text(Invoice::ShortName), "ShortC1");
    for (auto f : {Invoice::Net, Invoice::Tax, Invoice::Total})
        EXPECT_EQ(dp[0].text(f), "0.00");
    EXPECT_EQ(dp[0].text(Invoice::Paid), "40.00");
    EXPECT_EQ(dp[0].text(Invoice::BalanceDue), "-40.00");
    EXPECT_EQ(data::TrimmedText(dp[0].text(Invoice::PaidFlag)), "");
    EXPECT_EQ(dp[0].text(Invoice::CompanyNo), "1");
    c = customer("C1");
    EXPECT_EQ(c.text(Customer::Balance), "50.00");
    EXPECT_EQ(c.text(Customer::LastPayDate), "04/13/2024");
    EXPECT_EQ(aging(c), (std::array<Money, 4>{M(5000), M(0), M(0), M(0)}));
    EXPECT_EQ(storedCompany().text(Company::ARBalance), "800.00");
    EXPECT_EQ(storedCompany().text(Company::DepositCounter), "15001");
    EXPECT_EQ(company.text(Company::DepositCounter), "15001");

    // 3. 50.00 on 04/14/2024 settles the rest of 102 with the deposit: typing the balance
    // moves every open item right.
    b = box("C1");
    ASSERT_EQ(b.left.size(), 2u);
    EXPECT_EQ(b.left[1].text(), "DP15001   04/13/24       -40.00");
    EXPECT_FALSE(b.partialEnabled(1));
    b.payDate = "04/14/2024";
    b.note = "Final";
    b.paidAmountTyped("50.00", prompter);
    EXPECT_TRUE(b.left.empty());
    ASSERT_TRUE(b.postEnabled());
    o = post(b, "C1");
    EXPECT_EQ(o.written, M(5000));
    EXPECT_TRUE(o.failed.empty());
    i102 = read(r102);
    EXPECT_EQ(i102.text(Invoice::TransType), "Z");
    EXPECT_EQ(i102.text(Invoice::PaidFlag), "P");
    EXPECT_EQ(i102.text(Invoice::PaidDate), "2024/04/14");
    EXPECT_EQ(i102.text(Invoice::BalanceDue), "0.00");
    EXPECT_EQ(i102.text(Invoice::Paid), "0.00");
    all102 = numbered("102");
    ASSERT_EQ(all102.size(), 3u);
    EXPECT_EQ(all102[2].text(Invoice::TransType), "X");
    EXPECT_EQ(all102[2].text(Invoice::Paid), "90.00");
    EXPECT_EQ(all102[2].text(Invoice::StmntNote), "Final");
    dp = numbered("DP15001");
    ASSERT_EQ(dp.size(), 2u);
    EXPECT_EQ(dp[0].text(Invoice::TransType), "D");
    EXPECT_EQ(dp[0].text(Invoice::PaidFlag), "P");
    EXPECT_EQ(dp[0].text(Invoice::PaidDate), "2024/04/14");
    EXPECT_EQ(dp[0].text(Invoice::BalanceDue), "0.00");
    EXPECT_EQ(dp[0].text(Invoice::Paid), "40.00");
    EXPECT_EQ(dp[0].text(Invoice::StmntNote), "Final");
    const data::InvoiceRecord& t = dp[1];
    EXPECT_EQ(t.text(Invoice::TransType), "T");
    EXPECT_EQ(t.text(Invoice::InvoiceStyle), "D");
    EXPECT_EQ(t.text(Invoice::InvDate), "04/14/2024");
    EXPECT_EQ(t.text(Invoice::SortDate), "2024/04/14");
    EXPECT_EQ(t.text(Invoice::PaidDate), "2024/04/14");
    EXPECT_EQ(t.text(Invoice::Paid), "-40.00");
    for (auto f : {Invoice::Tax, Invoice::Total, Invoice::BalanceDue})
        EXPECT_EQ(t.text(f), "0.00");
    EXPECT_EQ(t.text(Invoice::PaidFlag), "P");
    EXPECT_EQ(t.text(Invoice::StmntNote), "Final");
    c = customer("C1");
    EXPECT_EQ(c.text(Customer::Balance), "0.00");
    EXPECT_EQ(c.text(Customer::LastPayDate), "04/14/2024");
    EXPECT_EQ(aging(c), (std::array<Money, 4>{}));
    EXPECT_EQ(storedCompany().text(Company::ARBalance), "750.00");
    EXPECT_EQ(storedCompany().text(Company::DepositCounter), "15001");

    // Nothing is left open, so the customer is told there is nothing due.
    prompter.expect(std::string(kNoBalanceDue));
    b = box("C1");
    EXPECT_TRUE(b.left.empty());
}

TEST_F(PaymentTest, DepositCounterStartsAtFifteenThousandAndWrapsPast999998) {
    EXPECT_EQ(NextDepositCounter(""), "15001");
    EXPECT_EQ(NextDepositCounter("  "), "15001");
    EXPECT_EQ(NextDepositCounter("x12"), "15001");
    EXPECT_EQ(NextDepositCounter("5000"), "5001");
    EXPECT_EQ(NextDepositCounter("999997"), "999998");
    EXPECT_EQ(NextDepositCounter("999998"), "5000");
    EXPECT_EQ(NextDepositCounter("999999"), "5000");

    // Two deposits in one posting: the second takes the number after the first.
    addCustomer("C2", 0);
    setStoredCounter("999997");
    prompter.expect(std::string(kNoBalanceDue));
    PaymentBox b = box("C2");
    b.addDeposit(M(1000));
    b.addDeposit(M(2000));
    b.paidAmountTyped("30", prompter);
    ASSERT_TRUE(b.postEnabled());
    PostOutcome o = post(b, "C2");
    EXPECT_EQ(o.deposits, (std::vector<std::string>{"DP999998", "DP5000"}));
    EXPECT_EQ(storedCompany().text(Company::DepositCounter), "5000");
    EXPECT_EQ(customer("C2").text(Customer::Balance), "-30.00");
    EXPECT_EQ(aging(customer("C2"))[0], M(-3000));
}

TEST_F(PaymentTest, DayFirstCompanyWritesItsOwnDateOrderAndSortDates) {
    company.setText(Company::DateFormatCode, "D");
    addCustomer("C3", 10000, {10000, 0, 0, 0});
    const int32_t rec = add({.no = "301", .cust = "C3", .date = {2024, 4, 2}, .total = "100.00"});
    PaymentBox b = box("C3");
    EXPECT_EQ(b.payDate, "15/04/2024");
    ASSERT_EQ(b.left.size(), 1u);
    EXPECT_EQ(b.left[0].date, "02/04/24");
    b.partialPayment(0, M(2500));
    b.paidAmountTyped("25.00", prompter);

    // A date that is not valid in this order stops the posting before anything is written.
    b.payDate = "04/31/2024";
    prompter.expect(std::string(kBadPaymentDate));
    PostOutcome o = post(b, "C3");
    EXPECT_FALSE(o.dateValid);
    EXPECT_EQ(numbered("301").size(), 1u);

    b.payDate = "12/04/2024";
    o = post(b, "C3");
    EXPECT_TRUE(o.dateValid);
    auto all = numbered("301");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1].text(Invoice::InvDate), "12/04/2024");
    EXPECT_EQ(all[1].text(Invoice::InvMonth), "04");
    EXPECT_EQ(all[1].text(Invoice::InvDay), "12");
    EXPECT_EQ(all[1].text(Invoice::SortDate), "2024/04/12");
    EXPECT_EQ(all[1].text(Invoice::PaidDate), "2024/04/12");
    EXPECT_EQ(read(rec).text(Invoice::BalanceDue), "75.00");
    data::CustomerRecord c = customer("C3");
    EXPECT_EQ(c.text(Customer::LastPayDate), "12/04/2024");
    EXPECT_EQ(aging(c), (std::array<Money, 4>{M(7500), M(0), M(0), M(0)}));
}

TEST_F(PaymentTest, QuotesAndMastersAreNeitherOpenItemsNorAged) {
    addCustomer("C4", 10000, {10000, 0, 0, 0});
    add({.no = "401", .cust = "C4", .date = {2024, 4, 1}, .total = "100.00"});
    add({.no = "402", .type = 'Q', .cust = "C4", .date = {2024, 4, 1}, .total = "50.00"});
    add({.no = "403", .type = 'R', .cust = "C4", .date = {2024, 1, 1}, .total = "70.00"});
    PaymentBox b = box("C4");
    ASSERT_EQ(b.left.size(), 1u);
    EXPECT_EQ(b.left[0].number, "401");
    b.paidAmountTyped("100", prompter);
    ASSERT_TRUE(b.postEnabled());
    post(b, "C4");
    data::CustomerRecord c = customer("C4");
    EXPECT_EQ(c.text(Customer::Balance), "0.00");
    EXPECT_EQ(aging(c), (std::array<Money, 4>{}));
}

TEST_F(PaymentTest, ReturnedPartialJoinsItsInvoiceAndNothingGoesBelowZero) {
    addCustomer("C5", 10000, {10000, 0, 0, 0});
    const int32_t rec = add({.no = "501", .cust = "C5", .date = {2024, 4, 1}, .total = "100.00"});
    PaymentBox b = box("C5");
    b.partialPayment(0, M(3000));
    // The rest goes right too, then the 30.00 comes back: the whole 100.00 is open again.
    ASSERT_TRUE(b.moveRight(0, prompter));
    ASSERT_TRUE(b.moveLeft(indexOf(b.right, "501"), prompter));  // the partial one
    ASSERT_EQ(b.left.size(), 1u);
    EXPECT_EQ(b.left[0].text(), "501       04/01/24       100.00");
    EXPECT_TRUE(b.right.empty());
    // Back with the rest still on the left.
    b.partialPayment(0, M(3000));
    ASSERT_TRUE(b.moveAllLeft(prompter));
    ASSERT_EQ(b.left.size(), 1u);
    EXPECT_EQ(b.left[0].amount, M(10000));
    prompter.expect(std::string(kNothingToMoveLeft));
    EXPECT_FALSE(b.moveAllLeft(prompter));

    // Items put together so that they pay more than is due: the excess is refused.
    std::vector<PayItem> items = {{"501", "04/01/24", M(7000), false},
                                  {"501", "04/01/24", M(3000), true},
                                  {"501", "04/01/24", M(3000), true}};
    SaveFiles f = payFiles();
    prompter.expect(
        "Item 501 has a balance due of 0.00. A payment of 30.00 would take it past zero, so it "
        "was not posted.");
    PostOutcome o = PostPayment(f, "C5", "04/10/2024", "", items, prompter);
    EXPECT_EQ(o.written, M(10000));
    EXPECT_EQ(o.failed, std::vector<std::string>{"501"});
    data::InvoiceRecord inv = read(rec);
    EXPECT_EQ(inv.text(Invoice::BalanceDue), "0.00");
    EXPECT_EQ(inv.text(Invoice::PaidFlag), "P");
    EXPECT_EQ(inv.text(Invoice::TransType), "Z");
    // The 70.00 that was short of the whole was taken as a partial payment, not as paid in
    // full: two X records, 70.00 and 30.00.
    auto all = numbered("501");
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[1].text(Invoice::Paid), "70.00");
    EXPECT_EQ(all[2].text(Invoice::Paid), "30.00");
    EXPECT_EQ(customer("C5").text(Customer::Balance), "0.00");
    EXPECT_EQ(storedCompany().text(Company::ARBalance), "900.00");
}

// A record of the payment that cannot be written stops the posting, and nothing of the
// payment is on file: no item, no balance, no aging, no receivables, no deposit counter.
TEST_F(PaymentTest, AFailedWriteTakesBackTheWholePayment) {
    addCustomer("C6", 20000, {20000, 0, 0, 0});
    const int32_t r601 = add({.no = "601", .cust = "C6", .date = {2024, 4, 1}, .total = "100.00"});
    const int32_t r602 = add({.no = "602", .cust = "C6", .date = {2024, 4, 1}, .total = "100.00"});
    const data::CustomerRecord before = customer("C6");
    const data::CompanyRecord companyBefore = storedCompany();
    PaymentBox b = box("C6");
    b.partialPayment(indexOf(b.left, "601"), M(4000));
    b.moveRight(indexOf(b.left, "602"), prompter);
    b.addDeposit(M(1000));
    b.paidAmountTyped("150", prompter);
    ASSERT_TRUE(b.postEnabled());

    // The X record of 601 cannot be added: the payment stops there.
    storage::InjectFault(storage::EngineOp::AddRecord, 1, storage::err::OsOther);
    prompter.expect(std::string(kAddPartialFailed) + "\nItem: 601");
    PostOutcome o = post(b, "C6");
    EXPECT_EQ(o.written, Money());
    EXPECT_EQ(o.posted, 0);
    EXPECT_EQ(o.failed, (std::vector<std::string>{"601", "602", "DEPOSIT"}));
    EXPECT_TRUE(o.deposits.empty());
    auto expectNothingPosted = [&] {
        EXPECT_EQ(read(r601).text(Invoice::TransType), "I");
        EXPECT_EQ(read(r601).text(Invoice::BalanceDue), "100.00");
        EXPECT_EQ(numbered("601").size(), 1u);
        EXPECT_EQ(read(r602).text(Invoice::PaidFlag), "");
        EXPECT_EQ(read(r602).text(Invoice::BalanceDue), "100.00");
        EXPECT_TRUE(numbered("DP1").empty());
        const data::CustomerRecord c = customer("C6");
        EXPECT_EQ(c.text(Customer::Balance), before.text(Customer::Balance));
        EXPECT_EQ(aging(c), aging(before));
        EXPECT_EQ(c.text(Customer::LastPayDate), before.text(Customer::LastPayDate));
        EXPECT_EQ(storedCompany().text(Company::ARBalance), companyBefore.text(Company::ARBalance));
        EXPECT_EQ(storedCompany().text(Company::DepositCounter),
                  companyBefore.text(Company::DepositCounter));
    };
    expectNothingPosted();

    // The X record is added but the invoice cannot be changed: the X record goes with it.
    storage::ClearFaults();
    storage::InjectFault(storage::EngineOp::PutRecord, 1, storage::err::OsOther);
    std::vector<PayItem> items = {{"601", "04/01/24", M(4000), true}};
    SaveFiles f = payFiles();
    prompter.expect(std::string(kModifyFailed) + "\nItem: 601");
    o = PostPayment(f, "C6", "04/10/2024", "", items, prompter);
    EXPECT_EQ(o.written, Money());
    expectNothingPosted();
    EXPECT_EQ(f.company.text(Company::ARBalance), companyBefore.text(Company::ARBalance));

    // Whole, the same payment goes through.
    storage::ClearFaults();
    o = PostPayment(f, "C6", "04/10/2024", "", items, prompter);
    EXPECT_EQ(o.written, M(4000));
    EXPECT_EQ(numbered("601").size(), 2u);
    EXPECT_EQ(customer("C6").text(Customer::Balance), "160.00");
}

TEST_F(PaymentTest, DepositNumbersComeFromTheStoredCounterNotFromMemory) {
    addCustomer("C7", 10000, {10000, 0, 0, 0});
    add({.no = "701", .cust = "C7", .date = {2024, 4, 1}, .total = "100.00"});
    // Another program took deposit numbers meanwhile: the file's counter is ahead of the
    // company this program holds.
    setStoredCounter("15007");
    company.setText(Company::DepositCounter, "15000");
    std::vector<PayItem> items = {{"DEPOSIT", "04/10/24", M(2500), false}};
    SaveFiles f = payFiles();
    PostOutcome o = PostPayment(f, "C7", "04/10/2024", "", items, prompter);
    ASSERT_EQ(o.deposits, std::vector<std::string>{"DP15008"});
    EXPECT_EQ(storedCompany().text(Company::DepositCounter), "15008");
    EXPECT_EQ(company.text(Company::DepositCounter), "15008");

    // A payment without a deposit leaves the counter as the file holds it, whatever this
    // program remembers.
    setStoredCounter("15020");
    company.setText(Company::DepositCounter, "15008");
    items = {{"701", "04/01/24", M(1000), true}};
    o = PostPayment(f, "C7", "04/11/2024", "", items, prompter);
    EXPECT_EQ(o.posted, 1);
    EXPECT_EQ(storedCompany().text(Company::DepositCounter), "15020");
    EXPECT_EQ(company.text(Company::DepositCounter), "15020");
}

TEST_F(PaymentTest, APaymentThatMeetsALockRunsAgainWholeAndShowsItsMessagesOnce) {
    addCustomer("C8", 20000, {20000, 0, 0, 0});
    const int32_t r801 = add({.no = "801", .cust = "C8", .date = {2024, 4, 1}, .total = "100.00"});
    add({.no = "802", .cust = "C8", .date = {2024, 4, 2}, .total = "100.00"});
    // 802 is refused (a payment past zero) with a message, and the customer's write meets
    // a lock on the first attempt: the second attempt posts 801 once, and the refusal is
    // shown once, after the posting.
    std::vector<PayItem> items = {{"801", "04/01/24", M(10000), false},
                                  {"802", "04/02/24", M(15000), false}};
    storage::InjectFault(storage::EngineOp::PutRecord, 2, 10306);
    prompter.expect(
        "Item 802 has a balance due of 100.00. A payment of 150.00 would take it "
        "past zero, so it was not posted.");
    SaveFiles f = payFiles();
    const int64_t reruns = data::PostingReruns();
    PostOutcome o = PostPayment(f, "C8", "04/10/2024", "", items, prompter);
    EXPECT_TRUE(prompter.done());
    EXPECT_EQ(data::PostingReruns() - reruns, 1);
    EXPECT_EQ(o.posted, 1);
    EXPECT_EQ(o.failed, std::vector<std::string>{"802"});
    EXPECT_EQ(read(r801).text(Invoice::PaidFlag), "P");
    EXPECT_EQ(numbered("801").size(), 1u);
    EXPECT_EQ(customer("C8").text(Customer::Balance), "100.00");
}

TEST_F(PaymentTest, PaidAmountTypingChecksAndAutoMove) {
    addCustomer("C7", 10000, {10000, 0, 0, 0});
    add({.no = "701", .cust = "C7", .date = {2024, 4, 1}, .total = "60.00"});
    add({.no = "702", .cust = "C7", .date = {2024, 4, 1}, .total = "40.00"});
    PaymentBox b = box("C7");
    prompter.expect(std::string(kNegativePayment));
    b.paidAmountTyped("-5", prompter);
    prompter.expect(std::string(kPaymentNotNumeric));
    b.paidAmountTyped("5a", prompter);
    b.paidAmountTyped("", prompter);
    b.paidAmountTyped("12.", prompter);
    EXPECT_EQ(b.paidAmount(), M(1200));
    EXPECT_EQ(b.left.size(), 2u);
    b.paidAmountTyped("1,00.00", prompter);  // commas go: 100.00, the balance
    EXPECT_TRUE(b.left.empty());
    EXPECT_EQ(b.right.size(), 2u);
    EXPECT_TRUE(b.postEnabled());
    prompter.expect(std::string(kNothingToMoveRight));
    EXPECT_FALSE(b.moveRight(0, prompter));

    // The amount dialog's checks.
    b.moveAllLeft(prompter);
    const std::size_t i = indexOf(b.left, "702");
    prompter.expect(std::string(kAmountNotAboveZero));
    EXPECT_FALSE(b.checkPartialAmount(i, "0", prompter));
    prompter.expect(std::string(kPartialNotBelowDue));
    EXPECT_FALSE(b.checkPartialAmount(i, "40.00", prompter));
    prompter.expect(std::string(kAmountNotAboveZero));
    EXPECT_FALSE(PaymentBox::CheckDepositAmount("abc", prompter));
    EXPECT_EQ(PaymentBox::CheckDepositAmount("99999.99", prompter), M(9999999));
}

// The demo history's payments leave every customer's balance and aging equal to what its
// records owe, and show each kind of payment record.
TEST_F(PaymentTest, DemoPaymentsLeaveBalancesMatchingTheRecords) {
    const std::string folder = dir.file("demo");
    app::InstallResult r = app::CreateDemoInstallation(folder, prompter);
    ASSERT_TRUE(r.ok) << r.message;
    storage::Fileblock* inv = storage::OpenFileblock(folder + "/1I", true);
    ASSERT_TRUE(storage::EngineOk);
    std::map<std::string, Money> owed;
    std::map<std::string, int> kinds;
    for (int32_t rec = storage::NextUsedRecord(inv, 0); storage::EngineOk && rec > 0;
         rec = storage::NextUsedRecord(inv, rec)) {
        auto x = data::ReadBusinessRecord<Invoice>(inv, rec);
        ASSERT_TRUE(x);
        const std::string t = x->text(Invoice::TransType);
        ++kinds[t];
        if (t == "D") ++kinds[x->text(Invoice::PaidFlag) == "P" ? "D used" : "D open"];
        if (invoicing::IsReceivable(*x))
            owed[x->text(Invoice::CustNo)] += x->money(Invoice::BalanceDue);
        // No payment takes an invoice past zero (credit invoices owe less than nothing).
        if (t != "Q" && t != "D" && x->money(Invoice::Total) >= Money()) {
            EXPECT_GE(x->money(Invoice::BalanceDue), Money()) << x->text(Invoice::InvNo);
        }
    }
    EXPECT_GT(kinds["X"], 5);
    EXPECT_GT(kinds["Z"], 5);
    // The first customer's advance, and a payment on account of more than the newest bills.
    EXPECT_EQ(kinds["D open"], 2);
    EXPECT_EQ(kinds["D used"], 1);
    EXPECT_EQ(kinds["T"], 1);
    storage::Fileblock* cust = storage::OpenFileblock(folder + "/1C", true);
    ASSERT_TRUE(storage::EngineOk);
    std::array<Money, 4> periods{};
    for (int32_t rec = storage::NextUsedRecord(cust, 0); storage::EngineOk && rec > 0;
         rec = storage::NextUsedRecord(cust, rec)) {
        auto c = data::ReadBusinessRecord<Customer>(cust, rec);
        ASSERT_TRUE(c);
        const std::string no = c->text(Customer::CustNo);
        EXPECT_EQ(c->money(Customer::Balance), owed[no]) << no;
        auto a = aging(*c);
        EXPECT_EQ(a[0] + a[1] + a[2] + a[3], owed[no]) << no;
        for (int i = 0; i < 4; ++i)
            periods[size_t(i)] += a[size_t(i)];
    }
    for (const Money& m : periods)
        EXPECT_GT(m, Money());
    storage::CloseFileblock(cust);
    storage::CloseFileblock(inv);
}

}  // namespace
}  // namespace invarro::invoicing::testing
