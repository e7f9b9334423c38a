#include "ui/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/Installation.h"
#include "app/LineConversion.h"
#include "app/MailPassword.h"
#include "app/MailSignIn.h"
#include "app/MainCommands.h"
#include "app/TilePicture.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/IniFile.h"
#include "data/Open.h"
#include "data/Recovery.h"
#include "data/SideFiles.h"
#include "data/Texts.h"
#include "output/InvDoc.h"
#include "platform/curl/CurlMailer.h"
#include "platform/qt/Printer.h"
#include "platform/qt/QtProgress.h"
#include "platform/qt/QtPrompter.h"
#include "platform/qt/QtShell.h"
#include "platform/zip/ZipArchive.h"
#include "storage/Backend.h"
#include "storage/Engine.h"
#include "storage/Transaction.h"
#include "ui/AboutBox.h"
#include "ui/AgingChart.h"
#include "ui/BackupForm.h"
#include "ui/BankStatements.h"
#include "ui/CalendarForm.h"
#include "ui/ChangeWatcher.h"
#include "ui/CompanyManager.h"
#include "ui/CustForm.h"
#include "ui/DesktopTheme.h"
#include "ui/EMailMsg.h"
#include "ui/InterestWiz.h"
#include "ui/InvList.h"
#include "ui/Labelwiz.h"
#include "ui/PasswordDialog.h"
#include "ui/PayBox.h"
#include "ui/Pictures.h"
#include "ui/ProdForm.h"
#include "ui/ProdInv.h"
#include "ui/REMain.h"
#include "ui/RepeatForm.h"
#include "ui/RptSelect.h"
#include "ui/TermEdit.h"
#include "ui/ThemeIcons.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

// The client area, tiled with the background picture when the company wants one.
class TBackgroundPanel : public QWidget {
  public:
    using QWidget::QWidget;
    void setPicture(const QImage& picture) {
        picture_ = picture;
        update();
    }
    const QImage& picture() const { return picture_; }
    void setShown(bool on) {
        shown_ = on;
        update();
    }
    bool shown() const { return shown_ && !picture_.isNull(); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        if (shown()) {
            p.fillRect(rect(), QBrush(picture_));
            // Under a dark theme the picture shows through a veil of the window colour, so
            // that the area stays dark and the captions on it readable.
            if (IsDarkPalette(palette())) {
                QColor veil = palette().color(QPalette::Window);
                veil.setAlpha(210);
                p.fillRect(rect(), veil);
            }
        } else {
            p.fillRect(rect(), palette().window());
        }
    }

  private:
    QImage picture_;
    bool shown_ = false;
};

namespace {

using Command = TMainForm::Command;
using data::Company;

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), int(s.size()));
}

enum class MenuId { None, File, Tools, Help };
enum class ButtonKind { None, Small, Large };

struct CommandDef {
    Command id;
    MenuId menu;
    const char* caption;  // the menu item
    ButtonKind button;
    const char* buttonText;  // the hint of a small button, the caption of a large one
    const char* mark;        // what the button's icon shows
    QRgb colour;
    bool separatorBefore;
    bool hidesChart;   // opens a manager or wizard in front of the chart
    bool readyStatus;  // sets the status "Ready." first
    const char* statusTip;
};

