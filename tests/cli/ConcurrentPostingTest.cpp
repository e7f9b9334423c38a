// Several people posting at once in books on a server: command-line programs, each in a
// folder of its own connected to the same books, posting invoices and payments for the
// same customers. Afterwards every balance is what the programs reported, the numbers are
// unique and without gaps, and the books check clean.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "FolderBooks.h"
#include "ServerDesks.h"
#include "app/Demo.h"
#include "app/ServerBooks.h"
#include "customers/CustEdit.h"
#include "data/EInvoiceData.h"
#include "data/Money.h"
#include "data/Open.h"
#include "data/Posting.h"
#include "data/Texts.h"
#include "data/Update.h"
#include "invoicing/InvEdit.h"
#include "products/ProdEdit.h"
#include "storage/Engine.h"
#include "support/OutsidePostingPrompter.h"
#include "support/PgCluster.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::cli {
namespace {

namespace fs = std::filesystem;
using data::Money;

using ConcurrentPostingTest = ServerBooksTest;

TEST_F(ConcurrentPostingTest, FourProgramsPostingForTheSameCustomersLoseNothingAndSkipNoNumber) {
    const int perWorker = std::getenv("INVARRO_CONCURRENT_POSTINGS")
                              ? std::atoi(std::getenv("INVARRO_CONCURRENT_POSTINGS"))
                              : 15;
    const int workers = 4;
    testing::TempDir dir;
    const ServerDesks books = MakeServerDesks(*cluster, dir, "concurrent", workers);
    ASSERT_TRUE(books.error.empty()) << books.error;
    const std::string& office = books.office;
    const std::string& conninfo = books.conninfo;
    const std::vector<std::string>& desks = books.desks;

    // Two repeat billing runs at once, from two folders: every master due is billed once,
    // by one of them; the other finds it billed for the date and says nothing is wrong.
    const std::string through = "2027-06-30";
    const CliRun due = Cli(office, {"repeat", "--dry-run", "--through", through});
    ASSERT_EQ(due.status, 0) << due.output;
    const std::string billing = dir.file("billing");
    ASSERT_EQ(Cli(billing, {"server", "connect", conninfo}).status, 0);
    std::vector<CliRun> runs(2);
    {
        std::vector<pid_t> billers;
        for (int b = 0; b < 2; ++b) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                const CliRun r = Cli(b == 0 ? office : billing, {"repeat", "--through", through});
                std::ofstream(dir.file("billing" + std::to_string(b))) << r.output;
                ::_exit(r.status);
            }
            billers.push_back(pid);
        }
        for (int b = 0; b < 2; ++b) {
            int st = 0;
            ::waitpid(billers[std::size_t(b)], &st, 0);
            runs[std::size_t(b)].status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
            runs[std::size_t(b)].output =
                testing::ReadFileBytes(dir.file("billing" + std::to_string(b)));
        }
    }
    std::multiset<std::string> billed;
    std::set<std::string> numbersBilled;
    for (const CliRun& r : runs) {
        EXPECT_EQ(r.status, 0) << r.output;
        std::istringstream lines(r.output);
        std::string line;
        const std::regex generated("^(\\S+)\\s+(\\S+)\\s+[0-9,]+\\.[0-9][0-9]$");
        while (std::getline(lines, line)) {
            std::smatch m;
            if (!std::regex_match(line, m, generated)) continue;
            billed.insert(m[2]);
            EXPECT_TRUE(numbersBilled.insert(m[1]).second) << m[1] << " generated twice";
        }
    }
    // The masters the dry run listed, each billed exactly once.
    std::size_t listed = 0;
    for (const std::string& master : std::set<std::string>(billed.begin(), billed.end())) {
        EXPECT_EQ(billed.count(master), 1u) << master << " billed twice";
        EXPECT_NE(due.output.find(master), std::string::npos) << master;
        ++listed;
    }
    EXPECT_GT(listed, 0u) << due.output;
    const CliRun after = Cli(office, {"repeat", "--dry-run", "--through", through});
    EXPECT_EQ(after.status, 0) << after.output;

    const std::vector<std::string> customers = {"100", "101", "102"};
    const std::map<std::string, Money> before = Balances(office, customers);
    ASSERT_EQ(before.size(), customers.size());

    std::map<std::string, Money> expected = before;
    std::vector<long> invoiceNumbers;
    std::vector<long> depositNumbers;
    int reruns = 0, failed = 0;
    const std::regex rerun("ran again ([0-9]+) time");
    const std::regex deposit("DP([0-9]+) ");
    // Rounds of four programs at once until their postings met each other's locks (on an
    // idle machine the programs' start-up may keep them apart for a round), at most four.
    int rounds = 0;
    for (int round = 0; round < 4 && (round == 0 || reruns == 0); ++round) {
        ++rounds;
        // Each worker alternates invoices and payments over the three customers, one program
        // per posting, all four at once.
        std::vector<pid_t> pids;
        for (int w = 0; w < workers; ++w) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                std::ofstream log(
                    dir.file("log" + std::to_string(round) + "-" + std::to_string(w)));
                for (int i = 0; i < perWorker; ++i) {
                    const std::string customer = customers[std::size_t((i / 2 + w) % 3)];
                    const bool invoice = i % 2 == 0;
                    const CliRun r =
                        invoice ? Cli(desks[std::size_t(w)],
                                      {"invoice", "new", "--customer", customer, "--line",
                                       "BC-500:1:" + std::to_string(10 + w) + ".00", "--line",
                                       "DES-HR:2:1.25"})
                                : Cli(desks[std::size_t(w)],
                                      {"payment", customer, std::to_string(5 + i % 7) + ".50"});
                    WriteLog(log, r, invoice ? "invoice" : "payment", customer);
                }
                log.close();
                ::_exit(0);
            }
            pids.push_back(pid);
        }
        for (pid_t pid : pids) {
            int st = 0;
            ::waitpid(pid, &st, 0);
            EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
        }

        for (int w = 0; w < workers; ++w) {
            const std::vector<Posted> log =
                ReadLog(dir.file("log" + std::to_string(round) + "-" + std::to_string(w)));
            ASSERT_EQ(int(log.size()), perWorker);
            for (const Posted& p : log) {
                std::smatch m;
                if (std::regex_search(p.output, m, rerun)) reruns += std::stoi(m[1]);
                if (p.status != 0) {
                    // Given up after the retries: said so, and nothing of it is in the books.
                    ++failed;
                    EXPECT_NE(p.output.find("nothing was posted"), std::string::npos) << p.output;
                    continue;
                }
                if (p.verb == "invoice") {
                    expected[p.customer] += AmountAfter(p.output, "total ");
                    const long number = InvoiceNumberOf(p.output);
                    ASSERT_GT(number, 0) << p.output;
                    invoiceNumbers.push_back(number);
                } else {
                    expected[p.customer] -= AmountAfter(p.output, "payment of ");
                    for (auto it = std::sregex_iterator(p.output.begin(), p.output.end(), deposit);
                         it != std::sregex_iterator(); ++it)
                        depositNumbers.push_back(std::stol((*it)[1]));
                }
            }
        }
    }
    // Contention was real: postings met each other's locks and ran again.
    EXPECT_GT(reruns, 0);
    EXPECT_LE(failed, rounds * workers * perWorker / 50) << "too many postings gave up";

    EXPECT_EQ(Balances(office, customers), expected);
    // Invoice and deposit numbers: each once, none skipped.
    for (std::vector<long>* numbers : {&invoiceNumbers, &depositNumbers}) {
        std::sort(numbers->begin(), numbers->end());
        EXPECT_EQ(std::adjacent_find(numbers->begin(), numbers->end()), numbers->end());
        if (!numbers->empty()) {
            EXPECT_EQ(numbers->back() - numbers->front() + 1, long(numbers->size()));
        }
    }
    const CliRun check = Cli(office, {"check"});
    EXPECT_EQ(check.status, 0) << check.output;
}

