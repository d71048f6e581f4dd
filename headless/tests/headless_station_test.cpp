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
