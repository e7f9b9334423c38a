#include "output/PaymentQr.h"

#include <qrencode.h>

#include <algorithm>
#include <memory>

#include "data/Ansi.h"

namespace invarro::output {

namespace {

constexpr std::size_t kMaxName = 70;
constexpr std::size_t kMaxReference = 35;
constexpr std::size_t kMaxText = 140;
constexpr int64_t kMaxCents = 99999999999;  // 999999999.99

bool Fail(std::string* problem, std::string why) {
    if (problem) *problem = std::move(why);
    return false;
}

// Letters and digits only, upper case, blanks removed.
std::optional<std::string> Compact(std::string_view text, std::size_t minLength,
                                   std::size_t maxLength) {
    std::string s;
    for (char c : text) {
        if (c == ' ') continue;
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return {};
        s += c;
    }
    if (s.size() < minLength || s.size() > maxLength) return {};
    return s;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

std::string EuroAmount(data::Money amount) {
    const int64_t cents = amount.cents();
    std::string s = "EUR" + std::to_string(cents / 100) + ".";
    const int64_t rest = cents % 100;
    s += char('0' + rest / 10);
    s += char('0' + rest % 10);
    return s;
}

}  // namespace

std::optional<std::string> EpcPayload(const EpcTransfer& t, std::string* problem) {
    const auto iban = Compact(t.iban, 15, 34);
    if (!iban) return Fail(problem, "The IBAN is missing or not an IBAN."), std::nullopt;
    std::string bic;
    if (!data::TrimText(t.bic).empty()) {
        auto b = Compact(t.bic, 8, 11);
        if (!b || (b->size() != 8 && b->size() != 11))
            return Fail(problem, "The BIC has 8 or 11 letters and digits."), std::nullopt;
        bic = *b;
    }
    const std::string name = data::TrimmedText(t.name);
    if (name.empty() || data::CharCount(name) > kMaxName || HasLineBreak(name))
        return Fail(problem, "The beneficiary's name is missing or longer than 70 characters."),
               std::nullopt;
    if (t.amount.cents() < 1 || t.amount.cents() > kMaxCents)
        return Fail(problem, "The amount must be from 0.01 to 999999999.99 euro."), std::nullopt;
    std::string reference;
    if (!t.reference.empty()) {
        auto r = Compact(t.reference, 5, kMaxReference);
        if (!r || r->substr(0, 2) != "RF")
            return Fail(problem, "The reference is not an RF creditor reference."), std::nullopt;
        reference = *r;
    }
    const std::string text = reference.empty() ? data::TrimmedText(t.text) : std::string();
    if (data::CharCount(text) > kMaxText || HasLineBreak(text))
        return Fail(problem, "The remittance text is longer than 140 characters."), std::nullopt;

    std::string p = "BCD\n002\n1\nSCT\n" + bic + "\n" + name + "\n" + *iban + "\n" +
                    EuroAmount(t.amount) + "\n\n" + reference;
    if (!text.empty()) p += "\n" + text;
    if (p.size() > kEpcMaxPayload)
        return Fail(problem, "The payment code would hold more than 331 bytes."), std::nullopt;
    return p;
}

std::optional<QrMatrix> EncodeQr(std::string_view bytes, QrLevel level, int minVersion) {
    QRecLevel l = QR_ECLEVEL_M;
    switch (level) {
        case QrLevel::L:
            l = QR_ECLEVEL_L;
            break;
        case QrLevel::M:
            l = QR_ECLEVEL_M;
            break;
        case QrLevel::Q:
            l = QR_ECLEVEL_Q;
            break;
        case QrLevel::H:
            l = QR_ECLEVEL_H;
            break;
    }
    std::unique_ptr<QRcode, void (*)(QRcode*)> code(
        QRcode_encodeData(int(bytes.size()), reinterpret_cast<const unsigned char*>(bytes.data()),
                          std::max(0, minVersion), l),
        &QRcode_free);
    if (!code) return {};
    QrMatrix m;
    m.width = code->width;
    m.dark.resize(std::size_t(m.width) * std::size_t(m.width));
    for (std::size_t i = 0; i < m.dark.size(); ++i)
        m.dark[i] = (code->data[i] & 1) != 0;
    return m;
}

int MinimumQrSide(const Canvas& canvas) {
    // 2 cm = 2 / 2.54 inch, rounded up.
    return (canvas.resolutionX() * 200 + 253) / 254;
}

int QrDrawnSide(const Canvas& canvas, int side, const QrMatrix& matrix) {
    const int modules = matrix.width + 2 * kQrQuietZone;
    int module = std::max(1, side / modules);
    while (module * modules < MinimumQrSide(canvas))
        ++module;
    return module * modules;
}

int PaymentQrSide(const Canvas& canvas, const EpcTransfer& transfer) {
    auto payload = EpcPayload(transfer);
    if (!payload) return 0;
    auto matrix = EncodeQr(*payload, QrLevel::M);
    return matrix ? QrDrawnSide(canvas, 0, *matrix) : 0;
}

void FillBox(Canvas& canvas, int x1, int y1, int x2, int y2, Color color) {
    // The pen's outline lies half outside a rectangle's corners, so the rectangle is given
    // one unit less to the right and below: what is coloured is exactly the box.
    canvas.setPen(Pen{1, color, PenStyle::Solid});
    canvas.setBrush(Brush{BrushStyle::Solid, color});
    canvas.rectangle(x1, y1, x2 - 1, y2 - 1);
}

void FillQrModules(Canvas& canvas, int left, int top, const QrMatrix& matrix,
                   const std::function<int(int)>& edge) {
    for (int row = 0; row < matrix.width; ++row) {
        int col = 0;
        while (col < matrix.width) {
            if (!matrix.at(col, row)) {
                ++col;
                continue;
            }
            int end = col;
            while (end < matrix.width && matrix.at(end, row))
                ++end;
            FillBox(canvas, left + edge(col), top + edge(row), left + edge(end),
                    top + edge(row + 1), kBlack);
            col = end;
        }
    }
}

int DrawQrMatrix(Canvas& canvas, int x, int y, int side, const QrMatrix& matrix) {
    const int modules = matrix.width + 2 * kQrQuietZone;
    const int drawn = QrDrawnSide(canvas, side, matrix);
    const int module = drawn / modules;
    const Pen pen = canvas.pen();
    const Brush brush = canvas.brush();
    FillBox(canvas, x, y, x + drawn, y + drawn, kWhite);
    FillQrModules(canvas, x + kQrQuietZone * module, y + kQrQuietZone * module, matrix,
                  [module](int i) { return i * module; });
    canvas.setPen(pen);
    canvas.setBrush(brush);
    return drawn;
}

std::optional<int> DrawPaymentQr(Canvas& canvas, int x, int y, int side,
                                 const EpcTransfer& transfer) {
    auto payload = EpcPayload(transfer);
    if (!payload) return {};
    auto matrix = EncodeQr(*payload, QrLevel::M);
    if (!matrix) return {};
    const int drawn = DrawQrMatrix(canvas, x, y, side, *matrix);
    const std::string caption(kEpcCaption);
    const int width = canvas.textWidth(caption);
    canvas.textOut(x + (drawn - width) / 2, y + drawn, caption);
    return drawn + canvas.textHeight(caption);
}

}  // namespace invarro::output
