#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>

#include "app/BooksCheck.h"
#include "app/Demo.h"
#include "app/Startup.h"
#include "cli/Captured.h"
#include "cli/Cli.h"
#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/SideFiles.h"
#include "data/Update.h"
#include "storage/Engine.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::app {
namespace {

using data::Company;
using data::Customer;
using data::Invoice;
using data::InvoiceLine;
using data::Money;
using testing::ReadFileBytes;

// Every live record of a data file by record number, read past the engine's index.
template <class L>
std::map<int32_t, data::Record<L>> Records(const std::string& name) {
    std::map<int32_t, data::Record<L>> out;
    storage::Fileblock* fb = storage::OpenFileblock(name, true);
    EXPECT_TRUE(fb) << name;
    for (int32_t r = storage::NextUsedRecord(fb, 0); fb && r > 0;
         r = storage::NextUsedRecord(fb, r))
        if (auto rec = data::ReadBusinessRecord<L>(fb, r)) out.emplace(r, *rec);
    storage::CloseFileblock(fb);
    return out;
}

// Rewrites one record in place, keys untouched: how a damaged or hand-edited file looks.
template <class L>
void Plant(const std::string& name, int32_t recNo, const std::function<void(data::Record<L>&)>& f) {
    storage::Fileblock* fb = storage::OpenFileblock(name, false);
    ASSERT_TRUE(fb) << name;
    auto rec = data::ReadBusinessRecord<L>(fb, recNo);
    ASSERT_TRUE(rec);
    f(*rec);
    storage::PutRecord(fb, recNo, rec->data());
    ASSERT_TRUE(storage::EngineOk);
    storage::CloseFileblock(fb);
}

class BooksCheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = dir.file("data");
        storage::InitEngine(30);
        testing::ScriptedPrompter quiet;
        const app::InstallResult r = app::CreateDemoInstallation(folder, quiet);
        ASSERT_TRUE(r.ok) << r.message;
        invoices = data::FileblockName(folder, data::FileKind::Invoice, "1");
        customers = data::FileblockName(folder, data::FileKind::Customer, "1");
        lines = data::FileblockName(folder, data::FileKind::InvoiceLine, "1");
        companies = data::FileblockName(folder, data::FileKind::Company);
    }
    void TearDown() override {
        if (storage::EngineStarted()) storage::ExitEngine();
    }

    using Result = testing::CliResult;
    // The command, with the engine stopped around it as in its own process.
    Result check(bool repair = false) {
        storage::ExitEngine();
        std::vector<std::string> args{"--data", folder, "check"};
        if (repair) args.push_back("--repair");
        const Result r = testing::RunCaptured(args, cli::CliServices{});
        storage::InitEngine(30);
        return r;
    }

    // The first record of the type with a balance due, lines and a customer on file.
    std::pair<int32_t, data::InvoiceRecord> openInvoice(const std::string& skip = {}) {
        const auto lineRecords = Records<InvoiceLine>(lines);
        for (const auto& [recNo, r] : Records<Invoice>(invoices)) {
            const std::string number = data::TrimmedText(r.text(Invoice::InvNo));
            if (data::TrimmedText(r.text(Invoice::TransType)) != "I" || number == skip ||
                r.money(Invoice::BalanceDue).isZero())
                continue;
            for (const auto& [n, line] : lineRecords)
                if (data::TrimmedText(line.text(InvoiceLine::InvNo)) == number) return {recNo, r};
        }
        ADD_FAILURE() << "no open invoice with lines";
        return {};
    }

    testing::TempDir dir;
    std::string folder, invoices, customers, lines, companies;
};

TEST_F(BooksCheckTest, TheDemoInstallationIsClean) {
    const Result r = check();
    EXPECT_EQ(r.status, cli::kExitOk) << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("0 problems"), std::string::npos) << r.err;
    // The second company as well.
    Session session;
    session.folder = folder;
    testing::ScriptedPrompter quiet;
    auto second = Records<Company>(companies);
    for (const auto& [recNo, c] : second) {
        if (data::TrimmedText(c.text(Company::CompanyNo)) != "2") continue;
        session.company = c;
        ApplyCompanySettings(session);
        platform::SystemClock clock;
        platform::SilentProgress progress;
        const BooksCheck found = CheckBooks(session, clock, quiet, progress);
        EXPECT_TRUE(found.clean()) << found.problems.front().line();
        EXPECT_GT(found.invoices, 0);
    }
}

