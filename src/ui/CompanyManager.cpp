#include "ui/CompanyManager.h"

#include <QAction>
#include <QActionGroup>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/CompanySetup.h"
#include "app/MailPassword.h"
#include "app/MailSignIn.h"
#include "data/Company.h"
#include "data/Keys.h"
#include "data/Texts.h"
#include "data/Update.h"
#include "output/TextFile.h"
#include "platform/qt/Printer.h"
#include "ui/CoSetup.h"
#include "ui/CopyCo.h"
#include "ui/DesktopTheme.h"
#include "ui/FindForm.h"
#include "ui/ListViewer.h"
#include "ui/ThemeIcons.h"

namespace invarro::ui {

namespace {

using data::Company;

constexpr const char* kSection = "CoForm";

// Remembered while the program runs; the manager starts by name.
int gBrowseKey = app::kCompanyByName;

}  // namespace

int TCompanyManager::BrowseKey() {
    return gBrowseKey;
}

TCompanyManager::TCompanyManager(const data::CompanyRecord& inUse, const WindowServices& services,
                                 QWidget* parent)
    : QDialog(parent),
      inUse_(inUse),
      services_(services),
      frame_(this, "TCompanyManager", services_.folder, kSection) {
    setWindowTitle(QStringLiteral("Company Manager"));

    caption_ = new QLabel(this);
    caption_->setObjectName(QStringLiteral("CoName"));
    showCaption();

    browser_ = new TIndexBrowser(this);
    browser_->setObjectName(QStringLiteral("CompList"));
    browser_->setAccessibleName(QStringLiteral("Companies"));
    browser_->SetPrompter(services_.prompter);
    // The desktop's font unless the company chose a list font of its own.
    browser_->setFont(ListFont(inUse_));
    if (ChoseListFont(inUse_)) {
        const data::FontSetting listFont = app::ReadSetupFont(inUse_, app::SetupFont::Manager);
        KeepReadable(browser_, QPalette::Text, QPalette::Base, QColorOf(listFont.colour));
    }
    browser_->SetHeader(QString::fromStdString(app::CompanyListHeader()));
    browser_->SetColumns(app::CompanyListColumns());
    browser_->SetOnBuildRow([this](TIndexBrowser*, storage::RowRecord& row) {
        row.text = app::CompanyRowText(buffer_);
        return 0;
    });
    browser_->installEventFilter(this);
    browser_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(browser_, &TIndexBrowser::DblClick, this, &TCompanyManager::setAsDefault);
    connect(browser_, &TIndexBrowser::SortRequested, this,
            [this](int keyNo) { setBrowseKey(keyNo); });
    connect(browser_, &QWidget::customContextMenuRequested, this,
            &TCompanyManager::showContextMenu);

    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar1"));
    status->setSizeGripEnabled(false);
    count_ = new QLabel(status);
    count_->setObjectName(QStringLiteral("StatusCount"));
    status->addWidget(count_, 1);

    buildMenus();
    frame_.addHeading(caption_);
    frame_.finish(browser_, status, 640, 420,
                  [this] { return fb_ ? storage::UsedRecordCount(fb_) : 0; });

    fb_ = app::OpenCompanyFile(services_.folder, *services_.prompter, *services_.progress);
    if (!fb_) return;
    browser_->Attach(std::make_unique<storage::Browser>(fb_, gBrowseKey, buffer_.data(),
                                                        int32_t(buffer_.size())));
    byNumber_->setChecked(gBrowseKey == app::kCompanyByNumber);
    byName_->setChecked(gBrowseKey != app::kCompanyByNumber);
    Guarded(*services_.prompter, [&] {
        // The list opens on the company in use.
        if (auto found = app::FindCompanyByNumber(fb_, numberInUse()))
            positionOn(found->recNo, found->record);
        else
            browser_->JumpToKey("");
    });
    updateCount();
}

TCompanyManager::~TCompanyManager() {
    browser_->Attach(nullptr);
    if (fb_) storage::CloseFileblock(fb_);
}

void TCompanyManager::buildMenus() {
    frame_.menuBar()->setObjectName(QStringLiteral("MainMenu1"));

    auto action = [this](const char* text, const char* name, auto slot) {
        auto* a = new QAction(QString::fromLatin1(text), this);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QAction* add = action("&Add", "AddItem", [this] { addCompany(); });
    QAction* edit = action("&Edit", "EditItem", [this] { editCompany(); });
    QAction* del = action("&Delete", "DeleteItem", [this] { deleteCompany(); });
    QAction* find = action("&Find", "FindItem", [this] { findCompany(); });
    QAction* list = action("Company &List", "ListItem", [this] { companyList(); });
    QAction* setDefault = action("&Set As Default", "SetDefaultItem", [this] { setAsDefault(); });
    QAction* copyCust = action("Copy Customers to Another Company", "CopyCustItem",
                               [this] { copyTo(app::CopyMode::Customers); });
    QAction* copyProd = action("Copy Products to Another Company", "CopyProdItem",
                               [this] { copyTo(app::CopyMode::Products); });
    QAction* print = action("Print &Window", "PrintWindowItem", [this] { printWindow(); });
    QAction* close = action("&Close", "CloseItem", [this] { closeManager(); });
    byNumber_ =
        action("By &Number", "ByNumberItem", [this] { setBrowseKey(app::kCompanyByNumber); });
    byName_ = action("By N&ame", "ByNameItem", [this] { setBrowseKey(app::kCompanyByName); });
    byNumber_->setCheckable(true);
    byName_->setCheckable(true);
    auto* group = new QActionGroup(this);
    group->addAction(byNumber_);
    group->addAction(byName_);
    QAction* overview = action("&Overview", "OverviewItem", [this] { showHelp(); });
    overview->setEnabled(bool(services_.help));
    SetCommandIcons({{add, "New"},
                     {edit, "Edit"},
                     {del, "Delete"},
                     {find, "Find"},
                     {list, "List"},
                     {copyCust, "Copy"},
                     {copyProd, "Copy"},
                     {print, "Print"},
                     {close, "Close"},
                     {overview, "Help"}});

    frame_.addShortcuts({{add, QKeySequence::New},
                         {find, QKeySequence::Find},
                         {print, QKeySequence::Print},
                         {del, QKeySequence(Qt::Key_Delete)},
                         {overview, QKeySequence::HelpContents}});
    frame_.addMenu(QStringLiteral("&Company"),
                   {add, edit, del, nullptr, find, list, nullptr, setDefault, nullptr, copyCust,
                    copyProd, nullptr, print, nullptr, close});
    frame_.addMenu(QStringLiteral("&Display"), {byNumber_, byName_});
    frame_.addMenu(QStringLiteral("&Help"), {overview});

    context_ = new QMenu(this);
    context_->setObjectName(QStringLiteral("PopupMenu1"));
    ManagerFrame::AddEntries(
        context_, {add, edit, del, nullptr, find, list, setDefault, nullptr, byNumber_, byName_});

    auto* tools = new QToolBar(this);
    tools->setObjectName(QStringLiteral("ToolBar1"));
    tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    auto button = [&](const char* text, const char* name, const char* hint, const char* command,
                      auto slot) {
        auto* b = new QToolButton(tools);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(QString::fromLatin1(text));
        b->setToolTip(QString::fromLatin1(hint));
        b->setAutoRaise(true);
        SetCommandIcon(b, command);
        connect(b, &QToolButton::clicked, this, slot);
        tools->addWidget(b);
        return b;
    };
    button("New", "NewBtn", "Add a new company", "New", [this] { addCompany(); });
    button("Edit", "EditBtn", "Edit the highlighted company", "Edit", [this] { editCompany(); });
    button("Delete", "DeleteBtn", "Delete the highlighted company", "Delete",
           [this] { deleteCompany(); });
    tools->addSeparator();
    button("Find", "FindBtn", "Find a company", "Find", [this] { findCompany(); });
    button("Company List", "ListBtn", "View or print the company list", "List",
           [this] { companyList(); });
    tools->addSeparator();
    button("Help", "HelpBtn", "Help", "Help", [this] {
        showHelp();
    })->setEnabled(bool(services_.help));
    button("Close", "CloseBtn", "Close the company manager", "Close", [this] { closeManager(); });
    frame_.addToolRow(tools);
}

void TCompanyManager::showCaption() {
    const data::FontSetting editorFont = app::ReadSetupFont(inUse_, app::SetupFont::Editor);
    caption_->setFont(QFontOf(editorFont));
    KeepReadable(caption_, QPalette::WindowText, QPalette::Window, QColorOf(editorFont.colour));
    caption_->setText(QString::fromStdString(inUse_.text(Company::Name)));
}

std::string TCompanyManager::numberInUse() const {
    return inUse_.text(Company::CompanyNo);
}

void TCompanyManager::refreshList() {
    Guarded(*services_.prompter, [&] { browser_->Refresh(); });
    updateCount();
}

void TCompanyManager::updateCount() {
    count_->setText(
        QString::fromStdString(app::CompanyCountText(fb_ ? storage::UsedRecordCount(fb_) : 0)));
}

QString TCompanyManager::countText() const {
    return count_->text();
}

std::optional<app::CompanyAt> TCompanyManager::highlighted() const {
    if (!fb_) return std::nullopt;
    const int32_t recNo = browser_->CurrentRecordNumber();
    if (recNo <= 0) return std::nullopt;
    auto record = data::ReadBusinessRecord<Company>(fb_, recNo);
    if (!record) return std::nullopt;
    return app::CompanyAt{recNo, *record};
}

void TCompanyManager::positionOn(int32_t recNo, const data::CompanyRecord& company) {
    browser_->JumpToKey(data::CompanyKey(company, browser_->CurrentKeyNumber()), recNo);
}

// ------------------------------------------------------------------------- commands

void TCompanyManager::addCompany() {
    if (!fb_) return;
    Guarded(*services_.prompter, [&] {
        const int32_t count = storage::UsedRecordCount(fb_);
        app::CompanySetupForm form(
            app::CompanySetupForm::Mode::Add, data::NewCompanyRecord(inUse_, int(count)),
            numberInUse(),
            [this](std::string_view n) { return data::CompanyNumberExists(fb_, n); });
        TCoSetup dialog(form, services_, this);
        if (dialog.exec() != QDialog::Accepted) return;
        const int32_t recNo = app::AddCompany(fb_, form.working(), *services_.prompter);
        updateCount();
        positionOn(recNo, form.working());
    });
}

void TCompanyManager::editCompany() {
    auto current = highlighted();
    if (!current) {
        services_.prompter->beep();
        return;
    }
    Guarded(*services_.prompter, [&] {
        app::CompanySetupForm form(app::CompanySetupForm::Mode::Edit, current->record,
                                   numberInUse(), nullptr);
        TCoSetup dialog(form, services_, this);
        if (dialog.exec() != QDialog::Accepted) return;
        if (!app::ChangeCompany(fb_, current->recNo, current->record, form.working(),
                                *services_.prompter)) {
            browser_->Refresh();
            return;
        }
        // The copy of the company in use beside the data files follows at once: a password
        // moved to the keyring leaves no copy behind.
        std::string error;
        if (!app::SyncLastCompanyPassword(services_.folder, form.working(), &error))
            services_.prompter->inform("Edit Company", error, platform::Icon::Warning);
        if (dialog.reloadCompanyInUse()) {
            // From now on new companies start from the company in use as it now stands.
            result_.inUseEdited = true;
            inUse_ = form.working();
            showCaption();
        }
        positionOn(current->recNo, form.working());
    });
}

void TCompanyManager::deleteCompany() {
    auto current = highlighted();
    if (!current) {
        services_.prompter->beep();
        return;
    }
    Guarded(*services_.prompter, [&] {
        app::DeleteOutcome outcome =
            app::DeleteCompany(services_.folder, fb_, current->recNo, current->record,
                               numberInUse(), services_.passwordCheck, *services_.prompter);
        if (outcome != app::DeleteOutcome::Deleted) return;
        app::ForgetMailPassword(services_.folder, current->record.text(data::Company::CompanyNo),
                                services_.keyring);
        // Its provider sign-in goes too, so that a later company of that number starts afresh.
        app::SignOut(services_.folder, current->record.text(data::Company::CompanyNo),
                     {services_.tokenKeyring, services_.oauth, app::SystemNow});
        browser_->Refresh();
        updateCount();
    });
}

void TCompanyManager::findCompany() {
    if (!fb_) return;
    Guarded(*services_.prompter, [&] {
        TFindForm find(fb_, customers::FindMode::Comp, QStringLiteral("Find Company"), services_,
                       this);
        if (find.exec() != QDialog::Accepted || !find.picked()) return;
        if (auto found = app::FindCompanyByNumber(fb_, find.picked()->cells[1]))
            positionOn(found->recNo, found->record);
    });
}

void TCompanyManager::companyList() {
    if (!fb_) return;
    Guarded(*services_.prompter, [&] {
        auto order = app::AskCompanyListOrder(*services_.prompter);
        if (!order) return;
        const std::vector<std::string> lines =
            app::CompanyListLines(fb_, order->keyNo, services_.clock->now(), *services_.progress);
        std::string error;
        if (!output::WriteTextList(services_.folder, lines, &error)) {
            services_.prompter->inform("Company List", "The list could not be written. " + error,
                                       platform::Icon::Error);
            return;
        }
        const data::FontSetting font = app::ReadSetupFont(inUse_, app::SetupFont::Manager);
        TListViewer::ShowWorkFile(*services_.prompter, QString::fromStdString(order->title),
                                  services_.folder, QFontOf(font), QColorOf(font.colour),
                                  QStringLiteral("Company.RTF"), this);
    });
}

void TCompanyManager::setAsDefault() {
    auto current = highlighted();
    if (!current) {
        services_.prompter->beep();
        return;
    }
    result_.chosenNumber = std::string(data::TrimText(current->record.text(Company::CompanyNo)));
    accept();
}

void TCompanyManager::copyTo(app::CopyMode mode) {
    Guarded(*services_.prompter, [&] {
        TCopyCo dialog(mode, numberInUse(), services_, this);
        if (dialog.exec() != QDialog::Accepted || !dialog.destination()) return;
        const std::string source = data::CompanyPrefix(std::string_view(numberInUse()));
        app::CopyToCompany(services_.folder, mode, source, *dialog.destination(),
                           *services_.prompter);
    });
}

void TCompanyManager::setBrowseKey(int keyNo) {
    byNumber_->setChecked(keyNo == app::kCompanyByNumber);
    byName_->setChecked(keyNo != app::kCompanyByNumber);
    if (!fb_ || keyNo == browser_->CurrentKeyNumber()) return;
    gBrowseKey = keyNo;
    Guarded(*services_.prompter, [&] {
        auto current = highlighted();
        browser_->SetKeyNumber(keyNo);
        if (current) positionOn(current->recNo, current->record);
    });
}

void TCompanyManager::printWindow() {
    QPrinter& printer = platform::qt::ProgramPrinter();
    if (!platform::qt::PrinterAvailable(printer)) {
        services_.prompter->inform("Print",
                                   "No printer is available. Install a printer, or choose "
                                   "printing to a file in the printer set-up.",
                                   platform::Icon::Warning);
        return;
    }
    const QPixmap image = grab();
    printer.setDocName(windowTitle());
    QPainter painter;
    if (!painter.begin(&printer)) {
        services_.prompter->inform("Print", "The window could not be printed.",
                                   platform::Icon::Error);
        return;
    }
    const QRect page = painter.viewport();
    const QSize size = image.size().scaled(page.size(), Qt::KeepAspectRatio);
    painter.drawPixmap(QRect(page.topLeft(), size), image);
    painter.end();
}

void TCompanyManager::showHelp() {
    if (services_.help) services_.help(std::string(app::kCompanyManagerHelpTopic));
}

void TCompanyManager::closeManager() {
    // An edited company in use is taken over again by the main window.
    if (result_.inUseEdited)
        accept();
    else
        QDialog::reject();
}

void TCompanyManager::reject() {
    closeManager();
}

void TCompanyManager::done(int result) {
    frame_.saveBounds();
    QDialog::done(result);
}

void TCompanyManager::showContextMenu(const QPoint& pos) {
    context_->popup(browser_->mapToGlobal(pos));
}

bool TCompanyManager::eventFilter(QObject* watched, QEvent* event) {
    if (watched == browser_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            setAsDefault();
            return true;
        }
        if (key->key() == Qt::Key_Delete) {
            deleteCompany();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace invarro::ui
