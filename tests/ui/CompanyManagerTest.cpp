// TCompanyManager, TFindForm and TCopyCo driven offscreen over a real company file: the
// list and its positioning, adding through the set-up dialog, "&Set As Default" by
// double-click and Enter, the browse keys, delete, find, the company list and the copy.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <filesystem>

#include "app/CompanyManager.h"
#include "app/MailPassword.h"
#include "app/MailSignIn.h"
#include "data/Company.h"
#include "data/Fileblocks.h"
#include "data/SideFiles.h"
#include "data/Update.h"
#include "maintenance/Backup.h"
#include "platform/zip/ZipArchive.h"
#include "storage/Engine.h"
#include "storage/Verify.h"
#include "support/Command.h"
#include "support/MemoryKeyring.h"
#include "support/Modal.h"
#include "support/QtApp.h"
#include "support/RecordingProgress.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui/CoSetup.h"
#include "ui/CompanyManager.h"
#include "ui/CopyCo.h"
#include "ui/FindForm.h"
#include "ui/ListViewer.h"

namespace invarro::ui {
namespace {

using data::Company;
using data::CompanyRecord;
using data::FileKind;
using platform::Answer;
using testing::ScriptedPrompter;
using testing::TempDir;
using testing::WhenModal;

class ManagerWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testing::QtApp(); }

    void SetUp() override {
        savedFloor_ = storage::PoolFloor();
        storage::SetPoolFloor(0);
        ASSERT_EQ(storage::InitEngine(30), 30);
        services.folder = dir.path();
        services.prompter = &prompter;
        services.progress = &progress;
        services.clock = &clock;
        services.help = [this](const std::string& topic) { topics.push_back(topic); };
        services.passwordCheck = [] { return true; };

        const std::string name = data::FileblockName(dir.path(), FileKind::Company);
        ASSERT_TRUE(data::CreateBusinessFileblock(name, data::KindOf(FileKind::Company)));
        storage::Fileblock* fb = storage::OpenFileblock(name, false);
        inUse = company("1", "Harbor Supply", "1234.50");
        inUse.setText(Company::InvoiceCaption, "TAX INVOICE");
        inUse.setText(Company::MaxLines, "30");
        for (const CompanyRecord& c :
             {inUse, company("2", "Alpine Tools", "-20.00"), company("3", "Blue Heron Print"),
              company("4", "Zephyr Cafe")})
            ASSERT_TRUE(data::AddBusinessRecord(fb, c, prompter).ok());
        storage::CloseFileblock(fb);
    }
    void TearDown() override {
        if (storage::EngineStarted()) storage::ExitEngine();
        storage::SetPoolFloor(savedFloor_);
    }

    static CompanyRecord company(const std::string& no, const std::string& name,
                                 const std::string& balance = "0.00") {
        CompanyRecord c = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
        c.setText(Company::CompanyNo, no);
        c.setText(Company::Name, name);
        c.setText(Company::ARBalance, balance);
        c.setText(Company::BackgroundFile, "");
        return c;
    }
    std::string currentName(TCompanyManager& m) {
        auto c = m.highlighted();
        return c ? c->record.text(Company::Name) : std::string("(none)");
    }
    // The browser's rows as shown, name column only.
    std::vector<std::string> names(TCompanyManager& m) {
        std::vector<std::string> out;
        storage::Browser* b = m.browser()->browser();
        for (int i = 1; i <= b->FilledRows(); ++i) {
            std::string t = b->Row(i).text.substr(0, 35);
            out.push_back(t.substr(0, t.find_last_not_of(' ') + 1));
        }
        return out;
    }
    void clickTool(TCompanyManager& m, const char* name) {
        auto* b = m.findChild<QToolButton*>(QString::fromLatin1(name));
        ASSERT_NE(b, nullptr) << name;
        b->click();
    }
    // A manager shown by name (the browse key otherwise stays as the last manager left it).
    std::unique_ptr<TCompanyManager> manager(bool byName = true) {
        auto m = std::make_unique<TCompanyManager>(inUse, services);
        EXPECT_TRUE(m->opened());
        if (byName) m->setBrowseKey(app::kCompanyByName);
        m->resize(640, 420);
        m->show();
        QApplication::processEvents();
        return m;
    }

    TempDir dir;
    ScriptedPrompter prompter;
    testing::RecordingProgress progress;
    platform::FixedClock clock{platform::LocalDateTime{2026, 3, 3, 14, 5, 0}};
    WindowServices services;
    CompanyRecord inUse;
    std::vector<std::string> topics;