// clang-format off
const CommandDef kCommands[] = {
    {Command::CompanyManager, MenuId::File, "Co&mpany Manager...", ButtonKind::Small, "Companies/System Options", "Co", 0x3a6ea5, false, true, false, "Add, change and choose the companies and their settings"},
    {Command::CustomerManager, MenuId::File, "&Customer Manager...", ButtonKind::Large, "&Customers", "Cu", 0x1f8a86, false, true, false, "The customer list"},
    {Command::ProductManager, MenuId::File, "&Product Manager...", ButtonKind::Large, "Pro&ducts", "Pr", 0x7a4fa0, false, true, false, "The product list"},
    {Command::InvoiceManager, MenuId::File, "&Invoice Manager...", ButtonKind::Large, "&Invoices", "In", 0x2f5fb3, false, true, true, "Quotes, invoices and payments"},
    {Command::PrinterSetup, MenuId::File, "P&rinter Setup...", ButtonKind::Small, "Printer Setup", "Prn", 0x5f6b78, true, false, false, "Choose the printer, paper and orientation"},
    {Command::EditPaymentTerms, MenuId::File, "&Edit Payment Terms...", ButtonKind::None, nullptr, nullptr, 0, false, false, false, "The list of payment terms"},
    {Command::Exit, MenuId::File, "E&xit", ButtonKind::Small, "Close", "X", 0x9b2d2d, true, false, false, "End the program"},
    {Command::PaymentWizard, MenuId::Tools, "&Payment Wizard...", ButtonKind::Large, "&Payments", "$", 0x2e8b57, false, true, true, "Record payments and deposits"},
    {Command::BankStatements, MenuId::Tools, "Ban&k Statements...", ButtonKind::None, nullptr, nullptr, 0, false, true, false, "Import bank statements, match them to invoices and post the payments"},
    {Command::ReportWizard, MenuId::Tools, "&Report  Wizard...", ButtonKind::Large, "&Reports", "Rp", 0x8a5a2b, false, false, false, "Registers, receivables, sales and tax reports"},
    {Command::InterestWizard, MenuId::Tools, "&Interest Wizard...", ButtonKind::Small, "Interest Wizard", "%", 0xc8781e, false, true, false, "Add interest charges or late fees to overdue accounts"},
    {Command::LabelWizard, MenuId::Tools, "&Label Wizard...", ButtonKind::Small, "Label Wizard", "Lb", 0x6b7d2a, false, false, false, "Mailing labels for the label queue"},
    {Command::RepeatBillingWizard, MenuId::Tools, "Repeat Billing &Wizard...", ButtonKind::Small, "Repeat Billing Wizard", "Rb", 0x4a6378, false, true, false, "Create the repeating bills that are due"},
    {Command::FormLetterWizard, MenuId::Tools, "Form L&etter Wizard...", ButtonKind::Small, "Form Letter Wizard", "Lt", 0x7b5a7e, false, false, false, "Form letters to the customers of the label queue"},
    {Command::SendEMailMessage, MenuId::Tools, "Send E-Mail &Message", ButtonKind::Small, "Send E-mail Message", "@", 0x2a7ab0, false, false, false, "An e-mail note to customers"},
    {Command::AgingChart, MenuId::Tools, "&Aging Chart", ButtonKind::Small, "Aging Chart", "Ag", 0xb03a3a, true, false, false, "Age the receivables now and show the chart"},
    {Command::Calculator, MenuId::Tools, "&Calculator", ButtonKind::Small, "Calculator", "=", 0x55606b, false, false, false, "Start the desktop's calculator"},
    {Command::ViewCalendar, MenuId::Tools, "&View Calendar", ButtonKind::Small, "View Calendar", "31", 0x3b7f4a, false, false, false, "Look at the calendar"},
    {Command::PasswordSetup, MenuId::Tools, "Password &Setup", ButtonKind::None, nullptr, nullptr, 0, true, false, false, "Set, change or remove the start-up password"},
    {Command::DeletePaidInvoices, MenuId::Tools, "&Delete Paid Invoices", ButtonKind::None, nullptr, nullptr, 0, false, false, false, "Remove paid records older than a date"},
    {Command::BackupDataFiles, MenuId::Tools, "&Backup Data Files", ButtonKind::Small, "Backup Files", "Bk", 0x50606e, false, false, false, "Back up or restore all data files"},
    {Command::RebuildDataFiles, MenuId::Tools, "Rebuild Data &Files", ButtonKind::None, nullptr, nullptr, 0, false, false, false, "Rebuild the data and index files of the company in use"},
    {Command::BooksOnServer, MenuId::Tools, "Books &on a Server...", ButtonKind::None, nullptr, nullptr, 0, false, false, false, "Where the books are, and moving them to a database server"},
    {Command::HelpTopics, MenuId::Help, "&Topics", ButtonKind::Small, "Help", "?", 0x2f6db5, false, false, false, "The help pages"},
    {Command::HelpFaq, MenuId::Help, "&Frequent Asked Questions", ButtonKind::None, nullptr, nullptr, 0, false, false, false, "Answers to common questions"},
    {Command::SupportForum, MenuId::Help, "Our &Support Forum", ButtonKind::None, nullptr, nullptr, 0, true, false, false, "The support forum on the internet"},
    {Command::WebSite, MenuId::Help, "Our &Web Site", ButtonKind::Small, "Home", "W", 0x3a7d8c, false, false, false, "The program's home page on the internet"},
    {Command::ProductUpgrades, MenuId::Help, "Product &Upgrades", ButtonKind::None, nullptr, nullptr, 0, false, false, false, "News about upgrades on the internet"},
    {Command::About, MenuId::Help, "&About", ButtonKind::None, nullptr, nullptr, 0, true, false, false, "About this program"},
    {Command::ViewPdfFiles, MenuId::None, nullptr, ButtonKind::Small, "View PDF Files", "PDF", 0xb52f2f, false, false, false, "Open a PDF file"},
};
// The small buttons in toolbar order; Command(-1) separates groups.
const Command kToolbarOrder[] = {
    Command::CompanyManager, Command::PrinterSetup, Command(-1),
    Command::InterestWizard, Command::LabelWizard, Command::RepeatBillingWizard,
    Command::FormLetterWizard, Command::SendEMailMessage, Command(-1),
    Command::AgingChart, Command::Calculator, Command::ViewCalendar, Command::ViewPdfFiles,
    Command::BackupDataFiles, Command(-1),
    Command::HelpTopics, Command::WebSite, Command::Exit,
};
// clang-format on

QString WithoutMnemonic(QString text) {
    return text.remove('&');
}

// A command's key in the table of theme icons: its menu caption (else its button's text)
// without mnemonic, trailing dots and doubled blanks.
std::string CommandIconKey(const CommandDef& def) {
    QString text = WithoutMnemonic(QString::fromLatin1(def.caption ? def.caption : def.buttonText));
    while (text.endsWith('.'))
        text.chop(1);
    return text.simplified().toStdString();
}

QFont CaptionFont(const data::FontSetting& f) {
    QFont font(QString::fromStdString(f.name.empty() ? "Arial" : f.name));
    font.setPointSize(f.size > 0 ? f.size : 10);
    font.setBold(f.style & data::style::Bold);
    font.setItalic(f.style & data::style::Italic);
    font.setUnderline(f.style & data::style::Underline);
    font.setStrikeOut(f.style & data::style::StrikeOut);
    return font;
}

QColor ColourOf(int32_t value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

}  // namespace

// ---------------------------------------------------------------------------- creation

TMainForm::TMainForm(std::string dataFolder, MainFormServices services, QWidget* parent)
    : QMainWindow(parent), folder_(std::move(dataFolder)), services_(std::move(services)) {
    setObjectName("MainForm");
    setWindowTitle(Q(data::kAppTitle));
    if (services_.prompter) {
        prompter_ = services_.prompter;
    } else {
        ownPrompter_ = std::make_unique<platform::qt::QtPrompter>(this);
        prompter_ = ownPrompter_.get();
    }
    if (services_.clock) {
        clock_ = services_.clock;
    } else {
        ownClock_ = std::make_unique<platform::SystemClock>();
        clock_ = ownClock_.get();
    }
    session_.folder = folder_;

    buildWindow();
    buildCommands();

    // Settings or side files that are not what they should be (a FIFO, a link to a device,
    // a huge file) are not read: the user hears of them once, and the defaults stand in.
    if (const std::vector<std::string> unread = data::UnreadSideFiles(folder_); !unread.empty())
        prompter_->ask(data::UnreadSideFilesMessage(unread));

    if (!app::HasDataFiles(folder_)) {
        // No installer prepares the folder here, so the user may have one made now.
        if (prompter_->ask(app::NoDataFilesMessage(folder_)) != platform::Answer::Yes) {
            created_ = false;
            return;
        }
        bool started = storage::EngineStarted();
        if (!started) storage::InitEngine(30);
        app::InstallResult made = app::CreateInstallation(folder_, *prompter_);
        std::string error;
        if (made.ok && !app::WriteInstallationPictures(folder_, &error)) made.message = error;
        if (!started && storage::EngineStarted()) storage::ExitEngine();
        if (!made.ok) {
            prompter_->ask(data::GiveUpMessage(made.message));
            created_ = false;
            return;
        }
    }

    if (!storage::EngineStarted()) {
        storage::InitEngine(30);
        engineStarted_ = storage::EngineOk;
    }
    if (storage::EngineStarted()) {
        // Whatever an interrupted program left in the folder is finished or undone first,
        // without a question.
        std::unique_ptr<platform::Progress> progress = makeProgress();
        const data::FolderRecovery recovered = data::RecoverDataFolder(folder_, *progress);
        if (!recovered.ok) prompter_->ask(data::GiveUpMessage(recovered.error));
        loadCompany();
    } else {
        prompter_->ask(data::GiveUpMessage("The storage engine cannot be started (error " +
                                           std::to_string(storage::EngineError) + ")."));
    }

    passwordDlg_ =
        new TPasswordDlg(this, [this] { openHelp(std::string(app::kPasswordHelpTopic)); });
    if (!services_.calendar)
        ownCalendar_ = std::make_unique<CalendarPicker>(this, &session_.dateOrder);
    applyBounds();
}

