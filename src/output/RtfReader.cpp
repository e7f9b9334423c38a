#include "output/RtfReader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "data/Ansi.h"
#include "data/Files.h"

namespace invarro::output {

namespace {

// Groups nested deeper than this share the state of the deepest one kept.
constexpr std::size_t kMaxDepth = 256;
// Control word parameters are kept within this range.
constexpr long kMaxParam = 1000000000L;

enum class Dest {
    Text,        // the document's text
    FontTable,   // \fonttbl
    ColorTable,  // \colortbl
    ListText,    // \pntext, \listtext: the printed bullet or number of a list paragraph
    Pn,          // \pn: the list's description (its level tells a bullet)
    Skip,        // anything else that is not text
};

struct CharFormat {
    int font = -1;  // the font number; -1 for the document's default font
    int halfPoints = 24;
    int color = 0;
    std::uint8_t style = 0;
    bool operator==(const CharFormat&) const = default;
};

struct GroupState {
    CharFormat format;
    Dest dest = Dest::Text;
    int uc = 1;  // characters that stand in for a \u character
};

struct ParaFormat {
    Alignment alignment = Alignment::Left;
    int firstIndent = 0;
    int leftIndent = 0;
    int rightIndent = 0;
    bool bullet = false;  // a bullet level was declared (\pnlvlblt)
};

// Destinations whose contents are never text, known without "\*".
bool SkippedDestination(std::string_view w) {
    static constexpr std::array<std::string_view, 40> kSkipped = {"info",
                                                                  "stylesheet",
                                                                  "pict",
                                                                  "object",
                                                                  "header",
                                                                  "headerl",
                                                                  "headerr",
                                                                  "headerf",
                                                                  "footer",
                                                                  "footerl",
                                                                  "footerr",
                                                                  "footerf",
                                                                  "footnote",
                                                                  "annotation",
                                                                  "fldinst",
                                                                  "xe",
                                                                  "tc",
                                                                  "bkmkstart",
                                                                  "bkmkend",
                                                                  "themedata",
                                                                  "colorschememapping",
                                                                  "latentstyles",
                                                                  "datastore",
                                                                  "listtable",
                                                                  "listoverridetable",
                                                                  "rsidtbl",
                                                                  "generator",
                                                                  "filetbl",
                                                                  "revtbl",
                                                                  "pgdsctbl",
                                                                  "private",
                                                                  "objdata",
                                                                  "shp",
                                                                  "shpinst",
                                                                  "nonshppict",
                                                                  "comment",
                                                                  "atnid",
                                                                  "atnauthor",
                                                                  "txe",
                                                                  "pntxtb"};
    return std::find(kSkipped.begin(), kSkipped.end(), w) != kSkipped.end();
}

// A sign that stands for a bullet when a list paragraph's printed text is only that.
bool BulletSign(std::string_view text) {
    std::string t;
    for (char c : text)
        if (c != '\t' && c != ' ') t += c;
    return t.empty() || t == "\xE2\x80\xA2" || t == "\xC2\xB7" || t == "o" || t == "-" ||
           t == "*" || t == "\xC2\xA7" || t == "\xEF\x82\xB7" || t == "\xEF\x82\xA7" ||
           t == "\xE2\x96\xAA" || t == "\xE2\x97\x8F";
}

class Reader {
  public:
    explicit Reader(std::string_view in) : in_(in) {}

    RtfDocument run() {
        stack_.push_back(GroupState{});
        // The document starts at its first group; anything before it is not RTF.
        pos_ = in_.find('{');
        if (pos_ == std::string_view::npos) pos_ = in_.size();
        while (pos_ < in_.size()) {
            const char c = in_[pos_];
            if (c == '{') {
                ++pos_;
                openGroup();
            } else if (c == '}') {
                ++pos_;
                closeGroup();
                if (stack_.size() == 1 && overflow_ == 0 && begun_) break;  // the outer group
            } else if (c == '\\') {
                ++pos_;
                control();
            } else {
                ++pos_;
                if (c == '\r' || c == '\n') continue;
                groupStart_ = false;
                character(AnsiChar(c));
            }
            begun_ = true;
        }
        endParagraph(true);
        return NormalizedDocument(doc_);
    }

  private:
    static char32_t AnsiChar(char c) {
        return data::AnsiToCodePoint(static_cast<unsigned char>(c));
    }

    GroupState& state() { return stack_.back(); }

    void openGroup() {
        skipCount_ = 0;
        if (stack_.size() >= kMaxDepth) {
            ++overflow_;
        } else {
            stack_.push_back(stack_.back());
        }
        groupStart_ = true;
        ignorable_ = false;
    }

