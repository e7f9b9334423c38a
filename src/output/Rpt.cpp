#include "output/Rpt.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "app/Aging.h"
#include "data/Ansi.h"
#include "data/DataFolder.h"
#include "data/Files.h"
#include "data/Keys.h"
#include "output/FileNames.h"
#include "output/InvPrint.h"
#include "output/TextFile.h"
#include "storage/BTree.h"

namespace invarro::output {

using data::Company;
using data::Decimal;
using data::Invoice;
using data::InvoiceLine;
using data::Money;

namespace {

// clang-format off
constexpr ReportInfo kReports[] = {
    {ReportId::InvoiceRegister, "Invoice Register", "Invoice Register", "invoice-register",
     "Lists all invoices created in the selected period. Shows Net,Tax and Total. Use this "
     "report to see what customers you have billed.", true},
    {ReportId::PaymentRegister, "Payment Register", "Payment Register", "payment-register",
     "Lists all payments received in the selected period. Shows Total, Paid and Balance.  Use "
     "this report to see the payments you have processed.", true},
    {ReportId::AccountsReceivable, "Accounts Receivable", "A/R", "receivables",
     "Shows all open items which make up your Accounts Receivable Balance. This report also "
     "shows how old your unpaid invoices are (Aging Analysis).", false},
    {ReportId::SalesReport, "Sales Report", "Sales Report", "sales",
     "Shows all products you have sold in the selected period.", true},
    {ReportId::KeyCodeInquiry, "Key Code Inquiry", "Key Code Inquiry", "key-code",
     "Lists all invoices created in the selected period. Shows Net,Tax and Total. This report "
     "includes your Key Code for sub-totaling instead of Customer Number.", true},
    {ReportId::TaxReport, "Tax Report", "Tax Report", "tax",
     "Lists all invoices PAID in the selected period.  Unlike the Payment Register, this "
     "report shows the Tax and Key Code columns. Use to view taxes collected or collections "
     "by Key Code.", true},
    {ReportId::RepeatBillingList, "Repeat Billing List", "Repeat Billings", "repeat-billings",
     "Lists all master repeat billings (type R) on file. Use this report to review the "
     "accounts on a repeat billing cycle.", false},
    {ReportId::QuoteReport, "Quote Report", "Quote Report", "quotes",
     "Lists all Quotes created in the selected period. Use this report to manage your "
     "Quotes.", true},
};
// clang-format on

std::string Upper(std::string_view s) {
    std::string u(s);
    for (char& c : u)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

ReportColumn Text(const char* heading, int width) {
    return ReportColumn{heading, width, CellKind::Text};
}
ReportColumn Amount(const char* heading) {
    return ReportColumn{heading, 12, CellKind::Amount};
}

// A text field trimmed, read from the record's bytes in place: only the trimmed
// characters are copied (and converted from Windows-1252 when they are not plain ASCII).
template <class L>
std::string_view RawText(const data::Record<L>& r, data::FieldRef<L, data::FieldKind::Text> f) {
    const data::FieldDef& d = f.def();
    const uint8_t* p = r.data() + d.offset;
    const size_t len = std::min<size_t>(p[0], size_t(d.width));
    return std::string_view(reinterpret_cast<const char*>(p + 1), len);
}
bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}
template <class L>
std::string Trimmed(const data::Record<L>& r, data::FieldRef<L, data::FieldKind::Text> f) {
    return data::Utf8FromAnsi(data::TrimText(RawText(r, f)));
}
std::string Field(const data::InvoiceRecord& r, data::FieldRef<Invoice, data::FieldKind::Text> f) {
    return Trimmed(r, f);
}
Decimal D(Money m) {
    return Decimal::FromMoney(m);
}
// A quantity rounded half away from zero to three decimals, as the report shows it.
Decimal Thousandths(Decimal q) {
    const int64_t u = q.units();
    const int64_t r = (u >= 0 ? u + 5 : u - 5) / 10 * 10;
    return Decimal::FromUnits(r);
}
std::string Shown(Money m) {
    return m.shownText();
}

bool EndOfKey() {
    return storage::EngineError == storage::err::KeyNotFound ||
           storage::EngineError == storage::err::NoNextEntry;
}

// Walks key keyNo of fb from the key `from` while the key stays within `to` (inclusive,
// compared on its first to.size() characters), calling visit(recNo) for each entry.
// False, with the error, when the index or a record cannot be read.
template <class Visit>
bool WalkKey(storage::Fileblock* fb, int keyNo, std::string from, const std::string& to,
             std::string* error, int64_t& visited, Visit visit) {
    if (!fb) return true;  // a file not created yet holds nothing
    std::string key = from;
    int32_t recNo = storage::FindKeyAtOrAfter(fb, keyNo, key);
    while (storage::EngineOk) {
        if (key.compare(0, to.size(), to) > 0) return true;
        ++visited;
        if (!visit(recNo)) {
            *error = "Cannot read record " + std::to_string(recNo) + " (error " +
                     std::to_string(storage::EngineError) + ")";
            return false;
        }
        storage::NextKey(fb, keyNo, key, recNo);
    }
    if (EndOfKey()) return true;
    *error = "Cannot read the index (error " + std::to_string(storage::EngineError) + ")";
    return false;
}

// The fields are looked at through views: a report without a filter copies nothing.
bool Matches(const std::string& filter, std::initializer_list<std::string_view> fields) {
    if (filter.empty()) return true;
    for (std::string_view f : fields)
        if (data::UpperText(f).find(filter) != std::string::npos) return true;
    return false;
}

// A ten-character date key: the sort date padded with blanks as the key builder pads it.
std::string DateKey(const std::string& sortDate) {
    return data::KeyText(sortDate, 10, false, false);
}

// The stored line row's fixed columns: quantity 10, description 32, unit price 10,
// taxable 1, extension 10.
std::string_view LineColumnView(std::string_view row, size_t at, size_t width) {
    if (at >= row.size()) return {};
    return data::TrimText(row.substr(at, width));
}
std::string LineColumn(std::string_view row, size_t at, size_t width) {
    return std::string(LineColumnView(row, at, width));
}
// The number of a stored column; the parser passes over the thousands commas.
Decimal NumberOr0(std::string_view text) {
    return data::ParseDecimal(text).value_or(Decimal());
}
char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 32) : c;
}
// Whether the text holds the (upper-case ASCII) word in any letter case, without
// building an upper-case copy.
bool HoldsNoCase(std::string_view text, std::string_view word) {
    if (word.size() > text.size()) return false;
    for (size_t at = 0; at + word.size() <= text.size(); ++at) {
        size_t i = 0;
        while (i < word.size() && AsciiUpper(text[at + i]) == word[i])
            ++i;
        if (i == word.size()) return true;
    }
    return false;
}

