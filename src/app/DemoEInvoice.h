// The demo's European company: its e-invoicing settings, customers with VAT numbers and
// buyer references, products with unit codes, and one invoice of every kind an
// e-invoice is made from, all written through the program's own routines.
#pragma once

#include <string>
#include <vector>

#include "data/Dates.h"
#include "data/Records.h"
#include "platform/Prompter.h"

namespace invarro::app {

struct DemoEInvoiceResult {
    bool ok = false;
    // The invoices written, by what each shows: "line items", "memo", "discount and
    // sub-total", "mixed taxable", "tax-exempt customer", "partly paid", "credit note",
    // "deposit applied".
    std::vector<std::pair<std::string, std::string>> invoices;  // kind, number
    std::string error;
};

// For the company (a new one without customers): its "E-invoice" settings on in the INI
// file, six customers and seven products (with their e-invoicing records) and the eight
// invoices, dated in the last weeks before today.
DemoEInvoiceResult AddDemoEInvoices(const std::string& folder, data::CompanyRecord& company,
                                    const data::Date& today, platform::Prompter& prompter);

// For the company (a new one without customers) in Switzerland: its settings (country CH,
// CHF, a QR-IBAN, A4), five customers (one in Liechtenstein, one whose address the
// QR-bill cannot carry, one with a credit note) and six memo invoices and the credit
// note, so that each invoice's PDF ends with its QR-bill or says why it has none.
DemoEInvoiceResult AddDemoSwissBills(const std::string& folder, data::CompanyRecord& company,
                                     const data::Date& today, platform::Prompter& prompter);

}  // namespace invarro::app
