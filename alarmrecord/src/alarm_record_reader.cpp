#include "alarmrecord/alarm_record_reader.h"

#include "csv_file.h"
#include "sqlite_connection.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace calidra {
namespace {

// The table's columns; a reader never adds a missing one.
bool columnsOf(QSqlDatabase& database, const QString& table, QStringList& columns, QString& errorText) {
    QSqlError error;
    if (readTableColumns(database, table, columns, error))
        return true;
    errorText = sqlErrorText(error);
    return false;
}

// Episode row id -> its snapshot files' names in the order they were taken.
bool readSnapshotFilesByEpisode(QSqlDatabase& database, QHash<qint64, QStringList>& files,
                                QString& errorText) {
    QStringList columns;
    if (!columnsOf(database, QStringLiteral("snapshots"), columns, errorText))
        return false;
    if (columns.isEmpty())
        return true;
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT episode_id, file_name FROM snapshots"
                                   " WHERE episode_id IS NOT NULL ORDER BY time_utc, id"))) {
        errorText = sqlErrorText(query.lastError());
        return false;
    }
    while (query.next())
        files[query.value(0).toLongLong()] << query.value(1).toString();
    if (query.lastError().isValid()) {
        errorText = sqlErrorText(query.lastError());
        return false;
    }
    return true;
}

bool readEpisodes(QSqlDatabase& database, std::vector<AlarmEpisode>& episodes, QString& errorText) {
    QStringList columns;
    if (!columnsOf(database, QStringLiteral("episodes"), columns, errorText))
        return false;
    const bool hasThreshold = columns.contains(QStringLiteral("threshold_celsius"));
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT id, start_local, start_utc, end_local, end_utc, highest_celsius,"
                                   " snapshots, %1 FROM episodes ORDER BY start_utc, id")
                        .arg(hasThreshold ? QStringLiteral("threshold_celsius") : QStringLiteral("NULL")))) {
        errorText = sqlErrorText(query.lastError());
        return false;
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
        if (!query.value(7).isNull())
            episode.thresholdCelsius = query.value(7).toDouble();
        episodes.push_back(std::move(episode));
    }
    if (query.lastError().isValid()) {
        errorText = sqlErrorText(query.lastError());
        episodes.clear();
        return false;
    }
    return true;
}

// The episodes and their snapshots' names as of one moment: a station may write meanwhile.
bool readEpisodesWithSnapshotFiles(const QString& databasePath, std::vector<AlarmEpisode>& episodes,
                                   QHash<qint64, QStringList>& files, QString& errorText) {
    if (!QFileInfo::exists(databasePath))
        return true;
    SqliteConnection connection(databasePath, SqliteConnection::Mode::OpenExisting);
    if (!connection.isOpen()) {
        errorText = connection.errorText();
        return false;
    }
    QSqlDatabase& database = connection.database();
    database.transaction();
    const bool read =
        readEpisodes(database, episodes, errorText) && readSnapshotFilesByEpisode(database, files, errorText);
    database.rollback(); // only read
    return read;
}

} // namespace

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
    result.succeeded = readEpisodes(connection.database(), result.episodes, result.errorText);
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
                                       CsvTemperatureUnit unit, const QString& stationName) {
    CsvExportResult result;
    std::vector<AlarmEpisode> episodes;
    QHash<qint64, QStringList> snapshotFiles;
    QString errorText;
    if (!readEpisodesWithSnapshotFiles(databasePath, episodes, snapshotFiles, errorText)) {
        result.errorText =
            QStringLiteral("The alarm record %1 could not be read: %2").arg(databasePath, errorText);
        return result;
    }

    QList<QStringList> rows;
    for (const AlarmEpisode& episode : episodes) {
        rows.append({
            csvTimeText(episode.startUtc),
            episode.endUtc ? csvTimeText(*episode.endUtc) : QString(),
            episode.highestCelsius ? csvTemperatureText(*episode.highestCelsius, CsvTemperatureUnit::Celsius)
                                   : QString(),
            episode.highestCelsius ? csvTemperatureText(*episode.highestCelsius, unit) : QString(),
            QString::number(episode.snapshots),
            stationName,
            episode.thresholdCelsius
                ? csvTemperatureText(*episode.thresholdCelsius, CsvTemperatureUnit::Celsius)
                : QString(),
            snapshotFiles.value(episode.id).join(QLatin1Char(';')),
        });
    }
    // Columns only ever come at the end, so readers of older exports find theirs where they were.
    const QStringList header = QStringList{QStringLiteral("Start"), QStringLiteral("End")} +
                               csvTemperatureColumns(QStringLiteral("Highest"), unit) +
                               QStringList{QStringLiteral("Snapshots"), QStringLiteral("Station"),
                                           QStringLiteral("Threshold °C"), QStringLiteral("Snapshot files")};
    if (!writeCsvFile(csvPath, header, rows, result.errorText))
        return result;
    result.succeeded = true;
    result.episodes = int(episodes.size());
    return result;
}

} // namespace calidra
