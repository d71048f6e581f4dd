#pragma once
// A running station without its windows: the camera connection, the frame pipeline and its host,
// the alarm sound, the helper programs and the operator's values, wired together once. Calidra's
// application and calidra-headless each make one; the views and whatever else reacts to an alarm,
// a snapshot or the camera attach to its signals. Its methods run on the thread that made it.

#include "station/alarm_episodes.h"
#include "station/alarm_sound_player.h"
#include "station/auxiliary_programs.h"
#include "station/people_count.h"
#include "station/pipeline_receiver.h"
#include "station/readouts.h"
#include "station/reference_supervisor.h"
#include "station/station_host.h"

#include "camera/camera_connection.h"
#include "eventlog/event_log.h"
#include "pipeline/frame_pipeline.h"
#include "operatorvalues/operator_values_model.h"

#include <QMetaType>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

namespace calidra {

class AlarmRecord;
class SiteEventsPublisher;
struct SiteCameraStatus;

struct StationOptions {
    QString programFolder;                  // sounds, alarm snapshots, the mask editor
    ConnectionTimings timings;              // shortened by tests
    CameraLibrary* cameraLibrary = nullptr; // default: libSorvikC; outlives the station
    ConnectionClock* clock = nullptr;       // default: the system's
    bool writesOperatorValues = true;       // false where no operator changes them (headless)
};

// Which camera the station works with, for whoever shows or reports it.
struct CameraState {
    enum class Status { None, Searching, Connected };
    Status status = Status::None; // None: the camera library is not up
    QString label;
    QString identity;
    QString model;
};

// Whether the picture is live: before the first frame of a run, frames flowing, or the camera
// lost (unplugged or silent) until frames flow again.
enum class CameraSignal { Searching, Live, Lost };

class Station : public QObject, private ConnectionFrontEnd {
    Q_OBJECT
public:
    static constexpr int measurementTimeoutMs = 60000;
    static constexpr uint32_t roomEntryIntervalMs = 60 * 60 * 1000;
    // A measured correction (new offset - offset in force) beyond this, either way, is applied only
    // once the operator confirms the subject's temperature was normal.
    static constexpr double unconfirmedCorrectionCelsius = 1.0;

    Station(SettingsSection& settings, EventLog& log, StationOptions options, QObject* parent = nullptr);
    ~Station() override;

    // The operator's values loaded and published, the camera library up, the search and the
    // read-outs running. Safe to call again (the live view starts it on each initial update).
    void start();
    // Acquisition stopped, the camera closed, the library down, the sound off, and an alarm still
    // on ended (alarmChanged(false), queued like every alarm change); safe to call twice.
    void stop();

    // The operator's values: their slots take the operator's choices.
    OperatorValuesModel& values() { return values_; }
    // The live picture's slot; and how many pictures the pipeline handed to it.
    PictureSource& pictures() { return host_; }
    uint64_t shownFrameCount() const { return pipeline_.shownFrameCount(); }
    // Without a view window the frame thread renders no picture and tells no alarm change.
    void setViewWindowExists(bool exists) { host_.setViewWindowExists(exists); }
    // Whether anyone takes pictures from pictures(); without a taker none is handed over.
    void setPicturesWanted(bool wanted) { host_.setPicturesWanted(wanted); }
    // The parts themselves, for the station's tests and the frame observer.
    FramePipeline& pipeline() { return pipeline_; }
    StationHost& host() { return host_; }
    CameraConnection& connection() { return *connection_; }
    AuxiliaryPrograms& programs() { return programs_; }
    CameraState cameraState() const;
    CameraSignal cameraSignal() const { return cameraSignal_; }
    const QStringList& cameraEntries() const { return cameraEntries_; }
    // Temperature mode Reference: its state and the correction in force.
    const ReferenceStatus& referenceStatus() const { return reference_.status(); }
    // The alarm threshold in force and the baseline, as last reported by the pipeline.
    const BaselineStatus& baselineStatus() const { return baselineStatus_; }
    bool measurementTimerActive() const { return measurementTimer_.isActive(); }
    // The measured offset waiting for the operator's answer; empty when none waits.
    const QString& heldOffsetText() const { return heldOffset_; }
    // <program folder>/ThermalAlarm: the snapshots, their record and the unsent alarm messages.
    QString alarmFolder() const;
    // The name the station gives the site (StationName, else the host name), as in its topics.
    QString stationName() const;
    // While the station runs: the alarm record, and the site's broker (null when MqttHost is empty).
    AlarmRecord* alarmRecord() const { return record_.get(); }
    SiteEventsPublisher* siteEvents() const { return site_.get(); }

