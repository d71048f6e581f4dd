#include "liveview/sprite_animation.h"

#include <QPainter>

namespace calidra {
namespace {

constexpr QRgb transparentKey = 0xFFFF00FF;

} // namespace

SpriteAnimation::SpriteAnimation(QWidget* parent) : QWidget(parent) {
    connect(&timer_, &QTimer::timeout, this, &SpriteAnimation::advance);
}

bool SpriteAnimation::load(const QString& path, int frameWidth) {
    frames_.clear();
    current_ = 0;
    QImage sheet(path);
    if (sheet.isNull() || frameWidth <= 0 || sheet.width() < frameWidth) {
        update();
        return false;
    }
    sheet = sheet.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < sheet.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(sheet.scanLine(y));
        for (int x = 0; x < sheet.width(); ++x)
            if (row[x] == transparentKey)
                row[x] = qRgba(0, 0, 0, 0);
    }
    for (int left = 0; left + frameWidth <= sheet.width(); left += frameWidth)
        frames_.push_back(sheet.copy(left, 0, frameWidth, sheet.height()));
    updateGeometry();
    update();
    return true;
}

void SpriteAnimation::play(int frameIntervalMs) {
    if (frames_.size() < 2)
        return;
    timer_.start(frameIntervalMs);
}

void SpriteAnimation::stop() {
    timer_.stop();
    current_ = 0;
    update();
}

void SpriteAnimation::advance() {
    if (frames_.isEmpty())
        return;
    current_ = (current_ + 1) % frames_.size();
    update();
}

QSize SpriteAnimation::sizeHint() const {
    return frames_.isEmpty() ? QSize(0, 0) : frames_.front().size();
}

void SpriteAnimation::paintEvent(QPaintEvent*) {
    if (frames_.isEmpty())
        return;
    QPainter painter(this);
    const QImage& frame = frames_[current_];
    painter.drawImage(QPoint((width() - frame.width()) / 2, (height() - frame.height()) / 2), frame);
}

} // namespace calidra
