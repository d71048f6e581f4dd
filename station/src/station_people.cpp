#include "station/station.h"

#include "alarmrecord/alarm_record.h"
#include "alarmrecord/people_reader.h"
#include "siteevents/site_events_publisher.h"
#include "threadaffinity/thread_affinity.h"

namespace calidra {

void Station::takeFinishedPeople() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    const std::vector<PersonResult> finished = host_.takeFinishedPeople();
    if (finished.empty())
        return;
    const QDateTime now = QDateTime::currentDateTime();
    const uint32_t nowTick = host_.tickMs();
    for (const PersonResult& result : finished) {
        const PersonEntry person = peopleCount_.add(result, now, nowTick);
        if (record_)
            record_->personFinished(person);
        if (site_)
            site_->personFinished({person.number, person.firstSeen, person.lastSeen, person.readingCelsius,
                                   person.alarmed, person.countedFrames},
                                  peopleCount_.peopleToday(now.date()), peopleCount_.alarmsToday(now.date()));
        emit personCounted(person);
    }
    emit peopleTodayChanged(peopleToday(), alarmsToday());
}

void Station::resumePeopleCount() {
    const QDate today = QDate::currentDate();
    int people = 0;
    int alarms = 0;
    if (record_)
        readPeopleCounts(record_->databasePath(), today, people, alarms);
    peopleCount_.resume(today, people, alarms);
    if (site_)
        site_->setPeopleToday(people, alarms);
    emit peopleTodayChanged(people, alarms);
}

void Station::startNewPeopleDay() {
    const QDate today = QDate::currentDate();
    if (!peopleCount_.day().isValid() || peopleCount_.day() == today)
        return;
    peopleCount_.resume(today, 0, 0);
    if (site_)
        site_->setPeopleToday(0, 0);
    emit peopleTodayChanged(0, 0);
}

int Station::peopleToday() const {
    return peopleCount_.peopleToday(QDate::currentDate());
}

int Station::alarmsToday() const {
    return peopleCount_.alarmsToday(QDate::currentDate());
}

} // namespace calidra