TEST_F(ConcurrentPostingTest, TwoProgramsAddingCustomersAtOnceGetUniqueNumbersWithoutGaps) {
    const int perDesk = 12;
    testing::TempDir dir;
    const ServerDesks books = MakeServerDesks(*cluster, dir, "customers", 2);
    ASSERT_TRUE(books.error.empty()) << books.error;

    // Each program proposes the number its company held when it started, for every customer
    // it adds, as an editor left open proposes it: most proposals were taken by the other
    // program meanwhile, and the saved number comes from the counter instead.
    std::vector<pid_t> pids;
    for (int d = 0; d < 2; ++d) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            storage::InitEngine(30);
            std::ofstream log(dir.file("added" + std::to_string(d)));
            if (!app::MountBooksOfFolder(books.desks[std::size_t(d)]).empty()) ::_exit(2);
            Recording prompter;
            std::optional<data::CompanyRecord> company =
                FirstCompany(books.desks[std::size_t(d)], prompter);
            if (!company) ::_exit(3);
            const data::CompanyRecord atStart = *company;
            const std::string prefix = data::CompanyPrefix(company->ansi(data::Company::CompanyNo));
            data::ExistingFileblock customers;
            data::OpenExisting(customers, books.desks[std::size_t(d)], data::FileKind::Customer,
                               prefix, prompter);
            if (!customers.fb) ::_exit(4);
            customers::CustomerFiles files{books.desks[std::size_t(d)], *company, customers.fb};
            for (int i = 0; i < perDesk; ++i) {
                customers::CustomerEntry entry = customers::NewCustomerEntry(atStart);
                entry.name = "Desk " + std::to_string(d) + " customer " + std::to_string(i);
                customers::ApplyShortNameRule(entry);
                const std::string proposed = entry.number;
                prompter.texts.clear();
                try {
                    customers::AddCustomer(files, entry, prompter);
                } catch (const customers::CustomerError& e) {
                    log << "failed " << e.what() << "\n";
                    continue;
                }
                const bool told = std::find(prompter.texts.begin(), prompter.texts.end(),
                                            std::string(customers::kSavedAsCustomer) +
                                                entry.number) != prompter.texts.end();
                log << "added " << proposed << " " << entry.number << " " << told << "\n";
            }
            log.close();
            customers.fb = nullptr;
            storage::ExitEngine();
            ::_exit(0);
        }
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int st = 0;
        ::waitpid(pid, &st, 0);
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << st;
    }
    std::vector<long> numbers;
    int renumbered = 0;
    for (int d = 0; d < 2; ++d) {
        std::ifstream log(dir.file("added" + std::to_string(d)));
        std::string word, proposed, saved;
        bool told = false;
        while (log >> word) {
            ASSERT_EQ(word, "added") << "a customer could not be added";
            log >> proposed >> saved >> told;
            numbers.push_back(std::stol(saved));
            // Told exactly when the number saved is not the one proposed.
            EXPECT_EQ(told, proposed != saved) << proposed << " saved as " << saved;
            renumbered += proposed != saved;
        }
    }
    ASSERT_EQ(numbers.size(), std::size_t(2 * perDesk));
    std::sort(numbers.begin(), numbers.end());
    EXPECT_EQ(std::adjacent_find(numbers.begin(), numbers.end()), numbers.end());
    EXPECT_EQ(numbers.back() - numbers.front() + 1, long(numbers.size()));
    // Every proposal after a program's first was stale.
    EXPECT_GE(renumbered, 2 * (perDesk - 1));
    const CliRun check = Cli(books.office, {"check"});
    EXPECT_EQ(check.status, 0) << check.output;
}

