// Writes the document information (title, author, subject, producer) into a finished
// PDF file. Qt's PDF writer records only a title and a creator, so the rest is set
// afterwards on the file.
#pragma once

#include <functional>
#include <string>

#include "output/Canvas.h"

class QPDF;
class QPDFWriter;
class QPDFObjectHandle;

namespace invarro::platform::qt {

// Replaces the four entries; an empty value removes its entry. The file is rewritten
// through a temporary file beside it and keeps its permissions. False and *error when
// the file cannot be read or written; the file is then left as it was.
bool SetPdfInfo(const std::string& path, const output::DocumentInfo& info,
                std::string* error = nullptr);

// Sets the four entries on an open document; returns the information dictionary.
QPDFObjectHandle PutDocumentInfo(QPDF& pdf, const output::DocumentInfo& info);
// Reads the file, lets change edit it, and writes it through a temporary file beside it
// (settings, when given, set up the writer) that replaces it with its permissions kept.
// False and *error when it cannot be read, changed or written; the file is then left as
// it was.
bool RewritePdfFile(const std::string& path, const std::function<void(QPDF&)>& change,
                    const std::function<void(QPDFWriter&)>& settings, std::string* error);

// The same without rewriting the file, for a PDF as Qt's writer lays it out: a classic
// cross-reference table and a flat information dictionary. The new dictionary is
// written over the old one, padded to its length, so nothing else in the file moves;
// the writer is given a title of PdfInfoRoom(info) spaces to leave the room. The
// entries besides the four stay. False, with the file untouched, for any other layout
// (cross-reference streams, incremental updates, encryption, too little room, ...).
bool SetPdfInfoInPlace(const std::string& path, const output::DocumentInfo& info);
int PdfInfoRoom(const output::DocumentInfo& info);

}  // namespace invarro::platform::qt
