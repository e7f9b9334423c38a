// The business reports: each report walks one index of the company's invoice or line file
// in order over the chosen dates and builds a table of text rows; the report view sorts
// the table on a key column, inserts sub-totals, month totals and the grand total, and
// feeds the top-ten chart; the table goes to the printer or a PDF file through the page
// canvas, or to a text file. No window and no Qt: the windows and the command line call
// the same code.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data/Dates.h"
#include "data/Money.h"
#include "data/Records.h"
#include "output/Canvas.h"
#include "output/TopTen.h"
#include "platform/Clock.h"
#include "platform/Progress.h"
#include "storage/Engine.h"

namespace invarro::output {

enum class ReportId {
    InvoiceRegister,
    PaymentRegister,
    AccountsReceivable,
    SalesReport,
    KeyCodeInquiry,
    TaxReport,
    RepeatBillingList,
    QuoteReport,
};

// One report of the wizard's list, in the list's order.
struct ReportInfo {
    ReportId id;
    std::string_view name;         // the list entry and the messages' caption
    std::string_view title;        // the report window's title
    std::string_view commandName;  // the command line's name ("invoice-register")
    std::string_view description;  // shown under the list
    bool dated;                    // from/to dates apply
};
std::span<const ReportInfo> Reports();
const ReportInfo& ReportOf(ReportId id);
// A report by list name, title or command name, in any letter case.
const ReportInfo* FindReport(std::string_view name);

enum class CellKind { Text, Amount, Quantity };
struct ReportColumn {
    std::string heading;
    int width = 12;  // characters of a text column
    CellKind kind = CellKind::Text;
    // Where a listed record keeps the column's value: its text cell, or for an amount
    // column its amount. Set by the report's layout; a column moved by sorting keeps it.
    int field = 0;
    bool isAmount() const { return kind != CellKind::Text; }
};

// One listed record, kept compact: the values of its amount columns (in the
// ten-thousandths of data::Decimal), and its trimmed text cells as one run of UTF-8 in the
// table's text store, text cell k ending at ends[k]. The shown text of an amount is made
// from its value when a row is shown or written.
inline constexpr int kMaxAmountColumns = 3;
inline constexpr int kMaxTextCells = 8;
struct ReportLine {
    std::array<int64_t, kMaxAmountColumns> amounts{};
    const char* text = nullptr;  // the row's text in ReportTable::text
    std::array<uint16_t, kMaxTextCells> ends{};
};

// Text written once and read in place: it is kept in blocks that are added as it grows
// and never moved, so that rows point into it however many there are, and a table that
// moves keeps them valid.
class ReportText {
  public:
    // Room for n more bytes in one place; what is written there is kept by keep().
    char* room(size_t n);
    void keep(size_t n) { used_ += n; }
    // Gives back everything written from `from` on, which lies in the last block.
    void takeBack(const char* from);

  private:
    std::vector<std::unique_ptr<char[]>> blocks_;
    size_t size_ = 0;  // of the last block
    size_t used_ = 0;  // of the last block
};

// A report as built: the data rows under the column headings, and the two column
// numbers that shape sorting and totals.
struct ReportTable {
    ReportId id = ReportId::InvoiceRegister;
    std::string head1;  // company name
    std::string head2;  // "Date: " and the moment of the run
    std::string head3;  // the selection
    bool filtered = false;
    std::vector<ReportColumn> columns;
    std::deque<ReportLine> rows;  // grows without moving the rows already read
    ReportText text;              // the text cells of every row
    int lastKeyColumn = 0;        // columns 0..this may be sorted on
    int lastAmountColumn = 0;     // the columns after the key column up to this are amounts
    int64_t recordsRead = 0;      // records visited, for the benchmark

