// The columns of a manager list. A manager's row is one line of fixed-width fields, each
// followed by one blank; a column names one field: its title, its width in characters,
// whether it holds money (shown right-aligned), and the key that lists the file in that
// field's order (0 when there is none).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace invarro::data {

struct ListColumn {
    std::string_view title;
    int chars = 0;
    bool money = false;
    int keyNo = 0;
};

// The row (UTF-8) cut into its fields, each trimmed; a row shorter than the columns gives
// empty fields for the columns it does not reach.
std::vector<std::string> SplitColumns(std::string_view row, const std::vector<ListColumn>& columns);

// The column whose key is keyNo, or -1.
int ColumnOfKey(const std::vector<ListColumn>& columns, int keyNo);

}  // namespace invarro::data
