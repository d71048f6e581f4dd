#include "liveview/picture_area.h"
#include "liveview/sprite_animation.h"

#include "station/station_host.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace calidra {
namespace {

class PictureTest : public ::testing::Test {
protected:
    // Left half red, right half blue, in the pipeline's byte order.
    static cv::Mat halves(int width, int height) {
        cv::Mat picture(height, width, CV_8UC3, cv::Scalar(255, 0, 0));
        picture(cv::Rect(0, 0, width / 2, height)).setTo(cv::Scalar(0, 0, 255));
        return picture;
    }

    AlarmSoundPlayer sound;
    StationHost host{sound, "/tmp"};
};

TEST_F(PictureTest, NewestPictureIsStretchedWithoutBlending) {
    PictureArea area;
    area.setSource(&host);
    area.resize(40, 20);
    host.showFrame(halves(4, 2), false, "");
    QApplication::processEvents();
    ASSERT_EQ(area.picturesTaken(), 1u);

    const QImage shown = area.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(40, 20));
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            ASSERT_EQ(shown.pixel(x, y), x < 20 ? qRgb(255, 0, 0) : qRgb(0, 0, 255)) << x << "," << y;

    // A repaint after a resize shows the kept picture again.
    area.resize(80, 30);
    const QImage resized = area.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(resized.pixel(10, 10), qRgb(255, 0, 0));
    EXPECT_EQ(resized.pixel(70, 25), qRgb(0, 0, 255));
}

TEST_F(PictureTest, EnabledMasksAreOutlinedDashedAndALostSignalDimsThePicture) {
    PictureArea area;
    area.setSource(&host);
    area.resize(100, 100);
    host.maskRegionsShown({cv::Rect(2, 2, 5, 5)});
    host.showFrame(cv::Mat(10, 10, CV_8UC3, cv::Scalar::all(0)), false, "");
    QApplication::processEvents();
    const QImage shown = area.grab().toImage().convertToFormat(QImage::Format_RGB32);
    int outlined = 0;
    for (int x = 20; x < 70; ++x) {
        const QColor pixel = shown.pixelColor(x, 20);
        outlined +=
            pixel.red() > 100 && pixel.red() == pixel.green() && pixel.green() == pixel.blue() ? 1 : 0;
    }
    EXPECT_GT(outlined, 10); // a neutral line along the mask's top edge...
    EXPECT_LT(outlined, 45); // ...with gaps
    EXPECT_EQ(shown.pixel(45, 45), qRgb(0, 0, 0));
    EXPECT_EQ(area.currentPicture().pixel(2, 2), qRgb(0, 0, 0)); // the picture itself is untouched

    area.setCameraSignal(CameraSignal::Lost);
    const QImage lost = area.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_NE(lost.pixel(30, 20), qRgb(200, 200, 200));
    int white = 0;
    for (int y = 0; y < lost.height(); ++y)
        for (int x = 0; x < lost.width(); ++x)
            white += lost.pixel(x, y) == qRgb(255, 255, 255) ? 1 : 0;
    EXPECT_GT(white, 20); // "No camera signal — searching…"
}

TEST_F(PictureTest, ALargerFrameArrivesAtTheAreasSizeWithMasksPlacedByTheFramesOwnSize) {
    PictureArea area;
    area.resize(100, 50);
    area.setSource(&host);
    host.maskRegionsShown({cv::Rect(40, 20, 100, 40)});
    host.showFrame(halves(200, 100), false, "");
    QApplication::processEvents();
    EXPECT_EQ(area.currentPicture().size(), QSize(100, 50)); // painted 1:1
    EXPECT_EQ(area.frameSize(), QSize(200, 100));
    const QImage shown = area.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.pixel(49, 45), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(50, 45), qRgb(0, 0, 255));
    int outlined = 0;
    for (int x = 0; x < 100; ++x)
        outlined += shown.pixel(x, 10) == qRgb(200, 200, 200) ? 1 : 0;
    EXPECT_GT(outlined, 10); // the mask's top edge at y 20 of 100...
    for (int x = 0; x < 100; ++x)
        ASSERT_NE(shown.pixel(x, 20), qRgb(200, 200, 200)) << x; // ...not at y 20 of 50
}

TEST_F(PictureTest, FramesArrivingFasterThanTheGuiAreCoalesced) {
    PictureArea area;
    area.setSource(&host);
    area.resize(8, 4);
    host.showFrame(cv::Mat(2, 2, CV_8UC3, cv::Scalar::all(10)), false, "");
    host.showFrame(cv::Mat(2, 2, CV_8UC3, cv::Scalar::all(20)), false, "");
    host.showFrame(cv::Mat(2, 2, CV_8UC3, cv::Scalar::all(30)), false, "");
    QApplication::processEvents();
    EXPECT_EQ(area.picturesTaken(), 1u);
    EXPECT_EQ(area.currentPicture().pixel(0, 0), qRgb(30, 30, 30));
}

