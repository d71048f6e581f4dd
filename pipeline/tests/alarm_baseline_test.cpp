#include "pipeline/alarm_baseline.h"
#include "pipeline/frame_pipeline.h"

#include "testsupport/fake_pipeline_host.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace calidra {
namespace {

// One finished person offered to the learner, and whether it should be learned.
struct Offer {
    std::optional<double> reading;
    bool alarmed = false;
    bool learned = false;
};
Offer kept(double reading) {
    return {reading, false, true};
}
Offer refused(std::optional<double> reading, bool alarmed = false) {
    return {reading, alarmed, false};
}

struct LearnerCase {
    std::string name;
    BaselineSettings settings;
    std::vector<Offer> offers;
    int learned;
    std::optional<double> baseline;
    double threshold;
};

BaselineSettings baselineMode(int count, double delta = 1.0, AlarmMode mode = AlarmMode::Baseline) {
    BaselineSettings settings;
    settings.mode = mode;
    settings.count = count;
    settings.deltaCelsius = delta;
    return settings;
}

TEST(BaselineLearnerTest, LearnsOnlyWhatItShouldAndPutsTheTrimmedMeanInForce) {
    const std::vector<Offer> fiveAt36{kept(36.0), kept(36.0), kept(36.0), kept(36.0), kept(36.0)};
    const auto after = [](std::vector<Offer> first, const std::vector<Offer>& then) {
        first.insert(first.end(), then.begin(), then.end());
        return first;
    };
    // name, settings, offers, then the readings learned, the baseline and the threshold in force.
    // clang-format off
    const std::vector<LearnerCase> cases = {
        {"while learning the fixed threshold holds", baselineMode(5),
         {kept(36.0), kept(36.1), kept(36.2), kept(36.3)}, 4, std::nullopt, 37.5},
        {"the highest and the lowest are left out", baselineMode(5),
         {kept(34.5), kept(36.0), kept(36.2), kept(36.4), kept(37.4)}, 5, 36.2, 37.2},
        {"a feverish, an alarmed, a cold and an unmeasured first person are not learned", baselineMode(5),
         {refused(38.2, true), refused(37.5), refused(29.9), refused(std::nullopt)}, 0, std::nullopt, 37.5},
        {"once learned, only readings within two margins below and under the threshold", baselineMode(5),
         after(fiveAt36, {refused(33.9), refused(37.0), kept(34.0), kept(36.9)}), 5, 36.0, 37.0},
        {"only the last count readings make the baseline", baselineMode(5, 0.5),
         {kept(35.0), kept(35.2), kept(35.3), kept(35.4), kept(35.5), kept(35.6), kept(35.7)}, 5, 35.5, 36.0},
        {"mode Fixed learns below both thresholds and keeps the fixed one in force",
         baselineMode(5, 1.0, AlarmMode::Fixed), after(fiveAt36, {refused(37.1)}), 5, std::nullopt, 37.5},
    };
    // clang-format on
    for (const LearnerCase& example : cases) {
        SCOPED_TRACE(example.name);
        BaselineLearner learner;
        for (std::size_t index = 0; index < example.offers.size(); ++index) {
            PersonResult person;
            person.readingCelsius = example.offers[index].reading;
            person.alarmed = example.offers[index].alarmed;
            EXPECT_EQ(learner.offer(person, example.settings, 37.5), example.offers[index].learned)
                << "offer " << index;
        }
        const BaselineStatus status = learner.update(example.settings, 37.5, 0);
        EXPECT_EQ(status.learned, example.learned);
        ASSERT_EQ(status.baselineCelsius.has_value(), example.baseline.has_value());
        if (example.baseline) {
            EXPECT_NEAR(*status.baselineCelsius, *example.baseline, 1e-9);
        }
        EXPECT_NEAR(status.thresholdCelsius, example.threshold, 1e-9);
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
TEST(BaselinePipelineTest, TheFrameAlarmFollowsTheThresholdInForceAndTheModeAtOnce) {
    FakePipelineHost host;
    host.tickStepMs = 20;
    host.settings.frame = FrameSettings{};
    host.settings.baseline = baselineMode(5);
    FramePipeline pipeline(host);
    pipeline.allocateBuffers(96, 80);
    const PixelFrame empty(96, 80, PixelFormat::Direct16, 250);
    const auto personAt = [&](double celsius) {
        PixelFrame frame = empty;
        frame.fill(30, 10, 20, 50, uint16_t(celsius * 10.0 + 0.5));
        return frame;
    };
    const auto regionAlarmed = [&](double celsius) {
        pipeline.processFrame(personAt(celsius).view());
        const DetectionList& detections = pipeline.detectionResults().detections;
        return detections.size() == 1 && detections.front().alarm;
    };
    for (int person = 0; person < 5; ++person) { // each measured, then gone long enough to be finished
        for (int frame = 0; frame < 20; ++frame)
            pipeline.processFrame(frame < 5 ? personAt(36.0).view() : empty.view());
    }
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
    ASSERT_TRUE(host.baselineReports.back().baselineCelsius);
    EXPECT_NEAR(*host.baselineReports.back().baselineCelsius, 36.0, 0.05);

    pipeline.resetBaseline();
    EXPECT_EQ(host.baselineReports.back().learned, 0);
    EXPECT_FALSE(regionAlarmed(37.2));
}

} // namespace
} // namespace calidra
