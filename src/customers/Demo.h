// Sample customers for the demo installation, added through the editor's own checks and
// add routine so that they are stored exactly as typed-in customers are.
#pragma once

#include <string>

#include "data/Records.h"
#include "platform/Prompter.h"

namespace invarro::customers {

// How many customers AddDemoCustomers gives each company.
inline constexpr int kDemoCustomerCount = 36;

struct DemoResult {
    bool ok = false;
    int added = 0;
    std::string error;
};

// Opens (creating it when missing) the company's customer fileblock, adds the demo
// customers numbered from the company's next customer number, and closes it. Companies
// with different numbers get different selections. The company's NextCustNo advances in
// the company fileblock and in memory as each customer is added. The engine must be
// started.
DemoResult AddDemoCustomers(const std::string& folder, data::CompanyRecord& company,
                            platform::Prompter& prompter);

}  // namespace invarro::customers
