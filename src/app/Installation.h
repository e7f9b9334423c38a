// A new installation: the company fileblock with company 1, the company-in-use file and
// the payment-terms list, in an empty data folder.
#pragma once

#include <string>

#include "platform/Prompter.h"

namespace invarro::app {

struct InstallResult {
    bool ok = false;
    std::string message;  // what was done, or why nothing was
};

// Creates the folder when needed, then the "Company" fileblock holding company 1 with
// the starting values of a new company (name empty), "LastCo.Dat" with that record, and
// "KRTERMS.DAT" with the built-in terms unless the folder already has one. A folder that
// already holds "LastCo.Dat" or a company fileblock is left untouched. On failure
// whatever this run created is removed again. The storage engine must be started.
InstallResult CreateInstallation(const std::string& folder, platform::Prompter& prompter);

}  // namespace invarro::app