TMainForm::~TMainForm() {
    finishEngine();
}

void TMainForm::buildWindow() {
    background_ = new TBackgroundPanel(this);
    background_->setObjectName("Background");
    setCentralWidget(background_);

    caption_ = new QLabel(background_);
    caption_->setObjectName("CoCaption");
    caption_->setWordWrap(true);
    caption_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    // Under "Please Setup Your Company." the way to do it.
    setUpCompany_ = new QPushButton(tr("&Set Up Your Company..."), background_);
    setUpCompany_->setObjectName("SetUpCompanyBtn");
    setUpCompany_->setToolTip(
        tr("Enter the company's name, address and settings (File, Company Manager, Edit)"));
    setUpCompany_->hide();
    connect(setUpCompany_, &QPushButton::clicked, this, [this] {
        if (chartShowing()) hideChart();
        companyManager(true);
    });

    chart_ = new TAgingChart(background_);
    chart_->hide();
    connect(chart_, &TAgingChart::closeRequested, this, &TMainForm::hideChart);
    // Customer balances another program changed move the chart within about a second.
    ChangeWatcher::instance().watch(this, [this](const ChangeWatcher::Names& names) {
        if (!chartShowing() || session_.companyPrefix().empty()) return;
        const std::string customers = storage::FileblockName(data::FileblockName(
            session_.folder, data::FileKind::Customer, session_.companyPrefix()));
        if (std::find(names.begin(), names.end(), customers) == names.end()) return;
        if (const std::optional<invoicing::AgingBuckets> stored = app::StoredAging(session_))
            chart_->setAging(invoicing::AgingLabels(session_.company), *stored);
    });

    auto* modeBox = new QFrame(background_);
    modeBox->setObjectName("ModeBox");
    modeBox->setFrameShape(QFrame::StyledPanel);
    modeBox->setAutoFillBackground(true);
    printerMode_ = new QRadioButton(tr("Pri&nter or Fax"), modeBox);
    printerMode_->setObjectName("PrinterMode");
    eMailMode_ = new QRadioButton(tr("&E-Mail"), modeBox);
    eMailMode_->setObjectName("EMailMode");
    modeLabel_ = new QLabel(modeBox);
    modeLabel_->setObjectName("ModeLabel");
    QFont bold = modeLabel_->font();
    bold.setBold(true);
    modeLabel_->setFont(bold);
    printerMode_->setChecked(true);
    connect(eMailMode_, &QRadioButton::toggled, this, [this](bool on) { setEMailMode(on); });
    auto* modeLayout = new QHBoxLayout(modeBox);
    modeLayout->addWidget(printerMode_);
    modeLayout->addWidget(eMailMode_);
    modeLayout->addSpacing(12);
    modeLayout->addWidget(modeLabel_);

    auto* right = new QVBoxLayout;
    right->addWidget(caption_);
    right->addWidget(setUpCompany_, 0, Qt::AlignLeft);
    right->addWidget(chart_);
    right->addStretch(1);
    right->addWidget(modeBox, 0, Qt::AlignLeft);
    auto* left = new QVBoxLayout;
    left->setObjectName("LargeButtons");
    auto* main = new QHBoxLayout(background_);
    main->addLayout(left);
    main->addLayout(right, 1);

    clockPanel_ = new QLabel(this);
    clockPanel_->setObjectName("ClockPanel");
    clockPanel_->setMinimumWidth(260);
    statusPanel_ = new QLabel(Q(app::kReady), this);
    statusPanel_->setObjectName("StatusPanel");
    // The hints and messages give way when the window is narrow; the permanent panels
    // beside them do not (see keepStatusPanelsWhole).
    statusPanel_->setMinimumWidth(40);
    // Permanent panels: the status tips of menus and buttons must not hide them.
    serverPanel_ = new QLabel(this);
    serverPanel_->setObjectName("ServerPanel");
    serverPanel_->hide();
    statusBar()->addPermanentWidget(serverPanel_);
    statusBar()->addPermanentWidget(clockPanel_);
    statusBar()->addPermanentWidget(statusPanel_, 1);
    if (services_.booksServer) {
        // Who works in the books changes while the program runs: asked every 15 seconds.
        auto* serverTimer = new QTimer(this);
        serverTimer->setInterval(15000);
        connect(serverTimer, &QTimer::timeout, this, &TMainForm::updateServerPanel);
        serverTimer->start();
        updateServerPanel();
    }
    clockTimer_ = new QTimer(this);
    clockTimer_->setInterval(1000);
    connect(clockTimer_, &QTimer::timeout, this, &TMainForm::updateClock);
    clockTimer_->start();
    updateClock();
    // Postings of the windows sync only the journal; while the program is idle the files
    // they changed are synced and the journal emptied, every two seconds at most.
    auto* settle = new QTimer(this);
    settle->setInterval(2000);
    connect(settle, &QTimer::timeout, this, [] { storage::SettleJournal(); });
    settle->start();
    setEMailMode(false);
}

