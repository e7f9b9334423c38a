// The customer card and the envelope, drawn on the page canvas (printer or PDF).
#pragma once

#include <string>
#include <vector>

#include "data/Records.h"
#include "output/Canvas.h"
#include "output/InvPrint.h"
#include "platform/Clock.h"

namespace invarro::customers {

// The card's font: the report window's grid font as it starts.
output::Font CardFont();

// One page with everything known about the customer: a heading "Customer: " and the name
// at twice the font size over a rule, then number, names, last payment and invoice, type,
// credit limit, terms, tax exemption, balance with its four aging amounts, both
// addresses with their phones, e-mail, mail-list sort code, notes and the time printed.
// The document is titled "Print: " and the name. False when the canvas cannot print it.
// pdfFile names the file on a PDF canvas; a printer job takes the title.
bool PrintCustomerCard(output::Canvas& canvas, const data::CustomerRecord& customer,
                       const data::CompanyRecord& company, const platform::Clock& clock,
                       const std::string& pdfFile = {});

// The envelope with the company's envelope settings: the return address (when the company
// prints it) at the left and top margins, the customer's name and shipping or billing
// address from the send-address column 8 lines down. Document title "Envelope".
bool PrintEnvelope(output::Canvas& canvas, const data::CustomerRecord& customer,
                   const data::CompanyRecord& company, const std::string& pdfFile = {});

// Splits text into lines no wider than width on the canvas, breaking at blanks where it
// can and inside a word where a word alone is too wide.
std::vector<std::string> WrapText(const output::Canvas& canvas, const std::string& text, int width);

// The number a setting text holds (blanks ignored); 0 when it holds none.
using output::SettingNumber;

}  // namespace invarro::customers
