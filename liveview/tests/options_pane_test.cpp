// The options pane as the operator uses it: controls found by name, the values' rules in the
// model behind it, what reaches the store and what is asked of the camera.

#include "liveview/live_viewer_ctrl.h"

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

class MemoryStore : public SettingsSection {
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

class OptionsPaneTest : public ::testing::Test {
protected:
    OptionsPaneTest() {
        model.setCameraTakesOffset([this] { return cameraTakesOffset; });
        QObject::connect(&model, &OperatorValuesModel::userOffsetChosen,
                         [this](double celsius) { offsetsSent.push_back(celsius); });
        QObject::connect(&model, &OperatorValuesModel::paletteChosen,
                         [this](const QString& name) { palettesSent.push_back(name); });
        QObject::connect(&model, &OperatorValuesModel::nucIntervalApplied,
                         [this](int intervalMs) { nucIntervals.push_back(intervalMs); });
        QObject::connect(&model, &OperatorValuesModel::measuringStopRequested, [this] { ++measuringStops; });
        QObject::connect(&model, &OperatorValuesModel::valuesChanged, [this] { ++publications; });
        QObject::connect(&pane, &CLiveViewerCtrl::measureRequested, [this] { ++measurementsStarted; });
    }

    QLineEdit* field(const char* name) const { return pane.findChild<QLineEdit*>(name); }
    QComboBox* list(const char* name) const { return pane.findChild<QComboBox*>(name); }
    QPushButton* button(const char* name) const { return pane.findChild<QPushButton*>(name); }
    bool shown(QWidget* control) const { return control->isVisibleTo(&pane); }
    QString unitLabel() const { return pane.findChild<QLabel*>("detectionUnitLabel")->text(); }
    // What the operator's pick in a list does.
    static void pick(QComboBox* box, int index) {
        box->setCurrentIndex(index);
        emit box->activated(index);
    }

