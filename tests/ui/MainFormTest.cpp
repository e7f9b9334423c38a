// The main window offscreen: start-up on a new and on a set-up installation, the
// commands and their states, the aging chart, the print mode, the end of the program.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <utility>

#include "app/Aging.h"
#include "app/Demo.h"
#include "app/Installation.h"
#include "app/TilePicture.h"
#include "data/Fileblocks.h"
#include "data/IniFile.h"
#include "data/SideFiles.h"
#include "data/Update.h"
#include "platform/qt/QtShell.h"
#include "storage/Backend.h"
#include "storage/Engine.h"
#include "support/Modal.h"
#include "support/QtApp.h"
#include "support/RecordingProgress.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui/AgingChart.h"
#include "ui/ChangeWatcher.h"
#include "ui/CoSetup.h"
#include "ui/CompanyManager.h"
#include "ui/CustForm.h"
#include "ui/DesktopTheme.h"
#include "ui/IndexBrowserControl.h"
#include "ui/InterestWiz.h"
#include "ui/InvList.h"
#include "ui/Labelwiz.h"
#include "ui/MainForm.h"
#include "ui/ProdForm.h"
#include "ui/REMain.h"
#include "ui/RepeatForm.h"
#include "ui/RptSelect.h"
#include "ui/TermEdit.h"
#include "ui/ThemeIcons.h"

namespace invarro::ui {
namespace {

using Command = TMainForm::Command;
using data::Company;
using data::Money;
using platform::Answer;
using testing::ScriptedPrompter;
using testing::TempDir;
using testing::WhenModal;

class FakeShell : public platform::Shell {
  public:
    bool openFile(const std::string& path) override {
        files.push_back(path);
        return works;
    }
    bool openUrl(const std::string& url) override {
        urls.push_back(url);
        return works;
    }
    bool startCalculator() override {
        ++calculators;
        return works;
    }
    std::vector<std::string> files, urls;
    int calculators = 0;
    bool works = true;
};

class Passwords : public app::PasswordDialogPort {
  public:
    app::PasswordEntry askPassword(const std::string& title, bool) override {
        titles.push_back(title);
        app::PasswordEntry e = answers.empty() ? app::PasswordEntry{} : answers.front();
        if (!answers.empty()) answers.pop_front();
        return e;
    }
    std::deque<app::PasswordEntry> answers;
    std::vector<std::string> titles;
};

// Every status window the form opens reports to one recorder.
class ForwardingProgress : public platform::Progress {
  public:
    explicit ForwardingProgress(platform::Progress& to) : to_(to) {}
    void start(const std::string& title, int lines) override { to_.start(title, lines); }
    void setLine(int index, const std::string& text) override { to_.setLine(index, text); }
    bool step() override { return to_.step(); }
    void finish() override { to_.finish(); }

  private:
    platform::Progress& to_;
};

constexpr const char* kNoCalculator =
    "No calculator was found. These were looked for on the search path (PATH): "
    "gnome-calculator, kcalc, galculator, qalculate-gtk, mate-calc, xcalc. Install one of them "
    "to use this command.";

class MainFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::QtApp();
        folder = dir.file("data");
    }
    void TearDown() override {
        form.reset();
        if (storage::EngineStarted()) storage::ExitEngine();
    }

    // Runs f with the storage engine started, as the installation tools do.
    template <class F>
    void withEngine(F f) {
        storage::InitEngine(30);
        f();
        storage::ExitEngine();
    }
    void install(bool demo = false) {
        withEngine([&] {
            ScriptedPrompter quiet;
            app::InstallResult r = demo ? app::CreateDemoInstallation(folder, quiet)
                                        : app::CreateInstallation(folder, quiet);
            ASSERT_TRUE(r.ok) << r.message;
        });
    }
    // Changes the company record in the company file and in LastCo.Dat.
    template <class F>
    void changeCompany(F change) {
        withEngine([&] {
            storage::Fileblock* fb = storage::OpenFileblock(folder + "/Company", false);
            ASSERT_TRUE(storage::EngineOk);
            data::CompanyRecord probe;
            probe.setText(Company::CompanyNo, "1");
            auto found = data::FindAtOrAfter<Company>(fb, 1, probe);
            ASSERT_TRUE(found);
            change(found->record);
            storage::PutRecord(fb, found->recNo, found->record.data());
            storage::CloseFileblock(fb);
            ASSERT_TRUE(data::WriteLastCompany(folder, found->record));
        });
    }
    // One customer with an invoice in each of the first and last aging periods.
    void addReceivables() {
        withEngine([&] {
            const data::RecordKind& ck = data::KindOf(data::FileKind::Customer);
            const data::RecordKind& ik = data::KindOf(data::FileKind::Invoice);
            const std::string cn = data::FileblockName(folder, data::FileKind::Customer, "1");
            const std::string in = data::FileblockName(folder, data::FileKind::Invoice, "1");
            ASSERT_TRUE(data::CreateBusinessFileblock(cn, ck));
            ASSERT_TRUE(data::CreateBusinessFileblock(in, ik));
            storage::Fileblock* c = storage::OpenFileblock(cn, false);
            storage::Fileblock* i = storage::OpenFileblock(in, false);
            data::CustomerRecord cust = data::NewRecord<data::Customer>();
            cust.setText(data::Customer::CustNo, "100");
            cust.setText(data::Customer::Name, "Casco Bay Books");
            ScriptedPrompter quiet;
            ASSERT_TRUE(data::AddBusinessRecord(c, cust, quiet).ok());
            int n = 0;
            for (auto [date, cents] : {std::pair{data::Date{2024, 6, 20}, 123456},
                                       std::pair{data::Date{2024, 1, 2}, 40000}}) {
                data::InvoiceRecord inv = data::NewRecord<data::Invoice>();
                inv.setText(data::Invoice::InvNo, std::to_string(1001 + n++));
                inv.setText(data::Invoice::CustNo, "100");
                inv.setText(data::Invoice::TransType, "I");
                data::SetInvoiceDate(inv, date, data::DateOrder::MonthFirst);
                ASSERT_TRUE(inv.setMoney(data::Invoice::BalanceDue, Money::FromCents(cents)));
                ASSERT_TRUE(data::AddBusinessRecord(i, inv, quiet).ok());
            }
            storage::CloseFileblock(i);
            storage::CloseFileblock(c);
        });
        // These two invoices replace the demo's invoice history, whose receivables the
        // company no longer holds.
        changeCompany([](data::CompanyRecord& c) { c.setText(Company::ARBalance, "0.00"); });
    }

