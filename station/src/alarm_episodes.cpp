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

void AlarmEpisodes::switchedOn(double thresholdCelsius, std::optional<double> referenceCorrectionCelsius) {
    episode_ = SiteAlarmEpisode{};
    episode_.start = now_();
    failureReported_ = false;
    siteOnDue_ = true;
    if (record_)
        record_->alarmOn(episode_.start, referenceCorrectionCelsius, thresholdCelsius);
}

void AlarmEpisodes::snapshotSaved(const QString& path, double highestCelsius) {
    if (record_)
        record_->snapshotSaved(path, highestCelsius);
    raise(episode_.highestCelsius, highestCelsius);
    // Two pictures within one second share a name: the later one replaced the file.
    const QString name = QFileInfo(path).fileName();
    if (!episode_.snapshotFiles.contains(name))
        episode_.snapshotFiles << name;
}

void AlarmEpisodes::snapshotFailed(int errorNumber) {
    if (failureReported_)
        return;
    failureReported_ = true;
    emit snapshotFailedInEpisode(errorNumber);
}

void AlarmEpisodes::frameDone(std::optional<double> alarmedReadingCelsius) {
    if (alarmedReadingCelsius) {
        raise(episode_.highestCelsius, *alarmedReadingCelsius);
        if (record_)
            record_->noteReading(*alarmedReadingCelsius);
    }
    tellSiteOn();
}

void AlarmEpisodes::switchedOff() {
    tellSiteOn(); // an alarm ended before its first frame was done still began
    episode_.end = now_();
    if (record_)
        record_->alarmOff(episode_.end);
    if (site_)
        site_->alarmOff(episode_);
}

void AlarmEpisodes::tellSiteOn() {
    if (!siteOnDue_)
        return;
    siteOnDue_ = false;
    if (site_)
        site_->alarmOn(episode_);
}

} // namespace calidra
