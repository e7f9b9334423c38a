// Sample products for the demo installation, added through the editor's own checks and
// add routine so that they are stored exactly as typed-in products are.
#pragma once

#include <string>

#include "data/Records.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"

namespace invarro::products {

struct DemoResult {
    bool ok = false;
    int added = 0;
    std::string error;
};

// Opens (creating it when missing) the company's product fileblock, adds a product list
// that suits the company (a print and design shop for company 1, a landscaper for the
// others: goods, services, hourly rates, a group of non-taxable items, prices with cents)
// with today as setup date, and closes it. The engine must be started.
DemoResult AddDemoProducts(const std::string& folder, const data::CompanyRecord& company,
                           platform::Prompter& prompter, const platform::Clock& clock);

}  // namespace invarro::products
