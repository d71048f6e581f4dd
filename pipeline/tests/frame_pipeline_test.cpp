#include "pipeline/frame_pipeline.h"

#include "testsupport/fake_pipeline_host.h"
#include "pipeline/palette_rendering.h"

#include "files/file_io.h"
#include "files/station_layout.h"
#include "maskfile/maskinfo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace calidra {
namespace {

constexpr int frameWidth = 96;
constexpr int frameHeight = 80;
constexpr uint16_t roomCode = 250;   // 25.0 degrees, direct scale
constexpr uint16_t personCode = 365; // 36.5 degrees, direct scale

PixelFrame sceneWithPerson(PixelFormat format = PixelFormat::Direct16) {
    const bool offsetScale = usesOffsetScale(format);
    PixelFrame frame(frameWidth, frameHeight, format, offsetScale ? roomCode + 1000 : roomCode);
    frame.fill(30, 10, 20, 50, offsetScale ? personCode + 1000 : personCode);
    return frame;
}

class FramePipelineTest : public ::testing::Test {
protected:
    FramePipelineTest() { pipeline.allocateBuffers(frameWidth, frameHeight); }

    cv::Mat renderCopy() const { return pipeline.buffers().renderImage.clone(); }
    static bool same(const cv::Mat& a, const cv::Mat& b) {
        return a.size() == b.size() && a.type() == b.type() &&
               cv::countNonZero(cv::Mat(a != b).reshape(1)) == 0;
    }

