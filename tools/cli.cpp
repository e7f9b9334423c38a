// invarro-cli: the headless batch commands. This file only sets up what needs Qt (PDF
// output on the offscreen platform, the lock that keeps the desktop program off the data
// folder while a command runs), the mail client and the desktop keyring; the verbs live in src/cli.

#include <QGuiApplication>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "platform/curl/CurlMailer.h"
#include "platform/curl/CurlOAuth.h"
#include "platform/qt/LetterText.h"
#include "platform/qt/PainterCanvas.h"
#include "platform/qt/SingleInstance.h"
#include "platform/secret/SecretKeyring.h"

namespace {

// Qt's notes about the session (no XDG_RUNTIME_DIR under cron or systemd) are no message
// of the command's; everything else goes to standard error as usual.
void QuietSessionNotes(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.contains("XDG_RUNTIME_DIR")) return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(QuietSessionNotes);
    // No display is needed: fonts and PDF output come from the offscreen platform.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    app.setApplicationName("invarro-cli");

    std::vector<std::string> args(argv + 1, argv + argc);
    std::unique_ptr<invarro::platform::qt::SingleInstance> instance;
    invarro::cli::CliServices services;
    services.pdfCanvas = [] {
        return std::make_unique<invarro::platform::qt::PainterCanvas>(nullptr);
    };
    services.letterPdf =
        [](const std::string& file) -> std::unique_ptr<invarro::output::LetterSink> {
        return std::make_unique<invarro::platform::qt::LetterPrinter>(file);
    };
    services.mailer = [] { return std::make_unique<invarro::platform::curl::CurlMailer>(); };
    // Under cron or systemd there is often no keyring; the password is then the company
    // record's.
    invarro::platform::secret::SecretKeyring keyring;
    services.keyring = [&keyring]() -> invarro::platform::Keyring* {
        return keyring.available() ? &keyring : nullptr;
    };
    // The sign-in tokens of companies that send through a provider.
    invarro::platform::secret::SecretKeyring tokenKeyring(
        invarro::platform::secret::kTokenSchemaName, "Invarro mail sign-in");
    services.tokenKeyring = [&tokenKeyring]() -> invarro::platform::Keyring* {
        return tokenKeyring.available() ? &tokenKeyring : nullptr;
    };
    // Database passwords of data folders whose books are on a server.
    invarro::platform::secret::SecretKeyring serverKeyring(
        invarro::platform::secret::kServerSchemaName, "Invarro database password");
    services.serverKeyring = [&serverKeyring]() -> invarro::platform::Keyring* {
        return serverKeyring.available() ? &serverKeyring : nullptr;
    };
    invarro::platform::curl::CurlOAuth oauth;
    services.oauth = [&oauth]() -> invarro::platform::OAuthClient* { return &oauth; };
    services.claimFolder = [&instance](const std::string& folder) {
        namespace qt = invarro::platform::qt;
        instance = std::make_unique<qt::SingleInstance>(QString::fromStdString(folder));
        switch (instance->hold(3000)) {
            case qt::SingleInstance::Outcome::First:
                return invarro::cli::FolderClaim::Free;
            case qt::SingleInstance::Outcome::AlreadyRunning:
                return invarro::cli::FolderClaim::InUse;
            case qt::SingleInstance::Outcome::Undecided:
                break;
        }
        return invarro::cli::FolderClaim::Starting;
    };
    return invarro::cli::RunCli(args, services);
}
