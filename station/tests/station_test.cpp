// The station object on a scripted camera library and a clock moved by hand: what it tells its
// front ends, and what the operator's values do to the camera.

#include "station/station.h"

#include "alarmrecord/alarm_record.h"

#include "testsupport/fake_camera_library.h"
#include "testsupport/fake_clock.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
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
    // Nothing to read out before the first frame: not the 45.0 / -10.0 the pipeline starts with.
    EXPECT_EQ(readouts.large, "");
    EXPECT_EQ(readouts.maximum, "");
    EXPECT_EQ(readouts.minimum, "");
    station->values().chooseUnit(TemperatureUnit::Fahrenheit);

    store.writeInteger("NUCPeriod", 10);
    station->values().load();
    connect();
    runWithFrames(1000);
    EXPECT_EQ(readouts.maximum, "Max Temp. : 77.0 °F"); // the fake camera's 25.0 °C
    runWithFrames(9000);
    EXPECT_EQ(readouts.large, "NUC");
    EXPECT_EQ(readouts.maximum, "");
    clock.advance(2000);
    EXPECT_NE(readouts.maximum, "");

    FrameReadings person;
    person.personPresent = true;
    person.trackingCelsius = 38.2;
    EXPECT_EQ(formatReadouts(person, TemperatureUnit::Fahrenheit).large, "100.8 °F");
    EXPECT_EQ(formatReadouts(person, TemperatureUnit::Celsius).large, "38.2 °C");
}

TEST_F(StationTest, TemperaturesReadTheSameAtTheFirstStartAsAfterSwitchingBack) {
    started();
    connect();
    runWithFrames(1000);
    const Readouts atStart = readouts;
    const QString labelAtStart = station->values().unitLabel();
    QSignalSpy refusals(&station->values(), &OperatorValuesModel::entryRefused);
    station->values().setFieldText(Field::AlarmTemperature, "3");
    EXPECT_EQ(atStart.maximum, "Max Temp. : 25.0 °C");
    EXPECT_EQ(labelAtStart, "°C");

    station->values().chooseUnit(TemperatureUnit::Fahrenheit);
    station->values().chooseUnit(TemperatureUnit::Celsius);
    runWithFrames(1000);
    station->values().setFieldText(Field::AlarmTemperature, "3");
    EXPECT_EQ(readouts.maximum, atStart.maximum);
    EXPECT_EQ(readouts.minimum, atStart.minimum);
    EXPECT_EQ(station->values().unitLabel(), labelAtStart);
    ASSERT_EQ(refusals.count(), 2);
    EXPECT_TRUE(refusals.at(0).at(1).toString().contains("30.0 °C"))
        << qPrintable(refusals.at(0).at(1).toString());
    EXPECT_EQ(refusals.at(1).at(1), refusals.at(0).at(1));
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
    EXPECT_EQ(station->values().mode(), TemperatureMode::Normal);
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
    station->values().chooseMode(TemperatureMode::Manual); // it has no measurement
    EXPECT_FALSE(station->pipeline().measuring());
}

// An answer that comes after its measurement was ended by a mode without one applies nothing.
TEST_F(StationTest, AHeldOffsetEndsWithItsMeasurement) {
    store.writeInteger("TemperatureMode", 1);
    started();
    QSignalSpy held(station.get(), &Station::measuredOffsetHeld);
    station->startMeasurement();
    station->host().offsetMeasured("1.2");
    QCoreApplication::processEvents();
    ASSERT_EQ(held.count(), 1);
    EXPECT_EQ(station->heldOffsetText(), "1.2");
    station->values().chooseMode(TemperatureMode::Manual);
    station->confirmMeasuredOffset("1.2");
    EXPECT_EQ(station->values().fieldText(Field::UserOffset), "0.0");
    EXPECT_EQ(station->values().offsetInForceCelsius(), 0.0);
}

// Release builds too: a slot called from a thread other than the station's stops the program
// with the call's name instead of racing with the station's timers.
TEST_F(StationTest, ACallFromAnotherThreadStopsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    started();
    EXPECT_DEATH(
        {
            std::thread other([this] { station->startMeasurement(); });
            other.join();
        },
        "Station::startMeasurement.* must run on its owner's thread");
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
    // Text that is no interval is refused: the one in force stays, NUC is not switched off.
    for (const char* refused : {"off", "5", "3000000"}) {
        EXPECT_FALSE(station->values().setFieldText(Field::NucInterval, refused));
        station->values().applyNucInterval();
        EXPECT_EQ(station->connection().nucTimerIntervalMs(), 30000) << refused;
    }
    station->values().setFieldText(Field::NucInterval, "0");
    station->values().applyNucInterval();
    EXPECT_FALSE(station->connection().nucTimerActive());
}

