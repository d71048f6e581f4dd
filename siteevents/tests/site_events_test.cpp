#include "siteevents/site_events_publisher.h"

#include "siteevents/pending_alarm_queue.h"

#include "test_broker.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
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
using test::waitUntil;

QCoreApplication& application() {
    static int argc = 1;
    static char name[] = "site_events_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

// Collects what a publisher reports, from its worker thread.
struct Reports {
    explicit Reports(SiteEventsPublisher& publisher) {
        QObject::connect(&publisher, &SiteEventsPublisher::reported,
                         [this](const SiteEventsReport& report) {
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
    static void SetUpTestSuite() { application(); }

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
        values.snapshotFiles = QStringList{QStringLiteral("/somewhere/ThermalAlarm/episode-%1.jpg").arg(number)};
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

TEST_F(SiteEventsTest, StatusAlarmsAndLogReachTheDesk) {
    TestBroker broker(folder.path());
    ASSERT_TRUE(broker.start());
    Desk desk(broker.port());
    auto publisher = std::make_unique<SiteEventsPublisher>(settings(broker.port()));
    Reports reports(*publisher);
    publisher->setCameraStatus({SiteCameraState::Connected, QStringLiteral("TestModel"), QStringLiteral("164-0001"), 8.96});
    publisher->start();
    ASSERT_TRUE(waitUntil([&] { return reports.isConnected(); }, 10000));

    publisher->alarmOn(episode(1, false));
    publisher->logEntry({QDateTime::currentDateTime(), LogType::Event, QStringLiteral("Retry Acquisition."), 0});
    publisher->alarmOff(episode(1, true));
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("/alarm"), 2, 10000));
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("/status"), 3, 10000));
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("/log"), 1, 10000));

    const auto status = desk.messages(QStringLiteral("/status"));
    EXPECT_EQ(status[0].topic, "calidra/door-1/status");
    EXPECT_TRUE(status[0].payload.value("online").toBool());
    EXPECT_EQ(status[0].payload.value("camera").toString(), "connected");
    EXPECT_EQ(status[0].payload.value("model").toString(), "TestModel");
    EXPECT_EQ(status[0].payload.value("identity").toString(), "164-0001");
    EXPECT_DOUBLE_EQ(status[0].payload.value("fps").toDouble(), 9.0);
    EXPECT_FALSE(status[0].payload.value("alarm").toBool());
    EXPECT_TRUE(status[1].payload.value("alarm").toBool());
    EXPECT_FALSE(status[2].payload.value("alarm").toBool());
    const QRegularExpression isoWithOffset(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$)"));
    EXPECT_TRUE(isoWithOffset.match(status[0].payload.value("time").toString()).hasMatch());

    const auto alarms = desk.messages(QStringLiteral("/alarm"));
    ASSERT_EQ(alarms.size(), 2u);
    EXPECT_TRUE(alarms[0].payload.value("alarm").toBool());
    EXPECT_FALSE(alarms[0].payload.contains("end"));
    EXPECT_FALSE(alarms[1].payload.value("alarm").toBool());
    EXPECT_FALSE(alarms[1].retained);
    EXPECT_DOUBLE_EQ(alarms[1].payload.value("highestCelsius").toDouble(), 38.2);
    EXPECT_TRUE(isoWithOffset.match(alarms[1].payload.value("end").toString()).hasMatch());
    EXPECT_EQ(alarms[1].payload.value("snapshots").toArray().at(0).toString(), "episode-1.jpg");

    const DeskMessage log = desk.messages(QStringLiteral("/log")).at(0);
    EXPECT_EQ(log.payload.value("type").toString(), "Event");
    EXPECT_EQ(log.payload.value("message").toString(), "Retry Acquisition.");
    EXPECT_EQ(log.payload.value("code").toInt(), 0);

    // A desk that arrives later finds the station's status kept by the broker.
    Desk lateDesk(broker.port());
    ASSERT_TRUE(lateDesk.waitForCount(QStringLiteral("/status"), 1, 10000));
    EXPECT_TRUE(lateDesk.messages(QStringLiteral("/status"))[0].retained);
    EXPECT_TRUE(lateDesk.messages(QStringLiteral("/status"))[0].payload.value("online").toBool());

    // A clean stop says offline itself, with its time (the last will has none).
    publisher.reset();
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("/status"), 4, 10000));
    const QJsonObject offline = desk.messages(QStringLiteral("/status")).back().payload;
    EXPECT_FALSE(offline.value("online").toBool());
    EXPECT_TRUE(offline.contains("time"));
    ASSERT_EQ(reports.list().size(), 1u);
    EXPECT_EQ(reports.list()[0].type, LogType::Information);
}

