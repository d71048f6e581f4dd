// The station object on a scripted camera library and a clock moved by hand: what it tells its
// front ends, and what the operator's values do to the camera.

#include "station/station.h"

#include "alarmrecord/alarm_record.h"

#include "testsupport/fake_camera_library.h"
#include "testsupport/fake_clock.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

namespace calidra {
namespace {

using Field = OperatorValuesModel::Field;
using List = OperatorValuesModel::List;

class StationTest : public ::testing::Test {
protected:
    StationTest() {
        log.setStationUp(true);
        options.programFolder = folder.path();
        options.cameraLibrary = &library;
        options.clock = &clock;
    }
    Station& started() {
        station = std::make_unique<Station>(store, log, options);
        QObject::connect(station.get(), &Station::readoutsChanged,
                         [this](const Readouts& shown) { readouts = shown; });
        station->start();
        return *station;
    }
    // Time passes with the camera delivering ten frames a second while it acquires.
    void runWithFrames(int milliseconds) {
        for (int passed = 0; passed < milliseconds; passed += 100) {
            clock.advance(100);
            library.deliverFrame();
        }
    }
    void connect() {
        clock.advance(2000);
        ASSERT_TRUE(station->connection().connected());
    }

    QTemporaryDir folder;
    SettingsStore store{folder.filePath("Calidra.conf")};
    EventLog log;
    test::FakeCameraLibrary library;
    test::FakeClock clock;
    StationOptions options;
    std::unique_ptr<Station> station;
    Readouts readouts;
};

TEST_F(StationTest, ReadoutsInTheShownUnitAndDuringNuc) {
    started();
    EXPECT_EQ(readouts.large, "");
    EXPECT_EQ(readouts.maximum, "Max Temp. : 45.0 C");
    EXPECT_EQ(readouts.minimum, "Min Temp. : -10.0 C");
    station->values().select(List::Unit, 1);
    clock.advance(500);
    EXPECT_EQ(readouts.maximum, "Max Temp. : 113.0 ℉");

    store.writeInteger("NUCPeriod", 10);
    station->values().load();
    connect();
    runWithFrames(10000);
    EXPECT_EQ(readouts.large, "NUC");
    EXPECT_EQ(readouts.maximum, "");
    clock.advance(2000);
    EXPECT_NE(readouts.maximum, "");

    FrameReadings person;
    person.personPresent = true;
    person.trackingCelsius = 38.2;
    EXPECT_EQ(formatReadouts(person, TemperatureUnit::Fahrenheit, "℉").large, "100.8 ℉");
    EXPECT_EQ(formatReadouts(person, TemperatureUnit::Celsius, "C").large, "38.2 C");
}

TEST_F(StationTest, CameraStateAndListFollowTheConnection) {
    std::vector<CameraState> states;
    started();
    QObject::connect(station.get(), &Station::cameraStateChanged,
                     [&](const CameraState& state) { states.push_back(state); });
    EXPECT_EQ(station->cameraState().status, CameraState::Status::Searching);
    EXPECT_EQ(station->cameraEntries(), QStringList({"SIM-A: [16F0A001] KVX-384TRA"}));
    connect();
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.back().status, CameraState::Status::Connected);
    EXPECT_EQ(states.back().label, "SIM-A");
    EXPECT_EQ(states.back().identity, "16F0A001");
    EXPECT_EQ(states.back().model, "KVX-384TRA");

