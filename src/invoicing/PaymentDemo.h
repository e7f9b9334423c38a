// The payments of the demo installation, posted through the payment routine after the
// demo invoices exist, so that open items, partial payments, deposits on account and
// applied deposits are on file as a user's payments leave them.
#pragma once

#include <string>

#include "data/Dates.h"
#include "data/Records.h"
#include "platform/Prompter.h"

namespace invarro::invoicing {

struct DemoPaymentsResult {
    bool ok = false;
    int payments = 0;  // postings
    int paidInFull = 0;
    int partial = 0;
    int deposits = 0;
    int depositsApplied = 0;
    std::string error;
};

// Payments on the open invoices of every customer: most invoices older than two months
// paid in full, some in part, some weeks after their date; a share of every age left open
// so that every aging period keeps cases. The first customer keeps a deposit on account;
// the next one with a recent invoice pays one into account and applies it later against
// that invoice; one who owes older invoices pays into account more than his newest ones. The engine must be started and the company's files must exist.
DemoPaymentsResult AddDemoPayments(const std::string& folder, data::CompanyRecord& company,
                                   const data::Date& today);

}  // namespace invarro::invoicing
