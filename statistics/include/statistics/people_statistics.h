#pragma once
// The figures of the Statistics view, worked out from the record's people (any thread).

#include "alarmrecord/people_reader.h"

#include <QDateTime>

#include <array>
#include <optional>
#include <vector>

namespace calidra {

// The alarm threshold a person was judged against, placed on the hour bars: bar i spans i − 0.5 to
// i + 0.5, so 23.0 is the middle of the current hour.
struct ThresholdPoint {
    double hourPosition = 0.0;
    double celsius = 0.0;
};

struct PeopleStatistics {
    // The last 24 whole and current hours, oldest first; hourStarts[i] begins bar i.
    std::array<QDateTime, 24> hourStarts;
    std::array<int, 24> peoplePerHour{};
    std::array<int, 24> alarmsPerHour{};
    // Today's measured readings in 0.1 °C bins from firstBinCelsius on (empty: none measured).
    double firstBinCelsius = 0.0;
    std::vector<int> readingBins;
    int peopleToday = 0;
    int alarmsToday = 0;
    int measuredToday = 0;
    std::optional<double> medianCelsius;       // of today's readings
    std::optional<double> percentile95Celsius; // nearest rank
    // Over the last 24 hours, in the order the people were finished; rows without one left out.
    std::vector<ThresholdPoint> thresholds;
};

// now: the local time the figures are for; people: those last seen from 24 hours before the
// current hour began on (earlier ones are ignored).
PeopleStatistics peopleStatistics(const std::vector<PersonRow>& people, const QDateTime& now);

// The start of the first hour the statistics need, for the record's query.
QDateTime statisticsStart(const QDateTime& now);

} // namespace calidra