    void closeGroup() {
        skipCount_ = 0;
        groupStart_ = false;
        if (overflow_ > 0) {
            --overflow_;
            return;
        }
        if (stack_.size() <= 1) return;  // an unmatched "}" closes nothing
        const Dest dest = stack_.back().dest;
        const Dest outer = stack_[stack_.size() - 2].dest;
        if (dest == Dest::FontTable) commitFont();
        if (dest == Dest::ListText && outer != Dest::ListText) {
            const CharFormat f = stack_.back().format;
            stack_.pop_back();
            if (BulletSign(listText_)) {
                paraBullet_ = true;
            } else {
                // A numbered list: its number stays in the text.
                for (std::size_t i = 0; i < listText_.size();) {
                    char32_t cp = 0;
                    data::NextUtf8(listText_, i, cp);
                    appendChar(cp, f);
                }
            }
            listText_.clear();
            return;
        }
        stack_.pop_back();
    }

    // A control word or symbol after "\".
    void control() {
        if (pos_ >= in_.size()) return;
        const char c = in_[pos_];
        const bool atGroupStart = groupStart_;
        groupStart_ = false;
        if (!IsLetter(c)) {
            ++pos_;
            symbol(c, atGroupStart);
            return;
        }
        std::string word;
        while (pos_ < in_.size() && IsLetter(in_[pos_])) {
            if (word.size() < 32) word += in_[pos_];
            ++pos_;
        }
        bool hasParam = false;
        bool negative = false;
        long param = 0;
        if (pos_ < in_.size() && in_[pos_] == '-' && pos_ + 1 < in_.size() &&
            IsDigit(in_[pos_ + 1])) {
            negative = true;
            ++pos_;
        }
        while (pos_ < in_.size() && IsDigit(in_[pos_])) {
            hasParam = true;
            param = std::min(kMaxParam, param * 10 + (in_[pos_] - '0'));
            ++pos_;
        }
        if (negative) param = -param;
        if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;  // the delimiter belongs to the word

        if (word == "bin") {
            // Binary data: its bytes are skipped whatever they hold.
            const std::size_t n = hasParam && param > 0 ? std::size_t(param) : 0;
            pos_ = std::min(in_.size(), pos_ + n);
            return;
        }
        if (atGroupStart && destination(word)) return;
        if (skipCount_ > 0) {
            --skipCount_;
            return;
        }
        word_(word, hasParam, int(param));
    }

    // Sets the destination of a group that begins with word; false when word is not one.
    bool destination(const std::string& word) {
        GroupState& s = state();
        if (s.dest == Dest::Skip || s.dest == Dest::Pn) {
            if (word == "pnlvlblt" && s.dest == Dest::Pn) para_.bullet = true;
            if (s.dest == Dest::Pn) s.dest = Dest::Skip;
            return true;
        }
        if (word == "fonttbl") {
            s.dest = Dest::FontTable;
        } else if (word == "colortbl") {
            s.dest = Dest::ColorTable;
            colorSet_ = false;
        } else if (word == "pntext" || word == "listtext") {
            if (s.dest == Dest::Text) {
                s.dest = Dest::ListText;
                listText_.clear();
            } else {
                s.dest = Dest::Skip;
            }
        } else if (word == "pn") {
            s.dest = Dest::Pn;
        } else if (SkippedDestination(word) || ignorable_) {
            s.dest = Dest::Skip;
        } else {
            return false;
        }
        return true;
    }

    void symbol(char c, bool atGroupStart) {
        if (c == '*') {
            if (atGroupStart) {
                ignorable_ = true;
                groupStart_ = true;  // the destination word follows
            }
            return;
        }
        if (c == '\'') {
            int value = 0;
            int digits = 0;
            while (digits < 2 && pos_ < in_.size() && HexValue(in_[pos_]) >= 0) {
                value = value * 16 + HexValue(in_[pos_]);
                ++pos_;
                ++digits;
            }
            if (digits == 0) return;
            if (skipCount_ > 0) {
                --skipCount_;
                return;
            }
            character(data::AnsiToCodePoint(static_cast<unsigned char>(value)));
            return;
        }
        if (skipCount_ > 0) {
            --skipCount_;
            return;
        }
        switch (c) {
            case '\\':
            case '{':
            case '}':
                character(char32_t(c));
                break;
            case '~':
                character(0xA0);
                break;
            case '_':
                character('-');
                break;
            case '\r':
            case '\n':
                // A backslash before a line end is a paragraph mark in old writers.
                if (state().dest == Dest::Text) endParagraph(false);
                break;
            case '\t':
                character('\t');
                break;
            default:
                break;  // "\-" optional hyphens and anything unknown
        }
    }

