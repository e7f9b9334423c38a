// The texts the product manager makes from product records: the browser's header and
// rows, and the printable product list.
#pragma once

#include <string>
#include <vector>

#include "data/ListColumns.h"
#include "data/Records.h"
#include "platform/Clock.h"
#include "platform/Progress.h"
#include "storage/Engine.h"

namespace invarro::products {

// The browser's header line and the row of one product, each padded to 128 characters:
// code (10), description (32), price ",0.00" right-aligned in 12, setup date (10).
// The manager list's columns (keys 1 by code, 2 by description).
std::vector<data::ListColumn> ManagerColumns();
std::string ManagerHeader();
std::string ManagerRow(const data::ProductRecord& product);

// The price as shown: ",0.00"; a price that is not an amount shows as "0.00".
std::string ShownPrice(const data::ProductRecord& product);

// Which key the list walks.
enum class ListOrder { ByDescription, ByCode };

// "Product List by Code" or "Product List by Description".
std::string ProductListTitle(ListOrder order);

// The question asked before the list, its title, and the status line while it is built.
inline constexpr const char* kListQuestion =
    "The products will be sorted by description. Would you rather sort by product code?";
inline constexpr const char* kListTitle = "Product List";
inline constexpr const char* kPreparingList = "Preparing list...";

// The three lines of one product in the list and the rule under them, each cut to 85
// characters.
std::vector<std::string> ProductListEntry(const data::ProductRecord& product);

// The whole list: the company name, the date line and a rule, then every product with a
// description in the order's key (key 1 by code, key 2 by description). The status window
// shows "Product List" / "Preparing list...".
std::vector<std::string> ProductListLines(storage::Fileblock* products,
                                          const data::CompanyRecord& company, ListOrder order,
                                          const platform::Clock& clock,
                                          platform::Progress& progress);

}  // namespace invarro::products
