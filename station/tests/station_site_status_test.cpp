// What a desk reads of the station's camera through a real broker on 127.0.0.1 while the camera
// runs, stalls, runs again and is unplugged: the state the screen shows, in the order it changed.

#include "station/station.h"

#include "settings/settings_store.h"
#include "testsupport/fake_camera_library.h"
#include "testsupport/fake_clock.h"

#include "test_broker.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace calidra {
namespace {

using test::Desk;
using test::DeskMessage;
using test::TestBroker;
using test::waitFor;

// A person at 38.5 °C standing in the middle of the fake camera's picture.
uint16_t feverishPerson(int x, int y) {
    return x >= 150 && x < 200 && y >= 80 && y < 230 ? uint16_t(1385) : uint16_t(1250);
}

TEST(StationSiteStatusTest, TheDeskSeesTheScreensCameraStateAndNothingStaleAfterAChange) {
    QTemporaryDir folder;
    ASSERT_TRUE(QDir(folder.path()).mkpath("broker"));
    TestBroker broker(folder.filePath("broker"));
    ASSERT_TRUE(broker.start());
    Desk desk(broker.port());
    QFile file(folder.filePath("Calidra.conf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("[Settings]\nMqttHost=127.0.0.1\nMqttPort=%1\nStationName=door-9\n"
                              "AlarmEvent=1\nAlarmSavePeriod=1\n")
                   .arg(broker.port())
                   .toUtf8());
    file.close();
    SettingsStore store(file.fileName());
    EventLog log;
    log.setStationUp(true);
    test::FakeCameraLibrary library;
    test::FakeClock clock;
    StationOptions options;
    options.programFolder = folder.path();
    options.cameraLibrary = &library;
    options.clock = &clock;
    Station station(store, log, options);

    const auto statuses = [&] { return desk.messages(QStringLiteral("door-9/status")); };
    const auto statusArrives = [&](const char* camera, bool alarm) {
        return waitFor([&] {
            const std::vector<DeskMessage> all = statuses();
            return !all.empty() && all.back().payload.value("camera") == camera &&
                   all.back().payload.value("alarm") == alarm;
        });
    };
    const auto runWithFrames = [&](int milliseconds) {
        for (int passed = 0; passed < milliseconds; passed += 100) {
            clock.advance(100);
            library.deliverFrame();
        }
    };

    station.start();
    ASSERT_TRUE(statusArrives("searching", false)); // the broker has the station before the camera
    clock.advance(2000);
    ASSERT_TRUE(station.connection().connected());
    runWithFrames(1500);
    library.cameras[0].codeAt = feverishPerson;
    runWithFrames(2500);
    ASSERT_TRUE(statusArrives("connected", true));

    clock.advance(3500); // silent past the watchdog's limit: the screen says there is no signal
    ASSERT_EQ(station.cameraSignal(), CameraSignal::Lost);
    ASSERT_TRUE(statusArrives("stalled", false));
    EXPECT_EQ(statuses().back().payload.value("fps").toDouble(), 0.0) << "no frame rate while stalled";

    runWithFrames(2500);
    ASSERT_TRUE(statusArrives("connected", true));
    library.unplug("SIM-A");
    clock.advance(0);
    ASSERT_TRUE(statusArrives("searching", false));

    // Each change once, and no status names the camera's earlier state after it changed: the
    // alarm that a stall or an unplug ends goes out with the new state.
    // The day's counts, once there, ride along with every status.
    QStringList changes;
    bool counted = false;
    for (const DeskMessage& status : statuses()) {
        EXPECT_TRUE(!counted || status.payload.contains("peopleToday")) << changes.join(", ").toStdString();
        counted = counted || status.payload.contains("peopleToday");
        const QString change = QStringLiteral("%1 %2").arg(
            status.payload.value("camera").toString(),
            status.payload.value("alarm").toBool() ? QStringLiteral("alarm") : QStringLiteral("quiet"));
        if (changes.isEmpty() || changes.back() != change)
            changes << change;
    }
    while (!changes.isEmpty() && !changes.front().startsWith("connected"))
        changes.removeFirst();
    EXPECT_EQ(changes.join(", ").toStdString(),
              "connected quiet, connected alarm, stalled alarm, stalled quiet, "
              "connected alarm, searching alarm, searching quiet");

    station.stop(); // a clean stop says offline itself, with the fields of the last will
    ASSERT_TRUE(waitFor([&] { return !statuses().back().payload.value("online").toBool(); }));
    const QJsonObject offline = statuses().back().payload;
    EXPECT_EQ(offline.value("station"), "door-9");
    EXPECT_EQ(offline.value("camera"), "unknown");
}

} // namespace
} // namespace calidra
