// The alarm record of the real calidra-headless: episodes with their readings, a station killed in
// the middle of one, retention at start-up, pictures that cannot be written, a damaged record, and
// the CSV export read back with Python's csv module.

#include "headless_process.h"

#include "alarmrecord/alarm_record.h"
#include "alarmrecord/alarm_record_reader.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <signal.h>

#include <cerrno>

namespace calidra {
namespace {

using test::HeadlessStationTest;

QByteArray people(const QByteArray& list, const QByteArray& events = "[]") {
    return R"({ "cameras": [ { "width": 160, "height": 120, "fps": 15, "people": [)" + list +
           R"(], "events": )" + events + "} ] }";
}

QByteArray person(double enter, double leave, double celsius) {
    return QStringLiteral(R"({ "enter": %1, "leave": %2, "temperature": %3, "from": [0.5, 0.55],
                               "to": [0.5, 0.55], "height": 0.7 })")
        .arg(enter)
        .arg(leave)
        .arg(celsius)
        .toUtf8();
}

// The first person stays long enough to be seen after a slow start.
const QByteArray twoEpisodes = people(person(0.5, 5, 38.2) + "," + person(6, 7.2, 38.4));

class HeadlessAlarmRecordTest : public HeadlessStationTest {
protected:
    QString alarmFolder() const { return folder.filePath("ThermalAlarm"); }
    std::vector<AlarmEpisode> episodes() const {
        const AlarmEpisodesResult read = readAlarmEpisodes(alarmRecordPath(alarmFolder()));
        EXPECT_TRUE(read.succeeded) << read.errorText.toStdString();
        return read.episodes;
    }
    QStringList pictures() const {
        return QDir(alarmFolder()).entryList({"ThermalAlarm_*.jpg"}, QDir::Files, QDir::Name);
    }
    int runToTheEnd() {
        EXPECT_TRUE(waitUntilFinished());
        return process.exitCode();
    }
    // Until the alarm went off as often, then the station is ended; false when it did not.
    bool endAfterAlarms(int episodes) { return waitForLines("ALARM\tOFF", episodes) && endStation(); }
    QStringList logLines(const QString& message) {
        QStringList found;
        for (const QString& line : linesStartingWith("LOG\t"))
            if (line.contains(message))
                found << line;
        return found;
    }
};

TEST_F(HeadlessAlarmRecordTest, EachEpisodeIsRecordedWithItsHighestReadingAndExportedAsCsv) {
    writeSettings(
        "AlarmEvent=1\nAlarmSavePeriod=1\nTemperatureUnit=1\nAlarmTemperature=37.8\nStationName=door/7\n");
    start(people(person(0.5, 5, 38.2) + "," + person(6, 7.2, 38.6) + "," + person(8.2, 9.4, 39.1)), {});
    ASSERT_TRUE(endAfterAlarms(3));
    ASSERT_EQ(linesStartingWith("ALARM\t").size(), 6);

    const std::vector<AlarmEpisode> recorded = episodes();
    ASSERT_EQ(recorded.size(), 3u);
    const double highest[] = {38.2, 38.6, 39.1};
    int snapshots = 0;
    for (std::size_t index = 0; index < recorded.size(); ++index) {
        ASSERT_TRUE(recorded[index].highestCelsius);
        EXPECT_NEAR(*recorded[index].highestCelsius, highest[index], 0.05);
        EXPECT_FALSE(recorded[index].endLocal.isEmpty()) << "ALARM OFF completes the episode";
        EXPECT_GE(recorded[index].snapshots, 1);
        snapshots += recorded[index].snapshots;
    }
    EXPECT_EQ(snapshots, pictures().size());
    EXPECT_EQ(snapshots, linesStartingWith("SNAPSHOT\t").size());
    EXPECT_EQ(readSnapshotHighestCelsius(alarmRecordPath(alarmFolder())).size(), snapshots);

    // The export needs no camera: the scenario is never read.
    const QString csv = folder.filePath("alarms.csv");
    QProcess exporter;
    exporter.setProcessEnvironment(process.processEnvironment());
    exporter.start(folder.filePath("calidra-headless"), {"--export-alarms", csv});
    ASSERT_TRUE(exporter.waitForFinished(20000));
    ASSERT_EQ(exporter.exitCode(), 0) << exporter.readAllStandardError().toStdString();
    QProcess python;
    python.start(PYTHON_PROGRAM, {"-c",
                                  "import csv, json, sys\n"
                                  "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                  "    print(json.dumps(list(csv.reader(f))))",
                                  csv});
    ASSERT_TRUE(python.waitForFinished(20000));
    const QJsonArray rows = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0].toArray().toVariantList(),
              QVariantList({"Start", "End", "Highest °C", "Highest display °F", "Snapshots", "Station",
                            "Threshold °C", "Snapshot files"}));
    const QStringList taken = pictures();
    int firstPicture = 0;
    for (int row = 1; row < 4; ++row) {
        const AlarmEpisode& episode = recorded[std::size_t(row - 1)];
        const QJsonArray fields = rows[row].toArray();
        EXPECT_EQ(QDateTime::fromString(fields[0].toString(), Qt::ISODate).toSecsSinceEpoch(),
                  episode.startUtc);
        EXPECT_EQ(QDateTime::fromString(fields[1].toString(), Qt::ISODate).toSecsSinceEpoch(),
                  episode.endUtc);
        EXPECT_EQ(fields[2].toString(), QString::number(*episode.highestCelsius, 'f', 1));
        EXPECT_EQ(fields[3].toString(), QString::number(*episode.highestCelsius * 1.8 + 32.0, 'f', 1));
        EXPECT_EQ(fields[4].toString().toInt(), episode.snapshots);
        EXPECT_EQ(fields[5].toString(), "door_7") << "named as in the station's MQTT topics";
        EXPECT_EQ(fields[6].toString(), "37.8") << "the threshold in °C, whatever the unit shown";
        EXPECT_EQ(fields[7].toString(), QStringList(taken.mid(firstPicture, episode.snapshots)).join(';'));
        firstPicture += episode.snapshots;
    }

    // "-": the same CSV on standard output, the count on stderr.
    exporter.start(folder.filePath("calidra-headless"), {"--export-alarms", "-"});
    ASSERT_TRUE(exporter.waitForFinished(20000));
    ASSERT_EQ(exporter.exitCode(), 0);
    QFile written(csv);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(exporter.readAllStandardOutput(), written.readAll());
    EXPECT_EQ(exporter.readAllStandardError(), "3 alarm episodes written to standard output\n");

    exporter.start(folder.filePath("calidra-headless"), {"--export-alarms", folder.filePath("none/x.csv")});
    ASSERT_TRUE(exporter.waitForFinished(20000));
    EXPECT_EQ(exporter.exitCode(), 1);
    EXPECT_TRUE(exporter.readAllStandardError().contains("none/x.csv"));
}