  private:
    int savedFloor_ = 0;
};

TEST_F(ManagerWindowTest, ListsTheCompaniesByNameOnTheCompanyInUse) {
    auto m = manager();
    EXPECT_EQ(m->windowTitle(), "Company Manager");
    EXPECT_EQ(m->browser()->CurrentKeyNumber(), 2);
    EXPECT_EQ(names(*m), (std::vector<std::string>{"Alpine Tools", "Blue Heron Print",
                                                   "Harbor Supply", "Zephyr Cafe"}));
    EXPECT_EQ(currentName(*m), "Harbor Supply");
    EXPECT_EQ(m->countText(), "Companies: 4");
    EXPECT_EQ(m->browser()->Header().toStdString(), app::CompanyListHeader());
    auto* caption = m->findChild<QLabel*>("CoName");
    EXPECT_EQ(caption->text(), "Harbor Supply");
    EXPECT_EQ(caption->font().family(), "Arial");
    EXPECT_TRUE(caption->font().bold());
    // The company kept the list font it started with: the list is in the desktop's font.
    EXPECT_EQ(m->browser()->font(), QApplication::font());
    // It reads as columns, the balance on the right.
    ASSERT_EQ(m->browser()->Columns().size(), 3u);
    EXPECT_TRUE(m->browser()->Columns()[2].money);
    EXPECT_EQ(m->browser()->CellText(1, 0), "Alpine Tools");
    m->reject();
    EXPECT_EQ(m->result(), QDialog::Rejected);
}

TEST_F(ManagerWindowTest, AddedCompanyInheritsFromTheCompanyInUse) {
    auto m = manager();
    WhenModal<TCoSetup>([](TCoSetup* setup) {
        EXPECT_EQ(setup->windowTitle(), "New Company");
        auto* number = setup->findChild<QLineEdit*>("CoNumb");
        EXPECT_EQ(number->text(), "5");  // four companies: the fifth
        QTest::keyClicks(setup->findChild<QLineEdit*>("CName"), "Lakeside Bakery");
        setup->findChild<QPushButton*>("OKBtn")->click();
    });
    clickTool(*m, "NewBtn");
    EXPECT_EQ(m->countText(), "Companies: 5");
    EXPECT_EQ(currentName(*m), "Lakeside Bakery");
    auto added = m->highlighted()->record;
    EXPECT_EQ(added.text(Company::CompanyNo), "5");
    EXPECT_EQ(added.text(Company::InvoiceCaption), "TAX INVOICE");
    EXPECT_EQ(added.text(Company::MaxLines), "30");
    EXPECT_EQ(added.text(Company::NextInvNo), "1000");
    EXPECT_EQ(added.text(Company::NextCustNo), "1");
    EXPECT_EQ(added.text(Company::AgingDays2), "60");
    EXPECT_EQ(added.text(Company::ARBalance), "0.00");

    // Cancel adds nothing.
    WhenModal<TCoSetup>([](TCoSetup* setup) { setup->reject(); });
    m->addCompany();
    EXPECT_EQ(m->countText(), "Companies: 5");
    m.reset();
    EXPECT_TRUE(storage::CheckFileblock(dir.file("Company")).empty());
}

TEST_F(ManagerWindowTest, SetAsDefaultByDoubleClickAndByEnter) {
    auto m = manager();
    // Row 1 is "Alpine Tools".
    QWidget* view = m->browser()->viewport();
    const QPoint row1 = m->browser()->RowRect(1).center();
    QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, row1);
    EXPECT_EQ(m->result(), QDialog::Accepted);
    ASSERT_TRUE(m->managerResult().chosenNumber.has_value());
    EXPECT_EQ(*m->managerResult().chosenNumber, "2");
    EXPECT_FALSE(m->managerResult().inUseEdited);
    m.reset();  // the company file is held by one manager at a time

    auto second = manager();
    QTest::keyClick(second->browser(), Qt::Key_Down);  // from Harbor Supply to Zephyr Cafe
    QTest::keyClick(second->browser(), Qt::Key_Return);
    EXPECT_EQ(second->result(), QDialog::Accepted);
    EXPECT_EQ(*second->managerResult().chosenNumber, "4");
}

