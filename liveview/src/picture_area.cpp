#include "liveview/picture_area.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QShowEvent>

namespace calidra {
namespace {

constexpr int statusMargin = 20;
constexpr int statusPointSize = 24;
constexpr int smallestStatusPointSize = 8;
constexpr int signalPointSize = 20;
constexpr int dimmingAlpha = 160;

// The measurement's lines come from the frame pipeline in English; they are shown translated.
const char* const measurementTexts[] = {
    QT_TRANSLATE_NOOP("calidra::PictureArea", "Collecting the temperature information... Do not move!"),
    QT_TRANSLATE_NOOP("calidra::PictureArea",
                      "Please let the subject of measurement stand in the center of the camera."),
};

QString shownMeasurementText(const std::string& text) {
    for (const char* known : measurementTexts)
        if (text == known)
            return QCoreApplication::translate("calidra::PictureArea", known);
    return QString::fromStdString(text);
}

} // namespace

PictureArea::PictureArea(QWidget* parent) : QWidget(parent) {
    // The picture covers the whole area; nothing behind it needs painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

void PictureArea::setSource(PictureSource* source) {
    if (source_ != nullptr) {
        disconnect(source_, nullptr, this, nullptr);
        source_->setPaintedSize(cv::Size()); // nobody paints its pictures here any more
    }
    source_ = source;
    if (source_ == nullptr)
        return;
    connect(source_, &PictureSource::pictureReady, this, &PictureArea::takeNewestPicture,
            Qt::QueuedConnection);
    toldSize_ = cv::Size();
    tellPaintedSize();
}

void PictureArea::tellPaintedSize() {
    if (source_ == nullptr)
        return;
    const qreal ratio = devicePixelRatioF();
    const cv::Size deviceSize(qRound(width() * ratio), qRound(height() * ratio));
    if (deviceSize == toldSize_)
        return;
    toldSize_ = deviceSize;
    source_->setPaintedSize(deviceSize);
}

void PictureArea::resizeEvent(QResizeEvent* event) {
    tellPaintedSize();
    QWidget::resizeEvent(event);
}

void PictureArea::showEvent(QShowEvent* event) {
    tellPaintedSize();
    QWidget::showEvent(event);
}

void PictureArea::takeNewestPicture() {
    if (source_ == nullptr)
        return;
    bool measuring = false;
    std::string status;
    cv::Size frameSize;
    if (!source_->takeLatestPicture(newest_, measuring, status, &maskRegions_, &frameSize))
        return;
    // The old buffer went back to the slot: the image must never point into it again. The new one
    // paints the taken buffer itself, each paint one plain blit or stretch with no converted copy,
    // and is kept so a repaint after a resize or an expose shows the picture again.
    picture_ = QImage();
    if (newest_.empty() || newest_.type() != CV_8UC4)
        return;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    picture_ = QImage(static_cast<const uchar*>(newest_.data), newest_.cols, newest_.rows, int(newest_.step),
                      QImage::Format_RGB32);
#else
    // Here the words would read 0xBBGGRRff: converted once per picture.
    picture_ = QImage(static_cast<const uchar*>(newest_.data), newest_.cols, newest_.rows, int(newest_.step),
                      QImage::Format_RGBA8888)
                   .rgbSwapped()
                   .convertToFormat(QImage::Format_RGB32);
#endif
    frameSize_ = QSize(frameSize.width, frameSize.height);
    measuring_ = measuring;
    statusText_ = shownMeasurementText(status);
    unpaintedPicture_ = true;
    ++picturesTaken_;
    update();
}

void PictureArea::setCameraSignal(CameraSignal signal) {
    if (cameraSignal_ == signal)
        return;
    cameraSignal_ = signal;
    update();
}

QString PictureArea::signalText() const {
    switch (cameraSignal_) {
    case CameraSignal::Searching:
        return tr("Searching for a camera…");
    case CameraSignal::Lost:
        return tr("No camera signal — searching…");
    case CameraSignal::Live:
        break;
    }
    return QString();
}

void PictureArea::paintEvent(QPaintEvent*) {
    tellPaintedSize(); // also after a move to a screen of another pixel ratio
    QPainter painter(this);
    if (picture_.isNull() || cameraSignal_ == CameraSignal::Searching) {
        painter.fillRect(rect(), Qt::black);
        paintSignalText(painter);
        return;
    }
    // A picture of the painted size is copied 1:1 (the raster engine's unscaled path); any other
    // (the first after a resize) is stretched, right on screen and sharp again with the next one.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(rect(), picture_);
    if (cameraSignal_ == CameraSignal::Lost) {
        // The last picture stays recognisable, but nobody takes it for a live one.
        painter.fillRect(rect(), QColor(0, 0, 0, dimmingAlpha));
        paintSignalText(painter);
        return;
    }
    paintMaskOutlines(painter);
    if (measuring_ && !statusText_.isEmpty())
        paintStatusLine(painter);
    if (unpaintedPicture_) {
        unpaintedPicture_ = false;
        ++picturesPainted_;
    }
}

void PictureArea::paintMaskOutlines(QPainter& painter) {
    if (maskRegions_.empty() || frameSize_.width() <= 0 || frameSize_.height() <= 0)
        return;
    // Thin, dashed and neutral: the operator sees which areas are not screened without it being
    // taken for a detection. Drawn here only, never into snapshots or the stream.
    const double scaleX = double(width()) / frameSize_.width();
    const double scaleY = double(height()) / frameSize_.height();
    painter.save();
    QPen pen(QColor(200, 200, 200), 1, Qt::DashLine);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    for (const cv::Rect& region : maskRegions_)
        painter.drawRect(QRectF(region.x * scaleX, region.y * scaleY, region.width * scaleX - 1,
                                region.height * scaleY - 1));
    painter.restore();
}

void PictureArea::paintStatusLine(QPainter& painter) {
    // The line stays inside the picture: wrapped at its width and made smaller when still too tall.
    const QRect room = rect().adjusted(statusMargin, statusMargin, -statusMargin, -statusMargin);
    if (room.width() <= 0 || room.height() <= 0)
        return;
    QFont font = painter.font();
    int pointSize = statusPointSize;
    QRect needed;
    for (;; --pointSize) {
        font.setPointSize(pointSize);
        needed = QFontMetrics(font).boundingRect(room, Qt::TextWordWrap, statusText_);
        if ((needed.width() <= room.width() && needed.height() <= room.height()) ||
            pointSize == smallestStatusPointSize)
            break;
    }
    painter.save();
    painter.setFont(font);
    painter.setPen(QColor(0, 255, 0));
    painter.setClipRect(room);
    painter.drawText(room, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, statusText_);
    painter.restore();
}

void PictureArea::paintSignalText(QPainter& painter) {
    const QString text = signalText();
    if (text.isEmpty())
        return;
    painter.save();
    QFont font = painter.font();
    font.setPointSize(signalPointSize);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(rect().adjusted(statusMargin, statusMargin, -statusMargin, -statusMargin),
                     Qt::AlignCenter | Qt::TextWordWrap, text);
    painter.restore();
}

void PictureArea::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit leftDoubleClicked();
    QWidget::mouseDoubleClickEvent(event);
}

} // namespace calidra
