// The operator's values without any widget: the rules that turn choices and stored values into
// what is stored, what the camera is asked and what the frame thread reads.

#include "operatorvalues/operator_values_model.h"

#include "testsupport/operator_values_record.h"

#include "pipeline/frame_settings.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace calidra {
namespace {

using Field = OperatorValuesModel::Field;
using List = OperatorValuesModel::List;

class OperatorValuesModelTest : public ::testing::Test {
protected:
    test::MemorySettings store;
    OperatorValuesModel model{store};
    test::OperatorValuesRecord record{model};
};

TEST_F(OperatorValuesModelTest, UnitSwitchRewritesBothFieldsAndKeepsCelsiusStored) {
    model.load();
    model.chooseUnit(TemperatureUnit::Fahrenheit);
    EXPECT_EQ(model.fieldText(Field::AlarmTemperature), "99.5");
    EXPECT_EQ(model.fieldText(Field::DetectionTemperature), "89.6");
    EXPECT_EQ(model.unitLabel(), "°F");
    EXPECT_DOUBLE_EQ(store.values["AlarmTemperature"].toDouble(), 37.5);
    EXPECT_EQ(store.values["TemperatureUnit"].toInt(), 1);
    EXPECT_EQ(model.unit(), TemperatureUnit::Fahrenheit);
    EXPECT_DOUBLE_EQ(model.operatorSettings().frame.alarmCelsius, 37.5);

    model.chooseUnit(TemperatureUnit::Celsius);
    EXPECT_EQ(model.fieldText(Field::AlarmTemperature), "37.5");
    EXPECT_EQ(model.unitLabel(), "°C");
}

TEST_F(OperatorValuesModelTest, FahrenheitStartRoundsTheStoredTemperatureToTheShownDecimal) {
    store.values["TemperatureUnit"] = 1;
    store.values["AlarmTemperature"] = 36.9;
    model.load();
    EXPECT_EQ(model.fieldText(Field::AlarmTemperature), "98.4");
    EXPECT_DOUBLE_EQ(store.values["AlarmTemperature"].toDouble(), (98.4 - 32) / 1.8);
}

// One stored value outside its limits (or no number at all), and what the operator then sees.
struct StoredOutsideLimits {
    const char* key;
    QVariant stored;
    Field field;
    const char* shown; // the key's default, never the nearest limit
};

class StoredOutsideLimitsTest : public OperatorValuesModelTest,
                                public ::testing::WithParamInterface<StoredOutsideLimits> {};

TEST_P(StoredOutsideLimitsTest, GivesTheDefaultAndOneReportNamingKeyTextAndValue) {
    const StoredOutsideLimits& bad = GetParam();
    store.values["TemperatureMode"] = 2; // Manual: the stored offset is loaded
    store.values[bad.key] = bad.stored;
    model.load();
    model.load(); // the live view loads twice at start-up
    EXPECT_EQ(model.fieldText(bad.field), bad.shown);
    ASSERT_EQ(record.replacedStoredValues.size(), 1) << record.replacedStoredValues.join('\n').toStdString();
    const QString report = record.replacedStoredValues.at(0);
    EXPECT_TRUE(report.contains(bad.key)) << report.toStdString();
    EXPECT_TRUE(report.contains('"' + bad.stored.toString() + '"')) << report.toStdString();
    EXPECT_TRUE(report.contains(QString::number(QString(bad.shown).toDouble()) + " is used"))
        << report.toStdString();
    EXPECT_TRUE(record.refusals.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, StoredOutsideLimitsTest,
    ::testing::Values(
        StoredOutsideLimits{"AlarmTemperature", 0.0, Field::AlarmTemperature, "37.5"},
        StoredOutsideLimits{"AlarmTemperature", 99.0, Field::AlarmTemperature, "37.5"},
        StoredOutsideLimits{"AlarmTemperature", "37,5", Field::AlarmTemperature, "37.5"},
        StoredOutsideLimits{"TrackingTemperature", std::numeric_limits<double>::quiet_NaN(),
                            Field::DetectionTemperature, "32.0"},
        StoredOutsideLimits{"TrackingTemperature", 38.0, Field::DetectionTemperature, "32.0"}, // above alarm
        StoredOutsideLimits{"AlarmSavePeriod", -5, Field::AlarmSavePeriod, "2"},
        StoredOutsideLimits{"NUCPeriod", 5, Field::NucInterval, "120"},
        StoredOutsideLimits{"DetectTest", 0, Field::DetectTest, "40"},
        StoredOutsideLimits{"UserOffset", std::numeric_limits<double>::infinity(), Field::UserOffset, "0.0"},
        StoredOutsideLimits{"ReferenceTemperature", 60.0, Field::ReferenceTemperature, "35.0"}));

TEST_F(OperatorValuesModelTest, StoredValuesWithinTheLimitsLoadAsStoredWithoutReport) {
    store.values["TemperatureUnit"] = 1;
    store.values["AlarmTemperature"] = 40.0; // the highest, shown in Fahrenheit and stored back
    store.values["TrackingTemperature"] = 20.0;
    store.values["NUCPeriod"] = 0;           // off
    store.values["DetectTest"] = 2147483647; // the pipeline bounds it by the frame's area
    store.values["ReferenceHoldSeconds"] = 3600;
    model.load();
    model.load();
    EXPECT_EQ(model.fieldText(Field::AlarmTemperature), "104.0");
    EXPECT_EQ(model.fieldText(Field::DetectionTemperature), "68.0");
    EXPECT_EQ(model.fieldText(Field::NucInterval), "0");
    EXPECT_EQ(model.fieldText(Field::DetectTest), "2147483647");
    EXPECT_EQ(model.referenceHoldSeconds(), 3600);
    EXPECT_TRUE(record.replacedStoredValues.isEmpty())
        << record.replacedStoredValues.join('\n').toStdString();

    // An alarm temperature stored at its lowest keeps the detection one (by default 32.0) below it.
    store.values["AlarmTemperature"] = 30.0;
    store.values.remove("TrackingTemperature");
    model.load();
    EXPECT_EQ(model.fieldText(Field::AlarmTemperature), "86.0");
    EXPECT_DOUBLE_EQ(model.operatorSettings().frame.detectionCelsius, (85.8 - 32) / 1.8);
}

TEST_F(OperatorValuesModelTest, OffsetReachesTheCameraOnlyWhenItTakesOne) {
    model.load();
    model.setFieldText(Field::UserOffset, "1.5");
    EXPECT_TRUE(record.offsetsSent.empty());
    EXPECT_FALSE(store.values.contains("UserOffset"));
    record.cameraTakesOffset = true;
    model.setFieldText(Field::UserOffset, "1.7");
    EXPECT_EQ(record.offsetsSent, std::vector<double>{1.7});
    EXPECT_DOUBLE_EQ(store.values["UserOffset"].toDouble(), 1.7);
    EXPECT_DOUBLE_EQ(model.userOffsetCelsius(), 1.7);
}

// Each change of the offset the camera works with is told once, with its cause; mode Reference and
// a camera without the node have none of the operator's offset in force.
TEST_F(OperatorValuesModelTest, OffsetInForceChangesAreToldWithTheirCause) {
    QStringList changes; // before > after, cause
    QObject::connect(&model, &OperatorValuesModel::offsetInForceChanged,
                     [&](double before, double after, OffsetChange how) {
                         changes << QString::asprintf("%.1f>%.1f %d", before, after, int(how));
                     });
    store.values["TemperatureMode"] = 2;
    store.values["UserOffset"] = 0.8;
    model.load();
    model.setFieldText(Field::UserOffset, "1.5");
    model.showMeasuredOffset("1.5"); // the same text: no change
    model.chooseMode(TemperatureMode::Reference);
    model.chooseMode(TemperatureMode::Auto);
    model.applyConfirmedOffset("-1.0");
    model.chooseMode(TemperatureMode::Normal);
    model.setFieldText(Field::UserOffset, "2.0");
    model.forceNormalMode();
    using C = OffsetChange;
    EXPECT_EQ(changes, QStringList({QString::asprintf("0.0>0.8 %d", int(C::Loaded)),
                                    QString::asprintf("0.8>1.5 %d", int(C::Typed)),
                                    QString::asprintf("1.5>0.0 %d", int(C::ModeChosen)),
                                    QString::asprintf("0.0>1.5 %d", int(C::ModeChosen)),
                                    QString::asprintf("1.5>-1.0 %d", int(C::Confirmed)),
                                    QString::asprintf("-1.0>0.0 %d", int(C::ModeChosen)),
                                    QString::asprintf("0.0>2.0 %d", int(C::Typed)),
                                    QString::asprintf("2.0>0.0 %d", int(C::CameraWithoutOffset))}));
}

TEST_F(OperatorValuesModelTest, StoredModeOutsideTheListIsStoredBackAsNoSelection) {
    store.values["TemperatureMode"] = 7;
    model.load();
    EXPECT_EQ(model.selection(List::Mode), -1);
    EXPECT_EQ(model.mode(), std::nullopt);
    EXPECT_EQ(store.values["TemperatureMode"].toInt(), -1);
}

TEST_F(OperatorValuesModelTest, PaletteGoesToTheCameraByNameAndToTheRendering) {
    model.load();
    const int before = record.publications;
    model.select(List::Palette, 8);
    EXPECT_EQ(record.palettesSent, std::vector<QString>{"Jet"});
    EXPECT_EQ(model.operatorSettings().paletteNumber, 8);
    EXPECT_GT(record.publications, before);
    model.showCameraPalette(3); // the open camera's own: shown, not sent back
    EXPECT_EQ(model.selection(List::Palette), 3);
    EXPECT_EQ(record.palettesSent.size(), 1u);
}

TEST_F(OperatorValuesModelTest, ListsReachTheFrameThreadAndTheStore) {
    store.values["FontSize"] = 0;
    store.values["AlarmEvent"] = 1;
    store.values["AlarmType"] = 1;
    model.load();
    EXPECT_EQ(model.operatorSettings().fontSize, 0);
    EXPECT_EQ(model.operatorSettings().alarmEvent, 1);
    EXPECT_EQ(model.operatorSettings().alarmType, 1);
    model.select(List::FontSize, 1);
    EXPECT_EQ(model.operatorSettings().fontSize, 1);
    EXPECT_EQ(store.values["FontSize"].toInt(), 1);
    model.select(List::AlarmType, 0);
    EXPECT_EQ(store.values["AlarmType"].toInt(), 0);
}

TEST_F(OperatorValuesModelTest, AStationWithoutAnOperatorReadsTheValuesButWritesNothing) {
    store.values["TemperatureUnit"] = 1;
    store.values["AlarmTemperature"] = 36.9;
    OperatorValuesModel headless(store);
    headless.setWritesToStore(false);
    const QMap<QString, QVariant> before = store.values;
    headless.load();
    EXPECT_EQ(store.values, before);
    model.load();
    EXPECT_EQ(headless.fieldText(Field::AlarmTemperature), "98.4");
    EXPECT_EQ(headless.operatorSettings().frame.alarmCelsius, model.operatorSettings().frame.alarmCelsius);
}

TEST(OperatorValuesDefaultsTest, TheFramePipelineStartsFromTheSameDefaults) {
    test::MemorySettings empty;
    const FrameSettings unpublished;
    EXPECT_EQ(unpublished.detectionCelsius, readSetting(empty, settings::trackingTemperature));
    EXPECT_EQ(unpublished.alarmCelsius, readSetting(empty, settings::alarmTemperature));
    EXPECT_EQ(unpublished.alarmSavePeriodMs, readSetting(empty, settings::alarmSavePeriod) * 1000);
    EXPECT_EQ(unpublished.minimumRegionArea, readSetting(empty, settings::detectTest));
}

} // namespace
} // namespace calidra

