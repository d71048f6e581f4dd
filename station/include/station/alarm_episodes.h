#pragma once
// The station's alarm episodes, from ALARM ON to ALARM OFF, followed on the frame thread: each one
// goes to the alarm record (start, readings, snapshots, end) and to the site's broker (a message
// at ON, with the first snapshot, and one at OFF). Events of one frame are taken in the order
// the alarm saw them: the switch first, then the frame's snapshot or its failure.

#include "siteevents/site_events_inputs.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <mutex>
#include <vector>

namespace calidra {

class AlarmRecord;
class FramePipeline;
class SiteEventsPublisher;

class AlarmEpisodes : public QObject {
    Q_OBJECT
public:
    // Clock of the episodes' start and end; tests give their own.
    using Now = QDateTime (*)();

    explicit AlarmEpisodes(Now now = &QDateTime::currentDateTime, QObject* parent = nullptr);

    // Owner thread, while no frame arrives; either may be null.
    void attach(AlarmRecord* record, SiteEventsPublisher* site);

    // Frame thread, during the frame: what its snapshot stage did.
    void snapshotSaved(const QString& path, double highestCelsius);
    void snapshotFailed(int errorNumber);
    // Frame thread, once the frame is done: the alarm's state, and the frame's warmest accepted
    // region, counted when the frame itself is alarmed.
    void frameDone(FramePipeline& pipeline);

    // Any thread: the alarm was switched off without a frame (the camera was lost). The episode
    // ends now; a frame already under way cannot start a new one from the old state.
    void alarmSwitchedOff();
    // Owner thread, after the last frame: an alarm still on ends now at the site (the record ends
    // its own episode when it closes).
    void finish();

    bool alarmOn() const;

signals:
    // Emitted on the frame thread, at most once per episode; connect queued.
    void snapshotFailedInEpisode(int errorNumber);

private:
    struct Snapshot {
        QString path;
        double highestCelsius;
    };
    void addSnapshots(const std::vector<Snapshot>& snapshots);
    void endEpisode();

    // The episode: the frame thread, and the station's thread when the camera is lost. Taken
    // before the pipeline's alarm lock, which the snapshot stage holds while it reports here: so
    // the frame's snapshots wait under a lock of their own, the last in that order.
    mutable std::mutex lock_;
    std::mutex frameLock_;
    Now now_;
    AlarmRecord* record_ = nullptr;
    SiteEventsPublisher* site_ = nullptr;

    bool alarmOn_ = false;
    bool failureReported_ = false;
    SiteAlarmEpisode episode_;
    std::vector<Snapshot> frameSnapshots_; // of the frame under way, under frameLock_
    int frameFailure_ = 0;                 // under frameLock_
};

} // namespace calidra
