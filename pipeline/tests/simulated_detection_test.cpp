// Detection checked against the library operations it stands in for: the closing on random masks,
// the whole detection on frames of the simulated camera, taken in through the camera seam and
// measured on its frame thread the way the station does it.

#include "pipeline/frame_buffers.h"
#include "pipeline/frame_settings.h"
#include "pipeline/human_detection.h"

#include "camera/sorvik_camera_library.h"
#include "testsupport/literal_detection.h"
#include "testsupport/wait.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace calidra {
namespace {

TEST(MaskClosingTest, MatchesTheLibraryClosingOnRandomMasks) {
    const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(11, 11));
    cv::RNG random(42);
    MaskCloser closer;
    cv::Mat closed;
    for (const cv::Size& size : {cv::Size(384, 288), cv::Size(64, 48), cv::Size(63, 5), cv::Size(65, 20),
                                 cv::Size(129, 3), cv::Size(7, 7), cv::Size(1, 30), cv::Size(30, 1),
                                 cv::Size(1, 1), cv::Size(11, 11), cv::Size(12, 200)}) {
        for (double density : {0.0, 0.03, 0.3, 0.7, 0.97, 1.0}) {
            cv::Mat noise(size, CV_32F);
            random.fill(noise, cv::RNG::UNIFORM, 0.0, 1.0);
            cv::Mat mask = (noise < density);
            // Blocks with gaps of every width around the square's size.
            for (int block = 0; block < 6; ++block) {
                const cv::Rect box(random.uniform(0, size.width), random.uniform(0, size.height),
                                   random.uniform(1, 30), random.uniform(1, 30));
                mask(box & cv::Rect(cv::Point(), size)).setTo(255);
                const cv::Rect gap(box.x + box.width, box.y, random.uniform(1, 14), box.height);
                mask(gap & cv::Rect(cv::Point(), size)).setTo(0);
            }
            cv::Mat expected;
            cv::morphologyEx(mask, expected, cv::MORPH_CLOSE, square);
            closer.close(mask, closed);
            ASSERT_EQ(closed.size(), size);
            ASSERT_EQ(cv::countNonZero(closed != expected), 0) << size << " density " << density;
            ASSERT_EQ(closer.extent(), cv::boundingRect(expected)) << size << " density " << density;
        }
    }
}

// The band cut straight into bits, blanked rectangles cleared in the bits: against the plain cut,
// blanking and the library's closing, for bands at both ends of the byte range and row widths
// around the vector and word sizes.
TEST(MaskClosingTest, BandClosingMatchesTheLibraryClosingOfTheCutMask) {
    const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(11, 11));
    cv::RNG random(7);
    MaskCloser closer;
    cv::Mat closed;
    const std::vector<ByteRun> bands = {{0, 0}, {0, 255}, {200, 55}, {48, 31}, {255, 0}, {1, 2}};
    for (const cv::Size& size : {cv::Size(384, 288), cv::Size(15, 9), cv::Size(16, 20), cv::Size(17, 12),
                                 cv::Size(63, 30), cv::Size(64, 8), cv::Size(65, 40), cv::Size(130, 33)}) {
        for (std::size_t trial = 0; trial < bands.size() * 2; ++trial) {
            const ByteRun band = bands[trial % bands.size()];
            cv::Mat bytes(size, CV_8UC1);
            random.fill(bytes, cv::RNG::UNIFORM, 0, 256);
            // Blocks just inside and just outside the band.
            for (int block = 0; block < 8; ++block) {
                const cv::Rect box(random.uniform(0, size.width), random.uniform(0, size.height),
                                   random.uniform(1, 40), random.uniform(1, 40));
                const int value = block % 2 == 0 ? band.lowest + band.span : band.lowest + band.span + 1;
                bytes(box & cv::Rect(cv::Point(), size)).setTo(value & 0xFF);
            }
            std::vector<cv::Rect> blanked;
            for (int index = 0; index < int(trial % 3); ++index) {
                const int x = random.uniform(0, size.width);
                const int y = random.uniform(0, size.height);
                blanked.push_back(cv::Rect(x, y, random.uniform(1, size.width - x + 1),
                                           random.uniform(1, size.height - y + 1)));
            }
            cv::Mat mask(size, CV_8UC1);
            for (int row = 0; row < size.height; ++row)
                for (int column = 0; column < size.width; ++column)
                    mask.at<uint8_t>(row, column) =
                        uint8_t(bytes.at<uint8_t>(row, column) - band.lowest) <= band.span ? 255 : 0;
            for (const cv::Rect& rectangle : blanked)
                mask(rectangle).setTo(0);
            cv::Mat expected;
            cv::morphologyEx(mask, expected, cv::MORPH_CLOSE, square);
            closer.closeBand(bytes, band, blanked, closed);
            ASSERT_EQ(cv::countNonZero(closed != expected), 0) << size << " trial " << trial;
            ASSERT_EQ(closer.extent(), cv::boundingRect(expected)) << size << " trial " << trial;
        }
    }
}

