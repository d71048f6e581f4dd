#include "headless_station.h"

#include "pipeline/frame_settings.h"
#include "pipeline/temperature_scale.h"
#include "settings/field_text.h"

namespace calidra {

HeadlessStation::HeadlessStation(const HeadlessOptions& options, SettingsSection& settings,
                                 QString programFolder, LineWriter& out, ConnectionTimings timings)
    : options_(options), settings_(settings), out_(out), host_(sound_, std::move(programFolder)),
      pipeline_(host_), receiver_(pipeline_, host_, [this] { afterFrame(); }),
      connection_(*this, receiver_, log_, timings) {
    // Alarm changes and snapshots are printed where they happen, on the frame thread.
    connect(
        &host_, &StationHost::alarmStateChanged, this, [this](bool on) { out_.write(alarmLine(on)); },
        Qt::DirectConnection);
    connect(
        &host_, &StationHost::snapshotWritten, this,
        [this](const QString& path) { out_.write(snapshotLine(path)); }, Qt::DirectConnection);
    connect(&log_, &EventLog::entryAdded, this, [this](int row) {
        const LogEntry& entry = log_.model().entry(row);
        out_.write(logLine(entry.timeText, logTypeName(entry.type), entry.message, entry.code));
    });
}

HeadlessStation::~HeadlessStation() {
    stop();
}

void HeadlessStation::start() {
    publishOperatorSettings();
    log_.setStationUp(true);
    connection_.initialise();
}

void HeadlessStation::stop() {
    if (stopped_)
        return;
    stopped_ = true;
    connection_.StopAcquisition();
    connection_.CloseCamera();
    connection_.shutdown();
    sound_.stop();
}

void HeadlessStation::afterFrame() {
    const uint64_t number = frameNumber_.fetch_add(1) + 1;
    if (options_.detections)
        out_.write(detectionLine(number, pipeline_.detectionResults().detections));
}

void HeadlessStation::setReadouts(const QString& large, const QString& maximum, const QString& minimum) {
    if (options_.readouts)
        out_.write(readoutLine(large, maximum, minimum));
}

bool HeadlessStation::showsFahrenheit() {
    return settings_.readInteger(settings_keys::temperatureUnit, settings_defaults::temperatureUnit) == 1;
}

QString HeadlessStation::unitLabelText() {
    return showsFahrenheit() ? QStringLiteral("F") : QStringLiteral("C");
}

QString HeadlessStation::offsetFieldText() {
    const int mode =
        settings_.readInteger(settings_keys::temperatureMode, settings_defaults::temperatureMode);
    if (mode != 1 && mode != 2)
        return QStringLiteral("0.0");
    return QString::asprintf("%.1f",
                             settings_.readDouble(settings_keys::userOffset, settings_defaults::userOffset));
}

QString HeadlessStation::nucIntervalText() {
    return QString::number(settings_.readInteger(settings_keys::nucPeriod, settings_defaults::nucPeriod));
}

void HeadlessStation::selectPalette(int index) {
    paletteIndex_ = index;
    publishOperatorSettings();
}

// The values an operator would see in the pane, as the pane would show them.
void HeadlessStation::publishOperatorSettings() {
    const bool fahrenheit = showsFahrenheit();
    OperatorSettings settings;
    FrameSettingsTexts texts;
    const TemperatureUnit unit = fahrenheit ? TemperatureUnit::Fahrenheit : TemperatureUnit::Celsius;
    texts.detectionTemperature =
        temperatureFieldText(
            settings_.readDouble(settings_keys::trackingTemperature, settings_defaults::trackingTemperature),
            unit)
            .toStdString();
    texts.alarmTemperature =
        temperatureFieldText(
            settings_.readDouble(settings_keys::alarmTemperature, settings_defaults::alarmTemperature), unit)
            .toStdString();
    texts.alarmSavePeriod = std::to_string(
        settings_.readInteger(settings_keys::alarmSavePeriod, settings_defaults::alarmSavePeriod));
    texts.minimumRegionArea =
        std::to_string(settings_.readInteger(settings_keys::detectTest, settings_defaults::detectTest));
    settings.frame = readFrameSettings(texts, unit);
    settings.unit = fahrenheit ? TemperatureUnit::Fahrenheit : TemperatureUnit::Celsius;
    settings.paletteNumber = paletteIndex_;
    const int fontSize = settings_.readInteger(settings_keys::fontSize, settings_defaults::fontSize);
    settings.fontSize = fontSize == 0 || fontSize == 1 ? fontSize : 1; // the pane keeps Large otherwise
    const int alarmEvent = settings_.readInteger(settings_keys::alarmEvent, settings_defaults::alarmEvent);
    settings.alarmEvent = alarmEvent == 0 || alarmEvent == 1 ? alarmEvent : 0;
    const int alarmType = settings_.readInteger(settings_keys::alarmType, settings_defaults::alarmType);
    settings.alarmType = alarmType == 0 || alarmType == 1 ? alarmType : 0;
    host_.publishOperatorSettings(settings);
}

} // namespace calidra
