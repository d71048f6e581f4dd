#pragma once
// The operator's per-frame values, parsed from the texts of the options pane's edit boxes.

#include "pipeline/human_detection.h"
#include "pipeline/temperature_scale.h"

#include <optional>
#include <string>

namespace calidra {

// One text per edit box; empty optional when the box does not exist yet.
struct FrameSettingsTexts {
    std::optional<std::string> detectionTemperature; // display unit
    std::optional<std::string> alarmTemperature;     // display unit
    std::optional<std::string> alarmSavePeriod;      // whole seconds
    std::optional<std::string> minimumRegionArea;    // pixels
};

// Empty or missing texts give the fallbacks (taken as degrees Celsius whatever the unit);
// a text that does not start with a number gives 0.
FrameSettings readFrameSettings(const FrameSettingsTexts& texts, TemperatureUnit unit);

// Locale-independent leading-number parsers: "37.5abc" gives 37.5, "abc" gives 0.
double parseLeadingDouble(const std::string& text);
int64_t parseLeadingInteger(const std::string& text);

} // namespace calidra