bool FirstCellLess(const ReportLine& a, const ReportLine& b);

struct Builder {
    const ReportSource& src;
    const ReportSelection& sel;
    std::string filter;
    ReportTable& t;
    std::string error;

    bool read(int32_t recNo, data::InvoiceRecord& r) {
        storage::GetRecord(src.invoices, recNo, r.data());
        return storage::EngineOk;
    }
    // One row: the cells are moved in (an initializer list would copy each of them).
    template <class... Cells>
    void add(std::initializer_list<Decimal> amounts, Cells&&... cells) {
        ReportLine& line = t.rows.emplace_back();
        line.cells.reserve(sizeof...(Cells));
        (line.cells.emplace_back(std::forward<Cells>(cells)), ...);
        size_t i = 0;
        for (Decimal d : amounts)
            if (i < line.amounts.size()) line.amounts[i++] = d.units();
    }

    // The registers of invoices or quotes over key 3.
    bool dated(bool quotes, bool keyCode) {
        return WalkKey(src.invoices, 3, DateKey(sel.fromSort), sel.toSort, &error, t.recordsRead,
                       [&](int32_t recNo) {
                           data::InvoiceRecord r;
                           if (!read(recNo, r)) return false;
                           std::string type = data::UpperText(Field(r, Invoice::TransType));
                           std::string no = Field(r, Invoice::InvNo);
                           if (no.empty() || type == "R") return true;
                           const Money total = r.money(Invoice::Total);
                           if (quotes) {
                               // Only quotes: payments and invoices are no quotes.
                               if (type != "Q") return true;
                           } else {
                               if (type == "Q") return true;
                               if (total.isZero() && (keyCode || type != "I")) return true;
                           }
                           std::string shortName = Field(r, Invoice::ShortName);
                           std::string cust = Field(r, Invoice::CustNo);
                           std::string code = Field(r, Invoice::KeyCode);
                           const Money net = r.money(Invoice::Net);
                           const Money tax = r.money(Invoice::Tax);
                           if (keyCode) {
                               if (code.empty()) code = "*none*";
                               if (!Matches(filter, {code, no, shortName})) return true;
                               add({D(net), D(tax), D(total)}, Field(r, Invoice::SortDate),
                                   std::move(code), std::move(no), std::move(shortName), Shown(net),
                                   Shown(tax), Shown(total), std::move(type));
                           } else {
                               if (!Matches(filter, {no, shortName, cust})) return true;
                               add({D(net), D(tax), D(total)}, Field(r, Invoice::SortDate),
                                   std::move(no), std::move(shortName), std::move(cust), Shown(net),
                                   Shown(tax), Shown(total), std::move(type));
                           }
                           return true;
                       });
    }

