// E-mail of documents and of the free message: the check of the company's mail settings
// that opens the connection, the address rule for customer e-mail fields, the e-mail of
// an invoice or quote (its text, with the document attached as PDF when the company
// chose so) with its printed mark and date stamp, the batch e-mail of invoices, and the
// free message to every customer in the label queue.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "data/IniFile.h"
#include "data/Records.h"
#include "output/CStmnt.h"
#include "output/InvDoc.h"
#include "output/LabelQueue.h"
#include "output/MailTemplates.h"
#include "platform/Clock.h"
#include "platform/Mailer.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"

namespace invarro::output {

inline constexpr std::string_view kEMailModeTitle = "E-Mail Mode";

// Reads the password of the company's mail login (the program reads it where the company
// keeps it: the desktop keyring or the company record); *error, a whole sentence for the
// user, says why it could not be read, and then no login is tried. The only way the mail
// code gets the password.
using MailPasswordReader =
    std::function<std::string(const data::CompanyRecord& company, std::string* error)>;
// The reader of a program without a keyring: the company record's field.
std::string RecordMailPassword(const data::CompanyRecord& company, std::string* error);

// The sign-in of a company that sends through an OAuth 2.0 provider: the account and a
// current access token. The reader gives nothing and no error when the company signs in
// with a password; *error, a whole sentence, when the token could not be had - then no
// connection is tried.
struct MailTokenLogin {
    std::string user;
    std::string accessToken;
};
using MailTokenReader = std::function<std::optional<MailTokenLogin>(
    const data::CompanyRecord& company, std::string* error)>;

// How a mail run signs in: the password reader, and the token reader where the program
// has one (a company that signs in with a provider is then signed in with its token).
struct MailLogin {
    MailPasswordReader password;
    MailTokenReader token;
    MailLogin(MailPasswordReader p = RecordMailPassword, MailTokenReader t = {})
        : password(std::move(p)), token(std::move(t)) {}
    // Any password reader (a lambda) on its own stands for the login.
    template <class Reader,
              class = std::enable_if_t<std::is_convertible_v<Reader, MailPasswordReader> &&
                                       !std::is_same_v<std::decay_t<Reader>, MailPasswordReader> &&
                                       !std::is_same_v<std::decay_t<Reader>, MailLogin>>>
    MailLogin(Reader&& p) : password(std::forward<Reader>(p)) {}
};

// Checks the company's address, server and port (each refusal is shown and nothing is
// connected), hands host, port and login to the mailer - a blank login name clears the
// login, so one company's login never reaches another company's server - and connects
// when the mailer is not connected yet. The password is used exactly as read. A company
// with a token sign-in signs in with the token instead (its login name and password are
// not used). A password or token that could not be had, or a failed connect, shows what
// failed. True when the mailer is connected.
bool CheckEmailSettings(const data::CompanyRecord& company, platform::Mailer& mailer,
                        platform::Prompter& prompter, platform::Progress& progress,
                        const MailLogin& login = {});

// One mail run: CheckEmailSettings, then body over the open connection, which is closed
// afterwards however body ends (an error thrown by it goes on to the caller). False, and
// body does not run, when the check failed.
bool RunMailSession(const data::CompanyRecord& company, platform::Mailer& mailer,
                    platform::Prompter& prompter, platform::Progress& progress,
                    const std::function<void()>& body, const MailLogin& login = {});

// A customer's e-mail field as a recipient list: ";" and "," separate addresses, each is
// trimmed, empty ones are dropped; the joined text is cut to 50 characters.
std::string AddressListRule(std::string_view field);
std::vector<std::string> SplitAddressList(std::string_view list);
// Whether every address of the list (after the rule) can be handed to a server: at
// least one, each with exactly one "@" with text on both sides, no blanks, angle
// brackets or control characters.
bool UsableAddressList(std::string_view field);
// One address as the list rule checks it.
bool UsableAddress(std::string_view address);

// Where a customer's message goes: to the customer, to the company itself under the
// document's bad-address subject (an unusable address, or a blank one when the company
// includes customers without an address), or nowhere (a blank address otherwise).
struct Addressing {
    enum class Kind { Customer, Company, Skip } kind = Kind::Skip;
    std::vector<std::string> recipients;
};
Addressing AddressCustomer(std::string_view customerEMail, const data::CompanyRecord& company);

// ------------------------------------------------------------------ the PDF attachment

inline constexpr std::string_view kAttachSection = "E-Mail Attachment";
inline constexpr std::string_view kAttachOption = "Attach the document as PDF";

// Whether the company's document e-mails carry the document as PDF. The choice is kept
// per company in the INI file (section "E-Mail Attachment", the company number as key, 1
// or 0) beside the company's other e-mail settings; without an entry it is on.
bool AttachDocumentPdf(const data::IniFile& ini, std::string_view companyNo);
bool AttachDocumentPdf(const std::string& folder, const data::CompanyRecord& company);
bool SetAttachDocumentPdf(data::IniFile& ini, std::string_view companyNo, bool attach,
                          std::string* error = nullptr);

// What a document e-mail needs to carry its PDF: the data folder (the form's colour files
// and logo) and a maker of canvases that write PDF files and open none. Without a maker
// the message is the text alone.
struct DocumentPdfMaker {
    std::string folder;
    std::function<std::unique_ptr<Canvas>()> canvas;
    // Whether an invoice's PDF is an e-invoice; nothing: the company's "E-invoice" setting.
    std::optional<bool> einvoice;
    bool attaches() const { return bool(canvas); }
};

// The PDF an invoice or quote e-mail carries: the file Send to PDF writes for it, drawn in
// a private temporary folder outside the data folder, read back and removed at once, and
// named as the PDF folder names it. Nothing, and *error, when it could not be made. Every
// attached invoice PDF comes from here.
std::optional<platform::MailAttachment> InvoicePdfAttachment(const InvoiceDocument& doc,
                                                             DocumentKind kind,
                                                             const data::CompanyRecord& company,
                                                             const DocumentPdfMaker& maker,
                                                             std::string* error);
// The same for a customer statement.
std::optional<platform::MailAttachment> StatementPdfAttachment(const Statement& s,
                                                               const data::CompanyRecord& company,
                                                               const data::Date& today,
                                                               const DocumentPdfMaker& maker,
                                                               std::string* error);

// ------------------------------------------------------------------ documents

// The plain-text e-mail of an invoice or quote: its body lines and its subject.
std::vector<std::string> InvoiceEmailBody(const InvoiceDocument& doc, DocumentKind kind,
                                          const data::CompanyRecord& company);
std::string InvoiceEmailSubject(const InvoiceDocument& doc, DocumentKind kind,
                                const data::CompanyRecord& company);
inline constexpr std::string_view kBadInvoiceAddressSubject = "BAD CUSTOMER E-MAIL ADDRESS";

// One invoice or quote by e-mail over the connected mailer: the message (with its PDF when
// the maker attaches), then - once the server has accepted the message - the printed mark
// with today's date as e-mail stamp, then (in a batch with the company's label setting)
// the customer into the label queue. A PDF that cannot be made or a message larger than
// the server takes sends nothing and marks nothing.
struct InvoiceMailOutcome {
    enum class Result { Sent, NoAddress, Failed, NotFound } result = Result::NotFound;
    bool toCompany = false;  // sent to the company under the bad-address subject
    platform::MailError error;
    std::string status;  // "Invoice 1043 sent by e-mail."
};
InvoiceMailOutcome EmailInvoiceText(const DocumentFiles& files, std::string_view number,
                                    const data::CompanyRecord& company, platform::Mailer& mailer,
                                    platform::Prompter& prompter, const platform::Clock& clock,
                                    LabelQueue* labels = nullptr, bool batch = false,
                                    const DocumentPdfMaker& pdf = {}, const MailTexts& texts = {});

// The same in two steps, so that the message can be shown (and edited) before it goes:
// the message made ready - written with the company's template of its kind (output/
// MailTemplates.h), its PDF attached when the maker attaches - or the outcome that ends
// it (no address, not found, a PDF that could not be made); then, over the connected
// mailer, the message as it stands and, once the server took it, the marks.
struct InvoiceMailDraft {
    bool ready = false;
    InvoiceMailOutcome outcome;  // when not ready
    InvoiceDocument doc;
    platform::MailMessage message;
    bool toCompany = false;
};
InvoiceMailDraft ComposeInvoiceMail(const DocumentFiles& files, std::string_view number,
                                    const data::CompanyRecord& company,
                                    platform::Prompter& prompter, const DocumentPdfMaker& pdf = {},
                                    const MailTexts& texts = {});
InvoiceMailOutcome SendInvoiceMail(const InvoiceMailDraft& draft, const DocumentFiles& files,
                                   const data::CompanyRecord& company, platform::Mailer& mailer,
                                   platform::Prompter& prompter, const platform::Clock& clock,
                                   LabelQueue* labels = nullptr, bool batch = false);

// A customer statement by e-mail over the connected mailer: its text (and its PDF when the
// maker attaches), sent to the customer or, with an unusable address, to the company
// under the bad-address subject.
bool EmailStatement(const Statement& s, const data::CompanyRecord& company, const data::Date& today,
                    platform::Mailer& mailer, platform::MailError& error,
                    const DocumentPdfMaker& pdf = {}, const MailTexts& texts = {});
// The statement's message made ready, as EmailStatement sends it; nothing and *error when
// its PDF could not be made.
std::optional<platform::MailMessage> ComposeStatementMail(
    const Statement& s, const data::CompanyRecord& company, const data::Date& today,
    const DocumentPdfMaker& pdf, const MailTexts& texts, platform::MailError& error);

// What a run of several messages reached.
struct MailRunCounts {
    int sent = 0;
    int failed = 0;            // refused by the server, the run went on
    int notSent = 0;           // left over when the connection broke
    int noAddress = 0;         // customers without an address, not sent
    int missing = 0;           // queue entries whose customer is no longer on file
    std::string firstFailure;  // what failed first and why
    bool stopped = false;      // the connection broke and the run stopped
};
// The sentences of a run that did not go through cleanly: how many were sent, how many
// were not, and the first that failed; empty when every message went.
std::string MailRunProblems(const MailRunCounts& counts, std::string_view what);

// Before a batch of e-mails starts: how many will go to whom, a line each ("1043 to Zoe
// Mueller GmbH <zoe@muller.test>"; one whose address is not usable goes to the company, one
// without an address is not sent), at most kPreviewLines of them and how many more, and
// the question whether to send them. The statement batch names its customers by number.
inline constexpr size_t kPreviewLines = 12;
std::string InvoiceBatchPreview(const DocumentFiles& files, const std::vector<std::string>& numbers,
                                const data::CompanyRecord& company, platform::Prompter& prompter);
std::string StatementBatchPreview(storage::Fileblock* customers,
                                  const std::vector<std::string>& custNos,
                                  const data::CompanyRecord& company);

// The batch e-mail of invoices: each number in order, each with its own PDF when the
// maker attaches, the status window reading "E-Mailing Invoice <n> ..."; a broken
// connection ends the run.
MailRunCounts EmailInvoiceBatch(const DocumentFiles& files, const std::vector<std::string>& numbers,
                                const data::CompanyRecord& company, platform::Mailer& mailer,
                                platform::Prompter& prompter, platform::Progress& progress,
                                const platform::Clock& clock, LabelQueue* labels,
                                const DocumentPdfMaker& pdf = {}, const MailTexts& texts = {});

// The batch statement run in e-mail mode over the connected mailer: each statement of the
// run sent to its customer (with that customer's own statement PDF when the maker
// attaches); a refused message is counted and the run goes on, a broken connection ends
// it and the rest are counted as not sent.
struct StatementMailRun {
    MailRunCounts counts;
    BatchOutcome batch;
};
StatementMailRun EmailStatementBatch(const StatementFiles& files, BatchRun run,
                                     const data::CompanyRecord& company, const data::Date& today,
                                     platform::Mailer& mailer, LabelQueue* labels,
                                     platform::Prompter& prompter, platform::Progress& progress,
                                     const std::function<void(const std::string&)>& status = {},
                                     const DocumentPdfMaker& pdf = {}, const MailTexts& texts = {});

// The free message ("Send E-Mail Message"): what the user typed.
struct FreeMessage {
    std::string returnAddress;
    std::string subject;
    std::vector<std::string> body;
};
enum class FreeMessageField { Subject, ReturnAddress, Body, Queue };
struct FreeMessageProblem {
    FreeMessageField field;
    platform::Message message;
};
// The checks of the E-Mail button in their order; the first failure, or nothing.
std::optional<FreeMessageProblem> CheckFreeMessage(const FreeMessage& m, std::size_t queueSize);
// Sends the message to every customer of the queue (customers read from the open
// customer file by number); shows the counts at the end. The caller has run the checks
// and CheckEmailSettings; the connection is closed at the end.
MailRunCounts SendFreeMessage(const FreeMessage& m, const LabelQueue& queue,
                              storage::Fileblock* customers, const data::CompanyRecord& company,
                              platform::Mailer& mailer, platform::Prompter& prompter,
                              platform::Progress& progress);

}  // namespace invarro::output
