#pragma once
// One Qt SQL connection to the record file, usable only on the thread that made it (a Qt SQL rule);
// each thread that touches the record makes its own.

#include <QSqlDatabase>
#include <QString>

class QSqlError;

namespace calidra {

// SQLite's own words when it gave any, else Qt's.
QString sqlErrorText(const QSqlError& error);

class SqliteConnection {
public:
    enum class Mode {
        OpenExisting,    // never creates the file
        CreateIfMissing, // the first episode makes the record
    };

    SqliteConnection(const QString& path, Mode mode);
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
