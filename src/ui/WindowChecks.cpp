#include "ui/WindowChecks.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAccessible>
#include <QAccessibleInterface>
#include <QMenu>
#include <QScrollArea>
#include <QToolBar>
#include <QWidget>
#include <algorithm>
#include <functional>

namespace invarro::ui {

namespace {

std::string Where(QWidget* window, QObject* o) {
    std::string s = window->windowTitle().toStdString();
    if (s.empty()) s = window->objectName().toStdString();
    s += ": ";
    if (!o) return s + "(unknown)";
    s += o->metaObject()->className();
    if (!o->objectName().isEmpty()) {
        s += " \"" + o->objectName().toStdString() + "\"";
    } else if (QObject* p = o->parent()) {
        s += " in " + std::string(p->metaObject()->className());
        if (!p->objectName().isEmpty()) s += " \"" + p->objectName().toStdString() + "\"";
    }
    return s;
}

bool IsField(QAccessible::Role role) {
    return role == QAccessible::EditableText || role == QAccessible::ComboBox ||
           role == QAccessible::SpinBox;
}

bool IsControl(QAccessible::Role role) {
    switch (role) {
        case QAccessible::Button:
        case QAccessible::CheckBox:
        case QAccessible::RadioButton:
        case QAccessible::ButtonMenu:
        case QAccessible::ButtonDropDown:
        case QAccessible::Table:
        case QAccessible::List:
        case QAccessible::Tree:
        case QAccessible::Slider:
        case QAccessible::PageTabList:
            return true;
        default:
            return IsField(role);
    }
}

}  // namespace

QAbstractButton* ToolBarOverflowButton(QToolBar* bar) {
    return bar ? bar->findChild<QAbstractButton*>(QStringLiteral("qt_toolbar_ext_button"),
                                                  Qt::FindDirectChildrenOnly)
               : nullptr;
}

namespace {

// The widget behind an interface, when it is one (cells of a table are not).
QWidget* WidgetOf(QAccessibleInterface* i) {
    return i && i->object() && i->object()->isWidgetType() ? static_cast<QWidget*>(i->object())
                                                           : nullptr;
}

}  // namespace

std::vector<std::string> AccessibilityProblems(QWidget* window) {
    std::vector<std::string> problems;
    std::function<void(QAccessibleInterface*, int)> walk = [&](QAccessibleInterface* i, int depth) {
        if (!i || !i->isValid() || depth > 40) return;
        QWidget* w = WidgetOf(i);
        // Only what is on screen is read out; a cell's own children are the table's.
        if (w && !w->isVisibleTo(window)) return;
        if (w && w != window) {
            const QAccessible::Role role = i->role();
            const QString name = i->text(QAccessible::Name).trimmed();
            if (IsField(role)) {
                const bool labelled = !i->relations(QAccessible::Label).isEmpty();
                if (!labelled && name.isEmpty())
                    problems.push_back(Where(window, w) + " is a field without a label");
            } else if (IsControl(role) && std::none_of(name.begin(), name.end(), [](QChar c) {
                           return c.isLetterOrNumber();
                       })) {
                // "..." or ">>" says nothing either.
                problems.push_back(Where(window, w) + " has no name");
            }
            // The rows of a table are its own; the table was checked as a whole.
            if (role == QAccessible::Table || role == QAccessible::Tree ||
                role == QAccessible::List)
                return;
        }
        for (int c = 0; c < i->childCount(); ++c)
            walk(i->child(c), depth + 1);
    };
    walk(QAccessible::queryAccessibleInterface(window), 0);
    // A tool bar's overflow button shows only when the window is too narrow for its tools;
    // it is checked whenever its tool bar shows, as narrower screens will show it.
    for (QToolBar* bar : window->findChildren<QToolBar*>()) {
        QAbstractButton* more = ToolBarOverflowButton(bar);
        if (!bar->isVisibleTo(window) || !more || more->isVisibleTo(window)) continue;
        QAccessibleInterface* i = QAccessible::queryAccessibleInterface(more);
        if (!i || i->text(QAccessible::Name).trimmed().isEmpty())
            problems.push_back(Where(window, bar) + ": its overflow button has no name");
    }
    return problems;
}

std::vector<std::string> PlacementProblems(QWidget* window, const QRect& workArea, int frame) {
    std::vector<std::string> problems;
    const QString title = window->windowTitle();
    // The window's position is its frame's; the frame adds `frame` to its height.
    const QRect outer(window->pos(), window->size() + QSize(0, frame));
    if (!workArea.contains(outer)) {
        problems.push_back(
            title.toStdString() + ": the window (" + std::to_string(window->width()) + "x" +
            std::to_string(window->height()) + " at " + std::to_string(window->x()) + "," +
            std::to_string(window->y()) + ", frame " + std::to_string(frame) + ", at least " +
            std::to_string(window->minimumSizeHint().height()) +
            " high) is not inside the work area " + std::to_string(workArea.width()) + "x" +
            std::to_string(workArea.height()));
    }
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        if (!b->isVisibleTo(window) || b->window() != window) continue;
        // Buttons inside a scrolled area scroll into view; the others must be in it.
        bool scrolled = false;
        for (QWidget* p = b->parentWidget(); p && p != window; p = p->parentWidget())
            if (qobject_cast<QScrollArea*>(p)) scrolled = true;
        if (scrolled) continue;
        const QRect r(b->mapTo(window, QPoint(0, 0)), b->size());
        if (!window->rect().contains(r))
            problems.push_back(Where(window, b) + " \"" + b->text().toStdString() +
                               "\" is cut off by the window's edge");
    }
    return problems;
}

}  // namespace invarro::ui
