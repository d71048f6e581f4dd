#include "alarm_record_writer.h"
#include "people_schema.h"

#include "alarmrecord/snapshot_names.h"
#include "files/snapshot_names.h"
#include "files/station_layout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <ctime>
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
    " snapshots INTEGER NOT NULL DEFAULT 0,"
    " reference_correction_celsius REAL,"
    " threshold_celsius REAL)",
    "CREATE TABLE IF NOT EXISTS snapshots ("
    " id INTEGER PRIMARY KEY,"
    " episode_id INTEGER REFERENCES episodes(id),"
    " file_name TEXT NOT NULL UNIQUE,"
    " time_local TEXT NOT NULL, time_utc INTEGER NOT NULL,"
    " highest_celsius REAL)",
    "CREATE INDEX IF NOT EXISTS snapshots_by_episode ON snapshots(episode_id)",
    "CREATE INDEX IF NOT EXISTS snapshots_by_time ON snapshots(time_utc)",
    "CREATE INDEX IF NOT EXISTS episodes_by_end ON episodes(end_utc)",
    PEOPLE_SCHEMA_STATEMENTS
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

AlarmRecordWriter::AlarmRecordWriter(QString alarmFolder, int keepDays, AlarmRecordTimes times)
    : alarmFolder_(std::move(alarmFolder)), times_(times), keepDays_(keepDays), retentionTimer_(this),
      retryTimer_(this) {
    retentionTimer_.setInterval(retentionIntervalMs);
    connect(&retentionTimer_, &QTimer::timeout, this, &AlarmRecordWriter::removeExpired);
    retryTimer_.setSingleShot(true);
    retryTimer_.setInterval(times_.retryIntervalMs);
    connect(&retryTimer_, &QTimer::timeout, this, [this] {
        const EntryScope scope(*this);
        writePending();
    });
}

AlarmRecordWriter::~AlarmRecordWriter() = default;

void AlarmRecordWriter::start() {
    const EntryScope scope(*this);
    if (QFileInfo::exists(alarmRecordPath(alarmFolder_)) &&
        openRecord(SqliteConnection::Mode::OpenExisting) == Outcome::Damaged)
        moveDamagedRecordAside();
    setKeepDays(keepDays_);
}

AlarmRecordWriter::Outcome AlarmRecordWriter::openRecord(SqliteConnection::Mode mode) {
    connection_.reset();
    broken_ = false;
    if (mode == SqliteConnection::Mode::CreateIfMissing && !QDir().mkpath(alarmFolder_)) {
        fail(QStringLiteral("created"), QStringLiteral("the folder cannot be made"));
        return Outcome::Failed;
    }
    connection_ =
        std::make_unique<SqliteConnection>(alarmRecordPath(alarmFolder_), mode, times_.busyTimeoutMs);
    if (!connection_->isOpen()) {
        fail(QStringLiteral("opened"), QString(connection_->errorText()));
        return Outcome::Failed;
    }
    Outcome outcome =
        addMissingColumns(QStringLiteral("episodes"), {QStringLiteral("reference_correction_celsius"),
                                                       QStringLiteral("threshold_celsius")});
    if (outcome == Outcome::Written)
        outcome = addMissingColumns(QStringLiteral("people"), {QStringLiteral("threshold_celsius")});
    return outcome == Outcome::Written ? runAll(schemaStatements, "opened") : outcome;
}

