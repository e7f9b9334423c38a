#include "output/Rpt.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <unordered_map>
#include <unordered_set>

#include "data/Ansi.h"
#include "data/DataFolder.h"
#include "data/Files.h"
#include "data/Keys.h"
#include "data/OwnFiles.h"
#include "data/SubTotalDiscountLines.h"
#include "invoicing/Receivables.h"
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

// A text field as the record stores it (Windows-1252), looked at in place.
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
std::string Field(const data::InvoiceRecord& r, data::FieldRef<Invoice, data::FieldKind::Text> f) {
    return data::Utf8FromAnsi(data::TrimText(RawText(r, f)));
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

// A text cell as a builder hands it over: UTF-8, or stored Windows-1252 text that is
// converted on its way into the table's text store.
struct Cell {
    std::string_view text;
    bool stored = false;
    Cell(std::string_view t, bool s = false) : text(t), stored(s) {}
    Cell(const std::string& t) : text(t) {}
    Cell(const char* t) : text(t) {}
};
// A stored text field, trimmed.
template <class L>
Cell Stored(const data::Record<L>& r, data::FieldRef<L, data::FieldKind::Text> f) {
    return Cell(data::TrimText(RawText(r, f)), true);
}

// Letters compared without case; the table serves every comparison of a sort.
struct CaseFold {
    std::array<unsigned char, 256> map{};
    CaseFold() {
        for (int c = 0; c < 256; ++c)
            map[size_t(c)] = (c >= 'a' && c <= 'z') ? (unsigned char)(c - 32) : (unsigned char)c;
    }
};
const CaseFold kFold;

int CompareNoCase(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = kFold.map[static_cast<unsigned char>(a[i])];
        const unsigned char y = kFold.map[static_cast<unsigned char>(b[i])];
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// Orders rows on their first shown column, a text column.
struct FirstCellLess {
    const ReportTable& t;
    bool operator()(const ReportLine& a, const ReportLine& b) const {
        const int k = t.columns[0].field;
        return CompareNoCase(t.textCell(a, k), t.textCell(b, k)) < 0;
    }
};

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

// A ten-character date key: the sort date padded with blanks as the key builder pads it.
std::string DateKey(const std::string& sortDate) {
    return data::KeyText(sortDate, 10, false, false);
}

// The stored line row's fixed columns, in characters of the stored text (one byte each):
// quantity 10, description 32, unit price 10, taxable 1, extension 10.
std::string_view LineColumn(std::string_view row, size_t at, size_t width) {
    if (at >= row.size()) return {};
    return data::TrimText(row.substr(at, width));
}
// The number of a stored column; the parser passes over the thousands commas.
Decimal NumberOr0(std::string_view text) {
    return data::ParseDecimal(text).value_or(Decimal());
}
char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 32) : c;
}

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
    // One row: its amounts, and its text cells written one after another into the
    // table's text store.
    void add(std::initializer_list<Decimal> amounts, std::initializer_list<Cell> cells) {
        ReportLine& line = t.rows.emplace_back();
        size_t i = 0;
        for (Decimal d : amounts)
            if (i < line.amounts.size()) line.amounts[i++] = d.units();
        // A Windows-1252 character takes at most three bytes in UTF-8.
        size_t most = 0;
        for (const Cell& c : cells)
            most += c.stored ? 3 * c.text.size() : c.text.size();
        char* const start = t.text.room(most);
        char* end = start;
        size_t k = 0;
        for (const Cell& c : cells) {
            if (k == line.ends.size()) break;
            if (c.stored && !IsAscii(c.text)) {
                const std::string utf8 = data::Utf8FromAnsi(c.text);
                end = std::copy(utf8.begin(), utf8.end(), end);
            } else {
                end = std::copy(c.text.begin(), c.text.end(), end);
            }
            line.ends[k++] = uint16_t(end - start);
        }
        for (; k < line.ends.size(); ++k)
            line.ends[k] = k ? line.ends[k - 1] : 0;
        line.text = start;
        t.text.keep(size_t(end - start));
    }
    // Keeps the row just added when the filter is empty or one of the named text cells
    // holds it in any letter case; otherwise takes the row back out.
    void keepIfMatching(std::initializer_list<int> cells) {
        if (filter.empty()) return;
        const ReportLine& line = t.rows.back();
        for (int k : cells)
            if (data::UpperText(t.textCell(line, k)).find(filter) != std::string::npos) return;
        t.text.takeBack(line.text);
        t.rows.pop_back();
    }

    // The registers of invoices or quotes over key 3.
    bool dated(bool quotes, bool keyCode) {
        return WalkKey(
            src.invoices, 3, DateKey(sel.fromSort), sel.toSort, &error, t.recordsRead,
            [&](int32_t recNo) {
                data::InvoiceRecord r;
                if (!read(recNo, r)) return false;
                const std::string type = data::UpperText(Field(r, Invoice::TransType));
                const Cell no = Stored(r, Invoice::InvNo);
                if (no.text.empty() || type == "R") return true;
                const Money total = r.money(Invoice::Total);
                if (quotes) {
                    // Only quotes: payments and invoices are no quotes.
                    if (type != "Q") return true;
                } else {
                    if (type == "Q") return true;
                    if (total.isZero() && (keyCode || type != "I")) return true;
                }
                const Cell date = Stored(r, Invoice::SortDate);
                const Cell shortName = Stored(r, Invoice::ShortName);
                const std::initializer_list<Decimal> amounts = {D(r.money(Invoice::Net)),
                                                                D(r.money(Invoice::Tax)), D(total)};
                if (keyCode) {
                    Cell code = Stored(r, Invoice::KeyCode);
                    if (code.text.empty()) code = Cell("*none*");
                    add(amounts, {date, code, no, shortName, type});
                    keepIfMatching({1, 2, 3});
                } else {
                    add(amounts, {date, no, shortName, Stored(r, Invoice::CustNo), type});
                    keepIfMatching({1, 2, 3});
                }
                return true;
            });
    }

    // Paid records by paid date, then records with a part paid by invoice date.
    bool payments(bool tax) {
        auto row = [&](const data::InvoiceRecord& r, Cell date) {
            const Money paid = r.money(Invoice::Paid);
            const std::string type = data::UpperText(Field(r, Invoice::TransType));
            const Cell no = Stored(r, Invoice::InvNo);
            const Cell cust = Stored(r, Invoice::CustNo);
            if (tax) {
                const std::string rate = Field(r, Invoice::TaxRate) + " %";
                add({D(paid), D(r.money(Invoice::Tax))},
                    {date, no, rate, cust, Stored(r, Invoice::KeyCode), type});
                keepIfMatching({0, 1, 2, 3, 4});
            } else {
                add({D(r.money(Invoice::Total)), D(paid), D(r.money(Invoice::BalanceDue))},
                    {date, no, Stored(r, Invoice::ShortName), cust, type});
                keepIfMatching({1, 2, 3});
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
                                            row(r, Stored(r, Invoice::SortDate));
                                        return true;
                                    });
        // Both passes come in date order: one merge puts the report in date order.
        std::inplace_merge(t.rows.begin(), t.rows.begin() + std::ptrdiff_t(paidRows), t.rows.end(),
                           FirstCellLess{t});
        return second;
    }

    bool receivables() {
        const auto limits = invoicing::AgingLimitsOf(*src.company);
        if (!limits) {
            error = std::string(invoicing::kBadAgingDays);
            return false;
        }
        const std::array<std::string, 4> captions = {
            data::TrimmedText(src.company->text(Company::AgingCaption1)),
            data::TrimmedText(src.company->text(Company::AgingCaption2)),
            data::TrimmedText(src.company->text(Company::AgingCaption3)),
            "Over " + std::to_string(limits->d3)};
        const data::Date today{src.now.year, src.now.month, src.now.day};
        auto row = [&](const data::InvoiceRecord& r) {
            // The one age rule of the program: whole days from the invoice date to today.
            const auto age = invoicing::InvoiceAgeDays(r, src.order, today);
            const int bucket = age ? invoicing::AgingBucket(*age, *limits) : 0;
            add({D(r.money(Invoice::BalanceDue))},
                {Stored(r, Invoice::SortDate), captions[size_t(bucket)], Stored(r, Invoice::InvNo),
                 Stored(r, Invoice::ShortName), Stored(r, Invoice::CustNo),
                 age ? std::to_string(*age) + " Days" : std::string(),
                 data::UpperText(Field(r, Invoice::TransType))});
            keepIfMatching({2, 3, 4});
        };
        // Unpaid records: blank paid dates come first in key 6. Deposits come in the
        // second pass, so that none is listed twice.
        const std::string blank(10, ' ');
        const bool first =
            WalkKey(src.invoices, 6, blank, blank, &error, t.recordsRead, [&](int32_t recNo) {
                data::InvoiceRecord r;
                if (!read(recNo, r)) return false;
                const std::string type = data::UpperText(Field(r, Invoice::TransType));
                if (type != "Q" && type != "R" && type != "D" &&
                    !Stored(r, Invoice::InvNo).text.empty())
                    row(r);
                return true;
            });
        if (!first) return false;
        return WalkKey(src.invoices, 5, "D", "D", &error, t.recordsRead, [&](int32_t recNo) {
            data::InvoiceRecord r;
            if (!read(recNo, r)) return false;
            if (!Stored(r, Invoice::InvNo).text.empty() &&
                data::UpperText(Field(r, Invoice::PaidFlag)) != "P")
                row(r);
            return true;
        });
    }

    bool repeats() {
        return WalkKey(src.invoices, 5, "R", "R", &error, t.recordsRead, [&](int32_t recNo) {
            data::InvoiceRecord r;
            if (!read(recNo, r)) return false;
            // Next due dates are stored month first; shown in the form of the report's date
            // column ("Year/Mo/Dy"), so that a row holds one form of date and the column sorts
            // in date order.
            std::string next = Field(r, Invoice::NextDue);
            if (auto d = data::ParseUserDate(next, data::DateOrder::MonthFirst))
                next = data::FormatSortDate(*d);
            add({D(r.money(Invoice::Total))},
                {Stored(r, Invoice::SortDate), next, Stored(r, Invoice::InvNo),
                 Stored(r, Invoice::ShortName), Stored(r, Invoice::CustNo),
                 Stored(r, Invoice::RepeatCreated), data::UpperText(Field(r, Invoice::TransType))});
            keepIfMatching({2, 3, 4});
            return true;
        });
    }

    bool sales() {
        // A discount of taxed and untaxed lines is stored as two lines, the taxed share
        // and the untaxed rest; the report shows the pair as one discount.
        struct TaxedHalf {
            std::string invNo;
            long lineNo = 0;
            std::string code;
            size_t row = 0;
        };
        std::optional<TaxedHalf> half;
        std::string pairText;
        return WalkKey(
            src.lines, 1, DateKey(sel.fromSort), sel.toSort, &error, t.recordsRead,
            [&](int32_t recNo) {
                data::InvoiceLineRecord l;
                storage::GetRecord(src.lines, recNo, l.data());
                if (!storage::EngineOk) return false;
                const std::string_view style = data::TrimText(RawText(l, InvoiceLine::LineStyle));
                if (style.size() == 1 &&
                    (AsciiUpper(style[0]) == 'R' || AsciiUpper(style[0]) == 'Q'))
                    return true;
                // The columns are cut from the stored row, whose characters are its bytes,
                // before any conversion.
                const std::string_view row = RawText(l, InvoiceLine::LineText);
                const std::string_view desc = LineColumn(row, 10, 32);
                if (data::HoldsWordNoCase(desc, "SUB-TOTAL")) return true;
                Cell code = Stored(l, InvoiceLine::ProdCode);
                if (code.text.empty()) code = Cell("*None*");
                const Decimal qty = NumberOr0(LineColumn(row, 0, 10));
                const Decimal price = NumberOr0(LineColumn(row, 42, 10));
                const Decimal amount = NumberOr0(LineColumn(row, 53, 10));
                const std::string_view codeText = RawText(l, InvoiceLine::ProdCode);
                const std::string invNo = data::TrimmedText(RawText(l, InvoiceLine::InvNo));
                const long lineNo = data::WholeNumber(RawText(l, InvoiceLine::LineNo)).value_or(0);
                const bool discount = data::IsDiscountLine(codeText);
                const data::DiscountPart part =
                    discount ? data::DiscountPartOf(desc) : data::DiscountPart::Whole;
                if (part == data::DiscountPart::Untaxed && half && half->invNo == invNo &&
                    half->lineNo + 1 == lineNo && half->code == data::TrimmedText(codeText) &&
                    half->row < t.rows.size()) {
                    // The untaxed half joins the row of its taxed half.
                    ReportLine& joined = t.rows[half->row];
                    joined.amounts[0] += D(data::RoundToCents(price)).units();
                    joined.amounts[2] += D(data::RoundToCents(amount)).units();
                    half.reset();
                    return true;
                }
                half.reset();
                Cell shownDesc(desc, true);
                if (part == data::DiscountPart::Taxed) {
                    const auto percent = data::DiscountPercentOf(codeText);
                    pairText = percent ? data::DiscountPairText(*percent) : std::string(desc);
                    shownDesc = Cell(pairText);
                }
                // The totals add the values as shown: prices and amounts in cents,
                // quantities to three decimals.
                add({D(data::RoundToCents(price)), Thousandths(qty), D(data::RoundToCents(amount))},
                    {Stored(l, InvoiceLine::LineDate), code, shownDesc,
                     Stored(l, InvoiceLine::InvNo), Stored(l, InvoiceLine::ShortName),
                     Stored(l, InvoiceLine::CustNo)});
                const size_t before = t.rows.size();
                keepIfMatching({0, 1, 2, 3, 4});
                if (part == data::DiscountPart::Taxed && t.rows.size() == before)
                    half = TaxedHalf{invNo, lineNo, data::TrimmedText(codeText), before - 1};
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
        // Each column's place in a row: text cells and amounts are counted apart.
        int texts = 0, amounts = 0;
        for (ReportColumn& c : columns)
            c.field = c.isAmount() ? amounts++ : texts++;
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

std::string SumText(int64_t units, CellKind kind) {
    return Decimal::FromUnits(units).text(kind == CellKind::Quantity ? 3 : 2, true);
}

constexpr const char* kMonths[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

// "(March 2024)" for a sort date in March 2024.
std::string MonthLabel(std::string_view sortDate) {
    if (sortDate.size() >= 7) {
        const int m = std::atoi(std::string(sortDate.substr(5, 2)).c_str());
        if (m >= 1 && m <= 12)
            return "(" + std::string(kMonths[m - 1]) + " " + std::string(sortDate.substr(0, 4)) +
                   ")";
    }
    return "(" + std::string(sortDate) + ")";
}

}  // namespace

char* ReportText::room(size_t n) {
    if (blocks_.empty() || size_ - used_ < n) {
        // Blocks of a megabyte: few enough to cost nothing, small enough for a short report.
        size_ = std::max<size_t>(n, size_t(1) << 20);
        used_ = 0;
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(size_));
    }
    return blocks_.back().get() + used_;
}

void ReportText::takeBack(const char* from) {
    if (!blocks_.empty() && from >= blocks_.back().get() && from <= blocks_.back().get() + used_)
        used_ = size_t(from - blocks_.back().get());
}

std::string_view ReportTable::textCell(const ReportLine& line, int k) const {
    if (k < 0 || k >= int(line.ends.size()) || !line.text) return {};
    const size_t from = k ? line.ends[size_t(k - 1)] : 0;
    return std::string_view(line.text + from, line.ends[size_t(k)] - from);
}

std::string ReportTable::cell(const ReportLine& line, const ReportColumn& column) const {
    if (!column.isAmount()) return std::string(textCell(line, column.field));
    if (column.field < 0 || column.field >= kMaxAmountColumns) return {};
    return SumText(line.amounts[size_t(column.field)], column.kind);
}

// What a view holds, in one place that stays put when the view moves: the shown rows
// point here.
struct ReportViewData {
    ReportTable table;
    bool subTotals = true;
    std::vector<ReportRow> rows;
    // The cells of the rows that are not data rows: the heading, the totals and (shared
    // by all of them) the blank row.
    std::vector<std::vector<std::string>> own;
    TopTen chart;
};

std::string ReportRow::cell(size_t column) const {
    if (!view) return {};
    const ReportTable& t = view->table;
    if (kind == RowKind::Data)
        return column < t.columns.size() ? t.cell(t.rows[index], t.columns[column]) : std::string();
    const std::vector<std::string>& cells = view->own[index];
    return column < cells.size() ? cells[column] : std::string();
}

std::vector<std::string> ReportRow::cells() const {
    if (!view) return {};
    if (kind != RowKind::Data) return view->own[index];
    std::vector<std::string> out;
    out.reserve(view->table.columns.size());
    for (size_t c = 0; c < view->table.columns.size(); ++c)
        out.push_back(cell(c));
    return out;
}

ReportView::ReportView(ReportTable table) : d_(std::make_unique<ReportViewData>()) {
    d_->table = std::move(table);
    sortOn(0);
}
ReportView::~ReportView() = default;
ReportView::ReportView(ReportView&&) noexcept = default;
ReportView& ReportView::operator=(ReportView&&) noexcept = default;

const ReportTable& ReportView::table() const {
    return d_->table;
}
const std::vector<ReportRow>& ReportView::rows() const {
    return d_->rows;
}
const TopTen& ReportView::chart() const {
    return d_->chart;
}
bool ReportView::subTotals() const {
    return d_->subTotals;
}

std::string_view ReportView::name() const {
    return ReportOf(table().id).name;
}

bool ReportView::sortOn(int column) {
    ReportTable& t = d_->table;
    if (column < 0 || column > t.lastKeyColumn || column >= int(t.columns.size())) return false;
    // The column takes its values along: each column knows where a row keeps them.
    if (column != 0) std::swap(t.columns[0], t.columns[size_t(column)]);
    // A stable sort on the first column: rows of one value keep the order they had, so
    // the index order of the run stays inside each date or customer. Rows read in that
    // order already need no sorting.
    const FirstCellLess less{t};
    if (!std::is_sorted(t.rows.begin(), t.rows.end(), less))
        std::stable_sort(t.rows.begin(), t.rows.end(), less);
    compute();
    return true;
}

void ReportView::setSubTotals(bool on) {
    d_->subTotals = on;
    compute();
}

std::string ReportView::caption() const {
    const ReportTable& t = table();
    const std::string heading = t.columns.empty() ? std::string() : t.columns[0].heading;
    const std::string title(ReportOf(t.id).title);
    if (heading.find("Year/Mo") != std::string::npos) return title + " by Date";
    return title + " by " + heading;
}

void ReportView::compute() {
    ReportViewData& d = *d_;
    const ReportTable& t = d.table;
    d.rows.clear();
    d.own.clear();
    d.chart.reset();
    const size_t n = t.columns.size();
    auto ownRow = [&](RowKind kind, std::vector<std::string> cells) {
        d.rows.push_back(ReportRow{kind, uint32_t(d.own.size()), &d});
        d.own.push_back(std::move(cells));
    };
    auto dataRow = [&](size_t line) {
        d.rows.push_back(ReportRow{RowKind::Data, uint32_t(line), &d});
    };
    std::vector<std::string> heading;
    for (const ReportColumn& c : t.columns)
        heading.push_back(c.heading);
    ownRow(RowKind::Heading, std::move(heading));
    if (!d.subTotals) {
        d.rows.reserve(t.rows.size() + 1);
        for (size_t i = 0; i < t.rows.size(); ++i)
            dataRow(i);
        return;
    }
    const int firstAmount = t.lastKeyColumn + 1;
    const int amountCount =
        std::min({t.lastAmountColumn - t.lastKeyColumn, kMaxAmountColumns, int(n) - firstAmount});
    const int labelColumn = firstAmount - 1;
    const std::string& first = t.columns[0].heading;
    const bool months =
        (first.find("Date") != std::string::npos || first.find("Year/Mo") != std::string::npos) &&
        t.id != ReportId::AccountsReceivable && t.id != ReportId::RepeatBillingList;
    const int keyField = t.columns[0].field;
    // The amounts of a row in the order of the shown amount columns.
    std::array<int, kMaxAmountColumns> amountField{};
    for (int a = 0; a < amountCount; ++a)
        amountField[size_t(a)] = t.columns[size_t(firstAmount + a)].field;

    using Sums = std::array<int64_t, kMaxAmountColumns>;
    Sums run{}, month{}, grand{};
    auto totalsCells = [&](const Sums& s, const char* label) {
        std::vector<std::string> cells(n);
        cells[size_t(labelColumn)] = label;
        for (int a = 0; a < amountCount; ++a)
            cells[size_t(firstAmount + a)] =
                SumText(s[size_t(a)], t.columns[size_t(firstAmount + a)].kind);
        return cells;
    };
    // One blank row's cells serve every blank row.
    const uint32_t blankCells = uint32_t(d.own.size());
    d.own.emplace_back(n);
    auto blank = [&] { d.rows.push_back(ReportRow{RowKind::Blank, blankCells, &d}); };
    // Each run's total of the last amount column goes to the chart, once per computation.
    auto closeRun = [&](std::string_view key) {
        ownRow(RowKind::Totals, totalsCells(run, "** Totals"));
        blank();
        const int64_t last = amountCount > 0 ? run[size_t(amountCount - 1)] : 0;
        d.chart.feed(std::string(key), data::RoundToCents(Decimal::FromUnits(last)));
        run = Sums{};
    };
    auto closeMonth = [&](std::string_view date) {
        std::vector<std::string> cells = totalsCells(month, "Month Total");
        if (labelColumn > 1) cells[1] = MonthLabel(date);
        ownRow(RowKind::Month, std::move(cells));
        blank();
        month = Sums{};
    };

    d.rows.reserve(t.rows.size() * 2 + 8);
    std::string_view prev;
    bool any = false;
    for (size_t i = 0; i < t.rows.size(); ++i) {
        const ReportLine& line = t.rows[i];
        const std::string_view key = t.textCell(line, keyField);
        if (any && CompareNoCase(key, prev) != 0) {
            closeRun(prev);
            if (months && prev.substr(0, 7) != key.substr(0, 7)) closeMonth(prev);
        }
        dataRow(i);
        for (int a = 0; a < amountCount; ++a) {
            const int64_t v = line.amounts[size_t(amountField[size_t(a)])];
            run[size_t(a)] += v;
            month[size_t(a)] += v;
            grand[size_t(a)] += v;
        }
        prev = key;
        any = true;
    }
    if (any) {
        closeRun(prev);
        if (months) closeMonth(prev);
    }
    ownRow(RowKind::GrandTotal, totalsCells(grand, "Grand Total"));
}

int SortColumnFromChoice(std::string_view choice) {
    const auto v = data::WholeNumber(choice);
    if (v && *v >= 1 && *v <= 4) return int(*v) - 1;
    return 3;
}

// ------------------------------------------------------------------------------ output

namespace {

size_t CharCount(std::string_view s) {
    size_t chars = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++chars;
    return chars;
}
// Pad by characters, not bytes, so that accented names line up.
void AppendPadRight(std::string& out, std::string_view s, size_t width) {
    out += s;
    const size_t chars = CharCount(s);
    if (chars < width) out.append(width - chars, ' ');
}
void AppendPadLeft(std::string& out, std::string_view s, size_t width) {
    const size_t chars = CharCount(s);
    if (chars < width) out.append(width - chars, ' ');
    out += s;
}

// The shown text of a cell: a data row's text cell in place, any other cell made into
// scratch.
std::string_view CellText(const ReportRow& row, size_t column, std::string& scratch) {
    const ReportTable& t = row.view->table;
    if (row.kind == RowKind::Data && column < t.columns.size() && !t.columns[column].isAmount())
        return t.textCell(t.rows[row.index], t.columns[column].field);
    scratch = row.cell(column);
    return scratch;
}

// Makes the text file's lines in order and hands each to put, which returns false to
// stop; false when stopped. The one formatter of the file and of ReportTextLines.
template <class Put>
bool ForEachTextLine(const ReportView& view, Put put) {
    const ReportTable& t = view.table();
    for (const std::string& head : {view.caption(), t.head1, t.head2, t.head3, std::string()})
        if (!put(std::string_view(head))) return false;
    std::vector<size_t> pad(t.columns.size(), 12);
    for (size_t c = 0; c < t.columns.size(); ++c)
        if (!t.columns[c].isAmount() && t.columns[c].heading == "Product Description") pad[c] = 32;
    std::string line, scratch;
    for (const ReportRow& row : view.rows()) {
        line.clear();
        for (size_t c = 0; c < t.columns.size(); ++c) {
            const std::string_view cell = CellText(row, c, scratch);
            line += ' ';
            if (t.columns[c].isAmount())
                AppendPadLeft(line, cell, pad[c]);
            else
                AppendPadRight(line, cell, pad[c]);
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        if (!put(std::string_view(line))) return false;
    }
    return true;
}

// Rows between two looks at the progress of a text file, and measured texts between two
// looks while columns are sized.
constexpr size_t kLinesPerStep = 8192;
constexpr size_t kTextsPerStep = 16384;

std::string CountText(size_t n) {
    return Decimal::FromUnits(int64_t(n) * 10000).text(0, true);
}

// The first code point of UTF-8 text at i, moving i past it.
uint32_t NextCodePoint(std::string_view s, size_t& i) {
    const unsigned char c = static_cast<unsigned char>(s[i++]);
    if (c < 0x80) return c;
    const int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    uint32_t cp = c & (0x3F >> more);
    for (int k = 0; k < more && i < s.size() && (s[i] & 0xC0) == 0x80; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    return cp;
}

}  // namespace

std::vector<std::string> ReportTextLines(const ReportView& view) {
    std::vector<std::string> lines;
    lines.reserve(view.rows().size() + 5);
    ForEachTextLine(view, [&](std::string_view line) {
        lines.emplace_back(line);
        return true;
    });
    return lines;
}

OutputStatus SaveReportText(const std::string& path, const ReportView& view, std::string* error,
                            platform::Progress* progress) {
    platform::SilentProgress silent;
    platform::Progress& p = progress ? *progress : silent;
    if (!data::MayWriteUserFile(path, error)) return OutputStatus::Failed;
    data::ReplacingFile file(path);
    if (!file.open(error)) return OutputStatus::Failed;
    p.start("Save to File", 2);
    p.setLine(0, view.caption());
    const std::string total = CountText(view.rows().size());
    size_t done = 0;
    bool stopped = false;
    std::string bytes;
    ForEachTextLine(view, [&](std::string_view line) {
        bytes.clear();
        data::AppendTextFileLine(bytes, line);
        if (!file.write(bytes)) return false;
        if (++done % kLinesPerStep == 0) {
            p.setLine(1, "Line " + CountText(done) + " of " + total);
            stopped = !p.step();
        }
        return !stopped;
    });
    p.finish();
    if (stopped) {
        file.abandon();
        return OutputStatus::Stopped;
    }
    // A write that failed on the way (a full disk) is reported here.
    return file.commit(error) ? OutputStatus::Done : OutputStatus::Failed;
}

std::optional<int> WidestCell(Canvas& canvas, const ReportView& view, size_t column,
                              platform::Progress* progress) {
    // Each distinct text once: most columns repeat a few values over many rows.
    std::unordered_set<std::string_view> seen;
    std::deque<std::string> made;  // the texts of rows other than data rows
    std::string scratch;
    for (const ReportRow& row : view.rows()) {
        const std::string_view text = CellText(row, column, scratch);
        if (seen.contains(text)) continue;
        if (text.data() == scratch.data()) {
            seen.insert(made.emplace_back(scratch));
        } else {
            seen.insert(text);
        }
    }
    // An upper bound of each text's width: the sum of its characters' widths, each
    // measured alone, and half a unit per character for the rounding of the measured
    // widths. The canvases lay text without kerning, so a text is never wider than its
    // characters side by side.
    std::unordered_map<uint32_t, int> charWidth;
    struct Candidate {
        int64_t bound;
        std::string_view text;
    };
    std::vector<Candidate> candidates;
    candidates.reserve(seen.size());
    std::string one;
    for (std::string_view text : seen) {
        int64_t sum = 0, chars = 0;
        for (size_t i = 0; i < text.size();) {
            const size_t from = i;
            const uint32_t cp = NextCodePoint(text, i);
            auto it = charWidth.find(cp);
            if (it == charWidth.end()) {
                one.assign(text.substr(from, i - from));
                it = charWidth.emplace(cp, canvas.textWidth(one)).first;
            }
            sum += it->second;
            ++chars;
        }
        candidates.push_back({sum + (chars + 1) / 2, text});
    }
    std::sort(candidates.begin(), candidates.end(),
              [](const Candidate& a, const Candidate& b) { return a.bound > b.bound; });
    int widest = 0;
    size_t measured = 0;
    std::string text;
    for (const Candidate& c : candidates) {
        if (c.bound <= widest) break;  // no text left can be wider
        text.assign(c.text);
        widest = std::max(widest, canvas.textWidth(text));
        if (progress && ++measured % kTextsPerStep == 0 && !progress->step()) return std::nullopt;
    }
    return widest;
}

Font ReportDefaultFont() {
    return Font{"Arial", 10, kBlack, 0};
}

OutputStatus PrintReport(Canvas& canvas, const ReportView& view, const Font& font, bool pdf,
                         const std::string& target, platform::Progress* progress) {
    const ReportTable& t = view.table();
    platform::SilentProgress silent;
    platform::Progress& p = progress ? *progress : silent;
    canvas.setOrientation(t.id == ReportId::SalesReport ? Orientation::Landscape
                                                        : Orientation::Portrait);
    if (!canvas.beginDocument(target.empty() ? std::string(view.name()) : target))
        return OutputStatus::Failed;
    // Whatever way the drawing ends, the progress window goes.
    struct Shown {
        platform::Progress& p;
        ~Shown() { p.finish(); }
    } shown{p};
    p.start(pdf ? "Send to PDF" : "Print", 2);
    p.setLine(0, view.caption());
    canvas.setFont(font);
    const int H = canvas.pageHeight();
    const int W = canvas.pageWidth();
    const int rowHeight = canvas.textHeight("MXjpy") + 3;
    const int gap = canvas.textWidth("Xx");
    // Amount columns are as wide as the largest usual amount; a longer text (the totals of
    // a report over many millions) widens its column so that it never runs into the next.
    const std::string amountPattern = "9,999,999.99";
    const int amountWidth = canvas.textWidth(amountPattern);
    // The canvas is the printable area: the report starts at its corner.
    const int left = 0;
    const int top = 0;
    const auto& rows = view.rows();
    const size_t n = t.columns.size();

    std::vector<int> widths(n, 0), xs(n, left);
    p.setLine(1, "Sizing the columns");
    for (size_t c = 0; c < n; ++c) {
        if (t.columns[c].isAmount()) {
            widths[c] = std::max(amountWidth, canvas.textWidth(t.columns[c].heading));
            std::string scratch, longer;
            for (const ReportRow& row : rows) {
                const std::string_view text = CellText(row, c, scratch);
                if (text.size() <= amountPattern.size()) continue;
                longer.assign(text);
                widths[c] = std::max(widths[c], canvas.textWidth(longer));
            }
            continue;
        }
        const std::optional<int> widest = WidestCell(canvas, view, c, &p);
        if (!widest) return OutputStatus::Stopped;
        widths[c] = *widest;
    }
    for (size_t c = 1; c < n; ++c)
        xs[c] = xs[c - 1] + widths[c - 1] + gap;
    const int right = n ? xs[n - 1] + widths[n - 1] : left;

    auto drawRow = [&](const ReportRow& r, int y) {
        for (size_t c = 0; c < n; ++c) {
            const std::string cell = r.cell(c);
            if (cell.empty()) continue;
            const bool amount = t.columns[c].isAmount();
            const int x = amount ? xs[c] + widths[c] - canvas.textWidth(cell) : xs[c];
            canvas.textOut(x, y, cell);
        }
    };
    // A rule keeps a quarter of a row clear of the text above and below it.
    const int rulePen = 3;
    const int ruleGap = std::max(rulePen + 1, rowHeight / 4);
    auto rule = [&](int y) {
        canvas.setPen(Pen{rulePen, kBlack, PenStyle::Solid});
        canvas.moveTo(left, y);
        canvas.lineTo(std::min(right, W), y);
        canvas.setPen(Pen{});
    };
    // The last line of a page ("Continued ...", "Report Complete ...") stands near the foot
    // and wholly above it; rows end above that line.
    const int footY = std::min(H - 100, H - rowHeight);
    const int rowLimit = std::min(H - 200, footY - rowHeight / 2);
    auto ruledRow = [&](const ReportRow& r) {
        return r.kind == RowKind::Totals || r.kind == RowKind::Month ||
               r.kind == RowKind::GrandTotal;
    };
    Font titleFont = font;
    titleFont.style |= kBold;
    titleFont.color = kBlack;

    // The page heading: the company and the page, the report's title, the moment of the
    // run, the period or selection, and the column headings under a rule. The pages are
    // laid out once without drawing, so that each can say how many there are.
    int page = 1, pages = 0;
    int y = top;
    auto header = [&](bool draw) {
        y = top;
        if (draw) {
            canvas.textOut(left, y, t.head1);
            std::string pageText = pdf ? " Page: " : "Page ";
            pageText += std::to_string(page) + " of " + std::to_string(pages);
            canvas.textOut(std::max(left, std::min(right, W) - canvas.textWidth(pageText)), y,
                           pageText);
        }
        y += rowHeight;
        if (draw) {
            canvas.setFont(titleFont);
            canvas.textOut(left, y, view.caption());
            canvas.setFont(font);
        }
        y += rowHeight;
        if (draw) canvas.textOut(left, y, t.head2);
        y += rowHeight;
        if (!t.head3.empty()) {
            if (draw) {
                Font f = font;
                if (t.filtered) f.color = Color{255, 0, 0};
                canvas.setFont(f);
                canvas.textOut(left, y, t.head3);
                canvas.setFont(font);
            }
            y += rowHeight;
        }
        y += rowHeight / 2;
        if (draw && !rows.empty()) drawRow(rows[0], y);
        y += rowHeight - 3 + ruleGap;
        if (draw) rule(y);
        y += ruleGap;
    };
    // One pass over the rows: without drawing it only counts the pages.
    auto pass = [&](bool draw) -> OutputStatus {
        page = 1;
        header(draw);
        for (size_t i = 1; i < rows.size(); ++i) {
            const ReportRow& r = rows[i];
            const int below = ruledRow(r) ? 2 * ruleGap : 0;
            if (y + below + rowHeight > rowLimit) {
                if (draw) {
                    canvas.textOut(left, footY,
                                   "Continued on page " + std::to_string(page + 1) + " ...");
                    p.setLine(1, "Page " + CountText(size_t(page + 1)));
                    if (!p.step()) return OutputStatus::Stopped;
                    if (!canvas.newPage()) return OutputStatus::Failed;
                }
                ++page;
                header(draw);
            }
            if (ruledRow(r)) {
                y += ruleGap;
                if (draw) rule(y);
                y += ruleGap;
            }
            if (draw) drawRow(r, y);
            y += rowHeight;
        }
        return OutputStatus::Done;
    };
    pass(false);
    pages = page;
    if (const OutputStatus drawn = pass(true); drawn != OutputStatus::Done) return drawn;
    const std::string done = "Report Complete. " + std::to_string(view.dataRowCount()) +
                             (pdf ? " record(s) printed." : " records printed.");
    canvas.textOut(left, footY, done);
    return canvas.endDocument() ? OutputStatus::Done : OutputStatus::Failed;
}

std::string ReportPdfName(const std::string& title) {
    return "Report-" + SafeFileName(title) + ".pdf";
}

ReportPdfOutcome WriteReportPdf(Canvas& canvas, const ReportView& view, const Font& font,
                                const std::string& dataFolder, const std::string& path,
                                platform::Progress* progress) {
    ReportPdfOutcome out;
    const std::string name = ReportPdfName(view.caption());
    if (path.empty()) {
        const std::string folder = PdfFolder(dataFolder);
        if (!data::EnsureFolder(folder, &out.error)) return out;
        out.path = data::JoinPath(folder, name);
    } else {
        out.path = path;
        if (!data::MayWriteUserFile(path, &out.error)) return out;
    }
    DocumentInfo info;
    info.title = view.caption();
    info.author = view.table().head1;
    info.subject = name;
    info.producer = std::string(kPdfProducer);
    canvas.setDocumentInfo(info);
    canvas.setImageQuality(ImageQuality::Compact);
    // The report is drawn into a file beside the one asked for, which takes its place only
    // when whole: a part of a report is no report, and a report stopped or failed halfway
    // leaves an older report of the same name as it was.
    const std::string drawing = out.path + ".new";
    const OutputStatus status = PrintReport(canvas, view, font, true, drawing, progress);
    // The canvas names the file it drew; the user knows only the report's own name.
    auto canvasError = [&] {
        std::string e = canvas.lastError();
        for (size_t at = e.find(drawing); at != std::string::npos; at = e.find(drawing, at))
            e.replace(at, drawing.size(), out.path);
        return e;
    };
    if (status == OutputStatus::Done && !data::RenameOver(drawing, out.path)) {
        data::RemoveFile(drawing);
        out.error = "Cannot write the PDF file " + out.path + ".";
        return out;
    }
    if (status != OutputStatus::Done) {
        if (canvas.pageNumber() != 0) canvas.endDocument();
        data::RemoveFile(drawing);
        out.stopped = status == OutputStatus::Stopped;
        out.error = out.stopped ? std::string(kReportStopped) : canvasError();
        if (out.error.empty()) out.error = "Cannot write the PDF file " + out.path + ".";
        return out;
    }
    out.ok = true;
    out.error = canvasError();
    return out;
}

}  // namespace invarro::output
