#include "liveview/live_viewer.h"

#include "eventlog/event_log.h"
#include "testsupport/fake_camera_library.h"

#include "svk.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace calidra {
namespace {

class LiveViewerTest : public ::testing::Test {
protected:
    // Cameras of the simulated library for this test; none attached unless a test says so.
    static const char* scenario;

    LiveViewerTest() {
        const QString scenarioPath = folder.filePath("scenario.json");
        QFile file(scenarioPath);
        file.open(QIODevice::WriteOnly);
        file.write(scenario);
        file.close();
        qputenv("SORVIK_SIM_SCENARIO", scenarioPath.toUtf8());
        options.timings.connectFirstMs = 20;
        options.timings.openWaitMs = 20;
        options.timings.readoutMs = 50;
        options.programFolder = folder.path();
        // The pane's pictures from the runnable folder of this build.
        QDir(folder.path()).mkpath("pictures");
        const QString built = qEnvironmentVariable("CALIDRA_RUNTIME_DIR") + "/pictures/";
        for (const char* name : {"alarm_animation.png", "pane_banner.png"})
            QFile::copy(built + name, folder.filePath(QString("pictures/") + name));
        station = std::make_unique<Station>(store, log, options);
        viewer = new CLiveViewer(*station, folder.path());
        stack.addWidget(viewer);
        stack.resize(1000, 700);
        stack.show();
        viewer->OnInitialUpdate();
    }
    ~LiveViewerTest() override {
        delete viewer;
        qunsetenv("SORVIK_SIM_SCENARIO");
    }
    template <typename Control> Control* control(const char* name) const {
        return viewer->pane()->findChild<Control*>(name);
    }
    QString readout(const char* name) const { return control<QLabel>(name)->text(); }
    template <typename Condition> bool runUntil(Condition condition, int timeoutMs = 8000) {
        QElapsedTimer waited;
        waited.start();
        while (!condition() && waited.elapsed() < timeoutMs)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        return condition();
    }