void TMainForm::buildCommands() {
    QMenu* menus[4] = {nullptr, menuBar()->addMenu(tr("&File")), menuBar()->addMenu(tr("&Tools")),
                       menuBar()->addMenu(tr("&Help"))};
    menus[1]->setObjectName("FileMenu");
    menus[2]->setObjectName("ToolsMenu");
    menus[3]->setObjectName("HelpMenu");
    auto* large = background_->findChild<QVBoxLayout*>("LargeButtons");

    for (const CommandDef& def : kCommands) {
        CommandSlot slot;
        slot.hidesChart = def.hidesChart;
        slot.readyStatus = def.readyStatus;
        const Command id = def.id;
        // The theme's icon where the command has one, else the drawn badge.
        QIcon icon = CommandIcon(CommandIconKey(def),
                                 def.mark ? BadgeIcon(def.mark, QColor(def.colour)) : QIcon());
        if (def.menu != MenuId::None) {
            QMenu* menu = menus[int(def.menu)];
            if (def.separatorBefore) menu->addSeparator();
            slot.action = menu->addAction(icon, tr(def.caption));
            slot.action->setStatusTip(tr(def.statusTip));
            if (id == Command::HelpTopics) slot.action->setShortcut(QKeySequence::HelpContents);
            connect(slot.action, &QAction::triggered, this, [this, id] { runCommand(id); });
        }
        if (def.button != ButtonKind::None) {
            auto* b = new QToolButton(this);
            b->setObjectName(WithoutMnemonic(def.buttonText).remove(' ').remove('/') + "Button");
            b->setIcon(icon);
            b->setAutoRaise(true);
            // Icon-only buttons are named for screen readers by their caption.
            b->setAccessibleName(WithoutMnemonic(tr(def.buttonText)));
            if (def.button == ButtonKind::Large) {
                b->setText(tr(def.buttonText));
                b->setToolTip(WithoutMnemonic(tr(def.buttonText)));
                b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
                b->setIconSize(QSize(32, 32));
                b->setMinimumWidth(96);
                b->setParent(background_);
                large->addWidget(b);
            } else {
                b->setToolTip(tr(def.buttonText));
                b->setIconSize(QSize(24, 24));
            }
            b->setStatusTip(tr(def.statusTip));
            connect(b, &QToolButton::clicked, this, [this, id] { runCommand(id); });
            slot.button = b;
        }
        commands_[id] = std::move(slot);
    }
    large->addStretch(1);

    auto* bar = addToolBar(tr("Commands"));
    bar->setObjectName("ToolBar");
    bar->setMovable(false);
    for (Command id : kToolbarOrder) {
        if (int(id) < 0) {
            bar->addSeparator();
            continue;
        }
        bar->addWidget(commands_[id].button);
    }

    // The commands whose windows are part of this program.
    setCommandHandler(Command::PrinterSetup, [](TMainForm& f) {
        if (f.services_.printerSetup)
            f.services_.printerSetup();
        else
            platform::qt::ShowPrinterSetup(&f);
    });
    setCommandHandler(Command::Exit, [](TMainForm& f) { f.close(); });
    setCommandHandler(Command::CustomerManager, [](TMainForm& f) {
        std::unique_ptr<platform::Progress> progress = f.makeProgress();
        CustomerWindowContext context = f.customerContext(progress.get());
        const std::size_t queued = f.session_.labelQueue.size();
        const bool opened = TCustForm::Run(context, &f);
        if (f.session_.labelQueue.size() > queued) f.session_.labelsWaiting = true;
        // Without its customer file the program cannot go on ("Unable to open database").
        if (!opened) f.close();
    });
    setCommandHandler(Command::ProductManager, [](TMainForm& f) {
        std::unique_ptr<platform::Progress> progress = f.makeProgress();
        // A product file that cannot be opened has been reported; the program goes on.
        TEditProd::Run(f.customerContext(progress.get()), &f);
    });
    setCommandHandler(Command::InvoiceManager, [](TMainForm& f) {
        std::unique_ptr<platform::Progress> progress = f.makeProgress();
        InvoiceWindowContext context;
        static_cast<CustomerWindowContext&>(context) = f.customerContext(progress.get());
        context.shell = &f.shell();
        context.editor = InvoiceEditorFor(&f.shell());
        const std::size_t queued = f.session_.labelQueue.size();
        const bool opened = Tinvlist::Run(context, &f);
        if (f.session_.labelQueue.size() > queued) f.session_.labelsWaiting = true;
        // Without its invoice files the program cannot go on ("Unable to open databases").
        if (!opened) f.close();
    });
    setCommandHandler(Command::PaymentWizard, [](TMainForm& f) {
        std::unique_ptr<platform::Progress> progress = f.makeProgress();
        TPayBox::Run(f.customerContext(progress.get()), &f);
    });
    setCommandHandler(Command::LabelWizard, [](TMainForm& f) {
        std::unique_ptr<platform::Progress> progress = f.makeProgress();
        TLabelWiz::Run(f.customerContext(progress.get()), &f);
    });
    setCommandHandler(Command::FormLetterWizard, [](TMainForm& f) {
        std::unique_ptr<platform::Progress> progress = f.makeProgress();
        TREMain::Run(f.customerContext(progress.get()), &f);
    });
    setCommandHandler(Command::SendEMailMessage, [](TMainForm& f) {
        std::unique_ptr<platform::Progress> progress = f.makeProgress();
        TEMailMsg::Run(f.customerContext(progress.get()), &f);
    });
    setCommandHandler(Command::EditPaymentTerms, [](TMainForm& f) {
        TTermEdit::Run(
            *f.prompter_, f.folder_, [&f](const std::string& topic) { f.openHelp(topic); }, &f);
    });
    setCommandHandler(Command::AgingChart, [](TMainForm& f) {
        if (f.chartShowing())
            f.prompter().ask(app::AgingChartShowingMessage());
        else
            f.runAging(true);
    });
    setCommandHandler(Command::Calculator, [](TMainForm& f) {
        if (!f.shell().startCalculator()) f.prompter().ask(app::CalculatorNotFoundMessage());
    });
    setCommandHandler(Command::ViewCalendar, [](TMainForm& f) {
        TCalendarForm::View(&f, tr("View Calendar"), data::Today(f.clock()), f.session_.dateOrder);
    });
    setCommandHandler(Command::CompanyManager, [](TMainForm& f) { f.companyManager(); });
    setCommandHandler(Command::PasswordSetup, [](TMainForm& f) { f.setupPassword(); });
    setCommandHandler(Command::DeletePaidInvoices, [](TMainForm& f) { f.purgePaidRecords(); });
    setCommandHandler(Command::RebuildDataFiles, [](TMainForm& f) { f.rebuildDataFiles(); });
    if (services_.booksServer)
        setCommandHandler(Command::BooksOnServer, [](TMainForm& f) { f.booksOnServer(); });
    setCommandHandler(Command::HelpTopics,
                      [](TMainForm& f) { f.openHelp(std::string(app::kHelpContents)); });
    setCommandHandler(Command::HelpFaq,
                      [](TMainForm& f) { f.openHelp(std::string(app::kHelpFaq)); });
    setCommandHandler(Command::SupportForum,
                      [](TMainForm& f) { f.askWebPage(int(app::WebPage::SupportForum)); });
    setCommandHandler(Command::WebSite,
                      [](TMainForm& f) { f.askWebPage(int(app::WebPage::HomePage)); });
    setCommandHandler(Command::ProductUpgrades,
                      [](TMainForm& f) { f.askWebPage(int(app::WebPage::Upgrades)); });
    setCommandHandler(Command::About, [](TMainForm& f) {
        TAboutBox box(&f, QString::fromStdString(f.folder_));
        box.exec();
    });
    setCommandHandler(Command::ViewPdfFiles, [](TMainForm& f) { f.viewPdfFiles(); });
    setCommandHandler(Command::BackupDataFiles, [](TMainForm& f) { f.backupDataFiles(true); });
    setCommandHandler(Command::RepeatBillingWizard, [](TMainForm& f) {
        std::unique_ptr<platform::Progress> progress = f.makeProgress();
        TSelectRepeat::Run(f.customerContext(progress.get()), &f);
    });
    setCommandHandler(Command::BankStatements, [](TMainForm& f) {
        std::unique_ptr<platform::Progress> progress = f.makeProgress();
        TBankStatements::Run(f.customerContext(progress.get()), &f);
    });
    setCommandHandler(Command::InterestWizard, [](TMainForm& f) {
        std::unique_ptr<platform::Progress> progress = f.makeProgress();
        TInterestWiz::Run(f.session_, f.customerContext(progress.get()), f.hooks(), &f);
    });
    setCommandHandler(Command::ReportWizard, [](TMainForm& f) {
        // The report window's prints and saves can be stopped from it.
        std::unique_ptr<platform::Progress> progress = f.makeProgress(true);
        TRptSelect::Run(f.customerContext(progress.get()), &f.shell(), &f);
    });
    // Every other command stays disabled until its window exists.
    for (auto& [id, slot] : commands_) {
        if (slot.handler) continue;
        if (slot.action) slot.action->setEnabled(false);
        if (slot.button) slot.button->setEnabled(false);
    }
}

