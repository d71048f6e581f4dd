#pragma once
// Reading the alarm record: for the image list, the CSV export and tests. Every function opens
// its own connection on the calling thread (any thread), never creates or changes the file, and
// can run while a station writes.

#include "alarmrecord/snapshot_names.h"

#include <QHash>
#include <QString>

#include <optional>
#include <vector>

namespace calidra {

struct AlarmEpisode {
    qint64 id = 0;
    QString startLocal;  // "yyyy-MM-dd HH:mm:ss", local time
    qint64 startUtc = 0; // seconds since 1970 UTC
    QString endLocal;    // empty while the alarm goes on
    std::optional<qint64> endUtc;
    std::optional<double> highestCelsius; // none when the station gave no reading
    int snapshots = 0;
    std::optional<double> thresholdCelsius; // the alarm threshold in force; none in older records
};

struct AlarmEpisodesResult {
    bool succeeded = false;
    QString errorText;
    std::vector<AlarmEpisode> episodes; // oldest first
};

// A missing record holds no episodes yet: that succeeds.
AlarmEpisodesResult readAlarmEpisodes(const QString& databasePath);

// File name -> highest °C of its frame, for every snapshot in the record: one query for a whole
// folder listing. Empty when there is no record or it cannot be read.
QHash<QString, double> readSnapshotHighestCelsius(const QString& databasePath);

// The unit of the operator's display, numbered as the TemperatureUnit setting.
enum class CsvTemperatureUnit : int { Celsius = 0, Fahrenheit = 1 };

struct CsvExportResult {
    bool succeeded = false;
    QString errorText; // a whole sentence, for a message box or stderr
    int episodes = 0;  // rows written
};

// The csvPath of the exports that means standard output.
inline const QString csvStandardOutput = QStringLiteral("-");

// Writes every episode as CSV (UTF-8, comma-separated, RFC 4180 quoting, CRLF line ends) with the
// header row "Start,End,Highest °C,Highest display <unit>,Snapshots,Station,Threshold °C,Snapshot
// files"; times ISO 8601 with their UTC offset, temperatures "%.1f", the snapshot files' names
// separated by ';'. stationName: the name the station gives the site (siteStationName). The file
// appears whole or not at all: an existing file is replaced only by a complete export.
CsvExportResult exportAlarmEpisodesCsv(const QString& databasePath, const QString& csvPath,
                                       CsvTemperatureUnit unit, const QString& stationName);

// One CSV field: quoted when it holds a comma, a double quote, CR or LF; quotes doubled.
QString csvField(const QString& text);

} // namespace calidra
