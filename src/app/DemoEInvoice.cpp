#include "app/DemoEInvoice.h"

#include <array>
#include <span>
#include <stdexcept>

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

// The company's files the demo writes through, open while it lives.
struct DemoFiles {
    DemoFiles(const std::string& folder, const std::string& prefix, platform::Prompter& quiet)
        : customers(folder, data::FileKind::Customer, prefix, quiet),
          products(folder, data::FileKind::Product, prefix, quiet),
          einvoice(folder, data::FileKind::EInvoice, prefix, quiet),
          invoices(folder, data::FileKind::Invoice, prefix, quiet),
          lines(folder, data::FileKind::InvoiceLine, prefix, quiet),
          memos(folder, data::FileKind::Memo, prefix, quiet) {}
    bool ok() const {
        return customers.fb && products.fb && einvoice.fb && invoices.fb && lines.fb && memos.fb;
    }
    // Where the invoice editor's save writes, through these files.
    invoicing::SaveFiles saveFiles(const std::string& folder, data::CompanyRecord& company,
                                   const data::Date& today) const {
        return {folder, company, invoices.fb, lines.fb, memos.fb, customers.fb, today};
    }
    OpenFile customers, products, einvoice, invoices, lines, memos;
};

// The company's prefix once its e-invoicing settings are written; empty, and error said,
// when the company has no valid number or the settings cannot be written.
std::string WriteDemoSettings(const std::string& folder, const data::CompanyRecord& company,
                              const data::CompanyEInvoice& settings, std::string& error) {
    const std::string prefix = data::CompanyPrefix(company.text(data::Company::CompanyNo));
    if (prefix.empty()) {
        error = "The company has no valid number.";
        return "";
    }
    data::IniFile ini(data::IniFilePath(folder));
    if (!data::WriteCompanyEInvoice(ini, prefix, settings, &error)) return "";
    return prefix;
}

// Answers every question with its default.
class QuietPrompter : public platform::Prompter {
  public:
    platform::Answer ask(const platform::Message& m) override {
        if (m.buttons == platform::Buttons::YesNo) return platform::Answer::Yes;
        return m.defaultButton;
    }
};

// Adds the buyers through the customer editor's routine, each with its e-invoicing record
// in the same posting; the stored customers in order. Throws what went wrong.
std::vector<data::CustomerRecord> AddBuyers(const std::string& folder, data::CompanyRecord& company,
                                            storage::Fileblock* customersFb,
                                            storage::Fileblock* einvoiceFb,
                                            std::span<const DemoBuyer> buyers,
                                            platform::Prompter& quiet) {
    std::vector<data::CustomerRecord> people;
    customers::CustomerFiles cf{folder, company, customersFb};
    for (const DemoBuyer& b : buyers) {
        customers::CustomerEntry entry = customers::NewCustomerEntry(company);
        entry.name = b.name;
        entry.bill = {b.bill[0], b.bill[1], b.bill[2], ""};
        entry.eMail = b.eMail;
        entry.taxExempt = b.taxExempt ? "Y" : "N";
        if (auto problem =
                customers::CheckCustomerEntry(entry, customers::kAddStartingNumber, customersFb))
            throw std::runtime_error(std::string(b.name) + ": " + problem->message.text);
        data::Posting posting;
        const int32_t rec = customers::AddCustomer(cf, entry, quiet);
        if (!data::StoreEInvoiceRecord(
                einvoiceFb, data::CustomerEInvoiceRecord(entry.number, b.einvoice), false, quiet) ||
            !posting.commit())
            throw std::runtime_error(std::string("the e-invoicing data of ") + b.name +
                                     " could not be stored");
        if (auto c = data::ReadBusinessRecord<data::Customer>(customersFb, rec))
            people.push_back(*c);
    }
    if (people.size() != buyers.size())
        throw std::runtime_error("the demo customers of the company cannot be read");
    return people;
}

