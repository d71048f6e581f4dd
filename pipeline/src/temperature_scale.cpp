#include "pipeline/temperature_scale.h"

namespace calidra {

double toDisplayUnit(double celsius, TemperatureUnit unit) {
    return unit == TemperatureUnit::Fahrenheit ? celsius * 1.8 + 32 : celsius;
}

double toCelsius(double displayValue, TemperatureUnit unit) {
    return unit == TemperatureUnit::Fahrenheit ? (displayValue - 32) / 1.8 : displayValue;
}

} // namespace calidra
