#include "alarmrecord/alarm_record.h"

#include "alarmrecord/alarm_record_reader.h"
#include "alarmrecord/snapshot_names.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

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

    // Two alarms of today, each with a snapshot, as the frame thread reports them.
    void twoAlarmsNow(AlarmRecord& record) {
        const QDateTime now = QDateTime::currentDateTime();
        for (int alarm = 0; alarm < 2; ++alarm) {
            const QDateTime start = now.addSecs(alarm * 10);
            record.alarmOn(start);
            record.snapshotSaved(
                QDir(folder()).filePath(QStringLiteral("ThermalAlarm_%1.jpg")
                                            .arg(start.toString(QStringLiteral("yyyyMMdd_HHmmss")))),
                38.0 + alarm);
            record.alarmOff(start.addSecs(3));
        }
    }

    static inline bool runsUnprivileged = false;
    QTemporaryDir temporary;
};

TEST_F(DamagedDatabaseTest, CorruptFileIsMovedAsideOnceAndANewRecordKeepsTheAlarms) {
    ASSERT_TRUE(QDir().mkpath(folder()));
    const QByteArray garbage = QByteArray("this is no database ").repeated(400);
    const QString database = QDir(folder()).filePath(QStringLiteral("alarms.sqlite"));
    QFile file(database);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(garbage);
    file.close();

    {
        AlarmRecord record(folder());
        QSignalSpy failures(&record, &AlarmRecord::recordFailed);
        twoAlarmsNow(record);
        record.waitUntilWritten();
        QCoreApplication::processEvents();
        ASSERT_EQ(failures.count(), 1);
        EXPECT_TRUE(failures.at(0).at(0).toString().contains(QStringLiteral("moved aside to")));
    }

    const QStringList aside =
        QDir(folder()).entryList({QStringLiteral("alarms.sqlite.damaged-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    QFile kept(QDir(folder()).filePath(aside.at(0)));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), garbage);
    const AlarmEpisodesResult read = readAlarmEpisodes(database);
    ASSERT_TRUE(read.succeeded) << read.errorText.toStdString();
    EXPECT_EQ(read.episodes.size(), 2u);
    EXPECT_EQ(readSnapshotHighestCelsius(database).size(), 2);
}

// Another program holds the record locked far longer than a write waits: the rows wait in order
// and are all written once the lock is gone.
TEST_F(DamagedDatabaseTest, RowsWaitOutALockAndArriveInOrder) {
    AlarmRecordTimes times;
    times.busyTimeoutMs = 100;
    times.retryIntervalMs = 50;
    AlarmRecord record(folder(), 0, nullptr, times);
    QSignalSpy failures(&record, &AlarmRecord::recordFailed);
    record.alarmOn(QDateTime::currentDateTime().addSecs(-60));
    record.alarmOff(QDateTime::currentDateTime().addSecs(-58));
    record.waitUntilWritten();
    {
        QSqlDatabase locker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
        locker.setDatabaseName(record.databasePath());
        ASSERT_TRUE(locker.open());
        ASSERT_TRUE(QSqlQuery(locker).exec(QStringLiteral("BEGIN EXCLUSIVE")));
        twoAlarmsNow(record);
        // Held for many times the busy time-out, so that writes are given up and tried again.
        std::this_thread::sleep_for(std::chrono::milliseconds(20 * times.busyTimeoutMs));
        record.waitUntilWritten();
        QSqlQuery(locker).exec(QStringLiteral("ROLLBACK"));
        locker.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("locker"));
    // Rows go in order: the last episode's end is the last row.
    ASSERT_TRUE(test::waitFor([&] {
        const std::vector<AlarmEpisode> written = readAlarmEpisodes(record.databasePath()).episodes;
        return written.size() == 3 && written.back().endUtc.has_value();
    }));
    const std::vector<AlarmEpisode> episodes = readAlarmEpisodes(record.databasePath()).episodes;
    for (std::size_t index = 0; index < episodes.size(); ++index) {
        EXPECT_EQ(episodes[index].id, qint64(index + 1)) << "written out of order";
        EXPECT_TRUE(episodes[index].endUtc.has_value());
        EXPECT_EQ(episodes[index].snapshots, index == 0 ? 0 : 1);
    }
    EXPECT_EQ(readSnapshotHighestCelsius(record.databasePath()).size(), 2);
    EXPECT_EQ(failures.count(), 0);
}

// A record from before episodes kept the reference's correction and the threshold is exported as it
// is, then gets the columns in place: its rows stay, new episodes carry the correction of their
// start (none outside mode Reference) and the threshold in force.
TEST_F(DamagedDatabaseTest, OlderRecordIsUpgradedInPlaceAndKeepsTheCorrectionOfEachStart) {
    ASSERT_TRUE(QDir().mkpath(folder()));
    const QString path = alarmRecordPath(folder());
    {
        QSqlDatabase old = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
        old.setDatabaseName(path);
        ASSERT_TRUE(old.open());
        QSqlQuery make(old);
        ASSERT_TRUE(make.exec(QStringLiteral(
            "CREATE TABLE episodes (id INTEGER PRIMARY KEY, start_local TEXT NOT NULL, start_utc INTEGER NOT "
            "NULL, end_local TEXT, end_utc INTEGER, highest_celsius REAL, snapshots INTEGER NOT NULL DEFAULT "
            "0)")));
        ASSERT_TRUE(
            make.exec(QStringLiteral("INSERT INTO episodes (start_local, start_utc, end_local, end_utc)"
                                     " VALUES ('2021-03-07 09:00:00', 1615107600, '2021-03-07 09:00:02',"
                                     " 1615107602)")));
        old.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("old"));
    const QString csvPath = temporary.filePath(QStringLiteral("old.csv"));
    const auto exportedLines = [&] {
        const CsvExportResult exported =
            exportAlarmEpisodesCsv(path, csvPath, CsvTemperatureUnit::Celsius, QStringLiteral("door"));
        EXPECT_TRUE(exported.succeeded) << exported.errorText.toStdString();
        QFile csv(csvPath);
        EXPECT_TRUE(csv.open(QIODevice::ReadOnly));
        return QString::fromUtf8(csv.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    };
    QStringList lines = exportedLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(",0,door,,"))) << "no threshold, no files";
    {
        AlarmRecord record(folder());
        QSignalSpy failures(&record, &AlarmRecord::recordFailed);
        const QDateTime start(QDate(2021, 3, 7), QTime(10, 0, 0));
        record.alarmOn(start, -1.25, 37.5);
        record.alarmOff(start.addSecs(2));
        record.alarmOn(start.addSecs(60));
        record.alarmOff(start.addSecs(62));
        record.waitUntilWritten();
        EXPECT_EQ(failures.count(), 0);
    }
    {
        QSqlDatabase read = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("read"));
        read.setDatabaseName(path);
        ASSERT_TRUE(read.open());
        QSqlQuery rows(read);
        ASSERT_TRUE(
            rows.exec(QStringLiteral("SELECT id, reference_correction_celsius FROM episodes ORDER BY id")));
        std::vector<QVariant> corrections;
        while (rows.next())
            corrections.push_back(rows.value(1));
        ASSERT_EQ(corrections.size(), 3u);
        EXPECT_TRUE(corrections[0].isNull());
        EXPECT_DOUBLE_EQ(corrections[1].toDouble(), -1.25);
        EXPECT_TRUE(corrections[2].isNull());
        read.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("read"));
    EXPECT_EQ(readAlarmEpisodes(path).episodes.size(), 3u);
    lines = exportedLines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(",door,,")));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral(",door,37.5,")));
    EXPECT_TRUE(lines[3].endsWith(QStringLiteral(",door,,")));
}

// An export never replaces a device or a FIFO that stands at its name, and says so.
TEST_F(DamagedDatabaseTest, ExportRefusesWhatIsNotARegularFile) {
    {
        AlarmRecord record(folder());
        twoAlarmsNow(record);
    }
    const QString fifo = temporary.filePath(QStringLiteral("episodes.csv"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& target : {fifo, QStringLiteral("/dev/full")}) {
        const CsvExportResult exported =
            exportAlarmEpisodesCsv(alarmRecordPath(folder()), target, CsvTemperatureUnit::Celsius, {});
        EXPECT_FALSE(exported.succeeded) << target.toStdString();
        EXPECT_TRUE(exported.errorText.contains(QStringLiteral("not a regular file")));
    }
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
    const CsvExportResult exported =
        exportAlarmEpisodesCsv(alarmRecordPath(folder()), temporary.filePath(QStringLiteral("a.csv")),
                               CsvTemperatureUnit::Celsius, {});
    EXPECT_TRUE(exported.succeeded) << exported.errorText.toStdString();
    EXPECT_EQ(exported.episodes, 2);
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
