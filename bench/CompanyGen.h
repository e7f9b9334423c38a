// A generated company for benchmarks: an installation whose company 1 has N customers and
// M invoice records spread over ten years, with their line items, payments, quotes,
// deposits and repeat masters. Customers are added through the record-update protocol;
// invoices and lines, for speed, are written as records without keys and indexed
// afterwards by the program's own rebuild with the same key builders.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "data/Dates.h"
#include "data/Records.h"

namespace invarro::bench {

struct CompanyGenOptions {
    std::string folder;             // created; must not hold an installation yet
    int customers = 2000;           // customer numbers "1".."N"
    int64_t invoices = 1000000;     // invoice-file records of every type
    int linesPerInvoice = 2;        // line items of each invoice, generated invoice and quote
    data::Date first{2015, 1, 1};   // the first invoice date
    data::Date last{2024, 12, 31};  // the last invoice date
    // When above 0, only invoices dated within this many days of the last date keep the
    // usual share of open balances (one in four); older ones are open one in a thousand,
    // as in a company that collects its debts. 0: one in four open throughout.
    int openRecentDays = 0;
    uint32_t seed = 1;
    std::function<void(const std::string&)> note;  // progress notes (none: silent)
};

struct GeneratedCompany {
    bool ok = false;
    std::string error;
    std::string folder;
    std::string prefix = "1";  // the company's file-name prefix
    data::CompanyRecord company;
    int64_t customers = 0;
    int64_t invoices = 0;  // invoice-file records
    int64_t lines = 0;     // line records
};

// Builds the company in an empty folder. The storage engine must be started.
GeneratedCompany GenerateCompany(const CompanyGenOptions& options);

// Opens a folder GenerateCompany filled earlier (counting its records), so that a rerun
// need not generate again; ok is false when the folder holds no generated company.
GeneratedCompany OpenGeneratedCompany(const std::string& folder);

}  // namespace invarro::bench
