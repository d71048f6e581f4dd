#include "siteevents/site_events_publisher.h"

#include "siteevents/pending_alarm_queue.h"
#include "siteevents/site_events_messages.h"
#include "siteevents/site_events_settings.h"
#include "siteevents/site_person.h"

#include "test_broker.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <signal.h>

#include <memory>
#include <mutex>

namespace calidra {
namespace {

using test::Desk;
using test::DeskMessage;
using test::TestBroker;
using test::waitFor;

// Collects what a publisher reports, from its worker thread.
struct Reports {
    explicit Reports(SiteEventsPublisher& publisher) {
        QObject::connect(&publisher, &SiteEventsPublisher::reported, [this](const SiteEventsReport& report) {
            std::lock_guard<std::mutex> lock(mutex);
            all.push_back(report);
        });
        QObject::connect(&publisher, &SiteEventsPublisher::connectedChanged, [this](bool isConnected) {
            std::lock_guard<std::mutex> lock(mutex);
            connected = isConnected;
        });
    }
    std::vector<SiteEventsReport> list() {
        std::lock_guard<std::mutex> lock(mutex);
        return all;
    }
    bool isConnected() {
        std::lock_guard<std::mutex> lock(mutex);
        return connected;
    }
    std::mutex mutex;
    std::vector<SiteEventsReport> all;
    bool connected = false;
};

class SiteEventsTest : public ::testing::Test {
protected:
    SiteEventsSettings settings(int port) const {
        SiteEventsSettings values;
        values.host = QStringLiteral("127.0.0.1");
        values.port = port;
        values.stationName = QStringLiteral("door-1");
        values.pendingAlarmsFile = folder.filePath(QStringLiteral("ThermalAlarm/site-events-pending"));
        values.firstRetryDelayMs = 100;
        values.maxRetryDelayMs = 500;
        return values;
    }

    static SiteAlarmEpisode episode(int number, bool ended) {
        SiteAlarmEpisode values;
        values.start = QDateTime::currentDateTime();
        if (ended)
            values.end = values.start.addSecs(3);
        values.highestCelsius = 38.2;
        values.snapshotFiles =
            QStringList{QStringLiteral("/somewhere/ThermalAlarm/episode-%1.jpg").arg(number)};
        return values;
    }

    // "on 1", "off 1", ... as the desk received them.
    static QStringList alarmSequence(const Desk& desk) {
        QStringList sequence;
        for (const DeskMessage& message : desk.messages(QStringLiteral("/alarm")))
            sequence << QStringLiteral("%1 %2").arg(
                message.payload.value(QStringLiteral("alarm")).toBool() ? "on" : "off",
                message.payload.value(QStringLiteral("snapshots")).toArray().at(0).toString().mid(8, 1));
        return sequence;
    }

