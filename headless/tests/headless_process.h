#pragma once
// The real calidra-headless run from a copy of the runnable folder, with settings and a scenario
// of the simulated camera of its own, and its output lines as they arrived. Tests wait for the
// lines they need and then end the station: a slow start makes them slower, never red.

#include "testsupport/wait.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace calidra::test {

class HeadlessStationTest : public ::testing::Test {
protected:
    using Clock = std::chrono::steady_clock;
    struct Line {
        Clock::time_point arrived;
        QString text;
    };

    HeadlessStationTest() {
        const QString built = qEnvironmentVariable("CALIDRA_RUNTIME_DIR");
        for (const char* name : {"calidra-headless", "libSorvikC.so"})
            EXPECT_TRUE(QFile::copy(built + "/" + name, folder.filePath(name))) << name;
        QDir(folder.path()).mkpath("config/Quro-Duzu/Calidra");
    }

    void writeSettings(const QByteArray& lines) {
        QFile file(folder.filePath("config/Quro-Duzu/Calidra/Calidra.conf"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Settings]\n" + lines);
    }

    // The scenario written beside the program, and the environment that points the program at it.
    QProcessEnvironment environmentFor(const QByteArray& scenario) {
        QFile file(folder.filePath("scenario.json"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(scenario);
        file.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("SORVIK_SIM_SCENARIO", folder.filePath("scenario.json"));
        environment.insert("XDG_CONFIG_HOME", folder.filePath("config"));
        environment.insert("XDG_RUNTIME_DIR", folder.path());
        return environment;
    }

    // A new run: the lines of an earlier one are forgotten.
    void start(const QByteArray& scenario, const QStringList& arguments,
               const QProcessEnvironment& extra = QProcessEnvironment()) {
        received.clear();
        QProcessEnvironment environment = environmentFor(scenario);
        environment.insert(extra);
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(QDir::tempPath());
        process.start(folder.filePath("calidra-headless"), arguments);
        ASSERT_TRUE(process.waitForStarted());
    }

    // Takes the whole lines written so far.
    void readLines() {
        while (process.canReadLine())
            received.push_back({Clock::now(), QString::fromUtf8(process.readLine()).trimmed()});
    }

    // Index of the first line after from that starts with prefix (contains text, when given); -1 when none.
    int find(const QString& prefix, int from = 0, const QString& text = {}) {
        readLines();
        for (int index = std::max(from, 0); index < int(received.size()); ++index) {
            const QString& line = received[std::size_t(index)].text;
            if (line.startsWith(prefix) && line.contains(text))
                return index;
        }
        return -1;
    }

    // Until count lines after from start with prefix; false when the station ended first or the
    // deadline passed.
    bool waitForLines(const QString& prefix, int count = 1, int from = 0,
                      std::chrono::milliseconds deadline = kEventDeadline) {
        const auto enough = [&] { return linesStartingWith(prefix, from).size() >= count; };
        waitFor([&] { return enough() || process.state() == QProcess::NotRunning; }, deadline,
                [&] { process.waitForReadyRead(50); });
        return enough();
    }
    // Index of the first line after from that starts with prefix and contains text, once it came; -1
    // when it did not.
    int waitForLine(const QString& prefix, int from = 0, const QString& text = {},
                    std::chrono::milliseconds deadline = kEventDeadline) {
        waitFor([&] { return find(prefix, from, text) >= 0 || process.state() == QProcess::NotRunning; },
                deadline, [&] { process.waitForReadyRead(50); });
        return find(prefix, from, text);
    }

    // Until the station ends by itself, with every line it wrote.
    bool waitUntilFinished(std::chrono::milliseconds deadline = kEventDeadline) {
        const bool finished = process.waitForFinished(int(deadline.count()));
        readLines();
        if (process.bytesAvailable() > 0) // a last line without its end
            received.push_back({Clock::now(), QString::fromUtf8(process.readAll()).trimmed()});
        return finished;
    }
    // SIGTERM, as the service manager stops it: an orderly end with exit code 0.
    bool endStation() {
        ::kill(pid_t(process.processId()), SIGTERM);
        return waitUntilFinished() && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    QStringList linesStartingWith(const QString& prefix, int from = 0) {
        readLines();
        QStringList found;
        for (std::size_t index = std::size_t(std::max(from, 0)); index < received.size(); ++index)
            if (received[index].text.startsWith(prefix))
                found << received[index].text;
        return found;
    }

    // Milliseconds from the arrival of one line to that of another.
    qint64 millisecondsBetween(int first, int second) const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(received[std::size_t(second)].arrived -
                                                                     received[std::size_t(first)].arrived)
            .count();
    }

    QTemporaryDir folder;
    QProcess process;
    std::vector<Line> received;
};

} // namespace calidra::test
