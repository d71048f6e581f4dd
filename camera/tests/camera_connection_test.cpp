#include "camera/camera_connection.h"

#include "camera/monotonic_tick.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>

namespace calidra {
namespace {

QCoreApplication& application() {
    static int argc = 1;
    static char name[] = "camera_connection_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

struct Entry {
    LogType type;
    QString message;
    int code;
    qint64 atMs; // since the log was made
};

class RecordingLog : public LogSink {
public:
    RecordingLog() { clock.start(); }
    void WriteLog(LogType type, const QString& message, int code) override {
        entries.push_back({type, message, code, clock.elapsed()});
    }
    std::vector<qint64> times(const QString& message) const {
        std::vector<qint64> found;
        for (const Entry& entry : entries)
            if (entry.message == message)
                found.push_back(entry.atMs);
        return found;
    }
    int count(const QString& message) const {
        int found = 0;
        for (const Entry& entry : entries)
            found += entry.message == message ? 1 : 0;
        return found;
    }
    const Entry* find(const QString& message) const {
        for (const Entry& entry : entries)
            if (entry.message == message)
                return &entry;
        return nullptr;
    }
    std::vector<Entry> entries;
    QElapsedTimer clock;
};

class RecordingFrontEnd : public ConnectionFrontEnd {
public:
    void setReadouts(const QString& large, const QString& maximum, const QString& minimum) override {
        largeText = large;
        maximumText = maximum;
        minimumText = minimum;
        if (large == "NUC")
            ++nucReadouts;
    }
    bool showsFahrenheit() override { return fahrenheit; }
    QString unitLabelText() override { return unit; }
    QString offsetFieldText() override { return offset; }
    QString nucIntervalText() override { return nucInterval; }
    void selectPalette(int index) override { palette = index; }
    void forceNormalMode() override { ++normalForced; }
    void setCameraEntries(const QStringList& list) override { entries = list; }

    bool fahrenheit = false;
    QString unit = "C";
    QString offset = "0.0";
    QString nucInterval = "120";
    QString largeText, maximumText, minimumText;
    int nucReadouts = 0;
    int palette = -2;
    int normalForced = 0;
    QStringList entries;
};

class CountingReceiver : public FrameReceiver {
public:
    void allocateBuffers(int width, int height) override {
        allocated = {width, height};
        ++allocations;
    }
    void processFrame(const SvkFrameRecord*) override {
        ++frames;
        lastTick.store(monotonicClock());
    }
    void setNucRunning(bool running) override {
        nuc.store(running);
        nucChanges.fetch_add(1);
    }
    uint32_t lastFrameTick() const override { return lastTick.load(); }
    void setLastFrameTick(uint32_t tick) override { lastTick.store(tick); }
    double frameMaxTemperature() const override { return 45.0; }
    double frameMinTemperature() const override { return -10.0; }
    double trackingTemperature() const override { return 38.2; }
    bool personPresent() const override { return present; }

    static uint32_t monotonicClock();

    std::pair<int, int> allocated{0, 0};
    int allocations = 0;
    std::atomic<int> frames{0};
    std::atomic<uint32_t> lastTick{0};
    std::atomic<bool> nuc{false};
    std::atomic<int> nucChanges{0};
    bool present = false;
};

uint32_t CountingReceiver::monotonicClock() {
    return monotonicTickMs();
}

ConnectionTimings fastTimings() {
    ConnectionTimings timings;
    timings.connectFirstMs = 20;
    timings.connectRepeatMs = 100;
    timings.openWaitMs = 20;
    timings.readoutMs = 20;
    timings.watchdogSilenceMs = 300;
    timings.nucWindowMs = 100;
    timings.millisecondsPerSecond = 1; // "120" seconds become 120 ms
    return timings;
}

class CameraConnectionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { application(); }
    ~CameraConnectionTest() override {
        connection.reset();
        ::unsetenv("SORVIK_SIM_SCENARIO");
    }

    void startWith(const std::string& cameras, ConnectionTimings timings = fastTimings()) {
        const std::string path = folder.filePath("scenario.json").toStdString();
        std::ofstream(path) << "{ \"cameras\": [" << cameras << "] }";
        ::setenv("SORVIK_SIM_SCENARIO", path.c_str(), 1);
        connection = std::make_unique<CameraConnection>(frontEnd, receiver, log, timings);
        ASSERT_EQ(connection->initialise(), 0);
    }
    template <typename Condition> bool runUntil(Condition condition, int timeoutMs = 5000) {
        QElapsedTimer waited;
        waited.start();
        while (!condition() && waited.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return condition();
    }
    bool connected() const { return connection->connected(); }
    int nucModeIndex() const {
        auto record = std::make_unique<SvkEnumRecord>();
        std::memset(record.get(), 0, sizeof *record);
        record->capacity = SVK_ENUM_CAPACITY;
        if (svkGetNodeEnum(connection->handle(), "NUCMode", record.get()) != SVK_OK)
            return -1;
        return record->currentIndex;
    }
    void runFor(int milliseconds) {
        runUntil([] { return false; }, milliseconds);
    }

    QTemporaryDir folder;
    RecordingLog log;
    RecordingFrontEnd frontEnd;
    CountingReceiver receiver;
    std::unique_ptr<CameraConnection> connection;
};

TEST_F(CameraConnectionTest, FirstCameraFailsToOpenSecondIsConnected) {
    startWith(R"({ "label": "A", "identity": "16F0A001", "openResult": -7, "width": 64, "height": 48 },
                 { "label": "B", "identity": "1650B002", "width": 80, "height": 60 })");
    ASSERT_TRUE(runUntil([&] { return connection->connected() && receiver.frames > 3; }));
    const Entry* failed = log.find("svkOpen Failed");
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(failed->type, LogType::Error);
    EXPECT_EQ(failed->code, -7);
    const Entry* hint =
        log.find("16F0A001 Camera open error. Use Tevacfg to verify that the IP address is set correctly.");
    ASSERT_NE(hint, nullptr);
    EXPECT_EQ(hint->type, LogType::Information);
    EXPECT_EQ(hint->code, -7);
    EXPECT_EQ(receiver.allocated, std::make_pair(80, 60));
    EXPECT_EQ(frontEnd.entries.size(), 2);
    EXPECT_TRUE(frontEnd.entries[1].startsWith("B: [1650B002] "));
    int format = 0;
    svkGetPixelFormat(connection->handle(), &format);
    EXPECT_EQ(format, 110);
    EXPECT_EQ(nucModeIndex(), 1); // "Manual"
}

TEST_F(CameraConnectionTest, CamerasThatDoNotQualifyAreListedButNeverOpened) {
    startWith(R"({ "label": "A", "kind": 1, "identity": "16F0A001", "openResult": -3 },
                 { "label": "B", "identity": "1700B002", "openResult": -3 })");
    runFor(400);
    EXPECT_FALSE(connection->connected());
    EXPECT_EQ(log.count("svkOpen Failed"), 0);
    EXPECT_TRUE(log.entries.empty());
    EXPECT_EQ(frontEnd.entries.size(), 2);
}

TEST_F(CameraConnectionTest, UnpluggedCameraIsReconnectedWhenItComesBack) {
    startWith(
        R"({ "identity": "16F0A001", "events": [ { "at": 0.5, "unplug": true }, { "at": 1.0, "plug": true } ] })");
    ASSERT_TRUE(runUntil([&] { return connection->connected(); }));
    ASSERT_TRUE(runUntil([&] { return log.count("Selected camera was unplugged.") == 1; }));
    EXPECT_FALSE(connection->connected());
    EXPECT_TRUE(frontEnd.entries.isEmpty());
    EXPECT_TRUE(runUntil([&] { return log.count("Device has been removed.") == 1; }));
    ASSERT_TRUE(
        runUntil([&] { return connection->connected() && log.count("Device has been added.") == 1; }));
    const int framesBefore = receiver.frames;
    EXPECT_TRUE(runUntil([&] { return receiver.frames > framesBefore + 3; }));
}

TEST_F(CameraConnectionTest, CameraUnpluggedWhileSettlingIsSearchedForAgain) {
    ConnectionTimings timings = fastTimings();
    timings.openWaitMs = 400; // the unplug at 0.15 s falls into the wait after the open
    startWith(
        R"({ "identity": "16F0A001", "events": [ { "at": 0.15, "unplug": true }, { "at": 0.6, "plug": true } ] })",
        timings);
    ASSERT_TRUE(runUntil([&] { return log.count("Selected camera was unplugged.") == 1; }));
    ASSERT_TRUE(runUntil([&] { return connected() && receiver.frames > 3; }));
    EXPECT_EQ(log.count("svkSetAcquisition Failed."), 0);
    EXPECT_EQ(log.count("Retry Acquisition."), 0);
}

TEST_F(CameraConnectionTest, StalledStreamIsRestartedNoFasterThanTheSilenceAllows) {
    startWith(R"({ "identity": "16F0A001", "events": [ { "at": 0.3, "stallFor": 1.5 } ] })");
    ASSERT_TRUE(runUntil([&] { return connection->connected(); }));
    ASSERT_TRUE(runUntil([&] { return log.count("Retry Acquisition.") >= 1; }));
    runFor(700);
    // 1.5 s of silence with a 0.3 s watchdog: a few restarts, each at least 0.3 s apart.
    EXPECT_GE(log.count("Retry Acquisition."), 1);
    EXPECT_LE(log.count("Retry Acquisition."), 6);
    EXPECT_GE(receiver.allocations, 2); // every restart runs the whole start again
}

TEST_F(CameraConnectionTest, FailingAcquisitionStartIsLoggedWithItsCode) {
    startWith(R"({ "identity": "16F0A001", "acquisitionResult": -9 })");
    ASSERT_TRUE(runUntil([&] { return log.count("svkSetAcquisition Failed.") >= 1; }));
    const Entry* failed = log.find("svkSetAcquisition Failed.");
    EXPECT_EQ(failed->type, LogType::Error);
    EXPECT_EQ(failed->code, -9);
    EXPECT_FALSE(connection->nucTimerActive());
    // The watchdog keeps trying while connected, first one silence after the open, then no
    // faster than one silence apart.
    ASSERT_TRUE(runUntil([&] { return log.count("Retry Acquisition.") >= 3; }));
    const std::vector<qint64> retries = log.times("Retry Acquisition.");
    EXPECT_GE(retries[0] - log.times("svkSetAcquisition Failed.").front(), 250);
    for (std::size_t i = 1; i < retries.size(); ++i)
        EXPECT_GE(retries[i] - retries[i - 1], 290);
}

TEST_F(CameraConnectionTest, PeriodicNucRunsAndTheReadoutShowsIt) {
    startWith(R"({ "identity": "16F0A001" })");
    ASSERT_TRUE(runUntil([&] { return connection->connected(); }));
    EXPECT_EQ(connection->nucTimerIntervalMs(), 120);
    ASSERT_TRUE(runUntil([&] { return receiver.nuc.load(); }));
    EXPECT_TRUE(runUntil([&] { return frontEnd.nucReadouts > 0; }));
    EXPECT_TRUE(runUntil([&] { return !receiver.nuc.load(); }));

    connection->SetNucInterval(0);
    EXPECT_FALSE(connection->nucTimerActive()); // off, not firing without pause
}

TEST_F(CameraConnectionTest, NucIntervalFieldWithoutAUsablePeriod) {
    ConnectionTimings timings = fastTimings();
    timings.millisecondsPerSecond = 1000;
    frontEnd.nucInterval = "3000000"; // 34 days in milliseconds does not fit an int
    startWith(R"({ "identity": "16F0A001" })", timings);
    ASSERT_TRUE(runUntil([&] { return connection->connected(); }));
    EXPECT_TRUE(connection->nucTimerActive());
    EXPECT_EQ(connection->nucTimerIntervalMs(), INT_MAX);

    for (const char* text : {"0", "none", ""}) {
        frontEnd.nucInterval = text;
        connection->StopAcquisition();
        connection->StartAcquisition();
        EXPECT_FALSE(connection->nucTimerActive()) << text;
    }
}

TEST_F(CameraConnectionTest, DirectScaleModelGetsFormat104AndStillRunsNuc) {
    startWith(R"({ "identity": "16F0A001", "model": "KVX-340TRA-X" })");
    ASSERT_TRUE(runUntil([&] { return connection->connected(); }));
    int format = 0;
    svkGetPixelFormat(connection->handle(), &format);
    EXPECT_EQ(format, 104);
    EXPECT_EQ(nucModeIndex(), 0); // left on the camera's own automatic NUC
    EXPECT_TRUE(runUntil([&] { return receiver.nucChanges > 0; }));
}

TEST_F(CameraConnectionTest, OffsetNodeDecidesTheTemperatureMode) {
    frontEnd.offset = "0.7";
    startWith(R"({ "identity": "16F0A001", "offsetNode": false })");
    ASSERT_TRUE(runUntil([&] { return connection->connected(); }));
    EXPECT_FALSE(connection->userCompensationSupported());
    EXPECT_EQ(frontEnd.normalForced, 1);
    EXPECT_GE(frontEnd.palette, 0);
}

TEST_F(CameraConnectionTest, OffsetIsSentToACameraThatOffersTheNode) {
    frontEnd.offset = "0.7";
    startWith(R"({ "identity": "16F0A001" })");
    ASSERT_TRUE(runUntil([&] { return connection->connected(); }));
    EXPECT_TRUE(connection->userCompensationSupported());
    EXPECT_EQ(frontEnd.normalForced, 0);
    SvkFloatRecord offset{};
    ASSERT_EQ(svkGetNodeFloat(connection->handle(), "UserCompensationParaB", &offset), 0);
    EXPECT_DOUBLE_EQ(offset.value, 0.7);
}

TEST_F(CameraConnectionTest, ReadoutsInTheShownUnit) {
    startWith(R"({ "identity": "16F0A001", "present": false })");
    EXPECT_EQ(frontEnd.largeText, "");
    EXPECT_EQ(frontEnd.maximumText, "Max Temp. : 45.0 C");
    EXPECT_EQ(frontEnd.minimumText, "Min Temp. : -10.0 C");
    frontEnd.fahrenheit = true;
    frontEnd.unit = "℉";
    receiver.present = true;
    ASSERT_TRUE(runUntil([&] { return frontEnd.largeText == "100.8 ℉"; }));
    EXPECT_EQ(frontEnd.maximumText, "Max Temp. : 113.0 ℉");
}

TEST_F(CameraConnectionTest, ShutdownClosesTheCameraWhileFramesArrive) {
    startWith(R"({ "identity": "16F0A001", "fps": 120 })");
    ASSERT_TRUE(runUntil([&] { return receiver.frames > 10; }));
    connection->shutdown();
    const int frames = receiver.frames;
    runFor(100);
    EXPECT_EQ(receiver.frames, frames);
    EXPECT_EQ(connection->handle(), nullptr);
}

} // namespace
} // namespace calidra
