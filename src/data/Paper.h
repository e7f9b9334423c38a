// The paper a company's documents are laid out on when the program makes the PDF itself
// (Send to PDF, e-mail attachments, e-invoices): US Letter or ISO A4. A printer prints on
// the paper its print dialog chose.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace invarro::data {

enum class PaperSize { Letter, A4 };

// "Letter" or "A4", as the setting keeps it.
std::string_view PaperName(PaperSize paper);
// The setting's text read back ("letter" and "a4" in any case, blanks around ignored);
// nothing for anything else.
std::optional<PaperSize> ParsePaper(std::string_view text);
// The paper a country prints on: US Letter in the Americas that use it (the United
// States, Canada, Mexico, Chile, Colombia, Costa Rica, the Dominican Republic, Guatemala,
// Nicaragua, Panama, Puerto Rico, El Salvador, Venezuela) and the Philippines, A4
// everywhere else. A company that names no country keeps Letter, the paper its documents
// had before the setting existed.
PaperSize PaperOfCountry(std::string_view country);

}  // namespace invarro::data
