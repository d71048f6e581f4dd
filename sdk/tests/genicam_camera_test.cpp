// The GenICam provider over the real protocol: the thermal test camera and
// Aravis's fake camera as child processes on loopback addresses, read through
// the C contract. Run in a network namespace of its own where the machine allows.
#include "genicam_test_support.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cstring>

// Counts every socket of this process allowed to broadcast (the test program exports this over the C
// library's own): the library may allow that only when told to discover.
std::atomic<int> broadcastsAllowed{0};

extern "C" int setsockopt(int socketFd, int level, int name, const void* value, socklen_t length) {
    using Function = int (*)(int, int, int, const void*, socklen_t);
    static const auto next = reinterpret_cast<Function>(dlsym(RTLD_NEXT, "setsockopt"));
    if (level == SOL_SOCKET && name == SO_BROADCAST && value != nullptr && length >= socklen_t(sizeof(int)) &&
        *static_cast<const int*>(value) != 0) {
        ++broadcastsAllowed;
    }
    return next(socketFd, level, name, value, length);
}

namespace {

using calidra::test::waitFor;
using genicamtest::CameraProcess;
using genicamtest::Observer;

// How long a caller waits for a camera's answer: generous, so that a machine slowed down by
// sanitizers never takes a live camera for gone; short where the wait itself is under test.
constexpr int kGenerousAnswerWaitMs = 30000;
constexpr int kShortAnswerWaitMs = 300;
// A camera that dies or comes back is noticed at the next listing: soon, in these tests.
constexpr int kListPeriodMs = 200;

// A still person at 38.2 degrees on a 22 degree background without noise.
const char* kPersonScene = R"({ "cameras": [ { "width": 160, "height": 120, "fps": 30, "noise": 0,
    "label": "Door 1", "model": "KVX-384TRA",
    "people": [ { "enter": 0, "leave": 100000, "temperature": 38.2, "from": [0.5, 0.5], "to": [0.5, 0.5] } ] } ] })";

const char* kThermalProfile = R"({ "match": { "vendor": "Calidra" },
    "features": [ ["PixelFormat", "Mono16"], ["IRFormat", "TemperatureLinear10mK"] ],
    "kelvinPerCount": 0.01, "nucCommand": "NUCAction" })";

class GenicamCameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/genicam_camera_test.XXXXXX";
        folder_ = ::mkdtemp(pattern);
        const char* runtime = std::getenv("CALIDRA_RUNTIME_DIR");
        cameraProgram_ = std::string(runtime != nullptr ? runtime : "bin") + "/thermal-gige-camera";
        ::unsetenv("SORVIK_SIM_SCENARIO");
    }
    void TearDown() override {
        svkUninit();
        ::unsetenv("SORVIK_CONFIG");
        std::system(("rm -rf '" + folder_ + "'").c_str());
    }

    std::string writeFile(const std::string& name, const std::string& content) {
        const std::string path = folder_ + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    bool startThermalCamera(CameraProcess& camera, const std::string& scenario,
                            std::vector<std::string> options = {}) {
        std::vector<std::string> command = {cameraProgram_, "--scenario",
                                            writeFile("scenario.json", scenario)};
        command.insert(command.end(), options.begin(), options.end());
        const auto option = std::find(command.begin(), command.end(), "--address");
        const std::string address = option != command.end() ? *(option + 1) : "127.0.0.1";
        // Ready once it says so: it serves before its vendor and model are filled in, and a camera
        // listed meanwhile matches no profile.
        return camera.start(command, address, folder_ + "/camera.log", " frames/s, on " + address + "\n");
    }

    // Only unicast to the addresses given; never discovery.
    int startLibrary(const std::string& addresses, const std::string& profiles, bool simulator = false,
                     int answerWaitMs = kGenerousAnswerWaitMs) {
        const std::string timings = ", \"answerWaitMilliseconds\": " + std::to_string(answerWaitMs) +
                                    ", \"listPeriodMilliseconds\": " + std::to_string(kListPeriodMs);
        ::setenv("SORVIK_CONFIG",
                 writeFile("SorvikC.json", std::string("{ \"simulator\": ") + (simulator ? "true" : "false") +
                                               ", \"genicam\": { \"addresses\": [" + addresses +
                                               "], \"discover\": false, \"cameras\": [" + profiles + "]" +
                                               timings + " } }")
                     .c_str(),
                 1);
        const int result = svkInit();
        svkSetDeviceCheckCallback(&Observer::onDeviceCheck, &observer_);
        return result;
    }

    std::vector<SvkCameraInfo> camerasOnceThere(int expected) {
        std::vector<SvkCameraInfo> records;
        waitFor([&] {
            int count = 0;
            return svkGetCameraCount(&count) == 0 && count >= expected;
        });
        int count = 0;
        svkGetCameraCount(&count);
        records.resize(std::size_t(std::max(count, 0)));
        if (count > 0) {
            EXPECT_EQ(svkGetCameraInfo(records.data(), count), 0);
        }
        return records;
    }

    SvkHandle openAndStream(const SvkCameraInfo& record, int format, bool startAgainWhenLate = false) {
        SvkHandle handle = nullptr;
        EXPECT_EQ(svkOpen(record.openKey, &handle, 0), 0);
        observer_.clearFrames(format);
        EXPECT_EQ(svkSetPixelFormat(handle, format), 0);
        EXPECT_EQ(svkSetFrameCallback(handle, &Observer::onFrame, &observer_), 0);
        EXPECT_EQ(svkSetUnplugCallback(handle, &Observer::onUnplug, &observer_), 0);
        if (startAgainWhenLate) {
            // Under a short answer wait a slow machine may answer the start late: the library then
            // undoes it, and it is asked again once the late answer is in, as the station's watchdog does.
            EXPECT_TRUE(waitFor([&] { return svkSetAcquisition(handle, 1) == 0; }));
        } else {
            EXPECT_EQ(svkSetAcquisition(handle, 1), 0);
        }
        return handle;
    }

    bool framesArrive(std::size_t count) {
        return observer_.waitUntil([&] { return observer_.frames.size() >= count; });
    }

    std::string folder_;
    std::string cameraProgram_;
    Observer observer_;
    // Members, so that they outlive the library's shutdown in TearDown: a library
    // letting go of cameras that no longer answer waits for their time-outs.
    CameraProcess camera_;
    CameraProcess secondCamera_;
};

