#include "invoicing/PaymentReference.h"

#include "invoicing/InvEdit.h"

namespace invarro::invoicing {

std::optional<int32_t> InvoiceOfReference(storage::Fileblock* invoices, std::string_view text) {
    auto target = data::ParseReference(text);
    if (!target || target->kind != data::ReferenceKind::Invoice) return {};
    std::vector<int32_t> found = RecordsWithNumber(invoices, target->number);
    if (found.size() != 1) return {};
    return found.front();
}

}  // namespace invarro::invoicing
