#include "my_rubber_band.h"

#include <QPainter>
#include <QPen>

MyRubberBand::MyRubberBand(QWidget* parent) : QRubberBand(QRubberBand::Rectangle, parent) {}

void MyRubberBand::setMarker(int number, const QColor& color, const QString& label) {
    markerNumber_ = number;
    markerLabel_ = label;
    markerColor_ = color;
    update();
}

void MyRubberBand::paintEvent(QPaintEvent* event) {
    QRubberBand::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QPen(QBrush(markerColor_), 2.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    if (markerLabel_.isEmpty())
        painter.drawText(width() / 2 - 8, height() / 2, QStringLiteral("[%1]").arg(markerNumber_));
    else
        painter.drawText(rect(), Qt::AlignCenter, markerLabel_);
}
