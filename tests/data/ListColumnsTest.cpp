// Manager rows cut into their columns.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/Ansi.h"
#include "data/ListColumns.h"

namespace invarro::data {
namespace {

const std::vector<ListColumn> kColumns = {
    {"Name", 10, false, 1}, {"No", 4, false, 2}, {"Balance", 9, true, 0}};

TEST(ListColumns, FieldsAreCutAtTheirWidthsAndTrimmed) {
    const std::string row = PadRight(FirstChars("Köhler & Söhne", 10), 10) + " " +
                            PadRight("17", 4) + " " + PadLeft("-1,234.50", 9) + " ";
    // Characters count, not bytes: the umlauts do not shift the columns.
    EXPECT_EQ(SplitColumns(row, kColumns),
              (std::vector<std::string>{"Köhler & S", "17", "-1,234.50"}));
    const std::string full = PadRight("Baker", 10) + " " + "A100" + " " + PadLeft("0.00", 9);
    EXPECT_EQ(SplitColumns(full, kColumns), (std::vector<std::string>{"Baker", "A100", "0.00"}));
}

TEST(ListColumns, ShortAndEmptyRowsGiveEmptyFields) {
    EXPECT_EQ(SplitColumns("", kColumns), (std::vector<std::string>{"", "", ""}));
    EXPECT_EQ(SplitColumns("Adams", kColumns), (std::vector<std::string>{"Adams", "", ""}));
    EXPECT_EQ(SplitColumns(PadRight("Adams", 10) + " 7", kColumns),
              (std::vector<std::string>{"Adams", "7", ""}));
    EXPECT_TRUE(SplitColumns("anything", {}).empty());
}

TEST(ListColumns, TheColumnOfAKey) {
    EXPECT_EQ(ColumnOfKey(kColumns, 1), 0);
    EXPECT_EQ(ColumnOfKey(kColumns, 2), 1);
    EXPECT_EQ(ColumnOfKey(kColumns, 3), -1);
    EXPECT_EQ(ColumnOfKey(kColumns, 0), -1);  // a column without a key is never "key 0"
}

}  // namespace
}  // namespace invarro::data
