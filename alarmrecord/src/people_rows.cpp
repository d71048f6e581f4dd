#include "alarm_record_writer.h"

#include "alarmrecord/snapshot_names.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace calidra {

void AlarmRecordWriter::addPerson(const PersonEntry& person) {
    const EntryScope scope(*this);
    PendingWrite write{PendingWrite::Kind::Person, 0, person.lastSeen, 0.0, QString(), {}};
    write.person = person;
    enqueue(std::move(write));
}

AlarmRecordWriter::Outcome AlarmRecordWriter::insertPerson(const PersonEntry& person) {
    QSqlQuery query(connection_->database());
    query.prepare(QStringLiteral("INSERT INTO people (number, first_local, first_utc, last_local, last_utc,"
                                 " reading_celsius, alarmed, counted_frames, threshold_celsius)"
                                 " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    query.addBindValue(person.number);
    query.addBindValue(recordTimeText(person.firstSeen));
    query.addBindValue(person.firstSeen.toSecsSinceEpoch());
    query.addBindValue(recordTimeText(person.lastSeen));
    query.addBindValue(person.lastSeen.toSecsSinceEpoch());
    query.addBindValue(person.readingCelsius ? QVariant(*person.readingCelsius) : QVariant(QVariant::Double));
    query.addBindValue(person.alarmed ? 1 : 0);
    query.addBindValue(person.countedFrames);
    query.addBindValue(person.thresholdCelsius ? QVariant(*person.thresholdCelsius)
                                               : QVariant(QVariant::Double));
    return run(query, "written");
}

AlarmRecordWriter::Outcome AlarmRecordWriter::addPeopleThresholdColumn() {
    QSqlQuery columns(connection_->database());
    if (!columns.exec(QStringLiteral("PRAGMA table_info(people)")))
        return failure(columns.lastError(), "opened");
    bool tableExists = false;
    while (columns.next()) {
        tableExists = true;
        if (columns.value(1).toString() == QLatin1String("threshold_celsius"))
            return Outcome::Written;
    }
    if (!tableExists)
        return Outcome::Written; // made whole by the schema
    QSqlQuery upgrade(connection_->database());
    if (!upgrade.prepare(QStringLiteral("ALTER TABLE people ADD COLUMN threshold_celsius REAL")))
        return failure(upgrade.lastError(), "opened");
    return run(upgrade, "opened");
}

} // namespace calidra
