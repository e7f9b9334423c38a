#include "invoicing/Demo.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/Open.h"
#include "data/Update.h"
#include "invoicing/IntWizd.h"
#include "invoicing/InvEdit.h"
#include "invoicing/RepeatSet.h"

namespace invarro::invoicing {

namespace {

using data::Company;
using data::Money;

struct DemoProduct {
    const char* code;
    const char* description;
    const char* price;
    bool taxable;
    std::array<const char*, 4> quantities;
};

// clang-format off
const DemoProduct kPrintShop[] = {
    {"BC-500", "Business cards, 500", "45.00", true, {"1", "2", "1", "4"}},
    {"FLY-1000", "Flyers, full colour, 1000", "189.00", true, {"1", "2", "1", "3"}},
    {"BRO-TRI", "Tri-fold brochures, 500", "265.00", true, {"1", "1", "2", "4"}},
    {"POST-A2", "Poster A2, gloss", "18.50", true, {"5", "10", "25", "12"}},
    {"BAN-36", "Vinyl banner 3x6 ft", "95.00", true, {"1", "2", "1", "3"}},
    {"LOGO", "Logo design", "450.00", false, {"1", "1", "1", "1"}},
    {"DES-HR", "Graphic design, per hour", "65.00", false, {"1.5", "2", "3.25", "6"}},
    {"RUSH", "Rush handling", "35.00", false, {"1", "1", "1", "1"}},
    {"ENV-10", "#10 envelopes, printed, 500", "78.00", true, {"1", "2", "1", "4"}},
    {"LH-500", "Letterhead, 500 sheets", "92.00", true, {"1", "1", "2", "3"}},
    {"STICK", "Die-cut stickers, each", "0.145", true, {"250", "500", "1000", "300"}},
    {"DEL", "Local delivery", "15.00", false, {"1", "1", "1", "2"}},
};
const DemoProduct kLandscaping[] = {
    {"MOW", "Lawn mowing, per visit", "45.00", false, {"1", "2", "4", "5"}},
    {"HEDGE", "Hedge trimming, per hour", "55.00", false, {"1.5", "2", "3", "4.5"}},
    {"MULCH", "Bark mulch, per cubic yard", "38.00", true, {"2", "3", "5", "8"}},
    {"IRR-CHK", "Irrigation system check", "85.00", false, {"1", "1", "1", "1"}},
    {"SOD", "Sod, per square foot", "0.85", true, {"250", "400", "650", "1200"}},
    {"PLANT-1G", "Perennials, 1 gallon", "12.95", true, {"6", "12", "18", "24"}},
    {"TREE-15", "Shade tree, 15 gallon", "149.00", true, {"1", "2", "1", "3"}},
    {"CLEANUP", "Spring clean-up", "180.00", false, {"1", "1", "1", "1"}},
    {"LABOR", "Crew labor, per hour", "48.00", false, {"2", "4", "6.5", "8"}},
    {"DUMP", "Green waste disposal", "35.00", false, {"1", "1", "2", "3"}},
    {"FERT", "Fertilizer application", "65.00", true, {"1", "1", "2", "1"}},
};
const char* const kComments[] = {
    "Artwork supplied by customer.", "Delivered to the front desk.", "Thank you for the referral!",
    "Colours matched to the brand guide.", "Work completed as quoted.", "Gate code 4411 on file.",
    "Second visit at no extra charge.", "Please note our new address.",
};
struct DemoMemo {
    const char* description;
    const char* net;
    std::array<const char*, 5> text;
};
const DemoMemo kPrintMemos[] = {
    {"Design retainer", "1200.00",
     {"Monthly design retainer as agreed.", "",
      "Includes up to 20 hours of layout, revisions and file preparation.",
      "Unused hours do not carry over to the next month.", ""}},
    {"Annual report layout", "2850.00",
     {"Layout and typesetting of the annual report, 48 pages.",
      "Three proof rounds, final files delivered as print-ready PDF.", "",
      "Printing is invoiced separately.", ""}},
    {"Website graphics package", "780.00",
     {"Banner set, social media templates and favicon.", "Source files included.", "", "", ""}},
};
const DemoMemo kGardenMemos[] = {
    {"Seasonal maintenance contract", "640.00",
     {"Seasonal maintenance, April through June.", "",
      "Weekly mowing and edging, monthly bed weeding,",
      "one fertilizer application and an irrigation check.", ""}},
    {"Landscape design consultation", "350.00",
     {"On-site consultation and a scaled planting plan.", "",
      "The fee is credited against installation within 90 days.", "", ""}},
    {"Drainage repair", "1480.00",
     {"French drain along the north fence line, 60 ft.",
      "Excavation, gravel, perforated pipe and fabric.", "Site restored and reseeded.", "",
      ""}},
};
// clang-format on

// A small fixed pseudo-random sequence, so that every demo installation is the same.
class Sequence {
  public:
    explicit Sequence(uint32_t seed) : state_(seed * 2654435761u + 12345u) {}
    int next(int n) {
        state_ = state_ * 1664525u + 1013904223u;
        return int((state_ >> 8) % uint32_t(n));
    }

