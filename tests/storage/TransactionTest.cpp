// Transactions: all or nothing across two fileblocks, with a rollback, a failed write, a
// full disk, and a kill at every file operation of a commit, a checkpoint and a recovery;
// and the recovery of torn, foreign and stale journals.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "EngineFixture.h"
#include "storage/EngineInternal.h"
#include "storage/EngineTesting.h"
#include "storage/FileIO.h"
#include "storage/Rebuild.h"
#include "storage/Transaction.h"
#include "storage/TransactionInternal.h"
#include "storage/Verify.h"

namespace invarro::storage {
namespace {

namespace fs = std::filesystem;

constexpr int kLenA = 40;
constexpr int kLenB = 30;

// Key builders of the two test fileblocks, from the record bytes.
std::string keyA1(const std::string& r) {
    return r.substr(4, 8);
}
std::string keyA2(const std::string& r) {
    return r.substr(12, 4);
}
std::string keyB1(const std::string& r) {
    return r.substr(4, 6);
}

// A record of the given length: live mark, then text.
std::string text(int len, const char* t) {
    std::string r(size_t(len), '\0');
    r.replace(4, std::min(std::strlen(t), size_t(len - 4)), t,
              std::min(std::strlen(t), size_t(len - 4)));
    return r;
}
std::string recA(int i, const std::string& tag = "a") {
    char buf[64];
    std::snprintf(buf, sizeof buf, "A%07d%04d%s", i, i % 7, tag.c_str());
    return text(kLenA, buf);
}
std::string recB(int i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "B%05dbee", i);
    return text(kLenB, buf);
}

class TransactionTest : public EngineTest {
  protected:
    std::string folder(const std::string& sub) {
        std::string f = dir.file(sub);
        fs::create_directories(f);
        return f;
    }

    // Fileblock A with 50 records and two keys, B with 10 records and one key.
    void makeBooks(const std::string& f) {
        KeyDescriptor ka[] = {{8, false}, {4, true}};
        KeyDescriptor kb[] = {{6, false}};
        CreateFileblock(f + "/A", kLenA, 2, ka);
        ASSERT_TRUE(EngineOk);
        CreateFileblock(f + "/B", kLenB, 1, kb);
        ASSERT_TRUE(EngineOk);
        Fileblock* a = OpenFileblock(f + "/A", false);
        Fileblock* b = OpenFileblock(f + "/B", false);
        ASSERT_TRUE(a && b);
        for (int i = 1; i <= 50; ++i)
            addA(a, i);
        for (int i = 1; i <= 10; ++i)
            addB(b, i);
        CloseFileblock(a);
        CloseFileblock(b);
        ASSERT_TRUE(EngineOk);
    }
    static void addA(Fileblock* a, int i, const std::string& tag = "a") {
        std::string r = recA(i, tag);
        int32_t n = AddRecord(a, r.data());
        AddKey(a, 1, n, keyA1(r));
        AddKey(a, 2, n, keyA2(r));
    }
    static void addB(Fileblock* b, int i) {
        std::string r = recB(i);
        int32_t n = AddRecord(b, r.data());
        AddKey(b, 1, n, keyB1(r));
    }

    // The posting of the tests: adds, deletes and changes in A, adds in B. Returns false at
    // the first failed step.
    static bool post(Fileblock* a, Fileblock* b) {
        for (int i = 51; i <= 70; ++i) {
            addA(a, i, "new");
            if (!EngineOk) return false;
        }
        for (int32_t n = 3; n <= 11; n += 2) {
            std::string r(kLenA, '\0');
            GetRecord(a, n, r.data());
            DeleteKey(a, 1, n, keyA1(r));
            DeleteKey(a, 2, n, keyA2(r));
            DeleteRecord(a, n);
            if (!EngineOk) return false;
        }
        for (int32_t n = 20; n <= 22; ++n) {
            std::string r(kLenA, '\0');
            GetRecord(a, n, r.data());
            r[kLenA - 2] = 'X';
            PutRecord(a, n, r.data());
            if (!EngineOk) return false;
        }
        for (int i = 11; i <= 15; ++i) {
            addB(b, i);
            if (!EngineOk) return false;
        }
        return true;
    }

    // The posting in one transaction, as a program would run it, ending with the engine.
    static bool postAndExit(const std::string& f) {
        Fileblock* a = OpenFileblock(f + "/A", false);
        Fileblock* b = OpenFileblock(f + "/B", false);
        if (!a || !b) return false;
        if (!BeginTransaction()) return false;
        if (!post(a, b)) {
            RollbackTransaction();
            return false;
        }
        if (!CommitTransaction()) return false;
        CloseFileblock(a);
        CloseFileblock(b);
        ExitEngine();
        return EngineOk;
    }

    // What the books hold, read past the engine: every live record and every key entry.
    static std::string fingerprint(const std::string& f) {
        std::ostringstream out;
        std::string error;
        for (const char* n : {"A", "B"}) {
            std::string name = f + "/" + n;
            out << n << ":";
            ForEachLiveRecord(
                name,
                [&](int32_t rec, const std::string& bytes) { out << rec << "=" << bytes << ";"; },
                error);
            FileblockInfo info;
            ReadFileblockInfo(name, info, error);
            for (int k = 1; k <= info.numKeys; ++k)
                ForEachKeyEntry(
                    name, k,
                    [&](const std::string& key, int32_t rec) { out << k << key << rec << ","; },
                    error);
            out << "|";
        }
        return out.str();
    }

    // The books are sound: every structural check passes and no update flag is left set.
    static void expectSound(const std::string& f) {
        for (const char* n : {"A", "B"}) {
            std::string name = f + "/" + n;
            auto problems = CheckFileblock(name);
            EXPECT_TRUE(problems.empty()) << name << ": " << problems.front();
            FileblockInfo info;
            std::string error;
            ASSERT_TRUE(ReadFileblockInfo(name, info, error)) << error;
            EXPECT_FALSE(info.updateInProgress) << name;
        }
    }