namespace calidra {
namespace {

TEST_F(OperatorValuesModelTest, ReferenceModeAndItsTemperatureInTheShownUnit) {
    store.values["TemperatureMode"] = 3;
    store.values["ReferenceTemperature"] = 50.0; // the highest
    store.values["ReferenceHoldSeconds"] = 4;
    model.load();
    EXPECT_EQ(model.mode(), TemperatureMode::Reference);
    EXPECT_FALSE(model.offsetFieldShown());
    EXPECT_FALSE(model.measureShown());
    EXPECT_EQ(model.fieldText(Field::ReferenceTemperature), "50.0");
    OperatorSettings published = model.operatorSettings();
    EXPECT_TRUE(published.reference.correcting);
    EXPECT_DOUBLE_EQ(published.reference.setCelsius, 50.0);
    EXPECT_EQ(published.reference.holdMs, 4000u);

    model.chooseUnit(TemperatureUnit::Fahrenheit);
    EXPECT_EQ(model.fieldText(Field::ReferenceTemperature), "122.0");
    EXPECT_FALSE(model.setFieldText(Field::ReferenceTemperature, "67.9")); // below 20 °C
    EXPECT_EQ(record.refusals.size(), 1);
    EXPECT_TRUE(model.setFieldText(Field::ReferenceTemperature, "95"));
    EXPECT_DOUBLE_EQ(store.values["ReferenceTemperature"].toDouble(), 35.0);

    model.chooseMode(TemperatureMode::Normal);
    EXPECT_FALSE(model.operatorSettings().reference.correcting);
}

} // namespace
} // namespace calidra

