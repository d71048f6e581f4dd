#pragma once
// The day's people: the pipeline's finished results numbered from 1 each day and counted, with
// their frame ticks turned into wall-clock times. Owner thread only.

#include "alarmrecord/person_entry.h"

#include "pipeline/person_result.h"

#include <QDate>
#include <QDateTime>

#include <cstdint>

namespace calidra {

class PeopleCount {
public:
    // The counts the record already holds for that day (a restarted station goes on counting).
    void resume(const QDate& day, int people, int alarms);
    // now and nowTick: the same moment on the wall clock and on the frame tick.
    PersonEntry add(const PersonResult& result, const QDateTime& now, uint32_t nowTick);
    // The counts of the day of now (0 once a new day began).
    int peopleToday(const QDate& today) const { return today == day_ ? people_ : 0; }
    int alarmsToday(const QDate& today) const { return today == day_ ? alarms_ : 0; }
    const QDate& day() const { return day_; }

private:
    QDate day_;
    int people_ = 0;
    int alarms_ = 0;
};

} // namespace calidra
