// The top-ten accumulator behind the report window's bar chart: each total of a report
// run goes in with its name; the ten largest stay in ten slots, everything else is
// summed as "Other", and the grand total is the sum of all.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "data/Money.h"
#include "output/Font.h"

namespace invarro::output {

inline constexpr int kTopSlots = 10;
inline constexpr std::size_t kTopNameLength = 20;

struct TopSlot {
    std::string name;  // at most 20 characters
    data::Money amount;
};

class TopTen {
  public:
    void reset() { *this = TopTen(); }
    // Adds one amount. It takes the lowest slot holding less than it (the slot's amount
    // moves to "Other"); an amount not greater than every held one goes to "Other", so a
    // tie never displaces an earlier entry and zero or negative amounts never enter.
    void feed(const std::string& name, data::Money amount);

    // The slots in descending order of amount; unused slots are empty with 0.00.
    const std::array<TopSlot, kTopSlots>& entries() const { return slots_; }
    data::Money topSum() const;
    data::Money other() const { return other_; }
    data::Money grandTotal() const { return grand_; }
    int fed() const { return fed_; }

  private:
    std::array<TopSlot, kTopSlots> slots_{};
    data::Money other_;
    data::Money grand_;
    int fed_ = 0;
};

// ------------------------------------------------------------------------- the chart

inline constexpr const char* kNoTopTenData =
    "There is no Top 10 data (numbers greater than zero) to chart.";

struct ChartBar {
    int x = 0, y = 0, width = 0, height = 0;  // in the chart area, y from its top
    int slot = 0;                             // 0..9
    std::string hint;                         // name and amount (",0.00")
    std::string label;  // the slot's number, as its legend line starts; empty for no bar
};

// The bars of the chart in an area of the given size: heights in per-mille of the
// largest amount (at least 5 pixels for a non-zero amount, never above the area's top
// less 5), widths (W - 25) / 10, the first 5 pixels from the left, 2 pixels apart.
std::vector<ChartBar> TopTenBars(const TopTen& top, int width, int height);

// The bar colours by slot: black, or with colour navy, red, green, maroon, purple, navy,
// red, green, black, maroon.
Color TopTenBarColor(int slot, bool colour);

// A guide line of the scale: its amount, and its label (",0", with the decimals a step
// below one needs).
struct ScaleMark {
    data::Money amount;
    std::string text;
};
// The guide lines: a round step (1, 2, 2.5 or 5 times a power of ten) so that at most five
// of them reach the largest amount, from one step up to it. None when nothing is charted.
std::vector<ScaleMark> TopTenScaleMarks(const TopTen& top);
// The legend texts: the slot's number (its bar's label), ". ", name and amount (",.00")
// of each slot with a name.
std::vector<std::string> TopTenLegend(const TopTen& top);
// "Top 10: ...", "Other: ...", "Grand Total: ..." (",0.00").
std::array<std::string, 3> TopTenTotals(const TopTen& top);

}  // namespace invarro::output
