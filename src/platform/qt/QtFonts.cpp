#include "platform/qt/QtFonts.h"

#include <algorithm>
#include <cmath>

namespace invarro::platform::qt {

QColor ToQColor(output::Color color) {
    return QColor(color.red, color.green, color.blue);
}

output::Color FromQColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return output::Color{std::uint8_t(rgb.red()), std::uint8_t(rgb.green()),
                         std::uint8_t(rgb.blue())};
}

QFont ToQFont(const output::Font& font) {
    QFont f(QString::fromStdString(font.face));
    f.setPointSize(std::max(1, font.size));
    f.setBold(font.bold());
    f.setItalic(font.italic());
    f.setUnderline(font.underline());
    f.setStrikeOut(font.strikeOut());
    return f;
}

output::Font FromQFont(const QFont& font, const QColor& color) {
    output::Font f;
    f.face = font.family().toStdString();
    if (font.pointSize() > 0)
        f.size = font.pointSize();
    else if (font.pointSizeF() > 0)
        f.size = int(std::lround(font.pointSizeF()));
    else
        f.size = std::max(1, int(std::lround(font.pixelSize() * 72.0 / 96.0)));
    f.color = FromQColor(color);
    f.style = std::uint8_t(
        (font.bold() ? output::kBold : 0) | (font.italic() ? output::kItalic : 0) |
        (font.underline() ? output::kUnderline : 0) | (font.strikeOut() ? output::kStrikeOut : 0));
    return f;
}

}  // namespace invarro::platform::qt
