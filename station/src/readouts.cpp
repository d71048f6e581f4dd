#include "station/readouts.h"

#include <QCoreApplication>

namespace calidra {
namespace {

QString readoutLine(const char* label, double celsius, TemperatureUnit unit, const QString& unitLabel) {
    // The pane's own translation context: the labels belong to its texts.
    return QCoreApplication::translate("calidra::CLiveViewerCtrl", label) +
           QString::asprintf(" : %.1f ", toDisplayUnit(celsius, unit)) + unitLabel;
}

} // namespace

Readouts formatReadouts(const FrameReadings& readings, TemperatureUnit unit, const QString& unitLabel) {
    if (readings.nucRunning)
        return {QStringLiteral("NUC"), QString(), QString()};
    Readouts readouts;
    if (readings.personPresent)
        readouts.large =
            QString::asprintf("%.1f ", toDisplayUnit(readings.trackingCelsius, unit)) + unitLabel;
    readouts.maximum = readoutLine("Max Temp.", readings.maximumCelsius, unit, unitLabel);
    readouts.minimum = readoutLine("Min Temp.", readings.minimumCelsius, unit, unitLabel);
    return readouts;
}

} // namespace calidra
