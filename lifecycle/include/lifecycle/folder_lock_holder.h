#pragma once
// Who holds a runnable folder's lock, as far as this user may see: the process from the kernel's
// table of locks, the program it runs and the systemd service it runs in. A second station uses it
// to tell the operator what to stop.

#include <QString>

namespace calidra {

struct FolderLockHolder {
    qint64 processId = 0;       // 0: nobody holds the folder, or the table cannot be read
    QString programName;        // the file name the process was started as: "calidra-headless", "Calidra"
    QString serviceUnit;        // "calidra-headless.service" when systemd runs it as a service, else empty
    bool systemService = false; // a unit of the system, not of a user's own systemd
};

// processFolder is where the kernel's process files are (/proc); another folder only for tests.
FolderLockHolder findFolderLockHolder(const QString& folder,
                                      const QString& processFolder = QStringLiteral("/proc"));

} // namespace calidra
