// Crash recovery for real: a child process adds and deletes records with their keys and is
// killed with SIGKILL at a random point; the next open asks for a rebuild, and the rebuild
// brings back every record whose add had returned, with exactly their keys.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
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

}  // namespace
}  // namespace invarro::storage
