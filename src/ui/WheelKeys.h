// The mouse wheel as arrow keys, across the whole program: a notch forward is the Up
// key, a notch back the Down key, sent to the open popup or else to the widget that has
// the keyboard focus (or the one under the mouse when none has), so that every list
// moves line by line.
#pragma once

#include <QObject>

namespace invarro::ui {

class WheelKeys : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    // Installs one filter on the application object.
    static WheelKeys* Install();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    int pending_ = 0;  // wheel movement short of a whole notch
};

}  // namespace invarro::ui
