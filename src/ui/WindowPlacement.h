// Window bounds kept in the INI file: read when a window is shown (moved back onto the
// screen's work area when it would reach past its right or bottom edge) and written when
// it closes.
#pragma once

#include <QWidget>
#include <string>

namespace invarro::ui {

// Places the window from its section of the INI file in the data folder; missing keys
// give 10, 10 and the designed size.
void RestoreWindowBounds(QWidget* window, const std::string& dataFolder, const char* section,
                         int designedWidth, int designedHeight);
// Writes the window's bounds to its section.
void SaveWindowBounds(const QWidget* window, const std::string& dataFolder, const char* section);

}  // namespace invarro::ui