    void word_(const std::string& w, bool hasParam, int param) {
        GroupState& s = state();
        if (s.dest == Dest::Skip) return;
        if (s.dest == Dest::Pn) {
            if (w == "pnlvlblt") para_.bullet = true;
            return;
        }
        if (s.dest == Dest::FontTable) {
            if (w == "f" && hasParam) {
                commitFont();
                fontNumber_ = param;
                fontName_.clear();
            }
            return;
        }
        if (s.dest == Dest::ColorTable) {
            const int v = std::clamp(param, 0, 255);
            if (w == "red") red_ = v, colorSet_ = true;
            if (w == "green") green_ = v, colorSet_ = true;
            if (w == "blue") blue_ = v, colorSet_ = true;
            return;
        }
        CharFormat& f = s.format;
        const bool on = !hasParam || param != 0;
        auto setStyle = [&](std::uint8_t bit, bool value) {
            f.style = value ? std::uint8_t(f.style | bit) : std::uint8_t(f.style & ~bit);
        };
        if (w == "par" || w == "sect" || w == "page" || w == "row") {
            if (s.dest == Dest::Text) endParagraph(false);
        } else if (w == "line") {
            character('\n');
        } else if (w == "tab" || w == "cell" || w == "nestcell") {
            character('\t');
        } else if (w == "emdash") {
            character(0x2014);
        } else if (w == "endash") {
            character(0x2013);
        } else if (w == "lquote") {
            character(0x2018);
        } else if (w == "rquote") {
            character(0x2019);
        } else if (w == "ldblquote") {
            character(0x201C);
        } else if (w == "rdblquote") {
            character(0x201D);
        } else if (w == "bullet") {
            character(0x2022);
        } else if (w == "u" && hasParam) {
            unicode(param);
            skipCount_ = s.uc;
        } else if (w == "uc" && hasParam) {
            s.uc = std::clamp(param, 0, 10);
        } else if (w == "plain") {
            f = CharFormat{};
        } else if (w == "b") {
            setStyle(kBold, on);
        } else if (w == "i") {
            setStyle(kItalic, on);
        } else if (w == "ul" || w == "uld" || w == "uldb" || w == "ulw" || w == "uldash" ||
                   w == "ulth" || w == "ulwave") {
            setStyle(kUnderline, on);
        } else if (w == "ulnone") {
            setStyle(kUnderline, false);
        } else if (w == "strike") {
            setStyle(kStrikeOut, on);
        } else if (w == "f" && hasParam) {
            f.font = param;
        } else if (w == "fs" && hasParam) {
            f.halfPoints = std::clamp(param, 2, kMaxHalfPoints);
        } else if (w == "cf" && hasParam) {
            f.color = std::max(0, param);
        } else if (w == "deff" && hasParam) {
            defaultFont_ = param;
        } else if (s.dest != Dest::Text) {
            // Paragraph settings inside a list sign belong to the sign.
        } else if (w == "pard") {
            para_ = ParaFormat{};
        } else if (w == "ql") {
            para_.alignment = Alignment::Left;
        } else if (w == "qc") {
            para_.alignment = Alignment::Center;
        } else if (w == "qr") {
            para_.alignment = Alignment::Right;
        } else if (w == "qj") {
            para_.alignment = Alignment::Justify;
        } else if (w == "fi" && hasParam) {
            para_.firstIndent = std::clamp(param, -31680, 31680);
        } else if (w == "li" && hasParam) {
            para_.leftIndent = std::clamp(param, -31680, 31680);
        } else if (w == "ri" && hasParam) {
            para_.rightIndent = std::clamp(param, -31680, 31680);
        } else if (w == "pnlvlblt") {
            para_.bullet = true;
        }
    }

    void unicode(int value) {
        const char32_t unit = char32_t(value < 0 ? value + 65536 : value) & 0xFFFF;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (highSurrogate_) character('?');
            highSurrogate_ = unit;
            return;
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            if (highSurrogate_) {
                const char32_t cp = 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (unit - 0xDC00);
                highSurrogate_ = 0;
                character(cp);
            } else {
                character('?');
            }
            return;
        }
        character(unit);
    }

