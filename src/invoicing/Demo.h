// The invoice history of the demo installation, written through the invoice editor's own
// save routine so that headers, lines, memos, customer balances and aging, the company's
// receivables and its numbering are exactly what typed-in invoices give.
#pragma once

#include <string>

#include "data/Dates.h"
#include "data/Records.h"
#include "platform/Prompter.h"

namespace invarro::invoicing {

struct DemoInvoicesResult {
    bool ok = false;
    int invoices = 0;  // line-item and memo invoices
    int quotes = 0;
    int lines = 0;
    std::string error;
};

// About two years of invoices up to today for the company's customers: line-item
// invoices with sub-totals, discounts, comment lines, taxable and non-taxable rows, memo
// invoices, quotes and a few no-charge invoices, selling the company's products (a built-in
// list when it has none); older ones paid when written, recent and
// a few overdue ones open in every aging period. The customer file must hold the demo
// customers; the invoice, line and memo files are created when missing. The engine must be
// started.
DemoInvoicesResult AddDemoInvoices(const std::string& folder, data::CompanyRecord& company,
                                   const data::Date& today, platform::Prompter& prompter);

}  // namespace invarro::invoicing
