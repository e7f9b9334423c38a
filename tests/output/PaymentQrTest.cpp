#include "output/PaymentQr.h"

#include <gtest/gtest.h>

#include <set>

#include "support/RecordingCanvas.h"
#include "support/TextLines.h"

namespace invarro::output {
namespace {

using data::Money;
using testing::CanvasOp;
using testing::RecordingCanvas;

EpcTransfer Transfer() {
    EpcTransfer t;
    t.bic = "BFSWDE33BER";
    t.name = "Bäckerei Müller GmbH";
    t.iban = "DE89 3704 0044 0532 0130 00";
    t.amount = Money::FromCents(123456);
    t.reference = "RF18 5390 0754 7034";
    return t;
}

std::vector<std::string> Lines(const std::string& payload) {
    return testing::TextLines(payload);
}

TEST(EpcPayload, WritesTheFieldsInTheirOrderCompactAndInUtf8) {
    auto p = EpcPayload(Transfer());
    ASSERT_TRUE(p);
    EXPECT_EQ(Lines(*p), (std::vector<std::string>{"BCD", "002", "1", "SCT", "BFSWDE33BER",
                                                   "Bäckerei Müller GmbH", "DE89370400440532013000",
                                                   "EUR1234.56", "", "RF18539007547034"}));
}

TEST(EpcPayload, AmountsAreExactAtTheEdges) {
    EpcTransfer t = Transfer();
    for (auto [cents, text] : std::vector<std::pair<int64_t, std::string>>{
             {1, "EUR0.01"}, {10, "EUR0.10"}, {100, "EUR1.00"}, {99999999999, "EUR999999999.99"}}) {
        t.amount = Money::FromCents(cents);
        auto p = EpcPayload(t);
        ASSERT_TRUE(p) << cents;
        EXPECT_EQ(Lines(*p)[7], text);
    }
    std::string why;
    for (int64_t cents : {int64_t(0), int64_t(-5), int64_t(100000000000)}) {
        t.amount = Money::FromCents(cents);
        EXPECT_FALSE(EpcPayload(t, &why)) << cents;
        EXPECT_NE(why.find("amount"), std::string::npos);
    }
}

TEST(EpcPayload, TextOnlyWithoutAReferenceAndBicOptional) {
    EpcTransfer t = Transfer();
    t.bic.clear();
    t.reference.clear();
    t.text = "Invoice 123";
    auto p = EpcPayload(t);
    ASSERT_TRUE(p);
    auto lines = Lines(*p);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[9], "");
    EXPECT_EQ(lines[10], "Invoice 123");
    t.reference = "RF18539007547034";
    EXPECT_EQ(Lines(*EpcPayload(t)).size(), 10u);  // the text gives way to the reference
}

TEST(EpcPayload, RefusesWhatABankingAppWouldMisread) {
    const std::vector<std::pair<std::function<void(EpcTransfer&)>, std::string>> cases = {
        {[](EpcTransfer& t) { t.iban.clear(); }, "IBAN"},
        {[](EpcTransfer& t) { t.iban = "DE89-3704"; }, "IBAN"},
        {[](EpcTransfer& t) { t.bic = "BFSWDE3"; }, "BIC"},
        {[](EpcTransfer& t) { t.name = "  "; }, "name"},
        {[](EpcTransfer& t) { t.name = std::string(71, 'a'); }, "name"},
        {[](EpcTransfer& t) { t.name = "Line\nbreak"; }, "name"},
        {[](EpcTransfer& t) { t.reference = "INV 123"; }, "reference"},
        {[](EpcTransfer& t) { t.reference.clear(), t.text = std::string(141, 'x'); }, "text"},
    };
    for (const auto& [change, word] : cases) {
        EpcTransfer t = Transfer();
        change(t);
        std::string why;
        EXPECT_FALSE(EpcPayload(t, &why)) << word;
        EXPECT_NE(why.find(word), std::string::npos) << why;
    }
    // 70 characters of two bytes each are still 70 characters.
    EpcTransfer t = Transfer();
    std::string name;
    for (int i = 0; i < 70; ++i)
        name += "ü";
    t.name = name;
    EXPECT_TRUE(EpcPayload(t));
}

TEST(EpcPayload, NeverMoreThan331Bytes) {
    EpcTransfer t = Transfer();
    t.reference.clear();
    t.name = std::string(70, 'N');
    t.text = std::string(140, 'T');
    auto p = EpcPayload(t);
    ASSERT_TRUE(p);
    EXPECT_LE(p->size(), kEpcMaxPayload);
    std::string twoByte;
    for (int i = 0; i < 70; ++i)
        twoByte += "\xC3\xA4";  // ä
    t.name = twoByte;
    std::string text;
    for (int i = 0; i < 140; ++i)
        text += "\xC3\xA4";
    t.text = text;
    std::string why;
    EXPECT_FALSE(EpcPayload(t, &why));
    EXPECT_NE(why.find("331"), std::string::npos);
}

TEST(QrEncode, LargerPayloadsNeedLargerCodesAndTooMuchGivesNone) {
    auto small = EncodeQr("BCD", QrLevel::M);
    auto large = EncodeQr(std::string(331, 'x'), QrLevel::M);
    ASSERT_TRUE(small && large);
    EXPECT_EQ(small->width, 21);
    EXPECT_GT(large->width, small->width);
    EXPECT_EQ(large->dark.size(), std::size_t(large->width * large->width));
    // The finder pattern's corner is dark.
    EXPECT_TRUE(small->at(0, 0));
    EXPECT_FALSE(EncodeQr(std::string(5000, 'x'), QrLevel::H));
}

// The dark rectangles of a drawing, as the device units they cover (right and bottom
// one unit beyond the corners, where the pen's outline reaches).
std::set<std::pair<int, int>> DarkCells(const RecordingCanvas& canvas) {
    std::set<std::pair<int, int>> cells;
    for (const CanvasOp& op : canvas.ops(CanvasOp::Kind::Rectangle)) {
        if (op.brush.color != kBlack) continue;
        EXPECT_EQ(op.pen.color, kBlack);
        for (int y = op.y; y <= op.y2; ++y)
            for (int x = op.x; x <= op.x2; ++x)
                EXPECT_TRUE(cells.insert({x, y}).second) << "overlap at " << x << "," << y;
    }
    return cells;
}

TEST(QrDrawing, RunsCoverExactlyTheDarkModulesWithoutGapsOrOverlap) {
    auto m = EncodeQr(*EpcPayload(Transfer()), QrLevel::M);
    ASSERT_TRUE(m);
    RecordingCanvas canvas;  // 254 units per inch
    ASSERT_TRUE(canvas.beginDocument("qr"));
    const int modules = m->width + 2 * kQrQuietZone;
    const int side = DrawQrMatrix(canvas, 100, 200, 5 * modules + 3, *m);
    EXPECT_EQ(side, 5 * modules);  // whole modules of 5 units within the side asked for
    const auto cells = DarkCells(canvas);
    int dark = 0, runs = 0;
    for (int row = 0; row < m->width; ++row)
        for (int col = 0; col < m->width; ++col) {
            const int x = 100 + (kQrQuietZone + col) * 5, y = 200 + (kQrQuietZone + row) * 5;
            for (int dy = 0; dy < 5; ++dy)
                for (int dx = 0; dx < 5; ++dx)
                    ASSERT_EQ(cells.count({x + dx, y + dy}) == 1, m->at(col, row))
                        << col << "," << row;
            dark += m->at(col, row);
            runs += m->at(col, row) && (col == 0 || !m->at(col - 1, row));
        }
    EXPECT_EQ(cells.size(), std::size_t(dark * 25));
    // One rectangle per run of dark modules in a row, after the quiet zone's.
    EXPECT_EQ(canvas.ops(CanvasOp::Kind::Rectangle).size(), std::size_t(runs) + 1);
    EXPECT_LT(runs, dark);
    // The quiet zone comes first, in white, under the whole square.
    const CanvasOp& first = canvas.ops(CanvasOp::Kind::Rectangle).front();
    EXPECT_EQ(first.brush.color, kWhite);
    EXPECT_EQ(first.x, 100);
    EXPECT_EQ(first.x2, 100 + side - 1);
}

TEST(QrDrawing, NeverSmallerThanTwoCentimetresAndRestoresPenAndBrush) {
    auto m = EncodeQr(*EpcPayload(Transfer()), QrLevel::M);
    for (int resolution : {254, 300, 600}) {
        RecordingCanvas canvas(2159, 2794, resolution);
        ASSERT_TRUE(canvas.beginDocument("qr"));
        const Pen pen{3, Color{1, 2, 3}, PenStyle::Dotted};
        canvas.setPen(pen);
        canvas.setBrush(Brush{BrushStyle::BackwardDiagonal, Color{9, 9, 9}});
        const int side = DrawQrMatrix(canvas, 0, 0, 10, *m);
        EXPECT_GE(side, MinimumQrSide(canvas));
        EXPECT_GE(side * 254, 200 * resolution);  // 2 cm
        EXPECT_EQ(side % (m->width + 2 * kQrQuietZone), 0);
        EXPECT_EQ(canvas.pen(), pen);
        EXPECT_EQ(canvas.brush().style, BrushStyle::BackwardDiagonal);
    }
}

TEST(QrDrawing, PaymentCodeHasItsCaptionBelowAndNothingWhenThePayloadFails) {
    RecordingCanvas canvas;
    ASSERT_TRUE(canvas.beginDocument("qr"));
    auto height = DrawPaymentQr(canvas, 50, 60, 300, Transfer());
    ASSERT_TRUE(height);
    const CanvasOp* caption = canvas.findText(std::string(kEpcCaption));
    ASSERT_TRUE(caption);
    EXPECT_GT(caption->y, 60);
    EXPECT_EQ(*height, caption->y - 60 + canvas.textHeight("MXjpy"));
    RecordingCanvas other;
    ASSERT_TRUE(other.beginDocument("qr"));
    EpcTransfer bad = Transfer();
    bad.amount = Money::FromCents(0);
    EXPECT_FALSE(DrawPaymentQr(other, 50, 60, 300, bad));
    EXPECT_TRUE(other.ops(CanvasOp::Kind::Rectangle).empty());
}

}  // namespace
}  // namespace invarro::output
