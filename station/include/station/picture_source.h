#pragma once
// The newest picture the pipeline finished, for whoever paints it on the owner thread: all the
// live picture needs of a running station.

#include <QObject>

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace calidra {

class PictureSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The newest picture since the last call (older ones are dropped); false when none is new.
    // Its pixels are the bytes blue, green, red, 255 (CV_8UC4): on a little-endian machine the
    // raster engine's own 0xffRRGGBB words, so the window paints the buffer without converting it.
    // The caller's old buffer is taken in exchange, for a later picture.
    // maskRegions, when given, receives the mask regions applied to that picture's frame;
    // frameSize the frame's own size, which those regions refer to: the picture itself may come
    // shrunk to the painted size.
    virtual bool takeLatestPicture(cv::Mat& picture, bool& measuring, std::string& statusText,
                                   std::vector<cv::Rect>* maskRegions = nullptr,
                                   cv::Size* frameSize = nullptr) = 0;

    // Owner thread: the size the picture is painted at, in device pixels. A frame larger than it
    // in both directions is handed over shrunk to it, so nobody converts pixels the screen never
    // shows; an empty size hands every frame over at its own size.
    virtual void setPaintedSize(const cv::Size& deviceSize) = 0;

signals:
    // Emitted on the frame thread once per picture that finds the slot empty, so a slow GUI is
    // not flooded: connect with a queued connection.
    void pictureReady();
};

} // namespace calidra
