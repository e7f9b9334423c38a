// Customer export: the customers of the company in name order, the chosen fields of each
// on one delimited line, written to the file the user chose.
#pragma once

#include <string>
#include <vector>

#include "data/Delimited.h"
#include "data/Records.h"
#include "platform/Progress.h"
#include "storage/Engine.h"

namespace invarro::customers {

// The fields the export window offers, with its starting choices. The name is always
// written first.
struct CustomerExportChoice {
    bool number = true;
    bool billing = true;  // the four billing lines
    bool shipping = false;
    bool phone1 = false;
    bool phone2 = false;
    bool type = false;
    bool shortName = false;
    bool mailSortCode = false;
    bool eMail = true;
    bool balance = false;
    bool lastPayDate = false;
    bool notes = false;
    data::DelimitedFormat format{};
    data::TextEncoding encoding = data::TextEncoding::Windows1252;
};

// The choice from the window's twelve check boxes, ticked or not in the order of the
// fields above (number to notes); missing entries are not ticked.
CustomerExportChoice ChoiceFromTicks(const std::vector<bool>& ticked,
                                     const data::DelimitedFormat& format);

// The chosen values of one customer, each trimmed, in the export order.
std::vector<std::string> CustomerExportValues(const data::CustomerRecord& customer,
                                              const CustomerExportChoice& choice);

// Every customer of the open customer file in name order (key 1), one line each, in the
// chosen format; lines the format leaves out are not among them. The progress window
// ("Customer Export") counts them.
std::vector<std::string> CustomerExportLines(storage::Fileblock* customers,
                                             const CustomerExportChoice& choice,
                                             platform::Progress& progress);

}  // namespace invarro::customers
