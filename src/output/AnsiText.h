// Windows-1252 ("ANSI") and UTF-8. The program works in UTF-8; the text files it writes
// for other programs and the record texts are single-byte Windows-1252.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace invarro::output {

// The character of a Windows-1252 byte. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters of the same number.
char32_t AnsiToCodePoint(unsigned char byte);
// The Windows-1252 byte of a character, or nothing when the code page lacks it.
std::optional<unsigned char> CodePointToAnsi(char32_t cp);

// Decodes one character of UTF-8 at text[pos] and advances pos. A byte that does not
// start a well-formed sequence is taken as a Windows-1252 byte on its own, so text that
// is already ANSI passes through unchanged.
char32_t NextCodePoint(std::string_view text, std::size_t& pos);
void AppendUtf8(std::string& out, char32_t cp);

std::string AnsiToUtf8(std::string_view ansi);
// Characters without a Windows-1252 form become replacement.
std::string Utf8ToAnsi(std::string_view utf8, char replacement = '?');

bool IsValidUtf8(std::string_view bytes);
// The text of a file written by this program or by another one: UTF-8 with a byte-order
// mark, else UTF-8 when the bytes are well-formed UTF-8, else Windows-1252. Returns UTF-8.
std::string DecodeText(std::string_view bytes);

// The number of characters of UTF-8 text, and its first n characters.
std::size_t CharCount(std::string_view utf8);
std::string FirstChars(std::string_view utf8, std::size_t n);

}  // namespace invarro::output
