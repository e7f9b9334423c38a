#include "ui/Splash.h"

#include <QApplication>
#include <QPainter>
#include <QScreen>

#include "ui/Pictures.h"

namespace invarro::ui {

TSplashForm::TSplashForm(const QString& title)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      picture_(SplashPicture(title)) {
    setObjectName("SplashForm");
    setWindowTitle(title);
    setFixedSize(picture_.size());
}

void TSplashForm::showCentred() {
    if (QScreen* screen = QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    show();
    raise();
    repaint();
    QApplication::processEvents();
}

void TSplashForm::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, picture_);
}

}  // namespace invarro::ui
