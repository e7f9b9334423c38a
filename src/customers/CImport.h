// Customer import: a delimited text file read into the sixteen columns of the import
// grid, the check of its first record, and the run that adds every row to the customer
// file without keys (numbering, renaming, short names and defaults as the customer editor
// would give them), after which the company's files are rebuilt.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "customers/CustEdit.h"
#include "data/Import.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"

namespace invarro::customers {

// The columns of the import grid, in the order that decides the field each one feeds.
inline constexpr int kImportColumns = 16;
extern const std::array<std::string_view, kImportColumns> kImportHeadings;
namespace column {
inline constexpr int kName = 0;
inline constexpr int kNumber = 1;
inline constexpr int kBill1 = 2;  // to kBill1 + 3
inline constexpr int kShip1 = 6;  // to kShip1 + 3
inline constexpr int kPhone1 = 10;
inline constexpr int kPhone2 = 11;
inline constexpr int kType = 12;
inline constexpr int kShortName = 13;
inline constexpr int kMailSortCode = 14;
inline constexpr int kEMail = 15;
}  // namespace column

using CustomerImportRow = data::GridRow<kImportColumns>;

// The rows of a split file, ready for the grid.
inline std::vector<CustomerImportRow> CustomerImportRows(const data::DelimitedText& text) {
    return data::GridRows<kImportColumns>(text);
}

// The preview of the first row, asked before anything is written ("Import Customers",
// OK/Cancel).
platform::Message CustomerPreviewMessage(const CustomerImportRow& first, bool forceShipping);

// The record a row gives before numbering and renaming: the row's values as one-line texts
// of the field widths (data::OneLineValue), shipping lines from the billing columns when
// forceShipping is set, the short name made from the name when the row has none, and the
// editor's defaults (not tax exempt, credit limit, balance and aging "0.00", the company's
// default terms). Values changed to fit are counted in changes when it is given.
data::CustomerRecord CustomerFromRow(const CustomerImportRow& row, bool forceShipping,
                                     const data::CompanyRecord& company,
                                     data::ImportResult* changes = nullptr);

struct CustomerImportResult : data::ImportResult {
    bool counterSaved = true;  // the company's next customer number was written
};

// Adds every row to the customer file with the record operations' write lock and retry,
// but without keys: the rebuild that follows builds them. Numbers and names are checked
// against the customers on file and against the rows added before in the same run, so
// that no two customers share a number or a name key: a taken number gets "B" appended,
// a taken name gets the customer number after it. The company's NextCustNo is then
// written (company fileblock and memory). The progress window shows the counts every 50
// rows; a stop request ends the run after the current row.
CustomerImportResult ImportCustomers(CustomerFiles& files,
                                     const std::vector<CustomerImportRow>& rows, bool forceShipping,
                                     platform::Progress& progress, platform::Prompter& prompter);

// The message after the run: "Import Complete. Now we need to rebuild the data files."
// when every row was stored, otherwise what was stored and which row failed first.
platform::Message CustomerImportDoneMessage(const CustomerImportResult& result);

}  // namespace invarro::customers
