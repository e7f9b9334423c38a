// Reading PDF files back with poppler's tools, for the tests of PDF output.
#pragma once

#include <map>
#include <sstream>
#include <string>

#include "support/Command.h"

namespace invarro::testing {

// pdfinfo's fields by name ("Title", "Page size", "Pages", ...).
inline std::map<std::string, std::string> PdfInfo(const std::string& file) {
    std::map<std::string, std::string> fields;
    std::istringstream in(RunCommand("pdfinfo " + ShellQuote(file)).output);
    for (std::string line; std::getline(in, line);) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::size_t start = line.find_first_not_of(' ', colon + 1);
        fields[line.substr(0, colon)] = start == std::string::npos ? "" : line.substr(start);
    }
    return fields;
}

// The text of one page (0: every page), laid out as on the page.
inline std::string PdfText(const std::string& file, int page = 0) {
    std::string range =
        page > 0 ? " -f " + std::to_string(page) + " -l " + std::to_string(page) : "";
    return RunCommand("pdftotext -layout -enc UTF-8" + range + " " + ShellQuote(file) + " -")
        .output;
}

}  // namespace invarro::testing