    static void copyFolder(const std::string& from, const std::string& to) {
        fs::remove_all(to);
        fs::copy(from, to, fs::copy_options::recursive);
    }

    // Runs body in a child process; its exit status (or 128 + signal).
    static int inChild(const std::function<int()>& body) {
        pid_t pid = ::fork();
        if (pid == 0) ::_exit(body());
        int st = 0;
        ::waitpid(pid, &st, 0);
        return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    }

    // A copy of base whose posting program died right after its journal was made durable
    // (at the sync of the folder that follows the journal's own), the files untouched.
    void leaveJournal(const std::string& base, const std::string& f) {
        copyFolder(base, f);
        int status = inChild([&] {
            InitEngine(30);
            SetFileFault(unsigned(FileOp::Sync), 2, FileFaultAction::Exit);
            return postAndExit(f) ? 0 : 1;
        });
        ASSERT_EQ(status, kFaultExitStatus);
        ASSERT_TRUE(fs::exists(JournalFileName(f)));
    }
    static std::string fileBytes(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void writeBytes(const std::string& name, const std::string& bytes) {
        std::ofstream out(name, std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    // The test's books in a folder, the engine ended so that children start their own; what
    // they hold.
    std::string booksApart(const std::string& base) {
        makeBooks(base);
        ExitEngine();
        return fingerprint(base);
    }

    // What the books of base hold after the posting, made by a program of its own in a copy.
    std::string postedInChild(const std::string& base) {
        std::string done = dir.file("done");
        copyFolder(base, done);
        EXPECT_EQ(inChild([&] {
                      InitEngine(30);
                      return postAndExit(done) ? 0 : 1;
                  }),
                  0);
        return fingerprint(done);
    }

    // A copy of base with the posting made in an open transaction, the fault counter cleared.
    void postInCopy(const std::string& base, const std::string& f, Fileblock*& a, Fileblock*& b) {
        copyFolder(base, f);
        a = OpenFileblock(f + "/A", false);
        b = OpenFileblock(f + "/B", false);
        ASSERT_TRUE(BeginTransaction());
        ASSERT_TRUE(post(a, b));
        ClearFileFault();
    }

    void restartEngine() {
        if (EngineStarted()) ExitEngine();
        ASSERT_EQ(InitEngine(30), 30);
    }
};

TEST_F(TransactionTest, CommitIsDurableAndRollbackLeavesEverythingAsBefore) {
    std::string f = folder("books");
    makeBooks(f);
    const std::string before = fingerprint(f);

    Fileblock* a = OpenFileblock(f + "/A", false);
    Fileblock* b = OpenFileblock(f + "/B", false);
    ASSERT_TRUE(BeginTransaction());
    ASSERT_TRUE(post(a, b));
    // Inside the transaction its own changes are seen, by record and by key...
    EXPECT_EQ(UsedRecordCount(a), 65);
    std::string k = keyA1(recA(60, "new"));
    int32_t found = FindKeyAtOrAfter(a, 1, k);
    EXPECT_TRUE(EngineOk);
    EXPECT_EQ(k, keyA1(recA(60, "new")));
    std::string r(kLenA, '\0');
    GetRecord(a, found, r.data());
    EXPECT_EQ(r, recA(60, "new"));
    // ...but nothing of them is in the files.
    EXPECT_EQ(fingerprint(f), before);
    EXPECT_FALSE(fs::exists(JournalFileName(f)));

    RollbackTransaction();
    EXPECT_FALSE(InTransaction());
    EXPECT_EQ(UsedRecordCount(a), 50);
    EXPECT_EQ(UsedRecordCount(b), 10);
    k = keyA1(recA(60, "new"));
    FindKeyAtOrAfter(a, 1, k);
    EXPECT_FALSE(EngineOk);  // past the last key: the added entries are gone
    CloseFileblock(a);
    CloseFileblock(b);
    EXPECT_EQ(fingerprint(f), before);
    expectSound(f);

    // The same posting committed: durable in the journal, which a close leaves to the next
    // checkpoint; a fileblock opened again meanwhile sees the posting.
    a = OpenFileblock(f + "/A", false);
    b = OpenFileblock(f + "/B", false);
    ASSERT_TRUE(BeginTransaction());
    ASSERT_TRUE(post(a, b));
    const int64_t syncs = SyncCount();
    ASSERT_TRUE(CommitTransaction()) << EngineError;
    EXPECT_EQ(SyncCount() - syncs, 2);            // the journal and, as it was new, its folder
    EXPECT_TRUE(fs::exists(JournalFileName(f)));  // until the checkpoint
    EXPECT_EQ(UsedRecordCount(a), 65);
    CloseFileblock(a);
    CloseFileblock(b);
    EXPECT_EQ(SyncCount() - syncs, 2);
    EXPECT_TRUE(fs::exists(JournalFileName(f)));
    a = OpenFileblock(f + "/A", false);
    ASSERT_TRUE(a) << EngineError;
    EXPECT_EQ(UsedRecordCount(a), 65);
    CloseFileblock(a);
    ASSERT_TRUE(CheckpointJournal());
    EXPECT_FALSE(fs::exists(JournalFileName(f)));
    const std::string after = fingerprint(f);
    EXPECT_NE(after, before);
    expectSound(f);

    // A third fileblock changed outside the transaction in the same program stays apart.
    restartEngine();
    a = OpenFileblock(f + "/A", false);
    EXPECT_EQ(UsedRecordCount(a), 65);
    CloseFileblock(a);
}

TEST_F(TransactionTest, AnIndexGrownByARolledBackTransactionGrowsAgainWhole) {
    // An empty fileblock: the first entries of its keys add index records, which the
    // rollback takes away with them; the posting run again must add them again.
    std::string f = folder("grow");
    KeyDescriptor ka[] = {{8, false}, {4, true}};
    KeyDescriptor kb[] = {{6, false}};
    CreateFileblock(f + "/A", kLenA, 2, ka);
    CreateFileblock(f + "/B", kLenB, 1, kb);
    ASSERT_TRUE(EngineOk);
    Fileblock* a = OpenFileblock(f + "/A", false);
    ASSERT_TRUE(a);
    // The first attempt gives up after its first key and takes the record back itself,
    // as the record-update protocol does before the posting is rolled back.
    ASSERT_TRUE(BeginTransaction());
    const std::string r = recA(1, "a");
    const int32_t n = AddRecord(a, r.data());
    AddKey(a, 1, n, keyA1(r));
    DeleteKey(a, 1, n, keyA1(r));
    DeleteRecord(a, n);
    ASSERT_TRUE(EngineOk);
    RollbackTransaction();
    ASSERT_TRUE(BeginTransaction());
    for (int i = 1; i <= 3; ++i)
        addA(a, i);
    ASSERT_TRUE(EngineOk);
    ASSERT_TRUE(CommitTransaction()) << EngineError;
    EXPECT_EQ(UsedRecordCount(a), 3);
    CloseFileblock(a);
    ASSERT_TRUE(CheckpointJournal());
    expectSound(f);
}

// A close leaves the files of a committed posting open for the checkpoint, so that another
// program cannot open them before they are synced; once the program is idle they are
// synced, the journal is emptied but kept for the next commit, and both are let go.
TEST_F(TransactionTest, AnIdleCheckpointLetsGoAndTheNextCommitCostsOneSync) {
    std::string f = folder("books");
    makeBooks(f);
    auto otherProgramOpens = [&f] {
        pid_t pid = ::fork();
        if (pid == 0) {
            const int fd = ::open((f + "/A.DAT").c_str(), O_RDONLY);
            ::_exit(fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1);
        }
        int st = 0;
        ::waitpid(pid, &st, 0);
        return WIFEXITED(st) && WEXITSTATUS(st) == 0;
    };
    auto postAndClose = [&] {
        Fileblock* a = OpenFileblock(f + "/A", false);
        Fileblock* b = OpenFileblock(f + "/B", false);
        EXPECT_TRUE(BeginTransaction());
        EXPECT_TRUE(post(a, b));
        EXPECT_TRUE(CommitTransaction()) << EngineError;
        CloseFileblock(a);
        CloseFileblock(b);
    };
    postAndClose();
    EXPECT_FALSE(otherProgramOpens());
    ASSERT_TRUE(SettleJournal());
    EXPECT_TRUE(otherProgramOpens());
    ASSERT_TRUE(fs::exists(JournalFileName(f)));
    expectSound(f);

    // The kept journal: the next commit syncs it once, and needs no sync of the folder.
    const int64_t syncs = SyncCount();
    Fileblock* a = OpenFileblock(f + "/A", false);
    ASSERT_TRUE(BeginTransaction());
    std::string r = recA(70, "idle");
    ASSERT_GT(AddRecord(a, r.data()), 0);
    ASSERT_TRUE(CommitTransaction()) << EngineError;
    EXPECT_EQ(SyncCount() - syncs, 1);
    EXPECT_EQ(UsedRecordCount(a), 66);
    CloseFileblock(a);

    // Removing or replacing a file whose posting waits in the journal checkpoints first, so
    // that the journal never names a file that is gone.
    ASSERT_TRUE(RenameFile(f + "/A.DAT", f + "/A.OLD"));
    EXPECT_FALSE(fs::exists(JournalFileName(f)));
    ASSERT_TRUE(RenameFile(f + "/A.OLD", f + "/A.DAT"));
    restartEngine();
    a = OpenFileblock(f + "/A", false);
    ASSERT_TRUE(a) << EngineError;
    EXPECT_EQ(UsedRecordCount(a), 66);
    CloseFileblock(a);
}

TEST_F(TransactionTest, AFileblockClosedAndOpenedAgainInsideATransactionKeepsItsChanges) {
    std::string f = folder("books");
    makeBooks(f);
    Fileblock* a = OpenFileblock(f + "/A", false);
    Fileblock* b = OpenFileblock(f + "/B", false);
    ASSERT_TRUE(BeginTransaction());
    ASSERT_TRUE(post(a, b));
    CloseFileblock(a);
    ASSERT_TRUE(EngineOk);
    a = OpenFileblock(f + "/A", false);
    ASSERT_TRUE(EngineOk) << EngineError;
    EXPECT_EQ(UsedRecordCount(a), 65);
    addA(a, 71, "late");
    ASSERT_TRUE(EngineOk);
    CloseFileblock(a);
    ASSERT_TRUE(CommitTransaction()) << EngineError;
    CloseFileblock(b);
    restartEngine();
    a = OpenFileblock(f + "/A", false);
    EXPECT_EQ(UsedRecordCount(a), 66);
    CloseFileblock(a);
    expectSound(f);

    // Closed inside a transaction that is rolled back: as if never changed.
    const std::string before = fingerprint(f);
    a = OpenFileblock(f + "/A", false);
    ASSERT_TRUE(BeginTransaction());
    addA(a, 72, "gone");
    CloseFileblock(a);
    RollbackTransaction();
    EXPECT_EQ(fingerprint(f), before);
}

TEST_F(TransactionTest, OperationsThatReplaceFilesAreRefusedInsideATransaction) {
    std::string f = folder("books");
    makeBooks(f);
    std::string g = folder("other");
    makeBooks(g);
    ASSERT_TRUE(BeginTransaction());
    EXPECT_FALSE(BeginTransaction());
    EXPECT_EQ(EngineError, err::TransactionState);
    KeyDescriptor ka[] = {{8, false}, {4, true}};
    Reindex(f + "/A", 2, ka, 0, NoRecordHook, nullptr, true, false, nullptr);
    EXPECT_EQ(EngineError, err::TransactionState);
    DeleteFileblock(f + "/B");
    EXPECT_EQ(EngineError, err::TransactionState);
    EXPECT_TRUE(fs::exists(f + "/B.DAT"));
    // A fileblock of another folder cannot join.
    Fileblock* a = OpenFileblock(f + "/A", false);
    Fileblock* other = OpenFileblock(g + "/A", false);
    addA(a, 90);
    ASSERT_TRUE(EngineOk);
    std::string r = recA(91);
    AddRecord(other, r.data());
    EXPECT_FALSE(EngineOk);
    EXPECT_EQ(EngineError, err::TransactionState);
    RollbackTransaction();
    CloseFileblock(a);
    CloseFileblock(other);
    CommitTransaction();
    EXPECT_EQ(EngineError, err::TransactionState);
}

// A failed write of any kind at any point: the commit fails and nothing of it is in the
// books, or it succeeded before the fault and all of it is; the engine goes on working.
TEST_F(TransactionTest, AFailedWriteAtAnyPointOfACommitRollsItBack) {
    std::string base = folder("base");
    makeBooks(base);
    const std::string before = fingerprint(base);
    std::string done = dir.file("done");
    copyFolder(base, done);
    ASSERT_TRUE(postAndExit(done));
    ASSERT_EQ(InitEngine(30), 30);
    const std::string after = fingerprint(done);

    int failedCommits = 0;
    for (int n = 1;; ++n) {
        std::string f = dir.file("run");
        Fileblock *a = nullptr, *b = nullptr;
        ASSERT_NO_FATAL_FAILURE(postInCopy(base, f, a, b));
        SetFileFault(0, n, FileFaultAction::Fail, n % 2 ? ENOSPC : EIO);
        bool committed = CommitTransaction();
        bool reached = FileOpCount() >= n;
        // A failure after the journal was made durable cannot take the posting back: it
        // is reported, and the next program to open the folder finishes it.
        const bool pending = !committed && EngineError == err::JournalPending;
        if (!committed) {
            ++failedCommits;
            EXPECT_NE(EngineError, 0);
            EXPECT_FALSE(InTransaction());
            EXPECT_EQ(UsedRecordCount(a), pending ? 65 : 50) << "fault at " << n;
        }
        CloseFileblock(a);  // leaves the journal to the checkpoint at exit
        CloseFileblock(b);
        ClearFileFault();
        ExitEngine();
        ASSERT_EQ(InitEngine(30), 30);
        JournalRecovery rec = RecoverJournal(f);
        EXPECT_TRUE(rec.ok) << "fault at " << n << ": " << EngineError;
        std::string now = fingerprint(f);
        if (committed || pending)
            EXPECT_EQ(now, after) << "fault at " << n;
        else
            EXPECT_TRUE(now == before || now == after) << "fault at " << n;
        expectSound(f);
        if (!reached) break;
        // The engine goes on: the same posting again gives the books of one posting.
        if (now == before) {
            ASSERT_TRUE(postAndExit(f)) << "fault at " << n << ": " << EngineError;
            ASSERT_EQ(InitEngine(30), 30);
            EXPECT_EQ(fingerprint(f), after) << "fault at " << n;
        }
        ASSERT_LT(n, 500);
    }
    EXPECT_GT(failedCommits, 3);
}

// The same with the process ended at each file operation, as a kill would, through the
// commit, the close and the checkpoint at the engine's exit: the next program finds the books
// before or after, sound, with no question to ask.
TEST_F(TransactionTest, AKillAtAnyFileOperationLeavesTheBooksBeforeOrAfter) {
    std::string base = folder("base");
    const std::string before = booksApart(base);
    const std::string after = postedInChild(base);
    ASSERT_NE(before, after);

    int sawBefore = 0, sawAfter = 0;
    for (int n = 1;; ++n) {
        std::string f = dir.file("run");
        copyFolder(base, f);
        int status = inChild([&] {
            InitEngine(30);
            ClearFileFault();
            SetFileFault(0, n, FileFaultAction::Exit);
            return postAndExit(f) ? 0 : 1;
        });
        ASSERT_TRUE(status == 0 || status == kFaultExitStatus) << status;
        ASSERT_EQ(InitEngine(30), 30);
        // What a program opening the folder does first.
        Fileblock* a = OpenFileblock(f + "/A", false);
        ASSERT_TRUE(EngineOk) << "kill at " << n << ": " << EngineError;
        CloseFileblock(a);
        ExitEngine();
        EXPECT_FALSE(fs::exists(JournalFileName(f))) << n;
        std::string now = fingerprint(f);
        EXPECT_TRUE(now == before || now == after) << "kill at " << n;
        sawBefore += now == before;
        sawAfter += now == after;
        expectSound(f);
        if (status == 0) break;
        ASSERT_LT(n, 500);
    }
    EXPECT_GT(sawBefore, 1);
    EXPECT_GT(sawAfter, 1);
    ASSERT_EQ(InitEngine(30), 30);
}

// Records longer than the 4 KiB pieces a transaction keeps its changes in: a commit
// journals each as one run over several pieces, and a recovery writes it back whole.
TEST_F(TransactionTest, ARecordOverSeveralPiecesIsJournaledAndRecoveredWhole) {
    const std::string f = folder("long");
    constexpr int kLen = 9000;
    KeyDescriptor k[] = {{8, false}};
    CreateFileblock(f + "/L", kLen, 1, k);
    ASSERT_TRUE(EngineOk);
    ExitEngine();
    std::vector<std::string> recs;
    for (int i = 0; i < 3; ++i) {
        std::string r(kLen, '\0');
        for (int j = 4; j < kLen; ++j)
            r[size_t(j)] = char('a' + (i * 7 + j) % 26);
        recs.push_back(r);
    }
    // The program dies right after the journal and its folder are synced: the file has
    // none of the records, the journal all.
    ASSERT_EQ(inChild([&] {
                  InitEngine(30);
                  SetFileFault(unsigned(FileOp::Sync), 2, FileFaultAction::Exit);
                  Fileblock* fb = OpenFileblock(f + "/L", false);
                  if (!fb || !BeginTransaction()) return 1;
                  for (const std::string& r : recs) {
                      const int32_t n = AddRecord(fb, r.data());
                      AddKey(fb, 1, n, r.substr(4, 8));
                  }
                  return CommitTransaction() ? 0 : 1;
              }),
              kFaultExitStatus);
    ASSERT_EQ(InitEngine(30), 30);
    JournalRecovery r = RecoverJournal(f);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.replayed, 1);
    Fileblock* fb = OpenFileblock(f + "/L", false);
    ASSERT_TRUE(fb);
    EXPECT_EQ(UsedRecordCount(fb), 3);
    std::string got(kLen, '\0');
    for (int32_t n = 1; n <= 3; ++n) {
        GetRecord(fb, n, got.data());
        EXPECT_EQ(got, recs[size_t(n - 1)]) << n;
    }
    CloseFileblock(fb);
    EXPECT_TRUE(CheckFileblock(f + "/L").empty());
}

// A kill while a recovery writes the journal's transactions to the files: the next
// recovery finishes it, and the books are those of the committed posting.
TEST_F(TransactionTest, AKilledRecoveryIsFinishedByTheNext) {
    std::string base = folder("base");
    makeBooks(base);
    ExitEngine();
    // The posting's program dies right after its journal is durable: a journal to recover.
    std::string left = dir.file("left");
    leaveJournal(base, left);
    // Find the number of file operations of a whole recovery.
    std::string whole = dir.file("whole");
    leaveJournal(base, whole);
    ClearFileFault();
    JournalRecovery r = RecoverJournal(whole);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.replayed, 1);
    const int64_t ops = FileOpCount();
    const std::string after = fingerprint(whole);
    for (int64_t n = 1; n <= ops; ++n) {
        std::string f = dir.file("run");
        leaveJournal(base, f);
        int status = inChild([&] {
            SetFileFault(0, n, FileFaultAction::Exit);
            return RecoverJournal(f).ok ? 0 : 1;
        });
        ASSERT_EQ(status, kFaultExitStatus) << n;
        JournalRecovery again = RecoverJournal(f);
        EXPECT_TRUE(again.ok) << n;
        EXPECT_EQ(fingerprint(f), after) << "recovery killed at " << n;
        expectSound(f);
    }
    ASSERT_EQ(InitEngine(30), 30);
}

// Journals that must not be applied: torn anywhere, from another folder, or older than
// the files they name.
TEST_F(TransactionTest, TornForeignAndStaleJournalsAreRemovedUnapplied) {
    std::string base = folder("base");
    const std::string before = booksApart(base);
    // Cut short at a sample of lengths through the header and the frame, or with one byte
    // changed: nothing of it is applied. Whole, it is.
    std::string f = dir.file("cut");
    leaveJournal(base, f);
    const std::string journal = fileBytes(JournalFileName(f));
    const int64_t journalSize = int64_t(journal.size());
    // The frame begins on the block after the header's and ends with its commit mark; the
    // journal is grown with zeros past it.
    const size_t frameAt = 4096, frameEnd = journal.rfind("TXOK") + 8;
    ASSERT_EQ(journal.compare(frameAt, 4, "TXFR"), 0);
    ASSERT_GT(frameEnd, frameAt + 200);
    ASSERT_GT(journal.size(), frameEnd);
    EXPECT_EQ(journal.find_first_not_of('\0', frameEnd), std::string::npos);
    auto cutAt = [&](int64_t len) {
        leaveJournal(base, f);
        std::string own = fileBytes(JournalFileName(f));
        ASSERT_EQ(int64_t(own.size()), journalSize);
        writeBytes(JournalFileName(f), own.substr(0, size_t(len)));
    };
    for (int64_t len = 0; len < int64_t(frameEnd);
         len += (len < 64                 ? 7
                 : len < int64_t(frameAt) ? 1000
                                          : int64_t(frameEnd) / 23)) {
        cutAt(len);
        JournalRecovery r = RecoverJournal(f);
        EXPECT_TRUE(r.ok) << len;
        EXPECT_EQ(r.replayed, 0) << len;
        EXPECT_FALSE(fs::exists(JournalFileName(f))) << len;
        EXPECT_EQ(fingerprint(f), before) << "journal cut at " << len;
    }
    // Cut after its commit mark, the frame is whole.
    cutAt(int64_t(frameEnd));
    JournalRecovery whole = RecoverJournal(f);
    EXPECT_TRUE(whole.ok);
    EXPECT_EQ(whole.replayed, 1);
    EXPECT_NE(fingerprint(f), before);
    for (size_t at : {size_t(8), size_t(20), frameAt + 8, frameAt + 16, (frameAt + frameEnd) / 2,
                      frameEnd - 20}) {
        leaveJournal(base, f);
        std::string bad = fileBytes(JournalFileName(f));
        bad[at] = char(bad[at] ^ 0x5A);
        writeBytes(JournalFileName(f), bad);
        JournalRecovery r = RecoverJournal(f);
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.replayed, 0) << at;
        EXPECT_EQ(fingerprint(f), before) << "byte " << at;
    }
    std::string left = dir.file("left");
    leaveJournal(base, left);
    // The journal of one folder put into another holding the same books.
    std::string other = dir.file("other");
    copyFolder(base, other);
    writeBytes(JournalFileName(other), fileBytes(JournalFileName(left)));
    JournalRecovery r = RecoverJournal(other);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.discarded);
    EXPECT_EQ(fingerprint(other), before);
    EXPECT_FALSE(fs::exists(JournalFileName(other)));
    // In its own folder, but a file it names was replaced since (a restored copy, say):
    // the journal is older than the file and is not applied to it.
    std::string stale = dir.file("stale");
    leaveJournal(base, stale);
    const std::string dataBefore = fileBytes(stale + "/A.DAT");
    fs::copy_file(stale + "/A.DAT", stale + "/A.new");
    fs::rename(stale + "/A.new", stale + "/A.DAT");
    r = RecoverJournal(stale);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.discarded);
    EXPECT_EQ(fileBytes(stale + "/A.DAT"), dataBefore);
    EXPECT_EQ(fingerprint(stale), before);
    // And the untouched journal in its own folder is applied.
    std::string moved = left;
    r = RecoverJournal(moved);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.replayed, 1);
    EXPECT_NE(fingerprint(moved), before);
    expectSound(moved);
    ASSERT_EQ(InitEngine(30), 30);
}

