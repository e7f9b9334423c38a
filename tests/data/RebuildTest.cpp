// Business fileblocks rebuilt with their own key builders: on open after a crash, and the
// whole company at once.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "DataFixture.h"
#include "data/Open.h"
#include "data/Rebuild.h"
#include "data/Records.h"
#include "data/Recovery.h"
#include "data/Update.h"
#include "storage/EngineTesting.h"
#include "storage/Transaction.h"
#include "support/RecordingProgress.h"

namespace invarro::data {
namespace {

using invarro::testing::ReadFileBytes;
using invarro::testing::RecordingProgress;
using invarro::testing::WriteFileBytes;

CustomerRecord Customer_(const std::string& no, const std::string& name) {
    CustomerRecord c = NewRecord<Customer>();
    c.setText(Customer::CustNo, no);
    c.setText(Customer::Name, name);
    return c;
}

class BusinessRebuildTest : public DataTest {
  protected:
    // A customer file left by a process that ended without closing it.
    void crashedCustomerFile(int customers) {
        storage::Fileblock* fb = createOpen(FileKind::Customer);
        for (int i = 1; i <= customers; ++i)
            ASSERT_TRUE(AddBusinessRecord(
                            fb, Customer_(std::to_string(i), "Name " + std::to_string(i)), prompter)
                            .ok());
        storage::CloseFileblock(fb);
        // The postings reach the file, and this program lets go of it, as at an exit.
        ASSERT_TRUE(storage::CheckpointJournal());
        std::string dat = ReadFileBytes(name(FileKind::Customer) + ".DAT");
        dat[20] = 1;
        WriteFileBytes(name(FileKind::Customer) + ".DAT", dat);
    }
    OpenRequest customers() {
        OpenRequest req;
        req.name = name(FileKind::Customer);
        req.kind = FileKind::Customer;
        req.giveUp = GiveUpMessage("Unable to open database");
        req.progress = &progress;
        req.rebuildTitle = "Customers";
        return req;
    }
    RecordingProgress progress;
};

TEST_F(BusinessRebuildTest, DefectiveIndexIsRebuiltWhenTheUserAgrees) {
    crashedCustomerFile(120);
    prompter.expect("Index file is defective.  Rebuild?", platform::Answer::Yes);
    OpenResult r = OpenBusinessFileblock(customers(), prompter);
    ASSERT_TRUE(r);
    EXPECT_EQ(prompter.seen()[0].buttons, platform::Buttons::YesNo);
    EXPECT_EQ(storage::KeyCount(r.fb, 1), 120);
    EXPECT_EQ(storage::KeyCount(r.fb, 2), 120);
    CustomerRecord probe;
    probe.setText(Customer::Name, "Name 7");
    auto found = FindAtOrAfter<Customer>(r.fb, 1, probe);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->record.text(Customer::CustNo), "7");
    closeAndCheck(r.fb, name(FileKind::Customer));

    EXPECT_EQ(progress.titles, std::vector<std::string>{"Customers"});
    EXPECT_EQ(progress.finishes, 1);
    EXPECT_EQ(progress.current, (std::vector<std::string>{"Key number: 2", "Records read: 120",
                                                          "Records written: 120"}));
    EXPECT_NE(std::find(progress.shown.begin(), progress.shown.end(), "Records read: 50"),
              progress.shown.end());
}

TEST_F(BusinessRebuildTest, DecliningTheRebuildGivesUp) {
    crashedCustomerFile(3);
    const std::string before = ReadFileBytes(name(FileKind::Customer) + ".DAT");
    prompter.expect("Index file is defective.  Rebuild?", platform::Answer::No)
        .expect("Unable to open database");
    OpenResult r = OpenBusinessFileblock(customers(), prompter);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.engineError, storage::err::IndexDefective);
    EXPECT_EQ(ReadFileBytes(name(FileKind::Customer) + ".DAT"), before);
    EXPECT_TRUE(progress.titles.empty());
}

TEST_F(BusinessRebuildTest, ARebuildThatCannotRunIsReportedOnce) {
    crashedCustomerFile(3);
    // A save file beside the data file: an earlier rebuild was interrupted and somebody
    // must decide which file is right.
    WriteFileBytes(name(FileKind::Customer) + ".SAV", "old");
    prompter.expect("Index file is defective.  Rebuild?", platform::Answer::Yes)
        .expect("Unable to rebuild the data files: error 10465")
        .expect("Unable to open database");
    OpenResult r = OpenBusinessFileblock(customers(), prompter);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.engineError, storage::err::SaveAndDataExist);
}

