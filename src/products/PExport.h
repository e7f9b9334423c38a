// Product export: the products of the company in code order, the chosen fields of each
// on one delimited line, written to the file the user chose.
#pragma once

#include <string>
#include <vector>

#include "data/Delimited.h"
#include "data/Records.h"
#include "platform/Progress.h"
#include "storage/Engine.h"

namespace invarro::products {

// The fields the export window offers, with its starting choices. The code is always
// written first.
struct ProductExportChoice {
    bool description = true;
    bool taxable = true;  // "Y" or "N"
    bool price = true;
    data::DelimitedFormat format{};
    data::TextEncoding encoding = data::TextEncoding::Windows1252;
};

// The chosen values of one product, each trimmed, in the export order.
std::vector<std::string> ProductExportValues(const data::ProductRecord& product,
                                             const ProductExportChoice& choice);

// Every product of the open product file in code order (key 1), one line each, in the
// chosen format; lines the format leaves out are not among them.
std::vector<std::string> ProductExportLines(storage::Fileblock* products,
                                            const ProductExportChoice& choice,
                                            platform::Progress& progress);

}  // namespace invarro::products
