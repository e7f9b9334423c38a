// Wrapping, cutting and the page writer's drawing helpers, on a canvas where every
// character is one unit wide.

#include "output/PageWriter.h"

#include <gtest/gtest.h>

#include "support/RecordingCanvas.h"

namespace invarro::output {
namespace {

using Lines = std::vector<std::string>;

class PageWriterTest : public ::testing::Test {
  protected:
    PageWriterTest() : canvas(400, 600, 100, invarro::testing::TextMetric{1, 1}) {
        canvas.setFont(Font{"Arial", 1});
    }
    Lines wrap(std::string_view text, int width) const { return WrapText(canvas, text, width); }

    invarro::testing::RecordingCanvas canvas;
};

TEST_F(PageWriterTest, WrapsAtBlanksAndFillsEachLine) {
    EXPECT_EQ(wrap("the quick brown fox", 9), (Lines{"the quick", "brown fox"}));
    EXPECT_EQ(wrap("the quick brown fox", 10), (Lines{"the quick", "brown fox"}));
    EXPECT_EQ(wrap("the quick brown fox", 19), (Lines{"the quick brown fox"})) << "exact fit";
    EXPECT_EQ(wrap("the quick brown fox", 18), (Lines{"the quick brown", "fox"}));
    EXPECT_EQ(wrap("ab", 2), (Lines{"ab"}));
}

TEST_F(PageWriterTest, EmptyTextGivesNoLine) {
    EXPECT_TRUE(wrap("", 10).empty());
    EXPECT_TRUE(wrap("   ", 10).empty());
    EXPECT_TRUE(wrap("\n\r\n", 10).empty()) << "trailing breaks";
}

TEST_F(PageWriterTest, AWordLongerThanTheWidthIsBrokenAtTheWidth) {
    EXPECT_EQ(wrap("abcdefghij", 4), (Lines{"abcd", "efgh", "ij"}));
    EXPECT_EQ(wrap("to abcdefghij end", 4), (Lines{"to", "abcd", "efgh", "ij", "end"}));
    // Characters count, not bytes: "é" and "€" are one unit each.
    EXPECT_EQ(wrap("éééé€€", 3), (Lines{"ééé", "é€€"}));
    for (int width = 1; width < 12; ++width)
        for (const std::string& line : wrap("supercalifragilistic is long", width))
            EXPECT_LE(canvas.textWidth(line), width) << line;
    // A width narrower than one character still shows every character.
    EXPECT_EQ(wrap("ab", 0), (Lines{"a", "b"}));
}

TEST_F(PageWriterTest, LineBreaksOfTheTextStartNewLines) {
    EXPECT_EQ(wrap("first\nsecond", 20), (Lines{"first", "second"}));
    EXPECT_EQ(wrap("first\r\nsecond\rthird", 20), (Lines{"first", "second", "third"}));
    EXPECT_EQ(wrap("one\n\nthree", 20), (Lines{"one", "", "three"})) << "a blank line stays";
    EXPECT_EQ(wrap("a long line\nb", 6), (Lines{"a long", "line", "b"}));
    EXPECT_EQ(wrap("\nafter", 20), (Lines{"", "after"}));
}

TEST_F(PageWriterTest, FitCutsAtTheEndByCharacters) {
    EXPECT_EQ(FitText(canvas, "Reference", 20), "Reference");
    EXPECT_EQ(FitText(canvas, "Reference", 9), "Reference");
    EXPECT_EQ(FitText(canvas, "Référence", 3), "Réf");
    EXPECT_EQ(FitText(canvas, "Reference", 0), "");
}

TEST_F(PageWriterTest, DrawsAlignedTextRulesAndBoxes) {
    data::CompanyRecord company = data::NewRecord<data::Company>();
    ASSERT_TRUE(canvas.beginDocument("page"));
    PageWriter page(canvas, company);
    page.rightAligned(100, 10, "1.00");
    page.centred(200, 200, 20, "abcd");
    page.rule(20, 30);
    page.box(2, 3, 398, 597, Color::fromValue(0x0000ff), 3);
    page.salesMessage(50, 5, {"one", "two", "three", "four", "five"});
    page.agingQuarters(10, 70, {"a", "b", "c", "d"});
    ASSERT_TRUE(canvas.endDocument());

    auto texts = canvas.texts();
    ASSERT_EQ(texts.size(), 10u);
    EXPECT_EQ(texts[0].x, 96);
    EXPECT_EQ(texts[1].x, 298);
    EXPECT_EQ(texts[2].x, 199) << "centred on the page's middle";
    EXPECT_EQ(texts[5].y, 65);
    EXPECT_EQ(texts[5].text, "four") << "at most four lines";
    EXPECT_EQ(texts[6].x, 10);
    EXPECT_EQ(texts[9].x, 310);
    EXPECT_EQ(canvas.pen().color, kBlack) << "the box leaves a black pen";
    EXPECT_EQ(canvas.pen().width, 3);
    const auto rect = canvas.ops(invarro::testing::CanvasOp::Kind::Rectangle);
    ASSERT_EQ(rect.size(), 1u);
    EXPECT_EQ(rect[0].pen.color, Color::fromValue(0x0000ff));
    const auto line = canvas.ops(invarro::testing::CanvasOp::Kind::Line);
    ASSERT_EQ(line.size(), 1u);
    EXPECT_EQ(line[0].x, 20);
    EXPECT_EQ(line[0].x2, 380);
}

TEST(AgingFooterText, TheOldestCaptionHoldsItsOwnBlank) {
    const std::array<std::string, 4> captions{"Current:", "31-60:", "61-90:", "Over 90: "};
    EXPECT_EQ(AgingFooterText(captions, 0, "1.00"), "Current: 1.00");
    EXPECT_EQ(AgingFooterText(captions, 3, "2.00"), "Over 90: 2.00");
}

}  // namespace
}  // namespace invarro::output
