// invarro-gallery: pictures of the program's windows for looking at them. It opens the main
// window on a data folder (a demo installation is made there when the folder is empty),
// runs the main window's commands one after the other and saves a picture of every window
// and dialog that opens, and of the windows they open in turn, into the output folder as
// NN-name.png. Each line of the output folder's "windows.txt" names a picture and its
// window's title. Meant to run offscreen (QT_QPA_PLATFORM=offscreen); nothing is written to
// the data folder but what opening and closing windows writes there (their bounds).
//
// With --check PANEL FRAME it also checks every window it opens: each control has a name
// and each field a label for screen readers, and the window lies inside the screen less a
// desktop panel of PANEL pixels, with FRAME pixels of title bar above it, its buttons in
// view. Every problem is printed, and the exit status is 1 when there was one.
//
// With --dark the windows are shown as under a desktop's dark theme.
//
// With --demo it makes the demo installation in DATA-FOLDER (which must hold no books) and
// ends without opening a window, for a gallery of the demo moved elsewhere first (to a
// server).
//
// Usage: invarro-gallery [--dark] [--check PANEL FRAME] DATA-FOLDER OUTPUT-FOLDER
//        invarro-gallery --demo DATA-FOLDER

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QScreen>
#include <QTextStream>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "app/Demo.h"
#include "app/ServerBooks.h"
#include "app/Startup.h"
#include "platform/Prompter.h"
#include "platform/Shell.h"
#include "storage/Engine.h"
#include "ui/BankStatements.h"
#include "ui/DesktopBooksServer.h"
#include "ui/DesktopTheme.h"
#include "ui/MainForm.h"
#include "ui/WindowChecks.h"
#include "ui/WindowSupport.h"

namespace {

using invarro::ui::TMainForm;
using Command = TMainForm::Command;

// Message boxes are not shown: each gets the answer that changes nothing (No, Cancel),
// and is listed with the pictures.
class QuietPrompter : public invarro::platform::Prompter {
  public:
    std::function<void(const std::string&, const std::string&)> seen;
    invarro::platform::Answer ask(const invarro::platform::Message& m) override {
        using invarro::platform::Answer;
        using invarro::platform::Buttons;
        if (seen) seen(m.title, m.text);
        switch (m.buttons) {
            case Buttons::YesNo:
                return Answer::No;
            case Buttons::YesNoCancel:
            case Buttons::OkCancel:
                return Answer::Cancel;
            default:
                return Answer::Ok;
        }
    }
};

// Nothing is opened or started on the desktop.
class NoShell : public invarro::platform::Shell {
  public:
    bool openFile(const std::string&) override { return true; }
    bool openUrl(const std::string&) override { return true; }
    bool startCalculator() override { return true; }
};

class Gallery {
  public:
    explicit Gallery(QString out) : out_(std::move(out)), list_(out_ + "/windows.txt") {
        list_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);
    }

    // Checks each window shot: a panel of `panel` physical pixels at the foot of the screen
    // and `frame` physical pixels of title bar.
    void setChecks(int panel, int frame) {
        checking_ = true;
        panel_ = panel;
        frame_ = frame;
    }
    int problems() const { return problems_; }

    void check(QWidget* window, const QString& name) {
        const QScreen* screen = window->screen();
        if (!screen) return;
        const qreal scale = screen->devicePixelRatio();
        QRect area = screen->geometry();
        area.setBottom(area.bottom() - int(panel_ / scale + 0.5));
        std::vector<std::string> found = invarro::ui::AccessibilityProblems(window);
        for (std::string& p :
             invarro::ui::PlacementProblems(window, area, int(frame_ / scale + 0.5)))
            found.push_back(std::move(p));
        for (const std::string& p : found) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(name), p.c_str());
            ++problems_;
        }
    }

    // Saves the picture of a window that is showing.
    void shoot(QWidget* window, const QString& name) {
        QApplication::processEvents();
        if (checking_) check(window, name);
        const QString file = QStringLiteral("%1-%2.png").arg(++count_, 2, 10, QChar('0')).arg(name);
        if (!window->grab().save(out_ + "/" + file))
            std::fprintf(stderr, "invarro-gallery: %s could not be saved\n", qPrintable(file));
        QTextStream(&list_) << file << "\t" << window->windowTitle() << "\n";
    }
    void note(const QString& line) { QTextStream(&list_) << "#\t" << line << "\n"; }

    // Runs open, which is to show a modal window; once it shows, its picture is taken,
    // inside runs on it (to open the windows it opens) and the window is closed again.
    void visit(const QString& name, const std::function<void()>& open,
               const std::function<void(QWidget*)>& inside = {}) {
        QWidget* before = QApplication::activeModalWidget();
        auto* timer = new QTimer;
        auto* clock = new QElapsedTimer;
        clock->start();
        timer->setInterval(40);
        bool shown = false;
        QObject::connect(timer, &QTimer::timeout, [=, this, &shown] {
            QWidget* w = QApplication::activeModalWidget();
            if (!w || w == before) {
                if (clock->elapsed() > 8000) timer->stop();
                return;
            }
            timer->stop();
            shown = true;
            QTest_wait(150);
            shoot(w, name);
            if (inside) inside(w);
            if (auto* dialog = qobject_cast<QDialog*>(w))
                dialog->reject();
            else
                w->close();
        });
        timer->start();
        open();
        timer->stop();
        delete timer;
        delete clock;
        if (!shown) note(name + ": no window opened");
    }

    // Lets the window lay itself out and paint.
    static void QTest_wait(int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    // Triggers the named action or clicks the named button of a window.
    static void trigger(QWidget* window, const char* name) {
        if (auto* a = window->findChild<QAction*>(name)) {
            a->trigger();
        } else if (auto* b = window->findChild<QAbstractButton*>(name)) {
            b->click();
        } else {
            std::fprintf(stderr, "invarro-gallery: %s has no %s\n",
                         qPrintable(window->objectName()), name);
        }
    }

  private:
    QString out_;
    QFile list_;
    int count_ = 0;
    bool checking_ = false;
    int panel_ = 0, frame_ = 0, problems_ = 0;
};

}  // namespace

