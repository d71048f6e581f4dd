#pragma once
// A mask rectangle on the picture area: the style's rubber band with the
// mask's number drawn in its marker colour.

#include <QColor>
#include <QRubberBand>

class MyRubberBand : public QRubberBand {
    Q_OBJECT

public:
    explicit MyRubberBand(QWidget* parent = nullptr);

    void setMarker(int number, const QColor& color);
    int markerNumber() const { return markerNumber_; }
    QColor markerColor() const { return markerColor_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int markerNumber_ = 0;
    QColor markerColor_ = Qt::gray;
};
