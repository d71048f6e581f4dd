// Temperature mode Reference in the real calidra-headless: without a usable Zonara/reference.cfg
// screening is paused with the reason said, and nothing at the file's path holds the station.

#include "headless_process.h"

#include <sys/stat.h>

namespace {

using calidra::test::HeadlessStationTest;

// A feverish person in view the whole time and a blackbody the station is never told about.
const QByteArray feverishPersonAndBlackbody = R"({ "cameras": [ { "width": 160, "height": 120, "fps": 15,
    "reference": { "x": 130, "y": 8, "w": 20, "h": 20, "temperature": 35.0 },
    "people": [ { "enter": 0.0, "leave": 1000.0, "temperature": 38.5,
                  "from": [0.4, 0.55], "to": [0.4, 0.55], "height": 0.7 } ] } ] })";

TEST_F(HeadlessStationTest, MissingOrFifoReferenceFilePausesScreeningWithItsReasonAndHoldsNothing) {
    writeSettings("TemperatureMode=3\nAlarmTemperature=37.5\n");
    ASSERT_TRUE(QDir(folder.path()).mkpath("Zonara"));
    start(feverishPersonAndBlackbody, {"--detections"});
    const int missing = waitForLine("REFERENCE\tLOST\tmissing");
    ASSERT_GE(missing, 0) << linesStartingWith("").join('\n').toStdString();
    EXPECT_GE(find("LOG\t", 0, "Reference source lost: "), 0);
    EXPECT_GE(find("LOG\t", 0, "reference.cfg is missing"), 0);

    // A FIFO put where the file belongs while the station runs: read without waiting, refused.
    const QByteArray path = QFile::encodeName(folder.filePath("Zonara/reference.cfg"));
    ASSERT_EQ(::mkfifo(path.constData(), 0644), 0);
    const int fifo = waitForLine("REFERENCE\tLOST\tnot-regular", missing);
    ASSERT_GE(fifo, 0);
    // Frames still flow, people are still found, and the feverish one raises no alarm.
    ASSERT_TRUE(waitForLines("DETECT\t", 15, fifo));
    EXPECT_TRUE(linesStartingWith("DETECT\t", fifo).last().contains("50,24,78,108,"));
    ASSERT_TRUE(endStation());
    EXPECT_TRUE(linesStartingWith("ALARM\tON").isEmpty());
    EXPECT_EQ(linesStartingWith("REFERENCE\t"),
              QStringList({"REFERENCE\tLOST\tmissing", "REFERENCE\tLOST\tnot-regular"}));
}

} // namespace
