// The state of one run of the program that every window reads: the data folder, the
// company in use and the run-time values chosen from it (date order, print mode), and
// the hooks through which long tasks report to the main window.
#pragma once

#include <functional>
#include <string>

#include "data/Dates.h"
#include "data/Records.h"

namespace invarro::app {

struct Session {
    std::string folder;           // the data folder
    data::CompanyRecord company;  // the company in use, held for the whole run
    data::DateOrder dateOrder = data::DateOrder::MonthFirst;
    bool eMailMode = false;         // documents go out by e-mail rather than to the printer
    bool labelsWaiting = false;     // the label queue holds labels not yet printed
    bool version1Imported = false;  // old-version data were imported during this run

    // The company number as file-name prefix ("1"); empty when the record holds none.
    std::string companyPrefix() const;
    // Today as the company writes dates (mm/dd/yyyy or dd/mm/yyyy).
    std::string todayText(const data::Date& today) const;
};

// What a long task tells the main window while it runs.
struct RunHooks {
    std::function<void(const std::string&)> status;  // the status bar's progress panel
    std::function<void(bool)> busy;                  // the hourglass cursor on or off

    void setStatus(const std::string& text) const {
        if (status) status(text);
    }
    void setBusy(bool on) const {
        if (busy) busy(on);
    }
};

// Turns the hourglass on for the life of the object.
class BusyScope {
  public:
    explicit BusyScope(const RunHooks& hooks) : hooks_(hooks) { hooks_.setBusy(true); }
    ~BusyScope() { hooks_.setBusy(false); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    const RunHooks& hooks_;
};

}  // namespace invarro::app
