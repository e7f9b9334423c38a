// Crash recovery for real: a child process adds and deletes records with their keys and is
// killed with SIGKILL at a random point; the next open asks for a rebuild, and the rebuild
// brings back every record whose add had returned, with exactly their keys.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <set>

#include "EngineFixture.h"
#include "storage/Rebuild.h"
#include "storage/Verify.h"

namespace invarro::storage {
namespace {

// invarro-fbtool script as a child process, driven line by line.
class ScriptChild {
  public:
    ScriptChild() {
        int toChild[2], fromChild[2];
        if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(toChild[0], 0);
            ::dup2(fromChild[1], 1);
            ::close(toChild[1]);
            ::close(fromChild[0]);
            ::execl(INVARRO_FBTOOL, "invarro-fbtool", "script", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        in_ = toChild[1];
        out_ = ::fdopen(fromChild[0], "r");
    }
    ~ScriptChild() {
        kill();
        if (out_) std::fclose(out_);
    }
    void send(const std::string& line) {
        std::string l = line + "\n";
        ssize_t w = ::write(in_, l.data(), l.size());
        (void)w;
    }
    std::string reply() {
        char buf[512];
        if (!std::fgets(buf, sizeof buf, out_)) return "";
        std::string s(buf);
        if (!s.empty() && s.back() == '\n') s.pop_back();
        return s;
    }
    std::string call(const std::string& line) {
        send(line);
        return reply();
    }
    void kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            int st;
            ::waitpid(pid_, &st, 0);
            pid_ = -1;
        }
        if (in_ >= 0) ::close(in_);
        in_ = -1;
    }

  private:
    pid_t pid_ = -1;
    int in_ = -1;
    FILE* out_ = nullptr;
};

bool rawKeys(const uint8_t* rec, int32_t len, int keyNo, std::string& key) {
    if (len < 16) return false;
    key.assign(reinterpret_cast<const char*>(rec) + (keyNo == 1 ? 4 : 12), keyNo == 1 ? 8 : 4);
    return true;
}

class CrashTest : public EngineTest {};

TEST_F(CrashTest, RebuildAfterSigkillRecoversEveryCompletedAdd) {
    const KeyDescriptor keys[] = {{8, false}, {4, true}};
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::mt19937 rng(1000 + unsigned(round));
        const std::string name = dir.file("CR" + std::to_string(round));
        std::map<std::string, int32_t> live;  // text -> record number, add returned
        std::set<std::string> gone;           // delete returned
        std::string inFlightAdd, inFlightDelete;
        {
            ScriptChild child;
            ASSERT_EQ(child.call("init 30").substr(0, 2), "ok");
            ASSERT_EQ(child.call("create " + name + " 40 8u 4d"), "ok");
            ASSERT_EQ(child.call("open " + name), "ok 1");
            const int ops = 1 + int(rng() % 1500);
            // How the last operation ends: its command sent and the child killed at once, or
            // (for an add) killed after the record and before its keys.
            const bool stopBeforeKeys = rng() % 2 == 0;
            int next = 0;
            for (int op = 0; op < ops; ++op) {
                const bool last = op == ops - 1;
                // On the last operation the command is sent and the child killed without
                // waiting for its answer: it may or may not have been carried out.
                if (live.empty() || rng() % 4 != 0) {
                    char text[16];
                    std::snprintf(text, sizeof text, "%08d%04d", next++, int(rng() % 37));
                    std::string t = text;
                    if (last && !stopBeforeKeys) {
                        child.send("add " + t);
                        inFlightAdd = t;
                        break;
                    }
                    std::string r = child.call("add " + t);
                    ASSERT_EQ(r.substr(0, 3), "ok ");
                    int32_t n = std::stoi(r.substr(3));
                    live[t] = n;
                    if (last) break;
                    ASSERT_EQ(child.call("addkey 1 " + std::to_string(n) + " " + t.substr(0, 8)),
                              "ok");
                    ASSERT_EQ(child.call("addkey 2 " + std::to_string(n) + " " + t.substr(8)),
                              "ok");
                } else {
                    auto it = live.begin();
                    std::advance(it, rng() % live.size());
                    std::string t = it->first;
                    std::string n = std::to_string(it->second);
                    ASSERT_EQ(child.call("delkey 1 " + n + " " + t.substr(0, 8)), "ok");
                    ASSERT_EQ(child.call("delkey 2 " + n + " " + t.substr(8)), "ok");
                    if (last) {
                        child.send("del " + n);
                        inFlightDelete = t;
                        live.erase(it);
                        break;
                    }
                    ASSERT_EQ(child.call("del " + n), "ok");
                    live.erase(it);
                    gone.insert(t);
                }
            }
            child.kill();
        }

        Fileblock* fb = OpenFileblock(name, false);
        EXPECT_EQ(fb, nullptr);
        EXPECT_EQ(EngineError, err::IndexDefective);
        ASSERT_TRUE(RebuildFileblock(name, 0, 2, keys, rawKeys, nullptr, nullptr)) << EngineError;

        std::set<std::string> found;
        std::string error;
        ForEachLiveRecord(
            name, [&](int32_t, const std::string& r) { found.insert(r.substr(4, 12)); }, error);
        for (auto& [t, n] : live)
            EXPECT_TRUE(found.count(t)) << "lost " << t;
        for (const std::string& t : gone)
            EXPECT_FALSE(found.count(t)) << "came back " << t;
        size_t extra = found.size() - live.size();
        EXPECT_LE(extra, size_t(inFlightAdd.empty() && inFlightDelete.empty() ? 0 : 1));

        // The index holds exactly the keys of the records.
        std::multiset<std::string> k1, k2, want1, want2;
        for (const std::string& t : found) {
            want1.insert(t.substr(0, 8));
            want2.insert(t.substr(8));
        }
        ForEachKeyEntry(
            name, 1, [&](const std::string& k, int32_t) { k1.insert(k); }, error);
        ForEachKeyEntry(
            name, 2, [&](const std::string& k, int32_t) { k2.insert(k); }, error);
        EXPECT_EQ(k1, want1);
        EXPECT_EQ(k2, want2);
        auto problems = CheckFileblock(name);
        EXPECT_TRUE(problems.empty()) << problems.front();
        if (HasFailure()) return;
    }
}

