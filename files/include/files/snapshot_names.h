#pragma once
// The names of the alarm snapshots in the alarm folder: "ThermalAlarm_YYYYMMDD_HHMMSS.jpg" in local
// time, and "..._HHMMSS-N.jpg" (N from 2) for a picture whose name was already taken. Written by the
// pipeline; read back by the alarm record (the time of a row, retention), the Image View (order,
// listing) and the clean-up of a killed station, all through here.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace calidra::files {

// Every picture the station writes ends so, and the Image View lists every file that does.
inline constexpr char pictureSuffix[] = ".jpg";
inline constexpr char snapshotNamePrefix[] = "ThermalAlarm_";

// The most snapshots one second of local time can hold.
inline constexpr int snapshotNamesPerSecond = 10000;

std::string snapshotFileName(const std::tm& localTime, int sequence = 1);

struct SnapshotName {
    std::tm localTime{}; // year to second as the name gives them; tm_isdst -1, weekday and day of year 0
    int sequence = 1;    // 1 for the plain name, N for "-N"
};

// The one reading of a snapshot name: only the two forms above, N without leading zeros and of at
// most nine digits. The digits are taken as written: whoever makes a point in time of them checks
// that it exists.
std::optional<SnapshotName> parseSnapshotFileName(const std::string& fileName);

// Whether the Image View lists the file: by its suffix, written in lower case.
bool isPictureFileName(const std::string& fileName);

// Puts the bytes in place under the local time's name in alarmFolder, never over another file: a
// name already taken (a clock set back, the repeated hour of daylight saving, a second station on
// the folder, several pictures in one second) gets the next free "-N". Returns the path, or an empty
// string with errno set.
std::string writeSnapshotFile(const std::string& alarmFolder, const std::tm& localTime, const uint8_t* data,
                              std::size_t size);

} // namespace calidra::files
