// Payment codes drawn on a PDF page are read back by a QR scanner from the page rendered
// at a low and a usual print resolution, with every field as written.
#include <gtest/gtest.h>

#include "output/PaymentQr.h"
#include "platform/qt/PainterCanvas.h"
#include "support/PdfTools.h"
#include "support/QtApp.h"
#include "support/TempDir.h"

namespace invarro::platform::qt {
namespace {

using output::EpcTransfer;

class PaymentQrPdfTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testing::QtApp(); }

    // What zbarimg reads from page 1 of the PDF rendered at dpi.
    std::string scan(const std::string& pdf, int dpi) {
        return testing::ScanQrCodes(pdf, 1, dpi, dir.path());
    }

    testing::TempDir dir;
};

TEST_F(PaymentQrPdfTest, EveryFieldReadsBackAt150And300Dpi) {
    EpcTransfer t;
    t.bic = "GENODEF1S04";
    t.name = "Jürgen Weiß Bäckerei & Söhne";
    t.iban = "DE02 1203 0000 0000 2020 51";
    t.amount = data::Money::FromCents(1234599);
    t.reference = "RF18539007547034";
    const auto payload = output::EpcPayload(t);
    ASSERT_TRUE(payload);

    PainterCanvas canvas(nullptr);
    const std::string pdf = dir.file("qr.pdf");
    ASSERT_TRUE(canvas.beginDocument(pdf)) << canvas.lastError();
    // Text and a hatched box beside the code, as an invoice has: the code stays readable.
    canvas.setFont(output::Font{"Arial", 10});
    canvas.textOut(100, 100, "Payment");
    canvas.setBrush(output::Brush{output::BrushStyle::BackwardDiagonal, output::kBlack});
    canvas.rectangle(100, 400, 1500, 600);
    // The smallest code allowed: 2 cm.
    auto height = output::DrawPaymentQr(canvas, 120, 150, 0, t);
    ASSERT_TRUE(height);
    ASSERT_TRUE(canvas.endDocument()) << canvas.lastError();

    for (int dpi : {150, 300}) {
        const std::string read = scan(pdf, dpi);
        EXPECT_EQ(read, *payload) << dpi << " dpi";
        EXPECT_NE(read.find("\nJürgen Weiß Bäckerei & Söhne\n"), std::string::npos);
        EXPECT_NE(read.find("\nDE02120300000000202051\nEUR12345.99\n\nRF18539007547034"),
                  std::string::npos);
    }
}

TEST_F(PaymentQrPdfTest, TheLongestPayloadStillReadsBack) {
    EpcTransfer t;
    t.bic = "BFSWDE33BER";
    t.name = std::string(35, 'A') + " Ölmühle Überlingen Ärztebedarf";
    t.iban = "DE89370400440532013000";
    t.amount = data::Money::FromCents(99999999999);
    t.text = std::string(140, 'x');
    const auto payload = output::EpcPayload(t);
    ASSERT_TRUE(payload);
    PainterCanvas canvas(nullptr);
    const std::string pdf = dir.file("long.pdf");
    ASSERT_TRUE(canvas.beginDocument(pdf));
    ASSERT_TRUE(output::DrawPaymentQr(canvas, 200, 200, 400, t));  // 4 cm
    ASSERT_TRUE(canvas.endDocument());
    EXPECT_EQ(scan(pdf, 150), *payload);
    EXPECT_EQ(scan(pdf, 300), *payload);
}

}  // namespace
}  // namespace invarro::platform::qt
