#pragma once
// The screening loop without windows: a station on the stored settings, reported as lines on
// stdout.

#include "baseline_lines.h"
#include "headless_lines.h"
#include "headless_options.h"
#include "line_writer.h"
#include "reference_lines.h"

#include "eventlog/event_log.h"
#include "station/station.h"

#include <QObject>

#include <atomic>

namespace calidra {

class HeadlessStation : public QObject {
    Q_OBJECT
public:
    HeadlessStation(const HeadlessOptions& options, SettingsSection& settings, QString programFolder,
                    LineWriter& out, ConnectionTimings timings = {});
    ~HeadlessStation() override;

    void start();
    // Acquisition stopped, camera closed, library down, the lines the station still had for us
    // written, and an alarm under way ended with its ALARM OFF line; safe to call twice.
    void stop();

    Station& station() { return station_; }

private:
    HeadlessOptions options_;
    LineWriter& out_;
    EventLog log_;
    Station station_;
    ReferenceLines referenceLines_;
    BaselineLines baselineLines_;
    std::atomic<uint64_t> frameNumber_{0};
};

} // namespace calidra
