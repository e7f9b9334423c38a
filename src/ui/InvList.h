// Tinvlist: the invoice manager. It lists every transaction record of the company in use
// (invoices, quotes, repeat masters, payment and deposit records) in the index browser,
// in one of six orders, optionally only those of one customer, and runs the commands on
// the highlighted record: edit and new (through the invoice editor), delete with its
// balance effects, find, the quick view of the record with its customer, and printing
// the window. TQView is the quick view; TInvBatch the batch print dialog.
//
// The invoice editor attaches through InvoiceWindowContext::editor: while it is empty the
// New and Edit commands are disabled. Edit runs the checks of invoicing::CheckBeforeEdit
// first; the editor then gets the request, works on the manager's open files
// (invoiceFiles()) and hands back what it saved, which the manager shows.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "data/Records.h"
#include "invoicing/InvList.h"
#include "invoicing/InvManage.h"
#include "output/Canvas.h"
#include "platform/Shell.h"
#include "storage/Engine.h"
#include "ui/CustContext.h"
#include "ui/ManagerFrame.h"

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;

namespace invarro::ui {

class TIndexBrowser;
class Tinvlist;

// What New and Edit ask of the invoice editor.
struct InvoiceEditRequest {
    bool adding = true;  // New; false: Edit of the record below
    int32_t recNo = 0;   // the record to edit and its contents as the list read them
    data::InvoiceRecord asRead;
};

// What the editor hands back.
struct InvoiceEditResult {
    bool saved = false;
    int32_t recNo = 0;           // the saved header's record number
    data::InvoiceRecord record;  // the header as saved: the list is positioned on it
    std::string message;         // the status text ("Added invoice 1043 containing 2 ...")
};

// Opens the invoice editor modally for the request, over the manager (its parent, its
// open files and its company in use); returns what was saved.
using InvoiceEditorHook =
    std::function<InvoiceEditResult(Tinvlist& manager, const InvoiceEditRequest& request)>;

// A page canvas made for one print run or PDF file.
using CanvasMaker = std::function<std::unique_ptr<output::Canvas>()>;

struct InvoiceWindowContext : CustomerWindowContext {
    InvoiceEditorHook editor;          // none: New and Edit are disabled
    platform::Shell* shell = nullptr;  // opens finished PDF files; none: they are not opened
    CanvasMaker printerCanvas;         // none: the program's printer
    CanvasMaker pdfCanvas;             // none: a PDF file through Qt
};

class Tinvlist : public QDialog, public RecordListWindow {
    Q_OBJECT
  public:
    // The list read again from the files, keeping its order and selected record.
    void refreshList() override;
    static constexpr const char* kBoundsSection = "InvForm";
    static constexpr int kDesignedWidth = 622;
    static constexpr int kDesignedHeight = 543;

    explicit Tinvlist(const InvoiceWindowContext& context, QWidget* parent = nullptr);
    ~Tinvlist() override;

    // Opens the invoice, line and memo files (creating a missing one, rebuilding a
    // defective index when the user agrees), selects the order by invoice date and puts
    // the list on the company's last invoice. False when a file cannot be opened:
    // "Unable to open databases: " and the error have been shown, the program is to end.
    bool openFiles();
    // Opens the manager modally. False when its files could not be opened.
    static bool Run(const InvoiceWindowContext& context, QWidget* parent = nullptr);

    // ------------------------------------------------------------ commands
    void addInvoice();
    void editInvoice();
    void deleteInvoice();
    // The find window captioned "Find Invoice/Payment"; the hit becomes the current row.
    void findInvoice();
    // "C&ustomer Data": the quick view of the current record.
    void quickView();
    // Filter On/Off: only the records of the current row's customer, or all again.
    void toggleFilter();
    // One of the six display orders (keys 1..6); the current record stays current.
    void setDisplayKey(int keyNo);
    // "&View": the view window of the current record.
    void viewInvoice();
    // "&Print Invoice", "Print Packing &Slip", "Se&nd to PDF" and "&Batch Print".
    void printInvoice();
    void printPackingSlip();
    void sendToPdf();
    void batchPrint();
    void printerSetup();
    // "&Repeat Billing Setup": the current invoice becomes a repeat master, or a master's
    // schedule changes.
    void repeatSetup();
    void printWindow();
    void overview();
    // Print and Batch Print in e-mail mode.
    void emailInvoice(const std::string& number);
    void emailBatch(const std::vector<std::string>& numbers);

    // ------------------------------------------------------------ for the editor
    invoicing::InvoiceFiles& invoiceFiles() { return *files_; }
    const InvoiceWindowContext& context() const { return ctx_; }
    // Puts the list on the record (after an add or an edit) and refreshes the count.
    void showUnsaved();
    void showRecord(const data::InvoiceRecord& record, int32_t recNo);
    // The company name and number and the receivables total above the list.
    void refreshHeader();
    void setMessage(const QString& text);
    // Panel 2: "Timer running..." or "Timer off", the editor's work timer.
    void setTimerRunning(bool running);

    // ------------------------------------------------------------ state
    TIndexBrowser* list() const { return list_; }
    // The highlighted record and its number; false when the list is empty.
    bool currentInvoice(int32_t& recNo, data::InvoiceRecord& record);
    int displayKey() const { return keyNo_; }
    bool filterOn() const { return filterOn_; }
    QString countText() const;
    QString messageText() const;
    QString timerText() const;
    QString filterText() const;
    QString companyText() const;
    QString receivablesText() const;

  protected:
    void done(int result) override;
    void changeEvent(QEvent* event) override;

  private:
    QAction* action(const char* name, const QString& text, void (Tinvlist::*slot)());
    void buildMenus();
    template <class Body>
    void guarded(Body&& body);
    void updateCount();
    void updateTitle();
    void rowAction();
    void positionOnLastInvoice();
    void applyFilterLook();

    InvoiceWindowContext ctx_;
    ManagerFrame frame_;  // the window set-up, menus, tool row and bounds
    std::unique_ptr<platform::Clock> ownClock_;
    std::unique_ptr<invoicing::InvoiceFiles> files_;
    data::InvoiceRecord buffer_;
    int keyNo_ = invoicing::kOpeningKey;
    bool filterOn_ = false;
    std::string filterNumber_;

    TIndexBrowser* list_ = nullptr;
    QLabel* cName_ = nullptr;
    QLabel* arBal_ = nullptr;
    QLabel* cFilter_ = nullptr;
    QLabel* countPanel_ = nullptr;
    QLabel* messagePanel_ = nullptr;
    QLabel* timerPanel_ = nullptr;
    QAction* viewAct_ = nullptr;
    std::vector<QAction*> orderActs_;
};

// TQView: the quick view of one transaction with its customer's account.
class TQView : public QDialog {
    Q_OBJECT
  public:
    TQView(const invoicing::QuickView& view, QWidget* parent = nullptr);
};

// TInvBatch: the batch print dialog. It says how many records wait and what will be
// printed, and lets the user lower the number to print in this cycle.
class TInvBatch : public QDialog {
    Q_OBJECT
  public:
    TInvBatch(int found, bool eMail, const data::CompanyRecord& company,
              platform::Prompter& prompter, std::function<void(const std::string&)> help,
              QWidget* parent = nullptr);
    // The number to process after OK: at most the number found.
    int count() const { return count_; }
    QLineEdit* numberField() const { return batchNum_; }

  protected:
    void accept() override;

  private:
    int found_;
    int count_ = 0;
    platform::Prompter& prompter_;
    QLineEdit* batchNum_ = nullptr;
};

}  // namespace invarro::ui
