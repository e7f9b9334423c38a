#include "customers/CExport.h"

#include <iterator>

#include "data/Ansi.h"
#include "data/Update.h"
#include "storage/BTree.h"

namespace invarro::customers {

using data::Customer;

CustomerExportChoice ChoiceFromTicks(const std::vector<bool>& ticked,
                                     const data::DelimitedFormat& format) {
    auto tick = [&](std::size_t i) { return i < ticked.size() && ticked[i]; };
    CustomerExportChoice c;
    bool* fields[] = {&c.number, &c.billing, &c.shipping,    &c.phone1,
                      &c.phone2, &c.type,    &c.shortName,   &c.mailSortCode,
                      &c.eMail,  &c.balance, &c.lastPayDate, &c.notes};
    for (std::size_t i = 0; i < std::size(fields); ++i)
        *fields[i] = tick(i);
    c.format = format;
    return c;
}

std::vector<std::string> CustomerExportValues(const data::CustomerRecord& c,
                                              const CustomerExportChoice& choice) {
    std::vector<std::string> values;
    auto add = [&](auto field) { values.push_back(data::TrimmedText(c.text(field))); };
    add(Customer::Name);
    if (choice.number) add(Customer::CustNo);
    if (choice.billing)
        for (auto f :
             {Customer::BillAddr1, Customer::BillAddr2, Customer::BillAddr3, Customer::BillAddr4})
            add(f);
    if (choice.shipping)
        for (auto f :
             {Customer::ShipAddr1, Customer::ShipAddr2, Customer::ShipAddr3, Customer::ShipAddr4})
            add(f);
    if (choice.phone1) add(Customer::Phone1);
    if (choice.phone2) add(Customer::Phone2);
    if (choice.type) add(Customer::CustType);
    if (choice.shortName) add(Customer::ShortName);
    if (choice.mailSortCode) add(Customer::MailSortCode);
    if (choice.eMail) add(Customer::EMail);
    if (choice.balance) add(Customer::Balance);
    if (choice.lastPayDate) add(Customer::LastPayDate);
    if (choice.notes) add(Customer::Notes);
    return values;
}

std::vector<std::string> CustomerExportLines(storage::Fileblock* customers,
                                             const CustomerExportChoice& choice,
                                             platform::Progress& progress) {
    progress.start("Customer Export", 1);
    std::vector<std::string> lines;
    std::string key;
    int32_t recNo = storage::FindKeyAtOrAfter(customers, 1, key);
    while (storage::EngineOk) {
        if (auto c = data::ReadBusinessRecord<Customer>(customers, recNo)) {
            std::string line = data::DelimitedLine(CustomerExportValues(*c, choice), choice.format);
            if (data::WritesDelimitedLine(line, choice.format)) lines.push_back(std::move(line));
        }
        if (lines.size() % 50 == 0)
            progress.setLine(0, "Customers: " + std::to_string(lines.size()));
        progress.step();
        storage::NextKey(customers, 1, key, recNo);
    }
    progress.finish();
    return lines;
}

}  // namespace invarro::customers