void TMainForm::applyHints(bool show) {
    for (const CommandDef& def : kCommands) {
        QToolButton* b = commands_[def.id].button;
        if (!b) continue;
        b->setToolTip(show ? WithoutMnemonic(tr(def.buttonText)) : QString());
    }
}

void TMainForm::loadCompany() {
    auto company = app::LoadCompanyInUse(folder_, *prompter_);
    if (company) {
        session_.company = *company;
        companyLoaded_ = true;
    } else {
        prompter_->ask(data::GiveUpMessage(
            "The file " + data::JoinPath(folder_, data::kLastCompanyFile) + " cannot be read."));
        session_.company = data::NewRecord<Company>();
    }
    applyHints(session_.company.byte(Company::ShowHints) != 0);
    app::WarnAboutComputerDate(*clock_, *prompter_);
    app::ApplyCompanySettings(session_);
    applyLook(app::StartCompanyLook(session_, *prompter_));
}

void TMainForm::applyLook(const app::CompanyLook& look) {
    caption_->setText(QString::fromStdString(look.caption));
    setUpCompany_->setVisible(!look.setUp);
    if (look.setUp) {
        caption_->setFont(CaptionFont(look.font));
        captionColour_ = ColourOf(look.font.colour);
    } else {
        QFont f = font();
        f.setPointSize(14);
        f.setBold(true);
        caption_->setFont(f);
        captionColour_ = QColor();
    }
    applyCaptionColour();

    switch (look.source) {
        case app::BackgroundSource::None:
            background_->setPicture(QImage());
            break;
        case app::BackgroundSource::File: {
            QImage picture(QString::fromStdString(look.file));
            background_->setPicture(picture.isNull() ? BuiltInTile() : picture);
            break;
        }
        case app::BackgroundSource::BuiltIn:
            background_->setPicture(BuiltInTile());
            break;
        case app::BackgroundSource::Keep:
            break;
    }
    background_->setShown(look.showBackground);
}

void TMainForm::applyCaptionColour() {
    // The company's colour where it reads on the window's background (a dark one under a
    // dark theme), the theme's text colour otherwise.
    const QPalette& theme = palette();
    const QColor text = theme.color(QPalette::WindowText);
    QPalette pal = caption_->palette();
    pal.setColor(QPalette::WindowText,
                 captionColour_.isValid()
                     ? ReadableOn(captionColour_, theme.color(QPalette::Window), text)
                     : text);
    caption_->setPalette(pal);
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Shown, the panels have the desktop's style and font.
    if (serverPanel_) keepStatusPanelsWhole();
}

void TMainForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (caption_ && (event->type() == QEvent::PaletteChange ||
                     event->type() == QEvent::ApplicationPaletteChange))
        applyCaptionColour();
    if (serverPanel_ && event->type() == QEvent::FontChange) keepStatusPanelsWhole();
}