    TMainForm& open() {
        MainFormServices s;
        s.prompter = &prompter;
        s.clock = &clock;
        s.shell = &shell;
        s.passwords = &passwords;
        s.progress = [this] { return std::make_unique<ForwardingProgress>(progress); };
        s.helpFolder = helpFolder;
        s.choosePdfFile = [this] { return pdfChoice; };
        s.printerSetup = [this] {
            ++printerSetups;
            return true;
        };
        form = std::make_unique<TMainForm>(folder, s);
        return *form;
    }

    TempDir dir;
    std::string folder;
    ScriptedPrompter prompter;
    platform::FixedClock clock{platform::LocalDateTime{2024, 6, 30, 14, 5, 0}};
    FakeShell shell;
    Passwords passwords;
    testing::RecordingProgress progress;
    int printerSetups = 0;
    std::string helpFolder;
    QString pdfChoice;
    std::unique_ptr<TMainForm> form;
};

TEST_F(MainFormTest, ANewInstallationOpensAndAsksToBeSetUp) {
    install();
    TMainForm& f = open();
    ASSERT_TRUE(f.created());
    f.show();
    EXPECT_TRUE(f.startUp());
    EXPECT_EQ(f.windowTitle(), "ZT Invarro");
    EXPECT_EQ(f.captionText(), "Please Setup Your Company.");
    EXPECT_FALSE(f.backgroundShown());
    EXPECT_EQ(f.statusText(), "Ready.");
    EXPECT_EQ(f.clockText(), "Sunday, June 30, 2024, 02:05 PM");
    EXPECT_EQ(f.modeText(), "System Mode: Printer / Fax");
    EXPECT_FALSE(f.chartShowing());
    EXPECT_EQ(progress.starts, 0) << "no receivables: no aging at start";
    EXPECT_TRUE(storage::EngineStarted());

    // The clock panel follows the clock.
    clock.set(platform::LocalDateTime{2024, 7, 1, 0, 1, 0});
    QTest::qWait(1100);
    EXPECT_EQ(f.clockText(), "Monday, July 1, 2024, 12:01 AM");
}

TEST_F(MainFormTest, MenusAndButtonsWithTheirCaptionsAndHints) {
    install();
    TMainForm& f = open();
    auto texts = [&](const char* menuName) {
        std::vector<std::string> out;
        for (QAction* a : f.menuBar()->findChild<QMenu*>(menuName)->actions())
            if (!a->isSeparator()) out.push_back(a->text().toStdString());
        return out;
    };
    EXPECT_EQ(texts("FileMenu"),
              (std::vector<std::string>{"Co&mpany Manager...", "&Customer Manager...",
                                        "&Product Manager...", "&Invoice Manager...",
                                        "P&rinter Setup...", "&Edit Payment Terms...", "E&xit"}));
    EXPECT_EQ(texts("ToolsMenu"),
              (std::vector<std::string>{
                  "&Payment Wizard...", "Ban&k Statements...", "&Report  Wizard...",
                  "&Interest Wizard...", "&Label Wizard...", "Repeat Billing &Wizard...",
                  "Form L&etter Wizard...", "Send E-Mail &Message", "&Aging Chart", "&Calculator",
                  "&View Calendar", "Password &Setup", "&Delete Paid Invoices",
                  "&Backup Data Files", "Rebuild Data &Files", "Books &on a Server..."}));
    EXPECT_EQ(texts("HelpMenu"), (std::vector<std::string>{"&Topics", "&Frequent Asked Questions",
                                                           "Our &Support Forum", "Our &Web Site",
                                                           "Product &Upgrades", "&About"}));

    const std::pair<Command, const char*> hints[] = {
        {Command::CompanyManager, "Companies/System Options"},
        {Command::CustomerManager, "Customers"},
        {Command::ProductManager, "Products"},
        {Command::InvoiceManager, "Invoices"},
        {Command::PrinterSetup, "Printer Setup"},
        {Command::Exit, "Close"},
        {Command::PaymentWizard, "Payments"},
        {Command::ReportWizard, "Reports"},
        {Command::InterestWizard, "Interest Wizard"},
        {Command::LabelWizard, "Label Wizard"},
        {Command::RepeatBillingWizard, "Repeat Billing Wizard"},
        {Command::FormLetterWizard, "Form Letter Wizard"},
        {Command::SendEMailMessage, "Send E-mail Message"},
        {Command::AgingChart, "Aging Chart"},
        {Command::Calculator, "Calculator"},
        {Command::ViewCalendar, "View Calendar"},
        {Command::BackupDataFiles, "Backup Files"},
        {Command::HelpTopics, "Help"},
        {Command::WebSite, "Home"},
        {Command::ViewPdfFiles, "View PDF Files"},
    };
    for (auto [command, hint] : hints) {
        ASSERT_NE(f.toolButton(command), nullptr) << hint;
        EXPECT_EQ(f.toolButton(command)->toolTip().toStdString(), hint);
    }
    EXPECT_EQ(f.toolButton(Command::CustomerManager)->text(), "&Customers");
    EXPECT_EQ(f.toolButton(Command::ProductManager)->text(), "Pro&ducts");
}

