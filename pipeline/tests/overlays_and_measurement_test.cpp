#include "pipeline/compensation_measurement.h"
#include "pipeline/overlays.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <thread>

namespace calidra {
namespace {

int countColour(const cv::Mat& picture, const cv::Vec3b& colour) {
    int count = 0;
    for (int y = 0; y < picture.rows; ++y)
        for (int x = 0; x < picture.cols; ++x)
            count += picture.at<cv::Vec3b>(y, x) == colour ? 1 : 0;
    return count;
}

const cv::Vec3b red(0, 0, 255);
const cv::Vec3b green(0, 255, 0);

TEST(OverlaysTest, AlarmedRegionGetsARedOnePixelRectangle) {
    cv::Mat picture(200, 200, CV_8UC3, cv::Scalar::all(0));
    drawOverlays(picture, {{10, 20, 60, 120, 38.2, true}}, 0, TemperatureUnit::Celsius);
    EXPECT_EQ(picture.at<cv::Vec3b>(20, 10), red);
    EXPECT_EQ(picture.at<cv::Vec3b>(119, 59), red);
    EXPECT_NE(picture.at<cv::Vec3b>(120, 60), red);
    EXPECT_NE(picture.at<cv::Vec3b>(21, 11), red);
    // Outline of 50 x 100 one pixel wide: 2 * 50 + 2 * 98 pixels (labels are green).
    EXPECT_EQ(countColour(picture, red), 2 * 50 + 2 * 98);
}

TEST(OverlaysTest, LabelBaselineAndSizeFollowTheFontSetting) {
    const auto labelBox = [](int fontSize, double celsius, TemperatureUnit unit) {
        cv::Mat picture(200, 300, CV_8UC3, cv::Scalar::all(0));
        drawOverlays(picture, {{10, 60, 200, 190, celsius, false}}, fontSize, unit);
        // The label's own pixels: green inside the rectangle's interior.
        cv::Mat inside = picture(cv::Rect(11, 0, 188, 189));
        cv::Mat mask;
        cv::inRange(inside, cv::Scalar(0, 255, 0), cv::Scalar(0, 255, 0), mask);
        mask(cv::Rect(0, 60, 188, 1)).setTo(0); // the rectangle's top edge
        return cv::boundingRect(mask);
    };
    const cv::Rect normal = labelBox(0, 38.2, TemperatureUnit::Celsius);
    const cv::Rect large = labelBox(1, 38.2, TemperatureUnit::Celsius);
    const cv::Rect other = labelBox(2, 38.2, TemperatureUnit::Celsius);
    EXPECT_EQ(normal.y + normal.height, 60 + 23 + 1); // baseline at top + 23; '.' sits on it
    EXPECT_EQ(large.y + large.height, 60 + 33 + 1);
    EXPECT_GT(large.width, normal.width);
    EXPECT_LE(other.y + other.height, 61); // on the rectangle's top edge, standing above it

    // "100.8" in Fahrenheit is one glyph wider than "38.2".
    const cv::Rect fahrenheit = labelBox(0, 38.2, TemperatureUnit::Fahrenheit);
    EXPECT_GT(fahrenheit.width, normal.width + 10);
    cv::Mat drawn(60, 200, CV_8UC3, cv::Scalar::all(0));
    cv::putText(drawn, "100.8", cv::Point(1, 40), cv::FONT_HERSHEY_DUPLEX, 1.0, cv::Scalar(0, 255, 0), 1);
    cv::Mat drawnMask;
    cv::inRange(drawn, cv::Scalar(0, 255, 0), cv::Scalar(0, 255, 0), drawnMask);
    EXPECT_EQ(cv::boundingRect(drawnMask).width, fahrenheit.width);
}

TEST(OverlaysTest, LaterDetectionsDrawOverEarlierOnesAndLabelsMayLeaveThePicture) {
    cv::Mat picture(50, 50, CV_8UC3, cv::Scalar::all(0));
    drawOverlays(picture, {{5, 5, 30, 30, 36.0, true}, {5, 5, 30, 30, 36.0, false}}, 1,
                 TemperatureUnit::Celsius);
    EXPECT_EQ(picture.at<cv::Vec3b>(5, 5), green);
    drawOverlays(picture, {{40, 45, 60, 70, 36.0, false}}, 1, TemperatureUnit::Celsius); // no crash
}

cv::Mat greenOf(const cv::Mat& picture) {
    cv::Mat mask;
    cv::inRange(picture, cv::Scalar(0, 255, 0), cv::Scalar(0, 255, 0), mask);
    return mask;
}

// The pixels of the whole label drawn in open space.
int labelInk(const char* text, int fontSize) {
    cv::Mat open(200, 400, CV_8UC3, cv::Scalar::all(0));
    cv::putText(open, text, cv::Point(50, 100), cv::FONT_HERSHEY_DUPLEX, labelStyle(fontSize).fontScale,
                cv::Scalar(0, 255, 0), labelStrokeThickness, cv::LINE_8);
    return cv::countNonZero(greenOf(open));
}

// Alarmed regions have red outlines, so the green pixels are the labels alone.
TEST(LabelPlacementTest, LabelsAtTheEdgesAreWholeInsideThePicture) {
    const cv::Size camera(384, 288);
    for (int fontSize : {0, 1}) {
        const struct {
            Detection person;
            const char* label;
        } edges[] = {
            {{350, 60, 384, 288, 38.3, true}, "38.3"},  // the right edge
            {{100, 270, 160, 288, 36.8, true}, "36.8"}, // a head at the bottom edge
            {{0, 0, 20, 40, 37.9, true}, "37.9"},       // a narrow one in the corner
        };
        for (const auto& edge : edges) {
            cv::Mat picture(camera, CV_8UC3, cv::Scalar::all(0));
            drawOverlays(picture, {edge.person}, fontSize, TemperatureUnit::Celsius);
            EXPECT_EQ(cv::countNonZero(greenOf(picture)), labelInk(edge.label, fontSize))
                << edge.label << " font " << fontSize;
        }
    }
}

TEST(LabelPlacementTest, NeighboursLabelsDoNotOverlapAndFittingLabelsStayPut) {
    for (int fontSize : {0, 1}) {
        // Two people side by side, each narrower than a label.
        const Detection first{100, 50, 140, 280, 36.8, true};
        const Detection second{142, 52, 182, 280, 36.5, true};
        cv::Mat alone(288, 384, CV_8UC3, cv::Scalar::all(0));
        drawOverlays(alone, {first}, fontSize, TemperatureUnit::Celsius);
        cv::Mat both(288, 384, CV_8UC3, cv::Scalar::all(0));
        drawOverlays(both, {first, second}, fontSize, TemperatureUnit::Celsius);
        const cv::Mat firstLabel = greenOf(alone);
        const cv::Mat secondLabel = greenOf(both) & ~firstLabel;
        // The later label whole, sharing no pixel with the first, and their boxes apart.
        EXPECT_EQ(cv::countNonZero(secondLabel), labelInk("36.5", fontSize)) << "font " << fontSize;
        EXPECT_TRUE((cv::boundingRect(firstLabel) & cv::boundingRect(secondLabel)).empty())
            << cv::boundingRect(firstLabel) << " and " << cv::boundingRect(secondLabel);

        // A label that fits where it always stood keeps its pixels.
        cv::Mat before(288, 384, CV_8UC3, cv::Scalar::all(0));
        cv::rectangle(before, cv::Rect(100, 50, 40, 230), cv::Scalar(0, 0, 255), 1, cv::LINE_8);
        cv::putText(before, "36.8", cv::Point(101, 50 + labelStyle(fontSize).offsetBelowTopPixels),
                    cv::FONT_HERSHEY_DUPLEX, labelStyle(fontSize).fontScale, cv::Scalar(0, 255, 0),
                    labelStrokeThickness, cv::LINE_8);
        EXPECT_EQ(cv::countNonZero(cv::Mat(alone != before).reshape(1)), 0);
    }
}

DetectionList people(std::initializer_list<std::pair<cv::Size, double>> sizes) {
    DetectionList list;
    int left = 0;
    for (const auto& [size, celsius] : sizes) {
        list.push_back({left, 0, left + size.width, size.height, celsius, false});
        left += size.width + 1;
    }
    return list;
}

// The pipeline keeps only the footprint's pixels to give the clean picture back: a pixel drawn
// outside it would leave an overlay in the mask editor's picture.
TEST(OverlaysTest, FootprintHoldsEveryPixelTheOverlaysChange) {
    cv::RNG random(7);
    std::vector<cv::Rect> areas;
    for (int trial = 0; trial < 60; ++trial) {
        const cv::Size size(random.uniform(40, 300), random.uniform(30, 200));
        DetectionList detections;
        for (int count = random.uniform(1, 5); count > 0; --count) {
            const int left = random.uniform(0, size.width - 1);
            const int top = random.uniform(0, size.height - 1);
            detections.push_back(Detection{left, top, random.uniform(left + 1, size.width + 1),
                                           random.uniform(top + 1, size.height + 1),
                                           random.uniform(-20.0, 45.0), random.uniform(0, 2) == 1});
        }
        const int fontSize = trial % 3;
        const auto unit = trial % 2 == 0 ? TemperatureUnit::Celsius : TemperatureUnit::Fahrenheit;
        cv::Mat picture(size, CV_8UC3);
        random.fill(picture, cv::RNG::UNIFORM, 0, 256);
        cv::Mat drawn = picture.clone();
        drawOverlays(drawn, detections, fontSize, unit);
        overlayFootprint(detections, fontSize, unit, size, areas);
        cv::Mat covered(size, CV_8UC1, cv::Scalar(0));
        for (const cv::Rect& area : areas)
            covered(area).setTo(255);
        cv::Mat difference;
        cv::absdiff(drawn, picture, difference);
        cv::Mat changed;
        cv::transform(difference, changed, cv::Matx13f(1, 1, 1));
        ASSERT_EQ(cv::countNonZero(changed & ~covered), 0) << "trial " << trial;
        // Edges and labels, not whole regions; labels are kept inside the picture, so a picture
        // smaller than one label is wholly covered.
        int baseline = 0;
        const cv::Size largestLabel =
            cv::getTextSize("-000.0", cv::FONT_HERSHEY_DUPLEX, labelStyle(fontSize).fontScale, 0, &baseline);
        if (size.width > largestLabel.width + 8 || size.height > largestLabel.height + baseline + 8) {
            EXPECT_LT(cv::countNonZero(covered), size.area()) << "trial " << trial;
        }
    }
}

TEST(CompensationMeasurementTest, HundredReadingsBringTheMeanTo36) {
    CompensationMeasurement measurement;
    measurement.start();
    std::optional<std::string> offset;
    for (int frame = 0; frame < 100; ++frame) {
        ASSERT_FALSE(offset);
        offset =
            measurement.step(people({{{60, 80}, 35.5}, {{10, 10}, 40.0}}), [] { return std::optional(0.3); });
        if (frame < 99) {
            EXPECT_EQ(measurement.statusText(), CompensationMeasurement::collectingText);
        }
    }
    EXPECT_EQ(offset, std::optional<std::string>("0.8"));
    EXPECT_FALSE(measurement.measuring());
    EXPECT_TRUE(measurement.statusText().empty());
}

TEST(CompensationMeasurementTest, SmallOrNoRegionsAskTheSubjectToStandInTheCentre) {
    CompensationMeasurement measurement;
    measurement.start();
    EXPECT_FALSE(measurement.step(people({{{50, 59}, 36.0}}), {}));
    EXPECT_EQ(measurement.statusText(), CompensationMeasurement::standInCentreText);
    EXPECT_EQ(measurement.samplesTaken(), 0u);
    EXPECT_FALSE(measurement.step({}, {}));
    EXPECT_EQ(measurement.samplesTaken(), 0u);
}

TEST(CompensationMeasurementTest, FirstOfEqualAreasIsSampledAndAFailedReadCountsAsZero) {
    CompensationMeasurement measurement;
    measurement.start();
    std::optional<std::string> offset;
    for (int frame = 0; frame < 100; ++frame)
        offset =
            measurement.step(people({{{40, 100}, 36.2}, {{100, 40}, 35.0}}), [] { return std::nullopt; });
    EXPECT_EQ(offset, std::optional<std::string>("-0.2"));
}

TEST(CompensationMeasurementTest, NinetyNineReadingsThenNobodyWritesNothing) {
    CompensationMeasurement measurement;
    measurement.start();
    for (int frame = 0; frame < 99; ++frame)
        EXPECT_FALSE(measurement.step(people({{{60, 80}, 36.0}}), {}));
    for (int frame = 0; frame < 500; ++frame)
        EXPECT_FALSE(measurement.step({}, {}));
    measurement.stop(); // the time-out
    EXPECT_FALSE(measurement.step(people({{{60, 80}, 36.0}}), {}));
    EXPECT_EQ(measurement.samplesTaken(), 99u);
}

TEST(CompensationMeasurementTest, RestartWhileCollectingBeginsFromZero) {
    CompensationMeasurement measurement;
    measurement.start();
    for (int frame = 0; frame < 60; ++frame)
        measurement.step(people({{{60, 80}, 30.0}}), {});
    measurement.start();
    std::optional<std::string> offset;
    int frames = 0;
    while (!offset && frames < 200) {
        offset = measurement.step(people({{{60, 80}, 35.0}}), {});
        ++frames;
    }
    EXPECT_EQ(frames, 100);
    EXPECT_EQ(offset, std::optional<std::string>("1.0")); // none of the 30.0 readings counted
}

TEST(CompensationMeasurementTest, StartsFromAnotherThreadWhileFramesAreMeasured) {
    CompensationMeasurement measurement;
    measurement.start();
    std::atomic<bool> done{false};
    std::thread frames([&] {
        while (!done.load())
            measurement.step(people({{{60, 80}, 36.0}}), {});
    });
    for (int restart = 0; restart < 1000; ++restart)
        measurement.start();
    done.store(true);
    frames.join();
    EXPECT_LE(measurement.samplesTaken(), CompensationMeasurement::sampleCount);
}

} // namespace
} // namespace calidra
