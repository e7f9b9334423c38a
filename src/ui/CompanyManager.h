// TCompanyManager, the "Company Manager": the companies of the installation in an index
// browser, with add, edit, delete, find, the company list, the copy of customers and
// products to another company, and "&Set As Default", which closes the manager with OK so
// that the main window takes the highlighted company as the company in use.
#pragma once

#include <QDialog>
#include <string>

#include "app/CompanyManager.h"
#include "data/Records.h"
#include "storage/Engine.h"
#include "ui/IndexBrowserControl.h"
#include "ui/ManagerFrame.h"
#include "ui/WindowSupport.h"

class QAction;
class QLabel;

namespace invarro::ui {

class TCompanyManager : public QDialog, public RecordListWindow {
    Q_OBJECT
  public:
    // The list read again from the files, keeping its order and selected record.
    void refreshList() override;
    // inUse: the company in use. Opens the company file (creating or rebuilding it when
    // needed); check opened() before showing the window.
    TCompanyManager(const data::CompanyRecord& inUse, const WindowServices& services,
                    QWidget* parent = nullptr);
    ~TCompanyManager() override;

    // False after "Unable to open company database": the program ends.
    bool opened() const { return fb_ != nullptr; }
    // What the main window takes over after the manager closed with OK.
    const app::CompanyManagerResult& managerResult() const { return result_; }

    TIndexBrowser* browser() const { return browser_; }
    // The highlighted company, read again from the file.
    std::optional<app::CompanyAt> highlighted() const;
    QString countText() const;

    // The commands.
    void addCompany();
    void editCompany();
    void deleteCompany();
    void findCompany();
    void companyList();
    void setAsDefault();
    void copyTo(app::CopyMode mode);
    void setBrowseKey(int keyNo);
    void printWindow();
    void showHelp();
    void closeManager();

    // The browse key in force for the rest of the run (1 by number, 2 by name).
    static int BrowseKey();

    void reject() override;
    void done(int result) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildMenus();
    void updateCount();
    // Shows the company (recNo) in the list, on the current key.
    void positionOn(int32_t recNo, const data::CompanyRecord& company);
    void showContextMenu(const QPoint& pos);
    // The name of the company in use in its editor font.
    void showCaption();
    std::string numberInUse() const;

    data::CompanyRecord inUse_;
    WindowServices services_;
    ManagerFrame frame_;  // the window set-up, menus, tool row and bounds
    storage::Fileblock* fb_ = nullptr;
    data::CompanyRecord buffer_;  // the browser reads each row's record here
    app::CompanyManagerResult result_;

    TIndexBrowser* browser_ = nullptr;
    QLabel* caption_ = nullptr;
    QLabel* count_ = nullptr;
    QAction* byNumber_ = nullptr;
    QAction* byName_ = nullptr;
    QMenu* context_ = nullptr;
};

}  // namespace invarro::ui
