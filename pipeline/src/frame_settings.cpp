#include "pipeline/frame_settings.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace calidra {
namespace {

// The host may have switched the C locale to the operator's, so strtod is not used.
const char* numberStart(const std::string& text) {
    const char* cursor = text.c_str();
    while (*cursor == ' ' || *cursor == '\t')
        ++cursor;
    if (*cursor == '+' && cursor[1] != '-')
        ++cursor;
    return cursor;
}

bool isEmpty(const std::optional<std::string>& text) {
    return !text || text->empty();
}

} // namespace

double parseLeadingDouble(const std::string& text) {
    const char* begin = numberStart(text);
    double value = 0.0;
    const auto result = std::from_chars(begin, text.c_str() + text.size(), value, std::chars_format::fixed);
    if (result.ec != std::errc() || !std::isfinite(value))
        return 0.0;
    return value;
}

int64_t parseLeadingInteger(const std::string& text) {
    const char* begin = numberStart(text);
    int64_t value = 0;
    const auto result = std::from_chars(begin, text.c_str() + text.size(), value);
    return result.ec == std::errc() ? value : 0;
}

FrameSettings readFrameSettings(const FrameSettingsTexts& texts, TemperatureUnit unit) {
    FrameSettings settings; // holds the fallbacks
    if (!isEmpty(texts.detectionTemperature))
        settings.detectionCelsius = toCelsius(parseLeadingDouble(*texts.detectionTemperature), unit);
    if (!isEmpty(texts.alarmTemperature))
        settings.alarmCelsius = toCelsius(parseLeadingDouble(*texts.alarmTemperature), unit);
    if (!isEmpty(texts.alarmSavePeriod)) {
        // Seconds beyond what milliseconds can hold are treated like unreadable text.
        constexpr int64_t maximumSeconds = INT64_MAX / 1000;
        const int64_t seconds = parseLeadingInteger(*texts.alarmSavePeriod);
        settings.alarmSavePeriodMs =
            seconds <= maximumSeconds && seconds >= -maximumSeconds ? seconds * 1000 : 0;
    }
    if (!isEmpty(texts.minimumRegionArea))
        settings.minimumRegionArea = parseLeadingInteger(*texts.minimumRegionArea);
    return settings;
}

} // namespace calidra
