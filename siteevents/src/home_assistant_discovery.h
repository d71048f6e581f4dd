#pragma once
// Home Assistant's MQTT discovery for a station: retained config messages that make the station a
// device with a fever alarm, the highest reading of its last alarm and, with snapshots, the alarm
// picture, each available while the station's status says it is online.

#include <QByteArray>
#include <QString>

#include <vector>

namespace calidra {

struct DiscoveryMessage {
    QByteArray topic;
    QByteArray payload; // empty: removes an entity published earlier
};

// stationName as it stands in topics; topicPrefix "calidra/<station>".
std::vector<DiscoveryMessage> homeAssistantDiscovery(const QString& discoveryPrefix,
                                                     const QString& stationName, const QString& topicPrefix,
                                                     bool snapshots);

// The ids Home Assistant allows in topics and unique ids ([A-Za-z0-9_-]) for any station name:
// "calidra_" and the name, every other byte of its UTF-8 written as _xx.
QString homeAssistantNodeId(const QString& stationName);

} // namespace calidra
