#include "sqlite_connection.h"

#include "files/file_io.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QUrl>

#include <atomic>

#include <sys/stat.h>

namespace calidra {
namespace {

QString uniqueConnectionName() {
    static std::atomic<unsigned> counter{0};
    return QStringLiteral("calidra-alarm-record-%1").arg(counter.fetch_add(1));
}

} // namespace

QString sqlErrorText(const QSqlError& error) {
    const QString databaseText = error.databaseText().trimmed();
    return databaseText.isEmpty() ? error.text().trimmed() : databaseText;
}

bool readTableColumns(QSqlDatabase& database, const QString& table, QStringList& columns, QSqlError& error) {
    QSqlQuery query(database);
    if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table))) {
        error = query.lastError();
        return false;
    }
    while (query.next())
        columns << query.value(1).toString();
    return true;
}

SqlFailure classifySqlFailure(const QSqlError& error) {
    // SQLite's primary result codes (the low byte of an extended one).
    bool parsed = false;
    const int code = error.nativeErrorCode().toInt(&parsed) & 0xff;
    if (!parsed)
        return SqlFailure::Other;
    constexpr int busy = 5, locked = 6, corrupt = 11, notADatabase = 26;
    if (code == busy || code == locked)
        return SqlFailure::Busy;
    if (code == corrupt || code == notADatabase)
        return SqlFailure::Damaged;
    return SqlFailure::Other;
}

SqliteConnection::SqliteConnection(const QString& path, Mode mode, int busyTimeoutMs)
    : name_(uniqueConnectionName()) {
    database_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    if (!database_.isValid()) {
        errorText_ = QStringLiteral("the SQLite driver of Qt SQL (QSQLITE) is not installed");
        return;
    }
    // A URI lets "mode=rw" refuse to create a missing file; a write-protected file still opens,
    // read-only, and its first write fails.
    QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    url.setQuery(mode == Mode::CreateIfMissing ? QStringLiteral("mode=rwc") : QStringLiteral("mode=rw"));
    database_.setDatabaseName(url.toString(QUrl::FullyEncoded));
    database_.setConnectOptions(
        QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
    const bool existed = QFileInfo::exists(path);
    if (!database_.open()) {
        errorText_ = sqlErrorText(database_.lastError());
        return;
    }
    // SQLite makes new files 0644 whatever the umask allows; the operators of the station's group
    // must all be able to write the record (its journals take the file's permissions).
    if (!existed && QFileInfo::exists(path))
        ::chmod(QFile::encodeName(path).constData(), files::newFilePermissions());
}

SqliteConnection::~SqliteConnection() {
    database_.close();
    database_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name_);
}

} // namespace calidra
