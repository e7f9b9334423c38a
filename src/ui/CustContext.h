// What the customer windows need from the program: the data folder, the company in use,
// the shared selected-customer record and label queue, the message boxes, the status
// window, the clock, and the main window's status line and help.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "data/Records.h"
#include "output/Canvas.h"
#include "output/EMail.h"
#include "output/LabelQueue.h"
#include "platform/Clock.h"
#include "platform/Mailer.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"
#include "platform/Shell.h"
#include "storage/Engine.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

struct CustomerWindowContext {
    std::string dataFolder;
    data::CompanyRecord* company = nullptr;  // the company in use, kept by the program
    platform::Prompter* prompter = nullptr;
    platform::Progress* progress = nullptr;            // none: long runs show nothing
    const platform::Clock* clock = nullptr;            // none: the computer's clock
    output::LabelQueue* labelQueue = nullptr;          // none: "Add to Label Queue" is disabled
    data::CustomerRecord* selectedCustomer = nullptr;  // filled by a pick
    // The invoice and line files of the company when the window that opens the customer
    // windows holds them open (the Invoice Manager, the Payment Wizard): statements,
    // renumbering and the delete check work in them instead of opening their own, which
    // the engine would refuse while they are held.
    storage::Fileblock* heldInvoices = nullptr;
    storage::Fileblock* heldLines = nullptr;
    bool emailMode = false;              // the main window's print mode is e-mail
    platform::Mailer* mailer = nullptr;  // none: nothing can be e-mailed
    // Reads a company's mail password; none: the company record's field.
    std::function<std::string(const data::CompanyRecord&, std::string*)> mailPassword;
    // Gives the access token of a company that signs in with a provider (none: every
    // company signs in with its password).
    output::MailTokenReader mailToken;
    // The main window's status line (for "... added to label queue.").
    std::function<void(const QString&)> mainStatus;
    // Told whether the label queue holds labels not yet printed or saved.
    std::function<void(bool)> labelsWaiting;
    // Opens a help topic; none: the Help commands are disabled.
    std::function<void(const std::string& topic)> openHelp;
    // The main window's rebuild of the company's data files, run after an import has
    // closed the manager; none: the files are rebuilt without the main window.
    std::function<void()> rebuildDataFiles;
    // Statements: opens finished PDF files (none: they are not opened), and the canvases
    // (none: the program's printer, a PDF file through Qt).
    platform::Shell* shell = nullptr;
    std::function<std::unique_ptr<output::Canvas>()> printerCanvas;
    std::function<std::unique_ptr<output::Canvas>()> pdfCanvas;
    // E-mailed documents: a canvas that writes their PDF and opens nothing (none: a PDF
    // file through Qt).
    std::function<std::unique_ptr<output::Canvas>()> mailPdfCanvas;
    // The look at one document's e-mail before it goes (true: send it as edited); none:
    // the "Send by E-Mail" dialog.
    std::function<bool(platform::MailMessage&)> confirmMail;
};

// How the context's mail runs sign in: its password reader (or the company record's field
// without one) and its token reader.
inline output::MailLogin MailLoginOf(const CustomerWindowContext& c) {
    return output::MailLogin(c.mailPassword
                                 ? output::MailPasswordReader(c.mailPassword)
                                 : output::MailPasswordReader(output::RecordMailPassword),
                             c.mailToken);
}

// What the shared windows (find, export, import) need from a customer window's context.
inline WindowServices ServicesOf(const CustomerWindowContext& c) {
    WindowServices services;
    services.folder = c.dataFolder;
    services.prompter = c.prompter;
    services.progress = c.progress;
    services.clock = c.clock;
    services.help = c.openHelp;
    return services;
}

}  // namespace invarro::ui
