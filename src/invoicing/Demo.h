// The invoice history of the demo installation, written through the invoice editor's own
// save routine so that headers, lines, memos, customer balances and aging, the company's
// receivables and its numbering are exactly what typed-in invoices give.
#pragma once

#include <functional>
#include <string>

#include "data/Dates.h"
#include "data/Records.h"
#include "platform/Clock.h"
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

// One large order of many lines, running over more than one printed page: a business
// customer's order for three branches with a sub-total for each, dated twelve days ago
// and open; and a job of taxed goods and untaxed work with a discount on both, five days
// ago and open. Runs after the rest of the demo history.
DemoInvoicesResult AddDemoLongInvoice(const std::string& folder, data::CompanyRecord& company,
                                      const data::Date& today, platform::Prompter& prompter);

struct DemoRepeatResult {
    bool ok = false;
    int masters = 0;    // repeat masters set up
    int generated = 0;  // invoices generated from them
    int interest = 0;   // interest invoices of the past interest run
    std::string error;
};

// Two or three repeat masters (monthly and every 14 days) set up from invoices written
// about four months ago, the repeat billing wizard run every second week up to three weeks
// ago, and one interest run dated a month ago, all through the program's own routines.
// Runs after AddDemoInvoices; the company in memory follows every change. The aging of the
// interest run rewrites "LastCo.Dat" with this company.
// ageAsOf ages every customer of the company in the folder as of the given day, as the
// aging run does, the company record following it; false when it did not end well.
using DemoAging = std::function<bool(const std::string& folder, data::CompanyRecord& company,
                                     const platform::Clock& asOf, platform::Prompter& prompter)>;
DemoRepeatResult AddDemoRepeatAndInterest(const std::string& folder, data::CompanyRecord& company,
                                          const data::Date& today, platform::Prompter& prompter,
                                          const DemoAging& ageAsOf);

}  // namespace invarro::invoicing
