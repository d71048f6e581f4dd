// The desk page in Debian's headless Chromium, served by a real mosquitto from its WebSockets
// listener, with two real calidra-headless stations publishing to the broker's plain listener:
// both tiles come, the feverish one turns red with its snapshot, a killed station shows offline
// and a wrong desk password says so.

#include "test_broker.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <memory>

namespace calidra {
namespace {

using test::TestBroker;
using test::waitFor;

qint64 epochMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// One calidra-headless in a folder of its own, with its settings and simulated camera.
class Door {
public:
    Door(const QString& name, int brokerPort, const QString& passwordFile, const QByteArray& scenario) {
        const QString built = qEnvironmentVariable("CALIDRA_RUNTIME_DIR");
        for (const char* file : {"calidra-headless", "libSorvikC.so"})
            EXPECT_TRUE(QFile::copy(built + "/" + file, folder_.filePath(file))) << file;
        QDir(folder_.path()).mkpath("config/Quro-Duzu/Calidra");
        EXPECT_TRUE(writeFile(folder_.filePath("config/Quro-Duzu/Calidra/Calidra.conf"),
                              QString("[Settings]\nAlarmEvent=1\nAlarmSavePeriod=1\nMqttHost=127.0.0.1\n"
                                      "MqttPort=%1\nMqttUser=station\nMqttPasswordFile=%2\nStationName=%3\n")
                                  .arg(brokerPort)
                                  .arg(passwordFile, name)
                                  .toUtf8()));
        EXPECT_TRUE(writeFile(folder_.filePath("scenario.json"), scenario));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("SORVIK_SIM_SCENARIO", folder_.filePath("scenario.json"));
        environment.insert("XDG_CONFIG_HOME", folder_.filePath("config"));
        environment.insert("XDG_RUNTIME_DIR", folder_.path());
        process_.setProcessEnvironment(environment);
        process_.start(folder_.filePath("calidra-headless"), {"--seconds", "120"});
    }
    ~Door() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    // The wall-clock moment a line starting with prefix came; 0 when none came in time.
    qint64 waitForLine(const QByteArray& prefix, std::chrono::milliseconds deadline) {
        qint64 seen = 0;
        waitFor(
            [&] {
                while (seen == 0 && process_.canReadLine())
                    if (process_.readLine().startsWith(prefix))
                        seen = epochMs();
                return seen != 0 || process_.state() == QProcess::NotRunning;
            },
            deadline, [&] { process_.waitForReadyRead(20); });
        return seen;
    }
    void kill() {
        ::kill(pid_t(process_.processId()), SIGKILL);
        process_.waitForFinished(5000);
    }

private:
    QTemporaryDir folder_;
    QProcess process_;
};

// desk_driver.js: one command, one answer.
class Browser {
public:
    explicit Browser(const QString& pageUrl) {
        process_.setProgram(QStringLiteral(NODE_PROGRAM));
        process_.setArguments({QStringLiteral(DESK_DRIVER), pageUrl});
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        ready_ = answer(std::chrono::seconds(30)) == "ready";
    }
    ~Browser() {
        process_.write("quit\n");
        if (!process_.waitForFinished(10000))
            process_.kill();
        process_.waitForFinished(5000);
    }
    bool ready() const { return ready_; }
    // Sends a command, its words percent-encoded, and returns the answer.
    QString command(const QStringList& words, std::chrono::milliseconds deadline = std::chrono::seconds(60)) {
        QStringList encoded;
        for (const QString& word : words)
            encoded << QString::fromLatin1(QUrl::toPercentEncoding(word));
        process_.write(encoded.join(' ').toUtf8() + '\n');
        return answer(deadline);
    }

private:
    QString answer(std::chrono::milliseconds deadline) {
        waitFor([&] { return process_.canReadLine() || process_.state() == QProcess::NotRunning; }, deadline,
                [&] { process_.waitForReadyRead(50); });
        return QString::fromUtf8(process_.readLine()).trimmed();
    }
    QProcess process_;
    bool ready_ = false;
};

qint64 field(const QString& answer, int index) {
    return answer.section(' ', index, index).toLongLong();
}

TEST(DeskPageTest, TwoDoorsOneFeverishOneKilledAndAWrongPassword) {
    const QString chromium = qEnvironmentVariable("CALIDRA_CHROMIUM", "/usr/bin/chromium");
    if (!QFile::exists(chromium))
        GTEST_SKIP() << chromium.toStdString()
                     << " is missing: install Debian's chromium (scripts/install-deps)";
    const QString page = qEnvironmentVariable("CALIDRA_RUNTIME_DIR") + "/desk";
    ASSERT_TRUE(QFile::exists(page + "/mqtt.min.js"))
        << "the desk's MQTT library is missing: run scripts/install-deps";

    QTemporaryDir folder;
    ASSERT_TRUE(QDir(folder.path()).mkpath("broker"));
    const QString passwords = folder.filePath("broker/passwords");
    ASSERT_EQ(QProcess::execute("mosquitto_passwd", {"-b", "-c", passwords, "desk", "front-desk-1"}), 0);
    ASSERT_EQ(QProcess::execute("mosquitto_passwd", {"-b", passwords, "station", "door-secret"}), 0);
    ASSERT_TRUE(writeFile(folder.filePath("broker/acl"),
                          "user station\ntopic readwrite calidra/#\ntopic readwrite homeassistant/#\n\n"
                          "user desk\ntopic read calidra/#\n"));
    ASSERT_TRUE(writeFile(folder.filePath("station-password"), "door-secret\n"));
    QFile::setPermissions(folder.filePath("station-password"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    TestBroker broker(folder.filePath("broker"),
                      {"allow_anonymous false", "password_file " + passwords,
                       "acl_file " + folder.filePath("broker/acl"), "listener %SECOND_PORT% 127.0.0.1",
                       "protocol websockets", "http_dir " + page});
    ASSERT_TRUE(broker.start());

    // The desk is open before the doors start, so it sees every message of theirs.
    Browser browser(QString("http://127.0.0.1:%1/index.html").arg(broker.secondPort()));
    ASSERT_TRUE(browser.ready());
    ASSERT_EQ(browser.command({"login", "desk", "front-desk-1"}), "ok");
    ASSERT_EQ(browser.command({"connected", "10000"}), "ok");
    Door doorA("Door A", broker.port(), folder.filePath("station-password"), R"({ "cameras": [ {
        "width": 160, "height": 120, "fps": 15, "people": [ { "enter": 0.5, "leave": 120, "temperature": 36.4,
        "from": [0.5, 0.55], "to": [0.5, 0.55], "height": 0.7 } ] } ] })");
    Door doorB("정문 B", broker.port(), folder.filePath("station-password"), R"({ "cameras": [ {
        "width": 160, "height": 120, "fps": 15, "people": [ { "enter": 5.0, "leave": 120, "temperature": 38.4,
        "from": [0.5, 0.55], "to": [0.5, 0.55], "height": 0.7 } ] } ] })");
    const QString tiles = browser.command({"tiles", "2", "5000"});
    ASSERT_TRUE(tiles.startsWith("ok")) << tiles.toStdString();

    const qint64 alarmOn = doorB.waitForLine("ALARM\tON", std::chrono::seconds(20));
    ASSERT_NE(alarmOn, 0);
    const QString red = browser.command({"alarm", "정문 B", "5000"});
    ASSERT_TRUE(red.startsWith("ok")) << red.toStdString();
    ASSERT_GT(field(red, 1), 0) << red.toStdString();
    EXPECT_LE(field(red, 1) - alarmOn, 2000) << "red after ALARM ON";
    EXPECT_LE(field(red, 2) - alarmOn, 2000) << "snapshot decoded after ALARM ON";
    EXPECT_TRUE(browser.command({"text", ".alarms tbody"}).contains("정문 B"));
    if (qEnvironmentVariableIsSet("CALIDRA_DESK_SCREENSHOT"))
        browser.command({"screenshot", qEnvironmentVariable("CALIDRA_DESK_SCREENSHOT")});

    // The broker's last will: offline within 1.5 times the keep-alive of 30 s.
    const qint64 killed = epochMs();
    doorA.kill();
    const QString offline = browser.command({"offline", "Door A", "45000"});
    ASSERT_TRUE(offline.startsWith("ok")) << offline.toStdString();
    EXPECT_GT(field(offline, 1), killed);
    EXPECT_LE(field(offline, 1) - killed, 45000);

    ASSERT_EQ(browser.command({"login", "desk", "front-desk-2"}), "ok");
    EXPECT_EQ(browser.command({"message", "10000"}), "ok The broker refused the user name or password.");
}

} // namespace
} // namespace calidra
