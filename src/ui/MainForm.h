// TMainForm: the main window. It loads the company in use when it is made, runs the
// start-up checks when it is first shown (password, old line file, daily aging), and
// offers every command of the program through its menus and tool buttons.
//
// Commands are kept in a table. Each has a menu item and/or a tool button; a command
// runs through runCommand(), which first hides the aging chart where the command opens a
// manager, and then calls the command's handler. A command without a handler is
// disabled. The windows that later parts of the program build are enabled by giving
// their command a handler:
//
//     form.setCommandHandler(TMainForm::Command::CustomerManager,
//                            [](TMainForm& f) { TCustForm(f.session(), ...).exec(); });
#pragma once

#include <QColor>
#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/Aging.h"
#include "app/Password.h"
#include "app/Purge.h"
#include "app/Session.h"
#include "app/Startup.h"
#include "platform/Archive.h"
#include "platform/Clock.h"
#include "platform/Keyring.h"
#include "platform/Mailer.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"
#include "platform/Shell.h"
#include "ui/BooksServerDialog.h"
#include "ui/CustContext.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QTimer;
class QToolButton;

namespace invarro::ui {

class TAgingChart;
class TPasswordDlg;
class TBackgroundPanel;
class CalendarPicker;

// What the main window works through. Anything left empty is the desktop's own.
struct MainFormServices {
    platform::Prompter* prompter = nullptr;
    const platform::Clock* clock = nullptr;
    platform::Shell* shell = nullptr;
    app::PasswordDialogPort* passwords = nullptr;                   // else the password dialog
    app::DatePickerPort* calendar = nullptr;                        // else the calendar window
    std::function<std::unique_ptr<platform::Progress>()> progress;  // else the status window
    std::function<QString()> choosePdfFile;        // else the "Open PDF File" dialog
    std::function<bool()> printerSetup;            // else the printer set-up dialog
    std::string helpFolder;                        // where help/<topic>.html are
    platform::Archive* archive = nullptr;          // else the ZIP archive of libzip
    platform::Mailer* mailer = nullptr;            // else the mail client of libcurl
    std::function<QString()> chooseBackupFolder;   // else the desktop's folder chooser
    std::function<QString()> chooseBackupArchive;  // else the desktop's file chooser
    platform::Keyring* keyring = nullptr;  // none: mail passwords stay in the company records
    // The keyring of mail sign-in tokens and the OAuth 2.0 client; without either no
    // company can sign in with a provider.
    platform::Keyring* tokenKeyring = nullptr;
    platform::OAuthClient* oauth = nullptr;
    // Where the books are (a server or files); without it the command is disabled and the
    // status bar shows nothing of it.
    BooksServerPort* booksServer = nullptr;
};

class TMainForm : public QMainWindow {
    Q_OBJECT

  public:
    enum class Command {
        CompanyManager,
        CustomerManager,
        ProductManager,
        InvoiceManager,
        PrinterSetup,
        EditPaymentTerms,
        Exit,
        PaymentWizard,
        ReportWizard,
        InterestWizard,
        LabelWizard,
        RepeatBillingWizard,
        FormLetterWizard,
        SendEMailMessage,
        AgingChart,
        Calculator,
        ViewCalendar,
        PasswordSetup,
        DeletePaidInvoices,
        BackupDataFiles,
        RebuildDataFiles,
        BooksOnServer,
        HelpTopics,
        HelpFaq,
        SupportForum,
        WebSite,
        ProductUpgrades,
        About,
        ViewPdfFiles,
        BankStatements,
    };
    using Handler = std::function<void(TMainForm&)>;

    static constexpr int kDesignedWidth = 635;
    static constexpr int kDesignedHeight = 546;
    static constexpr const char* kBoundsSection = "MainForm";

    // Makes the window and loads the company in use. When the data folder holds no
    // installation the user may have one made there; otherwise created() is false and
    // the program ends.
    TMainForm(std::string dataFolder, MainFormServices services, QWidget* parent = nullptr);
    ~TMainForm() override;

    bool created() const { return created_; }

    // The start-up checks of the first show: password, print mode, conversion of an old
    // line file, daily aging. False when the program must end (wrong password).
    bool startUp();

    // ------------------------------------------------------------- commands
    void setCommandHandler(Command command, Handler handler);
    bool commandEnabled(Command command) const;
    void runCommand(Command command);
    QAction* menuAction(Command command) const;
    QToolButton* toolButton(Command command) const;

