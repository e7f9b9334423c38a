// Every posting command of invarro-cli run on a copy of the demo and ended at its n-th file
// write, sync, rename or truncate, as a kill would end it, or failed there as a full disk
// fails it. The next command opens the folder without a question and finds the books
// sound; the books are those before the command or those after it; and running the
// command again ends exactly as a run that was never interrupted.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "app/CompanyManager.h"
#include "app/Demo.h"
#include "app/Purge.h"
#include "app/Session.h"
#include "app/Startup.h"
#include "customers/CustEdit.h"
#include "data/Fileblocks.h"
#include "data/Keys.h"
#include "data/Records.h"
#include "data/SideFiles.h"
#include "data/Update.h"
#include "invoicing/InvEdit.h"
#include "invoicing/InvManage.h"
#include "invoicing/Payment.h"
#include "platform/Clock.h"
#include "storage/Engine.h"
#include "storage/EngineTesting.h"
#include "storage/Transaction.h"
#include "storage/Verify.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::cli {
namespace {

namespace fs = std::filesystem;

struct CliRun {
    int status = -1;
    std::string output;
};

// invarro-cli as a child process, with the file-layer seam set from its environment.
CliRun Cli(const std::string& folder, const std::vector<std::string>& args,
           const std::string& fault = "") {
    testing::TempDir out;
    const std::string log = out.file("out.txt");
    pid_t pid = ::fork();
    if (pid == 0) {
        int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        if (fault.empty())
            ::unsetenv("INVARRO_FILE_FAULT");
        else
            ::setenv("INVARRO_FILE_FAULT", fault.c_str(), 1);
        std::vector<std::string> all = {"invarro-cli", "--data", folder, "--yes"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(INVARRO_CLI, argv.data());
        ::_exit(127);
    }
    int st = 0;
    ::waitpid(pid, &st, 0);
    CliRun r;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    r.output = testing::ReadFileBytes(log);
    return r;
}

// What the books hold, whatever the record numbers: every live record of every business
// fileblock in the folder, and the key strings of every key in index order.
struct Books {
    std::map<std::string, std::multiset<std::string>> records;  // by file name
    std::map<std::string, std::string> keys;
    bool operator==(const Books&) const = default;
};

Books BooksOf(const std::string& folder) {
    Books books;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string n = e.path().filename().string();
        if (e.path().extension() != ".DAT" || !data::KindFromFileblockName(n)) continue;
        const std::string stem = e.path().stem().string();
        const std::string name = folder + "/" + stem;
        std::string error;
        auto& records = books.records[stem];
        storage::ForEachLiveRecord(
            name, [&](int32_t, const std::string& bytes) { records.insert(bytes); }, error);
        storage::FileblockInfo info;
        storage::ReadFileblockInfo(name, info, error);
        std::string& keys = books.keys[stem];
        for (int k = 1; k <= info.numKeys; ++k) {
            keys += "key " + std::to_string(k) + ":";
            storage::ForEachKeyEntry(
                name, k, [&](const std::string& key, int32_t) { keys += key + "|"; }, error);
        }
    }
    return books;
}

// A record as a person reads it: its printable characters.
std::string Readable(const std::string& bytes) {
    std::string out;
    for (char c : bytes.substr(4)) {
        if (static_cast<unsigned char>(c) >= 32 && static_cast<unsigned char>(c) < 127)
            out += c;
        else if (!out.empty() && out.back() != ' ')
            out += ' ';
        if (out.size() > 90) break;
    }
    return out;
}

// How two states of the books differ, shortly.
std::string Difference(const Books& expected, const Books& actual) {
    std::string out;
    for (const auto& [file, records] : expected.records) {
        const auto it = actual.records.find(file);
        const std::multiset<std::string> none;
        const auto& other = it == actual.records.end() ? none : it->second;
        for (const std::string& r : records)
            if (!other.count(r)) out += "  " + file + " lacks: " + Readable(r) + "\n";
        for (const std::string& r : other)
            if (!records.count(r)) out += "  " + file + " has:   " + Readable(r) + "\n";
        if (expected.keys.at(file) != actual.keys.at(file)) out += "  " + file + ": keys differ\n";
        if (out.size() > 2000) break;
    }
    return out.empty() ? "  the same" : out;
}

void Copy(const std::string& from, const std::string& to) {
    fs::remove_all(to);
    fs::copy(from, to, fs::copy_options::recursive);
}

// Answers every question with Yes (or OK), as a user going ahead would.
struct GoAhead : platform::Prompter {
    platform::Answer ask(const platform::Message& m) override {
        if (std::getenv("INVARRO_TEST_VERBOSE")) std::fprintf(stderr, "%s\n", m.text.c_str());
        return m.buttons == platform::Buttons::Ok || m.buttons == platform::Buttons::OkCancel
                   ? platform::Answer::Ok
                   : platform::Answer::Yes;
    }
    void beep() override {}
};

// A posting of the program's own, as its window runs it, on the folder; true when it was
// written.
using ProgramPosting = std::function<bool(const std::string& folder, platform::Prompter&)>;

// The posting in a child process (ended at the n-th file operation when n > 0); its exit
// status.
int InChild(const std::string& folder, const ProgramPosting& post, int64_t n) {
    pid_t pid = ::fork();
    if (pid == 0) {
        storage::InitEngine(30);
        storage::ClearFileFault();
        if (n > 0) storage::SetFileFault(0, n, storage::FileFaultAction::Exit);
        GoAhead yes;
        const bool ok = post(folder, yes);
        storage::ExitEngine();
        ::_exit(ok && storage::EngineOk ? 0 : 1);
    }
    int st = 0;
    ::waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

class PostingFaultTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        base_ = new testing::TempDir;
        storage::InitEngine(30);
        testing::ScriptedPrompter quiet;
        ASSERT_TRUE(app::CreateDemoInstallation(demo(), quiet).ok);
        storage::ExitEngine();
        fs::create_directories(base_->file("backup"));
        ASSERT_EQ(Cli(demo(), {"backup", base_->file("backup")}).status, 0);
    }
    static void TearDownTestSuite() {
        delete base_;
        base_ = nullptr;
    }
    static std::string demo() { return base_->file("demo"); }
    static std::string archive() { return base_->file("backup") + "/ZTBackup.zip"; }

