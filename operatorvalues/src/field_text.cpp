#include "operatorvalues/field_text.h"

#include "pipeline/frame_settings.h"

namespace calidra {

int parseFieldInteger(const QString& text) {
    return parseLeadingInteger(text.toStdString());
}

double parseFieldNumber(const QString& text) {
    return parseLeadingDouble(text.toStdString());
}

TemperatureFieldValue readTemperatureField(const QString& text, TemperatureUnit unit) {
    TemperatureFieldValue result;
    result.storedCelsius = toCelsius(parseFieldNumber(text), unit);
    if (result.storedCelsius > temperatureCeilingCelsius) {
        result.storedCelsius = temperatureCeilingCelsius;
        result.rewrittenText = temperatureFieldText(temperatureCeilingCelsius, unit);
    }
    return result;
}

QString temperatureFieldText(double celsius, TemperatureUnit unit) {
    return QString::asprintf("%.1f", toDisplayUnit(celsius, unit));
}

} // namespace calidra
