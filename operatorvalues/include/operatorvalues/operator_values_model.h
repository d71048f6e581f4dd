#pragma once
// The operator's values as the options pane shows them: the field texts and list positions, the
// rules that turn them into stored values (unit conversion, the limits, empty and unreadable
// texts), the store writes, and the snapshot the frame thread reads. The pane's widget only shows
// what this model holds and hands it what the operator chose; the headless station reads the
// same values through it without any widget.

#include "settings/settings_store.h"

#include "pipeline/frame_pipeline_host.h"
#include "pipeline/temperature_scale.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <array>
#include <functional>
#include <optional>

namespace calidra {

// The mode list's entries; the numbers are what TemperatureMode stores.
enum class TemperatureMode : int { Normal = 0, Auto = 1, Manual = 2, Reference = 3 };

// How the offset in force came to change, for the event log; Loaded is the start-up's own.
enum class OffsetChange { Loaded, Typed, Measured, Confirmed, ModeChosen, CameraWithoutOffset };

class OperatorValuesModel : public QObject {
    Q_OBJECT
public:
    enum class Field {
        DetectionTemperature,
        AlarmTemperature,
        AlarmSavePeriod,
        NucInterval,
        DetectTest,
        UserOffset,
        ReferenceTemperature, // display unit
        BaselineCount,
        BaselineDelta // °C whatever the unit
    };
    enum class List { Unit, Mode, Palette, FontSize, AlarmEvent, AlarmType, AlarmMode };
    static constexpr int fieldCount = 9;
    static constexpr int listCount = 7;

    explicit OperatorValuesModel(SettingsSection& store, QObject* parent = nullptr);

    // A station without an operator reads the values but never writes them back.
    void setWritesToStore(bool writes) { writesToStore_ = writes; }

    // Fills the lists, then the fields, from the store, each running its rule as the pane does.
    void load();

    // Entries of each list, for its positions; the palette names are the camera's entry names.
    static int entryCount(List list);

    QString fieldText(Field field) const { return texts_[index(field)]; }
    int selection(List list) const { return selections_[index(list)]; }
    // The unit the temperatures are shown and typed in; it changes only through the unit list.
    TemperatureUnit unit() const { return unit_; }
    // The mode list's selection; none for a stored mode outside the list.
    std::optional<TemperatureMode> mode() const;
    // Shown beside the temperatures: "°C" or "°F".
    QString unitLabel() const;
    bool offsetFieldShown() const { return offsetFieldShown_; }
    bool measureShown() const { return measureShown_; }
    bool modeListEnabled() const { return modeListEnabled_; }
    bool referenceFieldShown() const { return mode() == TemperatureMode::Reference; }
    // The reference source's set temperature and how long a hidden source is held.
    double referenceCelsius() const;
    int referenceHoldSeconds() const { return referenceHoldSeconds_; }
    // Fixed, or Baseline: the threshold from the people before, with its count and margin.
    AlarmMode alarmMode() const { return alarmMode_; }
    bool baselineFieldsShown() const { return alarmMode_ == AlarmMode::Baseline; }
    BaselineSettings baselineSettings() const;

    // The values the frame thread reads, the texts parsed once here.
    OperatorSettings operatorSettings() const;
    // The offset field's number, and the NUC field's seconds as a timer period.
    double userOffsetCelsius() const;
    int nucIntervalMs() const;
    // The user offset the camera works with: the offset field's number, except in mode Reference
    // (its correction replaces it) and with a camera that has no offset node (nothing is sent).
    double offsetInForceCelsius() const;
    // Seconds to a timer period, saturated: a huge interval never turns into "off".
    static int nucIntervalMs(int seconds);

public slots:
    // The operator's choices. A field's text is taken only when it is a whole number within the
    // field's limits; otherwise the value in force stays (for the NUC interval: the applied one),
    // its text is shown again and entryRefused says why. False then.
    bool setFieldText(Field field, const QString& text);
    void select(List list, int position);
    void chooseUnit(TemperatureUnit unit) { select(List::Unit, int(unit)); }
    void chooseMode(TemperatureMode mode) { select(List::Mode, int(mode)); }
    // Apply: the typed interval's entry finished, then stored and applied. A refused entry, also
    // one the click itself finished by taking the focus, applies and stores nothing: false. Only
    // an applied interval is ever stored, never one typed before it.
    bool applyNucInterval(const QString& typed);
    bool applyNucInterval() { return applyNucInterval(fieldText(Field::NucInterval)); }

