// The headless station streaming to the real VantrelServer, both run from a copy of the
// runnable folder: every frame arrives whole, and the station shrugs off the server's death.

#include "testsupport/wait.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using calidra::test::waitFor;

QCoreApplication& application() {
    static int argc = 1;
    static char name[] = "stream_end_to_end_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

struct ServerFigures {
    long frames = -1;
    long bad = -1;
};

ServerFigures lastFigures(const QString& output) {
    ServerFigures figures;
    const QRegularExpression line(QStringLiteral("frames (\\d+)  bad (\\d+)"));
    auto matches = line.globalMatch(output);
    while (matches.hasNext()) {
        const auto match = matches.next();
        figures.frames = match.captured(1).toLong();
        figures.bad = match.captured(2).toLong();
    }
    return figures;
}

// The number of the last frame the station has processed, from its whole DETECT lines; 0 before any.
long lastStationFrame(const QString& output) {
    const int lineEnd = output.lastIndexOf('\n');
    const int at = lineEnd < 0 ? -1 : output.lastIndexOf(QStringLiteral("DETECT\t"), lineEnd);
    return at < 0 ? 0 : output.mid(at + 7).section('\t', 0, 0).toLong();
}

class StreamEndToEndTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { application(); }

    StreamEndToEndTest() {
        const QString built = qEnvironmentVariable("CALIDRA_RUNTIME_DIR");
        QDir(folder.path()).mkpath("Vantrel");
        QDir(folder.path()).mkpath("runtime");
        for (const char* name : {"calidra-headless", "libSorvikC.so", "Vantrel/VantrelServer"})
            EXPECT_TRUE(QFile::copy(built + "/" + name, folder.filePath(name))) << name;
        QFile scenario(folder.filePath("scenario.json"));
        scenario.open(QIODevice::WriteOnly);
        scenario.write(R"({ "cameras": [ { "width": 96, "height": 72, "fps": 20 } ] })");
        scenario.close();
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("SORVIK_SIM_SCENARIO", folder.filePath("scenario.json"));
        environment.insert("XDG_RUNTIME_DIR", folder.filePath("runtime"));
        environment.insert("XDG_CONFIG_HOME", folder.filePath("config"));
    }
    ~StreamEndToEndTest() override {
        for (QProcess* process : {&server, &station}) {
            process->terminate();
            process->waitForFinished(5000);
        }
    }

    void startServer(const QStringList& size = {"96", "72"}) {
        server.setProcessEnvironment(environment);
        server.start(folder.filePath("Vantrel/VantrelServer"), size + QStringList{"--port", "0"});
        ASSERT_TRUE(server.waitForStarted());
        ASSERT_TRUE(server.waitForReadyRead(30000)); // "listening on ...", after a first scan of the plugins
        serverOutput = QString::fromUtf8(server.readAllStandardOutput());
    }
    // The server reports its count about once a second.
    ServerFigures serverFigures() {
        server.waitForReadyRead(20);
        serverOutput += QString::fromUtf8(server.readAllStandardOutput());
        return lastFigures(serverOutput);
    }
    // Waits for a report printed after this call.
    ServerFigures nextServerFigures() {
        serverFigures();
        const int reports = serverOutput.count(QStringLiteral("frames "));
        waitFor([&] {
            serverFigures();
            return serverOutput.count(QStringLiteral("frames ")) > reports;
        });
        return lastFigures(serverOutput);
    }
    long stationFrame() {
        station.waitForReadyRead(20);
        stationOutput += QString::fromUtf8(station.readAllStandardOutput());
        return lastStationFrame(stationOutput);
    }

    QTemporaryDir folder;
    QProcessEnvironment environment;
    QProcess server;
    QProcess station;
    QString serverOutput;
    QString stationOutput;
};

TEST_F(StreamEndToEndTest, EveryFrameArrivesWholeAndAServerRestartPicksUpAgain) {
    startServer();
    station.setProcessEnvironment(environment);
    station.start(folder.filePath("calidra-headless"), {"--seconds", "30", "--detections"});
    ASSERT_TRUE(station.waitForStarted());

    // Over sixty frames by the station's own count, the server's count grows alike (allowing a
    // third lost) and never beyond the station's, with no bad message.
    ASSERT_TRUE(waitFor([&] { return serverFigures().frames > 0; })) << serverOutput.toStdString();
    const ServerFigures early = serverFigures();
    const long earlyStation = stationFrame();
    ASSERT_TRUE(waitFor([&] { return stationFrame() >= earlyStation + 60; }));
    const ServerFigures later = nextServerFigures();
    EXPECT_GE(later.frames - early.frames, 40);
    EXPECT_LE(later.frames, stationFrame() + 1); // + the frame streamed before its line is written
    EXPECT_EQ(later.bad, 0);

    // The server dies mid-stream; the station carries on, and a new server gets frames again.
    server.kill();
    server.waitForFinished(5000);
    const long atDeath = stationFrame();
    EXPECT_TRUE(waitFor([&] { return stationFrame() >= atDeath + 10; }));
    EXPECT_EQ(station.state(), QProcess::Running);
    serverOutput.clear();
    startServer();
    EXPECT_TRUE(waitFor([&] { return serverFigures().frames >= 30; })) << serverOutput.toStdString();
    EXPECT_EQ(serverFigures().bad, 0);

    station.terminate();
    ASSERT_TRUE(station.waitForFinished(10000));
    EXPECT_EQ(station.exitCode(), 0);
}

TEST_F(StreamEndToEndTest, AServerStartedForAnotherSizeNamesTheSizeThatArrivesAndLogsItOnce) {
    startServer({"160", "120"});
    station.setProcessEnvironment(environment);
    station.start(folder.filePath("calidra-headless"), {"--seconds", "30"});
    ASSERT_TRUE(station.waitForStarted());
    const QString named = QStringLiteral("frames of 96 × 72 arrive; 160 × 120 expected");
    ASSERT_TRUE(waitFor([&] {
        serverFigures();
        return serverOutput.count(named) >= 3;
    })) << serverOutput.toStdString();
    EXPECT_EQ(QString::fromUtf8(server.readAllStandardError()).count(named), 1);
    EXPECT_EQ(serverFigures().frames, 0);
}

} // namespace
