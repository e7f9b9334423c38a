// The one printer of the program. Every print job goes to it, and the printer set-up
// dialog changes it (printer, paper, orientation) for the rest of the run.
#pragma once

#include <string>

class QPrinter;
class QWidget;

namespace invarro::platform::qt {

// Created on first use at the printer's full resolution; needs the application object.
QPrinter& ProgramPrinter();

// The printer set-up dialog on the program's printer. True when the user accepted.
bool ShowPrinterSetup(QWidget* parent);

// Whether the printer prints to a (PDF) file rather than on paper.
bool PrintsToFile(const QPrinter& printer);

// Gives the next job on printer the document's name; a printer that prints to a file then
// writes the document's own file, name (made safe) with ".pdf" in folder, rather than the
// file of the job before. Returns that file ("" on paper).
std::string ProposePrintFile(QPrinter& printer, const std::string& folder, const std::string& name);

// The file a printer that prints to a file would write over ("" when it prints on paper or
// the file is not there yet).
std::string PrintFileInTheWay(const QPrinter& printer);

// Whether a job sent to printer goes anywhere: an installed printer is chosen, or the
// set-up dialog chose printing to a file and named it.
bool PrinterAvailable(const QPrinter& printer);

}  // namespace invarro::platform::qt
