// The invoice document from the windows: assembled from the invoice manager's open files
// (the customer file opened for the moment), printed on the program's printer, written as
// a PDF file, or shown in the view window.
#pragma once

#include <QWidget>
#include <memory>
#include <string>
#include <string_view>

#include "invoicing/InvManage.h"
#include "output/EMail.h"
#include "output/InvPrint.h"
#include "ui/InvList.h"

namespace invarro::ui {

output::InvoiceDocument AssembleForWindow(const invoicing::InvoiceFiles& files,
                                          std::string_view number, platform::Prompter& prompter);

// The document kinds and records the manager's print commands refuse: deposit records
// (types D and T) are viewed, not printed.
bool IsDepositRecord(const data::InvoiceRecord& record);

// One print request on the printer of the context (the program's printer unless the
// context names another canvas). Nothing is printed, and false comes back, when no
// printer is available (the user has been told) or the printer refused (told as well).
bool PrintFromWindow(const InvoiceWindowContext& context, invoicing::InvoiceFiles& files,
                     const output::PrintRequest& request, output::PrintOutcome& outcome,
                     output::Canvas* printer = nullptr);

// The printer canvas of the context, for a run of several requests.
std::unique_ptr<output::Canvas> MakePrinterCanvas(const InvoiceWindowContext& context);

// Writes the PDF of the number and opens it with the desktop's viewer. A failure is shown.
output::PdfOutcome PdfFromWindow(const InvoiceWindowContext& context,
                                 invoicing::InvoiceFiles& files, std::string_view number);

// What e-mailed documents carry: their PDF when the company attaches it ("Attach the
// document as PDF"), made on the context's mail canvas; nothing otherwise.
output::DocumentPdfMaker MailPdfOf(const CustomerWindowContext& context);

// The company's templates of document e-mails.
output::MailTexts MailTextsOf(const CustomerWindowContext& context);
// The look at one document's e-mail: the context's, else the "Send by E-Mail" dialog
// over parent. True when it is to be sent, as edited.
bool ConfirmFromWindow(const CustomerWindowContext& context, platform::MailMessage& message,
                       QWidget* parent);

// One invoice or quote e-mail made ready (with the customer file opened for the moment),
// and sent, once confirmed, over the context's mailer that CheckEmailSettings connected.
output::InvoiceMailDraft DraftFromWindow(const InvoiceWindowContext& context,
                                         invoicing::InvoiceFiles& files, std::string_view number);
output::InvoiceMailOutcome SendDraftFromWindow(const InvoiceWindowContext& context,
                                               invoicing::InvoiceFiles& files,
                                               const output::InvoiceMailDraft& draft);
// How many invoices of a batch go to whom, asked before the batch starts.
std::string BatchPreviewFromWindow(const InvoiceWindowContext& context,
                                   invoicing::InvoiceFiles& files,
                                   const std::vector<std::string>& numbers);

// The e-mail of a batch of invoices over the context's mailer, which CheckEmailSettings has
// connected (the status window shows each), with the customer file opened for the moment,
// each with its PDF when the company attaches it.
output::MailRunCounts EmailBatchFromWindow(const InvoiceWindowContext& context,
                                           invoicing::InvoiceFiles& files,
                                           const std::vector<std::string>& numbers);

// The "View Invoice" window of the number, modal over parent.
void ViewFromWindow(const InvoiceWindowContext& context, invoicing::InvoiceFiles& files,
                    std::string_view number, QWidget* parent);

}  // namespace invarro::ui
