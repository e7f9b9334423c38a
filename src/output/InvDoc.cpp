#include "output/InvDoc.h"

#include <algorithm>
#include <cctype>

#include "data/Ansi.h"
#include "data/Files.h"
#include "data/Keys.h"
#include "data/SubTotalDiscountLines.h"
#include "data/Texts.h"
#include "data/Update.h"
#include "storage/BTree.h"

namespace invarro::output {

namespace {

using data::Company;
using data::Customer;
using data::Invoice;
using data::InvoiceLine;
using data::Memo;
using data::TrimmedText;

// The number as every record of the invoice carries it: trimmed, upper case.
std::string NumberKey(std::string_view number) {
    return data::UpperText(data::TrimText(number));
}

char FirstUpper(const std::string& text) {
    std::string t = TrimmedText(text);
    if (t.empty()) return 0;
    return char(std::toupper(static_cast<unsigned char>(t[0])));
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A stored quantity or price with as many decimals as it was stored with; text that is
// not a number is shown as it stands.
std::string ShownNumber(const std::string& stored) {
    std::string t = TrimmedText(stored);
    if (t.empty()) return {};
    std::string bare;
    for (char c : t)
        if (c != ',') bare += c;
    auto d = data::ParseDecimal(bare);
    if (!d) return t;
    return d->text(std::min(4, data::DecimalsOf(bare)), true);
}

std::string Column(const std::string& text, size_t from, size_t width) {
    if (from >= text.size()) return {};
    return TrimmedText(text.substr(from, width));
}

DocumentLine LineOf(const data::InvoiceLineRecord& r) {
    // The fixed columns of the stored row: quantity 10, description 32, unit price 10,
    // taxable 1, extension 10; read as stored bytes so that the columns stay in place.
    const std::string row = r.ansi(InvoiceLine::LineText);
    DocumentLine l;
    l.code = data::FirstChars(TrimmedText(r.text(InvoiceLine::ProdCode)), 10);
    const std::string qty = data::Utf8FromAnsi(Column(row, 0, 10));
    l.quantity = ShownNumber(qty);
    l.description = data::Utf8FromAnsi(Column(row, 10, 32));
    l.price = ShownNumber(data::Utf8FromAnsi(Column(row, 42, 10)));
    l.taxable = data::Utf8FromAnsi(Column(row, 52, 1));
    const std::string ext = Column(row, 53, 10);
    if (!ext.empty()) l.extension = data::MoneyFromStored(ext).shownText();
    std::string bare;
    for (char c : qty)
        if (c != ',') bare += c;
    l.quantityValue = data::ParseDecimal(bare).value_or(data::Decimal());
    return l;
}

int LineNumber(const data::InvoiceLineRecord& r) {
    return int(data::WholeNumber(r.text(InvoiceLine::LineNo)).value_or(0));
}

std::vector<data::InvoiceLineRecord> ReadLines(storage::Fileblock* fb, const std::string& number) {
    std::vector<std::pair<int, data::InvoiceLineRecord>> found;
    if (!fb) return {};
    data::InvoiceLineRecord probe;
    probe.setText(InvoiceLine::InvNo, number);
    std::string key = data::InvoiceLineKey(probe, 2);
    const std::string wanted = key;
    int32_t recNo = storage::FindKeyAtOrAfter(fb, 2, key);
    while (storage::EngineOk && key == wanted) {
        auto r = data::ReadBusinessRecord<InvoiceLine>(fb, recNo);
        if (r && NumberKey(r->text(InvoiceLine::InvNo)) == number)
            found.emplace_back(LineNumber(*r), *r);
        storage::NextKey(fb, 2, key, recNo);
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<data::InvoiceLineRecord> out;
    for (auto& [n, r] : found)
        if (out.size() < size_t(data::kMaxInvoiceLines)) out.push_back(r);
    return out;
}

std::optional<data::MemoRecord> ReadMemo(storage::Fileblock* fb, const std::string& number) {
    if (!fb) return std::nullopt;
    data::MemoRecord probe;
    probe.setText(Memo::InvNo, number);
    auto f = data::FindAtOrAfter<Memo>(fb, 1, probe);
    if (!f || NumberKey(f->record.text(Memo::InvNo)) != number) return std::nullopt;
    return f->record;
}

std::optional<data::CustomerRecord> ReadCustomer(storage::Fileblock* fb, const std::string& no) {
    if (!fb || no.empty()) return std::nullopt;
    data::CustomerRecord probe;
    probe.setText(Customer::CustNo, no);
    std::string key = data::CustomerKey(probe, 2);
    const std::string wanted = key;
    int32_t recNo = storage::FindKeyAtOrAfter(fb, 2, key);
    while (storage::EngineOk && key == wanted) {
        auto r = data::ReadBusinessRecord<Customer>(fb, recNo);
        if (r && NumberKey(r->text(Customer::CustNo)) == NumberKey(no)) return r;
        storage::NextKey(fb, 2, key, recNo);
    }
    return std::nullopt;
}

// Every record of the number on invoice key 1, in key order, with its record number.
std::vector<std::pair<int32_t, data::InvoiceRecord>> RecordsOf(storage::Fileblock* fb,
                                                               const std::string& number) {
    std::vector<std::pair<int32_t, data::InvoiceRecord>> out;
    if (!fb || number.empty()) return out;
    data::InvoiceRecord probe;
    probe.setText(Invoice::InvNo, number);
    std::string key = data::InvoiceKey(probe, 1);
    const std::string wanted = key;
    int32_t recNo = storage::FindKeyAtOrAfter(fb, 1, key);
    while (storage::EngineOk && key == wanted) {
        auto r = data::ReadBusinessRecord<Invoice>(fb, recNo);
        if (r && NumberKey(r->text(Invoice::InvNo)) == number) out.emplace_back(recNo, *r);
        storage::NextKey(fb, 1, key, recNo);
    }
    return out;
}

bool IsPaymentRecord(char type) {
    return type == 'X' || type == 'T' || type == 'D';
}

}  // namespace

std::string_view KindCode(DocumentKind kind) {
    switch (kind) {
        case DocumentKind::Invoice:
            return "INV";
        case DocumentKind::Quote:
            return "QUO";
        case DocumentKind::PackingSlip:
            return "PSL";
        case DocumentKind::FileCopy:
            return "FCP";
    }
    return "INV";
}

bool DocumentLine::subtotalOrDiscount() const {
    const std::string d = Lower(description);
    return d.find("sub-tot") != std::string::npos || d.find("discount") != std::string::npos;
}

std::string InvoiceDocument::Padded(data::Money m) {
    std::string s = m.shownText();
    if (s.size() < 12) s.insert(0, 12 - s.size(), ' ');
    return s;
}

InvoiceDocument AssembleInvoiceDocument(const DocumentFiles& files, std::string_view number,
                                        const data::CompanyRecord& company,
                                        platform::Prompter& prompter) {
    InvoiceDocument doc;
    const std::string no = NumberKey(number);
    doc.number = no;
    const auto records = RecordsOf(files.invoices, no);
    if (records.empty()) return doc;
    doc.found = true;

    data::Money paid, total, tax;
    const data::InvoiceRecord* header = nullptr;
    for (const auto& [recNo, r] : records) {
        paid += r.money(Invoice::Paid);
        total += r.money(Invoice::Total);
        tax += r.money(Invoice::Tax);
        // Payment records share the number but carry the payment's date and no terms:
        // the header is the invoice's own record.
        if (!IsPaymentRecord(FirstUpper(r.text(Invoice::TransType)))) header = &r;
    }
    if (!header) header = &records.back().second;
    const data::InvoiceRecord& h = *header;
    doc.net = total - tax;
    doc.tax = tax;
    doc.grandTotal = total;
    doc.paid = paid;
    doc.balanceDue = total - paid;

    const data::DateOrder order = data::DateOrderFromCode(company.text(Company::DateFormatCode));
    doc.number = TrimmedText(h.text(Invoice::InvNo));
    doc.date = TrimmedText(h.text(Invoice::InvDate));
    doc.account = TrimmedText(h.text(Invoice::CustNo));
    doc.terms = TrimmedText(h.text(Invoice::Terms));
    doc.reference = TrimmedText(h.text(Invoice::InvNotes));
    doc.transType = FirstUpper(h.text(Invoice::TransType));
    if (!doc.transType) doc.transType = 'I';
    doc.style = FirstUpper(h.text(Invoice::InvoiceStyle));
    if (!doc.style) doc.style = 'P';
    doc.printed = h.yes(Invoice::PrintedFlag);
    doc.paidMark = TrimmedText(h.text(Invoice::PaidFlag)) == "P";
    doc.eMailedOn = TrimmedText(h.text(Invoice::EMailedOn));
    doc.taxRate = TrimmedText(h.text(Invoice::TaxRate));
    if (doc.taxRate.empty()) doc.taxRate = TrimmedText(company.text(Company::DefTaxRate));
    const std::string paidDate = TrimmedText(h.text(Invoice::PaidDate));
    doc.paidDate = data::UserDateFromSortDate(paidDate, order).value_or(paidDate);

    if (auto c = ReadCustomer(files.customers, doc.account)) {
        doc.customerFound = true;
        doc.billTo = {c->text(Customer::Name), c->text(Customer::BillAddr1),
                      c->text(Customer::BillAddr2), c->text(Customer::BillAddr3),
                      c->text(Customer::BillAddr4)};
        doc.shipTo = {c->text(Customer::ShipAddr1), c->text(Customer::ShipAddr2),
                      c->text(Customer::ShipAddr3), c->text(Customer::ShipAddr4)};
        doc.noteOnInvoice = c->yes(Customer::NotesOnInvoice);
        doc.taxExempt = c->yes(Customer::TaxExempt);
        doc.note = c->text(Customer::Notes);
        doc.eMail = TrimmedText(c->text(Customer::EMail));
        doc.mailSortCode = TrimmedText(c->text(Customer::MailSortCode));
        doc.custType = TrimmedText(c->text(Customer::CustType));
        doc.accountBalance = c->money(Customer::Balance);
        doc.aging = {c->money(Customer::Age0to30), c->money(Customer::Age31to60),
                     c->money(Customer::Age61to90), c->money(Customer::AgeOver90)};
    }

    if (doc.isMemo()) {
        if (auto m = ReadMemo(files.memos, no)) {
            for (int k = 1; k <= data::kMemoLines; ++k) {
                // Blank lines keep their place, so the text keeps its spacing.
                std::string line = m->text(data::MemoLineField(k));
                if (data::TrimText(line).empty()) line.clear();
                doc.memo.push_back(std::move(line));
            }
        } else {
            doc.memoMissing = true;
            prompter.inform(std::string(data::kAppTitle), std::string(kMemoMissing),
                            platform::Icon::Warning);
        }
    } else if (doc.style != 'D') {
        for (const auto& r : ReadLines(files.lines, no))
            doc.lines.push_back(LineOf(r));
        WriteSpecialLineTexts(doc.lines, company.text(Company::CurrencySymbol));
    }
    return doc;
}

void WriteSpecialLineTexts(std::vector<DocumentLine>& lines, std::string_view currency) {
    using data::DiscountPart;
    using data::Money;
    Money subTotal, taxed, untaxed;
    std::optional<Money> untaxedHalf;  // the base of the untaxed half after a taxed one
    for (DocumentLine& l : lines) {
        const Money e = data::ParseMoney(l.extension).value_or(Money());
        std::optional<Money> pending;
        const bool isSubTotal = data::IsSubTotalLine(l.code, l.description);
        if (isSubTotal) {
            l.description = data::SubTotalText(l.code, currency, subTotal);
            subTotal = Money();
        } else if (data::IsDiscountLine(l.code)) {
            const auto percent = data::DiscountPercentOf(l.code);
            const DiscountPart part = data::DiscountPartOf(l.description);
            Money base = taxed + untaxed;
            if (part == DiscountPart::Untaxed && untaxedHalf) {
                base = *untaxedHalf;
            } else if (part == DiscountPart::Taxed) {
                base = taxed;
                pending = untaxed;
            }
            if (percent) {
                const DiscountPart shown =
                    part == DiscountPart::Untaxed && !untaxedHalf ? DiscountPart::Whole : part;
                l.description = data::DiscountText(*percent, currency, base, shown);
            }
            taxed = untaxed = Money();
        } else if (TrimmedText(l.taxable) == "Y") {
            taxed += e;
        } else {
            untaxed += e;
        }
        if (!isSubTotal) subTotal += e;
        untaxedHalf = pending;
    }
}

DocumentKind KindOfDocument(const InvoiceDocument& doc) {
    return doc.transType == 'Q' ? DocumentKind::Quote : DocumentKind::Invoice;
}

FormTexts ReadFormTexts(const data::CompanyRecord& c) {
    auto or_ = [](std::string v, std::string_view fallback) {
        if (data::TrimText(v).empty()) return std::string(fallback);
        return v;
    };
    FormTexts t;
    t.invoiceCaption = or_(TrimmedText(c.text(Company::InvoiceCaption)), "INVOICE");
    t.quoteCaption = or_(TrimmedText(c.text(Company::QuoteCaption)), "Quote");
    t.packSlipCaption = or_(TrimmedText(c.text(Company::PackSlipCaption)), "PACKING SLIP");
    t.fileCopyCaption = or_(TrimmedText(c.text(Company::FileCopyCaption)), "FILE COPY");
    t.shipCaption = or_(TrimmedText(c.text(Company::ShipToCaption)), "Deliver To:");
    t.codeHeading = or_(TrimmedText(c.text(Company::CodeHeading)), "Product Code");
    t.qtyHeading = or_(TrimmedText(c.text(Company::QtyHeading)), "Quantity");
    t.descHeading = or_(TrimmedText(c.text(Company::DescHeading)), "Description");
    t.priceHeading = or_(TrimmedText(c.text(Company::PriceHeading)), "Unit Price");
    t.extHeading = or_(TrimmedText(c.text(Company::ExtHeading)), "Amount");
    t.memoHeading = TrimmedText(c.text(Company::MemoHeading));
    t.taxName = TrimmedText(c.text(Company::TaxHeading));
    t.currency = TrimmedText(c.text(Company::CurrencySymbol));
    return t;
}

std::string DocumentCaption(const InvoiceDocument& doc, DocumentKind kind, const FormTexts& t) {
    switch (kind) {
        case DocumentKind::Invoice:
            if (doc.balanceDue < data::Money()) return "C  R  E  D  I  T";
            return doc.transType == 'R' ? "REPEAT MASTER SETUP" : t.invoiceCaption;
        case DocumentKind::Quote:
            return t.quoteCaption;
        case DocumentKind::PackingSlip:
            return t.packSlipCaption;
        case DocumentKind::FileCopy:
            return t.fileCopyCaption;
    }
    return t.invoiceCaption;
}

std::string CaptionWord(std::string_view caption) {
    std::string word;
    for (char c : caption)
        if (c != ' ' && c != '\r' && c != '\n' && c != '\t') word += c;
    word = Lower(word);
    if (!word.empty()) word[0] = char(std::toupper(static_cast<unsigned char>(word[0])));
    return word;
}

std::string QuoteTotalLabel(const FormTexts& t) {
    return CaptionWord(t.quoteCaption) + " Total:";
}

std::string TaxLabel(const InvoiceDocument& doc, const FormTexts& t) {
    if (doc.taxRate.empty()) return t.taxName;
    return doc.taxRate + "% " + t.taxName;
}

bool ShowsTaxRow(const InvoiceDocument& doc, const FormTexts& t) {
    return !t.taxName.empty() || !doc.tax.isZero();
}

std::string PrintJobTitle(const InvoiceDocument& doc, DocumentKind kind) {
    switch (kind) {
        case DocumentKind::Invoice:
            return "Invoice - " + doc.number;
        case DocumentKind::Quote:
            return "Quote - " + doc.number;
        case DocumentKind::PackingSlip:
            return "Packing Slip - " + doc.number;
        case DocumentKind::FileCopy:
            return "File Copy - " + doc.number;
    }
    return "Invoice - " + doc.number;
}

bool ShowsDuplicate(const InvoiceDocument& doc, DocumentKind kind,
                    const data::CompanyRecord& company) {
    return kind == DocumentKind::Invoice && doc.printed &&
           company.byte(Company::PrintDuplicate) != 0;
}

std::array<std::string, 4> AgingCaptions(const data::CompanyRecord& c) {
    return {TrimmedText(c.text(Company::AgingCaption1)),
            TrimmedText(c.text(Company::AgingCaption2)),
            TrimmedText(c.text(Company::AgingCaption3)),
            "Over " + TrimmedText(c.text(Company::AgingDays3)) + ": "};
}

bool MarkInvoicePrinted(storage::Fileblock* invoices, const InvoiceDocument& doc,
                        platform::Prompter& prompter, const std::optional<std::string>& eMailedOn) {
    if (doc.printed || !doc.found) return true;
    bool ok = true;
    for (const auto& [recNo, r] : RecordsOf(invoices, NumberKey(doc.number))) {
        const char type = FirstUpper(r.text(Invoice::TransType));
        if (type != 'Z' && type != 'I' && type != 'M' && type != 'G') continue;
        data::InvoiceRecord updated = r;
        updated.setYes(Invoice::PrintedFlag, true);
        if (eMailedOn) updated.setText(Invoice::EMailedOn, *eMailedOn);
        if (!data::ChangeBusinessRecord(invoices, recNo, r, updated, prompter).ok()) ok = false;
    }
    return ok;
}

std::string InvoicePdfName(const InvoiceDocument& doc, DocumentKind kind) {
    const std::string base = kind == DocumentKind::Quote ? "Quote-" : "Invoice-";
    return SafeFileName(base + doc.number + ".pdf");
}

}  // namespace invarro::output
