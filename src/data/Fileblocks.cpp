#include "data/Fileblocks.h"

#include "data/Ansi.h"
#include "data/Keys.h"

namespace invarro::data {

namespace {

using storage::KeyDescriptor;

constexpr KeyDescriptor kCompanyKeys[] = {{5, false}, {30, true}};
constexpr KeyDescriptor kCustomerKeys[] = {{30, false}, {8, true}};
constexpr KeyDescriptor kInvoiceKeys[] = {{9, true}, {8, true},  {10, true},
                                          {8, true}, {10, true}, {10, true}};
constexpr KeyDescriptor kLineKeys[] = {{10, true}, {9, true}, {11, true}};
constexpr KeyDescriptor kMemoKeys[] = {{9, false}};
constexpr KeyDescriptor kProductKeys[] = {{10, false}, {30, true}};
constexpr KeyDescriptor kEInvoiceKeys[] = {{11, false}};
constexpr KeyDescriptor kBankLineKeys[] = {{18, true}, {16, true}};

template <class L>
std::span<const FieldDef> FieldsOf() {
    return std::span<const FieldDef>(L::kFields.data(), L::kFields.size());
}

const RecordKind kKinds[] = {
    {FileKind::Company, Company::kName, 0, Company::kLength, kCompanyKeys,
     static_cast<KeyBuilder>(&CompanyKey), FieldsOf<Company>()},
    {FileKind::Customer, Customer::kName, 'C', Customer::kLength, kCustomerKeys,
     static_cast<KeyBuilder>(&CustomerKey), FieldsOf<Customer>()},
    {FileKind::Invoice, Invoice::kName, 'I', Invoice::kLength, kInvoiceKeys,
     static_cast<KeyBuilder>(&InvoiceKey), FieldsOf<Invoice>()},
    {FileKind::InvoiceLine, InvoiceLine::kName, 'N', InvoiceLine::kLength, kLineKeys,
     static_cast<KeyBuilder>(&InvoiceLineKey), FieldsOf<InvoiceLine>()},
    {FileKind::Memo, Memo::kName, 'M', Memo::kLength, kMemoKeys, static_cast<KeyBuilder>(&MemoKey),
     FieldsOf<Memo>()},
    {FileKind::Product, Product::kName, 'P', Product::kLength, kProductKeys,
     static_cast<KeyBuilder>(&ProductKey), FieldsOf<Product>()},
    {FileKind::EInvoice, EInvoice::kName, 'E', EInvoice::kLength, kEInvoiceKeys,
     static_cast<KeyBuilder>(&EInvoiceKey), FieldsOf<EInvoice>()},
    {FileKind::BankLine, BankLine::kName, 'B', BankLine::kLength, kBankLineKeys,
     static_cast<KeyBuilder>(&BankLineKey), FieldsOf<BankLine>()},
};

// A company number 1..32000 written as the program writes it (no sign, no leading 0).
bool IsCompanyNumber(std::string_view s) {
    if (s.empty() || s.size() > 5 || s[0] == '0') return false;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    return v >= 1 && v <= 32000;
}

}  // namespace

const RecordKind& KindOf(FileKind kind) {
    return kKinds[int(kind)];
}

const RecordKind* KindFromFileblockName(std::string_view name) {
    size_t slash = name.find_last_of('/');
    if (slash != std::string_view::npos) name = name.substr(slash + 1);
    size_t dot = name.find('.');
    if (dot != std::string_view::npos) name = name.substr(0, dot);
    if (UpperAnsi(name) == "COMPANY") return &KindOf(FileKind::Company);
    if (name.size() < 2) return nullptr;
    char letter = UpperAnsi(name.substr(name.size() - 1))[0];
    if (!IsCompanyNumber(name.substr(0, name.size() - 1))) return nullptr;
    for (const RecordKind& k : kKinds)
        if (k.letter != 0 && k.letter == letter) return &k;
    return nullptr;
}

std::string CompanyPrefix(int companyNo) {
    return std::to_string(companyNo);
}

std::string CompanyPrefix(std::string_view companyNo) {
    std::string s;
    for (char c : companyNo)
        if (c != ' ') s += c;
    return IsCompanyNumber(s) ? s : std::string();
}

std::string FileblockName(const std::string& folder, FileKind kind, std::string_view prefix) {
    std::string base = kind == FileKind::Company ? std::string(kCompanyFileblock)
                                                 : std::string(prefix) + KindOf(kind).letter;
    if (folder.empty()) return base;
    return folder.back() == '/' ? folder + base : folder + "/" + base;
}

bool CreateBusinessFileblock(const std::string& name, const RecordKind& kind) {
    storage::CreateFileblock(name, kind.recordLength, kind.keyCount(), kind.keys.data());
    return storage::EngineOk;
}

}  // namespace invarro::data
