// The sample import file of the demo installation: new customers to try the customer
// import with, written by the program's own delimited-text writer.
#pragma once

#include <string>

namespace invarro::customers {

inline constexpr const char* kDemoCustomerImportFile = "NewCustomers.CSV";

// Writes the sample file into the folder: quoted names with commas and doubled quotes,
// accented names, rows with and without numbers, a name and a number the demo company
// already has, and a name repeated inside the file. False (with *error) when it cannot be
// written.
bool WriteDemoCustomerImportFile(const std::string& folder, std::string* error = nullptr);

}  // namespace invarro::customers
