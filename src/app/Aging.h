// The daily aging run: every customer's open invoices sorted by age into the four periods
// (invoicing/Receivables.h holds the age rule), written into the customer records, summed
// into the company's receivables total; its start-up rule, and the bar chart that shows
// the four sums.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/Session.h"
#include "data/Money.h"
#include "data/Records.h"
#include "invoicing/Receivables.h"
#include "platform/Clock.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"
#include "storage/Engine.h"

namespace invarro::app {

inline constexpr std::string_view kAgingTitle = "Aging";
inline constexpr std::string_view kAgingLine = "Calculating Aging...";
inline constexpr std::string_view kAgingStatus = "Calculating Aging Totals...";
inline constexpr std::string_view kReady = "Ready.";
inline constexpr std::string_view kChartStatus =
    "Hold mouse over chart or color to see aging amount...";
inline constexpr std::string_view kNoShortName = "*NONE*";

enum class AgingStatus {
    BadDays,    // the aging days are unusable; nothing was done
    NotNeeded,  // no receivables and not forced; nothing was done
    Done,
    Failed,  // a file could not be opened, read or written; error says which
};

struct AgingOutcome {
    AgingStatus status = AgingStatus::NotNeeded;
    invoicing::AgingBuckets totals{};
    data::Money total;
    bool showChart = false;  // the main window draws the chart
    int customers = 0;
    int invoicesAged = 0;
    int datesRepaired = 0;               // invoice dates rebuilt and written back
    std::vector<std::string> undatable;  // invoices without any readable date
    std::string error;
};

// Ages every customer of the company in use. Runs only when the company's receivables
// total is not zero or the run is forced. Afterwards "LastCo.Dat" is rewritten and the
// company record gets today as last-aging date and the new total as ARBalance, in the
// company file and in memory.
AgingOutcome RunAging(Session& session, bool forced, const platform::Clock& clock,
                      platform::Prompter& prompter, platform::Progress& progress,
                      const RunHooks& hooks);

// Whether the automatic run at start is due: the last-aging date is not today.
bool AgingDueToday(const Session& session, const platform::Clock& clock);

// The aging of the company in use as its customer records hold it from the last run: each
// period's sum over the live customers. Nothing when the customer file cannot be read.
std::optional<invoicing::AgingBuckets> StoredAging(const Session& session);
// Whether the chart is shown at start: the company asks for it and the sums are not zero.
bool ShowsChartAtStart(const Session& session, const invoicing::AgingBuckets& buckets);

// ------------------------------------------------------------------------- the chart

// Bar heights in pixels for a frame of the given height: each bar stands on a base line
// raised above the frame's bottom so that negative sums hang below it. A non-zero sum
// whose bar would be under 4 pixels gets 4 (-4 when negative).
struct ChartBars {
    std::array<int, 4> heights{};
    int baseLine = 0;  // pixels above the frame's bottom
};
ChartBars AgingChartBars(const invoicing::AgingBuckets& buckets, int frameHeight);

// One bar's tool-tip: its label and its amount (",0.00").
std::string AgingBarHint(const std::string& label, data::Money amount);
// The chart's tool-tip: the four bars' lines and "Total A/R: " with the total.
std::string AgingChartHint(const std::array<std::string, 4>& labels,
                           const invoicing::AgingBuckets& buckets);

}  // namespace invarro::app
