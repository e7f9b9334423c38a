#include "customers/Find.h"

#include <algorithm>
#include <vector>

#include "data/Ansi.h"
#include "data/Layout.h"
#include "data/Records.h"

namespace invarro::customers {

namespace {

using data::Company;
using data::Customer;
using data::FieldDef;
using data::Invoice;
using data::Product;

struct ModeDef {
    std::vector<const FieldDef*> searched;
    std::array<const FieldDef*, kFindColumns> shown{};  // null: an empty column
    int recordLength = 0;
};

template <class L>
const FieldDef* F(int index) {
    return &L::kFields[size_t(index)];
}

const ModeDef& DefOf(FindMode mode) {
    static const ModeDef inv{
        {F<Invoice>(Invoice::CustNo_), F<Invoice>(Invoice::SortDate_),
         F<Invoice>(Invoice::StmntNote_), F<Invoice>(Invoice::InvNotes_),
         F<Invoice>(Invoice::InvNo_), F<Invoice>(Invoice::KeyCode_),
         F<Invoice>(Invoice::ShortName_)},
        {F<Invoice>(Invoice::SortDate_), F<Invoice>(Invoice::InvNo_), F<Invoice>(Invoice::CustNo_),
         F<Invoice>(Invoice::KeyCode_), F<Invoice>(Invoice::ShortName_),
         F<Invoice>(Invoice::StmntNote_), F<Invoice>(Invoice::InvNotes_)},
        Invoice::kLength};
    static const ModeDef cust{
        {F<Customer>(Customer::CustNo_), F<Customer>(Customer::Name_),
         F<Customer>(Customer::Phone1_), F<Customer>(Customer::EMail_),
         F<Customer>(Customer::BillAddr1_), F<Customer>(Customer::BillAddr2_),
         F<Customer>(Customer::BillAddr3_), F<Customer>(Customer::BillAddr4_)},
        {F<Customer>(Customer::Name_), F<Customer>(Customer::CustNo_),
         F<Customer>(Customer::Phone1_), F<Customer>(Customer::BillAddr1_),
         F<Customer>(Customer::BillAddr2_), F<Customer>(Customer::BillAddr3_),
         F<Customer>(Customer::BillAddr4_)},
        Customer::kLength};
    static const ModeDef prod{{F<Product>(Product::ProdCode_), F<Product>(Product::Description_),
                               F<Product>(Product::SellPrice_)},
                              {F<Product>(Product::ProdCode_), F<Product>(Product::Description_),
                               F<Product>(Product::SellPrice_), nullptr, nullptr, nullptr, nullptr},
                              Product::kLength};
    static const ModeDef comp{
        {F<Company>(Company::Name_), F<Company>(Company::CompanyNo_), F<Company>(Company::CoAddr1_),
         F<Company>(Company::CoAddr2_), F<Company>(Company::CoAddr3_),
         F<Company>(Company::CoAddr4_)},
        {F<Company>(Company::Name_), F<Company>(Company::CompanyNo_), F<Company>(Company::CoAddr1_),
         F<Company>(Company::CoAddr2_), F<Company>(Company::CoAddr3_),
         F<Company>(Company::CoAddr4_), nullptr},
        Company::kLength};
    switch (mode) {
        case FindMode::Inv:
            return inv;
        case FindMode::Cust:
            return cust;
        case FindMode::Prod:
            return prod;
        case FindMode::Comp:
            break;
    }
    return comp;
}

}  // namespace

std::optional<FindMode> FindModeFromName(std::string_view name) {
    if (name == "Inv") return FindMode::Inv;
    if (name == "Cust") return FindMode::Cust;
    if (name == "Prod") return FindMode::Prod;
    if (name == "Comp") return FindMode::Comp;
    return std::nullopt;
}

std::string_view FindModeName(FindMode mode) {
    switch (mode) {
        case FindMode::Inv:
            return "Inv";
        case FindMode::Cust:
            return "Cust";
        case FindMode::Prod:
            return "Prod";
        case FindMode::Comp:
            break;
    }
    return "Comp";
}

data::FileKind FileKindOf(FindMode mode) {
    switch (mode) {
        case FindMode::Inv:
            return data::FileKind::Invoice;
        case FindMode::Cust:
            return data::FileKind::Customer;
        case FindMode::Prod:
            return data::FileKind::Product;
        case FindMode::Comp:
            break;
    }
    return data::FileKind::Company;
}

const std::array<FindColumn, kFindColumns>& FindColumnsOf(FindMode mode) {
    static const std::array<FindColumn, kFindColumns> inv = {{{"Year/Mo/Dy", 80},
                                                              {"Invoice#", 60},
                                                              {"Customer#", 75},
                                                              {"Key Code", 75},
                                                              {"Short Name", 80},
                                                              {"Statement Note", 130},
                                                              {"Reference/Notes/Comments", 400}}};
    static const std::array<FindColumn, kFindColumns> cust = {{{"Customer Name", 200},
                                                               {"Number", 70},
                                                               {"Phone Number", 150},
                                                               {"Address Line 1", 150},
                                                               {"Address Line 2", 150},
                                                               {"Address Line 3", 150},
                                                               {"Address Line 4", 150}}};
    static const std::array<FindColumn, kFindColumns> prod = {
        {{"Product#", 100}, {"Description", 200}, {"Unit Price", 85}, {}, {}, {}, {}}};
    static const std::array<FindColumn, kFindColumns> comp = {{{"Company Name", 200},
                                                               {"Number", 70},
                                                               {"Address Line 1", 150},
                                                               {"Address Line 2", 150},
                                                               {"Address Line 3", 150},
                                                               {"Address Line 4", 150},
                                                               {}}};
    switch (mode) {
        case FindMode::Inv:
            return inv;
        case FindMode::Cust:
            return cust;
        case FindMode::Prod:
            return prod;
        case FindMode::Comp:
            break;
    }
    return comp;
}

std::string FindSearchText(std::string_view entry) {
    // Compared as the records hold text: in Windows-1252, so that ten characters are ten
    // bytes and upper case is the key builders' upper case.
    std::string ansi = data::UpperAnsi(data::AnsiFromUtf8(data::TrimText(entry)));
    if (ansi.size() > size_t(kFindTextLength)) ansi.resize(size_t(kFindTextLength));
    return data::Utf8FromAnsi(ansi);
}

bool RecordMatches(FindMode mode, const uint8_t* record, std::string_view searchText) {
    const std::string wanted = data::UpperAnsi(data::AnsiFromUtf8(searchText));
    if (wanted.empty()) return false;
    for (const FieldDef* f : DefOf(mode).searched) {
        if (data::UpperAnsi(data::ReadAnsiText(record, *f)).find(wanted) != std::string::npos)
            return true;
    }
    return false;
}

FindRow RowOf(FindMode mode, const uint8_t* record, int32_t recNo) {
    FindRow row;
    row.recNo = recNo;
    const ModeDef& def = DefOf(mode);
    for (int i = 0; i < kFindColumns; ++i)
        if (def.shown[size_t(i)])
            row.cells[size_t(i)] =
                data::Utf8FromAnsi(data::ReadAnsiText(record, *def.shown[size_t(i)]));
    return row;
}

std::string FindResultText(size_t rows) {
    return std::to_string(rows) +
           " items found.  Select item and press <enter> key to find matching record.";
}

FindResult FindRecords(storage::Fileblock* fb, FindMode mode, std::string_view searchText,
                       const std::function<bool(int32_t slot, int32_t slotCount)>& step) {
    FindResult result;
    const ModeDef& def = DefOf(mode);
    if (storage::RecordLength(fb) != def.recordLength || !storage::EngineOk) {
        result.engineError =
            storage::EngineOk ? storage::err::RecordTooShort : storage::EngineError;
        return result;
    }
    // Record slots 1..high; the engine's count includes the header slot 0.
    const int32_t slotCount = std::max<int32_t>(0, storage::RecordSlotCount(fb) - 1);
    std::vector<uint8_t> buffer(size_t(def.recordLength));
    int32_t recNo = 0;
    for (;;) {
        recNo = storage::NextUsedRecord(fb, recNo);
        if (!storage::EngineOk) {
            if (storage::EngineError == storage::err::NoMoreRecords)
                result.complete = true;
            else
                result.engineError = storage::EngineError;
            break;
        }
        storage::GetRecord(fb, recNo, buffer.data());
        if (!storage::EngineOk) {
            result.engineError = storage::EngineError;
            break;
        }
        if (data::ReadInt32(buffer.data()) == 0 && RecordMatches(mode, buffer.data(), searchText))
            result.rows.push_back(RowOf(mode, buffer.data(), recNo));
        if (step && !step(recNo, slotCount)) break;
    }
    return result;
}

void SortFindRows(std::vector<FindRow>& rows, int column, bool descending) {
    if (column < 0 || column >= kFindColumns) return;
    std::stable_sort(rows.begin(), rows.end(), [&](const FindRow& a, const FindRow& b) {
        const std::string ua = data::UpperText(a.cells[size_t(column)]);
        const std::string ub = data::UpperText(b.cells[size_t(column)]);
        return descending ? ub < ua : ua < ub;
    });
}

}  // namespace invarro::customers
