// Payment QR codes: the EPC "SEPA credit transfer" code a banking app scans to fill in a
// transfer (beneficiary, IBAN, amount, structured reference), its QR module matrix and its
// drawing on the page canvas as vector rectangles, so printer and PDF get the same code.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/Money.h"
#include "output/Canvas.h"

namespace invarro::output {

// The transfer an EPC code asks for. The amount is in euro.
struct EpcTransfer {
    std::string bic;        // optional within the EEA
    std::string name;       // the beneficiary, UTF-8, at most 70 characters
    std::string iban;       // blanks allowed; written without them
    data::Money amount;     // 0.01 to 999999999.99
    std::string reference;  // an ISO 11649 RF reference, or empty
    std::string text;       // remittance text, used only without a reference (at most 140)
};

inline constexpr std::size_t kEpcMaxPayload = 331;
inline constexpr std::string_view kEpcCaption = "Scan to pay";

// The EPC069-12 payload, version 002, UTF-8: BCD, 002, 1, SCT, BIC, name, IBAN,
// "EUR<amount>", purpose (empty), reference, text. Nothing (and the reason in *problem)
// when a field is missing, too long or malformed or the payload is over 331 bytes.
std::optional<std::string> EpcPayload(const EpcTransfer& transfer, std::string* problem = nullptr);

// A QR code's modules, row by row, without the quiet zone.
struct QrMatrix {
    int width = 0;
    std::vector<bool> dark;  // width * width
    bool at(int x, int y) const {
        return dark[std::size_t(y) * std::size_t(width) + std::size_t(x)];
    }
};

enum class QrLevel { L, M, Q, H };

// The version (1 to 40) of a code with the matrix's width.
inline int QrVersion(const QrMatrix& matrix) {
    return (matrix.width - 17) / 4;
}

// The QR code of the bytes (8-bit mode, the smallest version from minVersion up that
// holds them); nothing when they do not fit.
std::optional<QrMatrix> EncodeQr(std::string_view bytes, QrLevel level, int minVersion = 0);

// The quiet zone on every side, in modules.
inline constexpr int kQrQuietZone = 4;
// The side of the smallest code a phone reads from paper: 2 cm, in device units.
int MinimumQrSide(const Canvas& canvas);

// The side DrawQrMatrix draws the matrix at when given `side`.
int QrDrawnSide(const Canvas& canvas, int side, const QrMatrix& matrix);
// The side of the smallest EPC code for the transfer that is at least MinimumQrSide, with
// its quiet zone (the caption goes below it); 0 when the payload cannot be built.
int PaymentQrSide(const Canvas& canvas, const EpcTransfer& transfer);

// Draws the code with its quiet zone (painted white, so nothing under it confuses a
// scanner) in a square at (x, y). Every module is the same whole number of device units:
// the largest that keeps the square within `side`, but never a code smaller than
// MinimumQrSide. Dark modules are merged into runs along each row, drawn as rectangles
// that meet without seams. Returns the side drawn. Pen and brush are restored.
int DrawQrMatrix(Canvas& canvas, int x, int y, int side, const QrMatrix& matrix);

// Fills the box from (x1, y1) to just before (x2, y2) with the colour, no outline beyond
// it; leaves pen and brush set to the colour.
void FillBox(Canvas& canvas, int x1, int y1, int x2, int y2, Color color);
// Fills the dark modules of the matrix, merged into runs along each row: module i of a
// row or column spans from edge(i) to edge(i + 1), measured from (left, top). Leaves pen
// and brush black.
void FillQrModules(Canvas& canvas, int left, int top, const QrMatrix& matrix,
                   const std::function<int(int)>& edge);

// The EPC code for the transfer with the caption centred below it in the current font.
// Returns the height used (code and caption), or nothing (and nothing drawn) when the
// payload cannot be built.
std::optional<int> DrawPaymentQr(Canvas& canvas, int x, int y, int side,
                                 const EpcTransfer& transfer);

}  // namespace invarro::output
