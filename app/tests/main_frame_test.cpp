#include "shell/main_frame.h"

#include "station_features.h"

#include "browser/image_viewer.h"
#include "liveview/live_viewer.h"
#include "statistics/statistics_view.h"
#include "shell/color_theme.h"
#include "shell/lock_key_state.h"
#include "shell/views_bar.h"
#include "viewbase/calidra_view.h"

#include "eventlog/event_log.h"
#include "settings/settings_store.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// A view that counts what the frame does to it.
class CountingView : public CCalidraView {
public:
    explicit CountingView(QWidget* parent) : CCalidraView(parent) {}
    void OnInitialUpdate() override {
        ++initialUpdates;
        CCalidraView::OnInitialUpdate();
    }
    void OnChangeVisualManager() override {
        ++themeChanges;
        CCalidraView::OnChangeVisualManager();
    }
    int initialUpdates = 0;
    int themeChanges = 0;
};

CCalidraView* makeCountingView(const calidra::ViewEnvironment& environment) {
    return new CountingView(environment.parent);
}
CCalidraView* makeNothing(const calidra::ViewEnvironment&) {
    return nullptr;
}
CCalidraView* makeThrowing(const calidra::ViewEnvironment&) {
    throw std::runtime_error("no camera library");
}

std::vector<CDemoFeature> countingFeatures(calidra::ViewClass second = makeCountingView) {
    return {{CDemoFeature::viewsGroup, 0, "Live View", makeCountingView, nullptr},
            {CDemoFeature::viewsGroup, 0, "Image View", second, nullptr}};
}

class FakeLockKeys : public calidra::LockKeyReader {
public:
    explicit FakeLockKeys(calidra::LockKeys keys) : keys_(keys) {}
    calidra::LockKeys read() override { return keys_; }

private:
    calidra::LockKeys keys_;
};

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        // What the application object selects before any window exists.
        calidra::applyVisualTheme(calidra::VisualTheme::Dark);
    }

    // Each frame with its own station, as each run of the program has.
    std::unique_ptr<CMainFrame> start(std::vector<CDemoFeature> features = calidra::stationFeatures()) {
        stations.push_back(calidra::makeStation(settings, log));
        auto frame = std::make_unique<CMainFrame>(settings, std::move(features), log, stations.back().get());
        EXPECT_TRUE(frame->create());
        frame->initialUpdateViews();
        frame->SelectView(frame->currentViewNumber());
        return frame;
    }

    void chooseTheme(CMainFrame& frame, int index) {
        frame.themeCombo()->setCurrentIndex(index);
        emit frame.themeCombo()->activated(index);
    }

    calidra::Station& station() { return *stations.back(); }

    QTemporaryDir folder;
    calidra::EventLog log;
    calidra::SettingsStore settings{folder.filePath("Calidra.conf")};
    std::vector<std::unique_ptr<calidra::Station>> stations; // outlive the frames of a test
};

QString shownHeading(const CMainFrame& frame) {
    if (qobject_cast<calidra::CLiveViewer*>(frame.activeView()) != nullptr)
        return QStringLiteral("Live View");
    if (qobject_cast<calidra::CImageViewer*>(frame.activeView()) != nullptr)
        return QStringLiteral("Image View");
    if (qobject_cast<calidra::CStatisticsView*>(frame.activeView()) != nullptr)
        return QStringLiteral("Statistics");
    return QString();
}

TEST_F(MainFrameTest, FirstStartShowsTheLiveViewInTheDarkTheme) {
    auto frame = start();
    EXPECT_EQ(frame->themeCombo()->currentText(), "Dark Theme");
    EXPECT_EQ(frame->themeCombo()->count(), 3);
    EXPECT_EQ(frame->themeCombo()->itemText(0), "Light Theme");
    EXPECT_EQ(frame->themeCombo()->itemText(2), "Blue Theme");
    EXPECT_EQ(calidra::currentVisualTheme(), calidra::VisualTheme::Dark);
    EXPECT_EQ(settings.readInteger("ColorTheme", -99), 1);

    EXPECT_EQ(shownHeading(*frame), "Live View");
    EXPECT_EQ(frame->currentViewNumber(), 1);
    EXPECT_EQ(frame->viewsBar()->tree()->currentIndex().data().toString(), "Live View");
    EXPECT_FALSE(frame->backAction()->isEnabled());
    EXPECT_TRUE(frame->forwardAction()->isEnabled());
    ASSERT_EQ(frame->views().size(), 3u); // live, images, statistics
    EXPECT_NE(frame->views()[0], frame->views()[1]);
}

