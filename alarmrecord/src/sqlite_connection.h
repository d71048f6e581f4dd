#pragma once
// One Qt SQL connection to the record file, usable only on the thread that made it (a Qt SQL rule);
// each thread that touches the record makes its own.

#include "alarmrecord/alarm_record.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

class QSqlError;

namespace calidra {

// SQLite's own words when it gave any, else Qt's.
QString sqlErrorText(const QSqlError& error);

// What a failed statement means for the rows waiting to be written.
enum class SqlFailure {
    Busy,    // another connection holds the file: try again later
    Damaged, // the file is not a database, or a damaged one
    Other,   // read-only, disk full, folder gone: try again later
};
SqlFailure classifySqlFailure(const QSqlError& error);

// The table's column names, none when the table does not exist; false (and the error) when SQLite
// could not say. Records from before a column was added hold it only once a station opened them.
bool readTableColumns(QSqlDatabase& database, const QString& table, QStringList& columns, QSqlError& error);

class SqliteConnection {
public:
    enum class Mode {
        OpenExisting,    // never creates the file
        CreateIfMissing, // the first episode makes the record
    };

    // A writer waits busyTimeoutMs for another connection (the image list, an export) to let go.
    SqliteConnection(const QString& path, Mode mode,
                     int busyTimeoutMs = AlarmRecordTimes::defaultBusyTimeoutMs);
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    bool isOpen() const { return database_.isOpen(); }
    // Why the open failed.
    const QString& errorText() const { return errorText_; }
    QSqlDatabase& database() { return database_; }

private:
    QString name_;
    QSqlDatabase database_;
    QString errorText_;
};

} // namespace calidra
