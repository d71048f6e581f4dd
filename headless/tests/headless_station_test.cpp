// Runs the real calidra-headless from a copy of the runnable folder, on scenarios of the
// simulated camera, and reads its output lines.

#include "headless_process.h"

#include <QDir>
#include <QImage>

#include <signal.h>

namespace {

using calidra::test::HeadlessStationTest;

const QByteArray feverishPerson = R"({ "cameras": [ { "width": 160, "height": 120, "fps": 15,
    "people": [ { "enter": 0.5, "leave": 3.5, "temperature": 38.2,
                  "from": [0.5, 0.55], "to": [0.5, 0.55], "height": 0.7 } ] } ] })";

TEST_F(HeadlessStationTest, FeverishPersonRaisesTheAlarmWithSnapshotsAndItEndsWhenTheyLeave) {
    writeSettings("AlarmEvent=1\nAlarmSavePeriod=1\nAlarmTemperature=37.5\n");
    start(feverishPerson, {"--seconds", "7", "--detections", "--readouts"});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);

    const QStringList alarms = linesStartingWith("ALARM\t");
    EXPECT_EQ(alarms, QStringList({"ALARM\tON", "ALARM\tOFF"}));
    const QStringList snapshots = linesStartingWith("SNAPSHOT\t");
    ASSERT_GE(snapshots.size(), 2);
    for (const QString& line : snapshots) {
        const QString path = line.section('\t', 1);
        EXPECT_TRUE(path.startsWith(folder.filePath("ThermalAlarm/ThermalAlarm_"))) << path.toStdString();
        EXPECT_EQ(QImage(path).size(), QSize(160, 120)) << path.toStdString();
    }
    const QStringList detections = linesStartingWith("DETECT\t");
    ASSERT_GT(detections.size(), 30);
    EXPECT_TRUE(detections.front().startsWith("DETECT\t1\t"));
    bool feverishSeen = false;
    for (const QString& line : detections)
        feverishSeen = feverishSeen ||
                       (line.contains(",38.2,1") || line.contains(",38.1,1") || line.contains(",38.3,1"));
    EXPECT_TRUE(feverishSeen);
    EXPECT_FALSE(linesStartingWith("READOUT\t").isEmpty());
    EXPECT_TRUE(linesStartingWith("READOUT\t").last().contains("Max Temp. : "));
}

TEST_F(HeadlessStationTest, UnplugDuringAnAlarmEndsItAtOnceAndScreeningResumesAfterThePlug) {
    writeSettings("AlarmEvent=1\nAlarmSavePeriod=1\n");
    start(R"({ "cameras": [ { "width": 160, "height": 120, "fps": 15,
        "people": [ { "enter": 0.0, "leave": 60.0, "temperature": 38.5,
                      "from": [0.5, 0.55], "to": [0.5, 0.55], "height": 0.7 } ],
        "events": [ { "at": 3.5, "unplug": true }, { "at": 4.0, "plug": true } ] } ] })",
          {"--seconds", "11"});
    readTimedUntilFinished(30000);
    const int on = find("ALARM\tON");
    const int off = find("ALARM\tOFF");
    const int resumed = find("ALARM\tON", off + 1);
    ASSERT_GE(on, 0);
    ASSERT_GT(off, on);
    ASSERT_GT(resumed, off) << "screening did not resume after the plug";
    EXPECT_GE(find("SNAPSHOT\t", on), 0);
    EXPECT_LT(find("SNAPSHOT\t", on), off);
    int lost = -1;
    for (std::size_t index = 0; index < timed.size() && lost < 0; ++index)
        if (timed[index].second.contains("Selected camera was unplugged."))
            lost = int(index);
    ASSERT_GE(lost, 0);
    EXPECT_LT(timed[std::size_t(off)].first - timed[std::size_t(lost)].first, 3000); // the watchdog's time
    for (int index = off; index < resumed; ++index)
        EXPECT_FALSE(timed[std::size_t(index)].second.startsWith("SNAPSHOT"))
            << timed[std::size_t(index)].second.toStdString();
    EXPECT_GE(find("SNAPSHOT\t", resumed), 0);
    int connections = 0;
    for (const auto& line : timed)
        connections +=
            line.second.contains("Information\tCamera connected: SIM-A [16F0A001] KVX-384TRA") ? 1 : 0;
    EXPECT_EQ(connections, 2);
}

TEST_F(HeadlessStationTest, ReadoutFollowsTheWarmestOfTwoPeople) {
    start(R"({ "cameras": [ { "width": 160, "height": 120, "fps": 15, "noise": 0.0,
        "people": [ { "enter": 0.0, "leave": 60.0, "temperature": 38.5,
                      "from": [0.75, 0.55], "to": [0.75, 0.55], "height": 0.7 },
                    { "enter": 0.0, "leave": 60.0, "temperature": 36.0,
                      "from": [0.25, 0.55], "to": [0.25, 0.55], "height": 0.7 } ] } ] })",
          {"--seconds", "3.5", "--readouts"});
    ASSERT_TRUE(process.waitForFinished(30000));
    const QStringList readouts = linesStartingWith("READOUT\t");
    ASSERT_FALSE(readouts.isEmpty());
    EXPECT_EQ(readouts.last().section('\t', 1, 1), "38.5 C");
    EXPECT_EQ(linesStartingWith("ALARM\t").value(0), "ALARM\tON");
}

TEST_F(HeadlessStationTest, OnlySoundWritesNoSnapshots) {
    writeSettings("AlarmEvent=0\n");
    start(feverishPerson, {"--seconds", "2.5"});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(linesStartingWith("ALARM\t").value(0), "ALARM\tON");
    EXPECT_TRUE(linesStartingWith("SNAPSHOT\t").isEmpty());
    EXPECT_TRUE(QDir(folder.filePath("ThermalAlarm")).exists());
}

TEST_F(HeadlessStationTest, TerminationEndsInOrderWithExitCodeZero) {
    start(R"({ "cameras": [ { "width": 64, "height": 48, "fps": 30 } ] })", {"--detections"});
    for (int attempt = 0; attempt < 100 && linesStartingWith("DETECT\t").size() < 5; ++attempt)
        process.waitForReadyRead(100);
    ASSERT_GE(linesStartingWith("DETECT\t").size(), 5);
    ::kill(pid_t(process.processId()), SIGTERM);
    ::kill(pid_t(process.processId()), SIGTERM); // a second one does not hang it
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

TEST_F(HeadlessStationTest, UnknownOptionPrintsUsageAndExitsWithTwo) {
    start("{}", {"--frobnicate"});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).contains("usage: calidra-headless"));
}

} // namespace