namespace calidra {
namespace {

TEST_F(OperatorValuesModelTest, AlarmModeBaselineWithItsCountAndMarginInTheirLimits) {
    store.values["AlarmMode"] = 7;      // no such mode: Fixed
    store.values["BaselineCount"] = 99; // outside the limits: the defaults, each reported
    store.values["BaselineDelta"] = 0.1;
    store.values["BaselineResetMinutes"] = -3;
    model.load();
    EXPECT_EQ(model.alarmMode(), AlarmMode::Fixed);
    EXPECT_EQ(model.selection(List::AlarmMode), 0);
    EXPECT_EQ(model.fieldText(Field::BaselineCount), "10");
    EXPECT_EQ(model.fieldText(Field::BaselineDelta), "1.0");
    EXPECT_EQ(store.values["AlarmMode"].toInt(), 0);
    EXPECT_EQ(model.operatorSettings().baseline.resetMinutes, 60);
    EXPECT_EQ(record.replacedStoredValues.size(), 3);

    model.select(List::AlarmMode, 1);
    EXPECT_TRUE(model.baselineFieldsShown());
    EXPECT_EQ(store.values["AlarmMode"].toInt(), 1);
    EXPECT_FALSE(model.setFieldText(Field::BaselineCount, "4"));
    EXPECT_FALSE(model.setFieldText(Field::BaselineCount, "10.5"));
    EXPECT_FALSE(model.setFieldText(Field::BaselineDelta, "3.1"));
    EXPECT_EQ(record.refusals.size(), 3);
    EXPECT_TRUE(model.setFieldText(Field::BaselineCount, "12"));
    // The margin stays in Celsius when the unit changes.
    model.chooseUnit(TemperatureUnit::Fahrenheit);
    EXPECT_TRUE(model.setFieldText(Field::BaselineDelta, "1.5"));
    EXPECT_EQ(store.values["BaselineCount"].toInt(), 12);
    EXPECT_DOUBLE_EQ(store.values["BaselineDelta"].toDouble(), 1.5);
    const BaselineSettings published = model.operatorSettings().baseline;
    EXPECT_EQ(published.mode, AlarmMode::Baseline);
    EXPECT_EQ(published.count, 12);
    EXPECT_DOUBLE_EQ(published.deltaCelsius, 1.5);
}

} // namespace
} // namespace calidra
