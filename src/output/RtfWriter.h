// Rich Text Format out: a document of paragraphs, each a row of text runs in their own
// font, written as RTF that word processors open (font table, colour table, text with
// face, size, colour and style; characters outside ASCII escaped).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "output/Font.h"

namespace invarro::output {

enum class Alignment { Left, Center, Right };

struct RtfRun {
    std::string text;  // UTF-8; a tab stays a tab, a line feed breaks the line
    Font font;
};

struct RtfParagraph {
    std::vector<RtfRun> runs;
    Alignment alignment = Alignment::Left;
};

struct RtfDocument {
    std::vector<RtfParagraph> paragraphs;
};

// One paragraph per line, all in one font.
RtfDocument PlainTextDocument(const std::vector<std::string>& lines, const Font& font);

std::string ToRtf(const RtfDocument& document);
// Writes the document to file (replacing it); false and *error when that fails.
bool WriteRtfFile(const std::filesystem::path& file, const RtfDocument& document,
                  std::string* error = nullptr);

}  // namespace invarro::output
