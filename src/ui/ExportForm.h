// TExportForm: the export window of the customer and product managers. The user ticks
// the fields to write, picks the file kind ("CSV File", "Comma/Quote", "Comma only" or
// "Character:" with its character) and the encoding, and chooses the file; the manager
// supplies the lines through setMakeLines.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "data/Delimited.h"
#include "data/Import.h"
#include "ui/WindowSupport.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace invarro::ui {

class TExportForm : public QDialog {
    Q_OBJECT
  public:
    struct Option {
        const char* name;  // object name of the check box
        QString caption;
        bool checked = false;
    };
    struct Setup {
        QString title;          // "Customer Export to File"
        QString alwaysCaption;  // "Customer Name (always)"
        std::vector<Option> options;
        std::string baseName;  // "CustList"
        std::string helpTopic;
        std::string boundsSection;
        // The message after writing (title "Export Complete"), after which the window
        // closes; with an empty text the window stays open showing the count.
        QString doneText;
    };

    TExportForm(const Setup& setup, const WindowServices& services, QWidget* parent = nullptr);

    // The save dialog; tests put their own chooser here. An empty name cancels.
    std::function<QString(const data::ExportFileProposal&)> chooseFile;
    // Makes the lines for the options ticked (in the order of Setup::options) and the
    // format.
    using MakeLines = std::function<std::vector<std::string>(const std::vector<bool>& ticked,
                                                             const data::DelimitedFormat& format)>;
    void setMakeLines(MakeLines make) { makeLines_ = std::move(make); }

    // "&Export": the save dialog, the lines, the file. False when nothing was written.
    bool exportNow();
    // The format the window's choices give; nothing (after a message) when the character
    // cannot separate values.
    std::optional<data::DelimitedFormat> format();
    data::TextEncoding encoding() const;
    QString resultText() const;

  protected:
    void done(int result) override;

  private:
    Setup setup_;
    WindowServices services_;
    MakeLines makeLines_;
    std::vector<QCheckBox*> boxes_;
    std::vector<QRadioButton*> kinds_;
    QLineEdit* character_ = nullptr;
    QCheckBox* utf8_ = nullptr;
    QLabel* result_ = nullptr;
};

}  // namespace invarro::ui