// What the frame thread measured in one frame, once per operator setting.
struct MeasuredFrame {
    std::optional<PixelFormat> format;
    std::vector<DetectionResults> results;
    std::vector<DetectionList> literal; // one per setting when compared
};

// Runs the intake and the detection inside the camera's frame callback.
class DetectingReceiver : public CameraEvents {
public:
    DetectingReceiver(std::vector<FrameSettings> settings, bool compareLiterally)
        : settings_(std::move(settings)), compareLiterally_(compareLiterally) {}

    void frameArrived(const CameraFrame& frame) override { onFrame(frame); }
    void unplugged() override {}

    bool waitFor(std::size_t frameCount) {
        std::unique_lock<std::mutex> lock(mutex_);
        return arrived_.wait_for(lock, test::kEventDeadline, [&] { return frames_.size() >= frameCount; });
    }

    std::vector<MeasuredFrame> frames() {
        std::lock_guard<std::mutex> lock(mutex_);
        return frames_;
    }

private:
    void onFrame(const CameraFrame& frame) {
        MeasuredFrame measured;
        measured.format = frame.format;
        const std::optional<PixelFormat> format = frame.format;
        if (buffers_.width() != int(frame.width) || buffers_.height() != int(frame.height))
            buffers_.allocate(int(frame.width), int(frame.height));
        if (!format || intakeFrame(frame, buffers_).outcome != IntakeOutcome::Written)
            return;
        for (const FrameSettings& settings : settings_) {
            DetectionResults results;
            detector_.detectAndMeasure(
                buffers_, format, settings, {}, [] { return 0u; }, results);
            measured.results.push_back(results);
            if (compareLiterally_) {
                DetectionResults literal;
                literalDetector_.detectAndMeasure(buffers_, format, settings, {}, literal);
                measured.literal.push_back(literal.detections);
            }
        }
        std::lock_guard<std::mutex> lock(mutex_);
        frames_.push_back(std::move(measured));
        arrived_.notify_all();
    }

    std::vector<FrameSettings> settings_;
    bool compareLiterally_;
    test::LiteralDetector literalDetector_;
    FrameBuffers buffers_;
    HumanDetector detector_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<MeasuredFrame> frames_;
};

class SimulatedDetectionTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (library_)
            library_->shutdown();
        ::unsetenv("SORVIK_SIM_SCENARIO");
        std::filesystem::remove(scenarioPath_);
    }

    int startWith(const std::string& json) {
        std::ofstream(scenarioPath_, std::ios::binary) << json;
        ::setenv("SORVIK_SIM_SCENARIO", scenarioPath_.c_str(), 1);
        library_ = makeSorvikCameraLibrary();
        return library_->initialise();
    }

    std::vector<MeasuredFrame> measure(PixelFormat format, const std::vector<FrameSettings>& settings,
                                       std::size_t frameCount, bool compareLiterally = false) {
        int count = 0;
        std::vector<CameraRecord> records;
        EXPECT_EQ(library_->cameraCount(count), 0);
        EXPECT_EQ(library_->cameraInfo(count, records), 0);
        if (records.empty())
            return {};
        DetectingReceiver receiver(settings, compareLiterally);
        std::unique_ptr<Camera> camera;
        EXPECT_EQ(library_->open(records[0], receiver, camera), 0);
        if (!camera)
            return {};
        EXPECT_EQ(camera->setPixelFormat(format), 0);
        EXPECT_EQ(camera->setAcquisition(true), 0);
        EXPECT_TRUE(receiver.waitFor(frameCount));
        camera->setAcquisition(false);
        camera.reset(); // returns after the last callback
        return receiver.frames();
    }

    const std::string scenarioPath_ = (std::filesystem::temp_directory_path() /
                                       ("simulated-detection-" + std::to_string(::getpid()) + ".json"))
                                          .string();
    std::unique_ptr<CameraLibrary> library_;
};

void expectSameDetections(const DetectionList& fast, const DetectionList& literal) {
    ASSERT_EQ(fast.size(), literal.size());
    for (std::size_t index = 0; index < fast.size(); ++index) {
        EXPECT_EQ(fast[index].left, literal[index].left);
        EXPECT_EQ(fast[index].top, literal[index].top);
        EXPECT_EQ(fast[index].right, literal[index].right);
        EXPECT_EQ(fast[index].bottom, literal[index].bottom);
        EXPECT_EQ(fast[index].temperature, literal[index].temperature);
        EXPECT_EQ(fast[index].alarm, literal[index].alarm);
    }
}

FrameSettings withAlarmAt(double alarmCelsius) {
    FrameSettings settings = emptyFieldFallbacks();
    settings.alarmCelsius = alarmCelsius;
    return settings;
}

TEST_F(SimulatedDetectionTest, FeverishPersonIsMeasuredAtTheirTemperatureOnEveryFormat) {
    // Room noise, a 60-degree heater (above the band) and a warm pipe too flat for a person.
    ASSERT_EQ(startWith(R"({ "cameras": [ { "width": 384, "height": 288, "fps": 60,
        "people": [ { "enter": 0, "leave": 1000, "temperature": 38.2, "from": [0.45, 0.55], "to": [0.45, 0.55] } ],
        "objects": [ { "x": 300, "y": 20, "w": 30, "h": 20, "temperature": 60.0 },
                     { "x": 250, "y": 260, "w": 120, "h": 6, "temperature": 34.0 } ] } ] })"),
              0);
    const double alarmBelow = 37.5;
    const double alarmAbove = 38.5;
    for (PixelFormat format : {PixelFormat::Offset16, PixelFormat::Direct16, PixelFormat::RgbCode32}) {
        SCOPED_TRACE(int(format));
        const auto frames = measure(format, {withAlarmAt(alarmBelow), withAlarmAt(alarmAbove)}, 8);
        ASSERT_GE(frames.size(), 8u);
        for (const MeasuredFrame& frame : frames) {
            ASSERT_EQ(frame.format, format);
            const DetectionResults& alarmed = frame.results.at(0);
            ASSERT_EQ(alarmed.detections.size(), 1u);
            const Detection& person = alarmed.detections[0];
            EXPECT_NEAR(person.temperature, 38.2, 0.1);
            EXPECT_TRUE(person.alarm);
            EXPECT_TRUE(alarmed.frameAlarm);
            EXPECT_TRUE(alarmed.personPresent);
            EXPECT_EQ(alarmed.trackingTemperature, person.temperature);
            // The figure stands around x = 0.45 of the frame, head and body in one region.
            EXPECT_LT(person.left, 173);
            EXPECT_GT(person.right, 173);
            EXPECT_GT(person.bottom - person.top, 288 / 2);

            const DetectionResults& calm = frame.results.at(1);
            ASSERT_EQ(calm.detections.size(), 1u);
            EXPECT_EQ(calm.detections[0].temperature, person.temperature);
            EXPECT_FALSE(calm.detections[0].alarm);
            EXPECT_FALSE(calm.frameAlarm);
        }
    }
}

