#pragma once
// The three read-outs of the options pane, as texts in the shown unit.

#include "pipeline/temperature_scale.h"

#include <QMetaType>
#include <QString>

namespace calidra {

struct Readouts {
    QString large;   // the tracked person's temperature, empty without one, "NUC" during a NUC
    QString maximum; // "Max Temp. : 36.6 °C"
    QString minimum;
};

// What the frame results say, for the read-outs.
struct FrameReadings {
    bool nucRunning = false;
    bool personPresent = false;
    double trackingCelsius = 0.0;
    double maximumCelsius = 0.0;
    double minimumCelsius = 0.0;
};

// In unit, spelt as every temperature on the screen.
Readouts formatReadouts(const FrameReadings& readings, TemperatureUnit unit);

} // namespace calidra

Q_DECLARE_METATYPE(calidra::Readouts)
