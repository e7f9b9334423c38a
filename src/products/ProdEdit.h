// The product editor's logic: the entry as typed, its checks on OK in their order, the
// sales price as stored, the look-up of a product by its code, and the add, change and
// delete of a product with the messages the user sees.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "data/Dates.h"
#include "data/OperationError.h"
#include "data/Records.h"
#include "data/Update.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "storage/Engine.h"

namespace invarro::products {

// A record operation failed; the text is the one the user sees ("Add operation failed").
class ProductError : public data::OperationError {
  public:
    using data::OperationError::OperationError;
};

inline constexpr std::string_view kAddFailed = "Add operation failed";
inline constexpr std::string_view kModifyFailed = "Modify operation failed";
inline constexpr std::string_view kDeleteFailed = "Product delete failed";

// The help keywords of the manager and the editor.
inline constexpr std::string_view kManagerHelpTopic = "Product Manager";
inline constexpr std::string_view kEditorHelpTopic = "Creating a New Product";

// The widths of the editor's fields.
namespace width {
inline constexpr int kCode = 10;
inline constexpr int kDescription = 32;
inline constexpr int kPrice = 10;
inline constexpr int kNotes = 150;
}  // namespace width

// The editor's fields as typed (UTF-8).
struct ProductEntry {
    std::string code;
    std::string description;
    std::string price;
    bool taxable = false;
    std::string notes;
    // Shown only, in the status bar.
    std::string setupDate;
    std::string changedDate;
};

// Today as the company writes dates (its DateFormatCode decides the order).
std::string TodayText(const data::CompanyRecord& company, const platform::Clock& clock);

// What the editor shows when it adds a product: price "0.00" and today as setup date.
ProductEntry NewProductEntry(const std::string& today);
// What it shows when it edits one: the record, an empty price as "0.00".
ProductEntry EntryFromRecord(const data::ProductRecord& product);

// The code trimmed and upper-cased, as the checks and the code key compare it.
std::string CodeForCompare(std::string_view code);

// "This Product Code already exists for: ... Use a different code." when a product other
// than the one being edited (startingCode; kAddStartingCode for an add) has the code.
std::optional<std::string> CodeTakenText(storage::Fileblock* products, std::string_view code,
                                         std::string_view startingCode);

// A typed sales price as stored: blanks and commas dropped, two decimals ("12.5" gives
// "12.50", "1,250" gives "1250.00"); empty text and text that is not a number give
// "0.00". Nothing when the price is a number too large for the 10-character field.
std::optional<std::string> StoredPrice(std::string_view typed);

enum class EntryField { Code, Description, Price };

struct EntryProblem {
    EntryField field;  // the control to focus
    platform::Message message;
};

// An add has no starting code: every product on file with the code entered is a duplicate.
inline constexpr std::string_view kAddStartingCode = "";

// The checks of the OK button, in their order; the first failure ends them. On the way
// the code and description are cut to their widths and a price that does not read as a
// number becomes "0.00". startingCode is the code the edit began with (kAddStartingCode
// for an add); products is the open product fileblock.
std::optional<EntryProblem> CheckProductEntry(ProductEntry& entry, std::string_view startingCode,
                                              storage::Fileblock* products);

// The record an OK stores: the entry's fields written over base (a new record for an
// add, the record as read for an edit; the dates and reserved areas are left as base has
// them). The price is stored as StoredPrice gives it ("0.00" when it does not fit).
data::ProductRecord RecordFromEntry(const ProductEntry& entry, data::ProductRecord base);
// A new product's record, with setup date today.
data::ProductRecord NewProductRecord(const ProductEntry& entry, const std::string& today);

// The product whose code, trimmed and upper-cased, is the one given, found through the
// code key of the open product fileblock. Nothing when there is none (or it cannot be read).
std::optional<data::Found<data::Product>> FindProductByCode(storage::Fileblock* products,
                                                            std::string_view code);

struct ProductLookup {
    bool opened = false;  // false: the product file exists but could not be opened
    std::optional<data::ProductRecord> product;
};
// The same look-up for a window that does not keep the product file open: opens the
// company's product fileblock (a defective index is rebuilt when the user agrees; a
// missing file means no products), looks the code up and closes it again.
ProductLookup LookUpProduct(const std::string& folder, std::string_view prefix,
                            std::string_view code, platform::Prompter& prompter);

// Adds the product of the (checked) entry with setup date today. Returns the new record
// number and the stored record; throws ProductError("Add operation failed") when the add
// fails.
int32_t AddProduct(storage::Fileblock* products, const ProductEntry& entry,
                   const std::string& today, platform::Prompter& prompter,
                   data::ProductRecord* stored = nullptr);

// Saves an edit through the change protocol with the record as read when the edit began;
// the last-changed date becomes today. An entry that changes nothing writes nothing (and
// keeps the last-changed date): the result is Unchanged then. Throws
// ProductError("Modify operation failed") when the change fails or the record changed in
// the meantime (nothing is written then).
data::UpdateStatus ChangeProduct(storage::Fileblock* products, int32_t recNo,
                                 const data::ProductRecord& asRead, const ProductEntry& entry,
                                 const std::string& today, platform::Prompter& prompter,
                                 data::ProductRecord* stored = nullptr);

// Where the editor's save keeps a product's unit code: the company's e-invoicing file.
struct UnitCodeFiles {
    std::string folder;
    std::string prefix;
};

// The editor's OK: the product with its unit code (an empty one is removed; a product given
// another code takes its unit code along) as one posting, run again whole when it meets a
// lock, its messages shown once it has ended. The code is looked up again inside the
// posting: a product saved meanwhile under it by someone else working in the same books
// refuses the save with the check's message, and nothing of it is written. Throws
// ProductError with that message, the add's or change's failure text, or "The unit code
// could not be saved."
int32_t SaveNewProduct(storage::Fileblock* products, const UnitCodeFiles& units,
                       const ProductEntry& entry, const std::string& unit, const std::string& today,
                       platform::Prompter& prompter, data::ProductRecord* stored = nullptr);
data::UpdateStatus SaveProductChange(storage::Fileblock* products, const UnitCodeFiles& units,
                                     int32_t recNo, const data::ProductRecord& asRead,
                                     const ProductEntry& entry, const std::string& unit,
                                     const std::string& today, platform::Prompter& prompter,
                                     data::ProductRecord* stored = nullptr);

// Asks "Are you sure you want to delete this product?" and on Yes deletes the product,
// with its unit code when units names where that is kept (one posting, so that a later
// product of the same code does not start with it). True when it was deleted; throws
// ProductError("Product delete failed") when the delete fails.
bool DeleteProduct(storage::Fileblock* products, int32_t recNo, const data::ProductRecord& product,
                   platform::Prompter& prompter, const UnitCodeFiles* units = nullptr);

}  // namespace invarro::products
