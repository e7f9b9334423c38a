#include "banking/Demo.h"

#include <cstdio>
#include <map>
#include <set>

#include "banking/Camt.h"
#include "data/Ansi.h"
#include "data/EInvoiceData.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/Open.h"
#include "data/PaymentReference.h"
#include "platform/XmlText.h"

namespace invarro::banking {

namespace {

// The amount without its sign, as the statement writes it beside a credit/debit mark.
std::string Plain(data::Money m) {
    return (m.cents() < 0 ? data::Money::FromCents(-m.cents()) : m).storedText();
}

struct Entry {
    std::string amount;
    std::string currency = "EUR";
    bool credit = true;
    bool reversal = false;
    std::string status = "BOOK";
    std::string id;
    std::string name;
    std::string iban;
    std::string reference;
    std::string text;
};

std::string EntryXml(const Entry& e, const std::string& day) {
    std::string x = "      <Ntry>\n        <Amt Ccy=\"" + e.currency + "\">" + e.amount +
                    "</Amt>\n        <CdtDbtInd>" + (e.credit ? "CRDT" : "DBIT") + "</CdtDbtInd>\n";
    if (e.reversal) x += "        <RvslInd>true</RvslInd>\n";
    x += "        <Sts><Cd>" + e.status + "</Cd></Sts>\n        <BookgDt><Dt>" + day +
         "</Dt></BookgDt>\n        <ValDt><Dt>" + day + "</Dt></ValDt>\n        <AcctSvcrRef>" +
         e.id +
         "</AcctSvcrRef>\n        <BkTxCd><Domn><Cd>PMNT</Cd><Fmly><Cd>RCDT</Cd>"
         "<SubFmlyCd>ESCT</SubFmlyCd></Fmly></Domn></BkTxCd>\n        <NtryDtls>\n"
         "          <TxDtls>\n            <Refs><EndToEndId>NOTPROVIDED</EndToEndId></Refs>\n"
         "            <RltdPties><" +
         std::string(e.credit ? "Dbtr" : "Cdtr") + "><Pty><Nm>" + platform::XmlText(e.name) +
         "</Nm></Pty></" + (e.credit ? "Dbtr" : "Cdtr") + ">";
    const std::string account = e.credit ? "DbtrAcct" : "CdtrAcct";
    if (!e.iban.empty())
        x += "<" + account + "><Id><IBAN>" + e.iban + "</IBAN></Id></" + account + ">";
    x += "</RltdPties>\n";
    if (!e.reference.empty() || !e.text.empty()) {
        x += "            <RmtInf>";
        if (!e.text.empty()) x += "<Ustrd>" + platform::XmlText(e.text) + "</Ustrd>";
        if (!e.reference.empty())
            // A Swiss bank names a QR reference by its own code, an RF reference by ISO's.
            x += std::string("<Strd><CdtrRefInf><Tp><CdOrPrtry>") +
                 (data::IsQrReference(e.reference) ? "<Prtry>QRR</Prtry>" : "<Cd>SCOR</Cd>") +
                 "</CdOrPrtry></Tp><Ref>" + e.reference + "</Ref></CdtrRefInf></Strd>";
        x += "</RmtInf>\n";
    }
    return x + "          </TxDtls>\n        </NtryDtls>\n      </Ntry>\n";
}

}  // namespace

std::string DemoStatementXml(const MatchBooks& books, const std::string& iban,
                             const data::Date& day, const std::string& currency) {
    // The open invoices by customer, oldest first; each case takes invoices nobody took.
    std::map<std::string, std::vector<const OpenInvoice*>> byCustomer;
    for (const OpenInvoice& inv : books.open)
        if (data::InvoiceReferenceFor(iban, inv.number)) byCustomer[inv.custNo].push_back(&inv);
    std::vector<const OpenInvoice*> singles;
    const std::vector<const OpenInvoice*>* several = nullptr;
    for (const auto& [custNo, list] : byCustomer) {
        if (!several && list.size() >= 2 && list.size() <= 3)
            several = &list;
        else
            singles.push_back(list.front());
    }
    auto name = [&books](const std::string& custNo) {
        auto it = books.customerNames.find(custNo);
        return it == books.customerNames.end() ? std::string() : data::UpperText(it->second);
    };
    std::vector<Entry> entries;
    int n = 0;
    auto id = [&n] { return "DEMO-" + std::to_string(++n); };
    if (singles.size() > 0) {  // paid in full by the reference on its QR code
        const OpenInvoice& inv = *singles[0];
        entries.push_back({Plain(inv.due), currency, true, false, "BOOK", id(), name(inv.custNo),
                           "DE02120300000000202051", *data::InvoiceReferenceFor(iban, inv.number),
                           ""});
        // ... and that payment returned by the payer's bank a day later.
        entries.push_back({Plain(inv.due), currency, false, true, "BOOK", id(), name(inv.custNo),
                           "DE02120300000000202051", "", "RETURN: ACCOUNT CLOSED"});
    }
    if (singles.size() > 1) {  // paid in full, the invoice number in the text
        const OpenInvoice& inv = *singles[1];
        entries.push_back({Plain(inv.due), currency, true, false, "BOOK", id(), name(inv.custNo),
                           "DE89370400440532013000", "", "Invoice " + inv.number + " thank you"});
    }
    if (singles.size() > 2 && singles[2]->due.cents() >= 2) {  // a partial payment
        const OpenInvoice& inv = *singles[2];
        entries.push_back({Plain(data::Money::FromCents(inv.due.cents() / 2)), currency, true,
                           false, "BOOK", id(), name(inv.custNo), "DE44500105175407324931",
                           *data::InvoiceReferenceFor(iban, inv.number), "First instalment"});
    }
    if (several) {  // one credit for all of a customer's open invoices, by name only
        data::Money sum;
        for (const OpenInvoice* inv : *several)
            sum += inv->due;
        entries.push_back({Plain(sum), currency, true, false, "BOOK", id(),
                           name(several->front()->custNo), "AT611904300234573201", "",
                           "Open items, see our remittance advice"});
    }
    // An invoice paid net of the customer's credit note, the invoice's number in the text:
    // the first credit whose customer has an invoice no line above pays.
    std::set<std::string> used;
    for (std::size_t i = 0; i < singles.size() && i < 3; ++i)
        used.insert(singles[i]->number);
    if (several)
        for (const OpenInvoice* inv : *several)
            used.insert(inv->number);
    bool net = false;
    for (const OpenInvoice& credit : books.credits)
        for (const OpenInvoice& inv : books.open)
            if (!net && inv.custNo == credit.custNo && !used.count(inv.number) &&
                inv.due + credit.due > data::Money()) {
                entries.push_back({Plain(inv.due + credit.due), currency, true, false, "BOOK", id(),
                                   name(inv.custNo), "CH5604835012345678009", "",
                                   "Invoice " + inv.number + " less your credit note"});
                net = true;
            }
    entries.push_back(
        {"12.90", currency, false, false, "BOOK", id(), "BANK", "", "", "Account fee"});
    entries.push_back({"250.00", "USD", true, false, "BOOK", id(), "ACME TRADING LLC",
                       "GB33BUKB20201555555555", "", "Payment for services"});
    entries.push_back(
        {"75.00", currency, true, false, "BOOK", id(), "UNKNOWN PAYER", "", "", "Donation"});
    entries.push_back(
        {"40.00", currency, true, false, "PDNG", id(), "PENDING PAYER", "", "", "Pending"});

    const std::string d = IsoDate(day);
    std::string x =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:camt.053.001.08\">\n"
        "  <BkToCstmrStmt>\n    <GrpHdr><MsgId>DEMO-" +
        d + "</MsgId><CreDtTm>" + d +
        "T18:00:00</CreDtTm></GrpHdr>\n    <Stmt>\n      <Id>DEMO-STATEMENT-" + d +
        "</Id>\n      <CreDtTm>" + d + "T18:00:00</CreDtTm>\n      <Acct><Id><IBAN>" + iban +
        "</IBAN></Id><Ccy>" + currency +
        "</Ccy></Acct>\n      <Bal><Tp><CdOrPrtry><Cd>OPBD</Cd></CdOrPrtry></Tp><Amt Ccy=\"" +
        currency + "\">0.00</Amt><CdtDbtInd>CRDT</CdtDbtInd><Dt><Dt>" + d + "</Dt></Dt></Bal>\n";
    for (const Entry& e : entries)
        x += EntryXml(e, d);
    return x + "    </Stmt>\n  </BkToCstmrStmt>\n</Document>\n";
}

DemoBankResult AddDemoBankStatement(const std::string& folder, const data::CompanyRecord& company,
                                    const std::string& iban, const data::Date& day,
                                    platform::Prompter& prompter) {
    DemoBankResult result;
    const std::string prefix = data::CompanyPrefix(company.text(data::Company::CompanyNo));
    data::OpenRequest request;
    request.kind = data::FileKind::BankLine;
    request.name = data::FileblockName(folder, data::FileKind::BankLine, prefix);
    data::OpenResult bank = data::OpenBusinessFileblock(request, prompter);
    data::ExistingFileblock invoices, customers;
    data::OpenExisting(invoices, folder, data::FileKind::Invoice, prefix, prompter);
    data::OpenExisting(customers, folder, data::FileKind::Customer, prefix, prompter);
    if (!bank || !invoices.fb) {
        if (bank) storage::CloseFileblock(bank.fb);
        result.error = "the bank lines or invoices of company " + prefix + " cannot be opened";
        return result;
    }
    const std::string currency =
        data::InvoiceCurrency(data::ReadCompanyEInvoice(folder, company), company);
    auto books = LoadBooks(invoices.fb, customers.fb, bank.fb, currency);
    std::string xml = books ? DemoStatementXml(*books, iban, day, currency) : std::string();
    const ReadResult read = ReadCamt(xml);
    result.path = data::JoinPath(folder, "Bank statement " + prefix + ".xml");
    if (!books || !read.ok) {
        result.error = "the demo statement cannot be made: " + read.error;
    } else if (!data::ReplaceUserFile(result.path, xml, &result.error)) {
        // the error says why
    } else {
        char stamp[12];
        std::snprintf(stamp, sizeof stamp, "%04d%02d%02d", day.year, day.month, day.day);
        const StoreOutcome stored = StoreLines(bank.fb, read.lines, stamp, prompter);
        result.ok = stored.ok;
        result.lines = int(stored.added.size());
        if (!stored.ok) result.error = "the demo bank lines cannot be stored";
    }
    storage::CloseFileblock(bank.fb);
    return result;
}

}  // namespace invarro::banking
