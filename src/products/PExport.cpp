#include "products/PExport.h"

#include "data/Ansi.h"
#include "data/Update.h"
#include "storage/BTree.h"

namespace invarro::products {

using data::Product;

std::vector<std::string> ProductExportValues(const data::ProductRecord& p,
                                             const ProductExportChoice& choice) {
    std::vector<std::string> values;
    values.push_back(data::TrimmedText(p.text(Product::ProdCode)));
    if (choice.description) values.push_back(data::TrimmedText(p.text(Product::Description)));
    if (choice.taxable) values.push_back(p.byte(Product::Taxable) == 1 ? "Y" : "N");
    if (choice.price) values.push_back(data::TrimmedText(p.text(Product::SellPrice)));
    return values;
}

std::vector<std::string> ProductExportLines(storage::Fileblock* products,
                                            const ProductExportChoice& choice,
                                            platform::Progress& progress) {
    progress.start("Product Export", 1);
    std::vector<std::string> lines;
    std::string key;
    int32_t recNo = storage::FindKeyAtOrAfter(products, 1, key);
    while (storage::EngineOk) {
        if (auto p = data::ReadBusinessRecord<Product>(products, recNo)) {
            std::string line = data::DelimitedLine(ProductExportValues(*p, choice), choice.format);
            if (data::WritesDelimitedLine(line, choice.format)) lines.push_back(std::move(line));
        }
        if (lines.size() % 50 == 0)
            progress.setLine(0, "Products: " + std::to_string(lines.size()));
        progress.step();
        storage::NextKey(products, 1, key, recNo);
    }
    progress.finish();
    return lines;
}

}  // namespace invarro::products
