#pragma once
// A mask rectangle on the picture area: the style's rubber band with the
// mask's number, or a label of its own, drawn in its marker colour.

#include <QColor>
#include <QRubberBand>
#include <QString>

class MyRubberBand : public QRubberBand {
    Q_OBJECT

public:
    explicit MyRubberBand(QWidget* parent = nullptr);

    // An empty label shows "[number]".
    void setMarker(int number, const QColor& color, const QString& label = QString());
    int markerNumber() const { return markerNumber_; }
    QString markerLabel() const { return markerLabel_; }
    QColor markerColor() const { return markerColor_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int markerNumber_ = 0;
    QString markerLabel_;
    QColor markerColor_ = Qt::gray;
};