TEST_F(StationTest, StoredAlarmTemperatureOutsideItsLimitsGivesTheDefaultWithOneErrorEntry) {
    store.writeDouble("AlarmTemperature", 0.0); // every person would alarm at the nearest limit
    started();
    station->start(); // the live view starts it on each initial update
    EXPECT_EQ(station->host().operatorSettings().frame.alarmCelsius, 37.5);
    EXPECT_EQ(store.readDouble("AlarmTemperature", 0.0), 37.5);
    QStringList errors;
    for (int row = 0; row < log.model().rowCount(); ++row)
        if (log.model().entry(row).type == LogType::Error)
            errors << log.model().entry(row).message;
    ASSERT_EQ(errors.size(), 1) << errors.join('\n').toStdString();
    EXPECT_EQ(errors.at(0),
              "Stored AlarmTemperature \"0\" is outside its limits (30 to 40); 37.5 is used instead.");
}

// The alarm's entries in the log, as the pane shows them.
QStringList alarmEntries(const EventLog& log) {
    QStringList entries;
    for (int row = 0; row < log.model().rowCount(); ++row)
        if (log.model().entry(row).message.startsWith("Alarm o"))
            entries << log.model().index(row, EventLogModel::MessageColumn).data().toString();
    return entries;
}

// A person at 38.5 °C standing in the middle of the fake camera's picture.
uint16_t feverishPerson(int x, int y) {
    return x >= 150 && x < 200 && y >= 80 && y < 230 ? uint16_t(1385) : uint16_t(1250);
}

TEST_F(StationTest, LostCameraEndsTheAlarmAtOnceAndScreeningResumesWithItsFrames) {
    library.cameras[0].codeAt = feverishPerson;
    store.writeInteger("AlarmEvent", 1);
    store.writeInteger("AlarmSavePeriod", 1);
    std::vector<CameraSignal> signalsSeen;
    started();
    QObject::connect(station.get(), &Station::cameraSignalChanged,
                     [&](CameraSignal signal) { signalsSeen.push_back(signal); });
    QSignalSpy alarms(station.get(), &Station::alarmChanged);
    QSignalSpy snapshots(station.get(), &Station::snapshotSaved);
    EXPECT_EQ(station->cameraSignal(), CameraSignal::Searching);
    connect();
    runWithFrames(2500);
    ASSERT_EQ(alarms.count(), 1);
    EXPECT_TRUE(alarms.at(0).at(0).toBool());
    EXPECT_EQ(readouts.large, "38.5 °C");
    EXPECT_GE(snapshots.count(), 1);

    library.unplug("SIM-A");
    clock.advance(0);
    QCoreApplication::processEvents(); // the alarm's end crosses from the pipeline's host
    ASSERT_EQ(alarms.count(), 2);
    EXPECT_FALSE(alarms.at(1).at(0).toBool());
    EXPECT_EQ(station->cameraSignal(), CameraSignal::Lost);
    EXPECT_EQ(readouts.large, "");
    EXPECT_EQ(readouts.maximum, "");
    const int snapshotsBefore = snapshots.count();
    runWithFrames(3000);
    EXPECT_EQ(snapshots.count(), snapshotsBefore);

    library.plug("SIM-A");
    runWithFrames(7000); // the next search, the settle wait, then frames again
    EXPECT_EQ(station->cameraSignal(), CameraSignal::Live);
    ASSERT_EQ(alarms.count(), 3);
    EXPECT_TRUE(alarms.at(2).at(0).toBool());
    EXPECT_EQ(readouts.large, "38.5 °C");

    clock.advance(3500); // silent past the watchdog's limit
    ASSERT_EQ(alarms.count(), 4);
    EXPECT_FALSE(alarms.at(3).at(0).toBool());
    EXPECT_EQ(signalsSeen, (std::vector<CameraSignal>{CameraSignal::Live, CameraSignal::Lost,
                                                      CameraSignal::Live, CameraSignal::Lost}));
    EXPECT_EQ(log.model().entry(0).message, "Camera connected: SIM-A [16F0A001] KVX-384TRA");
    station->stop();
    QCoreApplication::processEvents();
    EXPECT_EQ(alarms.count(), 4) << "an alarm the lost camera ended is not ended again";
    EXPECT_EQ(alarmEntries(log),
              QStringList({"Alarm on: 38.5 °C", "Alarm off", "Alarm on: 38.5 °C", "Alarm off"}));
}

