#include "output/InvView.h"

#include "data/Ansi.h"

namespace invarro::output {

namespace {

using data::Company;

std::string QuantityTotal(const InvoiceDocument& doc) {
    int64_t units = 0;
    for (const DocumentLine& l : doc.lines)
        if (!l.subtotalOrDiscount()) units += l.quantityValue.units();
    return data::Decimal::FromUnits(units).text(2, true);
}

}  // namespace

InvoiceView MakeInvoiceView(const InvoiceDocument& doc, const data::CompanyRecord& company) {
    const FormTexts t = ReadFormTexts(company);
    InvoiceView v;
    v.quote = doc.transType == 'Q';
    v.title = (v.quote ? "View Quote# " : "View Invoice# ") + doc.number;
    switch (doc.transType) {
        case 'R':
            v.banner = "** REPEAT BILLING MASTER SETUP **";
            break;
        case 'D':
            v.banner = "DEPOSIT ON ACCOUNT OF " + (-doc.balanceDue).shownText() +
                       ". (A zero amount indicates deposit has been offset).";
            break;
        case 'G':
            v.banner = "** GENERATED BILLING **";
            break;
        default:
            break;
    }
    v.billTo = doc.billTo;
    v.shipTo = doc.shipTo;
    v.dateRow =
        "Date: " + doc.date + "     Number: " + doc.number + "     Account Number: " + doc.account;
    v.terms = "Payment Terms: " + doc.terms;
    v.reference = "Reference: " + doc.reference;

    if (doc.style == 'D') {
        v.bodyCaption = doc.transType == 'T' ? "Deposit on Account - Offset against invoices."
                                             : "Deposit on Account";
    } else if (doc.isMemo()) {
        v.memo = true;
        v.bodyCaption = "Memo Invoice";
        size_t last = 0;
        for (size_t k = 0; k < doc.memo.size(); ++k)
            if (!data::TrimText(doc.memo[k]).empty()) last = k + 1;
        for (size_t k = 0; k < last; ++k) {
            if (k) v.memoText += "\n";
            v.memoText += doc.memo[k];
        }
    } else {
        v.bodyCaption = "Product Code Invoice";
        int n = 0;
        for (const DocumentLine& l : doc.lines)
            v.rows.push_back({std::to_string(++n), l.code, l.quantity, l.description, l.price,
                              l.taxable, l.extension});
    }

    const std::string cur = t.currency;
    v.totals.emplace_back("Total:", cur + doc.net.shownText());
    if (ShowsTaxRow(doc, t)) v.totals.emplace_back(TaxLabel(doc, t), cur + doc.tax.shownText());
    if (v.quote) {
        v.totals.emplace_back("Quote Total:", cur + doc.grandTotal.shownText());
        v.quoteNote = "This is only a Quote";
    } else {
        v.totals.emplace_back("Grand Total:", cur + doc.grandTotal.shownText());
        v.totals.emplace_back("Balance Due:", cur + doc.balanceDue.shownText());
        v.totals.emplace_back("Paid Amount: ", cur + doc.paid.shownText());
        v.totals.emplace_back("Paid Date: ", doc.paidDate);
    }
    if (data::TrimmedText(company.text(Company::TotalQuantity)) == "Y" && !v.memo &&
        doc.style != 'D')
        v.totals.emplace_back("Total " + t.qtyHeading + ":", QuantityTotal(doc));
    return v;
}

}  // namespace invarro::output