std::size_t countOf(const std::vector<uint16_t>& codes, uint16_t code) {
    return std::size_t(std::count(codes.begin(), codes.end(), code));
}

} // namespace

TEST_F(GenicamCameraTest, TemperaturesArriveInEachFormatWithTheNodesTheLibraryKeeps) {
    ASSERT_TRUE(startThermalCamera(camera_, kPersonScene));
    ASSERT_EQ(startLibrary("\"127.0.0.1\"", kThermalProfile, /*simulator=*/true), 0);
    auto records = camerasOnceThere(2);
    ASSERT_EQ(records.size(), 2u);
    // GenICam cameras first, the simulated one last.
    EXPECT_STREQ(records[0].identity, "16F0B001");
    EXPECT_STREQ(records[0].label, "Door 1");
    EXPECT_STREQ(records[0].model, "KVX-384TRA");
    EXPECT_EQ(records[0].kind, 2);
    EXPECT_STREQ(records[1].identity, "16F0A001");

    SvkHandle handle = openAndStream(records[0], SVK_PIXEL_FORMAT_DIRECT16);
    SvkHandle second = nullptr;
    EXPECT_NE(svkOpen(records[0].openKey, &second, 0), 0) << "one session per camera";
    SvkImageSize size{};
    ASSERT_EQ(svkGetImageSize(handle, &size), 0);
    EXPECT_EQ(size.width, 160);
    EXPECT_EQ(size.height, 120);
    struct Case {
        int format;
        uint16_t face, background;
    };
    for (const Case& c :
         {Case{SVK_PIXEL_FORMAT_DIRECT16, 382, 220}, Case{SVK_PIXEL_FORMAT_RGB_CODE32, 1382, 1220},
          Case{SVK_PIXEL_FORMAT_OFFSET16, 1382, 1220}}) {
        SCOPED_TRACE(c.format);
        ASSERT_EQ(svkSetAcquisition(handle, 0), 0);
        observer_.clearFrames(c.format);
        ASSERT_EQ(svkSetPixelFormat(handle, c.format), 0);
        ASSERT_EQ(svkSetAcquisition(handle, 1), 0);
        ASSERT_TRUE(framesArrive(2));
        const auto frame = observer_.newestFrame();
        ASSERT_EQ(frame.size(), 160u * 120u);
        EXPECT_EQ(*std::max_element(frame.begin(), frame.end()), c.face) << "the face is the warmest";
        EXPECT_GE(countOf(frame, c.face), 81u) << "at least 9 x 9 pixels of the face";
        EXPECT_EQ(frame[0], c.background);
    }

    // The offset is the library's own: it shifts every code of the following frames.
    SvkNodeInfo info{};
    info.nodeType = -1, info.accessMode = 5, info.visibility = -1;
    ASSERT_EQ(svkGetNodeInfo(handle, "UserCompensationParaB", &info), 0);
    EXPECT_EQ(info.accessMode, 4);
    ASSERT_EQ(svkSetNodeFloat(handle, "UserCompensationParaB", 0.5), 0);
    observer_.clearFrames(SVK_PIXEL_FORMAT_OFFSET16);
    ASSERT_TRUE(framesArrive(2));
    EXPECT_GE(countOf(observer_.newestFrame(), 1387), 81u);

    // The palette is kept for the library's own picture, drawn as the simulator draws it.
    SvkEnumRecord palettes{};
    palettes.capacity = SVK_ENUM_CAPACITY;
    ASSERT_EQ(svkSetNodeEnum(handle, "ImageColorPalette", "Jet"), 0);
    ASSERT_EQ(svkGetNodeEnum(handle, "ImageColorPalette", &palettes), 0);
    EXPECT_EQ(palettes.currentIndex, 8);
    std::vector<unsigned char> picture(160 * 120 * 3);
    EXPECT_EQ(svkGetRGBData(handle, picture.data(), int(picture.size())), 0);
    EXPECT_NE(std::count(picture.begin(), picture.end(), 0), std::ptrdiff_t(picture.size()));

    // "NUCManualRun" runs the profile's command: the camera's shutter flattens the picture briefly.
    ASSERT_EQ(svkGetNodeInfo(handle, "NUCManualRun", &info), 0);
    observer_.clearFrames(SVK_PIXEL_FORMAT_OFFSET16);
    ASSERT_EQ(svkSetNodeCommand(handle, "NUCManualRun"), 0);
    // Each new frame is looked at once, however many came before this thread woke: a flat one, then
    // the face again.
    std::size_t looked = 0;
    bool flat = false;
    EXPECT_TRUE(observer_.waitUntil([&] {
        for (; looked < observer_.frames.size(); ++looked) {
            const std::size_t face = countOf(observer_.frames[looked], 1387);
            if (flat && face >= 81) {
                return true;
            }
            flat = flat || face == 0;
        }
        return false;
    })) << (flat ? "the face did not come back" : "no flat frame");
    // Features of the camera pass through; names it does not have are unknown.
    EXPECT_EQ(svkSetNodeEnum(handle, "NUCMode", "Manual"), SVK_ERROR_UNKNOWN_NODE);
    EXPECT_EQ(svkSetNodeEnum(handle, "IRFormat", "TemperatureLinear10mK"), 0);
    EXPECT_EQ(svkClose(handle), 0);
}