// Records added with their keys outside any transaction, then the fileblock closed, cut off
// by a power cut before any sync of the run or after the close returned (whatever was
// written and not synced lost, kept or torn by page): the file is either marked for a
// rebuild, which brings back every record that was there before, or its index is whole
// and holds exactly the keys of its records; after the close returned, every record is
// there.
TEST_F(CrashTest, PlainWritesCutByAPowerCutLeaveAWholeIndexOrASetFlag) {
    const std::string folder = dir.file("books");
    std::filesystem::create_directories(folder);
    const std::string name = folder + "/P";
    KeyDescriptor keys[] = {{8, false}, {4, true}};
    constexpr int kLen = 64, kBefore = 60, kAdded = 240;
    auto add = [](Fileblock* fb, int i) {
        char text[32];
        std::snprintf(text, sizeof text, "K%07d%04d", i * 7919 % 100000, i % 13);
        std::string r(kLen, '\0');
        r.replace(4, 12, text);
        const int32_t n = AddRecord(fb, r.data());
        AddKey(fb, 1, n, r.substr(4, 8));
        AddKey(fb, 2, n, r.substr(12, 4));
        return EngineOk;
    };
    CreateFileblock(name, kLen, 2, keys);
    Fileblock* fb = OpenFileblock(name, false);
    for (int i = 0; i < kBefore; ++i)
        ASSERT_TRUE(add(fb, i));
    CloseFileblock(fb);
    ExitEngine();
    const std::string keep = dir.file("keep");
    std::filesystem::copy(folder, keep);
    auto place = [&] {
        std::filesystem::remove_all(folder);
        std::filesystem::copy(keep, folder);
    };
    // In a child, so that the cut can end it; the number of syncs it met is its status.
    auto run = [&](int64_t cutAt, uint64_t seed) {
        pid_t pid = ::fork();
        if (pid == 0) {
            InitEngine(30);
            StartPowerCutWatch(folder, cutAt, seed);
            Fileblock* f = OpenFileblock(name, false);
            bool ok = f != nullptr;
            for (int i = kBefore; ok && i < kBefore + kAdded; ++i)
                ok = add(f, i);
            CloseFileblock(f);
            ok = ok && EngineOk;
            if (ok && cutAt == kCutAtExit) {
                CutPowerInPlace(seed);
                ::_exit(kFaultExitStatus);
            }
            ::_exit(ok ? int(std::min<int64_t>(PowerCutBoundaries(), 80)) : 99);
        }
        int st = 0;
        ::waitpid(pid, &st, 0);
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    };
    place();
    const int syncs = run(0, 1);
    ASSERT_GT(syncs, 0);
    ASSERT_LT(syncs, 80);
    int marked = 0, whole = 0;
    for (uint64_t seed : {1, 2, 3, 4})
        for (int64_t at = 1; at <= syncs + 1; ++at) {
            SCOPED_TRACE("cut at sync " + std::to_string(at) + " seed " + std::to_string(seed));
            place();
            ASSERT_EQ(run(at > syncs ? kCutAtExit : at, seed), kFaultExitStatus);
            InitEngine(30);
            FileblockInfo info;
            std::string error;
            ASSERT_TRUE(ReadFileblockInfo(name, info, error)) << error;
            if (info.updateInProgress) {
                ++marked;
                ASSERT_TRUE(RebuildFileblock(name, 0, 2, keys, rawKeys, nullptr, nullptr))
                    << EngineError;
            } else {
                ++whole;
            }
            const std::vector<std::string> problems = CheckFileblock(name);
            EXPECT_TRUE(problems.empty()) << problems.front();
            std::multiset<std::string> want1, k1;
            int records = 0;
            ForEachLiveRecord(
                name,
                [&](int32_t, const std::string& r) {
                    ++records;
                    want1.insert(r.substr(4, 8));
                },
                error);
            ForEachKeyEntry(
                name, 1, [&](const std::string& k, int32_t) { k1.insert(k); }, error);
            EXPECT_EQ(k1, want1);
            EXPECT_GE(records, kBefore);
            if (at > syncs) {
                EXPECT_EQ(records, kBefore + kAdded);
            }
            ExitEngine();
            if (HasFailure()) return;
        }
    EXPECT_GT(marked, 0);
    EXPECT_GT(whole, 0);
}

}  // namespace
}  // namespace invarro::storage
