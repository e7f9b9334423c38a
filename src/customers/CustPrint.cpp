#include "customers/CustPrint.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

#include "data/Ansi.h"
#include "data/Dates.h"
#include "output/PageWriter.h"

namespace invarro::customers {

namespace {

using data::Company;
using data::Customer;

std::string AgingLabel(const data::CompanyRecord& company, int bucket) {
    if (bucket == 3) return "Over " + data::TrimmedText(company.text(Company::AgingDays3)) + ": ";
    const std::array captions{Company::AgingCaption1, Company::AgingCaption2,
                              Company::AgingCaption3};
    const std::array days{Company::AgingDays1, Company::AgingDays2, Company::AgingDays3};
    std::string caption = data::TrimmedText(company.text(captions[size_t(bucket)]));
    if (caption.empty()) caption = data::TrimmedText(company.text(days[size_t(bucket)])) + ":";
    return caption + " ";
}

}  // namespace

output::Font CardFont() {
    return output::Font{"Arial", 10, output::kBlack, 0};
}

CardPage::CardPage(output::Canvas& c, const data::CompanyRecord& company,
                   const std::string& heading)
    : canvas(c) {
    x = std::max(2 * SettingNumber(company.text(Company::FormLeftMargin)),
                 canvas.resolutionX() / 2);
    y = std::max(4 * SettingNumber(company.text(Company::FormTopMargin)), canvas.resolutionY() / 2);
    right = canvas.pageWidth() - x;
    column2_ = x + (right - x) / 2;

    const output::Font font = CardFont();
    output::Font big = font;
    big.size = font.size * 2;
    canvas.setFont(big);
    canvas.textOut(x, y, heading);
    y += canvas.textHeight("MXjpy");
    canvas.setPen(output::Pen{3, output::kBlack, output::PenStyle::Solid});
    canvas.moveTo(x, y + 3);
    canvas.lineTo(right, y + 3);

    canvas.setFont(font);
    h = output::LineHeight(canvas);
    y += h;
}

void CardPage::line(const std::string& left, const std::string& second) {
    if (!left.empty()) canvas.textOut(x, y, left);
    if (!second.empty()) canvas.textOut(column2_, y, second);
    y += h;
}

bool CardPage::finish(const std::string& notes, const platform::Clock& clock) {
    line("Notes / Comments:");
    for (const std::string& l : output::WrapText(canvas, notes, right - x))
        line(l);
    skip();
    line("Printed: " + data::FormatLongDateTime(clock.now()));
    return canvas.endDocument();
}

bool PrintCustomerCard(output::Canvas& canvas, const data::CustomerRecord& c,
                       const data::CompanyRecord& company, const platform::Clock& clock,
                       const std::string& pdfFile) {
    const std::string name = c.text(Customer::Name);
    const std::string title = "Print: " + name;
    canvas.setOrientation(output::Orientation::Portrait);
    canvas.setDocumentInfo(
        output::DocumentInfo{title, data::TrimmedText(company.text(Company::Name)),
                             "Customer " + data::TrimmedText(c.text(Customer::CustNo)), "Invarro"});
    if (!canvas.beginDocument(pdfFile.empty() ? title : pdfFile)) return false;

    CardPage page(canvas, company, "Customer: " + name);
    page.line("Customer Number: " + data::TrimmedText(c.text(Customer::CustNo)),
              "Short Name: " + c.text(Customer::ShortName));
    page.line("Name: " + name, "Customer Type: " + c.text(Customer::CustType));
    page.line("Last Payment: " + c.text(Customer::LastPayDate),
              "Last Invoice: " + c.text(Customer::LastInvNo));
    page.line("Credit Limit: " + c.money(Customer::CreditLimit).shownText(),
              "Payment Terms: " + c.text(Customer::Terms));
    page.line(c.yes(Customer::TaxExempt) ? "Tax Exempt: Yes" : "Tax Exempt: No");
    page.skip();

    page.line("Account Balance: " + c.money(Customer::Balance).shownText());
    const data::Money aging[4] = {c.money(Customer::Age0to30), c.money(Customer::Age31to60),
                                  c.money(Customer::Age61to90), c.money(Customer::AgeOver90)};
    const int quarter = (page.right - page.x) / 4;
    for (int b = 0; b < 4; ++b)
        canvas.textOut(page.x + b * quarter, page.y, AgingLabel(company, b) + aging[b].shownText());
    page.skip(2);

    page.line("Billing Address:", "Shipping Address:");
    page.line(c.text(Customer::BillAddr1), c.text(Customer::ShipAddr1));
    page.line(c.text(Customer::BillAddr2), c.text(Customer::ShipAddr2));
    page.line(c.text(Customer::BillAddr3), c.text(Customer::ShipAddr3));
    page.line(c.text(Customer::BillAddr4), c.text(Customer::ShipAddr4));
    page.line("Phone 1: " + c.text(Customer::Phone1), "Phone 2: " + c.text(Customer::Phone2));
    page.skip();

    page.line("E-mail: " + c.text(Customer::EMail));
    page.line("Mail List Sort Code: " + c.text(Customer::MailSortCode));
    page.skip();
    return page.finish(c.text(Customer::Notes), clock);
}

bool PrintEnvelope(output::Canvas& canvas, const data::CustomerRecord& c,
                   const data::CompanyRecord& company, const std::string& pdfFile) {
    const bool landscape = data::TrimmedText(company.text(Company::EnvOrientation)) == "L";
    canvas.setOrientation(landscape ? output::Orientation::Landscape
                                    : output::Orientation::Portrait);
    canvas.setDocumentInfo(
        output::DocumentInfo{"Envelope", data::TrimmedText(company.text(Company::Name)),
                             "Envelope for " + c.text(Customer::Name), "Invarro"});
    if (!canvas.beginDocument(pdfFile.empty() ? "Envelope" : pdfFile)) {
        canvas.setOrientation(output::Orientation::Portrait);
        return false;
    }
    output::Font font;
    font.face = data::TrimmedText(company.text(Company::EnvFontName));
    if (font.face.empty()) font.face = "Arial";
    font.size = company.int32(Company::EnvFontSize);
    if (font.size <= 0) font.size = 12;
    font.color = output::Color::fromValue(uint32_t(company.int32(Company::EnvFontColor)));
    font.style = company.style(Company::EnvFontStyle);
    canvas.setFont(font);

    // Without a line spacing every line would print over the one before: the font's
    // own line height is used then.
    int s = SettingNumber(company.text(Company::EnvLineSpacing));
    if (s <= 0) s = output::LineHeight(canvas);
    const int x1 = SettingNumber(company.text(Company::EnvLeftMargin));
    const int y0 = SettingNumber(company.text(Company::EnvTopMargin));
    const int x2 = SettingNumber(company.text(Company::EnvSendAddrLeft));

    if (company.yes(Company::PrintReturnAddr)) {
        canvas.textOut(x1, y0, company.text(Company::Name));
        canvas.textOut(x1, y0 + s, company.text(Company::CoAddr1));
        canvas.textOut(x1, y0 + 2 * s, company.text(Company::CoAddr2));
        canvas.textOut(x1, y0 + 3 * s, company.text(Company::CoAddr3));
        canvas.textOut(x1, y0 + 4 * s, company.text(Company::CoAddr4));
    }
    const bool ship = data::TrimmedText(company.text(Company::EnvAddress)) == "S";
    canvas.textOut(x2, y0 + 8 * s, c.text(Customer::Name));
    canvas.textOut(x2, y0 + 9 * s, c.text(ship ? Customer::ShipAddr1 : Customer::BillAddr1));
    canvas.textOut(x2, y0 + 10 * s, c.text(ship ? Customer::ShipAddr2 : Customer::BillAddr2));
    canvas.textOut(x2, y0 + 11 * s, c.text(ship ? Customer::ShipAddr3 : Customer::BillAddr3));
    canvas.textOut(x2, y0 + 12 * s, c.text(ship ? Customer::ShipAddr4 : Customer::BillAddr4));
    const bool ok = canvas.endDocument();
    canvas.setOrientation(output::Orientation::Portrait);
    return ok;
}

}  // namespace invarro::customers