    // The file operations of an uninterrupted run: the first n at which the command is no
    // longer ended.
    int64_t operations(const std::string& start, const std::vector<std::string>& args) {
        const std::string f = dir.file("count");
        auto reached = [&](int64_t n) {
            Copy(start, f);
            return Cli(f, args, "exit:" + std::to_string(n)).status == storage::kFaultExitStatus;
        };
        int64_t hi = 1;
        while (reached(hi))
            hi *= 2;
        int64_t lo = hi / 2;  // reached (or 0)
        while (hi - lo > 1) {
            const int64_t mid = (lo + hi) / 2;
            (reached(mid) ? lo : hi) = mid;
        }
        return lo;
    }

    // Points to end a run at: every one of the first and the last, and an even spread in
    // between, so that every phase of a long run is met.
    static std::vector<int64_t> points(int64_t total, int64_t spread = 24) {
        std::set<int64_t> p;
        for (int64_t n = 1; n <= std::min<int64_t>(total, 12); ++n)
            p.insert(n);
        for (int64_t n = std::max<int64_t>(1, total - 12); n <= total; ++n)
            p.insert(n);
        for (int64_t i = 1; i < spread; ++i)
            p.insert(std::max<int64_t>(1, total * i / spread));
        return {p.begin(), p.end()};
    }

