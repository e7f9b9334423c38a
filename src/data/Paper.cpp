#include "data/Paper.h"

#include <array>
#include <cctype>

namespace invarro::data {

namespace {

std::string Upper(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != ' ' && c != '\t') out += char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::string_view PaperName(PaperSize paper) {
    return paper == PaperSize::A4 ? "A4" : "Letter";
}

std::optional<PaperSize> ParsePaper(std::string_view text) {
    const std::string t = Upper(text);
    if (t == "A4") return PaperSize::A4;
    if (t == "LETTER") return PaperSize::Letter;
    return std::nullopt;
}

PaperSize PaperOfCountry(std::string_view country) {
    static constexpr std::array<std::string_view, 14> kLetter{
        "US", "CA", "MX", "CL", "CO", "CR", "DO", "GT", "NI", "PA", "PR", "SV", "VE", "PH"};
    const std::string c = Upper(country);
    if (c.empty()) return PaperSize::Letter;
    for (std::string_view l : kLetter)
        if (c == l) return PaperSize::Letter;
    return PaperSize::A4;
}

}  // namespace invarro::data
