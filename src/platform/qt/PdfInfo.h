// Writes the document information (title, author, subject, producer) into a finished
// PDF file. Qt's PDF writer records only a title and a creator, so the rest is set
// afterwards on the file.
#pragma once

#include <string>

#include "output/Canvas.h"

namespace invarro::platform::qt {

// Replaces the four entries; an empty value removes its entry. The file is rewritten
// through a temporary file beside it and keeps its permissions. False and *error when
// the file cannot be read or written; the file is then left as it was.
bool SetPdfInfo(const std::string& path, const output::DocumentInfo& info,
                std::string* error = nullptr);

// The same on a whole PDF held in memory, as Qt's PDF writer lays it out: a classic
// cross-reference table and an information dictionary without nested values. Only the
// dictionary is rewritten; the entries besides the four stay, and the offsets behind it
// move by the change in its length. False, with pdf left as it was, for any other layout
// (cross-reference streams, incremental updates, encryption, ...); the file routine above
// handles those.
bool SetPdfInfoInMemory(std::string& pdf, const output::DocumentInfo& info);

}  // namespace invarro::platform::qt
