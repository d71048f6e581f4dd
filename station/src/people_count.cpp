#include "station/people_count.h"

namespace calidra {

void PeopleCount::resume(const QDate& day, int people, int alarms) {
    day_ = day;
    people_ = people;
    alarms_ = alarms;
}

PersonEntry PeopleCount::add(const PersonResult& result, const QDateTime& now, uint32_t nowTick) {
    PersonEntry entry;
    entry.lastSeen = now.addMSecs(-qint64(int32_t(nowTick - result.lastSeenTick)));
    entry.firstSeen = entry.lastSeen.addMSecs(-qint64(int32_t(result.lastSeenTick - result.firstSeenTick)));
    // A person belongs to the day they were finished on, as the count shown that day says.
    if (now.date() != day_)
        resume(now.date(), 0, 0);
    entry.number = ++people_;
    entry.readingCelsius = result.readingCelsius;
    entry.alarmed = result.alarmed;
    entry.countedFrames = result.countedFrames;
    entry.thresholdCelsius = result.thresholdCelsius;
    if (entry.alarmed)
        ++alarms_;
    return entry;
}

} // namespace calidra
