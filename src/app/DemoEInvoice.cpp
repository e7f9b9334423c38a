#include "app/DemoEInvoice.h"

#include <array>

#include "customers/CustEdit.h"
#include "data/Ansi.h"
#include "data/EInvoiceData.h"
#include "data/Fileblocks.h"
#include "data/IniFile.h"
#include "data/Open.h"
#include "data/Posting.h"
#include "invoicing/InvEdit.h"
#include "invoicing/Payment.h"
#include "products/ProdEdit.h"

namespace invarro::app {

namespace {

using data::Company;
using data::Money;

struct DemoBuyer {
    const char* name;
    std::array<const char*, 3> bill;
    const char* eMail;
    bool taxExempt;
    data::CustomerEInvoice einvoice;
};

const DemoBuyer kBuyers[] = {
    {"Café Morgenrot",
     {"Hauptstraße 5", "80331 München", ""},
     "einkauf@morgenrot.example",
     false,
     {"DE", "DE987654328", "", "einkauf@morgenrot.example"}},
    {"Stadtbibliothek Potsdam",
     {"Am Kanal 47", "14467 Potsdam", ""},
     "rechnungen@bibliothek-potsdam.example",
     false,
     {"DE", "", "04011000-1234512345-06", "0204:04011000-1234512345-06"}},
    {"Kinderhilfe Spree e.V.",
     {"Uferweg 3", "10997 Berlin", ""},
     "kasse@kinderhilfe.example",
     true,
     {"DE", "", "", ""}},
    {"Atelier Lumière SARL",
     {"12 rue des Arts", "75003 Paris", ""},
     "compta@lumiere.example",
     false,
     {"FR", "FR32123456789", "", "compta@lumiere.example"}},
    {"Weingut Maier KG",
     {"Rebenweg 9", "67098 Bad Dürkheim", ""},
     "buero@weingut-maier.example",
     false,
     {"DE", "", "", ""}},
    {"Bergsteiger Verlag GmbH",
     {"Alpenstraße 1", "6020 Innsbruck", ""},
     "",
     false,
     {"AT", "ATU12345675", "", ""}},
};

struct DemoGood {
    const char* code;
    const char* description;
    const char* price;
    bool taxable;
    const char* unit;
};

const DemoGood kGoods[] = {
    {"PLAKAT-A2", "Poster A2, four colours", "1.2500", true, "C62"},
    {"FLYER-A5", "Flyer A5, 135 g", "0.0850", true, "C62"},
    {"DESIGN", "Design work, per hour", "85.00", true, "HUR"},
    {"SATZ", "Typesetting, per page", "12.50", true, "C62"},
    {"BUCH", "Guide book \"Berlin in Print\"", "24.90", false, "C62"},
    {"VERSAND", "Shipping, one parcel", "6.90", true, "C62"},
    {"RUECKGABE", "Returned goods", "-1.2500", true, "C62"},
};

struct OpenFile {
    storage::Fileblock* fb = nullptr;
    OpenFile(const std::string& folder, data::FileKind kind, const std::string& prefix,
             platform::Prompter& prompter) {
        data::OpenRequest request;
        request.name = data::FileblockName(folder, kind, prefix);
        request.kind = kind;
        fb = data::OpenBusinessFileblock(request, prompter).fb;
    }
    ~OpenFile() {
        if (fb) storage::CloseFileblock(fb);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
};

// Answers every question with its default.
class QuietPrompter : public platform::Prompter {
  public:
    platform::Answer ask(const platform::Message& m) override {
        if (m.buttons == platform::Buttons::YesNo) return platform::Answer::Yes;
        return m.defaultButton;
    }
};

}  // namespace

DemoEInvoiceResult AddDemoEInvoices(const std::string& folder, data::CompanyRecord& company,
                                    const data::Date& today, platform::Prompter& prompter) {
    (void)prompter;
    QuietPrompter quiet;
    DemoEInvoiceResult result;
    const std::string prefix = data::CompanyPrefix(company.text(Company::CompanyNo));
    if (prefix.empty()) {
        result.error = "The company has no valid number.";
        return result;
    }
    data::CompanyEInvoice settings;
    settings.on = true;
    settings.vatId = "DE123456788";
    settings.taxRegistration = "27/123/45678";
    settings.country = "DE";
    settings.electronicAddress = "rechnung@lindenhof.example";
    settings.iban = "DE41500105170123456789";
    settings.bic = "INGDDEFFXXX";
    settings.exempt = data::ExemptCategory::Exempt;
    settings.exemptionReason = "Exempt from VAT";
    data::IniFile ini(data::IniFilePath(folder));
    if (!data::WriteCompanyEInvoice(ini, prefix, settings, &result.error)) return result;

    OpenFile customers(folder, data::FileKind::Customer, prefix, quiet);
    OpenFile products(folder, data::FileKind::Product, prefix, quiet);
    OpenFile einvoice(folder, data::FileKind::EInvoice, prefix, quiet);
    OpenFile invoices(folder, data::FileKind::Invoice, prefix, quiet);
    OpenFile lines(folder, data::FileKind::InvoiceLine, prefix, quiet);
    OpenFile memos(folder, data::FileKind::Memo, prefix, quiet);
    if (!customers.fb || !products.fb || !einvoice.fb || !invoices.fb || !lines.fb || !memos.fb) {
        result.error = "the files of company " + prefix + " cannot be opened";
        return result;
    }
    const data::DateOrder order = data::DateOrderFromCode(company.text(Company::DateFormatCode));

    // The customers, each with its e-invoicing record in the same posting.
    std::vector<data::CustomerRecord> people;
    customers::CustomerFiles cf{folder, company, customers.fb};
    try {
        for (const DemoBuyer& b : kBuyers) {
            customers::CustomerEntry entry = customers::NewCustomerEntry(company);
            entry.name = b.name;
            entry.bill = {b.bill[0], b.bill[1], b.bill[2], ""};
            entry.eMail = b.eMail;
            entry.taxExempt = b.taxExempt ? "Y" : "N";
            if (auto problem = customers::CheckCustomerEntry(entry, customers::kAddStartingNumber,
                                                             customers.fb)) {
                result.error = std::string(b.name) + ": " + problem->message.text;
                return result;
            }
            data::Posting posting;
            const int32_t rec = customers::AddCustomer(cf, entry, quiet);
            if (!data::StoreEInvoiceRecord(einvoice.fb,
                                           data::CustomerEInvoiceRecord(entry.number, b.einvoice),
                                           false, quiet) ||
                !posting.commit()) {
                result.error =
                    std::string("the e-invoicing data of ") + b.name + " could not be stored";
                return result;
            }
            if (auto c = data::ReadBusinessRecord<data::Customer>(customers.fb, rec))
                people.push_back(*c);
        }
        const std::string todayText = products::TodayText(
            company, platform::FixedClock({today.year, today.month, today.day, 12, 0, 0}));
        for (const DemoGood& g : kGoods) {
            products::ProductEntry entry = products::NewProductEntry(todayText);
            entry.code = g.code;
            entry.description = g.description;
            entry.price = g.price;
            entry.taxable = g.taxable;
            if (auto problem =
                    products::CheckProductEntry(entry, products::kAddStartingCode, products.fb)) {
                result.error = std::string(g.code) + ": " + problem->message.text;
                return result;
            }
            data::Posting posting;
            products::AddProduct(products.fb, entry, todayText, quiet);
            if (!data::StoreEInvoiceRecord(einvoice.fb, data::ProductUnitRecord(g.code, g.unit),
                                           false, quiet) ||
                !posting.commit()) {
                result.error = std::string("the unit code of ") + g.code + " could not be stored";
                return result;
            }
        }
    } catch (const std::exception& e) {
        result.error = e.what();
        return result;
    }
    if (people.size() != std::size(kBuyers)) {
        result.error = "the demo customers of company " + prefix + " cannot be read";
        return result;
    }

    auto good = [](const char* code) {
        for (const DemoGood& g : kGoods)
            if (std::string_view(g.code) == code)
                return invoicing::ProductChoice{g.code, g.description, g.price, g.taxable};
        return invoicing::ProductChoice{};
    };
    invoicing::SaveFiles files{folder,       company, invoices.fb, lines.fb, memos.fb,
                               customers.fb, today,   nullptr,     nullptr};
    int back = 24;
    // One invoice: rows of (product, quantity) or a memo, saved as the editor saves it.
    auto write = [&](const std::string& kind, const data::CustomerRecord& buyer,
                     const std::vector<std::pair<std::string, std::string>>& rows,
                     const std::string& notes) {
        const data::Date date = data::AddDays(today, -back);
        back -= 3;
        invoicing::InvoiceEditor ed = invoicing::InvoiceEditor::ForNew(company, order, date);
        ed.entry.date = data::FormatUserDate(date, order);
        ed.chooseCustomer(buyer, quiet);
        int r = 1;
        for (const auto& [code, quantity] : rows) {
            if (code == "SUB-TOTAL") {
                ed.entry.grid[r] = invoicing::LineRow{"SUB-TOTAL", "", "", "", "", ""};
            } else if (code.rfind("DISCOUNT", 0) == 0) {
                ed.entry.grid[r] = invoicing::LineRow{code, "1", "", "0.00", "Y", ""};
            } else if (code.empty()) {
                ed.entry.grid[r] = invoicing::CommentRow(quantity);
            } else {
                ed.applyProduct(r, good(code.c_str()), true);
                ed.entry.grid[r].quantity = quantity;
            }
            ed.cellEdited(r++);
        }
        ed.entry.notes = notes;
        ed.recalc();
        const invoicing::SaveResult saved = invoicing::SaveNewInvoice(files, ed, quiet);
        (void)saved;
        result.invoices.emplace_back(kind, data::TrimmedText(ed.entry.number));
        return data::TrimmedText(ed.entry.number);
    };

    try {
        write("line items", people[0], {{"PLAKAT-A2", "400"}, {"DESIGN", "3.5"}, {"VERSAND", "1"}},
              "Order 2026-114");

        // A memo invoice.
        {
            const data::Date date = data::AddDays(today, -back);
            back -= 3;
            invoicing::InvoiceEditor ed = invoicing::InvoiceEditor::ForNew(company, order, date);
            ed.entry.date = data::FormatUserDate(date, order);
            ed.chooseCustomer(people[1], quiet);
            ed.entry.memo = true;
            ed.entry.memoDescription = "Exhibition design";
            ed.entry.memoQuantity = "1";
            ed.entry.memoLines = {"Design of the exhibition \"Potsdam in Print\"", "",
                                  "Concept, eight panels, invitation card",
                                  "Print files delivered on 12 March"};
            ed.entry.net = "1850.00";
            ed.entry.tax = data::PercentOf(Money::FromCents(185000), data::Decimal::FromInteger(19))
                               .storedText();
            ed.recalc();
            invoicing::SaveNewInvoice(files, ed, quiet);
            result.invoices.emplace_back("memo", data::TrimmedText(ed.entry.number));
        }

        write("discount and sub-total", people[0],
              {{"", "Spring menu cards:"},
               {"FLYER-A5", "2000"},
               {"SATZ", "4"},
               {"SUB-TOTAL", ""},
               {"", "Summer menu cards:"},
               {"FLYER-A5", "1500"},
               {"BUCH", "6"},
               {"SUB-TOTAL", ""},
               {"DISCOUNT5", ""}},
              "");
        write("mixed taxable", people[4], {{"PLAKAT-A2", "250"}, {"BUCH", "12"}}, "");
        write("tax-exempt customer", people[2], {{"PLAKAT-A2", "120"}, {"DESIGN", "2"}},
              "Charity poster campaign");

        const std::string part =
            write("partly paid", people[3], {{"DESIGN", "10"}, {"SATZ", "24"}}, "Catalogue 2026");
        write("credit note", people[0], {{"RUECKGABE", "80"}}, "Misprinted posters returned");
        const std::string deposit = write("deposit applied", people[5],
                                          {{"BUCH", "40"}, {"SATZ", "16"}, {"VERSAND", "2"}}, "");

        // Payments through the payment routine: a part of one invoice, and a deposit paid
        // before another and applied against it.
        invoicing::SaveFiles pay{folder,  company,      invoices.fb, nullptr,
                                 nullptr, customers.fb, today};
        auto dueOf = [&](const std::string& number) {
            data::InvoiceRecord probe;
            probe.setText(data::Invoice::InvNo, number);
            auto f = data::FindAtOrAfter<data::Invoice>(invoices.fb, 1, probe);
            return f ? f->record.money(data::Invoice::BalanceDue) : Money();
        };
        auto item = [](const std::string& number, Money amount, bool partial) {
            invoicing::PayItem i;
            i.number = number;
            i.amount = amount;
            i.partial = partial;
            return i;
        };
        const std::string payDate = data::FormatUserDate(data::AddDays(today, -2), order);
        const Money partDue = dueOf(part);
        invoicing::PostOutcome o = invoicing::PostPayment(
            pay, people[3].text(data::Customer::CustNo), payDate, "Transfer",
            {item(part, Money::FromCents(partDue.cents() * 2 / 5), true)}, quiet);
        if (!o.failed.empty()) throw std::runtime_error("the demo part payment was not posted");
        const Money depositDue = dueOf(deposit);
        const Money half = Money::FromCents(depositDue.cents() / 2);
        const std::string custNo = people[5].text(data::Customer::CustNo);
        o = invoicing::PostPayment(
            pay, custNo, data::FormatUserDate(data::AddDays(today, -4), order), "Deposit on order",
            {item(std::string(invoicing::kNewDeposit), half, false)}, quiet);
        if (!o.failed.empty() || o.deposits.empty())
            throw std::runtime_error("the demo deposit was not posted");
        o = invoicing::PostPayment(
            pay, custNo, payDate, "Balance with deposit",
            {item(deposit, depositDue, false), item(o.deposits.back(), -half, false)}, quiet);
        if (!o.failed.empty()) throw std::runtime_error("the demo deposit was not applied");
    } catch (const std::exception& e) {
        result.error = e.what();
        invoicing::ForgetInvoiceDate();
        return result;
    }
    invoicing::ForgetInvoiceDate();
    result.ok = true;
    return result;
}

}  // namespace invarro::app
