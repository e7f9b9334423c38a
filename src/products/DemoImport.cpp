#include "products/DemoImport.h"

#include <vector>

#include "data/Delimited.h"
#include "data/Files.h"

namespace invarro::products {

bool WriteDemoProductImportFile(const std::string& folder, std::string* error) {
    // Code, description, taxable, sales price: the columns of the import grid.
    const std::vector<std::vector<std::string>> rows = {
        {"STK-OVAL3", "Oval Stickers 3\", per 250", "Y", "36.00"},
        {"STK-SQ2", "Square Stickers 2\", per 250", "Y", "48.5"},
        {"MAG-1224", "Car Magnet 12x24, pair", "Y", "59.95"},
        {"", "Rush Fee, same day", "N", "25"},
        // A code the demo company already has: imported under a "DUP" code. Its description
        // is longer than the field: cut, and counted in the closing message.
        {"BC-500", "Business Cards, 500, recycled stock", "Y", "69.95"},
        {"FOLD-9x12", "Presentation Folder 9x12, per 50", "Y", "1,150.00"},
        // The same code twice in one file.
        {"MAG-1224", "Car Magnet 12x24, single", "Y", "32.00"},
        // Ten characters in the stored code page, though more bytes in UTF-8.
        {"CAFÉ-CRÈME", "Café Crème Label Roll, 500", "Y", "18.00"},
    };
    std::vector<std::string> lines;
    const data::DelimitedFormat csv{data::DelimitedKind::CsvFile};
    for (const auto& row : rows)
        lines.push_back(data::DelimitedLine(row, csv));
    return data::WriteDelimitedFile(data::JoinPath(folder, kDemoProductImportFile), lines,
                                    data::TextEncoding::Windows1252, error);
}

}  // namespace invarro::products
