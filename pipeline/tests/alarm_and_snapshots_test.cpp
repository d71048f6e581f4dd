#include "pipeline/alarm_state.h"
#include "pipeline/frame_pipeline.h"
#include "pipeline/snapshot_caption.h"
#include "pipeline/snapshot_writer.h"

#include "testsupport/fake_pipeline_host.h"

#include "files/snapshot_names.h"

#include <turbojpeg.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

namespace calidra {
namespace {

namespace fs = std::filesystem;

TEST(AlarmStateTest, OnAtOnceOffAfterOneSecondOnAndHalfASecondClear) {
    AlarmState alarm;
    EXPECT_EQ(alarm.update(false, 0), AlarmChange::None);
    EXPECT_EQ(alarm.update(true, 5000), AlarmChange::SwitchedOn);
    EXPECT_EQ(alarm.update(true, 5100), AlarmChange::None);
    EXPECT_EQ(alarm.update(false, 5400), AlarmChange::None); // held
    EXPECT_TRUE(alarm.alarmOn());
    EXPECT_EQ(alarm.update(false, 5999), AlarmChange::None);
    EXPECT_EQ(alarm.update(false, 6000), AlarmChange::SwitchedOff);
    EXPECT_EQ(alarm.update(true, 6001), AlarmChange::SwitchedOn); // no lower bound for switching on

    // Alarmed late in its first second: the clear frames must add up to half a second.
    EXPECT_EQ(alarm.update(true, 6900), AlarmChange::None);
    EXPECT_EQ(alarm.update(false, 7001), AlarmChange::None);
    EXPECT_EQ(alarm.update(false, 7399), AlarmChange::None);
    EXPECT_EQ(alarm.update(true, 7450), AlarmChange::None); // one dipping frame among alarmed ones
    EXPECT_EQ(alarm.update(false, 7949), AlarmChange::None);
    EXPECT_TRUE(alarm.alarmOn());
    EXPECT_EQ(alarm.update(false, 7950), AlarmChange::SwitchedOff);
}

TEST(AlarmStateTest, HoldAndClearTimeCountAcrossTheTickWrap) {
    AlarmState alarm;
    EXPECT_EQ(alarm.update(true, 0xFFFFFD00u), AlarmChange::SwitchedOn);
    EXPECT_EQ(alarm.update(true, 0xFFFFFF00u), AlarmChange::None);
    EXPECT_EQ(alarm.update(false, 0x000000E8u), AlarmChange::None);        // 1000 ms on, 488 clear
    EXPECT_EQ(alarm.update(false, 0x000000F4u), AlarmChange::SwitchedOff); // 500 ms clear
}

TEST(AlarmStateTest, SnapshotsSpacedByMoreThanTheSavePeriod) {
    // Alarm for 5 s at 10 frames a second, period 2 s: at the start, then after more than 2000 ms.
    AlarmState alarm;
    std::vector<uint32_t> saved;
    for (uint32_t tick = 10000; tick < 15000; tick += 100)
        if (alarm.snapshotDue(true, tick, 2000))
            saved.push_back(tick);
    EXPECT_EQ(saved, (std::vector<uint32_t>{10000, 12100, 14200}));
    EXPECT_FALSE(alarm.snapshotDue(false, 20000, 2000));

    AlarmState everyFrame;
    EXPECT_TRUE(everyFrame.snapshotDue(true, 1, 0));
    EXPECT_FALSE(everyFrame.snapshotDue(true, 1, 0)); // same tick
    EXPECT_TRUE(everyFrame.snapshotDue(true, 2, 0));
}

TEST(AlarmStateTest, SoundFileNumberedFromOne) {
    EXPECT_EQ(alarmSoundPath("/opt/c", 0), "/opt/c/alarm1.wav");
    EXPECT_EQ(alarmSoundPath("/opt/c", 1), "/opt/c/alarm2.wav");
}

cv::Mat decodeJpeg(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
    tjhandle decoder = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    cv::Mat picture;
    if (!bytes.empty() && tjDecompressHeader3(decoder, bytes.data(), bytes.size(), &width, &height,
                                              &subsampling, &colourspace) == 0) {
        picture.create(height, width, CV_8UC3);
        if (tjDecompress2(decoder, bytes.data(), bytes.size(), picture.data, width, 0, height, TJPF_BGR, 0) !=
            0)
            picture.release();
    }
    tjDestroy(decoder);
    return picture;
}

class SnapshotTest : public ::testing::Test {
protected:
    SnapshotTest() : folder(fs::temp_directory_path() / ("snapshots-" + std::to_string(::getpid()))) {
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    ~SnapshotTest() override { fs::remove_all(folder); }

    static std::tm march7() {
        std::tm time{};
        time.tm_year = 2021 - 1900;
        time.tm_mon = 2;
        time.tm_mday = 7;
        time.tm_hour = 9;
        time.tm_min = 5;
        time.tm_sec = 3;
        return time;
    }
    std::vector<fs::path> filesIn(const fs::path& where) const {
        std::vector<fs::path> files;
        if (fs::exists(where))
            for (const auto& entry : fs::directory_iterator(where))
                files.push_back(entry.path());
        return files;
    }

    fs::path folder;
};

TEST_F(SnapshotTest, FileNamedAfterTheLocalTimeDecodesToThePicture) {
    cv::Mat picture(288, 384, CV_8UC3, cv::Scalar(0, 0, 255));
    picture(cv::Rect(0, 0, 192, 288)).setTo(cv::Scalar(255, 0, 0));
    const std::optional<std::string> path = saveAlarmSnapshot(folder.string(), picture, true, march7()).path;
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, (folder / "ThermalAlarm" / "ThermalAlarm_20210307_090503.jpg").string());
    const cv::Mat decoded = decodeJpeg(*path);
    ASSERT_EQ(decoded.size(), picture.size());
    const cv::Vec3b left = decoded.at<cv::Vec3b>(144, 50);
    const cv::Vec3b right = decoded.at<cv::Vec3b>(144, 300);
    EXPECT_GT(left[0], 200);
    EXPECT_LT(left[2], 60);
    EXPECT_GT(right[2], 200);
    EXPECT_LT(right[0], 60);
    EXPECT_EQ(filesIn(folder / "ThermalAlarm").size(), 1u); // no temporary file left
}

TEST(SnapshotCaptionTest, SaysWhenWhereAndAgainstWhatInTheOperatorsUnit) {
    SnapshotCaption caption;
    caption.localTime.tm_year = 2026 - 1900;
    caption.localTime.tm_mon = 11;
    caption.localTime.tm_mday = 8;
    caption.localTime.tm_hour = 14;
    caption.localTime.tm_min = 3;
    caption.localTime.tm_sec = 5;
    caption.localTime.tm_gmtoff = 3600;
    caption.stationName = "door-1";
    caption.highestCelsius = 38.26;
    caption.thresholdCelsius = 37.5;
    caption.correction = CaptionCorrection::CameraOffset;
    caption.correctionCelsius = -0.2;
    EXPECT_EQ(captionItems(caption),
              (std::vector<std::string>{"2026-12-08 14:03:05 +01:00", "Station door-1", "Highest 38.3 C",
                                        "Threshold 37.5 C", "Camera offset -0.2 C"}));

    // Fahrenheit: a correction is a difference, not shifted by 32. West of UTC by half hours. A
    // name outside ASCII keeps one mark per character; none is left out when there is none.
    caption.unit = TemperatureUnit::Fahrenheit;
    caption.correction = CaptionCorrection::Reference;
    caption.correctionCelsius = 0.5;
    caption.localTime.tm_gmtoff = -(3 * 3600 + 1800);
    caption.stationName = "\xec\xa0\x95\xeb\xac\xb8-7";
    EXPECT_EQ(captionItems(caption), (std::vector<std::string>{"2026-12-08 14:03:05 -03:30",
                                                               "Station ?"
                                                               "?-7",
                                                               "Highest 100.9 F", "Threshold 99.5 F",
                                                               "Reference correction +0.9 F"}));
    caption.stationName.clear();
    caption.correction = CaptionCorrection::OffsetUnknown;
    EXPECT_EQ(captionItems(caption).size(), 4u);
    EXPECT_EQ(captionItems(caption).back(), "Camera offset unknown");
}

TEST_F(SnapshotTest, CaptionBandGoesBelowThePictureItselfUnchanged) {
    cv::Mat picture(288, 384, CV_8UC3);
    cv::RNG(3).fill(picture, cv::RNG::UNIFORM, 0, 256);
    SnapshotCaption caption;
    caption.stationName = std::string(100, 'W'); // wraps within the width
    cv::Mat snapshot;
    captionedSnapshot(picture, caption, snapshot);
    ASSERT_EQ(snapshot.cols, 384);
    ASSERT_GT(snapshot.rows, 288 + 20);
    EXPECT_EQ(cv::norm(snapshot.rowRange(0, 288), picture, cv::NORM_INF), 0.0);
    // A dark band with light text across it.
    const cv::Mat band = snapshot.rowRange(288, snapshot.rows);
    cv::Mat light;
    cv::inRange(band, cv::Scalar::all(128), cv::Scalar::all(255), light);
    const cv::Rect text = cv::boundingRect(light);
    EXPECT_GT(cv::countNonZero(light), 200);
    EXPECT_LT(cv::countNonZero(light), band.rows * band.cols / 3);
    EXPECT_GT(text.width, 384 * 3 / 4);
    EXPECT_GT(text.y + text.height, band.rows / 2);

    const std::optional<std::string> path = saveAlarmSnapshot(folder.string(), snapshot, true, march7()).path;
    ASSERT_TRUE(path);
    EXPECT_EQ(decodeJpeg(*path).size(), snapshot.size());
}

TEST_F(SnapshotTest, OnlySoundCreatesTheFolderButNoFile) {
    const AlarmSnapshotResult result =
        saveAlarmSnapshot(folder.string(), cv::Mat(4, 4, CV_8UC3), false, march7());
    EXPECT_FALSE(result.path);
    EXPECT_EQ(result.errorNumber, 0);
    EXPECT_TRUE(fs::is_directory(folder / "ThermalAlarm"));
    EXPECT_TRUE(filesIn(folder / "ThermalAlarm").empty());
}

TEST_F(SnapshotTest, FailedWriteLeavesTheOldFileAndNoTemporary) {
    const fs::path target = folder / "picture.jpg";
    ASSERT_TRUE(writeJpegAtomically(target.string(), cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(9)), 80));
    const auto before = fs::file_size(target);
    EXPECT_FALSE(writeJpegAtomically(target.string(), cv::Mat(), 80));
    EXPECT_FALSE(writeJpegAtomically(target.string(), cv::Mat(8, 8, CV_8UC1), 80));
    EXPECT_FALSE(writeJpegAtomically((folder / "missing" / "x.jpg").string(), cv::Mat(8, 8, CV_8UC3), 80));
    EXPECT_EQ(fs::file_size(target), before);
    EXPECT_EQ(filesIn(folder).size(), 1u);
}

// The whole frame procedure: sound, notification and snapshots as an alarm comes and goes.
TEST_F(SnapshotTest, PipelineAlarmSoundAndSnapshotsFollowTheFrames) {
    FakePipelineHost host;
    host.folder = folder.string();
    host.tick = 100000;
    host.tickStepMs = 0; // one tick for all of a frame's readings, moved by hand
    host.settings.alarmEvent = 1;
    host.settings.alarmType = 1;
    host.settings.frame.alarmSavePeriodMs = 2000;
    std::ofstream(folder / "alarm2.wav") << "RIFF";
    FramePipeline pipeline(host);
    pipeline.allocateBuffers(96, 80);

    PixelFrame feverish(96, 80, PixelFormat::Direct16, 250);
    feverish.fill(30, 10, 20, 50, 382); // 38.2 degrees
    const PixelFrame room(96, 80, PixelFormat::Direct16, 250);
    const auto tenthLater = [&](const PixelFrame& frame) {
        host.tick += 100;
        pipeline.processFrame(frame.view());
    };
    for (int frame = 0; frame < 50; ++frame)
        tenthLater(feverish);
    for (int frame = 0; frame < 4; ++frame) // up to 400 ms clear: still the same alarm
        tenthLater(room);
    EXPECT_EQ(host.alarmChanges, std::vector<bool>{true});
    tenthLater(room);

    EXPECT_EQ(host.alarmChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(host.switchOnReadings, std::vector<double>{38.2});
    // The episode: on, each frame's reading (if alarmed) after its snapshot, off.
    std::string readings = host.alarmCourse;
    readings.erase(std::remove(readings.begin(), readings.end(), 'S'), readings.end());
    EXPECT_EQ(readings, "+" + std::string(50, 'R') + "....-") << host.alarmCourse;
    EXPECT_EQ(host.alarmCourse.rfind('+', 0), 0u) << host.alarmCourse;
    EXPECT_EQ(host.alarmCourse.find("SS"), std::string::npos) << host.alarmCourse;
    EXPECT_EQ(host.alarmCourse.find("S-"), std::string::npos) << host.alarmCourse;
    EXPECT_EQ(host.soundStarts, std::vector<std::string>{(folder / "alarm2.wav").string()});
    EXPECT_EQ(host.soundStops, 1);
    // Five seconds of alarm, one picture at most every two: three pictures, named by the clock.
    EXPECT_EQ(host.snapshots.size(), 3u);
    ASSERT_EQ(filesIn(folder / "ThermalAlarm").size(), 3u);
    // Each the shown picture, as JPEG keeps it, with the caption band below it.
    ASSERT_FALSE(host.shownFrames.empty());
    ASSERT_TRUE(writeJpegAtomically((folder / "shown.jpg").string(), host.shownFrames.front(), 80));
    const cv::Mat shown = decodeJpeg(folder / "shown.jpg");
    for (const fs::path& file : filesIn(folder / "ThermalAlarm")) {
        EXPECT_EQ(file.extension(), ".jpg");
        const cv::Mat decoded = decodeJpeg(file);
        ASSERT_EQ(decoded.cols, 96);
        ASSERT_GT(decoded.rows, 80 + 10);
        EXPECT_LT(cv::norm(decoded.rowRange(0, 80), shown, cv::NORM_L1) / shown.total(), 1.0);
    }
}

// A feverish person walks out of the picture; at its edge the reading dips below the alarm
// temperature for one frame, as the hottest part of the face leaves the picture first. One passage
// is one alarm: one sound, one animation, one episode.
TEST_F(SnapshotTest, AReadingThatDipsAtThePicturesEdgeKeepsOneAlarm) {
    FakePipelineHost host;
    host.folder = folder.string();
    host.tick = 100000;
    host.tickStepMs = 0;
    host.settings.frame.alarmCelsius = 37.5;
    std::ofstream(folder / "alarm1.wav") << "RIFF";
    FramePipeline pipeline(host);
    pipeline.allocateBuffers(96, 80);
    const auto tenthLater = [&](int left, int width, uint16_t code) {
        PixelFrame frame(96, 80, PixelFormat::Direct16, 250);
        if (width > 0)
            frame.fill(left, 10, width, 50, code);
        host.tick += 100;
        pipeline.processFrame(frame.view());
    };
    for (int left = 20; left <= 68; left += 4) // 1.3 s in full view
        tenthLater(left, 20, 383);
    tenthLater(72, 20, 372); // the dip
    tenthLater(76, 20, 383);
    tenthLater(80, 16, 383);
    for (int frame = 0; frame < 10; ++frame) // gone
        tenthLater(0, 0, 0);

    EXPECT_EQ(host.alarmChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(host.soundStarts.size(), 1u);
    // Off with the fifth clear frame: half a second after the last alarmed one.
    EXPECT_EQ(host.alarmCourse, "+" + std::string(13, 'R') + ".RR....-");
}

// A disk without room gets no picture and no failure; a folder that is a file fails each due picture.
TEST_F(SnapshotTest, PipelineAsksForRoomAndReportsFailedPictures) {
    FakePipelineHost host;
    host.folder = folder.string();
    host.settings.frame.alarmSavePeriodMs = 0; // every frame's picture is due
    FramePipeline pipeline(host);
    pipeline.allocateBuffers(96, 80);
    PixelFrame feverish(96, 80, PixelFormat::Direct16, 250);
    feverish.fill(30, 10, 20, 50, 382);

    pipeline.processFrame(feverish.view()); // "Only Sound": no question, no failure
    EXPECT_EQ(host.roomQuestions, 0);
    host.settings.alarmEvent = 1;
    host.room = false;
    for (int frame = 0; frame < 3; ++frame)
        pipeline.processFrame(feverish.view());
    EXPECT_EQ(host.roomQuestions, 3);
    EXPECT_TRUE(host.snapshots.empty());
    EXPECT_TRUE(host.snapshotFailures.empty());
    EXPECT_TRUE(filesIn(folder / "ThermalAlarm").empty());

    host.room = true;
    fs::remove_all(folder / "ThermalAlarm");
    std::ofstream(folder / "ThermalAlarm") << "not a folder";
    for (int frame = 0; frame < 2; ++frame)
        pipeline.processFrame(feverish.view());
    EXPECT_EQ(host.snapshotFailures, (std::vector<int>{ENOTDIR, ENOTDIR}));
    EXPECT_TRUE(host.snapshots.empty());
}

// A clock set back ten seconds (or the repeated hour of daylight saving) and two stations writing
// one folder in the same second: every snapshot keeps a file of its own.
TEST_F(SnapshotTest, ASnapshotNeverReplacesAnother) {
    FakePipelineHost host;
    host.folder = folder.string();
    host.tickStepMs = 200;
    host.settings.alarmEvent = 1;
    host.settings.frame.alarmSavePeriodMs = 0;
    FramePipeline pipeline(host);
    pipeline.allocateBuffers(96, 80);
    PixelFrame feverish(96, 80, PixelFormat::Direct16, 250);
    feverish.fill(30, 10, 20, 50, 382);
    const std::time_t start = 1792000000;
    for (int frame = 0; frame < 24; ++frame) {
        host.wallClock = start + (frame < 12 ? frame : frame - 10);
        pipeline.processFrame(feverish.view());
    }
    std::set<std::string> paths;
    for (const auto& snapshot : host.snapshots)
        paths.insert(snapshot.first);
    EXPECT_EQ(paths.size(), 24u);
    EXPECT_EQ(filesIn(folder / "ThermalAlarm").size(), 24u);
    std::tm setBack{};
    const std::time_t second = start + 2;
    localtime_r(&second, &setBack);
    EXPECT_EQ(paths.count((folder / "ThermalAlarm" / files::snapshotFileName(setBack, 2)).string()), 1u);

    const fs::path shared = folder / "shared";
    fs::create_directories(shared);
    const cv::Mat picture(16, 16, CV_8UC3, cv::Scalar::all(128));
    std::vector<std::string> written[2];
    const auto station = [&](std::vector<std::string>& paths) {
        for (int snapshot = 0; snapshot < 20; ++snapshot)
            paths.push_back(saveAlarmSnapshot(shared.string(), picture, true, march7()).path.value_or(""));
    };
    std::thread other(station, std::ref(written[1]));
    station(written[0]);
    other.join();
    std::set<std::string> both(written[0].begin(), written[0].end());
    both.insert(written[1].begin(), written[1].end());
    both.erase("");
    EXPECT_EQ(both.size(), 40u);
    EXPECT_EQ(filesIn(shared / "ThermalAlarm").size(), 40u);
}

TEST_F(SnapshotTest, AlarmStillSwitchesDuringNucButNothingIsSaved) {
    FakePipelineHost host;
    host.folder = folder.string();
    host.settings.alarmEvent = 1;
    FramePipeline pipeline(host);
    pipeline.allocateBuffers(96, 80);
    pipeline.setNucRunning(true);
    PixelFrame feverish(96, 80, PixelFormat::Direct16, 250);
    feverish.fill(30, 10, 20, 50, 382);
    pipeline.processFrame(feverish.view());
    EXPECT_EQ(host.alarmChanges, std::vector<bool>{true});
    EXPECT_FALSE(fs::exists(folder / "ThermalAlarm"));
    EXPECT_TRUE(host.shownFrames.empty());
    // A lost signal ends the episode at once, and only once.
    pipeline.signalLost();
    pipeline.signalLost();
    EXPECT_EQ(host.alarmCourse, "+R-");
    EXPECT_EQ(host.alarmChanges, (std::vector<bool>{true, false}));
}

} // namespace
} // namespace calidra
