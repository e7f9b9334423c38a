#include "products/ProdEdit.h"

#include "data/Ansi.h"
#include "data/EInvoiceData.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/Keys.h"
#include "data/Money.h"
#include "data/Open.h"
#include "data/Posting.h"

namespace invarro::products {

namespace {

using data::Product;
using data::ProductRecord;
using platform::Answer;
using platform::Buttons;
using platform::Icon;
using platform::Message;

std::string Cut(std::string_view text, int width) {
    return data::FirstChars(text, std::size_t(width));
}

Message Problem(const std::string& title, const std::string& text) {
    return Message{title, text, Icon::Warning, Buttons::Ok, Answer::Ok};
}

// Whether typed text, without its blanks and commas, is a plain decimal number: an
// optional sign, digits, at most one point, at least one digit.
bool IsPlainNumber(std::string_view typed) {
    std::string kept;
    for (char c : typed)
        if (c != ',' && c != ' ') kept += c;
    std::string_view s = data::TrimText(kept);
    std::size_t i = 0;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) i = 1;
    bool point = false;
    int digits = 0;
    for (; i < s.size(); ++i) {
        if (s[i] == '.') {
            if (point) return false;
            point = true;
        } else if (s[i] >= '0' && s[i] <= '9') {
            ++digits;
        } else {
            return false;
        }
    }
    return digits > 0;
}

}  // namespace

std::string TodayText(const data::CompanyRecord& company, const platform::Clock& clock) {
    return data::FormatUserDate(
        data::Today(clock), data::DateOrderFromCode(company.text(data::Company::DateFormatCode)));
}

ProductEntry NewProductEntry(const std::string& today) {
    ProductEntry e;
    e.price = "0.00";
    e.setupDate = today;
    return e;
}

ProductEntry EntryFromRecord(const ProductRecord& p) {
    ProductEntry e;
    e.code = p.text(Product::ProdCode);
    e.description = p.text(Product::Description);
    e.price = p.text(Product::SellPrice);
    if (data::TrimText(e.price).empty()) e.price = "0.00";
    e.taxable = p.byte(Product::Taxable) != 0;
    e.notes = p.text(Product::ProdNotes);
    e.setupDate = p.text(Product::SetupDate);
    e.changedDate = p.text(Product::ChangedDate);
    return e;
}

std::string CodeForCompare(std::string_view code) {
    return data::UpperText(data::TrimText(code));
}

std::optional<std::string> CodeTakenText(storage::Fileblock* products, std::string_view code,
                                         std::string_view startingCode) {
    const auto found = FindProductByCode(products, code);
    if (!found || CodeForCompare(code) == CodeForCompare(startingCode)) return std::nullopt;
    return "This Product Code already exists for: " +
           data::TrimmedText(found->record.text(Product::Description)) + ". Use a different code.";
}

std::optional<std::string> StoredPrice(std::string_view typed) {
    if (auto m = data::ParseMoney(typed, width::kPrice)) return m->storedText();
    if (IsPlainNumber(typed)) return std::nullopt;  // a number, but too large
    return std::string("0.00");
}

std::optional<EntryProblem> CheckProductEntry(ProductEntry& e, std::string_view startingCode,
                                              storage::Fileblock* products) {
    e.code = Cut(e.code, width::kCode);
    e.description = Cut(e.description, width::kDescription);
    e.notes = Cut(e.notes, width::kNotes);
    if (data::TrimText(e.code).empty())
        return EntryProblem{EntryField::Code,
                            Problem("Product Code", "You need to enter a product code.")};
    if (data::TrimText(e.description).empty())
        return EntryProblem{
            EntryField::Description,
            Problem("Product Description", "You need to enter a product description or name.")};

    if (auto taken = CodeTakenText(products, e.code, startingCode))
        return EntryProblem{EntryField::Code, Problem("Product Code", *taken)};

    // A price that is not a number is taken as 0.00; one too large for its field is
    // refused rather than cut to a different amount.
    std::optional<std::string> price = StoredPrice(e.price);
    if (!price)
        return EntryProblem{EntryField::Price,
                            Problem("Sales Price",
                                    "The sales price is too large. It may have at most 10 "
                                    "characters with its two decimals (up to 9999999.99).")};
    if (!IsPlainNumber(e.price)) e.price = *price;
    return std::nullopt;
}

