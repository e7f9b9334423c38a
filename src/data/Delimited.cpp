#include "data/Delimited.h"

#include "data/Ansi.h"
#include "data/Files.h"
#include "data/OwnFiles.h"

namespace invarro::data {

namespace {

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// A blank or another control character other than a line end.
bool IsSpace(char c) {
    return static_cast<unsigned char>(c) <= ' ' && !IsLineEnd(c) && c != '\0';
}

// Splits the text row by row; one object per call.
class Splitter {
  public:
    Splitter(std::string_view text, char separator)
        : text_(text), sep_(separator), strict_(static_cast<unsigned char>(separator) <= ' ') {}

    DelimitedText run() {
        DelimitedText out;
        if (text_.find('\0') != std::string_view::npos) {
            out.error = "The file holds characters that are not text.";
            return out;
        }
        while (i_ < text_.size()) {
            DelimitedRow row;
            row.line = line_;
            if (!readRow(row.fields)) {
                out.error = "A quoted value that begins on line " + std::to_string(quoteLine_) +
                            " is never closed.";
                out.rows.clear();
                return out;
            }
            if (!row.fields.empty()) out.rows.push_back(std::move(row));
        }
        return out;
    }

  private:
    bool atEnd() const { return i_ >= text_.size(); }
    char peek() const { return text_[i_]; }

    // Steps over the line end at i_ (CR LF counts as one).
    void skipLineEnd() {
        if (text_[i_] == '\r' && i_ + 1 < text_.size() && text_[i_ + 1] == '\n') ++i_;
        ++i_;
        ++line_;
    }

    void skipSpaces() {
        if (strict_) return;
        while (!atEnd() && IsSpace(peek()) && peek() != sep_)
            ++i_;
    }

    // Reads one row and the line end after it. False on an unclosed quote.
    bool readRow(std::vector<std::string>& fields) {
        skipSpaces();
        if (atEnd() || IsLineEnd(peek())) {
            if (!atEnd()) skipLineEnd();
            return true;  // nothing but blanks: no fields
        }
        for (;;) {
            std::string value;
            if (peek() == '"') {
                if (!readQuoted(value)) return false;
            } else {
                while (!atEnd() && peek() != sep_ && !IsLineEnd(peek()) &&
                       (strict_ || !IsSpace(peek())))
                    value += text_[i_++];
            }
            fields.push_back(std::move(value));
            skipSpaces();
            if (atEnd()) return true;
            if (IsLineEnd(peek())) {
                skipLineEnd();
                return true;
            }
            if (peek() == sep_) {
                ++i_;
                skipSpaces();
                // A separator at the end of the row leaves one empty value after it.
                if (atEnd() || IsLineEnd(peek())) {
                    fields.emplace_back();
                    if (!atEnd()) skipLineEnd();
                    return true;
                }
            }
            // Anything else (text right after a closing quote) starts the next value.
        }
    }

    bool readQuoted(std::string& value) {
        quoteLine_ = line_;
        ++i_;  // the opening quote
        for (;;) {
            if (atEnd()) return false;
            const char c = text_[i_];
            if (c == '"') {
                if (i_ + 1 < text_.size() && text_[i_ + 1] == '"') {
                    value += '"';
                    i_ += 2;
                    continue;
                }
                ++i_;
                return true;
            }
            if (c == '\n' || (c == '\r' && !(i_ + 1 < text_.size() && text_[i_ + 1] == '\n')))
                ++line_;
            value += c;
            ++i_;
        }
    }

    std::string_view text_;
    char sep_;
    bool strict_;  // a blank or control character separates: no other character does
    std::size_t i_ = 0;
    int line_ = 1;
    int quoteLine_ = 0;
};

}  // namespace

DelimitedText SplitDelimited(std::string_view text, char separator) {
    return Splitter(text, separator).run();
}

DelimitedText SplitDelimitedBytes(std::string_view bytes, char separator) {
    return SplitDelimited(DecodeText(bytes), separator);
}

DelimitedText ReadDelimitedFile(const std::string& path, char separator) {
    std::optional<std::string> bytes = ReadWholeFile(path);
    if (!bytes) {
        DelimitedText out;
        out.error = "The file " + path + " cannot be read.";
        return out;
    }
    return SplitDelimitedBytes(*bytes, separator);
}

std::optional<char> SeparatorFromEntry(std::string_view entry) {
    if (entry.empty()) return ';';
    const unsigned char c = static_cast<unsigned char>(entry[0]);
    if (c == '"' || c >= 0x80 || c == 0 || IsLineEnd(char(c))) return std::nullopt;
    return char(c);
}

std::string DelimitedValue(std::string_view value, char separator, bool quoteAlways) {
    bool quote = quoteAlways;
    for (char c : value)
        if (c == separator || c == '"' || static_cast<unsigned char>(c) <= ' ') quote = true;
    // A separator that is itself a blank or a control character runs empty values
    // together unless they are quoted.
    if (value.empty() && static_cast<unsigned char>(separator) <= ' ') quote = true;
    if (!quote) return std::string(value);
    std::string out = "\"";
    for (char c : value) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

bool StartsAsFormula(std::string_view value) {
    const std::size_t first = value.find_first_not_of('\'');
    if (first == std::string_view::npos) return false;
    const char c = value[first];
    if (c != '=' && c != '+' && c != '-' && c != '@') return false;
    if (first > 0) return true;
    // A plain number with its sign is a number to a spreadsheet too, and stays one.
    std::size_t digits = 0;
    bool point = false;
    for (std::size_t i = 1; i < value.size(); ++i) {
        if (value[i] >= '0' && value[i] <= '9')
            ++digits;
        else if (value[i] == '.' && !point)
            point = true;
        else
            return true;
    }
    return digits == 0;
}

std::string DelimitedLine(const std::vector<std::string>& values, const DelimitedFormat& format) {
    const char joiner = format.joiner();
    const bool always = format.kind == DelimitedKind::CommaQuote;
    std::string line;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) line += joiner;
        if (StartsAsFormula(values[i]))
            line += DelimitedValue("'" + values[i], joiner, true);
        else
            line += DelimitedValue(values[i], joiner, always);
    }
    return line;
}

bool WritesDelimitedLine(std::string_view line, const DelimitedFormat& format) {
    return format.kind == DelimitedKind::CsvFile || TrimText(line).size() > 1;
}

std::string DelimitedFileBytes(const std::vector<std::string>& lines, TextEncoding encoding) {
    std::string out;
    if (encoding == TextEncoding::Utf8) out = "\xEF\xBB\xBF";
    for (const std::string& l : lines) {
        out += encoding == TextEncoding::Utf8 ? l : AnsiFromUtf8(l);
        out += "\r\n";
    }
    return out;
}

bool WriteDelimitedFile(const std::string& path, const std::vector<std::string>& lines,
                        TextEncoding encoding, std::string* error) {
    if (!MayWriteUserFile(path, error)) return false;
    std::string why;
    if (ReplaceFile(path, DelimitedFileBytes(lines, encoding), &why)) return true;
    if (error) *error = "The file " + path + " could not be written: " + why;
    return false;
}

}  // namespace invarro::data
