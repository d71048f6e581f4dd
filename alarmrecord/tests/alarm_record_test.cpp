#include "alarmrecord/alarm_record.h"

#include "alarmrecord/alarm_record_reader.h"
#include "alarmrecord/free_space.h"
#include "alarmrecord/snapshot_names.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <signal.h>
#include <time.h>

#include <thread>

namespace calidra {
namespace {

QString snapshotName(const QDateTime& time, const QString& suffix = QString()) {
    return QStringLiteral("ThermalAlarm_") + QLocale::c().toString(time, QStringLiteral("yyyyMMdd_HHmmss")) +
           suffix + QStringLiteral(".jpg");
}

class AlarmRecordTest : public ::testing::Test {
protected:
    QString folder() const { return temporary.filePath(QStringLiteral("ThermalAlarm")); }
    QString path(const QString& fileName) const { return QDir(folder()).filePath(fileName); }
    void touch(const QString& filePath) const {
        QFile file(filePath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << filePath.toStdString();
        file.write("jpeg");
    }
    std::vector<AlarmEpisode> episodes() const {
        const AlarmEpisodesResult read = readAlarmEpisodes(alarmRecordPath(folder()));
        EXPECT_TRUE(read.succeeded) << read.errorText.toStdString();
        return read.episodes;
    }
    QTemporaryDir temporary;
};

TEST_F(AlarmRecordTest, EpisodeKeepsItsHighestReadingAndOneRowPerSnapshot) {
    const QDateTime start(QDate(2021, 3, 7), QTime(9, 5, 0));
    const mode_t previousMask = ::umask(0002); // the packaged launchers' umask
    {
        AlarmRecord record(folder());
        record.waitUntilWritten();
        EXPECT_FALSE(QFileInfo::exists(record.databasePath())) << "made before the first alarm";

        record.alarmOn(start);
        // Readings and snapshots come from the frame thread.
        std::thread frames([&] {
            for (int frame = 0; frame < 300; ++frame)
                record.noteReading(36.5 + (frame % 17) * 0.1);
            record.noteReading(38.2);
            record.noteReading(37.0);
            record.snapshotSaved(path("ThermalAlarm_20210307_090501.jpg"), 37.8);
            record.snapshotSaved(path("ThermalAlarm_20210307_090501-2.jpg"), 38.2);
            record.snapshotSaved(path("ThermalAlarm_20210307_090503.jpg"), 37.6);
        });
        frames.join();
        record.alarmOff(start.addSecs(4));
        record.alarmOn(start.addSecs(60)); // still on when the station closes
    }
    ::umask(previousMask);
    // Every operator of the station's group writes the record (SQLite alone would make it 0644).
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(alarmRecordPath(folder())).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0664u);

    const std::vector<AlarmEpisode> rows = episodes();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].startLocal, "2021-03-07 09:05:00");
    EXPECT_EQ(rows[0].startUtc, start.toSecsSinceEpoch());
    EXPECT_EQ(rows[0].endLocal, "2021-03-07 09:05:04");
    EXPECT_EQ(rows[0].endUtc, start.addSecs(4).toSecsSinceEpoch());
    ASSERT_TRUE(rows[0].highestCelsius);
    EXPECT_DOUBLE_EQ(*rows[0].highestCelsius, 38.2);
    EXPECT_EQ(rows[0].snapshots, 3);
    EXPECT_EQ(rows[1].snapshots, 0);
    EXPECT_FALSE(rows[1].highestCelsius);
    EXPECT_TRUE(rows[1].endUtc) << "closing the station ends the alarm";

    const QHash<QString, double> snapshots = readSnapshotHighestCelsius(alarmRecordPath(folder()));
    EXPECT_EQ(snapshots.size(), 3);
    EXPECT_DOUBLE_EQ(snapshots.value("ThermalAlarm_20210307_090501-2.jpg"), 38.2);
    EXPECT_DOUBLE_EQ(snapshots.value("ThermalAlarm_20210307_090503.jpg"), 37.6);
}

