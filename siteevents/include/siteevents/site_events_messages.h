#pragma once
// The JSON payloads the desk receives (UTF-8, times ISO 8601 with the local offset).

#include "siteevents/site_events_inputs.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace calidra {

// "2024-03-07T09:05:03+09:00"; with milliseconds "2024-03-07T09:05:03.042+09:00".
QString isoTimeWithOffset(const QDateTime& time, bool withMilliseconds = false);

// With a video address the status names it as "video", for the desk's live picture.
QByteArray statusPayload(const SiteCameraStatus& camera, bool alarmOn, const QDateTime& now,
                         const QString& videoUrl = {});
// What the broker publishes when the station dies; fixed at connect time, so it carries no time.
// Both offline messages name the station (as in its topics) and say the camera is "unknown".
QByteArray lastWillPayload(const QString& stationName);
QByteArray offlinePayload(const QDateTime& now, const QString& stationName);
QByteArray alarmPayload(const SiteAlarmEpisode& episode, bool alarmOn);
// Whether a payload read back from the journal is one alarmPayload could have written by now:
// well formed, its times valid and not in the future.
bool isJournalledAlarmPayload(const QByteArray& payload, const QDateTime& now);
QByteArray logPayload(const SiteLogEntry& entry);

} // namespace calidra