ProductRecord RecordFromEntry(const ProductEntry& e, ProductRecord r) {
    r.setText(Product::ProdCode, data::TrimmedText(Cut(e.code, width::kCode)));
    r.setText(Product::Description, Cut(e.description, width::kDescription));
    r.setByte(Product::Taxable, e.taxable ? 1 : 0);
    r.setAnsi(Product::SellPrice, StoredPrice(e.price).value_or("0.00"));
    r.setText(Product::ProdNotes, Cut(e.notes, width::kNotes));
    return r;
}

ProductRecord NewProductRecord(const ProductEntry& entry, const std::string& today) {
    ProductRecord r = RecordFromEntry(entry, ProductRecord());
    r.setText(Product::SetupDate, today);
    return r;
}

std::optional<data::Found<Product>> FindProductByCode(storage::Fileblock* products,
                                                      std::string_view code) {
    const std::string wanted = CodeForCompare(code);
    if (!products || wanted.empty()) return std::nullopt;
    ProductRecord probe;
    probe.setText(Product::ProdCode, wanted);
    auto found = data::FindAtOrAfter<Product>(products, 1, probe);
    if (!found || CodeForCompare(found->record.text(Product::ProdCode)) != wanted)
        return std::nullopt;
    return found;
}

ProductLookup LookUpProduct(const std::string& folder, std::string_view prefix,
                            std::string_view code, platform::Prompter& prompter) {
    ProductLookup result;
    const std::string name = data::FileblockName(folder, data::FileKind::Product, prefix);
    if (!storage::FileblockExists(name)) {
        result.opened = true;  // a company that has never had products
        return result;
    }
    data::OpenRequest request;
    request.name = name;
    request.kind = data::FileKind::Product;
    request.giveUp = data::GiveUpMessage("Unable to open database");
    request.rebuildTitle = "Products";
    data::OpenResult open = data::OpenBusinessFileblock(request, prompter);
    if (!open) return result;
    result.opened = true;
    if (auto found = FindProductByCode(open.fb, code)) result.product = found->record;
    storage::CloseFileblock(open.fb);
    return result;
}

int32_t AddProduct(storage::Fileblock* products, const ProductEntry& entry,
                   const std::string& today, platform::Prompter& prompter, ProductRecord* stored) {
    const ProductRecord record = NewProductRecord(entry, today);
    data::UpdateResult r = data::AddBusinessRecord(products, record, prompter);
    if (!r.ok()) throw ProductError(std::string(kAddFailed));
    if (stored) *stored = record;
    return r.recNo;
}

data::UpdateStatus ChangeProduct(storage::Fileblock* products, int32_t recNo,
                                 const ProductRecord& asRead, const ProductEntry& entry,
                                 const std::string& today, platform::Prompter& prompter,
                                 ProductRecord* stored) {
    ProductRecord updated = RecordFromEntry(entry, asRead);
    if (stored) *stored = asRead;
    // Nothing typed differs from the record: the file and its last-changed date stay.
    if (updated.sameValues(asRead)) return data::UpdateStatus::Unchanged;
    updated.setText(Product::ChangedDate, today);
    data::UpdateResult r = data::ChangeBusinessRecord(products, recNo, asRead, updated, prompter);
    if (!r.ok()) throw ProductError(std::string(kModifyFailed));
    if (stored) *stored = updated;
    return r.status;
}

