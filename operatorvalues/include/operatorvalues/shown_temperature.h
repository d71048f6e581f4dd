#pragma once
// Temperatures as the windows show them, spelt one way from the first start on: one decimal, a
// space and the unit with its degree sign ("36.6 °C", "97.9 °F").

#include "pipeline/temperature_scale.h"

#include <QString>

namespace calidra {

// "°C" or "°F".
QString temperatureUnitSymbol(TemperatureUnit unit);

// A Celsius temperature in unit: "36.6 °C", "97.9 °F".
QString shownTemperature(double celsius, TemperatureUnit unit);

// A difference of Celsius temperatures in unit, with its sign: "+0.8 °C", "-2.2 °F".
QString shownTemperatureDifference(double celsius, TemperatureUnit unit);

} // namespace calidra