TEST_F(MainFormTest, ButtonsAndMenusShowTheThemeIconsAndKeepTheirCaptions) {
    SetUpIconTheme();
    install();
    TMainForm& f = open();
    const std::pair<Command, const char*> icons[] = {
        {Command::CustomerManager, "x-office-address-book"},
        {Command::Exit, "application-exit"},
        {Command::Calculator, "accessories-calculator"},
        {Command::ViewCalendar, "x-office-calendar"},
        {Command::HelpTopics, "help-contents"},
        {Command::SendEMailMessage, "mail-send"},
    };
    for (auto [command, name] : icons)
        EXPECT_EQ(f.toolButton(command)->icon().name().toStdString(), name);
    // Without a theme icon the drawn badge stays.
    EXPECT_FALSE(f.toolButton(Command::InterestWizard)->icon().isNull());
    EXPECT_TRUE(f.toolButton(Command::InterestWizard)->icon().name().isEmpty());
    EXPECT_EQ(f.toolButton(Command::CustomerManager)->text(), "&Customers");
    EXPECT_EQ(f.toolButton(Command::CustomerManager)->toolButtonStyle(),
              Qt::ToolButtonTextUnderIcon);
    for (QAction* a : f.menuBar()->findChild<QMenu*>("FileMenu")->actions())
        if (a->text() == "E&xit") {
            EXPECT_EQ(a->icon().name(), "application-exit");
        }
}

TEST_F(MainFormTest, ButtonHintsFollowTheCompanySetting) {
    install(true);
    changeCompany([](data::CompanyRecord& c) { c.setByte(Company::ShowHints, 0); });
    TMainForm& f = open();
    EXPECT_TRUE(f.toolButton(Command::AgingChart)->toolTip().isEmpty());
    EXPECT_TRUE(f.toolButton(Command::CustomerManager)->toolTip().isEmpty());
    EXPECT_EQ(f.toolButton(Command::CustomerManager)->text(), "&Customers");
}

TEST_F(MainFormTest, CustomerManagerOpensOnTheDemoCustomersAndFillsTheLabelQueue) {
    install(true);
    TMainForm& f = open();
    f.show();
    bool shown = false;
    WhenModal<TCustForm>([&](TCustForm* m) {
        EXPECT_EQ(m->windowTitle(), "Customer Manager");
        EXPECT_EQ(m->countText(), "Customers: 36");
        m->addToLabelQueue();
        m->reject();
        shown = true;
    });
    QTest::mouseClick(f.toolButton(Command::CustomerManager), Qt::LeftButton);
    ASSERT_TRUE(shown);
    EXPECT_EQ(f.session().labelQueue.size(), 1u);
    EXPECT_TRUE(f.session().labelsWaiting);
    EXPECT_TRUE(f.statusText().endsWith(" added to label queue."));

    shown = false;
    WhenModal<TTermEdit>([&](TTermEdit* t) {
        EXPECT_EQ(t->editor().terms().size(), data::BuiltInTerms().size());
        t->closeAndSave();
        shown = true;
    });
    f.menuAction(Command::EditPaymentTerms)->trigger();
    EXPECT_TRUE(shown);
    // The queue holds labels: leaving asks first.
    prompter.expect(
        "You have labels in the print queue that you have not printed or saved to a file. "
        "Exit anyway?",
        Answer::Yes);
    f.close();
}

TEST_F(MainFormTest, ProductManagerOpensOnTheDemoProductsAndAMissingFileKeepsTheProgram) {
    install(true);
    TMainForm& f = open();
    f.show();
    bool shown = false;
    WhenModal<TEditProd>([&](TEditProd* m) {
        EXPECT_EQ(m->windowTitle(), "Product Manager");
        EXPECT_EQ(m->countText(), "Products: 31");
        m->reject();
        shown = true;
    });
    QTest::mouseClick(f.toolButton(Command::ProductManager), Qt::LeftButton);
    ASSERT_TRUE(shown);

    // A product file that cannot be opened closes the manager, not the program.
    std::filesystem::remove(folder + "/1P.DAT");
    std::filesystem::create_directory(folder + "/1P.DAT");
    prompter.expect("Unable to open database");
    f.menuAction(Command::ProductManager)->trigger();
    EXPECT_TRUE(f.isVisible());
}

TEST_F(MainFormTest, InvoicesOpensTheInvoiceManagerOnTheCompanyInUse) {
    install(true);
    // A company without invoices yet: the manager makes its files.
    const std::string invoices = data::FileblockName(folder, data::FileKind::Invoice, "1");
    std::filesystem::remove(storage::DataFileName(invoices));
    std::filesystem::remove(storage::IndexFileName(invoices));
    TMainForm& f = open();
    f.show();
    const QString company =
        QString::fromStdString(f.session().company.text(Company::Name) + " - #1");
    bool shown = false;
    WhenModal<Tinvlist>([&](Tinvlist* m) {
        EXPECT_EQ(m->windowTitle(), "Invoice Manager");
        EXPECT_EQ(m->companyText(), company);
        EXPECT_EQ(m->countText(), "Records: 0");
        m->reject();
        shown = true;
    });
    prompter.expect("I am going to create a new, empty invoice file for this company.");
    QTest::mouseClick(f.toolButton(Command::InvoiceManager), Qt::LeftButton);
    ASSERT_TRUE(shown);
    EXPECT_EQ(f.statusText(), "Ready.");
    EXPECT_TRUE(std::filesystem::exists(storage::DataFileName(invoices)));
    f.close();
}

TEST_F(MainFormTest, LabelAndLetterWizardsWorkOnTheProgramsQueue) {
    install(true);
    TMainForm& f = open();
    f.show();
    bool shown = false;
    WhenModal<TLabelWiz>([&](TLabelWiz* w) {
        EXPECT_EQ(w->windowTitle(), "Label Wizard / Print Queue");
        w->loadAll();
        EXPECT_EQ(w->statusText(), "36 records were added.");
        w->reject();
        shown = true;
    });
    QTest::mouseClick(f.toolButton(Command::LabelWizard), Qt::LeftButton);
    ASSERT_TRUE(shown);
    EXPECT_EQ(f.session().labelQueue.size(), 36u);
    EXPECT_TRUE(f.session().labelsWaiting);

    // The letter's Queue opens the same wizard on the same queue.
    shown = false;
    WhenModal<TREMain>([&](TREMain* letter) {
        EXPECT_EQ(letter->windowTitle(), "Form Letter Wizard - Untitled");
        WhenModal<TLabelWiz>([&](TLabelWiz* w) {
            EXPECT_EQ(w->list()->topLevelItemCount(), 36);
            w->clearAll();
            w->reject();
        });
        letter->queue();
        letter->reject();
        shown = true;
    });
    f.menuAction(Command::FormLetterWizard)->trigger();
    ASSERT_TRUE(shown);
    EXPECT_TRUE(f.session().labelQueue.empty());
    EXPECT_FALSE(f.session().labelsWaiting);
}

