// The texts of the "View Invoice" window: title, banners, the address and info panel,
// the line list or memo text, and the totals panel of one assembled document.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "data/Records.h"
#include "output/InvDoc.h"

namespace invarro::output {

struct InvoiceViewRow {
    std::string line;  // "LN": 1, 2, ...
    std::string code, quantity, description, price, taxable, extension;
};

struct InvoiceView {
    std::string title;   // "View Invoice# 1043" or "View Quote# 1043"
    std::string banner;  // repeat master, deposit or generated billing; empty otherwise
    std::array<std::string, 5> billTo;
    std::array<std::string, 4> shipTo;
    std::string dateRow;    // "Date: ...   Number: ...   Account Number: ..."
    std::string terms;      // "Payment Terms: ..."
    std::string reference;  // "Reference: ..."
    // "Product Code Invoice", "Memo Invoice", "Deposit on Account" or "Deposit on Account -
    // Offset against invoices."
    std::string bodyCaption;
    bool memo = false;
    std::vector<InvoiceViewRow> rows;  // line items
    std::string memoText;              // memo lines up to the last with text
    bool quote = false;
    std::vector<std::pair<std::string, std::string>> totals;  // label and amount
    std::string quoteNote;                                    // "This is only a Quote"
};

InvoiceView MakeInvoiceView(const InvoiceDocument& doc, const data::CompanyRecord& company);

}  // namespace invarro::output