    QTemporaryDir folder;
    SettingsStore store{folder.filePath("settings/Calidra.conf")};
    EventLog log;
    StationOptions options;
    std::unique_ptr<Station> station;
    QStackedWidget stack;
    CLiveViewer* viewer = nullptr;
};

TEST_F(LiveViewerTest, PaneOnTheRightPictureOnTheLeft) {
    EXPECT_EQ(viewer->size(), QSize(1000, 700));
    EXPECT_EQ(viewer->paneArea()->geometry(), QRect(600, 7, 400, 693));
    EXPECT_EQ(viewer->pictureArea()->geometry(), QRect(7, 7, 590, 700));
    EXPECT_FALSE(control<QLineEdit>("detectTestField")->isVisibleTo(viewer->pane()));
    EXPECT_FALSE(control<QPushButton>("cameraSettingButton")->isVisibleTo(viewer->pane()));
    EXPECT_EQ(station->host().operatorSettings().fontSize, 1); // no stored size: labels stay large
}

TEST_F(LiveViewerTest, DoubleClickTwiceReturnsTheViewToItsPlace) {
    QTest::mouseDClick(viewer->pictureArea(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    ASSERT_TRUE(viewer->fullView());
    EXPECT_TRUE(viewer->isWindow());
    EXPECT_EQ(viewer->pictureArea()->geometry(), viewer->rect());
    EXPECT_EQ(viewer->paneArea()->size(), QSize(0, 0));

    QTest::mouseDClick(viewer->pictureArea(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    EXPECT_FALSE(viewer->fullView());
    EXPECT_EQ(viewer->parentWidget(), &stack);
    EXPECT_EQ(stack.currentWidget(), viewer);
    EXPECT_EQ(viewer->paneArea()->geometry(), QRect(600, 7, 400, 693));
    EXPECT_TRUE(viewer->pane()->isVisible());
}

TEST_F(LiveViewerTest, F2TogglesAndEscOnlyLeaves) {
    QTest::keyRelease(control<QLineEdit>("alarmField"), Qt::Key_Escape);
    EXPECT_FALSE(viewer->fullView());
    QTest::keyRelease(control<QLineEdit>("alarmField"), Qt::Key_F2);
    EXPECT_TRUE(viewer->fullView());
    QTest::keyRelease(viewer->pictureArea(), Qt::Key_Escape);
    EXPECT_FALSE(viewer->fullView());
    EXPECT_EQ(viewer->pictureArea()->geometry(), QRect(7, 7, 590, 700));
}

TEST_F(LiveViewerTest, AlarmNotificationPlaysAndStopsThePaneAnimation) {
    ASSERT_EQ(viewer->pane()->alarmAnimation().frameCount(), 8);
    EXPECT_EQ(viewer->pane()->banner().frameCount(), 1);
    emit station->alarmChanged(true);
    QApplication::processEvents();
    EXPECT_TRUE(viewer->pane()->alarmAnimation().isPlaying());
    emit station->alarmChanged(false);
    QApplication::processEvents();
    EXPECT_FALSE(viewer->pane()->alarmAnimation().isPlaying());
}

TEST_F(LiveViewerTest, FullViewSaysTheAlarmInABannerWhileItIsOn) {
    AlarmBanner* banner = viewer->alarmBanner();
    emit station->alarmChanged(true);
    emit station->readoutsChanged(Readouts{QStringLiteral("38.3 °C"), QString(), QString()});
    EXPECT_FALSE(banner->isVisible()); // the pane's animation says it beside the picture

    viewer->toggleFullView();
    ASSERT_TRUE(banner->isVisible());
    EXPECT_EQ(banner->text(), QStringLiteral("ALARM 38.3 °C"));
    const QRect picture = viewer->pictureArea()->geometry();
    EXPECT_EQ(banner->geometry().topLeft(), picture.topLeft());
    EXPECT_EQ(banner->width(), picture.width());
    EXPECT_LT(banner->height(), picture.height() / 4);
    const QColor top = viewer->grab().toImage().pixelColor(picture.center().x(), picture.top() + 2);
    EXPECT_GT(top.red(), 150);
    EXPECT_LT(top.green(), 60);
    // The person stepped out during the alarm's hold: the reading stays until it ends.
    emit station->readoutsChanged(Readouts{});
    EXPECT_EQ(banner->text(), QStringLiteral("ALARM 38.3 °C"));

    emit station->alarmChanged(false);
    EXPECT_FALSE(banner->isVisible());
    emit station->alarmChanged(true);
    EXPECT_TRUE(banner->isVisible());
    viewer->leaveFullView();
    EXPECT_FALSE(banner->isVisible());
}

TEST_F(LiveViewerTest, PausedScreeningIsSaidOverThePictureUntilTheLock) {
    ScreeningNotice* notice = viewer->screeningNotice();
    EXPECT_FALSE(notice->isVisible());
    ReferenceStatus status;
    status.state = ReferenceState::Lost;
    emit station->referenceStatusChanged(status);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_EQ(notice->text(), QString::fromUtf8("Reference lost — screening paused"));
    EXPECT_TRUE(viewer->pictureArea()->geometry().contains(notice->geometry()));
    // Whole on a picture shown at the camera's own 384 pixels.
    EXPECT_LE(notice->sizeHint().width(), 384 - 16);
    status.state = ReferenceState::Searching;
    emit station->referenceStatusChanged(status);
    EXPECT_EQ(notice->text(), QString::fromUtf8("Searching for the reference…"));
    // Still over the picture alone on the screen.
    viewer->toggleFullView();
    EXPECT_TRUE(viewer->pictureArea()->geometry().contains(notice->geometry()));
    viewer->leaveFullView();
    status.state = ReferenceState::Locked;
    emit station->referenceStatusChanged(status);
    EXPECT_FALSE(notice->isVisible());
}

TEST_F(LiveViewerTest, MeasureRunsUntilTheOffsetArrives) {
    control<QPushButton>("measureButton")->click();
    EXPECT_TRUE(station->pipeline().measuring());
    EXPECT_TRUE(station->measurementTimerActive());
    station->host().offsetMeasured("0.8");
    QApplication::processEvents();
    EXPECT_EQ(control<QLineEdit>("offsetField")->text(), "0.8");
    EXPECT_FALSE(station->measurementTimerActive());
}

// A correction beyond 1.0 °C (a subject with fever, say) waits for the operator; a small one is
// applied as it comes. The offset in force is shown beside the large read-out and logged.
TEST_F(LiveViewerTest, ALargeMeasuredCorrectionWaitsForTheOperatorsConfirmation) {
    log.setStationUp(true);
    QSignalSpy statusMessages(viewer, &CCalidraView::statusMessage);
    control<QComboBox>("modeList")->setCurrentIndex(1);
    emit control<QComboBox>("modeList")->activated(1); // Auto
    const auto measured = [&](const char* offset) {
        control<QPushButton>("measureButton")->click();
        station->host().offsetMeasured(offset);
        QApplication::processEvents();
        return viewer->findChild<OffsetConfirmation*>("offsetConfirmation");
    };
    const auto offsetShown = [&] {
        QLabel* shown = control<QLabel>("offsetReadout");
        return shown->isVisibleTo(viewer->pane()) ? shown->text().replace(QChar::Nbsp, ' ') : QString();
    };
    EXPECT_EQ(offsetShown(), "");

    EXPECT_EQ(measured("0.5"), nullptr);
    EXPECT_EQ(control<QLineEdit>("offsetField")->text(), "0.5");
    EXPECT_TRUE(offsetShown().startsWith("Offset +0.5 "));

    OffsetConfirmation* question = measured("-1.6");
    ASSERT_NE(question, nullptr);
    EXPECT_TRUE(question->text().contains("-1.6 °C") && question->text().contains("0.5 °C"));
    EXPECT_TRUE(question->informativeText().contains("normal body temperature"));
    EXPECT_EQ(control<QLineEdit>("offsetField")->text(), "0.5") << "held, not applied";
    EXPECT_FALSE(station->measurementTimerActive());
    question->cancelButton()->click();
    QApplication::processEvents();
    EXPECT_EQ(control<QLineEdit>("offsetField")->text(), "0.5");
    ASSERT_EQ(statusMessages.count(), 1);
    EXPECT_EQ(statusMessages.at(0).at(0).toString(),
              "Measured offset -1.6 °C not applied: the offset 0.5 °C stays in force.");

    question = measured("-1.6");
    ASSERT_NE(question, nullptr);
    question->applyButton()->click();
    QApplication::processEvents();
    EXPECT_EQ(control<QLineEdit>("offsetField")->text(), "-1.6");
    EXPECT_TRUE(offsetShown().startsWith("Offset −1.6 "));
    control<QComboBox>("unitList")->setCurrentIndex(1); // a difference: scaled, not shifted
    emit control<QComboBox>("unitList")->activated(1);
    EXPECT_EQ(offsetShown(), "Offset −2.9 °F");

    const auto logged = [&](int back) { return log.model().entry(log.model().rowCount() - back).message; };
    EXPECT_EQ(logged(2), "Measured offset -1.6 °C: a correction of -2.1 °C to the offset in force (0.5 °C), "
                         "held for the operator's confirmation.");
    EXPECT_EQ(logged(1),
              "Offset in force changed from 0.5 °C to -1.6 °C (measured, confirmed by the operator).");
}

TEST_F(LiveViewerTest, TheFrameThreadSeesThePanesValues) {
    QSignalSpy statusMessages(viewer, &CCalidraView::statusMessage);
    control<QLineEdit>("alarmField")->setText("36.6");
    QTest::keyClick(control<QLineEdit>("alarmField"), Qt::Key_Return);
    control<QComboBox>("paletteList")->setCurrentIndex(4);
    emit control<QComboBox>("paletteList")->activated(4);
    const OperatorSettings settings = station->host().operatorSettings();
    EXPECT_EQ(settings.frame.alarmCelsius, 36.6);
    EXPECT_EQ(settings.frame.detectionCelsius, 32.0);
    EXPECT_EQ(settings.paletteNumber, 4);
    EXPECT_EQ(settings.fontSize, 1);

    // A refused value: the text in force comes back and the status bar says why for a while.
    control<QLineEdit>("alarmField")->setText("3");
    QTest::keyClick(control<QLineEdit>("alarmField"), Qt::Key_Return);
    EXPECT_EQ(control<QLineEdit>("alarmField")->text(), "36.6");
    ASSERT_EQ(statusMessages.count(), 1);
    EXPECT_TRUE(
        statusMessages.at(0).at(0).toString().startsWith("Alarm Temp must be a number of at least 30.0 °C"));
    EXPECT_EQ(statusMessages.at(0).at(1).toInt(), CLiveViewer::refusalShownMs);
    control<QLineEdit>("alarmField")->setText("375"); // 37.5 without its point
    QTest::keyClick(control<QLineEdit>("alarmField"), Qt::Key_Return);
    EXPECT_EQ(control<QLineEdit>("alarmField")->text(), "36.6");
    EXPECT_EQ(station->host().operatorSettings().frame.alarmCelsius, 36.6);
    ASSERT_EQ(statusMessages.count(), 2);
    EXPECT_TRUE(statusMessages.at(1).at(0).toString().contains("at most 40.0 °C"));
}

TEST_F(LiveViewerTest, MaskingWritesTheCleanPictureForTheEditor) {
    QDir(folder.path()).mkpath("Zonara");
    station->pipeline().allocateBuffers(32, 24);
    control<QPushButton>("maskingButton")->click();
    const QImage snapshot(folder.filePath("Zonara/snapshot.jpg"));
    EXPECT_EQ(snapshot.size(), QSize(32, 24));

    QDir(folder.filePath("Zonara")).removeRecursively();
    control<QPushButton>("maskingButton")->click(); // no folder: nothing written, nothing reported
    EXPECT_FALSE(QFile::exists(folder.filePath("Zonara/snapshot.jpg")));
}

const char* LiveViewerTest::scenario = R"({ "cameras": [ { "present": false } ] })";

// The windowed and the headless station read the operator's values the same way.
TEST_F(LiveViewerTest, BothFrontEndsPublishTheSameValuesFromTheStore) {
    for (const auto& [key, value] : std::vector<std::pair<QString, double>>{{"TemperatureUnit", 1},
                                                                            {"AlarmTemperature", 36.9},
                                                                            {"TrackingTemperature", 50.0},
                                                                            {"AlarmSavePeriod", 0},
                                                                            {"FontSize", 0},
                                                                            {"AlarmEvent", 7},
                                                                            {"AlarmType", 1}}) {
        store.writeDouble(key, value);
        test::FakeCameraLibrary noCamera(std::vector<test::FakeCameraSpec>{});
        StationOptions headless;
        headless.cameraLibrary = &noCamera;
        headless.writesOperatorValues = false;
        Station headlessStation(store, log, headless);
        headlessStation.start();
        viewer->OnInitialUpdate(); // the pane reads the store again
        const OperatorSettings windowed = station->host().operatorSettings();
        const OperatorSettings printed = headlessStation.host().operatorSettings();
        EXPECT_EQ(printed.frame.detectionCelsius, windowed.frame.detectionCelsius) << key.toStdString();
        EXPECT_EQ(printed.frame.alarmCelsius, windowed.frame.alarmCelsius) << key.toStdString();
        EXPECT_EQ(printed.frame.alarmSavePeriodMs, windowed.frame.alarmSavePeriodMs) << key.toStdString();
        EXPECT_EQ(printed.frame.minimumRegionArea, windowed.frame.minimumRegionArea) << key.toStdString();
        EXPECT_EQ(printed.unit, windowed.unit) << key.toStdString();
        EXPECT_EQ(printed.fontSize, windowed.fontSize) << key.toStdString();
        EXPECT_EQ(printed.alarmEvent, windowed.alarmEvent) << key.toStdString();
        EXPECT_EQ(printed.alarmType, windowed.alarmType) << key.toStdString();
    }
}

TEST_F(LiveViewerTest, BeforeTheFirstFrameNothingIsShownAsMeasured) {
    EXPECT_EQ(readout("maximumReadout"), "");
    EXPECT_EQ(readout("minimumReadout"), "");
    EXPECT_EQ(readout("largeReadout"), "");
    EXPECT_EQ(viewer->pictureArea()->signalText(), "Searching for a camera…");
}

// The fake camera, with a person at 38.5 °C in view; its timers are short real ones.
class UnpluggedDuringAnAlarmTest : public ::testing::Test {
protected:
    UnpluggedDuringAnAlarmTest() {
        library.cameras[0].codeAt = [](int x, int y) {
            return x >= 150 && x < 200 && y >= 80 && y < 230 ? uint16_t(1385) : uint16_t(1250);
        };
        options.timings.connectFirstMs = 10;
        options.timings.openWaitMs = 10;
        options.timings.readoutMs = 20;
        options.programFolder = folder.path();
        options.cameraLibrary = &library;
        station = std::make_unique<Station>(store, log, options);
        viewer = std::make_unique<CLiveViewer>(*station, folder.path());
        viewer->resize(1000, 700);
        viewer->show();
        viewer->OnInitialUpdate();
    }
    template <typename Condition> bool runUntil(Condition condition) {
        QElapsedTimer waited;
        waited.start();
        while (!condition() && waited.elapsed() < 5000) {
            library.deliverFrame();
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return condition();
    }

    QTemporaryDir folder;
    SettingsStore store{folder.filePath("Calidra.conf")};
    EventLog log;
    test::FakeCameraLibrary library;
    StationOptions options;
    std::unique_ptr<Station> station;
    std::unique_ptr<CLiveViewer> viewer;
};

TEST_F(UnpluggedDuringAnAlarmTest, PictureSaysNoSignalAndTheAlarmAndReadoutsEnd) {
    PictureArea* picture = viewer->pictureArea();
    QLabel* large = viewer->pane()->findChild<QLabel*>("largeReadout");
    ASSERT_TRUE(runUntil([&] {
        return picture->picturesTaken() > 0 && station->pipeline().alarmOn() && large->text() == "38.5 °C";
    }));
    const QColor live = picture->grab().toImage().pixelColor(5, 5);

    library.unplug("SIM-A");
    ASSERT_TRUE(runUntil([&] { return picture->cameraSignal() == CameraSignal::Lost; }));
    QApplication::processEvents();
    EXPECT_FALSE(station->pipeline().alarmOn());
    EXPECT_EQ(large->text(), "");
    EXPECT_EQ(viewer->pane()->findChild<QLabel*>("maximumReadout")->text(), "");
    EXPECT_EQ(picture->signalText(), "No camera signal — searching…");
    // The last picture stays, dimmed, under the text.
    const QColor dimmed = picture->grab().toImage().pixelColor(5, 5);
    EXPECT_LT(dimmed.value(), live.value() / 2);
    EXPECT_GT(live.value(), 0);
}

class FeverishSceneTest : public LiveViewerTest {
protected:
    static void SetUpTestSuite() {
        scenario = R"({ "cameras": [ { "width": 160, "height": 120, "fps": 30,
            "people": [ { "enter": 0.0, "leave": 60.0, "temperature": 38.2,
                          "from": [0.5, 0.55], "to": [0.5, 0.55], "height": 0.7 } ] } ] })";
    }
    static void TearDownTestSuite() { scenario = R"({ "cameras": [ { "present": false } ] })"; }
};

int redPixels(const QImage& image) {
    int count = 0;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x)
            count += rgb.pixel(x, y) == qRgb(255, 0, 0) ? 1 : 0;
    return count;
}

TEST_F(FeverishSceneTest, FeverishPersonGetsARedRectangleTheAlarmAndTheReadout) {
    ASSERT_TRUE(runUntil([&] { return viewer->pictureArea()->picturesTaken() > 5; }));
    ASSERT_TRUE(runUntil([&] { return redPixels(viewer->pictureArea()->grab().toImage()) > 20; }));
    EXPECT_TRUE(runUntil([&] { return viewer->pane()->alarmAnimation().isPlaying(); }));
    EXPECT_TRUE(runUntil([&] { return readout("largeReadout") == "38.2 °C"; }));
    EXPECT_TRUE(station->connection().connected());
}

TEST_F(FeverishSceneTest, ClosingWhileAcquiringStopsEverythingInOrder) {
    ASSERT_TRUE(runUntil([&] { return viewer->pictureArea()->picturesTaken() > 2; }));
    delete viewer; // frames are still arriving
    viewer = nullptr;
    int count = -1;
    EXPECT_NE(svkGetCameraCount(&count), SVK_OK); // the library is down
}

} // namespace
} // namespace calidra