TEST_F(MainFormTest, TheRepeatBillingAndInterestWizardsOpenOnTheCompanyInUse) {
    install(true);
    TMainForm& f = open();
    f.show();
    bool shown = false;
    WhenModal<TSelectRepeat>([&](TSelectRepeat* w) {
        EXPECT_EQ(w->windowTitle(), "Repeat Billing Wizard");
        w->EndDate->setText("12/31/2099");
        w->search();
        EXPECT_FALSE(w->due().empty());
        w->reject();
        shown = true;
    });
    QTest::mouseClick(f.toolButton(Command::RepeatBillingWizard), Qt::LeftButton);
    ASSERT_TRUE(shown);
    shown = false;
    WhenModal<TInterestWiz>([&](TInterestWiz* w) {
        EXPECT_EQ(w->windowTitle(), "Interest Wizard");
        EXPECT_TRUE(w->LastRun->text().startsWith("Last Interest Invoices: "));
        w->reject();
        shown = true;
    });
    f.menuAction(Command::InterestWizard)->trigger();
    ASSERT_TRUE(shown);
    shown = false;
    WhenModal<TRptSelect>([&](TRptSelect* w) {
        EXPECT_EQ(w->windowTitle(), "Report Wizard");
        EXPECT_EQ(w->ReportList->currentItem()->text(), "Invoice Register");
        w->reject();
        shown = true;
    });
    QTest::mouseClick(f.toolButton(Command::ReportWizard), Qt::LeftButton);
    ASSERT_TRUE(shown);
    f.close();
}

TEST_F(MainFormTest, LaterWindowsAreDisabledUntilConnected) {
    install();
    TMainForm& f = open();
    for (Command c : {Command::CompanyManager,
                      Command::PrinterSetup,
                      Command::Exit,
                      Command::AgingChart,
                      Command::Calculator,
                      Command::ViewCalendar,
                      Command::PasswordSetup,
                      Command::DeletePaidInvoices,
                      Command::RebuildDataFiles,
                      Command::HelpTopics,
                      Command::About,
                      Command::ViewPdfFiles,
                      Command::CustomerManager,
                      Command::EditPaymentTerms,
                      Command::ProductManager,
                      Command::BackupDataFiles,
                      Command::InvoiceManager,
                      Command::LabelWizard,
                      Command::FormLetterWizard,
                      Command::SendEMailMessage,
                      Command::InterestWizard,
                      Command::RepeatBillingWizard,
                      Command::ReportWizard,
                      Command::PaymentWizard})
        EXPECT_TRUE(f.commandEnabled(c)) << int(c);

    // Connecting a window enables both faces of its command; opening a manager hides the
    // chart first.
    int opened = 0;
    f.setCommandHandler(Command::PaymentWizard, [&](TMainForm& m) {
        EXPECT_FALSE(m.chartShowing());
        EXPECT_EQ(m.statusText(), "Ready.");
        ++opened;
    });
    EXPECT_TRUE(f.menuAction(Command::PaymentWizard)->isEnabled());
    EXPECT_TRUE(f.toolButton(Command::PaymentWizard)->isEnabled());
    f.chart()->show();
    f.setStatus("something");
    QTest::mouseClick(f.toolButton(Command::PaymentWizard), Qt::LeftButton);
    f.menuAction(Command::PaymentWizard)->trigger();
    EXPECT_EQ(opened, 2);

    f.menuAction(Command::PrinterSetup)->trigger();
    EXPECT_EQ(printerSetups, 1);
}

// Under a dark theme the main window's picture is veiled dark and its caption stays
// readable; the light theme brings both back.
TEST_F(MainFormTest, TheWindowFollowsADarkThemeAndBack) {
    install(true);
    TMainForm& f = open();
    ASSERT_TRUE(f.created());
    f.resize(900, 600);
    f.show();
    ASSERT_TRUE(f.startUp());
    ASSERT_TRUE(f.backgroundShown());
    auto* caption = f.findChild<QLabel*>("CoCaption");
    auto* background = f.findChild<QWidget*>("Background");
    ASSERT_NE(caption, nullptr);
    ASSERT_NE(background, nullptr);
    // The mean lightness of the area's top left corner, where the picture shows.
    auto areaLightness = [&] {
        const QImage shot = background->grab(QRect(0, 0, 60, 60)).toImage();
        int sum = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                sum += shot.pixelColor(x, y).lightness();
        return sum / (shot.width() * shot.height());
    };
    auto captionReads = [&] {
        const QColor text = caption->palette().color(QPalette::WindowText);
        const QColor window = f.palette().color(QPalette::Window);
        return std::abs(text.lightness() - window.lightness()) > 100;
    };
    const int light = areaLightness();
    EXPECT_GT(light, 128);
    EXPECT_TRUE(captionReads());

    ApplyColorScheme(ColorScheme::Dark);
    QApplication::processEvents();
    const int dark = areaLightness();
    EXPECT_LT(dark, 110) << "the picture is veiled";
    EXPECT_LT(dark, light - 80) << "the picture is veiled";
    EXPECT_TRUE(captionReads()) << "the caption is not left dark on dark";
    EXPECT_EQ(f.captionText(), caption->text());

    ApplyColorScheme(ColorScheme::NoPreference);
    QApplication::processEvents();
    EXPECT_NEAR(areaLightness(), light, 3);
    EXPECT_TRUE(captionReads());
}