TEST_F(BooksCheckTest, EachPlantedProblemIsFoundAndTheRepairMendsOnlyDerivedFields) {
    // A changed total, a wrong paid flag, an orphan line, a wrong balance, a wrong bucket
    // and wrong receivables.
    const auto [totalRec, totalInvoice] = openInvoice();
    const std::string totalNo = data::TrimmedText(totalInvoice.text(Invoice::InvNo));
    const auto [flagRec, flagInvoice] = openInvoice(totalNo);
    const std::string flagNo = data::TrimmedText(flagInvoice.text(Invoice::InvNo));
    Plant<Invoice>(invoices, totalRec, [](data::InvoiceRecord& r) {
        ASSERT_TRUE(r.setMoney(Invoice::Total, r.money(Invoice::Total) + Money::FromCents(1000)));
    });
    Plant<Invoice>(invoices, flagRec,
                   [](data::InvoiceRecord& r) { r.setText(Invoice::PaidFlag, "P"); });
    {
        testing::ScriptedPrompter quiet;
        storage::Fileblock* fb = storage::OpenFileblock(lines, false);
        data::InvoiceLineRecord orphan = data::NewRecord<InvoiceLine>();
        orphan.setText(InvoiceLine::InvNo, "GONE77");
        orphan.setText(InvoiceLine::LineNo, "01");
        orphan.setText(InvoiceLine::LineKey, data::LineKeyText("GONE77", "01"));
        EXPECT_TRUE(data::AddBusinessRecord(fb, orphan, quiet).ok());
        storage::CloseFileblock(fb);
    }
    const auto customerRecords = Records<Customer>(customers);
    int32_t balanceRec = 0, bucketRec = 0;
    for (const auto& [recNo, c] : customerRecords) {
        if (c.money(Customer::Balance).isZero()) continue;
        (balanceRec ? bucketRec : balanceRec) = recNo;
        if (bucketRec) break;
    }
    ASSERT_TRUE(balanceRec && bucketRec);
    Plant<Customer>(customers, balanceRec, [](data::CustomerRecord& c) {
        ASSERT_TRUE(
            c.setMoney(Customer::Balance, c.money(Customer::Balance) + Money::FromCents(500)));
    });
    Plant<Customer>(customers, bucketRec, [](data::CustomerRecord& c) {
        const Money moved = Money::FromCents(2500);
        ASSERT_TRUE(c.setMoney(Customer::Age0to30, c.money(Customer::Age0to30) - moved));
        ASSERT_TRUE(c.setMoney(Customer::AgeOver90, c.money(Customer::AgeOver90) + moved));
    });
    int32_t companyRec = 0;
    for (const auto& [recNo, c] : Records<Company>(companies))
        if (data::TrimmedText(c.text(Company::CompanyNo)) == "1") companyRec = recNo;
    Plant<Company>(companies, companyRec, [](data::CompanyRecord& c) {
        ASSERT_TRUE(
            c.setMoney(Company::ARBalance, c.money(Company::ARBalance) + Money::FromCents(1)));
    });

    const Result found = check();
    EXPECT_EQ(found.status, cli::kExitFailed);
    for (const char* kind : {"total: invoice ", "paid-flag: invoice ", "orphan-line: ",
                             "balance: customer ", "bucket: customer ", "receivables: "})
        EXPECT_NE(found.out.find(kind), std::string::npos) << kind << "\n" << found.out;
    EXPECT_NE(found.out.find("total: invoice " + totalNo + " "), std::string::npos);
    EXPECT_NE(found.out.find("paid-flag: invoice " + flagNo + " "), std::string::npos);
    EXPECT_NE(found.out.find("GONE77"), std::string::npos);

    const auto invoicesBefore = Records<Invoice>(invoices);
    const std::string linesBefore = ReadFileBytes(storage::DataFileName(lines));
    const Result repaired = check(true);
    EXPECT_EQ(repaired.status, cli::kExitFailed) << repaired.out;  // the total stays wrong
    EXPECT_NE(repaired.out.find("repaired: invoice " + flagNo + ": paid flag cleared"),
              std::string::npos)
        << repaired.out;
    EXPECT_NE(repaired.out.find("repaired: company receivables"), std::string::npos);
    // What remains is what only the user can mend: the changed total and the orphan line.
    for (const char* kind :
         {"remains: paid-flag", "remains: balance:", "remains: bucket", "remains: receivables"})
        EXPECT_EQ(repaired.out.find(kind), std::string::npos) << kind << "\n" << repaired.out;
    EXPECT_NE(repaired.out.find("remains: total: invoice " + totalNo), std::string::npos);
    EXPECT_NE(repaired.out.find("remains: orphan-line"), std::string::npos);

    // No transaction was added, deleted or changed in an amount; lines are as they were.
    const auto invoicesAfter = Records<Invoice>(invoices);
    ASSERT_EQ(invoicesAfter.size(), invoicesBefore.size());
    for (const auto& [recNo, was] : invoicesBefore) {
        const data::InvoiceRecord& now = invoicesAfter.at(recNo);
        if (recNo == flagRec) {
            EXPECT_EQ(data::TrimmedText(now.text(Invoice::PaidFlag)), "");
            for (auto f :
                 {Invoice::Net, Invoice::Tax, Invoice::Total, Invoice::Paid, Invoice::BalanceDue})
                EXPECT_EQ(now.money(f), was.money(f));
            continue;
        }
        EXPECT_EQ(std::memcmp(now.data(), was.data(), now.size()), 0) << "record " << recNo;
    }
    EXPECT_EQ(ReadFileBytes(storage::DataFileName(lines)), linesBefore);
}