TEST_F(TransactionTest, AJournalOfTheEarlierLayoutIsStillApplied) {
    // Earlier programs wrote the frames one after another from the end of the 48-byte
    // header; a journal one of them left behind is finished, not dropped.
    std::string base = folder("base");
    const std::string before = booksApart(base);
    std::string f = dir.file("now");
    leaveJournal(base, f);
    ASSERT_EQ(InitEngine(30), 30);
    ASSERT_TRUE(RecoverJournal(f).ok);
    const std::string after = fingerprint(f);
    ASSERT_NE(after, before);

    // The journal names its folder: the one of the same folder, in the earlier layout.
    std::string old = dir.file("old");
    leaveJournal(base, old);
    auto packedJournal = [&] {
        const std::string journal = fileBytes(JournalFileName(old));
        const size_t frameEnd = journal.rfind("TXOK") + 8;
        std::string packed = journal.substr(0, 48) + journal.substr(4096, frameEnd - 4096);
        packed[8] = 1;
        const uint64_t sum = JournalChecksum(reinterpret_cast<const uint8_t*>(packed.data()), 40);
        for (int i = 0; i < 8; ++i)
            packed[size_t(40 + i)] = char(sum >> (8 * i));
        return packed;
    };
    writeBytes(JournalFileName(old), packedJournal());
    JournalRecovery r = RecoverJournal(old);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.replayed, 1);
    EXPECT_EQ(fingerprint(old), after);
    expectSound(old);
    // Cut short inside its frame, it is not.
    leaveJournal(base, old);
    const std::string packed = packedJournal();
    writeBytes(JournalFileName(old), packed.substr(0, packed.size() - 9));
    r = RecoverJournal(old);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.replayed, 0);
    EXPECT_EQ(fingerprint(old), before);
}

