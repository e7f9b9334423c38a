// The find window's search without the window: the record kind of each mode, the fields
// searched and the columns shown, the search text, and the sequential scan of the data
// file that lists every record in which one of the fields contains the text.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/Fileblocks.h"
#include "storage/Engine.h"

namespace invarro::customers {

// The record kind searched, as the managers name it: "Inv", "Cust", "Prod", "Comp".
enum class FindMode { Inv, Cust, Prod, Comp };
std::optional<FindMode> FindModeFromName(std::string_view name);
std::string_view FindModeName(FindMode mode);
data::FileKind FileKindOf(FindMode mode);

inline constexpr int kFindColumns = 7;
inline constexpr std::string_view kFindHelpTopic = "Find";
inline constexpr int kFindTextLength = 10;

struct FindColumn {
    std::string_view title;  // empty for a hidden column
    int width = 0;           // pixels; 0 hides the column
};
const std::array<FindColumn, kFindColumns>& FindColumnsOf(FindMode mode);

// The entry as searched: trimmed, upper case and cut to its first 10 characters.
std::string FindSearchText(std::string_view entry);

// One listed record: its column texts (UTF-8) and its record number.
struct FindRow {
    std::array<std::string, kFindColumns> cells;
    int32_t recNo = 0;
};

// Whether one of the mode's searched fields of the record (bytes of the mode's record
// kind) contains the search text, letter case ignored.
bool RecordMatches(FindMode mode, const uint8_t* record, std::string_view searchText);
FindRow RowOf(FindMode mode, const uint8_t* record, int32_t recNo);

// The status texts of the window.
inline constexpr std::string_view kFindPrompt =
    "Enter the text to search for then select Find button...";
inline constexpr std::string_view kFindSearching = "Searching...";
inline constexpr std::string_view kFindNothing = "No items were found.";
std::string FindResultText(size_t rows);
inline constexpr std::string_view kFindNoMatchTitle = "Text to Find";
inline constexpr std::string_view kFindNoMatchText = "No matching items were found.";

struct FindResult {
    std::vector<FindRow> rows;
    bool complete = false;    // the scan reached the end of the file
    int32_t engineError = 0;  // why it stopped early, when it was not asked to
};

// Scans fb, a fileblock of the mode's kind, from its first live record to its last. After
// each record step(slot, slotCount) reports how far the scan is (the record's slot
// number of the slotCount record slots the file has); it returns false to stop the scan.
FindResult FindRecords(storage::Fileblock* fb, FindMode mode, std::string_view searchText,
                       const std::function<bool(int32_t slot, int32_t slotCount)>& step);

// Sorts rows by the text of one column (stable: equal texts keep their order).
void SortFindRows(std::vector<FindRow>& rows, int column, bool descending = false);

}  // namespace invarro::customers