TEST_F(GenicamCameraTest, CloseWaitsForTheRunningCallbackAndWorksFromInsideIt) {
    ASSERT_TRUE(startThermalCamera(camera_, kPersonScene));
    ASSERT_EQ(startLibrary("\"127.0.0.1\"", kThermalProfile), 0);
    auto records = camerasOnceThere(1);
    ASSERT_EQ(records.size(), 1u);
    static std::atomic<int> inside{0}, calls{0};
    static SvkHandle handle = nullptr;
    ASSERT_EQ(svkOpen(records[0].openKey, &handle, 0), 0);
    auto slow = [](const SvkFrameRecord*, void*) {
        inside = 1;
        ++calls;
        // A slow callback: the close must wait for it.
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        inside = 0;
    };
    ASSERT_EQ(svkSetFrameCallback(handle, slow, nullptr), 0);
    ASSERT_EQ(svkSetAcquisition(handle, 1), 0);
    ASSERT_TRUE(waitFor([] { return inside.load() == 1; }));
    ASSERT_EQ(svkClose(handle), 0);
    EXPECT_EQ(inside.load(), 0) << "close returned while a callback ran";
    const int afterClose = calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // six frames' time in which none may come
    EXPECT_EQ(calls.load(), afterClose);

    // Closing from the callback itself must neither wait for itself nor leave anything behind.
    calls = 0;
    ASSERT_EQ(svkOpen(records[0].openKey, &handle, 0), 0);
    auto closing = [](const SvkFrameRecord*, void*) {
        if (calls++ == 0) {
            svkClose(handle);
        }
    };
    ASSERT_EQ(svkSetFrameCallback(handle, closing, nullptr), 0);
    ASSERT_EQ(svkSetAcquisition(handle, 1), 0);
    ASSERT_TRUE(waitFor([] { return calls.load() > 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // six frames' time in which none may come
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(svkSetAcquisition(handle, 1), SVK_ERROR_INVALID_HANDLE);
    // And the camera is free again for the next session.
    ASSERT_TRUE(waitFor([&] { return svkOpen(records[0].openKey, &handle, 0) == 0; }));
}

TEST_F(GenicamCameraTest, ACameraThatDiesIsUnpluggedAndComesBackWhenItAnswersAgain) {
    ASSERT_TRUE(startThermalCamera(camera_, kPersonScene));
    ASSERT_EQ(startLibrary("\"127.0.0.1\"", kThermalProfile), 0);
    auto records = camerasOnceThere(1);
    ASSERT_EQ(records.size(), 1u);
    SvkHandle handle = openAndStream(records[0], SVK_PIXEL_FORMAT_RGB_CODE32);
    ASSERT_TRUE(framesArrive(2));
    std::size_t seen;
    {
        std::lock_guard<std::mutex> lock(observer_.mutex);
        seen = observer_.deviceChecks.size(); // the first "added" may have come before the callback was set
    }

    camera_.stop(SIGKILL);
    const auto killed = std::chrono::steady_clock::now();
    ASSERT_TRUE(observer_.waitUntil(
        [&] { return observer_.unplugs == 1 && observer_.deviceChecks.size() == seen + 1; }));
    EXPECT_LT(std::chrono::steady_clock::now() - killed, std::chrono::seconds(10));
    EXPECT_NE(observer_.deviceChecks[seen], 0) << "removed";
    int count = -1;
    EXPECT_EQ(svkGetCameraCount(&count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(svkSetAcquisition(handle, 1), SVK_ERROR_DEVICE_GONE) << "the handle is stale";

    ASSERT_TRUE(startThermalCamera(camera_, kPersonScene));
    ASSERT_TRUE(observer_.waitUntil([&] { return observer_.deviceChecks.size() == seen + 2; }));
    EXPECT_EQ(observer_.deviceChecks[seen + 1], 0) << "added";
    EXPECT_EQ(svkClose(handle), 0);
    records = camerasOnceThere(1);
    ASSERT_EQ(records.size(), 1u);
    openAndStream(records[0], SVK_PIXEL_FORMAT_RGB_CODE32);
    EXPECT_TRUE(framesArrive(2));
    EXPECT_EQ(observer_.unplugs, 1);
}

TEST_F(GenicamCameraTest, ACameraThatDiesNeverHoldsTheCallerForSeconds) {
    // Aravis retries an unanswered command for seconds (2.5 s); the station calls from its window's
    // thread. With a short answer wait the bounds are generous: they catch a hang (a call held
    // through Aravis's retries), they do not measure speed.
    const char* delay = std::getenv("GENICAM_TEST_CALL_DELAY_MS"); // when the station's calls come
    const auto callDelay = std::chrono::milliseconds(delay != nullptr ? std::atoi(delay) : 200);
    ASSERT_TRUE(startThermalCamera(camera_, kPersonScene));
    ASSERT_EQ(startLibrary("\"127.0.0.1\"", kThermalProfile, /*simulator=*/false, kShortAnswerWaitMs), 0);
    auto records = camerasOnceThere(1);
    ASSERT_EQ(records.size(), 1u);
    SvkHandle handle = openAndStream(records[0], SVK_PIXEL_FORMAT_RGB_CODE32, /*startAgainWhenLate=*/true);
    ASSERT_TRUE(framesArrive(2));

    camera_.stop(SIGKILL);
    const auto killed = std::chrono::steady_clock::now();
    std::this_thread::sleep_until(killed + callDelay); // the scenario: the station's calls come this late
    using Clock = std::chrono::steady_clock;
    auto millisecondsOf = [](Clock::duration span) {
        return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(span).count());
    };
    // The station's watchdog restarting the acquisition, then its periodic NUC.
    auto start = Clock::now();
    const int stopped = svkSetAcquisition(handle, 0);
    const auto stop = Clock::now() - start;
    start = Clock::now();
    SvkImageSize size{};
    svkGetImageSize(handle, &size);
    svkSetPixelFormat(handle, SVK_PIXEL_FORMAT_RGB_CODE32);
    svkSetNodeEnum(handle, "NUCMode", "Manual");
    svkSetNodeInt(handle, "NUCAutoPeriodicTime", 60);
    EXPECT_NE(svkSetAcquisition(handle, 1), 0) << "a dead camera cannot start";
    const auto restart = Clock::now() - start;
    start = Clock::now();
    svkSetNodeCommand(handle, "NUCManualRun");
    const auto nuc = Clock::now() - start;
    EXPECT_LT(nuc, std::chrono::seconds(2));
    EXPECT_LT(stop, std::chrono::seconds(2));
    EXPECT_LT(restart, std::chrono::seconds(2));
    ASSERT_TRUE(observer_.waitUntil([&] { return observer_.unplugs == 1; }));
    const auto unplugged = Clock::now() - killed;
    EXPECT_EQ(svkSetAcquisition(handle, 0), SVK_ERROR_DEVICE_GONE) << "known gone: answered at once";
    start = Clock::now();
    EXPECT_EQ(svkClose(handle), 0);
    const auto close = Clock::now() - start;
    EXPECT_LT(close, std::chrono::seconds(2));
    start = Clock::now();
    svkUninit();
    const auto uninit = Clock::now() - start;
    std::printf("calls %lld ms after the death: stop %lld ms (result %d), restart %lld ms, NUC %lld ms; "
                "unplug %lld ms after the death; close %lld ms, uninit %lld ms\n",
                static_cast<long long>(callDelay.count()), millisecondsOf(stop), stopped,
                millisecondsOf(restart), millisecondsOf(nuc), millisecondsOf(unplugged),
                millisecondsOf(close), millisecondsOf(uninit));
    std::fflush(stdout); // before the next camera's fork, which would write it again
    // Aravis lets go of the dead camera for seconds more, in the background: a program ends in order.
    EXPECT_LT(uninit, std::chrono::seconds(3));

    // Meanwhile the library starts again and streams from the camera that came back.
    ASSERT_TRUE(startThermalCamera(camera_, kPersonScene));
    ASSERT_EQ(startLibrary("\"127.0.0.1\"", kThermalProfile), 0);
    records = camerasOnceThere(1);
    ASSERT_EQ(records.size(), 1u);
    openAndStream(records[0], SVK_PIXEL_FORMAT_RGB_CODE32);
    EXPECT_TRUE(framesArrive(2));
}

TEST_F(GenicamCameraTest, LostPacketsNeverReachTheCallbackAsAHalfFrame) {
    // Replayed frames that are each of one temperature: a frame torn between two could not be.
    const int width = 80, height = 60, frames = 40;
    std::string replay;
    for (int frame = 0; frame < frames; ++frame) {
        const uint16_t code = uint16_t(1100 + frame * 3);
        for (int i = 0; i < width * height; ++i) {
            replay.push_back(char(code & 0xff));
            replay.push_back(char(code >> 8));
        }
    }
    writeFile("uniform.raw", replay);
    ASSERT_TRUE(startThermalCamera(
        camera_, R"({ "cameras": [ { "width": 80, "height": 60, "fps": 60, "replay": "uniform.raw" } ] })",
        {"--lost-ratio", "0.02"}));
    ASSERT_EQ(startLibrary("\"127.0.0.1\"", kThermalProfile), 0);
    auto records = camerasOnceThere(1);
    ASSERT_EQ(records.size(), 1u);
    openAndStream(records[0], SVK_PIXEL_FORMAT_OFFSET16);
    ASSERT_TRUE(observer_.waitUntil([&] { return observer_.frames.size() >= 10; }));
    std::lock_guard<std::mutex> lock(observer_.mutex);
    for (const auto& frame : observer_.frames) {
        ASSERT_EQ(countOf(frame, frame.front()), frame.size()) << "a half-filled frame was delivered";
        EXPECT_TRUE(frame.front() >= 1100 && frame.front() < 1100 + frames * 3);
    }
}

TEST_F(GenicamCameraTest, ADeviceWithoutProfileIsListedButNotOpenedAndOneWithAProfileStreams) {
    if (!camera_.start({"arv-fake-gv-camera-0.8", "-i", "127.0.0.1"}, "127.0.0.1", folder_ + "/fake.log")) {
        GTEST_SKIP() << "Aravis's arv-fake-gv-camera-0.8 (package aravis-tools) is not here";
    }
    ASSERT_EQ(startLibrary("\"127.0.0.1\"", kThermalProfile), 0);
    auto records = camerasOnceThere(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].kind, 0);
    EXPECT_STREQ(records[0].identity, "GV01");
    EXPECT_STREQ(records[0].label, "Aravis");
    EXPECT_STREQ(records[0].model, "Fake");
    SvkHandle handle = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(svkOpen(records[0].openKey, &handle, 0), SVK_ERROR_ACCESS);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "svkOpen: camera GV01 at 127.0.0.1: no camera profile "
                                                      "matches it (vendor \"Aravis\", model \"Fake\")\n");
    svkUninit();

    ASSERT_EQ(startLibrary("\"127.0.0.1\"",
                           R"({ "match": { "vendor": "Aravis", "model": "Fake", "serial": "GV01" },
                                "features": [ ["PixelFormat", "Mono16"], ["Width", 64], ["Height", 48] ] })"),
              0);
    records = camerasOnceThere(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].kind, 2);
    handle = openAndStream(records[0], SVK_PIXEL_FORMAT_RGB_CODE32);
    EXPECT_TRUE(framesArrive(2));
    EXPECT_EQ(observer_.width, 64u);
    EXPECT_EQ(svkSetNodeCommand(handle, "NUCManualRun"), SVK_ERROR_UNKNOWN_NODE)
        << "its profile has no command";
}

