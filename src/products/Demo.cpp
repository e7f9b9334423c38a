#include "products/Demo.h"

#include <vector>

#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/Open.h"
#include "products/ProdEdit.h"

namespace invarro::products {

namespace {

struct DemoProduct {
    const char* code;
    const char* description;
    const char* price;  // as a user would type it
    bool taxable;
    const char* notes;
};

// clang-format off
const DemoProduct kPrintShop[] = {
    {"BC-500", "Business Cards, 500, 2-sided", "64.95", true, "14 pt matte stock. Proof approval required before printing."},
    {"BC-1000", "Business Cards, 1000, 2-sided", "89.5", true, "14 pt matte stock."},
    {"BRO-TRI", "Tri-Fold Brochure, per 100", "78.40", true, "Letter size, 100 lb gloss text."},
    {"FLY-8511", "Flyer 8.5x11 Color, per 100", "42.00", true, ""},
    {"PST-1824", "Poster 18x24 Full Color", "24.75", true, "Satin photo paper."},
    {"PST-2436", "Poster 24x36 Full Color", "38.25", true, ""},
    {"BAN-36", "Vinyl Banner 3x6 ft", "119.00", true, "Grommets every 2 ft included."},
    {"LTRHD-500", "Letterhead, 500 sheets", "104.5", true, "24 lb bond, one color."},
    {"ENV-10", "#10 Envelopes Printed, per 500", "96.80", true, ""},
    {"NCR-2PT", "NCR Forms 2-Part, per 250", "132.60", true, "Numbered on request."},
    {"STK-RND2", "Round Stickers 2 in, per 250", "55.15", true, ""},
    {"CAL-WALL", "Wall Calendar 12-Month", "18.99", true, ""},
    {"FOLD-PKT", "Presentation Folder w/Pocket", "3.45", true, "Minimum order 50."},
    {"MENU-LAM", "Laminated Menu 11x17", "6.20", true, ""},
    {"CANV-1620", "Canvas Print 16x20", "89.00", true, "Gallery wrap, 1.5 in frame."},
    {"SIGN-COR", "Corrugated Yard Sign 18x24", "14.50", true, "Wire stake not included."},
    {"STAKE-H", "H-Wire Sign Stake", "2.25", true, ""},
    {"TSHIRT-1C", "T-Shirt Screen Print 1 Color", "11.40", true, ""},
    {"MUG-11", "Ceramic Mug 11 oz Printed", "9.95", true, ""},
    {"PEN-BLU", "Promo Pen Blue Ink, each", ".79", true, "Minimum order 100."},
    {"DES-HR", "Graphic Design, per hour", "65.00", false, "Services are not taxed."},
    {"DES-RUSH", "Rush Design, per hour", "97.50", false, ""},
    {"LOGO-PKG", "Logo Design Package", "1,250.00", false, "Three concepts, two revision rounds."},
    {"WEB-HR", "Web Page Updates, per hour", "72.00", false, ""},
    {"PHOTO-HR", "Product Photography, per hour", "85.00", false, ""},
    {"SCAN-PG", "Document Scanning, per page", "0.35", false, ""},
    {"PROOF", "Extra Proof Round", "15.00", false, ""},
    {"SETUP", "Press Setup Fee", "35.00", false, "Charged once per job."},
    {"DELIV-LOC", "Local Delivery", "12.50", false, "Within 15 miles."},
    {"RUSH-24", "24-Hour Rush Surcharge", "45.00", false, ""},
    {"DISC-10", "Returning Customer Discount", "-10.00", false, "A credit line."},
};

const DemoProduct kLandscaper[] = {
    {"MULCH-BRN", "Brown Mulch, per cubic yard", "38.50", true, "Double-shredded hardwood."},
    {"MULCH-BLK", "Black Mulch, per cubic yard", "41.00", true, ""},
    {"TOPSOIL", "Screened Topsoil, per yard", "32.75", true, ""},
    {"COMPOST", "Leaf Compost, per yard", "29.9", true, ""},
    {"SOD-PAL", "Sod, Kentucky Blue, pallet", "235.00", true, "About 450 sq ft per pallet."},
    {"SEED-SUN", "Grass Seed Sun Mix, 25 lb", "84.99", true, ""},
    {"SEED-SHD", "Grass Seed Shade Mix, 25 lb", "92.49", true, ""},
    {"FERT-SPR", "Spring Fertilizer, 50 lb", "46.25", true, ""},
    {"LIME-40", "Pelletized Lime, 40 lb", "8.95", true, ""},
    {"PAVER-SQ", "Concrete Paver, per sq ft", "4.60", true, ""},
    {"STONE-RV", "River Stone, per ton", "145.00", true, ""},
    {"EDGE-STL", "Steel Edging, 10 ft", "27.80", true, ""},
    {"SHRB-BOX", "Boxwood Shrub, 3 gal", "34.95", true, "One-year plant warranty."},
    {"SHRB-HYD", "Hydrangea, 5 gal", "42.50", true, ""},
    {"TREE-MAP", "Red Maple Tree, 2 in cal.", "289.00", true, ""},
    {"PERN-FLT", "Perennial Flat (18 plants)", "39.00", true, ""},
    {"ANN-FLT", "Annual Flower Flat", "24.00", true, ""},
    {"IRR-HEAD", "Sprinkler Head, rotor", "18.35", true, ""},
    {"MOW-WK", "Weekly Mowing Visit", "45.00", false, "Lots up to 1/2 acre."},
    {"LABOR-HR", "Landscape Labor, per hour", "55.00", false, "Services are not taxed."},
    {"CREW-HR", "Crew of Three, per hour", "150.00", false, ""},
    {"DESIGN-HR", "Landscape Design, per hour", "75.00", false, ""},
    {"CLEAN-SPR", "Spring Cleanup", "325.00", false, ""},
    {"CLEAN-FAL", "Fall Leaf Cleanup", "375.00", false, ""},
    {"AERATE", "Core Aeration, per visit", "110.00", false, ""},
    {"SNOW-PUSH", "Snow Plowing, per push", "65.00", false, "Driveways up to 4 cars."},
    {"SALT-APP", "Ice Melt Application", "35.00", false, ""},
    {"IRR-START", "Irrigation Spring Start-Up", "89.00", false, ""},
    {"IRR-WINT", "Irrigation Winterizing", "79.00", false, ""},
    {"DUMP-FEE", "Debris Disposal Fee", "40.00", false, ""},
    {"TRIP-CHG", "Trip Charge", "25.00", false, ""},
};
// clang-format on

}  // namespace

DemoResult AddDemoProducts(const std::string& folder, const data::CompanyRecord& company,
                           platform::Prompter& prompter, const platform::Clock& clock) {
    DemoResult result;
    const std::string prefix = data::CompanyPrefix(company.ansi(data::Company::CompanyNo));
    if (prefix.empty()) {
        result.error = "The company has no valid number.";
        return result;
    }
    data::OpenRequest request;
    request.name = data::FileblockName(folder, data::FileKind::Product, prefix);
    request.kind = data::FileKind::Product;
    data::OpenResult open = data::OpenBusinessFileblock(request, prompter);
    if (!open) {
        result.error =
            "Unable to open the product file (error " + std::to_string(open.engineError) + ").";
        return result;
    }
    std::vector<DemoProduct> list;
    if (prefix == "1")
        list.assign(std::begin(kPrintShop), std::end(kPrintShop));
    else
        list.assign(std::begin(kLandscaper), std::end(kLandscaper));
    const std::string today = TodayText(company, clock);
    try {
        for (const DemoProduct& d : list) {
            ProductEntry entry = NewProductEntry(today);
            entry.code = d.code;
            entry.description = d.description;
            entry.price = d.price;
            entry.taxable = d.taxable;
            entry.notes = d.notes;
            if (auto problem = CheckProductEntry(entry, kAddStartingCode, open.fb)) {
                result.error = d.code + std::string(": ") + problem->message.text;
                break;
            }
            AddProduct(open.fb, entry, today, prompter);
            ++result.added;
        }
        result.ok = result.error.empty();
    } catch (const ProductError& e) {
        result.error = e.what();
    }
    storage::CloseFileblock(open.fb);
    return result;
}

}  // namespace invarro::products
