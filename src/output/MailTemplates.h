// The subject and body of the e-mails of invoices, quotes and statements as templates with
// merge fields ("{Number}", "{Balance Due}"), kept per company in the INI file beside its
// other mail settings. A company that keeps none sends the standard text: a short cover
// letter when the document goes as PDF, the document as text when it does not.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/IniFile.h"
#include "data/Records.h"
#include "output/CStmnt.h"
#include "output/InvDoc.h"

namespace invarro::output {

enum class MailKind { Invoice, Quote, Statement };
inline constexpr std::string_view kMailTemplateSection = "E-Mail Templates";

struct MailTemplate {
    std::string subject;
    std::string body;  // lines separated by "\n"
    bool operator==(const MailTemplate&) const = default;
};

// A field a template may hold, written "{Name}".
struct MergeField {
    std::string_view name;
    std::string_view meaning;  // as the template editor lists it
};
const std::vector<MergeField>& MergeFields();

// One document's values by field name; a field the document has no value for is empty.
using MailFields = std::map<std::string, std::string, std::less<>>;
// An invoice or quote: its number, date, total, balance due and due date (an invoice's
// terms with a number of days, or none; a quote has neither), customer and company.
MailFields InvoiceMergeValues(const InvoiceDocument& doc, DocumentKind kind,
                              const data::CompanyRecord& company);
// A statement: the customer's balance as amount and balance due, today as its date.
MailFields StatementMergeValues(const Statement& s, const data::CompanyRecord& company,
                                const data::Date& today);

// The subject with its fields filled in, on one line: line breaks and other control
// characters, typed or from a value, become blanks so that nothing reaches the header
// but the subject. A "{...}" that names no field stays as typed.
std::string MergeSubject(std::string_view text, const MailFields& values);
// The body with its fields filled in, a line each. A line holding a field without a value
// is left out (the due date of terms that name no number of days).
std::vector<std::string> MergeBody(std::string_view text, const MailFields& values);

// The cover letter of the standard text.
MailTemplate CoverLetter(MailKind kind);
// The company's own template of a kind; nothing when it keeps the standard text.
std::optional<MailTemplate> StoredMailTemplate(const data::IniFile& ini, std::string_view companyNo,
                                               MailKind kind);
// Keeps a template, or (nothing, or the cover letter itself) the standard text.
bool WriteMailTemplate(data::IniFile& ini, std::string_view companyNo, MailKind kind,
                       const std::optional<MailTemplate>& t, std::string* error = nullptr);

// The company's templates as a mail run uses them.
struct MailTexts {
    std::optional<MailTemplate> invoice, quote, statement;
    const std::optional<MailTemplate>& of(MailKind kind) const;
};
MailTexts ReadMailTexts(const std::string& folder, const data::CompanyRecord& company);

// The template a message of this kind is written with: the company's own, else the cover
// letter when the document goes as PDF; nothing: the document as text.
std::optional<MailTemplate> TemplateFor(const MailTexts& texts, MailKind kind, bool withPdf);

}  // namespace invarro::output
