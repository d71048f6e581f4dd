#include "pipeline/human_detection.h"

#include "pipeline/frame_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace calidra {
namespace {

// A scene of codes on a cold background, taken in through the real intake.
class Scene {
public:
    Scene(int width, int height, PixelFormat format, uint16_t background)
        : width_(width), format_(format), codes_(std::size_t(width) * std::size_t(height), background) {
        buffers_.allocate(width, height);
    }

    Scene& fill(int x, int y, int w, int h, uint16_t code) {
        for (int row = y; row < y + h; ++row)
            std::fill_n(codes_.begin() + row * width_ + x, w, code);
        return *this;
    }

    const DetectionResults& detect(const FrameSettings& settings = emptyFieldFallbacks(),
                                   const maskfile::MaskRecords& masks = {}) {
        std::vector<unsigned char> bytes;
        for (uint16_t code : codes_) {
            if (format_ == PixelFormat::RgbCode32) {
                bytes.push_back(0);
                bytes.push_back(0);
            }
            bytes.push_back(uint8_t(code & 0xFF));
            bytes.push_back(uint8_t(code >> 8));
        }
        const CameraFrame frame{uint32_t(width_), uint32_t(codes_.size() / std::size_t(width_)), format_,
                                bytes.data()};
        EXPECT_EQ(intakeFrame(frame, buffers_).outcome, IntakeOutcome::Written);
        detector_.detectAndMeasure(
            buffers_, format_, settings, masks, [this] { return ++ticks_; }, results_);
        return results_;
    }

