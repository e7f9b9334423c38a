// The letter between the editor and the files: the document the RTF reader and writer
// work with, put into a QTextDocument and taken out of one, and the small pieces the
// letter and label windows share (file choosing, printing a document).
#pragma once

#include <QString>
#include <functional>

#include "output/FormLetter.h"
#include "output/RtfWriter.h"

class QPrinter;
class QTextDocument;
class QWidget;

namespace invarro::ui {

// Replaces the contents of text with the document. Indents in twips become the editor's
// pixels at 96 per inch; a bullet paragraph becomes an item of a bulleted list.
void ToTextDocument(const output::RtfDocument& document, QTextDocument& text);
// The document the editor holds, for writing and merging.
output::RtfDocument FromTextDocument(const QTextDocument& text);

// Chooses a file: the caption, the folder to start in, the Qt name filter, whether it is
// for saving (the caller asks before replacing a file) and the extension added to a name
// without one. An empty result is a cancel. Tests put their own in place of the dialog.
using FileChooser =
    std::function<QString(const QString& caption, const QString& folder, const QString& filter,
                          bool save, const QString& defaultSuffix)>;
QString ChooseFile(QWidget* parent, const FileChooser& chooser, const QString& caption,
                   const QString& folder, const QString& filter, bool save,
                   const QString& defaultSuffix = QString());

// Prints each merged letter as one document on a printer.
class PrinterLetterSink : public output::LetterSink {
  public:
    explicit PrinterLetterSink(QPrinter& printer) : printer_(printer) {}
    bool printLetter(const output::RtfDocument& letter, const std::string& title,
                     std::string* error) override;

  private:
    QPrinter& printer_;
};

}  // namespace invarro::ui
