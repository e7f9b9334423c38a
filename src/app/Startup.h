// The decisions of program start: whether the data folder holds an installation, the
// company in use read from "LastCo.Dat" and refreshed from the company file, the
// computer-date check, and how the main window shows the company (caption, font,
// background picture).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/Session.h"
#include "data/Layout.h"
#include "data/Records.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"

namespace invarro::app {

inline constexpr std::string_view kPleaseSetup = "Please Setup Your Company.";
inline constexpr std::string_view kComputerDateWrong =
    "The date on your computer appears to be incorrect. This will effect program "
    "calculations. Please verify your computer is using the correct date.";
inline constexpr std::string_view kBackgroundMissing =
    "Your selected background bitmap image no longer exists. I will attempt to load a default "
    "background image. You may have moved this program. Use the System Graphics Tab in your "
    "Company Setup to select another background bitmap or to disable it entirely.";
inline constexpr std::string_view kFallbackBackground = "ztt8.bmp";
inline constexpr std::string_view kDefaultQuoteWord = "Quote";

// "LastCo.Dat" exists: the folder holds an installation.
bool HasDataFiles(const std::string& folder);
// The question when it does not: where the data files were looked for, how another data
// folder is given, and whether a new, empty installation is to be made there (Yes).
platform::Message NoDataFilesMessage(const std::string& folder);

// Reads the company with this number (key 1) from the company file. Nothing when the
// file is missing, cannot be opened (the user is told why) or holds no such company.
std::optional<data::CompanyRecord> ReadCompanyByNumber(const std::string& folder,
                                                       std::string_view companyNo,
                                                       platform::Prompter& prompter);

// "LastCo.Dat" read and then replaced by the company file's record of the same number,
// when there is one. Nothing when "LastCo.Dat" cannot be read.
std::optional<data::CompanyRecord> LoadCompanyInUse(const std::string& folder,
                                                    platform::Prompter& prompter);

// Dates before 1 January 2008 cannot be right.
bool ComputerDateSuspect(const data::Date& today);
// Shows "Computer Date" when the clock's date is suspect; returns whether it did.
bool WarnAboutComputerDate(const platform::Clock& clock, platform::Prompter& prompter);

// The date order from the company's DateFormatCode, and "Quote" for an empty quote word.
void ApplyCompanySettings(Session& session);

// Where the main window's background comes from.
enum class BackgroundSource {
    None,     // no picture
    File,     // the file named in file
    BuiltIn,  // the program's own tile picture
    Keep,     // whatever picture the window holds
};

// How the main window shows the company in use.
struct CompanyLook {
    bool setUp = false;           // the company has a name
    std::string caption;          // the caption label's text
    data::FontSetting font;       // the caption label's font (when set up)
    bool showBackground = false;  // tile the window with the picture
    BackgroundSource source = BackgroundSource::None;
    std::string file;  // the picture file when source is File
};

// The caption: the name followed by "     Number: " and the company number.
std::string CompanyCaption(const data::CompanyRecord& company);

// At start: a company without a name (under 2 characters) is named "Please Setup Your
// Company." in memory and shown without background. Otherwise a background file that no
// longer exists is reported, the built-in picture takes its place, and "ztt8.bmp" in the
// data folder, when present, becomes the company's background in memory.
CompanyLook StartCompanyLook(Session& session, platform::Prompter& prompter);
// After the company in use changed: the same, except that a missing background file is
// not reported and the window keeps the picture it has.
CompanyLook ReloadCompanyLook(Session& session);

// A background or logo file name as stored, resolved against the data folder when it is
// not a full path.
std::string ResolveDataFile(const std::string& folder, const std::string& stored);

}  // namespace invarro::app