// Adds the goods through the product editor's routine, each with its unit code.
void AddGoods(const data::CompanyRecord& company, const data::Date& today,
              storage::Fileblock* productsFb, storage::Fileblock* einvoiceFb,
              std::span<const DemoGood> goods, platform::Prompter& quiet) {
    const std::string todayText = products::TodayText(
        company, platform::FixedClock({today.year, today.month, today.day, 12, 0, 0}));
    for (const DemoGood& g : goods) {
        products::ProductEntry entry = products::NewProductEntry(todayText);
        entry.code = g.code;
        entry.description = g.description;
        entry.price = g.price;
        entry.taxable = g.taxable;
        if (auto problem =
                products::CheckProductEntry(entry, products::kAddStartingCode, productsFb))
            throw std::runtime_error(std::string(g.code) + ": " + problem->message.text);
        data::Posting posting;
        products::AddProduct(productsFb, entry, todayText, quiet);
        if (!data::StoreEInvoiceRecord(einvoiceFb, data::ProductUnitRecord(g.code, g.unit), false,
                                       quiet) ||
            !posting.commit())
            throw std::runtime_error(std::string("the unit code of ") + g.code +
                                     " could not be stored");
    }
}

// Saves a memo invoice of the net amount with tax at the percentage, as the editor saves
// it, dated `date`; its number.
std::string SaveMemoInvoice(invoicing::SaveFiles& files, const data::CompanyRecord& company,
                            data::DateOrder order, const data::Date& date,
                            const data::CustomerRecord& buyer, const std::string& description,
                            const std::vector<std::string>& memo, Money net,
                            data::Decimal taxPercent, platform::Prompter& quiet) {
    invoicing::InvoiceEditor ed = invoicing::InvoiceEditor::ForNew(company, order, date);
    ed.entry.date = data::FormatUserDate(date, order);
    ed.chooseCustomer(buyer, quiet);
    ed.entry.memo = true;
    ed.entry.memoDescription = description;
    ed.entry.memoQuantity = "1";
    ed.entry.memoLines = memo;
    ed.entry.net = net.storedText();
    ed.entry.tax = data::PercentOf(net, taxPercent).storedText();
    ed.recalc();
    invoicing::SaveNewInvoice(files, ed, quiet);
    return data::TrimmedText(ed.entry.number);
}

}  // namespace

