// Printing through a real CUPS server: a print scheduler of the test's own, started in a
// temporary folder and listening on a socket there, with one queue. An invoice is marked
// printed only when the queue took its job; a queue that refuses jobs, or a scheduler
// that is gone, leaves the invoice as it was and says so. Skipped where CUPS cannot run.

#include <cups/cups.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QPrinter>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "output/DocumentFixture.h"
#include "output/InvPrint.h"
#include "platform/Clock.h"
#include "platform/qt/PainterCanvas.h"
#include "platform/qt/PrintSystem.h"
#include "support/Command.h"
#include "support/QtApp.h"
#include "support/TempDir.h"

namespace invarro::output {
namespace {

using testing::RunCommand;
using testing::ShellQuote;

constexpr const char* kQueue = "InvarroTest";

// The scheduler: cupsd in the foreground of its own process, its files in a temporary
// folder, the queue writing into a file and stopped, so that jobs wait in it and no
// filter has to run.
class Scheduler {
  public:
    Scheduler() {
        root_ = dir_.path();
        socket_ = root_ + "/cups.sock";
        for (const char* sub : {"etc", "spool", "tmp", "cache", "state", "log", "out"})
            std::filesystem::create_directories(root_ + "/" + sub);
        std::ofstream(root_ + "/etc/cupsd.conf") << "Listen " << socket_
                                                 << "\nLogLevel warn\nWebInterface No\n"
                                                    "Browsing No\n<Location />\n  Order "
                                                    "allow,deny\n  Allow all\n</Location>\n";
        std::ofstream(root_ + "/etc/cups-files.conf")
            << "ServerRoot " << root_ << "/etc\nRequestRoot " << root_ << "/spool\nTempDir "
            << root_ << "/tmp\nCacheDir " << root_ << "/cache\nStateDir " << root_
            << "/state\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\nAccessLog " << root_
            << "/log/access_log\nErrorLog " << root_ << "/log/error_log\nPageLog " << root_
            << "/log/page_log\nFileDevice Yes\nSystemGroup root\n";
        ::setenv("CUPS_SERVER", socket_.c_str(), 1);
        cupsSetServer(socket_.c_str());
    }
    ~Scheduler() {
        stop();
        ::unsetenv("CUPS_SERVER");
        cupsSetServer(nullptr);
    }

    // Starts cupsd and sets up the queue; false when this machine cannot run it.
    bool start() {
        if (::access("/usr/sbin/cupsd", X_OK) != 0) {
            why_ = "cupsd is not installed";
            return false;
        }
        const std::string pid =
            RunCommand("/usr/sbin/cupsd -f -c " + ShellQuote(root_ + "/etc/cupsd.conf") + " -s " +
                       ShellQuote(root_ + "/etc/cups-files.conf") + " >" +
                       ShellQuote(root_ + "/log/cupsd.out") + " 2>&1 & echo $!")
                .output;
        pid_ = std::atoi(pid.c_str());
        // Up within a few seconds, or not at all.
        for (int i = 0; i < 50 && !answers(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!answers()) {
            why_ = "cupsd did not start";
            stop();
            return false;
        }
        if (RunCommand(env() + "lpadmin -p " + kQueue + " -E -v file://" + root_ +
                       "/out/job -m raw")
                    .status != 0 &&
            RunCommand(env() + "lpadmin -p " + kQueue + " -E -v file://" + root_ + "/out/job")
                    .status != 0) {
            why_ = "the test queue could not be set up";
            stop();
            return false;
        }
        return command("cupsdisable") && command("cupsaccept");
    }
    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            for (int i = 0; i < 50 && ::kill(pid_, 0) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        pid_ = 0;
    }
    bool answers() const {
        return RunCommand(env() + "lpstat -r").output.find("is running") != std::string::npos;
    }
    bool command(const std::string& tool) const {
        return RunCommand(env() + tool + " " + kQueue).status == 0;
    }
    // The titles of the jobs the queue holds or has held.
    std::vector<std::string> jobTitles() const {
        cups_job_t* jobs = nullptr;
        const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, kQueue, 0, CUPS_WHICHJOBS_ALL);
        std::vector<std::string> titles;
        for (int i = 0; i < n; ++i)
            titles.push_back(jobs[i].title ? jobs[i].title : "");
        cupsFreeJobs(n, jobs);
        return titles;
    }
    const std::string& why() const { return why_; }

