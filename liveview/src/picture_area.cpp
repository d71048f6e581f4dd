#include "liveview/picture_area.h"

#include "station/station_host.h"

#include <QMouseEvent>
#include <QPainter>

#include <cstring>

namespace calidra {
namespace {

constexpr int statusLeft = 20;
constexpr int statusTop = 20;
constexpr int statusPointSize = 24;

} // namespace

PictureArea::PictureArea(QWidget* parent) : QWidget(parent) {
    // The picture covers the whole area; nothing behind it needs painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

void PictureArea::setSource(StationHost* host) {
    if (host_ != nullptr)
        disconnect(host_, nullptr, this, nullptr);
    host_ = host;
    if (host_ != nullptr)
        connect(host_, &StationHost::pictureReady, this, &PictureArea::takeNewestPicture,
                Qt::QueuedConnection);
}

void PictureArea::takeNewestPicture() {
    if (host_ == nullptr)
        return;
    bool measuring = false;
    std::string status;
    if (!host_->takeLatestPicture(newest_, measuring, status) || newest_.empty() || newest_.type() != CV_8UC3)
        return;
    // Kept, so a repaint after a resize or an expose shows the picture again.
    if (picture_.width() != newest_.cols || picture_.height() != newest_.rows)
        picture_ = QImage(newest_.cols, newest_.rows, QImage::Format_BGR888);
    const std::size_t rowBytes = std::size_t(newest_.cols) * 3u;
    for (int row = 0; row < newest_.rows; ++row)
        std::memcpy(picture_.scanLine(row), newest_.ptr(row), rowBytes);
    measuring_ = measuring;
    statusText_ = QString::fromStdString(status);
    unpaintedPicture_ = true;
    ++picturesTaken_;
    update();
}

void PictureArea::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (picture_.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(rect(), picture_);
    if (measuring_ && !statusText_.isEmpty()) {
        QFont font = painter.font();
        font.setPointSize(statusPointSize);
        painter.setFont(font);
        painter.setPen(QColor(0, 255, 0));
        const QRect line = painter.fontMetrics().boundingRect(statusText_);
        painter.drawText(QRect(statusLeft, statusTop, line.width() + 2, line.height()), Qt::TextSingleLine,
                         statusText_);
    }
    if (unpaintedPicture_) {
        unpaintedPicture_ = false;
        ++picturesPainted_;
    }
}

void PictureArea::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit leftDoubleClicked();
    QWidget::mouseDoubleClickEvent(event);
}

} // namespace calidra
