// The headless station streaming to the real VantrelServer, both run from a copy of the
// runnable folder: every frame arrives whole, and the station shrugs off the server's death.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

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

    void startServer() {
        server.setProcessEnvironment(environment);
        server.start(folder.filePath("Vantrel/VantrelServer"), {"96", "72", "--port", "0"});
        ASSERT_TRUE(server.waitForStarted());
        ASSERT_TRUE(server.waitForReadyRead(30000)); // "listening on ...", after a first scan of the plugins
        serverOutput = QString::fromUtf8(server.readAllStandardOutput());
    }
    ServerFigures serverFiguresAfter(int milliseconds) {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < milliseconds) {
            server.waitForReadyRead(int(std::max<qint64>(1, milliseconds - waited.elapsed())));
            serverOutput += QString::fromUtf8(server.readAllStandardOutput());
        }
        return lastFigures(serverOutput);
    }

    QTemporaryDir folder;
    QProcessEnvironment environment;
    QProcess server;
    QProcess station;
    QString serverOutput;
};

TEST_F(StreamEndToEndTest, EveryFrameArrivesWholeAndAServerRestartPicksUpAgain) {
    startServer();
    station.setProcessEnvironment(environment);
    station.start(folder.filePath("calidra-headless"), {"--seconds", "30"});
    ASSERT_TRUE(station.waitForStarted());

    // Camera at 20 frames a second: the server's count grows at that rate, with no bad message.
    const ServerFigures early = serverFiguresAfter(3000);
    const ServerFigures later = serverFiguresAfter(3000);
    ASSERT_GE(early.frames, 0) << serverOutput.toStdString();
    EXPECT_GE(later.frames - early.frames, 40);
    EXPECT_LE(later.frames - early.frames, 70);
    EXPECT_EQ(later.bad, 0);

    // The server dies mid-stream; the station carries on, and a new server gets frames again.
    server.kill();
    server.waitForFinished(5000);
    QThread::msleep(1500);
    EXPECT_EQ(station.state(), QProcess::Running);
    serverOutput.clear();
    startServer();
    const ServerFigures restarted = serverFiguresAfter(3000);
    EXPECT_GE(restarted.frames, 30);
    EXPECT_EQ(restarted.bad, 0);

    station.terminate();
    ASSERT_TRUE(station.waitForFinished(10000));
    EXPECT_EQ(station.exitCode(), 0);
}

} // namespace
