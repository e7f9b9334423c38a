// TProdInv: the invoice editor, the modal dialog in which an invoice, a quote or a
// repeat-billing master is written or changed: the header, the customer with its balance
// and aging, the 99-row line grid or the memo body, the totals, the saved lines, the
// calculator and the work timer. OK runs the checks in their order; the invoice manager
// then saves what the dialog holds.
#pragma once

#include <QDialog>
#include <QPersistentModelIndex>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "invoicing/InvEdit.h"
#include "platform/Shell.h"
#include "storage/Engine.h"
#include "ui/CustContext.h"
#include "ui/InvList.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTableWidget;
class QTimer;

namespace invarro::ui {

// What the editor needs from the invoice manager: the windows' context (data folder,
// company in use, message boxes, clock, label queue, the shared selected customer, help),
// the desktop shell for the calculator, and the manager's open invoice, line and memo files.
struct InvoiceEditorContext {
    CustomerWindowContext windows;
    platform::Shell* shell = nullptr;  // none: the calculator button is disabled
    storage::Fileblock* invoices = nullptr;
    storage::Fileblock* lines = nullptr;
    storage::Fileblock* memos = nullptr;
    bool* labelsWaiting = nullptr;
    // Called when the work timer starts or stops (the manager's "Timer running..." panel).
    std::function<void()> timerChanged;
};

class TProdInv : public QDialog {
    Q_OBJECT
  public:
    TProdInv(const InvoiceEditorContext& context, invoicing::InvoiceEditor editor,
             QWidget* parent = nullptr);
    ~TProdInv() override;

    // Writes a new invoice: the dialog, then (after OK) the save. The save's result, or
    // nothing when the dialog was cancelled or the save failed (its error has been shown).
    static std::optional<invoicing::SaveResult> NewInvoice(const InvoiceEditorContext& context,
                                                           QWidget* parent = nullptr);
    // Edits invoice record recNo, read as asRead, in the same way.
    static std::optional<invoicing::SaveResult> EditInvoice(const InvoiceEditorContext& context,
                                                            int32_t recNo,
                                                            const data::InvoiceRecord& asRead,
                                                            QWidget* parent = nullptr);

    invoicing::InvoiceEditor& editor() { return editor_; }
    // Saves what the accepted dialog holds: a new invoice, or the edit of recNo read as
    // asRead. Errors are shown; nothing then.
    std::optional<invoicing::SaveResult> save(int32_t recNo = 0,
                                              const data::InvoiceRecord* asRead = nullptr);

    // The commands.
    void selectCustomer();
    // The customer as a customer selection returns it.
    void customerChosen(const data::CustomerRecord& customer);
    void findProduct();
    // Enter in the product-code column: the product of the typed code, or the picker.
    void productByCode(int row);
    void eraseLine();
    void insertLine();
    void makeComment();
    void eraseAll();
    void loadSavedLines();
    void saveLines();
    void goToRow(int row);
    void calculator();
    void toggleTimer();
    void pickDate();
    void help();
    // The grid row (1..99) and column of the current cell.
    int currentRow() const;
    int currentColumn() const;
    // Types text into a cell as the user would.
    void setCell(int row, int column, const QString& text);
    QString cell(int row, int column) const;

    // Shows the editor's state in every control.
    void showAll();

    void accept() override;
    // Asks before a changed invoice is thrown away.
    void reject() override;

  protected:
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Gives the focus to the control after the line grid (before it when not forward).
    void leaveGrid(bool forward);

  private:
    void buildControls();
    void showGrid();
    void showRow(int row);
    void showTotals();
    void showCustomer();
    void showFormat();
    void showTimer();
    void cellChanged(int tableRow, int column);
    void lookUpSoon(int row);
    void memoChanged();
    void focusProblem(const invoicing::EditProblem& problem);
    const platform::Clock& clock();

    InvoiceEditorContext ctx_;
    invoicing::InvoiceEditor editor_;
    std::vector<std::string> terms_;
    std::unique_ptr<platform::Clock> ownClock_;
    bool showing_ = false;  // controls are being filled: their change signals are ignored
    int32_t editedRecNo_ = 0;
    int pendingLookUp_ = 0;      // the row whose code is looked up once queued events have run
    unsigned lookUpTicket_ = 0;  // the last look-up asked for; earlier ones still queued skip
    bool picking_ = false;       // the product picker is open
    // A click on the cell that has the cursor opens its editor a moment later, unless a
    // double-click (the product picker) or a typed key comes first.
    QTimer* slowEdit_ = nullptr;
    QPersistentModelIndex slowEditAt_;
    bool pressedOnCurrent_ = false;

    QLabel* modeLabel_ = nullptr;
    QLineEdit* number_ = nullptr;
    QLineEdit* date_ = nullptr;
    QLabel* dateOrder_ = nullptr;
    QComboBox* terms_box_ = nullptr;
    QLineEdit* stmntNote_ = nullptr;
    QLineEdit* notes_ = nullptr;
    QLineEdit* keyCode_ = nullptr;
    QLineEdit* shortName_ = nullptr;
    QLabel* custNo_ = nullptr;
    QLabel* custName_ = nullptr;
    QLabel* balance_ = nullptr;
    QLabel* creditLimit_ = nullptr;
    QLabel* agingTitles_[4] = {};
    QLabel* aging_[4] = {};
    QLineEdit* net_ = nullptr;
    QLineEdit* tax_ = nullptr;
    QLabel* total_ = nullptr;
    QLineEdit* paid_ = nullptr;
    QLabel* paidLabel_ = nullptr;
    QLabel* balanceDue_ = nullptr;
    QLabel* balanceDueLabel_ = nullptr;
    QLineEdit* taxRate_ = nullptr;
    QLabel* taxLabel_ = nullptr;
    QCheckBox* taxSwitch_ = nullptr;
    QCheckBox* quote_ = nullptr;
    QRadioButton* lineItem_ = nullptr;
    QRadioButton* memo_ = nullptr;
    QCheckBox* printFlag_ = nullptr;
    QStackedWidget* body_ = nullptr;
    QTableWidget* grid_ = nullptr;
    QLineEdit* memoDescription_ = nullptr;
    QLineEdit* memoQuantity_ = nullptr;
    QPlainTextEdit* memoText_ = nullptr;
    QPushButton* customerButton_ = nullptr;
    QPushButton* findProduct_ = nullptr;
    QPushButton* deleteLine_ = nullptr;
    QPushButton* insertLine_ = nullptr;
    QPushButton* makeNote_ = nullptr;
    QPushButton* topButton_ = nullptr;
    QPushButton* centreButton_ = nullptr;
    QPushButton* bottomButton_ = nullptr;
    QPushButton* calculator_ = nullptr;
    QPushButton* timeButton_ = nullptr;
    QLabel* timeStarted_ = nullptr;
    QLabel* timeElapsed_ = nullptr;
    QLabel* timeHours_ = nullptr;
    QTimer* ticker_ = nullptr;
};

// The invoice manager's New and Edit: the editor over the manager, on its open files, with
// the manager's timer panel kept up to date. shell starts the calculator (none: disabled).
InvoiceEditorHook InvoiceEditorFor(platform::Shell* shell);

}  // namespace invarro::ui
