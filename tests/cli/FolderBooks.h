// Helpers of the tests that interrupt a command and look at the books it leaves: the
// command-line program run as a child process, and the books of a folder compared as a
// person would compare them.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "data/Fileblocks.h"
#include "storage/Verify.h"
#include "support/TempDir.h"

namespace invarro::cli {

struct CliRun {
    int status = -1;
    std::string output;
};

// invarro-cli started as a child process and not waited for, its output (standard output
// and error) going to the file log, with the file-layer seam set from its environment and
// any further environment variables.
inline pid_t StartCli(const std::string& folder, const std::vector<std::string>& args,
                      const std::string& log, const std::string& fault = "",
                      const std::vector<std::pair<std::string, std::string>>& env = {}) {
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
        for (const auto& [name, value] : env)
            ::setenv(name.c_str(), value.c_str(), 1);
        std::vector<std::string> all = {"invarro-cli", "--data", folder, "--yes"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(INVARRO_CLI, argv.data());
        ::_exit(127);
    }
    return pid;
}

// invarro-cli as a child process, as StartCli starts it, waited for.
inline CliRun Cli(const std::string& folder, const std::vector<std::string>& args,
                  const std::string& fault = "",
                  const std::vector<std::pair<std::string, std::string>>& env = {}) {
    testing::TempDir out;
    const std::string log = out.file("out.txt");
    const pid_t pid = StartCli(folder, args, log, fault, env);
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

inline Books BooksOf(const std::string& folder) {
    Books books;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
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
inline std::string Readable(const std::string& bytes) {
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
inline std::string Difference(const Books& expected, const Books& actual) {
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

inline void Copy(const std::string& from, const std::string& to) {
    std::filesystem::remove_all(to);
    std::filesystem::copy(from, to, std::filesystem::copy_options::recursive);
}

}  // namespace invarro::cli
