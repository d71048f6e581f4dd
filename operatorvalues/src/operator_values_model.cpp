#include "operatorvalues/operator_values_model.h"

#include "operatorvalues/field_text.h"
#include "operatorvalues/shown_temperature.h"
#include "operatorvalues/value_limits.h"

#include "pipeline/frame_settings.h"
#include "pipeline/palettes.h"

#include "threadaffinity/thread_affinity.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace calidra {
namespace {

QString oneDecimal(double value) {
    return QString::asprintf("%.1f", value);
}

std::optional<TemperatureMode> temperatureModeAt(int position) {
    switch (position) {
    case int(TemperatureMode::Normal):
    case int(TemperatureMode::Auto):
    case int(TemperatureMode::Manual):
    case int(TemperatureMode::Reference):
        return TemperatureMode(position);
    default:
        return std::nullopt;
    }
}

QString outsideLimits(const QString& key) {
    return QStringLiteral("outside its limits (%1)").arg(storedLimits(key)->text());
}
// Names the cause of an offset change for the time of one operation; an outer operation's cause
// (loading, a mode choice) stays over the texts it writes itself.
class OffsetCause {
public:
    OffsetCause(std::optional<OffsetChange>& slot, OffsetChange how) : slot_(slot), owner_(!slot) {
        if (owner_)
            slot_ = how;
    }
    ~OffsetCause() {
        if (owner_)
            slot_.reset();
    }
    OffsetCause(const OffsetCause&) = delete;
    OffsetCause& operator=(const OffsetCause&) = delete;

private:
    std::optional<OffsetChange>& slot_;
    bool owner_;
};

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
        return 4;
    case List::Palette:
        return paletteCount;
    default:
        return 2;
    }
}

template <typename Value> Value OperatorValuesModel::storedValue(const Setting<Value>& setting) {
    const StoredReading<Value> stored = readWithinLimits(store_, setting);
    if (stored.replaced)
        reportStoredValue(setting.key, stored.storedText, outsideLimits(setting.key), double(stored.value));
    return stored.value;
}

// The live view loads twice at start-up, and a value only Apply stores stays bad in the store:
// one entry for each bad text is enough.
void OperatorValuesModel::reportStoredValue(const QString& key, const QString& storedText, const QString& why,
                                            double used) {
    const QString message =
        QStringLiteral("Stored %1 \"%2\" is %3; %4 is used instead.").arg(key, storedText, why).arg(used);
    if (reportedStoredValues_.contains(message))
        return;
    reportedStoredValues_.insert(message);
    emit storedValueReplaced(message);
}

// The pane's order: each list with its rule, then the fields, whose rules store them back as shown.
void OperatorValuesModel::load() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    const OffsetCause cause(offsetCause_, OffsetChange::Loaded);
    const auto stored = [this](List list, const Setting<int>& setting) {
        const int position = readSetting(store_, setting);
        showSelection(list, position >= 0 && position < entryCount(list) ? position : -1);
    };
    stored(List::Unit, settings::temperatureUnit);
    onUnitChosen();

    const std::optional<TemperatureMode> storedMode =
        temperatureModeAt(readSetting(store_, settings::temperatureMode));
    if (storedMode == TemperatureMode::Auto || storedMode == TemperatureMode::Manual)
        showFieldText(Field::UserOffset, oneDecimal(storedValue(settings::userOffset)));
    stored(List::Mode, settings::temperatureMode);
    onModeChosen();

    stored(List::FontSize, settings::fontSize);
    select(List::FontSize, selection(List::FontSize));
    stored(List::AlarmEvent, settings::alarmEvent);
    select(List::AlarmEvent, selection(List::AlarmEvent));
    stored(List::AlarmType, settings::alarmType);
    select(List::AlarmType, selection(List::AlarmType));
    showSelection(List::Palette, -1); // the camera's own palette is selected once it is open

    // A stored value outside its limits gives its default, never the nearest limit: an alarm
    // temperature of 0 must not become 30.0 and alarm for everybody. The rules store them back.
    const double alarm = storedValue(settings::alarmTemperature);
    const StoredReading<double> storedDetection = readWithinLimits(store_, settings::trackingTemperature);
    double detection = storedDetection.value;
    if (detection >= alarm)
        detection = detectionBelowAlarm(alarm);
    if (storedDetection.replaced)
        reportStoredValue(settings::trackingTemperature.key, storedDetection.storedText,
                          outsideLimits(settings::trackingTemperature.key), detection);
    else if (detection != storedDetection.value && !storedDetection.storedText.isEmpty())
        reportStoredValue(settings::trackingTemperature.key, storedDetection.storedText,
                          QStringLiteral("not below %1 (%2)").arg(settings::alarmTemperature.key).arg(alarm),
                          detection);
    showFieldText(Field::DetectionTemperature, temperatureFieldText(detection, unit()));
    showFieldText(Field::AlarmTemperature, temperatureFieldText(alarm, unit()));
    showFieldText(Field::AlarmSavePeriod, QString::number(storedValue(settings::alarmSavePeriod)));
    appliedNucText_ = QString::number(storedValue(settings::nucPeriod));
    nucEntryRefused_ = false;
    showFieldText(Field::NucInterval, appliedNucText_);
    showFieldText(Field::DetectTest, QString::number(storedValue(settings::detectTest)));
    showFieldText(Field::ReferenceTemperature,
                  oneDecimal(toDisplayUnit(storedValue(settings::referenceTemperature), unit())));
    referenceHoldSeconds_ = storedValue(settings::referenceHoldSeconds);
    showFieldText(Field::BaselineCount, QString::number(storedValue(settings::baselineCount)));
    showFieldText(Field::BaselineDelta, oneDecimal(storedValue(settings::baselineDelta)));
    baselineResetMinutes_ = storedValue(settings::baselineResetMinutes);
    // After its numbers, so that the mode never runs with a count or margin not yet read.
    const int storedAlarmMode = readSetting(store_, settings::alarmMode);
    select(List::AlarmMode,
           storedAlarmMode == int(AlarmMode::Baseline) ? storedAlarmMode : int(AlarmMode::Fixed));
    emit valuesChanged();
}

