// Postings on a server that meet a fault: a program killed in the middle of a posting, a
// program stopped while it holds the rows of its posting, and the server stopped at once
// (as a crash stops it) and started again while programs post, and postings that meet a row
// another program holds for a moment. Nothing is ever half posted, nothing reported posted
// is lost, nothing is posted twice, and a program that cannot post says so and exits 1.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "FolderBooks.h"
#include "ServerDesks.h"
#include "app/Aging.h"
#include "app/BooksCheck.h"
#include "app/ServerBooks.h"
#include "customers/CustEdit.h"
#include "data/Posting.h"
#include "data/Texts.h"
#include "invoicing/InvEdit.h"
#include "invoicing/RepeatSet.h"
#include "platform/Clock.h"
#include "storage/server/Pq.h"
#include "storage/server/ServerBackend.h"
#include "support/OutsidePostingPrompter.h"
#include "support/RecordingProgress.h"
#include "support/TcpRelay.h"

namespace invarro::cli {
namespace {

using data::Money;
using Clock = std::chrono::steady_clock;

using ServerPostingFaultTest = ServerBooksTest;

// A program that a failed assertion would leave stopped is killed when the test ends.
struct KilledAtTheEnd {
    pid_t pid = 0;
    ~KilledAtTheEnd() {
        if (pid <= 0) return;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
};

// A number the watching connection reads (text result); -1 when the query fails.
long Count(pq::Connection& c, const std::string& sql) {
    pq::Result r;
    if (!c.exec(sql, r) || r.rows() != 1) return -1;
    return std::stol(std::string(r.bytes(0, 0)));
}

// Waits up to `seconds` for the count to become `wanted`.
bool WaitFor(pq::Connection& c, const std::string& sql, long wanted, int seconds = 15) {
    const auto until = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < until) {
        if (Count(c, sql) == wanted) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

const std::string kOtherSessions =
    "SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() AND pid <> "
    "pg_backend_pid() AND backend_type = 'client backend'";

TEST_F(ServerPostingFaultTest,
       AProgramStoppedHoldingItsRowsBlocksOthersBrieflyAndKilledLeavesNothingHalfPosted) {
    testing::TempDir dir;
    const ServerDesks books = MakeServerDesks(*cluster, dir, "killed", 2);
    ASSERT_TRUE(books.error.empty()) << books.error;
    const CliRun first =
        Cli(books.desks[0], {"invoice", "new", "--customer", "100", "--line", "BC-500:1:20.00"});
    ASSERT_EQ(first.status, 0) << first.output;
    const long lastNumber = InvoiceNumberOf(first.output);
    ASSERT_GT(lastNumber, 0) << first.output;
    const std::map<std::string, Money> before = Balances(books.office, {"100", "101"});

    pq::Connection watch, holder;
    ASSERT_TRUE(watch.open(books.conninfo)) << watch.error().message;
    ASSERT_TRUE(holder.open(books.conninfo)) << holder.error().message;
    // The test holds the customers' rows, so that a posting of an invoice waits for them
    // after it has taken the company's counter and written its invoice and lines.
    ASSERT_TRUE(holder.exec("BEGIN"));
    ASSERT_TRUE(
        holder.exec("SELECT r.rec_no FROM invarro.record r JOIN invarro.fileblock f "
                    "ON f.id = r.fb WHERE right(f.name, 1) = 'C' FOR UPDATE OF r"))
        << holder.error().message;
    const pid_t a = StartCli(books.desks[0],
                             {"invoice", "new", "--customer", "100", "--line", "BC-500:1:30.00"},
                             dir.file("a.txt"), "", {{"INVARRO_LOCK_TIMEOUT", "60000"}});
    KilledAtTheEnd guard{a};
    ASSERT_TRUE(WaitFor(watch, kOtherSessions + " AND wait_event_type = 'Lock'", 1))
        << "the posting did not come to the held rows";
    // Stopped while it waits; once the rows are let go, its posting holds them and the
    // company's counter, and goes no further.
    ASSERT_EQ(::kill(a, SIGSTOP), 0);
    ASSERT_TRUE(holder.exec("COMMIT"));
    holder.close();
    ASSERT_TRUE(WaitFor(watch, kOtherSessions + " AND state = 'idle in transaction'", 1));

    // Another program with a short lock wait gives up after its attempts: a clear message,
    // exit 1, nothing posted.
    const auto started = Clock::now();
    const CliRun blocked =
        Cli(books.desks[1], {"invoice", "new", "--customer", "101", "--line", "BC-500:1:25.00"}, "",
            {{"INVARRO_LOCK_TIMEOUT", "150"}});
    const auto waited = Clock::now() - started;
    EXPECT_EQ(blocked.status, 1) << blocked.output;
    EXPECT_NE(blocked.output.find(data::kCannotGetLock), std::string::npos) << blocked.output;
    EXPECT_NE(blocked.output.find("nothing was posted"), std::string::npos) << blocked.output;
    EXPECT_NE(blocked.output.find("ran again 4 times"), std::string::npos) << blocked.output;
    EXPECT_LT(waited, std::chrono::seconds(10));

    // Killed in the middle of its posting: the server rolls it back as its connection ends.
    ASSERT_EQ(::kill(a, SIGKILL), 0);
    int st = 0;
    ::waitpid(a, &st, 0);
    guard.pid = 0;
    EXPECT_TRUE(WIFSIGNALED(st)) << testing::ReadFileBytes(dir.file("a.txt"));
    ASSERT_TRUE(WaitFor(watch, kOtherSessions, 0)) << "the killed program's session stayed";
    EXPECT_EQ(Balances(books.office, {"100", "101"}), before);

    // Run again, the invoice is posted once, under the number the killed program had taken:
    // nothing of that one stayed, not even its number.
    const CliRun again =
        Cli(books.desks[0], {"invoice", "new", "--customer", "100", "--line", "BC-500:1:30.00"});
    ASSERT_EQ(again.status, 0) << again.output;
    EXPECT_EQ(InvoiceNumberOf(again.output), lastNumber + 1) << again.output;
    std::map<std::string, Money> expected = before;
    expected["100"] += AmountAfter(again.output, "total ");
    EXPECT_GT(expected["100"], before.at("100"));
    EXPECT_EQ(Balances(books.office, {"100", "101"}), expected);
    const CliRun check = Cli(books.office, {"check"});
    EXPECT_EQ(check.status, 0) << check.output;
}

TEST_F(ServerPostingFaultTest, TheServerStoppedAtOnceDuringARunLosesAndDoublesNothing) {
    const int workers = 2, perWorker = 10;
    testing::TempDir dir;
    const ServerDesks books = MakeServerDesks(*cluster, dir, "crashed", workers);
    ASSERT_TRUE(books.error.empty()) << books.error;
    const std::vector<std::string> customers = {"100", "101"};
    const std::map<std::string, Money> before = Balances(books.office, customers);

    std::vector<pid_t> pids;
    for (int w = 0; w < workers; ++w) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            std::ofstream log(dir.file("log" + std::to_string(w)));
            // At least perWorker postings, and on until two were begun after the server
            // came back, however fast the first ones went.
            const std::string back = dir.file("back");
            int afterBack = 0;
            for (int i = 0; i < perWorker || afterBack < 2; ++i) {
                if (std::filesystem::exists(back)) ++afterBack;
                const std::string customer = customers[std::size_t((i / 2 + w) % 2)];
                const bool invoice = i % 2 == 0;
                const CliRun r = invoice
                                     ? Cli(books.desks[std::size_t(w)],
                                           {"invoice", "new", "--customer", customer, "--line",
                                            "BC-500:1:" + std::to_string(11 + w) + ".00"})
                                     : Cli(books.desks[std::size_t(w)],
                                           {"payment", customer, std::to_string(3 + i) + ".25"});
                WriteLog(log, r, invoice ? "invoice" : "payment", customer);
                log.flush();
            }
            ::_exit(0);
        }
        pids.push_back(pid);
    }
    // Once the programs are posting, the server stops as a crash stops it, stays away a
    // moment, and starts again.
    const auto until = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < until && ReadLog(dir.file("log0")).size() < 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(cluster->stop(true)) << cluster->error();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(cluster->restart()) << cluster->error();
    std::ofstream(dir.file("back")) << "back\n";
    for (pid_t pid : pids) {
        int st = 0;
        ::waitpid(pid, &st, 0);
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    }

