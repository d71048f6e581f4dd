// The options pane as the operator uses it: controls found by name, typed values taken once the
// entry is finished, the controls each mode shows. The values' rules are tested with the model.

#include "liveview/live_viewer_ctrl.h"

#include "testsupport/operator_values_record.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <vector>

namespace calidra {
namespace {

enum class Finish { Return, FocusOut };

// What the operator does: types a text and finishes the entry with Enter or by leaving the field.
void enter(QLineEdit* edit, const QString& text, Finish finish = Finish::Return) {
    edit->setText(text);
    if (finish == Finish::Return) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(edit, &press);
    } else {
        QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(edit, &leave);
    }
}

class OptionsPaneTest : public ::testing::Test {
protected:
    OptionsPaneTest() {
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

    test::MemorySettings store;
    OperatorValuesModel model{store};
    test::OperatorValuesRecord record{model};
    CLiveViewerCtrl pane{model};
    int measurementsStarted = 0;
};

TEST_F(OptionsPaneTest, FirstRunShowsTheDefaultsAndStoresThemBack) {
    model.load();
    EXPECT_EQ(field("detectionField")->text(), "32.0");
    EXPECT_EQ(field("alarmField")->text(), "37.5");
    EXPECT_EQ(field("savePeriodField")->text(), "2");
    EXPECT_EQ(field("nucField")->text(), "120");
    EXPECT_EQ(field("detectTestField")->text(), "40");
    EXPECT_EQ(list("unitList")->currentText(), "°C");
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
    // Spelt at the first start as after any switch of the unit.
    EXPECT_EQ(unitLabel(), "°C");

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

// One typed text in one unit, finished one way: taken (perhaps capped) or refused.
struct TypedEntry {
    const char* field;
    int unit; // 0 Celsius, 1 Fahrenheit
    const char* typed;
    Finish finish;
    const char* shownAfter; // the value in force is shown again when refused
    const char* key;
    double storedAfter; // the store's value afterwards, Celsius for temperatures
};

class TypedEntryTest : public OptionsPaneTest, public ::testing::WithParamInterface<TypedEntry> {};

TEST_P(TypedEntryTest, TakesWholeValuesWithinTheLimitsOnlyWhenTheEntryIsFinished) {
    const TypedEntry& entry = GetParam();
    record.cameraTakesOffset = true;
    store.values["TemperatureMode"] = 2; // Manual: the offset field shows
    model.load();
    pick(list("unitList"), entry.unit);
    const OperatorSettings before = model.operatorSettings();
    QLineEdit* edit = field(entry.field);
    const QString inForce = edit->text();

    edit->setText(entry.typed); // typing alone changes nothing
    EXPECT_EQ(model.operatorSettings().frame.alarmCelsius, before.frame.alarmCelsius);
    EXPECT_EQ(model.operatorSettings().frame.detectionCelsius, before.frame.detectionCelsius);
    EXPECT_EQ(model.operatorSettings().frame.alarmSavePeriodMs, before.frame.alarmSavePeriodMs);

    enter(edit, entry.typed, entry.finish);
    EXPECT_EQ(edit->text(), entry.shownAfter);
    const bool refused = edit->text() == inForce && inForce != entry.typed;
    EXPECT_EQ(record.refusals.size(), refused ? 1 : 0);
    if (refused) {
        EXPECT_FALSE(record.refusals.value(0).isEmpty());
    }
    EXPECT_NEAR(store.values[entry.key].toDouble(), entry.storedAfter, 1e-9);
}

// Defaults in force: detection 32.0 °C (89.6 °F), alarm 37.5 °C (99.5 °F), save 2 s, NUC 120 s.
INSTANTIATE_TEST_SUITE_P(
    Fields, TypedEntryTest,
    ::testing::Values(
        TypedEntry{"alarmField", 0, "38", Finish::Return, "38", "AlarmTemperature", 38.0},
        TypedEntry{"alarmField", 0, "abc", Finish::FocusOut, "37.5", "AlarmTemperature", 37.5},
        TypedEntry{"alarmField", 0, "", Finish::Return, "37.5", "AlarmTemperature", 37.5},
        TypedEntry{"alarmField", 0, "29.9", Finish::FocusOut, "37.5", "AlarmTemperature", 37.5},
        TypedEntry{"alarmField", 0, "31", Finish::Return, "37.5", "AlarmTemperature", 37.5}, // not above 32.0
        // A forgotten decimal point is refused, never capped into an alarm temperature in force.
        TypedEntry{"alarmField", 0, "99", Finish::Return, "37.5", "AlarmTemperature", 37.5},
        TypedEntry{"alarmField", 0, "375", Finish::FocusOut, "37.5", "AlarmTemperature", 37.5},
        TypedEntry{"alarmField", 0, "40.1", Finish::Return, "37.5", "AlarmTemperature", 37.5},
        TypedEntry{"alarmField", 0, "40", Finish::Return, "40", "AlarmTemperature", 40.0},
        TypedEntry{"alarmField", 1, "91.4", Finish::FocusOut, "91.4", "AlarmTemperature", (91.4 - 32) / 1.8},
        TypedEntry{"alarmField", 1, "85.9", Finish::Return, "99.5", "AlarmTemperature", 37.5},
        TypedEntry{"alarmField", 1, "104.1", Finish::Return, "99.5", "AlarmTemperature", 37.5},
        TypedEntry{"alarmField", 1, "104.0", Finish::FocusOut, "104.0", "AlarmTemperature", 40.0},
        TypedEntry{"detectionField", 0, "20", Finish::Return, "20", "TrackingTemperature", 20.0},
        TypedEntry{"detectionField", 0, "19.9", Finish::FocusOut, "32.0", "TrackingTemperature", 32.0},
        TypedEntry{"detectionField", 0, "37.5", Finish::Return, "32.0", "TrackingTemperature", 32.0},
        TypedEntry{"detectionField", 1, "68.0", Finish::Return, "68.0", "TrackingTemperature", 20.0},
        TypedEntry{"detectionField", 1, "99.5", Finish::Return, "89.6", "TrackingTemperature", 32.0},
        TypedEntry{"savePeriodField", 0, "3600", Finish::Return, "3600", "AlarmSavePeriod", 3600},
        TypedEntry{"savePeriodField", 1, "1", Finish::FocusOut, "1", "AlarmSavePeriod", 1},
        TypedEntry{"savePeriodField", 0, "0", Finish::Return, "2", "AlarmSavePeriod", 2},
        TypedEntry{"savePeriodField", 1, "3601", Finish::Return, "2", "AlarmSavePeriod", 2},
        TypedEntry{"savePeriodField", 0, "7s", Finish::FocusOut, "2", "AlarmSavePeriod", 2},
        TypedEntry{"offsetField", 1, "-20", Finish::Return, "-20", "UserOffset", -20.0},
        TypedEntry{"offsetField", 0, "20.1", Finish::FocusOut, "0.0", "UserOffset", 0.0}));

TEST_F(OptionsPaneTest, NucIntervalIsZeroOrWithinItsLimitsAndApplyTakesOnlySuch) {
    model.load();
    for (const char* refused : {"abc", "5", "3601", "-1", ""}) {
        enter(field("nucField"), refused, Finish::FocusOut);
        EXPECT_EQ(field("nucField")->text(), "120") << refused;
    }
    field("nucField")->setText("off"); // Apply finishes the entry itself
    button("applyButton")->click();
    EXPECT_TRUE(record.nucIntervals.empty());
    field("nucField")->setText("30");
    button("applyButton")->click();
    enter(field("nucField"), "0");
    button("applyButton")->click();
    EXPECT_EQ(record.nucIntervals, (std::vector<int>{30000, 0}));
    EXPECT_EQ(store.values["NUCPeriod"].toInt(), 0);
    EXPECT_EQ(record.refusals.size(), 6);
}

TEST_F(OptionsPaneTest, RefusedApplyStoresNoIntervalTypedBeforeButNeverApplied) {
    model.load();
    enter(field("nucField"), "60");
    // Typing 5 and clicking Apply: the click first takes the focus, which finishes the entry.
    enter(field("nucField"), "5", Finish::FocusOut);
    button("applyButton")->click();
    EXPECT_EQ(field("nucField")->text(), "120");
    EXPECT_FALSE(store.values.contains("NUCPeriod"));
    EXPECT_TRUE(record.nucIntervals.empty());
    EXPECT_EQ(model.nucIntervalMs(), 120000);

    field("nucField")->setText("5"); // a click that leaves the focus where it was
    button("applyButton")->click();
    EXPECT_FALSE(store.values.contains("NUCPeriod"));
    button("applyButton")->click(); // the interval in force, applied on purpose
    EXPECT_EQ(store.values["NUCPeriod"].toInt(), 120);
}

TEST_F(OptionsPaneTest, ModeListShowsTheRightControlAndNormalResetsTheOffset) {
    record.cameraTakesOffset = true;
    store.values["TemperatureMode"] = 2;
    store.values["UserOffset"] = 0.7;
    model.load();
    EXPECT_EQ(field("offsetField")->text(), "0.7");
    EXPECT_TRUE(shown(field("offsetField")));
    EXPECT_FALSE(shown(button("measureButton")));

    pick(list("modeList"), 1);
    // Auto: Measure, and beside it the offset it finds, not to be typed into.
    EXPECT_TRUE(shown(field("offsetField")));
    EXPECT_TRUE(field("offsetField")->isReadOnly());
    EXPECT_TRUE(shown(button("measureButton")));
    EXPECT_FALSE(field("offsetField")->geometry().intersects(button("measureButton")->geometry()));
    button("measureButton")->click();
    EXPECT_EQ(measurementsStarted, 1);

    record.offsetsSent.clear();
    record.measuringStops = 0;
    pick(list("modeList"), 0);
    EXPECT_EQ(field("offsetField")->text(), "0.0");
    EXPECT_EQ(record.measuringStops, 1);
    EXPECT_EQ(record.offsetsSent, std::vector<double>{0.0});
    EXPECT_DOUBLE_EQ(store.values["UserOffset"].toDouble(), 0.0);
    EXPECT_EQ(store.values["TemperatureMode"].toInt(), 0);
}

// Every control the operator sees in a mode, and none of them lies over another or off the pane.
std::vector<QWidget*> visibleControls(const QWidget& pane) {
    std::vector<QWidget*> controls;
    for (QWidget* child : pane.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (child->isVisibleTo(&pane) && qobject_cast<QGroupBox*>(child) == nullptr)
            controls.push_back(child);
    return controls;
}

TEST_F(OptionsPaneTest, ModeReferenceShowsItsLabelledRowsWhereNothingElseIs) {
    model.load();
    pick(list("modeList"), 3);
    ASSERT_TRUE(shown(field("referenceField")));
    EXPECT_EQ(field("referenceField")->text(), "35.0");
    auto* status = pane.findChild<QLabel*>("referenceStatus");
    ASSERT_TRUE(shown(status));
    pane.setReferenceStatus(ReferenceState::Locked, -1.234, TemperatureUnit::Fahrenheit);
    EXPECT_EQ(status->text(), "Reference: locked, correction -2.2 °F");

    const std::vector<QWidget*> controls = visibleControls(pane);
    const QRect paneArea(0, 0, CLiveViewerCtrl::paneWidth, CLiveViewerCtrl::contentHeight);
    for (std::size_t one = 0; one < controls.size(); ++one) {
        EXPECT_TRUE(paneArea.contains(controls[one]->geometry()))
            << controls[one]->objectName().toStdString();
        for (std::size_t other = one + 1; other < controls.size(); ++other)
            EXPECT_FALSE(controls[one]->geometry().intersects(controls[other]->geometry()))
                << controls[one]->objectName().toStdString() << " over "
                << controls[other]->objectName().toStdString();
    }
    const auto labelled = [&](const QString& text) {
        for (QLabel* label : pane.findChildren<QLabel*>())
            if (label->text() == text && shown(label))
                return label;
        return static_cast<QLabel*>(nullptr);
    };
    QLabel* label = labelled("Reference Temp :");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->y(), field("referenceField")->y());

    // Back in Normal the rows go and the buttons close up below the alarm type.
    const int maskingTop = button("maskingButton")->y();
    pick(list("modeList"), 0);
    EXPECT_FALSE(shown(field("referenceField")));
    EXPECT_FALSE(shown(status));
    EXPECT_LT(button("maskingButton")->y(), maskingTop);
    EXPECT_GT(button("maskingButton")->y(), list("alarmTypeList")->geometry().bottom());
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

} // namespace
} // namespace calidra

namespace calidra {
namespace {

// A station started in mode Baseline shows the baseline's rows from the start.
TEST_F(OptionsPaneTest, StoredAlarmModeBaselineShowsItsRowsAtOnce) {
    store.values["AlarmMode"] = 1;
    model.load();
    EXPECT_EQ(list("alarmModeList")->currentText(), "Baseline");
    EXPECT_TRUE(shown(field("baselineCountField")));
}

TEST_F(OptionsPaneTest, AlarmModeBaselineShowsItsRowsStatusAndResetWithoutOverlap) {
    model.load();
    EXPECT_EQ(list("alarmModeList")->currentText(), "Fixed");
    EXPECT_FALSE(shown(field("baselineCountField")));
    pick(list("alarmModeList"), 1);
    pick(list("modeList"), 3); // both modes' rows at once
    ASSERT_TRUE(shown(field("baselineCountField")));
    EXPECT_EQ(field("baselineCountField")->text(), "10");
    EXPECT_EQ(field("baselineDeltaField")->text(), "1.0");
    enter(field("baselineDeltaField"), "0.5", Finish::FocusOut);
    EXPECT_DOUBLE_EQ(store.values["BaselineDelta"].toDouble(), 0.5);

    auto* status = pane.findChild<QLabel*>("baselineStatus");
    BaselineStatus learning;
    learning.mode = AlarmMode::Baseline;
    learning.learned = 4;
    pane.setBaselineStatus(learning);
    EXPECT_EQ(status->text(), "Baseline: learning 4 / 10 (fixed 37.5 °C in force)");
    BaselineStatus learned = learning;
    learned.learned = 10;
    learned.baselineCelsius = 36.1;
    learned.thresholdCelsius = 37.1;
    pane.setBaselineStatus(learned);
    EXPECT_EQ(status->text(), "Threshold in force: 37.1 °C (baseline 36.1 °C from 10 people)");
    pick(list("unitList"), 1);
    EXPECT_EQ(status->text(), "Threshold in force: 98.8 °F (baseline 97.0 °F from 10 people)");

    int resets = 0;
    QObject::connect(&pane, &CLiveViewerCtrl::resetBaselineRequested, [&] { ++resets; });
    button("resetBaselineButton")->click();
    EXPECT_EQ(resets, 1);

    const std::vector<QWidget*> controls = visibleControls(pane);
    const QRect paneArea(0, 0, CLiveViewerCtrl::paneWidth, CLiveViewerCtrl::contentHeight);
    for (std::size_t one = 0; one < controls.size(); ++one) {
        EXPECT_TRUE(paneArea.contains(controls[one]->geometry()))
            << controls[one]->objectName().toStdString();
        for (std::size_t other = one + 1; other < controls.size(); ++other)
            EXPECT_FALSE(controls[one]->geometry().intersects(controls[other]->geometry()))
                << controls[one]->objectName().toStdString() << " over "
                << controls[other]->objectName().toStdString();
    }
}

} // namespace
} // namespace calidra