TEST_F(MainFrameTest, ChosenThemeIsAppliedToldToEveryViewStoredAndRestored) {
    {
        auto frame = start(countingFeatures());
        auto* first = static_cast<CountingView*>(frame->views()[0]);
        auto* second = static_cast<CountingView*>(frame->views()[1]);
        const int before = second->themeChanges;
        chooseTheme(*frame, 2);
        EXPECT_EQ(calidra::currentVisualTheme(), calidra::VisualTheme::Blue);
        EXPECT_EQ(QApplication::palette().color(QPalette::Window),
                  calidra::paletteFor(calidra::VisualTheme::Blue).color(QPalette::Window));
        EXPECT_EQ(first->themeChanges, before + 1);
        EXPECT_EQ(second->themeChanges, before + 1);
        EXPECT_EQ(settings.readInteger("ColorTheme", -99), 2);
        // The views stay white on any theme.
        EXPECT_EQ(first->palette().color(QPalette::Window), QColor(Qt::white));
    }
    calidra::applyVisualTheme(calidra::VisualTheme::Dark);
    auto next = start();
    EXPECT_EQ(next->themeCombo()->currentText(), "Blue Theme");
    EXPECT_EQ(calidra::currentVisualTheme(), calidra::VisualTheme::Blue);
}

TEST_F(MainFrameTest, StoredThemeOutsideTheListKeepsDark) {
    settings.writeInteger("ColorTheme", 7);
    auto frame = start();
    EXPECT_EQ(frame->themeCombo()->currentIndex(), -1);
    EXPECT_EQ(calidra::currentVisualTheme(), calidra::VisualTheme::Dark);

    settings.writeInteger("ColorTheme", -1);
    auto again = start();
    EXPECT_EQ(calidra::currentVisualTheme(), calidra::VisualTheme::Dark);
    chooseTheme(*again, 0);
    EXPECT_EQ(calidra::currentVisualTheme(), calidra::VisualTheme::Light);
    EXPECT_EQ(settings.readInteger("ColorTheme", -99), 0);
}

TEST_F(MainFrameTest, ViewsAreInitialisedOnceAfterTheFrameIsBuilt) {
    CMainFrame frame(settings, countingFeatures(), log);
    ASSERT_TRUE(frame.create());
    auto* first = static_cast<CountingView*>(frame.views()[0]);
    EXPECT_EQ(first->initialUpdates, 0);
    frame.initialUpdateViews();
    frame.initialUpdateViews();
    EXPECT_EQ(first->initialUpdates, 1);
    EXPECT_EQ(static_cast<CountingView*>(frame.views()[1])->initialUpdates, 1);
}