TEST_F(BooksCheckTest, DerivedProblemsAloneAreRepairedToAClean) {
    // A paid invoice that lost its paid flag, and a customer whose amounts were wiped.
    int32_t paidRec = 0;
    for (const auto& [recNo, r] : Records<Invoice>(invoices))
        if (data::TrimmedText(r.text(Invoice::TransType)) == "I" &&
            r.money(Invoice::BalanceDue).isZero() &&
            data::TrimmedText(r.text(Invoice::PaidFlag)) == "P") {
            paidRec = recNo;
            break;
        }
    ASSERT_NE(paidRec, 0);
    Plant<Invoice>(invoices, paidRec,
                   [](data::InvoiceRecord& r) { r.setText(Invoice::PaidFlag, " "); });
    for (const auto& [recNo, c] : Records<Customer>(customers)) {
        Plant<Customer>(customers, recNo, [](data::CustomerRecord& c) {
            ASSERT_TRUE(c.setMoney(Customer::Balance, Money()));
            ASSERT_TRUE(c.setMoney(Customer::Age0to30, Money()));
            ASSERT_TRUE(c.setMoney(Customer::Age31to60, Money()));
            ASSERT_TRUE(c.setMoney(Customer::Age61to90, Money()));
            ASSERT_TRUE(c.setMoney(Customer::AgeOver90, Money()));
        });
        break;
    }
    EXPECT_EQ(check().status, cli::kExitFailed);
    const Result repaired = check(true);
    EXPECT_EQ(repaired.status, cli::kExitOk) << repaired.out;
    EXPECT_EQ(repaired.out.find("remains:"), std::string::npos) << repaired.out;
    const Result after = check();
    EXPECT_EQ(after.status, cli::kExitOk) << after.out;
    EXPECT_EQ(after.out, "");
}

TEST_F(BooksCheckTest, APaymentOrMemoChangedBehindTheBooksShowsOnItsInvoice) {
    // A partial payment record paid more than was taken off its invoice.
    int32_t paymentRec = 0;
    std::string number;
    for (const auto& [recNo, r] : Records<Invoice>(invoices))
        if (data::TrimmedText(r.text(Invoice::TransType)) == "X") {
            paymentRec = recNo;
            number = data::TrimmedText(r.text(Invoice::InvNo));
            break;
        }
    ASSERT_NE(paymentRec, 0) << "the demo has partial payments";
    Plant<Invoice>(invoices, paymentRec, [](data::InvoiceRecord& r) {
        ASSERT_TRUE(r.setMoney(Invoice::Paid, r.money(Invoice::Paid) + Money::FromCents(100)));
    });
    // A memo whose invoice is gone.
    {
        testing::ScriptedPrompter quiet;
        storage::Fileblock* fb =
            storage::OpenFileblock(data::FileblockName(folder, data::FileKind::Memo, "1"), false);
        data::MemoRecord memo = data::NewRecord<data::Memo>();
        memo.setText(data::Memo::InvNo, "GONE88");
        data::SetMemoLines(memo, {"left behind"});
        EXPECT_TRUE(data::AddBusinessRecord(fb, memo, quiet).ok());
        storage::CloseFileblock(fb);
    }
    const Result found = check();
    EXPECT_EQ(found.status, cli::kExitFailed);
    EXPECT_NE(found.out.find("balance-due: invoice " + number + " "), std::string::npos)
        << found.out;
    EXPECT_NE(found.out.find("orphan-memo: memo record of invoice GONE88"), std::string::npos);
    // Neither is a derived field: the repair leaves both as they are.
    const Result repaired = check(true);
    EXPECT_EQ(repaired.status, cli::kExitFailed);
    EXPECT_NE(repaired.out.find("remains: balance-due: invoice " + number), std::string::npos);
    EXPECT_NE(repaired.out.find("remains: orphan-memo"), std::string::npos);
}

