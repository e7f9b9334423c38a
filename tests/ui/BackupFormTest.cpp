// "Invarro Backup and Restore" offscreen: both faces and their texts, the location rules,
// and a backup and a restore run from the main window, which closes the company's files
// and reads the company again from the restored files.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <cstdlib>
#include <map>

#include "app/Demo.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/IniFile.h"
#include "data/SideFiles.h"
#include "data/Update.h"
#include "maintenance/FileSet.h"
#include "platform/zip/ZipArchive.h"
#include "storage/Engine.h"
#include "support/Modal.h"
#include "support/QtApp.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui/AgingChart.h"
#include "ui/BackupForm.h"
#include "ui/MainForm.h"

namespace invarro::ui {
namespace {

using Command = TMainForm::Command;
using data::Company;
using platform::Answer;
using testing::ScriptedPrompter;
using testing::TempDir;
using testing::WhenModal;

const char* kWarning =
    "WARNING!! Your current data files will be completely over-written by your selected backup "
    "file! You should only use this option if your data files have been damaged by a program, "
    "virus or other computer malfunction. Do you want to continue?";

// Saves a picture of the window when INVARRO_SCREENSHOTS names a folder.
void Shoot(QWidget* w, const char* name) {
    const char* folder = std::getenv("INVARRO_SCREENSHOTS");
    if (!folder || !*folder) return;
    w->grab().save(QString(folder) + "/" + name + ".png");
}

class BackupFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::QtApp();
        folder = dir.file("data");
        target = dir.file("usb");
        ASSERT_EQ(::mkdir(target.c_str(), 0700), 0);
        storage::InitEngine(30);
        ScriptedPrompter quiet;
        app::InstallResult r = app::CreateDemoInstallation(folder, quiet);
        ASSERT_TRUE(r.ok) << r.message;
        storage::ExitEngine();
    }
    void TearDown() override {
        form.reset();
        if (storage::EngineStarted()) storage::ExitEngine();
    }

    BackupWindowContext context() {
        BackupWindowContext c;
        c.dataFolder = folder;
        c.prompter = &prompter;
        c.clock = &clock;
        c.archive = &zip;
        c.openHelp = [this](const std::string& topic) { helpTopics.push_back(topic); };
        c.mainStatus = [this](const QString& s) { mainStatus = s; };
        return c;
    }
    TMainForm& openMain() {
        MainFormServices s;
        s.prompter = &prompter;
        s.clock = &clock;
        s.archive = &zip;
        s.chooseBackupFolder = [this] { return QString::fromStdString(target); };
        s.chooseBackupArchive = [this] { return QString::fromStdString(target + "/ZTBackup.zip"); };
        form = std::make_unique<TMainForm>(folder, s);
        return *form;
    }
    // The files of the backup set with their bytes.
    std::map<std::string, std::string> setFiles() const {
        std::map<std::string, std::string> files;
        for (const std::string& name : maintenance::CollectFileSet(folder))
            files[name] = testing::ReadFileBytes(folder + "/" + name);
        return files;
    }
    // Renames company 1 in the company file and in LastCo.Dat (engine started).
    void renameCompany(const std::string& name) {
        storage::Fileblock* fb = storage::OpenFileblock(folder + "/Company", false);
        ASSERT_TRUE(storage::EngineOk);
        data::CompanyRecord probe;
        probe.setText(Company::CompanyNo, "1");
        auto found = data::FindAtOrAfter<Company>(fb, 1, probe);
        ASSERT_TRUE(found);
        found->record.setText(Company::Name, name);
        storage::PutRecord(fb, found->recNo, found->record.data());
        storage::CloseFileblock(fb);
        ASSERT_TRUE(data::WriteLastCompany(folder, found->record));
    }

