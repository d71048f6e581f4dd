#include "statistics/people_statistics.h"

#include <algorithm>
#include <cmath>

namespace calidra {

QDateTime statisticsStart(const QDateTime& now) {
    const QDateTime hour(now.date(), QTime(now.time().hour(), 0));
    return hour.addSecs(-23 * 3600);
}

PeopleStatistics peopleStatistics(const std::vector<PersonRow>& people, const QDateTime& now) {
    PeopleStatistics statistics;
    const QDateTime first = statisticsStart(now);
    for (int hour = 0; hour < 24; ++hour)
        statistics.hourStarts[std::size_t(hour)] = first.addSecs(qint64(hour) * 3600);
    const qint64 firstUtc = first.toSecsSinceEpoch();
    const qint64 todayUtc = QDateTime(now.date(), QTime(0, 0)).toSecsSinceEpoch();
    const qint64 tomorrowUtc = QDateTime(now.date().addDays(1), QTime(0, 0)).toSecsSinceEpoch();

    std::vector<double> readings;
    for (const PersonRow& person : people) {
        if (person.lastUtc >= firstUtc) {
            const qint64 bar = (person.lastUtc - firstUtc) / 3600;
            if (bar < 24) {
                ++statistics.peoplePerHour[std::size_t(bar)];
                statistics.alarmsPerHour[std::size_t(bar)] += person.alarmed ? 1 : 0;
                if (person.thresholdCelsius)
                    statistics.thresholds.push_back(
                        {double(person.lastUtc - firstUtc) / 3600.0 - 0.5, *person.thresholdCelsius});
            }
        }
        if (person.lastUtc < todayUtc || person.lastUtc >= tomorrowUtc)
            continue;
        ++statistics.peopleToday;
        statistics.alarmsToday += person.alarmed ? 1 : 0;
        if (person.readingCelsius)
            readings.push_back(*person.readingCelsius);
    }
    statistics.measuredToday = int(readings.size());
    if (readings.empty())
        return statistics;

    std::sort(readings.begin(), readings.end());
    const std::size_t count = readings.size();
    statistics.medianCelsius =
        count % 2 == 1 ? readings[count / 2] : (readings[count / 2 - 1] + readings[count / 2]) / 2.0;
    const std::size_t rank = std::size_t(std::ceil(0.95 * double(count)));
    statistics.percentile95Celsius = readings[std::max<std::size_t>(rank, 1) - 1];

    // Bins by tenths, so 36.6 lands in the 36.6 bin whatever its binary value.
    const auto tenth = [](double celsius) { return qint64(std::llround(celsius * 10.0)); };
    const qint64 lowest = tenth(readings.front());
    statistics.firstBinCelsius = double(lowest) / 10.0;
    statistics.readingBins.assign(std::size_t(tenth(readings.back()) - lowest + 1), 0);
    for (double celsius : readings)
        ++statistics.readingBins[std::size_t(tenth(celsius) - lowest)];
    return statistics;
}

} // namespace calidra
