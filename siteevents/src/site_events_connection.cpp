#include "site_events_connection.h"

#include "siteevents/site_person.h"

#include "home_assistant_discovery.h"
#include "password_file.h"
#include "siteevents/site_events_messages.h"

#include "threadaffinity/thread_affinity.h"

#include <QFile>
#include <QSocketNotifier>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>

namespace calidra {
namespace {

// Alarm messages handed to the client library at once; the rest wait in the queue, so the
// library's own memory stays small and the queue's bound stays meaningful.
constexpr int maxAlarmsInFlight = 10;
// Keep-alive pings and the library's retries need a call now and then even when the socket is quiet.
constexpr int serviceIntervalMs = 500;
// The protocol library refuses shorter keep-alive times.
constexpr int shortestKeepAliveSeconds = 5;
// A snapshot larger than this is no picture the station wrote.
constexpr qint64 largestSnapshotBytes = 16 * 1024 * 1024;

enum ConnackCode { BadUserNameOrPassword = 4, NotAuthorised = 5 };

} // namespace

SiteEventsConnection::SiteEventsConnection(SiteEventsSettings settings, QString topicPrefix)
    : settings_(std::move(settings)), topicPrefix_(std::move(topicPrefix)),
      statusTopic_((topicPrefix_ + QStringLiteral("/status")).toUtf8()),
      alarmTopic_((topicPrefix_ + QStringLiteral("/alarm")).toUtf8()),
      logTopic_((topicPrefix_ + QStringLiteral("/log")).toUtf8()),
      snapshotTopic_((topicPrefix_ + QStringLiteral("/snapshot")).toUtf8()),
      discoveryStatusTopic_((settings_.homeAssistantPrefix + QStringLiteral("/status")).toUtf8()),
      serviceTimer_(this), retryTimer_(this), statusTimer_(this), shutdownTimer_(this),
      pending_(settings_.pendingAlarmsFile, settings_.maxPendingAlarms) {
    serviceTimer_.setInterval(serviceIntervalMs);
    retryTimer_.setSingleShot(true);
    shutdownTimer_.setSingleShot(true);
    connect(&serviceTimer_, &QTimer::timeout, this, &SiteEventsConnection::service);
    connect(&retryTimer_, &QTimer::timeout, this, &SiteEventsConnection::attemptConnection);
    connect(&statusTimer_, &QTimer::timeout, this, &SiteEventsConnection::publishStatus);
    connect(&shutdownTimer_, &QTimer::timeout, this, &SiteEventsConnection::endWorker);
}

SiteEventsConnection::~SiteEventsConnection() {
    if (client_)
        mosquitto_destroy(client_);
}

QString SiteEventsConnection::brokerName() const {
    return QStringLiteral("%1:%2").arg(settings_.host.trimmed()).arg(settings_.port);
}

void SiteEventsConnection::begin() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    retryDelayMs_ = std::max(1, settings_.firstRetryDelayMs);
    const QString configured = settings_.stationName.trimmed();
    if (!configured.isEmpty() && siteStationName(configured) != configured)
        emit reported({LogType::Information,
                       QStringLiteral("The station name \"%1\" cannot stand in MQTT topics as it is; "
                                      "the station publishes as \"%2\".")
                           .arg(configured, siteStationName(configured)),
                       0});
    if (!pending_.open([](const QByteArray& payload) {
            return isJournalledAlarmPayload(payload, QDateTime::currentDateTime());
        }))
        checkQueueFile();
    if (pending_.refusedEntries() > 0)
        emit reported({LogType::Error,
                       QStringLiteral("%1 entries of %2 were no alarms of this station and were dropped.")
                           .arg(pending_.refusedEntries())
                           .arg(settings_.pendingAlarmsFile),
                       0});
    attemptConnection();
}

