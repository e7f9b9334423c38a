#include <gtest/gtest.h>

#include <array>

#include "support/RecordingCanvas.h"

namespace invarro::testing {
namespace {

using output::Brush;
using output::BrushStyle;
using output::Font;
using output::Orientation;
using output::Pen;
using output::PenStyle;
using Kind = CanvasOp::Kind;

TEST(RecordingCanvas, ReturnsWhatWasDrawnInOrder) {
    RecordingCanvas c;
    c.addImage("logo.bmp", 120, 60);
    c.setDocumentInfo({"Title", "Author", "Subject", "Producer"});
    ASSERT_TRUE(c.beginDocument("Invoice - 1001"));
    const Font big{"Times New Roman", 20, {0, 0, 255}, output::kBold};
    c.setFont(big);
    c.textOut(100, 200, "INVOICE");
    c.setPen(Pen{3, {255, 0, 0}, PenStyle::Dotted});
    c.moveTo(10, 20);
    c.lineTo(300, 20);
    c.lineTo(300, 400);
    c.setBrush(Brush{BrushStyle::BackwardDiagonal, output::kBlack});
    c.rectangle(2, 50, 2157, 90);
    ASSERT_TRUE(c.stretchDraw(5, 6, 65, 36, "logo.bmp"));
    ASSERT_TRUE(c.newPage());
    c.textOut(7, 8, "page two");
    ASSERT_TRUE(c.endDocument());

    std::vector<Kind> kinds;
    for (const auto& op : c.ops())
        kinds.push_back(op.kind);
    EXPECT_EQ(kinds,
              (std::vector<Kind>{Kind::Info, Kind::Begin, Kind::Font, Kind::Text, Kind::Pen,
                                 Kind::MoveTo, Kind::Line, Kind::Line, Kind::Brush, Kind::Rectangle,
                                 Kind::Image, Kind::NewPage, Kind::Text, Kind::End}));

    const auto& begin = c.ops()[1];
    EXPECT_EQ(begin.text, "Invoice - 1001");
    EXPECT_EQ(begin.info.author, "Author");

    const CanvasOp* title = c.findText("INVOICE");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->page, 1);
    EXPECT_EQ(title->x, 100);
    EXPECT_EQ(title->y, 200);
    EXPECT_EQ(title->font, big);
    EXPECT_EQ(title->x2, 100 + 7 * 20 * 2);  // the fixed metric gives the text's box
    EXPECT_EQ(title->y2, 200 + 20 * 4);

    auto lines = c.ops(Kind::Line);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ((std::array{lines[0].x, lines[0].y, lines[0].x2, lines[0].y2}),
              (std::array{10, 20, 300, 20}));
    EXPECT_EQ((std::array{lines[1].x, lines[1].y, lines[1].x2, lines[1].y2}),
              (std::array{300, 20, 300, 400}));
    EXPECT_EQ(lines[1].pen.style, PenStyle::Dotted);
    EXPECT_EQ(lines[1].pen.width, 3);

    auto rect = c.ops(Kind::Rectangle).at(0);
    EXPECT_EQ(rect.brush.style, BrushStyle::BackwardDiagonal);
    EXPECT_EQ((std::array{rect.x, rect.y, rect.x2, rect.y2}), (std::array{2, 50, 2157, 90}));

    auto image = c.ops(Kind::Image).at(0);
    EXPECT_EQ(image.text, "logo.bmp");
    EXPECT_EQ(image.x2, 65);

    EXPECT_EQ(c.textStrings(), (std::vector<std::string>{"INVOICE", "page two"}));
    EXPECT_EQ(c.textStrings(2), (std::vector<std::string>{"page two"}));
    EXPECT_EQ(c.findText("page two")->font, big);  // the font stays across pages
    EXPECT_EQ(c.pagesBegun(), 2);
    EXPECT_EQ(c.documentsEnded(), 1);
    EXPECT_EQ(c.pageNumber(), 0);
    EXPECT_TRUE(c.faults().empty());
}

TEST(RecordingCanvas, MeasuresTextWithItsFixedMetric) {
    RecordingCanvas c;
    c.setFont(Font{"Courier New", 10});
    EXPECT_EQ(c.textWidth("abc"), 60);
    EXPECT_EQ(c.textWidth("été"), 60);  // characters, not bytes
    EXPECT_EQ(c.textWidth(""), 0);
    EXPECT_EQ(c.textHeight("MXjpy"), 40);
    EXPECT_EQ(c.textHeight("."), 40);
    EXPECT_EQ(output::LineHeight(c), 40);
    c.setFont(Font{"Arial", 12});
    EXPECT_EQ(output::LineHeight(c), 48);

    RecordingCanvas other(1000, 2000, 300, TextMetric{3, 5});
    other.setFont(Font{"Arial", 10});
    EXPECT_EQ(other.textWidth("ab"), 60);
    EXPECT_EQ(other.textHeight("x"), 50);
    EXPECT_EQ(other.resolutionX(), 300);
}

TEST(RecordingCanvas, LandscapeSwapsThePage) {
    RecordingCanvas c;
    EXPECT_EQ(c.pageWidth(), 2159);
    EXPECT_EQ(c.pageHeight(), 2794);
    c.setOrientation(Orientation::Landscape);
    EXPECT_EQ(c.pageWidth(), 2794);
    EXPECT_EQ(c.pageHeight(), 2159);
    ASSERT_TRUE(c.beginDocument("Sales Report"));
    c.textOut(0, 0, "x");
    EXPECT_EQ(c.texts().at(0).orientation, Orientation::Landscape);
    c.endDocument();
}

TEST(RecordingCanvas, NotesMisuseThatARealDeviceWouldPunish) {
    RecordingCanvas c;
    c.textOut(1, 1, "too early");
    c.moveTo(0, 0);
    c.lineTo(5, 5);
    c.rectangle(0, 0, 1, 1);
    EXPECT_FALSE(c.newPage());
    EXPECT_FALSE(c.endDocument());
    ASSERT_TRUE(c.beginDocument("a"));
    c.beginDocument("b");
    c.setOrientation(Orientation::Landscape);
    EXPECT_EQ(c.faults(), (std::vector<std::string>{
                              "text outside a document", "line outside a document",
                              "rectangle outside a document", "new page outside a document",
                              "document ended without being begun", "document begun twice",
                              "orientation changed inside a document"}));
    c.clear();
    EXPECT_TRUE(c.faults().empty());
    EXPECT_TRUE(c.ops().empty());
}

TEST(RecordingCanvas, KnowsOnlyThePicturesItWasGiven) {
    RecordingCanvas c;
    c.addImage("/logo.jpg", 300, 150);
    ASSERT_TRUE(c.imageSize("/logo.jpg"));
    EXPECT_EQ(c.imageSize("/logo.jpg")->width, 300);
    EXPECT_FALSE(c.imageSize("/missing.bmp"));
    ASSERT_TRUE(c.beginDocument("x"));
    EXPECT_FALSE(c.stretchDraw(0, 0, 10, 10, "/missing.bmp"));
    EXPECT_TRUE(c.ops(Kind::Image).empty());
}

TEST(RecordingCanvas, CanBeMadeToRefuseADocument) {
    RecordingCanvas c;
    c.failBegin("The printer could not be started.");
    EXPECT_FALSE(c.beginDocument("job"));
    EXPECT_EQ(c.lastError(), "The printer could not be started.");
    EXPECT_EQ(c.pageNumber(), 0);
    c.failBegin("");
    EXPECT_TRUE(c.beginDocument("job"));
    EXPECT_EQ(c.pageNumber(), 1);
}

}  // namespace
}  // namespace invarro::testing