void OperatorValuesModel::showSelection(List list, int position) {
    selections_[index(list)] = position;
    emit selectionChanged(list, position);
}

QString OperatorValuesModel::unitLabel() const {
    return temperatureUnitSymbol(unit_);
}

std::optional<TemperatureMode> OperatorValuesModel::mode() const {
    return temperatureModeAt(selection(List::Mode));
}

void OperatorValuesModel::select(List list, int position) {
    CALIDRA_REQUIRE_OWNER_THREAD();
    showSelection(list, position >= 0 && position < entryCount(list) ? position : -1);
    const int chosen = selection(list);
    switch (list) {
    case List::Unit:
        onUnitChosen();
        return;
    case List::Mode: {
        const OffsetCause cause(offsetCause_, OffsetChange::ModeChosen);
        onModeChosen();
        return;
    }
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
    case List::AlarmMode:
        alarmMode_ = AlarmMode(chosen);
        store(settings::alarmMode, chosen);
        emit modeControlsChanged(); // the baseline's rows come or go with the mode
        break;
    default:
        break;
    }
    emit valuesChanged();
}

void OperatorValuesModel::onUnitChosen() {
    const int chosen = selection(List::Unit);
    if (chosen < 0 || TemperatureUnit(chosen) == unit_)
        return;
    unit_ = TemperatureUnit(chosen);
    emit unitLabelChanged(unitLabel());
    rewriteTemperature(Field::DetectionTemperature, unit_);
    rewriteTemperature(Field::AlarmTemperature, unit_);
    rewriteTemperature(Field::ReferenceTemperature, unit_);
    store(settings::temperatureUnit, int(unit_));
    emit valuesChanged();
}

// The typed value in the other unit; its own rule stores it in Celsius again.
void OperatorValuesModel::rewriteTemperature(Field field, TemperatureUnit to) {
    if (fieldText(field).isEmpty())
        return;
    const TemperatureUnit from =
        to == TemperatureUnit::Fahrenheit ? TemperatureUnit::Celsius : TemperatureUnit::Fahrenheit;
    showFieldText(field, oneDecimal(toDisplayUnit(toCelsius(parseFieldNumber(fieldText(field)), from), to)));
}

void OperatorValuesModel::onModeChosen() {
    const std::optional<TemperatureMode> chosen = mode();
    if (chosen == TemperatureMode::Normal) {
        offsetFieldShown_ = false;
        measureShown_ = false;
        showFieldText(Field::UserOffset, QStringLiteral("0.0"));
        emit measuringStopRequested();
    } else if (chosen == TemperatureMode::Auto) {
        offsetFieldShown_ = false;
        measureShown_ = true;
    } else if (chosen == TemperatureMode::Manual) {
        offsetFieldShown_ = true;
        measureShown_ = false;
        emit measuringStopRequested();
    } else if (chosen == TemperatureMode::Reference) {
        // The reference source sets the offset; the typed one stays stored for Manual.
        offsetFieldShown_ = false;
        measureShown_ = false;
        emit measuringStopRequested();
    }
    emit valuesChanged();
    emit modeControlsChanged();
    store(settings::temperatureMode, selection(List::Mode)); // -1 for none, as the list says
    noteOffsetInForce();
}

