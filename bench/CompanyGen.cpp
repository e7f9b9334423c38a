#include "bench/CompanyGen.h"

#include <cstdio>
#include <random>

#include "app/Installation.h"
#include "app/Startup.h"
#include "data/Company.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/Keys.h"
#include "data/Rebuild.h"
#include "data/SideFiles.h"
#include "data/Update.h"
#include "platform/ConsolePrompter.h"
#include "platform/Progress.h"
#include "storage/Engine.h"

namespace invarro::bench {

namespace {

using data::Company;
using data::Customer;
using data::Invoice;
using data::InvoiceLine;
using data::Money;

constexpr const char* kCompanyName = "Benchmark Supply Co.";

std::string EngineFailure(const std::string& what) {
    return what + " (engine error " + std::to_string(storage::EngineError) + ")";
}

void Note(const CompanyGenOptions& o, const std::string& text) {
    if (o.note) o.note(text);
}

// The fixed columns of a stored line row: quantity 10, description 32, unit price 10,
// taxable 1, extension 10.
std::string Column(const std::string& text, size_t width) {
    std::string c = text.substr(0, width);
    c.resize(width, ' ');
    return c;
}

struct Customer_ {
    std::string number, shortName;
};

// Names the company in the company file and LastCo.Dat.
bool NameCompany(const std::string& folder, data::CompanyRecord& company,
                 platform::Prompter& prompter, std::string* error) {
    const std::string name = data::FileblockName(folder, data::FileKind::Company);
    storage::Fileblock* fb = storage::OpenFileblock(name, false);
    if (!storage::EngineOk) {
        *error = EngineFailure("Cannot open " + name);
        return false;
    }
    data::CompanyRecord probe;
    probe.setAnsi(Company::CompanyNo, company.ansi(Company::CompanyNo));
    auto found = data::FindAtOrAfter<Company>(fb, 1, probe);
    bool ok = false;
    if (found) {
        data::CompanyRecord named = found->record;
        named.setText(Company::Name, kCompanyName);
        ok = data::ChangeBusinessRecord(fb, found->recNo, found->record, named, prompter).ok();
        if (ok) company = named;
    }
    storage::CloseFileblock(fb);
    if (!ok) {
        *error = "Cannot name the company";
        return false;
    }
    return data::WriteLastCompany(folder, company, error);
}

}  // namespace

GeneratedCompany GenerateCompany(const CompanyGenOptions& o) {
    GeneratedCompany g;
    g.folder = o.folder;
    platform::ConsolePrompter prompter;
    app::InstallResult installed = app::CreateInstallation(o.folder, prompter);
    if (!installed.ok) {
        g.error = installed.message;
        return g;
    }
    auto company = app::LoadCompanyInUse(o.folder, prompter);
    if (!company) {
        g.error = "The new installation has no company in use.";
        return g;
    }
    g.company = *company;
    g.prefix = data::CompanyPrefix(g.company.text(Company::CompanyNo));
    if (!NameCompany(o.folder, g.company, prompter, &g.error)) return g;
    const data::DateOrder order = data::DateOrderFromCode(g.company.text(Company::DateFormatCode));

    const std::string custName = data::FileblockName(o.folder, data::FileKind::Customer, g.prefix);
    const std::string invName = data::FileblockName(o.folder, data::FileKind::Invoice, g.prefix);
    const std::string lineName =
        data::FileblockName(o.folder, data::FileKind::InvoiceLine, g.prefix);
    for (auto [name, kind] : {std::pair{custName, data::FileKind::Customer},
                              std::pair{invName, data::FileKind::Invoice},
                              std::pair{lineName, data::FileKind::InvoiceLine}}) {
        if (!data::CreateBusinessFileblock(name, data::KindOf(kind))) {
            g.error = EngineFailure("Cannot create " + name);
            return g;
        }
    }

    std::mt19937 rng(o.seed);
    // Customers, through the record-update protocol.
    std::vector<Customer_> customers;
    {
        storage::Fileblock* fb = storage::OpenFileblock(custName, false);
        if (!storage::EngineOk) {
            g.error = EngineFailure("Cannot open " + custName);
            return g;
        }
        for (int i = 1; i <= o.customers; ++i) {
            data::CustomerRecord c = data::NewRecord<Customer>();
            Customer_ cu{std::to_string(i), "CUST" + std::to_string(i)};
            c.setText(Customer::CustNo, cu.number);
            c.setText(Customer::Name, "Customer " + std::to_string(i) + " Ltd.");
            c.setText(Customer::ShortName, cu.shortName);
            c.setText(Customer::BillAddr1, std::to_string(i) + " Main Street");
            if (!data::AddBusinessRecord(fb, c, prompter).ok()) {
                g.error = EngineFailure("Cannot add customer " + cu.number);
                storage::CloseFileblock(fb);
                return g;
            }
            customers.push_back(cu);
        }
        storage::CloseFileblock(fb);
        g.customers = o.customers;
        Note(o, std::to_string(o.customers) + " customers added");
    }

    // Invoices and lines in date order, unkeyed; indexed afterwards.
    storage::Fileblock* inv = storage::OpenFileblock(invName, false);
    if (!storage::EngineOk) {
        g.error = EngineFailure("Cannot open " + invName);
        return g;
    }
    storage::Fileblock* lines = storage::OpenFileblock(lineName, false);
    if (!storage::EngineOk) {
        g.error = EngineFailure("Cannot open " + lineName);
        storage::CloseFileblock(inv);
        return g;
    }
    const int32_t firstDay = data::DayNumber(o.first);
    const int32_t span = data::DaysBetween(o.first, o.last) + 1;
    const char* products[] = {"WIDGET", "GADGET", "SERVICE", "", "PART-7", "LABOR"};
    bool ok = true;
    for (int64_t i = 0; i < o.invoices && ok; ++i) {
        const data::Date date = data::DateFromDayNumber(firstDay + int32_t(i * span / o.invoices));
        const Customer_& cu = customers[rng() % customers.size()];
        const unsigned pick = rng() % 1000;
        // 84% invoices, 5% quotes, 4% generated, 4% partial payments, 2% deposits,
        // 1% repeat masters.
        const char* type = pick < 840   ? "I"
                           : pick < 890 ? "Q"
                           : pick < 930 ? "G"
                           : pick < 970 ? "X"
                           : pick < 990 ? "D"
                                        : "R";
        char number[32];
        std::snprintf(number, sizeof number, "%09lld", static_cast<long long>(i + 1));
        data::InvoiceRecord r = data::NewRecord<Invoice>();
        r.setText(Invoice::InvNo, number);
        r.setText(Invoice::TransType, type);
        r.setText(Invoice::KeyCode, pick % 3 == 0 ? "RETAIL" : pick % 3 == 1 ? "WHOLE" : "None");
        r.setText(Invoice::CustNo, cu.number);
        r.setText(Invoice::CompanyNo, g.company.text(Company::CompanyNo));
        data::SetInvoiceDate(r, date, order);
        r.setText(Invoice::ShortName, cu.shortName);
        r.setText(Invoice::InvoiceStyle, "P");
        r.setText(Invoice::TaxRate, "7.5");
        const bool hasLines = *type == 'I' || *type == 'Q' || *type == 'G' || *type == 'R';
        Money net;
        for (int l = 1; hasLines && l <= o.linesPerInvoice && ok; ++l) {
            const int qty = 1 + int(rng() % 9);
            const int64_t priceCents = 100 + int64_t(rng() % 50000);
            const Money ext = Money::FromCents(qty * priceCents);
            net += ext;
            data::InvoiceLineRecord line;
            const std::string code = products[rng() % 6];
            line.setText(InvoiceLine::LineText,
                         Column(std::to_string(qty), 10) +
                             Column(code.empty() ? "Freight" : code + " item", 32) +
                             Column(Money::FromCents(priceCents).storedText(), 10) + "Y" +
                             Column(ext.storedText(), 10));
            line.setText(InvoiceLine::LineStyle, *type == 'Q' ? "Q" : *type == 'R' ? "R" : "P");
            line.setText(InvoiceLine::LineNo, data::LineNoText(l));
            line.setText(InvoiceLine::InvNo, number);
            line.setText(InvoiceLine::LineDate, r.text(Invoice::SortDate));
            line.setText(InvoiceLine::ProdCode, code);
            line.setText(InvoiceLine::CustNo, cu.number);
            line.setText(InvoiceLine::ShortName, cu.shortName);
            line.setText(InvoiceLine::LineKey, data::LineKeyText(number, data::LineNoText(l)));
            storage::AddRecord(lines, line.data());
            ok = storage::EngineOk;
            ++g.lines;
        }
        if (!hasLines) net = Money::FromCents(1000 + int64_t(rng() % 100000));
        const Money tax = data::PercentOf(net, data::Decimal::FromUnits(75000));
        const Money total = *type == 'X' || *type == 'D' ? -net : net + tax;
        Money paid;
        std::string paidDate;
        unsigned payPick = rng() % 100;
        if (o.openRecentDays > 0 && data::DaysBetween(date, o.last) > o.openRecentDays)
            payPick = rng() % 1000 == 0 ? 99 : 0;
        if (*type == 'I' || *type == 'G') {
            // Three in four invoices paid, one in ten partly, the rest open.
            if (payPick < 75) {
                paid = total;
                paidDate = data::FormatSortDate(data::AddDays(date, int32_t(rng() % 60)));
            } else if (payPick < 85) {
                paid = Money::FromCents(total.cents() / 2);
            }
        } else if (*type == 'X') {
            paid = total;
            paidDate = r.text(Invoice::SortDate);
        }
        const Money due = total - paid;
        ok = ok && r.setMoney(Invoice::Net, *type == 'X' || *type == 'D' ? -net : net) &&
             r.setMoney(Invoice::Tax, *type == 'X' || *type == 'D' ? Money() : tax) &&
             r.setMoney(Invoice::Total, total) && r.setMoney(Invoice::Paid, paid) &&
             r.setMoney(Invoice::BalanceDue, due);
        r.setText(Invoice::PaidDate, paidDate);
        r.setText(Invoice::PaidFlag, due.isZero() ? "P" : "");
        if (*type == 'R') {
            r.setText(Invoice::RepeatUnit, "M");
            r.setText(Invoice::RepeatEvery, "1");
            r.setText(Invoice::RepeatCreated, std::to_string(rng() % 24));
            r.setText(Invoice::NextDue,
                      data::FormatUserDate(data::AddDays(date, 30), data::DateOrder::MonthFirst));
        }
        if (!ok) break;
        storage::AddRecord(inv, r.data());
        ok = storage::EngineOk;
        ++g.invoices;
        if ((i + 1) % 100000 == 0) Note(o, std::to_string(i + 1) + " invoice records written");
    }
    if (!ok)
        g.error = EngineFailure("Cannot write invoice record " + std::to_string(g.invoices + 1));
    storage::CloseFileblock(lines);
    storage::CloseFileblock(inv);
    if (!ok) return g;

    platform::SilentProgress silent;
    for (auto [name, kind] : {std::pair{invName, data::FileKind::Invoice},
                              std::pair{lineName, data::FileKind::InvoiceLine}}) {
        Note(o, "indexing " + name);
        if (!data::RebuildBusinessFileblock(name, data::KindOf(kind), silent)) {
            g.error = EngineFailure("Cannot index " + name);
            return g;
        }
    }
    g.ok = true;
    return g;
}

GeneratedCompany OpenGeneratedCompany(const std::string& folder) {
    GeneratedCompany g;
    g.folder = folder;
    platform::ConsolePrompter prompter;
    if (!data::FileExists(data::JoinPath(folder, data::kLastCompanyFile))) {
        g.error = folder + " holds no generated company.";
        return g;
    }
    auto company = app::LoadCompanyInUse(folder, prompter);
    if (!company) {
        g.error = folder + " holds no company in use.";
        return g;
    }
    g.company = *company;
    g.prefix = data::CompanyPrefix(g.company.text(Company::CompanyNo));
    auto count = [&](data::FileKind kind) -> int64_t {
        const std::string name = data::FileblockName(folder, kind, g.prefix);
        storage::Fileblock* fb = storage::OpenFileblock(name, true);
        if (!storage::EngineOk) return -1;
        const int64_t n = storage::UsedRecordCount(fb);
        storage::CloseFileblock(fb);
        return n;
    };
    g.customers = count(data::FileKind::Customer);
    g.invoices = count(data::FileKind::Invoice);
    g.lines = count(data::FileKind::InvoiceLine);
    g.ok = g.customers > 0 && g.invoices > 0 && g.lines >= 0;
    if (!g.ok) g.error = folder + " holds an incomplete generated company.";
    return g;
}

}  // namespace invarro::bench
