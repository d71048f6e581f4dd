#pragma once
// How the options pane's field texts become stored values.

#include <QString>

#include <optional>

namespace calidra {

// Decimal integer from the start of the text ("12ab" gives 12, "ab" gives 0), saturated to int.
int parseFieldInteger(const QString& text);

// Decimal number from the start of the text, whatever the locale; no number gives 0.
double parseFieldNumber(const QString& text);

struct TemperatureFieldValue {
    double storedCelsius = 0.0;
    // The text the field must show instead, when the value was capped.
    std::optional<QString> rewrittenText;
};

constexpr double storedTemperatureCeilingCelsius = 45.0;

// A detection or alarm temperature typed in the shown unit (fahrenheit or not): converted to
// Celsius and capped at 45.0, with the capped value's text in the shown unit. No lower bound.
TemperatureFieldValue readTemperatureField(const QString& text, bool fahrenheit);

// "%.1f" of a stored Celsius value in the shown unit.
QString temperatureFieldText(double celsius, bool fahrenheit);

} // namespace calidra
