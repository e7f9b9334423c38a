#include "output/FileNames.h"

#include "data/Ansi.h"
#include "data/Files.h"

namespace invarro::output {

std::string SafeFileName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    std::size_t i = 0;
    while (i < name.size()) {
        const std::size_t start = i;
        char32_t c = 0;
        const bool wellFormed = data::NextUtf8(name, i, c);
        const bool bad = !wellFormed || c < 32 || (c >= 127 && c < 160) || c == '/' || c == '\\' ||
                         c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
                         c == '|';
        if (bad)
            out += '-';
        else
            out.append(name.substr(start, i - start));
    }
    // A name of dots alone would name the folder itself or its parent.
    if (!out.empty() && out.find_first_not_of('.') == std::string::npos)
        out.assign(out.size(), '-');
    return out;
}

std::string PdfFolder(const std::string& dataFolder) {
    return data::JoinPath(dataFolder, "pdf");
}

}  // namespace invarro::output
