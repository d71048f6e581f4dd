// The day's numbering of finished people and their wall-clock times from the frame tick.
#include "station/people_count.h"

#include <gtest/gtest.h>

namespace calidra {
namespace {

PersonResult result(uint32_t first, uint32_t last, std::optional<double> reading, bool alarmed) {
    return PersonResult{7, first, last, reading, alarmed, reading ? 5 : 0};
}

TEST(PeopleCount, NumbersFromTheRecordsCountAndStartAgainEachDay) {
    PeopleCount count;
    const QDateTime evening(QDate(2026, 5, 4), QTime(23, 59, 58));
    count.resume(evening.date(), 41, 3); // what the record held at start
    // Seen from tick 1000 to 4000, finished at tick 4500: last seen 0.5 s before now.
    const PersonEntry first = count.add(result(1000, 4000, 38.0, true), evening, 4500);
    EXPECT_EQ(first.number, 42);
    EXPECT_EQ(first.lastSeen, evening.addMSecs(-500));
    EXPECT_EQ(first.firstSeen, evening.addMSecs(-3500));
    EXPECT_EQ(count.peopleToday(evening.date()), 42);
    EXPECT_EQ(count.alarmsToday(evening.date()), 4);

    // Ticks wrap after 2^32 ms; the next day starts from 1.
    const QDateTime morning = evening.addSecs(3);
    const PersonEntry second = count.add(result(0xFFFFFF00u, 0x40u, std::nullopt, false), morning, 0x80u);
    EXPECT_EQ(second.number, 1);
    EXPECT_EQ(second.lastSeen, morning.addMSecs(-0x40));
    EXPECT_EQ(second.firstSeen, second.lastSeen.addMSecs(-0x140));
    EXPECT_EQ(count.peopleToday(morning.date()), 1);
    EXPECT_EQ(count.alarmsToday(morning.date()), 0);
    EXPECT_EQ(count.peopleToday(evening.date()), 0);
}

} // namespace
} // namespace calidra
