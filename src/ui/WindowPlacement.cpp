#include "ui/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>

#include "data/IniFile.h"

namespace invarro::ui {

void RestoreWindowBounds(QWidget* window, const std::string& dataFolder, const char* section,
                         int designedWidth, int designedHeight) {
    data::IniFile ini(data::IniFilePath(dataFolder));
    data::WindowBounds b = data::ReadWindowBounds(ini, section, designedWidth, designedHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        b = data::FitToWorkArea(
            b, data::ScreenArea{area.left(), area.top(), area.width(), area.height()});
    }
    window->resize(b.width, b.height);
    window->move(b.left, b.top);
}

void SaveWindowBounds(const QWidget* window, const std::string& dataFolder, const char* section) {
    data::IniFile ini(data::IniFilePath(dataFolder));
    const QRect frame = window->frameGeometry();
    data::WriteWindowBounds(
        ini, section,
        data::WindowBounds{frame.left(), frame.top(), window->width(), window->height()});
}

}  // namespace invarro::ui
