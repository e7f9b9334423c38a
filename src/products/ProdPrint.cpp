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

    customers::CardPage page(canvas, company, "Product: " + description);
    page.line("Company: " + data::TrimmedText(company.text(Company::Name)));
    page.skip();
    page.line("Product Code: " + code);
    page.line("Description: " + description);
    page.line("Sales Price: " + ShownPrice(p),
              p.byte(Product::Taxable) ? "Taxable: Yes" : "Taxable: No");
    page.line("Setup Date: " + p.text(Product::SetupDate),
              "Last Changed: " + p.text(Product::ChangedDate));
    page.skip();
    return page.finish(p.text(Product::ProdNotes), clock);
}

}  // namespace invarro::products
