// Runs the real calidra-headless from a copy of the runnable folder, on scenarios of the
// simulated camera, and reads its output lines.

#include "headless_process.h"

#include <QDir>
#include <QImage>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

namespace {

using calidra::test::HeadlessStationTest;

// The person stays long enough for two snapshots even when the station is slow to start.
const QByteArray feverishPerson = R"({ "cameras": [ { "width": 160, "height": 120, "fps": 15,
    "people": [ { "enter": 0.5, "leave": 7.0, "temperature": 38.2,
                  "from": [0.5, 0.55], "to": [0.5, 0.55], "height": 0.7 } ] } ] })";

TEST_F(HeadlessStationTest, FeverishPersonRaisesTheAlarmWithSnapshotsAndItEndsWhenTheyLeave) {
    writeSettings("AlarmEvent=1\nAlarmSavePeriod=1\nAlarmTemperature=37.5\n");
    start(feverishPerson, {"--detections", "--readouts"});
    ASSERT_TRUE(waitForLines("SNAPSHOT\t", 2));
    const int on = find("ALARM\tON");
    ASSERT_GE(on, 0);
    ASSERT_GE(waitForLine("ALARM\tOFF", on), 0) << "the alarm did not end when the person left";
    ASSERT_TRUE(endStation());

    const QStringList alarms = linesStartingWith("ALARM\t");
    EXPECT_EQ(alarms, QStringList({"ALARM\tON", "ALARM\tOFF"}));
    const QStringList snapshots = linesStartingWith("SNAPSHOT\t");
    ASSERT_GE(snapshots.size(), 2);
    for (const QString& line : snapshots) {
        const QString path = line.section('\t', 1);
        EXPECT_TRUE(path.startsWith(folder.filePath("ThermalAlarm/ThermalAlarm_"))) << path.toStdString();
        // The camera's picture with the caption band below it.
        const QImage snapshot(path);
        EXPECT_EQ(snapshot.width(), 160) << path.toStdString();
        EXPECT_GT(snapshot.height(), 120) << path.toStdString();
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

// The camera is unplugged and plugged back twice; the test takes the first unplug that came
// during an alarm with a snapshot, so a slow start only moves the test to the second.
TEST_F(HeadlessStationTest, UnplugDuringAnAlarmEndsItAtOnceAndScreeningResumesAfterThePlug) {
    writeSettings("AlarmEvent=1\nAlarmSavePeriod=1\n");
    start(R"({ "cameras": [ { "width": 160, "height": 120, "fps": 15,
        "people": [ { "enter": 0.0, "leave": 600.0, "temperature": 38.5,
                      "from": [0.5, 0.55], "to": [0.5, 0.55], "height": 0.7 } ],
        "events": [ { "at": 5.0, "unplug": true }, { "at": 5.5, "plug": true },
                    { "at": 25.0, "unplug": true }, { "at": 25.5, "plug": true } ] } ] })",
          {});
    const int on = waitForLine("ALARM\tON");
    ASSERT_GE(on, 0);
    const int firstSnapshot = waitForLine("SNAPSHOT\t", on);
    ASSERT_GT(firstSnapshot, on);
    const int lost = waitForLine("LOG\t", firstSnapshot, "\tSelected camera was unplugged.\t");
    ASSERT_GT(lost, firstSnapshot);
    const int off = waitForLine("ALARM\tOFF", on);
    ASSERT_GT(off, lost);
    // The watchdog's limit, from the station's own report of the unplug.
    EXPECT_LT(millisecondsBetween(lost, off), 3000);
    const int resumed = waitForLine("ALARM\tON", off);
    ASSERT_GT(resumed, off) << "screening did not resume after the plug";
    ASSERT_GT(waitForLine("SNAPSHOT\t", resumed), resumed);
    ASSERT_TRUE(endStation());

    for (int index = off; index < resumed; ++index)
        EXPECT_FALSE(received[std::size_t(index)].text.startsWith("SNAPSHOT"))
            << received[std::size_t(index)].text.toStdString();
    const QString connected = "Information\tCamera connected: SIM-A [16F0A001] KVX-384TRA";
    EXPECT_GE(find("LOG\t", 0, connected), 0);
    EXPECT_LT(find("LOG\t", 0, connected), on);
    int reconnections = 0;
    for (int index = lost; index < resumed; ++index)
        reconnections += received[std::size_t(index)].text.contains(connected) ? 1 : 0;
    EXPECT_EQ(reconnections, 1);
}

