// The frame every manager window (companies, customers, products, invoices) is built in:
// a modal, resizable dialog whose layout puts the menu bar, the row of tool buttons, the
// window's heading rows, the record list and the status bar under each other, and which
// opens at its stored bounds or, the first time, sized to its columns and records.
//
// A window makes its frame first, fills the menus, the list's right-click menu and the
// tool row from its commands, adds its heading rows, and finishes with the list and the
// status bar; its done() saves the bounds and the list's column widths through the frame.
// Above the list a search box ("SearchBox") moves the list as the user types to the
// records whose key on the current order starts with the text.
#pragma once

#include <QKeySequence>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QLineEdit;
class QDialog;
class QLayout;
class QMenu;
class QMenuBar;
class QStatusBar;
class QVBoxLayout;
class QWidget;

namespace invarro::ui {

class TIndexBrowser;

// A window listing stored records. refreshList() reads its list again from the files,
// keeping the order and the selected record (or the one after it when that one is gone),
// with the counts the window shows: after another window changed the records, or when the
// files report a change made elsewhere.
class RecordListWindow {
  public:
    virtual ~RecordListWindow() = default;
    virtual void refreshList() = 0;
};

class ManagerFrame {
  public:
    // Commands of a menu in order; a null entry is a separator.
    using Entries = std::vector<QAction*>;
    // A tool button: its object name, caption, hint and command; a null command is a
    // separator in a tool bar.
    struct Tool {
        const char* name;
        const char* text;
        const char* hint;
        QAction* command;
    };
    enum class ToolRow {
        Buttons,  // a row of flat buttons, then free room
        Bar,      // a tool bar: buttons that do not fit stay reachable through its » menu
    };

    ManagerFrame(QDialog* window, const char* objectName, std::string folder,
                 std::string boundsSection);

    QMenuBar* menuBar() const { return bar_; }

    // A menu of the menu bar.
    QMenu* addMenu(const QString& title, const Entries& entries);
    // Keyboard shortcuts of the window's commands (Ctrl+N new, Ctrl+F find, Ctrl+P print,
    // Delete, F1 help): shown beside the commands in the menus and working anywhere in the
    // window; a text field keeps the editing keys it uses (Delete) for itself.
    struct Shortcut {
        QAction* command;
        QKeySequence keys;
    };
    void addShortcuts(const std::vector<Shortcut>& shortcuts);
    // The list's right-click menu, named "PopupMenu", opened where the list is clicked.
    QMenu* addListPopup(QWidget* list, const Entries& entries);
    // The tool row under the menu bar; a bar is named barName.
    void addTools(const std::vector<Tool>& tools, ToolRow kind = ToolRow::Buttons,
                  const char* barName = "ToolBar");
    // A tool row the window built itself (its buttons do more than trigger a command).
    void addToolRow(QWidget* row);
    void addHeading(QWidget* row);
    void addHeading(QLayout* row);
    // The list (taking the free height) and the status bar; then the window is placed:
    // its stored bounds, or on first open a size that shows the list's columns and up to
    // rows() records within the designed size's proportions, centred on its parent.
    void finish(TIndexBrowser* list, QStatusBar* status, int designedWidth, int designedHeight,
                std::function<int()> rows);
    void saveBounds() const;
    QLineEdit* searchBox() const { return search_; }

    // Fills a menu with commands in order, a null entry as a separator.
    static void AddEntries(QMenu* menu, const Entries& entries);

  private:
    QDialog* window_;
    std::string folder_;
    std::string boundsSection_;
    QVBoxLayout* layout_ = nullptr;
    QMenuBar* bar_ = nullptr;
    int toolRows_ = 0;  // rows placed under the menu bar so far
    TIndexBrowser* list_ = nullptr;
    QLineEdit* search_ = nullptr;
};

}  // namespace invarro::ui