TEST_F(PictureTest, APaintedPictureIsNeverOneTheFrameThreadIsWriting) {
    // The area paints the buffer it took from the slot; the frame thread keeps converting new
    // frames meanwhile. A shared buffer would show as a picture of two frames' values.
    PictureArea area;
    area.setSource(&host);
    area.resize(32, 16);
    std::atomic<bool> stop{false};
    std::thread frames([&] {
        QElapsedTimer running;
        running.start();
        for (int frame = 0; !stop.load() && running.elapsed() < 5000; ++frame)
            host.showFrame(cv::Mat(64, 128, CV_8UC3, cv::Scalar::all(frame % 200 + 1)), false, "");
    });
    int checked = 0;
    int mixed = 0;
    QElapsedTimer waited;
    waited.start();
    while (checked < 50 && waited.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        if (area.currentPicture().isNull())
            continue;
        const QImage shown = area.grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                mixed += shown.pixel(x, y) != shown.pixel(0, 0) ? 1 : 0;
        ++checked;
    }
    stop.store(true);
    frames.join();
    EXPECT_EQ(checked, 50);
    EXPECT_EQ(mixed, 0);
}

TEST_F(PictureTest, StatusLineOnlyWhileMeasuring) {
    PictureArea area;
    area.setSource(&host);
    area.resize(600, 200);
    const auto greenPixels = [&] {
        const QImage shown = area.grab().toImage().convertToFormat(QImage::Format_RGB32);
        int count = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                count += qGreen(shown.pixel(x, y)) > 128 && qRed(shown.pixel(x, y)) < 100 ? 1 : 0;
        return count;
    };
    host.showFrame(cv::Mat(3, 6, CV_8UC3, cv::Scalar::all(0)), true,
                   "Collecting the temperature information...");
    QApplication::processEvents();
    EXPECT_TRUE(area.showsStatusLine());
    EXPECT_GT(greenPixels(), 50);

    host.showFrame(cv::Mat(3, 6, CV_8UC3, cv::Scalar::all(0)), false,
                   "Collecting the temperature information...");
    QApplication::processEvents();
    EXPECT_FALSE(area.showsStatusLine());
    EXPECT_EQ(greenPixels(), 0);
}

TEST(SpriteAnimationTest, FramesAreCutMagentaIsTransparentAndStopReturnsToTheFirst) {
    QTemporaryDir folder;
    QImage sheet(30, 8, QImage::Format_RGB32);
    sheet.fill(qRgb(255, 0, 255));
    for (int frame = 0; frame < 3; ++frame)
        sheet.setPixel(frame * 10 + 5, 4, qRgb(frame * 100, 10, 10));
    const QString path = folder.filePath("sheet.png");
    ASSERT_TRUE(sheet.save(path));

    SpriteAnimation animation;
    ASSERT_TRUE(animation.load(path, 10));
    EXPECT_EQ(animation.frameCount(), 3);
    EXPECT_EQ(animation.sizeHint(), QSize(10, 8));

    animation.play(5);
    QElapsedTimer waited;
    waited.start();
    while (animation.currentFrame() == 0 && waited.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    EXPECT_NE(animation.currentFrame(), 0);
    animation.stop();
    EXPECT_FALSE(animation.isPlaying());
    EXPECT_EQ(animation.currentFrame(), 0);

    EXPECT_FALSE(animation.load(folder.filePath("missing.png"), 10));
    EXPECT_EQ(animation.frameCount(), 0);
    animation.play(5);
    EXPECT_FALSE(animation.isPlaying());
}

TEST(SpriteAnimationTest, MagentaPixelsShowWhatIsBehind) {
    QTemporaryDir folder;
    QImage sheet(4, 4, QImage::Format_RGB32);
    sheet.fill(qRgb(255, 0, 255));
    sheet.setPixel(1, 1, qRgb(0, 200, 0));
    const QString path = folder.filePath("one.png");
    ASSERT_TRUE(sheet.save(path));
    QWidget backdrop;
    backdrop.setAutoFillBackground(true);
    QPalette white = backdrop.palette();
    white.setColor(QPalette::Window, Qt::white);
    backdrop.setPalette(white);
    backdrop.resize(4, 4);
    SpriteAnimation animation(&backdrop);
    ASSERT_TRUE(animation.load(path, 4));
    animation.setGeometry(0, 0, 4, 4);
    const QImage shown = backdrop.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(shown.pixel(1, 1), qRgb(0, 200, 0));
}

} // namespace
} // namespace calidra
