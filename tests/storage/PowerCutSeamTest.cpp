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
    // A file of the folder with the given bytes, synced with its name; then the folder is
    // watched and the file opened as f.
    void watchSynced(const std::string& name, const std::string& bytes, OsFile& f) {
        std::filesystem::create_directories(folder());
        ASSERT_TRUE(f.open(in(name), false, true));
        ASSERT_TRUE(f.write(0, bytes.data(), bytes.size()));
        ASSERT_TRUE(f.sync());
        ASSERT_TRUE(f.close());
        ASSERT_TRUE(SyncFolder(folder()));
        StartPowerCutWatch(folder());
        ASSERT_TRUE(f.open(in(name), false, false));
    }
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
    const std::string old(3 * 4096, 'o');
    OsFile f;
    watchSynced("F.DAT", old, f);
    ASSERT_FALSE(HasFatalFailure());
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

// A file cut short (a journal emptied at a checkpoint) is, after a cut before the sync that
// follows, either as it was synced or cut short with what was written after: the file
// system keeps its old blocks until the change of length is made, never zeros over them.
// Zeros there once let recovery replay the first of two frames over files that held both.
TEST_F(PowerCutSeamTest, ACutShortFileIsWholeOrShortNeverZeroedWithinItsOldLength) {
    const std::string old(3 * 4096, 'o');
    OsFile f;
    watchSynced("F.JNL", old, f);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(f.truncate(0));
    const std::string header(48, 'h');
    ASSERT_TRUE(f.write(0, header.data(), header.size()));
    int whole = 0, shortened = 0;
    for (const std::string& s : states(40)) {
        const std::string bytes = ReadFileBytes(s + "/F.JNL");
        if (bytes == old) {
            ++whole;
            continue;
        }
        ++shortened;
        ASSERT_LE(bytes.size(), header.size());
        EXPECT_TRUE(bytes == std::string(bytes.size(), 'h') ||
                    bytes == std::string(bytes.size(), '\0'));
    }
    EXPECT_GT(whole, 0);
    EXPECT_GT(shortened, 0);

    // Grown again past its old length and synced: only the new bytes.
    const std::string fresh(4 * 4096, 'n');
    ASSERT_TRUE(f.write(0, fresh.data(), fresh.size()));
    ASSERT_TRUE(f.sync());
    for (const std::string& s : states(5))
        EXPECT_EQ(ReadFileBytes(s + "/F.JNL"), fresh);
}

// A file is one file whatever handle wrote it: a sync through a later handle makes durable
// what an earlier, closed one wrote.
TEST_F(PowerCutSeamTest, ASyncCoversWhatAnEarlierHandleOfTheFileWrote) {
    std::filesystem::create_directories(folder());
    testing::WriteFileBytes(in("F.DAT"), std::string(4096, 'o'));
    StartPowerCutWatch(folder());
    const std::string fresh(2 * 4096, 'n');
    {
        OsFile first;
        ASSERT_TRUE(first.open(in("F.DAT"), false, false));
        ASSERT_TRUE(first.write(0, fresh.data(), fresh.size()));
    }
    OsFile second;
    ASSERT_TRUE(second.open(in("F.DAT"), false, false));
    ASSERT_TRUE(second.sync());
    for (const std::string& s : states(10))
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
