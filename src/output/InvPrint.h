// The invoice document on the page canvas: the page layout of invoices, quotes, packing
// slips and file copies (printer and PDF), the narrow receipt format, the invoice PDF
// file, and one print request with the packing slip and file copies that follow it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/Records.h"
#include "output/Canvas.h"
#include "output/InvDoc.h"
#include "output/LabelQueue.h"
#include "output/PageWriter.h"
#include "output/PaymentBlock.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"

namespace invarro::output {

// What the layout reads besides the document: the company's form settings, and the data
// folder with the colour files ("Shadeclr.fnt", "InvBoxClr.fnt") and a logo named
// without a folder.
struct FormContext {
    const data::CompanyRecord& company;
    std::string folder;
    // Pixels per inch of the screen the logo was made for; the logo is drawn at half its
    // size scaled from there to the device.
    int screenResolution = 96;
};

// A setting that holds a number of device units; blank or anything else is 0.
int SettingNumber(const std::string& text);
// A picture path from the record: absolute, or a name in the data folder.
std::string PicturePath(const std::string& folder, const std::string& name);

// Memo text: the invoice editor's face two points larger, in the body's style and colour.
Font MemoFont(const data::CompanyRecord& company);

// The payment block under the totals: the seller's VAT number and tax number on every
// kind but the packing slip, and the bank details on invoices, credit notes and file
// copies, not on quotes. An invoice with a balance to pay names its RF reference when the
// company has an IBAN, and carries the EPC payment code sized for the canvas when its
// invoices are in euro and payment codes are not switched off.
PaymentBlock DocumentPaymentBlock(const InvoiceDocument& doc, DocumentKind kind,
                                  const FormContext& form, const Canvas& canvas);

// Draws the document as one print job (or into the PDF file target on a PDF canvas) in
// the page layout: company and customer blocks, info rows, the line table with page
// breaks and continuation headers, or the memo text, totals, sales message and aging
// footer, with the payment block under the totals. Nothing is drawn over the footer or
// off the page: when the totals and the payment block do not fit above it they go onto a
// new page. False when the canvas could not print.
// With einvoiceXml, a PDF comes out as a Factur-X e-invoice carrying it.
// An invoice of a company in Switzerland or Liechtenstein that is to be paid gets the
// QR-bill on a page of its own after it (see SwissBill.h), not counted in the invoice's
// pages; when the bill cannot be made, none is printed and *note says why.
bool PrintDocument(Canvas& canvas, const InvoiceDocument& doc, DocumentKind kind,
                   const FormContext& form, const std::string& target = {},
                   const std::string& einvoiceXml = {}, std::string* note = nullptr);

// The same values in one narrow column for a receipt printer.
bool PrintReceipt(Canvas& canvas, const InvoiceDocument& doc, DocumentKind kind,
                  const FormContext& form, const platform::Clock& clock);

// Writes the document as "Invoice-<number>.pdf" or "Quote-<number>.pdf" into the data
// folder's "pdf" folder (created readable by the owner only) with the company as author,
// the caption and number as subject and the print-job title as title.
struct PdfOutcome {
    bool found = false;  // the invoice exists
    bool ok = false;
    std::string path;    // the file written
    std::string status;  // "PDF: <file> complete.", and the note when there is one
    std::string error;
    std::string note;  // why a QR-bill due on the document was left out; empty otherwise
};
inline constexpr std::string_view kPdfProducer = "Invarro invoicing";
// With a path, the file is written there instead. An invoice of a company whose
// "E-invoice" setting is on (or with einvoice true) is a Factur-X e-invoice; one that
// cannot be made right is refused and no file is written.
PdfOutcome WriteInvoicePdf(Canvas& pdfCanvas, const InvoiceDocument& doc, DocumentKind kind,
                           const FormContext& form, const std::string& path = {},
                           std::optional<bool> einvoice = std::nullopt);

// Send to PDF for the number: the document assembled from the files and written as the
// kind asked for, or as the kind a print request of it gets (quote or invoice). Deposit
// records are refused: a statement shows them. The printed mark is left as it is.
PdfOutcome InvoicePdf(const DocumentFiles& files, std::string_view number, const FormContext& form,
                      Canvas& pdfCanvas, platform::Prompter& prompter,
                      std::optional<DocumentKind> kind = std::nullopt, const std::string& path = {},
                      std::optional<bool> einvoice = std::nullopt);
// Deposit records (types D and T) are viewed, not printed.
bool IsDepositType(char transType);

// One print request of the invoice manager: the main document on the printer (the
// receipt format when the company chose it), the printed mark for invoices and file
// copies, the label queue entry of a batch run, then - unless only a packing slip was
// asked for - a packing slip and the file copies the company prints with each invoice.
struct PrintRequest {
    std::string number;
    bool packingSlipOnly = false;  // "Print Packing Slip"
    bool batch = false;            // batch printing (the label queue may take the customer)
};
struct PrintOutcome {
    bool found = false;    // the invoice exists
    bool printed = false;  // the main document came out
    std::string status;    // "Invoice 1043 sent to printer."
    std::string error;     // why the printer refused
    std::string printer;   // where it went (the printer's name or the file); empty: not known
    std::string note;      // why a QR-bill due on the invoice was left out; empty otherwise
};
PrintOutcome PrintInvoice(const DocumentFiles& files, const PrintRequest& request,
                          const FormContext& form, Canvas& printer, platform::Prompter& prompter,
                          const platform::Clock& clock, LabelQueue* labels = nullptr);

}  // namespace invarro::output
