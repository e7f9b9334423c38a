// The invoice document: the values of one stored invoice or quote gathered for output
// (header, customer, lines or memo, totals, aging), the document kinds it is rendered
// as, the captions and headings with their defaults, the printed mark, and the file
// names of invoice PDFs.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/Dates.h"
#include "data/Money.h"
#include "data/Records.h"
#include "output/FileNames.h"
#include "platform/Prompter.h"
#include "storage/Engine.h"

namespace invarro::output {

// What a document is printed as: INV, QUO, PSL (packing slip) or FCP (file copy).
enum class DocumentKind { Invoice, Quote, PackingSlip, FileCopy };
std::string_view KindCode(DocumentKind kind);

// One line item as the document shows it.
struct DocumentLine {
    std::string code;      // product code, at most 10 characters
    std::string quantity;  // with as many decimals as stored (0..4), thousands separated
    // At most 32 characters as stored; sub-total and discount lines are written whole
    // from their amounts (WriteSpecialLineTexts).
    std::string description;
    std::string price;      // like the quantity
    std::string taxable;    // one character
    std::string extension;  // ",0.00"; empty when the stored extension is blank
    // The raw quantity as a number, for the quantity total (0 when it is not a number).
    data::Decimal quantityValue;
    // Descriptions containing "sub-tot" or "discount" (any letter case) are sub-total and
    // discount rows: packing slips leave them out and the quantity total skips them.
    bool subtotalOrDiscount() const;
};

struct InvoiceDocument {
    bool found = false;  // a record with the number exists
    std::string number;
    std::string date;
    std::string account;
    std::string terms;
    std::string reference;
    std::array<std::string, 5> billTo;
    std::array<std::string, 4> shipTo;
    char transType = 'I';
    char style = 'P';  // P line items, M memo, D deposit
    bool printed = false;
    bool paidMark = false;  // the invoice's record is marked paid
    bool noteOnInvoice = false;
    std::string note;
    std::string eMail;
    std::string mailSortCode;
    std::string custType;
    std::string eMailedOn;
    std::string taxRate;  // the invoice's rate, else the company's

    data::Money net, tax, grandTotal, paid, balanceDue;
    std::string paidDate;  // in the company's date order; empty when unpaid
    data::Money accountBalance;
    std::array<data::Money, 4> aging;
    bool customerFound = false;
    bool taxExempt = false;  // the customer is exempt from tax

    std::vector<DocumentLine> lines;  // line-item invoices, in row order, at most 99
    std::vector<std::string> memo;    // memo invoices: the 25 lines, blank ones empty
    bool memoMissing = false;         // a memo invoice without its memo record

    bool isMemo() const { return style == 'M'; }
    // Amounts as the totals show them: ",0.00" padded on the left to 12 characters.
    static std::string Padded(data::Money m);
};

// The fileblocks assembly reads (all open).
struct DocumentFiles {
    storage::Fileblock* invoices = nullptr;
    storage::Fileblock* lines = nullptr;
    storage::Fileblock* memos = nullptr;
    storage::Fileblock* customers = nullptr;
};

inline constexpr std::string_view kMemoMissing = "Error reading memo data.";

// Gathers the invoice with this number (compared trimmed and in upper case, never by
// prefix): amounts summed over every record of the number (the invoice, its partial
// payments and applied deposits), the header from the invoice's own record rather than
// a payment record, the customer by number, and the lines or memo of exactly this number.
// A memo invoice without its memo shows "Error reading memo data." through prompter.
InvoiceDocument AssembleInvoiceDocument(const DocumentFiles& files, std::string_view number,
                                        const data::CompanyRecord& company,
                                        platform::Prompter& prompter);

// Writes the texts of the sub-total and discount lines from the amounts of the lines
// above them, as the invoice editor writes them, so that a large amount prints whole
// where the stored description (32 characters) cut its last digits: "*** Sub-Total
// SUB-TOTAL $1,317.50", "10% Discount on $150.00", "10% Discount on untaxed $617.50".
// A discount line whose percentage cannot be read keeps its text.
void WriteSpecialLineTexts(std::vector<DocumentLine>& lines, std::string_view currency);

// The kind a print request of this document gets: QUO for a quote, else INV.
DocumentKind KindOfDocument(const InvoiceDocument& doc);

// Captions and headings from the company settings; an older company record with blank
// ones gets the usual words rather than blank print.
struct FormTexts {
    std::string invoiceCaption, quoteCaption, packSlipCaption, fileCopyCaption;
    std::string shipCaption;
    std::string codeHeading, qtyHeading, descHeading, priceHeading, extHeading;
    std::string memoHeading;
    std::string taxName;
    std::string currency;
};
FormTexts ReadFormTexts(const data::CompanyRecord& company);

// The caption at the top of the document of this kind: a negative balance turns an
// invoice into "C  R  E  D  I  T", a repeat master reads "REPEAT MASTER SETUP".
std::string DocumentCaption(const InvoiceDocument& doc, DocumentKind kind, const FormTexts& t);
// The grand-total label of a quote: the quote caption without blanks or line breaks,
// first letter upper case, the rest lower case, and " Total:" ("Q U O T E" gives
// "Quote Total:").
std::string QuoteTotalLabel(const FormTexts& t);
// A caption as one word: blanks and line breaks removed, first letter upper case, the
// rest lower case ("I N V O I C E" gives "Invoice").
std::string CaptionWord(std::string_view caption);
// The tax row's label: TaxName, or rate + "% " + TaxName when the document has a rate.
std::string TaxLabel(const InvoiceDocument& doc, const FormTexts& t);
// Whether the tax row is shown: a tax name is set or the tax is not zero.
bool ShowsTaxRow(const InvoiceDocument& doc, const FormTexts& t);
// "Invoice - 1043", "Quote - 1043", "Packing Slip - 1043", "File Copy - 1043".
std::string PrintJobTitle(const InvoiceDocument& doc, DocumentKind kind);
// Whether the document carries the duplicate mark: an invoice already printed, with the
// company's "Print Duplicate Invoice" on.
bool ShowsDuplicate(const InvoiceDocument& doc, DocumentKind kind,
                    const data::CompanyRecord& company);
// The aging captions of the footer: the company's three, then "Over " + days + ": ".
std::array<std::string, 4> AgingCaptions(const data::CompanyRecord& company);

// Marks the invoice printed: every record of the number whose type is Z, I, M or G gets
// the printed flag "Y" (and, with eMailedOn, the e-mail stamp), through the change
// protocol. Nothing happens when the document was printed already. False when a record
// could not be rewritten; the records already marked stay marked.
bool MarkInvoicePrinted(storage::Fileblock* invoices, const InvoiceDocument& doc,
                        platform::Prompter& prompter,
                        const std::optional<std::string>& eMailedOn = std::nullopt);

// "Invoice-" + number + ".pdf", or "Quote-" + number + ".pdf" for a quote.
std::string InvoicePdfName(const InvoiceDocument& doc, DocumentKind kind);

}  // namespace invarro::output