TEST_F(HeadlessAlarmRecordTest, AStationKilledDuringAnAlarmHasItsEpisodeClosedAtTheNextStart) {
    writeSettings("AlarmEvent=1\nAlarmSavePeriod=1\n");
    start(people(person(0, 600, 38.2)), {});
    ASSERT_TRUE(waitForLines("SNAPSHOT\t", 2));
    ASSERT_EQ(linesStartingWith("SNAPSHOT\t").size(), 2);
    ::kill(pid_t(process.processId()), SIGKILL);
    ASSERT_TRUE(process.waitForFinished(10000));
    std::vector<AlarmEpisode> left = episodes();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(left[0].endLocal.isEmpty());
    EXPECT_NEAR(left[0].highestCelsius.value_or(0.0), 38.2, 0.05);

    // The record is closed before the station's first frame: a run of any length will do.
    start(people(""), {"--seconds", "0.2"});
    ASSERT_EQ(runToTheEnd(), 0);
    left = episodes();
    ASSERT_EQ(left.size(), 1u);
    ASSERT_GE(left[0].snapshots, 1);
    const QString lastPicture = pictures().at(left[0].snapshots - 1);
    EXPECT_EQ(left[0].endLocal, recordTimeText(parseStationSnapshotName(lastPicture)->localTime));
}

