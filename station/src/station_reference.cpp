#include "station/station.h"

namespace calidra {

// Temperature mode Reference: the frame thread's reports to the supervisor and on to the front
// ends, its corrections to the camera's offset node (never to the settings file).
void Station::connectReference() {
    connect(&host_, &StationHost::referenceReported, &reference_, &ReferenceSupervisor::takeReport,
            Qt::QueuedConnection);
    connect(&reference_, &ReferenceSupervisor::statusChanged, this, &Station::referenceStatusChanged);
    connect(&reference_, &ReferenceSupervisor::statusChanged, this, &Station::publishCameraStatus);
    connect(
        &host_, &StationHost::referenceCorrectionWanted, this,
        [this](double celsius) {
            if (Camera* open = camera(); open != nullptr && values_.mode() == TemperatureMode::Reference)
                cameraCallSucceeded(log_, open->setUserOffset(celsius),
                                    QStringLiteral("svkSetNodeFloat Failed"));
        },
        Qt::QueuedConnection);
    // Leaving the mode: the offset of the chosen mode replaces the correction in the camera.
    connect(&values_, &OperatorValuesModel::modeControlsChanged, this, [this] {
        const bool referenceMode = values_.mode() == TemperatureMode::Reference;
        if (referenceModeBefore_ && !referenceMode)
            if (Camera* open = camera())
                cameraCallSucceeded(log_, open->setUserOffset(values_.userOffsetCelsius()),
                                    QStringLiteral("svkSetNodeFloat Failed"));
        referenceModeBefore_ = referenceMode;
    });
}

} // namespace calidra
