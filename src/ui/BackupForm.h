// TBackupForm: "Invarro Backup and Restore". The first face shows the last backup date and
// offers Backup and Restore; the second face (BkUpPanel) takes the location, the start
// button and the progress line of the chosen action.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

#include "data/Dates.h"
#include "maintenance/Backup.h"
#include "platform/Archive.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QWidget;

namespace invarro::ui {

// What the window needs from the program around it.
struct BackupWindowContext {
    std::string dataFolder;
    data::DateOrder dateOrder = data::DateOrder::MonthFirst;
    platform::Prompter* prompter = nullptr;
    const platform::Clock* clock = nullptr;
    platform::Archive* archive = nullptr;
    maintenance::FileMover* mover = nullptr;  // none: plain renames
    bool restoreAllowed = true;               // false when offered at the end of the program
    std::function<void(const std::string&)> openHelp;
    // The main window's status line, its working panel, and its hold on the company.
    std::function<void(const QString&)> mainStatus;
    std::function<void()> hideWorkingPanel;
    std::function<bool(std::string*)> closeCompanyFiles;
    std::function<void()> reopenCompany;
    // The desktop's choosers unless given; an empty answer is a cancel.
    std::function<QString()> chooseFolder;
    std::function<QString()> chooseArchive;
};

class TBackupForm : public QDialog {
    Q_OBJECT
  public:
    explicit TBackupForm(BackupWindowContext context, QWidget* parent = nullptr);

    // The buttons of both faces.
    void backupPressed();
    void restorePressed();
    void locationPressed();
    // A location chosen in a chooser (empty: none).
    void locationChosen(const QString& path);
    void startPressed();
    // E&xit of the second face: back to the first.
    void panelExit();

    maintenance::Mode mode() const { return mode_; }
    QString location() const { return location_; }
    bool panelShown() const;
    QString lastBackupText() const;
    QString statusText() const;

  private:
    void runBackup();
    void runRestore();
    void setWorking(bool on);
    void showStatus(const std::string& text);

    BackupWindowContext context_;
    maintenance::Mode mode_ = maintenance::Mode::Backup;
    QString location_;
    platform::SystemClock systemClock_;
    maintenance::FileMover plainMover_;

    QWidget* firstFace_ = nullptr;
    QWidget* panel_ = nullptr;
    QLabel* lastBackup_ = nullptr;
    QPushButton* backupButton_ = nullptr;
    QPushButton* restoreButton_ = nullptr;
    QPushButton* helpButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QLabel* heading_ = nullptr;
    QLabel* drive_ = nullptr;
    QPushButton* locationButton_ = nullptr;
    QPushButton* goButton_ = nullptr;
    QLabel* goLabel_ = nullptr;
    QCheckBox* subBackup_ = nullptr;
    QPushButton* panelHelp_ = nullptr;
    QPushButton* panelExit_ = nullptr;
};

}  // namespace invarro::ui