TEST_F(HeadlessStationTest, ReadoutFollowsTheWarmestOfTwoPeople) {
    start(R"({ "cameras": [ { "width": 160, "height": 120, "fps": 15, "noise": 0.0,
        "people": [ { "enter": 0.0, "leave": 600.0, "temperature": 38.5,
                      "from": [0.75, 0.55], "to": [0.75, 0.55], "height": 0.7 },
                    { "enter": 0.0, "leave": 600.0, "temperature": 36.0,
                      "from": [0.25, 0.55], "to": [0.25, 0.55], "height": 0.7 } ] } ] })",
          {"--readouts"});
    const int on = waitForLine("ALARM\tON");
    ASSERT_GE(on, 0);
    ASSERT_TRUE(waitForLines("READOUT\t", 2, on)); // read-outs of frames with both people
    ASSERT_TRUE(endStation());
    const QStringList readouts = linesStartingWith("READOUT\t");
    EXPECT_EQ(readouts.last().section('\t', 1, 1), "38.5 °C");
    // Still alarming when the station ended: the station's end ends the alarm too.
    EXPECT_EQ(linesStartingWith("ALARM\t"), QStringList({"ALARM\tON", "ALARM\tOFF"}));
}

// The end of the station hands over the lines of every frame it processed, so a snapshot of the
// alarm's first frame would be among them.
TEST_F(HeadlessStationTest, OnlySoundWritesNoSnapshots) {
    writeSettings("AlarmEvent=0\n");
    start(feverishPerson, {});
    ASSERT_GE(waitForLine("ALARM\tON"), 0);
    ASSERT_TRUE(endStation());
    EXPECT_EQ(linesStartingWith("ALARM\t").value(0), "ALARM\tON");
    EXPECT_TRUE(linesStartingWith("SNAPSHOT\t").isEmpty());
    EXPECT_TRUE(QDir(folder.filePath("ThermalAlarm")).exists());
}

