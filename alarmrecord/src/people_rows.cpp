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

} // namespace calidra
