#include "liveview/alarm_banner.h"

#include <algorithm>

namespace calidra {
namespace {

// A tenth of the picture's height, readable at the camera's own 288 rows too.
constexpr int smallestBannerHeight = 36;
constexpr int bannerHeightDivisor = 10;

} // namespace

AlarmBanner::AlarmBanner(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("alarmBanner"));
    setAlignment(Qt::AlignCenter);
    // The picture below keeps its double click.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setReading(QString());
    hide();
}

void AlarmBanner::setReading(const QString& reading) {
    setText(reading.isEmpty() ? tr("ALARM") : tr("ALARM %1").arg(reading));
}

void AlarmBanner::placeOver(const QRect& picture) {
    const int height =
        std::min(picture.height(), std::max(smallestBannerHeight, picture.height() / bannerHeightDivisor));
    setStyleSheet(QStringLiteral("QLabel { background: rgba(200, 0, 0, 220); color: white; "
                                 "font-weight: bold; font-size: %1px; }")
                      .arg(std::max(1, height * 3 / 5)));
    setGeometry(picture.left(), picture.top(), picture.width(), std::max(0, height));
}

} // namespace calidra
