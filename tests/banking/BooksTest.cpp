// Bank lines on file: stored once, matched to open invoices with their reasons, and
// posted as payments whole or not at all.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "banking/BankLines.h"
#include "banking/Camt.h"
#include "banking/Match.h"
#include "banking/Post.h"
#include "data/PaymentReference.h"
#include "data/Rebuild.h"
#include "invoicing/InvoiceFixture.h"
#include "storage/EngineTesting.h"
#include "support/RecordingProgress.h"

namespace invarro::banking {
namespace {

using data::Money;

// Takes every message with its default answer: a failed write shows one.
struct QuietPrompter : platform::Prompter {
    platform::Answer ask(const platform::Message& m) override {
        ++shown;
        return m.defaultButton;
    }
    void beep() override {}
    int shown = 0;
};

StatementLine Credit(std::string amount, std::string text = {}, std::string bankId = {}) {
    StatementLine l;
    l.account = "DE89370400440532013000";
    l.bookDate = {2024, 4, 10};
    l.amount = std::move(amount);
    l.currency = "EUR";
    l.text = std::move(text);
    l.bankId = std::move(bankId);
    return l;
}

class BankBooksTest : public invoicing::testing::InvoiceTest {
  protected:
    void SetUp() override {
        InvoiceTest::SetUp();
        bank = createOpen(data::FileKind::BankLine);
        addCustomer("1001", 0);
        addCustomer("1002", 0);
    }
    void TearDown() override {
        storage::ClearFaults();
        if (bank) storage::CloseFileblock(bank);
        InvoiceTest::TearDown();
    }
    MatchBooks books() {
        storage::Fileblock* customers =
            storage::OpenFileblock(name(data::FileKind::Customer), false);
        auto b = LoadBooks(invoices, customers, bank, "EUR");
        storage::CloseFileblock(customers);
        EXPECT_TRUE(b);
        return b ? *b : MatchBooks{};
    }
    Proposal propose(const StatementLine& l) { return Propose(l, books()); }
    int32_t store(const StatementLine& l) {
        StoreOutcome o = StoreLines(bank, {l}, "20240410", prompter);
        EXPECT_TRUE(o.ok);
        return o.added.empty() ? 0 : o.added.front();
    }
    invoicing::SaveFiles payFiles() {
        return invoicing::SaveFiles{dir.path(), company, invoices,     lines,
                                    memos,      nullptr, {2024, 4, 15}};
    }
    PostResult post(int32_t recNo, platform::Prompter* shown = nullptr) {
        auto line = ReadLine(bank, recNo);
        EXPECT_TRUE(line);
        invoicing::SaveFiles f = payFiles();
        return PostLine(f, bank, recNo, Propose(line->line, books()), shown ? *shown : prompter);
    }
    Money due(int32_t recNo) { return read(recNo).money(data::Invoice::BalanceDue); }

