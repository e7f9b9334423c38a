// invarro-cli: the batch commands of the program, run without a window. Each verb is one
// small function registered in one table; it calls the same logic as the window that does
// the same job. Results go to standard output, messages and progress to standard error.
// Exit status: 0 done, 1 the job failed or found problems, 2 the command line was wrong.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/Manual.h"
#include "output/Canvas.h"
#include "output/FormLetter.h"
#include "platform/Clock.h"
#include "platform/Keyring.h"
#include "platform/Mailer.h"
#include "platform/OAuth.h"

namespace invarro::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Whether the data folder may be used: a running desktop program (or one starting) holds it.
enum class FolderClaim { Free, InUse, Starting };

// What the program around the commands supplies.
struct CliServices {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    // A canvas that writes PDF files (and opens nothing).
    std::function<std::unique_ptr<output::Canvas>()> pdfCanvas;
    // Where merged form letters go: one PDF file holding every letter.
    std::function<std::unique_ptr<output::LetterSink>(const std::string& pdfFile)> letterPdf;
    // Claims the data folder for the run; nothing claims it when unset.
    std::function<FolderClaim(const std::string& folder)> claimFolder;
    // A mail client for the e-mail verbs; they refuse to run when unset.
    std::function<std::unique_ptr<platform::Mailer>()> mailer;
    // The desktop keyring when one answers (asked only by the e-mail verbs), else null.
    std::function<platform::Keyring*()> keyring;
    // The keyring of mail sign-in tokens when one answers, else null; and the OAuth 2.0
    // client. Without them a company that signs in with a provider cannot send.
    std::function<platform::Keyring*()> tokenKeyring;
    std::function<platform::OAuthClient*()> oauth;
    // The keyring of database passwords when one answers, else null (libpq's ~/.pgpass is
    // read in any case).
    std::function<platform::Keyring*()> serverKeyring;
    // Waits between two polls of the device sign-in; false stops it. A real sleep when unset.
    std::function<bool(int seconds)> pause;
    // Today and now; the computer's clock when unset.
    const platform::Clock* clock = nullptr;
};

// The verbs and options of the command line, for --help and the manual page.
ProgramDoc CliDoc();

// Runs one command line (without the program name).
int RunCli(const std::vector<std::string>& args, CliServices& services);

}  // namespace invarro::cli
