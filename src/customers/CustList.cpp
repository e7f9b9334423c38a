#include "customers/CustList.h"

#include "data/Ansi.h"
#include "data/Dates.h"
#include "data/Update.h"
#include "output/Labelwiz.h"
#include "output/TextFile.h"
#include "storage/BTree.h"

namespace invarro::customers {

namespace {

using data::Customer;
using data::CustomerRecord;

constexpr std::size_t kRowWidth = 128;
const std::string kRule(80, '-');

std::string Cut85(const std::string& line) {
    return data::FirstChars(line, output::kTextListWidth);
}

}  // namespace

std::vector<data::ListColumn> ManagerColumns() {
    return {{"Name", 35, false, 1},     {"Number", 8, false, 2},
            {"Balance", 12, true, 0},   {"Last Pmt.", 10, false, 0},
            {"Last Inv.", 9, false, 0}, {"Phone Number(s)", 25, false, 0}};
}

std::string ManagerHeader() {
    std::string h = PadRight("Name", 35) + " " + PadRight("Number", 8) + " " +
                    PadLeft("Balance", 12) + " " + PadRight("Last Pmt.", 10) + " " +
                    PadRight("Last Inv.", 9) + " " + PadRight("Phone Number(s)", 25);
    return PadRight(h, kRowWidth);
}

std::string ManagerRow(const CustomerRecord& c) {
    std::string row = PadRight(c.text(Customer::Name), 35) + " " +
                      PadRight(data::TrimmedText(c.text(Customer::CustNo)), 8) + " " +
                      PadLeft(c.money(Customer::Balance).shownText(), 12) + " " +
                      PadRight(c.text(Customer::LastPayDate), 10) + " " +
                      PadRight(c.text(Customer::LastInvNo), 9) + " " +
                      PadRight(c.text(Customer::Phone1), 25);
    return PadRight(row, kRowWidth);
}

std::string CustomerListTitle(ListOrder order) {
    return order == ListOrder::ByNumber ? "Customer List by Number" : "Customer List by Name";
}

std::vector<std::string> CustomerListEntry(const CustomerRecord& c, bool withAddresses) {
    std::vector<std::string> lines;
    lines.push_back(PadRight(c.text(Customer::Name), 35) +
                    "     Number: " + PadRight(data::TrimmedText(c.text(Customer::CustNo)), 8) +
                    "    Balance: " + c.money(Customer::Balance).shownText());
    lines.push_back("Short Name: " + PadRight(c.text(Customer::ShortName), 10) +
                    "    Type: " + PadRight(c.text(Customer::CustType), 25) +
                    "   Last Pmt: " + c.text(Customer::LastPayDate));
    lines.push_back("Credit Limit: " + PadRight(c.money(Customer::CreditLimit).shownText(), 12) +
                    "    Last Invoice: " + PadRight(c.text(Customer::LastInvNo), 10) +
                    "   Tax Exempt: " + c.text(Customer::TaxExempt));
    lines.push_back("Phone1: " + PadRight(c.text(Customer::Phone1), 25) +
                    "     Phone2: " + c.text(Customer::Phone2));
    lines.push_back("Payment Terms: " + c.text(Customer::Terms));
    if (withAddresses) {
        const std::string bill[4] = {c.text(Customer::BillAddr1), c.text(Customer::BillAddr2),
                                     c.text(Customer::BillAddr3), c.text(Customer::BillAddr4)};
        const std::string ship[4] = {c.text(Customer::ShipAddr1), c.text(Customer::ShipAddr2),
                                     c.text(Customer::ShipAddr3), c.text(Customer::ShipAddr4)};
        lines.push_back(PadRight("Billing Address:", 35) + "     Shipping Address:");
        for (int i = 0; i < 4; ++i)
            lines.push_back(PadRight(bill[i], 35) + "     " + ship[i]);
    }
    lines.push_back(kRule);
    for (std::string& l : lines)
        l = Cut85(l);
    return lines;
}

std::vector<std::string> CustomerListLines(storage::Fileblock* customers,
                                           const data::CompanyRecord& company, ListOrder order,
                                           bool withAddresses, const platform::Clock& clock,
                                           platform::Progress& progress) {
    progress.start("Customer List", 1);
    progress.setLine(0, "Preparing list...");
    std::vector<std::string> lines;
    lines.push_back(Cut85("Customer List for " + company.text(data::Company::Name)));
    lines.push_back(Cut85("Date: " + data::FormatLongDateTime(clock.now())));
    lines.push_back(kRule);

    const int keyNo = order == ListOrder::ByNumber ? 2 : 1;
    std::string key;
    int32_t recNo = storage::FindKeyAtOrAfter(customers, keyNo, key);
    while (storage::EngineOk) {
        if (auto c = data::ReadBusinessRecord<Customer>(customers, recNo)) {
            if (!data::TrimText(c->text(Customer::CustNo)).empty()) {
                std::vector<std::string> entry = CustomerListEntry(*c, withAddresses);
                lines.insert(lines.end(), entry.begin(), entry.end());
            }
        }
        progress.step();
        storage::NextKey(customers, keyNo, key, recNo);
    }
    progress.finish();
    return lines;
}

std::string ClipboardText(const CustomerRecord& c) {
    return c.text(Customer::Name) + "\n" + c.text(Customer::BillAddr1) + "\n" +
           c.text(Customer::BillAddr2) + "\n" + c.text(Customer::BillAddr3) + "\n" +
           c.text(Customer::BillAddr4);
}

output::LabelEntry LabelEntryFor(const CustomerRecord& c) {
    return output::LabelEntryFor(c);
}

}  // namespace invarro::customers
