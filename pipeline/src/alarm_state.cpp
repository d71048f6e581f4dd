#include "pipeline/alarm_state.h"

namespace calidra {

AlarmChange AlarmState::update(bool frameAlarm, uint32_t tickMs) {
    if (frameAlarm)
        lastAlarmedTick_ = tickMs;
    if (frameAlarm == alarmOn_)
        return AlarmChange::None;
    if (alarmOn_ && (uint32_t(tickMs - alarmChangeTick_) < minimumOnMs ||
                     uint32_t(tickMs - lastAlarmedTick_) < minimumClearMs))
        return AlarmChange::None;
    alarmOn_ = frameAlarm;
    alarmChangeTick_ = tickMs;
    return alarmOn_ ? AlarmChange::SwitchedOn : AlarmChange::SwitchedOff;
}

bool AlarmState::switchOff() {
    const bool wasOn = alarmOn_;
    alarmOn_ = false;
    return wasOn;
}

bool AlarmState::snapshotDue(bool frameAlarm, uint32_t tickMs, int64_t savePeriodMs) {
    if (!frameAlarm || int64_t(uint32_t(tickMs - lastSnapshotTick_)) <= savePeriodMs)
        return false;
    lastSnapshotTick_ = tickMs;
    return true;
}

std::string alarmSoundPath(const std::string& programFolder, int alarmType) {
    return programFolder + "/alarm" + std::to_string(int64_t(alarmType) + 1) + ".wav";
}

} // namespace calidra
