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
#include <thread>

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
    // Still alarming when --seconds ran out: the station's end ends the alarm too.
    EXPECT_EQ(linesStartingWith("ALARM\t"), QStringList({"ALARM\tON", "ALARM\tOFF"}));
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

// A reader that stops reading stdout, and a FIFO in place of the mask file: screening goes on,
// the lines that had to be dropped are counted, and SIGHUP still ends the station in order.
TEST_F(HeadlessStationTest, StalledReaderAndFifoMaskNeverHoldTheStation) {
    using Clock = std::chrono::steady_clock;
    writeSettings("AlarmEvent=1\nAlarmSavePeriod=1\nAlarmTemperature=37.5\n");
    ASSERT_TRUE(QDir(folder.path()).mkpath("Zonara"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder.filePath("Zonara/maskinfo.cfg")).constData(), 0644), 0);
    const QProcessEnvironment environment = environmentFor(R"({ "cameras": [ { "width": 160, "height": 120,
        "fps": 60, "people": [ { "enter": 0.0, "leave": 1000.0, "temperature": 38.2,
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

    // Learn the pace of DETECT lines over two seconds once they flow, then stop reading until the
    // pipe is full and far more lines were due than the station's queue holds.
    for (int waited = 0; waited < 100 && !text.contains("\nDETECT\t"); ++waited)
        readFor(std::chrono::milliseconds(100));
    const int before = int(text.count("\nDETECT\t"));
    readFor(std::chrono::seconds(2));
    const int linesPerSecond = std::max(1, (int(text.count("\nDETECT\t")) - before) / 2);
    int queued = 0;
    for (int waited = 0; waited < 300 && queued < 4000; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ::ioctl(output[0], FIONREAD, &queued);
    }
    ASSERT_GE(queued, 4000) << "the station stopped writing before the pipe was full";
    constexpr int queuedLines = 256; // LineWriter's bound for DETECT lines
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::min(60000, (queuedLines + 200) * 1000 / linesPerSecond)));
    readFor(std::chrono::seconds(1));

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
    readFor(std::chrono::milliseconds(100));
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
    for (int attempt = 0; attempt < 100 && linesStartingWith("DETECT\t").isEmpty(); ++attempt)
        process.waitForReadyRead(100);
    ASSERT_FALSE(linesStartingWith("DETECT\t").isEmpty());
    QProcess second;
    second.setProcessEnvironment(process.processEnvironment());
    second.start(folder.filePath("calidra-headless"), {"--seconds", "5"});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(second.readAllStandardError()).contains("already running from"));
    EXPECT_EQ(process.state(), QProcess::Running);
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(10000));
}

TEST_F(HeadlessStationTest, UnknownOptionPrintsUsageAndExitsWithTwo) {
    start("{}", {"--frobnicate"});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).contains("usage: calidra-headless"));
}

} // namespace
