// The lines of a text split at every line break, an empty line for each empty element
// and one after a final break: the form payloads with one element a line are checked in.
#pragma once

#include <string>
#include <vector>

namespace invarro::testing {

inline std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t nl = text.find('\n', start);
        lines.push_back(text.substr(start, nl - start));
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    return lines;
}

}  // namespace invarro::testing