    MemoryStore store;
    OperatorValuesModel model{store};
    CLiveViewerCtrl pane{model};
    bool cameraTakesOffset = false;
    std::vector<double> offsetsSent;
    std::vector<QString> palettesSent;
    std::vector<int> nucIntervals;
    int measuringStops = 0;
    int measurementsStarted = 0;
    int publications = 0;
};

TEST_F(OptionsPaneTest, FirstRunShowsTheDefaultsAndStoresThemBack) {
    model.load();
    EXPECT_EQ(field("detectionField")->text(), "32.0");
    EXPECT_EQ(field("alarmField")->text(), "37.5");
    EXPECT_EQ(field("savePeriodField")->text(), "2");
    EXPECT_EQ(field("nucField")->text(), "120");
    EXPECT_EQ(field("detectTestField")->text(), "40");
    EXPECT_EQ(list("unitList")->currentText(), "℃");
    EXPECT_EQ(list("modeList")->currentIndex(), 0);
    EXPECT_EQ(list("alarmEventList")->currentText(), "Only Sound");
    EXPECT_EQ(list("alarmTypeList")->currentText(), "Alarm1");
    EXPECT_EQ(list("paletteList")->count(), 16);
    EXPECT_EQ(list("paletteList")->itemText(15), "BlueRed2");
    EXPECT_EQ(list("paletteList")->currentIndex(), -1);

    // The stored font size 2 matches no entry: no selection, the overlay stays large.
    EXPECT_EQ(list("fontList")->currentIndex(), -1);
    EXPECT_EQ(model.operatorSettings().fontSize, 1);
    EXPECT_FALSE(store.values.contains("FontSize"));
    // With Celsius stored the unit handler sees no change: the labels keep their first text.
    EXPECT_EQ(unitLabel(), "C");

    EXPECT_DOUBLE_EQ(store.values["TrackingTemperature"].toDouble(), 32.0);
    EXPECT_DOUBLE_EQ(store.values["AlarmTemperature"].toDouble(), 37.5);
    EXPECT_EQ(store.values["AlarmSavePeriod"].toInt(), 2);
    EXPECT_EQ(store.values["DetectTest"].toInt(), 40);
    EXPECT_EQ(store.values["TemperatureMode"].toInt(), 0);
    EXPECT_FALSE(store.values.contains("NUCPeriod")); // only Apply stores it
    for (const char* hidden :
         {"detectTestField", "cameraSettingButton", "startStreamingButton", "cameraList"})
        EXPECT_FALSE(shown(pane.findChild<QWidget*>(hidden))) << hidden;
    // The frame thread reads what the pane shows, parsed once.
    EXPECT_EQ(model.operatorSettings().frame.alarmCelsius, 37.5);
    EXPECT_EQ(model.operatorSettings().frame.alarmSavePeriodMs, 2000);
}

TEST_F(OptionsPaneTest, UnitSwitchRewritesBothFieldsAndKeepsCelsiusStored) {
    model.load();
    pick(list("unitList"), 1);
    EXPECT_EQ(field("alarmField")->text(), "99.5");
    EXPECT_EQ(field("detectionField")->text(), "89.6");
    EXPECT_EQ(unitLabel(), "℉");
    EXPECT_DOUBLE_EQ(store.values["AlarmTemperature"].toDouble(), 37.5);
    EXPECT_EQ(store.values["TemperatureUnit"].toInt(), 1);
    EXPECT_EQ(model.unit(), TemperatureUnit::Fahrenheit);
    EXPECT_DOUBLE_EQ(model.operatorSettings().frame.alarmCelsius, 37.5);

    pick(list("unitList"), 0);
    EXPECT_EQ(field("alarmField")->text(), "37.5");
    EXPECT_EQ(unitLabel(), "℃");
}

TEST_F(OptionsPaneTest, FahrenheitStartRoundsTheStoredTemperatureToTheShownDecimal) {
    store.values["TemperatureUnit"] = 1;
    store.values["AlarmTemperature"] = 36.9;
    model.load();
    EXPECT_EQ(field("alarmField")->text(), "98.4");
    EXPECT_DOUBLE_EQ(store.values["AlarmTemperature"].toDouble(), (98.4 - 32) / 1.8);
}

TEST_F(OptionsPaneTest, TemperaturesAboveTheCeilingAreCappedInTheShownUnit) {
    model.load();
    field("alarmField")->setText("50");
    EXPECT_EQ(field("alarmField")->text(), "45.0");
    EXPECT_DOUBLE_EQ(store.values["AlarmTemperature"].toDouble(), 45.0);

    pick(list("unitList"), 1);
    field("detectionField")->setText("120");
    EXPECT_EQ(field("detectionField")->text(), "113.0");
    EXPECT_DOUBLE_EQ(store.values["TrackingTemperature"].toDouble(), 45.0);

    field("detectionField")->setText("-40"); // no lower bound
    EXPECT_DOUBLE_EQ(store.values["TrackingTemperature"].toDouble(), -40.0);
}

TEST_F(OptionsPaneTest, EmptyAndUnreadableTexts) {
    model.load();
    field("savePeriodField")->setText("");
    EXPECT_EQ(store.values["AlarmSavePeriod"].toInt(), 0);
    EXPECT_EQ(model.operatorSettings().frame.alarmSavePeriodMs, 5000); // an empty box: the fallback
    field("savePeriodField")->setText("7s");
    EXPECT_EQ(store.values["AlarmSavePeriod"].toInt(), 7);
    field("savePeriodField")->setText("99999999999");
    EXPECT_EQ(store.values["AlarmSavePeriod"].toInt(), 2147483647);
    field("alarmField")->setText("abc");
    EXPECT_EQ(store.values["AlarmTemperature"].toDouble(), 0.0);
    EXPECT_EQ(model.operatorSettings().frame.alarmCelsius, 0.0);
    field("alarmField")->setText("");
    EXPECT_EQ(model.operatorSettings().frame.alarmCelsius, 35.0);
}

TEST_F(OptionsPaneTest, ModeListShowsTheRightControlAndNormalResetsTheOffset) {
    cameraTakesOffset = true;
    store.values["TemperatureMode"] = 2;
    store.values["UserOffset"] = 0.7;
    model.load();
    EXPECT_EQ(field("offsetField")->text(), "0.7");
    EXPECT_TRUE(shown(field("offsetField")));
    EXPECT_FALSE(shown(button("measureButton")));

    pick(list("modeList"), 1);
    EXPECT_FALSE(shown(field("offsetField")));
    EXPECT_TRUE(shown(button("measureButton")));
    button("measureButton")->click();
    EXPECT_EQ(measurementsStarted, 1);

    offsetsSent.clear();
    measuringStops = 0;
    pick(list("modeList"), 0);
    EXPECT_EQ(field("offsetField")->text(), "0.0");
    EXPECT_EQ(measuringStops, 1);
    EXPECT_EQ(offsetsSent, std::vector<double>{0.0});
    EXPECT_DOUBLE_EQ(store.values["UserOffset"].toDouble(), 0.0);
    EXPECT_EQ(store.values["TemperatureMode"].toInt(), 0);
}

TEST_F(OptionsPaneTest, OffsetReachesTheCameraOnlyWhenItTakesOne) {
    model.load();
    field("offsetField")->setText("1.5");
    EXPECT_TRUE(offsetsSent.empty());
    EXPECT_FALSE(store.values.contains("UserOffset"));
    cameraTakesOffset = true;
    field("offsetField")->setText("1.7");
    EXPECT_EQ(offsetsSent, std::vector<double>{1.7});
    EXPECT_DOUBLE_EQ(store.values["UserOffset"].toDouble(), 1.7);
    EXPECT_DOUBLE_EQ(model.userOffsetCelsius(), 1.7);
}

TEST_F(OptionsPaneTest, StoredModeOutsideTheListIsStoredBackAsNoSelection) {
    store.values["TemperatureMode"] = 7;
    model.load();
    EXPECT_EQ(list("modeList")->currentIndex(), -1);
    EXPECT_EQ(store.values["TemperatureMode"].toInt(), -1);
}

TEST_F(OptionsPaneTest, PaletteGoesToTheCameraByNameAndToTheRendering) {
    model.load();
    const int before = publications;
    pick(list("paletteList"), 8);
    EXPECT_EQ(palettesSent, std::vector<QString>{"Jet"});
    EXPECT_EQ(model.operatorSettings().paletteNumber, 8);
    EXPECT_GT(publications, before);
    model.showCameraPalette(3); // the open camera's own: shown, not sent back
    EXPECT_EQ(list("paletteList")->currentIndex(), 3);
    EXPECT_EQ(palettesSent.size(), 1u);
}

TEST_F(OptionsPaneTest, ListsReachTheFrameThreadAndTheStore) {
    store.values["FontSize"] = 0;
    store.values["AlarmEvent"] = 1;
    store.values["AlarmType"] = 1;
    model.load();
    EXPECT_EQ(model.operatorSettings().fontSize, 0);
    EXPECT_EQ(model.operatorSettings().alarmEvent, 1);
    EXPECT_EQ(model.operatorSettings().alarmType, 1);
    pick(list("fontList"), 1);
    EXPECT_EQ(model.operatorSettings().fontSize, 1);
    EXPECT_EQ(store.values["FontSize"].toInt(), 1);
    pick(list("alarmTypeList"), 0);
    EXPECT_EQ(store.values["AlarmType"].toInt(), 0);
}

TEST_F(OptionsPaneTest, ApplyStoresTheNucIntervalAndRestartsTheTimer) {
    model.load();
    field("nucField")->setText("30");
    button("applyButton")->click();
    field("nucField")->setText("off");
    button("applyButton")->click();
    field("nucField")->setText("3000000"); // 34 days: saturates, never turns into "off"
    button("applyButton")->click();
    EXPECT_EQ(nucIntervals, (std::vector<int>{30000, 0, 2147483647}));
    EXPECT_EQ(store.values["NUCPeriod"].toInt(), 3000000);
}

TEST_F(OptionsPaneTest, ForcedNormalModeStoresNothing) {
    store.values["TemperatureMode"] = 2;
    model.load();
    store.values.remove("TemperatureMode");
    model.forceNormalMode();
    EXPECT_EQ(list("modeList")->currentIndex(), 0);
    EXPECT_FALSE(list("modeList")->isEnabled());
    EXPECT_FALSE(store.values.contains("TemperatureMode"));
    EXPECT_TRUE(shown(field("offsetField")));
}

TEST_F(OptionsPaneTest, AStationWithoutAnOperatorReadsTheValuesButWritesNothing) {
    store.values["TemperatureUnit"] = 1;
    store.values["AlarmTemperature"] = 36.9;
    OperatorValuesModel headless(store);
    headless.setWritesToStore(false);
    const QMap<QString, QVariant> before = store.values;
    headless.load();
    EXPECT_EQ(store.values, before);
    model.load();
    EXPECT_EQ(headless.fieldText(OperatorValuesModel::Field::AlarmTemperature), "98.4");
    EXPECT_EQ(headless.operatorSettings().frame.alarmCelsius, model.operatorSettings().frame.alarmCelsius);
}

} // namespace
} // namespace calidra
