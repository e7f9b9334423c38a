// TImportForm: the import window of the customer and product managers. The user opens a
// delimited text file, sees it in a grid under fixed column headings (data columns can be
// dragged under another heading: the heading of a position decides the field it feeds)
// and starts the import, which the manager runs through setOnImport.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "data/Delimited.h"
#include "ui/WindowSupport.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace invarro::ui {

class TImportForm : public QDialog {
    Q_OBJECT
  public:
    struct Setup {
        QString title;  // "Customer Import"
        std::vector<std::string_view> headings;
        std::vector<int> widths;  // of the columns; wide enough for the headings when missing
        QString forceCaption;     // the check box under the grid; none when empty
        std::string helpTopic;
        std::string boundsSection;  // the INI section of its bounds
    };

    TImportForm(const Setup& setup, const WindowServices& services, QWidget* parent = nullptr);
    ~TImportForm() override;

    // The open dialog; tests put their own chooser here. An empty name cancels.
    std::function<QString()> chooseFile;

    // Reads and splits the file into the grid. A file that cannot be read or split shows
    // "Selected file is not in the correct format. ..." and the grid keeps what it had.
    bool loadFile(const QString& path);
    // The loaded rows, each with its cells in heading order (whatever data was dragged
    // under each heading), and the line of the file it came from.
    std::vector<data::DelimitedRow> rows() const;
    bool forced() const;
    char separator() const;

    void setLabel(const QString& text);
    QString labelText() const;
    QTableWidget* grid() const { return grid_; }

    // Called by "&Import" with the window still open.
    void setOnImport(std::function<void()> onImport) { onImport_ = std::move(onImport); }

  protected:
    void done(int result) override;

  private:
    void openFile();
    void separatorChanged();
    void headingsInPlace();

    Setup setup_;
    WindowServices services_;
    QString loaded_;  // the file on show
    std::vector<int> lines_;
    std::function<void()> onImport_;

    QLabel* label_ = nullptr;
    QTableWidget* grid_ = nullptr;
    QCheckBox* force_ = nullptr;
    QComboBox* separatorBox_ = nullptr;
    QLineEdit* separatorChar_ = nullptr;
    QPushButton* import_ = nullptr;
};

// The file-dialog filter of a "Text (*.EXT)|*.EXT|..." filter string, in Qt's form; each
// pattern matches both letter cases.
QString QtFileFilter(std::string_view filter);

}  // namespace invarro::ui
