#include "banking/Csv.h"

#include <map>

#include "data/Ansi.h"
#include "data/Fileblocks.h"

namespace invarro::banking {

namespace {

struct Row {
    int line = 0;
    std::vector<std::string> cells;
};

// RFC 4180 rows with the given delimiter; blanks inside unquoted cells are kept.
std::optional<std::vector<Row>> SplitRows(const std::string& text, char delimiter, int& badLine) {
    std::vector<Row> rows;
    Row row;
    std::string cell;
    bool quoted = false, wasQuoted = false;
    int line = 1;
    row.line = 1;
    auto endCell = [&] {
        row.cells.push_back(wasQuoted ? cell : data::TrimmedText(cell));
        cell.clear();
        wasQuoted = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                cell += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                if (c == '\n') ++line;
                cell += c;
            }
        } else if (c == '"' && data::TrimText(cell).empty()) {
            cell.clear();
            quoted = wasQuoted = true;
        } else if (c == delimiter) {
            endCell();
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            endCell();
            rows.push_back(std::move(row));
            row = Row{};
            row.line = ++line;
        } else {
            cell += c;
        }
    }
    if (quoted) {
        badLine = row.line;
        return {};
    }
    if (!cell.empty() || !row.cells.empty()) {
        endCell();
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string Key(std::string_view header) {
    return data::UpperText(data::TrimText(header));
}

std::optional<data::Date> CsvDate(std::string_view text, CsvDateOrder order) {
    int parts[3] = {-1, -1, -1};
    int n = 0, digits = 0;
    int v = 0;
    for (char c : data::TrimText(text)) {
        if (c >= '0' && c <= '9') {
            v = v * 10 + (c - '0');
            ++digits;
        } else if ((c == '.' || c == '/' || c == '-') && digits > 0 && n < 2) {
            parts[n++] = v;
            v = digits = 0;
        } else {
            return {};
        }
    }
    if (digits == 0 || n != 2) return {};
    parts[2] = v;
    data::Date d;
    switch (order) {
        case CsvDateOrder::DayMonthYear:
            d = {parts[2], parts[1], parts[0]};
            break;
        case CsvDateOrder::MonthDayYear:
            d = {parts[2], parts[0], parts[1]};
            break;
        case CsvDateOrder::YearMonthDay:
            d = {parts[0], parts[1], parts[2]};
            break;
    }
    if (d.year < 100) d.year += d.year < 70 ? 2000 : 1900;
    if (!data::IsValidDate(d)) return {};
    return d;
}

std::string SectionOf(std::string_view companyNo) {
    return "Bank CSV " + data::CompanyPrefix(companyNo);
}

}  // namespace

std::string CsvMappingProblem(const CsvMapping& m) {
    if (m.delimiter == 0 || m.delimiter == '"' || m.delimiter == '\n' || m.delimiter == '\r')
        return "The delimiter must be one character other than a quote.";
    if (data::TrimText(m.date).empty()) return "Choose the column of the booking date.";
    const bool one = !data::TrimText(m.amount).empty();
    const bool two = !data::TrimText(m.credit).empty() && !data::TrimText(m.debit).empty();
    if (one == two) return "Choose either the amount column or both a credit and a debit column.";
    if (data::TrimText(m.currency).empty() && data::TrimText(m.defaultCurrency).size() != 3)
        return "Choose the currency column or the currency of every line.";
    return {};
}

ReadResult ReadCsv(std::string_view bytes, const CsvMapping& m) {
    ReadResult out;
    const auto fail = &ReadFailure;
    if (std::string problem = CsvMappingProblem(m); !problem.empty()) return fail(0, problem);
    std::string text = ToUtf8(bytes);
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    int badLine = 0;
    auto rows = SplitRows(text, m.delimiter, badLine);
    if (!rows) return fail(badLine, "a quoted field is never closed");

    const std::vector<std::string> wanted = {m.date,      m.amount, m.credit, m.debit,
                                             m.currency,  m.name,   m.iban,   m.text,
                                             m.reference, m.bankId, m.account};
    std::size_t header = rows->size();
    std::map<std::string, std::size_t> column;
    for (std::size_t r = 0; r < rows->size() && header == rows->size(); ++r) {
        std::map<std::string, std::size_t> found;
        for (std::size_t c = 0; c < (*rows)[r].cells.size(); ++c)
            found.emplace(Key((*rows)[r].cells[c]), c);
        bool all = true;
        for (const std::string& w : wanted)
            if (!data::TrimText(w).empty() && !found.count(Key(w))) all = false;
        if (all) {
            header = r;
            column = std::move(found);
        }
    }
    if (header == rows->size()) return fail(0, "no line holds the headers of the column mapping");
    auto cell = [&](const Row& row, const std::string& name) -> std::string {
        if (data::TrimText(name).empty()) return {};
        const std::size_t c = column[Key(name)];
        return c < row.cells.size() ? row.cells[c] : std::string();
    };
    for (std::size_t r = header + 1; r < rows->size(); ++r) {
        const Row& row = (*rows)[r];
        auto date = CsvDate(cell(row, m.date), m.dateOrder);
        if (!date) break;  // the data ends: a footer follows
        StatementLine line;
        line.bookDate = *date;
        if (!data::TrimText(m.amount).empty()) {
            auto a = CanonicalAmount(cell(row, m.amount), m.decimalComma);
            if (!a)
                return fail(row.line,
                            "the amount \"" + cell(row, m.amount) + "\" is not an amount");
            line.amount = *a;
        } else {
            const std::string credit = cell(row, m.credit), debit = cell(row, m.debit);
            const bool hasCredit = !data::TrimText(credit).empty();
            const bool hasDebit = !data::TrimText(debit).empty();
            if (hasCredit == hasDebit)
                return fail(
                    row.line,
                    "the line has an amount in both or neither of the credit and debit columns");
            auto a = CanonicalAmount(hasCredit ? credit : debit, m.decimalComma);
            if (!a)
                return fail(row.line,
                            "the amount \"" + (hasCredit ? credit : debit) + "\" is not an amount");
            const bool negative = a->front() == '-';
            const std::string magnitude = negative ? a->substr(1) : *a;
            line.amount = hasCredit ? magnitude : Negated(magnitude);
        }
        line.currency = data::TrimmedText(cell(row, m.currency));
        if (line.currency.empty()) line.currency = data::TrimmedText(m.defaultCurrency);
        line.account = data::TrimmedText(cell(row, m.account));
        if (line.account.empty()) line.account = data::TrimmedText(m.defaultAccount);
        line.payerName = cell(row, m.name);
        line.payerIban = data::TrimmedText(cell(row, m.iban));
        line.text = cell(row, m.text);
        line.reference = data::TrimmedText(cell(row, m.reference));
        line.bankId = data::TrimmedText(cell(row, m.bankId));
        out.lines.push_back(std::move(line));
    }
    return out;
}

CsvMapping ReadCsvMapping(const data::IniFile& ini, std::string_view companyNo) {
    CsvMapping m;
    const std::string s = SectionOf(companyNo);
    auto get = [&](const char* key, const std::string& fallback) {
        return ini.readString(s, key, fallback);
    };
    const std::string delimiter = get("Delimiter", ";");
    m.delimiter = delimiter == "TAB" ? '\t' : delimiter.empty() ? ';' : delimiter[0];
    m.decimalComma = ini.readInteger(s, "DecimalComma", 1) != 0;
    const std::string order = get("DateOrder", "DMY");
    m.dateOrder = order == "MDY"   ? CsvDateOrder::MonthDayYear
                  : order == "YMD" ? CsvDateOrder::YearMonthDay
                                   : CsvDateOrder::DayMonthYear;
    m.date = get("Date", "");
    m.amount = get("Amount", "");
    m.credit = get("Credit", "");
    m.debit = get("Debit", "");
    m.currency = get("Currency", "");
    m.defaultCurrency = get("DefaultCurrency", "EUR");
    m.name = get("Name", "");
    m.iban = get("IBAN", "");
    m.text = get("Text", "");
    m.reference = get("Reference", "");
    m.bankId = get("BankId", "");
    m.account = get("Account", "");
    m.defaultAccount = get("DefaultAccount", "");
    return m;
}

bool WriteCsvMapping(data::IniFile& ini, std::string_view companyNo, const CsvMapping& m,
                     std::string* error) {
    const char* order = m.dateOrder == CsvDateOrder::MonthDayYear   ? "MDY"
                        : m.dateOrder == CsvDateOrder::YearMonthDay ? "YMD"
                                                                    : "DMY";
    return ini.write(SectionOf(companyNo),
                     {{"Delimiter", m.delimiter == '\t' ? "TAB" : std::string(1, m.delimiter)},
                      {"DecimalComma", m.decimalComma ? "1" : "0"},
                      {"DateOrder", order},
                      {"Date", m.date},
                      {"Amount", m.amount},
                      {"Credit", m.credit},
                      {"Debit", m.debit},
                      {"Currency", m.currency},
                      {"DefaultCurrency", m.defaultCurrency},
                      {"Name", m.name},
                      {"IBAN", m.iban},
                      {"Text", m.text},
                      {"Reference", m.reference},
                      {"BankId", m.bankId},
                      {"Account", m.account},
                      {"DefaultAccount", m.defaultAccount}},
                     error);
}

}  // namespace invarro::banking
