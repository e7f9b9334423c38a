// The statement windows: "Customer Statement" (one customer's statement in a grid, printed
// or sent to PDF), "Statement Selection" and "Batch Print Statements" (the batch run).
// They bind widgets to the statement logic of the output layer.
#pragma once

#include <QDialog>
#include <string>

#include "output/CStmnt.h"
#include "ui/CustContext.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace invarro::ui {

class TCustStmnt : public QDialog {
    Q_OBJECT
  public:
    TCustStmnt(const CustomerWindowContext& context, const output::StatementFiles& files,
               std::string custNo, QWidget* parent = nullptr);

    // The single statement of the customer from the customer manager: refused with
    // "There is no activity for this customer." when nothing is listed, else the window
    // opens modally.
    static void View(const CustomerWindowContext& context, const output::StatementFiles& files,
                     const std::string& custNo, QWidget* parent);

    // "Show Unpaid Records Only" as the window last left it, for the program run.
    static bool UnpaidOnly();
    static void SetUnpaidOnly(bool on);

    void rebuild();
    void print();
    // The E-Mail button: the statement through the context's mail client.
    void emailStatement();
    void sendToPdf();
    const output::Statement& statement() const { return statement_; }
    QTableWidget* grid() const { return grid_; }
    QString statusText() const;

  protected:
    void done(int result) override;

  private:
    void fillGrid();

    CustomerWindowContext ctx_;
    output::StatementFiles files_;
    std::string custNo_;
    output::Statement statement_;
    QTableWidget* grid_ = nullptr;
    QCheckBox* unpaid_ = nullptr;
    QPushButton* print_ = nullptr;
    QLabel* status_ = nullptr;
};

// "Statement Selection": mode, e-mail bypass, balance test, detail and negative balances.
class TStmntSelect : public QDialog {
    Q_OBJECT
  public:
    TStmntSelect(const CustomerWindowContext& context, QWidget* parent = nullptr);
    output::BatchSelection selection() const;

  protected:
    void done(int result) override;

  private:
    CustomerWindowContext ctx_;
    QCheckBox* excludeEmail_ = nullptr;
    QRadioButton* balance_[4] = {};
    QRadioButton* unpaidOnly_ = nullptr;
    QCheckBox* ltZero_ = nullptr;
};

// "Batch Print Statements": the count, the last run and the batch size.
class TStmntBatch : public QDialog {
    Q_OBJECT
  public:
    TStmntBatch(const CustomerWindowContext& context, int count, QWidget* parent = nullptr);
    int batchSize() const { return size_; }
    // OK: an empty size is refused, any other is clamped to 1..count.
    void accept() override;

  private:
    CustomerWindowContext ctx_;
    int count_ = 0;
    int size_ = 1;
    QLineEdit* number_ = nullptr;
};

// The batch run from the customer manager: selection, batch size, the run on the printer
// and the completion. status shows the manager's progress line.
void BatchStatements(const CustomerWindowContext& context, const output::StatementFiles& files,
                     const std::function<void(const std::string&)>& status, QWidget* parent);

}  // namespace invarro::ui