    // Paid records by paid date, then records with a part paid by invoice date.
    bool payments(bool tax) {
        auto row = [&](const data::InvoiceRecord& r, const std::string& date) {
            const Money paid = r.money(Invoice::Paid);
            const std::string type = data::UpperText(Field(r, Invoice::TransType));
            const std::string no = Field(r, Invoice::InvNo);
            const std::string cust = Field(r, Invoice::CustNo);
            if (tax) {
                const std::string rate = Field(r, Invoice::TaxRate) + " %";
                const std::string code = Field(r, Invoice::KeyCode);
                if (!Matches(filter, {date, no, rate, cust, code})) return;
                const Money taxAmount = r.money(Invoice::Tax);
                add({D(paid), D(taxAmount)}, date, no, rate, cust, code, Shown(paid),
                    Shown(taxAmount), type);
            } else {
                const std::string shortName = Field(r, Invoice::ShortName);
                if (!Matches(filter, {no, shortName, cust})) return;
                const Money total = r.money(Invoice::Total);
                const Money due = r.money(Invoice::BalanceDue);
                add({D(total), D(paid), D(due)}, date, no, shortName, cust, Shown(total),
                    Shown(paid), Shown(due), type);
            }
        };
        const bool first = WalkKey(src.invoices, 6, DateKey(sel.fromSort), sel.toSort, &error,
                                   t.recordsRead, [&](int32_t recNo) {
                                       data::InvoiceRecord r;
                                       if (!read(recNo, r)) return false;
                                       const std::string paid = Field(r, Invoice::PaidDate);
                                       if (paid.size() >= 2) row(r, paid);
                                       return true;
                                   });
        if (!first) return false;
        const size_t paidRows = t.rows.size();
        const bool second = WalkKey(src.invoices, 3, DateKey(sel.fromSort), sel.toSort, &error,
                                    t.recordsRead, [&](int32_t recNo) {
                                        data::InvoiceRecord r;
                                        if (!read(recNo, r)) return false;
                                        const std::string type =
                                            data::UpperText(Field(r, Invoice::TransType));
                                        if (!r.money(Invoice::Paid).isZero() &&
                                            !r.money(Invoice::BalanceDue).isZero() && type != "D")
                                            row(r, Field(r, Invoice::SortDate));
                                        return true;
                                    });
        // Both passes come in date order: one merge puts the report in date order.
        std::inplace_merge(t.rows.begin(), t.rows.begin() + std::ptrdiff_t(paidRows), t.rows.end(),
                           FirstCellLess);
        return second;
    }

