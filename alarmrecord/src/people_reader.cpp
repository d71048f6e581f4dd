#include "alarmrecord/people_reader.h"

#include "csv_file.h"
#include "sqlite_connection.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <limits>

namespace calidra {
namespace {

QString outcomeText(const PersonRow& person) {
    if (!person.readingCelsius)
        return QStringLiteral("unmeasured");
    return person.alarmed ? QStringLiteral("alarm") : QStringLiteral("normal");
}

} // namespace

PeopleResult readPeople(const QString& databasePath, qint64 fromUtc, qint64 toUtc) {
    PeopleResult result;
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
    // A record of a station from before people were counted has no table: nobody yet.
    if (!query.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'people'")) ||
        !query.next()) {
        result.succeeded = !query.lastError().isValid();
        result.errorText = result.succeeded ? QString() : sqlErrorText(query.lastError());
        return result;
    }
    query.finish();
    // A record no station has opened since the threshold was kept lacks its column.
    QStringList columns;
    QSqlError ignored; // as before: an unreadable column list reads as a record without it
    readTableColumns(connection.database(), QStringLiteral("people"), columns, ignored);
    const bool thresholdKept = columns.contains(QStringLiteral("threshold_celsius"));
    query.prepare(
        QStringLiteral("SELECT number, first_local, first_utc, last_local, last_utc, reading_celsius,"
                       " alarmed, counted_frames, %1 FROM people WHERE last_utc >= ? AND last_utc < ?"
                       " ORDER BY id")
            .arg(thresholdKept ? QStringLiteral("threshold_celsius") : QStringLiteral("NULL")));
    query.addBindValue(fromUtc);
    query.addBindValue(toUtc);
    if (!query.exec()) {
        result.errorText = sqlErrorText(query.lastError());
        return result;
    }
    while (query.next()) {
        PersonRow person;
        person.number = query.value(0).toInt();
        person.firstLocal = query.value(1).toString();
        person.firstUtc = query.value(2).toLongLong();
        person.lastLocal = query.value(3).toString();
        person.lastUtc = query.value(4).toLongLong();
        if (!query.value(5).isNull())
            person.readingCelsius = query.value(5).toDouble();
        person.alarmed = query.value(6).toInt() != 0;
        person.countedFrames = query.value(7).toInt();
        if (!query.value(8).isNull())
            person.thresholdCelsius = query.value(8).toDouble();
        result.people.push_back(std::move(person));
    }
    if (query.lastError().isValid()) {
        result.errorText = sqlErrorText(query.lastError());
        result.people.clear();
        return result;
    }
    result.succeeded = true;
    return result;
}

PeopleResult readAllPeople(const QString& databasePath) {
    return readPeople(databasePath, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
}

void readPeopleCounts(const QString& databasePath, const QDate& day, int& people, int& alarms) {
    people = 0;
    alarms = 0;
    const qint64 from = QDateTime(day, QTime(0, 0)).toSecsSinceEpoch();
    const qint64 to = QDateTime(day.addDays(1), QTime(0, 0)).toSecsSinceEpoch();
    const PeopleResult read = readPeople(databasePath, from, to);
    for (const PersonRow& person : read.people) {
        ++people;
        if (person.alarmed)
            ++alarms;
    }
}

CsvExportResult exportPeopleCsv(const QString& databasePath, const QString& csvPath,
                                CsvTemperatureUnit unit) {
    CsvExportResult result;
    const PeopleResult read = readAllPeople(databasePath);
    if (!read.succeeded) {
        result.errorText =
            QStringLiteral("The alarm record %1 could not be read: %2").arg(databasePath, read.errorText);
        return result;
    }
    QList<QStringList> rows;
    for (const PersonRow& person : read.people) {
        rows.append({
            QString::number(person.number),
            csvTimeText(person.firstUtc),
            csvTimeText(person.lastUtc),
            person.readingCelsius ? csvTemperatureText(*person.readingCelsius, CsvTemperatureUnit::Celsius)
                                  : QString(),
            person.readingCelsius ? csvTemperatureText(*person.readingCelsius, unit) : QString(),
            outcomeText(person),
            QString::number(person.countedFrames),
        });
    }
    // As the alarm export: a regular file or nothing, replaced only whole.
    const QStringList header =
        QStringList{QStringLiteral("Number"), QStringLiteral("First seen"), QStringLiteral("Last seen")} +
        csvTemperatureColumns(QStringLiteral("Reading"), unit) +
        QStringList{QStringLiteral("Result"), QStringLiteral("Counted frames")};
    if (!writeCsvFile(csvPath, header, rows, result.errorText))
        return result;
    result.succeeded = true;
    result.episodes = int(read.people.size());
    return result;
}

} // namespace calidra