TEST_F(MainFormTest, ForcedAgingDrawsTheChartAndCloseChartHidesIt) {
    install(true);
    addReceivables();
    // The two invoices above replace the demo's history; the company records no
    // receivables yet.
    changeCompany([](data::CompanyRecord& c) { c.setText(Company::ARBalance, "0.00"); });
    TMainForm& f = open();
    f.show();
    ASSERT_TRUE(f.startUp());
    EXPECT_FALSE(f.chartShowing()) << "no receivables recorded yet: no daily run";

    f.menuAction(Command::AgingChart)->trigger();
    ASSERT_TRUE(f.chartShowing());
    EXPECT_EQ(f.statusText(), "Hold mouse over chart or color to see aging amount...");
    TAgingChart* chart = f.chart();
    EXPECT_EQ(chart->bar(0)->toolTip(), "Current: 1,234.56");
    EXPECT_EQ(chart->bar(3)->toolTip(), "Over 90: 400.00");
    EXPECT_EQ(chart->swatch(3)->toolTip(), "Over 90: 400.00");
    EXPECT_EQ(chart->toolTip(),
              "Current: 1,234.56\n31-60: 0.00\n61-90: 0.00\nOver 90: 400.00\nTotal A/R: "
              "1,634.56");
    EXPECT_EQ(chart->bars().heights, (std::array<int, 4>{150, 0, 0, 49}));
    // The bars stand on the frame's bottom line, the tallest reaching the top.
    EXPECT_EQ(chart->bar(0)->geometry(), chart->barRect(0));
    EXPECT_EQ(chart->bar(0)->height(), 150);
    EXPECT_EQ(chart->bar(3)->geometry().bottom(), chart->bar(0)->geometry().bottom());
    EXPECT_EQ(f.session().company.text(Company::ARBalance), "1634.56");

    prompter.expect("The Aging Chart is currently showing.");
    QTest::mouseClick(f.toolButton(Command::AgingChart), Qt::LeftButton);
    EXPECT_EQ(prompter.last().title, "Aging Chart");

    QTest::mouseClick(chart->closeButton(), Qt::LeftButton);
    EXPECT_FALSE(f.chartShowing());
    EXPECT_EQ(f.statusText(), "Ready.");
}

TEST_F(MainFormTest, DailyAgingRunsOnceADay) {
    std::array<int, 4> bars{};
    install(true);
    addReceivables();
    changeCompany([](data::CompanyRecord& c) {
        ASSERT_TRUE(c.setMoney(Company::ARBalance, Money::FromCents(1)));
        c.setByte(Company::ShowAgingChart, 1);
    });
    {
        TMainForm& f = open();
        f.show();
        ASSERT_TRUE(f.startUp());
        EXPECT_EQ(progress.titles, std::vector<std::string>{"Aging"});
        EXPECT_TRUE(f.chartShowing());
        bars = f.chart()->bars().heights;
        f.close();
    }
    form.reset();
    TMainForm& again = open();
    again.show();
    ASSERT_TRUE(again.startUp());
    EXPECT_EQ(progress.starts, 1) << "already aged today";
    // The chart shows the aging stored in the customer records.
    ASSERT_TRUE(again.chartShowing());
    EXPECT_EQ(again.chart()->bars().heights, bars);
}

// A demo folder copied elsewhere opens on its chart, on the day it was made and later.
TEST_F(MainFormTest, ACopiedDemoFolderOpensOnItsAgingChart) {
    install(true);
    const std::string copy = dir.file("copy");
    std::filesystem::copy(folder, copy, std::filesystem::copy_options::recursive);
    folder = copy;
    for (int start = 0; start < 2; ++start) {
        TMainForm& f = open();
        f.show();
        ASSERT_TRUE(f.startUp());
        EXPECT_TRUE(f.chartShowing()) << "start " << start;
        EXPECT_NE(f.chart()->bars().heights, (std::array<int, 4>{})) << "start " << start;
        form.reset();
    }
}

// Another program changes a customer's aging: the chart follows within about a second; a
// change of another fileblock leaves it as it is.
TEST_F(MainFormTest, TheAgingChartFollowsCustomersChangedElsewhere) {
    install(true);
    TMainForm& f = open();
    f.show();
    ASSERT_TRUE(f.startUp());
    ASSERT_TRUE(f.chartShowing());
    const std::array<int, 4> before = f.chart()->bars().heights;
    const std::string prefix = f.session().companyPrefix();
    const std::string customers = data::FileblockName(folder, data::FileKind::Customer, prefix);
    storage::Fileblock* fb = storage::OpenFileblock(customers, false);
    ASSERT_TRUE(storage::EngineOk) << storage::EngineError;
    const int32_t rec = storage::NextUsedRecord(fb, 0);
    data::CustomerRecord c;
    storage::GetRecord(fb, rec, c.data());
    ASSERT_TRUE(c.setMoney(data::Customer::AgeOver90, Money::FromCents(100000000)));
    storage::PutRecord(fb, rec, c.data());
    ASSERT_TRUE(storage::EngineOk);
    storage::CloseFileblock(fb);

    std::vector<std::string> told = {
        storage::FileblockName(data::FileblockName(folder, data::FileKind::Invoice, prefix))};
    ChangeWatcher::instance().setSource([&] { return std::exchange(told, {}); });
    QTest::qWait(2 * ChangeWatcher::kIntervalMs + 100);
    EXPECT_TRUE(told.empty());
    EXPECT_EQ(f.chart()->bars().heights, before);
    told = {storage::FileblockName(customers)};
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.chart()->bars().heights != before; }, 1500));
    EXPECT_EQ(f.chart()->bars().heights[3], 150);  // the tallest bar now
    ChangeWatcher::instance().setSource({});
}

TEST_F(MainFormTest, PrintModeFollowsTheCompanyAndTheRadioButtons) {
    install(true);
    changeCompany([](data::CompanyRecord& c) { c.setYes(Company::DefaultToEMail, true); });
    TMainForm& f = open();
    f.show();
    ASSERT_TRUE(f.startUp());
    auto* eMail = f.findChild<QRadioButton*>("EMailMode");
    auto* printer = f.findChild<QRadioButton*>("PrinterMode");
    EXPECT_TRUE(eMail->isChecked());
    EXPECT_EQ(f.modeText(), "System Mode: E-Mail");
    EXPECT_TRUE(f.session().eMailMode);
    QTest::mouseClick(printer, Qt::LeftButton);
    EXPECT_EQ(f.modeText(), "System Mode: Printer / Fax");
    EXPECT_FALSE(f.session().eMailMode);
    EXPECT_EQ(printer->text(), "Pri&nter or Fax");
    EXPECT_EQ(eMail->text(), "&E-Mail");
}

