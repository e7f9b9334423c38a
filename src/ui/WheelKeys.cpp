#include "ui/WheelKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWheelEvent>
#include <QWidget>

namespace invarro::ui {

WheelKeys* WheelKeys::Install() {
    auto* filter = new WheelKeys(qApp);
    qApp->installEventFilter(filter);
    return filter;
}

bool WheelKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Wheel) return false;
    auto* wheel = static_cast<QWheelEvent*>(event);
    const int dy = wheel->angleDelta().y();
    if (dy == 0) return false;  // a sideways wheel keeps its own meaning
    // An open popup (a menu, a drop-down list) has the keyboard while it shows.
    QWidget* target = QApplication::activePopupWidget();
    if (!target) target = QApplication::focusWidget();
    if (!target) target = qobject_cast<QWidget*>(watched);
    if (!target) return false;

    pending_ += dy;
    const int notch = QWheelEvent::DefaultDeltasPerStep;
    while (pending_ >= notch || pending_ <= -notch) {
        const bool forward = pending_ > 0;
        pending_ += forward ? -notch : notch;
        const int key = forward ? Qt::Key_Up : Qt::Key_Down;
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
    }
    return true;
}

}  // namespace invarro::ui
