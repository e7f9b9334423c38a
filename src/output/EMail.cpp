#include "output/EMail.h"

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>

#include "data/Ansi.h"
#include "data/Company.h"
#include "data/Dates.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "output/Labelwiz.h"

namespace invarro::output {

namespace {

using data::Company;
using data::TrimmedText;

constexpr size_t kAddressListLength = 50;

std::string Rule(const data::CompanyRecord& c) {
    return c.yes(Company::EMailLines) ? std::string(80, '-') : std::string();
}

bool Blank(std::string_view s) {
    return TrimmedText(s).empty();
}

std::string Plural(int n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

// A folder in the system's temporary area that only the user may enter, removed with all
// it holds when it goes out of scope: a document made for a message is never left behind
// and never lands in the data folder.
class PrivateTempFolder {
  public:
    PrivateTempFolder() {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        if (ec) base = "/tmp";
        std::string pattern = (base / "invarro-mail-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path_ = pattern;
        else
            error_ = "cannot make a temporary folder in " + base.string() + " (" +
                     std::strerror(errno) + ")";
    }
    ~PrivateTempFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    PrivateTempFolder(const PrivateTempFolder&) = delete;
    PrivateTempFolder& operator=(const PrivateTempFolder&) = delete;

    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }

  private:
    std::string path_, error_;
};

// Draws a document with write(canvas, folder) into a private temporary folder and takes
// the file named name back as an attachment.
std::optional<platform::MailAttachment> MadePdf(
    const std::string& what, const std::string& name, const DocumentPdfMaker& maker,
    const std::function<PdfOutcome(Canvas&, const std::string& folder)>& write,
    std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<platform::MailAttachment> {
        if (error) *error = "The PDF of " + what + " could not be made: " + why;
        return std::nullopt;
    };
    if (!maker.canvas) return fail("this program cannot write PDF files.");
    PrivateTempFolder temp;
    if (temp.path().empty()) return fail(temp.error() + ".");
    std::unique_ptr<Canvas> canvas = maker.canvas();
    if (!canvas) return fail("no PDF writer is available.");
    const PdfOutcome made = write(*canvas, temp.path());
    if (!made.ok) return fail(made.error.empty() ? "the PDF writer failed." : made.error);
    std::optional<std::string> bytes = data::ReadWholeFile(made.path);
    if (!bytes || bytes->empty()) return fail("the file " + made.path + " cannot be read back.");
    return platform::MailAttachment{name, "application/pdf", std::move(*bytes)};
}

}  // namespace

bool AttachDocumentPdf(const data::IniFile& ini, std::string_view companyNo) {
    const std::string number = data::CompanyPrefix(companyNo);
    if (number.empty() || !ini.read(kAttachSection, number)) return true;
    return ini.readInteger(kAttachSection, number, 1) != 0;
}

bool AttachDocumentPdf(const std::string& folder, const data::CompanyRecord& company) {
    return AttachDocumentPdf(data::IniFile(data::IniFilePath(folder)),
                             company.text(Company::CompanyNo));
}

bool SetAttachDocumentPdf(data::IniFile& ini, std::string_view companyNo, bool attach,
                          std::string* error) {
    const std::string number = data::CompanyPrefix(companyNo);
    if (number.empty()) return true;
    return ini.writeInteger(kAttachSection, number, attach ? 1 : 0, error);
}

std::optional<platform::MailAttachment> InvoicePdfAttachment(const InvoiceDocument& doc,
                                                             DocumentKind kind,
                                                             const data::CompanyRecord& company,
                                                             const DocumentPdfMaker& maker,
                                                             std::string* error) {
    const std::string name = InvoicePdfName(doc, kind);
    const std::string what =
        std::string(kind == DocumentKind::Quote ? "quote " : "invoice ") + doc.number;
    return MadePdf(
        what, name, maker,
        [&](Canvas& canvas, const std::string& folder) {
            return WriteInvoicePdf(canvas, doc, kind, FormContext{company, maker.folder},
                                   data::JoinPath(folder, name), maker.einvoice);
        },
        error);
}

std::optional<platform::MailAttachment> StatementPdfAttachment(const Statement& s,
                                                               const data::CompanyRecord& company,
                                                               const data::Date& today,
                                                               const DocumentPdfMaker& maker,
                                                               std::string* error) {
    return MadePdf(
        "the statement of " + s.name, StatementPdfName(s), maker,
        [&](Canvas& canvas, const std::string& folder) {
            return WriteStatementPdf(canvas, s, FormContext{company, maker.folder}, today, folder);
        },
        error);
}

std::string RecordMailPassword(const data::CompanyRecord& company, std::string*) {
    return company.text(Company::EMailPassword);
}

bool CheckEmailSettings(const data::CompanyRecord& company, platform::Mailer& mailer,
                        platform::Prompter& prompter, platform::Progress& progress,
                        const MailLogin& signIn) {
    using platform::Icon;
    const std::string host = TrimmedText(company.text(Company::EMailHost));
    const std::string portText = TrimmedText(company.text(Company::EMailPort));
    if (data::CharCount(company.text(Company::EMailAddress)) <= 1) {
        prompter.inform("Your Company E-Mail Address",
                        "You need to enter your company e-mail address in your company setup so "
                        "your customers have a return e-mail address for you.");
        return false;
    }
    if (data::CharCount(company.text(Company::EMailHost)) <= 1) {
        prompter.inform("Your Company E-Mail Host Server",
                        "You need to enter your company Host Mail Server. This is who will be "
                        "used to e-mail your invoices.");
        return false;
    }
    if (portText.empty()) {
        prompter.inform("E-Mail Port Number",
                        "You need to enter your company EMail Port Number. This is only provided "
                        "by your ISP. Most use port 25 and others use something else.");
        return false;
    }
    int port = 0;
    const auto [end, ec] =
        std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (ec != std::errc() || end != portText.data() + portText.size() || port < 1 || port > 65535) {
        prompter.inform("E-Mail Port Number",
                        "The e-mail port number \"" + portText +
                            "\" is not a port number (1 to 65535). Correct it in your company "
                            "setup.",
                        Icon::Warning);
        return false;
    }
    mailer.setHost(host);
    mailer.setPort(port);
    // Set or cleared on every check: a login typed for one company never goes to the
    // server of another.
    const std::string login = TrimmedText(company.text(Company::EMailLogin));
    std::optional<MailTokenLogin> token;
    if (signIn.token) {
        std::string why;
        token = signIn.token(company, &why);
        if (!why.empty()) {
            // Without a current token nothing is tried: no connection, no message.
            prompter.inform(std::string(kEMailModeTitle), why, Icon::Error);
            return false;
        }
    }
    if (token) {
        mailer.setToken(token->user, token->accessToken);
    } else if (login.empty()) {
        mailer.setLogin("", "");
    } else {
        // The password goes to the server exactly as it was typed and stored.
        std::string why;
        const std::string password =
            signIn.password ? signIn.password(company, &why) : std::string();
        if (!why.empty()) {
            // No login is tried with a password that could not be had.
            prompter.inform(std::string(kEMailModeTitle), why, Icon::Error);
            return false;
        }
        mailer.setLogin(login, password);
    }
    if (!mailer.connected()) {
        progress.start(std::string(kEMailModeTitle), 1);
        progress.setLine(0, "Checking E-Mail Server...");
        progress.step();
        platform::MailError error;
        const bool ok = mailer.connect(error);
        progress.finish();
        if (!ok) {
            prompter.inform(std::string(kEMailModeTitle), error.text, Icon::Error);
            return false;
        }
    }
    if (mailer.connected()) return true;
    prompter.inform(std::string(kEMailModeTitle), "Not Online", Icon::Warning);
    return false;
}

bool RunMailSession(const data::CompanyRecord& company, platform::Mailer& mailer,
                    platform::Prompter& prompter, platform::Progress& progress,
                    const std::function<void()>& body, const MailLogin& login) {
    if (!CheckEmailSettings(company, mailer, prompter, progress, login)) return false;
    try {
        body();
    } catch (...) {
        mailer.disconnect();
        throw;
    }
    mailer.disconnect();
    return true;
}

std::vector<std::string> SplitAddressList(std::string_view list) {
    std::vector<std::string> parts;
    std::string part;
    auto flush = [&] {
        std::string t = TrimmedText(part);
        if (!t.empty()) parts.push_back(t);
        part.clear();
    };
    for (char c : list) {
        if (c == ';' || c == ',')
            flush();
        else
            part += c;
    }
    flush();
    return parts;
}

std::string AddressListRule(std::string_view field) {
    std::string joined;
    for (const std::string& p : SplitAddressList(field)) {
        if (!joined.empty()) joined += ",";
        joined += p;
    }
    return data::FirstChars(joined, kAddressListLength);
}

bool UsableAddress(std::string_view a) {
    const size_t at = a.find('@');
    if (at == std::string::npos || at == 0 || at + 1 == a.size() ||
        a.find('@', at + 1) != std::string::npos)
        return false;
    for (unsigned char c : a)
        if (c <= ' ' || c == '<' || c == '>' || c == 0x7f || c == '"') return false;
    return true;
}

bool UsableAddressList(std::string_view field) {
    const std::vector<std::string> parts = SplitAddressList(AddressListRule(field));
    return !parts.empty() && std::all_of(parts.begin(), parts.end(), UsableAddress);
}

Addressing AddressCustomer(std::string_view customerEMail, const data::CompanyRecord& company) {
    Addressing a;
    if (Blank(customerEMail) && !company.yes(Company::EMailInclNoAddr)) return a;
    if (UsableAddressList(customerEMail)) {
        a.kind = Addressing::Kind::Customer;
        a.recipients = SplitAddressList(AddressListRule(customerEMail));
    } else {
        a.kind = Addressing::Kind::Company;
        a.recipients = {TrimmedText(company.text(Company::EMailAddress))};
    }
    return a;
}

std::vector<std::string> InvoiceEmailBody(const InvoiceDocument& doc, DocumentKind kind,
                                          const data::CompanyRecord& co) {
    const FormTexts t = ReadFormTexts(co);
    const bool quote = kind == DocumentKind::Quote;
    std::vector<std::string> b;
    auto add = [&](std::string line) { b.push_back(std::move(line)); };
    auto nonBlank = [&](const std::string& line) {
        if (!Blank(line)) add(line);
    };
    if (doc.balanceDue.cents() < 0) {
        add("C R E D I T");
        add("");
    }
    if (ShowsDuplicate(doc, kind, co)) add("** DUPLICATE INVOICE **");
    add("");
    add(DocumentCaption(doc, kind, t));
    for (auto field :
         {Company::CoAddr1, Company::CoAddr2, Company::CoAddr3, Company::CoAddr4, Company::CoAddr5})
        nonBlank(co.text(field));
    add("");
    for (const std::string& line : doc.billTo)
        nonBlank(line);
    if (data::CharCount(t.shipCaption) >= 2 && data::CharCount(TrimmedText(doc.shipTo[0])) >= 2) {
        add(t.shipCaption);
        for (const std::string& line : doc.shipTo)
            nonBlank(line);
    }
    add(Rule(co));
    add("Date: " + doc.date);
    add("Number: " + doc.number);
    add("Account Number: " + doc.account);
    add("Payment Terms: " + doc.terms);
    add("Reference: " + doc.reference);
    add("");

    if (doc.isMemo()) {
        add(t.memoHeading);
        add("");
        size_t last = doc.memo.size();
        while (last > 0 && Blank(doc.memo[last - 1]))
            --last;
        for (size_t i = 0; i < last; ++i)
            add(doc.memo[i]);
    } else {
        const bool codes = co.byte(Company::PrintProdCodes) != 0;
        for (size_t i = 0; i < doc.lines.size(); ++i) {
            const DocumentLine& l = doc.lines[i];
            const std::string item = "*** Item# " + std::to_string(i + 1);
            add(codes ? item + "     " + t.codeHeading + ": " + l.code : item);
            add(t.descHeading + ": " + l.description);
            if (!l.extension.empty())
                add(t.qtyHeading + ": " + l.quantity + " @ " + l.price + " = " + l.extension +
                    " Taxable: " + l.taxable);
            if (i + 1 < doc.lines.size()) add("");
        }
    }

    add("");
    add("Total: " + t.currency + doc.net.shownText());
    if (ShowsTaxRow(doc, t)) add(TaxLabel(doc, t) + " " + doc.tax.shownText());
    if (quote) {
        add(QuoteTotalLabel(t) + " " + doc.grandTotal.shownText());
    } else {
        add("Grand Total: " + doc.grandTotal.shownText());
        if (data::CharCount(TrimmedText(doc.paidDate)) > 7) add("Paid Date: " + doc.paidDate);
        add("Paid Amount: " + doc.paid.shownText());
        add("Balance Due: " + doc.balanceDue.shownText());
    }
    if (doc.noteOnInvoice && !Blank(doc.note)) {
        if (co.yes(Company::EMailLines)) add(Rule(co));
        add(TrimmedText(doc.note));
    }
    if (co.byte(Company::PrintSalesMsg))
        for (auto field :
             {Company::SalesMsg1, Company::SalesMsg2, Company::SalesMsg3, Company::SalesMsg4})
            nonBlank(co.text(field));
    if (!quote && co.byte(Company::PrintCustAging)) {
        const auto captions = AgingCaptions(co);
        add("");
        add("Total Account Balance: " + doc.accountBalance.shownText());
        for (size_t i = 0; i < 3; ++i)
            add(captions[i] + " " + doc.aging[i].shownText());
        add(captions[3] + doc.aging[3].shownText());
    }
    return b;
}

std::string InvoiceEmailSubject(const InvoiceDocument& doc, DocumentKind kind,
                                const data::CompanyRecord& co) {
    const std::string company = TrimmedText(co.text(Company::Name));
    const std::string who = TrimmedText(doc.billTo[0]);
    if (kind != DocumentKind::Quote) return who + " Invoice from " + company;
    std::string label = QuoteTotalLabel(ReadFormTexts(co));
    label.resize(label.size() - std::string_view(" Total:").size());
    return who + " " + label + " from " + company;
}

InvoiceMailDraft ComposeInvoiceMail(const DocumentFiles& files, std::string_view number,
                                    const data::CompanyRecord& co, platform::Prompter& prompter,
                                    const DocumentPdfMaker& pdf, const MailTexts& texts) {
    InvoiceMailDraft d;
    InvoiceMailOutcome& out = d.outcome;
    d.doc = AssembleInvoiceDocument(files, number, co, prompter);
    const InvoiceDocument& doc = d.doc;
    if (!doc.found) {
        out.error.text = "Invoice " + TrimmedText(number) + " was not found.";
        return d;
    }
    const Addressing to = AddressCustomer(doc.eMail, co);
    if (to.kind == Addressing::Kind::Skip) {
        out.result = InvoiceMailOutcome::Result::NoAddress;
        return d;
    }
    const DocumentKind kind = KindOfDocument(doc);
    platform::MailMessage& m = d.message;
    m.from = TrimmedText(co.text(Company::EMailAddress));
    m.fromName = TrimmedText(co.text(Company::Name));
    m.recipients = to.recipients;
    d.toCompany = out.toCompany = to.kind == Addressing::Kind::Company;
    const MailKind mailKind = kind == DocumentKind::Quote ? MailKind::Quote : MailKind::Invoice;
    if (const std::optional<MailTemplate> t = TemplateFor(texts, mailKind, pdf.attaches())) {
        const MailFields values = InvoiceMergeValues(doc, kind, co);
        m.subject = MergeSubject(t->subject, values);
        m.body = MergeBody(t->body, values);
    } else {
        m.subject = InvoiceEmailSubject(doc, kind, co);
        m.body = InvoiceEmailBody(doc, kind, co);
    }
    if (d.toCompany) m.subject = std::string(kBadInvoiceAddressSubject);
    if (pdf.attaches()) {
        std::string why;
        std::optional<platform::MailAttachment> file =
            InvoicePdfAttachment(doc, kind, co, pdf, &why);
        if (!file) {
            out.result = InvoiceMailOutcome::Result::Failed;
            out.error = {platform::MailStep::Attachment, why + " The e-mail was not sent.", {}};
            return d;
        }
        m.attachments.push_back(std::move(*file));
    }
    d.ready = true;
    return d;
}

InvoiceMailOutcome SendInvoiceMail(const InvoiceMailDraft& d, const DocumentFiles& files,
                                   const data::CompanyRecord& co, platform::Mailer& mailer,
                                   platform::Prompter& prompter, const platform::Clock& clock,
                                   LabelQueue* labels, bool batch) {
    if (!d.ready) return d.outcome;
    InvoiceMailOutcome out = d.outcome;
    const InvoiceDocument& doc = d.doc;
    // Marked only once the server has taken the message.
    if (!mailer.send(d.message, out.error)) {
        out.result = InvoiceMailOutcome::Result::Failed;
        return out;
    }
    out.result = InvoiceMailOutcome::Result::Sent;
    const data::DateOrder order = data::DateOrderFromCode(co.text(Company::DateFormatCode));
    const std::string stamp = data::FormatUserDate(data::Today(clock), order);
    MarkInvoicePrinted(files.invoices, doc, prompter, stamp);
    if (batch && labels && TrimmedText(co.text(Company::LabelQueueOnBatch)) == "Y" &&
        doc.customerFound)
        labels->add(LabelEntry{doc.account, doc.billTo[0], doc.mailSortCode, doc.custType});
    out.status = "Invoice " + doc.number + " sent by e-mail.";
    return out;
}

InvoiceMailOutcome EmailInvoiceText(const DocumentFiles& files, std::string_view number,
                                    const data::CompanyRecord& co, platform::Mailer& mailer,
                                    platform::Prompter& prompter, const platform::Clock& clock,
                                    LabelQueue* labels, bool batch, const DocumentPdfMaker& pdf,
                                    const MailTexts& texts) {
    return SendInvoiceMail(ComposeInvoiceMail(files, number, co, prompter, pdf, texts), files, co,
                           mailer, prompter, clock, labels, batch);
}

std::optional<platform::MailMessage> ComposeStatementMail(
    const Statement& s, const data::CompanyRecord& co, const data::Date& today,
    const DocumentPdfMaker& pdf, const MailTexts& texts, platform::MailError& error) {
    const StatementMail text = EmailStatementText(s, co, today);
    platform::MailMessage m;
    m.from = text.from;
    m.fromName = TrimmedText(co.text(Company::Name));
    m.recipients = text.recipients;
    m.subject = text.subject;
    m.body = text.body;
    if (const std::optional<MailTemplate> t =
            TemplateFor(texts, MailKind::Statement, pdf.attaches())) {
        const MailFields values = StatementMergeValues(s, co, today);
        if (!text.badAddress) m.subject = MergeSubject(t->subject, values);
        m.body = MergeBody(t->body, values);
    }
    if (pdf.attaches()) {
        std::string why;
        std::optional<platform::MailAttachment> file =
            StatementPdfAttachment(s, co, today, pdf, &why);
        if (!file) {
            error = {platform::MailStep::Attachment, why + " The e-mail was not sent.", {}};
            return std::nullopt;
        }
        m.attachments.push_back(std::move(*file));
    }
    return m;
}

bool EmailStatement(const Statement& s, const data::CompanyRecord& co, const data::Date& today,
                    platform::Mailer& mailer, platform::MailError& error,
                    const DocumentPdfMaker& pdf, const MailTexts& texts) {
    const std::optional<platform::MailMessage> m =
        ComposeStatementMail(s, co, today, pdf, texts, error);
    return m && mailer.send(*m, error);
}

std::string MailRunProblems(const MailRunCounts& c, std::string_view what) {
    std::string text;
    auto sentence = [&](const std::string& s) {
        if (!text.empty()) text += " ";
        text += s;
    };
    const int notSent = c.failed + c.notSent;
    if (notSent > 0) {
        sentence(Plural(c.sent, "e-mail message was", "e-mail messages were") + " sent and " +
                 std::to_string(notSent) + " " + (notSent == 1 ? "was" : "were") + " not.");
        if (c.stopped) sentence("The connection to the mail server was lost, so the run stopped.");
        if (!c.firstFailure.empty()) sentence("The first not sent: " + c.firstFailure);
    }
    if (c.noAddress > 0)
        sentence(Plural(c.noAddress, std::string(what) + " had", std::string(what) + "s had") +
                 " no customer e-mail address and " + (c.noAddress == 1 ? "was" : "were") +
                 " not sent.");
    if (c.missing > 0)
        sentence(Plural(c.missing, "queue entry was", "queue entries were") +
                 " skipped: the customer is no longer on file.");
    return text;
}

namespace {

// One line of a batch preview, by where the message goes.
std::string PreviewLine(const std::string& what, const std::string& name, std::string_view eMail,
                        const data::CompanyRecord& co, int& going) {
    const Addressing to = AddressCustomer(eMail, co);
    std::string addresses;
    for (const std::string& a : to.recipients)
        addresses += (addresses.empty() ? "<" : ", <") + a + ">";
    if (to.kind == Addressing::Kind::Skip) return what + " to " + name + ": no address, not sent";
    ++going;
    if (to.kind == Addressing::Kind::Company)
        return what + " to " + name + ": address not usable, to the company " + addresses;
    return what + " to " + name + " " + addresses;
}

std::string PreviewText(const std::vector<std::string>& lines, int going, std::string_view one,
                        std::string_view many) {
    std::string text =
        Plural(going, one, many) + (going == 1 ? " is" : " are") + " going to be sent by e-mail:\n";
    for (size_t i = 0; i < lines.size() && i < kPreviewLines; ++i)
        text += "\n" + lines[i];
    if (lines.size() > kPreviewLines)
        text += "\n... and " + std::to_string(lines.size() - kPreviewLines) + " more";
    return text + "\n\nSend them now?";
}

}  // namespace

std::string InvoiceBatchPreview(const DocumentFiles& files, const std::vector<std::string>& numbers,
                                const data::CompanyRecord& co, platform::Prompter& prompter) {
    std::vector<std::string> lines;
    int going = 0;
    for (const std::string& number : numbers) {
        const InvoiceDocument doc = AssembleInvoiceDocument(files, number, co, prompter);
        if (!doc.found) continue;
        lines.push_back(
            PreviewLine(TrimmedText(number), TrimmedText(doc.billTo[0]), doc.eMail, co, going));
    }
    return PreviewText(lines, going, "invoice", "invoices");
}

std::string StatementBatchPreview(storage::Fileblock* customers,
                                  const std::vector<std::string>& custNos,
                                  const data::CompanyRecord& co) {
    using data::Customer;
    std::vector<std::string> lines;
    int going = 0;
    for (const std::string& no : custNos) {
        const std::optional<data::CustomerRecord> c = FindCustomerByNumber(customers, no);
        if (!c) continue;
        lines.push_back(PreviewLine("Statement " + TrimmedText(no),
                                    TrimmedText(c->text(Customer::Name)), c->text(Customer::EMail),
                                    co, going));
    }
    return PreviewText(lines, going, "statement", "statements");
}

MailRunCounts EmailInvoiceBatch(const DocumentFiles& files, const std::vector<std::string>& numbers,
                                const data::CompanyRecord& co, platform::Mailer& mailer,
                                platform::Prompter& prompter, platform::Progress& progress,
                                const platform::Clock& clock, LabelQueue* labels,
                                const DocumentPdfMaker& pdf, const MailTexts& texts) {
    MailRunCounts c;
    progress.start(std::string(kEMailModeTitle), 1);
    progress.setLine(0, "Working...");
    for (size_t i = 0; i < numbers.size(); ++i) {
        const std::string& number = numbers[i];
        progress.setLine(0, "E-Mailing Invoice " + number + " ...");
        if (!progress.step() || !mailer.connected()) {
            c.notSent += int(numbers.size() - i);
            c.stopped = !mailer.connected();
            break;
        }
        const InvoiceMailOutcome out =
            EmailInvoiceText(files, number, co, mailer, prompter, clock, labels, true, pdf, texts);
        switch (out.result) {
            case InvoiceMailOutcome::Result::Sent:
                ++c.sent;
                break;
            case InvoiceMailOutcome::Result::NoAddress:
                ++c.noAddress;
                break;
            case InvoiceMailOutcome::Result::Failed:
            case InvoiceMailOutcome::Result::NotFound:
                ++c.failed;
                if (c.firstFailure.empty())
                    c.firstFailure = "invoice " + number + ". " + out.error.text;
                if (!mailer.connected()) c.stopped = true;
                break;
        }
    }
    progress.finish();
    return c;
}

StatementMailRun EmailStatementBatch(const StatementFiles& files, BatchRun run,
                                     const data::CompanyRecord& co, const data::Date& today,
                                     platform::Mailer& mailer, LabelQueue* labels,
                                     platform::Prompter& prompter, platform::Progress& progress,
                                     const std::function<void(const std::string&)>& status,
                                     const DocumentPdfMaker& pdf, const MailTexts& texts) {
    run.emailMode = true;
    StatementMailRun r;
    MailRunCounts& c = r.counts;
    BatchHooks hooks;
    hooks.status = status;
    hooks.render = [&](const Statement& s) {
        if (!s.customerFound) {
            ++c.missing;
            return true;
        }
        platform::MailError error;
        if (EmailStatement(s, co, today, mailer, error, pdf, texts)) {
            ++c.sent;
            return true;
        }
        ++c.failed;
        if (c.firstFailure.empty())
            c.firstFailure = "the statement of " + s.name + ". " + error.text;
        if (mailer.connected()) return true;
        c.stopped = true;
        return false;
    };
    r.batch = RunStatementBatch(files, run, co, labels, prompter, progress, hooks);
    if (c.stopped) c.notSent = int(run.customers.size()) - c.sent - c.failed - c.missing;
    return r;
}

std::optional<FreeMessageProblem> CheckFreeMessage(const FreeMessage& m, std::size_t queueSize) {
    using platform::Icon;
    auto problem = [](FreeMessageField f, const char* title, const char* text,
                      Icon icon = Icon::Information) {
        return FreeMessageProblem{f, platform::Message{title, text, icon}};
    };
    if (Blank(m.subject))
        return problem(FreeMessageField::Subject, "E-Mail Subject",
                       "You need an e-mail subject line.");
    if (Blank(m.returnAddress))
        return problem(FreeMessageField::ReturnAddress, "E-Mail Address",
                       "You need a return e-mail address.");
    if (m.returnAddress.find('@') == std::string::npos || !UsableAddressList(m.returnAddress) ||
        SplitAddressList(m.returnAddress).size() != 1)
        return problem(FreeMessageField::ReturnAddress, "Return E-Mail Address",
                       "The return e-mail address does not have the @ sign included. Bad e-mail "
                       "address.",
                       Icon::Warning);
    if (m.body.empty())
        return problem(FreeMessageField::Body, "Message Text",
                       "You have not entered a message to send.");
    if (queueSize == 0)
        return problem(FreeMessageField::Queue, "Print Queue",
                       "You do not have any customers selected (listed) in the print queue. "
                       "Select the Queue button to add customers to the queue.");
    return std::nullopt;
}

MailRunCounts SendFreeMessage(const FreeMessage& m, const LabelQueue& queue,
                              storage::Fileblock* customers, const data::CompanyRecord& co,
                              platform::Mailer& mailer, platform::Prompter& prompter,
                              platform::Progress& progress) {
    using data::Customer;
    MailRunCounts c;
    platform::MailMessage msg;
    msg.from = TrimmedText(m.returnAddress);
    msg.fromName = TrimmedText(co.text(Company::Name));
    msg.body = m.body;
    progress.start(std::string(kEMailModeTitle), 1);
    progress.setLine(0, "Working...");
    const std::vector<LabelEntry>& entries = queue.entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!mailer.connected()) {
            c.notSent += int(entries.size() - i);
            c.stopped = true;
            break;
        }
        const std::optional<data::CustomerRecord> customer =
            FindCustomerByNumber(customers, entries[i].custNo);
        // An entry whose customer was deleted or renumbered since it was queued.
        if (!customer) {
            ++c.missing;
            continue;
        }
        const std::string name = TrimmedText(customer->text(Customer::Name));
        const std::string eMail = customer->text(Customer::EMail);
        const Addressing to = AddressCustomer(eMail, co);
        if (to.kind == Addressing::Kind::Skip) {
            ++c.noAddress;
            continue;
        }
        msg.recipients = to.recipients;
        msg.subject =
            to.kind == Addressing::Kind::Customer ? m.subject : "BAD E-MAIL ADDRESS FOR: " + name;
        platform::MailError error;
        if (mailer.send(msg, error)) {
            ++c.sent;
            progress.setLine(0, "E-Mail Sent: " + std::to_string(c.sent));
        } else {
            ++c.failed;
            if (!mailer.connected()) c.stopped = true;
            if (c.firstFailure.empty())
                c.firstFailure =
                    "customer " + TrimmedText(entries[i].custNo) + " (" + name + "). " + error.text;
        }
        progress.step();
    }
    if (mailer.connected()) mailer.disconnect();
    progress.finish();
    if (c.noAddress > 0)
        prompter.inform("E-Mail Addresses", "There were " + std::to_string(c.noAddress) +
                                                " empty customer e-mail addresses. The customers "
                                                "were not sent your message.");
    MailRunCounts rest = c;
    rest.noAddress = 0;  // told above in the system's own words
    std::string text = "There were " + std::to_string(c.sent) + " e-mail messages sent.";
    const std::string problems = MailRunProblems(rest, "customer");
    if (!problems.empty()) text += " " + problems;
    prompter.inform("E-Mail Sent", text,
                    problems.empty() ? platform::Icon::Information : platform::Icon::Warning);
    return c;
}

}  // namespace invarro::output
