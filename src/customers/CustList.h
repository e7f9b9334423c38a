// The texts the customer manager makes from customer records: the browser's header and
// rows, the printable customer list, the clipboard text and the label-queue entry.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "data/Ansi.h"
#include "data/ListColumns.h"
#include "data/Records.h"
#include "output/LabelQueue.h"
#include "platform/Clock.h"
#include "platform/Progress.h"
#include "storage/Engine.h"

namespace invarro::customers {

using data::PadLeft;
using data::PadRight;

// The browser's header line and the row of one customer, each padded to 128 characters.
// The manager list's columns (keys 1 by name, 2 by number).
std::vector<data::ListColumn> ManagerColumns();
std::string ManagerHeader();
std::string ManagerRow(const data::CustomerRecord& customer);

// Which customers the list walks and in which order.
enum class ListOrder { ByName, ByNumber };

// "Customer List by Name" or "Customer List by Number".
std::string CustomerListTitle(ListOrder order);

// The lines of one customer's entry in the list, each cut to 85 characters.
std::vector<std::string> CustomerListEntry(const data::CustomerRecord& customer,
                                           bool withAddresses);

// The whole list: the heading lines, then every customer with a number in the order's key
// (key 1 by name, key 2 by number), each entry closed by a rule. The progress window
// shows "Customer List" / "Preparing list...".
std::vector<std::string> CustomerListLines(storage::Fileblock* customers,
                                           const data::CompanyRecord& company, ListOrder order,
                                           bool withAddresses, const platform::Clock& clock,
                                           platform::Progress& progress);

// The name and the four billing lines, separated by single line feeds.
std::string ClipboardText(const data::CustomerRecord& customer);

// The label-queue entry of a customer: its number, name, sort code and type.
output::LabelEntry LabelEntryFor(const data::CustomerRecord& customer);

}  // namespace invarro::customers