bool SiteEventsConnection::createClient() {
    client_ = mosquitto_new(nullptr, true, this);
    if (!client_) {
        setLinkState(LinkState::Unreachable, LogType::Error,
                     QStringLiteral("The MQTT client cannot be created."), errno);
        return false;
    }
    mosquitto_connect_callback_set(client_, &SiteEventsConnection::handleConnack);
    mosquitto_disconnect_callback_set(client_, &SiteEventsConnection::handleDisconnect);
    mosquitto_publish_callback_set(client_, &SiteEventsConnection::handlePublished);
    mosquitto_log_callback_set(client_, &SiteEventsConnection::handleLibraryLog);
    mosquitto_message_callback_set(client_, &SiteEventsConnection::handleMessage);
    const QByteArray will = lastWillPayload(siteStationName(settings_.stationName));
    const int result =
        mosquitto_will_set(client_, statusTopic_.constData(), will.size(), will.constData(), 1, true);
    if (result == MOSQ_ERR_SUCCESS)
        return true;
    setLinkState(LinkState::Unreachable, LogType::Error,
                 QStringLiteral("MQTT topic %1 cannot be used: %2")
                     .arg(QString::fromUtf8(statusTopic_), QString::fromUtf8(mosquitto_strerror(result))),
                 result);
    return false;
}

bool SiteEventsConnection::applyCredentials() {
    const QByteArray user = settings_.user.toUtf8();
    QByteArray password;
    if (!settings_.passwordFile.isEmpty()) {
        if (user.isEmpty()) {
            setLinkState(LinkState::PasswordUnusable, LogType::Error,
                         QStringLiteral("An MQTT password file needs an MQTT user name."), 0);
            return false;
        }
        const PasswordFileResult read = readPasswordFile(settings_.passwordFile);
        if (!read.usable) {
            setLinkState(LinkState::PasswordUnusable, LogType::Error, read.problem, read.errorNumber);
            return false;
        }
        password = read.password;
    }
    const int result =
        mosquitto_username_pw_set(client_, user.isEmpty() ? nullptr : user.constData(),
                                  settings_.passwordFile.isEmpty() ? nullptr : password.constData());
    password.fill('\0');
    return result == MOSQ_ERR_SUCCESS;
}

bool SiteEventsConnection::applyTls() {
    if (!settings_.useTls)
        return true;
    const QByteArray caFile = settings_.caFile.toLocal8Bit();
    const int result =
        caFile.isEmpty() ? mosquitto_int_option(client_, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                         : mosquitto_tls_set(client_, caFile.constData(), nullptr, nullptr, nullptr, nullptr);
    if (result == MOSQ_ERR_SUCCESS)
        return true;
    setLinkState(LinkState::TlsFailed, LogType::Error,
                 QStringLiteral("MQTT CA file %1 cannot be read.").arg(settings_.caFile), result);
    return false;
}

void SiteEventsConnection::attemptConnection() {
    if (finishing_)
        return;
    // A fresh client for every attempt: what the broker has not acknowledged is in the queue and
    // goes out again from there, in order, and no state of a failed attempt is carried over.
    stopWatchingSocket();
    if (client_) {
        mosquitto_destroy(client_);
        client_ = nullptr;
    }
    for (PendingAlarmQueue::Message& message : pending_.messages())
        message.messageId = 0;
    refusedCode_ = 0;
    lastLibraryError_.clear();
    if (!createClient() || !applyCredentials() || !applyTls()) {
        scheduleRetry();
        return;
    }
    attemptActive_ = true;
    errno = 0;
    // Resolving the name may block, but only this thread; the connection itself completes in the loop.
    const int result =
        mosquitto_connect_async(client_, settings_.host.trimmed().toUtf8().constData(), settings_.port,
                                std::max(shortestKeepAliveSeconds, settings_.keepAliveSeconds));
    if (result != MOSQ_ERR_SUCCESS) {
        linkDown(result, errno);
        return;
    }
    watchSocket();
    serviceTimer_.start();
}

void SiteEventsConnection::scheduleRetry() {
    if (finishing_)
        return;
    retryTimer_.start(retryDelayMs_);
    retryDelayMs_ = std::min(retryDelayMs_ * 2, std::max(retryDelayMs_, settings_.maxRetryDelayMs));
}

void SiteEventsConnection::service() {
    if (client_ && attemptActive_) {
        errno = 0;
        const int result = mosquitto_loop(client_, 0, 1);
        if (result != MOSQ_ERR_SUCCESS)
            linkDown(result, errno);
    }
    watchSocket();
}

void SiteEventsConnection::watchSocket() {
    const int socket = client_ && attemptActive_ ? mosquitto_socket(client_) : -1;
    if (socket != watchedSocket_) {
        stopWatchingSocket();
        if (socket >= 0) {
            readNotifier_ = new QSocketNotifier(socket, QSocketNotifier::Read, this);
            writeNotifier_ = new QSocketNotifier(socket, QSocketNotifier::Write, this);
            connect(readNotifier_, &QSocketNotifier::activated, this, &SiteEventsConnection::service);
            connect(writeNotifier_, &QSocketNotifier::activated, this, &SiteEventsConnection::service);
            watchedSocket_ = socket;
        }
    }
    if (writeNotifier_)
        writeNotifier_->setEnabled(mosquitto_want_write(client_));
}

void SiteEventsConnection::stopWatchingSocket() {
    // This may run inside a notifier's own signal: disable now, delete later.
    for (QSocketNotifier** notifier : {&readNotifier_, &writeNotifier_}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
            *notifier = nullptr;
        }
    }
    watchedSocket_ = -1;
}

