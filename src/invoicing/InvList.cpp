#include "invoicing/InvList.h"

#include "data/Ansi.h"
#include "data/Keys.h"
#include "data/Money.h"
#include "data/Update.h"
#include "invoicing/Receivables.h"

namespace invarro::invoicing {

namespace {

using data::Company;
using data::Customer;
using data::Invoice;

constexpr std::size_t kRowWidth = 128;

// A fixed-width column: the text cut to the width and padded on the right, then a blank.
std::string Left(std::string_view text, std::size_t width) {
    return data::PadRight(data::FirstChars(text, width), width) + " ";
}
// Right-aligned in the width, then a blank.
std::string Right(std::string_view text, std::size_t width) {
    return data::PadLeft(data::FirstChars(text, width), width) + " ";
}

std::string Trimmed(const std::string& text) {
    return data::TrimmedText(text);
}

std::string Shown(data::Money m) {
    return m.shownText();
}

}  // namespace

char TypeCode(const data::InvoiceRecord& invoice) {
    std::string_view t = data::TrimText(invoice.ansi(Invoice::TransType));
    if (t.empty()) return 0;
    char c = t.front();
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

std::vector<data::ListColumn> ManagerColumns() {
    return {
        {"Year/Mo/Dy", 10, false, 3}, {"T", 1, false, 5},           {"Invoice#", 9, false, 1},
        {"Cust#", 8, false, 2},       {"Short Name", 10, false, 0}, {"Grand Total", 12, true, 0},
        {"Amount Due", 12, true, 0},  {"Paid Amount", 12, true, 0}, {"Key Code", 8, false, 4},
        {"Date Paid", 10, false, 6},  {"CO#", 5, false, 0}};
}

std::string ManagerHeader() {
    std::string h = Left("Year/Mo/Dy", 10) + Left("T", 1) + Left("Invoice#", 9) + Left("Cust#", 8) +
                    Left("Short Name", 10) + Right("Grand Total", 12) + Right("Amount Due", 12) +
                    Right("Paid Amount", 12) + Left("Key Code", 8) + Left("Date Paid", 10) +
                    Left("CO#", 5);
    return data::PadRight(h, kRowWidth);
}

bool IsBadRecord(const data::InvoiceRecord& inv) {
    return data::TrimText(inv.ansi(Invoice::Total)).empty() ||
           data::TrimText(inv.ansi(Invoice::BalanceDue)).empty() ||
           data::TrimText(inv.ansi(Invoice::Paid)).empty();
}

std::string ManagerRow(const data::InvoiceRecord& inv) {
    const bool bad = IsBadRecord(inv);
    const std::string type = TypeCode(inv) ? std::string(1, TypeCode(inv)) : std::string();
    std::string row = Left(inv.text(Invoice::SortDate), 10) + Left(type, 1);
    if (bad) {
        row += Left("DELETE ME", 9) + Left(Trimmed(inv.text(Invoice::CustNo)), 8) +
               Left("BAD RECORD", 10) + Right("0", 12) + Right("0", 12) + Right("0", 12);
    } else {
        row += Left(Trimmed(inv.text(Invoice::InvNo)), 9) +
               Left(Trimmed(inv.text(Invoice::CustNo)), 8) +
               Left(inv.text(Invoice::ShortName), 10) +
               Right(Shown(inv.money(Invoice::Total)), 12) +
               Right(Shown(inv.money(Invoice::BalanceDue)), 12) +
               Right(Shown(inv.money(Invoice::Paid)), 12);
    }
    row += Left(Trimmed(inv.text(Invoice::KeyCode)), 8) + Left(inv.text(Invoice::PaidDate), 10) +
           Left(Trimmed(inv.text(Invoice::CompanyNo)), 5);
    return data::PadRight(row, kRowWidth);
}

std::string RecordCountText(int32_t count) {
    return "Records: " + std::to_string(count);
}

std::string FilterLabelText(std::string_view custNo) {
    return "Filtering Customer#: " + std::string(custNo);
}

std::string DeletedMessage(std::string_view invNo, bool memo, int lines) {
    if (memo) return "Deleted memo invoice " + std::string(invNo) + ".";
    return "Deleted invoice " + std::string(invNo) + " containing " + std::to_string(lines) +
           " line item(s).";
}

std::string FilterNumber(const data::InvoiceRecord& invoice) {
    return Trimmed(invoice.text(Invoice::CustNo));
}

bool FilterAccepts(const data::InvoiceRecord& invoice, std::string_view chosen) {
    return FilterNumber(invoice) == data::TrimText(chosen);
}

int32_t FilteredRecordCount(storage::Fileblock* invoices, std::string_view chosen) {
    if (!invoices) return 0;
    data::InvoiceRecord probe;
    probe.setText(Invoice::CustNo, data::TrimText(chosen));
    const std::string wanted = data::InvoiceKey(probe, 2);
    std::string key = wanted;
    int32_t recNo = storage::FindKeyAtOrAfter(invoices, 2, key);
    int32_t count = 0;
    while (storage::EngineOk && key == wanted) {
        auto r = data::ReadBusinessRecord<Invoice>(invoices, recNo);
        if (r && FilterAccepts(*r, chosen)) ++count;
        storage::NextKey(invoices, 2, key, recNo);
    }
    return count;
}

std::string TypeWording(const data::InvoiceRecord& inv) {
    switch (TypeCode(inv)) {
        case 'I':
            return "I - Regular Invoice";
        case 'Q':
            return "Q - Quote";
        case 'R': {
            std::string created = Trimmed(inv.text(Invoice::RepeatCreated));
            if (created.empty()) created = "0";
            return "R - Repeat Billing Master Record (Created: " + created + ")";
        }
        case 'G':
            return "G - Repeat Billing Generated Invoice";
        case 'X':
            return "X - Partial Payment Record against Type Z";
        case 'Z':
            return "Z - Invoice has Partial Payment(s) of Type X";
        case 'D':
            return "D - Deposit on Account";
        case 'T':
            return "T - Deposit Taken (offsets type D)";
        default:
            return Trimmed(inv.text(Invoice::TransType));
    }
}

std::string StyleWording(const data::InvoiceRecord& inv) {
    const bool memo = data::UpperText(Trimmed(inv.text(Invoice::InvoiceStyle))) == "M";
    switch (TypeCode(inv)) {
        case 'Q':
            return memo ? "(Memo Quote)" : "(Product Quote)";
        case 'D':
        case 'X':
            return "(Payment Record)";
        case 'T':
            return "(Applied Deposit)";
        default:
            return memo ? "(Memo Invoice)" : "(Product Invoice)";
    }
}

std::string NextDueShown(const data::InvoiceRecord& master, data::DateOrder order) {
    const std::string stored = Trimmed(master.text(Invoice::NextDue));
    if (order == data::DateOrder::MonthFirst) return stored;
    auto d = data::ParseUserDate(stored, data::DateOrder::MonthFirst);
    return d ? data::FormatUserDate(*d, order) : stored;
}

QuickView MakeQuickView(const data::InvoiceRecord& inv,
                        const std::optional<data::CustomerRecord>& customer,
                        const data::CompanyRecord& company) {
    QuickView v;
    const char type = TypeCode(inv);
    const bool quote = type == 'Q';
    v.dateCaption = quote ? "Quote Date:" : "Invoice Date:";
    v.numberCaption = quote ? "Quote Number:" : "Invoice Number:";
    v.totalCaption = quote ? "Quote Total:" : "Invoice Total:";
    v.showPaidAndBalance = !quote;
    v.date = Trimmed(inv.text(Invoice::InvDate));
    if (type == 'R') {
        const data::DateOrder order =
            data::DateOrderFromCode(company.text(Company::DateFormatCode));
        v.date += " - Next Due: " + NextDueShown(inv, order);
    }
    v.number = Trimmed(inv.text(Invoice::InvNo));
    v.styleWording = StyleWording(inv);
    v.typeWording = TypeWording(inv);
    const data::Money total = inv.money(Invoice::Total);
    const data::Money due = inv.money(Invoice::BalanceDue);
    v.total = Shown(total);
    v.paid = Shown(type == 'Z' ? total - due : inv.money(Invoice::Paid));
    v.balance = Shown(due);
    if (inv.yes(Invoice::PrintedFlag)) {
        const std::string stamp = inv.text(Invoice::EMailedOn);
        v.printed = stamp.size() > 2 ? "E-Mailed: " + stamp : "*Printed*";
    }
    v.agingCaptions = AgingLabels(company);
    if (customer) {
        const data::CustomerRecord& c = *customer;
        v.customerFound = true;
        v.customerName = c.text(Customer::Name);
        v.customerNo = Trimmed(c.text(Customer::CustNo));
        v.customerBalance = Shown(c.money(Customer::Balance));
        v.lastPayDate = Trimmed(c.text(Customer::LastPayDate));
        v.lastInvNo = Trimmed(c.text(Customer::LastInvNo));
        v.phone = Trimmed(c.text(Customer::Phone1));
        v.aging = {Shown(c.money(Customer::Age0to30)), Shown(c.money(Customer::Age31to60)),
                   Shown(c.money(Customer::Age61to90)), Shown(c.money(Customer::AgeOver90))};
    }
    return v;
}

bool WantsBatchPrint(const data::InvoiceRecord& inv) {
    if (inv.yes(Invoice::PrintedFlag)) return false;
    const char t = TypeCode(inv);
    return t == 'G' || t == 'I' || t == 'M' || t == 'Z';
}

BatchSelection BatchPrintNumbers(storage::Fileblock* invoices) {
    BatchSelection s;
    for (int32_t rec = storage::NextUsedRecord(invoices, 0); storage::EngineOk && rec > 0;
         rec = storage::NextUsedRecord(invoices, rec)) {
        auto inv = data::ReadBusinessRecord<Invoice>(invoices, rec);
        if (!inv) {
            s.ok = false;
            return s;
        }
        if (WantsBatchPrint(*inv)) s.numbers.push_back(Trimmed(inv->text(Invoice::InvNo)));
    }
    s.ok = storage::EngineOk || storage::EngineError == storage::err::NoMoreRecords;
    return s;
}

BatchTexts BatchDialogTexts(int count, bool eMail, const data::CompanyRecord& company) {
    BatchTexts t;
    const std::string n = std::to_string(count);
    if (eMail) {
        t.lines = {"There are " + n + " invoice(s) to e-mail.", "* E-Mail Mode *",
                   "(No packing slips or copies.)"};
        t.button = "&E-Mail";
    } else {
        t.lines = {"There are " + n + " invoice(s) to print.",
                   company.byte(Company::PrintPackSlip) ? "Packing Slips will be printed."
                                                        : "Packing Slips are turned off.",
                   company.byte(Company::PrintFileCopy) ? "File Copies will be printed."
                                                        : "File Copies are turned off."};
        t.button = "&Print";
    }
    return t;
}

std::optional<int> BatchCount(std::string_view typed, int found) {
    auto n = data::WholeNumber(typed);
    if (!n) return std::nullopt;
    if (*n < 0) return 0;
    return int(std::min<long>(*n, found));
}

}  // namespace invarro::invoicing
