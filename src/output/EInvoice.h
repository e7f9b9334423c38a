// The electronic invoice: a stored invoice written as a UN/CEFACT Cross Industry Invoice
// (the XML of Factur-X and ZUGFeRD) in the EN 16931 profile.
//
// How the books map onto it:
// - Taxable lines at the invoice's tax rate are VAT category S; lines that are not taxed,
//   and every line of a tax-exempt customer or of an invoice without a tax rate, take the
//   category the company chose (Z zero-rated, E exempt with its reason, O not subject).
// - Discount lines are lines with a negative amount; sub-total lines are left out (they
//   repeat amounts); comment lines (no code, no amount) become notes of the document.
//   A line whose quantity times price is not its stored amount is written as one unit at
//   the amount.
// - A memo invoice is one line carrying the memo's text.
// - Amounts are the stored ones: the lines' extensions, the invoice's tax, total, paid
//   (partial payments and applied deposits, BT-113) and balance due. Where the per-category
//   rounding of the standard (basis x rate, to cents) gives another tax than the stored
//   one, or the stored amounts do not add up, no e-invoice is written.
// - An invoice with a negative total is a credit note (381) with its amounts turned
//   positive. The payment terms text says when, with the due date where the terms name a
//   number of days (the invoice date without terms).
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "data/EInvoiceData.h"
#include "output/InvDoc.h"

namespace invarro::output {

struct EInvoiceInput {
    const InvoiceDocument& doc;
    const data::CompanyRecord& company;
    data::CompanyEInvoice seller;
    data::CustomerEInvoice buyer;
    // The unit code of a product code (its description given for the default); empty
    // code for lines without one.
    std::function<std::string(const std::string& code, const std::string& description)> unitOf;
};

struct EInvoiceResult {
    std::string xml;
    std::string error;  // why no e-invoice could be written
    bool ok() const { return error.empty(); }
};

// The XML of the invoice, or the reason there is none.
EInvoiceResult MakeCiiXml(const EInvoiceInput& in);

// The same for the invoice with this number, read from the company's files and settings
// (folder is the data folder; the e-invoicing fileblock is read when it is there).
EInvoiceResult InvoiceCiiXml(const DocumentFiles& files, const std::string& folder,
                             std::string_view number, const data::CompanyRecord& company,
                             platform::Prompter& prompter);
EInvoiceResult DocumentCiiXml(const InvoiceDocument& doc, const std::string& folder,
                              const data::CompanyRecord& company, platform::Prompter& prompter);

// Whether the company's invoice PDFs are e-invoices: its "E-invoice" setting.
bool EInvoiceOn(const std::string& folder, const data::CompanyRecord& company);
// The XML an invoice PDF of this kind carries: none (and no error) when on is false or
// the document is a quote, packing slip or file copy; else the e-invoice or why there is
// none.
EInvoiceResult PdfInvoiceXml(const InvoiceDocument& doc, DocumentKind kind,
                             const std::string& folder, const data::CompanyRecord& company,
                             bool on);

// The name the XML carries inside a Factur-X PDF.
inline constexpr std::string_view kFacturXName = "factur-x.xml";

}  // namespace invarro::output
