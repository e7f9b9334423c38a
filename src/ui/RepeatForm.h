// Repeat billing windows. TRepeatForm ("Repeat Invoice Setup") turns an invoice into a
// repeat master or changes a master's schedule; TSelectRepeat ("Repeat Billing Wizard")
// searches the masters that are due and generates their invoices.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "invoicing/RepeatSet.h"
#include "ui/CustContext.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QWidget;

namespace invarro::ui {

class TRepeatForm : public QDialog {
    Q_OBJECT
  public:
    TRepeatForm(invoicing::RepeatSetupEntry entry, data::DateOrder order,
                platform::Prompter& prompter, std::function<void(const std::string&)> help,
                QWidget* parent = nullptr);

    // The entry as the controls hold it.
    invoicing::RepeatSetupEntry entry() const;

    QCheckBox* CheckBox1;
    QLineEdit* NumDays;
    QRadioButton* RBMonths;
    QRadioButton* RBDays;
    QLineEdit* EndDate;
    QPushButton* Cal2button;
    QLabel* Label8;
    QPushButton* OKButton;

    void accept() override;

  private:
    invoicing::RepeatSetupEntry entry_;
    data::DateOrder order_;
    platform::Prompter& prompter_;
    QWidget* panel_ = nullptr;
};

class TSelectRepeat : public QDialog {
    Q_OBJECT
  public:
    static constexpr const char* kBoundsSection = "RPSForm";

    // The wizard works on the company's invoice, line, memo and customer files, open for
    // as long as it is.
    TSelectRepeat(const CustomerWindowContext& context, invoicing::SaveFiles files,
                  QWidget* parent = nullptr);
    // Opens the files and shows the wizard modally; false when a file cannot be opened.
    static bool Run(const CustomerWindowContext& context, QWidget* parent = nullptr);

    void search();
    void createInvoices();
    const std::vector<invoicing::DueMaster>& due() const { return due_; }
    const invoicing::GenerationOutcome& outcome() const { return outcome_; }

    QLineEdit* EndDate;
    QPushButton* SearchBtn;
    QPlainTextEdit* RichEdit1;
    QLineEdit* NewInvDate;
    QLineEdit* InvComm;
    QPushButton* CreateBtn;
    QProgressBar* ProgressBar1;
    QLabel* Label3;

  protected:
    void done(int result) override;

  private:
    CustomerWindowContext ctx_;
    invoicing::SaveFiles files_;
    data::DateOrder order_;
    std::vector<invoicing::DueMaster> due_;
    invoicing::GenerationOutcome outcome_;
};

// A date field with the mask "99/99/9999" and its calendar button.
QLineEdit* MakeDateField(QWidget* parent, const char* name);
QPushButton* MakeCalendarButton(QWidget* parent, const char* name, QLineEdit* field,
                                data::DateOrder order, const data::Date& today);

}  // namespace invarro::ui
