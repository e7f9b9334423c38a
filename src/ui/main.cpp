// invarro: the desktop program. One instance runs per data folder; it opens the
// company in use in the main window. --init sets up a new installation without a window,
// --demo fills an empty data folder with a demo installation and opens it.

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "app/Demo.h"
#include "app/Installation.h"
#include "app/MainCommands.h"
#include "app/ServerBooks.h"
#include "app/Startup.h"
#include "app/TilePicture.h"
#include "cli/ProgramDocs.h"
#include "data/DataFolder.h"
#include "data/Open.h"
#include "data/OwnFiles.h"
#include "data/SideFiles.h"
#include "data/Texts.h"
#include "maintenance/Backup.h"
#include "platform/ConsolePrompter.h"
#include "platform/curl/CurlOAuth.h"
#include "platform/qt/QtPrompter.h"
#include "platform/qt/SingleInstance.h"
#include "platform/qt/TerminationSignals.h"
#include "platform/secret/SecretKeyring.h"
#include "platform/zip/ZipArchive.h"
#include "storage/Engine.h"
#include "ui/DesktopTheme.h"
#include "ui/DesktopBooksServer.h"
#include "ui/MainForm.h"
#include "ui/Splash.h"
#include "ui/ThemeIcons.h"
#include "ui/WheelKeys.h"
#include "ui/WindowSupport.h"

namespace {

int Usage(std::FILE* to, int status) {
    std::fputs(invarro::cli::HelpText(invarro::cli::DesktopDoc()).c_str(), to);
    return status;
}

int InitOnly(const std::string& folder) {
    namespace storage = invarro::storage;
    storage::InitEngine(30);
    if (!storage::EngineOk) {
        std::fprintf(stderr, "invarro: cannot start the storage engine (error %d).\n",
                     int(storage::EngineError));
        return 1;
    }
    invarro::platform::ConsolePrompter prompter;
    invarro::app::InstallResult r = invarro::app::CreateInstallation(folder, prompter);
    storage::ExitEngine();
    std::string error;
    if (r.ok && !invarro::app::WriteInstallationPictures(folder, &error)) {
        r.ok = false;
        r.message = error;
    }
    std::fprintf(r.ok ? stdout : stderr, "%s\n", r.message.c_str());
    return r.ok ? 0 : 1;
}

// The demo installation, made in an empty folder before the window opens.
bool MakeDemo(const std::string& folder, invarro::platform::Prompter& prompter) {
    namespace storage = invarro::storage;
    if (invarro::app::HasDataFiles(folder)) return true;
    storage::InitEngine(30);
    invarro::app::InstallResult r = invarro::app::CreateDemoInstallation(folder, prompter);
    storage::ExitEngine();
    if (!r.ok) {
        prompter.ask(invarro::data::GiveUpMessage(r.message));
        return false;
    }
    // A first backup in the sub-folder "Backups", so that the backup window shows its date
    // and a restore has an archive to choose.
    namespace maintenance = invarro::maintenance;
    const std::string backups = folder + "/Backups";
    if (invarro::data::EnsureFolder(backups)) {
        maintenance::BackupRequest request;
        request.dataFolder = folder;
        request.targetFolder = backups;
        invarro::platform::SystemClock clock;
        request.today = invarro::data::Today(clock);
        if (auto company = invarro::data::ReadLastCompany(folder))
            request.dateOrder = invarro::data::DateOrderFromCode(
                company->ansi(invarro::data::Company::DateFormatCode));
        invarro::platform::zip::ZipArchive zip;
        maintenance::FileMover mover;
        maintenance::BackupOutcome made = maintenance::RunBackup(request, zip, mover);
        if (!made.ok) std::fprintf(stderr, "invarro: demo backup: %s\n", made.error.c_str());
    }
    return true;
}

std::string HelpFolder() {
    std::vector<std::string> candidates;
    if (const char* env = std::getenv("INVARRO_HELP"); env && *env) candidates.push_back(env);
    const std::string appDir = QCoreApplication::applicationDirPath().toStdString();
    candidates.push_back(appDir + "/../share/invarro/help");
    candidates.push_back(appDir + "/../help");
#ifdef INVARRO_HELP_DIR
    candidates.push_back(INVARRO_HELP_DIR);
#endif
    return invarro::app::FindHelpFolder(candidates).value_or(std::string());
}

// Lets the splash window stand for at least the given time since it appeared.
void HoldSplash(const QElapsedTimer& shown, int milliseconds) {
    const qint64 left = milliseconds - shown.elapsed();
    if (left <= 0) return;
    QEventLoop wait;
    QTimer::singleShot(int(left), &wait, &QEventLoop::quit);
    wait.exec(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::string> dataOption;
    bool init = false, demo = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc) {
            dataOption = argv[++i];
        } else if (std::strcmp(argv[i], "--init") == 0) {
            init = true;
        } else if (std::strcmp(argv[i], "--demo") == 0) {
            demo = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            return Usage(stdout, 0);
        } else {
            std::fprintf(stderr, "invarro: unknown option %s\n", argv[i]);
            return Usage(stderr, 2);
        }
    }
    if (init && demo) return Usage(stderr, 2);
    const std::string folder = invarro::data::ResolveDataFolder(dataOption);
    // Files the user names keep off the folder's own files; those made inside it are the
    // owner's alone.
    invarro::data::SetDataFolderInUse(folder);
    if (init) return InitOnly(folder);

