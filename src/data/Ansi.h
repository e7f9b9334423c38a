// Record text is single-byte Windows-1252 ("ANSI"); the logic works in UTF-8. The
// conversion happens at the field accessors and when text files are read or written.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace invarro::data {

// The character of a Windows-1252 byte. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters of the same number.
char32_t AnsiToCodePoint(unsigned char byte);
// The Windows-1252 byte of a character, or nothing when the code page lacks it.
std::optional<unsigned char> CodePointToAnsi(char32_t cp);
// Decodes one UTF-8 sequence at text[i] and advances i past it. Returns false for a
// malformed sequence, which i then also lies behind.
bool NextUtf8(std::string_view text, std::size_t& i, char32_t& cp);
void AppendUtf8(std::string& out, char32_t cp);

// UTF-8 to Windows-1252. A character without a Windows-1252 form, and every malformed
// UTF-8 sequence, becomes the replacement ("?").
std::string AnsiFromUtf8(std::string_view utf8, char replacement = '?');
// Windows-1252 to UTF-8. The five bytes that Windows-1252 leaves undefined map to the
// control characters of the same number, so that they survive a round trip.
std::string Utf8FromAnsi(std::string_view ansi);
// The same, written over out (whose room is kept for the next text).
void AssignUtf8FromAnsi(std::string& out, std::string_view ansi);
// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);
// The text of a file written by this program or by another one, as UTF-8: UTF-8 behind a
// byte-order mark (where a stray byte still counts as Windows-1252), else UTF-8 when the
// bytes are well-formed UTF-8, else Windows-1252.
std::string DecodeText(std::string_view bytes);
// Characters (not bytes) of UTF-8 text, and its first n characters. The count is also the
// text's length in Windows-1252, as a record field stores it (a character the code page
// lacks, or a malformed sequence, is stored as one "?"), so field widths are measured with
// it, never with the UTF-8 bytes.
std::size_t CharCount(std::string_view utf8);
std::string FirstChars(std::string_view utf8, std::size_t n);
// UTF-8 text padded with blanks on the right to n characters (longer text is kept whole).
std::string PadRight(std::string_view text, std::size_t n);
// Padded with blanks on the left to n characters.
std::string PadLeft(std::string_view text, std::size_t n);

// Upper case in Windows-1252: a-z and the accented lower-case letters (including
// š, œ, ž and ÿ). ß and µ have no single-byte upper case and stay. Every key builder
// and every "stored upper case" field uses this one function.
std::string UpperAnsi(std::string_view ansi);
// The same upper-casing for UTF-8 text: characters are upper-cased as Windows-1252
// would, those outside Windows-1252 are left as they are.
std::string UpperText(std::string_view utf8);

// Whether the text holds the word (upper-case ASCII letters and signs) in any letter case.
// Upper-casing turns no byte of a character beyond ASCII into a plain letter, so this is
// UpperText(text) holding the word, found in place without building the upper-case copy.
bool HoldsWordNoCase(std::string_view text, std::string_view word);

// Removes blanks and every other character below code 33 at both ends.
// (Inline: fields and cells are trimmed millions of times in a pass over a company.)
inline std::string_view TrimText(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) < 33)
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) < 33)
        --e;
    return text.substr(b, e - b);
}
inline std::string TrimmedText(std::string_view text) {
    return std::string(TrimText(text));
}

}  // namespace invarro::data