  private:
    uint32_t state_;
};

// The demo answers every question with its default and gives up on a lock conflict.
class QuietPrompter : public platform::Prompter {
  public:
    platform::Answer ask(const platform::Message& m) override {
        if (m.buttons == platform::Buttons::YesNo) return platform::Answer::Yes;
        return m.defaultButton;
    }
};

struct OpenDemoFile {
    storage::Fileblock* fb = nullptr;
    OpenDemoFile(const std::string& folder, data::FileKind kind, const std::string& prefix,
                 platform::Prompter& prompter) {
        data::OpenRequest request;
        request.name = data::FileblockName(folder, kind, prefix);
        request.kind = kind;
        fb = data::OpenBusinessFileblock(request, prompter).fb;
    }
    ~OpenDemoFile() {
        if (fb) storage::CloseFileblock(fb);
    }
    OpenDemoFile(const OpenDemoFile&) = delete;
    OpenDemoFile& operator=(const OpenDemoFile&) = delete;
};

// The files an invoice of the demo is written to, and its products.
struct DemoFiles {
    OpenDemoFile customers, invoices, lines, memos, products;
    DemoFiles(const std::string& folder, const std::string& prefix, platform::Prompter& prompter)
        : customers(folder, data::FileKind::Customer, prefix, prompter),
          invoices(folder, data::FileKind::Invoice, prefix, prompter),
          lines(folder, data::FileKind::InvoiceLine, prefix, prompter),
          memos(folder, data::FileKind::Memo, prefix, prompter),
          products(folder, data::FileKind::Product, prefix, prompter) {}
    bool ok() const { return customers.fb && invoices.fb && lines.fb && memos.fb && products.fb; }
};

// What an invoice line can sell: a product and the quantities it is sold in.
struct Item {
    ProductChoice product;
    std::array<std::string, 4> quantities;
};

template <std::size_t N>
std::vector<Item> BuiltInItems(const DemoProduct (&catalog)[N]) {
    std::vector<Item> items;
    for (const DemoProduct& p : catalog)
        items.push_back(Item{ProductChoice{p.code, p.description, p.price, p.taxable},
                             {p.quantities[0], p.quantities[1], p.quantities[2], p.quantities[3]}});
    return items;
}

// The company's own products, with quantities that suit their prices and units.
std::vector<Item> ItemsFromProductFile(storage::Fileblock* products) {
    std::vector<Item> items;
    for (int32_t rec = storage::NextUsedRecord(products, 0); storage::EngineOk && rec > 0;
         rec = storage::NextUsedRecord(products, rec)) {
        auto p = data::ReadBusinessRecord<data::Product>(products, rec);
        if (!p) continue;
        Item item{ChoiceFromProduct(*p), {"1", "2", "3", "5"}};
        const std::string desc = data::UpperText(item.product.description);
        const Money price = CellAmount(item.product.price).value_or(Money());
        if (price < Money())
            item.quantities = {"1", "1", "1", "1"};  // a credit line
        else if (desc.find("HOUR") != std::string::npos)
            item.quantities = {"1.5", "2", "3.5", "6"};
        else if (price < Money::FromCents(100))
            item.quantities = {"250", "400", "650", "1000"};
        else if (price > Money::FromCents(100000))
            item.quantities = {"1", "1", "1", "2"};
        items.push_back(item);
    }
    return items;
}

void AddProductRow(InvoiceEditor& ed, int r, const std::vector<Item>& items, Sequence& seq) {
    std::size_t pick = size_t(seq.next(int(items.size())));
    // A credit line (a negative price) follows goods; it never opens an invoice, which
    // would leave an invoice of nothing but the credit.
    for (std::size_t tries = 0; r == 1 && tries < items.size() &&
                                CellAmount(items[pick].product.price).value_or(Money()) < Money();
         ++tries)
        pick = (pick + 1) % items.size();
    const Item& item = items[pick];
    ed.applyProduct(r, item.product, true);
    ed.entry.grid[r].quantity = item.quantities[size_t(seq.next(4))];
    ed.cellEdited(r);
}

void FillLines(InvoiceEditor& ed, const std::vector<Item>& items, Sequence& seq) {
    int r = 1;
    const int count = 1 + seq.next(5);
    const bool subTotal = count >= 3 && seq.next(100) < 30;
    for (int k = 0; k < count; ++k) {
        AddProductRow(ed, r++, items, seq);
        if (subTotal && k == 1) {
            ed.entry.grid[r] = LineRow{"SUB-TOTAL", "", "", "", "", ""};
            ed.cellEdited(r++);
        }
    }
    if (seq.next(100) < 18) {
        ed.entry.grid[r] = CommentRow(kComments[seq.next(int(std::size(kComments)))]);
        ed.cellEdited(r++);
    }
    if (seq.next(100) < 14) {
        static const char* const kRates[] = {"DISCOUNT5", "DISCOUNT10", "DISCOUNT15", "DISCOUNT20"};
        const bool taxed = ed.entry.grid[1].taxable == "Y";
        ed.entry.grid[r] = LineRow{kRates[seq.next(4)], "1", "", "0.00", taxed ? "Y" : "N", ""};
        ed.cellEdited(r++);
    }
}

}  // namespace

DemoInvoicesResult AddDemoInvoices(const std::string& folder, data::CompanyRecord& company,
                                   const data::Date& today, platform::Prompter& prompter) {
    (void)prompter;
    QuietPrompter quiet;
    DemoInvoicesResult result;
    const std::string prefix = data::CompanyPrefix(company.text(Company::CompanyNo));
    const DemoFiles open(folder, prefix, quiet);
    if (!open.ok()) {
        result.error = "the invoice files of company " + prefix + " cannot be opened";
        return result;
    }
    const OpenDemoFile &customers = open.customers, &invoices = open.invoices, &lines = open.lines,
                       &memos = open.memos, &products = open.products;
    std::vector<data::CustomerRecord> people;
    for (int32_t rec = storage::NextUsedRecord(customers.fb, 0); storage::EngineOk && rec > 0;
         rec = storage::NextUsedRecord(customers.fb, rec)) {
        if (auto c = data::ReadBusinessRecord<data::Customer>(customers.fb, rec))
            people.push_back(*c);
    }
    if (people.empty()) {
        result.ok = true;
        return result;
    }

    const bool printShop = prefix == "1";
    std::vector<Item> items = ItemsFromProductFile(products.fb);
    if (items.empty()) items = printShop ? BuiltInItems(kPrintShop) : BuiltInItems(kLandscaping);
    const data::DateOrder order = data::DateOrderFromCode(company.text(Company::DateFormatCode));
    SaveFiles files{folder,       company, invoices.fb, lines.fb, memos.fb,
                    customers.fb, today,   nullptr,     nullptr};
    Sequence seq(uint32_t(printShop ? 17 : 29));
    const int count = printShop ? 320 : 230;
    try {
        for (int i = 0; i < count; ++i) {
            int back = 730 - i * 730 / count - seq.next(3);
            if (back < 0) back = 0;
            const data::Date date = data::AddDays(today, -back);
            InvoiceEditor ed = InvoiceEditor::ForNew(company, order, date);
            ed.entry.date = data::FormatUserDate(date, order);
            ed.chooseCustomer(people[size_t(seq.next(int(people.size())))], quiet);
            const int kind = seq.next(100);
            const bool noCharge = i % 71 == 35;
            if (noCharge) {
                AddProductRow(ed, 1, items, seq);
                ed.entry.grid[1].description = "Warranty redo (no charge)";
                ed.entry.grid[1].price = "0.00";
                ed.cellEdited(1);
            } else if (kind < 7) {
                const DemoMemo& m =
                    printShop ? kPrintMemos[seq.next(3)] : kGardenMemos[seq.next(3)];
                ed.entry.memo = true;
                ed.entry.memoDescription = m.description;
                ed.entry.memoQuantity = "1";
                ed.entry.memoLines.assign(m.text.begin(), m.text.end());
                while (!ed.entry.memoLines.empty() && ed.entry.memoLines.back().empty())
                    ed.entry.memoLines.pop_back();
                ed.entry.net = m.net;
                ed.entry.tax =
                    ed.companyCalculatesTax() && ed.taxSwitch() == TaxSwitch::On
                        ? data::PercentOf(*CellAmount(m.net),
                                          CellNumber(ed.entry.taxRate).value_or(data::Decimal()))
                              .storedText()
                        : "0.00";
            } else {
                FillLines(ed, items, seq);
                ed.entry.quote = kind < 12;
            }
            const Totals t = ed.recalc();
            if (!ed.entry.quote && !noCharge) {
                const int roll = seq.next(100);
                bool full = false;
                bool half = false;
                if (back > 100)
                    full = roll >= 6;
                else if (back > 60)
                    full = roll >= 25;
                else if (back > 30)
                    full = roll >= 50;
                else {
                    full = roll < 15;
                    half = roll >= 15 && roll < 25;
                }
                // Recent sales are paid at the counter; older invoices are paid later, by
                // the demo payments that follow the invoices.
                if (full && back <= 30) ed.entry.paid = t.total.storedText();
                if (half) ed.entry.paid = Money::FromCents(t.total.cents() / 2).storedText();
            }
            if (ed.entry.notes.empty() && seq.next(100) < 20)
                ed.entry.notes = "PO " + std::to_string(4000 + i * 7);
            SaveResult saved = SaveNewInvoice(files, ed, quiet);
            if (ed.entry.quote)
                ++result.quotes;
            else
                ++result.invoices;
            result.lines += saved.lines;
        }
    } catch (const InvoiceError& e) {
        result.error = e.what();
        ForgetInvoiceDate();
        return result;
    }
    // Invoices typed in later start on today's date.
    ForgetInvoiceDate();
    result.ok = true;
    return result;
}

namespace {

// Saves a new demo invoice as the editor does and counts it; false with the error when it
// cannot be saved. The next invoice's date is its own again.
bool SaveDemoInvoice(SaveFiles& files, InvoiceEditor& ed, DemoInvoicesResult& result) {
    QuietPrompter quiet;
    try {
        SaveResult saved = SaveNewInvoice(files, ed, quiet);
        ++result.invoices;
        result.lines += saved.lines;
    } catch (const InvoiceError& e) {
        result.error = e.what();
        ForgetInvoiceDate();
        return false;
    }
    ForgetInvoiceDate();
    return true;
}

// A job of taxed goods and untaxed design work with a sub-total and a 10 % discount on
// both, for the first customer who pays tax, dated five days ago and open: the discount
// is a pair of lines, and only its share on the goods lowers the tax.
bool AddSharedDiscountJob(SaveFiles& files, data::CompanyRecord& company, data::DateOrder order,
                          const data::Date& today, storage::Fileblock* customers,
                          const std::vector<Item>& items, DemoInvoicesResult& result) {
    QuietPrompter quiet;
    std::optional<data::CustomerRecord> payer;
    for (int32_t rec = storage::NextUsedRecord(customers, 0); storage::EngineOk && rec > 0;
         rec = storage::NextUsedRecord(customers, rec)) {
        auto c = data::ReadBusinessRecord<data::Customer>(customers, rec);
        if (!c || c->yes(data::Customer::TaxExempt)) continue;
        if (!payer || data::TrimmedText(c->text(data::Customer::CustNo)) <
                          data::TrimmedText(payer->text(data::Customer::CustNo)))
            payer = c;
    }
    const auto goods =
        std::find_if(items.begin(), items.end(), [](const Item& i) { return i.product.taxable; });
    const auto work =
        std::find_if(items.begin(), items.end(), [](const Item& i) { return !i.product.taxable; });
    if (!payer || goods == items.end() || work == items.end()) return true;
    const data::Date date = data::AddDays(today, -5);
    InvoiceEditor ed = InvoiceEditor::ForNew(company, order, date);
    ed.entry.date = data::FormatUserDate(date, order);
    ed.chooseCustomer(*payer, quiet);
    ed.entry.notes = "Launch mailing: print and design";
    ed.applyProduct(1, goods->product, true);
    ed.entry.grid[1].quantity = "4";
    ed.cellEdited(1);
    ed.applyProduct(2, work->product, true);
    ed.entry.grid[2].quantity = "9.5";
    ed.cellEdited(2);
    ed.entry.grid[3] = LineRow{"SUB-TOTAL", "", "", "", "", ""};
    ed.cellEdited(3);
    ed.entry.grid[4] = LineRow{"DISCOUNT10", "1", "", "0.00", "Y", ""};
    ed.cellEdited(4);
    return SaveDemoInvoice(files, ed, result);
}

}  // namespace

DemoInvoicesResult AddDemoLongInvoice(const std::string& folder, data::CompanyRecord& company,
                                      const data::Date& today, platform::Prompter& prompter) {
    (void)prompter;
    QuietPrompter quiet;
    DemoInvoicesResult result;
    const std::string prefix = data::CompanyPrefix(company.text(Company::CompanyNo));
    const DemoFiles open(folder, prefix, quiet);
    if (!open.ok()) {
        result.error = "the invoice files of company " + prefix + " cannot be opened";
        return result;
    }
    const OpenDemoFile &customers = open.customers, &invoices = open.invoices, &lines = open.lines,
                       &memos = open.memos, &products = open.products;
    // The customer with a shipping address whose number comes first: a business that
    // orders for several sites.
    std::optional<data::CustomerRecord> buyer;
    for (int32_t rec = storage::NextUsedRecord(customers.fb, 0); storage::EngineOk && rec > 0;
         rec = storage::NextUsedRecord(customers.fb, rec)) {
        auto c = data::ReadBusinessRecord<data::Customer>(customers.fb, rec);
        if (!c || data::TrimmedText(c->text(data::Customer::ShipAddr1)).empty()) continue;
        if (!buyer || data::TrimmedText(c->text(data::Customer::CustNo)) <
                          data::TrimmedText(buyer->text(data::Customer::CustNo)))
            buyer = c;
    }
    std::vector<Item> items = ItemsFromProductFile(products.fb);
    std::erase_if(items, [](const Item& item) {
        return CellAmount(item.product.price).value_or(Money()) <= Money();
    });
    if (!buyer || items.empty()) {
        result.ok = true;
        return result;
    }
    const data::DateOrder order = data::DateOrderFromCode(company.text(Company::DateFormatCode));
    SaveFiles files{folder,       company, invoices.fb, lines.fb, memos.fb,
                    customers.fb, today,   nullptr,     nullptr};
    const data::Date date = data::AddDays(today, -12);
    InvoiceEditor ed = InvoiceEditor::ForNew(company, order, date);
    ed.entry.date = data::FormatUserDate(date, order);
    ed.chooseCustomer(*buyer, quiet);
    ed.entry.notes = "Spring campaign, all branches";
    // One section per branch: the goods of each, a sub-total and a delivery note.
    const char* const branches[] = {"Main office", "Harbor branch", "Airport branch"};
    int r = 1;
    Sequence seq(41);
    for (const char* branch : branches) {
        ed.entry.grid[r] = CommentRow(std::string("Order for the ") + branch + ":");
        ed.cellEdited(r++);
        for (std::size_t k = 0; k < items.size() && k < 12; ++k) {
            const Item& item = items[k];
            ed.applyProduct(r, item.product, true);
            ed.entry.grid[r].quantity = item.quantities[size_t(seq.next(4))];
            ed.cellEdited(r++);
        }
        // Marked in the description: the line keeps room for a sub-total in the thousands.
        ed.entry.grid[r] = LineRow{"", "", "SUB-TOTAL", "", "", ""};
        ed.cellEdited(r++);
    }
    ed.entry.grid[r] = CommentRow("Delivered in three shipments.");
    ed.cellEdited(r++);
    ed.recalc();
    if (!SaveDemoInvoice(files, ed, result) ||
        !AddSharedDiscountJob(files, company, order, today, customers.fb, items, result))
        return result;
    result.ok = true;
    return result;
}

}  // namespace invarro::invoicing

