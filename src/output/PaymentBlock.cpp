#include "output/PaymentBlock.h"

#include <algorithm>

#include "data/Ansi.h"
#include "data/EInvoiceData.h"

namespace invarro::output {

PaymentDetails ReadPaymentDetails(const std::string& folder, const data::CompanyRecord& company) {
    PaymentDetails d;
    if (folder.empty()) return d;
    const data::CompanyEInvoice e = data::ReadCompanyEInvoice(folder, company);
    d.vatId = data::TrimmedText(e.vatId);
    d.taxNumber = data::TrimmedText(e.taxRegistration);
    d.iban = data::TrimmedText(e.iban);
    d.bic = data::TrimmedText(e.bic);
    return d;
}

std::string GroupedIban(std::string_view iban) {
    const std::string compact = data::CompactId(iban);
    std::string out;
    for (std::size_t i = 0; i < compact.size(); ++i) {
        if (i > 0 && i % 4 == 0) out += ' ';
        out += compact[i];
    }
    return out;
}

std::vector<std::string> PaymentLines(const PaymentDetails& d) {
    std::vector<std::string> lines;
    if (!d.vatId.empty()) lines.push_back("VAT ID: " + d.vatId);
    if (!d.taxNumber.empty()) lines.push_back("Tax No.: " + d.taxNumber);
    if (d.bank) {
        if (!d.iban.empty()) lines.push_back("IBAN: " + GroupedIban(d.iban));
        if (!d.bic.empty()) lines.push_back("BIC: " + d.bic);
        if (!d.reference.empty()) lines.push_back("Reference: " + d.reference);
    }
    return lines;
}

PaymentBlock::PaymentBlock(PaymentDetails details)
    : details_(std::move(details)), lines_(PaymentLines(details_)) {}

bool PaymentBlock::empty() const {
    return lines_.empty() && !hasCode();
}

int PaymentBlock::height(const Canvas& canvas) const {
    if (empty()) return 0;
    const int text = int(lines_.size()) * LineHeight(canvas);
    if (!hasCode()) return text;
    return std::max(text, code_.side + (code_.caption ? LineHeight(canvas) : 0));
}

int PaymentBlock::width(const Canvas& canvas) const {
    int widest = 0;
    for (const std::string& line : lines_)
        widest = std::max(widest, canvas.textWidth(line));
    if (hasCode()) widest += canvas.textWidth("XX") + code_.side;
    return widest;
}

int PaymentBlock::draw(Canvas& canvas, int left, int top, int right) const {
    if (empty()) return top;
    const int lh = LineHeight(canvas);
    int y = top;
    for (const std::string& line : lines_) {
        canvas.textOut(left, y, line);
        y += lh;
    }
    if (hasCode()) code_.draw(canvas, right - code_.side, top, code_.side);
    return top + height(canvas);
}

}  // namespace invarro::output
