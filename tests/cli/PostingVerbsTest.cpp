// invoice new and payment: what they post on a folder, and that a command line that cannot
// be posted whole posts nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "FolderBooks.h"
#include "app/Demo.h"
#include "cli/Captured.h"
#include "cli/Cli.h"
#include "data/Ansi.h"
#include "data/Company.h"
#include "data/Open.h"
#include "data/SideFiles.h"
#include "data/Update.h"
#include "invoicing/InvEdit.h"
#include "invoicing/Payment.h"
#include "storage/Engine.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::cli {
namespace {

namespace fs = std::filesystem;
using data::Company;
using data::Customer;
using data::Invoice;
using data::Money;

// The demo books, made once for the program; each test works on its own copy.
const std::string& DemoBooks() {
    static testing::TempDir dir;
    static const std::string folder = [] {
        const std::string f = dir.file("demo");
        storage::InitEngine(30);
        testing::ScriptedPrompter quiet;
        const app::InstallResult r = app::CreateDemoInstallation(f, quiet);
        EXPECT_TRUE(r.ok) << r.message;
        storage::ExitEngine();
        return f;
    }();
    return folder;
}

class PostingVerbsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = dir.file("books");
        fs::copy(DemoBooks(), folder, fs::copy_options::recursive);
        invoicing::ForgetInvoiceDate();
    }
    void TearDown() override {
        if (storage::EngineStarted()) storage::ExitEngine();
    }

    testing::CliResult run(std::vector<std::string> args) {
        std::vector<std::string> all{"--data", folder};
        all.insert(all.end(), args.begin(), args.end());
        CliServices services;
        services.clock = &clock;
        return testing::RunCaptured(all, services);
    }

    // What the books hold now, read with the engine of this program.
    struct Read {
        data::CompanyRecord company;
        std::map<std::string, data::CustomerRecord> customers;
        std::vector<data::InvoiceRecord> invoices;
        std::vector<data::InvoiceLineRecord> lines;
    };
    Read read() {
        Read r;
        storage::InitEngine(30);
        // The company as the company file holds it (the company in use gives its number).
        const data::CompanyRecord inUse = *data::ReadLastCompany(folder);
        const std::string prefix = data::CompanyPrefix(inUse.text(Company::CompanyNo));
        testing::ScriptedPrompter quiet;
        data::ExistingFileblock companies, customers, invoices, lines;
        data::OpenExisting(companies, folder, data::FileKind::Company, {}, quiet);
        data::CompanyRecord probe;
        probe.setAnsi(Company::CompanyNo, inUse.ansi(Company::CompanyNo));
        if (auto found = data::FindAtOrAfter<Company>(companies.fb, 1, probe))
            r.company = found->record;
        data::OpenExisting(customers, folder, data::FileKind::Customer, prefix, quiet);
        data::OpenExisting(invoices, folder, data::FileKind::Invoice, prefix, quiet);
        data::OpenExisting(lines, folder, data::FileKind::InvoiceLine, prefix, quiet);
        for (int32_t n = storage::NextUsedRecord(customers.fb, 0); storage::EngineOk && n > 0;
             n = storage::NextUsedRecord(customers.fb, n))
            if (auto c = data::ReadBusinessRecord<Customer>(customers.fb, n))
                r.customers[data::TrimmedText(c->text(Customer::CustNo))] = *c;
        for (int32_t n = storage::NextUsedRecord(invoices.fb, 0); storage::EngineOk && n > 0;
             n = storage::NextUsedRecord(invoices.fb, n))
            if (auto i = data::ReadBusinessRecord<Invoice>(invoices.fb, n))
                r.invoices.push_back(*i);
        for (int32_t n = storage::NextUsedRecord(lines.fb, 0); storage::EngineOk && n > 0;
             n = storage::NextUsedRecord(lines.fb, n))
            if (auto l = data::ReadBusinessRecord<data::InvoiceLine>(lines.fb, n))
                r.lines.push_back(*l);
        for (data::ExistingFileblock* e : {&companies, &customers, &invoices, &lines})
            if (e->fb) storage::CloseFileblock(e->fb);
        storage::ExitEngine();
        return r;
    }
    static std::vector<data::InvoiceRecord> Numbered(const Read& r, const std::string& number) {
        std::vector<data::InvoiceRecord> out;
        for (const auto& i : r.invoices)
            if (data::TrimmedText(i.text(Invoice::InvNo)) == number) out.push_back(i);
        return out;
    }
    static Money BalanceOf(const Read& r, const std::string& custNo) {
        return r.customers.at(custNo).money(Customer::Balance);
    }
    // A customer's open receivables, oldest first: number and balance due.
    static std::vector<std::pair<std::string, Money>> OpenOf(const Read& r,
                                                             const std::string& custNo) {
        std::vector<std::pair<std::string, std::pair<std::string, Money>>> dated;
        for (const auto& i : r.invoices) {
            if (data::TrimmedText(i.text(Invoice::CustNo)) != custNo ||
                data::TrimmedText(i.text(Invoice::PaidFlag)) == "P" || !data::IsReceivable(i) ||
                i.money(Invoice::BalanceDue) <= Money())
                continue;
            dated.push_back(
                {i.text(Invoice::SortDate),
                 {data::TrimmedText(i.text(Invoice::InvNo)), i.money(Invoice::BalanceDue)}});
        }
        std::stable_sort(dated.begin(), dated.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::pair<std::string, Money>> out;
        for (auto& d : dated)
            out.push_back(d.second);
        return out;
    }

    // Command lines that are refused: each exits with its status, says why, and prints
    // nothing on standard output.
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string says;
    };
    void expectRefused(const std::vector<std::string>& verb, const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            std::vector<std::string> args = verb;
            args.insert(args.end(), c.args.begin(), c.args.end());
            const testing::CliResult r = run(args);
            EXPECT_EQ(r.status, c.status) << c.args.back() << ": " << r.err;
            EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
            EXPECT_EQ(r.out, "");
        }
    }

    testing::TempDir dir;
    std::string folder;
    platform::FixedClock clock{{2026, 12, 9, 12, 0, 0}};
};

