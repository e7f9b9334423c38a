// The user's seat: what a person does at the program's windows, and nothing more. Widgets
// are found as a person sees them (their caption, their label, the window's title) and
// used with the mouse and the keyboard; a modal window that opens is handled inside its
// own event loop by the code given for it, and one that nobody expected is reported and
// closed, so that a test never hangs.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

// Texts in failure messages as they read.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace invarro::testing {

// A caption as it reads on screen: without its "&" mnemonic marks.
inline QString Shown(QString text) {
    text.replace("&&", "\x01");
    text.remove('&');
    text.replace("\x01", "&");
    return text;
}

// What a window shows a person, for failure messages: its title and, for a message box,
// its text.
inline std::string Describe(QWidget* w) {
    if (!w) return "(no window)";
    std::string s =
        "\"" + w->windowTitle().toStdString() + "\" (" + w->metaObject()->className() + ")";
    if (auto* box = qobject_cast<QMessageBox*>(w)) s += ": " + box->text().toStdString();
    return s;
}

// The button of the window with this caption (mnemonics ignored) or object name, visible
// on screen.
inline QAbstractButton* ButtonIn(QWidget* window, const QString& caption) {
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
        if (b->isVisible() && (Shown(b->text()).compare(caption, Qt::CaseInsensitive) == 0 ||
                               b->objectName() == caption))
            return b;
    return nullptr;
}

// The visible child of this type and object name.
template <class T>
T* Named(QWidget* window, const QString& name) {
    for (T* w : window->findChildren<T*>(name))
        if (w->isVisible()) return w;
    return nullptr;
}

// The field a label stands for: the label's buddy, found by the label's caption.
inline QWidget* FieldLabelled(QWidget* window, const QString& caption) {
    for (QLabel* l : window->findChildren<QLabel*>())
        if (l->isVisible() && Shown(l->text()) == caption && l->buddy()) return l->buddy();
    return nullptr;
}

// The widget that takes the keys, as the keyboard sees it.
inline QWidget* KeyTarget() {
    if (QWidget* f = QApplication::focusWidget()) return f;
    if (QWidget* m = QApplication::activeModalWidget()) return m;
    return QApplication::activeWindow();
}

// Keys go to the widget with the focus, as they do from a keyboard.
inline void Press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QWidget* to = KeyTarget();
    ASSERT_NE(to, nullptr) << "no widget takes the keys";
    QTest::keyClick(to, key, mods);
}
inline void Type(const QString& text) {
    for (QChar c : text) {
        QWidget* to = KeyTarget();
        ASSERT_NE(to, nullptr) << "no widget takes the keys";
        QTest::keyClick(to, c.toLatin1());
    }
}

// A click with the mouse on a widget a person can see and use.
inline void Click(QWidget* w, Qt::MouseButton button = Qt::LeftButton, QPoint at = QPoint()) {
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->isVisible()) << w->objectName().toStdString() << " is not on screen";
    ASSERT_TRUE(w->isEnabled()) << w->objectName().toStdString() << " is disabled";
    QTest::mouseClick(w, button, Qt::NoModifier, at.isNull() ? w->rect().center() : at);
}
inline void ClickButton(QWidget* window, const QString& caption) {
    QAbstractButton* b = ButtonIn(window, caption);
    ASSERT_NE(b, nullptr) << "no button \"" << caption.toStdString() << "\" in "
                          << Describe(window);
    Click(b);
}

// Clicks into a text field and types its new text over what it held.
inline void FillIn(QWidget* field, const QString& text) {
    ASSERT_NE(field, nullptr);
    Click(field);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    Press(Qt::Key_Delete);
    Type(text);
}

// Picks an entry of an open popup or menu with the mouse.
inline void ChooseInMenu(QMenu* menu, const QString& caption) {
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(menu->isVisible()) << "the menu is not open";
    for (QAction* a : menu->actions()) {
        if (Shown(a->text()) != caption) continue;
        ASSERT_TRUE(a->isEnabled()) << caption.toStdString() << " is disabled";
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(a).center());
        return;
    }
    FAIL() << "no entry \"" << caption.toStdString() << "\" in the menu";
}

// Opens a menu of the window's menu bar with the mouse and chooses an entry in it.
inline void FromMenu(QWidget* window, const QString& menuCaption, const QString& entry) {
    QMenuBar* bar = nullptr;
    for (QMenuBar* b : window->findChildren<QMenuBar*>())
        if (b->window() == window) bar = b;
    ASSERT_NE(bar, nullptr) << "no menu bar in " << Describe(window);
    for (QAction* a : bar->actions()) {
        if (Shown(a->text()) != menuCaption || !a->menu()) continue;
        Click(bar, Qt::LeftButton, bar->actionGeometry(a).center());
        ASSERT_TRUE(QTest::qWaitFor([&] { return a->menu()->isVisible(); }, 2000))
            << "the menu " << menuCaption.toStdString() << " did not open";
        ChooseInMenu(a->menu(), entry);
        return;
    }
    FAIL() << "no menu \"" << menuCaption.toStdString() << "\" in " << Describe(window);
}

