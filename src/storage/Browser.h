// The row logic of the index browser: the list through which every manager window scrolls
// its file.
//
// A browser shows one index of a fileblock (or, with key number 0, the live records in
// record-number order) as a page of at most 100 rows. It never loads the whole file: it
// keeps only the rows in view and fetches entries around them as the user moves. Every
// fetched record is read into the window's record buffer; the window may reject it (the
// filter) and turns it into the row's text (the build handler).
//
// Engine calls are retried while the engine reports a busy resource. A step that still
// fails with an error class above 1 throws BrowserError and leaves the page as it was; a
// record that cannot be read leaves its row in place with a negative status and the error
// is thrown once the page is complete. Class 1 (no further entry) just ends a movement.
//
// Steps from one entry to the next position the index afresh from the row's key and
// record number, so other code using the same key of the same fileblock between two moves
// cannot make the browser skip or repeat entries.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "storage/Engine.h"

namespace invarro::storage {

inline constexpr int kBrowserMaxRows = 100;
inline constexpr int kRowTextMax = 128;   // longest row, header or footer text
inline constexpr int kScrollRange = 63;   // the vertical scroll bar runs 0..63
inline constexpr int kRetryTries = 33;    // tries of an engine call that reports busy
inline constexpr int kRetryPauseMs = 30;  // pause between two such tries
inline constexpr int kNotReadyClass = 5;  // result of ReadCurrentRecord without a browser

// Raised when a browser step fails with an error class above 1. The text is
// "Class <class> error.  Isam Error <engine error>".
class BrowserError : public std::runtime_error {
  public:
    BrowserError(int errorClass, int32_t engineError);
    int errorClass() const { return errorClass_; }
    int32_t engineError() const { return engineError_; }

  private:
    int errorClass_;
    int32_t engineError_;
};

std::string BrowserErrorText(int errorClass, int32_t engineError);

// One row of the page, handed to the window's handlers.
struct RowRecord {
    std::string key;       // index key of the entry (empty when browsing by record number)
    int32_t recNo = 0;     // record number of the entry
    int16_t status = 0;    // 0, or minus the error class when the record could not be read
    bool changed = false;  // the text differs from what was last painted
    bool built = false;    // the text was built from the record
    std::string text;      // UTF-8, at most kRowTextMax characters
};

// What a movement did to the page, so that the control repaints only what it must.
enum class BrowseChange {
    None,          // nothing moved
    Highlight,     // only the current row moved
    ScrolledUp,    // the rows moved up by one (a new row at the bottom)
    ScrolledDown,  // the rows moved down by one (a new row at the top)
    Page,          // the page was rebuilt
};

class Browser {
  public:
    // Reads record recNo into buffer. length holds the buffer's capacity on entry and the
    // number of bytes delivered on return. Reports through the engine status.
    using RecordReader =
        std::function<void(Fileblock* fb, int32_t recNo, void* buffer, int32_t& length)>;
    // Builds row.text from the record buffer; returns 0 or an error class.
    using BuildRowHandler = std::function<int(RowRecord& row)>;
    // Sets useIt false to skip the entry; returns 0 or an error class.
    using FilterHandler = std::function<int(RowRecord& row, bool& useIt)>;
    // Progress of filtering: callState -1 on the first filter call of an operation, 0 on
    // the following ones, 1 when the operation is done.
    using FilterWorkingHandler = std::function<void(int callState, bool rejected)>;
    using PageHandler = std::function<int()>;
    using Pause = std::function<void(int milliseconds)>;

    // Text of a row when no build handler is set.
    static constexpr const char* kNoBuildRowText = "You do not have an OnBuildRow event defined";

    // fb stays owned by the caller and must outlive the browser. Records are read into
    // recordBuffer, which holds bufferLength bytes. Bounds longer than 30 characters are
    // cut; empty bounds mean the whole index.
    Browser(Fileblock* fb, int keyNo, void* recordBuffer, int32_t bufferLength,
            std::string_view lowBound = {}, std::string_view highBound = {},
            int rowCapacity = kBrowserMaxRows);

    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    // ------------------------------------------------------------------ set-up
    Fileblock* fileblock() const { return fb_; }
    int KeyNumber() const { return keyNo_; }
    // Switches to another index (0 = record-number order) and shows its first page.
    // A key number the fileblock does not have throws BrowserError (10164).
    void SetKeyNumber(int keyNo);

    int RowCapacity() const { return capacity_; }
    int RowsInView() const { return rowsInView_; }
    // Sets the number of rows in view (cut to 1..capacity). Once the page has been filled,
    // it is filled again with the current entry kept in view.
    void SetRowsInView(int rows);

    bool FilterEnabled() const { return filterEnabled_; }
    // A change refreshes the page when it has been filled.
    void SetFilterEnabled(bool on);

    // Records longer than the slot length, chained over several slots. While the flag is
    // set every record is read with the variable-length reader.
    bool VariableLength() const { return variableLength_; }
    void SetVariableLength(bool on) { variableLength_ = on; }
    // The reader used while the variable-length flag is set; by default the engine's
    // reader of chained sections.
    void SetVariableRecordReader(RecordReader reader);