    // The command on a copy of start, ended (or failed) at each point; then the folder is
    // opened by the books check and the command run again. Whole says whether the command is
    // one posting (the books are then before or after, never between).
    void walk(const std::string& start, const std::vector<std::string>& args, bool whole,
              bool idempotent, bool startSound = true) {
        const Books before = BooksOf(start);
        const std::string done = dir.file("done");
        Copy(start, done);
        const CliRun clean = Cli(done, args);
        ASSERT_EQ(clean.status, 0) << clean.output;
        const Books after = BooksOf(done);
        ASSERT_NE(before, after);
        const int64_t total = operations(start, args);
        ASSERT_GT(total, 3);
        std::printf("%lld file operations\n", (long long)total);
        const std::string f = dir.file("run");
        int sawBefore = 0, sawAfter = 0;
        for (const char* kind : {"exit", "fail"}) {
            for (int64_t n : points(total)) {
                SCOPED_TRACE(std::string(kind) + " at " + std::to_string(n) + " of " +
                             std::to_string(total));
                Copy(start, f);
                const CliRun broken =
                    Cli(f, args, std::string(kind) + ":" + std::to_string(n) + "::28");
                if (std::string(kind) == "exit") {
                    ASSERT_EQ(broken.status, storage::kFaultExitStatus);
                }
                // The next program: no question, sound books.
                const CliRun check = Cli(f, {"check"});
                const Books now = BooksOf(f);
                if (startSound || !(now == before)) {
                    EXPECT_EQ(check.status, 0) << check.output;
                }
                EXPECT_EQ(check.output.find("Rebuild?"), std::string::npos) << check.output;
                EXPECT_EQ(check.output.find("Abort?"), std::string::npos) << check.output;
                EXPECT_FALSE(fs::exists(f + "/INVARRO.JNL"));
                if (whole) {
                    EXPECT_TRUE(now == before || now == after)
                        << "against the books after:\n"
                        << Difference(after, now) << broken.output;
                    sawBefore += now == before;
                    sawAfter += now == after;
                }
                // A run that reported success did all of it.
                if (broken.status == 0) {
                    EXPECT_TRUE(now == after) << Difference(after, now) << broken.output;
                }
                if (!idempotent && now == after) continue;
                const CliRun again = Cli(f, args);
                EXPECT_EQ(again.status, 0) << again.output;
                const Books again2 = BooksOf(f);
                EXPECT_TRUE(again2 == after) << Difference(after, again2) << "run again after "
                                             << broken.output << again.output;
            }
        }
        if (whole) {
            EXPECT_GT(sawBefore, 0);
            EXPECT_GT(sawAfter, 0);
        }
    }

    // The same walk for a posting the windows make, killed in a child process.
    void walkProgram(const ProgramPosting& post) { walkProgram(demo(), post); }
    void walkProgram(const std::string& start, const ProgramPosting& post) {
        const Books before = BooksOf(start);
        const std::string done = dir.file("done");
        Copy(start, done);
        ASSERT_EQ(InChild(done, post, 0), 0);
        const Books after = BooksOf(done);
        ASSERT_FALSE(before == after);
        const std::string f = dir.file("run");
        auto reached = [&](int64_t n) {
            Copy(start, f);
            return InChild(f, post, n) == storage::kFaultExitStatus;
        };
        int64_t total = 1;
        while (reached(total))
            total *= 2;
        for (int64_t lo = total / 2, hi = total; hi - lo > 1;) {
            const int64_t mid = (lo + hi) / 2;
            (reached(mid) ? lo : hi) = mid;
            total = lo;
        }
        ASSERT_GT(total, 3);
        int sawBefore = 0, sawAfter = 0;
        for (int64_t n : points(total)) {
            SCOPED_TRACE("killed at " + std::to_string(n) + " of " + std::to_string(total));
            Copy(start, f);
            ASSERT_EQ(InChild(f, post, n), storage::kFaultExitStatus);
            const CliRun check = Cli(f, {"check"});
            EXPECT_EQ(check.status, 0) << check.output;
            EXPECT_EQ(check.output.find("Rebuild?"), std::string::npos) << check.output;
            const Books now = BooksOf(f);
            EXPECT_TRUE(now == before || now == after) << Difference(after, now);
            sawBefore += now == before;
            sawAfter += now == after;
            if (now == before) {
                EXPECT_EQ(InChild(f, post, 0), 0);
                EXPECT_TRUE(BooksOf(f) == after) << Difference(after, BooksOf(f));
            }
        }
        EXPECT_GT(sawBefore, 0);
        EXPECT_GT(sawAfter, 0);
    }

