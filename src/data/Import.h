// What the customer and product imports and exports share: the texts of the import
// windows, the grid rows made from a split file, the count of what a run did and the
// message that ends it, and the export file proposals.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "data/Ansi.h"
#include "data/Delimited.h"
#include "data/Posting.h"
#include "data/Update.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"

namespace invarro::data {

inline constexpr std::string_view kSelectFileText =
    "<--- Select a CSV or comma-quote delimited import file...";
inline constexpr std::string_view kWorkingText = "Working...";
inline constexpr std::string_view kNoRecordsText = "No records to import";
inline constexpr std::string_view kImportingText = "Importing, please wait...";
inline constexpr std::string_view kWrongFormatText =
    "Selected file is not in the correct format. See the online help for details.";
inline constexpr std::string_view kImportCompleteText =
    "Import Complete. Now we need to rebuild the data files.";

// One row of an import grid: its values by column and the file line it came from.
template <int N>
struct GridRow {
    int line = 0;
    std::array<std::string, N> cells;
};

// A value as an import file gives it: the apostrophe an export put in front of a value a
// spreadsheet would otherwise take for a formula ("'=...", "'+...", "'-...", "'@...") is
// taken off again (StartsAsFormula).
std::string ImportedValue(std::string_view value);
// Every value of a split import file as ImportedValue gives it.
DelimitedText ImportedText(DelimitedText text);
// An import file read and split (ReadDelimitedFile), its values as ImportedText gives them:
// what the import grid shows and the imports store.
DelimitedText ReadImportFile(const std::string& path, char separator);

// The rows of a split file as grid rows: the first N fields of each row, further fields
// ignored. A row whose fields are all empty is left out, like a blank line.
template <int N>
std::vector<GridRow<N>> GridRows(const DelimitedText& text) {
    std::vector<GridRow<N>> rows;
    for (const DelimitedRow& r : text.rows) {
        GridRow<N> g;
        g.line = r.line;
        bool any = false;
        for (std::size_t i = 0; i < r.fields.size() && i < std::size_t(N); ++i) {
            g.cells[i] = r.fields[i];
            if (!TrimText(g.cells[i]).empty()) any = true;
        }
        if (any) rows.push_back(std::move(g));
    }
    return rows;
}

// A value of an import file as a one-line record text of width characters, as the editors
// would store it: blanks at both ends removed, a line break (CR LF, CR or LF) and any other
// control character a blank, a character that Windows-1252 lacks "?", and the text cut to
// width characters. changed tells whether the stored text differs from the file's.
std::string OneLineValue(std::string_view value, int width, bool* changed = nullptr);

// What a loaded file shows in the import window's label: the file name, " - ", the
// number of rows and " records.", or "No records to import" when there are none.
std::string LoadedFileText(std::string_view fileName, std::size_t rows);

// What an import run did.
struct ImportResult {
    int rows = 0;        // rows gone through
    int added = 0;       // records stored
    int renumbered = 0;  // rows whose number or code was taken on file or earlier in the file
    int renamed = 0;     // rows whose name was taken on file or earlier in the file
    int failed = 0;      // rows that could not be stored
    int lastLine = 0;    // the file line of the last row gone through
    int firstFailedLine = 0;
    std::string firstFailedName;
    std::string firstFailure;  // why the first failed row failed
    bool stopped = false;      // the user stopped the run part way
    // Nothing of the run was kept: it was stopped, or a record could not be written, and
    // everything it had added was taken back.
    bool takenBack = false;
    int changed = 0;  // values stored otherwise than the file gave them
    int firstChangedLine = 0;
    std::string firstChange;  // the first of them: the column, the file's value and the stored

    void fail(int line, const std::string& name, const std::string& why) {
        if (failed++ == 0) {
            firstFailedLine = line;
            firstFailedName = name;
            firstFailure = why;
        }
    }
    void change(int line, std::string what) {
        if (changed++ == 0) {
            firstChangedLine = line;
            firstChange = std::move(what);
        }
    }
};

// Fits the values of one row to their fields (OneLineValue), counting each value that
// changes in the result under the row's line and the column's heading.
class RowValues {
  public:
    RowValues(int line, ImportResult* result) : line_(line), result_(result) {}
    std::string fit(std::string_view value, int width, std::string_view heading);

  private:
    int line_;
    ImportResult* result_;
};

// A run through the rows of an import, shown in the status window: "Rows read: n" and
// "<What> added: n", refreshed every 50 rows and at the end.
class ImportRun {
  public:
    ImportRun(platform::Progress& progress, const std::string& title, std::string_view what,
              ImportResult& result, std::size_t rows);
    // A row begins: it is counted and its file line noted.
    void begin(int line);
    // The add of a row's record: counted when it was stored, else the row failed with the
    // engine's error. True when it was stored.
    bool added(const UpdateResult& add, const std::string& name);
    // A row is done. False when the user stopped the run (marked stopped when rows remain).
    bool done();
    // The final counts; the status window closes.
    void finish();

  private:
    void showCounts();

    platform::Progress& progress_;
    std::string what_;
    ImportResult& result_;
    std::size_t rows_;
};

// Runs an import as one posting: attempt adds the rows into a fresh result and returns
// true to keep them. An attempt that meets another program's lock runs again whole (see
// RunPosting); messages come once the posting has ended. A run that is stopped, cannot
// write a record or cannot be committed keeps nothing: added is 0 and takenBack set. A
// kept run's files are made durable before it reports.
template <class Result>
Result RunImportPosting(
    platform::Prompter& prompter,
    const std::function<bool(Posting&, platform::Prompter&, Result&)>& attempt) {
    Result result;
    bool wanted = false;
    const PostingRun run = RunPosting(prompter, [&](Posting& posting, platform::Prompter& held) {
        result = Result{};
        wanted = attempt(posting, held, result);
        return wanted;
    });
    if (run.committed) {
        FinishBatch();
        return result;
    }
    // A run whose rows were all stored but could not be written as a whole failed too.
    if (result.failed == 0 && !result.stopped)
        result.fail(
            result.lastLine, "",
            "the records could not be written (error " + std::to_string(run.engineError) + ")");
    result.added = 0;
    result.takenBack = true;
    return result;
}

// The message that ends a run (title "Import"): complete is the text when every row was
// stored; otherwise it tells how many records (what: "customers", "products") were
// stored, how many were not and the first line that failed, with why, followed by after.
// Values that were changed to fit their fields are counted, with the first, either way.
platform::Message ImportDoneMessage(const ImportResult& result, std::string_view complete,
                                    std::string_view what, std::string_view after);

// The save dialog's proposal for an export kind: the default extension, the file name
// (base name + ".CSV" for the CSV kind, + ".Txt" otherwise) and the filter, whose first
// entry is selected.
struct ExportFileProposal {
    std::string extension;
    std::string fileName;
    std::string filter;  // "CSV File (*.CSV)|*.CSV|Record List (*.TXT)|*.TXT"
};
ExportFileProposal ExportProposal(DelimitedKind kind, std::string_view baseName);

// "12 records exported."
std::string ExportedText(std::size_t lines);

}  // namespace invarro::data