    // Text cell k of a row (k counts the text columns in the order they were laid out).
    std::string_view textCell(const ReportLine& line, int k) const;
    // The cell of a row under a column, as shown: the text, or the amount with thousands
    // separators and two decimals (three for a quantity).
    std::string cell(const ReportLine& line, const ReportColumn& column) const;
};

// What a report reads: the company's open invoice and line files (only the Sales Report
// needs the line file), the company record and the moment of the run.
struct ReportSource {
    storage::Fileblock* invoices = nullptr;
    storage::Fileblock* lines = nullptr;
    const data::CompanyRecord* company = nullptr;
    data::DateOrder order = data::DateOrder::MonthFirst;
    platform::LocalDateTime now;
};

// The selection: sort dates "yyyy/mm/dd" (ignored by undated reports), the user dates as
// shown in the heading, and the filter (upper-cased and cut to 20 characters here).
struct ReportSelection {
    std::string fromSort, toSort;
    std::string fromShown, toShown;
    std::string filter;
};

struct BuiltReport {
    bool ok = false;
    std::string error;  // a file could not be read; or the aging days are unusable
    ReportTable table;
};
BuiltReport BuildReport(ReportId id, const ReportSource& source, const ReportSelection& selection);

// The filter as the reports use it: upper case, at most 20 characters.
std::string ReportFilterText(std::string_view filter);

// ---------------------------------------------------------------------------------- view

enum class RowKind { Heading, Data, Totals, Month, Blank, GrandTotal };
struct ReportViewData;
// A shown row: a data row refers to its line of the table, the other rows to cells the
// view made for them. The cells' text is made when asked for.
struct ReportRow {
    RowKind kind = RowKind::Data;
    uint32_t index = 0;  // the table row, or the view's own cells
    const ReportViewData* view = nullptr;
    std::string cell(size_t column) const;  // empty past the last column
    std::vector<std::string> cells() const;
};

// The report window's table: sorted on one key column (moved to the front), with or
// without sub-totals. Every computation rebuilds the shown rows from the data rows and
// feeds the chart afresh from the "** Totals" rows.
class ReportView {
  public:
    explicit ReportView(ReportTable table);
    ~ReportView();
    // The shown rows point into the view's data, which stays in place when the view
    // moves; a view is never copied.
    ReportView(const ReportView&) = delete;
    ReportView& operator=(const ReportView&) = delete;
    ReportView(ReportView&&) noexcept;
    ReportView& operator=(ReportView&&) noexcept;

    // Moves the column to the front and sorts on it; false (nothing changes) for a
    // column after the last key column or outside the table.
    bool sortOn(int column);
    void setSubTotals(bool on);
    bool subTotals() const;

    const ReportTable& table() const;
    const std::vector<ReportRow>& rows() const;  // heading first
    const std::vector<ReportColumn>& columns() const { return table().columns; }
    // The text of one cell of a shown row.
    std::string cell(size_t row, size_t column) const { return rows()[row].cell(column); }
    // The report name, " by " and the first column's heading ("by Date" for dates).
    std::string caption() const;
    std::string_view name() const;  // the report's list name
    int dataRowCount() const { return int(table().rows.size()); }
    const TopTen& chart() const;
    int firstAmountColumn() const { return table().lastKeyColumn + 1; }

  private:
    void compute();
    std::unique_ptr<ReportViewData> d_;
};

// The "Sort on Column:" choice: "2", "3" or "4" give columns 1..3; anything else the
// fourth column (3).
int SortColumnFromChoice(std::string_view choice);

// ------------------------------------------------------------------------------ output

// How an output of a report ended. A stopped text file leaves a file of that name from
// before as it was; a stopped PDF leaves no file.
enum class OutputStatus { Done, Failed, Stopped };

// The text file: the title, the three heading lines and a blank line, then one line per
// row; each cell after a blank, amounts padded on the left to 12, the product
// description on the right to 32, other cells on the right to 12.
std::vector<std::string> ReportTextLines(const ReportView& view);
// Streams those lines to the file through a temporary file beside it, which replaces the
// file only when all went well. The progress shows the lines written and may stop the
// save. Failed: *error says why.
OutputStatus SaveReportText(const std::string& path, const ReportView& view, std::string* error,
                            platform::Progress* progress = nullptr);

// The width a column of the printed report needs: the widest of its shown cells on the
// canvas in its current font. Each distinct text is measured once, widest first by an
// upper bound made from its characters' widths, and the search ends when no text left can
// be wider than the widest found. Nothing when the progress asked to stop.
std::optional<int> WidestCell(Canvas& canvas, const ReportView& view, size_t column,
                              platform::Progress* progress = nullptr);

// Draws the report on the canvas (landscape for the Sales Report). For a PDF the page
// header says " Page: n" and the end "record(s)". The progress shows the pages and may
// stop the drawing: a stopped document is left open for the caller to drop (a canvas
// abandons an open document when it goes). Failed when the canvas failed.
OutputStatus PrintReport(Canvas& canvas, const ReportView& view, const Font& font, bool pdf,
                         const std::string& target, platform::Progress* progress = nullptr);

// "Report-" + the window title (made safe for a file name) + ".pdf".
std::string ReportPdfName(const std::string& title);

struct ReportPdfOutcome {
    bool ok = false;
    bool stopped = false;
    std::string path;
    std::string error;
};
// Writes the PDF into the data folder's pdf folder (or as the file path given) with the
// company as author and the file name as subject. The PDF is drawn beside the file asked
// for ("PATH.new") and renamed over it once whole, so a failed or stopped PDF leaves an
// older file of that name as it was. The canvas must not open the file itself (a PDF
// canvas without a viewer): the caller opens out.path.
ReportPdfOutcome WriteReportPdf(Canvas& canvas, const ReportView& view, const Font& font,
                                const std::string& dataFolder, const std::string& path = {},
                                platform::Progress* progress = nullptr);

// What the window and the command line say of a stopped output.
inline constexpr std::string_view kReportStopped = "The report was stopped; no file was written.";

// The grid's starting font: Arial 10, regular.
Font ReportDefaultFont();

}  // namespace invarro::output