TEST_F(MainFormTest, ANamedCompanyShowsItsCaptionFontAndBackground) {
    install(true);
    TMainForm& f = open();
    EXPECT_EQ(f.captionText(), "Harbor Light Print & Design     Number: 1");
    auto* caption = f.findChild<QLabel*>("CoCaption");
    EXPECT_EQ(caption->font().pointSize(), 10);
    EXPECT_TRUE(caption->font().bold());
    EXPECT_EQ(caption->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(f.backgroundShown());
    EXPECT_EQ(f.backgroundPicture().size(), QSize(app::kTileSize, app::kTileSize));
}

TEST_F(MainFormTest, AMissingBackgroundIsToldAndTheTileTakesItsPlace) {
    install(true);
    std::filesystem::remove(folder + "/background.bmp");
    std::filesystem::remove(folder + "/ztt8.bmp");
    prompter.expect(
        "Your selected background bitmap image no longer exists. I will attempt to load a "
        "default background image. You may have moved this program. Use the System Graphics Tab "
        "in your Company Setup to select another background bitmap or to disable it entirely.");
    TMainForm& f = open();
    EXPECT_TRUE(f.backgroundShown());
    EXPECT_EQ(f.backgroundPicture().size(), QSize(app::kTileSize, app::kTileSize));
}

TEST_F(MainFormTest, WrongPasswordAtStartEndsTheProgram) {
    install();
    ASSERT_TRUE(data::WritePassword(folder, "Tern"));
    passwords.answers.push_back({true, "tern"});
    prompter.expect("You did not enter the correct password.");
    TMainForm& f = open();
    EXPECT_FALSE(f.startUp());
    EXPECT_EQ(passwords.titles, std::vector<std::string>{"Password Required"});

    passwords.answers.push_back({true, "Tern"});
    EXPECT_TRUE(f.startUp());
}

// One question names the data folder; nothing claims the files belong beside the program.
TEST_F(MainFormTest, WithoutDataFilesANewInstallationIsOffered) {
    const std::string question =
        "I do not find the billing data files in the data folder\n" + folder +
        "\n\nAnother data folder is given with --data FOLDER or in INVARRO_DATA; without "
        "either it is ~/.local/share/invarro.\n\nDo you want to set up a new, empty "
        "installation there now?";
    prompter.expect(question, Answer::No);
    EXPECT_FALSE(open().created());
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_FALSE(storage::EngineStarted());
    EXPECT_EQ(prompter.last().buttons, platform::Buttons::YesNo);
    form.reset();

    prompter.expect(question, Answer::Yes);
    TMainForm& f = open();
    ASSERT_TRUE(f.created());
    EXPECT_EQ(f.captionText(), "Please Setup Your Company.");
    EXPECT_TRUE(std::filesystem::exists(folder + "/LastCo.Dat"));
    EXPECT_TRUE(std::filesystem::exists(folder + "/background.bmp"));

    // The way to set the company up is shown under the caption, and leads to the set-up of
    // the company in use.
    f.show();
    ASSERT_TRUE(f.startUp());
    auto* setUp = f.findChild<QPushButton*>("SetUpCompanyBtn");
    ASSERT_NE(setUp, nullptr);
    EXPECT_TRUE(setUp->isVisible());
    bool setUpShown = false;
    WhenModal<TCoSetup>([&](TCoSetup* dialog) {
        setUpShown = true;
        dialog->reject();
    });
    WhenModal<TCompanyManager>([&](TCompanyManager* manager) {
        QTest::qWait(50);
        manager->reject();
    });
    QTest::mouseClick(setUp, Qt::LeftButton);
    EXPECT_TRUE(setUpShown);
}

TEST_F(MainFormTest, ASetUpCompanyShowsNoSetUpButton) {
    install(true);
    TMainForm& f = open();
    f.show();
    ASSERT_TRUE(f.startUp());
    auto* setUp = f.findChild<QPushButton*>("SetUpCompanyBtn");
    EXPECT_TRUE(setUp == nullptr || !setUp->isVisible());
}

TEST_F(MainFormTest, ClosingStopsTheEngineAndKeepsTheBounds) {
    install();
    {
        TMainForm& f = open();
        f.show();
        f.move(40, 50);
        f.resize(600, 450);
        QApplication::processEvents();
        EXPECT_TRUE(f.close());
        EXPECT_FALSE(storage::EngineStarted());
        data::IniFile ini(data::IniFilePath(folder));
        EXPECT_EQ(ini.readInteger("MainForm", "Left", 0), 40);
        EXPECT_EQ(ini.readInteger("MainForm", "Top", 0), 50);
        EXPECT_EQ(ini.readInteger("MainForm", "Width", 0), 600);
        EXPECT_EQ(ini.readInteger("MainForm", "Height", 0), 450);
    }
    form.reset();
    TMainForm& again = open();
    EXPECT_EQ(again.pos(), QPoint(40, 50));
    EXPECT_EQ(again.size(), QSize(600, 450));
    form.reset();

    // A window that would reach past the screen's right edge moves to its left edge.
    data::IniFile ini(data::IniFilePath(folder));
    ASSERT_TRUE(ini.writeInteger("MainForm", "Left", 100000));
    TMainForm& moved = open();
    EXPECT_EQ(moved.pos().x(), QApplication::primaryScreen()->availableGeometry().x());
    EXPECT_EQ(moved.pos().y(), 50);
}

// A settings file that is a FIFO would hold the start for ever, and one that is a link to
// /dev/zero would be read without end: the window says so, opens with the defaults and
// closes in order.
TEST_F(MainFormTest, ASettingsFileThatIsNoFileIsToldAndTheDefaultsAreUsed) {
    install();
    ::alarm(30);  // a start that waits ends the test program instead of hanging it
    std::filesystem::remove(folder + "/invarro.ini");
    std::filesystem::remove(folder + "/Shadeclr.fnt");
    ASSERT_EQ(::mkfifo((folder + "/invarro.ini").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", (folder + "/Shadeclr.fnt").c_str()), 0);
    const std::vector<std::string> unread = data::UnreadSideFiles(folder);
    ASSERT_EQ(unread.size(), 2u);
    prompter.expect(data::UnreadSideFilesMessage(unread).text);
    TMainForm& f = open();
    EXPECT_TRUE(prompter.done());
    ASSERT_TRUE(f.created());
    f.show();
    EXPECT_TRUE(f.startUp());
    EXPECT_EQ(f.pos(), QPoint(10, 10));
    EXPECT_TRUE(f.close());
    ::alarm(0);
}

TEST_F(MainFormTest, LabelsWaitingAskBeforeTheEnd) {
    install();
    TMainForm& f = open();
    f.show();
    f.session().labelsWaiting = true;
    prompter.expect(
        "You have labels in the print queue that you have not printed or saved to a file. Exit "
        "anyway?",
        Answer::No);
    EXPECT_FALSE(f.close());
    EXPECT_TRUE(storage::EngineStarted());
    prompter.expect(
        "You have labels in the print queue that you have not printed or saved to a file. Exit "
        "anyway?",
        Answer::Yes);
    f.menuAction(Command::Exit)->trigger();
    EXPECT_FALSE(f.isVisible());
    EXPECT_FALSE(storage::EngineStarted());
}

TEST_F(MainFormTest, ShellCommands) {
    install();
    helpFolder = INVARRO_HELP_DIR;
    TMainForm& f = open();

    pdfChoice = "/tmp/statement.txt";
    prompter.expect("Incorrect file extension. Must be a PDF (*.pdf) file.");
    f.runCommand(Command::ViewPdfFiles);
    pdfChoice = "/tmp/Invoice 1001.PDF";
    f.runCommand(Command::ViewPdfFiles);
    pdfChoice = "";
    f.runCommand(Command::ViewPdfFiles);
    EXPECT_EQ(shell.files, std::vector<std::string>{"/tmp/Invoice 1001.PDF"});

    f.runCommand(Command::HelpTopics);
    f.runCommand(Command::HelpFaq);
    EXPECT_EQ(shell.files.at(1), std::string(INVARRO_HELP_DIR) + "/Contents.html");
    EXPECT_EQ(shell.files.at(2), std::string(INVARRO_HELP_DIR) + "/Frequent Asked Questions.html");

    prompter.expect("An internet connection is required to use this feature. Continue?",
                    Answer::No);
    f.runCommand(Command::WebSite);
    EXPECT_TRUE(shell.urls.empty());
    prompter.expect(
        "This option will connect you to the internet and take you to our support forum. You "
        "must have an internet connection on this computer. Continue?",
        Answer::Yes);
    f.runCommand(Command::SupportForum);
    EXPECT_EQ(shell.urls.size(), 1u);

    f.runCommand(Command::Calculator);
    shell.works = false;
    prompter.expect(kNoCalculator);
    f.runCommand(Command::Calculator);
    EXPECT_EQ(shell.calculators, 2);
}

// The desktop's calculator is looked for on the search path; the test's own path holds
// none, then a calculator that leaves a mark when it starts.
TEST_F(MainFormTest, TheCalculatorIsTheDesktopsOrTheMessageSaysWhatWasLookedFor) {
    install();
    const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    const std::string bin = dir.file("bin");
    std::filesystem::create_directories(bin);
    ::setenv("PATH", bin.c_str(), 1);
    platform::qt::QtShell desktop;
    MainFormServices s;
    s.prompter = &prompter;
    s.clock = &clock;
    s.shell = &desktop;
    s.passwords = &passwords;
    form = std::make_unique<TMainForm>(folder, s);
    TMainForm& f = *form;
    f.show();
    ASSERT_TRUE(f.startUp());
    QAction* item = f.menuAction(Command::Calculator);
    EXPECT_EQ(item->text(), "&Calculator");
    prompter.expect(kNoCalculator);
    item->trigger();

    const std::string marker = dir.file("started");
    testing::WriteFileBytes(bin + "/xcalc", "#!/bin/sh\necho started > '" + marker + "'\n");
    ::chmod((bin + "/xcalc").c_str(), 0755);
    QTest::mouseClick(f.toolButton(Command::Calculator), Qt::LeftButton);
    for (int i = 0; i < 100 && !std::filesystem::exists(marker); ++i)
        QTest::qWait(50);
    EXPECT_TRUE(std::filesystem::exists(marker));
    ::setenv("PATH", savedPath.c_str(), 1);
}

TEST_F(MainFormTest, HelpWithoutItsPagesSaysSo) {
    install();
    TMainForm& f = open();
    prompter.expect("The help page \"Contents\" is not installed.");
    f.runCommand(Command::HelpTopics);
    EXPECT_TRUE(shell.files.empty());
}

TEST_F(MainFormTest, ReloadAfterTheCompanyManager) {
    install(true);
    TMainForm& f = open();
    f.show();
    ASSERT_TRUE(f.startUp());
    // The company in use was edited in the manager: it is read again from the company file.
    storage::Fileblock* fb = storage::OpenFileblock(folder + "/Company", false);
    ASSERT_TRUE(storage::EngineOk);
    data::CompanyRecord probe;
    probe.setText(Company::CompanyNo, "1");
    auto found = data::FindAtOrAfter<Company>(fb, 1, probe);
    ASSERT_TRUE(found);
    found->record.setText(Company::Name, "Harbor Light Studio");
    found->record.setText(Company::DateFormatCode, "D");
    found->record.setYes(Company::DefaultToEMail, true);
    storage::PutRecord(fb, found->recNo, found->record.data());
    storage::CloseFileblock(fb);

    f.reloadCompanyInUse(std::nullopt, true);
    EXPECT_EQ(f.captionText(), "Harbor Light Studio     Number: 1");
    EXPECT_EQ(f.session().dateOrder, data::DateOrder::DayFirst);
    EXPECT_EQ(f.modeText(), "System Mode: E-Mail");
    EXPECT_EQ(data::ReadLastCompany(folder)->text(Company::Name), "Harbor Light Studio");

    // Another company chosen in the manager becomes the company in use.
    data::CompanyRecord other = found->record;
    other.setText(Company::CompanyNo, "2");
    other.setText(Company::Name, "Second Shop");
    f.reloadCompanyInUse(other, false);
    EXPECT_EQ(f.captionText(), "Second Shop     Number: 2");
    EXPECT_EQ(f.session().companyPrefix(), "2");
    EXPECT_EQ(data::ReadLastCompany(folder)->text(Company::CompanyNo), "2");
}

TEST_F(MainFormTest, RebuildDataFilesCommand) {
    install(true);
    addReceivables();
    TMainForm& f = open();
    prompter.expect("The data files have been rebuilt.");
    f.menuAction(Command::RebuildDataFiles)->trigger();
    EXPECT_EQ(prompter.last().title, "Rebuild Complete");
    // The company file and the demo's customer, invoice, line, memo and product files.
    EXPECT_EQ(progress.titles, std::vector<std::string>(6, "Rebuild Status"));
}

// ------------------------------------------------------------------- company manager

// Changes company n of the demo installation in the company file.
template <class F>
void ChangeCompanyNumber(const std::string& folder, const char* n, F change) {
    storage::Fileblock* fb = storage::OpenFileblock(folder + "/Company", false);
    ASSERT_TRUE(storage::EngineOk);
    data::CompanyRecord probe;
    probe.setText(Company::CompanyNo, n);
    auto found = data::FindAtOrAfter<Company>(fb, 1, probe);
    ASSERT_TRUE(found);
    change(found->record);
    storage::PutRecord(fb, found->recNo, found->record.data());
    storage::CloseFileblock(fb);
}

TEST_F(MainFormTest, CompanySetAsDefaultBecomesTheCompanyInUse) {
    install(true);
    TMainForm& f = open();
    f.show();
    ASSERT_TRUE(f.startUp());
    EXPECT_TRUE(f.toolButton(Command::CompanyManager)->isEnabled());
    // The demo's second company writes dates day first, mails its documents and has
    // receivables that were not aged today.
    std::string demoReceivables;
    ChangeCompanyNumber(folder, "2", [&](data::CompanyRecord& c) {
        demoReceivables = c.text(Company::ARBalance);
        c.setText(Company::DateFormatCode, "D");
        c.setYes(Company::DefaultToEMail, true);
        c.setText(Company::ARBalance, "250.00");
    });
    f.chart()->show();
    testing::WhenModal<TCompanyManager>([&](TCompanyManager* m) {
        EXPECT_FALSE(f.chartShowing());  // opening a manager hides the chart
        m->setBrowseKey(app::kCompanyByName);
        EXPECT_EQ(m->highlighted()->record.text(Company::Name), "Harbor Light Print & Design");
        QTest::keyClick(m->browser(), Qt::Key_Up);  // Cedar Ridge Landscaping comes first
        QTest::keyClick(m->browser(), Qt::Key_Return);
    });
    f.toolButton(Command::CompanyManager)->click();
    EXPECT_EQ(f.captionText(), "Cedar Ridge Landscaping     Number: 2");
    EXPECT_EQ(f.session().companyPrefix(), "2");
    EXPECT_EQ(f.session().dateOrder, data::DateOrder::DayFirst);
    EXPECT_EQ(f.modeText(), "System Mode: E-Mail");
    // The aging was due: it ran for the new company, and LastCo.Dat holds the result.
    auto last = data::ReadLastCompany(folder);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->text(Company::CompanyNo), "2");
    EXPECT_EQ(last->text(Company::LastAgingDate), "30/06/2024");
    // The aging finds exactly the receivables that saving the demo's invoices recorded.
    EXPECT_NE(demoReceivables, "0.00");
    EXPECT_EQ(last->text(Company::ARBalance), demoReceivables);
}

TEST_F(MainFormTest, EditedCompanyInUseIsReloadedWhenTheManagerCloses) {
    install(true);
    TMainForm& f = open();
    f.show();
    ASSERT_TRUE(f.startUp());
    testing::WhenModal<TCompanyManager>([](TCompanyManager* m) {
        testing::WhenModal<TCoSetup>([](TCoSetup* setup) {
            setup->findChild<QLineEdit*>("CName")->setText("Harbor Light Studio");
            setup->findChild<QPushButton*>("OKBtn")->click();
        });
        m->editCompany();
        m->closeManager();
    });
    f.menuAction(Command::CompanyManager)->trigger();
    EXPECT_EQ(f.captionText(), "Harbor Light Studio     Number: 1");
    EXPECT_EQ(data::ReadLastCompany(folder)->text(Company::Name), "Harbor Light Studio");

    // Closing without a change leaves the company in use alone.
    testing::WhenModal<TCompanyManager>([](TCompanyManager* m) { m->closeManager(); });
    f.menuAction(Command::CompanyManager)->trigger();
    EXPECT_EQ(f.captionText(), "Harbor Light Studio     Number: 1");
}

TEST_F(MainFormTest, DeletingACompanyAsksForThePassword) {
    install(true);
    withEngine([&] { ASSERT_TRUE(data::WritePassword(folder, "secret")); });
    passwords.answers = {{true, "secret"}, {true, "wrong"}};
    TMainForm& f = open();
    f.show();
    ASSERT_TRUE(f.startUp());
    passwords.titles.clear();
    prompter.expect("You did not enter the correct password.");
    testing::WhenModal<TCompanyManager>([&](TCompanyManager* m) {
        m->setBrowseKey(app::kCompanyByName);
        QTest::keyClick(m->browser(), Qt::Key_Up);  // Cedar Ridge Landscaping
        m->deleteCompany();
        EXPECT_EQ(m->countText(), "Companies: 4");
        m->closeManager();
    });
    f.menuAction(Command::CompanyManager)->trigger();
    EXPECT_EQ(passwords.titles, std::vector<std::string>{"Password Required"});
}

TEST_F(MainFormTest, UnopenableCompanyFileEndsTheProgram) {
    install(true);
    TMainForm& f = open();
    f.show();
    ASSERT_TRUE(f.startUp());
    std::filesystem::remove(folder + "/Company.IX");
    prompter.expect("Index file is defective.  Rebuild?", Answer::No)
        .expect("Unable to open company database");
    f.menuAction(Command::CompanyManager)->trigger();
    EXPECT_FALSE(f.isVisible());
}

}  // namespace
}  // namespace invarro::ui
