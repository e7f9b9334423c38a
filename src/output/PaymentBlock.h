// The seller's tax identity and how to pay, as one block of a document: the VAT
// identification number and the tax number that the law wants on every invoice, credit
// note and statement of a company that has them, the IBAN and BIC the customer pays to,
// and room on the right for a payment code (a QR code the customer's banking app reads)
// with the structured reference it carries.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "data/Records.h"
#include "output/Canvas.h"

namespace invarro::output {

struct PaymentDetails {
    std::string vatId;      // the seller's VAT identification number, with its country
    std::string taxNumber;  // the local tax number
    std::string iban;
    std::string bic;
    std::string reference;  // the structured payment reference, when one is made
    bool bank = true;       // whether the IBAN, BIC and reference are shown (not on quotes)
};

// The company's values as its e-invoicing settings keep them (per company in the INI
// file of the data folder); none without a folder.
PaymentDetails ReadPaymentDetails(const std::string& folder, const data::CompanyRecord& company);

// An IBAN as it is printed: in groups of four characters ("DE41 5001 0517 0123 4567 89").
std::string GroupedIban(std::string_view iban);

// The block's lines, each a label and its value, in this order: "VAT ID:", "Tax No.:",
// "IBAN:", "BIC:", "Reference:"; a value not set gives no line.
std::vector<std::string> PaymentLines(const PaymentDetails& details);

// A square kept free on the right of the block for a payment code, with a line of the
// current font below it for its caption when caption is set; draw paints it into the
// square with its corner at (left, top) and the given side, in device units.
struct PaymentCodeArea {
    int side = 0;
    std::function<void(Canvas& canvas, int left, int top, int side)> draw;
    bool caption = false;
};

// The block as a layout places it: the lines in the canvas's current font from the left
// edge, the payment code area (when there is one) ending at the right edge, top-aligned.
class PaymentBlock {
  public:
    explicit PaymentBlock(PaymentDetails details);

    // Keeps the area for a payment code; a side of 0 (or no draw) keeps none.
    void setCodeArea(PaymentCodeArea area) { code_ = std::move(area); }
    const PaymentDetails& details() const { return details_; }
    bool hasCode() const { return code_.side > 0 && bool(code_.draw); }

    // Whether the block shows anything.
    bool empty() const;
    // The lines and the code area in the current font of canvas.
    int height(const Canvas& canvas) const;
    // The width the block needs between its edges: the widest line, the gap and the code.
    int width(const Canvas& canvas) const;
    // Draws the block between left and right from top; returns the row below it.
    int draw(Canvas& canvas, int left, int top, int right) const;

  private:
    PaymentDetails details_;
    std::vector<std::string> lines_;
    PaymentCodeArea code_;
};

}  // namespace invarro::output