TEST_F(TransactionTest, AJournalBegunAgainIsWrittenOverAndOnlyItsNewFramesCount) {
    std::string f = folder("books");
    makeBooks(f);
    ExitEngine();
    // A program commits enough to grow the journal, checkpoints it keeping it, commits once
    // more and dies: the new frame is written over the old ones, within the journal's
    // length, and recovery applies it alone.
    int status = inChild([&] {
        if (InitEngine(30) != 30) return 2;
        Fileblock* a = OpenFileblock(f + "/A", false);
        for (int i = 0; i < 30; ++i) {
            if (!BeginTransaction()) return 3;
            for (int k = 0; k < 10; ++k)
                addA(a, 1000 + 10 * i + k, "old");
            if (!CommitTransaction()) return 4;
        }
        if (!SettleJournal()) return 5;
        const auto length = fs::file_size(JournalFileName(f));
        if (!BeginTransaction()) return 6;
        addA(a, 5000, "new");
        std::string r(kLenA, '\0');
        GetRecord(a, 1, r.data());
        r[kLenA - 2] = 'N';
        PutRecord(a, 1, r.data());
        if (!CommitTransaction()) return 7;
        return fs::file_size(JournalFileName(f)) == length ? 0 : 8;
    });
    ASSERT_EQ(status, 0);
    const std::string journal = fileBytes(JournalFileName(f));
    int frames = 0;
    for (size_t at = 4096; at + 4 <= journal.size(); at += 4096)
        frames += journal.compare(at, 4, "TXFR") == 0;
    EXPECT_GT(frames, 10);  // the old frames are still there past the new one
    ASSERT_EQ(InitEngine(30), 30);
    JournalRecovery r = RecoverJournal(f);
    EXPECT_TRUE(r.ok);
    EXPECT_FALSE(r.discarded);
    EXPECT_EQ(r.replayed, 1);
    expectSound(f);
    Fileblock* a = OpenFileblock(f + "/A", false);
    EXPECT_EQ(UsedRecordCount(a), 351);
    std::string rec(kLenA, '\0');
    GetRecord(a, 1, rec.data());
    EXPECT_EQ(rec[kLenA - 2], 'N');
    std::string k = keyA1(recA(5000, "new"));
    int32_t n = FindKeyAtOrAfter(a, 1, k);
    EXPECT_TRUE(EngineOk);
    EXPECT_EQ(k, keyA1(recA(5000, "new")));
    GetRecord(a, n, rec.data());
    EXPECT_EQ(rec, recA(5000, "new"));
    CloseFileblock(a);
}

