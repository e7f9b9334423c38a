// Removal of old paid records: every invoice record dated before a chosen day whose
// balance is paid, with its line records and memo, once no unpaid record of that period
// is left.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/Session.h"
#include "data/Dates.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"

namespace invarro::app {

// The calendar as the logic sees it: a title and a preset day in, the chosen day out
// (nothing when cancelled).
class DatePickerPort {
  public:
    virtual ~DatePickerPort() = default;
    virtual std::optional<data::Date> pickDate(const std::string& title,
                                               const data::Date& preset) = 0;
};

// The first day of the month five years before today's month.
data::Date PurgePreset(const data::Date& today);

enum class PurgeStatus {
    Declined,  // the user said no or cancelled the calendar
    Unpaid,    // an unpaid record lies in the period; nothing was removed
    Done,
    Failed,  // the files could not be opened
};

struct PurgeOutcome {
    PurgeStatus status = PurgeStatus::Declined;
    int removed = 0;            // invoice records removed
    std::string unpaidInvoice;  // the number of the record that stopped the purge
    int failures = 0;           // deletions that failed and were reported
};

PurgeOutcome PurgePaidRecords(Session& session, const platform::Clock& clock,
                              platform::Prompter& prompter, DatePickerPort& calendar,
                              const RunHooks& hooks);

}  // namespace invarro::app
