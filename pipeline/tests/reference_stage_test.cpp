#include "pipeline/frame_pipeline.h"

#include "testsupport/fake_pipeline_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace calidra {
namespace {

constexpr int width = 160;
constexpr int height = 120;
const cv::Rect referenceRect(130, 8, 20, 20);
const cv::Rect personRect(40, 40, 20, 40);

// A drifting camera: every pixel reads error + the offset node's value too high.
class DriftingCamera {
public:
    DriftingCamera(FakePipelineHost& host, double errorCelsius) : host_(host), error_(errorCelsius) {}

    PixelFrame frame(std::optional<double> personCelsius, double referenceCelsius = 35.0) const {
        PixelFrame pixels(width, height, PixelFormat::Offset16, code(22.0));
        pixels.fill(referenceRect.x, referenceRect.y, referenceRect.width, referenceRect.height,
                    code(referenceCelsius));
        if (personCelsius)
            pixels.fill(personRect.x, personRect.y, personRect.width, personRect.height,
                        code(*personCelsius));
        return pixels;
    }

private:
    uint16_t code(double trueCelsius) const {
        return uint16_t(std::lround((trueCelsius + error_ + host_.nodeValue) * 10.0) + 1000);
    }
    FakePipelineHost& host_;
    double error_;
};

class ReferenceStageTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.tickStepMs = 10;
        host.settings.frame.alarmCelsius = 37.5;
        host.settings.reference.correcting = true;
        host.settings.reference.region = {ReferenceLoss::None, referenceRect.x, referenceRect.y,
                                          referenceRect.width, referenceRect.height};
        pipeline.allocateBuffers(width, height);
    }

    // Frames for this many milliseconds of the host's clock, each drawn with the offset in force.
    void run(const DriftingCamera& camera, std::optional<double> personCelsius, uint32_t milliseconds,
             double referenceCelsius = 35.0) {
        const uint32_t end = host.tick + milliseconds;
        for (int frame = 0; frame < 10000 && int32_t(end - host.tick) > 0; ++frame)
            pipeline.processFrame(camera.frame(personCelsius, referenceCelsius).view());
    }
    bool referenceDetected() const {
        for (const Detection& detection : pipeline.detectionResults().detections)
            if (cv::Rect(detection.left, detection.top, detection.right - detection.left,
                         detection.bottom - detection.top) == referenceRect)
                return true;
        return false;
    }

    FakePipelineHost host;
    FramePipeline pipeline{host};
};

TEST_F(ReferenceStageTest, AfterLockFeverAlarmsAndNormalDoesNotWhateverTheDrift) {
    for (const double error : {1.4, -1.3}) {
        SCOPED_TRACE(error);
        host.nodeValue = 0.0;
        host.alarmCourse.clear();
        const DriftingCamera camera(host, error);

        // Without the reference the drift decides: a normal person alarms, or a feverish one not.
        host.settings.reference.correcting = false;
        run(camera, error > 0 ? 36.6 : 38.2, 1500);
        EXPECT_EQ(pipeline.alarmOn(), error > 0);
        run(camera, std::nullopt, 1500);
        EXPECT_FALSE(referenceDetected());

        // Mode Reference: searching first (paused, the person boxed without a reading), then locked.
        host.settings.reference.correcting = true;
        host.alarmCourse.clear();
        run(camera, 38.2, 1000);
        EXPECT_TRUE(pipeline.screeningPaused());
        EXPECT_FALSE(pipeline.alarmOn());
        EXPECT_EQ(pipeline.trackingTemperature(), 0.0);
        EXPECT_EQ(pipeline.detectionResults().detections.size(), 1u);
        run(camera, std::nullopt, 2500);
        ASSERT_EQ(host.referenceReports.back().state, ReferenceState::Locked);
        EXPECT_NEAR(host.nodeValue, -error, 0.06);
        EXPECT_EQ(host.alarmCourse.find('+'), std::string::npos);

        run(camera, 36.6, 1500);
        EXPECT_FALSE(pipeline.alarmOn());
        EXPECT_NEAR(pipeline.trackingTemperature(), 36.6, 0.11);
        run(camera, 38.2, 500);
        EXPECT_TRUE(pipeline.alarmOn());
        EXPECT_FALSE(referenceDetected());
        run(camera, std::nullopt, 1500);
        EXPECT_FALSE(pipeline.alarmOn());
    }
}

