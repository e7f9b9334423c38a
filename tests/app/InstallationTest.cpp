// A new installation read back byte by byte, and invarro --init as a program.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "app/Installation.h"
#include "data/Keys.h"
#include "data/SideFiles.h"
#include "storage/BTree.h"
#include "storage/Engine.h"
#include "storage/Verify.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::app {
namespace {

using invarro::testing::ReadFileBytes;
using invarro::testing::ScriptedPrompter;
using invarro::testing::TempDir;
using invarro::testing::WriteFileBytes;

// Every value a new company is given, at its offset in the 2736-byte record, written
// out independently of the layout table.
struct Expected {
    int offset;
    std::string bytes;
};
std::string T(const std::string& s) {
    return std::string(1, char(s.size())) + s;
}
std::string B(int v) {
    return std::string(1, char(v));
}
std::string I(uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
const std::vector<Expected> kNewCompany = {
    {0, I(0)},
    {4, T("")},
    {40, T("1")},
    {46, T("0.00")},
    {57, T("")},
    {93, T("")},
    {129, T("")},
    {165, T("")},
    {201, T("")},
    {237, T("Arial")},
    {272, I(10)},
    {276, I(0xFF0000)},
    {280, B(1)},
    {281, B(1)},
    {282, T("background.bmp")},
    {533, T("")},
    {612, T("")},
    {691, T("")},
    {770, T("")},
    {849, T("1000")},
    {859, T("1.00")},
    {869, B(0)},
    {871, B(1)},
    {874, T("0.000")},
    {881, T("Net 30 Days")},
    {917, T("M")},
    {919, T("N")},
    {921, T("1")},
    {933, T(" ")},
    {951, T("P")},
    {953, B(1)},
    {954, T("Courier New")},
    {996, I(10)},
    {1000, I(0)},
    {1004, B(0)},
    {1026, B(0)},
    {1027, T("")},
    {1490, T(" ")},
    {1571, B(0)},
    {1572, B(0)},
    {1573, B(1)},
    {1956, T(" ")},
    {1967, T(" ")},
    {1978, T(" ")},
    {2127, T("1")},
    {2129, T("0")},
    {2140, T("Y")},
    {2153, T("N")},
    {2156, T("N")},
    {2159, T("")},
    {2210, T("")},
    {2261, T("")},
    {2312, T("")},
    {2363, T("N")},
    {2548, T("Deliver To:")},
    {2611, T("Y")},
    {2613, T("N")},
    {2615, T("N")},
    {2619, T("$")},
    {2621, T("N")},
    {2623, T("N")},
    {2656, T("D")},
    {2658, T("8")},
    {2667, T("25")},
    {2674, T("30")},
    {2678, T("60")},
    {2682, T("90")},
    {2690, T("Current:")},
    {2701, T("31-60:")},
    {2712, T("61-90:")},
};

class InstallationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        storage::SetPoolFloor(0);
        ASSERT_EQ(storage::InitEngine(30), 30);
    }
    void TearDown() override {
        if (storage::EngineStarted()) storage::ExitEngine();
        storage::SetPoolFloor(4096);
    }
    TempDir dir;
    ScriptedPrompter prompter;
};

TEST_F(InstallationTest, NewInstallationReadBackFieldByField) {
    std::string folder = dir.file("books");
    InstallResult r = CreateInstallation(folder, prompter);
    ASSERT_TRUE(r.ok) << r.message;

    std::string dat = ReadFileBytes(folder + "/Company.DAT");
    ASSERT_EQ(dat.size(), 2u * 2736);
    std::string record = dat.substr(2736);
    for (const Expected& e : kNewCompany)
        EXPECT_EQ(record.substr(size_t(e.offset), e.bytes.size()), e.bytes)
            << "offset " << e.offset;
    EXPECT_EQ(ReadFileBytes(folder + "/LastCo.Dat"), record);

    EXPECT_TRUE(storage::CheckFileblock(folder + "/Company").empty());
    storage::Fileblock* fb = storage::OpenFileblock(folder + "/Company", true);
    ASSERT_TRUE(storage::EngineOk);
    std::string key = "1    ";
    EXPECT_EQ(storage::FindKeyAtOrAfter(fb, 1, key), 1);
    EXPECT_EQ(key, "1    ");
    key.clear();
    EXPECT_EQ(storage::FindKeyAtOrAfter(fb, 2, key), 1);
    EXPECT_EQ(key, std::string(30, ' '));
    EXPECT_EQ(storage::KeyCount(fb, 1), 1);
    storage::CloseFileblock(fb);

    data::TermsList terms = data::LoadTerms(folder);
    EXPECT_FALSE(terms.created);
    EXPECT_EQ(terms.terms, data::BuiltInTerms());
}

