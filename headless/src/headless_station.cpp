#include "headless_station.h"
#include "people_lines.h"

#include <QCoreApplication>

namespace calidra {
namespace {

StationOptions headlessOptions(QString programFolder, ConnectionTimings timings) {
    StationOptions options;
    options.programFolder = std::move(programFolder);
    options.timings = timings;
    options.writesOperatorValues = false; // nobody here changes them
    return options;
}

} // namespace

HeadlessStation::HeadlessStation(const HeadlessOptions& options, SettingsSection& settings,
                                 QString programFolder, LineWriter& out, ConnectionTimings timings)
    : options_(options), out_(out),
      station_(settings, log_, headlessOptions(std::move(programFolder), timings)) {
    // The frame thread still renders each picture and tells every alarm change, as with a window,
    // but no window takes the pictures from the station.
    station_.setPicturesWanted(false);
    connect(&station_, &Station::alarmChanged, this, [this](bool on) { out_.write(alarmLine(on)); });
    connect(&station_, &Station::snapshotSaved, this,
            [this](const QString& path) { out_.write(snapshotLine(path)); });
    connect(&station_, &Station::logEntryAdded, this, [this](const LogEntry& entry) {
        out_.write(logLine(entry.timeText, logTypeName(entry.type), entry.message, entry.code));
    });
    connect(&station_, &Station::referenceStatusChanged, this, [this](const ReferenceStatus& status) {
        if (const std::optional<QString> line = referenceLines_.lineFor(status))
            out_.write(*line);
    });
    connect(&station_, &Station::baselineStatusChanged, this, [this](const BaselineStatus& status) {
        if (const std::optional<QString> line = baselineLines_.lineFor(status))
            out_.write(*line);
    });
    connect(&station_, &Station::personCounted, this,
            [this](const PersonEntry& person) { out_.write(personLine(person)); });
    if (options_.readouts)
        connect(&station_, &Station::readoutsChanged, this, [this](const Readouts& shown) {
            out_.writeDroppable(readoutLine(shown.large, shown.maximum, shown.minimum));
        });
    if (options_.detections)
        station_.setFrameObserver([this](const FramePipeline& pipeline) {
            out_.writeDroppable(
                detectionLine(frameNumber_.fetch_add(1) + 1, pipeline.detectionResults().detections));
        });
}

HeadlessStation::~HeadlessStation() {
    stop();
}

void HeadlessStation::start() {
    log_.setStationUp(true);
    station_.start();
}

void HeadlessStation::stop() {
    station_.stop();
    // Lines the frame thread handed over before the camera closed (a snapshot just written), then
    // the ALARM OFF of an alarm the station ended with itself.
    QCoreApplication::sendPostedEvents();
}

} // namespace calidra
