// The letter between the editor and the files: the document the RTF reader and writer
// work with, put into a QTextDocument and taken out of one, and the small pieces the
// letter and label windows share (file choosing, printing a document).
#pragma once

#include <QString>
#include <functional>

#include "output/FormLetter.h"
#include "output/RtfWriter.h"
#include "platform/qt/LetterText.h"

class QWidget;

namespace invarro::ui {

// The letter in the editor and on paper (shared with the command line's letters).
using platform::qt::FromTextDocument;
using platform::qt::ToTextDocument;

// Chooses a file: the caption, the folder to start in, the Qt name filter, whether it is
// for saving (the caller asks before replacing a file) and the extension added to a name
// without one. An empty result is a cancel. Tests put their own in place of the dialog.
using FileChooser =
    std::function<QString(const QString& caption, const QString& folder, const QString& filter,
                          bool save, const QString& defaultSuffix)>;
QString ChooseFile(QWidget* parent, const FileChooser& chooser, const QString& caption,
                   const QString& folder, const QString& filter, bool save,
                   const QString& defaultSuffix = QString());

}  // namespace invarro::ui
