#include "station/alarm_episodes.h"

#include "alarmrecord/alarm_record.h"
#include "siteevents/site_events_publisher.h"

#include <QFileInfo>

#include <cmath>

namespace calidra {
namespace {

void raise(double& highest, double celsius) {
    if (std::isnan(highest) || celsius > highest)
        highest = celsius;
}

} // namespace

AlarmEpisodes::AlarmEpisodes(Now now, QObject* parent) : QObject(parent), now_(now) {}

void AlarmEpisodes::attach(AlarmRecord* record, SiteEventsPublisher* site) {
    record_ = record;
    site_ = site;
}

void AlarmEpisodes::snapshotSaved(const QString& path, double highestCelsius) {
    frameSnapshots_.push_back({path, highestCelsius});
}

void AlarmEpisodes::snapshotFailed(int errorNumber) {
    frameFailure_ = errorNumber;
}

void AlarmEpisodes::frameDone(bool alarmOn, bool frameAlarmed, double highestCelsius) {
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
    for (const Snapshot& snapshot : frameSnapshots_) {
        if (record_)
            record_->snapshotSaved(snapshot.path, snapshot.highestCelsius);
        raise(episode_.highestCelsius, snapshot.highestCelsius);
        // Two pictures within one second share a name: the later one replaced the file.
        const QString name = QFileInfo(snapshot.path).fileName();
        if (!episode_.snapshotFiles.contains(name))
            episode_.snapshotFiles << name;
    }
    frameSnapshots_.clear();
    if (frameFailure_ != 0 && !failureReported_) {
        failureReported_ = true;
        emit snapshotFailedInEpisode(frameFailure_);
    }
    frameFailure_ = 0;

    if (started && site_)
        site_->alarmOn(episode_);
    if (!alarmOn && alarmOn_) {
        episode_.end = now_();
        if (record_)
            record_->alarmOff(episode_.end);
        if (site_)
            site_->alarmOff(episode_);
    }
    alarmOn_ = alarmOn;
}

void AlarmEpisodes::finish() {
    if (alarmOn_ && site_) {
        episode_.end = now_();
        site_->alarmOff(episode_);
    }
    alarmOn_ = false;
}

} // namespace calidra
