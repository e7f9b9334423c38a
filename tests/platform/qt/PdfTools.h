// Reading PDF files back with poppler's tools, for the tests of PDF output.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

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

// One word of a page with its box in points.
struct PdfWord {
    int page = 0;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    std::string text;
};

// pdftotext -bbox: every word with its box; width and height get the page size.
inline std::vector<PdfWord> PdfWords(const std::string& file, double* width, double* height) {
    std::istringstream in(RunCommand("pdftotext -bbox " + ShellQuote(file) + " -").output);
    std::vector<PdfWord> words;
    const std::regex page(R"re(<page width="([0-9.]+)" height="([0-9.]+)")re");
    const std::regex word(
        R"re(<word xMin="([0-9.-]+)" yMin="([0-9.-]+)" xMax="([0-9.-]+)" yMax="([0-9.-]+)">([^<]*)</word>)re");
    int pageNo = 0;
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_search(line, m, page)) {
            ++pageNo;
            *width = std::stod(m[1]);
            *height = std::stod(m[2]);
        } else if (std::regex_search(line, m, word)) {
            words.push_back(
                {pageNo, std::stod(m[1]), std::stod(m[2]), std::stod(m[3]), std::stod(m[4]), m[5]});
        }
    }
    return words;
}

// Every word of the file lies on its page and no two words of a page overlap.
inline void ExpectWordsApartAndOnPage(const std::string& file) {
    double w = 0, h = 0;
    const std::vector<PdfWord> words = PdfWords(file, &w, &h);
    ASSERT_FALSE(words.empty());
    constexpr double kSlack = 0.3;  // rounding of the boxes poppler reports
    for (size_t i = 0; i < words.size(); ++i) {
        const PdfWord& a = words[i];
        EXPECT_GE(a.x1, 0) << a.text;
        EXPECT_GE(a.y1, 0) << a.text;
        EXPECT_LE(a.x2, w) << a.text;
        EXPECT_LE(a.y2, h) << a.text;
        for (size_t j = 0; j < i; ++j) {
            const PdfWord& b = words[j];
            if (a.page != b.page) continue;
            const bool apart = a.x2 <= b.x1 + kSlack || b.x2 <= a.x1 + kSlack ||
                               a.y2 <= b.y1 + kSlack || b.y2 <= a.y1 + kSlack;
            EXPECT_TRUE(apart) << a.text << " over " << b.text << " on page " << a.page;
        }
    }
}

}  // namespace invarro::testing