    testing::TempDir dir;
    static testing::TempDir* base_;
};

testing::TempDir* PostingFaultTest::base_ = nullptr;

TEST_F(PostingFaultTest, Aging) {
    walk(demo(), {"aging", "--as-of", "2027-03-01"}, true, true);
}

TEST_F(PostingFaultTest, RepeatBillingGoesOnFromWhereItStopped) {
    walk(demo(), {"repeat", "--through", "2027-03-31"}, false, true);
}

TEST_F(PostingFaultTest, InterestChargesEachCustomerOnce) {
    walk(demo(), {"interest", "--over", "30", "--percent", "1.5", "--date", "2027-01-15"}, true,
         false);
}

TEST_F(PostingFaultTest, BankImportPostsEachLineOnce) {
    walk(demo(),
         {"--company", "3", "bank", "import", demo() + "/Bank statement 3.xml", "--post", "exact"},
         false, true);
}

TEST_F(PostingFaultTest, CustomerImport) {
    walk(demo(), {"import", "customers", demo() + "/NewCustomers.CSV"}, true, false);
}

TEST_F(PostingFaultTest, ProductImport) {
    walk(demo(), {"import", "products", demo() + "/NewProducts.CSV"}, true, false);
}

TEST_F(PostingFaultTest, Restore) {
    // The books moved on since the backup; the restore brings the backup's back.
    const std::string moved = dir.file("moved");
    Copy(demo(), moved);
    ASSERT_EQ(Cli(moved, {"repeat", "--through", "2027-03-31"}).status, 0);
    walk(moved, {"restore", archive()}, true, true);
}

TEST_F(PostingFaultTest, RepairOfTheBooks) {
    // A customer whose stored balance is wrong: the repair writes it again.
    const std::string damaged = dir.file("damaged");
    Copy(demo(), damaged);
    storage::InitEngine(30);
    storage::Fileblock* fb =
        storage::OpenFileblock(data::FileblockName(damaged, data::FileKind::Customer, "1"), false);
    ASSERT_TRUE(storage::EngineOk);
    const int32_t rec = storage::NextUsedRecord(fb, 0);
    data::CustomerRecord c;
    storage::GetRecord(fb, rec, c.data());
    ASSERT_TRUE(c.setMoney(data::Customer::Balance,
                           c.money(data::Customer::Balance) + data::Money::FromCents(12345)));
    storage::PutRecord(fb, rec, c.data());
    storage::CloseFileblock(fb);
    storage::ExitEngine();
    ASSERT_EQ(Cli(damaged, {"check"}).status, 1);
    walk(damaged, {"check", "--repair"}, true, true, false);
}

// ----------------------------------------------------------- postings of the windows

// The files of company 1 as the invoice manager holds them, and the company in use.
struct CompanyFiles {
    std::string folder;
    data::CompanyRecord company;
    invoicing::ShortOpen invoices, lines, memos, customers;
    explicit CompanyFiles(const std::string& f, platform::Prompter& p)
        : folder(f),
          company(*data::ReadLastCompany(f)),
          invoices(f, data::FileKind::Invoice, "1", p),
          lines(f, data::FileKind::InvoiceLine, "1", p),
          memos(f, data::FileKind::Memo, "1", p),
          customers(f, data::FileKind::Customer, "1", p) {}
    invoicing::SaveFiles save(const data::Date& today) {
        return invoicing::SaveFiles{folder,       company, invoices.fb, lines.fb, memos.fb,
                                    customers.fb, today,   nullptr,     nullptr};
    }
    std::optional<data::Found<data::Customer>> customer(const std::string& number) {
        data::CustomerRecord probe;
        probe.setText(data::Customer::CustNo, number);
        auto found = data::FindAtOrAfter<data::Customer>(customers.fb, 2, probe);
        if (!found || found->key != data::CustomerKey(probe, 2)) return std::nullopt;
        return found;
    }
    std::optional<data::Found<data::Invoice>> invoice(const std::string& number) {
        data::InvoiceRecord probe;
        probe.setText(data::Invoice::InvNo, number);
        auto found = data::FindAtOrAfter<data::Invoice>(invoices.fb, 1, probe);
        if (!found || data::TrimmedText(found->record.text(data::Invoice::InvNo)) != number)
            return std::nullopt;
        return found;
    }
};