TEST_F(HeadlessAlarmRecordTest, RetentionAtStartUpRemovesOnlyTheStationsOldPictures) {
    QDir().mkpath(alarmFolder());
    const QDateTime old = QDateTime::currentDateTime().addDays(-2);
    const QDateTime recent = QDateTime::currentDateTime().addSecs(-60);
    const auto name = [](const QDateTime& time, const QString& suffix = {}) {
        return time.toString("'ThermalAlarm_'yyyyMMdd'_'HHmmss") + suffix + ".jpg";
    };
    const QStringList expired{name(old), name(old, "-2")};
    const QStringList kept{name(recent), "visitor.jpg", "ThermalAlarm_notes.jpg"};
    for (const QString& file : expired + kept)
        QFile(QDir(alarmFolder()).filePath(file)).open(QIODevice::WriteOnly);
    {
        AlarmRecord record(alarmFolder());
        record.alarmOn(old);
        for (const QString& file : expired)
            record.snapshotSaved(QDir(alarmFolder()).filePath(file), 38.0);
        record.alarmOff(old.addSecs(3));
        record.alarmOn(recent);
        record.snapshotSaved(QDir(alarmFolder()).filePath(kept[0]), 38.4);
        record.alarmOff(recent.addSecs(3));
    }

    writeSettings("AlarmKeepDays=1\n");
    start(people(""), {});
    ASSERT_GE(waitForLine("LOG\t", 0, "alarm snapshots were removed"), 0);
    ASSERT_TRUE(endStation());
    EXPECT_EQ(QDir(alarmFolder()).entryList({"*.jpg"}, QDir::Files, QDir::Name),
              QStringList({kept[0], "ThermalAlarm_notes.jpg", "visitor.jpg"}));
    const std::vector<AlarmEpisode> left = episodes();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].startUtc, recent.toSecsSinceEpoch());
    const QStringList removal = logLines("alarm snapshots were removed");
    ASSERT_EQ(removal.size(), 1);
    EXPECT_TRUE(removal[0].contains("\tInformation\t2 alarm snapshots were removed (AlarmKeepDays=1).\t"));
}

// Two episodes whose pictures cannot be written: one entry each, with the system's reason. Then a
// disk short of room: no picture is tried, one entry says so, and the record still gets its rows.
TEST_F(HeadlessAlarmRecordTest, PicturesThatCannotBeSavedAreReportedOncePerEpisode) {
    QFile(alarmFolder()).open(QIODevice::WriteOnly); // a file where the folder should be
    writeSettings("AlarmEvent=1\nAlarmSavePeriod=0\n");
    start(twoEpisodes, {});
    ASSERT_TRUE(endAfterAlarms(2));
    EXPECT_EQ(linesStartingWith("ALARM\t").size(), 4);
    EXPECT_TRUE(linesStartingWith("SNAPSHOT\t").isEmpty());
    const QStringList failures = logLines("\tAlarm snapshot could not be saved.\t");
    ASSERT_EQ(failures.size(), 2);
    EXPECT_TRUE(failures[0].contains("\tError\t") && failures[0].endsWith(QString("\t%1").arg(ENOTDIR)));
    EXPECT_EQ(logLines("alarm record").size(), 1) << "the record's own failure, once";

    QFile::remove(alarmFolder());
    writeSettings("AlarmEvent=1\nAlarmSavePeriod=0\nAlarmMinFreeMB=2000000000\n");
    start(twoEpisodes, {});
    ASSERT_TRUE(endAfterAlarms(2));
    EXPECT_EQ(linesStartingWith("ALARM\t").size(), 4);
    EXPECT_TRUE(pictures().isEmpty());
    EXPECT_TRUE(logLines("Alarm snapshot could not be saved.").isEmpty());
    EXPECT_EQ(logLines("\tError\tAlarm snapshots are not saved: less than 2000000000 MB free").size(), 1);
    EXPECT_EQ(episodes().size(), 2u);
}

TEST_F(HeadlessAlarmRecordTest, ADamagedRecordIsReportedOnceAndScreeningGoesOn) {
    QDir().mkpath(alarmFolder());
    QFile damaged(alarmRecordPath(alarmFolder()));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(8192, 'x'));
    damaged.close();
    writeSettings("AlarmEvent=1\nAlarmSavePeriod=1\n");
    start(twoEpisodes, {});
    ASSERT_TRUE(endAfterAlarms(2));
    EXPECT_EQ(linesStartingWith("ALARM\t").size(), 4);
    EXPECT_GE(linesStartingWith("SNAPSHOT\t").size(), 2);
    EXPECT_EQ(pictures().size(), linesStartingWith("SNAPSHOT\t").size());
    EXPECT_EQ(logLines("\tError\tThe alarm record ").size(), 1);
}

} // namespace
} // namespace calidra
