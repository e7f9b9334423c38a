#include "output/RtfWriter.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>

#include "data/Ansi.h"
#include "data/Files.h"

namespace invarro::output {

namespace {

// Appends text escaped for RTF: the three special characters behind a backslash,
// Windows-1252 characters above ASCII as \'hh (the document declares that code page),
// everything else as \uN followed by an escaped "?" for readers that do not know Unicode
// (escaped, so that readers which skip a whole word after \uN skip only that).
void AppendEscaped(std::string& out, std::string_view utf8, bool inFontTable) {
    char hex[8];
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t cp = 0;
        if (!data::NextUtf8(utf8, pos, cp)) cp = '?';
        if (cp == '\\' || cp == '{' || cp == '}') {
            out += '\\';
            out += char(cp);
        } else if (cp == '\t' && !inFontTable) {
            out += "\\tab ";
        } else if (cp == '\n' && !inFontTable) {
            out += "\\line ";
        } else if (cp < 0x20 || cp == 0x7F || (inFontTable && cp == ';')) {
            // Other control characters have no printed form; a ";" would end the font name.
        } else if (cp < 0x80) {
            out += char(cp);
        } else if (auto b = data::CodePointToAnsi(cp); b && (cp >= 0xA0 || *b != cp)) {
            std::snprintf(hex, sizeof hex, "\\'%02x", unsigned(*b));
            out += hex;
        } else if (cp >= 0x80 && cp < 0xA0) {
            // C1 control characters: no printed form either.
        } else {
            auto unit = [&](unsigned u) {
                out += "\\u" + std::to_string(u > 32767 ? int(u) - 65536 : int(u)) + "\\'3f";
            };
            if (cp > 0xFFFF) {
                const char32_t v = cp - 0x10000;
                unit(unsigned(0xD800 + (v >> 10)));
                unit(unsigned(0xDC00 + (v & 0x3FF)));
            } else {
                unit(unsigned(cp));
            }
        }
    }
}

template <typename T>
std::size_t IndexOf(std::vector<T>& table, const T& value) {
    auto it = std::find(table.begin(), table.end(), value);
    if (it != table.end()) return std::size_t(it - table.begin());
    table.push_back(value);
    return table.size() - 1;
}

}  // namespace

RtfDocument PlainTextDocument(const std::vector<std::string>& lines, const Font& font) {
    RtfDocument doc;
    doc.paragraphs.reserve(lines.size());
    for (const auto& line : lines) {
        RtfParagraph p;
        p.runs.push_back(RtfRun{line, font});
        doc.paragraphs.push_back(std::move(p));
    }
    return doc;
}

namespace {

// The text as RTF carries it: what AppendEscaped drops is dropped here too.
std::string CleanText(std::string_view utf8, bool fontName) {
    std::string out;
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t cp = 0;
        if (!data::NextUtf8(utf8, pos, cp)) cp = '?';
        if ((cp < 0x20 && (fontName || (cp != '\t' && cp != '\n'))) || cp == 0x7F ||
            (cp >= 0x80 && cp < 0xA0) || (fontName && cp == ';'))
            continue;
        data::AppendUtf8(out, cp);
    }
    return out;
}

RtfRun NormalizedRun(const RtfRun& r) {
    RtfRun n;
    n.text = CleanText(r.text, false);
    n.font = r.font;
    n.font.face = CleanText(r.font.face, true);
    n.font.style &= kBold | kItalic | kUnderline | kStrikeOut;
    const int hp = std::clamp(r.sizeInHalfPoints(), 2, kMaxHalfPoints);
    n.font.size = hp / 2;
    n.halfPoints = hp % 2 ? hp : 0;
    return n;
}

}  // namespace