TEST_F(StationTest, TheStationsEndEndsAnAlarmStillOnExactlyOnce) {
    library.cameras[0].codeAt = feverishPerson;
    started();
    station->values().chooseUnit(TemperatureUnit::Fahrenheit);
    QSignalSpy alarms(station.get(), &Station::alarmChanged);
    connect();
    runWithFrames(1500);
    QCoreApplication::processEvents();
    ASSERT_EQ(alarms.count(), 1);
    station->stop();
    station->stop();
    QCoreApplication::processEvents();
    ASSERT_EQ(alarms.count(), 2);
    EXPECT_FALSE(alarms.at(1).at(0).toBool());
    EXPECT_EQ(alarmEntries(log), QStringList({"Alarm on: 101.3 °F", "Alarm off"}));
}

TEST_F(StationTest, MeasuredOffsetAndAMissingIpToolAreLogged) {
    qputenv("CALIDRA_IP_TOOL", folder.filePath("no-such-tool").toUtf8());
    store.writeInteger("TemperatureMode", 1);
    started();
    station->launchIpTool();
    std::thread frameThread([&] {
        station->host().offsetMeasured("0.8");
        station->host().offsetMeasured("25.0");
    });
    frameThread.join();
    QCoreApplication::processEvents();
    qunsetenv("CALIDRA_IP_TOOL");
    QStringList messages;
    for (int row = 0; row < log.model().rowCount(); ++row)
        if (log.model().entry(row).type == LogType::Information)
            messages << log.model().entry(row).message;
    EXPECT_EQ(messages, QStringList({"IP Setting: no IP tool at " + folder.filePath("no-such-tool") +
                                         " (CALIDRA_IP_TOOL names another).",
                                     "Offset in force changed from 0.0 °C to 0.8 °C (measured).",
                                     "Measured offset 0.8 °C: applied.",
                                     "Measured offset 25.0 °C: outside ±20.0 °C, not applied."}));
    EXPECT_EQ(station->values().fieldText(Field::UserOffset), "0.8");
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

// A station killed while writing a snapshot leaves "<name>.XXXXXX" behind; the next start removes
// its own such files once they are a minute old, and nothing else.
TEST_F(StationTest, StartRemovesOnlyItsOwnLeftoverTemporaryFiles) {
    ASSERT_TRUE(QDir(folder.path()).mkpath("ThermalAlarm"));
    ASSERT_TRUE(QDir(folder.path()).mkpath("Zonara"));
    const auto leave = [this](const QString& name, int ageSeconds) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                                     QFileDevice::FileModificationTime));
    };
    const QStringList removed{"ThermalAlarm/ThermalAlarm_20261025_020000.jpg.Ab3dE9",
                              "ThermalAlarm/ThermalAlarm_20261025_020000-2.jpg.x7Yz01",
                              "Zonara/snapshot.jpg.Zz99zz"};
    const QStringList kept{"ThermalAlarm/ThermalAlarm_20261025_020001.jpg.Qw12er", // may still be written
                           "ThermalAlarm/ThermalAlarm_20261025_020002.jpg",
                           "ThermalAlarm/alarms.sqlite.Ab3dE9", "ThermalAlarm/holiday.jpg.Ab3dE9",
                           "Zonara/maskinfo.cfg.Zz99zz"};
    for (const QString& name : removed)
        leave(name, 120);
    for (const QString& name : kept)
        leave(name, name.contains("020001") ? 10 : 120);
    started();
    for (const QString& name : removed)
        EXPECT_FALSE(QFile::exists(folder.filePath(name))) << name.toStdString();
    for (const QString& name : kept)
        EXPECT_TRUE(QFile::exists(folder.filePath(name))) << name.toStdString();
}

} // namespace
} // namespace calidra