TEST_F(TransactionTest, AJournalWriteRefusedPastThePageCacheGoesThroughIt) {
    // A disk whose block is larger than the journal's refuses the unbuffered write
    // (EINVAL): the commit writes through the page cache instead and goes on that way.
    std::string base = folder("base");
    makeBooks(base);
    int refusedAndCommitted = 0;
    for (int n = 1; n < 100; ++n) {
        std::string f = dir.file("run");
        Fileblock *a = nullptr, *b = nullptr;
        ASSERT_NO_FATAL_FAILURE(postInCopy(base, f, a, b));
        SetFileFault(unsigned(FileOp::Write), n, FileFaultAction::Fail, EINVAL);
        const bool committed = CommitTransaction();
        const bool reached = FileOpCount() >= n;
        ClearFileFault();
        if (committed && reached) {
            ++refusedAndCommitted;
            // The next commit goes through the page cache too.
            ASSERT_TRUE(BeginTransaction());
            addB(b, 99);
            EXPECT_TRUE(CommitTransaction());
        }
        CloseFileblock(a);
        CloseFileblock(b);
        ExitEngine();
        ASSERT_EQ(InitEngine(30), 30);
        EXPECT_TRUE(RecoverJournal(f).ok);
        if (committed) {
            expectSound(f);
            Fileblock* check = OpenFileblock(f + "/A", false);
            EXPECT_EQ(UsedRecordCount(check), 65) << n;
            CloseFileblock(check);
        }
        if (!reached) break;
    }
    EXPECT_GE(refusedAndCommitted, 1);
}