    QTemporaryDir folder;
};

TEST_F(SiteEventsTest, WithoutABrokerHostNothingHappens) {
    SiteEventsSettings off = settings(1883);
    off.host = QStringLiteral("  ");
    SiteEventsPublisher publisher(off);
    EXPECT_FALSE(publisher.enabled());
    EXPECT_EQ(publisher.findChildren<QThread*>().size(), 0);
    publisher.start();
    publisher.alarmOn(episode(1, false));
    publisher.logEntry({QDateTime::currentDateTime(), LogType::Error, QStringLiteral("x"), 1});
    EXPECT_FALSE(QFile::exists(off.pendingAlarmsFile));
}

TEST_F(SiteEventsTest, StatusAlarmsAndLogReachTheDesk) {
    TestBroker broker(folder.path());
    ASSERT_TRUE(broker.start());
    Desk desk(broker.port());
    auto publisher = std::make_unique<SiteEventsPublisher>(settings(broker.port()));
    Reports reports(*publisher);
    SiteCameraStatus camera{SiteCameraState::Connected, QStringLiteral("TestModel"),
                            QStringLiteral("164-0001"), 8.96,
                            QStringLiteral("locked"),   -1.23};
    camera.offsetCelsius = -1.64;
    publisher->setCameraStatus(camera);
    publisher->start();
    ASSERT_TRUE(waitFor([&] { return reports.isConnected(); }));

    publisher->alarmOn(episode(1, false));
    publisher->logEntry(
        {QDateTime::currentDateTime(), LogType::Event, QStringLiteral("Retry Acquisition."), 0});
    publisher->alarmOff(episode(1, true));
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("/alarm"), 2));
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("/status"), 3));
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("/log"), 1));

    // Every message with its time taken out and checked apart.
    const auto withoutTime = [](QJsonObject payload, const char* timeKey, const QString& pattern) {
        EXPECT_TRUE(QRegularExpression(pattern).match(payload.take(timeKey).toString()).hasMatch())
            << timeKey;
        return payload;
    };
    const QString seconds = QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$)");
    const QString milliseconds = QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)");
    const auto status = desk.messages(QStringLiteral("/status"));
    EXPECT_EQ(status[0].topic, "calidra/door-1/status");
    EXPECT_EQ(withoutTime(status[0].payload, "time", seconds), QJsonObject({{"online", true},
                                                                            {"camera", "connected"},
                                                                            {"model", "TestModel"},
                                                                            {"identity", "164-0001"},
                                                                            {"fps", 9.0},
                                                                            {"alarm", false},
                                                                            {"reference", "locked"},
                                                                            {"correction", -1.2},
                                                                            {"offset", -1.6}}));
    EXPECT_TRUE(status[1].payload.value("alarm").toBool());
    EXPECT_FALSE(status[2].payload.value("alarm").toBool());

    const auto alarms = desk.messages(QStringLiteral("/alarm"));
    ASSERT_EQ(alarms.size(), 2u);
    const QJsonObject onValues{
        {"alarm", true}, {"highestCelsius", 38.2}, {"snapshots", QJsonArray{"episode-1.jpg"}}};
    EXPECT_EQ(withoutTime(alarms[0].payload, "start", seconds), onValues);
    QJsonObject offValues = onValues;
    offValues["alarm"] = false;
    EXPECT_EQ(withoutTime(withoutTime(alarms[1].payload, "start", seconds), "end", seconds), offValues);
    EXPECT_FALSE(alarms[1].retained);

    EXPECT_EQ(withoutTime(desk.messages(QStringLiteral("/log")).at(0).payload, "time", milliseconds),
              QJsonObject({{"type", "Event"}, {"message", "Retry Acquisition."}, {"code", 0}}));

    // A new offset in force is told at once, not with the next periodic status.
    camera.offsetCelsius = 0.5;
    publisher->setCameraStatus(camera);
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("/status"), 4));
    EXPECT_EQ(desk.messages(QStringLiteral("/status"))[3].payload.value("offset").toDouble(), 0.5);

    // A desk that arrives later finds the station's status kept by the broker.
    Desk lateDesk(broker.port());
    ASSERT_TRUE(lateDesk.waitForCount(QStringLiteral("/status"), 1));
    EXPECT_TRUE(lateDesk.messages(QStringLiteral("/status"))[0].retained);
    EXPECT_TRUE(lateDesk.messages(QStringLiteral("/status"))[0].payload.value("online").toBool());

    // A clean stop says offline itself, with its time (the last will has none).
    publisher.reset();
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("/status"), 5));
    const QJsonObject offline = desk.messages(QStringLiteral("/status")).back().payload;
    EXPECT_FALSE(offline.value("online").toBool());
    EXPECT_TRUE(offline.contains("time"));
    ASSERT_EQ(reports.list().size(), 1u);
    EXPECT_EQ(reports.list()[0].type, LogType::Information);
}