TEST_F(GenicamCameraTest, ACameraReadBeforeItToldItsIdentityIsMatchedOnceItDoes) {
    ASSERT_EQ(startLibrary("\"127.0.0.1\"", kThermalProfile), 0);
    ASSERT_TRUE(camera_.start(
        {cameraProgram_, "--scenario", writeFile("scenario.json", kPersonScene), "--hold-identity"},
        "127.0.0.1", folder_ + "/camera.log", "holds its vendor and model"));
    auto records = camerasOnceThere(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].kind, 0) << "caught before it told its vendor";
    EXPECT_STREQ(records[0].model, "Fake");
    std::size_t seen;
    {
        std::lock_guard<std::mutex> lock(observer_.mutex);
        seen = observer_.deviceChecks.size();
    }

    ASSERT_TRUE(camera_.send(SIGUSR1));
    ASSERT_TRUE(waitFor([&] {
        records = camerasOnceThere(1);
        return records.size() == 1 && records[0].kind == 2;
    }));
    EXPECT_STREQ(records[0].label, "Door 1");
    EXPECT_STREQ(records[0].model, "KVX-384TRA");
    EXPECT_STREQ(records[0].identity, "16F0B001");
    ASSERT_TRUE(observer_.waitUntil([&] { return observer_.deviceChecks.size() > seen; }));
    EXPECT_EQ(observer_.deviceChecks[seen], 0) << "added, as a newly found camera";
    openAndStream(records[0], SVK_PIXEL_FORMAT_RGB_CODE32);
    EXPECT_TRUE(framesArrive(2));
}

