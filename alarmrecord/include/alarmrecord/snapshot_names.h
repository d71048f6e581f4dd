#pragma once
// The names the station gives its alarm files, and the time texts of the record.

#include <QDateTime>
#include <QString>

#include <optional>

namespace calidra {

// The record lives beside the snapshots.
inline constexpr char alarmRecordFileName[] = "alarms.sqlite";

// <alarm folder>/alarms.sqlite
QString alarmRecordPath(const QString& alarmFolder);

struct StationSnapshotName {
    QDateTime localTime; // from the name, to the second
    int sequence = 1;    // 1 for the plain name, N for the "-N" taken when the plain one was in use
};

// Only "ThermalAlarm_YYYYMMDD_HHMMSS.jpg" and "ThermalAlarm_YYYYMMDD_HHMMSS-N.jpg" (N from 2) with a
// real date and time; anything else was not written by the station.
std::optional<StationSnapshotName> parseStationSnapshotName(const QString& fileName);

// "yyyy-MM-dd HH:mm:ss" in local time, with Latin digits whatever the system locale.
QString recordTimeText(const QDateTime& time);

} // namespace calidra
