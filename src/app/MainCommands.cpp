#include "app/MainCommands.h"

#include <vector>

#include "data/Ansi.h"
#include "data/BooksAlone.h"
#include "data/Files.h"
#include "data/Open.h"
#include "data/Rebuild.h"
#include "data/Texts.h"
#include "output/FileNames.h"
#include "platform/Shell.h"
#include "storage/Engine.h"

namespace invarro::app {

using platform::Answer;
using platform::Buttons;
using platform::Icon;
using platform::Message;

bool RebuildDataFiles(const Session& session, platform::Prompter& prompter,
                      platform::Progress& progress, const RunHooks& hooks) {
    // On a server the rebuild runs only while nobody else works in the books.
    const data::BooksAlone alone(session.folder);
    if (!alone.granted()) {
        prompter.ask(data::GiveUpMessage(alone.refusal()));
        return false;
    }
    bool ok;
    {
        BusyScope busy(hooks);
        ok = data::RebuildCompanyFiles(session.folder, session.companyPrefix(), progress);
    }
    if (!ok) {
        const int32_t error = storage::EngineError;
        // Lost to others after the connection went: each fileblock's rebuild on a server is
        // made whole or not at all.
        const std::string lost = alone.lost();
        prompter.ask(Message{
            std::string(data::kAppTitle),
            lost.empty() ? "Unable to rebuild the data files: error " + std::to_string(error)
                         : lost + " The data files rebuilt until then are rebuilt, the "
                                  "others are as they were; rebuild again when you "
                                  "have the books to yourself.",
            Icon::Error, Buttons::Ok, Answer::Ok});
        return false;
    }
    prompter.ask(Message{std::string(kRebuiltTitle), std::string(kRebuiltText), Icon::Information,
                         Buttons::Ok, Answer::Ok});
    return true;
}

bool IsPdfFileName(std::string_view name) {
    return data::UpperText(name).find(".PDF") != std::string::npos;
}

Message WrongPdfExtensionMessage() {
    return Message{std::string(data::kAppTitle),
                   "Incorrect file extension. Must be a PDF (*.pdf) file.", Icon::Warning,
                   Buttons::Ok, Answer::Ok};
}

Message CalculatorNotFoundMessage() {
    std::string names;
    for (std::string_view name : platform::kCalculatorPrograms)
        names += std::string(names.empty() ? "" : ", ") + std::string(name);
    return Message{"Calculator",
                   "No calculator was found. These were looked for on the search path (PATH): " +
                       names + ". Install one of them to use this command.",
                   Icon::Warning, Buttons::Ok, Answer::Ok};
}

Message AgingChartShowingMessage() {
    return Message{"Aging Chart", "The Aging Chart is currently showing.", Icon::Information,
                   Buttons::Ok, Answer::Ok};
}

Message WebPageQuestion(WebPage page) {
    switch (page) {
        case WebPage::SupportForum:
            return Message{"Internet Support Forum",
                           "This option will connect you to the internet and take you to our "
                           "support forum. You must have an internet connection on this "
                           "computer. Continue?",
                           Icon::Question, Buttons::YesNo, Answer::Yes};
        case WebPage::HomePage:
            return Message{"Internet Home Page",
                           "An internet connection is required to use this feature. Continue?",
                           Icon::Question, Buttons::YesNo, Answer::Yes};
        case WebPage::Upgrades:
            break;
    }
    return Message{"Software Upgrades",
                   "This option will connect you to the internet and take you to our upgrade "
                   "information web page. You must have an internet connection on this "
                   "computer. Continue?",
                   Icon::Question, Buttons::YesNo, Answer::Yes};
}

std::string WebPageAddress(WebPage page) {
    switch (page) {
        case WebPage::SupportForum:
            return "https://invarro.example.org/forum/";
        case WebPage::HomePage:
            return "https://invarro.example.org/";
        case WebPage::Upgrades:
            break;
    }
    return "https://invarro.example.org/upgrades/";
}

std::string HelpPagePath(const std::string& helpFolder, std::string_view keyword) {
    // A keyword such as "View/Print/Batch-Print Customer Statements" names one page, not
    // folders.
    return data::JoinPath(helpFolder, output::SafeFileName(std::string(keyword) + ".html"));
}

std::optional<std::string> FindHelpFolder(const std::vector<std::string>& candidates) {
    for (const std::string& folder : candidates)
        if (!folder.empty() && data::FileExists(HelpPagePath(folder, kHelpContents))) return folder;
    return std::nullopt;
}

Message HelpMissingMessage(std::string_view keyword) {
    return Message{std::string(data::kAppTitle),
                   "The help page \"" + std::string(keyword) + "\" is not installed.",
                   Icon::Warning, Buttons::Ok, Answer::Ok};
}

}  // namespace invarro::app