void SiteEventsConnection::handleConnack(mosquitto*, void* self, int reasonCode) {
    auto* connection = static_cast<SiteEventsConnection*>(self);
    if (reasonCode != 0) {
        connection->refusedCode_ = reasonCode;
        return;
    }
    connection->connected_ = true;
    connection->retryDelayMs_ = std::max(1, connection->settings_.firstRetryDelayMs);
    // Publishing waits until the library has finished with the acknowledgement of the connection.
    QMetaObject::invokeMethod(
        connection, [connection] { connection->afterConnect(); }, Qt::QueuedConnection);
}

void SiteEventsConnection::handleDisconnect(mosquitto*, void* self, int result) {
    static_cast<SiteEventsConnection*>(self)->linkDown(result, errno);
}

void SiteEventsConnection::handlePublished(mosquitto* client, void* self, int messageId) {
    auto* connection = static_cast<SiteEventsConnection*>(self);
    if (connection->finishing_ && messageId == connection->offlineMessageId_) {
        mosquitto_disconnect(client);
        return;
    }
    if (messageId == connection->snapshotMessageId_) {
        connection->snapshotMessageId_ = 0;
        connection->snapshotDue_ = false;
        return;
    }
    if (!connection->pending_.acknowledge(messageId))
        return;
    connection->checkQueueFile();
    if (connection->pending_.messages().empty())
        connection->droppingAlarms_ = false;
    connection->sendPendingAlarms();
}

void SiteEventsConnection::handleLibraryLog(mosquitto*, void* self, int level, const char* text) {
    if (level == MOSQ_LOG_ERR && text)
        static_cast<SiteEventsConnection*>(self)->lastLibraryError_ = QString::fromUtf8(text);
}

void SiteEventsConnection::handleMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* connection = static_cast<SiteEventsConnection*>(self);
    const QByteArray payload(static_cast<const char*>(message->payload), message->payloadlen);
    if (connection->discoveryStatusTopic_ == message->topic && payload == "online")
        QMetaObject::invokeMethod(connection, &SiteEventsConnection::publishDiscovery, Qt::QueuedConnection);
}

