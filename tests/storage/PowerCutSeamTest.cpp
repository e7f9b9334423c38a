// The power-cut seam of the file layer: what it lets a cut keep of writes and name changes
// that were not synced, and that it keeps everything that was.

#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "storage/EngineTesting.h"
#include "storage/FileIO.h"
#include "support/TempDir.h"

namespace invarro::storage {
namespace {

using invarro::testing::ReadFileBytes;

class PowerCutSeamTest : public ::testing::Test {
  protected:
    void TearDown() override { StopPowerCutWatch(); }
    std::string folder() const { return dir.file("data"); }
    std::string in(const std::string& name) const { return folder() + "/" + name; }
    // The states of many seeds, written beside the folder.
    std::vector<std::string> states(int count) {
        std::vector<std::string> out;
        for (int seed = 1; seed <= count; ++seed) {
            const std::string to = dir.file("cut" + std::to_string(seed));
            std::filesystem::remove_all(to);
            EXPECT_TRUE(WritePowerCutState(to, uint64_t(seed)));
            out.push_back(to);
        }
        return out;
    }
    invarro::testing::TempDir dir;
};

TEST_F(PowerCutSeamTest, UnsyncedPagesAreLostKeptOrTornButNeverMadeUp) {
    std::filesystem::create_directories(folder());
    const std::string old(3 * 4096, 'o');
    {
        OsFile f;
        ASSERT_TRUE(f.open(in("F.DAT"), false, true));
        ASSERT_TRUE(f.write(0, old.data(), old.size()));
        ASSERT_TRUE(f.sync());
    }
    ASSERT_TRUE(SyncFolder(folder()));
    StartPowerCutWatch(folder());
    OsFile f;
    ASSERT_TRUE(f.open(in("F.DAT"), false, false));
    // Every page changed and the file grown by two pages, nothing synced.
    const std::string fresh(5 * 4096, 'n');
    ASSERT_TRUE(f.write(0, fresh.data(), fresh.size()));
    std::set<std::string> seen;
    std::set<size_t> lengths;
    for (const std::string& s : states(40)) {
        const std::string bytes = ReadFileBytes(s + "/F.DAT");
        lengths.insert(bytes.size());
        ASSERT_TRUE(bytes.size() == old.size() || bytes.size() == fresh.size());
        std::string pages;
        for (size_t at = 0; at < bytes.size(); at += 4096) {
            const std::string page = bytes.substr(at, 4096);
            // A page is the old one, the new one or (past the old end) zeros: never mixed.
            const char c = page[0];
            ASSERT_EQ(page, std::string(4096, c)) << "page " << at / 4096;
            ASSERT_TRUE(c == 'n' || (at < old.size() ? c == 'o' : c == '\0'));
            pages += c;
        }
        seen.insert(pages);
    }
    EXPECT_EQ(lengths.size(), 2u);
    EXPECT_GT(seen.size(), 8u);  // torn in many ways, not only all or nothing

    // Once synced, every cut keeps the new bytes.
    ASSERT_TRUE(f.sync());
    for (const std::string& s : states(5))
        EXPECT_EQ(ReadFileBytes(s + "/F.DAT"), fresh);
}

TEST_F(PowerCutSeamTest, NameChangesLastOnlyOnceTheirFolderIsSynced) {
    std::filesystem::create_directories(folder());
    testing::WriteFileBytes(in("A.DAT"), "first");
    StartPowerCutWatch(folder());
    {
        OsFile f;
        ASSERT_TRUE(f.open(in("NEW.DAT"), false, true));
        ASSERT_TRUE(f.write(0, "made", 4));
        ASSERT_TRUE(f.sync());  // its bytes, not its name
    }
    ASSERT_TRUE(RenameFile(in("A.DAT"), in("B.DAT")));
    int withNew = 0, renamed = 0;
    for (const std::string& s : states(30)) {
        const bool a = std::filesystem::exists(s + "/A.DAT");
        const bool b = std::filesystem::exists(s + "/B.DAT");
        EXPECT_NE(a, b) << "a renamed file is under one of its names, never both or none";
        EXPECT_EQ(ReadFileBytes(s + (a ? "/A.DAT" : "/B.DAT")), "first");
        renamed += b;
        if (std::filesystem::exists(s + "/NEW.DAT")) {
            ++withNew;
            EXPECT_EQ(ReadFileBytes(s + "/NEW.DAT"), "made");
        }
    }
    // Each change is kept or lost on its own, in every combination.
    EXPECT_GT(withNew, 0);
    EXPECT_LT(withNew, 30);
    EXPECT_GT(renamed, 0);
    EXPECT_LT(renamed, 30);

    ASSERT_TRUE(RemoveFile(in("NEW.DAT")));
    ASSERT_TRUE(SyncFolder(folder()));
    for (const std::string& s : states(5)) {
        EXPECT_FALSE(std::filesystem::exists(s + "/A.DAT"));
        EXPECT_FALSE(std::filesystem::exists(s + "/NEW.DAT"));
        EXPECT_EQ(ReadFileBytes(s + "/B.DAT"), "first");
    }
}

TEST_F(PowerCutSeamTest, TheSameSeedGivesTheSameState) {
    std::filesystem::create_directories(folder());
    StartPowerCutWatch(folder());
    OsFile f;
    ASSERT_TRUE(f.open(in("F.DAT"), false, true));
    std::string bytes;
    for (int i = 0; i < 16 * 4096; ++i)
        bytes += char('a' + i % 26);
    ASSERT_TRUE(f.write(0, bytes.data(), bytes.size()));
    ASSERT_TRUE(WritePowerCutState(dir.file("one"), 7));
    ASSERT_TRUE(WritePowerCutState(dir.file("two"), 7));
    EXPECT_EQ(std::filesystem::exists(dir.file("one/F.DAT")),
              std::filesystem::exists(dir.file("two/F.DAT")));
    if (std::filesystem::exists(dir.file("one/F.DAT"))) {
        EXPECT_EQ(ReadFileBytes(dir.file("one/F.DAT")), ReadFileBytes(dir.file("two/F.DAT")));
    }
}

TEST_F(PowerCutSeamTest, SyncsAreCountedAndMarkBoundaries) {
    std::filesystem::create_directories(folder());
    StartPowerCutWatch(folder());
    const int64_t before = SyncCount();
    OsFile f;
    ASSERT_TRUE(f.open(in("F.DAT"), false, true));
    ASSERT_TRUE(f.write(0, "x", 1));
    ASSERT_TRUE(f.sync());
    ASSERT_TRUE(SyncFolder(folder()));
    ASSERT_TRUE(SyncFile(in("F.DAT")));
    EXPECT_EQ(SyncCount() - before, 3);
    EXPECT_EQ(PowerCutBoundaries(), 3);
}

}  // namespace
}  // namespace invarro::storage