void TMainForm::applyBounds() {
    data::IniFile ini(data::IniFilePath(folder_));
    data::WindowBounds b =
        data::ReadWindowBounds(ini, kBoundsSection, kDesignedWidth, kDesignedHeight);
    if (QApplication::primaryScreen()) {
        const QRect a = ClientArea(this);
        b = data::FitToWorkArea(b, data::ScreenArea{a.x(), a.y(), a.width(), a.height()});
    }
    move(b.left, b.top);
    resize(std::max(b.width, 200), std::max(b.height, 150));
}

bool TMainForm::saveBounds() {
    const QRect g = (isMaximized() || isMinimized()) ? normalGeometry() : QRect(pos(), size());
    data::IniFile ini(data::IniFilePath(folder_));
    return data::WriteWindowBounds(ini, kBoundsSection,
                                   data::WindowBounds{g.x(), g.y(), g.width(), g.height()});
}

// ---------------------------------------------------------------------------- start-up

bool TMainForm::startUp() {
    app::PasswordDialogPort& passwords = services_.passwords
                                             ? *services_.passwords
                                             : *static_cast<app::PasswordDialogPort*>(passwordDlg_);
    if (!app::CheckStartupPassword(folder_, passwords, *prompter_)) return false;
    applyPrintMode();
    if (!companyLoaded_) return true;
    if (app::FindOldLineFile(folder_, session_.companyPrefix())) {
        auto progress = makeProgress();
        app::ConvertOldLineFile(session_, *prompter_, *progress, hooks());
    }
    if (app::AgingDueToday(session_, *clock_))
        runAging(false);
    else
        showStoredAging();
    return true;
}

void TMainForm::showStoredAging() {
    // Aged already today (or in another copy of the folder): the chart shows what the last
    // run left in the customer records.
    const std::optional<invoicing::AgingBuckets> stored = app::StoredAging(session_);
    if (!stored || !app::ShowsChartAtStart(session_, *stored)) return;
    chart_->setAging(invoicing::AgingLabels(session_.company), *stored);
    chart_->show();
    setStatus(Q(app::kChartStatus));
}

void TMainForm::applyPrintMode() {
    const bool eMail = session_.company.yes(Company::DefaultToEMail);
    (eMail ? eMailMode_ : printerMode_)->setChecked(true);
    setEMailMode(eMail);
}

void TMainForm::setEMailMode(bool on) {
    session_.eMailMode = on;
    modeLabel_->setText(on ? tr("System Mode: E-Mail") : tr("System Mode: Printer / Fax"));
}

// ---------------------------------------------------------------------------- commands

void TMainForm::setCommandHandler(Command command, Handler handler) {
    CommandSlot& slot = commands_[command];
    slot.handler = std::move(handler);
    const bool on = bool(slot.handler);
    if (slot.action) slot.action->setEnabled(on);
    if (slot.button) slot.button->setEnabled(on);
}

bool TMainForm::commandEnabled(Command command) const {
    auto it = commands_.find(command);
    return it != commands_.end() && bool(it->second.handler);
}

namespace {

// Commands that work on the files of the company in use.
bool NeedsCompanyFiles(TMainForm::Command c) {
    using C = TMainForm::Command;
    switch (c) {
        case C::CustomerManager:
        case C::ProductManager:
        case C::InvoiceManager:
        case C::PaymentWizard:
        case C::ReportWizard:
        case C::InterestWizard:
        case C::LabelWizard:
        case C::RepeatBillingWizard:
        case C::FormLetterWizard:
        case C::SendEMailMessage:
        case C::AgingChart:
        case C::DeletePaidInvoices:
        case C::BackupDataFiles:
        case C::RebuildDataFiles:
            return true;
        default:
            return false;
    }
}

}  // namespace

void TMainForm::runCommand(Command command) {
    auto it = commands_.find(command);
    if (it == commands_.end() || !it->second.handler) return;
    // Without a company in use there are no company files to work on: only the company
    // manager (to choose or set up one) and the commands that need no files remain.
    if (!companyLoaded_ && NeedsCompanyFiles(command)) {
        prompter_->ask(data::GiveUpMessage(
            "No company is in use. Choose or set up a company in the Company Manager first."));
        return;
    }
    if (it->second.hidesChart) chart_->hide();
    if (it->second.readyStatus) setStatus(Q(app::kReady));
    Handler handler = it->second.handler;  // a handler may replace itself
    handler(*this);
}

QAction* TMainForm::menuAction(Command command) const {
    auto it = commands_.find(command);
    return it == commands_.end() ? nullptr : it->second.action;
}

QToolButton* TMainForm::toolButton(Command command) const {
    auto it = commands_.find(command);
    return it == commands_.end() ? nullptr : it->second.button;
}

app::RunHooks TMainForm::hooks() {
    app::RunHooks h;
    h.status = [this](const std::string& text) {
        setStatus(QString::fromStdString(text));
        statusPanel_->repaint();
    };
    h.busy = [](bool on) {
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    };
    return h;
}

CustomerWindowContext TMainForm::customerContext(platform::Progress* progress) {
    CustomerWindowContext c;
    c.dataFolder = folder_;
    c.company = &session_.company;
    c.prompter = prompter_;
    c.progress = progress;
    c.clock = clock_;
    c.labelQueue = &session_.labelQueue;
    c.selectedCustomer = &session_.selectedCustomer;
    c.emailMode = session_.eMailMode;
    c.mailer = &mailer();
    c.mailPassword = [this](const data::CompanyRecord& company, std::string* error) {
        return app::LoginPassword(folder_, company, services_.keyring, error);
    };
    c.mailToken = [this](const data::CompanyRecord& company,
                         std::string* error) -> std::optional<output::MailTokenLogin> {
        const std::optional<app::TokenLogin> token = app::MailAccessToken(
            folder_, company, {services_.tokenKeyring, services_.oauth, app::SystemNow}, error);
        if (!token) return std::nullopt;
        return output::MailTokenLogin{token->user, token->accessToken};
    };
    c.mainStatus = [this](const QString& text) { setStatus(text); };
    c.labelsWaiting = [this](bool waiting) { session_.labelsWaiting = waiting; };
    c.openHelp = [this](const std::string& topic) { openHelp(topic); };
    c.rebuildDataFiles = [this] { rebuildDataFiles(); };
    c.shell = &shell();
    return c;
}

