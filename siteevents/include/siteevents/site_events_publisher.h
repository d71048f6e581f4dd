#pragma once
// Publishes a station's status, alarms and event-log entries to the site's MQTT broker
// (topics calidra/<station>/status, /alarm and /log). All network and file work runs on a worker
// thread of its own: every input below only posts to it, so the frame thread and the GUI thread
// never wait for the broker. With an empty host nothing is started and every input is ignored.

#include "siteevents/site_events_inputs.h"
#include "siteevents/site_person.h"
#include "siteevents/site_events_settings.h"

#include <QMetaType>
#include <QObject>
#include <QString>

class QThread;

namespace calidra {

class SiteEventsConnection;

// A problem or a change of the broker connection, for the station's event log. Sent once per
// change of state: a broker that stays unreachable is reported once, not at every retry.
struct SiteEventsReport {
    LogType type = LogType::Error;
    QString message;
    int code = 0;
};

class SiteEventsPublisher : public QObject {
    Q_OBJECT
public:
    explicit SiteEventsPublisher(SiteEventsSettings settings, QObject* parent = nullptr);
    // Publishes "offline" and disconnects, waiting at most the settings' shutdownWaitMs for the
    // broker; without its acknowledgement the connection is dropped, so the broker sends the
    // last will instead. Stop calling the inputs before destroying the publisher.
    ~SiteEventsPublisher() override;

    bool enabled() const { return settings_.enabled(); }
    QString topicPrefix() const { return topicPrefix_; }

    // Starts the worker thread and the first connection attempt. Connect reported() first.
    void start();

    // Inputs: callable from any thread, also before start(); they never block.
    // Status goes out when state, model or identity changes; the frame rate rides along.
    void setCameraStatus(const SiteCameraStatus& camera);
    void alarmOn(const SiteAlarmEpisode& episode);
    void alarmOff(const SiteAlarmEpisode& episode);
    void logEntry(const SiteLogEntry& entry);
    // A finished person on calidra/<station>/person, and the day's counts for the status.
    void personFinished(const SitePerson& person, int peopleToday, int alarmsToday);
    void setPeopleToday(int people, int alarms);

signals:
    // Emitted on the worker thread; connect with a receiver on the station's thread.
    void reported(const calidra::SiteEventsReport& report);
    void connectedChanged(bool connected);

private:
    SiteEventsSettings settings_;
    QString topicPrefix_;
    QThread* thread_ = nullptr;
    SiteEventsConnection* connection_ = nullptr;
};

} // namespace calidra

Q_DECLARE_METATYPE(calidra::SiteEventsReport)
