// Data files, record operations, the engine status and the file formats on disk.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <sys/resource.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "EngineFixture.h"
#include "storage/Bytes.h"
#include "storage/EngineInternal.h"
#include "storage/Verify.h"

namespace invarro::storage {
namespace {

using invarro::testing::ReadFileBytes;
using invarro::testing::WriteFileBytes;

int32_t headerInt(const std::string& file, int offset) {
    std::string b = ReadFileBytes(file);
    return rd32(reinterpret_cast<const uint8_t*>(b.data()) + offset);
}

TEST_F(EngineTest, NewFileblockIsEmptyAndHasTheHeaderOnDisk) {
    Fileblock* fb = createOpen(40, {});
    EXPECT_EQ(UsedRecordCount(fb), 0);
    EXPECT_EQ(RecordSlotCount(fb), 1);
    EXPECT_EQ(RecordLength(fb), 40);
    NextUsedRecord(fb, 0);
    EXPECT_EQ(EngineError, err::NoMoreRecords);
    EXPECT_EQ(ErrorClass(), 1);
    PrevUsedRecord(fb, 5);
    EXPECT_EQ(EngineError, err::NoMoreRecords);
    CloseFileblock(fb);
    EXPECT_EQ(fb, nullptr);

    std::string bytes = ReadFileBytes(name() + ".DAT");
    ASSERT_EQ(bytes.size(), 40u);
    std::string expected(40, '\0');
    wr32(reinterpret_cast<uint8_t*>(expected.data()), -1);
    wr32(reinterpret_cast<uint8_t*>(expected.data()) + 12, 40);
    EXPECT_EQ(bytes, expected);
    // Without keys there is no index file.
    EXPECT_FALSE(std::filesystem::exists(name() + ".IX"));
}

TEST_F(EngineTest, DeletedSlotsAreReusedLastInFirstOut) {
    Fileblock* fb = createOpen(30, {});
    std::string r = record(30, "x");
    EXPECT_EQ(AddRecord(fb, r.data()), 1);
    EXPECT_EQ(AddRecord(fb, r.data()), 2);
    DeleteRecord(fb, 1);
    EXPECT_EQ(AddRecord(fb, r.data()), 1);
    for (int i = 3; i <= 6; ++i)
        EXPECT_EQ(AddRecord(fb, r.data()), i);
    DeleteRecord(fb, 3);
    DeleteRecord(fb, 5);
    EXPECT_EQ(UsedRecordCount(fb), 4);
    EXPECT_EQ(AddRecord(fb, r.data()), 5);
    EXPECT_EQ(AddRecord(fb, r.data()), 3);
    EXPECT_EQ(AddRecord(fb, r.data()), 7);
    CloseFileblock(fb);
    EXPECT_EQ(headerInt(name() + ".DAT", 0), -1);  // chain empty again
    EXPECT_EQ(headerInt(name() + ".DAT", 4), 0);
    EXPECT_EQ(headerInt(name() + ".DAT", 8), 7);
}

TEST_F(EngineTest, DeletedRecordKeepsItsBytesAndLinksTheChain) {
    Fileblock* fb = createOpen(30, {});
    std::string r = record(30, "abcdef");
    AddRecord(fb, r.data());
    AddRecord(fb, r.data());
    DeleteRecord(fb, 1);
    DeleteRecord(fb, 2);
    std::string got(30, '\0');
    GetRecord(fb, 2, got.data());  // a deleted slot is returned as it is
    EXPECT_TRUE(EngineOk);
    EXPECT_EQ(rd32(reinterpret_cast<uint8_t*>(got.data())), 1);
    EXPECT_EQ(got.substr(4, 6), "abcdef");
    GetRecord(fb, 1, got.data());
    EXPECT_EQ(rd32(reinterpret_cast<uint8_t*>(got.data())), -1);
    CloseFileblock(fb);
    EXPECT_EQ(headerInt(name() + ".DAT", 0), 2);
    EXPECT_EQ(headerInt(name() + ".DAT", 4), 2);
    EXPECT_TRUE(CheckFileblock(name()).empty());
}

TEST_F(EngineTest, DeletingADeletedSlotIsRefusedAndChangesNothing) {
    Fileblock* fb = createOpen(30, {});
    std::string r = record(30, "x");
    AddRecord(fb, r.data());
    AddRecord(fb, r.data());
    DeleteRecord(fb, 2);
    DeleteRecord(fb, 1);
    std::string before = ReadFileBytes(name() + ".DAT");
    DeleteRecord(fb, 2);
    EXPECT_EQ(EngineError, err::BadDeleteRecord);
    EXPECT_EQ(ReadFileBytes(name() + ".DAT"), before);
    EXPECT_EQ(UsedRecordCount(fb), 0);
    EXPECT_EQ(AddRecord(fb, r.data()), 1);
    EXPECT_EQ(AddRecord(fb, r.data()), 2);
    EXPECT_EQ(AddRecord(fb, r.data()), 3);
    CloseFileblock(fb);
    EXPECT_TRUE(CheckFileblock(name()).empty());
}

TEST_F(EngineTest, RecordNumbersOutsideTheFileAreRefused) {
    Fileblock* fb = createOpen(30, {});
    std::string r = record(30, "x");
    AddRecord(fb, r.data());
    PutRecord(fb, 0, r.data());
    EXPECT_EQ(EngineError, err::PutRecordZero);
    PutRecord(fb, 2, r.data());
    EXPECT_EQ(EngineError, err::PutRecordZero);
    DeleteRecord(fb, 2);
    EXPECT_EQ(EngineError, err::BadDeleteRecord);
    DeleteRecord(fb, 0);
    EXPECT_EQ(EngineError, err::BadDeleteRecord);
    std::string got(30, '\0');
    GetRecord(fb, 2, got.data());
    EXPECT_EQ(EngineError, err::ShortRead);
    GetRecord(fb, -1, got.data());
    EXPECT_EQ(EngineError, err::ShortRead);
    CloseFileblock(fb);
}

TEST_F(EngineTest, ScanSkipsSlotsWhoseMarkIsNotZero) {
    Fileblock* fb = createOpen(30, {});
    std::string r = record(30, "x");
    for (int i = 0; i < 5; ++i)
        AddRecord(fb, r.data());
    std::string odd = r;
    odd[0] = 7;  // a live record must keep its first four bytes 0
    PutRecord(fb, 2, odd.data());
    DeleteRecord(fb, 4);
    std::vector<int32_t> seen;
    for (int32_t n = NextUsedRecord(fb, 0); EngineOk; n = NextUsedRecord(fb, n))
        seen.push_back(n);
    EXPECT_EQ(EngineError, err::NoMoreRecords);
    EXPECT_EQ(seen, (std::vector<int32_t>{1, 3, 5}));
    seen.clear();
    for (int32_t n = PrevUsedRecord(fb, 1000); EngineOk; n = PrevUsedRecord(fb, n))
        seen.push_back(n);
    EXPECT_EQ(seen, (std::vector<int32_t>{5, 3, 1}));
    EXPECT_EQ(NextUsedRecord(fb, -10), 1);
    CloseFileblock(fb);
}

TEST_F(EngineTest, UpdateFlagIsWrittenAloneOnFirstChangeAndClearedAtClose) {
    Fileblock* fb = createOpen(30, {{10, false}});
    std::string file = name() + ".DAT";
    std::string r = record(30, "x");
    EXPECT_EQ(ReadFileBytes(file)[20], 0);
    AddRecord(fb, r.data());
    std::string open = ReadFileBytes(file);
    EXPECT_EQ(open[20], 1);
    // The counters stay as they were until the close.
    EXPECT_EQ(rd32(reinterpret_cast<const uint8_t*>(open.data()) + 8), 0);
    CloseFileblock(fb);
    std::string closed = ReadFileBytes(file);
    EXPECT_EQ(closed[20], 0);
    EXPECT_EQ(rd32(reinterpret_cast<const uint8_t*>(closed.data()) + 8), 1);

    // PutRecord alone does not count as a change; a key change does.
    fb = OpenFileblock(name(), false);
    PutRecord(fb, 1, r.data());
    EXPECT_EQ(ReadFileBytes(file)[20], 0);
    AddKey(fb, 1, 1, "A");
    EXPECT_EQ(ReadFileBytes(file)[20], 1);
    CloseFileblock(fb);
}

TEST_F(EngineTest, FileblockLeftOpenByACrashIsRefusedUntilRebuilt) {
    Fileblock* fb = createOpen(30, {{10, false}});
    std::string r = record(30, "x");
    AddRecord(fb, r.data());
    // Simulate the end of the process: keep the files as they are now on disk.
    std::string dat = ReadFileBytes(name() + ".DAT");
    std::string ix = ReadFileBytes(name() + ".IX");
    CloseFileblock(fb);
    WriteFileBytes(name() + ".DAT", dat);
    WriteFileBytes(name() + ".IX", ix);

    fb = OpenFileblock(name(), false);
    EXPECT_EQ(fb, nullptr);
    EXPECT_EQ(EngineError, err::IndexDefective);
    EXPECT_TRUE(OpenList().empty());
    // Nothing stays locked: the files can be opened directly.
    int fd = ::open((name() + ".DAT").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
    fb = OpenFileblock(name(), true);
    EXPECT_EQ(EngineError, err::IndexDefective);
}

TEST_F(EngineTest, CreateRejectsBadDefinitionsAndLeavesNoFiles) {
    KeyDescriptor k31[] = {{31, false}};
    KeyDescriptor k0[] = {{0, false}};
    std::vector<KeyDescriptor> many(101, KeyDescriptor{5, false});
    CreateFileblock(name(), 20, 0, nullptr);
    EXPECT_EQ(EngineError, err::RecordTooShort);
    CreateFileblock(name(), 40, 101, many.data());
    EXPECT_EQ(EngineError, err::TooManyKeysCreate);
    CreateFileblock(name(), 40, 1, k31);
    EXPECT_EQ(EngineError, err::BadKeyLength);
    CreateFileblock(name(), 40, 1, k0);
    EXPECT_EQ(EngineError, err::BadKeyLength);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    CreateFileblock(name(), 40, 100, many.data());
    EXPECT_TRUE(EngineOk);
    Fileblock* fb = OpenFileblock(name(), false);
    EXPECT_TRUE(EngineOk);
    std::string r = record(40, "x");
    AddRecord(fb, r.data());
    AddKey(fb, 100, 1, "ABCDE");
    EXPECT_TRUE(EngineOk);
    AddKey(fb, 101, 1, "A");
    EXPECT_EQ(EngineError, err::BadKeyNumber);
    AddKey(fb, 0, 1, "A");
    EXPECT_EQ(EngineError, err::BadKeyNumber);
    CloseFileblock(fb);
    EXPECT_TRUE(CheckFileblock(name()).empty());
}

TEST_F(EngineTest, CreateReplacesExistingFilesOfTheName) {
    Fileblock* fb = createOpen(30, {{4, false}});
    std::string r = record(30, "x");
    AddRecord(fb, r.data());
    CloseFileblock(fb);
    WriteFileBytes(name() + ".DIA", "old");
    CreateFileblock(name(), 50, 0, nullptr);
    EXPECT_FALSE(std::filesystem::exists(name() + ".IX"));
    EXPECT_FALSE(std::filesystem::exists(name() + ".DIA"));
    EXPECT_EQ(ReadFileBytes(name() + ".DAT").size(), 50u);
}

TEST_F(EngineTest, OperationsCheckTheHandleAndTheEngine) {
    Fileblock* none = nullptr;
    std::string r(30, '\0');
    AddRecord(none, r.data());
    EXPECT_EQ(EngineError, err::InvalidHandle);
    GetRecord(none, 1, r.data());
    EXPECT_EQ(EngineError, err::InvalidHandle);
    UsedRecordCount(none);
    EXPECT_EQ(EngineError, err::InvalidHandle);
    std::string key;
    int32_t rec = 0;
    NextKey(none, 1, key, rec);
    EXPECT_EQ(EngineError, err::InvalidHandle);
    CloseFileblock(none);
    EXPECT_EQ(EngineError, err::InvalidHandle);
    LockFileblock(none);
    EXPECT_EQ(EngineError, err::InvalidHandle);

    Fileblock* fb = createOpen(30, {});
    LockFileblock(fb);
    EXPECT_TRUE(EngineOk);
    UnlockFileblock(fb);
    EXPECT_TRUE(EngineOk);
    EXPECT_TRUE(IsFileblockOpen(fb));
    CloseFileblock(fb);

    ExitEngine();
    EXPECT_TRUE(EngineOk);
    ExitEngine();
    EXPECT_EQ(EngineError, err::NotStarted);
    OpenFileblock(name(), false);
    EXPECT_EQ(EngineError, err::NotStarted);
    CreateFileblock(name("U"), 30, 0, nullptr);
    EXPECT_EQ(EngineError, err::NotStarted);
    EXPECT_FALSE(IsFileblockOpen(nullptr));
    EXPECT_EQ(EngineError, err::NotStarted);

    EXPECT_EQ(InitEngine(7), 0);
    EXPECT_EQ(EngineError, err::TooFewBuffers);
    EXPECT_EQ(InitEngine(8), 8);
    EXPECT_EQ(InitEngine(8), 0);
    EXPECT_EQ(EngineError, err::AlreadyStarted);
}

TEST_F(EngineTest, PoolFloorRaisesTheBufferCount) {
    ExitEngine();
    SetPoolFloor(64);
    EXPECT_EQ(InitEngine(30), 64);
    ExitEngine();
    SetPoolFloor(0);
    EXPECT_EQ(InitEngine(30), 30);
}

TEST_F(EngineTest, ExitEngineClosesEveryOpenFileblock) {
    Fileblock* a = createOpen(30, {{5, false}}, "A");
    Fileblock* b = createOpen(30, {}, "B");
    std::string r = record(30, "x");
    AddRecord(a, r.data());
    AddKey(a, 1, 1, "K");
    AddRecord(b, r.data());
    ExitEngine();
    EXPECT_TRUE(EngineOk);
    EXPECT_FALSE(EngineStarted());
    EXPECT_EQ(ReadFileBytes(name("A") + ".DAT")[20], 0);
    EXPECT_EQ(headerInt(name("B") + ".DAT", 8), 1);
    EXPECT_TRUE(CheckFileblock(name("A")).empty());
}

TEST_F(EngineTest, ReadOnlyFileblocksRefuseChanges) {
    Fileblock* fb = createOpen(30, {{5, true}});
    std::string r = record(30, "x");
    AddRecord(fb, r.data());
    AddKey(fb, 1, 1, "K");
    CloseFileblock(fb);
    std::string before = ReadFileBytes(name() + ".DAT");
    fb = OpenFileblock(name(), true);
    ASSERT_TRUE(EngineOk);
    AddRecord(fb, r.data());
    EXPECT_EQ(EngineError, err::ReadOnly);
    EXPECT_EQ(ErrorClass(), 2);
    PutRecord(fb, 1, r.data());
    EXPECT_EQ(EngineError, err::ReadOnly);
    DeleteRecord(fb, 1);
    EXPECT_EQ(EngineError, err::ReadOnly);
    AddKey(fb, 1, 2, "L");
    EXPECT_EQ(EngineError, err::ReadOnly);
    DeleteKey(fb, 1, 1, "K");
    EXPECT_EQ(EngineError, err::ReadOnly);
    std::string key;
    EXPECT_EQ(FindKeyAtOrAfter(fb, 1, key), 1);
    CloseFileblock(fb);
    EXPECT_EQ(ReadFileBytes(name() + ".DAT"), before);
}

TEST_F(EngineTest, FilesAreOpenedExclusively) {
    Fileblock* fb = createOpen(30, {{5, false}});
    Fileblock* second = OpenFileblock(name(), false);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(EngineError, err::OsOther);
    EXPECT_EQ(OsError, EWOULDBLOCK);
    EXPECT_EQ(OsFunction, osfn::Open);
    second = OpenFileblock(name(), true);
    EXPECT_EQ(EngineError, err::OsReadOnly);
    EXPECT_EQ(ErrorClass(), 2);
    CloseFileblock(fb);
    second = OpenFileblock(name(), true);
    EXPECT_TRUE(EngineOk);
    CloseFileblock(second);
}

TEST_F(EngineTest, MissingFilesAreReportedByKind) {
    OpenFileblock(name("NONE"), false);
    EXPECT_EQ(EngineError, err::FileNotFound);
    EXPECT_EQ(ErrorClass(), 1);
    EXPECT_EQ(OsError, ENOENT);
    EXPECT_EQ(OsFunction, osfn::Open);
    OpenFileblock(dir.file("nofolder/T"), false);
    EXPECT_EQ(EngineError, err::PathNotFound);
    CreateFileblock(dir.file("nofolder/T"), 30, 0, nullptr);
    EXPECT_EQ(EngineError, err::PathNotFound);
    DeleteFileblock(name("NONE"));
    EXPECT_EQ(EngineError, err::FileNotFound);

    Fileblock* fb = createOpen(30, {{5, false}});
    CloseFileblock(fb);
    std::filesystem::remove(name() + ".IX");
    OpenFileblock(name(), false);
    EXPECT_EQ(EngineError, err::IndexDefective);
    EXPECT_EQ(ErrorClass(), 4);
}

TEST_F(EngineTest, OpenFileblocksAreNeitherReplacedNorDeleted) {
    Fileblock* fb = createOpen(30, {{5, false}});
    std::string r = record(30, "keep");
    AddRecord(fb, r.data());
    CreateFileblock(name(), 40, 0, nullptr);
    EXPECT_EQ(EngineError, err::OsOther);
    DeleteFileblock(name());
    EXPECT_EQ(EngineError, err::OsOther);
    EXPECT_TRUE(std::filesystem::exists(name() + ".DAT"));
    EXPECT_TRUE(std::filesystem::exists(name() + ".IX"));
    CloseFileblock(fb);
    EXPECT_TRUE(EngineOk);
    EXPECT_TRUE(CheckFileblock(name()).empty());
}

TEST_F(EngineTest, ScansStartingAtTheExtremesEndCleanly) {
    Fileblock* fb = createOpen(30, {});
    std::string r = record(30, "x");
    AddRecord(fb, r.data());
    NextUsedRecord(fb, INT32_MAX);
    EXPECT_EQ(EngineError, err::NoMoreRecords);
    PrevUsedRecord(fb, INT32_MIN);
    EXPECT_EQ(EngineError, err::NoMoreRecords);
    EXPECT_EQ(PrevUsedRecord(fb, INT32_MAX), 1);
    CloseFileblock(fb);
}

TEST_F(EngineTest, DeleteFileblockRemovesAllItsFiles) {
    Fileblock* fb = createOpen(30, {{5, false}});
    CloseFileblock(fb);
    WriteFileBytes(name() + ".DIA", "x");
    DeleteFileblock(name());
    EXPECT_TRUE(EngineOk);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(EngineTest, DamagedHeadersAreRefusedAtOpen) {
    Fileblock* fb = createOpen(30, {{5, false}, {10, true}});
    CloseFileblock(fb);
    const std::string dat = ReadFileBytes(name() + ".DAT");
    const std::string ix = ReadFileBytes(name() + ".IX");
    auto withByte = [](std::string s, size_t at, uint8_t v) {
        s[at] = char(v);
        return s;
    };
    auto with16 = [](std::string s, size_t at, int16_t v) {
        wr16(reinterpret_cast<uint8_t*>(s.data()) + at, v);
        return s;
    };
    auto with32 = [](std::string s, size_t at, int32_t v) {
        wr32(reinterpret_cast<uint8_t*>(s.data()) + at, v);
        return s;
    };
    struct Case {
        std::string dat, ix;
        int32_t error;
    } cases[] = {
        {withByte(dat, 16, 101), ix, err::TooManyKeysHeader},
        {dat, with16(ix, 26, 63), err::IndexItemsPerPage},
        {dat, with32(ix, 12, 6 + 62 * 14 + 1), err::IndexPageSize},
        {dat, with32(ix, 12, 6 + 62 * 40), err::IndexKeyLength},
    };
    for (const Case& c : cases) {
        WriteFileBytes(name() + ".DAT", c.dat);
        WriteFileBytes(name() + ".IX", c.ix);
        EXPECT_EQ(OpenFileblock(name(), false), nullptr);
        EXPECT_EQ(EngineError, c.error);
        EXPECT_TRUE(OpenList().empty());
    }
    // A stored 0 items per page reads as 62.
    WriteFileBytes(name() + ".DAT", dat);
    WriteFileBytes(name() + ".IX", with16(ix, 26, 0));
    fb = OpenFileblock(name(), false);
    EXPECT_TRUE(EngineOk);
    CloseFileblock(fb);
}

TEST_F(EngineTest, CorruptDeletedChainIsDetectedOnAdd) {
    Fileblock* fb = createOpen(30, {});
    std::string r = record(30, "x");
    AddRecord(fb, r.data());
    AddRecord(fb, r.data());
    DeleteRecord(fb, 1);
    CloseFileblock(fb);
    std::string dat = ReadFileBytes(name() + ".DAT");
    // Head beyond H.
    std::string bad = dat;
    wr32(reinterpret_cast<uint8_t*>(bad.data()), 9);
    WriteFileBytes(name() + ".DAT", bad);
    fb = OpenFileblock(name(), false);
    AddRecord(fb, r.data());
    EXPECT_EQ(EngineError, err::ChainCorrupt);
    CloseFileblock(fb);
    // Head pointing at a live record (mark 0).
    bad = dat;
    wr32(reinterpret_cast<uint8_t*>(bad.data()), 2);
    WriteFileBytes(name() + ".DAT", bad);
    fb = OpenFileblock(name(), false);
    AddRecord(fb, r.data());
    EXPECT_EQ(EngineError, err::ChainCorrupt);
    CloseFileblock(fb);
}

TEST_F(EngineTest, RunningOutOfFileHandlesIsReportedAsSuch) {
    Fileblock* fb = createOpen(30, {{5, false}});
    CloseFileblock(fb);
    int probe = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(probe, 0);
    ::close(probe);
    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(probe) + 1;  // room for the data file only
    ::setrlimit(RLIMIT_NOFILE, &tight);
    fb = OpenFileblock(name(), false);
    int32_t error = EngineError;
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(fb, nullptr);
    EXPECT_EQ(error, err::TooManyFiles);
    EXPECT_TRUE(OpenList().empty());
}

TEST_F(EngineTest, ScanOfAFileCutShortReportsAReadError) {
    Fileblock* fb = createOpen(30, {});
    std::string r = record(30, "x");
    for (int i = 0; i < 10; ++i)
        AddRecord(fb, r.data());
    CloseFileblock(fb);
    // The header still counts ten records; the file now ends inside record 5.
    ASSERT_EQ(::truncate((name() + ".DAT").c_str(), 30 * 5 + 2), 0);
    fb = OpenFileblock(name(), false);
    int32_t n = 0, seen = 0;
    for (n = NextUsedRecord(fb, 0); EngineOk; n = NextUsedRecord(fb, n))
        ++seen;
    EXPECT_EQ(seen, 4);
    EXPECT_EQ(EngineError, err::ScanReadError);
    EXPECT_EQ(ErrorClass(), 2);
    CloseFileblock(fb);
}

TEST_F(EngineTest, FileNamesFollowTheFolderAndExtensionRules) {
    EXPECT_EQ(DataFileName("/data/CUST"), "/data/CUST.DAT");
    EXPECT_EQ(IndexFileName("/data/CUST"), "/data/CUST.IX");
    EXPECT_EQ(DataFileName("/data/CUST.X;/idx/CUST"), "/data/CUST.DAT");
    EXPECT_EQ(IndexFileName("/data/CUST.X;/idx/CUST"), "/idx/CUST.IX");
    EXPECT_EQ(DataFileName("/a.b/CUST"), "/a.b/CUST.DAT");
    EXPECT_EQ(DataFileName("CUST.OLD.DAT"), "CUST.OLD.DAT");
    EXPECT_EQ(FileNameWithExtension("1C", "SAV"), "1C.SAV");
    // The name rules apply to the last path component, which is cut to 64 characters by
    // shortening its stem: the files of one fileblock never share a name.
    std::string longBase(70, 'N');
    EXPECT_EQ(DataFileName("/x/" + longBase), "/x/" + std::string(60, 'N') + ".DAT");
    EXPECT_EQ(IndexFileName("/x/" + longBase), "/x/" + std::string(61, 'N') + ".IX");
    for (size_t len : {61u, 62u, 63u, 64u}) {
        std::string base(len, 'N');
        EXPECT_NE(DataFileName(base), IndexFileName(base)) << len;
        EXPECT_NE(DataFileName(base), FileNameWithExtension(base, "DIA")) << len;
    }

    // Two-part names open the index file from the other folder.
    std::filesystem::create_directory(dir.file("idx"));
    std::string two = dir.file("T.X") + ";" + dir.file("idx/T");
    KeyDescriptor k[] = {{5, false}};
    CreateFileblock(two, 30, 1, k);
    EXPECT_TRUE(std::filesystem::exists(dir.file("T.DAT")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("idx/T.IX")));
    Fileblock* fb = OpenFileblock(two, false);
    EXPECT_TRUE(EngineOk);
    CloseFileblock(fb);
}

TEST_F(EngineTest, ErrorClassesFollowTheTable) {
    struct {
        int32_t error;
        int cls;
    } table[] = {{0, 0},     {9903, 1},  {10210, 1}, {10299, 1}, {10410, 1}, {9900, 2},
                 {10065, 2}, {10390, 2}, {10397, 2}, {10399, 2}, {10001, 3}, {10009, 3},
                 {10010, 4}, {10140, 4}, {10445, 4}, {9901, 4},  {10170, 4}};
    for (auto& t : table)
        EXPECT_EQ(ErrorClassOf(t.error), t.cls) << t.error;
}

TEST_F(EngineTest, RecordRunsReadConsecutiveSlotsUpToTheHighestRecord) {
    Fileblock* fb = createOpen(30, {});
    for (int i = 1; i <= 7; ++i)
        AddRecord(fb, record(30, "r" + std::to_string(i)).data());
    DeleteRecord(fb, 3);
    std::string buf(30 * 5, '\0');
    // Deleted slots come with the rest, their mark set.
    EXPECT_EQ(GetRecordRun(fb, 2, 5, buf.data()), 5);
    EXPECT_TRUE(EngineOk);
    EXPECT_EQ(buf.substr(4, 2), "r2");
    EXPECT_NE(rd32(reinterpret_cast<const uint8_t*>(buf.data()) + 30), 0);
    EXPECT_EQ(buf.substr(30 * 4 + 4, 2), "r6");
    // A run stops at the highest record, and past it there is nothing more.
    EXPECT_EQ(GetRecordRun(fb, 6, 5, buf.data()), 2);
    EXPECT_EQ(buf.substr(30 + 4, 2), "r7");
    EXPECT_EQ(GetRecordRun(fb, 8, 5, buf.data()), 0);
    EXPECT_EQ(EngineError, err::NoMoreRecords);
    EXPECT_EQ(GetRecordRun(fb, 0, 5, buf.data()), 0);
    EXPECT_FALSE(EngineOk);
    EXPECT_EQ(GetRecordRun(fb, 1, 0, buf.data()), 0);
    EXPECT_FALSE(EngineOk);
    CloseFileblock(fb);

    // The header still counts seven records; the file now ends inside record 4.
    ASSERT_EQ(::truncate((name() + ".DAT").c_str(), 30 * 4 + 2), 0);
    fb = OpenFileblock(name(), false);
    EXPECT_EQ(GetRecordRun(fb, 1, 5, buf.data()), 3);
    EXPECT_TRUE(EngineOk);
    EXPECT_EQ(GetRecordRun(fb, 4, 5, buf.data()), 0);
    EXPECT_EQ(EngineError, err::ScanReadError);
    CloseFileblock(fb);
}

TEST_F(EngineTest, InjectedFaultsFailTheChosenCallOnly) {
    Fileblock* fb = createOpen(30, {});
    std::string r = record(30, "x");
    InjectFault(EngineOp::AddRecord, 2, 10110);
    EXPECT_EQ(AddRecord(fb, r.data()), 1);
    EXPECT_EQ(AddRecord(fb, r.data()), 0);
    EXPECT_EQ(EngineError, 10110);
    EXPECT_EQ(ErrorClass(), 2);
    EXPECT_EQ(AddRecord(fb, r.data()), 2);
    EXPECT_EQ(EngineOpCalls(EngineOp::AddRecord), 3);
    CloseFileblock(fb);
}

TEST_F(EngineTest, RecordsSurviveCloseAndReopenAcrossCacheChunks) {
    // Records of an odd length straddle the read cache's chunks.
    const int len = 333;
    Fileblock* fb = createOpen(len, {});
    for (int i = 1; i <= 500; ++i) {
        std::string r =
            record(len, "rec" + std::to_string(i) + std::string(300, char('a' + i % 26)));
        ASSERT_EQ(AddRecord(fb, r.data()), i);
    }
    std::string got(size_t(len), '\0');
    GetRecord(fb, 37, got.data());
    std::string r = record(len, "changed");
    PutRecord(fb, 37, r.data());
    GetRecord(fb, 37, got.data());
    EXPECT_EQ(got, r);
    CloseFileblock(fb);
    fb = OpenFileblock(name(), false);
    for (int i = 1; i <= 500; ++i) {
        GetRecord(fb, i, got.data());
        std::string want =
            i == 37 ? r
                    : record(len, "rec" + std::to_string(i) + std::string(300, char('a' + i % 26)));
        ASSERT_EQ(got, want) << i;
    }
    EXPECT_EQ(UsedRecordCount(fb), 500);
    CloseFileblock(fb);
}

// The data file is read through a memory map that is extended as the file grows; every
// write must be visible to the next read at once, and bytes past the end of the file must
// fail as a short read (never be touched through the map).
TEST_F(EngineTest, RecordFileReadsFollowWritesAndStopAtTheEnd) {
    RecordFile f;
    const std::string file = dir.file("RF.DAT");
    ASSERT_TRUE(f.open(file, false, true));
    std::string got(100, '\0');
    EXPECT_FALSE(f.read(0, got.data(), 1));
    EXPECT_EQ(EngineError, err::ShortRead);

    // Read each piece right after writing it, across several extensions of the map.
    const int pieces = 40000;  // 4 MB of 100-byte pieces
    for (int i = 0; i < pieces; ++i) {
        std::string piece(100, char('a' + i % 26));
        std::snprintf(piece.data(), 12, "%010d", i);
        ASSERT_TRUE(f.write(int64_t(i) * 100, piece.data(), piece.size())) << i;
        ResetStatus();
        ASSERT_TRUE(f.read(int64_t(i) * 100, got.data(), got.size())) << i;
        ASSERT_EQ(got, piece) << i;
        if (i % 997 == 0) {  // an earlier piece, rewritten, reads back new at once
            std::string again(100, 'Z');
            ASSERT_TRUE(f.write(int64_t(i / 2) * 100, again.data(), again.size()));
            ASSERT_TRUE(f.read(int64_t(i / 2) * 100, got.data(), got.size()));
            ASSERT_EQ(got, again) << i;
        }
    }
    const int64_t size = int64_t(pieces) * 100;
    ResetStatus();
    EXPECT_FALSE(f.read(size - 50, got.data(), 100));  // straddles the end
    EXPECT_EQ(EngineError, err::ShortRead);
    ResetStatus();
    EXPECT_FALSE(f.read(size + 4096 * 10, got.data(), 4));  // inside the map, past the end
    EXPECT_EQ(EngineError, err::ShortRead);

    // After a cut the bytes beyond it are gone for reads, and come back when written again.
    ResetStatus();
    ASSERT_TRUE(f.truncate(1000));
    EXPECT_FALSE(f.read(1000, got.data(), 1));
    EXPECT_EQ(EngineError, err::ShortRead);
    ResetStatus();
    ASSERT_TRUE(f.read(900, got.data(), 100));
    std::string tail(100, 'q');
    ASSERT_TRUE(f.write(500000, tail.data(), tail.size()));
    ASSERT_TRUE(f.read(500000, got.data(), 100));
    EXPECT_EQ(got, tail);
    ASSERT_TRUE(f.read(1000, got.data(), 100));  // the gap reads as zeros
    EXPECT_EQ(got, std::string(100, '\0'));
    ASSERT_TRUE(f.close());

    // A file opened read-only is read the same way.
    ASSERT_TRUE(f.open(file, true, false));
    ASSERT_TRUE(f.read(500000, got.data(), 100));
    EXPECT_EQ(got, tail);
    EXPECT_FALSE(f.read(500050, got.data(), 100));
    EXPECT_EQ(EngineError, err::ShortRead);
    ASSERT_TRUE(f.close());
}

}  // namespace
}  // namespace invarro::storage
