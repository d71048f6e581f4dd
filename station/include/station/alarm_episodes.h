#pragma once
// The station's alarm episodes, from ALARM ON to ALARM OFF: each one goes to the alarm record
// (start, readings, snapshots, end) and to the site's broker (a message at ON, with the first
// snapshot, and one at OFF). The pipeline's alarm is the only judge of on and off; this is told
// its course through the pipeline's host.
//
// What guards what: nothing of its own. Every call but attach comes from the pipeline's alarm
// calls to its host (switch, snapshot, frame done), which the pipeline makes one at a time under
// its alarm lock, from the frame thread or from the thread that ends the alarm without a frame;
// attach runs on the owner thread while no frame arrives and the alarm is off. Holding no lock,
// it adds no lock order between the station and the pipeline.

#include "siteevents/site_events_inputs.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <optional>

namespace calidra {

class AlarmRecord;
class SiteEventsPublisher;

class AlarmEpisodes : public QObject {
    Q_OBJECT
public:
    // Clock of the episodes' start and end; tests give their own.
    using Now = QDateTime (*)();

    explicit AlarmEpisodes(Now now = &QDateTime::currentDateTime, QObject* parent = nullptr);

    // Owner thread, while no frame arrives and the alarm is off; either may be null.
    void attach(AlarmRecord* record, SiteEventsPublisher* site);

    // The pipeline's alarm, in its order: on, then the frame's snapshot or its failure and the
    // frame's reading for each frame while on, then off.
    // thresholdCelsius: what the regions were compared with; referenceCorrectionCelsius: in
    // temperature mode Reference, the correction in force.
    void switchedOn(double thresholdCelsius, std::optional<double> referenceCorrectionCelsius = std::nullopt);
    void snapshotSaved(const QString& path, double highestCelsius);
    void snapshotFailed(int errorNumber);
    void frameDone(std::optional<double> alarmedReadingCelsius);
    void switchedOff();

signals:
    // Emitted on the frame thread, at most once per episode; connect queued.
    void snapshotFailedInEpisode(int errorNumber);

private:
    void tellSiteOn();

    Now now_;
    AlarmRecord* record_ = nullptr;
    SiteEventsPublisher* site_ = nullptr;

    bool siteOnDue_ = false; // at the end of the first frame, so the message holds its snapshot
    bool failureReported_ = false;
    SiteAlarmEpisode episode_;
};

} // namespace calidra
