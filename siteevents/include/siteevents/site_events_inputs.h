#pragma once
// What the station tells the site: plain values handed to SiteEventsPublisher from any thread.

#include "eventlog/event_log.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <limits>

namespace calidra {

// As the screen shows the camera: Stalled is an open camera whose frames stopped.
enum class SiteCameraState { None, Searching, Connected, Stalled };

struct SiteCameraStatus {
    SiteCameraState state = SiteCameraState::None;
    QString model;
    QString identity;
    double framesPerSecond = 0.0;
    QString reference = QStringLiteral("off"); // temperature mode Reference's state word
    double correctionCelsius = 0.0;            // the reference's correction in force
    double offsetCelsius = 0.0;                // the operator's offset in force ("offset")
    // The day's people and alarms ("peopleToday", "alarmsToday"); -1 until the station counts.
    int peopleToday = -1;
    int alarmsToday = -1;
    // "alarmMode" ("fixed" or "baseline"; empty until the station tells), the "threshold" in force
    // and the "baseline" (NaN, sent as null, while learning and in mode Fixed), °C.
    QString alarmMode = QString();
    double thresholdCelsius = std::numeric_limits<double>::quiet_NaN();
    double baselineCelsius = std::numeric_limits<double>::quiet_NaN();
};

// One alarm episode from ALARM ON to ALARM OFF, as the alarm record keeps it.
struct SiteAlarmEpisode {
    QDateTime start;
    QDateTime end;                                                    // invalid while the alarm is on
    double highestCelsius = std::numeric_limits<double>::quiet_NaN(); // NaN: not known yet
    QStringList snapshotFiles;                                        // file names; folders are left out
};

struct SiteLogEntry {
    QDateTime time;
    LogType type = LogType::Event;
    QString message;
    int code = 0;
};

// An entry of the station's event log; its local time text is read back with the local offset.
SiteLogEntry siteLogEntry(const LogEntry& entry);

} // namespace calidra
