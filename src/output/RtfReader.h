// Rich Text Format in: the part of RTF that letters use (paragraphs with alignment,
// indents and bullets; runs with font, size, colour, bold, italic, underline and
// strike-out; Windows-1252 and Unicode characters), read into the document that the RTF
// writer writes. Anything else is passed over. The reader takes any bytes: it never
// fails, and its work grows with the length of the input only.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "output/RtfWriter.h"

namespace invarro::output {

// Whether the bytes begin as an RTF file does ("{\rtf", blanks before it allowed).
bool LooksLikeRtf(std::string_view bytes);

// The document in rtf; its paragraphs are in the form NormalizedDocument gives. Text
// outside the document's outer group is ignored, so bytes without any group give an
// empty document.
RtfDocument ReadRtf(std::string_view rtf);

// Reads an RTF file; nothing (and *error) when the file cannot be read.
std::optional<RtfDocument> ReadRtfFile(const std::filesystem::path& file,
                                       std::string* error = nullptr);

}  // namespace invarro::output
