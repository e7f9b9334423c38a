#include "products/PImport.h"

#include <cstdint>
#include <set>

#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/Keys.h"
#include "data/Money.h"
#include "data/Posting.h"
#include "data/Rebuild.h"
#include "data/Update.h"
#include "storage/BTree.h"

namespace invarro::products {

const std::array<std::string_view, kImportColumns> kImportHeadings = {
    "Product Code", "Invoice Line-Item Description", "Taxable", "Sales Price"};

namespace {

using data::Product;
using data::ProductRecord;

constexpr int kCodeWidth = 10;
constexpr int kDescriptionWidth = 32;

std::string CodeKey(std::string_view code) {
    ProductRecord probe;
    probe.setText(Product::ProdCode, code);
    return data::ProductKey(probe, 1);
}

}  // namespace

ProductRecord ProductFromRow(const ProductImportRow& row, std::string_view code,
                             std::string_view setupDate, data::ImportResult* changes) {
    ProductRecord p = data::NewRecord<Product>();
    p.setText(Product::ProdCode, code);
    p.setText(Product::Description, data::RowValues(row.line, changes)
                                        .fit(row.cells[1], kDescriptionWidth, kImportHeadings[1]));
    p.setByte(Product::Taxable, data::UpperText(data::TrimText(row.cells[2])) == "Y" ? 1 : 0);
    const std::optional<data::Money> price = data::ParseMoney(row.cells[3]);
    (void)p.setMoney(Product::SellPrice, price.value_or(data::Money()));
    p.setText(Product::SetupDate, setupDate);
    return p;
}

namespace {

// One attempt of a product import, inside its posting: true when its rows are to be kept.
bool ProductImportAttempt(storage::Fileblock* products, const std::vector<ProductImportRow>& rows,
                          std::string_view setupDate, platform::Progress& progress,
                          platform::Prompter& prompter, data::ImportResult& result) {
    data::ImportRun run(progress, "Product Import", "Products", result, rows.size());
    bool writeFailed = false;

    std::set<std::string> taken;
    std::string key;
    int32_t recNo = storage::FindKeyAtOrAfter(products, 1, key);
    int64_t onFile = 0;
    while (storage::EngineOk) {
        taken.insert(key);
        ++onFile;
        storage::NextKey(products, 1, key, recNo);
    }
    int64_t next = onFile + 1;

    for (const ProductImportRow& row : rows) {
        run.begin(row.line);
        // Measured in characters as the code page stores them: "CAFÉ-CRÈME" is ten.
        std::string code =
            data::RowValues(row.line, &result).fit(row.cells[0], kCodeWidth, kImportHeadings[0]);
        const std::string shown = code.empty() ? data::TrimmedText(row.cells[1]) : code;
        if (code.empty()) code = std::to_string(next++);
        if (taken.count(CodeKey(code))) {
            ++result.renumbered;
            do {
                code = "DUP" + std::to_string(next++);
            } while (taken.count(CodeKey(code)) && code.size() <= std::size_t(kCodeWidth));
        }
        if (data::CharCount(code) > std::size_t(kCodeWidth)) {
            result.fail(row.line, shown, "no product code is left to give it");
        } else {
            const ProductRecord record = ProductFromRow(row, code, setupDate, &result);
            if (writeFailed) {
            } else if (run.added(data::AddUnkeyedRecord(products, record, prompter), shown)) {
                taken.insert(CodeKey(code));
            } else {
                writeFailed = true;
            }
        }
        if (writeFailed || !run.done()) break;
    }
    run.finish();
    if (writeFailed || result.stopped) return false;
    if (result.added > 0) storage::MarkForRebuild(products);
    return true;
}

}  // namespace

data::ImportResult ImportProducts(storage::Fileblock* products,
                                  const std::vector<ProductImportRow>& rows,
                                  std::string_view setupDate, platform::Progress& progress,
                                  platform::Prompter& prompter) {
    // Every record is one posting, left marked for the rebuild that follows; an import that
    // is stopped or cannot write a record leaves nothing behind.
    return data::RunImportPosting<data::ImportResult>(
        prompter, [&](data::Posting&, platform::Prompter& held, data::ImportResult& result) {
            return ProductImportAttempt(products, rows, setupDate, progress, held, result);
        });
}

bool RebuildProductFile(const std::string& folder, std::string_view prefix,
                        platform::Progress& progress) {
    return data::RebuildBusinessFileblock(
        data::FileblockName(folder, data::FileKind::Product, prefix),
        data::KindOf(data::FileKind::Product), progress, "Products");
}

platform::Message ProductImportDoneMessage(const data::ImportResult& result) {
    return data::ImportDoneMessage(result, kProductImportCompleteText, "products",
                                   result.added > 0 ? "The product file has been rebuilt." : "");
}

}  // namespace invarro::products
