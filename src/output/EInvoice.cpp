#include "output/EInvoice.h"

#include <map>
#include <optional>
#include <vector>

#include "data/Ansi.h"
#include "data/Dates.h"
#include "data/DueDate.h"
#include "data/Fileblocks.h"
#include "data/Open.h"
#include "data/PaymentReference.h"
#include "platform/XmlText.h"

namespace invarro::output {

namespace {

using data::Company;
using data::Decimal;
using data::Money;
using data::TrimmedText;
using platform::XmlText;

std::string WithoutCommas(std::string_view s) {
    std::string out;
    for (char c : s)
        if (c != ',' && c != ' ') out += c;
    return out;
}

// A quantity, price or rate with the decimals it needs (at most four).
std::string Number(Decimal d) {
    std::string s = d.text(4);
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

std::string Amount(Money m) {
    return m.storedText();
}

std::string DateText(const data::Date& d) {
    char b[16];
    std::snprintf(b, sizeof b, "%04d%02d%02d", d.year, d.month, d.day);
    return b;
}

bool HasWord(std::string_view text, std::string_view word) {
    return data::UpperText(text).find(word) != std::string::npos;
}

struct Line {
    std::string code, name, description, unit;
    Decimal quantity, price;
    Money amount;
    char category = 'S';
};

struct Category {
    Money basis, tax;
};

class Writer {
  public:
    void open(std::string_view tag) {
        indent();
        out_ += "<" + std::string(tag) + ">\n";
        ++depth_;
    }
    void close(std::string_view tag) {
        --depth_;
        indent();
        out_ += "</" + std::string(tag) + ">\n";
    }
    void leaf(std::string_view tag, std::string_view text, std::string_view attrs = {}) {
        indent();
        out_ += "<" + std::string(tag) + (attrs.empty() ? "" : " " + std::string(attrs)) + ">" +
                XmlText(text) + "</" + std::string(tag) + ">\n";
    }
    void date(std::string_view tag, const data::Date& d) {
        open(tag);
        leaf("udt:DateTimeString", DateText(d), "format=\"102\"");
        close(tag);
    }
    void raw(std::string_view s) { out_ += s; }
    std::string take() { return std::move(out_); }

  private:
    void indent() { out_.append(size_t(depth_) * 2, ' '); }
    std::string out_;
    int depth_ = 0;
};

void WriteAddress(Writer& w, const std::vector<std::string>& lines, const std::string& country) {
    w.open("ram:PostalTradeAddress");
    static const char* const kTags[] = {"ram:LineOne", "ram:LineTwo", "ram:LineThree"};
    size_t k = 0;
    for (const std::string& l : lines)
        if (!TrimmedText(l).empty() && k < 3) w.leaf(kTags[k++], TrimmedText(l));
    w.leaf("ram:CountryID", country);
    w.close("ram:PostalTradeAddress");
}

void WriteElectronicAddress(Writer& w, const std::string& text) {
    if (auto a = data::ParseElectronicAddress(text)) {
        w.open("ram:URIUniversalCommunication");
        w.leaf("ram:URIID", a->id, "schemeID=\"" + XmlText(a->scheme) + "\"");
        w.close("ram:URIUniversalCommunication");
    }
}

std::string Fail(const InvoiceDocument& doc, const std::string& why) {
    return "No e-invoice was written for invoice " + doc.number + ": " + why;
}

}  // namespace

EInvoiceResult MakeCiiXml(const EInvoiceInput& in) {
    const InvoiceDocument& doc = in.doc;
    const data::CompanyEInvoice& seller = in.seller;
    EInvoiceResult r;
    auto refuse = [&](const std::string& why) {
        r.error = Fail(doc, why);
        return r;
    };

    if (!doc.found) return refuse("it is not on file.");
    if (doc.transType == 'Q') return refuse("a quote is no invoice.");
    if (doc.transType == 'R') return refuse("a repeat master is no invoice.");
    if (doc.style == 'D' || doc.transType == 'D' || doc.transType == 'T')
        return refuse("a deposit on account is shown on the customer's statement.");
    if (doc.memoMissing) return refuse("its memo text cannot be read.");

    // The seller's settings, checked again: the INI file may have been edited by hand.
    const std::string currency = data::InvoiceCurrency(seller, in.company);
    if (currency.empty())
        return refuse("the currency symbol \"" +
                      TrimmedText(in.company.text(Company::CurrencySymbol)) +
                      "\" stands for more than one currency; choose the invoice currency in "
                      "Company Options.");
    if (!data::IsCurrencyCode(currency))
        return refuse("\"" + currency + "\" is not a known currency code (ISO 4217).");
    if (!data::IsCountryCode(seller.country))
        return refuse("the seller's country is not set in Company Options.");
    if (!seller.vatId.empty())
        if (std::string p = data::VatIdProblem(seller.vatId); !p.empty()) return refuse(p);
    if (!seller.iban.empty())
        if (std::string p = data::IbanProblem(seller.iban); !p.empty()) return refuse(p);
    if (!seller.bic.empty())
        if (std::string p = data::BicProblem(seller.bic); !p.empty()) return refuse(p);
    if (std::string p = data::CustomerEInvoiceProblem(in.buyer); !p.empty()) return refuse(p);
    const std::string buyerCountry = in.buyer.country.empty() ? seller.country : in.buyer.country;

    const data::DateOrder order = data::DateOrderFromCode(in.company.text(Company::DateFormatCode));
    const auto issued = data::ParseUserDate(doc.date, order);
    if (!issued) return refuse("its date \"" + doc.date + "\" cannot be read.");

    // A credit note states its amounts as positive ones.
    const bool credit = doc.grandTotal < Money();
    const int sign = credit ? -1 : 1;
    auto s = [sign](Money m) { return sign < 0 ? -m : m; };

    const Decimal rate = data::ParseDecimal(WithoutCommas(doc.taxRate)).value_or(Decimal());
    const bool taxes = rate > Decimal() && !doc.taxExempt;
    const char other = data::CategoryCode(seller.exempt);

    std::vector<Line> lines;
    std::vector<std::string> notes;
    if (!doc.reference.empty()) notes.push_back(doc.reference);
    if (doc.noteOnInvoice && !TrimmedText(doc.note).empty()) notes.push_back(TrimmedText(doc.note));

    if (doc.isMemo()) {
        std::vector<std::string> text;
        for (const std::string& m : doc.memo)
            if (!TrimmedText(m).empty()) text.push_back(TrimmedText(m));
        Line l;
        l.name = text.empty() ? std::string("Services") : text.front();
        for (size_t k = 1; k < text.size(); ++k)
            l.description += (k > 1 ? "\n" : "") + text[k];
        l.unit = std::string(data::kDefaultUnitCode);
        l.quantity = Decimal::FromInteger(1);
        l.amount = s(doc.net);
        l.price = Decimal::FromMoney(l.amount);
        if (l.amount < Money()) {
            l.quantity = Decimal::FromInteger(-1);
            l.price = Decimal::FromMoney(-l.amount);
        }
        l.category = taxes && !doc.tax.isZero() ? 'S' : other;
        lines.push_back(l);
    } else {
        for (const DocumentLine& d : doc.lines) {
            const std::string code = TrimmedText(d.code);
            const std::string desc = TrimmedText(d.description);
            if (HasWord(code, "SUB-TOTAL") || HasWord(desc, "SUB-TOTAL")) continue;
            const Money amount = data::ParseMoney(WithoutCommas(d.extension)).value_or(Money());
            const auto price = data::ParseDecimal(WithoutCommas(d.price));
            if (code.empty() && amount.isZero() && (!price || price->units() == 0)) {
                if (!desc.empty()) notes.push_back(desc);
                continue;
            }
            Line l;
            l.code = code;
            l.name = desc.empty() ? code : desc;
            l.unit = in.unitOf ? in.unitOf(code, desc) : std::string(data::kDefaultUnitCode);
            if (l.unit.empty()) l.unit = std::string(data::kDefaultUnitCode);
            l.amount = s(amount);
            Decimal q = d.quantityValue, p = price.value_or(Decimal());
            const bool discount = HasWord(code, "DISCOUNT");
            if (discount || data::Extend(q, p) != amount) {
                // One unit at the stored amount.
                q = Decimal::FromInteger(1);
                p = Decimal::FromMoney(amount);
            }
            if (sign < 0) q = Decimal::FromUnits(-q.units());
            if (p < Decimal()) {
                p = Decimal::FromUnits(-p.units());
                q = Decimal::FromUnits(-q.units());
            }
            l.quantity = q;
            l.price = p;
            l.category = taxes && TrimmedText(d.taxable) == "Y" ? 'S' : other;
            lines.push_back(l);
        }
    }
    if (lines.empty()) return refuse("it has no lines to bill.");

    // The stored amounts must add up as the standard adds them.
    Money lineTotal;
    std::map<char, Category> categories;
    for (const Line& l : lines) {
        lineTotal = lineTotal + l.amount;
        categories[l.category].basis = categories[l.category].basis + l.amount;
    }
    if (lineTotal != s(doc.net))
        return refuse("its lines add up to " + s(lineTotal).shownText() + ", its net amount is " +
                      doc.net.shownText() + ".");
    if (doc.net + doc.tax != doc.grandTotal)
        return refuse("its net amount and tax do not add up to its total.");
    if (categories.count('S')) {
        Category& c = categories['S'];
        c.tax = s(doc.tax);
        const Money rounded = data::PercentOf(c.basis, rate);
        if (rounded != c.tax)
            return refuse("its tax " + doc.tax.shownText() + " differs from " +
                          s(rounded).shownText() + ", the tax at " + Number(rate) + "% of " +
                          s(c.basis).shownText() +
                          " to the cent that the e-invoice rules require; correct the tax "
                          "first.");
        if (seller.vatId.empty() && seller.taxRegistration.empty())
            return refuse(
                "taxed lines (VAT category S) need the seller's VAT number; enter it "
                "in Company Options.");
    } else if (!doc.tax.isZero()) {
        return refuse("it charges tax " + doc.tax.shownText() + " but no line is taxed at a rate.");
    }
    if ((categories.count('Z') || categories.count('E')) && seller.vatId.empty() &&
        seller.taxRegistration.empty())
        return refuse(
            "the seller's VAT number or tax number is missing; enter it in Company "
            "Options.");
    if (categories.count('O') && categories.size() > 1)
        return refuse(
            "lines not subject to VAT cannot be billed beside taxed or zero-rated "
            "ones on one e-invoice.");
    if (categories.count('O') && seller.taxRegistration.empty())
        return refuse(
            "lines not subject to VAT need the seller's tax number in Company "
            "Options.");
    if (categories.count('E') && TrimmedText(seller.exemptionReason).empty())
        return refuse("exempt lines need the reason of the exemption in Company Options.");

    const Money grand = s(doc.grandTotal);
    const Money paid = s(doc.paid);
    const Money due = s(doc.balanceDue);
    if (grand - paid != due)
        return refuse("its total less the amount paid is not its balance due.");
    const bool notSubject = categories.count('O') > 0;

    Writer w;
    w.raw("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    w.raw(
        "<rsm:CrossIndustryInvoice "
        "xmlns:rsm=\"urn:un:unece:uncefact:data:standard:CrossIndustryInvoice:100\" "
        "xmlns:ram=\"urn:un:unece:uncefact:data:standard:"
        "ReusableAggregateBusinessInformationEntity:100\" "
        "xmlns:qdt=\"urn:un:unece:uncefact:data:standard:QualifiedDataType:100\" "
        "xmlns:udt=\"urn:un:unece:uncefact:data:standard:UnqualifiedDataType:100\">\n");
    w.open("rsm:ExchangedDocumentContext");
    w.open("ram:GuidelineSpecifiedDocumentContextParameter");
    w.leaf("ram:ID", "urn:cen.eu:en16931:2017");
    w.close("ram:GuidelineSpecifiedDocumentContextParameter");
    w.close("rsm:ExchangedDocumentContext");

    w.open("rsm:ExchangedDocument");
    w.leaf("ram:ID", doc.number);
    w.leaf("ram:TypeCode", credit ? "381" : "380");
    w.date("ram:IssueDateTime", *issued);
    for (const std::string& n : notes) {
        w.open("ram:IncludedNote");
        w.leaf("ram:Content", n);
        w.close("ram:IncludedNote");
    }
    w.close("rsm:ExchangedDocument");

    w.open("rsm:SupplyChainTradeTransaction");
    int lineNo = 0;
    for (const Line& l : lines) {
        w.open("ram:IncludedSupplyChainTradeLineItem");
        w.open("ram:AssociatedDocumentLineDocument");
        w.leaf("ram:LineID", std::to_string(++lineNo));
        w.close("ram:AssociatedDocumentLineDocument");
        w.open("ram:SpecifiedTradeProduct");
        if (!l.code.empty()) w.leaf("ram:SellerAssignedID", l.code);
        w.leaf("ram:Name", l.name);
        if (!l.description.empty()) w.leaf("ram:Description", l.description);
        w.close("ram:SpecifiedTradeProduct");
        w.open("ram:SpecifiedLineTradeAgreement");
        w.open("ram:NetPriceProductTradePrice");
        w.leaf("ram:ChargeAmount", Number(l.price));
        w.close("ram:NetPriceProductTradePrice");
        w.close("ram:SpecifiedLineTradeAgreement");
        w.open("ram:SpecifiedLineTradeDelivery");
        w.leaf("ram:BilledQuantity", Number(l.quantity), "unitCode=\"" + XmlText(l.unit) + "\"");
        w.close("ram:SpecifiedLineTradeDelivery");
        w.open("ram:SpecifiedLineTradeSettlement");
        w.open("ram:ApplicableTradeTax");
        w.leaf("ram:TypeCode", "VAT");
        w.leaf("ram:CategoryCode", std::string(1, l.category));
        if (l.category != 'O')
            w.leaf("ram:RateApplicablePercent", l.category == 'S' ? Number(rate) : "0");
        w.close("ram:ApplicableTradeTax");
        w.open("ram:SpecifiedTradeSettlementLineMonetarySummation");
        w.leaf("ram:LineTotalAmount", Amount(l.amount));
        w.close("ram:SpecifiedTradeSettlementLineMonetarySummation");
        w.close("ram:SpecifiedLineTradeSettlement");
        w.close("ram:IncludedSupplyChainTradeLineItem");
    }

    w.open("ram:ApplicableHeaderTradeAgreement");
    if (!in.buyer.buyerReference.empty()) w.leaf("ram:BuyerReference", in.buyer.buyerReference);
    w.open("ram:SellerTradeParty");
    w.leaf("ram:Name", TrimmedText(in.company.text(Company::Name)));
    if (notSubject) {
        w.open("ram:SpecifiedLegalOrganization");
        w.leaf("ram:ID", seller.taxRegistration);
        w.close("ram:SpecifiedLegalOrganization");
    }
    WriteAddress(w, {in.company.text(Company::CoAddr1), in.company.text(Company::CoAddr2)},
                 seller.country);
    if (!seller.electronicAddress.empty()) WriteElectronicAddress(w, seller.electronicAddress);
    if (!seller.vatId.empty() && !notSubject) {
        w.open("ram:SpecifiedTaxRegistration");
        w.leaf("ram:ID", data::CompactId(seller.vatId), "schemeID=\"VA\"");
        w.close("ram:SpecifiedTaxRegistration");
    }
    if (!seller.taxRegistration.empty()) {
        w.open("ram:SpecifiedTaxRegistration");
        w.leaf("ram:ID", seller.taxRegistration, "schemeID=\"FC\"");
        w.close("ram:SpecifiedTaxRegistration");
    }
    w.close("ram:SellerTradeParty");
    w.open("ram:BuyerTradeParty");
    if (!doc.account.empty()) w.leaf("ram:ID", doc.account);
    w.leaf("ram:Name",
           TrimmedText(doc.billTo[0]).empty() ? doc.account : TrimmedText(doc.billTo[0]));
    WriteAddress(w, {doc.billTo[1], doc.billTo[2], doc.billTo[3]}, buyerCountry);
    if (!in.buyer.electronicAddress.empty()) WriteElectronicAddress(w, in.buyer.electronicAddress);
    if (!in.buyer.vatId.empty() && !notSubject) {
        w.open("ram:SpecifiedTaxRegistration");
        w.leaf("ram:ID", data::CompactId(in.buyer.vatId), "schemeID=\"VA\"");
        w.close("ram:SpecifiedTaxRegistration");
    }
    w.close("ram:BuyerTradeParty");
    w.close("ram:ApplicableHeaderTradeAgreement");

    w.raw("  <ram:ApplicableHeaderTradeDelivery/>\n");

    w.open("ram:ApplicableHeaderTradeSettlement");
    // The remittance information the seller's bank reports back: the invoice's reference
    // where the invoice is paid to the seller's account (the QR reference for a Swiss
    // QR-IBAN, as on the QR-bill, else the RF reference), else the number.
    std::string remittance = doc.number;
    if (!seller.iban.empty() && !credit)
        remittance = data::InvoiceReferenceFor(seller.iban, doc.number).value_or(doc.number);
    w.leaf("ram:PaymentReference", remittance);
    w.leaf("ram:InvoiceCurrencyCode", currency);
    if (!seller.iban.empty() && !credit) {
        w.open("ram:SpecifiedTradeSettlementPaymentMeans");
        w.leaf("ram:TypeCode", "58");
        w.open("ram:PayeePartyCreditorFinancialAccount");
        w.leaf("ram:IBANID", data::CompactId(seller.iban));
        w.close("ram:PayeePartyCreditorFinancialAccount");
        if (!seller.bic.empty()) {
            w.open("ram:PayeeSpecifiedCreditorFinancialInstitution");
            w.leaf("ram:BICID", data::CompactId(seller.bic));
            w.close("ram:PayeeSpecifiedCreditorFinancialInstitution");
        }
        w.close("ram:SpecifiedTradeSettlementPaymentMeans");
    }
    for (const auto& [code, c] : categories) {
        w.open("ram:ApplicableTradeTax");
        w.leaf("ram:CalculatedAmount", Amount(c.tax));
        w.leaf("ram:TypeCode", "VAT");
        if (code == 'E') w.leaf("ram:ExemptionReason", TrimmedText(seller.exemptionReason));
        if (code == 'O') w.leaf("ram:ExemptionReason", "Not subject to VAT");
        w.leaf("ram:BasisAmount", Amount(c.basis));
        w.leaf("ram:CategoryCode", std::string(1, code));
        if (code != 'O') w.leaf("ram:RateApplicablePercent", code == 'S' ? Number(rate) : "0");
        w.close("ram:ApplicableTradeTax");
    }
    w.open("ram:SpecifiedTradePaymentTerms");
    if (!doc.terms.empty()) w.leaf("ram:Description", doc.terms);
    if (const std::optional<data::Date> due = data::PaymentDueDate(*issued, doc.terms))
        w.date("ram:DueDateDateTime", *due);
    w.close("ram:SpecifiedTradePaymentTerms");
    w.open("ram:SpecifiedTradeSettlementHeaderMonetarySummation");
    w.leaf("ram:LineTotalAmount", Amount(lineTotal));
    w.leaf("ram:TaxBasisTotalAmount", Amount(lineTotal));
    w.leaf("ram:TaxTotalAmount", Amount(s(doc.tax)), "currencyID=\"" + currency + "\"");
    w.leaf("ram:GrandTotalAmount", Amount(grand));
    if (!paid.isZero()) w.leaf("ram:TotalPrepaidAmount", Amount(paid));
    w.leaf("ram:DuePayableAmount", Amount(due));
    w.close("ram:SpecifiedTradeSettlementHeaderMonetarySummation");
    w.close("ram:ApplicableHeaderTradeSettlement");
    w.close("rsm:SupplyChainTradeTransaction");
    w.raw("</rsm:CrossIndustryInvoice>\n");
    r.xml = w.take();
    return r;
}

EInvoiceResult DocumentCiiXml(const InvoiceDocument& doc, const std::string& folder,
                              const data::CompanyRecord& company, platform::Prompter& prompter) {
    const std::string prefix = data::CompanyPrefix(company.text(Company::CompanyNo));
    data::ExistingFileblock einv;
    data::OpenExisting(einv, folder, data::FileKind::EInvoice, prefix, prompter);
    if (!einv.ok) {
        EInvoiceResult r;
        r.error = Fail(doc, "the e-invoicing file of the company cannot be opened.");
        return r;
    }
    data::CustomerEInvoice buyer;
    if (auto c = data::FindEInvoiceRecord(einv.fb, 'C', doc.account))
        buyer = data::CustomerEInvoiceOf(c->second);
    EInvoiceInput in{doc, company, data::ReadCompanyEInvoice(folder, company), buyer,
                     [&einv](const std::string& code, const std::string& description) {
                         if (!code.empty())
                             if (auto p = data::FindEInvoiceRecord(einv.fb, 'P', code)) {
                                 const std::string u =
                                     TrimmedText(p->second.text(data::EInvoice::UnitCode));
                                 if (!u.empty()) return u;
                             }
                         return data::DefaultUnitCode(description);
                     }};
    return MakeCiiXml(in);
}

bool EInvoiceOn(const std::string& folder, const data::CompanyRecord& company) {
    return data::ReadCompanyEInvoice(folder, company).on;
}

EInvoiceResult PdfInvoiceXml(const InvoiceDocument& doc, DocumentKind kind,
                             const std::string& folder, const data::CompanyRecord& company,
                             bool on) {
    if (!on || kind != DocumentKind::Invoice || doc.transType == 'Q' || doc.transType == 'R')
        return {};
    // The document was read already: nothing to say a second time.
    struct Silent : platform::Prompter {
        platform::Answer ask(const platform::Message& m) override { return m.defaultButton; }
    } silent;
    return DocumentCiiXml(doc, folder, company, silent);
}

EInvoiceResult InvoiceCiiXml(const DocumentFiles& files, const std::string& folder,
                             std::string_view number, const data::CompanyRecord& company,
                             platform::Prompter& prompter) {
    const InvoiceDocument doc = AssembleInvoiceDocument(files, number, company, prompter);
    if (!doc.found) {
        EInvoiceResult r;
        r.error = "Invoice " + TrimmedText(number) + " was not found.";
        return r;
    }
    return DocumentCiiXml(doc, folder, company, prompter);
}

}  // namespace invarro::output