    namespace ui = invarro::ui;
    namespace qt = invarro::platform::qt;
    QApplication app(argc, argv);
    // Only the application name is set: a display name would be appended by the desktop to
    // every window title, and the windows carry their own titles as they are.
    app.setApplicationName("invarro");
    // The desktop entry the windows belong to, the icon theme and the program's own icon.
    app.setDesktopFileName(ui::kApplicationId);
    ui::SetUpIconTheme();
    app.setWindowIcon(ui::ApplicationIcon());
    // The desktop's light or dark choice, followed while the program runs.
    ui::TDesktopTheme theme(QDBusConnection::sessionBus());
    theme.start();

    // Asked to end from outside (logout, Ctrl+C): the same orderly end as Exit, without
    // questions, since nobody may be there to answer them.
    qt::TerminationSignals termination;
    qt::QtPrompter prompter;
    bool ended = false;
    ui::TMainForm* window = nullptr;
    QObject::connect(&termination, &qt::TerminationSignals::terminationRequested, &app, [&] {
        ended = true;
        prompter.abandon();
        // Dialogs waiting for the user give way first.
        for (int i = 0; i < 8 && QApplication::activeModalWidget(); ++i)
            QApplication::activeModalWidget()->close();
        if (window) {
            window->session().labelsWaiting = false;
            window->close();
        }
        app.quit();
    });

    qt::SingleInstance instance(QString::fromStdString(folder));
    switch (instance.start(10000)) {
        case qt::SingleInstance::Outcome::AlreadyRunning:
            return 0;
        case qt::SingleInstance::Outcome::Undecided:
            std::fprintf(stderr, "invarro: another start on %s did not answer in time; ending.\n",
                         folder.c_str());
            return 1;
        case qt::SingleInstance::Outcome::First:
            break;
    }
    ui::WheelKeys::Install();
    // A folder that names a server has its books there: mounted before anything opens a
    // fileblock, and the books are not opened at all when the server cannot be reached.
    invarro::platform::secret::SecretKeyring serverKeyring(
        invarro::platform::secret::kServerSchemaName, "Invarro database password");
    if (const std::string error = invarro::app::MountBooksOfFolder(
            folder, serverKeyring.available() ? &serverKeyring : nullptr);
        !error.empty()) {
        prompter.ask(invarro::data::GiveUpMessage(error));
        return 1;
    }
    if (demo && !MakeDemo(folder, prompter)) return 1;

    ui::MainFormServices services;
    services.prompter = &prompter;
    services.helpFolder = HelpFolder();
    invarro::platform::secret::SecretKeyring keyring;
    services.keyring = &keyring;
    invarro::platform::secret::SecretKeyring tokenKeyring(
        invarro::platform::secret::kTokenSchemaName, "Invarro mail sign-in");
    services.tokenKeyring = &tokenKeyring;
    invarro::platform::curl::CurlOAuth oauth;
    services.oauth = &oauth;
    invarro::ui::DesktopBooksServer booksServer(
        folder, serverKeyring.available() ? &serverKeyring : nullptr);
    services.booksServer = &booksServer;
    // Every window names its fields for screen readers and fits the screen.
    ui::LabelFieldsOfEveryWindow();
    ui::TMainForm form(folder, services);
    if (!form.created()) return 1;
    window = &form;
    prompter.setParent(&form);
    QObject::connect(&instance, &qt::SingleInstance::raiseRequested, &form,
                     &ui::TMainForm::restoreAndRaise);

    ui::TSplashForm splash(form.windowTitle());
    QElapsedTimer splashShown;
    splashShown.start();
    splash.showCentred();
    HoldSplash(splashShown, 900);
    splash.close();
    if (ended) {
        form.close();
        return 0;
    }

    int exitCode = 0;
    form.show();
    QTimer::singleShot(0, &form, [&] {
        if (form.startUp()) return;
        // A wrong password (or none) ends the program.
        exitCode = 1;
        form.close();
        app.quit();
    });
    const int loop = app.exec();
    return exitCode != 0 ? exitCode : loop;
}
