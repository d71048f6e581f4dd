#pragma once
// Reading the people table of the alarm record: for the statistics, the day's counts at start and
// the CSV export. Like the other readers: its own connection on the calling thread, never on the
// GUI thread for more than the day's counts, and the file is never created or changed.

#include "alarmrecord/alarm_record_reader.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace calidra {

struct PersonRow {
    int number = 0;
    QString firstLocal; // "yyyy-MM-dd HH:mm:ss", local time
    qint64 firstUtc = 0;
    QString lastLocal;
    qint64 lastUtc = 0;
    std::optional<double> readingCelsius; // none: not measured
    bool alarmed = false;
    int countedFrames = 0;
    std::optional<double> thresholdCelsius = std::nullopt; // none in rows from before it was kept
};

struct PeopleResult {
    bool succeeded = false;
    QString errorText;
    std::vector<PersonRow> people; // in the order they were finished
};

// People last seen from fromUtc (inclusive) to toUtc (exclusive), seconds since 1970 UTC. A
// missing record or one without the table holds nobody: that succeeds.
PeopleResult readPeople(const QString& databasePath, qint64 fromUtc, qint64 toUtc);
PeopleResult readAllPeople(const QString& databasePath);

// The people and alarms of one local day; zeros when the record cannot say.
void readPeopleCounts(const QString& databasePath, const QDate& day, int& people, int& alarms);

// Every person as CSV, by the alarm export's rules (times too, "-" too), with the header row
// "Number,First seen,Last seen,Reading °C,Reading display <unit>,Result,Counted frames"; Result is
// alarm, normal or unmeasured (an empty reading).
CsvExportResult exportPeopleCsv(const QString& databasePath, const QString& csvPath, CsvTemperatureUnit unit);

} // namespace calidra