void OperatorValuesModel::forceNormalMode() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    const OffsetCause cause(offsetCause_, OffsetChange::CameraWithoutOffset);
    showSelection(List::Mode, int(TemperatureMode::Normal));
    modeListEnabled_ = false;
    emit modeControlsChanged();
    noteOffsetInForce();
}

void OperatorValuesModel::showCameraPalette(int position) {
    CALIDRA_REQUIRE_OWNER_THREAD();
    showSelection(List::Palette, position >= 0 && position < entryCount(List::Palette) ? position : -1);
    emit valuesChanged();
}

bool OperatorValuesModel::setFieldText(Field field, const QString& text) {
    CALIDRA_REQUIRE_OWNER_THREAD();
    if (field == Field::NucInterval)
        nucEntryRefused_ = false;
    if (texts_[index(field)] == text)
        return true;
    const QString reason = refusalOf(field, text);
    if (!reason.isEmpty()) {
        if (field == Field::NucInterval) {
            // An interval typed before but never applied is not in force: it goes too.
            texts_[index(field)] = appliedNucText_;
            nucEntryRefused_ = true;
        }
        emit fieldTextChanged(field, texts_[index(field)]); // the value in force, shown again
        emit entryRefused(field, reason);
        return false;
    }
    showFieldText(field, text);
    emit entryAccepted(field);
    return true;
}

double OperatorValuesModel::fieldCelsius(Field field) const {
    return readTemperatureField(fieldText(field), unit()).storedCelsius;
}

QString OperatorValuesModel::refusalOf(Field field, const QString& text) const {
    using namespace value_limits;
    const auto shown = [this](double celsius) { return shownTemperature(celsius, unit()); };
    switch (field) {
    case Field::DetectionTemperature:
    case Field::AlarmTemperature: {
        const bool detection = field == Field::DetectionTemperature;
        const std::optional<double> typed = wholeNumber(text);
        // A value refused is never capped into another one that would then be in force.
        const double celsius = typed ? toCelsius(*typed, unit()) : 0.0;
        // Texts of the same value in both units differ by rounding only; this much is equal.
        constexpr double sameValue = 1e-9;
        if (detection) {
            const double alarm = fieldCelsius(Field::AlarmTemperature);
            if (typed && celsius >= minimumDetectionCelsius - sameValue && celsius < alarm - sameValue)
                return QString();
            return tr("Detection Temp must be a number of at least %1 and below Alarm Temp (%2).")
                .arg(shown(minimumDetectionCelsius), shown(alarm));
        }
        const double detectionCelsius = fieldCelsius(Field::DetectionTemperature);
        if (typed && celsius >= minimumAlarmCelsius - sameValue &&
            celsius <= maximumAlarmCelsius + sameValue && celsius > detectionCelsius + sameValue)
            return QString();
        return tr("Alarm Temp must be a number of at least %1, at most %2 and above Detection Temp (%3).")
            .arg(shown(minimumAlarmCelsius), shown(maximumAlarmCelsius), shown(detectionCelsius));
    }
    case Field::AlarmSavePeriod: {
        const std::optional<int> seconds = wholeInteger(text);
        if (seconds && *seconds >= minimumSavePeriodSeconds && *seconds <= maximumSavePeriodSeconds)
            return QString();
        return tr("Alarm Save Interval must be a whole number of seconds from %1 to %2.")
            .arg(minimumSavePeriodSeconds)
            .arg(maximumSavePeriodSeconds);
    }
    case Field::NucInterval: {
        const std::optional<int> seconds = wholeInteger(text);
        if (seconds && (*seconds == 0 || (*seconds >= minimumNucSeconds && *seconds <= maximumNucSeconds)))
            return QString();
        return tr("NUC Interval must be 0 (off) or a whole number of seconds from %1 to %2.")
            .arg(minimumNucSeconds)
            .arg(maximumNucSeconds);
    }
    case Field::UserOffset: {
        const std::optional<double> celsius = wholeNumber(text);
        if (celsius && std::abs(*celsius) <= maximumOffsetCelsius)
            return QString();
        // The camera takes its offset in Celsius whatever the shown unit.
        return tr("The offset must be a number from %1 to %2 °C.")
            .arg(oneDecimal(-maximumOffsetCelsius), oneDecimal(maximumOffsetCelsius));
    }
    case Field::ReferenceTemperature: {
        const std::optional<double> typed = wholeNumber(text);
        const double celsius = typed ? toCelsius(*typed, unit()) : 0.0;
        constexpr double sameValue = 1e-9; // the limits typed in Fahrenheit convert back exactly
        if (typed && celsius >= minimumReferenceCelsius - sameValue &&
            celsius <= maximumReferenceCelsius + sameValue)
            return QString();
        return tr("Reference Temp must be a number from %1 to %2.")
            .arg(shown(minimumReferenceCelsius), shown(maximumReferenceCelsius));
    }
    case Field::BaselineCount: {
        const std::optional<int> people = wholeInteger(text);
        if (people && *people >= minimumBaselineCount && *people <= maximumBaselineCount)
            return QString();
        return tr("Baseline Count must be a whole number of people from %1 to %2.")
            .arg(minimumBaselineCount)
            .arg(maximumBaselineCount);
    }
    case Field::BaselineDelta: {
        const std::optional<double> celsius = wholeNumber(text);
        constexpr double sameValue = 1e-9;
        if (celsius && *celsius >= minimumBaselineDelta - sameValue &&
            *celsius <= maximumBaselineDelta + sameValue)
            return QString();
        // A margin is typed in Celsius whatever the shown unit, as the offset is.
        return tr("Baseline Delta must be a number from %1 to %2 °C.")
            .arg(oneDecimal(minimumBaselineDelta), oneDecimal(maximumBaselineDelta));
    }
    case Field::DetectTest: {
        const std::optional<int> pixels = wholeInteger(text);
        if (pixels && *pixels >= minimumRegionArea)
            return QString();
        return tr("The smallest region must be a whole number of at least %1 pixel.").arg(minimumRegionArea);
    }
    }
    return QString();
}