TEST_F(ConcurrentPostingTest, AnInvoiceEditedWhileAPaymentPostsToItLosesNoUpdate) {
    testing::TempDir dir;
    const ServerDesks books = MakeServerDesks(*cluster, dir, "editpay", 2);
    ASSERT_TRUE(books.error.empty()) << books.error;
    const std::string customer = "102";
    const CliRun billed =
        Cli(books.desks[1], {"invoice", "new", "--customer", customer, "--line", "BC-500:1:40.00"});
    ASSERT_EQ(billed.status, 0) << billed.output;
    const std::string number = std::to_string(InvoiceNumberOf(billed.output));
    const Money before = Balances(books.office, {customer})[customer];

    // One person opens the invoice in the editor and changes its note ...
    storage::InitEngine(30);
    ASSERT_EQ(app::MountBooksOfFolder(books.desks[0]), "");
    Recording prompter;
    std::optional<data::CompanyRecord> company = FirstCompany(books.desks[0], prompter);
    ASSERT_TRUE(company);
    const data::DateOrder order =
        data::DateOrderFromCode(company->text(data::Company::DateFormatCode));
    std::optional<std::string> failure;
    {
        invoicing::RunFiles open(books.desks[0],
                                 data::CompanyPrefix(company->ansi(data::Company::CompanyNo)),
                                 prompter, true);
        ASSERT_TRUE(open.ok());
        invoicing::SaveFiles files = open.saveFiles(*company, data::Date{2026, 12, 10});
        const std::vector<int32_t> found = invoicing::RecordsWithNumber(files.invoices, number);
        ASSERT_EQ(found.size(), 1u) << number;
        const auto asRead = data::ReadBusinessRecord<data::Invoice>(files.invoices, found[0]);
        ASSERT_TRUE(asRead);
        std::vector<data::InvoiceLineRecord> lines;
        for (auto& [n, line] : invoicing::StoredLines(files.lines, number))
            lines.push_back(line);
        invoicing::InvoiceEditor editor = invoicing::InvoiceEditor::ForEdit(
            *company, order, *asRead, lines, std::nullopt, std::nullopt);
        editor.entry.notes = "Edited while paid";

        // ... while another posts a payment to it from another machine ...
        const CliRun paid =
            Cli(books.desks[1], {"payment", customer, "15.00", "--invoice", number});
        ASSERT_EQ(paid.status, 0) << paid.output;

        // ... and then saves: told that the invoice changed, and nothing of the edit is
        // written over the payment.
        prompter.texts.clear();
        try {
            invoicing::SaveInvoiceEdit(files, editor, found[0], *asRead, prompter);
        } catch (const invoicing::InvoiceError& e) {
            failure = e.what();
        }
        const auto now = data::ReadBusinessRecord<data::Invoice>(files.invoices, found[0]);
        ASSERT_TRUE(now);
        EXPECT_EQ(now->money(data::Invoice::BalanceDue),
                  asRead->money(data::Invoice::BalanceDue) - Money::FromCents(1500));
        EXPECT_NE(data::TrimmedText(now->text(data::Invoice::InvNotes)), "Edited while paid");
    }
    app::UnmountBooks(books.desks[0]);
    storage::ExitEngine();
    ASSERT_TRUE(failure);
    EXPECT_EQ(*failure, invoicing::kModifyFailed);
    EXPECT_EQ(
        std::count(prompter.texts.begin(), prompter.texts.end(), std::string(data::kRecordChanged)),
        1);
    EXPECT_EQ(Balances(books.office, {customer})[customer], before - Money::FromCents(1500));
}

