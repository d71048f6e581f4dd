#include "liveview/live_viewer_ctrl.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QVariant>

#include <gtest/gtest.h>

#include <vector>

namespace calidra {
namespace {

QApplication& application() {
    static int argc = 1;
    static char name[] = "options_pane_test";
    static char* argv[] = {name, nullptr};
    static QApplication instance(argc, argv);
    return instance;
}

class MemoryStore : public OptionsStore {
public:
    int readInteger(const QString& key, int defaultValue) override {
        return values.contains(key) ? values[key].toInt() : defaultValue;
    }
    double readDouble(const QString& key, double defaultValue) override {
        return values.contains(key) ? values[key].toDouble() : defaultValue;
    }
    void writeInteger(const QString& key, int value) override { values[key] = value; }
    void writeDouble(const QString& key, double value) override { values[key] = value; }
    QMap<QString, QVariant> values;
};

class RecordingOwner : public OptionsPaneOwner {
public:
    bool cameraOpen() override { return open; }
    bool userCompensationSupported() override { return compensation; }
    void setCameraNodeFloat(const QString& node, double value) override { floats.push_back({node, value}); }
    void setCameraNodeEnum(const QString& node, const QString& entry) override {
        enums.push_back({node, entry});
    }
    void setMeasuring(bool value) override { measuring = value; }
    void startMeasurement() override { ++measurementsStarted; }
    void SetNucInterval(int intervalMs) override { nucIntervals.push_back(intervalMs); }
    void setFontSize(int position) override { fontSize = position; }
    void setAlarmEvent(int position) override { alarmEvent = position; }
    void setAlarmType(int position) override { alarmType = position; }
    void showCameraDialog() override {}
    void LaunchMaskEditor() override { ++maskEditorLaunches; }
    void LaunchIpTool() override {}
    void StartStreamingServer() override {}
    void StopStreamingServer() override {}
    void operatorValuesChanged() override { ++publications; }

    bool open = false;
    bool compensation = false;
    std::vector<std::pair<QString, double>> floats;
    std::vector<std::pair<QString, QString>> enums;
    bool measuring = true;
    int measurementsStarted = 0;
    std::vector<int> nucIntervals;
    int fontSize = 1; // the live view's value at construction
    int alarmEvent = -1;
    int alarmType = -1;
    int maskEditorLaunches = 0;
    int publications = 0;
};

class OptionsPaneTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { application(); }

    void start() {
        pane.LoadSettingsIntoLists();
        pane.LoadSettingsIntoFields();
    }
    // What the operator's pick in a list does.
    static void pick(QComboBox* list, int index) {
        list->setCurrentIndex(index);
        emit list->activated(index);
    }