TEST_F(BusinessRebuildTest, WholeCompanyIsRebuiltInOrder) {
    // Company, customers and invoice lines exist; the other files were never made.
    storage::Fileblock* co = createOpen(FileKind::Company);
    CompanyRecord c = NewRecord<Company>();
    c.setText(Company::CompanyNo, "1");
    c.setText(Company::Name, "Acme");
    ASSERT_TRUE(AddBusinessRecord(co, c, prompter).ok());
    storage::CloseFileblock(co);
    crashedCustomerFile(10);
    storage::Fileblock* lines = createOpen(FileKind::InvoiceLine);
    storage::CloseFileblock(lines);

    ASSERT_TRUE(RebuildCompanyFiles(dir.path(), "1", progress)) << storage::EngineError;
    EXPECT_EQ(progress.starts, 3);
    for (FileKind k : {FileKind::Company, FileKind::Customer, FileKind::InvoiceLine}) {
        auto problems = storage::CheckFileblock(name(k));
        EXPECT_TRUE(problems.empty()) << problems.front();
    }
    EXPECT_FALSE(std::filesystem::exists(name(FileKind::Invoice) + ".DAT"));
    storage::Fileblock* fb = storage::OpenFileblock(name(FileKind::Customer), false);
    EXPECT_TRUE(storage::EngineOk);
    EXPECT_EQ(storage::KeyCount(fb, 2), 10);
    storage::CloseFileblock(fb);
}

TEST_F(BusinessRebuildTest, FbtoolRebuildsAKnownKindByItsName) {
    crashedCustomerFile(4);
    std::string cmd = std::string(INVARRO_FBTOOL) + " rebuild " + name(FileKind::Customer) + " > " +
                      dir.file("out.txt") + " 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    std::string out = ReadFileBytes(dir.file("out.txt"));
    EXPECT_NE(out.find("Key number: 2  Records read: 4  Records written: 4"), std::string::npos)
        << out;
    EXPECT_TRUE(storage::CheckFileblock(name(FileKind::Customer)).empty());
    cmd = std::string(INVARRO_FBTOOL) + " rebuild " + dir.file("XYZ") + " > /dev/null 2>&1";
    EXPECT_NE(std::system(cmd.c_str()), 0);
}

// A rebuild cut off by a power cut before any of its syncs, or after it returned: the next
// start recovers the file by itself and no customer is lost, whatever of the unsynced
// writes and name changes reached the disk.
TEST_F(BusinessRebuildTest, RebuildCutOffAtAnySyncLosesNoCustomer) {
    storage::Fileblock* fb = createOpen(FileKind::Customer);
    for (int i = 1; i <= 300; ++i)
        ASSERT_TRUE(AddBusinessRecord(fb, Customer_(std::to_string(i), "Name " + std::to_string(i)),
                                      prompter)
                        .ok());
    storage::CloseFileblock(fb);
    const std::string base = name(FileKind::Customer);
    std::filesystem::rename(base + ".DAT", dir.path() + "/keep.DAT");
    std::filesystem::rename(base + ".IX", dir.path() + "/keep.IX");
    auto place = [&] {
        std::filesystem::copy_file(dir.path() + "/keep.DAT", base + ".DAT",
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::copy_file(dir.path() + "/keep.IX", base + ".IX",
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::remove(base + ".SAV");
    };
    // In a child, so that the cut can end it; the number of syncs it met is its status.
    auto rebuild = [&](int64_t cutAt, uint64_t seed) {
        pid_t pid = ::fork();
        if (pid == 0) {
            storage::InitEngine(30);
            storage::StartPowerCutWatch(dir.path(), cutAt, seed);
            platform::SilentProgress quiet;
            const bool ok = RebuildBusinessFileblock(name(FileKind::Customer),
                                                     KindOf(FileKind::Customer), quiet);
            if (ok && cutAt == storage::kCutAtExit) {
                storage::CutPowerInPlace(seed);
                ::_exit(storage::kFaultExitStatus);
            }
            ::_exit(ok ? int(std::min<int64_t>(storage::PowerCutBoundaries(), 80)) : 99);
        }
        int st = 0;
        ::waitpid(pid, &st, 0);
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    };
    storage::ExitEngine();
    place();
    const int syncs = rebuild(0, 1);
    ASSERT_GT(syncs, 2);
    ASSERT_LT(syncs, 80);
    int states = 0;
    for (uint64_t seed : {1, 2, 3})
        for (int64_t at = 1; at <= syncs + 1; ++at) {
            SCOPED_TRACE("cut at sync " + std::to_string(at) + " seed " + std::to_string(seed));
            place();
            ASSERT_EQ(rebuild(at > syncs ? storage::kCutAtExit : at, seed),
                      storage::kFaultExitStatus);
            ++states;
            storage::InitEngine(30);
            platform::SilentProgress quiet;
            const FolderRecovery r = RecoverDataFolder(dir.path(), quiet);
            EXPECT_TRUE(r.ok) << r.error;
            EXPECT_FALSE(std::filesystem::exists(base + ".SAV"));
            storage::Fileblock* back = storage::OpenFileblock(name(FileKind::Customer), false);
            ASSERT_TRUE(back) << storage::EngineError;
            EXPECT_EQ(storage::KeyCount(back, 1), 300);
            EXPECT_EQ(storage::KeyCount(back, 2), 300);
            closeAndCheck(back, name(FileKind::Customer));
            storage::ExitEngine();
        }
    EXPECT_EQ(states, 3 * (syncs + 1));
    storage::InitEngine(30);
}

}  // namespace
}  // namespace invarro::data
