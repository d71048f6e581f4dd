#pragma once
// The real calidra-headless run from a copy of the runnable folder, with settings and a scenario
// of the simulated camera of its own, and its output lines.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace calidra::test {

class HeadlessStationTest : public ::testing::Test {
protected:
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

    void start(const QByteArray& scenario, const QStringList& arguments,
               const QProcessEnvironment& extra = QProcessEnvironment()) {
        QFile file(folder.filePath("scenario.json"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(scenario);
        file.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("SORVIK_SIM_SCENARIO", folder.filePath("scenario.json"));
        environment.insert("XDG_CONFIG_HOME", folder.filePath("config"));
        environment.insert("XDG_RUNTIME_DIR", folder.path());
        environment.insert(extra);
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(QDir::tempPath());
        process.start(folder.filePath("calidra-headless"), arguments);
        ASSERT_TRUE(process.waitForStarted());
    }

    QStringList lines() {
        const QStringList all =
            QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        output += all;
        return output;
    }

    // Reads until the program ends, noting when each line arrived.
    void readTimedUntilFinished(int timeoutMs) {
        QElapsedTimer clock;
        clock.start();
        while (process.state() != QProcess::NotRunning && clock.elapsed() < timeoutMs) {
            process.waitForReadyRead(20);
            while (process.canReadLine())
                timed.push_back({clock.elapsed(), QString::fromUtf8(process.readLine()).trimmed()});
        }
        ASSERT_EQ(process.state(), QProcess::NotRunning);
        while (process.canReadLine())
            timed.push_back({clock.elapsed(), QString::fromUtf8(process.readLine()).trimmed()});
    }
    // Arrival of the first line that starts with prefix after index from; -1 when none.
    int find(const QString& prefix, int from = 0) const {
        for (int index = from; index < int(timed.size()); ++index)
            if (timed[std::size_t(index)].second.startsWith(prefix))
                return index;
        return -1;
    }

    QStringList linesStartingWith(const QString& prefix) {
        QStringList found;
        for (const QString& line : lines())
            if (line.startsWith(prefix))
                found << line;
        return found;
    }

    // Until a line with this start comes or the time is up.
    bool waitForLine(const QString& prefix, int timeoutMs) {
        for (int waited = 0; waited < timeoutMs; waited += 100) {
            if (!linesStartingWith(prefix).isEmpty())
                return true;
            process.waitForReadyRead(100);
        }
        return !linesStartingWith(prefix).isEmpty();
    }

    QTemporaryDir folder;
    QProcess process;
    QStringList output;
    std::vector<std::pair<qint64, QString>> timed;
};

} // namespace calidra::test
