// The invoice a payment reference read from a bank line names in the books.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "data/PaymentReference.h"
#include "storage/Engine.h"

namespace invarro::invoicing {

// The one invoice record a reference names in the open invoice fileblock: nothing when no
// record or more than one has that number, or the reference names a customer.
std::optional<int32_t> InvoiceOfReference(storage::Fileblock* invoices, std::string_view text);

}  // namespace invarro::invoicing