TEST_F(ReferenceStageTest, NothingReadBeforeTheCorrectionReachedTheReadingsIsScreened) {
    // A normal person stands in view while the source is found: the frames still carrying the
    // drift (searching, and the one the correction was written after) neither alarm nor measure.
    const DriftingCamera camera(host, 1.4);
    run(camera, 36.6, 3500);
    ASSERT_EQ(host.referenceReports.back().state, ReferenceState::Locked);
    run(camera, std::nullopt, 1000);
    EXPECT_EQ(host.alarmCourse.find('+'), std::string::npos) << host.alarmCourse;
    ASSERT_EQ(host.finishedPeople.size(), 1u);
    ASSERT_TRUE(host.finishedPeople[0].readingCelsius);
    EXPECT_NEAR(*host.finishedPeople[0].readingCelsius, 36.6, 0.11);
    EXPECT_FALSE(host.finishedPeople[0].alarmed);
}

TEST_F(ReferenceStageTest, ACorrectionTheCameraTakesLateIsWaitedForAndOneNeverTakenSearchedAgain) {
    const DriftingCamera camera(host, 1.4);
    host.holdCorrections = true;
    run(camera, 36.6, 3000);
    ASSERT_EQ(host.correctionWrites.size(), 1u);
    EXPECT_EQ(host.referenceReports.back().state, ReferenceState::Searching); // told, paused
    EXPECT_TRUE(pipeline.screeningPaused());
    host.nodeValue = *host.heldCorrection; // a second after the lock
    run(camera, 36.6, 500);
    EXPECT_EQ(host.referenceReports.back().state, ReferenceState::Locked);
    EXPECT_FALSE(pipeline.screeningPaused());
    run(camera, std::nullopt, 1000);
    EXPECT_EQ(host.alarmCourse.find('+'), std::string::npos) << host.alarmCourse;
    ASSERT_EQ(host.finishedPeople.size(), 1u);
    EXPECT_NEAR(host.finishedPeople[0].readingCelsius.value_or(0.0), 36.6, 0.11);

    // A camera that never takes the next one (a jump of the source's own reading): after the hold
    // time the source is searched afresh from the offset the camera holds, paused throughout.
    host.referenceReports.clear();
    run(camera, 36.6, 3000, 36.0);
    ASSERT_GE(host.correctionWrites.size(), 2u);
    EXPECT_TRUE(pipeline.screeningPaused());
    run(camera, 36.6, host.settings.reference.holdMs + 1000, 36.0);
    EXPECT_TRUE(
        std::any_of(host.referenceReports.begin(), host.referenceReports.end(),
                    [](const ReferenceReport& report) { return report.state == ReferenceState::Searching; }));
    EXPECT_TRUE(pipeline.screeningPaused());
    EXPECT_EQ(host.alarmCourse.find('+'), std::string::npos) << host.alarmCourse;
}

TEST_F(ReferenceStageTest, NoAlarmWhileLostAndAnAlarmOnEndsWithTheLoss) {
    const DriftingCamera camera(host, 0.8);
    run(camera, std::nullopt, 2500);
    ASSERT_FALSE(pipeline.screeningPaused());
    run(camera, 38.5, 500);
    ASSERT_TRUE(pipeline.alarmOn());

    // The source is switched off (it reads the room) with the feverish person still in view.
    run(camera, 38.5, 2500, 22.0);
    EXPECT_EQ(host.referenceReports.back().state, ReferenceState::Lost);
    EXPECT_EQ(host.referenceReports.back().loss, ReferenceLoss::Jumped);
    EXPECT_FALSE(pipeline.alarmOn());
    EXPECT_EQ(host.alarmChanges.back(), false);
    const std::size_t course = host.alarmCourse.size();
    run(camera, 38.5, 3000, 22.0);
    EXPECT_EQ(host.alarmCourse.size(), course);
    EXPECT_EQ(host.alarmCourse.back(), '-');

    // No usable rectangle at all: lost with that reason from the first frame on.
    host.settings.reference.region.problem = ReferenceLoss::FileDamaged;
    run(camera, 38.5, 1000);
    EXPECT_EQ(host.referenceReports.back().loss, ReferenceLoss::FileDamaged);
    host.settings.reference.region = {ReferenceLoss::None, width - 10, 8, 20, 20};
    run(camera, 38.5, 1000);
    EXPECT_EQ(host.referenceReports.back().loss, ReferenceLoss::OutsideFrame);
    EXPECT_EQ(host.alarmCourse.size(), course);
    EXPECT_TRUE(pipeline.screeningPaused());
}

} // namespace
} // namespace calidra