    std::map<std::string, Money> expected = before;
    std::vector<long> numbers;
    for (int w = 0; w < workers; ++w) {
        const std::vector<Posted> log = ReadLog(dir.file("log" + std::to_string(w)));
        ASSERT_GE(int(log.size()), perWorker);
        for (const Posted& p : log) {
            if (p.status != 0) {
                // Failed cleanly: the server could not be reached or its files not opened
                // before the posting began, or the posting was not made; never left in
                // doubt by a server that came back at once.
                EXPECT_EQ(p.status, 1) << p.output;
                EXPECT_TRUE(p.output.find("nothing was posted") != std::string::npos ||
                            p.output.find("cannot be reached") != std::string::npos ||
                            p.output.find(invoicing::kRunFilesUnavailable) != std::string::npos)
                    << p.output;
                continue;
            }
            if (p.verb == "invoice") {
                expected[p.customer] += AmountAfter(p.output, "total ");
                numbers.push_back(InvoiceNumberOf(p.output));
            } else {
                expected[p.customer] -= AmountAfter(p.output, "payment of ");
            }
        }
        // The programs that started after the server came back posted.
        EXPECT_EQ(log.back().status, 0) << log.back().output;
    }
    EXPECT_EQ(Balances(books.office, customers), expected);
    std::sort(numbers.begin(), numbers.end());
    ASSERT_FALSE(numbers.empty());
    EXPECT_EQ(std::adjacent_find(numbers.begin(), numbers.end()), numbers.end());
    EXPECT_EQ(numbers.back() - numbers.front() + 1, long(numbers.size()));
    const CliRun check = Cli(books.office, {"check"});
    EXPECT_EQ(check.status, 0) << check.output;
}

TEST_F(ServerPostingFaultTest, AnInvoiceWhoseCommitIsCutIsPostedOnceOrNotAtAllAndSaysWhich) {
    testing::TempDir dir;
    const ServerDesks books = MakeServerDesks(*cluster, dir, "indoubt", 0);
    ASSERT_TRUE(books.error.empty()) << books.error;
    // A desk whose connection goes through a relay that can cut it at a COMMIT.
    testing::TcpRelay relay(cluster->port());
    const std::string desk = dir.file("relayed");
    const CliRun joined =
        Cli(desk, {"server", "connect", cluster->tcpConnectionString("indoubt", relay.port())});
    ASSERT_EQ(joined.status, 0) << joined.output;
    const Money before = Balances(books.office, {"100"})["100"];

    storage::InitEngine(30);
    ASSERT_EQ(app::MountBooksOfFolder(desk), "");
    const auto server = app::BooksServer(desk);
    ASSERT_TRUE(server);
    Recording prompter;
    std::optional<data::CompanyRecord> company = FirstCompany(desk, prompter);
    ASSERT_TRUE(company);
    const data::DateOrder order =
        data::DateOrderFromCode(company->text(data::Company::DateFormatCode));
    const data::Date today{2026, 12, 10};
    std::vector<std::string> saved;
    bool refused = false;
    int doubted = 0;
    {
        invoicing::RunFiles open(desk, data::CompanyPrefix(company->ansi(data::Company::CompanyNo)),
                                 prompter, true);
        ASSERT_TRUE(open.ok());
        invoicing::SaveFiles files = open.saveFiles(*company, today);
        const auto customer = invoicing::FindCustomer(files.customers, "100");
        ASSERT_TRUE(customer);
        auto editor = [&] {
            invoicing::InvoiceEditor e = invoicing::InvoiceEditor::ForNew(*company, order, today);
            e.chooseCustomer(customer->record, prompter);
            e.entry.grid[1] = invoicing::LineRow{"RELAY", "1", "Relayed work", "10.00", "N", ""};
            e.cellEdited(1);
            e.recalc();
            return e;
        };
        const std::string commit("COMMIT\0", 7);

        // Cut after the server got the COMMIT: asked after reconnecting, the server says it
        // was made, and the save reports it done, once.
        relay.arm(commit, testing::TcpRelay::Cut::AfterForwarding);
        invoicing::InvoiceEditor first = editor();
        saved.push_back(invoicing::SaveNewInvoice(files, first, prompter).number);
        EXPECT_TRUE(relay.cut());
        doubted = server->inDoubtCommits();

        // Cut before: nothing was made, the save fails and is not run again by itself ...
        relay.arm(commit, testing::TcpRelay::Cut::BeforeForwarding);
        invoicing::InvoiceEditor second = editor();
        try {
            invoicing::SaveNewInvoice(files, second, prompter);
        } catch (const invoicing::InvoiceError&) {
            refused = true;
        }
        EXPECT_TRUE(relay.cut());
        // ... and saved again, it takes the number the lost one had.
        invoicing::InvoiceEditor third = editor();
        saved.push_back(invoicing::SaveNewInvoice(files, third, prompter).number);
        for (const std::string& number : saved)
            EXPECT_EQ(invoicing::RecordsWithNumber(files.invoices, number).size(), 1u) << number;
    }
    app::UnmountBooks(desk);
    storage::ExitEngine();
    EXPECT_EQ(doubted, 1);
    EXPECT_TRUE(refused);
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(std::stol(saved[1]), std::stol(saved[0]) + 1);
    EXPECT_EQ(Balances(books.office, {"100"})["100"], before + Money::FromCents(2000));
    const CliRun check = Cli(books.office, {"check"});
    EXPECT_EQ(check.status, 0) << check.output;
}

// Another program holds one row for a moment (a posting of its own left open while it
// works): the desk's posting of the repeat set-up, the aging, the books repair and a
// customer's deletion meets the lock, is rolled back and runs again whole, asks nothing
// while its transaction is open, and ends right.
class HeldRowTest : public ServerBooksTest {
  protected:
    // Forks a program working in `desk` that reads record recNo of the fileblock inside a
    // posting (locking it), and returns once it holds it; it commits after holdMs.
    pid_t holdRow(const std::string& desk, data::FileKind kind, const std::string& prefix,
                  int32_t recNo, int holdMs) {
        int ready[2];
        if (::pipe(ready) != 0) return -1;
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(ready[0]);
            storage::InitEngine(30);
            if (!app::MountBooksOfFolder(desk).empty()) ::_exit(2);
            storage::Fileblock* fb =
                storage::OpenFileblock(data::FileblockName(desk, kind, prefix), false);
            if (!fb) ::_exit(3);
            bool committed = false;
            {
                data::Posting posting;
                std::vector<uint8_t> record(std::size_t(storage::RecordLength(fb)));
                storage::GetRecord(fb, recNo, record.data());
                if (!storage::EngineOk || ::write(ready[1], "x", 1) != 1) ::_exit(4);
                ::usleep(useconds_t(holdMs) * 1000);
                committed = posting.commit();
            }
            storage::CloseFileblock(fb);
            storage::ExitEngine();
            ::_exit(committed ? 0 : 5);
        }
        ::close(ready[1]);
        char byte = 0;
        const bool held = ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
        return held ? pid : -1;
    }

