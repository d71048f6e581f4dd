#include "lifecycle/single_instance.h"

#include <QDir>
#include <QStandardPaths>

namespace calidra {

SingleInstance::SingleInstance(const QString& runtimeFolder, const QString& applicationName)
    : lockPath_(QDir(runtimeFolder).filePath(applicationName + QStringLiteral(".lock"))),
      lock_(std::make_unique<QLockFile>(lockPath_)) {
    // A lock is stale only when its process is gone: the station may run for months.
    lock_->setStaleLockTime(0);
}

InstanceClaim SingleInstance::claim() {
    if (lock_->isLocked())
        return InstanceClaim::First;
    if (lock_->tryLock(0))
        return InstanceClaim::First;
    if (lock_->error() == QLockFile::LockFailedError)
        return InstanceClaim::AlreadyRunning;
    return InstanceClaim::Unguarded;
}

QString userRuntimeFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

} // namespace calidra
