#include "lifecycle/runnable_folder_lock.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace calidra {

RunnableFolderLock::~RunnableFolderLock() {
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

InstanceClaim RunnableFolderLock::claim() {
    if (descriptor_ >= 0)
        return InstanceClaim::First;
    // Close-on-exec: the helper programs the station starts must not keep the folder after it.
    const int descriptor = ::open(QFile::encodeName(folder_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return InstanceClaim::Unguarded;
    if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0) {
        descriptor_ = descriptor;
        return InstanceClaim::First;
    }
    const int failure = errno;
    ::close(descriptor);
    return failure == EWOULDBLOCK ? InstanceClaim::AlreadyRunning : InstanceClaim::Unguarded;
}

QString runnableFolderTakenMessage(const QString& folder) {
    return QStringLiteral("Another station (Calidra or calidra-headless) is already running from %1.")
        .arg(QDir::toNativeSeparators(folder));
}

} // namespace calidra