TEST_F(SiteEventsTest, DeadOrSilentStationShowsOfflineThroughTheLastWill) {
    TestBroker broker(folder.path());
    ASSERT_TRUE(broker.start());
    Desk desk(broker.port());
    // One station is killed (the system closes its connection); the other only falls silent, as
    // a station without power or network does, so the broker notices by the keep-alive time.
    QProcess killed;
    QProcess silent;
    for (QProcess* station : {&killed, &silent}) {
        const QString name = station == &killed ? "killed" : "silent";
        station->start(QCoreApplication::applicationDirPath() + QStringLiteral("/siteevents_test_station"),
                       {QString::number(broker.port()), name, folder.filePath(name), "5"});
        ASSERT_TRUE(station->waitForReadyRead(10000));
    }
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("/status"), 2));
    for (const DeskMessage& status : desk.messages(QStringLiteral("/status")))
        EXPECT_TRUE(status.payload.value("online").toBool());

    kill(pid_t(killed.processId()), SIGKILL);
    kill(pid_t(silent.processId()), SIGSTOP);
    // The broker gives up on a silent client after one and a half keep-alive times: 7.5 s at the
    // shortest keep-alive the protocol library takes.
    ASSERT_TRUE(
        desk.waitForCount(QStringLiteral("/status"), 4, test::kEventDeadline + std::chrono::seconds(8)));
    kill(pid_t(silent.processId()), SIGKILL);
    killed.waitForFinished(5000);
    silent.waitForFinished(5000);
    QStringList offline;
    for (const DeskMessage& will : desk.messages(QStringLiteral("/status"))) {
        if (will.payload.value("online").toBool())
            continue;
        offline << will.topic;
        EXPECT_FALSE(will.payload.contains("time"));
        // Templates that read the station's name and camera find them in the will too.
        EXPECT_EQ("calidra/" + will.payload.value("station").toString() + "/status", will.topic);
        EXPECT_EQ(will.payload.value("camera"), "unknown");
    }
    EXPECT_EQ(offline, QStringList({"calidra/killed/status", "calidra/silent/status"}));
}

TEST_F(SiteEventsTest, AlarmsOfABrokerOutageArriveInOrderOnceAlsoAcrossARestart) {
    TestBroker broker(folder.path());
    ASSERT_TRUE(broker.start());
    // A named desk keeps its session, so it misses nothing while the broker restarts.
    Desk desk(broker.port(), QStringLiteral("desk"));
    // After a crash the broker has lost the desk's session: the desk has to be back before the station.
    SiteEventsSettings slowRetry = settings(broker.port());
    slowRetry.firstRetryDelayMs = slowRetry.maxRetryDelayMs = 3000;
    auto publisher = std::make_unique<SiteEventsPublisher>(slowRetry);
    Reports reports(*publisher);
    publisher->start();
    ASSERT_TRUE(waitFor([&] { return reports.isConnected(); }));
    publisher->alarmOn(episode(1, false));
    publisher->alarmOff(episode(1, true));
    publisher->alarmOn(episode(2, false));
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("/alarm"), 3));

    // The broker hangs during episode 2 and then dies: what the station handed over meanwhile
    // was never acknowledged and goes out again after the reconnection.
    broker.freeze();
    publisher->alarmOff(episode(2, true));
    publisher->alarmOn(episode(3, false));
    publisher->alarmOff(episode(3, true));
    // Queued and handed to the client library in the same step.
    ASSERT_TRUE(waitFor([&] {
        QFile journal(slowRetry.pendingAlarmsFile);
        return journal.open(QIODevice::ReadOnly) && journal.readAll().count("episode-3") == 2;
    }));
    broker.crash();
    ASSERT_TRUE(waitFor([&] { return !reports.isConnected(); }));
    ASSERT_TRUE(broker.start());
    ASSERT_TRUE(waitFor([&] { return desk.connections() == 2; }));
    ASSERT_FALSE(reports.isConnected());
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("/alarm"), 6));

    // Again, and this time the station is stopped, then one is killed, before the broker returns.
    broker.stop();
    ASSERT_TRUE(waitFor([&] { return !reports.isConnected(); }));
    publisher->alarmOn(episode(4, false));
    publisher->alarmOff(episode(4, true));
    publisher.reset();
    QProcess station;
    station.start(QCoreApplication::applicationDirPath() + QStringLiteral("/siteevents_test_station"),
                  {QString::number(broker.port()), QStringLiteral("door-1"),
                   settings(broker.port()).pendingAlarmsFile, "30"});
    ASSERT_TRUE(station.waitForStarted(5000));
    station.write("on 5\noff 5\n");
    ASSERT_TRUE(station.waitForBytesWritten(5000));
    ASSERT_TRUE(waitFor([&] {
        QFile journal(settings(broker.port()).pendingAlarmsFile);
        return journal.open(QIODevice::ReadOnly) && journal.readAll().count("episode-5") == 2;
    }));
    kill(pid_t(station.processId()), SIGKILL);
    station.waitForFinished(5000);

    ASSERT_TRUE(broker.start());
    publisher = std::make_unique<SiteEventsPublisher>(settings(broker.port()));
    publisher->start();
    // Nothing more may come before a new alarm: a second copy would arrive right behind the first.
    publisher->alarmOn(episode(6, false));
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("/alarm"), 11));
    EXPECT_EQ(alarmSequence(desk), QStringList({"on 1", "off 1", "on 2", "off 2", "on 3", "off 3", "on 4",
                                                "off 4", "on 5", "off 5", "on 6"}));
    publisher.reset();
    PendingAlarmQueue left(settings(broker.port()).pendingAlarmsFile, 1000);
    ASSERT_TRUE(left.open());
    EXPECT_TRUE(left.messages().empty());
}