TEST_F(GenicamCameraTest, CamerasAreListedInTheOrderOfTheirAddresses) {
    if (!genicamtest::hasLoopbackAddress("127.0.0.2")) {
        GTEST_SKIP() << "one camera answers per address: two need 127.0.0.2, set up in the test's own "
                        "network namespace (unshare), which this machine did not allow";
    }
    ASSERT_TRUE(
        startThermalCamera(secondCamera_, kPersonScene, {"--address", "127.0.0.2", "--serial", "16F0B002"}));
    ASSERT_TRUE(startThermalCamera(camera_, kPersonScene, {"--address", "127.0.0.1"}));
    ASSERT_EQ(startLibrary("\"127.0.0.2\", \"127.0.0.1\"", kThermalProfile, /*simulator=*/true), 0);
    const auto records = camerasOnceThere(3);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_STREQ(records[0].identity, "16F0B002");
    EXPECT_STREQ(records[1].identity, "16F0B001");
    EXPECT_STREQ(records[2].identity, "16F0A001");
}

TEST_F(GenicamCameraTest, ACameraBackWithinASecondReconnectsEveryTime) {
    ASSERT_TRUE(startThermalCamera(camera_, kPersonScene));
    ASSERT_EQ(startLibrary("\"127.0.0.1\"", kThermalProfile), 0);
    SvkHandle handle = nullptr;
    auto streamAgain = [&] {
        // As the station does: open whatever is listed until the camera lets it, then stream.
        return waitFor([&] {
                   const auto records = camerasOnceThere(1);
                   return records.size() == 1 && svkOpen(records[0].openKey, &handle, 0) == 0;
               }) &&
               svkSetFrameCallback(handle, &Observer::onFrame, &observer_) == 0 &&
               svkSetAcquisition(handle, 1) == 0 && framesArrive(2);
    };
    ASSERT_TRUE(streamAgain());
    for (int cycle = 0; cycle < 5; ++cycle) {
        SCOPED_TRACE(cycle);
        camera_.stop(SIGKILL);
        // The downtime under test: shorter than Aravis's retries, so the same camera answers again
        // before its loss is concluded.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        ASSERT_TRUE(startThermalCamera(camera_, kPersonScene));
        // The old session goes stale sooner or later; nothing of it may be used meanwhile.
        ASSERT_TRUE(waitFor([&] { return svkSetAcquisition(handle, 1) == SVK_ERROR_DEVICE_GONE; }));
        EXPECT_EQ(svkClose(handle), 0);
        observer_.clearFrames(SVK_PIXEL_FORMAT_RGB_CODE32);
        ASSERT_TRUE(streamAgain()) << "no frames after the camera came back";
    }
}

