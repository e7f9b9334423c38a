#include "customers/Demo.h"

#include <array>
#include <vector>

#include "customers/CustEdit.h"
#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/Open.h"

namespace invarro::customers {

namespace {

struct DemoCustomer {
    const char* name;
    const char* type;
    const char* sortCode;
    const char* terms;
    std::array<const char*, 4> bill;
    std::array<const char*, 4> ship;  // empty first line: ships to the billing address
    const char* phone1;
    const char* phone2;
    const char* eMail;
    const char* creditLimit;
    const char* notes;
    bool taxExempt = false;
    bool creditHold = false;
};

// clang-format off
const DemoCustomer kDemo[] = {
    {"Harborview Dental Group", "Medical Office", "WEST", "Net 30 Days",
     {"Attn: Accounts Payable", "1420 Marina Blvd, Suite 200", "San Leandro, CA 94577", ""},
     {"", "", "", ""}, "(510) 555-0142", "(510) 555-0143", "ap@harborviewdental.example", "5,000.00",
     "Order toner quarterly. Ask for Denise at the front desk.", false, false},
    {"Maple Street Bakery", "Retail", "NORTH", "Due On Receipt",
     {"212 Maple Street", "Burlington, VT 05401", "", ""},
     {"", "", "", ""}, "(802) 555-0190", "", "owner@maplestreetbakery.example", "1,500.00",
     "Deliveries before 7 AM only.", false, false},
    {"Riverside Unified School District", "Government", "EAST", "Net 30 Days",
     {"Purchasing Department", "3380 14th Street", "Riverside, CA 92501", ""},
     {"Receiving Dock B", "3380 14th Street", "Riverside, CA 92501", ""},
     "(951) 555-0177", "(951) 555-0178", "purchasing@rusd-demo.example", "25,000.00",
     "Purchase order number required on every invoice.", true, false},
    {"Carlos Mendoza", "Residential", "SOUTH", "Due On Receipt",
     {"88 Cypress Lane", "Austin, TX 78704", "", ""},
     {"", "", "", ""}, "(512) 555-0133", "(512) 555-0134", "cmendoza@mailbox-demo.example", "500.00",
     "", false, false},
    {"Blue Ridge Outfitters", "Retail", "EAST", "2% 10 Net 30",
     {"540 Mountain View Road", "Asheville, NC 28801", "", ""},
     {"Warehouse", "17 Industrial Park Dr", "Asheville, NC 28806", ""},
     "(828) 555-0101", "(828) 555-0102", "orders@blueridgeoutfitters.example", "10,000.00",
     "Seasonal account: heavy orders in March and September.", false, false},
    {"Summit Construction LLC", "Contractor", "WEST", "Net 20 Days",
     {"9100 Quarry Road", "Boulder, CO 80301", "", ""},
     {"Job Site Trailer", "Lot 14, Flatiron Commons", "Broomfield, CO 80021", ""},
     "(303) 555-0166", "(303) 555-0167", "billing@summitbuilds.example", "15,000.00",
     "Lien waivers requested with each payment.", false, false},
    {"Greenleaf Landscaping", "Contractor", "SOUTH", "Net 30 Days",
     {"4017 Old Mill Road", "Marietta, GA 30062", "", ""},
     {"", "", "", ""}, "(770) 555-0148", "", "greenleaf@landscape-demo.example", "3,000.00", "",
     false, false},
    {"Dr. Anita Patel", "Medical Office", "NORTH", "Net 10 Days",
     {"Lakeside Family Practice", "77 Shore Drive", "Madison, WI 53703", ""},
     {"", "", "", ""}, "(608) 555-0182", "", "apatel@lakesidefp-demo.example", "2,500.00", "",
     false, false},
    {"Copper Kettle Cafe", "Restaurant", "WEST", "Due On Receipt",
     {"301 Main Street", "Bend, OR 97701", "", ""},
     {"", "", "", ""}, "(541) 555-0119", "", "hello@copperkettlecafe.example", "1,000.00",
     "Closed Mondays.", false, false},
    {"St. Michael's Parish", "Non-Profit", "EAST", "Net 30 Days",
     {"Parish Office", "25 Church Street", "Providence, RI 02903", ""},
     {"", "", "", ""}, "(401) 555-0125", "", "office@stmichaels-demo.example", "2,000.00",
     "Tax exempt certificate on file (expires 2027).", true, false},
    {"Northwind Logistics", "Wholesale", "NORTH", "Net 30 Days",
     {"Accounts Payable", "6600 Freight Way", "Minneapolis, MN 55430", ""},
     {"Dock 7", "6600 Freight Way", "Minneapolis, MN 55430", ""},
     "(612) 555-0160", "(612) 555-0161", "ap@northwindlogistics-demo.example", "20,000.00", "",
     false, false},
    {"Emily Chen", "Residential", "WEST", "Credit Card - Visa",
     {"1509 Alder Court", "Portland, OR 97214", "", ""},
     {"", "", "", ""}, "(503) 555-0138", "", "emily.chen@mailbox-demo.example", "0.00", "",
     false, false},
    {"Lone Star Auto Repair", "Automotive", "SOUTH", "Net 10 Days",
     {"2300 S. Lamar Blvd", "Austin, TX 78704", "", ""},
     {"", "", "", ""}, "(512) 555-0151", "(512) 555-0152", "service@lonestarauto-demo.example",
     "4,000.00", "", false, false},
    {"Pinecrest Veterinary Clinic", "Medical Office", "NORTH", "Net 30 Days",
     {"410 Pinecrest Avenue", "Duluth, MN 55811", "", ""},
     {"", "", "", ""}, "(218) 555-0109", "", "frontdesk@pinecrestvet.example", "3,500.00", "",
     false, false},
    {"Atlantic Seafood Market", "Retail", "EAST", "Net 10 Days",
     {"12 Harbor Street", "Gloucester, MA 01930", "", ""},
     {"", "", "", ""}, "(978) 555-0172", "", "atlanticseafood@market-demo.example", "2,000.00",
     "Account on hold until the March balance is paid.", false, true},
    {"Brightside Preschool", "Non-Profit", "SOUTH", "Net 30 Days",
     {"900 Sunnyvale Drive", "Tampa, FL 33602", "", ""},
     {"", "", "", ""}, "(813) 555-0115", "", "director@brightside-demo.example", "1,500.00", "",
     true, false},
    {"Mountain Peak Realty", "Professional Services", "WEST", "Net 30 Days",
     {"1800 Canyon Blvd, Suite 3", "Salt Lake City, UT 84101", "", ""},
     {"", "", "", ""}, "(801) 555-0188", "", "office@mountainpeakrealty.example", "5,000.00", "",
     false, false},
    {"James O'Connor", "Residential", "EAST", "Due On Receipt",
     {"45 Beacon Hill Road", "Concord, NH 03301", "", ""},
     {"", "", "", ""}, "(603) 555-0127", "", "joconnor@mailbox-demo.example", "0.00", "", false, false},
    {"Sunrise Property Management", "Property Management", "SOUTH", "Net 20 Days",
     {"7755 Palm Avenue", "Phoenix, AZ 85004", "", ""},
     {"Maintenance Office", "1200 E. Camelback Rd", "Phoenix, AZ 85014", ""},
     "(602) 555-0145", "(602) 555-0146", "maintenance@sunrisepm-demo.example", "12,000.00",
     "Twelve properties; put the unit number in the reference field.", false, false},
    {"Hillside Winery", "Wholesale", "WEST", "1% 10 Net 30",
     {"3 Vineyard Lane", "Healdsburg, CA 95448", "", ""},
     {"", "", "", ""}, "(707) 555-0193", "", "accounts@hillsidewinery-demo.example", "8,000.00",
     "", false, false},
    {"Keystone Printing Co.", "Professional Services", "EAST", "Net 30 Days",
     {"118 Market Street", "Harrisburg, PA 17101", "", ""},
     {"", "", "", ""}, "(717) 555-0131", "", "jobs@keystoneprinting-demo.example", "6,000.00", "",
     false, false},
    {"Prairie Wind Farms", "Agriculture", "NORTH", "Net 30 Days",
     {"Route 2, Box 118", "Ames, IA 50010", "", ""},
     {"", "", "", ""}, "(515) 555-0154", "", "prairiewind@farm-demo.example", "7,500.00",
     "Pays after harvest; call before sending to collections.", false, false},
    {"Oceanside Surf Shop", "Retail", "WEST", "Credit Card - Master Card",
     {"220 Pacific Coast Hwy", "Oceanside, CA 92054", "", ""},
     {"", "", "", ""}, "(760) 555-0199", "", "shop@oceansidesurf-demo.example", "2,500.00", "",
     false, false},
    {"Maria Rossi", "Residential", "NORTH", "Due On Receipt",
     {"19 Elm Terrace", "Buffalo, NY 14201", "", ""},
     {"", "", "", ""}, "(716) 555-0121", "", "maria.rossi@mailbox-demo.example", "0.00", "",
     false, false},
    {"Cornerstone Law Offices", "Professional Services", "EAST", "Net 30 Days",
     {"Attn: Office Manager", "500 Liberty Avenue, 12th Floor", "Pittsburgh, PA 15222", ""},
     {"", "", "", ""}, "(412) 555-0164", "(412) 555-0165", "billing@cornerstonelaw-demo.example",
     "10,000.00", "", false, false},
    {"Gulf Coast Marine Supply", "Wholesale", "SOUTH", "2% 10 Net 30",
     {"1 Shipyard Road", "Mobile, AL 36602", "", ""},
     {"Warehouse 3", "44 Dock Street", "Mobile, AL 36603", ""},
     "(251) 555-0174", "(251) 555-0175", "purchasing@gulfcoastmarine-demo.example", "15,000.00", "",
     false, false},
    {"City of Fairview", "Government", "NORTH", "Net 30 Days",
     {"Finance Department", "City Hall, 100 Main Street", "Fairview, OH 44126", ""},
     {"", "", "", ""}, "(440) 555-0111", "", "finance@fairview-demo.gov", "30,000.00",
     "Invoices must reference the council resolution number.", true, false},
    {"Redwood Coffee Roasters", "Wholesale", "WEST", "Net 20 Days",
     {"66 Redwood Highway", "Arcata, CA 95521", "", ""},
     {"", "", "", ""}, "(707) 555-0139", "", "roastery@redwoodcoffee-demo.example", "4,500.00", "",
     false, false},
    {"Thomas Wright", "Residential", "SOUTH", "Due On Receipt",
     {"302 Magnolia Street", "Savannah, GA 31401", "", ""},
     {"", "", "", ""}, "(912) 555-0107", "", "twright@mailbox-demo.example", "0.00", "", false,
     false},
    {"Evergreen Senior Living", "Healthcare", "WEST", "Net 30 Days",
     {"Business Office", "2150 Evergreen Way", "Everett, WA 98201", ""},
     {"Central Supply", "2150 Evergreen Way, Building C", "Everett, WA 98201", ""},
     "(425) 555-0156", "(425) 555-0157", "ap@evergreenseniors-demo.example", "12,500.00", "",
     false, false},
    {"Tri-County Plumbing", "Contractor", "EAST", "Net 10 Days",
     {"78 Route 9", "Poughkeepsie, NY 12601", "", ""},
     {"", "", "", ""}, "(845) 555-0184", "(845) 555-0185", "dispatch@tricountyplumbing.example",
     "3,000.00", "", false, false},
    {"Desert Bloom Florist", "Retail", "SOUTH", "Credit Card - American Express",
     {"1414 Cactus Road", "Tucson, AZ 85701", "", ""},
     {"", "", "", ""}, "(520) 555-0129", "", "flowers@desertbloom-demo.example", "1,000.00", "",
     false, false},
    {"Great Lakes Fitness Center", "Recreation", "NORTH", "Net 30 Days",
     {"850 Lakeshore Drive", "Chicago, IL 60611", "", ""},
     {"", "", "", ""}, "(312) 555-0168", "", "manager@greatlakesfitness-demo.example", "4,000.00",
     "", false, false},
    {"Hudson Valley Orchards", "Agriculture", "EAST", "Net 30 Days",
     {"1200 Orchard Road", "Kingston, NY 12401", "", ""},
     {"", "", "", ""}, "(845) 555-0112", "", "office@hudsonorchards-demo.example", "6,000.00", "",
     false, false},
    {"Silver State Electric", "Contractor", "WEST", "Net 20 Days",
     {"4200 W. Sahara Avenue", "Las Vegas, NV 89102", "", ""},
     {"", "", "", ""}, "(702) 555-0147", "", "billing@silverstateelectric.example", "9,000.00", "",
     false, false},
    {"Linda Nakamura", "Residential", "WEST", "Due On Receipt",
     {"5 Kalakaua Court", "Honolulu, HI 96815", "", ""},
     {"", "", "", ""}, "(808) 555-0136", "", "lnakamura@mailbox-demo.example", "0.00", "", false,
     false},
    {"Bayou Catering Company", "Restaurant", "SOUTH", "Net 10 Days",
     {"610 Decatur Street", "New Orleans, LA 70130", "", ""},
     {"", "", "", ""}, "(504) 555-0179", "", "events@bayoucatering-demo.example", "3,500.00",
     "Deposits taken for events over $2,000.", false, false},
    {"Granite State Insurance Agency", "Professional Services", "EAST", "Net 30 Days",
     {"33 Pleasant Street", "Manchester, NH 03101", "", ""},
     {"", "", "", ""}, "(603) 555-0186", "", "office@granitestateins-demo.example", "5,000.00", "",
     false, false},
    {"Heartland Feed & Seed", "Agriculture", "NORTH", "Net 30 Days",
     {"500 Depot Street", "Salina, KS 67401", "", ""},
     {"", "", "", ""}, "(785) 555-0123", "", "store@heartlandfeed-demo.example", "7,000.00", "",
     false, false},
    {"Coastal Kids Pediatrics", "Medical Office", "SOUTH", "Net 30 Days",
     {"2600 Ocean Drive, Suite 110", "Corpus Christi, TX 78404", "", ""},
     {"", "", "", ""}, "(361) 555-0114", "", "office@coastalkids-demo.example", "4,000.00", "",
     false, false},
    {"Robert Fischer", "Residential", "NORTH", "Due On Receipt",
     {"1121 Prospect Avenue", "Milwaukee, WI 53202", "", ""},
     {"", "", "", ""}, "(414) 555-0158", "", "rfischer@mailbox-demo.example", "0.00", "", false,
     false},
    {"Tidewater Boat Storage", "Marine", "EAST", "Net 30 Days",
     {"9 Waterfront Lane", "Annapolis, MD 21401", "", ""},
     {"", "", "", ""}, "(410) 555-0195", "", "office@tidewaterboats-demo.example", "3,000.00", "",
     false, false},
};
// clang-format on

constexpr int kDemoPool = int(sizeof(kDemo) / sizeof(kDemo[0]));
static_assert(kDemoPool >= kDemoCustomerCount);

CustomerEntry EntryOf(const DemoCustomer& d, const std::string& number) {
    CustomerEntry e;
    e.number = number;
    e.name = d.name;
    e.custType = d.type;
    e.mailSortCode = d.sortCode;
    e.terms = d.terms;
    e.taxExempt = d.taxExempt ? "Y" : "N";
    e.creditLimit = d.creditLimit;
    for (int i = 0; i < 4; ++i) {
        e.bill[size_t(i)] = d.bill[size_t(i)];
        e.ship[size_t(i)] = d.ship[0][0] ? d.ship[size_t(i)] : d.bill[size_t(i)];
    }
    e.phone1 = d.phone1;
    e.phone2 = d.phone2;
    e.eMail = d.eMail;
    e.notes = d.notes;
    e.creditHold = d.creditHold;
    e.notesOnStatement = d.notes[0] != '\0' && d.creditHold;
    return e;
}

}  // namespace

DemoResult AddDemoCustomers(const std::string& folder, data::CompanyRecord& company,
                            platform::Prompter& prompter) {
    DemoResult result;
    const std::string prefix = data::CompanyPrefix(company.ansi(data::Company::CompanyNo));
    if (prefix.empty()) {
        result.error = "The company has no valid number.";
        return result;
    }
    data::OpenRequest request;
    request.name = data::FileblockName(folder, data::FileKind::Customer, prefix);
    request.kind = data::FileKind::Customer;
    data::OpenResult open = data::OpenBusinessFileblock(request, prompter);
    if (!open) {
        result.error =
            "Unable to open the customer file (error " + std::to_string(open.engineError) + ").";
        return result;
    }
    CustomerFiles files{folder, company, open.fb};
    // Each company starts at another place in the pool, so two companies differ.
    const int start = (std::stoi(prefix) - 1) * 7;
    try {
        for (int i = 0; i < kDemoCustomerCount; ++i) {
            const DemoCustomer& d = kDemo[(start + i) % kDemoPool];
            std::string number(data::TrimText(company.text(data::Company::NextCustNo)));
            if (number.empty()) number = "1";
            CustomerEntry entry = EntryOf(d, number);
            if (auto problem = CheckCustomerEntry(entry, kAddStartingNumber, files.customers)) {
                result.error = d.name + std::string(": ") + problem->message.text;
                break;
            }
            AddCustomer(files, entry, prompter);
            ++result.added;
        }
        result.ok = result.error.empty();
    } catch (const CustomerError& e) {
        result.error = e.what();
    }
    storage::CloseFileblock(open.fb);
    return result;
}

}  // namespace invarro::customers
