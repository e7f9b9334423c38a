// Mailing labels: the label layout files (".LBL") and the last-layout file, the queue's
// record lists (".LST") and address export, the ways the queue is filled from the
// customer file, and the label sheet drawn on a canvas.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/IniFile.h"
#include "data/Records.h"
#include "output/Canvas.h"
#include "output/LabelQueue.h"
#include "platform/Progress.h"
#include "storage/Engine.h"

namespace invarro::output {

// The help page of the label window.
inline constexpr std::string_view kLabelHelpTopic = "Label Wizard";

// ------------------------------------------------------------------------ the layout

// A layout file is one record of exactly this many bytes.
inline constexpr std::size_t kLabelLayoutSize = 444;
// The file in the data folder that names the last layout opened or saved.
inline constexpr std::string_view kLastLabelFile = "Lastlbl.DAT";
inline constexpr std::size_t kLastLabelSize = 256;

// One label layout. The measures are kept as typed (text of digits, in printer dots), as
// the file keeps them; PrintLabels checks them.
struct LabelLayout {
    std::string description;  // up to 50 characters
    std::string leftMargin;   // up to 3 digits
    std::string topMargin;    // up to 3 digits
    std::string columns;      // 1 digit
    std::string rows;         // up to 2 digits
    std::string labelWidth;   // up to 4 digits
    std::string labelHeight;  // up to 4 digits
    Font font{"Arial", 10, kBlack, 0};
    bool useShipping = false;
    bool returnAddress = false;
    std::string bitmapFile;  // up to 255 characters
    bool lineBetween = false;
    std::string lineWidth;      // 1 digit, pen width in printer dots
    std::string sendToCaption;  // up to 10 characters
    bool operator==(const LabelLayout&) const = default;
};

// The 444 bytes of the layout: every field at its place, uncovered bytes zero. Without
// a return address the bitmap name is stored as a single blank and the line flag as 0.
std::string EncodeLabelLayout(const LabelLayout& layout);
// The layout held in bytes, which must be exactly 444 bytes; a length byte larger than
// its field is taken as the field's width, so no field reads into its neighbour.
std::optional<LabelLayout> DecodeLabelLayout(std::string_view bytes, std::string* error = nullptr);
bool WriteLabelLayout(const std::filesystem::path& file, const LabelLayout& layout,
                      std::string* error = nullptr);
// Reads a layout file; a file that is not 444 bytes long is refused with a message that
// names it.
std::optional<LabelLayout> ReadLabelLayout(const std::filesystem::path& file,
                                           std::string* error = nullptr);

// "Lastlbl.DAT": the full path of the last layout as one short string in 256 bytes.
std::optional<std::string> ReadLastLabelPath(const std::string& folder);
bool WriteLastLabelPath(const std::string& folder, const std::string& path,
                        std::string* error = nullptr);

// True when the settings that printing depends on differ: margins, columns, rows, label
// width and height, bitmap, line width, send-to caption and the return-address flag.
bool LayoutSettingsDiffer(const LabelLayout& a, const LabelLayout& b);

// ------------------------------------------------------------------------ the queue

// The queue entry of a customer: its number (trimmed), name, sort code and type.
LabelEntry LabelEntryFor(const data::CustomerRecord& customer);

// ".LST": one line per entry, the number in 8 characters, the name in 35, the sort code in
// 15 and the type in 25, one blank between them (longer values are cut).
std::string RecordListLine(const LabelEntry& entry);
bool WriteRecordList(const std::filesystem::path& file, const std::vector<LabelEntry>& entries,
                     std::string* error = nullptr);
// The entries of a list file, each field trimmed; lines without a customer number are
// passed over. Nothing (and *error) when the file cannot be read.
std::optional<std::vector<LabelEntry>> ReadRecordList(const std::filesystem::path& file,
                                                      std::string* error = nullptr);

// The address export line of a customer: the name and billing lines 1 to 4, each only when
// longer than one character after trimming, joined by ","; a field that holds a comma or
// a double quote is put in double quotes with inner quotes doubled. At most 200
// characters, and empty when it would be one character or less.
std::string AddressExportLine(const data::CustomerRecord& customer);

// The customer whose number is number (compared as the number key holds it), or nothing.
std::optional<data::CustomerRecord> FindCustomerByNumber(storage::Fileblock* customers,
                                                         std::string_view number);

// The customers of the queue entries as they are on file, in queue order; the numbers no
// longer on file go to missing.
std::vector<data::CustomerRecord> QueuedCustomers(storage::Fileblock* customers,
                                                  const std::vector<LabelEntry>& entries,
                                                  std::vector<std::string>& missing);

// The queue's entries as the customer file holds them now (another program may have
// changed a name, sort code or type): each queued customer read again, in queue order. A
// customer no longer on file keeps its entry (printing leaves it out and says so), and so
// does every entry when the file cannot be read. Whether any entry changed.
bool RefreshQueueEntries(storage::Fileblock* customers, LabelQueue& queue);

// Appends every live customer of the data file that passes test and is not queued yet, in
// record-number order, and returns how many were added: loading twice queues no one twice. progress
// (optional) steps once per record.
// alreadyQueued (optional) counts those that passed but were in the queue.
int AppendCustomers(storage::Fileblock* customers, LabelQueue& queue,
                    const std::function<bool(const data::CustomerRecord&)>& test,
                    platform::Progress* progress = nullptr, int* alreadyQueued = nullptr);

// Whether the customer's stored aging amount of category 0..3 (3: beyond category 3) is
// not zero.
bool HasAgingBalance(const data::CustomerRecord& customer, int category);
// Whether the sort code or the customer type contains filter, letter case ignored.
bool MatchesLabelFilter(const data::CustomerRecord& customer, std::string_view filter);

// The captions of the four aging buttons: the company's category labels, or the
// category's day count where the label is empty; the fourth "Over " and category 3's day
// count, ending in ":" when category 3's label does.
std::vector<std::string> AgingButtonCaptions(const data::CompanyRecord& company);
// "Category n has a bad value ..." for the first aging day count that is not a whole
// number of 0 or more; nothing when all three are usable.
std::optional<std::string> BadAgingDaysMessage(const data::CompanyRecord& company);

// ------------------------------------------------------------------------ printing

// The layout's measures as numbers, and what is wrong when one is not usable.
struct LabelGeometry {
    int left = 0;
    int top = 0;
    int columns = 1;
    int rows = 1;
    int width = 0;
    int height = 0;
    int lineWidth = 1;
    int perSheet() const { return columns * rows; }
};
// Nothing and *problem when a measure is not a whole number, or columns, rows, width or
// height are below 1.
std::optional<LabelGeometry> GeometryOf(const LabelLayout& layout, std::string* problem);
// Description and all six measures filled in (after trimming).
bool LayoutComplete(const LabelLayout& layout);

// "Start at Label" and "Copies of each label" as typed: below 1, beginning with "0" or not
// a number gives 1.
int StartOrCopiesValue(std::string_view typed);

// A layout's measures are dots of the printer it was measured on: 300 per inch unless the
// layout's calibration says otherwise. The calibration is kept beside the layout, in the
// INI file's section "LabelResolution" under the layout's file name, so that the ".LBL"
// file stays as it is.
inline constexpr int kLabelDotsPerInch = 300;
inline constexpr std::string_view kLabelResolutionSection = "LabelResolution";
inline bool UsableLabelResolution(int dotsPerInch) {
    return dotsPerInch >= 50 && dotsPerInch <= 2400;
}
// The key of a layout file: its file name, with "=", "[", "]" and ";" as "-".
std::string LabelResolutionKey(const std::string& layoutFile);
// The layout's dots per inch; 300 when none is kept or the value kept is not usable.
int ReadLabelResolution(const data::IniFile& ini, const std::string& layoutFile);
// Keeps the layout's dots per inch; refused (and *error) outside 50 to 2400.
bool WriteLabelResolution(data::IniFile& ini, const std::string& layoutFile, int dotsPerInch,
                          std::string* error = nullptr);
// A measure in dots as a person reads it off a ruler: "0.19 in", or "4.7 mm" when metric.
std::string LabelMeasureText(int dots, int dotsPerInch, bool metric);

// Dots of a layout measured at dotsPerInch, as units of a canvas of `to` units per inch.
struct DotScale {
    int dotsPerInch = kLabelDotsPerInch;
    int to = kLabelDotsPerInch;
    int operator()(int dots) const;
};

// Where one label goes on the sheet (in the layout's dots): its top left corner, its
// column and row.
struct LabelSpot {
    int x = 0;
    int y = 0;
    int column = 1;
    int row = 1;
};
// The label after spot: the next column, or the first column of the next row.
LabelSpot NextLabelSpot(const LabelSpot& spot, const LabelGeometry& g);

struct LabelPrintOptions {
    int start = 1;       // the label of the first sheet to begin at, 1..labels per sheet
    int copies = 1;      // labels per customer
    int screenDpi = 96;  // the printer-to-screen scale of the return-address picture
    int dotsPerInch = kLabelDotsPerInch;     // the resolution the layout was measured at
    std::string jobName = "Mailing Labels";  // print job title, or the PDF file
    std::string dataFolder;                  // where a bitmap named without a folder is looked for
};

struct LabelPrintResult {
    bool ok = false;
    int printed = 0;
    int pages = 0;
    std::string error;
};

// Draws the labels of the customers, each copies times, beginning at the start label,
// with a new page whenever a sheet is full. The layout must be complete and its geometry
// usable, and start must lie on the first sheet; otherwise nothing is drawn and the
// error says why.
LabelPrintResult PrintLabels(Canvas& canvas, const LabelLayout& layout,
                             const std::vector<data::CustomerRecord>& customers,
                             const data::CompanyRecord& company, const LabelPrintOptions& options);

// The calibration ruler: a ruler down the left edge and one across the page, a mark
// every 50 dots and a number every 100, in dots of dotsPerInch (the resolution that
// layouts are measured at), whatever the printer's own. Returns that resolution, or
// nothing (and *error) when the printer could not be used.
std::optional<int> PrintCalibrationRuler(Canvas& canvas, int dotsPerInch = kLabelDotsPerInch,
                                         std::string* error = nullptr);

}  // namespace invarro::output
