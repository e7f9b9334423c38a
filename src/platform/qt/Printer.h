// The one printer of the program. Every print job goes to it, and the printer set-up
// dialog changes it (printer, paper, orientation) for the rest of the run.
#pragma once

class QPrinter;
class QWidget;

namespace invarro::platform::qt {

// Created on first use at the printer's full resolution; needs the application object.
QPrinter& ProgramPrinter();

// The printer set-up dialog on the program's printer. True when the user accepted.
bool ShowPrinterSetup(QWidget* parent);

// Whether a job sent to printer goes anywhere: an installed printer is chosen, or the
// set-up dialog chose printing to a file and named it.
bool PrinterAvailable(const QPrinter& printer);

}  // namespace invarro::platform::qt
