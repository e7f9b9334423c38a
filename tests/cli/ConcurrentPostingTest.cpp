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
#include "app/Demo.h"
#include "data/Money.h"
#include "storage/Engine.h"
#include "support/PgCluster.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::cli {
namespace {

namespace fs = std::filesystem;
using data::Money;

// What one command of a worker reported.
struct Posted {
    std::string verb;  // "invoice" or "payment"
    std::string customer;
    int status = -1;
    std::string output;
};

// Reads the lines a worker wrote: status, verb, customer, then the output up to a line "%%".
std::vector<Posted> ReadLog(const std::string& path) {
    std::vector<Posted> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        Posted p;
        std::istringstream head(line);
        head >> p.status >> p.verb >> p.customer;
        while (std::getline(in, line) && line != "%%")
            p.output += line + "\n";
        out.push_back(p);
    }
    return out;
}

// The amount after "total " in an invoice's report, or after "payment of ".
Money AmountAfter(const std::string& text, const std::string& word) {
    const std::size_t at = text.find(word);
    if (at == std::string::npos) return Money();
    std::string amount;
    for (std::size_t i = at + word.size();
         i < text.size() && text[i] != ',' && text[i] != ' ' && text[i] != '\n'; ++i)
        if (text[i] != ',') amount += text[i];
    return data::ParseMoney(amount).value_or(Money());
}

class ConcurrentPostingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        cluster = testing::SharedPgCluster();
        if (!cluster) {
            if (testing::PgRequired()) FAIL() << "the PostgreSQL test cluster did not start";
            GTEST_SKIP() << "no PostgreSQL test cluster";
        }
    }
    testing::PgCluster* cluster = nullptr;
};

// The balance of each customer as `aging` prints it (number, then the balance column).
std::map<std::string, Money> Balances(const std::string& folder,
                                      const std::vector<std::string>& customers) {
    std::map<std::string, Money> out;
    const CliRun aging = Cli(folder, {"aging"});
    EXPECT_EQ(aging.status, 0) << aging.output;
    std::istringstream lines(aging.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string s; words >> s;)
            w.push_back(s);
        for (const std::string& c : customers)
            if (!w.empty() && w[0] == c) {
                // The balance is the first amount after the name.
                for (std::size_t i = 1; i < w.size(); ++i) {
                    std::string t = w[i];
                    t.erase(std::remove(t.begin(), t.end(), ','), t.end());
                    if (t.find('.') != std::string::npos)
                        if (auto m = data::ParseMoney(t)) {
                            out[c] = *m;
                            break;
                        }
                }
            }
    }
    return out;
}

TEST_F(ConcurrentPostingTest, FourProgramsPostingForTheSameCustomersLoseNothingAndSkipNoNumber) {
    const int perWorker = std::getenv("INVARRO_CONCURRENT_POSTINGS")
                              ? std::atoi(std::getenv("INVARRO_CONCURRENT_POSTINGS"))
                              : 15;
    const int workers = 4;
    testing::TempDir dir;
    const std::string office = dir.file("office");
    fs::create_directory(office);
    {
        storage::InitEngine(30);
        testing::ScriptedPrompter quiet;
        const app::InstallResult demo = app::CreateDemoInstallation(office, quiet);
        storage::ExitEngine();
        ASSERT_TRUE(demo.ok) << demo.message;
    }
    ASSERT_TRUE(cluster->createDatabase("concurrent"));
    const std::string conninfo = cluster->connectionString("concurrent");
    const CliRun up = Cli(office, {"server", "upload", conninfo});
    ASSERT_EQ(up.status, 0) << up.output;
    std::vector<std::string> desks;
    for (int w = 0; w < workers; ++w) {
        desks.push_back(dir.file("desk" + std::to_string(w)));
        const CliRun joined = Cli(desks.back(), {"server", "connect", conninfo});
        ASSERT_EQ(joined.status, 0) << joined.output;
    }

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
                    log << r.status << " " << (invoice ? "invoice" : "payment") << " " << customer
                        << "\n"
                        << r.output << (r.output.empty() || r.output.back() == '\n' ? "" : "\n")
                        << "%%\n";
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
                    std::istringstream lines(p.output);
                    std::string last, line;
                    while (std::getline(lines, line))
                        if (!line.empty() && line.find(' ') == std::string::npos) last = line;
                    ASSERT_FALSE(last.empty()) << p.output;
                    invoiceNumbers.push_back(std::stol(last));
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

}  // namespace
}  // namespace invarro::cli
