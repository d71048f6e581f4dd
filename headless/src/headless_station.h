#pragma once
// The screening loop without windows: the stored settings, the camera connection, the frame
// pipeline, the alarm sound, snapshots and the stream feed, reported as lines on stdout.

#include "headless_lines.h"
#include "headless_options.h"

#include "camera/camera_connection.h"
#include "eventlog/event_log.h"
#include "pipeline/frame_pipeline.h"
#include "settings/settings_store.h"
#include "station/alarm_sound_player.h"
#include "station/pipeline_receiver.h"
#include "station/station_host.h"

#include <QObject>

#include <atomic>
#include <memory>

namespace calidra {

class HeadlessStation : public QObject, public ConnectionFrontEnd {
    Q_OBJECT
public:
    HeadlessStation(const HeadlessOptions& options, SettingsSection& settings, QString programFolder,
                    LineWriter& out, ConnectionTimings timings = {});
    ~HeadlessStation() override;

    void start();
    // Acquisition stopped, camera closed, library down; safe to call twice.
    void stop();

    // ConnectionFrontEnd
    void setReadouts(const QString& large, const QString& maximum, const QString& minimum) override;
    bool showsFahrenheit() override;
    QString unitLabelText() override;
    QString offsetFieldText() override;
    QString nucIntervalText() override;
    void selectPalette(int index) override;
    void forceNormalMode() override {}
    void setCameraEntries(const QStringList&) override {}

private:
    void publishOperatorSettings();
    void afterFrame();

    HeadlessOptions options_;
    SettingsSection& settings_;
    LineWriter& out_;
    EventLog log_;
    AlarmSoundPlayer sound_;
    StationHost host_;
    FramePipeline pipeline_;
    PipelineReceiver receiver_;
    CameraConnection connection_;
    int paletteIndex_ = -1;
    std::atomic<uint64_t> frameNumber_{0};
    bool stopped_ = false;
};

} // namespace calidra
