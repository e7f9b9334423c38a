// Reading PDF files back with poppler's tools, for the tests of PDF output.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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

// One word of a page with its box in points, and the size of its page.
struct PdfWord {
    int page = 0;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    std::string text;
    double pageWidth = 0, pageHeight = 0;
};

// The text of pdftotext's XML with its entities read.
inline std::string XmlText(std::string s) {
    static const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
    for (const auto& [from, to] : entities)
        for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + 1))
            s.replace(at, std::string(from).size(), to);
    return s;
}

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
            words.push_back({pageNo, std::stod(m[1]), std::stod(m[2]), std::stod(m[3]),
                             std::stod(m[4]), XmlText(m[5]), *width, *height});
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

// What a QR scanner (zbarimg) reads from the page of the PDF rendered at dpi by pdftoppm,
// the PNG written beside it in folder; "" when it finds no code. Codes found are given
// one to a line.
inline std::string ScanQrCodes(const std::string& pdf, int page, int dpi,
                               const std::string& folder) {
    const std::string png = folder + "/scan-" + std::to_string(page) + "-" + std::to_string(dpi);
    const std::string p = std::to_string(page);
    RunCommand("pdftoppm -r " + std::to_string(dpi) + " -f " + p + " -l " + p +
               " -singlefile -png " + ShellQuote(pdf) + " " + ShellQuote(png));
    std::string out =
        RunCommand("zbarimg --quiet --raw -Sbinary " + ShellQuote(png + ".png")).output;
    // zbarimg ends what it read with a line break of its own.
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// ------------------------------------------------------------------------ paper

// What a document's pages must carry: for page n of pages, the texts it must show.
using PageNeeds = std::function<std::vector<std::string>(int page, int pages)>;

// The faults a printed page would show, one line each: a word within a quarter inch of the
// paper's edge (where no printer prints) or off the page, two words over each other, and
// a page without the texts it must carry. Empty for a document fit to print.
inline std::vector<std::string> PaperFaults(const std::string& file,
                                            const PageNeeds& needs = nullptr) {
    std::vector<std::string> faults;
    double w = 0, h = 0;
    const std::vector<PdfWord> words = PdfWords(file, &w, &h);
    if (words.empty()) return {file + ": no words"};
    constexpr double kQuarterInch = 18.0;  // points
    constexpr double kRounding = 0.05;     // of the boxes poppler reports
    constexpr double kSlack = 0.3;         // boxes that only touch
    auto where = [](const PdfWord& a) {
        std::ostringstream s;
        s << "page " << a.page << " \"" << a.text << "\" at (" << a.x1 << ", " << a.y1 << ")-("
          << a.x2 << ", " << a.y2 << ")";
        return s.str();
    };
    int pages = 0;
    for (const PdfWord& a : words)
        pages = std::max(pages, a.page);
    for (size_t i = 0; i < words.size(); ++i) {
        const PdfWord& a = words[i];
        if (a.x1 < 0 || a.y1 < 0 || a.x2 > a.pageWidth || a.y2 > a.pageHeight)
            faults.push_back("off the page: " + where(a));
        else if (a.x1 < kQuarterInch - kRounding || a.y1 < kQuarterInch - kRounding ||
                 a.x2 > a.pageWidth - kQuarterInch + kRounding ||
                 a.y2 > a.pageHeight - kQuarterInch + kRounding)
            faults.push_back("within a quarter inch of the edge: " + where(a));
        for (size_t j = 0; j < i; ++j) {
            const PdfWord& b = words[j];
            if (a.page != b.page) continue;
            const bool apart = a.x2 <= b.x1 + kSlack || b.x2 <= a.x1 + kSlack ||
                               a.y2 <= b.y1 + kSlack || b.y2 <= a.y1 + kSlack;
            if (!apart) faults.push_back("over each other: " + where(a) + " and " + where(b));
        }
    }
    if (needs) {
        for (int page = 1; page <= pages; ++page) {
            // The page's words joined by single blanks, as a person reads them.
            std::string text;
            for (const PdfWord& a : words)
                if (a.page == page) text += a.text + " ";
            for (const std::string& need : needs(page, pages))
                if (text.find(need) == std::string::npos)
                    faults.push_back("page " + std::to_string(page) + " of " +
                                     std::to_string(pages) + " lacks \"" + need + "\"");
        }
    }
    return faults;
}

}  // namespace invarro::testing
