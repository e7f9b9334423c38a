// The one-product page, drawn on the page canvas (printer or PDF).
#pragma once

#include <string>

#include "data/Records.h"
#include "output/Canvas.h"
#include "platform/Clock.h"

namespace invarro::products {

// One page with the product: a heading "Product: " and the description at twice the font
// size over a rule, then code, description, sales price, "Taxable: Yes" or "Taxable: No",
// setup and last-changed dates, "Notes / Comments:" with the notes wrapped to the page,
// and "Printed: " with the time. The document is titled "Product: " and the code. False
// when the canvas cannot print it. pdfFile names the file on a PDF canvas; a printer job
// takes the title.
bool PrintProduct(output::Canvas& canvas, const data::ProductRecord& product,
                  const data::CompanyRecord& company, const platform::Clock& clock,
                  const std::string& pdfFile = {});

}  // namespace invarro::products