RtfDocument NormalizedDocument(const RtfDocument& document) {
    RtfDocument out;
    out.paragraphs.reserve(document.paragraphs.size());
    for (const RtfParagraph& p : document.paragraphs) {
        RtfParagraph n = p;
        n.runs.clear();
        std::optional<RtfRun> lineFormat;  // the first run, for an empty line
        for (const RtfRun& r : p.runs) {
            RtfRun run = NormalizedRun(r);
            if (!lineFormat) lineFormat = run;
            if (run.text.empty()) continue;
            if (!n.runs.empty() && n.runs.back().sameFormat(run))
                n.runs.back().text += run.text;
            else
                n.runs.push_back(std::move(run));
        }
        if (n.runs.empty()) {
            RtfRun empty = lineFormat ? *lineFormat : NormalizedRun(RtfRun{});
            empty.text.clear();
            n.runs.push_back(std::move(empty));
        }
        out.paragraphs.push_back(std::move(n));
    }
    return out;
}

std::string DocumentText(const RtfDocument& document) {
    std::string text;
    for (std::size_t i = 0; i < document.paragraphs.size(); ++i) {
        if (i) text += '\n';
        for (const RtfRun& r : document.paragraphs[i].runs)
            text += r.text;
    }
    return text;
}

std::string ToRtf(const RtfDocument& given) {
    const RtfDocument document = NormalizedDocument(given);
    std::vector<std::string> faces;
    std::vector<Color> colors;
    for (const auto& p : document.paragraphs)
        for (const auto& r : p.runs) {
            IndexOf(faces, r.font.face);
            IndexOf(colors, r.font.color);
        }
    if (faces.empty()) faces.push_back(Font{}.face);

    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033\r\n{\\fonttbl";
    for (std::size_t i = 0; i < faces.size(); ++i) {
        out += "{\\f" + std::to_string(i) + "\\fnil\\fcharset0 ";
        AppendEscaped(out, faces[i], true);
        out += ";}";
    }
    // Colour 0 is the reader's automatic colour; the text colours are 1 and up.
    out += "}\r\n{\\colortbl ;";
    for (const auto& c : colors)
        out += "\\red" + std::to_string(c.red) + "\\green" + std::to_string(c.green) + "\\blue" +
               std::to_string(c.blue) + ";";
    out += "}\r\n\\viewkind4\\uc1\r\n";

    for (const auto& p : document.paragraphs) {
        out += "\\pard";
        out += p.alignment == Alignment::Center    ? "\\qc"
               : p.alignment == Alignment::Right   ? "\\qr"
               : p.alignment == Alignment::Justify ? "\\qj"
                                                   : "\\ql";
        if (p.firstIndent) out += "\\fi" + std::to_string(p.firstIndent);
        if (p.leftIndent) out += "\\li" + std::to_string(p.leftIndent);
        if (p.rightIndent) out += "\\ri" + std::to_string(p.rightIndent);
        // The bullet as word processors write it: the printed sign for readers that do not
        // know bullets, and the bullet level for those that do.
        if (p.bullet) out += "{\\pntext\\'95\\tab}{\\*\\pn\\pnlvlblt\\pnindent0{\\pntxtb\\'95}}";
        // The only run of an empty line carries its format: the paragraph mark goes inside.
        const bool emptyLine = p.runs.size() == 1 && p.runs.front().text.empty();
        for (const auto& r : p.runs) {
            const Font& f = r.font;
            out += "{\\f" + std::to_string(IndexOf(faces, f.face));
            out += "\\fs" + std::to_string(r.sizeInHalfPoints());
            out += "\\cf" + std::to_string(IndexOf(colors, f.color) + 1);
            if (f.bold()) out += "\\b";
            if (f.italic()) out += "\\i";
            if (f.underline()) out += "\\ul";
            if (f.strikeOut()) out += "\\strike";
            if (emptyLine) {
                out += "\\par}\r\n";
                break;
            }
            out += ' ';
            AppendEscaped(out, r.text, false);
            out += '}';
        }
        if (!emptyLine) out += "\\par\r\n";
    }
    out += "}\r\n";
    return out;
}

bool WriteRtfFile(const std::filesystem::path& file, const RtfDocument& document,
                  std::string* error) {
    // Written beside the file and renamed over it, so that a failed write keeps the letter
    // that was there.
    if (data::ReplaceUserFile(file.string(), ToRtf(document), error)) return true;
    // The message begins a sentence ("Cannot create ...", "Cannot write ...").
    if (error && !error->empty())
        (*error)[0] = char(std::toupper(static_cast<unsigned char>((*error)[0])));
    return false;
}

}  // namespace invarro::output
