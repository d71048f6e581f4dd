#include "pipeline/alarm_baseline.h"
#include "pipeline/frame_pipeline.h"

#include "testsupport/fake_pipeline_host.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace calidra {
namespace {

// One finished person offered to the learner, and what should come of it.
struct Offer {
    std::optional<double> reading;
    bool alarmed = false;
    bool learned = false;
    uint32_t tick = 0;
};

struct Expected {
    int learned = 0;
    std::optional<double> baseline;
    double threshold = 37.5;
};

struct LearnerCase {
    std::string name;
    BaselineSettings settings;
    std::vector<Offer> offers;
    Expected after;
};

BaselineSettings baselineMode(int count, double delta = 1.0) {
    BaselineSettings settings;
    settings.mode = AlarmMode::Baseline;
    settings.count = count;
    settings.deltaCelsius = delta;
    return settings;
}

BaselineSettings fixedMode(int count) {
    BaselineSettings settings = baselineMode(count);
    settings.mode = AlarmMode::Fixed;
    return settings;
}

TEST(BaselineLearnerTest, LearnsOnlyWhatItShouldAndPutsTheTrimmedMeanInForce) {
    const std::vector<LearnerCase> cases = {
        {"while learning the fixed threshold holds",
         baselineMode(5),
         {{36.0, false, true}, {36.1, false, true}, {36.2, false, true}, {36.3, false, true}},
         {4, std::nullopt, 37.5}},
        {"the highest and the lowest are left out",
         baselineMode(5),
         {{34.5, false, true},
          {36.0, false, true},
          {36.2, false, true},
          {36.4, false, true},
          {37.4, false, true}},
         {5, 36.2, 37.2}},
        {"a feverish, an alarmed, a cold and an unmeasured first person are not learned",
         baselineMode(5),
         {{38.2, true, false}, {37.5, false, false}, {29.9, false, false}, {std::nullopt, false, false}},
         {0, std::nullopt, 37.5}},
        {"once learned, only readings within two margins below and under the threshold",
         baselineMode(5),
         {{36.0, false, true},
          {36.0, false, true},
          {36.0, false, true},
          {36.0, false, true},
          {36.0, false, true},
          {33.9, false, false},
          {37.0, false, false},
          {34.0, false, true},
          {36.9, false, true}},
         {5, 36.0, 37.0}},
        {"only the last count readings make the baseline",
         baselineMode(5, 0.5),
         {{35.0, false, true},
          {35.2, false, true},
          {35.3, false, true},
          {35.4, false, true},
          {35.5, false, true},
          {35.6, false, true},
          {35.7, false, true}},
         {5, 35.5, 36.0}},
        {"mode Fixed learns below both thresholds and keeps the fixed one in force",
         fixedMode(5),
         {{36.0, false, true},
          {36.0, false, true},
          {36.0, false, true},
          {36.0, false, true},
          {36.0, false, true},
          {37.1, false, false}},
         {5, std::nullopt, 37.5}},
    };
    for (const LearnerCase& example : cases) {
        SCOPED_TRACE(example.name);
        BaselineLearner learner;
        for (std::size_t index = 0; index < example.offers.size(); ++index) {
            const Offer& offer = example.offers[index];
            PersonResult person;
            person.readingCelsius = offer.reading;
            person.alarmed = offer.alarmed;
            person.lastSeenTick = offer.tick;
            EXPECT_EQ(learner.offer(person, example.settings, 37.5), offer.learned) << "offer " << index;
        }
        const BaselineStatus status = learner.update(example.settings, 37.5, 0);
        EXPECT_EQ(status.learned, example.after.learned);
        ASSERT_EQ(status.baselineCelsius.has_value(), example.after.baseline.has_value());
        if (example.after.baseline) {
            EXPECT_NEAR(*status.baselineCelsius, *example.after.baseline, 1e-9);
        }
        EXPECT_NEAR(status.thresholdCelsius, example.after.threshold, 1e-9);
    }
}

TEST(BaselineLearnerTest, RelearnsWhenNobodyWasMeasuredForTheResetTime) {
    BaselineSettings settings = baselineMode(5);
    settings.resetMinutes = 2;
    BaselineLearner learner;
    PersonResult person;
    person.readingCelsius = 36.0;
    for (uint32_t tick : {1000u, 2000u, 3000u, 4000u, 0xFFFFFF00u}) { // the last one across the wrap
        person.lastSeenTick = tick;
        learner.offer(person, settings, 37.5);
    }
    PersonResult unmeasured;
    unmeasured.lastSeenTick = 0xFFFFFF00u + 100000u;
    learner.offer(unmeasured, settings, 37.5); // not measured: the clock keeps running
    EXPECT_EQ(learner.update(settings, 37.5, 0xFFFFFF00u + 119999u).learned, 5);
    const BaselineStatus afterReset = learner.update(settings, 37.5, 0xFFFFFF00u + 120000u);
    EXPECT_EQ(afterReset.learned, 0);
    EXPECT_EQ(afterReset.thresholdCelsius, 37.5);

    settings.resetMinutes = 0; // never
    for (uint32_t tick : {1000u, 2000u, 3000u, 4000u, 5000u}) {
        person.lastSeenTick = tick;
        learner.offer(person, settings, 37.5);
    }
    EXPECT_EQ(learner.update(settings, 37.5, 4000000000u).learned, 5);
}

// The whole frame procedure: regions are compared with the threshold in force, a change of mode
// counts from the next frame, and the host hears of each change of the status.
class BaselinePipelineTest : public ::testing::Test {
protected:
    BaselinePipelineTest() : pipeline(host) {
        host.tickStepMs = 20;
        host.settings.frame.detectionCelsius = 32.0;
        host.settings.frame.alarmCelsius = 37.5;
        host.settings.frame.minimumRegionArea = 40;
        host.settings.baseline = baselineMode(5);
        pipeline.allocateBuffers(96, 80);
    }

