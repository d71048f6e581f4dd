#include "alarmrecord/snapshot_names.h"

#include <QDir>
#include <QLocale>
#include <QRegularExpression>

namespace calidra {

QString alarmRecordPath(const QString& alarmFolder) {
    return QDir(alarmFolder).filePath(QLatin1String(alarmRecordFileName));
}

std::optional<StationSnapshotName> parseStationSnapshotName(const QString& fileName) {
    static const QRegularExpression pattern(QStringLiteral(
        "^ThermalAlarm_(\\d{4})(\\d{2})(\\d{2})_(\\d{2})(\\d{2})(\\d{2})(?:-([2-9]|[1-9]\\d{1,8}))?\\.jpg$"));
    const QRegularExpressionMatch match = pattern.match(fileName);
    if (!match.hasMatch())
        return std::nullopt;
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    const QTime time(match.captured(4).toInt(), match.captured(5).toInt(), match.captured(6).toInt());
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    StationSnapshotName name;
    name.localTime = QDateTime(date, time, Qt::LocalTime);
    if (!name.localTime.isValid()) // a time skipped by a daylight-saving change
        return std::nullopt;
    if (match.capturedLength(7) > 0)
        name.sequence = match.captured(7).toInt();
    return name;
}

QString recordTimeText(const QDateTime& time) {
    return QLocale::c().toString(time.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace calidra
