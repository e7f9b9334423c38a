#include "platform/qt/Printer.h"

#include <QDialogButtonBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

#include "data/Files.h"
#include "output/FileNames.h"

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

bool PrintsToFile(const QPrinter& printer) {
    return printer.outputFormat() == QPrinter::PdfFormat;
}

std::string ProposePrintFile(QPrinter& printer, const std::string& folder,
                             const std::string& name) {
    printer.setDocName(QString::fromStdString(name));
    if (!PrintsToFile(printer) || folder.empty()) return {};
    const std::string file = data::JoinPath(folder, output::SafeFileName(name + ".pdf"));
    printer.setOutputFileName(QString::fromStdString(file));
    return file;
}

std::string PrintFileInTheWay(const QPrinter& printer) {
    if (!PrintsToFile(printer)) return {};
    const std::string file = printer.outputFileName().toStdString();
    return !file.empty() && data::FileExists(file) ? file : std::string();
}

bool PrinterAvailable(const QPrinter& printer) {
    if (!printer.isValid()) return false;
    if (printer.outputFormat() == QPrinter::PdfFormat) return !printer.outputFileName().isEmpty();
    return !printer.printerName().isEmpty();
}

}  // namespace invarro::platform::qt
