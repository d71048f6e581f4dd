#pragma once
// One running copy per name and user: a lock file in the user's runtime folder. The station and
// the mask editor both guard themselves with it.

#include <QLockFile>
#include <QString>

#include <memory>

namespace calidra {

enum class InstanceClaim { First, AlreadyRunning, Unguarded };

class SingleInstance {
public:
    // The lock is "<applicationName>.lock" in runtimeFolder.
    SingleInstance(const QString& runtimeFolder, const QString& applicationName);

    // First: this process holds the lock until it ends (a lock left by a crashed run is taken
    // over). AlreadyRunning: a live process holds it. Unguarded: the lock could not be made at
    // all (no runtime folder, no permission); start-up goes on without the guard.
    InstanceClaim claim();

    QString lockPath() const { return lockPath_; }

private:
    QString lockPath_;
    std::unique_ptr<QLockFile> lock_;
};

// $XDG_RUNTIME_DIR, or the private folder Qt makes in its place.
QString userRuntimeFolder();

} // namespace calidra