    storage::Fileblock* bank = nullptr;
};

TEST_F(BankBooksTest, TheSameLinesImportedAgainAreStoredOnce) {
    const StatementLine a = Credit("10.00", "coffee");
    const StatementLine withId = Credit("20.00", "tea", "REF-1");
    // Two genuinely identical lines on one day are both kept.
    StoreOutcome first = StoreLines(bank, {a, a, withId}, "20240410", prompter);
    ASSERT_TRUE(first.ok);
    EXPECT_EQ(first.added.size(), 3u);
    // The same file again adds nothing.
    StoreOutcome again = StoreLines(bank, {a, a, withId}, "20240411", prompter);
    EXPECT_TRUE(again.added.empty());
    EXPECT_EQ(again.duplicates, 3);
    // An overlapping statement with a third identical line adds only the surplus.
    StoreOutcome overlap = StoreLines(bank, {a, a, a, Credit("30.00")}, "20240412", prompter);
    EXPECT_EQ(overlap.added.size(), 2u);
    // The bank's id decides, whatever the text: a notification and the later statement
    // of the same entry are one line; the same id in another account is another line.
    StatementLine booked = withId;
    booked.text = "tea, as booked";
    StatementLine otherAccount = withId;
    otherAccount.account = "DE02120300000000202051";
    StoreOutcome ids = StoreLines(bank, {booked, otherAccount}, "20240413", prompter);
    EXPECT_EQ(ids.added.size(), 1u);
    auto all = AllLines(bank);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->size(), 6u);
    EXPECT_EQ(all->front().state, LineState::New);
    EXPECT_EQ(all->front().line, a);
}

TEST_F(BankBooksTest, AFailedWriteStoresNothingOfTheFile) {
    storage::InjectFault(storage::EngineOp::AddRecord, 2, storage::err::ShortWrite);
    StoreOutcome o =
        StoreLines(bank, {Credit("1.00"), Credit("2.00"), Credit("3.00")}, "20240410", prompter);
    EXPECT_FALSE(o.ok);
    storage::ClearFaults();
    EXPECT_EQ(storage::UsedRecordCount(bank), 0);
    EXPECT_EQ(StoreLines(bank, {Credit("1.00"), Credit("2.00")}, "20240410", prompter).added.size(),
              2u);
}

TEST_F(BankBooksTest, ReferenceNamesTheOpenInvoiceAndSaysWhy) {
    add({.no = "0123", .cust = "1001", .total = "119.00"});
    add({.no = "124", .cust = "1001", .total = "50.00", .paid = "50.00"});
    StatementLine l = Credit("119.00");
    l.reference = *data::InvoiceReference("123");
    Proposal p = propose(l);
    EXPECT_EQ(p.rule, Rule::Reference);
    EXPECT_EQ(p.custNo, "1001");
    EXPECT_EQ(p.invoices, (std::vector<Allocation>{{"0123", Money::FromCents(11900), false}}));
    EXPECT_TRUE(p.exact());
    EXPECT_NE(p.why.find("names invoice 0123"), std::string::npos) << p.why;
    // The Swiss QR reference follows the same mapping.
    l.reference = *data::InvoiceQrReference("123");
    EXPECT_EQ(propose(l).rule, Rule::Reference);
    // A paid and an unknown invoice give no proposal, and say so.
    l.reference = *data::InvoiceReference("124");
    Proposal paid = propose(l);
    EXPECT_FALSE(paid.found());
    EXPECT_NE(paid.why.find("not open"), std::string::npos) << paid.why;
    l.reference = *data::InvoiceReference("999");
    EXPECT_FALSE(propose(l).found());
}

TEST_F(BankBooksTest, PartialAndOverpaymentsAreProposalsToo) {
    add({.no = "200", .cust = "1002", .total = "100.00"});
    Proposal partial = propose(Credit("40.00", "Invoice 200"));
    EXPECT_EQ(partial.rule, Rule::InvoiceNumber);
    EXPECT_EQ(partial.invoices, (std::vector<Allocation>{{"200", Money::FromCents(4000), true}}));
    EXPECT_FALSE(partial.exact());
    Proposal over = propose(Credit("120.00", "Invoice 200"));
    EXPECT_EQ(over.invoices, (std::vector<Allocation>{{"200", Money::FromCents(10000), false}}));
    EXPECT_EQ(over.deposit, Money::FromCents(2000));
    EXPECT_FALSE(over.exact());
}

TEST_F(BankBooksTest, AnInvoiceNumberMatchesOnlyAsAWholeWord) {
    add({.no = "12", .cust = "1001", .total = "10.00"});
    add({.no = "1234", .cust = "1002", .total = "10.00"});
    EXPECT_EQ(propose(Credit("10.00", "Rechnung 1234 danke")).invoices.front().invNo, "1234");
    EXPECT_EQ(propose(Credit("10.00", "INV-0012 of March")).invoices.front().invNo, "12");
    EXPECT_EQ(propose(Credit("10.00", "Invoice 12.")).invoices.front().invNo, "12");
    for (const char* text : {"Rechnung 123", "A12", "12345", "order 112", "vom 15.12.2024",
                             "1,12 EUR", "12/2024", "Konto 4-12"})
        EXPECT_FALSE(propose(Credit("10.00", text)).found()) << text;
}

TEST_F(BankBooksTest, OneCreditForThreeInvoicesOfTheCustomer) {
    add({.no = "301", .cust = "1001", .date = {2024, 1, 5}, .total = "100.00"});
    add({.no = "302", .cust = "1001", .date = {2024, 2, 5}, .total = "250.00"});
    add({.no = "303", .cust = "1001", .date = {2024, 3, 5}, .total = "75.50"});
    add({.no = "304", .cust = "1002", .date = {2024, 3, 5}, .total = "425.50"});
    StatementLine l = Credit("425.50", "thanks");
    l.payerName = "CUSTOMER 1001";
    Proposal p = propose(l);
    ASSERT_EQ(p.rule, Rule::CustomerSum) << p.why;
    EXPECT_EQ(p.custNo, "1001");
    EXPECT_EQ(p.invoices.size(), 3u);
    EXPECT_NE(p.why.find("301, 302 and 303"), std::string::npos) << p.why;
    // Two different sets that fit give none.
    add({.no = "305", .cust = "1001", .date = {2024, 3, 6}, .total = "174.50"});
    l.amount = "250.00";
    Proposal two = propose(l);
    EXPECT_FALSE(two.found());
    EXPECT_NE(two.why.find("more than one set"), std::string::npos) << two.why;
}

TEST_F(BankBooksTest, AnInvoicePaidNetOfTheCustomersCreditHasTheCreditApplied) {
    const int32_t inv = add({.no = "800", .cust = "1001", .date = {2024, 1, 5}, .total = "100.00"});
    const int32_t credit =
        add({.no = "801", .type = 'C', .cust = "1001", .date = {2024, 2, 5}, .total = "-20.00"});
    add({.no = "802", .type = 'C', .cust = "1002", .date = {2024, 2, 5}, .total = "-30.00"});
    Proposal p = propose(Credit("80.00", "Invoice 800"));
    EXPECT_EQ(p.rule, Rule::InvoiceNumber);
    EXPECT_EQ(p.invoices, (std::vector<Allocation>{{"800", Money::FromCents(10000), false},
                                                   {"801", Money::FromCents(-2000), false}}));
    EXPECT_NE(p.why.find("less the customer's credit 801"), std::string::npos) << p.why;
    EXPECT_FALSE(p.exact());  // never posted by --post exact
    // Another customer's credit is never used; an amount no credit explains stays partial.
    Proposal other = propose(Credit("70.00", "Invoice 800"));
    EXPECT_EQ(other.invoices, (std::vector<Allocation>{{"800", Money::FromCents(7000), true}}));
    // By the customer alone: no open invoice fits, the invoice less the credit does.
    StatementLine byName = Credit("80.00", "thanks");
    byName.payerName = "CUSTOMER 1001";
    Proposal named = propose(byName);
    EXPECT_EQ(named.rule, Rule::CustomerSum) << named.why;
    EXPECT_EQ(named.invoices.size(), 2u);

    // Posted: the invoice is paid and the credit used up, in one posting.
    const int32_t rec = store(Credit("80.00", "Invoice 800"));
    PostResult r = post(rec);
    ASSERT_EQ(r.status, PostStatus::Posted) << r.why;
    EXPECT_TRUE(due(inv).isZero());
    EXPECT_TRUE(due(credit).isZero());
    EXPECT_EQ(post(rec).status, PostStatus::Refused);
}

TEST_F(BankBooksTest, TwoCreditsThatEachFitLeaveThePaymentPartial) {
    add({.no = "810", .cust = "1001", .date = {2024, 1, 5}, .total = "100.00"});
    add({.no = "811", .type = 'C', .cust = "1001", .date = {2024, 2, 5}, .total = "-20.00"});
    add({.no = "812", .type = 'C', .cust = "1001", .date = {2024, 2, 6}, .total = "-20.00"});
    Proposal p = propose(Credit("80.00", "Invoice 810"));
    EXPECT_EQ(p.invoices, (std::vector<Allocation>{{"810", Money::FromCents(8000), true}}));
    // Both together explain 60.00.
    Proposal both = propose(Credit("60.00", "Invoice 810"));
    EXPECT_EQ(both.invoices.size(), 3u) << both.why;
    EXPECT_NE(both.why.find("credits 811 and 812"), std::string::npos) << both.why;
}

TEST_F(BankBooksTest, NamesAsBanksWriteThemAndIbansLearnedFromPostedLines) {
    EXPECT_EQ(NormalizedName("Müller & Söhne GmbH"), "MUELLER SOEHNE GMBH");
    EXPECT_EQ(NormalizedName("  Frédéric  Blanc "), "FREDERIC BLANC");
    add({.no = "401", .cust = "1002", .total = "80.00"});
    add({.no = "402", .cust = "1002", .total = "60.00"});
    StatementLine first = Credit("80.00", "Invoice 401");
    first.payerIban = "DE44 5001 0517 5407 3249 31";
    const int32_t rec = store(first);
    ASSERT_EQ(post(rec).status, PostStatus::Posted);
    // The customer record has no IBAN: the posted line taught it.
    StatementLine second = Credit("60.00", "no reference at all");
    second.payerIban = "DE44500105175407324931";
    second.payerName = "SOMEONE ELSE";
    Proposal p = propose(second);
    EXPECT_EQ(p.rule, Rule::CustomerSum) << p.why;
    EXPECT_EQ(p.custNo, "1002");
    EXPECT_NE(p.why.find("IBAN"), std::string::npos);
}

TEST_F(BankBooksTest, DebitsReversalsForeignAndSubCentLinesAreNeverProposed) {
    add({.no = "500", .cust = "1001", .total = "10.00"});
    StatementLine debit = Credit("-10.00", "Invoice 500");
    StatementLine reversal = Credit("10.00", "Invoice 500");
    reversal.reversal = true;
    StatementLine foreign = Credit("10.00", "Invoice 500");
    foreign.currency = "CHF";
    StatementLine fine = Credit("10.001", "Invoice 500");
    for (const StatementLine& l : {debit, reversal, foreign, fine}) {
        Proposal p = propose(l);
        EXPECT_FALSE(p.found()) << l.amount;
        EXPECT_FALSE(p.why.empty());
    }
}

TEST_F(BankBooksTest, PostingPaysTheInvoiceAndMarksTheLineOnce) {
    const int32_t inv = add({.no = "600", .cust = "1001", .total = "119.00"});
    const int32_t rec = store(Credit("119.00", "Invoice 600"));
    PostResult r = post(rec);
    ASSERT_EQ(r.status, PostStatus::Posted) << r.why;
    EXPECT_TRUE(due(inv).isZero());
    EXPECT_EQ(read(inv).text(data::Invoice::PaidFlag), "P");
    auto line = ReadLine(bank, rec);
    EXPECT_EQ(line->state, LineState::Posted);
    EXPECT_EQ(line->paidInvNo, "600");
    EXPECT_EQ(line->custNo, "1001");
    EXPECT_EQ(post(rec).status, PostStatus::Refused);
}

TEST_F(BankBooksTest, AnOverpaymentLeavesTheRestAsADeposit) {
    const int32_t inv = add({.no = "610", .cust = "1001", .total = "100.00"});
    const int32_t rec = store(Credit("130.00", "Invoice 610"));
    PostResult r = post(rec);
    ASSERT_EQ(r.status, PostStatus::Posted) << r.why;
    EXPECT_TRUE(due(inv).isZero());
    EXPECT_FALSE(r.depositNo.empty());
}

TEST_F(BankBooksTest, AProposalThatWentStaleGoesBackToNewWithTheReason) {
    const int32_t inv = add({.no = "700", .cust = "1001", .total = "50.00"});
    const int32_t rec = store(Credit("50.00", "Invoice 700"));
    const Proposal p = Propose(ReadLine(bank, rec)->line, books());
    ASSERT_TRUE(p.exact());
    // The invoice is paid in the meantime.
    data::InvoiceRecord paid = read(inv);
    paid.setText(data::Invoice::PaidFlag, "P");
    ASSERT_TRUE(paid.setMoney(data::Invoice::BalanceDue, Money()));
    ASSERT_TRUE(data::ChangeBusinessRecord(invoices, inv, read(inv), paid, prompter).ok());
    invoicing::SaveFiles f = payFiles();
    PostResult r = PostLine(f, bank, rec, p, prompter);
    EXPECT_EQ(r.status, PostStatus::Stale);
    auto line = ReadLine(bank, rec);
    EXPECT_EQ(line->state, LineState::New);
    EXPECT_NE(line->note.find("700"), std::string::npos) << line->note;
}

TEST_F(BankBooksTest, AFailedWriteAnywhereInThePostLeavesNothingAndItPostsOnceAfterwards) {
    const int32_t inv = add({.no = "800", .cust = "1001", .total = "70.00"});
    const int32_t rec = store(Credit("70.00", "Invoice 800"));
    const Money arBefore = company.money(data::Company::ARBalance);
    int failures = 0;
    for (int nth = 1; nth < 40; ++nth) {
        storage::ClearFaults();
        storage::InjectFault(storage::EngineOp::PutRecord, nth, storage::err::ShortWrite);
        QuietPrompter quiet;
        PostResult r = post(rec, &quiet);
        storage::ClearFaults();
        if (r.status == PostStatus::Posted) break;
        ++failures;
        EXPECT_EQ(r.status, PostStatus::Failed);
        EXPECT_EQ(due(inv), Money::FromCents(7000)) << nth;
        EXPECT_EQ(ReadLine(bank, rec)->state, LineState::New) << nth;
        EXPECT_EQ(company.money(data::Company::ARBalance), arBefore) << nth;
    }
    EXPECT_GT(failures, 0);
    EXPECT_TRUE(due(inv).isZero());
    EXPECT_EQ(ReadLine(bank, rec)->state, LineState::Posted);
    EXPECT_EQ(post(rec).status, PostStatus::Refused);
}

}  // namespace
}  // namespace invarro::banking

