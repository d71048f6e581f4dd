#include "siteevents/site_person.h"

#include <cmath>

namespace calidra {
namespace {

QJsonValue tenthsOrNull(double celsius) {
    if (!std::isfinite(celsius))
        return QJsonValue(QJsonValue::Null);
    return std::round(celsius * 10.0) / 10.0;
}

bool movedByTenth(double before, double now) {
    if (std::isfinite(before) != std::isfinite(now))
        return true;
    return std::isfinite(now) && std::abs(now - before) >= 0.1 - 1e-9;
}

} // namespace

QJsonObject withAlarmThreshold(QJsonObject status, const SiteCameraStatus& camera) {
    if (camera.alarmMode.isEmpty())
        return status;
    status.insert(QStringLiteral("alarmMode"), camera.alarmMode);
    status.insert(QStringLiteral("threshold"), tenthsOrNull(camera.thresholdCelsius));
    status.insert(QStringLiteral("baseline"), tenthsOrNull(camera.baselineCelsius));
    return status;
}

bool alarmThresholdMoved(const SiteCameraStatus& before, const SiteCameraStatus& now) {
    return before.alarmMode != now.alarmMode || movedByTenth(before.thresholdCelsius, now.thresholdCelsius) ||
           movedByTenth(before.baselineCelsius, now.baselineCelsius);
}

} // namespace calidra
