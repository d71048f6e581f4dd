#include "pipeline/reference_tracker.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace calidra {
namespace {

constexpr uint32_t frameMs = 40; // 25 frames a second
const ReferenceTrackerSettings settings{35.0, 10000};

// Replays a recorded sequence: one sample per frame from fromMs to before toMs. Returns the
// states it passed through, each once per run ("S L H L").
std::string replay(ReferenceTracker& tracker, uint32_t fromMs, uint32_t toMs,
                   const std::function<ReferenceSample(uint32_t)>& sampleAt) {
    std::string states;
    for (uint32_t tick = fromMs; tick < toMs; tick += frameMs) {
        const char letter = "OSLHX"[int(tracker.update(sampleAt(tick), tick, settings))];
        if (states.empty() || states.back() != letter)
            states += letter;
    }
    return states;
}

ReferenceSample source(double celsius) {
    return {celsius, true};
}

TEST(ReferenceTrackerTest, LocksOnlyOnTwoSecondsOfSteadyGoodSamples) {
    ReferenceTracker tracker;
    tracker.restart();
    // Far from the set temperature (a cold source), then warming at 0.5 °C a second: no lock.
    EXPECT_EQ(replay(tracker, 0, 3000, [](uint32_t) { return source(25.0); }), "S");
    EXPECT_EQ(replay(tracker, 3000, 9000, [](uint32_t t) { return source(31.0 + (t - 3000) * 0.0005); }),
              "S");
    // Settled 1.2 °C above the set temperature (the camera reads high): locked after 2 s.
    uint32_t lockedAt = 0;
    for (uint32_t tick = 9000; tick < 12000 && lockedAt == 0; tick += frameMs)
        if (tracker.update(source(36.2), tick, settings) == ReferenceState::Locked)
            lockedAt = tick;
    EXPECT_GE(lockedAt, 11000u);
    EXPECT_LE(lockedAt, 11000u + 2 * frameMs);
    EXPECT_NEAR(tracker.correctionCelsius(), -1.2, 1e-9);
}

TEST(ReferenceTrackerTest, PasserByHoldsTakenAwayLosesAfterTheHoldBackLocksAgain) {
    ReferenceTracker tracker;
    tracker.restart();
    EXPECT_EQ(replay(tracker, 0, 3000, [](uint32_t) { return source(34.0); }), "SL");
    // A person crossing in front for 3 s: half covered (not uniform), then covered by a warm face.
    EXPECT_EQ(replay(tracker, 3000, 6000,
                     [](uint32_t t) {
                         return t < 4000 || t >= 5000 ? ReferenceSample{35.0, false} : source(36.6);
                     }),
              "H");
    EXPECT_EQ(replay(tracker, 6000, 7000, [](uint32_t) { return source(34.05); }), "L");
    EXPECT_NEAR(tracker.correctionCelsius(), 1.0, 0.05);

    // Hidden for good: holding for the hold time, then lost, unseen.
    const std::string hidden = replay(tracker, 7000, 20000, [](uint32_t) {
        return ReferenceSample{30.0, false};
    });
    EXPECT_EQ(hidden, "HX");
    EXPECT_EQ(tracker.loss(), ReferenceLoss::Unseen);
    EXPECT_NEAR(tracker.correctionCelsius(), 1.0, 0.05); // the last one stays known

    // Back: searching again, locked once steady.
    EXPECT_EQ(replay(tracker, 20000, 23000, [](uint32_t) { return source(34.3); }), "SL");
    EXPECT_NEAR(tracker.correctionCelsius(), 0.7, 1e-9);
}

TEST(ReferenceTrackerTest, HoldEndsExactlyAfterTheHoldTime) {
    ReferenceTracker tracker;
    tracker.restart();
    replay(tracker, 0, 2100, [](uint32_t) { return source(35.0); });
    ASSERT_EQ(tracker.state(), ReferenceState::Locked);
    const uint32_t lastGood = 2080;
    const ReferenceSample covered{36.0, false};
    EXPECT_EQ(tracker.update(covered, lastGood + 10000, settings), ReferenceState::Holding);
    EXPECT_EQ(tracker.update(covered, lastGood + 10001, settings), ReferenceState::Lost);
}

TEST(ReferenceTrackerTest, ASourceSwitchedOffIsLostBeforeTheHoldEnds) {
    ReferenceTracker tracker;
    tracker.restart();
    replay(tracker, 0, 3000, [](uint32_t) { return source(35.0); });
    // It cools towards a 22 °C room within a second and stays there.
    EXPECT_EQ(replay(tracker, 3000, 7000, [](uint32_t t) { return source(t < 4000 ? 30.0 : 22.0); }), "HX");
    EXPECT_EQ(tracker.loss(), ReferenceLoss::Jumped);
    EXPECT_NEAR(tracker.jumpDropCelsius(), 13.0, 0.01);
}

TEST(ReferenceTrackerTest, FollowsSlowDriftAndIgnoresOutliers) {
    ReferenceTracker tracker;
    tracker.restart();
    replay(tracker, 0, 2500, [](uint32_t) { return source(35.5); });
    // The camera drifts 0.6 °C a minute; a noisy outlier now and then is not taken.
    const auto drifting = [](uint32_t t) {
        if ((t - 2500) % 1000 == 0)
            return source(37.0);
        return source(35.5 + (t - 2500) * 0.00001);
    };
    EXPECT_EQ(replay(tracker, 2500, 62500, drifting).find('X'), std::string::npos);
    EXPECT_NEAR(tracker.correctionCelsius(), 35.0 - (35.5 + 0.6), 0.05);
}

TEST(ReferenceTrackerTest, UnusableRegionIsLostWithItsReasonUntilSeenAgain) {
    ReferenceTracker tracker;
    tracker.restart();
    EXPECT_EQ(tracker.regionUnusable(ReferenceLoss::FileNotRegular), ReferenceState::Lost);
    EXPECT_EQ(tracker.loss(), ReferenceLoss::FileNotRegular);
    EXPECT_EQ(tracker.update(source(35.0), 100, settings), ReferenceState::Searching);
    EXPECT_EQ(tracker.loss(), ReferenceLoss::None);
    tracker.switchOff();
    EXPECT_EQ(tracker.state(), ReferenceState::Off);
    EXPECT_EQ(tracker.correctionCelsius(), 0.0);
}

} // namespace
} // namespace calidra
