// The key builders of the business fileblocks. Browsers, finds, rebuilds and every add,
// change and delete build keys here, so a key is always built the same way.
#pragma once

#include <string>
#include <string_view>

#include "data/Records.h"

namespace invarro::data {

// Keys are at most this long (the engine's limit).
inline constexpr int kMaxKeyText = 30;

// One key part from stored (Windows-1252) text: characters below code 33 removed at both
// ends when trim is set, blanks added on the right up to length, upper case when upper
// is set, the whole cut to 30 characters.
std::string KeyText(std::string_view ansi, int length, bool trim, bool upper);

// Each builder takes the bytes of one record of its kind and a key number and returns
// the key string; a key number the kind does not have gives an empty string.
std::string CompanyKey(const void* record, int keyNo);
std::string CustomerKey(const void* record, int keyNo);
std::string InvoiceKey(const void* record, int keyNo);
std::string InvoiceLineKey(const void* record, int keyNo);
std::string MemoKey(const void* record, int keyNo);
std::string ProductKey(const void* record, int keyNo);
// The kind letter and the code: "C100       ", "PWIDGET    ".
std::string EInvoiceKey(const void* record, int keyNo);
// Bank lines: 1 the booking date and serial (statement order), 2 the fingerprint.
std::string BankLineKey(const void* record, int keyNo);

inline std::string CompanyKey(const CompanyRecord& r, int keyNo) {
    return CompanyKey(static_cast<const void*>(r.data()), keyNo);
}
inline std::string CustomerKey(const CustomerRecord& r, int keyNo) {
    return CustomerKey(static_cast<const void*>(r.data()), keyNo);
}
inline std::string InvoiceKey(const InvoiceRecord& r, int keyNo) {
    return InvoiceKey(static_cast<const void*>(r.data()), keyNo);
}
inline std::string InvoiceLineKey(const InvoiceLineRecord& r, int keyNo) {
    return InvoiceLineKey(static_cast<const void*>(r.data()), keyNo);
}
inline std::string MemoKey(const MemoRecord& r, int keyNo) {
    return MemoKey(static_cast<const void*>(r.data()), keyNo);
}
inline std::string ProductKey(const ProductRecord& r, int keyNo) {
    return ProductKey(static_cast<const void*>(r.data()), keyNo);
}

}  // namespace invarro::data
