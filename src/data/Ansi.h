// Record text is single-byte Windows-1252 ("ANSI"); the logic works in UTF-8. The
// conversion happens at the field accessors and when text files are read or written.
#pragma once

#include <string>
#include <string_view>

namespace invarro::data {

// UTF-8 to Windows-1252. A character without a Windows-1252 form, and every malformed
// UTF-8 sequence, becomes "?".
std::string AnsiFromUtf8(std::string_view utf8);
// Windows-1252 to UTF-8. The five bytes that Windows-1252 leaves undefined map to the
// control characters of the same number, so that they survive a round trip.
std::string Utf8FromAnsi(std::string_view ansi);
// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);

// Upper case in Windows-1252: a-z and the accented lower-case letters (including
// š, œ, ž and ÿ). ß and µ have no single-byte upper case and stay. Every key builder
// and every "stored upper case" field uses this one function.
std::string UpperAnsi(std::string_view ansi);
// The same upper-casing for UTF-8 text: characters are upper-cased as Windows-1252
// would, those outside Windows-1252 are left as they are.
std::string UpperText(std::string_view utf8);

// Removes blanks and every other character below code 33 at both ends.
std::string_view TrimText(std::string_view text);

}  // namespace invarro::data
