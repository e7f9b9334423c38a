// The Bank Statements window: the company's imported bank lines with what each would be
// posted as and why, filtered by state; a statement file imported from the file dialog or
// dropped on the window (its format found from what it holds, a CSV file through the
// company's column mapping); each line confirmed, given to a customer and invoices by
// hand, ignored or reopened; and "Post", which posts the confirmed lines, each whole or not
// at all. TBankLineChoice picks the customer and invoices of one line by hand;
// TCsvMappingDialog sets the company's CSV column mapping.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "banking/Review.h"
#include "ui/CustContext.h"

class QComboBox;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace invarro::ui {

class TBankStatements : public QDialog {
    Q_OBJECT
  public:
    static constexpr const char* kBoundsSection = "BankForm";
    static constexpr const char* kHelpTopic = "Bank Statements";

    TBankStatements(const CustomerWindowContext& context, QWidget* parent = nullptr);

    // The filter's states: all, or one state.
    enum class Filter { All, New, Matched, Posted, Ignored };
    void setFilter(Filter filter);

    // Reads the file and stores its new lines (asking about an account that is not the
    // company's); what the window would do with a file chosen or dropped.
    void importFile(const QString& path);
    // Chooses a file in the file dialog (or through chooseFile when set) and imports it.
    void importPressed();
    void confirmPressed();
    void changePressed();
    void ignorePressed();
    void reopenPressed();
    void postPressed();

    // The stored line of the highlighted row; 0 without one.
    int32_t currentLine() const;
    // Highlights the row of the stored line; false when the filter hides it.
    bool showLine(int32_t recNo);
    banking::BankReview& review() { return review_; }
    // Other programs changed fileblocks (storage::FileblockName): when the company's bank
    // lines, invoices or customers are among them the lines are read again, keeping the
    // filter and the highlighted line; under a window of its own (a line being matched by
    // hand) once that has closed.
    void changedElsewhere(const std::vector<std::string>& names);

    // For tests and other front ends: chooses the statement file instead of the dialog.
    std::function<QString()> chooseFile;

    QLabel* AccountLabel;
    QComboBox* StateFilter;
    QTableWidget* BankLines;
    QLabel* WhyLabel;
    QPushButton* ImportBtn;
    QPushButton* ConfirmBtn;
    QPushButton* ChangeBtn;
    QPushButton* IgnoreBtn;
    QPushButton* ReopenBtn;
    QPushButton* PostBtn;
    QLabel* StatusLabel;

    static void Run(const CustomerWindowContext& context, QWidget* parent = nullptr);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void done(int result) override;

  private:
    // Applies the decision to the highlighted line; tells why when it cannot be done.
    void decide(bool (banking::BankReview::*op)(int32_t, std::string*), const std::string& done);
    void fill(int32_t keep = 0);
    void rowChanged();
    void refresh();
    void refreshWhenFree();
    void status(const std::string& text);
    bool shows(const banking::ReviewRow& row) const;

    CustomerWindowContext context_;
    platform::Prompter& prompter_;
    banking::BankReview review_;
};

// The customer and the invoices one bank line pays, chosen by hand: the customer from a
// list, their open invoices (oldest first) ticked, and what the amount pays shown as it is
// chosen.
class TBankLineChoice : public QDialog {
    Q_OBJECT
  public:
    TBankLineChoice(const banking::BankReview& review, const banking::ReviewRow& row,
                    QWidget* parent = nullptr);

    std::string customer() const;
    std::vector<std::string> invoices() const;

    QComboBox* CustomerBox;
    QListWidget* InvoiceList;
    QLabel* PaysLabel;

  private:
    void customerChanged();
    void update();

    const banking::BankReview& review_;
    data::Money amount_;
};

// The columns of the company's CSV statements: the delimiter, the decimal mark, the date
// order and the header of each column.
class TCsvMappingDialog : public QDialog {
    Q_OBJECT
  public:
    TCsvMappingDialog(const banking::CsvMapping& mapping, platform::Prompter& prompter,
                      QWidget* parent = nullptr);
    banking::CsvMapping mapping() const;
    void accept() override;

  private:
    platform::Prompter& prompter_;
    QComboBox* delimiter_;
    QComboBox* decimal_;
    QComboBox* dateOrder_;
    std::vector<std::pair<std::string banking::CsvMapping::*, QLineEdit*>> columns_;
    banking::CsvMapping base_;
};

}  // namespace invarro::ui
