#pragma once
// The station's one alarm for the whole picture, and when an alarm picture is due.

#include <cstdint>
#include <string>

namespace calidra {

enum class AlarmChange { None, SwitchedOn, SwitchedOff };

class AlarmState {
public:
    // Once on, the alarm stays on for at least this long.
    static constexpr uint32_t minimumOnMs = 1000;
    // And it goes off only after this long without an alarmed frame: a reading that dips for a
    // frame or two (a person at the picture's edge) does not split one passage into two alarms.
    static constexpr uint32_t minimumClearMs = 500;

    // On with the first alarmed frame; off with the first clear frame once it has been on for
    // minimumOnMs and without an alarmed frame for minimumClearMs. Ticks wrap after 2^32 ms; every
    // difference is taken in 32-bit arithmetic.
    AlarmChange update(bool frameAlarm, uint32_t tickMs);

    // True (and the decision remembered) when an alarmed frame comes more than the save period
    // after the last decision.
    bool snapshotDue(bool frameAlarm, uint32_t tickMs, int64_t savePeriodMs);

    bool alarmOn() const { return alarmOn_; }
    // Off at once, whatever the minimum time on; true when it was on.
    bool switchOff();

private:
    bool alarmOn_ = false;
    uint32_t alarmChangeTick_ = 0;
    uint32_t lastAlarmedTick_ = 0;
    uint32_t lastSnapshotTick_ = 0;
};

// <program folder>/alarm<alarmType + 1>.wav
std::string alarmSoundPath(const std::string& programFolder, int alarmType);

} // namespace calidra
