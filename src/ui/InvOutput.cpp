#include "ui/InvOutput.h"

#include "data/Ansi.h"
#include "data/Open.h"
#include "output/InvView.h"
#include "platform/qt/PainterCanvas.h"
#include "platform/qt/Printer.h"
#include "ui/InvView.h"
#include "ui/MailConfirm.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

namespace {

using data::Invoice;

output::FormContext Form(const InvoiceWindowContext& context) {
    return output::FormContext{*context.company, context.dataFolder};
}

const platform::Clock& ClockOf(const InvoiceWindowContext& context) {
    static const platform::SystemClock system;
    return context.clock ? *context.clock : system;
}

}  // namespace

output::InvoiceDocument AssembleForWindow(const invoicing::InvoiceFiles& files,
                                          std::string_view number, platform::Prompter& prompter) {
    data::ExistingFileblock customers;
    data::OpenExisting(customers, files.folder, data::FileKind::Customer, files.prefix(), prompter);
    output::DocumentFiles docFiles{files.invoices, files.lines, files.memos, customers.fb};
    return output::AssembleInvoiceDocument(docFiles, number, files.company, prompter);
}

bool IsDepositRecord(const data::InvoiceRecord& record) {
    const std::string type = data::UpperText(data::TrimmedText(record.text(Invoice::TransType)));
    return type.size() == 1 && output::IsDepositType(type[0]);
}

std::unique_ptr<output::Canvas> MakePrinterCanvas(const InvoiceWindowContext& context) {
    if (context.printerCanvas) return context.printerCanvas();
    if (!PrinterReady(*context.prompter, "Print Invoice")) return nullptr;
    return std::make_unique<platform::qt::PainterCanvas>(platform::qt::ProgramPrinter());
}

bool PrintFromWindow(const InvoiceWindowContext& context, invoicing::InvoiceFiles& files,
                     const output::PrintRequest& request, output::PrintOutcome& outcome,
                     output::Canvas* printer) {
    std::unique_ptr<output::Canvas> own;
    if (!printer) {
        own = MakePrinterCanvas(context);
        if (!own) return false;
        printer = own.get();
    }
    data::ExistingFileblock customers;
    data::OpenExisting(customers, files.folder, data::FileKind::Customer, files.prefix(),
                       *context.prompter);
    output::DocumentFiles docFiles{files.invoices, files.lines, files.memos, customers.fb};
    outcome = output::PrintInvoice(docFiles, request, Form(context), *printer, *context.prompter,
                                   ClockOf(context), context.labelQueue);
    if (outcome.found && !outcome.printed) {
        context.prompter->inform(
            "Print Invoice",
            outcome.error.empty() ? "The invoice could not be printed." : outcome.error,
            platform::Icon::Error);
    } else if (outcome.printed && !outcome.note.empty() && !request.batch) {
        context.prompter->inform("Print Invoice", outcome.note, platform::Icon::Warning);
    }
    return outcome.printed;
}

output::PdfOutcome PdfFromWindow(const InvoiceWindowContext& context,
                                 invoicing::InvoiceFiles& files, std::string_view number) {
    data::ExistingFileblock customers;
    data::OpenExisting(customers, files.folder, data::FileKind::Customer, files.prefix(),
                       *context.prompter);
    output::DocumentFiles docFiles{files.invoices, files.lines, files.memos, customers.fb};
    std::unique_ptr<output::Canvas> canvas =
        context.pdfCanvas ? context.pdfCanvas()
                          : std::make_unique<platform::qt::PainterCanvas>(context.shell);
    output::PdfOutcome out =
        output::InvoicePdf(docFiles, number, Form(context), *canvas, *context.prompter);
    if (!out.found) return out;
    if (!out.ok)
        context.prompter->inform("Send to PDF", out.error, platform::Icon::Error);
    else if (!out.error.empty())
        context.prompter->inform("Send to PDF", out.error, platform::Icon::Warning);
    if (out.ok && !out.note.empty())
        context.prompter->inform("Send to PDF", out.note, platform::Icon::Warning);
    return out;
}

output::DocumentPdfMaker MailPdfOf(const CustomerWindowContext& context) {
    output::DocumentPdfMaker maker;
    if (!context.company || !output::AttachDocumentPdf(context.dataFolder, *context.company))
        return maker;
    maker.folder = context.dataFolder;
    maker.canvas = context.mailPdfCanvas ? context.mailPdfCanvas : [] {
        return std::unique_ptr<output::Canvas>(
            std::make_unique<platform::qt::PainterCanvas>(nullptr));
    };
    return maker;
}

output::MailTexts MailTextsOf(const CustomerWindowContext& context) {
    if (!context.company) return {};
    return output::ReadMailTexts(context.dataFolder, *context.company);
}

bool ConfirmFromWindow(const CustomerWindowContext& context, platform::MailMessage& message,
                       QWidget* parent) {
    if (context.confirmMail) return context.confirmMail(message);
    return ConfirmMail(message, *context.prompter, parent);
}

output::InvoiceMailDraft DraftFromWindow(const InvoiceWindowContext& context,
                                         invoicing::InvoiceFiles& files, std::string_view number) {
    data::ExistingFileblock customers;
    data::OpenExisting(customers, files.folder, data::FileKind::Customer, files.prefix(),
                       *context.prompter);
    output::DocumentFiles docFiles{files.invoices, files.lines, files.memos, customers.fb};
    return output::ComposeInvoiceMail(docFiles, number, *context.company, *context.prompter,
                                      MailPdfOf(context), MailTextsOf(context));
}

output::InvoiceMailOutcome SendDraftFromWindow(const InvoiceWindowContext& context,
                                               invoicing::InvoiceFiles& files,
                                               const output::InvoiceMailDraft& draft) {
    output::DocumentFiles docFiles{files.invoices, files.lines, files.memos, nullptr};
    return output::SendInvoiceMail(draft, docFiles, *context.company, *context.mailer,
                                   *context.prompter, ClockOf(context), context.labelQueue, false);
}

std::string BatchPreviewFromWindow(const InvoiceWindowContext& context,
                                   invoicing::InvoiceFiles& files,
                                   const std::vector<std::string>& numbers) {
    data::ExistingFileblock customers;
    data::OpenExisting(customers, files.folder, data::FileKind::Customer, files.prefix(),
                       *context.prompter);
    output::DocumentFiles docFiles{files.invoices, files.lines, files.memos, customers.fb};
    return output::InvoiceBatchPreview(docFiles, numbers, *context.company, *context.prompter);
}

output::MailRunCounts EmailBatchFromWindow(const InvoiceWindowContext& context,
                                           invoicing::InvoiceFiles& files,
                                           const std::vector<std::string>& numbers) {
    data::ExistingFileblock customers;
    data::OpenExisting(customers, files.folder, data::FileKind::Customer, files.prefix(),
                       *context.prompter);
    output::DocumentFiles docFiles{files.invoices, files.lines, files.memos, customers.fb};
    platform::SilentProgress silent;
    return output::EmailInvoiceBatch(
        docFiles, numbers, *context.company, *context.mailer, *context.prompter,
        context.progress ? *context.progress : silent, ClockOf(context), context.labelQueue,
        MailPdfOf(context), MailTextsOf(context));
}

void ViewFromWindow(const InvoiceWindowContext& context, invoicing::InvoiceFiles& files,
                    std::string_view number, QWidget* parent) {
    output::InvoiceDocument doc = AssembleForWindow(files, number, *context.prompter);
    if (!doc.found) return;
    TViewInv view(output::MakeInvoiceView(doc, *context.company), context.dataFolder, parent);
    view.exec();
}

}  // namespace invarro::ui
