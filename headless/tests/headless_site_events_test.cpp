// What a security desk reads from the real calidra-headless through a real mosquitto broker on
// 127.0.0.1, for a station named in Korean: the alarm of a feverish person, the retained status,
// an unplugged camera, and the broker's last will when the station is killed; and what Home
// Assistant reads of it with mosquitto's own client: its discovery configs and the alarm picture.

#include "headless_process.h"

#include "test_broker.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>

#include <signal.h>

#include <map>

namespace calidra {
namespace {

using test::Desk;
using test::DeskMessage;
using test::HeadlessStationTest;
using test::TestBroker;
using test::waitFor;

TEST_F(HeadlessStationTest, TheDeskSeesTheAlarmTheCameraAndAKilledStation) {
    ASSERT_TRUE(QDir(folder.path()).mkpath("broker"));
    TestBroker broker(folder.filePath("broker"));
    ASSERT_TRUE(broker.start());
    Desk desk(broker.port());
    ASSERT_TRUE(waitFor([&] { return desk.connections() > 0; }));

    writeSettings(
        QString("AlarmEvent=1\nAlarmSavePeriod=1\nMqttHost=127.0.0.1\nMqttPort=%1\nStationName=정문-7\n")
            .arg(broker.port())
            .toUtf8());
    // The person stays; the camera is unplugged during the alarm, which ends it there.
    start(R"({ "cameras": [ { "width": 160, "height": 120, "fps": 15,
              "people": [ { "enter": 2.5, "leave": 60, "temperature": 38.2,
                            "from": [0.5, 0.55], "to": [0.5, 0.55], "height": 0.7 } ],
              "events": [ { "at": 7.0, "unplug": true } ] } ] })",
          {});

    ASSERT_TRUE(desk.waitForCount(QStringLiteral("정문-7/alarm"), 1));
    const DeskMessage on = desk.messages(QStringLiteral("정문-7/alarm")).front();
    EXPECT_TRUE(on.payload["alarm"].toBool());
    EXPECT_DOUBLE_EQ(on.payload["highestCelsius"].toDouble(), 38.2);
    EXPECT_EQ(on.payload["snapshots"].toArray().size(), 1);
    {
        Desk late(broker.port()); // comes during the alarm: the broker kept the last status for it
        ASSERT_TRUE(late.waitForCount(QStringLiteral("정문-7/status"), 1));
        const DeskMessage status = late.messages(QStringLiteral("정문-7/status")).front();
        EXPECT_TRUE(status.retained);
        EXPECT_TRUE(status.payload["online"].toBool());
        EXPECT_EQ(status.payload["camera"].toString(), "connected");
        EXPECT_EQ(status.payload["identity"].toString(), "16F0A001");
        EXPECT_TRUE(status.payload["alarm"].toBool());
    }

    // The desk knows of the unplug within 10 s of the station's own report of it.
    const auto lastStatus = [&] {
        const std::vector<DeskMessage> statuses = desk.messages(QStringLiteral("정문-7/status"));
        return statuses.empty() ? QJsonObject() : statuses.back().payload;
    };
    const int unplugged = waitForLine("LOG\t", 0, "\tSelected camera was unplugged.\t");
    ASSERT_GE(unplugged, 0);
    EXPECT_TRUE(waitFor([&] { return lastStatus()["camera"].toString() == "searching"; }));
    EXPECT_LT(Clock::now() - received[std::size_t(unplugged)].arrived, std::chrono::seconds(10));
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("정문-7/alarm"), 2));
    const DeskMessage off = desk.messages(QStringLiteral("정문-7/alarm")).back();
    EXPECT_FALSE(off.payload["alarm"].toBool());
    EXPECT_EQ(off.payload["start"], on.payload["start"]);
    EXPECT_DOUBLE_EQ(off.payload["highestCelsius"].toDouble(), 38.2);
    EXPECT_FALSE(off.payload["end"].toString().isEmpty());
    EXPECT_FALSE(lastStatus()["alarm"].toBool());
    ASSERT_GE(waitForLine("ALARM\tOFF"), 0);
    // The person in view when the camera went is finished as they stood, once, and counted.
    ASSERT_TRUE(desk.waitForCount(QStringLiteral("정문-7/person"), 1));
    const DeskMessage person = desk.messages(QStringLiteral("정문-7/person")).front();
    EXPECT_FALSE(person.retained);
    EXPECT_EQ(person.payload["number"].toInt(), 1);
    EXPECT_DOUBLE_EQ(person.payload["readingCelsius"].toDouble(), 38.2);
    EXPECT_EQ(person.payload["result"].toString(), "alarm");
    EXPECT_TRUE(waitFor([&] { return lastStatus()["peopleToday"].toInt() == 1; }));
    EXPECT_EQ(lastStatus()["alarmsToday"].toInt(), 1);
    EXPECT_EQ(off.payload["snapshots"].toArray().size(), linesStartingWith("SNAPSHOT\t").size());
    bool unplugLogged = false;
    for (const DeskMessage& entry : desk.messages(QStringLiteral("정문-7/log")))
        unplugLogged =
            unplugLogged || entry.payload["message"].toString() == "Selected camera was unplugged.";
    EXPECT_TRUE(unplugLogged);

    ::kill(pid_t(process.processId()), SIGKILL);
    ASSERT_TRUE(process.waitForFinished(10000));
    // The broker's last will, within 1.5 times the keep-alive of 30 s (a killed process's socket
    // closes at once, so it comes sooner).
    ASSERT_TRUE(waitFor([&] { return lastStatus().contains("online") && !lastStatus()["online"].toBool(); },
                        std::chrono::seconds(45)));
    EXPECT_FALSE(lastStatus().contains("time")) << "published by the broker, not by the station";
}

