#pragma once
// How the options pane's field texts become stored values.

#include "pipeline/temperature_scale.h"

#include <QString>

#include <optional>

namespace calidra {

// The frame pipeline's reading of a typed number (parseLeadingInteger, parseLeadingDouble), for
// field texts: "12ab" gives 12, "ab" 0; integers saturate to int.
int parseFieldInteger(const QString& text);
double parseFieldNumber(const QString& text);

struct TemperatureFieldValue {
    double storedCelsius = 0.0;
    // The text the field must show instead, when the value was capped.
    std::optional<QString> rewrittenText;
};

// A detection or alarm temperature typed in the shown unit: converted to Celsius and capped at
// temperatureCeilingCelsius, with the capped value's text in the shown unit. No lower bound.
TemperatureFieldValue readTemperatureField(const QString& text, TemperatureUnit unit);

// "%.1f" of a stored Celsius value in the shown unit.
QString temperatureFieldText(double celsius, TemperatureUnit unit);

} // namespace calidra
