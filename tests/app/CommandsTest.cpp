// The main window's small commands and the demo installation.

#include <gtest/gtest.h>

#include <filesystem>

#include "AppFixture.h"
#include "app/CompanyManager.h"
#include "app/CompanySetup.h"
#include "app/Demo.h"
#include "app/MainCommands.h"
#include "app/TilePicture.h"
#include "customers/Find.h"
#include "data/Company.h"
#include "output/CStmnt.h"
#include "output/Demo.h"
#include "output/FormLetter.h"
#include "output/Labelwiz.h"
#include "output/RtfReader.h"
#include "products/ProdEdit.h"

namespace invarro::app {
namespace {

using testing::TempDir;
using testing::WriteFileBytes;

TEST(MainCommands, PdfNamesContainDotPdfInAnyCase) {
    EXPECT_TRUE(IsPdfFileName("/home/me/Invoice 1001.pdf"));
    EXPECT_TRUE(IsPdfFileName("REPORT.PDF"));
    EXPECT_TRUE(IsPdfFileName("statement.Pdf"));
    EXPECT_FALSE(IsPdfFileName("statement.txt"));
    EXPECT_FALSE(IsPdfFileName("pdf"));
    EXPECT_FALSE(IsPdfFileName("letter.rtf"));
    EXPECT_EQ(WrongPdfExtensionMessage().text,
              "Incorrect file extension. Must be a PDF (*.pdf) file.");
    // Says which calculators were looked for, and where.
    EXPECT_EQ(CalculatorNotFoundMessage().text,
              "No calculator was found. These were looked for on the search path (PATH): "
              "gnome-calculator, kcalc, galculator, qalculate-gtk, mate-calc, xcalc. Install "
              "one of them to use this command.");
    EXPECT_EQ(CalculatorNotFoundMessage().title, "Calculator");
    EXPECT_EQ(AgingChartShowingMessage().title, "Aging Chart");
    EXPECT_EQ(AgingChartShowingMessage().text, "The Aging Chart is currently showing.");
}

TEST(MainCommands, WebPagesAskFirst) {
    EXPECT_EQ(WebPageQuestion(WebPage::SupportForum).title, "Internet Support Forum");
    EXPECT_EQ(WebPageQuestion(WebPage::HomePage).text,
              "An internet connection is required to use this feature. Continue?");
    EXPECT_EQ(WebPageQuestion(WebPage::Upgrades).title, "Software Upgrades");
    for (auto page : {WebPage::SupportForum, WebPage::HomePage, WebPage::Upgrades}) {
        EXPECT_EQ(WebPageQuestion(page).buttons, platform::Buttons::YesNo);
        EXPECT_EQ(WebPageAddress(page).rfind("https://", 0), 0u);
    }
}

TEST(MainCommands, HelpPagesByKeyword) {
    TempDir a, b;
    EXPECT_EQ(HelpPagePath("/h", "Password Setup"), "/h/Password Setup.html");
    EXPECT_EQ(HelpPagePath("/h", "View/Print/Batch-Print Customer Statements"),
              "/h/View-Print-Batch-Print Customer Statements.html");
    WriteFileBytes(b.file("Contents.html"), "<html></html>");
    EXPECT_EQ(FindHelpFolder({"", a.path(), b.path()}), b.path());
    EXPECT_FALSE(FindHelpFolder({a.path()}));
}

TEST(MainCommands, TheRepositoryHasAPageForEveryHelpKeyword) {
    const std::string folder = INVARRO_HELP_DIR;
    std::vector<std::string_view> keywords = {
        kHelpContents,  kHelpFaq,         kPasswordHelpTopic,       kCompanyManagerHelpTopic,
        kCopyHelpTopic, kHeaderHelpTopic, customers::kFindHelpTopic};
    keywords.push_back(products::kManagerHelpTopic);
    keywords.push_back(products::kEditorHelpTopic);
    keywords.push_back(output::kLabelHelpTopic);
    keywords.push_back(output::kLetterHelpTopic);
    keywords.push_back(output::kStatementHelp);
    keywords.push_back(output::kSelectionHelp);
    for (std::string_view tab : kSetupTabs)
        keywords.push_back(SetupHelpTopic(tab));
    for (std::string_view keyword : keywords) {
        const std::string page = HelpPagePath(folder, keyword);
        ASSERT_TRUE(std::filesystem::exists(page)) << page;
        EXPECT_GT(std::filesystem::file_size(page), 1000u) << page;
    }
}

class DemoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        storage::SetPoolFloor(0);
        storage::InitEngine(30);
    }
    void TearDown() override { storage::ExitEngine(); }
    TempDir dir;
    testing::ScriptedPrompter prompter;
};

