#include "password_file.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace calidra {
namespace {

constexpr qint64 longestPasswordFileBytes = 4096;

PasswordFileResult refused(const QString& problem, int errorNumber = 0) {
    PasswordFileResult result;
    result.problem = problem;
    result.errorNumber = errorNumber;
    return result;
}

} // namespace

PasswordFileResult readPasswordFile(const QString& path) {
    // Without waiting: a FIFO in its place is refused below, never waited on.
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        const int errorNumber = errno;
        return refused(QStringLiteral("MQTT password file %1 cannot be read: %2.")
                           .arg(path, qt_error_string(errorNumber)),
                       errorNumber);
    }
    // Checked on the open file, so that what is checked is what is read.
    struct stat status {};
    PasswordFileResult result;
    if (fstat(descriptor, &status) != 0) {
        result = refused(QStringLiteral("MQTT password file %1 cannot be read.").arg(path), errno);
    } else if (!S_ISREG(status.st_mode)) {
        result = refused(QStringLiteral("MQTT password file %1 is not a file.").arg(path));
    } else if (status.st_uid != geteuid()) {
        result = refused(
            QStringLiteral("MQTT password file %1 belongs to another user; it is not used.").arg(path));
    } else if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        result = refused(
            QStringLiteral(
                "MQTT password file %1 is open to other users; it is not used (chmod 600 makes it private).")
                .arg(path));
    } else if (status.st_size > longestPasswordFileBytes) {
        result = refused(QStringLiteral("MQTT password file %1 is too long for a password.").arg(path));
    } else {
        QFile file;
        if (file.open(descriptor, QIODevice::ReadOnly)) {
            const QByteArray content = file.read(longestPasswordFileBytes);
            const int lineEnd = content.indexOf('\n');
            result.password = lineEnd < 0 ? content : content.left(lineEnd);
            if (result.password.endsWith('\r'))
                result.password.chop(1);
            result.usable = true;
        } else {
            result = refused(QStringLiteral("MQTT password file %1 cannot be read.").arg(path));
        }
    }
    ::close(descriptor);
    return result;
}

} // namespace calidra