TEST_F(BooksCheckTest, ADamagedIndexIsReportedAndNotRepaired) {
    storage::ExitEngine();
    // Cut the invoice index short: its pages no longer hold what its header says.
    const std::string ix = storage::IndexFileName(invoices);
    std::string bytes = ReadFileBytes(ix);
    ASSERT_GT(bytes.size(), 2048u);
    bytes.resize(bytes.size() - 1024);
    testing::WriteFileBytes(ix, bytes);
    storage::InitEngine(30);
    const Result found = check();
    EXPECT_EQ(found.status, cli::kExitFailed);
    EXPECT_NE(found.out.find("structure: "), std::string::npos) << found.out;
    const std::string data = ReadFileBytes(storage::DataFileName(invoices));
    const Result repair = check(true);
    EXPECT_EQ(repair.status, cli::kExitFailed);
    EXPECT_NE(repair.err.find("rebuild"), std::string::npos) << repair.err;
    EXPECT_EQ(ReadFileBytes(storage::DataFileName(invoices)), data);
}

TEST_F(BooksCheckTest, LinesBelongOnlyToTheNumberTheyCarryExactly) {
    // A settled invoice "Q7X" without lines, and lines of "q7x" and of "Q7": neither is its
    // line, whatever the case or the length; both are lines without an invoice.
    testing::ScriptedPrompter quiet;
    {
        storage::Fileblock* fb = storage::OpenFileblock(invoices, false);
        data::InvoiceRecord r = data::NewRecord<Invoice>();
        r.setText(Invoice::InvNo, "Q7X");
        r.setText(Invoice::TransType, "I");
        r.setText(Invoice::InvoiceStyle, "P");
        r.setText(Invoice::CustNo, "GONE99");
        r.setText(Invoice::PaidFlag, "P");
        r.setText(Invoice::PaidDate, "2024/01/31");
        data::SetInvoiceDate(r, data::Date{2024, 1, 31}, data::DateOrder::MonthFirst);
        EXPECT_TRUE(data::AddBusinessRecord(fb, r, quiet).ok());
        storage::CloseFileblock(fb);
    }
    {
        storage::Fileblock* fb = storage::OpenFileblock(lines, false);
        for (const char* number : {"q7x", "Q7"}) {
            data::InvoiceLineRecord line = data::NewRecord<InvoiceLine>();
            line.setText(InvoiceLine::InvNo, number);
            line.setText(InvoiceLine::LineNo, "01");
            line.setText(InvoiceLine::LineText,
                         "1         Stray item                      10.00     Y10.00     ");
            line.setText(InvoiceLine::LineKey, data::LineKeyText(number, "01"));
            EXPECT_TRUE(data::AddBusinessRecord(fb, line, quiet).ok());
        }
        storage::CloseFileblock(fb);
    }
    const Result found = check();
    EXPECT_EQ(found.status, cli::kExitFailed);
    EXPECT_EQ(found.out.find("total: invoice Q7X"), std::string::npos) << found.out;
    EXPECT_NE(found.out.find("orphan-line: 1 line record(s) of invoice q7x,"), std::string::npos)
        << found.out;
    EXPECT_NE(found.out.find("orphan-line: 1 line record(s) of invoice Q7,"), std::string::npos)
        << found.out;
    EXPECT_EQ(found.out.find("invoice Q7X"), std::string::npos) << found.out;
}

