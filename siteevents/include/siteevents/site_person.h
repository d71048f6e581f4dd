#pragma once
// A finished person as the site is told (topic calidra/<station>/person, QoS 1, not retained), and
// the day's counts the status carries.

#include "siteevents/site_events_inputs.h"

#include <QDateTime>
#include <QJsonObject>

#include <optional>

namespace calidra {

struct SitePerson {
    int number = 0;
    QDateTime firstSeen;
    QDateTime lastSeen;
    std::optional<double> readingCelsius; // none: not measured
    bool alarmed = false;
    int countedFrames = 0;
};

// {"number", "firstSeen", "lastSeen", "readingCelsius" (null: not measured), "result" (alarm,
// normal, unmeasured), "countedFrames"}.
QByteArray personPayload(const SitePerson& person);
// The status object with "peopleToday" and "alarmsToday" once the station counts.
QJsonObject withPeopleCounts(QJsonObject status, const SiteCameraStatus& camera);
// The status object with "alarmMode", "threshold" and "baseline" once the station tells them.
QJsonObject withAlarmThreshold(QJsonObject status, const SiteCameraStatus& camera);
// Whether the threshold's part of the status changed enough to send it now (by 0.1 °C or more).
bool alarmThresholdMoved(const SiteCameraStatus& before, const SiteCameraStatus& now);

} // namespace calidra
