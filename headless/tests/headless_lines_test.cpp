#include "baseline_lines.h"
#include "headless_lines.h"
#include "headless_options.h"
#include "line_writer.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace calidra {
namespace {

TEST(HeadlessLinesTest, EachEventIsOneTabSeparatedLine) {
    EXPECT_EQ(logLine("2026-12-07 11:00:00.005", "Error", "svkOpen Failed", -5),
              "LOG\t2026-12-07 11:00:00.005\tError\tsvkOpen Failed\t-5");
    EXPECT_EQ(alarmLine(true), "ALARM\tON");
    EXPECT_EQ(alarmLine(false), "ALARM\tOFF");
    EXPECT_EQ(snapshotLine("/opt/c/ThermalAlarm/ThermalAlarm_20210307_090503.jpg"),
              "SNAPSHOT\t/opt/c/ThermalAlarm/ThermalAlarm_20210307_090503.jpg");
    EXPECT_EQ(readoutLine("38.2 °C", "Max Temp. : 38.2 °C", "Min Temp. : 21.0 °C"),
              "READOUT\t38.2 °C\tMax Temp. : 38.2 °C\tMin Temp. : 21.0 °C");
    // A message with its own tab or line break still gives one line of five fields.
    EXPECT_EQ(logLine("t", "Event", "two\tparts\nand more", 0), "LOG\tt\tEvent\ttwo parts and more\t0");
}

TEST(HeadlessLinesTest, DetectionsInListOrderWithOneDecimal) {
    EXPECT_EQ(detectionLine(1, {}), "DETECT\t1\t");
    DetectionList detections;
    detections.push_back({10, 20, 60, 120, 38.2, true});
    detections.push_back({100, 5, 130, 90, 36.0, false});
    EXPECT_EQ(detectionLine(42, detections), "DETECT\t42\t10,20,60,120,38.2,1;100,5,130,90,36.0,0");
}

TEST(HeadlessLinesTest, BaselineLinesAtEachLearnedPersonThenWhenMovedByATenth) {
    BaselineLines lines;
    BaselineStatus status;
    EXPECT_FALSE(lines.lineFor(status)); // mode Fixed: nothing
    status.mode = AlarmMode::Baseline;
    status.learned = 3;
    EXPECT_EQ(lines.lineFor(status), "BASELINE\tLEARNING\t3/10");
    EXPECT_FALSE(lines.lineFor(status));
    status.learned = 10;
    status.baselineCelsius = 36.04;
    status.thresholdCelsius = 37.04;
    EXPECT_EQ(lines.lineFor(status), "BASELINE\t36.0\t37.0");
    status.baselineCelsius = 36.12; // 0.08 from the line printed
    status.thresholdCelsius = 37.12;
    EXPECT_FALSE(lines.lineFor(status));
    status.baselineCelsius = 36.14;
    status.thresholdCelsius = 37.14;
    EXPECT_EQ(lines.lineFor(status), "BASELINE\t36.1\t37.1");
    status.learned = 0; // reset
    status.baselineCelsius.reset();
    status.thresholdCelsius = 37.5;
    EXPECT_EQ(lines.lineFor(status), "BASELINE\tLEARNING\t0/10");
}

TEST(HeadlessLinesTest, WriterEndsAndFlushesEveryLine) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    LineWriter writer(fileno(file));
    writer.write("ALARM\tON");
    writer.write("LOG\tx\tEvent\tDevice has been added.\t0");
    EXPECT_TRUE(writer.finish(5000));
    std::rewind(file);
    char buffer[128] = {};
    const std::size_t count = std::fread(buffer, 1, sizeof buffer - 1, file);
    EXPECT_EQ(std::string(buffer, count), "ALARM\tON\nLOG\tx\tEvent\tDevice has been added.\t0\n");
    std::fclose(file);
}

TEST(HeadlessOptionsTest, KnownOptionsAndTheirMistakes) {
    HeadlessOptions options;
    QString error;
    EXPECT_EQ(parseHeadlessOptions({"--seconds", "20", "--readouts", "--detections"}, options, error),
              OptionsOutcome::Run);
    EXPECT_EQ(options.seconds, 20.0);
    EXPECT_TRUE(options.readouts);
    EXPECT_TRUE(options.detections);

    HeadlessOptions other;
    EXPECT_EQ(parseHeadlessOptions({"--seconds=2.5"}, other, error), OptionsOutcome::Run);
    EXPECT_EQ(other.seconds, 2.5);
    EXPECT_EQ(parseHeadlessOptions({"--help"}, other, error), OptionsOutcome::ShowHelp);
    EXPECT_EQ(parseHeadlessOptions({"--verbose"}, other, error), OptionsOutcome::Invalid);
    EXPECT_TRUE(error.contains("--verbose"));
    EXPECT_EQ(parseHeadlessOptions({"--seconds"}, other, error), OptionsOutcome::Invalid);
    EXPECT_EQ(parseHeadlessOptions({"--seconds", "soon"}, other, error), OptionsOutcome::Invalid);
    EXPECT_EQ(parseHeadlessOptions({"--seconds", "-1"}, other, error), OptionsOutcome::Invalid);
    EXPECT_EQ(parseHeadlessOptions({"--seconds", "inf"}, other, error), OptionsOutcome::Invalid);
    // Months are fine; past ten years is refused rather than run for ever.
    EXPECT_EQ(parseHeadlessOptions({"--seconds", "31536000"}, other, error), OptionsOutcome::Run);
    EXPECT_EQ(parseHeadlessOptions({"--seconds", "1e12"}, other, error), OptionsOutcome::Invalid);
}

} // namespace
} // namespace calidra