TEST_F(TransactionTest, CommittedChangesWaitInMemoryAndTheCheckpointWritesEachPageOnce) {
    std::string f = folder("books");
    makeBooks(f);
    const std::string dataBefore = fileBytes(f + "/A.DAT");
    const std::string indexBefore = fileBytes(f + "/A.IX");
    Fileblock* a = OpenFileblock(f + "/A", false);
    ASSERT_TRUE(a);
    std::string r(kLenA, '\0');
    auto change = [&](char c) {
        GetRecord(a, 5, r.data());
        r[kLenA - 3] = c;
        PutRecord(a, 5, r.data());
    };
    ClearFileFault();
    SetFileFault(unsigned(FileOp::Write), 0, FileFaultAction::Fail);  // counts the writes
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(BeginTransaction());
        change(char('a' + i));
        addA(a, 100 + i, "more");
        ASSERT_TRUE(CommitTransaction()) << i;
    }
    EXPECT_EQ(FileOpCount(), 21);  // the journal's header, then each commit's frame
    EXPECT_EQ(fileBytes(f + "/A.DAT"), dataBefore);
    EXPECT_EQ(fileBytes(f + "/A.IX"), indexBefore);
    // The program reads the committed changes, by record and by key.
    GetRecord(a, 5, r.data());
    EXPECT_EQ(r[kLenA - 3], 't');
    EXPECT_EQ(UsedRecordCount(a), 70);
    std::string k = keyA1(recA(119, "more"));
    int32_t n = FindKeyAtOrAfter(a, 1, k);
    ASSERT_TRUE(EngineOk);
    GetRecord(a, n, r.data());
    EXPECT_EQ(r, recA(119, "more"));
    // A rolled-back transaction over them takes only its own changes away.
    ASSERT_TRUE(BeginTransaction());
    change('Z');
    addA(a, 500, "gone");
    RollbackTransaction();
    GetRecord(a, 5, r.data());
    EXPECT_EQ(r[kLenA - 3], 't');
    EXPECT_EQ(UsedRecordCount(a), 70);
    // The checkpoint writes every changed stretch of a file once, not once a commit.
    const int64_t writes = FileOpCount();
    ASSERT_TRUE(CheckpointJournal());
    EXPECT_LE(FileOpCount() - writes, 4);
    ClearFileFault();
    EXPECT_NE(fileBytes(f + "/A.DAT"), dataBefore);
    CloseFileblock(a);
    expectSound(f);
    a = OpenFileblock(f + "/A", false);
    GetRecord(a, 5, r.data());
    EXPECT_EQ(r[kLenA - 3], 't');
    EXPECT_EQ(UsedRecordCount(a), 70);
    CloseFileblock(a);
}