TEST_F(GenicamCameraTest, CamerasAskedByUnicastNeverAllowABroadcast) {
    ASSERT_TRUE(startThermalCamera(camera_, kPersonScene));
    // Nothing answers at 127.0.0.3: asked first, so the camera is listed only after the library has
    // looked for one that does not answer.
    ASSERT_EQ(startLibrary("\"127.0.0.3\", \"127.0.0.1\"", kThermalProfile), 0);
    const auto records = camerasOnceThere(1);
    ASSERT_EQ(records.size(), 1u);
    SvkHandle handle = openAndStream(records[0], SVK_PIXEL_FORMAT_RGB_CODE32);
    ASSERT_TRUE(framesArrive(2));
    EXPECT_EQ(svkClose(handle), 0);
    svkUninit();
    EXPECT_EQ(broadcastsAllowed.load(), 0) << "a socket was allowed to broadcast without \"discover\"";
}

TEST_F(GenicamCameraTest, AFrameBeyondTheLargestSizeIsRefusedWithoutTakingMemory) {
    auto peakKilobytes = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    };
    ASSERT_TRUE(startThermalCamera(camera_, kPersonScene));
    const char* profiles[] = {
        R"(["Width", 100000], ["Height", 100000])",
        R"(["Width", 8193], ["Height", 120])",
    };
    for (const char* features : profiles) {
        SCOPED_TRACE(features);
        const std::string profile =
            std::string(R"({ "match": { "vendor": "Calidra" }, "features": [ ["PixelFormat", "Mono16"], )") +
            features + " ] }";
        ASSERT_EQ(startLibrary("\"127.0.0.1\"", profile), 0);
        const auto records = camerasOnceThere(1);
        ASSERT_EQ(records.size(), 1u);
        const long before = peakKilobytes();
        SvkHandle handle = nullptr;
        testing::internal::CaptureStderr();
        EXPECT_EQ(svkOpen(records[0].openKey, &handle, 0), SVK_ERROR_ACCESS);
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
        EXPECT_NE(printed.find("larger than the 8192 x 8192 allowed"), std::string::npos) << printed;
        EXPECT_LT(peakKilobytes() - before, 64 * 1024) << "kilobytes taken by a refused open";
        svkUninit();
    }
    // Set through a node after the open: refused at the start of the acquisition.
    ASSERT_EQ(startLibrary("\"127.0.0.1\"", R"({ "match": { "vendor": "Calidra" },
        "features": [ ["PixelFormat", "Mono16"], ["Width", 160], ["Height", 120] ] })"),
              0);
    const auto records = camerasOnceThere(1);
    ASSERT_EQ(records.size(), 1u);
    SvkHandle handle = nullptr;
    ASSERT_EQ(svkOpen(records[0].openKey, &handle, 0), 0);
    ASSERT_EQ(svkSetNodeInt(handle, "Height", 100000), 0);
    const long before = peakKilobytes();
    EXPECT_EQ(svkSetAcquisition(handle, 1), SVK_ERROR_ACCESS);
    EXPECT_LT(peakKilobytes() - before, 64 * 1024) << "kilobytes taken by a refused start";
}

