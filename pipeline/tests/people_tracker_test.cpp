#include "pipeline/people_tracker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace calidra {
namespace {

constexpr int frameWidth = 384;
constexpr int frameHeight = 288;
constexpr uint32_t frameMs = 33;

// A synthetic walker: a 30 x 80 box whose left edge moves speed pixels a frame, standing still
// from stopFrom to stopTo, absent in [missingFrom, missingTo), clipped by the frame like a region.
struct Walker {
    int enter = 0;
    int leave = 0;
    double x = 0.0;
    double speed = 0.0;
    int top = 100;
    double celsius = 36.6;
    int stopFrom = -1;
    int stopTo = -1;
    int missingFrom = -1;
    int missingTo = -1;

    std::optional<cv::Rect> boxAt(int frame) const {
        if (frame < enter || frame >= leave || (frame >= missingFrom && frame < missingTo))
            return std::nullopt;
        int moving = frame - enter;
        if (stopFrom >= 0 && frame >= stopFrom)
            moving -= std::min(frame, stopTo) - stopFrom;
        const cv::Rect box =
            cv::Rect(int(x + speed * moving), top, 30, 80) & cv::Rect(0, 0, frameWidth, frameHeight);
        return box.area() > 0 ? std::optional<cv::Rect>(box) : std::nullopt;
    }
};

struct Expected {
    std::optional<double> reading; // none: not measured
    bool alarmed = false;
};

struct Sequence {
    std::string name;
    std::vector<Walker> walkers;
    int frames = 0;
    std::vector<Expected> results; // in the order the people were first seen
    int unplugAt = -1;             // the camera is lost before this frame
    int blindFrom = -1;            // a NUC runs from this frame up to blindTo
    int blindTo = -1;
};

// Boxes that touch or overlap run together into one region, as the band mask's contours do; the
// run-together region is as warm as its warmest person.
DetectionList regionsAt(const std::vector<Walker>& walkers, int frame) {
    DetectionList regions;
    for (const Walker& walker : walkers)
        if (const std::optional<cv::Rect> box = walker.boxAt(frame))
            regions.push_back(
                {box->x, box->y, box->x + box->width, box->y + box->height, walker.celsius, false});
    for (bool merged = true; merged;) {
        merged = false;
        for (std::size_t a = 0; a < regions.size() && !merged; ++a)
            for (std::size_t b = a + 1; b < regions.size() && !merged; ++b) {
                Detection& first = regions[a];
                const Detection& second = regions[b];
                if (first.right < second.left || second.right < first.left || first.bottom < second.top ||
                    second.bottom < first.top)
                    continue;
                first = {std::min(first.left, second.left),
                         std::min(first.top, second.top),
                         std::max(first.right, second.right),
                         std::max(first.bottom, second.bottom),
                         std::max(first.temperature, second.temperature),
                         false};
                regions.erase(regions.begin() + std::ptrdiff_t(b));
                merged = true;
            }
    }
    return regions;
}

std::vector<PersonResult> play(const Sequence& sequence, PeopleTracker& tracker) {
    std::vector<PersonResult> finished;
    for (int frame = 0; frame < sequence.frames; ++frame) {
        if (frame == sequence.unplugAt) {
            tracker.finishAll(finished);
            break;
        }
        const DetectionList regions = regionsAt(sequence.walkers, frame);
        PeopleTracker::FrameInput input;
        input.detections = &regions;
        input.width = frameWidth;
        input.height = frameHeight;
        input.tick = 1000 + uint32_t(frame) * frameMs;
        input.minimumRegionArea = 400;
        input.alarmCelsius = 37.5;
        input.blind = frame >= sequence.blindFrom && frame < sequence.blindTo;
        tracker.update(input, finished);
    }
    return finished;
}

// Walkers from the left edge to the right one and back, 6 px a frame (about 2 s across).
Walker fromLeft(int enter, double celsius) {
    return Walker{enter, enter + 70, -25.0, 6.0, 100, celsius};
}
Walker fromRight(int enter, double celsius) {
    return Walker{enter, enter + 70, frameWidth - 5.0, -6.0, 100, celsius};
}

std::vector<Sequence> sequences() {
    Walker stopping = fromLeft(0, 37.0);
    stopping.leave = 70 + 90;
    stopping.stopFrom = 30;
    stopping.stopTo = 30 + 90; // 3 s standing in the middle
    Walker besideA = fromLeft(0, 36.2);
    Walker besideB = fromLeft(0, 38.1);
    besideB.top = 190;                            // 10 px below the first: side by side, never touching
    Walker halfIn{0, 120, -15.0, 0.0, 100, 36.9}; // stands at the left edge, half out of the frame
    Walker middle{0, 400, 170.0, 0.0, 100, 36.4};
    Walker blinking = middle;
    blinking.missingFrom = 20;
    blinking.missingTo = 29; // 0.3 s unseen: the same person
    Walker lost = middle;
    lost.missingFrom = 20;
    lost.missingTo = 40; // 0.66 s unseen: finished, then a new person
    Walker behindShutter = fromLeft(0, 36.6);
    behindShutter.missingFrom = 20;
    behindShutter.missingTo = 40;
    Walker glimpse{0, 2, 170.0, 0.0, 100, 39.0};
    Walker atThreshold{0, 60, 170.0, 0.0, 100, 37.5};
    Walker crossingSlow = fromRight(0, 36.5);
    crossingSlow.speed = -3.0;
    crossingSlow.leave = 140;
    // First seen already run together with someone walking out (too small to be a region of its own
    // before); for two frames the two are one region wholly in view and little wider than one person.
    const Walker hiddenAtEntry{60, 130, 364.0, -6.0, 100, 38.0};
    // As that, but the one walking out is too small a part of the picture to be a region from the
    // frame the two come apart.
    Walker outBeforeApart = fromLeft(0, 36.5);
    outBeforeApart.leave = 64;

    return {
        {"crossing pair keeps two numbers",
         {fromLeft(0, 36.5), fromRight(0, 38.0)},
         90,
         {{36.5, false}, {38.0, true}}},
        {"crossing at different speeds",
         {fromLeft(0, 38.4), crossingSlow},
         150,
         {{38.4, true}, {36.5, false}}},
        {"one coming in hidden by another crossing them",
         {fromLeft(0, 36.5), hiddenAtEntry},
         135,
         {{36.5, false}, {38.0, true}}},
        {"one walking out gone before the one hidden at entry comes apart",
         {outBeforeApart, hiddenAtEntry},
         135,
         {{36.5, false}, {38.0, true}}},
        {"side by side", {besideA, besideB}, 90, {{36.2, false}, {38.1, true}}},
        {"a stop of 3 s is one person", {stopping}, 170, {{37.0, false}}},
        {"half in the frame is not measured", {halfIn}, 150, {{std::nullopt, false}}},
        {"unseen 0.3 s keeps the number", {blinking}, 61, {{36.4, false}}, 60},
        {"unseen over 0.5 s is finished", {lost}, 61, {{36.4, false}, {36.4, false}}, 60},
        {"unseen behind the shutter keeps the number", {lost}, 61, {{36.4, false}}, 60, 20, 40},
        {"walking on behind the shutter keeps the number", {behindShutter}, 90, {{36.6, false}}, -1, 20, 40},
        {"a glimpse is nobody", {glimpse}, 10, {}},
        {"unplug finishes people as they stand",
         {middle, fromLeft(10, 38.0)},
         60,
         {{36.4, false}, {38.0, true}},
         40},
        {"at the threshold is an alarm", {atThreshold}, 80, {{37.5, true}}},
        // Each one walks in at the edge the one before is leaving by, their regions run together there.
        {"one out and the next in at the same edge, right then left",
         {fromLeft(0, 36.5), fromRight(66, 38.0), fromLeft(131, 36.8)},
         206,
         {{36.5, false}, {38.0, true}, {36.8, false}}},
    };
}

TEST(PeopleTracker, SyntheticSequences) {
    for (const Sequence& sequence : sequences()) {
        SCOPED_TRACE(sequence.name);
        PeopleTracker tracker;
        const std::vector<PersonResult> results = play(sequence, tracker);
        ASSERT_EQ(results.size(), sequence.results.size());
        for (std::size_t index = 0; index < results.size(); ++index) {
            SCOPED_TRACE(index);
            const PersonResult& result = results[index];
            EXPECT_EQ(result.trackNumber, index + 1);
            ASSERT_EQ(result.readingCelsius.has_value(), sequence.results[index].reading.has_value());
            if (result.readingCelsius) {
                EXPECT_DOUBLE_EQ(*result.readingCelsius, *sequence.results[index].reading);
            }
            EXPECT_EQ(result.alarmed, sequence.results[index].alarmed);
            EXPECT_LE(int32_t(result.firstSeenTick - 1000), int32_t(result.lastSeenTick - 1000));
        }
        EXPECT_EQ(tracker.peopleInView(), 0);
    }
}

TEST(PeopleTracker, SmallRegionsAndCountedFrames) {
    PeopleTracker tracker;
    std::vector<PersonResult> finished;
    // 20 x 20 = 400 px, under a minimum of 401: followed, never counted.
    const DetectionList regions = {{100, 100, 120, 120, 39.0, true}};
    for (uint32_t frame = 0; frame < 10; ++frame) {
        PeopleTracker::FrameInput input{&regions, frameWidth, frameHeight, frame * frameMs, 401, 37.5};
        tracker.update(input, finished);
        if (frame >= 2) {
            EXPECT_EQ(tracker.regionNumbers(), std::vector<uint64_t>{1});
        }
    }
    tracker.finishAll(finished);
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_FALSE(finished[0].readingCelsius);
    EXPECT_EQ(finished[0].countedFrames, 0);
}

} // namespace
} // namespace calidra