    // Runs work in this program, working in `desk`, while another program holds the row;
    // it must have run again and asked nothing while a posting was open.
    template <class Work>
    void whileHeld(const std::string& desk, const std::string& other, data::FileKind kind,
                   const std::string& prefix, int32_t recNo, Work&& work) {
        const pid_t holder = holdRow(other, kind, prefix, recNo, 1000);
        ASSERT_GT(holder, 0);
        storage::InitEngine(30);
        ASSERT_EQ(app::MountBooksOfFolder(desk), "");
        const int64_t reruns = data::PostingReruns();
        work();
        EXPECT_GT(data::PostingReruns(), reruns) << "the lock was never met";
        app::UnmountBooks(desk);
        storage::ExitEngine();
        int status = 0;
        ::waitpid(holder, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
};

TEST_F(HeldRowTest, PostingsThatMeetARowHeldElsewhereRunAgainWholeAndEndRight) {
    testing::TempDir dir;
    const ServerDesks books = MakeServerDesks(*cluster, dir, "heldrow", 2);
    ASSERT_TRUE(books.error.empty()) << books.error;
    const std::string& desk = books.desks[0];
    const CliRun billed =
        Cli(books.desks[1], {"invoice", "new", "--customer", "102", "--line", "BC-500:1:40.00"});
    ASSERT_EQ(billed.status, 0) << billed.output;
    const std::string number = std::to_string(InvoiceNumberOf(billed.output));
    // A lock not granted within 400 ms fails the step: every posting below meets it.
    struct ShortLockWait {
        ShortLockWait() { ::setenv("INVARRO_LOCK_TIMEOUT", "400", 1); }
        ~ShortLockWait() { ::unsetenv("INVARRO_LOCK_TIMEOUT"); }
    } shortWait;

    // Where the rows are: the company record, the invoice, a customer with nothing on file.
    storage::InitEngine(30);
    ASSERT_EQ(app::MountBooksOfFolder(desk), "");
    testing::OutsidePostingPrompter shown;
    std::optional<data::CompanyRecord> company = FirstCompany(desk, shown);
    ASSERT_TRUE(company);
    const std::string prefix = data::CompanyPrefix(company->ansi(data::Company::CompanyNo));
    const data::DateOrder order =
        data::DateOrderFromCode(company->text(data::Company::DateFormatCode));
    int32_t companyRec = 0, invoiceRec = 0, spareRec = 0;
    {
        data::ExistingFileblock companies;
        data::OpenExisting(companies, desk, data::FileKind::Company, {}, shown);
        auto found = data::FindAtOrAfter<data::Company>(companies.fb, 1, *company);
        ASSERT_TRUE(found);
        companyRec = found->recNo;
        invoicing::RunFiles open(desk, prefix, shown, true);
        ASSERT_TRUE(open.ok());
        invoicing::SaveFiles files = open.saveFiles(*company, data::Date{2026, 12, 10});
        const std::vector<int32_t> numbered = invoicing::RecordsWithNumber(files.invoices, number);
        ASSERT_EQ(numbered.size(), 1u);
        invoiceRec = numbered[0];
        customers::CustomerFiles customerFiles{desk, *company, files.customers};
        customers::CustomerEntry entry = customers::NewCustomerEntry(*company);
        entry.name = "Leaves soon";
        customers::ApplyShortNameRule(entry);
        spareRec = customers::AddCustomer(customerFiles, entry, shown);
    }
    app::UnmountBooks(desk);
    storage::ExitEngine();
    const Money balance = Balances(books.office, {"102"})["102"];

    // The repeat set-up of the invoice, while the company record is held.
    whileHeld(desk, books.desks[1], data::FileKind::Company, "", companyRec, [&] {
        invoicing::RunFiles open(desk, prefix, shown, true);
        ASSERT_TRUE(open.ok());
        invoicing::SaveFiles files = open.saveFiles(*company, data::Date{2026, 12, 10});
        const auto asRead = data::ReadBusinessRecord<data::Invoice>(files.invoices, invoiceRec);
        ASSERT_TRUE(asRead);
        invoicing::RepeatSetupEntry e = invoicing::SetupEntryFor(*asRead, order);
        e.generate = true;
        e.every = "1";
        e.unit = invoicing::RepeatUnit::Months;
        e.nextDate = data::FormatUserDate(data::Date{2027, 1, 10}, order);
        const invoicing::SetupResult set =
            invoicing::ApplyRepeatSetup(files, invoiceRec, *asRead, e, order, shown);
        EXPECT_TRUE(set.converted);
        EXPECT_EQ(set.record.text(data::Invoice::TransType), "R");
    });
    EXPECT_EQ(Balances(books.office, {"102"})["102"], balance - Money::FromCents(4000));

    // The aging, and the books repair, while the company record is held.
    app::Session session;
    session.folder = desk;
    session.company = *company;
    session.dateOrder = order;
    platform::FixedClock clock{{2026, 12, 10, 9, 0, 0}};
    testing::RecordingProgress progress;
    whileHeld(desk, books.desks[1], data::FileKind::Company, "", companyRec, [&] {
        const app::AgingOutcome aged =
            app::RunAging(session, true, clock, shown, progress, app::RunHooks{});
        EXPECT_EQ(aged.status, app::AgingStatus::Done) << aged.error;
    });
    whileHeld(desk, books.desks[1], data::FileKind::Company, "", companyRec, [&] {
        const app::BooksRepair repair = app::RepairBooks(session, clock, shown, progress);
        EXPECT_TRUE(repair.ok) << repair.error;
    });

    // A customer's deletion, while the customer is held.
    whileHeld(desk, books.desks[1], data::FileKind::Customer, prefix, spareRec, [&] {
        data::ExistingFileblock customers;
        data::OpenExisting(customers, desk, data::FileKind::Customer, prefix, shown);
        ASSERT_TRUE(customers.fb);
        const auto record = data::ReadBusinessRecord<data::Customer>(customers.fb, spareRec);
        ASSERT_TRUE(record);
        customers::CustomerFiles files{desk, *company, customers.fb};
        shown.expect("Are you sure you want to delete this customer?", platform::Answer::Yes);
        EXPECT_TRUE(customers::DeleteCustomer(files, spareRec, *record, shown));
        EXPECT_FALSE(data::ReadBusinessRecord<data::Customer>(customers.fb, spareRec));
    });
    EXPECT_EQ(shown.shownInsidePosting(), 0);
    EXPECT_EQ(Balances(books.office, {"102"})["102"], balance - Money::FromCents(4000));
    const CliRun check = Cli(books.office, {"check"});
    EXPECT_EQ(check.status, 0) << check.output;
}

}  // namespace
}  // namespace invarro::cli
