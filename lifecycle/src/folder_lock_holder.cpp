#include "lifecycle/folder_lock_holder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace calidra {
namespace {

// The kernel's files are small; a bound keeps a strange one from costing anything.
constexpr qint64 largestProcessFile = 1 << 20;

QByteArray readProcessFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(largestProcessFile);
}

// "fe:00:11772139" as /proc/locks writes a file: device major and minor in hex, inode in decimal.
bool sameFile(const QByteArray& field, const struct stat& file) {
    const QList<QByteArray> parts = field.split(':');
    if (parts.size() != 3)
        return false;
    bool majorRead = false, minorRead = false, inodeRead = false;
    const unsigned long long deviceMajor = parts[0].toULongLong(&majorRead, 16);
    const unsigned long long deviceMinor = parts[1].toULongLong(&minorRead, 16);
    const unsigned long long inode = parts[2].toULongLong(&inodeRead, 10);
    return majorRead && minorRead && inodeRead && deviceMajor == major(file.st_dev) &&
           deviceMinor == minor(file.st_dev) && inode == file.st_ino;
}

// "1: FLOCK  ADVISORY  WRITE 1234 fe:00:11772139 0 EOF"; a waiter's line has "->" after the number.
qint64 lockingProcess(const QByteArray& table, const struct stat& folder) {
    for (const QByteArray& line : table.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields[1] != "FLOCK")
            continue;
        if (!sameFile(fields[5], folder))
            continue;
        bool read = false;
        const qint64 process = fields[4].toLongLong(&read);
        if (read && process > 0)
            return process;
    }
    return 0;
}

QString programOf(const QString& processFiles) {
    // The first argument keeps the whole name; "comm" is cut to 15 characters.
    const QByteArray arguments = readProcessFile(processFiles + QStringLiteral("/cmdline"));
    const QByteArray first = arguments.left(arguments.indexOf('\0'));
    if (!first.isEmpty())
        return QFileInfo(QFile::decodeName(first)).fileName();
    return QString::fromUtf8(readProcessFile(processFiles + QStringLiteral("/comm"))).trimmed();
}

// The unified hierarchy's line "0::/system.slice/calidra-headless.service", or systemd's own
// "1:name=systemd:..." where the controllers are still split.
void readServiceUnit(const QString& processFiles, FolderLockHolder& holder) {
    for (const QByteArray& line : readProcessFile(processFiles + QStringLiteral("/cgroup")).split('\n')) {
        const int pathStart = line.indexOf(":/");
        if (pathStart < 0 || !(line.startsWith("0::") || line.contains(":name=systemd:")))
            continue;
        const QString path = QString::fromUtf8(line.mid(pathStart + 1));
        const QString unit = path.section(QLatin1Char('/'), -1);
        if (unit.endsWith(QLatin1String(".service")) && !unit.startsWith(QLatin1String("user@"))) {
            holder.serviceUnit = unit;
            holder.systemService = path.startsWith(QLatin1String("/system.slice/"));
            return;
        }
    }
}

} // namespace

FolderLockHolder findFolderLockHolder(const QString& folder, const QString& processFolder) {
    FolderLockHolder holder;
    struct stat folderFile {};
    if (::stat(QFile::encodeName(folder).constData(), &folderFile) != 0)
        return holder;
    holder.processId = lockingProcess(readProcessFile(processFolder + QStringLiteral("/locks")), folderFile);
    if (holder.processId == 0)
        return holder;
    const QString processFiles = QStringLiteral("%1/%2").arg(processFolder).arg(holder.processId);
    holder.programName = programOf(processFiles);
    readServiceUnit(processFiles, holder);
    return holder;
}

} // namespace calidra