    uint32_t ticks() const { return ticks_; }

private:
    int width_;
    PixelFormat format_;
    std::vector<uint16_t> codes_;
    FrameBuffers buffers_;
    HumanDetector detector_;
    DetectionResults results_;
    uint32_t ticks_ = 0;
};

TEST(DetectionBandTest, BoundsPerScale) {
    EXPECT_DOUBLE_EQ(detectionBand(PixelFormat::Offset16, 30.0).low, 64.0);
    EXPECT_EQ(detectionBand(PixelFormat::RgbCode32, 30.0).high, 88.0);
    EXPECT_DOUBLE_EQ(detectionBand(PixelFormat::Direct16, 30.0).low, 75.0);
    EXPECT_EQ(detectionBand(PixelFormat::Direct16, 30.0).high, 125.0);
    EXPECT_EQ(detectionBand(PixelFormat::Offset16, 150.0).low, 255.0);
    EXPECT_EQ(detectionBand(std::nullopt, 30.0).high, 88.0);
}

TEST(HumanDetectionTest, OffsetScaleBandLimits) {
    struct Case {
        uint16_t code;
        bool detected;
    };
    for (const Case& sample : {Case{1300, true}, Case{1299, false}, Case{1449, true}, Case{1450, false}}) {
        Scene scene(64, 48, PixelFormat::Offset16, 1000);
        scene.fill(20, 10, 12, 24, sample.code);
        const DetectionResults& results = scene.detect();
        EXPECT_EQ(results.personPresent, sample.detected) << sample.code;
        if (sample.detected) {
            ASSERT_EQ(results.detections.size(), 1u);
            const Detection& person = results.detections[0];
            EXPECT_EQ(person.left, 20);
            EXPECT_EQ(person.top, 10);
            EXPECT_EQ(person.right, 32);
            EXPECT_EQ(person.bottom, 34);
            EXPECT_NEAR(person.temperature, (sample.code - 1000) * 0.1, 1e-9);
        }
    }
}

TEST(HumanDetectionTest, DirectScaleBandLimitsAndTheUnreachableBand) {
    for (uint16_t code : {uint16_t(300), uint16_t(499)}) {
        Scene scene(64, 48, PixelFormat::Direct16, 100);
        scene.fill(20, 10, 12, 24, code);
        EXPECT_TRUE(scene.detect().personPresent) << code;
    }
    Scene tooHot(64, 48, PixelFormat::Direct16, 100);
    tooHot.fill(20, 10, 12, 24, 500);
    EXPECT_FALSE(tooHot.detect().personPresent);

    FrameSettings impossible = emptyFieldFallbacks();
    impossible.detectionCelsius = 150.0;
    Scene scene(64, 48, PixelFormat::Offset16, 1000);
    scene.fill(20, 10, 12, 24, 2494); // detection byte 255
    EXPECT_FALSE(scene.detect(impossible).personPresent);
}

TEST(HumanDetectionTest, ShapeAndAreaLimits) {
    struct Case {
        int width;
        int height;
        bool accepted;
    };
    for (const Case& shape : {Case{10, 80, true}, Case{80, 10, true}, Case{9, 80, false}, Case{80, 9, false},
                              Case{10, 10, true}, Case{9, 11, false}}) {
        Scene scene(120, 100, PixelFormat::Offset16, 1000);
        scene.fill(15, 12, shape.width, shape.height, 1365);
        EXPECT_EQ(scene.detect().personPresent, shape.accepted) << shape.width << " x " << shape.height;
    }
}

TEST(HumanDetectionTest, HotRegionIsCappedAndRaisesTheAlarm) {
    FrameSettings settings = emptyFieldFallbacks();
    settings.alarmCelsius = 37.5;
    Scene scene(64, 48, PixelFormat::Offset16, 1000);
    scene.fill(20, 10, 12, 24, 1460); // out of the band, so it sits inside a warm body
    scene.fill(16, 6, 20, 4, 1300);
    scene.fill(16, 34, 20, 4, 1300);
    scene.fill(16, 10, 4, 24, 1300);
    scene.fill(32, 10, 4, 24, 1300);
    const DetectionResults& results = scene.detect(settings);
    ASSERT_EQ(results.detections.size(), 1u);
    EXPECT_EQ(results.detections[0].temperature, 45.0);
    EXPECT_TRUE(results.detections[0].alarm);
    EXPECT_TRUE(results.frameAlarm);
    EXPECT_EQ(results.trackingTemperature, 45.0);

    Scene mild(64, 48, PixelFormat::Offset16, 1000);
    mild.fill(20, 10, 12, 24, 1365);
    const DetectionResults& calm = mild.detect(settings);
    EXPECT_FALSE(calm.frameAlarm);
    EXPECT_FALSE(calm.detections.at(0).alarm);
}

TEST(HumanDetectionTest, TrackingIsTheWarmestRegionWhateverTheContourOrder) {
    // Swapping the two regions swaps their contour order; the read-out stays on the warmer one.
    for (const bool warmerLeft : {true, false}) {
        Scene scene(100, 60, PixelFormat::Offset16, 1000);
        scene.fill(10, 10, 15, 30, warmerLeft ? 1360 : 1330);
        scene.fill(60, 15, 15, 30, warmerLeft ? 1330 : 1360);
        const DetectionResults& results = scene.detect();
        ASSERT_EQ(results.detections.size(), 2u);
        std::vector<double> temperatures = {results.detections[0].temperature,
                                            results.detections[1].temperature};
        std::sort(temperatures.begin(), temperatures.end());
        EXPECT_NEAR(temperatures[0], 33.0, 1e-9);
        EXPECT_NEAR(temperatures[1], 36.0, 1e-9);
        EXPECT_NEAR(results.trackingTemperature, 36.0, 1e-9) << warmerLeft;
        // The default alarm temperature 35.0 is exceeded by the 36.0 region only.
        EXPECT_TRUE(results.frameAlarm);
        for (const Detection& region : results.detections)
            EXPECT_EQ(region.alarm, region.temperature > 35.0);
    }
}

TEST(HumanDetectionTest, MinimumAreaLargerThanThePictureStillFindsAWholePictureRegion) {
    FrameSettings settings = emptyFieldFallbacks();
    settings.minimumRegionArea = 2147483647;
    Scene scene(16, 16, PixelFormat::Offset16, 1360);
    EXPECT_TRUE(scene.detect(settings).personPresent);
}

TEST(HumanDetectionTest, SinglePixelIsSmoothedBeforeTheMaximum) {
    Scene scene(64, 48, PixelFormat::Offset16, 1000);
    scene.fill(20, 10, 12, 24, 1300).fill(25, 20, 1, 1, 1400);
    const DetectionResults& results = scene.detect();
    ASSERT_EQ(results.detections.size(), 1u);
    EXPECT_NEAR(results.detections[0].temperature, 30.4, 1e-9); // (24 x 1300 + 1400) / 25 = 1304
}

TEST(HumanDetectionTest, OnlyApplicableMaskRecordsBlankAPerson) {
    MaskInfo covering{};
    covering.bEnabled = 1;
    covering.nX = 18;
    covering.nY = 8;
    covering.nWidth = 16;
    covering.nHeight = 28;
    covering.nImageWidth = 64;
    covering.nImageHeight = 48;

    Scene scene(64, 48, PixelFormat::Offset16, 1000);
    scene.fill(20, 10, 12, 24, 1365);
    EXPECT_FALSE(scene.detect({}, {covering, MaskInfo{}, MaskInfo{}, MaskInfo{}}).personPresent);

    MaskInfo enabledTwo = covering;
    enabledTwo.bEnabled = 2;
    MaskInfo zeroWidth = covering;
    zeroWidth.nWidth = 0;
    MaskInfo otherSnapshot = covering;
    otherSnapshot.nImageWidth = 640;
    MaskInfo outside = covering;
    outside.nX = 60;
    const DetectionResults& results = scene.detect({}, {enabledTwo, zeroWidth, otherSnapshot, outside});
    EXPECT_TRUE(results.personPresent);
    EXPECT_EQ(scene.ticks(), 2u); // one tick per region pass
}

TEST(HumanDetectionTest, EmptyFrameClearsThePreviousResults) {
    Scene scene(64, 48, PixelFormat::RgbCode32, 1000);
    scene.fill(20, 10, 12, 24, 1365);
    EXPECT_TRUE(scene.detect().personPresent);
    scene.fill(20, 10, 12, 24, 1000);
    const DetectionResults& results = scene.detect();
    EXPECT_FALSE(results.personPresent);
    EXPECT_TRUE(results.detections.empty());
    EXPECT_EQ(results.trackingTemperature, 0.0);
    EXPECT_FALSE(results.frameAlarm);
}

} // namespace
} // namespace calidra
