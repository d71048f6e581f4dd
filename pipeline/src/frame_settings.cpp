#include "pipeline/frame_settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace calidra {
namespace {

bool isDigit(char character) {
    return character >= '0' && character <= '9';
}

bool isSpace(char character) {
    return character == ' ' || (character >= '\t' && character <= '\r');
}

// The host may have switched the C locale to the operator's, so strtod is not used.
struct NumberText {
    std::size_t begin = 0;  // the first character of the number, after the blanks
    std::size_t end = 0;    // one past its last character
    std::size_t digits = 0; // whole and fraction digits; 0 means no number
    bool negative = false;
};

// Blanks, a sign, digits, a point and more digits, an exponent that has digits.
NumberText scanNumber(std::string_view text, bool withFraction) {
    NumberText number;
    std::size_t cursor = 0;
    while (cursor < text.size() && isSpace(text[cursor]))
        ++cursor;
    if (cursor < text.size() && (text[cursor] == '+' || text[cursor] == '-')) {
        number.negative = text[cursor] == '-';
        ++cursor;
    }
    number.begin = cursor;
    while (cursor < text.size() && isDigit(text[cursor])) {
        ++cursor;
        ++number.digits;
    }
    if (withFraction && cursor < text.size() && text[cursor] == '.') {
        ++cursor;
        while (cursor < text.size() && isDigit(text[cursor])) {
            ++cursor;
            ++number.digits;
        }
    }
    if (withFraction && number.digits > 0 && cursor < text.size() &&
        (text[cursor] == 'e' || text[cursor] == 'E')) {
        std::size_t exponent = cursor + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-'))
            ++exponent;
        if (exponent < text.size() && isDigit(text[exponent])) {
            while (exponent < text.size() && isDigit(text[exponent]))
                ++exponent;
            cursor = exponent;
        }
    }
    number.end = cursor;
    return number;
}

bool isEmpty(const std::optional<std::string>& text) {
    return !text || text->empty();
}

} // namespace

double parseLeadingDouble(std::string_view text) {
    const NumberText number = scanNumber(text, true);
    if (number.digits == 0)
        return 0.0;
    double value = 0.0;
    const char* first = text.data() + number.begin;
    const auto result = std::from_chars(first, text.data() + number.end, value, std::chars_format::general);
    if (result.ec != std::errc() || !std::isfinite(value))
        return 0.0; // out of range: no usable number
    return number.negative ? -value : value;
}

int parseLeadingInteger(std::string_view text) {
    const NumberText number = scanNumber(text, false);
    int64_t value = 0;
    for (std::size_t index = number.begin; index < number.end; ++index) {
        value = value * 10 + (text[index] - '0');
        if (value > int64_t(std::numeric_limits<int>::max()) + 1)
            break; // saturated either way
    }
    if (number.negative)
        value = -value;
    return static_cast<int>(
        std::clamp<int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

FrameSettings readFrameSettings(const FrameSettingsTexts& texts, TemperatureUnit unit) {
    FrameSettings settings = emptyFieldFallbacks();
    if (!isEmpty(texts.detectionTemperature))
        settings.detectionCelsius = toCelsius(parseLeadingDouble(*texts.detectionTemperature), unit);
    if (!isEmpty(texts.alarmTemperature))
        settings.alarmCelsius = toCelsius(parseLeadingDouble(*texts.alarmTemperature), unit);
    if (!isEmpty(texts.alarmSavePeriod))
        settings.alarmSavePeriodMs = int64_t(parseLeadingInteger(*texts.alarmSavePeriod)) * 1000;
    if (!isEmpty(texts.minimumRegionArea))
        settings.minimumRegionArea = parseLeadingInteger(*texts.minimumRegionArea);
    return settings;
}

FrameSettings emptyFieldFallbacks() {
    FrameSettings fallbacks;
    fallbacks.detectionCelsius = 30.0;
    fallbacks.alarmCelsius = 35.0;
    fallbacks.alarmSavePeriodMs = 5000;
    fallbacks.minimumRegionArea = 100;
    return fallbacks;
}

} // namespace calidra
