#include "ui/ManagerFrame.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "data/IniFile.h"
#include "storage/Browser.h"
#include "ui/ChangeWatcher.h"
#include "ui/IndexBrowserControl.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

ManagerFrame::ManagerFrame(QDialog* window, const char* objectName, std::string folder,
                           std::string boundsSection)
    : window_(window), folder_(std::move(folder)), boundsSection_(std::move(boundsSection)) {
    SetUpManagerDialog(window_, objectName);
    layout_ = MakeManagerLayout(window_);
    bar_ = new QMenuBar(window_);
    layout_->setMenuBar(bar_);
}

void ManagerFrame::AddEntries(QMenu* menu, const Entries& entries) {
    for (QAction* a : entries) {
        if (a)
            menu->addAction(a);
        else
            menu->addSeparator();
    }
}

QMenu* ManagerFrame::addMenu(const QString& title, const Entries& entries) {
    QMenu* menu = bar_->addMenu(title);
    AddEntries(menu, entries);
    return menu;
}

QMenu* ManagerFrame::addListPopup(QWidget* list, const Entries& entries) {
    QMenu* popup = MakeListPopup(window_, list);
    AddEntries(popup, entries);
    return popup;
}

void ManagerFrame::addTools(const std::vector<Tool>& tools, ToolRow kind, const char* barName) {
    if (kind == ToolRow::Bar) {
        auto* bar = new QToolBar(window_);
        bar->setObjectName(barName);
        bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        for (const Tool& t : tools) {
            if (t.command)
                bar->addWidget(MakeCommandButton(window_, t.name, t.text, t.hint, t.command));
            else
                bar->addSeparator();
        }
        addToolRow(bar);
        return;
    }
    auto* row = new QHBoxLayout;
    row->setSpacing(2);
    for (const Tool& t : tools)
        if (t.command)
            row->addWidget(MakeCommandButton(window_, t.name, t.text, t.hint, t.command));
    row->addStretch(1);
    layout_->insertLayout(toolRows_++, row);
}

void ManagerFrame::addShortcuts(const std::vector<Shortcut>& shortcuts) {
    for (const Shortcut& s : shortcuts) {
        if (!s.command) continue;
        s.command->setShortcut(s.keys);
        s.command->setShortcutContext(Qt::WindowShortcut);
        s.command->setShortcutVisibleInContextMenu(true);
        window_->addAction(s.command);
    }
}

void ManagerFrame::addToolRow(QWidget* row) {
    layout_->insertWidget(toolRows_++, row);
}

void ManagerFrame::addHeading(QWidget* row) {
    layout_->addWidget(row);
}

void ManagerFrame::addHeading(QLayout* row) {
    layout_->addLayout(row);
}

namespace {

constexpr const char* kWidthsKey = "ColumnWidths";

// The search box hands the keys that move through the list (and Enter, which opens the
// highlighted record) to the list, so that the hands stay on the keyboard while typing.
class SearchKeys : public QObject {
  public:
    SearchKeys(QLineEdit* box, TIndexBrowser* list) : QObject(box), list_(list) {
        box->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
            case Qt::Key_Return:
            case Qt::Key_Enter: {
                QKeyEvent copy(QEvent::KeyPress, key->key(), key->modifiers(), key->text());
                QApplication::sendEvent(list_, &copy);
                return true;
            }
            default:
                return false;
        }
    }

  private:
    TIndexBrowser* list_;
};

QString SearchHint(const TIndexBrowser* list) {
    const int column = data::ColumnOfKey(list->Columns(), list->CurrentKeyNumber());
    if (column < 0) return QStringLiteral("Type to go to a record");
    const std::string_view title = list->Columns()[size_t(column)].title;
    return QStringLiteral("Type to go to a record by %1")
        .arg(QString::fromUtf8(title.data(), qsizetype(title.size())));
}

}  // namespace

void ManagerFrame::finish(TIndexBrowser* list, QStatusBar* status, int designedWidth,
                          int designedHeight, std::function<int()> rows) {
    list_ = list;
    // What other programs change in the list's fileblock shows within about a second.
    if (auto* listWindow = dynamic_cast<RecordListWindow*>(window_))
        ChangeWatcher::instance().watchList(window_, listWindow, [list] {
            return list->browser() ? list->browser()->fileblock() : nullptr;
        });
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("Se&arch:"), window_);
    label->setObjectName("SearchLabel");
    search_ = new QLineEdit(window_);
    search_->setObjectName("SearchBox");
    search_->setClearButtonEnabled(true);
    search_->setAccessibleName(QStringLiteral("Search"));
    search_->setPlaceholderText(SearchHint(list));
    label->setBuddy(search_);
    row->addWidget(label);
    row->addWidget(search_, 1);
    layout_->addLayout(row);
    new SearchKeys(search_, list);
    QObject::connect(search_, &QLineEdit::textEdited, search_, [this](const QString& text) {
        bool found = true;
        try {
            found = list_->SearchTyped(text);
        } catch (const storage::BrowserError&) {
            found = false;
        }
        // No key starts with the text: the box says so, the list stays where it went. Only
        // those colours are set, so that the box otherwise keeps following the theme.
        QPalette p;
        if (!found) p.setColor(QPalette::Base, QColor(255, 220, 220));
        if (!found) p.setColor(QPalette::Text, QColor(Qt::black));
        search_->setPalette(p);
        search_->setToolTip(found ? QString() : QStringLiteral("No record starts with this"));
    });
    // The hint names the order the search goes by.
    QObject::connect(list, &TIndexBrowser::RowChanged, search_,
                     [this] { search_->setPlaceholderText(SearchHint(list_)); });
    layout_->addWidget(list, 1);
    layout_->addWidget(status);
    const data::IniFile ini(data::IniFilePath(folder_));
    if (auto stored = ini.read(boundsSection_, kWidthsKey)) {
        std::vector<int> widths;
        for (const QString& w : QString::fromStdString(*stored).split(QLatin1Char(',')))
            widths.push_back(std::clamp(w.trimmed().toInt(), 0, 4000));
        list->SetColumnWidths(widths);
    }
    PlaceManagerWindow(window_, list, folder_, boundsSection_, designedWidth, designedHeight,
                       std::move(rows));
}

void ManagerFrame::saveBounds() const {
    SaveBounds(window_, folder_, boundsSection_);
    if (!list_ || list_->Columns().empty()) return;
    QStringList widths;
    for (int w : list_->ColumnWidths())
        widths << QString::number(w);
    data::IniFile ini(data::IniFilePath(folder_));
    ini.writeString(boundsSection_, kWidthsKey, widths.join(QLatin1Char(',')).toStdString());
}

}  // namespace invarro::ui
