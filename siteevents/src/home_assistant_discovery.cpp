#include "home_assistant_discovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace calidra {

QString homeAssistantNodeId(const QString& stationName) {
    QString id = QStringLiteral("calidra_");
    for (const char byte : stationName.toUtf8()) {
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || byte == '-';
        if (plain)
            id += QLatin1Char(byte);
        else
            id += QStringLiteral("_%1").arg(uchar(byte), 2, 16, QLatin1Char('0'));
    }
    return id;
}

std::vector<DiscoveryMessage> homeAssistantDiscovery(const QString& discoveryPrefix,
                                                     const QString& stationName, const QString& topicPrefix,
                                                     bool snapshots) {
    const QString node = homeAssistantNodeId(stationName);
    const QString statusTopic = topicPrefix + QStringLiteral("/status");
    const QJsonObject device{{QStringLiteral("identifiers"), QJsonArray{node}},
                             {QStringLiteral("name"), stationName},
                             {QStringLiteral("manufacturer"), QStringLiteral("Quro-Duzu")},
                             {QStringLiteral("model"), QStringLiteral("Calidra")}};
    // The station's status is JSON with "online"; its last will says false.
    const QJsonArray availability{
        QJsonObject{{QStringLiteral("topic"), statusTopic},
                    {QStringLiteral("value_template"),
                     QStringLiteral("{{ 'online' if value_json.online else 'offline' }}")},
                    {QStringLiteral("payload_available"), QStringLiteral("online")},
                    {QStringLiteral("payload_not_available"), QStringLiteral("offline")}}};

    std::vector<DiscoveryMessage> messages;
    const auto entity = [&](const char* component, const char* object, QJsonObject config) {
        const QString topic =
            QStringLiteral("%1/%2/%3/%4/config")
                .arg(discoveryPrefix, QLatin1String(component), node, QLatin1String(object));
        config.insert(QStringLiteral("unique_id"), node + QLatin1Char('_') + QLatin1String(object));
        config.insert(QStringLiteral("device"), device);
        config.insert(QStringLiteral("availability"), availability);
        messages.push_back({topic.toUtf8(), QJsonDocument(config).toJson(QJsonDocument::Compact)});
    };
    entity("binary_sensor", "fever_alarm",
           {{QStringLiteral("name"), QStringLiteral("Fever alarm")},
            {QStringLiteral("device_class"), QStringLiteral("heat")},
            {QStringLiteral("state_topic"), statusTopic},
            {QStringLiteral("value_template"), QStringLiteral("{{ 'ON' if value_json.alarm else 'OFF' }}")}});
    entity("sensor", "last_reading",
           {{QStringLiteral("name"), QStringLiteral("Last reading")},
            {QStringLiteral("device_class"), QStringLiteral("temperature")},
            {QStringLiteral("unit_of_measurement"), QStringLiteral("°C")},
            {QStringLiteral("state_class"), QStringLiteral("measurement")},
            {QStringLiteral("state_topic"), topicPrefix + QStringLiteral("/alarm")},
            {QStringLiteral("value_template"), QStringLiteral("{{ value_json.highestCelsius }}")}});
    // The status carries the day's counts once the station counts people.
    const auto dayCount = [&](const char* object, const char* name, const char* field) {
        entity("sensor", object,
               {{QStringLiteral("name"), QLatin1String(name)},
                {QStringLiteral("state_class"), QStringLiteral("total_increasing")},
                {QStringLiteral("state_topic"), statusTopic},
                {QStringLiteral("value_template"),
                 QStringLiteral("{{ value_json.%1 }}").arg(QLatin1String(field))}});
    };
    dayCount("people_today", "People today", "peopleToday");
    dayCount("alarms_today", "Alarms today", "alarmsToday");
    if (snapshots) {
        entity("image", "snapshot",
               {{QStringLiteral("name"), QStringLiteral("Alarm snapshot")},
                {QStringLiteral("image_topic"), topicPrefix + QStringLiteral("/snapshot")},
                {QStringLiteral("content_type"), QStringLiteral("image/jpeg")}});
    } else {
        // A snapshot entity of an earlier run would show a stale picture.
        messages.push_back({QStringLiteral("%1/image/%2/snapshot/config").arg(discoveryPrefix, node).toUtf8(),
                            QByteArray()});
    }
    return messages;
}

} // namespace calidra
