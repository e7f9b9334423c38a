#include "data/ListColumns.h"

#include <algorithm>

#include "data/Ansi.h"

namespace invarro::data {

std::vector<std::string> SplitColumns(std::string_view row,
                                      const std::vector<ListColumn>& columns) {
    std::vector<std::string> cells;
    cells.reserve(columns.size());
    size_t at = 0;  // byte offset of the next field
    for (const ListColumn& c : columns) {
        const std::string_view rest = at < row.size() ? row.substr(at) : std::string_view();
        const std::string field = FirstChars(rest, size_t(std::max(0, c.chars)));
        cells.emplace_back(TrimText(field));
        at += field.size();
        // The blank after the field.
        size_t i = at;
        char32_t cp = 0;
        if (i < row.size() && NextUtf8(row, i, cp))
            at = i;
        else
            at = row.size();
    }
    return cells;
}

int ColumnOfKey(const std::vector<ListColumn>& columns, int keyNo) {
    if (keyNo <= 0) return -1;
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].keyNo == keyNo) return int(i);
    return -1;
}

}  // namespace invarro::data
