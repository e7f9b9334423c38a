// Pieces the manager windows share: the company's list and editor fonts, the printer
// check before a print command, and the print of a window's picture.
#pragma once

#include <string>

#include "data/Records.h"
#include "output/Font.h"
#include "platform/Prompter.h"

class QWidget;

namespace invarro::ui {

// The company's manager-list font (Courier New 10 when none is set) and its editor font
// (Arial 10 when none is set).
output::Font ManagerFont(const data::CompanyRecord& company);
output::Font EditorFont(const data::CompanyRecord& company);

// True when the program's printer can print; otherwise tells the user under title.
bool PrinterReady(platform::Prompter& prompter, const char* title);

// "Print Window": the window's picture across the printed page, keeping its proportions.
void PrintWindowPicture(QWidget* window, platform::Prompter& prompter);

}  // namespace invarro::ui