std::unique_ptr<platform::Progress> TMainForm::makeProgress(bool cancellable) {
    if (services_.progress) return services_.progress();
    return std::make_unique<platform::qt::QtProgress>(this, cancellable);
}

platform::Shell& TMainForm::shell() {
    if (services_.shell) return *services_.shell;
    if (!ownShell_) ownShell_ = std::make_unique<platform::qt::QtShell>();
    return *ownShell_;
}

platform::Mailer& TMainForm::mailer() {
    if (services_.mailer) return *services_.mailer;
    if (!ownMailer_) ownMailer_ = std::make_unique<platform::curl::CurlMailer>();
    return *ownMailer_;
}

void TMainForm::runAging(bool forced) {
    auto progress = makeProgress();
    app::AgingOutcome outcome =
        app::RunAging(session_, forced, *clock_, *prompter_, *progress, hooks());
    // Another program working in the same books aged them today already: its figures.
    if (!forced && outcome.status == app::AgingStatus::NotNeeded &&
        !session_.company.money(data::Company::ARBalance).isZero())
        return showStoredAging();
    if (outcome.status == app::AgingStatus::Done && outcome.showChart) {
        chart_->setAging(invoicing::AgingLabels(session_.company), outcome.totals);
        chart_->show();
        setStatus(Q(app::kChartStatus));
    }
}

void TMainForm::hideChart() {
    chart_->hide();
    setStatus(Q(app::kReady));
}

bool TMainForm::chartShowing() const {
    return !chart_->isHidden();
}

void TMainForm::purgePaidRecords() {
    app::DatePickerPort& calendar = services_.calendar
                                        ? *services_.calendar
                                        : *static_cast<app::DatePickerPort*>(ownCalendar_.get());
    app::PurgePaidRecords(session_, *clock_, *prompter_, calendar, hooks());
}

void TMainForm::setupPassword() {
    app::PasswordDialogPort& passwords = services_.passwords
                                             ? *services_.passwords
                                             : *static_cast<app::PasswordDialogPort*>(passwordDlg_);
    app::SetupPassword(folder_, passwords, *prompter_);
}

void TMainForm::rebuildDataFiles() {
    auto progress = makeProgress();
    app::RebuildDataFiles(session_, *prompter_, *progress, hooks());
}

void TMainForm::openHelp(const std::string& keyword) {
    const std::string page = app::HelpPagePath(services_.helpFolder, keyword);
    if (services_.helpFolder.empty() || !data::FileExists(page)) {
        prompter_->ask(app::HelpMissingMessage(keyword));
        return;
    }
    if (!shell().openFile(page))
        prompter_->ask(
            data::GiveUpMessage("No program was found to show the help page " + page + "."));
}

void TMainForm::askWebPage(int which) {
    const auto page = app::WebPage(which);
    if (prompter_->ask(app::WebPageQuestion(page)) != platform::Answer::Yes) return;
    if (!shell().openUrl(app::WebPageAddress(page)))
        prompter_->ask(data::GiveUpMessage("No web browser could be started for " +
                                           app::WebPageAddress(page) + "."));
}

void TMainForm::viewPdfFiles() {
    // Invoices and other documents are written into the data folder's "pdf" folder.
    const std::string pdfFolder = output::PdfFolder(folder_);
    const std::string start =
        QFileInfo(QString::fromStdString(pdfFolder)).isDir() ? pdfFolder : folder_;
    const QString name =
        services_.choosePdfFile
            ? services_.choosePdfFile()
            : QFileDialog::getOpenFileName(this, tr("Open PDF File"), QString::fromStdString(start),
                                           tr("PDF files (*.pdf *.PDF)"));
    if (name.isEmpty()) return;
    if (!app::IsPdfFileName(name.toStdString())) {
        prompter_->ask(app::WrongPdfExtensionMessage());
        return;
    }
    if (!shell().openFile(name.toStdString()))
        prompter_->ask(data::GiveUpMessage("No program was found to show the PDF file " +
                                           name.toStdString() + "."));
}

void TMainForm::companyManager(bool setUpInUse) {
    auto progress = makeProgress();
    WindowServices services;
    services.folder = folder_;
    services.prompter = prompter_;
    services.progress = progress.get();
    services.clock = clock_;
    services.keyring = services_.keyring;
    services.tokenKeyring = services_.tokenKeyring;
    services.oauth = services_.oauth;
    services.openUrl = [this](const std::string& url) { return shell().openUrl(url); };
    services.help = [this](const std::string& topic) { openHelp(topic); };
    services.passwordCheck = [this] {
        app::PasswordDialogPort& passwords =
            services_.passwords ? *services_.passwords
                                : *static_cast<app::PasswordDialogPort*>(passwordDlg_);
        return app::CheckStartupPassword(folder_, passwords, *prompter_);
    };
    app::CompanyManagerResult result;
    {
        TCompanyManager manager(session_.company, services, this);
        if (!manager.opened()) {
            // Without the company file the program cannot go on.
            close();
            return;
        }
        // The manager opens on the company in use: its set-up follows once the manager shows.
        if (setUpInUse) QTimer::singleShot(0, &manager, [&manager] { manager.editCompany(); });
        if (manager.exec() != QDialog::Accepted) return;
        result = manager.managerResult();
    }  // the manager has closed the company file
    if (result.chosenNumber) {
        auto chosen =
            app::CompanyAfterManager(folder_, result, session_.company.text(Company::CompanyNo));
        if (!chosen) {
            prompter_->ask(data::GiveUpMessage("Company " + *result.chosenNumber +
                                               " could not be read from the company file."));
            return;
        }
        reloadCompanyInUse(chosen, false);
    } else if (result.inUseEdited) {
        reloadCompanyInUse(std::nullopt, true);
    }
}

