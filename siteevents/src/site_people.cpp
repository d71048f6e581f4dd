#include "siteevents/site_events_messages.h"
#include "siteevents/site_events_publisher.h"
#include "siteevents/site_person.h"

#include "site_events_connection.h"

#include <QJsonDocument>

#include <mosquitto.h>

#include <cmath>

namespace calidra {

QByteArray personPayload(const SitePerson& person) {
    const QJsonValue reading = person.readingCelsius
                                   ? QJsonValue(std::round(*person.readingCelsius * 10.0) / 10.0)
                                   : QJsonValue(QJsonValue::Null);
    const QString result = !person.readingCelsius ? QStringLiteral("unmeasured")
                           : person.alarmed       ? QStringLiteral("alarm")
                                                  : QStringLiteral("normal");
    const QJsonObject object{{QStringLiteral("number"), person.number},
                             {QStringLiteral("firstSeen"), isoTimeWithOffset(person.firstSeen, true)},
                             {QStringLiteral("lastSeen"), isoTimeWithOffset(person.lastSeen, true)},
                             {QStringLiteral("readingCelsius"), reading},
                             {QStringLiteral("result"), result},
                             {QStringLiteral("countedFrames"), person.countedFrames}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject withPeopleCounts(QJsonObject status, const SiteCameraStatus& camera) {
    if (camera.peopleToday >= 0) {
        status.insert(QStringLiteral("peopleToday"), camera.peopleToday);
        status.insert(QStringLiteral("alarmsToday"), camera.alarmsToday);
    }
    return status;
}

void SiteEventsPublisher::personFinished(const SitePerson& person, int peopleToday, int alarmsToday) {
    if (SiteEventsConnection* connection = connection_)
        QMetaObject::invokeMethod(
            connection,
            [connection, person, peopleToday, alarmsToday] {
                connection->setPeopleToday(peopleToday, alarmsToday);
                connection->publishPerson(personPayload(person));
            },
            Qt::QueuedConnection);
}

void SiteEventsPublisher::setPeopleToday(int people, int alarms) {
    if (SiteEventsConnection* connection = connection_)
        QMetaObject::invokeMethod(
            connection, [connection, people, alarms] { connection->setPeopleToday(people, alarms); },
            Qt::QueuedConnection);
}

void SiteEventsConnection::setPeopleToday(int people, int alarms) {
    // The counts ride along with the next status; the people themselves have their own topic.
    const bool changed = camera_.peopleToday != people || camera_.alarmsToday != alarms;
    camera_.peopleToday = people;
    camera_.alarmsToday = alarms;
    if (changed)
        publishStatus();
}

void SiteEventsConnection::publishPerson(const QByteArray& payload) {
    if (waitingPeople_.size() >= largestWaitingPeople)
        waitingPeople_.pop_front(); // the record keeps them all; the broker gets the newest
    waitingPeople_.push_back(payload);
    sendWaitingPeople();
}

void SiteEventsConnection::sendWaitingPeople() {
    if (!connected_ || finishing_)
        return;
    const QByteArray topic = (topicPrefix_ + QStringLiteral("/person")).toUtf8();
    while (!waitingPeople_.empty()) {
        const QByteArray& payload = waitingPeople_.front();
        if (mosquitto_publish(client_, nullptr, topic.constData(), payload.size(), payload.constData(), 1,
                              false) != MOSQ_ERR_SUCCESS)
            break;
        waitingPeople_.pop_front();
    }
    watchSocket();
}

} // namespace calidra
