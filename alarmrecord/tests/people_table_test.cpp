// The people table of the alarm record: rows as written, readings that are none, the day's counts
// and retention by AlarmKeepDays.
#include "alarmrecord/alarm_record.h"
#include "alarmrecord/people_reader.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace calidra {
namespace {

TEST(PeopleTable, RowsCountsAndRetention) {
    QTemporaryDir folder;
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime tenDaysAgo = now.addDays(-10);
    const QString database = folder.filePath("alarms.sqlite");
    EXPECT_TRUE(readAllPeople(database).succeeded); // no record yet: nobody
    {
        AlarmRecord record(folder.path());
        record.personFinished({1, tenDaysAgo.addSecs(-4), tenDaysAgo, 36.6, false, 20});
        record.personFinished({1, now.addSecs(-3), now.addSecs(-1), 38.2, true, 31});
        record.personFinished({2, now.addSecs(-2), now.addSecs(-1), std::nullopt, false, 1});
        record.waitUntilWritten();
    }
    PeopleResult read = readAllPeople(database);
    ASSERT_TRUE(read.succeeded) << read.errorText.toStdString();
    ASSERT_EQ(read.people.size(), 3u);
    EXPECT_EQ(read.people[1].number, 1);
    EXPECT_EQ(read.people[1].firstUtc, now.addSecs(-3).toSecsSinceEpoch());
    EXPECT_EQ(read.people[1].lastLocal, now.addSecs(-1).toString("yyyy-MM-dd HH:mm:ss"));
    EXPECT_EQ(read.people[1].readingCelsius, 38.2);
    EXPECT_TRUE(read.people[1].alarmed);
    EXPECT_EQ(read.people[1].countedFrames, 31);
    EXPECT_FALSE(read.people[2].readingCelsius);

    int people = 0;
    int alarms = 0;
    readPeopleCounts(database, now.addSecs(-1).date(), people, alarms);
    EXPECT_EQ(people, 2);
    EXPECT_EQ(alarms, 1);

    AlarmRecord kept(folder.path(), 7);
    QSignalSpy removed(&kept, &AlarmRecord::expiredSnapshotsRemoved);
    ASSERT_TRUE(removed.wait(10000));
    read = readAllPeople(database);
    ASSERT_EQ(read.people.size(), 2u);
    EXPECT_EQ(read.people[0].lastUtc, now.addSecs(-1).toSecsSinceEpoch());
}

} // namespace
} // namespace calidra