void TMainForm::reloadCompanyInUse(const std::optional<data::CompanyRecord>& chosen,
                                   bool editedInUse) {
    std::optional<data::CompanyRecord> next;
    if (editedInUse)
        next = app::ReadCompanyByNumber(folder_, session_.company.text(Company::CompanyNo),
                                        *prompter_);
    else
        next = chosen;
    if (!next) return;
    session_.company = *next;
    companyLoaded_ = true;
    std::string error;
    if (!data::WriteLastCompany(folder_, session_.company, &error))
        prompter_->ask(data::GiveUpMessage(error));
    app::ApplyCompanySettings(session_);
    applyLook(app::ReloadCompanyLook(session_));
    applyPrintMode();
    update();
    if (session_.version1Imported) {
        session_.version1Imported = false;
        rebuildDataFiles();
        runAging(true);
    }
    if (app::AgingDueToday(session_, *clock_)) runAging(false);
}

void TMainForm::backupDataFiles(bool restoreAllowed) {
    if (!services_.archive && !ownArchive_)
        ownArchive_ = std::make_unique<platform::zip::ZipArchive>();
    BackupWindowContext c;
    c.dataFolder = folder_;
    c.dateOrder = session_.dateOrder;
    c.prompter = prompter_;
    c.clock = clock_;
    c.archive = services_.archive ? services_.archive : ownArchive_.get();
    c.restoreAllowed = restoreAllowed;
    c.openHelp = [this](const std::string& topic) { openHelp(topic); };
    c.mainStatus = [this](const QString& text) { setStatus(text); };
    c.hideWorkingPanel = [this] {
        if (chartShowing()) hideChart();
    };
    c.closeCompanyFiles = [this](std::string* error) { return closeCompanyFiles(error); };
    c.reopenCompany = [this] { reopenCompany(); };
    c.chooseFolder = services_.chooseBackupFolder;
    c.chooseArchive = services_.chooseBackupArchive;
    TBackupForm form(std::move(c), this);
    form.exec();
}

void TMainForm::booksOnServer() {
    if (!services_.booksServer) return;
    BooksServerContext c;
    c.port = services_.booksServer;
    c.prompter = prompter_;
    c.closeCompanyFiles = [this](std::string* error) { return closeCompanyFiles(error); };
    c.reopenCompany = [this] { reopenCompany(); };
    TBooksServerDialog dialog(std::move(c), this);
    dialog.exec();
    updateServerPanel();
}

void TMainForm::updateServerPanel() {
    const std::string text = services_.booksServer ? services_.booksServer->statusText() : "";
    serverPanel_->setText(Q(text));
    serverPanel_->setVisible(!text.empty());
    keepStatusPanelsWhole();
}

void TMainForm::keepStatusPanelsWhole() {
    // The main window's own layout does not count the status bar's panels: a window made
    // as narrow as it goes would cut the server panel and lay the clock over the hints.
    // Its minimum width is widened to hold them.
    setMinimumWidth(0);
    int need = layout() ? layout()->minimumSize().width() : 0;
    if (statusBar()->isVisibleTo(this)) {
        // The bar's layouts keep the sizes of their panels until asked again.
        for (QLayout* l : statusBar()->findChildren<QLayout*>())
            l->invalidate();
        need = std::max(need, statusBar()->minimumSizeHint().width());
    }
    // Never wider than the screen: there the panels give way rather than the window.
    if (const QScreen* s = screen()) need = std::min(need, s->availableGeometry().width());
    setMinimumWidth(need);
}

bool TMainForm::closeCompanyFiles(std::string*) {
    if (storage::EngineStarted()) storage::ExitEngine();
    return true;
}

void TMainForm::reopenCompany() {
    if (!storage::EngineStarted()) storage::InitEngine(30);
    if (!storage::EngineStarted()) {
        companyLoaded_ = false;
        prompter_->ask(data::GiveUpMessage("The storage engine cannot be started (error " +
                                           std::to_string(storage::EngineError) + ")."));
        return;
    }
    auto company = app::LoadCompanyInUse(folder_, *prompter_);
    if (!company) {
        // Without it no command may work on company files until one is chosen again.
        companyLoaded_ = false;
        prompter_->ask(data::GiveUpMessage(
            "The file " + data::JoinPath(folder_, data::kLastCompanyFile) + " cannot be read."));
        return;
    }
    session_.company = *company;
    companyLoaded_ = true;
    app::ApplyCompanySettings(session_);
    applyLook(app::ReloadCompanyLook(session_));
    applyPrintMode();
    update();
    if (app::AgingDueToday(session_, *clock_)) runAging(false);
}

void TMainForm::restoreAndRaise() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

// ---------------------------------------------------------------------------- state

void TMainForm::setStatus(const QString& text) {
    statusPanel_->setText(text);
}

QString TMainForm::statusText() const {
    return statusPanel_->text();
}

QString TMainForm::clockText() const {
    return clockPanel_->text();
}

QString TMainForm::captionText() const {
    return caption_->text();
}

QString TMainForm::modeText() const {
    return modeLabel_->text();
}

bool TMainForm::backgroundShown() const {
    return background_->shown();
}

QImage TMainForm::backgroundPicture() const {
    return background_->picture();
}

void TMainForm::updateClock() {
    clockPanel_->setText(QString::fromStdString(data::FormatLongDateTime(clock_->now())));
}

// ---------------------------------------------------------------------------- the end

void TMainForm::closeEvent(QCloseEvent* event) {
    if (session_.labelsWaiting &&
        prompter_->ask(platform::Message{
            "Please Confirm",
            "You have labels in the print queue that you have not printed or saved to a file. "
            "Exit anyway?",
            platform::Icon::Question, platform::Buttons::YesNo, platform::Answer::No}) !=
            platform::Answer::Yes) {
        event->ignore();
        return;
    }
    if (created_ && companyLoaded_ && session_.company.yes(Company::BackupOnExit))
        backupDataFiles(false);
    finishEngine();
    if (created_) saveBounds();
    clockTimer_->stop();
    event->accept();
}

void TMainForm::finishEngine() {
    if (engineStarted_ && storage::EngineStarted()) storage::ExitEngine();
    engineStarted_ = false;
}

}  // namespace invarro::ui
