#include "ui/ManagerFrame.h"

#include <QAction>
#include <QDialog>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <utility>

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

void ManagerFrame::addToolRow(QWidget* row) {
    layout_->insertWidget(toolRows_++, row);
}

void ManagerFrame::addHeading(QWidget* row) {
    layout_->addWidget(row);
}

void ManagerFrame::addHeading(QLayout* row) {
    layout_->addLayout(row);
}

void ManagerFrame::finish(TIndexBrowser* list, QStatusBar* status, int designedWidth,
                          int designedHeight, std::function<int()> rows) {
    layout_->addWidget(list, 1);
    layout_->addWidget(status);
    PlaceManagerWindow(window_, list, folder_, boundsSection_, designedWidth, designedHeight,
                       std::move(rows));
}

void ManagerFrame::saveBounds() const {
    SaveBounds(window_, folder_, boundsSection_);
}

}  // namespace invarro::ui
