#include "banking/Camt.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>

#include "data/Ansi.h"

namespace invarro::banking {

namespace {

constexpr std::string_view kNamespace = "urn:iso:std:iso:20022:tech:xsd:camt.05";

using Node = xmlNode*;

bool Named(Node n, std::string_view name) {
    return n && n->type == XML_ELEMENT_NODE &&
           std::string_view(reinterpret_cast<const char*>(n->name)) == name;
}

std::vector<Node> Children(Node n, std::string_view name) {
    std::vector<Node> out;
    if (!n) return out;
    for (Node c = n->children; c; c = c->next)
        if (Named(c, name)) out.push_back(c);
    return out;
}

Node Child(Node n, std::string_view name) {
    if (!n) return nullptr;
    for (Node c = n->children; c; c = c->next)
        if (Named(c, name)) return c;
    return nullptr;
}

Node Path(Node n, std::initializer_list<std::string_view> names) {
    for (std::string_view name : names)
        n = Child(n, name);
    return n;
}

std::string Text(Node n) {
    if (!n) return {};
    std::unique_ptr<xmlChar, void (*)(void*)> content(xmlNodeGetContent(n), xmlFree);
    return content ? data::TrimmedText(reinterpret_cast<const char*>(content.get()))
                   : std::string();
}

std::string Attribute(Node n, const char* name) {
    if (!n) return {};
    std::unique_ptr<xmlChar, void (*)(void*)> v(xmlGetProp(n, BAD_CAST name), xmlFree);
    return v ? std::string(reinterpret_cast<const char*>(v.get())) : std::string();
}

// A party's name: directly under it (version 02) or under Pty (version 08).
std::string PartyName(Node party) {
    std::string name = Text(Child(party, "Nm"));
    return name.empty() ? Text(Path(party, {"Pty", "Nm"})) : name;
}

std::string AccountId(Node acct) {
    std::string iban = Text(Path(acct, {"Id", "IBAN"}));
    return iban.empty() ? Text(Path(acct, {"Id", "Othr", "Id"})) : iban;
}

std::optional<data::Date> IsoDate(std::string_view text) {
    if (text.size() < 10 || text[4] != '-' || text[7] != '-') return {};
    auto num = [&](std::size_t at, std::size_t n) {
        int v = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (text[i] < '0' || text[i] > '9') return -1;
            v = v * 10 + (text[i] - '0');
        }
        return v;
    };
    data::Date d{num(0, 4), num(5, 2), num(8, 2)};
    if (!data::IsValidDate(d)) return {};
    return d;
}

std::string DateNode(Node n) {
    std::string t = Text(Child(n, "Dt"));
    return t.empty() ? Text(Child(n, "DtTm")) : t;
}

std::string CompactDate(const std::string& iso) {
    auto d = IsoDate(iso);
    if (!d) return {};
    char buf[12];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", d->year, d->month, d->day);
    return buf;
}

// The status of an entry: text directly (version 02, 04) or in Cd (version 08).
std::string Status(Node entry) {
    Node sts = Child(entry, "Sts");
    std::string code = Text(Child(sts, "Cd"));
    return code.empty() ? Text(sts) : code;
}

// The structured reference of a transaction: CdtrRefInf/Ref (the ISO and the Swiss QR
// reference alike, whatever Cd or Prtry says of its type).
std::string StructuredReference(Node tx) {
    for (Node strd : Children(Path(tx, {"RmtInf"}), "Strd")) {
        std::string ref = Text(Path(strd, {"CdtrRefInf", "Ref"}));
        if (!ref.empty()) return ref;
    }
    return {};
}

std::string Unstructured(Node tx) {
    std::string text;
    for (Node u : Children(Child(tx, "RmtInf"), "Ustrd")) {
        if (!text.empty()) text += ' ';
        text += Text(u);
    }
    return text;
}

// The amount of a transaction detail: AmtDtls/TxAmt/Amt, else Amt (version 04 on).
Node DetailAmount(Node tx) {
    if (Node a = Path(tx, {"AmtDtls", "TxAmt", "Amt"})) return a;
    return Child(tx, "Amt");
}

void Fill(StatementLine& line, Node tx, bool credit) {
    Node parties = Child(tx, "RltdPties");
    line.payerName = PartyName(Child(parties, credit ? "Dbtr" : "Cdtr"));
    line.payerIban = AccountId(Child(parties, credit ? "DbtrAcct" : "CdtrAcct"));
    line.reference = StructuredReference(tx);
    line.text = Unstructured(tx);
    line.endToEnd = Text(Path(tx, {"Refs", "EndToEndId"}));
    if (line.endToEnd == "NOTPROVIDED") line.endToEnd.clear();
}

// created: the message's creation date, the booking date of an entry that gives neither
// a booking nor a value date (a notification may leave both out).
bool ReadEntry(Node entry, const std::string& account, const std::string& created,
               ReadResult& out) {
    const std::string status = Status(entry);
    if (status == "PDNG" || status == "INFO" || status == "FUTR") {
        ++out.pending;
        return true;
    }
    Node amt = Child(entry, "Amt");
    auto amount = CanonicalAmount(Text(amt), false);
    const std::string indicator = Text(Child(entry, "CdtDbtInd"));
    Node dated = Child(entry, "BookgDt") ? Child(entry, "BookgDt") : Child(entry, "ValDt");
    auto booked = dated ? IsoDate(DateNode(dated)) : IsoDate(created);
    if (!amount || (indicator != "CRDT" && indicator != "DBIT") || !booked) {
        out.ok = false;
        out.error = "an entry without a readable amount, credit/debit indicator or booking date";
        return false;
    }
    const bool credit = indicator == "CRDT";
    StatementLine base;
    base.account = account;
    base.bookDate = *booked;
    base.valueDate = CompactDate(DateNode(Child(entry, "ValDt")));
    base.currency = Attribute(amt, "Ccy");
    base.bankId = Text(Child(entry, "AcctSvcrRef"));
    base.reversal = Text(Child(entry, "RvslInd")) == "true";
    base.amount = credit ? *amount : Negated(*amount);
    base.text = Text(Child(entry, "AddtlNtryInf"));

    std::vector<Node> details;
    for (Node d : Children(entry, "NtryDtls"))
        for (Node tx : Children(d, "TxDtls"))
            details.push_back(tx);
    // A batch gives a line per detail only when each detail carries its amount; else
    // the entry is one line with the details' texts.
    bool amounts = details.size() > 1;
    for (Node tx : details)
        amounts = amounts && DetailAmount(tx) != nullptr;
    if (!amounts) {
        StatementLine line = base;
        if (!details.empty()) {
            Fill(line, details.front(), credit);
            for (std::size_t i = 1; i < details.size(); ++i) {
                const std::string more = Unstructured(details[i]);
                if (!more.empty()) line.text += (line.text.empty() ? "" : " ") + more;
            }
            if (line.text.empty()) line.text = base.text;
        }
        out.lines.push_back(std::move(line));
        return true;
    }
    for (std::size_t i = 0; i < details.size(); ++i) {
        Node tx = details[i];
        StatementLine line = base;
        Fill(line, tx, credit);
        Node a = DetailAmount(tx);
        auto txAmount = CanonicalAmount(Text(a), false);
        if (!txAmount) {
            out.ok = false;
            out.error = "a batch entry's transaction without a readable amount";
            return false;
        }
        const std::string txIndicator = Text(Child(tx, "CdtDbtInd"));
        const bool txCredit = txIndicator.empty() ? credit : txIndicator == "CRDT";
        line.amount = txCredit ? *txAmount : Negated(*txAmount);
        line.currency = Attribute(a, "Ccy");
        const std::string own = Text(Path(tx, {"Refs", "AcctSvcrRef"}));
        if (!own.empty())
            line.bankId = own;
        else if (!base.bankId.empty())
            line.bankId = base.bankId + "/" + std::to_string(i + 1);
        out.lines.push_back(std::move(line));
    }
    return true;
}

}  // namespace

