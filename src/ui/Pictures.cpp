#include "ui/Pictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QObject>
#include <QPainter>
#include <QPainterPath>

#include "app/TilePicture.h"

namespace invarro::ui {

QImage BuiltInTile() {
    const std::string bmp = app::BuiltInTileBitmap();
    QImage tile;
    tile.loadFromData(reinterpret_cast<const uchar*>(bmp.data()), int(bmp.size()), "BMP");
    return tile;
}

QPixmap SplashPicture(const QString& title) {
    QPixmap pm(440, 250);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, pm.height());
    sky.setColorAt(0, QColor(24, 62, 112));
    sky.setColorAt(1, QColor(58, 118, 180));
    p.fillRect(pm.rect(), sky);
    // A stack of three sheets, the topmost with ruled lines.
    for (int i = 2; i >= 0; --i) {
        QRectF sheet(40 + i * 10, 48 + i * 8, 96, 124);
        p.setPen(QPen(QColor(30, 50, 80), 1.5));
        p.setBrush(i == 0 ? QColor(255, 255, 255) : QColor(225, 232, 242));
        p.drawRoundedRect(sheet, 4, 4);
    }
    p.setPen(QPen(QColor(120, 150, 190), 2));
    for (int k = 0; k < 6; ++k)
        p.drawLine(QPointF(54, 76 + k * 15), QPointF(122, 76 + k * 15));
    p.setPen(QPen(QColor(200, 60, 60), 3));
    p.drawLine(QPointF(90, 160), QPointF(122, 160));

    QFont big("DejaVu Sans", 30, QFont::Bold);
    p.setFont(big);
    p.setPen(Qt::white);
    p.drawText(QRect(160, 60, 270, 60), Qt::AlignLeft | Qt::AlignVCenter, title);
    QFont small("DejaVu Sans", 11);
    p.setFont(small);
    p.setPen(QColor(220, 232, 248));
    p.drawText(QRect(162, 118, 270, 50), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
               QObject::tr("Invoicing, billing and accounts receivable"));
    p.drawText(QRect(162, 200, 270, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QObject::tr("Loading..."));
    return pm;
}

QIcon BadgeIcon(const QString& mark, const QColor& colour, int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, size);
    g.setColorAt(0, colour.lighter(130));
    g.setColorAt(1, colour.darker(115));
    p.setBrush(g);
    p.setPen(QPen(colour.darker(160), 1));
    p.drawRoundedRect(QRectF(1, 1, size - 2, size - 2), size / 5.0, size / 5.0);
    QFont f("DejaVu Sans", 8, QFont::Bold);
    f.setPixelSize(mark.size() > 2 ? size * 3 / 10 : size * 2 / 5);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, mark);
    return QIcon(pm);
}

}  // namespace invarro::ui