TEST_F(AlarmRecordTest, EpisodeOfAKilledStationIsClosedAtItsLastSnapshotByTheNextStart) {
    QProcess station;
    station.start(QStringLiteral(KILLED_STATION_PROGRAM), {folder()});
    ASSERT_TRUE(station.waitForStarted(10000));
    QByteArray said;
    while (!said.contains("written") && station.waitForReadyRead(30000))
        said += station.readAllStandardOutput();
    ASSERT_TRUE(said.contains("written")) << station.readAllStandardError().toStdString();
    ::kill(pid_t(station.processId()), SIGKILL);
    ASSERT_TRUE(station.waitForFinished(10000));

    std::vector<AlarmEpisode> rows = episodes();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_FALSE(rows[0].endUtc) << "the killed station left its episode open";

    { AlarmRecord nextStart(folder()); }
    rows = episodes();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].endLocal, "2021-03-07 09:05:03");
    EXPECT_EQ(rows[0].endUtc, QDateTime(QDate(2021, 3, 7), QTime(9, 5, 3)).toSecsSinceEpoch());
    EXPECT_DOUBLE_EQ(rows[0].highestCelsius.value_or(0.0), 38.4);
    EXPECT_EQ(rows[0].snapshots, 2);
}

// Sets TZ for one test, so local times and their offsets are known.
class TimeZoneForTest {
public:
    explicit TimeZoneForTest(const char* zone)
        : previous_(qgetenv("TZ")), wasSet_(qEnvironmentVariableIsSet("TZ")) {
        qputenv("TZ", zone);
        ::tzset();
    }
    ~TimeZoneForTest() {
        if (wasSet_)
            qputenv("TZ", previous_);
        else
            qunsetenv("TZ");
        ::tzset();
    }
    TimeZoneForTest(const TimeZoneForTest&) = delete;
    TimeZoneForTest& operator=(const TimeZoneForTest&) = delete;

private:
    QByteArray previous_;
    bool wasSet_;
};

// Times carry their offset, so the hour that repeats when the clocks go back gives two distinct
// starts; every episode names the station, its threshold and its snapshot files.
TEST_F(AlarmRecordTest, CsvReadsBackWithPythonsCsvModuleAndTimesKeepTheirOffset) {
    const QString python = QStringLiteral(PYTHON_PROGRAM);
    if (python.isEmpty())
        GTEST_SKIP() << "python3 is not installed";
    const TimeZoneForTest berlin("Europe/Berlin");
    const QString csvPath = temporary.filePath(QStringLiteral("alarms.csv"));
    const QString station = QStringLiteral("Gate 3, north");
    {
        AlarmRecord record(folder());
        const QDateTime first(QDate(2021, 3, 7), QTime(9, 5, 0));
        record.alarmOn(first, std::nullopt, 37.5);
        record.snapshotSaved(path("ThermalAlarm_20210307_090501.jpg"), 38.2);
        record.alarmOff(first.addSecs(6));
        const QDateTime second(QDate(2021, 3, 7), QTime(14, 0, 0));
        record.alarmOn(second);
        record.noteReading(37.6);
        record.alarmOff(second.addSecs(2));
        // 02:30 local, once in summer time and once an hour later in winter time.
        for (const int utcHour : {0, 1}) {
            const QDateTime repeated(QDate(2026, 10, 25), QTime(utcHour, 30, 0), Qt::UTC);
            record.alarmOn(repeated.toLocalTime(), std::nullopt, 37.5);
            record.alarmOff(repeated.toLocalTime().addSecs(5));
        }
        record.alarmOn(QDateTime(QDate(2021, 3, 8), QTime(8, 0, 0)), std::nullopt, 37.8);
        record.noteReading(39.0);
        record.snapshotSaved(path("ThermalAlarm_20210308_080001.jpg"), 38.5);
        record.snapshotSaved(path("ThermalAlarm_20210308_080003.jpg"), 39.0);
        record.waitUntilWritten();

        // Exported while the station still writes and the last alarm goes on.
        const CsvExportResult exported =
            exportAlarmEpisodesCsv(record.databasePath(), csvPath, CsvTemperatureUnit::Fahrenheit, station);
        ASSERT_TRUE(exported.succeeded) << exported.errorText.toStdString();
        EXPECT_EQ(exported.episodes, 5);

        const CsvExportResult nowhere = exportAlarmEpisodesCsv(
            record.databasePath(), temporary.filePath(QStringLiteral("missing/alarms.csv")),
            CsvTemperatureUnit::Celsius, station);
        EXPECT_FALSE(nowhere.succeeded);
        EXPECT_FALSE(nowhere.errorText.isEmpty());
    }

    QProcess reader;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PYTHONIOENCODING"), QStringLiteral("utf-8"));
    reader.setProcessEnvironment(environment);
    reader.start(python, {QStringLiteral("-c"),
                          QStringLiteral("import csv, sys\n"
                                         "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                         "    for row in csv.reader(f):\n"
                                         "        print('|'.join(row))\n"),
                          csvPath});
    ASSERT_TRUE(reader.waitForFinished(30000));
    ASSERT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromUtf8(reader.readAllStandardOutput()).toStdString(),
              "Start|End|Highest °C|Highest display °F|Snapshots|Station|Threshold °C|Snapshot files\n"
              "2021-03-07T09:05:00+01:00|2021-03-07T09:05:06+01:00|38.2|100.8|1|Gate 3, north|37.5|"
              "ThermalAlarm_20210307_090501.jpg\n"
              "2021-03-07T14:00:00+01:00|2021-03-07T14:00:02+01:00|37.6|99.7|0|Gate 3, north||\n"
              "2021-03-08T08:00:00+01:00||39.0|102.2|2|Gate 3, north|37.8|"
              "ThermalAlarm_20210308_080001.jpg;ThermalAlarm_20210308_080003.jpg\n"
              "2026-10-25T02:30:00+02:00|2026-10-25T02:30:05+02:00|||0|Gate 3, north|37.5|\n"
              "2026-10-25T02:30:00+01:00|2026-10-25T02:30:05+01:00|||0|Gate 3, north|37.5|\n");

    EXPECT_EQ(csvField(QStringLiteral("plain 1.5")), "plain 1.5");
    EXPECT_EQ(csvField(QStringLiteral("a,\"b\"\r\nc")), "\"a,\"\"b\"\"\r\nc\"");
}

