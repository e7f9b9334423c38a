// Whether and with what an invoice carries a payment QR code: the EPC transfer of its
// balance due to the company's IBAN, with the invoice's RF reference.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "data/EInvoiceData.h"
#include "data/IniFile.h"
#include "data/Records.h"
#include "output/PaymentQr.h"

namespace invarro::invoicing {

// The company setting that switches payment codes off (INI section "Payment code <no>",
// key "Off"); they are on by default.
bool PaymentCodesOff(const data::IniFile& ini, std::string_view companyNo);
bool SetPaymentCodesOff(data::IniFile& ini, std::string_view companyNo, bool off,
                        std::string* error = nullptr);

// The transfer the invoice's code asks for: only for an invoice (types I, Z, G) that is
// not paid, with a balance due above zero, of a company with an IBAN whose invoices are
// in euro. The reference is the invoice's RF reference; a number the reference cannot
// carry gives the text "Invoice <number>" instead. Nothing for a quote, credit, deposit,
// repeat master, a paid invoice or without an IBAN.
std::optional<output::EpcTransfer> InvoicePaymentTransfer(const data::CompanyRecord& company,
                                                          const data::CompanyEInvoice& settings,
                                                          const data::InvoiceRecord& invoice);

}  // namespace invarro::invoicing
