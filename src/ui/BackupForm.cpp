#include "ui/BackupForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFont>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "data/Files.h"

namespace invarro::ui {

namespace {

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), int(s.size()));
}

QPushButton* MakeButton(QWidget* parent, const char* name, std::string_view text) {
    auto* b = new QPushButton(Q(text), parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

TBackupForm::TBackupForm(BackupWindowContext context, QWidget* parent)
    : QDialog(parent), context_(std::move(context)) {
    setObjectName("TBackupForm");
    setWindowTitle(Q(maintenance::kCaption));
    setModal(true);
    if (!context_.clock) context_.clock = &systemClock_;
    if (!context_.mover) context_.mover = &plainMover_;
    location_ = QString::fromStdString(context_.dataFolder);

    // ---- the first face
    firstFace_ = new QWidget(this);
    firstFace_->setObjectName("FirstFace");
    auto* helpText = new QLabel(Q(maintenance::kHelpText), firstFace_);
    helpText->setObjectName("HelpLbl");
    helpText->setWordWrap(true);
    helpText->setAlignment(Qt::AlignCenter);
    QFont bold = helpText->font();
    bold.setBold(true);
    helpText->setFont(bold);
    lastBackup_ = new QLabel(firstFace_);
    lastBackup_->setObjectName("LastBkLbl");
    lastBackup_->setAlignment(Qt::AlignCenter);
    lastBackup_->setText(QString::fromStdString(maintenance::LastBackupLabel(
        maintenance::StoredBackupDate(context_.dataFolder), context_.dateOrder)));
    backupButton_ = MakeButton(firstFace_, "AskBackButn", maintenance::kBackupButton);
    restoreButton_ = MakeButton(firstFace_, "RestBtn", maintenance::kRestoreButton);
    restoreButton_->setEnabled(context_.restoreAllowed);
    helpButton_ = MakeButton(firstFace_, "HelpBtn", "&Help");
    exitButton_ = MakeButton(firstFace_, "ExitBtn", "E&xit");
    for (QPushButton* b : {backupButton_, restoreButton_})
        b->setMinimumHeight(34);
    auto* firstFoot = new QHBoxLayout;
    firstFoot->addStretch(1);
    firstFoot->addWidget(helpButton_);
    firstFoot->addWidget(exitButton_);
    auto* first = new QVBoxLayout(firstFace_);
    first->addWidget(helpText);
    first->addWidget(lastBackup_);
    first->addSpacing(8);
    first->addWidget(backupButton_);
    first->addWidget(restoreButton_);
    first->addSpacing(8);
    first->addLayout(firstFoot);

    // ---- the second face
    panel_ = new QFrame(this);
    panel_->setObjectName("BkUpPanel");
    static_cast<QFrame*>(panel_)->setFrameShape(QFrame::StyledPanel);
    heading_ = new QLabel(Q(maintenance::kBackupHeading), panel_);
    heading_->setObjectName("PanelLbl");
    QFont big = heading_->font();
    big.setBold(true);
    big.setPointSize(big.pointSize() + 3);
    heading_->setFont(big);
    auto* driveCaption = new QLabel(Q(maintenance::kLocationLabel), panel_);
    driveCaption->setObjectName("DriveCaption");
    drive_ = new QLabel(panel_);
    drive_->setObjectName("DriveLbl");
    drive_->setWordWrap(true);
    drive_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    locationButton_ = MakeButton(panel_, "Button1", maintenance::kChooseFolderButton);
    goButton_ = MakeButton(panel_, "BKGoBtn", "Backup");
    goButton_->setMinimumHeight(30);
    goLabel_ = new QLabel(panel_);
    goLabel_->setObjectName("GoLbl");
    goLabel_->setWordWrap(true);
    subBackup_ = new QCheckBox(Q(maintenance::kAlsoBackupFolder), panel_);
    subBackup_->setObjectName("SubBackup");
    panelHelp_ = MakeButton(panel_, "PanelHelpBtn", "&Help");
    panelExit_ = MakeButton(panel_, "PanelExitBtn", "E&xit");
    auto* driveRow = new QHBoxLayout;
    driveRow->addWidget(driveCaption);
    driveRow->addWidget(drive_, 1);
    auto* panelFoot = new QHBoxLayout;
    panelFoot->addStretch(1);
    panelFoot->addWidget(panelHelp_);
    panelFoot->addWidget(panelExit_);
    auto* second = new QVBoxLayout(panel_);
    second->addWidget(heading_);
    second->addLayout(driveRow);
    second->addWidget(locationButton_);
    second->addWidget(subBackup_);
    second->addWidget(goButton_);
    second->addWidget(goLabel_);
    second->addLayout(panelFoot);
    panel_->hide();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(firstFace_);
    layout->addWidget(panel_);
    setMinimumWidth(520);
    // The window fits its first face with a little room below.
    adjustSize();
    resize(width(), firstFace_->sizeHint().height() + 30);

    const bool help = bool(context_.openHelp);
    helpButton_->setEnabled(help);
    panelHelp_->setEnabled(help);
    auto openHelp = [this] {
        if (context_.openHelp) context_.openHelp(std::string(maintenance::kHelpTopic));
    };
    connect(backupButton_, &QPushButton::clicked, this, &TBackupForm::backupPressed);
    connect(restoreButton_, &QPushButton::clicked, this, &TBackupForm::restorePressed);
    connect(helpButton_, &QPushButton::clicked, this, openHelp);
    connect(panelHelp_, &QPushButton::clicked, this, openHelp);
    connect(exitButton_, &QPushButton::clicked, this, &QDialog::reject);
    connect(panelExit_, &QPushButton::clicked, this, &TBackupForm::panelExit);
    connect(locationButton_, &QPushButton::clicked, this, &TBackupForm::locationPressed);
    connect(goButton_, &QPushButton::clicked, this, &TBackupForm::startPressed);
}

bool TBackupForm::panelShown() const {
    return !panel_->isHidden();
}

QString TBackupForm::lastBackupText() const {
    return lastBackup_->text();
}

QString TBackupForm::statusText() const {
    return goLabel_->text();
}

void TBackupForm::backupPressed() {
    mode_ = maintenance::Mode::Backup;
    firstFace_->hide();
    panel_->show();
    heading_->setText(Q(maintenance::kBackupHeading));
    drive_->setText(location_);
    locationButton_->setText(Q(maintenance::kChooseFolderButton));
    goButton_->setText(tr("Backup"));
    goButton_->setEnabled(false);
    subBackup_->show();
    goLabel_->setText(Q(maintenance::kBackupStatus));
    adjustSize();
}

void TBackupForm::restorePressed() {
    if (!restoreButton_->isEnabled()) return;
    if (context_.prompter->ask(maintenance::RestoreWarning()) != platform::Answer::Yes) return;
    backupPressed();
    mode_ = maintenance::Mode::Restore;
    locationButton_->setText(Q(maintenance::kChooseArchiveButton));
    heading_->setText(Q(maintenance::kRestoreHeading));
    goButton_->setText(tr("Restore"));
    subBackup_->hide();
    goLabel_->setText(Q(maintenance::kRestoreStatus));
    adjustSize();
}

void TBackupForm::locationPressed() {
    QString chosen;
    const QString start = QString::fromStdString(context_.dataFolder);
    if (mode_ == maintenance::Mode::Backup) {
        chosen = context_.chooseFolder
                     ? context_.chooseFolder()
                     : QFileDialog::getExistingDirectory(
                           this, Q(maintenance::kFolderBrowserTitle), start,
                           QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
        if (chosen.isEmpty()) return;  // cancelled: nothing changes
    } else {
        chosen = context_.chooseArchive
                     ? context_.chooseArchive()
                     : QFileDialog::getOpenFileName(
                           this, Q(maintenance::kArchiveBrowserTitle), start,
                           tr("Backup files (ZTBackup.zip ztbackup.zip ZTBACKUP.ZIP);;"
                              "ZIP archives (*.zip *.ZIP);;All files (*)"),
                           nullptr, QFileDialog::DontUseNativeDialog);
        if (chosen.isEmpty()) return;
    }
    locationChosen(chosen);
}

void TBackupForm::locationChosen(const QString& path) {
    const std::string chosen = path.toStdString();
    if (maintenance::AcceptLocation(mode_, chosen)) {
        location_ = path;
        drive_->setText(path);
        goLabel_->show();
        goButton_->setEnabled(true);
        return;
    }
    if (mode_ == maintenance::Mode::Restore) {
        goButton_->setEnabled(false);
        location_.clear();
        drive_->clear();
        context_.prompter->ask(maintenance::NoArchiveChosenMessage());
    }
}

void TBackupForm::startPressed() {
    if (!goButton_->isEnabled()) return;
    if (goButton_->text() == tr("Restore"))
        runRestore();
    else
        runBackup();
    restoreButton_->setEnabled(context_.restoreAllowed);
}

void TBackupForm::panelExit() {
    panel_->hide();
    firstFace_->show();
    adjustSize();
    resize(width(), firstFace_->sizeHint().height() + 30);
}

void TBackupForm::setWorking(bool on) {
    for (QPushButton* b : {exitButton_, panelExit_, goButton_, helpButton_, panelHelp_,
                           backupButton_, restoreButton_, locationButton_})
        b->setEnabled(!on);
    if (!on) {
        helpButton_->setEnabled(bool(context_.openHelp));
        panelHelp_->setEnabled(bool(context_.openHelp));
        restoreButton_->setEnabled(context_.restoreAllowed);
    }
}

void TBackupForm::showStatus(const std::string& text) {
    goLabel_->setText(QString::fromStdString(text));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TBackupForm::runBackup() {
    setWorking(true);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    maintenance::BackupRequest request;
    request.dataFolder = context_.dataFolder;
    request.targetFolder = location_.toStdString();
    request.alsoBackupFolder = subBackup_->isChecked();
    request.today = data::Today(*context_.clock);
    request.dateOrder = context_.dateOrder;
    const maintenance::BackupOutcome outcome =
        maintenance::RunBackup(request, *context_.archive, *context_.mover,
                               [this](const std::string& line) { showStatus(line); });
    QApplication::restoreOverrideCursor();
    setWorking(false);
    if (!outcome.ok) {
        goLabel_->setText(Q(maintenance::kBackupStatus));
        context_.prompter->ask(maintenance::BackupFailedMessage(outcome.error));
        return;
    }
    if (context_.mainStatus)
        context_.mainStatus(
            QString::fromStdString(maintenance::MainStatusAfterBackup(request.today)));
    lastBackup_->setText("Last Backup: " + QString::fromStdString(outcome.dateText));
    goLabel_->setText(tr("Backup complete."));
    accept();
    if (!outcome.warning.empty())
        context_.prompter->ask(maintenance::WarningMessage("ZT Backup", outcome.warning));
    context_.prompter->ask(maintenance::BackupCompleteMessage());
}

void TBackupForm::runRestore() {
    const std::string archivePath = location_.toStdString();
    if (context_.prompter->ask(maintenance::RestoreConfirm(archivePath)) != platform::Answer::Ok)
        return;
    if (context_.hideWorkingPanel) context_.hideWorkingPanel();
    if (!data::FileExists(archivePath)) {
        context_.prompter->ask(maintenance::ArchiveNotFoundMessage());
        return;
    }
    setWorking(true);
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    maintenance::RestoreHooks hooks;
    hooks.closeCompanyFiles = context_.closeCompanyFiles;
    hooks.reopenCompany = context_.reopenCompany;
    hooks.status = [this](const std::string& line) { showStatus(line); };
    const maintenance::RestoreOutcome outcome = maintenance::RunRestore(
        context_.dataFolder, archivePath, *context_.archive, *context_.mover, hooks);
    QApplication::restoreOverrideCursor();
    setWorking(false);
    switch (outcome.status) {
        case maintenance::RestoreStatus::Done:
            accept();
            context_.prompter->ask(maintenance::RestoreCompleteMessage());
            return;
        case maintenance::RestoreStatus::NotFound:
            context_.prompter->ask(maintenance::ArchiveNotFoundMessage());
            break;
        case maintenance::RestoreStatus::Refused:
        case maintenance::RestoreStatus::Failed:
            context_.prompter->ask(maintenance::RestoreFailedMessage(outcome.error));
            break;
    }
    goLabel_->setText(Q(maintenance::kRestoreStatus));
}

}  // namespace invarro::ui
