#include "products/ProdPrint.h"

#include <algorithm>

#include "customers/CustPrint.h"
#include "data/Ansi.h"
#include "data/Dates.h"
#include "products/ProdList.h"

namespace invarro::products {

using data::Company;
using data::Product;

bool PrintProduct(output::Canvas& canvas, const data::ProductRecord& p,
                  const data::CompanyRecord& company, const platform::Clock& clock,
                  const std::string& pdfFile) {
    const std::string code = data::TrimmedText(p.text(Product::ProdCode));
    const std::string description = data::TrimmedText(p.text(Product::Description));
    const std::string title = "Product: " + code;
    canvas.setOrientation(output::Orientation::Portrait);
    canvas.setDocumentInfo(output::DocumentInfo{
        title, data::TrimmedText(company.text(Company::Name)), description, "Invarro"});
    if (!canvas.beginDocument(pdfFile.empty() ? title : pdfFile)) return false;

    // The company's form margins, but never closer to the paper's edge than half an inch.
    const int x = std::max(2 * customers::SettingNumber(company.text(Company::FormLeftMargin)),
                           canvas.resolutionX() / 2);
    int y = std::max(4 * customers::SettingNumber(company.text(Company::FormTopMargin)),
                     canvas.resolutionY() / 2);
    const int right = canvas.pageWidth() - x;
    const int column2 = x + (right - x) / 2;

    const output::Font font = customers::CardFont();
    output::Font big = font;
    big.size = font.size * 2;
    canvas.setFont(big);
    canvas.textOut(x, y, "Product: " + description);
    y += canvas.textHeight("MXjpy");
    canvas.setPen(output::Pen{3, output::kBlack, output::PenStyle::Solid});
    canvas.moveTo(x, y + 3);
    canvas.lineTo(right, y + 3);

    canvas.setFont(font);
    const int h = output::LineHeight(canvas);
    y += h;
    auto line = [&](const std::string& left, const std::string& second = {}) {
        if (!left.empty()) canvas.textOut(x, y, left);
        if (!second.empty()) canvas.textOut(column2, y, second);
        y += h;
    };

    line("Company: " + data::TrimmedText(company.text(Company::Name)));
    y += h;
    line("Product Code: " + code);
    line("Description: " + description);
    line("Sales Price: " + ShownPrice(p),
         p.byte(Product::Taxable) ? "Taxable: Yes" : "Taxable: No");
    line("Setup Date: " + p.text(Product::SetupDate),
         "Last Changed: " + p.text(Product::ChangedDate));
    y += h;

    line("Notes / Comments:");
    for (const std::string& l : customers::WrapText(canvas, p.text(Product::ProdNotes), right - x))
        line(l);
    y += h;

    line("Printed: " + data::FormatLongDateTime(clock.now()));
    return canvas.endDocument();
}

}  // namespace invarro::products