TEST_F(PostingVerbsTest, InvoiceNewSavesTheLinesTotalsBalanceAndNumberAndPrintsTheNumber) {
    const Read before = read();
    const std::string next = data::TrimmedText(before.company.text(Company::NextInvNo));
    // (--yes: the customer goes over the credit limit, which the editor asks about.)
    const testing::CliResult r =
        run({"--yes", "invoice", "new", "--customer", "101", "--line", "BC-500:2", "--line",
             "DES-HR:3:90.00", "--date", "2026-12-01", "--memo", "Rush order"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, next + "\n");
    const Read after = read();
    const auto saved = Numbered(after, next);
    ASSERT_EQ(saved.size(), 1u);
    const data::InvoiceRecord& inv = saved[0];
    EXPECT_EQ(data::TrimmedText(inv.text(Invoice::CustNo)), "101");
    EXPECT_EQ(inv.text(Invoice::SortDate), "2026/12/01");
    EXPECT_EQ(data::TrimmedText(inv.text(Invoice::InvNotes)), "Rush order");
    // The lines are the invoice's own (its number exactly), with the product's price unless
    // one was given.
    std::vector<data::InvoiceLineRecord> lines;
    for (const auto& l : after.lines)
        if (data::TrimmedText(l.text(data::InvoiceLine::InvNo)) == next) lines.push_back(l);
    ASSERT_EQ(lines.size(), 2u);
    const Money total = inv.money(Invoice::Total);
    EXPECT_GT(total, Money::FromCents(27000));
    EXPECT_EQ(inv.money(Invoice::BalanceDue), total);
    EXPECT_NE(r.err.find("total " + total.shownText()), std::string::npos) << r.err;
    EXPECT_EQ(BalanceOf(after, "101"), BalanceOf(before, "101") + total);
    EXPECT_EQ(after.company.money(Company::ARBalance),
              before.company.money(Company::ARBalance) + total);
    EXPECT_EQ(data::WholeNumber(after.company.text(Company::NextInvNo)),
              *data::WholeNumber(next) + 1);
    EXPECT_EQ(r.err.find("busy"), std::string::npos);

    // The next one takes the next number: none skipped.
    const testing::CliResult second =
        run({"--yes", "invoice", "new", "--customer", "101", "--line", "BC-500:1"});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.out, std::to_string(*data::WholeNumber(next) + 1) + "\n");
}