TEST_F(TransactionTest, ReadersOfWholeFilesInTheProgramFindTheCommittedChanges) {
    std::string base = folder("base");
    const std::string before = booksApart(base);
    const std::string after = postedInChild(base);
    ASSERT_NE(after, before);
    // Committed, the posting waits in memory; a close writes it to the files, for other
    // programs that read them past the engine.
    ASSERT_EQ(InitEngine(30), 30);
    std::string f = dir.file("run");
    copyFolder(base, f);
    const std::string rawBefore = fileBytes(f + "/A.DAT");
    Fileblock* a = OpenFileblock(f + "/A", false);
    Fileblock* b = OpenFileblock(f + "/B", false);
    ASSERT_TRUE(BeginTransaction());
    ASSERT_TRUE(post(a, b));
    ASSERT_TRUE(CommitTransaction());
    EXPECT_EQ(fileBytes(f + "/A.DAT"), rawBefore);
    CloseFileblock(a);
    CloseFileblock(b);
    EXPECT_NE(fileBytes(f + "/A.DAT"), rawBefore);
    EXPECT_EQ(fingerprint(f), after);
    // With the fileblocks open and a commit in memory, the books check and every other
    // reader past the engine in the program find it, not the files as they were.
    b = OpenFileblock(f + "/B", false);
    ASSERT_TRUE(BeginTransaction());
    addB(b, 40);
    ASSERT_TRUE(CommitTransaction());
    const std::string more = fingerprint(f);
    EXPECT_NE(more, after);
    EXPECT_NE(more.find("B00040bee"), std::string::npos);
    expectSound(f);
    EXPECT_EQ(UsedRecordCount(b), 16);
    CloseFileblock(b);
}

