// The demo's bank statement: a camt.053 file of the company's account that pays some of
// its open invoices in every way the matching knows (by reference, by invoice number, in
// part, several at once, net of a credit note) beside lines that are never posted by themselves (a fee, a
// returned payment, a foreign payment, a credit naming nothing, a pending entry). It is
// written from the company's books and stored as an import would store it.
#pragma once

#include <string>

#include "banking/Match.h"
#include "data/Dates.h"
#include "data/Records.h"
#include "platform/Prompter.h"

namespace invarro::banking {

// The statement of the account for the books in their currency, booked on `day`. The
// references are those of the invoices' payment codes for the IBAN (QR references for a
// Swiss QR-IBAN). Every case whose invoices the books lack is left out.
std::string DemoStatementXml(const MatchBooks& books, const std::string& iban,
                             const data::Date& day, const std::string& currency = "EUR");

struct DemoBankResult {
    bool ok = false;
    std::string error;
    std::string path;  // the statement file written
    int lines = 0;     // lines stored
};

// Writes "<folder>/Bank statement <company number>.xml" and stores its lines in the
// company's bank lines.
DemoBankResult AddDemoBankStatement(const std::string& folder, const data::CompanyRecord& company,
                                    const std::string& iban, const data::Date& day,
                                    platform::Prompter& prompter);

}  // namespace invarro::banking