namespace invarro::banking {
namespace {

StoredLine Stored(int32_t recNo, std::string amount, LineState state, data::Date day,
                  std::string iban) {
    StoredLine s;
    s.recNo = recNo;
    s.state = state;
    s.line.account = "DE89370400440532013000";
    s.line.amount = std::move(amount);
    s.line.currency = "EUR";
    s.line.bookDate = day;
    s.line.payerIban = std::move(iban);
    s.paidInvNo = "600";
    return s;
}

TEST(Returns, ADebitOrReversalIsShownBesideThePaymentItReturns) {
    const std::string payer = "DE44500105175407324931";
    std::vector<StoredLine> all = {
        Stored(1, "119.00", LineState::Posted, {2024, 4, 1}, payer),
        Stored(2, "119.00", LineState::Posted, {2024, 4, 8}, payer),
        Stored(3, "119.00", LineState::New, {2024, 4, 9}, payer),  // not posted
        Stored(4, "119.00", LineState::Posted, {2024, 4, 9}, "DE02120300000000202051"),
    };
    StoredLine back = Stored(5, "-119.00", LineState::New, {2024, 4, 10}, payer);
    all.push_back(back);
    const StoredLine* paid = ReturnedPayment(back, all);
    ASSERT_TRUE(paid);
    EXPECT_EQ(paid->recNo, 2);  // the latest posted one of the payer
    // A reversal written as a credit amount is a return too.
    StoredLine reversal = Stored(6, "119.00", LineState::New, {2024, 4, 10}, payer);
    reversal.line.reversal = true;
    EXPECT_EQ(ReturnedPayment(reversal, all)->recNo, 2);
    // Another amount, an earlier date, a credit or another currency return nothing.
    EXPECT_FALSE(ReturnedPayment(Stored(7, "-118.00", LineState::New, {2024, 4, 10}, payer), all));
    EXPECT_FALSE(ReturnedPayment(Stored(8, "-119.00", LineState::New, {2024, 3, 1}, payer), all));
    EXPECT_FALSE(ReturnedPayment(Stored(9, "119.00", LineState::New, {2024, 4, 10}, payer), all));
    StoredLine francs = back;
    francs.line.currency = "CHF";
    EXPECT_FALSE(ReturnedPayment(francs, all));
}

}  // namespace
}  // namespace invarro::banking

