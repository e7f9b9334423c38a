// TPayBox: the Payment Wizard, the modal dialog in which money received from one customer
// is spread over its open invoices and deposits, taken in part, or kept as a deposit on
// account, and posted. TPPmtDialog asks for the amount of a partial payment or deposit.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "data/Money.h"
#include "invoicing/Payment.h"
#include "platform/Clock.h"
#include "storage/Engine.h"
#include "ui/CustContext.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace invarro::ui {

// The amount dialog: the item it is about, "Payment Amount:" and OK / Cancel. OK runs
// check on the typed text; a refusal (already shown) keeps the dialog open.
class TPPmtDialog : public QDialog {
    Q_OBJECT
  public:
    using Check = std::function<std::optional<data::Money>(const std::string&)>;
    TPPmtDialog(const QString& caption, const QString& item, Check check,
                QWidget* parent = nullptr);

    // Shows it modally; the accepted amount, or nothing when cancelled.
    static std::optional<data::Money> Ask(const QString& caption, const QString& item, Check check,
                                          QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* PPAmt;
    void ok();
    std::optional<data::Money> amount() const { return amount_; }

  private:
    Check check_;
    std::optional<data::Money> amount_;
};

class TPayBox : public QDialog {
    Q_OBJECT
  public:
    explicit TPayBox(const CustomerWindowContext& context, QWidget* parent = nullptr);
    ~TPayBox() override;

    // Opens the company's invoice file (creating it when missing). False when it cannot be
    // opened (the user has been told).
    bool openFiles();
    // Opens the wizard modally on the company in use.
    static void Run(const CustomerWindowContext& context, QWidget* parent = nullptr);

    // The commands.
    void selectCustomer();
    void customerChosen(const data::CustomerRecord& customer);
    void include();
    void includeAll();
    void exclude();
    void excludeAll();
    void partialPayment();
    void addDeposit();
    void post();

    const invoicing::PaymentBox& box() const { return box_; }
    // The last posting, when there was one.
    const std::optional<invoicing::PostOutcome>& posted() const { return outcome_; }

    QPushButton* BitBtn3;
    QLabel* PCustName;
    QLabel* PCustNum;
    QLabel* PCustBal;
    QLabel* PCustPhone;
    QLabel* Sname;
    QLineEdit* PmtDate;
    QPushButton* Calbutton;
    QLineEdit* PAmt;
    QLineEdit* PNotes;
    QListWidget* SrcList;
    QListWidget* DstList;
    QPushButton* IncludeBtn;
    QPushButton* IncAllBtn;
    QPushButton* ExcludeBtn;
    QPushButton* ExAllBtn;
    QPushButton* PPmtBtn;
    QPushButton* AccountDep;
    QLabel* IPostedAmt;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QPushButton* HelpBtn;

  protected:
    void done(int result) override;

  private:
    void refresh();
    void updateButtons();
    void pickDate();

    CustomerWindowContext ctx_;
    std::unique_ptr<platform::Clock> ownClock_;
    invoicing::PaymentBox box_;
    storage::Fileblock* invoices_ = nullptr;
    std::optional<invoicing::PostOutcome> outcome_;
    bool refreshing_ = false;
};

}  // namespace invarro::ui