    bool receivables() {
        const auto limits = app::AgingLimitsOf(*src.company);
        if (!limits) {
            error = std::string(app::kBadAgingDays);
            return false;
        }
        const std::array<std::string, 4> captions = {
            data::TrimmedText(src.company->text(Company::AgingCaption1)),
            data::TrimmedText(src.company->text(Company::AgingCaption2)),
            data::TrimmedText(src.company->text(Company::AgingCaption3)),
            "Over " + std::to_string(limits->d3)};
        const data::Date today{src.now.year, src.now.month, src.now.day};
        auto row = [&](const data::InvoiceRecord& r) {
            const std::string no = Field(r, Invoice::InvNo);
            const std::string shortName = Field(r, Invoice::ShortName);
            const std::string cust = Field(r, Invoice::CustNo);
            if (!Matches(filter, {no, shortName, cust})) return;
            // The one age rule of the program: whole days from the invoice date to today.
            const auto age = app::InvoiceAgeDays(r, src.order, today);
            const int bucket = age ? app::AgingBucket(*age, *limits) : 0;
            const Money due = r.money(Invoice::BalanceDue);
            add({D(due)}, Field(r, Invoice::SortDate), captions[size_t(bucket)], no, shortName,
                cust, age ? std::to_string(*age) + " Days" : std::string(), Shown(due),
                data::UpperText(Field(r, Invoice::TransType)));
        };
        // Unpaid records: blank paid dates come first in key 6. Deposits come in the
        // second pass, so that none is listed twice.
        const std::string blank(10, ' ');
        const bool first =
            WalkKey(src.invoices, 6, blank, blank, &error, t.recordsRead, [&](int32_t recNo) {
                data::InvoiceRecord r;
                if (!read(recNo, r)) return false;
                const std::string type = data::UpperText(Field(r, Invoice::TransType));
                if (type != "Q" && type != "R" && type != "D" && !Field(r, Invoice::InvNo).empty())
                    row(r);
                return true;
            });
        if (!first) return false;
        return WalkKey(src.invoices, 5, "D", "D", &error, t.recordsRead, [&](int32_t recNo) {
            data::InvoiceRecord r;
            if (!read(recNo, r)) return false;
            if (!Field(r, Invoice::InvNo).empty() &&
                data::UpperText(Field(r, Invoice::PaidFlag)) != "P")
                row(r);
            return true;
        });
    }

    bool repeats() {
        return WalkKey(src.invoices, 5, "R", "R", &error, t.recordsRead, [&](int32_t recNo) {
            data::InvoiceRecord r;
            if (!read(recNo, r)) return false;
            const std::string no = Field(r, Invoice::InvNo);
            const std::string shortName = Field(r, Invoice::ShortName);
            const std::string cust = Field(r, Invoice::CustNo);
            if (!Matches(filter, {no, shortName, cust})) return true;
            // Next due dates are stored month first; shown in the company's order.
            std::string next = Field(r, Invoice::NextDue);
            if (auto d = data::ParseUserDate(next, data::DateOrder::MonthFirst))
                next = data::FormatUserDate(*d, src.order);
            const Money total = r.money(Invoice::Total);
            add({D(total)}, Field(r, Invoice::SortDate), std::move(next), no, shortName, cust,
                Field(r, Invoice::RepeatCreated), Shown(total),
                data::UpperText(Field(r, Invoice::TransType)));
            return true;
        });
    }

    bool sales() {
        return WalkKey(
            src.lines, 1, DateKey(sel.fromSort), sel.toSort, &error, t.recordsRead,
            [&](int32_t recNo) {
                data::InvoiceLineRecord l;
                storage::GetRecord(src.lines, recNo, l.data());
                if (!storage::EngineOk) return false;
                const std::string style = data::UpperText(Trimmed(l, InvoiceLine::LineStyle));
                if (style == "R" || style == "Q") return true;
                // The columns are cut from the stored row in place when it is plain
                // ASCII (its bytes then are its characters), else from its UTF-8 copy.
                const std::string_view stored = RawText(l, InvoiceLine::LineText);
                std::string converted;
                if (!IsAscii(stored)) converted = l.text(InvoiceLine::LineText);
                const std::string_view row = IsAscii(stored) ? stored : converted;
                std::string desc = LineColumn(row, 10, 32);
                if (HoldsNoCase(desc, "SUB-TOTAL")) return true;
                std::string code = Trimmed(l, InvoiceLine::ProdCode);
                if (code.empty()) code = "*None*";
                std::string date = Trimmed(l, InvoiceLine::LineDate);
                std::string no = Trimmed(l, InvoiceLine::InvNo);
                std::string shortName = Trimmed(l, InvoiceLine::ShortName);
                if (!Matches(filter, {date, code, desc, no, shortName})) return true;
                const Decimal qty = NumberOr0(LineColumnView(row, 0, 10));
                const Decimal price = NumberOr0(LineColumnView(row, 42, 10));
                const Decimal amount = NumberOr0(LineColumnView(row, 53, 10));
                // The totals add the values as shown: prices and amounts in cents,
                // quantities to three decimals.
                add({D(data::RoundToCents(price)), Thousandths(qty), D(data::RoundToCents(amount))},
                    std::move(date), std::move(code), std::move(desc), std::move(no),
                    std::move(shortName), Trimmed(l, InvoiceLine::CustNo), price.text(2, true),
                    qty.text(3, true), amount.text(2, true));
                return true;
            });
    }
};

}  // namespace

