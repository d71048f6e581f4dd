#include "siteevents/site_events_publisher.h"

#include "site_events_connection.h"

#include <QThread>

#include <mosquitto.h>

#include <mutex>

namespace calidra {

SiteEventsPublisher::SiteEventsPublisher(SiteEventsSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), topicPrefix_(siteTopicPrefix(settings_.stationName)) {
    qRegisterMetaType<SiteEventsReport>();
    QString& discoveryPrefix = settings_.homeAssistantPrefix;
    while (discoveryPrefix.endsWith(QLatin1Char('/')))
        discoveryPrefix.chop(1);
    if (discoveryPrefix.trimmed().isEmpty())
        discoveryPrefix = SiteEventsSettings().homeAssistantPrefix;
    if (!enabled())
        return;
    static std::once_flag libraryReady;
    std::call_once(libraryReady, [] { mosquitto_lib_init(); });

    // The connection belongs to the worker thread from the start: inputs given before start()
    // wait in its queue behind begin(), in order.
    thread_ = new QThread(this);
    thread_->setObjectName(QStringLiteral("site events"));
    connection_ = new SiteEventsConnection(settings_, topicPrefix_);
    connection_->moveToThread(thread_);
    connect(connection_, &SiteEventsConnection::reported, this, &SiteEventsPublisher::reported,
            Qt::DirectConnection);
    connect(connection_, &SiteEventsConnection::connectedChanged, this,
            &SiteEventsPublisher::connectedChanged, Qt::DirectConnection);
    connect(thread_, &QThread::finished, connection_, &QObject::deleteLater);
    SiteEventsConnection* connection = connection_;
    QMetaObject::invokeMethod(
        connection, [connection] { connection->begin(); }, Qt::QueuedConnection);
}

SiteEventsPublisher::~SiteEventsPublisher() {
    if (!connection_)
        return;
    if (!thread_->isRunning()) {
        delete connection_;
        return;
    }
    SiteEventsConnection* connection = connection_;
    QMetaObject::invokeMethod(
        connection, [connection] { connection->finish(); }, Qt::QueuedConnection);
    // Bounded by the shutdown wait; the connection deletes itself as the thread ends.
    thread_->wait();
}

void SiteEventsPublisher::start() {
    if (thread_ && !thread_->isRunning())
        thread_->start();
}

void SiteEventsPublisher::setCameraStatus(const SiteCameraStatus& camera) {
    if (SiteEventsConnection* connection = connection_)
        QMetaObject::invokeMethod(
            connection, [connection, camera] { connection->setCameraStatus(camera); }, Qt::QueuedConnection);
}

void SiteEventsPublisher::alarmOn(const SiteAlarmEpisode& episode) {
    if (SiteEventsConnection* connection = connection_)
        QMetaObject::invokeMethod(
            connection, [connection, episode] { connection->setAlarm(episode, true); }, Qt::QueuedConnection);
}

void SiteEventsPublisher::alarmOff(const SiteAlarmEpisode& episode) {
    if (SiteEventsConnection* connection = connection_)
        QMetaObject::invokeMethod(
            connection, [connection, episode] { connection->setAlarm(episode, false); },
            Qt::QueuedConnection);
}

void SiteEventsPublisher::logEntry(const SiteLogEntry& entry) {
    if (SiteEventsConnection* connection = connection_)
        QMetaObject::invokeMethod(
            connection, [connection, entry] { connection->publishLogEntry(entry); }, Qt::QueuedConnection);
}

} // namespace calidra