// Makes the demo installation in a folder that holds no books; false (said) when it cannot.
static bool MakeDemo(const std::string& folder, invarro::platform::Prompter& prompter) {
    invarro::storage::InitEngine(30);
    const invarro::app::InstallResult made = invarro::app::CreateDemoInstallation(folder, prompter);
    invarro::storage::ExitEngine();
    if (!made.ok) std::fprintf(stderr, "invarro-gallery: %s\n", made.message.c_str());
    return made.ok;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--demo") {
        const std::string folder = argv[2];
        if (invarro::app::HasDataFiles(folder)) {
            std::fprintf(stderr, "invarro-gallery: %s holds books already\n", folder.c_str());
            return 1;
        }
        std::filesystem::create_directories(folder);
        QuietPrompter quiet;
        return MakeDemo(folder, quiet) ? 0 : 1;
    }
    int panel = -1, frame = 0;
    int first = 1;
    bool dark = false;
    for (bool more = true; more;) {
        more = false;
        if (first < argc && std::string(argv[first]) == "--dark") {
            dark = more = true;
            ++first;
        } else if (first + 2 < argc && std::string(argv[first]) == "--check") {
            panel = std::atoi(argv[first + 1]);
            frame = std::atoi(argv[first + 2]);
            first += 3;
            more = true;
        }
    }
    if (argc != first + 2 || panel < -1 || frame < 0) {
        std::fputs(
            "usage: invarro-gallery [--dark] [--check PANEL FRAME] DATA-FOLDER OUTPUT-FOLDER\n"
            "       invarro-gallery --demo DATA-FOLDER\n",
            stderr);
        return 2;
    }
    QApplication app(argc, argv);
    if (dark) invarro::ui::ApplyColorScheme(invarro::ui::ColorScheme::Dark);
    const std::string folder = argv[first];
    const QString out = QString::fromLocal8Bit(argv[first + 1]);
    std::filesystem::create_directories(argv[first + 1]);

    QuietPrompter prompter;
    // A folder naming a server shows the books there, as the program does.
    if (const std::string error = invarro::app::MountBooksOfFolder(folder); !error.empty()) {
        std::fprintf(stderr, "invarro-gallery: %s\n", error.c_str());
        return 1;
    }
    if (!invarro::app::HasDataFiles(folder) && !MakeDemo(folder, prompter)) return 1;

    Gallery gallery(out);
    if (panel >= 0) gallery.setChecks(panel, frame);
    prompter.seen = [&gallery](const std::string& title, const std::string& text) {
        gallery.note(QString::fromStdString("message \"" + title + "\": " + text));
    };
    NoShell shell;
    invarro::ui::MainFormServices services;
    services.prompter = &prompter;
    services.shell = &shell;
    services.printerSetup = [] { return true; };
    services.choosePdfFile = [] { return QString(); };
    services.chooseBackupFolder = [] { return QString(); };
    services.chooseBackupArchive = [] { return QString(); };
    invarro::ui::DesktopBooksServer booksServer(folder, nullptr);
    services.booksServer = &booksServer;
    invarro::ui::LabelFieldsOfEveryWindow();  // as the program does
    TMainForm form(folder, services);
    if (!form.created()) return 1;
    // Checked, the main window opens where it would for the user; else at a size that shows
    // it well in a picture.
    if (panel < 0) form.resize(1100, 720);
    form.show();
    if (!form.startUp()) return 1;
    Gallery::QTest_wait(300);
    gallery.shoot(&form, "main-window");

    auto command = [&form](Command c) { return [&form, c] { form.runCommand(c); }; };
    using W = QWidget*;
    gallery.visit("company-manager", command(Command::CompanyManager), [&](W w) {
        gallery.visit(
            "company-setup", [w] { Gallery::trigger(w, "EditItem"); },
            [&](W setup) {
                gallery.visit("mail-templates",
                              [setup] { Gallery::trigger(setup, "EMTemplates"); });
            });
    });
    gallery.visit("customer-manager", command(Command::CustomerManager), [&](W w) {
        gallery.visit("customer-editor", [w] { Gallery::trigger(w, "EditAct"); });
        gallery.visit("customer-find", [w] { Gallery::trigger(w, "FindAct"); });
        gallery.visit("statement-window", [w] { Gallery::trigger(w, "ViewStmtAct"); });
        gallery.visit("customer-export", [w] { Gallery::trigger(w, "ExportAct"); });
    });
    gallery.visit("product-manager", command(Command::ProductManager), [&](W w) {
        gallery.visit("product-editor", [w] { Gallery::trigger(w, "EditInvoice"); });
        gallery.visit("product-find", [w] { Gallery::trigger(w, "FindAct"); });
    });
    gallery.visit("invoice-manager", command(Command::InvoiceManager), [&](W w) {
        gallery.visit("invoice-editor", [w] { Gallery::trigger(w, "EditInvoice"); });
        gallery.visit("invoice-quick-view", [w] { Gallery::trigger(w, "ViewAct"); });
        gallery.visit("invoice-find", [w] { Gallery::trigger(w, "FindAct"); });
        gallery.visit("repeat-setup", [w] { Gallery::trigger(w, "RepeatSetupAct"); });
        gallery.visit("batch-print", [w] { Gallery::trigger(w, "BatchPrintAct"); });
    });
    gallery.visit("payment-terms", command(Command::EditPaymentTerms));
    gallery.visit("payment-wizard", command(Command::PaymentWizard));
    gallery.visit("report-wizard", command(Command::ReportWizard), [&](W w) {
        gallery.visit(
            "report-window", [w] { Gallery::trigger(w, "ViewBtn"); },
            [&](W report) {
                gallery.visit("top-ten-chart", [report] { Gallery::trigger(report, "ChartBtn"); });
            });
    });
    gallery.visit("interest-wizard", command(Command::InterestWizard), [&](W w) {
        Gallery::trigger(w, "Button1");  // scan, to show the customers charged
        Gallery::QTest_wait(200);
        gallery.shoot(w, "interest-wizard-scanned");
    });
    gallery.visit("label-wizard", command(Command::LabelWizard), [&](W w) {
        Gallery::trigger(w, "LoadAllBtn");
        Gallery::QTest_wait(200);
        gallery.shoot(w, "label-wizard-loaded");
    });
    gallery.visit("repeat-billing-wizard", command(Command::RepeatBillingWizard));
    gallery.visit("form-letter-wizard", command(Command::FormLetterWizard));
    gallery.visit("e-mail-message", command(Command::SendEMailMessage));
    gallery.visit("calendar", command(Command::ViewCalendar));
    gallery.visit("password-setup", command(Command::PasswordSetup));
    gallery.visit("delete-paid-invoices", command(Command::DeletePaidInvoices));
    gallery.visit("backup", command(Command::BackupDataFiles));
    gallery.visit("books-on-a-server", command(Command::BooksOnServer));
    gallery.visit("about", command(Command::About));

    // In e-mail mode, the look at an invoice's message before it goes (closed unsent).
    Gallery::trigger(&form, "EMailMode");
    gallery.visit("invoice-manager-email", command(Command::InvoiceManager), [&](W w) {
        gallery.visit("mail-confirm", [w] { Gallery::trigger(w, "ToPrinterButn"); });
    });
    Gallery::trigger(&form, "PrinterMode");
    // The bank statements of the European company: its lines, a proposed line opened to be
    // matched by hand, and the new lines alone; the first company is in use again after.
    const std::optional<invarro::data::CompanyRecord> inUse = form.session().company;
    form.reloadCompanyInUse(invarro::app::ReadCompanyByNumber(folder, "3", prompter), false);
    gallery.visit("bank-statements", command(Command::BankStatements), [&](W w) {
        auto* bank = qobject_cast<invarro::ui::TBankStatements*>(w);
        if (!bank) return;
        for (const invarro::banking::ReviewRow& r : bank->review().rows())
            if (r.stored.state == invarro::banking::LineState::New && r.canConfirm() &&
                bank->showLine(r.stored.recNo)) {
                gallery.visit("bank-line-choice", [bank] { Gallery::trigger(bank, "ChangeBtn"); });
                break;
            }
        bank->setFilter(invarro::ui::TBankStatements::Filter::New);
        Gallery::QTest_wait(100);
        gallery.shoot(w, "bank-statements-new");
    });
    form.reloadCompanyInUse(inUse, false);

    form.runCommand(Command::AgingChart);
    Gallery::QTest_wait(200);
    gallery.shoot(&form, "main-window-aging-chart");
    form.saveBounds();
    if (gallery.problems() > 0) {
        std::fprintf(stderr, "invarro-gallery: %d problem(s)\n", gallery.problems());
        return 1;
    }
    return 0;
}
