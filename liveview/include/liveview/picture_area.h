#pragma once
// The live picture: the newest frame the pipeline finished, stretched over the whole area
// without smoothing (a larger frame arrives already shrunk to the area's size), with the measurement's status
// line on top while it runs and the enabled masks outlined. Without a camera signal it says so instead of
// passing a still for live.

#include "station/station.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <QVector>
#include <QWidget>

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

namespace calidra {

class PictureArea : public QWidget {
    Q_OBJECT
public:
    explicit PictureArea(QWidget* parent = nullptr);

    // Pictures come from this newest-picture slot; the slot outlives the area.
    void setSource(PictureSource* source);

    // Pictures taken from the slot and painted, for tests and the speed check.
    uint64_t picturesTaken() const { return picturesTaken_; }
    uint64_t picturesPainted() const { return picturesPainted_; }
    const QImage& currentPicture() const { return picture_; }
    // The frame's own size, which mask regions refer to; the picture may be shrunk from it.
    QSize frameSize() const { return frameSize_; }
    bool showsStatusLine() const { return measuring_ && !statusText_.isEmpty(); }
    CameraSignal cameraSignal() const { return cameraSignal_; }
    // The text over the picture while there is no signal; empty while frames flow.
    QString signalText() const;

signals:
    void leftDoubleClicked();

public slots:
    // Takes the newest picture, if any, and schedules a repaint.
    void takeNewestPicture();
    void setCameraSignal(calidra::CameraSignal signal);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void paintStatusLine(QPainter& painter);
    void paintMaskOutlines(QPainter& painter);
    void paintSignalText(QPainter& painter);
    // Tells the source the size painted at, in device pixels, when it changed.
    void tellPaintedSize();

    PictureSource* source_ = nullptr;
    CameraSignal cameraSignal_ = CameraSignal::Live; // the live view tells it otherwise
    std::vector<cv::Rect> maskRegions_;
    cv::Mat newest_; // swapped with the slot's for every picture
    // The newest picture in the raster engine's own format, over newest_'s pixels: each paint
    // puts it straight onto the window, with no converted or scaled copy in between; 1:1 when the
    // source shrank it to the painted size, else stretched.
    QImage picture_;
    QSize frameSize_;
    cv::Size toldSize_; // what the source was last told
    bool measuring_ = false;
    QString statusText_;
    bool unpaintedPicture_ = false;
    uint64_t picturesTaken_ = 0;
    uint64_t picturesPainted_ = 0;
};

} // namespace calidra