    // Runs on the frame thread after each frame the pipeline finished (set before start()).
    void setFrameObserver(std::function<void(const FramePipeline&)> observer) {
        frameObserver_ = std::move(observer);
    }

public slots:
    void startMeasurement();
    void stopMeasurement();
    // The operator's answer to measuredOffsetHeld. An offset no longer held (a new measurement, a
    // mode without one) is neither applied nor reported again.
    void confirmMeasuredOffset(const QString& offsetText);
    void declineMeasuredOffset(const QString& offsetText);
    // 0 or less: no periodic NUC.
    void setNucInterval(int intervalMs);
    void choosePalette(int position) { values_.select(OperatorValuesModel::List::Palette, position); }
    // The helper programs: the mask editor with a snapshot of the clean picture, the IP tool, the
    // stream server sized like the camera's picture; and the library's camera dialog.
    void launchMaskEditor();
    void launchIpTool();
    void startStreamingServer();
    void stopStreamingServer();
    void showCameraDialog();
    // Alarm mode Baseline: forget the people learned and learn from the next ones.
    void resetBaseline();

signals:
    void alarmChanged(bool alarmOn);
    void readoutsChanged(const calidra::Readouts& readouts);
    void cameraListChanged(const QStringList& entries);
    void cameraStateChanged(const calidra::CameraState& state);
    void cameraSignalChanged(calidra::CameraSignal signal);
    void offsetMeasured(const QString& offsetText);
    // A measured offset too far from the one in force: it waits for confirm or declineMeasuredOffset.
    void measuredOffsetHeld(double inForceCelsius, double measuredCelsius, const QString& offsetText);
    // highestCelsius: the highest accepted region temperature of the frame the JPEG shows.
    void snapshotSaved(const QString& path, double highestCelsius);
    void logEntryAdded(const calidra::LogEntry& entry);
    void referenceStatusChanged(const calidra::ReferenceStatus& status);
    void baselineStatusChanged(const calidra::BaselineStatus& status);
    // A person was finished and numbered; then the day's counts.
    void personCounted(const calidra::PersonEntry& person);
    void peopleTodayChanged(int people, int alarms);

private:
    // ConnectionFrontEnd
    double userOffsetCelsius() override { return values_.userOffsetCelsius(); }
    int nucIntervalMs() override { return values_.nucIntervalMs(); }
    void selectPalette(int index) override { values_.showCameraPalette(index); }
    void forceNormalMode() override { values_.forceNormalMode(); }
    void setCameraEntries(const QStringList& entries) override;
    void readoutDue() override;
    void connectionChanged() override;
    void signalLost() override;
    void setCameraSignal(CameraSignal signal);
    void onFramesFlowing();

    void startAlarmRecord();
    void startSiteEvents();
    SiteCameraState siteCameraState() const;
    void publishCameraStatus();
    void onSnapshotSkippedForRoom();
    void publishOperatorValues();
    void onOffsetMeasured(const QString& offsetText);
    void onOffsetInForceChanged(double beforeCelsius, double afterCelsius, OffsetChange how);
    void connectReference();
    void onBaselineReported(const BaselineStatus& status);
    void addBaseline(SiteCameraStatus& status) const;
    // The people the pipeline finished: numbered, kept, sent and shown.
    void takeFinishedPeople();
    void resumePeopleCount();
    // At midnight the shown counts start again from 0, before anybody is counted.
    void startNewPeopleDay();

public:
    // The day's counts as shown in the options pane.
    int peopleToday() const;
    int alarmsToday() const;

private:
    Camera* camera() const { return connection_ ? connection_->camera() : nullptr; }

    SettingsSection& settings_;
    EventLog& log_;
    StationOptions options_;
    std::unique_ptr<CameraLibrary> ownLibrary_;
    AlarmEpisodes episodes_; // told by the pipeline's alarm through host_
    AlarmSoundPlayer sound_;
    StationHost host_;
    FramePipeline pipeline_;
    AuxiliaryPrograms programs_;
    PipelineReceiver receiver_;
    OperatorValuesModel values_;
    ReferenceSupervisor reference_;
    bool referenceModeBefore_ = false;
    BaselineStatus baselineStatus_;
    std::unique_ptr<CameraConnection> connection_;
    QTimer measurementTimer_;
    QString heldOffset_;
    QStringList cameraEntries_;
    std::function<void(const FramePipeline&)> frameObserver_;
    CameraSignal cameraSignal_ = CameraSignal::Searching;
    bool cameraStalled_ = false; // open, but the watchdog found it silent since its frames last flowed
    std::atomic<bool> awaitingFrames_{true}; // the frame thread reports the next frame

    // Made by start() and let go by stop() once the camera is closed.
    std::unique_ptr<AlarmRecord> record_;
    std::unique_ptr<SiteEventsPublisher> site_;
    bool roomEntryWritten_ = false; // the free-space entry, at most once an hour
    uint32_t roomEntryTick_ = 0;
    std::atomic<uint64_t> framesSeen_{0}; // for the frame rate the site is told
    uint64_t framesAtRateTick_ = 0;
    uint32_t rateTick_ = 0;
    double framesPerSecond_ = 0.0;
    PeopleCount peopleCount_;
};

} // namespace calidra

Q_DECLARE_METATYPE(calidra::CameraState)
Q_DECLARE_METATYPE(calidra::CameraSignal)
Q_DECLARE_METATYPE(calidra::BaselineStatus)
