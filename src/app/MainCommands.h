// The main window's own commands that need no window of their own: the rebuild of the
// company's data files, the PDF file check, the web pages and the help pages.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/Session.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"

namespace invarro::app {

inline constexpr std::string_view kRebuiltText = "The data files have been rebuilt.";
inline constexpr std::string_view kRebuiltTitle = "Rebuild Complete";

// Rebuilds every fileblock of the company in use (company, customers, invoices, invoice
// lines, memos, products) and says so. A failure is told with the engine's error.
bool RebuildDataFiles(const Session& session, platform::Prompter& prompter,
                      platform::Progress& progress, const RunHooks& hooks);

// "View PDF Files" accepts a name that contains ".PDF" in any letter case.
bool IsPdfFileName(std::string_view name);
platform::Message WrongPdfExtensionMessage();
platform::Message CalculatorNotFoundMessage();
platform::Message AgingChartShowingMessage();

// The three web pages of the Help menu, each opened after its question.
enum class WebPage { SupportForum, HomePage, Upgrades };
platform::Message WebPageQuestion(WebPage page);
std::string WebPageAddress(WebPage page);

// Help by keyword: help/<keyword>.html in the help folder.
inline constexpr std::string_view kHelpContents = "Contents";
inline constexpr std::string_view kHelpFaq = "Frequent Asked Questions";
std::string HelpPagePath(const std::string& helpFolder, std::string_view keyword);
// The first of the candidate folders that holds the contents page.
std::optional<std::string> FindHelpFolder(const std::vector<std::string>& candidates);
platform::Message HelpMissingMessage(std::string_view keyword);

}  // namespace invarro::app
