// The demo installation: a new installation whose company is set up like a real small
// business, for trying the program out.
#pragma once

#include <string>

#include "app/Installation.h"
#include "platform/Prompter.h"

namespace invarro::app {

// In an empty data folder: a new installation (company file, "LastCo.Dat", payment
// terms, background pictures) with company 1 named, addressed and set up for e-mail and
// sales tax, and a second company (AddDemoSecondCompany). A folder that already holds an
// installation is refused, as for a new installation. The storage engine must be started.
InstallResult CreateDemoInstallation(const std::string& folder, platform::Prompter& prompter);

}  // namespace invarro::app
