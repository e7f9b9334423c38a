// The report wizard's logic: the date presets, the checks of the chosen dates, and the
// run of one report over the company's files. The wizard window and the command line
// both come here with a ReportChoice.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "data/Dates.h"
#include "data/Records.h"
#include "output/Rpt.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"

namespace invarro::output {

inline constexpr const char* kReportWizardTitle = "Report Wizard";
inline constexpr const char* kReportHelpTopic = "Report Wizard";
inline constexpr const char* kReportFilterHelpTopic = "Report Filter";

enum class DatePreset {
    MonthToDate,
    YearToDate,
    Last30Days,
    Last60Days,
    Last90Days,
    Last12Months,
    CurrentYear,
    PreviousYear,
    CurrentMonth,
    PreviousMonth,
    CustomDates,
};
struct PresetInfo {
    DatePreset id;
    std::string_view name;
};
std::span<const PresetInfo> DatePresets();
std::optional<DatePreset> FindPreset(std::string_view name);

// The from and to dates of a preset in the company's date order with a four-digit year;
// nothing for "Custom Dates" (the fields stay as they are). A day that the month lacks
// (29 February a year back) becomes the month's last day.
struct DateRange {
    std::string from, to;
};
std::optional<DateRange> PresetDates(DatePreset preset, const data::Date& today,
                                     data::DateOrder order);

// The wizard's choice.
struct ReportChoice {
    ReportId report = ReportId::InvoiceRegister;
    std::string from, to;  // user dates as typed (ignored by undated reports)
    std::string filter;
};

enum class ReportRunStatus {
    Ready,      // the view holds the report
    BadFrom,    // the from date is invalid (message shown, focus on from)
    BadTo,      // the to date is invalid (focus on to)
    Reversed,   // to is earlier than from (focus on from)
    Empty,      // nothing matched (message shown)
    NoBalance,  // no open items and the company's receivables total is zero
    Failed,     // the files could not be opened or read (message shown)
};

struct ReportRun {
    ReportRunStatus status = ReportRunStatus::Failed;
    platform::Message message;  // what the user is told, unless Ready
    std::optional<ReportView> view;
};

// The checks of the dates (dated reports only) and their sort-date form.
ReportRunStatus CheckReportDates(const ReportChoice& choice, data::DateOrder order,
                                 ReportSelection& selection, platform::Message& message);

// Runs the report on the open files. The message of any status but Ready is filled.
ReportRun RunReport(const ReportChoice& choice, const ReportSource& source);

// Opens the company's invoice and line files, runs the report and closes them. A file
// that is not there counts as empty.
struct ReportFolder {
    std::string dataFolder;
    const data::CompanyRecord* company = nullptr;
    const platform::Clock* clock = nullptr;
};
ReportRun RunReportInFolder(const ReportChoice& choice, const ReportFolder& where,
                            platform::Prompter& prompter);

}  // namespace invarro::output
