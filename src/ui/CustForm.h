// TCustForm: the customer manager. It lists the customers of the company in use in the
// index browser and runs every customer command: add, edit (with renumbering), delete,
// the customer list, the card, the envelope, the label queue, the clipboard and the
// browse order. Opened as a picker it returns the customer chosen by double-click or
// Enter through the shared selected-customer record.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "customers/CustEdit.h"
#include "data/EInvoiceData.h"
#include "data/Open.h"
#include "data/Records.h"
#include "storage/Engine.h"
#include "ui/CustContext.h"
#include "ui/ManagerFrame.h"
#include "ui/WindowSupport.h"

class QAction;
class QLabel;

namespace invarro::ui {

class TIndexBrowser;

class TCustForm : public QDialog, public RecordListWindow {
    Q_OBJECT
  public:
    // The list read again from the files, keeping its order and selected record.
    void refreshList() override;
    enum class Mode { Manage, Pick };

    TCustForm(const CustomerWindowContext& context, Mode mode, QWidget* parent = nullptr);
    ~TCustForm() override;

    // Opens the customer file (creating it, or rebuilding its index when the user agrees)
    // and fills the list on the remembered order. False when the file cannot be opened:
    // "Unable to open database" has been shown and the program is to end.
    bool openFiles();
    // Picker: puts the list on the shared selected customer. "Customer Search operation
    // failed" when that fails.
    void showSelectedCustomer();

    // Opens the manager modally. False when the customer file could not be opened.
    static bool Run(const CustomerWindowContext& context, QWidget* parent = nullptr);
    // Opens it as a picker, on the selected customer when showSelected is set. True when
    // a customer was picked into the shared selected-customer record; nothing when the
    // customer file could not be opened.
    static std::optional<bool> Pick(const CustomerWindowContext& context, bool showSelected,
                                    QWidget* parent = nullptr);

    // The browse order of the program run: key 1 by name or key 2 by number.
    static int BrowseKey();

    // The commands.
    void newCustomer();
    void editCustomer();
    void deleteCustomer();
    // Stores the customer's e-invoicing record under number (an empty one is removed),
    // moving it from oldNumber when the customer was renumbered; inside the caller's
    // posting. Throws CustomerError when it cannot be written.
    void storeEInvoice(const std::string& oldNumber, const std::string& number,
                       const data::CustomerEInvoice& e, platform::Prompter& prompter);
    // "Find Customer": the find window; the list is positioned on the customer picked.
    void findCustomer();
    void customerList();
    void printCard();
    void printWindow();
    void printEnvelope();
    void addToLabelQueue();
    // The label wizard on the program's queue, reading this window's customer file.
    void labelWizard();
    void copyToClipboard();
    // "Customer Export to File" and "Customer Import". An import that stored rows closes
    // the manager, after which Run rebuilds the company's files.
    void exportCustomers();
    void importCustomers();
    void setBrowseKey(int keyNo);
    // "View/Print Statement" of the highlighted customer and "Batch Print Statements".
    void viewStatement();
    void batchStatements();
    void overview();
    // Double-click or Enter on a row: picks the customer in picker mode.
    void rowAction();

    bool picked() const { return picked_; }
    bool rebuildPending() const { return rebuildPending_; }
    // The rebuild of the company's files after an import: the main window's when the
    // context has it, else done here with the context's status window.
    static void RebuildAfterImport(const CustomerWindowContext& context);
    TIndexBrowser* list() const { return list_; }
    QString countText() const;
    QString messageText() const;
    // The highlighted customer and its record number; false when the list is empty.
    bool currentCustomer(int32_t& recNo, data::CustomerRecord& record);

  protected:
    void done(int result) override;

  private:
    QAction* action(const char* name, const QString& text, void (TCustForm::*slot)());
    // Where the customer logic works, with the invoice and line files the caller holds.
    customers::CustomerFiles customerFiles() const;
    // Opens the company's invoice file unless the caller holds it; false when it cannot
    // be read (the message has been shown).
    bool openInvoices(data::ExistingFileblock& invoices) const;
    void buildMenus();
    // Runs a command; an error it raises is shown and the window stays usable.
    template <class Body>
    void guarded(Body&& body);
    void positionOn(const data::CustomerRecord& record, int32_t recNo);
    void updateCount();
    void setMessage(const QString& text);
    void updateTitle();
    WindowServices services() const;

    CustomerWindowContext ctx_;
    Mode mode_;
    ManagerFrame frame_;  // the window set-up, menus, tool row and bounds
    storage::Fileblock* fb_ = nullptr;
    data::CustomerRecord buffer_;
    bool picked_ = false;
    bool rebuildPending_ = false;
    std::unique_ptr<platform::Clock> ownClock_;

    TIndexBrowser* list_ = nullptr;
    QLabel* caption_ = nullptr;
    QLabel* countPanel_ = nullptr;
    QLabel* messagePanel_ = nullptr;
    QAction* byName_ = nullptr;
    QAction* byNumber_ = nullptr;
};

}  // namespace invarro::ui
