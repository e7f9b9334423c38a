#include "products/ProdList.h"

#include "customers/CustList.h"
#include "data/Ansi.h"
#include "data/Dates.h"
#include "data/Money.h"
#include "data/Update.h"
#include "output/TextFile.h"
#include "storage/BTree.h"

namespace invarro::products {

namespace {

using customers::PadLeft;
using customers::PadRight;
using data::Product;
using data::ProductRecord;

constexpr std::size_t kRowWidth = 128;
const std::string kRule(80, '-');

std::string Cut85(const std::string& line) {
    return data::FirstChars(line, output::kTextListWidth);
}

}  // namespace

std::string ShownPrice(const ProductRecord& p) {
    return p.money(Product::SellPrice).shownText();
}

std::vector<data::ListColumn> ManagerColumns() {
    return {{"Code", 10, false, 1},
            {"Description", 32, false, 2},
            {"Sales Price", 12, true, 0},
            {"Setup Date", 10, false, 0}};
}

std::string ManagerHeader() {
    const std::string h = PadRight("Code", 10) + " " + PadRight("Description", 32) + " " +
                          PadLeft("Sales Price", 12) + " " + PadRight("Setup Date", 10);
    return PadRight(h, kRowWidth);
}

std::string ManagerRow(const ProductRecord& p) {
    const std::string row = PadRight(p.text(Product::ProdCode), 10) + " " +
                            PadRight(data::TrimmedText(p.text(Product::Description)), 32) + " " +
                            PadLeft(ShownPrice(p), 12) + " " +
                            PadRight(p.text(Product::SetupDate), 10);
    return PadRight(row, kRowWidth);
}

std::string ProductListTitle(ListOrder order) {
    return order == ListOrder::ByCode ? "Product List by Code" : "Product List by Description";
}

std::vector<std::string> ProductListEntry(const ProductRecord& p) {
    std::vector<std::string> lines;
    lines.push_back(PadRight(p.text(Product::Description), 32) +
                    "    Code: " + PadRight(p.text(Product::ProdCode), 10) +
                    "    Price: " + PadRight(ShownPrice(p), 12));
    lines.push_back("Setup Date: " + PadRight(p.text(Product::SetupDate), 10) +
                    "      Last Modified: " + PadRight(p.text(Product::ChangedDate), 10) +
                    "   Taxed: " + (p.byte(Product::Taxable) != 0 ? "Y" : "N"));
    lines.push_back(kRule);
    for (std::string& l : lines)
        l = Cut85(l);
    return lines;
}

std::vector<std::string> ProductListLines(storage::Fileblock* products,
                                          const data::CompanyRecord& company, ListOrder order,
                                          const platform::Clock& clock,
                                          platform::Progress& progress) {
    progress.start(kListTitle, 1);
    progress.setLine(0, kPreparingList);
    std::vector<std::string> lines;
    lines.push_back(Cut85(company.text(data::Company::Name)));
    lines.push_back(Cut85("Date: " + data::FormatLongDateTime(clock.now())));
    lines.push_back(kRule);

    const int keyNo = order == ListOrder::ByCode ? 1 : 2;
    std::string key;
    int32_t recNo = storage::FindKeyAtOrAfter(products, keyNo, key);
    while (storage::EngineOk) {
        if (auto p = data::ReadBusinessRecord<Product>(products, recNo)) {
            if (!data::TrimText(p->text(Product::Description)).empty()) {
                std::vector<std::string> entry = ProductListEntry(*p);
                lines.insert(lines.end(), entry.begin(), entry.end());
            }
        }
        progress.step();
        storage::NextKey(products, keyNo, key, recNo);
    }
    progress.finish();
    return lines;
}

}  // namespace invarro::products
