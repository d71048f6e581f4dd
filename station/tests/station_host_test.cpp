#include "station/station_host.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cmath>

#include <thread>

namespace calidra {
namespace {

class StationHostTest : public ::testing::Test {
protected:
    AlarmSoundPlayer sound;
    StationHost host{sound, "/opt/station"};
};

cv::Mat picture(uint8_t value) {
    return cv::Mat(4, 6, CV_8UC3, cv::Scalar::all(value));
}

TEST_F(StationHostTest, NewestPictureWinsAndTheGuiIsWokenOncePerWait) {
    int wakeUps = 0;
    QObject::connect(&host, &StationHost::pictureReady, [&] { ++wakeUps; });

    cv::Mat taken;
    bool measuring = true;
    std::string status;
    EXPECT_FALSE(host.takeLatestPicture(taken, measuring, status));

    host.showFrame(picture(10), false, "");
    host.showFrame(picture(20), true, "Collecting");
    EXPECT_EQ(wakeUps, 1);
    ASSERT_TRUE(host.takeLatestPicture(taken, measuring, status));
    EXPECT_EQ(taken.at<cv::Vec4b>(3, 5), cv::Vec4b(20, 20, 20, 255));
    EXPECT_TRUE(measuring);
    EXPECT_EQ(status, "Collecting");
    EXPECT_FALSE(host.takeLatestPicture(taken, measuring, status));

    host.showFrame(picture(30), false, "");
    EXPECT_EQ(wakeUps, 2);

    // Without a taker nothing is handed over and nobody is woken.
    ASSERT_TRUE(host.takeLatestPicture(taken, measuring, status));
    host.setPicturesWanted(false);
    host.showFrame(picture(50), false, "");
    EXPECT_EQ(wakeUps, 2);
    EXPECT_FALSE(host.takeLatestPicture(taken, measuring, status));
}

TEST_F(StationHostTest, PictureHandedOverIsACopy) {
    cv::Mat shown = picture(40);
    host.showFrame(shown, false, "");
    shown.setTo(cv::Scalar::all(99)); // the pipeline draws the next frame into its buffer
    cv::Mat taken;
    bool measuring = false;
    std::string status;
    ASSERT_TRUE(host.takeLatestPicture(taken, measuring, status));
    EXPECT_EQ(taken.at<cv::Vec4b>(0, 0), cv::Vec4b(40, 40, 40, 255));
}

TEST_F(StationHostTest, AFrameLargerThanThePaintedSizeArrivesShrunkSampledAtPixelCentres) {
    // Every pixel tells its own column and row, so a neighbour sampled instead shows.
    cv::Mat large(1024, 1280, CV_8UC3);
    for (int y = 0; y < large.rows; ++y)
        for (int x = 0; x < large.cols; ++x)
            large.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(x), uchar(y), uchar(x / 256 + 8 * (y / 256)));
    const cv::Size painted(666, 504);
    host.setPaintedSize(painted);
    host.showFrame(large, false, "");
    cv::Mat taken;
    cv::Size frameSize;
    bool measuring = false;
    std::string status;
    ASSERT_TRUE(host.takeLatestPicture(taken, measuring, status, nullptr, &frameSize));
    EXPECT_EQ(frameSize, large.size());
    ASSERT_EQ(taken.size(), painted);
    int wrong = 0;
    for (int y = 0; y < painted.height; ++y)
        for (int x = 0; x < painted.width; ++x) {
            const int sourceX = int(std::floor((x + 0.5) * large.cols / painted.width));
            const int sourceY = int(std::floor((y + 0.5) * large.rows / painted.height));
            const cv::Vec3b& pixel = large.at<cv::Vec3b>(sourceY, sourceX);
            wrong += taken.at<cv::Vec4b>(y, x) != cv::Vec4b(pixel[0], pixel[1], pixel[2], 255) ? 1 : 0;
        }
    EXPECT_EQ(wrong, 0);

    // Not larger in both directions: the frame as it is, every pixel.
    const cv::Mat wide = large(cv::Rect(0, 0, 1280, 288));
    for (const cv::Mat& frame : {large(cv::Rect(0, 0, 384, 288)), wide}) {
        host.showFrame(frame, false, "");
        ASSERT_TRUE(host.takeLatestPicture(taken, measuring, status, nullptr, &frameSize));
        cv::Mat expected;
        cv::cvtColor(frame, expected, cv::COLOR_BGR2BGRA);
        EXPECT_EQ(frameSize, frame.size());
        ASSERT_EQ(taken.size(), frame.size());
        EXPECT_EQ(cv::norm(taken, expected, cv::NORM_INF), 0.0);
    }
}

TEST_F(StationHostTest, WithoutCameraNothingIsReadFromIt) {
    unsigned char buffer[12] = {};
    EXPECT_EQ(host.cameraRgbData(buffer, sizeof buffer), StationHost::noCameraResult);
    double value = 7.0;
    EXPECT_FALSE(host.cameraUserOffset(value));
    EXPECT_EQ(value, 7.0);
    EXPECT_EQ(host.programFolder(), "/opt/station");
}

TEST_F(StationHostTest, OperatorValuesPublishedOnOneThreadAreReadOnAnother) {
    OperatorSettings settings;
    settings.frame.alarmCelsius = 37.5;
    settings.paletteNumber = 3;
    host.publishOperatorSettings(settings);
    OperatorSettings read;
    std::thread frameThread([&] { read = host.operatorSettings(); });
    frameThread.join();
    EXPECT_EQ(read.frame.alarmCelsius, 37.5);
    EXPECT_EQ(read.paletteNumber, 3);
}

TEST_F(StationHostTest, AlarmSoundRequestsFromTheFrameThreadReachThePlayer) {
    std::thread frameThread([&] { host.startAlarmSound("/opt/station/alarm1.wav"); });
    frameThread.join();
    EXPECT_TRUE(sound.playingFile().isEmpty()); // queued, not yet run
    QCoreApplication::processEvents();
    EXPECT_EQ(sound.playingFile(), "/opt/station/alarm1.wav");

    std::thread stopThread([&] { host.stopAlarmSound(); });
    stopThread.join();
    QCoreApplication::processEvents();
    EXPECT_TRUE(sound.playingFile().isEmpty());
}

TEST_F(StationHostTest, AlarmChangesAndMeasuredOffsetsAreSignalled) {
    std::vector<bool> changes;
    QString offset;
    QObject::connect(&host, &StationHost::alarmStateChanged, [&](bool on) { changes.push_back(on); });
    QObject::connect(&host, &StationHost::offsetMeasuredText, [&](const QString& text) { offset = text; });
    host.alarmChanged(true);
    host.alarmChanged(false);
    host.offsetMeasured("0.8");
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
    EXPECT_EQ(offset, "0.8");
}

} // namespace
} // namespace calidra
