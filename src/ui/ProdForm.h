// TEditProd: the product manager. It lists the products of the company in use in the
// index browser by code or by description and runs every product command: add, edit,
// delete, find, the one-product page, the product list and the window print. Opened as a
// picker (for an invoice line) it starts on a given code and description and returns the
// product chosen by double-click or Enter.
#pragma once

#include <QDialog>
#include <memory>
#include <optional>
#include <string>

#include "data/Import.h"
#include "data/Records.h"
#include "storage/Engine.h"
#include "ui/CustContext.h"
#include "ui/ManagerFrame.h"
#include "ui/WindowSupport.h"

class QAction;
class QLabel;

namespace invarro::ui {

class TIndexBrowser;

// The product windows need what the customer windows need: the data folder, the company
// in use, the message boxes, the status window, the clock and help.
using ProductWindowContext = CustomerWindowContext;

// Opens the product manager as a picker, positioned on startCode in the code order or on
// startDesc in the description order (the first product when they are empty). Returns
// the whole product record chosen by double-click or Enter; nothing when the window is
// closed any other way or the product file cannot be opened ("Unable to open database"
// has been shown then, and the caller carries on).
std::optional<data::ProductRecord> PickProduct(QWidget* parent, const ProductWindowContext& context,
                                               const std::string& startCode,
                                               const std::string& startDesc);

class TEditProd : public QDialog, public RecordListWindow {
    Q_OBJECT
  public:
    // The list read again from the files, keeping its order and selected record.
    void refreshList() override;
    enum class Mode { Manage, Pick };

    TEditProd(const ProductWindowContext& context, Mode mode, QWidget* parent = nullptr);
    ~TEditProd() override;

    // Opens the product file (creating it, or rebuilding its index when the user agrees)
    // and fills the list on the remembered order. False when the file cannot be opened:
    // "Unable to open database" has been shown and the window is not to be shown.
    bool openFiles();
    // Puts the list on the product with this code (code order) or description
    // (description order), or on the one after where it would be.
    void positionAt(const std::string& code, const std::string& description);

    // Opens the manager modally. False when the product file could not be opened.
    static bool Run(const ProductWindowContext& context, QWidget* parent = nullptr);

    // The browse order of the program run: key 1 by code or key 2 by description.
    static int BrowseKey();

    // The commands.
    void newProduct();
    void editProduct();
    void deleteProduct();
    std::string prefix() const;
    // "Find Product": the find window; the list is positioned on the product picked.
    void findProduct();
    void printProduct();
    void productList();
    void printWindow();
    // "Product Export to File" and "Product Import". An import that stored rows closes the
    // manager, after which Run rebuilds the product file and reports the import.
    void exportProducts();
    void importProducts();
    void setBrowseKey(int keyNo);
    void overview();
    // Double-click or Enter on a row: picks the product in picker mode, edits otherwise.
    void rowAction();

    const std::optional<data::ProductRecord>& picked() const { return picked_; }
    bool rebuildPending() const { return rebuildPending_; }
    // After an import has closed the manager: rebuilds the product file (the status window
    // of the context shows it) and tells what the import did.
    static void FinishImport(const ProductWindowContext& context, const data::ImportResult& result);
    TIndexBrowser* list() const { return list_; }
    QString countText() const;
    QString messageText() const;
    // The highlighted product and its record number; false when the list is empty.
    bool currentProduct(int32_t& recNo, data::ProductRecord& record);

  protected:
    void done(int result) override;

  private:
    QAction* action(const char* name, const QString& text, void (TEditProd::*slot)());
    void buildMenus();
    template <class Body>
    void guarded(Body&& body);
    void positionOn(const data::ProductRecord& record, int32_t recNo);
    void updateCount();
    void setMessage(const QString& text);
    std::string today() const;
    WindowServices services() const;

    ProductWindowContext ctx_;
    Mode mode_;
    ManagerFrame frame_;  // the window set-up, menus, tool row and bounds
    storage::Fileblock* fb_ = nullptr;
    data::ProductRecord buffer_;
    std::optional<data::ProductRecord> picked_;
    bool rebuildPending_ = false;
    data::ImportResult imported_;
    std::unique_ptr<platform::Clock> ownClock_;

    TIndexBrowser* list_ = nullptr;
    QLabel* caption_ = nullptr;
    QLabel* countPanel_ = nullptr;
    QLabel* messagePanel_ = nullptr;
    QAction* byCode_ = nullptr;
    QAction* byDescription_ = nullptr;
};

}  // namespace invarro::ui
