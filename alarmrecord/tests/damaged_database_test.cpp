#include "alarmrecord/alarm_record.h"

#include "alarmrecord/alarm_record_reader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace calidra {
namespace {

class DamagedDatabaseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Write protection means nothing to root: run as nobody, before any file is made.
        if (::geteuid() == 0)
            runsUnprivileged = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        else
            runsUnprivileged = true;
    }

    QString folder() const { return temporary.filePath(QStringLiteral("ThermalAlarm")); }

    // Two alarms with readings and snapshots, a retention run, and every report that came of them.
    int failuresOfTwoAlarms(AlarmRecord& record, QSignalSpy& failures) {
        for (int alarm = 0; alarm < 2; ++alarm) {
            const QDateTime start(QDate(2021, 3, 7), QTime(10 + alarm, 0, 0));
            record.alarmOn(start);
            record.noteReading(38.0);
            record.snapshotSaved(
                QDir(folder()).filePath(QStringLiteral("ThermalAlarm_2021030%1_100001.jpg").arg(alarm)),
                38.2);
            record.alarmOff(start.addSecs(3));
        }
        record.setKeepDays(1);
        record.waitUntilWritten();
        QCoreApplication::processEvents();
        return failures.count();
    }

    static inline bool runsUnprivileged = false;
    QTemporaryDir temporary;
};

TEST_F(DamagedDatabaseTest, CorruptFileIsReportedOnceAndLeftAsItIs) {
    ASSERT_TRUE(QDir().mkpath(folder()));
    const QByteArray garbage = QByteArray("this is no database ").repeated(400);
    QFile file(QDir(folder()).filePath(QStringLiteral("alarms.sqlite")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(garbage);
    file.close();

    {
        AlarmRecord record(folder());
        QSignalSpy failures(&record, &AlarmRecord::recordFailed);
        EXPECT_EQ(failuresOfTwoAlarms(record, failures), 1);
        EXPECT_TRUE(failures.at(0).at(0).toString().contains(QStringLiteral("alarms.sqlite")));
    }

    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), garbage);
    EXPECT_TRUE(readSnapshotHighestCelsius(file.fileName()).isEmpty());
    const CsvExportResult exported = exportAlarmEpisodesCsv(
        file.fileName(), temporary.filePath(QStringLiteral("a.csv")), CsvTemperatureUnit::Celsius);
    EXPECT_FALSE(exported.succeeded);
    EXPECT_FALSE(exported.errorText.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(temporary.filePath(QStringLiteral("a.csv"))));
}

TEST_F(DamagedDatabaseTest, WriteProtectedRecordIsReportedOnceAndStillReadable) {
    if (!runsUnprivileged)
        GTEST_SKIP() << "cannot leave root, so nothing is write-protected";
    {
        AlarmRecord record(folder());
        record.alarmOn(QDateTime(QDate(2021, 3, 6), QTime(9, 0, 0)));
        record.snapshotSaved(QDir(folder()).filePath(QStringLiteral("ThermalAlarm_20210306_090001.jpg")),
                             37.9);
        record.alarmOff(QDateTime(QDate(2021, 3, 6), QTime(9, 0, 3)));
    }
    const QString database = QDir(folder()).filePath(QStringLiteral("alarms.sqlite"));
    ASSERT_TRUE(QFile::setPermissions(database, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    ASSERT_TRUE(QFile::setPermissions(folder(), QFile::ReadOwner | QFile::ExeOwner));

    {
        AlarmRecord record(folder());
        QSignalSpy failures(&record, &AlarmRecord::recordFailed);
        EXPECT_EQ(failuresOfTwoAlarms(record, failures), 1);
    }
    const AlarmEpisodesResult read = readAlarmEpisodes(database);
    EXPECT_TRUE(read.succeeded) << read.errorText.toStdString();
    EXPECT_EQ(read.episodes.size(), 1u);
    EXPECT_EQ(readSnapshotHighestCelsius(database).size(), 1);
    QFile::setPermissions(folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace
} // namespace calidra
