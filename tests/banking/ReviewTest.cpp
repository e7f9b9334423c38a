// The review of the stored bank lines: reading a file in the format it is written in, the
// check of its account, the user's decision on a line kept in the line itself, and the
// posting of the confirmed lines, each whole or not at all.
#include "banking/Review.h"

#include <gtest/gtest.h>

#include "data/EInvoiceData.h"
#include "data/Files.h"
#include "data/PaymentReference.h"
#include "invoicing/InvoiceFixture.h"

namespace invarro::banking {
namespace {

using data::Money;

constexpr const char* kIban = "DE89370400440532013000";

MatchBooks Books(std::vector<OpenInvoice> open) {
    MatchBooks b;
    b.currency = "EUR";
    b.open = std::move(open);
    return b;
}

TEST(ConfirmedNote, ReadsBackWhatWasWrittenAndNothingElse) {
    EXPECT_EQ(ConfirmedNote({"301", "302", "A-7"}), "Pays 301, 302, A-7");
    EXPECT_EQ(ConfirmedInvoices("Pays 301, 302, A-7"),
              (std::vector<std::string>{"301", "302", "A-7"}));
    EXPECT_EQ(ConfirmedNote({}), "Pays");
    EXPECT_EQ(ConfirmedInvoices("Pays"), std::vector<std::string>{});
    for (const char* other :
         {"", "Proposal went stale: invoice 12", "Payson", "Pays 1, , 2", "pays 12"})
        EXPECT_FALSE(ConfirmedInvoices(other)) << other;
}

TEST(PaymentForChoice, WholeBalancesInTurnThePartLastAndTheRestOnAccount) {
    const MatchBooks books = Books({{"301", "1001", Money::FromCents(10000), "20240105"},
                                    {"302", "1001", Money::FromCents(25000), "20240205"},
                                    {"401", "1002", Money::FromCents(5000), "20240105"}});
    auto pay = [&](int64_t cents, std::vector<std::string> invoices, std::string cust = "1001") {
        return PaymentForChoice(Money::FromCents(cents), cust, invoices, books);
    };
    ChosenPayment both = pay(35000, {"301", "0302"});
    ASSERT_TRUE(both.proposal) << both.why;
    EXPECT_EQ(both.proposal->rule, Rule::Chosen);
    EXPECT_EQ(both.proposal->invoices,
              (std::vector<Allocation>{{"301", Money::FromCents(10000), false},
                                       {"302", Money::FromCents(25000), false}}));
    EXPECT_TRUE(both.proposal->deposit.isZero());
    // Short: the last invoice reached is paid in part.
    ChosenPayment part = pay(20000, {"301", "302"});
    ASSERT_TRUE(part.proposal);
    EXPECT_EQ(part.proposal->invoices.back(), (Allocation{"302", Money::FromCents(10000), true}));
    // Over: the rest on account; no invoice at all puts everything there.
    EXPECT_EQ(pay(12345, {"301"}).proposal->deposit, Money::FromCents(2345));
    EXPECT_EQ(pay(500, {}).proposal->deposit, Money::FromCents(500));

    for (const auto& [wrong, why] : std::vector<std::pair<ChosenPayment, std::string>>{
             {pay(10000, {"401"}), "not an open invoice of customer 1001"},
             {pay(10000, {"30"}), "not an open invoice"},
             {pay(10000, {"999"}), "not an open invoice"},
             {pay(10000, {"301", "302"}), "used up before invoice 302"},
             {pay(20000, {"301", "301"}), "chosen twice"},
             {pay(-10000, {"301"}), "only a credit"},
             {pay(10000, {"301"}, " "), "no customer"}}) {
        EXPECT_FALSE(wrong.proposal) << why;
        EXPECT_NE(wrong.why.find(why), std::string::npos) << wrong.why;
    }
}

TEST(StatementAccount, TheCompanysIbanOrItsBankCodeAndAccountNumber) {
    EXPECT_TRUE(SameAccount("DE89 3704 0044 0532 0130 00", kIban));
    EXPECT_TRUE(SameAccount("37040044/532013000", kIban));
    EXPECT_FALSE(SameAccount("37040044/532013001", kIban));
    EXPECT_FALSE(SameAccount("DE02120300000000202051", kIban));
    StatementLine mine, other, blank;
    mine.account = kIban;
    other.account = "DE02120300000000202051";
    EXPECT_EQ(OtherAccounts({mine, other, blank, other}, kIban),
              std::vector<std::string>{"DE02120300000000202051"});
    EXPECT_TRUE(OtherAccounts({other}, "").empty());
}

TEST(StatementFormat, TellsTheFormatsApartByWhatTheFileHolds) {
    for (const auto& [file, format] :
         std::vector<std::pair<std::string, std::string>>{{"own.camt053.v8.xml", "camt"},
                                                          {"camt054.v2.xml", "camt"},
                                                          {"own.mt940.sta", "mt940"},
                                                          {"own.ofx1.ofx", "ofx"},
                                                          {"own.ofx2.ofx", "ofx"}}) {
        auto bytes = data::ReadWholeFile(std::string(INVARRO_BANKING_DATA) + "/" + file);
        ASSERT_TRUE(bytes) << file;
        EXPECT_EQ(DetectFormat(*bytes), format) << file;
        const ReadResult read = ReadStatementFile(*bytes, "", CsvMapping{});
        EXPECT_TRUE(read.ok) << file << ": " << read.error;
        EXPECT_FALSE(read.lines.empty()) << file;
    }
    EXPECT_EQ(DetectFormat("Datum;Betrag\n01.02.2024;1,00\n"), "csv");
    // A CSV file without a complete mapping is refused as a whole, as is an unknown format.
    CsvMapping none;
    none.date.clear();
    EXPECT_FALSE(ReadStatementFile("Datum;Betrag\n", "csv", none).ok);
    EXPECT_FALSE(ReadStatementFile("x", "qif", none).ok);
}

// A company in euro with its account, two customers and their invoices, the files closed
// while the review opens them itself.
class ReviewTest : public invoicing::testing::InvoiceTest {
  protected:
    void SetUp() override {
        InvoiceTest::SetUp();
        data::CompanyEInvoice e;
        e.currency = "EUR";
        e.iban = kIban;
        data::IniFile ini(data::IniFilePath(dir.path()));
        ASSERT_TRUE(data::WriteCompanyEInvoice(ini, "1", e));
        ASSERT_TRUE(data::CreateBusinessFileblock(name(data::FileKind::BankLine),
                                                  data::KindOf(data::FileKind::BankLine)));
        addCustomer("1001", 0);
        addCustomer("1002", 0);
        add({.no = "301", .cust = "1001", .date = {2024, 1, 5}, .total = "100.00"});
        add({.no = "302", .cust = "1001", .date = {2024, 2, 5}, .total = "250.00"});
        add({.no = "401", .cust = "1002", .date = {2024, 2, 5}, .total = "60.00"});
        closeFiles();
    }
    void closeFiles() {
        for (storage::Fileblock** fb : {&invoices, &lines, &memos}) {
            if (*fb) storage::CloseFileblock(*fb);
            *fb = nullptr;
        }
    }
    // The balance due of the invoice with the number, read from the file.
    Money dueOf(const std::string& no) {
        storage::Fileblock* fb = storage::OpenFileblock(name(data::FileKind::Invoice), false);
        Money due;
        for (int32_t r = storage::NextUsedRecord(fb, 0); storage::EngineOk && r > 0;
             r = storage::NextUsedRecord(fb, r)) {
            auto rec = data::ReadBusinessRecord<data::Invoice>(fb, r);
            if (rec && data::TrimmedText(rec->text(data::Invoice::InvNo)) == no)
                due += rec->money(data::Invoice::BalanceDue);
        }
        storage::CloseFileblock(fb);
        return due;
    }
    static StatementLine Line(std::string amount, std::string reference, std::string text,
                              std::string bankId) {
        StatementLine l;
        l.account = kIban;
        l.bookDate = {2024, 4, 10};
        l.amount = std::move(amount);
        l.currency = "EUR";
        l.reference = std::move(reference);
        l.text = std::move(text);
        l.bankId = std::move(bankId);
        return l;
    }
    int32_t recOf(const std::string& bankId) {
        for (const ReviewRow& r : review.rows())
            if (r.stored.line.bankId == bankId) return r.stored.recNo;
        ADD_FAILURE() << "no line " << bankId;
        return 0;
    }
    const ReviewRow& rowOf(const std::string& bankId) { return *review.row(recOf(bankId)); }

