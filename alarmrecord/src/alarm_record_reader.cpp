#include "alarmrecord/alarm_record_reader.h"

#include "csv_file.h"
#include "sqlite_connection.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace calidra {
namespace {} // namespace

AlarmEpisodesResult readAlarmEpisodes(const QString& databasePath) {
    AlarmEpisodesResult result;
    if (!QFileInfo::exists(databasePath)) {
        result.succeeded = true;
        return result;
    }
    SqliteConnection connection(databasePath, SqliteConnection::Mode::OpenExisting);
    if (!connection.isOpen()) {
        result.errorText = connection.errorText();
        return result;
    }
    QSqlQuery query(connection.database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT id, start_local, start_utc, end_local, end_utc, highest_celsius,"
                                   " snapshots FROM episodes ORDER BY start_utc, id"))) {
        result.errorText = sqlErrorText(query.lastError());
        return result;
    }
    while (query.next()) {
        AlarmEpisode episode;
        episode.id = query.value(0).toLongLong();
        episode.startLocal = query.value(1).toString();
        episode.startUtc = query.value(2).toLongLong();
        episode.endLocal = query.value(3).toString();
        if (!query.value(4).isNull())
            episode.endUtc = query.value(4).toLongLong();
        if (!query.value(5).isNull())
            episode.highestCelsius = query.value(5).toDouble();
        episode.snapshots = query.value(6).toInt();
        result.episodes.push_back(std::move(episode));
    }
    if (query.lastError().isValid()) {
        result.errorText = sqlErrorText(query.lastError());
        result.episodes.clear();
        return result;
    }
    result.succeeded = true;
    return result;
}

QHash<QString, double> readSnapshotHighestCelsius(const QString& databasePath) {
    QHash<QString, double> highest;
    if (!QFileInfo::exists(databasePath))
        return highest;
    SqliteConnection connection(databasePath, SqliteConnection::Mode::OpenExisting);
    if (!connection.isOpen())
        return highest;
    QSqlQuery query(connection.database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral(
            "SELECT file_name, highest_celsius FROM snapshots WHERE highest_celsius IS NOT NULL")))
        return highest;
    while (query.next())
        highest.insert(query.value(0).toString(), query.value(1).toDouble());
    return highest;
}

QString csvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

CsvExportResult exportAlarmEpisodesCsv(const QString& databasePath, const QString& csvPath,
                                       CsvTemperatureUnit unit) {
    CsvExportResult result;
    const AlarmEpisodesResult read = readAlarmEpisodes(databasePath);
    if (!read.succeeded) {
        result.errorText =
            QStringLiteral("The alarm record %1 could not be read: %2").arg(databasePath, read.errorText);
        return result;
    }

    QList<QStringList> rows;
    for (const AlarmEpisode& episode : read.episodes) {
        rows.append({
            episode.startLocal,
            episode.endLocal,
            episode.highestCelsius ? csvTemperatureText(*episode.highestCelsius, CsvTemperatureUnit::Celsius)
                                   : QString(),
            episode.highestCelsius ? csvTemperatureText(*episode.highestCelsius, unit) : QString(),
            QString::number(episode.snapshots),
        });
    }
    if (!writeCsvFile(csvPath,
                      {QStringLiteral("Start"), QStringLiteral("End"), QStringLiteral("Highest °C"),
                       QStringLiteral("Highest ") + csvUnitName(unit), QStringLiteral("Snapshots")},
                      rows, result.errorText))
        return result;
    result.succeeded = true;
    result.episodes = int(read.episodes.size());
    return result;
}

} // namespace calidra