DemoEInvoiceResult AddDemoEInvoices(const std::string& folder, data::CompanyRecord& company,
                                    const data::Date& today, platform::Prompter& prompter) {
    (void)prompter;
    QuietPrompter quiet;
    DemoEInvoiceResult result;
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
    const std::string prefix = WriteDemoSettings(folder, company, settings, result.error);
    if (prefix.empty()) return result;

    DemoFiles open(folder, prefix, quiet);
    if (!open.ok()) {
        result.error = "the files of company " + prefix + " cannot be opened";
        return result;
    }
    const data::DateOrder order = data::DateOrderFromCode(company.text(Company::DateFormatCode));

    // The customers, each with its e-invoicing record in the same posting, and the goods.
    std::vector<data::CustomerRecord> people;
    try {
        people = AddBuyers(folder, company, open.customers.fb, open.einvoice.fb, kBuyers, quiet);
        AddGoods(company, today, open.products.fb, open.einvoice.fb, kGoods, quiet);
    } catch (const std::exception& e) {
        result.error = e.what();
        return result;
    }

    auto good = [](const char* code) {
        for (const DemoGood& g : kGoods)
            if (std::string_view(g.code) == code)
                return invoicing::ProductChoice{g.code, g.description, g.price, g.taxable};
        return invoicing::ProductChoice{};
    };
    invoicing::SaveFiles files = open.saveFiles(folder, company, today);
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
        result.invoices.emplace_back(
            "memo",
            SaveMemoInvoice(
                files, company, order, data::AddDays(today, -back), people[1], "Exhibition design",
                {"Design of the exhibition \"Potsdam in Print\"", "",
                 "Concept, eight panels, invitation card", "Print files delivered on 12 March"},
                Money::FromCents(185000), data::Decimal::FromInteger(19), quiet));
        back -= 3;

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
        invoicing::SaveFiles pay{
            folder, company, open.invoices.fb, nullptr, nullptr, open.customers.fb, today};
        auto dueOf = [&](const std::string& number) {
            data::InvoiceRecord probe;
            probe.setText(data::Invoice::InvNo, number);
            auto f = data::FindAtOrAfter<data::Invoice>(open.invoices.fb, 1, probe);
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

namespace {

const DemoBuyer kSwissBuyers[] = {
    {"Café Bellevue GmbH",
     {"Seestrasse 41", "8002 Zürich", ""},
     "buchhaltung@bellevue.example",
     false,
     {"CH", "", "", ""}},
    {"Bergbahnen Malbun AG",
     {"Malbunstrasse 12", "9497 Triesenberg", ""},
     "office@malbun.example",
     false,
     {"LI", "", "", ""}},
    // Two lines above the street: the QR-bill's structured address has no field for the
    // first, so this customer's invoices go out without a bill and the program says why.
    {"Verein Jugendchor Luzern",
     {"c/o Anna Meier", "Hertensteinstrasse 8", "6004 Luzern"},
     "",
     true,
     {"CH", "", "", ""}},
    {"Gemeinde Weggis",
     {"Parkstrasse 1", "6353 Weggis", ""},
     "finanzen@weggis.example",
     true,
     {"CH", "", "", ""}},
    // Has a credit note, and pays its invoice less it.
    {"Hotel Seeblick AG",
     {"Seeweg 3", "6354 Vitznau", ""},
     "direktion@seeblick.example",
     false,
     {"CH", "", "", ""}},
};

}  // namespace

DemoEInvoiceResult AddDemoSwissBills(const std::string& folder, data::CompanyRecord& company,
                                     const data::Date& today, platform::Prompter& prompter) {
    (void)prompter;
    QuietPrompter quiet;
    DemoEInvoiceResult result;
    data::CompanyEInvoice settings;
    settings.taxRegistration = "CHE-123.456.788 MWST";
    settings.country = "CH";
    settings.currency = "CHF";
    // A QR-IBAN: the bills carry the invoices' QR references.
    settings.iban = "CH44 3199 9123 0008 8901 2";
    settings.paper = "A4";
    const std::string prefix = WriteDemoSettings(folder, company, settings, result.error);
    if (prefix.empty()) return result;

    DemoFiles open(folder, prefix, quiet);
    if (!open.ok()) {
        result.error = "the files of company " + prefix + " cannot be opened";
        return result;
    }
    const data::DateOrder order = data::DateOrderFromCode(company.text(Company::DateFormatCode));
    invoicing::SaveFiles files = open.saveFiles(folder, company, today);
    const data::Decimal vat = data::Decimal::FromUnits(81000);  // 8.1 %
    try {
        const std::vector<data::CustomerRecord> people =
            AddBuyers(folder, company, open.customers.fb, open.einvoice.fb, kSwissBuyers, quiet);
        auto memo = [&](const char* kind, int daysBack, const data::CustomerRecord& buyer,
                        const std::string& description, const std::vector<std::string>& text,
                        int64_t netCents) {
            result.invoices.emplace_back(
                kind, SaveMemoInvoice(files, company, order, data::AddDays(today, -daysBack), buyer,
                                      description, text, Money::FromCents(netCents), vat, quiet));
        };
        memo("QR-bill", 20, people[0], "Menu cards",
             {"Menu cards for the summer terrace", "", "300 cards, A4, four colours, laminated"},
             84000);
        memo("QR-bill to Liechtenstein", 14, people[1], "Timetable posters",
             {"Timetable posters for the winter season", "", "60 posters, A2"}, 126000);
        memo("no QR-bill: address", 9, people[2], "Concert programmes",
             {"Programmes for the Christmas concert", "", "500 booklets, 16 pages"}, 65000);
        memo("QR-bill, second", 5, people[0], "Table stands",
             {"Table stands with the wine list", "", "40 stands"}, 32000);
        memo("QR-bill, paid in part", 16, people[3], "Village guide",
             {"Village guide, 2000 copies", "", "24 pages, stapled"}, 240000);
        memo("QR-bill, credit note to come", 12, people[4], "Room folders",
             {"Room folders for 48 rooms", "", "Embossed cover, four inserts"}, 150000);
        memo("credit note", 3, people[4], "Misprinted inserts",
             {"Credit for 12 misprinted room folder inserts"}, -20000);
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
