#pragma once
// The station's alarm files as Qt sees them (the names themselves are in files/), and the time texts
// of the record.

#include <QDateTime>
#include <QString>

#include <optional>

namespace calidra {

// <program folder>/ThermalAlarm: the snapshots, their record and the unsent alarm messages.
QString alarmFolderPath(const QString& programFolder);

// <alarm folder>/alarms.sqlite
QString alarmRecordPath(const QString& alarmFolder);

struct StationSnapshotName {
    QDateTime localTime; // from the name, to the second
    int sequence = 1;    // 1 for the plain name, N for the "-N" taken when the plain one was in use
};

// A snapshot name (files::parseSnapshotFileName) whose local time exists; anything else was not
// written by the station.
std::optional<StationSnapshotName> parseStationSnapshotName(const QString& fileName);

// "yyyy-MM-dd HH:mm:ss" in local time, with Latin digits whatever the system locale.
QString recordTimeText(const QDateTime& time);

} // namespace calidra