// The Image View follows the application's station: its unit, and each snapshot it saves.
TEST_F(MainFrameTest, TheImageViewHearsTheStationsSnapshotsAndUnit) {
    auto frame = start();
    auto* live = qobject_cast<calidra::CLiveViewer*>(frame->views()[0]);
    auto* images = qobject_cast<calidra::CImageViewer*>(frame->views()[1]);
    ASSERT_TRUE(live != nullptr && images != nullptr);
    station().values().chooseUnit(calidra::TemperatureUnit::Fahrenheit);
    EXPECT_EQ(images->temperatureUnit(), calidra::TemperatureUnit::Fahrenheit);

    const QString saved = folder.filePath("ThermalAlarm_20210307_090503.jpg");
    QFile(saved).open(QIODevice::WriteOnly);
    emit station().snapshotSaved(saved, 38.2);
    QElapsedTimer waited; // the row comes after the view's first listing
    waited.start();
    while (images->list()->rowCount() == 0 && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(images->list()->rowCount(), 1);
    EXPECT_EQ(images->list()->item(0, 1)->text(), "ThermalAlarm_20210307_090503.jpg");
    EXPECT_EQ(images->list()->item(0, 2)->text(), "100.8 °F");
}

TEST_F(MainFrameTest, ViewsPaneAndBackForwardSwitchTheClientArea) {
    auto frame = start();
    CViewsBar* pane = frame->viewsBar();
    const QModelIndex root = pane->tree()->model()->index(0, 0);
    pane->tree()->setCurrentIndex(pane->tree()->model()->index(1, 0, root));
    EXPECT_EQ(shownHeading(*frame), "Image View");
    EXPECT_EQ(frame->currentViewNumber(), 2);
    EXPECT_TRUE(frame->backAction()->isEnabled());
    EXPECT_TRUE(frame->forwardAction()->isEnabled());
    pane->tree()->setCurrentIndex(pane->tree()->model()->index(2, 0, root));
    EXPECT_EQ(shownHeading(*frame), "Statistics");
    EXPECT_FALSE(frame->forwardAction()->isEnabled());

    frame->backAction()->trigger();
    EXPECT_EQ(shownHeading(*frame), "Image View");
    frame->backAction()->trigger();
    EXPECT_EQ(shownHeading(*frame), "Live View");
    EXPECT_EQ(pane->tree()->currentIndex().data().toString(), "Live View");
    EXPECT_FALSE(frame->backAction()->isEnabled());

    // The heading switches nothing.
    pane->tree()->setCurrentIndex(root);
    EXPECT_EQ(shownHeading(*frame), "Live View");

    frame->SelectView(2);
    EXPECT_EQ(shownHeading(*frame), "Image View");
    // Numbers outside the array show the first view.
    frame->SelectView(5);
    EXPECT_EQ(shownHeading(*frame), "Live View");
    EXPECT_EQ(frame->currentViewNumber(), 1);
    frame->SelectView(-3);
    EXPECT_EQ(shownHeading(*frame), "Live View");
}

TEST_F(MainFrameTest, AViewBackFromFullScreenTakesItsPlaceAgain) {
    auto frame = start();
    frame->show();
    CCalidraView* live = frame->views()[0];
    live->setParent(nullptr);
    live->showFullScreen();
    EXPECT_NE(frame->activeView(), live);

    live->setParent(frame->clientArea());
    frame->layOutViews();
    EXPECT_EQ(frame->activeView(), live);
    EXPECT_TRUE(live->isVisible());
    frame->SelectView(2);
    frame->SelectView(1);
    EXPECT_EQ(frame->activeView(), live);
    EXPECT_EQ(shownHeading(*frame), "Live View");
}

TEST_F(MainFrameTest, KeyboardBackAndForwardOnlyWhereThereIsAWayToGo) {
    auto frame = start();
    frame->show();
    QApplication::setActiveWindow(frame.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));

    QTest::keyClick(frame.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(shownHeading(*frame), "Live View");
    QTest::keyClick(frame.get(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(shownHeading(*frame), "Image View");
    QTest::keyClick(frame.get(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(shownHeading(*frame), "Statistics");
    QTest::keyClick(frame.get(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(shownHeading(*frame), "Statistics");
    QTest::keyClick(frame.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(shownHeading(*frame), "Image View");
    EXPECT_TRUE(frame->isVisible());
}

TEST_F(MainFrameTest, F2AndEscWorkRightAfterAClickInTheViewsPane) {
    auto frame = start();
    frame->show();
    QApplication::setActiveWindow(frame.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    auto* live = qobject_cast<calidra::CLiveViewer*>(frame->views()[0]);
    ASSERT_NE(live, nullptr);

    QTreeView* tree = frame->viewsBar()->tree();
    const QModelIndex liveItem = tree->model()->index(0, 0, tree->model()->index(0, 0));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->visualRect(liveItem).center());
    ASSERT_EQ(QApplication::focusWidget(), tree);
    QTest::keyRelease(tree, Qt::Key_F2);
    EXPECT_TRUE(live->fullView());
    QTest::keyRelease(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(live->fullView());
    QTest::keyRelease(frame->themeCombo(), Qt::Key_F2); // the toolbar is the main window's too
    EXPECT_TRUE(live->fullView());
    live->leaveFullView();
}

TEST_F(MainFrameTest, StatusBarNamesTheCameraAndShowsWhatAViewSays) {
    auto frame = start();
    auto* live = qobject_cast<calidra::CLiveViewer*>(frame->views()[0]);
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(frame->viewStatusPane()->text(), "No camera"); // still searching
    calidra::CameraState connected;
    connected.status = calidra::CameraState::Status::Connected;
    connected.label = "SIM-A";
    connected.identity = "16F0A001";
    connected.model = "KVX-384TRA";
    emit station().cameraStateChanged(connected);
    EXPECT_EQ(frame->viewStatusPane()->text(), "SIM-A [16F0A001] KVX-384TRA");

    emit live->statusMessage("Alarm Temp must be ...", 5000);
    EXPECT_EQ(frame->statusBar()->currentMessage(), "Alarm Temp must be ...");
}

TEST_F(MainFrameTest, ARefusalInTheStatusBarGoesWithTheNextAcceptedEntry) {
    auto frame = start();
    auto* live = qobject_cast<calidra::CLiveViewer*>(frame->views()[0]);
    ASSERT_NE(live, nullptr);
    const auto enter = [&](const char* field, const QString& text) {
        auto* edit = live->pane()->findChild<QLineEdit*>(field);
        edit->setText(text);
        QTest::keyClick(edit, Qt::Key_Return);
    };
    enter("alarmField", "3");
    EXPECT_TRUE(frame->statusBar()->currentMessage().startsWith("Alarm Temp must be"));
    // Leaving the field, which shows the value in force again, is no new entry.
    enter("alarmField", live->pane()->findChild<QLineEdit*>("alarmField")->text());
    EXPECT_TRUE(frame->statusBar()->currentMessage().startsWith("Alarm Temp must be"));
    enter("savePeriodField", "5");
    EXPECT_EQ(frame->statusBar()->currentMessage(), "");

    // A message shown since then stays.
    enter("savePeriodField", "0");
    emit live->statusMessage("Camera found", 5000);
    enter("savePeriodField", "6");
    EXPECT_EQ(frame->statusBar()->currentMessage(), "Camera found");
}

TEST_F(MainFrameTest, AViewThatCouldNotBeMadeLeavesAnEmptySlot) {
    auto failed = start(countingFeatures(makeThrowing));
    ASSERT_EQ(failed->views().size(), 2u);
    EXPECT_EQ(failed->views()[1], nullptr);

    auto frame = start(countingFeatures(makeNothing));
    ASSERT_EQ(frame->views().size(), 2u);
    EXPECT_EQ(frame->views()[1], nullptr);
    CCalidraView* first = frame->activeView();
    ASSERT_EQ(first, frame->views()[0]);

    frame->SelectView(2);
    EXPECT_EQ(frame->activeView(), first);
    frame->forwardAction()->trigger();
    EXPECT_EQ(frame->activeView(), first);
    EXPECT_EQ(frame->currentViewNumber(), 1);
    chooseTheme(*frame, 0);
    EXPECT_EQ(settings.readInteger("ColorTheme", -99), 0);
}

TEST_F(MainFrameTest, MenusAndStatusBarCarryTheStandardCommands) {
    auto frame = start();
    EXPECT_EQ(frame->backAction()->shortcut(), QKeySequence("Ctrl+Q"));
    EXPECT_EQ(frame->forwardAction()->shortcut(), QKeySequence("Ctrl+W"));
    EXPECT_EQ(frame->exitAction()->text(), "E&xit");
    EXPECT_EQ(frame->statusBarAction()->text(), "&Status Bar");

    frame->show();
    frame->statusBarAction()->trigger();
    EXPECT_FALSE(frame->statusBar()->isVisible());
    frame->statusBarAction()->trigger();
    EXPECT_TRUE(frame->statusBar()->isVisible());

    frame->setLockKeyReader(std::make_unique<FakeLockKeys>(calidra::LockKeys{true, false, true}));
    EXPECT_TRUE(frame->lockKeyPane(0)->isEnabled());
    EXPECT_FALSE(frame->lockKeyPane(1)->isEnabled());
    EXPECT_TRUE(frame->lockKeyPane(2)->isEnabled());
    EXPECT_EQ(frame->lockKeyPane(1)->text(), "NUM");

    frame->exitAction()->trigger();
    EXPECT_FALSE(frame->isVisible());
}

} // namespace