namespace invarro::banking {
namespace {

std::string DataFile(const std::string& name) {
    std::ifstream in(std::string(INVARRO_BANKING_DATA) + "/" + name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

using NotificationTest = BankBooksTest;

TEST_F(NotificationTest, ANotificationAndTheStatementThatBooksItLaterAreOneLine) {
    const ReadResult notified = ReadCamt(DataFile("own.camt054.v4.xml"));
    ASSERT_TRUE(notified.ok) << notified.error;
    ASSERT_EQ(notified.lines.size(), 1u);
    EXPECT_EQ(StoreLines(bank, notified.lines, "20250101", prompter).added.size(), 1u);
    const ReadResult booked = ReadCamt(DataFile("own.camt053.v8.xml"));
    ASSERT_TRUE(booked.ok) << booked.error;
    StoreOutcome o = StoreLines(bank, booked.lines, "20250105", prompter);
    EXPECT_EQ(o.added.size(), 5u);
    EXPECT_EQ(o.duplicates, 1);
    // The same statement in its older version is the same lines.
    StoreOutcome v2 =
        StoreLines(bank, ReadCamt(DataFile("own.camt053.v2.xml")).lines, "20250106", prompter);
    EXPECT_TRUE(v2.added.empty());
    EXPECT_EQ(v2.duplicates, 6);
}

}  // namespace
}  // namespace invarro::banking

namespace invarro::banking {
namespace {

TEST_F(NotificationTest, ARebuiltBankFileKeepsEveryLineAndFindsThemAgain) {
    const ReadResult booked = ReadCamt(DataFile("own.camt053.v8.xml"));
    ASSERT_EQ(StoreLines(bank, booked.lines, "20250105", prompter).added.size(), 6u);
    auto before = AllLines(bank);
    storage::CloseFileblock(bank);
    bank = nullptr;
    testing::RecordingProgress progress;
    ASSERT_TRUE(data::RebuildBusinessFileblock(name(data::FileKind::BankLine),
                                               data::KindOf(data::FileKind::BankLine), progress));
    bank = storage::OpenFileblock(name(data::FileKind::BankLine), false);
    ASSERT_TRUE(storage::EngineOk);
    auto after = AllLines(bank);
    ASSERT_TRUE(before && after);
    ASSERT_EQ(after->size(), before->size());
    for (std::size_t i = 0; i < after->size(); ++i)
        EXPECT_EQ((*after)[i].line, (*before)[i].line);
    // The rebuilt index still knows each line.
    EXPECT_EQ(StoreLines(bank, booked.lines, "20250106", prompter).duplicates, 6);
}

}  // namespace
}  // namespace invarro::banking
