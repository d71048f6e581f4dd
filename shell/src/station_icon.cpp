#include "shell/station_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace calidra {
namespace {

// A thermometer with a warm bulb on a dark tile.
QPixmap drawIcon(int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = side / 16.0;

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1F, 0x3A, 0x5F));
    painter.drawRoundedRect(QRectF(0.5 * unit, 0.5 * unit, 15 * unit, 15 * unit), 3 * unit, 3 * unit);

    const QRectF tube(6.5 * unit, 2 * unit, 3 * unit, 9 * unit);
    const QRectF bulb(5 * unit, 9 * unit, 6 * unit, 6 * unit);
    QPainterPath glass;
    glass.addRoundedRect(tube, 1.5 * unit, 1.5 * unit);
    glass.addEllipse(bulb);
    painter.setBrush(Qt::white);
    painter.drawPath(glass.simplified());

    painter.setBrush(QColor(0xE5, 0x39, 0x35));
    painter.drawEllipse(bulb.adjusted(unit, unit, -unit, -unit));
    painter.drawRect(QRectF(7.3 * unit, 5 * unit, 1.4 * unit, 6 * unit));
    return pixmap;
}

} // namespace

QIcon stationIcon() {
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(drawIcon(side));
    return icon;
}

} // namespace calidra