const data::Date kToday{2026, 12, 9};

TEST_F(PostingFaultTest, NewInvoiceWithItsLinesAndBalances) {
    walkProgram([](const std::string& folder, platform::Prompter& p) {
        CompanyFiles files(folder, p);
        auto customer = files.customer("101");
        if (!customer) return false;
        invoicing::InvoiceEditor ed =
            invoicing::InvoiceEditor::ForNew(files.company, data::DateOrder::MonthFirst, kToday);
        ed.chooseCustomer(customer->record, p);
        const char* rows[3][4] = {{"BC-500", "2", "Business cards", "64.95"},
                                  {"DES-HR", "3", "Design work", "85.00"},
                                  {"", "1", "Delivery", "12.50"}};
        for (int r = 1; r <= 3; ++r) {
            ed.entry.grid[r] = invoicing::LineRow{
                rows[r - 1][0], rows[r - 1][1], rows[r - 1][2], rows[r - 1][3], "Y", ""};
            ed.cellEdited(r);
        }
        invoicing::SaveFiles save = files.save(kToday);
        try {
            invoicing::SaveNewInvoice(save, ed, p);
        } catch (const std::exception&) {
            return false;
        }
        return true;
    });
}

TEST_F(PostingFaultTest, InvoiceEditedWithANewNumber) {
    walkProgram([](const std::string& folder, platform::Prompter& p) {
        CompanyFiles files(folder, p);
        auto stored = files.invoice("1346");
        if (!stored) return false;
        const std::string number = stored->record.text(data::Invoice::InvNo);
        std::vector<data::InvoiceLineRecord> lines;
        for (auto& [n, l] : invoicing::StoredLines(files.lines.fb, number))
            lines.push_back(l);
        std::optional<data::MemoRecord> memo;
        if (auto m = invoicing::StoredMemo(files.memos.fb, number)) memo = m->second;
        auto customer =
            files.customer(data::TrimmedText(stored->record.text(data::Invoice::CustNo)));
        if (!customer) return false;
        invoicing::InvoiceEditor ed =
            invoicing::InvoiceEditor::ForEdit(files.company, data::DateOrder::MonthFirst,
                                              stored->record, lines, memo, customer->record);
        ed.entry.number = "1346A";
        ed.entry.grid[2].quantity = "7";
        ed.cellEdited(2);
        invoicing::SaveFiles save = files.save(kToday);
        try {
            invoicing::SaveInvoiceEdit(save, ed, stored->recNo, stored->record, p);
        } catch (const std::exception&) {
            return false;
        }
        return true;
    });
}

// Deletes the invoice of this number as the invoice manager does (which holds the invoice
// files but not the customer file); true when it was deleted.
bool DeleteNumbered(const std::string& folder, const std::string& number, platform::Prompter& p) {
    data::CompanyRecord company = *data::ReadLastCompany(folder);
    company.setYes(data::Company::AuditTrail, false);
    invoicing::ShortOpen invoices(folder, data::FileKind::Invoice, "1", p);
    invoicing::ShortOpen lines(folder, data::FileKind::InvoiceLine, "1", p);
    invoicing::ShortOpen memos(folder, data::FileKind::Memo, "1", p);
    data::InvoiceRecord probe;
    probe.setText(data::Invoice::InvNo, number);
    auto found = data::FindAtOrAfter<data::Invoice>(invoices.fb, 1, probe);
    if (!found || data::TrimmedText(found->record.text(data::Invoice::InvNo)) != number)
        return false;
    invoicing::InvoiceFiles files{folder, company, invoices.fb, lines.fb, memos.fb};
    platform::FixedClock clock({2026, 12, 9, 12, 0, 0});
    try {
        return invoicing::DeleteInvoice(files, found->recNo, found->record, p, clock).deleted;
    } catch (const std::exception&) {
        return false;
    }
}

