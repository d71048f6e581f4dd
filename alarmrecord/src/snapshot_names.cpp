#include "alarmrecord/snapshot_names.h"

#include "files/snapshot_names.h"
#include "files/station_layout.h"

#include <QDir>
#include <QLocale>

namespace calidra {

QString alarmFolderPath(const QString& programFolder) {
    return programFolder + QLatin1Char('/') + QLatin1String(files::alarmFolderName);
}

QString alarmRecordPath(const QString& alarmFolder) {
    return QDir(alarmFolder).filePath(QLatin1String(files::alarmRecordFileName));
}

std::optional<StationSnapshotName> parseStationSnapshotName(const QString& fileName) {
    const std::optional<files::SnapshotName> parsed = files::parseSnapshotFileName(fileName.toStdString());
    if (!parsed)
        return std::nullopt;
    const std::tm& local = parsed->localTime;
    const QDate date(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    const QTime time(local.tm_hour, local.tm_min, local.tm_sec);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    StationSnapshotName name;
    name.localTime = QDateTime(date, time, Qt::LocalTime);
    if (!name.localTime.isValid()) // a time skipped by a daylight-saving change
        return std::nullopt;
    name.sequence = parsed->sequence;
    return name;
}

QString recordTimeText(const QDateTime& time) {
    return QLocale::c().toString(time.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace calidra
