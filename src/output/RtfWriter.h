// Rich Text Format out: a document of paragraphs (alignment, indents, bullets), each a
// row of text runs in their own font, written as RTF that word processors open (font
// table, colour table, text with face, size, colour and style; characters outside ASCII
// escaped). The RTF reader reads what is written here back unchanged.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "output/Font.h"

namespace invarro::output {

// The largest font size RTF readers take, in half points.
inline constexpr int kMaxHalfPoints = 3276;

enum class Alignment { Left, Center, Right, Justify };

struct RtfRun {
    std::string text;  // UTF-8; a tab stays a tab, a line feed breaks the line
    Font font;
    // The size in half points when it is not a whole number of points (21 for 10.5
    // points); 0 when font.size says it.
    int halfPoints = 0;
    int sizeInHalfPoints() const { return halfPoints > 0 ? halfPoints : font.size * 2; }
    bool sameFormat(const RtfRun& o) const {
        return font == o.font && sizeInHalfPoints() == o.sizeInHalfPoints();
    }
    bool operator==(const RtfRun&) const = default;
};

// Indents are in twips (1/1440 inch): the first line's indent is measured from the
// left indent and may be negative (a hanging indent).
struct RtfParagraph {
    std::vector<RtfRun> runs;
    Alignment alignment = Alignment::Left;
    int firstIndent = 0;
    int leftIndent = 0;
    int rightIndent = 0;
    bool bullet = false;
    bool operator==(const RtfParagraph&) const = default;
};

struct RtfDocument {
    std::vector<RtfParagraph> paragraphs;
    bool operator==(const RtfDocument&) const = default;
};

// The document as it comes back from being written and read again: text without the
// characters RTF cannot carry (control characters other than tab and line feed), font
// names without ";" and control characters, sizes of at least one point and a half-point
// size only where it is odd, empty runs dropped and neighbouring runs of one format
// joined, and every paragraph holding at least one run (an empty paragraph one empty run
// that carries the format of its line).
RtfDocument NormalizedDocument(const RtfDocument& document);

// The text of the document: paragraphs separated by line feeds.
std::string DocumentText(const RtfDocument& document);

// One paragraph per line, all in one font.
RtfDocument PlainTextDocument(const std::vector<std::string>& lines, const Font& font);

std::string ToRtf(const RtfDocument& document);
// Writes the document to file (replacing it); false and *error when that fails.
bool WriteRtfFile(const std::filesystem::path& file, const RtfDocument& document,
                  std::string* error = nullptr);

}  // namespace invarro::output
