#pragma once
// The part of the alarm record that lives on the record's own thread: every database write and
// every deletion happens here, one at a time, in the order the station asked for them.
//
// Rows wait in order until they are written: a record another program holds locked longer than the
// busy time-out, or one that cannot be written for now, is tried again every retry interval, and
// nothing asked for is lost meanwhile (up to a bound far beyond any real backlog). A file that is not
// a database, or a damaged one, is moved aside and a new record started.

#include "alarmrecord/alarm_record.h"
#include "alarmrecord/person_entry.h"
#include "sqlite_connection.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>

class QSqlError;
class QSqlQuery;

namespace calidra {

// What an episode keeps from the moment it began.
struct EpisodeValues {
    std::optional<double> referenceCorrectionCelsius;
    std::optional<double> thresholdCelsius;
};

class AlarmRecordWriter : public QObject {
    Q_OBJECT
public:
    static constexpr int retentionIntervalMs = 60 * 60 * 1000;
    // Rows waiting beyond this many are dropped (and reported): a day of alarms is a few thousand.
    static constexpr std::size_t largestBacklog = 20000;

    AlarmRecordWriter(QString alarmFolder, int keepDays, AlarmRecordTimes times);
    ~AlarmRecordWriter() override;

    // All of these run on the writer thread.
    void start();
    void beginEpisode(const QDateTime& start, const EpisodeValues& values);
    void raiseHighest(double celsius);
    void addSnapshot(const QString& fileName, const QDateTime& time, double highestCelsius);
    void endEpisode(const QDateTime& end);
    void addPerson(const PersonEntry& person);
    void setKeepDays(int days);
    void removeExpired();
    // The station is closing: an episode still open ends now, and what waits is tried once more.
    void finish(const QDateTime& now);

signals:
    // Once for the life of the writer, for the first database problem.
    void failed(const QString& message);
    void expiredRemoved(int filesRemoved, int filesNotRemoved);

private:
    // One row to write; episodes are numbered here, their database ids are known once written.
    struct PendingWrite {
        enum class Kind { Begin, Highest, Snapshot, End, Person } kind;
        uint64_t episode;
        QDateTime time;
        double celsius = 0.0;
        QString fileName;
        EpisodeValues episodeValues; // with Begin and Snapshot
        PersonEntry person = {};
    };
    enum class Outcome { Written, Busy, Damaged, Failed };

    // Declared first in every entry point: when the outermost one returns and its queries are
    // gone, a connection that failed (or the closing one) is let go.
    class EntryScope {
    public:
        explicit EntryScope(AlarmRecordWriter& writer) : writer_(writer) { ++writer_.depth_; }
        ~EntryScope();
        EntryScope(const EntryScope&) = delete;
        EntryScope& operator=(const EntryScope&) = delete;

    private:
        AlarmRecordWriter& writer_;
    };

    bool usable() const { return connection_ && !broken_; }
    // An existing record is opened at start-up; a missing one is made by the first row.
    Outcome openRecord(SqliteConnection::Mode mode);
    // Runs a prepared statement; a failure closes the record, is reported, and says what it was.
    Outcome run(QSqlQuery& query, const char* what);
    Outcome failure(const QSqlError& error, const char* what);
    Outcome runAll(const char* const* statements, const char* what);
    void fail(const QString& what, const QString& detail);
    void removeExpiredRows(qint64 cutoffUtc);

    void enqueue(PendingWrite write);
    // Writes what waits, in order, until it is all written or the record cannot take more for now.
    void writePending();
    Outcome write(const PendingWrite& pending);
    Outcome insertEpisode(uint64_t episode, const QDateTime& start, const EpisodeValues& values);
    // Records made before a table kept a value (the reference's correction, the threshold in
    // force) get its REAL column, in place; their earlier rows hold NULL there.
    Outcome addMissingColumns(const QString& table, QStringList missing);
    Outcome insertPerson(const PersonEntry& person);
    // The damaged file goes to alarms.sqlite.damaged-<time>; the next row starts a new record.
    void moveDamagedRecordAside();

    const QString alarmFolder_;
    const AlarmRecordTimes times_;
    int keepDays_;
    std::unique_ptr<SqliteConnection> connection_;
    std::deque<PendingWrite> pending_;
    std::map<uint64_t, qint64> episodeRows_; // episode number -> row id in the open record
    uint64_t openEpisode_ = 0;               // 0: none
    EpisodeValues openEpisodeValues_;
    uint64_t lastEpisode_ = 0;
    uint64_t dropped_ = 0;
    bool broken_ = false; // the connection failed and is let go when the entry point ends
    bool closing_ = false;
    int depth_ = 0; // nested entry points
    bool reported_ = false;
    QTimer retentionTimer_;
    QTimer retryTimer_;
};

} // namespace calidra