TEST_F(ManagerWindowTest, BrowseKeysKeepTheHighlightedCompanyForTheRun) {
    auto m = manager();
    QTest::keyClick(m->browser(), Qt::Key_Up);  // Blue Heron Print
    m->findChild<QAction*>("ByNumberItem")->trigger();
    EXPECT_EQ(m->browser()->CurrentKeyNumber(), 1);
    EXPECT_EQ(currentName(*m), "Blue Heron Print");
    m->reject();
    m.reset();
    // The next manager starts by number.
    auto again = manager(false);
    EXPECT_EQ(again->browser()->CurrentKeyNumber(), 1);
    EXPECT_TRUE(again->findChild<QAction*>("ByNumberItem")->isChecked());
    EXPECT_EQ(currentName(*again), "Harbor Supply");
    again->setBrowseKey(app::kCompanyByName);
    EXPECT_EQ(currentName(*again), "Harbor Supply");
    EXPECT_EQ(TCompanyManager::BrowseKey(), app::kCompanyByName);
}

TEST_F(ManagerWindowTest, DeleteRefusesTheCompanyInUseAndDeletesAnother) {
    // Company 4 sends through a provider; its sign-in goes with it.
    testing::MemoryKeyring tokens;
    services.tokenKeyring = &tokens;
    const std::string tokenKey = "4 " + std::filesystem::weakly_canonical(dir.path()).string();
    tokens.secrets[tokenKey] = app::StoredTokensText({"rt", "at", 1});
    tokens.secrets["3 " + std::filesystem::weakly_canonical(dir.path()).string()] = "other";
    {
        data::IniFile ini(data::IniFilePath(dir.path()));
        app::MailSignInSettings signedIn;
        signedIn.method = app::SignInMethod::Microsoft;
        signedIn.clientId = "id";
        signedIn.account = "cafe@zephyr.test";
        ASSERT_TRUE(app::WriteMailSignIn(ini, "4", signedIn));
    }
    auto m = manager();
    prompter.expect(
        "You are trying to delete the current default company. You need to have another "
        "company open to delete this one.");
    QTest::keyClick(m->browser(), Qt::Key_Delete);
    EXPECT_EQ(m->countText(), "Companies: 4");

    for (const std::string& f : app::CompanyFileNames(dir.path(), "4"))
        testing::WriteFileBytes(f, "x");
    QTest::keyClick(m->browser(), Qt::Key_Down);  // Zephyr Cafe
    prompter.expect(
        "If you delete this company, all invoices and payments will also be removed. ALL "
        "company data will be deleted! Data for other companies will NOT be removed. Continue?",
        Answer::Yes);
    clickTool(*m, "DeleteBtn");
    EXPECT_EQ(m->countText(), "Companies: 3");
    EXPECT_EQ(names(*m),
              (std::vector<std::string>{"Alpine Tools", "Blue Heron Print", "Harbor Supply"}));
    for (const std::string& f : app::CompanyFileNames(dir.path(), "4"))
        EXPECT_FALSE(std::filesystem::exists(f)) << f;
    EXPECT_EQ(tokens.secrets.count(tokenKey), 0u);
    EXPECT_EQ(tokens.secrets.size(), 1u);
    EXPECT_EQ(app::ReadMailSignIn(data::IniFile(data::IniFilePath(dir.path())), "4").account, "");
}

TEST_F(ManagerWindowTest, FindPositionsTheListOnThePickedCompany) {
    auto m = manager();
    WhenModal<TFindForm>([](TFindForm* find) {
        EXPECT_EQ(find->windowTitle(), "Find Company");
        auto* list = find->findChild<QTreeWidget*>("FindList");
        EXPECT_EQ(list->headerItem()->text(0), "Company Name");
        EXPECT_TRUE(list->isColumnHidden(6));
        QTest::keyClicks(find->findChild<QLineEdit*>("FindText"), "heron");
        QTest::keyClick(find->findChild<QLineEdit*>("FindText"), Qt::Key_Return);
        EXPECT_EQ(find->rows().size(), 1u);
        QTest::keyClick(list, Qt::Key_Return);
    });
    clickTool(*m, "FindBtn");
    EXPECT_EQ(currentName(*m), "Blue Heron Print");
    EXPECT_EQ(m->result(), QDialog::Rejected);  // still open, nothing chosen
}