TEST_F(GenicamCameraTest, FramesLostToPacketLossAreToldOnce) {
    ASSERT_TRUE(startThermalCamera(camera_, kPersonScene, {"--lost-ratio", "0.3"}));
    // What the library tells its program goes to stderr: read here from a file in its place.
    const std::string printedPath = folder_ + "/stderr.txt";
    std::fflush(stderr);
    const int savedStderr = ::dup(2);
    const int printed = ::open(printedPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(printed, 0);
    ::dup2(printed, 2);
    ::close(printed);
    auto linesTold = [&] {
        std::ifstream file(printedPath);
        std::string line;
        std::vector<std::string> lines;
        while (std::getline(file, line)) {
            if (line.find("incomplete frames dropped in the last minute: packet loss") != std::string::npos) {
                lines.push_back(line);
            }
        }
        return lines;
    };
    ASSERT_EQ(startLibrary("\"127.0.0.1\"", kThermalProfile), 0);
    auto records = camerasOnceThere(1);
    SvkHandle handle = records.size() == 1 ? openAndStream(records[0], SVK_PIXEL_FORMAT_RGB_CODE32) : nullptr;
    const bool told = waitFor([&] { return !linesTold().empty(); });
    // The same count as a node, for the station's event log.
    SvkFloatRecord lostLastMinute{};
    const int lostResult = svkGetNodeFloat(handle, "StreamIncompleteFramesLastMinute", &lostLastMinute);
    const int lostWriteResult = svkSetNodeFloat(handle, "StreamIncompleteFramesLastMinute", 0.0);
    svkClose(handle);
    std::fflush(stderr);
    ::dup2(savedStderr, 2);
    ::close(savedStderr);
    ASSERT_EQ(records.size(), 1u);
    ASSERT_TRUE(told);
    const auto lines = linesTold();
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("SorvikC: camera 16F0B001 at 127.0.0.1: 10 incomplete frames", 0), 0u)
        << lines[0];
    EXPECT_EQ(lostResult, SVK_OK);
    EXPECT_GE(lostLastMinute.value, 10.0);
    EXPECT_EQ(lostWriteResult, SVK_ERROR_ACCESS) << "counted by the library, not set";
}

