#include "sqlite_connection.h"

#include "maskfile/file_io.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QUrl>

#include <atomic>

#include <sys/stat.h>

namespace calidra {
namespace {

// A writer waits this long for a reader (the image list, an export) to let go. It waits on the
// record's own thread, where nobody else is held up, and a write given up is a record lost.
constexpr int busyTimeoutMs = 10000;

QString uniqueConnectionName() {
    static std::atomic<unsigned> counter{0};
    return QStringLiteral("calidra-alarm-record-%1").arg(counter.fetch_add(1));
}

} // namespace

QString sqlErrorText(const QSqlError& error) {
    const QString databaseText = error.databaseText().trimmed();
    return databaseText.isEmpty() ? error.text().trimmed() : databaseText;
}

SqliteConnection::SqliteConnection(const QString& path, Mode mode) : name_(uniqueConnectionName()) {
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
        ::chmod(QFile::encodeName(path).constData(), maskfile::newFilePermissions());
}

SqliteConnection::~SqliteConnection() {
    database_.close();
    database_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name_);
}

} // namespace calidra