    BankReview review{dir.path(), company, prompter, data::Date{2024, 4, 15}};
};

TEST_F(ReviewTest, ConfirmedLinesPostWholeAndTheirInvoicesClose) {
    ReadResult read;
    read.lines = {Line("100.00", *data::InvoiceReference("301"), "", "B1"),
                  Line("75.00", "", "Donation", "B2"), Line("-12.90", "", "Account fee", "B3")};
    const BankReview::Imported imported = review.store(read);
    ASSERT_TRUE(imported.ok) << imported.message;
    EXPECT_EQ(imported.message, "3 new lines stored, 0 already on file.");
    EXPECT_EQ(review.store(read).message, "0 new lines stored, 3 already on file.");
    ASSERT_EQ(review.rows().size(), 3u);

    // The reference line is proposed with its reason; the others cannot be confirmed.
    EXPECT_TRUE(rowOf("B1").canConfirm());
    EXPECT_NE(rowOf("B1").shown.find("customer 1001, invoice 301 100.00"), std::string::npos)
        << rowOf("B1").shown;
    EXPECT_FALSE(rowOf("B2").canConfirm());
    EXPECT_NE(rowOf("B2").shown.find("no proposal"), std::string::npos);
    std::string why;
    EXPECT_FALSE(review.confirm(recOf("B3"), &why));
    EXPECT_FALSE(review.choose(recOf("B3"), "1001", {"301"}, &why));

    ASSERT_TRUE(review.confirm(recOf("B1"), &why)) << why;
    EXPECT_EQ(rowOf("B1").stored.state, LineState::Matched);
    EXPECT_TRUE(rowOf("B1").canPost());
    // The donation is given to customer 1002's account by hand; the fee is ignored.
    ASSERT_TRUE(review.choose(recOf("B2"), "1002", {}, &why)) << why;
    ASSERT_TRUE(review.ignore(recOf("B3"), &why)) << why;
    EXPECT_EQ(rowOf("B3").shown, "ignored");

    const BankReview::PostSummary posted = review.postConfirmed();
    EXPECT_EQ(posted.posted, 2);
    EXPECT_EQ(posted.stale + posted.failed, 0);
    EXPECT_EQ(rowOf("B1").stored.state, LineState::Posted);
    EXPECT_EQ(rowOf("B1").shown, "paid 301 of customer 1001");
    EXPECT_EQ(rowOf("B2").stored.state, LineState::Posted);
    EXPECT_TRUE(dueOf("301").isZero());
    // Posted is final: posting again changes nothing, a posted line is not reopened.
    EXPECT_EQ(review.postConfirmed().posted, 0);
    EXPECT_FALSE(review.reopen(recOf("B1"), &why));
    EXPECT_EQ(why, "the line is posted already");
    EXPECT_TRUE(dueOf("301").isZero());
}

TEST_F(ReviewTest, OneCreditForInvoicesChosenByHandAndAStaleOneBackToNew) {
    ReadResult read;
    read.lines = {Line("300.00", "", "Sammelzahlung", "C1"),
                  Line("60.00", "", "Rechnung 401", "C2"), Line("60.00", "", "401", "C3")};
    ASSERT_TRUE(review.store(read).ok);
    std::string why;
    ASSERT_TRUE(review.choose(recOf("C1"), "1001", {"301", "302"}, &why)) << why;
    EXPECT_EQ(rowOf("C1").stored.note, "Pays 301, 302");
    EXPECT_NE(rowOf("C1").shown.find("part of invoice 302 200.00"), std::string::npos)
        << rowOf("C1").shown;
    // Two lines confirmed for one invoice: the first pays it, the second goes back to new.
    ASSERT_TRUE(review.confirm(recOf("C2"), &why)) << why;
    ASSERT_TRUE(review.confirm(recOf("C3"), &why)) << why;
    const BankReview::PostSummary summary = review.postConfirmed();
    EXPECT_EQ(summary.posted, 2);
    EXPECT_EQ(summary.stale, 1);
    ASSERT_EQ(summary.messages.size(), 1u);
    EXPECT_NE(summary.messages[0].find("is new again"), std::string::npos) << summary.messages[0];
    EXPECT_EQ(rowOf("C3").stored.state, LineState::New);
    EXPECT_NE(rowOf("C3").stored.note.find("Proposal went stale"), std::string::npos);
    EXPECT_TRUE(dueOf("301").isZero());
    EXPECT_EQ(dueOf("302"), Money::FromCents(5000));
    EXPECT_TRUE(dueOf("401").isZero());
    // A line reopened forgets what was chosen.
    ASSERT_TRUE(review.choose(recOf("C3"), "1001", {"302"}, &why)) << why;
    ASSERT_TRUE(review.reopen(recOf("C3"), &why));
    EXPECT_EQ(rowOf("C3").stored.state, LineState::New);
    EXPECT_TRUE(rowOf("C3").stored.note.empty());
}

}  // namespace
}  // namespace invarro::banking
