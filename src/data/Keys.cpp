#include "data/Keys.h"

namespace invarro::data {

std::string KeyText(std::string_view ansi, int length, bool trim, bool upper) {
    std::string k(trim ? TrimText(ansi) : ansi);
    if (int(k.size()) < length) k.append(size_t(length) - k.size(), ' ');
    if (upper) k = UpperAnsi(k);
    if (k.size() > size_t(kMaxKeyText)) k.resize(size_t(kMaxKeyText));
    return k;
}

namespace {

// The usual key: the field trimmed, padded and upper case.
template <class L, FieldKind K>
std::string Plain(const RecordView<L>& r, FieldRef<L, K> f, int length) {
    return KeyText(r.ansi(f), length, true, true);
}

}  // namespace

std::string CompanyKey(const void* record, int keyNo) {
    RecordView<Company> r(record);
    switch (keyNo) {
        case 1:
            return Plain(r, Company::CompanyNo, 5);
        case 2:
            return Plain(r, Company::Name, 30);
        default:
            return {};
    }
}

std::string CustomerKey(const void* record, int keyNo) {
    RecordView<Customer> r(record);
    switch (keyNo) {
        case 1:
            return Plain(r, Customer::Name, 30);
        case 2:
            return Plain(r, Customer::CustNo, 8);
        default:
            return {};
    }
}

std::string InvoiceKey(const void* record, int keyNo) {
    RecordView<Invoice> r(record);
    switch (keyNo) {
        case 1:
            return Plain(r, Invoice::InvNo, 9);
        case 2:
            return Plain(r, Invoice::CustNo, 8);
        case 3:
            return KeyText(r.ansi(Invoice::SortDate), 10, false, false);
        case 4:
            return Plain(r, Invoice::KeyCode, 8);
        case 5: {
            std::string k(TrimText(r.ansi(Invoice::TransType)));
            k += TrimText(r.ansi(Invoice::InvNo));
            return KeyText(k, 10, false, true);
        }
        case 6:
            return KeyText(r.ansi(Invoice::PaidDate), 10, false, false);
        default:
            return {};
    }
}

std::string InvoiceLineKey(const void* record, int keyNo) {
    RecordView<InvoiceLine> r(record);
    switch (keyNo) {
        case 1:
            return Plain(r, InvoiceLine::LineDate, 10);
        case 2:
            return Plain(r, InvoiceLine::InvNo, 9);
        case 3:
            return Plain(r, InvoiceLine::LineKey, 11);
        default:
            return {};
    }
}

std::string MemoKey(const void* record, int keyNo) {
    RecordView<Memo> r(record);
    return keyNo == 1 ? Plain(r, Memo::InvNo, 9) : std::string();
}

std::string ProductKey(const void* record, int keyNo) {
    RecordView<Product> r(record);
    switch (keyNo) {
        case 1:
            return Plain(r, Product::ProdCode, 10);
        case 2:
            return Plain(r, Product::Description, 30);
        default:
            return {};
    }
}

std::string EInvoiceKey(const void* record, int keyNo) {
    RecordView<EInvoice> r(record);
    return keyNo == 1 ? Plain(r, EInvoice::Kind, 1) + Plain(r, EInvoice::Code, 10) : std::string();
}

std::string BankLineKey(const void* record, int keyNo) {
    RecordView<BankLine> r(record);
    switch (keyNo) {
        case 1:
            return Plain(r, BankLine::BookDate, 8) + Plain(r, BankLine::Serial, 10);
        case 2:
            return Plain(r, BankLine::Fingerprint, 16);
        default:
            return {};
    }
}

}  // namespace invarro::data
