// The sample import file of the demo installation: new products to try the product
// import with, written by the program's own delimited-text writer.
#pragma once

#include <string>

namespace invarro::products {

inline constexpr const char* kDemoProductImportFile = "NewProducts.CSV";

// Writes the sample file into the folder: descriptions with blanks, commas and inch
// marks, a row without a code, a code the demo company already has, a code repeated in
// the file, and prices with and without cents. False (with *error) when it cannot be
// written.
bool WriteDemoProductImportFile(const std::string& folder, std::string* error = nullptr);

}  // namespace invarro::products