// ------------------------------------------------------------ repeat billing and interest

namespace invarro::invoicing {

namespace {

struct DemoMaster {
    const char* description;
    const char* price;
    bool memo;
    RepeatUnit unit;
    int every;
};

// clang-format off
const DemoMaster kPrintMasters[] = {
    {"Monthly design retainer", "1200.00", true, RepeatUnit::Months, 1},
    {"Website hosting and updates", "85.00", false, RepeatUnit::Months, 1},
    {"Social media graphics set", "140.00", false, RepeatUnit::Days, 14},
};
const DemoMaster kGardenMasters[] = {
    {"Lawn mowing, bi-weekly visit", "90.00", false, RepeatUnit::Days, 14},
    {"Seasonal maintenance contract", "640.00", true, RepeatUnit::Months, 1},
};
// clang-format on

}  // namespace

DemoRepeatResult AddDemoRepeatAndInterest(const std::string& folder, data::CompanyRecord& company,
                                          const data::Date& today, platform::Prompter& prompter,
                                          const DemoAging& ageAsOf) {
    (void)prompter;
    QuietPrompter quiet;
    DemoRepeatResult result;
    const std::string prefix = data::CompanyPrefix(company.text(Company::CompanyNo));
    const data::DateOrder order = data::DateOrderFromCode(company.text(Company::DateFormatCode));
    const bool printShop = prefix == "1";
    try {
        OpenDemoFile customers(folder, data::FileKind::Customer, prefix, quiet);
        OpenDemoFile invoices(folder, data::FileKind::Invoice, prefix, quiet);
        OpenDemoFile lines(folder, data::FileKind::InvoiceLine, prefix, quiet);
        OpenDemoFile memos(folder, data::FileKind::Memo, prefix, quiet);
        if (!customers.fb || !invoices.fb || !lines.fb || !memos.fb) {
            result.error = "the invoice files of company " + prefix + " cannot be opened";
            return result;
        }
        std::vector<data::CustomerRecord> people;
        for (int32_t rec = storage::NextUsedRecord(customers.fb, 0);
             storage::EngineOk && rec > 0 && people.size() < 8;
             rec = storage::NextUsedRecord(customers.fb, rec)) {
            if (auto c = data::ReadBusinessRecord<data::Customer>(customers.fb, rec))
                people.push_back(*c);
        }
        if (people.empty()) {
            result.ok = true;
            return result;
        }
        SaveFiles files{folder,       company, invoices.fb, lines.fb, memos.fb,
                        customers.fb, today,   nullptr,     nullptr};

        // The masters start as ordinary invoices about four months ago, written through the
        // editor's save and then set up as the set-up dialog does.
        const data::Date start = data::AddDays(today, -130);
        std::vector<DemoMaster> masters;
        if (printShop)
            masters.assign(std::begin(kPrintMasters), std::end(kPrintMasters));
        else
            masters.assign(std::begin(kGardenMasters), std::end(kGardenMasters));
        int who = 1;
        for (const DemoMaster& m : masters) {
            InvoiceEditor ed = InvoiceEditor::ForNew(company, order, start);
            ed.entry.date = data::FormatUserDate(start, order);
            ed.chooseCustomer(people[size_t(who++ % int(people.size()))], quiet);
            if (m.memo) {
                ed.entry.memo = true;
                ed.entry.memoDescription = m.description;
                ed.entry.memoLines = {m.description + std::string("."), "",
                                      "Billed automatically as agreed."};
                ed.entry.net = m.price;
                ed.entry.tax = "0.00";
            } else {
                ProductChoice p{"SVC", m.description, m.price, false};
                ed.applyProduct(1, p, true);
                ed.entry.grid[1].quantity = "1";
                ed.cellEdited(1);
            }
            ed.entry.notes = "Repeat billing";
            ed.recalc();
            SaveResult saved = SaveNewInvoice(files, ed, quiet);
            auto record = data::ReadBusinessRecord<data::Invoice>(invoices.fb, saved.recNo);
            if (!record) continue;
            RepeatSetupEntry e = SetupEntryFor(*record, order);
            e.generate = true;
            e.unit = m.unit;
            e.every = std::to_string(m.every);
            auto first = NextCreationDate(start, m.unit, m.every);
            e.nextDate = data::FormatUserDate(first.value_or(start), order);
            ApplyRepeatSetup(files, saved.recNo, *record, e, order, quiet);
            ++result.masters;
        }
        ForgetInvoiceDate();

        // The wizard run every second week up to three weeks ago, so that some masters are
        // due today.
        for (data::Date run = data::AddDays(start, 14); run <= data::AddDays(today, -21);
             run = data::AddDays(run, 14)) {
            auto due = FindDueMasters(invoices.fb, run, order);
            if (due.empty()) continue;
            GenerationOutcome out = GenerateRepeatInvoices(
                files, due, GenerationRun{data::FormatUserDate(run, order), "Monthly Service"},
                order, quiet);
            result.generated += int(out.written.size());
        }
    } catch (const InvoiceError& e) {
        result.error = e.what();
        return result;
    }

    // One interest run a month ago: the customers aged as of that day, 1.5 % over the
    // first aging limit with a minimum of 1.00.
    InterestSettings s = InterestSettingsOf(company, data::AddDays(today, -30), order);
    s.percent = "1.50";
    s.minimum = "1.00";
    s.terms = "Due on receipt";
    InterestBooks books{folder, prefix, order, [&](const platform::Clock& asOf) {
                            return ageAsOf(folder, company, asOf, quiet);
                        }};
    std::optional<InterestScan> scan = ScanInterest(books, s, quiet);
    if (scan && !scan->rows.empty()) {
        OpenDemoFile customers(folder, data::FileKind::Customer, prefix, quiet);
        OpenDemoFile invoices(folder, data::FileKind::Invoice, prefix, quiet);
        OpenDemoFile lines(folder, data::FileKind::InvoiceLine, prefix, quiet);
        SaveFiles files{folder,       company, invoices.fb, lines.fb, nullptr,
                        customers.fb, today,   nullptr,     nullptr};
        try {
            result.interest = GenerateInterest(files, *scan, s, order, quiet).created;
        } catch (const InvoiceError& e) {
            result.error = e.what();
            return result;
        }
    }
    result.ok = true;
    return result;
}

}  // namespace invarro::invoicing