    library.unplug("SIM-A");
    clock.advance(0);
    EXPECT_EQ(states.back().status, CameraState::Status::Searching);
    EXPECT_TRUE(station->cameraEntries().isEmpty());
    station->stop();
    EXPECT_EQ(states.back().status, CameraState::Status::None);
}

TEST_F(StationTest, OperatorValuesReachTheCameraOnlyWhenItTakesThem) {
    store.writeInteger("TemperatureMode", 2);
    started();
    station->values().setFieldText(Field::UserOffset, "1.5"); // no camera yet
    station->choosePalette(8);
    EXPECT_EQ(library.count("setPalette Jet"), 0);
    EXPECT_EQ(station->host().operatorSettings().paletteNumber, 8);

    connect();
    EXPECT_EQ(library.userOffset(), 1.5); // the field's value, sent when the camera opened
    station->values().setFieldText(Field::UserOffset, "1.7");
    EXPECT_EQ(library.userOffset(), 1.7);
    EXPECT_DOUBLE_EQ(store.readDouble("UserOffset", 0.0), 1.7);
    station->choosePalette(8);
    EXPECT_EQ(library.count("setPalette Jet"), 1);

    library.results["setPalette"] = -5;
    station->choosePalette(3);
    EXPECT_EQ(log.model().entry(log.model().rowCount() - 1).message, "svkSetNodeEnum Failed");
}

TEST_F(StationTest, CameraWithoutTheOffsetNodeLocksNormalModeAndTakesNoOffset) {
    library.cameras[0].offersUserOffset = false;
    library.cameras[0].paletteIndex = 4;
    store.writeInteger("TemperatureMode", 2);
    started();
    connect();
    EXPECT_EQ(station->values().selection(List::Mode), 0);
    EXPECT_FALSE(station->values().modeListEnabled());
    EXPECT_EQ(station->values().selection(List::Palette), 4);
    EXPECT_EQ(store.readInteger("TemperatureMode", -1), 2); // locked, not stored
    station->values().setFieldText(Field::UserOffset, "2.0");
    EXPECT_EQ(library.count("setUserOffset 2"), 0);
}

TEST_F(StationTest, MeasurementEndsWithTheOffsetInTheFieldOrItsTimeOut) {
    started();
    QSignalSpy measured(station.get(), &Station::offsetMeasured);
    station->startMeasurement();
    EXPECT_TRUE(station->pipeline().measuring());
    EXPECT_TRUE(station->measurementTimerActive());
    std::thread frameThread([&] { station->host().offsetMeasured("0.8"); });
    frameThread.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(station->values().fieldText(Field::UserOffset), "0.8");
    EXPECT_FALSE(station->measurementTimerActive());
    ASSERT_EQ(measured.count(), 1);

    station->startMeasurement();
    station->values().select(List::Mode, 2); // Manual has no measurement
    EXPECT_FALSE(station->pipeline().measuring());
}

TEST_F(StationTest, AlarmsAndSnapshotsFromTheFrameThreadAreSignalledOnTheStationsOwn) {
    started();
    QSignalSpy alarms(station.get(), &Station::alarmChanged);
    QSignalSpy snapshots(station.get(), &Station::snapshotSaved);
    std::thread frameThread([&] {
        station->host().alarmChanged(true);
        station->host().snapshotSaved("/x/ThermalAlarm_1.jpg", 38.5);
    });
    frameThread.join();
    EXPECT_EQ(alarms.count(), 0); // queued
    QCoreApplication::processEvents();
    ASSERT_EQ(alarms.count(), 1);
    EXPECT_TRUE(alarms.at(0).at(0).toBool());
    ASSERT_EQ(snapshots.count(), 1);
    EXPECT_EQ(snapshots.at(0).at(0).toString(), "/x/ThermalAlarm_1.jpg");
    EXPECT_EQ(snapshots.at(0).at(1).toDouble(), 38.5);
}

TEST_F(StationTest, AppliedNucIntervalRestartsTheNucTimerAndIsStored) {
    started();
    connect();
    EXPECT_EQ(station->connection().nucTimerIntervalMs(), 120000);
    station->values().setFieldText(Field::NucInterval, "30");
    station->values().applyNucInterval();
    EXPECT_EQ(station->connection().nucTimerIntervalMs(), 30000);
    EXPECT_EQ(store.readInteger("NUCPeriod", 0), 30);
    station->values().setFieldText(Field::NucInterval, "off");
    station->values().applyNucInterval();
    EXPECT_FALSE(station->connection().nucTimerActive());
    station->values().setFieldText(Field::NucInterval, "3000000"); // 34 days: saturates, stays on
    station->values().applyNucInterval();
    EXPECT_EQ(station->connection().nucTimerIntervalMs(), 2147483647);
}

// What the station reads at start-up for its record, its disk and its cameras; a short disk is
// told once an hour however many pictures it costs.
TEST_F(StationTest, RecordDiskAndCameraSettingsAreTakenAtStartAndAShortDiskIsToldHourly) {
    store.writeInteger("AlarmMinFreeMB", 2000000000);
    store.writeInteger("CameraIdentityPrefixes", 1700);
    started();
    ASSERT_NE(station->alarmRecord(), nullptr);
    EXPECT_EQ(station->alarmRecord()->alarmFolder(), folder.filePath("ThermalAlarm"));
    EXPECT_EQ(station->siteEvents(), nullptr) << "no broker configured";
    EXPECT_EQ(station->connection().identityPrefixes(), QStringList{"1700"});

    QSignalSpy entries(station.get(), &Station::logEntryAdded);
    const auto shortOfRoom = [&] {
        std::thread frameThread([&] {
            for (int picture = 0; picture < 3; ++picture)
                EXPECT_FALSE(station->host().roomForSnapshot());
        });
        frameThread.join();
        QCoreApplication::processEvents();
    };
    shortOfRoom();
    ASSERT_EQ(entries.count(), 1);
    const LogEntry told = entries.at(0).at(0).value<LogEntry>();
    EXPECT_EQ(told.type, LogType::Error);
    EXPECT_TRUE(told.message.startsWith("Alarm snapshots are not saved: less than 2000000000 MB free"));
    clock.advance(59 * 60 * 1000);
    shortOfRoom();
    EXPECT_EQ(entries.count(), 1);
    clock.advance(60 * 1000);
    shortOfRoom();
    EXPECT_EQ(entries.count(), 2);

    station->stop();
    EXPECT_EQ(station->alarmRecord(), nullptr);
}

TEST_F(StationTest, LogEntriesAreSignalled) {
    started();
    QSignalSpy entries(station.get(), &Station::logEntryAdded);
    library.unplug("SIM-A");
    clock.advance(0);
    ASSERT_GE(entries.count(), 1);
    EXPECT_EQ(entries.at(0).at(0).value<LogEntry>().message, "Device has been removed.");
}

} // namespace
} // namespace calidra