TEST_F(TransactionTest, AJournalHeldByAnotherProgramMakesTheCommitBusyAndItsOwnerIsLeftAlone) {
    std::string f = folder("books");
    makeBooks(f);
    const std::string before = fingerprint(f);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t holder = ::fork();
    if (holder == 0) {
        int fd = ::open(JournalFileName(f).c_str(), O_RDWR | O_CREAT, 0600);
        ::flock(fd, LOCK_EX);
        ssize_t w = ::write(fd, "in use", 6);
        (void)w;
        char c = 'r';
        w = ::write(ready[1], &c, 1);
        ::pause();
        ::_exit(0);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    // Recovery leaves a journal alone while its owner lives.
    JournalRecovery r = RecoverJournal(f);
    EXPECT_TRUE(r.busy);
    Fileblock* a = OpenFileblock(f + "/A", false);
    Fileblock* b = OpenFileblock(f + "/B", false);
    ASSERT_TRUE(EngineOk);
    ASSERT_TRUE(BeginTransaction());
    ASSERT_TRUE(post(a, b));
    EXPECT_FALSE(CommitTransaction());
    EXPECT_EQ(EngineError, err::JournalBusy);
    EXPECT_EQ(ErrorClass(), 2);  // the caller may retry
    EXPECT_EQ(UsedRecordCount(a), 50);
    CloseFileblock(a);
    CloseFileblock(b);
    EXPECT_EQ(fingerprint(f), before);
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    // Its owner gone, the journal it left (not one of ours) is removed.
    r = RecoverJournal(f);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.discarded);
    EXPECT_FALSE(fs::exists(JournalFileName(f)));
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(TransactionTest, ADirectWriteAfterACommitFirstMakesTheJournalDurable) {
    std::string f = folder("books");
    makeBooks(f);
    Fileblock* a = OpenFileblock(f + "/A", false);
    ASSERT_TRUE(BeginTransaction());
    addA(a, 80, "tx");
    ASSERT_TRUE(CommitTransaction());
    ASSERT_TRUE(fs::exists(JournalFileName(f)));
    // A change outside any transaction: replaying the journal later must not undo it, so
    // the journal is checkpointed before the change is written.
    addA(a, 81, "direct");
    ASSERT_TRUE(EngineOk);
    EXPECT_FALSE(fs::exists(JournalFileName(f)));
    CloseFileblock(a);
    expectSound(f);
    // Many commits: the journal is checkpointed as it grows and never passes its limit.
    a = OpenFileblock(f + "/A", false);
    for (int i = 0; i < 400; ++i) {
        ASSERT_TRUE(BeginTransaction());
        addA(a, 1000 + i, "many");
        ASSERT_TRUE(CommitTransaction()) << i;
        if (fs::exists(JournalFileName(f))) {
            EXPECT_LT(fs::file_size(JournalFileName(f)), 17u << 20);
        }
    }
    CloseFileblock(a);
    expectSound(f);
    a = OpenFileblock(f + "/A", false);
    EXPECT_EQ(UsedRecordCount(a), 452);
    CloseFileblock(a);
}

// The commit writes what the fileblocks hold in memory straight into its frame's runs,
// without chunks of the transaction's own. Those writes keep their order with every other
// write of the transaction, a read finds them, a rollback drops them, and a recovery from
// the journal alone writes them as the commit's memory had them.
TEST_F(TransactionTest, WritesOfTheCommitStraightToItsFrameKeepTheirOrder) {
    // Books whose data file spans several chunks of changes (records 1 - 350).
    auto makeLongBooks = [&](const std::string& f) {
        makeBooks(f);
        Fileblock* a = OpenFileblock(f + "/A", false);
        ASSERT_TRUE(a);
        ASSERT_TRUE(BeginTransaction());
        for (int i = 51; i <= 350; ++i)
            addA(a, i);
        ASSERT_TRUE(CommitTransaction());
        CloseFileblock(a);
    };
    const int64_t len = kLenA;
    auto slot = [&](int n) { return int64_t(n) * len; };
    const std::string own = recA(3, "own"), first = recA(150, "first"), later = recA(230, "xx"),
                      last = recA(320, "yy"), rolled = recA(200, "rolled");
    std::string over = first;
    over.replace(10, 15, std::string(15, 'Z'));
    auto expectRecords = [&](Fileblock* a) {
        std::string got(size_t(len), '\0');
        for (auto [n, want] : {std::pair<int, std::string>{3, own},
                               {150, over},
                               {230, later},
                               {320, last},
                               {200, recA(200)},
                               {151, recA(151)}}) {
            GetRecord(a, n, got.data());
            EXPECT_EQ(got, want) << "record " << n;
        }
    };
    // The writes go straight to the frame only where the transaction holds no chunk.
    auto heldByTransaction = [&](Fileblock* a, int n) {
        const Overlay* ov = a->data.overlay();
        return ov && ov->chunks.count(slot(n) / Overlay::kChunk) > 0;
    };
    auto post = [&](Fileblock* a) {
        if (!BeginTransaction()) return false;
        PutRecord(a, 3, own.data());  // into a chunk of the transaction's own
        SetCommitWritesDirect(true);
        RecordFile& data = a->data;
        std::string back(size_t(len), '\0');
        bool ok = data.write(slot(150), first.data(), size_t(len)) && !heldByTransaction(a, 150) &&
                  // over part of the last: it comes after
                  data.write(slot(150) + 10, over.data() + 10, 15) &&
                  data.write(slot(230), later.data(), size_t(len)) && !heldByTransaction(a, 230) &&
                  data.read(slot(230), back.data(), size_t(len)) && back == later &&
                  // after the read, and in a chunk of its own: it stays straight to the frame
                  data.write(slot(320), last.data(), size_t(len)) && !heldByTransaction(a, 320);
        SetCommitWritesDirect(false);
        return ok && CommitTransaction();
    };
    const std::string f = folder("direct");
    makeLongBooks(f);
    Fileblock* a = OpenFileblock(f + "/A", false);
    ASSERT_TRUE(a);
    // A rolled-back transaction leaves nothing of its direct writes.
    ASSERT_TRUE(BeginTransaction());
    SetCommitWritesDirect(true);
    ASSERT_TRUE(a->data.write(slot(200), rolled.data(), size_t(len)));
    EXPECT_FALSE(heldByTransaction(a, 200));
    SetCommitWritesDirect(false);
    RollbackTransaction();
    ASSERT_TRUE(post(a));
    expectRecords(a);
    CloseFileblock(a);
    a = OpenFileblock(f + "/A", false);
    ASSERT_TRUE(a);
    expectRecords(a);
    CloseFileblock(a);
    expectSound(f);
    // The program dies right after the commit: the journal alone brings the records.
    const std::string g = folder("direct-recovered");
    makeLongBooks(g);
    ExitEngine();
    ASSERT_EQ(inChild([&] {
                  InitEngine(30);
                  Fileblock* b = OpenFileblock(g + "/A", false);
                  if (!b || !post(b)) return 1;
                  ::_exit(0);
              }),
              0);
    ASSERT_EQ(InitEngine(30), 30);
    JournalRecovery r = RecoverJournal(g);
    ASSERT_TRUE(r.ok);
    EXPECT_GE(r.replayed, 1);
    a = OpenFileblock(g + "/A", false);
    ASSERT_TRUE(a);
    expectRecords(a);
    CloseFileblock(a);
    expectSound(g);
}

}  // namespace
}  // namespace invarro::storage