std::span<const ReportInfo> Reports() {
    return kReports;
}

const ReportInfo& ReportOf(ReportId id) {
    for (const ReportInfo& r : kReports)
        if (r.id == id) return r;
    return kReports[0];
}

const ReportInfo* FindReport(std::string_view name) {
    const std::string wanted = Upper(data::TrimmedText(name));
    for (const ReportInfo& r : kReports)
        if (Upper(r.name) == wanted || Upper(r.title) == wanted || Upper(r.commandName) == wanted)
            return &r;
    return nullptr;
}

std::string ReportFilterText(std::string_view filter) {
    return data::FirstChars(data::UpperText(data::TrimmedText(filter)), 20);
}

BuiltReport BuildReport(ReportId id, const ReportSource& source, const ReportSelection& selection) {
    BuiltReport out;
    ReportTable& t = out.table;
    t.id = id;
    t.head1 = data::TrimmedText(source.company->text(Company::Name));
    t.head2 = "Date: " + data::FormatLongDateTime(source.now);
    const std::string filter = ReportFilterText(selection.filter);
    t.filtered = !filter.empty();
    if (t.filtered)
        t.head3 = "*** Filtered records selected for: " + filter;
    else if (id == ReportId::AccountsReceivable)
        t.head3 = "All unpaid records selected.";
    else if (id == ReportId::RepeatBillingList)
        t.head3 = "Master Repeat Billing List";
    else
        t.head3 = "Selected records from " + selection.fromShown + " to " + selection.toShown;

    const ReportColumn date = Text("Year/Mo/Dy", 10);
    const ReportColumn invNo = Text("Invoice#", 9);
    const ReportColumn shortName = Text("Short Name", 10);
    const ReportColumn custNo = Text("Customer#", 8);
    const ReportColumn type = Text("C", 1);
    Builder b{source, selection, filter, t, {}};
    bool ok = false;
    auto layout = [&t](std::vector<ReportColumn> columns, int lastKey, int lastAmount) {
        t.columns = std::move(columns);
        t.lastKeyColumn = lastKey;
        t.lastAmountColumn = lastAmount;
    };
    switch (id) {
        case ReportId::InvoiceRegister:
            layout({date, invNo, shortName, custNo, Amount("Net Amount"), Amount("Tax Amount"),
                    Amount("Grand Total"), type},
                   3, 6);
            ok = b.dated(false, false);
            break;
        case ReportId::QuoteReport:
            layout({date, Text("Quote#", 9), shortName, custNo, Amount("Net Amount"),
                    Amount("Tax Amount"), Amount("Grand Total"), type},
                   3, 6);
            ok = b.dated(true, false);
            break;
        case ReportId::KeyCodeInquiry:
            layout({date, Text("Key Code", 8), invNo, shortName, Amount("Net Amount"),
                    Amount("Tax Amount"), Amount("Grand Total"), type},
                   3, 6);
            ok = b.dated(false, true);
            break;
        case ReportId::PaymentRegister:
            layout({date, invNo, shortName, custNo, Amount("Grand Total"), Amount("Paid Amount"),
                    Amount("Balance Due"), type},
                   3, 6);
            ok = b.payments(false);
            break;
        case ReportId::TaxReport:
            layout({date, invNo, Text("Tax Rate", 8), custNo, Text("Key Code", 8),
                    Amount("Paid Amount"), Amount("Tax Amount"), type},
                   4, 6);
            ok = b.payments(true);
            break;
        case ReportId::SalesReport:
            layout({date, Text("Product#", 10), Text("Product Description", 32), invNo, shortName,
                    Text("Customer", 8), Amount("Unit Price"),
                    ReportColumn{"Quantity", 12, CellKind::Quantity}, Amount("Line Amount")},
                   5, 8);
            ok = b.sales();
            break;
        case ReportId::AccountsReceivable:
            layout({date, Text("Category", 10), invNo, shortName, custNo, Text("Aging", 10),
                    Amount("Balance Due"), type},
                   5, 6);
            ok = b.receivables();
            break;
        case ReportId::RepeatBillingList:
            layout({date, Text("Next Due", 10), invNo, shortName, custNo, Text("#Created", 8),
                    Amount("Grand Total"), type},
                   5, 6);
            ok = b.repeats();
            break;
    }
    out.ok = ok;
    out.error = b.error;
    return out;
}

