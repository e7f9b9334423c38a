#include "ui/ManagerSupport.h"

#include <QPainter>
#include <QPixmap>
#include <QPrinter>
#include <QWidget>

#include "data/Ansi.h"
#include "platform/qt/Printer.h"

namespace invarro::ui {

namespace {

using data::Company;

output::Font CompanyFont(const data::CompanyRecord& c,
                         data::FieldRef<Company, data::FieldKind::Text> name,
                         data::FieldRef<Company, data::FieldKind::Int32> size,
                         data::FieldRef<Company, data::FieldKind::Int32> color,
                         data::FieldRef<Company, data::FieldKind::Style> style,
                         const char* fallbackFace) {
    output::Font f;
    f.face = std::string(data::TrimText(c.text(name)));
    if (f.face.empty()) f.face = fallbackFace;
    f.size = c.int32(size) > 0 ? c.int32(size) : 10;
    f.color = output::Color::fromValue(uint32_t(c.int32(color)));
    f.style = c.style(style);
    return f;
}

}  // namespace

output::Font ManagerFont(const data::CompanyRecord& c) {
    return CompanyFont(c, Company::MgrFontName, Company::MgrFontSize, Company::MgrFontColor,
                       Company::MgrFontStyle, "Courier New");
}

output::Font EditorFont(const data::CompanyRecord& c) {
    return CompanyFont(c, Company::EditorFontName, Company::EditorFontSize,
                       Company::EditorFontColor, Company::EditorFontStyle, "Arial");
}

bool PrinterReady(platform::Prompter& prompter, const char* title) {
    if (platform::qt::PrinterAvailable(platform::qt::ProgramPrinter())) return true;
    prompter.inform(title,
                    "No printer is available. Install a printer, or choose printing to a file "
                    "in the printer set-up.",
                    platform::Icon::Warning);
    return false;
}

void PrintWindowPicture(QWidget* window, platform::Prompter& prompter) {
    if (!PrinterReady(prompter, "Print Window")) return;
    QPrinter& printer = platform::qt::ProgramPrinter();
    const QPixmap image = window->grab();
    printer.setDocName(window->windowTitle());
    QPainter painter;
    if (!painter.begin(&printer)) {
        prompter.inform("Print Window", "The window could not be printed.", platform::Icon::Error);
        return;
    }
    const QRect page = painter.viewport();
    const QSize size = image.size().scaled(page.width(), page.height(), Qt::KeepAspectRatio);
    painter.drawPixmap(QRect(page.topLeft(), size), image);
    painter.end();
}

}  // namespace invarro::ui
