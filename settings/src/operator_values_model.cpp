#include "settings/operator_values_model.h"

#include "settings/field_text.h"

#include "pipeline/frame_settings.h"
#include "pipeline/palettes.h"

#include <algorithm>
#include <climits>

namespace calidra {
namespace {

QString oneDecimal(double value) {
    return QString::asprintf("%.1f", value);
}

} // namespace

OperatorValuesModel::OperatorValuesModel(SettingsSection& store, QObject* parent)
    : QObject(parent), store_(store) {
    selections_.fill(-1);
}

template <typename Value> void OperatorValuesModel::store(const Setting<Value>& setting, Value value) {
    if (writesToStore_)
        writeSetting(store_, setting, value);
}

int OperatorValuesModel::entryCount(List list) {
    switch (list) {
    case List::Mode:
        return 3;
    case List::Palette:
        return paletteCount;
    default:
        return 2;
    }
}

// The pane's order: each list with its rule, then the fields, whose rules store them back as shown.
void OperatorValuesModel::load() {
    const auto stored = [this](List list, const Setting<int>& setting) {
        const int position = readSetting(store_, setting);
        showSelection(list, position >= 0 && position < entryCount(list) ? position : -1);
    };
    stored(List::Unit, settings::temperatureUnit);
    onUnitChosen();

    const int mode = readSetting(store_, settings::temperatureMode);
    if (mode == 1 || mode == 2)
        setFieldText(Field::UserOffset, oneDecimal(readSetting(store_, settings::userOffset)));
    stored(List::Mode, settings::temperatureMode);
    onModeChosen();

    stored(List::FontSize, settings::fontSize);
    select(List::FontSize, selection(List::FontSize));
    stored(List::AlarmEvent, settings::alarmEvent);
    select(List::AlarmEvent, selection(List::AlarmEvent));
    stored(List::AlarmType, settings::alarmType);
    select(List::AlarmType, selection(List::AlarmType));
    showSelection(List::Palette, -1); // the camera's own palette is selected once it is open

    setFieldText(Field::DetectionTemperature,
                 temperatureFieldText(readSetting(store_, settings::trackingTemperature), unit()));
    setFieldText(Field::AlarmTemperature,
                 temperatureFieldText(readSetting(store_, settings::alarmTemperature), unit()));
    setFieldText(Field::AlarmSavePeriod, QString::number(readSetting(store_, settings::alarmSavePeriod)));
    setFieldText(Field::NucInterval, QString::number(readSetting(store_, settings::nucPeriod)));
    setFieldText(Field::DetectTest, QString::number(readSetting(store_, settings::detectTest)));
    emit valuesChanged();
}

void OperatorValuesModel::showSelection(List list, int position) {
    selections_[index(list)] = position;
    emit selectionChanged(list, position);
}

void OperatorValuesModel::select(List list, int position) {
    showSelection(list, position >= 0 && position < entryCount(list) ? position : -1);
    const int chosen = selection(list);
    switch (list) {
    case List::Unit:
        onUnitChosen();
        return;
    case List::Mode:
        onModeChosen();
        return;
    default:
        break;
    }
    if (chosen < 0)
        return;
    switch (list) {
    case List::Palette:
        emit paletteChosen(QString::fromLatin1(paletteName(chosen)));
        break;
    case List::FontSize:
        fontSize_ = chosen;
        store(settings::fontSize, chosen);
        break;
    case List::AlarmEvent:
        alarmEvent_ = chosen;
        store(settings::alarmEvent, chosen);
        break;
    case List::AlarmType:
        alarmType_ = chosen; // the sound file number is the position + 1
        store(settings::alarmType, chosen);
        break;
    default:
        break;
    }
    emit valuesChanged();
}

void OperatorValuesModel::onUnitChosen() {
    const int chosen = selection(List::Unit);
    if (chosen < 0 || chosen == paneUnit_)
        return;
    paneUnit_ = chosen;
    unitLabel_ = chosen == 1 ? QStringLiteral("℉") : QStringLiteral("℃");
    emit unitLabelChanged(unitLabel_);
    rewriteTemperature(Field::DetectionTemperature, unit());
    rewriteTemperature(Field::AlarmTemperature, unit());
    store(settings::temperatureUnit, chosen);
    emit valuesChanged();
}

// The typed value in the other unit; its own rule stores it in Celsius again.
void OperatorValuesModel::rewriteTemperature(Field field, TemperatureUnit to) {
    if (fieldText(field).isEmpty())
        return;
    const TemperatureUnit from =
        to == TemperatureUnit::Fahrenheit ? TemperatureUnit::Celsius : TemperatureUnit::Fahrenheit;
    setFieldText(field, oneDecimal(toDisplayUnit(toCelsius(parseFieldNumber(fieldText(field)), from), to)));
}

void OperatorValuesModel::onModeChosen() {
    const int chosen = selection(List::Mode);
    if (chosen == 0) {
        offsetFieldShown_ = false;
        measureShown_ = false;
        setFieldText(Field::UserOffset, QStringLiteral("0.0"));
        emit measuringStopRequested();
    } else if (chosen == 1) {
        offsetFieldShown_ = false;
        measureShown_ = true;
    } else if (chosen == 2) {
        offsetFieldShown_ = true;
        measureShown_ = false;
        emit measuringStopRequested();
    }
    emit modeControlsChanged();
    store(settings::temperatureMode, chosen);
}

void OperatorValuesModel::forceNormalMode() {
    showSelection(List::Mode, 0);
    modeListEnabled_ = false;
    emit modeControlsChanged();
}

void OperatorValuesModel::showCameraPalette(int position) {
    showSelection(List::Palette, position >= 0 && position < entryCount(List::Palette) ? position : -1);
    emit valuesChanged();
}

// Every text change runs the field's rule, as an edit field's change handler does; setting the
// text it already has changes nothing.
void OperatorValuesModel::setFieldText(Field field, const QString& text) {
    if (texts_[index(field)] == text)
        return;
    texts_[index(field)] = text;
    emit fieldTextChanged(field, text);
    switch (field) {
    case Field::DetectionTemperature:
        onTemperatureField(field, settings::trackingTemperature);
        break;
    case Field::AlarmTemperature:
        onTemperatureField(field, settings::alarmTemperature);
        break;
    case Field::AlarmSavePeriod:
        onIntegerField(field, settings::alarmSavePeriod);
        break;
    case Field::DetectTest:
        onIntegerField(field, settings::detectTest);
        break;
    case Field::UserOffset:
        onOffsetField();
        break;
    case Field::NucInterval:
        break; // only Apply takes it
    }
}

void OperatorValuesModel::onTemperatureField(Field field, const Setting<double>& setting) {
    const TemperatureFieldValue value = readTemperatureField(fieldText(field), unit());
    if (value.rewrittenText && fieldText(field) != *value.rewrittenText) {
        setFieldText(field, *value.rewrittenText); // stores the capped value
        return;
    }
    store(setting, value.storedCelsius);
    emit valuesChanged();
}

void OperatorValuesModel::onIntegerField(Field field, const Setting<int>& setting) {
    store(setting, parseFieldInteger(fieldText(field)));
    emit valuesChanged();
}

void OperatorValuesModel::onOffsetField() {
    if (!cameraTakesOffset_ || !cameraTakesOffset_())
        return;
    const double offset = userOffsetCelsius();
    emit userOffsetChosen(offset);
    store(settings::userOffset, offset);
}

void OperatorValuesModel::applyNucInterval() {
    store(settings::nucPeriod, parseFieldInteger(fieldText(Field::NucInterval)));
    emit nucIntervalApplied(nucIntervalMs());
}

double OperatorValuesModel::userOffsetCelsius() const {
    return parseFieldNumber(fieldText(Field::UserOffset));
}

int OperatorValuesModel::nucIntervalMs() const {
    return nucIntervalMs(parseFieldInteger(fieldText(Field::NucInterval)));
}

int OperatorValuesModel::nucIntervalMs(int seconds) {
    return int(std::clamp<int64_t>(int64_t(seconds) * 1000, INT_MIN, INT_MAX));
}

OperatorSettings OperatorValuesModel::operatorSettings() const {
    FrameSettingsTexts texts;
    texts.detectionTemperature = fieldText(Field::DetectionTemperature).toStdString();
    texts.alarmTemperature = fieldText(Field::AlarmTemperature).toStdString();
    texts.alarmSavePeriod = fieldText(Field::AlarmSavePeriod).toStdString();
    texts.minimumRegionArea = fieldText(Field::DetectTest).toStdString();
    OperatorSettings settings;
    settings.unit = unit();
    settings.frame = readFrameSettings(texts, settings.unit);
    settings.paletteNumber = selection(List::Palette);
    settings.fontSize = fontSize_;
    settings.alarmType = alarmType_;
    settings.alarmEvent = alarmEvent_;
    return settings;
}

} // namespace calidra
