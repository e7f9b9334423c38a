// Whether and with what a document carries a payment QR code: the EPC transfer of its
// balance due to the company's IBAN, with the invoice's RF reference (or, on a customer
// statement, the customer's).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "data/EInvoiceData.h"
#include "data/IniFile.h"
#include "data/Records.h"
#include "output/PaymentBlock.h"
#include "output/PaymentQr.h"

namespace invarro::output {

struct InvoiceDocument;

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
std::optional<EpcTransfer> InvoicePaymentTransfer(const data::CompanyRecord& company,
                                                  const data::CompanyEInvoice& settings,
                                                  const data::InvoiceRecord& invoice);
// Whether the assembled document is an invoice (types I, Z, G) not marked paid with a
// balance due above zero.
bool DocumentToBePaid(const InvoiceDocument& doc);
// The same for an assembled document, whose balance is summed over the invoice's records;
// nothing for a company in Switzerland or Liechtenstein, whose invoices carry the QR-bill.
std::optional<EpcTransfer> DocumentPaymentTransfer(const data::CompanyRecord& company,
                                                   const data::CompanyEInvoice& settings,
                                                   const InvoiceDocument& doc);
// The transfer of a customer statement's balance, with the customer's RF reference (or
// the text "Customer <number>"): nothing for a balance of zero or less, without an IBAN or
// in another currency than euro.
std::optional<EpcTransfer> StatementPaymentTransfer(const data::CompanyRecord& company,
                                                    const data::CompanyEInvoice& settings,
                                                    std::string_view custNo, data::Money balance);

// The payment block of the details with the transfer's reference (in print) and, unless
// the company in folder switched payment codes off, its EPC code in the code area at the
// smallest side of at least 2 cm on the canvas, the caption below it. Without a transfer
// the block is the details as they are.
PaymentBlock WithPaymentCode(PaymentDetails details, const std::string& folder,
                             const data::CompanyRecord& company,
                             const std::optional<EpcTransfer>& transfer, const Canvas& canvas);

}  // namespace invarro::output
