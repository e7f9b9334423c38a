// The start-up decisions: the company in use, the computer date, the company's date
// order and quote word, and how the main window shows the company.

#include <gtest/gtest.h>

#include "AppFixture.h"
#include "app/Startup.h"
#include "app/TilePicture.h"

namespace invarro::app {
namespace {

using testing::WriteFileBytes;

constexpr const char* kBackgroundMissing =
    "Your selected background bitmap image no longer exists. I will attempt to load a default "
    "background image. You may have moved this program. Use the System Graphics Tab in your "
    "Company Setup to select another background bitmap or to disable it entirely.";

class StartupTest : public AppTest {
  protected:
    void name(const std::string& n) { session.company.setText(Company::Name, n); }
};

TEST_F(StartupTest, DataFilesAreFoundByLastCoDat) {
    EXPECT_TRUE(HasDataFiles(dir.path()));
    EXPECT_FALSE(HasDataFiles(dir.file("elsewhere")));
    // The question names the folder looked in, never "the same directory as the program".
    const platform::Message m = NoDataFilesMessage("/home/ann/books");
    EXPECT_EQ(m.text.rfind("I do not find the billing data files in the data folder\n"
                           "/home/ann/books\n\n",
                           0),
              0u)
        << m.text;
    EXPECT_EQ(m.text.find("same directory"), std::string::npos);
    EXPECT_NE(m.text.find("--data FOLDER"), std::string::npos);
    EXPECT_EQ(m.title, "ZT Invarro");
    EXPECT_EQ(m.buttons, platform::Buttons::YesNo);
    EXPECT_EQ(m.defaultButton, platform::Answer::Yes);
}

TEST_F(StartupTest, CompanyInUseIsRefreshedFromTheCompanyFile) {
    // The company file holds newer settings than LastCo.Dat.
    data::CompanyRecord old = session.company;
    session.company.setText(Company::Name, "Fresh Name");
    session.company.setText(Company::DateFormatCode, "D");
    storeCompany();
    ASSERT_TRUE(data::WriteLastCompany(dir.path(), old));

    auto loaded = LoadCompanyInUse(dir.path(), prompter);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->text(Company::Name), "Fresh Name");
    EXPECT_EQ(loaded->text(Company::DateFormatCode), "D");
}

TEST_F(StartupTest, APasswordTheRecordNoLongerHoldsLeavesTheCopyAtStart) {
    // LastCo.Dat written before the password moved to the keyring.
    data::CompanyRecord old = session.company;
    old.setText(Company::EMailPassword, "Left-Behind-9");
    session.company.setText(Company::EMailPassword, "");
    storeCompany();
    ASSERT_TRUE(data::WriteLastCompany(dir.path(), old));
    auto loaded = LoadCompanyInUse(dir.path(), prompter);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->text(Company::EMailPassword), "");
    EXPECT_EQ(testing::ReadFileBytes(dir.file("LastCo.Dat")).find("Left-Behind-9"),
              std::string::npos);
}

TEST_F(StartupTest, ACompanyGoneFromTheFileKeepsTheLastCoDatCopy) {
    data::CompanyRecord other = session.company;
    other.setText(Company::CompanyNo, "7");
    other.setText(Company::Name, "Seven");
    ASSERT_TRUE(data::WriteLastCompany(dir.path(), other));
    auto loaded = LoadCompanyInUse(dir.path(), prompter);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->text(Company::Name), "Seven") << "not company 1, the next entry";
    EXPECT_FALSE(ReadCompanyByNumber(dir.path(), "7", prompter));
}

TEST_F(StartupTest, ShortOrUnreadableLastCoDat) {
    WriteFileBytes(dir.file("LastCo.Dat"), "short");
    EXPECT_FALSE(LoadCompanyInUse(dir.path(), prompter));
}

TEST_F(StartupTest, ComputerDateBefore2008IsSuspect) {
    EXPECT_TRUE(ComputerDateSuspect(data::Date{2007, 12, 31}));
    EXPECT_FALSE(ComputerDateSuspect(data::Date{2008, 1, 1}));
    EXPECT_FALSE(WarnAboutComputerDate(clock, prompter));
    clock.set(platform::LocalDateTime{1999, 6, 1, 8, 0, 0});
    prompter.expect(
        "The date on your computer appears to be incorrect. This will effect program "
        "calculations. Please verify your computer is using the correct date.");
    EXPECT_TRUE(WarnAboutComputerDate(clock, prompter));
    EXPECT_EQ(prompter.last().title, "Computer Date");
}