    template <class T = QPushButton>
    static T* child(QWidget* w, const char* name) {
        T* c = w->findChild<T*>(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }

    TempDir dir;
    std::string folder, target;
    ScriptedPrompter prompter;
    platform::FixedClock clock{platform::LocalDateTime{2024, 6, 30, 14, 5, 0}};
    platform::zip::ZipArchive zip;
    std::vector<std::string> helpTopics;
    QString mainStatus;
    std::unique_ptr<TMainForm> form;
};

TEST_F(BackupFormTest, TheTwoFacesAndTheirTexts) {
    data::IniFile ini(data::IniFilePath(folder));
    ASSERT_TRUE(ini.writeString("Backup", "Date", "03/04/2024"));
    TBackupForm f(context());
    f.show();
    EXPECT_EQ(f.windowTitle(), "Invarro Backup and Restore");
    EXPECT_EQ(child<QLabel>(&f, "HelpLbl")->text(),
              "PLEASE READ THE ONLINE HELP FOR COMPLETE INSTRUCTIONS ON HOW TO PROPERLY BACKUP "
              "AND SAFEGUARD YOUR DATA FILES!");
    EXPECT_EQ(f.lastBackupText(), "Last Backup: Mar 4, 2024");
    EXPECT_EQ(child(&f, "AskBackButn")->text(), "&Backup (Safe Guard) My Data Files...");
    EXPECT_EQ(child(&f, "RestBtn")->text(),
              "&Restore ( Replace My Files) From a Previous Backup...");
    EXPECT_TRUE(child(&f, "RestBtn")->isEnabled());
    EXPECT_EQ(child(&f, "HelpBtn")->text(), "&Help");
    EXPECT_EQ(child(&f, "ExitBtn")->text(), "E&xit");
    EXPECT_FALSE(f.panelShown());
    Shoot(&f, "backup-first-face");

    QTest::mouseClick(child(&f, "AskBackButn"), Qt::LeftButton);
    EXPECT_TRUE(f.panelShown());
    EXPECT_TRUE(child<QWidget>(&f, "FirstFace")->isHidden());
    EXPECT_EQ(f.mode(), maintenance::Mode::Backup);
    EXPECT_EQ(child(&f, "Button1")->text(), "Select the backup location...");
    EXPECT_EQ(child(&f, "BKGoBtn")->text(), "Backup");
    EXPECT_FALSE(child(&f, "BKGoBtn")->isEnabled());
    EXPECT_FALSE(child<QCheckBox>(&f, "SubBackup")->isHidden());
    EXPECT_EQ(child<QCheckBox>(&f, "SubBackup")->text(),
              "Also backup files to BACKUP folder in this directory");
    EXPECT_EQ(f.statusText(), "Click the Backup Button to start backup...");
    EXPECT_EQ(child<QLabel>(&f, "DriveCaption")->text(), "Backup Drive:");
    f.locationChosen("/");  // one character: not taken
    EXPECT_FALSE(child(&f, "BKGoBtn")->isEnabled());
    f.locationChosen(QString::fromStdString(target));
    EXPECT_TRUE(child(&f, "BKGoBtn")->isEnabled());
    EXPECT_EQ(child<QLabel>(&f, "DriveLbl")->text(), QString::fromStdString(target));
    Shoot(&f, "backup-second-face");
    QTest::mouseClick(child(&f, "PanelHelpBtn"), Qt::LeftButton);
    EXPECT_EQ(helpTopics, std::vector<std::string>{"Backup Data Files"});

    // E&xit of the panel goes back to the first face.
    QTest::mouseClick(child(&f, "PanelExitBtn"), Qt::LeftButton);
    EXPECT_FALSE(f.panelShown());
    EXPECT_TRUE(f.isVisible());

    // Restore asks first; No keeps the first face.
    prompter.expect(kWarning, Answer::No);
    QTest::mouseClick(child(&f, "RestBtn"), Qt::LeftButton);
    EXPECT_FALSE(f.panelShown());
    EXPECT_EQ(prompter.last().title, "Restore from a Previous Backup File");
    EXPECT_EQ(prompter.last().icon, platform::Icon::Warning);
    prompter.expect(kWarning, Answer::Yes);
    QTest::mouseClick(child(&f, "RestBtn"), Qt::LeftButton);
    EXPECT_TRUE(f.panelShown());
    EXPECT_EQ(f.mode(), maintenance::Mode::Restore);
    EXPECT_EQ(child(&f, "Button1")->text(), "Select the ZTBackup.zip file...");
    EXPECT_EQ(child<QLabel>(&f, "PanelLbl")->text(), "Restore Data Files");
    EXPECT_EQ(child(&f, "BKGoBtn")->text(), "Restore");
    EXPECT_TRUE(child<QCheckBox>(&f, "SubBackup")->isHidden());
    EXPECT_EQ(f.statusText(), "Click the Restore Button to restore files...");

    // Only the archive itself is a restore location.
    f.locationChosen(QString::fromStdString(target + "/ZTBackup.zip"));
    EXPECT_TRUE(child(&f, "BKGoBtn")->isEnabled());
    Shoot(&f, "restore-second-face");
    prompter.expect("You did not select a backup file. The backup files are named ZTBackup.zip.");
    f.locationChosen(QString::fromStdString(target + "/ZTBackup.zip.old"));
    EXPECT_FALSE(child(&f, "BKGoBtn")->isEnabled());
    EXPECT_EQ(f.location(), "");
    EXPECT_EQ(child<QLabel>(&f, "DriveLbl")->text(), "");
}

TEST_F(BackupFormTest, StoredDatesThatCannotBeReadLeaveTheLabelEmpty) {
    data::IniFile ini(data::IniFilePath(folder));
    ASSERT_TRUE(ini.writeString("Backup", "Date", "13/45/2020"));
    TBackupForm f(context());
    EXPECT_EQ(f.lastBackupText(), "");
    BackupWindowContext c = context();
    c.dateOrder = data::DateOrder::DayFirst;
    ASSERT_TRUE(ini.writeString("Backup", "Date", "13/04/2020"));
    TBackupForm g(c);
    EXPECT_EQ(g.lastBackupText(), "Last Backup: 13 Apr, 2020");
    c.restoreAllowed = false;
    TBackupForm h(c);
    EXPECT_FALSE(child(&h, "RestBtn")->isEnabled());
}

TEST_F(BackupFormTest, AFailedBackupKeepsTheWindowOpenAndWritesNoDate) {
    TBackupForm f(context());
    f.show();
    f.backupPressed();
    f.locationChosen(QString::fromStdString(target + "/removed"));
    const std::string why = "The folder " + target + "/removed does not exist.";
    prompter.expect("The backup failed. " + why);
    f.startPressed();
    EXPECT_EQ(prompter.last().title, "ZT Backup");
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(child(&f, "ExitBtn")->isEnabled());
    EXPECT_TRUE(child(&f, "RestBtn")->isEnabled());
    EXPECT_EQ(maintenance::StoredBackupDate(folder), "");
    EXPECT_EQ(mainStatus, "");
}

TEST_F(BackupFormTest, BackupFromTheMainWindowThenRestoreReopensTheCompany) {
    TMainForm& m = openMain();
    // The demo's receivables are aged first, as at every start, so that the restored files
    // are already aged today.
    ASSERT_TRUE(m.startUp());
    ASSERT_TRUE(m.commandEnabled(Command::BackupDataFiles));
    const QString caption = m.captionText();

    bool shown = false;
    std::map<std::string, std::string> backedUp;
    WhenModal<TBackupForm>([&](TBackupForm* f) {
        shown = true;
        backedUp = setFiles();
        f->backupPressed();
        f->locationPressed();
        EXPECT_EQ(f->location(), QString::fromStdString(target));
        child<QCheckBox>(f, "SubBackup")->setChecked(true);
        prompter.expect("Backup complete.");
        QTest::mouseClick(child(f, "BKGoBtn"), Qt::LeftButton);
        EXPECT_FALSE(f->isVisible());
        EXPECT_EQ(f->lastBackupText(), "Last Backup: 06/30/2024");
    });
    QTest::mouseClick(m.toolButton(Command::BackupDataFiles), Qt::LeftButton);
    ASSERT_TRUE(shown);
    EXPECT_EQ(prompter.last().title, "ZT Backup");
    EXPECT_EQ(m.statusText(), " Last System Backup: Jun 30, 2024");
    m.resize(760, 560);
    Shoot(&m, "main-after-backup");
    EXPECT_EQ(maintenance::StoredBackupDate(folder), "06/30/2024");
    EXPECT_TRUE(data::FileExists(target + "/ZTBackup.zip"));
    EXPECT_TRUE(data::FileExists(target + "/ztbklog.txt"));
    EXPECT_TRUE(data::FileExists(folder + "/Backup/LastCo.Dat"));

    // The company changes on disk; the restore brings it back and the main window shows
    // the company read from the restored files, with the engine running again.
    renameCompany("Renamed After Backup");
    m.reopenCompany();
    EXPECT_TRUE(m.captionText().startsWith("Renamed After Backup"));
    m.chart()->show();
    const std::string archive = target + "/ZTBackup.zip";
    shown = false;
    WhenModal<TBackupForm>([&](TBackupForm* f) {
        shown = true;
        prompter.expect(kWarning, Answer::Yes);
        f->restorePressed();
        f->locationPressed();
        prompter.expect("Ready to RESTORE files from:\n" + archive + "\nContinue?", Answer::Ok);
        prompter.expect("Restore files operation complete.");
        f->startPressed();
        EXPECT_FALSE(f->isVisible());
    });
    m.runCommand(Command::BackupDataFiles);
    ASSERT_TRUE(shown);
    EXPECT_EQ(prompter.last().title, "Restore Complete");
    EXPECT_FALSE(m.chartShowing());
    EXPECT_TRUE(storage::EngineStarted());
    EXPECT_EQ(m.captionText(), caption);
    EXPECT_EQ(m.session().company.text(Company::Name),
              data::ReadLastCompany(folder)->text(Company::Name));
    // Every file as it was when backed up. The INI file, where the backup keeps its date
    // (and the demo its companies' e-mail choices), is no part of that archive and stays.
    auto restored = setFiles();
    EXPECT_EQ(restored.erase("invarro.ini"), 1u);
    backedUp.erase("invarro.ini");
    for (const auto& [name, bytes] : backedUp)
        EXPECT_TRUE(restored[name] == bytes) << name;
    EXPECT_EQ(restored.size(), backedUp.size());
}

TEST_F(BackupFormTest, ARestoreCancelledOrWithoutArchiveChangesNothing) {
    TMainForm& m = openMain();
    const auto before = setFiles();
    const std::string archive = target + "/ZTBackup.zip";
    bool shown = false;
    WhenModal<TBackupForm>([&](TBackupForm* f) {
        shown = true;
        prompter.expect(kWarning, Answer::Yes);
        f->restorePressed();
        f->locationChosen(QString::fromStdString(archive));
        prompter.expect("Ready to RESTORE files from:\n" + archive + "\nContinue?", Answer::Cancel);
        f->startPressed();
        prompter.expect("Ready to RESTORE files from:\n" + archive + "\nContinue?", Answer::Ok);
        prompter.expect("The backup file: ZTBackup.zip was not found in the selected location.");
        f->startPressed();
        EXPECT_TRUE(f->isVisible());
        f->reject();
    });
    m.runCommand(Command::BackupDataFiles);
    ASSERT_TRUE(shown);
    EXPECT_TRUE(setFiles() == before);
}

TEST_F(BackupFormTest, LeavingWithBackupOnExitOffersTheBackupWithoutRestore) {
    storage::InitEngine(30);
    storage::Fileblock* fb = storage::OpenFileblock(folder + "/Company", false);
    data::CompanyRecord probe;
    probe.setText(Company::CompanyNo, "1");
    auto found = data::FindAtOrAfter<Company>(fb, 1, probe);
    ASSERT_TRUE(found);
    found->record.setYes(Company::BackupOnExit, true);
    storage::PutRecord(fb, found->recNo, found->record.data());
    storage::CloseFileblock(fb);
    ASSERT_TRUE(data::WriteLastCompany(folder, found->record));
    storage::ExitEngine();

    TMainForm& m = openMain();
    bool shown = false;
    WhenModal<TBackupForm>([&](TBackupForm* f) {
        shown = true;
        EXPECT_FALSE(child(f, "RestBtn")->isEnabled());
        EXPECT_TRUE(child(f, "AskBackButn")->isEnabled());
        f->reject();
    });
    m.close();
    EXPECT_TRUE(shown);
}

}  // namespace
}  // namespace invarro::ui