TEST_F(SiteEventsTest, PasswordProblemsAreReportedOnceAndRetriedUntilFixed) {
    const QString brokerPasswords = folder.filePath("broker-passwords");
    ASSERT_EQ(QProcess::execute("mosquitto_passwd", {"-b", "-c", brokerPasswords, "door", "right"}), 0);
    TestBroker broker(folder.path(), {"allow_anonymous false", "password_file " + brokerPasswords});
    ASSERT_TRUE(broker.start());
    SiteEventsSettings values = settings(broker.port());
    values.user = QStringLiteral("door");
    values.passwordFile = folder.filePath("station-password");
    QFile password(values.passwordFile);
    const auto writePassword = [&](const QByteArray& text, QFile::Permissions permissions) {
        ASSERT_TRUE(password.open(QIODevice::WriteOnly | QIODevice::Truncate));
        password.write(text);
        password.close();
        password.setPermissions(permissions);
    };
    writePassword("right\n", QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);

    SiteEventsPublisher publisher(values);
    Reports reports(publisher);
    publisher.start();
    // Each problem once, however often the station tries again meanwhile.
    ASSERT_TRUE(waitFor([&] { return reports.list().size() == 1; }));
    EXPECT_TRUE(reports.list()[0].message.contains("open to other users"));
    writePassword("wrong\n", QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(waitFor([&] { return reports.list().size() == 2; }));
    // A try starts only after the last one's answer was taken.
    const int tries = broker.connectionsLogged();
    ASSERT_TRUE(waitFor([&] { return broker.connectionsLogged() >= tries + 3; }));
    ASSERT_EQ(reports.list().size(), 2u);
    EXPECT_EQ(reports.list()[1].type, LogType::Error);
    EXPECT_TRUE(reports.list()[1].message.contains("refused the user name or password"));
    EXPECT_FALSE(reports.isConnected());

    writePassword("right\n", QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(waitFor([&] { return reports.isConnected(); }));
    ASSERT_EQ(reports.list().size(), 3u);
    EXPECT_EQ(reports.list()[2].type, LogType::Information);
}

TEST_F(SiteEventsTest, TlsWithTheSitesCaFileOrTheSystemStore) {
    const auto openssl = [&](const QStringList& arguments) {
        QProcess process;
        process.setWorkingDirectory(folder.path());
        process.start("openssl", arguments);
        return process.waitForFinished(30000) && process.exitCode() == 0;
    };
    QFile extensions(folder.filePath("server.ext"));
    ASSERT_TRUE(extensions.open(QIODevice::WriteOnly));
    extensions.write("subjectAltName=IP:127.0.0.1\n");
    extensions.close();
    const QStringList key{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    ASSERT_TRUE(openssl(
        QStringList{"req", "-x509"} + key +
        QStringList{"-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj", "/CN=Test site CA"}));
    ASSERT_TRUE(
        openssl(QStringList{"req"} + key +
                QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1"}));
    ASSERT_TRUE(openssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                         "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "server.ext"}));
    // The desk listens in plain text; stations come in through the TLS listener.
    TestBroker broker(folder.path(),
                      {"listener %SECOND_PORT% 127.0.0.1", "cafile " + folder.filePath("ca.pem"),
                       "certfile " + folder.filePath("server.pem"),
                       "keyfile " + folder.filePath("server.key")});
    ASSERT_TRUE(broker.start());
    Desk desk(broker.port());

    SiteEventsSettings values = settings(broker.secondPort());
    values.useTls = true;
    values.caFile = folder.filePath("ca.pem");
    {
        SiteEventsPublisher publisher(values);
        Reports reports(publisher);
        publisher.start();
        ASSERT_TRUE(waitFor([&] { return reports.isConnected(); }));
        ASSERT_TRUE(desk.waitForCount("/status", 1));
    }
    // The system's store does not know the site's CA: refused once, not at every retry.
    values.caFile.clear();
    {
        SiteEventsPublisher publisher(values);
        Reports reports(publisher);
        publisher.start();
        ASSERT_TRUE(waitFor([&] { return !reports.list().empty(); }));
        const int tries = broker.connectionsLogged();
        ASSERT_TRUE(waitFor([&] { return broker.connectionsLogged() >= tries + 3; }));
        ASSERT_EQ(reports.list().size(), 1u);
        EXPECT_TRUE(reports.list()[0].message.startsWith("TLS connection to MQTT broker"));
        EXPECT_FALSE(reports.isConnected());
    }
    // Once the system's store holds it, the same settings connect.
    qputenv("SSL_CERT_FILE", folder.filePath("ca.pem").toLocal8Bit());
    SiteEventsPublisher publisher(values);
    Reports reports(publisher);
    publisher.start();
    EXPECT_TRUE(waitFor([&] { return reports.isConnected(); }));
    qunsetenv("SSL_CERT_FILE");
}

// Names that cannot stand in a topic as they are become one topic level of bounded length;
// Korean and other text stays as it is.
TEST(SiteStationNameTest, ReservedCharactersAndLengthAreMendedTextStays) {
    EXPECT_EQ(siteStationName(QStringLiteral(" 정문 ")), QStringLiteral("정문"));
    EXPECT_EQ(siteStationName(QStringLiteral("a/b+c#d")), QStringLiteral("a_b_c_d"));
    EXPECT_EQ(siteStationName(QString(500, QChar(0xC815))).size(), 100);
    EXPECT_FALSE(siteStationName(QString()).isEmpty());
}

// The threshold's part of the status: tenths, null while learning, and sent at once only when it
// moved by 0.1 °C or more, or the mode changed.
TEST(SiteStatusThreshold, ModeThresholdAndBaselineAndWhenTheyAreWorthSending) {
    SiteCameraStatus learning;
    EXPECT_FALSE(statusPayload(learning, false, QDateTime::currentDateTime(), {}).contains("threshold"));
    learning.alarmMode = QStringLiteral("baseline");
    learning.thresholdCelsius = 37.5;
    const QJsonObject whileLearning =
        QJsonDocument::fromJson(statusPayload(learning, false, QDateTime::currentDateTime(), {})).object();
    EXPECT_EQ(whileLearning.value("alarmMode"), "baseline");
    EXPECT_EQ(whileLearning.value("threshold"), 37.5);
    EXPECT_TRUE(whileLearning.value("baseline").isNull());

    SiteCameraStatus learned = learning;
    learned.thresholdCelsius = 37.04;
    learned.baselineCelsius = 36.04;
    const QJsonObject inForce =
        QJsonDocument::fromJson(statusPayload(learned, false, QDateTime::currentDateTime(), {})).object();
    EXPECT_EQ(inForce.value("threshold"), 37.0);
    EXPECT_EQ(inForce.value("baseline"), 36.0);

    EXPECT_TRUE(alarmThresholdMoved(learning, learned)); // the baseline came
    SiteCameraStatus nudged = learned;
    nudged.thresholdCelsius += 0.05;
    nudged.baselineCelsius += 0.05;
    EXPECT_FALSE(alarmThresholdMoved(learned, nudged));
    nudged.thresholdCelsius = learned.thresholdCelsius + 0.1;
    EXPECT_TRUE(alarmThresholdMoved(learned, nudged));
    SiteCameraStatus fixed = learned;
    fixed.alarmMode = QStringLiteral("fixed");
    EXPECT_TRUE(alarmThresholdMoved(learned, fixed));
}

} // namespace
} // namespace calidra
