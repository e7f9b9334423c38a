// The product editor: the modal "Add Product" / "Edit Product" dialog. OK runs the
// entry's checks in their order (a failure shows its message, focuses its field and keeps
// the dialog open), then hands the entry to the save routine of the manager; a save that
// fails shows its error and keeps the dialog open with everything typed.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "platform/Prompter.h"
#include "products/ProdEdit.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace invarro::ui {

class TUpdProd : public QDialog {
    Q_OBJECT
  public:
    using Check = std::function<std::optional<products::EntryProblem>(products::ProductEntry&)>;
    using Save = std::function<void(products::ProductEntry&)>;

    TUpdProd(platform::Prompter& prompter, std::string dataFolder, QWidget* parent = nullptr);
    ~TUpdProd() override;

    // Shows entry; adding selects the "Add Product" title.
    void setEntry(const products::ProductEntry& entry, bool adding);
    products::ProductEntry entry() const;
    // The product's e-invoice unit code, checked on OK; empty for the default.
    void setUnitCode(const std::string& code);
    std::string unitCode() const;

    // The checks and the save routine OK runs.
    void setCheck(Check check) { check_ = std::move(check); }
    void setSave(Save save) { save_ = std::move(save); }

    void accept() override;
    void help();
    void setHelp(std::function<void(const std::string&)> openHelp);

    QString setupDateText() const;
    QString changedDateText() const;

  protected:
    void done(int result) override;

  private:
    QWidget* fieldFor(products::EntryField field) const;

    platform::Prompter& prompter_;
    std::string dataFolder_;
    Check check_;
    Save save_;
    std::function<void(const std::string&)> openHelp_;
    products::ProductEntry shown_;

    QLineEdit* pNum_;
    QLineEdit* pDesc_;
    QLineEdit* pSell_;
    QCheckBox* taxable_;
    QLineEdit* pUnit_;
    QPlainTextEdit* pNote_;
    QLabel* setupPanel_;
    QLabel* changedPanel_;
    QPushButton* helpButton_;
};

}  // namespace invarro::ui
