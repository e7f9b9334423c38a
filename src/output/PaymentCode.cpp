#include "output/PaymentCode.h"

#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/PaymentReference.h"
#include "output/InvDoc.h"
#include "output/SwissBill.h"

namespace invarro::output {

namespace {

std::string SectionOf(std::string_view companyNo) {
    return "Payment code " + data::CompanyPrefix(companyNo);
}

bool PayableType(std::string_view transType) {
    const std::string type = data::UpperText(data::TrimText(transType));
    return type == "I" || type == "Z" || type == "G";
}

// The transfer of the amount to the company's account with the reference, or the text
// when there is none; nothing without an amount, an IBAN or euro.
std::optional<EpcTransfer> Transfer(const data::CompanyRecord& company,
                                    const data::CompanyEInvoice& settings, data::Money due,
                                    std::optional<std::string> reference, std::string text) {
    if (due <= data::Money()) return {};
    if (data::CompactId(settings.iban).empty() || data::InvoiceCurrency(settings, company) != "EUR")
        return {};
    EpcTransfer t;
    t.bic = settings.bic;
    t.name = data::TrimmedText(company.text(data::Company::Name));
    t.iban = settings.iban;
    t.amount = due;
    if (reference)
        t.reference = *reference;
    else
        t.text = std::move(text);
    if (!EpcPayload(t)) return {};
    return t;
}

std::optional<EpcTransfer> OfInvoice(const data::CompanyRecord& company,
                                     const data::CompanyEInvoice& settings, std::string_view number,
                                     data::Money due) {
    const std::string n = data::TrimmedText(number);
    return Transfer(company, settings, due, data::InvoiceReference(n), "Invoice " + n);
}

}  // namespace

bool PaymentCodesOff(const data::IniFile& ini, std::string_view companyNo) {
    return ini.readInteger(SectionOf(companyNo), "Off", 0) != 0;
}

bool SetPaymentCodesOff(data::IniFile& ini, std::string_view companyNo, bool off,
                        std::string* error) {
    return ini.writeInteger(SectionOf(companyNo), "Off", off ? 1 : 0, error);
}

std::optional<EpcTransfer> InvoicePaymentTransfer(const data::CompanyRecord& company,
                                                  const data::CompanyEInvoice& settings,
                                                  const data::InvoiceRecord& invoice) {
    using data::Invoice;
    if (!PayableType(invoice.text(Invoice::TransType))) return {};
    if (data::TrimText(invoice.text(Invoice::PaidFlag)) == "P") return {};
    return OfInvoice(company, settings, invoice.text(Invoice::InvNo),
                     invoice.money(Invoice::BalanceDue));
}

bool DocumentToBePaid(const InvoiceDocument& doc) {
    return doc.found && PayableType(std::string_view(&doc.transType, 1)) && !doc.paidMark &&
           doc.balanceDue > data::Money();
}

std::optional<EpcTransfer> DocumentPaymentTransfer(const data::CompanyRecord& company,
                                                   const data::CompanyEInvoice& settings,
                                                   const InvoiceDocument& doc) {
    // A Swiss or Liechtenstein company's invoice carries the QR-bill instead.
    if (!DocumentToBePaid(doc) || SendsSwissBills(settings.country)) return {};
    return OfInvoice(company, settings, doc.number, doc.balanceDue);
}

std::optional<EpcTransfer> StatementPaymentTransfer(const data::CompanyRecord& company,
                                                    const data::CompanyEInvoice& settings,
                                                    std::string_view custNo, data::Money balance) {
    const std::string n = data::TrimmedText(custNo);
    return Transfer(company, settings, balance, data::CustomerReference(n), "Customer " + n);
}

PaymentBlock WithPaymentCode(PaymentDetails details, const std::string& folder,
                             const data::CompanyRecord& company,
                             const std::optional<EpcTransfer>& transfer, const Canvas& canvas) {
    if (!transfer) return PaymentBlock(std::move(details));
    if (!transfer->reference.empty())
        details.reference = data::PrintedReference(transfer->reference);
    PaymentBlock block(std::move(details));
    if (folder.empty() || PaymentCodesOff(data::IniFile(data::IniFilePath(folder)),
                                          company.text(data::Company::CompanyNo)))
        return block;
    const int side = PaymentQrSide(canvas, *transfer);
    if (side <= 0) return block;
    block.setCodeArea({side,
                       [t = *transfer](Canvas& c, int left, int top, int s) {
                           DrawPaymentQr(c, left, top, s, t);
                       },
                       true});
    return block;
}

}  // namespace invarro::output
