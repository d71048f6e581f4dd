#pragma once
// JPEG pictures of the scene: alarm snapshots and the mask editor's snapshot.

#include <opencv2/core.hpp>

#include <ctime>
#include <optional>
#include <string>

namespace calidra {

constexpr int snapshotJpegQuality = 80;

// Encodes a blue-green-red picture and puts it in place in one step: the bytes go to a temporary
// file in the same folder, which is renamed over the final name, so a reader never finds a
// truncated JPEG there. On failure nothing is left behind and false is returned.
bool writeJpegAtomically(const std::string& path, const cv::Mat& bgrPicture, int quality);

struct AlarmSnapshotResult {
    std::optional<std::string> path; // the file written
    int errorNumber = 0;             // errno of the step that failed; 0 when nothing failed
};

// Creates <program folder>/ThermalAlarm and, when pictures are wanted, writes the picture there
// under the local time's snapshot name, never over another file (files::writeSnapshotFile).
// Without a picture to write, a folder that cannot be made is no failure.
AlarmSnapshotResult saveAlarmSnapshot(const std::string& programFolder, const cv::Mat& bgrPicture,
                                      bool writePicture, const std::tm& localTime);

} // namespace calidra
