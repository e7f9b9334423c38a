#include "output/TopTen.h"

#include <cstdlib>
#include <utility>

#include "data/Ansi.h"

namespace invarro::output {

using data::Money;

void TopTen::feed(const std::string& name, Money amount) {
    ++fed_;
    grand_ += amount;
    // The lowest slot is the last; only an amount above it gets in.
    TopSlot& last = slots_[kTopSlots - 1];
    if (!(last.amount < amount)) {
        other_ += amount;
        return;
    }
    other_ += last.amount;
    last = TopSlot{data::FirstChars(name, kTopNameLength), amount};
    for (int i = 0; i < kTopSlots - 1; ++i)
        for (int j = i + 1; j < kTopSlots; ++j)
            if (slots_[size_t(i)].amount < slots_[size_t(j)].amount)
                std::swap(slots_[size_t(i)], slots_[size_t(j)]);
}

Money TopTen::topSum() const {
    Money sum;
    for (const TopSlot& s : slots_)
        sum += s.amount;
    return sum;
}

namespace {

// Whole units of cents * num / den, rounded half away from zero, shown ",0".
std::string WholeText(int64_t cents, int64_t num, int64_t den) {
    const int64_t scaled = cents * num;
    const int64_t d = den * 100;
    int64_t units = (std::llabs(scaled) + d / 2) / d;
    if (scaled < 0) units = -units;
    std::string shown = Money::FromCents(units * 100).shownText();
    return shown.substr(0, shown.size() - 3);
}

}  // namespace

std::vector<ChartBar> TopTenBars(const TopTen& top, int width, int height) {
    std::vector<ChartBar> bars;
    const int64_t m = top.entries()[0].amount.cents();
    const int barWidth = (width - 25) / 10;
    int x = 5;
    for (int i = 0; i < kTopSlots; ++i) {
        const TopSlot& s = top.entries()[size_t(i)];
        const int64_t a = s.amount.cents();
        // Per mille of the largest, rounded; 1 for amounts that are not positive.
        int64_t p = 1;
        if (a > 0 && m > 0) p = (a * 1000 * 2 + m) / (2 * m);
        int h = int(int64_t(height) * p / 1000);
        if (a != 0 && h < 5) h = 5;
        int y = height - h;
        if (y < 5) {
            y = 5;
            h = height - 5;
        }
        ChartBar bar;
        bar.x = x;
        bar.y = y;
        bar.width = barWidth;
        bar.height = h;
        bar.slot = i;
        bar.hint = s.name + " " + s.amount.shownText();
        bars.push_back(bar);
        x += barWidth + 2;
    }
    return bars;
}

Color TopTenBarColor(int slot, bool colour) {
    if (!colour) return kBlack;
    constexpr Color navy{0, 0, 128}, red{255, 0, 0}, green{0, 128, 0}, maroon{128, 0, 0},
        purple{128, 0, 128};
    const Color byslot[kTopSlots] = {navy, red, green, maroon, purple,
                                     navy, red, green, kBlack, maroon};
    return byslot[slot < 0 || slot >= kTopSlots ? 0 : slot];
}

std::array<std::string, 3> TopTenScale(const TopTen& top) {
    const int64_t m = top.entries()[0].amount.cents();
    return {WholeText(m, 1, 1), WholeText(m, 2, 3), WholeText(m, 1, 3)};
}

std::vector<std::string> TopTenLegend(const TopTen& top) {
    std::vector<std::string> out;
    for (const TopSlot& s : top.entries()) {
        if (data::TrimmedText(s.name).empty()) continue;
        std::string amount = s.amount.shownText();
        // ",.00": no 0 before the point of an amount under one.
        if (amount.rfind("0.", 0) == 0) amount.erase(0, 1);
        if (amount.rfind("-0.", 0) == 0) amount.erase(1, 1);
        out.push_back(s.name + " " + amount);
    }
    return out;
}

std::array<std::string, 3> TopTenTotals(const TopTen& top) {
    return {"Top 10: " + top.topSum().shownText(), "Other: " + top.other().shownText(),
            "Grand Total: " + top.grandTotal().shownText()};
}

}  // namespace invarro::output