    FakePipelineHost host;
    FramePipeline pipeline{host};
};

TEST_F(FramePipelineTest, FrameGoesThroughEveryStageInOrder) {
    EXPECT_EQ(pipeline.frameMaxTemperature(), 45.0);
    EXPECT_EQ(pipeline.frameMinTemperature(), -10.0);

    host.tick = 5000;
    const PixelFrame frame = sceneWithPerson();
    pipeline.processFrame(frame.view());

    EXPECT_EQ(pipeline.lastFrameTick(), 5001u); // taken first, before the region pass
    EXPECT_EQ(pipeline.detectionResults().regionPassTick, 5002u);
    EXPECT_DOUBLE_EQ(pipeline.frameMaxTemperature(), 36.5);
    EXPECT_DOUBLE_EQ(pipeline.frameMinTemperature(), 25.0);
    EXPECT_EQ(host.settingsReads, 1);

    ASSERT_EQ(pipeline.detectionResults().detections.size(), 1u);
    const Detection& person = pipeline.detectionResults().detections.front();
    EXPECT_EQ(person.left, 30);
    EXPECT_EQ(person.top, 10);
    EXPECT_EQ(person.right, 50);
    EXPECT_EQ(person.bottom, 60);
    EXPECT_TRUE(pipeline.personPresent());
    EXPECT_DOUBLE_EQ(pipeline.trackingTemperature(), 36.5);

    // No palette selected: table 0.
    const PaletteRow& expected = paletteTable(0)[paletteIndex(personCode, PixelFormat::Direct16)];
    const cv::Vec3b pixel = pipeline.buffers().renderImage.at<cv::Vec3b>(30, 40);
    EXPECT_EQ(pixel, cv::Vec3b(uint8_t(expected.blue), uint8_t(expected.green), uint8_t(expected.red)));

    // Above the 35.0 degree fallback alarm: one alarm, no sound file in this folder.
    EXPECT_TRUE(pipeline.alarmOn());
    EXPECT_EQ(host.alarmChanges, std::vector<bool>{true});
    EXPECT_TRUE(host.soundStarts.empty());

    // The shown picture carries the red rectangle; the clean copy has the palette colour there.
    ASSERT_EQ(host.shownFrames.size(), 1u);
    EXPECT_TRUE(same(host.shownFrames.front(), pipeline.buffers().renderImage));
    EXPECT_EQ(host.shownFrames.front().at<cv::Vec3b>(10, 30), cv::Vec3b(0, 0, 255));
    pipeline.withCleanCopy([&](const cv::Mat& clean) {
        EXPECT_EQ(clean.at<cv::Vec3b>(10, 30), pixel);
        EXPECT_FALSE(same(clean, host.shownFrames.front()));
    });
}

TEST_F(FramePipelineTest, EmptySceneIsShownAsItsCleanCopy) {
    const PixelFrame room(frameWidth, frameHeight, PixelFormat::Direct16, roomCode);
    pipeline.processFrame(room.view());
    ASSERT_EQ(host.shownFrames.size(), 1u);
    pipeline.withCleanCopy([&](const cv::Mat& clean) { EXPECT_TRUE(same(clean, host.shownFrames.front())); });
}

TEST_F(FramePipelineTest, SelectedPaletteIsUsedFromTheSameFrame) {
    host.settings.paletteNumber = 5;
    const PixelFrame frame = sceneWithPerson();
    pipeline.processFrame(frame.view());
    const PaletteRow& expected = paletteTable(5)[paletteIndex(roomCode, PixelFormat::Direct16)];
    EXPECT_EQ(pipeline.buffers().renderImage.at<cv::Vec3b>(0, 0),
              cv::Vec3b(uint8_t(expected.blue), uint8_t(expected.green), uint8_t(expected.red)));
}

TEST_F(FramePipelineTest, DuringNucFramesAreMeasuredButNotShown) {
    const PixelFrame room(frameWidth, frameHeight, PixelFormat::Direct16, roomCode);
    pipeline.processFrame(room.view());
    const cv::Mat shownBefore = renderCopy();

    pipeline.setNucRunning(true);
    const PixelFrame frame = sceneWithPerson();
    pipeline.processFrame(frame.view());
    EXPECT_TRUE(pipeline.personPresent());
    EXPECT_DOUBLE_EQ(pipeline.frameMaxTemperature(), 36.5);
    EXPECT_EQ(host.shownFrames.size(), 1u);
    EXPECT_TRUE(same(renderCopy(), shownBefore));

    pipeline.setNucRunning(false);
    pipeline.processFrame(frame.view());
    EXPECT_EQ(host.shownFrames.size(), 2u);
    EXPECT_FALSE(same(renderCopy(), shownBefore));
}

TEST_F(FramePipelineTest, WithoutWindowTheFrameIsRenderedButNotShown) {
    host.windowExists = false;
    const PixelFrame frame = sceneWithPerson();
    pipeline.processFrame(frame.view());
    EXPECT_TRUE(host.shownFrames.empty());
    EXPECT_TRUE(pipeline.personPresent());
    pipeline.withCleanCopy([](const cv::Mat& clean) { EXPECT_GT(cv::countNonZero(clean.reshape(1)), 0); });
}

TEST_F(FramePipelineTest, UnknownFormatKeepsTheLastFrameAndReportsNoExtremes) {
    // Offset scale, so the kept detection bytes lie in the band an unknown format is cut with.
    const PixelFrame frame = sceneWithPerson(PixelFormat::Offset16);
    pipeline.processFrame(frame.view());
    const cv::Mat rendered = renderCopy();

    const PixelFrame room(frameWidth, frameHeight, PixelFormat::Direct16, roomCode);
    CameraFrame unknown = room.view();
    unknown.format.reset();
    pipeline.processFrame(unknown);
    EXPECT_EQ(pipeline.frameMaxTemperature(), -100.0);
    EXPECT_EQ(pipeline.frameMinTemperature(), 45.0);
    EXPECT_TRUE(pipeline.personPresent()); // detection runs on the kept planes
    EXPECT_TRUE(same(renderCopy(), rendered));
    EXPECT_EQ(host.shownFrames.size(), 2u);
}

TEST_F(FramePipelineTest, FrameOfAnotherSizeIsSkippedAndCounted) {
    const PixelFrame frame = sceneWithPerson();
    pipeline.processFrame(frame.view());
    const cv::Mat codes = pipeline.buffers().codePlane.clone();

    PixelFrame larger(frameWidth * 2, frameHeight * 2, PixelFormat::Direct16, 400);
    pipeline.processFrame(larger.view());
    PixelFrame smaller(8, 8, PixelFormat::Direct16, 400);
    pipeline.processFrame(smaller.view());

    EXPECT_EQ(pipeline.skippedFrameCount(), 2u);
    EXPECT_TRUE(same(pipeline.buffers().codePlane, codes));
    EXPECT_TRUE(pipeline.personPresent());

    pipeline.allocateBuffers(frameWidth * 2, frameHeight * 2);
    EXPECT_EQ(pipeline.skippedFrameCount(), 0u);
    pipeline.processFrame(larger.view());
    EXPECT_EQ(pipeline.skippedFrameCount(), 0u);
    EXPECT_EQ(pipeline.buffers().codePlane.at<uint16_t>(0, 0), 400);
}

TEST_F(FramePipelineTest, FramesBeforeAnyAcquisitionStartAreHarmless) {
    FakePipelineHost otherHost;
    FramePipeline unallocated(otherHost);
    const PixelFrame frame = sceneWithPerson();
    unallocated.processFrame(frame.view());
    EXPECT_EQ(unallocated.skippedFrameCount(), 1u);
    EXPECT_FALSE(unallocated.personPresent());
    EXPECT_EQ(otherHost.tick, 1u); // the frame's tick
    EXPECT_EQ(otherHost.settingsReads, 0);
    EXPECT_TRUE(otherHost.shownFrames.empty());
}

TEST_F(FramePipelineTest, CameraPictureIsFetchedAndTurnedTheRightWayUp) {
    host.cameraPicture.assign(std::size_t(frameWidth) * frameHeight * 3, 0);
    // Top row of the camera's picture white, the rest black.
    std::fill_n(host.cameraPicture.begin(), frameWidth * 3, 255);
    const PixelFrame frame = sceneWithPerson(PixelFormat::RgbCode32);
    pipeline.processFrame(frame.view());

    EXPECT_EQ(host.rgbDataCalls, 1);
    EXPECT_EQ(pipeline.buffers().renderImage.at<cv::Vec3b>(frameHeight - 1, 5), cv::Vec3b(255, 255, 255));
    EXPECT_EQ(pipeline.buffers().renderImage.at<cv::Vec3b>(0, 5), cv::Vec3b(0, 0, 0));
    EXPECT_TRUE(pipeline.personPresent());
    EXPECT_DOUBLE_EQ(pipeline.trackingTemperature(), 36.5);
}

TEST_F(FramePipelineTest, MaskFileIsReadAfreshForEveryFrame) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("frame-pipeline-masks-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "Zonara");
    host.folder = folder.string();
    const std::string maskPath = files::stationMaskFilePath(host.folder);

    maskfile::MaskRecords masks{};
    masks[2] = MaskInfo{2, 1, 25, 5, 30, 60, uint16_t(frameWidth), uint16_t(frameHeight)};
    const maskfile::FileBytes bytes = maskfile::encodeRecords(masks);
    ASSERT_TRUE(files::writeFileAtomically(maskPath, bytes.data(), bytes.size()));

    const PixelFrame frame = sceneWithPerson();
    pipeline.processFrame(frame.view());
    EXPECT_FALSE(pipeline.personPresent());

    masks[2].bEnabled = 0;
    const maskfile::FileBytes disabled = maskfile::encodeRecords(masks);
    ASSERT_TRUE(files::writeFileAtomically(maskPath, disabled.data(), disabled.size()));
    pipeline.processFrame(frame.view());
    EXPECT_TRUE(pipeline.personPresent());

    std::filesystem::remove_all(folder);
}

TEST_F(FramePipelineTest, OperatorValuesTakeEffectOnTheNextFrame) {
    const PixelFrame frame = sceneWithPerson();
    host.settings.frame.detectionCelsius = 37.0;
    pipeline.processFrame(frame.view());
    EXPECT_FALSE(pipeline.personPresent());

    // 95 degrees Fahrenheit, as published: the 36.5 degree person is in the band again.
    host.settings.frame = readFrameSettings({std::string("95"), {}, {}, {}}, TemperatureUnit::Fahrenheit);
    pipeline.processFrame(frame.view());
    EXPECT_TRUE(pipeline.personPresent());
    EXPECT_NEAR(pipeline.frameSettings().detectionCelsius, 35.0, 1e-9);
}

} // namespace
} // namespace calidra