TEST_F(InstallationTest, FolderWithAnInstallationIsNotTouched) {
    WriteFileBytes(dir.file("LastCo.Dat"), "old");
    InstallResult r = CreateInstallation(dir.path(), prompter);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("LastCo.Dat"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.file("Company.DAT")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("KRTERMS.DAT")));
    EXPECT_EQ(ReadFileBytes(dir.file("LastCo.Dat")), "old");
}

TEST_F(InstallationTest, CompanyFileWithoutLastCoIsNotOverwritten) {
    WriteFileBytes(dir.file("Company.DAT"), "companies");
    InstallResult r = CreateInstallation(dir.path(), prompter);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(ReadFileBytes(dir.file("Company.DAT")), "companies");
    EXPECT_FALSE(std::filesystem::exists(dir.file("LastCo.Dat")));
}

TEST_F(InstallationTest, ExistingTermsAreKept) {
    WriteFileBytes(dir.file("KRTERMS.DAT"), "Cash Only\r\n");
    ASSERT_TRUE(CreateInstallation(dir.path(), prompter).ok);
    EXPECT_EQ(ReadFileBytes(dir.file("KRTERMS.DAT")), "Cash Only\r\n");
}

TEST_F(InstallationTest, FailureRemovesWhatWasCreated) {
    // KRTERMS.DAT cannot be created: a folder is in its place.
    std::filesystem::create_directory(dir.file("KRTERMS.DAT"));
    InstallResult r = CreateInstallation(dir.path(), prompter);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(std::filesystem::exists(dir.file("Company.DAT")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("Company.IX")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("LastCo.Dat")));
    // and a later run can succeed
    std::filesystem::remove(dir.file("KRTERMS.DAT"));
    EXPECT_TRUE(CreateInstallation(dir.path(), prompter).ok);
}

struct ProgramRun {
    std::string out;
    int status = -1;
};
// Runs the program with the given arguments, and environment settings in front.
ProgramRun Program(const std::string& args, const std::string& environment = "") {
    std::string cmd = environment + " " + std::string(INVARRO_PROGRAM) + " " + args + " 2>&1";
    ProgramRun r;
    FILE* p = ::popen(cmd.c_str(), "r");
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        r.out.append(buf.data(), n);
    r.status = WEXITSTATUS(::pclose(p));
    return r;
}

TEST(InvarroProgram, InitCreatesAnInstallationOnceWithoutAWindow) {
    TempDir dir;
    std::string folder = dir.file("new folder");
    ProgramRun first = Program("--data '" + folder + "' --init");
    EXPECT_EQ(first.status, 0) << first.out;
    EXPECT_EQ(ReadFileBytes(folder + "/LastCo.Dat").size(), 2736u);
    std::string dat = ReadFileBytes(folder + "/Company.DAT");

    ProgramRun second = Program("--data '" + folder + "' --init");
    EXPECT_NE(second.status, 0);
    EXPECT_NE(second.out.find("LastCo.Dat"), std::string::npos) << second.out;
    EXPECT_EQ(ReadFileBytes(folder + "/Company.DAT"), dat);

    // The data folder from the environment.
    std::string envFolder = dir.file("from-env");
    ProgramRun viaEnv = Program("--init", "INVARRO_DATA='" + envFolder + "'");
    EXPECT_EQ(viaEnv.status, 0) << viaEnv.out;
    EXPECT_TRUE(std::filesystem::exists(envFolder + "/LastCo.Dat"));

    // A new installation comes with the background pictures the main window tiles.
    EXPECT_TRUE(std::filesystem::exists(folder + "/background.bmp"));
    EXPECT_TRUE(std::filesystem::exists(folder + "/ztt8.bmp"));
    EXPECT_EQ(Program("--bogus").status, 2);
    EXPECT_EQ(Program("--init --demo").status, 2);
}

}  // namespace
}  // namespace invarro::app