TEST_F(DemoTest, ACompanySetUpLikeARealBusiness) {
    const std::string folder = dir.file("demo");
    InstallResult r = CreateDemoInstallation(folder, prompter);
    ASSERT_TRUE(r.ok) << r.message;
    auto company = ReadCompanyByNumber(folder, "1", prompter);
    ASSERT_TRUE(company);
    EXPECT_EQ(company->text(Company::Name), "Harbor Light Print & Design");
    EXPECT_FALSE(company->text(Company::CoAddr1).empty());
    EXPECT_NE(company->text(Company::EMailAddress).find('@'), std::string::npos);
    EXPECT_EQ(company->text(Company::DefTaxRate), "5.500");
    EXPECT_EQ(*data::ReadLastCompany(folder), *company);
    EXPECT_EQ(testing::ReadFileBytes(folder + "/background.bmp"), BuiltInTileBitmap());
    EXPECT_TRUE(std::filesystem::exists(folder + "/ztt8.bmp"));
    // The label wizard opens on a layout and the letter wizard has a letter to merge.
    auto lastLayout = output::ReadLastLabelPath(folder);
    ASSERT_TRUE(lastLayout);
    auto layout = output::ReadLabelLayout(*lastLayout);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->columns, "3");
    auto letter = output::ReadRtfFile(folder + "/" + output::kDemoLetterFile);
    ASSERT_TRUE(letter);
    EXPECT_NE(output::DocumentText(*letter).find("Dear KRCSTNAME,"), std::string::npos);
    auto problems = storage::CheckFileblock(folder + "/Company");
    EXPECT_TRUE(problems.empty()) << problems.front();

    // The company's own checks accept it.
    data::CompanySetupEntry entry{
        company->text(Company::EMailAddress), company->text(Company::Name),
        company->text(Company::CompanyNo),    false,
        company->text(Company::AgingDays1),   company->text(Company::AgingDays2),
        company->text(Company::AgingDays3)};
    EXPECT_TRUE(data::CheckCompanySetup(entry, "1", nullptr).ok());

    // A second company to switch to, set up from the first.
    auto second = ReadCompanyByNumber(folder, "2", prompter);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->text(Company::Name), "Cedar Ridge Landscaping");
    EXPECT_EQ(second->text(Company::InvoiceCaption), company->text(Company::InvoiceCaption));

    // A few dozen customers, stored as the customer editor stores them; the company's next
    // customer number has moved past them.
    const std::string customers = folder + "/1C";
    EXPECT_TRUE(storage::CheckFileblock(customers).empty());
    storage::Fileblock* fb = storage::OpenFileblock(customers, true);
    ASSERT_TRUE(storage::EngineOk);
    EXPECT_EQ(storage::UsedRecordCount(fb), 36);
    auto first = data::ReadBusinessRecord<data::Customer>(fb, 1);
    storage::CloseFileblock(fb);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->text(data::Customer::CustNo), "100");
    EXPECT_EQ(company->text(Company::NextCustNo), "136");
    auto secondCustomers = data::FileblockName(folder, data::FileKind::Customer, "2");
    EXPECT_TRUE(storage::CheckFileblock(secondCustomers).empty());
    fb = storage::OpenFileblock(secondCustomers, true);
    ASSERT_TRUE(storage::EngineOk);
    EXPECT_EQ(storage::UsedRecordCount(fb), 36);
    auto firstOfSecond = data::ReadBusinessRecord<data::Customer>(fb, 1);
    storage::CloseFileblock(fb);
    ASSERT_TRUE(firstOfSecond);
    EXPECT_NE(firstOfSecond->text(data::Customer::Name), first->text(data::Customer::Name));
    EXPECT_EQ(second->text(Company::NextCustNo), "136");

    // Each company has its own product list, stored as the product editor stores it.
    for (const char* prefix : {"1", "2"}) {
        const std::string name = data::FileblockName(folder, data::FileKind::Product, prefix);
        EXPECT_TRUE(storage::CheckFileblock(name).empty()) << name;
        fb = storage::OpenFileblock(name, true);
        ASSERT_TRUE(storage::EngineOk) << name;
        EXPECT_GE(storage::UsedRecordCount(fb), 24) << name;
        storage::CloseFileblock(fb);
    }

    // A second demo on the same folder leaves it alone.
    EXPECT_FALSE(CreateDemoInstallation(folder, prompter).ok);
}

}  // namespace
}  // namespace invarro::app
