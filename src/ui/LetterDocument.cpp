#include "ui/LetterDocument.h"

#include <QFileDialog>

namespace invarro::ui {

QString ChooseFile(QWidget* parent, const FileChooser& chooser, const QString& caption,
                   const QString& folder, const QString& filter, bool save,
                   const QString& defaultSuffix) {
    if (chooser) return chooser(caption, folder, filter, save, defaultSuffix);
    QFileDialog dialog(parent, caption, folder, filter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // Replacing a file is asked by the window, with its own words.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!defaultSuffix.isEmpty()) dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().front();
}

}  // namespace invarro::ui
