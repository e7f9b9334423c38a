// Delimited text files, read and written the one way that every import and export of
// the program uses.
//
// Reading: the file is UTF-8 when it is valid UTF-8 (with or without a byte-order mark),
// else Windows-1252. Fields end at the separator; with a printable separator a blank or
// any other control character outside double quotes also ends a field, and blanks
// around fields are skipped, so an unquoted value with a blank in it becomes two fields.
// A field that starts with a double quote runs to the closing quote and may hold the
// separator, blanks and line breaks; two double quotes inside it stand for one. Empty
// entries between two separators count. A row ends at a line break (CR LF, LF or CR)
// outside quotes; rows with nothing but blanks are skipped.
//
// Writing: values are joined by the separator; a value that holds the separator, a
// double quote, a blank or a line break (or any other control character) is enclosed in
// double quotes with its inner quotes doubled, so that the reader gives it back whole.
// For commas this is RFC 4180. Rows end with CR LF. The file is Windows-1252 (characters
// it lacks become "?") unless UTF-8 is chosen, which is written behind a byte-order mark.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace invarro::data {

struct DelimitedRow {
    int line = 0;  // the line of the file on which the row starts, from 1
    std::vector<std::string> fields;
};

struct DelimitedText {
    std::vector<DelimitedRow> rows;
    std::string error;  // why the text could not be split; empty when it could
    bool ok() const { return error.empty(); }
};

// Splits UTF-8 text into rows. Fails on a quoted field that is never closed and on text
// holding a NUL character (a binary file).
DelimitedText SplitDelimited(std::string_view text, char separator = ',');
// Reads the file's bytes as described above and splits them.
DelimitedText SplitDelimitedBytes(std::string_view bytes, char separator = ',');
// Reads and splits a file. The error tells when it cannot be read.
DelimitedText ReadDelimitedFile(const std::string& path, char separator = ',');

// The export kinds the export windows offer.
enum class DelimitedKind {
    CsvFile,     // "CSV File": values quoted only where needed, joined by commas
    CommaQuote,  // "Comma/Quote": every value quoted, joined by commas
    CommaOnly,   // "Comma only": like CsvFile; a line of one character or less is left out
    Character,   // "Character:": joined by a chosen character; short lines left out too
};

struct DelimitedFormat {
    DelimitedKind kind = DelimitedKind::CsvFile;
    char separator = ';';  // the character of the Character kind
    // The character that joins the values.
    char joiner() const { return kind == DelimitedKind::Character ? separator : ','; }
};

// The "Character:" entry as the separator: its first character, ";" when it is empty.
// Nothing when it cannot separate values (a double quote, or a character outside the
// single-byte range).
std::optional<char> SeparatorFromEntry(std::string_view entry);

// One value as written: quoted (inner quotes doubled) when the reader would otherwise
// not give it back whole, or always when quoteAlways is set.
std::string DelimitedValue(std::string_view value, char separator, bool quoteAlways = false);
// Whether a spreadsheet would take the value for a formula: it begins with "=", "+", "-"
// or "@" and is not a plain number ("-12.50" is one), or it is such a value behind
// apostrophes (which the guard below adds and an import takes off).
bool StartsAsFormula(std::string_view value);
// One line of values in the format. A value that StartsAsFormula is written quoted with an
// apostrophe in front, so that a spreadsheet shows it as text; the imports take the
// apostrophe off again (ImportedValue), so a round trip keeps the value.
std::string DelimitedLine(const std::vector<std::string>& values, const DelimitedFormat& format);
// Whether the format writes the line: every line of the CSV kind, the others only lines
// longer than one character after trimming.
bool WritesDelimitedLine(std::string_view line, const DelimitedFormat& format);

enum class TextEncoding { Windows1252, Utf8 };

// The bytes of a file of these lines, each ended by CR LF.
std::string DelimitedFileBytes(const std::vector<std::string>& lines, TextEncoding encoding);
// Writes the lines to the file, replacing it. On failure returns false and *error says why.
bool WriteDelimitedFile(const std::string& path, const std::vector<std::string>& lines,
                        TextEncoding encoding, std::string* error = nullptr);

}  // namespace invarro::data