// Messages read with mosquitto_sub: topic, tab, payload (the payload's own newlines kept).
std::map<QString, QByteArray> subscribe(int port, const QString& topic, int count,
                                        const QStringList& extra = {}) {
    QProcess client;
    client.start("mosquitto_sub",
                 QStringList{"-h", "127.0.0.1", "-p", QString::number(port), "-t", topic, "-C",
                             QString::number(count), "-W", "15", "-N", "-F", "%t\t%p\x1e"} +
                     extra);
    client.waitForFinished(20000);
    std::map<QString, QByteArray> messages;
    for (const QByteArray& message : client.readAllStandardOutput().split('\x1e')) {
        const int tab = message.indexOf('\t');
        if (tab > 0)
            messages[QString::fromUtf8(message.left(tab))] = message.mid(tab + 1);
    }
    return messages;
}

// The payload of one message, byte for byte.
QByteArray readOne(int port, const QString& topic) {
    QProcess client;
    client.start("mosquitto_sub", {"-h", "127.0.0.1", "-p", QString::number(port), "-t", topic, "-C", "1",
                                   "-W", "15", "-N", "-F", "%p"});
    client.waitForFinished(20000);
    return client.readAllStandardOutput();
}

TEST_F(HeadlessStationTest, HomeAssistantFindsTheStationAndTheAlarmPicture) {
    if (QStandardPaths::findExecutable("mosquitto_sub").isEmpty())
        GTEST_SKIP() << "mosquitto_sub (mosquitto-clients) is needed to read what Home Assistant reads";
    ASSERT_TRUE(QDir(folder.path()).mkpath("broker"));
    TestBroker broker(folder.filePath("broker"));
    ASSERT_TRUE(broker.start());
    writeSettings(
        QString("AlarmEvent=1\nAlarmSavePeriod=1\nMqttHost=127.0.0.1\nMqttPort=%1\nStationName=정문 7\n"
                "DeskVideoUrl=http://door-7.local:8080/calidra.mjpg\nHomeAssistantPrefix=ha/\n")
            .arg(broker.port())
            .toUtf8());
    start(R"({ "cameras": [ { "width": 160, "height": 120, "fps": 15,
              "people": [ { "enter": 1.0, "leave": 60, "temperature": 38.2,
                            "from": [0.5, 0.55], "to": [0.5, 0.55], "height": 0.7 } ] } ] })",
          {});

    // Retained, so a Home Assistant that starts later finds them.
    const std::map<QString, QByteArray> configs = subscribe(broker.port(), "ha/#", 5);
    const QString node = "calidra__ec_a0_95_eb_ac_b8_207";
    const QString station = "calidra/정문 7";
    const auto config = [&](const QString& topic) {
        const auto found = configs.find(topic);
        return found == configs.end() ? QJsonObject() : QJsonDocument::fromJson(found->second).object();
    };
    const QJsonObject alarm = config("ha/binary_sensor/" + node + "/fever_alarm/config");
    const QJsonObject reading = config("ha/sensor/" + node + "/last_reading/config");
    const QJsonObject picture = config("ha/image/" + node + "/snapshot/config");
    const QJsonObject people = config("ha/sensor/" + node + "/people_today/config");
    const QJsonObject alarms = config("ha/sensor/" + node + "/alarms_today/config");
    ASSERT_FALSE(alarm.isEmpty() || reading.isEmpty() || picture.isEmpty() || people.isEmpty() ||
                 alarms.isEmpty())
        << configs.size() << " configs";
    EXPECT_EQ(people["name"], "People today");
    EXPECT_EQ(people["value_template"], "{{ value_json.peopleToday }}");
    EXPECT_EQ(alarms["state_topic"], station + "/status");
    EXPECT_EQ(alarm["name"], "Fever alarm");
    EXPECT_EQ(alarm["device_class"], "heat");
    EXPECT_EQ(alarm["state_topic"], station + "/status");
    EXPECT_EQ(reading["name"], "Last reading");
    EXPECT_EQ(reading["device_class"], "temperature");
    EXPECT_EQ(reading["unit_of_measurement"], "°C");
    EXPECT_EQ(reading["state_topic"], station + "/alarm");
    EXPECT_EQ(picture["image_topic"], station + "/snapshot");
    EXPECT_EQ(picture["content_type"], "image/jpeg");
    QStringList uniqueIds;
    for (const QJsonObject& entity : {alarm, reading, picture, people, alarms}) {
        uniqueIds << entity["unique_id"].toString();
        EXPECT_TRUE(entity["value_template"].isString() || entity.contains("image_topic"));
        const QJsonObject device = entity["device"].toObject();
        EXPECT_EQ(device["identifiers"].toArray(), QJsonArray{node});
        EXPECT_EQ(device["name"], "정문 7");
        EXPECT_FALSE(device["model"].toString().isEmpty());
        const QJsonObject availability = entity["availability"].toArray().at(0).toObject();
        EXPECT_EQ(availability["topic"], station + "/status");
        EXPECT_EQ(availability["payload_available"], "online");
        EXPECT_EQ(availability["payload_not_available"], "offline");
        EXPECT_TRUE(availability["value_template"].toString().contains("value_json.online"));
    }
    uniqueIds.removeDuplicates();
    EXPECT_EQ(uniqueIds.size(), 5);
    EXPECT_TRUE(uniqueIds.first().startsWith(node));

    // The alarm's first snapshot, as the raw JPEG the station saved, kept for late readers.
    ASSERT_GE(waitForLine("SNAPSHOT\t"), 0);
    const QImage decoded = QImage::fromData(readOne(broker.port(), station + "/snapshot"), "JPEG");
    EXPECT_EQ(decoded.width(), 160);
    EXPECT_GT(decoded.height(), 120); // the caption band below the picture
    EXPECT_EQ(QJsonDocument::fromJson(readOne(broker.port(), station + "/status"))["video"],
              "http://door-7.local:8080/calidra.mjpg");

    // Home Assistant says it has (re)started: the configs come again, to the listeners of now.
    QProcess fresh;
    fresh.start("mosquitto_sub", {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-t",
                                  "ha/+/+/+/config", "-R", "-C", "5", "-W", "15", "-F", "%t"});
    ASSERT_TRUE(fresh.waitForStarted());
    // It may speak before the listener is subscribed, so it speaks until the listener has heard.
    for (int attempt = 0; attempt < 30 && fresh.state() != QProcess::NotRunning; ++attempt) {
        QProcess::execute("mosquitto_pub", {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-t",
                                            "ha/status", "-m", "online"});
        fresh.waitForFinished(300);
    }
    fresh.waitForFinished(20000);
    EXPECT_EQ(fresh.readAllStandardOutput().count("/config"), 5);
    EXPECT_TRUE(endStation());
}

} // namespace
} // namespace calidra
