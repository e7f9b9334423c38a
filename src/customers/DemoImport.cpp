#include "customers/DemoImport.h"

#include <vector>

#include "data/Delimited.h"
#include "data/Files.h"

namespace invarro::customers {

bool WriteDemoCustomerImportFile(const std::string& folder, std::string* error) {
    // Name, number, four billing lines, four shipping lines, phones, type, short name,
    // sort code, e-mail: the columns of the import grid.
    const std::vector<std::vector<std::string>> rows = {
        {"Lighthouse Coffee Roasters", "", "77 Wharf Street", "Portland, ME 04101", "", "", "", "",
         "", "", "(207) 555-0188", "", "Retail", "", "EAST", "orders@lighthouse-demo.example"},
        {"O'Neil \"Doc\" Harrington, DDS", "", "Attn: Office Manager", "31 Elm Avenue, Suite 2",
         "Bangor, ME 04401", "", "", "", "", "", "(207) 555-0121", "", "Medical Office", "",
         "NORTH", "frontdesk@harrington-demo.example"},
        {"Café Société", "", "5 Rue Champlain", "Lewiston, ME 04240", "", "", "", "", "", "",
         "(207) 555-0150", "", "Restaurant", "CafeSoc", "EAST", ""},
        // A name the demo company already has: imported with its number after the name.
        {"Maple Street Bakery", "", "9 Maple Street", "Bath, ME 04530", "", "", "", "", "", "",
         "(207) 555-0103", "", "Retail", "", "EAST", ""},
        // A number the demo company already has: imported as 100B.
        {"Northern Lights Yoga", "100", "18 Exchange Street", "Portland, ME 04101", "", "", "", "",
         "", "", "(207) 555-0177", "", "Fitness", "", "EAST", "hello@nly-demo.example"},
        {"Kennebec Valley Feed & Seed", "", "1200 River Road", "Augusta, ME 04330", "", "",
         "Loading Dock", "1200 River Road", "Augusta, ME 04330", "", "(207) 555-0199",
         "(207) 555-0198", "Farm", "", "NORTH", "feed@kvfs-demo.example"},
        // The same name twice in one file: the second gets its number after the name.
        {"Lighthouse Coffee Roasters", "", "Kiosk, Portland Jetport", "Portland, ME 04102", "", "",
         "", "", "", "", "", "", "Retail", "LCRJetport", "EAST", ""},
        // A name a spreadsheet would take for a formula: written with an apostrophe in front,
        // imported without it.
        {"@Home Interiors", "", "210 Commercial Street", "Portland, ME 04101", "", "", "", "", "",
         "", "(207) 555-0142", "", "Retail", "AtHome", "EAST", "studio@athome-demo.com"},
        // An address cell with a line break, as a spreadsheet writes one: a blank once
        // imported, and counted in the closing message.
        {"Penobscot Bay Chandlery", "", "Pier 3, Building B\r\nRear Entrance", "Rockland, ME 04841",
         "", "", "", "", "", "", "(207) 555-0164", "", "Marine", "", "EAST", ""},
    };
    std::vector<std::string> lines;
    const data::DelimitedFormat csv{data::DelimitedKind::CsvFile};
    for (const auto& row : rows)
        lines.push_back(data::DelimitedLine(row, csv));
    return data::WriteDelimitedFile(data::JoinPath(folder, kDemoCustomerImportFile), lines,
                                    data::TextEncoding::Windows1252, error);
}

}  // namespace invarro::customers
