// Acting on modal windows in widget tests: the action runs once the next modal window of
// the wanted type shows. When none shows within five seconds the test fails and whatever
// modal window is up is closed, so that nothing hangs.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace invarro::testing {

template <typename T>
void WhenModal(std::function<void(T*)> action) {
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [=] {
        T* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!window && clock->elapsed() < 5000) return;
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (window) {
            action(window);
        } else {
            ADD_FAILURE() << "the expected window did not show";
            if (QWidget* other = QApplication::activeModalWidget()) other->close();
        }
    });
    timer->start();
}

}  // namespace invarro::testing
