// TFindForm, the "Find..." window shared by the managers: a text to find, a sequential
// search of one record kind with a progress bar, the matching records in columns, and the
// row the user picks. The caller passes the fileblock it has open and positions its
// browser on the picked record.
#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include "customers/Find.h"
#include "storage/Engine.h"
#include "ui/WindowSupport.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace invarro::ui {

class TFindForm : public QDialog {
    Q_OBJECT
  public:
    // fb is a fileblock of the mode's record kind, open for as long as the window is.
    TFindForm(storage::Fileblock* fb, customers::FindMode mode, const QString& title,
              const WindowServices& services, QWidget* parent = nullptr);

    // Empties the entry and the list and sets the columns of the mode.
    void Open(customers::FindMode mode);

    // The "Find" button.
    void find();
    // Double-click or Enter on the focused row: closes with OK. Without one, a beep.
    void pick();
    // Sorts the rows by a column's text; the same column again reverses the order.
    void sortByColumn(int column);

    const std::vector<customers::FindRow>& rows() const { return rows_; }
    std::optional<customers::FindRow> picked() const { return picked_; }
    bool searching() const { return searching_; }
    QString statusText() const;

    void reject() override;
    void done(int result) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void updateFindButton();
    void showRows();

    storage::Fileblock* fb_;
    customers::FindMode mode_;
    WindowServices services_;
    QLineEdit* entry_;
    QPushButton* findButton_;
    QTreeWidget* list_;
    QProgressBar* progress_;
    QLabel* status_;
    std::vector<customers::FindRow> rows_;
    std::optional<customers::FindRow> picked_;
    bool searching_ = false;
    bool stopRequested_ = false;
    bool closeWhenStopped_ = false;
    bool searchedThisText_ = false;
    int sortColumn_ = -1;
    bool sortDescending_ = false;
};

}  // namespace invarro::ui
