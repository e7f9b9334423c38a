#include "invoicing/InvEdit.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>

#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/Keys.h"
#include "data/Open.h"
#include "data/PaymentReference.h"
#include "data/Posting.h"
#include "data/Texts.h"
#include "data/Update.h"
#include "invoicing/Receivables.h"
#include "invoicing/TermSet.h"
#include "storage/BTree.h"

namespace invarro::invoicing {

namespace {

using data::Company;
using data::Customer;
using data::Invoice;
using data::InvoiceLine;
using data::Money;
using platform::Answer;
using platform::Buttons;
using platform::Icon;
using platform::Message;

bool Blank(std::string_view text) {
    return data::TrimText(text).empty();
}

std::string Upper(std::string_view text) {
    return data::UpperText(data::TrimText(text));
}

// Puts each stored line in the row of its line number (put(row, line)); lines whose
// number is unreadable or taken go to the first free rows, in their order.
template <class Put>
void PlaceLines(const std::vector<data::InvoiceLineRecord>& lines, Put&& put) {
    std::array<bool, kLineRows + 1> used{};
    std::vector<const data::InvoiceLineRecord*> unplaced;
    for (const auto& line : lines) {
        // Digits read the same in the stored characters as in UTF-8.
        auto no = data::WholeNumber(line.ansiView(InvoiceLine::LineNo));
        if (no && *no >= 1 && *no <= kLineRows && !used[size_t(*no)]) {
            used[size_t(*no)] = true;
            put(int(*no), line);
        } else {
            unplaced.push_back(&line);
        }
    }
    for (const data::InvoiceLineRecord* line : unplaced) {
        for (int r = 1; r <= kLineRows; ++r) {
            if (!used[size_t(r)]) {
                used[size_t(r)] = true;
                put(r, *line);
                break;
            }
        }
    }
}

// An invoice saved with the tax switch unticked reopens unticked, so that opening it does
// not change its amounts.
bool ReopensUnticked(const data::InvoiceRecord& record, bool memo, bool taxOn,
                     const Totals& totals) {
    return !memo && taxOn && record.money(Invoice::Tax).isZero() && !totals.tax.isZero();
}

// The text cut to n characters and padded on the right with blanks to n.
std::string Column(std::string_view text, std::size_t n) {
    std::string out = data::FirstChars(text, n);
    const std::size_t have = data::CharCount(out);
    if (have < n) out.append(n - have, ' ');
    return out;
}

// Characters [from, from + n) of UTF-8 text; what lies past its end is empty.
std::string Chars(std::string_view text, std::size_t from, std::size_t n) {
    std::size_t i = 0;
    std::size_t index = 0;
    char32_t cp = 0;
    while (index < from && i < text.size()) {
        data::NextUtf8(text, i, cp);
        ++index;
    }
    const std::size_t start = i;
    std::size_t taken = 0;
    while (taken < n && i < text.size()) {
        data::NextUtf8(text, i, cp);
        ++taken;
    }
    return std::string(text.substr(start, i - start));
}

Message Warn(const std::string& title, const std::string& text) {
    return Message{title, text, Icon::Warning, Buttons::Ok, Answer::Ok};
}

std::optional<EditProblem> Fail(platform::Prompter& prompter, const std::string& title,
                                const std::string& text, Focus field, int row = 0, int column = 0) {
    prompter.ask(Warn(title, text));
    return EditProblem{field, row, column};
}

bool IsFilledRow(const LineRow& row) {
    return row.filled();
}

bool AmountFits(std::string_view typed) {
    return StoredNumberText(typed).size() <= std::size_t(width::kAmount);
}

// The stored extension of a row: the amount without separators, empty when blank.
std::string StoredExtension(std::string_view shown) {
    if (Blank(shown)) return {};
    auto m = CellAmount(shown);
    return m ? m->storedText() : StoredNumberText(shown);
}

}  // namespace

// ------------------------------------------------------ posting to customer and company

namespace {

constexpr std::array<data::FieldRef<Customer, data::FieldKind::Money>, 4> kAgingFields = {
    Customer::Age0to30, Customer::Age31to60, Customer::Age61to90, Customer::AgeOver90};

// The aging period of an invoice dated `date` (a user date or a sort date; unreadable
// dates count as today) by the company's aging days.
int BucketOf(const data::CompanyRecord& company, std::string_view date, data::DateOrder order,
             const data::Date& today) {
    const AgingLimits limits = AgingLimitsOf(company).value_or(AgingLimits{});
    // The date as the company writes dates, else an invoice's sort date, else today.
    std::optional<data::Date> parsed = data::ParseUserDate(date, order);
    if (!parsed) parsed = data::ParseSortDate(date);
    const data::Date d = parsed.value_or(today);
    return AgingBucket(data::DaysBetween(d, today), limits);
}

// Adds amount to a money field; false when the result does not fit it.
template <class L>
bool AddTo(data::Record<L>& r, data::FieldRef<L, data::FieldKind::Money> f, Money amount) {
    return r.setMoney(f, r.money(f) + amount);
}

}  // namespace

std::optional<FoundCustomer> FindCustomer(storage::Fileblock* customers, std::string_view custNo) {
    data::CustomerRecord probe;
    probe.setText(Customer::CustNo, custNo);
    std::string key = data::CustomerKey(probe, 2);
    const std::string wanted = key;
    int32_t recNo = storage::FindKeyAtOrAfter(customers, 2, key);
    while (storage::EngineOk && key == wanted) {
        auto r = data::ReadBusinessRecord<Customer>(customers, recNo);
        if (r) return FoundCustomer{recNo, *r};
        storage::NextKey(customers, 2, key, recNo);
    }
    return std::nullopt;
}

ShortOpen::ShortOpen(const std::string& folder, data::FileKind kind, std::string_view prefix,
                     platform::Prompter& prompter) {
    data::OpenRequest request;
    request.name = data::FileblockName(folder, kind, prefix);
    request.kind = kind;
    fb = data::OpenBusinessFileblock(request, prompter).fb;
}
ShortOpen::~ShortOpen() {
    if (fb) storage::CloseFileblock(fb);
}

RunFiles::RunFiles(const std::string& folder, std::string_view prefix, platform::Prompter& prompter,
                   bool withMemos)
    : folder_(folder),
      invoices_(folder, data::FileKind::Invoice, prefix, prompter),
      lines_(folder, data::FileKind::InvoiceLine, prefix, prompter),
      customers_(folder, data::FileKind::Customer, prefix, prompter),
      companies_(folder, data::FileKind::Company, {}, prompter) {
    if (withMemos) memos_.emplace(folder, data::FileKind::Memo, prefix, prompter);
}

bool RunFiles::ok() const {
    return invoices_.fb && lines_.fb && customers_.fb && companies_.fb && (!memos_ || memos_->fb);
}

SaveFiles RunFiles::saveFiles(data::CompanyRecord& company, const data::Date& today) const {
    SaveFiles files{folder_,       company, invoices_.fb, lines_.fb, memos_ ? memos_->fb : nullptr,
                    customers_.fb, today,   nullptr,      nullptr};
    files.companies = companies_.fb;
    return files;
}

data::CustomerRecord PostToCustomer(SaveFiles& files, std::string_view custNo,
                                    const CustomerPosting& p, data::DateOrder order,
                                    platform::Prompter& prompter) {
    std::optional<ShortOpen> opened;
    storage::Fileblock* fb = files.customers;
    if (!fb) {
        opened.emplace(files.folder, data::FileKind::Customer, files.prefix(), prompter);
        fb = opened->fb;
    }
    if (!fb) throw InvoiceError(std::string(kModifyFailed));
    auto found = FindCustomer(fb, custNo);
    if (!found) throw InvoiceError(std::string(kModifyFailed));
    data::CustomerRecord c = found->record;
    bool fits = AddTo(c, Customer::Balance, p.entering - p.leaving);
    if (!p.leaving.isZero()) {
        const int b = BucketOf(files.company, p.oldDate, order, files.today);
        fits = AddTo(c, kAgingFields[size_t(b)], -p.leaving) && fits;
    }
    if (!p.entering.isZero()) {
        const int b = BucketOf(files.company, p.newDate, order, files.today);
        fits = AddTo(c, kAgingFields[size_t(b)], p.entering) && fits;
    }
    if (!fits) throw InvoiceError(std::string(kModifyFailed));
    if (!p.lastInvNo.empty()) c.setText(Customer::LastInvNo, p.lastInvNo);
    if (!p.lastPayDate.empty()) {
        bool set = true;
        if (p.payDateIfLater) {
            auto stored = data::ParseUserDate(c.text(Customer::LastPayDate), order);
            auto wanted = data::ParseUserDate(p.lastPayDate, order);
            set = !stored || (wanted && *stored < *wanted);
        }
        if (set) c.setText(Customer::LastPayDate, p.lastPayDate);
    }
    auto r = data::ChangeBusinessRecord(fb, found->recNo, found->record, c, prompter);
    if (!r.ok()) throw InvoiceError(std::string(kModifyFailed));
    return c;
}

namespace {

// The company's record as the company file holds it now (read inside a posting, it stays
// locked until the posting ends), with the file it was read from.
struct StoredCompanyRow {
    std::optional<ShortOpen> opened;
    storage::Fileblock* fb = nullptr;
    std::optional<data::Found<Company>> found;

