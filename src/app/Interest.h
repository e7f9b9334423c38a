// The interest scan on the company in use: a forced aging run as of the wizard's invoice
// date, then the list of customers whose charge reaches the minimum.
#pragma once

#include <optional>

#include "app/Session.h"
#include "invoicing/IntWizd.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"

namespace invarro::app {

// The company in use as an interest scan sees it: its folder, prefix and date order, and
// the aging run in the given windows, which keeps session.company in step.
invoicing::InterestBooks InterestBooksOf(Session& session, platform::Prompter& prompter,
                                         platform::Progress& progress, const RunHooks& hooks);

std::optional<invoicing::InterestScan> ScanInterest(Session& session,
                                                    invoicing::InterestSettings& settings,
                                                    platform::Prompter& prompter,
                                                    platform::Progress& progress,
                                                    const RunHooks& hooks);

// The aging of a demo company that is not (yet) the one in use, without a window.
bool AgeDemoCompany(const std::string& folder, data::CompanyRecord& company,
                    const platform::Clock& asOf, platform::Prompter& prompter);

}  // namespace invarro::app