TEST_F(ManagerWindowTest, EditingTheCompanyInUseClosesWithOk) {
    auto m = manager();
    WhenModal<TCoSetup>([](TCoSetup* setup) {
        EXPECT_EQ(setup->windowTitle(), "Edit Company");
        auto* name = setup->findChild<QLineEdit*>("CName");
        name->setText("Harbor Supply Co.");
        setup->findChild<QPushButton*>("OKBtn")->click();
    });
    clickTool(*m, "EditBtn");
    EXPECT_EQ(currentName(*m), "Harbor Supply Co.");
    EXPECT_EQ(m->findChild<QLabel*>("CoName")->text(), "Harbor Supply Co.");
    EXPECT_TRUE(m->managerResult().inUseEdited);
    clickTool(*m, "CloseBtn");
    EXPECT_EQ(m->result(), QDialog::Accepted);
    EXPECT_FALSE(m->managerResult().chosenNumber.has_value());
    m.reset();
    auto taken = app::CompanyAfterManager(dir.path(), {std::nullopt, true}, "1");
    ASSERT_TRUE(taken.has_value());
    EXPECT_EQ(taken->text(Company::Name), "Harbor Supply Co.");
}

TEST_F(ManagerWindowTest, APasswordMovedToTheKeyringLeavesNoCopyInLastCoOrABackup) {
    // The company in use still has its password in the record and in its copy.
    {
        storage::Fileblock* fb =
            storage::OpenFileblock(data::FileblockName(dir.path(), FileKind::Company), false);
        auto found = app::FindCompanyByNumber(fb, "1");
        ASSERT_TRUE(found);
        CompanyRecord old = found->record;
        old.setText(Company::EMailLogin, "clerk");
        old.setText(Company::EMailPassword, "Plain-Secret-77");
        ASSERT_TRUE(
            data::ChangeBusinessRecord(fb, found->recNo, found->record, old, prompter).ok());
        storage::CloseFileblock(fb);
        inUse = old;
        ASSERT_TRUE(data::WriteLastCompany(dir.path(), old));
    }
    testing::MemoryKeyring keyring;
    services.keyring = &keyring;
    auto m = manager();
    WhenModal<TCoSetup>([](TCoSetup* setup) {
        setup->showTab(app::kTabEMail);
        EXPECT_TRUE(setup->findChild<QCheckBox*>("EMKeyring")->isChecked());
        setup->findChild<QPushButton*>("OKBtn")->click();
    });
    clickTool(*m, "EditBtn");
    EXPECT_EQ(keyring.secrets.at(app::KeyringKey(dir.path(), "1")), "Plain-Secret-77");
    // At once, with the manager still open: no file of the folder holds it any more.
    for (const char* f : {"LastCo.Dat", "Company.DAT"})
        EXPECT_EQ(testing::ReadFileBytes(dir.file(f)).find("Plain-Secret-77"), std::string::npos)
            << f;
    EXPECT_EQ(data::ReadLastCompany(dir.path())->text(Company::EMailLogin), "clerk");
    // A backup made now carries no copy of it either.
    TempDir target;
    platform::zip::ZipArchive zip;
    maintenance::FileMover mover;
    const maintenance::BackupOutcome b =
        maintenance::RunBackup({dir.path(), target.path(), false, {2026, 3, 3}}, zip, mover);
    ASSERT_TRUE(b.ok) << b.error;
    const testing::CommandResult all =
        testing::RunCommand("unzip -p " + testing::ShellQuote(target.file("ZTBackup.zip")));
    EXPECT_EQ(all.status, 0);
    EXPECT_NE(all.output.find("Harbor Supply"), std::string::npos);
    EXPECT_EQ(all.output.find("Plain-Secret-77"), std::string::npos);
    clickTool(*m, "CloseBtn");
}

TEST_F(ManagerWindowTest, CompanyListThroughTheListViewer) {
    auto m = manager();
    prompter.expect(
        "The companies will be sorted by name. Would you rather sort by company number?",
        Answer::Yes);
    std::vector<std::string> shown;
    QString title;
    WhenModal<TListViewer>([&](TListViewer* viewer) {
        shown = viewer->lines();
        title = viewer->windowTitle();
        viewer->accept();
    });
    clickTool(*m, "ListBtn");
    EXPECT_EQ(title, "Company List by Number");
    ASSERT_EQ(shown.size(), 11u);
    EXPECT_EQ(shown[0], "Invarro Company List");
    EXPECT_EQ(shown[1], "Date: Tuesday, March 3, 2026, 02:05 PM");
    EXPECT_EQ(shown[3].substr(0, 13), "Harbor Supply");
    EXPECT_EQ(shown[5].substr(0, 12), "Alpine Tools");
    // The work file is gone afterwards.
    EXPECT_FALSE(std::filesystem::exists(dir.file("TXTTEMP.TXT")));
}

