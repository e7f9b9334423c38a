// TTermEdit: the "Edit Payment Terms" dialog. It edits the sorted terms list and writes
// it to the terms file on "&Close".
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "invoicing/TermSet.h"
#include "platform/Prompter.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace invarro::ui {

class TTermEdit : public QDialog {
    Q_OBJECT
  public:
    TTermEdit(platform::Prompter& prompter, std::string dataFolder,
              std::function<void(const std::string&)> openHelp = {}, QWidget* parent = nullptr);

    // Loads the terms file; false (after telling the user) when it cannot be read.
    bool load();
    const invoicing::TermsEditor& editor() const { return editor_; }

    void add();
    void edit();
    void ok();
    void remove();
    // "&Close": writes the list and closes.
    void closeAndSave();

    // Opens the dialog modally on the terms file of dataFolder.
    static void Run(platform::Prompter& prompter, const std::string& dataFolder,
                    std::function<void(const std::string&)> openHelp = {},
                    QWidget* parent = nullptr);

  private:
    void refresh();

    platform::Prompter& prompter_;
    std::string dataFolder_;
    std::function<void(const std::string&)> openHelp_;
    invoicing::TermsEditor editor_{{}};
    QListWidget* list_;
    QLineEdit* edit_;
    QLabel* prompt_;
    QPushButton* okButton_;
};

}  // namespace invarro::ui