TEST_F(ConcurrentPostingTest, AProductCodeTypedByTwoPeopleAtOnceIsSavedOnceAndTheOtherIsRefused) {
    testing::TempDir dir;
    const ServerDesks books = MakeServerDesks(*cluster, dir, "products", 2);
    ASSERT_TRUE(books.error.empty()) << books.error;
    const std::string code = "RACE-1";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    // One person's save has written the product and holds its posting open ...
    const pid_t first = ::fork();
    if (first == 0) {
        ::close(ready[0]);
        storage::InitEngine(30);
        if (!app::MountBooksOfFolder(books.desks[1]).empty()) ::_exit(2);
        Recording quiet;
        std::optional<data::CompanyRecord> company = FirstCompany(books.desks[1], quiet);
        if (!company) ::_exit(3);
        data::ExistingFileblock products;
        data::OpenExisting(products, books.desks[1], data::FileKind::Product,
                           data::CompanyPrefix(company->ansi(data::Company::CompanyNo)), quiet);
        if (!products.fb) ::_exit(4);
        bool committed = false;
        {
            data::Posting posting;
            products::ProductEntry e = products::NewProductEntry("12/10/2026");
            e.code = code;
            e.description = "Saved first";
            products::AddProduct(products.fb, e, "12/10/2026", quiet);
            if (::write(ready[1], "x", 1) != 1) ::_exit(5);
            ::usleep(1500 * 1000);
            committed = posting.commit();
        }
        products.fb = nullptr;
        storage::ExitEngine();
        ::_exit(committed ? 0 : 6);
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);

    // ... while another, whose check found the code free, saves the same code with a unit.
    storage::InitEngine(30);
    ASSERT_EQ(app::MountBooksOfFolder(books.desks[0]), "");
    std::optional<std::string> refusal;
    std::optional<data::ProductRecord> onFile;
    {
        testing::OutsidePostingPrompter shown;
        std::optional<data::CompanyRecord> company = FirstCompany(books.desks[0], shown);
        ASSERT_TRUE(company);
        const std::string prefix = data::CompanyPrefix(company->ansi(data::Company::CompanyNo));
        data::ExistingFileblock products;
        data::OpenExisting(products, books.desks[0], data::FileKind::Product, prefix, shown);
        ASSERT_TRUE(products.fb);
        products::ProductEntry e = products::NewProductEntry("12/10/2026");
        e.code = code;
        e.description = "Saved second";
        EXPECT_FALSE(products::CheckProductEntry(e, products::kAddStartingCode, products.fb));
        try {
            products::SaveNewProduct(products.fb, {books.desks[0], prefix}, e, "HUR", "12/10/2026",
                                     shown);
        } catch (const products::ProductError& error) {
            refusal = error.what();
        }
        if (auto found = products::FindProductByCode(products.fb, code)) onFile = found->record;
        EXPECT_EQ(data::ReadProductUnitCode(books.desks[0], prefix, code, shown), "");
    }
    app::UnmountBooks(books.desks[0]);
    storage::ExitEngine();
    int status = 0;
    ::waitpid(first, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ASSERT_TRUE(refusal) << "both saves were made";
    EXPECT_EQ(*refusal, "This Product Code already exists for: Saved first. Use a different code.");
    ASSERT_TRUE(onFile);
    EXPECT_EQ(data::TrimmedText(onFile->text(data::Product::Description)), "Saved first");
    const CliRun check = Cli(books.office, {"check"});
    EXPECT_EQ(check.status, 0) << check.output;
}

}  // namespace
}  // namespace invarro::cli
