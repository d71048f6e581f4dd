#pragma once
// The operator's per-frame values, parsed from the texts of the options pane's edit boxes.

#include "pipeline/human_detection.h"
#include "pipeline/temperature_scale.h"

#include <optional>
#include <string>
#include <string_view>

namespace calidra {

// One text per edit box; empty optional when the box does not exist yet.
struct FrameSettingsTexts {
    std::optional<std::string> detectionTemperature; // display unit
    std::optional<std::string> alarmTemperature;     // display unit
    std::optional<std::string> alarmSavePeriod;      // whole seconds
    std::optional<std::string> minimumRegionArea;    // pixels
};

// Empty or missing texts give emptyFieldFallbacks() (taken as degrees Celsius whatever the unit);
// a text that does not start with a number gives 0.
FrameSettings readFrameSettings(const FrameSettingsTexts& texts, TemperatureUnit unit);

// What an empty box stands for: fixed values, not the stored settings' defaults.
FrameSettings emptyFieldFallbacks();

// The one reading of a typed number, whatever the locale, as a C program reads it: blanks, a sign,
// then the longest number at the start ("37.5abc" gives 37.5, "1e1" 10, "abc" and "-" 0). A
// number too large for a double gives 0; integers stop at the point and saturate to int.
double parseLeadingDouble(std::string_view text);
int parseLeadingInteger(std::string_view text);

} // namespace calidra
