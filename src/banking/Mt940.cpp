#include "banking/Mt940.h"

#include <map>

#include "data/Ansi.h"

namespace invarro::banking {

namespace {

struct Field {
    std::string tag;  // "61", "86", "25", ...
    std::string value;
    int line = 0;
};

// The fields of the file: a line ":tag:" starts one, other lines continue it.
std::vector<Field> Fields(const std::string& text) {
    std::vector<Field> fields;
    int lineNo = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        std::string line =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > 2 && line[0] == ':') {
            const std::size_t colon = line.find(':', 1);
            if (colon != std::string::npos && colon <= 5) {
                fields.push_back({line.substr(1, colon - 1), line.substr(colon + 1), lineNo});
                line.clear();
            }
        }
        if (!line.empty() && !fields.empty() && line != "-" && line != "-}")
            fields.back().value += (fields.back().tag == "86" ? "" : "\n") + line;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return fields;
}

int Digits(std::string_view s, std::size_t at, std::size_t n) {
    if (at + n > s.size()) return -1;
    int v = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return -1;
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

// The :86: subfields by number; a separator other than "?" is taken from its 4th
// character (the character after the three-digit transaction code).
std::map<int, std::string> Subfields(const std::string& value) {
    std::map<int, std::string> out;
    if (value.size() < 4) return out;
    const char sep = value[3];
    if (sep != '?' && sep != '/' && sep != '>') return out;
    std::size_t i = 3;
    while (i < value.size()) {
        if (value[i] != sep || Digits(value, i + 1, 2) < 0) {
            ++i;
            continue;
        }
        const int no = Digits(value, i + 1, 2);
        std::size_t next = i + 3;
        while (next < value.size() && !(value[next] == sep && Digits(value, next + 1, 2) >= 0))
            ++next;
        out[no] += value.substr(i + 3, next - i - 3);
        i = next;
    }
    return out;
}

// The SEPA tags of the joined purpose ("EREF+", "SVWZ+", ...) and their values.
std::map<std::string, std::string> Tags(const std::string& purpose) {
    static const char* kTags[] = {"EREF+", "KREF+", "MREF+", "CRED+", "DEBT+", "SVWZ+",
                                  "ABWA+", "ABWE+", "COAM+", "OAMT+", "BREF+", "RREF+"};
    std::map<std::size_t, std::string> at;
    for (const char* t : kTags)
        for (std::size_t p = purpose.find(t); p != std::string::npos; p = purpose.find(t, p + 1))
            at[p] = t;
    std::map<std::string, std::string> out;
    for (auto it = at.begin(); it != at.end(); ++it) {
        auto next = std::next(it);
        const std::size_t from = it->first + 5;
        const std::size_t to = next == at.end() ? purpose.size() : next->first;
        out[it->second.substr(0, 4)] = data::TrimmedText(purpose.substr(from, to - from));
    }
    if (at.empty() || at.begin()->first > 0) {
        const std::size_t to = at.empty() ? purpose.size() : at.begin()->first;
        out[""] = data::TrimmedText(purpose.substr(0, to));
    }
    return out;
}

bool ReadStatementLine(const Field& f, const std::string& account, const std::string& currency,
                       StatementLine& line, std::string& why) {
    const std::string& v = f.value;
    const int yy = Digits(v, 0, 2), mm = Digits(v, 2, 2), dd = Digits(v, 4, 2);
    if (yy < 0 || mm < 0 || dd < 0) return why = "the value date is not YYMMDD", false;
    const data::Date value{yy < 70 ? 2000 + yy : 1900 + yy, mm, dd};
    if (!data::IsValidDate(value)) return why = "the value date is not a date", false;
    std::size_t i = 6;
    data::Date booked = value;
    if (Digits(v, 6, 4) >= 0) {
        booked = {value.year, Digits(v, 6, 2), Digits(v, 8, 2)};
        // The entry date lies within days of the value date, across a year end too.
        if (value.month == 12 && booked.month == 1) ++booked.year;
        if (value.month == 1 && booked.month == 12) --booked.year;
        if (!data::IsValidDate(booked)) return why = "the entry date is not a date", false;
        i = 10;
    }
    std::string mark;
    if (v.compare(i, 2, "RC") == 0 || v.compare(i, 2, "RD") == 0) {
        mark = v.substr(i, 2);
        i += 2;
    } else if (i < v.size() && (v[i] == 'C' || v[i] == 'D')) {
        mark = v.substr(i, 1);
        ++i;
    } else {
        return why = "the debit/credit mark is not C, D, RC or RD", false;
    }
    if (i < v.size() && std::isalpha(static_cast<unsigned char>(v[i]))) ++i;  // funds code
    std::size_t amountEnd = i;
    while (amountEnd < v.size() &&
           (std::isdigit(static_cast<unsigned char>(v[amountEnd])) || v[amountEnd] == ','))
        ++amountEnd;
    // The comma is always written, with no decimals after it for a whole amount ("25,").
    std::string written = v.substr(i, amountEnd - i);
    const bool hasComma = written.find(',') != std::string::npos;
    if (!written.empty() && written.back() == ',') written.pop_back();
    auto amount = CanonicalAmount(written, true);
    if (!amount || !hasComma)
        return why = "the amount is not an amount with a decimal comma", false;
    const bool debit = mark == "D" || mark == "RC";
    line.account = account;
    line.currency = currency;
    line.bookDate = booked;
    char buf[12];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", value.year, value.month, value.day);
    line.valueDate = buf;
    line.amount = debit ? Negated(*amount) : *amount;
    line.reversal = mark.size() == 2;
    // Transaction type (4 characters), the customer's reference, "//" the bank's.
    const std::string rest = v.substr(std::min(v.size(), amountEnd + 4));
    const std::size_t slashes = rest.find("//");
    if (slashes != std::string::npos) {
        std::string bankRef = rest.substr(slashes + 2);
        bankRef = bankRef.substr(0, bankRef.find('\n'));
        line.bankId = data::TrimmedText(bankRef);
    }
    return true;
}

void ReadInformation(const std::string& value, StatementLine& line) {
    const auto sub = Subfields(value);
    if (sub.empty()) {
        line.text = data::TrimmedText(value);
        line.reference = FindCreditorReference(line.text);
        return;
    }
    std::string purpose;
    for (int k : {20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 60, 61, 62, 63})
        if (auto it = sub.find(k); it != sub.end()) purpose += it->second;
    const auto tags = Tags(purpose);
    auto tag = [&](const char* t) {
        auto it = tags.find(t);
        return it == tags.end() ? std::string() : it->second;
    };
    line.text = tag("SVWZ");
    if (line.text.empty()) line.text = tag("");
    if (const std::string kref = tag("KREF"); !kref.empty())
        line.text += (line.text.empty() ? "" : " ") + kref;
    line.endToEnd = tag("EREF");
    if (line.endToEnd == "NOTPROVIDED") line.endToEnd.clear();
    line.reference = FindCreditorReference(line.endToEnd);
    if (line.reference.empty()) line.reference = FindCreditorReference(line.text);
    std::string name;
    for (int k : {32, 33})
        if (auto it = sub.find(k); it != sub.end()) name += it->second;
    line.payerName = data::TrimmedText(name);
    if (auto it = sub.find(31); it != sub.end()) line.payerIban = data::TrimmedText(it->second);
}

}  // namespace

bool LooksLikeMt940(std::string_view bytes) {
    return bytes.find(":20:") != std::string_view::npos &&
           bytes.find(":61:") != std::string_view::npos;
}

ReadResult ReadMt940(std::string_view bytes) {
    ReadResult out;
    const std::vector<Field> fields = Fields(ToUtf8(bytes));
    std::string account, currency;
    bool any = false;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        const Field& f = fields[k];
        if (f.tag == "25") {
            account = data::TrimmedText(f.value);
            // "BLZ/account" or an IBAN, possibly with a currency after it.
            if (account.size() > 3 && account.find('/') == std::string::npos) {
                const std::string tail = account.substr(account.size() - 3);
                if (std::isalpha(static_cast<unsigned char>(tail[0])) && account.size() > 22)
                    account.resize(account.size() - 3);
            }
        } else if (f.tag == "60F" || f.tag == "60M") {
            if (f.value.size() >= 10) currency = f.value.substr(7, 3);
        } else if (f.tag == "61") {
            any = true;
            StatementLine line;
            std::string why;
            if (!ReadStatementLine(f, account, currency, line, why))
                return ReadFailure(f.line, why);
            if (k + 1 < fields.size() && fields[k + 1].tag == "86")
                ReadInformation(fields[k + 1].value, line);
            out.lines.push_back(std::move(line));
        }
    }
    if (!any && fields.empty()) return ReadFailure(0, "no MT940 fields");
    return out;
}

}  // namespace invarro::banking