TEST_F(HeadlessStationTest, TerminationEndsInOrderWithExitCodeZero) {
    start(R"({ "cameras": [ { "width": 64, "height": 48, "fps": 30 } ] })", {"--detections"});
    ASSERT_TRUE(waitForLines("DETECT\t", 5));
    ::kill(pid_t(process.processId()), SIGTERM);
    ::kill(pid_t(process.processId()), SIGTERM); // a second one does not hang it
    ASSERT_TRUE(waitUntilFinished());
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

// A reader that stops reading stdout, and a FIFO in place of the mask file: screening goes on,
// the lines that had to be dropped are counted, and SIGHUP still ends the station in order.
TEST_F(HeadlessStationTest, StalledReaderAndFifoMaskNeverHoldTheStation) {
    using Clock = std::chrono::steady_clock;
    writeSettings("AlarmEvent=1\nAlarmSavePeriod=1\nAlarmTemperature=37.5\n");
    ASSERT_TRUE(QDir(folder.path()).mkpath("Zonara"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder.filePath("Zonara/maskinfo.cfg")).constData(), 0644), 0);
    const QProcessEnvironment environment = environmentFor(R"({ "cameras": [ { "width": 160, "height": 120,
        "fps": 100, "people": [ { "enter": 0.0, "leave": 1000.0, "temperature": 38.2,
        "from": [0.5, 0.55], "to": [0.5, 0.55], "height": 0.7 } ] } ] })");

    int output[2];
    ASSERT_EQ(::pipe2(output, O_CLOEXEC), 0);
    ::fcntl(output[0], F_SETPIPE_SZ, 8192); // two pages: full once both are in use
    const QByteArray program = QFile::encodeName(folder.filePath("calidra-headless"));
    const QByteArray errors = QFile::encodeName(folder.filePath("stderr.txt"));
    // Far past what one int of milliseconds holds.
    std::vector<QByteArray> arguments{program, "--detections", "--seconds", "3000000"};
    std::vector<QByteArray> variables;
    for (const QString& variable : environment.toStringList())
        variables.push_back(variable.toLocal8Bit());
    std::vector<char*> argv, envp;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    for (QByteArray& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    // A station that hangs must not outlive a failed test.
    struct Reaper {
        pid_t pid;
        ~Reaper() {
            if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
        }
    } reaper{child};
    if (child == 0) {
        const int errorFile = ::open(errors.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(errorFile, STDERR_FILENO);
        ::execve(program.constData(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(output[1]);
    QByteArray text;
    const auto readFor = [&](std::chrono::milliseconds span) {
        const Clock::time_point until = Clock::now() + span;
        while (Clock::now() < until) {
            char buffer[4096];
            const ssize_t count = ::read(output[0], buffer, sizeof buffer);
            if (count > 0)
                text.append(buffer, int(count));
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    };
    ::fcntl(output[0], F_SETFL, O_NONBLOCK);

    // Once lines flow, stop reading until the pipe is full and the station has processed more
    // frames than its queue holds lines, counted in its own seconds: one snapshot each. The
    // reader then takes up again past a snapshot taken after it came back, so the count of the
    // dropped lines, which goes before the next line taken, has come. A station slower than the
    // scenario's pace gets a longer stall.
    const auto readUntil = [&](const std::function<bool()>& done) {
        return calidra::test::waitFor(done, calidra::test::kEventDeadline,
                                      [&] { readFor(std::chrono::milliseconds(50)); });
    };
    ASSERT_TRUE(readUntil([&] { return text.contains("\nDETECT\t"); }));
    const auto snapshotFiles = [&] {
        return int(QDir(folder.filePath("ThermalAlarm")).entryList({"*.jpg"}, QDir::Files).size());
    };
    constexpr int queuedLines = 256;                  // LineWriter's bound for DETECT lines
    int stallSeconds = (queuedLines + 200) / 100 + 1; // at the scenario's 100 frames a second
    for (int round = 0; round < 4 && !text.contains("\nDROPPED\t"); ++round, stallSeconds *= 2) {
        int queued = 0;
        ASSERT_TRUE(calidra::test::waitFor([&] {
            return ::ioctl(output[0], FIONREAD, &queued) == 0 && queued >= 4000;
        })) << "the station stopped writing before the pipe was full";
        const int before = snapshotFiles();
        ASSERT_TRUE(
            calidra::test::waitFor([&] { return snapshotFiles() >= before + stallSeconds; },
                                   calidra::test::kEventDeadline + std::chrono::seconds(stallSeconds)));
        const int taken = snapshotFiles();
        ASSERT_TRUE(readUntil([&] { return int(text.count("SNAPSHOT\t")) > taken; }));
    }
    ASSERT_TRUE(text.contains("\nDROPPED\t"));

    const Clock::time_point hangUp = Clock::now();
    ::kill(child, SIGHUP);
    int status = 0;
    pid_t ended = 0;
    while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 &&
           Clock::now() - hangUp < std::chrono::seconds(20))
        readFor(std::chrono::milliseconds(50));
    const auto endedAfter = Clock::now() - hangUp;
    ASSERT_EQ(ended, child) << "SIGHUP did not end the station";
    reaper.pid = 0; // reaped
    // The rest of the output, up to its end.
    ASSERT_TRUE(calidra::test::waitFor([&] {
        char buffer[4096];
        const ssize_t count = ::read(output[0], buffer, sizeof buffer);
        if (count > 0)
            text.append(buffer, int(count));
        return count == 0;
    }));
    ::close(output[0]);
    EXPECT_LT(endedAfter, std::chrono::seconds(5));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // Every frame's line was written or counted, in order.
    uint64_t lastFrame = 0;
    uint64_t droppedSinceLast = 0;
    int droppedLines = 0;
    QStringList maskErrors;
    for (const QString& line : QString::fromUtf8(text).split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith("DROPPED\t")) {
            droppedSinceLast += line.section('\t', 1).toULongLong();
            ++droppedLines;
        } else if (line.startsWith("DETECT\t")) {
            const uint64_t frame = line.section('\t', 1, 1).toULongLong();
            ASSERT_EQ(frame, lastFrame + 1 + droppedSinceLast) << line.toStdString();
            lastFrame = frame;
            droppedSinceLast = 0;
        } else if (line.startsWith("LOG\t") && line.contains("maskinfo.cfg")) {
            maskErrors << line;
        }
    }
    EXPECT_GE(droppedLines, 1);
    ASSERT_EQ(maskErrors.size(), 1) << maskErrors.join('\n').toStdString();
    EXPECT_TRUE(maskErrors[0].contains("\tError\t"));
    EXPECT_TRUE(text.contains("ALARM\tON"));
    // SNAPSHOT lines are never dropped.
    const int snapshots = QDir(folder.filePath("ThermalAlarm")).entryList({"*.jpg"}, QDir::Files).size();
    EXPECT_GE(snapshots, 3);
    EXPECT_EQ(text.count("SNAPSHOT\t"), snapshots);
    QFile errorText(folder.filePath("stderr.txt"));
    ASSERT_TRUE(errorText.open(QIODevice::ReadOnly));
    EXPECT_FALSE(errorText.readAll().contains("QTimer"));
}

TEST_F(HeadlessStationTest, ASecondStationFromTheSameFolderSaysSoAndExitsWithOne) {
    start(R"({ "cameras": [ { "width": 64, "height": 48, "fps": 30 } ] })", {"--detections"});
    ASSERT_TRUE(waitForLines("DETECT\t"));
    QProcess second;
    second.setProcessEnvironment(process.processEnvironment());
    second.start(folder.filePath("calidra-headless"), {"--seconds", "5"});
    ASSERT_TRUE(second.waitForFinished(int(calidra::test::kEventDeadline.count())));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(second.readAllStandardError()).contains("already running from"));
    EXPECT_EQ(process.state(), QProcess::Running);
    EXPECT_TRUE(endStation());
}

TEST_F(HeadlessStationTest, UnknownOptionPrintsUsageAndExitsWithTwo) {
    start("{}", {"--frobnicate"});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).contains("usage: calidra-headless"));
}

} // namespace