  private:
    std::string env() const { return "CUPS_SERVER=" + ShellQuote(socket_) + " "; }
    testing::TempDir dir_;
    std::string root_, socket_, why_;
    int pid_ = 0;
};

class CupsPrintTest : public DocumentTest {
  protected:
    static void SetUpTestSuite() {
        testing::QtApp();
        scheduler = new Scheduler;
        if (!scheduler->start()) {
            why = scheduler->why();
            delete scheduler;
            scheduler = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete scheduler;
        scheduler = nullptr;
    }
    void SetUp() override {
        if (!scheduler) GTEST_SKIP() << "CUPS cannot run here: " << why;
        DocumentTest::SetUp();
        sampleInvoice();
        printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setPrinterName(kQueue);
        ASSERT_EQ(printer->outputFormat(), QPrinter::NativeFormat) << "the queue is not seen";
    }

    PrintOutcome print() {
        platform::qt::PainterCanvas canvas(*printer);
        return PrintInvoice(files, {.number = "1043"}, FormContext{company, dir.path()}, canvas,
                            prompter, clock);
    }

    static Scheduler* scheduler;
    static std::string why;
    std::unique_ptr<QPrinter> printer;
    platform::FixedClock clock{{2024, 3, 4, 9, 0, 0}};
};

Scheduler* CupsPrintTest::scheduler = nullptr;
std::string CupsPrintTest::why;

TEST_F(CupsPrintTest, AJobTheQueueTookMarksTheInvoicePrinted) {
    const PrintOutcome out = print();
    EXPECT_TRUE(out.printed) << out.error;
    EXPECT_EQ(out.status, "Invoice 1043 sent to printer.");
    EXPECT_TRUE(assemble("1043").printed);
    const auto titles = scheduler->jobTitles();
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Invoice - 1043"), titles.end());
}

TEST_F(CupsPrintTest, AQueueRefusingJobsLeavesTheInvoiceUnprintedAndSaysSo) {
    ASSERT_TRUE(scheduler->command("cupsreject"));
    const size_t before = scheduler->jobTitles().size();
    const PrintOutcome out = print();
    ASSERT_TRUE(scheduler->command("cupsaccept"));
    EXPECT_TRUE(out.found);
    EXPECT_FALSE(out.printed);
    EXPECT_NE(out.error.find("The printer InvarroTest is not accepting print jobs"),
              std::string::npos)
        << out.error;
    EXPECT_NE(out.error.find("Nothing was printed."), std::string::npos) << out.error;
    EXPECT_FALSE(assemble("1043").printed);
    EXPECT_EQ(scheduler->jobTitles().size(), before);
}

TEST_F(CupsPrintTest, AJobThatNeverReachedTheQueueIsNoPrint) {
    // The job is watched for under the document's name: one that does not appear (the
    // queue turned it away after Qt handed it over) is reported, not counted.
    printer->setDocName("Invoice - 1043");
    platform::qt::JobWatch watch(*printer);
    ASSERT_TRUE(watch.watching());
    const platform::qt::PrintCheck none = watch.accepted();
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.error, "The printer InvarroTest refused the print job \"Invoice - 1043\".");
    EXPECT_FALSE(assemble("1043").printed);
}

// Last: the scheduler goes away while the program runs.
TEST_F(CupsPrintTest, ZZAPrintSystemThatIsGoneLeavesTheInvoiceUnprinted) {
    scheduler->stop();
    const PrintOutcome out = print();
    EXPECT_FALSE(out.printed);
    EXPECT_NE(out.error.find("cannot be reached"), std::string::npos) << out.error;
    EXPECT_FALSE(assemble("1043").printed);
}

}  // namespace
}  // namespace invarro::output