// Closes a window as a person who does not want it would: No (or the box's only button)
// in a message box, Escape in a dialog.
inline void Dismiss(QWidget* w) {
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
        QAbstractButton* b = box->button(QMessageBox::No);
        if (!b) b = box->escapeButton();
        if (!b && !box->buttons().isEmpty()) b = box->buttons().last();
        if (b) {
            b->click();
            return;
        }
    }
    if (auto* d = qobject_cast<QDialog*>(w)) {
        d->reject();
        return;
    }
    w->close();
}

// No window may open while act runs (and for a moment after it, for what it queued): one
// that does is a failure, named with what it says, and dismissed.
inline void NoWindow(const std::function<void()>& act, int settleMs = 300) {
    // The windows open before act; act may close some of them.
    QList<QPointer<QWidget>> before;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) before.append(w);
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || before.contains(w) || !w->isVisible()) return;
        ADD_FAILURE() << "a window opened: " << Describe(w);
        Dismiss(w);
    });
    timer.start();
    act();
    QTest::qWait(settleMs);
    timer.stop();
}

// Windows open modally one after the other after act (a print dialog, then the save
// dialog it leads to): each handler runs inside the loop of its window once it shows,
// and must close it (or leave it to a button it clicks). A window still open after its
// handler is a failure and is closed. A window that does not come within waitMs is a
// failure too. Returns how many came.
inline int OnModals(const std::function<void()>& act,
                    const std::vector<std::function<void(QWidget*)>>& handlers,
                    int waitMs = 10000) {
    QPointer<QWidget> before = QApplication::activeModalWidget();
    // The windows already open: coming back to one of them, when a window over it closes,
    // is not a window act opens.
    QList<QPointer<QWidget>> open;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) open.append(w);
    size_t next = 0;
    bool over = handlers.empty();
    QTimer timer;
    QElapsedTimer clock;
    clock.start();
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w == before || open.contains(w) || !w->isVisible()) {
            if (clock.elapsed() < waitMs) return;
            timer.stop();
            over = true;
            ADD_FAILURE() << "the expected window did not open (window " << next + 1 << " of "
                          << handlers.size() << ")";
            return;
        }
        timer.stop();
        QPointer<QWidget> shown = w;
        open.append(w);
        // The keys go to it once the desktop has made it the active window (the
        // offscreen desktop does not always do so for a window over another modal one).
        (void)QTest::qWaitForWindowExposed(w, 2000);
        if (!QTest::qWaitForWindowActive(w, 500)) QApplication::setActiveWindow(w);
        handlers[next++](w);
        if (shown && shown->isVisible() && QApplication::activeModalWidget() == shown) {
            ADD_FAILURE() << "left open: " << Describe(shown);
            Dismiss(shown);
        }
        // The desktop gives the keys back to the window beneath once this one is closed.
        if (before && before->isVisible() && QApplication::activeWindow() != before &&
            !QTest::qWaitForWindowActive(before, 300))
            QApplication::setActiveWindow(before);
        if (next == handlers.size()) {
            over = true;
            return;
        }
        clock.restart();
        timer.start();
    });
    timer.start();
    act();
    // A window may open after act returns (a queued command): wait for it.
    if (!over) (void)QTest::qWaitFor([&] { return over; }, int(handlers.size()) * waitMs + 5000);
    timer.stop();
    return int(next);
}

// One window opens modally after act; handle runs inside its loop (see OnModals).
// Returns whether it came.
inline bool OnModal(const std::function<void()>& act, const std::function<void(QWidget*)>& handle,
                    int waitMs = 10000) {
    return OnModals(act, {handle}, waitMs) == 1;
}

// A message box opens after act: its text must hold needle; answer clicks the button of
// that caption ("OK", "Yes", "No", ...).
inline void OnMessage(const std::function<void()>& act, const std::string& needle,
                      const QString& answer = "OK", std::string* text = nullptr) {
    OnModal(act, [&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr) << "not a message box: " << Describe(w);
        const std::string shown = box->text().toStdString();
        if (text) *text = shown;
        EXPECT_NE(shown.find(needle), std::string::npos) << "the box says: " << shown;
        ClickButton(box, answer);
    });
}

// Watches for windows nobody handles: a modal window that stands for fifteen seconds is
// reported with what it says and closed.
class Watchdog {
  public:
    Watchdog() {
        timer_.setInterval(250);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (w != seen_) {
                seen_ = w;
                since_.start();
                return;
            }
            if (w && since_.elapsed() > 15000) {
                ADD_FAILURE() << "a window nobody expected: " << Describe(w);
                Dismiss(w);
                seen_ = nullptr;
            }
        });
        since_.start();
        timer_.start();
    }

  private:
    QTimer timer_;
    QPointer<QWidget> seen_;
    QElapsedTimer since_;
};

}  // namespace invarro::testing
