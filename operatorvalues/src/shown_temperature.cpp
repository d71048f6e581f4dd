#include "operatorvalues/shown_temperature.h"

namespace calidra {

QString temperatureUnitSymbol(TemperatureUnit unit) {
    return unit == TemperatureUnit::Fahrenheit ? QStringLiteral("°F") : QStringLiteral("°C");
}

QString shownTemperature(double celsius, TemperatureUnit unit) {
    return QString::asprintf("%.1f ", toDisplayUnit(celsius, unit)) + temperatureUnitSymbol(unit);
}

QString shownTemperatureDifference(double celsius, TemperatureUnit unit) {
    // Converted by the scale only: a difference has no zero point to move.
    const double difference = unit == TemperatureUnit::Fahrenheit ? celsius * 1.8 : celsius;
    return QString::asprintf("%+.1f ", difference) + temperatureUnitSymbol(unit);
}

} // namespace calidra
