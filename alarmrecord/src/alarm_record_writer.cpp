#include "alarm_record_writer.h"

#include "alarmrecord/snapshot_names.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <tuple>
#include <vector>

namespace calidra {
namespace {

const char* const schemaStatements[] = {
    "CREATE TABLE IF NOT EXISTS episodes ("
    " id INTEGER PRIMARY KEY,"
    " start_local TEXT NOT NULL, start_utc INTEGER NOT NULL,"
    " end_local TEXT, end_utc INTEGER,"
    " highest_celsius REAL,"
    " snapshots INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS snapshots ("
    " id INTEGER PRIMARY KEY,"
    " episode_id INTEGER REFERENCES episodes(id),"
    " file_name TEXT NOT NULL UNIQUE,"
    " time_local TEXT NOT NULL, time_utc INTEGER NOT NULL,"
    " highest_celsius REAL)",
    "CREATE INDEX IF NOT EXISTS snapshots_by_episode ON snapshots(episode_id)",
    "CREATE INDEX IF NOT EXISTS snapshots_by_time ON snapshots(time_utc)",
    "CREATE INDEX IF NOT EXISTS episodes_by_end ON episodes(end_utc)",
    // Episodes a killed station left open end with their last snapshot, or where they began.
    "UPDATE episodes SET"
    " end_local = COALESCE((SELECT s.time_local FROM snapshots s WHERE s.episode_id = episodes.id"
    "                       ORDER BY s.time_utc DESC, s.id DESC LIMIT 1), start_local),"
    " end_utc = COALESCE((SELECT MAX(s.time_utc) FROM snapshots s WHERE s.episode_id = episodes.id),"
    "                    start_utc)"
    " WHERE end_utc IS NULL",
    nullptr,
};

struct ExpiredFile {
    qint64 utcSeconds;
    int sequence;
    QString path;
};

bool operator<(const ExpiredFile& left, const ExpiredFile& right) {
    return std::tie(left.utcSeconds, left.sequence) < std::tie(right.utcSeconds, right.sequence);
}

} // namespace

AlarmRecordWriter::AlarmRecordWriter(QString alarmFolder, int keepDays)
    : alarmFolder_(std::move(alarmFolder)), keepDays_(keepDays), retentionTimer_(this) {
    retentionTimer_.setInterval(retentionIntervalMs);
    connect(&retentionTimer_, &QTimer::timeout, this, &AlarmRecordWriter::removeExpired);
}

AlarmRecordWriter::~AlarmRecordWriter() = default;

void AlarmRecordWriter::start() {
    const EntryScope scope(*this);
    if (QFileInfo::exists(alarmRecordPath(alarmFolder_)))
        openRecord(SqliteConnection::Mode::OpenExisting);
    setKeepDays(keepDays_);
}

bool AlarmRecordWriter::openRecord(SqliteConnection::Mode mode) {
    openEpisode_.reset();
    connection_.reset();
    broken_ = false;
    if (mode == SqliteConnection::Mode::CreateIfMissing && !QDir().mkpath(alarmFolder_)) {
        fail(QStringLiteral("created"), QStringLiteral("the folder cannot be made"));
        return false;
    }
    connection_ = std::make_unique<SqliteConnection>(alarmRecordPath(alarmFolder_), mode);
    if (!connection_->isOpen()) {
        fail(QStringLiteral("opened"), QString(connection_->errorText()));
        return false;
    }
    return runAll(schemaStatements, "opened");
}

bool AlarmRecordWriter::run(QSqlQuery& query, const char* what) {
    if (query.exec())
        return true;
    fail(QString::fromLatin1(what), sqlErrorText(query.lastError()));
    return false;
}

bool AlarmRecordWriter::runAll(const char* const* statements, const char* what) {
    for (; *statements != nullptr; ++statements) {
        QSqlQuery query(connection_->database());
        if (!query.prepare(QString::fromLatin1(*statements))) {
            fail(QString::fromLatin1(what), sqlErrorText(query.lastError()));
            return false;
        }
        if (!run(query, what))
            return false;
    }
    return true;
}

void AlarmRecordWriter::fail(const QString& what, const QString& detail) {
    // The connection is closed once the queries using it are gone (EntryScope); closing rolls back
    // whatever was half done. The next episode tries the file again.
    broken_ = true;
    openEpisode_.reset();
    if (reported_)
        return;
    reported_ = true;
    emit failed(QStringLiteral("The alarm record %1 could not be %2: %3")
                    .arg(QDir::toNativeSeparators(alarmRecordPath(alarmFolder_)), what, detail));
}

void AlarmRecordWriter::beginEpisode(const QDateTime& start) {
    const EntryScope scope(*this);
    if (openEpisode_)
        endEpisode(start);
    if (!usable() && !openRecord(SqliteConnection::Mode::CreateIfMissing))
        return;
    QSqlQuery query(connection_->database());
    query.prepare(QStringLiteral("INSERT INTO episodes (start_local, start_utc) VALUES (?, ?)"));
    query.addBindValue(recordTimeText(start));
    query.addBindValue(start.toSecsSinceEpoch());
    if (run(query, "written"))
        openEpisode_ = query.lastInsertId().toLongLong();
}

void AlarmRecordWriter::raiseHighest(double celsius) {
    const EntryScope scope(*this);
    if (!usable() || !openEpisode_)
        return;
    QSqlQuery query(connection_->database());
    query.prepare(QStringLiteral("UPDATE episodes SET highest_celsius = ?"
                                 " WHERE id = ? AND (highest_celsius IS NULL OR highest_celsius < ?)"));
    query.addBindValue(celsius);
    query.addBindValue(*openEpisode_);
    query.addBindValue(celsius);
    run(query, "written");
}

void AlarmRecordWriter::addSnapshot(const QString& fileName, const QDateTime& time, double highestCelsius) {
    const EntryScope scope(*this);
    // A snapshot is only taken during an alarm; one whose start was lost opens its own episode.
    if (!openEpisode_)
        beginEpisode(time);
    if (!usable() || !openEpisode_)
        return;
    QSqlDatabase& database = connection_->database();
    database.transaction();
    // A name written twice within one second holds the later picture.
    QSqlQuery snapshot(database);
    snapshot.prepare(
        QStringLiteral("INSERT INTO snapshots (episode_id, file_name, time_local, time_utc, highest_celsius)"
                       " VALUES (?, ?, ?, ?, ?) ON CONFLICT (file_name) DO UPDATE SET"
                       " episode_id = excluded.episode_id, time_local = excluded.time_local,"
                       " time_utc = excluded.time_utc, highest_celsius = excluded.highest_celsius"));
    snapshot.addBindValue(*openEpisode_);
    snapshot.addBindValue(fileName);
    snapshot.addBindValue(recordTimeText(time));
    snapshot.addBindValue(time.toSecsSinceEpoch());
    snapshot.addBindValue(highestCelsius);
    if (!run(snapshot, "written"))
        return;
    QSqlQuery episode(database);
    episode.prepare(QStringLiteral(
        "UPDATE episodes SET snapshots = (SELECT COUNT(*) FROM snapshots WHERE episode_id = ?),"
        " highest_celsius = CASE WHEN highest_celsius IS NULL OR highest_celsius < ? THEN ?"
        "                   ELSE highest_celsius END"
        " WHERE id = ?"));
    episode.addBindValue(*openEpisode_);
    episode.addBindValue(highestCelsius);
    episode.addBindValue(highestCelsius);
    episode.addBindValue(*openEpisode_);
    if (!run(episode, "written"))
        return;
    if (!database.commit())
        fail(QStringLiteral("written"), sqlErrorText(database.lastError()));
}

void AlarmRecordWriter::endEpisode(const QDateTime& end) {
    const EntryScope scope(*this);
    if (!openEpisode_)
        return;
    const qint64 episode = *openEpisode_;
    openEpisode_.reset();
    if (!usable())
        return;
    QSqlQuery query(connection_->database());
    query.prepare(QStringLiteral("UPDATE episodes SET end_local = ?, end_utc = ? WHERE id = ?"));
    query.addBindValue(recordTimeText(end));
    query.addBindValue(end.toSecsSinceEpoch());
    query.addBindValue(episode);
    run(query, "written");
}

void AlarmRecordWriter::setKeepDays(int days) {
    keepDays_ = std::max(days, 0);
    if (keepDays_ == 0) {
        retentionTimer_.stop();
        return;
    }
    removeExpired();
    retentionTimer_.start();
}

void AlarmRecordWriter::removeExpired() {
    const EntryScope scope(*this);
    if (keepDays_ <= 0)
        return;
    const qint64 cutoffUtc = QDateTime::currentDateTime().addDays(-keepDays_).toSecsSinceEpoch();

    // Only the station's own pictures, directly in the alarm folder; the time comes from the name,
    // which a copy or a touch cannot change.
    std::vector<ExpiredFile> expired;
    const QFileInfoList entries =
        QDir(alarmFolder_).entryInfoList({QStringLiteral("ThermalAlarm_*")}, QDir::Files | QDir::NoSymLinks);
    for (const QFileInfo& entry : entries) {
        const std::optional<StationSnapshotName> name = parseStationSnapshotName(entry.fileName());
        if (!name)
            continue;
        const qint64 utcSeconds = name->localTime.toSecsSinceEpoch();
        if (utcSeconds < cutoffUtc)
            expired.push_back({utcSeconds, name->sequence, entry.filePath()});
    }
    std::sort(expired.begin(), expired.end());
    int removed = 0;
    for (const ExpiredFile& file : expired) {
        if (QFile::remove(file.path))
            ++removed;
    }

    if (!usable() && QFileInfo::exists(alarmRecordPath(alarmFolder_)))
        openRecord(SqliteConnection::Mode::OpenExisting);
    if (usable())
        removeExpiredRows(cutoffUtc);
    emit expiredRemoved(removed, int(expired.size()) - removed);
}

void AlarmRecordWriter::removeExpiredRows(qint64 cutoffUtc) {
    QSqlDatabase& database = connection_->database();
    database.transaction();
    const QString statements[] = {
        QStringLiteral("DELETE FROM snapshots WHERE time_utc < ?"),
        // An episode still open is never old, whenever it began.
        QStringLiteral("DELETE FROM episodes WHERE end_utc IS NOT NULL AND end_utc < ?"),
    };
    for (const QString& statement : statements) {
        QSqlQuery query(database);
        query.prepare(statement);
        query.addBindValue(cutoffUtc);
        if (!run(query, "cleaned up"))
            return;
    }
    if (!database.commit())
        fail(QStringLiteral("cleaned up"), sqlErrorText(database.lastError()));
}

void AlarmRecordWriter::finish(const QDateTime& now) {
    const EntryScope scope(*this);
    retentionTimer_.stop();
    endEpisode(now);
    closing_ = true;
}

AlarmRecordWriter::EntryScope::~EntryScope() {
    if (writer_.depth_-- > 1)
        return;
    if (writer_.broken_ || writer_.closing_) {
        writer_.connection_.reset();
        writer_.broken_ = false;
    }
}

} // namespace calidra
