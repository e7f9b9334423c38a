#include "platform/qt/Printer.h"

#include <QDialogButtonBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

namespace invarro::platform::qt {

QPrinter& ProgramPrinter() {
    static QPrinter printer(QPrinter::HighResolution);
    return printer;
}

bool ShowPrinterSetup(QWidget* parent) {
    QPrintDialog dialog(&ProgramPrinter(), parent);
    dialog.setWindowTitle(QStringLiteral("Print Setup"));
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    // The dialog only chooses; printing starts elsewhere.
    for (auto* box : dialog.findChildren<QDialogButtonBox*>())
        if (auto* ok = box->button(QDialogButtonBox::Ok)) ok->setText(QStringLiteral("OK"));
    return dialog.exec() == QDialog::Accepted;
}

bool PrinterAvailable(const QPrinter& printer) {
    if (!printer.isValid()) return false;
    if (printer.outputFormat() == QPrinter::PdfFormat) return !printer.outputFileName().isEmpty();
    return !printer.printerName().isEmpty();
}

}  // namespace invarro::platform::qt