// ---------------------------------------------------------------------------------- view

namespace {

// Letters compared without case; the table serves every comparison of a sort.
struct CaseFold {
    std::array<unsigned char, 256> map{};
    CaseFold() {
        for (int c = 0; c < 256; ++c)
            map[size_t(c)] = (c >= 'a' && c <= 'z') ? (unsigned char)(c - 32) : (unsigned char)c;
    }
};
const CaseFold kFold;

int CompareNoCase(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = kFold.map[static_cast<unsigned char>(a[i])];
        const unsigned char y = kFold.map[static_cast<unsigned char>(b[i])];
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

bool FirstCellLess(const ReportLine& a, const ReportLine& b) {
    return CompareNoCase(a.cells[0], b.cells[0]) < 0;
}

std::string SumText(int64_t units, CellKind kind) {
    return Decimal::FromUnits(units).text(kind == CellKind::Quantity ? 3 : 2, true);
}

constexpr const char* kMonths[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

// "(March 2024)" for a sort date in March 2024.
std::string MonthLabel(const std::string& sortDate) {
    if (sortDate.size() >= 7) {
        const int m = std::atoi(sortDate.substr(5, 2).c_str());
        if (m >= 1 && m <= 12)
            return "(" + std::string(kMonths[m - 1]) + " " + sortDate.substr(0, 4) + ")";
    }
    return "(" + sortDate + ")";
}

}  // namespace

ReportView::ReportView(ReportTable table) : table_(std::move(table)) {
    sortOn(0);
}

std::string_view ReportView::name() const {
    return ReportOf(table_.id).name;
}

bool ReportView::sortOn(int column) {
    if (column < 0 || column > table_.lastKeyColumn || column >= int(table_.columns.size()))
        return false;
    if (column != 0) {
        std::swap(table_.columns[0], table_.columns[size_t(column)]);
        for (ReportLine& line : table_.rows)
            if (size_t(column) < line.cells.size())
                std::swap(line.cells[0], line.cells[size_t(column)]);
    }
    // A stable sort on the first column: rows of one value keep the order they had, so
    // the index order of the run stays inside each date or customer. Rows read in that
    // order already need no sorting.
    if (!std::is_sorted(table_.rows.begin(), table_.rows.end(), FirstCellLess))
        std::stable_sort(table_.rows.begin(), table_.rows.end(), FirstCellLess);
    compute();
    return true;
}

void ReportView::setSubTotals(bool on) {
    subTotals_ = on;
    compute();
}

std::string ReportView::caption() const {
    const std::string heading = table_.columns.empty() ? std::string() : table_.columns[0].heading;
    const std::string title(ReportOf(table_.id).title);
    if (heading.find("Year/Mo") != std::string::npos) return title + " by Date";
    return title + " by " + heading;
}

void ReportView::compute() {
    rows_.clear();
    chart_.reset();
    const size_t n = table_.columns.size();
    ReportRow heading{RowKind::Heading, nullptr, {}};
    for (const ReportColumn& c : table_.columns)
        heading.own.push_back(c.heading);
    rows_.push_back(std::move(heading));
    if (!subTotals_) {
        rows_.reserve(table_.rows.size() + 1);
        for (const ReportLine& line : table_.rows)
            rows_.push_back(ReportRow{RowKind::Data, &line, {}});
        return;
    }
    const int firstAmount = table_.lastKeyColumn + 1;
    const int amountCount = std::min(
        {table_.lastAmountColumn - table_.lastKeyColumn, kMaxAmountColumns, int(n) - firstAmount});
    const int labelColumn = firstAmount - 1;
    const std::string& first = table_.columns[0].heading;
    const bool months =
        (first.find("Date") != std::string::npos || first.find("Year/Mo") != std::string::npos) &&
        table_.id != ReportId::AccountsReceivable && table_.id != ReportId::RepeatBillingList;

    using Sums = std::array<int64_t, kMaxAmountColumns>;
    Sums run{}, month{}, grand{};
    auto totalsRow = [&](RowKind kind, const Sums& s, const char* label) {
        ReportRow r{kind, nullptr, std::vector<std::string>(n)};
        r.own[size_t(labelColumn)] = label;
        for (int a = 0; a < amountCount; ++a)
            r.own[size_t(firstAmount + a)] =
                SumText(s[size_t(a)], table_.columns[size_t(firstAmount + a)].kind);
        return r;
    };
    auto blank = [&] {
        rows_.push_back(ReportRow{RowKind::Blank, nullptr, std::vector<std::string>(n)});
    };
    // Each run's total of the last amount column goes to the chart, once per computation.
    auto closeRun = [&](const std::string& key) {
        rows_.push_back(totalsRow(RowKind::Totals, run, "** Totals"));
        blank();
        const int64_t last = amountCount > 0 ? run[size_t(amountCount - 1)] : 0;
        chart_.feed(key, data::RoundToCents(Decimal::FromUnits(last)));
        run = Sums{};
    };
    auto closeMonth = [&](const std::string& date) {
        ReportRow r = totalsRow(RowKind::Month, month, "Month Total");
        if (labelColumn > 1) r.own[1] = MonthLabel(date);
        rows_.push_back(std::move(r));
        blank();
        month = Sums{};
    };

    rows_.reserve(table_.rows.size() * 2 + 8);
    const std::string* prev = nullptr;
    for (const ReportLine& line : table_.rows) {
        const std::string& key = line.cells[0];
        if (prev && CompareNoCase(key, *prev) != 0) {
            closeRun(*prev);
            if (months && prev->compare(0, 7, key, 0, 7) != 0) closeMonth(*prev);
        }
        rows_.push_back(ReportRow{RowKind::Data, &line, {}});
        for (int a = 0; a < amountCount; ++a) {
            run[size_t(a)] += line.amounts[size_t(a)];
            month[size_t(a)] += line.amounts[size_t(a)];
            grand[size_t(a)] += line.amounts[size_t(a)];
        }
        prev = &key;
    }
    if (prev) {
        closeRun(*prev);
        if (months) closeMonth(*prev);
    }
    rows_.push_back(totalsRow(RowKind::GrandTotal, grand, "Grand Total"));
}

int SortColumnFromChoice(std::string_view choice) {
    const auto v = data::WholeNumber(choice);
    if (v && *v >= 1 && *v <= 4) return int(*v) - 1;
    return 3;
}

// ------------------------------------------------------------------------------ output

namespace {

std::string PadRight(const std::string& s, size_t width) {
    // Pad by characters, not bytes, so that accented names line up.
    std::string out = s;
    size_t chars = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++chars;
    if (chars < width) out.append(width - chars, ' ');
    return out;
}
std::string PadLeft(const std::string& s, size_t width) {
    size_t chars = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++chars;
    return chars < width ? std::string(width - chars, ' ') + s : s;
}

}  // namespace

std::vector<std::string> ReportTextLines(const ReportView& view) {
    const ReportTable& t = view.table();
    std::vector<std::string> lines = {view.caption(), t.head1, t.head2, t.head3, ""};
    for (const ReportRow& row : view.rows()) {
        std::string line;
        for (size_t c = 0; c < row.cells().size() && c < t.columns.size(); ++c) {
            const ReportColumn& col = t.columns[c];
            line += ' ';
            if (col.isAmount())
                line += PadLeft(row.cells()[c], 12);
            else if (col.heading == "Product Description")
                line += PadRight(row.cells()[c], 32);
            else
                line += PadRight(row.cells()[c], 12);
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool SaveReportText(const std::string& path, const ReportView& view, std::string* error) {
    return WriteAnsiLines(path, ReportTextLines(view), error);
}

Font ReportDefaultFont() {
    return Font{"Arial", 10, kBlack, 0};
}

bool PrintReport(Canvas& canvas, const ReportView& view, const Font& font, bool pdf,
                 const std::string& target) {
    const ReportTable& t = view.table();
    canvas.setOrientation(t.id == ReportId::SalesReport ? Orientation::Landscape
                                                        : Orientation::Portrait);
    if (!canvas.beginDocument(target.empty() ? std::string(view.name()) : target)) return false;
    canvas.setFont(font);
    const int H = canvas.pageHeight();
    const int W = canvas.pageWidth();
    const int rowHeight = canvas.textHeight("MXjpy") + 3;
    const int gap = canvas.textWidth("Xx");
    const int amountWidth = canvas.textWidth("9,999,999.99");
    const int left = canvas.resolutionX() / 4;
    const int top = canvas.resolutionY() / 4;
    const auto& rows = view.rows();
    const size_t n = t.columns.size();

    std::vector<int> widths(n, 0), xs(n, left);
    for (size_t c = 0; c < n; ++c) {
        if (t.columns[c].isAmount()) {
            widths[c] = std::max(amountWidth, canvas.textWidth(t.columns[c].heading));
            continue;
        }
        for (const ReportRow& r : rows)
            if (c < r.cells().size())
                widths[c] = std::max(widths[c], canvas.textWidth(r.cells()[c]));
    }
    for (size_t c = 1; c < n; ++c)
        xs[c] = xs[c - 1] + widths[c - 1] + gap;
    const int right = n ? xs[n - 1] + widths[n - 1] : left;

    auto drawRow = [&](const ReportRow& r, int y) {
        for (size_t c = 0; c < n && c < r.cells().size(); ++c) {
            const std::string& cell = r.cells()[c];
            if (cell.empty()) continue;
            const bool amount = t.columns[c].isAmount();
            const int x = amount ? xs[c] + widths[c] - canvas.textWidth(cell) : xs[c];
            canvas.textOut(x, y, cell);
        }
    };
    auto rule = [&](int y) {
        canvas.setPen(Pen{3, kBlack, PenStyle::Solid});
        canvas.moveTo(left, y);
        canvas.lineTo(std::min(right, W - left / 2), y);
        canvas.setPen(Pen{});
    };
    int page = 1;
    int y = top;
    auto header = [&] {
        y = top;
        canvas.textOut(left, y, t.head1);
        const std::string pageText =
            pdf ? " Page: " + std::to_string(page) : "Page " + std::to_string(page);
        canvas.textOut(std::max(left, std::min(right, W - left) - canvas.textWidth(pageText)), y,
                       pageText);
        y += rowHeight;
        canvas.textOut(left, y, t.head2);
        y += rowHeight;
        if (!t.head3.empty()) {
            Font f = font;
            if (t.filtered) f.color = Color{255, 0, 0};
            canvas.setFont(f);
            canvas.textOut(left, y, t.head3);
            canvas.setFont(font);
            y += rowHeight;
        }
        y += rowHeight / 2;
        if (!rows.empty()) drawRow(rows[0], y);
        y += rowHeight;
        rule(y);
        y += 4;
    };
    header();
    for (size_t i = 1; i < rows.size(); ++i) {
        const ReportRow& r = rows[i];
        if (y + rowHeight > H - 200) {
            canvas.textOut(left, H - 100, "Continued on page " + std::to_string(page + 1) + " ...");
            if (!canvas.newPage()) return false;
            ++page;
            header();
        }
        if (r.kind == RowKind::Totals || r.kind == RowKind::Month || r.kind == RowKind::GrandTotal)
            rule(y);
        drawRow(r, y + 2);
        y += rowHeight;
    }
    const std::string done = "Report Complete. " + std::to_string(view.dataRowCount()) +
                             (pdf ? " record(s) printed." : " records printed.");
    canvas.textOut(left, std::max(y + rowHeight, H - 100), done);
    return canvas.endDocument();
}

std::string ReportPdfName(const std::string& title) {
    return "Report-" + SafeFileName(title) + ".pdf";
}

ReportPdfOutcome WriteReportPdf(Canvas& canvas, const ReportView& view, const Font& font,
                                const std::string& dataFolder, const std::string& path) {
    ReportPdfOutcome out;
    const std::string name = ReportPdfName(view.caption());
    if (path.empty()) {
        const std::string folder = PdfFolder(dataFolder);
        if (!data::EnsureFolder(folder, &out.error)) return out;
        out.path = data::JoinPath(folder, name);
    } else {
        out.path = path;
    }
    DocumentInfo info;
    info.title = view.caption();
    info.author = view.table().head1;
    info.subject = name;
    info.producer = std::string(kPdfProducer);
    canvas.setDocumentInfo(info);
    canvas.setImageQuality(ImageQuality::Compact);
    if (!PrintReport(canvas, view, font, true, out.path)) {
        out.error = canvas.lastError();
        if (out.error.empty()) out.error = "Cannot write the PDF file " + out.path + ".";
        return out;
    }
    out.ok = true;
    out.error = canvas.lastError();
    return out;
}

}  // namespace invarro::output
