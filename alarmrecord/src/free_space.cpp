#include "alarmrecord/free_space.h"

#include <QDir>
#include <QFileInfo>

#include <sys/statvfs.h>

namespace calidra {

std::optional<qint64> freeMegabytesAt(const QString& path) {
    QString folder = QFileInfo(path).absoluteFilePath();
    while (!QFileInfo::exists(folder)) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder)
            return std::nullopt;
        folder = parent;
    }
    struct statvfs fileSystem {};
    if (::statvfs(QFile::encodeName(folder).constData(), &fileSystem) != 0)
        return std::nullopt;
    const unsigned long long freeBytes = static_cast<unsigned long long>(fileSystem.f_bavail) *
                                         static_cast<unsigned long long>(fileSystem.f_frsize);
    return static_cast<qint64>(freeBytes / (1024ULL * 1024ULL));
}

bool enoughFreeSpaceFor(const QString& alarmFolder, qint64 minimumFreeMegabytes) {
    const std::optional<qint64> freeMegabytes = freeMegabytesAt(alarmFolder);
    return !freeMegabytes || *freeMegabytes >= minimumFreeMegabytes;
}

} // namespace calidra
