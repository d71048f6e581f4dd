// The connection's state machine on a scripted camera library and a clock moved by hand: every
// wait is the real one (1 s settle, 5 s search, 3 s silence, 2 s NUC window), none is slept.

#include "camera/camera_connection.h"

#include "testsupport/fake_camera_library.h"
#include "testsupport/fake_clock.h"

#include "svk.h"

#include <gtest/gtest.h>

namespace calidra {
namespace {

using test::FakeCameraLibrary;
using test::FakeCameraSpec;
using test::FakeClock;

struct Entry {
    LogType type;
    QString message;
    int code;
    int64_t atMs;
};

class RecordingLog : public LogSink {
public:
    explicit RecordingLog(FakeClock& clock) : clock_(clock) {}
    void WriteLog(LogType type, const QString& message, int code) override {
        entries.push_back({type, message, code, clock_.elapsedMs()});
    }
    std::vector<int64_t> times(const QString& message) const {
        std::vector<int64_t> found;
        for (const Entry& entry : entries)
            if (entry.message == message)
                found.push_back(entry.atMs);
        return found;
    }
    int count(const QString& message) const { return int(times(message).size()); }
    const Entry* find(const QString& message) const {
        for (const Entry& entry : entries)
            if (entry.message == message)
                return &entry;
        return nullptr;
    }
    std::vector<Entry> entries;

private:
    FakeClock& clock_;
};

class RecordingFrontEnd : public ConnectionFrontEnd {
public:
    double userOffsetCelsius() override { return offset; }
    int nucIntervalMs() override { return nucInterval; }
    void selectPalette(int index) override { palette = index; }
    void forceNormalMode() override { ++normalForced; }
    void setCameraEntries(const QStringList& list) override { entries = list; }
    void readoutDue() override { ++readouts; }
    void signalLost() override { ++signalsLost; }

    int signalsLost = 0;
    double offset = 0.0;
    int nucInterval = 120000;
    int palette = -2;
    int normalForced = 0;
    int readouts = 0;
    QStringList entries;
};

class CountingReceiver : public FrameReceiver {
public:
    explicit CountingReceiver(FakeClock& clock) : clock_(clock) {}
    void allocateBuffers(int width, int height) override {
        allocated = {width, height};
        ++allocations;
    }
    void processFrame(const CameraFrame&) override {
        ++frames;
        lastTick = clock_.nowMs();
    }
    void setNucRunning(bool running) override { nuc = running; }
    uint32_t lastFrameTick() const override { return lastTick; }
    void setLastFrameTick(uint32_t tick) override { lastTick = tick; }
    void cameraChanged(Camera* camera) override { current = camera; }

    std::pair<int, int> allocated{0, 0};
    int allocations = 0;
    int frames = 0;
    uint32_t lastTick = 0;
    bool nuc = false;
    Camera* current = nullptr;

private:
    FakeClock& clock_;
};

class CameraConnectionTest : public ::testing::Test {
protected:
    void start(std::vector<FakeCameraSpec> cameras = {FakeCameraSpec{}}) {
        library.cameras = std::move(cameras);
        ASSERT_EQ(connection.initialise(), 0);
    }
    // Time passes with the camera delivering ten frames a second while it acquires.
    void runWithFrames(int milliseconds) {
        for (int passed = 0; passed < milliseconds; passed += 100) {
            clock.advance(100);
            library.deliverFrame();
        }
    }
    static FakeCameraSpec camera(const char* label, const char* identity, int openResult = 0) {
        FakeCameraSpec spec;
        spec.label = label;
        spec.identity = identity;
        spec.openResult = openResult;
        return spec;
    }