TEST_F(PostingVerbsTest, AnInvoiceThatCannotBeSavedWholePostsNothing) {
    const Books before = BooksOf(folder);
    const std::vector<Case> cases = {
        {{"--customer", "NOPE", "--line", "BC-500:1"}, 1, "no customer NOPE"},
        {{"--customer", "101", "--line", "NOSUCH:1"}, 1, "no product NOSUCH"},
        {{"--customer", "101", "--line", "BC-500:1", "--line", "NOSUCH:1"}, 1, "no product"},
        {{"--customer", "101", "--line", "BC-500:two"}, 1, "quantity"},
        {{"--customer", "101", "--line", "BC-500:"}, 1, "quantity"},
        {{"--customer", "101", "--line", "BC-500:1:1.2.3"}, 1, "price"},
        {{"--customer", "101", "--line", ":1"}, 1, "names no product"},
        {{"--customer", "101", "--line", "BC-500:1", "--memo", std::string(81, 'x')}, 1, "80"},
        {{"--customer", "101"}, 2, "--line"},
        {{"--customer", "101", "--line", "BC-500"}, 2, "CODE:QTY"},
        {{"--customer", "101", "--line", "BC-500:1:2:3"}, 2, "CODE:QTY"},
        {{"--line", "BC-500:1"}, 2, "--customer"},
        {{"--customer", "101", "--line", "BC-500:1", "--date", "31/31/2026"}, 2, "--date"},
    };
    expectRefused({"invoice", "new"}, cases);
    EXPECT_TRUE(BooksOf(folder) == before);
}