    // What the camera reports: its palette's position (-1 none), a camera without the offset
    // node (Normal, locked, nothing stored), and an offset the measurement found.
    void showCameraPalette(int position);
    void forceNormalMode();
    bool showMeasuredOffset(const QString& text) { return setOffsetText(text, OffsetChange::Measured); }
    // A measured offset the operator confirmed after being asked.
    bool applyConfirmedOffset(const QString& text) { return setOffsetText(text, OffsetChange::Confirmed); }

public:
    // Asked whenever the offset changes: whether an open camera takes it (it offers the node).
    void setCameraTakesOffset(std::function<bool()> takes) { cameraTakesOffset_ = std::move(takes); }

signals:
    void fieldTextChanged(OperatorValuesModel::Field field, const QString& text);
    // A text was refused; reason is a sentence for the operator, in the shown unit.
    void entryRefused(OperatorValuesModel::Field field, const QString& reason);
    // A new text was taken: an earlier refusal no longer applies.
    void entryAccepted(OperatorValuesModel::Field field);
    void selectionChanged(OperatorValuesModel::List list, int position);
    void unitLabelChanged(const QString& label);
    // Which of the offset field and the Measure button shows, and whether the mode list is enabled.
    void modeControlsChanged();
    // Something the frame thread reads changed: publish operatorSettings() again.
    void valuesChanged();
    // For the open camera.
    void userOffsetChosen(double celsius);
    void paletteChosen(const QString& entryName);
    void nucIntervalApplied(int intervalMs);
    // A mode that has no measurement was chosen.
    void measuringStopRequested();
    // A stored value outside its limits was replaced when loading: a sentence for the event log
    // naming the key, the stored text and the value used. Once per stored text in a run.
    void storedValueReplaced(const QString& message);
    // offsetInForceCelsius() changed (also while the stored values are loaded).
    void offsetInForceChanged(double beforeCelsius, double afterCelsius, calidra::OffsetChange how);

private:
    static std::size_t index(Field field) { return std::size_t(field); }
    static std::size_t index(List list) { return std::size_t(list); }
    void showSelection(List list, int position);
    // The program's own texts (stored values, unit rewrites): shown and applied without refusal.
    void showFieldText(Field field, const QString& text);
    // Empty when the text may be taken.
    QString refusalOf(Field field, const QString& text) const;
    double fieldCelsius(Field field) const;
    void onUnitChosen();
    void onModeChosen();
    void onTemperatureField(Field field, const Setting<double>& setting);
    void onIntegerField(Field field, const Setting<int>& setting);
    void onOffsetField();
    bool setOffsetText(const QString& text, OffsetChange how);
    // Tells offsetInForceChanged when the offset in force is no longer the one last told.
    void noteOffsetInForce();
    void rewriteTemperature(Field field, TemperatureUnit to);
    template <typename Value> void store(const Setting<Value>& setting, Value value);
    // A stored value within its limits, or its default, reported.
    template <typename Value> Value storedValue(const Setting<Value>& setting);
    void reportStoredValue(const QString& key, const QString& storedText, const QString& why, double used);

    SettingsSection& store_;
    bool writesToStore_ = true;
    std::array<QString, fieldCount> texts_;
    std::array<int, listCount> selections_;
    TemperatureUnit unit_ = TemperatureUnit::Celsius;
    int fontSize_ = 1;
    int alarmEvent_ = 0;
    int alarmType_ = 0;
    int referenceHoldSeconds_ = 10;
    QString appliedNucText_; // the NUC interval in force, as loaded or last applied
    bool nucEntryRefused_ = false;
    QSet<QString> reportedStoredValues_;
    AlarmMode alarmMode_ = AlarmMode::Fixed;
    int baselineResetMinutes_ = 60;
    bool offsetFieldShown_ = true;
    bool measureShown_ = true;
    bool modeListEnabled_ = true;
    std::function<bool()> cameraTakesOffset_;
    double offsetInForce_ = 0.0;
    // The outermost operation's cause; a text with none is the operator's typing.
    std::optional<OffsetChange> offsetCause_;
};

} // namespace calidra
