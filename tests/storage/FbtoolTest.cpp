// invarro-fbtool run as a separate program.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>

#include "storage/Bytes.h"
#include "support/TempDir.h"

namespace {

using invarro::testing::ReadFileBytes;
using invarro::testing::TempDir;
using invarro::testing::WriteFileBytes;

struct Result {
    std::string out;
    int status = -1;
};

Result run(const std::string& args, const std::string& input = "") {
    TempDir tmp;
    std::string in = tmp.file("in.txt");
    WriteFileBytes(in, input);
    std::string cmd = std::string(INVARRO_FBTOOL) + " " + args + " < " + in + " 2>&1";
    Result r;
    FILE* p = ::popen(cmd.c_str(), "r");
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        r.out.append(buf.data(), n);
    int st = ::pclose(p);
    r.status = WEXITSTATUS(st);
    return r;
}

TEST(Fbtool, ScriptRunsEngineOperationsLineByLine) {
    TempDir dir;
    std::string n = dir.file("S");
    std::string script =
        "init 30\n"
        "create " +
        n +
        " 40 10u 4d\n"
        "open " +
        n +
        "\n"
        "add first record\n"
        "add second\n"
        "get 1\n"
        "addkey 1 1 b\\sc\n"
        "addkey 1 2 A\n"
        "addkey 1 2 A\n"
        "addkey 2 1 \\xFF\n"
        "find 1 B\n"
        "next 1 b\\sc 1\n"
        "next 1 b\\sc 1\n"
        "count 1\n"
        "del 9\n"
        "used\n"
        "slots\n"
        "reclen\n"
        "nextrec 0\n"
        "approxrecpos 1 63\n"
        "findrec 2 \\xFF 1 0\n"
        "bogus\n"
        "close\n"
        "exit\n";
    Result r = run("script", script);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "ok 8192\nok\nok 1\nok 1\nok 2\nok first record\nok\nok\nerr 10230\nok\n"
              "ok 1 b\\sc\nerr 10250\nok 2 A\nok 2\nerr 10135\nok 2\nok 3\nok 40\nok 1\n"
              "ok 21\nok 1 \\xFF\nerr syntax\nok\nok\n");

    r = run("info " + n);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("key 1: length 10, unique, entries 2, root 1"), std::string::npos);
    EXPECT_NE(r.out.find("key 2: length 4, duplicates, entries 1"), std::string::npos);
    r = run("keys " + n + " 1");
    EXPECT_EQ(r.out, "A 2\nb\\sc 1\n");
    r = run("dump " + n);
    EXPECT_EQ(r.out.substr(0, 31), "1: \\x00\\x00\\x00\\x00first record");
    r = run("check " + n);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "ok\n");
}

TEST(Fbtool, CheckReportsEachProblem) {
    TempDir dir;
    std::string n = dir.file("C");
    run("script", "init 30\ncreate " + n + " 30 5u\nopen " + n +
                      "\nadd a\nadd b\nadd c\naddkey 1 1 A\naddkey 1 2 B\naddkey 1 3 C\ndel 3\n"
                      "close\n");
    Result r = run("check " + n);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("entry C points to record 3, which is not a live record"),
              std::string::npos)
        << r.out;

    // A loop in the deleted chain.
    std::string dat = ReadFileBytes(n + ".DAT");
    auto* u = reinterpret_cast<uint8_t*>(dat.data());
    invarro::storage::wr32(u + 3 * 30, 3);
    WriteFileBytes(n + ".DAT", dat);
    r = run("check " + n);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("deleted chain loops at record 3"), std::string::npos) << r.out;

    // A file shorter than its header says: only the slots it has are looked at.
    dat.resize(dat.size() - 1);
    WriteFileBytes(n + ".DAT", dat);
    r = run("check " + n);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("data file has 119 bytes, expected 120"), std::string::npos) << r.out;

    // A header claiming two thousand million records.
    invarro::storage::wr32(reinterpret_cast<uint8_t*>(dat.data()) + 8, 0x7FFFFFF0);
    WriteFileBytes(n + ".DAT", dat);
    r = run("check " + n);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("expected 64424508990 for 2147483632 records"), std::string::npos)
        << r.out;

    r = run("check " + dir.file("missing"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("cannot open"), std::string::npos);
}

}  // namespace
