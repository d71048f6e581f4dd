#pragma once
// Room on the disk that holds the alarm snapshots.

#include <QString>

#include <optional>

namespace calidra {

// AlarmMinFreeMB: below this many MiB free, the station attempts no snapshot.
inline constexpr int defaultAlarmMinFreeMegabytes = 200;

// MiB an unprivileged writer may still use on the file system of path, or of its nearest existing
// parent folder (the alarm folder is made by the first snapshot). None when that cannot be asked.
std::optional<qint64> freeMegabytesAt(const QString& path);

// Whether at least minimumFreeMegabytes are free for the alarm folder. When the file system cannot
// be asked, the answer is yes: the snapshot is tried and its own failure is reported.
bool enoughFreeSpaceFor(const QString& alarmFolder, qint64 minimumFreeMegabytes);

} // namespace calidra
