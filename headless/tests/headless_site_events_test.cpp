// What a security desk reads from the real calidra-headless through a real mosquitto broker on
// 127.0.0.1, for a station named in Korean: the alarm of a feverish person, the retained status,
// an unplugged camera, and the broker's last will when the station is killed.

#include "headless_process.h"

#include "test_broker.h"

#include <QJsonArray>

#include <signal.h>

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

} // namespace
} // namespace calidra
