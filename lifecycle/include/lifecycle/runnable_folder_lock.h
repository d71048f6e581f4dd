#pragma once
// One station per runnable folder. Calidra and calidra-headless started from one folder share its
// masks, its alarm folder and usually the settings profile, so only one of them may run from it,
// whoever started it. The lock is an advisory lock on the folder itself: every user who can read
// the folder takes part, nothing is written there, and the lock ends with the process.

#include "lifecycle/single_instance.h"

#include <QString>

namespace calidra {

class RunnableFolderLock {
public:
    explicit RunnableFolderLock(QString folder) : folder_(std::move(folder)) {}
    ~RunnableFolderLock();
    RunnableFolderLock(const RunnableFolderLock&) = delete;
    RunnableFolderLock& operator=(const RunnableFolderLock&) = delete;

    // First: held until this object or the process ends. AlreadyRunning: another station holds
    // it. Unguarded: the folder cannot be locked (missing, a file system without locks).
    InstanceClaim claim();

    QString folder() const { return folder_; }

private:
    QString folder_;
    int descriptor_ = -1;
};

// What the second station says before it ends with exit code 1.
QString runnableFolderTakenMessage(const QString& folder);

} // namespace calidra