TEST_F(AlarmRecordTest, RetentionRemovesOnlyTheStationsOwnSnapshotsOlderThanTheKeptDays) {
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime twoDaysAgo = now.addDays(-2);
    const QDateTime minuteAgo = now.addSecs(-60);
    const QString expired[] = {snapshotName(twoDaysAgo), snapshotName(twoDaysAgo, "-2")};
    // Which names are the station's: browser/tests/station_file_names_test.cpp.
    const QString kept[] = {snapshotName(minuteAgo), QStringLiteral("other/") + snapshotName(twoDaysAgo)};
    ASSERT_TRUE(QDir().mkpath(path("other")));
    for (const QString& name : expired)
        touch(path(name));
    for (const QString& name : kept)
        touch(path(name));
    touch(temporary.filePath(snapshotName(twoDaysAgo))); // beside, not inside the alarm folder
    {
        AlarmRecord record(folder());
        record.alarmOn(twoDaysAgo);
        record.snapshotSaved(path(expired[0]), 38.0);
        record.snapshotSaved(path(expired[1]), 38.1);
        record.alarmOff(twoDaysAgo.addSecs(5));
        record.alarmOn(minuteAgo);
        record.snapshotSaved(path(kept[0]), 38.3);
        record.alarmOff(minuteAgo.addSecs(5));
    }

    AlarmRecord record(folder(), 1);
    QSignalSpy removed(&record, &AlarmRecord::expiredSnapshotsRemoved);
    ASSERT_TRUE(removed.wait(10000));
    EXPECT_EQ(removed.at(0).at(0).toInt(), 2);
    EXPECT_EQ(removed.at(0).at(1).toInt(), 0);
    for (const QString& name : expired)
        EXPECT_FALSE(QFileInfo::exists(path(name))) << name.toStdString();
    for (const QString& name : kept)
        EXPECT_TRUE(QFileInfo::exists(path(name))) << name.toStdString();
    EXPECT_TRUE(QFileInfo::exists(temporary.filePath(snapshotName(twoDaysAgo))));

    const std::vector<AlarmEpisode> rows = episodes();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].startUtc, minuteAgo.toSecsSinceEpoch());
    EXPECT_EQ(readSnapshotHighestCelsius(record.databasePath()).keys(), QList<QString>{kept[0]});
}

TEST_F(AlarmRecordTest, FreeSpaceIsAskedOfTheNearestExistingFolder) {
    const std::optional<qint64> freeMegabytes = freeMegabytesAt(folder());
    ASSERT_TRUE(freeMegabytes);
    EXPECT_TRUE(enoughFreeSpaceFor(folder(), 0));
    EXPECT_FALSE(enoughFreeSpaceFor(folder(), *freeMegabytes + 1000000));
    EXPECT_FALSE(QFileInfo::exists(folder()));
}

} // namespace
} // namespace calidra
