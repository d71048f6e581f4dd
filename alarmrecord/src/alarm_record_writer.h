#pragma once
// The part of the alarm record that lives on the record's own thread: every database write and
// every deletion happens here, one at a time, in the order the station asked for them.

#include "sqlite_connection.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

class QSqlQuery;

namespace calidra {

class AlarmRecordWriter : public QObject {
    Q_OBJECT
public:
    static constexpr int retentionIntervalMs = 60 * 60 * 1000;

    AlarmRecordWriter(QString alarmFolder, int keepDays);
    ~AlarmRecordWriter() override;

    // All of these run on the writer thread.
    void start();
    void beginEpisode(const QDateTime& start);
    void raiseHighest(double celsius);
    void addSnapshot(const QString& fileName, const QDateTime& time, double highestCelsius);
    void endEpisode(const QDateTime& end);
    void setKeepDays(int days);
    void removeExpired();
    // The station is closing: an episode still open ends now.
    void finish(const QDateTime& now);

signals:
    // Once for the life of the writer, for the first database problem.
    void failed(const QString& message);
    void expiredRemoved(int filesRemoved, int filesNotRemoved);

private:
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
    // An existing record is opened at start-up; a missing one is made by the first episode.
    bool openRecord(SqliteConnection::Mode mode);
    // Runs a prepared statement; a failure closes the record and is reported.
    bool run(QSqlQuery& query, const char* what);
    bool runAll(const char* const* statements, const char* what);
    void fail(const QString& what, const QString& detail);
    void removeExpiredRows(qint64 cutoffUtc);

    const QString alarmFolder_;
    int keepDays_;
    std::unique_ptr<SqliteConnection> connection_;
    std::optional<qint64> openEpisode_;
    bool broken_ = false; // the connection failed and is let go when the entry point ends
    bool closing_ = false;
    int depth_ = 0; // nested entry points
    bool reported_ = false;
    QTimer retentionTimer_;
};

} // namespace calidra