    FakeClock clock;
    FakeCameraLibrary library{{}};
    RecordingLog log{clock};
    RecordingFrontEnd frontEnd;
    CountingReceiver receiver{clock};
    CameraConnection connection{library, frontEnd, receiver, log, ConnectionTimings{}, &clock};
};

TEST_F(CameraConnectionTest, FirstCameraFailsToOpenSecondIsConnected) {
    FakeCameraSpec second = camera("B", "1650B002");
    second.width = 80;
    second.height = 60;
    start({camera("A", "16F0A001", -7), second});
    EXPECT_EQ(frontEnd.entries, QStringList({"A: [16F0A001] KVX-384TRA", "B: [1650B002] KVX-384TRA"}));

    clock.advance(1000); // the first search
    const Entry* failed = log.find("svkOpen Failed");
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(failed->type, LogType::Error);
    EXPECT_EQ(failed->code, -7);
    EXPECT_FALSE(connection.connected());

    clock.advance(1000); // the wait after every open, whatever its result
    const Entry* hint =
        log.find("16F0A001 Camera open error. Use Tevacfg to verify that the IP address is set correctly.");
    ASSERT_NE(hint, nullptr);
    EXPECT_EQ(hint->type, LogType::Information);
    EXPECT_EQ(hint->code, -7);
    EXPECT_EQ(library.openLabel(), "B");
    EXPECT_FALSE(connection.connected());

    clock.advance(1000);
    EXPECT_TRUE(connection.connected());
    const Entry* connected = log.find("Camera connected: B [1650B002] KVX-384TRA");
    ASSERT_NE(connected, nullptr);
    EXPECT_EQ(connected->type, LogType::Information);
    EXPECT_EQ(frontEnd.signalsLost, 0); // the failed first camera was never connected
    EXPECT_EQ(receiver.allocated, std::make_pair(80, 60));
    EXPECT_EQ(receiver.current, connection.camera());
    EXPECT_EQ(library.calls(), (std::vector<std::string>{"initialise", "open A", "open B", "setUserOffset 0",
                                                         "imageSize", "setPixelFormat 110",
                                                         "setNucMode Manual", "setNucAutoPeriodicTime 60",
                                                         "setNucAutoTemperature 10", "setAcquisition 1"}));
    EXPECT_EQ(log.entries.size(), 3u);
}

TEST_F(CameraConnectionTest, CamerasThatDoNotQualifyAreListedButNeverOpened) {
    FakeCameraSpec wrongKind = camera("A", "16F0A001");
    wrongKind.kind = 1;
    start({wrongKind, camera("B", "1700B002"), camera("C", "16 0C003")});
    clock.advance(20000);
    EXPECT_FALSE(connection.connected());
    EXPECT_EQ(library.count("open A") + library.count("open B") + library.count("open C"), 0);
    EXPECT_TRUE(log.entries.empty());
    EXPECT_EQ(frontEnd.entries.size(), 3);

    // An installer's prefix lets a camera of another serial in; the kind still has to be 2.
    connection.setIdentityPrefixes(CameraConnection::identityPrefixesFromText(" 1700B, 16F0A001 "));
    clock.advance(6000);
    EXPECT_EQ(library.count("open B"), 1);
    EXPECT_EQ(library.count("open A"), 0);
    EXPECT_TRUE(connection.connected());
    EXPECT_EQ(CameraConnection::identityPrefixesFromText(" , "), CameraConnection::defaultIdentityPrefixes());
}

TEST_F(CameraConnectionTest, UnpluggedCameraIsReconnectedWithinTheSearchPeriod) {
    start();
    runWithFrames(2000);
    ASSERT_TRUE(connection.connected());

    library.unplug("SIM-A");
    clock.advance(0);
    EXPECT_FALSE(connection.connected());
    EXPECT_EQ(frontEnd.signalsLost, 1);
    EXPECT_EQ(log.count("Selected camera was unplugged."), 1);
    EXPECT_EQ(log.count("Device has been removed."), 1);
    EXPECT_TRUE(frontEnd.entries.isEmpty());
    EXPECT_EQ(library.openLabel(), "SIM-A"); // the stale camera stays open until the next open

    runWithFrames(7000);
    EXPECT_FALSE(connection.connected());
    library.plug("SIM-A");
    runWithFrames(5000 + 1000); // the next search, then the settle wait
    EXPECT_EQ(log.count("Device has been added."), 1);
    ASSERT_TRUE(connection.connected());
    EXPECT_EQ(library.count("close SIM-A"), 1); // closed before it was opened again
    EXPECT_EQ(library.count("open SIM-A"), 2);
    const int frames = receiver.frames;
    runWithFrames(1000);
    EXPECT_GT(receiver.frames, frames);
}

TEST_F(CameraConnectionTest, CameraUnpluggedWhileSettlingIsSearchedForAgain) {
    start();
    clock.advance(1500); // opened at 1 s, settling until 2 s
    library.unplug("SIM-A");
    clock.advance(500);
    EXPECT_FALSE(connection.connected());
    EXPECT_EQ(library.count("close SIM-A"), 1);
    EXPECT_EQ(library.count("setAcquisition 1"), 0);

    library.plug("SIM-A");
    runWithFrames(7000);
    EXPECT_TRUE(connection.connected());
    EXPECT_EQ(log.count("svkSetAcquisition Failed."), 0);
    EXPECT_EQ(log.count("Retry Acquisition."), 0);
}

TEST_F(CameraConnectionTest, StalledStreamIsRestartedNoFasterThanTheSilenceAllows) {
    start();
    runWithFrames(3000);
    ASSERT_TRUE(connection.connected());
    const int allocations = receiver.allocations;
    const int64_t stalledAtMs = clock.elapsedMs();
    clock.advance(11000); // no frames at all
    const std::vector<int64_t> retries = log.times("Retry Acquisition.");
    ASSERT_EQ(retries.size(), 3u); // at 3.5 s, 7 s and 10.5 s of silence: ticks of 500 ms
    EXPECT_GT(retries[0] - stalledAtMs, 3000);
    for (std::size_t index = 1; index < retries.size(); ++index)
        EXPECT_GE(retries[index] - retries[index - 1], 3000);
    EXPECT_EQ(frontEnd.signalsLost, 3);
    EXPECT_EQ(receiver.allocations, allocations + 3); // every restart runs the whole start again
    EXPECT_EQ(library.count("setAcquisition 0"), 3);

    runWithFrames(5000); // frames again: no more restarts
    EXPECT_EQ(log.count("Retry Acquisition."), 3);
}

TEST_F(CameraConnectionTest, PacketLossIsLoggedOncePerBandNotEveryWatchdogRound) {
    start();
    runWithFrames(3000);
    ASSERT_TRUE(connection.connected());
    const QString lossText =
        QStringLiteral(" incomplete frames dropped in the last minute: packet loss on the camera's network?");
    auto lossEntries = [&] {
        std::vector<Entry> found;
        for (const Entry& entry : log.entries)
            if (entry.message.endsWith(lossText))
                found.push_back(entry);
        return found;
    };
    library.incompleteFramesLastMinute = 4; // a few drops are no news
    runWithFrames(2000);
    EXPECT_TRUE(lossEntries().empty());

    library.incompleteFramesLastMinute = 12; // then every frame is lost: the watchdog restarts
    clock.advance(5500);
    library.incompleteFramesLastMinute = 60;
    clock.advance(5500);
    EXPECT_EQ(log.count("Retry Acquisition."), 3);
    ASSERT_EQ(lossEntries().size(), 1u);
    EXPECT_EQ(lossEntries()[0].type, LogType::Error);
    EXPECT_EQ(lossEntries()[0].message, "12" + lossText);

    library.incompleteFramesLastMinute = 150; // ten times worse: told once more
    clock.advance(4000);
    library.incompleteFramesLastMinute = 40; // better, yet not over
    clock.advance(4000);
    ASSERT_EQ(lossEntries().size(), 2u);
    EXPECT_EQ(lossEntries()[1].message, "150" + lossText);

    library.incompleteFramesLastMinute = 0;
    runWithFrames(5000);
    EXPECT_EQ(lossEntries().size(), 2u);
    const Entry* cleared = log.find("No incomplete frame in the last minute.");
    ASSERT_NE(cleared, nullptr);
    EXPECT_EQ(cleared->type, LogType::Information);
    EXPECT_EQ(log.count("No incomplete frame in the last minute."), 1);
}

TEST_F(CameraConnectionTest, FailedFirstStartIsRetriedOneSilenceAfterTheOpen) {
    library.results["setAcquisition"] = -9;
    start();
    clock.advance(2000);
    const Entry* failed = log.find("svkSetAcquisition Failed.");
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(failed->type, LogType::Error);
    EXPECT_EQ(failed->code, -9);
    EXPECT_FALSE(connection.nucTimerActive());

    clock.advance(8000);
    const std::vector<int64_t> retries = log.times("Retry Acquisition.");
    ASSERT_GE(retries.size(), 2u);
    EXPECT_GT(retries[0] - 1000, 3000); // counted from the open at 1 s
    for (std::size_t index = 1; index < retries.size(); ++index)
        EXPECT_GE(retries[index] - retries[index - 1], 3000);

    library.results.erase("setAcquisition");
    runWithFrames(4000);
    EXPECT_TRUE(library.acquiring());
    EXPECT_TRUE(connection.nucTimerActive());
}

TEST_F(CameraConnectionTest, NucRunsEveryIntervalAndPausesTheWatchdogForItsWindow) {
    start();
    runWithFrames(2000); // acquisition started at 2 s
    EXPECT_EQ(connection.nucTimerIntervalMs(), 120000);
    runWithFrames(119900);
    EXPECT_EQ(library.count("runNuc"), 0);
    runWithFrames(100);
    EXPECT_EQ(library.count("runNuc"), 1);
    EXPECT_TRUE(receiver.nuc);
    EXPECT_TRUE(connection.nucRunning());
    clock.advance(1900); // no frames during the window: the watchdog waits for it
    EXPECT_TRUE(receiver.nuc);
    clock.advance(100);
    EXPECT_FALSE(receiver.nuc);
    runWithFrames(120000);
    EXPECT_EQ(library.count("runNuc"), 2);
    EXPECT_EQ(log.count("Retry Acquisition."), 0);

    connection.SetNucInterval(0);
    EXPECT_FALSE(connection.nucTimerActive()); // off, not firing without pause
    frontEnd.nucInterval = -5;
    connection.StopAcquisition();
    connection.StartAcquisition();
    EXPECT_FALSE(connection.nucTimerActive());
}

TEST_F(CameraConnectionTest, DirectScaleModelGetsFormat104AndStillRunsNuc) {
    FakeCameraSpec direct;
    direct.model = "KVX-340TRA-X";
    frontEnd.nucInterval = 10000;
    start({direct});
    runWithFrames(12000);
    EXPECT_EQ(library.pixelFormat(), PixelFormat::Direct16);
    EXPECT_EQ(library.count("setNucMode Manual"), 0); // left on the camera's own automatic NUC
    EXPECT_EQ(library.count("runNuc"), 1);
}

TEST_F(CameraConnectionTest, OffsetNodeDecidesTheTemperatureModeAndTheOffsetSent) {
    frontEnd.offset = 0.7;
    FakeCameraSpec without = camera("A", "16F0A001");
    without.offersUserOffset = false;
    without.paletteIndex = 8;
    start({without});
    clock.advance(2000);
    ASSERT_TRUE(connection.connected());
    EXPECT_FALSE(connection.userCompensationSupported());
    EXPECT_EQ(frontEnd.normalForced, 1);
    EXPECT_EQ(frontEnd.palette, 8);
    EXPECT_EQ(library.count("setUserOffset 0.7"), 0);

    connection.shutdown();
    library.cameras = {camera("B", "16F0B002")};
    library.cameras[0].paletteIndex = -1;
    connection.initialise();
    clock.advance(2000);
    EXPECT_TRUE(connection.userCompensationSupported());
    EXPECT_EQ(frontEnd.normalForced, 1);
    EXPECT_EQ(frontEnd.palette, -1);
    EXPECT_EQ(library.userOffset(), 0.7);
}

TEST_F(CameraConnectionTest, FailingCameraCallsAreLoggedWithTheirResult) {
    library.results = {{"initialise", -7},
                       {"imageSize", -2},
                       {"setPixelFormat", -3},
                       {"setNucMode", -8},
                       {"setNucAutoPeriodicTime", -5},
                       {"setNucAutoTemperature", -5},
                       {"runNuc", -6}};
    frontEnd.nucInterval = 5000;
    library.cameras = {FakeCameraSpec{}};
    EXPECT_EQ(connection.initialise(), -7);
    runWithFrames(8000);
    EXPECT_TRUE(connection.connected());
    for (const auto& [message, code] : std::vector<std::pair<QString, int>>{{"svkGetImageSize Failed", -2},
                                                                            {"svkSetPixelFormat Failed", -3},
                                                                            {"svkSetNodeEnum Failed", -8},
                                                                            {"svkSetNodeCommand Failed", -6},
                                                                            {"svkInit Failed", -7}}) {
        const Entry* entry = log.find(message);
        ASSERT_NE(entry, nullptr) << message.toStdString();
        EXPECT_EQ(entry->type, LogType::Error);
        EXPECT_EQ(entry->code, code);
    }
    // A camera without automatic NUC nodes is not failing.
    EXPECT_EQ(log.find("svkSetNodeInt Failed"), nullptr);
    EXPECT_EQ(connection.StopAcquisition(), 0);
    library.results["setAcquisition"] = -4;
    EXPECT_EQ(connection.StartAcquisition(), -4);
}

TEST_F(CameraConnectionTest, ShutdownClosesTheCameraAndIgnoresLateNotifications) {
    start();
    runWithFrames(3000);
    ASSERT_TRUE(connection.connected());
    library.unplug("SIM-A"); // queued, not yet handed over
    connection.shutdown();
    clock.advance(1000);
    EXPECT_EQ(connection.camera(), nullptr);
    EXPECT_EQ(receiver.current, nullptr);
    EXPECT_FALSE(library.up());
    EXPECT_EQ(library.calls().back(), "shutdown");
    EXPECT_EQ(log.count("Selected camera was unplugged."), 0);
}

TEST_F(CameraConnectionTest, ACameraReportedUnpluggedLogsNoFailedStopOrNuc) {
    frontEnd.nucInterval = 5000;
    start();
    runWithFrames(3000);
    ASSERT_TRUE(connection.connected());
    library.results["setAcquisition"] = -4; // a camera that is there and fails: the operator reads it
    EXPECT_EQ(connection.StopAcquisition(), -4);
    const int nucs = library.count("runNuc");

    library.unplug("SIM-A");
    library.results["setAcquisition"] = SVK_ERROR_DEVICE_GONE;
    library.results["runNuc"] = SVK_ERROR_DEVICE_GONE;
    clock.advance(8000);                                            // past the NUC interval
    EXPECT_EQ(connection.StopAcquisition(), SVK_ERROR_DEVICE_GONE); // as the station stops
    connection.shutdown();

    ASSERT_EQ(log.count("svkSetAcquisition Failed."), 1);
    EXPECT_EQ(log.find("svkSetAcquisition Failed.")->code, -4);
    EXPECT_EQ(library.count("runNuc"), nucs);
    EXPECT_EQ(log.count("svkSetNodeCommand Failed"), 0);
}

} // namespace
} // namespace calidra