namespace {

inline constexpr std::string_view kUnitCodeFailed = "The unit code could not be saved.";

// The e-invoicing file, opened before the posting so that a question about the file (a
// defective index) is asked before anything is locked; null when it is not there and
// nothing is to be stored in it.
struct UnitCodeFile {
    data::OpenResult open;
    UnitCodeFile(const UnitCodeFiles& units, bool needed, platform::Prompter& prompter) {
        data::OpenRequest request;
        request.name = data::FileblockName(units.folder, data::FileKind::EInvoice, units.prefix);
        request.kind = data::FileKind::EInvoice;
        if (!needed && !storage::FileblockExists(request.name)) return;
        open = data::OpenBusinessFileblock(request, prompter);
        if (!open) throw ProductError(std::string(kUnitCodeFailed));
    }
    ~UnitCodeFile() {
        if (open) storage::CloseFileblock(open.fb);
    }
    UnitCodeFile(const UnitCodeFile&) = delete;
    UnitCodeFile& operator=(const UnitCodeFile&) = delete;
};

// Stores the product's unit code (removes it when empty), moving it from oldCode when the
// code changed.
void StoreUnitCode(storage::Fileblock* einvoice, const std::string& oldCode,
                   const std::string& code, const std::string& unit, platform::Prompter& prompter) {
    if (!einvoice) return;
    bool ok = true;
    if (!oldCode.empty() && CodeForCompare(oldCode) != CodeForCompare(code))
        ok = data::StoreEInvoiceRecord(einvoice, data::ProductUnitRecord(oldCode, ""), true,
                                       prompter);
    ok = ok && data::StoreEInvoiceRecord(einvoice, data::ProductUnitRecord(code, unit),
                                         unit.empty(), prompter);
    if (!ok) throw ProductError(std::string(kUnitCodeFailed));
}

// A save that failed because the code was taken meanwhile (a duplicate refused by the code
// index, which on a server waits for the other posting and fails once it is committed)
// says so as the check does; any other failure is thrown as it came.
template <class Save>
auto RefusingATakenCode(storage::Fileblock* products, const ProductEntry& entry,
                        std::string_view startingCode, Save&& save) {
    try {
        return save();
    } catch (const ProductError&) {
        if (auto taken = CodeTakenText(products, entry.code, startingCode))
            throw ProductError(*taken);
        throw;
    }
}

}  // namespace

int32_t SaveNewProduct(storage::Fileblock* products, const UnitCodeFiles& units,
                       const ProductEntry& entry, const std::string& unit, const std::string& today,
                       platform::Prompter& prompter, ProductRecord* stored) {
    UnitCodeFile einvoice(units, !unit.empty(), prompter);
    return RefusingATakenCode(products, entry, kAddStartingCode, [&] {
        return data::RunPostingOrThrow<ProductError>(
            prompter, kAddFailed, [&](data::Posting&, platform::Prompter& held) {
                if (auto taken = CodeTakenText(products, entry.code, kAddStartingCode))
                    throw ProductError(*taken);
                const int32_t recNo = AddProduct(products, entry, today, held, stored);
                StoreUnitCode(einvoice.open.fb, "", entry.code, unit, held);
                return recNo;
            });
    });
}

data::UpdateStatus SaveProductChange(storage::Fileblock* products, const UnitCodeFiles& units,
                                     int32_t recNo, const ProductRecord& asRead,
                                     const ProductEntry& entry, const std::string& unit,
                                     const std::string& today, platform::Prompter& prompter,
                                     ProductRecord* stored) {
    const std::string oldCode = asRead.text(Product::ProdCode);
    UnitCodeFile einvoice(units, !unit.empty(), prompter);
    return RefusingATakenCode(products, entry, oldCode, [&] {
        return data::RunPostingOrThrow<ProductError>(
            prompter, kModifyFailed, [&](data::Posting&, platform::Prompter& held) {
                if (auto taken = CodeTakenText(products, entry.code, oldCode))
                    throw ProductError(*taken);
                const data::UpdateStatus status =
                    ChangeProduct(products, recNo, asRead, entry, today, held, stored);
                StoreUnitCode(einvoice.open.fb, oldCode, entry.code, unit, held);
                return status;
            });
    });
}

bool DeleteProduct(storage::Fileblock* products, int32_t recNo, const ProductRecord& product,
                   platform::Prompter& prompter, const UnitCodeFiles* units) {
    const std::string code = data::TrimmedText(product.text(Product::ProdCode));
    if (!prompter.yesNo("Delete Product Code: " + code,
                        "Are you sure you want to delete this product?", Answer::No))
        return false;
    // A file of unit codes that cannot be opened is passed over: the product still goes.
    data::ExistingFileblock einvoice;
    if (units)
        data::OpenExisting(einvoice, units->folder, data::FileKind::EInvoice, units->prefix,
                           prompter);
    return data::RunPostingOrThrow<ProductError>(
        prompter, kDeleteFailed, [&](data::Posting&, platform::Prompter& held) {
            if (!data::DeleteBusinessRecord(products, recNo, product, held).ok())
                throw ProductError(std::string(kDeleteFailed));
            StoreUnitCode(einvoice.fb, "", code, "", held);
            return true;
        });
}

}  // namespace invarro::products
