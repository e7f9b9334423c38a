#include "output/MailTemplates.h"

#include "data/Ansi.h"
#include "data/Company.h"
#include "data/Dates.h"
#include "data/DueDate.h"
#include "data/Fileblocks.h"
#include "data/SideFiles.h"

namespace invarro::output {

namespace {

using data::Company;
using data::TrimmedText;

const char* KeyOf(MailKind kind) {
    switch (kind) {
        case MailKind::Invoice:
            return "Invoice";
        case MailKind::Quote:
            return "Quote";
        case MailKind::Statement:
            return "Statement";
    }
    return "Invoice";
}

std::string SectionOf(std::string_view companyNo) {
    return std::string(kMailTemplateSection) + " " + data::CompanyPrefix(companyNo);
}

// The INI file keeps one line a value: backslashes and line breaks are written as "\\" and
// "\n". Blanks at either end of the value (which the file would trim) are kept as "\s".
std::string Escaped(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            continue;
        else if (c == ' ' && (i == 0 || i + 1 == text.size()))
            out += "\\s";
        else
            out += c;
    }
    return out;
}

std::string Unescaped(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        out += next == 'n' ? '\n' : next == 's' ? ' ' : next;
    }
    return out;
}

// Control characters of a value (a line break typed into a name) as one blank.
std::string OneLine(std::string_view text) {
    std::string out;
    for (char c : text)
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c;
    return out;
}

std::string CompanyName(const data::CompanyRecord& co) {
    return OneLine(TrimmedText(co.text(Company::Name)));
}

std::string Money(const std::string& currency, const data::Money& m) {
    return currency + m.shownText();
}

// Fills in the fields of one line; false when a field it holds has no value.
bool MergeLine(std::string_view line, const MailFields& values, std::string& out) {
    bool complete = true;
    size_t i = 0;
    while (i < line.size()) {
        const size_t open = line.find('{', i);
        if (open == std::string_view::npos) break;
        const size_t close = line.find('}', open + 1);
        if (close == std::string_view::npos) break;
        const auto found = values.find(line.substr(open + 1, close - open - 1));
        out.append(line.substr(i, open - i));
        if (found == values.end()) {
            out.append(line.substr(open, close - open + 1));
        } else {
            if (found->second.empty()) complete = false;
            out += OneLine(found->second);
        }
        i = close + 1;
    }
    out.append(line.substr(std::min(i, line.size())));
    return complete;
}

}  // namespace

const std::vector<MergeField>& MergeFields() {
    static const std::vector<MergeField> fields{
        {"Document", "the document's caption as one word (Invoice, Quote, Statement)"},
        {"Number", "the invoice or quote number"},
        {"Date", "the document's date (a statement: today)"},
        {"Amount", "the document's total (a statement: the account balance)"},
        {"Balance Due", "what is still owed"},
        {"Due Date", "the date the terms make it due; only where they name a number of days"},
        {"Customer", "the customer's name"},
        {"Account", "the customer's account number"},
        {"Company", "the company's name"},
    };
    return fields;
}

MailFields InvoiceMergeValues(const InvoiceDocument& doc, DocumentKind kind,
                              const data::CompanyRecord& co) {
    const FormTexts t = ReadFormTexts(co);
    const bool quote = kind == DocumentKind::Quote;
    MailFields v;
    v["Document"] = CaptionWord(quote ? t.quoteCaption : t.invoiceCaption);
    v["Number"] = TrimmedText(doc.number);
    v["Date"] = TrimmedText(doc.date);
    v["Amount"] = Money(t.currency, doc.grandTotal);
    v["Balance Due"] = quote ? std::string() : Money(t.currency, doc.balanceDue);
    v["Due Date"] = "";
    const data::DateOrder order = data::DateOrderFromCode(co.text(Company::DateFormatCode));
    if (!quote)
        if (const auto issued = data::ParseUserDate(doc.date, order))
            if (const auto due = data::PaymentDueDate(*issued, doc.terms))
                v["Due Date"] = data::FormatUserDate(*due, order);
    v["Customer"] = TrimmedText(doc.billTo[0]);
    v["Account"] = TrimmedText(doc.account);
    v["Company"] = CompanyName(co);
    return v;
}

