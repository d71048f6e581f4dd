#include "station/readouts.h"

#include "operatorvalues/shown_temperature.h"

#include <QCoreApplication>

namespace calidra {
namespace {

QString readoutLine(const char* label, double celsius, TemperatureUnit unit) {
    // The pane's own translation context: the labels belong to its texts.
    return QCoreApplication::translate("calidra::CLiveViewerCtrl", label) + QStringLiteral(" : ") +
           shownTemperature(celsius, unit);
}

} // namespace

Readouts formatReadouts(const FrameReadings& readings, TemperatureUnit unit) {
    if (readings.nucRunning)
        return {QStringLiteral("NUC"), QString(), QString()};
    Readouts readouts;
    if (readings.personPresent)
        readouts.large = shownTemperature(readings.trackingCelsius, unit);
    readouts.maximum = readoutLine("Max Temp.", readings.maximumCelsius, unit);
    readouts.minimum = readoutLine("Min Temp.", readings.minimumCelsius, unit);
    return readouts;
}

} // namespace calidra
