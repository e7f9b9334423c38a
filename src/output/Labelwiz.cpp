#include "output/Labelwiz.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "data/Ansi.h"
#include "data/Files.h"
#include "data/IniFile.h"
#include "data/Keys.h"
#include "data/Money.h"
#include "data/Update.h"
#include "output/TextFile.h"

namespace invarro::output {

namespace {

using data::Company;
using data::Customer;

// A short string of the layout record: a length byte and width character bytes.
struct ShortString {
    std::size_t offset;
    std::size_t width;
};
constexpr ShortString kDescription{0, 50};
constexpr ShortString kLeftMargin{51, 3};
constexpr ShortString kTopMargin{55, 3};
constexpr ShortString kColumns{59, 1};
constexpr ShortString kRows{61, 2};
constexpr ShortString kLabelWidth{64, 4};
constexpr ShortString kLabelHeight{69, 4};
constexpr ShortString kFontName{74, 32};
constexpr std::size_t kFontSize = 108;
constexpr std::size_t kFontColour = 112;
constexpr std::size_t kFontStyle = 116;
constexpr std::size_t kUseShipping = 117;
constexpr std::size_t kReturnAddress = 118;
constexpr ShortString kBitmap{119, 255};
constexpr std::size_t kLineBetween = 426;
constexpr ShortString kLineWidth{427, 1};
constexpr ShortString kSendTo{431, 10};

void PutShort(std::string& rec, ShortString f, std::string_view utf8) {
    const std::string ansi = data::AnsiFromUtf8(utf8).substr(0, f.width);
    rec[f.offset] = char(ansi.size());
    std::copy(ansi.begin(), ansi.end(), rec.begin() + std::ptrdiff_t(f.offset + 1));
}

std::string GetShort(std::string_view rec, ShortString f) {
    const std::size_t n = std::min<std::size_t>(static_cast<unsigned char>(rec[f.offset]), f.width);
    return data::Utf8FromAnsi(rec.substr(f.offset + 1, n));
}

void PutInt32(std::string& rec, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        rec[at + std::size_t(i)] = char((v >> (8 * i)) & 0xFF);
}

uint32_t GetInt32(std::string_view rec, std::size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= uint32_t(static_cast<unsigned char>(rec[at + std::size_t(i)])) << (8 * i);
    return v;
}

std::string Trimmed(std::string_view s) {
    return data::TrimmedText(s);
}

// text cut to width characters and padded with blanks to it.
std::string Column(std::string_view text, std::size_t width) {
    std::string out = data::FirstChars(text, width);
    const std::size_t n = data::CharCount(out);
    if (n < width) out.append(width - n, ' ');
    return out;
}

// Characters from..from+count-1 (0-based) of UTF-8 text; fewer at its end.
std::string Chars(std::string_view text, std::size_t from, std::size_t count) {
    std::size_t i = 0, index = 0, begin = text.size(), end = text.size();
    while (i < text.size()) {
        if (index == from) begin = i;
        if (index == from + count) {
            end = i;
            break;
        }
        char32_t cp;
        data::NextUtf8(text, i, cp);
        ++index;
    }
    if (begin >= text.size()) return {};
    return std::string(text.substr(begin, end - begin));
}

// A whole number of 0 or more as typed; nothing for anything else.
std::optional<int> Count(std::string_view text) {
    auto v = data::WholeNumber(text);
    if (!v || *v < 0 || *v > 1000000) return std::nullopt;
    return int(*v);
}

std::string ExportField(std::string_view text) {
    if (text.find_first_of(",\"") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace

// ------------------------------------------------------------------------ the layout

std::string EncodeLabelLayout(const LabelLayout& l) {
    std::string rec(kLabelLayoutSize, '\0');
    PutShort(rec, kDescription, l.description);
    PutShort(rec, kLeftMargin, l.leftMargin);
    PutShort(rec, kTopMargin, l.topMargin);
    PutShort(rec, kColumns, l.columns);
    PutShort(rec, kRows, l.rows);
    PutShort(rec, kLabelWidth, l.labelWidth);
    PutShort(rec, kLabelHeight, l.labelHeight);
    PutShort(rec, kFontName, l.font.face);
    PutInt32(rec, kFontSize, uint32_t(int32_t(l.font.size)));
    PutInt32(rec, kFontColour, l.font.color.value());
    rec[kFontStyle] = char(l.font.style & 0x0F);
    rec[kUseShipping] = l.useShipping ? 1 : 0;
    rec[kReturnAddress] = l.returnAddress ? 1 : 0;
    PutShort(rec, kBitmap, l.returnAddress ? std::string_view(l.bitmapFile) : " ");
    rec[kLineBetween] = l.returnAddress && l.lineBetween ? 1 : 0;
    PutShort(rec, kLineWidth, l.lineWidth);
    PutShort(rec, kSendTo, l.sendToCaption);
    return rec;
}

std::optional<LabelLayout> DecodeLabelLayout(std::string_view rec, std::string* error) {
    if (rec.size() != kLabelLayoutSize) {
        if (error)
            *error = "holds " + std::to_string(rec.size()) + " bytes; a label layout holds " +
                     std::to_string(kLabelLayoutSize) + ".";
        return std::nullopt;
    }
    LabelLayout l;
    l.description = GetShort(rec, kDescription);
    l.leftMargin = GetShort(rec, kLeftMargin);
    l.topMargin = GetShort(rec, kTopMargin);
    l.columns = GetShort(rec, kColumns);
    l.rows = GetShort(rec, kRows);
    l.labelWidth = GetShort(rec, kLabelWidth);
    l.labelHeight = GetShort(rec, kLabelHeight);
    l.font.face = GetShort(rec, kFontName);
    l.font.size = int(int32_t(GetInt32(rec, kFontSize)));
    l.font.color = Color::fromValue(GetInt32(rec, kFontColour));
    l.font.style = uint8_t(rec[kFontStyle]) & 0x0F;
    l.useShipping = rec[kUseShipping] != 0;
    l.returnAddress = rec[kReturnAddress] != 0;
    l.bitmapFile = GetShort(rec, kBitmap);
    if (!l.returnAddress || Trimmed(l.bitmapFile).empty()) l.bitmapFile.clear();
    l.lineBetween = l.returnAddress && rec[kLineBetween] != 0;
    l.lineWidth = GetShort(rec, kLineWidth);
    l.sendToCaption = GetShort(rec, kSendTo);
    // A size no font has is the default size.
    if (l.font.size < 1 || l.font.size > 1638) l.font.size = 10;
    return l;
}

bool WriteLabelLayout(const std::filesystem::path& file, const LabelLayout& layout,
                      std::string* error) {
    return data::ReplaceUserFile(file.string(), EncodeLabelLayout(layout), error);
}

std::optional<LabelLayout> ReadLabelLayout(const std::filesystem::path& file, std::string* error) {
    auto bytes = data::ReadWholeFile(file.string());
    if (!bytes) {
        if (error) *error = "The label layout file " + file.string() + " cannot be read.";
        return std::nullopt;
    }
    std::string why;
    auto layout = DecodeLabelLayout(*bytes, &why);
    if (!layout && error)
        *error = "The file " + file.string() + " is not a label layout file: it " + why;
    return layout;
}

std::optional<std::string> ReadLastLabelPath(const std::string& folder) {
    auto bytes = data::ReadSideFile(data::JoinPath(folder, kLastLabelFile));
    if (!bytes || bytes->empty()) return std::nullopt;
    const std::size_t n =
        std::min<std::size_t>(static_cast<unsigned char>((*bytes)[0]), bytes->size() - 1);
    std::string path = data::DecodeText(std::string_view(*bytes).substr(1, n));
    if (Trimmed(path).empty()) return std::nullopt;
    return path;
}

bool WriteLastLabelPath(const std::string& folder, const std::string& path, std::string* error) {
    // The path in the code page when it has every character, else as it is.
    std::string stored = data::AnsiFromUtf8(path);
    if (data::Utf8FromAnsi(stored) != path) stored = path;
    if (stored.size() > kLastLabelSize - 1) {
        if (error) *error = "The path " + path + " is too long to be remembered.";
        return false;
    }
    std::string rec(kLastLabelSize, '\0');
    rec[0] = char(stored.size());
    std::copy(stored.begin(), stored.end(), rec.begin() + 1);
    return data::ReplaceFile(data::JoinPath(folder, kLastLabelFile), rec, error);
}

bool LayoutSettingsDiffer(const LabelLayout& a, const LabelLayout& b) {
    auto same = [](const std::string& x, const std::string& y) { return Trimmed(x) == Trimmed(y); };
    return !same(a.topMargin, b.topMargin) || !same(a.leftMargin, b.leftMargin) ||
           !same(a.columns, b.columns) || !same(a.rows, b.rows) ||
           !same(a.labelWidth, b.labelWidth) || !same(a.labelHeight, b.labelHeight) ||
           !same(a.bitmapFile, b.bitmapFile) || !same(a.lineWidth, b.lineWidth) ||
           a.sendToCaption != b.sendToCaption || a.returnAddress != b.returnAddress;
}

// ------------------------------------------------------------------------ the queue

LabelEntry LabelEntryFor(const data::CustomerRecord& c) {
    return LabelEntry{Trimmed(c.text(Customer::CustNo)), c.text(Customer::Name),
                      c.text(Customer::MailSortCode), c.text(Customer::CustType)};
}

std::string RecordListLine(const LabelEntry& e) {
    return Column(e.custNo, 8) + " " + Column(e.name, 35) + " " + Column(e.sortCode, 15) + " " +
           Column(e.custType, 25);
}

bool WriteRecordList(const std::filesystem::path& file, const std::vector<LabelEntry>& entries,
                     std::string* error) {
    std::vector<std::string> lines;
    lines.reserve(entries.size());
    for (const auto& e : entries)
        lines.push_back(RecordListLine(e));
    return WriteAnsiLines(file, lines, error);
}

std::optional<std::vector<LabelEntry>> ReadRecordList(const std::filesystem::path& file,
                                                      std::string* error) {
    auto lines = ReadTextLines(file, error);
    if (!lines) return std::nullopt;
    std::vector<LabelEntry> entries;
    for (const auto& line : *lines) {
        LabelEntry e{Trimmed(Chars(line, 0, 8)), Trimmed(Chars(line, 9, 35)),
                     Trimmed(Chars(line, 45, 15)), Trimmed(Chars(line, 61, 25))};
        if (!e.custNo.empty()) entries.push_back(std::move(e));
    }
    return entries;
}

std::string AddressExportLine(const data::CustomerRecord& c) {
    constexpr std::size_t kMax = 200;
    const std::array parts{c.text(Customer::Name), c.text(Customer::BillAddr1),
                           c.text(Customer::BillAddr2), c.text(Customer::BillAddr3),
                           c.text(Customer::BillAddr4)};
    std::string line;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::string part = Trimmed(parts[i]);
        if (data::CharCount(part) <= 1) continue;
        const std::string sep = i == 0 ? "" : ",";
        std::string field = ExportField(part);
        const std::size_t room = kMax - std::min(kMax, data::CharCount(line) + sep.size());
        if (data::CharCount(field) > room) {
            // Cut the value, not the quotes around it, so the line still splits the same.
            while (!part.empty() && data::CharCount(ExportField(part)) > room)
                part = data::FirstChars(part, data::CharCount(part) - 1);
            field = part.empty() ? std::string() : ExportField(part);
            if (!field.empty()) line += sep + field;
            break;
        }
        line += sep + field;
    }
    return data::CharCount(line) > 1 ? line : std::string();
}

std::optional<data::CustomerRecord> FindCustomerByNumber(storage::Fileblock* customers,
                                                         std::string_view number) {
    if (!customers || Trimmed(number).empty()) return std::nullopt;
    data::CustomerRecord probe;
    probe.setText(Customer::CustNo, Trimmed(number));
    auto found = data::FindAtOrAfter<Customer>(customers, 2, probe);
    if (!found || found->key != data::CustomerKey(probe, 2)) return std::nullopt;
    return found->record;
}

std::vector<data::CustomerRecord> QueuedCustomers(storage::Fileblock* customers,
                                                  const std::vector<LabelEntry>& entries,
                                                  std::vector<std::string>& missing) {
    std::vector<data::CustomerRecord> out;
    for (const LabelEntry& e : entries) {
        if (auto c = FindCustomerByNumber(customers, e.custNo))
            out.push_back(*c);
        else
            missing.push_back(e.custNo);
    }
    return out;
}

bool RefreshQueueEntries(storage::Fileblock* customers, LabelQueue& queue) {
    bool changed = false;
    if (!customers) return false;
    for (std::size_t i = 0; i < queue.size(); ++i) {
        const auto customer = FindCustomerByNumber(customers, queue.entries()[i].custNo);
        if (!customer) continue;
        LabelEntry now = LabelEntryFor(*customer);
        if (now == queue.entries()[i]) continue;
        queue.replace(i, std::move(now));
        changed = true;
    }
    return changed;
}

int AppendCustomers(storage::Fileblock* customers, LabelQueue& queue,
                    const std::function<bool(const data::CustomerRecord&)>& test,
                    platform::Progress* progress, int* alreadyQueued) {
    int added = 0;
    if (alreadyQueued) *alreadyQueued = 0;
    if (!customers) return 0;
    for (int32_t recNo = storage::NextUsedRecord(customers, 0); storage::EngineOk && recNo > 0;
         recNo = storage::NextUsedRecord(customers, recNo)) {
        if (auto c = data::ReadBusinessRecord<Customer>(customers, recNo)) {
            const std::string number = Trimmed(c->text(Customer::CustNo));
            if (!number.empty() && test(*c)) {
                if (!queue.contains(number)) {
                    queue.add(LabelEntryFor(*c));
                    ++added;
                } else if (alreadyQueued) {
                    ++*alreadyQueued;
                }
            }
        }
        if (progress) progress->step();
    }
    return added;
}

bool HasAgingBalance(const data::CustomerRecord& c, int category) {
    constexpr std::array fields{Customer::Age0to30, Customer::Age31to60, Customer::Age61to90,
                                Customer::AgeOver90};
    if (category < 0 || category > 3) return false;
    return !c.money(fields[std::size_t(category)]).isZero();
}

bool MatchesLabelFilter(const data::CustomerRecord& c, std::string_view filter) {
    const std::string f = data::UpperText(filter);
    if (f.empty()) return true;
    return data::UpperText(c.text(Customer::MailSortCode)).find(f) != std::string::npos ||
           data::UpperText(c.text(Customer::CustType)).find(f) != std::string::npos;
}

std::vector<std::string> AgingButtonCaptions(const data::CompanyRecord& company) {
    const std::array captions{Company::AgingCaption1, Company::AgingCaption2,
                              Company::AgingCaption3};
    const std::array days{Company::AgingDays1, Company::AgingDays2, Company::AgingDays3};
    std::vector<std::string> out;
    for (std::size_t i = 0; i < 3; ++i) {
        std::string caption = Trimmed(company.text(captions[i]));
        out.push_back(caption.empty() ? Trimmed(company.text(days[i])) : caption);
    }
    // The period past the third limit: "Over" and that limit's day count, with the colon
    // the captions end in ("61-90:" gives "Over 90:"), never the third period's caption.
    const std::string third = Trimmed(company.text(captions[2]));
    out.push_back("Over " + Trimmed(company.text(days[2])) +
                  (!third.empty() && third.back() == ':' ? ":" : ""));
    return out;
}

std::optional<std::string> BadAgingDaysMessage(const data::CompanyRecord& company) {
    const std::array days{Company::AgingDays1, Company::AgingDays2, Company::AgingDays3};
    for (std::size_t i = 0; i < days.size(); ++i)
        if (!Count(company.text(days[i])))
            return "Category " + std::to_string(i + 1) +
                   " has a bad value in your aging days (Company Setup). Unable to process.";
    return std::nullopt;
}

// ------------------------------------------------------------------------ printing

int DotScale::operator()(int dots) const {
    const int from = dotsPerInch > 0 ? dotsPerInch : kLabelDotsPerInch;
    const int64_t scaled = int64_t(dots) * to;
    // Rounded to the nearest unit, halves away from zero.
    return int((scaled >= 0 ? scaled + from / 2 : scaled - from / 2) / from);
}

std::string LabelResolutionKey(const std::string& layoutFile) {
    std::string key = std::filesystem::path(layoutFile).filename().string();
    // An INI key ends at "=" and a section starts with "["; neither may stand in one.
    for (char& ch : key)
        if (ch == '=' || ch == '[' || ch == ']' || ch == ';') ch = '-';
    return key;
}

int ReadLabelResolution(const data::IniFile& ini, const std::string& layoutFile) {
    const int dpi =
        ini.readInteger(kLabelResolutionSection, LabelResolutionKey(layoutFile), kLabelDotsPerInch);
    return UsableLabelResolution(dpi) ? dpi : kLabelDotsPerInch;
}

bool WriteLabelResolution(data::IniFile& ini, const std::string& layoutFile, int dotsPerInch,
                          std::string* error) {
    if (!UsableLabelResolution(dotsPerInch)) {
        if (error) *error = "A label layout is measured at 50 to 2400 dots per inch.";
        return false;
    }
    return ini.writeInteger(kLabelResolutionSection, LabelResolutionKey(layoutFile), dotsPerInch,
                            error);
}

std::string LabelMeasureText(int dots, int dotsPerInch, bool metric) {
    const int dpi = UsableLabelResolution(dotsPerInch) ? dotsPerInch : kLabelDotsPerInch;
    char buf[32];
    if (metric) {
        // Tenths of a millimetre, rounded.
        const int64_t tenths = (int64_t(dots) * 254 + dpi / 2) / dpi;
        std::snprintf(buf, sizeof buf, "%lld.%lld mm", static_cast<long long>(tenths / 10),
                      static_cast<long long>(tenths % 10));
    } else {
        // Hundredths of an inch, rounded.
        const int64_t hundredths = (int64_t(dots) * 100 + dpi / 2) / dpi;
        std::snprintf(buf, sizeof buf, "%lld.%02lld in", static_cast<long long>(hundredths / 100),
                      static_cast<long long>(hundredths % 100));
    }
    return buf;
}

std::optional<LabelGeometry> GeometryOf(const LabelLayout& l, std::string* problem) {
    struct Measure {
        const std::string& text;
        const char* name;
        int least;
        int LabelGeometry::*into;
    };
    LabelGeometry g;
    const Measure measures[] = {
        {l.leftMargin, "Left Margin", 0, &LabelGeometry::left},
        {l.topMargin, "Top Margin", 0, &LabelGeometry::top},
        {l.columns, "Columns Across", 1, &LabelGeometry::columns},
        {l.rows, "Rows Down", 1, &LabelGeometry::rows},
        {l.labelWidth, "Label Width", 1, &LabelGeometry::width},
        {l.labelHeight, "Label Height", 1, &LabelGeometry::height},
    };
    for (const Measure& m : measures) {
        auto v = Count(m.text);
        if (!v || *v < m.least) {
            if (problem)
                *problem = std::string("The layout setting \"") + m.name +
                           "\" must be a whole "
                           "number of " +
                           std::to_string(m.least) + " or more. Unable to print.";
            return std::nullopt;
        }
        g.*m.into = *v;
    }
    const std::string lw = Trimmed(l.lineWidth);
    g.lineWidth = lw.empty() || lw[0] == '0' ? 1 : Count(lw).value_or(1);
    if (g.lineWidth < 1) g.lineWidth = 1;
    return g;
}

bool LayoutComplete(const LabelLayout& l) {
    for (const std::string* s : {&l.description, &l.topMargin, &l.leftMargin, &l.columns, &l.rows,
                                 &l.labelWidth, &l.labelHeight})
        if (Trimmed(*s).empty()) return false;
    return true;
}

int StartOrCopiesValue(std::string_view typed) {
    const std::string t = Trimmed(typed);
    if (t.empty() || t[0] == '0') return 1;
    auto v = Count(t);
    return v && *v >= 1 ? *v : 1;
}

LabelSpot NextLabelSpot(const LabelSpot& s, const LabelGeometry& g) {
    LabelSpot n = s;
    n.column += 1;
    if (n.column > g.columns) {
        n.x = g.left;
        n.row += 1;
        n.column = 1;
        n.y += g.height;
    } else {
        n.x += g.width;
    }
    return n;
}

LabelPrintResult PrintLabels(Canvas& canvas, const LabelLayout& layout,
                             const std::vector<data::CustomerRecord>& customers,
                             const data::CompanyRecord& company, const LabelPrintOptions& options) {
    LabelPrintResult result;
    if (!LayoutComplete(layout)) {
        result.error =
            "You have an empty layout definition field. The description and all layout "
            "settings are required. Unable to print. You can use the Label - Open menu to load "
            "an existing layout file.";
        return result;
    }
    auto geometry = GeometryOf(layout, &result.error);
    if (!geometry) return result;
    const LabelGeometry g = *geometry;
    if (options.start < 1 || options.start > g.perSheet()) {
        result.error = "Start at Label must be a label of the first sheet: 1 to " +
                       std::to_string(g.perSheet()) + " with this layout. Unable to print.";
        return result;
    }
    const int copies = std::max(1, options.copies);

    canvas.setDocumentInfo(DocumentInfo{"Mailing Labels", "", "", ""});
    canvas.setOrientation(Orientation::Portrait);
    if (!canvas.beginDocument(options.jobName)) {
        result.error = canvas.lastError();
        return result;
    }
    result.pages = 1;
    canvas.setFont(layout.font);
    canvas.setBrush(Brush{BrushStyle::Clear, kWhite});
    const int h = LineHeight(canvas);
    const int scale = std::max(1, canvas.resolutionX() / std::max(1, options.screenDpi));
    // The layout's measures are dots of the printer it was measured on; the sheet is drawn
    // in the canvas's own units, so that it keeps its size on any printer and in a PDF.
    const DotScale toX{options.dotsPerInch, canvas.resolutionX()};
    const DotScale toY{options.dotsPerInch, canvas.resolutionY()};

    // The return-address picture, looked for beside the data when named without a folder.
    std::string bitmap = Trimmed(layout.bitmapFile);
    if (!bitmap.empty() && std::filesystem::path(bitmap).is_relative() &&
        !options.dataFolder.empty())
        bitmap = data::JoinPath(options.dataFolder, bitmap);
    const std::optional<ImageSize> picture =
        layout.returnAddress && !bitmap.empty() ? canvas.imageSize(bitmap) : std::nullopt;
    const std::array coLines{Company::CoAddr1, Company::CoAddr2, Company::CoAddr3,
                             Company::CoAddr4};
    const std::array bill{Customer::BillAddr1, Customer::BillAddr2, Customer::BillAddr3,
                          Customer::BillAddr4};
    const std::array ship{Customer::ShipAddr1, Customer::ShipAddr2, Customer::ShipAddr3,
                          Customer::ShipAddr4};

    LabelSpot spot{g.left, g.top, 1, 1};
    for (int i = 1; i < options.start; ++i)
        spot = NextLabelSpot(spot, g);

    auto drawLabel = [&](const data::CustomerRecord& c) {
        const int x = toX(spot.x), y = toY(spot.y);
        int v = 0, w = 0;
        if (layout.returnAddress) {
            int o = 0;
            if (picture) {
                const int pw = picture->width * scale / 2, ph = picture->height * scale / 2;
                if (canvas.stretchDraw(x, y, x + pw, y + ph, bitmap)) o = pw + toX(25);
            }
            canvas.textOut(x + o, y, company.text(Company::Name));
            for (int k = 1; k <= 4; ++k)
                canvas.textOut(x + o, y + k * h, company.text(coLines[std::size_t(k - 1)]));
            if (layout.lineBetween) {
                canvas.setPen(
                    Pen{std::max(1, toX(g.lineWidth)), layout.font.color, PenStyle::Solid});
                canvas.moveTo(std::max(0, x - toX(25)), y + 5 * h + toY(20));
                canvas.lineTo(x + toX((g.width / 10) * 8), y + 5 * h + toY(20));
            }
            v = 6 * h;
            w = canvas.textWidth(layout.sendToCaption + "X");
            canvas.textOut(x, y + v, layout.sendToCaption);
        }
        canvas.textOut(x + w, y + v, c.text(Customer::Name));
        const auto& lines = layout.useShipping ? ship : bill;
        for (int k = 1; k <= 4; ++k)
            canvas.textOut(x + w, y + v + k * h, c.text(lines[std::size_t(k - 1)]));
    };

    for (const auto& customer : customers) {
        for (int copy = 0; copy < copies; ++copy) {
            if (spot.row > g.rows) {
                if (!canvas.newPage()) {
                    result.error = canvas.lastError();
                    canvas.endDocument();
                    return result;
                }
                ++result.pages;
                spot = LabelSpot{g.left, g.top, 1, 1};
            }
            drawLabel(customer);
            ++result.printed;
            spot = NextLabelSpot(spot, g);
        }
    }
    if (!canvas.endDocument()) {
        result.error = canvas.lastError();
        return result;
    }
    result.ok = true;
    return result;
}

std::optional<int> PrintCalibrationRuler(Canvas& canvas, int dotsPerInch, std::string* error) {
    const int dpi = UsableLabelResolution(dotsPerInch) ? dotsPerInch : kLabelDotsPerInch;
    canvas.setDocumentInfo(DocumentInfo{"Calibration Ruler", "", "", ""});
    canvas.setOrientation(Orientation::Portrait);
    if (!canvas.beginDocument("Calibration Ruler")) {
        if (error) *error = canvas.lastError();
        return std::nullopt;
    }
    canvas.setFont(Font{"Arial", 8, kBlack, 0});
    canvas.setBrush(Brush{BrushStyle::Clear, kWhite});
    canvas.setPen(Pen{1, kBlack, PenStyle::Solid});
    const DotScale toX{dpi, canvas.resolutionX()};
    const DotScale toY{dpi, canvas.resolutionY()};
    const int width = canvas.pageWidth(), height = canvas.pageHeight();
    const int lh = LineHeight(canvas);
    // A number stands after its mark only where it ends before the next number's mark,
    // so that no two numbers run into each other whatever the font and resolution.
    const int gap = std::max(1, toX(8));
    // Down the left edge: heights are measured from the top of the printable area.
    canvas.moveTo(0, 0);
    canvas.lineTo(0, height - 1);
    for (int dots = 0; toY(dots) < height; dots += 50) {
        const int y = toY(dots);
        const bool numbered = dots % 100 == 0;
        canvas.moveTo(0, y);
        canvas.lineTo(toX(numbered ? 60 : 30), y);
        if (numbered && dots > 0 && y - lh / 2 >= 0 && y + lh <= height)
            canvas.textOut(toX(70), y - lh / 2, std::to_string(dots));
    }
    // Across the page two thirds of the way down: widths are measured from the left edge.
    const int base = height * 2 / 3;
    canvas.moveTo(0, base);
    canvas.lineTo(width - 1, base);
    for (int dots = 0; toX(dots) < width; dots += 50) {
        const int x = toX(dots);
        const bool numbered = dots % 100 == 0;
        canvas.moveTo(x, base);
        canvas.lineTo(x, base - toY(numbered ? 60 : 30));
        if (!numbered || dots == 0) continue;
        const std::string number = std::to_string(dots);
        const int end = x + gap + canvas.textWidth(number);
        if (end < toX(dots + 100) && end <= width) canvas.textOut(x + gap, base + toY(8), number);
    }
    if (!canvas.endDocument()) {
        if (error) *error = canvas.lastError();
        return std::nullopt;
    }
    return dpi;
}

}  // namespace invarro::output