TEST_F(StartupTest, DateOrderAndQuoteWord) {
    session.company.setText(Company::DateFormatCode, "D");
    session.company.setText(Company::QuoteCaption, "  ");
    ApplyCompanySettings(session);
    EXPECT_EQ(session.dateOrder, data::DateOrder::DayFirst);
    EXPECT_EQ(session.company.text(Company::QuoteCaption), "Quote");
    EXPECT_EQ(session.todayText(data::Date{2024, 3, 9}), "09/03/2024");

    session.company.setText(Company::DateFormatCode, "M");
    session.company.setText(Company::QuoteCaption, "Estimate");
    ApplyCompanySettings(session);
    EXPECT_EQ(session.dateOrder, data::DateOrder::MonthFirst);
    EXPECT_EQ(session.company.text(Company::QuoteCaption), "Estimate");
}

TEST_F(StartupTest, ACompanyWithoutANameAsksToBeSetUp) {
    // One character however many bytes it has in UTF-8.
    for (const char* n : {"", "A", " B ", "É", " € "}) {
        SCOPED_TRACE(n);
        name(n);
        session.company.setByte(Company::UseBackground, 1);
        CompanyLook look = StartCompanyLook(session, prompter);
        EXPECT_FALSE(look.setUp);
        EXPECT_EQ(look.caption, "Please Setup Your Company.");
        EXPECT_FALSE(look.showBackground);
        EXPECT_EQ(session.company.text(Company::Name), "Please Setup Your Company.");
        EXPECT_EQ(session.company.byte(Company::UseBackground), 0);
    }
}

TEST_F(StartupTest, CaptionFontAndBackgroundOfANamedCompany) {
    ASSERT_TRUE(WriteInstallationPictures(dir.path()));
    name("  Harbor Light  ");
    CompanyLook look = StartCompanyLook(session, prompter);
    EXPECT_TRUE(look.setUp);
    EXPECT_EQ(look.caption, "Harbor Light     Number: 1");
    EXPECT_EQ(look.font.name, "Arial");
    EXPECT_EQ(look.font.size, 10);
    EXPECT_EQ(look.font.colour, 0xFF0000);
    EXPECT_EQ(look.font.style, data::style::Bold);
    EXPECT_TRUE(look.showBackground);
    EXPECT_EQ(look.source, BackgroundSource::File);
    EXPECT_EQ(look.file, dir.file("background.bmp"));

    session.company.setByte(Company::UseBackground, 0);
    EXPECT_FALSE(StartCompanyLook(session, prompter).showBackground);
}

TEST_F(StartupTest, MissingBackgroundFallsBackToTheTileOrZtt8) {
    name("Harbor Light");
    session.company.setText(Company::BackgroundFile, "/nowhere/gone.bmp");
    prompter.expect(kBackgroundMissing);
    CompanyLook look = StartCompanyLook(session, prompter);
    EXPECT_EQ(look.source, BackgroundSource::BuiltIn);
    EXPECT_EQ(session.company.text(Company::BackgroundFile), "/nowhere/gone.bmp");

    WriteFileBytes(dir.file("ztt8.bmp"), BuiltInTileBitmap());
    prompter.expect(kBackgroundMissing);
    look = StartCompanyLook(session, prompter);
    EXPECT_EQ(look.source, BackgroundSource::File);
    EXPECT_EQ(look.file, dir.file("ztt8.bmp"));
    EXPECT_EQ(session.company.text(Company::BackgroundFile), dir.file("ztt8.bmp"));

    // After the company manager, a missing file changes nothing and says nothing.
    session.company.setText(Company::BackgroundFile, "gone.bmp");
    EXPECT_EQ(ReloadCompanyLook(session).source, BackgroundSource::Keep);
}

TEST(TilePicture, IsAWindowsBitmapOfTheTileSize) {
    const std::string bmp = BuiltInTileBitmap();
    ASSERT_GE(bmp.size(), 54u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    auto u32 = [&](size_t at) {
        return uint32_t(uint8_t(bmp[at])) | uint32_t(uint8_t(bmp[at + 1])) << 8 |
               uint32_t(uint8_t(bmp[at + 2])) << 16 | uint32_t(uint8_t(bmp[at + 3])) << 24;
    };
    EXPECT_EQ(u32(2), bmp.size());
    EXPECT_EQ(u32(18), uint32_t(kTileSize));
    EXPECT_EQ(u32(22), uint32_t(kTileSize));
    EXPECT_EQ(bmp.size(), 54u + kTileSize * kTileSize * 3);
}

TEST(TilePicture, ExistingPicturesAreKept) {
    testing::TempDir dir;
    WriteFileBytes(dir.file("background.bmp"), "mine");
    ASSERT_TRUE(WriteInstallationPictures(dir.path()));
    EXPECT_EQ(testing::ReadFileBytes(dir.file("background.bmp")), "mine");
    EXPECT_EQ(testing::ReadFileBytes(dir.file("ztt8.bmp")), BuiltInTileBitmap());
}

}  // namespace
}  // namespace invarro::app
