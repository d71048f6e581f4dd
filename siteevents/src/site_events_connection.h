#pragma once
// The worker-thread side of SiteEventsPublisher: owns the libmosquitto client, drives it from
// this thread's event loop (socket notifiers and a service timer, no thread of the library's
// own), reconnects with back-off and keeps the pending alarm messages. Every member runs on
// the worker thread.

#include "siteevents/pending_alarm_queue.h"
#include "siteevents/site_events_publisher.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

struct mosquitto;
struct mosquitto_message;
class QSocketNotifier;

#include <deque>

namespace calidra {

class SiteEventsConnection : public QObject {
    Q_OBJECT
public:
    SiteEventsConnection(SiteEventsSettings settings, QString topicPrefix);
    ~SiteEventsConnection() override;

    void begin();
    void setCameraStatus(const SiteCameraStatus& camera);
    void setAlarm(const SiteAlarmEpisode& episode, bool alarmOn);
    void publishLogEntry(const SiteLogEntry& entry);
    void setPeopleToday(int people, int alarms);
    void publishPerson(const QByteArray& payload);
    // Publishes offline, disconnects and ends the worker thread.
    void finish();

signals:
    void reported(const calidra::SiteEventsReport& report);
    void connectedChanged(bool connected);

private:
    // What the operator was last told about the connection.
    enum class LinkState { Starting, Connected, Unreachable, Refused, TlsFailed, PasswordUnusable, Finished };

    static void handleConnack(mosquitto* client, void* self, int reasonCode);
    static void handleDisconnect(mosquitto* client, void* self, int result);
    static void handlePublished(mosquitto* client, void* self, int messageId);
    static void handleLibraryLog(mosquitto* client, void* self, int level, const char* text);
    static void handleMessage(mosquitto* client, void* self, const mosquitto_message* message);

    void attemptConnection();
    bool createClient();
    bool applyCredentials();
    bool applyTls();
    void linkDown(int result, int errorNumber);
    void afterConnect();
    void scheduleRetry();
    void service();
    void watchSocket();
    void stopWatchingSocket();
    void publishStatus();
    void sendPendingAlarms();
    void keepSnapshot(const SiteAlarmEpisode& episode);
    void publishSnapshot();
    void publishDiscovery();
    void checkQueueFile();
    void endWorker();
    void setLinkState(LinkState state, LogType type, const QString& message, int code);
    QString brokerName() const;

    SiteEventsSettings settings_;
    QString topicPrefix_;
    QByteArray statusTopic_;
    QByteArray alarmTopic_;
    QByteArray logTopic_;
    QByteArray snapshotTopic_;
    QByteArray discoveryStatusTopic_; // Home Assistant says "online" here when it (re)starts
    mosquitto* client_ = nullptr;

    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    int watchedSocket_ = -1;
    QTimer serviceTimer_;
    QTimer retryTimer_;
    QTimer statusTimer_;
    QTimer shutdownTimer_;
    int retryDelayMs_ = 0;

    bool attemptActive_ = false; // a socket exists and its end has not been handled yet
    bool connected_ = false;     // the broker accepted the connection
    int refusedCode_ = 0;        // CONNACK code of the current attempt
    bool finishing_ = false;
    int offlineMessageId_ = 0;
    QString lastLibraryError_;
    LinkState linkState_ = LinkState::Starting;

    SiteCameraStatus camera_;
    bool alarmOn_ = false;
    PendingAlarmQueue pending_;
    bool queueFileFailing_ = false;
    bool droppingAlarms_ = false;
    QByteArray snapshot_;      // the first picture of the latest alarm
    bool snapshotDue_ = false; // until the broker has taken it
    int snapshotMessageId_ = 0;

    // Person results while the broker is away, newest kept (site_people.cpp).
    static constexpr std::size_t largestWaitingPeople = 1000;
    std::deque<QByteArray> waitingPeople_;
    void sendWaitingPeople();
};

} // namespace calidra