bool LooksLikeCamt(std::string_view bytes) {
    return bytes.find(kNamespace) != std::string_view::npos &&
           bytes.find('<') != std::string_view::npos;
}

ReadResult ReadCamt(std::string_view bytes) {
    ReadResult out;
    // No network, no external entities: a statement stands on its own.
    std::unique_ptr<xmlDoc, void (*)(xmlDoc*)> doc(
        xmlReadMemory(bytes.data(), int(bytes.size()), "statement.xml", nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
        xmlFreeDoc);
    if (!doc) {
        out.ok = false;
        const xmlError* e = xmlGetLastError();
        out.errorLine = e ? e->line : 0;
        out.error = e && e->message ? data::TrimmedText(e->message) : "not well-formed XML";
        xmlResetLastError();
        return out;
    }
    Node root = xmlDocGetRootElement(doc.get());
    const std::string ns = root && root->ns && root->ns->href
                               ? reinterpret_cast<const char*>(root->ns->href)
                               : std::string();
    const std::string_view version =
        std::string_view(ns).substr(std::min(ns.size(), kNamespace.size()));  // "3.001.08"
    const bool known = ns.rfind(kNamespace, 0) == 0 &&
                       (version == "3.001.02" || version == "3.001.04" || version == "3.001.08" ||
                        version == "4.001.02" || version == "4.001.04" || version == "4.001.08");
    if (!Named(root, "Document") || !known) {
        out.ok = false;
        out.error = ns.empty() ? "not a camt statement"
                               : "the statement version " + ns + " is not one that is read";
        return out;
    }
    Node message = Child(root, version[0] == '3' ? "BkToCstmrStmt" : "BkToCstmrDbtCdtNtfctn");
    for (Node stmt : Children(message, version[0] == '3' ? "Stmt" : "Ntfctn")) {
        const std::string account = AccountId(Child(stmt, "Acct"));
        std::string created = Text(Child(stmt, "CreDtTm"));
        if (created.empty()) created = Text(Path(message, {"GrpHdr", "CreDtTm"}));
        for (Node entry : Children(stmt, "Ntry"))
            if (!ReadEntry(entry, account, created, out)) {
                out.errorLine = int(xmlGetLineNo(entry));
                out.lines.clear();
                return out;
            }
    }
    return out;
}

}  // namespace invarro::banking