TEST_F(SiteEventsTest, KilledStationShowsOfflineThroughTheLastWill) {
    TestBroker broker(folder.path());
    ASSERT_TRUE(broker.start());
    Desk desk(broker.port());
    QProcess station;
    station.start(QCoreApplication::applicationDirPath() + QStringLiteral("/siteevents_test_station"),
                  {QString::number(broker.port()), QStringLiteral("door-2"), folder.filePath("pending"), "5"});
    ASSERT_TRUE(station.waitForReadyRead(10000));
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("/status"), 1, 10000));
    ASSERT_TRUE(desk.messages(QStringLiteral("/status"))[0].payload.value("online").toBool());

    kill(pid_t(station.processId()), SIGKILL);
    station.waitForFinished(5000);
    // The broker gives up on a silent client after one and a half keep-alive times (7.5 s).
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("/status"), 2, 15000));
    const DeskMessage will = desk.messages(QStringLiteral("/status"))[1];
    EXPECT_EQ(will.topic, "calidra/door-2/status");
    EXPECT_FALSE(will.payload.value("online").toBool());
    EXPECT_FALSE(will.payload.contains("time"));
}

TEST_F(SiteEventsTest, AlarmsOfABrokerOutageArriveInOrderOnceAlsoAcrossARestart) {
    TestBroker broker(folder.path());
    ASSERT_TRUE(broker.start());
    // A named desk keeps its session, so it misses nothing while the broker restarts.
    Desk desk(broker.port(), QStringLiteral("desk"));
    auto publisher = std::make_unique<SiteEventsPublisher>(settings(broker.port()));
    Reports reports(*publisher);
    publisher->start();
    ASSERT_TRUE(waitUntil([&] { return reports.isConnected(); }, 10000));
    publisher->alarmOn(episode(1, false));
    publisher->alarmOff(episode(1, true));
    publisher->alarmOn(episode(2, false));
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("/alarm"), 3, 10000));

    // The broker goes away during episode 2; the station goes on alarming.
    broker.stop();
    ASSERT_TRUE(waitUntil([&] { return !reports.isConnected(); }, 10000));
    publisher->alarmOff(episode(2, true));
    publisher->alarmOn(episode(3, false));
    publisher->alarmOff(episode(3, true));
    ASSERT_TRUE(broker.start());
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("/alarm"), 6, 15000));

    // Again, and this time the station is stopped, then one is killed, before the broker returns.
    broker.stop();
    ASSERT_TRUE(waitUntil([&] { return !reports.isConnected(); }, 10000));
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
    ASSERT_TRUE(waitUntil(
        [&] {
            QFile journal(settings(broker.port()).pendingAlarmsFile);
            return journal.open(QIODevice::ReadOnly) && journal.readAll().count("episode-5") == 2;
        },
        10000));
    kill(pid_t(station.processId()), SIGKILL);
    station.waitForFinished(5000);

    ASSERT_TRUE(broker.start());
    publisher = std::make_unique<SiteEventsPublisher>(settings(broker.port()));
    publisher->start();
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("/alarm"), 10, 15000));
    // Nothing more may follow: a second copy would arrive right behind the first.
    QThread::msleep(1000);
    EXPECT_EQ(alarmSequence(desk), QStringList({"on 1", "off 1", "on 2", "off 2", "on 3", "off 3", "on 4", "off 4",
                                                "on 5", "off 5"}));
    publisher.reset();
    PendingAlarmQueue left(settings(broker.port()).pendingAlarmsFile, 1000);
    ASSERT_TRUE(left.open());
    EXPECT_TRUE(left.messages().empty());
}

} // namespace
} // namespace calidra
