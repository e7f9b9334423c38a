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
        if (h > 0) bar.label = std::to_string(i + 1);
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

std::vector<ScaleMark> TopTenScaleMarks(const TopTen& top) {
    const int64_t m = top.entries()[0].amount.cents();
    std::vector<ScaleMark> marks;
    if (m <= 0) return marks;
    // Steps in cents, smallest first: 1, 2, 5, then 1, 2, 2.5, 5 times each power of ten.
    int64_t step = 1;
    for (int64_t power = 1;; power *= 10) {
        const int64_t candidates[] = {power, 2 * power, power >= 10 ? power * 5 / 2 : 0, 5 * power};
        bool found = false;
        for (int64_t c : candidates) {
            if (c > 0 && m / c <= 5) {
                step = c;
                found = true;
                break;
            }
        }
        if (found) break;
    }
    const int decimals = step % 100 == 0 ? 0 : step % 10 == 0 ? 1 : 2;
    for (int64_t v = step; v <= m; v += step) {
        std::string text = Money::FromCents(v).shownText();
        text.erase(text.size() - size_t(decimals == 0 ? 3 : 2 - decimals));
        marks.push_back(ScaleMark{Money::FromCents(v), text});
    }
    return marks;
}

std::vector<std::string> TopTenLegend(const TopTen& top) {
    std::vector<std::string> out;
    int number = 0;
    for (const TopSlot& s : top.entries()) {
        ++number;
        if (data::TrimmedText(s.name).empty()) continue;
        std::string amount = s.amount.shownText();
        // ",.00": no 0 before the point of an amount under one.
        if (amount.rfind("0.", 0) == 0) amount.erase(0, 1);
        if (amount.rfind("-0.", 0) == 0) amount.erase(1, 1);
        out.push_back(std::to_string(number) + ". " + s.name + " " + amount);
    }
    return out;
}

std::array<std::string, 3> TopTenTotals(const TopTen& top) {
    return {"Top 10: " + top.topSum().shownText(), "Other: " + top.other().shownText(),
            "Grand Total: " + top.grandTotal().shownText()};
}

}  // namespace invarro::output
