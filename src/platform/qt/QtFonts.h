// Fonts and colours between the program's own form (output::Font, output::Color) and Qt.
#pragma once

#include <QColor>
#include <QFont>

#include "output/Font.h"

namespace invarro::platform::qt {

QColor ToQColor(output::Color color);
output::Color FromQColor(const QColor& color);

// A font in points for windows; the colour is not part of a QFont.
QFont ToQFont(const output::Font& font);
// The font and colour as the program keeps them; a font sized in pixels is converted
// to points at 96 pixels per inch.
output::Font FromQFont(const QFont& font, const QColor& color);

}  // namespace invarro::platform::qt
