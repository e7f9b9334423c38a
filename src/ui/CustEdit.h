// The customer editor: the modal "Add Customer" / "Edit Customer" dialog. OK runs the
// entry's checks in their order (a failure shows its message, focuses its field and keeps
// the dialog open), then hands the entry to the save routine of the manager; a save that
// fails shows its error and keeps the dialog open with everything typed.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "customers/CustEdit.h"
#include "data/EInvoiceData.h"
#include "platform/Prompter.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace invarro::ui {

class TCustEdit : public QDialog {
    Q_OBJECT
  public:
    using Check = std::function<std::optional<customers::EntryProblem>(customers::CustomerEntry&)>;
    using Save = std::function<void(customers::CustomerEntry&)>;

    // The terms drop-down is loaded from the terms file in dataFolder.
    TCustEdit(platform::Prompter& prompter, std::string dataFolder, QWidget* parent = nullptr);
    ~TCustEdit() override;

    // Shows entry; adding selects the "Add Customer" title. autoCopy ticks
    // "&Auto-Copy to Shipping".
    void setEntry(const customers::CustomerEntry& entry, bool adding, bool autoCopy);
    customers::CustomerEntry entry() const;
    // The e-invoicing data shown below the notes, checked on OK before the entry.
    void setEInvoice(const data::CustomerEInvoice& e);
    data::CustomerEInvoice einvoice() const;

    // The checks and the save routine OK runs.
    void setCheck(Check check) { check_ = std::move(check); }
    void setSave(Save save) { save_ = std::move(save); }

    void copyBillingToShipping();
    void clearShipping();
    // Leaving the name: an empty short name is made from it.
    void nameLeft();

    void accept() override;
    void help();
    void setHelp(std::function<void(const std::string&)> openHelp);

  protected:
    void done(int result) override;

  private:
    QLineEdit* edit(const char* name, int maxLength);
    QWidget* fieldFor(customers::EntryField field) const;
    void loadTerms();

    platform::Prompter& prompter_;
    std::string dataFolder_;
    Check check_;
    Save save_;
    std::function<void(const std::string&)> openHelp_;

    QLineEdit* cNo_;
    QLineEdit* cName_;
    QLineEdit* shortName_;
    QLabel* cBal_;
    QLineEdit* custType_;
    QLineEdit* cte_;
    QLineEdit* cLimit_;
    QComboBox* cTerms_;
    QLineEdit* bill_[4];
    QLineEdit* ship_[4];
    QLineEdit* phone1_;
    QLineEdit* phone2_;
    QCheckBox* autoCopy_;
    QLineEdit* mListCode_;
    QLineEdit* eMail_;
    QCheckBox* crHold_;
    QCheckBox* notesOnInv_;
    QCheckBox* notesOnStmnt_;
    QPlainTextEdit* notes_;
    QLineEdit* eCountry_;
    QLineEdit* eVatId_;
    QLineEdit* eBuyerRef_;
    QLineEdit* eAddress_;
    QPushButton* helpButton_;
};

}  // namespace invarro::ui