    // One character of text in the current destination.
    void character(char32_t cp) {
        if (skipCount_ > 0) {
            --skipCount_;
            return;
        }
        if (highSurrogate_ && (cp < 0xDC00 || cp > 0xDFFF)) {
            highSurrogate_ = 0;
            appendChar('?', state().format);
        }
        GroupState& s = state();
        switch (s.dest) {
            case Dest::Text:
                appendChar(cp, s.format);
                break;
            case Dest::FontTable:
                if (cp == ';')
                    commitFont();
                else if (fontName_.size() < 200)
                    data::AppendUtf8(fontName_, cp);
                break;
            case Dest::ColorTable:
                if (cp == ';') {
                    colors_.push_back(colorSet_ ? std::optional<Color>(Color{std::uint8_t(red_),
                                                                             std::uint8_t(green_),
                                                                             std::uint8_t(blue_)})
                                                : std::nullopt);
                    red_ = green_ = blue_ = 0;
                    colorSet_ = false;
                }
                break;
            case Dest::ListText:
                if (listText_.size() < 64) data::AppendUtf8(listText_, cp);
                break;
            case Dest::Pn:
            case Dest::Skip:
                break;
        }
    }

    void commitFont() {
        if (fontNumber_ >= 0) {
            std::string name(data::TrimText(fontName_));
            if (!fonts_.count(fontNumber_) || !name.empty()) fonts_[fontNumber_] = name;
        }
        fontNumber_ = -1;
        fontName_.clear();
    }

    Font fontOf(const CharFormat& f) const {
        Font font;
        auto face = fonts_.find(f.font >= 0 ? f.font : defaultFont_);
        if (face == fonts_.end()) face = fonts_.find(defaultFont_);
        if (face != fonts_.end()) font.face = face->second;
        font.size = f.halfPoints / 2;
        if (f.color > 0 && std::size_t(f.color) < colors_.size() && colors_[std::size_t(f.color)])
            font.color = *colors_[std::size_t(f.color)];
        else if (f.color == 0 && !colors_.empty() && colors_[0])
            font.color = *colors_[0];
        font.style = f.style;
        return font;
    }

    RtfRun runOf(const CharFormat& f) const {
        RtfRun r;
        r.font = fontOf(f);
        r.halfPoints = f.halfPoints % 2 ? f.halfPoints : 0;
        return r;
    }

    void appendChar(char32_t cp, const CharFormat& f) {
        if ((cp < 0x20 && cp != '\t' && cp != '\n') || cp == 0x7F || (cp >= 0x80 && cp < 0xA0) ||
            (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return;
        RtfRun run = runOf(f);
        auto& runs = paragraph_.runs;
        if (runs.empty() || !runs.back().sameFormat(run)) runs.push_back(std::move(run));
        data::AppendUtf8(runs.back().text, cp);
    }

    void endParagraph(bool atEnd) {
        if (highSurrogate_) {
            highSurrogate_ = 0;
            appendChar('?', state().format);
        }
        // Text after the last paragraph mark is a paragraph of its own; nothing there is none.
        if (atEnd && paragraph_.runs.empty() && !paraBullet_) return;
        if (paragraph_.runs.empty()) paragraph_.runs.push_back(runOf(state().format));
        paragraph_.alignment = para_.alignment;
        paragraph_.firstIndent = para_.firstIndent;
        paragraph_.leftIndent = para_.leftIndent;
        paragraph_.rightIndent = para_.rightIndent;
        paragraph_.bullet = para_.bullet || paraBullet_;
        doc_.paragraphs.push_back(std::move(paragraph_));
        paragraph_ = RtfParagraph{};
        paraBullet_ = false;
    }

    static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static int HexValue(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    std::string_view in_;
    std::size_t pos_ = 0;
    std::vector<GroupState> stack_;
    std::size_t overflow_ = 0;
    bool begun_ = false;
    bool groupStart_ = false;
    bool ignorable_ = false;
    int skipCount_ = 0;
    char32_t highSurrogate_ = 0;

    std::map<int, std::string> fonts_;
    int defaultFont_ = 0;
    int fontNumber_ = -1;
    std::string fontName_;
    std::vector<std::optional<Color>> colors_;
    int red_ = 0, green_ = 0, blue_ = 0;
    bool colorSet_ = false;

    ParaFormat para_;
    bool paraBullet_ = false;  // this paragraph's printed list sign was a bullet
    std::string listText_;
    RtfParagraph paragraph_;
    RtfDocument doc_;
};

}  // namespace

bool LooksLikeRtf(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    while (!bytes.empty() && (bytes.front() == ' ' || bytes.front() == '\t' ||
                              bytes.front() == '\r' || bytes.front() == '\n'))
        bytes.remove_prefix(1);
    return bytes.substr(0, 5) == "{\\rtf";
}

RtfDocument ReadRtf(std::string_view rtf) {
    return Reader(rtf).run();
}

std::optional<RtfDocument> ReadRtfFile(const std::filesystem::path& file, std::string* error) {
    auto bytes = data::ReadWholeFile(file.string());
    if (!bytes) {
        if (error) *error = "The file " + file.string() + " cannot be read.";
        return std::nullopt;
    }
    return ReadRtf(*bytes);
}

}  // namespace invarro::output