TEST_F(GenicamCameraTest, TwoCamerasWithOneSerialAreToldApartByAddress) {
    if (!genicamtest::hasLoopbackAddress("127.0.0.2")) {
        GTEST_SKIP() << "two cameras need 127.0.0.2, set up in the test's own network namespace";
    }
    ASSERT_TRUE(startThermalCamera(secondCamera_, kPersonScene, {"--address", "127.0.0.2"}));
    ASSERT_TRUE(startThermalCamera(camera_, kPersonScene, {"--address", "127.0.0.1"}));
    ASSERT_EQ(startLibrary("\"127.0.0.2\", \"127.0.0.1\"", kThermalProfile), 0);
    auto records = camerasOnceThere(2);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_STREQ(records[0].identity, records[1].identity);
    ASSERT_STREQ(records[0].openKey, "genicam:127.0.0.2");
    SvkHandle handle = openAndStream(records[0], SVK_PIXEL_FORMAT_RGB_CODE32);
    ASSERT_TRUE(framesArrive(2));

    secondCamera_.stop(SIGKILL);
    ASSERT_TRUE(observer_.waitUntil([&] { return observer_.unplugs == 1; }));
    EXPECT_EQ(svkSetAcquisition(handle, 1), SVK_ERROR_DEVICE_GONE);
    EXPECT_EQ(svkClose(handle), 0);
    ASSERT_TRUE(waitFor([&] {
        int count = 0;
        return svkGetCameraCount(&count) == 0 && count == 1;
    }));
    records = camerasOnceThere(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_STREQ(records[0].openKey, "genicam:127.0.0.1") << "the camera that lives on";
    openAndStream(records[0], SVK_PIXEL_FORMAT_RGB_CODE32);
    EXPECT_TRUE(framesArrive(2));
    EXPECT_EQ(observer_.unplugs, 1);
}