TEST_F(ManagerWindowTest, CopyDialogChecksAndCopiesProducts) {
    // Company 1's products.
    const std::string products = data::FileblockName(dir.path(), FileKind::Product, "1");
    ASSERT_TRUE(data::CreateBusinessFileblock(products, data::KindOf(FileKind::Product)));
    storage::Fileblock* fb = storage::OpenFileblock(products, false);
    data::ProductRecord p = data::NewRecord<data::Product>();
    p.setText(data::Product::ProdCode, "BC-500");
    ASSERT_TRUE(data::AddBusinessRecord(fb, p, prompter).ok());
    storage::CloseFileblock(fb);

    auto m = manager();
    WhenModal<TCopyCo>([&](TCopyCo* copy) {
        EXPECT_EQ(copy->windowTitle(), "Copy Products to Another Company");
        EXPECT_EQ(copy->findChild<QLabel*>("CopyText")->text(),
                  "This option will copy the current products for this company (number 1) to "
                  "the company number you enter below.");
        auto* entry = copy->findChild<QLineEdit*>("DestCoNo");
        EXPECT_EQ(entry->text(), "0");
        prompter.expect("The Company number must be between 0 and 32001.");
        copy->findChild<QPushButton*>("OKBtn")->click();
        EXPECT_TRUE(copy->isVisible());
        entry->setText("1");
        prompter.expect(
            "You are trying to copy the product file to the current default company. Enter a "
            "different company number to copy the products to.");
        copy->findChild<QPushButton*>("OKBtn")->click();
        entry->setText("3");
        prompter.expect(
            "The required files have been copied to specified company. To use it, open that "
            "company or create a new company using the company number you entered.");
        copy->findChild<QPushButton*>("OKBtn")->click();
    });
    m->findChild<QAction*>("CopyProdItem")->trigger();
    EXPECT_TRUE(prompter.done());
    EXPECT_TRUE(
        storage::CheckFileblock(data::FileblockName(dir.path(), FileKind::Product, "3")).empty());
}

TEST_F(ManagerWindowTest, HelpTopics) {
    auto m = manager();
    clickTool(*m, "HelpBtn");
    m->findChild<QAction*>("OverviewItem")->trigger();
    EXPECT_EQ(topics, (std::vector<std::string>{"Company Manager", "Company Manager"}));
}

TEST_F(ManagerWindowTest, UnopenableCompanyFileEndsTheManager) {
    std::filesystem::remove(dir.file("Company.IX"));
    prompter.expect("Index file is defective.  Rebuild?", Answer::No)
        .expect("Unable to open company database");
    TCompanyManager m(inUse, services);
    EXPECT_FALSE(m.opened());
}

// ------------------------------------------------------------------- find window

class FindWindowTest : public ManagerWindowTest {
  protected:
    void SetUp() override {
        ManagerWindowTest::SetUp();
        fb = storage::OpenFileblock(data::FileblockName(dir.path(), FileKind::Company), false);
        ASSERT_TRUE(storage::EngineOk);
    }
    void TearDown() override {
        storage::CloseFileblock(fb);
        ManagerWindowTest::TearDown();
    }
    QLineEdit* entry(TFindForm& f) { return f.findChild<QLineEdit*>("FindText"); }
    QPushButton* findButton(TFindForm& f) { return f.findChild<QPushButton*>("FindBtn"); }
    QTreeWidget* list(TFindForm& f) { return f.findChild<QTreeWidget*>("FindList"); }
    storage::Fileblock* fb = nullptr;
};

TEST_F(FindWindowTest, FindButtonFollowsTheEntry) {
    TFindForm f(fb, customers::FindMode::Comp, "Find Company", services);
    f.show();
    EXPECT_EQ(f.statusText(), "Enter the text to search for then select Find button...");
    EXPECT_FALSE(findButton(f)->isEnabled());
    QTest::keyClicks(entry(f), "  ");
    EXPECT_FALSE(findButton(f)->isEnabled());
    QTest::keyClicks(entry(f), "a");
    EXPECT_TRUE(findButton(f)->isEnabled());
    findButton(f)->click();
    // Disabled after a search until the entry changes.
    EXPECT_FALSE(findButton(f)->isEnabled());
    QTest::keyClicks(entry(f), "l");
    EXPECT_TRUE(findButton(f)->isEnabled());
}

