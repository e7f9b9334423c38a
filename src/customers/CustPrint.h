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

// A one-record page (the customer card, the product page) being drawn: the company's form
// margins, never closer to the paper's edge than half an inch; a heading at twice the card
// font over a rule across the page; then lines of the card font in two columns.
class CardPage {
  public:
    CardPage(output::Canvas& canvas, const data::CompanyRecord& company,
             const std::string& heading);
    // One line: `left` at the margin and `second` in the second column (when not empty).
    void line(const std::string& left, const std::string& second = {});
    void skip(int lines = 1) { y += lines * h; }
    // "Notes / Comments:", the notes wrapped to the page width and a blank line, then the
    // time printed; ends the document (false when the canvas could not finish it).
    bool finish(const std::string& notes, const platform::Clock& clock);

    output::Canvas& canvas;
    int x = 0;      // the left margin
    int right = 0;  // the right margin
    int y = 0;      // the next line
    int h = 0;      // a line's height

  private:
    int column2_ = 0;
};

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

// The number a setting text holds (blanks ignored); 0 when it holds none.
using output::SettingNumber;

}  // namespace invarro::customers