AlarmRecordWriter::Outcome AlarmRecordWriter::addMissingColumns(const QString& table, QStringList missing) {
    // SQLite has no ADD COLUMN IF NOT EXISTS: the table's columns say which are needed.
    QStringList columns;
    QSqlError error;
    if (!readTableColumns(connection_->database(), table, columns, error))
        return failure(error, "opened");
    if (columns.isEmpty())
        return Outcome::Written; // no table yet: made whole by the schema
    for (const QString& column : columns)
        missing.removeAll(column);
    for (const QString& column : missing) {
        QSqlQuery upgrade(connection_->database());
        if (!upgrade.prepare(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 REAL").arg(table, column)))
            return failure(upgrade.lastError(), "opened");
        const Outcome outcome = run(upgrade, "opened");
        if (outcome != Outcome::Written)
            return outcome;
    }
    return Outcome::Written;
}

AlarmRecordWriter::Outcome AlarmRecordWriter::failure(const QSqlError& error, const char* what) {
    broken_ = true;
    switch (classifySqlFailure(error)) {
    case SqlFailure::Busy:
        // Not a fault of the record: the rows wait, and only a lock that never clears is reported.
        return Outcome::Busy;
    case SqlFailure::Damaged:
        return Outcome::Damaged;
    case SqlFailure::Other:
        break;
    }
    fail(QString::fromLatin1(what), sqlErrorText(error));
    return Outcome::Failed;
}

AlarmRecordWriter::Outcome AlarmRecordWriter::run(QSqlQuery& query, const char* what) {
    return query.exec() ? Outcome::Written : failure(query.lastError(), what);
}

AlarmRecordWriter::Outcome AlarmRecordWriter::runAll(const char* const* statements, const char* what) {
    for (; *statements != nullptr; ++statements) {
        QSqlQuery query(connection_->database());
        if (!query.prepare(QString::fromLatin1(*statements)))
            return failure(query.lastError(), what);
        const Outcome outcome = run(query, what);
        if (outcome != Outcome::Written)
            return outcome;
    }
    return Outcome::Written;
}

void AlarmRecordWriter::fail(const QString& what, const QString& detail) {
    // The connection is closed once the queries using it are gone (EntryScope); closing rolls back
    // whatever was half done. The rows wait and are tried again.
    broken_ = true;
    if (reported_)
        return;
    reported_ = true;
    emit failed(QStringLiteral("The alarm record %1 could not be %2: %3")
                    .arg(QDir::toNativeSeparators(alarmRecordPath(alarmFolder_)), what, detail));
}

void AlarmRecordWriter::moveDamagedRecordAside() {
    connection_.reset();
    broken_ = false;
    episodeRows_.clear();
    const QString record = alarmRecordPath(alarmFolder_);
    const std::time_t now = std::time(nullptr);
    std::tm localNow{};
    localtime_r(&now, &localNow);
    const QString aside =
        QDir(alarmFolder_).filePath(QString::fromStdString(files::damagedAlarmRecordFileName(localNow)));
    const bool moved = QFile::rename(record, aside);
    // A journal belongs to the file it was written for.
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        if (QFileInfo::exists(record + QLatin1String(suffix)))
            QFile::rename(record + QLatin1String(suffix), aside + QLatin1String(suffix));
    if (reported_)
        return;
    reported_ = true;
    emit failed(moved ? QStringLiteral("The alarm record %1 was damaged: it was moved aside to %2 and a new "
                                       "record started.")
                            .arg(QDir::toNativeSeparators(record), QDir::toNativeSeparators(aside))
                      : QStringLiteral("The alarm record %1 is damaged and could not be moved aside.")
                            .arg(QDir::toNativeSeparators(record)));
}

void AlarmRecordWriter::enqueue(PendingWrite write) {
    // Only a rising highest reading comes here: the latest one waiting for the same episode says it.
    if (write.kind == PendingWrite::Kind::Highest && !pending_.empty() &&
        pending_.back().kind == PendingWrite::Kind::Highest && pending_.back().episode == write.episode) {
        pending_.back().celsius = std::max(pending_.back().celsius, write.celsius);
    } else if (pending_.size() >= largestBacklog) {
        ++dropped_;
        if (dropped_ == 1)
            fail(QStringLiteral("written"),
                 QStringLiteral("%1 rows were waiting; newer ones are dropped").arg(largestBacklog));
        return;
    } else {
        pending_.push_back(std::move(write));
    }
    if (!retryTimer_.isActive() && !closing_)
        writePending();
}

void AlarmRecordWriter::writePending() {
    while (!pending_.empty()) {
        Outcome outcome = Outcome::Written;
        if (!usable())
            outcome = openRecord(SqliteConnection::Mode::CreateIfMissing);
        if (outcome == Outcome::Written)
            outcome = write(pending_.front());
        if (outcome == Outcome::Written) {
            pending_.pop_front();
            continue;
        }
        if (outcome == Outcome::Damaged) {
            moveDamagedRecordAside();
            continue;
        }
        // Locked by another program, read-only, a full disk: the rows wait, in order.
        if (!closing_)
            retryTimer_.start();
        return;
    }
}

AlarmRecordWriter::Outcome AlarmRecordWriter::insertEpisode(uint64_t episode, const QDateTime& start,
                                                            const EpisodeValues& values) {
    QSqlQuery query(connection_->database());
    query.prepare(QStringLiteral("INSERT INTO episodes (start_local, start_utc, reference_correction_celsius,"
                                 " threshold_celsius) VALUES (?, ?, ?, ?)"));
    query.addBindValue(recordTimeText(start));
    query.addBindValue(start.toSecsSinceEpoch());
    query.addBindValue(values.referenceCorrectionCelsius ? QVariant(*values.referenceCorrectionCelsius)
                                                         : QVariant());
    query.addBindValue(values.thresholdCelsius ? QVariant(*values.thresholdCelsius) : QVariant());
    const Outcome outcome = run(query, "written");
    if (outcome == Outcome::Written)
        episodeRows_[episode] = query.lastInsertId().toLongLong();
    return outcome;
}

AlarmRecordWriter::Outcome AlarmRecordWriter::write(const PendingWrite& pending) {
    const auto row = episodeRows_.find(pending.episode);
    switch (pending.kind) {
    case PendingWrite::Kind::Begin:
        return insertEpisode(pending.episode, pending.time, pending.episodeValues);
    case PendingWrite::Kind::Highest: {
        if (row == episodeRows_.end())
            return Outcome::Written; // its episode began in a record since moved aside
        QSqlQuery query(connection_->database());
        query.prepare(QStringLiteral("UPDATE episodes SET highest_celsius = ?"
                                     " WHERE id = ? AND (highest_celsius IS NULL OR highest_celsius < ?)"));
        query.addBindValue(pending.celsius);
        query.addBindValue(row->second);
        query.addBindValue(pending.celsius);
        return run(query, "written");
    }
    case PendingWrite::Kind::Snapshot: {
        // An episode that began in a record since moved aside goes on in the new one.
        if (row == episodeRows_.end()) {
            const Outcome begun = insertEpisode(pending.episode, pending.time, pending.episodeValues);
            if (begun != Outcome::Written)
                return begun;
        }
        const qint64 episode = episodeRows_.at(pending.episode);
        QSqlDatabase& database = connection_->database();
        database.transaction();
        // A name written twice within one second holds the later picture.
        QSqlQuery snapshot(database);
        snapshot.prepare(QStringLiteral(
            "INSERT INTO snapshots (episode_id, file_name, time_local, time_utc, highest_celsius)"
            " VALUES (?, ?, ?, ?, ?) ON CONFLICT (file_name) DO UPDATE SET"
            " episode_id = excluded.episode_id, time_local = excluded.time_local,"
            " time_utc = excluded.time_utc, highest_celsius = excluded.highest_celsius"));
        snapshot.addBindValue(episode);
        snapshot.addBindValue(pending.fileName);
        snapshot.addBindValue(recordTimeText(pending.time));
        snapshot.addBindValue(pending.time.toSecsSinceEpoch());
        snapshot.addBindValue(pending.celsius);
        Outcome outcome = run(snapshot, "written");
        if (outcome != Outcome::Written)
            return outcome;
        QSqlQuery counts(database);
        counts.prepare(QStringLiteral(
            "UPDATE episodes SET snapshots = (SELECT COUNT(*) FROM snapshots WHERE episode_id = ?),"
            " highest_celsius = CASE WHEN highest_celsius IS NULL OR highest_celsius < ? THEN ?"
            "                   ELSE highest_celsius END"
            " WHERE id = ?"));
        counts.addBindValue(episode);
        counts.addBindValue(pending.celsius);
        counts.addBindValue(pending.celsius);
        counts.addBindValue(episode);
        outcome = run(counts, "written");
        if (outcome != Outcome::Written)
            return outcome;
        return database.commit() ? Outcome::Written : failure(database.lastError(), "written");
    }
    case PendingWrite::Kind::Person:
        return insertPerson(pending.person);
    case PendingWrite::Kind::End: {
        if (row == episodeRows_.end())
            return Outcome::Written;
        QSqlQuery query(connection_->database());
        query.prepare(QStringLiteral("UPDATE episodes SET end_local = ?, end_utc = ? WHERE id = ?"));
        query.addBindValue(recordTimeText(pending.time));
        query.addBindValue(pending.time.toSecsSinceEpoch());
        query.addBindValue(row->second);
        const Outcome outcome = run(query, "written");
        if (outcome == Outcome::Written)
            episodeRows_.erase(row->first);
        return outcome;
    }
    }
    return Outcome::Written;
}

void AlarmRecordWriter::beginEpisode(const QDateTime& start, const EpisodeValues& values) {
    const EntryScope scope(*this);
    if (openEpisode_ != 0)
        endEpisode(start);
    openEpisode_ = ++lastEpisode_;
    openEpisodeValues_ = values;
    enqueue({PendingWrite::Kind::Begin, openEpisode_, start, 0.0, QString(), values});
}

void AlarmRecordWriter::raiseHighest(double celsius) {
    const EntryScope scope(*this);
    if (openEpisode_ != 0)
        enqueue({PendingWrite::Kind::Highest, openEpisode_, QDateTime(), celsius, QString(), {}});
}

void AlarmRecordWriter::addSnapshot(const QString& fileName, const QDateTime& time, double highestCelsius) {
    const EntryScope scope(*this);
    // A snapshot is only taken during an alarm; one whose start was lost opens its own episode.
    if (openEpisode_ == 0)
        beginEpisode(time, {});
    // Its episode's values go with it, for a record moved aside since the episode began.
    enqueue({PendingWrite::Kind::Snapshot, openEpisode_, time, highestCelsius, fileName, openEpisodeValues_});
}

void AlarmRecordWriter::endEpisode(const QDateTime& end) {
    const EntryScope scope(*this);
    if (openEpisode_ == 0)
        return;
    enqueue({PendingWrite::Kind::End, openEpisode_, end, 0.0, QString(), {}});
    openEpisode_ = 0;
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
        QDir(alarmFolder_)
            .entryInfoList({QLatin1String(files::snapshotNamePrefix) + QLatin1Char('*')},
                           QDir::Files | QDir::NoSymLinks);
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
    if (usable() && pending_.empty())
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
        QStringLiteral("DELETE FROM people WHERE last_utc < ?"),
    };
    for (const QString& statement : statements) {
        QSqlQuery query(database);
        query.prepare(statement);
        query.addBindValue(cutoffUtc);
        if (run(query, "cleaned up") != Outcome::Written)
            return;
    }
    if (!database.commit())
        fail(QStringLiteral("cleaned up"), sqlErrorText(database.lastError()));
}

void AlarmRecordWriter::finish(const QDateTime& now) {
    const EntryScope scope(*this);
    retentionTimer_.stop();
    retryTimer_.stop();
    closing_ = true;
    endEpisode(now);
    writePending(); // once more, with the busy time-out: the station is going
    if (!pending_.empty())
        qWarning("The alarm record %s: %zu rows could not be written before the station ended.",
                 qPrintable(alarmRecordPath(alarmFolder_)), pending_.size());
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