TEST_F(BooksCheckTest, TheCheckWritesNothingEvenForAnInvoiceDateItCouldMend) {
    // An open invoice whose date field cannot be read: its age comes from its month, day
    // and year fields, as the aging takes it, and its record stays as it is.
    const auto [recNo, open] = openInvoice();
    Plant<Invoice>(invoices, recNo, [](data::InvoiceRecord& r) {
        ASSERT_FALSE(data::TrimmedText(r.text(Invoice::InvMonth)).empty());
        r.setText(Invoice::InvDate, "xx/xx/xxxx");
    });
    const std::string before = ReadFileBytes(storage::DataFileName(invoices));
    const Result found = check();
    EXPECT_EQ(found.status, cli::kExitOk) << found.out;
    EXPECT_EQ(ReadFileBytes(storage::DataFileName(invoices)), before);
}

TEST_F(BooksCheckTest, AnInvoiceLineCountsWhereverItLiesInTheLineFile) {
    // The first line record is deleted and its slot taken by a new line of another open
    // invoice: that line lies far before the invoice's other lines, which the check reads
    // in file order, and is still one of its lines.
    const auto lineRecords = Records<InvoiceLine>(lines);
    ASSERT_FALSE(lineRecords.empty());
    const auto& [firstRec, firstLine] = *lineRecords.begin();
    const std::string firstNo = data::TrimmedText(firstLine.text(InvoiceLine::InvNo));
    const auto [recNo, invoice] = openInvoice(firstNo);
    const std::string number = data::TrimmedText(invoice.text(Invoice::InvNo));
    auto column = [](std::string text, size_t width) {
        text.resize(width, ' ');
        return text;
    };
    {
        testing::ScriptedPrompter quiet;
        storage::Fileblock* fb = storage::OpenFileblock(lines, false);
        ASSERT_TRUE(data::DeleteBusinessRecord(fb, firstRec, firstLine, quiet).ok());
        data::InvoiceLineRecord far = data::NewRecord<InvoiceLine>();
        far.setText(InvoiceLine::InvNo, number);
        far.setText(InvoiceLine::LineNo, "90");
        far.setText(InvoiceLine::LineText, column("1", 10) + column("Far line", 32) +
                                               column("12.34", 10) + "N" + column("12.34", 10));
        far.setText(InvoiceLine::LineKey, data::LineKeyText(number, "90"));
        EXPECT_TRUE(data::AddBusinessRecord(fb, far, quiet).ok());
        storage::CloseFileblock(fb);
    }
    ASSERT_EQ(data::TrimmedText(Records<InvoiceLine>(lines).at(firstRec).text(InvoiceLine::InvNo)),
              number);

    const Result found = check();
    EXPECT_EQ(found.status, cli::kExitFailed);
    const Money net = invoice.money(Invoice::Net), tax = invoice.money(Invoice::Tax),
                total = invoice.money(Invoice::Total), far = Money::FromCents(1234);
    const std::string expected = "total: invoice " + number + " (type I): stored net/tax/total " +
                                 net.shownText() + " / " + tax.shownText() + " / " +
                                 total.shownText() + ", its lines give " + (net + far).shownText() +
                                 " / " + tax.shownText() + " / " + (total + far).shownText() + "\n";
    EXPECT_NE(found.out.find(expected), std::string::npos) << expected << found.out;
}

// A progress window whose user stops the check at its first step.
class StoppingProgress : public platform::Progress {
  public:
    void start(const std::string&, int) override { ++starts; }
    void setLine(int, const std::string&) override {}
    bool step() override { return false; }
    void finish() override { ++finishes; }
    int starts = 0, finishes = 0;
};

TEST_F(BooksCheckTest, AStoppedCheckIsNotClean) {
    Session session;
    session.folder = folder;
    testing::ScriptedPrompter quiet;
    for (const auto& [recNo, c] : Records<Company>(companies))
        if (data::TrimmedText(c.text(Company::CompanyNo)) == "1") session.company = c;
    ApplyCompanySettings(session);
    platform::SystemClock clock;
    StoppingProgress stopping;
    const BooksCheck found = CheckBooks(session, clock, quiet, stopping);
    EXPECT_TRUE(found.stopped);
    EXPECT_FALSE(found.clean());
    EXPECT_EQ(stopping.starts, 1);
    EXPECT_EQ(stopping.finishes, 1);
}

}  // namespace
}  // namespace invarro::app
