// The business fileblocks: their names, record lengths, keys and key builders.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "data/Layout.h"
#include "data/Records.h"
#include "storage/Engine.h"

namespace invarro::data {

enum class FileKind { Company, Customer, Invoice, InvoiceLine, Memo, Product, EInvoice, BankLine };

// Every fileblock of a company, in the order a full rebuild goes through them.
inline constexpr std::array<FileKind, 8> kCompanyFileOrder = {
    FileKind::Company, FileKind::Customer, FileKind::Invoice,  FileKind::InvoiceLine,
    FileKind::Memo,    FileKind::Product,  FileKind::EInvoice, FileKind::BankLine};

using KeyBuilder = std::string (*)(const void* record, int keyNo);

// What the program knows about one kind of fileblock.
struct RecordKind {
    FileKind kind;
    std::string_view recordName;  // "CustomerRecord"
    char letter;                  // file-name letter after the CompanyPrefix; 0 for Company
    int recordLength;
    std::span<const storage::KeyDescriptor> keys;
    KeyBuilder buildKey;
    std::span<const FieldDef> fields;
    int keyCount() const { return int(keys.size()); }
};

const RecordKind& KindOf(FileKind kind);

// The fileblock kind of each record layout.
template <class L>
inline constexpr FileKind kFileKindOf = FileKind::Company;
template <>
inline constexpr FileKind kFileKindOf<Customer> = FileKind::Customer;
template <>
inline constexpr FileKind kFileKindOf<Invoice> = FileKind::Invoice;
template <>
inline constexpr FileKind kFileKindOf<InvoiceLine> = FileKind::InvoiceLine;
template <>
inline constexpr FileKind kFileKindOf<Memo> = FileKind::Memo;
template <>
inline constexpr FileKind kFileKindOf<Product> = FileKind::Product;
template <>
inline constexpr FileKind kFileKindOf<EInvoice> = FileKind::EInvoice;
template <>
inline constexpr FileKind kFileKindOf<BankLine> = FileKind::BankLine;

template <class L>
const RecordKind& KindOfLayout() {
    return KindOf(kFileKindOf<L>);
}

// The kind a fileblock name stands for: "Company", or a company number 1..32000 followed
// by C, I, N, M, P, E or B ("12C"). A folder in front and an extension after are ignored, so
// "/data/12C.DAT" is a customer file. Nothing for any other name.
const RecordKind* KindFromFileblockName(std::string_view name);

// The company number as text without blanks: the prefix of a company's file names.
std::string CompanyPrefix(int companyNo);
// The prefix from a stored company number (blanks removed); empty when it is not a number
// from 1 to 32000.
std::string CompanyPrefix(std::string_view companyNo);
inline constexpr std::string_view kCompanyFileblock = "Company";
// folder/Company, or folder/<prefix><letter> for a company's own fileblocks.
std::string FileblockName(const std::string& folder, FileKind kind, std::string_view prefix = {});

// Creates the empty fileblock with the kind's record length and keys. Returns EngineOk.
bool CreateBusinessFileblock(const std::string& name, const RecordKind& kind);

}  // namespace invarro::data
