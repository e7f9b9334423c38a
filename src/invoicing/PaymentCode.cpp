#include "invoicing/PaymentCode.h"

#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "invoicing/PaymentReference.h"

namespace invarro::invoicing {

namespace {

std::string SectionOf(std::string_view companyNo) {
    return "Payment code " + data::CompanyPrefix(companyNo);
}

}  // namespace

bool PaymentCodesOff(const data::IniFile& ini, std::string_view companyNo) {
    return ini.readInteger(SectionOf(companyNo), "Off", 0) != 0;
}

bool SetPaymentCodesOff(data::IniFile& ini, std::string_view companyNo, bool off,
                        std::string* error) {
    return ini.writeInteger(SectionOf(companyNo), "Off", off ? 1 : 0, error);
}

std::optional<output::EpcTransfer> InvoicePaymentTransfer(const data::CompanyRecord& company,
                                                          const data::CompanyEInvoice& settings,
                                                          const data::InvoiceRecord& invoice) {
    using data::Invoice;
    const std::string type = data::UpperText(data::TrimText(invoice.text(Invoice::TransType)));
    if (type != "I" && type != "Z" && type != "G") return {};
    if (data::TrimText(invoice.text(Invoice::PaidFlag)) == "P") return {};
    const data::Money due = invoice.money(Invoice::BalanceDue);
    if (due <= data::Money()) return {};
    if (data::CompactId(settings.iban).empty() || data::InvoiceCurrency(settings, company) != "EUR")
        return {};
    output::EpcTransfer t;
    t.bic = settings.bic;
    t.name = data::TrimmedText(company.text(data::Company::Name));
    t.iban = settings.iban;
    t.amount = due;
    const std::string number = data::TrimmedText(invoice.text(Invoice::InvNo));
    if (auto ref = InvoiceReference(number))
        t.reference = *ref;
    else
        t.text = "Invoice " + number;
    if (!output::EpcPayload(t)) return {};
    return t;
}

}  // namespace invarro::invoicing