TEST_F(FindWindowTest, RowsStatusAndFirstRowFocused) {
    TFindForm f(fb, customers::FindMode::Comp, "Find Company", services);
    f.show();
    QTest::keyClicks(entry(f), "p");
    findButton(f)->click();
    EXPECT_EQ(f.rows().size(), 4u);
    EXPECT_EQ(f.statusText(),
              "4 items found.  Select item and press <enter> key to find matching record.");
    EXPECT_EQ(list(f)->currentItem(), list(f)->topLevelItem(0));
    EXPECT_EQ(f.focusWidget(), list(f));
    auto* bar = f.findChild<QProgressBar*>("FindProgress");
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(bar->maximum(), 4);
}

TEST_F(FindWindowTest, NothingFound) {
    TFindForm f(fb, customers::FindMode::Comp, "Find Company", services);
    f.show();
    QTest::keyClicks(entry(f), "nowhere");
    prompter.expect("No matching items were found.");
    findButton(f)->click();
    EXPECT_EQ(prompter.last().title, "Text to Find");
    EXPECT_EQ(f.statusText(), "No items were found.");
    // Enter without a row only beeps.
    QTest::keyClick(list(f), Qt::Key_Return);
    EXPECT_EQ(prompter.beeps(), 1);
    EXPECT_TRUE(f.isVisible());
}

TEST_F(FindWindowTest, ColumnTitleSortsAndDoubleClickPicks) {
    TFindForm f(fb, customers::FindMode::Comp, "Find Company", services);
    f.resize(900, 400);
    f.show();
    QTest::keyClicks(entry(f), "o");  // Harbor Supply, Alpine Tools, Blue Heron Print
    findButton(f)->click();
    ASSERT_EQ(f.rows().size(), 3u);
    EXPECT_EQ(list(f)->topLevelItem(0)->text(0), "Harbor Supply");  // record order
    QHeaderView* header = list(f)->header();
    const QPoint title(header->sectionViewportPosition(0) + 10, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, title);
    EXPECT_EQ(list(f)->topLevelItem(0)->text(0), "Alpine Tools");
    EXPECT_EQ(list(f)->topLevelItem(2)->text(0), "Harbor Supply");
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, title);
    EXPECT_EQ(list(f)->topLevelItem(0)->text(0), "Harbor Supply");

    QTreeWidgetItem* second = list(f)->topLevelItem(1);
    const QRect r = list(f)->visualItemRect(second);
    QTest::mouseClick(list(f)->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    QTest::mouseDClick(list(f)->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    EXPECT_EQ(f.result(), QDialog::Accepted);
    ASSERT_TRUE(f.picked().has_value());
    EXPECT_EQ(f.picked()->cells[0], "Blue Heron Print");
    EXPECT_EQ(f.picked()->cells[1], "3");
}

TEST_F(FindWindowTest, ProductColumnsAndExitDuringTheSearch) {
    const std::string products = data::FileblockName(dir.path(), FileKind::Product, "1");
    ASSERT_TRUE(data::CreateBusinessFileblock(products, data::KindOf(FileKind::Product)));
    storage::Fileblock* pf = storage::OpenFileblock(products, false);
    for (int i = 0; i < 3000; ++i) {
        data::ProductRecord p = data::NewRecord<data::Product>();
        p.setText(data::Product::ProdCode, "P" + std::to_string(i));
        p.setText(data::Product::Description, "Widget " + std::to_string(i));
        storage::AddRecord(pf, p.data());
    }
    {
        TFindForm f(pf, customers::FindMode::Prod, "Find Product", services);
        EXPECT_EQ(list(f)->headerItem()->text(2), "Unit Price");
        for (int i = 3; i < 7; ++i)
            EXPECT_TRUE(list(f)->isColumnHidden(i)) << i;
        f.show();
        QTest::keyClicks(entry(f), "widget");
        // Exit while the file is being read: the search stops and the window closes.
        QTimer::singleShot(0, &f, [&] { f.findChild<QPushButton*>("ExitBtn")->click(); });
        findButton(f)->click();
        EXPECT_EQ(f.result(), QDialog::Rejected);
        EXPECT_FALSE(f.isVisible());
        EXPECT_FALSE(f.picked().has_value());
        EXPECT_LT(f.rows().size(), 3000u);
    }
    storage::CloseFileblock(pf);
}

}  // namespace
}  // namespace invarro::ui