// Every text runs the field's rule, as an edit field's change handler does; setting the text it
// already has changes nothing.
void OperatorValuesModel::showFieldText(Field field, const QString& text) {
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
        noteOffsetInForce();
        break;
    case Field::NucInterval:
        break; // only Apply takes it
    case Field::ReferenceTemperature:
        store(settings::referenceTemperature, referenceCelsius());
        emit valuesChanged();
        break;
    case Field::BaselineCount:
        store(settings::baselineCount, baselineSettings().count);
        emit valuesChanged();
        break;
    case Field::BaselineDelta:
        store(settings::baselineDelta, baselineSettings().deltaCelsius);
        emit valuesChanged();
        break;
    }
}

void OperatorValuesModel::onTemperatureField(Field field, const Setting<double>& setting) {
    const TemperatureFieldValue value = readTemperatureField(fieldText(field), unit());
    if (value.rewrittenText && fieldText(field) != *value.rewrittenText) {
        showFieldText(field, *value.rewrittenText); // stores the capped value
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

bool OperatorValuesModel::setOffsetText(const QString& text, OffsetChange how) {
    const OffsetCause cause(offsetCause_, how);
    return setFieldText(Field::UserOffset, text);
}

void OperatorValuesModel::noteOffsetInForce() {
    const double inForce = offsetInForceCelsius();
    if (inForce == offsetInForce_)
        return;
    const double before = offsetInForce_;
    offsetInForce_ = inForce;
    emit offsetInForceChanged(before, inForce, offsetCause_.value_or(OffsetChange::Typed));
}

double OperatorValuesModel::offsetInForceCelsius() const {
    if (mode() == TemperatureMode::Reference || !modeListEnabled_)
        return 0.0;
    return userOffsetCelsius();
}

bool OperatorValuesModel::applyNucInterval(const QString& typed) {
    CALIDRA_REQUIRE_OWNER_THREAD();
    // The click took the focus from the field first, which finished and refused the entry: the
    // field shows the interval in force again, and the click was meant for the refused one.
    const bool refusedByTheClick = nucEntryRefused_ && typed == fieldText(Field::NucInterval);
    const bool taken = !refusedByTheClick && setFieldText(Field::NucInterval, typed);
    nucEntryRefused_ = false; // told already: the next click starts afresh
    if (!taken)
        return false;
    appliedNucText_ = fieldText(Field::NucInterval);
    store(settings::nucPeriod, parseFieldInteger(appliedNucText_));
    emit nucIntervalApplied(nucIntervalMs());
    return true;
}

double OperatorValuesModel::referenceCelsius() const {
    return std::clamp(toCelsius(parseFieldNumber(fieldText(Field::ReferenceTemperature)), unit()),
                      value_limits::minimumReferenceCelsius, value_limits::maximumReferenceCelsius);
}

BaselineSettings OperatorValuesModel::baselineSettings() const {
    BaselineSettings baseline;
    baseline.mode = alarmMode_;
    baseline.count = limitedBaselineCount(parseFieldInteger(fieldText(Field::BaselineCount)));
    baseline.deltaCelsius = limitedBaselineDelta(parseFieldNumber(fieldText(Field::BaselineDelta)));
    baseline.resetMinutes = baselineResetMinutes_;
    return baseline;
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
    settings.reference.correcting = mode() == TemperatureMode::Reference;
    settings.reference.setCelsius = referenceCelsius();
    settings.reference.holdMs = uint32_t(referenceHoldSeconds_) * 1000u;
    settings.baseline = baselineSettings();
    return settings;
}

} // namespace calidra