    // Ages the receivables (forced: even with a zero total) and shows the chart when due.
    void runAging(bool forced);
    void hideChart();
    bool chartShowing() const;
    void purgePaidRecords();
    void setupPassword();
    void rebuildDataFiles();
    void openHelp(const std::string& keyword);

    // "Co&mpany Manager...": the manager, then the company it hands over becomes the
    // company in use (a company chosen with "Set As Default", else the company in use read
    // again when it was edited there).
    // setUpInUse: the set-up of the company in use opens in it at once.
    void companyManager(bool setUpInUse = false);
    // At start, when the aging of the day has run already: the chart of the stored aging.
    void showStoredAging();

    // The company manager's end: the company in use is read again when it was edited
    // there, else the one chosen there becomes the company in use.
    void reloadCompanyInUse(const std::optional<data::CompanyRecord>& chosen, bool editedInUse);

    // "Invarro Backup and Restore"; at the end of the program without its Restore button.
    void backupDataFiles(bool restoreAllowed);
    // "Books on a Server": where the books are, and moving them there.
    void booksOnServer();
    // The status bar's panel telling that the books are on a server and how many work in
    // them.
    void updateServerPanel();
    // The window is kept wide enough for the status bar's server and clock panels.
    void keepStatusPanelsWhole();
    // Around a restore: every file of the company is closed (the storage engine stops,
    // which closes anything still open and writes its buffers out), and afterwards the
    // engine starts again and the company in use is read again from the restored files.
    bool closeCompanyFiles(std::string* error);
    void reopenCompany();

    // Asked by a second start of the program.
    void restoreAndRaise();

    // ------------------------------------------------------------- state
    app::Session& session() { return session_; }
    const app::Session& session() const { return session_; }
    platform::Prompter& prompter() { return *prompter_; }
    const platform::Clock& clock() const { return *clock_; }
    void setStatus(const QString& text);
    QString statusText() const;
    QString clockText() const;
    QString captionText() const;
    QString modeText() const;
    TAgingChart* chart() const { return chart_; }
    bool backgroundShown() const;
    QImage backgroundPicture() const;
    std::unique_ptr<platform::Progress> makeProgress(bool cancellable = false);
    // What the customer windows work with: the session's company, label queue and
    // selected customer, this window's message boxes, clock, status line and help.
    CustomerWindowContext customerContext(platform::Progress* progress);

    // Writes the window's bounds into the INI file.
    bool saveBounds();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    struct CommandSlot {
        QAction* action = nullptr;
        QToolButton* button = nullptr;
        Handler handler;
        bool hidesChart = false;
        bool readyStatus = false;
    };

    void buildWindow();
    void buildCommands();
    void applyHints(bool show);
    void loadCompany();
    void applyLook(const app::CompanyLook& look);
    void applyCaptionColour();
    void applyPrintMode();
    void setEMailMode(bool on);
    void updateClock();
    void applyBounds();
    app::RunHooks hooks();
    platform::Shell& shell();
    // The mail client of the run: one for the whole program, its connection open only
    // during a mail run.
    platform::Mailer& mailer();
    void viewPdfFiles();
    void askWebPage(int page);
    void finishEngine();

    std::string folder_;
    MainFormServices services_;
    platform::Prompter* prompter_ = nullptr;
    const platform::Clock* clock_ = nullptr;
    std::unique_ptr<platform::Prompter> ownPrompter_;
    std::unique_ptr<platform::Clock> ownClock_;
    std::unique_ptr<platform::Shell> ownShell_;
    std::unique_ptr<platform::Mailer> ownMailer_;
    std::unique_ptr<CalendarPicker> ownCalendar_;
    std::unique_ptr<platform::Archive> ownArchive_;
    app::Session session_;
    bool created_ = true;
    bool engineStarted_ = false;  // this window started the storage engine
    bool companyLoaded_ = false;

    std::map<Command, CommandSlot> commands_;
    TBackgroundPanel* background_ = nullptr;
    QLabel* caption_ = nullptr;
    QColor captionColour_;                 // the company's caption colour; none before it is set up
    QPushButton* setUpCompany_ = nullptr;  // shown while the company has no name
    QRadioButton* printerMode_ = nullptr;
    QRadioButton* eMailMode_ = nullptr;
    QLabel* modeLabel_ = nullptr;
    TAgingChart* chart_ = nullptr;
    QLabel* clockPanel_ = nullptr;
    QLabel* serverPanel_ = nullptr;
    QLabel* statusPanel_ = nullptr;
    QTimer* clockTimer_ = nullptr;
    TPasswordDlg* passwordDlg_ = nullptr;
};

}  // namespace invarro::ui
