// The pictures the program draws itself: the built-in background tile, the splash
// picture and the command icons.
#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>

namespace invarro::ui {

// The background tile (the same picture new installations get as "background.bmp").
QImage BuiltInTile();
// The splash picture with the application title.
QPixmap SplashPicture(const QString& title);
// A command icon: a rounded badge in the colour with a short mark on it.
QIcon BadgeIcon(const QString& mark, const QColor& colour, int size = 32);

}  // namespace invarro::ui
