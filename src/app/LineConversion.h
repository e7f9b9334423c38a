// The conversion of an invoice line file of the old format (CompanyPrefix + "D") into
// the line file of today (CompanyPrefix + "N"), run once when the main window shows.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/Session.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"

namespace invarro::app {

inline constexpr std::string_view kConversionNotice =
    "I need to convert your invoice line items file for this company. Please do not interrupt "
    "the file conversion process. Thank you.";
inline constexpr std::string_view kConversionDone =
    "File conversion is complete. Welcome to version 4!";

// The old line file's data file (CompanyPrefix + "D" with the extension ".dat" in any
// letter case), when the company has one.
std::optional<std::string> FindOldLineFile(const std::string& folder, std::string_view prefix);

enum class ConversionStatus { NoOldFile, Done, Failed };
struct ConversionOutcome {
    ConversionStatus status = ConversionStatus::NoOldFile;
    int converted = 0;
    std::string error;
};

// Copies every live record of the old file into a new line record (line number "01"),
// deletes the old files, rebuilds the company's files and tells the user. When anything
// fails the old file is kept, so that the next start tries again.
ConversionOutcome ConvertOldLineFile(const Session& session, platform::Prompter& prompter,
                                     platform::Progress& progress, const RunHooks& hooks);

}  // namespace invarro::app
