// The desktop program killed while an invoice is being saved. A child process (this test
// program run again) opens the Invoice Manager on a copy of the demo, fills in a new
// invoice and clicks OK; the file layer stops it at its n-th file write, sync, rename or
// truncate and the test kills it there with SIGKILL. The folder is then opened as the next
// program would open it: no question, sound books, and the invoice is either all there
// (header, lines, customer balance, company receivables and number) or not there at all.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTest>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "WindowFixture.h"
#include "app/Demo.h"
#include "data/Company.h"
#include "data/Fileblocks.h"
#include "data/Keys.h"
#include "data/Records.h"
#include "data/Recovery.h"
#include "data/SideFiles.h"
#include "invoicing/InvEdit.h"
#include "platform/Clock.h"
#include "platform/Progress.h"
#include "storage/Engine.h"
#include "storage/EngineTesting.h"
#include "support/Modal.h"
#include "support/QtApp.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui/InvList.h"
#include "ui/ProdInv.h"

namespace invarro::ui {
namespace {

namespace fs = std::filesystem;
using data::Company;
using data::Customer;
using data::Invoice;

constexpr const char* kFolderVariable = "INVARRO_KILLED_SAVE_FOLDER";
constexpr const char* kCustomer = "101";

// The part of the books an invoice save moves.
struct Books {
    std::string nextInvNo;
    std::string receivables;
    std::string balance;  // the customer's
    int invoices = 0;
    int lines = 0;
    bool operator==(const Books&) const = default;
};

std::string Describe(const Books& b) {
    return "next " + b.nextInvNo + ", receivables " + b.receivables + ", balance " + b.balance +
           ", " + std::to_string(b.invoices) + " invoices, " + std::to_string(b.lines) + " lines";
}

Books BooksOf(const std::string& folder) {
    Books b;
    storage::InitEngine(30);
    testing::ScriptedPrompter quiet;
    auto company = data::ReadLastCompany(folder);
    EXPECT_TRUE(company);
    if (!company) return b;
    {
        invoicing::ShortOpen companies(folder, data::FileKind::Company, "", quiet);
        if (auto c = data::ReadBusinessRecord<Company>(companies.fb, 1)) {
            b.nextInvNo = data::TrimmedText(c->text(Company::NextInvNo));
            b.receivables = data::TrimmedText(c->text(Company::ARBalance));
        }
    }
    if (auto c = invoicing::InvoiceCustomer(folder, "1", kCustomer, quiet))
        b.balance = data::TrimmedText(c->text(Customer::Balance));
    invoicing::ShortOpen invoices(folder, data::FileKind::Invoice, "1", quiet);
    invoicing::ShortOpen lines(folder, data::FileKind::InvoiceLine, "1", quiet);
    b.invoices = storage::UsedRecordCount(invoices.fb);
    b.lines = storage::UsedRecordCount(lines.fb);
    storage::ExitEngine();
    return b;
}

struct ChildRun {
    int status = -1;          // exit status, or 128 + signal
    bool paused = false;      // stopped by the file layer and then killed
    int64_t operations = -1;  // counted by an uninterrupted run
    std::string output;
};

// This test program again, running only the child below on folder, stopped at the n-th
// file operation and killed there when n > 0.
ChildRun RunChild(const std::string& folder, int64_t n) {
    int out[2];
    EXPECT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::setenv(kFolderVariable, folder.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        if (n > 0)
            ::setenv("INVARRO_FILE_FAULT", ("pause:" + std::to_string(n)).c_str(), 1);
        else
            ::unsetenv("INVARRO_FILE_FAULT");
        ::execl("/proc/self/exe", "ui_tests", "--gtest_filter=KilledSaveChild.*", nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    ChildRun run;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(out[0], buffer, sizeof buffer);
        if (got <= 0) break;
        run.output.append(buffer, size_t(got));
        if (run.output.find("paused at file operation") != std::string::npos) {
            run.paused = true;
            ::kill(pid, SIGKILL);
            break;
        }
    }
    ::close(out[0]);
    int st = 0;
    ::waitpid(pid, &st, 0);
    run.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    const size_t at = run.output.find("file operations: ");
    if (at != std::string::npos) run.operations = std::atoll(run.output.c_str() + at + 17);
    return run;
}

int CheckBooks(const std::string& folder, std::string& output) {
    const std::string command =
        std::string(INVARRO_CLI) + " --data '" + folder + "' --yes check 2>&1";
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return -1;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, p)) > 0)
        output.append(buffer, got);
    const int st = ::pclose(p);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// Answers every question with Yes (or OK), as a user going ahead would.
struct GoAhead : platform::Prompter {
    platform::Answer ask(const platform::Message& m) override {
        return m.buttons == platform::Buttons::Ok || m.buttons == platform::Buttons::OkCancel
                   ? platform::Answer::Ok
                   : platform::Answer::Yes;
    }
    void beep() override {}
};

// The child: what a person does in the program, run when the parent asks for it.
TEST(KilledSaveChild, NewInvoiceSavedFromTheManager) {
    const char* folder = std::getenv(kFolderVariable);
    if (!folder) GTEST_SKIP() << "run by KilledSave in a process of its own";
    testing::QtApp();
    // A child that hangs ends itself, so that the parent never waits for ever.
    QTimer::singleShot(60000, [] {
        std::fprintf(stderr, "the child ran out of time\n");
        ::_exit(3);
    });
    storage::SetPoolFloor(0);
    ASSERT_EQ(storage::InitEngine(30), 30);
    platform::SilentProgress silent;
    data::RecoverDataFolder(folder, silent);
    GoAhead prompter;
    data::CompanyRecord company = *data::ReadLastCompany(folder);
    platform::FixedClock clock{{2026, 12, 9, 10, 0, 0}};
    InvoiceWindowContext ctx;
    testing::SetUpWindowContext(ctx, folder, company, prompter, &clock);
    ctx.editor = InvoiceEditorFor(nullptr);
    {
        Tinvlist manager(ctx);
        ASSERT_TRUE(manager.openFiles());
        manager.show();
        auto customer = invoicing::InvoiceCustomer(folder, "1", kCustomer, prompter);
        ASSERT_TRUE(customer);
        testing::WhenModal<TProdInv>([&](TProdInv* w) {
            w->customerChosen(*customer);
            w->setCell(1, 1, "ENV-10");
            w->setCell(1, 2, "4");
            w->setCell(2, 1, "BC-500");
            QTest::qWait(20);
            w->accept();
        });
        manager.addInvoice();
        EXPECT_TRUE(manager.messageText().startsWith("Added invoice"))
            << manager.messageText().toStdString();
    }
    std::printf("file operations: %lld\n", (long long)storage::FileOpCount());
    std::fflush(stdout);
    storage::ExitEngine();
}

TEST(KilledSave, TheNextProgramFindsTheInvoiceWholeOrNotAtAll) {
    testing::TempDir dir;
    const std::string demo = dir.file("demo");
    {
        storage::InitEngine(30);
        testing::ScriptedPrompter quiet;
        ASSERT_TRUE(app::CreateDemoInstallation(demo, quiet).ok);
        storage::ExitEngine();
    }
    const Books before = BooksOf(demo);
    const std::string run = dir.file("run");
    auto copy = [&] {
        fs::remove_all(run);
        fs::copy(demo, run, fs::copy_options::recursive);
    };

    copy();
    const ChildRun clean = RunChild(run, 0);
    ASSERT_EQ(clean.status, 0) << clean.output;
    ASSERT_GT(clean.operations, 3) << clean.output;
    const Books after = BooksOf(run);
    ASSERT_FALSE(before == after);
    EXPECT_EQ(after.invoices, before.invoices + 1);
    EXPECT_EQ(after.lines, before.lines + 2);

    // Every early and late point, and an even spread over the rest.
    const int64_t total = clean.operations;
    std::set<int64_t> points;
    for (int64_t n = 1; n <= total;
         n += n < 8 || n > total - 8 ? 1 : std::max<int64_t>(1, total / 16))
        points.insert(n);
    points.insert(total);
    int sawBefore = 0, sawAfter = 0;
    for (int64_t n : points) {
        SCOPED_TRACE("killed at file operation " + std::to_string(n) + " of " +
                     std::to_string(total));
        copy();
        const ChildRun killed = RunChild(run, n);
        ASSERT_TRUE(killed.paused) << killed.output;
        EXPECT_EQ(killed.status, 128 + SIGKILL);
        std::string check;
        EXPECT_EQ(CheckBooks(run, check), 0) << check;
        EXPECT_EQ(check.find("Rebuild?"), std::string::npos) << check;
        EXPECT_FALSE(fs::exists(run + "/INVARRO.JNL"));
        const Books now = BooksOf(run);
        EXPECT_TRUE(now == before || now == after)
            << "before: " << Describe(before) << "\nafter:  " << Describe(after)
            << "\nnow:    " << Describe(now);
        sawBefore += now == before;
        sawAfter += now == after;
        if (now == before) {
            // Saved again after the kill, the invoice is there once.
            const ChildRun again = RunChild(run, 0);
            EXPECT_EQ(again.status, 0) << again.output;
            EXPECT_TRUE(BooksOf(run) == after) << Describe(BooksOf(run));
        }
    }
    std::printf("%lld file operations, %d kills left the books before, %d after\n",
                (long long)total, sawBefore, sawAfter);
    EXPECT_GT(sawBefore, 0);
    EXPECT_GT(sawAfter, 0);
}

}  // namespace
}  // namespace invarro::ui
