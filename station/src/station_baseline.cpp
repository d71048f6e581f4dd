#include "station/station.h"

#include "siteevents/site_events_inputs.h"
#include "threadaffinity/thread_affinity.h"

#include <limits>

namespace calidra {

// Alarm mode Baseline: the pipeline's reports, in their order, to the front ends and the broker.
void Station::onBaselineReported(const BaselineStatus& status) {
    const bool forgotten = baselineStatus_.learned > 0 && status.learned == 0;
    baselineStatus_ = status;
    if (forgotten)
        log_.WriteLog(LogType::Information,
                      QStringLiteral("Alarm baseline reset: it is learned again from the next %1 people.")
                          .arg(status.count),
                      0);
    emit baselineStatusChanged(status);
    publishCameraStatus();
}

void Station::addBaseline(SiteCameraStatus& status) const {
    status.alarmMode =
        baselineStatus_.mode == AlarmMode::Baseline ? QStringLiteral("baseline") : QStringLiteral("fixed");
    status.thresholdCelsius = baselineStatus_.thresholdCelsius;
    status.baselineCelsius =
        baselineStatus_.baselineCelsius.value_or(std::numeric_limits<double>::quiet_NaN());
}

void Station::resetBaseline() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    pipeline_.resetBaseline();
}

} // namespace calidra