    // Throws InvoiceError (`failed`) when it cannot be read.
    StoredCompanyRow(SaveFiles& files, platform::Prompter& prompter, std::string_view failed) {
        fb = files.companies;
        if (!fb) {
            opened.emplace(files.folder, data::FileKind::Company, std::string_view{}, prompter);
            fb = opened->fb;
        }
        if (!fb) throw InvoiceError(std::string(failed));
        data::CompanyRecord probe;
        probe.setAnsi(Company::CompanyNo, files.company.ansi(Company::CompanyNo));
        found = data::FindAtOrAfter<Company>(fb, 1, probe);
        if (!found || found->key != data::CompanyKey(probe, 1))
            throw InvoiceError(std::string(failed));
    }
};

}  // namespace

data::CompanyRecord LockedCompanyRow(SaveFiles& files, platform::Prompter& prompter) {
    return StoredCompanyRow(files, prompter, kModifyFailed).found->record;
}

void PostToCompany(SaveFiles& files, Money arChange, std::string_view savedNumber, bool newInvoice,
                   platform::Prompter& prompter,
                   const std::function<void(data::CompanyRecord&)>& more) {
    const StoredCompanyRow row(files, prompter, kModifyFailed);
    storage::Fileblock* companies = row.fb;
    const auto& found = row.found;
    data::CompanyRecord stored = found->record;
    const Money ar = stored.money(Company::ARBalance) + arChange;
    if (!stored.setMoney(Company::ARBalance, ar)) throw InvoiceError(std::string(kModifyFailed));
    std::optional<std::string> next;
    if (newInvoice) {
        next = NextInvoiceNumber(stored.text(Company::NextInvNo), savedNumber,
                                 files.company.yes(Company::InvNoPrefix));
        if (next) stored.setText(Company::NextInvNo, *next);
        stored.setText(Company::LastInvNo, savedNumber);
    }
    if (more) more(stored);
    if (!data::ChangeBusinessRecord(companies, found->recNo, found->record, stored, prompter).ok())
        throw InvoiceError(std::string(kModifyFailed));
    // The company in use keeps what start-up settled in memory; only the posted fields
    // change there.
    (void)files.company.setMoney(Company::ARBalance, ar);
    if (newInvoice) {
        if (next) files.company.setText(Company::NextInvNo, *next);
        files.company.setText(Company::LastInvNo, savedNumber);
    }
    if (more) more(files.company);
}

namespace {

// Grid row 1 of a memo invoice: its single line.
LineRow MemoRow(const InvoiceEntry& e, Money net) {
    LineRow row;
    row.code = "Memo";
    row.quantity = Blank(e.memoQuantity) ? "1" : data::TrimmedText(e.memoQuantity);
    row.description = Blank(e.memoDescription) ? "Memo Invoice" : e.memoDescription;
    row.price = net.storedText();
    row.taxable = "M";
    row.extension = net.storedText();
    return row;
}

// The memo box's lines as the 74-character lines of the memo record: a longer line is
// broken at its last blank within 74 characters (or at 74 when it has none), so that no
// text is lost while 25 lines remain.
std::vector<std::string> SplitMemoForRecord(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (std::string rest : lines) {
        while (data::CharCount(rest) > std::size_t(data::kMemoLineWidth)) {
            std::string head = data::FirstChars(rest, std::size_t(data::kMemoLineWidth));
            std::size_t cut = head.rfind(' ');
            if (cut == std::string::npos || cut == 0) cut = head.size();
            out.push_back(rest.substr(0, cut));
            rest = rest.substr(cut);
            if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
        }
        out.push_back(rest);
    }
    return out;
}

data::MemoRecord MemoRecordFor(std::string_view number, const std::vector<std::string>& lines,
                               data::MemoRecord base) {
    base.setText(data::Memo::InvNo, number);
    data::SetMemoLines(base, SplitMemoForRecord(lines));
    return base;
}

std::string& LastDate() {
    static std::string date;
    return date;
}

std::string PadNumber(int r) {
    std::string s = std::to_string(r);
    if (s.size() < 2) s.insert(0, 2 - s.size(), ' ');
    return s;
}

}  // namespace

// ------------------------------------------------------------------------- the editor

std::string TaxSwitchCaption(TaxSwitch s) {
    switch (s) {
        case TaxSwitch::On:
            return "Calc. Tax";
        case TaxSwitch::Off:
            return "Tax Calc. OFF";
        case TaxSwitch::Exempt:
            return "Tax Exempt";
    }
    return {};
}

ProductChoice ChoiceFromProduct(const data::ProductRecord& product) {
    ProductChoice c;
    c.code = data::TrimmedText(product.text(data::Product::ProdCode));
    c.description = product.text(data::Product::Description);
    c.price = product.money(data::Product::SellPrice).storedText();
    c.taxable = product.byte(data::Product::Taxable) != 0;
    return c;
}

InvoiceEditor::InvoiceEditor(const data::CompanyRecord& company, data::DateOrder order)
    : order_(order) {
    defaultQuantity_ = data::TrimmedText(company.text(Company::DefInvQty));
    currency_ = company.text(Company::CurrencySymbol);
    calcTaxes_ = company.byte(Company::CalcTaxes) != 0;
    companyName_ = data::TrimmedText(company.text(Company::Name));
    companyNo_ = data::TrimmedText(company.text(Company::CompanyNo));
    entry.grid.reset(defaultQuantity_);
}

InvoiceEditor InvoiceEditor::ForNew(const data::CompanyRecord& company, data::DateOrder order,
                                    const data::Date& today) {
    InvoiceEditor ed(company, order);
    ed.mode_ = EditorMode::New;
    InvoiceEntry& e = ed.entry;
    e.date = DefaultInvoiceDate(order, today);
    e.number = ProposedInvoiceNumber(company, data::ParseUserDate(e.date, order).value_or(today));
    ed.proposedNumber_ = e.number;
    e.keyCode = "None";
    e.terms = company.text(Company::DefTerms);
    e.paid = "0.00";
    e.memoQuantity = "1";
    e.memo = Upper(company.text(Company::DefInvoiceStyle)) == "M";
    e.printWhenDone = company.byte(Company::DefaultPrintFlag) != 0;
    e.taxRate = ed.calcTaxes_ ? data::TrimmedText(company.text(Company::DefTaxRate)) : "0.000";
    e.grid[1].code = std::string(kRowHint);
    ed.applyTaxRule();
    ed.recalc();
    ed.markUnchanged();
    return ed;
}

InvoiceEditor InvoiceEditor::ForEdit(const data::CompanyRecord& company, data::DateOrder order,
                                     const data::InvoiceRecord& record,
                                     const std::vector<data::InvoiceLineRecord>& lines,
                                     const std::optional<data::MemoRecord>& memo,
                                     const std::optional<data::CustomerRecord>& customer) {
    InvoiceEditor ed(company, order);
    const std::string type = Upper(record.text(Invoice::TransType));
    ed.mode_ = type == "R"   ? EditorMode::EditMaster
               : type == "Q" ? EditorMode::EditQuote
                             : EditorMode::Edit;
    InvoiceEntry& e = ed.entry;
    e.number = data::TrimmedText(record.text(Invoice::InvNo));
    e.date = data::TrimmedText(record.text(Invoice::InvDate));
    if (!data::ParseUserDate(e.date, order)) {
        if (auto d = data::UserDateFromSortDate(record.text(Invoice::SortDate), order)) e.date = *d;
    }
    e.terms = record.text(Invoice::Terms);
    e.stmntNote = record.text(Invoice::StmntNote);
    e.notes = record.text(Invoice::InvNotes);
    e.keyCode = record.text(Invoice::KeyCode);
    e.net = record.money(Invoice::Net).shownText();
    e.tax = record.money(Invoice::Tax).shownText();
    e.paid = record.money(Invoice::Paid).shownText();
    e.taxRate = data::TrimmedText(record.text(Invoice::TaxRate));
    e.quote = type == "Q";
    e.memo = Upper(record.text(Invoice::InvoiceStyle)) == "M";
    e.printWhenDone = false;
    PlaceLines(lines, [&e](int r, const data::InvoiceLineRecord& line) {
        FillRowFromLineRecord(line, e.grid[r]);
    });
    if (e.memo) {
        e.memoDescription = e.grid[1].description;
        e.memoQuantity = Blank(e.grid[1].quantity) ? "1" : data::TrimmedText(e.grid[1].quantity);
        if (memo) e.memoLines = data::MemoLines(*memo);
    }
    e.hasCustomer = true;
    if (customer) {
        e.customer = *customer;
    } else {
        // A customer no longer on file: the invoice keeps the number and short name it has.
        e.customer.setAnsi(Customer::CustNo, record.ansi(Invoice::CustNo));
        e.customer.setAnsi(Customer::ShortName, record.ansi(Invoice::ShortName));
    }
    ed.startingNumber_ = data::TrimmedText(record.text(Invoice::InvNo));
    // Quotes and masters never entered the customer's balance.
    ed.startingTotal_ = type == "Q" || type == "R" ? Money() : record.money(Invoice::Total);
    ed.startingTax_ = record.money(Invoice::Tax);
    std::vector<std::string> sent;
    if (record.yes(Invoice::PrintedFlag)) sent.push_back("printed");
    if (!Blank(record.text(Invoice::EMailedOn))) sent.push_back("e-mailed");
    if (record.money(Invoice::Paid) > Money()) sent.push_back("paid");
    for (const std::string& s : sent)
        ed.alreadySent_ += (ed.alreadySent_.empty() ? "" : ", ") + s;
    // The lines as stored, until one of them changes.
    ed.shareDiscounts_ = false;
    ed.applyTaxRule();
    ed.recalc();
    if (ReopensUnticked(record, e.memo, ed.taxOn_, ed.totals_)) {
        ed.taxOn_ = false;
        ed.recalc();
    }
    if (!e.memo) {
        LineGrid shared = e.grid;
        std::string rate = e.taxRate, paid = e.paid;
        TotalsOptions options = ed.totalsOptions();
        options.shareDiscounts = true;
        ed.sharingChangesTax_ = RecalcLineTotals(shared, rate, paid, options).tax != ed.totals_.tax;
    }
    ed.markUnchanged();
    return ed;
}

StoredTotals::StoredTotals(const data::CompanyRecord& company)
    : currency_(company.text(Company::CurrencySymbol)),
      calcTaxes_(company.byte(Company::CalcTaxes) != 0) {}

Totals StoredTotals::of(const data::InvoiceRecord& record,
                        const std::vector<data::InvoiceLineRecord>& lines,
                        const data::CustomerRecord* customer) {
    std::string paid = record.money(Invoice::Paid).shownText();
    // The style is one character: trimmed and upper-cased it is "M" for a memo invoice.
    const std::string_view style = data::TrimText(record.ansiView(Invoice::InvoiceStyle));
    if (style == "M" || style == "m") {
        std::string net = record.money(Invoice::Net).shownText();
        std::string tax = record.money(Invoice::Tax).shownText();
        return RecalcMemoTotals(net, tax, paid);
    }
    // The rows the editor would leave at their new-row values add nothing to any sum, so
    // only the lines' rows are filled (and emptied again afterwards, keeping their room).
    std::array<bool, kLineRows + 1> filled{};
    PlaceLines(lines, [this, &filled](int r, const data::InvoiceLineRecord& line) {
        FillRowFromLineRecord(line, rows_[r]);
        filled[size_t(r)] = true;
    });
    std::string taxRate = data::TrimmedText(record.text(Invoice::TaxRate));
    bool taxOn = calcTaxes_ && !(customer && customer->yes(Customer::TaxExempt));
    // The lines total as they were saved: no discount is shared anew.
    TotalsOptions options{taxOn, currency_, false, {}};
    Totals t = RecalcLineTotals(rows_, taxRate, paid, options);
    if (ReopensUnticked(record, false, taxOn, t)) {
        options.taxOn = false;
        t = RecalcLineTotals(rows_, taxRate, paid, options);
    }
    for (int r = 1; r <= kLineRows; ++r) {
        if (!filled[size_t(r)]) continue;
        LineRow& row = rows_[r];
        for (std::string* cell :
             {&row.code, &row.quantity, &row.description, &row.price, &row.taxable, &row.extension})
            cell->clear();
    }
    return t;
}

std::string InvoiceEditor::caption() const {
    switch (mode_) {
        case EditorMode::New:
            return "Add Invoice - Company: " + companyName_ + " - #" + companyNo_;
        case EditorMode::Edit:
            return "Edit Invoice";
        case EditorMode::EditQuote:
            return "Edit Quote";
        case EditorMode::EditMaster:
            return "Edit Repeat Billing Master Setup";
    }
    return {};
}

std::string InvoiceEditor::modeLabel() const {
    return isNew() ? "Add Mode" : "Edit Mode";
}

bool InvoiceEditor::numberEditable() const {
    return isNew() || Upper(startingNumber_).find('G') == std::string::npos;
}

void InvoiceEditor::applyTaxRule() {
    if (!calcTaxes_) {
        taxSwitch_ = TaxSwitch::Off;
        taxOn_ = false;
    } else if (entry.hasCustomer && entry.customer.yes(Customer::TaxExempt)) {
        taxSwitch_ = TaxSwitch::Exempt;
        taxOn_ = false;
    } else {
        taxSwitch_ = TaxSwitch::On;
        taxOn_ = true;
    }
}

void InvoiceEditor::setTaxOn(bool on) {
    if (taxSwitch_ != TaxSwitch::On) return;
    taxOn_ = on;
    recalc();
}

TotalsOptions InvoiceEditor::totalsOptions() const {
    return TotalsOptions{taxOn_, currency_, shareDiscounts_, defaultQuantity_};
}

void InvoiceEditor::lineEdited() {
    shareDiscounts_ = true;
    recalc();
}

void InvoiceEditor::linesChanged() {
    lineEdited();
}

const Totals& InvoiceEditor::recalc() {
    if (entry.memo) {
        totals_ = RecalcMemoTotals(entry.net, entry.tax, entry.paid);
    } else {
        totals_ = RecalcLineTotals(entry.grid, entry.taxRate, entry.paid, totalsOptions());
        entry.net = totals_.net.shownText();
        entry.tax = totals_.tax.shownText();
    }
    return totals_;
}

std::string InvoiceEditor::memoTaxLabel() const {
    if (!calcTaxes_) return {};
    return MemoTaxLabel(totals_.net, entry.taxRate);
}

void InvoiceEditor::cellEdited(int r) {
    if (r < 1 || r > kLineRows) return;
    ExtendRow(entry.grid[r]);
    lineEdited();
}

void InvoiceEditor::applyProduct(int r, const ProductChoice& product, bool withDefaultQuantity) {
    if (r < 1 || r > kLineRows) return;
    LineRow& row = entry.grid[r];
    row.code = product.code;
    if (withDefaultQuantity) row.quantity = defaultQuantity_;
    row.description = product.description;
    row.price = product.price;
    row.taxable = product.taxable ? "Y" : "N";
    cellEdited(r);
}

void InvoiceEditor::eraseLine(int r) {
    if (r < 1 || r > kLineRows) return;
    entry.grid[r] = NewLineRow(defaultQuantity_);
    lineEdited();
}

void InvoiceEditor::insertLine(int r) {
    if (r < 1 || r > kLineRows) return;
    for (int i = kLineRows; i > r; --i)
        entry.grid[i] = entry.grid[i - 1];
    entry.grid[r] = NewLineRow(defaultQuantity_);
    lineEdited();
}

void InvoiceEditor::makeComment(int r) {
    if (r < 1 || r > kLineRows) return;
    entry.grid[r] = CommentRow(entry.grid[r].description);
    lineEdited();
}

void InvoiceEditor::eraseAll() {
    if (entry.memo) {
        entry.memoLines.clear();
        entry.net = entry.tax = entry.paid = "0.00";
    } else {
        entry.grid.reset(defaultQuantity_);
    }
    lineEdited();
}

void InvoiceEditor::chooseCustomer(const data::CustomerRecord& customer,
                                   platform::Prompter& prompter) {
    entry.customer = customer;
    entry.hasCustomer = true;
    if (!Blank(customer.text(Customer::Terms))) entry.terms = customer.text(Customer::Terms);
    applyTaxRule();
    recalc();
    const Money limit = customer.money(Customer::CreditLimit);
    if (limit > Money() && customer.money(Customer::Balance) > limit)
        prompter.ask(Warn("Warning", "This customer is over their credit limit."));
    if (customer.yes(Customer::CreditHold))
        prompter.ask(Warn("Warning", "This customer is placed on inactive/credit hold status."));
}

// ------------------------------------------------------------------ numbers and dates

std::string ProposedInvoiceNumber(const data::CompanyRecord& company, const data::Date& date) {
    std::string next = data::TrimmedText(company.text(Company::NextInvNo));
    if (!company.yes(Company::InvNoPrefix)) return next;
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%02d%02d", date.year % 100, date.month);
    return prefix + next;
}

bool InvoiceEditor::numberIsProposed() const {
    return isNew() && !proposedNumber_.empty() &&
           NumberForCompare(entry.number) == NumberForCompare(proposedNumber_);
}

std::string DefaultInvoiceDate(data::DateOrder order, const data::Date& today) {
    if (!LastDate().empty()) {
        if (auto d = data::ParseUserDate(LastDate(), order)) return data::FormatUserDate(*d, order);
    }
    return data::FormatUserDate(today, order);
}

void RememberInvoiceDate(const std::string& date) {
    LastDate() = data::TrimmedText(date);
}

void ForgetInvoiceDate() {
    LastDate().clear();
}

std::optional<std::string> NextInvoiceNumber(std::string_view current, std::string_view saved,
                                             bool datePrefixed) {
    std::string part = data::TrimmedText(saved);
    if (datePrefixed) part = part.size() > 4 ? part.substr(4, 5) : std::string();
    auto n = data::WholeNumber(part);
    if (!n || *n < 0) return std::nullopt;
    long next = *n + 1;
    if (auto now = data::WholeNumber(current); now && *now > next) next = *now;
    std::string text = std::to_string(next);
    if (text.size() > std::size_t(width::kNumber)) return std::nullopt;
    return text;
}

std::string NumberForCompare(std::string_view number) {
    return data::InvoiceNumberForCompare(number);
}

std::vector<int32_t> RecordsWithNumber(storage::Fileblock* invoices, std::string_view number) {
    std::vector<int32_t> found;
    const std::string core = NumberForCompare(number);
    const std::size_t length = data::CharCount(core);
    // Each zero-padded form is looked up by key 1.
    for (std::size_t zeros = 0; length + zeros <= std::size_t(width::kNumber); ++zeros) {
        const std::string candidate = std::string(zeros, '0') + core;
        if (candidate.empty()) continue;
        data::InvoiceRecord probe;
        probe.setText(Invoice::InvNo, candidate);
        std::string key = data::InvoiceKey(probe, 1);
        const std::string wanted = key;
        int32_t recNo = storage::FindKeyAtOrAfter(invoices, 1, key);
        while (storage::EngineOk && key == wanted) {
            if (data::ReadBusinessRecord<Invoice>(invoices, recNo)) found.push_back(recNo);
            storage::NextKey(invoices, 1, key, recNo);
        }
    }
    return found;
}

// ------------------------------------------------------------------------ the checks

namespace {

// Whether another record than editedRecNo has a number equal to number after leading
// zeros are removed.
bool NumberTaken(storage::Fileblock* invoices, std::string_view number, int32_t editedRecNo) {
    for (int32_t recNo : RecordsWithNumber(invoices, number))
        if (recNo != editedRecNo) return true;
    return false;
}

}  // namespace

std::optional<EditProblem> CheckInvoice(InvoiceEditor& editor, const CheckContext& context,
                                        platform::Prompter& prompter) {
    InvoiceEntry& e = editor.entry;
    if (Blank(e.paid)) e.paid = "0.00";
    const Totals t = editor.recalc();

    if (Blank(e.number))
        return Fail(prompter, "Invoice Number", "You need an invoice number.", Focus::Number);
    if (!e.hasCustomer)
        return Fail(prompter, "Customer Required",
                    "You need to select a customer. Click on the Customer Picture Button in the "
                    "upper left hand corner to select a customer.",
                    Focus::Customer);
    if (!data::ParseUserDate(e.date, editor.dateOrder()))
        return Fail(prompter, "Invoice Date",
                    "You have an invalid invoice date. You can clear the date and then select the "
                    "calendar button.",
                    Focus::Date);
    const std::string number = Upper(e.number);
    const std::string starting = Upper(editor.startingNumber());
    if (number.find('G') != std::string::npos && starting.find('G') == std::string::npos)
        return Fail(prompter, "Invoice Number",
                    "Please do not use the letter \"G\" in your invoice numbers. This is reserved "
                    "for repeat billings. You must change this invoice number.",
                    Focus::Number);
    if (number.find('I') != std::string::npos && starting.find('I') == std::string::npos)
        return Fail(prompter, "Invoice Number",
                    "Please do not use the letter \"I\" in your invoice numbers. This is reserved "
                    "for Interest Wizard. You must change this invoice number.",
                    Focus::Number);
    if (e.memo) {
        if (Blank(e.memoDescription))
            return Fail(prompter, "Product Description",
                        "You do not have a product description entered. This description is used "
                        "on your Sales Report to show the item sold.",
                        Focus::MemoDescription);
        if (Blank(e.memoQuantity) || NotANumber(e.memoQuantity)) e.memoQuantity = "1";
        const bool anyText = std::any_of(e.memoLines.begin(), e.memoLines.end(),
                                         [](const std::string& l) { return !Blank(l); });
        if (!anyText)
            return Fail(prompter, "Memo Invoice Text",
                        "You do not have any text entered in the body of your invoice.",
                        Focus::MemoText);
    } else {
        for (int r = 1; r <= kLineRows; ++r) {
            const LineRow& row = e.grid[r];
            const std::string n = std::to_string(r);
            if (NotANumber(row.quantity))
                return Fail(prompter, "Line Item", "Line " + n + " has an invalid QUANTITY value.",
                            Focus::Grid, r, 2);
            if (!Blank(row.description)) {
                if (Blank(row.quantity) && !Blank(row.price))
                    return Fail(prompter, "Line Item",
                                "Line " + n + " has a unit price but no quantity.", Focus::Grid, r,
                                2);
                if (!Blank(row.quantity) && Blank(row.price))
                    return Fail(prompter, "Line Item",
                                "Line " + n + " has a quantity but no unit price.", Focus::Grid, r,
                                4);
            }
            if (NotANumber(row.price))
                return Fail(prompter, "Line Item",
                            "Line " + n + " has an invalid UNIT PRICE value.", Focus::Grid, r, 4);
        }
        bool anyDescription = false;
        for (int r = 1; r <= kLineRows && !anyDescription; ++r)
            anyDescription = !Blank(e.grid[r].description);
        if (!anyDescription)
            return Fail(prompter, "Description Required",
                        "You do not have a description on any of your line items. At least one "
                        "description field is required or you have nothing to invoice.",
                        Focus::Grid, 1, 3);
        if (const int r = t.crampedDiscount)
            return Fail(prompter, "Discount",
                        "The discount on line " + std::to_string(r) +
                            " is on taxed and untaxed lines and needs the line below it for "
                            "its share of the untaxed lines, but every line is in use. Erase "
                            "a line to make room.",
                        Focus::Grid, r, 1);
    }
    const bool numberChanged =
        editor.isNew() || NumberForCompare(e.number) != NumberForCompare(editor.startingNumber());
    // A proposed number someone took meanwhile is no mistake of the user's: the save takes
    // the next free one and says so.
    if (context.invoices && numberChanged && !editor.numberIsProposed() &&
        NumberTaken(context.invoices, e.number, context.editedRecNo))
        return Fail(prompter, "Duplicate Invoice: " + data::TrimmedText(e.number),
                    "This invoice number currently exists. Please enter another one.",
                    Focus::Number);
    if (NotANumber(e.taxRate))
        return Fail(prompter, "Invalid Value", "The TAX RATE has an invalid value.",
                    Focus::TaxRate);
    if (NotANumber(e.net))
        return Fail(prompter, "Invalid Value", "The NET amount has an invalid value.", Focus::Net);
    if (NotANumber(e.tax))
        return Fail(prompter, "Invalid Value", "The TAX amount has an invalid value.", Focus::Tax);
    if (NotANumber(e.paid))
        return Fail(prompter, "Invalid Value", "The PAID amount has an invalid value.",
                    Focus::Paid);

    // Every amount is stored as text of at most 10 characters; a longer one would be cut.
    const std::string tooLarge =
        " is too large to be stored. Amounts can have at most 10 "
        "characters without separators (9999999.99).";
    if (!e.memo) {
        for (int r = 1; r <= kLineRows; ++r) {
            const LineRow& row = e.grid[r];
            if (!IsFilledRow(row)) continue;
            const std::string n = std::to_string(r);
            if (!AmountFits(row.quantity))
                return Fail(prompter, "Amount Too Large", "The QUANTITY of line " + n + tooLarge,
                            Focus::Grid, r, 2);
            if (!AmountFits(row.price))
                return Fail(prompter, "Amount Too Large", "The UNIT PRICE of line " + n + tooLarge,
                            Focus::Grid, r, 4);
            if (StoredExtension(row.extension).size() > std::size_t(width::kAmount))
                return Fail(prompter, "Amount Too Large", "The EXTENSION of line " + n + tooLarge,
                            Focus::Grid, r, 4);
        }
    }
    const struct {
        Money amount;
        const char* name;
        Focus focus;
    } header[] = {{t.net, "NET", Focus::Net},
                  {t.tax, "TAX", Focus::Tax},
                  {t.total, "TOTAL", Focus::Net},
                  {t.paid, "PAID", Focus::Paid},
                  {t.balance, "BALANCE DUE", Focus::Paid}};
    for (const auto& h : header)
        if (!h.amount.fits())
            return Fail(
                prompter, "Amount Too Large",
                std::string("The ") + h.name + " amount (" + h.amount.shownText() + ")" + tooLarge,
                h.focus);

    if (t.total.isZero() &&
        !prompter.yesNo("Please Confirm", "Is this a no-charge invoice?", Answer::No))
        return EditProblem{Focus::None};
    if (!t.paid.isZero() && t.paid > t.total)
        return Fail(prompter, "Payment Amount",
                    "The paid amount cannot exceed the invoice total amount.", Focus::Paid);
    if (!editor.isNew() && !e.memo && editor.sharesDiscounts() && editor.sharingChangesTax() &&
        !editor.alreadySent().empty() && t.tax != editor.startingTax() &&
        !prompter.yesNo("Tax Changes",
                        "Invoice " + data::TrimmedText(e.number) + " was already " +
                            editor.alreadySent() + " with tax " + editor.startingTax().shownText() +
                            ". With its lines changed, each discount lowers the tax only by "
                            "its share on the taxed lines, and the tax becomes " +
                            t.tax.shownText() + ". Save the invoice with the new tax?",
                        Answer::No))
        return EditProblem{Focus::None};
    if (!e.quote && !editor.isMaster()) {
        const Money limit = e.customer.money(Customer::CreditLimit);
        if (limit > Money()) {
            const Money after =
                e.customer.money(Customer::Balance) + t.balance - editor.startingTotal();
            if (after > limit &&
                !prompter.yesNo("Please Confirm",
                                "This invoice will cause this customer to be over their credit "
                                "limit.  Do you want to proceed anyway?",
                                Answer::No))
                return EditProblem{Focus::None};
        }
    }
    if (context.terms && !Blank(e.terms)) {
        const std::string wanted = Upper(e.terms);
        const bool known = std::any_of(context.terms->begin(), context.terms->end(),
                                       [&](const std::string& s) { return Upper(s) == wanted; });
        if (!known) {
            const Answer a = prompter.ask(Message{
                "Terms: " + data::TrimmedText(e.terms),
                "This is a new payment term. Would you like to add terms to the terms file?",
                Icon::Question, Buttons::YesNoCancel, Answer::Yes});
            if (a == Answer::Cancel) return EditProblem{Focus::Terms};
            if (a == Answer::Yes) {
                std::string error;
                if (!AddTermAndSave(context.folder, *context.terms,
                                    data::FirstChars(data::TrimText(e.terms), width::kTerms),
                                    &error))
                    prompter.ask(
                        Warn("Payment Terms", "The terms file could not be written: " + error));
            }
        }
    }
    return std::nullopt;
}

// ------------------------------------------------------------------------- records

std::string SaveFiles::prefix() const {
    return data::CompanyPrefix(company.text(Company::CompanyNo));
}

data::InvoiceRecord HeaderFromEditor(const InvoiceEditor& editor, data::InvoiceRecord base) {
    const InvoiceEntry& e = editor.entry;
    const Totals& t = editor.totals();
    base.setText(Invoice::InvNo, Upper(e.number));
    base.setText(Invoice::TransType, e.quote ? "Q" : "I");
    if (auto d = data::ParseUserDate(e.date, editor.dateOrder()))
        data::SetInvoiceDate(base, *d, editor.dateOrder());
    base.setText(Invoice::InvNotes, e.notes);
    base.setText(Invoice::Terms, e.terms);
    base.setText(Invoice::StmntNote, e.stmntNote);
    base.setText(Invoice::CustNo, e.customer.text(Customer::CustNo));
    base.setText(Invoice::ShortName, e.customer.text(Customer::ShortName));
    base.setText(Invoice::KeyCode, e.keyCode);
    (void)base.setMoney(Invoice::Net, t.net);
    (void)base.setMoney(Invoice::Tax, t.tax);
    (void)base.setMoney(Invoice::Total, t.total);
    (void)base.setMoney(Invoice::Paid, t.paid);
    (void)base.setMoney(Invoice::BalanceDue, t.total - t.paid);
    base.setText(Invoice::TaxRate, data::TrimmedText(e.taxRate));
    return base;
}

std::string LineTextOf(const LineRow& row) {
    return Column(StoredNumberText(row.quantity), cell::kQuantity) +
           Column(row.description, cell::kDescription) +
           Column(StoredNumberText(row.price), cell::kPrice) + Column(row.taxable, cell::kTaxable) +
           Column(StoredExtension(row.extension), 10);
}

LineRow RowFromLineRecord(const data::InvoiceLineRecord& line) {
    LineRow row;
    FillRowFromLineRecord(line, row);
    return row;
}

void FillRowFromLineRecord(const data::InvoiceLineRecord& line, LineRow& row) {
    // Every stored character is one character of the text, so the columns are cut from the
    // stored characters and only what they hold is converted. Trimming the stored
    // characters trims the same blanks as trimming their UTF-8.
    const std::string_view text = line.ansiView(InvoiceLine::LineText);
    auto column = [text](size_t from, size_t n, std::string& out) {
        data::AssignUtf8FromAnsi(
            out, data::TrimText(from < text.size() ? text.substr(from, n) : std::string_view()));
    };
    data::AssignUtf8FromAnsi(row.code, data::TrimText(line.ansiView(InvoiceLine::ProdCode)));
    column(0, 10, row.quantity);
    column(10, 32, row.description);
    column(42, 10, row.price);
    column(52, 1, row.taxable);
    column(53, 10, row.extension);
    if (row.extension.empty()) return;
    if (auto m = CellAmount(row.extension)) row.extension = m->shownText();
}

data::InvoiceLineRecord LineRecordFor(const data::InvoiceRecord& header, int r, const LineRow& row,
                                      std::string_view lineStyle) {
    data::InvoiceLineRecord line;
    const std::string lineNo = data::LineNoText(r);
    const std::string invNo = header.text(Invoice::InvNo);
    line.setText(InvoiceLine::LineText, LineTextOf(row));
    line.setText(InvoiceLine::LineStyle, lineStyle);
    line.setText(InvoiceLine::LineNo, lineNo);
    line.setText(InvoiceLine::InvNo, invNo);
    line.setText(InvoiceLine::LineDate, header.text(Invoice::SortDate));
    line.setText(InvoiceLine::ProdCode, data::FirstChars(data::TrimText(row.code), cell::kCode));
    line.setText(InvoiceLine::CustNo, header.text(Invoice::CustNo));
    line.setText(InvoiceLine::ShortName, header.text(Invoice::ShortName));
    line.setText(InvoiceLine::LineKey, data::LineKeyText(invNo, lineNo));
    return line;
}

std::vector<std::pair<int32_t, data::InvoiceLineRecord>> StoredLines(storage::Fileblock* lines,
                                                                     std::string_view number) {
    std::vector<std::pair<int32_t, data::InvoiceLineRecord>> out;
    if (!lines) return out;
    const std::string wanted = Upper(number);
    data::InvoiceLineRecord probe;
    probe.setText(InvoiceLine::InvNo, number);
    std::string key = data::InvoiceLineKey(probe, 2);
    const std::string start = key;
    int32_t recNo = storage::FindKeyAtOrAfter(lines, 2, key);
    while (storage::EngineOk && key == start) {
        auto r = data::ReadBusinessRecord<InvoiceLine>(lines, recNo);
        // Lines belong to the invoice whose number equals theirs exactly.
        if (r && Upper(r->text(InvoiceLine::InvNo)) == wanted) out.emplace_back(recNo, *r);
        storage::NextKey(lines, 2, key, recNo);
    }
    return out;
}

std::optional<std::pair<int32_t, data::MemoRecord>> StoredMemo(storage::Fileblock* memos,
                                                               std::string_view number) {
    if (!memos) return std::nullopt;
    data::MemoRecord probe;
    probe.setText(data::Memo::InvNo, number);
    std::string key = data::MemoKey(probe, 1);
    const std::string wanted = key;
    int32_t recNo = storage::FindKeyAtOrAfter(memos, 1, key);
    while (storage::EngineOk && key == wanted) {
        auto r = data::ReadBusinessRecord<data::Memo>(memos, recNo);
        if (r && Upper(r->text(data::Memo::InvNo)) == Upper(number))
            return std::make_pair(recNo, *r);
        storage::NextKey(memos, 1, key, recNo);
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------- saving

namespace {

// The first number from the stored counter on that no invoice has: the counter's own
// number unless someone typed it by hand for an invoice of theirs.
std::string FreeNumberFromCounter(const data::CompanyRecord& stored, storage::Fileblock* invoices,
                                  const data::Date& date) {
    const bool prefixed = stored.yes(Company::InvNoPrefix);
    data::CompanyRecord counter = stored;
    std::string number = ProposedInvoiceNumber(counter, date);
    for (int tries = 0; tries < 1000 && !RecordsWithNumber(invoices, number).empty(); ++tries) {
        auto next = NextInvoiceNumber(counter.text(Company::NextInvNo), number, prefixed);
        if (!next || *next == data::TrimmedText(counter.text(Company::NextInvNo))) break;
        counter.setText(Company::NextInvNo, *next);
        number = ProposedInvoiceNumber(counter, date);
    }
    return number;
}

SaveResult NewInvoiceBody(data::Posting& posting, SaveFiles& files, InvoiceEditor& editor,
                          platform::Prompter& prompter) {
    InvoiceEntry& e = editor.entry;
    // The invoice, its lines or memo, the customer's balance and aging and the company's
    // counters and receivables are written together or not at all.
    posting.keep(files.company);
    posting.keep(e.customer);
    posting.keep(e.grid[1]);
    posting.keep(e.number);
    const data::DateOrder order = editor.dateOrder();
    SaveResult result;
    // The company's counter first: it is held from here to the end of the posting, so that
    // the number taken is the counter's own.
    const data::CompanyRecord stored = StoredCompanyRow(files, prompter, kAddFailed).found->record;
    if (editor.numberIsProposed()) {
        const data::Date date = data::ParseUserDate(e.date, order).value_or(files.today);
        const std::string free = FreeNumberFromCounter(stored, files.invoices, date);
        if (NumberForCompare(free) != NumberForCompare(e.number)) {
            e.number = free;
            result.renumbered = true;
        }
    }
    const Totals t = editor.recalc();
    data::InvoiceRecord header = HeaderFromEditor(editor, data::NewRecord<Invoice>());
    header.setText(Invoice::CompanyNo, files.company.text(Company::CompanyNo));
    header.setText(Invoice::InvoiceStyle, e.memo ? "M" : "P");
    header.setText(Invoice::PrintedFlag, "N");
    header.setText(Invoice::RepeatEvery, "0");
    header.setText(Invoice::RepeatCreated, "0");
    const Money balance = t.total - t.paid;
    if (balance.isZero()) {
        header.setText(Invoice::PaidFlag, "P");
        header.setText(Invoice::PaidDate, header.text(Invoice::SortDate));
    }
    data::UpdateResult added = data::AddBusinessRecord(files.invoices, header, prompter);
    if (!added.ok()) throw InvoiceError(std::string(kAddFailed));

    result.recNo = added.recNo;
    if (e.memo) e.grid[1] = MemoRow(e, t.net);
    const std::string style = e.quote ? "Q" : e.memo ? "M" : "P";
    for (int r = 1; r <= kLineRows; ++r) {
        if (!IsFilledRow(e.grid[r])) continue;
        const data::InvoiceLineRecord line = LineRecordFor(header, r, e.grid[r], style);
        // An invoice is never saved without one of its lines: the failure stops the save.
        if (!data::AddBusinessRecord(files.lines, line, prompter).ok())
            throw InvoiceError(std::string(kDetailAdd2Failed));
        ++result.lines;
    }
    const std::string number = header.text(Invoice::InvNo);
    if (!e.quote) {
        CustomerPosting p;
        p.entering = balance;
        p.newDate = e.date;
        p.lastInvNo = number;
        if (t.paid > Money()) p.lastPayDate = header.text(Invoice::InvDate);
        const data::CustomerRecord c =
            PostToCustomer(files, e.customer.text(Customer::CustNo), p, order, prompter);
        e.customer = c;
        if (files.company.yes(Company::LabelQueueOnInvoice) && files.labelQueue) {
            posting.afterCommit([&files, c] {
                files.labelQueue->add(
                    output::LabelEntry{data::TrimmedText(c.text(Customer::CustNo)),
                                       data::TrimmedText(c.text(Customer::Name)),
                                       data::TrimmedText(c.text(Customer::MailSortCode)),
                                       data::TrimmedText(c.text(Customer::CustType))});
                if (files.labelsWaiting) *files.labelsWaiting = true;
            });
        }
    }
    PostToCompany(files, e.quote ? Money() : balance, number, true, prompter);
    if (e.memo) {
        const data::MemoRecord memo = MemoRecordFor(number, e.memoLines, data::MemoRecord());
        if (!data::AddBusinessRecord(files.memos, memo, prompter).ok())
            throw InvoiceError(std::string(kMemoAddFailed));
    }
    result.number = data::TrimmedText(number);
    result.status = "Added invoice " + number + " containing " + std::to_string(result.lines) +
                    " line item(s).";
    result.printWhenDone = e.printWhenDone;
    return result;
}

}  // namespace

SaveResult SaveNewInvoice(SaveFiles& files, InvoiceEditor& editor, platform::Prompter& prompter) {
    const SaveResult result = data::RunPostingOrThrow<InvoiceError>(
        prompter, kAddFailed, [&](data::Posting& posting, platform::Prompter& held) {
            return NewInvoiceBody(posting, files, editor, held);
        });
    RememberInvoiceDate(editor.entry.date);
    if (result.renumbered)
        prompter.inform(std::string(data::kAppTitle), std::string(kSavedAs) + result.number);
    return result;
}

namespace {

// The edit's invoice is compared with the copy the editor began with (asRead) while it is
// locked for the posting: an invoice that a payment or another person changed meanwhile
// stops the save with "The record has changed in the meantime.", and nothing is written.
SaveResult InvoiceEditBody(data::Posting& posting, SaveFiles& files, InvoiceEditor& editor,
                           int32_t recNo, const data::InvoiceRecord& asRead,
                           platform::Prompter& prompter) {
    InvoiceEntry& e = editor.entry;
    posting.keep(files.company);
    posting.keep(e.customer);
    posting.keep(e.grid[1]);
    const Totals t = editor.recalc();
    const data::DateOrder order = editor.dateOrder();
    const bool master = editor.isMaster();
    const std::string oldType = Upper(asRead.text(Invoice::TransType));
    const std::string oldNumber = data::TrimmedText(asRead.text(Invoice::InvNo));

    data::InvoiceRecord header = HeaderFromEditor(editor, asRead);
    header.setText(Invoice::CompanyNo, files.company.text(Company::CompanyNo));
    if (master) header.setText(Invoice::TransType, "R");
    const Money balance = t.total - t.paid;
    if (!balance.isZero()) {
        header.setText(Invoice::PaidFlag, " ");
        header.setText(Invoice::PaidDate, " ");
    } else {
        header.setText(Invoice::PaidFlag, "P");
        if (data::CharCount(header.text(Invoice::PaidDate)) < 9)
            header.setText(Invoice::PaidDate, header.text(Invoice::SortDate));
    }
    if (master || e.quote) {
        (void)header.setMoney(Invoice::BalanceDue, Money());
        (void)header.setMoney(Invoice::Paid, Money());
        header.setText(Invoice::PaidFlag, " ");
        header.setText(Invoice::PaidDate, " ");
    }
    data::UpdateResult changed =
        data::ChangeBusinessRecord(files.invoices, recNo, asRead, header, prompter);
    if (!changed.ok()) throw InvoiceError(std::string(kModifyFailed));

    const std::string number = header.text(Invoice::InvNo);
    SaveResult result;
    result.recNo = recNo;
    if (e.memo) e.grid[1] = MemoRow(e, t.net);
    const std::string style = master ? "R" : e.quote ? "Q" : e.memo ? "M" : "P";
    // The stored lines are rewritten in row order; a changed number moves them with it.
    auto stored = StoredLines(files.lines, oldNumber);
    std::size_t next = 0;
    for (int r = 1; r <= kLineRows; ++r) {
        const bool filled = IsFilledRow(e.grid[r]);
        if (next < stored.size()) {
            auto& [lineRecNo, old] = stored[next++];
            if (filled) {
                const data::InvoiceLineRecord line = LineRecordFor(header, r, e.grid[r], style);
                if (!data::ChangeBusinessRecord(files.lines, lineRecNo, old, line, prompter).ok())
                    throw InvoiceError(std::string(kModifyFailed));
                ++result.lines;
            } else if (!data::DeleteBusinessRecord(files.lines, lineRecNo, old, prompter).ok()) {
                throw InvoiceError(std::string(kDetailDeleteFailed));
            }
        } else if (filled) {
            const data::InvoiceLineRecord line = LineRecordFor(header, r, e.grid[r], style);
            if (!data::AddBusinessRecord(files.lines, line, prompter).ok())
                throw InvoiceError(std::string(kDetailAdd1Failed));
            ++result.lines;
        }
    }
    // More stored lines than rows (a file written elsewhere): they would be orphans.
    for (; next < stored.size(); ++next)
        if (!data::DeleteBusinessRecord(files.lines, stored[next].first, stored[next].second,
                                        prompter)
                 .ok())
            throw InvoiceError(std::string(kDetailDeleteFailed));

    if (!master) {
        const bool oldReceivable = oldType != "Q" && oldType != "R";
        const Money oldOpen =
            oldReceivable ? asRead.money(Invoice::Total) - asRead.money(Invoice::Paid) : Money();
        const Money newOpen = e.quote ? Money() : balance;
        CustomerPosting p;
        p.leaving = oldOpen;
        p.oldDate = data::ParseUserDate(asRead.text(Invoice::InvDate), order)
                        ? asRead.text(Invoice::InvDate)
                        : asRead.text(Invoice::SortDate);
        p.entering = newOpen;
        p.newDate = e.date;
        if (t.paid > Money() && !e.quote) {
            p.lastPayDate = header.text(Invoice::InvDate);
            p.payDateIfLater = true;
        }
        if (!(oldOpen.isZero() && newOpen.isZero() && p.lastPayDate.empty()))
            e.customer =
                PostToCustomer(files, e.customer.text(Customer::CustNo), p, order, prompter);
        if (oldOpen != newOpen) PostToCompany(files, newOpen - oldOpen, number, false, prompter);
    }
    if (e.memo) {
        auto memo = StoredMemo(files.memos, oldNumber);
        if (memo) {
            const data::MemoRecord updated = MemoRecordFor(number, e.memoLines, memo->second);
            if (!data::ChangeBusinessRecord(files.memos, memo->first, memo->second, updated,
                                            prompter)
                     .ok())
                throw InvoiceError(std::string(kMemoReplaceFailed));
        } else {
            const data::MemoRecord added = MemoRecordFor(number, e.memoLines, data::MemoRecord());
            if (!data::AddBusinessRecord(files.memos, added, prompter).ok())
                throw InvoiceError(std::string(kMemoReplaceFailed));
        }
    }
    result.status = "Editing of " + number + " completed.";
    return result;
}

}  // namespace

SaveResult SaveInvoiceEdit(SaveFiles& files, InvoiceEditor& editor, int32_t recNo,
                           const data::InvoiceRecord& asRead, platform::Prompter& prompter) {
    return data::RunPostingOrThrow<InvoiceError>(
        prompter, kModifyFailed, [&](data::Posting& posting, platform::Prompter& held) {
            return InvoiceEditBody(posting, files, editor, recNo, asRead, held);
        });
}

std::optional<data::CustomerRecord> InvoiceCustomer(const std::string& folder,
                                                    std::string_view prefix,
                                                    std::string_view custNo,
                                                    platform::Prompter& prompter) {
    // Asked of the engine, not of the disk: with the books on a server there is no file.
    if (!storage::FileblockExists(data::FileblockName(folder, data::FileKind::Customer, prefix)))
        return std::nullopt;
    ShortOpen customers(folder, data::FileKind::Customer, prefix, prompter);
    if (!customers.fb) return std::nullopt;
    auto found = FindCustomer(customers.fb, custNo);
    if (!found) return std::nullopt;
    return found->record;
}

// ------------------------------------------------------------------ saved-lines files

std::string SavedRowText(int r, const LineRow& row) {
    std::string s = PadNumber(r) + " " + Column(row.code, 10) + " " + Column(row.quantity, 10) +
                    " " + Column(row.description, 32) + " " + Column(row.price, 10) + " " +
                    Column(row.taxable, 1) + " " + Column(row.extension, 12);
    return data::FirstChars(s, 85);
}

LineRow RowFromSavedText(std::string_view text) {
    LineRow row;
    row.code = data::TrimmedText(Chars(text, 3, 10));
    row.quantity = data::TrimmedText(Chars(text, 14, 10));
    row.description = data::TrimmedText(Chars(text, 25, 32));
    row.price = data::TrimmedText(Chars(text, 58, 10));
    row.taxable = data::TrimmedText(Chars(text, 69, 1));
    row.extension = data::TrimmedText(Chars(text, 71, 12));
    return row;
}

namespace {

std::string NotesLine(const InvoiceEntry& e) {
    return Column(e.notes, 80) + Column(e.stmntNote, 35) + data::TrimmedText(e.keyCode);
}

void NotesFromLine(InvoiceEntry& e, std::string_view text) {
    e.notes = data::TrimmedText(Chars(text, 0, 80));
    e.stmntNote = data::TrimmedText(Chars(text, 80, 35));
    e.keyCode = data::TrimmedText(Chars(text, 115, width::kKeyCode));
}

std::string LineAt(const std::vector<std::string>& lines, std::size_t oneBased) {
    return oneBased >= 1 && oneBased <= lines.size() ? lines[oneBased - 1] : std::string();
}

}  // namespace

std::vector<std::string> SavedLinesText(const InvoiceEditor& editor) {
    const InvoiceEntry& e = editor.entry;
    std::vector<std::string> out;
    if (e.memo) {
        for (std::size_t k = 0; k < 26; ++k)
            out.push_back(k < e.memoLines.size() ? e.memoLines[k] : std::string());
        out.push_back(NotesLine(e));
        LineRow row = MemoRow(e, editor.totals().net);
        row.description = e.memoDescription;
        out.push_back(SavedRowText(1, row));
        return out;
    }
    for (int r = 1; r <= kLineRows; ++r)
        out.push_back(SavedRowText(r, e.grid[r]));
    // The file keeps 100 row lines; the grid has 99, so the 100th is empty.
    out.emplace_back();
    out.push_back(NotesLine(e));
    return out;
}

bool WriteSavedLines(const std::string& folder, const InvoiceEditor& editor, std::string* error) {
    const char* name = editor.entry.memo ? kSavedMemoFile : kSavedLinesFile;
    return data::ReplaceFile(data::JoinPath(folder, name),
                             data::TextFileBytes(SavedLinesText(editor)), error);
}

LoadSaved LoadSavedLines(const std::string& folder, InvoiceEditor& editor) {
    InvoiceEntry& e = editor.entry;
    const std::string path = data::JoinPath(folder, e.memo ? kSavedMemoFile : kSavedLinesFile);
    if (!data::FileExists(path)) return LoadSaved::Missing;
    auto bytes = data::ReadSideFile(path);
    if (!bytes) return LoadSaved::Unreadable;
    const std::vector<std::string> lines = data::TextLines(*bytes);
    if (e.memo) {
        e.grid.reset(editor.defaultQuantity());
        e.memoLines.clear();
        for (std::size_t k = 1; k <= 25; ++k)
            e.memoLines.push_back(data::FirstChars(LineAt(lines, k), 85));
        while (!e.memoLines.empty() && Blank(e.memoLines.back()))
            e.memoLines.pop_back();
        NotesFromLine(e, LineAt(lines, 27));
        e.grid[1] = RowFromSavedText(LineAt(lines, 28));
        e.memoDescription = e.grid[1].description;
        e.memoQuantity = e.grid[1].quantity;
    } else {
        for (int r = 1; r <= kLineRows; ++r)
            e.grid[r] = RowFromSavedText(LineAt(lines, std::size_t(r)));
        NotesFromLine(e, LineAt(lines, 101));
    }
    editor.linesChanged();
    return LoadSaved::Loaded;
}

// ------------------------------------------------------------------------ work timer

namespace {

int64_t SecondsOf(const platform::LocalDateTime& t) {
    const data::Date d{t.year, t.month, t.day};
    return int64_t(data::DayNumber(d)) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

std::string TwoDigits(int64_t v) {
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

}  // namespace

void WorkTimer::start(const platform::LocalDateTime& now) {
    started_ = now;
    running_ = true;
}

int64_t WorkTimer::elapsedSeconds(const platform::LocalDateTime& now) const {
    return std::max<int64_t>(0, SecondsOf(now) - SecondsOf(started_));
}

std::string WorkTimer::startText() const {
    return TwoDigits(started_.hour) + ":" + TwoDigits(started_.minute) + ":" +
           TwoDigits(started_.second);
}

std::string WorkTimer::ClockText(int64_t seconds) {
    return TwoDigits(seconds / 3600) + ":" + TwoDigits(seconds / 60 % 60) + ":" +
           TwoDigits(seconds % 60);
}

std::string WorkTimer::HoursText(int64_t seconds) {
    // Thousandths of an hour, rounded half up: seconds × 1000 / 3600.
    const int64_t thousandths = (seconds * 1000 * 2 + 3600) / (2 * 3600);
    std::string frac = std::to_string(thousandths % 1000);
    frac.insert(0, 3 - frac.size(), '0');
    return TwoDigits(thousandths / 1000) + "." + frac;
}

WorkTimer& EditorWorkTimer() {
    static WorkTimer timer;
    return timer;
}

}  // namespace invarro::invoicing