    PixelFrame personAt(double celsius) const {
        PixelFrame frame(96, 80, PixelFormat::Direct16, 250);
        frame.fill(30, 10, 20, 50, uint16_t(celsius * 10.0 + 0.5));
        return frame;
    }
    // Seen long enough to be measured, then gone long enough to be finished.
    void passBy(double celsius) {
        const PixelFrame person = personAt(celsius);
        for (int frame = 0; frame < 5; ++frame)
            pipeline.processFrame(person.view());
        const PixelFrame empty(96, 80, PixelFormat::Direct16, 250);
        for (int frame = 0; frame < 15; ++frame)
            pipeline.processFrame(empty.view());
    }
    bool regionAlarmed(double celsius) {
        pipeline.processFrame(personAt(celsius).view());
        const DetectionList& detections = pipeline.detectionResults().detections;
        EXPECT_EQ(detections.size(), 1u);
        return !detections.empty() && detections.front().alarm;
    }

    FakePipelineHost host;
    FramePipeline pipeline;
};

TEST_F(BaselinePipelineTest, TheFrameAlarmFollowsTheThresholdInForceAndTheModeAtOnce) {
    for (int person = 0; person < 5; ++person)
        passBy(36.0);
    EXPECT_NEAR(pipeline.alarmThresholdCelsius(), 37.0, 0.05);
    EXPECT_TRUE(regionAlarmed(37.2));
    EXPECT_NEAR(pipeline.frameSettings().alarmCelsius, 37.0, 0.05);

    host.settings.baseline.mode = AlarmMode::Fixed;
    EXPECT_FALSE(regionAlarmed(37.2));
    EXPECT_EQ(pipeline.alarmThresholdCelsius(), 37.5);
    host.settings.baseline.mode = AlarmMode::Baseline;
    EXPECT_TRUE(regionAlarmed(37.2));

    ASSERT_FALSE(host.baselineReports.empty());
    EXPECT_EQ(host.baselineReports.front().learned, 0);
    EXPECT_EQ(host.baselineReports.back().mode, AlarmMode::Baseline);
    ASSERT_TRUE(host.baselineReports.back().baselineCelsius);
    EXPECT_NEAR(*host.baselineReports.back().baselineCelsius, 36.0, 0.05);

    pipeline.resetBaseline();
    EXPECT_EQ(host.baselineReports.back().learned, 0);
    EXPECT_EQ(pipeline.alarmThresholdCelsius(), 37.5);
    EXPECT_FALSE(regionAlarmed(37.2));
}

} // namespace
} // namespace calidra