    // The pause between retries of a busy engine call (tests make it instant).
    void SetRetryPause(Pause pause) { pause_ = std::move(pause); }

    const std::string& LowBound() const { return low_; }
    const std::string& HighBound() const { return high_; }

    // Handlers the window (or the control on its behalf) installs.
    BuildRowHandler OnBuildRow;
    FilterHandler OnPerformFilter;
    FilterWorkingHandler OnShowFilterWorking;
    PageHandler OnPreCompletePage;
    PageHandler OnPostCompletePage;

    // ------------------------------------------------------------------ the page
    int FilledRows() const { return filled_; }
    // 1-based; 1 on an empty page.
    int CurrentRow() const { return current_; }
    // Row 1..FilledRows().
    const RowRecord& Row(int row) const { return rows_[size_t(row - 1)]; }
    // Clears the changed flags once the rows have been painted.
    void MarkPainted();
    bool Filled() const { return filledOnce_; }

    int32_t CurrentRecordNumber() const;
    std::string CurrentKeyString() const;

    // Class of the last step (0 ok, 1 no further entry, above 1 failure) and its engine
    // error number.
    int LastErrorClass() const { return lastClass_; }
    int32_t LastEngineError() const { return lastEngineError_; }

    // ------------------------------------------------------------------ movements
    // Each throws BrowserError for a failure above class 1.
    BrowseChange FirstPage();
    BrowseChange LastPage();
    BrowseChange MoveDown();
    BrowseChange MoveUp();
    BrowseChange PageDown();
    BrowseChange PageUp();
    // Shows the first entry >= (key, recNo) on the current screen row and fills the page
    // around it. The key is cut to 30 characters.
    void JumpToKey(std::string_view key, int32_t recNo = 0);
    // A typed character whose upper-case form is a digit, a letter A..Z or one of
    // Ä Ö Ü ß ä ö ü jumps to the first key >= that character as typed. Returns false (and
    // does nothing) for any other character.
    bool TypeCharacter(char32_t ch);
    // Fills the page again around the current entry.
    void Refresh();
    // Makes screen row `row` current (cut to the filled rows). Returns true if it moved.
    bool SetCurrentRow(int row);

    // Reads the current row's record again into the record buffer and rebuilds its text;
    // unchanged tells whether the text stayed the same. Returns 0, or the error class
    // (1 when there is no current row or its record has been deleted). Never throws.
    int ReadCurrentRecord(bool& unchanged);

    // ------------------------------------------------------------------ scroll bar
    // Position 0..63 of the current entry, smoothed for small files.
    int ScrollPosition();
    // The thumb was released at `position`: 0 shows the first page, 63 the last, anything
    // between the entry whose scroll position comes closest to it.
    BrowseChange ScrollTo(int position);

    // The scroll position the entry (key, recNo) would have.
    int ScrollPositionOf(const std::string& key, int32_t recNo);

  private:
    struct Entry {
        std::string key;
        int32_t recNo = 0;
    };
    enum class Seek { AtOrAfter, AtOrBefore, After, Before };

    template <class Call>
    int retry(Call&& call);
    void readFixed(Fileblock* fb, int32_t recNo, void* buffer, int32_t& length);
    int readRecord(int32_t recNo);
    int noEntry(bool forward);
    int locate(Seek how, const Entry& from, Entry& out);
    int locateKey(Seek how, const Entry& from, Entry& out);
    int locateRecord(Seek how, const Entry& from, Entry& out);
    bool inBounds(const std::string& key) const;
    void deferError(int cls, int32_t engineError);
    int buildRow(RowRecord& row);
    int fetch(Seek how, const Entry& from, RowRecord& out);
    int fetchRun(Seek first, const Entry& from, int count, std::vector<RowRecord>& out);
    void throwIfFailed(int cls);

    template <class Body>
    auto operation(Body&& body);
    void beginOperation();
    void endOperation(bool ok);

    BrowseChange fillAround(const Entry& target, int screenRow);
    void commit(std::vector<RowRecord>&& rows, int current);
    void pageEvent(const PageHandler& handler);
    Entry currentEntry() const;
    Entry lowStart() const;
    Entry highStart() const;
    uint32_t countForScroll();

    Fileblock* fb_;
    int keyNo_;
    void* buffer_;
    int32_t bufferLength_;
    std::string low_, high_;
    int capacity_;
    int rowsInView_;

    std::vector<RowRecord> rows_;
    int filled_ = 0;
    int current_ = 1;
    bool filledOnce_ = false;

    bool filterEnabled_ = false;
    bool variableLength_ = false;
    RecordReader varReader_;
    std::vector<uint8_t> scratch_;
    Pause pause_;
    // Learned on the first step that shows it: a unique index ignores record numbers.
    bool uniqueIndex_ = false;

    int lastClass_ = 0;
    int32_t lastEngineError_ = 0;

    // Per operation: filter calls so far and the first record that could not be read.
    int opDepth_ = 0;
    int filterCalls_ = 0;
    int deferredClass_ = 0;
    int32_t deferredError_ = 0;
};

}  // namespace invarro::storage
