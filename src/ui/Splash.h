// The splash window shown while the program's windows are made: a centred picture with
// the application title.
#pragma once

#include <QWidget>

namespace invarro::ui {

class TSplashForm : public QWidget {
    Q_OBJECT
  public:
    explicit TSplashForm(const QString& title);
    // Shows it centred on the screen and paints it at once.
    void showCentred();

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QPixmap picture_;
};

}  // namespace invarro::ui