TEST_F(PostingFaultTest, InvoiceDeletedWithItsLinesAndBalances) {
    walkProgram([](const std::string& folder, platform::Prompter& p) {
        return DeleteNumbered(folder, "1346", p);
    });
}

TEST_F(PostingFaultTest, PaymentWithADeposit) {
    walkProgram([](const std::string& folder, platform::Prompter& p) {
        CompanyFiles files(folder, p);
        auto stored = files.invoice("1346");
        if (!stored) return false;
        const std::string custNo = data::TrimmedText(stored->record.text(data::Invoice::CustNo));
        std::vector<invoicing::PayItem> items = {
            {"1346", "", data::Money::FromCents(5000), true},
            {std::string(invoicing::kNewDeposit), "", data::Money::FromCents(2500), false}};
        invoicing::SaveFiles save = files.save(kToday);
        const invoicing::PostOutcome o =
            invoicing::PostPayment(save, custNo, "12/09/2026", "Check 1001", items, p);
        return o.posted == 2 && o.customerUpdated && o.companyUpdated;
    });
}

TEST_F(PostingFaultTest, CustomerRenumberedWithItsInvoices) {
    walkProgram([](const std::string& folder, platform::Prompter& p) {
        data::CompanyRecord company = *data::ReadLastCompany(folder);
        invoicing::ShortOpen customers(folder, data::FileKind::Customer, "1", p);
        auto customer = invoicing::FindCustomer(customers.fb, "100");
        if (!customer) return false;
        customers::CustomerFiles cf{folder, company, customers.fb};
        customers::CustomerEntry e = customers::EntryFromRecord(customer->record);
        e.number = "100X";
        try {
            return customers::ChangeCustomer(cf, customer->recNo, customer->record, e, "100", p).ok;
        } catch (const std::exception&) {
            return false;
        }
    });
}

TEST_F(PostingFaultTest, PurgeOfOldPaidRecords) {
    // The demo's first invoice is paid and its first quote goes, so that every record before
    // the cut-off is paid and the purge can run.
    const std::string start = dir.file("start");
    Copy(demo(), start);
    ASSERT_EQ(InChild(
                  start,
                  [](const std::string& folder, platform::Prompter& p) {
                      CompanyFiles files(folder, p);
                      auto first = files.invoice("1001");
                      if (!first) return false;
                      const std::vector<invoicing::PayItem> items = {
                          {"1001", "", first->record.money(data::Invoice::BalanceDue), false}};
                      invoicing::SaveFiles save = files.save(kToday);
                      return invoicing::PostPayment(
                                 save, data::TrimmedText(first->record.text(data::Invoice::CustNo)),
                                 "12/09/2026", "", items, p)
                                 .posted == 1;
                  },
                  0),
              0);
    ASSERT_EQ(InChild(
                  start,
                  [](const std::string& folder, platform::Prompter& p) {
                      return DeleteNumbered(folder, "1002", p);
                  },
                  0),
              0);
    walkProgram(start, [](const std::string& folder, platform::Prompter& p) {
        app::Session session;
        session.folder = folder;
        session.company = *data::ReadLastCompany(folder);
        app::ApplyCompanySettings(session);
        struct Pick : app::DatePickerPort {
            std::optional<data::Date> pickDate(const std::string&, const data::Date&) override {
                return data::Date{2024, 12, 21};
            }
        } pick;
        platform::FixedClock clock({2026, 12, 9, 12, 0, 0});
        const app::PurgeOutcome o = app::PurgePaidRecords(session, clock, p, pick, app::RunHooks{});
        return o.status == app::PurgeStatus::Done && o.removed > 0;
    });
}

TEST_F(PostingFaultTest, ProductsCopiedToAnotherCompany) {
    walkProgram([](const std::string& folder, platform::Prompter& p) {
        return app::CopyToCompany(folder, app::CopyMode::Products, "1", "2", p) ==
               app::CopyOutcome::Copied;
    });
}

}  // namespace
}  // namespace invarro::cli
