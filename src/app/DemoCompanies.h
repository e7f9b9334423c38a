// The demo installation's further companies, so that switching companies can be tried.
#pragma once

#include <string>

#include "app/Installation.h"
#include "platform/Prompter.h"

namespace invarro::app {

// Adds a second company, set up like a real small business (name, address, e-mail
// sender, tax, invoice numbers), to the installation in folder, as the company manager's
// "&Add" would: it starts from the company in use ("LastCo.Dat") and takes the first free
// number from 2 up. The company in use stays as it is. The storage engine must be started
// and the company file must not be open.
InstallResult AddDemoSecondCompany(const std::string& folder, platform::Prompter& prompter);
// Adds a European company the same way: a print shop in Berlin that bills in euro with
// 19 % VAT.
InstallResult AddDemoEuropeanCompany(const std::string& folder, platform::Prompter& prompter);

// Adds a Swiss company the same way: a print shop in Zürich that bills in francs with
// 8.1 % VAT and sends QR-bills.
InstallResult AddDemoSwissCompany(const std::string& folder, platform::Prompter& prompter);

}  // namespace invarro::app
