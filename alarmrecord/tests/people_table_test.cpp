// The people table of the alarm record: rows as written, readings that are none, the day's counts
// and retention by AlarmKeepDays.
#include "alarmrecord/alarm_record.h"
#include "alarmrecord/people_reader.h"

#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
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

// A record from before the threshold was kept: read as it is, then given the column in place.
TEST(PeopleTable, ThresholdColumnAddedToAnOlderRecord) {
    QTemporaryDir folder;
    const QString database = folder.filePath("alarms.sqlite");
    {
        QSqlDatabase old = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
        old.setDatabaseName(database);
        ASSERT_TRUE(old.open());
        QSqlQuery create(old);
        ASSERT_TRUE(
            create.exec("CREATE TABLE people (id INTEGER PRIMARY KEY, number INTEGER NOT NULL,"
                        " first_local TEXT NOT NULL, first_utc INTEGER NOT NULL, last_local TEXT NOT NULL,"
                        " last_utc INTEGER NOT NULL, reading_celsius REAL,"
                        " alarmed INTEGER NOT NULL DEFAULT 0, counted_frames INTEGER NOT NULL DEFAULT 0)"));
        ASSERT_TRUE(create.exec(
            "INSERT INTO people (number, first_local, first_utc, last_local, last_utc,"
            " reading_celsius) VALUES (1, '2026-12-01 09:00:00', 1, '2026-12-01 09:00:02', 3, 36.4)"));
        old.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("old"));
    PeopleResult read = readAllPeople(database);
    ASSERT_TRUE(read.succeeded) << read.errorText.toStdString();
    ASSERT_EQ(read.people.size(), 1u);
    EXPECT_FALSE(read.people[0].thresholdCelsius);

    const QDateTime now = QDateTime::currentDateTime();
    {
        AlarmRecord record(folder.path());
        PersonEntry person{1, now.addSecs(-2), now, 36.8, false, 12};
        person.thresholdCelsius = 37.1;
        record.personFinished(person);
        record.waitUntilWritten();
    }
    read = readAllPeople(database);
    ASSERT_TRUE(read.succeeded) << read.errorText.toStdString();
    ASSERT_EQ(read.people.size(), 2u);
    EXPECT_FALSE(read.people[0].thresholdCelsius);
    EXPECT_EQ(read.people[1].thresholdCelsius, 37.1);
}

} // namespace
} // namespace calidra
