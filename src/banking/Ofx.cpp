#include "banking/Ofx.h"

#include <map>

#include "data/Ansi.h"

namespace invarro::banking {

namespace {

// One tag of the body: its name (upper case, "/NAME" for a closing tag), the text after it
// up to the next tag, and the line it stands on.
struct Tag {
    std::string name;
    std::string value;
    int line = 0;
};

std::string Unescaped(std::string text) {
    static const std::pair<const char*, const char*> kEntities[] = {
        {"&lt;", "<"},   {"&gt;", ">"},   {"&quot;", "\""},
        {"&apos;", "'"}, {"&nbsp;", " "}, {"&amp;", "&"}};
    for (const auto& [from, to] : kEntities)
        for (std::size_t p = text.find(from); p != std::string::npos; p = text.find(from, p + 1))
            text.replace(p, std::string_view(from).size(), to);
    return text;
}

std::optional<std::vector<Tag>> Tags(const std::string& text, std::size_t start, int& badLine) {
    std::vector<Tag> tags;
    int line = 1;
    for (std::size_t i = 0; i < start; ++i)
        line += text[i] == '\n';
    std::size_t i = start;
    while (i < text.size()) {
        if (text[i] == '\n') ++line;
        if (text[i] != '<') {
            ++i;
            continue;
        }
        const std::size_t close = text.find('>', i);
        if (close == std::string::npos) {
            badLine = line;
            return {};
        }
        Tag t;
        t.line = line;
        t.name = data::UpperText(data::TrimText(text.substr(i + 1, close - i - 1)));
        const std::size_t next = text.find('<', close + 1);
        const std::string value =
            text.substr(close + 1, (next == std::string::npos ? text.size() : next) - close - 1);
        for (char c : value)
            line += c == '\n';
        t.value = Unescaped(data::TrimmedText(value));
        if (t.name.empty() || t.name[0] == '?' || t.name[0] == '!') {
            i = next == std::string::npos ? text.size() : next;
            continue;
        }
        tags.push_back(std::move(t));
        i = next == std::string::npos ? text.size() : next;
    }
    return tags;
}

std::optional<data::Date> OfxDate(std::string_view s) {
    if (s.size() < 8) return {};
    int v[3] = {0, 0, 0};
    const std::size_t width[3] = {4, 2, 2};
    std::size_t at = 0;
    for (int k = 0; k < 3; ++k) {
        for (std::size_t n = 0; n < width[k]; ++n, ++at) {
            if (s[at] < '0' || s[at] > '9') return {};
            v[k] = v[k] * 10 + (s[at] - '0');
        }
    }
    data::Date d{v[0], v[1], v[2]};
    if (!data::IsValidDate(d)) return {};
    return d;
}

}  // namespace

bool LooksLikeOfx(std::string_view bytes) {
    return bytes.find("OFXHEADER") != std::string_view::npos ||
           bytes.find("<OFX>") != std::string_view::npos;
}

ReadResult ReadOfx(std::string_view bytes) {
    ReadResult out;
    const auto fail = &ReadFailure;
    const std::string text = ToUtf8(bytes);
    const std::size_t body = text.find("<OFX>");
    if (body == std::string::npos) return fail(0, "not an OFX file: it has no <OFX> element");
    int badLine = 0;
    auto tags = Tags(text, body, badLine);
    if (!tags) return fail(badLine, "a tag is never closed");

    std::string account, currency;
    bool inTransaction = false;
    std::map<std::string, std::string> fields;
    int startLine = 0;
    bool inPayee = false;
    for (const Tag& t : *tags) {
        if (t.name == "ACCTID" && !inTransaction) account = t.value;
        if (t.name == "CURDEF") currency = t.value;
        if (t.name == "STMTTRN") {
            inTransaction = true;
            fields.clear();
            startLine = t.line;
            continue;
        }
        if (!inTransaction) continue;
        if (t.name == "PAYEE") inPayee = true;
        if (t.name == "/PAYEE") inPayee = false;
        if (t.name != "/STMTTRN") {
            if (t.name[0] != '/' && !t.value.empty())
                fields[inPayee && t.name == "NAME" ? "PAYEENAME" : t.name] = t.value;
            continue;
        }
        inTransaction = false;
        StatementLine l;
        auto booked = OfxDate(fields["DTPOSTED"]);
        if (!booked) return fail(startLine, "a transaction without a readable DTPOSTED date");
        const std::string written = fields["TRNAMT"];
        const bool comma =
            written.find(',') != std::string::npos && written.find('.') == std::string::npos;
        auto amount = CanonicalAmount(written, comma);
        if (!amount) return fail(startLine, "the amount \"" + written + "\" is not an amount");
        l.account = account;
        l.bookDate = *booked;
        l.amount = *amount;
        l.currency = !fields["CURSYM"].empty() ? fields["CURSYM"] : currency;
        l.bankId = fields["FITID"];
        l.payerName = !fields["NAME"].empty() ? fields["NAME"] : fields["PAYEENAME"];
        l.text = fields["MEMO"];
        l.reference = FindCreditorReference(l.text);
        if (OfxDate(fields["DTUSER"])) l.valueDate = fields["DTUSER"].substr(0, 8);
        out.lines.push_back(std::move(l));
    }
    if (inTransaction) return fail(startLine, "a transaction is never closed");
    return out;
}

}  // namespace invarro::banking
