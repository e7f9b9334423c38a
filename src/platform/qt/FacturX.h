// Turns a PDF that Qt wrote in its PDF/A-1b mode (fonts embedded, no transparency) into a
// Factur-X / ZUGFeRD invoice: PDF/A-3b with the invoice's XML embedded as "factur-x.xml".
//
// The file gets the XML as an embedded file (/Type /EmbeddedFile, /Subtype text/xml,
// /Params with its dates) in a /Filespec dictionary with /F and /UF "factur-x.xml" and
// /AFRelationship /Alternative, listed in the catalog's /AF array and in its
// /Names /EmbeddedFiles; XMP metadata that repeats the document information and declares
// PDF/A-3 conformance B with the Factur-X extension schema (document type INVOICE,
// version 1.0, conformance level EN 16931); an sRGB output intent from the system's ICC
// profile; and the document information itself.
#pragma once

#include <string>

#include "output/Canvas.h"

namespace invarro::platform::qt {

// Where the sRGB ICC profile of the output intent is read from: the first of these that is
// there (the colord profile that Debian's colord-data ships, then others).
std::string SrgbProfilePath();

// Rewrites path in place (through a temporary file beside it, keeping its mode). False and
// *error when the file cannot be read or written or no sRGB profile is found; the file is
// then left as it was.
bool MakeFacturX(const std::string& path, const std::string& xml, const output::DocumentInfo& info,
                 std::string* error);

}  // namespace invarro::platform::qt
