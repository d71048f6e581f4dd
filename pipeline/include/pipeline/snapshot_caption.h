#pragma once
// The band under an alarm snapshot that says when, where and against what the reading was taken,
// so a picture passed on alone still tells its story.

#include "pipeline/temperature_scale.h"

#include <opencv2/core.hpp>

#include <ctime>
#include <string>
#include <vector>

namespace calidra {

enum class CaptionCorrection {
    Reference,     // temperature mode Reference with the source locked: the correction it keeps
    CameraOffset,  // otherwise the offset the camera holds
    OffsetUnknown, // the camera's offset could not be read
};

// Temperatures in degrees Celsius; the caption shows them in the operator's unit.
struct SnapshotCaption {
    std::tm localTime{};     // the moment of saving, with its offset from UTC (tm_gmtoff)
    std::string stationName; // UTF-8; empty: left out
    double highestCelsius = 0.0;
    double thresholdCelsius = 0.0;
    CaptionCorrection correction = CaptionCorrection::OffsetUnknown;
    double correctionCelsius = 0.0;
    TemperatureUnit unit = TemperatureUnit::Celsius;
};

// The caption's items in order, in ASCII only (the band's font draws nothing else): the time as
// "2026-12-08 14:03:05 +01:00", "Station <name>" with '?' for each character outside ASCII,
// "Highest 38.3 C", "Threshold 37.5 C", and "Reference correction +0.4 C", "Camera offset -0.2 C"
// or "Camera offset unknown".
std::vector<std::string> captionItems(const SnapshotCaption& caption);

// The picture, untouched, with the caption band below it across its width: snapshot is
// bgrPicture's rows followed by the band's. The items wrap onto as many lines as the width needs.
void captionedSnapshot(const cv::Mat& bgrPicture, const SnapshotCaption& caption, cv::Mat& snapshot);

} // namespace calidra
