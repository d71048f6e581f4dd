#include "station/alarm_episodes.h"

#include "alarmrecord/alarm_record.h"
#include "pipeline/frame_pipeline.h"
#include "siteevents/site_events_publisher.h"

#include <QFileInfo>

#include <cmath>
#include <utility>

namespace calidra {
namespace {

void raise(double& highest, double celsius) {
    if (std::isnan(highest) || celsius > highest)
        highest = celsius;
}

} // namespace

AlarmEpisodes::AlarmEpisodes(Now now, QObject* parent) : QObject(parent), now_(now) {}

void AlarmEpisodes::attach(AlarmRecord* record, SiteEventsPublisher* site) {
    const std::lock_guard<std::mutex> guard(lock_);
    record_ = record;
    site_ = site;
}

void AlarmEpisodes::snapshotSaved(const QString& path, double highestCelsius) {
    const std::lock_guard<std::mutex> guard(frameLock_);
    frameSnapshots_.push_back({path, highestCelsius});
}

void AlarmEpisodes::snapshotFailed(int errorNumber) {
    const std::lock_guard<std::mutex> guard(frameLock_);
    frameFailure_ = errorNumber;
}

bool AlarmEpisodes::alarmOn() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return alarmOn_;
}

void AlarmEpisodes::frameDone(FramePipeline& pipeline) {
    const std::lock_guard<std::mutex> guard(lock_);
    // Read under this lock: a lost camera switches the pipeline's alarm off and then ends the
    // episode here, so a frame sees either both or neither.
    const bool alarmOn = pipeline.alarmOn();
    const DetectionResults& frame = pipeline.detectionResults();
    const bool frameAlarmed = frame.frameAlarm;
    const double highestCelsius = highestTemperature(frame.detections);
    const bool started = alarmOn && !alarmOn_;
    if (started) {
        episode_ = SiteAlarmEpisode{};
        episode_.start = now_();
        failureReported_ = false;
        if (record_)
            record_->alarmOn(episode_.start);
    }
    if (alarmOn && frameAlarmed) {
        raise(episode_.highestCelsius, highestCelsius);
        if (record_)
            record_->noteReading(highestCelsius);
    }
    std::vector<Snapshot> snapshots;
    int failure = 0;
    {
        const std::lock_guard<std::mutex> frameGuard(frameLock_);
        snapshots.swap(frameSnapshots_);
        std::swap(failure, frameFailure_);
    }
    if (alarmOn || alarmOn_) // pictures only come during an alarm
        addSnapshots(snapshots);
    if (failure != 0 && !failureReported_) {
        failureReported_ = true;
        emit snapshotFailedInEpisode(failure);
    }

    if (started && site_)
        site_->alarmOn(episode_);
    if (!alarmOn && alarmOn_)
        endEpisode();
    alarmOn_ = alarmOn;
}

void AlarmEpisodes::alarmSwitchedOff() {
    const std::lock_guard<std::mutex> guard(lock_);
    std::vector<Snapshot> snapshots;
    {
        const std::lock_guard<std::mutex> frameGuard(frameLock_);
        snapshots.swap(frameSnapshots_);
    }
    if (alarmOn_) {
        addSnapshots(snapshots); // of a frame cut short by the loss
        endEpisode();
    }
    alarmOn_ = false;
}

void AlarmEpisodes::addSnapshots(const std::vector<Snapshot>& snapshots) {
    for (const Snapshot& snapshot : snapshots) {
        if (record_)
            record_->snapshotSaved(snapshot.path, snapshot.highestCelsius);
        raise(episode_.highestCelsius, snapshot.highestCelsius);
        // Two pictures within one second share a name: the later one replaced the file.
        const QString name = QFileInfo(snapshot.path).fileName();
        if (!episode_.snapshotFiles.contains(name))
            episode_.snapshotFiles << name;
    }
}

void AlarmEpisodes::endEpisode() {
    episode_.end = now_();
    if (record_)
        record_->alarmOff(episode_.end);
    if (site_)
        site_->alarmOff(episode_);
}

void AlarmEpisodes::finish() {
    const std::lock_guard<std::mutex> guard(lock_);
    if (alarmOn_ && site_) {
        episode_.end = now_();
        site_->alarmOff(episode_);
    }
    alarmOn_ = false;
}

} // namespace calidra
