// Names of the files documents are written to: names built from record text are made
// safe, and document PDFs go into one folder of the data folder.
#pragma once

#include <string>
#include <string_view>

namespace invarro::output {

// A file name built from record text (invoice numbers, customer names): the characters
// / \ : * ? " < > | and control characters become "-", and a name of dots alone becomes
// dashes, so that the name stays inside the folder it is written to.
std::string SafeFileName(std::string_view name);

// The data folder's "pdf" folder, where document PDFs are written.
std::string PdfFolder(const std::string& dataFolder);

}  // namespace invarro::output