    MemoryStore store;
    RecordingOwner owner;
    CLiveViewerCtrl pane{owner, store};
};

TEST_F(OptionsPaneTest, FirstRunShowsTheDefaultsAndStoresThemBack) {
    start();
    EXPECT_EQ(pane.detectionField()->text(), "32.0");
    EXPECT_EQ(pane.alarmField()->text(), "37.5");
    EXPECT_EQ(pane.savePeriodField()->text(), "2");
    EXPECT_EQ(pane.nucField()->text(), "120");
    EXPECT_EQ(pane.detectTestField()->text(), "40");
    EXPECT_EQ(pane.unitList()->currentText(), "℃");
    EXPECT_EQ(pane.modeList()->currentIndex(), 0);
    EXPECT_EQ(pane.alarmEventList()->currentText(), "Only Sound");
    EXPECT_EQ(pane.alarmTypeList()->currentText(), "Alarm1");
    EXPECT_EQ(pane.paletteList()->count(), 16);
    EXPECT_EQ(pane.paletteList()->itemText(15), "BlueRed2");
    EXPECT_EQ(pane.paletteIndex(), -1);

    // The stored font size 2 matches no entry: no selection, the overlay stays large.
    EXPECT_EQ(pane.fontList()->currentIndex(), -1);
    EXPECT_EQ(owner.fontSize, 1);
    EXPECT_FALSE(store.values.contains("FontSize"));
    // With Celsius stored the unit handler sees no change: the labels keep their first text.
    EXPECT_EQ(pane.unitLabelText(), "C");

    EXPECT_DOUBLE_EQ(store.values["TrackingTemperature"].toDouble(), 32.0);
    EXPECT_DOUBLE_EQ(store.values["AlarmTemperature"].toDouble(), 37.5);
    EXPECT_EQ(store.values["AlarmSavePeriod"].toInt(), 2);
    EXPECT_EQ(store.values["DetectTest"].toInt(), 40);
    EXPECT_EQ(store.values["TemperatureMode"].toInt(), 0);
    EXPECT_FALSE(store.values.contains("NUCPeriod")); // only Apply stores it
    EXPECT_FALSE(pane.detectTestField()->isVisibleTo(&pane));
    EXPECT_FALSE(pane.cameraSettingButton()->isVisibleTo(&pane));
    EXPECT_FALSE(pane.startStreamingButton()->isVisibleTo(&pane));
}

TEST_F(OptionsPaneTest, UnitSwitchRewritesBothFieldsAndKeepsCelsiusStored) {
    start();
    pick(pane.unitList(), 1);
    EXPECT_EQ(pane.alarmField()->text(), "99.5");
    EXPECT_EQ(pane.detectionField()->text(), "89.6");
    EXPECT_EQ(pane.unitLabelText(), "℉");
    EXPECT_DOUBLE_EQ(store.values["AlarmTemperature"].toDouble(), 37.5);
    EXPECT_EQ(store.values["TemperatureUnit"].toInt(), 1);
    EXPECT_EQ(pane.paneUnit(), 1);

    pick(pane.unitList(), 0);
    EXPECT_EQ(pane.alarmField()->text(), "37.5");
    EXPECT_EQ(pane.unitLabelText(), "℃");
}

TEST_F(OptionsPaneTest, FahrenheitStartRoundsTheStoredTemperatureToTheShownDecimal) {
    store.values["TemperatureUnit"] = 1;
    store.values["AlarmTemperature"] = 36.9;
    start();
    EXPECT_EQ(pane.alarmField()->text(), "98.4");
    EXPECT_DOUBLE_EQ(store.values["AlarmTemperature"].toDouble(), (98.4 - 32) / 1.8);
}

TEST_F(OptionsPaneTest, TemperaturesAboveTheCeilingAreCappedInTheShownUnit) {
    start();
    pane.alarmField()->setText("50");
    EXPECT_EQ(pane.alarmField()->text(), "45.0");
    EXPECT_DOUBLE_EQ(store.values["AlarmTemperature"].toDouble(), 45.0);

    pick(pane.unitList(), 1);
    pane.detectionField()->setText("120");
    EXPECT_EQ(pane.detectionField()->text(), "113.0");
    EXPECT_DOUBLE_EQ(store.values["TrackingTemperature"].toDouble(), 45.0);

    pane.detectionField()->setText("-40"); // no lower bound
    EXPECT_DOUBLE_EQ(store.values["TrackingTemperature"].toDouble(), -40.0);
}

TEST_F(OptionsPaneTest, IntegerFieldsParseFromTheStart) {
    start();
    pane.savePeriodField()->setText("");
    EXPECT_EQ(store.values["AlarmSavePeriod"].toInt(), 0);
    pane.savePeriodField()->setText("7s");
    EXPECT_EQ(store.values["AlarmSavePeriod"].toInt(), 7);
    pane.savePeriodField()->setText("99999999999");
    EXPECT_EQ(store.values["AlarmSavePeriod"].toInt(), 2147483647);
}

TEST_F(OptionsPaneTest, ModeListShowsTheRightControlAndNormalResetsTheOffset) {
    owner.compensation = true;
    owner.open = true;
    store.values["TemperatureMode"] = 2;
    store.values["UserOffset"] = 0.7;
    start();
    EXPECT_EQ(pane.offsetField()->text(), "0.7");
    EXPECT_TRUE(pane.offsetField()->isVisibleTo(&pane));
    EXPECT_FALSE(pane.measureButton()->isVisibleTo(&pane));

    pick(pane.modeList(), 1);
    EXPECT_FALSE(pane.offsetField()->isVisibleTo(&pane));
    EXPECT_TRUE(pane.measureButton()->isVisibleTo(&pane));
    pane.measureButton()->click();
    EXPECT_EQ(owner.measurementsStarted, 1);

    owner.floats.clear();
    pick(pane.modeList(), 0);
    EXPECT_EQ(pane.offsetField()->text(), "0.0");
    EXPECT_FALSE(owner.measuring);
    ASSERT_EQ(owner.floats.size(), 1u);
    EXPECT_EQ(owner.floats[0].first, "UserCompensationParaB");
    EXPECT_EQ(owner.floats[0].second, 0.0);
    EXPECT_DOUBLE_EQ(store.values["UserOffset"].toDouble(), 0.0);
    EXPECT_EQ(store.values["TemperatureMode"].toInt(), 0);
}

TEST_F(OptionsPaneTest, OffsetReachesTheCameraOnlyWithTheNodeAndAnOpenCamera) {
    start();
    pane.offsetField()->setText("1.5");
    owner.compensation = true;
    pane.offsetField()->setText("1.6");
    EXPECT_TRUE(owner.floats.empty());
    EXPECT_FALSE(store.values.contains("UserOffset"));
    owner.open = true;
    pane.offsetField()->setText("1.7");
    ASSERT_EQ(owner.floats.size(), 1u);
    EXPECT_DOUBLE_EQ(store.values["UserOffset"].toDouble(), 1.7);
}

TEST_F(OptionsPaneTest, StoredModeOutsideTheListIsStoredBackAsNoSelection) {
    store.values["TemperatureMode"] = 7;
    start();
    EXPECT_EQ(pane.modeList()->currentIndex(), -1);
    EXPECT_EQ(store.values["TemperatureMode"].toInt(), -1);
}

TEST_F(OptionsPaneTest, PaletteGoesToTheCameraByNameOnlyWhenOneIsOpen) {
    start();
    const int before = owner.publications;
    pick(pane.paletteList(), 3);
    EXPECT_TRUE(owner.enums.empty());
    EXPECT_EQ(pane.paletteIndex(), 3);
    EXPECT_GT(owner.publications, before);

    owner.open = true;
    pick(pane.paletteList(), 8);
    ASSERT_EQ(owner.enums.size(), 1u);
    EXPECT_EQ(owner.enums[0].first, "ImageColorPalette");
    EXPECT_EQ(owner.enums[0].second, "Jet");
}

TEST_F(OptionsPaneTest, ListsReachTheLiveViewAndTheStore) {
    store.values["FontSize"] = 0;
    store.values["AlarmEvent"] = 1;
    store.values["AlarmType"] = 1;
    start();
    EXPECT_EQ(owner.fontSize, 0);
    EXPECT_EQ(owner.alarmEvent, 1);
    EXPECT_EQ(owner.alarmType, 1);
    pick(pane.fontList(), 1);
    EXPECT_EQ(owner.fontSize, 1);
    EXPECT_EQ(store.values["FontSize"].toInt(), 1);
    pick(pane.alarmTypeList(), 0);
    EXPECT_EQ(store.values["AlarmType"].toInt(), 0);
}

TEST_F(OptionsPaneTest, ApplyStoresTheNucIntervalAndRestartsTheTimer) {
    start();
    pane.nucField()->setText("30");
    pane.applyButton()->click();
    pane.nucField()->setText("off");
    pane.applyButton()->click();
    EXPECT_EQ(owner.nucIntervals, (std::vector<int>{30000, 0}));
    EXPECT_EQ(store.values["NUCPeriod"].toInt(), 0);
}

TEST_F(OptionsPaneTest, ForcedNormalModeStoresNothing) {
    store.values["TemperatureMode"] = 2;
    start();
    store.values.remove("TemperatureMode");
    pane.forceNormalMode();
    EXPECT_EQ(pane.modeList()->currentIndex(), 0);
    EXPECT_FALSE(pane.modeList()->isEnabled());
    EXPECT_FALSE(store.values.contains("TemperatureMode"));
    EXPECT_TRUE(pane.offsetField()->isVisibleTo(&pane));
}

} // namespace
} // namespace calidra