TEST_F(SimulatedDetectionTest, WalkingCrowdIsMeasuredAsTheWholePlaneMeanWouldMeasureIt) {
    // Pairs of thin warm bars close into one region whose warmest 5 x 5 mean takes in the noisy
    // background between them, one pair at the frame's right edge.
    ASSERT_EQ(startWith(R"({ "cameras": [ { "width": 384, "height": 288, "fps": 60, "noise": 0.3,
        "people": [
          { "enter": 0, "leave": 1000, "temperature": 36.6, "from": [0.0, 0.5], "to": [1.0, 0.5], "height": 0.7 },
          { "enter": 0, "leave": 1000, "temperature": 38.9, "from": [0.95, 0.6], "to": [0.1, 0.4], "height": 0.5 },
          { "enter": 0, "leave": 1000, "temperature": 37.4, "from": [0.5, 0.98], "to": [0.5, 0.02], "height": 0.4 } ],
        "objects": [ { "x": 0, "y": 0, "w": 40, "h": 60, "temperature": 41.0 },
                     { "x": 200, "y": 230, "w": 4, "h": 40, "temperature": 40.0 },
                     { "x": 210, "y": 230, "w": 4, "h": 40, "temperature": 40.0 },
                     { "x": 370, "y": 20, "w": 4, "h": 40, "temperature": 39.0 },
                     { "x": 380, "y": 20, "w": 4, "h": 40, "temperature": 39.0 } ] } ] })"),
              0);
    for (PixelFormat format : {PixelFormat::Offset16, PixelFormat::Direct16}) {
        SCOPED_TRACE(int(format));
        const auto frames = measure(format, {withAlarmAt(37.0)}, 12, true);
        ASSERT_GE(frames.size(), 12u);
        std::size_t regions = 0;
        for (const MeasuredFrame& frame : frames) {
            expectSameDetections(frame.results.at(0).detections, frame.literal.at(0));
            regions += frame.results.at(0).detections.size();
        }
        EXPECT_GE(regions, frames.size()); // the scene is never empty
    }
}

TEST_F(SimulatedDetectionTest, RecordedPeopleAreFoundAsTheLiteralDetectionFindsThem) {
    // Real skin and clothing give ragged outlines that no drawn figure has; every detection
    // temperature from 26 to 35 degrees cuts them differently.
    const char* source = std::getenv("CALIDRA_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    std::vector<FrameSettings> settings;
    for (double detection = 26.0; detection <= 35.0; detection += 0.5) {
        settings.push_back(withAlarmAt(35.5));
        settings.back().detectionCelsius = detection;
    }
    for (const char* footage :
         {"face-close-320x240.raw", "lab-people-180x180.raw", "seated-group-160x120.raw"}) {
        SCOPED_TRACE(footage);
        const std::string name(footage);
        const std::string size = name.substr(name.rfind('-') + 1, name.size() - name.rfind('-') - 5);
        const std::string width = size.substr(0, size.find('x'));
        const std::string height = size.substr(size.find('x') + 1);
        ASSERT_EQ(startWith(R"({ "cameras": [ { "width": )" + width + R"(, "height": )" + height +
                            R"(, "fps": 60, "replay": ")" + std::string(source) + "/footage/" + name +
                            R"(" } ] })"),
                  0);
        const auto frames = measure(PixelFormat::Offset16, settings, 1, true);
        ASSERT_GE(frames.size(), 1u);
        std::size_t regions = 0;
        for (std::size_t index = 0; index < settings.size(); ++index) {
            expectSameDetections(frames[0].results.at(index).detections, frames[0].literal.at(index));
            regions += frames[0].literal.at(index).size();
        }
        EXPECT_GT(regions, settings.size()); // people are found at most cuts
        library_->shutdown();
        library_.reset();
    }
}

} // namespace
} // namespace calidra
