#include "output/PageWriter.h"

#include "data/Ansi.h"

namespace invarro::output {

namespace {

using data::Company;

Font FontOf(const data::FontSetting& f) {
    Font font;
    font.face = data::TrimmedText(f.name);
    if (font.face.empty()) font.face = "Arial";
    font.size = f.size > 0 ? f.size : 10;
    font.color = Color::fromValue(uint32_t(f.colour));
    font.style = f.style;
    return font;
}

// One paragraph (text without line breaks) broken at blanks, and inside a word where the
// word alone is wider than the width.
void WrapParagraph(const Canvas& canvas, std::string_view text, int width,
                   std::vector<std::string>& lines) {
    std::string line;
    std::size_t i = 0;
    auto fits = [&](const std::string& s) { return canvas.textWidth(s) <= width; };
    while (i < text.size()) {
        std::size_t end = text.find(' ', i);
        std::string word(
            text.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
        i = end == std::string_view::npos ? text.size() : end + 1;
        std::string candidate = line.empty() ? word : line + " " + word;
        if (fits(candidate)) {
            line = candidate;
            continue;
        }
        if (!line.empty()) lines.push_back(line);
        line.clear();
        std::size_t j = 0;
        while (j < word.size()) {
            std::size_t k = j;
            char32_t cp;
            data::NextUtf8(word, k, cp);
            std::string next = line + word.substr(j, k - j);
            if (!line.empty() && !fits(next)) {
                lines.push_back(line);
                line.clear();
                continue;
            }
            line = next;
            j = k;
        }
    }
    if (!line.empty()) lines.push_back(line);
}

}  // namespace

std::vector<std::string> WrapText(const Canvas& canvas, std::string_view text, int width) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        const std::size_t before = lines.size();
        WrapParagraph(canvas, text.substr(start, end - start), width, lines);
        if (lines.size() == before) lines.emplace_back();  // an empty paragraph
        if (end == text.size()) break;
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

std::string FitText(const Canvas& canvas, std::string text, int width) {
    while (!text.empty() && canvas.textWidth(text) > width)
        text = data::FirstChars(text, data::CharCount(text) - 1);
    return text;
}

Font FormFontOf(const data::CompanyRecord& company, FormFont which) {
    // In the order of FormFont.
    static constexpr std::array kFields{Company::FormFonts1, Company::FormFonts2,
                                        Company::FormFonts3, Company::FormFonts4,
                                        Company::FormFonts5, Company::FormFonts6};
    const auto i = std::size_t(which);
    return i < kFields.size() ? FontOf(company.font(kFields[i])) : Font{};
}

PageWriter::PageWriter(Canvas& canvas, const data::CompanyRecord& company)
    : c_(canvas), co_(company), W_(canvas.pageWidth()) {}

void PageWriter::box(int left, int top, int right, int bottom, Color colour, int lineWidth) {
    c_.setPen(Pen{lineWidth, colour, PenStyle::Solid});
    c_.rectangle(left, top, right, bottom);
    c_.setPen(Pen{lineWidth, kBlack, PenStyle::Solid});
}

void PageWriter::hatchedBox(int left, int top, int right, int bottom) {
    c_.setBrush(Brush{BrushStyle::BackwardDiagonal, kBlack});
    c_.rectangle(left, top, right, bottom);
    c_.setBrush(Brush{BrushStyle::Clear, kWhite});
}

void PageWriter::salesMessage(int top, int lineHeight, const std::vector<std::string>& lines) {
    for (std::size_t i = 0; i < lines.size() && i < 4; ++i)
        c_.textOut(W_ / 2 - width(lines[i]) / 2, top + int(i) * lineHeight, lines[i]);
}

void PageWriter::agingQuarters(int left, int y, const std::array<std::string, 4>& texts) {
    const int quarter = W_ / 4;
    for (int b = 0; b < 4; ++b)
        c_.textOut(left + quarter * b, y, texts[std::size_t(b)]);
}

std::string AgingFooterText(const std::array<std::string, 4>& captions, int period,
                            const std::string& amount) {
    return period == 3 ? captions[3] + amount : captions[std::size_t(period)] + " " + amount;
}

}  // namespace invarro::output
