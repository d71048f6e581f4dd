#include "reference_source.h"

#include <algorithm>
#include <cmath>

namespace calidra::simulator {

double referenceTemperatureAt(const CameraScenario& camera, double seconds) {
    if (!camera.reference) {
        return camera.ambientCelsius;
    }
    const ReferenceSource& reference = *camera.reference;
    std::vector<const Event*> changes;
    for (const Event& event : camera.events) {
        if ((event.referenceOn || event.referenceCelsius) && event.atSeconds <= seconds) {
            changes.push_back(&event);
        }
    }
    std::stable_sort(changes.begin(), changes.end(),
                     [](const Event* a, const Event* b) { return a->atSeconds < b->atSeconds; });
    bool on = true;
    double setPoint = reference.temperatureCelsius;
    double since = 0.0, from = setPoint;
    const auto settled = [&](double at) {
        const double target = on ? setPoint : camera.ambientCelsius;
        if (reference.settleSeconds <= 0.0) {
            return target;
        }
        return target + (from - target) * std::exp(-(at - since) / reference.settleSeconds);
    };
    for (const Event* change : changes) {
        from = settled(change->atSeconds);
        since = change->atSeconds;
        on = change->referenceOn.value_or(on);
        setPoint = change->referenceCelsius.value_or(setPoint);
    }
    return settled(seconds);
}

} // namespace calidra::simulator