TEST_F(PostingVerbsTest, APaymentSettlesTheOldestOpenInvoicesFirstAndTheRestIsADeposit) {
    const Read before = read();
    const auto open = OpenOf(before, "101");
    ASSERT_GE(open.size(), 2u);
    // All of the oldest, part of the second: exactly what the two owe would close them.
    const Money part = Money::FromCents(1);
    const Money amount = open[0].second + part;
    const testing::CliResult r = run({"payment", "101", amount.storedText(), "--reference",
                                      "Check 2211", "--date", "2026-12-08"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Read after = read();
    EXPECT_EQ(BalanceOf(after, "101"), BalanceOf(before, "101") - amount);
    EXPECT_EQ(after.company.money(Company::ARBalance),
              before.company.money(Company::ARBalance) - amount);
    const auto still = OpenOf(after, "101");
    ASSERT_EQ(still.size(), open.size() - 1);
    EXPECT_EQ(still[0].first, open[1].first);
    EXPECT_EQ(still[0].second, open[1].second - part);
    EXPECT_NE(r.out.find(open[0].first), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("part"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("deposit"), std::string::npos) << r.out;

    // More than is open: every open invoice is settled and the rest is a deposit on
    // account under the next deposit number of the stored counter.
    Money owed;
    for (const auto& [n, due] : still)
        owed += due;
    const std::string counter = data::TrimmedText(after.company.text(Company::DepositCounter));
    const std::string deposit = "DP" + invoicing::NextDepositCounter(counter);
    const testing::CliResult more =
        run({"payment", "101", (owed + Money::FromCents(5000)).storedText()});
    ASSERT_EQ(more.status, 0) << more.err;
    EXPECT_NE(more.out.find(deposit + " "), std::string::npos) << more.out;
    const Read last = read();
    EXPECT_TRUE(OpenOf(last, "101").empty());
    ASSERT_EQ(Numbered(last, deposit).size(), 1u);
    EXPECT_EQ(Numbered(last, deposit)[0].money(Invoice::BalanceDue), -Money::FromCents(5000));
    EXPECT_EQ(BalanceOf(last, "101"), BalanceOf(after, "101") - owed - Money::FromCents(5000));
}

TEST_F(PostingVerbsTest, APaymentOfNamedInvoicesSettlesThemInTheirOrder) {
    const Read before = read();
    const auto open = OpenOf(before, "101");
    ASSERT_GE(open.size(), 2u);
    // The newer invoice named: it is settled, the older one is left alone.
    const auto& newest = open.back();
    const testing::CliResult r =
        run({"payment", "101", newest.second.storedText(), "--invoice", newest.first});
    ASSERT_EQ(r.status, 0) << r.err;
    const Read after = read();
    const auto still = OpenOf(after, "101");
    ASSERT_EQ(still.size(), open.size() - 1);
    EXPECT_EQ(still.front(), open.front());
    EXPECT_EQ(BalanceOf(after, "101"), BalanceOf(before, "101") - newest.second);
}

TEST_F(PostingVerbsTest, APaymentThatCannotBePostedWholePostsNothing) {
    const Read read0 = read();
    const auto open = OpenOf(read0, "101");
    ASSERT_FALSE(open.empty());
    const Books before = BooksOf(folder);
    const std::vector<Case> cases = {
        {{"NOPE", "10.00"}, 1, "no customer NOPE"},
        {{"101", "0"}, 1, "not an amount above zero"},
        {{"101", "0.00"}, 1, "not an amount above zero"},
        {{"101", "-5.00"}, 1, "not an amount above zero"},
        {{"101", "ten"}, 1, "not an amount above zero"},
        {{"101", "1e3"}, 1, "not an amount above zero"},
        {{"101", "99999999999999.00"}, 1, "not an amount above zero"},
        {{"101", "10.00", "--invoice", "NOSUCH"}, 1, "not an open invoice"},
        {{"101", "10.00", "--invoice", open[0].first + "X"}, 1, "not an open invoice"},
        {{"101", "10.00", "--reference", std::string(36, 'r')}, 1, "35"},
        {{"101"}, 2, ""},
        {{"101", "10.00", "--date", "2026-13-01"}, 2, "--date"},
    };
    expectRefused({"payment"}, cases);
    EXPECT_TRUE(BooksOf(folder) == before);
}

TEST_F(PostingVerbsTest, BooksWhoseFilesCannotBeOpenedSayNothingWasPosted) {
    // The line file's data file is a folder: it cannot be opened by anyone.
    const std::string linesFile =
        storage::DataFileName(data::FileblockName(folder, data::FileKind::InvoiceLine, "1"));
    ASSERT_TRUE(fs::remove(linesFile));
    ASSERT_TRUE(fs::create_directory(linesFile));
    const Books before = BooksOf(folder);
    const std::string says = "Unable to open the invoice files of this company; nothing was posted";
    expectRefused({"invoice", "new"}, {{{"--customer", "101", "--line", "BC-500:1"}, 1, says}});
    expectRefused({"payment"}, {{{"101", "10.00"}, 1, says}});
    EXPECT_TRUE(BooksOf(folder) == before);
}

TEST_F(PostingVerbsTest, TheNewVerbsAreInTheHelp) {
    const testing::CliResult help = run({"--help"});
    EXPECT_NE(help.out.find("invoice new"), std::string::npos);
    EXPECT_NE(help.out.find("payment "), std::string::npos);
    const testing::CliResult verb = run({"payment", "--help"});
    EXPECT_EQ(verb.status, 0);
    EXPECT_NE(verb.out.find("CUSTOMER AMOUNT"), std::string::npos) << verb.out;
    EXPECT_NE(verb.out.find("--invoice"), std::string::npos);
}

}  // namespace
}  // namespace invarro::cli
