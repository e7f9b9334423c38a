// Product import: a delimited text file read into the four columns of the import grid,
// and the run that adds every row to the product file without keys (automatic codes for
// empty ones, "DUP" codes for codes already taken), followed at once by the rebuild of
// the product file, so that the products can be found before anything else opens it.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "data/Import.h"
#include "data/Records.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"
#include "storage/Engine.h"

namespace invarro::products {

inline constexpr int kImportColumns = 4;
extern const std::array<std::string_view, kImportColumns> kImportHeadings;

using ProductImportRow = data::GridRow<kImportColumns>;

inline std::vector<ProductImportRow> ProductImportRows(const data::DelimitedText& text) {
    return data::GridRows<kImportColumns>(text);
}

// The record a row gives with the code already settled: the description as a one-line
// text of 32 characters (data::OneLineValue), taxable exactly when the third column is "Y"
// (either case), the price when the fourth column reads as an amount and "0.00" otherwise,
// and setupDate (today as the company writes dates). A description changed to fit is
// counted in changes when it is given.
data::ProductRecord ProductFromRow(const ProductImportRow& row, std::string_view code,
                                   std::string_view setupDate,
                                   data::ImportResult* changes = nullptr);

// Adds every row to the open product file without keys, under the write lock and with
// the lock-conflict retry. The automatic code number starts at the number of products
// on file + 1; an empty code becomes that number, a code taken on file or earlier in the
// run (compared as the code key: trimmed, upper case, cut to 10) becomes "DUP" and the
// number. The progress window shows the counts every 50 rows; a stop request ends the
// run after the current row.
data::ImportResult ImportProducts(storage::Fileblock* products,
                                  const std::vector<ProductImportRow>& rows,
                                  std::string_view setupDate, platform::Progress& progress,
                                  platform::Prompter& prompter);

// Rebuilds the company's product file (its window must have closed it), its counters in
// the progress window titled "Products". False when the rebuild fails; the engine status
// tells why.
bool RebuildProductFile(const std::string& folder, std::string_view prefix,
                        platform::Progress& progress);

// The message after the import and its rebuild.
inline constexpr std::string_view kProductImportCompleteText =
    "Import Complete. The product file has been rebuilt.";
platform::Message ProductImportDoneMessage(const data::ImportResult& result);

}  // namespace invarro::products