MailFields StatementMergeValues(const Statement& s, const data::CompanyRecord& co,
                                const data::Date& today) {
    const FormTexts t = ReadFormTexts(co);
    MailFields v;
    v["Document"] = "Statement";
    v["Number"] = "";
    v["Date"] =
        data::FormatUserDate(today, data::DateOrderFromCode(co.text(Company::DateFormatCode)));
    v["Amount"] = Money(t.currency, s.balance);
    v["Balance Due"] = Money(t.currency, s.balance);
    v["Due Date"] = "";
    v["Customer"] = TrimmedText(s.name);
    v["Account"] = TrimmedText(s.custNo);
    v["Company"] = CompanyName(co);
    return v;
}

std::string MergeSubject(std::string_view text, const MailFields& values) {
    std::string out;
    MergeLine(OneLine(text), values, out);
    // Blanks left where a line break or an empty value was are one blank.
    std::string squeezed;
    for (char c : out)
        if (c != ' ' || (!squeezed.empty() && squeezed.back() != ' ')) squeezed += c;
    return TrimmedText(squeezed);
}

std::vector<std::string> MergeBody(std::string_view text, const MailFields& values) {
    std::vector<std::string> lines;
    size_t i = 0;
    while (i <= text.size()) {
        size_t nl = text.find('\n', i);
        if (nl == std::string_view::npos) nl = text.size();
        std::string_view line = text.substr(i, nl - i);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string out;
        if (MergeLine(line, values, out)) lines.push_back(std::move(out));
        i = nl + 1;
    }
    // A template ending in a line break gives no empty last line.
    while (!lines.empty() && lines.back().empty() && !text.empty() && text.back() == '\n')
        lines.pop_back();
    return lines;
}

MailTemplate CoverLetter(MailKind kind) {
    switch (kind) {
        case MailKind::Quote:
            return {"{Document} {Number} from {Company}: {Amount}",
                    "Dear {Customer},\n\nPlease find attached our {Document} {Number} of {Date} "
                    "for {Amount}.\n\nWe look forward to hearing from you.\n\n{Company}\n"};
        case MailKind::Statement:
            return {"Statement for {Customer} from {Company}",
                    "Dear {Customer},\n\nPlease find attached your statement of account of "
                    "{Date}.\nBalance due: {Balance Due}\n\nThank you for your "
                    "business.\n\n{Company}\n"};
        case MailKind::Invoice:
            break;
    }
    return {"{Document} {Number} from {Company}: {Amount}",
            "Dear {Customer},\n\nPlease find attached our {Document} {Number} of {Date} for "
            "{Amount}.\nBalance due: {Balance Due}\nDue date: {Due Date}\n\nThank you for your "
            "business.\n\n{Company}\n"};
}

std::optional<MailTemplate> StoredMailTemplate(const data::IniFile& ini, std::string_view companyNo,
                                               MailKind kind) {
    if (data::CompanyPrefix(companyNo).empty()) return std::nullopt;
    const std::string section = SectionOf(companyNo);
    const std::string key = KeyOf(kind);
    MailTemplate t{Unescaped(ini.readString(section, key + std::string("Subject"), "")),
                   Unescaped(ini.readString(section, key + std::string("Body"), ""))};
    if (TrimmedText(t.subject).empty() && TrimmedText(t.body).empty()) return std::nullopt;
    return t;
}

bool WriteMailTemplate(data::IniFile& ini, std::string_view companyNo, MailKind kind,
                       const std::optional<MailTemplate>& t, std::string* error) {
    if (data::CompanyPrefix(companyNo).empty()) return true;
    const bool standard = !t || *t == CoverLetter(kind) ||
                          (TrimmedText(t->subject).empty() && TrimmedText(t->body).empty());
    const std::string key = KeyOf(kind);
    return ini.write(SectionOf(companyNo),
                     {{key + "Subject", standard ? std::string() : Escaped(t->subject)},
                      {key + "Body", standard ? std::string() : Escaped(t->body)}},
                     error);
}

const std::optional<MailTemplate>& MailTexts::of(MailKind kind) const {
    return kind == MailKind::Quote ? quote : kind == MailKind::Statement ? statement : invoice;
}

MailTexts ReadMailTexts(const std::string& folder, const data::CompanyRecord& company) {
    const data::IniFile ini(data::IniFilePath(folder));
    const std::string number = company.text(Company::CompanyNo);
    return {StoredMailTemplate(ini, number, MailKind::Invoice),
            StoredMailTemplate(ini, number, MailKind::Quote),
            StoredMailTemplate(ini, number, MailKind::Statement)};
}

std::optional<MailTemplate> TemplateFor(const MailTexts& texts, MailKind kind, bool withPdf) {
    if (const std::optional<MailTemplate>& own = texts.of(kind)) return own;
    if (withPdf) return CoverLetter(kind);
    return std::nullopt;
}

}  // namespace invarro::output