void SiteEventsConnection::linkDown(int result, int errorNumber) {
    if (!attemptActive_)
        return;
    attemptActive_ = false;
    serviceTimer_.stop();
    statusTimer_.stop();
    const bool wasConnected = connected_;
    connected_ = false;
    if (wasConnected)
        emit connectedChanged(false);
    if (finishing_) {
        // Never inside the library's own callback: the client is destroyed there.
        QMetaObject::invokeMethod(this, &SiteEventsConnection::endWorker, Qt::QueuedConnection);
        return;
    }
    const QString broker = brokerName();
    QString reason = result == MOSQ_ERR_ERRNO && errorNumber != 0
                         ? qt_error_string(errorNumber)
                         : QString::fromUtf8(mosquitto_strerror(result));
    if (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    if (refusedCode_ == BadUserNameOrPassword || refusedCode_ == NotAuthorised) {
        setLinkState(LinkState::Refused, LogType::Error,
                     QStringLiteral("MQTT broker %1 refused the user name or password.").arg(broker),
                     refusedCode_);
    } else if (refusedCode_ != 0) {
        setLinkState(LinkState::Refused, LogType::Error,
                     QStringLiteral("MQTT broker %1 refused the connection: %2.")
                         .arg(broker, QString::fromUtf8(mosquitto_connack_string(refusedCode_))),
                     refusedCode_);
    } else if (result == MOSQ_ERR_TLS) {
        const QString detail = lastLibraryError_.isEmpty() ? reason : lastLibraryError_;
        setLinkState(LinkState::TlsFailed, LogType::Error,
                     QStringLiteral("TLS connection to MQTT broker %1 failed: %2").arg(broker, detail),
                     result);
    } else if (wasConnected) {
        setLinkState(LinkState::Unreachable, LogType::Error,
                     QStringLiteral("Connection to MQTT broker %1 lost: %2.").arg(broker, reason), result);
    } else {
        setLinkState(LinkState::Unreachable, LogType::Error,
                     QStringLiteral("MQTT broker %1 cannot be reached: %2.").arg(broker, reason),
                     result == MOSQ_ERR_ERRNO ? errorNumber : result);
    }
    scheduleRetry();
}

void SiteEventsConnection::afterConnect() {
    if (!connected_ || finishing_)
        return;
    setLinkState(LinkState::Connected, LogType::Information,
                 QStringLiteral("Connected to MQTT broker %1 as %2.").arg(brokerName(), topicPrefix_), 0);
    emit connectedChanged(true);
    sendWaitingPeople();
    publishStatus();
    statusTimer_.start(std::max(1000, settings_.statusIntervalMs));
    if (settings_.homeAssistantDiscovery) {
        mosquitto_subscribe(client_, nullptr, discoveryStatusTopic_.constData(), 1);
        publishDiscovery();
    }
    snapshotMessageId_ = 0; // a fresh client: what the last one held is gone
    publishSnapshot();
    sendPendingAlarms();
}

void SiteEventsConnection::publishDiscovery() {
    if (!connected_ || finishing_ || !settings_.homeAssistantDiscovery)
        return;
    for (const DiscoveryMessage& message :
         homeAssistantDiscovery(settings_.homeAssistantPrefix, siteStationName(settings_.stationName),
                                topicPrefix_, settings_.snapshots))
        mosquitto_publish(client_, nullptr, message.topic.constData(), message.payload.size(),
                          message.payload.constData(), 1, true);
    watchSocket();
}

// Read when the alarm begins, on this thread: the picture is the one the alarm message names.
void SiteEventsConnection::keepSnapshot(const SiteAlarmEpisode& episode) {
    if (!settings_.snapshots || episode.snapshotFiles.isEmpty() || settings_.snapshotFolder.isEmpty())
        return;
    QFile file(settings_.snapshotFolder + QLatin1Char('/') + episode.snapshotFiles.first());
    if (!file.open(QIODevice::ReadOnly) || file.size() > largestSnapshotBytes) {
        emit reported({LogType::Error,
                       QStringLiteral("The alarm snapshot %1 cannot be sent to MQTT broker %2: %3.")
                           .arg(file.fileName(), brokerName(),
                                file.size() > largestSnapshotBytes ? QStringLiteral("it is too large")
                                                                   : file.errorString()),
                       0});
        return;
    }
    snapshot_ = file.readAll();
    snapshotDue_ = true;
    snapshotMessageId_ = 0;
}

void SiteEventsConnection::publishSnapshot() {
    if (!connected_ || finishing_ || !snapshotDue_ || snapshotMessageId_ != 0)
        return;
    int messageId = 0;
    mosquitto_publish(client_, &messageId, snapshotTopic_.constData(), snapshot_.size(),
                      snapshot_.constData(), 1, true);
    snapshotMessageId_ = messageId;
    watchSocket();
}

void SiteEventsConnection::publishStatus() {
    if (!connected_ || finishing_)
        return;
    const QByteArray payload =
        statusPayload(camera_, alarmOn_, QDateTime::currentDateTime(), settings_.videoUrl);
    mosquitto_publish(client_, nullptr, statusTopic_.constData(), payload.size(), payload.constData(), 1,
                      true);
    watchSocket();
}

void SiteEventsConnection::sendPendingAlarms() {
    if (!connected_ || finishing_)
        return;
    int inFlight = pending_.inFlightCount();
    for (PendingAlarmQueue::Message& message : pending_.messages()) {
        if (inFlight >= maxAlarmsInFlight)
            break;
        if (message.messageId != 0)
            continue;
        int messageId = 0;
        mosquitto_publish(client_, &messageId, alarmTopic_.constData(), message.payload.size(),
                          message.payload.constData(), 1, false);
        // Once the library has given an id it holds the message and sends it when it can, whatever
        // the call returned; handing it over again would send it twice.
        if (messageId == 0)
            break;
        message.messageId = messageId;
        ++inFlight;
    }
    watchSocket();
}

void SiteEventsConnection::setCameraStatus(const SiteCameraStatus& camera) {
    const bool changed = camera.state != camera_.state || camera.model != camera_.model ||
                         camera.identity != camera_.identity || camera.reference != camera_.reference ||
                         camera.offsetCelsius != camera_.offsetCelsius ||
                         alarmThresholdMoved(camera_, camera);
    // The day's counts have an input of their own; a camera status leaves them as they are.
    const int peopleToday = camera_.peopleToday;
    const int alarmsToday = camera_.alarmsToday;
    camera_ = camera;
    camera_.peopleToday = peopleToday;
    camera_.alarmsToday = alarmsToday;
    if (changed)
        publishStatus();
}

void SiteEventsConnection::setAlarm(const SiteAlarmEpisode& episode, bool alarmOn) {
    const bool changed = alarmOn != alarmOn_;
    alarmOn_ = alarmOn;
    // An alarm goes on only over a frame, from the frame thread: an open camera said to be stalled
    // or not yet delivering has frames again, though the station's word of it may still be queued.
    const bool openCamera = !camera_.identity.isEmpty();
    if (alarmOn && openCamera &&
        (camera_.state == SiteCameraState::Stalled || camera_.state == SiteCameraState::Searching))
        camera_.state = SiteCameraState::Connected;
    if (alarmOn) { // the picture first, so a desk that shows the alarm can show it too
        keepSnapshot(episode);
        publishSnapshot();
    }
    if (pending_.push(alarmPayload(episode, alarmOn)) > 0 && !droppingAlarms_) {
        droppingAlarms_ = true;
        emit reported(
            {LogType::Error,
             QStringLiteral("MQTT broker %1 has not taken %2 alarm messages; the oldest are dropped.")
                 .arg(brokerName())
                 .arg(settings_.maxPendingAlarms),
             0});
    }
    checkQueueFile();
    sendPendingAlarms();
    if (changed)
        publishStatus();
}

void SiteEventsConnection::publishLogEntry(const SiteLogEntry& entry) {
    if (!connected_ || finishing_)
        return;
    const QByteArray payload = logPayload(entry);
    mosquitto_publish(client_, nullptr, logTopic_.constData(), payload.size(), payload.constData(), 0, false);
    watchSocket();
}

void SiteEventsConnection::checkQueueFile() {
    const bool failing = !pending_.fileError().isEmpty();
    if (failing && !queueFileFailing_) {
        emit reported({LogType::Error,
                       QStringLiteral("Unsent alarm messages cannot be kept in %1: %2.")
                           .arg(settings_.pendingAlarmsFile, pending_.fileError()),
                       pending_.fileErrorCode()});
    }
    queueFileFailing_ = failing;
}

void SiteEventsConnection::finish() {
    finishing_ = true;
    retryTimer_.stop();
    statusTimer_.stop();
    if (!connected_) {
        endWorker();
        return;
    }
    const QByteArray payload =
        offlinePayload(QDateTime::currentDateTime(), siteStationName(settings_.stationName));
    int messageId = 0;
    mosquitto_publish(client_, &messageId, statusTopic_.constData(), payload.size(), payload.constData(), 1,
                      true);
    if (messageId == 0) {
        endWorker();
        return;
    }
    offlineMessageId_ = messageId;
    watchSocket();
    // Without the broker's acknowledgement the connection is only dropped (no DISCONNECT), so the
    // broker publishes the last will and the desk still sees the station offline.
    shutdownTimer_.start(std::max(0, settings_.shutdownWaitMs));
}

void SiteEventsConnection::endWorker() {
    if (linkState_ == LinkState::Finished)
        return;
    linkState_ = LinkState::Finished;
    stopWatchingSocket();
    serviceTimer_.stop();
    retryTimer_.stop();
    statusTimer_.stop();
    shutdownTimer_.stop();
    if (client_) {
        mosquitto_destroy(client_);
        client_ = nullptr;
    }
    thread()->quit();
}

void SiteEventsConnection::setLinkState(LinkState state, LogType type, const QString& message, int code) {
    if (state == linkState_ || linkState_ == LinkState::Finished)
        return;
    linkState_ = state;
    emit reported({type, message, code});
}

} // namespace calidra
