// The libzip archive against the zip and unzip programs: what it writes they read, what
// they write it lists with the right kinds, and failures say what failed.

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/zip/ZipArchive.h"
#include "support/Command.h"
#include "support/TempDir.h"

namespace invarro::platform::zip {
namespace {

using testing::RunCommand;
using testing::ShellQuote;
using testing::TempDir;

std::string ReadAll(ArchiveReader& reader, std::size_t index, std::string* error) {
    std::string bytes;
    if (!reader.read(
            index,
            [&](std::string_view piece) {
                bytes.append(piece);
                return true;
            },
            error))
        return "<failed>";
    return bytes;
}

TEST(ZipArchiveTest, WhatItWritesUnzipReadsBackAndSoDoesIt) {
    TempDir dir;
    std::string big;
    for (int i = 0; i < 200000; ++i)
        big += char('a' + (i * 7919) % 26);
    testing::WriteFileBytes(dir.file("1C.DAT"), big);
    testing::WriteFileBytes(dir.file("empty.SAV"), "");
    const std::string path = dir.file("out.zip");
    std::vector<std::string> log;
    std::string error;
    ZipArchive zip;
    ASSERT_TRUE(zip.write(
        path, {{"1C.DAT", dir.file("1C.DAT")}, {"empty.SAV", dir.file("empty.SAV")}},
        [&](const std::string& line) { log.push_back(line); }, &error))
        << error;
    EXPECT_EQ(log.size(), 4u);
    EXPECT_EQ(RunCommand("unzip -t " + ShellQuote(path)).status, 0);
    EXPECT_EQ(RunCommand("unzip -p " + ShellQuote(path) + " 1C.DAT").output, big);
    EXPECT_EQ(RunCommand("unzip -Z1 " + ShellQuote(path)).output, "1C.DAT\nempty.SAV\n");

    auto reader = zip.open(path, &error);
    ASSERT_TRUE(reader) << error;
    ASSERT_EQ(reader->entries().size(), 2u);
    const ArchiveEntry& e = reader->entries()[0];
    EXPECT_EQ(e.name, "1C.DAT");
    EXPECT_EQ(e.size, big.size());
    EXPECT_TRUE(e.deflated);
    EXPECT_FALSE(e.directory || e.link || e.encrypted);
    EXPECT_EQ(ReadAll(*reader, 0, &error), big);
    EXPECT_EQ(ReadAll(*reader, 1, &error), "");
    // A sink that cannot take the bytes fails the read.
    EXPECT_FALSE(reader->read(
        0, [](std::string_view) { return false; }, &error));
    EXPECT_EQ(error, "1C.DAT: the entry's data could not be written.");
    EXPECT_FALSE(reader->read(
        2, [](std::string_view) { return true; }, &error));
}

TEST(ZipArchiveTest, LinksFoldersAndStoredEntriesOfZipAreTold) {
    TempDir dir;
    const std::string src = dir.file("src");
    std::filesystem::create_directories(src + "/sub");
    testing::WriteFileBytes(src + "/a.DAT", "plain");
    std::filesystem::create_symlink("/etc/hostname", src + "/b.DAT");
    const std::string path = dir.file("made.zip");
    ASSERT_EQ(RunCommand("cd " + ShellQuote(src) + " && zip -q -0 -y -r " + ShellQuote(path) +
                         " a.DAT b.DAT sub")
                  .status,
              0);
    ZipArchive zip;
    std::string error;
    auto reader = zip.open(path, &error);
    ASSERT_TRUE(reader) << error;
    ASSERT_EQ(reader->entries().size(), 3u);
    const auto& e = reader->entries();
    EXPECT_EQ(e[0].name, "a.DAT");
    EXPECT_TRUE(e[0].stored);
    EXPECT_FALSE(e[0].link || e[0].directory);
    EXPECT_EQ(ReadAll(*reader, 0, &error), "plain");
    EXPECT_EQ(e[1].name, "b.DAT");
    EXPECT_TRUE(e[1].link);
    EXPECT_EQ(e[2].name, "sub/");
    EXPECT_TRUE(e[2].directory);
}

// Replaces every occurrence of from by to (of the same length) in the file.
void Patch(const std::string& path, const std::string& from, const std::string& to) {
    std::string bytes = testing::ReadFileBytes(path);
    for (std::size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at))
        bytes.replace(at, from.size(), to);
    testing::WriteFileBytes(path, bytes);
}

TEST(ZipArchiveTest, ANulInsideANameIsGivenAsStoredNotAsABlank) {
    TempDir dir;
    const std::string src = dir.file("src");
    std::filesystem::create_directories(src);
    testing::WriteFileBytes(src + "/aQb.LST", "list");
    testing::WriteFileBytes(src + "/plain.DAT", "data");
    testing::WriteFileBytes(src + "/c d.RTF", "letter");
    const std::string path = dir.file("nul.zip");
    ASSERT_EQ(RunCommand("cd " + ShellQuote(src) + " && zip -q " + ShellQuote(path) +
                         " aQb.LST plain.DAT 'c d.RTF'")
                  .status,
              0);
    // The same behind bytes put in front of the archive and with a comment after it.
    const std::string wrapped = dir.file("wrapped.zip");
    testing::WriteFileBytes(wrapped, std::string(5000, 'S') + testing::ReadFileBytes(path));
    ASSERT_EQ(RunCommand("zip -q -A " + ShellQuote(wrapped)).status, 0);
    ASSERT_EQ(RunCommand("echo 'a comment' | zip -q -z " + ShellQuote(wrapped)).status, 0);
    const std::string expected("a\0b.LST", 7);
    ZipArchive zip;
    for (const std::string& archive : {path, wrapped}) {
        Patch(archive, "aQb.LST", expected);
        std::string error;
        auto reader = zip.open(archive, &error);
        ASSERT_TRUE(reader) << error;
        ASSERT_EQ(reader->entries().size(), 3u);
        EXPECT_EQ(reader->entries()[0].name, expected) << archive;
        EXPECT_EQ(reader->entries()[1].name, "plain.DAT");
        // A real blank stays a blank.
        EXPECT_EQ(reader->entries()[2].name, "c d.RTF");
        EXPECT_EQ(ReadAll(*reader, 1, &error), "data");
    }
}

TEST(ZipArchiveTest, FailuresNameWhatFailedAndLeaveNoArchive) {
    TempDir dir;
    ZipArchive zip;
    std::string error;
    testing::WriteFileBytes(dir.file("a.DAT"), "x");
    const std::string path = dir.file("out.zip");
    EXPECT_FALSE(zip.write(path, {{"a.DAT", dir.file("a.DAT")}, {"b.DAT", dir.file("gone.DAT")}},
                           {}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(
        zip.write(dir.file("no/such/out.zip"), {{"a.DAT", dir.file("a.DAT")}}, {}, &error));
    EXPECT_FALSE(std::filesystem::exists(dir.file("no")));

    EXPECT_FALSE(zip.open(dir.file("missing.zip"), &error));
    EXPECT_NE(error.find("missing.zip cannot be read"), std::string::npos) << error;
    testing::WriteFileBytes(dir.file("text.zip"), "this is not an archive");
    EXPECT_FALSE(zip.open(dir.file("text.zip"), &error));
}

}  // namespace
}  // namespace invarro::platform::zip
